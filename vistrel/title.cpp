// The graph title: bold, 1.2 times the plot font, centred on the middle of the horizontal axis
// as DrawXAxis left it in the graph's slot.
#include "vistrel/title.h"

#include "vistrel/metafile.h"
#include "vistrel/state.h"

namespace vistrel {

void DrawGraphTitle(Colour colour, const std::string& text) {
    if (!plot.GraphValid || plot.PlotCanvas == nullptr)
        return;
    Canvas& canvas = *plot.PlotCanvas;
    SetPlotFont(static_cast<float>(1.2L * plot.FontScale));
    canvas.set_font_colour(colour);
    canvas.set_font_style(FontStyle{.bold = true});
    canvas.set_brush_style(BrushStyle::Clear);

    const GraphSlot& slot = CurrentSlot();
    const int32_t centre = slot.XAxisOrigin + slot.XAxisLength / 2;
    // CharHeight measures the title font here.
    const int32_t y = plot.PlotBottom - plot.PlotHeight - plot.CharHeight - plot.CharHeight / 2;
    canvas.text_out(centre - canvas.text_width(text) / 2, y, text);
    if (plot.MetafileRecording) {
        SyncMetaFont();
        EmitSetTextAlign(MetaAlignCentre);
        EmitTextOut(centre, y, text);
    }

    SetPlotFont(plot.FontScale);
    canvas.set_font_style(FontStyle{});
}

}  // namespace vistrel
