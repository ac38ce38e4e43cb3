#include "platform/nameFolding.h"

#include "pe/nameCase.h"

namespace platform {

std::string FoldNameCase(const std::string& name) { return pe::UpperName(name); }

bool SameNameIgnoringCase(const std::string& a, const std::string& b) { return pe::SameNameUpperCased(a, b); }

}  // namespace platform
