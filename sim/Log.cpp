#include "sim/Log.h"

#include <cerrno>
#include <cstring>

namespace kestrel::sim {

Log::~Log() {
    if (ownsFile_ && file_) std::fclose(file_);
}

bool Log::Open(const std::string& path, std::string* why) {
    if (path.empty()) return true;
    if (path == "-") {
        file_ = stdout;
        return true;
    }
    file_ = std::fopen(path.c_str(), "a");
    if (!file_) {
        *why = "cannot open log " + path + ": " + std::strerror(errno);
        return false;
    }
    ownsFile_ = true;
    return true;
}

void Log::Line(std::string_view station, std::string_view link, std::string_view dir,
               std::string_view event) {
    if (!file_) return;
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    std::fprintf(file_, "%.3f %.*s %.*s %.*s %.*s\n", seconds, static_cast<int>(station.size()),
                 station.data(), static_cast<int>(link.size()), link.data(),
                 static_cast<int>(dir.size()), dir.data(), static_cast<int>(event.size()),
                 event.data());
    std::fflush(file_);
}

} // namespace kestrel::sim
