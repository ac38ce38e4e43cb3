#include "ui/messages.h"

#include <cstdio>
#include <cstring>

#include "El/Common/appFrame.h"
#include "platform/locale.h"
#include "ui/messageTable.h"

namespace ui {
namespace {

class CompiledCatalogue : public MessageCatalogue {
 public:
  bool Find(int language, int id, std::u16string* text) override {
    const LanguageTable* table = FindLanguageTable(language);
    if (!table) return false;
    *text = Text(*table, id);
    return true;
  }
  std::u16string Neutral(int id) override { return Text(*FindLanguageTable(0), id); }

 private:
  static std::u16string Text(const LanguageTable& table, int id) {
    if (id < 0 || id >= kMessageCount || !table.texts[id]) return std::u16string();
    return table.texts[id];
  }
};

CompiledCatalogue compiledCatalogue;
MessageCatalogue* catalogue = &compiledCatalogue;
int chosenLanguage = 0;
std::string appName = "Corvanth";
std::string version = "9.99";

// Copies `text` into buffer, cut to size - 1 bytes.
void CopyCut(const std::string& text, char* buffer, std::size_t size) {
  if (size == 0) return;
  const std::size_t length = text.size() < size - 1 ? text.size() : size - 1;
  std::memcpy(buffer, text.data(), length);
  buffer[length] = '\0';
}

// Every occurrence of `placeholder` in `text` replaced by `value`, left to right.
std::string Replace(const std::string& text, const char* placeholder, const std::string& value) {
  std::string result;
  const std::size_t length = std::strlen(placeholder);
  std::size_t from = 0;
  for (std::size_t at; (at = text.find(placeholder, from)) != std::string::npos; from = at + length) {
    result.append(text, from, at - from).append(value);
  }
  return result.append(text, from, std::string::npos);
}

std::string Caption() {
  char caption[256];
  GetMessage(1, caption, sizeof caption);
  return caption;
}

}  // namespace

MessageCatalogue* CurrentMessageCatalogue() { return catalogue; }

MessageCatalogue* SetMessageCatalogue(MessageCatalogue* replacement) {
  MessageCatalogue* previous = catalogue;
  catalogue = replacement ? replacement : &compiledCatalogue;
  return previous;
}

int MessageLanguage() {
  return chosenLanguage ? chosenLanguage : static_cast<int>(platform::UserDefaultLocale());
}

void SetMessageLanguage(int language) { chosenLanguage = language; }

void SetPlaceholders(const char* newAppName, const char* newVersion) {
  if (newAppName && *newAppName) appName = newAppName;
  version = newVersion ? newVersion : "";
}

const char* AppNamePlaceholder() { return appName.c_str(); }
const char* VersionPlaceholder() { return version.c_str(); }

void LoadMessage(int id, char* buffer, std::size_t size) {
  std::u16string text;
  if (!catalogue->Find(MessageLanguage(), id, &text)) text = catalogue->Neutral(id);
  CopyCut(platform::NarrowFromUtf16(text.data(), text.size()), buffer, size);
}

void GetMessage(int id, char* buffer, std::size_t size) {
  std::string text(size, '\0');
  LoadMessage(id, &text[0], size);
  text.resize(std::strlen(text.c_str()));
  CopyCut(Replace(Replace(text, "#APPNAME", appName), "#VERSION", version), buffer, size);
}

std::string FormatMessageV(int id, std::size_t loadSize, std::size_t size, va_list args) {
  std::string format(loadSize, '\0');
  GetMessage(id, &format[0], loadSize);
  std::string result(size, '\0');
  std::vsnprintf(&result[0], size, format.c_str(), args);
  result.resize(std::strlen(result.c_str()));
  return result;
}

std::string FormatMessage(int id, std::size_t loadSize, std::size_t size, ...) {
  va_list args;
  va_start(args, size);
  std::string result = FormatMessageV(id, loadSize, size, args);
  va_end(args);
  return result;
}

void ShowMessage(UserInterface& ui, const char* text, BoxIcon icon) {
  LogF("%s", text);
  ui.ShowMessage(Caption().c_str(), text, icon);
}

void ShowMessage(const char* text, BoxIcon icon) { ShowMessage(*CurrentUserInterface(), text, icon); }

int AskAbortRetryIgnoreText(UserInterface& ui, bool retryIsDefault, const char* text) {
  const std::string caption = Caption();
  for (;;) {
    const int answer = ui.AskAbortRetryIgnore(caption.c_str(), text, retryIsDefault);
    if (answer == kAbort || answer == kIgnore) return answer;
    if (retryIsDefault) return kRetry;
  }
}

int AskAbortRetryIgnore(bool retryIsDefault, int id, ...) {
  va_list args;
  va_start(args, id);
  const std::string text = FormatMessageV(id, 1024, 2048, args);
  va_end(args);
  return AskAbortRetryIgnoreText(*CurrentUserInterface(), retryIsDefault, text.c_str());
}

bool AskStartQuestion(UserInterface& ui) {
  char first[2048];
  char second[2048];
  GetMessage(25, first, sizeof first);
  GetMessage(26, second, sizeof second);
  std::string text = std::string(first) + "\n" + second;
  return ui.AskYesNo(Caption().c_str(), text.c_str());
}

bool AskStartQuestion() { return AskStartQuestion(*CurrentUserInterface()); }

}  // namespace ui
