#include "station/StationRecords.h"
#include "station/StationTable.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

using namespace kestrel;

namespace {
std::vector<uint8_t> Bytes(std::initializer_list<int> values) {
    return std::vector<uint8_t>(values.begin(), values.end());
}
} // namespace

TEST(FrameHeader, identity_request_holds_markers_and_type_zero_after_the_addresses) {
    FrameHeader request;
    request.destination = BroadcastAddress;
    request.source = SerialHostAddress;
    std::vector<uint8_t> frame(FrameHeaderSize);
    ASSERT_TRUE(request.WriteTo(frame));
    EXPECT_EQ(frame, Bytes({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xAA, 0x55, 0xA5, 0x5A, 0xFF,
                            0xAA, 0xAA, 0x56, 0xF5, 0x00, 0x00}));
}

TEST(FrameHeader, identity_reply_carries_type_one_and_is_recognised_only_with_both_markers) {
    std::vector<uint8_t> frame(StationIdentitySize);
    FrameHeader reply;
    reply.type = IdentityReplyFrame;
    ASSERT_TRUE(reply.WriteTo(frame));
    EXPECT_EQ(std::vector<uint8_t>(frame.begin() + 12, frame.begin() + 18),
              Bytes({0xAA, 0xAA, 0x56, 0xF5, 0x01, 0x00}));
    EXPECT_TRUE(IsFrameOf(frame, ProtocolMarker, IdentityReplyFrame));
    EXPECT_FALSE(IsFrameOf(frame, TransferMarker, IdentityReplyFrame));
    EXPECT_FALSE(IsFrameOf(frame, ProtocolMarker, CommandReplyFrame));
    frame[13] = 0xAB;
    EXPECT_FALSE(IsFrameOf(frame, ProtocolMarker, IdentityReplyFrame));
}

TEST(FrameHeader, short_frames_are_neither_read_nor_written) {
    std::vector<uint8_t> shortFrame(17, 0xEE);
    EXPECT_FALSE(FrameHeader{}.WriteTo(shortFrame));
    EXPECT_EQ(shortFrame, std::vector<uint8_t>(17, 0xEE));
    EXPECT_FALSE(FrameHeader::ReadFrom(shortFrame));
    EXPECT_FALSE(IsFrameOf(shortFrame, ProtocolMarker, IdentityRequestFrame));
}

TEST(StationIdentity, fields_sit_at_their_offsets_in_a_received_reply) {
    std::vector<uint8_t> frame(StationIdentitySize, 0);
    const uint8_t source[6] = {2, 0, 0, 0, 0, 9};
    const uint8_t station[6] = {0, 0x60, 0xB3, 1, 2, 3};
    std::memcpy(&frame[6], source, 6);
    std::memcpy(&frame[18], station, 6);
    std::memcpy(&frame[24], "Harrier Networks", 16);
    std::memcpy(&frame[88], "WaveLAN 11", 10);
    std::memcpy(&frame[152], "HW-2411", 7);
    frame[168] = '2';
    frame[169] = '1';

    StationIdentity identity;
    identity.Assign(frame);
    EXPECT_EQ(identity.ReplySource(), (MacAddress{2, 0, 0, 0, 0, 9}));
    EXPECT_EQ(identity.StationAddress(), (MacAddress{0, 0x60, 0xB3, 1, 2, 3}));
    EXPECT_EQ(identity.Manufacturer(), "Harrier Networks");
    EXPECT_EQ(identity.Product(), "WaveLAN 11");
    EXPECT_EQ(identity.Model(), "HW-2411");

    FirmwareInfo info;
    std::memset(&info, 0x55, sizeof info);
    FillFirmwareInfo(info, identity);
    EXPECT_EQ(TextOf(info.manufacturer), "Harrier Networks");
    EXPECT_EQ(TextOf(info.product), "WaveLAN 11");
    EXPECT_EQ(TextOf(info.model), "HW-2411");
    EXPECT_EQ(std::string(info.version), "2.1");
}

TEST(StationIdentity, texts_that_fill_their_fields_are_cut_to_the_firmware_fields) {
    std::vector<uint8_t> frame(StationIdentitySize, 'M');
    StationIdentity identity;
    identity.Assign(frame);
    EXPECT_EQ(identity.Manufacturer(), std::string(64, 'M'));
    EXPECT_EQ(identity.Model(), std::string(16, 'M'));

    FirmwareInfo info;
    FillFirmwareInfo(info, identity);
    EXPECT_EQ(info.manufacturer[19], '\0');
    EXPECT_EQ(TextOf(info.manufacturer), std::string(19, 'M'));
    EXPECT_EQ(TextOf(info.product), std::string(19, 'M'));
}

TEST(StationIdentity, a_short_reply_leaves_the_missing_bytes_zero) {
    StationIdentity identity;
    identity.bytes.fill(0x77);
    std::vector<uint8_t> frame(30, 0x41);
    identity.Assign(frame);
    EXPECT_EQ(identity.bytes[29], 0x41);
    EXPECT_EQ(identity.bytes[30], 0);
    EXPECT_EQ(identity.Manufacturer(), "AAAAAA");
    EXPECT_EQ(identity.Product(), "");
}

TEST(StationConfig, a_zeroed_record_names_infrastructure_channel_0_no_essid_and_fcc) {
    StationConfig config;
    std::memset(&config, 0, sizeof config);
    EXPECT_EQ(NetworkTypeName(config.networkType), "Infrastructure");
    EXPECT_EQ(config.channel, 0);
    EXPECT_EQ(TextOf(config.essid), "");
    EXPECT_EQ(DomainName(config.domain), "FCC");
}

TEST(NameTables, names_and_keywords_by_value) {
    const std::vector<std::string> types = {"Infrastructure", "Ad-Hoc", "AP", "Repeater", ""};
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(NetworkTypeName(i), types[i]) << i;
    EXPECT_EQ(NetworkTypeName(-1), "");
    EXPECT_EQ(NetworkTypeName(5), "");
    const std::vector<std::string> domains = {"FCC", "IC", "ETSI", "Spain", "France", "MKK"};
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(DomainName(i), domains[i]) << i;
    EXPECT_EQ(DomainName(6), "");
    EXPECT_STREQ(NetworkTypeKeywords[2], "Access");
    EXPECT_STREQ(NetworkTypeKeywords[4], "$");
    EXPECT_STREQ(DomainNames[6], "$");
}

TEST(FieldText, writing_cuts_to_the_field_and_always_terminates) {
    char essid[EssidWidth];
    SetText(essid, std::string(40, 'x'));
    EXPECT_EQ(TextOf(essid), std::string(19, 'x'));
    SetText(essid, "lab");
    EXPECT_EQ(TextOf(essid), "lab");
    EXPECT_EQ(essid[3], '\0');
    EXPECT_EQ(essid[19], '\0');
}

TEST(StationTable, link_choice_follows_the_current_row) {
    ResetStationTable();
    EXPECT_EQ(StationTable.StationCount, 0);
    StationTable.linkIndexes[0] = 2;
    StationTable.CurrentStation = SerialStation;
    EXPECT_TRUE(CurrentStationIsSerial());
    StationTable.CurrentStation = 0;
    EXPECT_FALSE(CurrentStationIsSerial());
    EXPECT_EQ(CurrentLinkIndex(), 2);
    StationTable.linkIndexes[1] = SerialLink;
    StationTable.CurrentStation = 1;
    EXPECT_TRUE(CurrentStationIsSerial());
    StationTable.CurrentStation = StationTableRows;
    EXPECT_TRUE(CurrentStationIsSerial());
    ResetStationTable();
}
