#pragma once
// libmdb reports much of the damage it meets only as a line on stderr and
// goes on. While a WarningCapture lives, stderr goes to a pipe that only it
// reads, so that the reader can treat any such line as an error. The pipe is
// non-blocking: what libmdb writes beyond its capacity is dropped, so a
// library stuck printing warnings cannot fill memory with them.
#include <string>

namespace tabulor::db::access {

class WarningCapture {
 public:
  WarningCapture();  // throws AccessError when stderr cannot be redirected
  ~WarningCapture();  // puts stderr back
  WarningCapture(const WarningCapture&) = delete;
  WarningCapture& operator=(const WarningCapture&) = delete;

  // What libmdb wrote since the last call (at most a few hundred bytes).
  std::string Take();

 private:
  int saved_stderr_ = -1;
  int read_end_ = -1;
  int write_end_ = -1;
};

}  // namespace tabulor::db::access
