// The driver's entry points: the NI-488.2 calls the program binds, each on a session of the
// system's VISA library. A device is the VISA resource VISA_RESOURCE names, else
// "GPIB<board>::<pad>::INSTR". The status word, error code and count of the last call are kept
// per thread; descriptors count up from 1. Calls are serialised; the board-level calls are not
// offered through VISA and fail.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <type_traits>

#include "adapters/visa/visa_library.h"
#include "adapters/visa/visa_types.h"

#if defined(_WIN32)
#define VISA_EXPORT extern "C" __declspec(dllexport)
#else
#define VISA_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace {

using namespace visa;

thread_local int Last_status = 0;
thread_local int Last_error = 0;
thread_local long Last_count = 0;

int Finish(int status, int error, long count) {
    Last_status = status | CMPL;
    Last_error = (status & ERR) != 0 ? error : 0;
    Last_count = count;
    return Last_status;
}

int Fail(int error, const std::string& why) {
    std::fprintf(stderr, "gpib_visa: %s\n", why.c_str());
    return Finish(ERR, error, 0);
}

// The VISA library, bound at the first ibdev and kept until the driver is unloaded (a VISA's
// own threads do not always survive its being unloaded); the resource manager's session, open
// while a device is; and the devices, each with its VISA session and resource.
struct Device {
    ViSession vi = VI_NULL;
    std::string resource;
};

struct State {
    std::mutex mutex;
    VisaCalls calls;
    ViSession rm = VI_NULL;
    std::map<int, Device> devices;
    int last_descriptor = 0;

    State() = default;
    State(const State&) = delete;
    State& operator=(const State&) = delete;
    // Sessions still open when the driver is unloaded (the program releases it without taking
    // the device offline only as it ends) are left to the VISA, which closes them with the
    // process: at the process's exit the VISA may already have been finalized, and calling it
    // then is not safe.
    ~State() = default;
    Device* find(int ud) {
        const auto it = devices.find(ud);
        return it == devices.end() ? nullptr : &it->second;
    }
    // The resource manager goes with the last device.
    void close_manager_if_unused() {
        if (devices.empty() && rm != VI_NULL) {
            calls.viClose(rm);
            rm = VI_NULL;
        }
    }
};

State Visa;

// A VISA call that failed: the call, the resource and VISA's own text on standard error.
int Visa_failure(const char* call, const std::string& resource, ViObject vi, ViStatus status,
                 long count = 0) {
    std::fprintf(stderr, "gpib_visa: %s %s: %s\n", call, resource.c_str(),
                 Status_text(Visa.calls, vi, status).c_str());
    return Finish(ERR, EDVR, count);
}

// The outcome of a read or write: VI_ERROR_TMO is the bus's time-out, any other error the
// driver's; a read's completion code tells whether END came with its last byte.
int Transfer_outcome(const char* call, const Device& device, ViStatus status, ViUInt32 count,
                     bool read) {
    if (status == VI_ERROR_TMO)
        return Finish(ERR | TMO, EABO, static_cast<long>(count));
    if (status < VI_SUCCESS)
        return Visa_failure(call, device.resource, device.vi, status, static_cast<long>(count));
    const bool end = read && (status == VI_SUCCESS || status == VI_SUCCESS_TERM_CHAR);
    return Finish(end ? END : 0, 0, static_cast<long>(count));
}

bool Valid_secondary(int sad) {
    return sad == 0 || (sad >= 0x60 && sad <= 0x7E);
}

std::string Resource_name(int board, int pad, int sad) {
    if (const char* named = std::getenv("VISA_RESOURCE"); named != nullptr && *named != '\0')
        return named;
    return "GPIB" + std::to_string(board) + "::" + std::to_string(pad) +
           (sad != 0 ? "::" + std::to_string(sad - 0x60) : "") + "::INSTR";
}

bool Bind_once(std::string& reason) {
    return Visa.calls.library != nullptr || Bind_visa(Visa.calls, reason);
}

bool Open_manager(const std::string& resource) {
    if (Visa.rm != VI_NULL)
        return true;
    const ViStatus status = Visa.calls.viOpenDefaultRM(&Visa.rm);
    if (status < VI_SUCCESS) {
        Visa.rm = VI_NULL;
        Visa_failure("viOpenDefaultRM for", resource, VI_NULL, status);
        return false;
    }
    return true;
}

int Unknown_descriptor(const char* call, int ud) {
    return Fail(EDVR, std::string(call) + ": no open device " + std::to_string(ud));
}

