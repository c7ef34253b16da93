// The plot surface's mouse and keys, turned into zoom, pan and cursor changes of its graphs.
#include "app/examine/plot_examiner.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QRubberBand>
#include <QWheelEvent>
#include <QWidget>
#include <cmath>

#include "app/examine/graph_view.h"
#include "vistrel/canvas.h"

namespace app::examine {
namespace {

// A press that moves less than this many pixels is a click.
constexpr int kDragThreshold = 3;
// Eighths of a degree per wheel notch.
constexpr int kNotch = 120;

GraphView* View_of(int graph) {
    if (graph < 0 || graph >= kGraphCount)
        return nullptr;
    GraphView& g = Examine.graphs[static_cast<size_t>(graph)];
    return g.drawn.valid ? &g : nullptr;
}

}  // namespace

PlotExaminer::PlotExaminer(QWidget* surface, vistrel::PaintBox& box)
    : QObject(surface), surface_(surface), box_(box) {
    surface_->setMouseTracking(true);
    surface_->setFocusPolicy(Qt::ClickFocus);
    surface_->installEventFilter(this);
    band_ = new QRubberBand(QRubberBand::Rectangle, surface_);
    band_->hide();
}

void PlotExaminer::repaint() {
    box_.repaint();
}

bool PlotExaminer::eventFilter(QObject* watched, QEvent* event) {
    if (watched != surface_)
        return false;
    switch (event->type()) {
        case QEvent::MouseButtonPress:
            return press(event);
        case QEvent::MouseMove:
            return move(event);
        case QEvent::MouseButtonRelease:
            return release(event);
        case QEvent::MouseButtonDblClick:
            return double_click(event);
        case QEvent::Wheel:
            return wheel(event);
        case QEvent::KeyPress:
            return key(event);
        default:
            return false;
    }
}

bool PlotExaminer::press(QEvent* event) {
    auto* e = static_cast<QMouseEvent*>(event);
    const QPoint at = e->position().toPoint();
    pointer_ = at;
    const int graph = Graph_at(at.x(), at.y());
    if (graph < 0 || (e->button() != Qt::LeftButton && e->button() != Qt::RightButton))
        return false;
    surface_->setFocus(Qt::MouseFocusReason);
    drag_ = Drag::Pending;
    box_drag_ = e->button() == Qt::RightButton || (e->modifiers() & Qt::ControlModifier);
    shift_ = (e->modifiers() & Qt::ShiftModifier) != 0;
    drag_graph_ = graph;
    press_at_ = at;
    last_at_ = at;
    return true;
}

bool PlotExaminer::move(QEvent* event) {
    auto* e = static_cast<QMouseEvent*>(event);
    const QPoint at = e->position().toPoint();
    pointer_ = at;
    if (drag_ == Drag::None)
        return false;
    if (drag_ == Drag::Pending) {
        if ((at - press_at_).manhattanLength() < kDragThreshold)
            return true;
        drag_ = box_drag_ ? Drag::Box : Drag::Pan;
    }
    if (drag_ == Drag::Pan) {
        pan(last_at_, at);
    } else {
        band_->setGeometry(QRect(press_at_, at).normalized());
        band_->show();
    }
    last_at_ = at;
    return true;
}

bool PlotExaminer::release(QEvent* event) {
    auto* e = static_cast<QMouseEvent*>(event);
    const QPoint at = e->position().toPoint();
    pointer_ = at;
    const Drag drag = drag_;
    drag_ = Drag::None;
    band_->hide();
    if (drag == Drag::None)
        return false;
    if (drag == Drag::Pending && !box_drag_)
        place_cursor(drag_graph_, press_at_, shift_);
    else if (drag == Drag::Box)
        zoom_box(press_at_, at);
    return true;
}

bool PlotExaminer::double_click(QEvent* event) {
    auto* e = static_cast<QMouseEvent*>(event);
    const QPoint at = e->position().toPoint();
    GraphView* g = View_of(Graph_at(at.x(), at.y()));
    if (g == nullptr || e->button() != Qt::LeftButton)
        return false;
    if (clicked_graph_ == Graph_at(at.x(), at.y())) {
        g->cursors = before_click_;
        active_ = active_before_click_;
    }
    clicked_graph_ = -1;
    Reset_zoom(*g);
    repaint();
    return true;
}

bool PlotExaminer::wheel(QEvent* event) {
    auto* e = static_cast<QWheelEvent*>(event);
    const QPoint at = e->position().toPoint();
    pointer_ = at;
    const int graph = Graph_at(at.x(), at.y());
    GraphView* g = View_of(graph);
    if (g == nullptr)
        return false;  // the window scrolls
    // With Shift some platforms turn the wheel into a horizontal one.
    const QPoint delta = e->angleDelta();
    wheel_rest_ += delta.y() != 0 ? delta.y() : delta.x();
    const int notches = wheel_rest_ / kNotch;
    wheel_rest_ -= notches * kNotch;
    if (notches == 0)
        return true;
    const long double factor = std::pow(kWheelFactor, static_cast<long double>(notches));
    const DrawnGraph& d = g->drawn;
    if (e->modifiers() & Qt::ShiftModifier) {
        g->y = Zoom_about(d.y, Y_at(d, at.y()), factor, d.whole_y, Min_y_width(d));
        g->y_zoomed = !(g->y == d.whole_y);
    } else {
        g->x = Zoom_about(d.x, X_at(d, at.x()), factor, d.whole_x, Min_x_width(d));
        g->x_zoomed = !(g->x == d.whole_x);
    }
    repaint();
    return true;
}

bool PlotExaminer::key(QEvent* event) {
    auto* e = static_cast<QKeyEvent*>(event);
    if (e->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
        return false;
    if (e->key() == Qt::Key_Home) {
        int graph = Graph_at(pointer_.x(), pointer_.y());
        if (graph < 0)
            graph = active_;
        GraphView* g = View_of(graph);
        if (g == nullptr)
            return false;
        Reset_zoom(*g);
        repaint();
        return true;
    }
    GraphView* g = View_of(active_);
    if (g == nullptr)
        return false;
    Cursors& c = g->cursors;
    if (e->key() == Qt::Key_Escape) {
        if (c == Cursors{})
            return false;
        c = {};
        repaint();
        return true;
    }
    if (e->key() != Qt::Key_Left && e->key() != Qt::Key_Right)
        return false;
    int32_t& j = c.last == 'B' ? c.b : c.a;
    if (j == 0)
        return false;
    const int32_t step = e->key() == Qt::Key_Left ? -1 : 1;
    j = std::clamp(j + step, g->drawn.first, g->drawn.last);
    repaint();
    return true;
}

void PlotExaminer::place_cursor(int graph, QPoint at, bool b) {
    GraphView* g = View_of(graph);
    if (g == nullptr)
        return;
    const int32_t j = Nearest_sample(g->drawn, X_at(g->drawn, at.x()));
    if (j == 0)
        return;
    clicked_graph_ = graph;
    before_click_ = g->cursors;
    active_before_click_ = active_;
    (b ? g->cursors.b : g->cursors.a) = j;
    g->cursors.last = b ? 'B' : 'A';
    active_ = graph;
    repaint();
}

void PlotExaminer::pan(QPoint from, QPoint to) {
    GraphView* g = View_of(drag_graph_);
    if (g == nullptr)
        return;
    const DrawnGraph& d = g->drawn;
    g->x = Pan(d.x, X_at(d, from.x()) - X_at(d, to.x()), d.whole_x, Min_x_width(d));
    g->x_zoomed = !(g->x == d.whole_x);
    // The value axis follows only once it is zoomed, so that panning in time keeps the
    // record's own voltage range.
    if (g->y_zoomed)
        g->y = Pan(d.y, Y_at(d, from.y()) - Y_at(d, to.y()), d.whole_y, Min_y_width(d));
    repaint();
}

void PlotExaminer::zoom_box(QPoint a, QPoint b) {
    GraphView* g = View_of(drag_graph_);
    if (g == nullptr)
        return;
    const DrawnGraph& d = g->drawn;
    g->x = Box(X_at(d, a.x()), X_at(d, b.x()), d.whole_x, Min_x_width(d));
    g->y = Box(Y_at(d, a.y()), Y_at(d, b.y()), d.whole_y, Min_y_width(d));
    g->x_zoomed = true;
    g->y_zoomed = true;
    repaint();
}

}  // namespace app::examine
