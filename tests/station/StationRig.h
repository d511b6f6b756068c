// The program's side of a station exchange for tests: the serial component on
// a pseudo-terminal, or the packet channel on one end of a veth pair with the
// simulator's stations on the other, and the station table pointed at them.
#pragma once

#include "link/SerialPortDriver.h"
#include "station/StationRecords.h"
#include "tests/sim/SimHarness.h"
#include "tests/support/PtyPeer.h"

#include <memory>
#include <string>
#include <vector>

namespace kestrel::test {

// SerialDrv connected at 19200 bit/s to the path in KESTREL_COM2, the serial
// station current.
class SerialRig {
  public:
    SerialRig();
    ~SerialRig();
    bool Connected() const { return port_.Connected(); }
    TSerialPortDriver& Port() { return port_; }

  private:
    TSerialPortDriver port_;
};

// A pseudo-terminal that the test scripts, published as COM2, with the
// program's port open on it.
class ScriptedSerialLine {
  public:
    ScriptedSerialLine() : published_(Publish(peer)) {}
    bool Ready() const { return published_ && rig.Connected(); }

    PtyPeer peer;

  private:
    static bool Publish(PtyPeer& pty) {
        if (pty.Ok()) pty.SetAsComPort(2);
        return pty.Ok();
    }
    bool published_;

  public:
    SerialRig rig; // opens the port once the pty is published
};

// The simulator's serial station on a new pty, published as COM2.
class SimSerialStation {
  public:
    explicit SimSerialStation(const std::string& station);
    bool Ready() const { return ready_; }
    SimProcess& Sim() { return *sim_; }

  private:
    TempDir dir_;
    std::unique_ptr<SimProcess> sim_;
    bool ready_ = false;
};

inline constexpr const char* ProgramSide = "kpr0";
inline constexpr const char* StationSide = "kpr1";

// A veth pair, the simulator's stations on its far end and the packet
// channel open (filter on) on the near end; row 0 of the table is the
// current station, reached over adapter 0, with the given station address.
class EthernetRig {
  public:
    EthernetRig(const std::vector<std::string>& stations, const MacAddress& current);
    ~EthernetRig();
    // Empty when everything is up, else why not.
    const std::string& Failure() const { return failure_; }
    SimProcess& Sim() { return *sim_; }

  private:
    TempDir dir_;
    std::unique_ptr<SimProcess> sim_;
    std::string failure_;
};

// How often the simulator logged that a station received the command line
// (given as sent, e.g. "AT\r\n").
int CommandsReceived(const std::string& log, const std::string& command);

// A type-1 identity reply frame from the given source, sent on StationSide.
bool SendForeignIdentityReply(const MacAddress& source, const std::string& manufacturer);

} // namespace kestrel::test
