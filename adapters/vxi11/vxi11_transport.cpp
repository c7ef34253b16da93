// Finding the gateway's core channel and opening bounded TCP connections for the RPC clients.
// The portmapper is asked with libtirpc's own XDR routines for its protocol (program 100000,
// version 2, GETPORT); tirpc's pmap_getport cannot be pointed at another port than 111.
#include "adapters/vxi11/vxi11_transport.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <rpc/pmap_prot.h>
#include <sys/socket.h>
#include <unistd.h>

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

bool Resolve_ipv4(const std::string& host, sockaddr_in& address, std::string& why) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const int rc = getaddrinfo(host.c_str(), nullptr, &hints, &found);
    if (rc != 0 || found == nullptr) {
        why = "cannot resolve VXI11_HOST \"" + host + "\": " + gai_strerror(rc);
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

// Connects a non-blocking socket, waits up to kConnectMs, then makes it blocking again.
int Connect_bounded(const sockaddr_in& address, std::string& why) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        why = Errno_text("socket", errno);
        return -1;
    }
    int error = 0;
    if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        error = errno;
        if (error == EINPROGRESS) {
            pollfd p{fd, POLLOUT, 0};
            const int ready = poll(&p, 1, kConnectMs);
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
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
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

CLIENT* Open_udp_client(const sockaddr_in& address, rpcprog_t program, rpcvers_t version) {
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return nullptr;
    }
    const netbuf remote = Netbuf_of(address);
    CLIENT* client = clnt_dg_create(fd, &remote, program, version, 0, 0);
    if (client == nullptr) {
        close(fd);
        return nullptr;
    }
    clnt_control(client, CLSET_FD_CLOSE, nullptr);
    timeval retry = To_timeval(500);
    clnt_control(client, CLSET_RETRY_TIMEOUT, reinterpret_cast<char*>(&retry));
    return client;
}

// GETPORT for the core channel over TCP; 0 when the call itself failed.
bool Ask_getport(CLIENT* client, u_long& port) {
    pmap query{};
    query.pm_prog = DEVICE_CORE;
    query.pm_vers = DEVICE_CORE_VERSION;
    query.pm_prot = IPPROTO_TCP;
    const clnt_stat stat =
        clnt_call(client, PMAPPROC_GETPORT, reinterpret_cast<xdrproc_t>(xdr_pmap),
                  reinterpret_cast<char*>(&query), reinterpret_cast<xdrproc_t>(xdr_u_long),
                  reinterpret_cast<char*>(&port), To_timeval(kConnectMs));
    clnt_destroy(client);
    return stat == RPC_SUCCESS;
}

bool Ask_portmapper(sockaddr_in portmapper, uint16_t& core_port, std::string& why) {
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
    CLIENT* tcp = Open_tcp_client(portmapper, PMAPPROG, PMAPVERS, tcp_why);
    bool answered = tcp != nullptr && Ask_getport(tcp, port);
    if (!answered) {
        CLIENT* udp = Open_udp_client(portmapper, PMAPPROG, PMAPVERS);
        answered = udp != nullptr && Ask_getport(udp, port);
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

bool Locate_core_channel(sockaddr_in& core, std::string& why) {
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
    if (!Resolve_ipv4(host, core, why)) {
        return false;
    }
    if (port == 0 && !Ask_portmapper(core, port, why)) {
        return false;
    }
    core.sin_port = htons(port);
    return true;
}

CLIENT* Open_tcp_client(const sockaddr_in& address, rpcprog_t program, rpcvers_t version,
                        std::string& why) {
    const int fd = Connect_bounded(address, why);
    if (fd < 0) {
        return nullptr;
    }
    const netbuf remote = Netbuf_of(address);
    CLIENT* client = clnt_vc_create(fd, &remote, program, version, 0, 0);
    if (client == nullptr) {
        why = clnt_spcreateerror("RPC client");
        close(fd);
        return nullptr;
    }
    clnt_control(client, CLSET_FD_CLOSE, nullptr);
    return client;
}

void Set_call_timeout(CLIENT* client, uint64_t ms) {
    timeval tv = To_timeval(ms);
    clnt_control(client, CLSET_TIMEOUT, reinterpret_cast<char*>(&tv));
}

SigpipeGuard::SigpipeGuard() {
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe, &old_mask_);
    sigset_t pending;
    sigpending(&pending);
    was_pending_ = sigismember(&pending, SIGPIPE) == 1;
}

SigpipeGuard::~SigpipeGuard() {
    sigset_t pending;
    sigpending(&pending);
    if (!was_pending_ && sigismember(&pending, SIGPIPE) == 1) {
        sigset_t pipe;
        sigemptyset(&pipe);
        sigaddset(&pipe, SIGPIPE);
        const timespec zero{0, 0};
        sigtimedwait(&pipe, nullptr, &zero);
    }
    pthread_sigmask(SIG_SETMASK, &old_mask_, nullptr);
}

}  // namespace vxi11
