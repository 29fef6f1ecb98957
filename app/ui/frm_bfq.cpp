#include "frm_bfq.h"

namespace kestrova::ui {

TFrmBfq::TFrmBfq(AppContext& context)
    : ProfileDialog(context, QSize(433, 348), QStringLiteral("网站播放器设置"), true) {
  setObjectName("FrmBfq");
  auto box = [this](const QString& caption, int top) {
    auto* check = new QCheckBox(caption, this);
    check->setGeometry(120, top, 240, 26);
    return check;
  };
  chkDisplayEntCard = box(QStringLiteral("是否显示企业名片"), 76);
  chkDisplayZhimo = box(QStringLiteral("是否显示产品字幕"), 112);
  chkAutoPlay = box(QStringLiteral("是否自动播放"), 148);
  chkAutocre = box(QStringLiteral("是否自动轮播"), 184);
  chkDisplayLogo = box(QStringLiteral("是否显示公司LOGO"), 220);
}

}  // namespace kestrova::ui
