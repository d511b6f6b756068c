// The link layer on the serial line, against a pseudo-terminal that plays the station.
#include "link/SerialPortDriver.h"
#include "platform/Wait.h"
#include "tests/link/LinkTestSupport.h"
#include "tests/support/PtyPeer.h"

#include <gtest/gtest.h>

#include <memory>

namespace kestrel::test {
namespace {

class SerialLinkTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(peer.Ok());
        peer.SetAsComPort(1);
        port.SetComPort(pnCOM1);
        port.SetComPortSpeed(br19200);
        ASSERT_TRUE(port.Connect());
        SerialDrv = &port;
        ResetStationTable();
        StationTable.CurrentStation = SerialStation;
        ResetSerialReceiveBuffer();
    }
    void TearDown() override { SerialDrv = nullptr; }

    int Receive(Bytes& frame, int capacity = 171) {
        frame.assign(2000, 0);
        const int length = ReceiveFrame(frame.data(), capacity);
        frame.resize(static_cast<size_t>(std::max(length, 0)));
        return length;
    }

    PtyPeer peer;
    TSerialPortDriver port;
};

TEST_F(SerialLinkTest, frames_go_out_slip_encoded_byte_by_byte) {
    const std::vector<std::pair<Bytes, Bytes>> cases = {
        {{0x01, 0xC0, 0xDB, 0x02}, {0xC0, 0x01, 0xDB, 0xDC, 0xDB, 0xDD, 0x02, 0xC0}},
        {{}, {0xC0, 0xC0}},
    };
    for (const auto& [frame, wire] : cases) {
        EXPECT_TRUE(SendFrame(frame.data(), static_cast<int>(frame.size())));
        EXPECT_EQ(BytesOf(peer.ReadFor(100)), wire);
    }
}

TEST_F(SerialLinkTest, current_station_minus_one_takes_the_serial_link_whatever_row_0_holds) {
    StationTable.linkIndexes[0] = 0;
    StationTable.StationCount = 1;
    EXPECT_TRUE(SendCommandLine("AT\r\n"));
    EXPECT_EQ(peer.ReadFor(100), "AT\r\n");
}

TEST_F(SerialLinkTest, reply_line_is_what_the_station_sent_after_its_silence) {
    ASSERT_TRUE(peer.Write("Access Point\r\n"));
    char reply[500] = {};
    EXPECT_EQ(ReceiveReplyLine(reply, sizeof reply), 14);
    EXPECT_EQ(std::string(reply, 14), "Access Point\r\n");
    EXPECT_EQ(ReceiveReplyLine(reply, sizeof reply), 0);
}

TEST_F(SerialLinkTest, a_complete_frame_is_returned_at_once_and_the_next_one_is_kept) {
    ASSERT_TRUE(peer.Write(TextOf({0xC0, 0x01, 0x02, 0xC0, 0xC0, 0x03, 0xDB, 0xDC, 0xC0})));
    Bytes frame;
    const uint32_t start = TickCountMs();
    EXPECT_EQ(Receive(frame), 2);
    // No wait for the line's 200 ms of silence once the END is in.
    EXPECT_LT(TickCountMs() - start, 150u);
    EXPECT_EQ(frame, (Bytes{0x01, 0x02}));
    EXPECT_EQ(Receive(frame), 2);
    EXPECT_EQ(frame, (Bytes{0x03, 0xC0}));
}

TEST_F(SerialLinkTest, frames_that_share_one_end_byte_both_arrive) {
    ASSERT_TRUE(peer.Write(TextOf({0xC0, 0x11, 0xC0, 0x22, 0xC0})));
    Bytes frame;
    EXPECT_EQ(Receive(frame), 1);
    EXPECT_EQ(frame, Bytes{0x11});
    EXPECT_EQ(Receive(frame), 1);
    EXPECT_EQ(frame, Bytes{0x22});
}

