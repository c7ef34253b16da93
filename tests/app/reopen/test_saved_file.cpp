// Saved files that cannot be opened: each is refused with its path, the line and what is wrong,
// in the reader, in the window (one box, nothing shown changes), and on the command line (the
// message and exit status 2). Line ends CR LF and LF are both read.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "app/picture/window_state.h"
#include "app/reopen/opened_capture.h"
#include "app/reopen/saved_file.h"
#include "app/support_window.h"
#include "app/window/open_capture.h"
#include "app/window/paint_box.h"
#include "app/window/radio_group.h"
#include "fuzz/saved_file_checks.h"

namespace {

namespace fs = std::filesystem;

// A good two-row file of each kind, to be spoiled by the cases.
const std::string kCsv =
    "# hp54200a 1.1.0\n# ch1 y increment (V): 0.01\n# ch1 y reference: 128\n"
    "time_s,ch1_V\n1e-05,0.5\n2e-05,0.25\n";
const std::string kWaveformDat =
    " Raw data       Time       Voltage    \r\n"
    "     178   1.00000E-0005  5.00000E-0001\r\n"
    "     153   2.00000E-0005  2.50000E-0001\r\n";
const std::string kSpectrumDat =
    "   Frequency     Amplitude  \r\n"
    "  0.00000000000000E+0000  5.00000000000000E-0001\r\n"
    "  9.76562500000000E+0001  1.00000000000000E+0000\r\n";

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
    text.replace(text.find(from), from.size(), to);
    return text;
}

std::string Lf_only(const std::string& text) {
    std::string out;
    for (const char c : text) {
        if (c != '\r')
            out += c;
    }
    return out;
}

struct BadFile {
    const char* meaning;
    const char* name;
    std::string bytes;
    const char* said;  // what follows "<path>: "
};

class SavedFiles : public ::testing::Test {
  protected:
    testing_support::ScratchHome home;
    std::string Write(const std::string& name, const std::string& bytes) const {
        std::ofstream(home.dir / name, std::ios::binary) << bytes;
        return (home.dir / name).string();
    }
};

