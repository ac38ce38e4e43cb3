// make: three versions of the example game in two distributions, and the publisher's manifest for the
// patch to 1.08. Everything is made the same way every run, so that patches built from it are
// reproducible.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "El/QStream/crc32.h"
#include "exampleGame.h"
#include "gameExecutable.h"

namespace zrexample {
namespace {

namespace fs = std::filesystem;

using Tree = std::map<std::string, std::string>;  // relative path (backslashes) -> content

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

}  // namespace

int RunMake(const std::string& directory, const MakeOptions& options, const std::vector<std::string>& only) {
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

}  // namespace zrexample
