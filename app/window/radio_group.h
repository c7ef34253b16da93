// A captioned group of radio buttons with one selected index, as the operator's panel uses for
// its display, mode, averaging and coupling choices. Its click handler runs whenever the
// selection changes, whether the operator clicks another item or the program moves it: the
// combined display relies on the per-channel groups reacting when it moves them to "Off".
#pragma once

#include <QGroupBox>
#include <QStringList>
#include <functional>
#include <vector>

class QButtonGroup;
class QRadioButton;

namespace app {

class RadioGroup final : public QGroupBox {
  public:
    RadioGroup(const QString& caption, const QStringList& items, int item_index, QWidget* parent);

    int ItemIndex() const { return item_index_; }
    // Moves the selection (-1 selects nothing) and runs the click handler if it changed.
    void setItemIndex(int index);
    // Moves the selection without running the handler, for a group that must only show a
    // setting the program has changed behind it.
    void showItemIndex(int index);

    int itemCount() const { return static_cast<int>(buttons_.size()); }
    QStringList items() const;
    QRadioButton* button(int index) const;

    std::function<void()> on_click;

  private:
    void select(int index);
    void operator_toggled(int id, bool checked);

    std::vector<QRadioButton*> buttons_;
    QButtonGroup* group_;
    int item_index_ = -1;
};

}  // namespace app
