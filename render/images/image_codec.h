// The image codec bridge's tables: file format codes by extension, the
// image library's format names, the MIME types of the system encoders and
// the route each format takes in each direction.
//
// Format codes: 0 none, 1 BMP, 2 JPG, 3 PNG, 4 TGA, 5 GIF, 6 TIF, 7 HDR.
#pragma once

#include <string_view>

#include "objectmodel/types.h"

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

}  // namespace KT
