// The platform seams of the program: message boxes, the beep, the busy cursor, stopping the
// program, the fixed waits, the status list and the window's display flags. The instrument link
// and the plotting unit call these and never Qt, so that tests can record every box and wait
// instead of blocking.
#pragma once

#include <string>

namespace platform {

enum class BoxKind { Error, Information, Plain };

// Thrown by recording platforms in tests in place of the process exit.
struct ProgramStopped {
    int status;
};

class Platform {
  public:
    virtual ~Platform() = default;
    // A modal box with an OK button; returns when the operator has closed it.
    virtual void message_box(BoxKind kind, const std::string& caption, const std::string& text) = 0;
    virtual void beep() = 0;
    virtual void set_busy_cursor(bool busy) = 0;
    // Ends the program at once with a non-zero status: no destructors, no handlers.
    [[noreturn]] virtual void stop_program() = 0;
    // A plain blocking wait of the GUI thread; no events are handled during it.
    virtual void sleep_ms(int ms) = 0;
};

// The status list under the plot (the window implements it).
class StatusList {
  public:
    virtual ~StatusList() = default;
    virtual void send_message(const std::string& line) = 0;
    virtual void clear() = 0;
};

// The window's display flags (which graphs it shows), which the connection's opening clears
// before it opens the device (the window implements it).
class DisplayFlags {
  public:
    virtual ~DisplayFlags() = default;
    virtual void clear() = 0;
};

// The platform in use; until one is installed, a console one (stderr, real sleep, _Exit(1)).
Platform& current();
void set_current(Platform* p);  // nullptr restores the console platform

StatusList& status_list();
void set_status_list(StatusList* s);  // nullptr restores one that drops every line

DisplayFlags& display_flags();
void set_display_flags(DisplayFlags* f);  // nullptr restores one that has no flags to clear

// Clears the window's display flags, when there is a window.
void clear_display_flags();

// Stops the program through the platform in use; never returns.
[[noreturn]] void stop_program();

// Appends one line to the status list at once.
void send_message(const std::string& line);

}  // namespace platform
