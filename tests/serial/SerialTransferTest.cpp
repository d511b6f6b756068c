// Reads end on silence, writes give up when the line makes no progress.
#include "link/SerialPortDriver.h"
#include "platform/Wait.h"
#include "tests/support/PtyPeer.h"

#include <chrono>
#include <gtest/gtest.h>
#include <string>
#include <thread>

namespace kestrel {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;
using test::PtyPeer;

long MsSince(Clock::time_point start) {
    return static_cast<long>(
        std::chrono::duration_cast<milliseconds>(Clock::now() - start).count());
}

class SerialTransfer : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(peer.Ok());
        peer.SetAsComPort(2);
        ASSERT_TRUE(port.Connect());
    }
    void TearDown() override {
        if (talker.joinable()) talker.join();
    }
    // Writes the pieces from a thread, one every gapMs starting at once.
    void SendSpaced(std::vector<std::string> pieces, int gapMs) {
        talker = std::thread([this, pieces, gapMs] {
            for (size_t i = 0; i < pieces.size(); ++i) {
                if (i) std::this_thread::sleep_for(milliseconds(gapMs));
                peer.Write(pieces[i]);
                lastWrite = Clock::now();
            }
        });
    }
    PtyPeer peer;
    TSerialPortDriver port;
    std::thread talker;
    Clock::time_point lastWrite;
};

TEST_F(SerialTransfer, a_read_ends_a_little_over_the_input_timeout_after_the_last_byte) {
    SendSpaced({"OK", "\r\n"}, 150);
    char buffer[20];
    const int got = port.ReadData(buffer, 20);
    const auto end = Clock::now();
    talker.join();
    ASSERT_EQ(got, 4);
    EXPECT_EQ(std::string(buffer, 4), "OK\r\n");
    const auto afterLast = std::chrono::duration_cast<milliseconds>(end - lastWrite).count();
    EXPECT_GE(afterLast, 200);
    EXPECT_LT(afterLast, 300);
    EXPECT_EQ(port.HoldCount(), 0);
}

TEST_F(SerialTransfer, a_peer_that_keeps_sending_keeps_the_read_going) {
    SendSpaced({"a", "b", "c", "d", "e", "f", "g", "h"}, 120);
    char buffer[20];
    const auto start = Clock::now();
    const int got = port.ReadData(buffer, 20);
    EXPECT_EQ(std::string(buffer, static_cast<size_t>(got)), "abcdefgh");
    EXPECT_GE(MsSince(start), 7 * 120 + 200);
}

TEST_F(SerialTransfer, a_read_returns_as_soon_as_the_count_is_reached) {
    ASSERT_TRUE(peer.Write("0123456789ABCDEFGHIJ-rest"));
    char buffer[20];
    const auto start = Clock::now();
    ASSERT_EQ(port.ReadData(buffer, 20), 20);
    EXPECT_LT(MsSince(start), 100);
    EXPECT_EQ(std::string(buffer, 20), "0123456789ABCDEFGHIJ");
    EXPECT_EQ(port.ReadData(buffer, 20), 5);
}

TEST_F(SerialTransfer, a_silent_line_gives_nothing_after_the_input_timeout) {
    port.SetInputTimeout(100);
    char buffer[4];
    const auto start = Clock::now();
    EXPECT_EQ(port.ReadData(buffer, 4), 0);
    const long elapsed = MsSince(start);
    EXPECT_GE(elapsed, 100);
    EXPECT_LT(elapsed, 200);
}

TEST_F(SerialTransfer, strings_and_bytes_go_out_unchanged) {
    EXPECT_TRUE(port.SendString(""));
    EXPECT_TRUE(port.SendByte(0xC0));
    EXPECT_TRUE(port.SendString("AT\r\n"));
    const char binary[] = {'\0', '\n', '\r', '\x11', '\x13', '\xff'};
    EXPECT_EQ(port.SendData(binary, 6), 6);
    EXPECT_EQ(port.SendData(binary, 0), 0);
    EXPECT_EQ(port.SendData(binary, -1), 0);
    EXPECT_EQ(peer.ReadFor(50), std::string("\xC0"
                                            "AT\r\n") +
                                    std::string(binary, 6));

    // An output queue above 32767 bytes still takes writes.
    port.Disconnect();
    port.SetComPortOutBufSize(40000);
    ASSERT_TRUE(port.Connect());
    EXPECT_EQ(port.SendData(binary, 6), 6);
    EXPECT_EQ(peer.ReadFor(50), std::string(binary, 6));
}

