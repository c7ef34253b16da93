// The capture without a window, run as a user runs it (no display): the same bus traffic as the
// window for the same choices, its metafile and text files equal byte for byte to the window's,
// numbered files when repeated, and its exit statuses.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <QComboBox>
#include <QPushButton>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app/capture/capture.h"
#include "app/support_window.h"
#include "app/window/radio_group.h"

using testing_support::count_of;

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

// The built program, without a display, with `environment` added and a scratch settings folder.
CaptureRun Capture(const fs::path& dir, const std::string& environment,
                   const std::string& arguments) {
    const std::string program = std::string(std::getenv("HP_BUILD_DIR")) + "/app/hp54200a";
    const fs::path out = dir / "capture.out", err = dir / "capture.err";
    const std::string command =
        "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "
        "XDG_CONFIG_HOME='" +
        dir.string() + "' " + environment + " '" + program + "' capture " + arguments + " >'" +
        out.string() + "' 2>'" + err.string() + "' </dev/null";
    const int raw = std::system(command.c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, Slurp(out), Slurp(err)};
}

// The traffic log's lines without their time column.
std::vector<std::string> Traffic(const std::string& log) {
    std::vector<std::string> lines;
    std::istringstream in(log);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line.substr(line.find('\t') + 1));
    return lines;
}

class CaptureTest : public testing_support::WindowTest {
  protected:
    testing_support::ScratchHome home;
};

// Coupling AC on channel 1, channel 2 inverted, channel 1 averaged 10 times, channel 1
// "Waveform + FFT" and channel 2 "Waveform", then the WMF and Textfile outputs and Quit.
TEST_F(CaptureTest, SameTrafficAndFilesAsTheWindow) {
    form->RadioGroup2->showItemIndex(0);
    click(form->RadioGroup2->button(3));  // the connection opened, nothing acquired
    click(form->RadioGroup5->button(0));  // AC
    click(form->RadioGroup6->button(1));  // Inverted
    form->ComboBox2->setCurrentIndex(2);  // 10
    click(form->RadioGroup8->button(1));  // Averaging On
    click(form->RadioGroup1->button(2));  // Waveform + FFT
    click(form->RadioGroup2->button(0));  // Waveform
    choose_output(0);
    click(form->Button4);
    choose_output(2);
    click(form->Button4);
    form->Button2Click();
    const std::vector<std::string> window_traffic = Traffic(Slurp(sim.log_path()));
    ASSERT_GT(count_of(sim.writes(), "DATA?"), 12);  // 10 averaged sets, channel 2, the rest

    const fs::path log = home.dir / "capture.log";
    const CaptureRun r =
        Capture(home.dir, "HP_SIM_LOG='" + log.string() + "'",
                "--resource SIM::5::INSTR --coupling 1=AC --invert 2 --average 1=10 "
                "--ch1 both --ch2 waveform --wmf c.wmf --text text");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out,
              "c.wmf\ntext/waveform1_data.dat\ntext/fft1_data.dat\ntext/waveform2_data.dat\n");
    EXPECT_EQ(Traffic(Slurp(log)), window_traffic);
    EXPECT_EQ(Slurp(home.dir / "c.wmf"), Slurp(home.dir / "vistrel.wmf"));
    for (const char* file : {"waveform1_data.dat", "fft1_data.dat", "waveform2_data.dat"})
        EXPECT_EQ(Slurp(home.dir / "text" / file), Slurp(home.dir / "junk" / file)) << file;
}

TEST_F(CaptureTest, RepeatsNumberTheFilesAndStatusesTellWhatHappened) {
    fs::create_directory(home.dir / "text");
    const CaptureRun repeated =
        Capture(home.dir, "", "--resource SIM::5::INSTR --repeat 2 --wmf r.wmf");
    EXPECT_EQ(repeated.status, 0) << repeated.err;
    EXPECT_EQ(repeated.out, "r-0001.wmf\nr-0002.wmf\n");
    EXPECT_TRUE(fs::exists(home.dir / "r-0002.wmf"));

    struct Case {
        const char* environment;
        const char* arguments;
        int status;
        const char* said;
    } const cases[] = {
        {"", "--ch1 sideways --wmf x.wmf", 2, "--ch1 \"sideways\": expected waveform"},
        {"", "--ch1 waveform", 2, "nothing to write"},
        {"", "--resource GPIB0::99 --wmf x.wmf", 2, "\"GPIB0::99\" is not a resource"},
        {"HP_SIM_TIMEOUT_READ=1", "--resource SIM::5::INSTR --wmf x.wmf", 1,
         "hp54200a: Error: Unable to read from device  ibsta = $C100  iberr = 6\n"
         "hp54200a: Error: ibsta ===>   ERR  TMO  CMPL\nhp54200a: Error: iberr ===>   EABO\n"
         "hp54200a: Error: ibcntl = 0\n"},
        {"", "--resource SIM::5::INSTR --wmf no/such/folder/x.wmf", 1, "cannot write"},
        {"", "--resource SIM::5::INSTR --csv no/such/folder/x.csv", 1,
         "no/such/folder/x-ch1.csv: No such file or directory"},
        {"", "--wmf x.wmf --bogus", 2, "unknown argument \"--bogus\""},
        // No GPIB driver is installed on the test machines: the library tried, why it was that
        // one, and the remedy the Connection dialog gives.
        {"GPIB_LIBRARY=", "--wmf x.wmf", 1,
         "hp54200a: cannot load the GPIB driver library libgpib.so.0 (the default; set "
         "GPIB_LIBRARY to use another): libgpib.so.0: cannot open shared object file: No such "
         "file or directory\nhp54200a: Install linux-gpib's user library (libgpib.so.0).\n"},
        {"GPIB_LIBRARY=/nonexistent/mine.so", "--resource GPIB0::5::INSTR --wmf x.wmf", 1,
         "hp54200a: cannot load the GPIB driver library libgpib.so.0 (the library of --resource "
         "GPIB0::5::INSTR, which replaces GPIB_LIBRARY=/nonexistent/mine.so): "},
        {"GPIB_LIBRARY=/nonexistent/mine.so", "--wmf x.wmf", 1,
         "library /nonexistent/mine.so (from GPIB_LIBRARY): "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments);
        const CaptureRun r = Capture(home.dir, c.environment, c.arguments);
        EXPECT_EQ(r.status, c.status);
        EXPECT_NE(r.err.find(c.said), std::string::npos) << r.err;
        EXPECT_FALSE(fs::exists(home.dir / "x.wmf"));
    }
}

