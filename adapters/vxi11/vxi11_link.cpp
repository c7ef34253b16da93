// A device link on the gateway's core channel. Section numbers are those of the VXI-11
// standard (TCP/IP Instrument Protocol, rev. 1.0).
#include "adapters/vxi11/vxi11_link.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "vxi11.h"

namespace vxi11 {
namespace {

// A bus call's RPC replies are awaited this much longer than its I/O time-out, so that a
// gateway that times out answers before the driver gives up. A bus call returns within its
// time-out + 1 s whatever the gateway does: the last 20 ms of that second are left for the
// work after the last wait.
constexpr auto kCallMargin = std::chrono::milliseconds(1000 - 20);
// "No time-out": long enough never to end a session, small enough for every field it meets.
constexpr uint32_t kNoLimitMs = 0x7FFFFFFF;
// The smallest maximum receive size a gateway may announce (B.6.2); a gateway announcing less
// (even 0) is sent pieces of this size.
constexpr uint32_t kMinRecvSize = 1024;
// The largest write piece and read request, whatever maxRecvSize a gateway announces: a piece
// is one RPC record that the gateway must take in whole before it answers.
constexpr long kMaxPiece = 1 << 20;
// Replies in a row that moved no data and gave no reason to stop: the gateway is not working.
constexpr int kMaxIdleReplies = 4;

template <typename T>
xdrproc_t Xdr(bool_t (*routine)(XDR*, T*)) {
    return reinterpret_cast<xdrproc_t>(routine);
}

// The RPC deadline of a bus call that ends at `deadline`.
Clock::time_point Rpc_deadline(Clock::time_point deadline) {
    return deadline == kNoDeadline ? kNoDeadline : deadline + kCallMargin;
}

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

Clock::time_point Link::deadline() const {
    return settings_.timeout_ms == 0 ? kNoDeadline : Deadline_in(settings_.timeout_ms);
}

uint32_t Link::time_left(Clock::time_point deadline) const {
    if (deadline == kNoDeadline) {
        return kNoLimitMs;
    }
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<uint32_t>(left) : 0;
}

void Link::drop_connection() {
    rpc_.reset();
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

Outcome Link::misbehaviour(Call call, const std::string& what, long count) {
    Report(Call_name(call), what);
    return {ERR | CMPL, EDVR, count};
}

Outcome Link::timed_out(Call call, long done, long count) {
    Report(Call_name(call), "the time-out ran out with " + std::to_string(done) + " of " +
                                std::to_string(count) + " bytes moved");
    return {ERR | TMO | CMPL, EABO, done};
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
    // One limit for finding the gateway: name lookup, portmapper and connection.
    const Clock::time_point deadline = Deadline_in(kConnectMs);
    if (!Locate_core_channel(deadline, core, why) ||
        (rpc_ = Open_connection(core, DEVICE_CORE, DEVICE_CORE_VERSION, deadline, why)) ==
            nullptr) {
        Report("create_link", why);
        return {ERR | CMPL, ENEB, 0};
    }
    Create_LinkParms parms{};
    parms.clientId = static_cast<long>(getpid());
    parms.lockDevice = 0;
    parms.lock_timeout = 0;
    parms.device = const_cast<char*>(settings_.device.c_str());
    Create_LinkResp reply{};
    const clnt_stat stat = rpc_->call(create_link, Xdr(xdr_Create_LinkParms), &parms,
                                      Xdr(xdr_Create_LinkResp), &reply, Deadline_in(kConnectMs));
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

// B.6.3 device_write: at most maxRecvSize bytes a call (and no more than kMaxPiece); END only
// on the last piece, and only when the device was opened with EOI on writes; what a reply did
// not accept is sent again, while the time-out lasts and while the gateway takes something.
Outcome Link::write(const char* data, long count) {
    if (rpc_ == nullptr) {
        return dead_link(Call::write);
    }
    pending_.clear();
    const auto end_by = deadline();
    long sent = 0;
    int idle = 0;
    do {
        const long piece = std::min({count - sent, static_cast<long>(max_recv_size_), kMaxPiece});
        const bool last = sent + piece == count;
        Device_WriteParms parms{};
        parms.lid = lid_;
        parms.io_timeout = time_left(end_by);
        parms.flags = last && settings_.end_on_write ? DEVICE_FLAG_END : 0;
        parms.data.data_len = static_cast<u_int>(piece);
        parms.data.data_val = const_cast<char*>(data + sent);
        Device_WriteResp reply{};
        const clnt_stat stat = rpc_->call(device_write, Xdr(xdr_Device_WriteParms), &parms,
                                          Xdr(xdr_Device_WriteResp), &reply, Rpc_deadline(end_by));
        if (stat != RPC_SUCCESS) {
            return transport_failure(Call::write, stat, sent);
        }
        const long accepted = std::min<long>(static_cast<long>(reply.size), piece);
        sent += accepted;
        if (reply.error != 0) {
            return error_reply(Call::write, reply.error, sent);
        }
        idle = accepted > 0 ? 0 : idle + 1;
        if (piece > 0 && idle == kMaxIdleReplies) {
            return misbehaviour(
                Call::write,
                "the gateway accepted no data in " + std::to_string(idle) + " replies in a row",
                sent);
        }
        if (sent < count && time_left(end_by) == 0) {
            return timed_out(Call::write, sent, count);
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

// B.6.4 device_read: asks for the bytes still wanted (at most kMaxPiece) with the time still
// left, until the count is reached or a reply's reason has CHR or END (both reported as END);
// reason 0 means the gateway's buffer filled first, so it reads on. REQCNT on fewer bytes than
// asked for is against the protocol. Bytes beyond the count wait for the next read.
Outcome Link::read(char* data, long count) {
    if (rpc_ == nullptr) {
        return dead_link(Call::read);
    }
    constexpr long kStop = DEVICE_REASON_CHR | DEVICE_REASON_END;
    long got = take_pending(data, count);
    long reason = pending_.empty() ? pending_reason_ : DEVICE_REASON_REQCNT;
    if (got == 0) {
        reason = 0;
    }
    const auto end_by = deadline();
    int idle = 0;
    while (got < count && (reason & kStop) == 0) {
        Device_ReadParms parms{};
        parms.lid = lid_;
        parms.requestSize = static_cast<u_long>(std::min(count - got, kMaxPiece));
        parms.io_timeout = time_left(end_by);
        parms.flags = settings_.end_on_char ? DEVICE_FLAG_TERMCHRSET : 0;
        parms.termChar = settings_.term_char;
        Device_ReadResp reply{};
        const clnt_stat stat = rpc_->call(device_read, Xdr(xdr_Device_ReadParms), &parms,
                                          Xdr(xdr_Device_ReadResp), &reply, Rpc_deadline(end_by));
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
        xdr_free(Xdr(xdr_Device_ReadResp), reinterpret_cast<char*>(&reply));
        if (error != 0) {
            return error_reply(Call::read, error, got);
        }
        if ((pending_reason_ & (DEVICE_REASON_REQCNT | kStop)) == DEVICE_REASON_REQCNT &&
            arrived < static_cast<long>(parms.requestSize)) {
            return misbehaviour(Call::read,
                                "the gateway sent " + std::to_string(arrived) + " of " +
                                    std::to_string(parms.requestSize) +
                                    " bytes and said the request was filled",
                                got);
        }
        idle = arrived > 0 ? 0 : idle + 1;
        if (idle == kMaxIdleReplies && (reason & kStop) == 0) {
            return misbehaviour(
                Call::read,
                "the gateway sent no data in " + std::to_string(idle) + " replies in a row", got);
        }
        if (got < count && (reason & kStop) == 0 && time_left(end_by) == 0) {
            return timed_out(Call::read, got, count);
        }
    }
    return {CMPL | ((reason & kStop) != 0 ? END : 0), 0, got};
}

// B.6.8 device_clear.
Outcome Link::clear() {
    if (rpc_ == nullptr) {
        return dead_link(Call::clear);
    }
    pending_.clear();
    const auto end_by = deadline();
    Device_GenericParms parms{};
    parms.lid = lid_;
    parms.io_timeout = time_left(end_by);
    Device_Error reply{};
    const clnt_stat stat = rpc_->call(device_clear, Xdr(xdr_Device_GenericParms), &parms,
                                      Xdr(xdr_Device_Error), &reply, Rpc_deadline(end_by));
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
    if (rpc_ == nullptr) {
        return {};
    }
    Device_Link lid = lid_;
    Device_Error reply{};
    const clnt_stat stat = rpc_->call(destroy_link, Xdr(xdr_Device_Link), &lid,
                                      Xdr(xdr_Device_Error), &reply, Deadline_in(call_ms));
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
