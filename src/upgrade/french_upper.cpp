#include "upgrade/french_upper.h"

#include <QString>
#include <stdexcept>

#include "db/paradox/format/codepage.h"

namespace tabulor::upgrade {

std::string FrenchUpperCase(std::string_view utf8, const db::TableDef& table) {
  const db::format::CodePage code_page(table.code_page,
                                       db::format::CodePage::CharsetFor(table.code_page, table.sort_order));
  const QString text = QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
  QString upper;
  upper.reserve(text.size());
  for (const QChar c : text) {
    const QChar up = c.toUpper();  // the simple mapping: one letter for one
    if (up == c) {
      upper += c;
      continue;
    }
    try {
      code_page.FromUtf8(QString(up).toStdString());
      upper += up;
    } catch (const std::invalid_argument&) {
      upper += c;
    }
  }
  return upper.toStdString();
}

}  // namespace tabulor::upgrade
