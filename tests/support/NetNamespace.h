// Test fixtures that keep frames off the machine's real interfaces: a private
// network namespace for the test process and veth pairs inside it. The
// namespace goes away with the process, and the veths with it.
#pragma once

#include <string>

namespace kestrel::test {

// Moves the calling process (call it first in main, before any thread starts)
// into a network namespace of its own with only loopback. False, with the
// reason in *why, when the system refuses (not root).
bool EnterPrivateNetNamespace(std::string* why = nullptr);

// True when the process has entered a private namespace through the call above.
bool InPrivateNetNamespace();

// Creates the veth pair a <-> b in the current namespace, both ends up.
bool AddVethPair(const std::string& a, const std::string& b, std::string* why = nullptr);
void DeleteLink(const std::string& name);

// The interface's MAC address as six bytes in a string ("" when unknown).
std::string MacAddressOf(const std::string& interfaceName);

// Points KESTREL_COM1 to KESTREL_COM4 at paths that do not exist, so that no
// test opens a serial port of the machine.
void SetAbsentComPorts();

// Runs a shell command, returns its exit status.
int RunCommand(const std::string& command);

} // namespace kestrel::test
