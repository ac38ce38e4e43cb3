// zrexample: the example game of the demo and the end-to-end tests. It writes three versions (1.05,
// 1.06, 1.08) of a small game in two distributions (ENGLISH and GERMAN), with the publisher's
// manifest for the patch to 1.08, and installs a version into a Wine prefix the way the game's own
// installer would (its folder under Program Files and its registration), without running Wine.
//
//   zrexample make DIR [--scale MIB]         DIR/<DISTRIBUTION>/<VERSION>/... and DIR/manifest.cfg
//   zrexample install TREE --prefix PREFIX   copies TREE into the prefix and registers it
//   zrexample compare TREE FOLDER            the installation against a version, names ignoring case
//
// Everything is made the same way every run, so that patches built from it are reproducible.

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "El/QStream/crc32.h"
#include "pe/versionInfo.h"
#include "platform/machine.h"
#include "platform/nameFolding.h"
#include "platform/registry.h"

namespace fs = std::filesystem;

namespace {

using Tree = std::map<std::string, std::string>;  // relative path (backslashes) -> content

const char* const kRegistryKey = "Software\\Corvanth\\Example";
const char* const kFolderName = "Example Game";

void Put16(std::vector<std::uint8_t>* bytes, std::size_t at, std::uint32_t value) { pe::StoreU16(bytes->data() + at, value); }
void Put32(std::vector<std::uint8_t>* bytes, std::size_t at, std::uint32_t value) { pe::StoreU32(bytes->data() + at, value); }

// A minimal 32-bit Windows program: headers and one code section whose entry returns at once.
std::vector<std::uint8_t> MinimalImage() {
  std::vector<std::uint8_t> b(0x400, 0);
  b[0] = 'M', b[1] = 'Z';
  Put32(&b, 0x3C, 0x40);
  b[0x40] = 'P', b[0x41] = 'E';
  const std::size_t file = 0x44, optional = file + 20, section = optional + 224;
  Put16(&b, file, 0x14C);       // i386
  Put16(&b, file + 2, 1);       // one section
  Put16(&b, file + 16, 224);    // optional header size
  Put16(&b, file + 18, 0x102);  // executable, 32-bit
  Put16(&b, optional, 0x10B);   // PE32
  Put32(&b, optional + 4, 0x200);       // code size
  Put32(&b, optional + 16, 0x1000);     // entry point
  Put32(&b, optional + 20, 0x1000);     // code base
  Put32(&b, optional + 28, 0x400000);   // image base
  Put32(&b, optional + 32, 0x1000);     // section alignment
  Put32(&b, optional + 36, 0x200);      // file alignment
  Put16(&b, optional + 40, 4);          // operating system version
  Put16(&b, optional + 48, 4);          // subsystem version
  Put32(&b, optional + 56, 0x2000);     // image size
  Put32(&b, optional + 60, 0x200);      // headers size
  Put16(&b, optional + 68, 2);          // windowed
  Put32(&b, optional + 72, 0x100000);   // stack reserve
  Put32(&b, optional + 76, 0x1000);     // stack commit
  Put32(&b, optional + 80, 0x100000);   // heap reserve
  Put32(&b, optional + 84, 0x1000);     // heap commit
  Put32(&b, optional + 92, 16);         // data directories
  std::copy_n(".text", 5, b.begin() + static_cast<std::ptrdiff_t>(section));
  Put32(&b, section + 8, 1);
  Put32(&b, section + 12, 0x1000);
  Put32(&b, section + 16, 0x200);
  Put32(&b, section + 20, 0x200);
  Put32(&b, section + 36, 0x60000020);  // code, executable, readable
  b[0x200] = 0xC3;                      // ret
  return b;
}

// The game's executable with `version` as its file version.
bool GameExecutable(const std::string& version, std::string* bytes, std::string* error) {
  const std::vector<std::uint8_t> image = MinimalImage();
  std::vector<std::uint8_t> executable;
  if (!pe::WithFileVersion(pe::ByteView{image.data(), image.size()}, version, &executable, error)) return false;
  bytes->assign(executable.begin(), executable.end());
  return true;
}

// Bytes that look like game data: records of text with numbers, then binary noise.
std::string Records(std::uint32_t seed, std::size_t size) {
  std::string text;
  std::uint32_t state = seed * 2654435761u + 7;
  auto next = [&state]() { return state = state * 1103515245u + 12345u; };
  while (text.size() < size) {
    char line[96];
    std::snprintf(line, sizeof line, "unit %08x level=%u speed=%u name=unit_%x\n", next(), next() % 90, next() % 300,
                  next());
    text += line;
  }
  text.resize(size);
  return text;
}

// `base` with every `stride`-th record changed and a block inserted in the middle.
std::string Changed(const std::string& base, std::uint32_t seed, std::size_t stride) {
  std::string text = base;
  std::uint32_t state = seed;
  for (std::size_t at = stride / 2; at + 8 < text.size(); at += stride) {
    state = state * 1103515245u + 12345u;
    for (int i = 0; i < 8; ++i) text[at + static_cast<std::size_t>(i)] = static_cast<char>('a' + (state >> (i * 3)) % 26);
  }
  return text.insert(text.size() / 2, Records(seed, text.size() / 50));
}

// The strings file of every version written, by distribution and version: the manifest tells the
// distributions apart by it.
using StringsFiles = std::map<std::string, std::map<std::string, std::string>>;

struct MakeOptions {
  std::size_t scale = 1;     // MiB of map data, roughly
  bool withStep107 = false;  // a version 1.07 between 1.06 and 1.08 (three steps instead of two)
};

bool WriteTree(const fs::path& folder, const Tree& tree, std::string* error);

// Writes each version of one distribution below `folder` as it is made; only two are held at a time.
bool MakeVersions(const std::string& distribution, const MakeOptions& options, const fs::path& folder,
                  StringsFiles* strings, std::string* error) {
  const bool german = distribution == "GERMAN";
  const std::size_t mib = 1024 * 1024;
  const std::size_t scale = options.scale;
  auto done = [&](const std::string& version, const Tree& tree) {
    (*strings)[distribution][version] = tree.at("Text\\Strings.txt");
    return WriteTree(folder / version, tree, error);
  };
  Tree tree;
  if (!GameExecutable("1.05", &tree["Game.exe"], error)) return false;
  tree["Data\\Maps\\Island.map"] = Records(1, scale * mib / 2 + 300000);
  tree["Data\\Maps\\Desert.map"] = Records(2, scale * mib / 4 + 200000);
  tree["Data\\Sounds\\Intro.wav"] = Records(3, scale * mib / 8 + 100000);
  tree["Data\\Old.cfg"] = "difficulty=normal\r\n";
  tree["Text\\Strings.txt"] = german ? "start=Spiel starten\r\nquit=Beenden\r\n" : "start=Start game\r\nquit=Quit\r\n";
  tree[german ? "Text\\\xC3\x9C" "bersicht.txt" : "Text\\Overview.txt"] = german ? "Inhalt\r\n" : "Contents\r\n";
  tree["readme.txt"] = "Example Game 1.05\r\n";
  tree["Empty.dat"] = "";
  // Names outside every Western code page: Czech, Polish, Cyrillic, Greek and Japanese.
  tree["Docs\\\xC5\x99" "e\xC4\x8D.txt"] = "cs 1.05\r\n";                                  // Docs\řeč.txt
  tree["Docs\\\xC5\xBB\xC3\xB3\xC5\x82\xC4\x87.txt"] = "pl 1.05\r\n";                      // Docs\Żółć.txt
  tree["Docs\\\xD0\x9A\xD0\xB0\xD1\x80\xD1\x82\xD0\xB0.txt"] = "ru 1.05\r\n";              // Docs\Карта.txt
  tree["Docs\\\xCE\x91\xCF\x81\xCF\x87\xCE\xB5\xCE\xAF\xCE\xBF.txt"] = "el 1.05\r\n";      // Docs\Αρχείο.txt
  tree["Docs\\\xE3\x83\x87\xE3\x83\xBC\xE3\x82\xBF.txt"] = "ja 1.05\r\n";                  // Docs\データ.txt
  // Folders in those scripts, and names whose upper-case form is longer ("ɐ" two bytes, "Ɐ" three) or
  // shorter ("ⱥ" three bytes, "Ⱥ" two) in UTF-8.
  tree["Docs\\\xCE\x9F\xCE\xB4\xCE\xB7\xCE\xB3\xCE\xBF\xCE\xAF\\\xD0\xA1\xD0\xBF\xD1\x80\xD0\xB0\xD0\xB2\xD0\xBA\xD0\xB0.txt"] =
      "el/ru 1.05\r\n";                                                                       // Docs\Οδηγοί\Справка.txt
  tree["Docs\\\xE6\x97\xA5\xE6\x9C\xAC\\\xC9\x90\xE2\xB1\xA5.txt"] = "ja/upper 1.05\r\n";  // Docs\日本\ɐⱥ.txt
  if (!done("1.05", tree)) return false;

  if (!GameExecutable("1.06", &tree["Game.exe"], error)) return false;
  tree["Data\\Maps\\Island.map"] = Changed(tree["Data\\Maps\\Island.map"], 6, 4096);
  tree["Data\\Maps\\Forest.map"] = Records(4, scale * mib / 4 + 150000);
  tree["Text\\Strings.txt"] += german ? "load=Laden\r\n" : "load=Load\r\n";
  tree["readme.txt"] = "Example Game 1.06\r\n";
  tree["Docs\\\xC5\x99" "e\xC4\x8D.txt"] = "cs 1.06\r\n";
  tree["Docs\\\xE3\x83\x87\xE3\x83\xBC\xE3\x82\xBF.txt"] = "ja 1.06\r\n";
  // Renamed only in a non-ASCII letter's case, contents kept: Docs\Żółć.txt becomes Docs\żółć.txt.
  tree["Docs\\\xC5\xBC\xC3\xB3\xC5\x82\xC4\x87.txt"] = tree["Docs\\\xC5\xBB\xC3\xB3\xC5\x82\xC4\x87.txt"];
  tree.erase("Docs\\\xC5\xBB\xC3\xB3\xC5\x82\xC4\x87.txt");
  if (!done("1.06", tree)) return false;

  if (options.withStep107) {
    if (!GameExecutable("1.07", &tree["Game.exe"], error)) return false;
    tree["Data\\Maps\\Forest.map"] = Changed(tree["Data\\Maps\\Forest.map"], 7, 3072);
    tree["Data\\Sounds\\Intro.wav"] = Changed(tree["Data\\Sounds\\Intro.wav"], 17, 16384);
    tree["readme.txt"] = "Example Game 1.07\r\n";
    if (!done("1.07", tree)) return false;
  }

  if (!GameExecutable("1.08", &tree["Game.exe"], error)) return false;
  tree["Data\\Maps\\Island.map"] = Changed(tree["Data\\Maps\\Island.map"], 8, 8192);
  tree["Data\\Maps\\Desert.map"] = Changed(tree["Data\\Maps\\Desert.map"], 9, 2048);
  tree.erase("Data\\Old.cfg");
  tree["Tools\\Editor.exe"] = tree["Game.exe"];
  tree["Text\\Strings.txt"] += german ? "save=Speichern\r\n" : "save=Save\r\n";
  tree["readme.txt"] = "Example Game 1.08\r\n";
  return done("1.08", tree);
}

std::string NativeRelative(const std::string& relative) {
  std::string path = relative;
  for (char& c : path) {
    if (c == '\\') c = '/';
  }
  return path;
}

bool WriteTree(const fs::path& folder, const Tree& tree, std::string* error) {
  for (const auto& file : tree) {
    const fs::path path = folder / NativeRelative(file.first);
    std::error_code code;
    fs::create_directories(path.parent_path(), code);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(file.second.data(), static_cast<std::streamsize>(file.second.size()));
    if (!out.good()) {
      *error = "cannot write " + path.string();
      return false;
    }
  }
  return true;
}

std::string Crc(const std::string& content) {
  return std::to_string(static_cast<std::int32_t>(Crc32Of(content.data(), content.size())));
}

// The publisher's manifest for the patch to 1.08: the two distributions are told apart by their
// strings file (in each version, so that an installation already at 1.08 is recognised too); German
// installations get a start-menu link to the new editor and a language value.
std::string ManifestText(const StringsFiles& distributions) {
  std::string rules;
  for (const auto& distribution : distributions) {
    for (const auto& version : distribution.second) {
      rules += "  class " + distribution.first + "_" + version.first.substr(0, 1) + version.first.substr(2) +
               " { file=\"Text\\Strings.txt\"; crc=" + Crc(version.second) +
               "; distributions[]={\"" + distribution.first + "\"}; };\n";
    }
  }
  return std::string() +
         "configApp=\"" + kRegistryKey + "\";\n"
         "displayName=\"Example Game\";\n"
         "version=\"1.08\";\n"
         "appName=\"Game.exe\";\n"
         "isPatch=1;\n"
         "requiredForPatch=\"1.05\";\n"
         "class Distributions {\n"
         "  class ENGLISH { scope=1; name=\"English edition\"; parent=\"\"; };\n"
         "  class GERMAN { scope=1; name=\"Deutsche Ausgabe\"; parent=\"\"; };\n"
         "};\n"
         "class WhatDistribution {\n" + rules + "};\n"
         "class UpdateRegistry {\n"
         "  class Version { registryUser=0; registryPath=\"" + kRegistryKey + "\"; registryName=\"Version\";"
         " registryValue=\"1.08\"; };\n"
         "  class Language { registryUser=1; registryPath=\"" + kRegistryKey + "\"; registryName=\"Language\";"
         " registryValue=\"Deutsch\"; distributions[]={\"GERMAN\"}; };\n"
         "};\n"
         "class Shortcuts {\n"
         "  class Editor { source=\"Map Editor\"; destination=\"Tools\\Editor.exe\"; arguments=\"-map Island\";"
         " workingDirectory=\"Tools\\Editor.exe\"; startMenuGroup=\"Example Game\"; description=\"Example Game map editor\";"
         " includeDistributions[]={\"GERMAN\"}; };\n"
         "  class Readme { source=\"Readme\"; destination=\"readme.txt\"; arguments=\"\";"
         " workingDirectory=\"readme.txt\"; startMenuGroup=\"\"; description=\"Read me\"; };\n"
         "};\n";
}

int Make(const std::string& directory, const MakeOptions& options, const std::vector<std::string>& only) {
  std::string error;
  StringsFiles strings;
  for (const std::string distribution : {"ENGLISH", "GERMAN"}) {
    if (!only.empty() && std::find(only.begin(), only.end(), distribution) == only.end()) continue;
    if (!MakeVersions(distribution, options, fs::path(directory) / distribution, &strings, &error)) {
      std::fprintf(stderr, "zrexample: %s\n", error.c_str());
      return 1;
    }
  }
  std::ofstream manifest(fs::path(directory) / "manifest.cfg", std::ios::binary | std::ios::trunc);
  manifest << ManifestText(strings);
  if (!manifest.good()) {
    std::fprintf(stderr, "zrexample: cannot write the manifest\n");
    return 1;
  }
  std::printf("zrexample: versions 1.05, 1.06,%s 1.08 in %s\n", options.withStep107 ? " 1.07," : "", directory.c_str());
  return 0;
}

// A registry file as Wine starts one, for a prefix that has none yet.
void CreateRegistryFile(const fs::path& path, const char* root, bool machine) {
  if (fs::exists(path)) return;
  std::ofstream out(path, std::ios::binary);
  out << "WINE REGISTRY Version 2\n;; All keys relative to " << root << "\n\n";
  if (machine) out << "#arch=win64\n";  // as Wine makes prefixes by default
}

int Install(const std::string& tree, const std::string& prefix) {
  std::error_code code;
  // A prefix that does not exist yet is made with what the patch needs: drive C and the registry.
  fs::create_directories(fs::path(prefix) / "drive_c", code);
  CreateRegistryFile(fs::path(prefix) / "system.reg", "\\\\Machine", true);
  CreateRegistryFile(fs::path(prefix) / "user.reg", "\\\\User\\\\S-1-5-21-0-0-0-1000", false);
  std::string error;
  if (!platform::SelectPrefix(prefix.c_str(), &error)) {
    std::fprintf(stderr, "zrexample: %s\n", error.c_str());
    return 1;
  }
  const std::string folder = platform::ProgramFilesFolder() + "\\" + kFolderName;
  std::string native;
  if (!platform::ToNativePath(folder.c_str(), &native)) {
    std::fprintf(stderr, "zrexample: cannot map %s into the prefix\n", folder.c_str());
    return 1;
  }
  fs::remove_all(native, code);
  fs::create_directories(native, code);
  fs::copy(tree, native, fs::copy_options::recursive, code);
  if (code) {
    std::fprintf(stderr, "zrexample: cannot copy %s to %s: %s\n", tree.c_str(), native.c_str(), code.message().c_str());
    return 1;
  }
  if (!platform::CurrentRegistry()->WriteString(platform::RegistryHive::LocalMachine, kRegistryKey, "MAIN",
                                                folder.c_str(), &error)) {
    std::fprintf(stderr, "zrexample: cannot register the game: %s\n", error.c_str());
    return 1;
  }
  std::printf("zrexample: installed %s as %s (HKEY_LOCAL_MACHINE\\%s MAIN)\n", tree.c_str(), folder.c_str(),
              kRegistryKey);
  return 0;
}

// The relative paths of every file below `folder` (slashes), keyed by their case-folded form.
std::map<std::string, std::string> FilesByFoldedName(const fs::path& folder) {
  std::map<std::string, std::string> files;
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(folder)) {
    if (!entry.is_regular_file()) continue;
    const std::string relative = fs::relative(entry.path(), folder).generic_string();
    files[platform::FoldNameCase(relative)] = relative;
  }
  return files;
}

