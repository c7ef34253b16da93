// The cursor readouts' numbers: SI prefix, unit and four significant digits.
//
// Faults caught: a prefix chosen before rounding (999.96 mV shown as "1000 mV"), a negative
// voltage given the nano prefix (as the titles' formatter would), trailing zeros dropped so that
// the digits shown vary, "-0.000" for a value that rounds to zero, the locale's separator ignored.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "dsp/eng_format.h"

namespace {

class FormatSi : public ::testing::Test {
  protected:
    void SetUp() override { dsp::Set_decimal_separator("."); }
    void TearDown() override { dsp::Set_decimal_separator(""); }
};

struct SiCase {
    const char* name;
    double value;
    const char* unit;
    const char* text;
};

TEST_F(FormatSi, FourSignificantDigitsWithPrefixAndUnit) {
    const SiCase cases[] = {
        {"one_millisecond_keeps_its_zeros", 0.001, "s", "1.000 ms"},
        {"rms_of_a_one_volt_sine", 0.70710678, "V", "707.1 mV"},
        {"negative_voltage_gets_milli_not_nano", -0.0205, "V", "-20.50 mV"},
        {"kilohertz", 12345.0, "Hz", "12.35 kHz"},
        {"rounding_up_crosses_into_the_next_prefix", 0.99996, "V", "1.000 V"},
        {"just_below_the_next_prefix", 999.94, "Hz", "999.9 Hz"},
        {"microseconds_use_the_micro_sign", 2.5e-6, "s", "2.500 \xB5s"},
        {"nanoseconds", 4e-9, "s", "4.000 ns"},
        {"picoseconds_are_the_smallest_prefix", 3e-15, "s", "0.003 ps"},
        {"megahertz", 1.5e6, "Hz", "1.500 MHz"},
        {"zero", 0.0, "V", "0.000 V"},
        {"negative_rounding_to_zero_has_no_sign", -1e-20, "V", "0.000 pV"},
        {"no_unit", 0.5, "", "500.0 m"},
        {"tens", 42.0, "V", "42.00 V"},
        {"hundreds_negative", -123.44, "V", "-123.4 V"},
    };
    for (const SiCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(dsp::Format_si(c.value, 4, c.unit), c.text);
    }
}

TEST_F(FormatSi, NotFiniteAndLocale) {
    const SiCase cases[] = {
        {"not_a_number", std::nan(""), "V", "NAN V"},
        {"infinity", std::numeric_limits<double>::infinity(), "Hz", "INF Hz"},
    };
    for (const SiCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(dsp::Format_si(c.value, 4, c.unit), c.text);
    }
    dsp::Set_decimal_separator(",");
    EXPECT_EQ(dsp::Format_si(0.0015, 4, "s"), "1,500 ms");
}

}  // namespace
