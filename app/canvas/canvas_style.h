// What the screen's canvas and the vector canvas share, so that both lay a picture out alike:
// the canvas font with its measuring, the colours in Qt's terms and the pens' dash runs.
#pragma once

#include <QColor>
#include <QFont>
#include <QFontMetrics>
#include <QString>
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "vistrel/canvas.h"

namespace app {

// 0x00BBGGRR (system colours resolved) as Qt's 0xAARRGGBB, opaque.
uint32_t ToQRgb(vistrel::Colour c);
vistrel::Colour FromQRgb(uint32_t q);
QColor ToQColor(vistrel::Colour c);

// A rectangle's corners put in order, as both canvases take them; false when it covers no
// pixel (less than one wide or high), and nothing is drawn.
bool Ordered_rectangle(int& left, int& top, int& right, int& bottom);

// On/off run lengths, in pixels, of a one-pixel line in a broken pen style (empty for the solid
// and clear styles). Every line starts the pattern afresh.
std::span<const int> DashRuns(vistrel::PenStyle style);

// The canvas font: face, size and style, sized in pixels from the screen's logical DPI (or an
// override), with the measures the plotting unit places its labels by.
class CanvasFont {
  public:
    void set_name(const std::string& face);
    const std::string& name() const { return name_; }
    void set_size(int points);
    int size() const { return size_; }
    void set_style(vistrel::FontStyle s);
    vistrel::FontStyle style() const { return style_; }
    // 0 goes back to the screen's logical DPI.
    void set_pixels_per_inch(int ppi);
    int pixels_per_inch() const;
    // Minus the character height in pixels, -Round(size * ppi / 72).
    int height() const;

    // The Qt font and its metrics, made once per change: the axes measure and write dozens of
    // labels per picture in one font.
    const QFont& qfont() const;
    const QFontMetrics& metrics() const;
    // Widths of Windows-1252 texts, kept per font: the axes measure the same few labels at
    // every paint, and shaping them again each time costs more than drawing the grid.
    int text_width(const std::string& text) const;
    // One line: the height of the font's cell.
    int text_height() const;

    static std::vector<std::string> families();
    static std::string resolved_family(const std::string& face);

  private:
    void forget();
    std::string key() const;

    std::string name_ = "MS Sans Serif";
    int size_ = 8;
    vistrel::FontStyle style_;
    int ppi_override_ = 0;
    mutable std::optional<QFont> font_cache_;
    mutable std::optional<QFontMetrics> metrics_cache_;
    mutable std::map<std::pair<std::string, std::string>, int> width_cache_;
};

// The Qt pen style of a canvas pen style, for wide lines (which Qt strokes itself).
Qt::PenStyle QtPenStyle(vistrel::PenStyle style);

// 8-bit Windows-1252 text to Qt's text and back (characters outside the code page become '?').
QString FromWindows1252(const std::string& text);
std::string ToWindows1252(const QString& text);

}  // namespace app
