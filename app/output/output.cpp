// The Output Format choice and the Output button. Nothing is acquired for an output: it sends
// what the last acquisitions and repaint left.
#include "app/output/output.h"

#include "app/output/text_export.h"
#include "app/picture/window_state.h"
#include "platform/platform.h"
#include "vistrel/canvas.h"
#include "vistrel/output.h"
#include "vistrel/state.h"

namespace app {

void Get_output_format(int item_index) {
    Window.Output_wmf = item_index == 0;
    Window.Output_clipboard = item_index == 1;
    Window.Output_textfile = item_index == 2;
    Window.Output_format_chosen = true;
}

void Output_currently_active_graphs(vistrel::PaintBox& paint_box) {
    if (!Window.Output_format_chosen) {
        platform::current().message_box(platform::BoxKind::Information, "",
                                        "No output format currently selected");
        return;
    }
    // The picture outputs work on the paint box that the last paint bound.
    if ((Window.Output_wmf || Window.Output_clipboard) && vistrel::plot.PlotPaintBox == nullptr) {
        paint_box.repaint();
    }
    if (Window.Output_wmf) {
        bool ok = false;
        vistrel::SavePlotAsMetafile("", true, ok);
    }
    if (Window.Output_clipboard) {
        vistrel::CopyPlotToClipboard();
        platform::current().message_box(platform::BoxKind::Plain, "", "Graph copied to clipboard");
    }
    if (Window.Output_textfile) {
        Write_data_files();
    }
}

}  // namespace app
