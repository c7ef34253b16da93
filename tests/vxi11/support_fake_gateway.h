// A fake LAN-GPIB gateway for the tests: a VXI-11 core channel (create_link, device_write,
// device_read, device_clear, destroy_link) on a loopback port, and a minimal portmapper on
// another, served by a thread of the test program. The instrument behind it is the simulated
// HP 54200A's model; a test may replace its reply with bytes of its own, and may make the
// gateway misbehave in the ways real gateways do.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace fake_vxi11 {

// What the gateway does differently from a well-behaved one; read at each call.
struct Behaviour {
    uint32_t max_recv_size = 1024;  // announced by create_link (the smallest allowed)
    long create_error = 0;          // create_link answers with this error
    long write_error = 0;           // device_write answers with this error
    long read_error = 0;            // device_read answers with this error
    long accept_limit = 0;          // device_write takes at most this many bytes (0: all, -1: none)
    long packet_size = 0;   // device_read answers at most this many bytes, reason 0 unless END
    long extra_bytes = 0;   // device_read answers this many bytes beyond the request size
    long stall_after = -1;  // the instrument says nothing after this many bytes of a reply
    long vanish_after_reads = -1;  // after this many reads, drops every connection
    int reply_delay_ms = 0;        // every answer waits this long (a slow gateway)
    long empty_reason = -1;        // device_read answers no data with this reason (if >= 0)
};

struct WriteRecord {
    std::string data;
    bool end = false;
    uint32_t io_timeout = 0;
};

struct ReadRecord {
    uint32_t request_size = 0;
    uint32_t io_timeout = 0;
    std::string data;  // what the answer carried
    long reason = 0;
};

class FakeGateway {
  public:
    FakeGateway();  // serving once constructed
    ~FakeGateway();
    FakeGateway(const FakeGateway&) = delete;
    FakeGateway& operator=(const FakeGateway&) = delete;

    uint16_t core_port() const { return core_port_; }
    uint16_t portmapper_port() const { return portmapper_port_; }
    // "127.0.0.1:<core port>", the VXI11_HOST that reaches the core channel directly.
    std::string host_with_port() const;

    void set_behaviour(const Behaviour& behaviour);
    // The instrument's next reply, instead of what the model would answer.
    void set_reply(const std::string& bytes);
    std::vector<WriteRecord> writes() const;
    std::vector<ReadRecord> reads() const;
    std::vector<std::string> link_names() const;  // create_link's device names, in order
    int open_links() const;
    int clears() const;
    // Closes every connection now (the gateway is switched off while idle).
    void drop_connections();

  private:
    uint16_t core_port_ = 0;
    uint16_t portmapper_port_ = 0;
    std::thread server_;
};

// What the RPC server cannot be made to do, on a bare TCP socket: create_link is answered
// (maxRecvSize 0x7FFFFFFF), then the next call is met with its reply trickled a byte every
// 300 ms, with a reply of another xid every 300 ms, or by reading nothing more (deaf; with a
// receive buffer of a few kilobytes, deaf_narrow, so that a long write waits to be sent).
enum class Hostility { none, trickle, wrong_xid, deaf, deaf_narrow };
class RawGateway {
  public:
    explicit RawGateway(Hostility mode);
    ~RawGateway();
    RawGateway(const RawGateway&) = delete;
    RawGateway& operator=(const RawGateway&) = delete;
    std::string host_with_port() const;

  private:
    int listener_ = -1;
    uint16_t port_ = 0;
    bool stop_ = false;  // under the gateway state's mutex
    std::thread thread_;
    void serve(Hostility mode);
};

// The state the RPC procedures work on (one gateway at a time in a process).
struct GatewayState {
    mutable std::mutex mutex;
    Behaviour behaviour;
    uint16_t core_port = 0;
    long next_lid = 0;  // link ids count from 0, a valid id
    std::vector<long> links;
    std::vector<std::string> names;
    std::vector<WriteRecord> writes;
    std::vector<ReadRecord> reads;
    int clears = 0;
    std::string message;  // device_write data until END
    std::string output;   // the instrument's reply being read
    std::size_t output_pos = 0;
    std::vector<int> doomed_fds;  // connections to drop after the current call
    bool stop = false;
};

GatewayState& state();

}  // namespace fake_vxi11
