// The fake gateway's server: two listening sockets on loopback with ephemeral ports, the core
// channel's generated dispatcher registered on one and a minimal portmapper (RFC 1833,
// version 2: NULL and GETPORT) on the other, both with svc_reg and no netconfig, so nothing is
// registered with a system rpcbind, and never unregistered either (see the destructor). One thread
// serves both until the gateway is destroyed.
#include "support_fake_gateway.h"

#include <rpc/rpc.h>

#include <rpc/pmap_prot.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <stdexcept>

#include "vxi11.h"

extern "C" void device_core_1(svc_req* request, SVCXPRT* transport);

namespace fake_vxi11 {
namespace {

GatewayState& the_state = state();
SVCXPRT* core_transport = nullptr;
SVCXPRT* portmapper_transport = nullptr;

// receive_buffer: the accepted connections' receive buffer in bytes (0: the system's).
int Listen_on_loopback(uint16_t& port, int receive_buffer = 0) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    // Set before listening, so that the window offered at the connection's start is the small one.
    if (fd >= 0 && receive_buffer > 0)
        setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receive_buffer, sizeof receive_buffer);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(fd, 16) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        throw std::runtime_error("fake gateway: no loopback socket");
    }
    port = ntohs(address.sin_port);
    return fd;
}

void Portmapper_dispatch(svc_req* request, SVCXPRT* transport) {
    if (request->rq_proc == NULLPROC) {
        svc_sendreply(transport,
                      reinterpret_cast<xdrproc_t>(reinterpret_cast<void (*)()>(xdr_void)), nullptr);
        return;
    }
    if (request->rq_proc != PMAPPROC_GETPORT) {
        svcerr_noproc(transport);
        return;
    }
    pmap query{};
    if (!svc_getargs(transport, reinterpret_cast<xdrproc_t>(xdr_pmap),
                     reinterpret_cast<char*>(&query))) {
        svcerr_decode(transport);
        return;
    }
    u_long port = 0;
    if (query.pm_prog == DEVICE_CORE && query.pm_vers == DEVICE_CORE_VERSION &&
        query.pm_prot == IPPROTO_TCP) {
        const std::lock_guard<std::mutex> lock(the_state.mutex);
        port = the_state.core_port;
    }
    svc_sendreply(transport, reinterpret_cast<xdrproc_t>(xdr_u_long),
                  reinterpret_cast<char*>(&port));
}

// Connections (every served descriptor but the two listening ones).
std::vector<int> Connections() {
    std::vector<int> fds;
    for (int i = 0; i < svc_max_pollfd; ++i) {
        const int fd = svc_pollfd[i].fd;
        if (fd >= 0 && fd != core_transport->xp_fd && fd != portmapper_transport->xp_fd) {
            fds.push_back(fd);
        }
    }
    return fds;
}

// One round: wait up to 10 ms for requests, serve them, then drop the connections a
// procedure doomed. A dropped connection is seen as closed and released by the next round.
void Serve_once() {
    std::vector<pollfd> fds(svc_pollfd, svc_pollfd + svc_max_pollfd);
    const int ready = poll(fds.data(), fds.size(), 10);
    if (ready > 0) {
        svc_getreq_poll(fds.data(), ready);
    }
    const std::lock_guard<std::mutex> lock(the_state.mutex);
    for (const int fd : the_state.doomed_fds) {
        if (fd >= 0) {
            shutdown(fd, SHUT_RDWR);
        } else {
            for (const int connection : Connections()) shutdown(connection, SHUT_RDWR);
        }
    }
    the_state.doomed_fds.clear();
}

void Serve() {
    // A client that gave up has closed its connection: answering it must not end the tests.
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
    for (;;) {
        {
            const std::lock_guard<std::mutex> lock(the_state.mutex);
            if (the_state.stop) {
                break;
            }
        }
        Serve_once();
    }
    for (int round = 0; round < 100 && !Connections().empty(); ++round) {
        for (const int fd : Connections()) shutdown(fd, SHUT_RDWR);
        Serve_once();
    }
}

}  // namespace

FakeGateway::FakeGateway() {
    {
        const std::lock_guard<std::mutex> lock(the_state.mutex);
        the_state.behaviour = Behaviour{};
        the_state.next_lid = 0;
        the_state.links.clear();
        the_state.names.clear();
        the_state.writes.clear();
        the_state.reads.clear();
        the_state.clears = 0;
        the_state.message.clear();
        the_state.output.clear();
        the_state.output_pos = 0;
        the_state.doomed_fds.clear();
        the_state.stop = false;
    }
    const int core_fd = Listen_on_loopback(core_port_);
    const int portmapper_fd = Listen_on_loopback(portmapper_port_);
    the_state.core_port = core_port_;
    core_transport = svc_vc_create(core_fd, 0, 0);
    portmapper_transport = svc_vc_create(portmapper_fd, 0, 0);
    if (core_transport == nullptr || portmapper_transport == nullptr ||
        !svc_reg(core_transport, DEVICE_CORE, DEVICE_CORE_VERSION, device_core_1, nullptr) ||
        !svc_reg(portmapper_transport, PMAPPROG, PMAPVERS, Portmapper_dispatch, nullptr)) {
        throw std::runtime_error("fake gateway: RPC service not created");
    }
    server_ = std::thread(Serve);
}

FakeGateway::~FakeGateway() {
    {
        const std::lock_guard<std::mutex> lock(the_state.mutex);
        the_state.stop = true;
    }
    server_.join();
    // No svc_unreg: it would also ask the machine's rpcbind to forget these programs (its own
    // portmapper entries among them). The registrations stay in this process only, and the next
    // gateway's svc_reg with the same dispatchers finds them.
    svc_destroy(core_transport);
    svc_destroy(portmapper_transport);
    core_transport = portmapper_transport = nullptr;
}

