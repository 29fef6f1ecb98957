// The desktop's date-time texts: the user's locale through Qt, and the scan
// time record through Qt's settings file (the format the rest of the tool
// reads). The terminal tool links date_text_terminal.cpp instead.
#include "date_text.h"

#include <QDateTime>
#include <QLocale>
#include <QSettings>
#include <QString>

namespace kestrova::sync {

using namespace std::chrono;

namespace {

// A process started without a language (C or POSIX) would show Qt's C
// locale, "10 Dec 2026 11:53:00"-style texts that fit nobody's desktop; the
// tool's users read a Chinese desktop's rendering, so that stands in.
bool WithoutLanguage(const QLocale& locale) { return locale.language() == QLocale::C; }

}  // namespace

std::string DateTimeText(WallTime time) {
  local_days day = floor<days>(time);
  year_month_day ymd{day};
  hh_mm_ss clock{time - day};
  QDate date(static_cast<int>(ymd.year()), static_cast<int>(static_cast<unsigned>(ymd.month())),
             static_cast<int>(static_cast<unsigned>(ymd.day())));
  QTime clockTime(static_cast<int>(clock.hours().count()), static_cast<int>(clock.minutes().count()),
                  static_cast<int>(clock.seconds().count()));
  bool midnight = time == day;
  QLocale locale = QLocale::system();
  if (WithoutLanguage(locale)) return LanguageLessDateTimeText(time);
  QString text = locale.toString(date, QLocale::ShortFormat);
  if (!midnight) {
    // Wall-clock readings carry no zone, so the zone part of the long format goes.
    QString format = locale.timeFormat(QLocale::LongFormat);
    format.remove(QLatin1Char('t')).replace(QStringLiteral("  "), QStringLiteral(" "));
    text += QLatin1Char(' ') + locale.toString(clockTime, format.trimmed());
  }
  return text.toStdString();
}

void WriteScanTime(const std::string& executableFolder, WallTime time) {
  QSettings record(QString::fromStdString(executableFolder + "/7in10.ini"), QSettings::IniFormat);
  record.setValue(QStringLiteral("sys/createtime"), QString::fromStdString(DateTimeText(time)));
  record.sync();
}

}  // namespace kestrova::sync
