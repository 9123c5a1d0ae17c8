#include "audio/audio_data.h"

#include <cstring>
#include <new>

#include "objectmodel/stream.h"
#include "objectmodel/stream_fields.h"

namespace KT {

namespace {

// A copy of `size` bytes of `bytes`, allocated without throwing (null when
// the allocation fails or size is 0).
std::unique_ptr<u8[]> CopyBytes(const u8* bytes, u32 size) {
  if (size == 0) return nullptr;
  std::unique_ptr<u8[]> copy(new (std::nothrow) u8[size]);
  if (copy && bytes != nullptr) std::memcpy(copy.get(), bytes, size);
  return copy;
}

}  // namespace

CAudioData::CAudioData() = default;

// The base levels are those of a new object: a copy has no name.
CAudioData::CAudioData(const CAudioData& other) : CDorun(), format_(other.format_), static_(other.static_) {}

CAudioData::~CAudioData() = default;

Result CAudioData::SetSamples(const u8* bytes, u32 size) {
  if (size != 0 && bytes == nullptr) return kErrInvalidArg;
  std::unique_ptr<u8[]> copy = CopyBytes(bytes, size);
  if (size != 0 && !copy) return kErrOutOfMemory;
  samples_ = std::move(copy);
  dataSize_ = size;
  SetModified();
  return kOk;
}

f32 CAudioData::GetDuration() const {
  const u32 frameBytes = static_cast<u32>(format_.BitsPerSample / 8) * format_.Channels;
  const u32 rate = format_.SamplesPerSec;
  if (frameBytes == 0 || rate == 0) return 0.0f;
  const u32 frames = dataSize_ / frameBytes;
  const u32 seconds = frames / rate;
  const u32 rest = frames % rate;
  const f32 fraction = static_cast<f32>(static_cast<f64>(rest) / static_cast<f64>(rate));
  const f32 total = static_cast<f32>(static_cast<f64>(seconds) + fraction);
  return static_cast<f32>(static_cast<f64>(total) * 1000.0);
}

Result CAudioData::CreateInstance(CPointer<CBase>& out) const {
  CPointer<CAudioData> copy(new (std::nothrow) CAudioData(*this));
  if (!copy) return kErrOutOfMemory;
  const Result r = copy->SetSamples(samples_.get(), dataSize_);
  if (Failed(r)) return r;
  copy->SetModified(false);
  out = copy.Get();
  return kOk;
}

Result CAudioData::CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const {
  CAudioData* other = DynamicCast<CAudioData>(target);
  if (other == nullptr) return kErrNotFound;
  // The copy of the samples is made first, so a failing allocation leaves
  // the target as it was.
  std::unique_ptr<u8[]> copy = CopyBytes(samples_.get(), dataSize_);
  if (dataSize_ != 0 && !copy) return kErrOutOfMemory;
  const Result r = CDorun::CopyTo(target, displaced, flags);
  if (Failed(r)) return r;
  other->format_ = format_;
  other->static_ = static_;
  other->dataSize_ = dataSize_;
  other->samples_ = std::move(copy);
  return kOk;
}

Result CAudioData::Load(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  Result r = CDorun::Load(stream, record, flags);
  if (Succeeded(r)) r = stream.ReadVersionBlock(StaticClassRecord());
  if (Failed(r)) return r;
  const i32 v = stream.GetStoredVersion(StaticClassRecord());
  r = stream.Read(&format_, sizeof(format_), sizeof(format_));
  u32 size = 0;
  if (Succeeded(r)) r = ReadU32(stream, size);
  if (Succeeded(r)) r = stream.CheckAvailable(size, 1);
  if (Failed(r)) return r;
  std::unique_ptr<u8[]> bytes = CopyBytes(nullptr, size);
  if (size != 0 && !bytes) return kErrOutOfMemory;
  if (size != 0) r = stream.Read(bytes.get(), size, size);
  if (Failed(r)) return r;
  samples_ = std::move(bytes);
  dataSize_ = size;
  if (v >= static_cast<i32>(kVersionStatic)) r = ReadBool(stream, static_);
  return r;
}

Result CAudioData::Save(CStream& stream, u32 flags) {
  Result r = CDorun::Save(stream, flags);
  if (Succeeded(r)) r = WriteVersion(stream, StaticClassRecord());
  if (Succeeded(r)) r = stream.Write(&format_, sizeof(format_));
  if (Succeeded(r)) r = WriteU32(stream, dataSize_);
  if (Succeeded(r) && dataSize_ != 0) r = stream.Write(samples_.get(), dataSize_);
  if (Succeeded(r)) r = WriteBool(stream, static_);
  return r;
}

void CAudioData::DescribeMembers(CMemberVisitor& visitor) {
  visitor.BeginGroup(u"CAudioData Member");
  visitor.OpenGroup();
  visitor.BeginGroup(u"CAudioData AudioFormat");
  visitor.OpenGroup();
  visitor.UShort(u"FormatTag", &format_.FormatTag);
  visitor.UShort(u"Channels", &format_.Channels);
  visitor.UInt(u"SamplesPerSec", &format_.SamplesPerSec);
  visitor.UInt(u"AvgBytesPerSec", &format_.AvgBytesPerSec);
  visitor.UShort(u"BlockAlign", &format_.BlockAlign);
  visitor.UShort(u"BitsPerSample", &format_.BitsPerSample);
  visitor.EndGroup();
  visitor.UInt(u"DataSize", &dataSize_);
  visitor.Bool(u"Static", &static_);
  visitor.EndGroup();
  CDorun::DescribeMembers(visitor);
}

u32 CAudioData::GetMemorySize() const { return CDorun::GetMemorySize() + 32; }

// Version pair 8, format 16, size 4, the samples, Static 1.
u32 CAudioData::GetSaveSize() const { return CDorun::GetSaveSize() + dataSize_ + 29; }

}  // namespace KT
