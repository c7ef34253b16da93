// Examining the trace in the window, through the operator's wheel, drags, clicks and keys on the
// plot surface, against the simulated scope.
//
// Faults caught, one table each below:
// - the wheel zooms the wrong axis, not about the pointer, or without limit;
// - a drag pans the wrong way, a box zooms to the wrong range, double-click or Home does not
//   return to the whole graph;
// - a zoomed curve drawn outside its graph, over its neighbour; a zoomed graph without "zoom";
// - a readout one sample off the clicked sample, or with values other than the .dat file's;
//   arrows that move the wrong cursor or past the record; Esc that leaves a cursor;
// - a Refresh that loses the zoom, a display group change that keeps it;
// - a metafile that differs when nothing is (any more) zoomed or marked; a saved picture that
//   is not what the screen shows; text files that hold only the visible samples;
// - a key that does not reach its button, Enter taken from Quit;
// - Run that logs per acquisition, keeps going after a failure or after Quit, or ignores its
//   interval.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDoubleSpinBox>
#include <QPushButton>
#include <QScrollArea>
#include <QSettings>
#include <QTest>
#include <QWheelEvent>
#include <cmath>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app/examine/graph_view.h"
#include "app/examine/marks.h"
#include "app/examine/plot_examiner.h"
#include "app/examine/run_control.h"
#include "app/output/picture_export.h"
#include "app/picture/display.h"
#include "app/picture/window_state.h"
#include "app/support_window.h"
#include "app/window/main_window.h"
#include "app/window/paint_box.h"
#include "app/window/radio_group.h"
#include "dsp/eng_format.h"
#include "dsp/fft.h"
#include "model/waveform.h"
#include "scope/gpib_driver.h"
#include "vistrel/support_wmf.h"

namespace {

namespace ex = app::examine;
using testing_support::count_of;

constexpr int kCh1Waveform = 0;
constexpr int kCh1Spectrum = 2;

// The steps of the tables' rows are free functions of the fixture: everything is public.
class ExamineWindowTest : public testing_support::WindowTest {
  public:
    using WindowTest::click;
    using WindowTest::form;
    using WindowTest::sim;
    testing_support::ScratchHome home;

    void SetUp() override {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                           QString::fromStdString(home.dir.string()));
        dsp::Set_decimal_separator(".");
        WindowTest::SetUp();
    }
    void TearDown() override {
        WindowTest::TearDown();
        dsp::Set_decimal_separator("");
    }

    // Both channels' waveforms and spectra: the four-graph picture.
    void show_four_graphs() {
        form->RadioGroup1->setItemIndex(2);
        form->RadioGroup2->setItemIndex(2);
        ASSERT_TRUE(view(kCh1Waveform).drawn.valid);
    }
    static ex::GraphView& view(int g) { return ex::Examine.graphs[static_cast<size_t>(g)]; }
    static const ex::DrawnGraph& drawn(int g) { return view(g).drawn; }

    // The pixel at fractions of a graph's plot area, scrolled into view.
    QPoint at(int g, double fx, double fy) const {
        const ex::DrawnGraph& d = drawn(g);
        const QPoint p(static_cast<int>(std::lround(d.left + fx * d.width)),
                       static_cast<int>(std::lround(d.bottom - fy * d.height)));
        const QPoint in_content = form->PaintBox1->mapTo(form->Content, p);
        form->ScrollBox->ensureVisible(in_content.x(), in_content.y(), 10, 10);
        return p;
    }
    // The column of a graph's sample j.
    static int column_of(int g, int32_t j) {
        const ex::DrawnGraph& d = drawn(g);
        const double x = (*d.series[0].x)[static_cast<size_t>(j)];
        return static_cast<int>(std::lround(d.left + (x - d.x.lo) / d.x.width() * d.width));
    }

