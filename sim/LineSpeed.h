// The speed the far end of a pseudo-terminal is set to, read through its
// master. Kept in a unit of its own: <asm/termbits.h> and <termios.h>
// cannot meet in one file.
#pragma once

namespace kestrel::sim {

// Bits per second of the slave's output speed, or -1 when unreadable.
long SlaveLineSpeed(int masterFd);

} // namespace kestrel::sim
