#include "gui/dialogProbe.h"

#include <windows.h>

namespace dialogs {
namespace {

struct Search {
  const char* caption;
  HWND found;
};

BOOL CALLBACK VisitWindow(HWND window, LPARAM context) {
  Search* search = reinterpret_cast<Search*>(context);
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  if (process != GetCurrentProcessId() || !IsWindowVisible(window)) return TRUE;
  char text[512];
  if (GetWindowTextA(window, text, sizeof text) < 0 || lstrcmpA(text, search->caption) != 0) return TRUE;
  search->found = window;
  return FALSE;
}

std::string Text(HWND window) {
  char text[4096];
  const int length = GetWindowTextA(window, text, sizeof text);
  return std::string(text, length > 0 ? static_cast<std::size_t>(length) : 0);
}

BOOL CALLBACK VisitStatic(HWND control, LPARAM context) {
  char className[64];
  if (GetClassNameA(control, className, sizeof className) && lstrcmpiA(className, "Static") == 0) {
    const std::string text = Text(control);
    if (!text.empty()) *reinterpret_cast<std::string*>(context) += "\n" + text;
  }
  return TRUE;
}

}  // namespace

ModuleHandle ProgramModule() { return GetModuleHandleA(nullptr); }

WindowHandle WaitForWindow(const char* caption, int timeoutMs) {
  for (int waited = 0;; waited += 20) {
    Search search{caption, nullptr};
    EnumWindows(VisitWindow, reinterpret_cast<LPARAM>(&search));
    if (search.found || waited >= timeoutMs) return search.found;
    Sleep(20);
  }
}

bool WaitUntilGone(WindowHandle window, int timeoutMs) {
  for (int waited = 0;; waited += 20) {
    const HWND handle = static_cast<HWND>(window);
    if (!IsWindow(handle) || !IsWindowVisible(handle)) return true;
    if (waited >= timeoutMs) return false;
    Sleep(20);
  }
}

void PressButton(WindowHandle dialog, int id) {
  const HWND handle = static_cast<HWND>(dialog);
  PostMessageA(handle, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(handle, id)));
}

std::vector<std::string> ListItems(WindowHandle dialog, int id) {
  std::vector<std::string> items;
  const HWND list = GetDlgItem(static_cast<HWND>(dialog), id);
  const LRESULT count = SendMessageA(list, LB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < count; ++i) {
    const LRESULT length = SendMessageA(list, LB_GETTEXTLEN, static_cast<WPARAM>(i), 0);
    if (length < 0) continue;
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    SendMessageA(list, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&text[0]));
    text.resize(static_cast<std::size_t>(length));
    items.push_back(text);
  }
  return items;
}

void SelectListItem(WindowHandle dialog, int id, int index) {
  SendMessageA(GetDlgItem(static_cast<HWND>(dialog), id), LB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

std::string DialogTexts(WindowHandle dialog) {
  std::string texts = Text(static_cast<HWND>(dialog));
  EnumChildWindows(static_cast<HWND>(dialog), VisitStatic, reinterpret_cast<LPARAM>(&texts));
  return texts;
}

void PostQuit(WindowHandle window) {
  PostThreadMessageA(GetWindowThreadProcessId(static_cast<HWND>(window), nullptr), WM_QUIT, 0, 0);
}

bool OwnedBy(WindowHandle dialog, WindowHandle owner) {
  return GetWindow(static_cast<HWND>(dialog), GW_OWNER) == static_cast<HWND>(owner);
}

}  // namespace dialogs
