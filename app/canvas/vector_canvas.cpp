// The plotting unit's canvas on a vector device. Device unit (x, y) is the top-left corner of the
// screen's pixel (x, y), so pixel (x, y) is the cell from (x, y) to (x + 1, y + 1):
// - a one-pixel line from a to b is stroked one unit wide between the cells' centres, shifted
//   back half a step of the line, so that it covers the cells from a up to but not including b
//   (a horizontal or vertical line exactly those cells); a broken style keeps the screen's dash
//   runs, counted in cells along the line as the screen counts them;
// - a wide line of width w is stroked w wide with square ends between the centres of the w x w
//   squares the screen stamps along it; the segments of a curve go into one polyline;
// - a rectangle fills the cells l..r-1, t..b-1 and frames them on their outer cells;
// - a pixel is its cell; pixels set one after another along a row or column (the dotted grid
//   lines) become one dashed line when their runs repeat, else one path of cells;
// - a text is a text, in the screen's font, its cell's top-left corner at (x, y).
// Pieces of one colour are gathered until the colour changes: the lines of each pen become one
// path, so that a picture's hundreds of tick marks and grid lines are a few elements.
#include "app/canvas/vector_canvas.h"

#include <QPainterPath>
#include <QPen>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <utility>

namespace app {

namespace {

using Extended = long double;

// A miter reaches as far from the join as the corner of a square pen stamp (the length of the
// miter over the line's width, as SVG and PDF count it): sharper joins are bevelled.
constexpr qreal kSquareStampMiterLimit = 1.415;

QPointF PointOf(Extended x, Extended y) {
    return {static_cast<qreal>(x), static_cast<qreal>(y)};
}

QRectF CellsOf(int left, int top, int columns, int rows) {
    return {static_cast<qreal>(left), static_cast<qreal>(top), static_cast<qreal>(columns),
            static_cast<qreal>(rows)};
}

struct Run {
    int start;
    int length;
    int end() const { return start + length; }
};

// The runs of successive positions (increasing).
std::vector<Run> RunsOf(const std::vector<vistrel::Point>& pixels, bool vertical) {
    std::vector<Run> runs;
    for (const vistrel::Point& p : pixels) {
        const int at = vertical ? p.y : p.x;
        if (!runs.empty() && runs.back().end() == at) {
            runs.back().length += 1;
        } else {
            runs.push_back({at, 1});
        }
    }
    return runs;
}

// Runs of one length a apart by gaps of one length b, the last one possibly shorter: a dashed
// line with the pattern (a, b) ending where the last run ends.
bool Repeating(const std::vector<Run>& runs) {
    if (runs.size() < 2)
        return false;
    const int on = runs[0].length;
    const int off = runs[1].start - runs[0].end();
    for (size_t i = 1; i < runs.size(); ++i) {
        if (runs[i].start - runs[i - 1].end() != off)
            return false;
        if (i + 1 < runs.size() ? runs[i].length != on : runs[i].length > on)
            return false;
    }
    return true;
}

// Whether the line from start to end goes on from where path's last line ended, in its direction.
bool GoesOn(const QPainterPath& path, QPointF start, QPointF end) {
    const int n = path.elementCount();
    if (n < 2 || !path.elementAt(n - 1).isLineTo() || path.currentPosition() != start)
        return false;
    const QPointF before = path.elementAt(n - 2);
    const QPointF last = start - before;
    const QPointF next = end - start;
    const qreal cross = last.x() * next.y() - last.y() * next.x();
    return std::abs(cross) < 1e-9 && QPointF::dotProduct(last, next) > 0;
}

}  // namespace

VectorCanvas::VectorCanvas(QPainter& painter, int width, int height)
    : painter_(painter), width_(width), height_(height) {}

VectorCanvas::~VectorCanvas() {
    finish();
}

void VectorCanvas::finish() {
    flush();
}

void VectorCanvas::set_pen_colour(vistrel::Colour c) {
    if (c != pen_colour_)
        flush_polyline();
    pen_colour_ = c;
}

void VectorCanvas::set_pen_style(vistrel::PenStyle s) {
    if (s != pen_style_)
        flush_polyline();
    pen_style_ = s;
}

void VectorCanvas::set_pen_width(int w) {
    w = std::max(w, 1);
    if (w != pen_width_)
        flush_polyline();
    pen_width_ = w;
}

void VectorCanvas::set_pen_mode(vistrel::PenMode m) {
    if (m != pen_mode_)
        flush_polyline();
    pen_mode_ = m;
}

QColor VectorCanvas::stroke_colour() const {
    const vistrel::Colour pen = vistrel::ColourToRGB(pen_colour_);
    const vistrel::Colour under = vistrel::ColourToRGB(background_);
    switch (pen_mode_) {
        case vistrel::PenMode::Xor:
            return ToQColor(under ^ pen);
        case vistrel::PenMode::NotXor:
            return ToQColor(~(under ^ pen) & 0xFFFFFFu);
        case vistrel::PenMode::Not:
            return ToQColor(~under & 0xFFFFFFu);
        default:
            return ToQColor(pen);
    }
}

void VectorCanvas::flush() {
    flush_polyline();
    flush_pixels();
    draw_gathered();
}

void VectorCanvas::use_ink(const QColor& colour) {
    if (colour != ink_)
        draw_gathered();
    ink_ = colour;
}

QPainterPath& VectorCanvas::stroke_path(const QPen& pen) {
    use_ink(pen.color());
    for (Stroke& s : strokes_) {
        if (s.pen == pen)
            return s.path;
    }
    strokes_.push_back({pen, {}});
    return strokes_.back().path;
}

void VectorCanvas::fill(const QPainterPath& area, const QColor& colour) {
    use_ink(colour);
    fills_.setFillRule(Qt::WindingFill);  // overlapping cells stay covered
    fills_.addPath(area);
}

void VectorCanvas::draw_gathered() {
    painter_.setBrush(Qt::NoBrush);
    for (const Stroke& s : strokes_) {
        painter_.setPen(s.pen);
        painter_.drawPath(s.path);
    }
    strokes_.clear();
    if (!fills_.isEmpty()) {
        painter_.setPen(Qt::NoPen);
        painter_.setBrush(ink_);
        painter_.drawPath(fills_);
        painter_.setBrush(Qt::NoBrush);
        fills_.clear();
    }
    if (!labels_.empty())
        painter_.setPen(QPen(ink_));
    for (size_t i = 0; i < labels_.size(); ++i) {
        // Setting a font marks the painter's state changed even when it is the same font.
        if (i == 0 || labels_[i].font != labels_[i - 1].font)
            painter_.setFont(labels_[i].font);
        painter_.drawText(labels_[i].at, labels_[i].text);
    }
    labels_.clear();
}

void VectorCanvas::line_to(int x, int y) {
    const vistrel::Point from = pen_pos_;
    pen_pos_ = {x, y};
    if (pen_width_ <= 1) {
        flush_polyline();
        flush_pixels();
        thin_line(from, pen_pos_);
        return;
    }
    flush_pixels();
    wide_line(from, pen_pos_);
}

void VectorCanvas::thin_line(vistrel::Point a, vistrel::Point b) {
    if (pen_style_ == vistrel::PenStyle::Clear)
        return;
    const int64_t dx = int64_t{b.x} - a.x;
    const int64_t dy = int64_t{b.y} - a.y;
    const int64_t steps = std::max(std::abs(dx), std::abs(dy));
    if (steps == 0)
        return;
    // One step of the line: one cell along its major direction.
    const Extended sx = static_cast<Extended>(dx) / steps;
    const Extended sy = static_cast<Extended>(dy) / steps;
    const QPointF start = PointOf(a.x + 0.5L - sx / 2, a.y + 0.5L - sy / 2);
    const QPointF end = PointOf(b.x + 0.5L - sx / 2, b.y + 0.5L - sy / 2);
    QPen pen(stroke_colour(), 1.0, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin);
    const std::span<const int> runs = DashRuns(pen_style_);
    if (!runs.empty()) {
        const Extended step = std::sqrt(sx * sx + sy * sy);
        QList<qreal> pattern;
        for (const int run : runs) pattern.append(static_cast<qreal>(run * step));
        pen.setDashPattern(pattern);
    }
    QPainterPath& path = stroke_path(pen);
    // A solid line going on in the same direction from where the last one ended continues it;
    // any other line is a piece of its own, with its own ends (and its dashes starting afresh).
    if (!runs.empty() || !GoesOn(path, start, end))
        path.moveTo(start);
    path.lineTo(end);
}

void VectorCanvas::wide_line(vistrel::Point a, vistrel::Point b) {
    // The centre of the w x w square stamped at a point: (x, y) less w / 2 cells, plus w / 2.
    const Extended shift = pen_width_ / 2.0L - pen_width_ / 2;
    const QPointF from = PointOf(a.x + shift, a.y + shift);
    const QPointF to = PointOf(b.x + shift, b.y + shift);
    if (polyline_.isEmpty() || polyline_.back() != from) {
        flush_polyline();
        polyline_.append(from);
    }
    polyline_.append(to);
}

void VectorCanvas::flush_polyline() {
    QPolygonF points;
    std::swap(points, polyline_);
    if (points.size() < 2 || pen_style_ == vistrel::PenStyle::Clear)
        return;
    const qreal w = pen_width_;
    if (std::all_of(points.begin(), points.end(),
                    [&](const QPointF& p) { return p == points[0]; })) {
        // A line of no length: the one square stamp.
        QPainterPath stamp;
        stamp.addRect(QRectF(points[0].x() - w / 2, points[0].y() - w / 2, w, w));
        fill(stamp, stroke_colour());
        return;
    }
    QPen pen(stroke_colour(), w, QtPenStyle(pen_style_), Qt::SquareCap, Qt::MiterJoin);
    pen.setMiterLimit(kSquareStampMiterLimit);
    QPainterPath& path = stroke_path(pen);
    path.moveTo(points[0]);
    for (qsizetype i = 1; i < points.size(); ++i) path.lineTo(points[i]);
}

void VectorCanvas::set_pixel(int x, int y, vistrel::Colour c) {
    flush_polyline();
    if (!pixels_.empty()) {
        const vistrel::Point last = pixels_.back();
        const bool down = x == last.x && y > last.y;
        const bool across = y == last.y && x > last.x;
        const bool vertical = pixels_.size() >= 2 && pixels_[0].x == pixels_[1].x;
        const bool follows = pixels_.size() == 1 ? down || across : (vertical ? down : across);
        if (c != pixels_colour_ || !follows)
            flush_pixels();
    }
    pixels_.push_back({x, y});
    pixels_colour_ = c;
}

void VectorCanvas::flush_pixels() {
    std::vector<vistrel::Point> pixels;
    std::swap(pixels, pixels_);
    if (pixels.empty())
        return;
    const bool vertical = pixels.size() >= 2 && pixels[0].x == pixels[1].x;
    const std::vector<Run> runs = RunsOf(pixels, vertical);
    const QColor colour = ToQColor(pixels_colour_);
    const int across = vertical ? pixels[0].x : pixels[0].y;
    if (Repeating(runs)) {
        QPen pen(colour, 1.0, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin);
        const int off = runs[1].start - runs[0].end();
        pen.setDashPattern({static_cast<qreal>(runs[0].length), static_cast<qreal>(off)});
        const Extended middle = across + 0.5L;
        const Extended first = runs.front().start;
        const Extended last = runs.back().end();
        QPainterPath& path = stroke_path(pen);
        path.moveTo(vertical ? PointOf(middle, first) : PointOf(first, middle));
        path.lineTo(vertical ? PointOf(middle, last) : PointOf(last, middle));
        return;
    }
    QPainterPath cells;
    for (const Run& run : runs) {
        cells.addRect(vertical ? CellsOf(across, run.start, 1, run.length)
                               : CellsOf(run.start, across, run.length, 1));
    }
    fill(cells, colour);
}

vistrel::Colour VectorCanvas::pixel(int /*x*/, int /*y*/) const {
    return 0xFFFFFFFFu;
}

void VectorCanvas::rectangle(int left, int top, int right, int bottom) {
    flush_polyline();
    flush_pixels();
    if (!Ordered_rectangle(left, top, right, bottom))
        return;
    if (brush_style_ == vistrel::BrushStyle::Solid) {
        QPainterPath area;
        area.addRect(CellsOf(left, top, right - left, bottom - top));
        fill(area, ToQColor(brush_colour_));
        if (left <= 0 && top <= 0 && right >= width_ && bottom >= height_)
            background_ = brush_colour_;
    }
    if (pen_style_ == vistrel::PenStyle::Clear)
        return;
    if (pen_width_ <= 1) {
        const int r = right - 1;
        const int b = bottom - 1;
        if (r == left) {
            thin_line({left, top}, {left, bottom});
        } else if (b == top) {
            thin_line({left, top}, {right, top});
        } else if (pen_style_ == vistrel::PenStyle::Solid) {
            // The frame through the centres of the outer cells, from the left edge of the
            // top-left cell round to its top edge: an SVG path is not closed by its writer, so
            // the corner where it starts is covered by the ends of its sides.
            QPainterPath& path =
                stroke_path(QPen(stroke_colour(), 1.0, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin));
            path.moveTo(PointOf(left, top + 0.5L));
            path.lineTo(PointOf(r + 0.5L, top + 0.5L));
            path.lineTo(PointOf(r + 0.5L, b + 0.5L));
            path.lineTo(PointOf(left + 0.5L, b + 0.5L));
            path.lineTo(PointOf(left + 0.5L, top));
        } else {
            // Each side starts its dashes afresh, as on the screen.
            thin_line({left, top}, {r, top});
            thin_line({r, top}, {r, b});
            thin_line({r, b}, {left, b});
            thin_line({left, b}, {left, top});
        }
        return;
    }
    const Extended half = pen_width_ / 2.0L;
    stroke_path(
        QPen(stroke_colour(), pen_width_, QtPenStyle(pen_style_), Qt::SquareCap, Qt::MiterJoin))
        .addRect(QRectF(PointOf(left + half, top + half), PointOf(right - half, bottom - half)));
}

void VectorCanvas::text_out(int x, int y, const std::string& text) {
    flush_polyline();
    flush_pixels();
    const QString s = FromWindows1252(text);
    const QFontMetrics& metrics = font_.metrics();
    if (brush_style_ == vistrel::BrushStyle::Solid) {
        QPainterPath area;
        area.addRect(CellsOf(x, y, metrics.horizontalAdvance(s), metrics.height()));
        fill(area, ToQColor(brush_colour_));
    }
    use_ink(ToQColor(font_colour_));
    labels_.push_back({font_.qfont(), PointOf(x, static_cast<Extended>(y) + metrics.ascent()), s});
    pen_pos_ = {x, y};
}

VectorPaintBox::VectorPaintBox(QPainter& painter, int width, int height)
    : width_(width), height_(height), canvas_(painter, width, height) {}

void VectorPaintBox::repaint() {
    if (handler_)
        handler_();
    canvas_.finish();
}

}  // namespace app
