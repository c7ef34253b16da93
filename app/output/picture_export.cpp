// The picture saved as PNG, SVG or PDF. The picture is drawn into memory first and the file
// written in one go, so a file that cannot be opened is never created or truncated.
#include "app/output/picture_export.h"

#include <QBuffer>
#include <QByteArray>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QSvgGenerator>
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "app/canvas/qt_canvas.h"
#include "app/canvas/vector_canvas.h"
#include "app/picture/display.h"
#include "vistrel/state.h"

namespace app {

namespace {

constexpr const char* kTitle = "HP 54200A scope display";

// Keeps the plotting unit's state across a picture drawn elsewhere: drawing binds the export's
// paint box and opens its graphs, and the window's paint box, its graphs and the metafile
// recording (which the export must not feed) come back afterwards.
class PlotStateKept {
  public:
    PlotStateKept() : saved_(vistrel::plot) { vistrel::plot.MetafileRecording = false; }
    ~PlotStateKept() { vistrel::plot = saved_; }
    PlotStateKept(const PlotStateKept&) = delete;
    PlotStateKept& operator=(const PlotStateKept&) = delete;

  private:
    const vistrel::Plot saved_;
};

using Draw = std::function<void(vistrel::PaintBox&)>;

QByteArray Png_picture(int width, int height, const Draw& draw) {
    ImagePaintBox box(width, height);
    box.set_paint_handler([&box, &draw] { draw(box); });
    box.repaint();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    box.image().save(&buffer, "PNG");
    return bytes;
}

// Draws the picture with a painter on a vector device.
void Draw_vector(QPainter& painter, int width, int height, const Draw& draw) {
    VectorPaintBox box(painter, width, height);
    box.set_paint_handler([&box, &draw] { draw(box); });
    box.repaint();
}

QByteArray Svg_picture(int width, int height, const Draw& draw) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QSvgGenerator svg;
    svg.setOutputDevice(&buffer);
    svg.setSize(QSize(width, height));
    svg.setViewBox(QRect(0, 0, width, height));
    svg.setResolution(72);  // one point per pixel
    svg.setTitle(kTitle);
    QPainter painter;
    if (!painter.begin(&svg))
        return {};
    Draw_vector(painter, width, height, draw);
    painter.end();
    // The generator gives the size in millimetres, rounded to six digits (a thousandth of a
    // point too large or small, one pixel more for a renderer that rounds up): say it in points.
    const qsizetype svg_at = bytes.indexOf("<svg ");
    const qsizetype size_at = bytes.indexOf("width=\"", svg_at);
    const qsizetype size_end = bytes.indexOf("\n", size_at);
    if (svg_at >= 0 && size_at > svg_at && size_end > size_at) {
        bytes.replace(
            size_at, size_end - size_at,
            QStringLiteral("width=\"%1pt\" height=\"%2pt\"").arg(width).arg(height).toUtf8());
    }
    return bytes;
}

QByteArray Pdf_picture(int width, int height, const Draw& draw) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QPdfWriter pdf(&buffer);
    pdf.setResolution(72);  // one point per pixel
    pdf.setTitle(kTitle);
    pdf.setCreator("hp54200a");
    pdf.setPageLayout(QPageLayout(
        QPageSize(QSizeF(width, height), QPageSize::Point, QString(), QPageSize::ExactMatch),
        QPageLayout::Portrait, QMarginsF(0, 0, 0, 0)));
    QPainter painter;
    if (!painter.begin(&pdf))
        return {};
    Draw_vector(painter, width, height, draw);
    painter.end();
    return bytes;
}

// Writes bytes as the whole file; "" or the system's reason.
std::string Write_file(const std::string& path, const QByteArray& bytes) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr)
        return std::strerror(errno);
    const size_t size = static_cast<size_t>(bytes.size());
    std::string reason;
    if (std::fwrite(bytes.constData(), 1, size, file) != size)
        reason = std::strerror(errno);
    if (std::fclose(file) != 0 && reason.empty())
        reason = std::strerror(errno);
    return reason;
}

}  // namespace

std::optional<PictureFormat> Picture_format_of(const std::string& path) {
    const size_t dot = path.find_last_of("./");
    if (dot == std::string::npos || path[dot] != '.')
        return std::nullopt;
    std::string extension = path.substr(dot + 1);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (extension == "png")
        return PictureFormat::Png;
    if (extension == "svg")
        return PictureFormat::Svg;
    if (extension == "pdf")
        return PictureFormat::Pdf;
    return std::nullopt;
}

QByteArray Picture_bytes(PictureFormat format, int width, int height, const Draw& draw) {
    switch (format) {
        case PictureFormat::Png:
            return Png_picture(width, height, draw);
        case PictureFormat::Svg:
            return Svg_picture(width, height, draw);
        case PictureFormat::Pdf:
            return Pdf_picture(width, height, draw);
    }
    return {};
}

std::string Save_picture(PictureFormat format, const std::string& path, int width, int height) {
    if (width < 1 || height < 1)
        return "The picture needs a width and a height of at least one pixel";
    QByteArray bytes;
    {
        const PlotStateKept kept;
        bytes = Picture_bytes(format, width, height, Display_graph);
    }
    if (bytes.isEmpty())
        return "The picture could not be drawn";
    return Write_file(path, bytes);
}

}  // namespace app
