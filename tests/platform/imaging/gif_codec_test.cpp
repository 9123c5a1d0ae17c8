#include "platform/imaging/gif_codec.h"

#include <set>
#include <vector>

#include <gtest/gtest.h>

#include "platform/imaging/gif_animation.h"
#include "platform/imaging/sample_pixels.h"

namespace KT::Imaging {
namespace {

using Bytes = std::vector<std::uint8_t>;

// An image of `colours` distinct opaque colours (pixel i has colour i mod
// colours), with alpha 0 at every seventh pixel when `holes`.
RgbaPixels Palette(int w, int h, int colours, bool holes) {
  RgbaPixels p;
  p.width = w;
  p.height = h;
  p.rgba.resize(static_cast<size_t>(w * h) * 4);
  for (size_t i = 0; i < p.rgba.size() / 4; ++i) {
    const size_t c = i % static_cast<size_t>(colours);
    p.rgba[i * 4] = static_cast<std::uint8_t>(c);
    p.rgba[i * 4 + 1] = static_cast<std::uint8_t>(c * 7);
    p.rgba[i * 4 + 2] = static_cast<std::uint8_t>(c >> 8);
    const bool hole = holes && i % 7 == 3;
    p.rgba[i * 4 + 3] = hole ? 0 : 255;
    if (hole) p.rgba[i * 4] = p.rgba[i * 4 + 1] = p.rgba[i * 4 + 2] = 9;
  }
  return p;
}

TEST(GifCodec, RoundTripIsExactUpTo256Colours) {
  const struct {
    int colours;
    bool alpha;
  } cases[] = {{1, false}, {2, false}, {200, false}, {256, false}, {255, true}, {3, true}};
  for (const auto& c : cases) {
    const RgbaPixels image = Palette(20, 16, c.colours, c.alpha);
    Bytes file;
    ASSERT_TRUE(EncodeGif(image, c.alpha, file)) << c.colours;
    GifAnimation back;
    ASSERT_TRUE(DecodeGif(file.data(), file.size(), back)) << c.colours;
    ASSERT_EQ(back.frames.size(), 1u);
    const RgbaPixels& frame = back.frames[0].image;
    EXPECT_EQ(frame.matte, c.alpha);
    EXPECT_TRUE(frame.indexed);
    ASSERT_EQ(frame.rgba, image.rgba) << c.colours;
  }
}

TEST(GifCodec, ManyColoursAreReducedTo256) {
  const RgbaPixels image = Testing::Sample(64, 32, false);
  Bytes file;
  ASSERT_TRUE(EncodeGif(image, false, file));
  GifAnimation back;
  ASSERT_TRUE(DecodeGif(file.data(), file.size(), back));
  std::set<std::uint32_t> distinct;
  const RgbaPixels& frame = back.frames[0].image;
  for (size_t i = 0; i < frame.rgba.size(); i += 4) {
    distinct.insert(frame.rgba[i] | (frame.rgba[i + 1] << 8) | (frame.rgba[i + 2] << 16));
  }
  EXPECT_LE(distinct.size(), 256u);
  EXPECT_GT(distinct.size(), 16u);
}

TEST(GifCodec, FramesCarryDelayOffsetsDisposalAndBackground) {
  const Bytes file = Testing::ThreeFrameAnimation();
  ASSERT_FALSE(file.empty());
  GifAnimation a;
  ASSERT_TRUE(DecodeGif(file.data(), file.size(), a));
  EXPECT_EQ(a.screenWidth, 2);
  EXPECT_EQ(a.background[2], 255);  // index 3: blue
  ASSERT_EQ(a.frames.size(), 3u);
  const struct {
    int delay, left, top, disposal, width, height;
    bool matte;
  } expected[] = {{10, 0, 0, 1, 2, 2, false}, {20, 1, 0, 2, 1, 2, true}, {30, 0, 1, 3, 2, 1, false}};
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(a.frames[i].delay, expected[i].delay) << i;
    EXPECT_EQ(a.frames[i].left, expected[i].left) << i;
    EXPECT_EQ(a.frames[i].top, expected[i].top) << i;
    EXPECT_EQ(a.frames[i].disposal, expected[i].disposal) << i;
    EXPECT_EQ(a.frames[i].image.width, expected[i].width) << i;
    EXPECT_EQ(a.frames[i].image.height, expected[i].height) << i;
    EXPECT_EQ(a.frames[i].image.matte, expected[i].matte) << i;
  }
  // Frame 2: green over a transparent pixel.
  EXPECT_EQ(a.frames[1].image.rgba, (Bytes{0, 255, 0, 255, 0, 0, 0, 0}));
}

TEST(GifCodec, TruncatedAndHostileFilesFailCleanly) {
  const Bytes file = Testing::ThreeFrameAnimation();
  testing::internal::CaptureStderr();
  // Every cut fails, even between frames and before the trailer alone.
  for (size_t cut = 0; cut < file.size(); ++cut) {
    GifAnimation partial;
    EXPECT_FALSE(DecodeGif(file.data(), cut, partial)) << cut;
  }
  // A frame side above 16384 is refused before anything is allocated.
  Bytes huge = Testing::WriteAnimation(2, 2, 0, {{0, 0, 1, 1, 0, 0, NO_TRANSPARENT_COLOR, {1}}});
  ASSERT_FALSE(huge.empty());
  // The image descriptor follows the screen (13 bytes), the map (12) and
  // the graphic control extension (8): ',' left top width height.
  const size_t at = 13 + 12 + 8;
  ASSERT_EQ(huge[at], ',');
  huge[at + 5] = 0x01;
  huge[at + 6] = 0x50;  // width 0x5001
  GifAnimation refused;
  EXPECT_FALSE(DecodeGif(huge.data(), huge.size(), refused));
  // A large frame that the bytes cannot code is refused.
  huge[at + 6] = 0x30;
  huge[at + 8] = 0x30;  // 12289 x 12288 from a few dozen bytes
  EXPECT_FALSE(DecodeGif(huge.data(), huge.size(), refused));
  testing::internal::GetCapturedStderr();
}

}  // namespace
}  // namespace KT::Imaging
