// Acquisition of a channel against the simulated scope: the bus exchange and its waits, where
// each data block's bytes land in the raw sets, the fatal paths, and the converted result.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <string>
#include <vector>

#include "dsp/fft.h"
#include "scope/acquisition.h"
#include "support_sim_link.h"

namespace {

using model::Raw_byte_sets;
using model::Raw_word_sets;

class AcquisitionTest : public testing_support::SimLinkTest {
  protected:
    void Acquire(int channel) {
        scope::Get_Information_About_Waveform(channel);
        scope::Get_waveform_data(channel);
    }
    void Fill_raw_sets(uint8_t byte, uint16_t word) {
        for (auto& row : Raw_byte_sets) row.fill(byte);
        for (auto& row : Raw_word_sets) row.fill(word);
    }
};

// What the link asks of the bus for one channel: the preamble exchange, `sets` data blocks
// read as three header bytes and one sample read, then the measurements.
std::vector<std::string> Expected_traffic(const char* source, int sets, int sample_read,
                                          const char* graph) {
    std::vector<std::string> t = {"HEADER OFF", "HEADER OFF", "WAVEFORM?", "read 1024",
                                  source,       "WAVEFORM?",  "read 1024"};
    for (int s = 0; s < sets; ++s) {
        for (const char* step : {"DATA?", "read 1", "read 1", "read 1"}) t.push_back(step);
        t.push_back("read " + std::to_string(sample_read));
    }
    for (const char* step : {"HEADER OFF", "MEASURE?", "read 1024"}) t.push_back(step);
    t.push_back(graph);
    for (const char* step :
         {"VALID ?", "read 1024", "PERIOD ?", "read 1024", "VRMS ?", "read 1024"}) {
        t.push_back(step);
    }
    return t;
}

std::vector<int> Expected_waits(int sets) {
    std::vector<int> w = {100};
    w.insert(w.end(), static_cast<size_t>(sets), 100);
    for (int ms : {100, 40, 40, 20, 20}) w.push_back(ms);
    return w;
}

TEST_F(AcquisitionTest, BusExchangeAndWaitsPerAveragingSetting) {
    struct Case {
        const char* name;
        int channel;
        bool averaging;
        int count;
        int sets;
        const char* source;
        const char* graph;
    } cases[] = {
        {"channel 1, no averaging", 1, false, 10, 1, "SOURCE CHANNEL1", "SOURCE GRAPH 1"},
        {"channel 2, averaging 10", 2, true, 10, 10, "SOURCE CHANNEL2", "SOURCE GRAPH 2"},
        {"averaging with no count chosen", 1, true, 0, 1, "SOURCE CHANNEL1", "SOURCE GRAPH 1"},
        {"averaging 2", 1, true, 2, 2, "SOURCE CHANNEL1", "SOURCE GRAPH 1"},
        {"count beyond the rows", 1, true, 80, 50, "SOURCE CHANNEL1", "SOURCE GRAPH 1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        scope::Link.Waveform_selected = false;
        Connect();
        model::Waveforms[c.channel].averaging = c.averaging;
        model::Waveforms[c.channel].average_count = c.count;
        Acquire(c.channel);
        EXPECT_EQ(Traffic(), Expected_traffic(c.source, c.sets, 501, c.graph));
        EXPECT_EQ(rec.platform.sleeps, Expected_waits(c.sets));
        EXPECT_TRUE(rec.platform.boxes.empty());
        scope::Release_gpib_library();
    }
}

TEST_F(AcquisitionTest, AveragingFillsOnlyTheRowsItReads) {
    Connect();
    Fill_raw_sets(0xA5, 0xA5A5);
    model::Waveforms[1].averaging = true;
    model::Waveforms[1].average_count = 10;
    Acquire(1);
    const auto blocks = Reads_of(501);
    ASSERT_EQ(blocks.size(), 10u);
    for (int s = 1; s <= 10; ++s) {
        SCOPED_TRACE(s);
        const std::string& block = blocks[static_cast<size_t>(s - 1)];
        ASSERT_EQ(block.size(), 501u);
        EXPECT_TRUE(std::equal(block.begin(), block.end(), Raw_byte_sets[s].begin(),
                               [](char a, uint8_t b) { return static_cast<uint8_t>(a) == b; }));
    }
    for (int s = 11; s <= 50; ++s) {
        EXPECT_TRUE(std::all_of(Raw_byte_sets[s].begin(), Raw_byte_sets[s].end(),
                                [](uint8_t b) { return b == 0xA5; }))
            << "row " << s;
    }
}

TEST_F(AcquisitionTest, LastSampleLandsAtPositionNInBothFormats) {
    struct Case {
        const char* name;
        const char* format;
        int points;
    } cases[] = {
        {"bytes, 500 points", "1", 500},   {"words, 500 points", "2", 500},
        {"bytes, most points", "1", 2002}, {"words, most points", "2", 2002},
        {"words, two points", "2", 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        harness.set("HP_SIM_CH1_FORMAT", c.format);
        harness.set("HP_SIM_CH1_POINTS", std::to_string(c.points));
        // Codes far from 0 and 255 so that a word's two bytes both matter.
        harness.set("HP_SIM_CH1_YINCREMENT", "0.0001");
        harness.set("HP_SIM_CH1_YREFERENCE", c.format[0] == '1' ? "128" : "32768");
        harness.set("HP_SIM_CH1_AMPLITUDE", c.format[0] == '1' ? "0.01" : "1");
        Connect();
        Fill_raw_sets(0xEE, 0xEEEE);
        Acquire(1);
        const bool bytes = c.format[0] == '1';
        const long asked = bytes ? c.points + 1 : 2 * c.points + 1;
        const auto reads = Reads_of(asked);
        ASSERT_EQ(reads.size(), 1u);
        const std::string& r = reads[0];
        ASSERT_EQ(r.size(), static_cast<size_t>(asked));  // the whole block, less CR LF
        for (int j = 1; j <= c.points; ++j) {
            const int expected =
                bytes ? static_cast<uint8_t>(r[j])
                      : static_cast<uint8_t>(r[2 * j - 1]) | static_cast<uint8_t>(r[2 * j]) << 8;
            const int stored = bytes ? Raw_byte_sets[1][j] : Raw_word_sets[1][j];
            ASSERT_EQ(stored, expected) << "sample " << j;
        }
        const int after = bytes ? Raw_byte_sets[1][c.points + 1] : Raw_word_sets[1][c.points + 1];
        EXPECT_EQ(after, bytes ? 0xEE : 0xEEEE);
        scope::Release_gpib_library();
    }
}

TEST_F(AcquisitionTest, ShortBlockLeavesTheRestOfTheRow) {
    struct Case {
        const char* format;
        const char* overcount;  // the sample read (the 7th) reports the count it asked for
    } cases[] = {{"1", ""}, {"2", ""}, {"1", "7"}, {"2", "7"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.format) + " overcount " + c.overcount);
        harness.set("HP_SIM_CH1_FORMAT", c.format);
        harness.set("HP_SIM_BLOCK_SAMPLES", "100");
        harness.set("HP_SIM_OVERCOUNT_READ", c.overcount);
        Connect();
        Fill_raw_sets(0x5A, 0x5A5A);
        Acquire(1);
        EXPECT_TRUE(rec.platform.boxes.empty());
        const bool bytes = c.format[0] == '1';
        const std::string asked = "count=" + std::to_string(bytes ? 501 : 1001);
        int sample_reads = 0;
        for (const auto& e : harness.log()) {
            if (e.function != "ibrd" || e.args.find(asked) == std::string::npos)
                continue;
            ++sample_reads;
            EXPECT_EQ(e.ibcnt, *c.overcount != 0 ? std::stol(asked.substr(6))
                                                 : static_cast<long>(e.data.size()));
        }
        EXPECT_EQ(sample_reads, 1);
        // 100 samples and the block's CR LF arrive; everything after them is as it was, also
        // when the driver reports more bytes than it delivered.
        const int first_untouched = bytes ? 103 : 102;
        for (int k = first_untouched; k <= model::kMaxIndex; ++k) {
            const int stored = bytes ? Raw_byte_sets[1][k] : Raw_word_sets[1][k];
            ASSERT_EQ(stored, bytes ? 0x5A : 0x5A5A) << "position " << k;
        }
        const int sample_100 = bytes ? Raw_byte_sets[1][100] : Raw_word_sets[1][100];
        EXPECT_NE(sample_100, bytes ? 0x5A : 0x5A5A);
        scope::Release_gpib_library();
    }
}

TEST_F(AcquisitionTest, EveryFailedCallIsFatalWithItsText) {
    struct Case {
        const char* name;
        const char* setting;
        const char* value;
        const char* text;
    } cases[] = {
        {"HEADER OFF write", "HP_SIM_FAIL_WRITE", "HEADER OFF@1",
         "Error writing HEADER OFF command"},
        {"WAVEFORM? write", "HP_SIM_FAIL_WRITE", "WAVEFORM?@2", "Error writing PREAMBLE query"},
        {"preamble read time-out", "HP_SIM_TIMEOUT_READ", "3", "Unable to read WAVEFORM?"},
        {"DATA? write", "HP_SIM_FAIL_WRITE", "DATA?@1", "Error writing DATA query"},
        {"number sign read", "HP_SIM_FAIL_READ", "4", "Error reading number sign"},
        {"block name read", "HP_SIM_FAIL_READ", "5", "Error reading block name"},
        {"block length read", "HP_SIM_FAIL_READ", "6", "Error reading block length"},
        {"sample read time-out", "HP_SIM_TIMEOUT_READ", "7", "Unable to read data"},
        {"SOURCE GRAPH write", "HP_SIM_FAIL_WRITE", "SOURCE GRAPH 1@1",
         "Measurement system write error"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        scope::Link.Waveform_selected = false;
        harness.set(c.setting, c.value);
        Connect();
        rec.platform.boxes.clear();
        EXPECT_THROW(Acquire(1), platform::ProgramStopped);
        ASSERT_EQ(rec.platform.boxes.size(), 4u);
        const std::string& first = rec.platform.boxes[0].text;
        EXPECT_EQ(first.substr(0, first.find("  ibsta = $")), c.text);
        const auto traffic = Traffic();
        ASSERT_GE(traffic.size(), 2u);
        EXPECT_EQ(traffic[traffic.size() - 2], "ibonl");
        EXPECT_EQ(traffic.back(), "unload");
        EXPECT_FALSE(scope::Gpib_library_loaded());
        harness.unset(c.setting);
    }
}

TEST_F(AcquisitionTest, ChannelRecordHoldsTheConfiguredSignal) {
    struct Case {
        const char* name;
        const char* format;
        const char* yincrement;
        const char* yreference;
        double tolerance;  // one code step
    } cases[] = {
        {"bytes", "1", "0.01", "128", 0.0101},
        {"words", "2", "0.0001", "32768", 0.000101},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        harness.set("HP_SIM_CH1_FORMAT", c.format);
        harness.set("HP_SIM_CH1_YINCREMENT", c.yincrement);
        harness.set("HP_SIM_CH1_YREFERENCE", c.yreference);
        harness.set("HP_SIM_CH1_FREQUENCY", "1000");
        harness.set("HP_SIM_CH1_AMPLITUDE", "1");
        harness.set("HP_SIM_CH1_POINTS", "500");
        harness.set("HP_SIM_CH1_XINCREMENT", "1e-5");
        harness.set("HP_SIM_CH1_XORIGIN", "-2.5e-3");
        Connect();
        Acquire(1);
        const auto& w = model::Waveforms[1];
        ASSERT_EQ(model::Preamble.points, 500);
        for (int j = 1; j <= 500; ++j) {
            const double t = w.time[j];  // sample j lies one increment after time j - 1
            EXPECT_NEAR(t, -2.5e-3 + j * 1e-5, 1e-15);
            ASSERT_NEAR(w.volts[j], std::sin(2 * std::numbers::pi * 1000.0 * t), c.tolerance) << j;
        }
        const auto& s = dsp::Spectra[1];
        int peak = 2;
        for (int k = 2; k <= dsp::kSpectrumBins; ++k) {
            if (s.amplitude[k] > s.amplitude[peak])
                peak = k;
        }
        EXPECT_NEAR(s.freq[peak], 1000.0, s.freq_increment);
        EXPECT_TRUE(w.measurement_valid);
        EXPECT_NEAR(w.period, 1.0e-3, 1.0e-5);
        EXPECT_NEAR(w.frequency, 1000.0, 10.0);
        EXPECT_NEAR(w.vrms, 1.0 / std::sqrt(2.0), 0.01);
        EXPECT_TRUE(rec.status.lines.empty());
        scope::Release_gpib_library();
    }
}

TEST_F(AcquisitionTest, OutOfRangePointCountIsLimitedBeforeTheRead) {
    harness.set("HP_SIM_CH1_POINTS", "3000");
    Connect();
    Acquire(1);
    EXPECT_EQ(model::Preamble.points, 2002);
    EXPECT_EQ(Reads_of(2003).size(), 1u);
    ASSERT_FALSE(rec.status.lines.empty());
    EXPECT_EQ(rec.status.lines[0], "Preamble points = 3000 out of range, using 2002");
}

}  // namespace
