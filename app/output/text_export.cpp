// Text data export. Numbers are formatted here rather than by printf: the files use a
// four-digit exponent and round an exact decimal tie upwards, where printf would round it to
// even (976.5625 to six digits is 9.76563, not 9.76562).
#include "app/output/text_export.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "app/output/data_files.h"
#include "app/picture/window_state.h"
#include "dsp/channel_math.h"
#include "platform/platform.h"
#include "platform/user_folders.h"

namespace app {

namespace {

constexpr const char* kEol = "\r\n";

// The decimal digits of |value| (not rounded: at least `wanted` of them, all exact) and the
// decimal exponent of the first one.
struct Digits {
    std::string text;
    int exponent = 0;
};

Digits Exact_digits(double magnitude, int wanted) {
    // A few guard digits usually settle the digits we need; only when the guard digits came
    // out as zeros can a rounding carry have reached them, and then the exact expansion (at
    // most 767 significant digits for a double) is taken instead.
    std::array<char, 832> buf{};
    const int guard = 20;
    auto res = std::to_chars(buf.data(), buf.data() + buf.size(), magnitude,
                             std::chars_format::scientific, wanted + guard);
    std::string s(buf.data(), res.ptr);
    auto e = s.find('e');
    std::string digits = s.substr(0, 1) + s.substr(2, e - 2);
    if (digits.find_first_not_of('0', wanted + 1) == std::string::npos) {
        res = std::to_chars(buf.data(), buf.data() + buf.size(), magnitude,
                            std::chars_format::scientific, 780);
        s.assign(buf.data(), res.ptr);
        e = s.find('e');
        digits = s.substr(0, 1) + s.substr(2, e - 2);
    }
    return {digits, std::atoi(s.c_str() + e + 1)};
}

std::string Field_of(const std::string& text, int width) {
    const auto w = static_cast<size_t>(width);
    return text.size() >= w ? text : std::string(w - text.size(), ' ') + text;
}

std::string Int_field(int32_t value, int width) {
    std::array<char, 16> buf{};
    const auto res = std::to_chars(buf.data(), buf.data() + buf.size(), value);
    return Field_of(std::string(buf.data(), res.ptr), width);
}

// Lines 1..N: the rows the data files share, each with the channel's own raw code.
std::string Waveform_text(int channel) {
    const auto& raw = dsp::Channel_raw_sums[channel];
    std::string out = std::string(" Raw data ") + "      Time    " + "   Voltage    " + kEol;
    int32_t j = 1;
    for (const DataRow& row : Waveform_rows(channel)) {
        out += Int_field(raw[j++], 8);
        out += "  ";
        out += Scientific_field(row.x, 14);
        out += ' ';
        out += Scientific_field(row.y, 14);
        out += kEol;
    }
    return out;
}

std::string Spectrum_text(int channel) {
    std::string out = std::string("   Frequency  ") + "   Amplitude  " + kEol;
    for (const DataRow& row : Spectrum_rows(channel)) {
        out += ' ';
        out += Scientific_field(row.x, 23);
        out += ' ';
        out += Scientific_field(row.y, 23);
        out += kEol;
    }
    return out;
}

// Creates or replaces the file; on failure tells the operator which file and why.
bool Write_file(const std::string& path, const std::string& text) {
    const std::string reason = Write_whole_file(path, text);
    if (!reason.empty()) {
        platform::current().message_box(platform::BoxKind::Error, "File Error",
                                        "Error writing data file " + path + ": " + reason);
    }
    return reason.empty();
}

}  // namespace

std::string Data_directory() {
    return platform::Data_directory();
}

std::string Scientific_field(double value, int width) {
    if (!std::isfinite(value)) {
        const char* word = std::isnan(value) ? "NAN" : (value < 0 ? "-INF" : "INF");
        return Field_of(word, width);
    }
    const int significant = width - 8;
    std::string mantissa(static_cast<size_t>(significant), '0');
    int exponent = 0;
    if (value != 0) {
        const Digits d = Exact_digits(std::fabs(value), significant);
        mantissa = d.text.substr(0, static_cast<size_t>(significant));
        exponent = d.exponent;
        if (d.text[static_cast<size_t>(significant)] >= '5') {
            int k = significant - 1;
            while (k >= 0 && mantissa[static_cast<size_t>(k)] == '9')
                mantissa[static_cast<size_t>(k--)] = '0';
            if (k >= 0) {
                ++mantissa[static_cast<size_t>(k)];
            } else {
                mantissa[0] = '1';  // 9.99..95 became 10.0..0
                ++exponent;
            }
        }
    }
    std::string out;
    out.reserve(static_cast<size_t>(width));
    out += value < 0 ? '-' : ' ';
    out += mantissa[0];
    out += '.';
    out.append(mantissa, 1);
    out += 'E';
    out += exponent < 0 ? '-' : '+';
    std::array<char, 16> buf{};  // room for any int, though exponents of doubles have 3 digits
    std::snprintf(buf.data(), buf.size(), "%04d", std::abs(exponent));
    out += buf.data();
    return out;
}

bool Write_data_files_to(const std::string& folder, std::vector<std::string>& written) {
    const WindowState shown = Window;
    const bool ends = !folder.empty() && (folder.back() == '/' || folder.back() == '\\');
    // A folder given without its separator gets the system's own ('\\' on Windows).
    const char separator = static_cast<char>(std::filesystem::path::preferred_separator);
    const std::string dir = folder.empty() || ends ? folder : folder + separator;
    for (int channel = 1; channel <= 2; ++channel) {
        const char digit = static_cast<char>('0' + channel);
        const bool waveform = channel == 1 ? shown.Show_ch1_waveform : shown.Show_ch2_waveform;
        const bool spectrum = channel == 1 ? shown.Show_ch1_fft : shown.Show_ch2_fft;
        const std::string waveform_file = dir + "waveform" + digit + "_data.dat";
        const std::string spectrum_file = dir + "fft" + digit + "_data.dat";
        if (waveform && !Write_file(waveform_file, Waveform_text(channel)))
            return false;
        if (waveform)
            written.push_back(waveform_file);
        if (spectrum && !Write_file(spectrum_file, Spectrum_text(channel)))
            return false;
        if (spectrum)
            written.push_back(spectrum_file);
    }
    return true;
}

void Write_data_files() {
    std::vector<std::string> written;
    if (!Write_data_files_to(Data_directory(), written))
        return;
    platform::current().message_box(platform::BoxKind::Information, "Information",
                                    "Data files successfully written");
}

}  // namespace app
