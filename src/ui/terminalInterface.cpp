#include "ui/terminalInterface.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string>

#include "Es/Containers/nameText.h"
#include "platform/console.h"

namespace ui {
namespace {

std::string Trimmed(const std::string& text) {
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && std::isspace(static_cast<unsigned char>(text[begin]))) ++begin;
  while (end > begin && std::isspace(static_cast<unsigned char>(text[end - 1]))) --end;
  return text.substr(begin, end - begin);
}

const char* IconWord(BoxIcon icon) {
  switch (icon) {
    case BoxIcon::Error: return "error";
    case BoxIcon::Warning: return "warning";
    case BoxIcon::Question: return "question";
    case BoxIcon::Information: break;
  }
  return "note";
}

// One byte of a text for the terminal: a control character (C0, DEL, or a C1 one encoded in UTF-8)
// would move the cursor, recolour or retitle the player's terminal, so it is shown as "\xNN" instead.
// Tabs pass.
void AppendPrintable(const char* text, std::size_t* at, std::string* out) {
  const auto byte = static_cast<unsigned char>(text[*at]);
  const auto next = static_cast<unsigned char>(byte == 0xC2 ? text[*at + 1] : 0);
  char escaped[16];
  if ((byte < 0x20 && byte != '\t') || byte == 0x7F) {
    std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
    *out += escaped;
  } else if (byte == 0xC2 && next >= 0x80 && next <= 0x9F) {
    std::snprintf(escaped, sizeof escaped, "\\u%04X", next);
    *out += escaped;
    ++*at;
  } else {
    *out += static_cast<char>(byte);
  }
}

}  // namespace

std::string PrintableText(const char* text) {
  std::string out;
  for (std::size_t at = 0; text[at]; ++at) AppendPrintable(text, &at, &out);
  return out;
}

TerminalInterface::TerminalInterface(const PresetAnswers& answers, std::FILE* input, std::FILE* output,
                                     bool inputIsTerminal, bool outputIsTerminal, int width)
    : answers_(answers),
      input_(input),
      output_(output),
      inputIsTerminal_(inputIsTerminal),
      outputIsTerminal_(outputIsTerminal),
      width_(width < 20 ? 20 : width) {}

TerminalInterface::TerminalInterface(const PresetAnswers& answers)
    : TerminalInterface(answers, stdin, stderr, platform::IsTerminal(platform::ConsoleStream::Input),
                        platform::IsTerminal(platform::ConsoleStream::Error), platform::TerminalWidth()) {}

void TerminalInterface::ShowMessage(const char* caption, const char* text, BoxIcon icon) {
  lastLog_.clear();
  const std::string prefix = std::string(caption) + ": " + IconWord(icon) + ": ";
  PrintLines(prefix.c_str(), text);
}

bool TerminalInterface::AskYesNo(const char* caption, const char* text) {
  lastLog_.clear();
  PrintLines((std::string(caption) + ": ").c_str(), text);
  if (answers_.start == PresetAnswers::Start::Yes) {
    PrintLines("", "Answered Yes (given in advance).");
    return true;
  }
  for (std::string answer; ReadAnswer("Continue? [y/n] ", &answer);) {
    answer = Trimmed(answer);
    if (EqualIgnoringCase(answer, "y") || EqualIgnoringCase(answer, "yes")) return true;
    if (EqualIgnoringCase(answer, "n") || EqualIgnoringCase(answer, "no")) return false;
  }
  PrintLines("", inputIsTerminal_ ? "No answer: answered No." : "No terminal to ask: answered No (give --yes to continue).");
  return false;
}

int TerminalInterface::AskAbortRetryIgnore(const char* caption, const char* text, bool retryIsDefault) {
  const bool justLogged = lastLog_ == text;
  lastLog_.clear();
  if (!justLogged) PrintLines((std::string(caption) + ": warning: ").c_str(), text);
  if (answers_.onError == PresetAnswers::OnError::Abort) {
    PrintLines("", "Answered Abort (given in advance).");
    return kAbort;
  }
  if (answers_.onError == PresetAnswers::OnError::Ignore) {
    PrintLines("", "Answered Ignore (given in advance).");
    return kIgnore;
  }
  if (answers_.Unattended()) {
    PrintLines("", kUnattendedAbortText);
    return kAbort;
  }
  const char* prompt = retryIsDefault ? "[a]bort, [R]etry, [i]gnore? " : "[a]bort, [r]etry, [i]gnore? ";
  for (std::string answer; ReadAnswer(prompt, &answer);) {
    answer = Trimmed(answer);
    if (answer.empty() && retryIsDefault) return kRetry;
    if (EqualIgnoringCase(answer, "a") || EqualIgnoringCase(answer, "abort")) return kAbort;
    if (EqualIgnoringCase(answer, "r") || EqualIgnoringCase(answer, "retry")) return kRetry;
    if (EqualIgnoringCase(answer, "i") || EqualIgnoringCase(answer, "ignore")) return kIgnore;
  }
  PrintLines("", inputIsTerminal_ ? "No answer: answered Abort."
                                  : "No terminal to ask: answered Abort (give --on-error to choose).");
  return kAbort;
}

