// The recording canvas and paint box of the plotting unit's tests.
#include "support_recording_canvas.h"

#include <cmath>
#include <cstdio>

namespace testing_support {

namespace {

std::string hex(vistrel::Colour c) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%06x", static_cast<unsigned>(c));
    return buf;
}

std::string join(const std::string& op, std::initializer_list<int> args) {
    std::string s = op;
    for (int a : args) s += " " + std::to_string(a);
    return s;
}

}  // namespace

void RecordingCanvas::clear_record() {
    calls.clear();
    segments.clear();
    texts.clear();
    pixels.clear();
}

std::vector<std::string> RecordingCanvas::calls_starting(const std::string& prefix) const {
    std::vector<std::string> out;
    for (const auto& c : calls) {
        if (c.rfind(prefix, 0) == 0)
            out.push_back(c);
    }
    return out;
}

void RecordingCanvas::set_pen_colour(vistrel::Colour c) {
    pen_colour_ = c;
    calls.push_back("pen_colour " + hex(c));
}
void RecordingCanvas::set_pen_style(vistrel::PenStyle s) {
    pen_style_ = s;
    calls.push_back(join("pen_style", {static_cast<int>(s)}));
}
void RecordingCanvas::set_pen_width(int w) {
    pen_width_ = w;
    calls.push_back(join("pen_width", {w}));
}
void RecordingCanvas::set_pen_mode(vistrel::PenMode m) {
    pen_mode_ = m;
    calls.push_back(join("pen_mode", {static_cast<int>(m)}));
}
void RecordingCanvas::set_brush_colour(vistrel::Colour c) {
    brush_colour_ = c;
    calls.push_back("brush_colour " + hex(c));
}
void RecordingCanvas::set_brush_style(vistrel::BrushStyle s) {
    brush_style_ = s;
    calls.push_back(join("brush_style", {static_cast<int>(s)}));
}
void RecordingCanvas::set_font_name(const std::string& face) {
    font_name_ = face;
    calls.push_back("font_name " + face);
}
void RecordingCanvas::set_font_size(int points) {
    font_size_ = points;
    calls.push_back(join("font_size", {points}));
}
void RecordingCanvas::set_font_style(vistrel::FontStyle s) {
    font_style_ = s;
    calls.push_back(join("font_style", {s.bold, s.italic, s.underline, s.strike_out}));
}
void RecordingCanvas::set_font_colour(vistrel::Colour c) {
    font_colour_ = c;
    calls.push_back("font_colour " + hex(c));
}

int RecordingCanvas::font_height() const {
    // The same rule as the screen canvas: minus the em height in pixels, rounded half to even.
    const double px = static_cast<double>(font_size_) * ppi / 72.0;
    return -static_cast<int>(std::nearbyint(px));
}

void RecordingCanvas::move_to(int x, int y) {
    pen_pos_ = {x, y};
    calls.push_back(join("move_to", {x, y}));
}

void RecordingCanvas::line_to(int x, int y) {
    segments.push_back({pen_pos_, {x, y}, pen_colour_, pen_width_, pen_style_});
    pen_pos_ = {x, y};
    calls.push_back(join("line_to", {x, y}));
}

void RecordingCanvas::rectangle(int left, int top, int right, int bottom) {
    calls.push_back(join("rectangle", {left, top, right, bottom}));
}

void RecordingCanvas::set_pixel(int x, int y, vistrel::Colour c) {
    pixels[{x, y}] = c;
    calls.push_back(join("set_pixel", {x, y}) + " " + hex(c));
}

vistrel::Colour RecordingCanvas::pixel(int x, int y) const {
    const auto it = pixels.find({x, y});
    return it == pixels.end() ? brush_colour_ : it->second;
}

void RecordingCanvas::text_out(int x, int y, const std::string& text) {
    texts.push_back({x, y, text, font_colour_, font_style_, font_name_, font_size_});
    calls.push_back(join("text_out", {x, y}) + " |" + text + "|");
}

std::pair<int, int> RecordingCanvas::metrics() const {
    const auto it = metrics_by_size.find(font_size_);
    return it == metrics_by_size.end() ? std::pair{char_width, char_height} : it->second;
}

int RecordingCanvas::text_width(const std::string& text) const {
    return static_cast<int>(text.size()) * metrics().first;
}

int RecordingCanvas::text_height(const std::string&) const {
    return metrics().second;
}

std::string RecordingCanvas::resolved_family(const std::string& face) const {
    const auto it = substitutes.find(face);
    return it == substitutes.end() ? face : it->second;
}

void RecordingPaintBox::repaint() {
    ++repaints;
    if (on_paint)
        on_paint();
}

}  // namespace testing_support
