#include "platform/moduleResources.h"

namespace platform {

// Linux has no resource functions of its own: the portable reader is the platform's.
ResourceAccess* NativeResourceAccess() { return PortableResourceAccess(); }

}  // namespace platform
