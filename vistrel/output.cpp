// Metafile and clipboard output of the plotting unit: the recording repaint, the check of the
// written file and the operator's messages.
#include "vistrel/output.h"

#include "platform/platform.h"
#include "vistrel/metafile.h"
#include "vistrel/state.h"

namespace vistrel {

namespace {

const char* const FileErrorCaption = "File Error";

void ReportFileError(const std::string& text, bool showMessages) {
    platform::current().beep();
    if (showMessages)
        platform::current().message_box(platform::BoxKind::Error, FileErrorCaption, text);
}

}  // namespace

void StartMetafileRecording(std::string& fileName, bool& ok) {
    if (fileName.empty())
        fileName = DefaultMetafileName;
    OpenMetafile(fileName, ok);
    plot.MetafileRecording = ok;
}

void StopMetafileRecording(bool& ok) {
    int width = 0;
    int height = 0;
    int pixelsPerInch = 0;
    if (plot.PlotPaintBox != nullptr) {
        width = plot.PlotPaintBox->width();
        height = plot.PlotPaintBox->height();
        pixelsPerInch = plot.PlotPaintBox->canvas().pixels_per_inch();
    }
    CloseMetafile(width, height, pixelsPerInch, ok);
    plot.MetafileRecording = false;
}

void SavePlotAsMetafile(std::string fileName, bool showMessages, bool& ok) {
    StartMetafileRecording(fileName, ok);
    if (!ok) {
        ReportFileError("Error opening metafile " + fileName, showMessages);
        return;
    }
    // The paint handler draws the whole picture again through the unit; with recording on,
    // InitPlotSurface writes the prologue and every drawing operation its records. Before the
    // first picture no paint box is bound, and the file holds the headers alone.
    if (plot.PlotPaintBox != nullptr)
        plot.PlotPaintBox->repaint();
    StopMetafileRecording(ok);
    if (ok) {
        if (showMessages) {
            platform::current().message_box(platform::BoxKind::Plain, "",
                                            "OK: metafile " + fileName + " created.");
        }
    } else {
        ReportFileError("Error writing metafile " + fileName, showMessages);
    }
}

void CopyPlotToClipboard() {
    if (plot.PlotPaintBox != nullptr)
        plot.PlotPaintBox->copy_to_clipboard();
}

}  // namespace vistrel
