#include "render/images/thumbnail.h"

#include <limits>
#include <new>

#include "objectmodel/stream.h"
#include "objectmodel/stream_fields.h"

namespace KT {

namespace {

// Bytes of this class's part of a record besides the pixel block: version
// pair (8); Width, Height, Layout (12), AlignRows (2), DpiX, DpiY (8);
// pixel marker (4); TotalFrame, CurrentFrame (8), EnableKeyColor (1),
// KeyColor (4).
constexpr u32 kOwnFixedBytes = 8 + 12 + 2 + 8 + 4 + 8 + 1 + 4;

// The in-memory size the format's tools report besides the pixel rows.
constexpr u32 kMemoryOverhead = 124;

constexpr u32 kMaxDimension = static_cast<u32>(std::numeric_limits<i32>::max());

}  // namespace

CThumbnail::CThumbnail() = default;

CThumbnail::CThumbnail(const CThumbnail& other)
    : CBase(other),
      totalFrame_(other.totalFrame_),
      currentFrame_(other.currentFrame_),
      enableKeyColor_(other.enableKeyColor_),
      keyColor_(other.keyColor_) {}

Result CThumbnail::CopyPicture(const KTImage& source) {
  if (&source == &image_) return kOk;
  image_.DpiX = source.DpiX;
  image_.DpiY = source.DpiY;
  // The copy keeps the source's row padding so that it saves the same rows.
  if (image_.AlignRows != source.AlignRows) {
    PixelBuffer::Free(image_);
    image_.AlignRows = source.AlignRows;
  }
  if (!PixelBuffer::HasPixels(source)) {
    PixelBuffer::Free(image_);
    return kOk;
  }
  return PixelBuffer::Copy(image_, source);
}

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

  u32 width = 0;
  u32 height = 0;
  u32 layout = 0;
  u16 alignRows = 0;
  i32 dpiX = 0;
  i32 dpiY = 0;
  u32 marker = 0;
  r = ReadU32(stream, width);
  if (Succeeded(r)) r = ReadU32(stream, height);
  if (Succeeded(r)) r = ReadU32(stream, layout);
  if (Succeeded(r)) r = stream.Read(&alignRows, sizeof(alignRows), sizeof(alignRows));
  if (Succeeded(r)) r = ReadU32(stream, dpiX);
  if (Succeeded(r)) r = ReadU32(stream, dpiY);
  if (Succeeded(r)) r = ReadU32(stream, marker);
  if (Failed(r)) return r;
  // Writers only ever store one of the seven layouts, with or without
  // pixels; any other code is not a thumbnail we can stand behind.
  if (!PixelBuffer::IsValidLayout(layout)) return kErrNotFound;

  PixelBuffer::Free(image_);
  image_.AlignRows = alignRows;
  image_.DpiX = dpiX;
  image_.DpiY = dpiY;
  if (marker != 0) {
    // The pixel block must be in the file before anything is allocated for
    // it; the stride is computed in 64 bits so no width can wrap it.
    if (width > kMaxDimension || height > kMaxDimension) return kErrStream;
    const u64 stride =
        PixelBuffer::RowStride(width, static_cast<u32>(PixelBuffer::BytesPerPixel(layout)), alignRows != 0);
    r = stream.CheckAvailable(height, stride);
    if (Succeeded(r)) r = PixelBuffer::Create(image_, layout, static_cast<i32>(width), static_cast<i32>(height));
    if (Failed(r)) return r;
    const u32 bytes = PixelBuffer::GetPixelBytes(image_);
    r = stream.Read(image_.Pixels, bytes, bytes);
    if (Failed(r)) return r;
  }

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
  if (Succeeded(r)) r = WriteI32(stream, image_.Width);
  if (Succeeded(r)) r = WriteI32(stream, image_.Height);
  if (Succeeded(r)) r = WriteU32(stream, image_.Layout);
  if (Succeeded(r)) r = stream.Write(&image_.AlignRows, sizeof(image_.AlignRows));
  if (Succeeded(r)) r = WriteI32(stream, image_.DpiX);
  if (Succeeded(r)) r = WriteI32(stream, image_.DpiY);
  const bool hasPixels = image_.Pixels != nullptr;
  if (Succeeded(r)) r = WriteU32(stream, hasPixels ? 1 : 0);
  if (Succeeded(r) && hasPixels) r = stream.Write(image_.Pixels, PixelBuffer::GetPixelBytes(image_));
  if (Succeeded(r)) r = WriteU32(stream, totalFrame_);
  if (Succeeded(r)) r = WriteU32(stream, currentFrame_);
  if (Succeeded(r)) r = WriteBool(stream, enableKeyColor_);
  if (Succeeded(r)) r = WriteU32(stream, keyColor_);
  return r;
}

void CThumbnail::DescribeMembers(CMemberVisitor& visitor) {
  visitor.BeginGroup(u"CThumbnail Member");
  visitor.OpenGroup();
  // The visitor has no operation for a pixel buffer; its shape is reported
  // as a nested group.
  visitor.BeginGroup(u"KTImage");
  visitor.OpenGroup();
  visitor.Int(u"Width", &image_.Width);
  visitor.Int(u"Height", &image_.Height);
  visitor.UInt(u"Layout", &image_.Layout);
  visitor.Int(u"BytesPerPixel", &image_.BytesPerPixel);
  visitor.Int(u"Stride", &image_.Stride);
  visitor.UShort(u"AlignRows", &image_.AlignRows);
  visitor.Int(u"DpiX", &image_.DpiX);
  visitor.Int(u"DpiY", &image_.DpiY);
  visitor.EndGroup();
  visitor.UInt(u"TotalFrame", &totalFrame_);
  visitor.UInt(u"CurrentFrame", &currentFrame_);
  visitor.Bool(u"EnableKeyColor", &enableKeyColor_);
  visitor.UInt(u"KeyColor", &keyColor_);
  visitor.EndGroup();
  CBase::DescribeMembers(visitor);
}

u32 CThumbnail::GetMemorySize() const { return PixelBuffer::GetPixelBytes(image_) + kMemoryOverhead; }

u32 CThumbnail::GetSaveSize() const {
  const u32 pixels = image_.Pixels != nullptr ? PixelBuffer::GetPixelBytes(image_) : 0;
  return CBase::GetSaveSize() + kOwnFixedBytes + pixels;
}

Result CThumbnail::SetImage(const KTImage& image) {
  currentFrame_ = 0;
  enableKeyColor_ = false;
  keyColor_ = 0;
  totalFrame_ = 1;
  SetModified();
  return PixelBuffer::Copy(image_, image);
}

}  // namespace KT
