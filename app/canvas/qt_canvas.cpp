// The plotting unit's canvas on a QPainter and its backing image. The unit's geometry assumes
// the pixel rules of the canvas it was designed for (a one-pixel line leaves out its end point,
// rectangles end one pixel short of their right and bottom coordinates, text is placed by the
// top-left corner of its cell), so thin lines, frames and pixels are written straight into the
// image here, and only wide lines and text go through the painter.
#include "app/canvas/qt_canvas.h"

#include <QClipboard>
#include <QGuiApplication>
#include <algorithm>
#include <cstdlib>

namespace app {

namespace {

QPainter::CompositionMode CompositionOf(vistrel::PenMode mode) {
    switch (mode) {
        case vistrel::PenMode::Xor:
            return QPainter::RasterOp_SourceXorDestination;
        case vistrel::PenMode::NotXor:
            return QPainter::RasterOp_NotSourceXorDestination;
        case vistrel::PenMode::Not:
            return QPainter::RasterOp_NotDestination;
        default:
            return QPainter::CompositionMode_SourceOver;
    }
}

}  // namespace

QtCanvas::QtCanvas(QImage& image) : image_(image) {}

QtCanvas::~QtCanvas() {
    end_painting();
}

void QtCanvas::end_painting() {
    if (painter_ != nullptr)
        painter_->end();
    painter_.reset();
    surface_ = Surface{};
}

QPainter& QtCanvas::painter() {
    if (painter_ == nullptr) {
        painter_ = std::make_unique<QPainter>(&image_);
        painter_->setRenderHint(QPainter::Antialiasing, false);
        surface_ = Surface{};  // beginning may have given the image memory of its own
    }
    return *painter_;
}

void QtCanvas::set_pixels_per_inch(int ppi) {
    font_.set_pixels_per_inch(ppi);
}

int QtCanvas::pixels_per_inch() const {
    return font_.pixels_per_inch();
}

void QtCanvas::set_pen_colour(vistrel::Colour c) {
    pen_colour_ = c;
}
void QtCanvas::set_pen_style(vistrel::PenStyle s) {
    pen_style_ = s;
}
void QtCanvas::set_pen_width(int w) {
    pen_width_ = std::max(w, 1);
}
void QtCanvas::set_pen_mode(vistrel::PenMode m) {
    pen_mode_ = m;
}
void QtCanvas::set_brush_colour(vistrel::Colour c) {
    brush_colour_ = c;
}
void QtCanvas::set_brush_style(vistrel::BrushStyle s) {
    brush_style_ = s;
}
void QtCanvas::set_font_name(const std::string& face) {
    font_.set_name(face);
}
void QtCanvas::set_font_size(int points) {
    font_.set_size(points);
}
void QtCanvas::set_font_style(vistrel::FontStyle s) {
    font_.set_style(s);
}
void QtCanvas::set_font_colour(vistrel::Colour c) {
    font_colour_ = c;
}

int QtCanvas::font_height() const {
    return font_.height();
}

// Thin lines, fills and pixels go straight into the image's memory. The raster painter draws
// into the same memory with no buffering, so writes here and painter calls mix in call order.
// The const access keeps a shared image from detaching away from the painter.
// The image's memory and shape, looked up once per picture rather than once per pixel: the
// dotted grids and the curves write tens of thousands of pixels per picture.
const QtCanvas::Surface& QtCanvas::surface() {
    if (surface_.bits == nullptr) {
        surface_.bits = const_cast<uchar*>(std::as_const(image_).constBits());
        surface_.bytes_per_line = image_.bytesPerLine();
        surface_.width = image_.width();
        surface_.height = image_.height();
    }
    return surface_;
}

uint32_t* QtCanvas::row(int y) {
    const Surface& s = surface();
    return reinterpret_cast<uint32_t*>(s.bits + static_cast<qsizetype>(y) * s.bytes_per_line);
}

void QtCanvas::put(int x, int y, uint32_t rgb) {
    const Surface& s = surface();
    if (x < 0 || y < 0 || x >= s.width || y >= s.height)
        return;
    uint32_t& px = row(y)[x];
    switch (pen_mode_) {
        case vistrel::PenMode::Xor:
            px = 0xFF000000u | ((px ^ rgb) & 0x00FFFFFFu);
            break;
        case vistrel::PenMode::NotXor:
            px = 0xFF000000u | (~(px ^ rgb) & 0x00FFFFFFu);
            break;
        case vistrel::PenMode::Not:
            px = 0xFF000000u | (~px & 0x00FFFFFFu);
            break;
        default:
            px = rgb;
            break;
    }
}

// A one-pixel line from (x0, y0) up to but not including (x1, y1).
void QtCanvas::thin_line(int x0, int y0, int x1, int y1) {
    if (pen_style_ == vistrel::PenStyle::Clear)
        return;
    const std::span<const int> dashes = DashRuns(pen_style_);
    const uint32_t rgb = ToQRgb(pen_colour_);
    const int64_t dx = std::abs(int64_t{x1} - x0);
    const int64_t dy = -std::abs(int64_t{y1} - y0);
    const int sx = x0 < x1 ? 1 : -1;
    const int sy = y0 < y1 ? 1 : -1;
    int64_t err = dx + dy;
    int x = x0;
    int y = y0;
    int run = 0;
    int run_pos = 0;
    while (x != x1 || y != y1) {
        if (dashes.empty() || run % 2 == 0)
            put(x, y, rgb);
        if (!dashes.empty() && ++run_pos >= dashes[static_cast<size_t>(run)]) {
            run = (run + 1) % static_cast<int>(dashes.size());
            run_pos = 0;
        }
        const int64_t e2 = 2 * err;
        if (e2 >= dy) {
            err += dy;
            x += sx;
        }
        if (e2 <= dx) {
            err += dx;
            y += sy;
        }
    }
}

// A solid wide line as a square of the pen's width stamped at every point of the line, both
// ends included: the segments of a curve overlap at their joins, and each costs a few pixel
// writes instead of a stroked path (the curves of a picture are thousands of segments).
void QtCanvas::wide_line(int x0, int y0, int x1, int y1) {
    const uint32_t rgb = ToQRgb(pen_colour_);
    const int w = pen_width_;
    const int back = w / 2;
    const int64_t dx = std::abs(int64_t{x1} - x0);
    const int64_t dy = -std::abs(int64_t{y1} - y0);
    const int sx = x0 < x1 ? 1 : -1;
    const int sy = y0 < y1 ? 1 : -1;
    int64_t err = dx + dy;
    int x = x0;
    int y = y0;
    for (;;) {
        for (int j = 0; j < w; ++j) {
            for (int i = 0; i < w; ++i) put(x - back + i, y - back + j, rgb);
        }
        if (x == x1 && y == y1)
            break;
        const int64_t e2 = 2 * err;
        if (e2 >= dy) {
            err += dy;
            x += sx;
        }
        if (e2 <= dx) {
            err += dx;
            y += sy;
        }
    }
}

void QtCanvas::move_to(int x, int y) {
    pen_pos_ = {x, y};
}

void QtCanvas::line_to(int x, int y) {
    const vistrel::Point from = pen_pos_;
    pen_pos_ = {x, y};
    if (pen_width_ <= 1) {
        thin_line(from.x, from.y, x, y);
        return;
    }
    if (pen_style_ == vistrel::PenStyle::Solid && pen_mode_ == vistrel::PenMode::Copy) {
        wide_line(from.x, from.y, x, y);
        return;
    }
    // Other wide lines: square ends, so that the segments of a polyline overlap at their joins
    // and leave no gaps (round ends cost ten times as much in the raster engine).
    QPainter& p = painter();
    p.setCompositionMode(CompositionOf(pen_mode_));
    p.setPen(QPen(ToQColor(pen_colour_), pen_width_, QtPenStyle(pen_style_), Qt::SquareCap,
                  Qt::MiterJoin));
    p.drawLine(from.x, from.y, x, y);
}

void QtCanvas::rectangle(int left, int top, int right, int bottom) {
    if (!Ordered_rectangle(left, top, right, bottom))
        return;
    if (brush_style_ == vistrel::BrushStyle::Solid) {
        const QRect area = QRect(left, top, right - left, bottom - top) & image_.rect();
        const uint32_t rgb = ToQRgb(brush_colour_);
        for (int y = area.top(); y <= area.bottom(); ++y) {
            uint32_t* line = row(y);
            std::fill(line + area.left(), line + area.right() + 1, rgb);
        }
    }
    if (pen_style_ == vistrel::PenStyle::Clear)
        return;
    if (pen_width_ <= 1) {
        // The frame's four sides, each leaving out its last pixel, close exactly once.
        const int r = right - 1;
        const int b = bottom - 1;
        if (r == left) {
            thin_line(left, top, left, bottom);
            return;
        }
        if (b == top) {
            thin_line(left, top, right, top);
            return;
        }
        thin_line(left, top, r, top);
        thin_line(r, top, r, b);
        thin_line(r, b, left, b);
        thin_line(left, b, left, top);
        return;
    }
    QPainter& p = painter();
    p.setCompositionMode(CompositionOf(pen_mode_));
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(ToQColor(pen_colour_), pen_width_, QtPenStyle(pen_style_), Qt::SquareCap,
                  Qt::MiterJoin));
    const int inset = pen_width_ / 2;
    p.drawRect(
        QRect(left + inset, top + inset, right - left - pen_width_, bottom - top - pen_width_));
}

