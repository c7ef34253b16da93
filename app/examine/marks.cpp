// Cursors and readout drawn through the plotting unit, so that the metafile, the clipboard and
// the saved pictures show them as the screen does.
#include "app/examine/marks.h"

#include <algorithm>
#include <cmath>

#include "dsp/eng_format.h"
#include "vistrel/curves.h"
#include "vistrel/metafile.h"
#include "vistrel/scaling.h"
#include "vistrel/state.h"

namespace app::examine {
namespace {

constexpr int kSignificant = 4;
constexpr int kMarkHalf = 4;      // the cross at the curve's value, pixels each side
constexpr int kReadoutInset = 4;  // between the readout and the plot area's edge
// How far inside the plot area a zoomed curve is cut, in pixels: half the curve pen's width
// and the rounding of its end.
constexpr long double kPenReach = 1.5L;

GraphView* View(int graph) {
    if (graph < 0 || graph >= kGraphCount)
        return nullptr;
    return &Examine.graphs[static_cast<size_t>(graph)];
}

bool Placed(const DrawnGraph& d, int32_t j) {
    return j != 0 && j >= d.first && j <= d.last;
}

void Line(int x1, int y1, int x2, int y2) {
    vistrel::Canvas& canvas = *vistrel::plot.PlotCanvas;
    canvas.move_to(x1, y1);
    canvas.line_to(x2, y2);
    if (vistrel::plot.MetafileRecording) {
        vistrel::SyncMetaPen();
        vistrel::EmitLine(x1, y1, x2, y2);
    }
}

void Text(int x, int y, const std::string& text) {
    vistrel::plot.PlotCanvas->text_out(x, y, text);
    if (vistrel::plot.MetafileRecording) {
        vistrel::SyncMetaFont();
        vistrel::EmitSetTextAlign(vistrel::MetaAlignLeft);
        vistrel::EmitTextOut(x, y, text);
    }
}

std::string X_text(const DrawnGraph& d, double x) {
    return dsp::Format_si(x, kSignificant, d.spectrum ? "Hz" : "s");
}

std::string Y_text(const DrawnGraph& d, double y) {
    return dsp::Format_si(y, kSignificant, d.spectrum ? "" : "V");
}

// "A: 1.000 ms, 500.0 mV" or, with two curves, "A: 1.000 ms, Ch 1 500.0 mV, Ch 2 -20.00 mV".
std::string Cursor_line(const DrawnGraph& d, char name, int32_t j) {
    const auto sj = static_cast<size_t>(j);
    std::string line = std::string(1, name) + ": " + X_text(d, (*d.series[0].x)[sj]);
    for (int s = 0; s < d.series_count; ++s) {
        const Series& series = d.series[static_cast<size_t>(s)];
        line += ", ";
        if (d.series_count > 1)
            line += std::string(series.name) + " ";
        line += Y_text(d, (*series.y)[sj]);
    }
    return line;
}

// One line per reference after a cursor's: "A ref: good.csv: 498.0 mV".
void Add_reference_lines(const DrawnGraph& d, char name, int32_t j,
                         std::vector<std::string>& lines) {
    const double at = (*d.series[0].x)[static_cast<size_t>(j)];
    for (const ReferenceCurve& r : d.references) {
        double v = 0.0;
        lines.push_back(
            std::string(1, name) + " " + r.label + ": " +
            (Reference_value(r, d.spectrum, at, v) ? Y_text(d, v) : std::string("n/a")));
    }
}

// Samples of the curves that fall in the rectangle.
int Covered(const DrawnGraph& d, int left, int top, int right, int bottom) {
    int count = 0;
    for (int s = 0; s < d.series_count; ++s) {
        const Series& series = d.series[static_cast<size_t>(s)];
        for (int32_t j = d.first; j <= d.last; ++j) {
            const auto sj = static_cast<size_t>(j);
            const int32_t x = vistrel::XToPixel(static_cast<float>((*series.x)[sj] * d.x_scale));
            if (x < left || x > right)
                continue;
            const int32_t y = vistrel::YToPixel(static_cast<float>((*series.y)[sj]));
            if (y >= top && y <= bottom)
                ++count;
        }
    }
    return count;
}

void Draw_cursor(const DrawnGraph& d, int32_t j, char name, vistrel::Colour colour) {
    vistrel::Canvas& canvas = *vistrel::plot.PlotCanvas;
    const auto sj = static_cast<size_t>(j);
    const int32_t x = vistrel::XToPixel(static_cast<float>((*d.series[0].x)[sj] * d.x_scale));
    const int32_t top = d.bottom - d.height;
    if (x < d.left || x > d.left + d.width)
        return;
    canvas.set_pen_width(1);
    canvas.set_pen_colour(colour);
    Line(x, d.bottom, x, top);
    // The cursor's letter beside its line, on the side where it stays in the graph.
    const std::string letter(1, name);
    const int letter_width = canvas.text_width(letter);
    const int letter_x = x + 2 + letter_width < d.left + d.width ? x + 2 : x - 2 - letter_width;
    canvas.set_font_colour(colour);
    Text(letter_x, top + 1, letter);
    // A cross where the line meets each curve, smaller near the edges so that it stays inside
    // the plot area (2 pixels for its pen).
    for (int s = 0; s < d.series_count; ++s) {
        const double v = (*d.series[static_cast<size_t>(s)].y)[sj];
        const int32_t y = vistrel::YToPixel(static_cast<float>(v));
        const int arm = std::min(
            {kMarkHalf, x - d.left - 2, d.left + d.width - x - 3, y - top - 2, d.bottom - y - 3});
        if (arm < 1)
            continue;
        canvas.set_pen_width(2);
        Line(x - arm, y - arm, x + arm + 1, y + arm + 1);
        Line(x - arm, y + arm, x + arm + 1, y - arm - 1);
        canvas.set_pen_width(1);
    }
}

}  // namespace

void Begin_picture(const std::array<int32_t, kGraphCount>& shows) {
    for (int g = 0; g < kGraphCount; ++g) {
        GraphView& view = Examine.graphs[static_cast<size_t>(g)];
        if (view.shows != shows[static_cast<size_t>(g)]) {
            Reset_zoom(view);
            view.cursors = {};
            view.shows = shows[static_cast<size_t>(g)];
        }
        view.drawn.valid = false;
    }
}

bool Draws_clipped(int graph) {
    const GraphView* g = View(graph);
    return g != nullptr && Zoomed(*g);
}

Span Visible_x(int graph, Span whole) {
    const GraphView* g = View(graph);
    if (g == nullptr || !g->x_zoomed)
        return whole;
    return Limit(g->x, whole, Min_x_width(g->drawn));
}

Span Visible_y(int graph, Span whole) {
    const GraphView* g = View(graph);
    if (g == nullptr || !g->y_zoomed)
        return whole;
    return Limit(g->y, whole, static_cast<double>(whole.width() / kMaxValueZoomIn));
}

void Note_axes(int graph, bool spectrum, long double x_scale, Span whole_x, Span whole_y,
               int32_t first, int32_t last) {
    GraphView* g = View(graph);
    if (g == nullptr)
        return;
    const Span visible_x = Visible_x(graph, whole_x);
    const Span visible_y = Visible_y(graph, whole_y);
    DrawnGraph& d = g->drawn;
    const vistrel::Plot& p = vistrel::plot;
    d = DrawnGraph{};
    d.valid = p.AxesReady;
    d.spectrum = spectrum;
    d.left = p.PlotLeft;
    d.bottom = p.PlotBottom;
    d.width = p.PlotWidth;
    d.height = p.PlotHeight;
    d.x_scale = x_scale;
    d.whole_x = whole_x;
    d.whole_y = whole_y;
    d.x = visible_x;
    d.y = visible_y;
    d.first = first;
    d.last = last;
}

void Add_series(int graph, const model::SampleArray* x, const model::SampleArray* y,
                vistrel::Colour colour, const char* name) {
    GraphView* g = View(graph);
    if (g == nullptr || g->drawn.series_count >= 2)
        return;
    g->drawn.series[static_cast<size_t>(g->drawn.series_count++)] = {x, y, colour, name};
}

void Add_reference_curve(int graph, const std::string& label, const std::vector<double>& x,
                         const std::vector<double>& y) {
    GraphView* g = View(graph);
    if (g == nullptr || (g->cursors.a == 0 && g->cursors.b == 0))
        return;
    const size_t rows = std::min(x.size(), y.size());
    g->drawn.references.push_back(
        {label, std::vector<double>(x.begin(), x.begin() + static_cast<std::ptrdiff_t>(rows)),
         std::vector<double>(y.begin(), y.begin() + static_cast<std::ptrdiff_t>(rows))});
}

bool Reference_value(const ReferenceCurve& r, bool spectrum, double at, double& value) {
    const size_t rows = std::min(r.x.size(), r.y.size());
    if (rows == 0 || !(at >= r.x.front() && at <= r.x[rows - 1]))
        return false;
    const auto end = r.x.begin() + static_cast<std::ptrdiff_t>(rows);
    const size_t hi = static_cast<size_t>(std::lower_bound(r.x.begin(), end, at) - r.x.begin());
    if (r.x[hi] == at || hi == 0) {
        value = r.y[hi];
        return true;
    }
    const size_t lo = hi - 1;
    const long double x0 = r.x[lo];
    const long double x1 = r.x[hi];
    if (spectrum) {
        value = at - x0 <= x1 - at ? r.y[lo] : r.y[hi];
        return true;
    }
    const long double share = (at - x0) / (x1 - x0);
    value = static_cast<double>(r.y[lo] + share * (static_cast<long double>(r.y[hi]) - r.y[lo]));
    return true;
}

std::vector<std::string> Readout_lines(int graph) {
    std::vector<std::string> lines;
    const GraphView* g = View(graph);
    if (g == nullptr || g->drawn.series_count == 0)
        return lines;
    const DrawnGraph& d = g->drawn;
    const bool a = Placed(d, g->cursors.a);
    const bool b = Placed(d, g->cursors.b);
    if (a) {
        lines.push_back(Cursor_line(d, 'A', g->cursors.a));
        Add_reference_lines(d, 'A', g->cursors.a, lines);
    }
    if (b) {
        lines.push_back(Cursor_line(d, 'B', g->cursors.b));
        Add_reference_lines(d, 'B', g->cursors.b, lines);
    }
    if (!a || !b)
        return lines;
    const auto ja = static_cast<size_t>(g->cursors.a);
    const auto jb = static_cast<size_t>(g->cursors.b);
    const long double dx = static_cast<long double>((*d.series[0].x)[jb]) - (*d.series[0].x)[ja];
    if (d.spectrum) {
        lines.push_back("df: " + X_text(d, static_cast<double>(dx)));
        return lines;
    }
    lines.push_back("dt: " + X_text(d, static_cast<double>(dx)));
    lines.push_back("1/dt: " +
                    (dx != 0.0L ? dsp::Format_si(static_cast<double>(1.0L / dx), kSignificant, "Hz")
                                : std::string("n/a")));
    for (int s = 0; s < d.series_count; ++s) {
        const Series& series = d.series[static_cast<size_t>(s)];
        const long double dv = static_cast<long double>((*series.y)[jb]) - (*series.y)[ja];
        const std::string who = d.series_count > 1 ? std::string(" ") + series.name : "";
        lines.push_back("dv" + who + ": " + Y_text(d, static_cast<double>(dv)));
    }
    return lines;
}

void Draw_marks(int graph) {
    const GraphView* g = View(graph);
    if (g == nullptr || vistrel::plot.PlotCanvas == nullptr)
        return;
    const DrawnGraph& d = g->drawn;
    const std::vector<std::string> lines = Readout_lines(graph);
    if (!d.valid || lines.empty())
        return;
    vistrel::Canvas& canvas = *vistrel::plot.PlotCanvas;
    const int pen_width = canvas.pen_width();
    const vistrel::Colour pen_colour = canvas.pen_colour();
    const vistrel::Colour font_colour = canvas.font_colour();
    canvas.set_brush_style(vistrel::BrushStyle::Clear);
    vistrel::FinishPlot();
    if (Placed(d, g->cursors.a))
        Draw_cursor(d, g->cursors.a, 'A', kCursorA);
    if (Placed(d, g->cursors.b))
        Draw_cursor(d, g->cursors.b, 'B', kCursorB);

    // The readout goes to the corner where it hides the fewest samples of the curves.
    int text_width = 0;
    for (const std::string& line : lines)
        text_width = std::max(text_width, canvas.text_width(line));
    const int line_height = std::max<int>(vistrel::plot.CharHeight, 1);
    const int w = text_width + 2 * kReadoutInset;
    const int h = static_cast<int>(lines.size()) * line_height + 2 * kReadoutInset;
    const int top = d.bottom - d.height;
    const int lefts[2] = {d.left + d.width - w - 1, d.left + 2};
    const int tops[2] = {top + 2, d.bottom - h - 1};
    int best_left = lefts[0];
    int best_top = tops[0];
    int best = -1;
    for (int row = 0; row < 2; ++row) {
        for (int column = 0; column < 2; ++column) {
            const int covered =
                Covered(d, lefts[column], tops[row], lefts[column] + w, tops[row] + h);
            if (best < 0 || covered < best) {
                best = covered;
                best_left = lefts[column];
                best_top = tops[row];
            }
        }
    }
    // A framed box of the background colour under the texts, so that the grid does not run
    // through them. The metafile's brush is the background brush its prologue selected.
    const vistrel::Colour foreground = vistrel::ColourToRGB(vistrel::plot.ForegroundColour);
    canvas.set_pen_width(1);
    canvas.set_pen_colour(foreground);
    canvas.set_brush_colour(vistrel::ColourToRGB(vistrel::plot.BackgroundColour));
    canvas.set_brush_style(vistrel::BrushStyle::Solid);
    canvas.rectangle(best_left, best_top, best_left + w, best_top + h);
    if (vistrel::plot.MetafileRecording) {
        vistrel::SyncMetaPen();
        vistrel::EmitRectangle(best_left, best_top, best_left + w, best_top + h);
    }
    canvas.set_brush_style(vistrel::BrushStyle::Clear);
    canvas.set_font_colour(foreground);
    int y = best_top + kReadoutInset;
    for (const std::string& line : lines) {
        Text(best_left + kReadoutInset, y, line);
        y += line_height;
    }
    canvas.set_font_colour(font_colour);
    canvas.set_pen_width(pen_width);
    canvas.set_pen_colour(pen_colour);
}

void ClippedPen::move_to(float x, float y) {
    x_ = x;
    y_ = y;
    drawn_to_here_ = false;
}

void ClippedPen::line_to(float x, float y) {
    const vistrel::Plot& p = vistrel::plot;
    const long double x0 = x_;
    const long double y0 = y_;
    x_ = x;
    y_ = y;
    if (!p.AxesReady || p.PlotWidth <= 2 || p.PlotHeight <= 2)
        return;
    // The plot area less the pen's reach, in axis units.
    const long double px = (static_cast<long double>(p.XMax) - p.XMin) / p.PlotWidth;
    const long double py = (static_cast<long double>(p.YMax) - p.YMin) / p.PlotHeight;
    const long double lo_x = p.XMin + kPenReach * px;
    const long double hi_x = p.XMax - kPenReach * px;
    const long double lo_y = p.YMin + kPenReach * py;
    const long double hi_y = p.YMax - kPenReach * py;
    // Liang-Barsky: the share of the segment [t0, t1] inside the rectangle.
    const long double dx = x_ - x0;
    const long double dy = y_ - y0;
    long double t0 = 0.0L;
    long double t1 = 1.0L;
    const long double edges[4][2] = {
        {-dx, x0 - lo_x}, {dx, hi_x - x0}, {-dy, y0 - lo_y}, {dy, hi_y - y0}};
    for (const auto& e : edges) {
        if (e[0] == 0.0L) {
            if (e[1] < 0.0L) {
                drawn_to_here_ = false;
                return;
            }
            continue;
        }
        const long double t = e[1] / e[0];
        if (e[0] < 0.0L) {
            t0 = std::max(t0, t);
        } else {
            t1 = std::min(t1, t);
        }
    }
    if (t0 > t1) {
        drawn_to_here_ = false;
        return;
    }
    if (!(drawn_to_here_ && t0 == 0.0L))
        vistrel::PlotMoveTo(static_cast<float>(x0 + t0 * dx), static_cast<float>(y0 + t0 * dy));
    vistrel::PlotLineTo(static_cast<float>(x0 + t1 * dx), static_cast<float>(y0 + t1 * dy));
    drawn_to_here_ = t1 == 1.0L;
}

std::string Title(int graph, const std::string& title) {
    const GraphView* g = View(graph);
    return g != nullptr && Zoomed(*g) ? title + "   zoom" : title;
}

}  // namespace app::examine
