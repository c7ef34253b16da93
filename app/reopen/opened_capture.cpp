// The opened capture. The records get what an acquisition would have given them: the scaling of
// the CSV header, the samples, the extremes and clip flags as the conversion forms them, the
// screen window from the y reference and increment, and the scope's period and RMS; a sum or a
// difference goes into channel 1 with zeros in channel 2, so that the combined display forms
// exactly the saved series again.
#include "app/reopen/opened_capture.h"

#include <algorithm>
#include <cmath>
#include <memory>

#include "app/picture/window_state.h"
#include "dsp/channel_math.h"
#include "dsp/fft.h"
#include "model/waveform.h"

namespace app {
namespace {

// Everything an opened capture overwrites.
struct Before {
    WindowState window;
    model::TPreamble preamble;
    std::array<model::TWaveformRecord, 3> waveforms;
    std::array<dsp::TSpectrumRecord, 3> spectra;
    int32_t spectrum_lines = 0;
    dsp::RawSumTable raw_sums{};
    std::array<dsp::RawSumTable, 3> channel_raw_sums{};
    std::array<int32_t, 3> counts_shown{};  // the averaging counts the capture put in
};

struct OpenedState {
    std::vector<std::string> names;
    std::unique_ptr<Before> before;  // set while a capture is open
};
OpenedState Opened;

constexpr int kDrawnSpectrumLines = 40;

void Put_settings(model::TWaveformRecord& r, const SavedChannel& h) {
    if (h.coupling)
        r.coupling = *h.coupling;
    if (h.inverted)
        r.inverted = *h.inverted;
    if (h.averaged_sets) {
        r.averaging = *h.averaged_sets > 0;
        if (*h.averaged_sets > 0)
            r.average_count = *h.averaged_sets;
    }
    r.measurement_valid = h.period.has_value() && h.vrms.has_value();
    r.period = h.period.value_or(0.0);
    r.vrms = h.vrms.value_or(0.0);
    const long double period = r.period;
    r.frequency = period == 0.0L ? 0.0 : static_cast<double>(1.0L / period);
    r.yincrement = h.yincrement.value_or(0.0);
    r.yorigin = h.yorigin.value_or(0.0);
    r.yreference = h.yreference.value_or(0);
}

// The raw codes of the text data file, or (for a CSV file) the codes that give the volts back
// through the scaling: exact for one data set, the nearest code for an average.
void Put_raw_codes(int channel, const SavedGraph& g) {
    const model::TWaveformRecord& r = model::Waveforms[channel];
    dsp::RawSumTable& codes = dsp::Channel_raw_sums[channel];
    codes.fill(0);
    for (std::size_t j = 1; j <= g.x.size() && j <= dsp::kRawSumsLast; ++j) {
        if (!g.raw.empty()) {
            codes[j] = g.raw[j - 1];
            continue;
        }
        if (r.yincrement == 0)
            continue;
        const long double v = r.inverted ? -r.volts[j] : r.volts[j];
        const long double code = (v - r.yorigin) / r.yincrement + r.yreference;
        codes[j] = static_cast<int32_t>(std::nearbyint(std::clamp(code, 0.0L, 65535.0L)));
    }
    dsp::Raw_sums = codes;
}

void Put_waveform(int channel, const SavedGraph& g, const SavedChannel& h, bool zero_volts) {
    model::TWaveformRecord& r = model::Waveforms[channel];
    Put_settings(r, h);
    const std::size_t n = g.x.size();
    const long double xinc =
        h.xincrement ? *h.xincrement : static_cast<long double>(g.x[1]) - g.x[0];
    r.xincrement = static_cast<double>(xinc);
    r.xorigin = h.xorigin ? *h.xorigin : static_cast<double>(g.x[0] - xinc);
    r.time.fill(0.0);
    r.volts.fill(0.0);
    r.time[0] = r.xorigin;
    r.v_min = 1e50;
    r.v_max = -1e50;
    for (std::size_t j = 1; j <= n; ++j) {
        r.time[j] = g.x[j - 1];
        r.volts[j] = zero_volts ? 0.0 : g.y[j - 1];
        r.v_max = dsp::Max_of(r.volts[j], r.v_max);
        r.v_min = dsp::Min_of(r.volts[j], r.v_min);
    }
    r.x_min = r.xorigin;
    r.x_max = g.x[n - 1];
    if (h.yreference && h.yincrement) {
        r.y_min = static_cast<double>(-static_cast<long double>(r.yreference) * r.yincrement);
        r.y_max = static_cast<double>(static_cast<long double>(r.yreference) * r.yincrement);
        r.clipped_high = r.v_max > r.y_max;
        r.clipped_low = r.v_min < r.y_min;
    } else {
        // No screen window known: the axis follows the data.
        r.y_min = r.v_min;
        r.y_max = r.v_max;
        r.clipped_high = true;
        r.clipped_low = true;
    }
    Put_raw_codes(channel, g);
}

void Put_spectrum(int channel, const SavedGraph& g, const SavedChannel& h) {
    Put_settings(model::Waveforms[channel], h);
    if (h.xincrement)
        model::Waveforms[channel].xincrement = *h.xincrement;
    if (h.xorigin)
        model::Waveforms[channel].xorigin = *h.xorigin;
    dsp::TSpectrumRecord& s = dsp::Spectra[channel];
    s.freq.fill(0.0);
    s.amplitude.fill(0.0);
    for (std::size_t i = 1; i <= g.x.size(); ++i) {
        s.freq[i] = g.x[i - 1];
        s.amplitude[i] = g.y[i - 1];
    }
    // The line spacing from the sample interval where the header has it, else from the second
    // bin (1 / (1024 increments), half the spacing).
    long double increment = 2.0L * g.x[1];
    if (h.xincrement && *h.xincrement != 0)
        increment = 1 / (static_cast<long double>(*h.xincrement) * dsp::kSpectrumBins);
    s.freq_increment = static_cast<double>(increment);
    s.origin = 0.0;
    s.f_min = 0.0;
    s.f_max =
        static_cast<double>(static_cast<long double>(kDrawnSpectrumLines) * s.freq_increment / 2);
    s.a_min = 0.0;
    s.a_max = 1.0;
    dsp::Spectrum_lines = kDrawnSpectrumLines;
}

std::string Why_not_one_capture(const std::vector<SavedGraph>& graphs) {
    if (graphs.empty())
        return "no file to open";
    std::array<const SavedGraph*, kReferenceGraphs> taken{};
    bool combined = false;
    for (const SavedGraph& g : graphs) {
        const auto slot = static_cast<std::size_t>(Reference_graph_of(g));
        if (taken[slot] != nullptr)
            return g.path + ": " + taken[slot]->path + " is already " +
                   Reference_graph_text(Reference_graph_of(g)) + " of this capture";
        taken[slot] = &g;
        combined |= g.kind == SavedKind::Sum || g.kind == SavedKind::Difference;
        if (g.x.size() != graphs.front().x.size())
            return g.path + ": " + std::to_string(g.x.size()) + " rows where " +
                   graphs.front().path + " has " + std::to_string(graphs.front().x.size()) +
                   " (the graphs of one capture have as many)";
    }
    if (combined && graphs.size() > 1)
        return graphs.front().path +
               ": a sum or a difference is a capture of its own: open it "
               "without other files";
    return {};
}

}  // namespace

ReferenceGraph Reference_graph_of(const SavedGraph& g) {
    switch (g.kind) {
        case SavedKind::Waveform:
            return g.channel == 2 ? ReferenceGraph::Ch2Waveform : ReferenceGraph::Ch1Waveform;
        case SavedKind::Spectrum:
            return g.channel == 2 ? ReferenceGraph::Ch2Spectrum : ReferenceGraph::Ch1Spectrum;
        case SavedKind::Sum:
            return ReferenceGraph::Sum;
        case SavedKind::Difference:
            return ReferenceGraph::Difference;
    }
    return ReferenceGraph::Ch1Waveform;
}

std::string Show_capture(const std::vector<SavedGraph>& graphs) {
    if (std::string why = Why_not_one_capture(graphs); !why.empty())
        return why;
    if (!Opened.before) {
        Opened.before = std::make_unique<Before>();
        Before& b = *Opened.before;
        b.window = Window;
        b.preamble = model::Preamble;
        b.waveforms = model::Waveforms;
        b.spectra = dsp::Spectra;
        b.spectrum_lines = dsp::Spectrum_lines;
        b.raw_sums = dsp::Raw_sums;
        b.channel_raw_sums = dsp::Channel_raw_sums;
    }
    Window.Show_ch1_waveform = false;
    Window.Show_ch1_fft = false;
    Window.Show_ch2_waveform = false;
    Window.Show_ch2_fft = false;
    Window.Combined_display = 0;
    model::Preamble.points = static_cast<int32_t>(graphs.front().x.size());
    bool pair = graphs.size() == 2;
    Opened.names.clear();
    for (const SavedGraph& g : graphs) {
        Opened.names.push_back(g.name);
        pair &= g.both_channels && g.kind == SavedKind::Waveform;
        switch (g.kind) {
            case SavedKind::Waveform:
                Put_waveform(g.channel, g, g.channels[static_cast<std::size_t>(g.channel)], false);
                (g.channel == 1 ? Window.Show_ch1_waveform : Window.Show_ch2_waveform) = true;
                break;
            case SavedKind::Spectrum:
                Put_spectrum(g.channel, g, g.channels[static_cast<std::size_t>(g.channel)]);
                (g.channel == 1 ? Window.Show_ch1_fft : Window.Show_ch2_fft) = true;
                break;
            case SavedKind::Sum:
            case SavedKind::Difference:
                Put_waveform(1, g, g.channels[1], false);
                Put_waveform(2, g, g.channels[2], true);
                Window.Combined_display = g.kind == SavedKind::Sum ? 2 : 3;
                break;
        }
    }
    if (pair) {
        Window.Show_ch1_waveform = false;
        Window.Show_ch2_waveform = false;
        Window.Combined_display = 1;
    }
    for (int ch = 1; ch <= 2; ++ch)
        Opened.before->counts_shown[ch] = model::Waveforms[ch].average_count;
    return {};
}

std::string Open_capture(const std::vector<std::string>& paths) {
    std::vector<SavedGraph> graphs;
    for (const std::string& path : paths) {
        SavedRead read = Read_saved_file(path);
        if (!read.graph)
            return read.error;
        graphs.push_back(std::move(*read.graph));
    }
    return Show_capture(graphs);
}

bool Capture_is_open() {
    return Opened.before != nullptr;
}

std::string Opened_capture_names() {
    std::string text;
    for (const std::string& n : Opened.names) text += (text.empty() ? "" : ", ") + n;
    return text;
}

void Close_capture() {
    if (!Opened.before)
        return;
    const Before& b = *Opened.before;
    std::array<int32_t, 3> counts{};
    for (int ch = 1; ch <= 2; ++ch) {
        // A count the operator picked while the capture was shown is kept.
        const int32_t now = model::Waveforms[ch].average_count;
        counts[ch] = now != b.counts_shown[ch] ? now : b.waveforms[ch].average_count;
    }
    Window.Show_ch1_waveform = b.window.Show_ch1_waveform;
    Window.Show_ch1_fft = b.window.Show_ch1_fft;
    Window.Show_ch2_waveform = b.window.Show_ch2_waveform;
    Window.Show_ch2_fft = b.window.Show_ch2_fft;
    Window.Combined_display = b.window.Combined_display;
    model::Preamble = b.preamble;
    model::Waveforms = b.waveforms;
    dsp::Spectra = b.spectra;
    dsp::Spectrum_lines = b.spectrum_lines;
    dsp::Raw_sums = b.raw_sums;
    dsp::Channel_raw_sums = b.channel_raw_sums;
    for (int ch = 1; ch <= 2; ++ch) model::Waveforms[ch].average_count = counts[ch];
    Opened.before.reset();
    Opened.names.clear();
}

std::string Load_reference(const std::string& path, ReferenceGraph graph) {
    SavedRead read = Read_saved_file(path);
    if (!read.graph)
        return read.error;
    SavedGraph& g = *read.graph;
    const bool spectrum = g.kind == SavedKind::Spectrum;
    if (spectrum != Is_spectrum_graph(graph))
        return path + ": " + (spectrum ? "a spectrum" : "a waveform") +
               ", which cannot be the reference of " + Reference_graph_text(graph);
    if (std::string why = Add_reference(graph, {g.name, std::move(g.x), std::move(g.y)});
        !why.empty())
        return path + ": " + why;
    return {};
}

}  // namespace app
