// The picture on the plot surface saved as a file: PNG from the screen's own canvas, pixel for
// pixel; SVG and PDF from the vector canvas, with lines as lines and texts as texts, one point
// per pixel. Either way the plotting unit draws the picture itself, as the paint handler does.
#pragma once

#include <QByteArray>
#include <functional>
#include <optional>
#include <string>

#include "vistrel/canvas.h"

namespace app {

enum class PictureFormat { Png, Svg, Pdf };

// The format named by a file's extension (".png", ".svg", ".pdf", case-insensitive), if any.
std::optional<PictureFormat> Picture_format_of(const std::string& path);

// Draws the current picture (Display_graph, the current records and display flags) at
// width x height pixels into `path`. Returns "" on success, else the reason (the system's, for a
// file that cannot be written: e.g. "Permission denied"). Never shows a box. The plotting unit's
// state, the window's paint box bound in it included, is as it was before.
std::string Save_picture(PictureFormat format, const std::string& path, int width, int height);

// The file's bytes for a picture that `draw` makes on a paint box of width x height pixels:
// the screen's raster paint box for PNG, a vector one for SVG and PDF. Empty if it fails.
QByteArray Picture_bytes(PictureFormat format, int width, int height,
                         const std::function<void(vistrel::PaintBox&)>& draw);

}  // namespace app
