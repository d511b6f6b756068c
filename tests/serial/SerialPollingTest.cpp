// Polling hands what arrived to the event handlers, on a hand-driven timer.
#include "link/SerialPortDriver.h"
#include "platform/PollTimer.h"
#include "tests/support/PtyPeer.h"

#include <chrono>
#include <gtest/gtest.h>
#include <string>
#include <thread>
#include <vector>

namespace kestrel {
namespace {

using test::PtyPeer;

class SerialPolling : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(peer.Ok());
        peer.SetAsComPort(2);
        port.OnReceiveData = [this](TSerialPortDriver* sender, const uint8_t* data, int size) {
            EXPECT_EQ(sender, &port);
            data_.append(reinterpret_cast<const char*>(data), static_cast<size_t>(size));
        };
        port.OnReceivePacket = [this](TSerialPortDriver*, const uint8_t* data, int size) {
            packets_.emplace_back(reinterpret_cast<const char*>(data), static_cast<size_t>(size));
        };
        ASSERT_TRUE(port.Connect());
    }
    ManualPollTimer& Timer() { return static_cast<ManualPollTimer&>(port.PollingTimer()); }
    // Sends bytes and waits until the port's input queue holds them all.
    void Arrive(const std::string& bytes) {
        const int before = port.InQueueCount();
        ASSERT_TRUE(peer.Write(bytes));
        for (int i = 0; i < 100 && port.InQueueCount() < before + int(bytes.size()); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    PtyPeer peer;
    TSerialPortDriver port;
    std::string data_;
    std::vector<std::string> packets_;
};

TEST_F(SerialPolling, the_timer_runs_at_the_polling_delay_only_while_connected) {
    EXPECT_TRUE(Timer().Running());
    EXPECT_EQ(Timer().IntervalMs(), 50);
    port.SetComPortPollingDelay(120);
    EXPECT_EQ(Timer().IntervalMs(), 120);
    port.Disconnect();
    EXPECT_FALSE(Timer().Running());
    EXPECT_FALSE(Timer().Tick());
}

TEST_F(SerialPolling, a_tick_delivers_waiting_bytes_unless_polling_is_held) {
    Arrive("hello");
    port.PausePolling();
    EXPECT_TRUE(Timer().Tick());
    EXPECT_EQ(data_, "");
    port.ContinuePolling();
    EXPECT_TRUE(Timer().Tick());
    EXPECT_EQ(data_, "hello");
    EXPECT_TRUE(Timer().Tick());
    EXPECT_EQ(data_, "hello");
    EXPECT_TRUE(packets_.empty());
}

TEST_F(SerialPolling, held_polling_leaves_the_bytes_to_read_data) {
    port.PausePolling();
    Arrive("OK\r\n");
    Timer().Tick();
    char buffer[4];
    EXPECT_EQ(port.ReadData(buffer, 4), 4);
    EXPECT_EQ(port.HoldCount(), 1);
    EXPECT_EQ(data_, "");
}

TEST_F(SerialPolling, packet_mode_delivers_whole_packets) {
    port.SetPacketSize(4);
    Arrive("abcdefghij");
    Timer().Tick();
    EXPECT_EQ(packets_, (std::vector<std::string>{"abcd", "efgh"}));
    EXPECT_EQ(port.InQueueCount(), 2);
    EXPECT_EQ(data_, "");
}

TEST_F(SerialPolling, a_timed_out_partial_packet_is_passed_or_dropped) {
    for (TPacketMode mode : {pmPass, pmDiscard}) {
        SCOPED_TRACE(mode == pmPass ? "pass" : "discard");
        packets_.clear();
        port.SetPacketSize(8);
        port.SetPacketTimeout(60);
        port.SetPacketMode(mode);
        Arrive("abc");
        Timer().Tick(); // notes when the partial packet began
        EXPECT_TRUE(packets_.empty());
        Timer().Tick(); // not timed out yet
        EXPECT_TRUE(packets_.empty());
        std::this_thread::sleep_for(std::chrono::milliseconds(80));
        Timer().Tick();
        if (mode == pmPass)
            EXPECT_EQ(packets_, std::vector<std::string>{"abc"});
        else
            EXPECT_TRUE(packets_.empty());
        EXPECT_EQ(port.InQueueCount(), 0);
    }
}

TEST_F(SerialPolling, a_partial_packet_without_timeout_waits_for_the_rest) {
    port.SetPacketSize(4);
    Arrive("ab");
    Timer().Tick();
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    Timer().Tick();
    EXPECT_TRUE(packets_.empty());
    Arrive("cd");
    Timer().Tick();
    EXPECT_EQ(packets_, std::vector<std::string>{"abcd"});
}

} // namespace
} // namespace kestrel
