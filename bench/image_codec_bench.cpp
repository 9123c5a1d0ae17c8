// The codec bridge on 4096 x 4096 images: JPEG and PNG decoded from a file
// with DecodeImageFile and encoded with EncodeImageFile, each beside
// libjpeg / libpng called directly on the same data in the same run; the
// IMGRT scale of a layout-0 image to 1024 x 1024 beside stb_image_resize
// with four channels; BMP and TGA decoding beside a plain copy of the same
// pixel bytes.
#include <png.h>
#include <stdio.h>

#include <cmath>
#include <csetjmp>
#include <cstring>
#include <fstream>
#include <vector>

#include <jpeglib.h>

#include <benchmark/benchmark.h>

#include "objectmodel/buffer.h"
#include "render/images/image_codec.h"
#include "render/images/pixel_buffer.h"
#include "temp_file.h"

#include <stb_image_resize.h>

namespace {

using namespace KT;

constexpr i32 kSide = 4096;
constexpr i32 kScaled = 1024;

// A smooth picture with some detail and a varying alpha.
KTImage& Picture(u32 layout) {
  static KTImage images[2];
  KTImage& image = images[layout == PixelLayout::kBgra8 ? 0 : 1];
  if (!PixelBuffer::HasPixels(image)) {
    PixelBuffer::Create(image, layout, kSide, kSide);
    for (i32 y = 0; y < kSide; ++y) {
      u8* row = image.Pixels + static_cast<size_t>(y) * static_cast<size_t>(image.Stride);
      for (i32 x = 0; x < kSide; ++x) {
        u8* p = row + static_cast<size_t>(x) * static_cast<size_t>(image.BytesPerPixel);
        p[0] = static_cast<u8>((x * 7 + y * 3) >> 4);
        p[1] = static_cast<u8>(128 + 100 * std::sin(x * 0.01 + y * 0.02));
        p[2] = static_cast<u8>((x + 2 * y) >> 5);
        if (layout == PixelLayout::kBgra8) p[3] = static_cast<u8>(255 - ((x + y) >> 5));
      }
    }
  }
  return image;
}

// The encoded bytes of the picture in a format, written once to a file.
struct Encoded {
  std::vector<u8> bytes;
  bench::TempFile file;
  Encoded(u32 code, u32 layout, const char* extension) : file("image-codec", extension) {
    CBuffer<char> out;
    EncodeImageFile(Picture(layout), code, out);
    bytes.assign(reinterpret_cast<const u8*>(out.GetData()), reinterpret_cast<const u8*>(out.GetData()) + out.GetCount());
    std::ofstream(file.Native(), std::ios::binary).write(out.GetData(), static_cast<std::streamsize>(out.GetCount()));
  }
};

const Encoded& Jpeg() {
  static const Encoded e(ImageFormat::kJpg, PixelLayout::kBgr8, ".jpg");
  return e;
}
const Encoded& Png() {
  static const Encoded e(ImageFormat::kPng, PixelLayout::kBgra8, ".png");
  return e;
}
const Encoded& Bmp() {
  static const Encoded e(ImageFormat::kBmp, PixelLayout::kBgr8, ".bmp");
  return e;
}
const Encoded& Tga() {
  static const Encoded e(ImageFormat::kTga, PixelLayout::kBgr8, ".tga");
  return e;
}

void Pixels(benchmark::State& state) {
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(kSide) * kSide);
}

void DecodeFile(benchmark::State& state, const Encoded& encoded) {
  const std::u16string path = encoded.file.Wide();
  for (auto _ : state) {
    KTImage image;
    if (DecodeImageFile(image, nullptr, path.c_str()) != kOk) state.SkipWithError("decode failed");
    benchmark::DoNotOptimize(image.Pixels);
  }
  Pixels(state);
}

void Encode(benchmark::State& state, u32 code, u32 layout) {
  KTImage& image = Picture(layout);
  for (auto _ : state) {
    CBuffer<char> out;
    if (EncodeImageFile(image, code, out) != kOk) state.SkipWithError("encode failed");
    benchmark::DoNotOptimize(out.GetData());
  }
  Pixels(state);
}

void BM_BridgeDecodeJpeg(benchmark::State& state) { DecodeFile(state, Jpeg()); }
void BM_BridgeEncodeJpeg(benchmark::State& state) { Encode(state, ImageFormat::kJpg, PixelLayout::kBgr8); }
void BM_BridgeDecodePng(benchmark::State& state) { DecodeFile(state, Png()); }
void BM_BridgeEncodePng(benchmark::State& state) { Encode(state, ImageFormat::kPng, PixelLayout::kBgra8); }
void BM_BridgeDecodeBmp(benchmark::State& state) { DecodeFile(state, Bmp()); }
void BM_BridgeDecodeTga(benchmark::State& state) { DecodeFile(state, Tga()); }

