// The instrument link and signal processing are static libraries that call each other. A test
// of this folder may pull the acquisition in late (for a library symbol it happens to carry),
// after the linker has passed the signal-processing library for the last time; naming the two
// entry points the acquisition calls here brings them in on the first pass.
#include "dsp/channel_math.h"
#include "dsp/spectrum.h"

namespace testing_support {

extern void (*const kScaleWaveform)(int32_t, int);
void (*const kScaleWaveform)(int32_t, int) = &dsp::Scale_waveform;
extern void (*const kComputeSpectrum)(int);
void (*const kComputeSpectrum)(int) = &dsp::Compute_spectrum;

}  // namespace testing_support
