// The simulated scope's driver entry points: the names the Windows GPIB driver exports, the
// status word, error code and count of every call, the device descriptor, the injected faults
// of the bus calls, and the traffic log. Compile definitions build the variants that the
// program's binding tests need: SIM_NO_WAITSRQ, and SIM_STATUS_NONE / SIM_STATUS_THREAD /
// SIM_STATUS_PLAIN for the three other ways a driver may report its status; SIM_STATUS_BOTH for
// the Windows build, which like NI's Windows driver has both the user_ variables and the
// per-thread accessors.
#include <cerrno>
#include <map>
#include <string>

#include "sim/driver_defs.h"
#include "sim/scope_model.h"
#include "sim/sim_config.h"
#include "sim/traffic_log.h"

#if defined(_WIN32)
#define SIM_EXPORT extern "C" __declspec(dllexport)
#define SIM_VARIABLE __declspec(dllexport)
#else
#define SIM_EXPORT extern "C" __attribute__((visibility("default")))
#define SIM_VARIABLE __attribute__((visibility("default")))
#endif

// The status form this build exports.
extern "C" {
#if defined(SIM_STATUS_THREAD)
// Deliberately wrong and never updated: a binding that reads these instead of the accessors
// sees every call fail.
SIM_VARIABLE int user_ibsta = sim::ni488::ERR | sim::ni488::TMO;
SIM_VARIABLE int user_iberr = 99;
SIM_VARIABLE int user_ibcnt = -1;
#elif defined(SIM_STATUS_PLAIN)
SIM_VARIABLE int ibsta = 0;
SIM_VARIABLE int iberr = 0;
SIM_VARIABLE int ibcnt = 0;
#elif !defined(SIM_STATUS_NONE)
SIM_VARIABLE int user_ibsta = 0;
SIM_VARIABLE int user_iberr = 0;
SIM_VARIABLE int user_ibcnt = 0;
#endif
}  // extern "C"

namespace {

using namespace sim::ni488;

struct DriverState {
    int status = 0;
    int error = 0;
    long count = 0;
    int device = 0;  // the open descriptor, 0 when none
    int last_device = 0;
    long reads = 0;                      // reads since ibdev
    std::map<std::string, long> writes;  // writes of each text since ibdev
};

DriverState driver;

int finish(const char* function, const std::string& args, const void* data, std::size_t size,
           int status, int error, long count) {
    driver.status = status;
    driver.error = error;
    driver.count = count;
#if defined(SIM_STATUS_PLAIN)
    ibsta = status;
    iberr = error;
    ibcnt = static_cast<int>(count);
#elif !defined(SIM_STATUS_THREAD) && !defined(SIM_STATUS_NONE)
    user_ibsta = status;
    user_iberr = error;
    user_ibcnt = static_cast<int>(count);
#endif
    sim::log_call(function, args, static_cast<const char*>(data), size, status, error, count);
    return status;
}

int succeed(const char* function, const std::string& args, const void* data = nullptr,
            std::size_t size = 0, long count = 0, int extra = 0) {
    return finish(function, args, data, size, CMPL | extra, 0, count);
}

int fail(const char* function, const std::string& args, int error, int extra = 0) {
    return finish(function, args, nullptr, 0, ERR | CMPL | extra, error, 0);
}

bool bad_descriptor(int ud) {
    return driver.device == 0 || ud != driver.device;
}

bool listed(const std::vector<sim::CallFault>& faults, const std::string& text, long nth) {
    for (const auto& f : faults) {
        if (f.text == text && f.nth == nth)
            return true;
    }
    return false;
}

bool listed(const std::vector<long>& counts, long nth) {
    for (long n : counts) {
        if (n == nth)
            return true;
    }
    return false;
}

std::string ud_args(int ud, long count) {
    return "ud=" + std::to_string(ud) + " count=" + std::to_string(count);
}

}  // namespace

namespace {

// "load" and "unload" in the log mark the driver library's lifetime as the program sees it.
struct LoadMarker {
    LoadMarker() {
        const sim::Config cfg = sim::read_config();
        sim::set_log_path(cfg.log_path);
        sim::reset_instrument(cfg);
        sim::log_call("load", "", "", 0, 0, 0, 0);
    }
    ~LoadMarker() { sim::log_call("unload", "", "", 0, 0, 0, 0); }
    LoadMarker(const LoadMarker&) = delete;
    LoadMarker& operator=(const LoadMarker&) = delete;
};

const LoadMarker load_marker;

}  // namespace

SIM_EXPORT int ibdev(int board, int pad, int sad, int tmo, int eot, int eos) {
    const sim::Config cfg = sim::read_config();
    sim::set_log_path(cfg.log_path);
    const std::string args = "board=" + std::to_string(board) + " pad=" + std::to_string(pad) +
                             " sad=" + std::to_string(sad) + " tmo=" + std::to_string(tmo) +
                             " eot=" + std::to_string(eot) + " eos=" + std::to_string(eos);
    if (board != cfg.board) {
        fail("ibdev", args, EARG);
        return -1;
    }
    if (cfg.no_board) {
        // As the linux-gpib user library without a board: the device file cannot be opened,
        // so the call fails with a system error and its number, before any bus traffic.
        finish("ibdev", args, nullptr, 0, ERR | CMPL, EDVR, ENOENT);
        return -1;
    }
    if (pad != cfg.address || sad != 0 || cfg.fail_ibdev) {
        // Nobody listens at that address (or the test says the scope is switched off).
        fail("ibdev", args, ENOL);
        return -1;
    }
    sim::reset_instrument(cfg);
    driver.reads = 0;
    driver.writes.clear();
    driver.device = ++driver.last_device;
    succeed("ibdev", args, nullptr, 0, 0);
    return driver.device;
}

