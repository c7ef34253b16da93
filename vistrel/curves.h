// Curves of a graph in data coordinates: polylines and strokes through the current graph's
// axis ranges, drawn directly or clipped to the plot area, with the end pixel that a canvas
// line leaves out painted when the polyline ends.
#pragma once

#include <cstdint>

namespace vistrel {

// Starts a new polyline at data point (x, y). Paints a pending end pixel first, even when the
// axes of the current graph are not drawn.
void PlotMoveTo(float x, float y);

// Draws from the current point to data point (x, y) with the caller's pen. Nothing happens
// before both axes of the current graph are drawn.
void PlotLineTo(float x, float y);

// Paints the end pixel a one-pixel polyline left pending, if any.
void FinishPlot();

// The clipped path of PlotLineTo: draws the part of the segment from (ClipStartX, ClipStartY)
// to the pixel (x, y) that lies on the plot area, and moves the clip start to (x, y).
void ClipAndDrawSegment(int32_t x, int32_t y);

}  // namespace vistrel
