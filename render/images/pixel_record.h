// The raw form of a pixel buffer inside image records (the thumbnail and
// the image with raw pixels), and the member description of a buffer.
//
// On disk, little-endian: u32 Width, u32 Height, u32 Layout, u16
// AlignRows, u32 DpiX, u32 DpiY, u32 pixel marker (1 when pixel bytes
// follow, 0 otherwise), then Stride x Height bytes: the rows exactly as
// held in memory, row padding included.
#pragma once

#include "objectmodel/member_visitor.h"
#include "objectmodel/types.h"
#include "render/images/pixel_buffer.h"

namespace KT {

class CStream;

namespace PixelRecord {

// Bytes of the fields before the pixel rows.
inline constexpr u32 kHeaderBytes = 4 + 4 + 4 + 2 + 4 + 4 + 4;

// The fields before the pixel rows, as read.
struct Header {
  u32 width = 0;
  u32 height = 0;
  u32 layout = 0;
  u16 alignRows = 0;
  i32 dpiX = 0;
  i32 dpiY = 0;
  u32 marker = 0;
};

// Reads the fields before the pixel rows; the stream's failure is returned.
Result ReadHeader(CStream& stream, Header& header);

// Replaces the buffer's picture by what `header` announces: the pixels are
// freed, AlignRows and the resolution taken; with a non-zero marker the
// buffer is created with (layout, width, height) in its own storage kind
// and the rows are read into it through a view. A zero marker creates no
// pixels, whatever the width and height. Refusals, all before anything is
// allocated: a layout code above 6 with a marker, kErrNotFound; a width or
// height beyond 2^31-1, or pixel bytes the stream does not hold,
// kErrStream. Create's failure (a zero width or height: kErrInvalidArg) and
// the stream's are returned.
Result ReadPixels(CStream& stream, const Header& header, KTImage& buffer);

// Writes the form; the marker is 1 when the buffer has pixels
// (PixelBuffer::HasPixels), and the rows are written through a view.
// Stops at the first failing write.
Result Write(CStream& stream, const KTImage& buffer);

// Exactly the bytes Write writes: kHeaderBytes plus Stride x Height when
// the buffer has pixels.
u32 GetSaveSize(const KTImage& buffer);

// Reports the buffer as a nested group named `name` (the member visitor
// has no operation for a pixel buffer): Width, Height, Layout,
// BytesPerPixel, Stride, AlignRows, DpiX, DpiY.
void Describe(CMemberVisitor& visitor, const char16_t* name, KTImage& buffer);

}  // namespace PixelRecord
}  // namespace KT
