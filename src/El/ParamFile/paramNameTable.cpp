#include "El/ParamFile/paramNameTable.h"

#include "El/ParamFile/paramEntry.h"

RefString ParamNameTable::Share(const char* text) {
  const std::string_view key(text ? text : "");
  if (key.empty()) return RefString();
  const auto found = names_.find(key);
  if (found != names_.end()) return found->second;
  RefString shared = ParamShareName(text);
  names_.emplace(std::string_view(shared.Data(), key.size()), shared);
  return shared;
}
