// The text data files: number fields, headers and line layout, file choice and order, and the
// failures of a missing directory or an unwritable file.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app/output/text_export.h"
#include "app/picture/window_state.h"
#include "dsp/channel_math.h"
#include "dsp/fft.h"
#include "model/waveform.h"
#include "recording_platform.h"

namespace {

namespace fs = std::filesystem;

struct FieldCase {
    const char* name;
    double value;
    int width;
    const char* text;
};

TEST(ScientificField, Examples) {
    const FieldCase cases[] = {
        {"thousandth", 0.001, 14, " 1.00000E-0003"},
        {"negative", -2.5, 14, "-2.50000E+0000"},
        {"zero", 0.0, 14, " 0.00000E+0000"},
        {"negative_zero_has_no_sign", -0.0, 14, " 0.00000E+0000"},
        {"bin_spacing_wide", 976.5625, 23, " 9.76562500000000E+0002"},
        {"exact_tie_rounds_up", 976.5625, 14, " 9.76563E+0002"},
        {"negative_exact_tie_rounds_away", -976.5625, 14, "-9.76563E+0002"},
        {"carry_into_the_exponent", 999999.5, 14, " 1.00000E+0006"},
        {"just_below_a_tie_stays", 0.1234565, 14, " 1.23456E-0001"},
        {"just_above_a_tie_rounds_up", 1.000005, 14, " 1.00001E+0000"},
        {"tenth_wide", 0.1, 23, " 1.00000000000000E-0001"},
        {"two_thirds_wide", 2.0 / 3.0, 23, " 6.66666666666667E-0001"},
        {"zero_wide", 0.0, 23, " 0.00000000000000E+0000"},
        {"three_digit_exponent", 1.5e300, 14, " 1.50000E+0300"},
        {"tiny", -2.5e-310, 14, "-2.50000E-0310"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(app::Scientific_field(c.value, c.width), c.text);
    }
}

TEST(ScientificField, NotANumberKeepsTheFieldWidth) {
    EXPECT_EQ(app::Scientific_field(std::nan(""), 14).size(), 14u);
    EXPECT_EQ(app::Scientific_field(-1.0 / 0.0, 23).size(), 23u);
}

std::string Read(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(text.substr(start, end - start));
    EXPECT_EQ(start, text.size()) << "text after the last CR LF";
    return lines;
}

class TextExport : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/text_export_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        home_ = pattern;
        const char* old = std::getenv("HOME");
        old_home_ = old != nullptr ? old : "";
        setenv("HOME", home_.c_str(), 1);
        junk_ = home_ / "junk";
        fs::create_directory(junk_);
        app::Window = {};
        model::Preamble = {};
        model::Waveforms = {};
        dsp::Raw_sums = {};
        dsp::Channel_raw_sums = {};
        dsp::Spectra = {};
    }
    void TearDown() override {
        setenv("HOME", old_home_.c_str(), 1);
        fs::remove_all(home_);
    }
    bool Success_shown() const {
        for (const auto& b : rec_.platform.boxes)
            if (b.kind == platform::BoxKind::Information &&
                b.text == "Data files successfully written")
                return true;
        return false;
    }
    void Show_all() {
        app::Window.Show_ch1_waveform = app::Window.Show_ch1_fft = true;
        app::Window.Show_ch2_waveform = app::Window.Show_ch2_fft = true;
    }

    fs::path home_;
    fs::path junk_;
    std::string old_home_;
    testing_support::RecordedPlatform rec_;
};

