// Finding the gateway's core channel, opening bounded TCP connections, and the RPC calls on them.
// The portmapper is asked with libtirpc's own XDR routines for its protocol (program 100000,
// version 2, GETPORT); tirpc's pmap_getport cannot be pointed at another port than 111. The
// calls on a connection are framed here rather than by libtirpc's stream client, whose time-out
// bounds each wait for bytes but not the call: a reply trickled a byte at a time, or records
// with other xids, would hold it for ever.
#include "adapters/vxi11/vxi11_transport.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <rpc/pmap_prot.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "vxi11.h"

namespace vxi11 {
namespace {

constexpr uint16_t kPortmapperPort = 111;

bool Parse_port(const std::string& text, uint16_t& port) {
    if (text.empty() || text.size() > 5 ||
        text.find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    const long value = std::strtol(text.c_str(), nullptr, 10);
    if (value < 1 || value > 65535) {
        return false;
    }
    port = static_cast<uint16_t>(value);
    return true;
}

// Name lookup by the deadline: getaddrinfo_a(3) runs it on the C library's own thread, so a
// lookup that outlives the deadline (a resolver that does not answer) never holds the caller,
// nor this library, which may be unloaded meanwhile. A numeric address needs no lookup.
int Look_up_ipv4(const std::string& host, Clock::time_point deadline, addrinfo** list) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICHOST;
    if (getaddrinfo(host.c_str(), nullptr, &hints, list) == 0) {
        return 0;
    }
    struct Lookup {
        std::string host;
        addrinfo hints{};
        gaicb request{};
    };
    auto* q = new Lookup{host, hints, {}};
    q->hints.ai_flags = 0;
    q->request.ar_name = q->host.c_str();
    q->request.ar_request = &q->hints;
    gaicb* requests[] = {&q->request};
    if (const int r = getaddrinfo_a(GAI_NOWAIT, requests, 1, nullptr); r != 0) {
        delete q;
        return r;
    }
    int r = EAI_INPROGRESS;
    while ((r = gai_error(&q->request)) == EAI_INPROGRESS && Clock::now() < deadline) {
        const auto left = deadline - Clock::now();
        const auto s = std::chrono::duration_cast<std::chrono::seconds>(left);
        const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left - s);
        const timespec wait{static_cast<time_t>(s.count()), static_cast<long>(ns.count())};
        gai_suspend(requests, 1, &wait);
    }
    if (r == EAI_INPROGRESS) {
        if (gai_cancel(&q->request) != EAI_CANCELED) {
            return EAI_AGAIN;  // still running: its few bytes stay with the lookup, never freed
        }
        r = EAI_AGAIN;
    }
    *list = q->request.ar_result;
    delete q;
    return r;
}

bool Resolve_ipv4(const std::string& host, Clock::time_point deadline, sockaddr_in& address,
                  std::string& why) {
    addrinfo* found = nullptr;
    const int rc = Look_up_ipv4(host, deadline, &found);
    if (rc != 0 || found == nullptr) {
        why =
            "cannot resolve VXI11_HOST \"" + host + "\": " +
            (rc == EAI_AGAIN && Clock::now() >= deadline ? "no answer from the name lookup in time"
                                                         : gai_strerror(rc));
        if (found != nullptr) {
            freeaddrinfo(found);
        }
        return false;
    }
    std::memcpy(&address, found->ai_addr, sizeof address);
    freeaddrinfo(found);
    return true;
}

timeval To_timeval(uint64_t ms) {
    timeval tv{};
    tv.tv_sec = static_cast<time_t>(ms / 1000);
    tv.tv_usec = static_cast<suseconds_t>((ms % 1000) * 1000);
    return tv;
}

std::string Errno_text(const char* what, int error) {
    return std::string(what) + ": " + std::strerror(error);
}

// The largest reply record taken from a gateway (a device_read asks for at most 1 MiB).
constexpr std::size_t kMaxRecord = 16u << 20;

// Milliseconds left before the deadline for poll: -1 without one, 0 once it has passed.
int Poll_ms(Clock::time_point deadline) {
    if (deadline == kNoDeadline) {
        return -1;
    }
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(std::min<long long>(left, 0x7FFFFFFF)) : 0;
}

// Waits for `events` until the deadline: 1 ready, 0 the deadline passed, -1 a failure.
int Wait_for(int fd, short events, Clock::time_point deadline) {
    for (;;) {
        const int ms = Poll_ms(deadline);
        if (ms == 0) {
            return 0;
        }
        pollfd p{fd, events, 0};
        const int ready = poll(&p, 1, ms);
        if (ready > 0 || (ready < 0 && errno != EINTR)) {
            return ready > 0 ? 1 : -1;
        }
    }
}

// Connects a non-blocking socket by the deadline; the socket stays non-blocking.
int Connect_bounded(const sockaddr_in& address, Clock::time_point deadline, std::string& why) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        why = Errno_text("socket", errno);
        return -1;
    }
    int error = 0;
    if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        error = errno;
        if (error == EINPROGRESS) {
            const int ready = Wait_for(fd, POLLOUT, deadline);
            socklen_t len = sizeof error;
            if (ready == 0) {
                error = ETIMEDOUT;
            } else if (ready < 0 || getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &len) != 0) {
                error = errno;
            }
        }
    }
    if (error != 0) {
        why = Errno_text("connect", error);
        close(fd);
        return -1;
    }
    const int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    return fd;
}

