// The rows of the data files and the writing of one file.
#include "app/output/data_files.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "dsp/channel_math.h"
#include "dsp/fft.h"
#include "model/waveform.h"

namespace app {

int32_t Data_row_count() {
    return std::clamp<int32_t>(model::Preamble.points, 0, dsp::kRawSumsLast);
}

std::vector<DataRow> Waveform_rows(int channel) {
    const auto& r = model::Waveforms[channel];
    std::vector<DataRow> rows;
    for (int32_t j = 1; j <= Data_row_count(); ++j) rows.push_back({r.time[j], r.volts[j]});
    return rows;
}

std::vector<DataRow> Spectrum_rows(int channel) {
    const auto& s = dsp::Spectra[channel];
    std::vector<DataRow> rows;
    for (int32_t i = 1; i <= Data_row_count(); ++i) {
        const bool bin = i <= dsp::kFftPoints;
        rows.push_back({bin ? s.freq[i] : 0.0, bin ? s.amplitude[i] : 0.0});
    }
    return rows;
}

std::vector<DataRow> Combined_rows(bool difference) {
    const dsp::TCombinedSeries series = dsp::Combine_channels(difference);
    const auto& time = model::Waveforms[1].time;
    std::vector<DataRow> rows;
    for (int32_t j = 1; j <= series.points; ++j) rows.push_back({time[j], series.values[j]});
    return rows;
}

std::string Write_whole_file(const std::string& path, const std::string& text) {
    errno = 0;
    std::FILE* f = std::fopen(path.c_str(), "wb");
    int error = errno;
    bool ok = f != nullptr;
    if (ok) {
        ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
        if (!ok)
            error = errno;
        if (std::fclose(f) != 0 && ok) {
            ok = false;
            error = errno;
        }
    }
    if (ok)
        return {};
    return error != 0 ? std::strerror(error) : "input/output error";
}

}  // namespace app
