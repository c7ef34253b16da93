// The picture on the plot surface: which graphs are shown, where, and how each is drawn.
#pragma once

#include <string>

#include "vistrel/canvas.h"

namespace app {

// Colours of the picture, 0x00BBGGRR.
inline constexpr vistrel::Colour kRed = 0x0000FF;
inline constexpr vistrel::Colour kGreen = 0x008000;
inline constexpr vistrel::Colour kBlue = 0xFF0000;
inline constexpr vistrel::Colour kPurple = 0x800080;
inline constexpr vistrel::Colour kBlack = 0x000000;
inline constexpr vistrel::Colour kWhite = 0xFFFFFF;

// A graph's rectangle in percent of the surface: left, right, top, bottom.
struct GraphPlace {
    int left;
    int right;
    int top;
    int bottom;
    bool operator==(const GraphPlace&) const = default;
};

enum class GraphKind { Ch1Waveform, Ch2Waveform, Ch1Spectrum, Ch2Spectrum };

// The layout (1..5) for the display flags, 0 for the blank surface.
int Layout_for_flags();
// Where a graph of the given kind sits in the given layout, with the current flags.
GraphPlace Place_of(GraphKind kind, int layout);

// The paint handler of the plot surface: draws the graphs the operator chose.
void Display_graph(vistrel::PaintBox& paint_box);
// One channel's waveform in the current graph; with its axes and zero line when with_axes.
void Plot_waveform(int channel, bool with_axes);
// One channel's spectrum with its axes in the current graph.
void Plot_spectrum(int channel);
// "CHANNEL 1    [T=2 ms; f=500 Hz; Vrms=707.1 mv ]", or the invalid form.
std::string Channel_title(int channel);

}  // namespace app
