#include "pe/versionInfo.h"

#include <cstring>

#include "pe/resourceText.h"
#include "pe/resourceWriter.h"

namespace pe {
namespace {

constexpr std::size_t kNodeHeaderSize = 6;
constexpr std::uint16_t kTextType = 1;

std::size_t Align4(std::size_t offset) { return (offset + 3) & ~std::size_t(3); }

struct Node {
  std::size_t keyStart = 0;   // offset of the key's first code unit
  std::size_t keyLength = 0;  // code units before the NUL
  std::size_t valueStart = 0;
  std::size_t childrenStart = 0;
  std::size_t end = 0;  // one past the node's last byte
  std::uint16_t valueLength = 0;
};

// Reads the node at `offset`, which must lie inside [offset, limit).
bool ReadNode(ByteView block, std::size_t offset, std::size_t limit, Node* node) {
  std::uint16_t length = 0, valueLength = 0, type = 0;
  if (!block.ReadU16(offset, &length) || length < kNodeHeaderSize || length > limit - offset) return false;
  block.ReadU16(offset + 2, &valueLength);
  block.ReadU16(offset + 4, &type);
  node->end = offset + length;
  node->keyStart = offset + kNodeHeaderSize;
  node->keyLength = 0;
  for (;;) {
    std::uint16_t unit = 0;
    const std::size_t at = node->keyStart + node->keyLength * 2;
    if (at + 2 > node->end || !block.ReadU16(at, &unit)) return false;  // key not terminated inside the node
    if (unit == 0) break;
    ++node->keyLength;
  }
  node->valueLength = valueLength;
  node->valueStart = Align4(node->keyStart + (node->keyLength + 1) * 2);
  const std::size_t valueBytes = std::size_t(valueLength) * (type == kTextType ? 2 : 1);
  node->childrenStart = Align4(node->valueStart + valueBytes);
  return true;
}

bool KeyIs(ByteView block, const Node& node, const char* key, std::size_t keyLength) {
  if (node.keyLength != keyLength) return false;
  for (std::size_t i = 0; i < keyLength; ++i) {
    std::uint16_t unit = 0;
    block.ReadU16(node.keyStart + i * 2, &unit);
    auto lower = [](unsigned c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; };
    if (lower(unit) != lower(static_cast<unsigned char>(key[i]))) return false;
  }
  return true;
}

// The child of `parent` whose key is key[0, keyLength).
bool FindChild(ByteView block, const Node& parent, const char* key, std::size_t keyLength, Node* child) {
  std::size_t offset = parent.childrenStart;
  // Every node is at least 6 bytes and the next one starts 4-aligned after it, so this ends.
  while (offset < parent.end && parent.end - offset >= kNodeHeaderSize) {
    if (!ReadNode(block, offset, parent.end, child)) return false;
    if (KeyIs(block, *child, key, keyLength)) return true;
    offset = Align4(child->end);
  }
  return false;
}

}  // namespace

bool QueryVersionText(ByteView block, const char* path, std::u16string* text) {
  Node node;
  if (!ReadNode(block, 0, block.size, &node)) return false;
  while (*path) {
    while (*path == '\\') ++path;
    if (!*path) break;
    const char* end = std::strchr(path, '\\');
    const std::size_t length = end ? static_cast<std::size_t>(end - path) : std::strlen(path);
    Node child;
    if (!FindChild(block, node, path, length, &child)) return false;
    node = child;
    path += length;
  }
  text->clear();
  if (node.valueLength == 0 || node.valueStart >= node.end) return true;
  // The text ends at its NUL or at the end of the node, whichever comes first.
  for (std::size_t at = node.valueStart; at + 2 <= node.end; at += 2) {
    std::uint16_t unit = 0;
    block.ReadU16(at, &unit);
    if (unit == 0 || text->size() >= node.valueLength) break;
    text->push_back(static_cast<char16_t>(unit));
  }
  return true;
}

std::string FileVersionText(const ResourceDirectory& resources) {
  const ResourceEntry* version = resources.Find(ResourceId::Number(kVersionType), ResourceId::Number(1));
  std::u16string text;
  if (!version || !QueryVersionText(version->bytes, "\\StringFileInfo\\040904b0\\FileVersion", &text)) return "";
  return Utf16ToUtf8(text);
}

}  // namespace pe

