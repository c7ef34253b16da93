// Standard error on Windows: _isatty, and _dup2 onto a scratch file in the user's temporary
// folder (the C runtime's tmpfile writes to the drive's root, which a user may not write to),
// deleted when it is closed.
#include <io.h>
#include <windows.h>

#include "platform/standard_error.h"

namespace platform {
namespace {

constexpr int kStderrFd = 2;

std::FILE* Scratch_file() {
    char folder[MAX_PATH + 1];
    char path[MAX_PATH + 1];
    const DWORD n = GetTempPathA(sizeof folder, folder);
    if (n == 0 || n > sizeof folder || GetTempFileNameA(folder, "hp5", 0, path) == 0)
        return nullptr;
    // "D": the runtime deletes the file when it is closed.
    return std::fopen(path, "w+bD");
}

}  // namespace

bool Standard_error_is_terminal() {
    return _isatty(kStderrFd) != 0;
}

StandardErrorCapture::StandardErrorCapture() {
    std::fflush(stderr);
    file_ = Scratch_file();
    saved_fd_ = file_ != nullptr ? _dup(kStderrFd) : -1;
    if (saved_fd_ >= 0 && _dup2(_fileno(file_), kStderrFd) != 0) {
        _close(saved_fd_);
        saved_fd_ = -1;
    }
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
    _dup2(saved_fd_, kStderrFd);
    _close(saved_fd_);
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
