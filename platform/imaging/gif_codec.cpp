#include "platform/imaging/gif_codec.h"

#include <gif_lib.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <unordered_map>

#include "platform/debug_output.h"

namespace KT::Imaging {

namespace {

// An LZW code of at least 3 bits yields at most 4096 pixels: no GIF codes
// more than about 11000 pixels per byte.
constexpr std::uint64_t kMaxPixelsPerByte = 11000;

int ReadFromMemory(GifFileType* gif, GifByteType* out, int count) {
  auto* reader = static_cast<MemoryReader*>(gif->UserData);
  if (count < 0) return 0;
  const std::size_t n = std::min(static_cast<std::size_t>(count), reader->size - reader->at);
  std::memcpy(out, reader->bytes + reader->at, n);
  reader->at += n;
  return static_cast<int>(n);
}

int WriteToMemory(GifFileType* gif, const GifByteType* data, int count) {
  auto* out = static_cast<std::vector<std::uint8_t>*>(gif->UserData);
  out->insert(out->end(), data, data + count);
  return count;
}

void Report(const char* what, int error) {
  Platform::OutputDebugText(std::string("gif: ") + what + ": " + (GifErrorString(error) ? GifErrorString(error) : "?"));
}

struct Reader {
  GifFileType* gif = nullptr;
  ~Reader() {
    int ignored = 0;
    if (gif != nullptr) DGifCloseFile(gif, &ignored);
  }
};

struct Control {
  int delay = 0;
  int disposal = 0;
  int transparent = NO_TRANSPARENT_COLOR;
};

bool ReadFrame(GifFileType* gif, const Control& control, std::uint64_t& pixelBudget, GifFrame& frame) {
  if (DGifGetImageDesc(gif) != GIF_OK) return false;
  const GifImageDesc& d = gif->Image;
  if (d.Width < 1 || d.Height < 1 || d.Width > kMaxImageSide || d.Height > kMaxImageSide) {
    Platform::OutputDebugText("gif: frame size refused");
    return false;
  }
  const std::uint64_t pixels = static_cast<std::uint64_t>(d.Width) * static_cast<std::uint64_t>(d.Height);
  if (pixels > pixelBudget) {
    Platform::OutputDebugText("gif: frames larger than their data");
    return false;
  }
  pixelBudget -= pixels;
  const ColorMapObject* map = d.ColorMap != nullptr ? d.ColorMap : gif->SColorMap;
  std::vector<GifPixelType> indices(static_cast<std::size_t>(pixels));
  const std::size_t width = static_cast<std::size_t>(d.Width);
  if (d.Interlace) {
    static constexpr int kStart[] = {0, 4, 2, 1};
    static constexpr int kStep[] = {8, 8, 4, 2};
    for (int pass = 0; pass < 4; ++pass) {
      for (int y = kStart[pass]; y < d.Height; y += kStep[pass]) {
        if (DGifGetLine(gif, &indices[static_cast<std::size_t>(y) * width], d.Width) != GIF_OK) return false;
      }
    }
  } else {
    for (int y = 0; y < d.Height; ++y) {
      if (DGifGetLine(gif, &indices[static_cast<std::size_t>(y) * width], d.Width) != GIF_OK) return false;
    }
  }
  RgbaPixels& image = frame.image;
  image.width = d.Width;
  image.height = d.Height;
  image.matte = control.transparent != NO_TRANSPARENT_COLOR;
  image.indexed = true;
  image.resolutionUnits = kResolutionUndefined;
  image.xResolution = image.yResolution = 0;
  image.rgba.resize(static_cast<std::size_t>(pixels) * 4);
  for (std::size_t i = 0; i < indices.size(); ++i) {
    const int index = indices[i];
    std::uint8_t* o = &image.rgba[i * 4];
    if (map != nullptr && index < map->ColorCount) {
      o[0] = map->Colors[index].Red;
      o[1] = map->Colors[index].Green;
      o[2] = map->Colors[index].Blue;
    } else {
      o[0] = o[1] = o[2] = 0;
    }
    o[3] = index == control.transparent ? 0 : 255;
  }
  frame.delay = control.delay;
  frame.disposal = control.disposal;
  frame.left = d.Left;
  frame.top = d.Top;
  return true;
}

bool ReadExtension(GifFileType* gif, Control& control) {
  int code = 0;
  GifByteType* block = nullptr;
  if (DGifGetExtension(gif, &code, &block) != GIF_OK) return false;
  if (code == GRAPHICS_EXT_FUNC_CODE && block != nullptr && block[0] >= 4) {
    GraphicsControlBlock gcb;
    if (DGifExtensionToGCB(block[0], block + 1, &gcb) == GIF_OK) {
      control.delay = gcb.DelayTime;
      control.disposal = gcb.DisposalMode;
      control.transparent = gcb.TransparentColor;
    }
  }
  while (block != nullptr) {
    if (DGifGetExtensionNext(gif, &block) != GIF_OK) return false;
  }
  return true;
}

}  // namespace

bool IsGif(const std::uint8_t* bytes, std::size_t size) {
  return bytes != nullptr && size >= 6 &&
         (std::memcmp(bytes, "GIF87a", 6) == 0 || std::memcmp(bytes, "GIF89a", 6) == 0);
}

bool DecodeGif(const std::uint8_t* bytes, std::size_t size, GifAnimation& animation) {
  if (!IsGif(bytes, size)) return false;
  MemoryReader reader{bytes, size, 0};
  Reader r;
  int error = 0;
  r.gif = DGifOpen(&reader, ReadFromMemory, &error);
  if (r.gif == nullptr) {
    Report("open", error);
    return false;
  }
  GifAnimation result;
  result.screenWidth = r.gif->SWidth;
  result.screenHeight = r.gif->SHeight;
  if (r.gif->SColorMap != nullptr && r.gif->SBackGroundColor >= 0 &&
      r.gif->SBackGroundColor < r.gif->SColorMap->ColorCount) {
    const GifColorType& c = r.gif->SColorMap->Colors[r.gif->SBackGroundColor];
    result.background[0] = c.Red;
    result.background[1] = c.Green;
    result.background[2] = c.Blue;
  }
  std::uint64_t pixelBudget = static_cast<std::uint64_t>(size) * kMaxPixelsPerByte;
  Control control;
  // Only a file that reaches its trailer is whole: a cut one is refused
  // even after complete frames.
  for (;;) {
    GifRecordType type = UNDEFINED_RECORD_TYPE;
    if (DGifGetRecordType(r.gif, &type) != GIF_OK) {
      Report("record", r.gif->Error);
      return false;
    }
    if (type == IMAGE_DESC_RECORD_TYPE) {
      GifFrame frame;
      if (!ReadFrame(r.gif, control, pixelBudget, frame)) {
        Report("frame", r.gif->Error);
        return false;
      }
      result.frames.push_back(std::move(frame));
      control = Control{};
    } else if (type == EXTENSION_RECORD_TYPE) {
      if (!ReadExtension(r.gif, control)) {
        Report("extension", r.gif->Error);
        return false;
      }
    } else {
      break;  // the trailer
    }
  }
  if (result.frames.empty()) return false;
  animation = std::move(result);
  return true;
}

namespace {

struct Writer {
  GifFileType* gif = nullptr;
  ColorMapObject* map = nullptr;
  ~Writer() {
    int ignored = 0;
    if (gif != nullptr) EGifCloseFile(gif, &ignored);
    if (map != nullptr) GifFreeMapObject(map);
  }
};

}  // namespace

bool EncodeGif(const RgbaPixels& image, bool withAlpha, std::vector<std::uint8_t>& out) {
  if (image.bgr) return false;  // this codec reads R, G, B, A only
  if (image.width < 1 || image.height < 1 || image.width > 65535 || image.height > 65535) return false;
  const std::size_t pixels = static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height);
  if (image.rgba.size() != pixels * 4) return false;

