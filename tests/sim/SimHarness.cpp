#include "tests/sim/SimHarness.h"

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace kestrel::test {

TempDir::TempDir() {
    char pattern[] = "/tmp/kestrel-sim-test-XXXXXX";
    if (::mkdtemp(pattern)) path_ = pattern;
}

TempDir::~TempDir() {
    if (!path_.empty()) std::system(("rm -rf '" + path_ + "'").c_str());
}

SimProcess::SimProcess(const TempDir& dir, std::vector<std::string> args) {
    static int started = 0;
    logPath_ = dir.File("sim-" + std::to_string(++started) + ".log");
    args.insert(args.begin(), KESTREL_SIM_PATH);
    args.push_back("--log");
    args.push_back(logPath_);
    pid_ = ::fork();
    if (pid_ == 0) {
        std::vector<char*> argv;
        for (auto& arg : args)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
}

SimProcess::~SimProcess() {
    if (pid_ > 0) Stop();
}

int SimProcess::Stop() {
    if (pid_ <= 0) return -1;
    ::kill(pid_, SIGTERM);
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool SimProcess::WaitStarted(std::chrono::milliseconds limit) {
    return WaitUntil([this] { return LogText().find(" -- started ") != std::string::npos; }, limit);
}

std::string SimProcess::LogText() const {
    return ReadFile(logPath_);
}

std::vector<std::string> SimProcess::LogLines() const {
    std::vector<std::string> lines;
    std::istringstream in(LogText());
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

} // namespace kestrel::test
