// Ethernet stations on one end of a veth pair, talked to from the other end
// through a packet socket: identity replies, AT command frames, the upgrade
// the station drives, and the fault modes.
#include "tests/sim/SimHarness.h"
#include "tests/support/NetNamespace.h"

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <gtest/gtest.h>
#include <linux/if_ether.h>
#include <linux/if_packet.h>
#include <map>
#include <memory>
#include <net/if.h>
#include <optional>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace kestrel::test {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;
using Mac = Bytes; // six bytes

const char* const ProgramSide = "kssim0";
const char* const StationSide = "kssim1";
const Mac Broadcast{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};

Mac MacOf(std::uint8_t last) {
    return {0x02, 0x00, 0x00, 0x00, 0x00, last};
}

std::uint16_t U16(const Bytes& b, std::size_t at) {
    return at + 2 <= b.size() ? static_cast<std::uint16_t>(b[at] | b[at + 1] << 8) : 0;
}
std::uint32_t U32(const Bytes& b, std::size_t at) {
    return at + 4 <= b.size() ? U16(b, at) | static_cast<std::uint32_t>(U16(b, at + 2)) << 16 : 0;
}
void PutU16(Bytes& b, std::size_t at, std::uint16_t v) {
    b[at] = v & 0xFF;
    b[at + 1] = v >> 8;
}
void PutU32(Bytes& b, std::size_t at, std::uint32_t v) {
    PutU16(b, at, v & 0xFFFF);
    PutU16(b, at + 2, v >> 16);
}
Mac Dst(const Bytes& f) {
    return Bytes(f.begin(), f.begin() + 6);
}
Mac Src(const Bytes& f) {
    return Bytes(f.begin() + 6, f.begin() + 12);
}

Bytes Frame(const Mac& to, const Mac& from, std::uint16_t marker, std::uint16_t type,
            std::size_t length) {
    Bytes f(length, 0);
    std::copy(to.begin(), to.end(), f.begin());
    std::copy(from.begin(), from.end(), f.begin() + 6);
    PutU16(f, 12, 0xAAAA);
    PutU16(f, 14, marker);
    PutU16(f, 16, type);
    return f;
}

Bytes CommandFrame(const Mac& to, const Mac& from, const std::string& text) {
    Bytes f = Frame(to, from, 0xF556, 16, 98);
    std::copy(text.begin(), text.end(), f.begin() + 18);
    return f;
}

// The program's side of the wire.
class RawPort {
  public:
    ~RawPort() {
        if (fd_ >= 0) ::close(fd_);
    }
    bool Open(const std::string& name) {
        fd_ = ::socket(AF_PACKET, SOCK_RAW, htons(ETH_P_ALL));
        // Asked of the kernel: /sys still describes the namespace we left.
        ifreq request{};
        std::snprintf(request.ifr_name, sizeof request.ifr_name, "%s", name.c_str());
        if (fd_ < 0 || ::ioctl(fd_, SIOCGIFHWADDR, &request) != 0) return false;
        mac_.assign(request.ifr_hwaddr.sa_data, request.ifr_hwaddr.sa_data + 6);
        sockaddr_ll a{};
        a.sll_family = AF_PACKET;
        a.sll_protocol = htons(ETH_P_ALL);
        a.sll_ifindex = static_cast<int>(::if_nametoindex(name.c_str()));
        return fd_ >= 0 && mac_.size() == 6 &&
               ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    }
    const Mac& Address() const { return mac_; }
    void Send(Bytes frame) {
        if (frame.size() < 64) frame.resize(64, 0);
        ASSERT_EQ(::send(fd_, frame.data(), frame.size(), 0), static_cast<ssize_t>(frame.size()));
    }
    // The next protocol frame that reaches this side, if one comes in time.
    std::optional<Bytes> Receive(std::chrono::milliseconds limit = 1s) {
        const auto end = std::chrono::steady_clock::now() + limit;
        for (;;) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                end - std::chrono::steady_clock::now());
            pollfd p{fd_, POLLIN, 0};
            if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0)
                return std::nullopt;
            std::uint8_t buffer[4096];
            sockaddr_ll from{};
            socklen_t length = sizeof from;
            const ssize_t n = ::recvfrom(fd_, buffer, sizeof buffer, 0,
                                         reinterpret_cast<sockaddr*>(&from), &length);
            if (n < 14 || from.sll_pkttype == PACKET_OUTGOING) continue;
            if (buffer[12] != 0xAA || buffer[13] != 0xAA) continue;
            return Bytes(buffer, buffer + n);
        }
    }
    std::vector<Bytes> ReceiveAll(std::chrono::milliseconds quiet = 400ms) {
        std::vector<Bytes> frames;
        while (auto f = Receive(quiet))
            frames.push_back(*f);
        return frames;
    }

  private:
    int fd_ = -1;
    Mac mac_;
};

