// What the operator does to each graph of the plot surface while examining a trace: the visible
// range of a zoomed or panned graph, the two cursors, and what the last paint drew where, so
// that a pointer position can be turned into a time (or frequency) and a sample. Free of Qt: the
// paint handler reads it, the plot surface's mouse and keys change it.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "model/waveform.h"
#include "vistrel/canvas.h"

namespace app::examine {

// The graphs in the order of the picture's graph kinds: channel 1 waveform (also the combined
// displays), channel 2 waveform, channel 1 spectrum, channel 2 spectrum.
inline constexpr int kGraphCount = 4;

// A range of an axis in the record's own units: seconds, hertz, volts or amplitude.
struct Span {
    double lo = 0.0;
    double hi = 0.0;
    double width() const { return hi - lo; }
    bool operator==(const Span&) const = default;
};

// One wheel notch zooms by this factor.
inline constexpr long double kWheelFactor = 1.25L;
// Out to this many times the whole view.
inline constexpr long double kMaxZoomOut = 4.0L;
// In to this many samples (or spectrum lines) across the graph.
inline constexpr int kMinSamplesAcross = 4;
// The value axis in to this fraction of the whole view (about four codes of the scope's 8-bit
// screen).
inline constexpr long double kMaxValueZoomIn = 64.0L;

// The limits of a view: its width between min_width and four times the whole view, its centre
// within the whole view (so at most half a graph beyond the data). A whole view without width
// is returned as it is.
Span Limit(Span view, Span whole, double min_width);
// Zooms about `at` (which keeps its place in the graph) by `factor` (above 1 zooms in).
Span Zoom_about(Span view, double at, long double factor, Span whole, double min_width);
// Moves the view by `delta`.
Span Pan(Span view, double delta, Span whole, double min_width);
// The view between two positions, in either order.
Span Box(double a, double b, Span whole, double min_width);

// One curve of a graph: its abscissas and values at samples first..last.
struct Series {
    const model::SampleArray* x = nullptr;
    const model::SampleArray* y = nullptr;
    vistrel::Colour colour = 0;
    const char* name = "";  // "Ch 1", "Ch 2"; empty for a graph of one curve
};

// A reference trace drawn behind a graph's curves, as its cursors' readout reads it: abscissas in
// record units, increasing. Kept only while the graph has a cursor.
struct ReferenceCurve {
    std::string label;  // "ref: <file name>", as under the graph's title
    std::vector<double> x;
    std::vector<double> y;
};

// What the last paint drew in a graph.
struct DrawnGraph {
    bool valid = false;
    bool spectrum = false;
    // The plot area: columns left..left+width, rows bottom-height..bottom.
    int32_t left = 0;
    int32_t bottom = 0;
    int32_t width = 0;
    int32_t height = 0;
    // Axis units per record unit (1000 for a time axis in milliseconds).
    long double x_scale = 1.0L;
    Span x;        // visible, record units
    Span y;        // visible
    Span whole_x;  // the graph's own view, as when nothing is zoomed
    Span whole_y;
    int32_t first = 1;  // samples drawn
    int32_t last = 0;
    std::array<Series, 2> series{};
    int series_count = 0;
    std::vector<ReferenceCurve> references;
};

struct Cursors {
    int32_t a = 0;  // sample index, 0 when not placed
    int32_t b = 0;
    char last = 0;  // 'A' or 'B': the one the arrows move
    bool operator==(const Cursors&) const = default;
};

struct GraphView {
    bool x_zoomed = false;
    bool y_zoomed = false;
    Span x;  // the visible range while zoomed, record units
    Span y;
    Cursors cursors;
    DrawnGraph drawn;
    int32_t shows = -1;  // what the graph showed at the last paint
};

struct Examination {
    std::array<GraphView, kGraphCount> graphs{};
};

// The unit's one state; `Examine = Examination{}` forgets every zoom and cursor.
extern Examination Examine;

bool Zoomed(const GraphView& g);
// The sample spacing of the drawn graph, and the narrowest views it allows.
double Sample_step(const DrawnGraph& d);
double Min_x_width(const DrawnGraph& d);
double Min_y_width(const DrawnGraph& d);

// The sample nearest to abscissa x among first..last (the abscissas increase), 0 when none.
int32_t Nearest_sample(const DrawnGraph& d, double x);

// Pixel to record units, through the axes as drawn.
double X_at(const DrawnGraph& d, double column);
double Y_at(const DrawnGraph& d, double row);
// The graph whose plot area holds the pixel, -1 when none.
int Graph_at(int column, int row);

// Back to the graph's own view.
void Reset_zoom(GraphView& g);

}  // namespace app::examine
