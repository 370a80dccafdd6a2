#pragma once
// Events of the imports and of the compression are told twice in the same
// words: as a line of the form's report and as a line of its log, the log line
// being prefixed by "date time : " in the process-wide formats.
#include <functional>
#include <string>
#include <string_view>

#include "db/common/datetime.h"
#include "shell/log_file.h"

namespace tabulor::shell {

// "dd/mm/yy hh:nn:ss : text" (with the formats in force).
std::string EventLogLine(const db::DateTime& when, std::string_view text);

// An error event: heading, " : ", the record's key, a carriage return, the error's own message.
std::string ErrorEventText(std::string_view heading, std::string_view key, std::string_view message);

class EventReporter {
 public:
  using ReportSink = std::function<void(const std::string& line)>;
  using Clock = std::function<db::DateTime()>;

  // `log` may be null (no log is open); it must outlive the reporter.
  EventReporter(ReportSink report, LogFile* log, Clock clock = &db::DateTime::Now);

  // The report line, then the log line; a failing log write throws.
  void Tell(std::string_view text);
  void TellError(std::string_view heading, std::string_view key, std::string_view message);

 private:
  ReportSink report_;
  LogFile* log_;
  Clock clock_;
};

}  // namespace tabulor::shell
