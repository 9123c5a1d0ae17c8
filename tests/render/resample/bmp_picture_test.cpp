#include "render/resample/bmp_picture.h"

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "render/resample/little_endian.h"
#include "support/temp_folder.h"

namespace KT::Resample {
namespace {

using Bytes = std::vector<std::uint8_t>;

using TestBytes::Put16;
using TestBytes::Put32;

// A BMP file: headers (info header of `infoSize` bytes), palette, rows as
// given (already padded), stored bottom-up unless `height` is negative.
Bytes MakeBmp(int width, int height, int depth, const std::vector<std::uint32_t>& palette, const Bytes& rows,
              std::uint32_t infoSize = 40, std::uint32_t compression = 0) {
  Bytes b = {'B', 'M'};
  const std::uint32_t offset = 14 + infoSize + static_cast<std::uint32_t>(palette.size()) * 4;
  Put32(b, offset + static_cast<std::uint32_t>(rows.size()));
  Put32(b, 0);
  Put32(b, offset);
  Put32(b, infoSize);
  Put32(b, static_cast<std::uint32_t>(width));
  Put32(b, static_cast<std::uint32_t>(height));
  Put16(b, 1);
  Put16(b, static_cast<unsigned>(depth));
  Put32(b, compression);
  for (int i = 0; i < 5; ++i) Put32(b, 0);
  b.resize(14 + infoSize, 0xEE);  // a longer header's surplus
  for (std::uint32_t entry : palette) Put32(b, entry);
  b.insert(b.end(), rows.begin(), rows.end());
  return b;
}

class BmpFiles : public testing::Test {
 protected:
  std::string Write(const std::string& name, const Bytes& bytes) {
    const std::string path = folder_.Native(name);
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                 static_cast<std::streamsize>(bytes.size()));
    return path;
  }
  Bytes Row(BmpPicture& p, int y, int width) {
    Bytes rgba(static_cast<size_t>(width) * 4, 0xAA);
    p.ReadRowRgba(y, 0, width, rgba.data());
    return rgba;
  }
  Testing::TempFolder folder_;
};

TEST(BmpPictureMemory, ThreeBytesPerPixelSurviveReadThenWrite) {
  const Bytes pixels = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};  // 2 x 2, B G R
  BmpPicture source(2, 2, 3, pixels.data(), 0, PictureMode::kRead);
  BmpPicture destination(2, 2, 3, nullptr, 0, PictureMode::kWrite);
  Bytes rgba(8);
  for (int y = 0; y < 2; ++y) {
    source.ReadRowRgba(y, 0, 2, rgba.data());
    if (y == 0) {
      EXPECT_EQ(rgba, (Bytes{3, 2, 1, 255, 6, 5, 4, 255}));
    }
    destination.WriteRowRgba(y, 0, 2, rgba.data());
  }
  Bytes back(12);
  CopyBack(destination, back.data(), 2, 2, 3, 0);
  EXPECT_EQ(back, pixels);
  // Wrong mode or channel count: nothing happens.
  Bytes untouched(8, 0x55);
  destination.ReadRowRgba(0, 0, 2, untouched.data());
  EXPECT_EQ(untouched, Bytes(8, 0x55));
  BmpPicture four(1, 1, 4, nullptr, 0, PictureMode::kRead);
  four.ReadRowRgba(0, 0, 1, untouched.data());
  EXPECT_EQ(untouched, Bytes(8, 0x55));
}

TEST(BmpPictureMemory, SinglePixelOperationsOnlyPrint) {
  BmpPicture p(1, 1, 3, nullptr, 0, PictureMode::kRead);
  std::uint8_t rgba[4];
  testing::internal::CaptureStderr();
  p.WritePixel(0, 0, 1);
  p.WritePixelRgba(0, 0, rgba);
  p.ReadPixel(0, 0);
  p.ReadPixelRgba(0, 0, rgba);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "?picbmp_write_pixel\n?picbmp_write_pixel_rgba\n?picbmp_read_pixel\n?picbmp_read_pixel_rgba\n");
}

