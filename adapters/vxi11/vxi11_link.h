// One device link on a VXI-11 gateway's core channel (VXI-11 B.6): create_link when opened,
// device_write / device_read / device_clear for the bus calls, destroy_link when closed. Every
// outcome is given as the NI-488.2 status word, error code and count.
#pragma once

#include <rpc/rpc.h>

#include <cstdint>
#include <memory>
#include <string>

#include "adapters/vxi11/gpib_status.h"
#include "adapters/vxi11/vxi11_transport.h"

namespace vxi11 {

struct Outcome {
    int status = CMPL;
    int error = 0;
    long count = 0;
    bool failed() const { return (status & ERR) != 0; }
};

// The core channel's calls, by the names the VXI-11 standard gives them.
enum class Call { create, write, read, clear, destroy };
const char* Call_name(Call call);

struct LinkSettings {
    std::string device;       // the gateway's name for the instrument, e.g. "gpib0,5"
    uint32_t timeout_ms = 0;  // the I/O time-out, 0 for none
    bool end_on_write = true;
    bool end_on_char = false;  // reads also end at term_char
    char term_char = 0;
};

class Link {
  public:
    Link() = default;
    ~Link();
    Link(const Link&) = delete;
    Link& operator=(const Link&) = delete;

    // Connects to the gateway and creates the link (no lock).
    Outcome open(const LinkSettings& settings);
    // Writes count bytes in pieces no larger than the gateway accepts.
    Outcome write(const char* data, long count);
    // Reads until count bytes, the end of the message or the time-out.
    Outcome read(char* data, long count);
    Outcome clear();
    // Destroys the link and closes the connection; `call_ms` bounds the call, `quiet` keeps
    // failures off standard error.
    Outcome close(uint32_t call_ms, bool quiet);

  private:
    std::unique_ptr<RpcConnection> rpc_;  // null once closed or after a transport failure
    long lid_ = 0;
    uint32_t max_recv_size_ = 1024;
    LinkSettings settings_;
    // Bytes a gateway returned beyond a read's count, and the reason of the reply they came in.
    std::string pending_;
    long pending_reason_ = 0;

    // The end of a bus call begun now: the I/O time-out from now, kNoDeadline without one.
    Clock::time_point deadline() const;
    // Milliseconds left before the deadline, or a very long time without one.
    uint32_t time_left(Clock::time_point deadline) const;
    Outcome transport_failure(Call call, clnt_stat stat, long count, bool quiet = false);
    Outcome error_reply(Call call, long error, long count, bool quiet = false);
    // The gateway answered without an error but against the protocol, or without progress.
    Outcome misbehaviour(Call call, const std::string& what, long count);
    // The bus call's time-out ran out between replies.
    Outcome timed_out(Call call, long done, long count);
    Outcome dead_link(Call call) const;
    long take_pending(char* data, long count);
    void drop_connection();
};

// The outcome of a VXI-11 error code returned by a call.
Outcome Outcome_of_error(Call call, long error, long count);
// The VXI-11 name of an error code (B.5.4), "unknown error" for a code it does not define.
const char* Error_name(long error);

}  // namespace vxi11
