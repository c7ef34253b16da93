// The measurements table: its cells' texts, its columns for each display choice, the clipping
// read from the codes, its tab-separated and CSV forms, and a column per waveform reference.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "app/analysis/measure_table.h"
#include "app/picture/references.h"
#include "app/picture/window_state.h"
#include "dsp/channel_math.h"
#include "model/waveform.h"

namespace {

struct CellCase {
    const char* name;
    dsp::TMeasured value;
    const char* unit;
    const char* text;
};

TEST(MeasureTable, CellTexts) {
    const CellCase cases[] = {
        {"kilohertz_four_digits", {true, 1000.0L, {}}, "Hz", "1.000 kHz"},
        {"millivolts", {true, 0.70710678L, {}}, "V", "707.1 mV"},
        {"microseconds_micro_sign", {true, 2.934e-4L, {}}, "s", "293.4 \xC2\xB5s"},
        {"negative_volts", {true, -1.5L, {}}, "V", "-1.500 V"},
        {"rounds_up_into_next_prefix", {true, 999.96L, {}}, "Hz", "1.000 kHz"},
        {"nanoseconds", {true, 12.345e-9L, {}}, "s", "12.35 ns"},
        {"zero", {true, 0.0L, {}}, "V", "0.000 V"},
        {"percent_two_decimals", {true, 49.996L, {}}, "%", "50.00 %"},
        {"decibels", {true, -31.5025L, {}}, "dB", "-31.50 dB"},
        {"count", {true, 4.0L, {}}, "", "4"},
        {"missing_with_reason",
         {false, 0.0L, dsp::kFewCrossings},
         "Hz",
         "n/a (fewer than two crossings)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(app::Cell_text(c.value, c.unit), c.text);
    }
}

class Table : public ::testing::Test {
  protected:
    void SetUp() override {
        app::Window = {};
        model::Preamble = {};
        model::Preamble.points = 500;
        model::Byte_format = true;
        model::Waveforms = {};
        dsp::Channel_raw_sums = {};
        // Channel 1: 1 kHz sine of 1 V; channel 2: 2 kHz sine of 0.5 V; 10 us apart.
        for (int ch = 1; ch <= 2; ++ch) {
            auto& r = model::Waveforms[static_cast<std::size_t>(ch)];
            r.xincrement = 1e-5;
            r.x_max = 500 * 1e-5;
            r.measurement_valid = ch == 1;
            r.period = 1e-3;
            r.vrms = 0.7071;
            for (int j = 1; j <= 500; ++j) {
                r.volts[static_cast<std::size_t>(j)] =
                    (ch == 1 ? 1.0 : 0.5) * std::sin(2 * M_PI * 1000.0 * ch * j * 1e-5);
                dsp::Channel_raw_sums[static_cast<std::size_t>(ch)][static_cast<std::size_t>(j)] =
                    128 +
                    static_cast<int>(std::lround(r.volts[static_cast<std::size_t>(j)] / 0.01));
            }
        }
    }
    void TearDown() override { app::Window = {}; }

    static std::vector<std::string> Names(const app::MeasureTable& t) {
        std::vector<std::string> names;
        for (const auto& c : t.columns) names.push_back(c.name);
        return names;
    }
    static const dsp::TMeasured& Cell(const app::MeasureTable& t, std::size_t col,
                                      const std::string& quantity) {
        const auto& rows = app::Measure_rows();
        for (std::size_t i = 0; i < rows.size(); ++i)
            if (rows[i].quantity == quantity)
                return t.columns[col].values[i];
        ADD_FAILURE() << "no row " << quantity;
        return t.columns[col].values[0];
    }
};

struct ColumnCase {
    const char* name;
    app::WindowState window;
    std::vector<std::string> columns;
};

TEST_F(Table, ColumnPerShownChannelOrCombination) {
    const ColumnCase cases[] = {
        {"nothing_shown", {}, {}},
        {"ch1_waveform", {true, false, false, false, 0}, {"Ch 1"}},
        {"ch1_fft_only", {false, true, false, false, 0}, {"Ch 1"}},
        {"ch2_waveform_and_fft", {false, false, true, true, 0}, {"Ch 2"}},
        {"ch1_fft_ch2_waveform", {false, true, true, false, 0}, {"Ch 1", "Ch 2"}},
        {"both_in_one_graph", {false, false, false, false, 1}, {"Ch 1", "Ch 2"}},
        {"sum", {false, false, false, false, 2}, {"Ch 1 + Ch 2"}},
        {"difference", {false, false, false, false, 3}, {"Ch 1 - Ch 2"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        app::Window = c.window;
        EXPECT_EQ(Names(app::Build_measure_table()), c.columns);
    }
}

TEST_F(Table, ChannelValuesScopeRowsAndCombination) {
    app::Window.Combined_display = 1;
    const auto t = app::Build_measure_table();
    EXPECT_NEAR(static_cast<double>(Cell(t, 0, "Frequency").value), 1000.0, 1.0);
    EXPECT_NEAR(static_cast<double>(Cell(t, 1, "Frequency").value), 2000.0, 2.0);
    EXPECT_DOUBLE_EQ(static_cast<double>(Cell(t, 0, "Scope RMS").value), 0.7071);
    EXPECT_EQ(Cell(t, 1, "Scope period").why, "the scope's measurement is not valid");
    // The difference of the two sines: peak frequency of channel 1's, 1 V.
    app::Window.Combined_display = 3;
    const auto d = app::Build_measure_table();
    EXPECT_NEAR(static_cast<double>(Cell(d, 0, "Peak magnitude").value), 1.0, 0.01);
    EXPECT_EQ(Cell(d, 0, "Scope RMS").why, "not measured by the scope");
}

TEST_F(Table, EachChannelMeasuredOverItsOwnPoints) {
    // Channel 2 read last with 250 points: the preamble holds its count, not channel 1's.
    model::Preamble.points = 250;
    model::Waveforms[2].x_max = 250 * 1e-5;
    app::Window.Combined_display = 1;
    const auto t = app::Build_measure_table();
    EXPECT_EQ(Cell(t, 0, "Cycles counted").value, 4.0L);  // five periods of 1 kHz in 500
    EXPECT_EQ(Cell(t, 1, "Cycles counted").value, 4.0L);  // five periods of 2 kHz in 250
    EXPECT_NEAR(static_cast<double>(Cell(t, 0, "Mean").value), 0.0, 1e-3);
}

struct ClipCase {
    const char* name;
    int code;  // put at sample 100 of channel 1
    bool byte_format, inverted;
    bool maximum_missing, minimum_missing;
};

TEST_F(Table, ClippingReadFromTheCodeLimits) {
    const ClipCase cases[] = {
        {"inside_the_codes", 200, true, false, false, false},
        {"byte_top_code", 255, true, false, true, false},
        {"byte_bottom_code", 0, true, false, false, true},
        {"top_code_inverted_is_the_bottom", 255, true, true, false, true},
        {"255_is_no_limit_in_word_format", 255, false, false, false, false},
        {"word_top_code", 65535, false, false, true, false},
    };
    app::Window.Show_ch1_waveform = true;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        model::Byte_format = c.byte_format;
        model::Waveforms[1].inverted = c.inverted;
        dsp::Channel_raw_sums[1][100] = c.code;
        const auto t = app::Build_measure_table();
        EXPECT_EQ(!Cell(t, 0, "Maximum").exists, c.maximum_missing);
        EXPECT_EQ(!Cell(t, 0, "Minimum").exists, c.minimum_missing);
        EXPECT_EQ(!Cell(t, 0, "RMS").exists, c.maximum_missing || c.minimum_missing);
        EXPECT_TRUE(Cell(t, 0, "Frequency").exists);
    }
}

TEST_F(Table, TabSeparatedAndCsvForms) {
    app::Window.Combined_display = 1;
    const auto t = app::Build_measure_table();
    const std::string tsv = app::Table_tsv(t);
    std::istringstream in(tsv);
    std::string line;
    std::getline(in, line);
    EXPECT_EQ(line, "Quantity\tCh 1\tCh 2");
    std::getline(in, line);
    EXPECT_EQ(line, "Maximum\t" + app::Cell_text(t.columns[0].values[0], "V") + "\t" +
                        app::Cell_text(t.columns[1].values[0], "V"));
    std::size_t lines = 2;
    while (std::getline(in, line)) ++lines;
    EXPECT_EQ(lines, app::Measure_rows().size() + 1);

    const std::string csv = app::Table_csv(t);
    std::istringstream c(csv);
    std::getline(c, line);
    EXPECT_EQ(line, "channel,quantity,value,unit");
    std::vector<std::string> body;
    while (std::getline(c, line)) body.push_back(line);
    ASSERT_EQ(body.size(), 2 * app::Measure_rows().size());
    EXPECT_EQ(body[6].rfind("Ch 1,Frequency,", 0), 0u) << body[6];
    EXPECT_NEAR(std::stod(body[6].substr(15)), 1000.0, 1.0);
    EXPECT_EQ(body[6].substr(body[6].rfind(',')), ",Hz");
    const std::size_t scope_period = app::Measure_rows().size() + 16;
    EXPECT_EQ(body[scope_period], "Ch 2,Scope period,n/a (the scope's measurement is not valid),s");
    EXPECT_EQ(body[15], "Ch 1,Cycles counted,4,");
}

// A reference column measured otherwise than the live one (another sample interval, other
// samples), a reference of a hidden channel or of a spectrum given a column, or columns out of
// order.
TEST_F(Table, ColumnPerWaveformReferenceMeasuredAsTheLiveOnes) {
    using G = app::ReferenceGraph;
    struct Case {
        const char* name;
        app::WindowState window;
        G graph;
        int channel;  // the reference holds this channel's samples; 0: channel 1 plus channel 2
        std::vector<std::string> columns;
        std::size_t equal_to;  // the live column the reference's equals
    };
    const Case cases[] = {
        {"ch1_reference_equals_ch1",
         {true, false, false, false, 0},
         G::Ch1Waveform,
         1,
         {"Ch 1", "ref: a.csv"},
         0},
        {"ch1_reference_with_only_the_fft_shown",
         {false, true, false, false, 0},
         G::Ch1Waveform,
         1,
         {"Ch 1", "ref: a.csv"},
         0},
        {"ch2_reference_after_both_channels",
         {true, false, true, false, 0},
         G::Ch2Waveform,
         2,
         {"Ch 1", "Ch 2", "ref: a.csv"},
         1},
        {"ch2_reference_in_the_one_graph",
         {false, false, false, false, 1},
         G::Ch2Waveform,
         2,
         {"Ch 1", "Ch 2", "ref: a.csv"},
         1},
        {"sum_reference_equals_the_sum",
         {false, false, false, false, 2},
         G::Sum,
         0,
         {"Ch 1 + Ch 2", "ref: a.csv"},
         0},
        {"hidden_channel_reference_has_none",
         {true, false, false, false, 0},
         G::Ch2Waveform,
         2,
         {"Ch 1"},
         0},
        {"spectrum_reference_has_none",
         {true, true, false, false, 0},
         G::Ch1Spectrum,
         1,
         {"Ch 1"},
         0},
    };
    const auto& rows = app::Measure_rows();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        app::Window = c.window;
        app::Reference r{"a.csv", {}, {}};
        for (std::size_t j = 1; j <= 500; ++j) {
            r.x.push_back(static_cast<double>(j) * 1e-5);
            r.y.push_back(c.channel > 0
                              ? model::Waveforms[static_cast<std::size_t>(c.channel)].volts[j]
                              : model::Waveforms[1].volts[j] + model::Waveforms[2].volts[j]);
        }
        ASSERT_EQ(app::Add_reference(c.graph, r), "");
        const app::MeasureTable t = app::Build_measure_table();
        app::Clear_references();
        EXPECT_EQ(Names(t), c.columns);
        if (t.columns.size() != c.columns.size() || c.columns.back().rfind("ref: ", 0) != 0)
            continue;
        const app::MeasureColumn& live = t.columns[c.equal_to];
        const app::MeasureColumn& ref = t.columns.back();
        for (std::size_t i = 0; i < rows.size(); ++i) {
            SCOPED_TRACE(rows[i].quantity);
            if (std::string(rows[i].quantity).rfind("Scope ", 0) == 0) {
                EXPECT_EQ(ref.values[i].why, "not measured by the scope");
                continue;
            }
            EXPECT_EQ(app::Cell_text(ref.values[i], rows[i].unit),
                      app::Cell_text(live.values[i], rows[i].unit));
            EXPECT_NEAR(static_cast<double>(ref.values[i].value),
                        static_cast<double>(live.values[i].value),
                        1e-9 * std::max(1.0L, std::fabs(live.values[i].value)));
        }
    }
}

}  // namespace
