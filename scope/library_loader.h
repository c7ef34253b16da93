// Loading a shared library and finding its exports, the system's own way (dlopen and dlsym on
// POSIX systems, LoadLibraryA and GetProcAddress on Windows), and the names of driver library
// files there.
#pragma once

#include <string>
#include <vector>

namespace scope {

// The system's own GPIB driver libraries, tried in this order when nothing names another.
const std::vector<std::string>& Default_libraries();

// The loaded library, or nullptr with the loader's reason.
void* Open_library(const char* name, std::string& reason);
// The address of an exported function or variable, nullptr when the library has none.
void* Library_export(void* library, const char* name);
void Close_library(void* library);

// The file name, on this system, of one of the program's driver libraries named as on Linux
// ("libhp54200a_sim.so" is hp54200a_sim.dll on Windows).
std::string Library_file_name(const std::string& linux_name);
// The base name of a driver library's path, named as on Linux (the reverse of the above; the
// system's own driver libraries are "libgpib.so.0").
std::string Linux_library_name(const std::string& path);

}  // namespace scope
