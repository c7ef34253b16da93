// The picture on the plot surface. Every paint starts a fresh drawing and rebuilds every graph
// from the waveform and spectrum records and the display flags; nothing is kept between paints.
#include "app/picture/display.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "app/examine/marks.h"
#include "app/picture/references.h"
#include "app/picture/window_state.h"
#include "dsp/channel_math.h"
#include "dsp/eng_format.h"
#include "dsp/fft.h"
#include "model/waveform.h"
#include "vistrel/axes.h"
#include "vistrel/curves.h"
#include "vistrel/state.h"
#include "vistrel/title.h"

namespace app {
namespace {

// Room left of and under each plot area for the axis labels; curves are drawn unclipped.
constexpr int kLeftMargin = 40;
constexpr int kRightMargin = 0;
constexpr int kTopMargin = 0;
constexpr int kBottomMargin = 40;

// The graph being drawn (its kind's number), -1 outside the paint handler's graphs.
int Current_graph = -1;

// The curves' pen: straight to the plotting unit, or, in a zoomed graph whose curves reach
// beyond its axes, cut to the plot area first.
examine::ClippedPen Zoomed_pen;

void Move_to(float x, float y) {
    if (examine::Draws_clipped(Current_graph)) {
        Zoomed_pen.move_to(x, y);
    } else {
        vistrel::PlotMoveTo(x, y);
    }
}

void Line_to(float x, float y) {
    if (examine::Draws_clipped(Current_graph)) {
        Zoomed_pen.line_to(x, y);
    } else {
        vistrel::PlotLineTo(x, y);
    }
}

// What one waveform graph draws: a channel's record, or the channels' sum or difference drawn
// on channel 1's time axis.
struct WaveformView {
    const model::SampleArray* time;
    const model::SampleArray* volts;
    double x_min;
    double x_max;
    double y_min;
    double y_max;
    double v_min;
    double v_max;
    bool clipped_high;
    bool clipped_low;
};

WaveformView View_of(const model::TWaveformRecord& r) {
    return {&r.time, &r.volts, r.x_min, r.x_max,        r.y_min,
            r.y_max, r.v_min,  r.v_max, r.clipped_high, r.clipped_low};
}

// The scale is an extended value: a time times its scale is evaluated in extended precision and
// rounded once, to the single that the plotting unit takes.
struct TimeUnit {
    const char* caption;
    long double scale;
};

// The unit of the time axis from the end of the record. The limits are held in extended
// precision, so a record ending at the double nearest 1.1 s is already shown in seconds.
TimeUnit Time_unit(double x_max) {
    const long double end = x_max;
    if (end >= 1.1L)
        return {"time (seconds)", 1.0L};
    if (end > 0.0011L)
        return {"time (milliseconds)", 1e3L};
    if (end > 1.1e-6L)
        return {"time (microseconds)", 1e6L};
    return {"time (nanoseconds)", 1e9L};
}

// The sample count shared by both channels, within the record's arrays.
int Points() {
    return std::clamp<int>(model::Preamble.points, 0, model::kMaxPoints);
}

vistrel::Colour Waveform_colour(int channel) {
    return channel == 1 ? kRed : kGreen;
}

void Set_curve_pen(vistrel::Colour colour) {
    vistrel::plot.PlotCanvas->set_pen_width(2);
    vistrel::plot.PlotCanvas->set_pen_colour(colour);
}

struct VoltageRange {
    double bottom;
    double top;
    bool zero_line;
};

// The voltage axis: the data with 5 % to spare, limited to the scope's screen window unless the
// data are clipped, and stretched down (or up) to 0 V when the data lie close enough to it.
VoltageRange Voltage_range(const WaveformView& v) {
    const bool straddles = v.v_min * v.v_max < 0;
    bool include_zero = true;
    if (!straddles) {
        const double span = std::fabs(v.v_max - v.v_min);
        const double nearest = std::min(std::fabs(v.v_min), std::fabs(v.v_max));
        // A flat record has no span: only a flat zero may include zero.
        include_zero = span > 0 ? !(nearest / span > 1.0) : nearest == 0;
    }
    const double top_factor = v.v_max > 0 ? 1.05 : 20.0 / 21.0;
    double top = v.clipped_high ? v.v_max * top_factor : std::min(v.v_max * top_factor, v.y_max);
    const double bottom_factor = v.v_min > 0 ? 20.0 / 21.0 : 1.05;
    double bottom =
        v.clipped_low ? v.v_min * bottom_factor : std::max(v.v_min * bottom_factor, v.y_min);
    if (!straddles && include_zero) {
        if (v.v_min < 0) {
            top = 0;
        } else {
            bottom = 0;
        }
    }
    if (bottom < top) {
        return {bottom, top, straddles || include_zero};
    }
    // An empty range (a flat record at 0 V, or data that miss the screen window) would leave
    // the graph without axes and curve: fall back to the screen window, else a volt either side.
    if (v.y_min < v.y_max) {
        return {v.y_min, v.y_max, true};
    }
    const double level = std::fabs(v.v_max) < 1e30 ? v.v_max : 0.0;
    return {level - 1.0, level + 1.0, true};
}

// The graph's references, for its cursors' readout.
void Note_references(const std::vector<ReferenceGraph>& graphs) {
    for (const ReferenceGraph g : graphs)
        for (const Reference& r : References.graphs[static_cast<std::size_t>(g)])
            examine::Add_reference_curve(Current_graph, "ref: " + r.name, r.x, r.y);
}

void Draw_waveform(const WaveformView& v, vistrel::Colour colour, bool with_axes, const char* name,
                   const std::vector<ReferenceGraph>& references = {}) {
    const int n = Points();
    const TimeUnit unit = Time_unit(v.x_max);
    VoltageRange range{0, 0, false};
    if (with_axes) {
        // A zoomed graph shows its visible range; otherwise these are the record's own.
        const examine::Span x = examine::Visible_x(Current_graph, {v.x_min, v.x_max});
        vistrel::DrawXAxis(kBlack, unit.caption, true, static_cast<float>(x.lo * unit.scale),
                           static_cast<float>(x.hi * unit.scale), 0, 0, false, false);
        range = Voltage_range(v);
        const examine::Span y = examine::Visible_y(Current_graph, {range.bottom, range.top});
        vistrel::DrawYAxis(kBlack, "voltage", 1, static_cast<float>(y.lo), static_cast<float>(y.hi),
                           0, 0, true, false, false);
        examine::Note_axes(Current_graph, false, unit.scale, {v.x_min, v.x_max},
                           {range.bottom, range.top}, 1, std::max(n, 0));
        for (const ReferenceGraph g : references) Draw_references(g, unit.scale);
        Note_references(references);
    }
    if (n < 2) {
        return;
    }
    const model::SampleArray& time = *v.time;
    const model::SampleArray& volts = *v.volts;
    examine::Add_series(Current_graph, v.time, v.volts, colour, name);
    Set_curve_pen(colour);
    // The curve ends at sample N - 1.
    Move_to(static_cast<float>(time[1] * unit.scale), static_cast<float>(volts[1]));
    for (int j = 2; j <= n - 1; ++j) {
        Line_to(static_cast<float>(time[j] * unit.scale), static_cast<float>(volts[j]));
    }
    if (with_axes && range.zero_line) {
        vistrel::plot.PlotCanvas->set_pen_colour(kBlack);
        Move_to(static_cast<float>(time[1] * unit.scale), 0.0f);
        Line_to(static_cast<float>(time[n - 1] * unit.scale), 0.0f);
    }
}

void Define(GraphKind kind, int layout) {
    const GraphPlace p = Place_of(kind, layout);
    Current_graph = static_cast<int>(kind);
    vistrel::DefineGraph(p.left, p.right, p.top, p.bottom, kLeftMargin, kRightMargin, kTopMargin,
                         kBottomMargin, true);
}

// The graph's cursors and readout, then its title (with "zoom" beside it when zoomed).
void Finish_graph(vistrel::Colour colour, const std::string& title) {
    examine::Draw_marks(Current_graph);
    vistrel::DrawGraphTitle(colour, examine::Title(Current_graph, title));
}

// What the picture shows, for the examination: a change of any display group returns every
// graph to its own view and removes its cursors.
std::array<int32_t, examine::kGraphCount> Graph_contents() {
    const WindowState& w = Window;
    const int32_t shown = int32_t{w.Show_ch1_waveform} | int32_t{w.Show_ch2_waveform} << 1 |
                          int32_t{w.Show_ch1_fft} << 2 | int32_t{w.Show_ch2_fft} << 3 |
                          w.Combined_display << 4;
    return {shown, shown, shown, shown};
}

// "Ch 1 and Ch 2": both records get the common window and extremes, so that channel 2's curve
// is drawn on channel 1's axes.
void Unify_channel_ranges() {
    model::TWaveformRecord& a = model::Waveforms[1];
    model::TWaveformRecord& b = model::Waveforms[2];
    const double y_min = std::min(a.y_min, b.y_min);
    const double y_max = std::max(a.y_max, b.y_max);
    const double v_min = std::min(a.v_min, b.v_min);
    const double v_max = std::max(a.v_max, b.v_max);
    for (model::TWaveformRecord* r : {&a, &b}) {
        r->y_min = y_min;
        r->y_max = y_max;
        r->v_min = v_min;
        r->v_max = v_max;
    }
    a.clipped_high = a.v_max > a.y_max;
    a.clipped_low = a.v_min < a.y_min;
}

void Draw_combined_display(int combined) {
    if (combined == 1) {
        Unify_channel_ranges();
        Draw_waveform(View_of(model::Waveforms[1]), kRed, true, "Ch 1",
                      {ReferenceGraph::Ch1Waveform, ReferenceGraph::Ch2Waveform});
        Draw_waveform(View_of(model::Waveforms[2]), kGreen, false, "Ch 2");
        Finish_graph(kRed, "Ch 1 & Ch 2");
        Draw_reference_names({ReferenceGraph::Ch1Waveform, ReferenceGraph::Ch2Waveform});
        return;
    }
    const bool difference = combined == 3;
    const dsp::TCombinedSeries series = dsp::Combine_channels(difference);
    WaveformView view = View_of(model::Waveforms[1]);
    view.volts = &series.values;
    view.v_min = series.v_min;
    view.v_max = series.v_max;
    // The sum may reach beyond either channel's screen window: scale to the data.
    view.clipped_high = true;
    view.clipped_low = true;
    const ReferenceGraph graph = difference ? ReferenceGraph::Difference : ReferenceGraph::Sum;
    Draw_waveform(view, kRed, true, "", {graph});
    Finish_graph(kRed, difference ? "Ch 1 - Ch 2" : "Ch 1 + Ch 2");
    Draw_reference_names({graph});
}

}  // namespace

int Layout_for_flags() {
    const WindowState& w = Window;
    if (w.Combined_display > 0) {
        return 1;
    }
    const int count =
        int{w.Show_ch1_waveform} + w.Show_ch2_waveform + w.Show_ch1_fft + w.Show_ch2_fft;
    switch (count) {
        case 1:
            return 1;
        case 2:
            return 2;
        case 3:
            return w.Show_ch1_waveform && w.Show_ch1_fft ? 3 : 5;
        case 4:
            return 4;
        default:
            return 0;
    }
}

GraphPlace Place_of(GraphKind kind, int layout) {
    constexpr GraphPlace kFull{0, 100, 5, 100};
    constexpr GraphPlace kUpper{0, 100, 5, 50};
    constexpr GraphPlace kLower{0, 100, 55, 100};
    constexpr GraphPlace kLeftFull{0, 50, 5, 100};
    constexpr GraphPlace kRightFull{50, 100, 5, 100};
    constexpr GraphPlace kLeftUpper{0, 50, 5, 50};
    constexpr GraphPlace kLeftLower{0, 50, 55, 100};
    constexpr GraphPlace kRightUpper{50, 100, 5, 50};
    constexpr GraphPlace kRightLower{50, 100, 55, 100};
    const WindowState& w = Window;
    switch (layout) {
        case 2:
            switch (kind) {
                case GraphKind::Ch1Waveform:
                    return kUpper;
                case GraphKind::Ch2Waveform:
                    return w.Show_ch1_waveform ? kLower : kUpper;
                // With the two spectra alone, channel 1's takes the upper half rather than
                // both overlapping in the lower half.
                case GraphKind::Ch1Spectrum:
                    return !w.Show_ch1_waveform && !w.Show_ch2_waveform && w.Show_ch2_fft ? kUpper
                                                                                          : kLower;
                case GraphKind::Ch2Spectrum:
                    return kLower;
            }
            break;
        case 3:
            switch (kind) {
                case GraphKind::Ch1Waveform:
                    return kLeftUpper;
                case GraphKind::Ch2Waveform:
                    return kRightFull;
                case GraphKind::Ch1Spectrum:
                    return kLeftLower;
                case GraphKind::Ch2Spectrum:
                    return kRightFull;
            }
            break;
        case 4:
            switch (kind) {
                case GraphKind::Ch1Waveform:
                    return kLeftUpper;
                case GraphKind::Ch2Waveform:
                    return kRightUpper;
                case GraphKind::Ch1Spectrum:
                    return kLeftLower;
                case GraphKind::Ch2Spectrum:
                    return kRightLower;
            }
            break;
        case 5:
            switch (kind) {
                case GraphKind::Ch1Waveform:
                    return kLeftFull;
                case GraphKind::Ch2Waveform:
                    return kRightUpper;
                case GraphKind::Ch1Spectrum:
                    return kLeftFull;
                case GraphKind::Ch2Spectrum:
                    return kRightLower;
            }
            break;
        default:
            break;
    }
    return kFull;
}

std::string Channel_title(int channel) {
    const model::TWaveformRecord& r = model::Waveforms[channel];
    const std::string name = channel == 1 ? "CHANNEL 1" : "CHANNEL 2";
    if (!r.measurement_valid) {
        return name + "  [invalid measurement data]";
    }
    return name + "   " + dsp::Format_eng(" [T=", r.period) + "s" +
           dsp::Format_eng("; f=", r.frequency) + "Hz" + dsp::Format_eng("; Vrms=", r.vrms) + "v ]";
}

void Plot_waveform(int channel, bool with_axes) {
    // "Ch 1 and Ch 2" draws both channels' references behind both curves.
    std::vector<ReferenceGraph> references = {channel == 1 ? ReferenceGraph::Ch1Waveform
                                                           : ReferenceGraph::Ch2Waveform};
    if (channel == 1 && Window.Combined_display == 1)
        references.push_back(ReferenceGraph::Ch2Waveform);
    Draw_waveform(View_of(model::Waveforms[channel]), Waveform_colour(channel), with_axes,
                  channel == 1 ? "Ch 1" : "Ch 2", references);
}

void Plot_spectrum(int channel) {
    const dsp::TSpectrumRecord& s = dsp::Spectra[channel];
    const examine::Span x = examine::Visible_x(Current_graph, {s.f_min, s.f_max});
    const examine::Span y = examine::Visible_y(Current_graph, {s.a_min, s.a_max});
    vistrel::DrawXAxis(kBlack, "frequency", true, static_cast<float>(x.lo),
                       static_cast<float>(x.hi), 0, 0, false, false);
    vistrel::DrawYAxis(kBlack, "amplitude", 1, static_cast<float>(y.lo), static_cast<float>(y.hi),
                       0, 0, true, false, false);
    Draw_references(channel == 1 ? ReferenceGraph::Ch1Spectrum : ReferenceGraph::Ch2Spectrum, 1);
    const vistrel::Colour colour = channel == 1 ? kBlue : kPurple;
    Set_curve_pen(colour);
    const int lines = std::clamp<int>(dsp::Spectrum_lines, 0, model::kMaxIndex);
    examine::Note_axes(Current_graph, true, 1.0L, {s.f_min, s.f_max}, {s.a_min, s.a_max}, 1, lines);
    examine::Add_series(Current_graph, &s.freq, &s.amplitude, colour, "");
    Note_references({channel == 1 ? ReferenceGraph::Ch1Spectrum : ReferenceGraph::Ch2Spectrum});
    for (int i = 1; i <= lines; ++i) {
        Move_to(static_cast<float>(s.freq[i]), 0.0f);
        Line_to(static_cast<float>(s.freq[i]), static_cast<float>(s.amplitude[i]));
    }
}

void Display_graph(vistrel::PaintBox& paint_box) {
    vistrel::InitPlotSurface(paint_box, kWhite, kBlack, 1.1f);
    examine::Begin_picture(Graph_contents());
    Current_graph = -1;
    const WindowState& w = Window;
    const int layout = Layout_for_flags();
    if (w.Combined_display > 0) {
        Define(GraphKind::Ch1Waveform, layout);
        Draw_combined_display(w.Combined_display);
    }
    if (w.Show_ch1_waveform) {
        Define(GraphKind::Ch1Waveform, layout);
        Plot_waveform(1, true);
        Finish_graph(kRed, Channel_title(1));
        Draw_reference_names({ReferenceGraph::Ch1Waveform});
    }
    if (w.Show_ch2_waveform) {
        Define(GraphKind::Ch2Waveform, layout);
        Plot_waveform(2, true);
        Finish_graph(kGreen, Channel_title(2));
        Draw_reference_names({ReferenceGraph::Ch2Waveform});
    }
    if (w.Show_ch1_fft) {
        Define(GraphKind::Ch1Spectrum, layout);
        Plot_spectrum(1);
        Finish_graph(kBlue, "FFT for Ch 1");
        Draw_reference_names({ReferenceGraph::Ch1Spectrum});
    }
    if (w.Show_ch2_fft) {
        Define(GraphKind::Ch2Spectrum, layout);
        Plot_spectrum(2);
        Finish_graph(kPurple, "FFT for Ch 2");
        Draw_reference_names({ReferenceGraph::Ch2Spectrum});
    }
    vistrel::FinishPlot();
    Current_graph = -1;
}

}  // namespace app