namespace pe {
namespace {

using Bytes = std::vector<std::uint8_t>;

void PadTo4(Bytes* bytes) {
  while (bytes->size() % 4 != 0) bytes->push_back(0);
}

void AppendText16(Bytes* bytes, const std::string& ascii) {
  for (const char c : ascii) {
    bytes->push_back(static_cast<std::uint8_t>(c));
    bytes->push_back(0);
  }
  bytes->push_back(0);
  bytes->push_back(0);
}

// One node: header, key, value and children, each part starting on a 4-byte boundary.
Bytes VersionNode(const std::string& key, std::uint16_t type, const Bytes& value, std::uint16_t valueLength,
                  const std::vector<Bytes>& children) {
  Bytes node(kNodeHeaderSize, 0);
  AppendText16(&node, key);
  PadTo4(&node);
  node.insert(node.end(), value.begin(), value.end());
  for (const Bytes& child : children) {
    PadTo4(&node);
    node.insert(node.end(), child.begin(), child.end());
  }
  StoreU16(node.data(), static_cast<std::uint32_t>(node.size()));
  StoreU16(node.data() + 2, valueLength);
  StoreU16(node.data() + 4, type);
  return node;
}

Bytes TextNode(const std::string& key, const std::string& value) {
  Bytes text;
  AppendText16(&text, value);
  return VersionNode(key, kTextType, text, static_cast<std::uint16_t>(value.size() + 1), {});
}

std::uint32_t VersionPart(const std::string& text, std::size_t* at) {
  std::uint32_t number = 0;
  while (*at < text.size() && text[*at] >= '0' && text[*at] <= '9') {
    number = number * 10 + static_cast<std::uint32_t>(text[*at] - '0');
    if (number > 0xFFFF) number = 0xFFFF;
    ++*at;
  }
  if (*at < text.size() && text[*at] == '.') ++*at;
  return number;
}

}  // namespace

std::vector<std::uint8_t> BuildVersionResource(const std::string& fileVersion) {
  std::size_t at = 0;
  std::uint32_t parts[4] = {};
  for (std::uint32_t& part : parts) part = VersionPart(fileVersion, &at);
  Bytes fixed(52, 0);
  const std::uint32_t fields[13] = {0xFEEF04BD, 0x00010000, parts[0] << 16 | parts[1], parts[2] << 16 | parts[3],
                                    parts[0] << 16 | parts[1], parts[2] << 16 | parts[3], 0x3F, 0, 0x40004, 1,
                                    0, 0, 0};
  for (int i = 0; i < 13; ++i) StoreU32(fixed.data() + 4 * i, fields[i]);
  const Bytes strings = VersionNode("040904b0", kTextType, {}, 0,
                                    {TextNode("FileVersion", fileVersion), TextNode("ProductVersion", fileVersion)});
  const Bytes stringInfo = VersionNode("StringFileInfo", kTextType, {}, 0, {strings});
  const Bytes translation = VersionNode("Translation", 0, {0x09, 0x04, 0xB0, 0x04}, 4, {});
  const Bytes varInfo = VersionNode("VarFileInfo", kTextType, {}, 0, {translation});
  return VersionNode("VS_VERSION_INFO", 0, fixed, 52, {stringInfo, varInfo});
}

bool WithFileVersion(ByteView image, const std::string& fileVersion, std::vector<std::uint8_t>* executable,
                     std::string* error) {
  const std::vector<std::uint8_t> block = BuildVersionResource(fileVersion);
  MemorySource source(ByteView{block.data(), block.size()});
  NewResource resource;
  resource.type = ResourceId::Number(16);  // RT_VERSION
  resource.name = ResourceId::Number(1);
  resource.language = 1033;
  resource.source = &source;
  MemorySink sink;
  WriteReport report;
  if (!WriteResources(image, {resource}, &sink, &report, error)) return false;
  *executable = sink.Bytes();
  return true;
}

}  // namespace pe
