// A fake of the kernel's usbtmc driver behind the USBTMC driver's seam, for the tests' build of
// the driver: its nodes /dev/usbtmcN lead to the simulated HP 54200A's model through an
// adapter that, as UsbGpib does, sends at most 1012 bytes per transfer and marks the last
// transfer of a message with EOM. Hostile modes are set through FakeKernel_set; every call is
// logged, one line each (FakeKernel_log).
#include <fcntl.h>
#include <linux/usb/tmc.h>
#include <sys/ioctl.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <set>
#include <string>

#include "adapters/usbtmc/device_calls.h"
#include "sim/scope_model.h"
#include "sim/sim_config.h"

#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

struct Modes {
    int open_error = 0;         // errno of every open
    long transfer_size = 1012;  // the adapter's largest transfer
    long timeout_read = 0;      // the n-th read (transfer) times out; -1: every one
    long timeout_write = 0;     // the n-th write times out; -1: every one
    long unplug_at_read = 0;    // the adapter is unplugged at the n-th transfer
    bool no_eom = false;        // the adapter never sets EOM
};

struct Kernel {
    std::recursive_mutex mutex;
    Modes modes;
    std::set<int> fds;
    int next_fd = 100;
    bool unplugged = false;
    bool eom_on_write = true;
    uint32_t timeout_ms = 5000;
    uint8_t last_attributes = 0;
    std::string message;
    std::string output;
    std::size_t output_pos = 0;
    long reads = 0;
    long writes = 0;
    std::string log;
    std::string sysfs = "/nonexistent";
};

// Built before, and destroyed after, the driver's own state, which closes the nodes left open
// when the library is unloaded.
__attribute__((init_priority(101))) Kernel The_kernel;

Kernel& kernel() {
    return The_kernel;
}

void Log(const std::string& line) {
    kernel().log += line + "\n";
}

int Error(int e) {
    errno = e;
    return -1;
}

bool Hits(long mode, long nth) {
    return mode == -1 || (mode > 0 && mode == nth);
}

int Open(const char* path, int) {
    const std::lock_guard<std::recursive_mutex> lock(kernel().mutex);
    Kernel& k = kernel();
    Log("open " + std::string(path));
    if (k.modes.open_error != 0)
        return Error(k.modes.open_error);
    if (std::string(path).rfind("/dev/usbtmc", 0) != 0)
        return Error(ENOENT);
    k.unplugged = false;
    k.message.clear();
    k.output.clear();
    k.output_pos = 0;
    k.reads = 0;
    k.writes = 0;
    sim::reset_instrument(sim::read_config());
    const int fd = k.next_fd++;
    k.fds.insert(fd);
    return fd;
}

int Close(int fd) {
    const std::lock_guard<std::recursive_mutex> lock(kernel().mutex);
    Log("close");
    return kernel().fds.erase(fd) != 0 ? 0 : Error(EBADF);
}

ssize_t Write(int fd, const void* buffer, size_t count) {
    const std::lock_guard<std::recursive_mutex> lock(kernel().mutex);
    Kernel& k = kernel();
    const std::string text(static_cast<const char*>(buffer), count);
    Log("write " + std::to_string(count) + (k.eom_on_write ? " EOM " : " ") + text.substr(0, 40));
    if (k.fds.count(fd) == 0)
        return Error(EBADF);
    if (k.unplugged)
        return Error(ENODEV);
    if (Hits(k.modes.timeout_write, ++k.writes))
        return Error(ETIMEDOUT);
    k.message += text;
    if (k.eom_on_write) {
        sim::receive_command(k.message);
        k.message.clear();
        k.output.assign(sim::output_remaining(), '\0');
        k.output.resize(sim::read_output(k.output.data(), k.output.size()));
        k.output_pos = 0;
    }
    return static_cast<ssize_t>(count);
}

