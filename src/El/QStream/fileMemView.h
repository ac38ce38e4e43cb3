#pragma once
// FileMemView: a read-only mapped view of a region of an open file, shared by reference count. Views
// can be kept in a FileMemViewList (in the order they were mapped, say); a view leaves its list by
// itself when it is destroyed, and unmaps its memory.

#include <cstddef>
#include <cstdint>

#include "Es/Containers/refCount.h"
#include "platform/fileSystem.h"

class FileMemViewList;

class FileMemView : public RefCount {
 public:
  // Maps [offset, offset + size) of `file` (a handle of the file-system seam). On failure reports
  // "Memory mapping error %x" with the system error and returns null.
  static Ref<FileMemView> Map(platform::FileHandle file, std::uint64_t offset, std::size_t size,
                              std::intptr_t userValue = 0);
  ~FileMemView() override;
  FileMemView(const FileMemView&) = delete;
  FileMemView& operator=(const FileMemView&) = delete;

  const std::uint8_t* Data() const { return view_.data; }
  std::size_t Size() const { return view_.size; }
  std::intptr_t UserValue() const { return userValue_; }
  FileMemView* Next() const { return next_; }

 private:
  friend class FileMemViewList;
  FileMemView(const platform::MappedView& view, std::intptr_t userValue) : view_(view), userValue_(userValue) {}
  void Unlink();

  platform::MappedView view_;
  std::intptr_t userValue_;
  FileMemViewList* list_ = nullptr;
  FileMemView* previous_ = nullptr;
  FileMemView* next_ = nullptr;
};

// An intrusive list of views. It holds no references: the views' owners keep them alive, and a view
// that dies leaves the list. A view is in at most one list.
class FileMemViewList {
 public:
  FileMemViewList() = default;
  ~FileMemViewList();
  FileMemViewList(const FileMemViewList&) = delete;
  FileMemViewList& operator=(const FileMemViewList&) = delete;

  // Appends a view, taking it out of any list it is in first.
  void Append(FileMemView* view);
  void Remove(FileMemView* view);
  FileMemView* First() const { return first_; }
  int Count() const { return count_; }

 private:
  friend class FileMemView;
  FileMemView* first_ = nullptr;
  FileMemView* last_ = nullptr;
  int count_ = 0;
};
