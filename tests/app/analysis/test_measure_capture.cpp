// "hp54200a capture --measure": the measurements window's table as CSV, to standard output or a
// file, the same as the window measures for the same choices; numbered files when repeated; a
// reference's rows after the live ones.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app/analysis/measure_table.h"
#include "app/support_window.h"
#include "app/window/radio_group.h"

namespace {

namespace fs = std::filesystem;

std::string Slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

struct CaptureRun {
    int status = -1;
    std::string out, err;
};

// The built program without a display, in `dir`, with a scratch settings folder.
CaptureRun Capture(const fs::path& dir, const std::string& arguments) {
    const std::string program = std::string(std::getenv("HP_BUILD_DIR")) + "/app/hp54200a";
    const fs::path out = dir / "capture.out", err = dir / "capture.err";
    const std::string command = "cd '" + dir.string() +
                                "' && env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "
                                "XDG_CONFIG_HOME='" +
                                dir.string() + "' '" + program +
                                "' capture --resource SIM::5::INSTR " + arguments + " >'" +
                                out.string() + "' 2>'" + err.string() + "' </dev/null";
    const int raw = std::system(command.c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, Slurp(out), Slurp(err)};
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

class MeasureCapture : public testing_support::WindowTest {
  protected:
    testing_support::ScratchHome home;
};

TEST_F(MeasureCapture, StandardOutputHoldsTheWindowsTableAsCsv) {
    open_connection();
    click(form->RadioGroup1->button(2));  // "Waveform + FFT", as --ch1 both
    const std::string window_csv = app::Table_csv(app::Build_measure_table());

    const CaptureRun r = Capture(home.dir, "--ch1 both --measure");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, window_csv);
    const auto lines = Lines(r.out);
    ASSERT_EQ(lines.size(), app::Measure_rows().size() + 1);
    EXPECT_EQ(lines[0], "channel,quantity,value,unit");
    EXPECT_EQ(lines[7].rfind("Ch 1,Frequency,", 0), 0u);
    EXPECT_NEAR(std::stod(lines[7].substr(15)), 1000.0, 1.0);
}

struct FileCase {
    const char* name;
    const char* arguments;
    int status;
    std::vector<std::string> out;    // standard output's lines
    std::vector<std::string> files;  // files that hold a table
    const char* first_channel;       // the first row's channel
    const char* said;                // on standard error
};

TEST_F(MeasureCapture, FilesRepeatsCombinationsAndRefusals) {
    const FileCase cases[] = {
        {"to_a_file", "--measure m.csv", 0, {"m.csv"}, {"m.csv"}, "Ch 1", ""},
        {"repeated_files_numbered",
         "--measure r.csv --repeat 2",
         0,
         {"r-0001.csv", "r-0002.csv"},
         {"r-0001.csv", "r-0002.csv"},
         "Ch 1",
         ""},
        {"option_after_it_is_no_file", "--measure --combined difference", 0, {}, {}, "", ""},
        {"beside_a_picture",
         "--measure d.csv --wmf p.wmf",
         0,
         {"d.csv", "p.wmf"},
         {"d.csv"},
         "Ch 1",
         ""},
        {"folder_missing", "--measure no/such/m.csv", 1, {}, {}, "", "cannot write no/such/m.csv"},
        {"empty_path", "--measure ''", 2, {}, {}, "", "--measure needs a path"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const CaptureRun r = Capture(home.dir, c.arguments);
        EXPECT_EQ(r.status, c.status) << r.err;
        EXPECT_NE(r.err.find(c.said), std::string::npos) << r.err;
        if (std::string(c.name) == "option_after_it_is_no_file") {
            const auto lines = Lines(r.out);
            ASSERT_EQ(lines.size(), app::Measure_rows().size() + 1);
            EXPECT_EQ(lines[1].rfind("Ch 1 - Ch 2,Maximum,", 0), 0u) << lines[1];
            continue;
        }
        EXPECT_EQ(Lines(r.out), c.out);
        for (const auto& f : c.files) {
            const auto lines = Lines(Slurp(home.dir / f));
            ASSERT_EQ(lines.size(), app::Measure_rows().size() + 1) << f;
            EXPECT_EQ(lines[1].rfind(std::string(c.first_channel) + ",Maximum,", 0), 0u);
        }
    }
}

TEST_F(MeasureCapture, ReferenceOfTheSameSignalAddsEqualRows) {
    const CaptureRun saved = Capture(home.dir, "--csv ref.csv");
    ASSERT_EQ(saved.status, 0) << saved.err;
    ASSERT_EQ(Lines(saved.out).size(), 1u) << saved.out;
    const std::string file = fs::path(Lines(saved.out)[0]).filename().string();
    const CaptureRun r = Capture(home.dir, "--measure --reference 1=" + file);
    ASSERT_EQ(r.status, 0) << r.err;
    const auto lines = Lines(r.out);
    const std::size_t rows = app::Measure_rows().size();
    ASSERT_EQ(lines.size(), 2 * rows + 1);
    for (std::size_t i = 1; i <= rows; ++i) {
        SCOPED_TRACE(lines[i]);
        const std::string live = lines[i].substr(lines[i].find(','));
        ASSERT_EQ(lines[rows + i].rfind("ref: " + file + ",", 0), 0u) << lines[rows + i];
        const std::string ref = lines[rows + i].substr(lines[rows + i].find(','));
        if (live.rfind(",Scope ", 0) == 0)
            EXPECT_NE(ref.find("n/a (not measured by the scope)"), std::string::npos) << ref;
        else
            EXPECT_EQ(ref, live);
    }
}

}  // namespace