std::string FakeGateway::host_with_port() const {
    return "127.0.0.1:" + std::to_string(core_port_);
}

void FakeGateway::set_behaviour(const Behaviour& behaviour) {
    const std::lock_guard<std::mutex> lock(the_state.mutex);
    the_state.behaviour = behaviour;
}

void FakeGateway::set_reply(const std::string& bytes) {
    const std::lock_guard<std::mutex> lock(the_state.mutex);
    the_state.output = bytes;
    the_state.output_pos = 0;
}

std::vector<WriteRecord> FakeGateway::writes() const {
    const std::lock_guard<std::mutex> lock(the_state.mutex);
    return the_state.writes;
}

std::vector<ReadRecord> FakeGateway::reads() const {
    const std::lock_guard<std::mutex> lock(the_state.mutex);
    return the_state.reads;
}

std::vector<std::string> FakeGateway::link_names() const {
    const std::lock_guard<std::mutex> lock(the_state.mutex);
    return the_state.names;
}

int FakeGateway::open_links() const {
    const std::lock_guard<std::mutex> lock(the_state.mutex);
    return static_cast<int>(the_state.links.size());
}

int FakeGateway::clears() const {
    const std::lock_guard<std::mutex> lock(the_state.mutex);
    return the_state.clears;
}

void FakeGateway::drop_connections() {
    {
        const std::lock_guard<std::mutex> lock(the_state.mutex);
        the_state.doomed_fds.push_back(-1);  // marker: every connection
    }
    // Two rounds of the server: the connections are shut down, then seen closed and released.
    for (int waited = 0; waited < 100; ++waited) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        const std::lock_guard<std::mutex> lock(the_state.mutex);
        if (the_state.doomed_fds.empty() && waited >= 5) {
            break;
        }
    }
}

}  // namespace fake_vxi11

namespace fake_vxi11 {
namespace {

bool Receive(int fd, char* data, std::size_t size) {
    for (ssize_t n = 0; size > 0; data += n, size -= static_cast<std::size_t>(n)) {
        if ((n = recv(fd, data, size, 0)) <= 0) {
            return false;
        }
    }
    return true;
}

// One call record (the driver sends each in one fragment); its xid.
bool Receive_call(int fd, uint32_t& xid) {
    uint32_t mark = 0;
    std::string body;
    if (!Receive(fd, reinterpret_cast<char*>(&mark), 4)) {
        return false;
    }
    body.resize(ntohl(mark) & 0x7FFFFFFF);
    if (body.size() < 4 || !Receive(fd, body.data(), body.size())) {
        return false;
    }
    std::memcpy(&xid, body.data(), 4);
    xid = ntohl(xid);
    return true;
}

// An accepted reply record (RFC 5531): xid, REPLY, MSG_ACCEPTED, null verifier, SUCCESS,
// then the results' words.
std::string Reply(uint32_t xid, std::vector<uint32_t> results) {
    std::vector<uint32_t> words{0, xid, 1, 0, 0, 0, 0};
    words.insert(words.end(), results.begin(), results.end());
    words[0] = 0x80000000u | static_cast<uint32_t>(words.size() * 4 - 4);
    std::string bytes;
    for (uint32_t word : words) {
        word = htonl(word);
        bytes.append(reinterpret_cast<const char*>(&word), 4);
    }
    return bytes;
}

}  // namespace

RawGateway::RawGateway(Hostility mode) {
    // A few kilobytes of window: a sender meets the full buffers after some tens of kilobytes.
    constexpr int kNarrowBuffer = 4096;
    listener_ = Listen_on_loopback(port_, mode == Hostility::deaf_narrow ? kNarrowBuffer : 0);
    thread_ = std::thread([this, mode] { serve(mode); });
}

RawGateway::~RawGateway() {
    {
        const std::lock_guard<std::mutex> lock(the_state.mutex);
        stop_ = true;
    }
    thread_.join();
    close(listener_);
}

std::string RawGateway::host_with_port() const {
    return "127.0.0.1:" + std::to_string(port_);
}

void RawGateway::serve(Hostility mode) {
    pollfd p{listener_, POLLIN, 0};
    if (poll(&p, 1, 5000) != 1) {
        return;
    }
    const int fd = accept(listener_, nullptr, nullptr);
    uint32_t xid = 0;
    if (Receive_call(fd, xid)) {  // create_link: error 0, lid 0, abortPort 0, maxRecvSize
        const std::string created = Reply(xid, {0, 0, 0, 0x7FFFFFFF});
        send(fd, created.data(), created.size(), MSG_NOSIGNAL);
    }
    const bool answer =
        mode != Hostility::deaf && mode != Hostility::deaf_narrow && Receive_call(fd, xid);
    const std::string reply = Reply(mode == Hostility::wrong_xid ? xid + 1 : xid, {0, 4});
    for (std::size_t i = 0;; ++i) {
        {
            const std::lock_guard<std::mutex> lock(the_state.mutex);
            if (stop_) {
                break;
            }
        }
        if (answer && mode == Hostility::trickle && i < reply.size()) {
            send(fd, &reply[i], 1, MSG_NOSIGNAL);
        } else if (answer && mode == Hostility::wrong_xid) {
            send(fd, reply.data(), reply.size(), MSG_NOSIGNAL);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }
    close(fd);
}

}  // namespace fake_vxi11
