#pragma once
// Verifying an installation without patching it: the installed game, found as a patch run finds it,
// against the checksum list of its installed version that the patch carries, narrowed to the
// installation's distribution. Every file that is missing or damaged is listed, not only the first;
// nothing is asked and nothing is written (no journal, no log in the game, no registry value).

#include "app/runState.h"

namespace app {

// Continues a run whose patch has passed its signature and payload checks and whose installation,
// executable and installed version are known. Returns kPatchDone when every required file matches the
// list, kPatchFailed otherwise: a file missing or damaged, no list of the installed version in the
// patch, an interrupted update of the installation, or the distribution choice cancelled.
int CheckInstallation(RunState& run);

}  // namespace app
