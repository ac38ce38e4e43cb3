#pragma once
// Small PE32 images built byte by byte: one section ".rsrc" at RVA 0x1000 (file offset 0x200) holding
// the given resource tree, which the resource data directory points at. A starting tree with one
// RCDATA resource "A" = "xy" is laid out at fixed offsets so that tests can damage single fields.

#include "peTestSupport.h"

namespace petest {

inline void Put16(Bytes* bytes, std::size_t at, std::uint32_t value) {
  if (bytes->size() < at + 2) bytes->resize(at + 2);
  pe::StoreU16(bytes->data() + at, value);
}
inline void Put32(Bytes* bytes, std::size_t at, std::uint32_t value) {
  if (bytes->size() < at + 4) bytes->resize(at + 4);
  pe::StoreU32(bytes->data() + at, value);
}

constexpr std::uint32_t kTreeRva = 0x1000;
constexpr std::size_t kTreeFileOffset = 0x200;
constexpr std::size_t kHandMadeChecksumOffset = 0x40 + 4 + 20 + 64;

// Offsets inside the starting tree.
namespace tree {
constexpr std::size_t kRootCounts = 0x0C;    // named, numbered
constexpr std::size_t kRootEntry = 0x10;     // type 10 -> type table
constexpr std::size_t kTypeCounts = 0x18 + 0x0C;
constexpr std::size_t kTypeEntry = 0x28;     // name "A" -> name table
constexpr std::size_t kNameEntry = 0x40;     // language 0 -> data entry
constexpr std::size_t kDataEntry = 0x48;     // rva, size, code page
constexpr std::size_t kName = 0x60;          // length, "A"
constexpr std::size_t kData = 0x70;          // "xy"
}  // namespace tree

inline Bytes StartingTree() {
  using namespace tree;
  Bytes t(0x78, 0);
  Put16(&t, kRootCounts + 2, 1);
  Put32(&t, kRootEntry, 10);
  Put32(&t, kRootEntry + 4, 0x80000000u | 0x18);
  Put16(&t, kTypeCounts, 1);
  Put32(&t, kTypeEntry, 0x80000000u | kName);
  Put32(&t, kTypeEntry + 4, 0x80000000u | 0x30);
  Put16(&t, 0x30 + 0x0E, 1);
  Put32(&t, kNameEntry, 0);
  Put32(&t, kNameEntry + 4, kDataEntry);
  Put32(&t, kDataEntry, kTreeRva + kData);
  Put32(&t, kDataEntry + 4, 2);
  Put16(&t, kName, 1);
  Put16(&t, kName + 2, 'A');
  t[kData] = 'x';
  t[kData + 1] = 'y';
  return t;
}

inline Bytes HandMadeImage(const Bytes& resourceTree) {
  const std::size_t raw = (resourceTree.size() + 0x1FF) / 0x200 * 0x200;
  Bytes b(kTreeFileOffset + raw, 0);
  b[0] = 'M', b[1] = 'Z';
  Put32(&b, 0x3C, 0x40);
  b[0x40] = 'P', b[0x41] = 'E';
  const std::size_t file = 0x44, optional = file + 20;
  Put16(&b, file, 0x14C);        // i386
  Put16(&b, file + 2, 1);        // one section
  Put16(&b, file + 16, 224);     // optional header size
  Put16(&b, file + 18, 0x102);   // executable, 32-bit
  Put16(&b, optional, 0x10B);    // PE32
  Put32(&b, optional + 8, static_cast<std::uint32_t>(raw));  // initialized data
  Put32(&b, optional + 16, kTreeRva);  // entry point (never run)
  Put32(&b, optional + 28, 0x400000);
  Put32(&b, optional + 32, 0x1000);
  Put32(&b, optional + 36, 0x200);
  Put16(&b, optional + 40, 4);
  Put16(&b, optional + 48, 4);
  Put32(&b, optional + 56, kTreeRva + static_cast<std::uint32_t>((resourceTree.size() + 0xFFF) / 0x1000 * 0x1000));
  Put32(&b, optional + 60, 0x200);
  Put16(&b, optional + 68, 3);   // console
  Put32(&b, optional + 92, 16);  // data directories
  Put32(&b, optional + 96 + 8 * 2, kTreeRva);
  Put32(&b, optional + 96 + 8 * 2 + 4, static_cast<std::uint32_t>(resourceTree.size()));
  const std::size_t section = optional + 224;
  std::copy_n(".rsrc", 5, b.begin() + static_cast<std::ptrdiff_t>(section));
  Put32(&b, section + 8, static_cast<std::uint32_t>(resourceTree.size()));
  Put32(&b, section + 12, kTreeRva);
  Put32(&b, section + 16, static_cast<std::uint32_t>(raw));
  Put32(&b, section + 20, static_cast<std::uint32_t>(kTreeFileOffset));
  Put32(&b, section + 36, 0x40000040);
  std::copy(resourceTree.begin(), resourceTree.end(), b.begin() + static_cast<std::ptrdiff_t>(kTreeFileOffset));
  return b;
}

}  // namespace petest
