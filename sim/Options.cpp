#include "sim/Options.h"

#include <algorithm>
#include <cctype>
#include <set>

namespace kestrel::sim {

const char* const HelpText = R"(Usage: kestrel-sim [OPTION]...
Plays wireless LAN stations for tests and demos: one serial station on a
pseudo-terminal and any number of Ethernet stations on network interfaces.
Runs until SIGTERM or SIGINT. Sends nothing on an interface no station names.

Options:
  --serial PATH        play the serial station on a new pseudo-terminal and
                       publish the path of its slave as the symlink PATH once
                       the station answers (removed on exit). Without a
                       station of link=serial, a default one is played.
  --serial-speed BPS   the serial station's line speed in bit/s (default
                       19200). It hears and answers only while the slave is
                       set to this speed.
  --line-pacing        every byte the serial station sends or receives takes
                       its line time (BPS / 10 bytes per second)
  --station KEYS       add a station (repeatable). KEYS is a comma-separated
                       list of KEY=VALUE; "\," stands for a comma in a value.
  --log FILE           append the log to FILE ("-": standard output), one
                       line per frame, command or event, flushed at once
  --help               show this text

Station keys (defaults in brackets):
  name=NAME            name in the log, no blanks [serial, station<N>]
  link=LINK            "serial" or an interface name; IF1+IF2 plays the
                       same station on two interfaces [serial]
  mac=ADDR             the station's MAC: source of its frames, destination
                       of its transfer frames [serial 01-02-01-06-03-03,
                       Ethernet 02-4B-53-00-00-<N>]
  addr=ADDR            station address (identity offset 18) [the MAC]
  commands-at=WHERE    where AT command frames are taken on Ethernet:
                       address (the station address), mac, both, or none
                       (answers discovery, no AT command) [address]
  manufacturer=TEXT    [Nimbus Radio]
  product=TEXT         [NR-2400 Wireless LAN]
  model=TEXT           [NR-11]
  version=A.B          the two version bytes: each a character, or 0xNN [2.1]
  type=T               network type 1 Bss, 2 IBss, 3 Access Point,
                       4 Repeater, 5; or the name Bss, IBss, AP, Repeater [3]
  essid=TEXT           up to 32 characters [kestrel]
  channel=N            allowed by the domain [6]
  domain=NAME          FCC, IC, ETSI, Spain, France or MKK [ETSI]
  password=TEXT        session password, 1 to 10 characters [admin]
  acl=ADDR+ADDR...     access-control list, up to 50 addresses [empty]
  acl-mode=MODE        include or exclude [exclude]
  restart-ms=N         silence after "ATz" or "AT&w" [300]
  banner=TEXT          sent on the serial line when back from a restart;
                       \r and \n are understood [\r\nREADY\r\n]
  block-size=N         bytes asked for per upgrade block, 1 to 2048 [1024]
  retry-ms=N           an upgrade request unanswered this long is asked
                       again [3000]
  retries=N            times a request is asked again before the station
                       gives the upgrade up [10]
  pace-ms=N            pause before each block request [0]
  image-out=FILE       write the received firmware image to FILE
  fault=F+F...         fault modes: silent (answers nothing), truncated
                       (frames and answers cut to half), bad-marker (wrong
                       second marker), bad-slip (serial frames without their
                       closing END), long-text (answers and identity texts
                       overrun their fields: 100-character ESSID, texts
                       without zero), refuse-upgrade, stall (stops the
                       upgrade after stall-after blocks), slow-restart
                       (restart-ms defaults to 15000)
  stall-after=N        blocks received before a stall [2]; implies stall

Example:
  kestrel-sim --serial /tmp/ttyKS0 --log /tmp/sim.log \
    --station name=ap1,link=veth1,essid=Lab\,North \
    --station name=rep,link=veth1,type=4,addr=02-00-00-00-00-99
)";

namespace {

std::vector<std::pair<std::string, std::string>> SplitPairs(const std::string& text,
                                                            std::string* why) {
    std::vector<std::pair<std::string, std::string>> pairs;
    std::vector<std::string> items(1);
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == ',') {
            items.back().push_back(',');
            ++i;
        } else if (text[i] == ',') {
            items.emplace_back();
        } else {
            items.back().push_back(text[i]);
        }
    }
    for (const auto& item : items) {
        if (item.empty()) continue;
        const auto eq = item.find('=');
        if (eq == std::string::npos || eq == 0) {
            *why = "station setting without KEY=VALUE: " + item;
            return {};
        }
        pairs.emplace_back(item.substr(0, eq), item.substr(eq + 1));
    }
    return pairs;
}

bool ParseInt(const std::string& text, long low, long high, long* value) {
    if (text.empty() || text.size() > 9 || !std::all_of(text.begin(), text.end(), [](char c) {
            return std::isdigit(static_cast<unsigned char>(c));
        }))
        return false;
    *value = std::stol(text);
    return *value >= low && *value <= high;
}

