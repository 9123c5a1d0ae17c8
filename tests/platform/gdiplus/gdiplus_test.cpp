#include "platform/gdiplus/gdiplus.h"

#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/imaging/bmp_codec.h"
#include "platform/imaging/gif_animation.h"
#include "platform/imaging/jpeg_codec.h"
#include "platform/imaging/png_codec.h"
#include "platform/imaging/sample_pixels.h"
#include "platform/imaging/tga_codec.h"
#include "platform/imaging/tiff_codec.h"

namespace KT::Gdiplus {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Imaging::RgbaPixels;

CBuffer<char> Block(const Bytes& bytes) {
  CBuffer<char> b;
  if (!bytes.empty()) {
    EXPECT_EQ(b.Create(static_cast<u32>(bytes.size()), reinterpret_cast<const char*>(bytes.data())), kOk);
  }
  return b;
}

class GdiplusTest : public testing::Test {
 protected:
  void SetUp() override {
    GdiplusStartupInput input;
    ASSERT_EQ(GdiplusStartup(&token_, &input, nullptr), Ok);
  }
  void TearDown() override { GdiplusShutdown(token_); }

  // Decodes and answers the pixel format (0 on failure).
  PixelFormat FormatOf(const Bytes& bytes, GpBitmap** keep = nullptr) {
    GpBitmap* bitmap = nullptr;
    if (GdipCreateBitmapFromStream(Block(bytes), &bitmap) != Ok) return 0;
    PixelFormat f = 0;
    EXPECT_EQ(GdipGetImagePixelFormat(bitmap, &f), Ok);
    if (keep != nullptr) {
      *keep = bitmap;
    } else {
      GdipDisposeImage(bitmap);
    }
    return f;
  }

