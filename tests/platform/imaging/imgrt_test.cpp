#include "platform/imaging/imgrt.h"

#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/imaging/bmp_codec.h"
#include "platform/imaging/gif_animation.h"
#include "platform/imaging/png_codec.h"
#include "platform/imaging/sample_pixels.h"
#include "platform/imaging/tga_codec.h"

namespace KT::Imgrt {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Imaging::RgbaPixels;

// An info record as its callers make one.
struct Info {
  ImageInfo* info = static_cast<ImageInfo*>(AllocateMemory(kImageInfoSize));
  explicit Info(const char* format) {
    GetImageInfo(info);
    std::strncpy(info->format, format, kMaxFormatName - 1);
  }
  ~Info() { DestroyImageInfo(info); }
};

struct Images {
  Image* first;
  ~Images() { DestroyImages(first); }
};

TEST(Imgrt, TgaNeedsItsNameOthersAreRecognised) {
  RgbaPixels pixels = Imaging::Testing::Sample(3, 2);
  Bytes tga, png;
  ASSERT_TRUE(Imaging::EncodeTga(pixels, true, tga));
  ASSERT_TRUE(Imaging::EncodePng(pixels, false, png));
  {
    Images none{BlobToImage(Info("").info, tga.data(), tga.size())};
    EXPECT_EQ(none.first, nullptr);
    Images named{BlobToImage(Info("TGA").info, tga.data(), tga.size())};
    ASSERT_NE(named.first, nullptr);
    EXPECT_TRUE(named.first->matte);
    EXPECT_EQ(named.first->units, kUndefinedResolution);
  }
  // "MNG" is the name the bridge gives PNG; the signature decides anyway.
  for (const char* name : {"MNG", "BMP", ""}) {
    Images image{BlobToImage(Info(name).info, png.data(), png.size())};
    ASSERT_NE(image.first, nullptr) << name;
    EXPECT_FALSE(image.first->matte);
    EXPECT_EQ(image.first->columns, 3);
    EXPECT_EQ(image.first->colorspace, kRGBColorspace);
  }
  EXPECT_EQ(BlobToImage(Info("TGA").info, nullptr, 4), nullptr);
  EXPECT_EQ(BlobToImage(nullptr, png.data(), png.size()), nullptr);
}

TEST(Imgrt, BmpMatteFollowsTheFourthBytes) {
  for (bool alpha : {false, true}) {
    RgbaPixels pixels = Imaging::Testing::Sample(4, 4, true);
    if (!alpha) {
      for (size_t i = 3; i < pixels.rgba.size(); i += 4) pixels.rgba[i] = 0;
    }
    Bytes bmp;
    ASSERT_TRUE(Imaging::EncodeBmp(pixels, true, bmp));
    Images image{BlobToImage(Info("BMP").info, bmp.data(), bmp.size())};
    ASSERT_NE(image.first, nullptr);
    EXPECT_EQ(image.first->matte, alpha);
  }
}

TEST(Imgrt, GifGivesTheFrameList) {
  const Bytes gif = Imaging::Testing::ThreeFrameAnimation();
  Images list{BlobToImage(Info("GIF").info, gif.data(), gif.size())};
  const struct {
    int delay, x, y, dispose;
  } expected[] = {{10, 0, 0, 1}, {20, 1, 0, 2}, {30, 0, 1, 3}};
  int count = 0;
  for (const Image* i = list.first; i != nullptr; i = i->next, ++count) {
    ASSERT_LT(count, 3);
    EXPECT_EQ(i->delay, expected[count].delay);
    EXPECT_EQ(i->pageX, expected[count].x);
    EXPECT_EQ(i->pageY, expected[count].y);
    EXPECT_EQ(i->dispose, expected[count].dispose);
    EXPECT_EQ(i->background[0], 0);
    EXPECT_EQ(i->background[2], 255);
  }
  EXPECT_EQ(count, 3);
}

TEST(Imgrt, PixelsByMapAndCreation) {
  const std::uint8_t bgra[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
  Images image{CreateImage(2, 2, "BGRA", kCharPixel, bgra)};
  ASSERT_NE(image.first, nullptr);
  EXPECT_TRUE(image.first->matte);
  std::uint8_t out[16] = {};
  ASSERT_TRUE(GetPixels(image.first, 0, 0, 2, 2, "BGRA", kCharPixel, out));
  EXPECT_EQ(0, std::memcmp(out, bgra, 16));
  ASSERT_TRUE(GetPixels(image.first, 1, 1, 1, 1, "BGR", kCharPixel, out));
  EXPECT_EQ(out[0], 13);
  EXPECT_EQ(out[2], 15);
  ASSERT_TRUE(GetPixels(image.first, 0, 0, 1, 1, "RGBA", kCharPixel, out));
  EXPECT_EQ(out[0], 3);
  EXPECT_EQ(out[3], 4);
  // Without A in the map the image has no matte and reads opaque.
  Images opaque{CreateImage(1, 1, "BGR", kCharPixel, bgra)};
  ASSERT_NE(opaque.first, nullptr);
  EXPECT_FALSE(opaque.first->matte);
  ASSERT_TRUE(GetPixels(opaque.first, 0, 0, 1, 1, "A", kCharPixel, out));
  EXPECT_EQ(out[0], 255);
  // Refusals.
  EXPECT_FALSE(GetPixels(image.first, 1, 0, 2, 1, "BGRA", kCharPixel, out));
  EXPECT_FALSE(GetPixels(image.first, 0, 0, 1, 1, "BGRX", kCharPixel, out));
  EXPECT_FALSE(GetPixels(image.first, 0, 0, 1, 1, "", kCharPixel, out));
  EXPECT_FALSE(GetPixels(image.first, 0, 0, 1, 1, "BGRA", 1, out));
  EXPECT_EQ(CreateImage(16385, 1, "BGR", kCharPixel, bgra), nullptr);
  EXPECT_EQ(CreateImage(0, 1, "BGR", kCharPixel, bgra), nullptr);
  EXPECT_FALSE(TransformRGBImage(nullptr, kRGBColorspace));
}

TEST(Imgrt, BlobsInEveryFormatReadBack) {
  RgbaPixels pixels = Imaging::Testing::Sample(5, 3);
  for (size_t i = 3; i < pixels.rgba.size(); i += 4) pixels.rgba[i] = (i / 4) % 2 == 0 ? 0 : 255;
  Images image{CreateImage(5, 3, "RGBA", kCharPixel, pixels.rgba.data())};
  ASSERT_NE(image.first, nullptr);
  for (const char* name : {"BMP", "JPEG", "MNG", "PNG", "TGA", "GIF", "TIFF"}) {
    Info info(name);
    info.info->quality = 100;
    size_t length = 0;
    void* blob = ImageToBlob(info.info, image.first, &length);
    ASSERT_NE(blob, nullptr) << name;
    Images back{BlobToImage(info.info, blob, length)};
    FreeMemory(blob);
    ASSERT_NE(back.first, nullptr) << name;
    EXPECT_EQ(back.first->columns, 5) << name;
    EXPECT_EQ(back.first->matte, std::string(name) != "JPEG") << name;
  }
  Info unknown("XYZ");
  size_t length = 7;
  EXPECT_EQ(ImageToBlob(unknown.info, image.first, &length), nullptr);
  EXPECT_EQ(length, 0u);
}

TEST(Imgrt, ZoomKeepsAlphaAndFlatAreas) {
  std::vector<std::uint8_t> flat(8 * 8 * 4);
  for (size_t i = 0; i < flat.size(); i += 4) {
    flat[i] = 10;
    flat[i + 1] = 100;
    flat[i + 2] = 200;
    flat[i + 3] = 77;
  }
  Images image{CreateImage(8, 8, "BGRA", kCharPixel, flat.data())};
  Images zoomed{ZoomImage(image.first, 3, 5)};
  ASSERT_NE(zoomed.first, nullptr);
  EXPECT_EQ(zoomed.first->columns, 3);
  EXPECT_EQ(zoomed.first->rows, 5);
  EXPECT_TRUE(zoomed.first->matte);
  std::vector<std::uint8_t> out(3 * 5 * 4);
  ASSERT_TRUE(GetPixels(zoomed.first, 0, 0, 3, 5, "BGRA", kCharPixel, out.data()));
  for (size_t i = 0; i < out.size(); i += 4) {
    EXPECT_NEAR(out[i], 10, 1);
    EXPECT_NEAR(out[i + 1], 100, 1);
    EXPECT_NEAR(out[i + 2], 200, 1);
    EXPECT_NEAR(out[i + 3], 77, 1);
  }
  EXPECT_EQ(ZoomImage(image.first, 0, 5), nullptr);
  EXPECT_EQ(ZoomImage(nullptr, 1, 1), nullptr);
}

}  // namespace
}  // namespace KT::Imgrt
