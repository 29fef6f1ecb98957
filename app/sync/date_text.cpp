#include "date_text.h"

#include <QDateTime>
#include <QLocale>
#include <QSettings>
#include <QString>
#include <ctime>

namespace kestrova::sync {

using namespace std::chrono;

std::string DateTimeText(WallTime time) {
  local_days day = floor<days>(time);
  year_month_day ymd{day};
  hh_mm_ss clock{time - day};
  QDate date(static_cast<int>(ymd.year()), static_cast<int>(static_cast<unsigned>(ymd.month())),
             static_cast<int>(static_cast<unsigned>(ymd.day())));
  QLocale locale = QLocale::system();
  QString text = locale.toString(date, QLocale::ShortFormat);
  if (time != day) {
    // Wall-clock readings carry no zone, so the zone part of the long format goes.
    QString format = locale.timeFormat(QLocale::LongFormat);
    format.remove(QLatin1Char('t')).replace(QStringLiteral("  "), QStringLiteral(" "));
    QTime clockTime(static_cast<int>(clock.hours().count()), static_cast<int>(clock.minutes().count()),
                    static_cast<int>(clock.seconds().count()));
    text += QLatin1Char(' ') + locale.toString(clockTime, format.trimmed());
  }
  return text.toStdString();
}

void WriteScanTime(const std::string& executableFolder, WallTime time) {
  QSettings record(QString::fromStdString(executableFolder + "/7in10.ini"), QSettings::IniFormat);
  record.setValue(QStringLiteral("sys/createtime"), QString::fromStdString(DateTimeText(time)));
  record.sync();
}

WallTime NowWallTime() { return LocalWallTime(std::time(nullptr)); }

}  // namespace kestrova::sync
