// The frame of a graph: the horizontal and vertical axes with their ticks, labels, grid lines
// and titles. Drawing the axes fixes the data ranges that every later curve point maps through.
#pragma once

#include <cstdint>
#include <string>

#include "vistrel/canvas.h"

namespace vistrel {

// Draws the horizontal axis along the bottom edge of the current graph's plot area and sets
// XMin / XMax (and XLog). resolution is the smallest step worth labelling (0: no limit);
// stepHint is accepted and has no effect; fixedFormat labels in plain fixed point. Nothing is
// drawn, and XAxisReady stays false, for an invalid graph or a range that does not increase.
void DrawXAxis(Colour colour, const std::string& title, bool grid, float min, float max,
               float resolution, float stepHint, bool log, bool fixedFormat);

// Draws a vertical axis and sets YMin / YMax (and YLog). position: 1 on the left edge with
// ticks outward, 2 one pixel inside the left edge with ticks inward, 3 one pixel inside the
// right edge with ticks inward, 4 on the right edge with ticks outward. A title starting with
// "@" is drawn without it, one text line higher. Sets AxesReady when the horizontal axis is
// drawn, the range increases and the position is 1..4; otherwise draws nothing.
void DrawYAxis(Colour colour, const std::string& title, int32_t position, float min, float max,
               float resolution, float stepHint, bool grid, bool log, bool fixedFormat);

}  // namespace vistrel
