// Serial and TCP transport to a "++" adapter.
#include "adapters/prologix/port.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace prologix {
namespace {

// The Prologix GPIB-ETHERNET takes its "++" commands on TCP port 1234 (Prologix GPIB-ETHERNET
// Controller User Manual, "Host Software").
constexpr const char* kDefaultTcpPort = "1234";
constexpr int kConnectTimeoutMs = 3000;

speed_t baud_constant(long baud) {
    switch (baud) {
        case 9600:
            return B9600;
        case 19200:
            return B19200;
        case 38400:
            return B38400;
        case 57600:
            return B57600;
        case 115200:
            return B115200;
        case 230400:
            return B230400;
        case 460800:
            return B460800;
        case 921600:
            return B921600;
        default:
            return B0;
    }
}

int wait_for(int fd, short events, long timeout_ms, short& revents) {
    pollfd p{fd, events, 0};
    for (;;) {
        const int r = poll(&p, 1, static_cast<int>(timeout_ms));
        if (r < 0 && errno == EINTR)
            continue;
        if (r < 0)
            return errno;
        revents = r == 0 ? 0 : p.revents;
        return 0;
    }
}

}  // namespace

bool split_tcp_address(const std::string& where, std::string& host, std::string& service) {
    if (where.empty() || where[0] == '/' || where[0] == '.')
        return false;
    const auto colon = where.rfind(':');
    host = where.substr(0, colon);
    service = colon == std::string::npos ? kDefaultTcpPort : where.substr(colon + 1);
    return true;
}

int Port::open(const std::string& where, long baud, std::string& why) {
    close();
    std::string host, service;
    if (split_tcp_address(where, host, service))
        return open_tcp(host, service, why);
    return open_serial(where, baud, why);
}

int Port::open_serial(const std::string& path, long baud, std::string& why) {
    const speed_t speed = baud_constant(baud);
    if (speed == B0) {
        why = "unsupported baud rate " + std::to_string(baud);
        return EINVAL;
    }
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int e = errno;
        why = std::strerror(e);
        return e;
    }
    termios t{};
    if (tcgetattr(fd, &t) != 0) {
        const int e = errno;
        why = std::string("not a serial port: ") + std::strerror(e);
        ::close(fd);
        return e;
    }
    cfmakeraw(&t);
    t.c_cflag &= ~static_cast<tcflag_t>(CSTOPB | PARENB | CRTSCTS | CSIZE);
    t.c_cflag |= CS8 | CLOCAL | CREAD;
    t.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    cfsetispeed(&t, speed);
    cfsetospeed(&t, speed);
    if (tcsetattr(fd, TCSANOW, &t) != 0) {
        const int e = errno;
        why = std::string("cannot set 8N1 raw mode: ") + std::strerror(e);
        ::close(fd);
        return e;
    }
    tcflush(fd, TCIOFLUSH);
    fd_ = fd;
    tcp_ = false;
    return 0;
}

int Port::open_tcp(const std::string& host, const std::string& service, std::string& why) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* list = nullptr;
    if (const int r = getaddrinfo(host.c_str(), service.c_str(), &hints, &list); r != 0) {
        why = gai_strerror(r);
        return EHOSTUNREACH;
    }
    int error = ECONNREFUSED;
    why = std::strerror(error);
    for (addrinfo* a = list; a != nullptr && fd_ < 0; a = a->ai_next) {
        const int fd = socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd < 0) {
            error = errno;
            continue;
        }
        short revents = 0;
        int e = connect(fd, a->ai_addr, a->ai_addrlen) == 0 ? 0 : errno;
        if (e == EINPROGRESS) {
            e = wait_for(fd, POLLOUT, kConnectTimeoutMs, revents);
            socklen_t len = sizeof e;
            if (e == 0 && revents == 0)
                e = ETIMEDOUT;
            else if (e == 0)
                getsockopt(fd, SOL_SOCKET, SO_ERROR, &e, &len);
        }
        if (e != 0) {
            error = e;
            why = std::strerror(e);
            ::close(fd);
            continue;
        }
        const int one = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        fd_ = fd;
        tcp_ = true;
    }
    freeaddrinfo(list);
    return fd_ >= 0 ? 0 : error;
}

void Port::close() {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

int Port::write_all(const char* data, std::size_t size, long timeout_ms) {
    if (fd_ < 0)
        return EBADF;
    std::size_t done = 0;
    while (done < size) {
        // MSG_NOSIGNAL: a reset connection must fail the call, not raise SIGPIPE.
        const ssize_t n = tcp_ ? send(fd_, data + done, size - done, MSG_NOSIGNAL)
                               : write(fd_, data + done, size - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN)
            return errno;
        short revents = 0;
        if (const int e = wait_for(fd_, POLLOUT, timeout_ms, revents); e != 0)
            return e;
        if (revents == 0)
            return ETIMEDOUT;
        if ((revents & (POLLERR | POLLHUP)) != 0)
            return EIO;
    }
    return 0;
}

long Port::read_some(char* buffer, std::size_t max, long timeout_ms) {
    if (fd_ < 0)
        return -EBADF;
    short revents = 0;
    if (const int e = wait_for(fd_, POLLIN, timeout_ms, revents); e != 0)
        return -e;
    if (revents == 0)
        return 0;
    if ((revents & POLLIN) != 0) {
        const ssize_t n = tcp_ ? recv(fd_, buffer, max, 0) : read(fd_, buffer, max);
        if (n > 0)
            return static_cast<long>(n);
        if (n < 0 && (errno == EAGAIN || errno == EINTR))
            return 0;
        // End of stream: the adapter closed the connection or the device went away.
        return n == 0 ? -(tcp_ ? ECONNRESET : EIO) : -errno;
    }
    return -(tcp_ ? ECONNRESET : EIO);
}

void Port::flush_input() {
    char sink[256];
    while (read_some(sink, sizeof sink, 0) > 0) {
    }
}

}  // namespace prologix