netbuf Netbuf_of(const sockaddr_in& address) {
    netbuf buffer{};
    buffer.maxlen = sizeof address;
    buffer.len = sizeof address;
    buffer.buf = const_cast<sockaddr_in*>(&address);
    return buffer;
}

// GETPORT for the core channel over UDP, within what is left of the deadline (libtirpc's
// datagram client bounds the whole call, its retransmissions included).
bool Ask_getport_udp(const sockaddr_in& address, Clock::time_point deadline, u_long& port) {
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return false;
    }
    const netbuf remote = Netbuf_of(address);
    CLIENT* client = clnt_dg_create(fd, &remote, PMAPPROG, PMAPVERS, 0, 0);
    if (client == nullptr) {
        close(fd);
        return false;
    }
    clnt_control(client, CLSET_FD_CLOSE, nullptr);
    timeval retry = To_timeval(500);
    clnt_control(client, CLSET_RETRY_TIMEOUT, reinterpret_cast<char*>(&retry));
    pmap query{DEVICE_CORE, DEVICE_CORE_VERSION, IPPROTO_TCP, 0};
    const clnt_stat stat =
        clnt_call(client, PMAPPROC_GETPORT, reinterpret_cast<xdrproc_t>(xdr_pmap),
                  reinterpret_cast<char*>(&query), reinterpret_cast<xdrproc_t>(xdr_u_long),
                  reinterpret_cast<char*>(&port), To_timeval(std::max(Poll_ms(deadline), 1)));
    clnt_destroy(client);
    return stat == RPC_SUCCESS;
}

bool Ask_portmapper(sockaddr_in portmapper, Clock::time_point deadline, uint16_t& core_port,
                    std::string& why) {
    uint16_t pm_port = kPortmapperPort;
    if (const char* text = std::getenv("VXI11_PORTMAPPER_PORT"); text != nullptr && *text) {
        if (!Parse_port(text, pm_port)) {
            why = std::string("VXI11_PORTMAPPER_PORT \"") + text + "\" is not a port";
            return false;
        }
    }
    portmapper.sin_port = htons(pm_port);
    u_long port = 0;
    std::string tcp_why;
    auto tcp = Open_connection(portmapper, PMAPPROG, PMAPVERS, deadline, tcp_why);
    pmap query{DEVICE_CORE, DEVICE_CORE_VERSION, IPPROTO_TCP, 0};
    bool answered =
        tcp != nullptr &&
        tcp->call(PMAPPROC_GETPORT, reinterpret_cast<xdrproc_t>(xdr_pmap), &query,
                  reinterpret_cast<xdrproc_t>(xdr_u_long), &port, deadline) == RPC_SUCCESS;
    if (!answered && Poll_ms(deadline) > 0) {
        answered = Ask_getport_udp(portmapper, deadline, port);
    }
    if (!answered) {
        why = "no portmapper answers at port " + std::to_string(pm_port) +
              (tcp_why.empty() ? "" : " (" + tcp_why + ")");
        return false;
    }
    if (port == 0 || port > 65535) {
        why = "the portmapper knows no VXI-11 core service";
        return false;
    }
    core_port = static_cast<uint16_t>(port);
    return true;
}

}  // namespace

