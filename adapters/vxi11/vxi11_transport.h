// The network side of the driver: where the gateway is (VXI11_HOST, its portmapper), bounded
// connections and the RPC clients on them, and the guard that keeps a broken connection's
// SIGPIPE from ending the program.
#pragma once

#include <netinet/in.h>
#include <rpc/rpc.h>
#include <signal.h>

#include <cstdint>
#include <string>

namespace vxi11 {

// How long a connection may take to open, and how long the portmapper may take to answer.
inline constexpr int kConnectMs = 3000;

// Reads VXI11_HOST ("host" or "host:port", IPv4 only) and finds the gateway's core channel:
// the given port, else the port the portmapper (VXI11_PORTMAPPER_PORT, default 111) names for
// the core program over TCP, asked over TCP and then over UDP. On failure `why` says what went
// wrong.
bool Locate_core_channel(sockaddr_in& core, std::string& why);

// An RPC client over a new TCP connection to `address`, opened within kConnectMs, with
// TCP_NODELAY set; destroying the client closes the connection. Null on failure, with `why`.
CLIENT* Open_tcp_client(const sockaddr_in& address, rpcprog_t program, rpcvers_t version,
                        std::string& why);

// The longest a call on the client may wait for its reply.
void Set_call_timeout(CLIENT* client, uint64_t ms);

// Blocks SIGPIPE in the calling thread for the guard's lifetime; a SIGPIPE raised meanwhile
// (libtirpc writes to a socket the gateway may have closed) is consumed before the mask is
// restored. The process's signal disposition is never touched.
class SigpipeGuard {
  public:
    SigpipeGuard();
    ~SigpipeGuard();
    SigpipeGuard(const SigpipeGuard&) = delete;
    SigpipeGuard& operator=(const SigpipeGuard&) = delete;

  private:
    sigset_t old_mask_;
    bool was_pending_ = false;
};

}  // namespace vxi11
