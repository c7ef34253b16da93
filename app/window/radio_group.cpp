// The radio group: a group box, one radio button per item, and the selected index.
#include "app/window/radio_group.h"

#include <QButtonGroup>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace app {

RadioGroup::RadioGroup(const QString& caption, const QStringList& items, int item_index,
                       QWidget* parent)
    : QGroupBox(caption, parent), group_(new QButtonGroup(this)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 2, 4, 2);
    layout->setSpacing(0);
    for (int i = 0; i < items.size(); ++i) {
        auto* b = new QRadioButton(items[i], this);
        layout->addWidget(b);
        group_->addButton(b, i);
        buttons_.push_back(b);
    }
    select(item_index);
    connect(group_, &QButtonGroup::idToggled, this,
            [this](int id, bool checked) { operator_toggled(id, checked); });
}

QStringList RadioGroup::items() const {
    QStringList list;
    for (const QRadioButton* b : buttons_) list << b->text();
    return list;
}

QRadioButton* RadioGroup::button(int index) const {
    if (index < 0 || index >= itemCount())
        return nullptr;
    return buttons_[static_cast<size_t>(index)];
}

void RadioGroup::select(int index) {
    if (index < -1 || index >= itemCount())
        index = -1;
    const QSignalBlocker blocker(group_);
    if (index < 0) {
        // An exclusive group never lets its last checked button go.
        group_->setExclusive(false);
        for (QRadioButton* b : buttons_) b->setChecked(false);
        group_->setExclusive(true);
    } else {
        buttons_[static_cast<size_t>(index)]->setChecked(true);
    }
    item_index_ = index;
}

void RadioGroup::setItemIndex(int index) {
    if (index < -1 || index >= itemCount())
        index = -1;
    if (index == item_index_)
        return;
    select(index);
    if (on_click)
        on_click();
}

void RadioGroup::showItemIndex(int index) {
    select(index);
}

void RadioGroup::operator_toggled(int id, bool checked) {
    // Only the newly checked button counts; clicking the checked one changes nothing.
    if (!checked || id == item_index_)
        return;
    item_index_ = id;
    if (on_click)
        on_click();
}

}  // namespace app
