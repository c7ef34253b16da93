// The metafile writer, checked word by word against the WMF layout, and read back by libwmf.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "portable.h"
#include "support_recording_canvas.h"
#include "support_wmf.h"
#include "vistrel/metafile.h"
#include "vistrel/scaling.h"
#include "vistrel/state.h"

namespace {

using testing_support::RecordingCanvas;
using vistrel::metafile;
using vistrel::plot;
using wmf_support::Record;

using Words = std::vector<std::uint16_t>;

class MetafileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        vistrel::ReleaseMetafileWriter();
        metafile = vistrel::MetafileState{};
        plot = vistrel::Plot{};
        canvas.set_font_name("Arial");
        canvas.set_font_size(9);
        canvas.set_font_colour(0);
        canvas.set_pen_colour(0);
        plot.PlotCanvas = &canvas;
        plot.SurfaceWidth = 600;
        plot.SurfaceHeight = 400;
        plot.BackgroundColour = 0xFFFFFF;
        plot.ForegroundColour = 0;
        plot.CharWidth = 7;
    }
    void TearDown() override {
        vistrel::ReleaseMetafileWriter();
        plot = vistrel::Plot{};
    }

    // Opens a file, runs draw, closes it and returns the records between the headers and the
    // end record.
    std::vector<Record> Capture(const std::function<void()>& draw) {
        std::string name = dir.file("capture.wmf");
        bool ok = false;
        vistrel::OpenMetafile(name, ok);
        EXPECT_TRUE(ok);
        draw();
        vistrel::CloseMetafile(600, 400, 96, ok);
        EXPECT_TRUE(ok);
        bytes = wmf_support::ReadBytes(name);
        auto records = wmf_support::ParseRecords(bytes);
        EXPECT_FALSE(records.empty());
        if (!records.empty()) {
            EXPECT_EQ(records.back().function, vistrel::MetaEof);
            records.pop_back();
        }
        return records;
    }

    // Opens a file and writes the prologue, so that the Meta values follow the canvas.
    void OpenWithPrologue() {
        std::string name = dir.file("prologue.wmf");
        bool ok = false;
        vistrel::OpenMetafile(name, ok);
        ASSERT_TRUE(ok);
        vistrel::WriteMetafilePrologue();
    }

    // The records written by draw after the prologue.
    std::vector<Record> AfterPrologue(const std::function<void()>& draw) {
        const std::size_t prologue_records = 15;
        auto records = Capture([&] {
            vistrel::WriteMetafilePrologue();
            draw();
        });
        EXPECT_GE(records.size(), prologue_records);
        return std::vector<Record>(records.begin() + prologue_records, records.end());
    }

    wmf_support::TempDir dir;
    RecordingCanvas canvas;
    std::vector<std::uint8_t> bytes;
};

Words Layout(const std::vector<Record>& records) {
    Words out;
    for (const auto& r : records) {
        out.push_back(static_cast<std::uint16_t>(r.size));
        out.push_back(r.function);
    }
    return out;
}

