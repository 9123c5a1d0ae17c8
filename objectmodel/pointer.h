// KT::CPointer<T>: intrusive counted pointer over KT::CBase objects.
//
// The count lives in the object (CBase::References). Holding an object adds
// one count; letting go removes one, and the last release runs the object's
// virtual destructor. T only needs to be complete where a pointer is copied,
// assigned or released.
#pragma once

#include <cstddef>
#include <utility>

namespace KT {

template <typename T>
class CPointer {
 public:
  CPointer() = default;
  CPointer(std::nullptr_t) {}
  CPointer(T* object) : object_(object) { AddRef(object_); }
  CPointer(const CPointer& other) : object_(other.object_) { AddRef(object_); }
  CPointer(CPointer&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
  template <typename U>
  CPointer(const CPointer<U>& other) : object_(other.Get()) { AddRef(object_); }
  ~CPointer() { Release(); }

  // The new object gains its count before the old one loses its own, so
  // assigning an object that only the old value keeps alive is safe.
  CPointer& operator=(T* object) {
    if (object == object_) return *this;
    AddRef(object);
    T* old = object_;
    object_ = object;
    DropRef(old);
    return *this;
  }
  CPointer& operator=(const CPointer& other) { return *this = other.object_; }
  CPointer& operator=(CPointer&& other) noexcept {
    if (this != &other) {
      T* old = object_;
      object_ = std::exchange(other.object_, nullptr);
      DropRef(old);
    }
    return *this;
  }
  template <typename U>
  CPointer& operator=(const CPointer<U>& other) { return *this = other.Get(); }

  // Lets go of the held object (if any); the pointer becomes empty.
  void Release() {
    T* old = std::exchange(object_, nullptr);
    DropRef(old);
  }

  T* Get() const { return object_; }
  T* operator->() const { return object_; }
  T& operator*() const { return *object_; }
  explicit operator bool() const { return object_ != nullptr; }

  friend bool operator==(const CPointer& a, const CPointer& b) { return a.object_ == b.object_; }
  friend bool operator==(const CPointer& a, const T* b) { return a.object_ == b; }
  friend bool operator==(const CPointer& a, std::nullptr_t) { return a.object_ == nullptr; }

 private:
  static void AddRef(T* object) {
    if (object != nullptr) object->AddReference();
  }
  static void DropRef(T* object) {
    if (object != nullptr) object->ReleaseReference();
  }

  T* object_ = nullptr;
};

}  // namespace KT