void QtCanvas::set_pixel(int x, int y, vistrel::Colour c) {
    // The pixel is set whatever the pen mode.
    const vistrel::PenMode mode = pen_mode_;
    pen_mode_ = vistrel::PenMode::Copy;
    put(x, y, ToQRgb(c));
    pen_mode_ = mode;
}

vistrel::Colour QtCanvas::pixel(int x, int y) const {
    if (x < 0 || y < 0 || x >= image_.width() || y >= image_.height())
        return 0xFFFFFFFFu;
    const auto* line = reinterpret_cast<const uint32_t*>(image_.constScanLine(y));
    return FromQRgb(line[x]);
}

void QtCanvas::text_out(int x, int y, const std::string& text) {
    const QString s = FromWindows1252(text);
    const QFont& font = font_.qfont();
    const QFontMetrics& metrics = font_.metrics();
    QPainter& p = painter();
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    if (brush_style_ == vistrel::BrushStyle::Solid) {
        p.fillRect(QRect(x, y, metrics.horizontalAdvance(s), metrics.height()),
                   ToQColor(brush_colour_));
    }
    p.setFont(font);
    p.setPen(ToQColor(font_colour_));
    p.drawText(x, y + metrics.ascent(), s);
    pen_pos_ = {x, y};
}

int QtCanvas::text_width(const std::string& text) const {
    return font_.text_width(text);
}

