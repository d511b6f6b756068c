#include "tests/station/StationRig.h"

#include "link/LinkLayer.h"
#include "link/PacketChannel.h"
#include "station/StationTable.h"
#include "tests/support/NetNamespace.h"

#include <arpa/inet.h>
#include <cstdlib>
#include <linux/if_packet.h>
#include <net/if.h>
#include <sys/socket.h>
#include <unistd.h>

namespace kestrel::test {

using namespace std::chrono_literals;

SerialRig::SerialRig() {
    ResetStationTable();
    ResetSerialReceiveBuffer();
    StationTable.CurrentStation = SerialStation;
    port_.SetComPort(pnCOM2);
    port_.SetComPortSpeed(br19200);
    port_.Connect();
    SerialDrv = &port_;
}

SerialRig::~SerialRig() {
    SerialDrv = nullptr;
    port_.Disconnect();
}

SimSerialStation::SimSerialStation(const std::string& station) {
    const std::string link = dir_.File("tty");
    sim_ = std::make_unique<SimProcess>(
        dir_, std::vector<std::string>{"--serial", link, "--station", station});
    ready_ = WaitUntil([&] { return ::access(link.c_str(), F_OK) == 0; }, 5s);
    ::setenv("KESTREL_COM2", link.c_str(), 1);
}

EthernetRig::EthernetRig(const std::vector<std::string>& stations, const MacAddress& current) {
    ResetStationTable();
    if (!InPrivateNetNamespace()) {
        failure_ = "no private network namespace (not root)";
        return;
    }
    DeleteLink(ProgramSide);
    if (!AddVethPair(ProgramSide, StationSide, &failure_)) return;
    std::vector<std::string> args;
    for (const auto& station : stations) {
        args.push_back("--station");
        args.push_back(station + ",link=" + StationSide);
    }
    sim_ = std::make_unique<SimProcess>(dir_, args);
    const size_t expected = stations.size();
    const bool started = WaitUntil(
        [&] {
            const std::string log = sim_->LogText();
            size_t count = 0;
            for (size_t at = log.find(" -- started"); at != std::string::npos;
                 at = log.find(" -- started", at + 1))
                ++count;
            return count >= expected;
        },
        5s);
    if (!started) {
        failure_ = "simulator did not start";
        return;
    }
    PacketChannel = new TPacketChannel();
    if (!OpenPacketChannel(ProgramSide) || !EnablePacketFilter()) {
        failure_ = "packet channel did not open";
        return;
    }
    StationTable.StationCount = 1;
    StationTable.CurrentStation = 0;
    StationTable.linkIndexes[0] = 0;
    StationTable.identities[0].SetStationAddress(current);
}

EthernetRig::~EthernetRig() {
    ClosePacketChannel();
    delete PacketChannel;
    PacketChannel = nullptr;
    sim_.reset();
    DeleteLink(ProgramSide);
    ResetStationTable();
}

int CommandsReceived(const std::string& log, const std::string& command) {
    std::string escaped;
    for (char c : command)
        escaped += c == '\r'   ? std::string("\\r")
                   : c == '\n' ? std::string("\\n")
                               : std::string(1, c);
    const std::string needle = " rx command \"" + escaped + "\"";
    int count = 0;
    for (size_t at = log.find(needle); at != std::string::npos; at = log.find(needle, at + 1))
        ++count;
    return count;
}

bool SendForeignIdentityReply(const MacAddress& source, const std::string& manufacturer) {
    const int fd = ::socket(AF_PACKET, SOCK_RAW, htons(0xAAAA));
    if (fd < 0) return false;
    sockaddr_ll to{};
    to.sll_family = AF_PACKET;
    to.sll_ifindex = static_cast<int>(::if_nametoindex(StationSide));
    to.sll_halen = 6;
    FrameHeader header;
    std::copy(PacketChannel->AdapterAddress.begin(), PacketChannel->AdapterAddress.end(),
              header.destination.begin());
    std::copy(header.destination.begin(), header.destination.end(), to.sll_addr);
    header.source = source;
    header.type = IdentityReplyFrame;
    StationIdentity reply;
    header.WriteTo(reply.bytes);
    reply.SetStationAddress(source);
    WriteFieldText(
        reinterpret_cast<char*>(reply.bytes.data() + StationIdentity::ManufacturerOffset),
        StationIdentity::ManufacturerWidth, manufacturer);
    const bool sent = ::sendto(fd, reply.bytes.data(), reply.bytes.size(), 0,
                               reinterpret_cast<const sockaddr*>(&to),
                               sizeof to) == static_cast<ssize_t>(reply.bytes.size());
    ::close(fd);
    return sent;
}

} // namespace kestrel::test
