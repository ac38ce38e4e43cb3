#include "platform/childCommands.h"

std::string ExitCommand(int exitCode) { return "cmd /c exit " + std::to_string(exitCode); }

std::string CreateFileCommand(const std::string& name) { return "cmd /c echo made> \"" + name + "\""; }
