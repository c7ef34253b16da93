// Reference traces: saved graphs laid behind the live ones, for comparing a trace with a known
// good one. Each graph of the picture holds up to two; they are drawn on the live graph's axes,
// clipped to its plot area, dashed, in a lighter shade of the graph's colour, and stay until they
// are cleared. With none loaded the picture is drawn exactly as without this unit.
#pragma once

#include <array>
#include <initializer_list>
#include <string>
#include <vector>

#include "vistrel/canvas.h"

namespace app {

// The graphs a reference can belong to: the channels' waveforms and spectra, and the combined
// displays' sum and difference.
enum class ReferenceGraph { Ch1Waveform, Ch2Waveform, Ch1Spectrum, Ch2Spectrum, Sum, Difference };
inline constexpr int kReferenceGraphs = 6;
inline constexpr int kMaxReferencesPerGraph = 2;

struct Reference {
    std::string name;       // the file's name, shown as "ref: <name>"
    std::vector<double> x;  // seconds or hertz
    std::vector<double> y;  // volts or the normalised amplitude
};

struct ReferenceState {
    std::array<std::vector<Reference>, kReferenceGraphs> graphs;
};
extern ReferenceState References;

bool Is_spectrum_graph(ReferenceGraph graph);
// "channel 1's waveform", "the sum" ...
std::string Reference_graph_text(ReferenceGraph graph);
// Adds the reference; the reason when the graph already holds two (nothing changes then).
std::string Add_reference(ReferenceGraph graph, Reference reference);
void Clear_references();
int Reference_count();

// The colour of the graph's live trace and title.
vistrel::Colour Reference_colour(ReferenceGraph graph);
// A colour half way to white.
vistrel::Colour Lighter(vistrel::Colour colour);

// Inside the paint, after the graph's axes and before its live trace: the graph's references
// with the live trace's time scale (waveforms) or as spectral lines (spectra).
void Draw_references(ReferenceGraph graph, long double time_scale);
// After the graph's title: one "ref: <name>" line per reference, at the top of the plot area.
void Draw_reference_names(std::initializer_list<ReferenceGraph> graphs);

}  // namespace app