TEST_F(MetafileTest, EmptyPictureWithArialHasTheFixedLayout) {
    const auto records = Capture([] { vistrel::WriteMetafilePrologue(); });
    using namespace vistrel;
    const Words expected = {17, MetaEscape,       17, MetaEscape,
                            4,  MetaSetMapMode,   5,  MetaSetWindowOrg,
                            5,  MetaSetWindowExt, 7,  MetaCreateBrushIndirect,
                            4,  MetaSelectObject, 9,  MetaCreatePenIndirect,
                            4,  MetaSelectObject, 15, MetaCreateFontIndirect,
                            5,  MetaSetTextColor, 4,  MetaSetTextCharExtra,
                            4,  MetaSelectObject, 7,  MetaRectangle,
                            4,  MetaSetBkMode};
    EXPECT_EQ(Layout(records), expected);
    EXPECT_EQ(metafile.MetaTotalWords, 134);
    EXPECT_EQ(metafile.MetaMaxRecord, 17);
    ASSERT_EQ(bytes.size(), 268u);

    // Placeable header, then the metafile header.
    EXPECT_EQ(wmf_support::DwordAt(bytes, 0), 0x9AC6CDD7u);
    const Words placeable = {0, 0, 0, 600, 400, 96, 0, 0, 0x54B9};
    for (std::size_t i = 0; i < placeable.size(); ++i)
        EXPECT_EQ(wmf_support::WordAt(bytes, 4 + 2 * i), placeable[i]) << "placeable word " << i;
    EXPECT_EQ(wmf_support::WordAt(bytes, 22), 1);
    EXPECT_EQ(wmf_support::WordAt(bytes, 24), 9);
    EXPECT_EQ(wmf_support::WordAt(bytes, 26), 0x0300);
    EXPECT_EQ(wmf_support::DwordAt(bytes, 28), 134u);
    EXPECT_EQ(wmf_support::WordAt(bytes, 32), 3);
    EXPECT_EQ(wmf_support::DwordAt(bytes, 34), 17u);
    EXPECT_EQ(wmf_support::WordAt(bytes, 38), 0);
    // The end record closes the file.
    EXPECT_EQ(wmf_support::DwordAt(bytes, 262), 3u);
    EXPECT_EQ(wmf_support::WordAt(bytes, 266), 0);

    // Objects: white solid brush in slot 0, black one-pixel pen in 1, the font in 2.
    EXPECT_EQ(records[5].params, (Words{0, 0xFFFF, 0x02FF, 0}));
    EXPECT_EQ(records[6].params, (Words{0}));
    EXPECT_EQ(records[7].params, (Words{0, 1, 0, 0x0000, 0x0200, 0}));
    EXPECT_EQ(records[8].params, (Words{1}));
    EXPECT_EQ(records[12].params, (Words{2}));
    EXPECT_EQ(records[3].params, (Words{0, 0}));
    EXPECT_EQ(records[4].params, (Words{400, 600}));
    EXPECT_EQ(records[13].params, (Words{400, 600, 0, 0}));
    EXPECT_EQ(records[14].params, (Words{1}));
}

// The record tests above compare with the writer's own names; here each name is pinned once to
// its number in the RecordType table of the WMF format ([MS-WMF] 2.1.1.1).
TEST(MetafileFunctions, AreTheNumbersOfTheWmfRecordTable) {
    using namespace vistrel;
    const std::pair<MetaFunction, std::uint16_t> table[] = {
        {MetaEof, 0x0000},
        {MetaSetBkMode, 0x0102},
        {MetaSetMapMode, 0x0103},
        {MetaSetTextCharExtra, 0x0108},
        {MetaSetTextColor, 0x0209},
        {MetaSetWindowOrg, 0x020B},
        {MetaSetWindowExt, 0x020C},
        {MetaLineTo, 0x0213},
        {MetaMoveTo, 0x0214},
        {MetaSelectObject, 0x012D},
        {MetaSetTextAlign, 0x012E},
        {MetaDeleteObject, 0x01F0},
        {MetaCreatePenIndirect, 0x02FA},
        {MetaCreateFontIndirect, 0x02FB},
        {MetaCreateBrushIndirect, 0x02FC},
        {MetaRectangle, 0x041B},
        {MetaSetPixel, 0x041F},
        {MetaTextOut, 0x0521},
        {MetaEscape, 0x0626},
    };
    for (const auto& [function, number] : table) EXPECT_EQ(function, number) << std::hex << number;
}

TEST_F(MetafileTest, CommentRecordPacksTheTextWithATrailingBlank) {
    const auto records = Capture([] { vistrel::EmitComment("File created by VISTREL"); });
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].size, 17u);
    EXPECT_EQ(records[0].params[0], 15);
    EXPECT_EQ(records[0].params[1], 23);
    EXPECT_EQ(wmf_support::UnpackText(records[0].params, 2, 24), "File created by VISTREL ");
}

