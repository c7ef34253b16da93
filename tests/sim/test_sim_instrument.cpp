// The simulated scope as an instrument: preamble lines, data blocks in both formats, the
// measurements against the configured signal, autoscale, coupling, and the reply faults.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include "sim/sim_driver.h"
#include "sim_harness.h"

using sim_harness::SimHarness;
using sim_test::SimDriver;

namespace {

constexpr double pi = 3.14159265358979323846;

std::vector<std::string> lines_of(const std::string& reply) {
    std::vector<std::string> lines;
    std::string::size_type start = 0;
    for (auto pos = reply.find("\r\n"); pos != std::string::npos; pos = reply.find("\r\n", start)) {
        lines.push_back(reply.substr(start, pos - start));
        start = pos + 2;
    }
    EXPECT_EQ(start, reply.size()) << "reply does not end in CR LF";
    return lines;
}

struct Block {
    long announced = -1;
    std::vector<long> codes;
};

// Reads an HP block "#A" + 16-bit count (high byte first) + data + CR LF.
Block parse_block(const std::string& b, int bytes_per_sample) {
    Block blk;
    if (b.size() < 6 || b[0] != '#' || b[1] != 'A' || b.substr(b.size() - 2) != "\r\n") {
        ADD_FAILURE() << "not an HP block";
        return blk;
    }
    auto byte = [&](std::size_t i) { return static_cast<long>(static_cast<unsigned char>(b[i])); };
    blk.announced = byte(2) * 256 + byte(3);
    const std::size_t data = b.size() - 6;
    EXPECT_EQ(data % static_cast<std::size_t>(bytes_per_sample), 0u);
    for (std::size_t i = 4; i + static_cast<std::size_t>(bytes_per_sample) <= b.size() - 2;
         i += static_cast<std::size_t>(bytes_per_sample)) {
        blk.codes.push_back(bytes_per_sample == 1 ? byte(i) : byte(i) + 256 * byte(i + 1));
    }
    return blk;
}

class SimInstrument : public ::testing::Test {
  protected:
    SimHarness sim;
    std::unique_ptr<SimDriver> drv;
    int ud = 0;

