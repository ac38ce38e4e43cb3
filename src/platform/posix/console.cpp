#include "platform/console.h"

#include <sys/ioctl.h>
#include <unistd.h>

namespace platform {

bool IsTerminal(ConsoleStream stream) {
  const int fd = stream == ConsoleStream::Input ? STDIN_FILENO
               : stream == ConsoleStream::Output ? STDOUT_FILENO : STDERR_FILENO;
  return ::isatty(fd) == 1;
}

int TerminalWidth() {
  struct winsize size;
  if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  return 80;
}

}  // namespace platform
