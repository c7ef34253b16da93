// Test doubles for the platform seams: they record every message box, beep, wait and status
// line, and turn "stop the program" into an exception the test can catch.
#pragma once

#include <string>
#include <vector>

#include "platform/platform.h"

namespace testing_support {

struct Box {
    platform::BoxKind kind;
    std::string caption;
    std::string text;
};

class RecordingPlatform final : public platform::Platform {
  public:
    std::vector<Box> boxes;
    std::vector<int> sleeps;
    int beeps = 0;
    int stops = 0;
    std::vector<bool> cursor_changes;
    // Called at each wait, after it is recorded (a test can act "during" a wait).
    void (*on_sleep)(int ms) = nullptr;

    void message_box(platform::BoxKind kind, const std::string& caption,
                     const std::string& text) override {
        boxes.push_back({kind, caption, text});
    }
    void beep() override { ++beeps; }
    void set_busy_cursor(bool busy) override { cursor_changes.push_back(busy); }
    [[noreturn]] void stop_program() override {
        ++stops;
        throw platform::ProgramStopped{1};
    }
    void sleep_ms(int ms) override {
        sleeps.push_back(ms);
        if (on_sleep != nullptr)
            on_sleep(ms);
    }
    int total_sleep_ms() const {
        int t = 0;
        for (int s : sleeps) t += s;
        return t;
    }
};

class RecordingStatusList final : public platform::StatusList {
  public:
    std::vector<std::string> lines;
    int clears = 0;
    void send_message(const std::string& line) override { lines.push_back(line); }
    void clear() override {
        lines.clear();
        ++clears;
    }
};

// Installs both recorders for the lifetime of the object.
class RecordedPlatform {
  public:
    RecordingPlatform platform;
    RecordingStatusList status;
    RecordedPlatform() {
        platform::set_current(&platform);
        platform::set_status_list(&status);
    }
    ~RecordedPlatform() {
        platform::set_current(nullptr);
        platform::set_status_list(nullptr);
    }
    RecordedPlatform(const RecordedPlatform&) = delete;
    RecordedPlatform& operator=(const RecordedPlatform&) = delete;
};

}  // namespace testing_support
