#include "render/resample/picture.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "render/resample/bmp_picture.h"
#include "render/resample/float_picture.h"
#include "render/resample/gif_picture.h"

namespace KT::Resample {

namespace {

constexpr int kFloatPixelBytes = 12;

}  // namespace

std::unique_ptr<Picture> CreateMemoryPicture(int width, int height, int bytesPerPixel,
                                             const std::uint8_t* pixels, int stride, PictureMode mode,
                                             bool borrow) {
  if (height < 0) height = -height;
  if (width < 1 || height < 1) return nullptr;
  if (bytesPerPixel != kFloatPixelBytes && (bytesPerPixel < 1 || bytesPerPixel > 4)) return nullptr;
  try {
    if (bytesPerPixel == kFloatPixelBytes) {
      return std::make_unique<FloatPicture>(width, height, pixels, stride, mode, borrow);
    }
    return std::make_unique<BmpPicture>(width, height, bytesPerPixel, pixels, stride, mode, borrow);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

void CopyBack(const Picture& picture, std::uint8_t* pixels, int width, int height, int bytesPerPixel,
              int stride) {
  if (pixels == nullptr) return;
  if (std::strcmp(picture.GetDeviceName(), "float") == 0) {
    const auto& f = static_cast<const FloatPicture&>(picture);
    if (f.GetWidth() != width || f.GetHeight() != height || bytesPerPixel != kFloatPixelBytes) return;
    if (f.GetRows() == pixels) return;  // the picture worked in place
    const size_t rowBytes = static_cast<size_t>(width) * kFloatPixelBytes;
    const size_t step = stride > 0 ? static_cast<size_t>(stride) : rowBytes;
    for (int y = 0; y < height; ++y) std::memcpy(pixels + step * static_cast<size_t>(y), f.GetRow(y), rowBytes);
    return;
  }
  const auto* b = dynamic_cast<const BmpPicture*>(&picture);
  if (b == nullptr || b->GetWidth() != width || b->GetHeight() != height || b->GetBitCount() != bytesPerPixel * 8 ||
      b->GetPixels().empty() || b->GetPixels().data() == pixels) {
    return;
  }
  const size_t rowBytes = static_cast<size_t>(width) * static_cast<size_t>(bytesPerPixel);
  const size_t step = stride > 0 ? static_cast<size_t>(stride) : rowBytes;
  for (int y = 0; y < height; ++y) {
    std::memcpy(pixels + step * static_cast<size_t>(y),
                b->GetPixels().data() + static_cast<size_t>(b->GetStride()) * static_cast<size_t>(y), rowBytes);
  }
}

std::unique_ptr<Picture> OpenFilePicture(const char* device, const char* name, const char* mode) {
  if (device == nullptr || name == nullptr || mode == nullptr) return nullptr;
  if (std::strcmp(device, "bmp") == 0) {
    auto picture = std::make_unique<BmpPicture>();
    if (!picture->OpenFile(name, mode)) return nullptr;
    return picture;
  }
  if (std::strcmp(device, "gif") == 0) {
    auto picture = std::make_unique<GifPicture>();
    if (!picture->OpenFile(name, mode)) return nullptr;
    return picture;
  }
  std::fprintf(stderr, "%s: no picture device %s\n", name, device);
  return nullptr;
}

}  // namespace KT::Resample
