#include "sim/Upgrade.h"

#include "sim/Crc16.h"
#include "sim/Frames.h"

#include <cstdio>
#include <fstream>

namespace kestrel::sim {

namespace {
// A station has limited flash; larger sizes are refused rather than allocated.
constexpr std::uint32_t LargestImage = 32u * 1024u * 1024u;
} // namespace

Upgrade::Upgrade(EventLoop& loop, UpgradeSettings settings, Mac self, Mac peer, Send send,
                 Note note)
    : loop_(loop), settings_(std::move(settings)), self_(self), peer_(peer), send_(std::move(send)),
      note_(std::move(note)) {}

Upgrade::~Upgrade() {
    StopTimers();
}

void Upgrade::StopTimers() {
    loop_.Cancel(retryTimer_);
    loop_.Cancel(paceTimer_);
    retryTimer_ = paceTimer_ = 0;
}

void Upgrade::Begin() {
    phase_ = Phase::AwaitSize;
    SendRequest(NewFrame(HeaderSize, peer_, self_, TransferMarker, TypeSizeRequest),
                "size-request");
}

void Upgrade::SendRequest(Bytes frame, std::string event) {
    pending_ = std::move(frame);
    pendingEvent_ = std::move(event);
    retries_ = 0;
    send_(pending_, pendingEvent_);
    loop_.Cancel(retryTimer_);
    retryTimer_ = loop_.After(std::chrono::milliseconds(settings_.retryMs), [this] {
        retryTimer_ = 0;
        OnRetryTimer();
    });
}

void Upgrade::OnRetryTimer() {
    if (phase_ != Phase::AwaitSize && phase_ != Phase::AwaitBlock && phase_ != Phase::AwaitEndAck)
        return;
    if (retries_ >= settings_.maxRetries) {
        phase_ = Phase::Abandoned;
        note_("upgrade-abandoned unanswered=" + pendingEvent_);
        return;
    }
    ++retries_;
    send_(pending_, pendingEvent_ + " retry=" + std::to_string(retries_));
    retryTimer_ = loop_.After(std::chrono::milliseconds(settings_.retryMs), [this] {
        retryTimer_ = 0;
        OnRetryTimer();
    });
}

void Upgrade::OnTransferFrame(const Bytes& frame) {
    const std::uint16_t type = ReadU16(frame, 16);
    if (type == TypeSizeReply)
        OnSizeReply(frame);
    else if (type == TypeBlockReply)
        OnBlockReply(frame);
    else if (type == TypeTransferEnd)
        OnEndAck(frame);
    else
        note_("ignored transfer-frame type=" + std::to_string(type));
}

void Upgrade::OnSizeReply(const Bytes& frame) {
    if (phase_ != Phase::AwaitSize) {
        note_("ignored size-reply (not asked for)");
        return;
    }
    if (frame.size() < HeaderSize + 4) {
        note_("ignored size-reply (too short)");
        return;
    }
    const std::uint32_t size = ReadU32(frame, 18);
    StopTimers();
    if (size > LargestImage) {
        phase_ = Phase::Abandoned;
        note_("upgrade-abandoned size=" + std::to_string(size) + " (too large)");
        return;
    }
    image_.assign(size, 0);
    received_ = 0;
    blocks_ = 0;
    phase_ = Phase::AwaitBlock;
    RequestNext();
}

void Upgrade::RequestNext() {
    const auto ask = [this] {
        paceTimer_ = 0;
        if (received_ >= image_.size()) {
            CompleteImage();
            return;
        }
        expectedLength_ = std::min<std::size_t>(static_cast<std::size_t>(settings_.blockSize),
                                                image_.size() - received_);
        Bytes request = NewFrame(24, peer_, self_, TransferMarker, TypeBlockRequest);
        WriteU32(request, 18, static_cast<std::uint32_t>(received_));
        WriteU16(request, 22, static_cast<std::uint16_t>(expectedLength_));
        SendRequest(std::move(request), "block-request offset=" + std::to_string(received_) +
                                            " length=" + std::to_string(expectedLength_));
    };
    if (settings_.paceMs > 0)
        paceTimer_ = loop_.After(std::chrono::milliseconds(settings_.paceMs), ask);
    else
        ask();
}

void Upgrade::OnBlockReply(const Bytes& frame) {
    if (phase_ != Phase::AwaitBlock || paceTimer_ != 0) {
        note_("ignored block-reply (not asked for)");
        return;
    }
    const std::uint32_t offset = ReadU32(frame, 18);
    const auto length = static_cast<std::int16_t>(ReadU16(frame, 22));
    if (frame.size() < 24 || offset != received_ || length < 0 ||
        static_cast<std::size_t>(length) != expectedLength_) {
        note_("ignored block-reply offset=" + std::to_string(offset) +
              " length=" + std::to_string(length) + " (asked offset=" + std::to_string(received_) +
              " length=" + std::to_string(expectedLength_) + ")");
        return;
    }
    if (frame.size() < 24 + expectedLength_) {
        note_("ignored block-reply (shorter than its length)");
        return;
    }
    StopTimers();
    std::copy(frame.begin() + 24, frame.begin() + 24 + static_cast<std::ptrdiff_t>(expectedLength_),
              image_.begin() + static_cast<std::ptrdiff_t>(received_));
    received_ += expectedLength_;
    ++blocks_;
    if (settings_.stallAfterBlocks >= 0 && blocks_ >= settings_.stallAfterBlocks) {
        phase_ = Phase::Stalled;
        note_("upgrade-stalled blocks=" + std::to_string(blocks_) + " (fault)");
        return;
    }
    RequestNext();
}

void Upgrade::CompleteImage() {
    const bool crcOk = ImageCheckValueMatches(image_.data(), image_.size());
    std::string event =
        "upgrade-received size=" + std::to_string(image_.size()) + " crc=" + (crcOk ? "ok" : "bad");
    if (!settings_.imageOut.empty()) {
        // Written beside and renamed, so a reader never sees half an image.
        const std::string partial = settings_.imageOut + ".part";
        std::ofstream out(partial, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(image_.data()),
                  static_cast<std::streamsize>(image_.size()));
        out.close();
        const bool written = out && std::rename(partial.c_str(), settings_.imageOut.c_str()) == 0;
        event += written ? " image=" + settings_.imageOut : " image-write-failed";
    }
    note_(event);
    phase_ = Phase::AwaitEndAck;
    SendRequest(NewFrame(HeaderSize, peer_, self_, TransferMarker, TypeTransferEnd),
                "transfer-end");
}

void Upgrade::OnEndAck(const Bytes& frame) {
    if (phase_ != Phase::AwaitEndAck) {
        note_("ignored transfer-end-ack (not asked for)");
        return;
    }
    if (frame.size() < HeaderSize + 2 || ReadU16(frame, 18) != 1) {
        note_("ignored transfer-end-ack value=" + std::to_string(ReadU16(frame, 18)));
        return;
    }
    StopTimers();
    phase_ = Phase::Done;
    note_("upgrade-finished");
}

} // namespace kestrel::sim
