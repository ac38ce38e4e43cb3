#include "ui/win32/dialogInterface.h"

#include <windows.h>

#include "ui/win32/distributionDialog.h"
#include "platform/win32/wideText.h"

namespace dialogs {
namespace {

UINT IconStyle(ui::BoxIcon icon) {
  switch (icon) {
    case ui::BoxIcon::Error: return MB_ICONERROR;
    case ui::BoxIcon::Information: return MB_ICONINFORMATION;
    case ui::BoxIcon::Warning: return MB_ICONWARNING;
    case ui::BoxIcon::Question: return MB_ICONQUESTION;
  }
  return MB_ICONERROR;
}

}  // namespace

void DialogInterface::ShowMessage(const char* caption, const char* text, ui::BoxIcon icon) {
  MessageBoxW(nullptr, platform::WideText(text).c_str(), platform::WideText(caption).c_str(), MB_OK | IconStyle(icon));
}

bool DialogInterface::AskYesNo(const char* caption, const char* text) {
  return MessageBoxW(nullptr, platform::WideText(text).c_str(), platform::WideText(caption).c_str(),
                     MB_YESNO | MB_ICONQUESTION) == IDYES;
}

int DialogInterface::AskAbortRetryIgnore(const char* caption, const char* text, bool retryIsDefault) {
  HWND owner = window_ ? static_cast<HWND>(window_->DialogHandle()) : nullptr;
  const UINT style = MB_ABORTRETRYIGNORE | MB_ICONWARNING | (retryIsDefault ? MB_DEFBUTTON2 : MB_DEFBUTTON1);
  switch (MessageBoxW(owner, platform::WideText(text).c_str(), platform::WideText(caption).c_str(), style)) {
    case IDRETRY: return ui::kRetry;
    case IDIGNORE: return ui::kIgnore;
    default: return ui::kAbort;  // Abort, or a box that could not be shown
  }
}

std::string DialogInterface::ChooseDistribution(const std::vector<ui::KnownDistribution>& known,
                                                const std::vector<std::string>& candidates) {
  return dialogs::ChooseDistribution(module_, known, candidates);
}

void DialogInterface::Show(bool show) {
  if (window_) window_->Show(show);
}
void DialogInterface::EnableOk(bool enable) {
  if (window_) window_->EnableOk(enable);
}
void DialogInterface::SetTitle(const char* text) {
  if (window_) window_->SetTitle(text);
}
void DialogInterface::SetStatus(const char* text) {
  if (window_) window_->SetStatus(text);
}
void DialogInterface::AppendLog(const char* text) {
  if (window_) window_->AppendLog(text);
}
void DialogInterface::SetTotal(std::uint64_t total) {
  if (window_) window_->SetTotal(total);
}
void DialogInterface::Advance(std::uint64_t amount) {
  if (window_) window_->Advance(amount);
}
void DialogInterface::StopAnimation() {
  if (window_) window_->StopAnimation();
}

void DialogInterface::SetKeepOpen() {
  if (window_) {
    window_->SetKeepOpen();
  } else {
    keepOpen_ = true;
  }
}

bool DialogInterface::KeepOpen() { return window_ ? window_->KeepOpen() : keepOpen_; }

bool DialogInterface::WindowClosed() { return window_ && !window_->DialogHandle(); }

}  // namespace dialogs