class EthernetStation : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!InPrivateNetNamespace()) GTEST_SKIP() << "needs a private network namespace (root)";
        std::string why;
        ASSERT_TRUE(AddVethPair(ProgramSide, StationSide, &why)) << why;
        ASSERT_TRUE(port_.Open(ProgramSide));
    }
    void TearDown() override {
        sims_.clear();
        DeleteLink(ProgramSide);
    }
    // One simulator process with the given stations, all on the station side.
    SimProcess& Start(const std::vector<std::string>& stations) {
        std::vector<std::string> args;
        for (const auto& s : stations) {
            args.push_back("--station");
            args.push_back(s + ",link=" + StationSide);
        }
        sims_.push_back(std::make_unique<SimProcess>(dir_, args));
        EXPECT_TRUE(sims_.back()->WaitStarted());
        return *sims_.back();
    }
    Bytes IdentityRequest(const Mac& to) { return Frame(to, port_.Address(), 0xF556, 0, 18); }

    TempDir dir_;
    RawPort port_;
    std::vector<std::unique_ptr<SimProcess>> sims_;
};

TEST_F(EthernetStation, identity_reply_to_broadcast_and_to_its_own_mac_only) {
    SimProcess& sim =
        Start({"name=ap1,mac=02-00-00-00-00-01,manufacturer=Acme,product=Bridge,model=B1",
               "name=rep,mac=02-00-00-00-00-02,addr=02-00-00-00-00-99,type=4,version=0x03.0xA5"});

    port_.Send(IdentityRequest(Broadcast));
    std::map<Mac, Bytes> replies;
    for (const Bytes& f : port_.ReceiveAll())
        replies[Src(f)] = f;
    ASSERT_EQ(replies.size(), 2u);
    const Bytes& ap1 = replies[MacOf(1)];
    const Bytes& rep = replies[MacOf(2)];
    ASSERT_EQ(ap1.size(), 171u);
    ASSERT_EQ(rep.size(), 171u);
    EXPECT_EQ(Dst(ap1), port_.Address());
    EXPECT_EQ(Bytes(ap1.begin() + 12, ap1.begin() + 18),
              (Bytes{0xAA, 0xAA, 0x56, 0xF5, 0x01, 0x00}));
    EXPECT_EQ(Bytes(ap1.begin() + 18, ap1.begin() + 24), MacOf(1)); // station address = MAC
    EXPECT_EQ(Bytes(rep.begin() + 18, rep.begin() + 24), MacOf(0x99));
    EXPECT_STREQ(reinterpret_cast<const char*>(&ap1[24]), "Acme");
    EXPECT_STREQ(reinterpret_cast<const char*>(&ap1[88]), "Bridge");
    EXPECT_STREQ(reinterpret_cast<const char*>(&ap1[152]), "B1");
    EXPECT_EQ(ap1[168], '2');
    EXPECT_EQ(ap1[169], '1');
    EXPECT_EQ(rep[168], 0x03);
    EXPECT_EQ(rep[169], 0xA5);

    const struct {
        Mac to;
        std::size_t answers;
    } unicasts[] = {{MacOf(1), 1}, {MacOf(2), 1}, {MacOf(0x99), 0}, {MacOf(0x55), 0}};
    for (const auto& u : unicasts) {
        port_.Send(IdentityRequest(u.to));
        const auto frames = port_.ReceiveAll();
        ASSERT_EQ(frames.size(), u.answers) << int(u.to[5]);
        if (u.answers) {
            EXPECT_EQ(Src(frames[0]), u.to);
        }
    }
    EXPECT_EQ(sim.Stop(), 0); // SIGTERM ends it cleanly
}

