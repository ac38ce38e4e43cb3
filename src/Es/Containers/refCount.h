#pragma once
// Base of reference-counted objects (stream buffers, byte sources, file views, the progress window).
// The count is a plain integer: such objects belong to one thread at a time. A new object starts at 0;
// holders add a reference and release it, and the release action runs when the count drops to 0.

#include "Es/Containers/relocatable.h"

class RefCount {
 public:
  RefCount() = default;
  RefCount(const RefCount&) : count_(0) {}  // a copy is a new object with holders of its own
  RefCount& operator=(const RefCount&) { return *this; }
  virtual ~RefCount() = default;

  virtual void OnUnused() {}                  // notification; nothing by default
  virtual void Destroy() { delete this; }     // the release action
  virtual double GetMemoryUsed() const { return 0; }

  int AddRef() const { return ++count_; }
  int Release() const {
    int left = --count_;
    if (left == 0) const_cast<RefCount*>(this)->Destroy();
    return left;
  }
  int RefCounter() const { return count_; }

 private:
  mutable int count_ = 0;
};

// A counted reference to a RefCount-derived object; null means "none".
template <class T>
class Ref {
 public:
  Ref() = default;
  Ref(T* object) : object_(object) {  // NOLINT: implicit from a raw pointer, like the holders expect
    if (object_) object_->AddRef();
  }
  Ref(const Ref& other) : Ref(other.object_) {}
  Ref(Ref&& other) noexcept : object_(other.object_) { other.object_ = nullptr; }
  template <class U>
  Ref(const Ref<U>& other) : Ref(other.GetRef()) {}
  ~Ref() { Free(); }
  Ref& operator=(const Ref& other) {
    if (other.object_) other.object_->AddRef();  // before releasing: self-assignment stays alive
    Free();
    object_ = other.object_;
    return *this;
  }
  Ref& operator=(Ref&& other) noexcept {
    if (this != &other) {
      Free();
      object_ = other.object_;
      other.object_ = nullptr;
    }
    return *this;
  }

  void Free() {
    T* object = object_;
    object_ = nullptr;
    if (object) object->Release();
  }
  T* GetRef() const { return object_; }
  T* operator->() const { return object_; }
  T& operator*() const { return *object_; }
  bool IsNull() const { return object_ == nullptr; }
  bool NotNull() const { return object_ != nullptr; }
  explicit operator bool() const { return object_ != nullptr; }

 private:
  T* object_ = nullptr;
};

template <class T>
struct IsBytewiseRelocatable<Ref<T>> : std::true_type {};
