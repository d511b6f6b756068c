// The station's side of a firmware upgrade: once the program has accepted
// to serve it, the station asks for the size, then for each block in order,
// asks again when a request goes unanswered, checks the image's trailing
// CRC and reports the end.
#pragma once

#include "sim/Bytes.h"
#include "sim/EventLoop.h"

#include <functional>
#include <string>

namespace kestrel::sim {

struct UpgradeSettings {
    int blockSize = 1024;
    int retryMs = 3000;
    int paceMs = 0;
    int maxRetries = 10;
    int stallAfterBlocks = -1;
    std::string imageOut;
};

class Upgrade {
  public:
    // send: puts a station frame on the link and logs it under the given name.
    // note: logs an event of the transfer.
    using Send = std::function<void(const Bytes& frame, const std::string& event)>;
    using Note = std::function<void(const std::string& event)>;

    Upgrade(EventLoop& loop, UpgradeSettings settings, Mac self, Mac peer, Send send, Note note);
    ~Upgrade();
    Upgrade(const Upgrade&) = delete;
    Upgrade& operator=(const Upgrade&) = delete;

    void Begin();
    // A transfer frame (second marker 0xF555) addressed to the station.
    void OnTransferFrame(const Bytes& frame);
    bool Finished() const { return phase_ == Phase::Done; }

  private:
    enum class Phase { AwaitSize, AwaitBlock, AwaitEndAck, Done, Stalled, Abandoned };

    void OnSizeReply(const Bytes& frame);
    void OnBlockReply(const Bytes& frame);
    void OnEndAck(const Bytes& frame);
    void RequestNext();
    void SendRequest(Bytes frame, std::string event);
    void OnRetryTimer();
    void CompleteImage();
    void StopTimers();

    EventLoop& loop_;
    UpgradeSettings settings_;
    Mac self_;
    Mac peer_;
    Send send_;
    Note note_;

    Phase phase_ = Phase::AwaitSize;
    Bytes image_;
    std::size_t received_ = 0;
    std::size_t expectedLength_ = 0;
    int blocks_ = 0;
    int retries_ = 0;
    Bytes pending_;
    std::string pendingEvent_;
    EventLoop::TimerId retryTimer_ = 0;
    EventLoop::TimerId paceTimer_ = 0;
};

} // namespace kestrel::sim
