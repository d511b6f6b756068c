// Stations on one network interface, through a packet socket bound to it.
// Only frames whose bytes 12-13 are AA AA reach the stations; frames are sent
// nowhere but on this interface.
#pragma once

#include "sim/EventLoop.h"
#include "sim/Link.h"
#include "sim/Log.h"

#include <string>
#include <vector>

namespace kestrel::sim {

class Station;

class EthernetPort : public Link {
  public:
    EthernetPort(EventLoop& loop, Log& log, std::string interfaceName);
    ~EthernetPort() override;

    bool Open(std::string* why);
    void Attach(Station* station) { stations_.push_back(station); }

    const std::string& Name() const override { return name_; }
    bool IsSerial() const override { return false; }
    bool CanSend() override { return fd_ >= 0; }
    std::size_t SendFrame(const Bytes& frame, SendFlags flags) override;
    void SendText(const std::string&) override {}

  private:
    void OnReadable();

    EventLoop& loop_;
    Log& log_;
    std::string name_;
    int fd_ = -1;
    std::vector<Station*> stations_;
};

} // namespace kestrel::sim
