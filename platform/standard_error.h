// The program's standard error: whether it is a terminal, and a capture of what is written to
// it for a while (a driver library's own reason for a failure).
#pragma once

#include <cstdio>
#include <string>

namespace platform {

bool Standard_error_is_terminal();

// Standard error sent into a scratch file from construction until finish(); when the file or
// the redirection cannot be had, nothing is captured and standard error stays as it was.
class StandardErrorCapture {
  public:
    StandardErrorCapture();
    ~StandardErrorCapture() { finish(); }
    StandardErrorCapture(const StandardErrorCapture&) = delete;
    StandardErrorCapture& operator=(const StandardErrorCapture&) = delete;

    // Puts standard error back and returns what was written meanwhile ("" the second time).
    std::string finish();

  private:
    std::FILE* file_ = nullptr;
    int saved_fd_ = -1;
};

}  // namespace platform
