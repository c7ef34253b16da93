// One open device behind a "++" adapter: opening and identifying the adapter, setting it up,
// and the bus operations of the driver's entry points as adapter commands.
#pragma once

#include <string>

#include "adapters/prologix/adapter_config.h"
#include "adapters/prologix/port.h"
#include "adapters/prologix/reply_reader.h"

namespace prologix {

// The outcome of one driver call, as the status word, error code and count report it.
struct CallResult {
    int status = 0;  // ERR, TMO, END (CMPL is added by the entry points)
    int error = 0;
    long count = 0;
};

class Session {
  public:
    // Opens the adapter named by the environment for the device at pad/sad with a call limit of
    // call_ms (0 = none). Returns 0, or an errno value with `why` saying what failed.
    int open(int pad, int sad, long call_ms, std::string& why);
    void close();
    bool is_open() const { return port_.is_open(); }
    Dialect dialect() const { return dialect_; }
    const std::string& where() const { return where_; }
    long call_ms() const { return call_ms_; }

    CallResult write(const char* data, long count);
    CallResult read(char* dest, long count);
    // Selected device clear of the open device.
    CallResult clear();
    // Addresses the open device again after a command for another address.
    CallResult reset_address();
    // An adapter command without an answer ("++ifc"), or with a one-line answer ("++spoll").
    CallResult command(const std::string& line);
    CallResult query(const std::string& line, std::string& answer);

  private:
    Port port_;
    ReplyReader reader_;
    Dialect dialect_ = Dialect::prologix;
    std::string where_;
    long call_ms_ = 0;
    int pad_ = 0;
    int sad_ = 0;

    // What ends a data line that a stalled write left half sent ("" when none is open).
    std::string unfinished_line_end_;

    Clock::time_point deadline() const;
    Clock::time_point write_deadline() const;
    int send_text(const std::string& text, Clock::time_point deadline, std::size_t& sent);
    int send_line(const std::string& line, Clock::time_point deadline);
    int finish_broken_line(Clock::time_point deadline);
    bool read_line(std::string& line, Clock::time_point deadline, int& error);
    int identify(Clock::time_point deadline, std::string& why);
    int skip_stray_answers(Clock::time_point deadline);
    static CallResult failed(int error_number);
    // ETIMEDOUT: the call's limit passed (TMO, EABO); anything else: the system error.
    static CallResult timed_out_or_failed(int error_number, long count);
};

// Escapes data for the adapter: CR, LF, ESC and "+" each preceded by ESC, then an unescaped LF
// to end the line.
std::string escape_for_adapter(const char* data, long count);

}  // namespace prologix