  // The colour of each pixel, or -1 for a transparent one.
  auto transparentAt = [&](std::size_t i) { return withAlpha && image.rgba[i * 4 + 3] < 128; };
  std::vector<GifByteType> indices(pixels);
  std::vector<GifColorType> colours;
  int transparent = NO_TRANSPARENT_COLOR;
  GifColorType transparentColour{0, 0, 0};
  std::unordered_map<std::uint32_t, int> known;
  bool exact = true;
  for (std::size_t i = 0; i < pixels && exact; ++i) {
    if (transparentAt(i)) {
      if (transparent == NO_TRANSPARENT_COLOR) {
        transparent = 0;  // placed after the colours below
        transparentColour = {image.rgba[i * 4], image.rgba[i * 4 + 1], image.rgba[i * 4 + 2]};
      }
      continue;
    }
    const std::uint8_t* p = &image.rgba[i * 4];
    const std::uint32_t key = p[0] | (p[1] << 8) | (p[2] << 16);
    auto [it, added] = known.emplace(key, static_cast<int>(colours.size()));
    if (added) {
      if (colours.size() >= 256) {
        exact = false;
        break;
      }
      colours.push_back({p[0], p[1], p[2]});
    }
    indices[i] = static_cast<GifByteType>(it->second);
  }
  const bool hasTransparent = transparent != NO_TRANSPARENT_COLOR;
  if (exact && hasTransparent && colours.size() == 256) exact = false;
  if (!exact) {
    // Too many colours: giflib's quantiser over every pixel's colour.
    std::vector<GifByteType> red(pixels), green(pixels), blue(pixels);
    for (std::size_t i = 0; i < pixels; ++i) {
      red[i] = image.rgba[i * 4];
      green[i] = image.rgba[i * 4 + 1];
      blue[i] = image.rgba[i * 4 + 2];
    }
    int count = hasTransparent ? 255 : 256;
    colours.assign(256, GifColorType{0, 0, 0});
    if (GifQuantizeBuffer(static_cast<unsigned>(image.width), static_cast<unsigned>(image.height), &count, red.data(),
                          green.data(), blue.data(), indices.data(), colours.data()) != GIF_OK) {
      Platform::OutputDebugText("gif: colour reduction failed");
      return false;
    }
    colours.resize(static_cast<std::size_t>(std::clamp(count, 1, hasTransparent ? 255 : 256)));
  }
  if (hasTransparent) {
    transparent = static_cast<int>(colours.size());
    colours.push_back(transparentColour);
    for (std::size_t i = 0; i < pixels; ++i) {
      if (transparentAt(i)) indices[i] = static_cast<GifByteType>(transparent);
    }
  }
  // Colour maps hold a power of two entries, at least 2.
  const int bits = std::max(1, GifBitSize(static_cast<int>(colours.size())));
  colours.resize(std::size_t{1} << bits, GifColorType{0, 0, 0});

