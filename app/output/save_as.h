// Save as...: the picture as PNG, SVG or PDF, or the shown graphs' data as CSV, in a file the
// operator chooses; the default name numbered in the last folder used, which is kept in the
// program's settings (written only when a file is saved this way).
#pragma once

#include <filesystem>
#include <string>
#include <vector>

class QWidget;

namespace app {

// The highest number of an entry "STEM-NNNN..." of `folder` (4 to 9 digits, whatever follows
// them: the extension, the CSV files' "-ch1"), 0 when there is none. `any_case`: the stem in
// any letter case. Used by Save as... and by the capture's numbered series.
int Highest_series_number(const std::filesystem::path& folder, const std::string& stem,
                          bool any_case);

// "hp54200a-0001.png" ... : one past the highest number of any "hp54200a-NNNN..." file in
// `folder`, whatever its type or suffix (the CSV files' "hp54200a-0004-ch1.csv" uses 0004),
// with the given extension.
std::string Next_numbered_name(const std::string& folder, const std::string& extension);

// The folder of the last Save as..., else the current folder.
std::string Last_save_folder();
void Remember_save_folder(const std::string& folder);

// Writes `path` by its extension (".png", ".svg", ".pdf", ".csv"; one without a known extension
// gets `default_extension`) at the plot's size. The files written, or the error (the path and
// the system's reason).
struct SaveOutcome {
    std::vector<std::string> written;
    std::string error;
};
SaveOutcome Save_as(std::string path, const std::string& default_extension, int width, int height);

// The files Save_as(path, default_extension, ...) would write now (for CSV, one per shown graph).
std::vector<std::string> Files_to_write(std::string path, const std::string& default_extension);

// The button's whole action: the save dialog, one question naming the files that are already
// there (nothing is replaced without it), the file(s), the box that confirms or reports.
void Save_as_dialog(QWidget* parent, int width, int height);

}  // namespace app