TEST_F(BmpFiles, EveryBitDepthReads) {
  // 3 x 2 images; the expected top row is red, green, blue; bottom row white, black, grey.
  const std::vector<std::uint32_t> palette = {0x00FF0000, 0x0000FF00, 0x000000FF, 0x00FFFFFF};
  struct Case {
    int depth;
    std::vector<std::uint32_t> palette;
    Bytes rows;  // bottom row first
  };
  const Case cases[] = {
      {24, {}, {255, 255, 255, 0, 0, 0, 128, 128, 128, 0, 0, 0, 0, 0, 255, 0, 255, 0, 255, 0, 0, 0, 0, 0}},
      {32, {}, {255, 255, 255, 9, 0, 0, 0, 9, 128, 128, 128, 9, 0, 0, 255, 9, 0, 255, 0, 9, 255, 0, 0, 9}},
      // 16-bit: red 0x7C00, green 0x03E0, blue 0x001F, white 0x7FFF, grey 16 -> 132.
      {16, {}, {0xFF, 0x7F, 0, 0, 0x10, 0x42, 0, 0, 0x00, 0x7C, 0xE0, 0x03, 0x1F, 0x00, 0, 0}},
      {8, {0x00FF0000, 0x0000FF00, 0x000000FF, 0x00FFFFFF, 0, 0x00808080}, {3, 4, 5, 0, 0, 1, 2, 0}},
      {4, {0x00FF0000, 0x0000FF00, 0x000000FF, 0x00FFFFFF, 0, 0x00808080}, {0x34, 0x50, 0, 0, 0x01, 0x20, 0, 0}},
  };
  for (const Case& c : cases) {
    std::vector<std::uint32_t> pal = c.palette;
    if (c.depth == 8) pal.resize(256, 0);
    if (c.depth == 4) pal.resize(16, 0);
    std::string name = "depth";
    name += std::to_string(c.depth);
    name += ".bmp";
    const std::string path = Write(name, MakeBmp(3, 2, c.depth, pal, c.rows));
    auto picture = OpenFilePicture("bmp", path.c_str(), "r");
    ASSERT_NE(picture, nullptr) << c.depth;
    auto& p = static_cast<BmpPicture&>(*picture);
    EXPECT_EQ(p.GetChannelCount(), 3);
    int x0, y0, w, h;
    p.GetWindow(x0, y0, w, h);
    EXPECT_EQ(w, 3);
    EXPECT_EQ(h, 2);
    EXPECT_EQ(Row(p, 0, 3), (Bytes{255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255})) << c.depth;
    const std::uint8_t grey = c.depth == 16 ? 132 : 128;
    EXPECT_EQ(Row(p, 1, 3), (Bytes{255, 255, 255, 255, 0, 0, 0, 255, grey, grey, grey, 255})) << c.depth;
  }
  // 1 and 2 bits per pixel, top-down (negative height).
  const std::string one = Write("d1.bmp", MakeBmp(9, -1, 1, {0, 0x00FFFFFF}, {0xA5, 0x80, 0, 0}));
  auto p1 = OpenFilePicture("bmp", one.c_str(), "r");
  ASSERT_NE(p1, nullptr);
  Bytes rgba(9 * 4);
  p1->ReadRowRgba(0, 0, 9, rgba.data());
  const int bits[9] = {1, 0, 1, 0, 0, 1, 0, 1, 1};
  for (int x = 0; x < 9; ++x) EXPECT_EQ(rgba[static_cast<size_t>(x) * 4], bits[x] ? 255 : 0) << x;
  const std::string two = Write("d2.bmp", MakeBmp(4, -1, 2, {0, 0x00101010, 0x00202020, 0x00303030}, {0x1B, 0, 0, 0}));
  auto p2 = OpenFilePicture("bmp", two.c_str(), "r");
  ASSERT_NE(p2, nullptr);
  p2->ReadRowRgba(0, 0, 4, rgba.data());
  EXPECT_EQ((Bytes{rgba[0], rgba[4], rgba[8], rgba[12]}), (Bytes{0x00, 0x10, 0x20, 0x30}));
}

TEST_F(BmpFiles, LongerInfoHeaderIsSkipped) {
  const Bytes rows = {1, 2, 3, 0};
  const std::string path = Write("v5.bmp", MakeBmp(1, 1, 24, {}, rows, 124));
  auto p = OpenFilePicture("bmp", path.c_str(), "r");
  ASSERT_NE(p, nullptr);
  Bytes rgba(4);
  p->ReadRowRgba(0, 0, 1, rgba.data());
  EXPECT_EQ(rgba, (Bytes{3, 2, 1, 255}));
}

