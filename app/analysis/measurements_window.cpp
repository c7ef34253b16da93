// The measurements window's table and its Copy button.
#include "app/analysis/measurements_window.h"

#include <QApplication>
#include <QClipboard>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QScreen>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "app/analysis/measure_table.h"

namespace app {

MeasurementsWindow::MeasurementsWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("MeasurementsWindow"));
    setWindowTitle(QStringLiteral("Measurements"));
    Table = new QTableWidget(this);
    Table->setObjectName(QStringLiteral("MeasurementsTable"));
    Table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    Table->verticalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    CopyButton = new QPushButton(QStringLiteral("Copy"), this);
    CopyButton->setObjectName(QStringLiteral("CopyButton"));
    CopyButton->setToolTip(QStringLiteral("Copy the table as tab-separated text"));
    connect(CopyButton, &QPushButton::clicked, this, [this] { copy(); });

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(CopyButton);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Table);
    layout->addLayout(buttons);
    resize(520, 640);
}

void MeasurementsWindow::refresh() {
    const MeasureTable t = Build_measure_table();
    const auto& rows = Measure_rows();
    Table->clear();
    Table->setRowCount(static_cast<int>(rows.size()));
    Table->setColumnCount(static_cast<int>(t.columns.size()));
    QStringList names;
    for (const auto& c : t.columns) names << QString::fromStdString(c.name);
    Table->setHorizontalHeaderLabels(names);
    QStringList quantities;
    for (const auto& r : rows) quantities << QString::fromUtf8(r.quantity);
    Table->setVerticalHeaderLabels(quantities);
    for (std::size_t col = 0; col < t.columns.size(); ++col) {
        for (std::size_t row = 0; row < rows.size(); ++row) {
            auto* item = new QTableWidgetItem(
                QString::fromStdString(Cell_text(t.columns[col].values[row], rows[row].unit)));
            item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            Table->setItem(static_cast<int>(row), static_cast<int>(col), item);
        }
    }
    Table->resizeColumnsToContents();
    shown_ = QString::fromStdString(Table_tsv(t));
}

void MeasurementsWindow::copy() const {
    QApplication::clipboard()->setText(shown_);
}

void MeasurementsWindow::open_beside(const QWidget& beside) {
    refresh();
    if (!placed_) {
        placed_ = true;
        const QRect frame = beside.frameGeometry();
        QPoint at(frame.right() + 1, frame.top());
        // Inside the screen: over the main window's right part when there is no room beside it.
        if (const QScreen* screen = beside.screen()) {
            const QRect area = screen->availableGeometry();
            at.setX(std::max(area.left(), std::min(at.x(), area.right() - width())));
            at.setY(std::max(area.top(), std::min(at.y(), area.bottom() - height())));
        }
        move(at);
    }
    show();
    raise();
    activateWindow();
}

}  // namespace app
