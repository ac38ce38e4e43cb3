#pragma once
// The data bank commands of zrconfig: bank list, bank extract and bank pack.

#include <CLI/CLI.hpp>

#include <functional>

class ToolReports;

// Adds the "bank" command with its subcommands to `app`; the one given on the command line
// leaves in `command` what it runs, which returns the exit code.
void AddBankCommands(CLI::App& app, ToolReports& reports, std::function<int()>& command);
