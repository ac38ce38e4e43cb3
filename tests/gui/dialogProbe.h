#pragma once
// Finding and working the program's own windows from another thread of the same process, the way a
// user would: the dialog tests answer boxes and dialogs with these. Test code only: the product has no
// use for it.

#include <string>
#include <vector>

#include "ui/win32/consoleWindow.h"

namespace dialogs {

// The command identifiers of box buttons.
enum BoxButton { kBoxOk = 1, kBoxCancel = 2, kBoxAbort = 3, kBoxRetry = 4, kBoxIgnore = 5, kBoxYes = 6, kBoxNo = 7 };

// The running program's module, where its dialogs and messages are.
ModuleHandle ProgramModule();

// A visible top-level window of this process with exactly `caption`, waited for up to `timeoutMs`
// milliseconds; null when none appeared.
WindowHandle WaitForWindow(const char* caption, int timeoutMs);
// Waits up to `timeoutMs` until `window` is gone or hidden; true when it is.
bool WaitUntilGone(WindowHandle window, int timeoutMs);
// Presses button `id` of a dialog or box (a click's command, posted).
void PressButton(WindowHandle dialog, int id);
// The items of list box `id` of the dialog, in order, and selecting one of them.
std::vector<std::string> ListItems(WindowHandle dialog, int id);
void SelectListItem(WindowHandle dialog, int id, int index);
// The text of a box or dialog: the caption and the texts of its static controls, joined by line ends.
std::string DialogTexts(WindowHandle dialog);
// Posts a quit message to the thread that serves `window`.
void PostQuit(WindowHandle window);
// True when `dialog`'s owner is `owner`.
bool OwnedBy(WindowHandle dialog, WindowHandle owner);

}  // namespace dialogs
