#include "ui/progressText.h"

#include <cstdarg>
#include <cstdio>

#include "ui/messages.h"
#include "ui/userInterface.h"

namespace ui {

void SetTitle(int id, ...) {
  va_list args;
  va_start(args, id);
  const std::string text = FormatMessageV(id, 512, 512, args);
  va_end(args);
  CurrentUserInterface()->SetTitle(text.c_str());
}

void SetStatus(int id, ...) {
  va_list args;
  va_start(args, id);
  const std::string text = FormatMessageV(id, 512, 512, args);
  va_end(args);
  CurrentUserInterface()->SetStatus(text.c_str());
}

void SetStatusText(const char* format, ...) {
  char text[512];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  CurrentUserInterface()->SetStatus(text);
}

void AppendLog(int id, ...) {
  va_list args;
  va_start(args, id);
  const std::string text = FormatMessageV(id, 1024, 4096, args);
  va_end(args);
  CurrentUserInterface()->AppendLog(text.c_str());
}

}  // namespace ui
