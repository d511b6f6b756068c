// The protocol over Ethernet: the simulator's stations on the far end of a
// veth pair in the test's own network namespace.
#include "link/PacketChannel.h"
#include "platform/MessageBox.h"
#include "station/Protocol.h"
#include "station/RebootWait.h"
#include "station/StationTable.h"
#include "tests/station/StationRig.h"
#include "tests/support/NetNamespace.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <set>
#include <thread>

namespace kestrel::test {
namespace {

using namespace std::chrono_literals;

constexpr MacAddress StationA{0x02, 0x00, 0x00, 0x00, 0x00, 0x01};
constexpr MacAddress StationB{0x02, 0x00, 0x00, 0x00, 0x00, 0x02};
constexpr MacAddress Nobody{0x02, 0x00, 0x00, 0x00, 0x00, 0x09};

int LogCount(const std::string& log, const std::string& needle) {
    int count = 0;
    for (size_t at = log.find(needle); at != std::string::npos; at = log.find(needle, at + 1))
        ++count;
    return count;
}

#define REQUIRE_RIG(rig)                                                                           \
    do {                                                                                           \
        if (!InPrivateNetNamespace()) GTEST_SKIP() << "needs a private network namespace (root)";  \
        ASSERT_EQ((rig).Failure(), "");                                                            \
    } while (0)

TEST(EthernetDiscovery, two_stations_answering_both_rounds_are_stored_once_each) {
    EthernetRig rig({"name=a,mac=02-00-00-00-00-01", "name=b,mac=02-00-00-00-00-02"}, StationA);
    REQUIRE_RIG(rig);
    std::array<StationIdentity, 30> slots{};
    EXPECT_EQ(DiscoverStations(slots.data(), 30), 2);
    EXPECT_EQ(StationTable.ReplyTimeout, 200);
    const std::set<MacAddress> found{slots[0].StationAddress(), slots[1].StationAddress()};
    EXPECT_EQ(found, (std::set<MacAddress>{StationA, StationB}));
    EXPECT_EQ(slots[2].StationAddress(), MacAddress{});
    EXPECT_EQ(slots[0].Manufacturer(), "Nimbus Radio");
    const std::string log = rig.Sim().LogText();
    EXPECT_EQ(LogCount(log, "a kpr1 rx identity-request len=64 dst=FF-FF-FF-FF-FF-FF"), 2);
}

TEST(EthernetDiscovery, capacity_limits_the_stations_and_ends_the_search) {
    EthernetRig rig({"name=a,mac=02-00-00-00-00-01", "name=b,mac=02-00-00-00-00-02"}, StationA);
    REQUIRE_RIG(rig);
    std::array<StationIdentity, 2> slots{};
    EXPECT_EQ(DiscoverStations(slots.data(), 1), 1);
    EXPECT_EQ(slots[1].StationAddress(), MacAddress{});
    EXPECT_EQ(DiscoverStations(slots.data() + 1, 0), 0);
    EXPECT_EQ(DiscoverStations(slots.data() + 1, -3), 0);
    EXPECT_EQ(slots[1].StationAddress(), MacAddress{});
    std::this_thread::sleep_for(300ms); // a request sent now would be logged by then
    // One round only, and nothing for the calls without room.
    EXPECT_EQ(LogCount(rig.Sim().LogText(), "a kpr1 rx identity-request"), 1);
}

TEST(EthernetIdentity, reply_from_another_source_is_skipped) {
    EthernetRig rig({"name=a,mac=02-00-00-00-00-01"}, StationA);
    REQUIRE_RIG(rig);
    ASSERT_TRUE(SendForeignIdentityReply(Nobody, "Impostor"));
    FirmwareInfo info{};
    ASSERT_TRUE(QueryFirmwareInfo(info));
    EXPECT_EQ(StationTable.ReplyTimeout, 1000);
    EXPECT_EQ(TextOf(info.manufacturer), "Nimbus Radio");
    EXPECT_EQ(TextOf(info.model), "NR-11");
    EXPECT_EQ(TextOf(info.version), "2.1");

    ASSERT_TRUE(SendForeignIdentityReply(Nobody, "Impostor"));
    StationIdentity identity;
    ASSERT_TRUE(QueryStationIdentity(identity));
    EXPECT_EQ(StationTable.ReplyTimeout, 500);
    EXPECT_EQ(identity.ReplySource(), StationA);
    EXPECT_EQ(identity.Manufacturer(), "Nimbus Radio");
    EXPECT_EQ(
        LogCount(rig.Sim().LogText(), "a kpr1 rx identity-request len=64 dst=02-00-00-00-00-01"),
        2);
}

TEST(EthernetIdentity, unanswered_query_leaves_the_record_untouched) {
    EthernetRig rig({"name=a,mac=02-00-00-00-00-01"}, Nobody);
    REQUIRE_RIG(rig);
    FirmwareInfo info{};
    SetText(info.manufacturer, "kept");
    StationTable.ReplyTimeout = 0;
    EXPECT_FALSE(QueryFirmwareInfo(info));
    EXPECT_EQ(TextOf(info.manufacturer), "kept");
}

TEST(EthernetIdentity, overlong_identity_texts_are_cut_to_the_firmware_fields) {
    EthernetRig rig({"name=a,mac=02-00-00-00-00-01,fault=long-text"}, StationA);
    REQUIRE_RIG(rig);
    StationIdentity identity;
    ASSERT_TRUE(QueryStationIdentity(identity));
    EXPECT_EQ(identity.Manufacturer().size(), 64u);
    FirmwareInfo info{};
    ASSERT_TRUE(QueryFirmwareInfo(info));
    EXPECT_EQ(TextOf(info.manufacturer), identity.Manufacturer().substr(0, 19));
    EXPECT_EQ(TextOf(info.product), identity.Product().substr(0, 19));
}

TEST(EthernetConfig, session_write_and_read_back_after_the_restart) {
    EthernetRig rig({"name=a,mac=02-00-00-00-00-01,type=Bss,essid=old,channel=1,domain=ETSI,"
                     "restart-ms=200"},
                    StationA);
    REQUIRE_RIG(rig);
    RecordingMessageBox boxes;
    StationConfig config{};
    ASSERT_TRUE(ReadStationConfig(config));
    EXPECT_EQ(config.networkType, 0);
    EXPECT_EQ(TextOf(config.essid), "old");
    EXPECT_EQ(config.channel, 1);
    EXPECT_EQ(config.domain, 2);
    StationTable.ReplyTimeout = 600;

    SessionPassword = "wrong";
    EXPECT_FALSE(OpenSession());
    SessionPassword = "admin";
    ASSERT_TRUE(OpenSession());
    config.networkType = 2;
    SetText(config.essid, "lab");
    config.channel = 6;
    EXPECT_TRUE(WriteStationConfig(config));
    SessionPassword.clear();
    const std::vector<ShownMessage> expected{
        {"Error Password", "Open Session", MessageIcon::Warning}};
    EXPECT_EQ(boxes.shown, expected);

    StationConfig after{};
    ASSERT_TRUE(ReadStationConfig(after));
    EXPECT_EQ(after.networkType, 2);
    EXPECT_EQ(TextOf(after.essid), "lab");
    EXPECT_EQ(after.channel, 6);

    const std::string log = rig.Sim().LogText();
    std::vector<size_t> at;
    for (const char* command :
         {"ATn3\\r\\n", "ATESSID=\\\"lab\\\"\\r\\n", "ATc=6\\r\\n", "AT&w\\r\\n", "ATz\\r\\n"})
        at.push_back(log.find(std::string("rx command \"") + command + "\""));
    EXPECT_TRUE(std::is_sorted(at.begin(), at.end())) << log;
    EXPECT_EQ(std::count(at.begin(), at.end(), std::string::npos), 0) << log;
}

TEST(EthernetRebootWait, silent_station_gets_the_restart_and_three_polls) {
    EthernetRig rig({"name=a,mac=02-00-00-00-00-01,fault=silent"}, StationA);
    REQUIRE_RIG(rig);
    StationTable.ReplyTimeout = 200;
    EXPECT_FALSE(WaitForReboot(3));
    EXPECT_EQ(RebootPollCount, 0);
    const std::string log = rig.Sim().LogText();
    EXPECT_EQ(CommandsReceived(log, "ATz\r\n"), 1);
    EXPECT_EQ(CommandsReceived(log, "AT\r\n"), 3);
}

TEST(EthernetRebootWait, no_polls_left_still_polls_once) {
    EthernetRig rig({"name=a,mac=02-00-00-00-00-01,fault=silent"}, StationA);
    REQUIRE_RIG(rig);
    StationTable.ReplyTimeout = 200;
    EXPECT_FALSE(WaitForReboot(0));
    EXPECT_EQ(CommandsReceived(rig.Sim().LogText(), "AT\r\n"), 1);
}

TEST(EthernetRebootWait, station_back_at_the_second_poll) {
    // The first poll comes while the station is still restarting (150 ms);
    // the second, 400 ms later, is answered.
    EthernetRig rig({"name=a,mac=02-00-00-00-00-01,restart-ms=150"}, StationA);
    REQUIRE_RIG(rig);
    StationTable.ReplyTimeout = 400;
    EXPECT_TRUE(WaitForReboot(3));
    EXPECT_EQ(RebootPollCount, 2);
    const std::string log = rig.Sim().LogText();
    EXPECT_EQ(CommandsReceived(log, "ATz\r\n"), 1);
    EXPECT_EQ(CommandsReceived(log, "AT\r\n"), 2) << log;
}

} // namespace
} // namespace kestrel::test