SIM_EXPORT int ibclr(int ud) {
    const std::string args = "ud=" + std::to_string(ud);
    if (bad_descriptor(ud))
        return fail("ibclr", args, EDVR);
    if (sim::instrument().config.fail_ibclr)
        return fail("ibclr", args, ENOL);
    sim::clear_device();
    return succeed("ibclr", args);
}

SIM_EXPORT int ibwrt(int ud, const void* buf, Count count_given) {
    const long count = static_cast<long>(count_given);
    const std::string args = ud_args(ud, count);
    if (bad_descriptor(ud))
        return fail("ibwrt", args, EDVR);
    if (count < 0 || (buf == nullptr && count > 0))
        return fail("ibwrt", args, EARG);
    const std::string text(static_cast<const char*>(buf), static_cast<std::size_t>(count));
    const long nth = ++driver.writes[text];
    const auto& cfg = sim::instrument().config;
    // A failed write never reaches the instrument; the text is logged to show what was tried.
    if (listed(cfg.timeout_write, text, nth))
        return finish("ibwrt", args, text.data(), text.size(), ERR | TMO | CMPL, EABO, 0);
    if (listed(cfg.fail_write, text, nth))
        return finish("ibwrt", args, text.data(), text.size(), ERR | CMPL, ENOL, 0);
    const bool known = sim::receive_command(text);
    return succeed("ibwrt", known ? args : args + " ignored", text.data(), text.size(), count);
}

SIM_EXPORT int ibrd(int ud, void* buf, Count count_given) {
    const long count = static_cast<long>(count_given);
    const std::string args = ud_args(ud, count);
    if (bad_descriptor(ud))
        return fail("ibrd", args, EDVR);
    if (count < 0 || (buf == nullptr && count > 0))
        return fail("ibrd", args, EARG);
    const long nth = ++driver.reads;
    const auto& cfg = sim::instrument().config;
    if (listed(cfg.timeout_read, nth) || sim::output_remaining() == 0)
        return fail("ibrd", args, EABO, TMO);
    if (listed(cfg.fail_read, nth))
        return fail("ibrd", args, ENOL);
    char* dest = static_cast<char*>(buf);
    const std::size_t n = sim::read_output(dest, static_cast<std::size_t>(count));
    const int end = sim::output_remaining() == 0 ? END : 0;
    // A faulty driver may report the count it was asked for after delivering fewer bytes.
    const long reported = listed(cfg.overcount_read, nth) ? count : static_cast<long>(n);
    return succeed("ibrd", args, dest, n, reported, end);
}

SIM_EXPORT int ibonl(int ud, int v) {
    const std::string args = "ud=" + std::to_string(ud) + " v=" + std::to_string(v);
    if (bad_descriptor(ud))
        return fail("ibonl", args, EDVR);
    if (v == 0)
        driver.device = 0;
    return succeed("ibonl", args);
}

SIM_EXPORT void DevClear(int board, short address) {
    const std::string args =
        "board=" + std::to_string(board) + " address=" + std::to_string(address);
    if (board != sim::instrument().config.board) {
        fail("DevClear", args, EARG);
        return;
    }
    sim::clear_device();
    succeed("DevClear", args);
}

SIM_EXPORT void FindLstn(int board, const short* pads, short* results, ListLimit limit_given) {
    const long limit = static_cast<long>(limit_given);
    const std::string args = "board=" + std::to_string(board) + " limit=" + std::to_string(limit);
    if (board != sim::instrument().config.board || pads == nullptr || results == nullptr) {
        fail("FindLstn", args, EARG);
        return;
    }
    long found = 0;
    for (int i = 0; pads[i] != -1 && found < limit; ++i) {
        if (pads[i] == sim::instrument().config.address)
            results[found++] = pads[i];
    }
    succeed("FindLstn", args, nullptr, 0, found);
}

SIM_EXPORT void ReadStatusByte(int board, short address, short* result) {
    const std::string args =
        "board=" + std::to_string(board) + " address=" + std::to_string(address);
    if (board != sim::instrument().config.board || result == nullptr) {
        fail("ReadStatusByte", args, EARG);
        return;
    }
    *result = 0;
    succeed("ReadStatusByte", args);
}

SIM_EXPORT void SendIFC(int board) {
    const std::string args = "board=" + std::to_string(board);
    if (board != sim::instrument().config.board) {
        fail("SendIFC", args, EARG);
        return;
    }
    succeed("SendIFC", args);
}

#if !defined(SIM_NO_WAITSRQ)
SIM_EXPORT void WaitSRQ(int board, short* result) {
    const std::string args = "board=" + std::to_string(board);
    if (board != sim::instrument().config.board || result == nullptr) {
        fail("WaitSRQ", args, EARG);
        return;
    }
    *result = 0;  // the scope never requests service
    succeed("WaitSRQ", args);
}
#endif

#if defined(SIM_STATUS_THREAD) || defined(SIM_STATUS_BOTH)
SIM_EXPORT int ThreadIbsta() {
    return driver.status;
}
SIM_EXPORT int ThreadIberr() {
    return driver.error;
}
SIM_EXPORT int ThreadIbcnt() {
    return static_cast<int>(driver.count);
}
#endif
