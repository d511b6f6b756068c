// The channel on the libpcap driver, against a packet socket on the far end
// of a veth pair inside the test's own network namespace.
#include "link/PacketChannel.h"
#include "platform/MessageBox.h"
#include "tests/support/NetNamespace.h"
#include "tests/support/PacketPeer.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <linux/if_packet.h>
#include <memory>
#include <net/ethernet.h>
#include <net/if.h>
#include <optional>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace kestrel {
namespace {

using Bytes = std::vector<uint8_t>;

std::string namespaceProblem;
int vethCount = 0;

// The station side of the wire.
class Peer : public test::PacketPeer {
  public:
    using PacketPeer::PacketPeer;
    void Send(const Bytes& frame) { ASSERT_TRUE(PacketPeer::Send(frame)); }
};

std::array<uint8_t, 6> MacOf(const std::string& interfaceName) {
    std::array<uint8_t, 6> mac{};
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ifreq request{};
    std::strncpy(request.ifr_name, interfaceName.c_str(), IFNAMSIZ - 1);
    if (fd >= 0 && ::ioctl(fd, SIOCGIFHWADDR, &request) == 0)
        std::memcpy(mac.data(), request.ifr_hwaddr.sa_data, 6);
    if (fd >= 0) ::close(fd);
    return mac;
}

// A frame to `to` from `from` with the given type and a payload that tells frames apart.
Bytes EthernetFrame(const std::array<uint8_t, 6>& to, const std::array<uint8_t, 6>& from,
                    uint16_t type, int length, uint8_t tag) {
    Bytes frame(static_cast<size_t>(length), 0);
    std::copy(to.begin(), to.end(), frame.begin());
    std::copy(from.begin(), from.end(), frame.begin() + 6);
    frame[12] = static_cast<uint8_t>(type >> 8);
    frame[13] = static_cast<uint8_t>(type & 0xFF);
    for (size_t i = 14; i < frame.size(); ++i)
        frame[i] = static_cast<uint8_t>(tag + i);
    return frame;
}

class PacketVethTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!namespaceProblem.empty()) GTEST_SKIP() << namespaceProblem;
        const int n = vethCount++;
        ours = "kpa" + std::to_string(n);
        theirs = "kpb" + std::to_string(n);
        std::string why;
        ASSERT_TRUE(test::AddVethPair(ours, theirs, &why)) << why;
        SetPacketDriver(nullptr);
        PacketChannel = channel.get();
        peer = std::make_unique<Peer>(theirs);
        ourMac = MacOf(ours);
        theirMac = MacOf(theirs);
    }
    void TearDown() override {
        ClosePacketChannel();
        PacketChannel = nullptr;
        SetPacketDriver(nullptr);
        peer.reset();
        if (!ours.empty()) test::DeleteLink(ours);
    }

    void OpenFiltered() {
        ASSERT_TRUE(OpenPacketChannel(ours));
        ASSERT_TRUE(EnablePacketFilter());
    }
    Bytes FromPeer(int length, uint8_t tag, uint16_t type = 0xAAAA) {
        return EthernetFrame(ourMac, theirMac, type, length, tag);
    }
    std::optional<Bytes> Receive(int room = 2000, int timeoutMs = 1000) {
        Bytes buffer(2000);
        int length = room;
        if (!ReceivePacket(buffer.data(), length, timeoutMs)) return std::nullopt;
        buffer.resize(static_cast<size_t>(length));
        return buffer;
    }

    std::string ours, theirs;
    std::array<uint8_t, 6> ourMac{}, theirMac{};
    std::unique_ptr<TPacketChannel> channel = std::make_unique<TPacketChannel>();
    std::unique_ptr<Peer> peer;
    RecordingMessageBox messages;
};

