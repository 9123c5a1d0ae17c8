// The image codec bridge: image files and blocks of encoded bytes to pixel
// buffers and back, routed by format to the image library (IMGRT,
// platform/imaging/imgrt.h), the system imaging API (GDI+,
// platform/gdiplus/gdiplus.h) or the Radiance codec; with its tables: file
// format codes by extension, the image library's format names, the MIME
// types of the system encoders and the route each format takes in each
// direction.
//
// Format codes: 0 none, 1 BMP, 2 JPG, 3 PNG, 4 TGA, 5 GIF, 6 TIF, 7 HDR.
#pragma once

#include <functional>
#include <string_view>

#include "objectmodel/buffer.h"
#include "objectmodel/types.h"
#include "render/images/pixel_buffer.h"

namespace KT {

namespace ImageFormat {
inline constexpr u32 kNone = 0;
inline constexpr u32 kBmp = 1;
inline constexpr u32 kJpg = 2;
inline constexpr u32 kPng = 3;
inline constexpr u32 kTga = 4;
inline constexpr u32 kGif = 5;
inline constexpr u32 kTif = 6;
inline constexpr u32 kHdr = 7;
}  // namespace ImageFormat

// Which library handles a format in one direction.
enum class ImageCodecRoute { kNone, kImgrt, kGdiplus, kRgbe };

// The code of a file-name extension (without the dot), compared after
// folding to lower case: "bmp" and "dib" 1, "jpg" and "jpeg" 2, "png" 3,
// "tga" 4, "gif" 5, "tif" and "tiff" 6, "hdr" 7; anything else, and any
// extension longer than 255 characters, 0.
u32 GetImageFormatFromExtension(std::string_view extension);
// The code of a path's extension (the text after the last dot of its last
// component; no dot: 0). Both '/' and '\' separate components.
u32 GetImageFormatFromPath(std::string_view path);

// The image library's format name of a code: 1 "BMP", 2 "JPEG", 3 "MNG",
// 4 "TGA", 5 "GIF", 6 "TIFF"; "" for any other code.
const char* GetImgrtFormatName(u32 code);

// The system encoder's MIME type of a code: 1 "image/bmp", 2 "image/jpeg",
// 3 "image/png", 4 "image/tga", 5 and 6 "image/tiff"; null for any other.
const char* GetGdiplusMimeType(u32 code);

// Decoding: 1 and 4 the image library, 7 RGBE, every other code (0 for
// embedded bytes included) the system decoder.
ImageCodecRoute GetDecodeRoute(u32 code);
// Encoding: 2, 4 and 5 the image library, 7 RGBE, every other code the
// system encoder.
ImageCodecRoute GetEncodeRoute(u32 code);

// The debug message of an encode without an encoder for its format.
inline constexpr char16_t kNoEncoderMessage[] = u"找不到指定的存檔格式!!";

// Decodes the file at `path` (UTF-16) into `buffer`.
//  - null path: kErrInvalidArg; an extension without a code (see
//    GetImageFormatFromPath): kErrImageFormat. The code is stored in
//    `format` when one is given;
//  - the failure of reading the whole file (ReadWholeFile);
//  - 7: DecodeRgbe; 1 and 4: DecodeImageImgrt; others: DecodeImageGdiplus,
//    each with its own failure codes.
Result DecodeImageFile(KTImage& buffer, u32* format, const char16_t* path);

// Encodes `buffer` in format `code` into `out` (replaced on success).
//  - 7: a buffer not in layout 6 is converted to it first (a temporary
//    buffer; its failure is returned), then EncodeRgbe;
//  - 2, 4, 5: a layout-6 buffer is converted to layout 0 first, then
//    EncodeImageImgrt;
//  - others: a layout-6 buffer is converted to layout 0 first, then
//    EncodeImageGdiplus (code 0 and 4 have no encoder there).
Result EncodeImageFile(KTImage& buffer, u32 code, CBuffer<char>& out);

// The image library's route for `size` bytes of format `code` (the name of
// GetImgrtFormatName decides only for TGA, which has no signature). The
// buffer becomes layout 0 when the image has alpha, else layout 1, with
// DpiX/DpiY from the stored resolution: per centimetre x 2.54 + 0.5, per
// inch as stored, none 300, through TruncateToI32.
//  - the info record cannot be allocated: kErrOutOfMemory;
//  - no image (unknown, damaged, truncated or oversized file):
//    kErrTreeData (0x80000006);
//  - Create's failure is returned and nothing is written.
// Only the first image of a list (a GIF's first frame) is kept.
Result DecodeImageImgrt(KTImage& buffer, u32 code, const u8* bytes, u32 size);

// What the image library reports with each image of its list besides the
// pixels (a GIF gives one image per frame).
struct ImgrtFrameInfo {
  u32 delay = 0;    // display time in hundredths of a second
  u32 dispose = 0;  // the frame's disposal method
  i32 x = 0;        // placement on the logical screen
  i32 y = 0;
  u8 color[3] = {0, 0, 0};  // the logical screen's background colour, R, G, B
};
// Receives each decoded image: its pixels (the receiver may take them) and
// what the library reported with it. A negative answer ends the decoding.
using ImgrtFrameSink = std::function<Result(KTImage& pixels, const ImgrtFrameInfo& info)>;

// The image library's route for every image of the list that `size` bytes
// of format `code` give, in order. Each image is read as DecodeImageImgrt
// reads the first into a fresh buffer of storage kind `storage`, then
// handed to `sink`. The failures of DecodeImageImgrt; the first negative
// answer of `sink` is returned as it is.
Result DecodeImageFramesImgrt(u32 code, const u8* bytes, u32 size, u16 storage, const ImgrtFrameSink& sink);

// The image library's route: layout 0 keeps its alpha, layout 1 is
// written without; JPEG at quality 100.
//  - no pixels, or layouts 2-5 (no channel map for them): kErrInvalidArg;
//  - the image cannot be built: kErrMissingObject; the info record or
//    the encoded block cannot be made: kErrOutOfMemory.
Result EncodeImageImgrt(KTImage& buffer, u32 code, CBuffer<char>& out);

// The system decoder for `size` bytes recognised by content (BMP, JPEG,
// PNG, GIF first frame, TIFF; no TGA). Images with alpha become layout 0,
// others layout 1 (palettes expanded); a 32-bit BI_RGB BMP becomes layout
// 0: alpha 255 where the stored fourth bytes are all 0, else those bytes.
// The resolution is left as it is.
//  - null bytes: kErrInvalidArg; no memory for the copy: kErrOutOfMemory;
//  - the system API does not start: kErrTreeData (0x80000006);
//  - an unrecognised or damaged file, or a failure to create the buffer:
//    kErrMissingObject (0x80000000).
Result DecodeImageGdiplus(KTImage& buffer, const u8* bytes, u32 size);

// The system encoder of GetGdiplusMimeType(code): layout 0 with its alpha
// (BMP 32-bit with alpha in the fourth byte, PNG and TIFF RGBA), other
// layouts as 24-bit colour; JPEG at quality 100.
//  - no pixels: kErrInvalidArg; layouts 2-5: kErrTreeData;
//  - no encoder for the code (0, 4, 7 and above): kNoEncoderMessage goes
//    to the debug output and the answer is kErrTreeData (0x80000006);
//  - the system API does not start or the encoder fails: kErrTreeData.
Result EncodeImageGdiplus(KTImage& buffer, u32 code, CBuffer<char>& out);

// The IMGRT scale: `source` (layout 0) resampled onto the whole of the
// created `destination` with alpha kept (four channels, triangle filter),
// fetched with the destination's layout (0 or 1).
//  - source or destination without pixels, or other layouts:
//    kErrInvalidArg; the image library cannot build or zoom the image:
//    kErrOutOfMemory.
Result ScaleLayout0WithImgrt(const KTImage& source, KTImage& destination);

}  // namespace KT
