// The drawing surface the plotting unit draws on: a canvas with pen, brush and font, and the
// paint box that owns it. The unit never sees the toolkit; the program supplies a QPainter-backed
// canvas, tests a recording one.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace vistrel {

// 0x00BBGGRR. A value with the top byte 0xFF is a system colour whose low byte is the
// system-colour index (the window background, the window text ...); ColourToRGB resolves it.
using Colour = uint32_t;

inline constexpr Colour kSystemColourFlag = 0xFF000000u;

// Resolves a system colour to its RGB value (the classic desktop defaults); plain RGB colours
// come back unchanged, with the top byte cleared.
inline Colour ColourToRGB(Colour c) {
    if ((c & kSystemColourFlag) != kSystemColourFlag)
        return c & 0x00FFFFFFu;
    static constexpr std::array<Colour, 31> defaults = {
        0xC8C8C8, 0x000000, 0xD1B499, 0xDBCDBF, 0xF0F0F0, 0xFFFFFF, 0x646464, 0x000000,
        0x000000, 0x000000, 0xB4B4B4, 0xFCF7F4, 0xABABAB, 0xD77800, 0xFFFFFF, 0xF0F0F0,
        0xA0A0A0, 0x6D6D6D, 0x000000, 0x000000, 0xFFFFFF, 0x696969, 0xE3E3E3, 0x000000,
        0xE1FFFF, 0x000000, 0xCC6600, 0xEAD1B9, 0xF2E4D7, 0xFF9933, 0xF0F0F0};
    const unsigned index = c & 0xFFu;
    return index < defaults.size() ? defaults[index] : 0;
}

// The ordinals are those of the platform's pens, which the metafile writes as they are.
enum class PenStyle : uint16_t {
    Solid = 0,
    Dash = 1,
    Dot = 2,
    DashDot = 3,
    DashDotDot = 4,
    Clear = 5
};
enum class PenMode : uint16_t { Copy = 0, Xor = 1, NotXor = 2, Not = 3 };
enum class BrushStyle : uint16_t { Solid = 0, Clear = 1 };

struct FontStyle {
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strike_out = false;
    bool operator==(const FontStyle&) const = default;
};

struct Point {
    int x = 0;
    int y = 0;
    bool operator==(const Point&) const = default;
};

// Pixel rules, as on the platform canvas the unit was designed for: line_to paints from the pen
// position up to but not including the end point and leaves the pen there; rectangle(l, t, r, b)
// covers columns l..r-1 and rows t..b-1, framed with the pen and filled with the brush; text_out
// puts the top-left corner of the text cell at (x, y), over a brush-coloured box when the brush
// is solid.
class Canvas {
  public:
    virtual ~Canvas() = default;

    virtual void set_pen_colour(Colour c) = 0;
    virtual Colour pen_colour() const = 0;
    virtual void set_pen_style(PenStyle s) = 0;
    virtual PenStyle pen_style() const = 0;
    virtual void set_pen_width(int w) = 0;
    virtual int pen_width() const = 0;
    virtual void set_pen_mode(PenMode m) = 0;
    virtual PenMode pen_mode() const = 0;

    virtual void set_brush_colour(Colour c) = 0;
    virtual Colour brush_colour() const = 0;
    virtual void set_brush_style(BrushStyle s) = 0;
    virtual BrushStyle brush_style() const = 0;

    virtual void set_font_name(const std::string& face) = 0;
    virtual std::string font_name() const = 0;
    virtual void set_font_size(int points) = 0;
    virtual int font_size() const = 0;
    virtual void set_font_style(FontStyle s) = 0;
    virtual FontStyle font_style() const = 0;
    virtual void set_font_colour(Colour c) = 0;
    virtual Colour font_colour() const = 0;
    // The font's height value: minus the character height in pixels, -Round(size * ppi / 72).
    virtual int font_height() const = 0;

    virtual void move_to(int x, int y) = 0;
    virtual void line_to(int x, int y) = 0;
    virtual Point pen_pos() const = 0;
    virtual void rectangle(int left, int top, int right, int bottom) = 0;
    virtual void set_pixel(int x, int y, Colour c) = 0;
    virtual Colour pixel(int x, int y) const = 0;
    // Texts are 8-bit strings in the Windows-1252 code page.
    virtual void text_out(int x, int y, const std::string& text) = 0;
    virtual int text_width(const std::string& text) const = 0;
    virtual int text_height(const std::string& text) const = 0;

    // The installed screen font families, and the family the platform actually uses when asked
    // for a face (a metric-compatible substitute, or the face itself).
    virtual std::vector<std::string> font_families() const = 0;
    virtual std::string resolved_family(const std::string& face) const = 0;
    virtual int pixels_per_inch() const = 0;
};

// The control being drawn on.
class PaintBox {
  public:
    virtual ~PaintBox() = default;
    virtual int width() const = 0;
    virtual int height() const = 0;
    virtual Canvas& canvas() = 0;
    // Runs the paint handler at once and returns when the picture is complete.
    virtual void repaint() = 0;
    // Puts a bitmap of exactly the box's size, showing what the box shows now, on the clipboard.
    virtual void copy_to_clipboard() = 0;
};

}  // namespace vistrel
