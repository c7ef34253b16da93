// Reading the simulated scope's HP_SIM_* settings. A malformed number falls back to the default,
// so a typo in a test's set-up shows as the default signal rather than as a crash in the driver.
#include "sim/sim_config.h"

#include <cstdlib>
#include <cstring>
#include <type_traits>

namespace sim {

const std::array<const char*, 14> preamble_field_names = {
    "GRAPH_SOURCE", "VALID",      "FORMAT",   "TYPE",       "POINTS",
    "FRAME_COUNT",  "XINCREMENT", "XORIGIN",  "XREFERENCE", "YINCREMENT",
    "YORIGIN",      "YREFERENCE", "COUPLING", "LABEL"};

namespace {

std::optional<std::string> env(const std::string& name) {
    const char* v = std::getenv(name.c_str());
    if (v == nullptr)
        return std::nullopt;
    return std::string(v);
}

// A channel setting: HP_SIM_CH<n>_<KEY> first, then HP_SIM_<KEY> for both channels.
std::optional<std::string> channel_env(int n, const char* key) {
    if (auto v = env("HP_SIM_CH" + std::to_string(n) + "_" + key))
        return v;
    return env(std::string("HP_SIM_") + key);
}

template <typename T>
bool parse_number(const std::string& text, T& out) {
    if (text.empty())
        return false;
    const char* begin = text.c_str();
    char* end = nullptr;
    if constexpr (std::is_floating_point_v<T>) {
        out = std::strtod(begin, &end);
    } else {
        out = static_cast<T>(std::strtol(begin, &end, 10));
    }
    return end != nullptr && *end == '\0';
}

template <typename T>
void set_number(const std::optional<std::string>& text, T& field) {
    T value{};
    if (text && parse_number(*text, value))
        field = value;
}

std::string upper(std::string s) {
    for (char& c : s) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    }
    return s;
}

std::vector<std::string> split(const std::string& text, char sep) {
    std::vector<std::string> parts;
    std::string::size_type start = 0;
    while (start <= text.size()) {
        auto pos = text.find(sep, start);
        if (pos == std::string::npos)
            pos = text.size();
        if (pos > start)
            parts.push_back(text.substr(start, pos - start));
        start = pos + 1;
    }
    return parts;
}

// "DATA?@2;HEADER OFF" -> {DATA?, 2}, {HEADER OFF, 1}
std::vector<CallFault> parse_write_faults(const std::optional<std::string>& text) {
    std::vector<CallFault> faults;
    if (!text)
        return faults;
    for (const auto& item : split(*text, ';')) {
        CallFault f{item, 1};
        auto at = item.rfind('@');
        if (at != std::string::npos) {
            f.text = item.substr(0, at);
            if (!parse_number(item.substr(at + 1), f.nth))
                continue;
        }
        faults.push_back(f);
    }
    return faults;
}

std::vector<long> parse_counts(const std::optional<std::string>& text) {
    std::vector<long> counts;
    if (!text)
        return counts;
    for (const auto& item : split(*text, ';')) {
        long n = 0;
        if (parse_number(item, n))
            counts.push_back(n);
    }
    return counts;
}

bool flag(const char* name) {
    auto v = env(name);
    return v && !v->empty() && *v != "0";
}

Shape parse_shape(const std::string& text, Shape fallback) {
    const std::string s = upper(text);
    if (s == "SINE")
        return Shape::sine;
    if (s == "SQUARE")
        return Shape::square;
    if (s == "TRIANGLE")
        return Shape::triangle;
    if (s == "DC")
        return Shape::dc;
    if (s == "NONE")
        return Shape::none;
    return fallback;
}

ChannelConfig read_channel(int n) {
    ChannelConfig c;
    if (n == 2) {
        // A different signal on channel 2, so that the two graphs can be told apart.
        c.shape = Shape::triangle;
        c.frequency = 2000.0;
        c.amplitude = 0.5;
        c.offset = 0.2;
    }
    if (auto v = channel_env(n, "SHAPE"))
        c.shape = parse_shape(*v, c.shape);
    set_number(channel_env(n, "FREQUENCY"), c.frequency);
    set_number(channel_env(n, "AMPLITUDE"), c.amplitude);
    set_number(channel_env(n, "OFFSET"), c.offset);
    set_number(channel_env(n, "NOISE"), c.noise);
    if (auto v = channel_env(n, "COUPLING"))
        c.ac_coupled = upper(*v) == "AC";
    set_number(channel_env(n, "FORMAT"), c.format);
    if (c.format == 2) {
        // Word data spans 0..65535 with the same screen: 256 times finer steps.
        c.yincrement /= 256.0;
        c.yreference = 32768;
    }
    set_number(channel_env(n, "POINTS"), c.points);
    set_number(channel_env(n, "XINCREMENT"), c.xincrement);
    set_number(channel_env(n, "XORIGIN"), c.xorigin);
    set_number(channel_env(n, "YINCREMENT"), c.yincrement);
    set_number(channel_env(n, "YORIGIN"), c.yorigin);
    set_number(channel_env(n, "YREFERENCE"), c.yreference);
    return c;
}

}  // namespace

