// The scope's automatic measurements against the simulated scope with chosen replies: the
// validity texts, the values kept when invalid, the frequency of a zero period, and the waits.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "scope/measurements.h"
#include "support_sim_link.h"

namespace {

class MeasurementTest : public testing_support::SimLinkTest {
  protected:
    void Previous_values(int channel) {
        auto& w = model::Waveforms[channel];
        w.measurement_valid = true;
        w.period = 0.5;
        w.frequency = 2.0;
        w.vrms = 3.0;
    }
};

TEST_F(MeasurementTest, InvalidCodesAreLoggedAndKeepTheLastValues) {
    struct Case {
        const char* name;
        const char* reply;
        const char* line;
    } cases[] = {
        {"clipped", "-3\r\n", "Waveform measurement data invalid, code = clipped"},
        {"no waveform", "0\r\n", "Waveform measurement data invalid, code = no waveform"},
        {"empty reply", "\r\n", "Waveform measurement data invalid, code = no waveform"},
        {"scaling", "-1\r\n", "Waveform measurement data invalid, code = scaling"},
        {"threshold", "-2\r\n", "Waveform measurement data invalid, code = threshold"},
        {"not found", "-6\r\n", "Waveform measurement data invalid, code = not found"},
        {"minus four has no text", "-4\r\n", "Waveform measurement data invalid, code = "},
        {"two has no text", "2\r\n", "Waveform measurement data invalid, code = "},
        {"leading spaces", "  -3\r\n", "Waveform measurement data invalid, code = clipped"},
        {"digits then junk", "-3xyz\r\n", "Waveform measurement data invalid, code = clipped"},
        {"one byte only", "\n", "Waveform measurement data invalid, code = no waveform"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        harness.set("HP_SIM_REPLY_VALID", c.reply);
        Connect();
        Previous_values(1);
        scope::Get_measurements(1);
        const auto& w = model::Waveforms[1];
        EXPECT_FALSE(w.measurement_valid);
        EXPECT_EQ(w.period, 0.5);
        EXPECT_EQ(w.frequency, 2.0);
        EXPECT_EQ(w.vrms, 3.0);
        EXPECT_EQ(rec.status.lines, std::vector<std::string>{c.line});
        EXPECT_EQ(scope::Link.Message, c.line);
        const std::vector<std::string> traffic = {"HEADER OFF",     "MEASURE?", "read 1024",
                                                  "SOURCE GRAPH 1", "VALID ?",  "read 1024"};
        EXPECT_EQ(Traffic(), traffic);
        EXPECT_EQ(rec.platform.sleeps, (std::vector<int>{100, 40, 40}));
        scope::Release_gpib_library();
    }
}

TEST_F(MeasurementTest, ValidRepliesGiveTheValues) {
    struct Case {
        const char* name;
        const char* period;
        const char* vrms;
        double want_period;
        double want_frequency;
        double want_vrms;
    } cases[] = {
        {"scope's form", "1.000E-03\r\n", "2.5E-01\r\n", 0.001, 1000.0, 0.25},
        {"zero period", "0.000E+00\r\n", "1.0\r\n", 0.0, 0.0, 1.0},
        {"no number", "?\r\n", "\r\n", 0.0, 0.0, 0.0},
        {"leading part", "2.0E-03V\r\n", "0.5 V\r\n", 0.002, 500.0, 0.5},
        {"negative period", "-4E-03\r\n", "1E0\r\n", -0.004, -250.0, 1.0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        harness.set("HP_SIM_REPLY_VALID", "1\r\n");
        harness.set("HP_SIM_REPLY_PERIOD", c.period);
        harness.set("HP_SIM_REPLY_VRMS", c.vrms);
        Connect();
        Previous_values(2);
        model::Waveforms[2].measurement_valid = false;
        scope::Get_measurements(2);
        const auto& w = model::Waveforms[2];
        EXPECT_TRUE(w.measurement_valid);
        EXPECT_EQ(w.period, c.want_period);
        EXPECT_EQ(w.frequency, c.want_frequency);
        EXPECT_EQ(w.vrms, c.want_vrms);
        EXPECT_TRUE(rec.status.lines.empty());
        const std::vector<std::string> traffic = {
            "HEADER OFF", "MEASURE?", "read 1024", "SOURCE GRAPH 2", "VALID ?",
            "read 1024",  "PERIOD ?", "read 1024", "VRMS ?",         "read 1024"};
        EXPECT_EQ(Traffic(), traffic);
        EXPECT_EQ(rec.platform.sleeps, (std::vector<int>{100, 40, 40, 20, 20}));
        scope::Release_gpib_library();
    }
}

TEST_F(MeasurementTest, OverlongReplyIsCutToTheMeasurementCapacity) {
    // 400 characters of digits: the value is that of the first 200.
    harness.set("HP_SIM_REPLY_VALID", "1\r\n");
    harness.set("HP_SIM_REPLY_PERIOD", "1" + std::string(399, '0') + "\r\n");
    harness.set("HP_SIM_REPLY_VRMS", "0.25\r\n");
    Connect();
    scope::Get_measurements(1);
    EXPECT_EQ(model::Waveforms[1].period, 1e199);
    EXPECT_EQ(model::Waveforms[1].vrms, 0.25);
}

TEST_F(MeasurementTest, UncheckedQueryTimeOutGoesOnWithoutStopping) {
    // Reads since the connection: 1 identity, 2 MEASURE?, 3 VALID ?; the VALID read times out
    // and the link goes on with an empty reply: no waveform.
    harness.set("HP_SIM_TIMEOUT_READ", "3");
    Connect();
    EXPECT_NO_THROW(scope::Get_measurements(1));
    EXPECT_TRUE(rec.platform.boxes.empty());
    EXPECT_EQ(rec.status.lines,
              std::vector<std::string>{"Waveform measurement data invalid, code = no waveform"});
}

}  // namespace
