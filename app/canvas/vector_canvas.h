// The plotting unit's canvas on a vector device (an SVG generator, a PDF writer): lines stay
// lines and texts stay texts, at one device unit per pixel of the screen's picture. The pixel
// rules of the screen's canvas become geometry: a one-pixel line covers the cells from its start
// up to but not including its end, a rectangle the cells l..r-1 and t..b-1, a pixel its cell.
// Fonts are measured exactly as on the screen (CanvasFont), so the axes lay their labels out
// identically.
#pragma once

#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <functional>
#include <string>
#include <vector>

#include "app/canvas/canvas_style.h"
#include "vistrel/canvas.h"

namespace app {

class VectorCanvas final : public vistrel::Canvas {
  public:
    // Draws with painter, active on a device of width x height units; painter must outlive
    // the canvas. finish() (or the destructor) draws what is still gathered.
    VectorCanvas(QPainter& painter, int width, int height);
    ~VectorCanvas() override;
    VectorCanvas(const VectorCanvas&) = delete;
    VectorCanvas& operator=(const VectorCanvas&) = delete;

    void finish();

    void set_pen_colour(vistrel::Colour c) override;
    vistrel::Colour pen_colour() const override { return pen_colour_; }
    void set_pen_style(vistrel::PenStyle s) override;
    vistrel::PenStyle pen_style() const override { return pen_style_; }
    void set_pen_width(int w) override;
    int pen_width() const override { return pen_width_; }
    void set_pen_mode(vistrel::PenMode m) override;
    vistrel::PenMode pen_mode() const override { return pen_mode_; }

    void set_brush_colour(vistrel::Colour c) override { brush_colour_ = c; }
    vistrel::Colour brush_colour() const override { return brush_colour_; }
    void set_brush_style(vistrel::BrushStyle s) override { brush_style_ = s; }
    vistrel::BrushStyle brush_style() const override { return brush_style_; }

    void set_font_name(const std::string& face) override { font_.set_name(face); }
    std::string font_name() const override { return font_.name(); }
    void set_font_size(int points) override { font_.set_size(points); }
    int font_size() const override { return font_.size(); }
    void set_font_style(vistrel::FontStyle s) override { font_.set_style(s); }
    vistrel::FontStyle font_style() const override { return font_.style(); }
    void set_font_colour(vistrel::Colour c) override { font_colour_ = c; }
    vistrel::Colour font_colour() const override { return font_colour_; }
    int font_height() const override { return font_.height(); }

    void move_to(int x, int y) override { pen_pos_ = {x, y}; }
    void line_to(int x, int y) override;
    vistrel::Point pen_pos() const override { return pen_pos_; }
    void rectangle(int left, int top, int right, int bottom) override;
    void set_pixel(int x, int y, vistrel::Colour c) override;
    // A vector picture keeps no pixels to read back: every pixel answers as one off the surface
    // does on the screen (0xFFFFFFFF). The plotting unit never reads pixels.
    vistrel::Colour pixel(int x, int y) const override;
    void text_out(int x, int y, const std::string& text) override;
    int text_width(const std::string& text) const override { return font_.text_width(text); }
    int text_height(const std::string& /*text*/) const override { return font_.text_height(); }

    std::vector<std::string> font_families() const override { return CanvasFont::families(); }
    std::string resolved_family(const std::string& face) const override {
        return CanvasFont::resolved_family(face);
    }
    int pixels_per_inch() const override { return font_.pixels_per_inch(); }

  private:
    // The pen's colour as its mode leaves it on the surface's background: the device cannot
    // combine with what is under it.
    QColor stroke_colour() const;
    void thin_line(vistrel::Point a, vistrel::Point b);
    void wide_line(vistrel::Point a, vistrel::Point b);
    void flush();
    void flush_polyline();
    void flush_pixels();
    // The gathered pieces below go to the device when a piece of another colour comes.
    void use_ink(const QColor& colour);
    QPainterPath& stroke_path(const QPen& pen);
    void fill(const QPainterPath& area, const QColor& colour);
    void draw_gathered();

    QPainter& painter_;
    int width_;
    int height_;
    CanvasFont font_;

    // A polyline of wide segments, each starting where the last one ended, drawn as one path.
    QPolygonF polyline_;
    // Pixels of one colour along one row or column, in increasing order: the dotted grid
    // lines, drawn as one dashed line (or one path of cells).
    std::vector<vistrel::Point> pixels_;
    vistrel::Colour pixels_colour_ = 0;
    // What was drawn since the colour last changed, not yet on the device. Opaque pieces of one
    // colour leave the same ink in any order, so each pen's lines go out as one path (one
    // element in one group of an SVG file), the fills as another, then the texts in their order.
    struct Stroke {
        QPen pen;
        QPainterPath path;
    };
    struct Label {
        QFont font;
        QPointF at;
        QString text;
    };
    QColor ink_;
    std::vector<Stroke> strokes_;
    QPainterPath fills_;
    std::vector<Label> labels_;
    // The last colour a rectangle filled the whole surface with.
    vistrel::Colour background_ = 0xFFFFFF;

    vistrel::Colour pen_colour_ = 0;
    vistrel::PenStyle pen_style_ = vistrel::PenStyle::Solid;
    int pen_width_ = 1;
    vistrel::PenMode pen_mode_ = vistrel::PenMode::Copy;
    vistrel::Colour brush_colour_ = 0xFFFFFF;
    vistrel::BrushStyle brush_style_ = vistrel::BrushStyle::Solid;
    vistrel::Colour font_colour_ = 0;
    vistrel::Point pen_pos_;
};

// A paint box on a vector device: its canvas and a paint handler.
class VectorPaintBox final : public vistrel::PaintBox {
  public:
    VectorPaintBox(QPainter& painter, int width, int height);

    void set_paint_handler(std::function<void()> handler) { handler_ = std::move(handler); }
    // Draws what the canvas still gathers: the picture is complete.
    void finish() { canvas_.finish(); }

    int width() const override { return width_; }
    int height() const override { return height_; }
    vistrel::Canvas& canvas() override { return canvas_; }
    void repaint() override;
    // A vector picture has no bitmap to put on the clipboard: nothing happens.
    void copy_to_clipboard() override {}

  private:
    int width_;
    int height_;
    VectorCanvas canvas_;
    std::function<void()> handler_;
};

}  // namespace app
