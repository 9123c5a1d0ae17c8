// Resizing a layout-1 picture with the triangle filter (the only filter the
// system uses) and decoding a run-length RGBE file, each beside
// stb_image_resize / stb_image on the same pixels in the same run.
#include <cmath>
#include <cstring>
#include <vector>

#include <benchmark/benchmark.h>

#include "render/images/pixel_buffer.h"
#include "render/images/rgbe_codec.h"

#include <stb_image.h>
#include <stb_image_resize.h>

namespace {

using namespace KT;

constexpr i32 kLarge = 4096;
constexpr i32 kSmall = 1024;
constexpr i32 kHdr = 2048;

// A smooth picture with some detail, so neither side meets constant rows.
const KTImage& Picture(i32 size) {
  static KTImage large;
  static KTImage small;
  KTImage& image = size == kLarge ? large : small;
  if (!PixelBuffer::HasPixels(image)) {
    PixelBuffer::Create(image, PixelLayout::kBgr8, size, size);
    for (i32 y = 0; y < size; ++y) {
      u8* row = image.Pixels + static_cast<size_t>(y) * static_cast<size_t>(image.Stride);
      for (i32 x = 0; x < size; ++x) {
        row[x * 3] = static_cast<u8>((x * 7 + y * 3) & 255);
        row[x * 3 + 1] = static_cast<u8>(128 + 100 * std::sin(x * 0.01 + y * 0.02));
        row[x * 3 + 2] = static_cast<u8>((x ^ y) & 255);
      }
    }
  }
  return image;
}

void ZoomBoth(benchmark::State& state, i32 from, i32 to) {
  KTImage& source = const_cast<KTImage&>(Picture(from));
  KTImage destination;
  for (auto _ : state) {
    if (PixelBuffer::Resize(source, &destination, to, to) != kOk) state.SkipWithError("resize failed");
    benchmark::DoNotOptimize(destination.Pixels);
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(std::max(from, to)) * std::max(from, to));
}

void StbBoth(benchmark::State& state, i32 from, i32 to) {
  const KTImage& source = Picture(from);
  std::vector<unsigned char> out(static_cast<size_t>(to) * static_cast<size_t>(to) * 3);
  for (auto _ : state) {
    const int ok = stbir_resize_uint8_generic(source.Pixels, from, from, source.Stride, out.data(), to, to, to * 3, 3,
                                              STBIR_ALPHA_CHANNEL_NONE, 0, STBIR_EDGE_CLAMP, STBIR_FILTER_TRIANGLE,
                                              STBIR_COLORSPACE_LINEAR, nullptr);
    if (!ok) state.SkipWithError("stbir failed");
    benchmark::DoNotOptimize(out.data());
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(std::max(from, to)) * std::max(from, to));
}

void BM_Zoom_4096_to_1024(benchmark::State& state) { ZoomBoth(state, kLarge, kSmall); }
void BM_Stbir_4096_to_1024(benchmark::State& state) { StbBoth(state, kLarge, kSmall); }
void BM_Zoom_1024_to_4096(benchmark::State& state) { ZoomBoth(state, kSmall, kLarge); }
void BM_Stbir_1024_to_4096(benchmark::State& state) { StbBoth(state, kSmall, kLarge); }

const std::vector<char>& HdrFile() {
  static std::vector<char> bytes;
  if (bytes.empty()) {
    KTImage image;
    PixelBuffer::Create(image, PixelLayout::kRgbFloat, kHdr, kHdr);
    for (i32 y = 0; y < kHdr; ++y) {
      for (i32 x = 0; x < kHdr; ++x) {
        // Runs of equal pixels beside gradients, as rendered skies and
        // walls give.
        const float v = ((x / 16) % 3 == 0) ? 0.75f : static_cast<float>(x + y) / kHdr * 4.0f;
        const float rgb[3] = {v, v * 0.5f, 0.25f};
        std::memcpy(image.Pixels + static_cast<size_t>(y) * image.Stride + static_cast<size_t>(x) * 12, rgb, 12);
      }
    }
    CBuffer<char> out;
    EncodeRgbe(image, kImageFormatHdr, out);
    bytes.assign(out.GetData(), out.GetData() + out.GetCount());
  }
  return bytes;
}

void BM_RgbeDecode_2048(benchmark::State& state) {
  const std::vector<char>& bytes = HdrFile();
  KTImage image;
  for (auto _ : state) {
    if (DecodeRgbe(bytes.data(), static_cast<u32>(bytes.size()), kImageFormatHdr, image) != kOk) {
      state.SkipWithError("decode failed");
    }
    benchmark::DoNotOptimize(image.Pixels);
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(bytes.size()));
}

void BM_StbiHdrDecode_2048(benchmark::State& state) {
  const std::vector<char>& bytes = HdrFile();
  for (auto _ : state) {
    int w = 0, h = 0, n = 0;
    float* pixels = stbi_loadf_from_memory(reinterpret_cast<const stbi_uc*>(bytes.data()),
                                           static_cast<int>(bytes.size()), &w, &h, &n, 3);
    if (pixels == nullptr) state.SkipWithError("stbi failed");
    benchmark::DoNotOptimize(pixels);
    stbi_image_free(pixels);
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(bytes.size()));
}

BENCHMARK(BM_Zoom_4096_to_1024)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Stbir_4096_to_1024)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Zoom_1024_to_4096)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Stbir_1024_to_4096)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RgbeDecode_2048)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StbiHdrDecode_2048)->Unit(benchmark::kMillisecond);

}  // namespace