std::vector<std::string> SplitPlus(const std::string& text) {
    std::vector<std::string> parts(1);
    for (const char c : text) {
        if (c == '+')
            parts.emplace_back();
        else
            parts.back().push_back(c);
    }
    return parts;
}

bool ParseVersionByte(const std::string& text, std::uint8_t* byte) {
    if (text.size() == 1) {
        *byte = static_cast<std::uint8_t>(text[0]);
        return true;
    }
    if (text.size() >= 3 && text.size() <= 4 && text[0] == '0' &&
        (text[1] == 'x' || text[1] == 'X')) {
        try {
            std::size_t used = 0;
            const unsigned long v = std::stoul(text.substr(2), &used, 16);
            if (used != text.size() - 2 || v > 0xFF) return false;
            *byte = static_cast<std::uint8_t>(v);
            return true;
        } catch (...) {
            return false;
        }
    }
    return false;
}

std::string Unescape(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size() && (text[i + 1] == 'r' || text[i + 1] == 'n')) {
            out.push_back(text[i + 1] == 'r' ? '\r' : '\n');
            ++i;
        } else {
            out.push_back(text[i]);
        }
    }
    return out;
}

const char* const Domains[] = {"FCC", "IC", "ETSI", "Spain", "France", "MKK"};
constexpr int DomainChannels[][2] = {{1, 11}, {1, 11}, {1, 13}, {10, 11}, {10, 13}, {1, 14}};

} // namespace

bool ParseStation(const std::string& text, int index, StationSetup* setup, std::string* why) {
    const auto pairs = SplitPairs(text, why);
    if (!why->empty()) return false;
    bool restartGiven = false;
    bool slowRestart = false;
    bool macGiven = false;
    setup->links = {"serial"};
    for (const auto& [key, value] : pairs) {
        const auto bad = [&, &key = key, &value = value] {
            *why = "bad station setting " + key + "=" + value;
            return false;
        };
        long n = 0;
        if (key == "name") {
            if (value.empty() || std::any_of(value.begin(), value.end(), [](char c) {
                    return std::isspace(static_cast<unsigned char>(c));
                }))
                return bad();
            setup->name = value;
        } else if (key == "link") {
            setup->links = SplitPlus(value);
            for (const auto& link : setup->links)
                if (link.empty()) return bad();
        } else if (key == "mac" || key == "addr") {
            const auto mac = ParseMac(value);
            if (!mac) return bad();
            if (key == "mac") {
                setup->mac = *mac;
                macGiven = true;
            } else {
                setup->stationAddress = *mac;
            }
        } else if (key == "commands-at") {
            if (value == "address")
                setup->commandAddress = CommandAddress::StationAddress;
            else if (value == "mac")
                setup->commandAddress = CommandAddress::Mac;
            else if (value == "both")
                setup->commandAddress = CommandAddress::Both;
            else if (value == "none")
                setup->commandAddress = CommandAddress::None;
            else
                return bad();
        } else if (key == "manufacturer") {
            setup->manufacturer = value;
        } else if (key == "product") {
            setup->product = value;
        } else if (key == "model") {
            setup->model = value;
        } else if (key == "version") {
            const auto dot = value.find('.');
            if (dot == std::string::npos ||
                !ParseVersionByte(value.substr(0, dot), &setup->version[0]) ||
                !ParseVersionByte(value.substr(dot + 1), &setup->version[1]))
                return bad();
        } else if (key == "type") {
            if (value == "Bss")
                n = 1;
            else if (value == "IBss")
                n = 2;
            else if (value == "AP")
                n = 3;
            else if (value == "Repeater")
                n = 4;
            else if (!ParseInt(value, 1, 5, &n))
                return bad();
            setup->settings.networkType = static_cast<int>(n);
        } else if (key == "essid") {
            if (value.size() > 32) return bad();
            setup->settings.essid = value;
        } else if (key == "channel") {
            if (!ParseInt(value, 1, 14, &n)) return bad();
            setup->settings.channel = static_cast<int>(n);
        } else if (key == "domain") {
            const auto found = std::find(std::begin(Domains), std::end(Domains), value);
            if (found == std::end(Domains)) return bad();
            setup->domain = static_cast<int>(found - std::begin(Domains));
        } else if (key == "password") {
            if (value.empty() || value.size() > 10) return bad();
            setup->password = value;
        } else if (key == "acl") {
            setup->settings.accessList.clear();
            for (const auto& part : SplitPlus(value)) {
                if (part.empty()) continue;
                const auto mac = ParseMac(part);
                if (!mac || setup->settings.accessList.size() >= 50) return bad();
                setup->settings.accessList.push_back(*mac);
            }
        } else if (key == "acl-mode") {
            if (value != "include" && value != "exclude") return bad();
            setup->settings.includeMode = value == "include";
        } else if (key == "restart-ms") {
            if (!ParseInt(value, 0, 600000, &n)) return bad();
            setup->restartMs = static_cast<int>(n);
            restartGiven = true;
        } else if (key == "banner") {
            setup->banner = Unescape(value);
        } else if (key == "block-size") {
            if (!ParseInt(value, 1, 2048, &n)) return bad();
            setup->blockSize = static_cast<int>(n);
        } else if (key == "retry-ms") {
            if (!ParseInt(value, 1, 600000, &n)) return bad();
            setup->retryMs = static_cast<int>(n);
        } else if (key == "retries") {
            if (!ParseInt(value, 0, 1000, &n)) return bad();
            setup->maxRetries = static_cast<int>(n);
        } else if (key == "pace-ms") {
            if (!ParseInt(value, 0, 600000, &n)) return bad();
            setup->paceMs = static_cast<int>(n);
        } else if (key == "image-out") {
            if (value.empty()) return bad();
            setup->imageOut = value;
        } else if (key == "stall-after") {
            if (!ParseInt(value, 0, 1000000, &n)) return bad();
            setup->faults.stallAfterBlocks = static_cast<int>(n);
        } else if (key == "fault") {
            for (const auto& fault : SplitPlus(value)) {
                Faults& f = setup->faults;
                if (fault == "silent")
                    f.silent = true;
                else if (fault == "truncated")
                    f.truncated = true;
                else if (fault == "bad-marker")
                    f.badMarker = true;
                else if (fault == "bad-slip")
                    f.badSlip = true;
                else if (fault == "long-text")
                    f.longText = true;
                else if (fault == "refuse-upgrade")
                    f.refuseUpgrade = true;
                else if (fault == "slow-restart")
                    slowRestart = true;
                else if (fault == "stall") {
                    if (f.stallAfterBlocks < 0) f.stallAfterBlocks = 2;
                } else {
                    *why = "unknown fault " + fault;
                    return false;
                }
            }
        } else {
            *why = "unknown station key " + key;
            return false;
        }
    }
    if (slowRestart && !restartGiven) setup->restartMs = 15000;
    const bool serial = setup->links.size() == 1 && setup->links[0] == "serial";
    if (!serial &&
        std::find(setup->links.begin(), setup->links.end(), "serial") != setup->links.end()) {
        *why = "a station is either the serial one or on interfaces, not both";
        return false;
    }
    if (setup->name.empty())
        setup->name = serial ? "serial" : "station" + std::to_string(index + 1);
    if (!macGiven)
        setup->mac = serial
                         ? Mac{0x01, 0x02, 0x01, 0x06, 0x03, 0x03}
                         : Mac{0x02, 0x4B, 0x53, 0x00, 0x00, static_cast<std::uint8_t>(index + 1)};
    const int channel = setup->settings.channel;
    if (channel < DomainChannels[setup->domain][0] || channel > DomainChannels[setup->domain][1]) {
        *why =
            "channel " + std::to_string(channel) + " is not allowed in " + Domains[setup->domain];
        return false;
    }
    return true;
}

