// The records shared about stations: the frame header every binary message
// starts with, the identity a station returns, the firmware information and
// configuration derived from its answers, and the tables of names.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace kestrel {

using MacAddress = std::array<uint8_t, 6>;

inline constexpr MacAddress BroadcastAddress{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
// Source address of frames on the serial link, where the PC has no MAC address.
inline constexpr MacAddress SerialHostAddress{0xFF, 0xAA, 0x55, 0xA5, 0x5A, 0xFF};

inline constexpr uint16_t FirstMarker = 0xAAAA;
inline constexpr uint16_t ProtocolMarker = 0xF556;
inline constexpr uint16_t TransferMarker = 0xF555;

enum FrameType : uint16_t {
    IdentityRequestFrame = 0,
    IdentityReplyFrame = 1,
    CommandLineFrame = 16,
    CommandReplyFrame = 17,
};

inline constexpr size_t FrameHeaderSize = 18;

struct FrameHeader {
    MacAddress destination{};
    MacAddress source{};
    uint16_t firstMarker = FirstMarker;
    uint16_t secondMarker = ProtocolMarker;
    uint16_t type = IdentityRequestFrame;

    // Writes the 18 header bytes; false (nothing written) when the buffer is shorter.
    bool WriteTo(std::span<uint8_t> buffer) const;
    // Reads a header; empty when the frame is shorter than a header.
    static std::optional<FrameHeader> ReadFrom(std::span<const uint8_t> frame);
};

// True when the frame carries both markers (first 0xAAAA, second as given) and the type.
bool IsFrameOf(std::span<const uint8_t> frame, uint16_t secondMarker, uint16_t type);

MacAddress ReadMac(std::span<const uint8_t> buffer, size_t offset);
void WriteMac(std::span<uint8_t> buffer, size_t offset, const MacAddress& mac);

// Zero-terminated texts in fixed fields: reading stops at the first zero or
// the field's end; writing cuts the text so that the zero always fits.
std::string ReadFieldText(std::span<const uint8_t> field);
std::string ReadFieldText(const char* field, size_t width);
void WriteFieldText(char* field, size_t width, std::string_view text);
template <size_t N> std::string TextOf(const char (&field)[N]) {
    return ReadFieldText(field, N);
}
template <size_t N> void SetText(char (&field)[N], std::string_view text) {
    WriteFieldText(field, N, text);
}

inline constexpr size_t StationIdentitySize = 171;

// The whole identity reply frame of a station, header included, as received.
struct StationIdentity {
    static constexpr size_t ReplySourceOffset = 6;
    static constexpr size_t StationAddressOffset = 18;
    static constexpr size_t ManufacturerOffset = 24;
    static constexpr size_t ManufacturerWidth = 64;
    static constexpr size_t ProductOffset = 88;
    static constexpr size_t ProductWidth = 64;
    static constexpr size_t ModelOffset = 152;
    static constexpr size_t ModelWidth = 16;
    static constexpr size_t VersionOffset = 168;

    std::array<uint8_t, StationIdentitySize> bytes{};

    // Takes a received frame: at most 171 bytes; bytes the frame lacks are zero.
    void Assign(std::span<const uint8_t> frame);

    MacAddress ReplySource() const { return ReadMac(bytes, ReplySourceOffset); }
    MacAddress StationAddress() const { return ReadMac(bytes, StationAddressOffset); }
    void SetStationAddress(const MacAddress& mac) { WriteMac(bytes, StationAddressOffset, mac); }
    std::string Manufacturer() const;
    std::string Product() const;
    std::string Model() const;
    uint8_t VersionFirst() const { return bytes[VersionOffset]; }
    uint8_t VersionSecond() const { return bytes[VersionOffset + 1]; }
};

inline constexpr size_t FirmwareTextWidth = 20;

struct FirmwareInfo {
    char manufacturer[FirmwareTextWidth];
    char product[FirmwareTextWidth];
    char model[FirmwareTextWidth];
    char version[FirmwareTextWidth];
};

// Fills the firmware information from an identity: the three texts cut to
// their 20-byte fields, the version as first byte, ".", second byte.
void FillFirmwareInfo(FirmwareInfo& info, const StationIdentity& identity);

inline constexpr size_t AddressTextWidth = 26;
inline constexpr size_t EssidWidth = 20;

enum NetworkType : int32_t {
    NetworkTypeUnknown = -1,
    NetworkTypeInfrastructure = 0,
    NetworkTypeAdHoc = 1,
    NetworkTypeAccessPoint = 2,
    NetworkTypeRepeater = 3,
    NetworkTypeUnnamed = 4,
};

struct StationConfig {
    MacAddress stationAddress;
    char addressText[AddressTextWidth];
    int32_t networkType;
    char essid[EssidWidth];
    int32_t channel;
    int32_t domain;
};

// Keyword tables are runs of fixed-width slots holding zero-terminated texts,
// ended by a slot that starts with "$".
inline constexpr size_t NetworkTypeKeywordWidth = 9;
inline constexpr size_t NetworkTypeNameWidth = 20;
inline constexpr size_t DomainNameWidth = 7;
inline constexpr int NetworkTypeNameCount = 5;
inline constexpr int DomainNameCount = 6;

extern const char NetworkTypeKeywords[5][NetworkTypeKeywordWidth];
extern const char NetworkTypeNames[NetworkTypeNameCount][NetworkTypeNameWidth];
extern const char DomainNames[DomainNameCount + 1][DomainNameWidth];

// The name of a network type (0 to 4) or a domain (0 to 5); other values have
// no name and give an empty text.
std::string NetworkTypeName(int32_t networkType);
std::string DomainName(int32_t domain);

} // namespace kestrel
