#pragma once
// The patch layer's events as the message table's texts, shown and asked on one user interface: the
// verification's lines and questions, the status line, the bar and the store's boxes, exactly as the
// progress window has them.

#include "patch/runInterface.h"
#include "ui/userInterface.h"

namespace app {

class RunMessages : public patch::RunInterface {
 public:
  explicit RunMessages(ui::UserInterface* ui) : ui_(ui) {}

  void ShowVerifying(const std::string& name) override;
  void ShowStatus(const std::string& text) override;
  void Advance(std::uint64_t amount) override { ui_->Advance(amount); }
  bool WindowClosed() override { return ui_->WindowClosed(); }
  void LogMissingFile(const std::string& name) override;
  void LogDamagedFile(const std::string& name, std::uint32_t expected, std::uint32_t found, bool tolerated) override;
  void LogNoChecksumList(int major, int minor) override;
  void LogNoChecksumLine(const std::string& name, int major, int minor) override;
  void LogActionFailed(const std::string& name, const char* reason) override;
  int AskDamagedFile(bool retryIsDefault, const std::string& name, std::uint32_t expected,
                     std::uint32_t found) override;
  int AskFileNotWritten(const std::string& relative) override;
  int AskFileNotCopied(const std::string& name) override;
  void ShowStoreError(const char* caption, const char* text) override;

 private:
  ui::UserInterface* ui_;
};

}  // namespace app
