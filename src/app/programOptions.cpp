#include "app/programOptions.h"

namespace app {
namespace {

void SkipSpaces(const std::string& text, std::size_t* at) {
  while (*at < text.size() && (text[*at] == ' ' || text[*at] == '\t')) ++*at;
}

// One word: up to the next space, or the text between double quotes.
bool Word(const std::string& text, std::size_t* at, std::string* word) {
  SkipSpaces(text, at);
  if (*at >= text.size()) return false;
  if (text[*at] == '"') {
    const std::size_t end = text.find('"', *at + 1);
    if (end == std::string::npos) return false;
    *word = text.substr(*at + 1, end - *at - 1);
    *at = end + 1;
    return true;
  }
  std::size_t end = *at;
  while (end < text.size() && text[end] != ' ' && text[end] != '\t') ++end;
  *word = text.substr(*at, end - *at);
  *at = end;
  return true;
}

}  // namespace

bool TakeProgramOptions(const std::string& commandLine, ProgramOptions* options, std::string* rest,
                        std::string* error) {
  std::size_t at = 0;
  for (;;) {
    std::size_t start = at;
    SkipSpaces(commandLine, &start);
    if (commandLine.compare(start, 2, "--") != 0) break;
    std::string option, value;
    at = start;
    Word(commandLine, &at, &option);
    if (option == "--yes" || option == "--verify" || option == "--json") {
      if (option == "--yes") options->answers.start = ui::PresetAnswers::Start::Yes;
      if (option == "--verify") options->verify = true;
      if (option == "--json") options->json = true;
      continue;
    }
    if (option != "--distribution" && option != "--on-error" && option != "--log") {
      *error = "unknown option " + option + " (known: --yes, --distribution TAG, --on-error abort|ignore, --log FILE, --verify, "
               "--json)";
      return false;
    }
    if (!Word(commandLine, &at, &value) || value.empty()) {
      *error = option + " needs a value";
      return false;
    }
    if (option == "--distribution") {
      options->answers.distribution = value;
    } else if (option == "--log") {
      options->logPath = value;
    } else if (value == "abort" || value == "ignore") {
      options->answers.onError = value == "abort" ? ui::PresetAnswers::OnError::Abort : ui::PresetAnswers::OnError::Ignore;
    } else {
      *error = "--on-error takes abort or ignore, not " + value;
      return false;
    }
  }
  if (options->json && !options->verify) {
    *error = "--json goes with --verify (a patch run shows its window)";
    return false;
  }
  // Without options the command line stays as it was passed, spaces and all.
  if (at == 0) {
    *rest = commandLine;
  } else {
    SkipSpaces(commandLine, &at);
    *rest = commandLine.substr(at);
  }
  return true;
}

}  // namespace app
