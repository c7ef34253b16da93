// Engineering-unit texts of the graph titles.
#include <gtest/gtest.h>

#include <string>

#include "dsp/eng_format.h"

namespace {

class EngFormat : public ::testing::Test {
  protected:
    void SetUp() override { dsp::Set_decimal_separator("."); }
    void TearDown() override { dsp::Set_decimal_separator(""); }
};

struct EngCase {
    const char* name;
    const char* prefix;
    double value;
    const char* text;
};

TEST_F(EngFormat, ScalesAndRounding) {
    const EngCase cases[] = {
        {"period_with_prefix", " [T=", 0.002, " [T=2 m"},
        {"one_millisecond_stays_micro", "", 0.001, "1000 \xB5"},
        {"kilo_rounded_to_three_decimals", "", 1234.5678, "1.235 k"},
        {"plain_number_keeps_its_blank", "", 500, "500 "},
        {"kilo_limit_is_exact", "", 1100, "1100 "},
        {"mega_limit_is_exact", "", 1100000, "1100 k"},
        {"mega", "", 2000000, "2 M"},
        {"milli", "", 0.7071, "707.1 m"},
        {"zero_is_nano", "", 0, "0 n"},
        {"negative_is_nano", "", -0.5, "-500000000 n"},
        {"tie_goes_to_even", "", 2.0625, "2.062 "},
        {"tie_goes_to_even_upwards", "", 2.1875, "2.188 "},
        // Halfway thousandths scaled by the extended multiplier, rounded once into the double
        // (reference: exact-rational model, tools/exact_reference.py); a double multiplier
        // would give "394.999 k" and "1.13 M".
        {"kilo_tie_with_extended_multiplier", "", 394998.5, "394.998 k"},
        {"mega_tie_with_extended_multiplier", "", 1130500, "1.131 M"},
        {"nearest_double_to_1_1_is_above_the_limit", "", 1.1, "1.1 "},
        {"nearest_double_to_0_0011_is_above_the_limit", "", 0.0011, "1.1 m"},
        {"nearest_double_to_1_1e-6_is_above_the_limit", "", 1.1e-6, "1.1 \xB5"},
        {"just_below_micro_limit", "", 1.0e-6, "1000 n"},
        {"rounds_away_below_a_thousandth", "", 1.2344e-3, "1.234 m"},
        {"thirteen_digits_stay_fixed", "", 9.5e18, "9500000000000 M"},
        {"sixteen_digits_go_scientific", "", 5e21, "5e+15 M"},
        {"no_value_reply_of_the_scope", "", 9.9e37, "9.9e+31 M"},
        // Far beyond the 64-bit thousandths on the negative side: shown as scaled.
        {"huge_negative_value", "", -9.9e37, "-9.9e+46 n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(dsp::Format_eng(c.prefix, c.value), c.text);
    }
}

TEST_F(EngFormat, UsesTheLocaleDecimalSeparator) {
    dsp::Set_decimal_separator(",");
    EXPECT_EQ(dsp::Decimal_separator(), ",");
    EXPECT_EQ(dsp::Format_eng(" [V=", 0.7071), " [V=707,1 m");
    EXPECT_EQ(dsp::Format_eng("", 500), "500 ");
}

// The titles are Windows-1252: a separator is converted, and one the code page lacks becomes ".".
TEST_F(EngFormat, SeparatorIsConvertedToWindows1252) {
    const struct {
        const char* name;
        const char* utf8;
        const char* text;
    } cases[] = {
        {"comma", ",", "707,1 m"},
        {"arabic_decimal_separator", "\u066B", "707.1 m"},
        {"middle_dot_has_a_byte", "\u00B7",
         "707\xB7"
         "1 m"},
        {"single_quote_mark_has_a_byte", "\u2019",
         "707\x92"
         "1 m"},
        {"not_utf8", "\xD9", "707.1 m"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        dsp::Set_decimal_separator(c.utf8);
        EXPECT_EQ(dsp::Format_eng("", 0.7071), c.text);
    }
}

TEST_F(EngFormat, EmptySeparatorRestoresTheDefault) {
    dsp::Set_decimal_separator("");
    const std::string system = dsp::Decimal_separator();
    EXPECT_EQ(system.size(), 1u);
    dsp::Set_decimal_separator("#");
    EXPECT_EQ(dsp::Format_eng("", 2.5), "2#5 ");
    dsp::Set_decimal_separator("");
    EXPECT_EQ(dsp::Decimal_separator(), system);
}

}  // namespace
