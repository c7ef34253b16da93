// Makes the picture of docs/examining.md: the plot surface against the simulated scope with both
// channels' waveforms and spectra, channel 1's waveform zoomed to a box with cursors A and B
// placed, and channel 1's spectrum with cursor A, each as an operator's mouse would do it.
// Usage: hp54200a_examine_screenshot OUTPUT.png   (GPIB_LIBRARY must name the simulated scope)
#include <QApplication>
#include <QLocale>
#include <QMouseEvent>
#include <cstdio>

#include "app/examine/graph_view.h"
#include "app/window/main_window.h"
#include "app/window/paint_box.h"
#include "app/window/qt_dialogs.h"
#include "app/window/radio_group.h"
#include "dsp/eng_format.h"
#include "platform/platform.h"

namespace {

// A pixel at fractions of a graph's plot area.
QPoint At(int graph, double fx, double fy) {
    const app::examine::DrawnGraph& d = app::examine::Examine.graphs[graph].drawn;
    return {static_cast<int>(d.left + fx * d.width), static_cast<int>(d.bottom - fy * d.height)};
}

void Mouse(QWidget* w, QEvent::Type type, Qt::MouseButton button, Qt::MouseButtons buttons,
           Qt::KeyboardModifiers modifiers, QPoint at) {
    QMouseEvent e(type, QPointF(at), QPointF(w->mapToGlobal(at)), button, buttons, modifiers);
    QApplication::sendEvent(w, &e);
}

void Click(QWidget* w, QPoint at, Qt::KeyboardModifiers modifiers = {}) {
    Mouse(w, QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton, modifiers, at);
    Mouse(w, QEvent::MouseButtonRelease, Qt::LeftButton, Qt::NoButton, modifiers, at);
}

}  // namespace

int main(int argc, char* argv[]) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT.png\n", argv[0]);
        return 2;
    }
    QApplication application(argc, argv);
    dsp::Set_decimal_separator(QLocale::system().decimalPoint().toStdString());
    app::TForm1 form;
    app::QtPlatform platform(&form);
    platform::set_current(&platform);
    form.show();
    QApplication::processEvents();
    form.RadioGroup1->setItemIndex(2);
    form.RadioGroup2->setItemIndex(2);

    QWidget* surface = form.PaintBox1;
    const QPoint from = At(0, 0.30, 0.95);
    const QPoint to = At(0, 0.55, 0.05);
    Mouse(surface, QEvent::MouseButtonPress, Qt::RightButton, Qt::RightButton, {}, from);
    Mouse(surface, QEvent::MouseMove, Qt::NoButton, Qt::RightButton, {}, to);
    Mouse(surface, QEvent::MouseButtonRelease, Qt::RightButton, Qt::NoButton, {}, to);
    Click(surface, At(0, 0.25, 0.5));
    Click(surface, At(0, 0.70, 0.5), Qt::ShiftModifier);
    Click(surface, At(2, 0.26, 0.5));
    QApplication::processEvents();

    const bool saved = form.PaintBox1->image().save(QString::fromLocal8Bit(argv[1]));
    platform::set_current(nullptr);
    if (!saved) {
        std::fprintf(stderr, "could not write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
