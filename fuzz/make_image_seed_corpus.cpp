// Writes the seed corpus of the image-decode fuzzer: small files of every
// format, written through the codec bridge's encoders (as the tests write
// them), and a three-frame animated GIF.
//
//   make_image_seed_corpus FOLDER
//
// The folder is created when missing; files of the same names are
// replaced; a second run writes the same bytes. Exit status 0, or 1 with a
// one-line reason.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

#include "objectmodel/buffer.h"
#include "render/images/image_codec.h"
#include "render/images/pixel_buffer.h"
#include "tests/platform/imaging/gif_animation.h"

namespace {

using namespace KT;

// A 6 x 5 image: a gradient with alpha 0 or 255 (layout 0) or without.
bool Sample(KTImage& image, u32 layout) {
  if (Failed(PixelBuffer::Create(image, layout, 6, 5))) return false;
  for (i32 y = 0; y < image.Height; ++y) {
    for (i32 x = 0; x < image.Width; ++x) {
      u8* p = image.Pixels + y * image.Stride + x * image.BytesPerPixel;
      p[0] = static_cast<u8>(x * 40);
      p[1] = static_cast<u8>(y * 50);
      p[2] = static_cast<u8>(200 - x * 20);
      if (layout == PixelLayout::kBgra8) p[3] = (x + y) % 4 == 0 ? 0 : 255;
    }
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_image_seed_corpus FOLDER\n");
    return 1;
  }
  const std::filesystem::path folder = argv[1];
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  if (error) {
    std::fprintf(stderr, "make_image_seed_corpus: cannot create %s: %s\n", argv[1], error.message().c_str());
    return 1;
  }
  const struct {
    const char* extension;
    u32 code;
  } formats[] = {{"bmp", ImageFormat::kBmp}, {"jpg", ImageFormat::kJpg}, {"png", ImageFormat::kPng},
                 {"tga", ImageFormat::kTga}, {"gif", ImageFormat::kGif}, {"tif", ImageFormat::kTif},
                 {"hdr", ImageFormat::kHdr}};
  auto write = [&folder](const std::string& name, const char* bytes, size_t size) {
    std::ofstream out(folder / name, std::ios::binary | std::ios::trunc);
    out.write(bytes, static_cast<std::streamsize>(size));
    if (!out) std::fprintf(stderr, "make_image_seed_corpus: cannot write %s\n", name.c_str());
    return static_cast<bool>(out);
  };
  size_t count = 0;
  for (const auto& f : formats) {
    for (u32 layout : {PixelLayout::kBgra8, PixelLayout::kBgr8}) {
      KTImage image;
      CBuffer<char> encoded;
      const std::string name = "sample_layout" + std::to_string(layout) + "." + f.extension;
      if (!Sample(image, layout) || Failed(EncodeImageFile(image, f.code, encoded))) {
        std::fprintf(stderr, "make_image_seed_corpus: cannot build %s\n", name.c_str());
        return 1;
      }
      if (!write(name, encoded.GetData(), encoded.GetCount())) return 1;
      ++count;
    }
  }
  const std::vector<std::uint8_t> gif = KT::Imaging::Testing::ThreeFrameAnimation();
  if (gif.empty() || !write("three_frames.gif", reinterpret_cast<const char*>(gif.data()), gif.size())) return 1;
  ++count;
  std::printf("wrote %zu seeds to %s\n", count, argv[1]);
  return 0;
}
