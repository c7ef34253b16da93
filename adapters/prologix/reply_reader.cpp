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
// - The marker is appended only when EOI is seen: a read that ends because the instrument
//   paused longer than "++read_tmo_ms" sends nothing after the last data byte (Prologix manual
//   8.6 eot_enable: "appending of a user specified character ... whenever EOI is detected while
//   reading a character from the GPIB port"; the AR488's commands are "fully compatible with the
//   Prologix GPIB-USB controller", AR488 manual, Command Reference). The instrument stays a
//   talker with the rest of its message, which the next "++read eoi" reads on (8.13 read).
//
// So a marker byte ends the reply unless more bytes follow it. Text replies (printable ASCII
// ended by CR LF) never hold the marker, so there it ends the reply at once. In binary data the
// marker may be a data byte, and silence after it cannot tell the two apart by itself:
// - the adapter's read may have ended at its time-out with the instrument paused in
//   mid-message (nothing appended); so a marker followed by the adapter's quiet period is put
//   to the test with one more "++read eoi": after EOI the instrument has nothing more to say
//   and that read ends silently at the adapter's time-out; after a pause the rest of the
//   message comes, and the marker was data;
// - the adapter may have passed the data byte on and then been held up itself (a USB serial
//   bridge or a network stalling, the adapter's own loop busy) while its read goes on; so the
//   silence must also last held_quiet_ms from the marker. Should the test request reach an
//   adapter still in that read, nothing is lost either way: it is served after the read, or,
//   if host input ends the read, the instrument keeps its unsent bytes (each is held on the bus
//   until accepted) and the test request reads them.
// A marker confirmed both ways ends a reply; at the caller's deadline a marker whose test read
// found nothing ends it too (the best evidence within the caller's limit), and an untested one
// is a time-out, never a complete reply. The confirmation only happens when a caller asks for more
// than a binary reply holds: the program reads its data blocks by count, which ends the read
// before the marker.
//
// When the rest of a reply is thrown away (a new message), a held marker ends it after the
// ordinary quiet period, which the program's own 100 ms pause after each block covers. Bytes
// of it that come later still never reach the next reply: whatever has arrived is thrown away
// before each "++read eoi".
//
// Apart from the test of a marker, the reader sends "++read eoi" again only when the adapter's read
// is over: a quiet period, which holds the adapter's time-out and the transport's delay, has
// passed.
#include "adapters/prologix/reply_reader.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace prologix {
namespace {

bool is_text_byte(char c) {
    const auto u = static_cast<unsigned char>(c);
    return (u >= 0x20 && u <= 0x7E) || c == '\r' || c == '\n';
}

constexpr auto kRequestWriteLimit = std::chrono::seconds(1);

}  // namespace

void ReplyReader::attach(Port* port, long quiet_ms, long held_quiet_ms) {
    port_ = port;
    quiet_ms_ = quiet_ms;
    held_quiet_ms_ = held_quiet_ms;
    forget();
    must_settle_ = false;
}

void ReplyReader::forget() {
    pending_.clear();
    taken_ = 0;
    active_ = false;
    complete_ = false;
    marker_held_ = false;
    marker_tested_ = false;
    text_ = true;
    last_[0] = last_[1] = 0;
}

int ReplyReader::request(Clock::time_point deadline, bool fresh) {
    // Nothing that came before a new reply's request is part of it: an adapter's unsolicited
    // line, the late tail of an abandoned reply. A request that reads on within a reply keeps
    // what has come.
    if (fresh) {
        if (const int e = port_->flush_input(); e != 0)
            return e;
    }
    static constexpr char kRead[] = "++read eoi\n";
    last_activity_ = Clock::now();
    active_ = true;
    std::size_t sent = 0;
    return port_->write_all(kRead, sizeof kRead - 1,
                            std::min(deadline, last_activity_ + kRequestWriteLimit), sent);
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
    marker_tested_ = false;
}

