// The canvas font and its measuring, the colours and the dash runs of both canvases.
#include "app/canvas/canvas_style.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QGuiApplication>
#include <QScreen>
#include <algorithm>
#include <array>
#include <cmath>

namespace app {

namespace {

// Windows-1252 characters 0x80..0x9F (0 where the code page has none).
constexpr std::array<char16_t, 32> kHighControls = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

}  // namespace

uint32_t ToQRgb(vistrel::Colour c) {
    const vistrel::Colour rgb = vistrel::ColourToRGB(c);
    return 0xFF000000u | ((rgb & 0xFFu) << 16) | (rgb & 0xFF00u) | ((rgb >> 16) & 0xFFu);
}

vistrel::Colour FromQRgb(uint32_t q) {
    return ((q >> 16) & 0xFFu) | (q & 0xFF00u) | ((q & 0xFFu) << 16);
}

QColor ToQColor(vistrel::Colour c) {
    return QColor::fromRgb(ToQRgb(c));
}

bool Ordered_rectangle(int& left, int& top, int& right, int& bottom) {
    if (left > right)
        std::swap(left, right);
    if (top > bottom)
        std::swap(top, bottom);
    return right - left >= 1 && bottom - top >= 1;
}

std::span<const int> DashRuns(vistrel::PenStyle style) {
    static constexpr std::array<int, 2> dash{18, 6};
    static constexpr std::array<int, 2> dot{3, 3};
    static constexpr std::array<int, 4> dash_dot{9, 6, 3, 6};
    static constexpr std::array<int, 6> dash_dot_dot{9, 3, 3, 3, 3, 3};
    switch (style) {
        case vistrel::PenStyle::Dash:
            return dash;
        case vistrel::PenStyle::Dot:
            return dot;
        case vistrel::PenStyle::DashDot:
            return dash_dot;
        case vistrel::PenStyle::DashDotDot:
            return dash_dot_dot;
        default:
            return {};
    }
}

Qt::PenStyle QtPenStyle(vistrel::PenStyle style) {
    switch (style) {
        case vistrel::PenStyle::Dash:
            return Qt::DashLine;
        case vistrel::PenStyle::Dot:
            return Qt::DotLine;
        case vistrel::PenStyle::DashDot:
            return Qt::DashDotLine;
        case vistrel::PenStyle::DashDotDot:
            return Qt::DashDotDotLine;
        case vistrel::PenStyle::Clear:
            return Qt::NoPen;
        default:
            return Qt::SolidLine;
    }
}

QString FromWindows1252(const std::string& text) {
    QString out;
    out.reserve(static_cast<qsizetype>(text.size()));
    for (const char ch : text) {
        const auto b = static_cast<unsigned char>(ch);
        const char16_t u = b >= 0x80 && b <= 0x9F ? kHighControls[b - 0x80] : char16_t{b};
        out.append(QChar(u == 0 ? char16_t{'?'} : u));
    }
    return out;
}

std::string ToWindows1252(const QString& text) {
    std::string out;
    out.reserve(static_cast<size_t>(text.size()));
    for (const QChar qc : text) {
        const char16_t u = qc.unicode();
        char b = '?';
        if (u < 0x80 || (u >= 0xA0 && u <= 0xFF)) {
            b = static_cast<char>(u);
        } else {
            const auto it = std::find(kHighControls.begin(), kHighControls.end(), u);
            if (it != kHighControls.end())
                b = static_cast<char>(0x80 + (it - kHighControls.begin()));
        }
        out.push_back(b);
    }
    return out;
}

void CanvasFont::set_name(const std::string& face) {
    name_ = face;
    forget();
}

void CanvasFont::set_size(int points) {
    size_ = points;
    forget();
}

void CanvasFont::set_style(vistrel::FontStyle s) {
    style_ = s;
    forget();
}

void CanvasFont::set_pixels_per_inch(int ppi) {
    ppi_override_ = std::max(ppi, 0);
    forget();
}

int CanvasFont::pixels_per_inch() const {
    if (ppi_override_ > 0)
        return ppi_override_;
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr)
        return 96;
    return std::max(1, static_cast<int>(std::nearbyint(screen->logicalDotsPerInch())));
}

int CanvasFont::height() const {
    return -static_cast<int>(std::nearbyint(size_ * static_cast<double>(pixels_per_inch()) / 72.0));
}

const QFont& CanvasFont::qfont() const {
    if (font_cache_)
        return *font_cache_;
    QFont& font = font_cache_.emplace(FromWindows1252(name_));
    // Sized in pixels from our own DPI, so that metrics do not depend on the device's resolution.
    font.setPixelSize(std::max(1, -height()));
    font.setBold(style_.bold);
    font.setItalic(style_.italic);
    font.setUnderline(style_.underline);
    font.setStrikeOut(style_.strike_out);
    return font;
}

const QFontMetrics& CanvasFont::metrics() const {
    if (!metrics_cache_)
        metrics_cache_.emplace(qfont());
    return *metrics_cache_;
}

void CanvasFont::forget() {
    font_cache_.reset();
    metrics_cache_.reset();
}

int CanvasFont::text_width(const std::string& text) const {
    const auto key = std::make_pair(this->key(), text);
    if (const auto found = width_cache_.find(key); found != width_cache_.end())
        return found->second;
    if (width_cache_.size() >= 4096)
        width_cache_.clear();
    const int width = metrics().horizontalAdvance(FromWindows1252(text));
    width_cache_.emplace(key, width);
    return width;
}

std::string CanvasFont::key() const {
    return name_ + '/' + std::to_string(size_) + '/' + std::to_string(pixels_per_inch()) + '/' +
           char('0' + style_.bold) + char('0' + style_.italic) + char('0' + style_.underline) +
           char('0' + style_.strike_out);
}

int CanvasFont::text_height() const {
    return metrics().height();
}

std::vector<std::string> CanvasFont::families() {
    std::vector<std::string> out;
    for (const QString& family : QFontDatabase::families()) out.push_back(ToWindows1252(family));
    return out;
}

std::string CanvasFont::resolved_family(const std::string& face) {
    return ToWindows1252(QFontInfo(QFont(FromWindows1252(face))).family());
}

}  // namespace app
