#pragma once
// Patches made in memory for the step application tests: game trees as maps from relative paths to
// contents, the versioned entries of a step between two trees (deltas built with the VCDIFF test
// builder, so the tests need no encoder program), checksum lists, whole-file entries, and the folder
// operations to lay a tree out on disk and read it back.

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>

#include "El/QStream/crc32.h"
#include "Es/Containers/nameText.h"
#include "support/memoryEntrySource.h"
#include "vcdiff/deltaBuilder.h"

namespace steppatch {

using Tree = std::map<std::string, std::string>;  // relative path with backslashes -> content

inline std::string Version(int major, int minor) {
  char text[16];
  std::snprintf(text, sizeof text, "%d.%02d", major, minor);
  return text;
}

// A delta from `from` to `to`: the bytes they share at the front copied from the source, the rest added.
inline std::string Delta(const std::string& from, const std::string& to) {
  std::size_t common = 0;
  while (common < from.size() && common < to.size() && from[common] == to[common]) ++common;
  vcdifftest::Window window;
  if (!from.empty()) window.From(vcdifftest::kSource, from.size(), 0);
  if (common > 0) window.Copy(common, 0);
  if (common < to.size()) window.Add(to.substr(common));
  return vcdifftest::Header() + vcdifftest::Encode(window, to);
}

// The checksum list of a tree, in the order of its paths.
inline std::string ChecksumList(const Tree& tree) {
  std::string list;
  for (const auto& file : tree) {
    char line[32];
    std::snprintf(line, sizeof line, " %08X\n", static_cast<unsigned>(Crc32Of(file.second.data(), file.second.size())));
    list += file.first + line;
  }
  return list;
}

// The entries of the step from version `from` to `to`: deltas for changed files, new files, one-byte
// markers for equal and deleted ones; and the checksum lists of both versions.
inline void AddStep(MemoryEntrySource& store, int major, int fromMinor, int toMinor, const Tree& before,
                    const Tree& after) {
  const std::string prefix = Version(major, fromMinor) + "-" + Version(major, toMinor) + "\\";
  for (const auto& file : after) {
    const auto old = before.find(file.first);
    const std::string name = UpperAscii(prefix + file.first);
    if (old == before.end()) {
      store.Add(name + ".NEW", file.second);
    } else if (old->second == file.second) {
      store.Add(name + ".EQU", "E");
    } else {
      store.Add(name + ".UPD", Delta(old->second, file.second));
    }
  }
  for (const auto& file : before) {
    if (!after.count(file.first)) store.Add(UpperAscii(prefix + file.first) + ".DEL", "X");
  }
  store.Add("CRC\\" + Version(major, fromMinor) + "\\CRC.CRC", ChecksumList(before));
  store.Add("CRC\\" + Version(major, toMinor) + "\\CRC.CRC", ChecksumList(after));
}

// The path as the patch lower-cases new files' paths (ASCII letters only).
inline std::string Lower(std::string text) {
  for (char& c : text) c = c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
  return text;
}

// A content by size and checksum; texts of up to 64 bytes as they are.
inline std::string Digest(const std::string& content) {
  if (content.size() <= 64) return content;
  char text[48];
  std::snprintf(text, sizeof text, "%zu bytes, crc %08X", content.size(),
                static_cast<unsigned>(Crc32Of(content.data(), content.size())));
  return text;
}

// Lays `tree` out below `folder`; read back with ReadTree. Both use the standard library, apart from
// the code under test.
inline bool WriteTree(const std::filesystem::path& folder, const Tree& tree) {
  for (const auto& file : tree) {
    std::string relative = file.first;
    for (char& c : relative) c = c == '\\' ? '/' : c;
    const std::filesystem::path path = folder / std::filesystem::u8path(relative);
    std::error_code error;
    std::filesystem::create_directories(path.parent_path(), error);
    std::ofstream out(path, std::ios::binary);
    out.write(file.second.data(), static_cast<std::streamsize>(file.second.size()));
    if (!out.good()) return false;
  }
  return true;
}

// Every file below `folder`, with relative paths in backslashes; folders are listed as "<path>\" with
// no content, so that an empty folder left behind shows.
inline Tree ReadTree(const std::filesystem::path& folder) {
  Tree tree;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
    std::string relative = std::filesystem::relative(entry.path(), folder).generic_u8string();
    for (char& c : relative) c = c == '/' ? '\\' : c;
    if (entry.is_directory()) {
      tree[relative + "\\"] = "";
      continue;
    }
    std::ifstream in(entry.path(), std::ios::binary);
    tree[relative] = Digest(std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()));
  }
  return tree;
}

// A tree as ReadTree gives it: contents by size and checksum, folders of the files listed.
inline Tree Digested(const Tree& files) {
  Tree tree;
  for (const auto& file : files) {
    tree[file.first] = Digest(file.second);
    for (std::size_t at = file.first.find('\\'); at != std::string::npos; at = file.first.find('\\', at + 1)) {
      tree[file.first.substr(0, at + 1)] = "";
    }
  }
  return tree;
}

}  // namespace steppatch
