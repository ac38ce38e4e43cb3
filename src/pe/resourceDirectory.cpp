#include "pe/resourceDirectory.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <unordered_map>
#include <unordered_set>

#include "pe/nameCase.h"
#include "pe/resourceText.h"

namespace pe {
namespace {

constexpr std::uint32_t kHighBit = 0x80000000u;
constexpr std::size_t kDirectoryHeaderSize = 16;
constexpr std::size_t kDirectoryEntrySize = 8;
constexpr std::size_t kDataEntrySize = 16;

bool Fail(std::string* error, const std::string& text) {
  *error = text;
  return false;
}

std::string At(std::uint32_t offset) { return " at offset " + std::to_string(offset) + " of the resource section"; }

// Resources read into memory when the tree comes from a file: the small ones of the types other than
// RCDATA (string tables, version texts, icons), up to a total. Payload entries are never read here.
constexpr std::uint32_t kLoadedEntryLimit = 1u << 20;
constexpr std::uint64_t kLoadedTotalLimit = std::uint64_t(32) << 20;

// The resource section's bytes as the walk reads them: from the file in pages that are read when first
// touched and kept for the rest of the walk, so a tree at the start of a section of several GiB costs
// the pages of the tree, not the section. The kept pages are bounded; past the bound they are dropped
// and read again when needed.
class TreeBytes {
 public:
  TreeBytes(ByteSource& file, std::uint64_t start, std::size_t size) : file_(file), start_(start), size_(size) {}

  bool Has(std::size_t offset, std::size_t count) const { return offset <= size_ && count <= size_ - offset; }
  bool ReadU16(std::size_t offset, std::uint16_t* value) {
    std::uint8_t bytes[2];
    if (!Read(offset, bytes, 2)) return false;
    *value = xz::LoadU16(bytes);
    return true;
  }
  bool ReadU32(std::size_t offset, std::uint32_t* value) {
    std::uint8_t bytes[4];
    if (!Read(offset, bytes, 4)) return false;
    *value = xz::LoadU32(bytes);
    return true;
  }
  // The reason of a failed file read (empty when every failure was a range outside the section).
  const std::string& ReadError() const { return readError_; }

 private:
  static constexpr std::size_t kPageSize = 0x10000;
  static constexpr std::size_t kMaxPages = 256;

  bool Read(std::size_t offset, std::uint8_t* out, std::size_t count) {
    if (!Has(offset, count)) return false;
    while (count > 0) {
      const std::size_t index = offset / kPageSize, inPage = offset % kPageSize;
      const std::vector<std::uint8_t>* page = Page(index);
      if (!page) return false;
      const std::size_t take = std::min(count, page->size() - inPage);
      std::memcpy(out, page->data() + inPage, take);
      out += take, offset += take, count -= take;
    }
    return true;
  }

  const std::vector<std::uint8_t>* Page(std::size_t index) {
    auto found = pages_.find(index);
    if (found != pages_.end()) return &found->second;
    if (pages_.size() >= kMaxPages) pages_.clear();
    const std::size_t first = index * kPageSize;
    std::vector<std::uint8_t> page(std::min(kPageSize, size_ - first));
    if (!file_.Read(start_ + first, page.data(), page.size(), &readError_)) return nullptr;
    return &pages_.emplace(index, std::move(page)).first->second;
  }

  ByteSource& file_;
  std::uint64_t start_;
  std::size_t size_;
  std::unordered_map<std::size_t, std::vector<std::uint8_t>> pages_;
  std::string readError_;
};

}  // namespace

ResourceId ResourceId::Number(std::uint16_t number) {
  ResourceId id;
  id.number = number;
  return id;
}

ResourceId ResourceId::Name(std::u16string name) {
  ResourceId id;
  id.isName = true;
  id.name = std::move(name);
  UpperUtf16(&id.name);
  return id;
}

ResourceId ResourceId::StoredName(std::u16string name) {
  ResourceId id;
  id.isName = true;
  id.name = std::move(name);
  return id;
}

int CompareIds(const ResourceId& a, const ResourceId& b) {
  if (a.isName != b.isName) return a.isName ? -1 : 1;
  if (!a.isName) return a.number < b.number ? -1 : a.number > b.number ? 1 : 0;
  return a.name.compare(b.name) < 0 ? -1 : a.name == b.name ? 0 : 1;
}

bool ParseResourceName(const char* text, ResourceId* id) {
  if (text[0] == '#') {
    // The resource functions read "#" and decimal digits as an integer identifier.
    unsigned long value = 0;
    const char* digit = text + 1;
    if (*digit == 0) return false;
    for (; *digit; ++digit) {
      if (*digit < '0' || *digit > '9') return false;
      value = value * 10 + static_cast<unsigned long>(*digit - '0');
      if (value > 0xFFFF) return false;
    }
    *id = ResourceId::Number(static_cast<std::uint16_t>(value));
    return true;
  }
  std::u16string name;
  if (!Utf8ToUtf16(text, &name)) return false;
  *id = ResourceId::Name(std::move(name));
  return true;
}

std::string DescribeId(const ResourceId& id) {
  return id.isName ? Utf16ToUtf8(id.name) : "#" + std::to_string(id.number);
}

// One pass over the tree. Offsets inside the tree are relative to its start and must stay inside the
// resource section's file bytes (`area`).
struct ResourceDirectory::Walk {
  const Image& image;
  TreeBytes& area;
  std::vector<ResourceEntry>* entries;
  std::string* error;
  std::unordered_set<std::uint32_t> visited;

