#include "db/paradox/schema_ops/sql_parser.h"

#include <cctype>
#include <optional>

#include "db/paradox/error.h"
#include "db/paradox/names.h"

namespace tabulor::db::sql {
namespace {

struct Token {
  enum Kind { kWord, kQuoted, kNumber, kPunct, kEnd } kind;
  std::string text;
};

class Lexer {
 public:
  explicit Lexer(std::string_view s) : s_(s) {}
  Token Next() {
    while (pos_ < s_.size() && std::isspace(static_cast<unsigned char>(s_[pos_]))) ++pos_;
    if (pos_ >= s_.size()) return {Token::kEnd, ""};
    const char c = s_[pos_];
    if (c == '"' || c == '\'' || c == '[') {
      const char close = c == '[' ? ']' : c;
      size_t end = s_.find(close, pos_ + 1);
      if (end == std::string_view::npos) Fail("a quoted name is not closed");
      Token t{Token::kQuoted, std::string(s_.substr(pos_ + 1, end - pos_ - 1))};
      pos_ = end + 1;
      return t;
    }
    if (std::isdigit(static_cast<unsigned char>(c))) {
      size_t start = pos_;
      while (pos_ < s_.size() && std::isdigit(static_cast<unsigned char>(s_[pos_]))) ++pos_;
      return {Token::kNumber, std::string(s_.substr(start, pos_ - start))};
    }
    if (std::isalpha(static_cast<unsigned char>(c)) || c == '_' || static_cast<unsigned char>(c) >= 0x80) {
      size_t start = pos_;
      while (pos_ < s_.size() && (std::isalnum(static_cast<unsigned char>(s_[pos_])) || s_[pos_] == '_' ||
                                  s_[pos_] == '.' || s_[pos_] == '$' || static_cast<unsigned char>(s_[pos_]) >= 0x80))
        ++pos_;
      return {Token::kWord, std::string(s_.substr(start, pos_ - start))};
    }
    ++pos_;
    return {Token::kPunct, std::string(1, c)};
  }
  [[noreturn]] void Fail(const std::string& what) const {
    throw EngineError("Invalid SQL statement (" + what + "): " + std::string(s_));
  }

 private:
  std::string_view s_;
  size_t pos_ = 0;
};

class Parser {
 public:
  explicit Parser(std::string_view s) : lex_(s) { Advance(); }

  AlterTableAdd Parse() {
    Expect("ALTER");
    Expect("TABLE");
    AlterTableAdd out;
    out.table = Name("a table name");
    do {
      Expect("ADD");
      if (IsWord("COLUMN")) Advance();
      FieldDef f;
      f.name = Name("a field name");
      Type(f);
      out.fields.push_back(std::move(f));
    } while (Punct(","));
    Punct(";");
    if (tok_.kind != Token::kEnd) lex_.Fail("unexpected " + tok_.text);
    return out;
  }

 private:
  void Advance() { tok_ = lex_.Next(); }
  bool IsWord(const char* w) const { return tok_.kind == Token::kWord && names::EqualNoCase(tok_.text, w); }
  void Expect(const char* w) {
    if (!IsWord(w)) lex_.Fail(std::string("expected ") + w + (tok_.text.empty() ? "" : ", found " + tok_.text));
    Advance();
  }
  bool Punct(const char* p) {
    if (tok_.kind != Token::kPunct || tok_.text != p) return false;
    Advance();
    return true;
  }
  std::string Name(const char* what) {
    if (tok_.kind != Token::kWord && tok_.kind != Token::kQuoted) lex_.Fail(std::string("expected ") + what);
    std::string n = tok_.text;
    if (n.empty()) lex_.Fail(std::string("empty ") + what);
    Advance();
    return n;
  }
  int Number() {
    if (tok_.kind != Token::kNumber) lex_.Fail("expected a number");
    if (tok_.text.size() > 4) lex_.Fail("number too large: " + tok_.text);
    int n = std::stoi(tok_.text);
    Advance();
    return n;
  }
  // "(a[, b])" when present.
  std::vector<int> Arguments(size_t most) {
    std::vector<int> args;
    if (!Punct("(")) return args;
    do args.push_back(Number());
    while (Punct(","));
    if (!Punct(")")) lex_.Fail("expected )");
    if (args.size() > most) lex_.Fail("too many sizes");
    return args;
  }
  void Type(FieldDef& f) {
    if (tok_.kind != Token::kWord) lex_.Fail("expected the type of " + f.name);
    const std::string t = names::Upper(tok_.text);
    Advance();
    if (t == "INTEGER" || t == "INT" || t == "LONGINT") {
      f.type = FieldType::kLong;
    } else if (t == "SMALLINT" || t == "SHORT") {
      f.type = FieldType::kShort;
    } else if (t == "FLOAT" || t == "NUMERIC" || t == "NUMBER" || t == "REAL") {
      Arguments(2);
      f.type = FieldType::kNumber;
    } else if (t == "DOUBLE") {
      if (IsWord("PRECISION")) Advance();
      f.type = FieldType::kNumber;
    } else if (t == "DECIMAL") {
      std::vector<int> a = Arguments(2);
      f.type = FieldType::kBcd;
      f.size = a.size() == 2 ? a[1] : 0;
      if (f.size > 32) lex_.Fail("a DECIMAL field has at most 32 decimals");
    } else if (t == "MONEY") {
      f.type = FieldType::kMoney;
    } else if (t == "CHAR" || t == "CHARACTER" || t == "VARCHAR") {
      if (t == "CHARACTER" && IsWord("VARYING")) Advance();
      std::vector<int> a = Arguments(1);
      if (a.empty()) lex_.Fail(t + " needs a size");
      f.type = FieldType::kAlpha;
      f.size = a[0];
      if (f.size < 1 || f.size > 255) lex_.Fail("a text field has 1 to 255 characters");
    } else if (t == "DATE") {
      f.type = FieldType::kDate;
    } else if (t == "TIME") {
      f.type = FieldType::kTime;
    } else if (t == "TIMESTAMP") {
      f.type = FieldType::kTimestamp;
    } else if (t == "BOOLEAN" || t == "LOGICAL") {
      f.type = FieldType::kLogical;
    } else if (t == "AUTOINC") {
      f.type = FieldType::kAutoInc;
    } else if (t == "BLOB") {
      std::vector<int> a = Arguments(2);
      if (a.size() != 2 || (a[1] != 1 && a[1] != 2)) lex_.Fail("BLOB needs (size, 1 for memo or 2 for binary)");
      f.type = a[1] == 1 ? FieldType::kMemo : FieldType::kBlob;
      f.size = a[0];
      if (f.size > 240 || (f.type == FieldType::kMemo && f.size < 1)) lex_.Fail("a blob keeps up to 240 bytes in the row");
    } else {
      lex_.Fail("unknown type " + t);
    }
  }

  Lexer lex_;
  Token tok_;
};

}  // namespace

AlterTableAdd ParseAlterTableAdd(std::string_view statement) { return Parser(statement).Parse(); }

}  // namespace tabulor::db::sql
