#include "platform/imaging/bmp_codec.h"

#include <vector>

#include <gtest/gtest.h>

#include "platform/imaging/sample_pixels.h"

namespace KT::Imaging {
namespace {

using Bytes = std::vector<std::uint8_t>;

void Put32(Bytes& b, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

// Headers of a BMP with a 40-byte info header, then `tail` (palette or
// masks, then rows).
Bytes Bmp(int width, int height, int depth, std::uint32_t compression, const Bytes& tail,
          std::uint32_t pixelOffset, std::uint32_t perMetre = 0) {
  Bytes b = {'B', 'M'};
  Put32(b, static_cast<std::uint32_t>(54 + tail.size()));
  Put32(b, 0);
  Put32(b, pixelOffset);
  Put32(b, 40);
  Put32(b, static_cast<std::uint32_t>(width));
  Put32(b, static_cast<std::uint32_t>(height));
  b.push_back(1);
  b.push_back(0);
  b.push_back(static_cast<std::uint8_t>(depth));
  b.push_back(0);
  Put32(b, compression);
  Put32(b, 0);
  Put32(b, perMetre);
  Put32(b, perMetre);
  Put32(b, 0);
  Put32(b, 0);
  b.insert(b.end(), tail.begin(), tail.end());
  return b;
}

using Testing::Sample;

TEST(BmpCodec, RoundTripsAndResolution) {
  for (bool alpha : {false, true}) {
    RgbaPixels image = Sample(5, 3, alpha);
    image.resolutionUnits = kResolutionPerCentimetre;
    image.xResolution = image.yResolution = 37.8;  // 96 dots per inch
    Bytes file;
    ASSERT_TRUE(EncodeBmp(image, alpha, file));
    EXPECT_EQ(file.size(), 54u + 3u * (alpha ? 20 : 16));
    RgbaPixels back;
    ASSERT_TRUE(DecodeBmp(file.data(), file.size(), back));
    EXPECT_EQ(back.rgba, image.rgba);
    EXPECT_EQ(back.matte, alpha);
    EXPECT_EQ(back.resolutionUnits, kResolutionPerCentimetre);
    EXPECT_DOUBLE_EQ(back.xResolution, 37.8);  // 3780 pixels per metre
    for (size_t cut = 0; cut + 1 < file.size() - 1; ++cut) {
      RgbaPixels partial;
      EXPECT_FALSE(DecodeBmp(file.data(), cut, partial)) << cut;
    }
  }
}

TEST(BmpCodec, ThirtyTwoBitsWithoutAlphaAreOpaque) {
  // Fourth bytes all 0: no matte, alpha 255.
  const Bytes file = Bmp(2, -1, 32, 0, {1, 2, 3, 0, 4, 5, 6, 0}, 54);
  RgbaPixels image;
  ASSERT_TRUE(DecodeBmp(file.data(), file.size(), image));
  EXPECT_FALSE(image.matte);
  EXPECT_EQ(image.rgba, (Bytes{3, 2, 1, 255, 6, 5, 4, 255}));
  EXPECT_EQ(image.resolutionUnits, kResolutionUndefined);
  const Bytes withAlpha = Bmp(2, -1, 32, 0, {1, 2, 3, 0, 4, 5, 6, 7}, 54);
  ASSERT_TRUE(DecodeBmp(withAlpha.data(), withAlpha.size(), image));
  EXPECT_TRUE(image.matte);
  EXPECT_EQ(image.rgba, (Bytes{3, 2, 1, 0, 6, 5, 4, 7}));
}

TEST(BmpCodec, PalettesSixteenBitsAndBitfields) {
  // 4 bits, two colours used, bottom-up two rows: indexes (1, 0) on top.
  Bytes pal = {0, 0, 255, 0, 255, 0, 0, 0};  // red, blue (B, G, R, 0)
  Bytes tail = pal;
  tail.insert(tail.end(), {0x01, 0, 0, 0, 0x10, 0, 0, 0});  // bottom row (0, 1), top row (1, 0)
  Bytes file = Bmp(2, 2, 4, 0, tail, 54 + 8);
  file[46] = 2;  // colours used
  RgbaPixels image;
  ASSERT_TRUE(DecodeBmp(file.data(), file.size(), image));
  EXPECT_EQ(image.rgba, (Bytes{0, 0, 255, 255, 255, 0, 0, 255, 255, 0, 0, 255, 0, 0, 255, 255}));
  // An index past the palette reads black.
  Bytes past = Bmp(1, 1, 8, 0, {0, 0, 255, 0, 7, 0, 0, 0}, 54 + 4);
  past[46] = 1;
  ASSERT_TRUE(DecodeBmp(past.data(), past.size(), image));
  EXPECT_EQ(image.rgba, (Bytes{0, 0, 0, 255}));
  // 16-bit 5-5-5 and 5-6-5 bit fields.
  const Bytes five = Bmp(1, 1, 16, 0, {0x00, 0x7C, 0, 0}, 54);
  ASSERT_TRUE(DecodeBmp(five.data(), five.size(), image));
  EXPECT_EQ(image.rgba, (Bytes{255, 0, 0, 255}));
  Bytes masks;
  Put32(masks, 0xF800);
  Put32(masks, 0x07E0);
  Put32(masks, 0x001F);
  masks.insert(masks.end(), {0xE0, 0x07, 0, 0});  // pure green in 5-6-5
  const Bytes six = Bmp(1, 1, 16, 3, masks, 54 + 12);
  ASSERT_TRUE(DecodeBmp(six.data(), six.size(), image));
  EXPECT_EQ(image.rgba, (Bytes{0, 255, 0, 255}));
  // 1 bit per pixel.
  const Bytes mono = Bmp(9, 1, 1, 0, {0, 0, 0, 0, 255, 255, 255, 0, 0xA5, 0x80, 0, 0}, 54 + 8);
  ASSERT_TRUE(DecodeBmp(mono.data(), mono.size(), image));
  const int bits[9] = {1, 0, 1, 0, 0, 1, 0, 1, 1};
  for (int x = 0; x < 9; ++x) EXPECT_EQ(image.rgba[static_cast<size_t>(x) * 4], bits[x] ? 255 : 0) << x;
}

TEST(BmpCodec, HostileFilesAreRefused) {
  const Bytes cases[] = {
      Bmp(0, 1, 24, 0, {0, 0, 0, 0}, 54),
      Bmp(16385, 1, 24, 0, Bytes(16385 * 3 + 1, 0), 54),
      Bmp(4000, 4000, 24, 0, {0, 0, 0, 0}, 54),      // rows the file does not hold
      Bmp(1, 1, 24, 1, {0, 0, 0, 0}, 54),            // RLE8
      Bmp(1, 1, 12, 0, {0, 0, 0, 0}, 54),            // no such depth
      Bmp(1, 1, 24, 0, {0, 0, 0, 0}, 0xFFFFFFF0u),   // pixel offset past the end
      Bmp(1, 1, 8, 0, {0, 0}, 54),                   // palette cut short
      Bytes{'B', 'M', 0, 0},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    RgbaPixels image;
    EXPECT_FALSE(DecodeBmp(cases[i].data(), cases[i].size(), image)) << i;
  }
}

}  // namespace
}  // namespace KT::Imaging
