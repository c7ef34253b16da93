// The plotting unit's state and the operations that set up a picture and its graphs.
#include "vistrel/state.h"

#include <algorithm>
#include <utility>

#include "platform/platform.h"
#include "vistrel/metafile.h"
#include "vistrel/scaling.h"

namespace vistrel {

Plot plot;

namespace {

// Where a call outside graphs 1..8 lands instead of beyond the array.
GraphSlot scratch_slot;

// One side of a graph's region: percentages in order and within 0..100, then pixels.
std::pair<int32_t, int32_t> RegionEdges(int lowPct, int highPct, int32_t surface) {
    if (lowPct > highPct)
        std::swap(lowPct, highPct);
    lowPct = std::max(lowPct, 0);
    highPct = std::min(highPct, 100);
    const auto edge = [surface](int pct) {
        return RoundHalfEven(static_cast<long double>(pct) / 100.0L * surface);
    };
    return {edge(lowPct), edge(highPct)};
}

}  // namespace

GraphSlot& Slot(int n) {
    if (n < 1 || n > kMaxGraphs) {
        scratch_slot = GraphSlot{};
        return scratch_slot;
    }
    return plot.GraphSlots[static_cast<size_t>(n - 1)];
}

GraphSlot& CurrentSlot() {
    return Slot(plot.CurrentGraph);
}

void InitPlotSurface(PaintBox& paintBox, Colour backgroundColour, Colour foregroundColour,
                     float fontScale) {
    platform::current().set_busy_cursor(false);

    plot.PlotPaintBox = &paintBox;
    plot.PlotCanvas = &paintBox.canvas();
    plot.SurfaceWidth = paintBox.width();
    plot.SurfaceHeight = paintBox.height();
    Canvas& canvas = *plot.PlotCanvas;

    plot.BackgroundColour = backgroundColour;
    canvas.set_brush_colour(backgroundColour);
    canvas.set_brush_style(BrushStyle::Solid);

    plot.ForegroundColour = foregroundColour;
    canvas.set_pen_colour(foregroundColour);
    canvas.set_pen_style(PenStyle::Solid);
    canvas.set_pen_width(1);
    canvas.set_pen_mode(PenMode::Copy);

    canvas.rectangle(0, 0, plot.SurfaceWidth, plot.SurfaceHeight);

    plot.FontScale = fontScale == 0.0f ? 1.0f : fontScale;
    SetPlotFont(plot.FontScale);
    plot.MajorTickLength = plot.CharWidth + 1;
    plot.MinorTickLength = plot.MajorTickLength / 2 + 1;

    for (GraphSlot& slot : plot.GraphSlots) {
        slot.VGridMajorPattern = 4;
        slot.VGridMinorPattern = 7;
        slot.HGridMajorPattern = 4;
        slot.HGridMinorPattern = 7;
    }

    plot.GraphCount = 0;
    plot.CurrentGraph = 0;
    plot.AxesReady = false;
    plot.PendingPixel.set = false;
    // No graph is open until DefineGraph: an axis drawn before it must not use the plot area
    // and slot of the previous picture.
    plot.GraphValid = false;
    plot.XAxisReady = false;

    if (plot.MetafileRecording)
        WriteMetafilePrologue();
}

void DefineGraph(int xLeftPct, int xRightPct, int yTopPct, int yBottomPct, int leftMargin,
                 int rightMargin, int topMargin, int bottomMargin, bool unclipped) {
    if (plot.GraphCount >= kMaxGraphs) {
        plot.GraphValid = false;
        return;
    }
    // What the previous graph still has pending is drawn before its area is left.
    if (plot.PendingPixel.set)
        FlushPendingPixel();

    plot.GraphCount += 1;
    plot.CurrentGraph = plot.GraphCount;

    const auto [regionLeft, regionRight] = RegionEdges(xLeftPct, xRightPct, plot.SurfaceWidth);
    const auto [regionTop, regionBottom] = RegionEdges(yTopPct, yBottomPct, plot.SurfaceHeight);

    plot.PlotLeft = regionLeft + leftMargin;
    const int32_t right = regionRight - rightMargin;
    const int32_t top = regionTop + topMargin;
    plot.PlotBottom = regionBottom - bottomMargin;
    plot.PlotWidth = right - plot.PlotLeft;
    plot.PlotHeight = plot.PlotBottom - top;

    plot.GraphValid = plot.PlotWidth > 0 && plot.PlotHeight > 0;
    plot.DrawUnclipped = unclipped;
    plot.AxesReady = false;
    plot.XAxisReady = false;

    if (plot.PlotCanvas == nullptr)
        return;
    Canvas& canvas = *plot.PlotCanvas;
    canvas.set_pen_width(1);
    canvas.set_pen_style(PenStyle::Solid);
    canvas.set_brush_colour(plot.BackgroundColour);
    canvas.set_brush_style(BrushStyle::Solid);
}

bool ArialInstalled(const Canvas& canvas) {
    const auto families = canvas.font_families();
    if (std::find(families.begin(), families.end(), "Arial") != families.end())
        return true;
    const std::string resolved = canvas.resolved_family("Arial");
    return resolved == "Arial" || resolved == "Liberation Sans" || resolved == "Arimo";
}

void SetPlotFont(float scale) {
    if (plot.PlotCanvas == nullptr)
        return;
    Canvas& canvas = *plot.PlotCanvas;
    const float size = static_cast<float>(static_cast<long double>(scale) * 8.0L);
    if (size < 7.5f) {
        canvas.set_font_name("Small Fonts");
        canvas.set_font_size(RoundHalfEven(size));
    } else if (ArialInstalled(canvas)) {
        canvas.set_font_name("Arial");
        canvas.set_font_size(RoundHalfEven(size));
    } else {
        // The bitmap face only comes in these sizes.
        int points = 24;
        if (size < 9.0f) {
            points = 8;
        } else if (size < 11.0f) {
            points = 10;
        } else if (size < 13.0f) {
            points = 12;
        } else if (size < 16.0f) {
            points = 14;
        } else if (size < 21.0f) {
            points = 18;
        }
        canvas.set_font_name("MS Sans Serif");
        canvas.set_font_size(points);
    }
    plot.CharWidth = canvas.text_width("0");
    plot.CharHeight = canvas.text_height("0");
}

void SetPendingPixel(int x, int y, Colour colour) {
    plot.PendingPixel = {true, x, y, colour};
}

void FlushPendingPixel() {
    const PendingPixelState pending = plot.PendingPixel;
    plot.PendingPixel.set = false;
    if (!pending.set || plot.PlotCanvas == nullptr)
        return;
    plot.PlotCanvas->set_pixel(pending.x, pending.y, pending.colour);
    if (plot.MetafileRecording)
        EmitSetPixel(pending.x, pending.y, pending.colour);
}

}  // namespace vistrel
