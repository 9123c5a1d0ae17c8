#include "render/images/image_codec.h"

#include <string>

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

}  // namespace KT
