// The "++" dialogue of one open device.
#include "adapters/prologix/session.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "adapters/prologix/driver_constants.h"

namespace prologix {
namespace {

// A board that resets when its port opens (Arduino Uno, Nano, Mega: DTR pulses the reset pin,
// Arduino Playground, "Disabling Auto Reset On Serial Connection") spends a while in its boot
// loader and drops what it is sent meanwhile, so "++ver" is repeated.
constexpr long kIdentifyPollMs = 250;
constexpr long kIdentifyWindowMs = 5000;
constexpr long kSecondIdentityMs = 500;
constexpr long kStrayAnswerQuietMs = 100;
// Beyond the adapter's own time-out, a margin for the transport: a USB serial bridge may hold a
// short packet back for some milliseconds, a network for longer.
constexpr long kSerialDelayMs = 30;
constexpr long kNetworkDelayMs = 100;
constexpr std::size_t kLongestLine = 256;
constexpr char kEsc = 0x1B;

}  // namespace

std::string escape_for_adapter(const char* data, long count) {
    // Prologix GPIB-USB Controller User Manual 6.107, 7 Data Transmission and 7.1 Binary Data
    // Transmission; AR488 User Manual, "Sending Data and Special Characters".
    std::string out;
    out.reserve(static_cast<std::size_t>(count) + 8);
    for (long i = 0; i < count; ++i) {
        const char c = data[i];
        if (c == '\r' || c == '\n' || c == kEsc || c == '+')
            out += kEsc;
        out += c;
    }
    out += '\n';
    return out;
}

CallResult Session::failed(int error_number) {
    return CallResult{ERR, EDVR, error_number};  // the driver ABI's system error: errno in ibcnt
}

Clock::time_point Session::deadline() const {
    if (call_ms_ <= 0)
        return Clock::time_point::max();
    return Clock::now() + std::chrono::milliseconds(call_ms_);
}

int Session::send_line(const std::string& line) {
    const std::string text = line + "\n";
    return port_.write_all(text.data(), text.size(), call_ms_ > 0 ? call_ms_ : 3000);
}

bool Session::read_line(std::string& line, long timeout_ms, int& error) {
    line.clear();
    const Clock::time_point until = Clock::now() + std::chrono::milliseconds(timeout_ms);
    char c = 0;
    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(until - Clock::now());
        const long n = port_.read_some(&c, 1, std::max<long>(0, left.count()));
        if (n < 0) {
            error = static_cast<int>(-n);
            return false;
        }
        if (n == 0)
            return false;
        if (c == '\n')
            break;
        // A garbled or endless answer is cut, never stored beyond the longest line.
        if (c != '\r' && line.size() < kLongestLine)
            line += c;
    }
    return true;
}

int Session::identify(std::string& why) {
    const Clock::time_point start = Clock::now();
    std::string line;
    int error = 0;
    bool answered = false;
    for (long t = 0; t < kIdentifyWindowMs && !answered; t += kIdentifyPollMs) {
        if ((error = send_line("++ver")) != 0) {
            why = std::string("cannot send to the adapter: ") + std::strerror(error);
            return error;
        }
        const auto next = start + std::chrono::milliseconds(t + kIdentifyPollMs);
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(next - Clock::now());
        answered = read_line(line, std::max<long>(0, left.count()), error) && !line.empty();
        if (error != 0) {
            why = std::string("the adapter went away: ") + std::strerror(error);
            return error;
        }
    }
    if (!answered) {
        why = "no answer to \"++ver\" within 5 s";
        return ETIMEDOUT;
    }
    skip_stray_answers();
    // An AR488 may be set to announce itself as a Prologix; "++ver real" gives its own string
    // (AR488 User Manual 0.53.03, ++ver). A Prologix answers its version or nothing.
    if (!is_ar488_identity(line)) {
        if ((error = send_line("++ver real")) != 0)
            return error;
        std::string own;
        if (read_line(own, kSecondIdentityMs, error) && is_ar488_identity(own))
            line = own;
        skip_stray_answers();
    }
    dialect_ = is_ar488_identity(line) ? Dialect::ar488 : Dialect::prologix;
    return 0;
}

void Session::skip_stray_answers() {
    // Answers to repeated "++ver"s that a restarting board had queued.
    char sink[256];
    while (port_.read_some(sink, sizeof sink, kStrayAnswerQuietMs) > 0) {
    }
}

int Session::open(int pad, int sad, long call_ms, std::string& why) {
    close();
    const PortSetting setting = read_port_setting();
    where_ = setting.where;
    if (!setting.problem.empty()) {
        why = setting.problem;
        return EINVAL;
    }
    if (const int e = port_.open(setting.where, setting.baud, why); e != 0)
        return e;
    pad_ = pad;
    sad_ = sad;
    call_ms_ = call_ms;
    if (const int e = identify(why); e != 0) {
        close();
        return e;
    }
    const long char_ms = inter_character_ms(call_ms);
    for (const std::string& line : setup_commands(dialect_, pad, sad, char_ms)) {
        if (const int e = send_line(line); e != 0) {
            why = std::string("cannot set the adapter up: ") + std::strerror(e);
            close();
            return e;
        }
    }
    reader_.attach(&port_, char_ms + (port_.is_tcp() ? kNetworkDelayMs : kSerialDelayMs));
    return 0;
}

void Session::close() {
    port_.close();
    reader_.forget();
}

CallResult Session::write(const char* data, long count) {
    const Clock::time_point limit = deadline();
    // A new message makes the instrument drop the rest of its reply; so does the driver.
    if (const int e = reader_.discard(limit); e != 0)
        return failed(e);
    const std::string text = escape_for_adapter(data, count);
    if (const int e = port_.write_all(text.data(), text.size(), call_ms_ > 0 ? call_ms_ : 3000);
        e != 0)
        return e == ETIMEDOUT ? CallResult{ERR | TMO, EABO, 0} : failed(e);
    return CallResult{0, 0, count};
}

CallResult Session::read(char* dest, long count) {
    const ReadOutcome r = reader_.read(dest, count, deadline());
    if (r.error != 0)
        return failed(r.error);
    if (r.timeout)
        return CallResult{ERR | TMO, EABO, r.count};
    return CallResult{r.end ? END : 0, 0, r.count};
}

CallResult Session::clear() {
    return command("++clr");  // selected device clear (Prologix 8.3 clr; AR488 ++clr)
}

CallResult Session::reset_address() {
    return command("++addr " + std::to_string(pad_) +
                   (sad_ != 0 ? " " + std::to_string(sad_) : ""));
}

CallResult Session::command(const std::string& line) {
    if (const int e = reader_.discard(deadline()); e != 0)
        return failed(e);
    if (const int e = send_line(line); e != 0)
        return failed(e);
    return CallResult{};
}

CallResult Session::query(const std::string& line, std::string& answer) {
    CallResult r = command(line);
    if (r.status != 0)
        return r;
    int error = 0;
    if (read_line(answer, call_ms_ > 0 ? call_ms_ : 3000, error))
        return CallResult{};
    return error != 0 ? failed(error) : CallResult{ERR | TMO, EABO, 0};
}

}  // namespace prologix
