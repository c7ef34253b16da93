// The whole program against the simulated scope, operated by clicks and keys on the real
// controls: connecting, every display, Refresh, Auto- Scale, averaging, inversion, coupling and
// every output format, checked on the picture, the records, the files and the status list.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QImage>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/picture/window_state.h"
#include "app/support_window.h"
#include "app/window/paint_box.h"
#include "app/window/radio_group.h"
#include "dsp/fft.h"
#include "model/waveform.h"

namespace {

namespace fs = std::filesystem;
using testing_support::count_of;

constexpr QRgb kRed = qRgb(255, 0, 0);
constexpr QRgb kGreen = qRgb(0, 128, 0);
constexpr QRgb kBlue = qRgb(0, 0, 255);
constexpr QRgb kPurple = qRgb(128, 0, 128);

class EndToEndTest : public testing_support::WindowTest {
  protected:
    testing_support::ScratchHome home;
    const fs::path dir = home.dir;

    // How many pixels of the plot surface have exactly this colour.
    int Pixels_of(QRgb colour) const {
        const QImage& image = form->PaintBox1->image();
        int n = 0;
        for (int y = 0; y < image.height(); ++y) {
            const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
            for (int x = 0; x < image.width(); ++x)
                n += (line[x] & 0xFFFFFF) == (colour & 0xFFFFFF);
        }
        return n;
    }
    int Data_queries() const { return count_of(sim.writes(), "DATA?"); }
    static std::vector<std::string> Lines_of(const fs::path& file) {
        std::ifstream in(file, std::ios::binary);
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);) {
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            lines.push_back(line);
        }
        return lines;
    }
};

TEST_F(EndToEndTest, ChannelOneWaveformIsTheSimulatedSignal) {
    click(form->RadioGroup1->button(0));  // "Waveform"
    EXPECT_EQ(status_lines(), (std::vector<std::string>{"Bringing scope online and initializing...",
                                                        "Initialization successful"}));
    const model::TWaveformRecord& r = model::Waveforms[1];
    // The default channel 1: 1 kHz sine of 1 V over 500 samples 10 us apart from -2.5 ms, in
    // byte codes of 10 mV.
    ASSERT_EQ(model::Preamble.points, 500);
    for (int j = 1; j <= 500; j += 37) {
        const double t = r.time[j];
        EXPECT_NEAR(t, -2.5e-3 + j * 1e-5, 1e-12);
        EXPECT_NEAR(r.volts[j], std::sin(2 * M_PI * 1000 * t), 0.0051) << j;
    }
    EXPECT_TRUE(r.measurement_valid);
    EXPECT_NEAR(r.period, 1e-3, 1e-6);
    EXPECT_NEAR(r.frequency, 1000, 1);
    EXPECT_NEAR(r.vrms, 1 / std::sqrt(2.0), 0.01);
    // The spectrum's largest line is the bin nearest 1 kHz.
    const dsp::TSpectrumRecord& s = dsp::Spectra[1];
    int peak = 1;
    for (int i = 2; i <= 512; ++i) peak = s.amplitude[i] > s.amplitude[peak] ? i : peak;
    EXPECT_NEAR(s.freq[peak], 1000, s.freq_increment);
    // The picture: a red curve and title, nothing of the other colours.
    EXPECT_GT(Pixels_of(kRed), 2000);
    EXPECT_EQ(Pixels_of(kBlue) + Pixels_of(kGreen) + Pixels_of(kPurple), 0);
}

// The spectrum file of the default channel 1 (1 kHz sine, 500 byte codes), every 15-digit field
// against tests/app/fft1_default_sine.dat. That file comes from an exact-arithmetic model of the
// conversion and the transform (tools/exact_reference.py): rationals rounded to 64-bit
// significands for every extended operation and to 53 bits for every double, sines from mpmath
// rounded to 64 bits, and the fields written from the exact decimal expansion. Its input was the
// simulator's 500 codes of this signal.
TEST_F(EndToEndTest, SpectrumFileOfTheDefaultSineIsTheExactModels) {
    click(form->RadioGroup1->button(2));  // "Waveform + FFT"
    choose_output(2);                     // Textfile
    click(form->Button4);
    ASSERT_EQ(recorded.platform.boxes.back().text, "Data files successfully written");
    const auto written = Lines_of(dir / "junk" / "fft1_data.dat");
    const auto reference =
        Lines_of(fs::path(std::getenv("HP_TESTS_DIR")) / "app" / "fft1_default_sine.dat");
    ASSERT_EQ(reference.size(), 501u);
    ASSERT_EQ(written.size(), reference.size());
    for (std::size_t i = 0; i < reference.size(); ++i) EXPECT_EQ(written[i], reference[i]) << i;
}

TEST_F(EndToEndTest, EveryDisplayDrawsItsColours) {
    struct Case {
        app::RadioGroup* app::TForm1::*group;
        int item;
        std::vector<QRgb> present;
        std::vector<QRgb> absent;
    };
    const Case cases[] = {
        {&app::TForm1::RadioGroup1, 1, {kBlue}, {kRed, kGreen, kPurple}},
        {&app::TForm1::RadioGroup1, 2, {kRed, kBlue}, {kGreen, kPurple}},
        {&app::TForm1::RadioGroup2, 2, {kRed, kBlue, kGreen, kPurple}, {}},
        {&app::TForm1::RadioGroup2, 0, {kRed, kBlue, kGreen}, {kPurple}},
        {&app::TForm1::RadioGroup3, 0, {kRed, kGreen}, {kBlue, kPurple}},    // Ch 1 and Ch 2
        {&app::TForm1::RadioGroup3, 1, {kRed}, {kGreen, kBlue, kPurple}},    // Ch 1 + Ch 2
        {&app::TForm1::RadioGroup3, 2, {kRed}, {kGreen, kBlue, kPurple}},    // Ch 1 - Ch 2
        {&app::TForm1::RadioGroup3, 3, {}, {kRed, kGreen, kBlue, kPurple}},  // Off: blank
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string((form.get()->*c.group)->title().toStdString()) + " " +
                     std::to_string(c.item));
        click((form.get()->*c.group)->button(c.item));
        for (QRgb colour : c.present) EXPECT_GT(Pixels_of(colour), 300) << std::hex << colour;
        for (QRgb colour : c.absent) EXPECT_EQ(Pixels_of(colour), 0) << std::hex << colour;
    }
    EXPECT_EQ(app::Window.Combined_display, 0);
}