TEST_F(SavedFiles, EachBadFileIsToldWithItsLineAndWhatIsWrong) {
    const BadFile cases[] = {
        {"NotOneOfTheFormats", "notes.csv", "Shopping list\nmilk\n", "line 1: not a CSV file"},
        {"EmptyFile", "empty.csv", "", "empty: not a CSV file"},
        {"CsvHeaderWithoutData", "h.csv", "# hp54200a 1.1.0\ntime_s,ch1_V\n",
         "line 2: the header is not followed by any data"},
        {"CsvCommentsOnly", "c.csv", "# hp54200a 1.1.0\n# graph: channel 1 waveform\n",
         "line 2: the header is not followed by a line of columns"},
        {"DatHeaderWithoutData", "waveform1_data.dat", " Raw data       Time       Voltage    \r\n",
         "line 1: the header is not followed by any data"},
        {"CsvTruncatedLastLine", "t.csv", kCsv + "3e-05,0.1", "line 7: truncated"},
        {"DatTruncatedLine", "waveform2_data.dat", kWaveformDat + "     140   3.0000\r\n",
         "line 4: truncated: 17 characters, a line of this file has 39"},
        {"CsvNotANumber", "n.csv", Replaced(kCsv, "0.25", "0.2S"),
         "line 6: \"0.2S\" is not a number"},
        {"DatNotANumber", "fft1_data.dat", Replaced(kSpectrumDat, "9.765625", "9.7x5625"),
         "line 3: \"9.7x562500000000E+0001\" is not a number"},
        {"CsvNaN", "nan.csv", Replaced(kCsv, "0.25", "nan"),
         "line 6: \"nan\": NaN and infinity are not values"},
        {"DatInfinity", "waveform1_data.dat",
         Replaced(kWaveformDat, " 2.50000E-0001", "           INF"),
         "line 3: \"INF\": NaN and infinity"},
        {"CsvOutOfRange", "big.csv", Replaced(kCsv, "0.25", "1e999"),
         "line 6: \"1e999\" is beyond the range"},
        {"CsvCommaDecimalsWithSemicolons", "de.csv", "time_s,ch1_V\n0,00001;0,5\n0,00002;0,25\n",
         "line 2: a comma as the decimal separator"},
        {"CsvCommaDecimalsInFourFields", "de4.csv", "time_s,ch1_V\n0,5,1,25\n",
         "line 2: a comma as the decimal separator"},
        {"CsvCommaDecimalInOneOfTwoFields", "de3.csv", Replaced(kCsv, "0.25", "0,25"),
         "line 6: columns of unequal length: 3 fields where the columns line names 2 (is a comma "
         "the decimal separator?)"},
        {"DatCommaDecimals", "waveform1_data.dat",
         Replaced(kWaveformDat, "5.00000E-0001", "5,00000E-0001"),
         "line 2: \"5,00000E-0001\" has a comma as its decimal separator"},
        {"Utf8ByteOrderMark", "bom.csv", "\xEF\xBB\xBF" + kCsv,
         "line 1: starts with a byte-order mark"},
        {"Utf16ByteOrderMark", "bom16.csv", "\xFF\xFE" + kCsv,
         "line 1: starts with a byte-order mark"},
        {"CarriageReturnAlone", "mac.csv", Replaced(kCsv, "0.5\n", "0.5\r"),
         "line 5: a carriage return without a line feed"},
        {"CsvUnequalColumns", "u.csv", Replaced(kCsv, "2e-05,0.25", "2e-05"),
         "line 6: columns of unequal length: 1 field where the columns line names 2"},
        {"DatUnequalColumns", "fft2_data.dat",
         Replaced(kSpectrumDat, " 5.00000000000000E-0001", " 5.0000000 0000000E-001"),
         "line 2: columns of unequal length: 3 fields where the header names 2"},
        {"CsvTimeGoingBack", "b.csv", kCsv + "1.5e-05,0.1\n", "line 7: the time does not increase"},
        {"DatTimeStanding", "waveform1_data.dat",
         Replaced(kWaveformDat, "2.00000E-0005", "1.00000E-0005"),
         "line 3: the time does not increase"},
        {"SpectrumFrequencyGoingBack", "fft1_data.dat",
         Replaced(kSpectrumDat, " 9.765625", "-9.765625"),
         "line 3: the frequency does not increase"},
        {"OneRowOnly", "one.csv", "time_s,ch1_V\n0,1\n", "line 2: one row of data"},
        {"UnknownColumns", "x.csv", "# hp54200a\ntime_s,ch3_V\n0,1\n1,2\n", "line 2: the columns"},
        {"BadHeaderNumber", "hn.csv", Replaced(kCsv, "128", "many"),
         "line 3: \"many\" is not a whole number"},
        {"DatNameWithoutChannel", "mine.dat", kWaveformDat,
         "line 1: the file name must begin with waveform1"},
        {"DatNameOfTheOtherKind", "fft1_data.dat", kWaveformDat, "line 1: the name says spectrum"},
        {"RawCodeOutOfRange", "waveform1_data.dat", Replaced(kWaveformDat, "     178", "   99999"),
         "line 2: \"99999\" is not a raw code"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.meaning);
        const std::string path = Write(c.name, c.bytes);
        const app::SavedRead read = app::Read_saved_file(path);
        EXPECT_FALSE(read.graph.has_value());
        EXPECT_EQ(read.error.rfind(path + ": " + c.said, 0), 0u) << read.error;
    }
}

TEST_F(SavedFiles, TooManyRowsAreRefusedAtTheFirstOneTooMany) {
    std::string text = "time_s,ch1_V\n";
    for (int j = 1; j <= 2003; ++j) text += std::to_string(j) + ",0\n";
    const std::string path = Write("long.csv", text);
    EXPECT_EQ(app::Read_saved_file(path).error, path + ": line 2004: more than 2002 rows of data");
}

