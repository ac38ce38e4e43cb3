#include "pe/byteStreams.h"

#include <cstring>

namespace pe {

bool MemorySource::Read(std::uint64_t offset, void* buffer, std::size_t size, std::string* error) {
  if (offset > bytes_.size || size > bytes_.size - offset) {
    *error = "read past the end of the entry";
    return false;
  }
  if (size) std::memcpy(buffer, bytes_.data + offset, size);
  return true;
}

bool MemorySink::Write(const void* data, std::size_t size, std::string*) {
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  bytes_.insert(bytes_.end(), bytes, bytes + size);
  return true;
}

bool MemorySink::Rewrite(std::uint64_t offset, const void* data, std::size_t size, std::string* error) {
  if (offset > bytes_.size() || size > bytes_.size() - offset) {
    *error = "rewrite past the end of the written bytes";
    return false;
  }
  if (size) std::memcpy(bytes_.data() + offset, data, size);
  return true;
}

}  // namespace pe
