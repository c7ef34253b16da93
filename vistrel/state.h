// The plotting unit's state: the drawing context, the graph being drawn and the eight graph
// slots of a picture, with the operations that bind a paint box, clear it and open graphs.
#pragma once

#include <array>
#include <cstdint>

#include "vistrel/canvas.h"

namespace vistrel {

inline constexpr int kMaxGraphs = 8;  // graph slots 1..8

struct GraphSlot {
    int32_t VGridMajorPattern = 0;
    int32_t VGridMinorPattern = 0;
    int32_t HGridMajorPattern = 0;
    int32_t HGridMinorPattern = 0;
    int32_t XAxisOrigin = 0;  // PlotLeft when the horizontal axis was last drawn
    int32_t XAxisLength = 0;  // PlotWidth at that time
};

// The end pixel of the last one-pixel line: the canvas leaves it out, so it is painted when the
// polyline ends.
struct PendingPixelState {
    bool set = false;
    int32_t x = 0;
    int32_t y = 0;
    Colour colour = 0;
};

struct Plot {
    // Drawing context
    PaintBox* PlotPaintBox = nullptr;  // not owned
    Canvas* PlotCanvas = nullptr;      // not owned
    int32_t SurfaceWidth = 0;
    int32_t SurfaceHeight = 0;
    Colour BackgroundColour = 0;
    Colour ForegroundColour = 0;
    float FontScale = 0.0f;
    int32_t CharWidth = 0;
    int32_t CharHeight = 0;
    int32_t MajorTickLength = 0;
    int32_t MinorTickLength = 0;
    int32_t GraphCount = 0;    // 0..8
    int32_t CurrentGraph = 0;  // 0..8, 0 before the first graph
    bool MetafileRecording = false;

    // The current graph
    int32_t PlotLeft = 0;
    int32_t PlotBottom = 0;
    int32_t PlotWidth = 0;
    int32_t PlotHeight = 0;
    bool GraphValid = false;
    float XMin = 0.0f;
    float XMax = 0.0f;
    float YMin = 0.0f;
    float YMax = 0.0f;
    bool XLog = false;
    bool YLog = false;
    float XLogSpan = 0.0f;
    float YLogSpan = 0.0f;
    bool XAxisReady = false;  // the horizontal axis of the current graph is drawn
    bool AxesReady = false;   // both axes are drawn: curves may be plotted
    bool DrawUnclipped = false;
    PendingPixelState PendingPixel;

    // Where the next clipped curve segment starts.
    int32_t ClipStartX = 0;
    int32_t ClipStartY = 0;

    // Row of the value 0 on the last vertical axis that had a tick there; -1 until then.
    int32_t ZeroLineRow = -1;

    // Slot n (1..8) is GraphSlots[n - 1]; use Slot().
    std::array<GraphSlot, kMaxGraphs> GraphSlots{};
};

// The unit's one state; `plot = Plot{}` returns it to its start.
extern Plot plot;

// Slot of graph n, 1..8. Outside that range (no graph yet) a scratch slot, so that a stray call
// can never reach beyond the eight.
GraphSlot& Slot(int n);
// Slot of CurrentGraph.
GraphSlot& CurrentSlot();

// Binds the paint box, fills it with the background framed in the foreground, chooses the plot
// font and forgets the graphs of the previous picture.
void InitPlotSurface(PaintBox& paintBox, Colour backgroundColour, Colour foregroundColour,
                     float fontScale);

// Opens the next graph slot over the given percentages of the surface, less the margins.
void DefineGraph(int xLeftPct, int xRightPct, int yTopPct, int yBottomPct, int leftMargin,
                 int rightMargin, int topMargin, int bottomMargin, bool unclipped);

// Chooses face and size of the canvas font for a scale and measures CharWidth / CharHeight.
void SetPlotFont(float scale);

// "Arial" counts as installed when the canvas lists it or resolves it to a metric-compatible
// family.
bool ArialInstalled(const Canvas& canvas);

void SetPendingPixel(int x, int y, Colour colour);
void FlushPendingPixel();

}  // namespace vistrel
