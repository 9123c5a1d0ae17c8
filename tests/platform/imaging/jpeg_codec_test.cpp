#include "platform/imaging/jpeg_codec.h"

#include <cstdlib>
#include <vector>

#include <gtest/gtest.h>

namespace KT::Imaging {
namespace {

using Bytes = std::vector<std::uint8_t>;

RgbaPixels Smooth(int w, int h) {
  RgbaPixels p;
  p.width = w;
  p.height = h;
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      p.rgba.insert(p.rgba.end(), {static_cast<std::uint8_t>(x * 8), static_cast<std::uint8_t>(y * 8),
                                   static_cast<std::uint8_t>(128), static_cast<std::uint8_t>(7)});
    }
  }
  return p;
}

TEST(JpegCodec, RoundTripWithinTolerance) {
  RgbaPixels image = Smooth(24, 16);
  image.resolutionUnits = kResolutionPerInch;
  image.xResolution = 300;
  image.yResolution = 150;
  Bytes file;
  ASSERT_TRUE(EncodeJpeg(image, 100, file));
  RgbaPixels back;
  ASSERT_TRUE(DecodeJpeg(file.data(), file.size(), back));
  EXPECT_EQ(back.width, 24);
  EXPECT_EQ(back.height, 16);
  EXPECT_FALSE(back.matte);
  EXPECT_EQ(back.resolutionUnits, kResolutionPerInch);
  EXPECT_EQ(back.xResolution, 300);
  EXPECT_EQ(back.yResolution, 150);
  for (size_t i = 0; i < image.rgba.size(); ++i) {
    if (i % 4 == 3) {
      EXPECT_EQ(back.rgba[i], 255);  // alpha dropped
    } else {
      EXPECT_LE(std::abs(back.rgba[i] - image.rgba[i]), 8) << i;  // quality 100, chroma subsampled
    }
  }
  // A lower quality writes fewer bytes.
  Bytes small;
  ASSERT_TRUE(EncodeJpeg(image, 10, small));
  EXPECT_LT(small.size(), file.size());
}

TEST(JpegCodec, TruncatedAndHostileFilesFailCleanly) {
  const RgbaPixels image = Smooth(16, 16);
  Bytes file;
  ASSERT_TRUE(EncodeJpeg(image, 90, file));
  testing::internal::CaptureStderr();
  // Cuts inside the headers fail; libjpeg pads cuts inside the entropy-coded
  // data with a warning, so those either fail or give the full size.
  for (size_t cut = 0; cut < file.size(); ++cut) {
    RgbaPixels partial;
    if (DecodeJpeg(file.data(), cut, partial)) {
      EXPECT_EQ(partial.width, 16) << cut;
      EXPECT_EQ(partial.rgba.size(), 16u * 16 * 4) << cut;
    }
  }
  // A frame header claiming 16385 pixels, or far more than the data codes.
  Bytes wide = file;
  for (size_t i = 0; i + 8 < wide.size(); ++i) {
    if (wide[i] == 0xFF && wide[i + 1] == 0xC0) {
      wide[i + 7] = 0x40;  // width 0x4001
      wide[i + 8] = 0x01;
      break;
    }
  }
  RgbaPixels out;
  EXPECT_FALSE(DecodeJpeg(wide.data(), wide.size(), out));
  testing::internal::GetCapturedStderr();
  const Bytes notJpeg = {0x89, 'P', 'N', 'G'};
  EXPECT_FALSE(DecodeJpeg(notJpeg.data(), notJpeg.size(), out));
}

}  // namespace
}  // namespace KT::Imaging
