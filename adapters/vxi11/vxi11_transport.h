// The network side of the driver: where the gateway is (VXI11_HOST, its portmapper), bounded
// connections, and ONC RPC calls over them (RFC 5531) that end by an absolute deadline whatever
// the gateway sends, trickles or leaves unread.
#pragma once

#include <netinet/in.h>
#include <rpc/rpc.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

namespace vxi11 {

using Clock = std::chrono::steady_clock;
// Clock::time_point::max() stands for "no deadline".
inline constexpr Clock::time_point kNoDeadline = Clock::time_point::max();

// How long a connection may take to open, how long the portmapper may take to answer (over TCP
// and UDP together), and how long create_link may take.
inline constexpr int kConnectMs = 3000;

// Now plus `ms`.
Clock::time_point Deadline_in(uint64_t ms);

// One TCP connection carrying RPC calls to one program. A call sends its request and waits for
// the reply with the same xid, both against the deadline; records with another xid are skipped.
// The socket is never left blocked: every send and receive polls for the time left.
class RpcConnection {
  public:
    RpcConnection(int fd, rpcprog_t program, rpcvers_t version);
    ~RpcConnection();
    RpcConnection(const RpcConnection&) = delete;
    RpcConnection& operator=(const RpcConnection&) = delete;

    // RPC_TIMEDOUT when the deadline passed, RPC_CANTSEND / RPC_CANTRECV when the connection
    // failed, RPC_CANTDECODERES for a reply that does not decode (or is too large); the other
    // codes when the gateway refused the call. On failure `out` is freed.
    clnt_stat call(rpcproc_t procedure, xdrproc_t encode, void* in, xdrproc_t decode, void* out,
                   Clock::time_point deadline);

  private:
    int fd_;
    rpcprog_t program_;
    rpcvers_t version_;
    uint32_t xid_;

    clnt_stat send_all(const char* data, std::size_t size, Clock::time_point deadline);
    clnt_stat receive_all(char* data, std::size_t size, Clock::time_point deadline);
    clnt_stat receive_record(std::string& record, Clock::time_point deadline);
};

// Reads VXI11_HOST ("host" or "host:port", IPv4 only) and finds the gateway's core channel:
// the host name looked up, then the given port, else the port the portmapper
// (VXI11_PORTMAPPER_PORT, default 111) names for the core program over TCP, asked over TCP and
// then over UDP, all by `deadline`. On failure `why` says what went wrong.
bool Locate_core_channel(Clock::time_point deadline, sockaddr_in& core, std::string& why);

// An RPC connection to `address`, opened by `deadline`, with TCP_NODELAY set. Null on failure,
// with `why`.
std::unique_ptr<RpcConnection> Open_connection(const sockaddr_in& address, rpcprog_t program,
                                               rpcvers_t version, Clock::time_point deadline,
                                               std::string& why);

}  // namespace vxi11
