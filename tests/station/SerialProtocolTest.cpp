// The protocol over the serial line: a scripted pseudo-terminal where the
// exact bytes matter, the simulator's serial station for whole exchanges.
#include "link/LinkLayer.h"
#include "platform/MessageBox.h"
#include "station/Protocol.h"
#include "station/RebootWait.h"
#include "station/StationTable.h"
#include "tests/station/StationRig.h"
#include "tests/support/PtyPeer.h"

#include <chrono>
#include <cstring>
#include <gtest/gtest.h>
#include <optional>

namespace kestrel::test {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

long MsSince(Clock::time_point start) {
    return static_cast<long>(
        std::chrono::duration_cast<milliseconds>(Clock::now() - start).count());
}

StationConfig FilledConfig() {
    StationConfig config{};
    SetText(config.addressText, "before");
    SetText(config.essid, "before");
    config.networkType = 7;
    config.channel = 99;
    config.domain = 99;
    return config;
}

TEST(KeywordMatch, finds_the_first_keyword_and_prefers_the_longer_one_that_contains_another) {
    const char* types = &NetworkTypeKeywords[0][0];
    const char* domains = &DomainNames[0][0];
    struct Case {
        const char* reply;
        const char* table;
        int width;
        int expected;
    } cases[] = {
        {"Bss", types, 9, 0},
        {"IBss", types, 9, 1},
        {"mode IBss now", types, 9, 1},
        {"Access Point", types, 9, 2},
        {"Repeater", types, 9, 3},
        {"bss", types, 9, -1},
        {"", types, 9, -1},
        {"ETSI", domains, 7, 2},
        {"MKK", domains, 7, 5},
        {"Japan", domains, 7, -1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(MatchKeyword(c.reply, c.table, c.width), c.expected) << c.reply;
}

TEST(SerialConfig, answers_give_network_type_and_domain) {
    struct Case {
        std::optional<std::string> typeAnswer;
        std::string domainAnswer;
        int32_t networkType;
        int32_t domain;
        bool answered;
    } cases[] = {
        {"IBss\r\n", "ETSI\r\n", 1, 2, true},
        {"Bss\r\n", "FCC\r\n", 0, 0, true},
        {"Access Point\r\n", "MKK\r\n", 2, 5, true},
        {"3\r\n", "Nowhere\r\n", 2, 0, true},
        {"1\r\n", "ETSI\r\n", 0, 2, true},
        {"9\r\n", "ETSI\r\n", 0, 2, true},
        {"5\r\n", "IC\r\n", 4, 1, true},
        {std::nullopt, "ETSI\r\n", -1, 99, false},
    };
    for (const auto& c : cases) {
        ScriptedSerialLine line;
        ASSERT_TRUE(line.Ready());
        PtyPeer& peer = line.peer;
        if (c.typeAnswer) peer.Answer("ATn\r\n", *c.typeAnswer);
        peer.Answer("ATi\r\n", "00-60-B3-12-34-56\r\n");
        peer.Answer("ATESSID\r\n", "lab\r\n");
        peer.Answer("AT#c\r\n", "11\r\n");
        peer.Answer("ATdomain\r\n", c.domainAnswer);

        StationConfig config = FilledConfig();
        EXPECT_EQ(ReadStationConfig(config), c.answered);
        const std::string label = c.typeAnswer.value_or("(none)");
        EXPECT_EQ(config.networkType, c.networkType) << label;
        EXPECT_EQ(config.domain, c.domain) << label;
        EXPECT_EQ(StationTable.ReplyTimeout, 3000);
        if (c.answered) {
            EXPECT_EQ(TextOf(config.addressText), "00-60-B3-12-34-56");
            EXPECT_EQ(TextOf(config.essid), "lab");
            EXPECT_EQ(config.channel, 11);
            EXPECT_EQ(peer.Received(), "+++\r\nATn\r\nATi\r\nATESSID\r\nAT#c\r\nATdomain\r\n");
        } else {
            EXPECT_EQ(TextOf(config.essid), "before");
            EXPECT_EQ(peer.Received(), "+++\r\nATn\r\n");
        }
    }
}

TEST(SerialConfig, long_answers_are_cut_to_their_fields) {
    ScriptedSerialLine line;
    ASSERT_TRUE(line.Ready());
    PtyPeer& peer = line.peer;
    peer.Answer("ATn\r\n", "Bss\r\n");
    peer.Answer("ATi\r\n", std::string(40, 'i') + "\r\n");
    peer.Answer("ATESSID\r\n", std::string(40, 'e') + "\r\n");
    peer.Answer("AT#c\r\n", "99999999999\r\n");
    peer.Answer("ATdomain\r\n", "France\r\n");
    StationConfig config = FilledConfig();
    EXPECT_TRUE(ReadStationConfig(config));
    EXPECT_EQ(TextOf(config.addressText), std::string(25, 'i'));
    EXPECT_EQ(TextOf(config.essid), std::string(19, 'e'));
    EXPECT_EQ(config.channel, 2147483647);
    EXPECT_EQ(config.domain, 4);
}

struct SessionCase {
    std::string password;
    std::optional<std::string> answer;
    bool opened;
    std::vector<ShownMessage> messages;
    std::string sent;
};

TEST(SerialSession, open_session_reports_each_failure) {
    const SessionCase cases[] = {
        {"", "OK\r\n", false, {{"No Password", "Open Session", MessageIcon::Question}}, ""},
        {"admin",
         std::nullopt,
         false,
         {{"No Response", "Open Session", MessageIcon::Error}},
         "AT#999=1/admin\r\n"},
        {"admin",
         "ERROR\r\n",
         false,
         {{"Error Password", "Open Session", MessageIcon::Warning}},
         "AT#999=1/admin\r\n"},
        {"admin",
         "ok\r\n",
         false,
         {{"Error Password", "Open Session", MessageIcon::Warning}},
         "AT#999=1/admin\r\n"},
        {"admin", "\r\nxxOKyy\r\n", true, {}, "AT#999=1/admin\r\n"},
        {"ad\r\nATz",
         "OK\r\n",
         false,
         {{"The password must not contain a carriage return or a line feed.", "Open Session",
           MessageIcon::Warning}},
         ""},
    };
    for (const auto& c : cases) {
        ScriptedSerialLine line;
        ASSERT_TRUE(line.Ready());
        PtyPeer& peer = line.peer;
        if (c.answer)
            peer.Answer("\r\n", *c.answer);
        else
            peer.Answer("never sent", "");
        RecordingMessageBox boxes;
        SessionPassword = c.password;
        EXPECT_EQ(OpenSession(), c.opened) << c.password;
        EXPECT_EQ(boxes.shown, c.messages) << c.password;
        EXPECT_EQ(peer.Received(), c.sent) << c.password;
    }
    SessionPassword.clear();
}

TEST(SerialSession, close_session_reports_only_a_missing_answer) {
    for (const bool answers : {true, false}) {
        ScriptedSerialLine line;
        ASSERT_TRUE(line.Ready());
        PtyPeer& peer = line.peer;
        peer.Answer("AT#999=0\r\n", answers ? "ERROR\r\n" : "");
        RecordingMessageBox boxes;
        CloseSession();
        EXPECT_EQ(peer.Received(), "AT#999=0\r\n");
        const std::vector<ShownMessage> expected =
            answers
                ? std::vector<ShownMessage>{}
                : std::vector<ShownMessage>{{"No Response", "Close Session", MessageIcon::Error}};
        EXPECT_EQ(boxes.shown, expected);
    }
}

TEST(SerialWriteConfig, sends_the_settings_in_order_stores_them_and_waits_for_the_restart) {
    ScriptedSerialLine line;
    ASSERT_TRUE(line.Ready());
    PtyPeer& peer = line.peer;
    peer.Answer("ATn3\r\n", "OK\r\n");
    peer.Answer("ATESSID=\"lab\"\r\n", "OK\r\n");
    peer.Answer("ATc=6\r\n", "OK\r\n");
    peer.Answer("AT&w\r\n", "OK\r\n");
    peer.Answer("ATz\r\n", "\r\nREADY\r\n");
    StationConfig config{};
    config.networkType = 2;
    SetText(config.essid, "lab");
    config.channel = 6;
    config.domain = 3;
    EXPECT_TRUE(WriteStationConfig(config));
    EXPECT_EQ(peer.Received(), "+++\r\nATn3\r\nATESSID=\"lab\"\r\nATc=6\r\nAT&w\r\nATz\r\n");
}

TEST(SerialWriteConfig, unconfirmed_store_is_a_failure_without_restart) {
    ScriptedSerialLine line;
    ASSERT_TRUE(line.Ready());
    PtyPeer& peer = line.peer;
    line.rig.Port().SetInputTimeout(20); // 20 empty reads after "AT&w"
    peer.Answer("ATc=1\r\n", "OK\r\n");
    StationConfig config{};
    SetText(config.essid, "x");
    config.channel = 1;
    EXPECT_FALSE(WriteStationConfig(config));
    EXPECT_EQ(peer.Received(), "+++\r\nATn1\r\nATESSID=\"x\"\r\nATc=1\r\nAT&w\r\n");
}

TEST(SerialWriteConfig, essid_that_would_end_the_command_is_refused_unsent) {
    for (const char* essid : {"a\"b", "a\rb", "lab\nATz"}) {
        ScriptedSerialLine line;
        ASSERT_TRUE(line.Ready());
        PtyPeer& peer = line.peer;
        peer.Answer("never sent", "");
        RecordingMessageBox boxes;
        StationConfig config{};
        SetText(config.essid, essid);
        EXPECT_FALSE(WriteStationConfig(config));
        EXPECT_EQ(peer.Received(), "");
        const std::vector<ShownMessage> expected{
            {"The ESSID must not contain a double quote, a carriage return or a line feed.",
             "Configuration", MessageIcon::Warning}};
        EXPECT_EQ(boxes.shown, expected);
    }
}

TEST(SerialIdentity, silent_station_closes_the_port_and_gets_no_frame) {
    ScriptedSerialLine line;
    ASSERT_TRUE(line.Ready());
    PtyPeer& peer = line.peer;
    peer.Answer("never sent", "");
    StationIdentity identity;
    identity.bytes.fill(0x5A);
    EXPECT_FALSE(QueryStationIdentity(identity));
    EXPECT_FALSE(line.rig.Connected());
    EXPECT_EQ(peer.Received(), "AT\r\n");
    EXPECT_EQ(identity.bytes[0], 0x5A);
    FirmwareInfo info{};
    EXPECT_FALSE(QueryFirmwareInfo(info)); // closed port: nothing more goes out
    EXPECT_EQ(peer.Received(), "AT\r\n");
}

TEST(SerialIdentity, simulated_station_gives_identity_firmware_and_configuration) {
    SimSerialStation station("name=ser,link=serial,addr=00-60-B3-12-34-56,essid=lab,channel=6,"
                             "type=IBss,domain=MKK,version=2.1,model=NR-11");
    ASSERT_TRUE(station.Ready());
    SerialRig rig;
    ASSERT_TRUE(rig.Connected());

    StationIdentity identity;
    ASSERT_TRUE(QueryStationIdentity(identity));
    EXPECT_EQ(StationTable.ReplyTimeout, 500);
    EXPECT_EQ(identity.StationAddress(), (MacAddress{0x00, 0x60, 0xB3, 0x12, 0x34, 0x56}));
    EXPECT_EQ(identity.Model(), "NR-11");

    FirmwareInfo info{};
    ASSERT_TRUE(QueryFirmwareInfo(info));
    EXPECT_EQ(StationTable.ReplyTimeout, 1000);
    EXPECT_EQ(TextOf(info.manufacturer), "Nimbus Radio");
    // 20 characters: cut to the 20-byte field with its zero.
    EXPECT_EQ(TextOf(info.product), "NR-2400 Wireless LA");
    EXPECT_EQ(TextOf(info.version), "2.1");

    StationConfig config{};
    ASSERT_TRUE(ReadStationConfig(config));
    EXPECT_EQ(config.networkType, 1);
    EXPECT_EQ(TextOf(config.addressText), "00-60-B3-12-34-56");
    EXPECT_EQ(TextOf(config.essid), "lab");
    EXPECT_EQ(config.channel, 6);
    EXPECT_EQ(config.domain, 5);

    const std::string log = station.Sim().LogText();
    EXPECT_EQ(CommandsReceived(log, "AT\r\n"), 2);
    EXPECT_EQ(CommandsReceived(log, "ATO\r\n"), 2);
}

TEST(SerialRebootWait, silent_station_gets_only_the_restart_and_three_reads) {
    ScriptedSerialLine line;
    ASSERT_TRUE(line.Ready());
    PtyPeer& peer = line.peer;
    peer.Answer("never sent", "");
    StationTable.linkIndexes[0] = 4; // the serial station is current whatever the rows say
    const auto start = Clock::now();
    EXPECT_FALSE(WaitForReboot(3));
    const long elapsed = MsSince(start);
    EXPECT_GE(elapsed, 3 * 200 - 10); // three reads, each ended by 200 ms of silence
    EXPECT_EQ(RebootPollCount, 0);
    EXPECT_EQ(peer.Received(), "ATz\r\n");
}

TEST(SerialRebootWait, echo_of_the_restart_is_an_answer_at_the_first_read) {
    ScriptedSerialLine line;
    ASSERT_TRUE(line.Ready());
    PtyPeer& peer = line.peer;
    peer.Answer("ATz\r\n", "ATz\r\n");
    RebootPollCount = 3;
    EXPECT_EQ(PollRebootingStation(), 1);
    EXPECT_EQ(RebootPollCount, 3);
    EXPECT_EQ(peer.Received(), "ATz\r\n");
}

TEST(SerialRebootWait, closed_port_gives_up_at_once) {
    SerialRig rig; // COM2 does not exist
    ASSERT_FALSE(rig.Connected());
    const auto start = Clock::now();
    EXPECT_FALSE(WaitForReboot(3));
    EXPECT_LT(MsSince(start), 150); // three polls of a live port would take 600 ms
}

} // namespace
} // namespace kestrel::test
