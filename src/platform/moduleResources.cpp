#include "platform/moduleResources.h"

namespace platform {
namespace {
ResourceAccess* current = nullptr;
}

ResourceAccess* CurrentResourceAccess() { return current ? current : NativeResourceAccess(); }

ResourceAccess* SetResourceAccess(ResourceAccess* access) {
  ResourceAccess* previous = CurrentResourceAccess();
  current = access;
  return previous;
}

}  // namespace platform
