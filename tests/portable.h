// What the tests ask of the system beyond the program's own seams (platform/environment.h for
// the environment, scope/library_loader.h for libraries), in one form for POSIX systems and
// Windows: the environment's names, scratch files and folders, the test program's folder.
#pragma once

#include <string>
#include <vector>

namespace portable {

#ifdef _WIN32
inline constexpr bool windows = true;
#else
inline constexpr bool windows = false;
#endif

// The names of the environment's variables, as getenv (in the program and in the driver
// libraries) sees them.
std::vector<std::string> Environment_names();

// A new empty file, or a new folder, in the system's temporary folder, named stem and six more
// characters; its path ("" when none could be made).
std::string Make_temp_file(const std::string& stem);
std::string Make_temp_folder(const std::string& stem);

// The folder of the running test program.
std::string Program_folder();

// Runs a command with the system's shell; its exit status, -1 when it did not end by itself.
int Run_command(const std::string& command);

}  // namespace portable
