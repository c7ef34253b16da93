// The common start of the plotting unit's drawing tests: a 600 x 400 recording surface, the
// recording platform, and a fresh unit and metafile writer for each test.
#pragma once

#include <gtest/gtest.h>

#include "support_recording_canvas.h"
#include "tests/recording_platform.h"
#include "vistrel/metafile.h"
#include "vistrel/state.h"

namespace testing_support {

class PlotSurfaceTest : public ::testing::Test {
  protected:
    RecordedPlatform platform;
    RecordingPaintBox box{600, 400};
    RecordingCanvas& canvas = box.surface;

    // Forgets everything of the previous test and begins a white picture with a black pen.
    void Begin(float font_scale) {
        vistrel::plot = vistrel::Plot{};
        vistrel::metafile = vistrel::MetafileState{};
        vistrel::InitPlotSurface(box, 0xFFFFFF, 0x000000, font_scale);
    }
    void TearDown() override { vistrel::plot = vistrel::Plot{}; }
};

}  // namespace testing_support
