#include "frm_tb.h"

#include <QDir>

#include "artwork.h"
#include "handler_guard.h"
#include "logo_file.h"
#include "platform.h"

namespace kestrova::ui {

TFrmTb::TFrmTb(AppContext& context) : ProfileDialog(context, QSize(432, 280), QStringLiteral("企业图标设置"), false) {
  setObjectName("FrmTb");
  addLabel(QStringLiteral("当前图标："), QRect(20, 70, 90, 24));
  WebBrowser1 = new WebView(this);
  WebBrowser1->setGeometry(120, 70, 121, 106);
  addLabel(QStringLiteral("图标将显示在网站播放器中，建议使用GIF图片。"), QRect(20, 186, 392, 24))
      ->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  SpeedButton1 = new PictureButton(this, artwork::ButtonPicture(QSize(100, 30), QStringLiteral("选择图标"),
                                                                artwork::AccentBlue()),
                                   QRect(270, 70, 100, 30));
  btsave = new PictureButton(this, artwork::ButtonPicture(QSize(100, 30), QStringLiteral("保存"),
                                                          artwork::AccentGreen()),
                             QRect(166, 226, 100, 30));
  for (PictureButton* button : {SpeedButton1, btsave}) button->setTransparentColour(kButtonTransparentColour);
  connect(SpeedButton1, &QToolButton::clicked, this, [this] { Guarded(context_.platform, [this] { SpeedButton1Click(); }); });
  connect(btsave, &QToolButton::clicked, this, [this] { btsaveClick(); });
  FormCreate();
}

std::filesystem::path TFrmTb::dataPath() const {
  return std::filesystem::path(QDir(context_.executableFolder).filePath("data").toStdString());
}

void TFrmTb::FormCreate() {
  std::filesystem::path logo = publishing::LogoPath(dataPath());
  if (std::filesystem::exists(logo)) WebBrowser1->navigate(QUrl::fromLocalFile(QString::fromStdString(logo.string())));
}

void TFrmTb::SpeedButton1Click() {
  QString picked = context_.platform.openFileName(this);
  if (picked.isEmpty()) return;
  WebBrowser1->navigate(QUrl::fromLocalFile(picked));
  publishing::StoreLogo(picked.toStdString(), dataPath());
}

void TFrmTb::btsaveClick() { accept(); }

}  // namespace kestrova::ui
