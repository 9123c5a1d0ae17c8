// KT::CSharePointer<T>: a counted handle to one heap value. Copying the
// handle shares the value; the last handle to go frees it. Copy() makes a
// handle to a separate copy of the value. An empty handle holds nothing.
#pragma once

#include <memory>
#include <utility>

namespace KT {

template <typename T>
class CSharePointer {
 public:
  CSharePointer() = default;
  // A handle to a new value moved from `value`; throws std::bad_alloc when
  // it cannot be allocated.
  explicit CSharePointer(T value) : value_(std::make_shared<T>(std::move(value))) {}
  virtual ~CSharePointer() = default;
  CSharePointer(const CSharePointer&) = default;
  CSharePointer& operator=(const CSharePointer&) = default;
  CSharePointer(CSharePointer&&) noexcept = default;
  CSharePointer& operator=(CSharePointer&&) noexcept = default;

  T* Get() const { return value_.get(); }
  T& operator*() const { return *value_; }
  T* operator->() const { return value_.get(); }
  explicit operator bool() const { return value_ != nullptr; }
  // The number of handles sharing the value (0 when empty).
  long GetShareCount() const { return value_.use_count(); }
  // True when both handles hold the same value.
  bool SharesWith(const CSharePointer& other) const { return value_ == other.value_; }
  // A handle to a separate copy of the value (empty for an empty handle);
  // throws std::bad_alloc when it cannot be allocated.
  CSharePointer Copy() const { return value_ ? CSharePointer(T(*value_)) : CSharePointer(); }

 private:
  std::shared_ptr<T> value_;
};

}  // namespace KT
