// kestrel-sim: plays wireless LAN stations on a pseudo-terminal and on
// network interfaces, for the tests and the demo. See --help.
#include "sim/EthernetPort.h"
#include "sim/EventLoop.h"
#include "sim/Log.h"
#include "sim/Options.h"
#include "sim/SerialLine.h"
#include "sim/Station.h"

#include <csignal>
#include <cstdio>
#include <map>
#include <memory>
#include <sys/signalfd.h>
#include <unistd.h>

using namespace kestrel::sim;

namespace {

int Fail(const std::string& why) {
    std::fprintf(stderr, "kestrel-sim: %s\n", why.c_str());
    return 1;
}

// SIGTERM and SIGINT arrive as a readable descriptor, so the loop ends
// between two pieces of work and everything is closed in order.
int StopSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGINT);
    sigprocmask(SIG_BLOCK, &set, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    return ::signalfd(-1, &set, SFD_CLOEXEC);
}

} // namespace

int main(int argc, char** argv) {
    Options options;
    std::string why;
    if (!ParseOptions(argc, argv, &options, &why)) {
        std::fprintf(stderr, "kestrel-sim: %s\n", why.c_str());
        return 2;
    }
    if (options.help) {
        std::fputs(HelpText, stdout);
        return 0;
    }
    const int stopFd = StopSignals();
    if (stopFd < 0) return Fail("cannot watch for SIGTERM");

    Log log;
    if (!log.Open(options.logPath, &why)) return Fail(why);
    EventLoop loop;

    std::vector<std::unique_ptr<Station>> stations;
    std::unique_ptr<SerialLine> serial;
    std::map<std::string, std::unique_ptr<EthernetPort>> ports;
    for (auto& setup : options.stations) {
        stations.push_back(std::make_unique<Station>(setup, loop, log));
        Station* station = stations.back().get();
        for (const auto& linkName : setup.links) {
            if (linkName == "serial") {
                serial = std::make_unique<SerialLine>(loop, log, options.serialSpeed,
                                                      options.linePacing);
                if (!serial->Open(&why)) return Fail(why);
                serial->Attach(station);
                station->AddLink(serial.get());
                continue;
            }
            auto& port = ports[linkName];
            if (!port) {
                port = std::make_unique<EthernetPort>(loop, log, linkName);
                if (!port->Open(&why)) return Fail(why);
            }
            port->Attach(station);
            station->AddLink(port.get());
        }
    }
    for (const auto& station : stations)
        for (const auto& linkName : station->Setup().links)
            log.Line(station->Name(), linkName, "--",
                     "started mac=" + FormatMac(station->Setup().mac) +
                         " addr=" + FormatMac(station->StationAddress()));
    // Published last: a caller that sees the link can talk at once.
    if (serial && !serial->Publish(options.serialPath, &why)) return Fail(why);

    loop.Run(stopFd);
    if (serial) serial->Unpublish();
    log.Line("-", "-", "--", "stopped");
    ::close(stopFd);
    return 0;
}
