#include "tests/packet/InMemoryPacketDriver.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace kestrel::test {

void InMemoryPacketDriver::Deliver(std::vector<uint8_t> frame) {
    if (pending_.empty()) {
        arrived_.push_back(std::move(frame));
        return;
    }
    PacketRequest& request = *pending_.front();
    pending_.pop_front();
    CompleteWith(request, frame);
}

std::vector<ControlCall> InMemoryPacketDriver::CallsWithCode(uint32_t code) const {
    std::vector<ControlCall> found;
    for (const ControlCall& call : calls)
        if (call.code == code) found.push_back(call);
    return found;
}

PacketHandle InMemoryPacketDriver::OpenDevice(int& error) {
    error = openError;
    if (openError != 0) return InvalidPacketHandle;
    open_.push_back(nextHandle_);
    return nextHandle_++;
}

void InMemoryPacketDriver::CloseDevice(PacketHandle handle) {
    closed.push_back(handle);
    std::erase(open_, handle);
    for (auto it = pending_.begin(); it != pending_.end();) {
        if ((*it)->Handle != handle) {
            ++it;
            continue;
        }
        PacketRequest& request = **it;
        request.Completed = request.Signalled = true;
        request.Error = ECANCELED;
        request.Bytes = 0;
        it = pending_.erase(it);
    }
}

PacketCallResult InMemoryPacketDriver::Control(PacketHandle handle, uint32_t code,
                                               const uint8_t* input, uint32_t inputLength,
                                               uint8_t* output, uint32_t outputLength,
                                               PacketRequest* request) {
    ControlCall call{handle, code, {}, outputLength, request != nullptr, output};
    if (input) call.input.assign(input, input + inputLength);
    calls.push_back(call);
    if (std::find(open_.begin(), open_.end(), handle) == open_.end())
        return {PacketCallStatus::Failed, 0, EBADF};

    PacketCallResult result{PacketCallStatus::Done, 0, 0};
    switch (code) {
    case PacketReceiveCode:
        if (refuseReceives > 0) {
            --refuseReceives;
            return {PacketCallStatus::Failed, 0, ENOBUFS};
        }
        *request = PacketRequest{};
        request->Handle = handle;
        request->Output = output;
        request->OutputLength = outputLength;
        if (!arrived_.empty()) {
            CompleteWith(*request, arrived_.front());
            arrived_.pop_front();
        } else {
            pending_.push_back(request);
        }
        return {PacketCallStatus::Pending, 0, 0};
    case PacketReadAddressCode:
        std::memcpy(output, address.data(), std::min<uint32_t>(outputLength, 6));
        result.bytes = addressBytes;
        break;
    case PacketEnableFilterCode:
        if (!acceptFilter) result = {PacketCallStatus::Failed, 0, EIO};
        break;
    case PacketTransmitCode:
        if (!acceptTransmit) {
            result = {PacketCallStatus::Failed, 0, EIO};
            break;
        }
        transmitted.emplace_back(input, input + inputLength);
        // A transmit completes later, like a real one waiting for the wire.
        if (request) {
            *request = PacketRequest{};
            request->Completed = request->Signalled = true;
            request->Bytes = inputLength;
            return {PacketCallStatus::Pending, 0, 0};
        }
        result.bytes = inputLength;
        break;
    default:
        break;
    }
    return result;
}

bool InMemoryPacketDriver::WaitForRequest(PacketRequest& request, int) {
    waitedFor.push_back(&request);
    if (failDuringNextWait) {
        failDuringNextWait = false;
        for (PacketRequest* pending : pending_) {
            pending->Completed = pending->Signalled = true;
            pending->Error = ENETDOWN;
            pending->Bytes = 0;
        }
        pending_.clear();
    }
    if (request.Signalled) return true;
    ++waitsThatTimedOut;
    return false;
}

void InMemoryPacketDriver::CompleteWith(PacketRequest& request, const std::vector<uint8_t>& frame) {
    const uint32_t count =
        std::min<uint32_t>(static_cast<uint32_t>(frame.size()), request.OutputLength);
    std::memcpy(request.Output, frame.data(), count);
    request.Bytes = count;
    request.Error = 0;
    request.Completed = request.Signalled = true;
}

} // namespace kestrel::test
