#pragma once
// DynArray: a growable array (items, count, capacity; all 32-bit signed) whose memory comes from the
// memory interface. Items are moved bytewise when the block moves if IsBytewiseRelocatable says they
// may be (trivially copyable types, RefString, Ref<T>, DynArray without inline buffer); others are moved
// by move construction. Running out of memory is reported and ends the process.
//
// DynArray<T, N> with N > 0 carries an inline buffer of N items inside the object; it is used while the
// requested capacity fits, and marked in use by a negative recorded capacity.
//
// Deleting a range outside the array reports "Array index out of range" (source "array") and changes
// nothing. Element-wise indexing has no range test.

#include <cstring>
#include <cstddef>
#include <new>
#include <type_traits>
#include <utility>

#include "Es/Memory/memAlloc.h"

#include "Es/Containers/relocatable.h"

void ReportArrayRangeError(int line);
[[noreturn]] void ReportArrayOutOfMemory(std::size_t bytes);

namespace detail {
template <class T, int N>
struct InlineStorage {
  alignas(T) unsigned char bytes[N * sizeof(T)];
  T* Items() { return reinterpret_cast<T*>(bytes); }
};
template <class T>
struct InlineStorage<T, 0> {
  T* Items() { return nullptr; }
};
}  // namespace detail

template <class T, int InlineCapacity = 0>
class DynArray {
  static_assert(InlineCapacity >= 0, "inline capacity cannot be negative");
  static constexpr int N = InlineCapacity;

 public:
  DynArray() = default;
  DynArray(const DynArray& other) { CopyFrom(other); }
  DynArray(DynArray&& other) noexcept { TakeFrom(other); }
  ~DynArray() { Clear(); }
  DynArray& operator=(const DynArray& other) {
    if (this != &other) {
      Clear();
      CopyFrom(other);
    }
    return *this;
  }
  DynArray& operator=(DynArray&& other) noexcept {
    if (this != &other) {
      Clear();
      TakeFrom(other);
    }
    return *this;
  }

  int Size() const { return count_; }
  // The capacity in items, whichever buffer holds them.
  int MaxSize() const { return capacity_ < 0 ? -capacity_ : capacity_; }
  bool UsesInlineBuffer() const { return capacity_ < 0; }
  T* Data() { return data_; }
  const T* Data() const { return data_; }
  T& operator[](int index) { return data_[index]; }
  const T& operator[](int index) const { return data_[index]; }
  T* begin() { return data_; }
  T* end() { return data_ + count_; }
  const T* begin() const { return data_; }
  const T* end() const { return data_ + count_; }

  // Appends an item; returns its index.
  template <class U>
  int Add(U&& item) {
    if (count_ >= MaxSize()) Grow();
    new (data_ + count_) T(std::forward<U>(item));
    return count_++;
  }
  T& Append() { return data_[Add(T())]; }

  // Ensures room for `capacity` items (exact, when it must grow).
  void Reserve(int capacity) {
    if (capacity > MaxSize()) Realloc(capacity);
  }
  // Sets the capacity exactly; items beyond it are destroyed first.
  void Realloc(int capacity);
  // Sets the item count: new items are value-initialised, surplus ones destroyed.
  void Resize(int count);

  // Removes `count` items from `index`, moving the rest down.
  void Delete(int index, int count = 1);
  void Clear();  // destroys the items and frees the block

  // Next capacity when an add finds the array full.
  static int GrowthCapacity(int count, int capacity) {
    int wanted = capacity < 64 ? count + 32 : count + capacity / 2;
    return wanted < count + 1 ? count + 1 : wanted;
  }

