#include "shell/event_line.h"

#include "shell/formats.h"

namespace tabulor::shell {

std::string EventLogLine(const db::DateTime& when, std::string_view text) {
  std::string line = FormatDate(when);
  line += ' ';
  line += FormatTime(when);
  line += " : ";
  line += text;
  return line;
}

std::string ErrorEventText(std::string_view heading, std::string_view key, std::string_view message) {
  std::string text(heading);
  text += " : ";
  text += key;
  text += '\r';
  text += message;
  return text;
}

EventReporter::EventReporter(ReportSink report, LogFile* log, Clock clock)
    : report_(std::move(report)), log_(log), clock_(std::move(clock)) {}

void EventReporter::Tell(std::string_view text) {
  const std::string line(text);
  if (report_) report_(line);
  if (log_) log_->WriteLine(EventLogLine(clock_(), line));
}

void EventReporter::TellError(std::string_view heading, std::string_view key, std::string_view message) {
  Tell(ErrorEventText(heading, key, message));
}

}  // namespace tabulor::shell
