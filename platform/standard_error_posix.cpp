// Standard error on POSIX systems: isatty, and dup2 onto a tmpfile.
#include <unistd.h>

#include "platform/standard_error.h"
#include "platform/standard_error_system.h"

namespace platform {

bool Standard_error_is_terminal() {
    return isatty(STDERR_FILENO) != 0;
}

namespace system_stderr {

std::FILE* Scratch_file() {
    return std::tmpfile();
}
int Duplicate(int fd) {
    return dup(fd);
}
bool Redirect(int from_fd, int to_fd) {
    return dup2(from_fd, to_fd) >= 0;
}
void Close(int fd) {
    close(fd);
}
int Descriptor_of(std::FILE* file) {
    return fileno(file);
}

}  // namespace system_stderr
}  // namespace platform
