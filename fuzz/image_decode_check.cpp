#include "fuzz/image_decode_check.h"

#include <cstdio>
#include <cstdlib>
#include <initializer_list>

#include "objectmodel/buffer.h"
#include "render/images/image_codec.h"
#include "render/images/pixel_buffer.h"
#include "render/images/rgbe_codec.h"

namespace KT::fuzz {

namespace {

constexpr i32 kSmallSide = 64;

[[noreturn]] void Fault(const char* route, u32 code, const char* what, Result r) {
  std::fprintf(stderr, "image decode fault: %s (code %u): %s (result 0x%08X)\n", route, code, what,
               static_cast<unsigned>(r));
  std::abort();
}

void Check(const char* route, u32 code, Result r, std::initializer_list<Result> allowed, KTImage& image,
           std::initializer_list<u32> layouts) {
  bool known = r == kOk;
  for (Result a : allowed) known = known || r == a;
  if (!known) Fault(route, code, "undocumented result", r);
  if (r != kOk) return;
  if (!PixelBuffer::HasPixels(image) || image.Width < 1 || image.Height < 1 || image.Width > 16384 ||
      image.Height > 16384) {
    Fault(route, code, "success without a sound buffer", r);
  }
  bool layoutKnown = false;
  for (u32 l : layouts) layoutKnown = layoutKnown || image.Layout == l;
  if (!layoutKnown) Fault(route, code, "unexpected layout", r);
  if (image.Width <= kSmallSide && image.Height <= kSmallSide) {
    for (u32 again : {ImageFormat::kPng, ImageFormat::kTga, ImageFormat::kHdr}) {
      CBuffer<char> encoded;
      const Result e = EncodeImageFile(image, again, encoded);
      if (e != kOk || encoded.GetCount() == 0) Fault(route, again, "decoded image does not encode", e);
    }
  }
}

}  // namespace

void RunImageDecode(const std::uint8_t* data, std::size_t size) {
  if (data == nullptr || size == 0 || size > 0xFFFFFFFFu) return;
  const u32 length = static_cast<u32>(size);
  for (u32 code = ImageFormat::kBmp; code <= ImageFormat::kTif; ++code) {
    KTImage image;
    const Result r = DecodeImageImgrt(image, code, data, length);
    Check("image library", code, r, {kErrOutOfMemory, kErrTreeData}, image, {PixelLayout::kBgra8, PixelLayout::kBgr8});
  }
  {
    KTImage image;
    const Result r = DecodeImageGdiplus(image, data, length);
    Check("system decoder", 0, r, {kErrOutOfMemory, kErrMissingObject}, image,
          {PixelLayout::kBgra8, PixelLayout::kBgr8});
  }
  {
    KTImage image;
    const Result r = DecodeRgbe(reinterpret_cast<const char*>(data), length, kImageFormatHdr, image);
    Check("radiance", kImageFormatHdr, r, {kErrOutOfMemory, kErrInvalidArg, kErrTreeData}, image,
          {PixelLayout::kRgbFloat});
  }
}

}  // namespace KT::fuzz
