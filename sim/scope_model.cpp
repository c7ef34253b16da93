// The simulated HP 54200A: command parsing, subsystem state and replies.
#include "sim/scope_model.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

namespace sim {

ScopeModel& instrument() {
    // Built on first use: the load hook of the driver runs before this file's globals would be.
    static ScopeModel model;
    return model;
}

namespace {

constexpr const char* crlf = "\r\n";

// The scope ignores case and runs of blanks in its commands.
std::string normalise(const std::string& text) {
    std::string out;
    bool blank = false;
    for (char c : text) {
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
            blank = true;
            continue;
        }
        if (blank && !out.empty())
            out += ' ';
        blank = false;
        out += (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
    }
    return out;
}

std::string format_real(const char* fmt, double v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, fmt, v);
    return buf;
}

ChannelConfig& live(int n) {
    return instrument().channel[n == 2 ? 1 : 0];
}

// A reply as the scope queues it, with the test's override or padding applied.
void queue_reply(const std::string& key, const std::string& text) {
    const auto& cfg = instrument().config;
    std::string reply;
    if (auto it = cfg.reply_override.find(key); it != cfg.reply_override.end()) {
        reply = it->second;
    } else {
        reply = text;
        if (auto pad = cfg.overlong.find(key); pad != cfg.overlong.end()) {
            // An overlong reply: the padding goes before the terminator.
            std::string::size_type at = reply.size() >= 2 ? reply.size() - 2 : reply.size();
            reply.insert(at, static_cast<std::size_t>(pad->second), ' ');
        }
    }
    instrument().output = std::move(reply);
    instrument().output_pos = 0;
}

std::string with_header(const char* header, const std::string& value) {
    return instrument().headers ? std::string(header) + " " + value : value;
}

Acquisition measured_acquisition(const ChannelConfig& ch) {
    // The measurement system works on its own acquisition, with the configured seed, so that
    // its answers repeat whatever data blocks were read before.
    NoiseSource n{instrument().config.seed};
    return acquire(ch, n, block_sample_count(ch));
}

void answer_measurement(const std::string& query) {
    const ChannelConfig& ch = live(instrument().measure_source);
    const Acquisition acq = measured_acquisition(ch);
    if (query == "VALID ?" || query == "VALID?") {
        long code = instrument().config.valid_code.value_or(validity_code(ch, acq));
        queue_reply("VALID", with_header("VALID", std::to_string(code)) + crlf);
    } else if (query == "PERIOD ?" || query == "PERIOD?") {
        queue_reply("PERIOD",
                    with_header("PERIOD", format_real("%.3E", measured_period(ch))) + crlf);
    } else {
        queue_reply("VRMS",
                    with_header("VRMS", format_real("%.3E", measured_vrms(ch, acq))) + crlf);
    }
}

bool select_channel_source(const std::string& arg, const char* prefix, int& source) {
    // "CHANNEL1", "CHANNEL 1", "GRAPH1", "GRAPH 1"
    std::string a;
    for (char c : arg) {
        if (c != ' ')
            a += c;
    }
    const std::size_t len = std::strlen(prefix);
    if (a.size() != len + 1 || a.compare(0, len, prefix) != 0)
        return false;
    if (a[len] != '1' && a[len] != '2')
        return false;
    source = a[len] - '0';
    return true;
}

}  // namespace

void reset_instrument(const Config& config) {
    instrument() = ScopeModel{};
    instrument().config = config;
    instrument().channel = config.channel;
    instrument().noise.state = config.seed;
}

void clear_device() {
    instrument().output.clear();
    instrument().output_pos = 0;
}

std::size_t output_remaining() {
    return instrument().output.size() - instrument().output_pos;
}

std::size_t read_output(char* dest, std::size_t max) {
    const std::size_t n = std::min(max, output_remaining());
    if (n > 0)
        std::memcpy(dest, instrument().output.data() + instrument().output_pos, n);
    instrument().output_pos += n;
    return n;
}

std::string preamble_reply(int source) {
    const ChannelConfig& ch = live(source);
    const Acquisition acq = measured_acquisition(ch);
    const std::string n = std::to_string(source);
    std::array<std::string, 14> value = {
        "GRAPH " + n,
        instrument().config.valid_code.value_or(validity_code(ch, acq)) == 1 ? "VALID" : "INVALID",
        std::to_string(ch.format),
        "NORMAL",
        std::to_string(ch.points),
        "1",
        format_real("%.6E", ch.xincrement),
        format_real("%.6E", ch.xorigin),
        "0",
        format_real("%.6E", ch.yincrement),
        format_real("%.6E", ch.yorigin),
        std::to_string(ch.yreference),
        ch.ac_coupled ? "AC" : "DC",
        "CHANNEL" + n};
    static constexpr std::array<const char*, 14> headers = {
        "SOURCE",  "VALID",      "FORMAT",     "TYPE",    "POINTS",     "COUNT",    "XINCREMENT",
        "XORIGIN", "XREFERENCE", "YINCREMENT", "YORIGIN", "YREFERENCE", "COUPLING", "LABEL"};
    const auto& cfg = instrument().config;
    int lines = cfg.preamble_lines.value_or(14);
    std::string reply;
    for (int i = 0; i < 14 && i < lines; ++i) {
        auto it = cfg.preamble_field.find(i);
        const std::string& v = it != cfg.preamble_field.end() ? it->second : value[i];
        reply += with_header(headers[i], v) + crlf;
    }
    return reply;
}

