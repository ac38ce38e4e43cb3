// The progress window on the system's dialogs and common controls.
#include "ui/win32/consoleWindow.h"

#include <windows.h>
#include <commctrl.h>

#include <cstdio>

#include "platform/win32/wideText.h"
#include "ui/userInterface.h"

namespace dialogs {

struct ConsoleWindow::Lock {
  CRITICAL_SECTION section;
};

namespace {

HWND ToWindow(WindowHandle window) { return static_cast<HWND>(window); }

// The dialog procedure shared by every window object: the object rides in on the initialisation
// message and is kept in the dialog's user data for the messages after it.
INT_PTR CALLBACK DialogProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  ConsoleWindow* window = nullptr;
  if (message == WM_INITDIALOG) {
    window = reinterpret_cast<ConsoleWindow*>(lParam);
    SetWindowLongPtrA(dialog, DWLP_USER, lParam);
  } else {
    window = reinterpret_cast<ConsoleWindow*>(GetWindowLongPtrA(dialog, DWLP_USER));
  }
  if (!window) return FALSE;
  return window->DialogMessage(dialog, message, wParam, lParam) ? TRUE : FALSE;
}

std::string WindowText(HWND window) {
  if (!window) return std::string();
  // The window's text as UTF-8, the program's own form.
  const int length = GetWindowTextLengthW(window);
  if (length <= 0) return std::string();
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  const int copied = GetWindowTextW(window, &text[0], length + 1);
  return copied > 0 ? platform::Utf8Text(text.c_str(), copied) : std::string();
}

}  // namespace

ConsoleWindow::ConsoleWindow() : lock_(new Lock) { InitializeCriticalSection(&lock_->section); }

ConsoleWindow::~ConsoleWindow() {
  if (HWND dialog = ToWindow(DialogHandle())) {
    SetWindowLongPtrA(dialog, DWLP_USER, 0);  // the procedure no longer reaches this object
    DestroyWindow(dialog);
  }
  DeleteCriticalSection(&lock_->section);
  delete lock_;
}

ConsoleWindow::LockScope::LockScope(ConsoleWindow& window) : window_(window) {
  EnterCriticalSection(&window_.lock_->section);
}

ConsoleWindow::LockScope::~LockScope() { LeaveCriticalSection(&window_.lock_->section); }

bool ConsoleWindow::DialogMessage(WindowHandle window, unsigned message, std::uintptr_t wParam, std::intptr_t) {
  const HWND dialog = ToWindow(window);
  if (message == WM_INITDIALOG) {
    log_ = GetDlgItem(dialog, kLogControl);
    status_ = GetDlgItem(dialog, kStatusControl);
    percent_ = GetDlgItem(dialog, kPercentControl);
    bar_ = GetDlgItem(dialog, kProgressBar);
    okButton_ = GetDlgItem(dialog, kOkButton);
    LockScope locked(*this);
    dialog_ = dialog;
    return true;
  }
  if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
    {
      LockScope locked(*this);
      dialog_ = nullptr;
    }
    DestroyWindow(dialog);
    return true;
  }
  return false;
}

bool ConsoleWindow::Create(ModuleHandle module, bool show) {
  module_ = module;
  HWND dialog = CreateDialogParamA(static_cast<HINSTANCE>(module), MAKEINTRESOURCEA(kProgressDialog), nullptr,
                                   DialogProcedure, reinterpret_cast<LPARAM>(this));
  if (!dialog) return false;
  SetWindowTextA(ToWindow(status_), "");
  ShowWindow(dialog, show ? SW_SHOWNORMAL : SW_HIDE);
  UpdateWindow(dialog);
  return true;
}

WindowHandle ConsoleWindow::Control(int id) const {
  switch (id) {
    case kLogControl: return log_;
    case kStatusControl: return status_;
    case kPercentControl: return percent_;
    case kProgressBar: return bar_;
    case kOkButton: return okButton_;
    default: return nullptr;
  }
}

void ConsoleWindow::Show(bool show) {
  if (HWND dialog = ToWindow(DialogHandle())) ShowWindow(dialog, show ? SW_SHOWNORMAL : SW_HIDE);
}

void ConsoleWindow::EnableOk(bool enable) {
  if (DialogHandle()) EnableWindow(ToWindow(okButton_), enable ? TRUE : FALSE);
}

void ConsoleWindow::SetTitle(const char* text) {
  if (HWND dialog = ToWindow(DialogHandle())) SetWindowTextW(dialog, platform::WideText(text).c_str());
}

void ConsoleWindow::SetStatus(const char* text) {
  if (DialogHandle()) SetWindowTextW(ToWindow(status_), platform::WideText(text).c_str());
}

