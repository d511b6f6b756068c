#include "station/StationRecords.h"

#include "station/ByteOrder.h"

#include <algorithm>
#include <cstring>

namespace kestrel {

const char NetworkTypeKeywords[5][NetworkTypeKeywordWidth] = {"Bss", "IBss", "Access", "Repeater",
                                                              "$"};
const char NetworkTypeNames[NetworkTypeNameCount][NetworkTypeNameWidth] = {
    "Infrastructure", "Ad-Hoc", "AP", "Repeater", ""};
const char DomainNames[DomainNameCount + 1][DomainNameWidth] = {"FCC",    "IC",  "ETSI", "Spain",
                                                                "France", "MKK", "$"};

bool FrameHeader::WriteTo(std::span<uint8_t> buffer) const {
    if (buffer.size() < FrameHeaderSize) return false;
    WriteMac(buffer, 0, destination);
    WriteMac(buffer, 6, source);
    WriteLE16(buffer, 12, firstMarker);
    WriteLE16(buffer, 14, secondMarker);
    WriteLE16(buffer, 16, type);
    return true;
}

std::optional<FrameHeader> FrameHeader::ReadFrom(std::span<const uint8_t> frame) {
    if (frame.size() < FrameHeaderSize) return std::nullopt;
    FrameHeader header;
    header.destination = ReadMac(frame, 0);
    header.source = ReadMac(frame, 6);
    header.firstMarker = ReadLE16(frame, 12);
    header.secondMarker = ReadLE16(frame, 14);
    header.type = ReadLE16(frame, 16);
    return header;
}

bool IsFrameOf(std::span<const uint8_t> frame, uint16_t secondMarker, uint16_t type) {
    const auto header = FrameHeader::ReadFrom(frame);
    return header && header->firstMarker == FirstMarker && header->secondMarker == secondMarker &&
           header->type == type;
}

MacAddress ReadMac(std::span<const uint8_t> buffer, size_t offset) {
    MacAddress mac{};
    if (FitsIn(buffer, offset, mac.size()))
        std::copy_n(buffer.begin() + static_cast<std::ptrdiff_t>(offset), mac.size(), mac.begin());
    return mac;
}

void WriteMac(std::span<uint8_t> buffer, size_t offset, const MacAddress& mac) {
    if (FitsIn(buffer, offset, mac.size()))
        std::copy(mac.begin(), mac.end(), buffer.begin() + static_cast<std::ptrdiff_t>(offset));
}

std::string ReadFieldText(std::span<const uint8_t> field) {
    const auto end = std::find(field.begin(), field.end(), uint8_t{0});
    return std::string(field.begin(), end);
}

std::string ReadFieldText(const char* field, size_t width) {
    const char* end = std::find(field, field + width, '\0');
    return std::string(field, end);
}

void WriteFieldText(char* field, size_t width, std::string_view text) {
    if (width == 0) return;
    const size_t length = std::min(text.size(), width - 1);
    std::memcpy(field, text.data(), length);
    std::memset(field + length, 0, width - length);
}

void StationIdentity::Assign(std::span<const uint8_t> frame) {
    bytes.fill(0);
    std::copy_n(frame.begin(), std::min(frame.size(), bytes.size()), bytes.begin());
}

std::string StationIdentity::Manufacturer() const {
    return ReadFieldText(std::span(bytes).subspan(ManufacturerOffset, ManufacturerWidth));
}

std::string StationIdentity::Product() const {
    return ReadFieldText(std::span(bytes).subspan(ProductOffset, ProductWidth));
}

std::string StationIdentity::Model() const {
    return ReadFieldText(std::span(bytes).subspan(ModelOffset, ModelWidth));
}

void FillFirmwareInfo(FirmwareInfo& info, const StationIdentity& identity) {
    SetText(info.manufacturer, identity.Manufacturer());
    SetText(info.product, identity.Product());
    SetText(info.model, identity.Model());
    // The version bytes are kept as they are; a zero byte ends the text early.
    const char version[3] = {static_cast<char>(identity.VersionFirst()), '.',
                             static_cast<char>(identity.VersionSecond())};
    std::memset(info.version, 0, sizeof info.version);
    std::memcpy(info.version, version, sizeof version);
}

std::string NetworkTypeName(int32_t networkType) {
    if (networkType < 0 || networkType >= NetworkTypeNameCount) return {};
    return TextOf(NetworkTypeNames[networkType]);
}

std::string DomainName(int32_t domain) {
    if (domain < 0 || domain >= DomainNameCount) return {};
    return TextOf(DomainNames[domain]);
}

} // namespace kestrel
