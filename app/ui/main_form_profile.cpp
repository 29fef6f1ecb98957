// The toolbar's profile dialogs and what their OK sends to the back end.
#include <QDialog>

#include "frm_bfq.h"
#include "frm_mp.h"
#include "frm_passwd.h"
#include "frm_tb.h"
#include "main_form.h"
#include "site_protocol.h"
#include "platform.h"
#include "request_texts.h"

namespace kestrova::ui {

void TMainForm::btnqympszClick() {
  if (context_.platform.execDialog(*context_.windows.FrmMp) == QDialog::Accepted) updateEntInfo();
}

void TMainForm::btnwzbfszClick() {
  if (context_.platform.execDialog(*context_.windows.FrmBfq) == QDialog::Accepted) updateEntInfo();
}

void TMainForm::btnqytbszClick() { context_.platform.execDialog(*context_.windows.FrmTb); }

void TMainForm::btnmmxgClick() {
  if (context_.platform.execDialog(*context_.windows.FrmPasswd) == QDialog::Accepted) editEntPassword();
}

void TMainForm::updateEntInfo() {
  const TFrmMp& card = *context_.windows.FrmMp;
  const TFrmBfq& flags = *context_.windows.FrmBfq;
  auto s = [](const QLineEdit* edit) { return edit->text().toStdString(); };
  service::CompanyCard c;
  c.companyid = companyid;
  c.name = s(card.edCompanyName);
  c.title = s(card.edCard);
  c.tel = s(card.edTel);
  c.fax = s(card.edFax);
  c.qq = s(card.edQQ);
  c.skype = s(card.edSkype);
  c.msn = s(card.edMSN);
  c.email = s(card.edEmail);
  c.dsp_ent_card = flags.chkDisplayEntCard->isChecked();
  c.dsp_play_zhimo = flags.chkDisplayZhimo->isChecked();
  c.auto_play = flags.chkAutoPlay->isChecked();
  c.auto_cre = flags.chkAutocre->isChecked();
  c.dsp_logo = flags.chkDisplayLogo->isChecked();
  // Masked and disabled fields still hold the real settings and send them.
  c.ftp_path = s(edServerPath);
  // The protocol (and SFTP's key file) ride in the stored address
  // ("sftp://host?key=..."); plain FTP keeps the bare host.
  c.ftp_addr = sync::JoinSiteAddress({selectedProtocol(), s(edServerIP), edKeyFile->text().trimmed().toStdString()});
  c.ftp_port = s(edPort);
  c.ftp_account = s(edUserName);
  c.ftp_password = s(edPW);
  c.domain = s(edDomain);
  send(service::ModComCardRequest(c));
}

void TMainForm::editEntPassword() {
  const TFrmPasswd& dialog = *context_.windows.FrmPasswd;
  send(service::ModComPswRequest(companyid, dialog.edoldpwd->text().toStdString(),
                                 dialog.ednewpwd->text().toStdString()));
}

}  // namespace kestrova::ui
