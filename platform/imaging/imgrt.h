// The imported image library (IMGRT) as the codec bridge and the animated
// image use it: an info record naming a format, images decoded from and
// encoded to blocks of bytes, pixel access by channel map, creation from
// packed pixels and zooming. Behind it sit the codecs of this folder.
//
// Images form a list through `next`: every file gives one image, except a
// GIF, which gives one per frame (the frame list). Every image arrives in
// RGB: grey, palette, YCbCr and CMYK files are converted by their readers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace KT::Imgrt {

inline constexpr std::size_t kImageInfoSize = 6848;  // bytes callers allocate for an info record
inline constexpr std::size_t kMaxFormatName = 1664;  // characters of the format name, its 0 included

enum ColorspaceType : int { kUndefinedColorspace = 0, kRGBColorspace = 1 };
enum ResolutionType : int { kUndefinedResolution = 0, kPixelsPerInchResolution = 1, kPixelsPerCentimeterResolution = 2 };
// Pixel storage type of GetPixels and CreateImage: 8-bit channels.
inline constexpr int kCharPixel = 0;

// The info record: which format to decode or encode and the encoder's
// settings. Plain data, so it lives in a block from AllocateMemory.
struct ImageInfo {
  char format[kMaxFormatName];  // "BMP", "JPEG", "MNG" (PNG), "PNG", "TGA", "GIF", "TIFF"
  int options[4];               // encoder switches without meaning in this library
  int quality;                  // JPEG quality 1-100; 0 means 75
};
static_assert(sizeof(ImageInfo) <= kImageInfoSize);

struct Image {
  int columns = 0;
  int rows = 0;
  ColorspaceType colorspace = kRGBColorspace;
  bool matte = false;  // the file carries alpha
  ResolutionType units = kUndefinedResolution;
  double xResolution = 0;
  double yResolution = 0;
  char format[16] = {};  // the name an encoder falls back on when the info names none
  // Frame information (GIF): delay in hundredths, offsets on the logical
  // screen, disposal method; the logical screen's background colour.
  int delay = 0;
  int pageX = 0;
  int pageY = 0;
  int dispose = 0;
  std::uint8_t background[3] = {0, 0, 0};
  std::vector<std::uint8_t> rgba;  // columns x rows x R, G, B, A, top row first
  Image* next = nullptr;
};

// A zero-filled block of `size` bytes, or null; FreeMemory releases it.
void* AllocateMemory(std::size_t size);
void FreeMemory(void* block);

// Sets an info record to its defaults (no format, quality 75).
void GetImageInfo(ImageInfo* info);
// Releases a record from AllocateMemory (null does nothing).
void DestroyImageInfo(ImageInfo* info);

// Decodes `length` bytes into a list of images, or null (null arguments,
// an unknown or damaged file). The format is recognised from its
// signature (BMP, JPEG, PNG, GIF, TIFF); bytes without one decode as TGA
// when the info names "TGA" (TGA has no signature).
Image* BlobToImage(const ImageInfo* info, const void* blob, std::size_t length);

// Converts the image to RGB (readers already deliver RGB; this sets the
// colour space). False for null.
bool TransformRGBImage(Image* image, ColorspaceType colorspace);

// Writes the 8-bit channels of the rectangle (x, y, columns, rows) in the
// order of `map` (letters R, G, B, A; A is 255 for images without matte)
// into `pixels`, rows packed one after another. False for null arguments,
// an empty or unknown map, another storage type, or a rectangle outside
// the image.
bool GetPixels(const Image* image, int x, int y, int columns, int rows, const char* map, int type, void* pixels);

// A new image of columns x rows from packed pixels in the order of `map`
// (matte when the map holds A), or null for bad arguments or a side above
// 16384.
Image* CreateImage(int columns, int rows, const char* map, int type, const void* pixels);

// Encodes the first image in the info's format (else the image's own
// format): "BMP" (32-bit with alpha for a matte image, else 24-bit),
// "JPEG" at the info's quality (alpha dropped), "PNG"/"MNG", "TGA" (type
// 2, 32 or 24 bit), "GIF" (see gif_codec.h), "TIFF". Answers a block to
// release with FreeMemory and its length, or null.
void* ImageToBlob(const ImageInfo* info, const Image* image, std::size_t* length);

// A new image of columns x rows resampled from the image with a triangle
// filter on all four channels, or null for bad arguments.
Image* ZoomImage(const Image* image, int columns, int rows);

// Releases an image and every image after it in its list.
void DestroyImages(Image* image);

}  // namespace KT::Imgrt