    void wheel(QPoint p, int delta, Qt::KeyboardModifiers modifiers = {}) const {
        QWheelEvent e(QPointF(p), QPointF(form->PaintBox1->mapToGlobal(p)), QPoint(),
                      QPoint(0, delta), Qt::NoButton, modifiers, Qt::NoScrollPhase, false);
        QApplication::sendEvent(form->PaintBox1, &e);
    }
    void drag(Qt::MouseButton button, QPoint from, QPoint to,
              Qt::KeyboardModifiers modifiers = {}) const {
        QWidget* w = form->PaintBox1;
        QTest::mousePress(w, button, modifiers, from);
        const QPoint mid = (from + to) / 2;
        for (const QPoint p : {mid, to}) {
            QMouseEvent move(QEvent::MouseMove, QPointF(p), QPointF(w->mapToGlobal(p)),
                             Qt::NoButton, button, modifiers);
            QApplication::sendEvent(w, &move);
        }
        QTest::mouseRelease(w, button, modifiers, to);
    }
    void click_at(QPoint p, Qt::KeyboardModifiers modifiers = {}) const {
        QTest::mouseClick(form->PaintBox1, Qt::LeftButton, modifiers, p);
    }
    void key(Qt::Key k, Qt::KeyboardModifiers modifiers = {}) const {
        QTest::keyClick(form->PaintBox1, k, modifiers);
    }
    // A box zoom on about forty samples of the channel 1 waveform, so that samples lie pixels
    // apart.
    void zoom_on_forty_samples() {
        const ex::DrawnGraph& d = drawn(kCh1Waveform);
        const double share = 40.0 / (d.last - d.first);
        drag(Qt::RightButton, at(kCh1Waveform, 0.5, 0.9), at(kCh1Waveform, 0.5 + share, 0.1));
    }

    std::vector<uint8_t> metafile() {
        choose_output(0);
        click(form->Button4);
        return wmf_support::ReadBytes((home.dir / "vistrel.wmf").string());
    }
    std::vector<std::string> metafile_texts() {
        std::vector<std::string> texts;
        for (const auto& r : wmf_support::ParseRecords(metafile())) {
            if (r.function == 0x0521 && !r.params.empty())
                texts.push_back(wmf_support::UnpackText(r.params, 1, r.params[0]));
        }
        return texts;
    }
    // Line j of a data file (the header is line 0), as numbers.
    std::vector<double> data_line(const std::string& file, int32_t j) {
        choose_output(2);
        click(form->Button4);
        std::ifstream in(home.dir / "junk" / file);
        std::string line;
        for (int32_t i = 0; i <= j; ++i) std::getline(in, line);
        std::istringstream fields(line);
        std::vector<double> numbers;
        double v = 0;
        while (fields >> v) numbers.push_back(v);
        return numbers;
    }
    // The data blocks asked for since the log was last emptied.
    int data_queries() const {
        int n = 0;
        for (const std::string& w : sim.writes()) n += w.find("DATA?") != std::string::npos;
        return n;
    }
    int red_pixels(const QRect& area) const {
        const QImage& image = form->PaintBox1->image();
        int count = 0;
        for (int y = std::max(area.top(), 0); y <= std::min(area.bottom(), image.height() - 1); ++y)
            for (int x = std::max(area.left(), 0); x <= std::min(area.right(), image.width() - 1);
                 ++x)
                count += image.pixel(x, y) == qRgb(255, 0, 0);
        return count;
    }
};

// ---- Zoom ----------------------------------------------------------------------------------

