// The plotting unit's canvas on the screen: a QPainter on a backing image the size of the plot
// surface, with the pixel rules of the platform canvas the unit was designed for. The paint-box
// widget shows the image; ImagePaintBox is that paint box without a widget.
#pragma once

#include <QImage>
#include <QPainter>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/canvas/canvas_style.h"
#include "vistrel/canvas.h"

namespace app {

class QtCanvas final : public vistrel::Canvas {
  public:
    // Draws into image (Format_RGB32), which must outlive the canvas and keep its size while a
    // painter is active; end_painting() before resizing or replacing it.
    explicit QtCanvas(QImage& image);
    ~QtCanvas() override;
    QtCanvas(const QtCanvas&) = delete;
    QtCanvas& operator=(const QtCanvas&) = delete;

    // Ends the painter, if one is active; the next drawing call begins a new one.
    void end_painting();
    // Overrides the screen's logical DPI (0 goes back to the screen's).
    void set_pixels_per_inch(int ppi);

    void set_pen_colour(vistrel::Colour c) override;
    vistrel::Colour pen_colour() const override { return pen_colour_; }
    void set_pen_style(vistrel::PenStyle s) override;
    vistrel::PenStyle pen_style() const override { return pen_style_; }
    void set_pen_width(int w) override;
    int pen_width() const override { return pen_width_; }
    void set_pen_mode(vistrel::PenMode m) override;
    vistrel::PenMode pen_mode() const override { return pen_mode_; }

    void set_brush_colour(vistrel::Colour c) override;
    vistrel::Colour brush_colour() const override { return brush_colour_; }
    void set_brush_style(vistrel::BrushStyle s) override;
    vistrel::BrushStyle brush_style() const override { return brush_style_; }

    void set_font_name(const std::string& face) override;
    std::string font_name() const override { return font_.name(); }
    void set_font_size(int points) override;
    int font_size() const override { return font_.size(); }
    void set_font_style(vistrel::FontStyle s) override;
    vistrel::FontStyle font_style() const override { return font_.style(); }
    void set_font_colour(vistrel::Colour c) override;
    vistrel::Colour font_colour() const override { return font_colour_; }
    int font_height() const override;

    void move_to(int x, int y) override;
    void line_to(int x, int y) override;
    vistrel::Point pen_pos() const override { return pen_pos_; }
    void rectangle(int left, int top, int right, int bottom) override;
    void set_pixel(int x, int y, vistrel::Colour c) override;
    vistrel::Colour pixel(int x, int y) const override;
    void text_out(int x, int y, const std::string& text) override;
    int text_width(const std::string& text) const override;
    int text_height(const std::string& text) const override;

    std::vector<std::string> font_families() const override;
    std::string resolved_family(const std::string& face) const override;
    int pixels_per_inch() const override;

  private:
    QPainter& painter();
    void thin_line(int x0, int y0, int x1, int y1);
    void wide_line(int x0, int y0, int x1, int y1);
    void put(int x, int y, uint32_t rgb);
    uint32_t* row(int y);

    QImage& image_;
    std::unique_ptr<QPainter> painter_;
    struct Surface {
        uchar* bits = nullptr;
        qsizetype bytes_per_line = 0;
        int width = 0;
        int height = 0;
    };
    const Surface& surface();
    Surface surface_;

    vistrel::Colour pen_colour_ = 0;
    vistrel::PenStyle pen_style_ = vistrel::PenStyle::Solid;
    int pen_width_ = 1;
    vistrel::PenMode pen_mode_ = vistrel::PenMode::Copy;
    vistrel::Colour brush_colour_ = 0xFFFFFF;
    vistrel::BrushStyle brush_style_ = vistrel::BrushStyle::Solid;
    CanvasFont font_;
    vistrel::Colour font_colour_ = 0;
    vistrel::Point pen_pos_;
};

// A paint box drawn offscreen: a white image of the given size, its canvas and a paint handler.
// The window's paint-box widget owns one and shows image().
class ImagePaintBox final : public vistrel::PaintBox {
  public:
    ImagePaintBox(int width, int height);
    ~ImagePaintBox() override;

    void set_paint_handler(std::function<void()> handler);
    // New size; the picture is cleared to white.
    void resize(int width, int height);
    // The picture as drawn so far (shares the canvas's memory: copy() it to keep a snapshot).
    const QImage& image() const { return image_; }
    QtCanvas& qt_canvas() { return *canvas_; }

    int width() const override { return image_.width(); }
    int height() const override { return image_.height(); }
    vistrel::Canvas& canvas() override { return *canvas_; }
    void repaint() override;
    void copy_to_clipboard() override;

  private:
    QImage image_;
    std::unique_ptr<QtCanvas> canvas_;
    std::function<void()> handler_;
};

}  // namespace app
