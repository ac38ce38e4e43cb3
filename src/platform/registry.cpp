#include "platform/registry.h"

namespace platform {

namespace {
Registry* current = nullptr;
}

Registry* CurrentRegistry() { return current ? current : NativeRegistry(); }

Registry* SetRegistry(Registry* registry) {
  Registry* previous = CurrentRegistry();
  current = registry;
  return previous;
}

}  // namespace platform