// A series goes on after the highest number any file of its names has in the folder; a single
// capture replaces the files it names.
TEST_F(CaptureTest, SeriesNeverOverwriteAndSingleFilesAreReplaced) {
    const struct {
        const char* meaning;
        std::vector<const char*> present;  // made with the text "old"
        const char* arguments;
        const char* printed;
        const char* replaced;  // a present file that must be written anew; null: none
    } rows[] = {
        {"after an earlier series",
         {"r-0001.wmf", "r-0002.wmf"},
         "--repeat 2 --wmf r.wmf",
         "r-0003.wmf\nr-0004.wmf\n",
         nullptr},
        {"the CSV files' number counts",
         {"d-0005-ch1.csv", "p-0002.png"},
         "--repeat 2 --csv d.csv --png p.png",
         "p-0006.png\nd-0006-ch1.csv\np-0007.png\nd-0007-ch1.csv\n",
         nullptr},
        {"text files in their folder",
         {"t/waveform1_data-0009.dat"},
         "--repeat 2 --text t",
         "t/waveform1_data-0010.dat\nt/waveform1_data-0011.dat\n",
         nullptr},
        {"one file named", {"one.wmf"}, "--wmf one.wmf", "one.wmf\n", "one.wmf"},
        {"one CSV named", {"c-ch1.csv"}, "--csv c.csv", "c-ch1.csv\n", "c-ch1.csv"},
    };
    fs::create_directory(home.dir / "t");
    for (const auto& row : rows) {
        SCOPED_TRACE(row.meaning);
        for (const char* f : row.present) std::ofstream(home.dir / f) << "old";
        const CaptureRun r =
            Capture(home.dir, "", std::string("--resource SIM::5::INSTR ") + row.arguments);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, row.printed);
        for (const char* f : row.present)
            EXPECT_EQ(Slurp(home.dir / f) == "old",
                      row.replaced == nullptr || std::string(f) != row.replaced)
                << f;
    }
    const std::string help = Capture(home.dir, "", "--help").out;
    EXPECT_NE(help.find("starting after the\n               highest number already in the folder"),
              std::string::npos)
        << help;
    EXPECT_NE(help.find("Without --repeat, the files named are written as named and replace"),
              std::string::npos);
}

// Mode and averaging without --coupling: the connection is opened first, as the window's first
// click opens it, so that its opening does not clear them: the CSV header says inverted and
// averaged, and the averaged data sets were read.
TEST_F(CaptureTest, ModeAndAveragingAloneComeAfterTheConnectionIsOpened) {
    const struct {
        const char* arguments;
        const char* header;
        int data_queries;  // at least
    } rows[] = {
        {"--invert 1", "# ch1 mode: inverted\n# ch1 averaging: off\n", 1},
        {"--average 1=5", "# ch1 mode: normal\n# ch1 averaging: 5 data sets\n", 5},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.arguments);
        const fs::path log = home.dir / "order.log";
        fs::remove(log);
        const CaptureRun r =
            Capture(home.dir, "HP_SIM_LOG='" + log.string() + "'",
                    std::string("--resource SIM::5::INSTR --csv o.csv ") + row.arguments);
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_NE(Slurp(home.dir / "o-ch1.csv").find(row.header), std::string::npos);
        const std::string traffic = Slurp(log);
        int data = 0;
        for (std::size_t at = traffic.find("DATA?"); at != std::string::npos;
             at = traffic.find("DATA?", at + 1))
            ++data;
        EXPECT_GE(data, row.data_queries);
    }
}

// The options as the parser reads them: an unknown option is named as unknown, a known one
// without its value as such, and the whole range of primary addresses is taken.
TEST(CaptureOptions, UnknownOptionsMissingValuesAndAddresses) {
    const std::pair<std::vector<std::string>, const char*> rows[] = {
        {{"--bogus"}, "unknown argument \"--bogus\""},
        {{"--bogus", "1", "--png", "a.png"}, "unknown argument \"--bogus\""},
        {{"stray", "--png", "a.png"}, "unknown argument \"stray\""},
        {{"--png"}, "--png needs a value"},
        {{"--png", "a.png", "--address"}, "--address needs a value"},
        {{"--png", "a.png", "--address", "0"}, ""},
        {{"--png", "a.png", "--address", "30"}, ""},
        {{"--png", "a.png", "--address", "31"},
         "--address \"31\" is not a primary address: use a number from 0 to 30."},
        {{"--autoscale", "--png", "a.png"}, ""},
    };
    for (const auto& [arguments, refusal] : rows) {
        SCOPED_TRACE(arguments.front());
        EXPECT_EQ(app::Parse_capture(arguments).refusal, refusal);
    }
}

}  // namespace
