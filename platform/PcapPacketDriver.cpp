#include "platform/PcapPacketDriver.h"

#include "platform/Wait.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <net/if.h>
#include <pcap/pcap.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace kestrel {

namespace {

// Frames longer than a receive buffer are cut by the request, not by the capture.
constexpr int CaptureLength = 65535;

PacketCallResult Done(uint32_t bytes) {
    return {PacketCallStatus::Done, bytes, 0};
}
PacketCallResult Failed(int error) {
    return {PacketCallStatus::Failed, 0, error};
}

void Complete(PacketRequest& request, uint32_t bytes, int error) {
    request.Bytes = bytes;
    request.Error = error;
    request.Completed = true;
    request.Signalled = true;
    request.Output = nullptr;
}

// Capturing and sending raw frames both need a packet socket: whoever may
// open one may use the driver. 0 when allowed, else the error number.
int CheckRawFrameRight() {
    const int fd = ::socket(AF_PACKET, SOCK_RAW | SOCK_CLOEXEC, 0);
    if (fd >= 0) {
        ::close(fd);
        return 0;
    }
    if (errno == EAFNOSUPPORT || errno == EPROTONOSUPPORT) return PacketErrorNotSupported;
    return errno;
}

int ActivationError(int status) {
    switch (status) {
    case PCAP_ERROR_PERM_DENIED:
        return EPERM;
    case PCAP_ERROR_NO_SUCH_DEVICE:
        return ENODEV;
    case PCAP_ERROR_IFACE_NOT_UP:
        return ENETDOWN;
    default:
        return EIO;
    }
}

// The adapter's hardware address, asked of the system on the capture's socket.
bool HardwareAddress(pcap_t* capture, const std::string& adapter, uint8_t (&mac)[6]) {
    ifreq request{};
    if (adapter.size() >= sizeof(request.ifr_name)) return false;
    std::memcpy(request.ifr_name, adapter.c_str(), adapter.size() + 1);
    if (::ioctl(pcap_fileno(capture), SIOCGIFHWADDR, &request) != 0) return false;
    std::memcpy(mac, request.ifr_hwaddr.sa_data, 6);
    return true;
}

} // namespace

PcapPacketDriver::~PcapPacketDriver() {
    // The request records may already be gone at exit: only the captures are released.
    for (auto& entry : devices_)
        ReleaseCapture(entry.second);
}

PacketHandle PcapPacketDriver::OpenDevice(int& error) {
    error = CheckRawFrameRight();
    if (error != 0) return InvalidPacketHandle;
    const PacketHandle handle = nextHandle_++;
    devices_[handle] = Device{};
    return handle;
}

void PcapPacketDriver::CloseDevice(PacketHandle handle) {
    const auto found = devices_.find(handle);
    if (found == devices_.end()) return;
    for (PacketRequest* request : found->second.receives)
        Complete(*request, 0, ECANCELED);
    ReleaseCapture(found->second);
    devices_.erase(found);
}

PacketCallResult PcapPacketDriver::Control(PacketHandle handle, uint32_t code, const uint8_t* input,
                                           uint32_t inputLength, uint8_t* output,
                                           uint32_t outputLength, PacketRequest* request) {
    const auto found = devices_.find(handle);
    if (found == devices_.end()) return Failed(EBADF);
    Device& device = found->second;

    PacketCallResult result = Failed(EINVAL);
    switch (code) {
    case PacketReceiveCode:
        return PostReceive(device, handle, output, outputLength, request);
    case PacketBindCode:
        result = Bind(device, input, inputLength);
        break;
    case PacketReadAddressCode:
        result = ReadAddress(device, input, inputLength, output, outputLength);
        break;
    case PacketEnableFilterCode:
        result = EnableFilter(device);
        break;
    case PacketTransmitCode:
        result = Transmit(device, input, inputLength);
        break;
    default:
        break;
    }
    // Everything but a receive completes during the call; an overlapped caller
    // finds its request completed as well.
    if (request) Complete(*request, result.bytes, result.error);
    return result;
}

PacketCallResult PcapPacketDriver::Bind(Device& device, const uint8_t* input,
                                        uint32_t inputLength) {
    if (!input || inputLength == 0 || input[inputLength - 1] != 0) return Failed(EINVAL);
    const std::string adapter(reinterpret_cast<const char*>(input));
    if (adapter.empty()) return Failed(EINVAL);

    for (PacketRequest* request : device.receives)
        Complete(*request, 0, ECANCELED);
    device.receives.clear();
    ReleaseCapture(device);
    device.failure = 0;

    char message[PCAP_ERRBUF_SIZE] = {};
    pcap_t* capture = pcap_create(adapter.c_str(), message);
    if (!capture) return Failed(ENODEV);
    pcap_set_snaplen(capture, CaptureLength);
    pcap_set_promisc(capture, 0);
    pcap_set_immediate_mode(capture, 1);
    const int status = pcap_activate(capture);
    if (status < 0) {
        pcap_close(capture);
        return Failed(ActivationError(status));
    }
    if (pcap_datalink(capture) != DLT_EN10MB || pcap_setnonblock(capture, 1, message) != 0 ||
        pcap_get_selectable_fd(capture) < 0) {
        pcap_close(capture);
        return Failed(ENOTSUP);
    }
    device.capture = capture;
    device.adapter = adapter;
    return Done(0);
}