TEST_F(EthernetStation, command_frames_answered_only_where_the_station_takes_them) {
    SimProcess& sim = Start({"name=byaddr,mac=02-00-00-00-00-11,addr=02-00-00-00-00-A1",
                             "name=bymac,mac=02-00-00-00-00-12,addr=02-00-00-00-00-A2,"
                             "commands-at=mac,type=2",
                             "name=mute,mac=02-00-00-00-00-13,commands-at=none"});
    const struct {
        Mac to;
        std::optional<Mac> from;
        const char* answer;
    } cases[] = {
        {MacOf(0xA1), MacOf(0x11), "Access Point\r\n"},
        {MacOf(0x11), std::nullopt, ""},
        {MacOf(0x12), MacOf(0x12), "IBss\r\n"},
        {MacOf(0xA2), std::nullopt, ""},
        {MacOf(0x13), std::nullopt, ""},
    };
    for (const auto& c : cases) {
        port_.Send(CommandFrame(c.to, port_.Address(), "ATn\r\n"));
        const auto frames = port_.ReceiveAll();
        if (!c.from) {
            EXPECT_TRUE(frames.empty()) << "to " << int(c.to[5]);
            continue;
        }
        ASSERT_EQ(frames.size(), 1u) << "to " << int(c.to[5]);
        const Bytes& f = frames[0];
        ASSERT_EQ(f.size(), 98u);
        EXPECT_EQ(Dst(f), port_.Address());
        EXPECT_EQ(Src(f), *c.from);
        EXPECT_EQ(Bytes(f.begin() + 12, f.begin() + 18),
                  (Bytes{0xAA, 0xAA, 0x56, 0xF5, 0x11, 0x00}));
        EXPECT_STREQ(reinterpret_cast<const char*>(&f[18]), c.answer);
    }
    // The station that takes no commands still answers discovery.
    port_.Send(IdentityRequest(MacOf(0x13)));
    EXPECT_EQ(port_.ReceiveAll().size(), 1u);

    // One log line per command: time, station, link, direction, event.
    const std::string entry = R"( byaddr kssim1 rx command "ATn\r\n")";
    const auto isEntry = [&](const std::string& l) {
        // "<seconds>.<three digits>" before the entry, nothing after it.
        const size_t at = l.find(' ');
        const size_t point = l.find('.');
        return at != std::string::npos && point != std::string::npos && point + 4 == at &&
               l.find_first_not_of("0123456789.") == at && l.substr(at) == entry;
    };
    const auto lines = sim.LogLines();
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(), isEntry), 1) << sim.LogText();
}

std::uint16_t Crc16(const Bytes& data) {
    std::uint16_t crc = 0xFFFF;
    for (const std::uint8_t byte : data) {
        crc ^= static_cast<std::uint16_t>(byte << 8);
        for (int i = 0; i < 8; ++i)
            crc = static_cast<std::uint16_t>(crc & 0x8000 ? (crc << 1) ^ 0x1021 : crc << 1);
    }
    return crc;
}

TEST_F(EthernetStation, upgrade_is_driven_by_the_station_and_reasks_unanswered_blocks) {
    const std::string imagePath = dir_.File("received.bin");
    SimProcess& sim = Start({"name=upd,mac=02-00-00-00-00-21,block-size=100,retry-ms=300,"
                             "image-out=" +
                             imagePath});
    const Mac station = MacOf(0x21);
    const Mac me = port_.Address();
    Bytes image;
    for (int i = 0; i < 250; ++i)
        image.push_back(static_cast<std::uint8_t>(i * 7 + 0xC0));
    const std::uint16_t crc = Crc16(image);
    image.push_back(crc & 0xFF);
    image.push_back(crc >> 8);
    const auto expect = [&](std::uint16_t marker, std::uint16_t type) {
        auto f = port_.Receive(2s);
        EXPECT_TRUE(f) << "no frame " << marker << "/" << type;
        if (!f) return Bytes(24, 0);
        EXPECT_EQ(U16(*f, 14), marker);
        EXPECT_EQ(U16(*f, 16), type);
        EXPECT_EQ(Dst(*f), me);
        EXPECT_EQ(Src(*f), station);
        return *f;
    };

    port_.Send(IdentityRequest(station));
    EXPECT_EQ(expect(0xF556, 1).size(), 171u);
    port_.Send(Frame(station, me, 0xF556, 2, 18));
    EXPECT_EQ(expect(0xF556, 3)[18], 0); // accepted
    expect(0xF555, 0);                   // size request
    Bytes size = Frame(station, me, 0xF555, 1, 22);
    PutU32(size, 18, static_cast<std::uint32_t>(image.size()));
    port_.Send(size);

    // The first block request goes unanswered and is asked again.
    const Bytes first = expect(0xF555, 2);
    const auto askedAt = std::chrono::steady_clock::now();
    const Bytes again = expect(0xF555, 2);
    EXPECT_GE(std::chrono::steady_clock::now() - askedAt, 250ms);
    EXPECT_EQ(Bytes(again.begin() + 18, again.begin() + 24),
              Bytes(first.begin() + 18, first.begin() + 24));

    std::vector<std::pair<std::uint32_t, std::int16_t>> asked;
    Bytes request = again;
    while (U16(request, 14) == 0xF555 && U16(request, 16) == 2) {
        const std::uint32_t offset = U32(request, 18);
        const auto length = static_cast<std::int16_t>(U16(request, 22));
        asked.emplace_back(offset, length);
        ASSERT_LE(offset + length, image.size());
        Bytes reply = Frame(station, me, 0xF555, 3, 24 + length);
        PutU32(reply, 18, offset);
        PutU16(reply, 22, static_cast<std::uint16_t>(length));
        std::copy(image.begin() + offset, image.begin() + offset + length, reply.begin() + 24);
        port_.Send(reply);
        auto next = port_.Receive(2s);
        ASSERT_TRUE(next);
        request = *next;
    }
    EXPECT_EQ(asked, (std::vector<std::pair<std::uint32_t, std::int16_t>>{
                         {0, 100}, {100, 100}, {200, 52}}));
    EXPECT_EQ(U16(request, 14), 0xF555);
    EXPECT_EQ(U16(request, 16), 4); // transfer end
    Bytes ack = Frame(station, me, 0xF555, 4, 20);
    PutU16(ack, 18, 1);
    port_.Send(ack);

    ASSERT_TRUE(
        WaitUntil([&] { return sim.LogText().find("upgrade-finished") != std::string::npos; }, 2s))
        << sim.LogText();
    EXPECT_NE(sim.LogText().find("upgrade-received size=252 crc=ok"), std::string::npos);
    EXPECT_EQ(ReadFile(imagePath), std::string(image.begin(), image.end()));
}

