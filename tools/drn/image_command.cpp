#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "platform/text_encoding.h"
#include "render/images/image_codec.h"
#include "render/images/pixel_buffer.h"
#include "tools/drn/commands.h"
#include "tools/drn/scene_file.h"

namespace drn {

namespace {

// Files are read and written through the codec bridge; the extension
// decides the format ("image format not recognised" for an unknown one).
KT::Result ReadImage(const std::string& path, KT::KTImage& image) {
  const std::u16string wide = KT::Platform::Utf8ToUtf16Lossy(path);
  return KT::DecodeImageFile(image, nullptr, wide.c_str());
}

KT::Result WriteImage(const std::string& path, KT::KTImage& image) {
  const KT::u32 format = KT::GetImageFormatFromPath(path);
  if (format == KT::ImageFormat::kNone) return KT::kErrImageFormat;
  KT::CBuffer<char> bytes;
  const KT::Result r = KT::EncodeImageFile(image, format, bytes);
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

void Usage() {
  std::fprintf(stderr, "usage: drn image IN [--layout N] [--resize WxH] [--pixel X,Y]... [--out OUT]\n");
}

}  // namespace

int RunImage(int argc, char** argv) {
  if (argc < 1) {
    Usage();
    return 2;
  }
  const std::string input = argv[0];
  int resizeW = 0, resizeH = 0;
  int layout = -1;
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
    char tail = 0;
    if (option == "--layout" && std::sscanf(value, "%d%c", &a, &tail) == 1 && a >= 0) {
      layout = a;
    } else if (option == "--resize" && ParsePair(value, 'x', a, b)) {
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
  // The layout changes first, so resizing and writing work on it.
  if (KT::Succeeded(r) && layout >= 0) r = KT::PixelBuffer::Convert(image, nullptr, static_cast<KT::u32>(layout));
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
