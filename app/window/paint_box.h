// The plot surface of the window: a widget that shows the plotting unit's backing image and
// whose paint handler draws the chosen graphs. A repaint draws the picture before it returns,
// so a handler's new data is on screen (or in the metafile being recorded) when it goes on.
#pragma once

#include <QWidget>

#include "app/canvas/qt_canvas.h"
#include "vistrel/canvas.h"

namespace app {

class PaintBoxWidget final : public QWidget, public vistrel::PaintBox {
  public:
    explicit PaintBoxWidget(QWidget* parent = nullptr);

    int width() const override { return QWidget::width(); }
    int height() const override { return QWidget::height(); }
    vistrel::Canvas& canvas() override { return box_.canvas(); }
    // Runs the paint handler once and shows its picture at once.
    void repaint() override;
    void copy_to_clipboard() override { box_.copy_to_clipboard(); }

    const QImage& image() const { return box_.image(); }
    // How many times the paint handler has run.
    int paint_count() const { return paint_count_; }

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    ImagePaintBox box_;
    bool drawn_ = false;
    int paint_count_ = 0;
};

}  // namespace app
