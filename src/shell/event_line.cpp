#include "shell/event_line.h"

#include "shell/formats.h"

namespace tabulor::shell {

namespace {

bool SameFormats(const FormatSettings& a, const FormatSettings& b) {
  return a.short_date_format == b.short_date_format && a.long_time_format == b.long_time_format &&
         a.date_separator == b.date_separator && a.time_separator == b.time_separator;
}

}  // namespace

std::string EventLogLine(const db::DateTime& when, std::string_view text) {
  // The "date time : " prefix changes once a second (unless a format shows
  // milliseconds): it is formatted again only when the moment's second or
  // the formats changed since the last line.
  struct Prefix {
    bool valid = false;
    db::DateTime when;
    FormatSettings formats;
    std::string text;
  };
  thread_local Prefix last;
  const FormatSettings& formats = Formats();
  db::DateTime moment = when;
  const bool shows_milliseconds = formats.short_date_format.find_first_of("zZ") != std::string::npos ||
                                  formats.long_time_format.find_first_of("zZ") != std::string::npos;
  if (!shows_milliseconds) moment.msec = 0;
  if (!last.valid || last.when != moment || !SameFormats(last.formats, formats)) {
    last.text = FormatDate(when);
    last.text += ' ';
    last.text += FormatTime(when);
    last.text += " : ";
    last.when = moment;
    last.formats = formats;
    last.valid = true;
  }
  std::string line;
  line.reserve(last.text.size() + text.size());
  line += last.text;
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
