// The arithmetic under the axes and curves: data-to-pixel mapping, tick steps of linear axes,
// tick levels of logarithmic axes, label texts, and the dotted grid lines.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "vistrel/canvas.h"

namespace vistrel {

// Mantissas within one decade, written as ten times their value (25 means 2.5).
struct MantissaSet {
    int32_t count = 0;
    std::array<int32_t, 35> mantissas{};
    bool contains(int32_t mantissa) const;
};

// Levels 0..4, from "1 only" to the densest set.
extern const std::array<MantissaSet, 5> LogMantissaSets;

// Pixel column / row of a data value in the current graph, clamped to -32768..32767.
int32_t XToPixel(float x);
int32_t YToPixel(float y);
int32_t ValueToAxisPixel(float v, float lo, float hi, int32_t length);

struct LinearSteps {
    float majorStep = 0.0f;
    float minorStep = 0.0f;
    // Label precision: > 0 that many decimals; 0..-2 integer labels; <= -3 a decimal exponent.
    int32_t decimals = 0;
};

// Needs lo != hi (the axes never call it otherwise).
LinearSteps ChooseLinearStep(int32_t lengthPx, int32_t intervals, float lo, float hi,
                             float minStep);

// Returns a three-digit code: label level, major level, minor level of LogMantissaSets.
float ChooseLogTickLevels(int32_t lengthPx, float ratio);

// Decimals needed to show a value of that magnitude; 99 for 0.
int32_t DecimalsFor(float x);

std::string FormatTickValue(int32_t decimals, float value);
// digit x 10^exponent on a logarithmic axis: 200, 0.05, 3E6.
std::string FormatDecadeLabel(int32_t exponent, int32_t digit);

// Dotted (or solid, pattern 0) grid lines across the current graph's plot area, in the canvas
// pen colour. Never on the axis line itself. While recording, dotted lines are remembered for the
// metafile and solid ones written at once.
void DrawVerticalGridLine(int32_t x, bool minor);
void DrawHorizontalGridLine(int32_t y, bool minor);

// (w1 * c1 + w2 * c2) / (w1 + w2) per channel; black when a weight is not positive.
Colour MixColours(Colour c1, Colour c2, int32_t w1, int32_t w2);

// Round half to even, as every float-to-pixel conversion of the unit does.
int32_t RoundHalfEven(long double v);

}  // namespace vistrel
