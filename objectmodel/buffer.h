// KT::CBuffer<T>: a heap array with its element count and one spare word.
//
// Used for bulk data (positions, normals, indices, colours) and for arrays
// of counted pointers. Copies are element-wise, so a buffer of counted
// pointers takes one count per element and releases each exactly once.
#pragma once

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>
#include <utility>

#include "objectmodel/types.h"

namespace KT {

template <typename T>
class CBuffer {
 public:
  CBuffer() = default;
  CBuffer(const CBuffer& other) { InitFrom(other); }
  CBuffer(CBuffer&& other) noexcept
      : count_(std::exchange(other.count_, 0)),
        data_(std::exchange(other.data_, nullptr)),
        extra_(std::exchange(other.extra_, 0)) {}
  CBuffer& operator=(const CBuffer& other) {
    if (this != &other) {
      CBuffer copy(other);
      Swap(copy);
    }
    return *this;
  }
  CBuffer& operator=(CBuffer&& other) noexcept {
    if (this != &other) {
      Free();
      count_ = std::exchange(other.count_, 0);
      data_ = std::exchange(other.data_, nullptr);
      extra_ = std::exchange(other.extra_, 0);
    }
    return *this;
  }
  virtual ~CBuffer() { Free(); }

  // Replaces the contents with `count` elements copied from `source`, or
  // value-initialised (zero) elements when `source` is null. `source` may
  // point into this buffer's own elements (a shrink in place).
  // count 0: kErrInvalidArg and nothing changes. A failed allocation (or a
  // byte size beyond 32 bits) answers kErrOutOfMemory and leaves the buffer
  // empty.
  Result Create(u32 count, const T* source = nullptr) {
    if (count == 0) return kErrInvalidArg;
    if (static_cast<u64>(count) * sizeof(T) > std::numeric_limits<u32>::max()) {
      Free();
      return kErrOutOfMemory;
    }
    T* data = new (std::nothrow) T[count]();
    if (data == nullptr) {
      Free();
      return kErrOutOfMemory;
    }
    // The old elements are freed only after the copy: `source` may point
    // into them.
    if (source != nullptr) std::copy(source, source + count, data);
    Free();
    data_ = data;
    count_ = count;
    return kOk;
  }

  // Becomes a copy of `source`'s elements (empty when `source` is). A failed
  // allocation answers kErrOutOfMemory and keeps what the buffer held. The
  // extra word stays.
  Result CopyFrom(const CBuffer& source) {
    if (&source == this) return kOk;
    if (source.IsEmpty()) {
      Free();
      return kOk;
    }
    CBuffer copy;
    const Result r = copy.Create(source.count_, source.data_);
    if (Failed(r)) return r;
    std::swap(count_, copy.count_);
    std::swap(data_, copy.data_);
    return kOk;
  }

  // The elements' bytes.
  u32 GetByteSize() const { return count_ * static_cast<u32>(sizeof(T)); }
  // Same count and the same element bytes.
  bool SameBytes(const CBuffer& other) const {
    return count_ == other.count_ && (count_ == 0 || std::memcmp(data_, other.data_, GetByteSize()) == 0);
  }

  // Frees the elements; the buffer becomes empty (extra is kept).
  void Free() {
    delete[] data_;
    data_ = nullptr;
    count_ = 0;
  }

  u32 GetCount() const { return count_; }
  T* GetData() { return data_; }
  const T* GetData() const { return data_; }
  bool IsEmpty() const { return count_ == 0; }
  T& operator[](u32 i) { return data_[i]; }
  const T& operator[](u32 i) const { return data_[i]; }
  T* begin() { return data_; }
  T* end() { return data_ + count_; }
  const T* begin() const { return data_; }
  const T* end() const { return data_ + count_; }

  u32 GetExtra() const { return extra_; }
  void SetExtra(u32 extra) { extra_ = extra; }

  void Swap(CBuffer& other) noexcept {
    std::swap(count_, other.count_);
    std::swap(data_, other.data_);
    std::swap(extra_, other.extra_);
  }

  friend bool operator==(const CBuffer& a, const CBuffer& b) {
    return a.count_ == b.count_ && std::equal(a.begin(), a.end(), b.begin());
  }

 private:
  // A copy holds the same elements and a zero extra word; when the
  // allocation fails the copy is empty.
  void InitFrom(const CBuffer& other) {
    if (other.count_ == 0) return;
    T* data = new (std::nothrow) T[other.count_];
    if (data == nullptr) return;
    std::copy(other.data_, other.data_ + other.count_, data);
    data_ = data;
    count_ = other.count_;
  }

  u32 count_ = 0;
  T* data_ = nullptr;
  u32 extra_ = 0;
};

}  // namespace KT