TEST_F(TextExport, WaveformFileLayout) {
    model::Preamble.points = 2;
    auto& r = model::Waveforms[1];
    r.time[1] = 1e-6;
    r.volts[1] = -2.5;
    r.time[2] = 2e-6;
    r.volts[2] = 0.001;
    r.time[3] = 3e-6;  // beyond N
    dsp::Channel_raw_sums[1][1] = 65535;
    dsp::Channel_raw_sums[1][2] = 7;
    app::Window.Show_ch1_waveform = true;
    app::Write_data_files();
    EXPECT_EQ(Read(junk_ / "waveform1_data.dat"),
              " Raw data       Time       Voltage    \r\n"
              "   65535   1.00000E-0006 -2.50000E+0000\r\n"
              "       7   2.00000E-0006  1.00000E-0003\r\n");
    EXPECT_FALSE(fs::exists(junk_ / "fft1_data.dat"));
    EXPECT_TRUE(Success_shown());
}

TEST_F(TextExport, SpectrumFileLayout) {
    model::Preamble.points = 2;
    dsp::Spectra[2].freq[2] = 976.5625;
    dsp::Spectra[2].amplitude[1] = 1.0;
    dsp::Spectra[2].amplitude[2] = 0.5;
    app::Window.Show_ch2_fft = true;
    app::Write_data_files();
    EXPECT_EQ(Read(junk_ / "fft2_data.dat"),
              "   Frequency     Amplitude  \r\n"
              "  0.00000000000000E+0000  1.00000000000000E+0000\r\n"
              "  9.76562500000000E+0002  5.00000000000000E-0001\r\n");
}

TEST_F(TextExport, EachWaveformFileCarriesItsOwnChannelsCodes) {
    model::Preamble.points = 1;
    dsp::Channel_raw_sums[1][1] = 11;
    dsp::Channel_raw_sums[2][1] = 22;
    dsp::Raw_sums[1] = 22;  // channel 2 was converted last
    app::Window.Show_ch1_waveform = app::Window.Show_ch2_waveform = true;
    app::Write_data_files();
    EXPECT_EQ(Lines(Read(junk_ / "waveform1_data.dat"))[1].substr(0, 8), "      11");
    EXPECT_EQ(Lines(Read(junk_ / "waveform2_data.dat"))[1].substr(0, 8), "      22");
}

struct LineCountCase {
    const char* name;
    int32_t N;
    size_t lines;            // after the header
    size_t first_zero_line;  // 1-based; lines from here on are zero bins
};

TEST_F(TextExport, SpectrumLinesFollowThePointCount) {
    const LineCountCase cases[] = {
        {"n_500_ends_within_the_bins", 500, 500, 0},
        {"n_1024_has_the_zero_half", 1024, 1024, 513},
        {"n_2002_zeros_beyond_the_spectrum", 2002, 2002, 513},
        {"no_points", 0, 0, 0},
    };
    const std::string zero_line = "  0.00000000000000E+0000  0.00000000000000E+0000";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        // A real spectrum: bins 1..512 non-zero, elements 513..1024 cleared.
        model::Preamble.points = 1500;
        model::Waveforms[1].xincrement = 1e-6;
        for (int j = 1; j <= 1500; ++j) model::Waveforms[1].volts[j] = std::sin(0.3 * j) + 1;
        dsp::Compute_spectrum(1);
        dsp::Spectra[1].amplitude[1500] = 3.0;  // stale content beyond the spectrum
        model::Preamble.points = c.N;
        app::Window.Show_ch1_fft = true;
        app::Write_data_files();
        const auto lines = Lines(Read(junk_ / "fft1_data.dat"));
        ASSERT_EQ(lines.size(), c.lines + 1);
        EXPECT_EQ(lines[0], "   Frequency     Amplitude  ");
        for (size_t i = 1; i <= c.lines; ++i) {
            ASSERT_EQ(lines[i].size(), 48u) << i;
            const bool zero = c.first_zero_line != 0 && i >= c.first_zero_line;
            ASSERT_EQ(lines[i] == zero_line, zero) << i;
        }
        if (c.lines >= 2) {
            EXPECT_EQ(lines[2], " " + app::Scientific_field(dsp::Spectra[1].freq[2], 23) + " " +
                                    app::Scientific_field(dsp::Spectra[1].amplitude[2], 23));
        }
    }
}

