#include "station/Protocol.h"

#include "link/LinkLayer.h"
#include "link/PacketChannel.h"
#include "platform/MessageBox.h"
#include "platform/RebootWait.h"
#include "station/ByteOrder.h"
#include "station/RebootWait.h"
#include "station/StationTable.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdint>
#include <limits>
#include <span>
#include <vector>

namespace kestrel {

std::string SessionPassword;

namespace {

constexpr int32_t DiscoveryTimeoutMs = 200;
constexpr int32_t IdentityTimeoutMs = 500;
constexpr int32_t FirmwareInfoTimeoutMs = 1000;
constexpr int32_t ConfigTimeoutMs = 3000;

constexpr int DiscoveryRounds = 2;
constexpr int DiscoveryReceivesPerRound = 15;
constexpr int IdentityReceives = 5;
constexpr int AckReadsAfterStore = 20;
constexpr int RebootPolls = 3;
constexpr int ProbeAnswerSize = 20;

constexpr int AnswerBufferSize = 500;

// Answers are kept zero-terminated inside the buffer, so at most 499 bytes
// are read.
std::array<char, AnswerBufferSize> answerBuffer{};

std::string_view ReceiveAnswer() {
    const int received = ReceiveReplyLine(answerBuffer.data(), AnswerBufferSize - 1);
    const size_t length = static_cast<size_t>(std::clamp(received, 0, AnswerBufferSize - 1));
    answerBuffer[length] = '\0';
    return std::string_view(answerBuffer.data(), length);
}

// The answer without its line end: the last two characters are dropped.
std::string_view WithoutLineEnd(std::string_view answer) {
    return answer.substr(0, answer.size() >= 2 ? answer.size() - 2 : 0);
}

// The decimal number at the start of the text, after white space and an
// optional sign; 0 without digits. Values beyond 32 bits saturate.
int32_t LeadingNumber(std::string_view text) {
    size_t at = 0;
    while (at < text.size() && std::isspace(static_cast<unsigned char>(text[at])))
        ++at;
    bool negative = false;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) negative = text[at++] == '-';
    int64_t value = 0;
    for (; at < text.size() && std::isdigit(static_cast<unsigned char>(text[at])); ++at)
        value = std::min<int64_t>(value * 10 + (text[at] - '0'), int64_t{1} << 32);
    if (negative) value = -value;
    return static_cast<int32_t>(std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(),
                                                    std::numeric_limits<int32_t>::max()));
}

bool ContainsAny(std::string_view text, std::string_view characters) {
    return text.find_first_of(characters) != std::string_view::npos;
}

MacAddress CurrentRowStationAddress() {
    const int32_t row = StationTable.CurrentStation;
    if (row < 0 || row >= StationTableRows) return BroadcastAddress;
    return StationTable.identities[static_cast<size_t>(row)].StationAddress();
}

MacAddress AdapterAddress() {
    MacAddress address{};
    if (PacketChannel)
        std::copy(PacketChannel->AdapterAddress.begin(), PacketChannel->AdapterAddress.end(),
                  address.begin());
    return address;
}

std::array<uint8_t, FrameHeaderSize> IdentityRequest(const MacAddress& destination,
                                                     const MacAddress& source) {
    FrameHeader header;
    header.destination = destination;
    header.source = source;
    header.type = IdentityRequestFrame;
    std::array<uint8_t, FrameHeaderSize> request{};
    header.WriteTo(request);
    return request;
}

bool IsIdentityReply(std::span<const uint8_t> frame) {
    return !frame.empty() && IsFrameOf(frame, ProtocolMarker, IdentityReplyFrame);
}

// A unicast request takes its reply only from the station asked; the serial
// link's broadcast takes any.
bool IsReplyFrom(std::span<const uint8_t> frame, const MacAddress& destination) {
    return destination[0] == 0xFF ||
           ReadMac(frame, StationIdentity::ReplySourceOffset) == destination;
}

// The serial station answers the probe in command mode; silence means the
// port is given up until it is opened again.
bool ProbeSerialStation() {
    if (!SerialDrv) return false;
    SerialDrv->SendString("AT\r\n");
    char answer[ProbeAnswerSize];
    if (SerialDrv->ReadData(answer, ProbeAnswerSize) > 0) return true;
    SerialDrv->Disconnect();
    return false;
}

