// Engineering-unit text for the graph titles. The scale limits 1.1, 0.0011 and 1.1e-6 are
// compared in extended precision: the nearest doubles lie just above them, so a value printed
// as exactly 1.1 m still counts as above the limit and shows in the larger unit.
#include "dsp/eng_format.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <locale>

namespace dsp {

namespace {

// The code points of Windows-1252's bytes 0x80..0x9F (0 where the byte is unassigned); bytes
// below 0x80 and from 0xA0 on stand for the code point of the same number.
constexpr char32_t kCp1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

// The Windows-1252 byte of a code point, or -1 when the code page has none.
int Cp1252_byte(char32_t c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
        return static_cast<int>(c);
    for (int i = 0; i < 32; ++i) {
        if (kCp1252High[i] != 0 && kCp1252High[i] == c)
            return 0x80 + i;
    }
    return -1;
}

// Decodes one UTF-8 sequence at text[i], advancing i; false for a malformed sequence.
bool Next_code_point(const std::string& text, std::size_t& i, char32_t& c) {
    const auto lead = static_cast<unsigned char>(text[i++]);
    int more = 0;
    if (lead < 0x80) {
        c = lead;
    } else if ((lead & 0xE0) == 0xC0) {
        c = lead & 0x1Fu;
        more = 1;
    } else if ((lead & 0xF0) == 0xE0) {
        c = lead & 0x0Fu;
        more = 2;
    } else if ((lead & 0xF8) == 0xF0) {
        c = lead & 0x07u;
        more = 3;
    } else {
        return false;
    }
    for (; more > 0; --more) {
        if (i >= text.size() || (static_cast<unsigned char>(text[i]) & 0xC0) != 0x80)
            return false;
        c = (c << 6) | (static_cast<unsigned char>(text[i++]) & 0x3Fu);
    }
    return true;
}

std::string System_separator() {
    try {
        const std::locale user("");
        return Windows1252_separator(
            std::string(1, std::use_facet<std::numpunct<char>>(user).decimal_point()));
    } catch (const std::exception&) {
        // An environment naming a locale the system does not have.
        return ".";
    }
}

std::string& Separator() {
    static std::string sep = System_separator();
    return sep;
}

// The multipliers are extended values, like the limits, so that the scaled value is rounded
// once, when the double receives it.
struct Scale {
    const char* suffix;
    long double multiplier;
};

Scale Choose_scale(double x) {
    const long double v = x;
    if (v > 1100000.0L)
        return {" M", 1e-6L};
    if (v > 1100.0L)
        return {" k", 1e-3L};
    if (v > 1.1L)
        return {" ", 1.0L};
    if (v > 0.0011L)
        return {" m", 1e3L};
    if (v > 1.1e-6L)
        return {" \xB5", 1e6L};
    return {" n", 1e9L};
}

// General format: up to 15 significant digits, no trailing zeros, fixed notation unless more
// than 15 digits stand before the point. Built with to_chars so the C locale the toolkit may
// have set cannot change the point.
std::string General_text(long double v) {
    char buf[64];
    const auto res = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, 15);
    std::string text(buf, res.ptr);
    const auto point = text.find('.');
    if (point != std::string::npos)
        text.replace(point, 1, Separator());
    return text;
}

}  // namespace

std::string Windows1252_separator(const std::string& utf8) {
    std::string out;
    for (std::size_t i = 0; i < utf8.size();) {
        char32_t c = 0;
        const int byte = Next_code_point(utf8, i, c) ? Cp1252_byte(c) : -1;
        if (byte < 0)
            return ".";
        out += static_cast<char>(byte);
    }
    return out.empty() ? "." : out;
}

const std::string& Decimal_separator() {
    return Separator();
}

void Set_decimal_separator(const std::string& separator) {
    Separator() = separator.empty() ? System_separator() : Windows1252_separator(separator);
}

std::string Format_eng(const std::string& prefix, double value) {
    const Scale scale = Choose_scale(value);
    const auto y = static_cast<double>(value * scale.multiplier);
    const long double thousandths = std::nearbyint(static_cast<long double>(y) * 1000.0L);
    // Beyond the 64-bit range (the scope's 9.9E+37 "no value" reply, for one) the rounding to
    // three decimals means nothing; the scaled value is shown as it is.
    constexpr long double kLimit = 9223372036854775807.0L;
    long double number;
    if (std::fabs(thousandths) < kLimit)
        number = static_cast<long double>(static_cast<int64_t>(thousandths)) / 1000.0L;
    else
        number = y;
    return prefix + General_text(number) + scale.suffix;
}

std::string Format_si(double value, int digits, const std::string& unit) {
    digits = std::clamp(digits, 1, 15);
    if (!std::isfinite(value))
        return std::string(std::isnan(value) ? "NAN " : (value < 0 ? "-INF " : "INF ")) + unit;
    static constexpr const char* kPrefixes[] = {"p", "n", "\xB5", "m", "", "k", "M", "G"};
    constexpr int kUnitIndex = 4;
    // The decade is taken after rounding to the digits, so 999.96 mV reads 1.000 V.
    const long double magnitude = std::fabs(static_cast<long double>(value));
    int exponent = 0;
    if (magnitude != 0.0L) {
        char probe[64];
        const auto res = std::to_chars(probe, probe + sizeof probe, magnitude,
                                       std::chars_format::scientific, digits - 1);
        const std::string text(probe, res.ptr);
        exponent = std::atoi(text.c_str() + text.find('e') + 1);
    }
    int group = exponent >= 0 ? exponent / 3 : -((-exponent + 2) / 3);
    group = std::clamp(group, -kUnitIndex, 3);
    const long double scaled = static_cast<long double>(value) / std::pow(1000.0L, group);
    const int before_point = std::max(1, exponent - 3 * group + 1);
    const int decimals = std::max(0, digits - before_point);
    char buf[96];
    const auto res =
        std::to_chars(buf, buf + sizeof buf, scaled, std::chars_format::fixed, decimals);
    std::string number(buf, res.ptr);
    if (number.find_first_not_of("-0.") == std::string::npos && number[0] == '-')
        number.erase(0, 1);  // -0.000 reads 0.000
    const auto point = number.find('.');
    if (point != std::string::npos)
        number.replace(point, 1, Separator());
    return number + " " + kPrefixes[group + kUnitIndex] + unit;
}

}  // namespace dsp
