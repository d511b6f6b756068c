#pragma once

#include "link/LinkLayer.h"
#include "station/StationTable.h"

#include <string>
#include <vector>

namespace kestrel::test {

// Why the tests that need a private network namespace cannot run ("" when they can).
extern std::string namespaceProblem;

using Bytes = std::vector<uint8_t>;

inline Bytes BytesOf(const std::string& text) {
    return Bytes(text.begin(), text.end());
}
inline std::string TextOf(const Bytes& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

} // namespace kestrel::test
