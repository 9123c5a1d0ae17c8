#include "render/resample/gif_picture.h"

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

// Packs codes of the given widths least-significant bit first into data
// sub-blocks, after the minimum code size byte.
Bytes PackCodes(int minCodeSize, const std::vector<std::pair<int, int>>& codes) {
  Bytes data;
  std::uint32_t buffer = 0;
  int bits = 0;
  for (auto [code, width] : codes) {
    buffer |= static_cast<std::uint32_t>(code) << bits;
    bits += width;
    while (bits >= 8) {
      data.push_back(static_cast<std::uint8_t>(buffer));
      buffer >>= 8;
      bits -= 8;
    }
  }
  if (bits > 0) data.push_back(static_cast<std::uint8_t>(buffer));
  Bytes out = {static_cast<std::uint8_t>(minCodeSize)};
  for (size_t at = 0; at < data.size(); at += 255) {
    const size_t n = std::min<size_t>(255, data.size() - at);
    out.push_back(static_cast<std::uint8_t>(n));
    out.insert(out.end(), data.begin() + static_cast<long>(at), data.begin() + static_cast<long>(at + n));
  }
  out.push_back(0);
  return out;
}

// Index data without compression: literal codes, a clear code before the
// table would widen the codes.
Bytes Uncompressed(int minCodeSize, const Bytes& indexes) {
  const int clear = 1 << minCodeSize;
  const int width = minCodeSize + 1;
  const int perClear = clear - 2;
  std::vector<std::pair<int, int>> codes;
  for (size_t i = 0; i < indexes.size(); ++i) {
    if (i % static_cast<size_t>(perClear) == 0) codes.push_back({clear, width});
    codes.push_back({indexes[i], width});
  }
  codes.push_back({clear + 1, width});
  return PackCodes(minCodeSize, codes);
}

Bytes Screen(int width, int height, const Bytes& globalTable, bool gif89 = true) {
  Bytes b = {'G', 'I', 'F', '8', static_cast<std::uint8_t>(gif89 ? '9' : '7'), 'a'};
  Put16(b, static_cast<unsigned>(width));
  Put16(b, static_cast<unsigned>(height));
  if (globalTable.empty()) {
    b.push_back(0);
  } else {
    int bits = 0;
    while ((2u << bits) * 3 < globalTable.size()) ++bits;
    b.push_back(static_cast<std::uint8_t>(0x80 | bits));
  }
  b.push_back(1);  // background index
  b.push_back(0);
  b.insert(b.end(), globalTable.begin(), globalTable.end());
  return b;
}

void Image(Bytes& b, int left, int top, int width, int height, const Bytes& indexes, bool interlaced = false,
           const Bytes& localTable = {}) {
  b.push_back(0x2C);
  Put16(b, static_cast<unsigned>(left));
  Put16(b, static_cast<unsigned>(top));
  Put16(b, static_cast<unsigned>(width));
  Put16(b, static_cast<unsigned>(height));
  std::uint8_t packed = interlaced ? 0x40 : 0;
  if (!localTable.empty()) {
    int bits = 0;
    while ((2u << bits) * 3 < localTable.size()) ++bits;
    packed = static_cast<std::uint8_t>(packed | 0x80 | bits);
  }
  b.push_back(packed);
  b.insert(b.end(), localTable.begin(), localTable.end());
  const Bytes data = Uncompressed(2, indexes);
  b.insert(b.end(), data.begin(), data.end());
}

void Control(Bytes& b, int disposal, int delay, int transparent, bool userInput = false) {
  const Bytes ext = {0x21, 0xF9, 4,
                     static_cast<std::uint8_t>((disposal << 2) | (userInput ? 2 : 0) | (transparent >= 0 ? 1 : 0)),
                     static_cast<std::uint8_t>(delay), static_cast<std::uint8_t>(delay >> 8),
                     static_cast<std::uint8_t>(transparent >= 0 ? transparent : 0), 0};
  b.insert(b.end(), ext.begin(), ext.end());
}

const Bytes kColours = {255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 255};  // red, green, blue, white

