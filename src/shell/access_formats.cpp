#include "shell/access_formats.h"

#include "db/access/formats.h"
#include "shell/formats.h"

namespace tabulor::shell {

void ShareFormatsWithAccessLayer() {
  db::access::SetAccessFormatsSource([] {
    const FormatSettings& fs = Formats();
    db::access::AccessFormats formats;
    formats.short_date_format = fs.short_date;
    formats.long_time_format = fs.long_time;
    formats.date_separator = fs.date_separator;
    formats.time_separator = fs.time_separator;
    formats.decimal_separator = fs.decimal_separator;
    formats.two_digit_year_window = fs.two_digit_year_window;
    return formats;
  });
}

}  // namespace tabulor::shell