// libjpeg directly: the file's bytes read, decoded into new RGB rows (a
// decode delivers a new image, as DecodeImageFile does).
void BM_LibjpegDecode(benchmark::State& state) {
  const Encoded& encoded = Jpeg();
  for (auto _ : state) {
    std::vector<u8> rgb(static_cast<size_t>(kSide) * kSide * 3);
    std::ifstream in(encoded.file.Native(), std::ios::binary);
    std::vector<u8> bytes(encoded.bytes.size());
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    jpeg_decompress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, bytes.data(), static_cast<unsigned long>(bytes.size()));
    jpeg_read_header(&info, TRUE);
    info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&info);
    while (info.output_scanline < info.output_height) {
      JSAMPROW row = &rgb[static_cast<size_t>(info.output_scanline) * kSide * 3];
      jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    benchmark::DoNotOptimize(rgb.data());
  }
  Pixels(state);
}

void BM_LibjpegEncode(benchmark::State& state) {
  const KTImage& image = Picture(PixelLayout::kBgr8);
  std::vector<u8> row(static_cast<size_t>(kSide) * 3);
  for (auto _ : state) {
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    jpeg_mem_dest(&info, &out, &size);
    info.image_width = kSide;
    info.image_height = kSide;
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 100, TRUE);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
      const u8* p = image.Pixels + static_cast<size_t>(info.next_scanline) * static_cast<size_t>(image.Stride);
      for (i32 x = 0; x < kSide; ++x) {
        row[x * 3] = p[x * 3 + 2];
        row[x * 3 + 1] = p[x * 3 + 1];
        row[x * 3 + 2] = p[x * 3];
      }
      JSAMPROW r = row.data();
      jpeg_write_scanlines(&info, &r, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    benchmark::DoNotOptimize(out);
    free(out);
  }
  Pixels(state);
}

// libpng's simplified interface directly: the file's bytes read, decoded
// into new BGRA rows; BGRA encoded.
void BM_LibpngDecode(benchmark::State& state) {
  const Encoded& encoded = Png();
  for (auto _ : state) {
    std::vector<u8> bgra(static_cast<size_t>(kSide) * kSide * 4);
    std::ifstream in(encoded.file.Native(), std::ios::binary);
    std::vector<u8> bytes(encoded.bytes.size());
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    png_image_begin_read_from_memory(&image, bytes.data(), bytes.size());
    image.format = PNG_FORMAT_BGRA;
    if (png_image_finish_read(&image, nullptr, bgra.data(), 0, nullptr) == 0) state.SkipWithError("libpng failed");
    benchmark::DoNotOptimize(bgra.data());
  }
  Pixels(state);
}

void BM_LibpngEncode(benchmark::State& state) {
  const KTImage& picture = Picture(PixelLayout::kBgra8);
  for (auto _ : state) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = kSide;
    image.height = kSide;
    image.format = PNG_FORMAT_BGRA;
    png_alloc_size_t size = 0;
    png_image_write_get_memory_size(image, size, 0, picture.Pixels, picture.Stride, nullptr);
    std::vector<u8> out(size);
    if (png_image_write_to_memory(&image, out.data(), &size, 0, picture.Pixels, picture.Stride, nullptr) == 0) {
      state.SkipWithError("libpng failed");
    }
    benchmark::DoNotOptimize(out.data());
  }
  Pixels(state);
}

void BM_ImgrtScaleLayout0(benchmark::State& state) {
  KTImage& source = Picture(PixelLayout::kBgra8);
  KTImage destination;
  for (auto _ : state) {
    if (PixelBuffer::Resize(source, &destination, kScaled, kScaled) != kOk) state.SkipWithError("resize failed");
    benchmark::DoNotOptimize(destination.Pixels);
  }
  Pixels(state);
}

void BM_StbResizeFourChannels(benchmark::State& state) {
  const KTImage& source = Picture(PixelLayout::kBgra8);
  std::vector<unsigned char> out(static_cast<size_t>(kScaled) * kScaled * 4);
  for (auto _ : state) {
    const int ok = stbir_resize_uint8_generic(source.Pixels, kSide, kSide, source.Stride, out.data(), kScaled, kScaled,
                                              kScaled * 4, 4, 3, 0, STBIR_EDGE_CLAMP, STBIR_FILTER_TRIANGLE,
                                              STBIR_COLORSPACE_LINEAR, nullptr);
    if (!ok) state.SkipWithError("stbir failed");
    benchmark::DoNotOptimize(out.data());
  }
  Pixels(state);
}

// The floor for BMP and TGA decoding: the same pixel bytes copied once.
void BM_PlainCopyOfPixels(benchmark::State& state) {
  const KTImage& source = Picture(PixelLayout::kBgr8);
  std::vector<u8> out(static_cast<size_t>(source.Stride) * kSide);
  for (auto _ : state) {
    std::memcpy(out.data(), source.Pixels, out.size());
    benchmark::DoNotOptimize(out.data());
  }
  Pixels(state);
}

BENCHMARK(BM_BridgeDecodeJpeg)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LibjpegDecode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BridgeEncodeJpeg)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LibjpegEncode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BridgeDecodePng)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LibpngDecode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BridgeEncodePng)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LibpngEncode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ImgrtScaleLayout0)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StbResizeFourChannels)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BridgeDecodeBmp)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BridgeDecodeTga)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainCopyOfPixels)->Unit(benchmark::kMillisecond);

}  // namespace
