#include "render/images/rgbe_codec.h"

#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace KT {
namespace {

const std::string kHeader = "#?RADIANCE\nFORMAT=32-bit_rle_rgbe\n\n";

std::string Encode(KTImage& image) {
  CBuffer<char> out;
  EXPECT_EQ(EncodeRgbe(image, kImageFormatHdr, out), kOk);
  return std::string(out.GetData(), out.GetData() + out.GetCount());
}

void SetPixel(KTImage& image, i32 x, i32 y, float r, float g, float b) {
  const float rgb[3] = {r, g, b};
  std::memcpy(image.Pixels + y * image.Stride + x * 12, rgb, sizeof rgb);
}

std::vector<float> PixelOf(const KTImage& image, i32 x, i32 y) {
  float rgb[3];
  std::memcpy(rgb, image.Pixels + y * image.Stride + x * 12, sizeof rgb);
  return {rgb[0], rgb[1], rgb[2]};
}

Result Decode(const std::string& bytes, KTImage& image, RgbeHeaderInfo* info = nullptr) {
  return DecodeRgbe(bytes.data(), static_cast<u32>(bytes.size()), kImageFormatHdr, image, info);
}

TEST(RgbeCodec, ColourConversionBothWays) {
  u8 rgbe[4];
  FloatToRgbe(1.0f, 0.5f, 0.25f, rgbe);
  EXPECT_EQ(std::vector<u8>(rgbe, rgbe + 4), (std::vector<u8>{128, 64, 32, 129}));
  float r, g, b;
  RgbeToFloat(rgbe, r, g, b);
  EXPECT_EQ(r, 1.0f);
  EXPECT_EQ(g, 0.5f);
  EXPECT_EQ(b, 0.25f);
  FloatToRgbe(1e-33f, 0, 0, rgbe);
  EXPECT_EQ(std::vector<u8>(rgbe, rgbe + 4), (std::vector<u8>{0, 0, 0, 0}));
  const u8 zero[4] = {200, 200, 200, 0};
  RgbeToFloat(zero, r, g, b);
  EXPECT_EQ(r, 0.0f);
  // No half-step offset: f = 2^(E - 136).
  const u8 one[4] = {1, 0, 0, 136};
  RgbeToFloat(one, r, g, b);
  EXPECT_EQ(r, 1.0f);
}

TEST(RgbeCodec, OnePixelIsWrittenAndReadFlat) {
  KTImage image;
  ASSERT_EQ(PixelBuffer::Create(image, PixelLayout::kRgbFloat, 1, 1), kOk);
  SetPixel(image, 0, 0, 1.0f, 0.5f, 0.25f);
  const std::string bytes = Encode(image);
  EXPECT_EQ(bytes, kHeader + "-Y 1 +X 1\n" + std::string("\x80\x40\x20\x81", 4));
  KTImage back;
  ASSERT_EQ(Decode(bytes, back), kOk);
  EXPECT_EQ(back.Layout, PixelLayout::kRgbFloat);
  EXPECT_EQ(PixelOf(back, 0, 0), (std::vector<float>{1.0f, 0.5f, 0.25f}));
}

TEST(RgbeCodec, ConstantScanlineOfEightIsFourRunPackets) {
  KTImage image;
  ASSERT_EQ(PixelBuffer::Create(image, PixelLayout::kRgbFloat, 8, 1), kOk);
  for (i32 x = 0; x < 8; ++x) SetPixel(image, x, 0, 1.0f, 0.5f, 0.25f);
  const std::string bytes = Encode(image);
  const std::string expected = kHeader + "-Y 1 +X 8\n" +
                               std::string("\x02\x02\x00\x08\x88\x80\x88\x40\x88\x20\x88\x81", 12);
  EXPECT_EQ(bytes, expected);
}

TEST(RgbeCodec, RunAndLiteralPackets) {
  struct Case {
    std::vector<u8> red;
    std::vector<u8> plane;  // expected packets of the red plane
  };
  const Case cases[] = {
      // Literals before a long run; literals at the end.
      {{130, 131, 140, 140, 150, 150, 150, 150, 150, 160, 170, 170},
       {4, 130, 131, 140, 140, 133, 150, 3, 160, 170, 170}},
      // A lone short run before a long run is a run packet.
      {{140, 140, 150, 150, 150, 150, 160, 161, 162, 163}, {130, 140, 132, 150, 4, 160, 161, 162, 163}},
      {{140, 140, 140, 150, 150, 150, 150, 150, 160, 161}, {131, 140, 133, 150, 2, 160, 161}},
  };
  for (const Case& c : cases) {
    const i32 width = static_cast<i32>(c.red.size());
    KTImage image;
    ASSERT_EQ(PixelBuffer::Create(image, PixelLayout::kRgbFloat, width, 1), kOk);
    // k / 256 stores the mantissa byte k with exponent 128 and G = B = 0.
    for (i32 x = 0; x < width; ++x) SetPixel(image, x, 0, c.red[static_cast<size_t>(x)] / 256.0f, 0, 0);
    const std::string bytes = Encode(image);
    const std::string head = kHeader + "-Y 1 +X " + std::to_string(width) + "\n";
    ASSERT_GT(bytes.size(), head.size() + 4);
    const std::string pixels = bytes.substr(head.size() + 4);
    EXPECT_EQ(std::vector<u8>(pixels.begin(), pixels.begin() + static_cast<long>(c.plane.size())), c.plane);
    KTImage back;
    ASSERT_EQ(Decode(bytes, back), kOk);
    for (i32 x = 0; x < width; ++x) EXPECT_EQ(PixelOf(back, x, 0)[0], c.red[static_cast<size_t>(x)] / 256.0f);
  }
}

TEST(RgbeCodec, LongRowsRoundTripExactlyInTheStoredPrecision) {
  for (i32 width : {7, 8, 200, 300, 32768}) {
    KTImage image;
    const i32 height = width > 1000 ? 1 : 5;
    ASSERT_EQ(PixelBuffer::Create(image, PixelLayout::kRgbFloat, width, height), kOk);
    for (i32 y = 0; y < height; ++y) {
      for (i32 x = 0; x < width; ++x) {
        const float v = static_cast<float>(((x / 3) * 7 + y) % 256) / 256.0f;
        SetPixel(image, x, y, v * 4, v, 0.0f);
      }
    }
    const std::string bytes = Encode(image);
    if (width < 8 || width > 32767) {
      EXPECT_EQ(bytes.size(), kHeader.size() + ("-Y " + std::to_string(height) + " +X " + std::to_string(width) + "\n").size() +
                                  static_cast<size_t>(width) * height * 4);
    }
    KTImage back;
    ASSERT_EQ(Decode(bytes, back), kOk) << width;
    ASSERT_EQ(back.Width, width);
    // Encoding what was decoded gives the same bytes.
    EXPECT_EQ(Encode(back), bytes) << width;
  }
}

TEST(RgbeCodec, HeaderValuesAreReadAndNotWrittenBack) {
  const std::string file = "#?RGBE_TOOL extra\nGAMMA=2.2\nEXPOSURE=0.5\nSOFTWARE=x\nFORMAT=32-bit_rle_rgbe\n\n"
                           "-Y 1 +X 1\n" + std::string("\x80\x40\x20\x81", 4);
  KTImage image;
  RgbeHeaderInfo info;
  ASSERT_EQ(Decode(file, image, &info), kOk);
  EXPECT_STREQ(info.programType, "RGBE_TOOL");
  EXPECT_EQ(info.valid, RgbeHeaderInfo::kProgramType | RgbeHeaderInfo::kGamma | RgbeHeaderInfo::kExposure);
  EXPECT_FLOAT_EQ(info.gamma, 2.2f);
  EXPECT_FLOAT_EQ(info.exposure, 0.5f);
  EXPECT_EQ(Encode(image), kHeader + "-Y 1 +X 1\n" + std::string("\x80\x40\x20\x81", 4));
}

TEST(RgbeCodec, FlatFallbackMidImage) {
  // Width 8 would be run-length encoded, but the first scanline starts
  // with a pixel: the whole image is read flat.
  std::string file = kHeader + "-Y 2 +X 8\n";
  for (int i = 0; i < 16; ++i) file += std::string("\x80\x00\x00\x81", 4);
  KTImage image;
  ASSERT_EQ(Decode(file, image), kOk);
  for (i32 y = 0; y < 2; ++y) {
    for (i32 x = 0; x < 8; ++x) EXPECT_EQ(PixelOf(image, x, y), (std::vector<float>{1.0f, 0, 0})) << x << "," << y;
  }
  // The same after one run-length scanline.
  std::string mixed = kHeader + "-Y 2 +X 8\n" + std::string("\x02\x02\x00\x08\x88\x80\x88\x00\x88\x00\x88\x81", 12);
  for (int i = 0; i < 8; ++i) mixed += std::string("\x80\x80\x00\x81", 4);
  KTImage second;
  ASSERT_EQ(Decode(mixed, second), kOk);
  EXPECT_EQ(PixelOf(second, 7, 0), (std::vector<float>{1.0f, 0, 0}));
  EXPECT_EQ(PixelOf(second, 7, 1), (std::vector<float>{1.0f, 1.0f, 0}));
}

TEST(RgbeCodec, RefusalsAndTheirMessages) {
  struct Case {
    std::string file;
    Result result;
    const char* message;
  };
  const std::string size8 = "-Y 1 +X 8\n";
  const Case cases[] = {
      {"#?RADIANCE\nGAMMA=1\n\n-Y 1 +X 1\n....", kErrTreeData, "RGBE bad file format: no FORMAT specifier found"},
      {"#?RADIANCE\nFORMAT=32-bit_rle_rgbe\n\n", kErrTreeData, "RGBE read error"},
      {"#?RADIANCE\nFORMAT=32-bit_rle_rgbe\n\n+Y 1 +X 1\n", kErrTreeData, "RGBE read error"},
      {kHeader + size8 + std::string("\x02\x02\x00\x09", 4) + std::string(40, '\x01'), kErrTreeData,
       "RGBE bad file format: wrong scanline width"},
      {kHeader + size8 + std::string("\x02\x02\x00\x08\x00", 5) + std::string(40, '\x01'), kErrTreeData,
       "RGBE bad file format: bad scanline data"},
      {kHeader + size8 + std::string("\x02\x02\x00\x08\x89\x01", 6) + std::string(40, '\x01'), kErrTreeData,
       "RGBE bad file format: bad scanline data"},
      {kHeader + size8 + std::string("\x02\x02\x00\x08\x09", 5) + std::string(40, '\x01'), kErrTreeData,
       "RGBE bad file format: bad scanline data"},
      {kHeader + "-Y 0 +X 4\n", kErrTreeData, "RGBE bad file format"},
      // Claimed sizes that the bytes left cannot hold: refused before any
      // pixel memory is allocated.
      {kHeader + "-Y 100000 +X 30000\n" + std::string(64, '\x02'), kErrTreeData, "RGBE read error"},
      {kHeader + "-Y 2000000000 +X 4\n" + std::string(64, '\x02'), kErrTreeData, "RGBE read error"},
  };
  for (const Case& c : cases) {
    KTImage image;
    testing::internal::CaptureStderr();
    EXPECT_EQ(Decode(c.file, image), c.result) << c.file;
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find(c.message), std::string::npos) << err;
    if (c.file.find("100000") != std::string::npos || c.file.find("2000000000") != std::string::npos) {
      EXPECT_EQ(image.Width, 0);  // nothing was created
    }
  }
  KTImage image;
  EXPECT_EQ(DecodeRgbe("x", 1, 3, image), kErrInvalidArg);
  EXPECT_EQ(DecodeRgbe("x", 0, kImageFormatHdr, image), kErrInvalidArg);
  CBuffer<char> out;
  EXPECT_EQ(EncodeRgbe(image, 2, out), kErrInvalidArg);
  EXPECT_EQ(EncodeRgbe(image, kImageFormatHdr, out), kErrInvalidArg);  // no pixels
}

