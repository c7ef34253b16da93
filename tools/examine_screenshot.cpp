// Makes the picture of docs/examining.md: the plot surface against the simulated scope with both
// channels' waveforms and spectra, channel 1's waveform zoomed to a box with cursors A and B
// placed, and channel 1's spectrum with cursor A, each as an operator's mouse would do it; the
// Measurements window (Ctrl+M) beside it, as high as the plot surface.
// Usage: hp54200a_examine_screenshot OUTPUT.png   (GPIB_LIBRARY must name the simulated scope)
#include <QApplication>
#include <QHeaderView>
#include <QLocale>
#include <QMouseEvent>
#include <QPainter>
#include <QTableWidget>
#include <algorithm>
#include <cstdio>

#include "app/analysis/measurements_window.h"
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

    const QImage plot = form.PaintBox1->image();
    form.MeasurementsClick();
    // As narrow as the table's columns, without a current cell.
    QTableWidget* cells = form.Measurements->Table;
    cells->setCurrentItem(nullptr);
    cells->clearSelection();
    const int margins = form.Measurements->width() - cells->width();
    form.Measurements->resize(cells->verticalHeader()->width() +
                                  cells->horizontalHeader()->length() + 2 * cells->frameWidth() +
                                  margins,
                              plot.height());
    QApplication::processEvents();
    const QImage table = form.Measurements->grab().toImage();
    constexpr int kGap = 8;
    QImage picture(plot.width() + kGap + table.width(), std::max(plot.height(), table.height()),
                   QImage::Format_RGB32);
    picture.fill(Qt::white);
    QPainter painter(&picture);
    painter.drawImage(0, 0, plot);
    painter.drawImage(plot.width() + kGap, 0, table);
    painter.end();
    const bool saved = picture.save(QString::fromLocal8Bit(argv[1]));
    platform::set_current(nullptr);
    if (!saved) {
        std::fprintf(stderr, "could not write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