std::string data_block(int source) {
    const ChannelConfig& ch = live(source);
    const long samples = block_sample_count(ch);
    const long bytes_per_sample = ch.format == 1 ? 1 : 2;
    const long announced = samples * bytes_per_sample;
    long carried = samples;
    if (instrument().config.block_samples) {
        carried = std::clamp(*instrument().config.block_samples, 0L, samples);
    }
    const Acquisition acq = acquire(ch, instrument().noise, carried);
    std::string block = "#A";
    block += static_cast<char>((announced >> 8) & 0xFF);
    block += static_cast<char>(announced & 0xFF);
    for (long code : acq.codes) {
        if (bytes_per_sample == 1) {
            block += static_cast<char>(code & 0xFF);
        } else {
            block += static_cast<char>(code & 0xFF);  // low byte first
            block += static_cast<char>((code >> 8) & 0xFF);
        }
    }
    return block + crlf;
}

bool receive_command(const std::string& text) {
    // Any new message discards what the previous reply left unread.
    clear_device();
    const std::string cmd = normalise(text);
    auto& m = instrument();
    auto arg_of = [&](const char* head) -> std::string {
        const std::size_t len = std::strlen(head);
        return cmd.size() > len ? cmd.substr(len + 1) : std::string();
    };
    auto starts = [&](const char* head) {
        const std::size_t len = std::strlen(head);
        return cmd.compare(0, len, head) == 0 && (cmd.size() == len || cmd[len] == ' ');
    };

    if (cmd == "ID ?" || cmd == "ID?") {
        queue_reply("ID", std::string("\"HP54200A\"") + crlf);
    } else if (cmd == "HEADER OFF") {
        m.headers = false;
    } else if (cmd == "HEADER ON") {
        m.headers = true;
    } else if (cmd == "WAVEFORM?" || cmd == "WAVEFORM") {
        m.subsystem = Subsystem::waveform;
        if (cmd.back() == '?')
            queue_reply("WAVEFORM", preamble_reply(m.waveform_source));
    } else if (cmd == "MEASURE?" || cmd == "MEASURE") {
        m.subsystem = Subsystem::measure;
        if (cmd.back() == '?')
            queue_reply("MEASURE",
                        with_header("SOURCE", "GRAPH " + std::to_string(m.measure_source)) + crlf);
    } else if (cmd == "CHANNEL 1" || cmd == "CHANNEL 2" || cmd == "CHANNEL1" || cmd == "CHANNEL2") {
        m.subsystem = Subsystem::channel;
        m.selected_channel = cmd.back() - '0';
    } else if (cmd == "CHANNEL?" && m.subsystem == Subsystem::channel) {
        queue_reply(
            "CHANNEL",
            with_header("COUPLING", live(m.selected_channel).ac_coupled ? "AC" : "DC") + crlf);
    } else if (cmd == "AUTOSCALE FULL" || cmd == "AUTOSCALE") {
        autoscale(m.channel[0]);
        autoscale(m.channel[1]);
    } else if (starts("SOURCE") && m.subsystem == Subsystem::waveform) {
        return select_channel_source(arg_of("SOURCE"), "CHANNEL", m.waveform_source);
    } else if (starts("SOURCE") && m.subsystem == Subsystem::measure) {
        return select_channel_source(arg_of("SOURCE"), "GRAPH", m.measure_source);
    } else if ((cmd == "COUPLING AC" || cmd == "COUPLING DC") &&
               m.subsystem == Subsystem::channel) {
        live(m.selected_channel).ac_coupled = cmd == "COUPLING AC";
    } else if (cmd == "DATA?" && m.subsystem == Subsystem::waveform) {
        queue_reply("DATA", data_block(m.waveform_source));
    } else if ((cmd == "VALID ?" || cmd == "VALID?" || cmd == "PERIOD ?" || cmd == "PERIOD?" ||
                cmd == "VRMS ?" || cmd == "VRMS?") &&
               m.subsystem == Subsystem::measure) {
        answer_measurement(cmd);
    } else {
        return false;
    }
    return true;
}

}  // namespace sim
