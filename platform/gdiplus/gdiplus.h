// The system imaging API's flat calls as the codec bridge uses them:
// start-up and shut-down, bitmaps decoded from a block of encoded bytes,
// their pixel format, raw format, palette and size, locking their pixels
// in one of three formats, bitmaps made from pixel rows, the list of
// installed encoders and saving through one of them.
//
// Byte blocks stand where the platform has memory handles and streams:
// decoding reads a KT::CBuffer<char>, saving fills one. Bitmaps copy the
// rows they are made from. GdiplusStartup and GdiplusShutdown only count;
// every other call answers GdiplusNotInitialized while the count is 0.
//
// Decoding recognises BMP, JPEG, PNG, GIF (its first frame on the logical
// screen) and TIFF by content; TGA is not among them. Encoders: BMP, JPEG,
// GIF, TIFF and PNG, found by MIME type.
#pragma once

#include <cstdint>
#include <vector>

#include "objectmodel/buffer.h"

namespace KT::Gdiplus {

enum Status : int {
  Ok = 0,
  GenericError = 1,
  InvalidParameter = 2,
  OutOfMemory = 3,
  NotImplemented = 6,
  WrongState = 8,
  UnknownImageFormat = 13,
  UnsupportedGdiplusVersion = 17,
  GdiplusNotInitialized = 18,
};

using PixelFormat = std::uint32_t;
inline constexpr PixelFormat PixelFormatIndexed = 0x00010000;
inline constexpr PixelFormat PixelFormatGDI = 0x00020000;
inline constexpr PixelFormat PixelFormatAlpha = 0x00040000;
inline constexpr PixelFormat PixelFormat8bppIndexed = 0x00030803;
inline constexpr PixelFormat PixelFormat24bppRGB = 0x00021808;
inline constexpr PixelFormat PixelFormat32bppRGB = 0x00022009;
inline constexpr PixelFormat PixelFormat32bppARGB = 0x0026200A;

// The container format a bitmap was decoded from (kMemoryBmp: made from
// pixel rows).
enum class RawFormat { kMemoryBmp, kBmp, kJpeg, kPng, kGif, kTiff };

inline constexpr std::uint32_t ImageLockModeRead = 1;
inline constexpr std::uint32_t ImageLockModeWrite = 2;
inline constexpr std::uint32_t ImageLockModeUserInputBuf = 4;

struct GdiplusStartupInput {
  std::uint32_t GdiplusVersion = 1;
};

struct Rect {
  int X = 0;
  int Y = 0;
  int Width = 0;
  int Height = 0;
};

// Locked pixels: rows of Width pixels Stride bytes apart, blue first
// (B, G, R for 24 bits; B, G, R, A or B, G, R, X for 32 bits).
struct BitmapData {
  std::uint32_t Width = 0;
  std::uint32_t Height = 0;
  int Stride = 0;
  Gdiplus::PixelFormat PixelFormat = 0;
  void* Scan0 = nullptr;
};

// A palette of Count ARGB entries (alpha in the top byte); its size in
// bytes is 8 + 4 x Count.
struct ColorPalette {
  std::uint32_t Flags = 0;
  std::uint32_t Count = 0;
  std::uint32_t Entries[256] = {};
};

struct ImageCodecInfo {
  std::uint32_t Clsid = 0;
  const char16_t* CodecName = nullptr;
  const char16_t* FormatDescription = nullptr;
  const char16_t* FilenameExtension = nullptr;
  const char16_t* MimeType = nullptr;
};

// Encoder parameters: the quality parameter takes one 32-bit value, 0-100
// (JPEG; other encoders ignore it).
inline constexpr std::uint32_t EncoderQuality = 0x1D5BE4B5;
inline constexpr std::uint32_t EncoderParameterValueTypeLong = 4;
struct EncoderParameter {
  std::uint32_t Guid = 0;
  std::uint32_t NumberOfValues = 0;
  std::uint32_t Type = 0;
  void* Value = nullptr;
};
struct EncoderParameters {
  std::uint32_t Count = 0;
  EncoderParameter Parameter[1];
};

class GpBitmap;
using GpImage = GpBitmap;

// Version 1 only (else UnsupportedGdiplusVersion); counts one more user.
Status GdiplusStartup(std::uintptr_t* token, const GdiplusStartupInput* input, void* output);
void GdiplusShutdown(std::uintptr_t token);
// How many start-ups are not yet shut down.
int GdiplusStartupCount();

// Decodes the bytes of `stream`. Pixel formats: 32bppARGB when the image
// has alpha; 32bppRGB for a 32-bit BI_RGB BMP (the stored fourth bytes
// kept for locking as 32bppRGB); 8bppIndexed (with PixelFormatAlpha when a
// colour is transparent) for files that store palette indices; else
// 24bppRGB. UnknownImageFormat for anything else or a damaged file.
Status GdipCreateBitmapFromStream(const CBuffer<char>& stream, GpBitmap** bitmap);
// A bitmap of width x height from rows `stride` bytes apart in `format`
// (24bppRGB, 32bppRGB or 32bppARGB); the rows are copied.
Status GdipCreateBitmapFromScan0(int width, int height, int stride, PixelFormat format, const std::uint8_t* scan0,
                                 GpBitmap** bitmap);
Status GdipDisposeImage(GpImage* image);

Status GdipGetImagePixelFormat(GpImage* image, PixelFormat* format);
Status GdipGetImageRawFormat(GpImage* image, RawFormat* format);
Status GdipGetImageWidth(GpImage* image, std::uint32_t* width);
Status GdipGetImageHeight(GpImage* image, std::uint32_t* height);
// Indexed images have the distinct colours of their pixels as palette (in
// order of first appearance); other images an empty one.
Status GdipGetImagePaletteSize(GpImage* image, int* size);
Status GdipGetImagePalette(GpImage* image, ColorPalette* palette, int size);

// Locks the rectangle (null: the whole bitmap) for reading in 32bppARGB,
// 32bppRGB (fourth bytes as stored: a BMP's own, 255 otherwise) or
// 24bppRGB (palettes expanded); one lock at a time (WrongState). With
// ImageLockModeUserInputBuf the pixels are written to the caller's rows at
// `locked`->Scan0, `locked`->Stride apart (a stride shorter than a row:
// InvalidParameter).
Status GdipBitmapLockBits(GpBitmap* bitmap, const Rect* rect, std::uint32_t flags, PixelFormat format,
                          BitmapData* locked);
Status GdipBitmapUnlockBits(GpBitmap* bitmap, BitmapData* locked);

// The installed encoders: `count` of them in `size` bytes.
Status GdipGetImageEncodersSize(std::uint32_t* count, std::uint32_t* size);
Status GdipGetImageEncoders(std::uint32_t count, std::uint32_t size, ImageCodecInfo* encoders);

// Encodes the bitmap with the encoder `clsid` into `stream` (replacing its
// contents). A bitmap with alpha (32bppARGB) keeps it: BMP 32-bit with
// alpha in the fourth byte, PNG and TIFF RGBA, GIF with a transparent
// index; JPEG drops it. Others are written as 24-bit colour.
Status GdipSaveImageToStream(GpImage* image, CBuffer<char>& stream, const std::uint32_t* clsid,
                             const EncoderParameters* parameters);

}  // namespace KT::Gdiplus
