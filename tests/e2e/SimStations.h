// kestrel-sim for the end-to-end tests: the stations sit in a network
// namespace of the simulator's own, at the far ends of veth pairs whose near
// ends stay with the test, so that the program's adapter list holds exactly
// the test's adapters. The namespace and the veths vanish with the simulator.
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

namespace kestrel::test {

struct SimSetup {
    // Near ends of the veth pairs; the far end of "ke0" is StationSide("ke0").
    std::vector<std::string> adapters{};
    // Plays the serial station on a pseudo-terminal when true.
    bool serial = false;
    // "--station" values; Ethernet links name far ends.
    std::vector<std::string> stations{};
    // The simulator program; empty: the one built with the tests.
    std::string simulator{};
};

std::string StationSide(const std::string& adapter);

class SimStations {
  public:
    explicit SimStations(const SimSetup& setup);
    ~SimStations();
    SimStations(const SimStations&) = delete;
    SimStations& operator=(const SimStations&) = delete;

    // True once every station plays; else why not.
    bool Ready(std::string* why = nullptr) const { return ready_ ? true : (Say(why), false); }
    // The serial station's pseudo-terminal (a symlink), "" without one.
    const std::string& SerialPath() const { return serialPath_; }
    std::vector<std::string> LogLines() const;
    // Log lines that contain every one of the given texts.
    int CountLines(const std::vector<std::string>& texts) const;

  private:
    void Start(const SimSetup& setup);
    void Say(std::string* why) const {
        if (why) *why = problem_;
    }

    std::vector<std::string> adapters_;
    std::string dir_;
    std::string logPath_;
    std::string serialPath_;
    pid_t pid_ = -1;
    bool ready_ = false;
    std::string problem_;
};

// Points KESTREL_COM1 at path and the other three at paths that do not exist.
void SetComPortsTo(const std::string& path);

} // namespace kestrel::test
