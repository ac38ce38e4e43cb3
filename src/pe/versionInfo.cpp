#include "pe/versionInfo.h"

#include <cstring>

#include "pe/resourceText.h"

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