TEST(GifDecode, ImagesTextAndControlValues) {
  Bytes file = Screen(4, 2, kColours);
  Control(file, 2, 150, 3, true);
  // A plain-text block keeps the control values, then they reset.
  const Bytes text = {0x21, 0x01, 12, 1, 0, 2, 0, 3, 0, 4, 0, 5, 6, 7, 8, 3, 'a', 'b', 'c', 0};
  file.insert(file.end(), text.begin(), text.end());
  Image(file, 0, 0, 4, 2, {0, 1, 2, 3, 3, 2, 1, 0});
  const Bytes comment = {0x21, 0xFE, 2, 'h', 'i', 1, '!', 0};
  file.insert(file.end(), comment.begin(), comment.end());
  file.push_back(0x3B);
  GifFile gif;
  ASSERT_TRUE(DecodeGif(file.data(), file.size(), gif));
  EXPECT_EQ(gif.screenWidth, 4);
  EXPECT_EQ(gif.background, 1);
  ASSERT_EQ(gif.records.size(), 3u);
  const GifRecord& t = gif.records[0];
  EXPECT_EQ(t.kind, GifRecord::kPlainText);
  EXPECT_EQ(t.delay, 150);
  EXPECT_EQ(t.disposal, 2);
  EXPECT_EQ(t.transparent, 3);
  EXPECT_EQ(t.userInput, 1);
  EXPECT_EQ(t.left, 1);
  EXPECT_EQ(t.width, 3);
  EXPECT_EQ(t.cellWidth, 5);
  EXPECT_EQ(t.background, 8);
  EXPECT_EQ(t.data, (Bytes{'a', 'b', 'c'}));
  const GifRecord& image = gif.records[1];
  EXPECT_EQ(image.kind, GifRecord::kImage);
  EXPECT_EQ(image.delay, 0);
  EXPECT_EQ(image.transparent, -1);
  EXPECT_EQ(image.disposal, 0);
  EXPECT_EQ(image.pixels, (Bytes{0, 1, 2, 3, 3, 2, 1, 0}));
  EXPECT_EQ(gif.records[2].kind, GifRecord::kComment);
  EXPECT_EQ(gif.records[2].data, (Bytes{'h', 'i', '!'}));
}

TEST(GifDecode, RepeatedStringCodeAndWideningCodes) {
  // Clear, 0, then code 6 (the next free code, not yet in the table):
  // "0 0" -> 0 0 0 in total.
  Bytes file = Screen(3, 1, kColours);
  file.insert(file.end(), {0x2C, 0, 0, 0, 0, 3, 0, 1, 0, 0});
  const Bytes data = PackCodes(2, {{4, 3}, {0, 3}, {6, 3}, {5, 3}});
  file.insert(file.end(), data.begin(), data.end());
  file.push_back(0x3B);
  GifFile gif;
  ASSERT_TRUE(DecodeGif(file.data(), file.size(), gif));
  EXPECT_EQ(gif.records[0].pixels, (Bytes{0, 0, 0}));
  // Codes past the next free one are refused.
  Bytes bad = Screen(3, 1, kColours);
  bad.insert(bad.end(), {0x2C, 0, 0, 0, 0, 3, 0, 1, 0, 0});
  const Bytes badData = PackCodes(2, {{4, 3}, {0, 3}, {7, 3}, {5, 3}});
  bad.insert(bad.end(), badData.begin(), badData.end());
  bad.push_back(0x3B);
  GifFile refused;
  EXPECT_FALSE(DecodeGif(bad.data(), bad.size(), refused));
  // The code width grows as the table fills: 0 1 0 1 ... compresses.
  Bytes grown = Screen(8, 1, kColours);
  grown.insert(grown.end(), {0x2C, 0, 0, 0, 0, 8, 0, 1, 0, 0});
  // clear, 0, 1 (adds 6 = 01), 6 (adds 7 = 10, table reaches 8: width 4), 6 (01), 5 end.
  const Bytes codes = PackCodes(2, {{4, 3}, {0, 3}, {1, 3}, {6, 3}, {6, 4}, {5, 4}});
  grown.insert(grown.end(), codes.begin(), codes.end());
  grown.push_back(0x3B);
  GifFile widened;
  ASSERT_TRUE(DecodeGif(grown.data(), grown.size(), widened));
  EXPECT_EQ(widened.records[0].pixels, (Bytes{0, 1, 0, 1, 0, 1, 0, 0}));
}

TEST(GifDecode, InterlacedRowsLandInTheirPasses) {
  Bytes file = Screen(1, 10, kColours, false);
  // Stored order for 10 rows: 0, 8, 4, 2, 6, 1, 3, 5, 7, 9.
  Image(file, 0, 0, 1, 10, {0, 8 % 4, 0, 2, 2, 1, 3, 1, 3, 1}, true);
  file.push_back(0x3B);
  GifFile gif;
  ASSERT_TRUE(DecodeGif(file.data(), file.size(), gif));
  // Row r holds: 0 -> 0, 8 -> 0, 4 -> 0, 2 -> 2, 6 -> 2, 1 -> 1, 3 -> 3, 5 -> 1, 7 -> 3, 9 -> 1.
  EXPECT_EQ(gif.records[0].pixels, (Bytes{0, 1, 2, 3, 0, 1, 2, 3, 0, 1}));
}

