// Waveform measurements from the samples of one record, in extended precision throughout.
#include "dsp/measure.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>

namespace dsp {
namespace {

long double At(std::span<const double> x, std::size_t i) {
    return static_cast<long double>(x[i]);
}

// The record between samples, drawn as straight lines: its value at fractional index p.
long double Interpolated(std::span<const double> x, long double p) {
    const auto last = static_cast<long double>(x.size() - 1);
    p = std::clamp(p, 0.0L, last);
    const auto k = static_cast<std::size_t>(std::floor(p));
    if (k + 1 >= x.size())
        return At(x, x.size() - 1);
    const long double f = p - static_cast<long double>(k);
    return At(x, k) + f * (At(x, k + 1) - At(x, k));
}

// Where the line from sample k to sample k + 1 meets `level`, as a fractional index.
long double Meeting(std::span<const double> x, std::size_t k, long double level) {
    const long double a = At(x, k), b = At(x, k + 1);
    return static_cast<long double>(k) + (level - a) / (b - a);
}

// The integrals of the record and of its square over [p0, p1] (fractional indices, in sample
// intervals) by the trapezoid rule on the straight lines between samples. Over whole periods the
// trapezoid rule of a sampled periodic signal is exact up to its harmonics near the sampling rate.
struct Integrals {
    long double sum = 0.0L, sum_sq = 0.0L;
};
Integrals Integrate(std::span<const double> x, long double p0, long double p1) {
    Integrals r;
    const auto add = [&](long double a, long double b) {
        if (b <= a)
            return;
        const long double xa = Interpolated(x, a), xb = Interpolated(x, b);
        r.sum += (b - a) * (xa + xb) / 2.0L;
        r.sum_sq += (b - a) * (xa * xa + xb * xb) / 2.0L;
    };
    const long double first_whole = std::ceil(p0), last_whole = std::floor(p1);
    if (first_whole > last_whole) {
        add(p0, p1);
        return r;
    }
    add(p0, first_whole);
    for (auto k = static_cast<std::size_t>(first_whole); static_cast<long double>(k) < last_whole;
         ++k) {
        const long double a = At(x, k), b = At(x, k + 1);
        r.sum += (a + b) / 2.0L;
        r.sum_sq += (a * a + b * b) / 2.0L;
    }
    add(last_whole, p1);
    return r;
}

// The mean level of the samples in one bin.
struct Bin {
    std::size_t count = 0;
    long double sum = 0.0L;
};

// The mode of the bins [from, to) with its plateau test; ties go to the bin farther from the
// middle of the histogram, toward the extreme.
bool Plateau_mode(const std::array<Bin, kLevelBins>& bins, int from, int to, bool upper,
                  long double& level) {
    std::size_t in_half = 0;
    int mode = -1;
    for (int i = from; i < to; ++i) {
        const auto& b = bins[static_cast<std::size_t>(i)];
        in_half += b.count;
        if (b.count == 0)
            continue;
        if (mode < 0 || b.count > bins[static_cast<std::size_t>(mode)].count ||
            (upper && b.count == bins[static_cast<std::size_t>(mode)].count))
            mode = i;
    }
    if (mode < 0)
        return false;
    const auto& m = bins[static_cast<std::size_t>(mode)];
    const long double even =
        static_cast<long double>(in_half) / static_cast<long double>(to - from);
    if (static_cast<long double>(m.count) < kPlateauFactor * even)
        return false;
    // A coarsely sampled ramp visits few codes, each many times: a mode that stands out of its
    // sparse neighbours. A plateau also holds a good part of its half.
    std::size_t around = 0;
    for (int i = std::max(from, mode - 1); i <= std::min(to - 1, mode + 1); ++i)
        around += bins[static_cast<std::size_t>(i)].count;
    if (static_cast<long double>(around) < kPlateauShare * static_cast<long double>(in_half))
        return false;
    level = m.sum / static_cast<long double>(m.count);
    return true;
}

// The mean of consecutive differences of crossings of one direction, and how many there are.
struct Span {
    long double length = 0.0L;
    std::size_t cycles = 0;
};
Span Whole_cycles(const std::vector<long double>& c) {
    if (c.size() < 2)
        return {};
    return {c.back() - c.front(), c.size() - 1};
}

// The mean time from each crossing of `from` to the next crossing of `to`.
TMeasured Mean_width(const std::vector<long double>& from, const std::vector<long double>& to,
                     long double dt) {
    long double total = 0.0L;
    std::size_t n = 0;
    std::size_t j = 0;
    for (const long double start : from) {
        while (j < to.size() && to[j] <= start) ++j;
        if (j == to.size())
            break;
        total += to[j] - start;
        ++n;
    }
    if (n == 0)
        return Missing(kNoPulse);
    return Value(total / static_cast<long double>(n) * dt);
}

// The mean 10 %-90 % time of the transitions through the given crossings, each searched no
// farther than the neighbouring crossings of the other direction. `rising` picks the direction:
// the start level is met going back from the crossing, the end level going forward.
TMeasured Transition_time(std::span<const double> x, const std::vector<long double>& through,
                          const std::vector<long double>& others, long double start_level,
                          long double end_level, bool rising, long double dt) {
    const auto before = [&](long double a) { return rising ? a <= start_level : a >= start_level; };
    const auto reached = [&](long double a) { return rising ? a >= end_level : a <= end_level; };
    long double total = 0.0L;
    std::size_t n = 0;
    for (const long double c : through) {
        const auto k0 = static_cast<std::size_t>(std::floor(c));
        // The neighbouring crossings of the other direction bound the search.
        std::size_t low = 0, high = x.size() - 1;
        for (const long double o : others) {
            if (o < c)
                low = std::max(low, static_cast<std::size_t>(std::floor(o)) + 1);
            else
                high = std::min(high, static_cast<std::size_t>(std::floor(o)));
        }
        long double start = -1.0L, end = -1.0L;
        for (std::size_t k = k0 + 1; k-- > low;) {
            if (before(At(x, k))) {
                start = Meeting(x, k, start_level);
                break;
            }
        }
        for (std::size_t k = k0 + 1; k <= high; ++k) {
            if (reached(At(x, k))) {
                end = Meeting(x, k - 1, end_level);
                break;
            }
        }
        if (start < 0.0L || end < 0.0L)
            continue;
        total += end - start;
        ++n;
    }
    if (n == 0)
        return Missing(rising ? kNoRisingEdge : kNoFallingEdge);
    return Value(total / static_cast<long double>(n) * dt);
}

}  // namespace

TLevels State_levels(std::span<const double> volts) {
    TLevels l;
    if (volts.empty())
        return l;
    long double lo = At(volts, 0), hi = lo;
    for (std::size_t i = 1; i < volts.size(); ++i) {
        lo = std::min(lo, At(volts, i));
        hi = std::max(hi, At(volts, i));
    }
    l.top = hi;
    l.base = lo;
    if (!(hi > lo))
        return l;
    std::array<Bin, kLevelBins> bins{};
    const long double scale = static_cast<long double>(kLevelBins) / (hi - lo);
    for (const double v : volts) {
        const auto i =
            std::min(static_cast<std::size_t>((static_cast<long double>(v) - lo) * scale),
                     static_cast<std::size_t>(kLevelBins - 1));
        ++bins[i].count;
        bins[i].sum += static_cast<long double>(v);
    }
    l.top_from_plateau = Plateau_mode(bins, kLevelBins / 2, kLevelBins, true, l.top);
    l.base_from_plateau = Plateau_mode(bins, 0, kLevelBins / 2, false, l.base);
    return l;
}

TCrossings Mid_crossings(std::span<const double> x, long double mid, long double band) {
    TCrossings c;
    const long double upper = mid + band / 2.0L, lower = mid - band / 2.0L;
    int state = 0;  // -1 below the band, +1 above it, 0 not yet known
    long double up = 0.0L, down = 0.0L;
    for (std::size_t j = 0; j < x.size(); ++j) {
        const long double v = At(x, j);
        if (j > 0) {
            const long double u = At(x, j - 1);
            if (u < mid && v >= mid)
                up = Meeting(x, j - 1, mid);
            if (u >= mid && v < mid)
                down = Meeting(x, j - 1, mid);
        }
        if (v >= upper && state <= 0) {
            if (state < 0)
                c.rising.push_back(up);
            state = 1;
        } else if (v <= lower && state >= 0) {
            if (state > 0)
                c.falling.push_back(down);
            state = -1;
        }
    }
    return c;
}

TWaveformMeasurements Measure_waveform(const TMeasureInput& in) {
    TWaveformMeasurements m;
    const std::span<const double> x = in.volts;
    const long double dt = in.xincrement;
    if (x.size() < 2 || !(dt > 0.0L)) {
        for (TMeasured* q :
             {&m.maximum, &m.minimum, &m.peak_to_peak, &m.mean, &m.rms, &m.ac_rms, &m.frequency,
              &m.period, &m.positive_width, &m.negative_width, &m.duty_cycle, &m.rise_time,
              &m.fall_time, &m.overshoot, &m.preshoot, &m.cycles})
            *q = Missing(kNoSamples);
        return m;
    }
    const bool clipped = in.clipped_high || in.clipped_low;

    const TLevels levels = State_levels(x);
    long double lo = At(x, 0), hi = lo;
    for (std::size_t i = 1; i < x.size(); ++i) {
        lo = std::min(lo, At(x, i));
        hi = std::max(hi, At(x, i));
    }
    m.top = levels.top;
    m.base = levels.base;
    m.top_from_plateau = levels.top_from_plateau;
    m.base_from_plateau = levels.base_from_plateau;
    const long double amplitude = m.top - m.base;

    m.maximum = in.clipped_high ? Missing(kClipped) : Value(hi);
    m.minimum = in.clipped_low ? Missing(kClipped) : Value(lo);
    m.peak_to_peak = clipped ? Missing(kClipped) : Value(hi - lo);

    TCrossings c;
    if (amplitude > 0.0L)
        c = Mid_crossings(x, (m.top + m.base) / 2.0L, kHysteresis * amplitude);

    // Period: every whole cycle between crossings of the same direction, both directions.
    const Span up = Whole_cycles(c.rising), down = Whole_cycles(c.falling);
    const std::size_t crossings = c.rising.size() + c.falling.size();
    m.cycles = Value(static_cast<long double>(std::max(up.cycles, down.cycles)));
    if (crossings < 2) {
        m.period = m.frequency = Missing(kFewCrossings);
    } else if (up.cycles + down.cycles == 0) {
        m.period = m.frequency = Missing(kNoCycle);
    } else {
        const long double period =
            (up.length + down.length) / static_cast<long double>(up.cycles + down.cycles) * dt;
        m.period = Value(period);
        m.frequency = Value(1.0L / period);
    }

    // Mean and RMS over the whole cycles of the direction with more of them, else all samples.
    long double mean = 0.0L, mean_sq = 0.0L;
    if (up.cycles + down.cycles > 0) {
        const std::vector<long double>& edges = up.cycles >= down.cycles ? c.rising : c.falling;
        const Integrals s = Integrate(x, edges.front(), edges.back());
        const long double length = edges.back() - edges.front();
        mean = s.sum / length;
        mean_sq = s.sum_sq / length;
    } else {
        for (const double v : x) {
            mean += static_cast<long double>(v);
            mean_sq += static_cast<long double>(v) * static_cast<long double>(v);
        }
        mean /= static_cast<long double>(x.size());
        mean_sq /= static_cast<long double>(x.size());
    }
    if (clipped) {
        m.mean = m.rms = m.ac_rms = Missing(kClipped);
    } else {
        m.mean = Value(mean);
        m.rms = Value(std::sqrt(mean_sq));
        m.ac_rms = Value(std::sqrt(std::max(0.0L, mean_sq - mean * mean)));
    }

    // Pulse and transition terms need the true levels.
    if (clipped) {
        for (TMeasured* q : {&m.positive_width, &m.negative_width, &m.duty_cycle, &m.rise_time,
                             &m.fall_time, &m.overshoot, &m.preshoot})
            *q = Missing(kClipped);
        return m;
    }
    if (!(amplitude > 0.0L)) {
        for (TMeasured* q : {&m.positive_width, &m.negative_width, &m.duty_cycle, &m.rise_time,
                             &m.fall_time, &m.overshoot, &m.preshoot})
            *q = Missing(kFlat);
        return m;
    }
    m.positive_width = Mean_width(c.rising, c.falling, dt);
    m.negative_width = Mean_width(c.falling, c.rising, dt);
    if (!m.positive_width.exists)
        m.duty_cycle = m.positive_width;
    else if (!m.period.exists)
        m.duty_cycle = m.period;
    else
        m.duty_cycle = Value(100.0L * m.positive_width.value / m.period.value);

    const long double l10 = m.base + 0.1L * amplitude, l90 = m.base + 0.9L * amplitude;
    m.rise_time = Transition_time(x, c.rising, c.falling, l10, l90, true, dt);
    m.fall_time = Transition_time(x, c.falling, c.rising, l90, l10, false, dt);
    m.overshoot = Value(100.0L * (hi - m.top) / amplitude);
    m.preshoot = Value(100.0L * (m.base - lo) / amplitude);
    return m;
}

}  // namespace dsp
