#pragma once
// A loader's table of the names it has shared so far, in front of the process-wide string bank: a
// tree repeats its member names many times, and one lookup here is cheaper than one in the bank.

#include <string>
#include <string_view>
#include <unordered_map>

#include "Es/Containers/compactBuf.h"

class ParamNameTable {
 public:
  // The name shared through the string bank for `text`, as ParamShareName(text.c_str()) gives it (none
  // when empty).
  RefString Share(const std::string& text);

 private:
  // Keys point into the shared blocks, which the table's own references keep alive.
  std::unordered_map<std::string_view, RefString> names_;
};
