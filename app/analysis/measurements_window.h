// The measurements window: a table beside the main window with a column per shown channel or
// combination, refreshed after every acquisition, and "Copy" for the clipboard.
#pragma once

#include <QWidget>

class QPushButton;
class QTableWidget;

namespace app {

class MeasurementsWindow final : public QWidget {
  public:
    explicit MeasurementsWindow(QWidget* parent);

    // Measures the latest acquisitions of what the main window shows and fills the table.
    void refresh();
    // Puts the table on the clipboard as tab-separated text.
    void copy() const;
    // Shows the window beside `beside` the first time, raises it afterwards, and refreshes it.
    void open_beside(const QWidget& beside);

    QTableWidget* Table = nullptr;
    QPushButton* CopyButton = nullptr;

  private:
    bool placed_ = false;
    QString shown_;  // the table shown, tab-separated
};

}  // namespace app
