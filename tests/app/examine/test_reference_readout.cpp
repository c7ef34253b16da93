// The cursors' readout of a graph with references, through clicks on the plot surface of the
// window against the simulated scope.
//
// Faults caught by the table below:
// - a reference's value read at another sample than the cursor's (a reference equal to the
//   live trace then reads another value than the live readout);
// - a shifted reference read without its shift, or a time grid between samples read at the
//   nearest sample instead of the line between them;
// - a spectrum reference interpolated between its lines, or the label not the graph's
//   "ref: <file name>";
// - a value read past the reference's end instead of "n/a".
#include <gtest/gtest.h>

#include <QPoint>
#include <QScrollArea>
#include <QSettings>
#include <QTest>
#include <cmath>
#include <string>
#include <vector>

#include "app/examine/graph_view.h"
#include "app/examine/marks.h"
#include "app/picture/references.h"
#include "app/support_window.h"
#include "app/window/main_window.h"
#include "app/window/paint_box.h"
#include "app/window/radio_group.h"
#include "dsp/eng_format.h"
#include "dsp/fft.h"
#include "model/waveform.h"

namespace {

namespace ex = app::examine;

constexpr int kCh1Waveform = 0;
constexpr int kCh1Spectrum = 2;

class ReferenceReadout : public testing_support::WindowTest {
  protected:
    testing_support::ScratchHome home;

    void SetUp() override {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                           QString::fromStdString(home.dir.string()));
        dsp::Set_decimal_separator(".");
        WindowTest::SetUp();
    }
    void TearDown() override {
        app::Clear_references();
        WindowTest::TearDown();
        dsp::Set_decimal_separator("");
    }
    static const ex::DrawnGraph& drawn(int g) {
        return ex::Examine.graphs[static_cast<size_t>(g)].drawn;
    }
    // A click at a share of the graph's width, half way up, scrolled into view.
    void click_graph(int g, double fx) const {
        const ex::DrawnGraph& d = drawn(g);
        const QPoint p(static_cast<int>(std::lround(d.left + fx * d.width)),
                       static_cast<int>(std::lround(d.bottom - 0.5 * d.height)));
        const QPoint in_content = form->PaintBox1->mapTo(form->Content, p);
        form->ScrollBox->ensureVisible(in_content.x(), in_content.y(), 10, 10);
        QTest::mouseClick(form->PaintBox1, Qt::LeftButton, {}, p);
    }
};

TEST_F(ReferenceReadout, ReadsEachReferenceAtTheCursor) {
    struct Case {
        const char* meaning;
        bool spectrum;
        double dx_steps;   // the reference's abscissas moved by sample (or line) steps
        double dv;         // and its values by volts (or amplitude)
        int last_dropped;  // samples left off the reference's end, from the cursor on
        // The expected value from the live samples j - 1 and j; NAN for "n/a".
        double (*expected)(double before, double at);
    };
    const Case cases[] = {
        {"EqualWaveformReadsTheLiveValue", false, 0, 0, 0, [](double, double at) { return at; }},
        {"RaisedWaveformReadsTheRaisedValue", false, 0, 0.25, 0,
         [](double, double at) { return at + 0.25; }},
        {"HalfAStepLaterReadsHalfWayBetweenSamples", false, 0.5, 0, 0,
         [](double before, double at) { return (before + at) / 2; }},
        {"EndingBeforeTheCursorReadsNotAvailable", false, 0, 0, 1,
         [](double, double) { return std::nan(""); }},
        {"EqualSpectrumReadsTheLiveValue", true, 0, 0, 0, [](double, double at) { return at; }},
        {"SpectrumNearlyHalfALineLaterReadsTheNearestLine", true, 0.4, 0, 0,
         [](double, double at) { return at; }},
    };
    form->RadioGroup1->setItemIndex(2);  // channel 1's waveform and spectrum
    double fx = 0.3;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.meaning);
        const int g = c.spectrum ? kCh1Spectrum : kCh1Waveform;
        // The cursor first, so that its sample is known; a new place each time, never a
        // double-click.
        click_graph(g, fx);
        fx += 0.05;
        const int32_t j = ex::Examine.graphs[static_cast<size_t>(g)].cursors.a;
        ASSERT_GT(j, 1);
        const model::SampleArray& x = c.spectrum ? dsp::Spectra[1].freq : model::Waveforms[1].time;
        const model::SampleArray& y =
            c.spectrum ? dsp::Spectra[1].amplitude : model::Waveforms[1].volts;
        const auto sj = static_cast<size_t>(j);
        const double step = x[sj] - x[sj - 1];
        app::Reference r;
        r.name = std::string(c.meaning) + ".csv";
        const int32_t last = c.last_dropped > 0 ? j - 1 : drawn(g).last;
        for (int32_t i = 1; i <= last; ++i) {
            r.x.push_back(x[static_cast<size_t>(i)] + c.dx_steps * step);
            r.y.push_back(y[static_cast<size_t>(i)] + c.dv);
        }
        ASSERT_EQ(app::Add_reference(c.spectrum ? app::ReferenceGraph::Ch1Spectrum
                                                : app::ReferenceGraph::Ch1Waveform,
                                     r),
                  "");
        form->PaintBox1->repaint();
        const std::vector<std::string> lines = ex::Readout_lines(g);
        ASSERT_EQ(lines.size(), 2u);
        const double v = c.expected(y[sj - 1], y[sj]);
        const std::string live =
            c.spectrum ? dsp::Format_si(y[sj], 4, "") : dsp::Format_si(y[sj], 4, "V");
        EXPECT_NE(lines[0].find(", " + live), std::string::npos) << lines[0];
        const std::string value =
            std::isnan(v) ? "n/a" : dsp::Format_si(v, 4, c.spectrum ? "" : "V");
        EXPECT_EQ(lines[1], "A ref: " + r.name + ": " + value);
        // The exact value, not only its four digits.
        if (!std::isnan(v)) {
            double read = 0;
            ASSERT_TRUE(ex::Reference_value(drawn(g).references.at(0), c.spectrum, x[sj], read));
            EXPECT_NEAR(read, v, 1e-12 * std::max(1.0, std::fabs(v)));
        }
        app::Clear_references();
        QTest::keyClick(form->PaintBox1, Qt::Key_Escape);
    }
}

}  // namespace
