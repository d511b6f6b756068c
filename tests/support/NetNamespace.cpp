#include "tests/support/NetNamespace.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

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
    // Asked of the kernel: /sys still shows the namespace it was mounted in.
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return {};
    ifreq request{};
    std::strncpy(request.ifr_name, interfaceName.c_str(), IFNAMSIZ - 1);
    const bool ok = ::ioctl(fd, SIOCGIFHWADDR, &request) == 0;
    ::close(fd);
    if (!ok) return {};
    return std::string(request.ifr_hwaddr.sa_data, 6);
}

void SetAbsentComPorts() {
    for (int n = 1; n <= 4; ++n) {
        const std::string name = "KESTREL_COM" + std::to_string(n);
        const std::string path = "/nonexistent/kestrel-test-com" + std::to_string(n);
        ::setenv(name.c_str(), path.c_str(), 1);
    }
}

} // namespace kestrel::test
