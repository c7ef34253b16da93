// Framing of instrument replies on the "++" adapters.
//
// What the adapters guarantee, and what this reader builds on:
// - "++read eoi" reads from the addressed instrument until EOI or until no byte has come for the
//   read time-out; "++read_tmo_ms" is that per-character time-out, not a limit on the whole read
//   (Prologix GPIB-USB Controller User Manual 6.107, 8.13 read and 8.14 read_tmo_ms; AR488 User
//   Manual 0.53.03, Command Reference, ++read and ++read_tmo_ms).
// - With "++eot_enable 1" the adapter appends the "++eot_char" byte when it sees EOI, and only
//   then (Prologix manual 8.6 eot_enable, 8.7 eot_char; AR488 manual, ++eot_enable, ++eot_char).
// - Instrument bytes reach the host unmodified, binary ones included (Prologix manual 7 and 7.1;
//   AR488 manual, "Receiving Data").
//
// So a marker byte ends the reply unless more bytes follow it. Text replies (printable ASCII
// ended by CR LF) never hold the marker, so there it ends the reply at once. In binary data the
// marker may be a data byte: if anything follows, it was data; if the adapter stays silent for
// longer than its per-character time-out, its read is over and the marker was the end. That
// wait only happens when a caller asks for more than a binary reply holds, or when the rest of
// such a reply is thrown away: the program reads its data blocks by count, and throws the rest
// away after a 100 ms pause of its own, which covers the wait.
//
// Nothing here relies on what an adapter does with host input during a read: the reader sends
// "++read eoi" again only when the adapter's read is certainly over.
#include "adapters/prologix/reply_reader.h"

#include <algorithm>
#include <cstring>

namespace prologix {
namespace {

bool is_text_byte(char c) {
    const auto u = static_cast<unsigned char>(c);
    return (u >= 0x20 && u <= 0x7E) || c == '\r' || c == '\n';
}

long ms_until(Clock::time_point t) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(t - Clock::now()).count();
    return std::max<long>(0, static_cast<long>(left));
}

}  // namespace

void ReplyReader::attach(Port* port, long quiet_ms) {
    port_ = port;
    quiet_ms_ = quiet_ms;
    forget();
    must_settle_ = false;
}

void ReplyReader::forget() {
    pending_.clear();
    taken_ = 0;
    active_ = false;
    complete_ = false;
    marker_held_ = false;
    text_ = true;
    last_[0] = last_[1] = 0;
}

int ReplyReader::request() {
    static constexpr char kRead[] = "++read eoi\n";
    last_activity_ = Clock::now();
    active_ = true;
    return port_->write_all(kRead, sizeof kRead - 1, quiet_ms_ + 1000);
}

void ReplyReader::push(char byte) {
    pending_ += byte;
    text_ = text_ && is_text_byte(byte);
    last_[0] = last_[1];
    last_[1] = byte;
}

void ReplyReader::end_reply() {
    complete_ = true;
    active_ = false;
    marker_held_ = false;
}

void ReplyReader::feed(const char* data, std::size_t size) {
    for (std::size_t i = 0; i < size && !complete_; ++i) {
        if (marker_held_) {
            // Something followed the marker: it was a data byte.
            marker_held_ = false;
            push(kEndMarker);
        }
        if (data[i] != kEndMarker) {
            push(data[i]);
        } else if (text_ && last_[0] == '\r' && last_[1] == '\n') {
            end_reply();
        } else {
            marker_held_ = true;
        }
    }
}

ReplyReader::Fetch ReplyReader::fetch(Clock::time_point deadline) {
    char buffer[4096];
    const Clock::time_point quiet_at = last_activity_ + std::chrono::milliseconds(quiet_ms_);
    const bool deadline_first = deadline <= quiet_at;
    const long n =
        port_->read_some(buffer, sizeof buffer, ms_until(deadline_first ? deadline : quiet_at));
    if (n < 0) {
        error_ = static_cast<int>(-n);
        return Fetch::failed;
    }
    if (n > 0) {
        last_activity_ = Clock::now();
        feed(buffer, static_cast<std::size_t>(n));
        return Fetch::bytes;
    }
    if (Clock::now() < (deadline_first ? deadline : quiet_at))
        return Fetch::bytes;  // woken early (a signal): nothing lost, look again
    return deadline_first ? Fetch::deadline : Fetch::quiet;
}

ReadOutcome ReplyReader::read(char* dest, long count, Clock::time_point deadline) {
    ReadOutcome out;
    if ((out.error = settle(deadline)) != 0)
        return out;
    if (!active_ && available() == 0) {
        forget();
        if ((out.error = request()) != 0)
            return out;
    }
    for (;;) {
        const long n = std::min<long>(count - out.count, static_cast<long>(available()));
        std::memcpy(dest + out.count, pending_.data() + taken_, static_cast<std::size_t>(n));
        taken_ += static_cast<std::size_t>(n);
        out.count += n;
        if (out.count == count || complete_)
            break;
        switch (fetch(deadline)) {
            case Fetch::bytes:
                break;
            case Fetch::quiet:
                if (marker_held_)
                    end_reply();                        // silence after the marker: it was the end
                else if ((out.error = request()) != 0)  // the adapter gave up: ask again
                    return out;
                break;
            case Fetch::deadline:
                out.timeout = true;
                must_settle_ = true;
                forget();
                return out;
            case Fetch::failed:
                out.error = error_;
                forget();
                return out;
        }
    }
    out.end = complete_ && available() == 0;
    if (out.end)
        forget();
    return out;
}

int ReplyReader::discard(Clock::time_point deadline) {
    if (const int e = settle(deadline); e != 0)
        return e;
    while (active_) {
        switch (fetch(deadline)) {
            case Fetch::bytes:
                break;
            case Fetch::quiet:
                // After the marker: the end. Without it: the adapter's read is over and the
                // instrument drops the rest of its message at the next command.
                end_reply();
                break;
            case Fetch::deadline:
                must_settle_ = true;
                active_ = false;
                break;
            case Fetch::failed:
                forget();
                return error_;
        }
        pending_.clear();
        taken_ = 0;
    }
    forget();
    return 0;
}

int ReplyReader::settle(Clock::time_point deadline) {
    if (!must_settle_)
        return 0;
    must_settle_ = false;
    char sink[4096];
    for (;;) {
        const long n = port_->read_some(sink, sizeof sink, quiet_ms_);
        if (n < 0)
            return static_cast<int>(-n);
        // An adapter that never stops talking is left to the next call's own limits.
        if (n == 0 || Clock::now() >= deadline)
            return 0;
    }
}

}  // namespace prologix
