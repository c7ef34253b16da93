// The folders of the user's own files that the program writes into by default.
#pragma once

#include <string>

namespace platform {

// The text data files' folder, ending in the separator: "junk" in the home folder on POSIX
// systems ("junk/" alone when the home folder is unknown), c:\junk\ on Windows.
std::string Data_directory();

// The same folder as the help names it ("~/junk/", "c:\junk\"), and where the saved connection
// is kept (a file under ~/.config, or the registry on Windows).
const char* Data_directory_text();
const char* Settings_location_text();

}  // namespace platform
