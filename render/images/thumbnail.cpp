#include "render/images/thumbnail.h"

#include <new>

#include "objectmodel/stream.h"
#include "objectmodel/stream_fields.h"
#include "render/images/pixel_record.h"

namespace KT {

namespace {

// Bytes of this class's part of a record besides the pixel form: version
// pair (8); TotalFrame, CurrentFrame (8), EnableKeyColor (1), KeyColor (4).
constexpr u32 kOwnFixedBytes = 8 + 8 + 1 + 4;

// The in-memory size the format's tools report besides the pixel rows.
constexpr u32 kMemoryOverhead = 124;

}  // namespace

CThumbnail::CThumbnail() = default;

CThumbnail::CThumbnail(const CThumbnail& other)
    : CBase(other),
      totalFrame_(other.totalFrame_),
      currentFrame_(other.currentFrame_),
      enableKeyColor_(other.enableKeyColor_),
      keyColor_(other.keyColor_) {}

Result CThumbnail::CopyPicture(const KTImage& source) { return PixelBuffer::CopyPicture(image_, source); }

Result CThumbnail::CreateInstance(CPointer<CBase>& out) const {
  CPointer<CThumbnail> copy = new (std::nothrow) CThumbnail(*this);
  if (!copy) return kErrOutOfMemory;
  const Result r = copy->CopyPicture(image_);
  if (Failed(r)) return r;
  out = copy;
  return kOk;
}

Result CThumbnail::CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const {
  Result r = CBase::CopyTo(target, displaced, flags);
  if (Failed(r)) return r;
  CThumbnail* other = DynamicCast<CThumbnail>(target);
  if (other == nullptr) return kErrNotFound;
  if (other == this) return kOk;
  other->totalFrame_ = totalFrame_;
  other->currentFrame_ = currentFrame_;
  other->enableKeyColor_ = enableKeyColor_;
  other->keyColor_ = keyColor_;
  return other->CopyPicture(image_);
}

Result CThumbnail::SkipFormerBasePart(CStream& stream) {
  u32 pair[2] = {0, 0};
  Result r = stream.Read(pair, sizeof(pair), sizeof(pair));
  if (Failed(r)) return r;
  const u64 version = static_cast<u64>(pair[0]) * 100 + pair[1];
  u32 bytes = 0;
  if (version >= kFormerBaseWideValues) {
    bytes = 3 * 8;
  } else {
    bytes = version >= kFormerBaseThreeValues ? 3 * 4 : 4;
  }
  u8 ignored[3 * 8];
  return stream.Read(ignored, sizeof(ignored), bytes);
}

Result CThumbnail::Load(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  Result r = kOk;
  // The oldest files hold the thumbnail body alone, without a root part.
  if (stream.GetFileVersion() >= kFirstRootPartVersion) {
    r = CBase::Load(stream, record, flags);
    if (Succeeded(r) && stream.GetFileVersion() < kFirstVersionWithoutFormerBase) r = SkipFormerBasePart(stream);
    if (Failed(r)) return r;
  }
  r = stream.ReadVersionBlock(StaticClassRecord());
  if (Failed(r)) return r;

  PixelRecord::Header header;
  r = PixelRecord::ReadHeader(stream, header);
  if (Failed(r)) return r;
  // Writers only ever store one of the seven layouts, with or without
  // pixels; any other code is not a thumbnail we can stand behind.
  if (!PixelBuffer::IsValidLayout(header.layout)) return kErrNotFound;
  r = PixelRecord::ReadPixels(stream, header, image_);
  if (Failed(r)) return r;

  r = ReadU32(stream, totalFrame_);
  if (Succeeded(r)) r = ReadU32(stream, currentFrame_);
  if (Succeeded(r)) r = ReadBool(stream, enableKeyColor_);
  if (Succeeded(r)) r = ReadU32(stream, keyColor_);
  return r;
}

Result CThumbnail::Link(CStream&, CStreamLoadRecord&, u32) { return kDone; }

Result CThumbnail::Save(CStream& stream, u32 flags) {
  Result r = CBase::Save(stream, flags);
  if (Succeeded(r)) r = WriteVersion(stream, StaticClassRecord());
  if (Succeeded(r)) r = PixelRecord::Write(stream, image_);
  if (Succeeded(r)) r = WriteU32(stream, totalFrame_);
  if (Succeeded(r)) r = WriteU32(stream, currentFrame_);
  if (Succeeded(r)) r = WriteBool(stream, enableKeyColor_);
  if (Succeeded(r)) r = WriteU32(stream, keyColor_);
  return r;
}

void CThumbnail::DescribeMembers(CMemberVisitor& visitor) {
  visitor.BeginGroup(u"CThumbnail Member");
  visitor.OpenGroup();
  PixelRecord::Describe(visitor, u"KTImage", image_);
  visitor.UInt(u"TotalFrame", &totalFrame_);
  visitor.UInt(u"CurrentFrame", &currentFrame_);
  visitor.Bool(u"EnableKeyColor", &enableKeyColor_);
  visitor.UInt(u"KeyColor", &keyColor_);
  visitor.EndGroup();
  CBase::DescribeMembers(visitor);
}

u32 CThumbnail::GetMemorySize() const { return PixelBuffer::GetPixelBytes(image_) + kMemoryOverhead; }

u32 CThumbnail::GetSaveSize() const { return CBase::GetSaveSize() + kOwnFixedBytes + PixelRecord::GetSaveSize(image_); }

Result CThumbnail::SetImage(const KTImage& image) {
  currentFrame_ = 0;
  enableKeyColor_ = false;
  keyColor_ = 0;
  totalFrame_ = 1;
  SetModified();
  return PixelBuffer::Copy(image_, image);
}

}  // namespace KT
