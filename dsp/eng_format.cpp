// Engineering-unit text for the graph titles. The scale limits 1.1, 0.0011 and 1.1e-6 are
// compared in extended precision: the nearest doubles lie just above them, so a value printed
// as exactly 1.1 m still counts as above the limit and shows in the larger unit.
#include "dsp/eng_format.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <locale>

namespace dsp {

namespace {

std::string System_separator() {
    try {
        const std::locale user("");
        return std::string(1, std::use_facet<std::numpunct<char>>(user).decimal_point());
    } catch (const std::exception&) {
        // An environment naming a locale the system does not have.
        return ".";
    }
}

std::string& Separator() {
    static std::string sep = System_separator();
    return sep;
}

struct Scale {
    const char* suffix;
    double multiplier;
};

Scale Choose_scale(double x) {
    const long double v = x;
    if (v > 1100000.0L)
        return {" M", 1e-6};
    if (v > 1100.0L)
        return {" k", 1e-3};
    if (v > 1.1L)
        return {" ", 1.0};
    if (v > 0.0011L)
        return {" m", 1e3};
    if (v > 1.1e-6L)
        return {" \xB5", 1e6};
    return {" n", 1e9};
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

const std::string& Decimal_separator() {
    return Separator();
}

void Set_decimal_separator(const std::string& separator) {
    Separator() = separator.empty() ? System_separator() : separator;
}

std::string Format_eng(const std::string& prefix, double value) {
    const Scale scale = Choose_scale(value);
    const double y = value * scale.multiplier;
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

}  // namespace dsp
