#include "link/PacketChannel.h"

#include "platform/MessageBox.h"
#include "platform/PcapPacketDriver.h"
#include "platform/Wait.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace kestrel {

TPacketChannel* PacketChannel = nullptr;

namespace {

// A driver that keeps refusing receive requests must not hold the thread
// forever: each receive gives it this many tries per slot.
constexpr int ReceiveIssueAttempts = 3;

struct ReceiveSlot {
    std::array<uint8_t, ReceiveSlotSize> Buffer{};
    PacketRequest Request;
    bool Issued = false;     // a request of this slot is at the driver (pending or completed)
    uint64_t IssueOrder = 0; // when it was issued: the driver completes requests in this order
};

// Shared by every open of the channel: armed on the first receive, then one
// request per slot stays posted at the driver for the rest of the run.
struct ReceiveMachinery {
    std::array<ReceiveSlot, 2> Slots;
    bool Armed = false;
    int Turn = 0;
    uint64_t IssuedCount = 0;
};

ReceiveMachinery receive;
PacketDriver* chosenDriver = nullptr;

PacketDriver& Driver() {
    if (chosenDriver) return *chosenDriver;
    static PcapPacketDriver pcapDriver;
    return pcapDriver;
}

PacketHandle ChannelHandle() {
    return PacketChannel ? PacketChannel->Handle : InvalidPacketHandle;
}

// An overlapped call that the caller waits for (bind, transmit).
bool OverlappedCall(uint32_t code, const uint8_t* input, uint32_t inputLength, uint8_t* output,
                    uint32_t outputLength, uint32_t& bytes) {
    PacketRequest request;
    const PacketCallResult result =
        Driver().Control(ChannelHandle(), code, input, inputLength, output, outputLength, &request);
    if (result.status == PacketCallStatus::Done) {
        bytes = result.bytes;
        return true;
    }
    if (result.status == PacketCallStatus::Pending)
        return RequestResult(Driver(), request, bytes, true);
    return false;
}

void BindAdapter(const std::string& adapterName) {
    // The driver takes the name zero-terminated, the zero counted in the length.
    std::vector<uint8_t> name(adapterName.begin(), adapterName.end());
    name.push_back(0);
    uint32_t bytes = 0;
    OverlappedCall(PacketBindCode, name.data(), static_cast<uint32_t>(name.size()), nullptr, 0,
                   bytes);
}

void IssueReceive(ReceiveSlot& slot) {
    for (int attempt = 0; attempt < ReceiveIssueAttempts; ++attempt) {
        slot.Request = PacketRequest{};
        const PacketCallResult result =
            Driver().Control(ChannelHandle(), PacketReceiveCode, slot.Buffer.data(),
                             ReceiveSlotSize, slot.Buffer.data(), ReceiveSlotSize, &slot.Request);
        if (result.status != PacketCallStatus::Failed) {
            slot.Issued = true;
            slot.IssueOrder = ++receive.IssuedCount;
            return;
        }
    }
    slot.Issued = false;
}

void ArmReceiveSlots() {
    receive.Armed = true;
    IssueReceive(receive.Slots[0]);
    IssueReceive(receive.Slots[1]);
}

bool HoldsFailedRequest(const ReceiveSlot& slot) {
    return slot.Issued && slot.Request.Completed && slot.Request.Error != 0;
}

// Posts again the slots that have no usable request (refused earlier, or
// ended without a frame, as when the handle they were posted on closed), the
// slot whose turn it is first. The turn then goes to the slot posted earlier:
// its request is the one the driver completes first, which keeps the frames
// in their order of arrival.
void RepostIdleSlots() {
    ReceiveSlot& first = receive.Slots[receive.Turn];
    ReceiveSlot& second = receive.Slots[1 - receive.Turn];
    if (!first.Issued || HoldsFailedRequest(first)) IssueReceive(first);
    if (!second.Issued || HoldsFailedRequest(second)) IssueReceive(second);
    if (!first.Issued || (second.Issued && second.IssueOrder < first.IssueOrder))
        receive.Turn = 1 - receive.Turn;
}

int RemainingMs(uint32_t start, int timeoutMs) {
    return std::max(0, timeoutMs - static_cast<int>(TickCountMs() - start));
}

void ShowOpenError(int error) {
    const std::string text = error == PacketErrorNotSupported
                                 ? std::string("Unable to open PktDrv.VxD")
                                 : "Unable to open VxD, Error code:" + std::to_string(error);
    ShowMessage(text, PacketChannelMessageTitle, MessageIcon::None);
}

} // namespace