TEST_F(SavedFiles, FoldersLargeAndUnreadableFilesAreRefusedBeforeTheirBytes) {
    fs::create_directory(home.dir / "a.csv");
    const std::string big = Write("big.csv", kCsv);
    fs::resize_file(big, app::kMaxSavedFileBytes + 1);  // sparse: nothing is read to refuse it
    const struct {
        const char* meaning;
        std::string path;
        std::string said;
    } cases[] = {
        {"Folder", (home.dir / "a.csv").string(), "a folder, not a file"},
        {"Missing", (home.dir / "gone.csv").string(), "cannot be read: No such file or directory"},
        {"ReadFails", "/proc/self/mem", "cannot be read: Input/output error"},
        {"Over64MiB", big, "67108865 bytes, larger than the 64 MiB a saved graph can be"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.meaning);
        EXPECT_EQ(app::Read_saved_file(c.path).error, c.path + ": " + c.said);
    }
}

TEST_F(SavedFiles, CrLfAndLfLineEndsGiveTheSameGraph) {
    const struct {
        const char* meaning;
        const char* name;
        std::string lf;
    } cases[] = {
        {"Csv", "a.csv", kCsv},
        {"WaveformDat", "waveform2_data.dat", Lf_only(kWaveformDat)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.meaning);
        std::string crlf;
        for (const char ch : c.lf) crlf += ch == '\n' ? std::string("\r\n") : std::string(1, ch);
        const app::SavedRead a = app::Parse_saved(c.lf, c.name);
        const app::SavedRead b = app::Parse_saved(crlf, c.name);
        ASSERT_TRUE(a.graph && b.graph) << a.error << b.error;
        EXPECT_EQ(a.graph->x, b.graph->x);
        EXPECT_EQ(a.graph->y, b.graph->y);
        EXPECT_EQ(a.graph->x, (std::vector<double>{1e-5, 2e-5}));
        EXPECT_EQ(a.graph->y, (std::vector<double>{0.5, 0.25}));
    }
}

TEST_F(SavedFiles, ASpectrumIsNoWaveformsReferenceNorTheOtherWayRound) {
    const std::string spectrum = Write("fft1_data.dat", kSpectrumDat);
    const std::string waveform = Write("w.csv", kCsv);
    app::Clear_references();
    EXPECT_EQ(app::Load_reference(spectrum, app::ReferenceGraph::Ch1Waveform),
              spectrum + ": a spectrum, which cannot be the reference of channel 1's waveform");
    EXPECT_EQ(app::Load_reference(waveform, app::ReferenceGraph::Ch2Spectrum),
              waveform + ": a waveform, which cannot be the reference of channel 2's spectrum");
    EXPECT_EQ(app::Reference_count(), 0);
    EXPECT_EQ(app::Load_reference(waveform, app::ReferenceGraph::Sum), "");
    EXPECT_EQ(app::Load_reference(waveform, app::ReferenceGraph::Sum), "");
    EXPECT_EQ(app::Load_reference(waveform, app::ReferenceGraph::Sum),
              waveform + ": the sum Ch 1 + Ch 2 already has two references: clear them first");
    EXPECT_EQ(app::Reference_count(), 2);
    app::Clear_references();
}

class BadFileInTheWindow : public testing_support::WindowTest {
  protected:
    testing_support::ScratchHome home;
};

TEST_F(BadFileInTheWindow, OneBoxNamesTheFileAndNothingShownChanges) {
    click(form->RadioGroup1->button(0));  // channel 1's waveform from the scope
    const std::string good = (home.dir / "w.csv").string();
    std::ofstream(good) << kCsv;
    const std::string bad = (home.dir / "bad.csv").string();
    std::ofstream(bad) << Replaced(kCsv, "0.25", "nan");
    form->PaintBox1->repaint();
    const QImage before = form->PaintBox1->image().copy();
    const QString title = form->windowTitle();
    const app::WindowState flags = app::Window;
    const size_t boxes = recorded.platform.boxes.size();
    EXPECT_FALSE(app::Open_in_window(*form, {good, bad}));
    ASSERT_EQ(recorded.platform.boxes.size(), boxes + 1);
    EXPECT_EQ(recorded.platform.boxes.back().text.rfind(bad + ": line 6: \"nan\"", 0), 0u);
    EXPECT_EQ(form->windowTitle(), title);
    EXPECT_EQ(app::Window.Show_ch1_waveform, flags.Show_ch1_waveform);
    EXPECT_FALSE(app::Capture_is_open());
    form->PaintBox1->repaint();
    EXPECT_EQ(form->PaintBox1->image(), before);
}