void Board_call(const char* call) {
    Fail(ECAP, std::string(call) + ": board-level calls are not offered through VISA");
}

// A count the caller gives, within what one VISA call takes.
template <typename T>
bool Bad_count(T count, const void* buffer) {
    if constexpr (std::is_signed_v<T>) {
        if (count < 0)
            return true;
    }
    return static_cast<unsigned long long>(count) > 0xFFFFFFFFull ||
           (buffer == nullptr && count != 0);
}

}  // namespace

VISA_EXPORT int ibdev(int board, int pad, int sad, int tmo, int eot, int eos) {
    const std::lock_guard<std::mutex> lock(Visa.mutex);
    (void)eos;  // the scope's binary blocks are read without a termination character
    if (board < 0 || pad < 0 || pad > 30 || !Valid_secondary(sad) || tmo < 0 ||
        tmo >= kTimeoutCodes) {
        Fail(EARG, "ibdev: board " + std::to_string(board) + ", pad " + std::to_string(pad) +
                       ", sad " + std::to_string(sad) + ", tmo " + std::to_string(tmo) +
                       " out of range");
        return -1;
    }
    const std::string resource = Resource_name(board, pad, sad);
    std::string reason;
    if (!Bind_once(reason)) {
        Fail(EDVR, "ibdev " + resource + ": " + reason);
        return -1;
    }
    if (!Open_manager(resource))
        return -1;
    Device device{VI_NULL, resource};
    if (const ViStatus status = Visa.calls.viOpen(Visa.rm, resource.c_str(), 0, 0, &device.vi);
        status < VI_SUCCESS) {
        Visa_failure("viOpen", resource, Visa.rm, status);
        Visa.close_manager_if_unused();
        return -1;
    }
    const struct {
        ViAttr attribute;
        ViAttrState value;
        const char* name;
    } settings[] = {
        {VI_ATTR_TMO_VALUE, kTimeoutMs[tmo], "VI_ATTR_TMO_VALUE"},
        {VI_ATTR_TERMCHAR_EN, VI_FALSE, "VI_ATTR_TERMCHAR_EN"},
        {VI_ATTR_SEND_END_EN, eot != 0 ? VI_TRUE : VI_FALSE, "VI_ATTR_SEND_END_EN"},
    };
    for (const auto& s : settings) {
        if (const ViStatus status = Visa.calls.viSetAttribute(device.vi, s.attribute, s.value);
            status < VI_SUCCESS) {
            Visa_failure((std::string("viSetAttribute ") + s.name + " on").c_str(), resource,
                         device.vi, status);
            Visa.calls.viClose(device.vi);
            Visa.close_manager_if_unused();
            return -1;
        }
    }
    const int ud = ++Visa.last_descriptor;
    Visa.devices[ud] = device;
    Finish(0, 0, 0);
    return ud;
}

VISA_EXPORT int ibclr(int ud) {
    const std::lock_guard<std::mutex> lock(Visa.mutex);
    const Device* device = Visa.find(ud);
    if (device == nullptr)
        return Unknown_descriptor("ibclr", ud);
    const ViStatus status = Visa.calls.viClear(device->vi);
    if (status == VI_ERROR_TMO)
        return Finish(ERR | TMO, EABO, 0);
    if (status < VI_SUCCESS)
        return Visa_failure("viClear", device->resource, device->vi, status);
    return Finish(0, 0, 0);
}

VISA_EXPORT int ibwrt(int ud, const void* buf, Count count) {
    const std::lock_guard<std::mutex> lock(Visa.mutex);
    const Device* device = Visa.find(ud);
    if (device == nullptr)
        return Unknown_descriptor("ibwrt", ud);
    if (Bad_count(count, buf))
        return Fail(EARG, "ibwrt: no buffer, or a count VISA cannot take");
    ViUInt32 written = 0;
    const ViStatus status = Visa.calls.viWrite(device->vi, static_cast<const ViByte*>(buf),
                                               static_cast<ViUInt32>(count), &written);
    return Transfer_outcome("viWrite", *device, status, written, false);
}

VISA_EXPORT int ibrd(int ud, void* buf, Count count) {
    const std::lock_guard<std::mutex> lock(Visa.mutex);
    const Device* device = Visa.find(ud);
    if (device == nullptr)
        return Unknown_descriptor("ibrd", ud);
    if (Bad_count(count, buf))
        return Fail(EARG, "ibrd: no buffer, or a count VISA cannot take");
    ViUInt32 got = 0;
    const ViStatus status = Visa.calls.viRead(device->vi, static_cast<ViByte*>(buf),
                                              static_cast<ViUInt32>(count), &got);
    // A VISA never returns more than asked; were one to, the count stays within the buffer.
    return Transfer_outcome("viRead", *device, status, std::min(got, static_cast<ViUInt32>(count)),
                            true);
}

