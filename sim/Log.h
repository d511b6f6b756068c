// The simulator's log: one line per frame, command or event, flushed at once
// so that a test can read what the program sent while the simulator runs.
//
//   <seconds> <station> <link> <dir> <event> [details]
//
// seconds since start with three decimals; dir is "rx" (from the program),
// "tx" (to the program) or "--" (an event of the station itself).
#pragma once

#include <chrono>
#include <cstdio>
#include <string>
#include <string_view>

namespace kestrel::sim {

class Log {
  public:
    Log() = default;
    ~Log();
    Log(const Log&) = delete;
    Log& operator=(const Log&) = delete;

    // "-" logs to standard output; an empty path logs nowhere.
    bool Open(const std::string& path, std::string* why);
    void Line(std::string_view station, std::string_view link, std::string_view dir,
              std::string_view event);

  private:
    std::FILE* file_ = nullptr;
    bool ownsFile_ = false;
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

} // namespace kestrel::sim
