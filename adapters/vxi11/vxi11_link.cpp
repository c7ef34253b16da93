// A device link on the gateway's core channel. Section numbers are those of the VXI-11
// standard (TCP/IP Instrument Protocol, rev. 1.0).
#include "adapters/vxi11/vxi11_link.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "adapters/vxi11/vxi11_transport.h"
#include "vxi11.h"

namespace vxi11 {
namespace {

// The RPC client waits this much longer than the gateway's own I/O time-out, so that a
// gateway that times out answers before the client gives up.
constexpr uint64_t kCallMarginMs = 2000;
// "No time-out": long enough never to end a session, small enough for every field it meets.
constexpr uint32_t kNoLimitMs = 0x7FFFFFFF - kCallMarginMs;
// The smallest maximum receive size a gateway may announce (B.6.2).
constexpr uint32_t kMinRecvSize = 1024;

void Report(const char* call, const std::string& text) {
    std::fprintf(stderr, "libgpib_vxi11: %s: %s\n", call, text.c_str());
}

}  // namespace

const char* Call_name(Call call) {
    switch (call) {
        case Call::create:
            return "create_link";
        case Call::write:
            return "device_write";
        case Call::read:
            return "device_read";
        case Call::clear:
            return "device_clear";
        case Call::destroy:
            return "destroy_link";
    }
    return "?";
}

const char* Error_name(long error) {
    switch (error) {
        case 0:
            return "no error";
        case 1:
            return "syntax error";
        case 3:
            return "device not accessible";
        case 4:
            return "invalid link identifier";
        case 5:
            return "parameter error";
        case 6:
            return "channel not established";
        case 8:
            return "operation not supported";
        case 9:
            return "out of resources";
        case 11:
            return "device locked by another link";
        case 12:
            return "no lock held by this link";
        case 15:
            return "I/O timeout";
        case 17:
            return "I/O error";
        case 21:
            return "invalid address";
        case 23:
            return "abort";
        case 29:
            return "channel already established";
        default:
            return "unknown error";
    }
}

Outcome Outcome_of_error(Call call, long error, long count) {
    Outcome out{ERR | CMPL, EDVR, count};
    switch (error) {
        case 3:  // the gateway cannot reach the device, or
        case 9:  // refuses another link
            out.error = ENEB;
            break;
        case 5:
        case 21:
            out.error = EARG;
            break;
        case 8:
            out.error = ECAP;
            break;
        case 15:
            out.status |= TMO;
            out.error = EABO;
            break;
        case 17:
            out.error = call == Call::read ? EABO : ENOL;
            break;
        case 23:
            out.error = EABO;
            break;
        default:  // 4 and 11 (the link is not usable) and anything unexpected
            out.error = EDVR;
            break;
    }
    return out;
}

Link::~Link() {
    drop_connection();
}

Link::Clock::time_point Link::deadline() const {
    return Clock::now() + std::chrono::milliseconds(settings_.timeout_ms);
}

uint32_t Link::time_left(Clock::time_point deadline) const {
    if (settings_.timeout_ms == 0) {
        return kNoLimitMs;
    }
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<uint32_t>(left) : 0;
}

void Link::drop_connection() {
    if (client_ != nullptr) {
        clnt_destroy(client_);
        client_ = nullptr;
    }
    pending_.clear();
}

Outcome Link::transport_failure(Call call, clnt_stat stat, long count, bool quiet) {
    if (!quiet) {
        Report(Call_name(call), std::string("RPC failure: ") + clnt_sperrno(stat) +
                                    "; the connection to the gateway is closed");
    }
    drop_connection();
    if (call == Call::create) {
        return {ERR | CMPL, ENEB, count};  // no VXI-11 service there
    }
    if (stat == RPC_TIMEDOUT) {
        return {ERR | TMO | CMPL, EABO, count};
    }
    return {ERR | CMPL, EDVR, count};
}

Outcome Link::error_reply(Call call, long error, long count, bool quiet) {
    if (!quiet) {
        Report(Call_name(call),
               "VXI-11 error " + std::to_string(error) + " (" + Error_name(error) + ")");
    }
    return Outcome_of_error(call, error, count);
}

Outcome Link::dead_link(Call call) const {
    Report(Call_name(call), "the link was closed by an earlier failure");
    return {ERR | CMPL, EDVR, 0};
}

// B.6.2 create_link: no lock; the reply gives the link id and the largest write accepted.
Outcome Link::open(const LinkSettings& settings) {
    settings_ = settings;
    sockaddr_in core{};
    std::string why;
    SigpipeGuard guard;
    if (!Locate_core_channel(core, why) ||
        (client_ = Open_tcp_client(core, DEVICE_CORE, DEVICE_CORE_VERSION, why)) == nullptr) {
        Report("create_link", why);
        return {ERR | CMPL, ENEB, 0};
    }
    Create_LinkParms parms{};
    parms.clientId = static_cast<long>(getpid());
    parms.lockDevice = 0;
    parms.lock_timeout = 0;
    parms.device = const_cast<char*>(settings_.device.c_str());
    Create_LinkResp reply{};
    Set_call_timeout(client_, time_left(deadline()) + kCallMarginMs);
    const clnt_stat stat = create_link_1(&parms, &reply, client_);
    if (stat != RPC_SUCCESS) {
        return transport_failure(Call::create, stat, 0);
    }
    if (reply.error != 0) {
        drop_connection();
        return error_reply(Call::create, reply.error, 0);
    }
    lid_ = reply.lid;
    max_recv_size_ =
        reply.maxRecvSize >= kMinRecvSize ? static_cast<uint32_t>(reply.maxRecvSize) : kMinRecvSize;
    return {};
}

// B.6.3 device_write: at most maxRecvSize bytes a call; END only on the last piece, and only
// when the device was opened with EOI on writes; what a reply did not accept is sent again.
Outcome Link::write(const char* data, long count) {
    if (client_ == nullptr) {
        return dead_link(Call::write);
    }
    pending_.clear();
    SigpipeGuard guard;
    const auto end_by = deadline();
    long sent = 0;
    do {
        const long piece = std::min<long>(count - sent, max_recv_size_);
        const bool last = sent + piece == count;
        Device_WriteParms parms{};
        parms.lid = lid_;
        parms.io_timeout = time_left(end_by);
        parms.flags = last && settings_.end_on_write ? DEVICE_FLAG_END : 0;
        parms.data.data_len = static_cast<u_int>(piece);
        parms.data.data_val = const_cast<char*>(data + sent);
        Device_WriteResp reply{};
        Set_call_timeout(client_, parms.io_timeout + kCallMarginMs);
        const clnt_stat stat = device_write_1(&parms, &reply, client_);
        if (stat != RPC_SUCCESS) {
            return transport_failure(Call::write, stat, sent);
        }
        sent += std::min<long>(static_cast<long>(reply.size), piece);
        if (reply.error != 0) {
            return error_reply(Call::write, reply.error, sent);
        }
        if (sent < count && time_left(end_by) == 0) {
            return error_reply(Call::write, 15, sent);
        }
    } while (sent < count);
    return {CMPL, 0, sent};
}

long Link::take_pending(char* data, long count) {
    const long n = std::min<long>(count, static_cast<long>(pending_.size()));
    if (n == 0) {
        return 0;
    }
    std::memcpy(data, pending_.data(), static_cast<std::size_t>(n));
    pending_.erase(0, static_cast<std::size_t>(n));
    return n;
}

// B.6.4 device_read: asks for the bytes still wanted with the time still left, until the
// count is reached or a reply's reason has CHR or END; reason 0 means the gateway's buffer
// filled first, so it reads on. Bytes beyond the count wait for the next read.
Outcome Link::read(char* data, long count) {
    if (client_ == nullptr) {
        return dead_link(Call::read);
    }
    long got = take_pending(data, count);
    long reason = pending_.empty() ? pending_reason_ : DEVICE_REASON_REQCNT;
    if (got == 0) {
        reason = 0;
    }
    SigpipeGuard guard;
    const auto end_by = deadline();
    while (got < count && (reason & (DEVICE_REASON_CHR | DEVICE_REASON_END)) == 0) {
        Device_ReadParms parms{};
        parms.lid = lid_;
        parms.requestSize = static_cast<u_long>(count - got);
        parms.io_timeout = time_left(end_by);
        parms.flags = settings_.end_on_char ? DEVICE_FLAG_TERMCHRSET : 0;
        parms.termChar = settings_.term_char;
        Device_ReadResp reply{};
        Set_call_timeout(client_, parms.io_timeout + kCallMarginMs);
        const clnt_stat stat = device_read_1(&parms, &reply, client_);
        if (stat != RPC_SUCCESS) {
            return transport_failure(Call::read, stat, got);
        }
        const long arrived = static_cast<long>(reply.data.data_len);
        const long used = std::min(arrived, count - got);
        pending_.clear();
        if (arrived > 0) {
            std::memcpy(data + got, reply.data.data_val, static_cast<std::size_t>(used));
            pending_.assign(reply.data.data_val + used, static_cast<std::size_t>(arrived - used));
        }
        got += used;
        pending_reason_ = reply.reason;
        reason = pending_.empty() ? reply.reason : DEVICE_REASON_REQCNT;
        const long error = reply.error;
        xdr_free(reinterpret_cast<xdrproc_t>(xdr_Device_ReadResp), reinterpret_cast<char*>(&reply));
        if (error != 0) {
            return error_reply(Call::read, error, got);
        }
        if (got < count && reason == 0 && time_left(end_by) == 0) {
            return error_reply(Call::read, 15, got);
        }
    }
    return {CMPL | ((reason & DEVICE_REASON_END) != 0 ? END : 0), 0, got};
}

// B.6.8 device_clear.
Outcome Link::clear() {
    if (client_ == nullptr) {
        return dead_link(Call::clear);
    }
    pending_.clear();
    SigpipeGuard guard;
    Device_GenericParms parms{};
    parms.lid = lid_;
    parms.io_timeout = time_left(deadline());
    Device_Error reply{};
    Set_call_timeout(client_, parms.io_timeout + kCallMarginMs);
    const clnt_stat stat = device_clear_1(&parms, &reply, client_);
    if (stat != RPC_SUCCESS) {
        return transport_failure(Call::clear, stat, 0);
    }
    if (reply.error != 0) {
        return error_reply(Call::clear, reply.error, 0);
    }
    return {};
}

// B.6.6 destroy_link, then the connection is closed whatever the reply.
Outcome Link::close(uint32_t call_ms, bool quiet) {
    if (client_ == nullptr) {
        return {};
    }
    SigpipeGuard guard;
    Device_Link lid = lid_;
    Device_Error reply{};
    Set_call_timeout(client_, call_ms);
    const clnt_stat stat = destroy_link_1(&lid, &reply, client_);
    if (stat != RPC_SUCCESS) {
        return transport_failure(Call::destroy, stat, 0, quiet);
    }
    drop_connection();
    if (reply.error != 0) {
        return error_reply(Call::destroy, reply.error, 0, quiet);
    }
    return {};
}

}  // namespace vxi11
