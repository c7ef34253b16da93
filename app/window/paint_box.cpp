// The plot surface widget over its offscreen paint box.
#include "app/window/paint_box.h"

#include <QPainter>
#include <QResizeEvent>

#include "app/picture/display.h"

namespace app {

PaintBoxWidget::PaintBoxWidget(QWidget* parent) : QWidget(parent), box_(1, 1) {
    // The plotting unit sees this widget, not the image box, so that an output that repaints
    // (the metafile) goes through the same paint handler as the screen.
    box_.set_paint_handler([this] {
        ++paint_count_;
        Display_graph(*this);
    });
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void PaintBoxWidget::repaint() {
    // The picture is drawn here and not in paintEvent: a paint event only reaches the part
    // of the surface that is scrolled into view, and may not come at all.
    box_.repaint();
    box_.qt_canvas().end_painting();
    drawn_ = true;
    QWidget::repaint();
}

void PaintBoxWidget::paintEvent(QPaintEvent* event) {
    if (!drawn_) {
        box_.repaint();
        box_.qt_canvas().end_painting();
        drawn_ = true;
    }
    QPainter p(this);
    p.drawImage(event->rect(), box_.image(), event->rect());
}

void PaintBoxWidget::resizeEvent(QResizeEvent* event) {
    box_.resize(event->size().width(), event->size().height());
    drawn_ = false;
    QWidget::resizeEvent(event);
}

}  // namespace app
