#include "patch/runInterface.h"

namespace patch {
namespace {

class SilentInterface : public RunInterface {
 public:
  void ShowVerifying(const std::string&) override {}
  void ShowStatus(const std::string&) override {}
  void Advance(std::uint64_t) override {}
  bool WindowClosed() override { return false; }
  void LogMissingFile(const std::string&) override {}
  void LogDamagedFile(const std::string&, std::uint32_t, std::uint32_t, bool) override {}
  void LogNoChecksumList(int, int) override {}
  void LogNoChecksumLine(const std::string&, int, int) override {}
  void LogActionFailed(const std::string&, const char*) override {}
  int AskDamagedFile(bool, const std::string&, std::uint32_t, std::uint32_t) override { return kAnswerAbort; }
  int AskFileNotWritten(const std::string&) override { return kAnswerAbort; }
  int AskFileNotCopied(const std::string&) override { return kAnswerAbort; }
  void ShowStoreError(const char*, const char*) override {}
};

}  // namespace

RunInterface* SilentRunInterface() {
  static SilentInterface silent;
  return &silent;
}

}  // namespace patch
