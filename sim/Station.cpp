#include "sim/Station.h"

#include "sim/Frames.h"

#include <algorithm>
#include <cctype>

namespace kestrel::sim {

namespace {

const char* const DomainNames[] = {"FCC", "IC", "ETSI", "Spain", "France", "MKK"};
// Channels each regulatory domain allows, first and last.
constexpr int DomainChannels[][2] = {{1, 11}, {1, 11}, {1, 13}, {10, 11}, {10, 13}, {1, 14}};

constexpr std::size_t MaxAccessEntries = 50;
constexpr std::size_t MaxEssid = 32;
// The program sends passwords of at most ten characters; a longer one could
// never be used to open a session again.
constexpr std::size_t MaxPassword = 10;
constexpr std::size_t LongEssidAnswer = 100;
constexpr std::size_t LongAddressAnswer = 40;

const std::string Ok = "OK";
const std::string Error = "ERROR";

bool StartsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

// Plain decimal digits only, no sign, no blanks; small numbers.
bool ParseNumber(const std::string& text, int* value) {
    if (text.empty() || text.size() > 6) return false;
    int v = 0;
    for (const char c : text) {
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
        v = v * 10 + (c - '0');
    }
    *value = v;
    return true;
}

// Exactly twelve hex digits, either case.
std::optional<Mac> ParseAccessEntry(const std::string& text) {
    if (text.size() != 12) return std::nullopt;
    return ParseMac(text);
}

std::string StripLineEnd(const std::string& line) {
    std::string body = line;
    while (!body.empty() && (body.back() == '\r' || body.back() == '\n'))
        body.pop_back();
    return body;
}

std::string PadTo(std::string text, std::size_t width) {
    while (text.size() < width)
        text.push_back('X');
    return text;
}

std::string FrameDetails(std::size_t length, const Bytes& frame) {
    return " len=" + std::to_string(length) + " dst=" + FormatMac(ReadMac(frame, 0)) +
           " src=" + FormatMac(ReadMac(frame, 6));
}

} // namespace

Station::Station(StationSetup setup, EventLoop& loop, Log& log)
    : setup_(std::move(setup)), loop_(loop), log_(log), current_(setup_.settings),
      stored_(setup_.settings) {}

// ---------------------------------------------------------------- commands

void Station::OnCommandLine(Link& link, const std::string& line, const Mac& peer) {
    log_.Line(Name(), link.Name(), "rx", "command " + Quote(line));
    const std::string body = StripLineEnd(line);
    if (StartsWith(body, "+++")) {
        if (link.IsSerial()) {
            link.EnterCommandMode();
            Note(link, "command-mode");
        }
        // Never answered: an answer here would be read as the next query's.
        return;
    }
    if (!Listening(link, "command")) return;

    const Answer answer = Execute(link, body);
    if (answer.text) SendAnswer(link, *answer.text, peer);
    if (answer.store) stored_ = current_;
    if (answer.restart) Restart(body);
}

bool Station::Listening(Link& link, const std::string& what) {
    if (restarting_) {
        Note(link, "ignored " + what + " (restarting)");
        return false;
    }
    return true;
}

Station::Answer Station::Execute(Link& link, const std::string& command) {
    if (command.size() < 2 || std::toupper(static_cast<unsigned char>(command[0])) != 'A' ||
        std::toupper(static_cast<unsigned char>(command[1])) != 'T')
        return {Error};
    const std::string rest = command.substr(2);
    int number = 0;

    if (rest.empty()) return {Ok};
    if (rest == "O") {
        if (!link.IsSerial()) return {Error};
        link.EnterDataMode();
        Note(link, "data-mode");
        return {};
    }
    if ((StartsWith(rest, "&l") || StartsWith(rest, "&L")) && ParseNumber(rest.substr(2), &number))
        return {Ok};
    if (rest == "i") return {AddressText()};
    if (rest == "n") return {NetworkTypeAnswer()};
    if (StartsWith(rest, "n") && ParseNumber(rest.substr(1), &number)) {
        if (!session_ || number < 1 || number > 5) return {Error};
        current_.networkType = number;
        return {Ok};
    }
    if (rest == "ESSID") return {EssidAnswer()};
    if (StartsWith(rest, "ESSID=")) {
        const std::string value = rest.substr(6);
        if (!session_ || value.size() < 2 || value.front() != '"' || value.back() != '"' ||
            value.size() - 2 > MaxEssid)
            return {Error};
        current_.essid = value.substr(1, value.size() - 2);
        return {Ok};
    }
    if (rest == "#c") return {std::to_string(current_.channel)};
    if (StartsWith(rest, "c=") && ParseNumber(rest.substr(2), &number)) {
        if (!session_ || !ChannelAllowed(number)) return {Error};
        current_.channel = number;
        return {Ok};
    }
    if (rest == "domain") return {DomainNames[setup_.domain]};
    if (rest == "&w") {
        if (!session_) return {Error};
        return {Ok, true, true};
    }
    if (rest == "z") return {std::nullopt, true, false};
    if (StartsWith(rest, "#999=")) return ExecuteSession(rest.substr(5));
    if (StartsWith(rest, "#pw")) return ExecutePasswordChange(rest.substr(3));
    if (StartsWith(rest, "s")) return ExecuteAccessControl(rest.substr(1));
    return {Error};
}

Station::Answer Station::ExecuteSession(const std::string& rest) {
    if (rest == "0") {
        session_ = false;
        return {Ok};
    }
    if (StartsWith(rest, "1/")) {
        // A wrong password also ends a session that was open.
        session_ = rest.substr(2) == setup_.password;
        return {session_ ? Ok : Error};
    }
    return {Error};
}

Station::Answer Station::ExecutePasswordChange(const std::string& rest) {
    const std::string oldPart = setup_.password + "/";
    if (!session_ || !StartsWith(rest, oldPart)) return {Error};
    const std::string newPassword = rest.substr(oldPart.size());
    // An empty or overlong password would lock every user out for good.
    if (newPassword.empty() || newPassword.size() > MaxPassword) return {Error};
    setup_.password = newPassword; // kept at once, across restarts
    return {Ok};
}

Station::Answer Station::ExecuteAccessControl(const std::string& rest) {
    auto& list = current_.accessList;
    if (rest.empty()) return {AccessListAnswer()};
    if (rest == "a") return {current_.includeMode ? "1" : "0"};
    if (rest == "a1" || rest == "a0") {
        if (!session_) return {Error};
        current_.includeMode = rest == "a1";
        return {Ok};
    }
    if (rest == "n") return {std::to_string(list.size())};
    if (rest[0] == '+' || rest[0] == '-') {
        const auto address = ParseAccessEntry(rest.substr(1));
        if (!session_ || !address) return {Error};
        const auto found = std::find(list.begin(), list.end(), *address);
        if (rest[0] == '+') {
            if (found != list.end() || list.size() >= MaxAccessEntries) return {Error};
            list.push_back(*address);
        } else {
            if (found == list.end()) return {Error};
            list.erase(found);
        }
        return {Ok};
    }
    return {Error};
}

std::string Station::NetworkTypeAnswer() const {
    switch (current_.networkType) {
    case 1:
        return "Bss";
    case 2:
        return "IBss";
    case 3:
        return "Access Point";
    case 4:
        return "Repeater";
    default:
        return std::to_string(current_.networkType);
    }
}

std::string Station::AddressText() const {
    const std::string text = FormatMac(StationAddress());
    return setup_.faults.longText ? PadTo(text, LongAddressAnswer) : text;
}

std::string Station::EssidAnswer() const {
    return setup_.faults.longText ? PadTo(current_.essid, LongEssidAnswer) : current_.essid;
}

std::string Station::AccessListAnswer() const {
    std::string text;
    for (std::size_t i = 0; i < current_.accessList.size(); ++i) {
        if (i > 0) text += "\r\n";
        text += MacDigits(current_.accessList[i]);
    }
    return text;
}

bool Station::ChannelAllowed(int channel) const {
    return channel >= DomainChannels[setup_.domain][0] &&
           channel <= DomainChannels[setup_.domain][1];
}

// ------------------------------------------------------------------ sending

void Station::SendAnswer(Link& link, const std::string& text, const Mac& peer) {
    std::string full = text + "\r\n";
    if (setup_.faults.silent) {
        Note(link, "withheld answer " + Quote(full) + " (silent)");
        return;
    }
    if (!link.CanSend()) {
        Note(link, "withheld answer " + Quote(full) + " (line speed)");
        return;
    }
    if (link.IsSerial()) {
        if (setup_.faults.truncated) full.resize(full.size() / 2);
        link.SendText(full);
        log_.Line(Name(), link.Name(), "tx", "answer " + Quote(full));
        return;
    }
    Bytes frame = NewFrame(CommandFrameSize, peer, setup_.mac, StationMarker, TypeCommandReply);
    // The text area holds 80 bytes; a long answer fills it all without a
    // terminating zero only when told to overrun its field.
    const std::size_t room = setup_.faults.longText ? CommandTextSize : CommandTextSize - 1;
    const std::string inFrame = full.substr(0, std::min(full.size(), room));
    WriteText(frame, HeaderSize, inFrame.size(), inFrame);
    SendStationFrame(link, std::move(frame), "answer " + Quote(inFrame));
}

void Station::SendStationFrame(Link& link, Bytes frame, const std::string& event) {
    if (setup_.faults.silent) {
        Note(link, "withheld " + event + " (silent)");
        return;
    }
    if (!link.CanSend()) {
        Note(link, "withheld " + event + " (line speed)");
        return;
    }
    SendFlags flags;
    if (setup_.faults.badMarker && frame.size() >= 16) frame[14] ^= 0x01;
    if (setup_.faults.truncated) {
        frame.resize(std::max(HeaderSize, frame.size() / 2));
        flags.pad = false;
    }
    if (setup_.faults.badSlip) flags.closingEnd = false;
    const std::size_t sent = link.SendFrame(frame, flags);
    log_.Line(Name(), link.Name(), "tx", event + FrameDetails(sent, frame));
}

void Station::SendIdentity(Link& link, const Mac& peer) {
    Bytes frame = NewFrame(IdentitySize, peer, setup_.mac, StationMarker, TypeIdentityReply);
    WriteMac(frame, 18, StationAddress());
    const auto text = [&](std::size_t at, std::size_t width, const std::string& value) {
        if (setup_.faults.longText)
            WriteText(frame, at, width, PadTo(value, width));
        else
            WriteText(frame, at, width, value.substr(0, width - 1));
    };
    text(24, 64, setup_.manufacturer);
    text(88, 64, setup_.product);
    text(152, 16, setup_.model);
    frame[168] = setup_.version[0];
    frame[169] = setup_.version[1];
    SendStationFrame(link, std::move(frame), "identity-reply");
}

// ------------------------------------------------------------------- frames

bool Station::AcceptsFrameTo(const Link& link, const Mac& destination, std::uint16_t marker,
                             std::uint16_t type) const {
    const bool toMac = destination == setup_.mac;
    if (marker == StationMarker && type == TypeIdentityRequest)
        return toMac || destination == BroadcastMac;
    if (marker == StationMarker && type == TypeCommand && !link.IsSerial()) {
        switch (setup_.commandAddress) {
        case CommandAddress::StationAddress:
            return destination == StationAddress();
        case CommandAddress::Mac:
            return toMac;
        case CommandAddress::Both:
            return toMac || destination == StationAddress();
        case CommandAddress::None:
            return false;
        }
    }
    return toMac;
}

void Station::OnFrame(Link& link, const Bytes& frame) {
    Header header;
    if (!ReadHeader(frame, &header) || header.firstMarker != FirstMarker) return;
    const auto marker = header.secondMarker;
    const auto type = header.type;

    if (!AcceptsFrameTo(link, header.destination, marker, type)) {
        const bool toUs = header.destination == setup_.mac ||
                          header.destination == StationAddress() ||
                          header.destination == BroadcastMac;
        // On a shared interface most frames are for the other stations; on
        // the serial line every frame is meant for this one.
        if (link.IsSerial() || (toUs && type == TypeCommand))
            Note(link, "ignored frame marker=" + std::to_string(marker) +
                           " type=" + std::to_string(type) + FrameDetails(frame.size(), frame));
        return;
    }

    if (marker == StationMarker && type == TypeCommand) {
        std::string text;
        for (std::size_t i = HeaderSize; i < std::min(frame.size(), CommandFrameSize); ++i) {
            if (frame[i] == 0) break;
            text.push_back(static_cast<char>(frame[i]));
        }
        OnCommandLine(link, text, header.source);
        return;
    }

    std::string event;
    if (marker == StationMarker && type == TypeIdentityRequest)
        event = "identity-request";
    else if (marker == StationMarker && type == TypeUpgradeRequest)
        event = "upgrade-request";
    else if (marker == TransferMarker && type == TypeSizeReply)
        event = "size-reply size=" + std::to_string(ReadU32(frame, 18));
    else if (marker == TransferMarker && type == TypeBlockReply)
        event = "block-reply offset=" + std::to_string(ReadU32(frame, 18)) +
                " length=" + std::to_string(static_cast<std::int16_t>(ReadU16(frame, 22)));
    else if (marker == TransferMarker && type == TypeTransferEnd)
        event = "transfer-end-ack value=" + std::to_string(ReadU16(frame, 18));
    else
        event = "frame marker=" + std::to_string(marker) + " type=" + std::to_string(type);
    log_.Line(Name(), link.Name(), "rx", event + FrameDetails(frame.size(), frame));
    if (!Listening(link, "frame")) return;

    if (marker == StationMarker && type == TypeIdentityRequest) {
        SendIdentity(link, header.source);
    } else if (marker == StationMarker && type == TypeUpgradeRequest) {
        OnUpgradeRequest(link, header.source);
    } else if (marker == TransferMarker) {
        if (upgrade_ && upgradeLink_ == &link)
            upgrade_->OnTransferFrame(frame);
        else
            Note(link, "ignored transfer frame (no upgrade running)");
    } else {
        Note(link, "ignored frame (unknown type)");
    }
}

void Station::OnUpgradeRequest(Link& link, const Mac& peer) {
    Bytes answer = NewFrame(HeaderSize + 1, peer, setup_.mac, StationMarker, TypeUpgradeAnswer);
    const bool refuse = setup_.faults.refuseUpgrade;
    answer[18] = refuse ? 1 : 0;
    upgrade_.reset();
    SendStationFrame(link, std::move(answer),
                     std::string("upgrade-answer status=") + (refuse ? "1" : "0"));
    if (refuse || setup_.faults.silent) return;

    UpgradeSettings settings;
    settings.blockSize = setup_.blockSize;
    settings.retryMs = setup_.retryMs;
    settings.paceMs = setup_.paceMs;
    settings.maxRetries = setup_.maxRetries;
    settings.stallAfterBlocks = setup_.faults.stallAfterBlocks;
    settings.imageOut = setup_.imageOut;
    upgradeLink_ = &link;
    upgrade_ = std::make_unique<Upgrade>(
        loop_, settings, setup_.mac, peer,
        [this, &link](const Bytes& frame, const std::string& event) {
            SendStationFrame(link, frame, event);
        },
        [this, &link](const std::string& event) { Note(link, event); });
    upgrade_->Begin();
}

// ------------------------------------------------------------------ restart

void Station::Restart(const std::string& why) {
    session_ = false;
    current_ = stored_;
    upgrade_.reset();
    upgradeLink_ = nullptr;
    restarting_ = true;
    for (Link* link : links_) {
        link->StationRestarted();
        Note(*link,
             "restart after " + Quote(why) + " silent-ms=" + std::to_string(setup_.restartMs));
    }
    loop_.After(std::chrono::milliseconds(setup_.restartMs), [this] {
        restarting_ = false;
        for (Link* link : links_) {
            Note(*link, "ready");
            if (!link->IsSerial() || setup_.banner.empty() || setup_.faults.silent) continue;
            if (!link->CanSend()) {
                Note(*link, "withheld banner (line speed)");
                continue;
            }
            link->SendText(setup_.banner);
            log_.Line(Name(), link->Name(), "tx", "banner " + Quote(setup_.banner));
        }
    });
}

} // namespace kestrel::sim
