// Reference traces. A reference is drawn with the plotting unit's own clipped path (a live curve
// is drawn unclipped), with a one-pixel pen: a wider dashed pen is drawn solid by the metafile's
// readers. The first reference of a graph is dashed, the second dash-dotted.
#include "app/picture/references.h"

#include <algorithm>
#include <cmath>

#include "app/picture/display.h"
#include "dsp/fft.h"
#include "vistrel/curves.h"
#include "vistrel/metafile.h"
#include "vistrel/scaling.h"
#include "vistrel/state.h"

namespace app {

ReferenceState References;

namespace {

std::vector<Reference>& Of(ReferenceGraph graph) {
    return References.graphs[static_cast<std::size_t>(graph)];
}

// The pen of the n-th reference (0 or 1).
void Set_reference_pen(vistrel::Colour colour, std::size_t n) {
    vistrel::Canvas& canvas = *vistrel::plot.PlotCanvas;
    canvas.set_pen_width(1);
    canvas.set_pen_colour(Lighter(colour));
    canvas.set_pen_style(n == 0 ? vistrel::PenStyle::Dash : vistrel::PenStyle::DashDot);
}

// Pixels of curve drawn, then left out.
struct Dashes {
    int on;
    int off;
};

float Single(long double v) {
    return static_cast<float>(v);
}

}  // namespace

vistrel::Colour Reference_colour(ReferenceGraph graph) {
    switch (graph) {
        case ReferenceGraph::Ch2Waveform:
            return kGreen;
        case ReferenceGraph::Ch1Spectrum:
            return kBlue;
        case ReferenceGraph::Ch2Spectrum:
            return kPurple;
        default:
            return kRed;
    }
}

bool Is_spectrum_graph(ReferenceGraph graph) {
    return graph == ReferenceGraph::Ch1Spectrum || graph == ReferenceGraph::Ch2Spectrum;
}

std::string Reference_graph_text(ReferenceGraph graph) {
    switch (graph) {
        case ReferenceGraph::Ch1Waveform:
            return "channel 1's waveform";
        case ReferenceGraph::Ch2Waveform:
            return "channel 2's waveform";
        case ReferenceGraph::Ch1Spectrum:
            return "channel 1's spectrum";
        case ReferenceGraph::Ch2Spectrum:
            return "channel 2's spectrum";
        case ReferenceGraph::Sum:
            return "the sum Ch 1 + Ch 2";
        case ReferenceGraph::Difference:
            return "the difference Ch 1 - Ch 2";
    }
    return {};
}

std::string Add_reference(ReferenceGraph graph, Reference reference) {
    std::vector<Reference>& list = Of(graph);
    if (list.size() >= static_cast<std::size_t>(kMaxReferencesPerGraph))
        return Reference_graph_text(graph) + " already has two references: clear them first";
    list.push_back(std::move(reference));
    return {};
}

void Clear_references() {
    for (auto& list : References.graphs) list.clear();
}

int Reference_count() {
    std::size_t n = 0;
    for (const auto& list : References.graphs) n += list.size();
    return static_cast<int>(n);
}

vistrel::Colour Lighter(vistrel::Colour colour) {
    vistrel::Colour out = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
        const vistrel::Colour c = (colour >> shift) & 0xFFu;
        out |= ((c + 0xFFu + 1) / 2) << shift;
    }
    return out;
}

void Draw_references(ReferenceGraph graph, long double time_scale) {
    const vistrel::Colour colour = Reference_colour(graph);
    vistrel::Plot& plot = vistrel::plot;
    const std::vector<Reference>& list = Of(graph);
    if (list.empty() || plot.PlotCanvas == nullptr)
        return;
    const bool unclipped = plot.DrawUnclipped;
    plot.DrawUnclipped = false;
    for (std::size_t n = 0; n < list.size(); ++n) {
        const Reference& r = list[n];
        Set_reference_pen(colour, n);
        const std::size_t rows = std::min(r.x.size(), r.y.size());
        if (Is_spectrum_graph(graph)) {
            // As the live spectrum: one line per drawn bin, from the axis up to its amplitude.
            const std::size_t lines = std::min<std::size_t>(
                rows, static_cast<std::size_t>(std::max(0, dsp::Spectrum_lines)));
            for (std::size_t i = 0; i < lines; ++i) {
                vistrel::PlotMoveTo(Single(r.x[i]), 0.0f);
                vistrel::PlotLineTo(Single(r.x[i]), Single(r.y[i]));
            }
        } else if (rows >= 2) {
            // As the live curve, from the first sample to the last but one, segment by segment:
            // a run of segments drawn, then a run left out. A canvas (and a metafile reader)
            // starts its dash pattern afresh at every line, so a curve of short segments would
            // show solid however its pen is styled.
            const Dashes dashes = n == 0 ? Dashes{10, 6} : Dashes{4, 4};
            float x = Single(r.x[0] * time_scale);
            float y = Single(r.y[0]);
            vistrel::PlotMoveTo(x, y);
            bool drawing = true;
            long double run = 0;
            for (std::size_t j = 1; j + 1 < rows; ++j) {
                const float next_x = Single(r.x[j] * time_scale);
                const float next_y = Single(r.y[j]);
                if (drawing)
                    vistrel::PlotLineTo(next_x, next_y);
                else
                    vistrel::PlotMoveTo(next_x, next_y);
                run += std::hypot(
                    static_cast<long double>(vistrel::XToPixel(next_x)) - vistrel::XToPixel(x),
                    static_cast<long double>(vistrel::YToPixel(next_y)) - vistrel::YToPixel(y));
                if (run >= (drawing ? dashes.on : dashes.off)) {
                    drawing = !drawing;
                    run = 0;
                }
                x = next_x;
                y = next_y;
            }
        }
        vistrel::FinishPlot();
    }
    plot.PlotCanvas->set_pen_style(vistrel::PenStyle::Solid);
    plot.DrawUnclipped = unclipped;
}

void Draw_reference_names(std::initializer_list<ReferenceGraph> graphs) {
    vistrel::Plot& plot = vistrel::plot;
    if (!plot.GraphValid || plot.PlotCanvas == nullptr)
        return;
    vistrel::Canvas& canvas = *plot.PlotCanvas;
    const vistrel::GraphSlot& slot = vistrel::CurrentSlot();
    const int32_t centre = slot.XAxisOrigin + slot.XAxisLength / 2;
    int32_t y = plot.PlotBottom - plot.PlotHeight + 2;
    for (const ReferenceGraph graph : graphs) {
        for (const Reference& r : Of(graph)) {
            const std::string text = "ref: " + r.name;
            canvas.set_font_colour(Reference_colour(graph));
            canvas.set_brush_style(vistrel::BrushStyle::Clear);
            canvas.text_out(centre - canvas.text_width(text) / 2, y, text);
            if (plot.MetafileRecording) {
                vistrel::SyncMetaFont();
                vistrel::EmitSetTextAlign(vistrel::MetaAlignCentre);
                vistrel::EmitTextOut(centre, y, text);
            }
            y += plot.CharHeight;
        }
    }
}

}  // namespace app
