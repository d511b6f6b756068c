// A simulated station: its settings, password session and access list, the
// AT command set, the identity reply and the firmware upgrade it drives.
#pragma once

#include "sim/EventLoop.h"
#include "sim/Link.h"
#include "sim/Log.h"
#include "sim/StationSetup.h"
#include "sim/Upgrade.h"

#include <memory>
#include <optional>
#include <string>

namespace kestrel::sim {

class Station {
  public:
    Station(StationSetup setup, EventLoop& loop, Log& log);

    const StationSetup& Setup() const { return setup_; }
    const std::string& Name() const { return setup_.name; }
    Mac StationAddress() const { return setup_.stationAddress.value_or(setup_.mac); }
    void AddLink(Link* link) { links_.push_back(link); }

    // One AT command line as received, line end included; peer is the
    // program's address (Ethernet replies go there).
    void OnCommandLine(Link& link, const std::string& line, const Mac& peer);
    // A frame of this protocol (first marker checked by the caller).
    void OnFrame(Link& link, const Bytes& frame);
    // Serial input that arrived while the station was not listening.
    void Note(Link& link, const std::string& event) { log_.Line(Name(), link.Name(), "--", event); }

  private:
    struct Answer {
        std::optional<std::string> text; // without line end; nothing: no answer
        bool restart = false;
        bool store = false;
    };

    bool Listening(Link& link, const std::string& what);
    Answer Execute(Link& link, const std::string& command);
    Answer ExecuteAccessControl(const std::string& rest);
    Answer ExecuteSession(const std::string& rest);
    Answer ExecutePasswordChange(const std::string& rest);
    std::string NetworkTypeAnswer() const;
    std::string AddressText() const;
    std::string EssidAnswer() const;
    std::string AccessListAnswer() const;
    bool ChannelAllowed(int channel) const;

    void SendAnswer(Link& link, const std::string& text, const Mac& peer);
    void SendStationFrame(Link& link, Bytes frame, const std::string& event);
    void SendIdentity(Link& link, const Mac& peer);
    void OnUpgradeRequest(Link& link, const Mac& peer);
    bool AcceptsFrameTo(const Link& link, const Mac& destination, std::uint16_t marker,
                        std::uint16_t type) const;

    void Restart(const std::string& why);

    StationSetup setup_;
    EventLoop& loop_;
    Log& log_;
    std::vector<Link*> links_;

    Settings current_;
    Settings stored_;
    bool session_ = false;
    bool restarting_ = false;
    std::unique_ptr<Upgrade> upgrade_;
    Link* upgradeLink_ = nullptr;
};

} // namespace kestrel::sim