TEST(GifPictureRows, WindowIsTheScreenAndOutsidePixelsReadAsZero) {
  Bytes file = Screen(4, 3, kColours);
  // A 2 x 1 image at (1, 1) with a local table of two entries; index 3
  // lies beyond that table.
  Image(file, 1, 1, 2, 1, {1, 3}, false, {9, 9, 9, 200, 100, 50});
  Image(file, 0, 0, 1, 1, {2});
  file.push_back(0x3B);
  GifPicture p;
  ASSERT_TRUE(p.OpenBytes(file.data(), file.size(), "mem.gif"));
  EXPECT_EQ(p.GetChannelCount(), 3);
  int x0, y0, w, h;
  p.GetWindow(x0, y0, w, h);
  EXPECT_EQ(w, 4);
  EXPECT_EQ(h, 3);
  std::vector<std::uint8_t> rgba(4 * 4, 0x77);
  p.ReadRowRgba(1, 0, 4, rgba.data());
  EXPECT_EQ(rgba, (Bytes{0, 0, 0, 0x77, 200, 100, 50, 0x77, 0, 0, 0, 0x77, 0, 0, 0, 0x77}));
  p.ReadRowRgba(-5, -2, 4, rgba.data());  // nothing out of bounds
  EXPECT_EQ(rgba[0], 0);
  ASSERT_TRUE(p.NextImage());
  p.ReadRowRgba(0, 0, 1, rgba.data());
  EXPECT_EQ((Bytes{rgba[0], rgba[1], rgba[2]}), (Bytes{0, 0, 255}));
  EXPECT_FALSE(p.NextImage());
}

TEST(GifPictureRows, GreyTablesGiveOneChannel) {
  Bytes file = Screen(2, 1, {0, 0, 0, 90, 90, 90, 180, 180, 180, 255, 255, 255});
  Image(file, 0, 0, 2, 1, {1, 2});
  file.push_back(0x3B);
  GifPicture p;
  ASSERT_TRUE(p.OpenBytes(file.data(), file.size(), "grey.gif"));
  EXPECT_EQ(p.GetChannelCount(), 1);
  std::uint8_t row[2];
  p.ReadRow(0, 0, 2, row);
  EXPECT_EQ(row[0], 90);
  EXPECT_EQ(row[1], 180);
}

TEST(GifPictureRows, FilesWritesAndMessages) {
  Testing::TempFolder folder;
  Bytes file = Screen(1, 1, kColours);
  Image(file, 0, 0, 1, 1, {1});
  file.push_back(0x3B);
  const std::string path = folder.Native("one.gif");
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(file.data()),
                                               static_cast<std::streamsize>(file.size()));
  auto p = OpenFilePicture("gif", path.c_str(), "r");
  ASSERT_NE(p, nullptr);
  // "-.gif" reads standard input, pointed at the same file here.
  ASSERT_NE(std::freopen(path.c_str(), "rb", stdin), nullptr);
  auto standard = OpenFilePicture("gif", "-.gif", "r");
  ASSERT_NE(standard, nullptr);
  std::uint8_t first[4] = {};
  standard->ReadRowRgba(0, 0, 1, first);
  EXPECT_EQ(first[1], 255);
  std::uint8_t rgba[4] = {};
  p->ReadRowRgba(0, 0, 1, rgba);
  EXPECT_EQ(rgba[1], 255);
  testing::internal::CaptureStderr();
  EXPECT_EQ(OpenFilePicture("gif", path.c_str(), "w"), nullptr);
  p->WriteRowRgba(0, 0, 1, rgba);
  p->ReadPixel(0, 0);
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("?GIF output not supported.\n"), std::string::npos);
  EXPECT_NE(err.find("?gif_read_pixel\n"), std::string::npos);
}

TEST(GifDecode, HostileAndTruncatedFilesFailCleanly) {
  Bytes file = Screen(4, 2, kColours);
  Control(file, 1, 5, -1);
  Image(file, 0, 0, 4, 2, {0, 1, 2, 3, 3, 2, 1, 0});
  const Bytes comment = {0x21, 0xFE, 2, 'h', 'i', 0};
  file.insert(file.end(), comment.begin(), comment.end());
  file.push_back(0x3B);
  for (size_t cut = 0; cut < file.size(); ++cut) {
    GifFile gif;
    EXPECT_FALSE(DecodeGif(file.data(), cut, gif)) << cut;
  }
  // A rectangle far larger than the data could fill: refused before the
  // pixels are allocated.
  Bytes huge = Screen(4, 2, kColours);
  huge.insert(huge.end(), {0x2C, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0});
  const Bytes data = Uncompressed(2, {0});
  huge.insert(huge.end(), data.begin(), data.end());
  huge.push_back(0x3B);
  GifFile gif;
  EXPECT_FALSE(DecodeGif(huge.data(), huge.size(), gif));
  // Bad signature, bad minimum code size.
  Bytes sig = file;
  sig[4] = '8';
  EXPECT_FALSE(DecodeGif(sig.data(), sig.size(), gif));
  Bytes code = Screen(1, 1, kColours);
  code.insert(code.end(), {0x2C, 0, 0, 0, 0, 1, 0, 1, 0, 0, 12, 1, 0, 0, 0x3B});
  EXPECT_FALSE(DecodeGif(code.data(), code.size(), gif));
}

}  // namespace
}  // namespace KT::Resample
