// A saved capture opened in place of the scope's data: its files are read, checked together and
// put into the waveform and spectrum records and the display flags as an acquisition would
// have left them, so that the picture, the outputs and Save as... work on it unchanged. What
// the records and flags held before is kept, and comes back when the operator goes back to the
// scope.
#pragma once

#include <string>
#include <vector>

#include "app/picture/references.h"
#include "app/reopen/saved_file.h"

namespace app {

// Reads the files as one capture (up to four graphs: the channels' waveforms and spectra, or one
// sum or difference) and shows them. All or nothing: on a bad file, or files that do not make
// one capture, returns why and changes nothing.
std::string Open_capture(const std::vector<std::string>& paths);
// Shows graphs already read (Open_capture without the reading).
std::string Show_capture(const std::vector<SavedGraph>& graphs);

bool Capture_is_open();
// The opened files' names, for the window's title: "a-ch1.csv, a-ch2.csv".
std::string Opened_capture_names();
// Back to the scope: the records, spectra and display flags as they were before the first
// capture was opened (the averaging counts chosen meanwhile stay). Nothing when none is open.
void Close_capture();

// The graph a saved graph belongs to.
ReferenceGraph Reference_graph_of(const SavedGraph& graph);
// Reads the file and adds it as a reference of `graph`. Returns why it cannot (a bad file, a
// spectrum for a waveform graph or the other way round, a graph with two references already).
std::string Load_reference(const std::string& path, ReferenceGraph graph);

}  // namespace app
