// The driver's entry points: the NI-488.2 calls the program binds, each on a USBTMC adapter's
// node of the kernel's usbtmc driver (/dev/usbtmcN). The node is USBTMC_DEVICE's: a node's path,
// or a USB resource string looked up in sysfs; /dev/usbtmc0 when it names none. A write is one
// USBTMC message whose last transfer carries EOM; a read gathers the device's transfers until
// one carries EOM or the caller's count is met. The status word, error code and count of the
// last call are kept per thread; a failed system call reports EDVR with errno as the count.
#include <fcntl.h>
#include <linux/usb/tmc.h>
#include <sys/ioctl.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <string>

#include "adapters/usbtmc/device_calls.h"
#include "adapters/usbtmc/usbtmc_nodes.h"

#define USBTMC_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

using namespace usbtmc;

// The NI-488.2 status word bits and error codes this driver reports.
constexpr int ERR = 0x8000;
constexpr int TMO = 0x4000;
constexpr int END = 0x2000;
constexpr int CMPL = 0x0100;
constexpr int EDVR = 0;
constexpr int EARG = 4;
constexpr int EABO = 6;
constexpr int ECAP = 11;

// The time-out codes TNONE, T10us .. T1000s in milliseconds; the kernel takes no limit below
// 100 ms, and TNONE is the longest it can hold.
constexpr int kTimeoutCodes = 18;
constexpr uint32_t kTimeoutMs[kTimeoutCodes] = {UINT32_MAX, 100,   100,   100,    100,    100,
                                                100,        100,   100,   100,    300,    1000,
                                                3000,       10000, 30000, 100000, 300000, 1000000};
constexpr uint8_t kEndOfMessage = 0x01;  // bmTransferAttributes' EOM bit

thread_local int Last_status = 0;
thread_local int Last_error = 0;
thread_local long Last_count = 0;

int Finish(int status, int error, long count) {
    Last_status = status | CMPL;
    Last_error = (status & ERR) != 0 ? error : 0;
    Last_count = count;
    return Last_status;
}

int Fail(int error, const std::string& why, long count = 0) {
    std::fprintf(stderr, "libgpib_usbtmc: %s\n", why.c_str());
    return Finish(ERR, error, count);
}

struct Device {
    int fd = -1;
    std::string node;
};

struct State {
    std::mutex mutex;
    std::map<int, Device> devices;
    int last_descriptor = 0;

    State() = default;
    State(const State&) = delete;
    State& operator=(const State&) = delete;
    // Released without being taken offline: the nodes are closed.
    ~State() {
        for (const auto& [ud, device] : devices) Device_calls().close(device.fd);
    }
    Device* find(int ud) {
        const auto it = devices.find(ud);
        return it == devices.end() ? nullptr : &it->second;
    }
};

State Usbtmc;

// A system call failed: its errno as the count, the reason on standard error.
int System_failure(const std::string& what, const std::string& node, int error_number,
                   long done = 0) {
    if (error_number == ETIMEDOUT)
        return Finish(ERR | TMO, EABO, done);
    std::string why = what + " " + node + ": " + std::strerror(error_number);
    if (error_number == ENODEV || error_number == ESHUTDOWN)
        why += " (the adapter was unplugged)";
    return Fail(EDVR, why, error_number);
}

std::string Remedy_for_open(int error_number) {
    if (error_number == EACCES || error_number == EPERM)
        return "; the package's udev rule gives the plugdev group access to USBTMC devices: "
               "join the group (sudo usermod -aG plugdev $USER), log in again and plug the "
               "adapter in again";
    if (error_number == ENOENT)
        return "; is the adapter plugged in, and does the kernel's usbtmc driver serve it?";
    return {};
}

// The node USBTMC_DEVICE names, or the reason it names none.
bool Node_to_open(std::string& node, std::string& reason) {
    const char* named = std::getenv("USBTMC_DEVICE");
    std::string text = named != nullptr && *named != '\0' ? named : "";
    if (text.empty()) {
        node = std::string(Device_calls().dev_dir) + "/usbtmc0";
        return true;
    }
    if (text.rfind("USBTMC::", 0) == 0) {
        text = text.substr(8);
        if (const auto end = text.find("::"); end != std::string::npos)
            text.resize(end);
    }
    if (text.rfind("/", 0) == 0) {
        node = text;
        return true;
    }
    const NodeLookup found = Find_node(Device_calls(), text);
    if (!found.node) {
        reason = found.reason;
        return false;
    }
    node = found.node->path;
    return true;
}

int Unknown_descriptor(const char* call, int ud) {
    return Fail(EDVR, std::string(call) + ": no open device " + std::to_string(ud));
}

void Board_call(const char* call) {
    Fail(ECAP, std::string(call) + ": board-level calls are not offered by a USBTMC adapter");
}

}  // namespace

