// The fake adapter's "++" protocol.
//
// Modelled behaviours and where the adapters define them:
// - Host input: an unescaped CR or LF ends a line; ESC makes the next byte (CR, LF, ESC, "+")
//   data; a line starting with an unescaped "++" is a command, anything else goes to the
//   instrument with the "++eos" terminator appended (Prologix GPIB-USB Controller User Manual
//   6.107, 7 Data Transmission, 7.1, 8.5 eos; AR488 User Manual 0.53.03, "Transmission of
//   Commands and Data", "Sending Data and Special Characters", ++eos).
// - Data reach the instrument only in controller mode, at the address set (8.12 mode, 8.1 addr).
// - "++auto 1" reads the reply after every data line (8.2 auto).
// - "++read eoi" passes the instrument's bytes unmodified, and the "++eot_char" byte after the
//   one sent with EOI when "++eot_enable 1"; with nothing to read it gives up after
//   "++read_tmo_ms" and sends nothing (8.6, 8.7, 8.13, 8.14; AR488 ++read, ++eot_enable,
//   ++eot_char, ++read_tmo_ms).
// - "++read_tmo_ms" takes 1..3000 on a Prologix (8.14 and the manual's change log of
//   Sept 14, 2009), 0..32000 on an AR488 (++read_tmo_ms); "++eot_char" a byte value.
// - "++ver": a Prologix answers its version; an AR488 answers its version string, which can be
//   customised ("++id verstr") to a Prologix string, and "++ver real" always gives the AR488's
//   own (AR488 manual, ++ver, ++id; FWVER in AR488_Config.h). This fake AR488 is customised.
// - "++clr" sends selected device clear (8.3 clr); "++spoll" answers the status byte in decimal
//   and "++srq" 0 or 1 (8.17, 8.18); the AR488 adds "++dcl" and "++fndl" (AR488 manual).
// - An Arduino with auto-reset on DTR restarts when its port is opened (Arduino Playground,
//   "Disabling Auto Reset On Serial Connection") and drops what it receives until its sketch
//   runs: startup_ms.
// - Hostile adapters: an AR488 in "++auto 3" reads the instrument over and over and an AR488 in
//   verbose mode echoes its input (AR488 manual, ++auto, ++verbose); "Unrecognized command" is
//   the AR488's answer to an unknown command; the rest are stalls and faults of the link.
#include "support_fake_adapter.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <sstream>
#include <stdexcept>
#include <utility>

#include "sim/scope_model.h"
#include "sim/sim_config.h"

