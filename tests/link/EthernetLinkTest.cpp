// The link layer on Ethernet: the packet channel on a veth, a raw socket on the
// other end playing the station.
#include "link/PacketChannel.h"
#include "platform/Wait.h"
#include "tests/link/LinkTestSupport.h"
#include "tests/support/NetNamespace.h"
#include "tests/support/PacketPeer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

namespace kestrel::test {
namespace {

const MacAddress stationAddress{0x00, 0x60, 0xB3, 0x12, 0x34, 0x56};
int vethCount = 0;

class EthernetLinkTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!namespaceProblem.empty()) GTEST_SKIP() << namespaceProblem;
        const int n = vethCount++;
        ours = "kla" + std::to_string(n);
        theirs = "klb" + std::to_string(n);
        std::string why;
        ASSERT_TRUE(AddVethPair(ours, theirs, &why)) << why;
        PacketChannel = channel.get();
        ASSERT_TRUE(OpenPacketChannel(ours));
        ASSERT_TRUE(EnablePacketFilter());
        peer = std::make_unique<PacketPeer>(theirs);
        ASSERT_TRUE(peer->Ok());
        const std::string mac = MacAddressOf(ours);
        ASSERT_EQ(mac.size(), 6u);
        std::memcpy(ourMac.data(), mac.data(), 6);
        const std::string peerMac = MacAddressOf(theirs);
        std::memcpy(theirMac.data(), peerMac.data(), 6);

        ResetStationTable();
        StationTable.StationCount = 1;
        StationTable.linkIndexes[0] = 0;
        StationTable.identities[0].SetStationAddress(stationAddress);
        StationTable.CurrentStation = 0;
        StationTable.ReplyTimeout = 300;
    }
    void TearDown() override {
        ClosePacketChannel();
        PacketChannel = nullptr;
        if (!ours.empty()) DeleteLink(ours);
    }

    // A frame from the station: header with the given type, text at offset 18.
    Bytes StationFrame(uint16_t type, const std::string& text, size_t length = 98) {
        Bytes frame(length, 0);
        FrameHeader header;
        header.destination = ourMac;
        header.source = theirMac;
        header.type = type;
        header.WriteTo(frame);
        std::memcpy(frame.data() + 18, text.data(), std::min(text.size(), length - 18));
        return frame;
    }

    std::string ours, theirs;
    MacAddress ourMac{}, theirMac{};
    std::unique_ptr<TPacketChannel> channel = std::make_unique<TPacketChannel>();
    std::unique_ptr<PacketPeer> peer;
};

TEST_F(EthernetLinkTest, short_frames_are_padded_to_64_bytes_and_longer_ones_go_as_they_are) {
    for (const size_t length : {size_t{18}, size_t{100}}) {
        Bytes frame(length, 0x5A);
        FrameHeader{}.WriteTo(frame);
        EXPECT_TRUE(SendFrame(frame.data(), static_cast<int>(frame.size())));
        const auto wire = peer->Next(1000);
        ASSERT_TRUE(wire) << length;
        EXPECT_EQ(wire->size(), std::max<size_t>(length, 64));
        EXPECT_TRUE(std::equal(frame.begin(), frame.end(), wire->begin())) << length;
        for (size_t i = length; i < wire->size(); ++i)
            EXPECT_EQ((*wire)[i], 0) << i;
    }
}

TEST_F(EthernetLinkTest, a_command_line_travels_in_a_98_byte_type_16_frame_to_the_station) {
    EXPECT_TRUE(SendCommandLine("AT\r\n"));
    const auto wire = peer->Next(1000);
    ASSERT_TRUE(wire);
    ASSERT_EQ(wire->size(), 98u);
    EXPECT_EQ(ReadMac(*wire, 0), stationAddress);
    EXPECT_EQ(ReadMac(*wire, 6), ourMac);
    EXPECT_EQ(Bytes(wire->begin() + 12, wire->begin() + 18),
              (Bytes{0xAA, 0xAA, 0x56, 0xF5, 0x10, 0x00}));
    EXPECT_EQ(Bytes(wire->begin() + 18, wire->begin() + 23), BytesOf(std::string("AT\r\n\0", 5)));
    EXPECT_EQ(std::count(wire->begin() + 23, wire->end(), 0), 98 - 23);
}

TEST_F(EthernetLinkTest, a_command_that_does_not_fit_the_frame_is_not_sent) {
    // "AT#999=1/" and a password typed far too long: cutting it would send another password.
    const std::string tooLong = std::string(78, 'A') + "\r\n";
    EXPECT_FALSE(SendCommandLine(tooLong.c_str()));
    EXPECT_FALSE(peer->Next(300));
    const std::string longest = std::string(77, 'A') + "\r\n";
    EXPECT_TRUE(SendCommandLine(longest.c_str()));
    const auto wire = peer->Next(1000);
    ASSERT_TRUE(wire);
    EXPECT_EQ(TextOf(Bytes(wire->begin() + 18, wire->begin() + 18 + 79)), longest);
    EXPECT_EQ((*wire)[97], 0);
}

TEST_F(EthernetLinkTest, only_a_type_17_frame_counts_as_the_reply_and_it_fits_the_callers_buffer) {
    char reply[500];
    ASSERT_TRUE(peer->Send(StationFrame(IdentityReplyFrame, "OK\r\n")));
    EXPECT_EQ(ReceiveReplyLine(reply, sizeof reply), 0);

    ASSERT_TRUE(peer->Send(StationFrame(CommandReplyFrame, "IBss\r\n")));
    EXPECT_EQ(ReceiveReplyLine(reply, sizeof reply), 6);
    EXPECT_STREQ(reply, "IBss\r\n");

    // 80 text bytes without a zero, into a buffer of 8: never more than 8 bytes written.
    ASSERT_TRUE(peer->Send(StationFrame(CommandReplyFrame, std::string(80, 'x'))));
    char small[12];
    std::memset(small, '#', sizeof small);
    EXPECT_EQ(ReceiveReplyLine(small, 8), 8);
    EXPECT_EQ(std::string(small, 12), std::string(8, 'x') + "####");
}

TEST_F(EthernetLinkTest, no_reply_is_0_after_the_reply_timeout) {
    char reply[100];
    const uint32_t start = TickCountMs();
    EXPECT_EQ(ReceiveReplyLine(reply, sizeof reply), 0);
    EXPECT_GE(TickCountMs() - start, 290u);
}

TEST_F(EthernetLinkTest, a_frame_longer_than_the_capacity_is_cut_to_it) {
    const Bytes sent = StationFrame(IdentityReplyFrame, std::string(150, 'm'), 171);
    ASSERT_TRUE(peer->Send(sent));
    Bytes buffer(200, 0xEE);
    EXPECT_EQ(ReceiveFrame(buffer.data(), 40), 40);
    EXPECT_TRUE(std::equal(sent.begin(), sent.begin() + 40, buffer.begin()));
    EXPECT_EQ(buffer[40], 0xEE);
}

} // namespace
} // namespace kestrel::test