// v = 0 takes the device offline: its session is closed, and with the last one the resource
// manager's. Any other v keeps it as it is.
VISA_EXPORT int ibonl(int ud, int v) {
    const std::lock_guard<std::mutex> lock(Visa.mutex);
    const Device* device = Visa.find(ud);
    if (device == nullptr)
        return Unknown_descriptor("ibonl", ud);
    if (v != 0)
        return Finish(0, 0, 0);
    const Device closing = *device;
    Visa.devices.erase(ud);
    const ViStatus status = Visa.calls.viClose(closing.vi);
    Visa.close_manager_if_unused();
    if (status < VI_SUCCESS)
        return Visa_failure("viClose", closing.resource, VI_NULL, status);
    return Finish(0, 0, 0);
}

VISA_EXPORT void DevClear(int, short) {
    Board_call("DevClear");
}
VISA_EXPORT void FindLstn(int, const short*, short*, ListLimit) {
    Board_call("FindLstn");
}
VISA_EXPORT void ReadStatusByte(int, short, short*) {
    Board_call("ReadStatusByte");
}
VISA_EXPORT void SendIFC(int) {
    Board_call("SendIFC");
}
VISA_EXPORT void WaitSRQ(int, short*) {
    Board_call("WaitSRQ");
}

VISA_EXPORT int ThreadIbsta() {
    return Last_status;
}
VISA_EXPORT int ThreadIberr() {
    return Last_error;
}
VISA_EXPORT int ThreadIbcnt() {
    return static_cast<int>(Last_count);
}

// The resources the VISA lists for `expression` (viFindRsrc, viFindNext), one a line, into
// `list` of `size` bytes. Returns how many were found, or -1 with the reason in `list`. Names
// that do not fit are left out whole.
VISA_EXPORT int VisaFindResources(const char* expression, char* list, long size) {
    const std::lock_guard<std::mutex> lock(Visa.mutex);
    if (list == nullptr || size <= 0)
        return -1;
    std::string out;
    const auto finish = [&](int result) {
        const std::size_t n = std::min(out.size(), static_cast<std::size_t>(size - 1));
        std::memcpy(list, out.data(), n);
        list[n] = '\0';
        return result;
    };
    std::string reason;
    if (!Bind_once(reason)) {
        out = reason;
        return finish(-1);
    }
    if (const std::string missing = Missing_find_calls(Visa.calls); !missing.empty()) {
        out = "the VISA library " + Visa.calls.name + " lacks " + missing;
        return finish(-1);
    }
    const bool own_manager = Visa.rm == VI_NULL;
    if (own_manager) {
        if (const ViStatus status = Visa.calls.viOpenDefaultRM(&Visa.rm); status < VI_SUCCESS) {
            Visa.rm = VI_NULL;
            out = "viOpenDefaultRM: " + Status_text(Visa.calls, VI_NULL, status);
            return finish(-1);
        }
    }
    ViFindList found = VI_NULL;
    ViUInt32 count = 0;
    ViChar name[VI_FIND_BUFLEN + 1] = {};
    const char* pattern = expression != nullptr && *expression != '\0' ? expression : "?*INSTR";
    ViStatus status = Visa.calls.viFindRsrc(Visa.rm, pattern, &found, &count, name);
    int listed = 0;
    if (status >= VI_SUCCESS) {
        for (ViUInt32 i = 0; i < count && status >= VI_SUCCESS; ++i) {
            name[VI_FIND_BUFLEN] = '\0';
            const std::string line = std::string(name) + "\n";
            if (out.size() + line.size() < static_cast<std::size_t>(size)) {
                out += line;
                ++listed;
            }
            if (i + 1 < count)
                status = Visa.calls.viFindNext(found, name);
        }
        Visa.calls.viClose(found);
    } else if (status == VI_ERROR_RSRC_NFOUND) {
        status = VI_SUCCESS;  // nothing to list
    }
    int result = listed;
    if (status < VI_SUCCESS) {
        out =
            "viFindRsrc " + std::string(pattern) + ": " + Status_text(Visa.calls, Visa.rm, status);
        result = -1;
    }
    if (own_manager)
        Visa.close_manager_if_unused();
    return finish(result);
}
