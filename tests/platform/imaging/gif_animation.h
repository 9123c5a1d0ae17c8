// Writes small animated GIFs for tests and seed corpora, over giflib: a
// logical screen, a global colour map and frames each with their own
// graphic control block.
#pragma once

#include <gif_lib.h>

#include <cstdint>
#include <vector>

namespace KT::Imaging::Testing {

struct AnimationFrame {
  int left = 0;
  int top = 0;
  int width = 1;
  int height = 1;
  int delay = 0;
  int disposal = 0;
  int transparent = NO_TRANSPARENT_COLOR;
  std::vector<std::uint8_t> indices;  // width x height
};

// A GIF89a of the frames over a four-colour map (black, red, green, blue);
// `background` is the screen's background index. Empty on failure.
inline std::vector<std::uint8_t> WriteAnimation(int screenWidth, int screenHeight, int background,
                                                const std::vector<AnimationFrame>& frames) {
  std::vector<std::uint8_t> out;
  auto write = [](GifFileType* gif, const GifByteType* data, int count) {
    auto* o = static_cast<std::vector<std::uint8_t>*>(gif->UserData);
    o->insert(o->end(), data, data + count);
    return count;
  };
  int error = 0;
  GifFileType* gif = EGifOpen(&out, write, &error);
  if (gif == nullptr) return {};
  const GifColorType colours[4] = {{0, 0, 0}, {255, 0, 0}, {0, 255, 0}, {0, 0, 255}};
  ColorMapObject* map = GifMakeMapObject(4, colours);
  EGifSetGifVersion(gif, true);
  bool ok = EGifPutScreenDesc(gif, screenWidth, screenHeight, 2, background, map) == GIF_OK;
  for (const AnimationFrame& f : frames) {
    GraphicsControlBlock gcb{f.disposal, false, f.delay, f.transparent};
    GifByteType extension[4];
    const size_t length = EGifGCBToExtension(&gcb, extension);
    ok = ok && EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, static_cast<int>(length), extension) == GIF_OK;
    ok = ok && EGifPutImageDesc(gif, f.left, f.top, f.width, f.height, false, nullptr) == GIF_OK;
    std::vector<GifPixelType> row(static_cast<size_t>(f.width));
    for (int y = 0; ok && y < f.height; ++y) {
      for (int x = 0; x < f.width; ++x) row[static_cast<size_t>(x)] = f.indices[static_cast<size_t>(y * f.width + x)];
      ok = EGifPutLine(gif, row.data(), f.width) == GIF_OK;
    }
  }
  ok = EGifCloseFile(gif, &error) == GIF_OK && ok;
  GifFreeMapObject(map);
  return ok ? out : std::vector<std::uint8_t>{};
}

// Three frames: 2 x 2 at (0, 0) red, delay 10, disposal 1; 1 x 2 at (1, 0)
// green, delay 20, disposal 2, index 0 transparent; 2 x 1 at (0, 1) blue,
// delay 30, disposal 3. Screen 2 x 2, background index 3 (blue).
inline std::vector<std::uint8_t> ThreeFrameAnimation() {
  return WriteAnimation(2, 2, 3,
                        {{0, 0, 2, 2, 10, 1, NO_TRANSPARENT_COLOR, {1, 1, 1, 1}},
                         {1, 0, 1, 2, 20, 2, 0, {2, 0}},
                         {0, 1, 2, 1, 30, 3, NO_TRANSPARENT_COLOR, {3, 3}}});
}

}  // namespace KT::Imaging::Testing
