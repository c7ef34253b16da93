// The one line of annotation of each graph: a bold title centred over its horizontal axis.
#pragma once

#include <string>

#include "vistrel/canvas.h"

namespace vistrel {

// Draws the current graph's title in colour, in a bold font 1.2 times the plot font, one and a
// half title lines above the plot area. The plot font (and CharWidth / CharHeight) is restored
// afterwards; the font colour stays at the title's colour. Nothing for an invalid graph.
void DrawGraphTitle(Colour colour, const std::string& text);

}  // namespace vistrel
