#pragma once

#include <string>

namespace kestrel {

// The process's current directory ("" when it cannot be read).
std::string CurrentDirectory();
// Makes dir the current directory; false when the system refuses.
bool SetCurrentDirectory(const std::string& dir);

} // namespace kestrel
