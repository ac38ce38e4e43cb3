#include "platform/launcherPrefixes.h"

namespace platform {

const char* LauncherName(Launcher launcher) {
  switch (launcher) {
    case Launcher::Steam: return "Steam";
    case Launcher::Lutris: return "Lutris";
    case Launcher::Heroic: return "Heroic";
    case Launcher::Bottles: return "Bottles";
    case Launcher::Wine: break;
  }
  return "Wine";
}

}  // namespace platform
