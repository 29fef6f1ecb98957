// A titled group of radio buttons with one chosen item, read and set by index.
#pragma once

#include <QButtonGroup>
#include <QGroupBox>
#include <QStringList>

namespace kestrova::ui {

class RadioGroup : public QGroupBox {
 public:
  RadioGroup(QWidget* parent, const QString& caption, const QStringList& items, int itemIndex, const QRect& geometry,
             int columns);

  int itemIndex() const { return buttons_.checkedId(); }
  void setItemIndex(int index);
  QString itemText() const;
  const QStringList& items() const { return items_; }

 private:
  QStringList items_;
  QButtonGroup buttons_;
};

// The item texts of a fixed list as the windows take them.
template <class List>
QStringList ItemTexts(const List& list) {
  QStringList texts;
  for (const char* item : list) texts << QString::fromUtf8(item);
  return texts;
}

}  // namespace kestrova::ui
