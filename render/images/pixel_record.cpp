#include "render/images/pixel_record.h"

#include <limits>

#include "objectmodel/stream.h"
#include "objectmodel/stream_fields.h"

namespace KT::PixelRecord {

namespace {

constexpr u32 kMaxDimension = static_cast<u32>(std::numeric_limits<i32>::max());

}  // namespace

Result ReadHeader(CStream& stream, Header& header) {
  Result r = ReadU32(stream, header.width);
  if (Succeeded(r)) r = ReadU32(stream, header.height);
  if (Succeeded(r)) r = ReadU32(stream, header.layout);
  if (Succeeded(r)) r = stream.Read(&header.alignRows, sizeof(header.alignRows), sizeof(header.alignRows));
  if (Succeeded(r)) r = ReadU32(stream, header.dpiX);
  if (Succeeded(r)) r = ReadU32(stream, header.dpiY);
  if (Succeeded(r)) r = ReadU32(stream, header.marker);
  return r;
}

Result ReadPixels(CStream& stream, const Header& header, KTImage& buffer) {
  PixelBuffer::Free(buffer);
  buffer.AlignRows = header.alignRows;
  buffer.DpiX = header.dpiX;
  buffer.DpiY = header.dpiY;
  if (header.marker == 0) return kOk;
  if (!PixelBuffer::IsValidLayout(header.layout)) return kErrNotFound;
  // The pixel block must be in the file before anything is allocated for
  // it; the stride is computed in 64 bits so no width can wrap it.
  if (header.width > kMaxDimension || header.height > kMaxDimension) return kErrStream;
  const u64 stride = PixelBuffer::RowStride(header.width, static_cast<u32>(PixelBuffer::BytesPerPixel(header.layout)),
                                            header.alignRows != 0);
  Result r = stream.CheckAvailable(header.height, stride);
  if (Succeeded(r)) {
    r = PixelBuffer::Create(buffer, header.layout, static_cast<i32>(header.width), static_cast<i32>(header.height));
  }
  if (Failed(r)) return r;
  PixelBuffer::ScopedView view(buffer);
  if (buffer.Pixels == nullptr) return kErrMissingObject;
  const u32 bytes = PixelBuffer::GetPixelBytes(buffer);
  return stream.Read(buffer.Pixels, bytes, bytes);
}

Result Write(CStream& stream, const KTImage& buffer) {
  const bool hasPixels = PixelBuffer::HasPixels(buffer);
  Result r = WriteI32(stream, buffer.Width);
  if (Succeeded(r)) r = WriteI32(stream, buffer.Height);
  if (Succeeded(r)) r = WriteU32(stream, buffer.Layout);
  if (Succeeded(r)) r = stream.Write(&buffer.AlignRows, sizeof(buffer.AlignRows));
  if (Succeeded(r)) r = WriteI32(stream, buffer.DpiX);
  if (Succeeded(r)) r = WriteI32(stream, buffer.DpiY);
  if (Succeeded(r)) r = WriteU32(stream, hasPixels ? 1 : 0);
  if (Succeeded(r) && hasPixels) {
    PixelBuffer::ScopedView view(buffer);
    // A library id whose block is gone cannot give the bytes the size
    // promised.
    if (buffer.Pixels == nullptr) return kErrStream;
    r = stream.Write(buffer.Pixels, PixelBuffer::GetPixelBytes(buffer));
  }
  return r;
}

u32 GetSaveSize(const KTImage& buffer) {
  return kHeaderBytes + (PixelBuffer::HasPixels(buffer) ? PixelBuffer::GetPixelBytes(buffer) : 0);
}

void Describe(CMemberVisitor& visitor, const char16_t* name, KTImage& buffer) {
  visitor.BeginGroup(name);
  visitor.OpenGroup();
  visitor.Int(u"Width", &buffer.Width);
  visitor.Int(u"Height", &buffer.Height);
  visitor.UInt(u"Layout", &buffer.Layout);
  visitor.Int(u"BytesPerPixel", &buffer.BytesPerPixel);
  visitor.Int(u"Stride", &buffer.Stride);
  visitor.UShort(u"AlignRows", &buffer.AlignRows);
  visitor.Int(u"DpiX", &buffer.DpiX);
  visitor.Int(u"DpiY", &buffer.DpiY);
  visitor.EndGroup();
}

}  // namespace KT::PixelRecord
