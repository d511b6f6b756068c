// The far end of a serial line for tests: a pseudo-terminal pair whose slave
// the program opens as a COM port (SetAsComPort puts its path in
// KESTREL_COM<n>) while the test plays the station on the master.
//
//   PtyPeer peer;                       // check peer.Ok()
//   peer.SetAsComPort(2);               // COM2 is now this pty
//   peer.Answer("AT\r\n", "OK\r\n", 19200);   // only while the line is at 19200
//   ... program talks to COM2 ...
//   peer.Received();                    // everything the program sent
//
// Line() reads what the program programmed on the slave straight from the
// terminal (TCGETS2 on the master), not from any record of the program's.
//
// Without a script, Read/ReadFor/Write work on the master directly. Once
// Answer added a rule, a thread owns the master's input: use
// Received() and Write() then, not Read.
#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace kestrel::test {

struct PtyLine {
    int inputSpeed = 0;  // bit/s
    int outputSpeed = 0; // bit/s
    int dataBits = 0;    // 5 .. 8
    bool twoStopBits = false;
    bool parity = false;      // PARENB
    bool oddParity = false;   // PARODD
    bool stickParity = false; // CMSPAR (mark or space)
    bool rtsCts = false;      // CRTSCTS
    bool xon = false;         // IXON
    bool xoff = false;        // IXOFF
    bool raw = false;         // no ICANON, ECHO, ISIG, OPOST, ICRNL
    bool receiver = false;    // CREAD
};

class PtyPeer {
  public:
    PtyPeer();
    ~PtyPeer();
    PtyPeer(const PtyPeer&) = delete;
    PtyPeer& operator=(const PtyPeer&) = delete;

    bool Ok() const { return master_ >= 0; }
    const std::string& SlavePath() const { return slavePath_; }
    // Sets KESTREL_COM<number> to the slave's path; the destructor puts the
    // variable back as it was.
    void SetAsComPort(int number);

    // The slave's settings as the terminal holds them.
    PtyLine Line() const;

    // Writes all bytes to the master (what the program reads).
    bool Write(const std::string& bytes);
    // Up to max bytes that arrived within timeoutMs (waits only while nothing came).
    std::string Read(size_t max, int timeoutMs);
    // Everything that arrives until the line has been quiet for quietMs.
    std::string ReadFor(int quietMs);

    // Script: whenever `when` has arrived (searched in what came since the last
    // match), send `reply` - only while the slave's speed is atSpeed when that
    // is not 0. Rules are tried in the order added. Starts the script thread.
    void Answer(const std::string& when, const std::string& reply, int atSpeed = 0);
    // Everything the program sent since the script started.
    std::string Received() const;
    void StopScript();

  private:
    struct Rule {
        std::string when;
        std::string reply;
        int atSpeed;
    };
    void RunScript();
    void ApplyRules();

    int master_ = -1;
    int slaveHold_ = -1;
    int wake_[2] = {-1, -1};
    std::string slavePath_;
    std::vector<std::pair<std::string, std::optional<std::string>>> savedVariables_;
    mutable std::mutex mutex_;
    std::vector<Rule> rules_;
    std::string received_;
    size_t searchFrom_ = 0;
    std::thread script_;
};

} // namespace kestrel::test