TEST_F(SerialLinkTest, a_flush_of_the_port_input_drops_the_kept_frame) {
    ASSERT_TRUE(peer.Write(TextOf({0xC0, 0x01, 0xC0, 0xC0, 0x02, 0xC0})));
    Bytes frame;
    ASSERT_EQ(Receive(frame), 1);
    port.FlushBuffers(true, false);
    EXPECT_EQ(Receive(frame), 0);
}

TEST_F(SerialLinkTest, receive_ends_with_nothing_when_no_whole_frame_comes) {
    struct Case {
        const char* what;
        Bytes line;
        int capacity;
    };
    const std::vector<Case> cases = {
        {"silence before the END", {0xC0, 0x01, 0x02}, 171},
        {"2000 bytes without an END", Bytes(2000, 0x41), 171},
        {"frame longer than the capacity", {0xC0, 1, 2, 3, 4, 0xC0}, 3},
        {"nothing at all", {}, 171},
    };
    for (const auto& c : cases) {
        ResetSerialReceiveBuffer();
        if (!c.line.empty()) {
            ASSERT_TRUE(peer.Write(TextOf(c.line)));
        }
        Bytes frame;
        EXPECT_EQ(Receive(frame, c.capacity), 0) << c.what;
    }
}

TEST_F(SerialLinkTest, a_closed_port_sends_and_receives_nothing_without_waiting) {
    port.Disconnect();
    const uint32_t start = TickCountMs();
    Bytes frame;
    EXPECT_EQ(Receive(frame), 0);
    char reply[10];
    EXPECT_EQ(ReceiveReplyLine(reply, sizeof reply), 0);
    EXPECT_TRUE(SendFrame(frame.data(), 0));
    EXPECT_FALSE(SendCommandLine("AT\r\n"));
    EXPECT_LT(TickCountMs() - start, 50u);
}

// Port and speed detection: which COM ports open, and at which speed a station answers.
class SerialDetectionTest : public ::testing::Test {
  protected:
    void TearDown() override { port.Disconnect(); }
    TSerialPortDriver port;
};

TEST_F(SerialDetectionTest, com4_is_tried_first_and_stays_open) {
    PtyPeer com2, com4;
    com2.SetAsComPort(2);
    com4.SetAsComPort(4);
    EXPECT_EQ(DetectComPort(port), 3);
    ASSERT_TRUE(port.Connected());
    EXPECT_EQ(port.ComPort(), pnCOM4);
    EXPECT_TRUE(port.SendString("x"));
    EXPECT_EQ(com4.ReadFor(100), "x");
}

TEST_F(SerialDetectionTest,
       without_ports_nothing_is_found_and_the_speed_probe_ends_after_its_sleep) {
    EXPECT_EQ(DetectComPort(port), -1);
    EXPECT_FALSE(port.Connected());
    EXPECT_EQ(port.ComPort(), pnCOM1);
    const uint32_t start = TickCountMs();
    EXPECT_EQ(DetectBaudRate(port), -1);
    const uint32_t elapsed = TickCountMs() - start;
    EXPECT_GE(elapsed, 95u);
    EXPECT_LT(elapsed, 400u);
}

TEST_F(SerialDetectionTest, a_station_at_19200_is_found_and_the_line_is_left_there) {
    PtyPeer station;
    station.SetAsComPort(1);
    station.Answer("at&l19200\r\n", "OK\r\n", 19200);
    port.SetComPort(pnCOM1);
    ASSERT_TRUE(port.Connect());
    EXPECT_EQ(DetectBaudRate(port), 2);
    EXPECT_EQ(station.Line().outputSpeed, 19200);
    EXPECT_NE(station.Received().find("+++\r\n"), std::string::npos);
}

TEST_F(SerialDetectionTest, a_silent_line_is_left_at_56000) {
    PtyPeer silent;
    silent.SetAsComPort(1);
    port.SetComPort(pnCOM1);
    ASSERT_TRUE(port.Connect());
    EXPECT_EQ(DetectBaudRate(port), -1);
    EXPECT_EQ(silent.Line().outputSpeed, 56000);
    EXPECT_EQ(port.ComPortSpeed(), br56000);
}

} // namespace
} // namespace kestrel::test
