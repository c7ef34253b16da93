// The arithmetic of examining a graph: limits of zoom and pan, the nearest sample, and pixels
// back to record units.
#include "app/examine/graph_view.h"

#include <algorithm>
#include <cmath>

namespace app::examine {

Examination Examine;

Span Limit(Span view, Span whole, double min_width) {
    const long double whole_width = whole.width();
    if (!(whole_width > 0.0L) || !std::isfinite(view.lo) || !std::isfinite(view.hi))
        return whole;
    long double width = static_cast<long double>(view.hi) - view.lo;
    const long double widest = whole_width * kMaxZoomOut;
    const long double narrowest = std::min<long double>(std::max(min_width, 0.0), widest);
    width = std::clamp(width, narrowest, widest);
    long double centre = (static_cast<long double>(view.lo) + view.hi) / 2.0L;
    centre = std::clamp<long double>(centre, whole.lo, whole.hi);
    return {static_cast<double>(centre - width / 2.0L), static_cast<double>(centre + width / 2.0L)};
}

Span Zoom_about(Span view, double at, long double factor, Span whole, double min_width) {
    if (!(factor > 0.0L))
        return view;
    const long double old_width = static_cast<long double>(view.hi) - view.lo;
    long double width = old_width / factor;
    const long double widest = static_cast<long double>(whole.width()) * kMaxZoomOut;
    width = std::clamp<long double>(width, std::min<long double>(min_width, widest), widest);
    if (!(old_width > 0.0L))
        return Limit(view, whole, min_width);
    // The pointer's value keeps its share of the graph.
    const long double share = (static_cast<long double>(at) - view.lo) / old_width;
    const long double lo = at - share * width;
    return Limit({static_cast<double>(lo), static_cast<double>(lo + width)}, whole, min_width);
}

Span Pan(Span view, double delta, Span whole, double min_width) {
    const long double lo = static_cast<long double>(view.lo) + delta;
    const long double hi = static_cast<long double>(view.hi) + delta;
    return Limit({static_cast<double>(lo), static_cast<double>(hi)}, whole, min_width);
}

Span Box(double a, double b, Span whole, double min_width) {
    return Limit({std::min(a, b), std::max(a, b)}, whole, min_width);
}

bool Zoomed(const GraphView& g) {
    return g.x_zoomed || g.y_zoomed;
}

double Sample_step(const DrawnGraph& d) {
    const Series& s = d.series[0];
    if (s.x == nullptr || d.last <= d.first)
        return 0.0;
    return static_cast<double>((static_cast<long double>((*s.x)[d.last]) - (*s.x)[d.first]) /
                               (d.last - d.first));
}

double Min_x_width(const DrawnGraph& d) {
    return static_cast<double>(kMinSamplesAcross * static_cast<long double>(Sample_step(d)));
}

double Min_y_width(const DrawnGraph& d) {
    return static_cast<double>(d.whole_y.width() / kMaxValueZoomIn);
}

int32_t Nearest_sample(const DrawnGraph& d, double x) {
    const Series& s = d.series[0];
    if (s.x == nullptr || d.last < d.first || d.first < 0 || d.last > model::kMaxIndex)
        return 0;
    const auto begin = s.x->begin() + d.first;
    const auto end = s.x->begin() + d.last + 1;
    const auto after = std::lower_bound(begin, end, x);
    if (after == begin)
        return d.first;
    if (after == end)
        return d.last;
    const auto before = after - 1;
    // A tie goes to the earlier sample.
    const int32_t j = static_cast<int32_t>(after - s.x->begin());
    return x - *before <= *after - x ? j - 1 : j;
}

double X_at(const DrawnGraph& d, double column) {
    if (d.width <= 0)
        return d.x.lo;
    const long double share = (static_cast<long double>(column) - d.left) / d.width;
    return static_cast<double>(d.x.lo + share * (static_cast<long double>(d.x.hi) - d.x.lo));
}

double Y_at(const DrawnGraph& d, double row) {
    if (d.height <= 0)
        return d.y.lo;
    const long double share = (static_cast<long double>(d.bottom) - row) / d.height;
    return static_cast<double>(d.y.lo + share * (static_cast<long double>(d.y.hi) - d.y.lo));
}

int Graph_at(int column, int row) {
    for (int g = 0; g < kGraphCount; ++g) {
        const DrawnGraph& d = Examine.graphs[static_cast<size_t>(g)].drawn;
        if (d.valid && column >= d.left && column <= d.left + d.width &&
            row >= d.bottom - d.height && row <= d.bottom)
            return g;
    }
    return -1;
}

void Reset_zoom(GraphView& g) {
    g.x_zoomed = false;
    g.y_zoomed = false;
    g.x = {};
    g.y = {};
}

}  // namespace app::examine