TEST_F(TextExport, WaveformLinesAreFixedWidthForAFullRecord) {
    model::Preamble.points = 2002;
    for (int j = 1; j <= 2002; ++j) {
        model::Waveforms[2].time[j] = j * 1e-7 - 1e-4;
        model::Waveforms[2].volts[j] = std::cos(0.01 * j) * 3.3;
        dsp::Channel_raw_sums[2][j] = j * 30;
    }
    app::Window.Show_ch2_waveform = true;
    app::Write_data_files();
    const auto lines = Lines(Read(junk_ / "waveform2_data.dat"));
    ASSERT_EQ(lines.size(), 2003u);
    EXPECT_EQ(lines[0].size(), 38u);
    for (size_t j = 1; j < lines.size(); ++j) ASSERT_EQ(lines[j].size(), 39u) << j;
    EXPECT_EQ(lines[2002].substr(0, 8), "   60060");
}

TEST_F(TextExport, NothingShownWritesNoFileButConfirms) {
    model::Preamble.points = 10;
    app::Write_data_files();
    EXPECT_TRUE(fs::is_empty(junk_));
    EXPECT_TRUE(Success_shown());
}

TEST_F(TextExport, ExistingFilesAreReplaced) {
    std::ofstream(junk_ / "waveform1_data.dat") << std::string(100000, 'x');
    model::Preamble.points = 1;
    app::Window.Show_ch1_waveform = true;
    app::Write_data_files();
    EXPECT_EQ(fs::file_size(junk_ / "waveform1_data.dat"), 40u + 41u);
}

struct BlockedCase {
    const char* name;
    const char* blocked;  // a directory stands where this file should go
    std::vector<const char*> written;
};

TEST_F(TextExport, AnUnwritableFileEndsTheExportInOrder) {
    const BlockedCase cases[] = {
        {"first", "waveform1_data.dat", {}},
        {"second", "fft1_data.dat", {"waveform1_data.dat"}},
        {"third", "waveform2_data.dat", {"waveform1_data.dat", "fft1_data.dat"}},
        {"last", "fft2_data.dat", {"waveform1_data.dat", "fft1_data.dat", "waveform2_data.dat"}},
    };
    const char* all[] = {"waveform1_data.dat", "fft1_data.dat", "waveform2_data.dat",
                         "fft2_data.dat"};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(junk_);
        fs::create_directories(junk_ / c.blocked);
        rec_.platform.boxes.clear();
        model::Preamble.points = 3;
        Show_all();
        app::Write_data_files();
        for (const char* f : all) {
            if (std::string(f) == c.blocked)
                continue;
            const bool expected =
                std::find_if(c.written.begin(), c.written.end(),
                             [&](const char* w) { return std::string(w) == f; }) != c.written.end();
            EXPECT_EQ(fs::exists(junk_ / f), expected) << f;
        }
        ASSERT_EQ(rec_.platform.boxes.size(), 1u);
        EXPECT_EQ(rec_.platform.boxes[0].kind, platform::BoxKind::Error);
        EXPECT_NE(rec_.platform.boxes[0].text.find((junk_ / c.blocked).string()),
                  std::string::npos);
        EXPECT_NE(rec_.platform.boxes[0].text.find(std::strerror(EISDIR)), std::string::npos);
    }
}

TEST_F(TextExport, MissingDirectoryIsReportedAndNothingConfirmed) {
    fs::remove_all(junk_);
    model::Preamble.points = 3;
    Show_all();
    app::Write_data_files();
    ASSERT_EQ(rec_.platform.boxes.size(), 1u);
    const auto& box = rec_.platform.boxes[0];
    EXPECT_EQ(box.kind, platform::BoxKind::Error);
    EXPECT_NE(box.text.find(home_.string() + "/junk/waveform1_data.dat"), std::string::npos);
    EXPECT_NE(box.text.find(std::strerror(ENOENT)), std::string::npos);
    EXPECT_FALSE(Success_shown());
    EXPECT_FALSE(fs::exists(junk_));
}

}  // namespace
