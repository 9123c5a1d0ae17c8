#include "platform/imaging/png_codec.h"

#include <png.h>
#include <zlib.h>

#include <vector>

#include <gtest/gtest.h>

#include "platform/imaging/sample_pixels.h"

namespace KT::Imaging {
namespace {

using Bytes = std::vector<std::uint8_t>;

using Testing::Sample;

// A PNG written by libpng's simplified interface in another format.
Bytes Simplified(png_uint_32 format, int w, int h, const Bytes& pixels, const Bytes& colormap = {}) {
  png_image image = {};
  image.version = PNG_IMAGE_VERSION;
  image.width = static_cast<png_uint_32>(w);
  image.height = static_cast<png_uint_32>(h);
  image.format = format;
  image.colormap_entries = static_cast<png_uint_32>(colormap.size() / 4);
  png_alloc_size_t size = 0;
  EXPECT_TRUE(png_image_write_get_memory_size(image, size, 0, pixels.data(), 0,
                                              colormap.empty() ? nullptr : colormap.data()));
  Bytes out(size);
  EXPECT_TRUE(png_image_write_to_memory(&image, out.data(), &size, 0, pixels.data(), 0,
                                        colormap.empty() ? nullptr : colormap.data()));
  out.resize(size);
  return out;
}

TEST(PngCodec, RoundTripsWithAndWithoutAlpha) {
  for (bool alpha : {false, true}) {
    RgbaPixels image = Sample(7, 5);
    image.resolutionUnits = kResolutionPerCentimetre;
    image.xResolution = image.yResolution = 37.8;
    Bytes file;
    ASSERT_TRUE(EncodePng(image, alpha, file));
    EXPECT_TRUE(IsPng(file.data(), file.size()));
    EXPECT_EQ(file[25], alpha ? 6 : 2);  // colour type in IHDR: RGBA, RGB
    RgbaPixels back;
    ASSERT_TRUE(DecodePng(file.data(), file.size(), back));
    EXPECT_EQ(back.matte, alpha);
    EXPECT_EQ(back.resolutionUnits, kResolutionPerCentimetre);
    EXPECT_DOUBLE_EQ(back.xResolution, 37.8);
    for (size_t i = 0; i < image.rgba.size(); ++i) {
      ASSERT_EQ(back.rgba[i], (i % 4 == 3 && !alpha) ? 255 : image.rgba[i]) << i;
    }
    testing::internal::CaptureStderr();
    for (size_t cut = 0; cut < file.size(); ++cut) {
      RgbaPixels partial;
      EXPECT_FALSE(DecodePng(file.data(), cut, partial)) << cut;
    }
    testing::internal::GetCapturedStderr();
  }
}

TEST(PngCodec, GreyPaletteAndNoResolution) {
  RgbaPixels image;
  const Bytes grey = Simplified(PNG_FORMAT_GRAY, 2, 1, {10, 200});
  ASSERT_TRUE(DecodePng(grey.data(), grey.size(), image));
  EXPECT_EQ(image.rgba, (Bytes{10, 10, 10, 255, 200, 200, 200, 255}));
  EXPECT_FALSE(image.matte);
  EXPECT_EQ(image.resolutionUnits, kResolutionUndefined);
  // A palette with a transparent entry carries alpha.
  const Bytes palette = Simplified(PNG_FORMAT_RGBA_COLORMAP, 2, 1, {0, 1}, {255, 0, 0, 255, 0, 0, 255, 0});
  ASSERT_TRUE(DecodePng(palette.data(), palette.size(), image));
  EXPECT_TRUE(image.matte);
  EXPECT_EQ(image.rgba, (Bytes{255, 0, 0, 255, 0, 0, 255, 0}));
}

TEST(PngCodec, HostileHeadersAreRefused) {
  // A valid file whose IHDR is patched to claim other sizes (the CRC is
  // fixed up, so the size check is what refuses them).
  RgbaPixels image = Sample(2, 2);
  Bytes file;
  ASSERT_TRUE(EncodePng(image, true, file));
  auto patched = [&](png_uint_32 w, png_uint_32 h) {
    Bytes b = file;
    for (int i = 0; i < 4; ++i) {
      b[16 + i] = static_cast<std::uint8_t>(w >> (24 - 8 * i));
      b[20 + i] = static_cast<std::uint8_t>(h >> (24 - 8 * i));
    }
    const uLong crc = crc32(crc32(0, nullptr, 0), &b[12], 17);
    for (int i = 0; i < 4; ++i) b[29 + i] = static_cast<std::uint8_t>(crc >> (24 - 8 * i));
    return b;
  };
  testing::internal::CaptureStderr();
  for (auto [w, h] : {std::pair<png_uint_32, png_uint_32>{16384, 16384}, {16385, 1}, {1, 20000}, {0, 2}}) {
    const Bytes b = patched(w, h);
    RgbaPixels out;
    EXPECT_FALSE(DecodePng(b.data(), b.size(), out)) << w << "x" << h;
  }
  const Bytes same = patched(2, 2);
  RgbaPixels out;
  EXPECT_TRUE(DecodePng(same.data(), same.size(), out));
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("png: "), std::string::npos);
  const Bytes notPng = {1, 2, 3};
  EXPECT_FALSE(DecodePng(notPng.data(), notPng.size(), out));
  RgbaPixels empty;
  EXPECT_FALSE(EncodePng(empty, true, file));
}

}  // namespace
}  // namespace KT::Imaging