  std::uintptr_t token_ = 0;
};

TEST(GdiplusStartup, CountsAndRefusesOtherVersions) {
  const int before = GdiplusStartupCount();
  std::uintptr_t token = 0;
  GdiplusStartupInput input;
  input.GdiplusVersion = 2;
  EXPECT_EQ(GdiplusStartup(&token, &input, nullptr), UnsupportedGdiplusVersion);
  EXPECT_EQ(GdiplusStartupCount(), before);
  // Without a start-up nothing works.
  GpBitmap* bitmap = nullptr;
  EXPECT_EQ(GdipCreateBitmapFromStream(CBuffer<char>(), &bitmap), GdiplusNotInitialized);
  input.GdiplusVersion = 1;
  ASSERT_EQ(GdiplusStartup(&token, &input, nullptr), Ok);
  EXPECT_EQ(GdiplusStartupCount(), before + 1);
  GdiplusShutdown(token);
  EXPECT_EQ(GdiplusStartupCount(), before);
}

TEST_F(GdiplusTest, PixelFormatsByContent) {
  RgbaPixels alpha = Imaging::Testing::Sample(4, 3, true);
  RgbaPixels opaque = Imaging::Testing::Sample(4, 3, false);
  Bytes png32, png24, bmp32, bmp24, jpeg, tiff, tga, gif;
  ASSERT_TRUE(Imaging::EncodePng(alpha, true, png32));
  ASSERT_TRUE(Imaging::EncodePng(opaque, false, png24));
  ASSERT_TRUE(Imaging::EncodeBmp(alpha, true, bmp32));
  ASSERT_TRUE(Imaging::EncodeBmp(opaque, false, bmp24));
  ASSERT_TRUE(Imaging::EncodeJpeg(opaque, 90, jpeg));
  ASSERT_TRUE(Imaging::EncodeTiff(alpha, true, tiff));
  ASSERT_TRUE(Imaging::EncodeTga(opaque, false, tga));
  gif = Imaging::Testing::ThreeFrameAnimation();
  EXPECT_EQ(FormatOf(png32), PixelFormat32bppARGB);
  EXPECT_EQ(FormatOf(png24), PixelFormat24bppRGB);
  EXPECT_EQ(FormatOf(bmp32), PixelFormat32bppRGB);  // BI_RGB: no alpha flag, fourth bytes kept
  EXPECT_EQ(FormatOf(bmp24), PixelFormat24bppRGB);
  EXPECT_EQ(FormatOf(jpeg), PixelFormat24bppRGB);
  EXPECT_EQ(FormatOf(tiff), PixelFormat32bppARGB);
  EXPECT_EQ(FormatOf(gif), PixelFormat8bppIndexed);
  EXPECT_EQ(FormatOf(tga), 0u);  // no TGA decoder
  GpBitmap* bitmap = nullptr;
  EXPECT_EQ(GdipCreateBitmapFromStream(CBuffer<char>(), &bitmap), UnknownImageFormat);
}

TEST_F(GdiplusTest, GifFirstFrameAndPalette) {
  GpBitmap* bitmap = nullptr;
  ASSERT_EQ(FormatOf(Imaging::Testing::ThreeFrameAnimation(), &bitmap), PixelFormat8bppIndexed);
  RawFormat raw;
  ASSERT_EQ(GdipGetImageRawFormat(bitmap, &raw), Ok);
  EXPECT_EQ(raw, RawFormat::kGif);
  int size = 0;
  ASSERT_EQ(GdipGetImagePaletteSize(bitmap, &size), Ok);
  EXPECT_EQ(size, 8 + 4);  // the first frame is all red
  ColorPalette palette;
  ASSERT_EQ(GdipGetImagePalette(bitmap, &palette, size), Ok);
  EXPECT_EQ(palette.Entries[0], 0xFFFF0000u);
  EXPECT_EQ(GdipGetImagePalette(bitmap, &palette, size - 1), InvalidParameter);
  BitmapData locked;
  ASSERT_EQ(GdipBitmapLockBits(bitmap, nullptr, ImageLockModeRead, PixelFormat24bppRGB, &locked), Ok);
  EXPECT_EQ(locked.Width, 2u);
  EXPECT_EQ(locked.Stride, 8);
  const auto* p = static_cast<const std::uint8_t*>(locked.Scan0);
  EXPECT_EQ(p[0], 0);
  EXPECT_EQ(p[2], 255);  // B, G, R
  EXPECT_EQ(GdipBitmapLockBits(bitmap, nullptr, ImageLockModeRead, PixelFormat24bppRGB, &locked), WrongState);
  EXPECT_EQ(GdipBitmapUnlockBits(bitmap, &locked), Ok);
  EXPECT_EQ(GdipBitmapUnlockBits(bitmap, &locked), WrongState);
  GdipDisposeImage(bitmap);
}

TEST_F(GdiplusTest, LockingAs32BitRgbKeepsStoredFourthBytes) {
  RgbaPixels pixels = Imaging::Testing::Sample(2, 1, true);
  pixels.rgba[3] = 0;
  pixels.rgba[7] = 200;
  Bytes bmp;
  ASSERT_TRUE(Imaging::EncodeBmp(pixels, true, bmp));
  GpBitmap* bitmap = nullptr;
  ASSERT_EQ(FormatOf(bmp, &bitmap), PixelFormat32bppRGB);
  const struct {
    PixelFormat format;
    std::uint8_t first, second;
  } cases[] = {{PixelFormat32bppRGB, 0, 200}, {PixelFormat32bppARGB, 255, 255}};
  for (const auto& c : cases) {
    BitmapData locked;
    ASSERT_EQ(GdipBitmapLockBits(bitmap, nullptr, ImageLockModeRead, c.format, &locked), Ok);
    const auto* p = static_cast<const std::uint8_t*>(locked.Scan0);
    EXPECT_EQ(p[3], c.first);
    EXPECT_EQ(p[7], c.second);
    GdipBitmapUnlockBits(bitmap, &locked);
  }
  BitmapData locked;
  EXPECT_EQ(GdipBitmapLockBits(bitmap, nullptr, ImageLockModeRead, PixelFormat8bppIndexed, &locked), NotImplemented);
  const Rect outside{1, 0, 2, 1};
  EXPECT_EQ(GdipBitmapLockBits(bitmap, &outside, ImageLockModeRead, PixelFormat24bppRGB, &locked), InvalidParameter);
  GdipDisposeImage(bitmap);
}

TEST_F(GdiplusTest, EncodersByMimeTypeWriteWhatTheyRead) {
  std::uint32_t count = 0, size = 0;
  ASSERT_EQ(GdipGetImageEncodersSize(&count, &size), Ok);
  std::vector<ImageCodecInfo> encoders(count);
  ASSERT_EQ(GdipGetImageEncoders(count, size, encoders.data()), Ok);
  std::vector<std::u16string> mimes;
  for (const ImageCodecInfo& e : encoders) mimes.emplace_back(e.MimeType);
  EXPECT_EQ(mimes, (std::vector<std::u16string>{u"image/bmp", u"image/jpeg", u"image/gif", u"image/tiff", u"image/png"}));

  // Two pixels B, G, R, A: the alpha stays with 32bppARGB.
  const std::uint8_t rows[] = {1, 2, 3, 40, 5, 6, 7, 255};
  GpBitmap* bitmap = nullptr;
  ASSERT_EQ(GdipCreateBitmapFromScan0(2, 1, 8, PixelFormat32bppARGB, rows, &bitmap), Ok);
  for (const ImageCodecInfo& e : encoders) {
    CBuffer<char> stream;
    ASSERT_EQ(GdipSaveImageToStream(bitmap, stream, &e.Clsid, nullptr), Ok);
    ASSERT_GT(stream.GetCount(), 0u);
    const std::u16string mime = e.MimeType;
    if (mime == u"image/jpeg" || mime == u"image/gif") continue;
    GpBitmap* back = nullptr;
    ASSERT_EQ(GdipCreateBitmapFromStream(stream, &back), Ok);
    BitmapData locked;
    const PixelFormat as = mime == u"image/bmp" ? PixelFormat32bppRGB : PixelFormat32bppARGB;
    ASSERT_EQ(GdipBitmapLockBits(back, nullptr, ImageLockModeRead, as, &locked), Ok);
    EXPECT_EQ(0, std::memcmp(locked.Scan0, rows, 8));
    GdipBitmapUnlockBits(back, &locked);
    GdipDisposeImage(back);
  }
  const std::uint32_t unknown = 99;
  CBuffer<char> stream;
  EXPECT_EQ(GdipSaveImageToStream(bitmap, stream, &unknown, nullptr), InvalidParameter);
  GdipDisposeImage(bitmap);
  EXPECT_EQ(GdipCreateBitmapFromScan0(2, 1, 4, PixelFormat24bppRGB, rows, &bitmap), InvalidParameter);
}

TEST_F(GdiplusTest, TruncatedFilesFailCleanly) {
  const RgbaPixels pixels = Imaging::Testing::Sample(6, 5, true);
  Bytes png, bmp, tiff;
  ASSERT_TRUE(Imaging::EncodePng(pixels, true, png));
  ASSERT_TRUE(Imaging::EncodeBmp(pixels, true, bmp));
  ASSERT_TRUE(Imaging::EncodeTiff(pixels, true, tiff));
  Bytes gif = Imaging::Testing::ThreeFrameAnimation();
  testing::internal::CaptureStderr();
  for (const Bytes* file : {&png, &bmp, &tiff, &gif}) {
    for (size_t cut = 1; cut < file->size(); ++cut) {
      GpBitmap* bitmap = nullptr;
      EXPECT_EQ(GdipCreateBitmapFromStream(Block(Bytes(file->begin(), file->begin() + cut)), &bitmap),
                UnknownImageFormat)
          << cut;
    }
  }
  testing::internal::GetCapturedStderr();
}

}  // namespace
}  // namespace KT::Gdiplus