    void SetUp() override {
        drv = std::make_unique<SimDriver>();
        ASSERT_TRUE(drv->loaded());
    }
    void connect() {
        ud = drv->open();
        ASSERT_GT(ud, 0);
        drv->write(ud, "HEADER OFF");
    }
    std::vector<std::string> preamble(int channel) {
        drv->write(ud, "WAVEFORM?");
        drv->write(ud, channel == 1 ? "SOURCE CHANNEL1" : "SOURCE CHANNEL2");
        return lines_of(drv->query(ud, "WAVEFORM?", 1024));
    }
    Block data(int channel, int bytes_per_sample = 1) {
        preamble(channel);
        return parse_block(drv->query(ud, "DATA?"), bytes_per_sample);
    }
    std::string measure(int graph, const char* query) {
        drv->query(ud, "MEASURE?");
        drv->write(ud, graph == 1 ? "SOURCE GRAPH 1" : "SOURCE GRAPH 2");
        return drv->query(ud, query, 1024);
    }
};

TEST_F(SimInstrument, PreambleHasFourteenLinesForEachSource) {
    sim.set("HP_SIM_CH2_POINTS", "256");
    sim.set("HP_SIM_CH2_FORMAT", "2");
    sim.set("HP_SIM_CH2_XINCREMENT", "2E-6");
    connect();
    const auto ch1 = preamble(1);
    const auto ch2 = preamble(2);
    EXPECT_EQ(ch1, (std::vector<std::string>{"GRAPH 1", "VALID", "1", "NORMAL", "500", "1",
                                             "1.000000E-05", "-2.500000E-03", "0", "1.000000E-02",
                                             "0.000000E+00", "128", "DC", "CHANNEL1"}));
    EXPECT_EQ(ch2, (std::vector<std::string>{"GRAPH 2", "VALID", "2", "NORMAL", "256", "1",
                                             "2.000000E-06", "-2.500000E-03", "0", "3.906250E-05",
                                             "0.000000E+00", "32768", "DC", "CHANNEL2"}));
}

TEST_F(SimInstrument, ByteBlockCarriesTheQuantisedSine) {
    connect();
    const Block b = data(1);
    EXPECT_EQ(b.announced, 500);
    ASSERT_EQ(b.codes.size(), 500u);
    int differing = 0;
    for (std::size_t j = 0; j < b.codes.size(); ++j) {
        // The first sample lies one increment after the x origin.
        const double t = -2.5e-3 + static_cast<double>(j + 1) * 1e-5;
        const long expected = std::lround(std::sin(2 * pi * 1000 * t) / 0.01) + 128;
        if (b.codes[j] != expected)
            ++differing;
        EXPECT_LE(std::abs(b.codes[j] - expected), 1) << j;  // ties may round either way
    }
    EXPECT_LE(differing, 5);
}

TEST_F(SimInstrument, WordBlockSendsLowByteFirst) {
    sim.set("HP_SIM_FORMAT", "2");
    sim.set("HP_SIM_CH1_SHAPE", "dc");
    sim.set("HP_SIM_CH1_OFFSET", "0.5");  // 32768 + 0.5 V / (0.01 V / 256) = 45568 = 0xB200
    sim.set("HP_SIM_POINTS", "3");
    connect();
    drv->write(ud, "WAVEFORM?");
    EXPECT_EQ(drv->query(ud, "DATA?"), std::string("#A\x00\x06\x00\xB2\x00\xB2\x00\xB2\r\n", 12));
}

TEST_F(SimInstrument, BlockOfThreeHundredSamplesAnnouncesBothLengthBytes) {
    sim.set("HP_SIM_POINTS", "300");
    sim.set("HP_SIM_FORMAT", "2");
    connect();
    const Block b = data(1, 2);
    EXPECT_EQ(b.announced, 600);
    EXPECT_EQ(b.codes.size(), 300u);
}

TEST_F(SimInstrument, MeasurementsFollowTheConfiguredSignal) {
    connect();
    EXPECT_EQ(measure(1, "VALID ?"), "1\r\n");
    EXPECT_EQ(measure(1, "PERIOD ?"), "1.000E-03\r\n");
    EXPECT_NEAR(std::stod(measure(1, "VRMS ?")), 1.0 / std::sqrt(2.0), 0.005);
    EXPECT_EQ(measure(2, "PERIOD ?"), "5.000E-04\r\n");
    // triangle of 0.5 V peak on 0.2 V: sqrt(0.2^2 + 0.5^2 / 3)
    EXPECT_NEAR(std::stod(measure(2, "VRMS ?")), std::sqrt(0.04 + 0.25 / 3), 0.005);
}

TEST_F(SimInstrument, ValidityCodes) {
    struct Case {
        const char* name;
        const char* key;
        const char* value;
        const char* reply;
    } cases[] = {
        {"default sine", "HP_SIM_CH1_SHAPE", "sine", "1\r\n"},
        {"clipped", "HP_SIM_CH1_AMPLITUDE", "2", "-3\r\n"},
        {"dc", "HP_SIM_CH1_SHAPE", "dc", "0\r\n"},
        {"no signal", "HP_SIM_CH1_SHAPE", "none", "0\r\n"},
        {"half a period on screen", "HP_SIM_CH1_FREQUENCY", "100", "-6\r\n"},
        {"chosen code", "HP_SIM_VALID", "-2", "-2\r\n"},
    };
    for (const auto& c : cases) {
        sim.set(c.key, c.value);
        connect();
        EXPECT_EQ(measure(1, "VALID ?"), c.reply) << c.name;
        EXPECT_EQ(preamble(1)[1], std::string(c.reply) == "1\r\n" ? "VALID" : "INVALID") << c.name;
        sim.unset(c.key);
    }
}

TEST_F(SimInstrument, AutoscaleBringsAFastSmallSignalOntoTheScreen) {
    sim.set("HP_SIM_CH1_FREQUENCY", "10000");
    sim.set("HP_SIM_CH1_AMPLITUDE", "0.1");
    connect();
    drv->write(ud, "AUTOSCALE FULL");
    const auto p = preamble(1);
    EXPECT_EQ(p[6], "1.000000E-06");   // 4 periods over 500 points: 8E-7 -> 1E-6
    EXPECT_EQ(p[7], "-2.500000E-04");  // centred on the trigger
    EXPECT_EQ(p[9], "1.000000E-03");   // 0.1 V at most 85 % of 127 steps: 9.3E-4 -> 1E-3
    const Block b = data(1);
    const auto [lo, hi] = std::minmax_element(b.codes.begin(), b.codes.end());
    EXPECT_EQ(*hi, 228);
    EXPECT_EQ(*lo, 28);
}

TEST_F(SimInstrument, AutoscaleEndsClipping) {
    sim.set("HP_SIM_CH1_AMPLITUDE", "3");
    connect();
    EXPECT_EQ(measure(1, "VALID ?"), "-3\r\n");
    drv->write(ud, "AUTOSCALE FULL");
    EXPECT_EQ(measure(1, "VALID ?"), "1\r\n");
}

TEST_F(SimInstrument, AcCouplingRemovesTheOffset) {
    connect();
    drv->write(ud, "CHANNEL 2");
    drv->write(ud, "COUPLING AC");
    EXPECT_EQ(preamble(2)[12], "AC");
    const Block b = data(2);
    double mean = 0;
    for (long c : b.codes) mean += static_cast<double>(c - 128) * 0.01;
    EXPECT_NEAR(mean / static_cast<double>(b.codes.size()), 0.0, 0.005);
    EXPECT_NEAR(std::stod(measure(2, "VRMS ?")), 0.5 / std::sqrt(3.0), 0.005);
    drv->write(ud, "CHANNEL 2");
    drv->write(ud, "COUPLING DC");
    EXPECT_EQ(preamble(2)[12], "DC");
}

TEST_F(SimInstrument, HeadersOnPrefixTheReplies) {
    connect();
    drv->write(ud, "HEADER ON");
    EXPECT_EQ(measure(1, "PERIOD ?"), "PERIOD 1.000E-03\r\n");
}

TEST_F(SimInstrument, NoiseRepeatsPerConnectionAndVariesBetweenBlocks) {
    sim.set("HP_SIM_NOISE", "0.05");
    connect();
    const Block first = data(1);
    const Block second = data(1);
    connect();
    const Block again = data(1);
    EXPECT_NE(first.codes, second.codes);
    EXPECT_EQ(first.codes, again.codes);
}

// --- reply faults ----------------------------------------------------------------------------

TEST_F(SimInstrument, ShortBlockAnnouncesAllPointsButCarriesFewer) {
    sim.set("HP_SIM_BLOCK_SAMPLES", "100");
    connect();
    const Block b = data(1);
    EXPECT_EQ(b.announced, 500);
    EXPECT_EQ(b.codes.size(), 100u);
}

TEST_F(SimInstrument, PointsOutOfRangeReachPreambleAndBlock) {
    struct Case {
        const char* points;
        long announced;
    } cases[] = {{"5000", 5000}, {"0", 0}, {"-7", 0}, {"70000", 65535}};
    for (const auto& c : cases) {
        sim.set("HP_SIM_POINTS", c.points);
        connect();
        EXPECT_EQ(preamble(1)[4], c.points);
        const Block b = data(1);
        EXPECT_EQ(b.announced, c.announced) << c.points;
        EXPECT_EQ(static_cast<long>(b.codes.size()), c.announced) << c.points;
    }
}

TEST_F(SimInstrument, PreambleFieldsCanBeReplacedOrCut) {
    sim.set("HP_SIM_PREAMBLE_POINTS", "50x");
    sim.set("HP_SIM_PREAMBLE_LABEL", std::string(40, 'L'));
    connect();
    const auto p = preamble(1);
    ASSERT_EQ(p.size(), 14u);
    EXPECT_EQ(p[4], "50x");
    EXPECT_EQ(p[13], std::string(40, 'L'));
    sim.set("HP_SIM_PREAMBLE_LINES", "10");
    connect();
    EXPECT_EQ(preamble(1).size(), 10u);
}

TEST_F(SimInstrument, ReplyOverridesAndOverlongReplies) {
    sim.set("HP_SIM_REPLY_PERIOD", "abc\\r\\n");
    sim.set("HP_SIM_REPLY_VRMS", "\\n");
    sim.set("HP_SIM_OVERLONG", "ID@300;VALID@250");
    connect();
    EXPECT_EQ(measure(1, "PERIOD ?"), "abc\r\n");
    EXPECT_EQ(measure(1, "VRMS ?"), "\n");
    EXPECT_EQ(measure(1, "VALID ?"), "1" + std::string(250, ' ') + "\r\n");
    EXPECT_EQ(drv->query(ud, "ID ?", 4096), "\"HP54200A\"" + std::string(300, ' ') + "\r\n");
}

}  // namespace