TEST_F(ExamineWindowTest, WheelZoomsAboutThePointerWithinLimits) {
    show_four_graphs();
    struct Case {
        const char* name;
        int notches;
        Qt::KeyboardModifiers modifiers;
        double x_ratio;  // visible width over whole width after the wheel
        double y_ratio;
    };
    const Case cases[] = {
        {"one_notch_in_zooms_time_by_1_25", 1, {}, 1 / 1.25, 1},
        {"two_notches_in", 2, {}, 1 / (1.25 * 1.25), 1},
        {"one_notch_out", -1, {}, 1.25, 1},
        {"far_out_stops_at_four_records", -40, {}, 4, 1},
        {"shift_zooms_the_value_axis", 1, Qt::ShiftModifier, 1, 1 / 1.25},
        {"far_in_on_values_stops_at_a_64th", 60, Qt::ShiftModifier, 1, 1.0 / 64},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        key(Qt::Key_Home);
        const QPoint p = at(kCh1Waveform, 0.25, 0.75);
        const double x_before = ex::X_at(drawn(kCh1Waveform), p.x());
        const double y_before = ex::Y_at(drawn(kCh1Waveform), p.y());
        for (int i = 0; i < std::abs(c.notches); ++i)
            wheel(p, c.notches > 0 ? 120 : -120, c.modifiers);
        const ex::DrawnGraph& d = drawn(kCh1Waveform);
        EXPECT_NEAR(d.x.width() / d.whole_x.width(), c.x_ratio, 1e-6);
        EXPECT_NEAR(d.y.width() / d.whole_y.width(), c.y_ratio, 1e-6);
        if (std::abs(c.notches) < 10) {
            // The value under the pointer stays under it, to the pixel.
            EXPECT_NEAR(ex::X_at(d, p.x()), x_before, d.x.width() / d.width);
            EXPECT_NEAR(ex::Y_at(d, p.y()), y_before, d.y.width() / d.height);
        }
    }
}

TEST_F(ExamineWindowTest, WheelBeyondFourSamplesStopsThere) {
    show_four_graphs();
    const QPoint p = at(kCh1Waveform, 0.5, 0.5);
    for (int i = 0; i < 80; ++i) wheel(p, 120);
    const ex::DrawnGraph& d = drawn(kCh1Waveform);
    EXPECT_NEAR(d.x.width(), 4 * ex::Sample_step(d), 1e-12);
}

