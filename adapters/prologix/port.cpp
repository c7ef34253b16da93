// The transport's logic common to every platform: what names a host, the TCP port number, the
// choice between serial port and TCP, and the flushing of unread input. The system calls are in
// port_posix.cpp and port_windows.cpp.
#include "adapters/prologix/port.h"

#include <cerrno>
#include <cstdlib>

namespace prologix {
namespace {

// The Prologix GPIB-ETHERNET takes its "++" commands on TCP port 1234 (Prologix GPIB-ETHERNET
// Controller User Manual, "Host Software").
constexpr const char* kDefaultTcpPort = "1234";

// A TCP port number 1..65535; anything else is refused, never wrapped.
bool is_port_number(const std::string& text) {
    if (text.empty() || text.size() > 5 ||
        text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    const long n = std::strtol(text.c_str(), nullptr, 10);
    return n >= 1 && n <= 65535;
}

}  // namespace

bool split_tcp_address(const std::string& where, std::string& host, std::string& service) {
    if (where.empty() || names_serial_port(where))
        return false;
    const auto colon = where.rfind(':');
    host = where.substr(0, colon);
    service = colon == std::string::npos ? kDefaultTcpPort : where.substr(colon + 1);
    return true;
}

int Port::open(const std::string& where, long baud, Clock::time_point deadline, std::string& why) {
    close();
    std::string host, service;
    if (split_tcp_address(where, host, service)) {
        if (!is_port_number(service)) {
            why = "\"" + service + "\" is not a TCP port number (1..65535)";
            return EINVAL;
        }
        return open_tcp(host, service, deadline, why);
    }
    return open_serial(where, baud, why);
}

int Port::flush_input() {
    // What is there now, not what keeps coming: an adapter that talks on is bounded by the
    // read that follows, never by this.
    char sink[4096];
    for (int i = 0; i < 64; ++i) {
        const long n = read_some(sink, sizeof sink, Clock::now());
        if (n <= 0)
            return n < 0 ? static_cast<int>(-n) : 0;
    }
    return 0;
}

}  // namespace prologix
