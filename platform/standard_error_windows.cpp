// Standard error on Windows: _isatty, and _dup2 onto a scratch file in the user's temporary
// folder (the C runtime's tmpfile writes to the drive's root, which a user may not write to),
// deleted when it is closed.
#include <io.h>
#include <windows.h>

#include "platform/standard_error.h"
#include "platform/standard_error_system.h"

namespace platform {

bool Standard_error_is_terminal() {
    return _isatty(system_stderr::kStderrFd) != 0;
}

namespace system_stderr {

std::FILE* Scratch_file() {
    char folder[MAX_PATH + 1];
    char path[MAX_PATH + 1];
    const DWORD n = GetTempPathA(sizeof folder, folder);
    if (n == 0 || n > sizeof folder || GetTempFileNameA(folder, "hp5", 0, path) == 0)
        return nullptr;
    // "D": the runtime deletes the file when it is closed.
    return std::fopen(path, "w+bD");
}
int Duplicate(int fd) {
    return _dup(fd);
}
bool Redirect(int from_fd, int to_fd) {
    return _dup2(from_fd, to_fd) == 0;
}
void Close(int fd) {
    _close(fd);
}
int Descriptor_of(std::FILE* file) {
    return _fileno(file);
}

}  // namespace system_stderr
}  // namespace platform
