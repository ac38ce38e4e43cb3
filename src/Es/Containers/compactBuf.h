#pragma once
// RefString: an immutable byte string shared by reference count. One pointer to a block that holds
// the header and the text together:
//
//   count (int32)  number of holders; a fresh block has 0 and each holder adds 1
//   size  (int32)  length of the text + 1
//   text  (size bytes, NUL-terminated)
//
// The empty text is never stored: a RefString without a block reads as "". Blocks never change after
// creation (a block of a given capacity may be filled by its single holder before it is shared).

#include <cstdarg>
#include <cstdint>
#include <cstring>

#include "Es/Containers/relocatable.h"

struct CompactBlock {
  std::int32_t count;
  std::int32_t size;
  char text[1];  // really `size` bytes
};

class RefString {
 public:
  RefString() = default;
  RefString(const char* text);  // NOLINT: texts convert implicitly, "" gives no block
  RefString(const char* text, int length);
  RefString(const RefString& other);
  RefString(RefString&& other) noexcept : block_(other.block_) { other.block_ = nullptr; }
  ~RefString() { Free(); }
  RefString& operator=(const RefString& other);
  RefString& operator=(RefString&& other) noexcept;
  RefString& operator=(const char* text) { return *this = RefString(text); }

  // A block of `capacity` characters holding the empty text, for the one holder to fill (MutableData).
  static RefString WithCapacity(int capacity);
  static RefString FromNumber(int number);                         // "%d"
  static RefString Format(const char* format, ...);                // at most 1023 characters
  static RefString FormatV(const char* format, va_list args);

  const char* Data() const { return block_ ? block_->text : ""; }
  operator const char*() const { return Data(); }  // NOLINT: reads like the C text it holds
  int GetLength() const;
  bool IsEmpty() const { return block_ == nullptr || block_->text[0] == 0; }
  // Writable characters of a block made by WithCapacity, while this is its only holder; else null.
  char* MutableData();
  int Capacity() const { return block_ ? block_->size - 1 : 0; }

  bool operator==(const RefString& other) const;
  bool operator!=(const RefString& other) const { return !(*this == other); }
  bool operator==(const char* text) const { return std::strcmp(Data(), text ? text : "") == 0; }
  bool operator!=(const char* text) const { return !(*this == text); }

  // The block itself (null for the empty text); for the string bank and for tests of sharing.
  const CompactBlock* Block() const { return block_; }
  int RefCounter() const { return block_ ? block_->count : 0; }

  void Free();

 private:
  static CompactBlock* NewBlock(int size);

  CompactBlock* block_ = nullptr;
};

template <>
struct IsBytewiseRelocatable<RefString> : std::true_type {};

// Human-readable size of a byte amount: "%d B", "%.1f KB", "%.0f KB", "%.1f MB", "%.0f MB", "%.1f GB".
RefString SizeText(std::uint32_t amount);
