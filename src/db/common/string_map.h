#pragma once
// A hash map keyed by text that is searched with a string_view, so that a
// lookup by a literal or a view allocates nothing.
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace tabulor::db {

struct StringViewHash {
  using is_transparent = void;
  size_t operator()(std::string_view text) const { return std::hash<std::string_view>{}(text); }
};

template <typename Value>
using StringMap = std::unordered_map<std::string, Value, StringViewHash, std::equal_to<>>;

}  // namespace tabulor::db
