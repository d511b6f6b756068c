// How close a scan comes to the waits it must make, and how much processor it
// takes meanwhile: the program's own scan against kestrel-sim, on one adapter
// with no station and one with two stations. The scan must wait two rounds of
// 15 receives of 200 ms per adapter (less the receives that got a frame),
// 2000 ms per adapter, 1000 ms per station and 3000 ms per unanswered query;
// everything beyond that is overhead.
// Usage: bench_scan_waits KESTREL_SIM (run by bench/scan_waits; needs root).
#include "link/LinkLayer.h"
#include "link/PacketChannel.h"
#include "platform/AdapterList.h"
#include "station/Discovery.h"
#include "station/SharedState.h"
#include "station/StationTable.h"
#include "tests/support/NetNamespace.h"

// The simulator fixture of the end-to-end tests, built into this program.
#include "tests/e2e/SimStations.cpp"

#include <chrono>
#include <cstdio>
#include <ctime>

namespace {

using namespace kestrel;

class NoList : public StationListSink {
  public:
    void DeleteAllRows() override {}
    void AddRow(const StationRow&) override {}
    void DeleteRow(int) override {}
    void InsertRow(int, const StationRow&) override {}
};

double ProcessCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s KESTREL_SIM\n", argv[0]);
        return 2;
    }
    std::string why;
    if (!test::EnterPrivateNetNamespace(&why)) {
        std::fprintf(stderr, "scan_waits: %s\n", why.c_str());
        return 77;
    }
    test::SetAbsentComPorts();
    test::SimStations sim({.adapters = {"kscan0", "kscan1"},
                           .serial = false,
                           .stations = {"name=a1,link=kscan1s", "name=a2,link=kscan1s"},
                           .simulator = argv[1]});
    if (!sim.Ready(&why)) {
        std::fprintf(stderr, "scan_waits: %s\n", why.c_str());
        return 1;
    }

    TSerialPortDriver serial;
    SerialDrv = &serial;
    serial.PausePolling();
    ComPortIndex = DetectComPort(serial);
    BaudIndex = DetectBaudRate(serial);
    TPacketChannel channel;
    PacketChannel = &channel;
    AdapterList = ReadAdapterList();
    if (AdapterList != std::vector<std::string>{"kscan0", "kscan1"}) {
        std::fprintf(stderr, "scan_waits: unexpected adapters\n");
        return 1;
    }

    NoList list;
    const double cpuBefore = ProcessCpuSeconds();
    const auto wallBefore = std::chrono::steady_clock::now();
    ScanStations(list);
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - wallBefore).count();
    const double cpu = ProcessCpuSeconds() - cpuBefore;

    const int adapters = static_cast<int>(AdapterList.size());
    const int framesReceived = sim.CountLines({" tx identity-reply "});
    const int unanswered = sim.CountLines({" rx command "}) - sim.CountLines({" tx answer "});
    const int requiredMs = adapters * (2 * 15 * 200 + 2000) - framesReceived * 200 +
                           StationTable.StationCount * 1000 + unanswered * 3000;
    std::printf("scan_stations_found %d (expected 2)\n", StationTable.StationCount);
    std::printf("scan_wall_over_required_waits %.4f (wall %.0f ms, required waits %d ms; "
                "target <= 1.02)\n",
                wall * 1000 / requiredMs, wall * 1000, requiredMs);
    std::printf("scan_cpu_over_wall %.4f (cpu %.0f ms; target <= 0.02)\n", cpu / wall, cpu * 1000);
    PacketChannel = nullptr;
    SerialDrv = nullptr;
    return 0;
}
