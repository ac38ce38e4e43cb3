#pragma once
// For tests of the patch layer: its events shown as a run shows them (app::RunMessages), on whatever
// user interface is current when they happen (the test's ScriptedInterface), and one uninstall list
// the tests read back.

#include "Es/Containers/array.h"
#include "Es/Containers/compactBuf.h"
#include "app/runMessages.h"
#include "patch/patchJob.h"

namespace testsupport {

class CurrentRunMessages : public patch::RunInterface {
 public:
  void ShowVerifying(const std::string& name) override { Now().ShowVerifying(name); }
  void ShowStatus(const std::string& text) override { Now().ShowStatus(text); }
  void Advance(std::uint64_t amount) override { Now().Advance(amount); }
  bool WindowClosed() override { return Now().WindowClosed(); }
  void LogMissingFile(const std::string& name) override { Now().LogMissingFile(name); }
  void LogDamagedFile(const std::string& name, std::uint32_t expected, std::uint32_t found, bool tolerated) override {
    Now().LogDamagedFile(name, expected, found, tolerated);
  }
  void LogNoChecksumList(int major, int minor) override { Now().LogNoChecksumList(major, minor); }
  void LogNoChecksumLine(const std::string& name, int major, int minor) override {
    Now().LogNoChecksumLine(name, major, minor);
  }
  void LogActionFailed(const std::string& name, const char* reason) override { Now().LogActionFailed(name, reason); }
  int AskDamagedFile(bool retryIsDefault, const std::string& name, std::uint32_t expected, std::uint32_t found) override {
    return Now().AskDamagedFile(retryIsDefault, name, expected, found);
  }
  int AskFileNotWritten(const std::string& relative) override { return Now().AskFileNotWritten(relative); }
  int AskFileNotCopied(const std::string& name) override { return Now().AskFileNotCopied(name); }
  void ShowStoreError(const char* caption, const char* text) override { Now().ShowStoreError(caption, text); }

 private:
  app::RunMessages& Now() {
    now_ = app::RunMessages(ui::CurrentUserInterface());
    return now_;
  }
  app::RunMessages now_{nullptr};
};

inline patch::RunInterface* CurrentMessages() {
  static CurrentRunMessages messages;
  return &messages;
}

// The uninstall list of the tests' runs.
inline DynArray<RefString>& UninstallList() {
  static DynArray<RefString> list;
  return list;
}

// A job as a run hands it over: the events shown on the current interface, the tests' uninstall list.
inline void AsInRun(patch::PatchJob& job) {
  job.ui = CurrentMessages();
  job.uninstall = &UninstallList();
}
inline patch::PatchJob JobAsInRun() {
  patch::PatchJob job;
  AsInRun(job);
  return job;
}

}  // namespace testsupport
