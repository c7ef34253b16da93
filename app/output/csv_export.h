// The CSV data files: each shown graph's rows (the same values as the text data files) with a
// header of comment lines describing the instrument and the channel's settings.
#pragma once

#include <ctime>
#include <string>
#include <vector>

namespace app {

// Writes one CSV file per shown waveform and per shown spectrum: `path` less its ".csv"
// extension plus "-ch1", "-ch2", "-ch1-fft", "-ch2-fft", "-sum", "-diff" (the combined displays
// "Ch 1 + Ch 2" / "Ch 1 - Ch 2" give -sum / -diff; "Ch 1 and Ch 2" gives -ch1 and -ch2), then
// ".csv". Returns the paths written; on a failure, stops and sets `error` to the path and the
// system's reason (files already written stay). Never shows a box.
//
// Each file: comment lines starting with "#" (program and version, the instrument's identity,
// the local date and time, the display "Ch 1 and Ch 2" when it was shown, each channel's
// coupling, mode, averaging, increments, origins and y reference, and its period and RMS when
// the scope measured them), a line of column names with units, then one row per line, each
// number in the shortest text that reads back to the same double, with "." as the decimal
// point whatever the locale; LF line ends.
struct CsvResult {
    std::vector<std::string> written;
    std::string error;
};
CsvResult Save_csv(const std::string& path);

// The paths Save_csv(path) would write for the graphs shown now, in its order.
std::vector<std::string> Csv_paths(const std::string& path);

// ISO 8601 local date and time with the offset from UTC, e.g. 2026-12-08T21:40:05+01:00.
std::string Iso8601_local_time(std::time_t t);

}  // namespace app
