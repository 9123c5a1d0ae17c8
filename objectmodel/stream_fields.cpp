#include "objectmodel/stream_fields.h"

#include <cstring>

#include "objectmodel/string_helpers.h"
#include "objectmodel/time_helpers.h"

namespace KT {

namespace {

// The file format is little-endian and so is every platform this library
// builds for; values travel as their byte patterns.
template <typename T>
Result ReadRaw(CStream& stream, T& value) {
  return stream.Read(&value, sizeof(T), sizeof(T));
}
template <typename T>
Result WriteRaw(CStream& stream, const T& value) {
  return stream.Write(&value, sizeof(T));
}

}  // namespace

Result ReadBool(CStream& stream, bool& value) {
  u8 byte = 0;
  const Result r = ReadRaw(stream, byte);
  value = Succeeded(r) && byte != 0;
  return r;
}

Result WriteBool(CStream& stream, bool value) {
  const u8 byte = value ? 1 : 0;
  return WriteRaw(stream, byte);
}

Result ReadU32(CStream& stream, u32& value) { return ReadRaw(stream, value); }
Result ReadU32(CStream& stream, i32& value) { return ReadRaw(stream, value); }
Result ReadU32(CStream& stream, f32& value) { return ReadRaw(stream, value); }
Result WriteU32(CStream& stream, u32 value) { return WriteRaw(stream, value); }
Result WriteI32(CStream& stream, i32 value) { return WriteRaw(stream, value); }
Result WriteFloat(CStream& stream, const f32& value) { return WriteRaw(stream, value); }
Result ReadU64(CStream& stream, u64& value) { return ReadRaw(stream, value); }
Result WriteU64(CStream& stream, u64 value) { return WriteRaw(stream, value); }

Result ReadFloats(CStream& stream, f32* values, u32 count) {
  if (count == 0) return kOk;
  return stream.Read(values, count * sizeof(f32), count * sizeof(f32));
}

Result WriteFloats(CStream& stream, const f32* values, u32 count) {
  if (count == 0) return kOk;
  return stream.Write(values, count * sizeof(f32));
}

Result ReadString(CStream& stream, std::string& value) {
  u32 n = 0;
  Result r = ReadU32(stream, n);
  if (Failed(r)) return r;
  r = stream.CheckAvailable(n, 1);
  if (Failed(r)) return r;
  value.resize(n);
  if (n == 0) return kOk;
  return stream.Read(value.data(), n, n);
}

Result WriteString(CStream& stream, const std::string& value) {
  Result r = WriteU32(stream, static_cast<u32>(value.size()));
  if (Failed(r) || value.empty()) return r;
  return stream.Write(value.data(), static_cast<u32>(value.size()));
}

Result WriteString(CStream& stream, const char* value) {
  const u32 n = static_cast<u32>(std::strlen(value));
  Result r = WriteU32(stream, n);
  if (Failed(r) || n == 0) return r;
  return stream.Write(value, n);
}

Result ReadWString(CStream& stream, WString& value) {
  if (stream.GetFileVersion() < CStream::kFirstSizedRecordVersion) {
    std::string narrow;
    const Result r = ReadString(stream, narrow);
    if (Succeeded(r)) value = AnsiToWide(narrow);
    return r;
  }
  u32 n = 0;
  Result r = ReadU32(stream, n);
  if (Failed(r)) return r;
  r = stream.CheckAvailable(n, 2);
  if (Failed(r)) return r;
  value.resize(n);
  if (n == 0) return kOk;
  return stream.Read(value.data(), n * 2, n * 2);
}

Result WriteWString(CStream& stream, const WString& value) {
  const u32 n = static_cast<u32>(value.size());
  Result r = WriteU32(stream, n);
  if (Failed(r) || n == 0) return r;
  return stream.Write(value.data(), n * 2);
}

Result ReadTimeArrayVersioned(CStream& stream, i32 storedVersion, std::vector<i32>& times, u32 major,
                              u32 minor) {
  if (storedVersion >= static_cast<i32>(major * 100 + minor)) return ReadTimeArray(stream, times);
  return ReadFloatTimeArray(stream, times);
}

Result ReadFloatTimeArray(CStream& stream, std::vector<i32>& times) {
  std::vector<f32> floats;
  const Result r = ReadPodVector(stream, floats);
  if (Failed(r) || floats.empty()) return r;
  times.resize(floats.size());
  for (std::size_t i = 0; i < floats.size(); ++i) times[i] = ClampKeyTime(FloatToIntTrunc(floats[i]));
  return kOk;
}

Result ReadBoolVector(CStream& stream, std::vector<bool>& values) {
  u32 n = 0;
  Result r = ReadU32(stream, n);
  if (Failed(r) || n == 0) return r;
  r = stream.CheckAvailable(n, 1);
  if (Failed(r)) return r;
  std::vector<u8> bytes(n);
  r = stream.Read(bytes.data(), n, n);
  if (Failed(r)) return r;
  values.assign(n, false);
  for (u32 i = 0; i < n; ++i) values[i] = bytes[i] != 0;
  return kOk;
}

Result WriteBoolVector(CStream& stream, const std::vector<bool>& values) {
  Result r = WriteU32(stream, static_cast<u32>(values.size()));
  for (std::size_t i = 0; Succeeded(r) && i < values.size(); ++i) r = WriteBool(stream, values[i]);
  return r;
}

Result WriteObjectId(CStream& stream, const CBase* object) {
  return WriteU64(stream, object != nullptr ? object->GetUniqueId() : 0);
}

namespace {

// The first few ids stay in the record itself (CStreamIdList).
void QueueId(CStreamLoadRecord& record, u64 id) { record.pendingIds.push_back(id); }

}  // namespace

Result ReadObjectId(CStream& stream, CStreamLoadRecord& record) {
  u64 id = 0;
  const Result r = ReadU64(stream, id);
  if (Succeeded(r)) QueueId(record, id);
  return r;
}

Result ReadObjectId32(CStream& stream, CStreamLoadRecord& record) {
  u32 id = 0;
  const Result r = ReadU32(stream, id);
  if (Succeeded(r)) QueueId(record, id);
  return r;
}

Result WriteVersion(CStream& stream, u32 major, u32 minor) {
  const u32 pair[2] = {major, minor};
  return stream.Write(pair, sizeof(pair));
}

}  // namespace KT
