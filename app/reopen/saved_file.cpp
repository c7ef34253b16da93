// The saved files read back. Numbers go through std::from_chars, which never looks at the locale:
// the files always have "." as the decimal point, whatever the operator's locale, and a comma is
// told as the wrong separator rather than read as something else.
#include "app/reopen/saved_file.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace app {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kWaveformHeader = " Raw data       Time       Voltage    ";
constexpr std::string_view kSpectrumHeader = "   Frequency     Amplitude  ";
constexpr std::size_t kWaveformLine = 39;  // without the line end
constexpr std::size_t kSpectrumLine = 48;
// The spectrum's defined bins: frequencies increase over these rows; the rows after them hold
// zeros.
constexpr int kSpectrumBins = 512;

constexpr const char* kNotOurs =
    "not a CSV file of this program nor one of its text data files (waveform1_data.dat, "
    "waveform2_data.dat, fft1_data.dat, fft2_data.dat)";

struct Line {
    std::string_view text;  // without its line end
    std::size_t number = 0;
    bool ended = false;  // a line feed follows
};

std::vector<Line> Lines_of(std::string_view text) {
    std::vector<Line> lines;
    std::size_t start = 0;
    std::size_t number = 1;
    while (start < text.size()) {
        const std::size_t lf = text.find('\n', start);
        const bool ended = lf != std::string_view::npos;
        std::string_view line = text.substr(start, ended ? lf - start : std::string_view::npos);
        if (ended && !line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        lines.push_back({line, number++, ended});
        start = ended ? lf + 1 : text.size();
    }
    return lines;
}

std::string Quoted(std::string_view field) {
    constexpr std::size_t kShown = 40;
    std::string shown(field.substr(0, kShown));
    for (char& c : shown) {
        if (static_cast<unsigned char>(c) < 0x20)
            c = '?';
    }
    return "\"" + shown + (field.size() > kShown ? "...\"" : "\"");
}

std::string_view Trimmed(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

// The value of one field, or why it is none.
std::string Number_of(std::string_view field, double& value) {
    field = Trimmed(field);
    if (field.empty())
        return "an empty field where a number belongs";
    if (field.find(',') != std::string_view::npos)
        return Quoted(field) + " has a comma as its decimal separator (the files use \".\")";
    std::string_view digits = field;
    if (digits.size() > 1 && digits.front() == '+')
        digits.remove_prefix(1);
    const auto res = std::from_chars(digits.data(), digits.data() + digits.size(), value,
                                     std::chars_format::general);
    if (res.ec == std::errc::result_out_of_range)
        return Quoted(field) + " is beyond the range of a number";
    if (res.ec != std::errc() || res.ptr != digits.data() + digits.size())
        return Quoted(field) + " is not a number";
    if (!std::isfinite(value))
        return Quoted(field) + ": NaN and infinity are not values of a graph";
    return {};
}

std::string Integer_of(std::string_view field, int32_t& value) {
    field = Trimmed(field);
    const auto res = std::from_chars(field.data(), field.data() + field.size(), value);
    if (field.empty() || res.ec != std::errc() || res.ptr != field.data() + field.size())
        return Quoted(field) + " is not a whole number";
    return {};
}

std::vector<std::string_view> Split(std::string_view line, char separator) {
    std::vector<std::string_view> fields;
    std::size_t start = 0;
    while (true) {
        const std::size_t at = line.find(separator, start);
        fields.push_back(line.substr(start, at == std::string_view::npos ? at : at - start));
        if (at == std::string_view::npos)
            return fields;
        start = at + 1;
    }
}

std::vector<std::string_view> Words(std::string_view line) {
    std::vector<std::string_view> words;
    std::size_t i = 0;
    while (i < line.size()) {
        const std::size_t start = line.find_first_not_of(' ', i);
        if (start == std::string_view::npos)
            break;
        const std::size_t end = std::min(line.find(' ', start), line.size());
        words.push_back(line.substr(start, end - start));
        i = end;
    }
    return words;
}

bool Has_stray_carriage_return(std::string_view text, std::size_t& line) {
    line = 1;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n')
            ++line;
        if (text[i] == '\r' && (i + 1 >= text.size() || text[i + 1] != '\n'))
            return true;
    }
    return false;
}

// Checks that apply to every kind of file, on the rows read: their count and a time (or, over
// the spectrum's bins, a frequency) that increases.
std::string Rows_error(const SavedGraph& g, const std::vector<std::size_t>& numbers,
                       std::size_t header_line) {
    if (g.x.empty())
        return Line_error(g.path, header_line, "the header is not followed by any data");
    if (g.x.size() < static_cast<std::size_t>(kMinSavedRows))
        return Line_error(g.path, numbers.front(), "one row of data: a graph needs at least two");
    if (g.x.size() > static_cast<std::size_t>(kMaxSavedRows))
        return Line_error(g.path, numbers[kMaxSavedRows],
                          "more than " + std::to_string(kMaxSavedRows) + " rows of data");
    const bool spectrum = g.kind == SavedKind::Spectrum;
    const std::size_t checked =
        spectrum ? std::min<std::size_t>(g.x.size(), kSpectrumBins) : g.x.size();
    for (std::size_t i = 1; i < checked; ++i) {
        if (!(g.x[i] > g.x[i - 1]))
            return Line_error(g.path, numbers[i],
                              std::string(spectrum ? "the frequency" : "the time") +
                                  " does not increase from the line before");
    }
    return {};
}

// "# ch1 y increment (V): 0.01" and the like.
std::string Channel_line(std::string_view text, SavedChannel& ch) {
    const std::size_t colon = text.find(": ");
    if (colon == std::string_view::npos)
        return {};
    const std::string_view key = text.substr(0, colon);
    const std::string_view value = text.substr(colon + 2);
    double number = 0;
    const auto take = [&](std::optional<double>& field) {
        std::string why = Number_of(value, number);
        if (why.empty())
            field = number;
        return why;
    };
    if (key == "coupling") {
        if (value == "DC" || value == "AC")
            ch.coupling = value == "DC" ? 1 : 2;
    } else if (key == "mode") {
        ch.inverted = value == "inverted";
    } else if (key == "averaging") {
        int32_t sets = 0;
        const std::string_view count = value.substr(0, value.find(' '));
        ch.averaged_sets = value == "off" || !Integer_of(count, sets).empty() ? 0 : sets;
    } else if (key == "x increment (s)") {
        return take(ch.xincrement);
    } else if (key == "x origin (s)") {
        return take(ch.xorigin);
    } else if (key == "y increment (V)") {
        return take(ch.yincrement);
    } else if (key == "y origin (V)") {
        return take(ch.yorigin);
    } else if (key == "y reference") {
        int32_t reference = 0;
        std::string why = Integer_of(value, reference);
        if (why.empty())
            ch.yreference = reference;
        return why;
    } else if (key == "period (s)") {
        return take(ch.period);
    } else if (key == "RMS (V)") {
        return take(ch.vrms);
    }
    return {};
}

struct Columns {
    std::string_view text;
    SavedKind kind;
    int channel;
};
constexpr Columns kColumns[] = {
    {"time_s,ch1_V", SavedKind::Waveform, 1},
    {"time_s,ch2_V", SavedKind::Waveform, 2},
    {"frequency_Hz,ch1_amplitude_rel", SavedKind::Spectrum, 1},
    {"frequency_Hz,ch2_amplitude_rel", SavedKind::Spectrum, 2},
    {"time_s,sum_V", SavedKind::Sum, 1},
    {"time_s,diff_V", SavedKind::Difference, 1},
};

bool Whole(std::string_view f) {
    f = Trimmed(f);
    if (!f.empty() && (f.front() == '-' || f.front() == '+'))
        f.remove_prefix(1);
    return !f.empty() && f.find_first_not_of("0123456789") == std::string_view::npos;
}

// Three fields of which two read as one number with a decimal comma: "0,5,1.25", "1e-5,0,25".
bool One_comma_decimal(const std::vector<std::string_view>& f) {
    const auto digits_first = [](std::string_view s) {
        s = Trimmed(s);
        return !s.empty() && s.front() >= '0' && s.front() <= '9';
    };
    return (Whole(f[0]) && digits_first(f[1])) || (Whole(f[1]) && digits_first(f[2]));
}

// A row written with a comma as the decimal point: "0,5;1,25", or "0,5,1,25" in four fields.
bool Comma_decimals(std::string_view line, const std::vector<std::string_view>& fields) {
    if (line.find(';') != std::string_view::npos)
        return true;
    if (fields.size() != 4)
        return false;
    return Whole(fields[0]) && Whole(fields[2]);
}

SavedRead Parse_csv(const std::vector<Line>& lines, SavedGraph g) {
    SavedRead out;
    const auto fail = [&](std::size_t line, const std::string& what) {
        out.error = Line_error(g.path, line, what);
        return out;
    };
    std::size_t i = 0;
    for (; i < lines.size() && !lines[i].text.empty() && lines[i].text.front() == '#'; ++i) {
        std::string_view text = lines[i].text.substr(1);
        if (!text.empty() && text.front() == ' ')
            text.remove_prefix(1);
        if (text == "display: Ch 1 and Ch 2")
            g.both_channels = true;
        if (text.size() > 4 && (text.substr(0, 4) == "ch1 " || text.substr(0, 4) == "ch2 ")) {
            const std::size_t ch = text[2] == '1' ? 1 : 2;
            const std::string why = Channel_line(text.substr(4), g.channels[ch]);
            if (!why.empty())
                return fail(lines[i].number, why);
        }
    }
    if (i >= lines.size())
        return fail(lines.empty() ? 1 : lines.back().number,
                    "the header is not followed by a line of columns and data");
    const Line& columns = lines[i];
    const Columns* found = nullptr;
    for (const Columns& c : kColumns) {
        if (Trimmed(columns.text) == c.text)
            found = &c;
    }
    if (found == nullptr) {
        if (i == 0)
            return fail(columns.number, kNotOurs);
        return fail(columns.number, "the columns " + Quoted(columns.text) +
                                        " are none of a waveform's or a spectrum's");
    }
    g.kind = found->kind;
    g.channel = found->channel;
    std::vector<std::size_t> numbers;
    for (++i; i < lines.size(); ++i) {
        const Line& line = lines[i];
        if (line.text.empty()) {
            // Blank lines may end a file that an editor touched, nowhere else.
            bool rest_blank = true;
            for (std::size_t k = i; k < lines.size(); ++k)
                rest_blank &= Trimmed(lines[k].text).empty();
            if (rest_blank)
                break;
            return fail(line.number, "an empty line among the rows");
        }
        if (!line.ended)
            return fail(line.number, "truncated: the file ends in the middle of this line");
        const std::vector<std::string_view> fields = Split(line.text, ',');
        if (Comma_decimals(line.text, fields))
            return fail(line.number,
                        "a comma as the decimal separator (the files use \".\" for the decimal "
                        "point and \",\" between the columns)");
        if (fields.size() != 2)
            return fail(line.number, "columns of unequal length: " + std::to_string(fields.size()) +
                                         (fields.size() == 1 ? " field" : " fields") +
                                         " where the columns line names 2" +
                                         (fields.size() == 3 && One_comma_decimal(fields)
                                              ? " (is a comma the decimal separator?)"
                                              : ""));
        double x = 0;
        double y = 0;
        std::string why = Number_of(fields[0], x);
        if (why.empty())
            why = Number_of(fields[1], y);
        if (!why.empty())
            return fail(line.number, why);
        if (g.x.size() > static_cast<std::size_t>(kMaxSavedRows))
            break;  // told by the rows' check
        g.x.push_back(x);
        g.y.push_back(y);
        numbers.push_back(line.number);
    }
    out.error = Rows_error(g, numbers, columns.number);
    if (out.error.empty())
        out.graph = std::move(g);
    return out;
}

// The channel and kind a text data file's name tells: waveform1..., fft2...
bool Kind_of_name(const std::string& name, SavedKind& kind, int& channel) {
    std::string lower;
    for (const char c : name)
        lower += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    for (const auto& [prefix, k] :
         {std::pair{"waveform", SavedKind::Waveform}, std::pair{"fft", SavedKind::Spectrum}}) {
        const std::string p = prefix;
        if (lower.size() > p.size() && lower.compare(0, p.size(), p) == 0 &&
            (lower[p.size()] == '1' || lower[p.size()] == '2')) {
            kind = k;
            channel = lower[p.size()] - '0';
            return true;
        }
    }
    return false;
}

SavedRead Parse_data_file(const std::vector<Line>& lines, SavedGraph g) {
    SavedRead out;
    const auto fail = [&](std::size_t line, const std::string& what) {
        out.error = Line_error(g.path, line, what);
        return out;
    };
    const bool waveform = lines.front().text == kWaveformHeader;
    SavedKind named = SavedKind::Waveform;
    if (!Kind_of_name(g.name, named, g.channel))
        return fail(1,
                    "the file name must begin with waveform1, waveform2, fft1 or fft2 to tell "
                    "the channel");
    g.kind = waveform ? SavedKind::Waveform : SavedKind::Spectrum;
    if (named != g.kind)
        return fail(1, std::string("the name says ") + (waveform ? "spectrum" : "waveform") +
                           " but the header is a " + (waveform ? "waveform's" : "spectrum's"));
    if (!lines.front().ended)
        return fail(1, "the header is not followed by any data");
    const std::size_t width = waveform ? kWaveformLine : kSpectrumLine;
    std::vector<std::size_t> numbers;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const Line& line = lines[i];
        if (Trimmed(line.text).empty() && line.text.size() < width) {
            bool rest_blank = true;
            for (std::size_t k = i; k < lines.size(); ++k)
                rest_blank &= Trimmed(lines[k].text).empty();
            if (rest_blank)
                break;
        }
        const std::vector<std::string_view> words = Words(line.text);
        for (const std::string_view w : words) {
            double ignored = 0;
            if (w.find(',') != std::string_view::npos)
                return fail(line.number, Number_of(w, ignored));
        }
        if (line.text.size() < width || !line.ended)
            return fail(line.number, "truncated: " + std::to_string(line.text.size()) +
                                         " characters" + (line.ended ? "" : " and no line end") +
                                         ", a line of this file has " + std::to_string(width));
        if (line.text.size() > width)
            return fail(line.number, std::to_string(line.text.size()) +
                                         " characters, a line of this file has " +
                                         std::to_string(width));
        if (words.size() != (waveform ? 3u : 2u))
            return fail(line.number, "columns of unequal length: " + std::to_string(words.size()) +
                                         " fields where the header names " +
                                         (waveform ? "3" : "2"));
        std::size_t k = 0;
        if (waveform) {
            int32_t code = 0;
            std::string why = Integer_of(words[k++], code);
            if (why.empty() && (code < 0 || code > 65535))
                why = Quoted(words[0]) + " is not a raw code (0 to 65535)";
            if (!why.empty())
                return fail(line.number, why);
            g.raw.push_back(code);
        }
        double x = 0;
        double y = 0;
        std::string why = Number_of(words[k], x);
        if (why.empty())
            why = Number_of(words[k + 1], y);
        if (!why.empty())
            return fail(line.number, why);
        if (g.x.size() > static_cast<std::size_t>(kMaxSavedRows))
            break;
        g.x.push_back(x);
        g.y.push_back(y);
        numbers.push_back(line.number);
    }
    out.error = Rows_error(g, numbers, 1);
    if (out.error.empty())
        out.graph = std::move(g);
    return out;
}

}  // namespace

