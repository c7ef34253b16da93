// The picture on the plot surface, drawn on a recording canvas: layouts, waveform and spectrum
// graphs, the voltage range rules, combined displays and channel titles.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "app/picture/display.h"
#include "app/picture/window_state.h"
#include "dsp/eng_format.h"
#include "dsp/fft.h"
#include "model/waveform.h"
#include "vistrel/state.h"
#include "vistrel/support_recording_canvas.h"

namespace {

using app::GraphKind;
using app::GraphPlace;
using testing_support::RecordingPaintBox;

constexpr int kPoints = 500;

// Channel records as an acquisition would leave them: a sine of amplitude `amp` about
// `offset`, the scope's window +-1.28 V, 10 us per sample starting at 0.
void Fill_channel(int channel, double amp, double offset, double xincrement = 1e-5) {
    model::TWaveformRecord& r = model::Waveforms[channel];
    r = model::TWaveformRecord{};
    r.xincrement = xincrement;
    r.x_min = 0;
    r.x_max = kPoints * xincrement;
    r.y_min = -1.28;
    r.y_max = 1.28;
    r.v_min = 1e50;
    r.v_max = -1e50;
    for (int j = 1; j <= kPoints; ++j) {
        r.time[j] = j * xincrement;
        r.volts[j] = offset + amp * std::sin(2 * M_PI * j / 100.0);
        r.v_min = std::min(r.v_min, r.volts[j]);
        r.v_max = std::max(r.v_max, r.volts[j]);
    }
    r.clipped_high = r.v_max > r.y_max;
    r.clipped_low = r.v_min < r.y_min;
    model::Preamble.points = kPoints;
}

void Fill_spectrum(int channel) {
    dsp::TSpectrumRecord& s = dsp::Spectra[channel];
    s = dsp::TSpectrumRecord{};
    s.f_max = 4000;
    s.a_max = 1;
    for (int i = 1; i <= 512; ++i) {
        s.freq[i] = (i - 1) * 100.0;
        s.amplitude[i] = i == 5 ? 1.0 : 0.01;
    }
    dsp::Spectrum_lines = 40;
}

class DisplayTest : public ::testing::Test {
  protected:
    RecordingPaintBox box{1073, 809};

    void SetUp() override {
        app::Window = app::WindowState{};
        dsp::Set_decimal_separator(".");
        Fill_channel(1, 1.0, 0.0);
        Fill_channel(2, 0.5, 0.0);
        Fill_spectrum(1);
        Fill_spectrum(2);
        box.on_paint = [this] { app::Display_graph(box); };
    }
    void TearDown() override { dsp::Set_decimal_separator(""); }

