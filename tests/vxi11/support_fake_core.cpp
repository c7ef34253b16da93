// The fake gateway's core channel procedures, as the VXI-11 standard defines them for a
// network instrument server (section numbers of "TCP/IP Instrument Protocol", rev. 1.0), with
// the simulated HP 54200A's model as the instrument at GPIB address 5.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "sim/scope_model.h"
#include "sim/sim_config.h"
#include "support_fake_gateway.h"
#include "vxi11.h"

namespace fake_vxi11 {

GatewayState& state() {
    static GatewayState the_state;
    return the_state;
}

}  // namespace fake_vxi11

using fake_vxi11::state;

namespace {

constexpr long kNoError = 0;
constexpr long kDeviceNotAccessible = 3;
constexpr long kInvalidLink = 4;
constexpr long kNotSupported = 8;
constexpr long kIoTimeout = 15;
constexpr long kInvalidAddress = 21;

bool Known_link(long lid) {
    const auto& links = state().links;
    return std::find(links.begin(), links.end(), lid) != links.end();
}

// B.6.2: the gateway's names are "gpib<board>,<pad>[,<sad>]"; a malformed name is an invalid
// address, a well-formed one where no instrument answers is not accessible.
long Name_error(const std::string& name) {
    unsigned board = 0;
    unsigned pad = 0;
    unsigned sad = 0;
    int used = 0;
    const int fields =
        std::sscanf(name.c_str(), "gpib%u,%u%n,%u%n", &board, &pad, &used, &sad, &used);
    if (fields < 2 || static_cast<std::size_t>(used) != name.size() ||
        name.find_first_of(" +-") != std::string::npos || pad > 30) {
        return kInvalidAddress;
    }
    // The scope stands at address 5, or where HP_SIM_ADDRESS puts it.
    const bool scope = board == 0 && static_cast<long>(pad) == sim::read_config().address;
    return scope && fields == 2 ? kNoError : kDeviceNotAccessible;
}

// A complete message (its last piece carried END) goes to the instrument; its reply, if any,
// replaces whatever was left unread.
void Deliver_message() {
    auto& s = state();
    sim::receive_command(s.message);
    s.message.clear();
    s.output.assign(sim::output_remaining(), '\0');
    s.output.resize(sim::read_output(s.output.data(), s.output.size()));
    s.output_pos = 0;
}

void Sleep_ms(long ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void Unlocked_sleep(std::unique_lock<std::mutex>& lock, long ms) {
    lock.unlock();
    Sleep_ms(ms);
    lock.lock();
}

}  // namespace

extern "C" {

// B.6.2 create_link.
bool_t create_link_1_svc(Create_LinkParms* argp, Create_LinkResp* result, svc_req*) {
    std::memset(result, 0, sizeof *result);
    std::unique_lock<std::mutex> lock(state().mutex);
    auto& s = state();
    Unlocked_sleep(lock, s.behaviour.reply_delay_ms);
    s.names.push_back(argp->device);
    result->error =
        s.behaviour.create_error != 0 ? s.behaviour.create_error : Name_error(argp->device);
    if (result->error != kNoError) {
        return TRUE;
    }
    result->lid = s.next_lid++;
    result->maxRecvSize = s.behaviour.max_recv_size;
    s.links.push_back(result->lid);
    sim::reset_instrument(sim::read_config());
    s.message.clear();
    s.output.clear();
    s.output_pos = 0;
    return TRUE;
}

// B.6.3 device_write: the data is taken up to what the gateway accepts; END marks the last byte
// of a message.
bool_t device_write_1_svc(Device_WriteParms* argp, Device_WriteResp* result, svc_req*) {
    std::memset(result, 0, sizeof *result);
    std::unique_lock<std::mutex> lock(state().mutex);
    auto& s = state();
    Unlocked_sleep(lock, s.behaviour.reply_delay_ms);
    if (!Known_link(argp->lid)) {
        result->error = kInvalidLink;
        return TRUE;
    }
    if (s.behaviour.write_error != 0) {
        result->error = s.behaviour.write_error;
        return TRUE;
    }
    long accepted = argp->data.data_len;
    if (s.behaviour.accept_limit != 0) {
        accepted = std::clamp(s.behaviour.accept_limit, 0L, accepted);
    }
    const bool end =
        (argp->flags & DEVICE_FLAG_END) != 0 && accepted == static_cast<long>(argp->data.data_len);
    s.writes.push_back({std::string(argp->data.data_val, static_cast<std::size_t>(accepted)), end,
                        static_cast<uint32_t>(argp->io_timeout)});
    s.message.append(argp->data.data_val, static_cast<std::size_t>(accepted));
    if (end) {
        Deliver_message();
    }
    result->size = static_cast<u_long>(accepted);
    return TRUE;
}

// B.6.4 device_read: up to requestSize bytes; the reason says why the answer ended (REQCNT:
// the request was filled, CHR: it ends with termChar and the flags have TERMCHRSET, END: the
// message's last byte is in it). With nothing to say the gateway waits io_timeout and answers
// error 15.
bool_t device_read_1_svc(Device_ReadParms* argp, Device_ReadResp* result, svc_req* request) {
    std::memset(result, 0, sizeof *result);
    std::unique_lock<std::mutex> lock(state().mutex);
    auto& s = state();
    Unlocked_sleep(lock, s.behaviour.reply_delay_ms);
    if (s.behaviour.vanish_after_reads >= 0 &&
        static_cast<long>(s.reads.size()) >= s.behaviour.vanish_after_reads) {
        s.doomed_fds.push_back(request->rq_xprt->xp_fd);
        return FALSE;  // no answer: the connection goes
    }
    if (!Known_link(argp->lid) || s.behaviour.read_error != 0) {
        result->error = Known_link(argp->lid) ? s.behaviour.read_error : kInvalidLink;
        return TRUE;
    }
    if (s.behaviour.empty_reason >= 0) {
        result->reason = s.behaviour.empty_reason;
        return TRUE;
    }
    std::size_t available = s.output.size() - s.output_pos;
    if (s.behaviour.stall_after >= 0) {
        const auto limit = static_cast<std::size_t>(s.behaviour.stall_after);
        available = s.output_pos < limit ? std::min(available, limit - s.output_pos) : 0;
    }
    if (available == 0) {
        s.reads.push_back({static_cast<uint32_t>(argp->requestSize),
                           static_cast<uint32_t>(argp->io_timeout),
                           {},
                           0});
        Unlocked_sleep(lock, static_cast<long>(argp->io_timeout));
        result->error = kIoTimeout;
        return TRUE;
    }
    std::size_t n = std::min<std::size_t>(available, argp->requestSize + s.behaviour.extra_bytes);
    if (s.behaviour.packet_size > 0) {
        n = std::min<std::size_t>(n, static_cast<std::size_t>(s.behaviour.packet_size));
    }
    const auto at = s.output.find(argp->termChar, s.output_pos);
    const bool chr = (argp->flags & DEVICE_FLAG_TERMCHRSET) != 0 && at < s.output_pos + n;
    n = chr ? at + 1 - s.output_pos : n;
    const std::string data = s.output.substr(s.output_pos, n);
    s.output_pos += n;
    long reason =
        (s.output_pos == s.output.size() ? DEVICE_REASON_END : 0) | (chr ? DEVICE_REASON_CHR : 0);
    if (s.behaviour.packet_size == 0 && n >= argp->requestSize) {
        reason |= DEVICE_REASON_REQCNT;
    }
    s.reads.push_back({static_cast<uint32_t>(argp->requestSize),
                       static_cast<uint32_t>(argp->io_timeout), data, reason});
    result->reason = reason;
    result->data.data_len = static_cast<u_int>(n);
    result->data.data_val = static_cast<char*>(std::malloc(n));
    std::memcpy(result->data.data_val, data.data(), n);
    return TRUE;
}

// B.6.8 device_clear: the instrument's device clear; its output is gone.
bool_t device_clear_1_svc(Device_GenericParms* argp, Device_Error* result, svc_req*) {
    std::memset(result, 0, sizeof *result);
    const std::lock_guard<std::mutex> lock(state().mutex);
    auto& s = state();
    if (!Known_link(argp->lid)) {
        result->error = kInvalidLink;
        return TRUE;
    }
    sim::clear_device();
    s.message.clear();
    s.output.clear();
    s.output_pos = 0;
    ++s.clears;
    return TRUE;
}

// B.6.6 destroy_link.
bool_t destroy_link_1_svc(Device_Link* argp, Device_Error* result, svc_req*) {
    std::memset(result, 0, sizeof *result);
    const std::lock_guard<std::mutex> lock(state().mutex);
    auto& links = state().links;
    const auto it = std::find(links.begin(), links.end(), *argp);
    if (it == links.end()) {
        result->error = kInvalidLink;
        return TRUE;
    }
    links.erase(it);
    return TRUE;
}

// What this gateway does not offer: B.5.4 error 8, operation not supported.
#define FAKE_UNSUPPORTED(name, Args, Result)       \
    bool_t name(Args*, Result* result, svc_req*) { \
        std::memset(result, 0, sizeof *result);    \
        result->error = kNotSupported;             \
        return TRUE;                               \
    }
FAKE_UNSUPPORTED(device_readstb_1_svc, Device_GenericParms, Device_ReadStbResp)
FAKE_UNSUPPORTED(device_trigger_1_svc, Device_GenericParms, Device_Error)
FAKE_UNSUPPORTED(device_remote_1_svc, Device_GenericParms, Device_Error)
FAKE_UNSUPPORTED(device_local_1_svc, Device_GenericParms, Device_Error)
FAKE_UNSUPPORTED(device_lock_1_svc, Device_LockParms, Device_Error)
FAKE_UNSUPPORTED(device_unlock_1_svc, Device_Link, Device_Error)
FAKE_UNSUPPORTED(device_enable_srq_1_svc, Device_EnableSrqParms, Device_Error)
FAKE_UNSUPPORTED(device_docmd_1_svc, Device_DocmdParms, Device_DocmdResp)
FAKE_UNSUPPORTED(create_intr_chan_1_svc, Device_RemoteFunc, Device_Error)
FAKE_UNSUPPORTED(destroy_intr_chan_1_svc, void, Device_Error)
FAKE_UNSUPPORTED(device_abort_1_svc, Device_Link, Device_Error)

bool_t device_intr_srq_1_svc(Device_SrqParms*, void*, svc_req*) {
    return FALSE;
}

int device_core_1_freeresult(SVCXPRT*, xdrproc_t xdr_result, caddr_t result) {
    xdr_free(xdr_result, result);
    return 1;
}
int device_async_1_freeresult(SVCXPRT*, xdrproc_t xdr_result, caddr_t result) {
    xdr_free(xdr_result, result);
    return 1;
}
int device_intr_1_freeresult(SVCXPRT*, xdrproc_t, caddr_t) {
    return 1;
}

}  // extern "C"
