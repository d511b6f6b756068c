#include "tests/e2e/SimStations.h"

#include "tests/support/NetNamespace.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <sched.h>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace kestrel::test {

namespace {

using Clock = std::chrono::steady_clock;

std::string ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

bool Exists(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
}

// The far ends come up inside the simulator's namespace, then the shell
// becomes the simulator (same process, so the namespace lives as long as it).
std::string ChildScript(const SimSetup& setup) {
    std::string script = "ip link set lo up";
    for (const auto& adapter : setup.adapters)
        script += " && ip link set dev " + StationSide(adapter) + " up";
    return script + " && exec \"$0\" \"$@\"";
}

std::string SimulatorOf(const SimSetup& setup) {
    if (!setup.simulator.empty()) return setup.simulator;
#ifdef KESTREL_SIM_PATH
    return KESTREL_SIM_PATH;
#else
    return "kestrel-sim";
#endif
}

} // namespace

std::string StationSide(const std::string& adapter) {
    return adapter + "s";
}

SimStations::SimStations(const SimSetup& setup) {
    char pattern[] = "/tmp/kestrel-e2e-XXXXXX";
    if (!::mkdtemp(pattern)) {
        problem_ = "cannot create a temporary directory";
        return;
    }
    dir_ = pattern;
    logPath_ = dir_ + "/sim.log";
    if (setup.serial) serialPath_ = dir_ + "/tty";
    Start(setup);
}

void SimStations::Start(const SimSetup& setup) {
    adapters_ = setup.adapters;
    for (const auto& adapter : setup.adapters) {
        if (!AddVethPair(adapter, StationSide(adapter), &problem_)) return;
    }
    std::vector<std::string> args = {"/bin/sh",          "-c",    ChildScript(setup),
                                     SimulatorOf(setup), "--log", logPath_};
    if (setup.serial) {
        args.push_back("--serial");
        args.push_back(serialPath_);
    }
    for (const auto& station : setup.stations) {
        args.push_back("--station");
        args.push_back(station);
    }
    std::vector<char*> argv;
    for (auto& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);

    int toParent[2];
    int toChild[2];
    if (::pipe(toParent) != 0 || ::pipe(toChild) != 0) {
        problem_ = "cannot create pipes";
        return;
    }
    pid_ = ::fork();
    if (pid_ == 0) {
        // Only async-signal-safe calls from here on: the test may have threads.
        char byte = 0;
        if (::unshare(CLONE_NEWNET) != 0) ::_exit(126);
        if (::write(toParent[1], &byte, 1) != 1) ::_exit(126);
        if (::read(toChild[0], &byte, 1) != 1) ::_exit(126);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(toParent[1]);
    ::close(toChild[0]);
    char byte = 0;
    const bool unshared = pid_ > 0 && ::read(toParent[0], &byte, 1) == 1;
    bool moved = unshared;
    for (const auto& adapter : setup.adapters) {
        if (!moved) break;
        moved = RunCommand("ip link set dev " + StationSide(adapter) + " netns " +
                           std::to_string(pid_) + " >/dev/null 2>&1") == 0;
    }
    if (moved) moved = ::write(toChild[1], &byte, 1) == 1;
    ::close(toParent[0]);
    ::close(toChild[1]);
    if (!moved) {
        problem_ = "cannot start the simulator in a namespace of its own";
        return;
    }
    const auto limit = Clock::now() + std::chrono::seconds(10);
    while (Clock::now() < limit) {
        const bool started = setup.stations.empty() ||
                             ReadWholeFile(logPath_).find(" -- started ") != std::string::npos;
        if (started && (!setup.serial || Exists(serialPath_))) {
            ready_ = true;
            return;
        }
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            problem_ = "the simulator ended at start: " + ReadWholeFile(logPath_);
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    problem_ = "the simulator did not start in time";
}

SimStations::~SimStations() {
    if (pid_ > 0) {
        ::kill(pid_, SIGTERM);
        int status = 0;
        ::waitpid(pid_, &status, 0);
    }
    // The pairs die with the simulator's namespace; a later fixture may reuse the names.
    for (const auto& adapter : adapters_) {
        DeleteLink(adapter);
        const auto limit = Clock::now() + std::chrono::seconds(2);
        while (!MacAddressOf(adapter).empty() && Clock::now() < limit)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (!dir_.empty()) RunCommand("rm -rf '" + dir_ + "'");
}

std::vector<std::string> SimStations::LogLines() const {
    std::vector<std::string> lines;
    std::istringstream in(ReadWholeFile(logPath_));
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

int SimStations::CountLines(const std::vector<std::string>& texts) const {
    int count = 0;
    for (const auto& line : LogLines()) {
        bool all = true;
        for (const auto& text : texts)
            all = all && line.find(text) != std::string::npos;
        count += all ? 1 : 0;
    }
    return count;
}

void SetComPortsTo(const std::string& path) {
    SetAbsentComPorts();
    ::setenv("KESTREL_COM1", path.c_str(), 1);
}

} // namespace kestrel::test
