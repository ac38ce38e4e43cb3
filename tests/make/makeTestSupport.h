#pragma once
// Trees of files for the authoring tests, written with the standard library so that the code under
// test reads what an independent writer made.

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/fileSystem.h"

namespace maketest {

inline void Write(const std::filesystem::path& path, const std::string& bytes) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::string Read(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Sets a file's time `secondsAgo` in the past (the up-to-date test compares whole seconds).
inline void Age(const std::filesystem::path& path, int secondsAgo) {
  std::filesystem::last_write_time(path, std::filesystem::file_time_type::clock::now() -
                                             std::chrono::seconds(secondsAgo));
}

// True when one of the problem lines contains `text`.
inline bool Mentions(const std::vector<std::string>& problems, const std::string& text) {
  return std::any_of(problems.begin(), problems.end(),
                     [&](const std::string& problem) { return problem.find(text) != std::string::npos; });
}

// The lines one to a line, for failure messages.
inline std::string Joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

// Bytes that differ from run to run of a generator but are the same for the same seed.
inline std::string Noise(std::size_t size, unsigned seed) {
  std::string bytes(size, '\0');
  unsigned state = seed * 2654435761u + 1;
  for (char& c : bytes) {
    state = state * 1103515245u + 12345u;
    c = static_cast<char>(state >> 16);
  }
  return bytes;
}

// True when a non-ASCII name written here is listed back as written through the platform's file
// system. Linux keeps names as bytes; a Windows program sees names in its ANSI code page, which need
// not hold every character (Wine's often does not), and such names come back with '?'.
inline bool NonAsciiNamesKept(const std::filesystem::path& folder) {
  const std::string name = "Grüße.probe";
  Write(folder / name, "");
  bool kept = false;
  platform::CurrentFileSystem()->ListFolder(folder.string().c_str(), [](const platform::FolderEntry& entry, void* context) {
    if (std::string(entry.name) == "Grüße.probe") *static_cast<bool*>(context) = true;
  }, &kept);
  std::error_code error;
  std::filesystem::remove(folder / name, error);
  return kept;
}

}  // namespace maketest
