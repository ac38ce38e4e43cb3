#include "gui/installRightsStub.h"

#include <cstdlib>

#include "platform/installRights.h"

bool gInstallRightsGranted = std::getenv("ZR_GUI_PROBE_NO_RIGHTS") == nullptr;

namespace platform {
bool CheckInstallRights() { return gInstallRightsGranted; }
}  // namespace platform
