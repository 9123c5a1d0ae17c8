#include "objectmodel/memory_io.h"

#include <cstring>
#include <functional>
#include <new>
#include <stdexcept>
#include <utility>

#include "objectmodel/file_utils.h"
#include "objectmodel/path_helpers.h"

namespace KT {

CMemoryIo::CMemoryIo() = default;

CMemoryIo::CMemoryIo(std::vector<u8> bytes) : data_(std::move(bytes)) {}

CMemoryIo::CMemoryIo(const void* bytes, u32 count) {
  if (bytes != nullptr && count > 0) {
    const auto* begin = static_cast<const u8*>(bytes);
    data_.assign(begin, begin + count);
  }
}

void CMemoryIo::SetData(std::vector<u8> bytes) {
  data_ = std::move(bytes);
  position_ = 0;
}

std::vector<u8> CMemoryIo::TakeData() {
  std::vector<u8> out = std::move(data_);
  data_.clear();
  position_ = 0;
  return out;
}

bool CMemoryIo::IsEof() const { return position_ >= data_.size(); }

bool CMemoryIo::Exists(WString path) const { return PathExists(path); }

Result CMemoryIo::GetFolder(WString& folder) const {
  folder = KT::GetFolder(path_);
  return kOk;
}

Result CMemoryIo::PrepareSize(u32 totalBytes, u32 /*largestItem*/) {
  const u64 wanted = static_cast<u64>(data_.size()) + totalBytes;
  if (wanted > writeLimit_) return kOk;
  try {
    data_.reserve(static_cast<std::size_t>(wanted));
  } catch (const std::bad_alloc&) {
    // Only a hint; Write reports a real shortage.
  } catch (const std::length_error&) {
  }
  return kOk;
}

u32 CMemoryIo::GetSize() const { return static_cast<u32>(data_.size()); }

u32 CMemoryIo::GetRemaining() const {
  return position_ < data_.size() ? static_cast<u32>(data_.size() - position_) : 0;
}

Result CMemoryIo::Read(void* destination, u32 capacity, u32 count, u32 /*context*/) {
  if (count == 0) return kOk;
  if (destination == nullptr || count > capacity) return kErrInvalidArg;
  if (count > GetRemaining()) return kErrStream;
  std::memcpy(destination, data_.data() + position_, count);
  position_ += count;
  return kOk;
}

Result CMemoryIo::Write(const void* source, u32 count, u32 /*context*/) {
  if (count == 0) return kOk;
  if (source == nullptr) return kErrInvalidArg;
  if (static_cast<u64>(data_.size()) + count > writeLimit_) return kErrStream;
  const auto* begin = static_cast<const u8*>(source);
  try {
    // Bytes taken from the block itself would move when it grows.
    const bool inside = !data_.empty() && std::less_equal<>()(data_.data(), begin) &&
                        std::less<>()(begin, data_.data() + data_.size());
    if (inside) {
      const std::vector<u8> copy(begin, begin + count);
      data_.insert(data_.end(), copy.begin(), copy.end());
    } else {
      data_.insert(data_.end(), begin, begin + count);
    }
  } catch (const std::bad_alloc&) {
    return kErrOutOfMemory;
  } catch (const std::length_error&) {
    return kErrOutOfMemory;
  }
  return kOk;
}

Result CMemoryIo::Skip(i32 offset) {
  const i64 target = static_cast<i64>(position_) + offset;
  if (target < 0 || target > static_cast<i64>(data_.size())) return kErrStream;
  position_ = static_cast<u32>(target);
  return kOk;
}

}  // namespace KT