// The program itself, without a display: the message on standard error and status 2.
int Run_program(const std::string& arguments, std::string& err) {
    const fs::path out = fs::temp_directory_path() / ("hp_reopen_err_" + std::to_string(getpid()));
    const std::string program = std::string(std::getenv("HP_BUILD_DIR")) + "/app/hp54200a";
    const std::string command =
        "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "
        "XDG_CONFIG_HOME=/nonexistent/hp54200a '" +
        program + "' " + arguments + " >/dev/null 2>'" + out.string() + "' </dev/null";
    const int raw = std::system(command.c_str());
    std::ifstream in(out);
    std::stringstream s;
    s << in.rdbuf();
    err = s.str();
    fs::remove(out);
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

TEST_F(SavedFiles, TheCommandLineTellsABadFileAndExits2) {
    const std::string bad = Write("bad.csv", Replaced(kCsv, "2e-05,0.25", "0,00002;0,25"));
    const std::string spectrum = Write("fft2_data.dat", kSpectrumDat);
    const struct {
        const char* meaning;
        std::string arguments;
        std::string said;
    } cases[] = {
        {"OpenABadFile", "--open '" + bad + "'",
         "hp54200a: " + bad + ": line 6: a comma as the decimal separator"},
        {"OpenNothing", "--open", "hp54200a: --open needs a file"},
        {"CaptureWithASpectrumAsWaveformReference",
         "capture --png x.png --reference '2=" + spectrum + "'",
         "hp54200a capture: " + spectrum +
             ": a spectrum, which cannot be the reference of channel "
             "2's waveform"},
        {"CaptureWithAnUnknownGraph", "capture --png x.png --reference 3=a.csv",
         "hp54200a capture: --reference \"3=a.csv\": expected GRAPH=FILE"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.meaning);
        std::string err;
        EXPECT_EQ(Run_program(c.arguments, err), 2);
        EXPECT_EQ(err.rfind(c.said, 0), 0u) << err;
    }
    EXPECT_FALSE(fs::exists(home.dir / "x.png"));
}

// The fuzz targets' seeds through their checks, with the program's own compiler: each seed is
// either a graph the records can hold or an error naming the file.
TEST(SavedFileFuzzCorpus, SeedsKeepTheReaderSound) {
    const fs::path corpus =
        fs::path(__FILE__).parent_path().parent_path().parent_path().parent_path() / "fuzz" /
        "corpus";
    for (const char* target : {"saved_csv", "saved_text"}) {
        int seeds = 0;
        for (const auto& entry : fs::directory_iterator(corpus / target)) {
            SCOPED_TRACE(entry.path().string());
            std::ifstream in(entry.path(), std::ios::binary);
            const std::string bytes(std::istreambuf_iterator<char>(in), {});
            if (std::string(target) == "saved_csv")
                fuzzing::Check_saved(bytes, "seed.csv");
            else
                fuzzing::Check_saved_text(reinterpret_cast<const uint8_t*>(bytes.data()),
                                          bytes.size());
            ++seeds;
        }
        EXPECT_GE(seeds, 8) << target;
    }
    // The good seeds are read as graphs.
    std::ifstream in(corpus / "saved_csv" / "good_waveform", std::ios::binary);
    const std::string good(std::istreambuf_iterator<char>(in), {});
    const app::SavedRead read = app::Parse_saved(good, "seed.csv");
    ASSERT_TRUE(read.graph) << read.error;
    EXPECT_EQ(read.graph->x.size(), 8u);
    EXPECT_EQ(read.graph->channels[1].yreference, 128);
}

}  // namespace
