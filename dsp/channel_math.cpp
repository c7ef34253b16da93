// Raw codes to volts: every data set contributes (code - yreference) * yincrement + yorigin,
// accumulated in extended precision and stored as a double after each set, so that an average
// over M sets is the average of the sets' voltages, offset included.
#include "dsp/channel_math.h"

#include <algorithm>

namespace dsp {

RawSumTable Raw_sums{};
std::array<RawSumTable, 3> Channel_raw_sums{};

namespace {

// The sample count the tables can hold: a preamble may claim anything, the tables end at 2002.
int32_t Usable_points(int32_t N) {
    return std::clamp<int32_t>(N, 0, kRawSumsLast);
}

// One data set's contribution added to the running value of a sample. The difference is taken
// in 64 bits so that no yreference a preamble may carry can overflow it.
template <typename Row>
void Add_set(const Row& row, int32_t n, int32_t yreference, long double yincrement,
             long double yorigin, model::SampleArray& volts, RawSumTable& sums) {
    for (int32_t j = 1; j <= n; ++j) {
        const int32_t c = row[j];
        sums[j] += c;
        const long double v =
            static_cast<long double>(int64_t{c} - yreference) * yincrement + volts[j] + yorigin;
        volts[j] = static_cast<double>(v);
    }
}

}  // namespace

double Min_of(double a, double b) {
    return a < b ? a : b;
}
double Max_of(double a, double b) {
    return a > b ? a : b;
}

int32_t Averaged_sets(const model::TWaveformRecord& r) {
    // Averaging switched on before a count was chosen converts the one set that was read.
    if (r.averaging && r.average_count > 0)
        return std::min<int32_t>(r.average_count, 50);
    return 1;
}

void Scale_waveform(int32_t N, int channel) {
    if (channel < 1 || channel > 2)
        return;
    model::TWaveformRecord& r = model::Waveforms[channel];
    const model::TPreamble& p = model::Preamble;

    const int32_t M = Averaged_sets(r);
    const int32_t n = Usable_points(N);

    r.xorigin = p.xorigin;
    r.yorigin = p.yorigin;
    r.xincrement = p.xincrement;
    r.yincrement = p.yincrement;
    r.yreference = p.yreference;
    const char c0 = p.coupling.empty() ? ' ' : p.coupling[0];
    r.coupling = (c0 == 'A' || c0 == '2') ? 2 : 1;

    // Times are formed in extended precision like every other conversion sum, so x_max and
    // time(N) are the same double.
    const long double xinc = p.xincrement;
    const long double xorg = p.xorigin;
    r.time[0] = p.xorigin;
    r.x_min = p.xorigin;
    r.x_max = static_cast<double>(static_cast<long double>(n) * xinc + xorg);
    r.y_min = static_cast<double>(-static_cast<long double>(p.yreference) * p.yincrement);
    r.y_max = static_cast<double>(static_cast<long double>(p.yreference) * p.yincrement);
    r.v_min = 1e50;
    r.v_max = -1e50;

    std::fill(r.volts.begin(), r.volts.begin() + kRawSumsLast + 1, 0.0);
    Raw_sums.fill(0);

    for (int32_t j = 1; j <= n; ++j) r.time[j] = static_cast<double>(j * xinc + xorg);

    // Sets outer, samples inner: each sample still sees its sets in order 1..M with the same
    // rounding after each set, but the samples' chains run side by side.
    for (int32_t s = 1; s <= M; ++s) {
        if (model::Byte_format)
            Add_set(model::Raw_byte_sets[s], n, p.yreference, p.yincrement, p.yorigin, r.volts,
                    Raw_sums);
        else
            Add_set(model::Raw_word_sets[s], n, p.yreference, p.yincrement, p.yorigin, r.volts,
                    Raw_sums);
    }

    for (int32_t j = 1; j <= n; ++j) {
        if (r.averaging) {
            Raw_sums[j] /= M;
            r.volts[j] = static_cast<double>(static_cast<long double>(r.volts[j]) / M);
        }
        if (r.inverted)
            r.volts[j] = -r.volts[j];
        r.v_max = Max_of(r.volts[j], r.v_max);
        r.v_min = Min_of(r.volts[j], r.v_min);
    }
    r.clipped_high = r.v_max > r.y_max;
    r.clipped_low = r.v_min < r.y_min;
    Channel_raw_sums[channel] = Raw_sums;
}

TCombinedSeries Combine_channels(bool difference) {
    TCombinedSeries out;
    out.points = Usable_points(model::Preamble.points);
    const model::SampleArray& a = model::Waveforms[1].volts;
    const model::SampleArray& b = model::Waveforms[2].volts;
    for (int32_t j = 1; j <= out.points; ++j) {
        const long double v = difference ? static_cast<long double>(a[j]) - b[j]
                                         : static_cast<long double>(a[j]) + b[j];
        out.values[j] = static_cast<double>(v);
        if (out.values[j] < out.v_min)
            out.v_min = out.values[j];
        if (out.values[j] > out.v_max)
            out.v_max = out.values[j];
    }
    return out;
}

}  // namespace dsp
