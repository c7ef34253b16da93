// The window's side of saved captures and references: the "Open...", "Reference..." and
// "Clear references" buttons under the left strip's Save as..., Ctrl+O, files dropped on the
// window, and the way back to the scope.
#pragma once

#include <string>
#include <vector>

#include "app/picture/references.h"

namespace app {

class TForm1;

// Adds the buttons, the shortcut and the dropping of files to the window.
void Add_capture_controls(TForm1& form);

// Opens the files as one capture and shows it, the window's title naming them; a file that
// cannot be used gets an error box naming it, and nothing shown changes. False then.
bool Open_in_window(TForm1& form, const std::vector<std::string>& paths);

// A capture opened before the window existed (--open): the title names it.
void Show_opened_capture(TForm1& form);

// The first display, coupling, mode, averaging, Refresh or Auto- Scale click after a capture was
// opened: the scope's data and the title come back before the handler goes on.
void Back_to_scope(TForm1& form);

// Adds the file as a reference of `graph` and repaints; an error box when it cannot.
bool Reference_in_window(TForm1& form, const std::string& path, ReferenceGraph graph);
// Removes every reference and repaints.
void Clear_references_in_window(TForm1& form);

}  // namespace app
