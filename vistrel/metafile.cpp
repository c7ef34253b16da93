// The plotting unit's Windows metafile writer: records, object slots, pen and font tracking, the
// remembered grid lines and the placeable file with its two headers.
#include "vistrel/metafile.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <system_error>

#include "vistrel/scaling.h"
#include "vistrel/state.h"

namespace vistrel {

MetafileState metafile;

namespace {

// The first two words of every placeable metafile.
constexpr std::uint16_t PlaceableKeyLow = 0xCDD7;
constexpr std::uint16_t PlaceableKeyHigh = 0x9AC6;
constexpr int PlaceableHeaderWords = 11;
constexpr int MetafileHeaderWords = 9;
constexpr std::uint16_t MetaCommentEscape = 15;
constexpr std::uint16_t MetaAnisotropic = 8;
// Character set 1: the font's default character set, so that the Windows-1252 texts (the micro
// sign of the unit labels) come out as they are drawn on the canvas.
constexpr std::uint16_t MetaDefaultCharset = 1;

// Room for a good number of records, so the file is written in large blocks.
constexpr std::size_t FileBufferBytes = 1 << 16;

std::uint16_t Word(int value) {
    return static_cast<std::uint16_t>(value);
}

// Coordinates are signed 16-bit words; a value outside that range is pinned to its end, never
// wrapped around to the far side of the picture.
std::uint16_t Coordinate(int value) {
    return static_cast<std::uint16_t>(std::clamp(value, -32768, 32767));
}

void SetRecordHeader(int size, std::uint16_t function) {
    auto& buffer = metafile.RecordBuffer;
    buffer[0] = static_cast<std::uint16_t>(size & 0xFFFF);
    buffer[1] = static_cast<std::uint16_t>((size >> 16) & 0xFFFF);
    buffer[2] = function;
}

int RecordSize() {
    return static_cast<int>(metafile.RecordBuffer[0] | (metafile.RecordBuffer[1] << 16));
}

// Writes the first count words of RecordBuffer, low byte first, into the file's buffer.
void WriteWords(int count) {
    if (metafile.MetaFile == nullptr) {
        metafile.MetaWriteFailed = true;
        return;
    }
    std::array<unsigned char, 2 * RecordBufferWords> bytes{};
    count = std::clamp(count, 0, static_cast<int>(RecordBufferWords));
    for (int i = 0; i < count; ++i) {
        bytes[2 * i] = static_cast<unsigned char>(metafile.RecordBuffer[i] & 0xFF);
        bytes[2 * i + 1] = static_cast<unsigned char>(metafile.RecordBuffer[i] >> 8);
    }
    const auto length = static_cast<std::size_t>(2 * count);
    if (std::fwrite(bytes.data(), 1, length, metafile.MetaFile) != length) {
        metafile.MetaWriteFailed = true;
    }
}

// A record with one parameter word.
void EmitOneWord(std::uint16_t function, std::uint16_t parameter) {
    SetRecordHeader(4, function);
    metafile.RecordBuffer[3] = parameter;
    FlushRecord();
}

// A record with two parameter words, written as (y, x) like every point of the format.
void EmitPoint(std::uint16_t function, int x, int y) {
    SetRecordHeader(5, function);
    metafile.RecordBuffer[3] = Coordinate(y);
    metafile.RecordBuffer[4] = Coordinate(x);
    FlushRecord();
}

void RememberGridLine(std::vector<std::uint16_t>& list, int position) {
    list.push_back(Coordinate(position));
}

void EmitGridLines(const std::vector<std::uint16_t>& list, int from, int to, bool vertical) {
    for (const std::uint16_t word : list) {
        const int p = static_cast<std::int16_t>(word);
        if (vertical) {
            EmitLine(p, from, p, to);
        } else {
            EmitLine(from, p, to, p);
        }
    }
}

}  // namespace

void FlushRecord() {
    const int size = std::clamp(RecordSize(), 3, RecordBufferWords);
    WriteWords(size);
    metafile.MetaTotalWords += size;
    metafile.MetaMaxRecord = std::max(metafile.MetaMaxRecord, size);
}

int PutTextWords(const std::string& text, int first, bool withNul, int reserve) {
    const int room_bytes = 2 * std::max(0, RecordBufferWords - first - reserve);
    const int terminator = withNul ? 1 : 0;
    const int length =
        std::clamp(static_cast<int>(text.size()), 0, std::max(0, room_bytes - terminator));
    // An empty text still takes one word of blanks, which readers expect of a text field.
    std::string bytes = length == 0 ? std::string(" ") : text.substr(0, length);
    if (withNul)
        bytes.push_back('\0');
    if (bytes.size() % 2 != 0)
        bytes.push_back(' ');
    const int words = static_cast<int>(bytes.size() / 2);
    for (int i = 0; i < words && first + i < RecordBufferWords; ++i) {
        const auto low = static_cast<unsigned char>(bytes[2 * i]);
        const auto high = static_cast<unsigned char>(bytes[2 * i + 1]);
        metafile.RecordBuffer[first + i] = static_cast<std::uint16_t>(low | (high << 8));
    }
    SetRecordHeader(std::min(first + words + reserve, RecordBufferWords), metafile.RecordBuffer[2]);
    return length;
}

void PutColorRef(Colour colour, int at) {
    const Colour rgb = ColourToRGB(colour);
    const unsigned red = rgb & 0xFF;
    const unsigned green = (rgb >> 8) & 0xFF;
    const unsigned blue = (rgb >> 16) & 0xFF;
    // The fourth byte 2 marks a palette-relative RGB value.
    metafile.RecordBuffer[at] = static_cast<std::uint16_t>(red + 256 * green);
    metafile.RecordBuffer[at + 1] = static_cast<std::uint16_t>(blue + 512);
    metafile.RecordBuffer[at + 2] = 0;
}

void EmitComment(const std::string& text) {
    metafile.RecordBuffer[2] = MetaEscape;
    metafile.RecordBuffer[3] = MetaCommentEscape;
    metafile.RecordBuffer[4] = Word(PutTextWords(text, 5, false));
    FlushRecord();
}

void EmitWindowSetup(int width, int height) {
    EmitOneWord(MetaSetMapMode, MetaAnisotropic);
    EmitPoint(MetaSetWindowOrg, 0, 0);
    EmitPoint(MetaSetWindowExt, width, height);
}

void EmitCreateBrush(BrushStyle style, Colour colour) {
    SetRecordHeader(7, MetaCreateBrushIndirect);
    metafile.RecordBuffer[3] = static_cast<std::uint16_t>(style);
    PutColorRef(colour, 4);  // the word after the colour is the hatch, 0
    FlushRecord();
}

void EmitCreatePen(PenStyle style, int width, Colour colour) {
    SetRecordHeader(9, MetaCreatePenIndirect);
    metafile.RecordBuffer[3] = static_cast<std::uint16_t>(style);
    metafile.RecordBuffer[4] = Word(width);
    metafile.RecordBuffer[5] = 0;
    PutColorRef(colour, 6);  // the word after the colour pads the pen record
    FlushRecord();
}

void EmitCreateFont(int height, int width, const std::string& face, FontStyle style) {
    auto& buffer = metafile.RecordBuffer;
    buffer[2] = MetaCreateFontIndirect;
    buffer[3] = Coordinate(height);
    buffer[4] = Coordinate(width);
    buffer[5] = 0;  // escapement
    buffer[6] = 0;  // orientation
    buffer[7] = style.bold ? 700 : 400;
    buffer[8] =
        static_cast<std::uint16_t>((style.italic ? 1 : 0) + 256 * (style.underline ? 1 : 0));
    buffer[9] = static_cast<std::uint16_t>((style.strike_out ? 1 : 0) + 256 * MetaDefaultCharset);
    buffer[10] = 0;
    buffer[11] = 0;
    PutTextWords(face, 12, true);
    FlushRecord();
}

void EmitSetTextColor(Colour colour) {
    SetRecordHeader(5, MetaSetTextColor);
    PutColorRef(colour, 3);
    FlushRecord();
}

void EmitSetTextCharExtra(int extra) {
    EmitOneWord(MetaSetTextCharExtra, Word(extra));
}

void EmitSelectObject(int slot) {
    EmitOneWord(MetaSelectObject, Word(slot));
}

void EmitDeleteObject(int slot) {
    EmitOneWord(MetaDeleteObject, Word(slot));
}

void EmitSetBkMode(int mode) {
    EmitOneWord(MetaSetBkMode, Word(mode));
}

void EmitSetTextAlign(int flags) {
    EmitOneWord(MetaSetTextAlign, Word(flags));
}

void EmitRectangle(int left, int top, int right, int bottom) {
    SetRecordHeader(7, MetaRectangle);
    metafile.RecordBuffer[3] = Coordinate(bottom);
    metafile.RecordBuffer[4] = Coordinate(right);
    metafile.RecordBuffer[5] = Coordinate(top);
    metafile.RecordBuffer[6] = Coordinate(left);
    FlushRecord();
}

void EmitMoveTo(int x, int y) {
    EmitPoint(MetaMoveTo, x, y);
}

void EmitLineTo(int x, int y) {
    EmitPoint(MetaLineTo, x, y);
}

void EmitLine(int x1, int y1, int x2, int y2) {
    EmitMoveTo(x1, y1);
    EmitLineTo(x2, y2);
}

void EmitSetPixel(int x, int y, Colour colour) {
    SetRecordHeader(7, MetaSetPixel);
    PutColorRef(colour, 3);
    metafile.RecordBuffer[5] = Coordinate(y);
    metafile.RecordBuffer[6] = Coordinate(x);
    FlushRecord();
}

void EmitTextOut(int x, int y, const std::string& text) {
    auto& buffer = metafile.RecordBuffer;
    buffer[2] = MetaTextOut;
    buffer[3] = Word(PutTextWords(text, 4, false, 2));
    const int size = RecordSize();
    buffer[size - 2] = Coordinate(y);
    buffer[size - 1] = Coordinate(x);
    FlushRecord();
}

void SyncMetaPen() {
    Canvas& canvas = *plot.PlotCanvas;
    const Colour colour = canvas.pen_colour();
    const PenStyle style = canvas.pen_style();
    const int width = canvas.pen_width();
    if (colour == metafile.MetaPenColour && style == metafile.MetaPenStyle &&
        width == metafile.MetaPenWidth) {
        return;
    }
    EmitDeleteObject(MetaPenSlot);
    EmitCreatePen(style, width, colour);
    EmitSelectObject(MetaPenSlot);
    metafile.MetaPenColour = colour;
    metafile.MetaPenStyle = style;
    metafile.MetaPenWidth = width;
}

void SyncMetaFont() {
    Canvas& canvas = *plot.PlotCanvas;
    const Colour colour = canvas.font_colour();
    const FontStyle style = canvas.font_style();
    const int size = canvas.font_size();
    if (style == metafile.MetaFontStyle && size == metafile.MetaFontSize) {
        if (colour != metafile.MetaFontColour) {
            EmitSetTextColor(colour);
            metafile.MetaFontColour = colour;
        }
        return;
    }
    EmitDeleteObject(MetaFontSlot);
    EmitCurrentFont();
    EmitSelectObject(MetaFontSlot);
    metafile.MetaFontColour = colour;
    metafile.MetaFontStyle = style;
    metafile.MetaFontSize = size;
}

void EmitCurrentFont() {
    Canvas& canvas = *plot.PlotCanvas;
    const std::string face = canvas.font_name();
    const FontStyle style = canvas.font_style();
    // Arial's characters are narrower than the canvas's "0" cell suggests: a fixed width keeps
    // labels from spreading in the metafile. Other faces keep their own width and get the extra
    // spacing that the small raster faces need to match the canvas.
    int width = 0;
    int extra = canvas.font_size() / 3 + (style.bold ? 1 : 0);
    if (face == "Arial") {
        width = static_cast<int>(std::nearbyint(0.85 * plot.CharWidth));
        extra = 0;
    }
    EmitCreateFont(canvas.font_height(), width, face, style);
    EmitSetTextColor(canvas.font_colour());
    EmitSetTextCharExtra(extra);
}

void WriteMetafilePrologue() {
    Canvas& canvas = *plot.PlotCanvas;
    const int width = plot.SurfaceWidth;
    const int height = plot.SurfaceHeight;
    EmitComment("File created by VISTREL");
    EmitComment("HP 54200A scope display");
    EmitWindowSetup(width, height);
    EmitCreateBrush(BrushStyle::Solid, plot.BackgroundColour);
    EmitSelectObject(MetaBrushSlot);
    EmitCreatePen(PenStyle::Solid, 1, plot.ForegroundColour);
    metafile.MetaPenColour = plot.ForegroundColour;
    metafile.MetaPenStyle = PenStyle::Solid;
    metafile.MetaPenWidth = 1;
    EmitSelectObject(MetaPenSlot);
    EmitCurrentFont();
    metafile.MetaFontSize = canvas.font_size();
    metafile.MetaFontColour = canvas.font_colour();
    metafile.MetaFontStyle = canvas.font_style();
    EmitSelectObject(MetaFontSlot);
    EmitRectangle(0, 0, width, height);
    EmitSetBkMode(MetaTransparent);
}

void ClearGridLineLists() {
    metafile.MajorGridLines.clear();
    metafile.MinorGridLines.clear();
}

void RememberMajorGridLine(int position) {
    RememberGridLine(metafile.MajorGridLines, position);
}

void RememberMinorGridLine(int position) {
    RememberGridLine(metafile.MinorGridLines, position);
}

void EmitRememberedGridLines(int from, int to, bool vertical) {
    Canvas& canvas = *plot.PlotCanvas;
    canvas.set_pen_style(PenStyle::Dot);
    const Colour colour = canvas.pen_colour();
    if (!metafile.MinorGridLines.empty()) {
        // Minor lines are a quarter pen colour on three quarters background, as faint as the
        // one-in-eight dots of the canvas look.
        canvas.set_pen_colour(MixColours(colour, plot.BackgroundColour, 1, 3));
        SyncMetaPen();
        EmitGridLines(metafile.MinorGridLines, from, to, vertical);
    }
    if (!metafile.MajorGridLines.empty()) {
        canvas.set_pen_colour(colour);
        SyncMetaPen();
        EmitGridLines(metafile.MajorGridLines, from, to, vertical);
    }
    canvas.set_pen_style(PenStyle::Solid);
    canvas.set_pen_colour(colour);
}

std::string ForceWmfExtension(const std::string& name) {
    // The extension is what follows the last dot of the file name itself, not of a folder.
    const std::size_t name_start = name.find_last_of("/\\:");
    const std::size_t dot = name.find_last_of('.');
    const bool has_extension =
        dot != std::string::npos && (name_start == std::string::npos || dot > name_start);
    return (has_extension ? name.substr(0, dot) : name) + ".wmf";
}

void OpenMetafile(std::string& name, bool& ok) {
    name = ForceWmfExtension(name);
    metafile.MetaFileName = name;
    if (metafile.MetaFile != nullptr) {
        std::fclose(metafile.MetaFile);
        metafile.MetaFile = nullptr;
    }
    metafile.MetaFile = std::fopen(name.c_str(), "wb");
    ok = metafile.MetaFile != nullptr;
    if (!ok)
        return;
    std::setvbuf(metafile.MetaFile, nullptr, _IOFBF, FileBufferBytes);
    metafile.MetaWriteFailed = false;
    metafile.RecordBuffer.fill(0);
    WriteWords(MetaHeaderWords);
    metafile.MetaTotalWords = MetaHeaderWords;
    metafile.MetaMaxRecord = 0;
    metafile.MetaObjectCount = 3;
}

void CloseMetafile(int width, int height, int pixelsPerInch, bool& ok) {
    ok = false;
    if (metafile.MetaFile == nullptr)
        return;

    SetRecordHeader(3, MetaEof);
    FlushRecord();

    auto& buffer = metafile.RecordBuffer;
    buffer[0] = PlaceableKeyLow;
    buffer[1] = PlaceableKeyHigh;
    buffer[2] = 0;  // handle
    buffer[3] = 0;  // bounding box left
    buffer[4] = 0;  // bounding box top
    buffer[5] = Coordinate(width);
    buffer[6] = Coordinate(height);
    buffer[7] = Word(pixelsPerInch);
    buffer[8] = 0;  // reserved
    buffer[9] = 0;
    std::uint16_t checksum = 0;
    for (int i = 0; i < 10; ++i) checksum ^= buffer[i];
    buffer[10] = checksum;
    if (std::fflush(metafile.MetaFile) != 0 || std::fseek(metafile.MetaFile, 0, SEEK_SET) != 0) {
        metafile.MetaWriteFailed = true;
    }
    WriteWords(PlaceableHeaderWords);

    const auto total = static_cast<std::uint32_t>(metafile.MetaTotalWords);
    const auto largest = static_cast<std::uint32_t>(metafile.MetaMaxRecord);
    buffer[0] = 1;  // a metafile on disk
    buffer[1] = MetafileHeaderWords;
    buffer[2] = 0x0300;
    buffer[3] = static_cast<std::uint16_t>(total & 0xFFFF);
    buffer[4] = static_cast<std::uint16_t>(total >> 16);
    buffer[5] = static_cast<std::uint16_t>(metafile.MetaObjectCount);
    buffer[6] = static_cast<std::uint16_t>(largest & 0xFFFF);
    buffer[7] = static_cast<std::uint16_t>(largest >> 16);
    buffer[8] = 0;
    WriteWords(MetafileHeaderWords);

    if (std::fclose(metafile.MetaFile) != 0)
        metafile.MetaWriteFailed = true;
    metafile.MetaFile = nullptr;

    // A write that failed anywhere shows as a short or missing file; a stream error is counted
    // too, so that a hole in the middle of a file of the right length is not taken for success.
    std::error_code error;
    const auto bytes = std::filesystem::file_size(metafile.MetaFileName, error);
    ok = !metafile.MetaWriteFailed && !error &&
         bytes == 2 * static_cast<std::uintmax_t>(metafile.MetaTotalWords);
}

void ReleaseMetafileWriter() {
    if (metafile.MetaFile != nullptr)
        std::fclose(metafile.MetaFile);
    metafile.MetaFile = nullptr;
    metafile.MajorGridLines = {};
    metafile.MinorGridLines = {};
    metafile.MetaFileName.clear();
}

}  // namespace vistrel
