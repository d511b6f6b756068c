// How much processor a receive loop costs while nothing arrives: the channel
// on a veth whose far end stays silent, 30 receives of 200 ms each. A wait
// that spins shows a ratio near 1; the target is at most 0.02.
#include "link/PacketChannel.h"
#include "platform/Wait.h"
#include "tests/support/NetNamespace.h"

#include <cstdio>
#include <ctime>
#include <string>

namespace {

double ProcessCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

} // namespace

int main() {
    using namespace kestrel;
    constexpr int receives = 30;
    constexpr int timeoutMs = 200;

    std::string why;
    if (!test::EnterPrivateNetNamespace(&why) || !test::AddVethPair("kbench0", "kbench1", &why)) {
        std::fprintf(stderr, "packet_quiet_receives: cannot set up a private veth: %s\n",
                     why.c_str());
        return 77;
    }
    test::SetAbsentComPorts();
    TPacketChannel channel;
    PacketChannel = &channel;
    if (!OpenPacketChannel("kbench0") || !EnablePacketFilter()) {
        std::fprintf(stderr, "packet_quiet_receives: cannot open the channel on kbench0\n");
        return 1;
    }

    uint8_t buffer[ReceiveSlotSize];
    int taken = 0;
    const double cpuStart = ProcessCpuSeconds();
    const uint32_t wallStart = TickCountMs();
    for (int i = 0; i < receives; ++i) {
        int length = sizeof buffer;
        if (ReceivePacket(buffer, length, timeoutMs)) ++taken;
    }
    const uint32_t wallMs = TickCountMs() - wallStart;
    const double cpuSeconds = ProcessCpuSeconds() - cpuStart;
    ClosePacketChannel();
    PacketChannel = nullptr;

    std::printf("packet_quiet_receives receives=%d timeout_ms=%d frames=%d wall_ms=%u "
                "cpu_per_wall=%.4f\n",
                receives, timeoutMs, taken, wallMs, wallMs ? cpuSeconds * 1000.0 / wallMs : 0.0);
    return 0;
}
