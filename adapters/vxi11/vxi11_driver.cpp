// The driver's entry points: the NI-488.2 calls the program binds, each on a device link of a
// LAN-GPIB gateway, with the status word, error code and count of the last call kept per
// thread. Descriptors count up from 1 and are the driver's own, not the gateway's link ids.
// Calls are serialised; the board-level calls are not offered by a gateway link and fail.
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "adapters/vxi11/gpib_status.h"
#include "adapters/vxi11/vxi11_link.h"

#define VXI11_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

using namespace vxi11;

// How long destroy_link may take when the library is unloaded with links still open.
constexpr uint32_t kUnloadCallMs = 1000;

thread_local int Last_status = 0;
thread_local int Last_error = 0;
thread_local long Last_count = 0;

int Finish(const Outcome& out) {
    Last_status = out.status;
    Last_error = out.error;
    Last_count = out.count;
    return out.status;
}

int Fail(int error, const std::string& why) {
    std::fprintf(stderr, "libgpib_vxi11: %s\n", why.c_str());
    return Finish({ERR | CMPL, error, 0});
}

// The open links. At unload (the program releases the library without taking the device
// offline) each is destroyed on the gateway, briefly and without a word.
struct LinkTable {
    std::mutex mutex;
    std::map<int, std::unique_ptr<Link>> links;
    int last_descriptor = 0;

    LinkTable() = default;
    LinkTable(const LinkTable&) = delete;
    LinkTable& operator=(const LinkTable&) = delete;
    ~LinkTable() {
        for (auto& [ud, link] : links) link->close(kUnloadCallMs, true);
    }
    Link* find(int ud) {
        const auto it = links.find(ud);
        return it == links.end() ? nullptr : it->second.get();
    }
};

LinkTable Table;

bool Valid_secondary(int sad) {
    return sad == 0 || (sad >= 0x60 && sad <= 0x7E);
}

// "gpib<board>,<pad>[,<sad - 0x60>]", or VXI11_DEVICE when it is set.
std::string Device_name(int board, int pad, int sad) {
    if (const char* name = std::getenv("VXI11_DEVICE"); name != nullptr && *name != '\0') {
        return name;
    }
    std::string device = "gpib" + std::to_string(board) + "," + std::to_string(pad);
    if (sad != 0) {
        device += "," + std::to_string(sad - 0x60);
    }
    return device;
}

int Unknown_descriptor(const char* call, int ud) {
    return Fail(EDVR, std::string(call) + ": no open device " + std::to_string(ud));
}

int Board_call(const char* call) {
    return Fail(ECAP, std::string(call) + ": board-level calls are not offered through a gateway");
}

}  // namespace

VXI11_EXPORT int ibdev(int board, int pad, int sad, int tmo, int eot, int eos) {
    const std::lock_guard<std::mutex> lock(Table.mutex);
    if (board < 0 || pad < 0 || pad > 30 || !Valid_secondary(sad) || tmo < 0 ||
        tmo >= kTimeoutCodes) {
        Fail(EARG, "ibdev: board " + std::to_string(board) + ", pad " + std::to_string(pad) +
                       ", sad " + std::to_string(sad) + ", tmo " + std::to_string(tmo) +
                       " out of range");
        return -1;
    }
    LinkSettings settings;
    settings.device = Device_name(board, pad, sad);
    settings.timeout_ms = kTimeoutMs[tmo];
    settings.end_on_write = eot != 0;
    settings.end_on_char = (eos & REOS) != 0;
    settings.term_char = static_cast<char>(eos & 0xFF);
    auto link = std::make_unique<Link>();
    const Outcome out = link->open(settings);
    if (out.failed()) {
        Finish(out);
        return -1;
    }
    const int ud = ++Table.last_descriptor;
    Table.links[ud] = std::move(link);
    Finish(out);
    return ud;
}

VXI11_EXPORT int ibclr(int ud) {
    const std::lock_guard<std::mutex> lock(Table.mutex);
    Link* link = Table.find(ud);
    return link == nullptr ? Unknown_descriptor("ibclr", ud) : Finish(link->clear());
}

VXI11_EXPORT int ibwrt(int ud, const void* buf, long count) {
    const std::lock_guard<std::mutex> lock(Table.mutex);
    Link* link = Table.find(ud);
    if (link == nullptr) {
        return Unknown_descriptor("ibwrt", ud);
    }
    if (count < 0 || (buf == nullptr && count > 0)) {
        return Fail(EARG, "ibwrt: no buffer or a negative count");
    }
    return Finish(link->write(static_cast<const char*>(buf), count));
}

VXI11_EXPORT int ibrd(int ud, void* buf, long count) {
    const std::lock_guard<std::mutex> lock(Table.mutex);
    Link* link = Table.find(ud);
    if (link == nullptr) {
        return Unknown_descriptor("ibrd", ud);
    }
    if (count < 0 || (buf == nullptr && count > 0)) {
        return Fail(EARG, "ibrd: no buffer or a negative count");
    }
    return Finish(link->read(static_cast<char*>(buf), count));
}

// v = 0 takes the device offline: destroy_link and close. Any other v keeps it as it is.
VXI11_EXPORT int ibonl(int ud, int v) {
    const std::lock_guard<std::mutex> lock(Table.mutex);
    Link* link = Table.find(ud);
    if (link == nullptr) {
        return Unknown_descriptor("ibonl", ud);
    }
    if (v != 0) {
        return Finish({});
    }
    const Outcome out = link->close(kUnloadCallMs, false);
    Table.links.erase(ud);
    return Finish(out);
}

VXI11_EXPORT void DevClear(int, short) {
    Board_call("DevClear");
}
VXI11_EXPORT void FindLstn(int, const short*, short*, int) {
    Board_call("FindLstn");
}
VXI11_EXPORT void ReadStatusByte(int, short, short*) {
    Board_call("ReadStatusByte");
}
VXI11_EXPORT void SendIFC(int) {
    Board_call("SendIFC");
}
VXI11_EXPORT void WaitSRQ(int, short*) {
    Board_call("WaitSRQ");
}

VXI11_EXPORT int ThreadIbsta() {
    return Last_status;
}
VXI11_EXPORT int ThreadIberr() {
    return Last_error;
}
VXI11_EXPORT int ThreadIbcnt() {
    return static_cast<int>(Last_count);
}
