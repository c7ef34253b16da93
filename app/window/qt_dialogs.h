// The window's platform: modal Qt message boxes, the system beep, the busy cursor, the process
// exit of a fatal error and the blocking waits; and the status list under the plot, which
// shows each line as soon as it is sent so that progress is visible while a handler blocks.
#pragma once

#include "platform/platform.h"

class QListWidget;
class QWidget;

namespace app {

class QtPlatform final : public platform::Platform {
  public:
    explicit QtPlatform(QWidget* parent = nullptr) : parent_(parent) {}
    void message_box(platform::BoxKind kind, const std::string& caption,
                     const std::string& text) override;
    void beep() override;
    void set_busy_cursor(bool busy) override;
    [[noreturn]] void stop_program() override;
    void sleep_ms(int ms) override;

  private:
    QWidget* parent_;
    int busy_depth_ = 0;
};

// The status list on a list box: lines are only ever appended (or all removed when the
// connection opens), never scrolled to.
class ListBoxStatus final : public platform::StatusList {
  public:
    explicit ListBoxStatus(QListWidget* list) : list_(list) {}
    void send_message(const std::string& line) override;
    void clear() override;

  private:
    void redraw_now();
    QListWidget* list_;
};

}  // namespace app