  bool ReadId(std::uint32_t field, ResourceId* id) {
    if (!(field & kHighBit)) {
      // Integer identifiers are 16 bits; the high half of the field must be clear.
      if (field > 0xFFFF) return Fail(error, "resource identifier " + std::to_string(field) + " is out of range");
      *id = ResourceId::Number(static_cast<std::uint16_t>(field));
      return true;
    }
    const std::uint32_t offset = field & ~kHighBit;
    std::uint16_t length = 0;
    if (!area.ReadU16(offset, &length) || !area.Has(offset + std::size_t(2), std::size_t(length) * 2)) {
      return Fail(error, "resource name" + At(offset) + " runs past the end of the section");
    }
    std::u16string name(length, u'\0');
    for (std::uint16_t i = 0; i < length; ++i) {
      std::uint16_t unit = 0;
      area.ReadU16(offset + 2 + std::size_t(i) * 2, &unit);
      name[i] = static_cast<char16_t>(unit);
    }
    *id = ResourceId::StoredName(std::move(name));
    return true;
  }

  bool ReadData(std::uint32_t offset, ResourceEntry* entry) {
    std::uint32_t rva = 0, size = 0;
    if (!area.Has(offset, kDataEntrySize)) {
      return Fail(error, "resource data entry" + At(offset) + " runs past the end of the section");
    }
    area.ReadU32(offset, &rva);
    area.ReadU32(offset + 4, &size);
    area.ReadU32(offset + 8, &entry->codePage);
    std::uint64_t file = 0;
    if (!image.RvaToOffset(rva, size, &file)) {
      return Fail(error, "the data of resource " + DescribeId(entry->name) + " (type " + DescribeId(entry->type) +
                             ", " + std::to_string(size) + " bytes) lies outside the file");
    }
    entry->offset = file;
    entry->size = size;
    if (image.Bytes().data) entry->bytes = image.Bytes().Part(static_cast<std::size_t>(file), size);
    return true;
  }

