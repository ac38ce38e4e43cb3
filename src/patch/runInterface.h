#pragma once
// What the patch layer shows and asks while it verifies and writes files, told as events rather than
// texts: the application turns each one into its message and hands it to the user interface (the
// progress window, the terminal, a script). The patch layer receives it in its job and knows nothing
// of how it is shown.

#include <cstdint>
#include <string>

namespace patch {

// The answers of the Abort/Retry/Ignore question.
enum Answer { kAnswerAbort = 0, kAnswerRetry = 1, kAnswerIgnore = 2 };

class RunInterface {
 public:
  virtual ~RunInterface() = default;

  // The status line: a file being verified, or a plain text (a file being written; "" clears it).
  virtual void ShowVerifying(const std::string& name) = 0;
  virtual void ShowStatus(const std::string& text) = 0;
  // More of the run's work done (see PrepareSteps for the total).
  virtual void Advance(std::uint64_t amount) = 0;
  // True once the user has closed the progress window: a verification stops there.
  virtual bool WindowClosed() = 0;

  // Log lines of the verification: a required file missing; a file whose checksum differs, either
  // `tolerated` (only noted) or about to be asked about; a version without a checksum list, or a file
  // without a line in it.
  virtual void LogMissingFile(const std::string& name) = 0;
  virtual void LogDamagedFile(const std::string& name, std::uint32_t expected, std::uint32_t found, bool tolerated) = 0;
  virtual void LogNoChecksumList(int major, int minor) = 0;
  virtual void LogNoChecksumLine(const std::string& name, int major, int minor) = 0;
  // A file action that failed, with the action's own reason.
  virtual void LogActionFailed(const std::string& name, const char* reason) = 0;

  // The Abort/Retry/Ignore questions; each returns an Answer. A damaged file found by the verification;
  // a file of a version step that could not be rebuilt; a whole file of a group that could not be
  // written.
  virtual int AskDamagedFile(bool retryIsDefault, const std::string& name, std::uint32_t expected,
                             std::uint32_t found) = 0;
  virtual int AskFileNotWritten(const std::string& relative) = 0;
  virtual int AskFileNotCopied(const std::string& name) = 0;

  // A box about the patch store: an entry that cannot be read, or a file that cannot be written.
  virtual void ShowStoreError(const char* caption, const char* text) = 0;
};

// An interface that shows nothing and answers Abort: what a job has until its run gives it one.
RunInterface* SilentRunInterface();

}  // namespace patch