TEST(RgbeCodec, EveryTruncationFailsCleanly) {
  for (i32 width : {3, 16}) {
    KTImage image;
    ASSERT_EQ(PixelBuffer::Create(image, PixelLayout::kRgbFloat, width, 4), kOk);
    for (i32 y = 0; y < 4; ++y) {
      for (i32 x = 0; x < width; ++x) SetPixel(image, x, y, static_cast<float>(x % 5), 0.5f, static_cast<float>(y));
    }
    const std::string bytes = Encode(image);
    testing::internal::CaptureStderr();
    for (size_t cut = 0; cut < bytes.size(); ++cut) {
      KTImage partial;
      const Result r = DecodeRgbe(bytes.data(), static_cast<u32>(cut), kImageFormatHdr, partial);
      EXPECT_TRUE(Failed(r)) << "width " << width << " cut " << cut;
    }
    testing::internal::GetCapturedStderr();
    KTImage whole;
    EXPECT_EQ(Decode(bytes, whole), kOk);
  }
}

TEST(RgbeCodec, MappedBuffersAreMappedForTheCodec) {
  KTImage image;
  image.Storage = PixelStorage::kMapped;
  const std::string file = kHeader + "-Y 1 +X 1\n" + std::string("\x80\x40\x20\x81", 4);
  ASSERT_EQ(Decode(file, image), kOk);
  EXPECT_EQ(image.MapCount, 0);
  EXPECT_EQ(Encode(image), file);
}

}  // namespace
}  // namespace KT
