// The console platform used until the window installs its own, and the seam accessors.
#include "platform/platform.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

namespace platform {
namespace {

class ConsolePlatform final : public Platform {
  public:
    void message_box(BoxKind, const std::string& caption, const std::string& text) override {
        std::fprintf(stderr, "%s%s%s\n", caption.c_str(), caption.empty() ? "" : ": ",
                     text.c_str());
    }
    void beep() override {}
    void set_busy_cursor(bool) override {}
    [[noreturn]] void stop_program() override {
        std::fflush(nullptr);
        std::_Exit(1);
    }
    void sleep_ms(int ms) override { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
};

class SilentStatusList final : public StatusList {
  public:
    void send_message(const std::string&) override {}
    void clear() override {}
};

class NoDisplayFlags final : public DisplayFlags {
  public:
    void clear() override {}
};

ConsolePlatform console_platform;
SilentStatusList silent_status_list;
Platform* current_platform = &console_platform;
StatusList* current_status_list = &silent_status_list;
NoDisplayFlags no_display_flags;
DisplayFlags* current_display_flags = &no_display_flags;

}  // namespace

Platform& current() {
    return *current_platform;
}

void set_current(Platform* p) {
    current_platform = p != nullptr ? p : &console_platform;
}

StatusList& status_list() {
    return *current_status_list;
}

void set_status_list(StatusList* s) {
    current_status_list = s != nullptr ? s : &silent_status_list;
}

DisplayFlags& display_flags() {
    return *current_display_flags;
}

void set_display_flags(DisplayFlags* f) {
    current_display_flags = f != nullptr ? f : &no_display_flags;
}

void clear_display_flags() {
    current_display_flags->clear();
}

void stop_program() {
    current_platform->stop_program();
    // A platform's stop either exits or throws; this keeps the promise if one ever returned.
    std::_Exit(1);
}

void send_message(const std::string& line) {
    current_status_list->send_message(line);
}

}  // namespace platform
