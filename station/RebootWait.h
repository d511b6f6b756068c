// The wait for a restarting station: tell it to restart, then poll it until
// it answers or the allowed polls are used up.
#pragma once

#include <cstdint>

namespace kestrel {

// Polls still allowed; set before each wait, counted down by the polls.
extern int32_t RebootPollCount;

// Sends "ATz" and polls the current station: on the serial link by reading
// what it emits, on Ethernet by "AT" command frames. The first poll is always
// made. Returns the modal result: 1 when the station answered, 2 when not.
int PollRebootingStation();

} // namespace kestrel