bool Locate_core_channel(Clock::time_point deadline, sockaddr_in& core, std::string& why) {
    const char* text = std::getenv("VXI11_HOST");
    if (text == nullptr || *text == '\0') {
        why = "VXI11_HOST is not set";
        return false;
    }
    std::string host = text;
    std::string port_text;
    if (const auto colon = host.rfind(':'); colon != std::string::npos) {
        port_text = host.substr(colon + 1);
        host.erase(colon);
    }
    uint16_t port = 0;
    if (!port_text.empty() || host.size() != std::strlen(text)) {
        if (!Parse_port(port_text, port)) {
            why = std::string("VXI11_HOST \"") + text + "\" has no valid port";
            return false;
        }
    }
    if (!Resolve_ipv4(host, deadline, core, why)) {
        return false;
    }
    if (port == 0 && !Ask_portmapper(core, deadline, port, why)) {
        return false;
    }
    core.sin_port = htons(port);
    return true;
}

Clock::time_point Deadline_in(uint64_t ms) {
    return Clock::now() + std::chrono::milliseconds(ms);
}

std::unique_ptr<RpcConnection> Open_connection(const sockaddr_in& address, rpcprog_t program,
                                               rpcvers_t version, Clock::time_point deadline,
                                               std::string& why) {
    const int fd = Connect_bounded(address, deadline, why);
    return fd < 0 ? nullptr : std::make_unique<RpcConnection>(fd, program, version);
}

RpcConnection::RpcConnection(int fd, rpcprog_t program, rpcvers_t version)
    : fd_(fd),
      program_(program),
      version_(version),
      xid_(static_cast<uint32_t>(Clock::now().time_since_epoch().count()) ^
           static_cast<uint32_t>(getpid())) {}

RpcConnection::~RpcConnection() {
    close(fd_);
}

// Sends without ever blocking and without SIGPIPE; waits for room only until the deadline, so a
// gateway that stops reading cannot hold a write.
clnt_stat RpcConnection::send_all(const char* data, std::size_t size, Clock::time_point deadline) {
    while (size > 0) {
        const ssize_t n = send(fd_, data, size, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            data += n;
            size -= static_cast<std::size_t>(n);
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            const int ready = Wait_for(fd_, POLLOUT, deadline);
            if (ready <= 0) {
                return ready == 0 ? RPC_TIMEDOUT : RPC_CANTSEND;
            }
        } else if (n == 0 || errno != EINTR) {
            return RPC_CANTSEND;
        }
    }
    return RPC_SUCCESS;
}

clnt_stat RpcConnection::receive_all(char* data, std::size_t size, Clock::time_point deadline) {
    while (size > 0) {
        const ssize_t n = recv(fd_, data, size, MSG_DONTWAIT);
        if (n > 0) {
            data += n;
            size -= static_cast<std::size_t>(n);
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            const int ready = Wait_for(fd_, POLLIN, deadline);
            if (ready <= 0) {
                return ready == 0 ? RPC_TIMEDOUT : RPC_CANTRECV;
            }
        } else if (n == 0 || errno != EINTR) {
            return RPC_CANTRECV;  // closed by the gateway, or failed
        }
    }
    return RPC_SUCCESS;
}

// One record of the stream (RFC 5531 section 11, record marking): fragments until the one
// whose header has the last-fragment bit.
clnt_stat RpcConnection::receive_record(std::string& record, Clock::time_point deadline) {
    record.clear();
    for (bool last = false; !last;) {
        uint32_t mark = 0;
        if (const clnt_stat stat = receive_all(reinterpret_cast<char*>(&mark), 4, deadline);
            stat != RPC_SUCCESS) {
            return stat;
        }
        mark = ntohl(mark);
        last = (mark & 0x80000000u) != 0;
        const std::size_t length = mark & 0x7FFFFFFFu;
        if (record.size() + length > kMaxRecord) {
            return RPC_CANTDECODERES;
        }
        const std::size_t at = record.size();
        record.resize(at + length);
        if (const clnt_stat stat = receive_all(record.data() + at, length, deadline);
            stat != RPC_SUCCESS) {
            return stat;
        }
    }
    return RPC_SUCCESS;
}

