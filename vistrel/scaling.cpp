// Axis arithmetic of the plotting unit. Data values and steps are kept as 32-bit floats and every
// intermediate is computed in extended precision, then stored back as a float: tick values,
// label texts and pixel positions depend on exactly where that rounding happens.
#include "vistrel/scaling.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

#include "vistrel/metafile.h"
#include "vistrel/single.h"
#include "vistrel/state.h"

namespace vistrel {

namespace {

using Extended = long double;

constexpr MantissaSet MakeSet(std::initializer_list<int32_t> values) {
    MantissaSet set;
    for (int32_t v : values) set.mantissas[static_cast<size_t>(set.count++)] = v;
    return set;
}

constexpr MantissaSet MakeDensestSet() {
    MantissaSet set;
    const auto add = [&set](int32_t from, int32_t to, int32_t step) {
        for (int32_t v = from; v <= to; v += step)
            set.mantissas[static_cast<size_t>(set.count++)] = v;
    };
    add(10, 20, 1);
    add(22, 50, 2);
    add(55, 95, 5);
    return set;
}

// Pixel positions stay within what a 16-bit metafile coordinate can hold; a value that is not a
// number lands at the far left/top, off the surface.
int32_t ClampToPixel(Extended p) {
    if (std::isnan(p))
        return -32768;
    return RoundHalfEven(std::clamp(p, Extended{-32768}, Extended{32767}));
}

// t in 0..1 over an axis: linear, or logarithmic over lnSpan. A non-positive value on a
// logarithmic axis is taken as half the minimum, so it lands just before the axis start.
Extended AxisFraction(float v, float lo, float hi, bool log, float lnSpan) {
    if (log) {
        if (v <= 0.0f)
            v = Single(Extended{lo} / 2);
        return std::log(Extended{v} / lo) / lnSpan;
    }
    return (Extended{v} - lo) / (Extended{hi} - lo);
}

std::string Fixed(float value, int32_t decimals) {
    if (std::isnan(value))
        return "NAN";
    if (std::isinf(value))
        return value > 0 ? "INF" : "-INF";
    char buf[512];
    std::snprintf(buf, sizeof buf, "%.*Lf", std::clamp(decimals, 0, 99), Extended{value});
    return buf;
}

// The exponent of a label: one digit, or the whole number from 10 on.
std::string ExponentText(int32_t n) {
    return n < 10 ? std::string(1, static_cast<char>('0' + n)) : std::to_string(n);
}

}  // namespace

const std::array<MantissaSet, 5> LogMantissaSets = {
    MakeSet({10}),
    MakeSet({10, 20, 50}),
    MakeSet({10, 20, 30, 40, 50, 60, 70, 80, 90}),
    MakeSet({10, 12, 14, 16, 18, 20, 25, 30, 35, 40, 45, 50, 60, 70, 80, 90}),
    MakeDensestSet(),
};

bool MantissaSet::contains(int32_t mantissa) const {
    const auto end = mantissas.begin() + count;
    return std::find(mantissas.begin(), end, mantissa) != end;
}

int32_t RoundHalfEven(long double v) {
    if (std::isnan(v))
        return 0;
    constexpr auto lo = static_cast<long double>(std::numeric_limits<int32_t>::min());
    constexpr auto hi = static_cast<long double>(std::numeric_limits<int32_t>::max());
    const long double c = std::clamp(v, lo, hi);
    // Every pixel goes through here: truncate and look at the remainder, which is exact in
    // extended precision, instead of the library's rounding-mode-safe nearbyint.
    const auto whole = static_cast<int64_t>(c);
    const long double rest = c - static_cast<long double>(whole);
    int64_t r = whole;
    if (rest > 0.5L || (rest == 0.5L && (whole & 1) != 0)) {
        r = whole + 1;
    } else if (rest < -0.5L || (rest == -0.5L && (whole & 1) != 0)) {
        r = whole - 1;
    }
    return static_cast<int32_t>(std::clamp<int64_t>(r, std::numeric_limits<int32_t>::min(),
                                                    std::numeric_limits<int32_t>::max()));
}

int32_t XToPixel(float x) {
    const Extended t = AxisFraction(x, plot.XMin, plot.XMax, plot.XLog, plot.XLogSpan);
    return ClampToPixel(plot.PlotLeft + t * plot.PlotWidth);
}

int32_t YToPixel(float y) {
    const Extended t = AxisFraction(y, plot.YMin, plot.YMax, plot.YLog, plot.YLogSpan);
    return ClampToPixel(plot.PlotBottom - t * plot.PlotHeight);
}

int32_t ValueToAxisPixel(float v, float lo, float hi, int32_t length) {
    return RoundHalfEven((Extended{v} - lo) / (Extended{hi} - lo) * length);
}

LinearSteps ChooseLinearStep(int32_t lengthPx, int32_t intervals, float lo, float hi,
                             float minStep) {
    intervals = std::max(intervals, 1);
    if (lo > hi)
        std::swap(lo, hi);
    const float span = Single(Extended{hi} - lo);
    LinearSteps steps;
    if (!(span > 0.0f) || !std::isfinite(span)) {
        // No range to divide: one unit steps, so that no caller can loop on a zero step.
        steps.majorStep = std::max(1.0f, minStep);
        steps.minorStep = steps.majorStep;
        return steps;
    }

    // Each retry shrinks the step by a fifth; a range too fine for float steps never gets two
    // ticks, so the retries are bounded.
    constexpr int kMaxRetries = 100;
    float factor = 1.0f;
    for (int retry = 0; retry <= kMaxRetries; ++retry) {
        float v = Single(Extended{span} / (intervals + 0.000001L) * factor);
        float w = 1.0f;
        int32_t decimals = 0;
        while (v >= 5.0f) {
            v = Single(Extended{v} / 10);
            w = Single(Extended{w} * 10);
            decimals -= 1;
        }
        while (v < 0.5f) {
            v = Single(Extended{v} * 10);
            w = Single(Extended{w} / 10);
            decimals += 1;
        }
        if (v < 1.0f) {
            steps.majorStep = w;
            steps.minorStep = Single(Extended{w} / 5);
        } else if (v < 2.0f) {
            steps.majorStep = Single(Extended{w} * 2);
            steps.minorStep = Single(Extended{w} / 2);
        } else {
            steps.majorStep = Single(Extended{w} * 5);
            steps.minorStep = w;
        }
        steps.decimals = decimals;

        // Count the major ticks that fall on the axis; only "two or more" matters, so counting
        // stops there, and it stops where float addition no longer advances the tick value.
        const Extended first = std::trunc(Extended{lo} / steps.majorStep - 1);
        float t = Single(first * steps.majorStep);
        int count = 0;
        for (;;) {
            const int32_t pos = ValueToAxisPixel(t, lo, hi, lengthPx);
            if (pos > lengthPx)
                break;
            if (pos >= 0 && ++count >= 2)
                break;
            const float next = Single(Extended{t} + steps.majorStep);
            if (!(next > t))
                break;
            t = next;
        }

        steps.majorStep = std::max(steps.majorStep, minStep);
        steps.minorStep = std::max(steps.minorStep, minStep);
        if (count >= 2)
            break;
        factor = Single(Extended{factor} * 0.8L);
    }
    return steps;
}

float ChooseLogTickLevels(int32_t lengthPx, float ratio) {
    const float density =
        Single(static_cast<Extended>(lengthPx) / std::log10(Extended{ratio}) / plot.FontScale);
    if (density > 250.0f)
        return 224.0f;
    if (density > 160.0f)
        return 123.0f;
    if (density > 100.0f)
        return 112.0f;
    if (density > 40.0f)
        return 12.0f;
    if (density > 7.0f)
        return 1.0f;
    return 0.0f;
}

int32_t DecimalsFor(float x) {
    const float a = std::fabs(x);
    if (a == 0.0f || !std::isfinite(a))
        return 99;
    if (a == 1.0f)
        return 0;
    // A value less than 0.1 % below a power of ten counts as that power.
    const auto digits = static_cast<int32_t>(std::trunc(std::log10(Extended{a} * 1.001L)));
    return a > 1.0f ? -digits : 1 - digits;
}

std::string FormatTickValue(int32_t decimals, float value) {
    if (value == 0.0f)
        return "0";
    if (!std::isfinite(value))
        return Fixed(value, 0);
    if (decimals <= -3) {
        const int32_t n = -decimals;
        for (int32_t i = 0; i < n; ++i) value = Single(Extended{value} / 10);
        return Fixed(value, 0) + "E" + ExponentText(n);
    }
    if (decimals <= 0)
        return Fixed(value, 0);
    // 0.01 is an extended value: the single nearest it (0.0099999998) lies below and takes the
    // exponent form.
    if (Extended{std::fabs(value)} >= 0.01L)
        return Fixed(value, decimals);
    int32_t k = 0;
    do {
        value = Single(Extended{value} * 10);
        k += 1;
    } while (!(std::fabs(value) > 1.0f));
    return Fixed(value, std::max(decimals - k, 0)) + "E-" + ExponentText(k);
}

std::string FormatDecadeLabel(int32_t exponent, int32_t digit) {
    std::string text;
    switch (exponent) {
        case 0:
            text = "1";
            break;
        case 1:
            text = "10";
            break;
        case 2:
            text = "100";
            break;
        case 3:
            text = "1000";
            break;
        case -1:
            text = "0.1";
            break;
        case -2:
            text = "0.01";
            break;
        default:
            text = "1E" + std::to_string(exponent);
            break;
    }
    const std::string digitText = digit >= 0 && digit <= 9
                                      ? std::string(1, static_cast<char>('0' + digit))
                                      : std::to_string(digit);
    text.replace(text.find('1'), 1, digitText);
    return text;
}

void DrawVerticalGridLine(int32_t x, bool minor) {
    if (plot.PlotCanvas == nullptr || plot.CurrentGraph < 1)
        return;
    if (x == plot.PlotLeft)
        return;  // the vertical axis line itself
    const GraphSlot& slot = CurrentSlot();
    const int32_t pattern = minor ? slot.VGridMinorPattern : slot.VGridMajorPattern;
    if (pattern < 0)
        return;
    Canvas& canvas = *plot.PlotCanvas;
    const int32_t top = plot.PlotBottom - plot.PlotHeight;
    if (pattern == 0) {
        canvas.set_pen_style(PenStyle::Solid);
        canvas.move_to(x, plot.PlotBottom);
        canvas.line_to(x, top);
        if (plot.MetafileRecording) {
            SyncMetaPen();
            EmitLine(x, plot.PlotBottom, x, top);
        }
        return;
    }
    const Colour colour = canvas.pen_colour();
    for (int32_t y = top; y <= plot.PlotBottom; ++y) {
        if ((pattern & y) == 0)
            canvas.set_pixel(x, y, colour);
    }
    if (plot.MetafileRecording) {
        if (minor) {
            RememberMinorGridLine(x);
        } else {
            RememberMajorGridLine(x);
        }
    }
}

void DrawHorizontalGridLine(int32_t y, bool minor) {
    if (plot.PlotCanvas == nullptr || plot.CurrentGraph < 1)
        return;
    if (y == plot.PlotBottom)
        return;  // the horizontal axis line itself
    const GraphSlot& slot = CurrentSlot();
    const int32_t pattern = minor ? slot.HGridMinorPattern : slot.HGridMajorPattern;
    if (pattern < 0)
        return;
    Canvas& canvas = *plot.PlotCanvas;
    const int32_t right = plot.PlotLeft + plot.PlotWidth;
    if (pattern == 0) {
        canvas.set_pen_style(PenStyle::Solid);
        // The zero level stands out with a double-width line.
        canvas.set_pen_width(y == plot.ZeroLineRow ? 2 : 1);
        canvas.move_to(plot.PlotLeft, y);
        canvas.line_to(right, y);
        if (plot.MetafileRecording) {
            SyncMetaPen();
            EmitLine(plot.PlotLeft, y, right, y);
        }
        return;
    }
    const Colour colour = canvas.pen_colour();
    for (int32_t x = plot.PlotLeft; x <= right; ++x) {
        if ((pattern & x) == 0)
            canvas.set_pixel(x, y, colour);
    }
    if (plot.MetafileRecording) {
        if (minor) {
            RememberMinorGridLine(y);
        } else {
            RememberMajorGridLine(y);
        }
    }
}

Colour MixColours(Colour c1, Colour c2, int32_t w1, int32_t w2) {
    if (w1 <= 0 || w2 <= 0)
        return 0;
    const Colour a = ColourToRGB(c1);
    const Colour b = ColourToRGB(c2);
    Colour mixed = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
        const int64_t ca = (a >> shift) & 0xFF;
        const int64_t cb = (b >> shift) & 0xFF;
        const int64_t channel = (int64_t{w1} * ca + int64_t{w2} * cb) / (int64_t{w1} + w2);
        mixed |= static_cast<Colour>(channel) << shift;
    }
    return mixed;
}

}  // namespace vistrel
