#pragma once
// The user-interface seam on Windows: message boxes, the start question and Abort/Retry/Ignore as the
// system's boxes, the distribution choice as dialog 126, and the progress operations on the progress
// window, when there is one (without the common controls there is none, and they do nothing).

#include "ui/win32/consoleWindow.h"
#include "ui/userInterface.h"

namespace dialogs {

class DialogInterface : public ui::UserInterface {
 public:
  // `window` may be null; the interface holds a reference to it.
  DialogInterface(ModuleHandle module, ConsoleWindowProgress* window) : module_(module), window_(window) {}

  // Notices and the start question have no owner; Abort/Retry/Ignore is owned by the progress dialog.
  void ShowMessage(const char* caption, const char* text, ui::BoxIcon icon) override;
  bool AskYesNo(const char* caption, const char* text) override;
  int AskAbortRetryIgnore(const char* caption, const char* text, bool retryIsDefault) override;
  std::string ChooseDistribution(const std::vector<ui::KnownDistribution>& known,
                                 const std::vector<std::string>& candidates) override;

  void Show(bool show) override;
  void EnableOk(bool enable) override;
  void SetTitle(const char* text) override;
  void SetStatus(const char* text) override;
  void AppendLog(const char* text) override;
  void SetTotal(std::uint64_t total) override;
  void Advance(std::uint64_t amount) override;
  void StopAnimation() override;
  void SetKeepOpen() override;
  bool KeepOpen() override;
  bool WindowClosed() override;

  ConsoleWindowProgress* Window() const { return window_.GetRef(); }

 private:
  ModuleHandle module_;
  Ref<ConsoleWindowProgress> window_;
  bool keepOpen_ = false;  // without a window
};

}  // namespace dialogs
