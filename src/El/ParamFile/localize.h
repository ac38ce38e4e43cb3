#pragma once
// The string localizer: texts that begin with "$STR" are keys of localized strings. The config
// library asks the active `LocalizeStringFunctions` for the key without its '$'; the installed
// localizer returns the key itself.

#include "Es/Containers/compactBuf.h"

class LocalizeStringFunctions {
 public:
  constexpr LocalizeStringFunctions() = default;
  virtual ~LocalizeStringFunctions() = default;
  // `result` receives the localized text of `key` (the installed localizer: `key` unchanged).
  virtual void Localize(RefString& result, const char* key);
};

// Never null; points at the installed localizer before any code runs.
extern LocalizeStringFunctions* GLocalizeStringFunctions;
LocalizeStringFunctions* DefaultLocalizeStringFunctions();
