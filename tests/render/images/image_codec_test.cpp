#include "render/images/image_codec.h"

#include <cstring>
#include <string>

#include <gtest/gtest.h>

namespace KT {
namespace {

TEST(ImageCodecTables, ExtensionsAreCaseFolded) {
  const struct {
    const char* path;
    u32 code;
  } cases[] = {
      {"a.bmp", 1},       {"a.DIB", 1},         {"photo.JPEG", 2},   {"photo.jpg", 2},   {"x.Png", 3},
      {"x.tga", 4},       {"x.gif", 5},         {"x.TIF", 6},        {"x.tiff", 6},      {"sky.hdr", 7},
      {"sky.HDR", 7},     {"x.jfif", 0},        {"noextension", 0},  {"dir.png/file", 0}, {"dir\\a.b\\c.gif", 5},
      {"archive.tar.png", 3}, {".png", 3},      {"x.", 0},
  };
  for (const auto& c : cases) EXPECT_EQ(GetImageFormatFromPath(c.path), c.code) << c.path;
  // Extensions longer than 255 characters give 0, whatever they end with.
  EXPECT_EQ(GetImageFormatFromExtension(std::string(255, 'x')), 0u);
  EXPECT_EQ(GetImageFormatFromPath("a." + std::string(256, 'a') + "png"), 0u);
}

TEST(ImageCodecTables, NamesMimeTypesAndRoutes) {
  const struct {
    u32 code;
    const char* imgrt;
    const char* mime;
    ImageCodecRoute decode;
    ImageCodecRoute encode;
  } rows[] = {
      {0, "", nullptr, ImageCodecRoute::kGdiplus, ImageCodecRoute::kGdiplus},
      {1, "BMP", "image/bmp", ImageCodecRoute::kImgrt, ImageCodecRoute::kGdiplus},
      {2, "JPEG", "image/jpeg", ImageCodecRoute::kGdiplus, ImageCodecRoute::kImgrt},
      {3, "MNG", "image/png", ImageCodecRoute::kGdiplus, ImageCodecRoute::kGdiplus},
      {4, "TGA", "image/tga", ImageCodecRoute::kImgrt, ImageCodecRoute::kImgrt},
      {5, "GIF", "image/tiff", ImageCodecRoute::kGdiplus, ImageCodecRoute::kImgrt},
      {6, "TIFF", "image/tiff", ImageCodecRoute::kGdiplus, ImageCodecRoute::kGdiplus},
      {7, "", nullptr, ImageCodecRoute::kRgbe, ImageCodecRoute::kRgbe},
      {8, "", nullptr, ImageCodecRoute::kGdiplus, ImageCodecRoute::kGdiplus},
  };
  for (const auto& r : rows) {
    EXPECT_STREQ(GetImgrtFormatName(r.code), r.imgrt) << r.code;
    if (r.mime == nullptr) {
      EXPECT_EQ(GetGdiplusMimeType(r.code), nullptr) << r.code;
    } else {
      EXPECT_STREQ(GetGdiplusMimeType(r.code), r.mime) << r.code;
    }
    EXPECT_EQ(GetDecodeRoute(r.code), r.decode) << r.code;
    EXPECT_EQ(GetEncodeRoute(r.code), r.encode) << r.code;
  }
}

}  // namespace
}  // namespace KT
