#pragma once
// Command lines of small children for the process tests, in each target's own terms (a shell on Linux,
// cmd on Windows); each target's folder (posix/, win32/) defines them.

#include <string>

// A child that ends with `exitCode`.
std::string ExitCommand(int exitCode);
// A child that creates the file `name` in its current folder.
std::string CreateFileCommand(const std::string& name);
