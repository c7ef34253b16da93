// One instrument reply as the adapter delivers it after "++read eoi": the bytes up to the
// instrument's EOI, followed by the end marker the adapter is told to append ("++eot_enable 1",
// "++eot_char"). The reader serves the reply in the pieces the caller asks for, finds its end
// for replies of any byte values, and throws away what a caller leaves unread.
#pragma once

#include <cstddef>
#include <string>

#include "adapters/prologix/port.h"

namespace prologix {

// The byte the adapter appends when it sees EOI: ASCII EOT, which the instrument's text replies
// (printable characters ended by CR LF) never hold.
inline constexpr char kEndMarker = 0x04;

struct ReadOutcome {
    long count = 0;        // bytes delivered
    bool end = false;      // the last of them was the reply's last byte
    bool timeout = false;  // the call's limit passed first
    int error = 0;         // errno of a failed adapter, 0 when none
};

class ReplyReader {
  public:
    // quiet_ms: how long the adapter stays silent before it is certain that its read has ended
    // (its inter-character time-out plus the transport's delay); held_quiet_ms: the longer
    // silence after a held marker byte that rules out a stall of the adapter or the transport
    // (see reply_reader.cpp).
    void attach(Port* port, long quiet_ms, long held_quiet_ms);
    // Delivers at most `count` bytes of the current reply, asking the adapter for one when none
    // is open.
    ReadOutcome read(char* dest, long count, Clock::time_point deadline);
    // Reads and throws away the rest of the current reply. Returns 0 or an errno value
    // (ETIMEDOUT when the adapter is still talking at the deadline).
    int discard(Clock::time_point deadline);
    // After a time-out: waits until the adapter has been quiet for its time-out, so that late
    // bytes of the abandoned reply cannot be taken for the next one. Returns 0 or errno
    // (ETIMEDOUT when it is still talking at the deadline).
    int settle(Clock::time_point deadline);
    void forget();

  private:
    enum class Fetch { bytes, quiet, deadline, failed };

    Port* port_ = nullptr;
    long quiet_ms_ = 100;
    long held_quiet_ms_ = 500;
    std::string pending_;         // received, not yet delivered
    std::size_t taken_ = 0;       // of pending_
    bool active_ = false;         // a "++read" is out and its reply has not ended
    bool complete_ = false;       // the end marker of the current reply has been seen
    bool marker_held_ = false;    // a marker byte whose meaning the next byte (or silence) tells
    bool marker_tested_ = false;  // "++read eoi" has been sent again since the held marker came
    bool text_ = true;            // every byte so far is printable ASCII, CR or LF
    bool must_settle_ = false;
    char last_[2] = {0, 0};
    int error_ = 0;
    Clock::time_point last_activity_{};
    Clock::time_point marker_at_{};  // when the held marker byte came

    // Sends "++read eoi"; `fresh` for a new reply (what came before is thrown away).
    int request(Clock::time_point deadline, bool fresh);
    Fetch fetch(Clock::time_point deadline, long quiet_ms);
    void feed(const char* data, std::size_t size);
    void push(char byte);
    void end_reply();
    std::size_t available() const { return pending_.size() - taken_; }
};

}  // namespace prologix
