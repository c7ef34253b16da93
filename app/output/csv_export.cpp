// CSV data export. Numbers go through std::to_chars, which never looks at the locale: the program
// runs under the operator's locale, whose decimal point may be a comma.
#include "app/output/csv_export.h"

#include <array>
#include <charconv>
#include <cstdio>

#include "app/output/data_files.h"
#include "app/picture/window_state.h"
#include "dsp/channel_math.h"
#include "model/waveform.h"
#include "platform/local_time.h"
#include "scope/scope_link.h"

namespace app {
namespace {

enum class Graph { Waveform, Spectrum, Sum, Difference };

struct CsvFile {
    const char* suffix;
    Graph graph;
    int channel;  // 1 or 2; 0 for the combined series
};

// The shortest text that reads back to the same double: "-0.00246", not "-0.0024599999999999999".
std::string Number(double value) {
    std::array<char, 32> buf{};
    const auto res = std::to_chars(buf.data(), buf.data() + buf.size(), value);
    return std::string(buf.data(), res.ptr);
}

// The identity as one comment line holds it: the scope's quotes dropped, and nothing that a CSV
// reader could take for a quote, a separator or a line end.
std::string Identity_text() {
    std::string out;
    for (const char c : scope::Link.Identity) {
        if (c == '"')
            continue;
        out += (c == ',' || c == '\r' || c == '\n') ? ' ' : c;
    }
    return out.empty() ? "unknown" : out;
}

std::string Channel_header(int channel) {
    const model::TWaveformRecord& r = model::Waveforms[channel];
    const std::string ch = "# ch" + std::to_string(channel) + " ";
    std::string out;
    const char* coupling = r.coupling == 1 ? "DC" : r.coupling == 2 ? "AC" : "not set";
    out += ch + "coupling: " + coupling + "\n";
    out += ch + "mode: " + (r.inverted ? "inverted" : "normal") + "\n";
    out += ch + "averaging: " +
           (r.averaging ? std::to_string(dsp::Averaged_sets(r)) + " data sets" : "off") + "\n";
    out += ch + "x increment (s): " + Number(r.xincrement) + "\n";
    out += ch + "x origin (s): " + Number(r.xorigin) + "\n";
    out += ch + "y increment (V): " + Number(r.yincrement) + "\n";
    out += ch + "y origin (V): " + Number(r.yorigin) + "\n";
    out += ch + "y reference: " + std::to_string(r.yreference) + "\n";
    if (r.measurement_valid) {
        out += ch + "period (s): " + Number(r.period) + "\n";
        out += ch + "RMS (V): " + Number(r.vrms) + "\n";
    } else {
        out += ch + "period and RMS: not measured\n";
    }
    return out;
}

std::string Csv_text(const CsvFile& f, const std::string& written_at) {
    std::string out = "# hp54200a " HP54200A_VERSION "\n";
    out += "# instrument: " + Identity_text() + "\n";
    out += "# written: " + written_at + "\n";
    const std::string ch = "ch" + std::to_string(f.channel);
    std::vector<DataRow> rows;
    std::string columns;
    switch (f.graph) {
        case Graph::Waveform:
            out += "# graph: channel " + std::to_string(f.channel) + " waveform\n";
            if (Window.Combined_display == 1)
                out += "# display: Ch 1 and Ch 2\n";
            out += Channel_header(f.channel);
            rows = Waveform_rows(f.channel);
            columns = "time_s," + ch + "_V";
            break;
        case Graph::Spectrum:
            out += "# graph: channel " + std::to_string(f.channel) +
                   " spectrum (amplitude relative to the largest bin)\n";
            out += Channel_header(f.channel);
            rows = Spectrum_rows(f.channel);
            columns = "frequency_Hz," + ch + "_amplitude_rel";
            break;
        case Graph::Sum:
        case Graph::Difference: {
            const bool difference = f.graph == Graph::Difference;
            out += std::string("# graph: channel 1 ") + (difference ? "-" : "+") +
                   " channel 2 on channel 1's times\n";
            out += Channel_header(1);
            out += Channel_header(2);
            rows = Combined_rows(difference);
            columns = difference ? "time_s,diff_V" : "time_s,sum_V";
            break;
        }
    }
    out += columns + "\n";
    for (const DataRow& row : rows) {
        out += Number(row.x);
        out += ',';
        out += Number(row.y);
        out += '\n';
    }
    return out;
}

// The files of the shown graphs, in the text export's order, then the combined series.
std::vector<CsvFile> Shown_files() {
    const WindowState& w = Window;
    std::vector<CsvFile> files;
    if (w.Show_ch1_waveform || w.Combined_display == 1)
        files.push_back({"-ch1", Graph::Waveform, 1});
    if (w.Show_ch1_fft)
        files.push_back({"-ch1-fft", Graph::Spectrum, 1});
    if (w.Show_ch2_waveform || w.Combined_display == 1)
        files.push_back({"-ch2", Graph::Waveform, 2});
    if (w.Show_ch2_fft)
        files.push_back({"-ch2-fft", Graph::Spectrum, 2});
    if (w.Combined_display == 2)
        files.push_back({"-sum", Graph::Sum, 0});
    if (w.Combined_display == 3)
        files.push_back({"-diff", Graph::Difference, 0});
    return files;
}

// The path without its ".csv" extension, in any letter case; any other path as it is.
std::string Base_of(const std::string& path) {
    const std::string ext = ".csv";
    if (path.size() < ext.size())
        return path;
    const size_t start = path.size() - ext.size();
    for (size_t i = 0; i < ext.size(); ++i) {
        const char c = path[start + i];
        if ((c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c) != ext[i])
            return path;
    }
    return path.substr(0, start);
}

}  // namespace

std::string Iso8601_local_time(std::time_t t) {
    long long offset = 0;
    const std::tm local = platform::Local_time(t, offset);
    const long long minutes = (offset < 0 ? -offset : offset) / 60;
    std::array<char, 64> buf{};
    std::snprintf(buf.data(), buf.size(), "%04d-%02d-%02dT%02d:%02d:%02d%c%02lld:%02lld",
                  local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                  local.tm_min, local.tm_sec, offset < 0 ? '-' : '+', minutes / 60, minutes % 60);
    return buf.data();
}

std::vector<std::string> Csv_paths(const std::string& path) {
    std::vector<std::string> paths;
    for (const CsvFile& f : Shown_files()) paths.push_back(Base_of(path) + f.suffix + ".csv");
    return paths;
}

CsvResult Save_csv(const std::string& path) {
    CsvResult result;
    const std::string base = Base_of(path);
    const std::string written_at = Iso8601_local_time(std::time(nullptr));
    for (const CsvFile& f : Shown_files()) {
        const std::string file = base + f.suffix + ".csv";
        const std::string reason = Write_whole_file(file, Csv_text(f, written_at));
        if (!reason.empty()) {
            result.error = file + ": " + reason;
            return result;
        }
        result.written.push_back(file);
    }
    return result;
}

}  // namespace app
