// The byte stream to the adapter: a serial device (raw, 8N1, no flow control) or a TCP
// connection. Every wait is bounded; a vanished adapter shows as an error number, never as a
// hang or a signal.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

namespace prologix {

using Clock = std::chrono::steady_clock;

class Port {
  public:
    Port() = default;
    ~Port() { close(); }
    Port(const Port&) = delete;
    Port& operator=(const Port&) = delete;

    // `where` is a serial port (Linux: a device path, "/dev/ttyUSB0"; Windows: "COM3" or
    // "\\.\COM10") or "host[:port]"; name lookup and connection end by `deadline`. A serial port is
    // held exclusively. Returns 0, or an errno value with `why` saying what failed.
    int open(const std::string& where, long baud, Clock::time_point deadline, std::string& why);
    void close();
    bool is_open() const;
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
#if defined(_WIN32)
    void* com_ = nullptr;         // the serial port's HANDLE, opened for overlapped I/O
    void* read_event_ = nullptr;  // the events of its overlapped reads and writes
    void* write_event_ = nullptr;
    std::uintptr_t socket_ = ~std::uintptr_t{0};  // the TCP connection's SOCKET
#else
    int fd_ = -1;
#endif
    bool tcp_ = false;

    int open_serial(const std::string& path, long baud, std::string& why);
    int open_tcp(const std::string& host, const std::string& service, Clock::time_point deadline,
                 std::string& why);
};

// Splits "host[:port]" (the port defaults to the GPIB-ETHERNET's 1234). False for a serial port.
bool split_tcp_address(const std::string& where, std::string& host, std::string& service);

// Whether `where` names a serial port rather than a host: on Linux a device path (it starts with
// '/' or '.'); on Windows "COMn" or "\\.\COMn". Each platform's transport defines it.
bool names_serial_port(const std::string& where);

// How long a TCP connection may take to open, within the opening's own deadline.
inline constexpr int kConnectTimeoutMs = 3000;

}  // namespace prologix
