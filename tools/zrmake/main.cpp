// zrmake: the publisher's tools, from installation trees to a signed patch executable.
//
//   zrmake diff OLD NEW --from 1.05 --to 1.06 -o PAYLOAD [--carry-new] [--distribution TAG] [-j N]
//   zrmake crc TREE... --version 1.06 -o PAYLOAD [--distribution TAG...] [--tolerate PATTERN...]
//   zrmake keygen -o KEY.pem [--public KEY.blob] [--bits 3072]
//   zrmake sign KEY.pem FILE [-o FILE.sign]
//   zrmake pack STUB PAYLOAD MANIFEST -o PATCH.exe --key KEY.pem [--delta-tool TOOL.exe]
//   zrmake inspect PATCH.exe [--key PUBLIC.blob]
//   zrmake build RECIPE -o PATCH.exe [-j N]
//
// Exit code 0 on success, 1 with the reasons on standard error.

#include <CLI/CLI.hpp>

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "make/checksumWriter.h"
#include "make/createPatch.h"
#include "make/patchInspector.h"
#include "make/patchPacker.h"
#include "make/payloadNames.h"
#include "make/recipe.h"
#include "make/stepDiff.h"
#include "make/treeWalk.h"
#include "patch/moduleEntrySource.h"
#include "patch/patchStore.h"
#include "platform/console.h"
#include "platform/signing.h"
#include "zrconfig/toolReports.h"

namespace {

int Fail(const std::vector<std::string>& problems) {
  for (const std::string& problem : problems) std::fprintf(stderr, "error: %s\n", problem.c_str());
  return 1;
}

int Fail(const std::string& problem) { return Fail(std::vector<std::string>{problem}); }

std::string Megabytes(std::uint64_t bytes) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f MiB", static_cast<double>(bytes) / (1024.0 * 1024.0));
  return text;
}

// A progress bar on standard error when it is a terminal; nothing otherwise.
class ProgressBar {
 public:
  ProgressBar() : enabled_(platform::IsTerminal(platform::ConsoleStream::Error)) {}
  ~ProgressBar() { Done(); }

  void Show(std::uint64_t done, std::uint64_t total, const std::string& name) {
    if (!enabled_) return;
    const int width = 30;
    const double share = total == 0 ? 1.0 : static_cast<double>(done) / static_cast<double>(total);
    const int filled = static_cast<int>(share * width);
    std::string bar(static_cast<std::size_t>(filled), '#');
    bar.resize(width, '.');
    std::string shown = name;
    const int room = platform::TerminalWidth() - width - 32;
    if (room < 8) shown.clear();
    else if (static_cast<int>(shown.size()) > room) shown = "..." + shown.substr(shown.size() - static_cast<std::size_t>(room - 3));
    std::fprintf(stderr, "\r[%s] %3d%% %s %-*s", bar.c_str(), static_cast<int>(share * 100), Megabytes(done).c_str(),
                 room > 0 ? room : 0, shown.c_str());
    std::fflush(stderr);
    shown_ = true;
  }
  void Done() {
    if (shown_) std::fprintf(stderr, "\n");
    shown_ = false;
  }
  std::function<void(std::uint64_t, std::uint64_t, const std::string&)> Callback() {
    return [this](std::uint64_t done, std::uint64_t total, const std::string& name) { Show(done, total, name); };
  }

 private:
  bool enabled_;
  bool shown_ = false;
};

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// Where the Windows build of zrvcdiff is looked for when no delta tool is named: beside the patch
// program, beside this program, and in the project's Windows build folder next to this build's.
std::vector<std::string> DeltaToolCandidates(const std::string& stub, const std::string& self) {
  const std::string own = FolderOf(self);
  return {FolderOf(stub) + "zrvcdiff.exe", own + "zrvcdiff.exe", own + "../../windows/tools/zrvcdiff.exe"};
}