// One transfer of the adapter: at most its transfer size and the count asked for.
ssize_t Read(int fd, void* buffer, size_t count) {
    const std::lock_guard<std::recursive_mutex> lock(kernel().mutex);
    Kernel& k = kernel();
    if (k.fds.count(fd) == 0)
        return Error(EBADF);
    ++k.reads;
    if (k.unplugged || Hits(k.modes.unplug_at_read, k.reads)) {
        k.unplugged = true;
        Log("read " + std::to_string(count) + " -> unplugged");
        return Error(ENODEV);
    }
    const std::size_t left = k.output.size() - k.output_pos;
    if (Hits(k.modes.timeout_read, k.reads) || left == 0) {
        Log("read " + std::to_string(count) + " -> time-out");
        return Error(ETIMEDOUT);
    }
    const std::size_t n = std::min({count, left, static_cast<std::size_t>(k.modes.transfer_size)});
    std::memcpy(buffer, k.output.data() + k.output_pos, n);
    k.output_pos += n;
    k.last_attributes = n == left && !k.modes.no_eom ? 0x01 : 0x00;
    Log("read " + std::to_string(count) + " -> " + std::to_string(n) +
        (k.last_attributes != 0 ? " EOM" : ""));
    return static_cast<ssize_t>(n);
}

int Ioctl(int fd, unsigned long request, void* argument) {
    const std::lock_guard<std::recursive_mutex> lock(kernel().mutex);
    Kernel& k = kernel();
    if (k.fds.count(fd) == 0)
        return Error(EBADF);
    if (k.unplugged)
        return Error(ENODEV);
    if (request == USBTMC_IOCTL_SET_TIMEOUT) {
        const uint32_t ms = *static_cast<uint32_t*>(argument);
        Log("timeout " + std::to_string(ms));
        if (ms < 100)
            return Error(EINVAL);  // the kernel's least time limit
        k.timeout_ms = ms;
    } else if (request == USBTMC_IOCTL_EOM_ENABLE) {
        const uint8_t on = *static_cast<uint8_t*>(argument);
        Log("eom " + std::to_string(on));
        if (on > 1)
            return Error(EINVAL);
        k.eom_on_write = on != 0;
    } else if (request == USBTMC_IOCTL_CONFIG_TERMCHAR) {
        const auto* t = static_cast<usbtmc_termchar*>(argument);
        Log("termchar " + std::to_string(t->term_char_enabled));
    } else if (request == USBTMC_IOCTL_CLEAR) {
        Log("clear");
        k.message.clear();
        k.output.clear();
        k.output_pos = 0;
        sim::clear_device();
    } else if (request == USBTMC_IOCTL_MSG_IN_ATTR) {
        *static_cast<uint8_t*>(argument) = k.last_attributes;
    } else {
        Log("ioctl unknown");
        return Error(ENOTTY);
    }
    return 0;
}

}  // namespace

namespace usbtmc {

const DeviceCalls& Device_calls() {
    static DeviceCalls calls{Open, Close, Read, Write, Ioctl, nullptr, "/dev"};
    calls.sysfs_class_dir = kernel().sysfs.c_str();
    return calls;
}

}  // namespace usbtmc

// The tests' controls. Modes by name: "open_error" (an errno), "transfer_size",
// "timeout_read", "timeout_write", "unplug_at_read" (the n-th call, -1 for every one),
// "no_eom"; "reset" clears the modes and the log.
FAKE_EXPORT void FakeKernel_set(const char* mode, long value) {
    const std::lock_guard<std::recursive_mutex> lock(kernel().mutex);
    Modes& m = kernel().modes;
    const std::string name = mode;
    if (name == "reset") {
        m = Modes{};
        kernel().log.clear();
    } else if (name == "open_error") {
        m.open_error = static_cast<int>(value);
    } else if (name == "transfer_size") {
        m.transfer_size = value;
    } else if (name == "timeout_read") {
        m.timeout_read = value;
    } else if (name == "timeout_write") {
        m.timeout_write = value;
    } else if (name == "unplug_at_read") {
        m.unplug_at_read = value;
    } else if (name == "no_eom") {
        m.no_eom = value != 0;
    }
}

// Where the fake's sysfs class folder is (a scratch tree of the test's).
FAKE_EXPORT void FakeKernel_set_sysfs(const char* path) {
    const std::lock_guard<std::recursive_mutex> lock(kernel().mutex);
    kernel().sysfs = path;
}

FAKE_EXPORT const char* FakeKernel_log() {
    const std::lock_guard<std::recursive_mutex> lock(kernel().mutex);
    static std::string copy;
    copy = kernel().log;
    return copy.c_str();
}

FAKE_EXPORT int FakeKernel_open_files() {
    const std::lock_guard<std::recursive_mutex> lock(kernel().mutex);
    return static_cast<int>(kernel().fds.size());
}
