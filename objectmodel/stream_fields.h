// Typed field helpers: the on-disk form of every kind of field.
//
// All forms are little-endian and unpadded. Each helper answers the first
// failing transfer's code unchanged, or kOk; nothing is rolled back. Counts
// read from a file are checked against the bytes left before anything is
// allocated (kErrStream when they cannot fit).
#pragma once

#include <string>
#include <type_traits>
#include <vector>

#include "objectmodel/buffer.h"
#include "objectmodel/stream.h"

namespace KT {

// --- scalars ------------------------------------------------------------------
// A bool is one byte, written 0 or 1, read as true for any non-zero byte; a
// failed read stores false.
Result ReadBool(CStream& stream, bool& value);
Result WriteBool(CStream& stream, bool value);
Result ReadU32(CStream& stream, u32& value);
Result ReadU32(CStream& stream, i32& value);
Result ReadU32(CStream& stream, f32& value);
Result WriteU32(CStream& stream, u32 value);
Result WriteI32(CStream& stream, i32 value);
Result WriteFloat(CStream& stream, const f32& value);
Result ReadU64(CStream& stream, u64& value);
Result WriteU64(CStream& stream, u64 value);
// `count` consecutive f32 (no count on disk).
Result ReadFloats(CStream& stream, f32* values, u32 count);
Result WriteFloats(CStream& stream, const f32* values, u32 count);

// Fixed blocks of floats for any standard-layout type made only of f32
// (two for Float2, three for Vec3, four for Float4, sixteen for Matrix4).
template <typename T>
Result ReadFloatBlock(CStream& stream, T& value) {
  static_assert(std::is_standard_layout_v<T> && sizeof(T) % sizeof(f32) == 0);
  return ReadFloats(stream, reinterpret_cast<f32*>(&value), sizeof(T) / sizeof(f32));
}
template <typename T>
Result WriteFloatBlock(CStream& stream, const T& value) {
  static_assert(std::is_standard_layout_v<T> && sizeof(T) % sizeof(f32) == 0);
  return WriteFloats(stream, reinterpret_cast<const f32*>(&value), sizeof(T) / sizeof(f32));
}

// --- strings --------------------------------------------------------------------
// Narrow string: u32 byte count, then the bytes (class names, tags).
Result ReadString(CStream& stream, std::string& value);
Result WriteString(CStream& stream, const std::string& value);
Result WriteString(CStream& stream, const char* value);
// Wide string: u32 character count, then UTF-16LE units. Files older than
// 2.00 store a narrow string in the ANSI code page instead.
Result ReadWString(CStream& stream, WString& value);
Result WriteWString(CStream& stream, const WString& value);
// Bytes a wide string occupies on disk.
inline u32 WStringSaveSize(const WString& value) { return 4 + 2 * static_cast<u32>(value.size()); }

// --- counted vectors ------------------------------------------------------------
// u32 count n, then n elements of T as raw little-endian bytes in one block.
// Reading a count of 0 leaves the vector unchanged; otherwise the vector is
// resized to n first.
template <typename T>
Result ReadPodVector(CStream& stream, std::vector<T>& values) {
  static_assert(std::is_trivially_copyable_v<T>);
  u32 n = 0;
  Result r = ReadU32(stream, n);
  if (Failed(r) || n == 0) return r;
  r = stream.CheckAvailable(n, sizeof(T));
  if (Failed(r)) return r;
  values.resize(n);
  return stream.Read(values.data(), static_cast<u32>(n * sizeof(T)), static_cast<u32>(n * sizeof(T)));
}
template <typename T>
Result WritePodVector(CStream& stream, const std::vector<T>& values) {
  static_assert(std::is_trivially_copyable_v<T>);
  Result r = WriteU32(stream, static_cast<u32>(values.size()));
  if (Failed(r) || values.empty()) return r;
  return stream.Write(values.data(), static_cast<u32>(values.size() * sizeof(T)));
}
template <typename T>
u32 PodVectorSaveSize(const std::vector<T>& values) {
  return 4 + static_cast<u32>(values.size() * sizeof(T));
}

// The same form over a counted buffer.
template <typename T>
Result ReadPodBuffer(CStream& stream, CBuffer<T>& values) {
  static_assert(std::is_trivially_copyable_v<T>);
  u32 n = 0;
  Result r = ReadU32(stream, n);
  if (Failed(r) || n == 0) return r;
  r = stream.CheckAvailable(n, sizeof(T));
  if (Failed(r)) return r;
  r = values.Create(n);
  if (Failed(r)) return r;
  return stream.Read(values.GetData(), static_cast<u32>(n * sizeof(T)), static_cast<u32>(n * sizeof(T)));
}
template <typename T>
Result WritePodBuffer(CStream& stream, const CBuffer<T>& values) {
  static_assert(std::is_trivially_copyable_v<T>);
  Result r = WriteU32(stream, values.GetCount());
  if (Failed(r) || values.IsEmpty()) return r;
  return stream.Write(values.GetData(), static_cast<u32>(values.GetCount() * sizeof(T)));
}

// The presence-word form of an optional array whose count the record
// states elsewhere: u32 1 and the `count` elements when the buffer has data,
// u32 0 otherwise. A buffer with data that does not hold exactly `count`
// elements (count above 0) cannot be written in that form: kErrInvalidArg.
template <typename T>
Result WritePresentBuffer(CStream& stream, const CBuffer<T>& buffer, u32 count) {
  static_assert(std::is_trivially_copyable_v<T>);
  if (!buffer.IsEmpty() && count != 0 && buffer.GetCount() != count) return kErrInvalidArg;
  Result r = WriteU32(stream, buffer.IsEmpty() ? 0u : 1u);
  if (Failed(r) || buffer.IsEmpty() || count == 0) return r;
  return stream.Write(buffer.GetData(), count * static_cast<u32>(sizeof(T)));
}
// Bytes WritePresentBuffer writes.
template <typename T>
u32 PresentBufferSaveSize(const CBuffer<T>& buffer, u32 count) {
  return 4 + (buffer.IsEmpty() ? 0u : count * static_cast<u32>(sizeof(T)));
}
// Reads a presence word; when it is non-zero and `count` is non-zero,
// `buffer` becomes `count` elements read from the stream (checked against
// the bytes left first: kErrStream). Otherwise the buffer stays as it was.
template <typename T>
Result ReadPresentBuffer(CStream& stream, CBuffer<T>& buffer, u64 count) {
  static_assert(std::is_trivially_copyable_v<T>);
  u32 present = 0;
  Result r = ReadU32(stream, present);
  if (Failed(r) || present == 0 || count == 0) return r;
  r = stream.CheckAvailable(count, sizeof(T));
  if (Failed(r)) return r;
  r = buffer.Create(static_cast<u32>(count));
  if (Failed(r)) return r;
  const u32 bytes = static_cast<u32>(count * sizeof(T));
  return stream.Read(buffer.GetData(), bytes, bytes);
}

// `count` elements of T without a count on disk (the count is stored
// elsewhere by the caller); the vector is resized to `count`.
template <typename T>
Result ReadPodArray(CStream& stream, std::vector<T>& values, u32 count) {
  static_assert(std::is_trivially_copyable_v<T>);
  if (count == 0) return kOk;
  Result r = stream.CheckAvailable(count, sizeof(T));
  if (Failed(r)) return r;
  values.resize(count);
  return stream.Read(values.data(), static_cast<u32>(count * sizeof(T)), static_cast<u32>(count * sizeof(T)));
}

inline Result ReadU32Vector(CStream& stream, std::vector<u32>& values) { return ReadPodVector(stream, values); }
inline Result WriteU32Vector(CStream& stream, const std::vector<u32>& values) { return WritePodVector(stream, values); }
inline Result ReadTimeArray(CStream& stream, std::vector<i32>& times) { return ReadPodVector(stream, times); }

// Key times: from version major.minor of the caller's class on they are
// i32 milliseconds; before it they were f32, converted here by truncation
// toward zero by FloatToIntTrunc and then clamped to the key-time range
// (NaN and infinities become kMinKeyTime).
Result ReadTimeArrayVersioned(CStream& stream, i32 storedVersion, std::vector<i32>& times, u32 major,
                              u32 minor);
// The float form alone: u32 count, then count f32 times, converted as
// above. A count of 0 leaves the vector unchanged.
Result ReadFloatTimeArray(CStream& stream, std::vector<i32>& times);

// One byte per element, non-zero read as set.
Result ReadBoolVector(CStream& stream, std::vector<bool>& values);
Result WriteBoolVector(CStream& stream, const std::vector<bool>& values);

// --- references -------------------------------------------------------------------
// 8-byte id of the referenced object, 0 for an empty reference.
Result WriteObjectId(CStream& stream, const CBase* object);
// Reads an 8-byte id and queues it on the record; the field stays empty
// until Link resolves it.
Result ReadObjectId(CStream& stream, CStreamLoadRecord& record);
// A 4-byte id, widened with a zero high word.
Result ReadObjectId32(CStream& stream, CStreamLoadRecord& record);

// n, then n ids (8 bytes, or 4 with the 32-bit form); the vector is resized
// to n with empty slots and the ids are queued in order.
template <typename T>
Result ReadReferenceVector(CStream& stream, CStreamLoadRecord& record, std::vector<CPointer<T>>& slots,
                           bool wideIds = true) {
  u32 n = 0;
  Result r = ReadU32(stream, n);
  if (Failed(r) || n == 0) return r;
  r = stream.CheckAvailable(n, wideIds ? 8 : 4);
  if (Failed(r)) return r;
  slots.assign(n, CPointer<T>());
  for (u32 i = 0; i < n; ++i) {
    r = wideIds ? ReadObjectId(stream, record) : ReadObjectId32(stream, record);
    if (Failed(r)) return r;
  }
  return kOk;
}
template <typename T>
Result WriteReferenceVector(CStream& stream, const std::vector<CPointer<T>>& slots) {
  Result r = WriteU32(stream, static_cast<u32>(slots.size()));
  for (u32 i = 0; Succeeded(r) && i < slots.size(); ++i) r = WriteObjectId(stream, slots[i].Get());
  return r;
}
inline u32 GetPointerVectorSaveSize(u32 count) { return 4 + 8 * count; }

// --- version pairs -----------------------------------------------------------------
// u32 major, u32 minor of a class part.
Result WriteVersion(CStream& stream, u32 major, u32 minor);
// The pair of a class record.
inline Result WriteVersion(CStream& stream, const ClassRecord& record) {
  return WriteVersion(stream, record.major, record.minor);
}

}  // namespace KT
