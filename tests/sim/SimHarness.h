// Starting kestrel-sim from a test and reading what it logged.
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace kestrel::test {

// A fresh directory under /tmp, removed with its contents at destruction.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    const std::string& Path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

// kestrel-sim running with the given arguments plus a log of its own in dir.
class SimProcess {
  public:
    SimProcess(const TempDir& dir, std::vector<std::string> args);
    ~SimProcess();

    // True once the simulator has logged that its stations started.
    bool WaitStarted(std::chrono::milliseconds limit = std::chrono::seconds(5));
    // SIGTERM, then the exit status (-1 when it did not exit normally).
    int Stop();
    std::string LogText() const;
    std::vector<std::string> LogLines() const;

  private:
    std::string logPath_;
    pid_t pid_ = -1;
};

std::string ReadFile(const std::string& path);
bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit);

} // namespace kestrel::test
