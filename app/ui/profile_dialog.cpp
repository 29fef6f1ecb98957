#include "profile_dialog.h"

#include "artwork.h"
#include "window_chrome.h"

namespace kestrova::ui {

ProfileDialog::ProfileDialog(AppContext& context, QSize clientSize, const QString& caption, bool withButtons)
    : QDialog(nullptr, Qt::Dialog | Qt::FramelessWindowHint), context_(context) {
  setWindowTitle(caption);
  setFixedSize(clientSize);
  setModal(true);
  QPixmap background = artwork::WindowBackground(clientSize, caption);
  Image1 = MakePicture(this, background, QRect(QPoint(0, 0), clientSize));
  MakeDragHandle(Image1, this);
  ApplyWindowShape(this, background);
  if (!withButtons) return;
  int top = clientSize.height() - 48;
  BitBtn1 = new QPushButton(QStringLiteral("确定"), this);
  BitBtn1->setGeometry(clientSize.width() / 2 - 110, top, 100, 30);
  BitBtn1->setDefault(true);
  BitBtn2 = new QPushButton(QStringLiteral("取消"), this);
  BitBtn2->setGeometry(clientSize.width() / 2 + 10, top, 100, 30);
  connect(BitBtn1, &QPushButton::clicked, this, [this] {
    if (FormCloseQuery()) accept();
  });
  connect(BitBtn2, &QPushButton::clicked, this, &QDialog::reject);
}

QLabel* ProfileDialog::addLabel(const QString& text, const QRect& geometry) {
  auto* label = new QLabel(text, this);
  label->setGeometry(geometry);
  label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  return label;
}

QLineEdit* ProfileDialog::addField(const QString& caption, int top) {
  addLabel(caption, QRect(30, top, 110, 24));
  auto* edit = new QLineEdit(this);
  edit->setGeometry(150, top, width() - 200, 24);
  edit->setFrame(false);
  return edit;
}

}  // namespace kestrova::ui
