// The standard-error capture, on the system calls of standard_error_system.h.
#include "platform/standard_error.h"

#include "platform/standard_error_system.h"

namespace platform {

using namespace system_stderr;

StandardErrorCapture::StandardErrorCapture() {
    std::fflush(stderr);
    file_ = Scratch_file();
    saved_fd_ = file_ != nullptr ? Duplicate(kStderrFd) : -1;
    if (saved_fd_ >= 0 && !Redirect(Descriptor_of(file_), kStderrFd)) {
        Close(saved_fd_);
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
    Redirect(saved_fd_, kStderrFd);
    Close(saved_fd_);
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
