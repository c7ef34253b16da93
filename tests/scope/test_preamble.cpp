// Decoding of the scope's WAVEFORM preamble: the line splitting, the number conversions and
// their logged errors, the padded text fields, and the limits that keep later readers inside
// the sample tables.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/waveform.h"
#include "recording_platform.h"
#include "scope/acquisition.h"

namespace {

using testing_support::RecordedPlatform;

// A correct preamble as the scope sends it with headers off, line by line.
std::vector<std::string> Good_lines() {
    return {"GRAPH 1",    "1", "2",         "NORMAL", "500", "1",  "1.000E-05",
            "-2.500E-03", "0", "1.000E-02", "0.0",    "128", "DC", "CHANNEL 1 LABEL"};
}

std::string Join(const std::vector<std::string>& lines) {
    std::string text;
    for (const auto& line : lines) text += line + "\r\n";
    return text;
}

std::string With_line(int index, const std::string& value) {
    auto lines = Good_lines();
    lines[static_cast<size_t>(index)] = value;
    return Join(lines);
}

class PreambleTest : public ::testing::Test {
  protected:
    void SetUp() override {
        model::Preamble = model::TPreamble{};
        model::Byte_format = false;
    }
    RecordedPlatform rec;
};

TEST_F(PreambleTest, CorrectPreambleFillsEveryFieldAndLogsNothing) {
    scope::Parse_preamble(Join(Good_lines()));
    const auto& p = model::Preamble;
    EXPECT_EQ(p.graph_source, "GRAPH 1");
    EXPECT_EQ(p.valid, "1         ");
    EXPECT_EQ(p.format, "2   ");
    EXPECT_EQ(p.type, "NORMAL  ");
    EXPECT_EQ(p.points, 500);
    EXPECT_EQ(p.frame_count, 1);
    EXPECT_DOUBLE_EQ(p.xincrement, 1.0e-5);
    EXPECT_DOUBLE_EQ(p.xorigin, -2.5e-3);
    EXPECT_EQ(p.xreference, 0);
    EXPECT_DOUBLE_EQ(p.yincrement, 1.0e-2);
    EXPECT_DOUBLE_EQ(p.yorigin, 0.0);
    EXPECT_EQ(p.yreference, 128);
    EXPECT_EQ(p.coupling, "DC");
    EXPECT_EQ(p.waveform_label, "CHANNEL 1  ");
    EXPECT_FALSE(model::Byte_format);
    EXPECT_TRUE(rec.status.lines.empty());
}

TEST_F(PreambleTest, OnlyAFormatOfExactlyOneMeansOneBytePerSample) {
    struct Case {
        const char* name;
        const char* line;
        bool byte_format;
        const char* stored;
    } cases[] = {
        {"one", "1", true, "1   "},
        {"two", "2", false, "2   "},
        {"ten", "10", false, "10  "},
        {"one and a space", "1 ", false, "1   "},
        {"a word", "BYTE", false, "BYTE"},
        {"empty", "", false, "    "},
        {"leading space", " 1", false, " 1  "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        model::Byte_format = !c.byte_format;
        scope::Parse_preamble(With_line(2, c.line));
        EXPECT_EQ(model::Byte_format, c.byte_format);
        EXPECT_EQ(model::Preamble.format, c.stored);
    }
}

TEST_F(PreambleTest, PointsConversionAndLimits) {
    struct Case {
        const char* name;
        std::string line;
        int32_t points;
        std::vector<std::string> log;
    } cases[] = {
        {"plain", "501", 501, {}},
        {"sign and leading spaces", "  +600", 600, {}},
        {"letter after digits",
         "50x",
         50,
         {"error decoding points, string = 50x problem at position 3"}},
        {"trailing space",
         "501 ",
         501,
         {"error decoding points, string = 501  problem at position 4"}},
        {"lower limit", "2", 2, {}},
        {"upper limit", "2002", 2002, {}},
        {"one", "1", 2, {"Preamble points = 1 out of range, using 2"}},
        {"negative", "-5", 2, {"Preamble points = -5 out of range, using 2"}},
        {"above the tables", "2048", 2002, {"Preamble points = 2048 out of range, using 2002"}},
        {"empty",
         "",
         2,
         {"error decoding points, string =  problem at position 1",
          "Preamble points = 0 out of range, using 2"}},
        {"beyond 32 bits",
         "99999999999",
         2002,
         {"error decoding points, string = 99999999999 problem at position 10",
          "Preamble points = 999999999 out of range, using 2002"}},
        {"cut to 25 characters",
         "5" + std::string(29, 'x'),
         5,
         {"error decoding points, string = 5" + std::string(24, 'x') + " problem at position 2"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        rec.status.lines.clear();
        scope::Parse_preamble(With_line(4, c.line));
        EXPECT_EQ(model::Preamble.points, c.points);
        EXPECT_EQ(rec.status.lines, c.log);
    }
}

TEST_F(PreambleTest, EachNumericFieldLogsItsOwnName) {
    struct Case {
        int index;
        const char* text;
    } cases[] = {
        {5, "error decoding frame_count, string = ? problem at position 1"},
        {6, "error decoding xincrement, string = ? problem at position 1"},
        {7, "error decoding xorigin, string = ? problem at position 1"},
        {8, "error decoding xreference, string = ? problem at position 1"},
        {9, "error decoding yincrement, string = ? problem at position 1"},
        {10, "error decoding yorigin, string = ? problem at position 1"},
        {11, "error decoding yreference, string = ? problem at position 1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.index);
        rec.status.lines.clear();
        scope::Parse_preamble(With_line(c.index, "?"));
        EXPECT_EQ(rec.status.lines, std::vector<std::string>{c.text});
    }
}

TEST_F(PreambleTest, TextFieldsArePaddedOrCutToTheirWidth) {
    struct Case {
        const char* name;
        int index;
        const char* line;
        std::string model::TPreamble::*field;
        const char* stored;
    } cases[] = {
        {"coupling AC", 12, "AC", &model::TPreamble::coupling, "AC"},
        {"coupling one character", 12, "1", &model::TPreamble::coupling, "1 "},
        {"coupling too long", 12, "ACDC", &model::TPreamble::coupling, "AC"},
        {"coupling empty", 12, "", &model::TPreamble::coupling, "  "},
        {"graph source too long", 0, "GRAPH 12345", &model::TPreamble::graph_source, "GRAPH 1"},
        {"valid short", 1, "0", &model::TPreamble::valid, "0         "},
        {"type too long", 3, "AVERAGED-ENVELOPE", &model::TPreamble::type, "AVERAGED"},
        {"label short", 13, "ABC", &model::TPreamble::waveform_label, "ABC        "},
        {"label exactly ten", 13, "0123456789", &model::TPreamble::waveform_label, "0123456789 "},
        {"label long", 13, "0123456789ABCDEF", &model::TPreamble::waveform_label, "0123456789 "},
        {"label longer than a field", 13, "0123456789012345678901234567890123",
         &model::TPreamble::waveform_label, "0123456789 "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        scope::Parse_preamble(With_line(c.index, c.line));
        EXPECT_EQ(model::Preamble.*c.field, c.stored);
    }
}

TEST_F(PreambleTest, ShortReplyBlanksMissingTextAndLogsMissingNumbers) {
    scope::Parse_preamble(Join(Good_lines()));
    rec.status.lines.clear();
    scope::Parse_preamble("GRAPH 1\r\n1\r\n1\r\nNORMAL\r\n400\r\n");
    const auto& p = model::Preamble;
    EXPECT_EQ(p.points, 400);
    EXPECT_TRUE(model::Byte_format);
    EXPECT_EQ(p.coupling, "  ");
    EXPECT_EQ(p.waveform_label, std::string(11, ' '));
    EXPECT_EQ(p.yreference, 0);
    EXPECT_EQ(p.xincrement, 0.0);
    const std::vector<std::string> expected = {
        "error decoding frame_count, string =  problem at position 1",
        "error decoding xincrement, string =  problem at position 1",
        "error decoding xorigin, string =  problem at position 1",
        "error decoding xreference, string =  problem at position 1",
        "error decoding yincrement, string =  problem at position 1",
        "error decoding yorigin, string =  problem at position 1",
        "error decoding yreference, string =  problem at position 1",
    };
    EXPECT_EQ(rec.status.lines, expected);
}

TEST_F(PreambleTest, LinesAfterTheFourteenthAreIgnored) {
    auto lines = Good_lines();
    lines.push_back("EXTRA");
    lines.push_back("999");
    scope::Parse_preamble(Join(lines));
    EXPECT_EQ(model::Preamble.waveform_label, "CHANNEL 1  ");
    EXPECT_TRUE(rec.status.lines.empty());
}

TEST(NextField, SplitsAtCarriageReturnAndSkipsOneMoreCharacter) {
    struct Case {
        const char* name;
        std::string text;
        size_t start;
        std::string field;
        size_t next;
    } cases[] = {
        {"CR LF", "AB\r\nCD", 0, "AB", 4},
        {"second line", "AB\r\nCD\r\n", 4, "CD", 8},
        {"no terminator", "ABC", 0, "ABC", 3},
        {"CR at the very end", "AB\r", 0, "AB", 3},
        {"bare LF is part of the field", "AB\nCD\r\n", 0, "AB\nCD", 7},
        {"empty line", "\r\nX", 0, "", 2},
        {"at the end", "AB", 2, "", 2},
        {"past the end", "AB", 9, "", 2},
        {"cut to 25", std::string(30, 'z') + "\r\nQ", 0, std::string(25, 'z'), 32},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        size_t position = c.start;
        EXPECT_EQ(scope::Next_field(c.text, position), c.field);
        EXPECT_EQ(position, c.next);
    }
}

TEST(Conversion, IntegerLeadingPartAndErrorPosition) {
    struct Case {
        const char* name;
        const char* text;
        long double value;
        int32_t position;
    } cases[] = {
        {"digits", "501", 501, 0},
        {"negative", "-12", -12, 0},
        {"plus and spaces", "   +7", 7, 0},
        {"letter", "50x", 50, 3},
        {"empty", "", 0, 1},
        {"sign only", "-", 0, 2},
        {"spaces only", "  ", 0, 3},
        {"decimal point", "1.5", 1, 2},
        {"largest", "2147483647", 2147483647, 0},
        {"smallest", "-2147483648", -2147483648.0L, 0},
        {"one past largest", "2147483648", 214748364, 10},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto r = scope::Convert_integer(c.text);
        EXPECT_EQ(r.value, c.value);
        EXPECT_EQ(r.error_position, c.position);
    }
}

TEST(Conversion, RealLeadingPartAndErrorPosition) {
    struct Case {
        const char* name;
        const char* text;
        double value;
        int32_t position;
    } cases[] = {
        {"scope form", "1.000E-03", 1.0e-3, 0},
        {"negative lower-case exponent", "-2.5e+02", -250.0, 0},
        {"plus sign", "+0.25", 0.25, 0},
        {"leading spaces", "  4", 4.0, 0},
        {"no integer part", ".5", 0.5, 0},
        {"no fraction digits", "5.", 5.0, 0},
        {"exponent without digits", "1.5E", 1.5, 5},
        {"exponent with letter", "1.5Ex", 1.5, 5},
        {"trailing letter", "2.5V", 2.5, 4},
        {"point only", ".", 0.0, 2},
        {"empty", "", 0.0, 1},
        {"word", "inf", 0.0, 1},
        {"comma decimal", "2,5", 2.0, 2},
        {"beyond a double", "1E999", 0.0, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto r = scope::Convert_real(c.text);
        EXPECT_EQ(static_cast<double>(r.value), c.value);
        EXPECT_EQ(r.error_position, c.position);
    }
}

}  // namespace
