#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "render/images/image_codec.h"
#include "render/images/pixel_buffer.h"
#include "render/images/rgbe_codec.h"
#include "tools/drn/commands.h"
#include "tools/drn/scene_file.h"

namespace drn {

namespace {

// Radiance files are the only format with a codec in this build; other
// known and unknown extensions alike answer "image format not recognised".
KT::u32 FormatOf(const std::string& path) {
  return KT::GetImageFormatFromPath(path) == KT::ImageFormat::kHdr ? KT::kImageFormatHdr : 0;
}

KT::Result ReadImage(const std::string& path, KT::KTImage& image) {
  if (FormatOf(path) != KT::kImageFormatHdr) return KT::kErrImageFormat;
  std::ifstream in(path, std::ios::binary);
  if (!in) return KT::kErrTreeData;
  const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (bytes.empty() || bytes.size() > 0xFFFFFFFFu) return KT::kErrTreeData;
  return KT::DecodeRgbe(bytes.data(), static_cast<KT::u32>(bytes.size()), KT::kImageFormatHdr, image);
}

KT::Result WriteImage(const std::string& path, KT::KTImage& image) {
  if (FormatOf(path) != KT::kImageFormatHdr) return KT::kErrImageFormat;
  KT::KTImage converted;
  KT::KTImage* source = &image;
  if (image.Layout != KT::PixelLayout::kRgbFloat) {
    const KT::Result r = KT::PixelBuffer::Convert(image, &converted, KT::PixelLayout::kRgbFloat);
    if (KT::Failed(r)) return r;
    source = &converted;
  }
  KT::CBuffer<char> bytes;
  const KT::Result r = KT::EncodeRgbe(*source, KT::kImageFormatHdr, bytes);
  if (KT::Failed(r)) return r;
  std::ofstream out(path, std::ios::binary);
  out.write(bytes.GetData(), static_cast<std::streamsize>(bytes.GetCount()));
  return out ? KT::kOk : KT::kErrTreeData;
}

bool ParsePair(const char* text, char separator, int& a, int& b) {
  char tail = 0;
  const char format[] = {'%', 'd', separator, '%', 'd', '%', 'c', 0};
  return std::sscanf(text, format, &a, &b, &tail) == 2;
}

void PrintPixel(KT::KTImage& image, int x, int y) {
  KT::PixelBuffer::Map(image);
  const KT::u8* at = image.Pixels + static_cast<size_t>(y) * static_cast<size_t>(image.Stride) +
                     static_cast<size_t>(x) * static_cast<size_t>(image.BytesPerPixel);
  std::printf("pixel %d %d:", x, y);
  if (image.Layout == KT::PixelLayout::kRgbFloat) {
    for (int c = 0; c < 3; ++c) {
      float v;
      std::memcpy(&v, at + c * 4, sizeof v);
      std::printf(" %.9g", static_cast<double>(v));
    }
  } else {
    for (int c = 0; c < image.BytesPerPixel; ++c) std::printf(" %u", static_cast<unsigned>(at[c]));
  }
  std::printf("\n");
  KT::PixelBuffer::UnMap(image);
}

void Usage() { std::fprintf(stderr, "usage: drn image IN [--resize WxH] [--pixel X,Y]... [--out OUT]\n"); }

}  // namespace

int RunImage(int argc, char** argv) {
  if (argc < 1) {
    Usage();
    return 2;
  }
  const std::string input = argv[0];
  int resizeW = 0, resizeH = 0;
  std::vector<std::pair<int, int>> pixels;
  std::string output;
  for (int i = 1; i < argc; ++i) {
    const std::string option = argv[i];
    if (i + 1 >= argc) {
      Usage();
      return 2;
    }
    const char* value = argv[++i];
    int a = 0, b = 0;
    if (option == "--resize" && ParsePair(value, 'x', a, b)) {
      resizeW = a;
      resizeH = b;
    } else if (option == "--pixel" && ParsePair(value, ',', a, b)) {
      pixels.emplace_back(a, b);
    } else if (option == "--out") {
      output = value;
    } else {
      Usage();
      return 2;
    }
  }
  KT::KTImage image;
  KT::Result r = ReadImage(input, image);
  if (KT::Succeeded(r) && (resizeW != 0 || resizeH != 0)) r = KT::PixelBuffer::Resize(image, nullptr, resizeW, resizeH);
  if (KT::Succeeded(r)) {
    std::printf("image %d x %d layout %u dpi %d %d\n", image.Width, image.Height, image.Layout, image.DpiX, image.DpiY);
    for (const auto& [x, y] : pixels) {
      if (x < 0 || y < 0 || x >= image.Width || y >= image.Height) {
        std::printf("pixel %d %d: outside the image\n", x, y);
        r = KT::kErrOutOfRange;
        continue;
      }
      PrintPixel(image, x, y);
    }
  }
  if (KT::Succeeded(r) && !output.empty()) r = WriteImage(output, image);
  return FinishWithResult(r);
}

}  // namespace drn