bool ParseOptions(int argc, char** argv, Options* options, std::string* why) {
    std::vector<std::string> stationTexts;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const auto value = [&](std::string* out) {
            if (i + 1 >= argc) {
                *why = arg + " needs a value";
                return false;
            }
            *out = argv[++i];
            return true;
        };
        std::string text;
        if (arg == "--help" || arg == "-h") {
            options->help = true;
        } else if (arg == "--serial") {
            if (!value(&options->serialPath)) return false;
        } else if (arg == "--serial-speed") {
            long speed = 0;
            if (!value(&text)) return false;
            if (!ParseInt(text, 50, 4000000, &speed)) {
                *why = "bad --serial-speed " + text;
                return false;
            }
            options->serialSpeed = speed;
        } else if (arg == "--line-pacing") {
            options->linePacing = true;
        } else if (arg == "--log") {
            if (!value(&options->logPath)) return false;
        } else if (arg == "--station") {
            if (!value(&text)) return false;
            stationTexts.push_back(text);
        } else {
            *why = "unknown option " + arg + " (see --help)";
            return false;
        }
    }
    if (options->help) return true;

    std::set<std::string> names;
    int serialStations = 0;
    for (std::size_t i = 0; i < stationTexts.size(); ++i) {
        StationSetup setup;
        if (!ParseStation(stationTexts[i], static_cast<int>(i), &setup, why)) return false;
        if (!names.insert(setup.name).second) {
            *why = "two stations named " + setup.name;
            return false;
        }
        if (setup.links[0] == "serial") ++serialStations;
        options->stations.push_back(std::move(setup));
    }
    if (serialStations > 1) {
        *why = "only one station can be on the serial line";
        return false;
    }
    if (serialStations == 1 && options->serialPath.empty()) {
        *why = "a station is on the serial line but --serial is not given";
        return false;
    }
    if (serialStations == 0 && !options->serialPath.empty()) {
        StationSetup setup;
        ParseStation("", static_cast<int>(options->stations.size()), &setup, why);
        if (names.count(setup.name)) {
            *why = "the default serial station's name serial is taken";
            return false;
        }
        options->stations.push_back(std::move(setup));
    }
    if (options->stations.empty()) {
        *why = "nothing to play: give --serial or --station (see --help)";
        return false;
    }
    return true;
}

} // namespace kestrel::sim
