#include "platform/childCommands.h"

std::string ExitCommand(int exitCode) { return "/bin/sh -c \"exit " + std::to_string(exitCode) + "\""; }

std::string CreateFileCommand(const std::string& name) { return "/bin/sh -c \"echo made > '" + name + "'\""; }
