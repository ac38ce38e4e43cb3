// to-binary: text (or binary) config to the binary form. to-text: binary (or text) config to text.
// check: parses text configs and reports every problem with its file and line.

#include "configCommands.h"

#include <cstdio>
#include <string>
#include <vector>

#include "El/ParamFile/paramText.h"
#include "El/QStream/fileServer.h"
#include "El/QStream/qstream.h"
#include "toolReports.h"

namespace {

struct ConvertOptions {
  std::string input;
  std::string output;
  bool unixLineEnds = false;
};

const char* BinaryLoadErrorText(int code) {
  switch (code) {
    case PBRBadVersion: return "unsupported binary config version";
    case PBRBadStructure: return "damaged binary config (its structure does not hold together)";
    case PBRNoFile: return "no such file";
    default: return "the binary config does not load";
  }
}

// Loads a config in either form; false, with a message that says why, when it is missing or does not
// load cleanly. A text config's problems are reported by the parser with file and line; a binary
// config's by the loader's result.
bool Load(ParamFile& file, const std::string& name, ToolReports& reports) {
  if (!QFileExists(name.c_str())) {
    std::fprintf(stderr, "error: %s: no such file\n", name.c_str());
    return false;
  }
  const int errorsBefore = reports.Errors();
  const int binary = file.ParseBin(name.c_str());
  if (binary != PBROk && binary != PBRBadMagic) {
    std::fprintf(stderr, "error: %s: %s (error %d); nothing written\n", name.c_str(), BinaryLoadErrorText(binary),
                 binary);
    return false;
  }
  if (binary == PBRBadMagic) ParseText(file, name.c_str());
  if (reports.Errors() != errorsBefore) {
    std::fprintf(stderr, "error: %s: the config has errors (reported above); nothing written\n", name.c_str());
    return false;
  }
  return true;
}

int ToBinary(const ConvertOptions& options, ToolReports& reports) {
  ParamFile file;
  if (!Load(file, options.input, reports)) return 1;
  if (!file.SaveBin(options.output.c_str())) {
    std::fprintf(stderr, "error: %s: cannot write\n", options.output.c_str());
    return 1;
  }
  return 0;
}

int ToText(const ConvertOptions& options, ToolReports& reports) {
  ParamFile file;
  if (!Load(file, options.input, reports)) return 1;
  const char* lineEnd = options.unixLineEnds ? "\n" : "\r\n";
  if (options.output.empty() || options.output == "-") {
    QOStrStream text;
    file.Save(text, 0, lineEnd);
    std::fwrite(text.Data(), 1, static_cast<std::size_t>(text.GetTotalSize()), stdout);
    return 0;
  }
  return SaveText(file, options.output.c_str(), lineEnd) ? 0 : 1;
}

int Check(const std::vector<std::string>& inputs, ToolReports& reports) {
  int status = 0;
  for (const std::string& name : inputs) {
    if (!QFileExists(name.c_str())) {
      std::fprintf(stderr, "error: %s: no such file\n", name.c_str());
      status = 1;
      continue;
    }
    const int errors = reports.Errors(), warnings = reports.Warnings();
    ParamFile file;
    const int result = ParseText(file, name.c_str());
    const int newErrors = reports.Errors() - errors, newWarnings = reports.Warnings() - warnings;
    const bool ok = result == PTROk && newErrors == 0;
    std::printf("%s: %s (%d error%s, %d warning%s)\n", name.c_str(), ok ? "ok" : "FAILED", newErrors,
                newErrors == 1 ? "" : "s", newWarnings, newWarnings == 1 ? "" : "s");
    if (!ok) status = 1;
  }
  return status;
}

}  // namespace

void AddConfigCommands(CLI::App& app, ToolReports& reports, std::function<int()>& command) {
  static ConvertOptions binary, text;
  static std::vector<std::string> checked;

  CLI::App* toBinary = app.add_subcommand("to-binary", "Convert a text config to the binary form");
  toBinary->add_option("INPUT", binary.input, "Config file, text (or binary)")->required();
  toBinary->add_option("OUTPUT", binary.output, "Binary config file to write")->required();
  toBinary->callback([run = &command, r = &reports]() { *run = [r]() { return ToBinary(binary, *r); }; });

  CLI::App* toText = app.add_subcommand("to-text", "Convert a binary config to the text form");
  toText->add_option("INPUT", text.input, "Config file, binary (or text)")->required();
  toText->add_option("OUTPUT", text.output, "Text file to write; standard output when absent or -");
  toText->add_flag("--lf", text.unixLineEnds, "End lines with LF instead of CR LF");
  toText->callback([run = &command, r = &reports]() { *run = [r]() { return ToText(text, *r); }; });

  CLI::App* check = app.add_subcommand(
      "check", "Parse text configs and report every problem with its file and line; exit code 1 on errors");
  check->add_option("FILES", checked, "Text config files")->required();
  check->callback([run = &command, r = &reports]() { *run = [r]() { return Check(checked, *r); }; });
}
