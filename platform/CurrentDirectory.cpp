#include "platform/CurrentDirectory.h"

#include <filesystem>
#include <system_error>

namespace kestrel {

std::string CurrentDirectory() {
    std::error_code error;
    auto dir = std::filesystem::current_path(error);
    return error ? std::string() : dir.string();
}

bool SetCurrentDirectory(const std::string& dir) {
    std::error_code error;
    std::filesystem::current_path(dir, error);
    return !error;
}

} // namespace kestrel
