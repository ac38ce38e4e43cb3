#include "platform/console.h"

#include <windows.h>

namespace platform {

bool IsTerminal(ConsoleStream stream) {
  const DWORD which = stream == ConsoleStream::Input ? STD_INPUT_HANDLE
                    : stream == ConsoleStream::Output ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE;
  HANDLE handle = GetStdHandle(which);
  DWORD mode = 0;
  return handle && handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode) != 0;
}

int TerminalWidth() {
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (GetConsoleScreenBufferInfo(GetStdHandle(STD_ERROR_HANDLE), &info)) {
    return info.srWindow.Right - info.srWindow.Left + 1;
  }
  return 80;
}

}  // namespace platform
