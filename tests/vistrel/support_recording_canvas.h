// A canvas and paint box for the plotting unit's tests: every call is written down with its
// arguments, the state behaves like a real canvas, and text is measured with fixed metrics so
// that geometry can be checked to the pixel.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "vistrel/canvas.h"

namespace testing_support {

class RecordingCanvas final : public vistrel::Canvas {
  public:
    // One line per call, e.g. "line_to 40 360", "pen_colour 0x0000ff", "text_out 10 20 |0.5|".
    // Queries (getters, text measuring) are not written down.
    std::vector<std::string> calls;

    struct Segment {
        vistrel::Point from;
        vistrel::Point to;
        vistrel::Colour colour;
        int width;
        vistrel::PenStyle style;
    };
    std::vector<Segment> segments;  // every line_to, from the pen position before it
    struct Text {
        int x;
        int y;
        std::string text;
        vistrel::Colour colour;
        vistrel::FontStyle style;
        std::string face;
        int size;
    };
    std::vector<Text> texts;
    // Pixels set through set_pixel, by (x, y); a later set overwrites.
    std::map<std::pair<int, int>, vistrel::Colour> pixels;

    // Text metrics: every character is char_width wide and char_height high, unless the font's
    // point size has its own entry in metrics_by_size (width, height per character).
    int char_width = 7;
    int char_height = 13;
    std::map<int, std::pair<int, int>> metrics_by_size;

    std::vector<std::string> families = {"Arial", "Courier New", "Times New Roman"};
    // Face -> family the platform would use; a face without an entry resolves to itself.
    std::map<std::string, std::string> substitutes;
    int ppi = 96;

    // Forgets what was recorded; the canvas state stays.
    void clear_record();
    // The calls whose text starts with prefix ("line_to", "set_pixel 40 ").
    std::vector<std::string> calls_starting(const std::string& prefix) const;

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
    std::string font_name() const override { return font_name_; }
    void set_font_size(int points) override;
    int font_size() const override { return font_size_; }
    void set_font_style(vistrel::FontStyle s) override;
    vistrel::FontStyle font_style() const override { return font_style_; }
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

    std::vector<std::string> font_families() const override { return families; }
    std::string resolved_family(const std::string& face) const override;
    int pixels_per_inch() const override { return ppi; }

  private:
    std::pair<int, int> metrics() const;

    vistrel::Colour pen_colour_ = 0;
    vistrel::PenStyle pen_style_ = vistrel::PenStyle::Solid;
    int pen_width_ = 1;
    vistrel::PenMode pen_mode_ = vistrel::PenMode::Copy;
    vistrel::Colour brush_colour_ = 0xFFFFFF;
    vistrel::BrushStyle brush_style_ = vistrel::BrushStyle::Solid;
    std::string font_name_ = "MS Sans Serif";
    int font_size_ = 8;
    vistrel::FontStyle font_style_;
    vistrel::Colour font_colour_ = 0;
    vistrel::Point pen_pos_;
};

class RecordingPaintBox final : public vistrel::PaintBox {
  public:
    RecordingPaintBox(int w = 600, int h = 400) : w_(w), h_(h) {}
    RecordingCanvas surface;
    std::function<void()> on_paint;  // the paint handler that repaint() runs
    int repaints = 0;
    int clipboard_copies = 0;

    int width() const override { return w_; }
    int height() const override { return h_; }
    vistrel::Canvas& canvas() override { return surface; }
    void repaint() override;
    void copy_to_clipboard() override { ++clipboard_copies; }

  private:
    int w_;
    int h_;
};

// The tests that draw on images or ask the font database need one QGuiApplication; this makes
// it on first use and keeps it for the rest of the run.
void EnsureGuiApplication();

}  // namespace testing_support