int QtCanvas::text_height(const std::string& /*text*/) const {
    return font_.text_height();
}

std::vector<std::string> QtCanvas::font_families() const {
    return CanvasFont::families();
}

std::string QtCanvas::resolved_family(const std::string& face) const {
    return CanvasFont::resolved_family(face);
}

ImagePaintBox::ImagePaintBox(int width, int height)
    : image_(std::max(width, 1), std::max(height, 1), QImage::Format_RGB32),
      canvas_(std::make_unique<QtCanvas>(image_)) {
    image_.fill(Qt::white);
}

ImagePaintBox::~ImagePaintBox() {
    canvas_->end_painting();
}

void ImagePaintBox::set_paint_handler(std::function<void()> handler) {
    handler_ = std::move(handler);
}

void ImagePaintBox::resize(int width, int height) {
    canvas_->end_painting();
    image_ = QImage(std::max(width, 1), std::max(height, 1), QImage::Format_RGB32);
    image_.fill(Qt::white);
}

void ImagePaintBox::repaint() {
    if (handler_)
        handler_();
    // The picture is complete: nothing stays open on the image between paints.
    canvas_->end_painting();
}

void ImagePaintBox::copy_to_clipboard() {
    canvas_->end_painting();
    QGuiApplication::clipboard()->setImage(image_.copy());
}

}  // namespace app