struct DiffCommand {
  make::DiffOptions options;
  int Run() {
    ProgressBar bar;
    options.progress = bar.Callback();
    make::DiffReport report;
    const bool ok = make::DiffTrees(options, &report);
    bar.Done();
    for (const std::string& warning : report.warnings) std::fprintf(stderr, "warning: %s\n", warning.c_str());
    if (!ok) return Fail(report.problems);
    std::printf("%d files (%s): %d deltas (%d up to date), %d identical, %d new, %d deleted; %d stale entries removed\n",
                report.files, Megabytes(report.bytes).c_str(), report.deltas, report.upToDate, report.identical,
                report.added, report.deleted, report.removedStale);
    return 0;
  }
};

struct CrcCommand {
  std::vector<std::string> trees;
  std::vector<std::string> distributions;
  std::string version, payload;
  std::vector<std::string> tolerate;
  int Run() {
    if (!distributions.empty() && distributions.size() != trees.size()) {
      return Fail("give one --distribution per tree (" + std::to_string(trees.size()) + " trees)");
    }
    if (distributions.empty() && trees.size() > 1) return Fail("several trees need a --distribution tag each");
    std::vector<make::ChecksumTree> list;
    for (std::size_t i = 0; i < trees.size(); ++i) list.push_back(make::ChecksumTree{trees[i], distributions.empty() ? "" : distributions[i]});
    make::ChecksumReport report;
    if (!make::WriteChecksumList(list, version, tolerate, payload, &report)) return Fail(report.problems);
    std::string normalized;
    make::NormalizeVersion(version, &normalized);
    std::printf("%s/CRC/%s/CRC.CRC: %d lines for %d files (%d tolerated, %d empty files tolerated)\n", payload.c_str(),
                normalized.c_str(), report.lines, report.files, report.tolerated, report.emptyFiles);
    return 0;
  }
};

struct KeygenCommand {
  std::string privateKey, publicKey;
  std::uint32_t bits = platform::kDefaultKeyBits;
  bool force = false;
  int Run() {
    if (publicKey.empty()) publicKey = make::ReplaceLastExtension(privateKey, ".blob");
    if (!force && (make::FileExists(privateKey.c_str()) || make::FileExists(publicKey.c_str()))) {
      return Fail("the key files exist already; a lost private key cannot sign updates to patches that trust it "
                  "(use --force to replace them)");
    }
    std::string pem;
    platform::KeyBlob blob;
    const platform::SigningResult result = platform::GenerateSigningKey(bits, &pem, &blob);
    if (result != platform::SigningResult::Ok) return Fail(std::string("keygen: ") + platform::SigningResultText(result));
    std::string error, fingerprint;
    if (!make::WriteWholeFile(privateKey, pem, &error) ||
        !make::WriteWholeFile(publicKey, std::string(blob.begin(), blob.end()), &error)) {
      return Fail(error);
    }
    platform::KeyFingerprint(blob, &fingerprint);
    std::printf("private key: %s (keep it secret)\npublic key: %s\nfingerprint: %s\n", privateKey.c_str(),
                publicKey.c_str(), fingerprint.c_str());
    return 0;
  }
};

struct SignCommand {
  std::string key, file, output;
  int Run() {
    if (output.empty()) output = file + ".sign";
    std::string pem, bytes, error, fingerprint;
    platform::KeyBlob blob;
    if (!make::ReadKeyFile(key, &pem, &blob, &fingerprint, &error)) return Fail(error);
    if (!make::ReadWholeFile(file, &bytes, 0xFFFFFFFFu)) return Fail(file + ": cannot be read");
    std::vector<std::uint8_t> signature;
    const platform::SigningResult result = platform::SignBytes(pem, bytes.data(), static_cast<std::uint32_t>(bytes.size()),
                                                               platform::SignedDigest::Sha1, &signature);
    if (result != platform::SigningResult::Ok) return Fail(key + ": " + platform::SigningResultText(result));
    if (!make::WriteWholeFile(output, std::string(signature.begin(), signature.end()), &error)) return Fail(error);
    std::printf("%s: signed with %s\n", output.c_str(), fingerprint.c_str());
    return 0;
  }
};

