// The "++" dialogue of one open device.
#include "adapters/prologix/session.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include "adapters/prologix/driver_constants.h"

namespace prologix {
namespace {

// A board that resets when its port opens (Arduino Uno, Nano, Mega: DTR pulses the reset pin,
// Arduino Playground, "Disabling Auto Reset On Serial Connection") spends a while in its boot
// loader and drops what it is sent meanwhile, so "++ver" is repeated.
constexpr long kIdentifyPollMs = 250;
constexpr long kOpenWindowMs = 5000;
constexpr long kSecondIdentityMs = 500;
constexpr long kStrayAnswerQuietMs = 100;
// Beyond the adapter's own time-out, a margin for the transport: a USB serial bridge may hold a
// short packet back for some milliseconds, a network for longer.
constexpr long kSerialDelayMs = 30;
constexpr long kNetworkDelayMs = 100;
// How much longer a held marker byte must be followed by silence before it ends a reply: a
// stall of the transport or the adapter after a data byte equal to the marker (reply_reader.cpp).
constexpr long kHeldMarkerExtraMs = 400;
// The limit of a write or an adapter command when the device has no time-out.
constexpr long kLongestWriteMs = 3000;
constexpr std::size_t kLongestLine = 256;
constexpr char kEsc = 0x1B;

// The caller's bytes among the first `sent` bytes of escaped adapter text: each is one byte or
// ESC and one byte; the line's closing LF is not the caller's.
long caller_bytes_sent(const std::string& text, std::size_t sent) {
    long count = 0;
    for (std::size_t i = 0; i + 1 < text.size() && i < sent; ++i) {
        if (text[i] == kEsc && ++i >= sent)
            break;
        ++count;
    }
    return count;
}

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

Clock::time_point Session::write_deadline() const {
    return Clock::now() + std::chrono::milliseconds(call_ms_ > 0 ? call_ms_ : kLongestWriteMs);
}

int Session::send_text(const std::string& text, Clock::time_point deadline, std::size_t& sent) {
    const int e = port_.write_all(text.data(), text.size(), deadline, sent);
    if (sent > 0 && sent < text.size()) {
        // A cut line: the next call ends it first, so that its own line is never joined to
        // this one. An ESC just sent still wants the byte it escapes.
        bool escape_open = false;
        for (std::size_t i = 0; i < sent; ++i) escape_open = !escape_open && text[i] == kEsc;
        unfinished_line_end_ = escape_open ? std::string(1, text[sent]) + "\n" : "\n";
    }
    return e;
}

int Session::send_line(const std::string& line, Clock::time_point deadline) {
    std::size_t sent = 0;
    return send_text(line + "\n", deadline, sent);
}

int Session::finish_broken_line(Clock::time_point deadline) {
    if (unfinished_line_end_.empty())
        return 0;
    const std::string end = std::exchange(unfinished_line_end_, std::string());
    std::size_t sent = 0;
    const int e = port_.write_all(end.data(), end.size(), deadline, sent);
    if (e != 0)
        unfinished_line_end_ = end.substr(sent);
    return e;
}

bool Session::read_line(std::string& line, Clock::time_point deadline, int& error) {
    line.clear();
    char c = 0;
    for (;;) {
        if (Clock::now() >= deadline)
            return false;  // also when the bytes never stop coming
        const long n = port_.read_some(&c, 1, deadline);
        if (n < 0) {
            error = static_cast<int>(-n);
            return false;
        }
        if (n == 0)
            continue;  // the deadline, or a signal woke the wait
        if (c == '\n')
            break;
        // A garbled or endless answer is cut, never stored beyond the longest line.
        if (c != '\r' && line.size() < kLongestLine)
            line += c;
    }
    return true;
}

int Session::identify(Clock::time_point deadline, std::string& why) {
    std::string line;
    int error = 0;
    bool answered = false;
    Clock::time_point ask_at = Clock::now();
    while (!answered && Clock::now() < deadline) {
        if (Clock::now() >= ask_at) {
            // "++auto 0" before anything is read: an AR488 left in "++auto 3" sends a reading
            // every few milliseconds until told otherwise (AR488 User Manual 0.53.03, ++auto).
            if ((error = send_line("++auto 0\n++ver", deadline)) != 0) {
                why = std::string("cannot send to the adapter: ") + std::strerror(error);
                return error;
            }
            ask_at = Clock::now() + std::chrono::milliseconds(kIdentifyPollMs);
        }
        if (!read_line(line, std::min(deadline, ask_at), error)) {
            if (error != 0) {
                why = std::string("the adapter went away: ") + std::strerror(error);
                return error;
            }
            continue;
        }
        // An AR488 in verbose mode echoes every line it is sent (AR488 manual, ++verbose): its
        // echoes would come back as the instrument's data.
        if (line.rfind("++", 0) == 0) {
            why =
                "the adapter echoes what it is sent (an AR488 in verbose mode: send it ++verbose)";
            return EPROTO;
        }
        answered = is_version_line(line);  // anything else is a stray line: skipped
    }
    if (!answered) {
        why = "no answer to \"++ver\" within 5 s";
        return ETIMEDOUT;
    }
    // An AR488 may be set to announce itself as a Prologix; "++ver real" gives its own string
    // (AR488 User Manual 0.53.03, ++ver). A Prologix answers its version or nothing. Answers
    // to repeated "++ver"s that a restarting board had queued go first.
    if (!is_ar488_identity(line)) {
        if ((error = skip_stray_answers(deadline)) != 0 ||
            (error = send_line("++ver real", deadline)) != 0) {
            why = error == ETIMEDOUT ? "the adapter never stops talking" : std::strerror(error);
            return error;
        }
        const auto until =
            std::min(deadline, Clock::now() + std::chrono::milliseconds(kSecondIdentityMs));
        std::string own;
        while (read_line(own, until, error) && !is_version_line(own)) {
        }
        if (is_ar488_identity(own))
            line = own;
    }
    dialect_ = is_ar488_identity(line) ? Dialect::ar488 : Dialect::prologix;
    return 0;
}

int Session::skip_stray_answers(Clock::time_point deadline) {
    // Answers to repeated "++ver"s that a restarting board had queued, an adapter's complaint
    // about a setting it does not know: gone once the adapter has been silent for a while.
    char sink[256];
    Clock::time_point quiet_at = Clock::now() + std::chrono::milliseconds(kStrayAnswerQuietMs);
    for (;;) {
        const long n = port_.read_some(sink, sizeof sink, std::min(deadline, quiet_at));
        if (n < 0)
            return static_cast<int>(-n);
        if (n > 0)
            quiet_at = Clock::now() + std::chrono::milliseconds(kStrayAnswerQuietMs);
        else if (Clock::now() >= quiet_at)
            return 0;
        if (Clock::now() >= deadline)
            return ETIMEDOUT;
    }
}

int Session::open(int pad, int sad, long call_ms, std::string& why) {
    close();
    // One window for the whole opening: name lookup, connection, identification, set-up.
    const Clock::time_point limit = Clock::now() + std::chrono::milliseconds(kOpenWindowMs);
    const PortSetting setting = read_port_setting();
    where_ = setting.where;
    if (!setting.problem.empty()) {
        why = setting.problem;
        return EINVAL;
    }
    if (const int e = port_.open(setting.where, setting.baud, limit, why); e != 0)
        return e;
    pad_ = pad;
    sad_ = sad;
    call_ms_ = call_ms;
    unfinished_line_end_.clear();
    if (const int e = identify(limit, why); e != 0) {
        close();
        return e;
    }
    const long char_ms = inter_character_ms(call_ms);
    for (const std::string& line : setup_commands(dialect_, pad, sad, char_ms)) {
        if (const int e = send_line(line, limit); e != 0) {
            why = std::string("cannot set the adapter up: ") + std::strerror(e);
            close();
            return e;
        }
    }
    if (const int e = skip_stray_answers(limit); e != 0) {
        why = e == ETIMEDOUT ? "the adapter never stops talking" : std::strerror(e);
        close();
        return e;
    }
    const long quiet_ms = char_ms + (port_.is_tcp() ? kNetworkDelayMs : kSerialDelayMs);
    reader_.attach(&port_, quiet_ms, quiet_ms + kHeldMarkerExtraMs);
    return 0;
}

void Session::close() {
    port_.close();
    reader_.forget();
}

CallResult Session::timed_out_or_failed(int error_number, long count) {
    return error_number == ETIMEDOUT ? CallResult{ERR | TMO, EABO, count} : failed(error_number);
}

CallResult Session::write(const char* data, long count) {
    const Clock::time_point limit = write_deadline();
    // A new message makes the instrument drop the rest of its reply; so does the driver.
    if (const int e = reader_.discard(limit); e != 0)
        return timed_out_or_failed(e, 0);
    if (const int e = finish_broken_line(limit); e != 0)
        return timed_out_or_failed(e, 0);
    const std::string text = escape_for_adapter(data, count);
    std::size_t sent = 0;
    if (const int e = send_text(text, limit, sent); e != 0)
        return timed_out_or_failed(e, caller_bytes_sent(text, sent));
    return CallResult{0, 0, count};
}

CallResult Session::read(char* dest, long count) {
    if (count == 0)
        return CallResult{};  // nothing asked, nothing asked of the adapter
    if (const int e = finish_broken_line(write_deadline()); e != 0)
        return timed_out_or_failed(e, 0);
    const ReadOutcome r = reader_.read(dest, count, deadline());
    if (r.error != 0)
        return timed_out_or_failed(r.error, r.count);
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
    const Clock::time_point limit = write_deadline();
    if (const int e = reader_.discard(limit); e != 0)
        return timed_out_or_failed(e, 0);
    if (const int e = finish_broken_line(limit); e != 0)
        return timed_out_or_failed(e, 0);
    // Whatever came unasked is not the answer to this command.
    if (const int e = port_.flush_input(); e != 0)
        return failed(e);
    if (const int e = send_line(line, limit); e != 0)
        return timed_out_or_failed(e, 0);
    return CallResult{};
}

CallResult Session::query(const std::string& line, std::string& answer) {
    CallResult r = command(line);
    if (r.status != 0)
        return r;
    int error = 0;
    if (read_line(answer, write_deadline(), error))
        return CallResult{};
    return error != 0 ? failed(error) : CallResult{ERR | TMO, EABO, 0};
}

}  // namespace prologix
