// The byte stream to the adapter: a serial device (raw, 8N1, no flow control) or a TCP
// connection. Every wait is bounded; a vanished adapter shows as an error number, never as a
// hang or a signal.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>

namespace prologix {

using Clock = std::chrono::steady_clock;

class Port {
  public:
    Port() = default;
    ~Port() { close(); }
    Port(const Port&) = delete;
    Port& operator=(const Port&) = delete;

    // `where` is a device path ("/dev/ttyUSB0") or "host[:port]"; name lookup and connection
    // end by `deadline`. A serial port is held exclusively. Returns 0, or an errno value with
    // `why` saying what failed.
    int open(const std::string& where, long baud, Clock::time_point deadline, std::string& why);
    void close();
    bool is_open() const { return fd_ >= 0; }
    bool is_tcp() const { return tcp_; }

    // Sends every byte by `deadline`; `sent` tells how many went out. Returns 0 or an errno
    // value (ETIMEDOUT when the adapter stops taking the bytes).
    int write_all(const char* data, std::size_t size, Clock::time_point deadline,
                  std::size_t& sent);
    // Waits until `deadline` for bytes and reads what is there, at most max. Returns the count
    // (0: nothing came, or a signal woke the wait early), or minus an errno value (the adapter
    // hung up or failed).
    long read_some(char* buffer, std::size_t max, Clock::time_point deadline);
    // Throws away what has arrived from the adapter and not been read. Returns 0 or errno.
    int flush_input();

  private:
    int fd_ = -1;
    bool tcp_ = false;

    int open_serial(const std::string& path, long baud, std::string& why);
    int open_tcp(const std::string& host, const std::string& service, Clock::time_point deadline,
                 std::string& why);
};

// Splits "host[:port]" (the port defaults to the GPIB-ETHERNET's 1234). False for a device path.
bool split_tcp_address(const std::string& where, std::string& host, std::string& service);

}  // namespace prologix
