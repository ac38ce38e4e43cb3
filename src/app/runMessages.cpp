#include "app/runMessages.h"

#include <cstdio>

#include "ui/messages.h"

namespace app {
namespace {

// The sizes the progress window's texts are made in: a status line of 512 bytes, a log line of 4096
// from a message of 1024, a question of 2048.
constexpr std::size_t kStatusSize = 512;
constexpr std::size_t kLogLoad = 1024, kLogSize = 4096;
constexpr std::size_t kQuestionSize = 2048;

}  // namespace

void RunMessages::ShowVerifying(const std::string& name) {
  ui_->SetStatus(ui::FormatMessage(18, kStatusSize, kStatusSize, name.c_str()).c_str());
}

void RunMessages::ShowStatus(const std::string& text) {
  char line[kStatusSize];
  std::snprintf(line, sizeof line, "%s", text.c_str());
  ui_->SetStatus(line);
}

void RunMessages::LogMissingFile(const std::string& name) {
  ui_->AppendLog(ui::FormatMessage(10, kLogLoad, kLogSize, name.c_str()).c_str());
}

void RunMessages::LogDamagedFile(const std::string& name, std::uint32_t expected, std::uint32_t found, bool tolerated) {
  ui_->AppendLog(ui::FormatMessage(tolerated ? 20 : 12, kLogLoad, kLogSize, name.c_str(), expected, found).c_str());
}

void RunMessages::LogNoChecksumList(int major, int minor) {
  ui_->AppendLog(ui::FormatMessage(13, kLogLoad, kLogSize, major, minor).c_str());
}

void RunMessages::LogNoChecksumLine(const std::string& name, int major, int minor) {
  ui_->AppendLog(ui::FormatMessage(15, kLogLoad, kLogSize, name.c_str(), major, minor).c_str());
}

void RunMessages::LogActionFailed(const std::string& name, const char* reason) {
  ui_->AppendLog(ui::FormatMessage(23, kLogLoad, kLogSize, name.c_str(), reason).c_str());
}

int RunMessages::AskDamagedFile(bool retryIsDefault, const std::string& name, std::uint32_t expected,
                                std::uint32_t found) {
  const std::string text = ui::FormatMessage(12, kLogLoad, kQuestionSize, name.c_str(), expected, found);
  return ui::AskAbortRetryIgnoreText(*ui_, retryIsDefault, text.c_str());
}

int RunMessages::AskFileNotWritten(const std::string& relative) {
  // The checksums of a file that could not be rebuilt are not known: the question shows 0 and 1.
  const std::string text = ui::FormatMessage(12, kLogLoad, kQuestionSize, relative.c_str(), 0u, 1u);
  return ui::AskAbortRetryIgnoreText(*ui_, true, text.c_str());
}

int RunMessages::AskFileNotCopied(const std::string& name) {
  const std::string text = ui::FormatMessage(21, kLogLoad, kQuestionSize, name.c_str());
  return ui::AskAbortRetryIgnoreText(*ui_, true, text.c_str());
}

void RunMessages::ShowStoreError(const char* caption, const char* text) {
  ui_->ShowMessage(caption, text, ui::BoxIcon::Information);
}

}  // namespace app