TEST_F(ExamineWindowTest, DragsAndResets) {
    show_four_graphs();
    struct Case {
        const char* name;
        void (*act)(ExamineWindowTest&);
        double x_lo, x_hi;  // expected visible range as shares of the whole
        bool zoomed;
    };
    const Case cases[] = {
        {"left_drag_pans_time_by_the_dragged_distance",
         [](ExamineWindowTest& t) {
             t.wheel(t.at(kCh1Waveform, 0.5, 0.5), 120);  // 0.1 .. 0.9
             t.drag(Qt::LeftButton, t.at(kCh1Waveform, 0.5, 0.5), t.at(kCh1Waveform, 0.4, 0.5));
         },
         0.18, 0.98, true},
        {"right_drag_zooms_to_the_box",
         [](ExamineWindowTest& t) {
             t.drag(Qt::RightButton, t.at(kCh1Waveform, 0.2, 0.8), t.at(kCh1Waveform, 0.6, 0.2));
         },
         0.2, 0.6, true},
        {"ctrl_left_drag_zooms_to_the_box_drawn_right_to_left",
         [](ExamineWindowTest& t) {
             t.drag(Qt::LeftButton, t.at(kCh1Waveform, 0.7, 0.8), t.at(kCh1Waveform, 0.3, 0.2),
                    Qt::ControlModifier);
         },
         0.3, 0.7, true},
        {"double_click_returns_to_the_whole_graph",
         [](ExamineWindowTest& t) {
             t.wheel(t.at(kCh1Waveform, 0.5, 0.5), 120);
             QTest::mouseDClick(t.form->PaintBox1, Qt::LeftButton, {},
                                t.at(kCh1Waveform, 0.5, 0.5));
         },
         0, 1, false},
        {"double_click_places_no_cursor",
         [](ExamineWindowTest& t) {
             t.key(Qt::Key_Escape);
             QTest::mouseDClick(t.form->PaintBox1, Qt::LeftButton, {},
                                t.at(kCh1Waveform, 0.5, 0.5));
             EXPECT_EQ(view(kCh1Waveform).cursors, ex::Cursors{});
         },
         0, 1, false},
        {"home_over_the_graph_returns_to_the_whole_graph",
         [](ExamineWindowTest& t) {
             t.wheel(t.at(kCh1Waveform, 0.5, 0.5), 120);
             t.key(Qt::Key_Home);
         },
         0, 1, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ex::Reset_zoom(view(kCh1Waveform));
        form->PaintBox1->repaint();
        c.act(*this);
        const ex::DrawnGraph& d = drawn(kCh1Waveform);
        const double pixel = d.whole_x.width() / d.width;
        EXPECT_NEAR(d.x.lo, d.whole_x.lo + c.x_lo * d.whole_x.width(), 1.5 * pixel);
        EXPECT_NEAR(d.x.hi, d.whole_x.lo + c.x_hi * d.whole_x.width(), 1.5 * pixel);
        EXPECT_EQ(ex::Zoomed(view(kCh1Waveform)), c.zoomed);
        // The other graphs keep their own view.
        EXPECT_FALSE(ex::Zoomed(view(kCh1Spectrum)));
    }
}

TEST_F(ExamineWindowTest, ZoomedCurveStaysInItsGraphAndTheTitleSaysZoom) {
    show_four_graphs();
    const ex::DrawnGraph& d = drawn(kCh1Waveform);
    const QRect right_of_graph(d.left + d.width + 1, d.bottom - d.height, 2000, d.height);
    const QRect under_graph(d.left, d.bottom + 1, d.width, 30);
    EXPECT_EQ(red_pixels(right_of_graph) + red_pixels(under_graph), 0) << "before the zoom";
    zoom_on_forty_samples();
    ASSERT_TRUE(ex::Zoomed(view(kCh1Waveform)));
    EXPECT_GT(red_pixels(QRect(d.left, d.bottom - d.height, d.width, d.height)), 0);
    EXPECT_EQ(red_pixels(right_of_graph), 0);
    EXPECT_EQ(red_pixels(under_graph), 0);
    const std::vector<std::string> texts = metafile_texts();
    EXPECT_EQ(count_of(texts, app::Channel_title(1) + "   zoom"), 1);
    EXPECT_EQ(count_of(texts, "FFT for Ch 1"), 1) << "a graph not zoomed keeps its title";
}

TEST_F(ExamineWindowTest, RefreshKeepsTheZoomAndADisplayChangeResetsIt) {
    show_four_graphs();
    zoom_on_forty_samples();
    const ex::Span zoomed = drawn(kCh1Waveform).x;
    struct Case {
        const char* name;
        void (*act)(ExamineWindowTest&);
        bool kept;
    };
    const Case cases[] = {
        {"refresh_keeps_it", [](ExamineWindowTest& t) { t.form->Button1->click(); }, true},
        {"f5_keeps_it", [](ExamineWindowTest& t) { QTest::keyClick(t.form.get(), Qt::Key_F5); },
         true},
        {"averaging_change_keeps_it",
         [](ExamineWindowTest& t) { t.form->RadioGroup8->setItemIndex(1); }, true},
        {"display_group_change_resets_it",
         [](ExamineWindowTest& t) { t.form->RadioGroup1->setItemIndex(0); }, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        c.act(*this);
        EXPECT_EQ(ex::Zoomed(view(kCh1Waveform)), c.kept);
        EXPECT_EQ(drawn(kCh1Waveform).x == zoomed, c.kept);
    }
}

// ---- Cursors -------------------------------------------------------------------------------

TEST_F(ExamineWindowTest, ReadoutHoldsTheDataFilesValuesOfTheClickedSample) {
    show_four_graphs();
    zoom_on_forty_samples();
    const ex::DrawnGraph& d = drawn(kCh1Waveform);
    const int32_t j = d.first + (d.last - d.first) / 2 + 7;
    const int32_t k = j + 5;
    const int row = at(kCh1Waveform, 0.5, 0.5).y();
    click_at(QPoint(column_of(kCh1Waveform, j), row));
    click_at(QPoint(column_of(kCh1Waveform, k), row), Qt::ShiftModifier);
    ASSERT_EQ(view(kCh1Waveform).cursors, (ex::Cursors{j, k, 'B'}));
    const std::vector<double> a = data_line("waveform1_data.dat", j);
    const std::vector<double> b = data_line("waveform1_data.dat", k);
    ASSERT_EQ(a.size(), 3u);
    ASSERT_EQ(b.size(), 3u);
    const std::vector<std::string> lines = ex::Readout_lines(kCh1Waveform);
    const std::vector<std::string> expected = {
        "A: " + dsp::Format_si(a[1], 4, "s") + ", " + dsp::Format_si(a[2], 4, "V"),
        "B: " + dsp::Format_si(b[1], 4, "s") + ", " + dsp::Format_si(b[2], 4, "V"),
        "dt: " + dsp::Format_si(b[1] - a[1], 4, "s"),
        "1/dt: " + dsp::Format_si(1 / (b[1] - a[1]), 4, "Hz"),
        "dv: " + dsp::Format_si(b[2] - a[2], 4, "V"),
    };
    EXPECT_EQ(lines, expected);
    // The picture shows them: the metafile has the readout's texts.
    const std::vector<std::string> texts = metafile_texts();
    for (const std::string& line : expected) EXPECT_EQ(count_of(texts, line), 1) << line;
}

TEST_F(ExamineWindowTest, SpectrumReadoutHoldsTheFftFilesValues) {
    show_four_graphs();
    const ex::DrawnGraph& d = drawn(kCh1Spectrum);
    const int row = at(kCh1Spectrum, 0.5, 0.5).y();
    click_at(QPoint(column_of(kCh1Spectrum, 11), row));
    click_at(QPoint(column_of(kCh1Spectrum, 30), row), Qt::ShiftModifier);
    ASSERT_EQ(view(kCh1Spectrum).cursors, (ex::Cursors{11, 30, 'B'}));
    ASSERT_TRUE(d.spectrum);
    const std::vector<double> a = data_line("fft1_data.dat", 11);
    const std::vector<double> b = data_line("fft1_data.dat", 30);
    ASSERT_EQ(a.size(), 2u);
    const std::vector<std::string> expected = {
        "A: " + dsp::Format_si(a[0], 4, "Hz") + ", " + dsp::Format_si(a[1], 4, ""),
        "B: " + dsp::Format_si(b[0], 4, "Hz") + ", " + dsp::Format_si(b[1], 4, ""),
        "df: " + dsp::Format_si(b[0] - a[0], 4, "Hz"),
    };
    EXPECT_EQ(ex::Readout_lines(kCh1Spectrum), expected);
}

TEST_F(ExamineWindowTest, BothChannelsReadoutInTheCombinedDisplay) {
    form->RadioGroup3->setItemIndex(0);  // "Ch 1 and Ch 2"
    ASSERT_EQ(app::Window.Combined_display, 1);
    click_at(at(kCh1Waveform, 0.5, 0.5));
    const int32_t j = view(kCh1Waveform).cursors.a;
    ASSERT_GT(j, 0);
    const auto sj = static_cast<size_t>(j);
    const std::vector<std::string> expected = {
        "A: " + dsp::Format_si(model::Waveforms[1].time[sj], 4, "s") + ", Ch 1 " +
        dsp::Format_si(model::Waveforms[1].volts[sj], 4, "V") + ", Ch 2 " +
        dsp::Format_si(model::Waveforms[2].volts[sj], 4, "V")};
    EXPECT_EQ(ex::Readout_lines(kCh1Waveform), expected);
}

TEST_F(ExamineWindowTest, KeysMoveAndRemoveTheCursors) {
    show_four_graphs();
    const QPoint p = at(kCh1Waveform, 0.5, 0.5);
    const int32_t c = ex::Nearest_sample(drawn(kCh1Waveform), ex::X_at(drawn(kCh1Waveform), p.x()));
    ASSERT_GT(c, 2);
    struct Case {
        const char* name;
        void (*act)(ExamineWindowTest&, QPoint);
        int32_t a, b;  // offsets from the clicked sample; kNone: not placed
        char last;
    };
    constexpr int32_t kNone = 1000000;
    const Case cases[] = {
        {"click_places_a", [](ExamineWindowTest& t, QPoint q) { t.click_at(q); }, 0, kNone, 'A'},
        {"right_moves_a_one_sample", [](ExamineWindowTest& t, QPoint) { t.key(Qt::Key_Right); }, 1,
         kNone, 'A'},
        {"shift_click_places_b",
         [](ExamineWindowTest& t, QPoint q) { t.click_at(q, Qt::ShiftModifier); }, 1, 0, 'B'},
        {"left_moves_b_the_last_placed",
         [](ExamineWindowTest& t, QPoint) {
             t.key(Qt::Key_Left);
             t.key(Qt::Key_Left);
         },
         1, -2, 'B'},
        {"escape_removes_both", [](ExamineWindowTest& t, QPoint) { t.key(Qt::Key_Escape); }, kNone,
         kNone, 0},
        {"arrows_without_cursors_do_nothing",
         [](ExamineWindowTest& t, QPoint) { t.key(Qt::Key_Right); }, kNone, kNone, 0},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        k.act(*this, p);
        const ex::Cursors expected{k.a == kNone ? 0 : c + k.a, k.b == kNone ? 0 : c + k.b, k.last};
        EXPECT_EQ(view(kCh1Waveform).cursors, expected);
    }
}

TEST_F(ExamineWindowTest, ArrowsStopAtTheEndsOfTheRecord) {
    show_four_graphs();
    const ex::DrawnGraph& d = drawn(kCh1Waveform);
    click_at(at(kCh1Waveform, 0.0, 0.5));
    ASSERT_EQ(view(kCh1Waveform).cursors.a, d.first);
    key(Qt::Key_Left);
    EXPECT_EQ(view(kCh1Waveform).cursors.a, d.first) << "before the first sample";
    click_at(at(kCh1Waveform, 1.0, 0.5));
    ASSERT_EQ(view(kCh1Waveform).cursors.a, d.last);
    key(Qt::Key_Right);
    EXPECT_EQ(view(kCh1Waveform).cursors.a, d.last) << "after the last sample";
}

// ---- Nothing used: nothing changed ----------------------------------------------------------

TEST_F(ExamineWindowTest, MetafileIsTheSameOnceNothingIsZoomedOrMarked) {
    show_four_graphs();
    const std::vector<uint8_t> untouched = metafile();
    ASSERT_GT(untouched.size(), 1000u);
    struct Case {
        const char* name;
        void (*act)(ExamineWindowTest&);
    };
    const Case cases[] = {
        {"zoomed_then_home",
         [](ExamineWindowTest& t) {
             t.wheel(t.at(kCh1Waveform, 0.3, 0.3), 360);
             t.key(Qt::Key_Home);
         }},
        {"box_then_double_click",
         [](ExamineWindowTest& t) {
             t.drag(Qt::RightButton, t.at(kCh1Spectrum, 0.2, 0.8), t.at(kCh1Spectrum, 0.6, 0.2));
             QTest::mouseDClick(t.form->PaintBox1, Qt::LeftButton, {},
                                t.at(kCh1Spectrum, 0.5, 0.5));
             t.key(Qt::Key_Escape);
         }},
        {"cursors_then_escape",
         [](ExamineWindowTest& t) {
             t.click_at(t.at(kCh1Waveform, 0.3, 0.3));
             t.click_at(t.at(kCh1Waveform, 0.6, 0.3), Qt::ShiftModifier);
             t.key(Qt::Key_Escape);
         }},
        {"wheel_outside_every_graph", [](ExamineWindowTest& t) { t.wheel(QPoint(2, 2), 120); }},
        {"run_started_and_stopped_with_nothing_new",
         [](ExamineWindowTest& t) { t.form->Run->stop(); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        c.act(*this);
        EXPECT_EQ(metafile(), untouched);
    }
}

TEST_F(ExamineWindowTest, SavedPictureShowsTheZoomAndCursorsAsTheScreen) {
    show_four_graphs();
    zoom_on_forty_samples();
    click_at(at(kCh1Waveform, 0.4, 0.5));
    click_at(at(kCh1Waveform, 0.6, 0.5), Qt::ShiftModifier);
    const std::string path = (home.dir / "shown.png").string();
    ASSERT_EQ(app::Save_picture(app::PictureFormat::Png, path, form->PaintBox1->width(),
                                form->PaintBox1->height()),
              "");
    const QImage saved = QImage(QString::fromStdString(path)).convertToFormat(QImage::Format_RGB32);
    const QImage shown = form->PaintBox1->image().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(saved, shown);
    EXPECT_EQ(view(kCh1Waveform).cursors.last, 'B') << "saving changed nothing examined";
    EXPECT_TRUE(ex::Zoomed(view(kCh1Waveform)));
}

TEST_F(ExamineWindowTest, TextFilesHoldEverySampleWhenZoomed) {
    show_four_graphs();
    zoom_on_forty_samples();
    const int32_t points = model::Preamble.points;
    ASSERT_GT(points, 100);
    EXPECT_EQ(data_line("waveform1_data.dat", points).size(), 3u) << "the last sample";
    EXPECT_EQ(data_line("waveform1_data.dat", 1).size(), 3u) << "the first sample";
    EXPECT_EQ(data_line("waveform1_data.dat", points + 1).size(), 0u) << "nothing after";
}

// ---- Keys ----------------------------------------------------------------------------------

TEST_F(ExamineWindowTest, TooltipsNameTheKeys) {
    struct Case {
        const char* name;
        QWidget* control;
        const char* key;
    };
    const Case cases[] = {
        {"refresh", form->Button1, "F5"},
        {"save_as", form->SaveAsButton, "Ctrl+S"},
        {"connection", form->ConnectionButton, "Ctrl+K"},
        {"run", form->Run->button(), "Ctrl+R"},
        {"quit", form->Button2, "Enter"},
        {"plot_surface_home", form->PaintBox1, "Home"},
        {"plot_surface_escape", form->PaintBox1, "Esc"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_TRUE(c.control->toolTip().contains(QString::fromLatin1(c.key)))
            << c.control->toolTip().toStdString();
    }
}

TEST_F(ExamineWindowTest, EnterOnThePlotSurfaceStillPressesQuit) {
    show_four_graphs();
    click_at(at(kCh1Waveform, 0.5, 0.5));
    ASSERT_TRUE(form->PaintBox1->hasFocus() || !QApplication::focusWidget());
    key(Qt::Key_Return);
    EXPECT_FALSE(form->isVisible());
    EXPECT_FALSE(scope::Gpib_library_loaded());
}

TEST_F(ExamineWindowTest, F5AndCtrlRReachTheirButtons) {
    show_four_graphs();
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    sim.clear_log();
    QTest::keyClick(form.get(), Qt::Key_F5);
    EXPECT_EQ(data_queries(), 2) << "one Refresh of both channels";
    QTest::keyClick(form.get(), Qt::Key_R, Qt::ControlModifier);
    EXPECT_TRUE(form->Run->running());
    QTest::keyClick(form.get(), Qt::Key_R, Qt::ControlModifier);
    EXPECT_FALSE(form->Run->running());
}

// ---- Run -----------------------------------------------------------------------------------

TEST_F(ExamineWindowTest, RunRepeatsRefreshAndLogsOnceAtStartAndStop) {
    show_four_graphs();
    sim.clear_log();
    const size_t lines_before = status_lines().size();
    form->Run->interval_box()->setValue(0);
    click(form->Run->button());
    ASSERT_TRUE(form->Run->running());
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->Run->acquisitions() >= 3; }, 20000));
    click(form->Run->button());
    EXPECT_FALSE(form->Run->running());
    const long n = form->Run->acquisitions();
    QTest::qWait(50);
    EXPECT_EQ(form->Run->acquisitions(), n) << "nothing after the stop";
    EXPECT_EQ(data_queries(), 2 * n);
    const std::vector<std::string> lines = status_lines();
    const std::vector<std::string> added(lines.begin() + static_cast<long>(lines_before),
                                         lines.end());
    EXPECT_EQ(added, (std::vector<std::string>{
                         "Run: Refresh after each acquisition",
                         "Run stopped after " + std::to_string(n) + " acquisitions"}));
}

TEST_F(ExamineWindowTest, RunStops) {
    show_four_graphs();
    struct Case {
        const char* name;
        double interval;
        void (*act)(ExamineWindowTest&);
        bool failed;
        bool closed;
    };
    const Case cases[] = {
        {"on_a_second_press", 0,
         [](ExamineWindowTest& t) {
             EXPECT_TRUE(QTest::qWaitFor([&] { return t.form->Run->acquisitions() >= 1; }, 20000));
             t.click(t.form->Run->button());
         },
         false, false},
        {"on_quit_before_the_scope_is_left", 60,
         [](ExamineWindowTest& t) { t.click(t.form->Button2); }, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        form->Run->interval_box()->setValue(c.interval);
        form->Run->start();
        c.act(*this);
        EXPECT_FALSE(form->Run->running());
        EXPECT_FALSE(form->Run->button()->isChecked());
        EXPECT_EQ(form->Run->failed(), c.failed);
        EXPECT_EQ(form->isVisible(), !c.closed);
        const long n = form->Run->acquisitions();
        QTest::qWait(30);
        EXPECT_EQ(form->Run->acquisitions(), n) << "no acquisition after the stop";
    }
    EXPECT_EQ(recorded.platform.stops, 0);
}

TEST_F(ExamineWindowTest, RunStopsOnAFailedAcquisitionThroughTheFatalPath) {
    // The eighth data query of the connection fails: in the run's third acquisition (the
    // display groups asked for two).
    sim.set("HP_SIM_FAIL_WRITE", "DATA?@8");
    show_four_graphs();
    ASSERT_EQ(data_queries(), 2);
    form->Run->interval_box()->setValue(0);
    form->Run->start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !form->Run->running(); }, 20000));
    EXPECT_TRUE(form->Run->failed());
    EXPECT_EQ(form->Run->acquisitions(), 2) << "the third failed";
    EXPECT_EQ(recorded.platform.stops, 1) << "the failure took the fatal path";
    EXPECT_FALSE(recorded.platform.boxes.empty()) << "and its message boxes";
    const long n = form->Run->acquisitions();
    QTest::qWait(30);
    EXPECT_EQ(form->Run->acquisitions(), n) << "no acquisition after the failure";
    EXPECT_EQ(count_of(status_lines(), "Run stopped after " + std::to_string(n) +
                                           (n == 1 ? " acquisition" : " acquisitions")),
              1);
}

