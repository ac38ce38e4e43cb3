#include "platform/moduleResources.h"

namespace platform {

// Linux has no resource functions of its own: the portable reader is the platform's.
ResourceAccess* NativeResourceAccess() { return PortableResourceAccess(); }

// The running program is a Linux program: it carries no Windows resources.
bool RunningProgramFile(std::string*) { return false; }

}  // namespace platform
