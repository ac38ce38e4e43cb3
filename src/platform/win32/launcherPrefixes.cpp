// Windows keeps no Wine prefixes: the search finds none.
#include "platform/launcherPrefixes.h"

namespace platform {

LauncherHome UserLauncherHome() { return LauncherHome(); }

PrefixSearch FindPrefixes(const LauncherHome&) { return PrefixSearch(); }

}  // namespace platform