TEST_F(PacketVethTest, AdapterAddressIsTheInterfacesMac) {
    ASSERT_TRUE(OpenPacketChannel(ours));
    EXPECT_TRUE(channel->Open);
    EXPECT_EQ(channel->AdapterAddress, ourMac);
    EXPECT_NE(ourMac, (std::array<uint8_t, 6>{}));
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(PacketVethTest, OpenOnAMissingAdapterFailsWithoutAMessage) {
    EXPECT_FALSE(OpenPacketChannel("kpnone"));
    EXPECT_FALSE(channel->Open);
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(PacketVethTest, FilterPassesOnlyStationFramesFromOthers) {
    OpenFiltered();
    // Our own station frame goes out (the peer sees it) but does not come back.
    const Bytes own = EthernetFrame(theirMac, ourMac, 0xAAAA, 64, 0x30);
    ASSERT_TRUE(SendPacket(own.data(), static_cast<int>(own.size())));
    EXPECT_EQ(peer->Next(1000), own);
    // A frame that carries our address as its source counts as our own too.
    peer->Send(EthernetFrame(ourMac, ourMac, 0xAAAA, 64, 0x0F));
    peer->Send(FromPeer(64, 0x10, 0x0800));
    peer->Send(FromPeer(64, 0x11, 0xAAAB));
    peer->Send(FromPeer(64, 0x12));
    EXPECT_EQ(Receive(), FromPeer(64, 0x12));
    EXPECT_FALSE(Receive(2000, 200));
}

TEST_F(PacketVethTest, SendPutsExactlyTheGivenBytesOnTheWire) {
    OpenFiltered();
    for (int length : {14, 64, 100, 1514}) {
        SCOPED_TRACE(length);
        const Bytes frame = EthernetFrame(theirMac, ourMac, 0xAAAA, length, 0x55);
        ASSERT_TRUE(SendPacket(frame.data(), length));
        EXPECT_EQ(peer->Next(1000), frame);
    }
}

TEST_F(PacketVethTest, FramesComeInOrderAndATimeoutKeepsTheTurn) {
    OpenFiltered();
    EXPECT_FALSE(Receive(2000, 100));
    peer->Send(FromPeer(60, 0x01));
    peer->Send(FromPeer(61, 0x02));
    peer->Send(FromPeer(62, 0x03));
    EXPECT_EQ(Receive(2000, 0 + 1000), FromPeer(60, 0x01));
    EXPECT_EQ(Receive(), FromPeer(61, 0x02));
    EXPECT_EQ(Receive(), FromPeer(62, 0x03));
    EXPECT_FALSE(Receive(2000, 100));
    peer->Send(FromPeer(63, 0x04));
    EXPECT_EQ(Receive(), FromPeer(63, 0x04));
}

TEST_F(PacketVethTest, LongerFrameIsCutToTheCallersLength) {
    OpenFiltered();
    const Bytes frame = FromPeer(300, 0x20);
    peer->Send(frame);
    peer->Send(FromPeer(64, 0x21));
    EXPECT_EQ(Receive(100), Bytes(frame.begin(), frame.begin() + 100));
    EXPECT_EQ(Receive(), FromPeer(64, 0x21)) << "the rest of the cut frame is gone";
}

TEST_F(PacketVethTest, ReceivesGoOnAfterCloseAndReopen) {
    OpenFiltered();
    EXPECT_FALSE(Receive(2000, 50));
    ClosePacketChannel();
    OpenFiltered();
    peer->Send(FromPeer(60, 0x41));
    peer->Send(FromPeer(60, 0x42));
    EXPECT_EQ(Receive(), FromPeer(60, 0x41));
    EXPECT_EQ(Receive(), FromPeer(60, 0x42));
}

TEST_F(PacketVethTest, OpenWithoutRawFrameRightIsReportedAndLeavesTheChannelClosed) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // Leaving root for nobody drops every capability, CAP_NET_RAW with them.
        if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(10);
        RecordingMessageBox seen;
        const bool opened = OpenPacketChannel(ours);
        const std::vector<ShownMessage> expected{
            {"Unable to open VxD, Error code:1", "Kestrel", MessageIcon::None}};
        if (opened || channel->Open) ::_exit(11);
        ::_exit(seen.shown == expected ? 0 : 12);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "10: could not drop root, 11: opened, 12: wrong message";
}

} // namespace
} // namespace kestrel

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    // Test discovery only lists the tests: no namespace needed for that.
    bool listing = false;
    for (int i = 1; i < argc; ++i)
        if (std::strncmp(argv[i], "--gtest_list_tests", 18) == 0) listing = true;
    if (!listing && !kestrel::test::EnterPrivateNetNamespace(&kestrel::namespaceProblem) &&
        kestrel::namespaceProblem.empty())
        kestrel::namespaceProblem = "no private network namespace";
    kestrel::test::SetAbsentComPorts();
    return RUN_ALL_TESTS();
}
