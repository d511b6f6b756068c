#include "tests/support/NetNamespace.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sched.h>
#include <sys/wait.h>

namespace kestrel::test {

namespace {
bool inPrivateNamespace = false;

void Say(std::string* why, const std::string& text) {
    if (why) *why = text;
}
} // namespace

int RunCommand(const std::string& command) {
    const int status = std::system(command.c_str());
    if (status == -1 || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

bool EnterPrivateNetNamespace(std::string* why) {
    if (inPrivateNamespace) return true;
    if (::unshare(CLONE_NEWNET) != 0) {
        Say(why, std::string("cannot create a network namespace: ") + std::strerror(errno));
        return false;
    }
    inPrivateNamespace = true;
    if (RunCommand("ip link set lo up >/dev/null 2>&1") != 0) {
        Say(why, "the ip command is missing (iproute2)");
        return false;
    }
    return true;
}

bool InPrivateNetNamespace() {
    return inPrivateNamespace;
}

bool AddVethPair(const std::string& a, const std::string& b, std::string* why) {
    if (!inPrivateNamespace) {
        Say(why, "refusing to create interfaces outside a private network namespace");
        return false;
    }
    const std::string command = "ip link add " + a + " type veth peer name " + b +
                                " && ip link set " + a + " up && ip link set " + b + " up";
    if (RunCommand(command + " >/dev/null 2>&1") != 0) {
        Say(why, "cannot create veth pair " + a + "/" + b);
        return false;
    }
    return true;
}

void DeleteLink(const std::string& name) {
    if (inPrivateNamespace) RunCommand("ip link del " + name + " >/dev/null 2>&1");
}

std::string MacAddressOf(const std::string& interfaceName) {
    std::ifstream file("/sys/class/net/" + interfaceName + "/address");
    std::string text;
    if (!(file >> text) || text.size() != 17) return {};
    std::string mac;
    for (int i = 0; i < 6; ++i)
        mac.push_back(static_cast<char>(std::stoi(text.substr(i * 3, 2), nullptr, 16)));
    return mac;
}

void SetAbsentComPorts() {
    for (int n = 1; n <= 4; ++n) {
        const std::string name = "KESTREL_COM" + std::to_string(n);
        const std::string path = "/nonexistent/kestrel-test-com" + std::to_string(n);
        ::setenv(name.c_str(), path.c_str(), 1);
    }
}

} // namespace kestrel::test