TEST_F(EndToEndTest, RefreshAndAutoScaleReacquireTheShownChannels) {
    // 250 Hz: barely more than one period in the default 5 ms, until autoscale widens it.
    sim.set("HP_SIM_CH1_FREQUENCY", "250");
    click(form->RadioGroup1->button(0));
    click(form->RadioGroup2->button(1));
    sim.clear_log();
    click(form->Button1);  // Refresh
    EXPECT_EQ(Data_queries(), 2);

    sim.clear_log();
    recorded.platform.sleeps.clear();
    const double span_before = model::Waveforms[1].x_max - model::Waveforms[1].x_min;
    click(form->Button5);  // Auto- Scale
    EXPECT_EQ(sim.writes().front(), "AUTOSCALE FULL");
    EXPECT_EQ(status_lines().back(), "Executing AUTOSCALE");
    EXPECT_EQ(recorded.platform.sleeps.front(), 5000);
    EXPECT_EQ(Data_queries(), 2);
    // The simulated scope shows a few periods after autoscale: the time base changed.
    EXPECT_NE(model::Waveforms[1].x_max - model::Waveforms[1].x_min, span_before);
    EXPECT_GT(Pixels_of(kRed), 1000);
}

TEST_F(EndToEndTest, AveragingInversionAndCoupling) {
    click(form->RadioGroup1->button(0));
    const double v_max_normal = model::Waveforms[1].v_max;

    // Ten data sets, as picked in the count box.
    form->ScrollBox->ensureWidgetVisible(form->ComboBox2);
    form->ComboBox2->setFocus();
    form->ComboBox2->setCurrentIndex(2);  // "10"
    sim.clear_log();
    click(form->RadioGroup8->button(1));  // Averaging "On"
    EXPECT_EQ(Data_queries(), 10);
    EXPECT_EQ(status_lines().back().substr(0, 0), "");
    EXPECT_EQ(count_of(status_lines(), "Averaging 10 data sets for ch 1"), 1);

    click(form->RadioGroup4->button(1));  // Mode "Inverted"
    EXPECT_NEAR(model::Waveforms[1].v_min, -v_max_normal, 0.011);
    EXPECT_GT(Pixels_of(kRed), 1000);

    // Channel 2 carries a 0.2 V offset that AC coupling removes.
    click(form->RadioGroup2->button(0));
    auto mean = [](const model::TWaveformRecord& r) {
        double sum = 0;
        for (int j = 1; j <= 500; ++j) sum += r.volts[j];
        return sum / 500;
    };
    EXPECT_NEAR(mean(model::Waveforms[2]), 0.2, 0.02);
    sim.clear_log();
    click(form->RadioGroup7->button(0));  // Coupling "AC"
    EXPECT_EQ(sim.writes()[0], "CHANNEL 2");
    EXPECT_EQ(sim.writes()[1], "COUPLING AC");
    EXPECT_EQ(status_lines().back(), "Setting Channel 2 Coupling");
    EXPECT_NEAR(mean(model::Waveforms[2]), 0.0, 0.02);
    EXPECT_EQ(model::Waveforms[2].coupling, 2);
}

TEST_F(EndToEndTest, EveryOutputFormat) {
    click(form->RadioGroup1->button(2));
    click(form->RadioGroup2->button(2));

    click(form->Button4);  // Output before a choice
    ASSERT_FALSE(recorded.platform.boxes.empty());
    EXPECT_EQ(recorded.platform.boxes.back().text, "No output format currently selected");

    choose_output(0);  // WMF
    click(form->Button4);
    EXPECT_EQ(recorded.platform.boxes.back().text, "OK: metafile vistrel.wmf created.");
    ASSERT_TRUE(fs::exists(dir / "vistrel.wmf"));
    std::ifstream wmf(dir / "vistrel.wmf", std::ios::binary);
    char key[4] = {};
    wmf.read(key, 4);
    EXPECT_EQ(std::string(key, 4), std::string("\xD7\xCD\xC6\x9A", 4));  // placeable header
    EXPECT_GT(fs::file_size(dir / "vistrel.wmf"), 10000u);

    choose_output(1);  // Clipboard
    click(form->Button4);
    EXPECT_EQ(recorded.platform.boxes.back().text, "Graph copied to clipboard");
    const QImage copied = QApplication::clipboard()->image();
    EXPECT_EQ(copied.size(), QSize(1073, 809));
    EXPECT_EQ(copied.convertToFormat(QImage::Format_RGB32),
              form->PaintBox1->image().convertToFormat(QImage::Format_RGB32));

    choose_output(2);  // Textfile
    click(form->Button4);
    EXPECT_EQ(recorded.platform.boxes.back().text, "Data files successfully written");
    for (const char* name :
         {"waveform1_data.dat", "fft1_data.dat", "waveform2_data.dat", "fft2_data.dat"}) {
        EXPECT_TRUE(fs::exists(dir / "junk" / name)) << name;
        EXPECT_GT(fs::file_size(dir / "junk" / name), 1000u) << name;
    }
}

}  // namespace