TEST_F(MetafileTest, SecondPrologueCommentIsAFixedTwentyThreeCharacters) {
    const auto records = Capture([] { vistrel::WriteMetafilePrologue(); });
    ASSERT_GE(records.size(), 2u);
    EXPECT_EQ(records[1].params[1], 23);
    EXPECT_NE(wmf_support::UnpackText(records[1].params, 2, 23), "File created by VISTREL");
}

struct FontCase {
    const char* name;
    const char* face;
    int points;
    bool bold;
    int char_width;
    std::uint32_t words;  // record size
    int height;
    int width;
    int extra;
};

class CreateFontTest : public MetafileTest, public ::testing::WithParamInterface<FontCase> {};

TEST_P(CreateFontTest, RecordSizeWidthAndSpacingFollowTheFace) {
    const FontCase& c = GetParam();
    canvas.set_font_name(c.face);
    canvas.set_font_size(c.points);
    canvas.set_font_style({.bold = c.bold});
    canvas.set_font_colour(0x00FF00);
    plot.CharWidth = c.char_width;
    const auto records = Capture([] { vistrel::EmitCurrentFont(); });
    ASSERT_EQ(records.size(), 3u);
    const Record& font = records[0];
    EXPECT_EQ(font.function, vistrel::MetaCreateFontIndirect);
    EXPECT_EQ(font.size, c.words);
    EXPECT_EQ(static_cast<std::int16_t>(font.params[0]), c.height);
    EXPECT_EQ(font.params[1], c.width);
    EXPECT_EQ(font.params[4], c.bold ? 700 : 400);
    EXPECT_EQ(font.params[6], 256);  // no strike-out, character set 1
    const std::string face = c.face;
    EXPECT_EQ(wmf_support::UnpackText(font.params, 9, face.size() + 1), face + '\0');
    EXPECT_EQ(records[1].params, (Words{0xFF00, 0x0200}));
    EXPECT_EQ(records[2].function, vistrel::MetaSetTextCharExtra);
    EXPECT_EQ(records[2].params, (Words{static_cast<std::uint16_t>(c.extra)}));
}

