// Curve plotting. The canvas leaves out the last pixel of every line, so a one-pixel polyline's
// end point is painted separately when the polyline ends, and a clipped segment's end is cut one
// pixel beyond the edge it crosses so that the edge pixel itself is still drawn.
#include "vistrel/curves.h"

#include <algorithm>
#include <utility>

#include "vistrel/metafile.h"
#include "vistrel/scaling.h"
#include "vistrel/state.h"

namespace vistrel {

namespace {

using Extended = long double;

// The share num / den of a span, rounded half to even (den is never 0 where it is used).
int32_t Share(int32_t num, int32_t den, int32_t span) {
    return RoundHalfEven(static_cast<Extended>(num) / den * span);
}

// The segment is on the rows of the plot area at both ends, or could still cross them.
bool RowsReachable(int32_t ya, int32_t yb, int32_t top, int32_t bottom) {
    return (ya >= top || yb >= top) && (ya <= bottom || yb <= bottom);
}

void DrawSegment(int32_t xa, int32_t ya, int32_t xb, int32_t yb) {
    Canvas& canvas = *plot.PlotCanvas;
    if (plot.MetafileRecording) {
        // Consecutive visible pieces of a polyline become one chain of line-to records.
        if (canvas.pen_pos() == Point{xa, ya}) {
            EmitLineTo(xb, yb);
        } else {
            EmitLine(xa, ya, xb, yb);
        }
    }
    canvas.move_to(xa, ya);
    canvas.line_to(xb, yb);
    const int32_t right = plot.PlotLeft + plot.PlotWidth;
    const int32_t top = plot.PlotBottom - plot.PlotHeight;
    // An end cut beyond an edge lies outside the plot area and stays unpainted.
    if (canvas.pen_width() == 1 && xb < right && top < yb && yb < plot.PlotBottom)
        SetPendingPixel(xb, yb, canvas.pen_colour());
}

}  // namespace

void FinishPlot() {
    if (plot.PendingPixel.set)
        FlushPendingPixel();
}

void PlotMoveTo(float x, float y) {
    FinishPlot();
    if (!plot.AxesReady || plot.PlotCanvas == nullptr)
        return;
    const int32_t px = XToPixel(x);
    const int32_t py = YToPixel(y);
    if (plot.DrawUnclipped) {
        plot.PlotCanvas->move_to(px, py);
        if (plot.MetafileRecording)
            EmitMoveTo(px, py);
    } else {
        plot.ClipStartX = px;
        plot.ClipStartY = py;
    }
}

void PlotLineTo(float x, float y) {
    if (!plot.AxesReady || plot.PlotCanvas == nullptr)
        return;
    Canvas& canvas = *plot.PlotCanvas;
    const int32_t px = XToPixel(x);
    const int32_t py = YToPixel(y);
    if (plot.MetafileRecording)
        SyncMetaPen();
    if (!plot.DrawUnclipped) {
        ClipAndDrawSegment(px, py);
        return;
    }
    canvas.line_to(px, py);
    if (plot.MetafileRecording)
        EmitLineTo(px, py);
    // A wider pen covers its own end points.
    if (canvas.pen_width() == 1)
        SetPendingPixel(px, py, canvas.pen_colour());
}

void ClipAndDrawSegment(int32_t x2, int32_t y2) {
    if (plot.PlotCanvas == nullptr)
        return;
    const int32_t left = plot.PlotLeft;
    const int32_t right = plot.PlotLeft + plot.PlotWidth;
    const int32_t top = plot.PlotBottom - plot.PlotHeight;
    const int32_t bottom = plot.PlotBottom;

    int32_t xa = plot.ClipStartX;
    int32_t ya = plot.ClipStartY;
    int32_t xb = x2;
    int32_t yb = y2;
    plot.ClipStartX = x2;
    plot.ClipStartY = y2;

    if (xa > xb) {
        std::swap(xa, xb);
        std::swap(ya, yb);
    }

    const bool rowsInside = top <= ya && ya <= bottom && top <= yb && yb <= bottom;
    if (xa > left && xb < right && rowsInside) {
        DrawSegment(xa, ya, xb, yb);
        return;
    }
    if (!(xb >= left && xa <= right && RowsReachable(ya, yb, top, bottom)))
        return;

    if (xa == xb) {
        if (ya == yb)
            return;
        ya = std::clamp(ya, top, bottom);
        if (yb < top) {
            yb = top - 1;
        } else if (yb > bottom) {
            yb = bottom + 1;
        }
        DrawSegment(xa, ya, xb, yb);
        return;
    }

    // The start is cut onto the edge itself, the end one pixel beyond it: the canvas line
    // leaves out its last pixel. Each cut uses the values of the cuts before it.
    if (xa < left) {
        ya += Share(left - xa, xb - xa, yb - ya);
        xa = left;
    }
    if (xb > right) {
        yb += Share(right + 1 - xb, xb - xa, yb - ya);
        xb = right + 1;
    }
    if (!RowsReachable(ya, yb, top, bottom))
        return;
    if (top <= ya && ya <= bottom && top <= yb && yb <= bottom) {
        DrawSegment(xa, ya, xb, yb);
        return;
    }

    if (yb > ya) {
        if (ya < top) {
            xa += Share(top - ya, yb - ya, xb - xa);
            ya = top;
        }
        if (yb > bottom) {
            xb += Share(bottom + 1 - yb, yb - ya, xb - xa);
            yb = bottom + 1;
        }
    } else {
        if (yb < top) {
            xb += Share(top - 1 - yb, yb - ya, xb - xa);
            yb = top - 1;
        }
        if (ya > bottom) {
            xa += Share(bottom - ya, yb - ya, xb - xa);
            ya = bottom;
        }
    }
    DrawSegment(xa, ya, xb, yb);
}

}  // namespace vistrel