struct PackCommand {
  make::PackOptions options;
  std::string self;
  int Run() {
    options.deltaToolCandidates = DeltaToolCandidates(options.stub, self);
    make::PackReport report;
    if (!make::PackPatch(options, &report)) return Fail(report.problems);
    std::printf("%s: %d entries, %s of payload, %s; delta tool %s; key %s\n", options.output.c_str(), report.entries,
                Megabytes(report.payloadBytes).c_str(), Megabytes(report.fileSize).c_str(), report.deltaTool.c_str(),
                report.fingerprint.c_str());
    if (!report.payloadTable) std::printf("note: no payload table: only the manifest is signed\n");
    if (report.signatureRemoved) std::printf("note: the patch program was code-signed; sign the patch again\n");
    return 0;
  }
};

// Writes every entry with a payload name to a file below `folder` (the name's backslashes as folders).
bool ExtractEntries(const std::string& patchPath, const std::string& folder, std::vector<std::string>* problems) {
  std::string error;
  std::unique_ptr<patch::ModuleEntrySource> store = patch::ModuleEntrySource::Open(patchPath.c_str(), &error);
  if (!store) {
    problems->push_back(patchPath + ": " + error);
    return false;
  }
  std::vector<std::string> names;
  store->EnumerateNames([](const char* name, void* context) {
    static_cast<std::vector<std::string>*>(context)->push_back(name);
  }, &names);
  for (const std::string& name : names) {
    make::EntryNameInfo info;
    patch::EntryRange entry;
    if (!make::ClassifyEntryName(name, &info).empty() || !store->Find(name.c_str(), &entry)) continue;
    std::string relative = name;
    for (char& c : relative) {
      if (c == '\\') c = '/';
    }
    const std::string path = folder + "/" + relative;
    int writeError = 0;
    if (!make::CreateFolders(path.substr(0, path.find_last_of('/'))) ||
        !patch::WriteEntryToFile(*store, entry, path.c_str(), nullptr, &writeError, &error)) {
      problems->push_back(error.empty() ? path + ": cannot be written" : path + ": " + error);
      return false;
    }
  }
  return true;
}

struct InspectCommand {
  std::string patch, key, extract;
  bool quiet = false;
  int Run() {
    make::InspectReport report;
    const bool ok = make::InspectPatch(patch, key, &report);
    if (!extract.empty() && !ExtractEntries(patch, extract, &report.problems)) return Fail(report.problems);
    if (!quiet) {
      std::printf("patch: %s, %d entries\n", patch.c_str(), report.entries);
      for (const make::InspectedGroup& group : report.groups) {
        std::printf("%s: %zu entries, %llu bytes\n", group.title.c_str(), group.entries.size(),
                    static_cast<unsigned long long>(group.bytes));
        for (const make::InspectedEntry& entry : group.entries) {
          std::printf("  %12llu  %s\n", static_cast<unsigned long long>(entry.size), entry.name.c_str());
        }
      }
      std::printf("key: %s\n", report.fingerprint.empty() ? "(none)" : report.fingerprint.c_str());
      std::printf("signature: %s\n", report.signatureValid ? "valid" : "NOT VALID");
      if (report.payloadTable) {
        std::printf("payload table: %s\n", report.payloadVerified
                                                 ? ("signed; all " + std::to_string(report.tableEntries) +
                                                    " entries match their digests").c_str()
                                                 : "DOES NOT MATCH (see the problems)");
      } else {
        std::printf("payload table: none\n");
      }
      std::printf("manifest:\n%s", report.manifestText.c_str());
      if (!report.manifestText.empty() && report.manifestText.back() != '\n') std::printf("\n");
    }
    for (const std::string& note : report.notes) std::printf("note: %s\n", note.c_str());
    for (const std::string& problem : report.problems) std::fprintf(stderr, "problem: %s\n", problem.c_str());
    if (!ok) {
      std::fprintf(stderr, "error: %s: %zu problem%s\n", patch.c_str(), report.problems.size(),
                   report.problems.size() == 1 ? "" : "s");
      return 1;
    }
    std::printf("consistent: no problems\n");
    return 0;
  }
};