TEST_F(ExamineWindowTest, RunWaitsItsIntervalBetweenAcquisitions) {
    show_four_graphs();
    form->Run->interval_box()->setValue(60);
    form->Run->start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->Run->acquisitions() >= 1; }, 20000));
    QTest::qWait(100);
    EXPECT_EQ(form->Run->acquisitions(), 1) << "the next one is a minute away";
    EXPECT_EQ(count_of(status_lines(), "Run: Refresh every 60.0 s"), 1);
    form->Run->stop();
}

TEST(RunInterval, EnteredValuesAreHeldToTheirLimits) {
    struct Case {
        const char* name;
        double entered;
        double interval;
    };
    const Case cases[] = {
        {"zero_is_at_once", 0, 0},      {"below_half_a_second_is_half", 0.2, 0.5},
        {"inside_stays", 2.5, 2.5},     {"above_a_minute_is_a_minute", 75, 60},
        {"negative_is_at_once", -1, 0}, {"not_a_number_is_at_once", NAN, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(app::examine::Interval_of(c.entered), c.interval);
    }
}

TEST_F(ExamineWindowTest, IntervalIsKeptInTheSettingsOnlyWhenChanged) {
    const std::filesystem::path file = home.dir / "hp54200a" / "hp54200a.conf";
    QDoubleSpinBox* box = form->Run->interval_box();
    form->ScrollBox->ensureWidgetVisible(box);
    box->setFocus();
    QTest::keyClick(box, Qt::Key_Return);  // edited without a change
    EXPECT_FALSE(std::filesystem::exists(file)) << "nothing written for an unchanged value";
    box->selectAll();
    QTest::keyClicks(box, "2.5");
    QTest::keyClick(box, Qt::Key_Return);
    ASSERT_EQ(box->value(), 2.5);
    EXPECT_TRUE(form->isVisible()) << "Enter in the field sets the interval, not Quit";
    ASSERT_TRUE(std::filesystem::exists(file));
    const QSettings settings(QStringLiteral("hp54200a"), QStringLiteral("hp54200a"));
    EXPECT_EQ(settings.value(QString::fromLatin1(ex::kIntervalKey)).toDouble(), 2.5);
    // The next window starts with it.
    form = std::make_unique<app::TForm1>();
    EXPECT_EQ(form->Run->interval_box()->value(), 2.5);
}

}  // namespace