std::string Line_error(const std::string& path, std::size_t line, const std::string& what) {
    return path + ": line " + std::to_string(line) + ": " + what;
}

SavedRead Parse_saved(std::string_view text, const std::string& path) {
    SavedGraph g;
    g.path = path;
    g.name = fs::path(path).filename().string();
    SavedRead out;
    if (text.empty()) {
        out.error = path + ": empty: " + kNotOurs;
        return out;
    }
    const auto starts = [&](std::string_view bom) { return text.substr(0, bom.size()) == bom; };
    if (starts("\xEF\xBB\xBF") || starts("\xFF\xFE") || starts("\xFE\xFF")) {
        out.error = Line_error(path, 1,
                               "starts with a byte-order mark: save the file as plain text "
                               "without one");
        return out;
    }
    std::size_t cr_line = 0;
    if (Has_stray_carriage_return(text, cr_line)) {
        out.error = Line_error(path, cr_line,
                               "a carriage return without a line feed (the files end their "
                               "lines with CR LF or LF)");
        return out;
    }
    const std::vector<Line> lines = Lines_of(text);
    const std::string_view first = lines.front().text;
    if (first == kWaveformHeader || first == kSpectrumHeader)
        return Parse_data_file(lines, std::move(g));
    return Parse_csv(lines, std::move(g));
}

