#include "objectmodel/raw_data.h"

#include <algorithm>
#include <new>

#include "objectmodel/class_factory.h"
#include "objectmodel/stream.h"
#include "objectmodel/stream_fields.h"

namespace KT {

Result CRawData::SetData(u32 size, const void* bytes) {
  if (bytes == nullptr || size == 0) return kErrInvalidArg;
  try {
    const u8* begin = static_cast<const u8*>(bytes);
    bytes_.assign(begin, begin + size);
  } catch (const std::bad_alloc&) {
    bytes_.clear();
    bytes_.shrink_to_fit();
    return kErrOutOfMemory;
  }
  SetModified();
  return kOk;
}

Result CRawData::CreateInstance(CPointer<CBase>& out) const { return CreateCopy(*this, out); }

Result CRawData::CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const {
  const Result r = CCustomData::CopyTo(target, displaced, flags);
  if (Failed(r)) return r;
  CRawData* other = static_cast<CRawData*>(target);
  if (other != this) {
    try {
      other->bytes_ = bytes_;
    } catch (const std::bad_alloc&) {
      other->bytes_.clear();
      return kErrOutOfMemory;
    }
  }
  return kOk;
}

Result CRawData::Load(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  Result r = CCustomData::Load(stream, record, flags);
  if (Succeeded(r)) r = stream.ReadVersionBlock(CRawData::StaticClassRecord());
  u32 byteSize = 0;
  u32 present = 0;
  if (Succeeded(r)) r = ReadU32(stream, byteSize);
  if (Succeeded(r)) r = ReadU32(stream, present);
  if (Failed(r)) return r;
  bytes_.clear();
  // A record that says it has no bytes holds none, whatever its ByteSize.
  if (present == 0 || byteSize == 0) return kOk;
  r = stream.CheckAvailable(byteSize, 1);
  if (Failed(r)) return r;
  bytes_.resize(byteSize);
  r = stream.Read(bytes_.data(), byteSize, byteSize);
  if (Failed(r)) {
    bytes_.clear();
    return r;
  }
  if (GetEncoding() == kEncodingInverted) {
    for (u8& b : bytes_) b = static_cast<u8>(~b);
  }
  return kOk;
}

Result CRawData::Save(CStream& stream, u32 flags) {
  const u32 encoding = GetEncoding();
  if (encoding != kEncodingPlain && encoding != kEncodingInverted) return kErrNotFound;
  Result r = CCustomData::Save(stream, flags);
  if (Succeeded(r)) r = WriteVersion(stream, CRawData::StaticClassRecord());
  if (Succeeded(r)) r = WriteU32(stream, GetByteSize());
  if (Succeeded(r)) r = WriteU32(stream, bytes_.empty() ? 0 : 1);
  if (Failed(r) || bytes_.empty()) return r;
  if (encoding == kEncodingPlain) return stream.Write(bytes_.data(), GetByteSize());
  std::vector<u8> inverted(bytes_.size());
  std::transform(bytes_.begin(), bytes_.end(), inverted.begin(), [](u8 b) { return static_cast<u8>(~b); });
  return stream.Write(inverted.data(), GetByteSize());
}

void CRawData::DescribeMembers(CMemberVisitor& visitor) {
  u32 byteSize = GetByteSize();
  visitor.BeginGroup(u"CRawData Member");
  visitor.OpenGroup();
  visitor.UInt(u"ByteSize", &byteSize);
  visitor.EndGroup();
  CCustomData::DescribeMembers(visitor);
}

u32 CRawData::GetMemorySize() const { return sizeof(CRawData) + GetByteSize(); }

u32 CRawData::GetSaveSize() const { return CCustomData::GetSaveSize() + 16 + GetByteSize(); }

Result CXmlRawData::CreateInstance(CPointer<CBase>& out) const { return CreateCopy(*this, out); }

Result CXmlRawData::Load(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  Result r = CRawData::Load(stream, record, flags);
  if (Failed(r) || stream.GetFileVersion() < kFirstVersionedFile) return r;
  return stream.ReadVersionBlock(StaticClassRecord());
}

Result CXmlRawData::Save(CStream& stream, u32 flags) {
  const Result r = CRawData::Save(stream, flags);
  if (Failed(r)) return r;
  return WriteVersion(stream, StaticClassRecord());
}

u32 CXmlRawData::GetSaveSize() const { return CRawData::GetSaveSize() + 8; }

}  // namespace KT