 private:
  // The inline buffer takes the items while they fit in it; beyond it the growth steps apply.
  void Grow() { Realloc(N > 0 && count_ < N ? N : GrowthCapacity(count_, MaxSize())); }
  void MoveItems(T* to, T* from, int count);
  void CopyFrom(const DynArray& other) {
    Reserve(other.count_);
    for (int i = 0; i < other.count_; ++i) new (data_ + i) T(other.data_[i]);
    count_ = other.count_;
  }
  void TakeFrom(DynArray& other) {
    if (other.UsesInlineBuffer()) {
      Reserve(other.count_);
      MoveItems(data_, other.data_, other.count_);
      count_ = other.count_;
      other.count_ = 0;
      return;
    }
    data_ = other.data_;
    count_ = other.count_;
    capacity_ = other.capacity_;
    other.data_ = nullptr;
    other.count_ = other.capacity_ = 0;
  }

  T* data_ = nullptr;
  int count_ = 0;
  int capacity_ = 0;  // negative: the inline buffer holds the items
  detail::InlineStorage<T, InlineCapacity> inline_;
};

template <class T, int N>
void DynArray<T, N>::MoveItems(T* to, T* from, int count) {
  if (count <= 0 || to == from) return;
  if constexpr (IsBytewiseRelocatable<T>::value) {
    std::memmove(static_cast<void*>(to), static_cast<const void*>(from), sizeof(T) * count);
  } else if (to < from) {
    for (int i = 0; i < count; ++i) {
      new (to + i) T(std::move(from[i]));
      from[i].~T();
    }
  } else {
    for (int i = count - 1; i >= 0; --i) {
      new (to + i) T(std::move(from[i]));
      from[i].~T();
    }
  }
}

template <class T, int N>
void DynArray<T, N>::Realloc(int capacity) {
  if (capacity < 0) capacity = 0;
  for (int i = capacity; i < count_; ++i) data_[i].~T();
  if (count_ > capacity) count_ = capacity;

  const bool wasInline = UsesInlineBuffer();
  if (N > 0 && capacity > 0 && capacity <= N) {
    if (!wasInline) {
      T* old = data_;
      MoveItems(inline_.Items(), old, count_);
      if (old) GMemFunctions->Delete(old);
      data_ = inline_.Items();
    }
    capacity_ = -N;
    return;
  }
  if (capacity == 0) {
    if (!wasInline && data_) GMemFunctions->Delete(data_);
    data_ = nullptr;
    capacity_ = 0;
    return;
  }
  const std::size_t bytes = sizeof(T) * static_cast<std::size_t>(capacity);
  if (!wasInline && data_ && GMemFunctions->Resize(data_, bytes)) {
    capacity_ = capacity;
    return;
  }
  T* block = static_cast<T*>(GMemFunctions->New(bytes));
  if (!block) ReportArrayOutOfMemory(bytes);
  MoveItems(block, data_, count_);
  if (!wasInline && data_) GMemFunctions->Delete(data_);
  data_ = block;
  capacity_ = capacity;
}

template <class T, int N>
void DynArray<T, N>::Resize(int count) {
  if (count < 0) count = 0;
  if (count > MaxSize()) Realloc(count);
  for (int i = count; i < count_; ++i) data_[i].~T();
  for (int i = count_; i < count; ++i) new (data_ + i) T();
  count_ = count;
}

template <class T, int N>
void DynArray<T, N>::Delete(int index, int count) {
  if (index < 0 || count < 0 || count > count_ - index) {
    ReportArrayRangeError(__LINE__);
    return;
  }
  for (int i = index; i < index + count; ++i) data_[i].~T();
  MoveItems(data_ + index, data_ + index + count, count_ - index - count);
  count_ -= count;
}

template <class T, int N>
void DynArray<T, N>::Clear() {
  for (int i = 0; i < count_; ++i) data_[i].~T();
  count_ = 0;
  if (!UsesInlineBuffer() && data_) GMemFunctions->Delete(data_);
  data_ = nullptr;
  capacity_ = 0;
}

template <class T>
struct IsBytewiseRelocatable<DynArray<T, 0>> : std::true_type {};
