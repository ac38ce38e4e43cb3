#pragma once
// Loading the user's messages: the numbered table in the user's language, the product placeholders
// "#APPNAME" and "#VERSION", and the boxes built from them.

#include <cstdarg>
#include <cstddef>
#include <string>

#include "ui/userInterface.h"

namespace ui {

// Where message texts come from. The default is the compiled-in table (messageTable.h); the Windows
// program may read its own string-table resources instead, which are generated from that table.
class MessageCatalogue {
 public:
  virtual ~MessageCatalogue() = default;
  // The text of `id` in exactly `language`: true, with the text ("" for an empty entry), when the
  // catalogue has the block of 16 messages holding `id` in that language; false when it has not.
  virtual bool Find(int language, int id, std::u16string* text) = 0;
  // The text of `id` as the system's standard string loader gives it (the neutral table); "" when missing.
  virtual std::u16string Neutral(int id) = 0;
};

// The process-wide catalogue; never null. Null restores the compiled-in one.
MessageCatalogue* CurrentMessageCatalogue();
MessageCatalogue* SetMessageCatalogue(MessageCatalogue* catalogue);

// The language messages are looked up in: the user's default locale identifier, unless a test or a
// command-line option chose another (0 restores the user's).
int MessageLanguage();
void SetMessageLanguage(int language);

// The placeholder values: "Corvanth" and "9.99" until the manifest gives its own. A null or empty
// name keeps the product name as it is (a manifest without a display name names no product).
void SetPlaceholders(const char* appName, const char* version);
const char* AppNamePlaceholder();
const char* VersionPlaceholder();

// Message `id` in the message language (the neutral text when that language has no table), converted
// to the narrow form, cut to size - 1 bytes and terminated. A missing message gives "".
void LoadMessage(int id, char* buffer, std::size_t size);
// LoadMessage, then every "#APPNAME" and then every "#VERSION" replaced by its value; the result cut
// to size - 1 bytes.
void GetMessage(int id, char* buffer, std::size_t size);
// GetMessage into `loadSize` bytes, then filled with the arguments into at most `size` - 1 bytes.
std::string FormatMessageV(int id, std::size_t loadSize, std::size_t size, va_list args);
std::string FormatMessage(int id, std::size_t loadSize, std::size_t size, ...);

// A box with the caption of message 1 and `text` on `ui` (the current interface when not given); the
// text also goes to the diagnostics log.
void ShowMessage(UserInterface& ui, const char* text, BoxIcon icon);
void ShowMessage(const char* text, BoxIcon icon);
// The Abort/Retry/Ignore question with message `id` filled with the arguments: kAbort, kRetry or
// kIgnore. Without `retryIsDefault` a Retry answer shows the same question again.
int AskAbortRetryIgnore(bool retryIsDefault, int id, ...);
// The same question with its text already filled in, asked on `ui`.
int AskAbortRetryIgnoreText(UserInterface& ui, bool retryIsDefault, const char* text);
// The start question: messages 25 and 26 joined by a line end; true when the user answers Yes.
bool AskStartQuestion(UserInterface& ui);
bool AskStartQuestion();

}  // namespace ui
