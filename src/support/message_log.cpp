#include <QDate>
#include <QDateTime>
#include <QLocale>
#include <QTime>
#include <filesystem>
#include <system_error>

#include "support/support.h"
#include "support/support_internal.h"

namespace zelk {

namespace {
constexpr const char* kLogFileName = "orvowebserve_msgs.log";

std::string DateTimeText(const QDate& date, const QTime& time) {
  const QLocale locale = QLocale::system();
  std::string text = locale.toString(date, QLocale::ShortFormat).toStdString();
  if (time.hour() != 0 || time.minute() != 0 || time.second() != 0) {
    // A whole QDateTime, so a zone name in the long time format has a zone to name.
    const QDateTime moment(date, time);
    text += ' ';
    text += locale.toString(moment, locale.timeFormat(QLocale::LongFormat)).toStdString();
  }
  return text;
}

std::string CurrentDirectoryText() {
  std::error_code error;
  const auto dir = std::filesystem::current_path(error);
  return error ? std::string() : dir.string();
}
}  // namespace

std::string DateTimeToText(int year, int month, int day, int hour, int minute, int second) {
  return DateTimeText(QDate(year, month, day), QTime(hour, minute, second));
}

std::string MessageLogHeading(const std::string& date_time, const std::string& user,
                              const std::string& current_dir) {
  return date_time + " User " + user + " in " + current_dir;
}

std::string MessageLogEntry(const std::string& heading, const std::string& text) {
  return heading + "\r\n" + text + "\r\n";
}

void AppendMessageLog(const std::string& text) {
  const QDateTime now = QDateTime::currentDateTime();
  const std::string heading = MessageLogHeading(DateTimeText(now.date(), now.time()),
                                                GetLoginUserName(), CurrentDirectoryText());
  // The log's own close failures are not logged: that would ask for another entry
  // that could fail the same way, without end.
  support_internal::WriteWholeFileImpl("+" + ProgramFolder() + kLogFileName,
                                       MessageLogEntry(heading, text),
                                       /*log_close_failures=*/false);
}

}  // namespace zelk
