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

// At the start of every paint: what each graph shows. A graph that shows something else than at
// the last paint returns to its own view and loses its cursors.
void Begin_picture(const std::array<int32_t, kGraphCount>& shows);

// The graph is zoomed: its curves are cut to the plot area (ClippedPen).
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
// Records a reference drawn in that graph, labelled as under its title ("ref: <file name>"),
// for the readout; kept only while the graph has a cursor. Abscissas in record units.
void Add_reference_curve(int graph, const std::string& label, const std::vector<double>& x,
                         const std::vector<double>& y);
// A reference's value at abscissa `at`: for a waveform the straight line between the two samples
// either side (a sample's own value at its abscissa), for a spectrum the nearest line's. False
// outside the reference's abscissas.
bool Reference_value(const ReferenceCurve& r, bool spectrum, double at, double& value);

// The readout's lines for the graph's cursors (none without cursors).
std::vector<std::string> Readout_lines(int graph);
// Draws the graph's cursors and readout, after its curves.
void Draw_marks(int graph);
// The title, with "zoom" beside it when the graph is zoomed.
std::string Title(int graph, const std::string& title);

// Draws a zoomed graph's curves cut to its plot area, a pixel inside its edges so that the
// curve pen's width stays within the graph too. Points are in axis units, as the plotting
// unit's PlotMoveTo and PlotLineTo take them; the axes must be drawn.
class ClippedPen {
  public:
    void move_to(float x, float y);
    void line_to(float x, float y);

  private:
    long double x_ = 0.0L;
    long double y_ = 0.0L;
    bool drawn_to_here_ = false;  // the plotting unit's pen is at (x_, y_)
};

// Cursor colours, 0x00BBGGRR: A orange, B teal.
inline constexpr vistrel::Colour kCursorA = 0x0080FF;
inline constexpr vistrel::Colour kCursorB = 0x808000;

}  // namespace app::examine