void ReplyReader::feed(const char* data, std::size_t size) {
    for (std::size_t i = 0; i < size && !complete_; ++i) {
        if (marker_held_) {
            // Something followed the marker: it was a data byte.
            marker_held_ = false;
            marker_tested_ = false;
            push(kEndMarker);
        }
        if (data[i] != kEndMarker) {
            push(data[i]);
        } else if (text_ && last_[0] == '\r' && last_[1] == '\n') {
            end_reply();
        } else {
            marker_held_ = true;
            marker_at_ = Clock::now();
        }
    }
}

ReplyReader::Fetch ReplyReader::fetch(Clock::time_point deadline, long quiet_ms) {
    char buffer[4096];
    const Clock::time_point quiet_at = last_activity_ + std::chrono::milliseconds(quiet_ms);
    const bool deadline_first = deadline <= quiet_at;
    const long n = port_->read_some(buffer, sizeof buffer, deadline_first ? deadline : quiet_at);
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
        if ((out.error = request(deadline, true)) != 0)
            return out;
    }
    for (;;) {
        const long n = std::min<long>(count - out.count, static_cast<long>(available()));
        std::memcpy(dest + out.count, pending_.data() + taken_, static_cast<std::size_t>(n));
        taken_ += static_cast<std::size_t>(n);
        out.count += n;
        if (out.count == count || complete_)
            break;
        // An adapter that sends faster than the host reads must not hold the call either.
        // A tested marker also waits out the longer silence that rules out a stall.
        const long wait_ms =
            !marker_tested_
                ? quiet_ms_
                : std::max(quiet_ms_,
                           static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                                 marker_at_ - last_activity_)
                                                 .count()) +
                               held_quiet_ms_);
        const Fetch f = Clock::now() >= deadline ? Fetch::deadline : fetch(deadline, wait_ms);
        switch (f) {
            case Fetch::bytes:
                break;
            case Fetch::quiet:
                if (marker_tested_) {
                    end_reply();  // asked once more, nothing came: the marker was EOI's
                } else {
                    // The adapter's read is over, at EOI or at its time-out: ask again. After
                    // a held marker that request is the test of it.
                    marker_tested_ = marker_held_;
                    if ((out.error = request(deadline, false)) != 0)
                        return out;
                }
                break;
            case Fetch::deadline:
                if (marker_tested_ &&
                    Clock::now() >= last_activity_ + std::chrono::milliseconds(quiet_ms_)) {
                    // The test read found nothing: within the caller's limit only a stall of
                    // the adapter longer than its quiet period remains unexcluded.
                    end_reply();
                    break;
                }
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
    int result = 0;
    while (active_) {
        switch (Clock::now() >= deadline ? Fetch::deadline : fetch(deadline, quiet_ms_)) {
            case Fetch::bytes:
                break;
            case Fetch::quiet:
                // After the marker: the end. Without it: the adapter's read is over and the
                // instrument drops the rest of its message at the next command.
                end_reply();
                break;
            case Fetch::deadline:
                // Still talking: the caller's message must not go out into that.
                must_settle_ = true;
                active_ = false;
                result = ETIMEDOUT;
                break;
            case Fetch::failed:
                forget();
                return error_;
        }
        pending_.clear();
        taken_ = 0;
    }
    forget();
    return result;
}

int ReplyReader::settle(Clock::time_point deadline) {
    if (!must_settle_)
        return 0;
    char sink[4096];
    Clock::time_point quiet_at = Clock::now() + std::chrono::milliseconds(quiet_ms_);
    for (;;) {
        const long n = port_->read_some(sink, sizeof sink, std::min(deadline, quiet_at));
        if (n < 0)
            return static_cast<int>(-n);
        if (n > 0)
            quiet_at = Clock::now() + std::chrono::milliseconds(quiet_ms_);
        else if (Clock::now() >= quiet_at)
            break;
        // An adapter that never stops talking fails this call; the next one settles again.
        if (Clock::now() >= deadline)
            return ETIMEDOUT;
    }
    must_settle_ = false;
    return 0;
}

}  // namespace prologix
