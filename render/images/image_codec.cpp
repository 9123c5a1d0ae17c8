#include "render/images/image_codec.h"

#include <cstring>
#include <string>
#include <vector>

#include "objectmodel/file_utils.h"
#include "objectmodel/math_functions.h"
#include "platform/debug_output.h"
#include "platform/gdiplus/gdiplus.h"
#include "platform/imaging/imgrt.h"
#include "platform/text_encoding.h"
#include "render/images/rgbe_codec.h"

namespace KT {

namespace {

constexpr size_t kMaxExtension = 255;

struct ExtensionCode {
  std::string_view extension;
  u32 code;
};

constexpr ExtensionCode kExtensions[] = {
    {"bmp", ImageFormat::kBmp}, {"dib", ImageFormat::kBmp}, {"jpg", ImageFormat::kJpg},
    {"jpeg", ImageFormat::kJpg}, {"png", ImageFormat::kPng}, {"tga", ImageFormat::kTga},
    {"gif", ImageFormat::kGif}, {"tif", ImageFormat::kTif}, {"tiff", ImageFormat::kTif},
    {"hdr", ImageFormat::kHdr},
};

}  // namespace

u32 GetImageFormatFromExtension(std::string_view extension) {
  if (extension.size() > kMaxExtension) return ImageFormat::kNone;
  std::string lower(extension);
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  for (const ExtensionCode& e : kExtensions) {
    if (e.extension == lower) return e.code;
  }
  return ImageFormat::kNone;
}

u32 GetImageFormatFromPath(std::string_view path) {
  const size_t slash = path.find_last_of("/\\");
  const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
  const size_t dot = name.find_last_of('.');
  if (dot == std::string_view::npos) return ImageFormat::kNone;
  return GetImageFormatFromExtension(name.substr(dot + 1));
}

const char* GetImgrtFormatName(u32 code) {
  switch (code) {
    case ImageFormat::kBmp: return "BMP";
    case ImageFormat::kJpg: return "JPEG";
    case ImageFormat::kPng: return "MNG";
    case ImageFormat::kTga: return "TGA";
    case ImageFormat::kGif: return "GIF";
    case ImageFormat::kTif: return "TIFF";
    default: return "";
  }
}

const char* GetGdiplusMimeType(u32 code) {
  switch (code) {
    case ImageFormat::kBmp: return "image/bmp";
    case ImageFormat::kJpg: return "image/jpeg";
    case ImageFormat::kPng: return "image/png";
    case ImageFormat::kTga: return "image/tga";
    case ImageFormat::kGif:
    case ImageFormat::kTif: return "image/tiff";
    default: return nullptr;
  }
}

ImageCodecRoute GetDecodeRoute(u32 code) {
  if (code == ImageFormat::kHdr) return ImageCodecRoute::kRgbe;
  if (code == ImageFormat::kBmp || code == ImageFormat::kTga) return ImageCodecRoute::kImgrt;
  return ImageCodecRoute::kGdiplus;
}

ImageCodecRoute GetEncodeRoute(u32 code) {
  if (code == ImageFormat::kHdr) return ImageCodecRoute::kRgbe;
  if (code == ImageFormat::kJpg || code == ImageFormat::kTga || code == ImageFormat::kGif) {
    return ImageCodecRoute::kImgrt;
  }
  return ImageCodecRoute::kGdiplus;
}

namespace {

constexpr double kUndefinedDpi = 300.0;

// The pixel rows of a mapped or unmapped buffer, one at a time.
u8* RowOf(const KTImage& buffer, i32 y) {
  return buffer.Pixels + static_cast<size_t>(y) * static_cast<size_t>(buffer.Stride);
}
size_t RowBytes(const KTImage& buffer) {
  return static_cast<size_t>(buffer.Width) * static_cast<size_t>(buffer.BytesPerPixel);
}

// Fetches every row of the image into the created buffer with the map of
// the buffer's layout (rows are fetched one by one, as the buffer's rows
// may be padded).
bool FetchRows(const Imgrt::Image* image, KTImage& buffer) {
  const char* map = buffer.Layout == PixelLayout::kBgra8 ? "BGRA" : "BGR";
  PixelBuffer::ScopedView view(buffer);
  if (buffer.Pixels == nullptr) return false;
  for (i32 y = 0; y < buffer.Height; ++y) {
    if (!Imgrt::GetPixels(image, 0, y, buffer.Width, 1, map, Imgrt::kCharPixel, RowOf(buffer, y))) return false;
  }
  return true;
}

// An image-library image from the rows of a buffer of layout 0 or 1 (null
// when the library refuses it).
Imgrt::Image* ImageFromBuffer(const KTImage& buffer) {
  PixelBuffer::ScopedView view(buffer);
  if (buffer.Pixels == nullptr) return nullptr;
  const char* map = buffer.Layout == PixelLayout::kBgra8 ? "BGRA" : "BGR";
  const size_t row = RowBytes(buffer);
  if (static_cast<size_t>(buffer.Stride) == row) {
    return Imgrt::CreateImage(buffer.Width, buffer.Height, map, Imgrt::kCharPixel, buffer.Pixels);
  }
  std::vector<u8> packed(row * static_cast<size_t>(buffer.Height));
  for (i32 y = 0; y < buffer.Height; ++y) std::memcpy(&packed[row * static_cast<size_t>(y)], RowOf(buffer, y), row);
  return Imgrt::CreateImage(buffer.Width, buffer.Height, map, Imgrt::kCharPixel, packed.data());
}

bool IsByteLayout(u32 layout) { return layout == PixelLayout::kBgra8 || layout == PixelLayout::kBgr8; }

// Starts the system imaging API for one call and shuts it down after.
class GdiplusSession {
 public:
  GdiplusSession() {
    const Gdiplus::GdiplusStartupInput input;
    started_ = Gdiplus::GdiplusStartup(&token_, &input, nullptr) == Gdiplus::Ok;
  }
  ~GdiplusSession() {
    if (started_) Gdiplus::GdiplusShutdown(token_);
  }
  GdiplusSession(const GdiplusSession&) = delete;
  GdiplusSession& operator=(const GdiplusSession&) = delete;
  bool Started() const { return started_; }