std::string Contents(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Compares an installation with a version tree as Windows would: names without regard to case,
// contents byte for byte. Files the patch adds besides the tree (`extra` names) are allowed.
int Compare(const std::string& expected, const std::string& installed, const std::vector<std::string>& extra) {
  const auto want = FilesByFoldedName(expected);
  auto have = FilesByFoldedName(installed);
  int differences = 0;
  for (const auto& file : want) {
    const auto found = have.find(file.first);
    if (found == have.end()) {
      std::printf("missing: %s\n", file.second.c_str());
      ++differences;
      continue;
    }
    if (Contents(fs::path(expected) / file.second) != Contents(fs::path(installed) / found->second)) {
      std::printf("different: %s\n", found->second.c_str());
      ++differences;
    }
    have.erase(found);
  }
  for (const auto& file : have) {
    bool allowed = false;
    for (const std::string& name : extra) {
      const std::string base = fs::path(file.second).filename().string();
      allowed = allowed || platform::SameNameIgnoringCase(base, name) ||
                (name.size() > 1 && name[0] == '*' && base.size() >= name.size() - 1 &&
                 platform::SameNameIgnoringCase(base.substr(base.size() - (name.size() - 1)), name.substr(1)));
    }
    if (!allowed) {
      std::printf("extra: %s\n", file.second.c_str());
      ++differences;
    }
  }
  if (differences == 0) std::printf("zrexample: %zu files equal, byte for byte\n", want.size());
  return differences == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"The example game of the demo: three versions in two distributions, and its installer"};
  app.require_subcommand(1);
  std::string directory, tree, prefix;
  int scale = 1;
  bool withStep107 = false;
  std::vector<std::string> only;
  CLI::App* make = app.add_subcommand("make", "Write versions 1.05, 1.06 and 1.08 of both distributions and the manifest");
  make->add_option("DIR", directory, "Output folder")->required();
  make->add_option("--scale", scale, "About this many MiB of map data per version (default 1)")->check(CLI::Range(1, 4096));
  make->add_flag("--with-1.07", withStep107, "Also a version 1.07 between 1.06 and 1.08 (three steps)");
  make->add_option("--only", only, "Only these distributions (ENGLISH, GERMAN)");
  CLI::App* install = app.add_subcommand("install", "Install a version tree into a Wine prefix and register it");
  install->add_option("TREE", tree, "The version's folder, e.g. DIR/GERMAN/1.05")->required()->check(CLI::ExistingDirectory);
  install->add_option("--prefix", prefix, "The prefix (made when missing)")->required();
  std::string expected, installed;
  std::vector<std::string> extra;
  CLI::App* compare = app.add_subcommand("compare", "Compare an installation with a version tree as Windows would (names ignoring case)");
  compare->add_option("EXPECTED", expected, "The version's tree")->required()->check(CLI::ExistingDirectory);
  compare->add_option("INSTALLED", installed, "The installation folder")->required()->check(CLI::ExistingDirectory);
  compare->add_option("--extra", extra, "Names the patch may add besides the tree (uninstall.log, *.lnk)");
  CLI11_PARSE(app, argc, argv);
  if (*make) {
    MakeOptions options;
    options.scale = static_cast<std::size_t>(scale);
    options.withStep107 = withStep107;
    return Make(directory, options, only);
  }
  if (*compare) return Compare(expected, installed, extra);
  return Install(tree, prefix);
}