// The identity exchange that QueryStationIdentity and QueryFirmwareInfo share.
bool ExchangeIdentity(StationIdentity& identity, int32_t timeoutMs, bool pausePolling) {
    StationTable.ReplyTimeout = timeoutMs;
    const bool serial = CurrentStationIsSerial();
    MacAddress destination;
    MacAddress source;
    if (serial) {
        if (!ProbeSerialStation()) return false;
        destination = BroadcastAddress;
        source = SerialHostAddress;
        SerialDrv->FlushBuffers(true, false);
        SerialDrv->SendString("ATO\r\n");
        if (pausePolling) SerialDrv->PausePolling();
    } else {
        destination = CurrentRowStationAddress();
        source = AdapterAddress();
    }
    const auto request = IdentityRequest(destination, source);
    SendFrame(request.data(), static_cast<int>(request.size()));

    std::array<uint8_t, StationIdentitySize> reply{};
    int accepted = 0;
    for (int attempt = 0; attempt < IdentityReceives && accepted == 0; ++attempt) {
        reply.fill(0);
        const int length = ReceiveFrame(reply.data(), static_cast<int>(reply.size()));
        const auto frame =
            std::span<const uint8_t>(reply.data(), static_cast<size_t>(std::max(length, 0)));
        if (IsIdentityReply(frame) && IsReplyFrom(frame, destination)) accepted = length;
    }
    if (serial) SerialDrv->SendString("+++");
    if (accepted == 0) return false;
    identity.Assign(std::span<const uint8_t>(reply.data(), static_cast<size_t>(accepted)));
    return true;
}

// Sends a query and takes its answer without the line end; false when none came.
bool AskStation(const char* command, std::string& answer) {
    SendCommandLine(command);
    const std::string_view received = ReceiveAnswer();
    if (received.empty()) return false;
    answer.assign(WithoutLineEnd(received));
    return true;
}

int32_t NetworkTypeOf(std::string_view answer) {
    const int keyword = MatchKeyword(answer, &NetworkTypeKeywords[0][0], NetworkTypeKeywordWidth);
    if (keyword >= 0) return keyword;
    const int64_t numbered = int64_t{LeadingNumber(answer)} - 1;
    return numbered >= 1 && numbered <= 4 ? static_cast<int32_t>(numbered) : 0;
}

int32_t DomainOf(std::string_view answer) {
    return std::max(MatchKeyword(answer, &DomainNames[0][0], DomainNameWidth), 0);
}

// A line end or (in the quoted ESSID) a double quote would reach the station
// as the end of the command and the start of another.
bool EssidIsSendable(std::string_view essid) {
    if (!ContainsAny(essid, "\"\r\n")) return true;
    ShowMessage("The ESSID must not contain a double quote, a carriage return or a line feed.",
                "Configuration", MessageIcon::Warning);
    return false;
}

bool PasswordIsSendable(std::string_view password) {
    if (!ContainsAny(password, "\r\n")) return true;
    ShowMessage("The password must not contain a carriage return or a line feed.", "Open Session",
                MessageIcon::Warning);
    return false;
}

void SendSetting(const std::string& command) {
    SendCommandLine(command.c_str());
    ReceiveAnswer();
}

} // namespace

int DiscoverStations(StationIdentity* slots, int capacity) {
    if (capacity <= 0 || !slots) return 0;
    ReadAdapterAddress();
    const auto request = IdentityRequest(BroadcastAddress, AdapterAddress());
    StationTable.ReplyTimeout = DiscoveryTimeoutMs;

    int count = 0;
    std::array<uint8_t, StationIdentitySize> reply{};
    for (int round = 0; round < DiscoveryRounds; ++round) {
        SendFrame(request.data(), static_cast<int>(request.size()));
        for (int attempt = 0; attempt < DiscoveryReceivesPerRound; ++attempt) {
            reply.fill(0);
            const int length = ReceiveFrame(reply.data(), static_cast<int>(reply.size()));
            const auto frame =
                std::span<const uint8_t>(reply.data(), static_cast<size_t>(std::max(length, 0)));
            if (!IsIdentityReply(frame)) continue;
            const MacAddress station = ReadMac(reply, StationIdentity::StationAddressOffset);
            const bool known = std::any_of(slots, slots + count, [&](const StationIdentity& slot) {
                return slot.StationAddress() == station;
            });
            if (known) continue;
            slots[count].Assign(reply);
            if (++count >= capacity) return count;
        }
    }
    return count;
}

