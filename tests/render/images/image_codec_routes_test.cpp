// The codec bridge's routes: files and byte blocks through the image
// library, the system imaging API and the Radiance codec.
#include <png.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "objectmodel/buffer.h"
#include "platform/debug_output.h"
#include "platform/imaging/gif_animation.h"
#include "render/images/image_codec.h"
#include "render/images/pixel_buffer.h"
#include "support/temp_folder.h"

namespace KT {
namespace {

using Bytes = std::vector<u8>;

// A smooth test image (JPEG keeps it within a few steps) with alpha, per
// pixel, from `alpha` (layout 0 only).
template <typename Alpha>
void Fill(KTImage& image, u32 layout, i32 w, i32 h, Alpha alpha) {
  ASSERT_EQ(PixelBuffer::Create(image, layout, w, h), kOk);
  for (i32 y = 0; y < h; ++y) {
    u8* row = image.Pixels + static_cast<size_t>(y) * static_cast<size_t>(image.Stride);
    for (i32 x = 0; x < w; ++x) {
      u8* p = row + static_cast<size_t>(x) * static_cast<size_t>(image.BytesPerPixel);
      p[0] = static_cast<u8>(40 + x * 12);
      p[1] = static_cast<u8>(60 + y * 14);
      p[2] = static_cast<u8>(90 + (x + y) * 6);
      if (layout == PixelLayout::kBgra8) p[3] = alpha(x, y);
    }
  }
}

u8 AnyAlpha(i32 x, i32 y) { return static_cast<u8>(x * 31 + y * 17); }
u8 BinaryAlpha(i32 x, i32 y) { return (x + y) % 3 == 0 ? 0 : 255; }

// The byte at channel c of pixel (x, y); alpha 255 for layout 1.
int At(const KTImage& image, i32 x, i32 y, int c) {
  if (c == 3 && image.Layout == PixelLayout::kBgr8) return 255;
  return image.Pixels[static_cast<size_t>(y) * static_cast<size_t>(image.Stride) +
                      static_cast<size_t>(x) * static_cast<size_t>(image.BytesPerPixel) + static_cast<size_t>(c)];
}

Bytes ToBytes(const CBuffer<char>& b) {
  return Bytes(reinterpret_cast<const u8*>(b.GetData()), reinterpret_cast<const u8*>(b.GetData()) + b.GetCount());
}

std::string AsString(const CBuffer<char>& b) { return std::string(b.GetData(), b.GetCount()); }

class ImageRoutes : public testing::Test {
 protected:
  std::u16string Write(const std::string& name, const std::string& bytes) {
    folder_.WriteFile(name, bytes);
    return folder_.Wide(name);
  }
  Testing::TempFolder folder_;
};

TEST_F(ImageRoutes, RoundTripEveryFormatInLayouts0And1) {
  const struct {
    u32 code;
    const char* extension;
    int tolerance;     // per channel
    bool keepsAlpha;   // a layout-0 image comes back in layout 0
    bool binaryAlpha;  // only alpha 0 and 255 survive
  } formats[] = {
      {ImageFormat::kBmp, "bmp", 0, true, false}, {ImageFormat::kJpg, "jpg", 12, false, false},
      {ImageFormat::kPng, "png", 0, true, false}, {ImageFormat::kTga, "tga", 0, true, false},
      {ImageFormat::kGif, "gif", 0, true, true},  {ImageFormat::kTif, "tif", 0, true, false},
  };
  for (const auto& f : formats) {
    for (u32 layout : {PixelLayout::kBgra8, PixelLayout::kBgr8}) {
      SCOPED_TRACE(std::string(f.extension) + " layout " + std::to_string(layout));
      KTImage image;
      if (f.binaryAlpha) {
        Fill(image, layout, 9, 7, BinaryAlpha);
        // Transparent pixels share one colour: a GIF has one transparent index.
        for (i32 y = 0; y < 7 && layout == PixelLayout::kBgra8; ++y) {
          for (i32 x = 0; x < 9; ++x) {
            if (BinaryAlpha(x, y) == 0) std::memset(image.Pixels + y * image.Stride + x * 4, 0, 3);
          }
        }
      } else {
        Fill(image, layout, 9, 7, AnyAlpha);
      }
      CBuffer<char> encoded;
      ASSERT_EQ(EncodeImageFile(image, f.code, encoded), kOk);
      u32 format = 0;
      KTImage back;
      ASSERT_EQ(DecodeImageFile(back, &format, Write(std::string("round.") + f.extension, AsString(encoded)).c_str()),
                kOk);
      EXPECT_EQ(format, f.code);
      ASSERT_EQ(back.Width, 9);
      ASSERT_EQ(back.Height, 7);
      const u32 expected = layout == PixelLayout::kBgra8 && f.keepsAlpha ? PixelLayout::kBgra8 : PixelLayout::kBgr8;
      EXPECT_EQ(back.Layout, expected);
      int worst = 0;
      for (i32 y = 0; y < 7; ++y) {
        for (i32 x = 0; x < 9; ++x) {
          for (int c = 0; c < (expected == PixelLayout::kBgra8 ? 4 : 3); ++c) {
            worst = std::max(worst, std::abs(At(back, x, y, c) - At(image, x, y, c)));
          }
        }
      }
      EXPECT_LE(worst, f.tolerance);
    }
  }
}

TEST_F(ImageRoutes, HdrRoundTripsThroughLayout6) {
  KTImage image;
  ASSERT_EQ(PixelBuffer::Create(image, PixelLayout::kRgbFloat, 10, 3), kOk);
  auto* values = reinterpret_cast<float*>(image.Pixels);
  for (int i = 0; i < 30 * 3; ++i) values[i] = 0.01f + static_cast<float>(i) * 0.37f;
  CBuffer<char> encoded;
  ASSERT_EQ(EncodeImageFile(image, ImageFormat::kHdr, encoded), kOk);
  KTImage back;
  ASSERT_EQ(DecodeImageFile(back, nullptr, Write("sky.hdr", AsString(encoded)).c_str()), kOk);
  ASSERT_EQ(back.Layout, PixelLayout::kRgbFloat);
  const auto* read = reinterpret_cast<const float*>(back.Pixels);
  for (int i = 0; i < 30 * 3; ++i) EXPECT_NEAR(read[i], values[i], values[i] * 0.01f + 0.05f) << i;
  // A byte buffer is converted to layout 6 before it is written.
  KTImage bytes;
  Fill(bytes, PixelLayout::kBgr8, 4, 2, AnyAlpha);
  ASSERT_EQ(EncodeImageFile(bytes, ImageFormat::kHdr, encoded), kOk);
  EXPECT_EQ(bytes.Layout, PixelLayout::kBgr8);
  ASSERT_EQ(DecodeImageFile(back, nullptr, Write("bytes.hdr", AsString(encoded)).c_str()), kOk);
  EXPECT_EQ(back.Width, 4);
}

TEST_F(ImageRoutes, Layout6EncodedAsPngIsA32BitPng) {
  KTImage image;
  ASSERT_EQ(PixelBuffer::Create(image, PixelLayout::kRgbFloat, 3, 2), kOk);
  auto* values = reinterpret_cast<float*>(image.Pixels);
  for (int i = 0; i < 18; ++i) values[i] = static_cast<float>(i) / 17.0f;
  CBuffer<char> encoded;
  ASSERT_EQ(EncodeImageFile(image, ImageFormat::kPng, encoded), kOk);
  const Bytes png = ToBytes(encoded);
  ASSERT_GT(png.size(), 26u);
  EXPECT_EQ(png[24], 8);  // bit depth
  EXPECT_EQ(png[25], 6);  // colour type: RGBA
  EXPECT_EQ(image.Layout, PixelLayout::kRgbFloat);
  KTImage back;
  ASSERT_EQ(DecodeImageFile(back, nullptr, Write("float.png", AsString(encoded)).c_str()), kOk);
  EXPECT_EQ(back.Layout, PixelLayout::kBgra8);
  EXPECT_EQ(At(back, 2, 1, 3), 255);
  // The last pixel: R, G, B = 15/17, 16/17, 1 -> 225, 240, 255.
  EXPECT_EQ(At(back, 2, 1, 0), 255);
  EXPECT_EQ(At(back, 2, 1, 1), 240);
  EXPECT_EQ(At(back, 2, 1, 2), 225);
}

TEST_F(ImageRoutes, ExtensionsDecideTheCode) {
  KTImage image;
  Fill(image, PixelLayout::kBgr8, 4, 4, AnyAlpha);
  CBuffer<char> jpeg;
  ASSERT_EQ(EncodeImageFile(image, ImageFormat::kJpg, jpeg), kOk);
  u32 format = 99;
  KTImage back;
  EXPECT_EQ(DecodeImageFile(back, &format, Write("PHOTO.JPEG", AsString(jpeg)).c_str()), kOk);
  EXPECT_EQ(format, ImageFormat::kJpg);
  EXPECT_EQ(back.Layout, PixelLayout::kBgr8);
  format = 99;
  EXPECT_EQ(DecodeImageFile(back, &format, Write("photo.jfif", AsString(jpeg)).c_str()), kErrImageFormat);
  EXPECT_EQ(format, 99u);
  EXPECT_EQ(DecodeImageFile(back, &format, nullptr), kErrInvalidArg);
  EXPECT_EQ(DecodeImageFile(back, &format, folder_.Wide("missing.png").c_str()), kErrFileSize);
  // A file of the wrong content fails with its route's code.
  EXPECT_EQ(DecodeImageFile(back, nullptr, Write("jpeg.tga", "not a targa").c_str()), kErrTreeData);
  EXPECT_EQ(DecodeImageFile(back, nullptr, Write("text.png", "not a png").c_str()), kErrMissingObject);
  EXPECT_EQ(DecodeImageFile(back, nullptr, Write("empty.bmp", "").c_str()), kErrTreeData);
  EXPECT_EQ(DecodeImageFile(back, nullptr, Write("empty.gif", "").c_str()), kErrMissingObject);
}

// A BMP of one row of two pixels, 32 bits BI_RGB, with the resolution in
// pixels per metre.
Bytes Bmp32(const u8 fourth[2], u32 perMetre) {
  Bytes b(54 + 8, 0);
  auto put32 = [&b](size_t at, u32 v) {
    for (int i = 0; i < 4; ++i) b[at + static_cast<size_t>(i)] = static_cast<u8>(v >> (8 * i));
  };
  b[0] = 'B';
  b[1] = 'M';
  put32(2, static_cast<u32>(b.size()));
  put32(10, 54);
  put32(14, 40);
  put32(18, 2);
  put32(22, 1);
  b[26] = 1;
  b[28] = 32;
  put32(38, perMetre);
  put32(42, perMetre);
  const u8 pixels[8] = {10, 20, 30, fourth[0], 40, 50, 60, fourth[1]};
  std::memcpy(&b[54], pixels, 8);
  return b;
}

TEST_F(ImageRoutes, ResolutionFromTheImageLibrary) {
  const u8 zero[2] = {0, 0};
  KTImage image;
  // 3780 pixels per metre: 37.8 per centimetre, 96 per inch.
  const Bytes bmp = Bmp32(zero, 3780);
  ASSERT_EQ(DecodeImageFile(image, nullptr, Write("dpi.bmp", std::string(bmp.begin(), bmp.end())).c_str()), kOk);
  EXPECT_EQ(image.DpiX, 96);
  EXPECT_EQ(image.DpiY, 96);
  // No stored resolution: 300.
  const Bytes none = Bmp32(zero, 0);
  ASSERT_EQ(DecodeImageImgrt(image, ImageFormat::kBmp, none.data(), static_cast<u32>(none.size())), kOk);
  EXPECT_EQ(image.DpiX, 300);
  EXPECT_EQ(image.DpiY, 300);
}

TEST_F(ImageRoutes, Bmp32WithZeroFourthBytes) {
  const u8 zero[2] = {0, 0};
  const Bytes bmp = Bmp32(zero, 0);
  KTImage image;
  // Through the system decoder (as embedded bytes of code 0 reach it):
  // layout 0, opaque.
  ASSERT_EQ(DecodeImageGdiplus(image, bmp.data(), static_cast<u32>(bmp.size())), kOk);
  EXPECT_EQ(image.Layout, PixelLayout::kBgra8);
  EXPECT_EQ(At(image, 0, 0, 3), 255);
  EXPECT_EQ(At(image, 1, 0, 3), 255);
  EXPECT_EQ(At(image, 1, 0, 2), 60);
  // Through the image library, as ".bmp" files go: layout 1.
  ASSERT_EQ(DecodeImageImgrt(image, ImageFormat::kBmp, bmp.data(), static_cast<u32>(bmp.size())), kOk);
  EXPECT_EQ(image.Layout, PixelLayout::kBgr8);
  // Fourth bytes that carry alpha stay what they are on both routes.
  const u8 alpha[2] = {0, 200};
  const Bytes withAlpha = Bmp32(alpha, 0);
  ASSERT_EQ(DecodeImageGdiplus(image, withAlpha.data(), static_cast<u32>(withAlpha.size())), kOk);
  EXPECT_EQ(At(image, 0, 0, 3), 0);
  EXPECT_EQ(At(image, 1, 0, 3), 200);
  ASSERT_EQ(DecodeImageImgrt(image, ImageFormat::kBmp, withAlpha.data(), static_cast<u32>(withAlpha.size())), kOk);
  EXPECT_EQ(image.Layout, PixelLayout::kBgra8);
  EXPECT_EQ(At(image, 1, 0, 3), 200);
}

TEST_F(ImageRoutes, PalettePngThroughTheSystemDecoderIsLayout1) {
  png_image png = {};
  png.version = PNG_IMAGE_VERSION;
  png.width = 2;
  png.height = 2;
  png.format = PNG_FORMAT_RGB_COLORMAP;
  png.colormap_entries = 2;
  const u8 colormap[6] = {255, 0, 0, 0, 0, 255};
  const u8 indices[4] = {0, 1, 1, 0};
  png_alloc_size_t size = 0;
  ASSERT_TRUE(png_image_write_get_memory_size(png, size, 0, indices, 0, colormap));
  Bytes file(size);
  ASSERT_TRUE(png_image_write_to_memory(&png, file.data(), &size, 0, indices, 0, colormap));
  file.resize(size);
  ASSERT_EQ(file[25], 3);  // a palette PNG
  KTImage image;
  ASSERT_EQ(DecodeImageFile(image, nullptr, Write("palette.png", std::string(file.begin(), file.end())).c_str()), kOk);
  EXPECT_EQ(image.Layout, PixelLayout::kBgr8);
  EXPECT_EQ(At(image, 0, 0, 2), 255);
  EXPECT_EQ(At(image, 1, 0, 0), 255);
}

TEST_F(ImageRoutes, GifFramesThroughTheRoutes) {
  const Bytes gif = Imaging::Testing::ThreeFrameAnimation();
  KTImage image;
  // The bridge keeps the first frame (the animated image reads the list).
  ASSERT_EQ(DecodeImageImgrt(image, ImageFormat::kGif, gif.data(), static_cast<u32>(gif.size())), kOk);
  EXPECT_EQ(image.Width, 2);
  EXPECT_EQ(image.Height, 2);
  EXPECT_EQ(image.Layout, PixelLayout::kBgr8);
  EXPECT_EQ(DecodeImageGdiplus(image, gif.data(), static_cast<u32>(gif.size())), kOk);
  EXPECT_EQ(image.Layout, PixelLayout::kBgr8);
  EXPECT_EQ(At(image, 1, 1, 2), 255);  // red
}

TEST_F(ImageRoutes, MissingEncoderWritesTheDebugMessage) {
  std::vector<std::u16string> messages;
  const auto previous =
      Platform::SetDebugOutputRecorder([&messages](std::u16string_view m) { messages.emplace_back(m); });
  KTImage image;
  Fill(image, PixelLayout::kBgra8, 2, 2, AnyAlpha);
  CBuffer<char> out;
  testing::internal::CaptureStderr();
  EXPECT_EQ(EncodeImageFile(image, ImageFormat::kNone, out), kErrTreeData);
  EXPECT_EQ(EncodeImageGdiplus(image, ImageFormat::kTga, out), kErrTreeData);  // "image/tga" is not installed
  EXPECT_EQ(EncodeImageFile(image, 8, out), kErrTreeData);
  const std::string err = testing::internal::GetCapturedStderr();
  Platform::SetDebugOutputRecorder(previous);
  EXPECT_EQ(out.GetCount(), 0u);
  ASSERT_EQ(messages.size(), 3u);
  for (const auto& m : messages) EXPECT_EQ(m, u"找不到指定的存檔格式!!");
  EXPECT_NE(err.find("找不到指定的存檔格式!!"), std::string::npos);
}

TEST_F(ImageRoutes, EncodersRefuseWhatTheyCannotWrite) {
  KTImage empty;
  CBuffer<char> out;
  EXPECT_EQ(EncodeImageImgrt(empty, ImageFormat::kTga, out), kErrInvalidArg);
  EXPECT_EQ(EncodeImageGdiplus(empty, ImageFormat::kPng, out), kErrInvalidArg);
  KTImage words;
  ASSERT_EQ(PixelBuffer::Create(words, PixelLayout::kRgb565, 2, 2), kOk);
  EXPECT_EQ(EncodeImageFile(words, ImageFormat::kTga, out), kErrInvalidArg);
  EXPECT_EQ(EncodeImageFile(words, ImageFormat::kPng, out), kErrTreeData);
  EXPECT_EQ(out.GetCount(), 0u);
}

TEST_F(ImageRoutes, TruncatedAndMutatedFilesFailWithTheRouteCode) {
  KTImage image;
  Fill(image, PixelLayout::kBgra8, 6, 5, BinaryAlpha);
  const u32 codes[] = {ImageFormat::kBmp, ImageFormat::kJpg, ImageFormat::kPng,
                       ImageFormat::kTga, ImageFormat::kGif, ImageFormat::kTif};
  testing::internal::CaptureStderr();
  for (u32 code : codes) {
    CBuffer<char> encoded;
    ASSERT_EQ(EncodeImageFile(image, code, encoded), kOk) << code;
    const Bytes file = ToBytes(encoded);
    const bool imgrt = GetDecodeRoute(code) == ImageCodecRoute::kImgrt;
    const Result failure = imgrt ? kErrTreeData : kErrMissingObject;
    for (size_t cut = 1; cut < file.size(); ++cut) {
      KTImage partial;
      const Result r = imgrt ? DecodeImageImgrt(partial, code, file.data(), static_cast<u32>(cut))
                             : DecodeImageGdiplus(partial, file.data(), static_cast<u32>(cut));
      // libjpeg pads a cut inside the entropy-coded data.
      if (code == ImageFormat::kJpg && r == kOk) continue;
      EXPECT_EQ(r, failure) << code << " cut " << cut;
    }
    for (size_t at = 0; at < file.size(); ++at) {
      Bytes mutated = file;
      mutated[at] ^= 0x5A;
      KTImage any;
      const Result r = imgrt ? DecodeImageImgrt(any, code, mutated.data(), static_cast<u32>(mutated.size()))
                             : DecodeImageGdiplus(any, mutated.data(), static_cast<u32>(mutated.size()));
      EXPECT_TRUE(r == kOk || r == failure) << code << " byte " << at;
    }
  }
  testing::internal::GetCapturedStderr();
}

TEST_F(ImageRoutes, Layout0ScalerKeepsAlpha) {
  KTImage image;
  ASSERT_EQ(PixelBuffer::Create(image, PixelLayout::kBgra8, 16, 8), kOk);
  for (u32 i = 0; i < 16 * 8; ++i) {
    u8* p = image.Pixels + i * 4;
    p[0] = 20;
    p[1] = 40;
    p[2] = 80;
    p[3] = 160;
  }
  KTImage small;
  ASSERT_EQ(PixelBuffer::Resize(image, &small, 5, 3), kOk);
  ASSERT_EQ(small.Layout, PixelLayout::kBgra8);
  for (i32 y = 0; y < 3; ++y) {
    for (i32 x = 0; x < 5; ++x) {
      EXPECT_NEAR(At(small, x, y, 0), 20, 1);
      EXPECT_NEAR(At(small, x, y, 3), 160, 1);
    }
  }
  // Into a layout-1 destination the colours are fetched without alpha.
  KTImage bgr;
  ASSERT_EQ(PixelBuffer::Create(bgr, PixelLayout::kBgr8, 4, 4), kOk);
  ASSERT_EQ(ScaleLayout0WithImgrt(image, bgr), kOk);
  EXPECT_NEAR(At(bgr, 3, 3, 2), 80, 1);
  KTImage none;
  EXPECT_EQ(ScaleLayout0WithImgrt(none, bgr), kErrInvalidArg);
  EXPECT_EQ(ScaleLayout0WithImgrt(bgr, image), kErrInvalidArg);
}

}  // namespace
}  // namespace KT