clnt_stat RpcConnection::call(rpcproc_t procedure, xdrproc_t encode, void* in, xdrproc_t decode,
                              void* out, Clock::time_point deadline) {
    // The call (RFC 5531 section 9) in one record: xid, CALL, RPC version 2, program, version,
    // procedure, AUTH_NONE credential and verifier, then the arguments.
    const uint32_t xid = ++xid_;
    const std::size_t args_size = xdr_sizeof(encode, in);
    uint32_t header[11] = {0,
                           xid,
                           CALL,
                           2,
                           static_cast<uint32_t>(program_),
                           static_cast<uint32_t>(version_),
                           static_cast<uint32_t>(procedure),
                           AUTH_NONE,
                           0,
                           AUTH_NONE,
                           0};
    header[0] = 0x80000000u | static_cast<uint32_t>(sizeof header - 4 + args_size);
    std::string buffer(sizeof header + args_size, '\0');
    for (std::size_t i = 0; i < 11; ++i) {
        const uint32_t word = htonl(header[i]);
        std::memcpy(buffer.data() + 4 * i, &word, 4);
    }
    XDR xdr;
    xdrmem_create(&xdr, buffer.data() + sizeof header, static_cast<u_int>(args_size), XDR_ENCODE);
    const bool encoded = encode(&xdr, in) != 0;
    xdr_destroy(&xdr);
    if (!encoded) {
        return RPC_CANTENCODEARGS;
    }
    if (const clnt_stat stat = send_all(buffer.data(), buffer.size(), deadline);
        stat != RPC_SUCCESS) {
        return stat;
    }
    // The reply with this call's xid; a record with another (a late reply to a call that was
    // given up, or a confused gateway) is skipped, until the deadline.
    for (uint32_t got_xid = 0; got_xid != xid;) {
        if (Poll_ms(deadline) == 0) {
            return RPC_TIMEDOUT;
        }
        if (const clnt_stat stat = receive_record(buffer, deadline); stat != RPC_SUCCESS) {
            return stat;
        }
        if (buffer.size() >= 4) {
            std::memcpy(&got_xid, buffer.data(), 4);
            got_xid = ntohl(got_xid);
        }
    }
    rpc_msg reply{};
    reply.acpted_rply.ar_verf = _null_auth;
    reply.acpted_rply.ar_results.where = static_cast<caddr_t>(out);
    reply.acpted_rply.ar_results.proc = decode;
    xdrmem_create(&xdr, buffer.data(), static_cast<u_int>(buffer.size()), XDR_DECODE);
    const bool decoded = xdr_replymsg(&xdr, &reply) != 0;
    xdr_destroy(&xdr);
    clnt_stat stat = decoded ? RPC_SUCCESS : RPC_CANTDECODERES;
    if (decoded && reply.rm_reply.rp_stat != MSG_ACCEPTED) {
        stat = reply.rjcted_rply.rj_stat == RPC_MISMATCH ? RPC_VERSMISMATCH : RPC_AUTHERROR;
    } else if (decoded) {
        xdr_free(reinterpret_cast<xdrproc_t>(xdr_opaque_auth),
                 reinterpret_cast<char*>(&reply.acpted_rply.ar_verf));
        switch (reply.acpted_rply.ar_stat) {
            case SUCCESS:
                break;
            case PROG_UNAVAIL:
                stat = RPC_PROGUNAVAIL;
                break;
            case PROG_MISMATCH:
                stat = RPC_PROGVERSMISMATCH;
                break;
            case PROC_UNAVAIL:
                stat = RPC_PROCUNAVAIL;
                break;
            case GARBAGE_ARGS:
                stat = RPC_CANTDECODEARGS;
                break;
            default:
                stat = RPC_SYSTEMERROR;
                break;
        }
    }
    if (stat != RPC_SUCCESS) {
        xdr_free(decode, static_cast<char*>(out));
    }
    return stat;
}

}  // namespace vxi11