USBTMC_EXPORT int ibdev(int board, int pad, int sad, int tmo, int eot, int eos) {
    const std::lock_guard<std::mutex> lock(Usbtmc.mutex);
    (void)eos;  // the scope's binary blocks are read without a termination character
    if (board < 0 || pad < 0 || pad > 30 || (sad != 0 && (sad < 0x60 || sad > 0x7E)) || tmo < 0 ||
        tmo >= kTimeoutCodes) {
        Fail(EARG, "ibdev: board " + std::to_string(board) + ", pad " + std::to_string(pad) +
                       ", sad " + std::to_string(sad) + ", tmo " + std::to_string(tmo) +
                       " out of range");
        return -1;
    }
    const DeviceCalls& calls = Device_calls();
    std::string node;
    std::string reason;
    if (!Node_to_open(node, reason)) {
        Fail(EDVR, "ibdev: " + reason, ENODEV);
        return -1;
    }
    const int fd = calls.open(node.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        const int e = errno;
        Fail(EDVR, "cannot open " + node + ": " + std::strerror(e) + Remedy_for_open(e), e);
        return -1;
    }
    uint32_t timeout = kTimeoutMs[tmo];
    uint8_t eom = eot != 0 ? 1 : 0;
    usbtmc_termchar termchar{'\n', 0};
    const struct {
        unsigned long request;
        void* argument;
        const char* name;
    } settings[] = {
        {USBTMC_IOCTL_SET_TIMEOUT, &timeout, "setting the time limit of"},
        {USBTMC_IOCTL_EOM_ENABLE, &eom, "setting EOM on writes to"},
        {USBTMC_IOCTL_CONFIG_TERMCHAR, &termchar, "turning the termination character off on"},
    };
    for (const auto& s : settings) {
        if (calls.ioctl(fd, s.request, s.argument) < 0) {
            const int e = errno;
            calls.close(fd);
            System_failure(s.name, node, e);
            return -1;
        }
    }
    const int ud = ++Usbtmc.last_descriptor;
    Usbtmc.devices[ud] = Device{fd, node};
    Finish(0, 0, 0);
    return ud;
}

USBTMC_EXPORT int ibclr(int ud) {
    const std::lock_guard<std::mutex> lock(Usbtmc.mutex);
    const Device* device = Usbtmc.find(ud);
    if (device == nullptr)
        return Unknown_descriptor("ibclr", ud);
    if (Device_calls().ioctl(device->fd, USBTMC_IOCTL_CLEAR, nullptr) < 0)
        return System_failure("clearing", device->node, errno);
    return Finish(0, 0, 0);
}

// One message: the kernel sends it in transfers and marks the last with EOM.
USBTMC_EXPORT int ibwrt(int ud, const void* buf, long count) {
    const std::lock_guard<std::mutex> lock(Usbtmc.mutex);
    const Device* device = Usbtmc.find(ud);
    if (device == nullptr)
        return Unknown_descriptor("ibwrt", ud);
    if (count < 0 || (buf == nullptr && count > 0))
        return Fail(EARG, "ibwrt: no buffer or a negative count");
    ssize_t written;
    do {
        written = Device_calls().write(device->fd, buf, static_cast<size_t>(count));
    } while (written < 0 && errno == EINTR);
    if (written < 0)
        return System_failure("writing to", device->node, errno);
    return Finish(0, 0, static_cast<long>(written));
}

// Transfers until one ends the message (EOM) or the count is met. A transfer that brings
// nothing and does not end the message ends the read without END rather than asking again.
USBTMC_EXPORT int ibrd(int ud, void* buf, long count) {
    const std::lock_guard<std::mutex> lock(Usbtmc.mutex);
    const Device* device = Usbtmc.find(ud);
    if (device == nullptr)
        return Unknown_descriptor("ibrd", ud);
    if (count < 0 || (buf == nullptr && count > 0))
        return Fail(EARG, "ibrd: no buffer or a negative count");
    const DeviceCalls& calls = Device_calls();
    char* out = static_cast<char*>(buf);
    long got = 0;
    while (got < count) {
        const ssize_t n = calls.read(device->fd, out + got, static_cast<size_t>(count - got));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return System_failure("reading from", device->node, errno, got);
        }
        got += static_cast<long>(std::min<ssize_t>(n, count - got));
        uint8_t attributes = 0;
        if (calls.ioctl(device->fd, USBTMC_IOCTL_MSG_IN_ATTR, &attributes) < 0)
            return System_failure("reading the transfer attributes of", device->node, errno, got);
        if ((attributes & kEndOfMessage) != 0)
            return Finish(END, 0, got);
        if (n == 0)
            break;
    }
    return Finish(0, 0, got);
}

USBTMC_EXPORT int ibonl(int ud, int v) {
    const std::lock_guard<std::mutex> lock(Usbtmc.mutex);
    const Device* device = Usbtmc.find(ud);
    if (device == nullptr)
        return Unknown_descriptor("ibonl", ud);
    if (v != 0)
        return Finish(0, 0, 0);
    Device_calls().close(device->fd);
    Usbtmc.devices.erase(ud);
    return Finish(0, 0, 0);
}

USBTMC_EXPORT void DevClear(int, short) {
    Board_call("DevClear");
}
USBTMC_EXPORT void FindLstn(int, const short*, short*, int) {
    Board_call("FindLstn");
}
USBTMC_EXPORT void ReadStatusByte(int, short, short*) {
    Board_call("ReadStatusByte");
}
USBTMC_EXPORT void SendIFC(int) {
    Board_call("SendIFC");
}
USBTMC_EXPORT void WaitSRQ(int, short*) {
    Board_call("WaitSRQ");
}

USBTMC_EXPORT int ThreadIbsta() {
    return Last_status;
}
USBTMC_EXPORT int ThreadIberr() {
    return Last_error;
}
USBTMC_EXPORT int ThreadIbcnt() {
    return static_cast<int>(Last_count);
}

// The USBTMC devices present, one resource string a line, into `list` of `size` bytes; returns
// how many. Names that do not fit are left out whole.
USBTMC_EXPORT int UsbtmcListDevices(const char*, char* list, long size) {
    if (list == nullptr || size <= 0)
        return -1;
    std::string out;
    int listed = 0;
    for (const Node& node : Nodes_present(Device_calls())) {
        const std::string line = Resource_of(node) + "\n";
        if (out.size() + line.size() < static_cast<std::size_t>(size)) {
            out += line;
            ++listed;
        }
    }
    std::memcpy(list, out.c_str(), out.size() + 1);
    return listed;
}
