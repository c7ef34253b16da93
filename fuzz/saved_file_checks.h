// What must hold after the saved-file reader takes arbitrary bytes: either a graph that the
// records can hold (2 to 2002 rows of finite numbers, times increasing, a raw code per row of a
// text waveform file) or an error that names the file. Shared by the fuzz targets and the test
// that replays their seed corpus.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "app/reopen/saved_file.h"

namespace fuzzing {

inline void Require_saved(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "broken: %s\n", what);
        std::abort();
    }
}

inline void Check_saved(std::string_view bytes, const std::string& name) {
    const app::SavedRead read = app::Parse_saved(bytes, name);
    if (!read.graph) {
        Require_saved(read.error.rfind(name + ": ", 0) == 0, "the error names the file");
        return;
    }
    Require_saved(read.error.empty(), "no error beside a graph");
    const app::SavedGraph& g = *read.graph;
    Require_saved(g.x.size() == g.y.size(), "as many values as times");
    Require_saved(g.x.size() >= app::kMinSavedRows && g.x.size() <= app::kMaxSavedRows,
                  "row count within the records");
    Require_saved(g.raw.empty() || g.raw.size() == g.x.size(), "a raw code per row");
    Require_saved(g.channel == 1 || g.channel == 2, "channel 1 or 2");
    for (std::size_t i = 0; i < g.x.size(); ++i) {
        Require_saved(std::isfinite(g.x[i]) && std::isfinite(g.y[i]), "finite values");
        if (i > 0 && g.kind != app::SavedKind::Spectrum)
            Require_saved(g.x[i] > g.x[i - 1], "times increase");
    }
}

// The text-file target: byte 0 chooses the waveform or the spectrum file (its name and header
// line), the rest follows the header line.
inline void Check_saved_text(const uint8_t* data, std::size_t size) {
    const bool waveform = size == 0 || (data[0] & 1) == 0;
    std::string text = waveform ? " Raw data       Time       Voltage    \r\n"
                                : "   Frequency     Amplitude  \r\n";
    if (size > 1)
        text.append(reinterpret_cast<const char*>(data) + 1, size - 1);
    Check_saved(text, waveform ? "waveform1_data.dat" : "fft2_data.dat");
}

}  // namespace fuzzing