INSTANTIATE_TEST_SUITE_P(
    Faces, CreateFontTest,
    ::testing::Values(
        FontCase{"Arial9", "Arial", 9, false, 7, 15, -12, 6, 0},
        FontCase{"ArialWidthRoundsHalfToEvenDown", "Arial", 9, false, 10, 15, -12, 8, 0},
        FontCase{"ArialWidthRoundsHalfToEvenUp", "Arial", 9, false, 30, 15, -12, 26, 0},
        FontCase{"SmallFonts7", "Small Fonts", 7, false, 5, 18, -9, 0, 2},
        FontCase{"SmallFontsBoldAddsOne", "Small Fonts", 7, true, 5, 18, -9, 0, 3},
        FontCase{"MSSansSerif10", "MS Sans Serif", 10, false, 7, 19, -13, 0, 3},
        FontCase{"MSSansSerif24Bold", "MS Sans Serif", 24, true, 7, 19, -32, 0, 9}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(MetafileTest, FontStyleBitsGoToTheirBytes) {
    canvas.set_font_style({.bold = false, .italic = true, .underline = true, .strike_out = true});
    const auto records = Capture([] { vistrel::EmitCurrentFont(); });
    ASSERT_FALSE(records.empty());
    EXPECT_EQ(records[0].params[5], 1 + 256);
    EXPECT_EQ(records[0].params[6], 1 + 256);
}

struct TextCase {
    const char* name;
    std::string text;
    std::uint32_t words;
    std::uint16_t count;
    std::string packed;  // the text words as bytes
};

class TextOutTest : public MetafileTest, public ::testing::WithParamInterface<TextCase> {};

TEST_P(TextOutTest, CountTextAndAnchor) {
    const TextCase& c = GetParam();
    const auto records = Capture([&] { vistrel::EmitTextOut(123, -45, c.text); });
    ASSERT_EQ(records.size(), 1u);
    const Record& r = records[0];
    EXPECT_EQ(r.function, vistrel::MetaTextOut);
    EXPECT_EQ(r.size, c.words);
    EXPECT_EQ(r.params[0], c.count);
    EXPECT_EQ(wmf_support::UnpackText(r.params, 1, c.packed.size()), c.packed);
    const std::size_t n = r.params.size();
    EXPECT_EQ(static_cast<std::int16_t>(r.params[n - 2]), -45);
    EXPECT_EQ(r.params[n - 1], 123);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, TextOutTest,
    ::testing::Values(
        TextCase{"Ten", "10", 7, 2, "10"},
        TextCase{"OddLengthPaddedWithBlank", "0.5", 8, 3, "0.5 "},
        TextCase{"EmptyTakesOneBlankWord", "", 7, 0, "  "},
        TextCase{"MicroSignKeptAsOneByte", "1 \xB5s", 8, 4, "1 \xB5s"},
        TextCase{"LongestThatFits", std::string(116, 'x'), 64, 116, std::string(116, 'x')},
        TextCase{"TooLongIsCut", std::string(200, 'y'), 64, 116, std::string(116, 'y')}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(MetafileTest, OverlongCommentAndFaceAreCutToFitOneRecord) {
    canvas.set_font_name(std::string(150, 'F'));
    const auto records = Capture([] {
        vistrel::EmitComment(std::string(300, 'c'));
        vistrel::EmitCurrentFont();
    });
    ASSERT_EQ(records.size(), 4u);
    EXPECT_EQ(records[0].size, 64u);
    EXPECT_EQ(records[0].params[1], 118);
    EXPECT_EQ(records[1].size, 64u);
    EXPECT_EQ(wmf_support::UnpackText(records[1].params, 9, 104), std::string(103, 'F') + '\0');
    EXPECT_EQ(metafile.MetaMaxRecord, 64);
    // The records behind them are intact.
    EXPECT_EQ(records[2].function, vistrel::MetaSetTextColor);
}

struct ColourCase {
    const char* name;
    vistrel::Colour colour;
    Words words;
};

class ColourTest : public MetafileTest, public ::testing::WithParamInterface<ColourCase> {};

TEST_P(ColourTest, WrittenAsRedGreenBlueTwo) {
    const ColourCase& c = GetParam();
    const auto records = Capture([&] { vistrel::EmitSetPixel(3, 4, c.colour); });
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].size, 7u);
    EXPECT_EQ(records[0].params, (Words{c.words[0], c.words[1], 4, 3}));
}

INSTANTIATE_TEST_SUITE_P(
    Colours, ColourTest,
    ::testing::Values(ColourCase{"Red", 0x0000FF, {0x00FF, 0x0200}},
                      ColourCase{"Green", 0x00FF00, {0xFF00, 0x0200}},
                      ColourCase{"Blue", 0xFF0000, {0x0000, 0x02FF}},
                      ColourCase{"Purple", 0x800080, {0x0080, 0x0280}},
                      ColourCase{"Mixed", 0x123456, {0x3456, 0x0212}},
                      ColourCase{"SystemWindowIsWhite", 0xFF000005, {0xFFFF, 0x02FF}},
                      ColourCase{"SystemWindowTextIsBlack", 0xFF000008, {0x0000, 0x0200}}),
    [](const auto& info) { return std::string(info.param.name); });

struct CoordinateCase {
    const char* name;
    int x;
    int y;
    std::uint16_t x_word;
    std::uint16_t y_word;
};

class CoordinateTest : public MetafileTest, public ::testing::WithParamInterface<CoordinateCase> {};

TEST_P(CoordinateTest, SignedWordsPinnedToTheirRange) {
    const CoordinateCase& c = GetParam();
    const auto records = Capture([&] {
        vistrel::EmitLine(c.x, c.y, c.y, c.x);
        vistrel::EmitRectangle(c.x, c.y, c.y, c.x);
    });
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0].function, vistrel::MetaMoveTo);
    EXPECT_EQ(records[0].params, (Words{c.y_word, c.x_word}));
    EXPECT_EQ(records[1].function, vistrel::MetaLineTo);
    EXPECT_EQ(records[1].params, (Words{c.x_word, c.y_word}));
    EXPECT_EQ(records[2].params, (Words{c.x_word, c.y_word, c.y_word, c.x_word}));
}

