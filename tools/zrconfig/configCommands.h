#pragma once
// The config commands of zrconfig: to-binary, to-text and check.

#include <CLI/CLI.hpp>

#include <functional>

class ToolReports;

// Adds the commands to `app`; the one given on the command line
// leaves in `command` what it runs, which returns the exit code.
void AddConfigCommands(CLI::App& app, ToolReports& reports, std::function<int()>& command);
