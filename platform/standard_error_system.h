// The system calls behind the standard-error capture, one implementation per system
// (standard_error_posix.cpp, standard_error_windows.cpp).
#pragma once

#include <cstdio>

namespace platform::system_stderr {

inline constexpr int kStderrFd = 2;

// A scratch file opened for writing and reading, deleted when it is closed; null when none.
std::FILE* Scratch_file();
int Duplicate(int fd);                  // -1 on failure
bool Redirect(int from_fd, int to_fd);  // to_fd then refers to what from_fd does
void Close(int fd);
int Descriptor_of(std::FILE* file);

}  // namespace platform::system_stderr
