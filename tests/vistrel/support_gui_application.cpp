// The Qt application of the plotting unit's tests that draw on images or ask the font database
// (kept apart from the recording canvas, which needs no Qt).
#include <QGuiApplication>

#include "support_recording_canvas.h"

namespace testing_support {

void EnsureGuiApplication() {
    if (QGuiApplication::instance() != nullptr)
        return;
    static int argc = 1;
    static char name[] = "vistrel_tests";
    static char* argv[] = {name, nullptr};
    // Kept to the end of the process: destroying it among other statics at exit is not safe.
    static QGuiApplication* app = new QGuiApplication(argc, argv);
    (void)app;
}

}  // namespace testing_support
