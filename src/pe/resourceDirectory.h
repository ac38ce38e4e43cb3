#pragma once
// The resource directory of an executable: every resource as (type, name, language) with its bytes.
//
// The tree is read once, whole, and checked as it is read: each directory must lie inside the
// resource section, be reached once (loops and shared directories are refused), and the tree must
// have exactly the three levels type, name and language. Counts cannot exceed what the section's bytes
// hold, since every directory entry takes 8 of them. Entry bytes are views into the image, not copies,
// when the image is in memory; a tree read from a file gives each entry's place in the file, and holds
// copies of the small entries other than RCDATA only (string tables, version texts).
//
// Entries are presented as the system's resource functions see them: string names as the file spells
// them, string names before integer identifiers, names in ascending order (code unit by code unit, a
// prefix first), identifiers and languages ascending. A look-up upper-cases the asked-for name
// (pe/nameCase.h) and compares it with the stored one as it is, so a stored name that is not in upper
// case is never found, by the system's loader or by this reader.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "pe/byteStreams.h"
#include "pe/byteView.h"
#include "pe/peImage.h"

namespace pe {

// Standard resource types.
constexpr std::uint16_t kStringTableType = 6;
constexpr std::uint16_t kRcDataType = 10;
constexpr std::uint16_t kVersionType = 16;

// A resource type or name: a string, or a 16-bit integer identifier.
struct ResourceId {
  bool isName = false;
  std::uint16_t number = 0;
  std::u16string name;  // as stored when it came from a file; upper-cased through Name and ParseResourceName

  static ResourceId Number(std::uint16_t number);
  static ResourceId Name(std::u16string name);        // upper-cases every letter, as a look-up does
  static ResourceId StoredName(std::u16string name);  // keeps the spelling, as a file holds it
};

// Order of identifiers in a directory: names first (code units ascending, a prefix first), then
// integer identifiers ascending. Negative, zero or positive, like strcmp.
int CompareIds(const ResourceId& a, const ResourceId& b);
inline bool operator==(const ResourceId& a, const ResourceId& b) { return CompareIds(a, b) == 0; }

// A name as the ANSI resource functions take it: "#123" is the identifier 123, anything else a string
// name (UTF-8, upper-cased). False when it is neither (invalid UTF-8, "#" with a bad number).
bool ParseResourceName(const char* text, ResourceId* id);
// A readable form for messages: the name in UTF-8, or "#123".
std::string DescribeId(const ResourceId& id);

struct ResourceEntry {
  ResourceId type;
  ResourceId name;
  std::uint16_t language = 0;
  std::uint32_t codePage = 0;
  std::uint64_t offset = 0;  // where its bytes lie in the file
  std::uint32_t size = 0;
  // Its bytes in memory: inside the image's bytes when the tree was read from memory; when it was read
  // from a file, a copy for the small entries other than RCDATA, and empty for the others.
  ByteView bytes;
};

class ResourceDirectory {
 public:
  ResourceDirectory() = default;
  ResourceDirectory(const ResourceDirectory&) = delete;  // entries may point into the copies it holds
  ResourceDirectory& operator=(const ResourceDirectory&) = delete;

  // Reads the resource tree of `image`, parsed from memory (its bytes must outlive this object). An
  // image without a resource directory has no entries. False, with the reason in *error, for a
  // damaged tree.
  bool Parse(const Image& image, std::string* error);
  // The same for an image whose headers were read from `file`: the tree is read from the file a page
  // at a time; a failed read fails the parse with its reason.
  bool Parse(const Image& image, ByteSource& file, std::string* error);

  // Every entry, in the order above; (type, name, language) is unique.
  const std::vector<ResourceEntry>& Entries() const { return entries_; }

  // The entry of exactly this language, or null.
  const ResourceEntry* Find(const ResourceId& type, const ResourceId& name, std::uint16_t language) const;
  // The entry in the language the system's look-up picks when none is asked for: language neutral,
  // else United States English, else English, else the lowest language there is. Null when missing.
  const ResourceEntry* Find(const ResourceId& type, const ResourceId& name) const;
  // The distinct names of a type in order, each once (the first of its languages).
  std::vector<const ResourceEntry*> Names(const ResourceId& type) const;

 private:
  struct Walk;
  std::vector<ResourceEntry>::const_iterator FirstOf(const ResourceId& type, const ResourceId& name) const;
  bool LoadSmallEntries(ByteSource& file, std::string* error);

  std::vector<ResourceEntry> entries_;
  std::vector<std::vector<std::uint8_t>> loaded_;  // the copies entries point into
};

}  // namespace pe