TEST_F(EthernetStation, upgrade_refused_or_stalled_on_request) {
    const struct {
        const char* setup;
        std::uint8_t mac;
        std::uint8_t status;
        int blocksBeforeSilence; // -1: not even a size request
    } cases[] = {
        {"name=no,mac=02-00-00-00-00-31,fault=refuse-upgrade", 0x31, 1, -1},
        {"name=stall,mac=02-00-00-00-00-32,block-size=16,retry-ms=200,stall-after=1", 0x32, 0, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.setup);
        Start({c.setup});
        const Mac station = MacOf(c.mac);
        port_.Send(Frame(station, port_.Address(), 0xF556, 2, 18));
        auto answer = port_.Receive();
        ASSERT_TRUE(answer);
        EXPECT_EQ(U16(*answer, 16), 3);
        EXPECT_EQ((*answer)[18], c.status);
        int blocks = -1;
        auto request = port_.Receive(600ms);
        if (request && U16(*request, 16) == 0) {
            blocks = 0;
            Bytes size = Frame(station, port_.Address(), 0xF555, 1, 22);
            PutU32(size, 18, 64);
            port_.Send(size);
            while ((request = port_.Receive(600ms)) && U16(*request, 16) == 2) {
                Bytes reply = Frame(station, port_.Address(), 0xF555, 3, 24 + 16);
                PutU32(reply, 18, U32(*request, 18));
                PutU16(reply, 22, 16);
                port_.Send(reply);
                ++blocks;
            }
        }
        EXPECT_EQ(blocks, c.blocksBeforeSilence);
        sims_.back()->Stop();
    }
}

TEST_F(EthernetStation, fault_modes_shape_what_the_program_receives) {
    const struct {
        const char* fault;
        std::size_t identityLength; // 0: no reply
        std::uint16_t marker;
        std::size_t answerLength;
        bool overrunFields;
    } cases[] = {
        {"silent", 0, 0, 0, false},
        {"bad-marker", 171, 0xF557, 98, false},
        {"truncated", 85, 0xF556, 49, false},
        {"long-text", 171, 0xF556, 98, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fault);
        Start({std::string("name=f,mac=02-00-00-00-00-41,essid=net,fault=") + c.fault});
        port_.Send(IdentityRequest(Broadcast));
        const auto identity = port_.ReceiveAll();
        port_.Send(CommandFrame(MacOf(0x41), port_.Address(), "ATESSID\r\n"));
        const auto answer = port_.ReceiveAll();
        sims_.back()->Stop();

        ASSERT_EQ(identity.size(), c.identityLength ? 1u : 0u);
        ASSERT_EQ(answer.size(), c.answerLength ? 1u : 0u);
        if (!c.identityLength) continue;
        EXPECT_EQ(identity[0].size(), c.identityLength);
        EXPECT_EQ(answer[0].size(), c.answerLength);
        EXPECT_EQ(U16(identity[0], 14), c.marker);
        EXPECT_EQ(U16(answer[0], 14), c.marker);
        if (c.overrunFields) {
            // Every text field full, none terminated; the answer fills all 80 bytes.
            for (std::size_t at = 24; at < 168; ++at)
                ASSERT_NE(identity[0][at], 0) << at;
            for (std::size_t at = 18; at < 98; ++at)
                ASSERT_NE(answer[0][at], 0) << at;
            EXPECT_EQ(std::string(answer[0].begin() + 18, answer[0].begin() + 21), "net");
        }
    }
}

} // namespace
} // namespace kestrel::test