bool QueryStationIdentity(StationIdentity& identity) {
    return ExchangeIdentity(identity, IdentityTimeoutMs, true);
}

bool QueryFirmwareInfo(FirmwareInfo& info) {
    StationIdentity identity;
    if (!ExchangeIdentity(identity, FirmwareInfoTimeoutMs, false)) return false;
    FillFirmwareInfo(info, identity);
    return true;
}

bool ReadStationConfig(StationConfig& config) {
    StationTable.ReplyTimeout = ConfigTimeoutMs;
    if (CurrentStationIsSerial()) {
        if (SerialDrv) {
            SerialDrv->FlushBuffers(true, true);
            SerialDrv->SendString("+++\r\n");
        }
    } else {
        DrainPackets();
    }
    std::string answer;
    if (!AskStation("ATn\r\n", answer)) {
        config.networkType = NetworkTypeUnknown;
        return false;
    }
    config.networkType = NetworkTypeOf(answer);
    if (!AskStation("ATi\r\n", answer)) return false;
    SetText(config.addressText, answer);
    if (!AskStation("ATESSID\r\n", answer)) return false;
    SetText(config.essid, answer);
    if (!AskStation("AT#c\r\n", answer)) return false;
    config.channel = LeadingNumber(answer);
    if (!AskStation("ATdomain\r\n", answer)) return false;
    config.domain = DomainOf(answer);
    return true;
}

bool WriteStationConfig(const StationConfig& config) {
    const std::string essid = TextOf(config.essid);
    if (!EssidIsSendable(essid)) return false;
    if (CurrentStationIsSerial() && SerialDrv) SerialDrv->SendString("+++\r\n");
    SendSetting("ATn" + std::to_string(int64_t{config.networkType} + 1) + "\r\n");
    SendSetting("ATESSID=\"" + essid + "\"\r\n");
    SendSetting("ATc=" + std::to_string(config.channel) + "\r\n");
    SendCommandLine("AT&w\r\n");
    for (int read = 0; read < AckReadsAfterStore; ++read)
        if (!ReceiveAnswer().empty()) return WaitForReboot(RebootPolls);
    return false;
}

bool OpenSession() {
    if (SessionPassword.empty()) {
        ShowMessage("No Password", "Open Session", MessageIcon::Question);
        return false;
    }
    if (!PasswordIsSendable(SessionPassword)) return false;
    SendCommandLine(("AT#999=1/" + SessionPassword + "\r\n").c_str());
    const std::string_view answer = ReceiveAnswer();
    if (answer.empty()) {
        ShowMessage("No Response", "Open Session", MessageIcon::Error);
        return false;
    }
    if (answer.find("OK") == std::string_view::npos) {
        ShowMessage("Error Password", "Open Session", MessageIcon::Warning);
        return false;
    }
    return true;
}

void CloseSession() {
    SendCommandLine("AT#999=0\r\n");
    if (ReceiveAnswer().empty()) ShowMessage("No Response", "Close Session", MessageIcon::Error);
}

int MatchKeyword(std::string_view reply, const char* table, int slotWidth) {
    if (!table || slotWidth <= 0) return -1;
    std::vector<std::string_view> keywords;
    for (const char* slot = table; slot[0] != '$'; slot += slotWidth)
        keywords.emplace_back(slot, std::find(slot, slot + slotWidth, '\0') - slot);
    const auto occurs = [&](std::string_view keyword) {
        return !keyword.empty() && reply.find(keyword) != std::string_view::npos;
    };
    // A keyword inside a longer one that also occurs yields to it ("Bss" to "IBss").
    for (size_t index = 0; index < keywords.size(); ++index) {
        if (!occurs(keywords[index])) continue;
        const bool longerOccurs = std::any_of(keywords.begin(), keywords.end(), [&](auto other) {
            return other.size() > keywords[index].size() &&
                   other.find(keywords[index]) != std::string_view::npos && occurs(other);
        });
        if (!longerOccurs) return static_cast<int>(index);
    }
    return -1;
}

bool WaitForReboot(int polls) {
    RebootPollCount = polls;
    const auto& show = RebootWaitShow();
    const int result = show ? show() : PollRebootingStation();
    return result == ModalResultOk;
}

} // namespace kestrel
