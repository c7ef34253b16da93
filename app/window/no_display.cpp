// The no-display message. Qt reports a platform that cannot be opened as a fatal message after
// its warnings; the handler keeps the warnings back until it knows whether that happens.
#include "app/window/no_display.h"

#include <QString>
#include <QtGlobal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace app {
namespace {

QtMessageHandler Previous = nullptr;

// A message and its context (whose texts are Qt's own static strings).
struct Held {
    QtMsgType type;
    const char* file;
    int line;
    const char* function;
    const char* category;
    QString text;
};
std::vector<Held>& Held_messages() {
    static std::vector<Held> held;
    return held;
}

void Handler(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (type == QtFatalMsg) {
        std::fprintf(stderr, "hp54200a: %s\n", No_display_text());
        std::fflush(stderr);
        std::_Exit(1);
    }
    Held_messages().push_back(
        {type, context.file, context.line, context.function, context.category, text});
}

}  // namespace

const char* No_display_text() {
    return "no display was found (DISPLAY and WAYLAND_DISPLAY name none that can be opened), "
           "and the window needs one. For work without a window use \"hp54200a capture\" "
           "(hp54200a capture --help).";
}

NoDisplayGuard::NoDisplayGuard() {
    Previous = qInstallMessageHandler(Handler);
}

NoDisplayGuard::~NoDisplayGuard() {
    qInstallMessageHandler(Previous);
    // The platform opened: Qt's remarks meanwhile go where they would have gone.
    for (const Held& m : Held_messages()) {
        const QMessageLogContext context(m.file, m.line, m.function, m.category);
        qt_message_output(m.type, context, m.text);
    }
    Held_messages().clear();
}

}  // namespace app
