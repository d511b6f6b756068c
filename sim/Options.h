// The simulator's command line.
#pragma once

#include "sim/StationSetup.h"

#include <string>
#include <vector>

namespace kestrel::sim {

struct Options {
    std::string logPath;
    std::string serialPath;
    long serialSpeed = 19200;
    bool linePacing = false;
    bool help = false;
    std::vector<StationSetup> stations;
};

// False with the reason in *why on a bad command line.
bool ParseOptions(int argc, char** argv, Options* options, std::string* why);
// One --station argument: key=value pairs separated by commas ("\," is a
// comma inside a value). index numbers the station for its defaults.
bool ParseStation(const std::string& text, int index, StationSetup* setup, std::string* why);

extern const char* const HelpText;

} // namespace kestrel::sim
