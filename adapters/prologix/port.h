// The byte stream to the adapter: a serial device (raw, 8N1, no flow control) or a TCP
// connection. Every wait is bounded; a vanished adapter shows as an error number, never as a
// hang or a signal.
#pragma once

#include <cstddef>
#include <string>

namespace prologix {

class Port {
  public:
    Port() = default;
    ~Port() { close(); }
    Port(const Port&) = delete;
    Port& operator=(const Port&) = delete;

    // `where` is a device path ("/dev/ttyUSB0") or "host[:port]". Returns 0, or an errno value
    // with `why` saying what failed.
    int open(const std::string& where, long baud, std::string& why);
    void close();
    bool is_open() const { return fd_ >= 0; }
    bool is_tcp() const { return tcp_; }

    // Sends every byte within timeout_ms. Returns 0 or an errno value (ETIMEDOUT when the
    // adapter does not take the bytes).
    int write_all(const char* data, std::size_t size, long timeout_ms);
    // Waits up to timeout_ms for bytes and reads what is there, at most max. Returns the count
    // (0: nothing came), or minus an errno value (the adapter hung up or failed).
    long read_some(char* buffer, std::size_t max, long timeout_ms);
    // Throws away what the system has buffered from the adapter.
    void flush_input();

  private:
    int fd_ = -1;
    bool tcp_ = false;

    int open_serial(const std::string& path, long baud, std::string& why);
    int open_tcp(const std::string& host, const std::string& service, std::string& why);
};

// Splits "host[:port]" (the port defaults to the GPIB-ETHERNET's 1234). False for a device path.
bool split_tcp_address(const std::string& where, std::string& host, std::string& service);

}  // namespace prologix
