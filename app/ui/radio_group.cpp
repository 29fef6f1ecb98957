#include "radio_group.h"

#include <QGridLayout>
#include <QRadioButton>

namespace kestrova::ui {

RadioGroup::RadioGroup(QWidget* parent, const QString& caption, const QStringList& items, int itemIndex,
                       const QRect& geometry, int columns)
    : QGroupBox(caption, parent), items_(items) {
  setGeometry(geometry);
  auto* layout = new QGridLayout(this);
  layout->setContentsMargins(6, 2, 6, 2);
  layout->setSpacing(2);
  for (int i = 0; i < items.size(); ++i) {
    auto* button = new QRadioButton(items[i], this);
    buttons_.addButton(button, i);
    layout->addWidget(button, i / columns, i % columns);
  }
  setItemIndex(itemIndex);
}

void RadioGroup::setItemIndex(int index) {
  if (QAbstractButton* button = buttons_.button(index)) button->setChecked(true);
}

QString RadioGroup::itemText() const { return items_.value(itemIndex()); }

}  // namespace kestrova::ui