PacketCallResult PcapPacketDriver::ReadAddress(Device& device, const uint8_t* input,
                                               uint32_t inputLength, uint8_t* output,
                                               uint32_t outputLength) {
    if (!input || inputLength < 1 || input[0] != 1 || !output) return Failed(EINVAL);
    if (!device.capture) return Failed(ENXIO);
    uint8_t mac[6] = {};
    if (!HardwareAddress(device.capture, device.adapter, mac)) return Failed(errno ? errno : EIO);
    const uint32_t count = std::min<uint32_t>(outputLength, sizeof mac);
    std::memcpy(output, mac, count);
    return Done(count);
}

PacketCallResult PcapPacketDriver::EnableFilter(Device& device) {
    if (!device.capture) return Failed(ENXIO);
    uint8_t mac[6] = {};
    if (!HardwareAddress(device.capture, device.adapter, mac)) return Failed(errno ? errno : EIO);
    char text[96];
    std::snprintf(text, sizeof text,
                  "ether proto 0xaaaa and not ether src %02x:%02x:%02x:%02x:%02x:%02x", mac[0],
                  mac[1], mac[2], mac[3], mac[4], mac[5]);
    bpf_program program{};
    if (pcap_compile(device.capture, &program, text, 1, PCAP_NETMASK_UNKNOWN) != 0)
        return Failed(EINVAL);
    const int status = pcap_setfilter(device.capture, &program);
    pcap_freecode(&program);
    return status == 0 ? Done(0) : Failed(EIO);
}

PacketCallResult PcapPacketDriver::Transmit(Device& device, const uint8_t* input,
                                            uint32_t inputLength) {
    if (!input || inputLength == 0) return Failed(EINVAL);
    if (!device.capture) return Failed(ENXIO);
    errno = 0;
    const int sent = pcap_inject(device.capture, input, inputLength);
    if (sent != static_cast<int>(inputLength)) return Failed(errno ? errno : EIO);
    return Done(inputLength);
}

PacketCallResult PcapPacketDriver::PostReceive(Device& device, PacketHandle handle, uint8_t* output,
                                               uint32_t outputLength, PacketRequest* request) {
    // A receive only makes sense as a request that stays pending.
    if (!request || !output || outputLength == 0) return Failed(EINVAL);
    if (!device.capture) return Failed(ENXIO);
    if (device.failure != 0) return Failed(device.failure);
    *request = PacketRequest{};
    request->Handle = handle;
    request->Output = output;
    request->OutputLength = outputLength;
    device.receives.push_back(request);
    return {PacketCallStatus::Pending, 0, 0};
}

bool PcapPacketDriver::WaitForRequest(PacketRequest& request, int timeoutMs) {
    if (request.Signalled) return true;
    const auto found = devices_.find(request.Handle);
    if (found == devices_.end()) return false;
    Device& device = found->second;
    const auto& queue = device.receives;
    if (std::find(queue.begin(), queue.end(), &request) == queue.end()) return false;

    const uint32_t start = TickCountMs();
    for (;;) {
        const int taken = CompleteArrivedReceives(device);
        if (request.Signalled) return true;
        int left = -1;
        if (timeoutMs >= 0) {
            left = timeoutMs - static_cast<int>(TickCountMs() - start);
            if (left <= 0) return false;
        }
        pollfd ready{pcap_get_selectable_fd(device.capture), POLLIN, 0};
        const int status = PollWithHook(&ready, 1, left);
        if (status < 0) {
            FailDevice(device, errno);
        } else if (status > 0 && taken == 0 && (ready.revents & (POLLERR | POLLHUP | POLLNVAL))) {
            // A broken socket stays ready: without this the wait would spin.
            if (CompleteArrivedReceives(device) == 0) FailDevice(device, ENETDOWN);
        }
    }
}

int PcapPacketDriver::CompleteArrivedReceives(Device& device) {
    int taken = 0;
    while (!device.receives.empty() && device.capture) {
        pcap_pkthdr* header = nullptr;
        const u_char* data = nullptr;
        const int status = pcap_next_ex(device.capture, &header, &data);
        if (status == 0) break;
        if (status != 1) {
            FailDevice(device, ENETDOWN);
            break;
        }
        PacketRequest& request = *device.receives.front();
        device.receives.pop_front();
        const uint32_t count = std::min<uint32_t>(header->caplen, request.OutputLength);
        std::memcpy(request.Output, data, count);
        Complete(request, count, 0);
        ++taken;
    }
    return taken;
}

void PcapPacketDriver::FailDevice(Device& device, int error) {
    device.failure = error != 0 ? error : EIO;
    for (PacketRequest* request : device.receives)
        Complete(*request, 0, device.failure);
    device.receives.clear();
}

void PcapPacketDriver::ReleaseCapture(Device& device) {
    if (device.capture) pcap_close(device.capture);
    device.capture = nullptr;
}

} // namespace kestrel
