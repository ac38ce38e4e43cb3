#pragma once
// A build recipe: the one file a publisher writes to go from installation trees to a signed patch.
// It is a text config (which has no comments: the notes after // below are not part of it); paths are
// relative to the recipe's folder.
//
//   manifest = "manifest.cpp";        // the manifest text (required)
//   key = "publisher.pem";            // the private signing key (required)
//   patchProgram = "zrpatch.exe";     // the patch program's Windows build (required)
//   deltaTool = "zrvcdiff.exe";       // carried as XDELTA3.EXE (optional: see zrmake pack)
//   payload = "payload";              // working folder (optional: the output's name + ".payload")
//   carryNewFiles = 1;                // files new in a version travel whole (optional, default 1)
//   tolerate[] = {"*.log"};           // checksum lines that only warn (optional)
//   class Versions                    // oldest first; each step leads from one version to the next
//   {
//     class v105 { version = "1.05"; tree = "game-1.05"; };
//     class v106 { version = "1.06"; class Trees { ENGLISH = "en/1.06"; GERMAN = "de/1.06"; }; };
//   };
//   class Groups { all = "whole"; addon = "addon"; temporary = "tmp"; };  // optional folders
//
// A version names one tree for every distribution (`tree`) or one tree per distribution tag
// (`class Trees`); every version then names the same tags. Files that are the same in every
// distribution get common entries and checksum lines; the rest get the distribution's own.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace make {

struct RecipeVersion {
  std::string version;  // "1.05"
  std::vector<std::pair<std::string, std::string>> trees;  // distribution tag ("" for all), folder
};

struct Recipe {
  std::string manifest, key, patchProgram, deltaTool, payload;
  bool carryNewFiles = true;
  std::vector<std::string> tolerate;
  std::vector<RecipeVersion> versions;
  std::vector<std::pair<std::string, std::string>> groups;  // "ALL"/"ADD"/"TMP", folder
};

// Reads the recipe at `path`; problems carry the file and line where the config library gives them.
bool ReadRecipe(const std::string& path, Recipe* recipe, std::vector<std::string>* problems);

struct BuildOptions {
  std::string recipe;
  std::string output;
  int jobs = 0;
  std::string encoder;  // empty: the default delta encoder
  std::vector<std::string> deltaToolCandidates;
  // Progress lines ("step 1.05-1.06: diff") and per-file progress of the diffs.
  std::function<void(const std::string& stage)> stage;
  std::function<void(std::uint64_t doneBytes, std::uint64_t totalBytes, const std::string& name)> progress;
};

struct BuildReport {
  std::vector<std::string> problems;
  std::vector<std::string> notes;  // one line per stage's outcome
  std::string fingerprint;
  std::uint64_t fileSize = 0;
  int entries = 0;
};

// Checks the manifest against the recipe (it compiles, ends at the recipe's last version, declares
// every distribution tag), the key, the programs and every tree before any delta is made; then diffs
// every step, writes every version's checksum list, packs and signs to "<output>.building", inspects
// that, and renames it to `output` only when the inspection found nothing. On failure nothing is left
// at `output` that was not there before.
bool BuildPatch(const BuildOptions& options, BuildReport* report);

}  // namespace make
