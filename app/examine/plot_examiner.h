// The mouse and keys of the plot surface: the wheel zooms a graph about the pointer (Shift: the
// value axis), a left drag pans, a right drag (or Ctrl and a left drag) zooms to a box, a
// double-click or Home returns the graph to its own view; a click places cursor A (Shift: B),
// Left and Right move the last-placed cursor one sample, Esc removes the graph's cursors.
#pragma once

#include <QObject>
#include <QPoint>

#include "app/examine/graph_view.h"

class QRubberBand;
class QWidget;

namespace vistrel {
class PaintBox;
}

namespace app::examine {

class PlotExaminer final : public QObject {
  public:
    // Watches `surface` (which is also the plotting unit's paint box `box`) and repaints `box`
    // after every change. The surface takes the keyboard focus when clicked.
    PlotExaminer(QWidget* surface, vistrel::PaintBox& box);

    // The graph the keys act on: the last one clicked, -1 before any.
    int active_graph() const { return active_; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    bool press(QEvent* event);
    bool move(QEvent* event);
    bool release(QEvent* event);
    bool double_click(QEvent* event);
    bool wheel(QEvent* event);
    bool key(QEvent* event);
    void place_cursor(int graph, QPoint at, bool b);
    void pan(QPoint from, QPoint to);
    void zoom_box(QPoint a, QPoint b);
    void repaint();

    QWidget* surface_;
    vistrel::PaintBox& box_;
    QRubberBand* band_ = nullptr;
    int active_ = -1;
    QPoint pointer_{-1, -1};
    // The press being followed: its graph, start, last position and kind.
    enum class Drag { None, Pending, Pan, Box };
    Drag drag_ = Drag::None;
    bool box_drag_ = false;
    bool shift_ = false;
    int drag_graph_ = -1;
    QPoint press_at_;
    QPoint last_at_;
    int wheel_rest_ = 0;  // eighths of a degree short of a notch
    // The cursors before the last click: the first click of a double-click placed a cursor
    // that the double-click takes back.
    int clicked_graph_ = -1;
    Cursors before_click_;
    int active_before_click_ = -1;
};

}  // namespace app::examine
