#include "El/ParamFile/paramNameTable.h"

#include <cstring>

#include "El/ParamFile/paramEntry.h"

RefString ParamNameTable::Share(const std::string& text) {
  if (text.empty()) return RefString();
  const auto found = names_.find(std::string_view(text));
  if (found != names_.end()) return found->second;
  RefString shared = ParamShareName(text.c_str());
  // The key is the shared text itself (shorter than `text` only if that held a NUL byte).
  names_.emplace(std::string_view(shared.Data(), std::strlen(shared.Data())), shared);
  return shared;
}
