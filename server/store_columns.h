// Column lists shared by the SQLite and PostgreSQL stores, so both read and
// write rows in the same order and the row mapping is written once.
#pragma once

#include <string>

#include "store.h"

namespace kestrova::service::columns {

inline constexpr const char* kCompany =
    "id, account, password_hash, tvtype, name, title, tel, fax, qq, skype, msn, email, "
    "dsp_ent_card, dsp_play_zhimo, auto_play, auto_cre, dsp_logo, "
    "ftp_path, ftp_addr, ftp_port, ftp_account, ftp_password, domain";

inline constexpr const char* kVideo =
    "id, company_id, title, duration, file_name, framerate, file_size, sort, create_date, state, memo, zhimo";

// Builds a Company from a row read with kCompany; Row offers text(i),
// integer(i).
template <typename Row>
Company CompanyFromRow(const Row& row) {
  Company c;
  c.id = row.integer(0);
  c.account = row.text(1);
  c.passwordHash = row.text(2);
  c.tvtype = row.text(3);
  CompanyProfile& p = c.profile;
  p.name = row.text(4);
  p.title = row.text(5);
  p.tel = row.text(6);
  p.fax = row.text(7);
  p.qq = row.text(8);
  p.skype = row.text(9);
  p.msn = row.text(10);
  p.email = row.text(11);
  p.dspEntCard = row.integer(12) != 0;
  p.dspPlayZhimo = row.integer(13) != 0;
  p.autoPlay = row.integer(14) != 0;
  p.autoCre = row.integer(15) != 0;
  p.dspLogo = row.integer(16) != 0;
  p.ftpPath = row.text(17);
  p.ftpAddr = row.text(18);
  p.ftpPort = row.text(19);
  p.ftpAccount = row.text(20);
  p.ftpPassword = row.text(21);
  p.domain = row.text(22);
  return c;
}

template <typename Row>
Video VideoFromRow(const Row& row) {
  Video v;
  v.id = row.integer(0);
  v.companyId = row.integer(1);
  v.title = row.text(2);
  v.duration = row.text(3);
  v.fileName = row.text(4);
  v.framerate = row.text(5);
  v.fileSize = row.text(6);
  v.sort = row.integer(7);
  v.createDate = row.text(8);
  v.state = row.text(9);
  v.memo = row.text(10);
  v.zhimo = row.text(11);
  return v;
}

}  // namespace kestrova::service::columns