std::string TerminalInterface::ChooseDistribution(const std::vector<KnownDistribution>& known,
                                                  const std::vector<std::string>& candidates) {
  if (!answers_.distribution.empty()) {
    const std::string chosen = PresetDistribution(answers_, candidates);
    if (!chosen.empty()) return chosen;
    PrintLines("error: ", ("The distribution " + answers_.distribution +
                           " given in advance is not one of those this installation may be: " +
                           CandidateList(candidates) + ".")
                              .c_str());
    return std::string();
  }
  if (answers_.Unattended()) {
    PrintLines("error: ", UnattendedDistributionText(candidates).c_str());
    return std::string();
  }
  PrintLines("", "Your distribution was not recognized. Please, select one from the list.");
  for (std::size_t i = 0; i < candidates.size(); ++i) {
    const std::string shown = DistributionDisplayName(known, candidates[i]);
    PrintLines("", ("  " + std::to_string(i + 1) + ") " + shown).c_str());
  }
  for (std::string answer; ReadAnswer("Number (empty to cancel): ", &answer);) {
    answer = Trimmed(answer);
    if (answer.empty()) return std::string();
    char* end = nullptr;
    const long number = std::strtol(answer.c_str(), &end, 10);
    if (*end == '\0' && number >= 1 && static_cast<std::size_t>(number) <= candidates.size()) {
      return candidates[static_cast<std::size_t>(number - 1)];
    }
  }
  PrintLines("", inputIsTerminal_ ? "No answer: cancelled."
                                  : "No terminal to ask: cancelled (give --distribution to choose).");
  return std::string();
}

void TerminalInterface::SetTitle(const char* text) { PrintLines("== ", text); }

void TerminalInterface::SetStatus(const char* text) {
  status_ = PrintableText(text);
  if (outputIsTerminal_ && (barShown_ || !status_.empty())) DrawBar();
}

void TerminalInterface::AppendLog(const char* text) {
  PrintLines("", text);
  lastLog_ = text;
}

void TerminalInterface::SetTotal(std::uint64_t total) {
  total_ = total;
  done_ = 0;
  shownPercent_ = -1;
}

void TerminalInterface::Advance(std::uint64_t amount) {
  done_ += amount;
  const int percent = ProgressPercent(done_, total_);
  if (percent == shownPercent_) return;
  shownPercent_ = percent;
  if (outputIsTerminal_) DrawBar();
}

void TerminalInterface::PrintLines(const char* prefix, const char* text) {
  ClearBar();
  // Message texts end their lines with "\r\n" or "\n"; each line is printed on its own.
  std::string line;
  bool first = true;
  auto flush = [&] {
    std::fprintf(output_, "%s%s\n", first ? prefix : "", line.c_str());
    first = false;
    line.clear();
  };
  for (std::size_t at = 0; text[at]; ++at) {
    if (text[at] == '\r' && text[at + 1] == '\n') continue;
    if (text[at] == '\n') {
      flush();
    } else {
      AppendPrintable(text, &at, &line);
    }
  }
  if (!line.empty() || first) flush();
  if (outputIsTerminal_ && shownPercent_ >= 0) DrawBar();
  std::fflush(output_);
}

void TerminalInterface::ClearBar() {
  if (!barShown_) return;
  std::fprintf(output_, "\r\033[K");
  barShown_ = false;
}

void TerminalInterface::DrawBar() {
  const int percent = shownPercent_ < 0 ? ProgressPercent(done_, total_) : shownPercent_;
  const int cells = 30;
  const int filled = percent * cells / 100;
  std::string bar = "[" + std::string(static_cast<std::size_t>(filled), '#') +
                    std::string(static_cast<std::size_t>(cells - filled), ' ') + "] " + std::to_string(percent) + " % ";
  // The status line takes what is left of the terminal's width; a long file name keeps its end.
  const std::size_t room = static_cast<std::size_t>(width_) > bar.size() + 1 ? width_ - bar.size() - 1 : 0;
  std::string status = status_;
  if (status.size() > room) {
    std::size_t from = status.size() - (room > 3 ? room - 3 : 0);
    while (from < status.size() && (static_cast<unsigned char>(status[from]) & 0xC0) == 0x80) ++from;  // whole UTF-8 characters
    status = room > 3 ? "..." + status.substr(from) : "";
  }
  std::fprintf(output_, "\r\033[K%s%s", bar.c_str(), status.c_str());
  std::fflush(output_);
  barShown_ = true;
}

bool TerminalInterface::ReadAnswer(const char* prompt, std::string* answer) {
  if (!inputIsTerminal_ || !input_) return false;
  ClearBar();
  std::fprintf(output_, "%s", prompt);
  std::fflush(output_);
  char line[256];
  if (!std::fgets(line, sizeof line, input_)) return false;
  *answer = line;
  return true;
}

}  // namespace ui