INSTANTIATE_TEST_SUITE_P(
    Coordinates, CoordinateTest,
    ::testing::Values(CoordinateCase{"Positive", 40, 360, 40, 360},
                      CoordinateCase{"NegativeTwosComplement", -1, -300, 0xFFFF, 0xFED4},
                      CoordinateCase{"ExtremesKept", -32768, 32767, 0x8000, 0x7FFF},
                      CoordinateCase{"BeyondRangePinned", -70000, 70000, 0x8000, 0x7FFF}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(MetafileTest, PlaceableChecksumIsTheXorOfTheFirstTenWords) {
    const struct {
        int width, height, ppi;
        std::uint16_t checksum;
    } cases[] = {
        {600, 400, 96, 0x54B9},
        {1073, 809, 96, 0xCDD7 ^ 0x9AC6 ^ 1073 ^ 809 ^ 96},
        {0, 0, 120, 0xCDD7 ^ 0x9AC6 ^ 120},
    };
    for (const auto& c : cases) {
        std::string name = dir.file("sum.wmf");
        bool ok = false;
        vistrel::OpenMetafile(name, ok);
        ASSERT_TRUE(ok);
        vistrel::CloseMetafile(c.width, c.height, c.ppi, ok);
        EXPECT_TRUE(ok);
        const auto b = wmf_support::ReadBytes(name);
        ASSERT_EQ(b.size(), 46u);
        EXPECT_EQ(wmf_support::WordAt(b, 20), c.checksum) << c.width << " x " << c.height;
        EXPECT_EQ(metafile.MetaTotalWords, 23);
        EXPECT_EQ(metafile.MetaMaxRecord, 3);
    }
}

TEST_F(MetafileTest, PenFollowsTheCanvasOnlyWhenItChanges) {
    const struct {
        const char* name;
        vistrel::Colour colour;
        vistrel::PenStyle style;
        int width;
        bool writes;
    } cases[] = {
        {"Unchanged", 0, vistrel::PenStyle::Solid, 1, false},
        {"Colour", 0x0000FF, vistrel::PenStyle::Solid, 1, true},
        {"Style", 0, vistrel::PenStyle::Dash, 1, true},
        {"Width", 0, vistrel::PenStyle::Solid, 2, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        canvas.set_pen_colour(0);
        canvas.set_pen_style(vistrel::PenStyle::Solid);
        canvas.set_pen_width(1);
        const auto records = AfterPrologue([&] {
            canvas.set_pen_colour(c.colour);
            canvas.set_pen_style(c.style);
            canvas.set_pen_width(c.width);
            vistrel::SyncMetaPen();
            vistrel::SyncMetaPen();  // a second call finds nothing new
        });
        if (!c.writes) {
            EXPECT_TRUE(records.empty());
            continue;
        }
        ASSERT_EQ(records.size(), 3u);
        EXPECT_EQ(records[0].function, vistrel::MetaDeleteObject);
        EXPECT_EQ(records[0].params, (Words{1}));
        EXPECT_EQ(records[1].function, vistrel::MetaCreatePenIndirect);
        EXPECT_EQ(records[1].params[0], static_cast<std::uint16_t>(c.style));
        EXPECT_EQ(records[1].params[1], c.width);
        EXPECT_EQ(records[2].function, vistrel::MetaSelectObject);
        EXPECT_EQ(records[2].params, (Words{1}));
    }
}

TEST_F(MetafileTest, FontFollowsTheCanvasOnlyWhenItChanges) {
    const struct {
        const char* name;
        int points;
        vistrel::FontStyle style;
        vistrel::Colour colour;
        Words functions;
    } cases[] = {
        {"Unchanged", 9, {}, 0, {}},
        {"ColourAloneSetsTextColour", 9, {}, 0x0000FF, {vistrel::MetaSetTextColor}},
        {"SizeRecreatesTheFont",
         11,
         {},
         0,
         {vistrel::MetaDeleteObject, vistrel::MetaCreateFontIndirect, vistrel::MetaSetTextColor,
          vistrel::MetaSetTextCharExtra, vistrel::MetaSelectObject}},
        {"BoldRecreatesTheFont",
         9,
         {.bold = true},
         0x00FF00,
         {vistrel::MetaDeleteObject, vistrel::MetaCreateFontIndirect, vistrel::MetaSetTextColor,
          vistrel::MetaSetTextCharExtra, vistrel::MetaSelectObject}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        canvas.set_font_size(9);
        canvas.set_font_style({});
        canvas.set_font_colour(0);
        const auto records = AfterPrologue([&] {
            canvas.set_font_size(c.points);
            canvas.set_font_style(c.style);
            canvas.set_font_colour(c.colour);
            vistrel::SyncMetaFont();
            vistrel::SyncMetaFont();
        });
        Words functions;
        for (const auto& r : records) functions.push_back(r.function);
        EXPECT_EQ(functions, c.functions);
        if (c.functions.size() == 1) {
            EXPECT_EQ(records.front().params, (Words{0x00FF, 0x0200}));
        } else if (!records.empty()) {
            EXPECT_EQ(records.front().params, (Words{2}));
        }
    }
}

TEST_F(MetafileTest, GridLinesAreDottedMinorFaintThenMajor) {
    canvas.set_pen_colour(0x0000FF);
    std::vector<Record> records = AfterPrologue([] {
        vistrel::ClearGridLineLists();
        vistrel::RememberMajorGridLine(100);
        vistrel::RememberMinorGridLine(50);
        vistrel::RememberMinorGridLine(-7);
        vistrel::EmitRememberedGridLines(360, 20, true);
        vistrel::ClearGridLineLists();
        vistrel::RememberMajorGridLine(200);
        vistrel::EmitRememberedGridLines(40, 300, false);
    });
    const vistrel::Colour faint = vistrel::MixColours(0x0000FF, 0xFFFFFF, 1, 3);
    const std::uint16_t faint_low = static_cast<std::uint16_t>((faint & 0xFF) | (faint & 0xFF00));
    ASSERT_EQ(records.size(), 3u + 4u + 3u + 2u + 2u);
    // Minor lines: a faint dotted pen, then each line top to bottom at its column.
    EXPECT_EQ(
        records[1].params,
        (Words{2, 1, 0, faint_low, static_cast<std::uint16_t>(0x200 + ((faint >> 16) & 0xFF)), 0}));
    EXPECT_EQ(records[3].params, (Words{360, 50}));
    EXPECT_EQ(records[4].params, (Words{20, 50}));
    EXPECT_EQ(records[5].params, (Words{360, 0xFFF9}));
    EXPECT_EQ(records[6].params, (Words{20, 0xFFF9}));
    // Major lines in the pen's own colour, still dotted.
    EXPECT_EQ(records[8].params, (Words{2, 1, 0, 0x00FF, 0x0200, 0}));
    EXPECT_EQ(records[10].params, (Words{360, 100}));
    EXPECT_EQ(records[11].params, (Words{20, 100}));
    // The next axis: same pen, nothing rewritten; a horizontal line across.
    EXPECT_EQ(records[12].params, (Words{200, 40}));
    EXPECT_EQ(records[13].params, (Words{200, 300}));
    // The canvas pen is back to solid in its colour.
    EXPECT_EQ(canvas.pen_style(), vistrel::PenStyle::Solid);
    EXPECT_EQ(canvas.pen_colour(), 0x0000FFu);
}

TEST_F(MetafileTest, NoGridLinesWriteNothing) {
    const auto records = AfterPrologue([] {
        vistrel::ClearGridLineLists();
        vistrel::EmitRememberedGridLines(0, 100, true);
    });
    EXPECT_TRUE(records.empty());
}

// The files written above, read back by libwmf.
TEST_F(MetafileTest, LibwmfReadsTheEmptyPicture) {
    if (portable::windows)
        GTEST_SKIP() << "the independent reader, libwmf's wmf2svg, is a Linux program";
    std::string name = dir.file("empty.wmf");
    bool ok = false;
    vistrel::OpenMetafile(name, ok);
    ASSERT_TRUE(ok);
    vistrel::WriteMetafilePrologue();
    vistrel::CloseMetafile(600, 400, 96, ok);
    ASSERT_TRUE(ok);
    const auto result = wmf_support::ConvertToSvg(name);
    ASSERT_EQ(result.status, 0) << result.errors;
    EXPECT_NE(result.svg.find("<svg"), std::string::npos);
    EXPECT_EQ(wmf_support::CountElements(result.svg, "rect"), 1) << result.svg;
    EXPECT_EQ(wmf_support::CountElements(result.svg, "line"), 0);
    EXPECT_EQ(wmf_support::CountElements(result.svg, "text"), 0);
}

TEST_F(MetafileTest, LibwmfReadsLinesTextsPixelsAndFontChanges) {
    if (portable::windows)
        GTEST_SKIP() << "the independent reader, libwmf's wmf2svg, is a Linux program";
    std::string name = dir.file("picture.wmf");
    bool ok = false;
    vistrel::OpenMetafile(name, ok);
    ASSERT_TRUE(ok);
    vistrel::WriteMetafilePrologue();
    canvas.set_pen_colour(0x0000FF);
    vistrel::SyncMetaPen();
    vistrel::EmitLine(40, 360, 300, 360);
    vistrel::EmitLineTo(300, 20);
    vistrel::EmitLine(40, 20, 40, 360);
    vistrel::EmitSetPixel(300, 20, 0x0000FF);
    vistrel::SyncMetaFont();
    vistrel::EmitSetTextAlign(vistrel::MetaAlignCentre);
    vistrel::EmitTextOut(170, 370, "Time");
    canvas.set_font_size(11);
    canvas.set_font_style({.bold = true});
    vistrel::SyncMetaFont();
    vistrel::EmitSetTextAlign(vistrel::MetaAlignRight);
    vistrel::EmitTextOut(35, 100, "0.5");
    canvas.set_font_name("Small Fonts");
    canvas.set_font_size(6);
    vistrel::SyncMetaFont();
    vistrel::EmitSetTextAlign(vistrel::MetaAlignLeft);
    vistrel::EmitTextOut(45, 10, "Ch1");
    vistrel::CloseMetafile(600, 400, 96, ok);
    ASSERT_TRUE(ok);

    const auto result = wmf_support::ConvertToSvg(name);
    ASSERT_EQ(result.status, 0) << result.errors;
    EXPECT_EQ(wmf_support::TextContents(result.svg),
              (std::vector<std::string>{"Time", "0.5", "Ch1"}))
        << result.svg;
    // Three straight lines: the x axis, the rise to the corner and the y axis.
    EXPECT_EQ(wmf_support::CountElements(result.svg, "line"), 3) << result.svg;
    EXPECT_EQ(wmf_support::CountElements(result.svg, "rect"), 2) << result.svg;  // frame, pixel
}

}  // namespace
