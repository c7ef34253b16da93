// The Output Format choice and the Output button: no choice yet, the metafile, the clipboard
// and the text files, each sent by the button the operator last chose.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "app/output/output.h"
#include "app/picture/display.h"
#include "app/picture/window_state.h"
#include "model/waveform.h"
#include "recording_platform.h"
#include "vistrel/state.h"
#include "vistrel/support_recording_canvas.h"

namespace {

namespace fs = std::filesystem;
using testing_support::RecordingPaintBox;

class OutputDispatchTest : public ::testing::Test {
  protected:
    testing_support::RecordedPlatform rec;
    RecordingPaintBox box{600, 400};
    fs::path dir;
    fs::path old_cwd;
    std::string old_home;

    void SetUp() override {
        app::Window = app::WindowState{};
        vistrel::plot = vistrel::Plot{};
        char templ[] = "/tmp/hp_output_XXXXXX";
        dir = mkdtemp(templ);
        old_cwd = fs::current_path();
        fs::current_path(dir);
        old_home = std::getenv("HOME") != nullptr ? std::getenv("HOME") : "";
        setenv("HOME", dir.c_str(), 1);
        fs::create_directory(dir / "junk");
        box.on_paint = [this] { app::Display_graph(box); };

        model::Preamble.points = 100;
        model::TWaveformRecord& r = model::Waveforms[1];
        r = model::TWaveformRecord{};
        r.x_max = 1e-3;
        r.y_min = -1.28;
        r.y_max = 1.28;
        r.v_min = -1;
        r.v_max = 1;
        for (int j = 1; j <= 100; ++j) {
            r.time[j] = j * 1e-5;
            r.volts[j] = std::sin(j / 10.0);
        }
        app::Window.Show_ch1_waveform = true;
        box.repaint();
    }
    void TearDown() override {
        fs::current_path(old_cwd);
        setenv("HOME", old_home.c_str(), 1);
        fs::remove_all(dir);
        vistrel::plot = vistrel::Plot{};
    }
    std::vector<std::string> Box_texts() const {
        std::vector<std::string> texts;
        for (const auto& b : rec.platform.boxes) texts.push_back(b.text);
        return texts;
    }
};

TEST_F(OutputDispatchTest, ChoiceSetsExactlyOneFlag) {
    struct Case {
        int index;
        bool wmf, clipboard, textfile;
    };
    for (const Case& c : {Case{0, true, false, false}, Case{1, false, true, false},
                          Case{2, false, false, true}, Case{-1, false, false, false}}) {
        SCOPED_TRACE(c.index);
        app::Window = app::WindowState{};
        app::Get_output_format(c.index);
        EXPECT_EQ(app::Window.Output_wmf, c.wmf);
        EXPECT_EQ(app::Window.Output_clipboard, c.clipboard);
        EXPECT_EQ(app::Window.Output_textfile, c.textfile);
        EXPECT_TRUE(app::Window.Output_format_chosen);
    }
}

TEST_F(OutputDispatchTest, NothingChosenYet) {
    app::Output_currently_active_graphs(box);
    EXPECT_EQ(Box_texts(), std::vector<std::string>{"No output format currently selected"});
    EXPECT_EQ(rec.platform.boxes[0].kind, platform::BoxKind::Information);
    EXPECT_FALSE(fs::exists(dir / "vistrel.wmf"));
    EXPECT_EQ(box.clipboard_copies, 0);
}

TEST_F(OutputDispatchTest, MetafileThenTextFiles) {
    app::Get_output_format(0);
    const int repaints = box.repaints;
    app::Output_currently_active_graphs(box);
    ASSERT_TRUE(fs::exists(dir / "vistrel.wmf"));
    EXPECT_GT(fs::file_size(dir / "vistrel.wmf"), 268u);  // more than the empty picture
    EXPECT_EQ(box.repaints, repaints + 1);                // one recording repaint
    EXPECT_EQ(Box_texts(), std::vector<std::string>{"OK: metafile vistrel.wmf created."});
    EXPECT_FALSE(fs::exists(dir / "junk" / "waveform1_data.dat"));

    fs::remove(dir / "vistrel.wmf");
    rec.platform.boxes.clear();
    app::Get_output_format(2);
    app::Output_currently_active_graphs(box);
    EXPECT_FALSE(fs::exists(dir / "vistrel.wmf"));
    EXPECT_TRUE(fs::exists(dir / "junk" / "waveform1_data.dat"));
    EXPECT_EQ(Box_texts(), std::vector<std::string>{"Data files successfully written"});
}

TEST_F(OutputDispatchTest, ClipboardTwiceCopiesTwice) {
    app::Get_output_format(1);
    app::Output_currently_active_graphs(box);
    app::Output_currently_active_graphs(box);
    EXPECT_EQ(box.clipboard_copies, 2);
    EXPECT_EQ(Box_texts(),
              (std::vector<std::string>{"Graph copied to clipboard", "Graph copied to clipboard"}));
    EXPECT_EQ(rec.platform.boxes[1].kind, platform::BoxKind::Plain);
    EXPECT_FALSE(fs::exists(dir / "vistrel.wmf"));
}

TEST_F(OutputDispatchTest, MetafileFailureIsReportedByTheWriter) {
    fs::create_directory(dir / "vistrel.wmf");  // a folder where the file should go
    app::Get_output_format(0);
    app::Output_currently_active_graphs(box);
    ASSERT_EQ(rec.platform.boxes.size(), 1u);
    EXPECT_EQ(rec.platform.boxes[0].text, "Error opening metafile vistrel.wmf");
    EXPECT_EQ(rec.platform.boxes[0].caption, "File Error");
    EXPECT_EQ(rec.platform.beeps, 1);
}

}  // namespace