    void Paint() {
        box.surface.clear_record();
        box.repaint();
    }
    // Curve segments: the 2-pixel lines in one colour.
    int Segments(vistrel::Colour colour) const {
        int n = 0;
        for (const auto& s : box.surface.segments) n += s.colour == colour && s.width == 2;
        return n;
    }
    bool Has_text(const std::string& text, vistrel::Colour colour) const {
        for (const auto& t : box.surface.texts) {
            if (t.text == text && t.colour == colour)
                return true;
        }
        return false;
    }
    bool Has_text(const std::string& text) const {
        for (const auto& t : box.surface.texts) {
            if (t.text == text)
                return true;
        }
        return false;
    }
    // Draws one waveform graph filling the surface and returns nothing; the unit's state then
    // holds the axis ranges.
    void Draw_alone(int channel) {
        vistrel::InitPlotSurface(box, app::kWhite, app::kBlack, 1.1f);
        vistrel::DefineGraph(0, 100, 5, 100, 40, 0, 0, 40, true);
        box.surface.clear_record();
        app::Plot_waveform(channel, true);
    }
};

struct LayoutCase {
    const char* name;
    bool ch1_wave, ch1_fft, ch2_wave, ch2_fft;
    int layout;
    GraphPlace ch1w, ch2w, ch1f, ch2f;  // for the graphs shown
};

constexpr GraphPlace kFull{0, 100, 5, 100}, kUpper{0, 100, 5, 50}, kLower{0, 100, 55, 100},
    kLeftFull{0, 50, 5, 100}, kRightFull{50, 100, 5, 100}, kLeftUpper{0, 50, 5, 50},
    kLeftLower{0, 50, 55, 100}, kRightUpper{50, 100, 5, 50}, kRightLower{50, 100, 55, 100},
    kNone{0, 0, 0, 0};

const LayoutCase kLayouts[] = {
    {"Ch1WaveformAlone", true, false, false, false, 1, kFull, kNone, kNone, kNone},
    {"Ch2SpectrumAlone", false, false, false, true, 1, kNone, kNone, kNone, kFull},
    {"BothWaveforms", true, false, true, false, 2, kUpper, kLower, kNone, kNone},
    {"Ch1WaveformAndSpectrum", true, true, false, false, 2, kUpper, kNone, kLower, kNone},
    {"Ch2WaveformAndCh1Spectrum", false, true, true, false, 2, kNone, kUpper, kLower, kNone},
    {"Ch2WaveformAndSpectrum", false, false, true, true, 2, kNone, kUpper, kNone, kLower},
    {"TwoSpectraStackNotOverlap", false, true, false, true, 2, kNone, kNone, kUpper, kLower},
    {"Ch1BothAndCh2Waveform", true, true, true, false, 3, kLeftUpper, kRightFull, kLeftLower,
     kNone},
    {"Ch1BothAndCh2Spectrum", true, true, false, true, 3, kLeftUpper, kNone, kLeftLower,
     kRightFull},
    {"BothWaveformsAndCh2Spectrum", true, false, true, true, 5, kLeftFull, kRightUpper, kNone,
     kRightLower},
    {"Ch1SpectrumAndCh2Both", false, true, true, true, 5, kNone, kRightUpper, kLeftFull,
     kRightLower},
    {"AllFour", true, true, true, true, 4, kLeftUpper, kRightUpper, kLeftLower, kRightLower},
};

TEST_F(DisplayTest, LayoutsPlaceEveryGraph) {
    for (const LayoutCase& c : kLayouts) {
        SCOPED_TRACE(c.name);
        app::Window.Show_ch1_waveform = c.ch1_wave;
        app::Window.Show_ch1_fft = c.ch1_fft;
        app::Window.Show_ch2_waveform = c.ch2_wave;
        app::Window.Show_ch2_fft = c.ch2_fft;
        EXPECT_EQ(app::Layout_for_flags(), c.layout);
        const std::pair<bool, std::pair<GraphKind, GraphPlace>> graphs[] = {
            {c.ch1_wave, {GraphKind::Ch1Waveform, c.ch1w}},
            {c.ch2_wave, {GraphKind::Ch2Waveform, c.ch2w}},
            {c.ch1_fft, {GraphKind::Ch1Spectrum, c.ch1f}},
            {c.ch2_fft, {GraphKind::Ch2Spectrum, c.ch2f}}};
        int shown = 0;
        for (const auto& [on, graph] : graphs) {
            if (!on)
                continue;
            ++shown;
            const GraphPlace p = app::Place_of(graph.first, c.layout);
            EXPECT_EQ(p, graph.second) << static_cast<int>(graph.first);
        }
        Paint();
        EXPECT_EQ(vistrel::plot.GraphCount, shown);
    }
}

TEST_F(DisplayTest, CombinedDisplayIsOneFullGraph) {
    for (int combined : {1, 2, 3}) {
        app::Window.Combined_display = combined;
        EXPECT_EQ(app::Layout_for_flags(), 1);
        Paint();
        EXPECT_EQ(vistrel::plot.GraphCount, 1);
    }
}

TEST_F(DisplayTest, NothingShownLeavesTheBlankSurface) {
    Paint();
    EXPECT_EQ(app::Layout_for_flags(), 0);
    EXPECT_EQ(vistrel::plot.GraphCount, 0);
    EXPECT_TRUE(box.surface.texts.empty());
    EXPECT_EQ(Segments(app::kRed) + Segments(app::kBlue), 0);
    EXPECT_FALSE(box.surface.calls_starting("rectangle").empty());  // the framed surface
}

TEST_F(DisplayTest, WaveformCurveEndsAtSampleNMinusOne) {
    app::Window.Show_ch1_waveform = true;
    Paint();
    EXPECT_EQ(Segments(app::kRed), kPoints - 2);
    app::Window = app::WindowState{};
    app::Window.Show_ch2_waveform = true;
    Paint();
    EXPECT_EQ(Segments(app::kGreen), kPoints - 2);
    EXPECT_EQ(Segments(app::kRed), 0);
}

TEST_F(DisplayTest, TimeUnitFromTheEndOfTheRecord) {
    struct Case {
        double x_max;
        const char* caption;
        float axis_end;
    };
    const Case cases[] = {
        {1.1, "time (seconds)", 1.1f},
        {2.5, "time (seconds)", 2.5f},
        {1.0, "time (milliseconds)", 1000.0f},
        // The double nearest 0.0011 lies just above the extended-precision limit.
        {0.0011, "time (milliseconds)", 1.1f},
        // The double nearest 0.001 lies above the extended 0.001 but not above 0.0011.
        {0.001, "time (microseconds)", 1000.0f},
        {0.0005, "time (microseconds)", 500.0f},
        {1.1e-6, "time (microseconds)", 1.1f},
        {1e-6, "time (nanoseconds)", 1000.0f},
        // The product is rounded once, to the single the axis takes: 512.00003 us rounded first
        // to a double lands on the tie between two singles and would read 512.
        {0x1.0c6f7b17ce52ep-11, "time (microseconds)", 0x1.000002p+9f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.x_max);
        Fill_channel(1, 1.0, 0.0, c.x_max / kPoints);
        model::Waveforms[1].x_max = c.x_max;
        Draw_alone(1);
        EXPECT_TRUE(Has_text(c.caption));
        EXPECT_EQ(vistrel::plot.XMax, c.axis_end);
    }
}

TEST_F(DisplayTest, VoltageRangeRules) {
    struct Case {
        const char* name;
        double v_min, v_max;
        bool clipped_high;
        float bottom, top;
        bool zero_line;
    };
    const Case cases[] = {
        // Ratio 4: away from zero, the data with 5 % to spare (the window allows it).
        {"AwayFromZero", 2.0, 2.5, true, float(2.0 * 20 / 21), float(2.5 * 1.05), false},
        // Ratio below 1: the range starts at 0 V and the zero line lies along the bottom.
        {"CloseToZero", 0.2, 1.2, false, 0.0f, float(1.2 * 1.05), true},
        // Not clipped: the top is held to the scope's window.
        {"HeldToWindow", -1.0, 1.25, false, -1.05f, 1.28f, true},
        {"ClippedHigh", -1.0, 3.0, true, -1.05f, 3.15f, true},
        {"AllNegativeNearZero", -1.0, -0.2, false, -1.05f, 0.0f, true},
        {"AllNegativeAway", -1.2, -1.0, false, float(-1.2 * 1.05), float(-1.0 * 20 / 21), false},
        // A flat record at 0 V has no range of its own: the screen window is used.
        {"FlatZero", 0.0, 0.0, false, -1.28f, 1.28f, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        model::TWaveformRecord& r = model::Waveforms[1];
        for (int j = 1; j <= kPoints; ++j) {
            r.volts[j] = c.v_min + (c.v_max - c.v_min) * (j % 2);
        }
        r.v_min = c.v_min;
        r.v_max = c.v_max;
        r.clipped_high = c.clipped_high;
        r.clipped_low = false;
        Draw_alone(1);
        EXPECT_FLOAT_EQ(vistrel::plot.YMin, c.bottom);
        EXPECT_FLOAT_EQ(vistrel::plot.YMax, c.top);
        EXPECT_EQ(Segments(app::kRed), kPoints - 2);
        EXPECT_EQ(Segments(app::kBlack) > 0, c.zero_line);
    }
}

TEST_F(DisplayTest, SpectrumHasFortyLines) {
    app::Window.Show_ch1_fft = true;
    Paint();
    EXPECT_EQ(Segments(app::kBlue), 40);
    EXPECT_FLOAT_EQ(vistrel::plot.XMax, 4000.0f);
    EXPECT_FLOAT_EQ(vistrel::plot.YMax, 1.0f);
    EXPECT_TRUE(Has_text("FFT for Ch 1", app::kBlue));
    EXPECT_TRUE(Has_text("frequency"));
    EXPECT_TRUE(Has_text("amplitude"));

    app::Window = app::WindowState{};
    app::Window.Show_ch2_fft = true;
    Paint();
    EXPECT_EQ(Segments(app::kPurple), 40);
    EXPECT_TRUE(Has_text("FFT for Ch 2", app::kPurple));
}

TEST_F(DisplayTest, BothChannelsInOneGraphShareTheRanges) {
    model::Waveforms[2].y_min = -5;
    model::Waveforms[2].y_max = 5;
    app::Window.Combined_display = 1;
    Paint();
    for (int ch : {1, 2}) {
        EXPECT_DOUBLE_EQ(model::Waveforms[ch].y_min, -5);
        EXPECT_DOUBLE_EQ(model::Waveforms[ch].y_max, 5);
        EXPECT_NEAR(model::Waveforms[ch].v_max, 1.0, 1e-9);
    }
    EXPECT_EQ(Segments(app::kRed), kPoints - 2);
    EXPECT_EQ(Segments(app::kGreen), kPoints - 2);
    EXPECT_TRUE(Has_text("Ch 1 & Ch 2", app::kRed));
    EXPECT_FALSE(Has_text("voltage") && Has_text("CHANNEL 2  [invalid measurement data]"));
}

TEST_F(DisplayTest, SumAndDifferencePaintTheSameCurveEveryTime) {
    for (int combined : {2, 3}) {
        SCOPED_TRACE(combined);
        app::Window.Combined_display = combined;
        const model::SampleArray ch1 = model::Waveforms[1].volts;
        Paint();
        const auto first = box.surface.segments;
        EXPECT_EQ(Segments(app::kRed), kPoints - 2);
        Paint();
        ASSERT_EQ(box.surface.segments.size(), first.size());
        for (size_t i = 0; i < first.size(); ++i) {
            EXPECT_EQ(box.surface.segments[i].from, first[i].from);
            EXPECT_EQ(box.surface.segments[i].to, first[i].to);
        }
        EXPECT_EQ(model::Waveforms[1].volts, ch1);
        EXPECT_TRUE(Has_text(combined == 2 ? "Ch 1 + Ch 2" : "Ch 1 - Ch 2", app::kRed));
    }
}

TEST_F(DisplayTest, SumIsScaledToItsOwnExtremes) {
    Fill_channel(1, 1.0, 1.0);  // up to 2 V, beyond the 1.28 V window
    Fill_channel(2, 1.0, 1.0);
    app::Window.Combined_display = 2;
    Paint();
    EXPECT_NEAR(vistrel::plot.YMax, 4.0 * 1.05, 1e-5);
}

TEST_F(DisplayTest, ChannelTitles) {
    model::TWaveformRecord& r = model::Waveforms[1];
    r.measurement_valid = true;
    r.period = 0.002;
    r.frequency = 500;
    r.vrms = 0.7071;
    EXPECT_EQ(app::Channel_title(1), "CHANNEL 1    [T=2 ms; f=500 Hz; Vrms=707.1 mv ]");
    model::Waveforms[2].measurement_valid = false;
    EXPECT_EQ(app::Channel_title(2), "CHANNEL 2  [invalid measurement data]");

    app::Window.Show_ch1_waveform = app::Window.Show_ch2_waveform = true;
    Paint();
    EXPECT_TRUE(Has_text("CHANNEL 1    [T=2 ms; f=500 Hz; Vrms=707.1 mv ]", app::kRed));
    EXPECT_TRUE(Has_text("CHANNEL 2  [invalid measurement data]", app::kGreen));
}

}  // namespace
