#pragma once
// The distribution choice: dialog 126 of the program, shown modally without owner on the calling
// thread.

#include <string>
#include <vector>

#include "ui/win32/consoleWindow.h"
#include "ui/userInterface.h"

namespace dialogs {

// Lists `candidates` in order, each by ui::DistributionDisplayName, with the first selected. OK returns
// the selected candidate ("" when nothing is selected); Cancel (also Escape and the close box) or a
// dialog that cannot be shown returns "".
std::string ChooseDistribution(ModuleHandle module, const std::vector<ui::KnownDistribution>& known,
                               const std::vector<std::string>& candidates);

}  // namespace dialogs
