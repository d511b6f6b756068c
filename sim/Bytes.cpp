#include "sim/Bytes.h"

#include <cctype>
#include <cstdio>

namespace kestrel::sim {

std::uint16_t ReadU16(const Bytes& b, std::size_t at) {
    if (at + 2 > b.size()) return 0;
    return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}

std::uint32_t ReadU32(const Bytes& b, std::size_t at) {
    if (at + 4 > b.size()) return 0;
    return static_cast<std::uint32_t>(b[at]) | (static_cast<std::uint32_t>(b[at + 1]) << 8) |
           (static_cast<std::uint32_t>(b[at + 2]) << 16) |
           (static_cast<std::uint32_t>(b[at + 3]) << 24);
}

void WriteU16(Bytes& b, std::size_t at, std::uint16_t v) {
    if (at + 2 > b.size()) return;
    b[at] = static_cast<std::uint8_t>(v & 0xFF);
    b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}

void WriteU32(Bytes& b, std::size_t at, std::uint32_t v) {
    if (at + 4 > b.size()) return;
    for (int i = 0; i < 4; ++i)
        b[at + i] = static_cast<std::uint8_t>((v >> (8 * i)) & 0xFF);
}

Mac ReadMac(const Bytes& b, std::size_t at) {
    Mac mac{};
    for (std::size_t i = 0; i < mac.size() && at + i < b.size(); ++i)
        mac[i] = b[at + i];
    return mac;
}

void WriteMac(Bytes& b, std::size_t at, const Mac& mac) {
    for (std::size_t i = 0; i < mac.size() && at + i < b.size(); ++i)
        b[at + i] = mac[i];
}

void WriteText(Bytes& b, std::size_t at, std::size_t width, std::string_view text) {
    for (std::size_t i = 0; i < width && at + i < b.size(); ++i)
        b[at + i] = i < text.size() ? static_cast<std::uint8_t>(text[i]) : 0;
}

std::string FormatMac(const Mac& mac) {
    char text[18];
    std::snprintf(text, sizeof text, "%02X-%02X-%02X-%02X-%02X-%02X", mac[0], mac[1], mac[2],
                  mac[3], mac[4], mac[5]);
    return text;
}

std::string MacDigits(const Mac& mac) {
    char text[13];
    std::snprintf(text, sizeof text, "%02X%02X%02X%02X%02X%02X", mac[0], mac[1], mac[2], mac[3],
                  mac[4], mac[5]);
    return text;
}

namespace {
int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}
} // namespace

std::optional<Mac> ParseMac(std::string_view text) {
    std::string digits;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const bool separatorPlace = text.size() == 17 && i % 3 == 2;
        if (separatorPlace) {
            if (c != '-' && c != ':') return std::nullopt;
            continue;
        }
        if (HexValue(c) < 0) return std::nullopt;
        digits.push_back(c);
    }
    if (digits.size() != 12 || (text.size() != 12 && text.size() != 17)) return std::nullopt;
    Mac mac{};
    for (std::size_t i = 0; i < 6; ++i)
        mac[i] =
            static_cast<std::uint8_t>(HexValue(digits[2 * i]) * 16 + HexValue(digits[2 * i + 1]));
    return mac;
}

std::string Quote(std::string_view text) {
    std::string out = "\"";
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '\r')
            out += "\\r";
        else if (c == '\n')
            out += "\\n";
        else if (c == '"')
            out += "\\\"";
        else if (c == '\\')
            out += "\\\\";
        else if (u < 0x20 || u >= 0x7F) {
            char hex[5];
            std::snprintf(hex, sizeof hex, "\\x%02X", u);
            out += hex;
        } else
            out.push_back(c);
    }
    out.push_back('"');
    return out;
}

} // namespace kestrel::sim