  // Level 0 is the types, 1 the names, 2 the languages; `entry` holds what the levels above chose.
  bool Directory(std::uint32_t offset, int level, ResourceEntry entry) {
    if (!visited.insert(offset).second) {
      return Fail(error, "resource directory" + At(offset) + " is reached twice (a loop in the tree)");
    }
    std::uint16_t named = 0, numbered = 0;
    if (!area.ReadU16(offset + std::size_t(12), &named) || !area.ReadU16(offset + std::size_t(14), &numbered)) {
      return Fail(error, "resource directory" + At(offset) + " runs past the end of the section");
    }
    const std::size_t count = std::size_t(named) + numbered;
    const std::size_t first = offset + kDirectoryHeaderSize;
    if (!area.Has(first, count * kDirectoryEntrySize)) {
      return Fail(error, "resource directory" + At(offset) + " holds " + std::to_string(count) +
                             " entries, more than the section has room for");
    }
    for (std::size_t i = 0; i < count; ++i) {
      std::uint32_t idField = 0, target = 0;
      area.ReadU32(first + i * kDirectoryEntrySize, &idField);
      area.ReadU32(first + i * kDirectoryEntrySize + 4, &target);
      ResourceId id;
      if (!ReadId(idField, &id)) return false;
      const bool isDirectory = (target & kHighBit) != 0;
      if (level < 2) {
        if (!isDirectory) return Fail(error, "resource directory" + At(offset) + " points to data above the language level");
        (level == 0 ? entry.type : entry.name) = std::move(id);
        if (!Directory(target & ~kHighBit, level + 1, entry)) return false;
      } else {
        if (isDirectory) return Fail(error, "resource directory" + At(offset) + " is deeper than type, name and language");
        if (id.isName) return Fail(error, "resource language" + At(offset) + " is a name, not a number");
        ResourceEntry leaf = entry;
        leaf.language = id.number;
        if (!ReadData(target, &leaf)) return false;
        entries->push_back(std::move(leaf));
      }
    }
    return true;
  }
};

bool ResourceDirectory::Parse(const Image& image, std::string* error) {
  MemorySource bytes(image.Bytes());
  return Parse(image, bytes, error);
}

bool ResourceDirectory::Parse(const Image& image, ByteSource& file, std::string* error) {
  entries_.clear();
  loaded_.clear();
  const DataDirectory directory = image.Directory(kResourceDirectory);
  if (directory.address == 0) return true;  // no resources, as for the system's loader

  // The tree lies in the file bytes of the section that holds its start, from there to the section's end.
  const std::uint64_t fileSize = image.FileSize();
  const Section* section = image.SectionAt(directory.address);
  const std::uint32_t delta = section ? directory.address - section->virtualAddress : 0;
  if (!section || delta > section->rawSize || section->rawOffset > fileSize || delta > fileSize - section->rawOffset) {
    return Fail(error, "the resource directory lies outside the file's sections");
  }
  const std::uint64_t start = std::uint64_t(section->rawOffset) + delta;
  std::uint64_t length = section->rawSize - delta;
  if (length > fileSize - start) length = fileSize - start;
  if (length > 0x7FFFFFFF) length = 0x7FFFFFFF;  // tree offsets are 31 bits

  TreeBytes tree(file, start, static_cast<std::size_t>(length));
  Walk walk{image, tree, &entries_, error, {}};
  // Reads after a range check are not checked one by one: a failed file read fails the whole walk.
  if (!walk.Directory(0, 0, ResourceEntry()) || !tree.ReadError().empty()) {
    if (!tree.ReadError().empty()) *error = tree.ReadError();
    entries_.clear();
    return false;
  }

  auto less = [](const ResourceEntry& a, const ResourceEntry& b) {
    if (int c = CompareIds(a.type, b.type)) return c < 0;
    if (int c = CompareIds(a.name, b.name)) return c < 0;
    return a.language < b.language;
  };
  std::stable_sort(entries_.begin(), entries_.end(), less);
  // Names that differ only in case in the file are one name here, as for the system's look-up; the
  // first in the file wins.
  auto same = [](const ResourceEntry& a, const ResourceEntry& b) {
    return a.language == b.language && a.type == b.type && a.name == b.name;
  };
  entries_.erase(std::unique(entries_.begin(), entries_.end(), same), entries_.end());
  if (!image.Bytes().data && !LoadSmallEntries(file, error)) {
    entries_.clear();
    loaded_.clear();
    return false;
  }
  return true;
}

bool ResourceDirectory::LoadSmallEntries(ByteSource& file, std::string* error) {
  std::uint64_t total = 0;
  for (ResourceEntry& entry : entries_) {
    if (entry.type == ResourceId::Number(kRcDataType) || entry.size > kLoadedEntryLimit ||
        total + entry.size > kLoadedTotalLimit) {
      continue;
    }
    std::vector<std::uint8_t> bytes(entry.size);
    if (entry.size > 0 && !file.Read(entry.offset, bytes.data(), bytes.size(), error)) return false;
    total += entry.size;
    loaded_.push_back(std::move(bytes));
    entry.bytes = ByteView{loaded_.back().data(), loaded_.back().size()};
  }
  return true;
}

std::vector<ResourceEntry>::const_iterator ResourceDirectory::FirstOf(const ResourceId& type,
                                                                      const ResourceId& name) const {
  return std::lower_bound(entries_.begin(), entries_.end(), 0, [&](const ResourceEntry& e, int) {
    if (int c = CompareIds(e.type, type)) return c < 0;
    return CompareIds(e.name, name) < 0;
  });
}

const ResourceEntry* ResourceDirectory::Find(const ResourceId& type, const ResourceId& name,
                                             std::uint16_t language) const {
  for (auto it = FirstOf(type, name); it != entries_.end() && it->type == type && it->name == name; ++it) {
    if (it->language == language) return &*it;
  }
  return nullptr;
}

const ResourceEntry* ResourceDirectory::Find(const ResourceId& type, const ResourceId& name) const {
  static const std::uint16_t kPreferred[] = {0x0000, 0x0409, 0x0009};
  for (std::uint16_t language : kPreferred) {
    if (const ResourceEntry* entry = Find(type, name, language)) return entry;
  }
  auto it = FirstOf(type, name);
  return it != entries_.end() && it->type == type && it->name == name ? &*it : nullptr;
}

std::vector<const ResourceEntry*> ResourceDirectory::Names(const ResourceId& type) const {
  std::vector<const ResourceEntry*> names;
  for (const ResourceEntry& entry : entries_) {
    if (!(entry.type == type)) continue;
    if (names.empty() || !(names.back()->name == entry.name)) names.push_back(&entry);
  }
  return names;
}

}  // namespace pe
