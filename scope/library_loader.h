// Loading a shared library and finding its exports, the system's own way (dlopen and dlsym on
// POSIX systems, LoadLibraryA and GetProcAddress on Windows), and the names of driver library
// files there.
#pragma once

#include <string>
#include <vector>

namespace scope {

// The system's own GPIB driver libraries, tried in this order when nothing names another.
const std::vector<std::string>& Default_libraries();

// The system's own board driver, for the texts that name it: its name as operators know it
// ("linux-gpib", "NI-488.2"), the default libraries as the help gives them, and where the
// program's own driver libraries are installed.
struct BoardDriverTexts {
    const char* name;
    const char* board_phrase;  // "a linux-gpib board"
    const char* default_libraries;
    const char* installed_drivers;
    bool gateway_driver;  // the VXI-11 driver comes with the program
};
const BoardDriverTexts& Board_driver_texts();
// What helps when the board driver's library cannot be loaded (library_missing), or when the
// board does not answer.
std::string Board_driver_remedy(bool library_missing, const std::string& board);

// The loaded library, or nullptr with the loader's reason.
void* Open_library(const char* name, std::string& reason);
// The address of an exported function or variable, nullptr when the library has none.
void* Library_export(void* library, const char* name);
void Close_library(void* library);

// The file name, on this system, of one of the program's driver libraries named as on Linux
// ("libhp54200a_sim.so" is hp54200a_sim.dll on Windows).
std::string Library_file_name(const std::string& linux_name);
// Where the program's own driver library of that file name is installed: the driver folder on
// POSIX systems, the program's folder (UTF-8) on Windows.
std::string Installed_library_path(const std::string& file_name, const std::string& program_dir);
// The base name of a driver library's path, named as on Linux (the reverse of the above; the
// system's own driver libraries are "libgpib.so.0").
std::string Linux_library_name(const std::string& path);

}  // namespace scope