namespace fake_adapter {
namespace {

using Clock = std::chrono::steady_clock;

constexpr char kEsc = 0x1B;
constexpr const char* kPrologixVersion = "Prologix GPIB-USB Controller version 6.107";
constexpr const char* kAr488Version = "AR488 GPIB controller, ver. 0.51.29, 18/03/2024";

}  // namespace

SimulatedScope::SimulatedScope() {
    sim::reset_instrument(sim::read_config());
}
void SimulatedScope::receive(const std::string& message) {
    sim::receive_command(message);
}
std::string SimulatedScope::talk() {
    std::string out(sim::output_remaining(), '\0');
    out.resize(sim::read_output(out.data(), out.size()));
    return out;
}
void SimulatedScope::clear() {
    sim::clear_device();
}

void EchoInstrument::receive(const std::string& message) {
    received.push_back(message);
    reply_ = message;
}
std::string EchoInstrument::talk() {
    return silent ? std::string() : std::exchange(reply_, std::string());
}

FakeAdapter::FakeAdapter(const Options& options, Instrument& instrument)
    : options_(options), instrument_(instrument), scope_address_(sim::read_config().address) {
    if (pipe(stop_) != 0)
        throw std::runtime_error("pipe");
    if (options_.transport == Transport::pty)
        open_pty();
    else
        open_tcp();
    thread_ = std::thread([this] { run(); });
}

FakeAdapter::~FakeAdapter() {
    (void)!write(stop_[1], "x", 1);
    thread_.join();
    for (int fd : {fd_, listen_fd_, stop_[0], stop_[1]}) {
        if (fd >= 0)
            close(fd);
    }
}

bool FakeAdapter::wait_closed(int timeout_ms) const {
    const auto until = Clock::now() + std::chrono::milliseconds(timeout_ms);
    while (closed_ == 0 && Clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return closed_ > 0;
}

std::vector<std::string> FakeAdapter::commands() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return commands_;
}

void FakeAdapter::open_pty() {
    fd_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (fd_ < 0 || grantpt(fd_) != 0 || unlockpt(fd_) != 0)
        throw std::runtime_error("posix_openpt");
    termios t{};
    tcgetattr(fd_, &t);
    cfmakeraw(&t);
    tcsetattr(fd_, TCSANOW, &t);
    port_ = ptsname(fd_);
    // A USB serial port starts with HUPCL set (the kernel's tty_std_termios); a pty does not.
    const int port = ::open(port_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (port < 0 || tcgetattr(port, &t) != 0)
        throw std::runtime_error("pty port");
    t.c_cflag |= HUPCL;
    tcsetattr(port, TCSANOW, &t);
    close(port);
}

void FakeAdapter::open_tcp() {
    listen_fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = 0;  // the kernel chooses
    socklen_t len = sizeof a;
    if (bind(listen_fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        listen(listen_fd_, 1) != 0 ||
        getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&a), &len) != 0)
        throw std::runtime_error("listen");
    port_ = "127.0.0.1:" + std::to_string(ntohs(a.sin_port));
}

// False when the test is over.
bool FakeAdapter::wait_readable(int fd, int timeout_ms, bool& hangup) {
    pollfd p[2] = {{fd, POLLIN, 0}, {stop_[0], POLLIN, 0}};
    poll(p, 2, timeout_ms);
    hangup = (p[0].revents & (POLLHUP | POLLERR)) != 0 && (p[0].revents & POLLIN) == 0;
    return p[1].revents == 0;
}

bool FakeAdapter::pause(int ms) {
    pollfd p{stop_[0], POLLIN, 0};
    poll(&p, 1, ms);
    return p.revents == 0;
}

void FakeAdapter::run() {
    bool hangup = false;
    if (options_.transport == Transport::tcp) {
        while (!gone_ && wait_readable(listen_fd_, -1, hangup)) {
            fd_ = accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
            if (fd_ >= 0)
                serve_connection(fd_);
            if (fd_ >= 0)
                close(fd_);
            fd_ = -1;
        }
        return;
    }
    // A pty master reports a hang-up while no one has the terminal open: each opening of the
    // port is one connection.
    while (!gone_ && wait_readable(fd_, 10, hangup)) {
        if (hangup) {
            pause(5);
            continue;
        }
        serve_connection(fd_);
    }
}

void FakeAdapter::serve_connection(int fd) {
    const Clock::time_point started = Clock::now();
    s_ = Settings{};
    line_.clear();
    escape_ = false;
    leading_plus_ = 0;
    char buffer[4096];
    bool hangup = false;
    bool host_closed = false;
    const Hostile h = options_.hostile;
    const bool talks = h == Hostile::auto_stream || h == Hostile::chatter || h == Hostile::flood;
    if (h == Hostile::auto_stream)
        s_.auto_read = 3;
    while (!gone_ && wait_readable(fd, talks ? 50 : -1, hangup) && !(host_closed = hangup)) {
        if (talks)
            babble();
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n <= 0) {
            host_closed = n == 0 || errno != EAGAIN;
            if (host_closed)
                break;
            continue;
        }
        if (Clock::now() - started < std::chrono::milliseconds(options_.startup_ms))
            continue;  // still in the boot loader
        if (!options_.mute)
            take(buffer, static_cast<std::size_t>(n));
    }
    if (host_closed)
        ++closed_;
}

void FakeAdapter::take(const char* data, std::size_t size) {
    for (std::size_t i = 0; i < size && !gone_; ++i) {
        const char c = data[i];
        if (!escape_ && c == kEsc) {
            escape_ = true;
            continue;
        }
        if (!escape_ && (c == '\r' || c == '\n')) {
            end_line();
            continue;
        }
        if (!escape_ && c == '+' && leading_plus_ == static_cast<int>(line_.size()))
            ++leading_plus_;
        escape_ = false;
        line_ += c;
        if (options_.hostile == Hostile::stall && line_.size() == 1000)
            pause(500);
    }
}

void FakeAdapter::babble() {
    if (options_.hostile == Hostile::flood)
        send(std::string(512, 'x'));
    else if (options_.hostile == Hostile::chatter)
        send("T=23.5C\r\n");
    else if (s_.auto_read == 3)
        send("+1.234E-03\r\n");
}

void FakeAdapter::end_line() {
    const std::string line = std::exchange(line_, std::string());
    const bool is_command = leading_plus_ >= 2 && line.size() >= 2;
    leading_plus_ = 0;
    if (line.empty())
        return;
    if (options_.hostile == Hostile::echo)
        send(line + "\r\n");
    if (is_command) {
        command(line.substr(2));
        return;
    }
    if (s_.mode != 1 || s_.pad != scope_address_ || s_.sad != 0)
        return;  // nobody listens
    static const char* const kEos[] = {"\r\n", "\r", "\n", ""};
    rest_.clear();  // a new message: the instrument drops the rest of its reply
    instrument_.receive(line + kEos[s_.eos]);
    if (options_.hostile == Hostile::stray_line)
        send("+1.234E-03\r\n");
    if (s_.auto_read == 1)
        read_instrument();
}

