// Serial and TCP transport to a "++" adapter, the POSIX way (Linux): termios, poll, flock and
// TIOCEXCL, getaddrinfo_a.
#include "adapters/prologix/port.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace prologix {
namespace {

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

// Waits for `events` until `deadline`. A signal does not restart the wait with its whole
// time-out: what is left is worked out again from the deadline.
int wait_for(int fd, short events, Clock::time_point deadline, short& revents) {
    pollfd p{fd, events, 0};
    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        const long ms = std::clamp<long>(static_cast<long>(left.count()), 0, 60000);
        const int r = poll(&p, 1, static_cast<int>(ms));
        if (r < 0 && errno == EINTR && Clock::now() < deadline)
            continue;
        if (r < 0 && errno != EINTR)
            return errno;
        revents = r <= 0 ? 0 : p.revents;
        if (r == 0 && Clock::now() < deadline)
            continue;  // the wait was cut to 60 s
        return 0;
    }
}

// Name lookup within the opening's deadline: getaddrinfo_a(3) runs it on the C library's own
// thread, so a lookup that outlives the deadline never holds the caller (nor this library,
// which may be unloaded meanwhile).
int look_up(const std::string& host, const std::string& service, Clock::time_point deadline,
            addrinfo** list) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICHOST;
    if (getaddrinfo(host.c_str(), service.c_str(), &hints, list) == 0)
        return 0;
    struct Lookup {
        std::string host, service;
        addrinfo hints{};
        gaicb request{};
    };
    auto* q = new Lookup{host, service, hints, {}};
    q->hints.ai_flags = 0;
    q->request.ar_name = q->host.c_str();
    q->request.ar_service = q->service.c_str();
    q->request.ar_request = &q->hints;
    gaicb* requests[] = {&q->request};
    if (const int r = getaddrinfo_a(GAI_NOWAIT, requests, 1, nullptr); r != 0) {
        delete q;
        return r;
    }
    int r = EAI_INPROGRESS;
    while ((r = gai_error(&q->request)) == EAI_INPROGRESS && Clock::now() < deadline) {
        const auto left = deadline - Clock::now();
        const auto s = std::chrono::duration_cast<std::chrono::seconds>(left);
        const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left - s);
        const timespec wait{static_cast<time_t>(s.count()), static_cast<long>(ns.count())};
        gai_suspend(requests, 1, &wait);
    }
    if (r == EAI_INPROGRESS) {
        if (gai_cancel(&q->request) != EAI_CANCELED)
            return EAI_AGAIN;  // still running: its few bytes stay with the lookup, never freed
        r = EAI_AGAIN;
    }
    *list = q->request.ar_result;
    delete q;
    return r;
}

}  // namespace

bool names_serial_port(const std::string& where) {
    return !where.empty() && (where[0] == '/' || where[0] == '.');
}

bool Port::is_open() const {
    return fd_ >= 0;
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
    // One user at a time: a second process on the same adapter would take this one's replies
    // (TIOCEXCL for open(2), tty_ioctl(4); flock(2) for those that lock before they open).
    if (flock(fd, LOCK_EX | LOCK_NB) != 0 || ioctl(fd, TIOCEXCL) != 0) {
        const int e = errno == EWOULDBLOCK ? EBUSY : errno;
        why = std::string("the port is in use by another program: ") + std::strerror(e);
        ::close(fd);
        return e;
    }
    cfmakeraw(&t);
    // No HUPCL: dropping DTR at close would reset an Arduino-based adapter at the next opening.
    t.c_cflag &= ~static_cast<tcflag_t>(CSTOPB | PARENB | CRTSCTS | CSIZE | HUPCL);
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

int Port::open_tcp(const std::string& host, const std::string& service, Clock::time_point deadline,
                   std::string& why) {
    addrinfo* list = nullptr;
    if (const int r = look_up(host, service, deadline, &list); r != 0) {
        why = r == EAI_AGAIN ? "no answer from the name lookup in time" : gai_strerror(r);
        return EHOSTUNREACH;
    }
    int error = ECONNREFUSED;
    why = std::strerror(error);
    const Clock::time_point connect_by =
        Clock::now() + std::chrono::milliseconds(kConnectTimeoutMs);
    for (addrinfo* a = list; a != nullptr && fd_ < 0; a = a->ai_next) {
        const int fd = socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd < 0) {
            error = errno;
            continue;
        }
        short revents = 0;
        int e = connect(fd, a->ai_addr, a->ai_addrlen) == 0 ? 0 : errno;
        if (e == EINPROGRESS) {
            e = wait_for(fd, POLLOUT, std::min(deadline, connect_by), revents);
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

int Port::write_all(const char* data, std::size_t size, Clock::time_point deadline,
                    std::size_t& sent) {
    sent = 0;
    if (fd_ < 0)
        return EBADF;
    while (sent < size) {
        // MSG_NOSIGNAL: a reset connection must fail the call, not raise SIGPIPE.
        const ssize_t n = tcp_ ? send(fd_, data + sent, size - sent, MSG_NOSIGNAL)
                               : write(fd_, data + sent, size - sent);
        if (n > 0) {
            sent += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            return errno;
        if (Clock::now() >= deadline)
            return ETIMEDOUT;
        short revents = 0;
        if (const int e = wait_for(fd_, POLLOUT, deadline, revents); e != 0)
            return e;
        if ((revents & (POLLERR | POLLHUP)) != 0)
            return EIO;
    }
    return 0;
}

long Port::read_some(char* buffer, std::size_t max, Clock::time_point deadline) {
    if (fd_ < 0)
        return -EBADF;
    short revents = 0;
    if (const int e = wait_for(fd_, POLLIN, deadline, revents); e != 0)
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

}  // namespace prologix