bool OpenPacketChannel(const std::string& adapterName) {
    if (!PacketChannel) return false;
    TPacketChannel& channel = *PacketChannel;
    if (channel.Open) Driver().CloseDevice(channel.Handle);
    channel.Open = false;
    channel.Handle = InvalidPacketHandle;

    int error = 0;
    const PacketHandle handle = Driver().OpenDevice(error);
    if (handle == InvalidPacketHandle) {
        ShowOpenError(error);
        return false;
    }
    channel.Handle = handle;
    BindAdapter(adapterName);
    if (ReadAdapterAddress()) {
        channel.Open = true;
        return true;
    }
    Driver().CloseDevice(handle);
    channel.Handle = InvalidPacketHandle;
    return false;
}

void ClosePacketChannel() {
    if (!PacketChannel || !PacketChannel->Open) return;
    PacketChannel->Open = false;
    Driver().CloseDevice(PacketChannel->Handle);
    PacketChannel->Handle = InvalidPacketHandle;
}

bool ReadAdapterAddress() {
    if (!PacketChannel) return false;
    std::array<uint8_t, 6>& address = PacketChannel->AdapterAddress;
    address.fill(0);
    const uint8_t query = 1;
    const PacketCallResult result =
        Driver().Control(ChannelHandle(), PacketReadAddressCode, &query, 1, address.data(),
                         static_cast<uint32_t>(address.size()), nullptr);
    if (result.status != PacketCallStatus::Done || result.bytes == 0) return false;
    // Only the first four bytes tell a missing address; the last two may be zero.
    return address[0] != 0 || address[1] != 0 || address[2] != 0 || address[3] != 0;
}

bool EnablePacketFilter() {
    const PacketCallResult result =
        Driver().Control(ChannelHandle(), PacketEnableFilterCode, nullptr, 0, nullptr, 0, nullptr);
    return result.status == PacketCallStatus::Done;
}

bool SendPacket(const uint8_t* frame, int length) {
    if (!frame || length <= 0) return false;
    // The driver gets the frame as its output buffer too; it works on a copy.
    std::vector<uint8_t> buffer(frame, frame + length);
    uint32_t bytes = 0;
    return OverlappedCall(PacketTransmitCode, buffer.data(), static_cast<uint32_t>(length),
                          buffer.data(), static_cast<uint32_t>(length), bytes);
}

bool ReceivePacket(uint8_t* buffer, int& length, int timeoutMs) {
    const uint32_t start = TickCountMs();
    const int room = buffer ? std::max(length, 0) : 0;
    if (!receive.Armed) ArmReceiveSlots();

    for (int failures = 0; failures < ReceiveIssueAttempts; ++failures) {
        RepostIdleSlots();
        ReceiveSlot& slot = receive.Slots[receive.Turn];
        if (!slot.Issued) break;
        if (!Driver().WaitForRequest(slot.Request, RemainingMs(start, timeoutMs))) return false;
        slot.Request.Signalled = false;
        uint32_t bytes = 0;
        // A request that ended without a frame is no frame: post it again and keep waiting.
        if (!RequestResult(Driver(), slot.Request, bytes, false)) continue;
        const int taken =
            std::min({static_cast<int>(std::min<uint32_t>(bytes, ReceiveSlotSize)), room});
        if (taken > 0) std::memcpy(buffer, slot.Buffer.data(), static_cast<size_t>(taken));
        length = taken;
        IssueReceive(slot);
        receive.Turn = 1 - receive.Turn;
        return true;
    }
    // No request could be posted: the caller still gets its whole wait, so a
    // loop of receives does not spin.
    SleepMs(RemainingMs(start, timeoutMs));
    return false;
}

void DrainPackets() {
    if (!PacketChannel || !PacketChannel->Open) return;
    // The capture queue holds more than the two posted requests: stations
    // that answered a discovery after it had stopped listening leave their
    // replies there, and the next command would take one as its answer. Take
    // frames until none is waiting, but never without end.
    for (int taken = 0; taken < MaxDrainedFrames; ++taken) {
        int length = 0;
        if (!ReceivePacket(nullptr, length, DrainWaitMs)) return;
    }
}

void SetPacketDriver(PacketDriver* driver) {
    ClosePacketChannel();
    chosenDriver = driver;
    receive = ReceiveMachinery{};
}

} // namespace kestrel