TEST_F(SerialTransfer, flushing_the_input_throws_away_what_waited) {
    ASSERT_TRUE(peer.Write("stale"));
    std::this_thread::sleep_for(milliseconds(20));
    const uint32_t before = port.InputDiscardCount();
    port.FlushBuffers(false, true);
    EXPECT_EQ(port.InputDiscardCount(), before);
    EXPECT_EQ(port.InQueueCount(), 5);
    port.FlushBuffers(true, false);
    EXPECT_EQ(port.InputDiscardCount(), before + 1);
    EXPECT_EQ(port.InQueueCount(), 0);
    port.SetInputTimeout(20);
    char buffer[8];
    EXPECT_EQ(port.ReadData(buffer, 8), 0);
    port.Disconnect();
    EXPECT_EQ(port.InputDiscardCount(), before + 2);
}

TEST_F(SerialTransfer, a_write_held_by_xoff_gives_up_after_the_output_timeout) {
    port.SetComPortSwHandshaking(shXONXOFF);
    port.SetOutputTimeout(300);
    ASSERT_TRUE(peer.Write("\x13"));
    std::this_thread::sleep_for(milliseconds(20));
    const auto start = Clock::now();
    EXPECT_FALSE(port.SendString("AT\r\n"));
    const long elapsed = MsSince(start);
    EXPECT_GE(elapsed, 300);
    EXPECT_LT(elapsed, 450);
    EXPECT_EQ(peer.ReadFor(50), "");

    // A stall shorter than the timeout only delays the write.
    SendSpaced({"", "\x11"}, 200);
    EXPECT_TRUE(port.SendString("AT\r\n"));
    EXPECT_EQ(peer.ReadFor(50), "AT\r\n");
}

TEST_F(SerialTransfer, a_write_nobody_reads_stops_after_the_output_timeout_with_the_count) {
    port.SetOutputTimeout(200);
    const std::string block(1 << 20, 'x');
    const auto start = Clock::now();
    const int written = port.SendData(block.data(), static_cast<int>(block.size()));
    const long elapsed = MsSince(start);
    EXPECT_GT(written, 0);
    EXPECT_LT(written, static_cast<int>(block.size()));
    EXPECT_GE(elapsed, 200);
    EXPECT_LT(elapsed, 1000);
    // Every byte counted went out.
    EXPECT_EQ(peer.ReadFor(50).size(), static_cast<size_t>(written));
}

TEST_F(SerialTransfer, a_port_closed_by_the_wait_hook_moves_nothing_more) {
    port.SetInputTimeout(100);
    port.SetOutputTimeout(100);
    port.SetComPortSwHandshaking(shXONXOFF);
    ASSERT_TRUE(peer.Write("\x13"));
    std::this_thread::sleep_for(milliseconds(20));
    SetWaitHook([this] { port.Disconnect(); });
    char buffer[4];
    EXPECT_EQ(port.ReadData(buffer, 4), 0);
    EXPECT_EQ(port.HoldCount(), 0);
    ASSERT_TRUE(port.Connect());
    EXPECT_FALSE(port.SendString("AT\r\n"));
    SetWaitHook({});
    EXPECT_FALSE(port.Connected());
}

TEST_F(SerialTransfer, a_station_that_answers_only_at_19200_is_heard_only_there) {
    peer.Answer("AT\r\n", "OK\r\n", 19200);
    port.SetInputTimeout(100);
    char reply[8] = {};
    for (TComPortBaudRate speed : {br9600, br19200, br56000, br19200}) {
        SCOPED_TRACE(BaudRateBits(speed));
        port.SetComPortSpeed(speed);
        ASSERT_TRUE(port.SendString("AT\r\n"));
        const int got = port.ReadData(reply, 8);
        EXPECT_EQ(std::string(reply, static_cast<size_t>(got)), speed == br19200 ? "OK\r\n" : "");
    }
    EXPECT_EQ(peer.Received(), "AT\r\nAT\r\nAT\r\nAT\r\n");
}

} // namespace
} // namespace kestrel