 private:
  std::uintptr_t token_ = 0;
  bool started_ = false;
};

// Reads a decoded bitmap into the buffer.
bool ReadBitmap(Gdiplus::GpBitmap* bitmap, KTImage& buffer) {
  Gdiplus::PixelFormat format = 0;
  Gdiplus::RawFormat raw = Gdiplus::RawFormat::kMemoryBmp;
  std::uint32_t width = 0, height = 0;
  int paletteSize = 0;
  if (Gdiplus::GdipGetImagePixelFormat(bitmap, &format) != Gdiplus::Ok ||
      Gdiplus::GdipGetImageRawFormat(bitmap, &raw) != Gdiplus::Ok ||
      Gdiplus::GdipGetImageWidth(bitmap, &width) != Gdiplus::Ok ||
      Gdiplus::GdipGetImageHeight(bitmap, &height) != Gdiplus::Ok ||
      Gdiplus::GdipGetImagePaletteSize(bitmap, &paletteSize) != Gdiplus::Ok) {
    return false;
  }
  Gdiplus::ColorPalette palette;
  if (Gdiplus::GdipGetImagePalette(bitmap, &palette, paletteSize) != Gdiplus::Ok) return false;
  const bool alpha = (format & Gdiplus::PixelFormatAlpha) != 0;
  const bool fourthByte =
      format == Gdiplus::PixelFormat32bppRGB && raw == Gdiplus::RawFormat::kBmp && palette.Count == 0;
  const Gdiplus::PixelFormat lockAs = alpha        ? Gdiplus::PixelFormat32bppARGB
                                      : fourthByte ? Gdiplus::PixelFormat32bppRGB
                                                   : Gdiplus::PixelFormat24bppRGB;
  // The bits are locked straight into the buffer's rows.
  const u32 layout = alpha || fourthByte ? PixelLayout::kBgra8 : PixelLayout::kBgr8;
  if (Failed(PixelBuffer::Create(buffer, layout, static_cast<i32>(width), static_cast<i32>(height)))) return false;
  PixelBuffer::ScopedView view(buffer);
  if (buffer.Pixels == nullptr) return false;
  Gdiplus::BitmapData locked;
  locked.Scan0 = buffer.Pixels;
  locked.Stride = buffer.Stride;
  if (Gdiplus::GdipBitmapLockBits(bitmap, nullptr, Gdiplus::ImageLockModeRead | Gdiplus::ImageLockModeUserInputBuf,
                                  lockAs, &locked) != Gdiplus::Ok) {
    return false;
  }
  Gdiplus::GdipBitmapUnlockBits(bitmap, &locked);
  if (fourthByte) {
    // A 32-bit BMP whose fourth bytes are all 0 stores no alpha: opaque.
    // Fourth bytes that are not all 0 are the file's alpha and stay.
    const size_t row = RowBytes(buffer);
    bool anyFourth = false;
    for (i32 y = 0; y < buffer.Height && !anyFourth; ++y) {
      const u8* at = RowOf(buffer, y);
      for (size_t i = 3; i < row && !anyFourth; i += 4) anyFourth = at[i] != 0;
    }
    for (i32 y = 0; y < buffer.Height && !anyFourth; ++y) {
      u8* at = RowOf(buffer, y);
      for (size_t i = 3; i < row; i += 4) at[i] = 255;
    }
  }
  return true;
}

Result ConvertedFromFloat(KTImage& buffer, KTImage& temporary, KTImage*& source) {
  source = &buffer;
  if (buffer.Layout != PixelLayout::kRgbFloat) return kOk;
  const Result r = PixelBuffer::Convert(buffer, &temporary, PixelLayout::kBgra8);
  if (Failed(r)) return r;
  source = &temporary;
  return kOk;
}

}  // namespace

namespace {

// The list of images the image library decodes from `size` bytes of format
// `code`, or null (the info record's allocation failure in `failure`).
Imgrt::Image* DecodeImgrtList(u32 code, const u8* bytes, u32 size, Result& failure) {
  failure = kErrTreeData;
  auto* info = static_cast<Imgrt::ImageInfo*>(Imgrt::AllocateMemory(Imgrt::kImageInfoSize));
  if (info == nullptr) {
    failure = kErrOutOfMemory;
    return nullptr;
  }
  Imgrt::GetImageInfo(info);
  std::strncpy(info->format, GetImgrtFormatName(code), Imgrt::kMaxFormatName - 1);
  Imgrt::Image* image = bytes != nullptr ? Imgrt::BlobToImage(info, bytes, size) : nullptr;
  Imgrt::DestroyImageInfo(info);
  return image;
}

// One image of the list into `buffer`: layout 0 with a matte channel, else
// 1, with the resolution the image stores.
Result ReadImgrtImage(Imgrt::Image* image, KTImage& buffer) {
  if (image->colorspace != Imgrt::kRGBColorspace) Imgrt::TransformRGBImage(image, Imgrt::kRGBColorspace);
  double dpiX = kUndefinedDpi, dpiY = kUndefinedDpi;
  if (image->units == Imgrt::kPixelsPerCentimeterResolution) {
    dpiX = image->xResolution * 2.54 + 0.5;
    dpiY = image->yResolution * 2.54 + 0.5;
  } else if (image->units != Imgrt::kUndefinedResolution) {
    dpiX = image->xResolution;
    dpiY = image->yResolution;
  }
  buffer.DpiX = TruncateToI32(dpiX);
  buffer.DpiY = TruncateToI32(dpiY);
  const Result r = PixelBuffer::Create(buffer, image->matte ? PixelLayout::kBgra8 : PixelLayout::kBgr8,
                                       image->columns, image->rows);
  if (Failed(r)) return r;
  return FetchRows(image, buffer) ? kOk : kErrTreeData;
}

}  // namespace

Result DecodeImageImgrt(KTImage& buffer, u32 code, const u8* bytes, u32 size) {
  Result r = kOk;
  Imgrt::Image* image = DecodeImgrtList(code, bytes, size, r);
  if (image == nullptr) return r;
  r = ReadImgrtImage(image, buffer);
  Imgrt::DestroyImages(image);
  return Failed(r) ? r : kOk;
}

Result DecodeImageFramesImgrt(u32 code, const u8* bytes, u32 size, u16 storage, const ImgrtFrameSink& sink) {
  Result r = kOk;
  Imgrt::Image* list = DecodeImgrtList(code, bytes, size, r);
  if (list == nullptr) return r;
  r = kOk;
  for (Imgrt::Image* image = list; image != nullptr && Succeeded(r); image = image->next) {
    KTImage pixels;
    pixels.Storage = storage;
    r = ReadImgrtImage(image, pixels);
    if (Failed(r)) break;
    ImgrtFrameInfo info;
    info.delay = static_cast<u32>(image->delay);
    info.dispose = static_cast<u32>(image->dispose);
    info.x = image->pageX;
    info.y = image->pageY;
    std::memcpy(info.color, image->background, sizeof(info.color));
    r = sink(pixels, info);
  }
  Imgrt::DestroyImages(list);
  return Failed(r) ? r : kOk;
}

Result EncodeImageImgrt(KTImage& buffer, u32 code, CBuffer<char>& out) {
  if (!PixelBuffer::HasPixels(buffer) || !IsByteLayout(buffer.Layout)) return kErrInvalidArg;
  Imgrt::Image* image = ImageFromBuffer(buffer);
  if (image == nullptr) return kErrMissingObject;
  std::strncpy(image->format, GetImgrtFormatName(code), sizeof image->format - 1);
  auto* info = static_cast<Imgrt::ImageInfo*>(Imgrt::AllocateMemory(Imgrt::kImageInfoSize));
  if (info == nullptr) {
    Imgrt::DestroyImages(image);
    return kErrOutOfMemory;
  }
  std::strncpy(info->format, GetImgrtFormatName(code), Imgrt::kMaxFormatName - 1);
  info->options[0] = info->options[1] = 1;
  info->options[2] = info->options[3] = 0;
  info->quality = 100;
  size_t length = 0;
  void* blob = Imgrt::ImageToBlob(info, image, &length);
  Imgrt::DestroyImageInfo(info);
  Imgrt::DestroyImages(image);
  if (blob == nullptr) return kErrOutOfMemory;
  const Result r = length > 0xFFFFFFFFu ? kErrOutOfMemory : out.Create(static_cast<u32>(length), static_cast<char*>(blob));
  Imgrt::FreeMemory(blob);
  return Failed(r) ? r : kOk;
}

Result DecodeImageGdiplus(KTImage& buffer, const u8* bytes, u32 size) {
  if (bytes == nullptr) return kErrInvalidArg;
  if (size == 0) return kErrMissingObject;
  CBuffer<char> block;
  if (Failed(block.Create(size, reinterpret_cast<const char*>(bytes)))) return kErrOutOfMemory;
  GdiplusSession session;
  if (!session.Started()) return kErrTreeData;
  Gdiplus::GpBitmap* bitmap = nullptr;
  if (Gdiplus::GdipCreateBitmapFromStream(block, &bitmap) != Gdiplus::Ok) return kErrMissingObject;
  const bool ok = ReadBitmap(bitmap, buffer);
  Gdiplus::GdipDisposeImage(bitmap);
  return ok ? kOk : kErrMissingObject;
}

Result EncodeImageGdiplus(KTImage& buffer, u32 code, CBuffer<char>& out) {
  if (!PixelBuffer::HasPixels(buffer)) return kErrInvalidArg;
  if (!IsByteLayout(buffer.Layout)) return kErrTreeData;
  GdiplusSession session;
  if (!session.Started()) return kErrTreeData;
  Gdiplus::GpBitmap* bitmap = nullptr;
  {
    PixelBuffer::ScopedView view(buffer);
    if (buffer.Pixels == nullptr) return kErrTreeData;
    const Gdiplus::PixelFormat format =
        buffer.Layout == PixelLayout::kBgra8 ? Gdiplus::PixelFormat32bppARGB : Gdiplus::PixelFormat24bppRGB;
    if (Gdiplus::GdipCreateBitmapFromScan0(buffer.Width, buffer.Height, buffer.Stride, format, buffer.Pixels,
                                           &bitmap) != Gdiplus::Ok) {
      return kErrTreeData;
    }
  }
  std::uint32_t quality = 100;
  Gdiplus::EncoderParameters parameters;
  parameters.Count = 1;
  parameters.Parameter[0] = {Gdiplus::EncoderQuality, 1, Gdiplus::EncoderParameterValueTypeLong, &quality};
  const char* mime = GetGdiplusMimeType(code);
  std::uint32_t count = 0, size = 0;
  std::vector<Gdiplus::ImageCodecInfo> encoders;
  const Gdiplus::ImageCodecInfo* encoder = nullptr;
  if (mime != nullptr && Gdiplus::GdipGetImageEncodersSize(&count, &size) == Gdiplus::Ok) {
    encoders.resize(count);
    if (Gdiplus::GdipGetImageEncoders(count, size, encoders.data()) == Gdiplus::Ok) {
      const std::u16string wanted(mime, mime + std::strlen(mime));
      for (const Gdiplus::ImageCodecInfo& e : encoders) {
        if (e.MimeType != nullptr && wanted == e.MimeType) encoder = &e;
      }
    }
  }
  Result r = kOk;
  if (encoder == nullptr) {
    Platform::OutputDebugStringW(kNoEncoderMessage);
    r = kErrTreeData;
  } else {
    CBuffer<char> stream;
    if (Gdiplus::GdipSaveImageToStream(bitmap, stream, &encoder->Clsid,
                                       code == ImageFormat::kJpg ? &parameters : nullptr) != Gdiplus::Ok ||
        stream.GetCount() == 0) {
      r = kErrTreeData;
    } else {
      out = std::move(stream);
    }
  }
  Gdiplus::GdipDisposeImage(bitmap);
  return r;
}

Result ScaleLayout0WithImgrt(const KTImage& source, KTImage& destination) {
  if (!PixelBuffer::HasPixels(source) || !PixelBuffer::HasPixels(destination) ||
      source.Layout != PixelLayout::kBgra8 || !IsByteLayout(destination.Layout)) {
    return kErrInvalidArg;
  }
  Imgrt::Image* image = ImageFromBuffer(source);
  if (image == nullptr) return kErrOutOfMemory;
  Imgrt::Image* zoomed = Imgrt::ZoomImage(image, destination.Width, destination.Height);
  Imgrt::DestroyImages(image);
  if (zoomed == nullptr) return kErrOutOfMemory;
  const bool ok = FetchRows(zoomed, destination);
  Imgrt::DestroyImages(zoomed);
  return ok ? kOk : kErrOutOfMemory;
}

Result DecodeImageFile(KTImage& buffer, u32* format, const char16_t* path) {
  if (path == nullptr) return kErrInvalidArg;
  const WString wide(path);
  const u32 code = GetImageFormatFromPath(Platform::Utf16ToUtf8Lossy(wide));
  if (code == ImageFormat::kNone) return kErrImageFormat;
  if (format != nullptr) *format = code;
  std::vector<u8> bytes;
  Result r = ReadWholeFile(bytes, wide);
  if (Failed(r)) return r;
  if (bytes.size() > 0xFFFFFFFFu) return kErrFileSize;
  const u32 size = static_cast<u32>(bytes.size());
  static const u8 kNothing = 0;
  const u8* data = bytes.empty() ? &kNothing : bytes.data();
  switch (GetDecodeRoute(code)) {
    case ImageCodecRoute::kRgbe: return DecodeRgbe(reinterpret_cast<const char*>(data), size, code, buffer);
    case ImageCodecRoute::kImgrt: return DecodeImageImgrt(buffer, code, data, size);
    default: return DecodeImageGdiplus(buffer, data, size);
  }
}

Result EncodeImageFile(KTImage& buffer, u32 code, CBuffer<char>& out) {
  if (code == ImageFormat::kHdr) {
    if (buffer.Layout == PixelLayout::kRgbFloat) return EncodeRgbe(buffer, code, out);
    KTImage converted;
    const Result r = PixelBuffer::Convert(buffer, &converted, PixelLayout::kRgbFloat);
    if (Failed(r)) return r;
    return EncodeRgbe(converted, code, out);
  }
  KTImage converted;
  KTImage* source = nullptr;
  const Result r = ConvertedFromFloat(buffer, converted, source);
  if (Failed(r)) return r;
  return GetEncodeRoute(code) == ImageCodecRoute::kImgrt ? EncodeImageImgrt(*source, code, out)
                                                         : EncodeImageGdiplus(*source, code, out);
}

}  // namespace KT
