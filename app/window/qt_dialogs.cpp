// Qt implementations of the platform seams and of the status list.
#include "app/window/qt_dialogs.h"

#include "app/canvas/qt_canvas.h"

#include <QApplication>
#include <QFontMetrics>
#include <QListWidget>
#include <QMessageBox>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

namespace app {
namespace {

QString to_qt(const std::string& s) {
    return FromWindows1252(s);
}

}  // namespace

void QtPlatform::message_box(platform::BoxKind kind, const std::string& caption,
                             const std::string& text) {
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QString title = to_qt(caption);
    switch (kind) {
        case platform::BoxKind::Error:
            icon = QMessageBox::Critical;
            if (title.isEmpty())
                title = QStringLiteral("Error");
            break;
        case platform::BoxKind::Information:
            icon = QMessageBox::Information;
            if (title.isEmpty())
                title = QStringLiteral("Information");
            break;
        case platform::BoxKind::Plain:
            if (title.isEmpty())
                title = QApplication::applicationDisplayName();
            break;
    }
    QMessageBox box(icon, title, to_qt(text), QMessageBox::Ok, parent_);
    box.exec();
}

void QtPlatform::beep() {
    QApplication::beep();
}

void QtPlatform::set_busy_cursor(bool busy) {
    if (busy) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        ++busy_depth_;
    } else if (busy_depth_ > 0) {
        QApplication::restoreOverrideCursor();
        --busy_depth_;
    }
}

void QtPlatform::stop_program() {
    std::fflush(nullptr);
    std::_Exit(1);
}

void QtPlatform::sleep_ms(int ms) {
    // Deliberately no event processing: the window stays blocked like the instrument's bus.
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void ListBoxStatus::send_message(const std::string& line) {
    auto* item = new QListWidgetItem(to_qt(line));
    // Fixed item height of 16 pixels, whatever the font would ask for.
    const QFontMetrics fm(list_->font());
    item->setSizeHint(QSize(fm.horizontalAdvance(item->text()) + 4, 16));
    list_->addItem(item);
    redraw_now();
}

void ListBoxStatus::clear() {
    list_->clear();
    redraw_now();
}

void ListBoxStatus::redraw_now() {
    // The list lays its items out lazily; lay out and paint now, before the handler goes on.
    list_->doItemsLayout();
    list_->viewport()->repaint();
}

}  // namespace app
