// The folders of the user's own files that the program writes into by default.
#pragma once

#include <string>

namespace platform {

// The text data files' folder, ending in the separator: "junk" in the home folder on POSIX
// systems ("junk/" alone when the home folder is unknown), c:\junk\ on Windows.
std::string Data_directory();

}  // namespace platform