void ConsoleWindow::AppendLog(const char* line) {
  if (!DialogHandle()) return;
  const HWND log = ToWindow(log_);
  const std::string text = ui::LogWithLine(WindowText(log), std::string(line) + "\r\n");
  SetWindowTextW(log, platform::WideText(text).c_str());
  // Posted, not sent: the worker need not wait for the caret to move.
  const int length = GetWindowTextLengthW(log);
  PostMessageA(log, EM_SETSEL, static_cast<WPARAM>(length), static_cast<LPARAM>(length));
  PostMessageA(log, EM_SCROLLCARET, 0, 0);
}

void ConsoleWindow::SetTotal(std::uint64_t total) {
  total_ = total;
  done_ = 0;
  if (DialogHandle()) SendMessageA(ToWindow(bar_), PBM_SETRANGE, 0, MAKELPARAM(0, 100));
}

void ConsoleWindow::Advance(std::uint64_t amount) {
  done_ += amount;
  const int percent = ui::ProgressPercent(done_, total_);
  if (!DialogHandle()) return;
  SendMessageA(ToWindow(bar_), PBM_SETPOS, static_cast<WPARAM>(percent), 0);
  char text[32];
  std::snprintf(text, sizeof text, "%d %%", percent);
  SetWindowTextA(ToWindow(percent_), text);
}

void ConsoleWindow::StopAnimation() {
  if (HWND dialog = ToWindow(DialogHandle())) SendDlgItemMessageA(dialog, kAnimationControl, ACM_OPENA, 0, 0);
}

void ConsoleWindow::SetKeepOpen() {
  LockScope locked(*this);
  keepOpen_ = true;
}

bool ConsoleWindow::KeepOpen() {
  LockScope locked(*this);
  return keepOpen_;
}

WindowHandle ConsoleWindow::DialogHandle() {
  LockScope locked(*this);
  return dialog_;
}

void ConsoleWindow::WaitForClose(bool enableOk) {
  if (enableOk) {
    EnableOk(true);
    // The button takes the keyboard, so that Enter closes the window as the user expects.
    if (HWND dialog = ToWindow(DialogHandle())) {
      SendMessageA(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(okButton_), TRUE);
    }
  }
  MSG message;
  while (DialogHandle()) {
    const BOOL got = GetMessageA(&message, nullptr, 0, 0);
    if (got == -1) return;
    if (got == 0) {  // the quit request belongs to the caller's loop
      PostQuitMessage(static_cast<int>(message.wParam));
      return;
    }
    DispatchThreadMessage(this, &message);
  }
}

std::string ConsoleWindow::Caption() { return WindowText(ToWindow(DialogHandle())); }
std::string ConsoleWindow::StatusText() { return DialogHandle() ? WindowText(ToWindow(status_)) : std::string(); }
std::string ConsoleWindow::PercentText() { return DialogHandle() ? WindowText(ToWindow(percent_)) : std::string(); }
std::string ConsoleWindow::LogText() { return DialogHandle() ? WindowText(ToWindow(log_)) : std::string(); }

int ConsoleWindow::BarPosition() {
  if (!DialogHandle()) return -1;
  return static_cast<int>(SendMessageA(ToWindow(bar_), PBM_GETPOS, 0, 0));
}

bool ConsoleWindow::OkEnabled() { return DialogHandle() && IsWindowEnabled(ToWindow(okButton_)); }

bool ConsoleWindow::Visible() {
  HWND dialog = ToWindow(DialogHandle());
  return dialog && IsWindowVisible(dialog);
}

bool ConsoleWindowProgress::DialogMessage(WindowHandle window, unsigned message, std::uintptr_t wParam,
                                          std::intptr_t lParam) {
  const bool handled = ConsoleWindow::DialogMessage(window, message, wParam, lParam);
  if (message == WM_INITDIALOG) {
    // The control plays the clip by itself from here on (auto-play).
    SendDlgItemMessageA(ToWindow(window), kAnimationControl, ACM_OPENA, reinterpret_cast<WPARAM>(Module()),
                        reinterpret_cast<LPARAM>(MAKEINTRESOURCEA(kAnimationClip)));
  }
  return handled;
}

void DispatchThreadMessage(ConsoleWindow* window, void* message) {
  MSG* msg = static_cast<MSG*>(message);
  if (window) {
    HWND dialog = ToWindow(window->DialogHandle());
    if (dialog && IsDialogMessageA(dialog, msg)) return;
  }
  TranslateMessage(msg);
  DispatchMessageA(msg);
}

}  // namespace dialogs
