#include "frm_mp.h"

namespace kestrova::ui {

TFrmMp::TFrmMp(AppContext& context) : ProfileDialog(context, QSize(440, 409), QStringLiteral("企业名片设置"), true) {
  setObjectName("FrmMp");
  edCompanyName = addField(QStringLiteral("公司名称："), 70);
  edCard = addField(QStringLiteral("公司地址："), 104);
  edTel = addField(QStringLiteral("电话："), 138);
  edFax = addField(QStringLiteral("传真："), 172);
  edQQ = addField(QStringLiteral("QQ："), 206);
  edSkype = addField(QStringLiteral("Skype："), 240);
  edMSN = addField(QStringLiteral("MSN："), 274);
  edEmail = addField(QStringLiteral("电子邮件："), 308);
  // fields in the order they are filled in
  setTabOrder(edCompanyName, edCard);
  setTabOrder(edCard, edTel);
  setTabOrder(edTel, edFax);
  setTabOrder(edFax, edQQ);
  setTabOrder(edQQ, edSkype);
  setTabOrder(edSkype, edMSN);
  setTabOrder(edMSN, edEmail);
}

}  // namespace kestrova::ui
