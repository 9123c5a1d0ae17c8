#include "platform/imaging/tiff_codec.h"

#include <tiffio.h>

#include <vector>

#include <gtest/gtest.h>

#include "platform/imaging/sample_pixels.h"

namespace KT::Imaging {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Testing::Sample;

TEST(TiffCodec, RoundTripsWithAndWithoutAlphaAndResolution) {
  for (bool alpha : {false, true}) {
    RgbaPixels image = Sample(9, 6);
    image.resolutionUnits = kResolutionPerInch;
    image.xResolution = 72;
    image.yResolution = 144;
    Bytes file;
    ASSERT_TRUE(EncodeTiff(image, alpha, file));
    ASSERT_TRUE(IsTiff(file.data(), file.size()));
    RgbaPixels back;
    ASSERT_TRUE(DecodeTiff(file.data(), file.size(), back));
    EXPECT_EQ(back.matte, alpha);
    EXPECT_EQ(back.width, 9);
    EXPECT_EQ(back.height, 6);
    EXPECT_EQ(back.resolutionUnits, kResolutionPerInch);
    EXPECT_DOUBLE_EQ(back.xResolution, 72);
    EXPECT_DOUBLE_EQ(back.yResolution, 144);
    for (size_t i = 0; i < image.rgba.size(); ++i) {
      ASSERT_EQ(back.rgba[i], (i % 4 == 3 && !alpha) ? 255 : image.rgba[i]) << i;
    }
  }
}

TEST(TiffCodec, NoResolutionGivesUnitsZero) {
  RgbaPixels image = Sample(2, 2);
  Bytes file;
  ASSERT_TRUE(EncodeTiff(image, false, file));
  RgbaPixels back;
  ASSERT_TRUE(DecodeTiff(file.data(), file.size(), back));
  EXPECT_EQ(back.resolutionUnits, kResolutionUndefined);
}

TEST(TiffCodec, TruncatedMutatedAndOversizedFilesFailCleanly) {
  const RgbaPixels image = Sample(8, 8);
  Bytes file;
  ASSERT_TRUE(EncodeTiff(image, true, file));
  testing::internal::CaptureStderr();
  for (size_t cut = 0; cut < file.size(); ++cut) {
    RgbaPixels partial;
    EXPECT_FALSE(DecodeTiff(file.data(), cut, partial)) << cut;
  }
  // Every byte flipped in turn: decoding may succeed or fail, never crash.
  for (size_t at = 0; at < file.size(); ++at) {
    Bytes mutated = file;
    mutated[at] ^= 0xA5;
    RgbaPixels any;
    (void)DecodeTiff(mutated.data(), mutated.size(), any);
  }
  // A width above 16384 is refused.
  RgbaPixels wide = Sample(1, 1);
  Bytes small;
  ASSERT_TRUE(EncodeTiff(wide, false, small));
  bool patched = false;
  // Little-endian IFD: find the width entry (tag 256, type 3 or 4, count 1).
  const std::uint32_t ifd = small[4] | (small[5] << 8) | (small[6] << 16) | (small[7] << 24);
  const int entries = small[ifd] | (small[ifd + 1] << 8);
  for (int e = 0; e < entries; ++e) {
    std::uint8_t* entry = &small[ifd + 2 + 12 * static_cast<size_t>(e)];
    if ((entry[0] | (entry[1] << 8)) == TIFFTAG_IMAGEWIDTH) {
      entry[8] = 0x01;
      entry[9] = 0x50;  // 20481
      patched = true;
    }
  }
  ASSERT_TRUE(patched);
  RgbaPixels refused;
  EXPECT_FALSE(DecodeTiff(small.data(), small.size(), refused));
  testing::internal::GetCapturedStderr();
}

}  // namespace
}  // namespace KT::Imaging
