#pragma once
// Text conversion between UTF-8 (inside the program) and a table's code page.
#include <iconv.h>

#include <memory>
#include <string>
#include <string_view>

namespace tabulor::db::format {

class CodePage {
 public:
  // `code_page` as in the header (1252, 850, 437 ...); `charset` overrides it
  // when not empty (an iconv name such as "HP-ROMAN8").
  explicit CodePage(int code_page, std::string charset = {});
  ~CodePage();
  CodePage(const CodePage&) = delete;
  CodePage& operator=(const CodePage&) = delete;

  const std::string& Charset() const { return charset_; }
  int Number() const { return number_; }

  // Bytes the table cannot decode are an error (std::invalid_argument).
  std::string ToUtf8(std::string_view bytes) const;
  // Throws std::invalid_argument naming the first character the code page cannot hold.
  std::string FromUtf8(std::string_view text) const;

  // The iconv name for a header code page and sort order.
  static std::string CharsetFor(int code_page, std::string_view sort_order);

 private:
  struct Tables;
  std::string Convert(iconv_t cd, std::string_view in, bool to_table) const;
  const Tables* SingleByteTables() const;
  int number_;
  std::string charset_;
  iconv_t to_utf8_;
  iconv_t from_utf8_;
  mutable std::shared_ptr<const Tables> tables_;  // found at the first text that is not ASCII
  mutable bool tables_found_ = false;             // null then: not a single-byte code page
};

}  // namespace tabulor::db::format
