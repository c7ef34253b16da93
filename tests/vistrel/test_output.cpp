// Metafile output of the plotting unit: the recording repaint, the file's name, what the operator
// is told on success and on every kind of failure, and the clipboard bitmap.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <algorithm>
#include <csignal>
#include <filesystem>
#include <string>

#include "app/canvas/qt_canvas.h"
#include "support_recording_canvas.h"
#include "support_wmf.h"
#include "tests/recording_platform.h"
#include "vistrel/axes.h"
#include "vistrel/curves.h"
#include "vistrel/metafile.h"
#include "vistrel/output.h"
#include "vistrel/state.h"
#include "vistrel/title.h"

namespace {

using testing_support::RecordedPlatform;
using testing_support::RecordingPaintBox;

// Runs the test in its own directory, so that the default name lands there.
class OutputTest : public ::testing::Test {
  protected:
    void SetUp() override {
        previous_dir = std::filesystem::current_path();
        std::filesystem::current_path(dir.path());
        vistrel::ReleaseMetafileWriter();
        vistrel::metafile = vistrel::MetafileState{};
        vistrel::plot = vistrel::Plot{};
        box.on_paint = [this] {
            recording_during_paint = vistrel::plot.MetafileRecording;
            vistrel::InitPlotSurface(box, 0xFFFFFF, 0, 1.1f);
        };
        // The window paints the surface once before any output can be asked for.
        box.repaint();
    }
    void TearDown() override {
        std::filesystem::current_path(previous_dir);
        vistrel::ReleaseMetafileWriter();
        vistrel::plot = vistrel::Plot{};
    }

