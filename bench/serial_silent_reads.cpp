// N reads of 20 bytes from a serial line that stays silent, each ending after
// the 200 ms input timeout. Prints the processor time spent per wall time: a
// read that waits on the port stays near 0, one that spins is near 1.
//
//   bench_serial_silent_reads [reads=N]
#include "link/SerialPortDriver.h"
#include "tests/support/NetNamespace.h"
#include "tests/support/PtyPeer.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace {

double SecondsOn(clockid_t clock) {
    timespec now{};
    clock_gettime(clock, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

int ReadsArgument(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (std::strncmp(argv[i], "reads=", 6) == 0) return std::atoi(argv[i] + 6);
    return 10;
}

} // namespace

int main(int argc, char** argv) {
    const int reads = ReadsArgument(argc, argv);
    kestrel::test::SetAbsentComPorts();
    kestrel::test::PtyPeer peer;
    if (!peer.Ok()) {
        std::fprintf(stderr, "serial_silent_reads: cannot open a pseudo-terminal\n");
        return 1;
    }
    peer.SetAsComPort(2);
    kestrel::TSerialPortDriver port;
    port.SetComPortSpeed(kestrel::br19200);
    port.SetComPortHwHandshaking(kestrel::hhRTSCTS);
    port.SetInputTimeout(200);
    if (!port.Connect()) {
        std::fprintf(stderr, "serial_silent_reads: cannot open %s\n", peer.SlavePath().c_str());
        return 1;
    }

    unsigned char buffer[20];
    int received = 0;
    const double wallStart = SecondsOn(CLOCK_MONOTONIC);
    const double cpuStart = SecondsOn(CLOCK_PROCESS_CPUTIME_ID);
    for (int i = 0; i < reads; ++i)
        received += port.ReadData(buffer, sizeof buffer);
    const double cpu = SecondsOn(CLOCK_PROCESS_CPUTIME_ID) - cpuStart;
    const double wall = SecondsOn(CLOCK_MONOTONIC) - wallStart;

    std::printf("serial_silent_reads reads=%d bytes_each=20 input_timeout_ms=200 received=%d "
                "wall_ms=%.0f cpu_ms=%.1f cpu_per_wall=%.4f\n",
                reads, received, wall * 1000, cpu * 1000, wall > 0 ? cpu / wall : 0.0);
    return received == 0 ? 0 : 1;
}
