#include "Es/Containers/compactBuf.h"

#include <cstdio>
#include <cstdlib>

#include "Es/Memory/memAlloc.h"

CompactBlock* RefString::NewBlock(int size) {
  // Header and text in one block; `text` already has room for one byte.
  auto* block = static_cast<CompactBlock*>(GMemFunctions->New(sizeof(CompactBlock) + size - 1));
  if (!block) {
    std::fprintf(stderr, "Out of memory for a %d-byte string\n", size);
    std::abort();
  }
  block->count = 1;
  block->size = size;
  return block;
}

RefString::RefString(const char* text) : RefString(text, text ? static_cast<int>(std::strlen(text)) : 0) {}

RefString::RefString(const char* text, int length) {
  if (!text || length <= 0 || text[0] == 0) return;
  // The copy stops at the length or at the text's own end, whichever comes first.
  const void* end = std::memchr(text, 0, static_cast<std::size_t>(length));
  if (end) length = static_cast<int>(static_cast<const char*>(end) - text);
  block_ = NewBlock(length + 1);
  std::memcpy(block_->text, text, static_cast<std::size_t>(length));
  block_->text[length] = 0;
}

RefString::RefString(const RefString& other) : block_(other.block_) {
  if (block_) ++block_->count;
}

RefString& RefString::operator=(const RefString& other) {
  CompactBlock* block = other.block_;
  if (block) ++block->count;  // first: assigning a string to itself keeps it alive
  Free();
  block_ = block;
  return *this;
}

RefString& RefString::operator=(RefString&& other) noexcept {
  if (this != &other) {
    Free();
    block_ = other.block_;
    other.block_ = nullptr;
  }
  return *this;
}

void RefString::Free() {
  CompactBlock* block = block_;
  block_ = nullptr;
  if (block && --block->count == 0) GMemFunctions->Delete(block);
}

RefString RefString::WithCapacity(int capacity) {
  RefString result;
  if (capacity <= 0) return result;
  result.block_ = NewBlock(capacity + 1);
  result.block_->text[0] = 0;
  return result;
}

char* RefString::MutableData() { return block_ && block_->count == 1 ? block_->text : nullptr; }

RefString RefString::FromNumber(int number) {
  char buffer[256];
  std::snprintf(buffer, sizeof buffer, "%d", number);
  return RefString(buffer);
}

RefString RefString::FormatV(const char* format, va_list args) {
  char buffer[1024];
  std::vsnprintf(buffer, sizeof buffer, format, args);
  return RefString(buffer);
}

RefString RefString::Format(const char* format, ...) {
  va_list args;
  va_start(args, format);
  RefString result = FormatV(format, args);
  va_end(args);
  return result;
}

int RefString::GetLength() const { return block_ ? static_cast<int>(std::strlen(block_->text)) : 0; }

bool RefString::operator==(const RefString& other) const {
  return block_ == other.block_ || std::strcmp(Data(), other.Data()) == 0;
}

RefString SizeText(std::uint32_t amount) {
  char buffer[64];
  const double kilo = amount / 1024.0, mega = amount / 1048576.0, giga = amount / 1073741824.0;
  // Each bound is the last amount that still rounds below 9.5 or 999.5 of its unit.
  if (amount <= 999) std::snprintf(buffer, sizeof buffer, "%d B", static_cast<int>(amount));
  else if (amount <= 9727) std::snprintf(buffer, sizeof buffer, "%.1f KB", kilo);
  else if (amount <= 1023487) std::snprintf(buffer, sizeof buffer, "%.0f KB", kilo);
  else if (amount <= 9961471) std::snprintf(buffer, sizeof buffer, "%.1f MB", mega);
  else if (amount <= 1048051711) std::snprintf(buffer, sizeof buffer, "%.0f MB", mega);
  else std::snprintf(buffer, sizeof buffer, "%.1f GB", giga);
  return RefString(buffer);
}