    wmf_support::TempDir dir;
    std::filesystem::path previous_dir;
    RecordingPaintBox box{600, 400};
    bool recording_during_paint = false;
};

struct NameCase {
    const char* name;
    std::string given;
    std::string written;
};

class MetafileNameTest : public OutputTest, public ::testing::WithParamInterface<NameCase> {};

TEST_P(MetafileNameTest, ExtensionForcedAndNamedInTheConfirmation) {
    const NameCase& c = GetParam();
    std::filesystem::create_directory("plots.d");
    RecordedPlatform recorded;
    bool ok = false;
    vistrel::SavePlotAsMetafile(c.given, true, ok);
    EXPECT_TRUE(ok);
    EXPECT_TRUE(std::filesystem::exists(c.written));
    EXPECT_EQ(vistrel::metafile.MetaFileName, c.written);
    ASSERT_EQ(recorded.platform.boxes.size(), 1u);
    EXPECT_EQ(recorded.platform.boxes[0].kind, platform::BoxKind::Plain);
    EXPECT_EQ(recorded.platform.boxes[0].text, "OK: metafile " + c.written + " created.");
    EXPECT_EQ(recorded.platform.beeps, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Names, MetafileNameTest,
    ::testing::Values(NameCase{"EmptyGivesDefault", "", "vistrel.wmf"},
                      NameCase{"NoExtensionAppended", "scope", "scope.wmf"},
                      NameCase{"OtherExtensionReplaced", "scope.txt", "scope.wmf"},
                      NameCase{"OnlyTheLastExtension", "scope.1.bmp", "scope.1.wmf"},
                      NameCase{"WmfKept", "scope.wmf", "scope.wmf"},
                      NameCase{"DotInFolderIsNoExtension", "plots.d/scope", "plots.d/scope.wmf"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(OutputTest, RecordingRepaintWritesThePictureOnce) {
    RecordedPlatform recorded;
    const int repaints_before = box.repaints;
    bool ok = false;
    vistrel::SavePlotAsMetafile("", false, ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(box.repaints, repaints_before + 1);
    EXPECT_TRUE(recording_during_paint);
    EXPECT_FALSE(vistrel::plot.MetafileRecording);
    EXPECT_TRUE(recorded.platform.boxes.empty());

    // A picture with nothing after InitPlotSurface, in Arial: the prologue and the end record.
    const auto bytes = wmf_support::ReadBytes("vistrel.wmf");
    EXPECT_EQ(bytes.size(), 268u);
    EXPECT_EQ(vistrel::metafile.MetaMaxRecord, 17);
    EXPECT_EQ(wmf_support::WordAt(bytes, 10), 600);
    EXPECT_EQ(wmf_support::WordAt(bytes, 12), 400);
    EXPECT_EQ(wmf_support::WordAt(bytes, 14), 96);
    EXPECT_EQ(wmf_support::WordAt(bytes, 20), 0x54B9);
    const auto records = wmf_support::ParseRecords(bytes);
    ASSERT_EQ(records.size(), 16u);
    EXPECT_EQ(records[9].function, vistrel::MetaCreateFontIndirect);
    EXPECT_EQ(wmf_support::UnpackText(records[9].params, 9, 6), std::string("Arial") + '\0');

    // Saved again under the same name: the file is rewritten, not appended to.
    vistrel::SavePlotAsMetafile("", false, ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ(wmf_support::ReadBytes("vistrel.wmf").size(), 268u);
}

TEST_F(OutputTest, ErrorsBeepAndReportWhateverTheMessages) {
    std::filesystem::create_symlink("/dev/full", "full.wmf");
    const struct {
        const char* name;
        std::string file;
        bool messages;
        std::string text;
        bool repainted;
    } cases[] = {
        {"MissingFolder", "no/such/folder/plot", true,
         "Error opening metafile no/such/folder/plot.wmf", false},
        {"MissingFolderQuiet", "no/such/folder/plot", false, "", false},
        {"DeviceFull", "full.txt", true, "Error writing metafile full.wmf", true},
        {"DeviceFullQuiet", "full", false, "", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RecordedPlatform recorded;
        const int repaints_before = box.repaints;
        bool ok = true;
        vistrel::SavePlotAsMetafile(c.file, c.messages, ok);
        EXPECT_FALSE(ok);
        EXPECT_EQ(recorded.platform.beeps, 1);
        EXPECT_EQ(box.repaints, repaints_before + (c.repainted ? 1 : 0));
        EXPECT_FALSE(vistrel::plot.MetafileRecording);
        if (c.messages) {
            ASSERT_EQ(recorded.platform.boxes.size(), 1u);
            EXPECT_EQ(recorded.platform.boxes[0].kind, platform::BoxKind::Error);
            EXPECT_EQ(recorded.platform.boxes[0].caption, "File Error");
            EXPECT_EQ(recorded.platform.boxes[0].text, c.text);
        } else {
            EXPECT_TRUE(recorded.platform.boxes.empty());
        }
    }
}

// A process that may write no more than a few hundred bytes: the file is cut short, which the
// size check must see. Runs in a child so the limit does not reach the test runner.
TEST_F(OutputTest, FileCutShortByTheSizeLimitIsAWriteError) {
    enum Outcome { Reported = 0, ReportedOk = 10, NoBox, WrongBox, NoBeep, Crashed };
    const pid_t child = fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);  // a write beyond the limit fails instead of killing
        const rlimit limit{200, 200};
        setrlimit(RLIMIT_FSIZE, &limit);
        RecordedPlatform recorded;
        bool ok = true;
        vistrel::SavePlotAsMetafile("limited", true, ok);
        int outcome = Reported;
        if (ok) {
            outcome = ReportedOk;
        } else if (recorded.platform.boxes.size() != 1) {
            outcome = NoBox;
        } else if (recorded.platform.boxes[0].text != "Error writing metafile limited.wmf" ||
                   recorded.platform.boxes[0].caption != "File Error") {
            outcome = WrongBox;
        } else if (recorded.platform.beeps != 1) {
            outcome = NoBeep;
        }
        _exit(outcome);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "child ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), Reported);
    // The file is left as written: cut at the limit.
    EXPECT_EQ(std::filesystem::file_size("limited.wmf"), 200u);
}

// A whole graph drawn by the unit's axes, curve and title, recorded and read back by libwmf:
// the records chain up to the declared size, and libwmf shows every text the file holds.
TEST_F(OutputTest, RecordedGraphIsReadBackWhole) {
    box.on_paint = [this] {
        vistrel::InitPlotSurface(box, 0xFFFFFF, 0, 1.1f);
        vistrel::DefineGraph(0, 100, 5, 100, 40, 0, 0, 40, true);
        vistrel::DrawXAxis(0, "time (milliseconds)", true, 0.0f, 10.0f, 0, 0, false, false);
        vistrel::DrawYAxis(0, "voltage", 1, -1.0f, 1.0f, 0, 0, true, false, false);
        box.canvas().set_pen_width(1);
        box.canvas().set_pen_colour(0x0000FF);
        vistrel::PlotMoveTo(0.0f, 0.0f);
        for (int j = 1; j <= 50; ++j) {
            vistrel::PlotLineTo(0.2f * j, (j % 7 - 3) / 4.0f);
        }
        vistrel::DrawGraphTitle(0x0000FF, "CHANNEL 1  [invalid measurement data]");
        vistrel::FinishPlot();
    };
    RecordedPlatform recorded;
    bool ok = false;
    vistrel::SavePlotAsMetafile("graph", false, ok);
    ASSERT_TRUE(ok);

    const auto bytes = wmf_support::ReadBytes("graph.wmf");
    const auto records = wmf_support::ParseRecords(bytes);
    std::uint32_t words = 20;
    std::uint32_t largest = 0;
    std::vector<std::string> texts;
    int pixels = 0;
    for (const auto& r : records) {
        words += r.size;
        largest = std::max(largest, r.size);
        if (r.function == vistrel::MetaTextOut) {
            texts.push_back(wmf_support::UnpackText(r.params, 1, r.params[0]));
        }
        if (r.function == vistrel::MetaSetPixel)
            ++pixels;
    }
    ASSERT_FALSE(records.empty());
    EXPECT_EQ(records.back().function, vistrel::MetaEof);
    EXPECT_EQ(words, wmf_support::DwordAt(bytes, 28));
    EXPECT_EQ(largest, wmf_support::DwordAt(bytes, 34));
    EXPECT_EQ(pixels, 1);  // the end pixel of the one-pixel curve
    ASSERT_GT(texts.size(), 5u);
    EXPECT_EQ(texts.back(), "CHANNEL 1  [invalid measurement data]");

    const auto svg = wmf_support::ConvertToSvg("graph.wmf");
    ASSERT_EQ(svg.status, 0) << svg.errors;
    EXPECT_EQ(wmf_support::TextContents(svg.svg), texts);
}

TEST_F(OutputTest, StopWithoutAnOpenFileIsNoSuccess) {
    bool ok = true;
    vistrel::StopMetafileRecording(ok);
    EXPECT_FALSE(ok);
    EXPECT_FALSE(vistrel::plot.MetafileRecording);
}

TEST_F(OutputTest, ClipboardCopyReportsNothing) {
    RecordedPlatform recorded;
    vistrel::CopyPlotToClipboard();
    EXPECT_EQ(box.clipboard_copies, 1);
    EXPECT_TRUE(recorded.platform.boxes.empty());
    EXPECT_EQ(recorded.platform.beeps, 0);
}

TEST(ClipboardTest, BitmapHasThePaintBoxSizeAndPixels) {
    testing_support::EnsureGuiApplication();
    vistrel::plot = vistrel::Plot{};
    app::ImagePaintBox box(321, 123);
    box.set_paint_handler([&box] {
        vistrel::InitPlotSurface(box, 0xFFFFFF, 0, 1.1f);
        box.canvas().set_pen_colour(0x0000FF);
        box.canvas().move_to(10, 100);
        box.canvas().line_to(300, 20);
        box.canvas().set_pixel(5, 5, 0x00FF00);
    });
    box.repaint();
    QGuiApplication::clipboard()->clear();
    vistrel::CopyPlotToClipboard();
    const QImage copied = QGuiApplication::clipboard()->image();
    ASSERT_FALSE(copied.isNull()) << "the offscreen clipboard holds no image";
    EXPECT_EQ(copied.size(), QSize(321, 123));
    const QImage shown = box.image().convertToFormat(QImage::Format_RGB32);
    const QImage got = copied.convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(got, shown);
    EXPECT_EQ(got.pixel(5, 5) & 0xFFFFFF, 0x00FF00u);  // the green pixel, as red-green-blue
    vistrel::plot = vistrel::Plot{};
}

}  // namespace
