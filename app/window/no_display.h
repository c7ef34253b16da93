// A start without a display: Qt cannot open its platform and would abort the program with its
// advice to reinstall it. While the application object is made, that is turned into a message
// that says what is missing and how to work without a window, and exit status 1.
#pragma once

namespace app {

class NoDisplayGuard {
  public:
    NoDisplayGuard();
    ~NoDisplayGuard();
    NoDisplayGuard(const NoDisplayGuard&) = delete;
    NoDisplayGuard& operator=(const NoDisplayGuard&) = delete;
};

// The message, without the program's prefix.
const char* No_display_text();

}  // namespace app
