// The measurements table from the waveform records, and its texts.
#include "app/analysis/measure_table.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <initializer_list>
#include <vector>

#include "app/picture/references.h"
#include "app/picture/window_state.h"
#include "dsp/channel_math.h"
#include "dsp/spectrum_measure.h"
#include "model/waveform.h"

namespace app {
namespace {

// The rows of the scope's own measurements, filled from the record after the program's own.
constexpr std::size_t kScopePeriodRow = 16;
constexpr std::size_t kScopeRmsRow = 17;
constexpr const char* kScopeInvalid = "the scope's measurement is not valid";
constexpr const char* kNotByScope = "not measured by the scope";

// The preamble's point count, within the sample arrays' bounds.
int Points() {
    return std::clamp(model::Preamble.points, 0, dsp::kRawSumsLast);
}

// A channel's own point count, from the end of its record (x_max = N x increment + origin):
// the preamble describes the channel read last, and the channels may differ.
int Channel_points(int channel) {
    const auto& r = model::Waveforms[static_cast<std::size_t>(channel)];
    if (!(r.xincrement > 0.0))
        return Points();
    const long double n = std::nearbyint((static_cast<long double>(r.x_max) - r.xorigin) /
                                         static_cast<long double>(r.xincrement));
    return static_cast<int>(std::clamp(n, 0.0L, static_cast<long double>(dsp::kRawSumsLast)));
}

// Whether some sample of the channel sits at the highest or lowest code of its format: the
// voltage at the scope's input lay at or beyond it. In volts, inversion swaps the two.
void Clipping(int channel, int points, bool& high, bool& low) {
    const int32_t top = model::Byte_format ? 255 : 65535;
    const auto& codes = dsp::Channel_raw_sums[static_cast<std::size_t>(channel)];
    bool at_top = false, at_bottom = false;
    for (int j = 1; j <= points; ++j) {
        at_top = at_top || codes[static_cast<std::size_t>(j)] >= top;
        at_bottom = at_bottom || codes[static_cast<std::size_t>(j)] <= 0;
    }
    const bool inverted = model::Waveforms[static_cast<std::size_t>(channel)].inverted;
    high = inverted ? at_bottom : at_top;
    low = inverted ? at_top : at_bottom;
}

MeasureColumn Channel_column(int channel) {
    const int points = Channel_points(channel);
    const auto& r = model::Waveforms[static_cast<std::size_t>(channel)];
    bool high = false, low = false;
    Clipping(channel, points, high, low);
    MeasureColumn c = Measure_record("Ch " + std::to_string(channel), r.volts.data(), points,
                                     static_cast<long double>(r.xincrement), high, low);
    if (r.measurement_valid) {
        c.values[kScopePeriodRow] = {true, static_cast<long double>(r.period), {}};
        c.values[kScopeRmsRow] = {true, static_cast<long double>(r.vrms), {}};
    } else {
        c.values[kScopePeriodRow] = c.values[kScopeRmsRow] = {false, 0.0L, kScopeInvalid};
    }
    return c;
}

MeasureColumn Combined_column(bool difference) {
    const dsp::TCombinedSeries s = dsp::Combine_channels(difference);
    const int points = std::min({Channel_points(1), Channel_points(2), s.points});
    bool h1 = false, l1 = false, h2 = false, l2 = false;
    Clipping(1, points, h1, l1);
    Clipping(2, points, h2, l2);
    // Either channel clipped on either side leaves the combination unknown on both.
    const bool clipped = h1 || l1 || h2 || l2;
    MeasureColumn c = Measure_record(
        difference ? "Ch 1 - Ch 2" : "Ch 1 + Ch 2", s.values.data(), std::min(points, s.points),
        static_cast<long double>(model::Waveforms[1].xincrement), clipped, clipped);
    c.values[kScopePeriodRow] = c.values[kScopeRmsRow] = {false, 0.0L, kNotByScope};
    return c;
}

// A waveform reference, measured as a record: its sample interval is the mean of its own, held
// as the scope's is (a saved record's intervals are equal but for the last digits written).
MeasureColumn Reference_column(const Reference& r) {
    const std::size_t rows = std::min(r.x.size(), r.y.size());
    std::vector<double> volts(rows + 1, 0.0);  // samples from 1, as a record's
    for (std::size_t i = 0; i < rows; ++i) volts[i + 1] = r.y[i];
    const double interval =
        rows >= 2 ? static_cast<double>((static_cast<long double>(r.x[rows - 1]) - r.x[0]) /
                                        static_cast<long double>(rows - 1))
                  : 0.0;
    MeasureColumn c = Measure_record(
        "ref: " + r.name, volts.data(),
        static_cast<int>(std::min<std::size_t>(rows, static_cast<std::size_t>(dsp::kRawSumsLast))),
        interval, false, false);
    c.values[kScopePeriodRow] = c.values[kScopeRmsRow] = {false, 0.0L, kNotByScope};
    return c;
}

// After the live columns, one per reference of the waveforms they measure.
void Add_reference_columns(MeasureTable& t, std::initializer_list<ReferenceGraph> graphs) {
    for (const ReferenceGraph g : graphs)
        for (const Reference& r : References.graphs[static_cast<std::size_t>(g)])
            t.columns.push_back(Reference_column(r));
}

// An SI prefix for 10^(3 k), k from -5 (femto) to 4 (tera).
const char* Prefix(int k) {
    static constexpr std::array<const char*, 10> prefixes = {"f", "p", "n", "\xC2\xB5", "m",
                                                             "",  "k", "M", "G",        "T"};
    return prefixes[static_cast<std::size_t>(std::clamp(k, -5, 4) + 5)];
}

// Numbers with "." whatever the locale (the application sets the user's locale for the C
// library's printf).
std::string Fixed(long double v, int decimals) {
    char text[80];
    const auto r = std::to_chars(text, text + sizeof text, v, std::chars_format::fixed, decimals);
    return std::string(text, r.ptr);
}

std::string Engineering(long double v, const char* unit) {
    if (v == 0.0L || !std::isfinite(v))
        return Fixed(v, 3) + " " + unit;
    int k = static_cast<int>(std::floor(std::log10(std::fabs(v)) / 3.0L));
    k = std::clamp(k, -5, 4);
    long double mantissa = v / std::pow(10.0L, 3 * k);
    // Four significant digits; a mantissa that rounds up to 1000 moves to the next prefix.
    int decimals = 3 - static_cast<int>(std::floor(std::log10(std::fabs(mantissa))));
    decimals = std::clamp(decimals, 0, 3);
    const long double step = std::pow(10.0L, -decimals);
    if (std::fabs(std::nearbyint(mantissa / step) * step) >= 1000.0L && k < 4) {
        ++k;
        mantissa /= 1000.0L;
        decimals = 3;
    }
    return Fixed(mantissa, decimals) + " " + Prefix(k) + unit;
}

std::string Plain_number(long double v) {
    char text[80];
    const auto r = std::to_chars(text, text + sizeof text, v, std::chars_format::general, 10);
    return std::string(text, r.ptr);
}

std::string Csv_field(const std::string& text) {
    if (text.find_first_of(",\"\n") == std::string::npos)
        return text;
    std::string quoted = "\"";
    for (const char ch : text) {
        if (ch == '"')
            quoted += '"';
        quoted += ch;
    }
    return quoted + "\"";
}

}  // namespace

const std::vector<MeasureRow>& Measure_rows() {
    static const std::vector<MeasureRow> rows = {
        {"Maximum", "V"},
        {"Minimum", "V"},
        {"Peak-to-peak", "V"},
        {"Mean", "V"},
        {"RMS", "V"},
        {"AC RMS", "V"},
        {"Frequency", "Hz"},
        {"Period", "s"},
        {"Positive width", "s"},
        {"Negative width", "s"},
        {"Duty cycle", "%"},
        {"Rise time", "s"},
        {"Fall time", "s"},
        {"Overshoot", "%"},
        {"Preshoot", "%"},
        {"Cycles counted", ""},
        {"Scope period", "s"},
        {"Scope RMS", "V"},
        {"Peak frequency", "Hz"},
        {"Peak magnitude", "V"},
        {"Next peak frequency", "Hz"},
        {"Next peak magnitude", "V"},
        {"THD", "%"},
        {"THD (dB)", "dB"},
    };
    return rows;
}

MeasureColumn Measure_record(const std::string& name, const double* volts, int points,
                             long double xincrement, bool clipped_high, bool clipped_low) {
    const std::span<const double> samples(volts + 1, static_cast<std::size_t>(std::max(points, 0)));
    const dsp::TWaveformMeasurements w =
        dsp::Measure_waveform({samples, xincrement, clipped_high, clipped_low});
    const dsp::TSpectrumMeasurements s =
        dsp::Measure_spectrum(samples, xincrement, clipped_high || clipped_low,
                              w.frequency.exists ? w.frequency.value : 0.0L);
    MeasureColumn c;
    c.name = name;
    c.values = {w.maximum,
                w.minimum,
                w.peak_to_peak,
                w.mean,
                w.rms,
                w.ac_rms,
                w.frequency,
                w.period,
                w.positive_width,
                w.negative_width,
                w.duty_cycle,
                w.rise_time,
                w.fall_time,
                w.overshoot,
                w.preshoot,
                w.cycles,
                {},
                {},
                s.peak_frequency,
                s.peak_magnitude,
                s.second_frequency,
                s.second_magnitude,
                s.thd_percent,
                s.thd_db};
    return c;
}

MeasureTable Build_measure_table() {
    MeasureTable t;
    switch (Window.Combined_display) {
        case 1:
            t.columns.push_back(Channel_column(1));
            t.columns.push_back(Channel_column(2));
            Add_reference_columns(t, {ReferenceGraph::Ch1Waveform, ReferenceGraph::Ch2Waveform});
            return t;
        case 2:
        case 3:
            t.columns.push_back(Combined_column(Window.Combined_display == 3));
            Add_reference_columns(t, {Window.Combined_display == 3 ? ReferenceGraph::Difference
                                                                   : ReferenceGraph::Sum});
            return t;
        default:
            break;
    }
    const bool ch1 = Window.Show_ch1_waveform || Window.Show_ch1_fft;
    const bool ch2 = Window.Show_ch2_waveform || Window.Show_ch2_fft;
    if (ch1)
        t.columns.push_back(Channel_column(1));
    if (ch2)
        t.columns.push_back(Channel_column(2));
    if (ch1)
        Add_reference_columns(t, {ReferenceGraph::Ch1Waveform});
    if (ch2)
        Add_reference_columns(t, {ReferenceGraph::Ch2Waveform});
    return t;
}

std::string Cell_text(const dsp::TMeasured& m, const char* unit) {
    if (!m.exists)
        return "n/a (" + m.why + ")";
    const std::string u = unit;
    if (u.empty())
        return Fixed(m.value, 0);
    if (u == "%" || u == "dB")
        return Fixed(m.value, 2) + " " + u;
    return Engineering(m.value, unit);
}

std::string Table_tsv(const MeasureTable& table) {
    std::string out = "Quantity";
    for (const auto& c : table.columns) out += "\t" + c.name;
    out += "\n";
    const auto& rows = Measure_rows();
    for (std::size_t i = 0; i < rows.size(); ++i) {
        out += rows[i].quantity;
        for (const auto& c : table.columns) out += "\t" + Cell_text(c.values[i], rows[i].unit);
        out += "\n";
    }
    return out;
}

std::string Table_csv(const MeasureTable& table) {
    std::string out = "channel,quantity,value,unit\n";
    const auto& rows = Measure_rows();
    for (const auto& c : table.columns) {
        for (std::size_t i = 0; i < rows.size(); ++i) {
            const dsp::TMeasured& m = c.values[i];
            out += Csv_field(c.name) + "," + Csv_field(rows[i].quantity) + "," +
                   Csv_field(m.exists ? Plain_number(m.value) : "n/a (" + m.why + ")") + "," +
                   rows[i].unit + "\n";
        }
    }
    return out;
}

}  // namespace app
