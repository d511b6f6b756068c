#include "link/PacketChannel.h"
#include "platform/MessageBox.h"
#include "tests/packet/InMemoryPacketDriver.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>

namespace kestrel {
namespace {

using test::InMemoryPacketDriver;
using Bytes = std::vector<uint8_t>;

Bytes Frame(int length, uint8_t first) {
    Bytes frame(static_cast<size_t>(length));
    for (int i = 0; i < length; ++i)
        frame[static_cast<size_t>(i)] = static_cast<uint8_t>(first + i);
    return frame;
}

class PacketChannelTest : public ::testing::Test {
  protected:
    void SetUp() override {
        SetPacketDriver(&driver);
        PacketChannel = channel.get();
    }
    void TearDown() override {
        SetPacketDriver(nullptr);
        PacketChannel = nullptr;
    }

    // Takes one frame with room for `room` bytes; the copied bytes, or nullopt on timeout.
    std::optional<Bytes> Receive(int room = 2000, int timeoutMs = 200) {
        Bytes buffer(2000, 0xEE);
        int length = room;
        if (!ReceivePacket(buffer.data(), length, timeoutMs)) return std::nullopt;
        EXPECT_EQ(buffer[static_cast<size_t>(length)], 0xEE) << "copied past the reported length";
        buffer.resize(static_cast<size_t>(length));
        return buffer;
    }

