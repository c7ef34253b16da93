// What examining adds to the picture while the paint handler draws it: the visible range of a
// zoomed graph for its axes, the cursors with their readout, and "zoom" beside the title. With
// no graph zoomed and no cursor placed nothing here draws or changes anything.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "app/examine/graph_view.h"

namespace app::examine {

// At the start of every paint: what each graph shows (0 when hidden). A graph that shows
// something else than at the last paint returns to its own view and loses its cursors.
void Begin_picture(const std::array<int32_t, kGraphCount>& shows);

// The graph is zoomed: its curves are clipped to the plot area.
bool Draws_clipped(int graph);
// The range the graph's axes show: the zoomed range, or `whole` (exactly) when not zoomed.
Span Visible_x(int graph, Span whole);
Span Visible_y(int graph, Span whole);

// Records the graph whose axes were just drawn, with the plot area the plotting unit now holds.
void Note_axes(int graph, bool spectrum, long double x_scale, Span whole_x, Span whole_y,
               int32_t first, int32_t last);
// Records one curve drawn in that graph.
void Add_series(int graph, const model::SampleArray* x, const model::SampleArray* y,
                vistrel::Colour colour, const char* name);

// The readout's lines for the graph's cursors (none without cursors).
std::vector<std::string> Readout_lines(int graph);
// Draws the graph's cursors and readout, after its curves.
void Draw_marks(int graph);
// The title, with "zoom" beside it when the graph is zoomed.
std::string Title(int graph, const std::string& title);

// Cursor colours, 0x00BBGGRR: A orange, B teal.
inline constexpr vistrel::Colour kCursorA = 0x0080FF;
inline constexpr vistrel::Colour kCursorB = 0x808000;

}  // namespace app::examine
