#include "platform/imaging/tga_codec.h"

#include <vector>

#include <gtest/gtest.h>

#include "platform/imaging/sample_pixels.h"

namespace KT::Imaging {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Header(int type, int width, int height, int depth, int descriptor, int mapLength = 0, int mapBits = 0) {
  Bytes h(18, 0);
  h[1] = mapLength > 0 ? 1 : 0;
  h[2] = static_cast<std::uint8_t>(type);
  h[5] = static_cast<std::uint8_t>(mapLength);
  h[7] = static_cast<std::uint8_t>(mapBits);
  h[12] = static_cast<std::uint8_t>(width);
  h[13] = static_cast<std::uint8_t>(width >> 8);
  h[14] = static_cast<std::uint8_t>(height);
  h[15] = static_cast<std::uint8_t>(height >> 8);
  h[16] = static_cast<std::uint8_t>(depth);
  h[17] = static_cast<std::uint8_t>(descriptor);
  return h;
}

Bytes Cat(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

using Testing::Sample;

TEST(TgaCodec, RoundTripAt24And32Bits) {
  const RgbaPixels image = Sample(5, 3);
  for (bool alpha : {false, true}) {
    Bytes file;
    ASSERT_TRUE(EncodeTga(image, alpha, file));
    EXPECT_EQ(file[2], 2);
    EXPECT_EQ(file[16], alpha ? 32 : 24);
    EXPECT_EQ(file.size(), 18u + 15u * (alpha ? 4 : 3));
    RgbaPixels back;
    ASSERT_TRUE(DecodeTga(file.data(), file.size(), back));
    EXPECT_EQ(back.matte, alpha);
    EXPECT_EQ(back.width, 5);
    for (size_t i = 0; i < image.rgba.size(); ++i) {
      const std::uint8_t expected = (i % 4 == 3 && !alpha) ? 255 : image.rgba[i];
      ASSERT_EQ(back.rgba[i], expected) << i;
    }
    // Every cut of the file is refused.
    for (size_t cut = 0; cut < file.size(); ++cut) {
      RgbaPixels partial;
      EXPECT_FALSE(DecodeTga(file.data(), cut, partial)) << cut;
    }
  }
}

TEST(TgaCodec, StoredFormsDecode) {
  struct Case {
    const char* name;
    Bytes file;
    Bytes rgba;  // 2 x 1 image, left to right
    bool matte;
  };
  const Case cases[] = {
      // Bottom-up 24-bit (one row, so the order of rows does not show).
      {"bgr24", Cat(Header(2, 2, 1, 24, 0), {1, 2, 3, 4, 5, 6}), {3, 2, 1, 255, 6, 5, 4, 255}, false},
      // Columns mirrored.
      {"mirrored", Cat(Header(2, 2, 1, 24, 0x10), {1, 2, 3, 4, 5, 6}), {6, 5, 4, 255, 3, 2, 1, 255}, false},
      // A1R5G5B5: red with alpha, blue without.
      {"16-bit", Cat(Header(2, 2, 1, 16, 1), {0x00, 0xFC, 0x1F, 0x00}), {255, 0, 0, 255, 0, 0, 255, 0}, true},
      {"grey", Cat(Header(3, 2, 1, 8, 0), {9, 200}), {9, 9, 9, 255, 200, 200, 200, 255}, false},
      {"grey+alpha", Cat(Header(3, 2, 1, 16, 8), {9, 7, 200, 100}), {9, 9, 9, 7, 200, 200, 200, 100}, true},
      {"mapped", Cat(Header(1, 2, 1, 8, 0, 2, 24), {10, 20, 30, 40, 50, 60, 1, 0}), {60, 50, 40, 255, 30, 20, 10, 255}, false},
      // Run-length: one run packet of two pixels.
      {"rle run", Cat(Header(10, 2, 1, 24, 0), {0x81, 1, 2, 3}), {3, 2, 1, 255, 3, 2, 1, 255}, false},
      // Run-length: one raw packet of two pixels, 32 bits with alpha.
      {"rle raw", Cat(Header(10, 2, 1, 32, 8), {0x01, 1, 2, 3, 4, 5, 6, 7, 8}), {3, 2, 1, 4, 7, 6, 5, 8}, true},
  };
  for (const Case& c : cases) {
    RgbaPixels image;
    ASSERT_TRUE(DecodeTga(c.file.data(), c.file.size(), image)) << c.name;
    EXPECT_EQ(image.rgba, c.rgba) << c.name;
    EXPECT_EQ(image.matte, c.matte) << c.name;
  }
  // Two rows bottom-up: the first stored row is the bottom one.
  const Bytes rows = Cat(Header(3, 1, 2, 8, 0), {1, 2});
  RgbaPixels two;
  ASSERT_TRUE(DecodeTga(rows.data(), rows.size(), two));
  EXPECT_EQ(two.rgba[0], 2);
  EXPECT_EQ(two.rgba[4], 1);
}

TEST(TgaCodec, HostileFilesAreRefused) {
  const Bytes cases[] = {
      Header(2, 0, 1, 24, 0),                                   // no width
      Cat(Header(2, 16385, 1, 24, 0), Bytes(16385 * 3, 0)),     // side above 16384
      Header(2, 4000, 4000, 24, 0),                             // pixels the file does not hold
      Cat(Header(10, 4000, 4000, 24, 0), {0xFF, 1, 2, 3}),      // one run cannot fill it
      Cat(Header(2, 1, 1, 12, 0), {1, 2}),                      // unsupported depth
      Cat(Header(5, 1, 1, 24, 0), {1, 2, 3}),                   // unknown type
      Cat(Header(1, 1, 1, 8, 0, 1, 24), {1, 2, 3, 5}),          // index beyond the map
      Cat(Header(1, 1, 1, 8, 0), {0}),                          // mapped without a map
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    RgbaPixels image;
    EXPECT_FALSE(DecodeTga(cases[i].data(), cases[i].size(), image)) << i;
  }
  RgbaPixels empty;
  Bytes out;
  EXPECT_FALSE(EncodeTga(empty, true, out));
}

}  // namespace
}  // namespace KT::Imaging