struct BuildCommand {
  make::BuildOptions options;
  std::string self;
  int Run() {
    ProgressBar bar;
    options.stage = [&bar](const std::string& stage) {
      bar.Done();
      std::printf("== %s\n", stage.c_str());
      std::fflush(stdout);
    };
    options.progress = bar.Callback();
    make::Recipe recipe;
    std::vector<std::string> problems;
    if (make::ReadRecipe(options.recipe, &recipe, &problems)) {
      options.deltaToolCandidates = DeltaToolCandidates(recipe.patchProgram, self);
    }
    make::BuildReport report;
    const bool ok = make::BuildPatch(options, &report);
    bar.Done();
    for (const std::string& note : report.notes) std::printf("%s\n", note.c_str());
    if (!ok) return Fail(report.problems);
    std::printf("%s: %d entries, %s, signed with %s; inspected: no problems\n", options.output.c_str(), report.entries,
                Megabytes(report.fileSize).c_str(), report.fingerprint.c_str());
    return 0;
  }
};

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"zrmake: build signed patch executables from installation trees"};
  app.require_subcommand(1);
  bool verbose = false;
  app.add_flag("--verbose", verbose, "Also show the libraries' log lines (one per file diffed)");
  ToolReports reports;
  std::function<int()> command;
  const std::string self = argc > 0 ? argv[0] : "";

  DiffCommand diff;
  CLI::App* diffApp = app.add_subcommand("diff", "Write one version step's payload entries from two trees");
  diffApp->add_option("OLD", diff.options.oldTree, "The older version's installation tree")->required();
  diffApp->add_option("NEW", diff.options.newTree, "The newer version's installation tree")->required();
  diffApp->add_option("--from", diff.options.fromVersion, "The older version (1.05)")->required();
  diffApp->add_option("--to", diff.options.toVersion, "The newer version (1.06)")->required();
  diffApp->add_option("-o,--output", diff.options.payload, "The payload folder (the step's entries go below 1.05-1.06)")->required();
  diffApp->add_flag("--carry-new", diff.options.carryNewFiles, "Carry files new in NEW whole (.new) instead of marking them (.ini)");
  diffApp->add_option("--distribution", diff.options.distribution, "Mark every entry as this distribution's own (.#TAG)");
  diffApp->add_option("-j,--jobs", diff.options.jobs, "Files encoded at a time (default: one per processor core)");
  diffApp->add_option("--xdelta3", diff.options.encoder, "The delta encoder program (default: xdelta3 on the PATH)");
  diffApp->callback([&] { command = [&] { return diff.Run(); }; });

  CrcCommand crc;
  CLI::App* crcApp = app.add_subcommand("crc", "Write a version's checksum list (PAYLOAD/CRC/<version>/CRC.CRC)");
  crcApp->add_option("TREES", crc.trees, "The version's installation tree (one per distribution)")->required();
  crcApp->add_option("--version", crc.version, "The version the trees hold (1.06)")->required();
  crcApp->add_option("-o,--output", crc.payload, "The payload folder")->required();
  crcApp->add_option("--distribution", crc.distributions, "The distribution of each tree, in order");
  crcApp->add_option("--tolerate", crc.tolerate, "Files whose line only warns (pattern with * and ?, e.g. *.log)");
  crcApp->callback([&] { command = [&] { return crc.Run(); }; });

  KeygenCommand keygen;
  CLI::App* keygenApp = app.add_subcommand("keygen", "Make a new signing key pair (RSA, exponent 65537)");
  keygenApp->add_option("-o,--output", keygen.privateKey, "The private key file to write (PEM)")->required();
  keygenApp->add_option("--public", keygen.publicKey, "The public key blob to write (default: the key's name with .blob)");
  keygenApp->add_option("--bits", keygen.bits,
                         "The key's size: 3072 (default), 2048 or 4096; 1024 signs manifests only, for patches "
                         "without a payload table")
      ->check(CLI::IsMember({1024, 2048, 3072, 4096}));
  keygenApp->add_flag("--force", keygen.force, "Replace existing key files");
  keygenApp->callback([&] { command = [&] { return keygen.Run(); }; });

  SignCommand sign;
  CLI::App* signApp = app.add_subcommand("sign", "Sign a file's exact bytes as the patch program checks a manifest");
  signApp->add_option("KEY", sign.key, "The private key (PEM)")->required();
  signApp->add_option("FILE", sign.file, "The file to sign")->required();
  signApp->add_option("-o,--output", sign.output, "The signature file (default: FILE.sign)");
  signApp->callback([&] { command = [&] { return sign.Run(); }; });

  PackCommand pack;
  pack.self = self;
  CLI::App* packApp = app.add_subcommand("pack", "Pack payload, signed manifest and key into a patch executable");
  packApp->add_option("STUB", pack.options.stub, "The patch program's Windows build")->required();
  packApp->add_option("PAYLOAD", pack.options.payload, "The payload folder")->required();
  packApp->add_option("MANIFEST", pack.options.manifest, "The manifest text")->required();
  packApp->add_option("-o,--output", pack.options.output, "The patch executable to write")->required();
  packApp->add_option("--key", pack.options.keyFile, "The private signing key (PEM)")->required();
  packApp->add_option("--delta-tool", pack.options.deltaTool,
                      "Carried as XDELTA3.EXE (default: zrvcdiff.exe beside STUB or this program, or the Windows build's)");
  packApp->add_flag("!--without-payload-table", pack.options.payloadTable,
                    "Leave out the signed payload table: the original format, for a 1024-bit key (only the "
                    "manifest is signed; the Linux program refuses such patches unless the player allows them)");
  packApp->callback([&] { command = [&] { return pack.Run(); }; });

  InspectCommand inspect;
  CLI::App* inspectApp = app.add_subcommand("inspect", "List a patch's entries, check its signature and consistency");
  inspectApp->add_option("PATCH", inspect.patch, "The patch executable")->required();
  inspectApp->add_option("--key", inspect.key, "The publisher's public key blob the patch must carry");
  inspectApp->add_flag("-q,--quiet", inspect.quiet, "Print only the problems");
  inspectApp->add_option("--extract", inspect.extract, "Also write every entry to a file below this folder");
  inspectApp->callback([&] { command = [&] { return inspect.Run(); }; });

  BuildCommand build;
  build.self = self;
  CLI::App* buildApp = app.add_subcommand("build", "Diff, list checksums, pack, sign and inspect, from a recipe");
  buildApp->add_option("RECIPE", build.options.recipe, "The recipe (a text config; see README)")->required();
  buildApp->add_option("-o,--output", build.options.output, "The patch executable to write")->required();
  buildApp->add_option("-j,--jobs", build.options.jobs, "Files encoded at a time (default: one per processor core)");
  buildApp->add_option("--xdelta3", build.options.encoder, "The delta encoder program (default: xdelta3 on the PATH)");
  buildApp->callback([&] { command = [&] { return build.Run(); }; });

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    // --help ends here with 0; a command line that cannot be used prints its reason and gives 1.
    return app.exit(error) == 0 ? 0 : 1;
  }
  reports.SetVerbose(verbose);
  return command ? command() : 0;
}