void FakeAdapter::command(const std::string& line) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        commands_.push_back("++" + line);
    }
    std::istringstream in(line);
    std::string name, value, extra;
    in >> name >> value >> extra;
    const bool ar488 = options_.dialect == Dialect::ar488;
    if (options_.hostile == Hostile::complains && name == "savecfg") {
        send("Unrecognized command\r\n");
    } else if (name == "ver") {
        send(std::string(ar488 && value == "real" ? kAr488Version : kPrologixVersion) + "\r\n");
    } else if (name == "read") {
        read_instrument();
    } else if (name == "clr" || (ar488 && name == "dcl")) {
        rest_.clear();
        instrument_.clear();
    } else if (name == "spoll") {
        send("0\r\n");
    } else if (name == "srq") {
        send("0\r\n");
    } else if (ar488 && name == "fndl") {
        send(line.find(std::to_string(scope_address_)) != std::string::npos
                 ? std::to_string(scope_address_) + "\r\n"
                 : "\r\n");
    } else if (name == "addr") {
        s_.pad = std::atoi(value.c_str());
        s_.sad = extra.empty() ? 0 : std::atoi(extra.c_str());
        if (s_.pad < 0 || s_.pad > 30 || (s_.sad != 0 && (s_.sad < 96 || s_.sad > 126)))
            ++rejected_;
    } else if (!value.empty()) {
        set_value(name, value);
    }
}

void FakeAdapter::set_value(const std::string& name, const std::string& value) {
    const long v = std::atol(value.c_str());
    const bool ar488 = options_.dialect == Dialect::ar488;
    auto in_range = [&](long lo, long hi) {
        if (v >= lo && v <= hi)
            return true;
        ++rejected_;
        return false;
    };
    if (name == "mode" && in_range(0, 1))
        s_.mode = static_cast<int>(v);
    else if (name == "auto" && in_range(0, ar488 ? 3 : 1))
        s_.auto_read = static_cast<int>(v);
    else if (name == "eos" && in_range(0, 3))
        s_.eos = static_cast<int>(v);
    else if (name == "eoi" && in_range(0, 1))
        s_.eoi = v == 1;
    else if (name == "eot_enable" && in_range(0, 1))
        s_.eot_enable = v == 1;
    else if (name == "eot_char" && in_range(0, 255))
        s_.eot_char = static_cast<int>(v);
    else if (name == "read_tmo_ms" && in_range(ar488 ? 0 : 1, ar488 ? 32000 : 3000))
        s_.read_tmo_ms = v;
}

void FakeAdapter::read_instrument() {
    if (options_.hang_up_on_read) {
        hang_up();
        return;
    }
    while (options_.hostile == Hostile::endless && pause(5)) send(std::string(64, 'y'));
    if (options_.hostile == Hostile::late && !std::exchange(answered_late_, true))
        pause(300);
    const bool addressed = s_.mode == 1 && s_.pad == scope_address_ && s_.sad == 0;
    std::string reply = !rest_.empty() ? std::exchange(rest_, std::string())
                        : addressed    ? instrument_.talk()
                                       : std::string();
    if (reply.empty()) {
        pause(static_cast<int>(s_.read_tmo_ms));  // the per-character time-out runs out
        return;
    }
    const std::size_t data_marker = reply.find(static_cast<char>(s_.eot_char));
    if (options_.hostile == Hostile::marker_pause && data_marker != std::string::npos &&
        data_marker + 1 < reply.size()) {
        // No EOI with that byte, and the next one late: the read ends at the time-out with
        // nothing appended; the instrument keeps the rest for the next read.
        send(reply.substr(0, data_marker + 1));
        pause(static_cast<int>(s_.read_tmo_ms));
        rest_ = reply.substr(data_marker + 1);
        return;
    }
    if (s_.eot_enable)
        reply += static_cast<char>(s_.eot_char);
    const std::size_t cut = reply.find(static_cast<char>(s_.eot_char)) + 1;
    if (options_.hostile == Hostile::marker_gap && cut < reply.size()) {
        send(reply.substr(0, cut));
        pause(200);
        reply.erase(0, cut);
    }
    send(reply);
}

void FakeAdapter::send(const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = options_.transport == Transport::tcp
                              ? ::send(fd_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL)
                              : write(fd_, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            return;
        pollfd p[2] = {{fd_, POLLOUT, 0}, {stop_[0], POLLIN, 0}};
        poll(p, 2, 100);
        if (p[1].revents != 0)
            return;
    }
}

void FakeAdapter::hang_up() {
    // USB unplugged or the network connection reset: the port vanishes under the host.
    if (options_.transport == Transport::tcp) {
        linger l{1, 0};  // a reset, not an orderly close
        setsockopt(fd_, SOL_SOCKET, SO_LINGER, &l, sizeof l);
    }
    close(fd_);
    fd_ = -1;
    gone_ = true;
}

}  // namespace fake_adapter
