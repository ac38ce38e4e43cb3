#include "El/ParamFile/localize.h"

void LocalizeStringFunctions::Localize(RefString& result, const char* key) {
  result = RefString(key ? key : "");
}

namespace {
LocalizeStringFunctions installedLocalizer;
}  // namespace

LocalizeStringFunctions* GLocalizeStringFunctions = &installedLocalizer;

LocalizeStringFunctions* DefaultLocalizeStringFunctions() { return &installedLocalizer; }