SavedRead Read_saved_file(const std::string& path) {
    SavedRead out;
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    if (ec || !fs::exists(status)) {
        out.error = path + ": cannot be read: " +
                    (ec ? ec.message()
                        : std::make_error_code(std::errc::no_such_file_or_directory).message());
        return out;
    }
    if (fs::is_directory(status)) {
        out.error = path + ": a folder, not a file";
        return out;
    }
    const std::uintmax_t size = fs::file_size(path, ec);
    if (!ec && size > kMaxSavedFileBytes) {
        out.error = path + ": " + std::to_string(size) +
                    " bytes, larger than the 64 MiB a saved graph can be";
        return out;
    }
    errno = 0;
    std::FILE* in = std::fopen(path.c_str(), "rb");
    if (in == nullptr) {
        out.error = path + ": cannot be read: " +
                    (errno != 0 ? std::string(std::strerror(errno)) : "input/output error");
        return out;
    }
    std::string bytes;
    bytes.reserve(static_cast<std::size_t>(ec ? 0 : size));
    // A file that grows while it is read still stops at the limit.
    std::array<char, 65536> buffer{};
    std::size_t got = 0;
    while ((got = std::fread(buffer.data(), 1, buffer.size(), in)) > 0) {
        bytes.append(buffer.data(), got);
        if (bytes.size() > kMaxSavedFileBytes)
            break;
    }
    const bool failed = std::ferror(in) != 0;
    const int error = errno;
    std::fclose(in);
    if (failed) {
        out.error = path + ": cannot be read: " +
                    (error != 0 ? std::string(std::strerror(error)) : "input/output error");
        return out;
    }
    if (bytes.size() > kMaxSavedFileBytes) {
        out.error = path + ": larger than the 64 MiB a saved graph can be";
        return out;
    }
    return Parse_saved(bytes, path);
}

}  // namespace app
