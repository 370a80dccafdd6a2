#pragma once
#include <stdexcept>
#include <string>

namespace tabulor::db::access {

// Every failure of the Access layer; the message is fit to be shown to a user.
class AccessError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace tabulor::db::access
