// The B, G, R, A order that the JPEG and PNG codecs read and write on
// request, and its refusal by the codecs that work in R, G, B, A only.
#include <functional>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "platform/imaging/bmp_codec.h"
#include "platform/imaging/gif_codec.h"
#include "platform/imaging/jpeg_codec.h"
#include "platform/imaging/png_codec.h"
#include "platform/imaging/sample_pixels.h"
#include "platform/imaging/tga_codec.h"
#include "platform/imaging/tiff_codec.h"

namespace KT::Imaging {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Testing::Sample;

RgbaPixels Swapped(RgbaPixels p) {
  for (std::size_t i = 0; i < p.rgba.size(); i += 4) std::swap(p.rgba[i], p.rgba[i + 2]);
  p.bgr = !p.bgr;
  return p;
}

struct OrderCase {
  const char* name;
  bool alpha;
  std::function<bool(const RgbaPixels&, Bytes&)> encode;
  std::function<bool(const Bytes&, RgbaPixels&)> decode;
};

TEST(ChannelOrder, JpegAndPngReadAndWriteEitherOrder) {
  const OrderCase cases[] = {
      {"jpeg", false, [](const RgbaPixels& p, Bytes& out) { return EncodeJpeg(p, 90, out); },
       [](const Bytes& b, RgbaPixels& p) { return DecodeJpeg(b.data(), b.size(), p); }},
      {"png with alpha", true, [](const RgbaPixels& p, Bytes& out) { return EncodePng(p, true, out); },
       [](const Bytes& b, RgbaPixels& p) { return DecodePng(b.data(), b.size(), p); }},
      {"png without alpha", false, [](const RgbaPixels& p, Bytes& out) { return EncodePng(p, false, out); },
       [](const Bytes& b, RgbaPixels& p) { return DecodePng(b.data(), b.size(), p); }},
  };
  for (const OrderCase& c : cases) {
    SCOPED_TRACE(c.name);
    const RgbaPixels rgba = Sample(23, 17, c.alpha);
    Bytes fromRgba, fromBgra;
    ASSERT_TRUE(c.encode(rgba, fromRgba));
    ASSERT_TRUE(c.encode(Swapped(rgba), fromBgra));
    EXPECT_EQ(fromRgba, fromBgra);  // the same file from either order

    RgbaPixels asRgba, asBgra;
    asBgra.bgr = true;
    ASSERT_TRUE(c.decode(fromRgba, asRgba));
    ASSERT_TRUE(c.decode(fromRgba, asBgra));
    EXPECT_FALSE(asRgba.bgr);
    EXPECT_TRUE(asBgra.bgr);
    EXPECT_EQ(Swapped(asRgba).rgba, asBgra.rgba);
    // Without alpha in the file the fourth byte is opaque in either order.
    for (std::size_t i = 3; !c.alpha && i < asBgra.rgba.size(); i += 4) ASSERT_EQ(asBgra.rgba[i], 255) << i;
  }
}

TEST(ChannelOrder, OtherCodecsRefuseToEncodeBgraAndDecodeRgba) {
  const RgbaPixels bgra = Swapped(Sample(9, 7));
  Bytes out;
  EXPECT_FALSE(EncodeBmp(bgra, true, out));
  EXPECT_FALSE(EncodeTga(bgra, true, out));
  EXPECT_FALSE(EncodeGif(bgra, true, out));
  EXPECT_FALSE(EncodeTiff(bgra, true, out));

  const RgbaPixels rgba = Sample(9, 7);
  const std::pair<const char*, std::function<bool(RgbaPixels&)>> decoders[] = {
      {"bmp", [&](RgbaPixels& p) { return EncodeBmp(rgba, true, out) && DecodeBmp(out.data(), out.size(), p); }},
      {"tga", [&](RgbaPixels& p) { return EncodeTga(rgba, true, out) && DecodeTga(out.data(), out.size(), p); }},
      {"tiff", [&](RgbaPixels& p) { return EncodeTiff(rgba, true, out) && DecodeTiff(out.data(), out.size(), p); }},
  };
  for (const auto& [name, decode] : decoders) {
    SCOPED_TRACE(name);
    RgbaPixels asked;
    asked.bgr = true;
    ASSERT_TRUE(decode(asked));
    EXPECT_FALSE(asked.bgr);
    EXPECT_EQ(asked.rgba, rgba.rgba);
  }
}

}  // namespace
}  // namespace KT::Imaging
