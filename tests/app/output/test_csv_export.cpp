// The CSV data files: the files of each display, the numbers under a comma locale, the date's
// offset, an unwritable file, and the acquired records read back through Python's csv module.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QScrollArea>
#include <charconv>
#include <clocale>
#include <cstring>
#include <limits>
#include <locale>

#include "app/output/csv_export.h"
#include "app/picture/window_state.h"
#include "app/support_window.h"
#include "app/window/radio_group.h"
#include "dsp/fft.h"
#include "model/waveform.h"
#include "scope/scope_link.h"

namespace {

namespace fs = std::filesystem;

std::string Read(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class CsvExport : public ::testing::Test {
  protected:
    testing_support::ScratchHome home;
    void SetUp() override {
        app::Window = {};
        model::Preamble = {};
        model::Waveforms = {};
        scope::Link = {};
        model::Preamble.points = 2;
    }
    std::string At(const std::string& name) const { return (home.dir / name).string(); }
};

TEST_F(CsvExport, OneFilePerShownGraph) {
    const struct {
        app::WindowState shown;
        const char* path;
        std::vector<const char*> files;
    } cases[] = {
        {{.Show_ch1_waveform = true}, "a.csv", {"a-ch1.csv"}},
        {{.Show_ch2_fft = true}, "a.csv", {"a-ch2-fft.csv"}},
        {{true, true, true, true},
         "b.CSV",
         {"b-ch1.csv", "b-ch1-fft.csv", "b-ch2.csv", "b-ch2-fft.csv"}},
        {{.Combined_display = 1}, "c", {"c-ch1.csv", "c-ch2.csv"}},
        {{.Combined_display = 2}, "d.csv", {"d-sum.csv"}},
        {{.Combined_display = 3}, "e.x.csv", {"e.x-diff.csv"}},
        {{}, "f.csv", {}},
    };
    for (const auto& [shown, path, files] : cases) {
        app::Window = shown;
        std::vector<std::string> expected;
        for (const char* f : files) expected.push_back(At(f));
        EXPECT_EQ(app::Save_csv(At(path)).written, expected) << path;
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(home.dir), {}), 11);  // and "junk"
    EXPECT_NE(Read(At("a-ch1.csv")).find("\n# instrument: unknown\n"), std::string::npos);
}

// A comma decimal point, as a German locale has it, in the C++ and (where it can be had) the C
// locale. Where the system has no German locale, one is compiled into the scratch folder.
struct CommaPoint : std::numpunct<char> {
    char do_decimal_point() const override { return ','; }
};

// A sample value as the conversion makes it: (code - reference) * increment, rounded once.
double Sample(int code, int reference, double increment) {
    return static_cast<double>(static_cast<long double>(code - reference) * increment);
}

// Each number in its shortest text that reads back to the same double.
TEST_F(CsvExport, ShortestDigitsWithAPointUnderACommaLocale) {
    const std::pair<double, const char*> cases[] = {
        {0.1, "0.1"},
        {2.0 / 3.0, "0.6666666666666666"},
        {1e-5, "1e-05"},
        {-0.00246, "-0.00246"},
        {-2.5e-310, "-2.5e-310"},                               // subnormal
        {std::numeric_limits<double>::denorm_min(), "5e-324"},  // smallest subnormal
        {std::numeric_limits<double>::min(), "2.2250738585072014e-308"},
        {-0.0, "-0"},
        {0.0, "0"},
        {-2.5, "-2.5"},
        {Sample(255, 128, 0.01), "1.27"},                    // byte data, highest code
        {Sample(0, 128, 0.01), "-1.28"},                     // byte data, lowest code
        {Sample(65535, 32768, 0.01 / 256), "1.2799609375"},  // word data, highest code
        {Sample(0, 32768, 0.01 / 256), "-1.28"},             // word data, lowest code
        {std::numeric_limits<double>::max(), "1.7976931348623157e+308"},
        {123456789012345680.0, "123456789012345680"},
    };
    model::Preamble.points = std::size(cases);
    for (int j = 1; j <= model::Preamble.points; ++j)
        model::Waveforms[1].volts[j] = cases[j - 1].first;
    app::Window.Show_ch1_waveform = true;
    const std::locale old = std::locale::global(std::locale(std::locale(), new CommaPoint));
    const std::string old_c = std::setlocale(LC_ALL, nullptr);
    fs::create_directory(home.dir / "locales");
    std::system(
        ("localedef -i de_DE -f UTF-8 " + At("locales/de_DE.UTF-8") + " 2>/dev/null").c_str());
    setenv("LOCPATH", At("locales").c_str(), 1);
    const bool german = std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr;
    unsetenv("LOCPATH");
    app::Save_csv(At("n.csv"));
    std::setlocale(LC_ALL, old_c.c_str());
    std::locale::global(old);
    std::string expected = "time_s,ch1_V\n";
    for (const auto& c : cases) expected += std::string("0,") + c.second + "\n";
    const std::string text = Read(At("n-ch1.csv"));
    EXPECT_EQ(text.substr(text.find("time_s")), expected) << "German C locale: " << german;
    for (const auto& [value, shown] : cases) {  // each text reads back to the same bits
        const double back = std::strtod(shown, nullptr);
        EXPECT_EQ(std::memcmp(&back, &value, sizeof value), 0) << shown;
    }
}

TEST_F(CsvExport, LocalTimeCarriesItsOffset) {
    const std::pair<const char*, const char*> cases[] = {
        {"UTC0", "2026-12-08T21:40:05+00:00"},
        {"IST-5:30", "2026-12-09T03:10:05+05:30"},
        {"NST3:30", "2026-12-08T18:10:05-03:30"},
    };
    const char* tz = std::getenv("TZ");
    const std::string old_tz = tz != nullptr ? tz : "";
    for (const auto& [zone, text] : cases) {
        setenv("TZ", zone, 1);
        tzset();
        EXPECT_EQ(app::Iso8601_local_time(1796766005), text) << zone;
    }
    tz != nullptr ? setenv("TZ", old_tz.c_str(), 1) : unsetenv("TZ");
    tzset();
}

// The header's measurement lines: the record's period under "period", its RMS under "RMS"
// (values that cannot be mistaken for each other), or that the scope did not measure them.
TEST_F(CsvExport, HeaderCarriesTheRecordsPeriodAndRms) {
    const struct {
        const char* meaning;
        bool valid;
        double period, vrms;
        const char* lines;
    } rows[] = {
        {"measured", true, 1.25e-3, 0.75, "# ch1 period (s): 0.00125\n# ch1 RMS (V): 0.75\n"},
        {"RMS larger than period", true, 2e-6, 3.5,
         "# ch1 period (s): 2e-06\n# ch1 RMS (V): 3.5\n"},
        {"not measured", false, 1.25e-3, 0.75, "# ch1 period and RMS: not measured\n"},
    };
    app::Window.Show_ch1_waveform = true;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.meaning);
        model::Waveforms[1].measurement_valid = row.valid;
        model::Waveforms[1].period = row.period;
        model::Waveforms[1].vrms = row.vrms;
        ASSERT_EQ(app::Save_csv(At("m.csv")).error, "");
        const std::string text = Read(At("m-ch1.csv"));
        EXPECT_NE(text.find(std::string("\n") + row.lines + "time_s,"), std::string::npos) << text;
    }
}