    InMemoryPacketDriver driver;
    std::unique_ptr<TPacketChannel> channel = std::make_unique<TPacketChannel>();
    RecordingMessageBox messages;
};

TEST_F(PacketChannelTest, OpenBindsByZeroTerminatedNameAndReadsTheAddress) {
    ASSERT_TRUE(OpenPacketChannel("veth0"));
    EXPECT_TRUE(channel->Open);
    EXPECT_EQ(channel->AdapterAddress, driver.address);

    ASSERT_EQ(driver.calls.size(), 2u);
    const auto& bind = driver.calls[0];
    EXPECT_EQ(bind.code, 0x00222014u);
    EXPECT_EQ(bind.input, (Bytes{'v', 'e', 't', 'h', '0', 0}));
    EXPECT_EQ(bind.outputLength, 0u);
    EXPECT_TRUE(bind.overlapped);
    const auto& address = driver.calls[1];
    EXPECT_EQ(address.code, 0x0022201Cu);
    EXPECT_EQ(address.input, Bytes{1});
    EXPECT_EQ(address.outputLength, 6u);
    EXPECT_FALSE(address.overlapped);
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(PacketChannelTest, OpenErrorsAreShownAndLeaveTheChannelClosed) {
    const struct {
        int error;
        const char* text;
    } cases[] = {
        {2, "Unable to open VxD, Error code:2"},
        {1, "Unable to open VxD, Error code:1"},
        {50, "Unable to open PktDrv.VxD"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.error);
        messages.shown.clear();
        driver.calls.clear();
        driver.openError = c.error;
        EXPECT_FALSE(OpenPacketChannel("eth0"));
        EXPECT_FALSE(channel->Open);
        EXPECT_TRUE(driver.calls.empty());
        EXPECT_EQ(messages.shown,
                  (std::vector<ShownMessage>{{c.text, "Kestrel", MessageIcon::None}}));
    }
}

TEST_F(PacketChannelTest, OpenNeedsAnAddressWithNonZeroFirstFourBytes) {
    const struct {
        std::array<uint8_t, 6> address;
        uint32_t bytes;
        bool opens;
    } cases[] = {
        {{0x00, 0x00, 0x00, 0x00, 0x12, 0x34}, 6, false},
        {{0x00, 0x00, 0x00, 0x01, 0x00, 0x00}, 6, true},
        {{0x02, 0x00, 0x00, 0x00, 0x00, 0x00}, 6, true},
        {{0x00, 0x40, 0x96, 0x12, 0x34, 0x56}, 0, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << int(c.address[3]) << " bytes " << c.bytes);
        ClosePacketChannel();
        driver.closed.clear();
        driver.address = c.address;
        driver.addressBytes = c.bytes;
        EXPECT_EQ(OpenPacketChannel("eth0"), c.opens);
        EXPECT_EQ(channel->Open, c.opens);
        // A refused address releases the device it opened.
        EXPECT_EQ(driver.closed.size(), c.opens ? 0u : 1u);
    }
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(PacketChannelTest, ReopenClosesTheOldDeviceAndCloseIsIdempotent) {
    ASSERT_TRUE(OpenPacketChannel("eth0"));
    const PacketHandle first = channel->Handle;
    ASSERT_TRUE(OpenPacketChannel("eth1"));
    EXPECT_EQ(driver.closed, std::vector<PacketHandle>{first});
    EXPECT_NE(channel->Handle, first);
    ClosePacketChannel();
    ClosePacketChannel();
    EXPECT_FALSE(channel->Open);
    EXPECT_EQ(driver.closed.size(), 2u);
}

TEST_F(PacketChannelTest, FilterAndTransmitUseTheirCodesAndReportRefusal) {
    ASSERT_TRUE(OpenPacketChannel("eth0"));
    driver.calls.clear();
    EXPECT_TRUE(EnablePacketFilter());
    const Bytes frame = Frame(64, 0x10);
    EXPECT_TRUE(SendPacket(frame.data(), 64));

    ASSERT_EQ(driver.calls.size(), 2u);
    EXPECT_EQ(driver.calls[0].code, 0x00222024u);
    EXPECT_TRUE(driver.calls[0].input.empty());
    EXPECT_EQ(driver.calls[0].outputLength, 0u);
    EXPECT_FALSE(driver.calls[0].overlapped);
    EXPECT_EQ(driver.calls[1].code, 0x0022200Cu);
    EXPECT_EQ(driver.calls[1].input, frame);
    EXPECT_EQ(driver.calls[1].outputLength, 64u);
    EXPECT_TRUE(driver.calls[1].overlapped);
    EXPECT_EQ(driver.transmitted, std::vector<Bytes>{frame});

    driver.acceptFilter = false;
    driver.acceptTransmit = false;
    EXPECT_FALSE(EnablePacketFilter());
    EXPECT_FALSE(SendPacket(frame.data(), 64));
    EXPECT_FALSE(SendPacket(frame.data(), 0));
}

TEST_F(PacketChannelTest, FirstReceiveArmsTwoSlotsAndEachTakeReissuesItsSlot) {
    ASSERT_TRUE(OpenPacketChannel("eth0"));
    driver.calls.clear();
    EXPECT_FALSE(Receive());

    auto receives = driver.CallsWithCode(0x00222008);
    ASSERT_EQ(receives.size(), 2u);
    for (const auto& call : receives) {
        EXPECT_EQ(call.input.size(), 2000u);
        EXPECT_EQ(call.outputLength, 2000u);
        EXPECT_TRUE(call.overlapped);
        EXPECT_EQ(call.handle, channel->Handle);
    }
    EXPECT_NE(receives[0].output, receives[1].output);
    EXPECT_EQ(driver.PendingReceives(), 2);

    for (int take = 0; take < 3; ++take) {
        driver.Deliver(Frame(60, static_cast<uint8_t>(take)));
        ASSERT_TRUE(Receive());
        receives = driver.CallsWithCode(0x00222008);
        ASSERT_EQ(receives.size(), 3u + take);
        // The slot just taken is the one posted again: slot 0, 1, 0 in turn.
        EXPECT_EQ(receives.back().output, receives[static_cast<size_t>(take % 2)].output);
        EXPECT_EQ(driver.PendingReceives(), 2);
    }
}

TEST_F(PacketChannelTest, ReceiveCutsTheFrameToTheCallersRoom) {
    ASSERT_TRUE(OpenPacketChannel("eth0"));
    const struct {
        int room;
        size_t copied;
    } cases[] = {{0, 0}, {20, 20}, {60, 60}, {2000, 60}, {-5, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.room);
        const Bytes frame = Frame(60, 0x40);
        driver.Deliver(frame);
        const auto got = Receive(c.room);
        ASSERT_TRUE(got);
        EXPECT_EQ(*got, Bytes(frame.begin(), frame.begin() + static_cast<long>(c.copied)));
    }
    // Each call took exactly one frame: nothing is left over.
    EXPECT_FALSE(Receive());
}

TEST_F(PacketChannelTest, TimeoutKeepsTheTurnOnTheSameSlot) {
    ASSERT_TRUE(OpenPacketChannel("eth0"));
    EXPECT_FALSE(Receive());
    EXPECT_FALSE(Receive());
    ASSERT_EQ(driver.waitedFor.size(), 2u);
    EXPECT_EQ(driver.waitedFor[0], driver.waitedFor[1]);

    // The frame lands in the oldest request, which is the one still waited on.
    driver.Deliver(Frame(60, 0x01));
    EXPECT_EQ(Receive(), Frame(60, 0x01));
}

TEST_F(PacketChannelTest, FramesThatArrivedBeforeTheReceiveComeInOrderWithoutWaiting) {
    ASSERT_TRUE(OpenPacketChannel("eth0"));
    EXPECT_FALSE(Receive()); // arms
    driver.Deliver(Frame(60, 0x01));
    driver.Deliver(Frame(70, 0x02));
    driver.Deliver(Frame(80, 0x03));
    const int timeoutsBefore = driver.waitsThatTimedOut;
    EXPECT_EQ(Receive(), Frame(60, 0x01));
    EXPECT_EQ(Receive(), Frame(70, 0x02));
    EXPECT_EQ(Receive(), Frame(80, 0x03));
    EXPECT_EQ(driver.waitsThatTimedOut, timeoutsBefore);
}

TEST_F(PacketChannelTest, DrainDiscardsEveryWaitingFrameAndNothingWhenClosed) {
    DrainPackets();
    EXPECT_TRUE(driver.calls.empty());

    ASSERT_TRUE(OpenPacketChannel("eth0"));
    EXPECT_FALSE(Receive());
    // More replies than the two posted requests hold: late answers to a discovery.
    for (uint8_t tag = 0x01; tag <= 0x05; ++tag)
        driver.Deliver(Frame(60, tag));
    DrainPackets();
    EXPECT_FALSE(Receive());
    driver.Deliver(Frame(60, 0x03));
    EXPECT_EQ(Receive(), Frame(60, 0x03));
}

TEST_F(PacketChannelTest, RequestsCancelledByACloseAreNoFramesAfterTheReopen) {
    ASSERT_TRUE(OpenPacketChannel("eth0"));
    EXPECT_FALSE(Receive());
    ClosePacketChannel();
    ASSERT_TRUE(OpenPacketChannel("eth1"));

    driver.Deliver(Frame(60, 0x01));
    driver.Deliver(Frame(60, 0x02));
    EXPECT_EQ(Receive(), Frame(60, 0x01));
    EXPECT_EQ(Receive(), Frame(60, 0x02));
    EXPECT_EQ(driver.PendingReceives(), 2);
    EXPECT_EQ(driver.calls.back().handle, channel->Handle);
}

TEST_F(PacketChannelTest, RequestThatFailsWhileWaitedForIsNoFrame) {
    ASSERT_TRUE(OpenPacketChannel("eth0"));
    EXPECT_FALSE(Receive());
    driver.failDuringNextWait = true;
    EXPECT_FALSE(Receive());
    EXPECT_EQ(driver.PendingReceives(), 2) << "both slots are posted again";
    driver.Deliver(Frame(60, 0x01));
    EXPECT_EQ(Receive(), Frame(60, 0x01));
}

TEST_F(PacketChannelTest, RefusedReceiveRequestsAreRetriedABoundedNumberOfTimes) {
    ASSERT_TRUE(OpenPacketChannel("eth0"));
    driver.refuseReceives = 1;
    driver.Deliver(Frame(60, 0x01));
    EXPECT_EQ(Receive(), Frame(60, 0x01)) << "one refusal is retried at once";

    // A driver that refuses every request: the receive gives up instead of asking forever.
    ClosePacketChannel();
    ASSERT_TRUE(OpenPacketChannel("eth0"));
    driver.refuseReceives = 1000000;
    const size_t before = driver.calls.size();
    EXPECT_FALSE(Receive(2000, 20));
    EXPECT_LT(driver.calls.size() - before, 20u);

    driver.refuseReceives = 0;
    driver.Deliver(Frame(60, 0x02));
    driver.Deliver(Frame(60, 0x03));
    EXPECT_EQ(Receive(), Frame(60, 0x02)) << "accepted requests later bring frames again";
    EXPECT_EQ(Receive(), Frame(60, 0x03));
}

} // namespace
} // namespace kestrel
