// zrconfig: inspects config files. `zrconfig print FILE` loads a binary config and prints its tree in
// the text form, one tab per nesting level; a file that does not load is reported with the loader's
// error code, and the exit code is 1.

#include <CLI/CLI.hpp>

#include <cstdio>
#include <functional>
#include <string>

#include "bankCommands.h"
#include "configCommands.h"
#include "toolReports.h"
#include "El/ParamFile/paramFile.h"
#include "El/QStream/qstream.h"

namespace {

const char* LoadErrorText(int code) {
  switch (code) {
    case PBRBadMagic: return "not a binary config (bad magic)";
    case PBRBadVersion: return "unsupported binary config version";
    case PBRBadStructure: return "damaged file structure";
    case PBRNoFile: return "no such file";
    default: return "load failed";
  }
}

int Print(const std::string& fileName) {
  ParamFile file;
  const int result = file.ParseBin(fileName.c_str());
  if (result != PBROk) {
    std::fprintf(stderr, "%s: error %d: %s\n", fileName.c_str(), result, LoadErrorText(result));
    return 1;
  }
  QOStrStream text;
  file.Save(text, 0, "\n");
  std::fwrite(text.Data(), 1, static_cast<std::size_t>(text.GetTotalSize()), stdout);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Inspect config files"};
  app.require_subcommand(1);

  std::string printFile;
  CLI::App* print = app.add_subcommand("print", "Print a binary config file as an indented tree");
  print->add_option("FILE", printFile, "The binary config file")->required();

  ToolReports reports;
  std::function<int()> command;
  bool verbose = false;
  app.add_flag("--verbose", verbose, "Also show the libraries' log lines and diagnostics");
  AddConfigCommands(app, reports, command);
  AddBankCommands(app, reports, command);

  CLI11_PARSE(app, argc, argv);
  reports.SetVerbose(verbose);
  if (print->parsed()) return Print(printFile);
  return command ? command() : 0;
}
