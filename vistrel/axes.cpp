// The axes of a graph. Tick values are accumulated in 32-bit floats by repeated addition, so
// labels, ticks and grid lines fall exactly where the accumulated value maps; a tick value that
// lands within a hundredth of a step of zero is snapped to zero so that the zero tick reads "0".
// Every tick loop ends as soon as an addition no longer advances the value, which is what a
// range tiny against its magnitude comes to. A range with an infinite end maps every finite value
// to one pixel and is not drawn at all.
#include "vistrel/axes.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "vistrel/curves.h"
#include "vistrel/metafile.h"
#include "vistrel/scaling.h"
#include "vistrel/single.h"
#include "vistrel/state.h"

namespace vistrel {

namespace {

using Extended = long double;

// Where the ticks, labels and grid lines of the axis being drawn go.
struct AxisFrame {
    bool vertical = false;
    int32_t column = 0;     // vertical axis: the column of its line
    int32_t direction = 0;  // vertical axis: -1 ticks to the left, +1 to the right
    bool grid = false;
    bool fixedFormat = false;
    int32_t decimals = 0;
    int32_t widestLabel = 0;  // vertical axis: for the placement of its title
};

int32_t Pixel(const AxisFrame& axis, float v) {
    return axis.vertical ? YToPixel(v) : XToPixel(v);
}

// The tick at pixel p has not yet run past the far end of the axis.
bool BeforeEnd(const AxisFrame& axis, int32_t p) {
    return axis.vertical ? p >= plot.PlotBottom - plot.PlotHeight
                         : p <= plot.PlotLeft + plot.PlotWidth;
}

bool OnAxis(const AxisFrame& axis, int32_t p) {
    if (axis.vertical)
        return p >= plot.PlotBottom - plot.PlotHeight && p <= plot.PlotBottom;
    return p >= plot.PlotLeft && p <= plot.PlotLeft + plot.PlotWidth;
}

void Line(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
    plot.PlotCanvas->move_to(x1, y1);
    plot.PlotCanvas->line_to(x2, y2);
    if (plot.MetafileRecording)
        EmitLine(x1, y1, x2, y2);
}

void Tick(const AxisFrame& axis, int32_t p, int32_t length) {
    if (axis.vertical) {
        Line(axis.column, p, axis.column + axis.direction * length, p);
    } else {
        Line(p, plot.PlotBottom, p, plot.PlotBottom + length);
    }
}

void Label(AxisFrame& axis, int32_t p, const std::string& text) {
    Canvas& canvas = *plot.PlotCanvas;
    const int32_t width = canvas.text_width(text);
    if (axis.vertical) {
        const int32_t y = p - plot.CharHeight / 2;
        const int32_t x = axis.direction < 0 ? axis.column - plot.MajorTickLength - width
                                             : axis.column + plot.MajorTickLength + 1;
        canvas.text_out(x, y, text);
        if (plot.MetafileRecording)
            EmitTextOut(axis.column + axis.direction * plot.MajorTickLength, y, text);
        axis.widestLabel = std::max(axis.widestLabel, width);
    } else {
        const int32_t y = plot.PlotBottom + plot.MajorTickLength;
        canvas.text_out(p - width / 2, y, text);
        if (plot.MetafileRecording)
            EmitTextOut(p, y, text);
    }
}

void GridLine(const AxisFrame& axis, int32_t p, bool minor) {
    if (axis.vertical) {
        DrawHorizontalGridLine(p, minor);
    } else {
        DrawVerticalGridLine(p, minor);
    }
}

std::string LinearLabel(const AxisFrame& axis, float v) {
    if (!axis.fixedFormat)
        return FormatTickValue(axis.decimals, v);
    char text[512];
    std::snprintf(text, sizeof text, "%.*Lf", std::clamp(axis.decimals, 0, 99), Extended{v});
    return text;
}

// The first tick value of a loop: a whole number of steps at or below lo (less one step for the
// major ticks, so that the loop starts off the axis).
float FirstTick(float lo, float step, int32_t stepsBack) {
    return Single(std::trunc(Extended{lo} / step - stepsBack) * step);
}

void LinearTicks(AxisFrame& axis, float lo, float hi, float resolution) {
    const int32_t length = axis.vertical ? plot.PlotHeight : plot.PlotWidth;
    const int32_t intervals = axis.vertical ? plot.PlotHeight / (2 * plot.CharHeight)
                                            : plot.PlotWidth / (5 * plot.CharWidth);
    const LinearSteps steps = ChooseLinearStep(length, intervals, lo, hi, resolution);
    const float major = steps.majorStep;
    const float minor = steps.minorStep;
    axis.decimals = std::min(steps.decimals, DecimalsFor(resolution));

    const float threshold = Single(Extended{major} / 100);
    for (float v = FirstTick(lo, major, 1);;) {
        const int32_t p = Pixel(axis, v);
        if (!BeforeEnd(axis, p))
            break;
        if (OnAxis(axis, p)) {
            Tick(axis, p, plot.MajorTickLength);
            Label(axis, p, LinearLabel(axis, v));
            // The zero level is always marked on a vertical axis.
            if (axis.grid || (axis.vertical && v == 0.0f))
                GridLine(axis, p, false);
        }
        float next = Single(Extended{v} + major);
        if (std::fabs(next) < threshold) {
            next = 0.0f;
            if (axis.vertical)
                plot.ZeroLineRow = YToPixel(0.0f);
        }
        if (!(next > v))
            break;
        v = next;
    }

    for (float v = FirstTick(lo, minor, 0);;) {
        int32_t p = 0;
        bool onAxis = false;
        if (axis.vertical) {
            p = YToPixel(v);
            if (!BeforeEnd(axis, p))
                break;
            onAxis = p <= plot.PlotBottom;
        } else {
            if (!(v <= hi))
                break;
            onAxis = v >= lo;
            if (onAxis)
                p = XToPixel(v);
        }
        // Minor values are not snapped, so one next to a major tick may sit just off it and get
        // its own tick there.
        const Extended steps_in = Extended{v} / major;
        if (onAxis && steps_in != std::trunc(steps_in)) {
            Tick(axis, p, plot.MinorTickLength);
            if (axis.grid)
                GridLine(axis, p, true);
        }
        const float next = Single(Extended{v} + minor);
        if (!(next > v))
            break;
        v = next;
    }
}

void LogTicks(AxisFrame& axis, float lo, float hi) {
    const int32_t length = axis.vertical ? plot.PlotHeight : plot.PlotWidth;
    const float ratio = Single(Extended{hi} / lo);
    const float span = Single(std::log(Extended{hi} / lo));
    if (axis.vertical) {
        plot.YLogSpan = span;
    } else {
        plot.XLogSpan = span;
    }
    const int32_t code = RoundHalfEven(ChooseLogTickLevels(length, ratio));
    const MantissaSet& labels = LogMantissaSets[static_cast<size_t>(std::clamp(code / 100, 0, 4))];
    const MantissaSet& majors =
        LogMantissaSets[static_cast<size_t>(std::clamp(code / 10 % 10, 0, 4))];
    const MantissaSet& minors = LogMantissaSets[static_cast<size_t>(std::clamp(code % 10, 0, 4))];

    int32_t e = static_cast<int32_t>(std::trunc(std::log10(Extended{lo}))) - 1;
    float decade = Single(std::pow(Extended{10}, e));
    while (BeforeEnd(axis, Pixel(axis, decade))) {
        const Extended power = std::pow(Extended{10}, e);
        for (int32_t i = 10; i <= 99; ++i) {
            const float v = Single(i * power / 10);
            const int32_t p = Pixel(axis, v);
            if (!OnAxis(axis, p))
                continue;
            if (majors.contains(i)) {
                Tick(axis, p, plot.MajorTickLength);
                if (axis.grid)
                    GridLine(axis, p, false);
            } else if (minors.contains(i)) {
                Tick(axis, p, plot.MinorTickLength);
                if (axis.grid)
                    GridLine(axis, p, true);
            }
            // 7 and 9 would crowd their neighbours on a horizontal axis.
            if (labels.contains(i) && (axis.vertical || (i != 70 && i != 90)))
                Label(axis, p, FormatDecadeLabel(e, RoundHalfEven(static_cast<Extended>(i) / 10)));
        }
        e += 1;
        const float next = Single(std::pow(Extended{10}, e));
        if (!(next > decade))
            break;  // past the largest float
        decade = next;
    }
}

// The canvas lines of the axis and the metafile's line records must leave both pens at the same
// place: the metafile draws the grid lines as pen lines the canvas never saw, so the canvas pen
// follows it to the end of the last one. A clipped curve then chains its first line-to record
// only where the metafile pen really stands.
void FollowMetafilePen(int32_t to, bool vertical) {
    const auto& lines =
        metafile.MajorGridLines.empty() ? metafile.MinorGridLines : metafile.MajorGridLines;
    if (lines.empty())
        return;
    const int32_t p = static_cast<int16_t>(lines.back());
    if (vertical) {
        plot.PlotCanvas->move_to(p, to);
    } else {
        plot.PlotCanvas->move_to(to, p);
    }
}

// Pen, font and brush of an axis, mirrored into the metafile.
void PrepareAxisDrawing(Colour colour) {
    Canvas& canvas = *plot.PlotCanvas;
    canvas.set_pen_colour(colour);
    canvas.set_font_colour(colour);
    canvas.set_brush_style(BrushStyle::Clear);
    if (plot.MetafileRecording) {
        SyncMetaPen();
        SyncMetaFont();
    }
}

// Both ends finite and increasing: NaN fails the comparison, infinity the finite test.
bool DrawableRange(float min, float max) {
    return min < max && std::isfinite(min) && std::isfinite(max);
}

// A logarithmic axis needs a positive start and at least a factor of two to show.
bool UseLog(bool log, float min, float max) {
    return log && min > 0.0f && Extended{max} / min >= 2.0L;
}

}  // namespace

void DrawXAxis(Colour colour, const std::string& title, bool grid, float min, float max,
               float resolution, float /*stepHint*/, bool log, bool fixedFormat) {
    FinishPlot();
    plot.XAxisReady = plot.GraphValid && plot.PlotCanvas != nullptr && DrawableRange(min, max);
    if (!plot.XAxisReady)
        return;
    Canvas& canvas = *plot.PlotCanvas;
    PrepareAxisDrawing(colour);
    if (plot.MetafileRecording) {
        EmitSetTextAlign(MetaAlignCentre);
        ClearGridLineLists();
    }

    Line(plot.PlotLeft, plot.PlotBottom, plot.PlotLeft + plot.PlotWidth + 1, plot.PlotBottom);
    plot.XMin = min;
    plot.XMax = max;
    plot.XLog = UseLog(log, min, max);

    AxisFrame axis;
    axis.grid = grid;
    axis.fixedFormat = fixedFormat;
    if (plot.XLog) {
        LogTicks(axis, min, max);
    } else {
        LinearTicks(axis, min, max, resolution);
    }

    if (!title.empty()) {
        const int32_t centre = plot.PlotLeft + plot.PlotWidth / 2;
        const int32_t y = plot.PlotBottom + plot.MajorTickLength + plot.CharHeight;
        canvas.text_out(centre - canvas.text_width(title) / 2, y, title);
        if (plot.MetafileRecording)
            EmitTextOut(centre, y, title);
    }

    if (plot.MetafileRecording) {
        const int32_t top = plot.PlotBottom - plot.PlotHeight;
        EmitRememberedGridLines(plot.PlotBottom, top, true);
        FollowMetafilePen(top, true);
    }
    GraphSlot& slot = CurrentSlot();
    slot.XAxisOrigin = plot.PlotLeft;
    slot.XAxisLength = plot.PlotWidth;
}

void DrawYAxis(Colour colour, const std::string& title, int32_t position, float min, float max,
               float resolution, float /*stepHint*/, bool grid, bool log, bool fixedFormat) {
    FinishPlot();
    plot.AxesReady = plot.XAxisReady && DrawableRange(min, max) && position >= 1 && position <= 4;
    if (!plot.AxesReady)
        return;
    Canvas& canvas = *plot.PlotCanvas;
    PrepareAxisDrawing(colour);
    // Labels end at the tick on an axis whose ticks point left, and start after it otherwise.
    const bool ticksLeft = position == 1 || position == 3;
    if (plot.MetafileRecording) {
        ClearGridLineLists();
        EmitSetTextAlign(ticksLeft ? MetaAlignRight : MetaAlignLeft);
    }

    AxisFrame axis;
    axis.vertical = true;
    axis.direction = ticksLeft ? -1 : 1;
    axis.grid = grid;
    axis.fixedFormat = fixedFormat;
    const int32_t right = plot.PlotLeft + plot.PlotWidth;
    switch (position) {
        case 1:
            axis.column = plot.PlotLeft;
            break;
        case 2:
            axis.column = plot.PlotLeft + 1;
            break;
        case 3:
            axis.column = right - 1;
            break;
        default:
            axis.column = right;
            break;
    }
    const int32_t top = plot.PlotBottom - plot.PlotHeight;
    Line(axis.column, plot.PlotBottom, axis.column, top - 1);

    plot.YMin = min;
    plot.YMax = max;
    plot.YLog = UseLog(log, min, max);
    if (plot.YLog) {
        LogTicks(axis, min, max);
    } else {
        LinearTicks(axis, min, max, resolution);
    }

    if (!title.empty()) {
        std::string text = title;
        int32_t y = top - plot.CharHeight - plot.CharHeight / 2;
        // "@" asks for the title one line higher, clear of a graph title above the plot area.
        if (text.front() == '@') {
            text = text.substr(1, 99);
            y -= plot.CharHeight;
        }
        const int32_t width = canvas.text_width(text);
        const int32_t reach = axis.widestLabel + plot.MajorTickLength;
        int32_t x = 0;
        switch (position) {
            case 1:
                x = std::max(plot.PlotLeft - reach, 0);
                break;
            case 2:
                x = plot.PlotLeft;
                break;
            case 3:
                x = right - width;
                break;
            default:
                x = std::min(right + reach, plot.SurfaceWidth) - width;
                break;
        }
        canvas.text_out(x, y, text);
        if (plot.MetafileRecording) {
            if (position <= 2) {
                EmitSetTextAlign(MetaAlignLeft);
                EmitTextOut(x, y, text);
            } else {
                EmitSetTextAlign(MetaAlignRight);
                EmitTextOut(x + width, y, text);
            }
        }
    }

    if (plot.MetafileRecording) {
        EmitRememberedGridLines(plot.PlotLeft, right, false);
        FollowMetafilePen(right, false);
    }
    canvas.set_pen_mode(PenMode::Copy);
}

}  // namespace vistrel
