// The scan as the user sees its result: the station list's rows and the table
// behind them, with the program's own serial component and packet channel
// talking to kestrel-sim over a pseudo-terminal and veth pairs.
#include "tests/e2e/SimStations.h"

#include "link/LinkLayer.h"
#include "link/PacketChannel.h"
#include "platform/AdapterList.h"
#include "platform/MessageBox.h"
#include "station/Discovery.h"
#include "station/SharedState.h"
#include "station/StationTable.h"
#include "tests/support/NetNamespace.h"

#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace kestrel::test {
namespace {

class RecordedList : public StationListSink {
  public:
    void DeleteAllRows() override { rows.clear(); }
    void AddRow(const StationRow& row) override { rows.push_back(row); }
    void DeleteRow(int position) override { rows.erase(rows.begin() + position); }
    void InsertRow(int position, const StationRow& row) override {
        rows.insert(rows.begin() + position, row);
    }
    std::vector<StationRow> rows;
};

// The process-wide objects as the main window sets them up at start.
class ProgramSide {
  public:
    ProgramSide() {
        ResetStationTable();
        serial_.SetComPortSpeed(br19200);
        serial_.SetComPortHwHandshaking(hhRTSCTS);
        SerialDrv = &serial_;
        serial_.PausePolling();
        PacketChannel = new TPacketChannel();
        ComPortIndex = DetectComPort(serial_);
        BaudIndex = DetectBaudRate(serial_);
        AdapterList = ReadAdapterList();
    }
    ~ProgramSide() {
        delete PacketChannel;
        PacketChannel = nullptr;
        SerialDrv = nullptr;
        AdapterList.clear();
    }

