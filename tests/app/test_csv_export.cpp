// The CSV data files: the files of each display, their numbers under a comma locale, the date's
// offset, an unwritable path, and the acquired records read back through Python's csv module.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QScrollArea>
#include <charconv>
#include <clocale>
#include <cstring>
#include <ctime>
#include <locale>

#include "app/csv_export.h"
#include "app/radio_group.h"
#include "app/window_state.h"
#include "dsp/fft.h"
#include "model/waveform.h"
#include "scope/scope_link.h"
#include "support_window.h"

namespace {

namespace fs = std::filesystem;

std::string Read(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The line after the comment lines, and the first data line.
std::vector<std::string> Data_lines(const fs::path& p) {
    std::istringstream in(Read(p));
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        if (line.rfind('#', 0) != 0)
            lines.push_back(line);
    return lines;
}

class CsvExport : public ::testing::Test {
  protected:
    testing_support::ScratchHome home;
    void SetUp() override {
        app::Window = {};
        model::Preamble = {};
        model::Waveforms = {};
        scope::Link = {};
    }
};

struct NamesCase {
    const char* name;
    app::WindowState shown;
    const char* path;
    std::vector<std::pair<std::string, std::string>> files;  // name, column line
};

TEST_F(CsvExport, OneFilePerShownGraph) {
    const NamesCase cases[] = {
        {"ch1_waveform", {.Show_ch1_waveform = true}, "a.csv", {{"a-ch1.csv", "time_s,ch1_V"}}},
        {"ch2_spectrum",
         {.Show_ch2_fft = true},
         "a.csv",
         {{"a-ch2-fft.csv", "frequency_Hz,ch2_amplitude_rel"}}},
        {"all_four_in_the_text_files_order",
         {true, true, true, true},
         "b.CSV",
         {{"b-ch1.csv", "time_s,ch1_V"},
          {"b-ch1-fft.csv", "frequency_Hz,ch1_amplitude_rel"},
          {"b-ch2.csv", "time_s,ch2_V"},
          {"b-ch2-fft.csv", "frequency_Hz,ch2_amplitude_rel"}}},
        {"ch1_and_ch2",
         {.Combined_display = 1},
         "c",
         {{"c-ch1.csv", "time_s,ch1_V"}, {"c-ch2.csv", "time_s,ch2_V"}}},
        {"sum", {.Combined_display = 2}, "d.csv", {{"d-sum.csv", "time_s,sum_V"}}},
        {"difference", {.Combined_display = 3}, "e.x.csv", {{"e.x-diff.csv", "time_s,diff_V"}}},
        {"nothing_shown", {}, "f.csv", {}},
    };
    model::Preamble.points = 3;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(home.dir / "out");
        fs::create_directory(home.dir / "out");
        app::Window = c.shown;
        const auto result = app::Save_csv((home.dir / "out" / c.path).string());
        EXPECT_EQ(result.error, "");
        std::vector<std::string> expected;
        for (const auto& [name, columns] : c.files) {
            expected.push_back((home.dir / "out" / name).string());
            const auto lines = Data_lines(home.dir / "out" / name);
            ASSERT_EQ(lines.size(), 4u);
            EXPECT_EQ(lines[0], columns);
            EXPECT_NE(Read(home.dir / "out" / name).find("\n# instrument: unknown\n"),
                      std::string::npos);
        }
        EXPECT_EQ(result.written, expected);
        EXPECT_EQ(std::distance(fs::directory_iterator(home.dir / "out"), {}),
                  static_cast<long>(expected.size()));
    }
}

// A comma decimal point, as a German locale has it, in both the C and the C++ locale.
struct CommaPoint : std::numpunct<char> {
    char do_decimal_point() const override { return ','; }
};

TEST_F(CsvExport, SeventeenDigitsWithAPointUnderACommaLocale) {
    const std::pair<double, const char*> cases[] = {
        {0.1, "0.10000000000000001"},
        {-2.5, "-2.5"},
        {2.0 / 3.0, "0.66666666666666663"},
        {1e-5, "1.0000000000000001e-05"},
        {-2.5e-310, "-2.5000000000000171e-310"},
        {0.0, "0"},
    };
    model::Preamble.points = std::size(cases);
    for (int j = 1; j <= model::Preamble.points; ++j) {
        model::Waveforms[1].time[j] = j;
        model::Waveforms[1].volts[j] = cases[j - 1].first;
    }
    app::Window.Show_ch1_waveform = true;
    const std::locale old = std::locale::global(std::locale(std::locale(), new CommaPoint));
    const std::string old_c = std::setlocale(LC_ALL, nullptr);
    // Where the system has no German locale, one is compiled into the scratch folder.
    const std::string locales = (home.dir / "locales").string();
    fs::create_directory(locales);
    std::system(("localedef -i de_DE -f UTF-8 " + locales + "/de_DE.UTF-8 2>/dev/null").c_str());
    setenv("LOCPATH", locales.c_str(), 1);
    const bool german = std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr;
    unsetenv("LOCPATH");
    const auto result = app::Save_csv((home.dir / "n.csv").string());
    std::setlocale(LC_ALL, old_c.c_str());
    std::locale::global(old);
    ASSERT_EQ(result.error, "");
    const auto lines = Data_lines(home.dir / "n-ch1.csv");
    ASSERT_EQ(lines.size(), std::size(cases) + 1);
    for (size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(lines[i + 1], std::to_string(i + 1) + "," + cases[i].second)
            << "German C locale: " << german;
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

TEST_F(CsvExport, AnUnwritableFileStopsWithItsPathAndReason) {
    const std::pair<const char*, std::vector<std::string>> cases[] = {
        {"missing/x", {}},  // ENOENT on the first file
        {"x", {"x-ch1.csv"}},
    };
    fs::create_directory(home.dir / "x-ch1-fft.csv");
    app::Window = {true, true, true, true};
    model::Preamble.points = 2;
    for (const auto& [path, written] : cases) {
        const auto result = app::Save_csv((home.dir / path).string());
        std::vector<std::string> expected;
        for (const auto& w : written) expected.push_back((home.dir / w).string());
        EXPECT_EQ(result.written, expected);
        const std::string failed =
            (home.dir / path).string() + (written.empty() ? "-ch1.csv" : "-ch1-fft.csv");
        EXPECT_EQ(result.error, failed + ": " + std::strerror(written.empty() ? ENOENT : EISDIR));
        EXPECT_FALSE(fs::exists(home.dir / "x-ch2.csv"));
    }
}

// Each value of a CSV file as Python's csv module reads it: the column line, then each row's
// numbers as Python's float repr (which reads back to the same double).
std::vector<std::vector<std::string>> Python_read(const fs::path& csv) {
    const fs::path script = csv.parent_path() / "read.py";
    std::ofstream(script) << "import csv, sys\n"
                             "with open(sys.argv[1], newline='') as f:\n"
                             "    rows = list(csv.reader(l for l in f if not l.startswith('#')))\n"
                             "print(' '.join(rows[0]))\n"
                             "for r in rows[1:]: print(' '.join(repr(float(v)) for v in r))\n";
    const fs::path out = csv.string() + ".out";
    const std::string command =
        "python3 " + script.string() + " " + csv.string() + " > " + out.string();
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    std::vector<std::vector<std::string>> rows;
    std::istringstream in(Read(out));
    for (std::string line; std::getline(in, line);) {
        std::istringstream words(line);
        rows.emplace_back(std::istream_iterator<std::string>(words),
                          std::istream_iterator<std::string>());
    }
    return rows;
}

double Parsed(const std::string& s) {
    double v = 0;
    EXPECT_EQ(std::from_chars(s.data(), s.data() + s.size(), v).ec, std::errc()) << s;
    return v;
}

class CsvFromTheScope : public testing_support::WindowTest {
  protected:
    testing_support::ScratchHome home;
};

TEST_F(CsvFromTheScope, PythonReadsTheRecordsExactly) {
    using Value = std::function<double(int)>;
    const auto& r1 = model::Waveforms[1];
    const auto& r2 = model::Waveforms[2];
    const auto& s1 = dsp::Spectra[1];
    const auto& s2 = dsp::Spectra[2];
    struct Case {
        int group_item;  // Ch 1 + Ch 2 / Ch 1 - Ch 2, or -1 for both channels' four graphs
        const char* suffix;
        const char* columns;
        Value x, y;
    };
    const Value t1 = [&](int j) { return r1.time[j]; };
    const Case cases[] = {
        {-1, "-ch1", "time_s ch1_V", t1, [&](int j) { return r1.volts[j]; }},
        {-1, "-ch2", "time_s ch2_V", [&](int j) { return r2.time[j]; },
         [&](int j) { return r2.volts[j]; }},
        {-1, "-ch1-fft", "frequency_Hz ch1_amplitude_rel", [&](int j) { return s1.freq[j]; },
         [&](int j) { return s1.amplitude[j]; }},
        {-1, "-ch2-fft", "frequency_Hz ch2_amplitude_rel", [&](int j) { return s2.freq[j]; },
         [&](int j) { return s2.amplitude[j]; }},
        {1, "-sum", "time_s sum_V", t1,
         [&](int j) {
             return static_cast<double>(static_cast<long double>(r1.volts[j]) + r2.volts[j]);
         }},
        {2, "-diff", "time_s diff_V", t1,
         [&](int j) {
             return static_cast<double>(static_cast<long double>(r1.volts[j]) - r2.volts[j]);
         }},
    };
    click(form->RadioGroup1->button(2));  // Waveform + FFT
    form->ScrollBox->ensureWidgetVisible(form->ComboBox2);
    form->ComboBox2->setCurrentIndex(2);  // 10 data sets
    click(form->RadioGroup8->button(1));  // channel 1 averaging on
    click(form->RadioGroup4->button(1));  // channel 1 inverted
    click(form->RadioGroup2->button(2));
    click(form->RadioGroup7->button(0));  // channel 2 AC
    for (const Case& c : cases) {
        SCOPED_TRACE(c.suffix);
        if (c.group_item >= 0)
            click(form->RadioGroup3->button(c.group_item));
        ASSERT_EQ(app::Save_csv((home.dir / "scope.csv").string()).error, "");
        const fs::path file = home.dir / ("scope" + std::string(c.suffix) + ".csv");
        const std::string text = Read(file);
        const bool has1 = c.suffix[3] != '2';
        const bool has2 = c.suffix[3] != '1';
        for (const std::string& line :
             {"# hp54200a " + std::string(std::getenv("HP54200A_VERSION")) + "\n",
              std::string("\n# instrument: HP54200A\n"), std::string("\n# ch1 mode: inverted\n"),
              std::string("\n# ch1 averaging: 10 data sets\n"),
              std::string("\n# ch2 coupling: AC\n")}) {
            const bool ch1 = line.find("# ch1 ") != std::string::npos;
            const bool ch2 = line.find("# ch2 ") != std::string::npos;
            EXPECT_EQ(text.find(line) != std::string::npos, ch1 ? has1 : ch2 ? has2 : true) << line;
        }
        EXPECT_EQ(text.find('\r'), std::string::npos);
        const auto rows = Python_read(file);
        ASSERT_EQ(rows.size(), 501u);
        EXPECT_EQ(rows[0].size(), 2u);
        for (int j = 1; j <= 500; ++j) {
            ASSERT_EQ(rows[j].size(), 2u);
            ASSERT_EQ(Parsed(rows[j][0]), c.x(j)) << j;
            ASSERT_EQ(Parsed(rows[j][1]), c.y(j)) << j;
        }
    }
}

}  // namespace
