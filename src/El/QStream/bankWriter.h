#pragma once
// Writes data banks in the layout that QFBank reads (qbstream.h): an optional product entry with
// properties, the entry headers, the terminating empty entry, then the data. Entries are stored as they
// are or LZ-packed; a packed entry that would not be smaller is stored instead.
//
// Typical use (what the config tool's pack command does):
//   BankWriter writer;
//   writer.SetProperty("prefix", "data");
//   if (writer.AddFolder("build/data", true) && writer.Write("data.pbo")) ...

#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

class QOStream;

// Folders nest at most this deep below the packed folder; bank extract refuses deeper entry names, so
// that what it writes can be packed again.
constexpr int kBankMaxFolderDepth = 32;

class BankWriter {
 public:
  // Properties of the product entry, written in the order given; without any there is no product entry.
  void SetProperty(const char* key, const char* value);
  // Adds an entry; '/' in the name becomes '\\'. False, with a message, for an empty name, a name
  // longer than 1022 bytes, a name already in the bank (compared without regard to case, as the bank's
  // look-ups do: "a\\b.txt" and "a/b.txt" are one name), or data above 4 GiB.
  bool AddData(const char* name, const void* data, std::size_t size, std::uint32_t time, bool pack);
  // Adds a disk file under `name`, with its last-write time.
  bool AddFile(const char* name, const char* diskPath, bool pack);
  // Adds every file below `folder` (names relative to it, '\\'-separated, in sorted order); false when
  // the folder cannot be listed or a file cannot be read, when folders nest deeper than
  // kBankMaxFolderDepth, when a file's name holds a backslash (it would read as a folder in the bank),
  // or when a symbolic link leads out of the folder, nowhere, or to a folder (links are not followed
  // into folders). A link to a file inside the folder is packed as that file.
  bool AddFolder(const char* folder, bool pack);

  bool Write(QOStream& out) const;
  // Writes the bank file; false, with a message, when it cannot be written completely.
  bool Write(const char* fileName) const;

  int EntryCount() const { return static_cast<int>(entries_.size()); }

 private:
  struct Entry {
    std::string name;
    std::uint32_t packing;
    std::uint32_t unpackedSize;
    std::uint32_t time;
    std::string data;
  };

  bool AddFolderLevel(const std::string& folder, const std::string& prefix, bool pack, int depth);

  std::string resolvedRoot_;            // the folder being added, every link on the way resolved
  std::set<std::string> foldedNames_;  // the names added so far, lower-cased

  std::vector<std::pair<std::string, std::string>> properties_;
  std::vector<Entry> entries_;
};
