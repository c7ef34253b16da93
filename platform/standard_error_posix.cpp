// Standard error on POSIX systems: isatty, and dup2 onto a tmpfile.
#include <unistd.h>

#include "platform/standard_error.h"

namespace platform {

bool Standard_error_is_terminal() {
    return isatty(STDERR_FILENO) != 0;
}

StandardErrorCapture::StandardErrorCapture() {
    std::fflush(stderr);
    file_ = std::tmpfile();
    saved_fd_ = file_ != nullptr ? dup(STDERR_FILENO) : -1;
    if (saved_fd_ >= 0)
        dup2(fileno(file_), STDERR_FILENO);
}

std::string StandardErrorCapture::finish() {
    std::string text;
    if (saved_fd_ < 0) {
        if (file_ != nullptr)
            std::fclose(file_);
        file_ = nullptr;
        return text;
    }
    std::fflush(stderr);
    dup2(saved_fd_, STDERR_FILENO);
    close(saved_fd_);
    saved_fd_ = -1;
    std::rewind(file_);
    char buffer[512];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, file_)) > 0;)
        text.append(buffer, n);
    std::fclose(file_);
    file_ = nullptr;
    return text;
}

}  // namespace platform