std::string unescape(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c != '\\' || i + 1 >= text.size()) {
            out += c;
            continue;
        }
        char e = text[i + 1];
        auto hex = [](char h) -> int {
            if (h >= '0' && h <= '9')
                return h - '0';
            if (h >= 'a' && h <= 'f')
                return h - 'a' + 10;
            if (h >= 'A' && h <= 'F')
                return h - 'A' + 10;
            return -1;
        };
        switch (e) {
            case 'r':
                out += '\r';
                break;
            case 'n':
                out += '\n';
                break;
            case 't':
                out += '\t';
                break;
            case '0':
                out += '\0';
                break;
            case '\\':
                out += '\\';
                break;
            case '"':
                out += '"';
                break;
            case 'x':
                if (i + 3 < text.size() && hex(text[i + 2]) >= 0 && hex(text[i + 3]) >= 0) {
                    out += static_cast<char>(hex(text[i + 2]) * 16 + hex(text[i + 3]));
                    i += 3;
                    continue;
                }
                out += "\\x";
                break;
            default:
                out += '\\';
                out += e;
                break;
        }
        ++i;
    }
    return out;
}

Config read_config() {
    Config cfg;
    cfg.channel[0] = read_channel(1);
    cfg.channel[1] = read_channel(2);
    set_number(env("HP_SIM_SEED"), cfg.seed);
    set_number(env("HP_SIM_BOARD"), cfg.board);
    set_number(env("HP_SIM_ADDRESS"), cfg.address);
    if (auto v = env("HP_SIM_LOG"))
        cfg.log_path = *v;

    cfg.fail_ibdev = flag("HP_SIM_FAIL_IBDEV");
    cfg.no_board = flag("HP_SIM_NO_BOARD");
    cfg.fail_ibclr = flag("HP_SIM_FAIL_IBCLR");
    cfg.fail_write = parse_write_faults(env("HP_SIM_FAIL_WRITE"));
    cfg.timeout_write = parse_write_faults(env("HP_SIM_TIMEOUT_WRITE"));
    cfg.fail_read = parse_counts(env("HP_SIM_FAIL_READ"));
    cfg.timeout_read = parse_counts(env("HP_SIM_TIMEOUT_READ"));
    cfg.overcount_read = parse_counts(env("HP_SIM_OVERCOUNT_READ"));

    long n = 0;
    if (auto v = env("HP_SIM_BLOCK_SAMPLES"); v && parse_number(*v, n))
        cfg.block_samples = n;
    if (auto v = env("HP_SIM_PREAMBLE_LINES"); v && parse_number(*v, n))
        cfg.preamble_lines = static_cast<int>(n);
    if (auto v = env("HP_SIM_VALID"); v && parse_number(*v, n))
        cfg.valid_code = n;

    for (std::size_t i = 0; i < preamble_field_names.size(); ++i) {
        if (auto v = env(std::string("HP_SIM_PREAMBLE_") + preamble_field_names[i]))
            cfg.preamble_field[static_cast<int>(i)] = unescape(*v);
    }
    for (const char* key :
         {"ID", "WAVEFORM", "MEASURE", "CHANNEL", "VALID", "PERIOD", "VRMS", "DATA"}) {
        if (auto v = env(std::string("HP_SIM_REPLY_") + key))
            cfg.reply_override[key] = unescape(*v);
    }
    if (auto v = env("HP_SIM_OVERLONG")) {
        for (const auto& item : split(*v, ';')) {
            auto at = item.rfind('@');
            long pad = 0;
            if (at != std::string::npos && parse_number(item.substr(at + 1), pad) && pad > 0)
                cfg.overlong[upper(item.substr(0, at))] = pad;
        }
    }
    return cfg;
}

}  // namespace sim