TEST_F(BmpFiles, RefusalsPrintTheirMessage) {
  struct Case {
    Bytes file;
    std::string message;
  };
  const Case cases[] = {
      {MakeBmp(1, 1, 24, {}, {1, 2, 3, 0}, 40, 1), "is compressed; only BI_RGB supported."},
      {MakeBmp(1, 1, 12, {}, {1, 2, 3, 0}), "has unsupported bit depth 12"},
      {Bytes{'X', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, "doesn't begin with 'BM'."},
      // Rows the file does not hold: refused before they are allocated.
      {MakeBmp(100000, 100000, 24, {}, {1, 2, 3, 0}), ": read header failed."},
      {MakeBmp(0, 1, 24, {}, {1, 2, 3, 0}), ": read header failed."},
  };
  int n = 0;
  for (const Case& c : cases) {
    const std::string path = Write("bad" + std::to_string(n++) + ".bmp", c.file);
    testing::internal::CaptureStderr();
    EXPECT_EQ(OpenFilePicture("bmp", path.c_str(), "r"), nullptr);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find(path + (c.message[0] == ':' ? "" : " ") + c.message), std::string::npos) << err;
  }
  testing::internal::CaptureStderr();
  EXPECT_EQ(OpenFilePicture("bmp", folder_.Native("missing.bmp").c_str(), "r"), nullptr);
  EXPECT_NE(testing::internal::GetCapturedStderr().find("read header failed."), std::string::npos);
}

TEST_F(BmpFiles, WrittenFileReadsBackAndEveryTruncationFails) {
  const std::string path = folder_.Native("out.bmp");
  {
    auto out = OpenFilePicture("bmp", path.c_str(), "w");
    ASSERT_NE(out, nullptr);
    out->SetChannelCount(3);
    out->SetWindow(0, 0, 3, 3);
    const Bytes row = {10, 20, 30, 0, 40, 50, 60, 0, 70, 80, 90, 0};
    out->WriteRowRgba(0, 0, 3, row.data());
    out->WriteRowRgba(2, 0, 3, row.data());  // row 1 is written as zeros first
  }
  std::ifstream in(path, std::ios::binary);
  const Bytes file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_EQ(file.size(), 54u + 3 * 12);
  EXPECT_EQ(file[2] | (file[3] << 8), 54 + 36);
  EXPECT_EQ(static_cast<std::int32_t>(file[22] | (file[23] << 8) | (file[24] << 16) | (file[25] << 24)), -3);
  auto back = OpenFilePicture("bmp", path.c_str(), "r");
  ASSERT_NE(back, nullptr);
  auto& p = static_cast<BmpPicture&>(*back);
  EXPECT_EQ(Row(p, 0, 3), (Bytes{10, 20, 30, 255, 40, 50, 60, 255, 70, 80, 90, 255}));
  EXPECT_EQ(Row(p, 1, 3), (Bytes{0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255}));
  EXPECT_EQ(Row(p, 2, 3), Row(p, 0, 3));
  // Rows outside the picture read as black.
  EXPECT_EQ(Row(p, 3, 1), (Bytes{0, 0, 0, 255}));
  // Every cut before the last row's pixels fails; a cut that only drops
  // the last row's padding reads the same pixels.
  const size_t complete = 54 + 2 * 12 + 9;
  testing::internal::CaptureStderr();
  for (size_t cut = 0; cut < file.size(); ++cut) {
    const std::string part = Write("cut.bmp", Bytes(file.begin(), file.begin() + static_cast<long>(cut)));
    auto partial = OpenFilePicture("bmp", part.c_str(), "r");
    if (cut < complete) {
      EXPECT_EQ(partial, nullptr) << cut;
    } else {
      ASSERT_NE(partial, nullptr) << cut;
      EXPECT_EQ(Row(static_cast<BmpPicture&>(*partial), 2, 3), Row(p, 2, 3));
    }
  }
  testing::internal::GetCapturedStderr();
}


TEST_F(BmpFiles, DashNameReadsStandardInput) {
  const std::string path = Write("stdin.bmp", MakeBmp(1, 1, 24, {}, {7, 8, 9, 0}));
  // Standard input of the test process is pointed at the file first.
  ASSERT_NE(std::freopen(path.c_str(), "rb", stdin), nullptr);
  auto p = OpenFilePicture("bmp", "-.bmp", "r");
  ASSERT_NE(p, nullptr);
  Bytes rgba(4);
  p->ReadRowRgba(0, 0, 1, rgba.data());
  EXPECT_EQ(rgba, (Bytes{9, 8, 7, 255}));
}

}  // namespace
}  // namespace KT::Resample
