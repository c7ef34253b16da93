// The plotting unit's Windows metafile (WMF) writer. While recording is on, every drawing
// operation of the unit also writes the equivalent WMF records here, so that the file holds the
// same picture as vector graphics. The file is a placeable metafile written record by record in
// little-endian 16-bit words; the metafile's brush, pen and font live in object slots 0, 1 and 2
// and follow the canvas only when it changes.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "vistrel/canvas.h"

namespace vistrel {

// A record is at most this many 16-bit words, its size and function words included.
constexpr int RecordBufferWords = 64;
// Words reserved at the start of the file: the placeable header (11) and the metafile header (9).
constexpr int MetaHeaderWords = 20;

// Object slots of the metafile; the numbering never changes because a slot is always freed
// before the next create record refills it.
constexpr int MetaBrushSlot = 0;
constexpr int MetaPenSlot = 1;
constexpr int MetaFontSlot = 2;

// Text alignment of the text-out records (the reference point is always the text's top).
constexpr int MetaAlignLeft = 0;
constexpr int MetaAlignRight = 2;
constexpr int MetaAlignCentre = 6;

// Background mode: text is written without a background box.
constexpr int MetaTransparent = 1;

// WMF function numbers of the records the unit writes.
enum MetaFunction : std::uint16_t {
    MetaEof = 0x0000,
    MetaSetBkMode = 0x0102,
    MetaSetMapMode = 0x0103,
    MetaSetTextCharExtra = 0x0108,
    MetaSetTextColor = 0x0209,
    MetaSetWindowOrg = 0x020B,
    MetaSetWindowExt = 0x020C,
    MetaLineTo = 0x0213,
    MetaMoveTo = 0x0214,
    MetaSelectObject = 0x012D,
    MetaSetTextAlign = 0x012E,
    MetaDeleteObject = 0x01F0,
    MetaCreatePenIndirect = 0x02FA,
    MetaCreateFontIndirect = 0x02FB,
    MetaCreateBrushIndirect = 0x02FC,
    MetaRectangle = 0x041B,
    MetaSetPixel = 0x041F,
    MetaTextOut = 0x0521,
    MetaEscape = 0x0626,
};

// The writer's state: the record being built, the counts that go into the headers, what is
// selected in the metafile, and the grid lines remembered while an axis is drawn.
struct MetafileState {
    // RecordBuffer[0] and [1] hold the record size in words (low word first), [2] the function,
    // [3] onward the parameters.
    std::array<std::uint16_t, RecordBufferWords> RecordBuffer{};
    int MetaTotalWords = 0;   // words written so far, the 20 reserved header words included
    int MetaMaxRecord = 0;    // size in words of the largest record written
    int MetaObjectCount = 0;  // object slots declared in the header (3 once a file is open)
    std::string MetaFileName;

    // Selected in the metafile: colours as the canvas takes them, size in points.
    Colour MetaPenColour = 0;
    PenStyle MetaPenStyle = PenStyle::Solid;
    int MetaPenWidth = 0;
    Colour MetaFontColour = 0;
    int MetaFontSize = 0;
    FontStyle MetaFontStyle{};

    // Pixel positions of the patterned grid lines of the axis being drawn.
    std::vector<std::uint16_t> MajorGridLines;
    std::vector<std::uint16_t> MinorGridLines;

    // The open file (null when none), and whether any write, seek or close on it failed.
    std::FILE* MetaFile = nullptr;
    bool MetaWriteFailed = false;
};

extern MetafileState metafile;

// Record helpers. Indexes are RecordBuffer indexes (0 = the first size word).
void FlushRecord();
// Packs text two characters a word from RecordBuffer[first] (first character in the low byte),
// with a NUL when withNul, padded with a blank to a whole word; an empty text becomes one blank.
// Sets the record size to the last word written plus the reserve words that the caller fills
// behind the text. Returns the number of characters packed: a text too long for the record is
// cut to the longest that fits.
int PutTextWords(const std::string& text, int first, bool withNul, int reserve = 0);
// Writes the colour as red + 256 * green, blue + 512 (palette-relative RGB) at RecordBuffer[at]
// and a 0 word after it.
void PutColorRef(Colour colour, int at);

// Emitters: each builds one record (EmitWindowSetup and EmitLine several) and writes it.
void EmitComment(const std::string& text);
void EmitWindowSetup(int width, int height);
void EmitCreateBrush(BrushStyle style, Colour colour);
void EmitCreatePen(PenStyle style, int width, Colour colour);
void EmitCreateFont(int height, int width, const std::string& face, FontStyle style);
void EmitSetTextColor(Colour colour);
void EmitSetTextCharExtra(int extra);
void EmitSelectObject(int slot);
void EmitDeleteObject(int slot);
void EmitSetBkMode(int mode);
void EmitSetTextAlign(int flags);
void EmitRectangle(int left, int top, int right, int bottom);
void EmitMoveTo(int x, int y);
void EmitLineTo(int x, int y);
void EmitLine(int x1, int y1, int x2, int y2);
void EmitSetPixel(int x, int y, Colour colour);
void EmitTextOut(int x, int y, const std::string& text);

// State followers: bring the metafile's pen and font in line with the canvas.
void SyncMetaPen();
void SyncMetaFont();
void EmitCurrentFont();

// The records that open every recorded picture (called by InitPlotSurface while recording).
void WriteMetafilePrologue();

// Grid lines: the canvas draws them dot by dot; the metafile gets them as dotted pen lines,
// remembered while the axis is drawn and written at its end.
void ClearGridLineLists();
void RememberMajorGridLine(int position);
void RememberMinorGridLine(int position);
void EmitRememberedGridLines(int from, int to, bool vertical);

// The file. OpenMetafile forces the ".wmf" extension onto name (the caller's name is updated),
// creates the file and reserves the header words. CloseMetafile writes the end record and both
// headers, closes the file and checks that it is complete.
std::string ForceWmfExtension(const std::string& name);
void OpenMetafile(std::string& name, bool& ok);
void CloseMetafile(int width, int height, int pixelsPerInch, bool& ok);

// Unit end: closes a file left open, releases the grid lists and clears the metafile name.
void ReleaseMetafileWriter();

}  // namespace vistrel
