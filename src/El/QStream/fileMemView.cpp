#include "El/QStream/fileMemView.h"

#include "El/Common/appFrame.h"

Ref<FileMemView> FileMemView::Map(platform::FileHandle file, std::uint64_t offset, std::size_t size,
                                  std::intptr_t userValue) {
  platform::FileSystem* fileSystem = platform::CurrentFileSystem();
  platform::MappedView view;
  if (!fileSystem->MapView(file, offset, size, &view) || (size > 0 && !view.data)) {
    ErrorMessage("Memory mapping error %x", fileSystem->LastError());
    return Ref<FileMemView>();
  }
  return new FileMemView(view, userValue);
}

FileMemView::~FileMemView() {
  Unlink();
  if (view_.base) platform::CurrentFileSystem()->UnmapView(&view_);
}

void FileMemView::Unlink() {
  if (list_) list_->Remove(this);
}

FileMemViewList::~FileMemViewList() {
  while (first_) Remove(first_);
}

void FileMemViewList::Append(FileMemView* view) {
  view->Unlink();
  view->list_ = this;
  view->previous_ = last_;
  view->next_ = nullptr;
  if (last_) {
    last_->next_ = view;
  } else {
    first_ = view;
  }
  last_ = view;
  ++count_;
}

void FileMemViewList::Remove(FileMemView* view) {
  if (view->list_ != this) return;
  if (view->previous_) {
    view->previous_->next_ = view->next_;
  } else {
    first_ = view->next_;
  }
  if (view->next_) {
    view->next_->previous_ = view->previous_;
  } else {
    last_ = view->previous_;
  }
  view->list_ = nullptr;
  view->previous_ = view->next_ = nullptr;
  --count_;
}