  Writer w;
  int error = 0;
  out.clear();
  w.gif = EGifOpen(&out, WriteToMemory, &error);
  if (w.gif == nullptr) {
    Report("open", error);
    return false;
  }
  w.map = GifMakeMapObject(static_cast<int>(colours.size()), colours.data());
  if (w.map == nullptr) return false;
  EGifSetGifVersion(w.gif, hasTransparent);
  bool ok = EGifPutScreenDesc(w.gif, image.width, image.height, bits, 0, w.map) == GIF_OK;
  if (ok && hasTransparent) {
    GraphicsControlBlock gcb{DISPOSAL_UNSPECIFIED, false, 0, transparent};
    GifByteType extension[4];
    const std::size_t length = EGifGCBToExtension(&gcb, extension);
    ok = EGifPutExtension(w.gif, GRAPHICS_EXT_FUNC_CODE, static_cast<int>(length), extension) == GIF_OK;
  }
  ok = ok && EGifPutImageDesc(w.gif, 0, 0, image.width, image.height, false, nullptr) == GIF_OK;
  for (int y = 0; ok && y < image.height; ++y) {
    ok = EGifPutLine(w.gif, &indices[static_cast<std::size_t>(y) * static_cast<std::size_t>(image.width)],
                     image.width) == GIF_OK;
  }
  const int closed = EGifCloseFile(w.gif, &error);
  w.gif = nullptr;
  if (!ok || closed != GIF_OK) {
    Report("write", error);
    return false;
  }
  return true;
}

}  // namespace KT::Imaging