TEST_F(CsvExport, AnUnwritableFileStopsWithItsPathAndReason) {
    fs::create_directory(home.dir / "x-ch1-fft.csv");
    app::Window = {true, true, true, true};
    const auto result = app::Save_csv(At("x.csv"));
    EXPECT_EQ(result.written, std::vector<std::string>{At("x-ch1.csv")});
    EXPECT_EQ(result.error, At("x-ch1-fft.csv") + ": " + std::strerror(EISDIR));
    EXPECT_FALSE(fs::exists(home.dir / "x-ch2.csv"));
}

class CsvFromTheScope : public testing_support::WindowTest {
  protected:
    testing_support::ScratchHome home;
};

// Each value as Python's csv module reads it (comment lines skipped): its float's repr, which
// reads back to the same double.
TEST_F(CsvFromTheScope, PythonReadsTheRecordsExactly) {
    const auto& r1 = model::Waveforms[1];
    const auto& r2 = model::Waveforms[2];
    const struct {
        int combined;  // RadioGroup3's item, or -1: both channels' four graphs
        const char* suffix;
        const model::SampleArray *x, *y;  // y null: channel 1 plus (or minus) channel 2
        const char* columns;
    } cases[] = {
        {-1, "-ch1", &r1.time, &r1.volts, "time_s ch1_V"},
        {-1, "-ch2", &r2.time, &r2.volts, "time_s ch2_V"},
        {-1, "-ch1-fft", &dsp::Spectra[1].freq, &dsp::Spectra[1].amplitude,
         "frequency_Hz ch1_amplitude_rel"},
        {-1, "-ch2-fft", &dsp::Spectra[2].freq, &dsp::Spectra[2].amplitude,
         "frequency_Hz ch2_amplitude_rel"},
        {1, "-sum", &r1.time, nullptr, "time_s sum_V"},
        {2, "-diff", &r1.time, nullptr, "time_s diff_V"},
    };
    click(form->RadioGroup1->button(2));  // Waveform + FFT
    form->ScrollBox->ensureWidgetVisible(form->ComboBox2);
    form->ComboBox2->setCurrentIndex(2);  // 10 data sets
    click(form->RadioGroup8->button(1));  // channel 1 averaging on
    click(form->RadioGroup4->button(1));  // channel 1 inverted
    click(form->RadioGroup2->button(2));
    click(form->RadioGroup7->button(0));  // channel 2 AC
    std::ofstream(home.dir / "read.py")
        << "import csv, sys\nwith open(sys.argv[1], newline='') as f:\n"
           "    rows = list(csv.reader(l for l in f if not l.startswith('#')))\n"
           "for r in rows: print(' '.join(v if r is rows[0] else repr(float(v)) for v in r))\n";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.suffix);
        if (c.combined >= 0)
            click(form->RadioGroup3->button(c.combined));
        ASSERT_EQ(app::Save_csv((home.dir / "s.csv").string()).error, "");
        const std::string file = (home.dir / "s").string() + c.suffix + ".csv";
        const std::string text = Read(file);
        const bool has1 = c.suffix[3] != '2', has2 = c.suffix[3] != '1';
        EXPECT_EQ(text.find("# hp54200a " + std::string(std::getenv("HP54200A_VERSION")) + "\n"),
                  0u);
        EXPECT_NE(text.find("\n# instrument: HP54200A\n"), std::string::npos);
        EXPECT_EQ(text.find("\n# ch1 mode: inverted\n# ch1 averaging: 10 data sets\n") !=
                      std::string::npos,
                  has1);
        EXPECT_EQ(text.find("\n# ch2 coupling: AC\n") != std::string::npos, has2);
        EXPECT_EQ(text.find('\r'), std::string::npos);
        ASSERT_EQ(std::system(("python3 " + (home.dir / "read.py").string() + " " + file + " > " +
                               file + ".out")
                                  .c_str()),
                  0);
        std::istringstream rows(Read(file + ".out"));
        std::string x, y;
        rows >> x >> y;
        EXPECT_EQ(x + " " + y, c.columns);
        int j = 0;
        for (double xv, yv; rows >> x >> y;) {
            ++j;
            std::from_chars(x.data(), x.data() + x.size(), xv);
            std::from_chars(y.data(), y.data() + y.size(), yv);
            const long double a = r1.volts[j], b = r2.volts[j];
            ASSERT_EQ(xv, (*c.x)[j]) << j;
            ASSERT_EQ(yv, c.y ? (*c.y)[j] : static_cast<double>(c.combined == 1 ? a + b : a - b))
                << j;
        }
        EXPECT_EQ(j, 500);
    }
}

}  // namespace