  private:
    TSerialPortDriver serial_;
    RecordingMessageBox messages_;
};

MacAddress Mac(uint8_t fifth, uint8_t last) {
    return {0x02, 0x00, 0x00, 0x00, fifth, last};
}

std::string MacText(uint8_t fifth, uint8_t last) {
    char text[18];
    std::snprintf(text, sizeof text, "02-00-00-00-%02X-%02X", fifth, last);
    return text;
}

#define SKIP_WITHOUT_NAMESPACE()                                                                   \
    if (!InPrivateNetNamespace()) GTEST_SKIP() << "needs a private network namespace (root)"

TEST(Scan, lists_the_serial_station_then_each_adapters_stations_in_answer_order) {
    SKIP_WITHOUT_NAMESPACE();
    SimStations sim(
        {.adapters = {"ke0", "ke1"},
         .serial = true,
         .stations = {
             "name=ser,link=serial,type=2,essid=bench,channel=3,domain=FCC,"
             "manufacturer=Serial Works",
             "name=ap1,link=ke0s,mac=" + MacText(0, 1) +
                 ",type=3,essid=north,channel=11,domain=ETSI",
             "name=ap2,link=ke0s+ke1s,mac=" + MacText(0, 2) +
                 ",type=1,essid=south,channel=1,domain=MKK",
             // Discovery answers come from the MAC; commands are taken only there.
             "name=rep,link=ke1s,mac=" + MacText(0, 3) + ",addr=" + MacText(0, 0x99) +
                 ",commands-at=mac,type=4,essid=relay,channel=6,domain=IC",
             "name=mute,link=ke1s,mac=" + MacText(0, 4) + ",commands-at=none,manufacturer=Quiet Co",
         }});
    std::string why;
    ASSERT_TRUE(sim.Ready(&why)) << why;
    SetComPortsTo(sim.SerialPath());
    ProgramSide program;
    ASSERT_EQ(AdapterList, (std::vector<std::string>{"ke0", "ke1"}));
    ASSERT_NE(BaudIndex, -1);

    RecordedList list;
    list.rows.push_back({"left", "from", "before"});
    ScanStations(list);

    const std::vector<StationRow> expected = {
        {"01 02 01 06 03 03 ", "RS232", "Ad-Hoc", "3", "Serial Works", "bench", "FCC"},
        {"02 00 00 00 00 01 ", "Ethernet", "AP", "11", "Nimbus Radio", "north", "ETSI"},
        {"02 00 00 00 00 02 ", "Ethernet", "Infrastructure", "1", "Nimbus Radio", "south", "MKK"},
        {"02 00 00 00 00 02 ", "Ethernet", "Infrastructure", "1", "Nimbus Radio", "south", "MKK"},
        // Shown with the address it announced, though it is now addressed at its MAC.
        {"02 00 00 00 00 99 ", "Ethernet", "Repeater", "6", "Nimbus Radio", "relay", "IC"},
        {"02 00 00 00 00 04 ", "Ethernet", "  ", "0", "Quiet Co", "", "FCC"},
    };
    EXPECT_EQ(list.rows, expected);

    EXPECT_EQ(StationTable.StationCount, 6);
    EXPECT_EQ(StationTable.CurrentStation, 6);
    const std::vector<int32_t> links(StationTable.linkIndexes.begin(),
                                     StationTable.linkIndexes.begin() + 6);
    EXPECT_EQ(links, (std::vector<int32_t>{-1, 0, 0, 1, 1, 1}));
    EXPECT_EQ(StationTable.identities[4].StationAddress(), Mac(0, 3));
    EXPECT_EQ(StationTable.configs[4].networkType, NetworkTypeRepeater);
    EXPECT_EQ(StationTable.configs[5].networkType, NetworkTypeUnknown);
    // One pair of discovery rounds per adapter, and no frame on the serial line's behalf.
    EXPECT_EQ(sim.CountLines({" ap2 ke0s rx identity-request "}), 2);
    EXPECT_EQ(sim.CountLines({" ap2 ke1s rx identity-request "}), 2);
    EXPECT_EQ(sim.CountLines({" rep ke1s tx answer "}), 5);
}

TEST(Scan, fills_fifteen_rows_then_adds_one_station_per_adapter) {
    SKIP_WITHOUT_NAMESPACE();
    SimSetup setup{.adapters = {"kf0", "kf1", "kf2"}, .serial = false, .stations = {}};
    const auto addStations = [&](const char* link, int first, int count) {
        for (int n = first; n < first + count; ++n)
            setup.stations.push_back("name=s" + std::to_string(n) + ",link=" + link +
                                     ",mac=" + MacText(1, static_cast<uint8_t>(n)) + ",essid=e" +
                                     std::to_string(n));
    };
    addStations("kf0s", 1, 14);
    addStations("kf1s", 15, 5);
    addStations("kf2s", 20, 2);
    SimStations sim(setup);
    std::string why;
    ASSERT_TRUE(sim.Ready(&why)) << why;
    SetAbsentComPorts();
    ProgramSide program;

    RecordedList list;
    ScanStations(list);

    ASSERT_EQ(StationTable.StationCount, 16);
    ASSERT_EQ(list.rows.size(), 16u);
    for (int row = 0; row < 14; ++row) {
        EXPECT_EQ(list.rows[row][5], "e" + std::to_string(row + 1)) << "row " << row;
        EXPECT_EQ(StationTable.linkIndexes[row], 0) << "row " << row;
    }
    // The first station to answer on each later adapter, and only it.
    EXPECT_EQ(list.rows[14][5], "e15");
    EXPECT_EQ(StationTable.linkIndexes[14], 1);
    EXPECT_EQ(list.rows[15][5], "e20");
    EXPECT_EQ(StationTable.linkIndexes[15], 2);
    // The stations left out were never asked anything.
    for (const char* name : {" s16 ", " s17 ", " s18 ", " s19 ", " s21 "})
        EXPECT_EQ(sim.CountLines({name, " rx command "}), 0) << name;
}

TEST(DiscoveryCapacity, keeps_the_table_within_fifteen_then_one_per_adapter_then_thirty) {
    struct Case {
        int rows;
        int capacity;
        int found; // as discovery reports it
        int fit;
    };
    const Case cases[] = {
        {0, 15, 15, 15}, {1, 14, 14, 14}, {14, 1, 1, 1}, {15, 1, 1, 1}, {29, 1, 1, 1},
        {29, 1, 3, 1},   {30, 0, 1, 0},   {30, 0, 0, 0}, {31, 0, 1, 0}, {10, 5, -1, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("rows " + std::to_string(c.rows));
        EXPECT_EQ(DiscoveryCapacity(c.rows), c.capacity);
        EXPECT_EQ(StationsThatFit(c.rows, c.found), c.fit);
    }
    // Adapter after adapter, each with many stations answering: 15, then one each, up to 30.
    int rows = 1;
    std::vector<int> added;
    for (int adapter = 0; adapter < 20; ++adapter) {
        const int stored = std::min(DiscoveryCapacity(rows), 20);
        const int fit = StationsThatFit(rows, stored);
        added.push_back(fit);
        rows += fit;
    }
    EXPECT_EQ(rows, 30);
    EXPECT_EQ(added[0], 14);
    EXPECT_EQ(std::count(added.begin() + 1, added.begin() + 16, 1), 15);
    EXPECT_EQ(std::count(added.begin() + 16, added.end(), 0), 4);
}

} // namespace
} // namespace kestrel::test

int main(int argc, char** argv) {
    // Before any thread: the scan sends frames only inside a namespace of our own.
    kestrel::test::EnterPrivateNetNamespace();
    kestrel::test::SetAbsentComPorts();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
