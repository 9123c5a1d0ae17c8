#include "render/resample/gif_picture.h"

#include <cstdio>
#include <cstring>

namespace KT::Resample {

namespace {

constexpr int kMaxCodes = 4096;
constexpr int kStackSize = 8192;

// A cursor over the file's bytes; every read is checked.
class Reader {
 public:
  Reader(const std::uint8_t* bytes, size_t size) : bytes_(bytes), size_(size) {}
  bool Byte(int& v) {
    if (at_ >= size_) return false;
    v = bytes_[at_++];
    return true;
  }
  bool Word(int& v) {
    if (size_ - at_ < 2 || at_ > size_) return false;
    v = bytes_[at_] | (bytes_[at_ + 1] << 8);
    at_ += 2;
    return true;
  }
  bool Bytes(std::uint8_t* out, size_t n) {
    if (n > size_ - at_) return false;
    std::memcpy(out, bytes_ + at_, n);
    at_ += n;
    return true;
  }
  size_t Left() const { return size_ - at_; }

 private:
  const std::uint8_t* bytes_;
  size_t size_;
  size_t at_ = 0;
};

bool SkipSubBlocks(Reader& r) {
  for (;;) {
    int n;
    if (!r.Byte(n)) return false;
    if (n == 0) return true;
    std::vector<std::uint8_t> skip(static_cast<size_t>(n));
    if (!r.Bytes(skip.data(), skip.size())) return false;
  }
}

// Data sub-blocks, collected in steps of 256 bytes.
bool CollectSubBlocks(Reader& r, std::vector<std::uint8_t>& data) {
  for (;;) {
    int n;
    if (!r.Byte(n)) return false;
    if (n == 0) return true;
    const size_t at = data.size();
    if (data.capacity() < at + static_cast<size_t>(n)) data.reserve((at + static_cast<size_t>(n) + 255) / 256 * 256);
    data.resize(at + static_cast<size_t>(n));
    if (!r.Bytes(data.data() + at, static_cast<size_t>(n))) return false;
  }
}

// Codes least-significant bit first from the data sub-blocks.
class CodeReader {
 public:
  explicit CodeReader(Reader& r) : r_(r) {}
  // -1 when the sub-blocks end (block terminator) or on a short read.
  int Next(int width) {
    while (bits_ < width) {
      if (left_ == 0) {
        if (ended_) return -1;
        int n;
        if (!r_.Byte(n)) {
          failed_ = true;
          return -1;
        }
        if (n == 0) {
          ended_ = true;
          return -1;
        }
        left_ = n;
      }
      int b;
      if (!r_.Byte(b)) {
        failed_ = true;
        return -1;
      }
      --left_;
      buffer_ |= static_cast<std::uint32_t>(b) << bits_;
      bits_ += 8;
    }
    const int code = static_cast<int>(buffer_ & ((1u << width) - 1));
    buffer_ >>= width;
    bits_ -= width;
    return code;
  }
  // Skips what is left of the image's data sub-blocks.
  bool Finish() {
    if (failed_) return false;
    if (ended_) return true;
    if (left_ > 0) {
      std::vector<std::uint8_t> skip(static_cast<size_t>(left_));
      if (!r_.Bytes(skip.data(), skip.size())) return false;
      left_ = 0;
    }
    return SkipSubBlocks(r_);
  }
  bool Failed() const { return failed_; }

 private:
  Reader& r_;
  std::uint32_t buffer_ = 0;
  int bits_ = 0;
  int left_ = 0;
  bool ended_ = false;
  bool failed_ = false;
};

// Row of the n-th stored row of an interlaced image (the four passes).
int InterlacedRow(int n, int height) {
  const int starts[4] = {0, 4, 2, 1};
  const int steps[4] = {8, 8, 4, 2};
  for (int pass = 0; pass < 4; ++pass) {
    const int rows = starts[pass] < height ? (height - starts[pass] + steps[pass] - 1) / steps[pass] : 0;
    if (n < rows) return starts[pass] + n * steps[pass];
    n -= rows;
  }
  return -1;
}

bool DecodeLzw(Reader& r, GifRecord& image) {
  int s;
  if (!r.Byte(s)) return false;
  if (s < 1 || s > 11) return false;
  const int clear = 1 << s;
  const int end = clear + 1;
  std::vector<std::int16_t> prefix(kMaxCodes, 0);
  std::vector<std::uint8_t> suffix(kMaxCodes, 0);
  for (int i = 0; i < clear; ++i) suffix[static_cast<size_t>(i)] = static_cast<std::uint8_t>(i);
  std::vector<std::uint8_t> stack(kStackSize);
  int width = s + 1;
  int available = clear + 2;
  int old = -1;
  int first = 0;
  const size_t total = image.pixels.size();
  size_t written = 0;
  const int w = image.width;
  auto put = [&](std::uint8_t index) {
    if (written >= total) return;
    const int row = static_cast<int>(written / static_cast<size_t>(w));
    const int column = static_cast<int>(written % static_cast<size_t>(w));
    const int y = image.interlaced ? InterlacedRow(row, image.height) : row;
    if (y >= 0) image.pixels[static_cast<size_t>(y) * static_cast<size_t>(w) + static_cast<size_t>(column)] = index;
    ++written;
  };
  CodeReader codes(r);
  for (;;) {
    int code = codes.Next(width);
    if (code < 0) break;  // the data ended without an end code
    if (code == clear) {
      width = s + 1;
      available = clear + 2;
      old = -1;
      continue;
    }
    if (code == end) break;
    if (old < 0) {
      if (code >= clear) return false;
      put(suffix[static_cast<size_t>(code)]);
      old = first = code;
      continue;
    }
    const int in = code;
    int depth = 0;
    if (code > available) return false;
    if (code == available) {
      stack[static_cast<size_t>(depth++)] = static_cast<std::uint8_t>(first);
      code = old;
    }
    while (code >= clear) {
      if (depth >= kStackSize || code >= available) return false;  // a chain that loops
      stack[static_cast<size_t>(depth++)] = suffix[static_cast<size_t>(code)];
      code = prefix[static_cast<size_t>(code)];
    }
    first = suffix[static_cast<size_t>(code)];
    if (depth >= kStackSize) return false;
    stack[static_cast<size_t>(depth++)] = static_cast<std::uint8_t>(first);
    if (available < kMaxCodes) {
      prefix[static_cast<size_t>(available)] = static_cast<std::int16_t>(old);
      suffix[static_cast<size_t>(available)] = static_cast<std::uint8_t>(first);
      ++available;
      if (available >= (1 << width) && width < 12) ++width;
    }
    old = in;
    while (depth > 0) put(stack[static_cast<size_t>(--depth)]);
  }
  return codes.Finish();
}

bool ReadColorTable(Reader& r, size_t entries, std::vector<std::uint8_t>& table) {
  table.resize(entries * 3);
  return r.Bytes(table.data(), table.size());
}

}  // namespace

bool DecodeGif(const std::uint8_t* bytes, size_t size, GifFile& gif) {
  Reader r(bytes, size);
  std::uint8_t header[6];
  if (!r.Bytes(header, 6)) return false;
  if (std::memcmp(header, "GIF87a", 6) != 0 && std::memcmp(header, "GIF89a", 6) != 0) return false;
  int packed, background, aspect;
  if (!r.Word(gif.screenWidth) || !r.Word(gif.screenHeight) || !r.Byte(packed) || !r.Byte(background) ||
      !r.Byte(aspect)) {
    return false;
  }
  gif.colorResolution = ((packed >> 4) & 7) + 1;
  gif.aspect = aspect;
  if ((packed & 0x80) != 0) {
    if (!ReadColorTable(r, static_cast<size_t>(2) << (packed & 7), gif.colorTable)) return false;
    gif.background = background;
  } else {
    gif.background = -1;
  }
  GifRecord control;  // graphic-control values for the next record
  for (;;) {
    int block;
    if (!r.Byte(block)) return false;  // no trailer
    if (block == 0x3B) return true;
    if (block == 0x21) {
      int label;
      if (!r.Byte(label)) return false;
      if (label == 0xF9) {
        int n;
        if (!r.Byte(n)) return false;
        std::vector<std::uint8_t> sub(static_cast<size_t>(n));
        if (!r.Bytes(sub.data(), sub.size())) return false;
        if (n >= 4) {
          control.userInput = (sub[0] >> 1) & 1;
          control.disposal = (sub[0] >> 2) & 7;
          control.delay = sub[1] | (sub[2] << 8);
          if ((sub[0] & 1) != 0) control.transparent = sub[3];
        }
        if (n > 0 && !SkipSubBlocks(r)) return false;
      } else if (label == 0xFE || label == 0x01) {
        GifRecord record = control;
        record.kind = label == 0xFE ? GifRecord::kComment : GifRecord::kPlainText;
        if (label == 0x01) {
          int n;
          if (!r.Byte(n)) return false;
          std::vector<std::uint8_t> sub(static_cast<size_t>(n));
          if (!r.Bytes(sub.data(), sub.size())) return false;
          if (n >= 12) {
            record.left = sub[0] | (sub[1] << 8);
            record.top = sub[2] | (sub[3] << 8);
            record.width = sub[4] | (sub[5] << 8);
            record.height = sub[6] | (sub[7] << 8);
            record.cellWidth = sub[8];
            record.cellHeight = sub[9];
            record.foreground = sub[10];
            record.background = sub[11];
          }
          if (n == 0) {
            gif.records.push_back(std::move(record));
            control = GifRecord();
            continue;
          }
        }
        if (!CollectSubBlocks(r, record.data)) return false;
        gif.records.push_back(std::move(record));
        if (label == 0x01) control = GifRecord();  // text consumes the control values
      } else {
        if (!SkipSubBlocks(r)) return false;
      }
    } else if (block == 0x2C) {
      GifRecord image = control;
      image.kind = GifRecord::kImage;
      int imagePacked;
      if (!r.Word(image.left) || !r.Word(image.top) || !r.Word(image.width) || !r.Word(image.height) ||
          !r.Byte(imagePacked)) {
        return false;
      }
      if ((imagePacked & 0x80) != 0 &&
          !ReadColorTable(r, static_cast<size_t>(1) << ((imagePacked & 7) + 1), image.colorTable)) {
        return false;
      }
      image.interlaced = (imagePacked & 0x40) != 0;
      // A code of at least 2 bits gives at most 4096 indexes, so the data
      // left bounds the rectangle that can be filled: larger claims are
      // refused before the pixels are allocated.
      const std::uint64_t area = static_cast<std::uint64_t>(image.width) * static_cast<std::uint64_t>(image.height);
      if (area > static_cast<std::uint64_t>(r.Left()) * 4 * kMaxCodes) return false;
      image.pixels.assign(static_cast<size_t>(area), 0);
      if (image.width > 0 && image.height > 0) {
        if (!DecodeLzw(r, image)) return false;
      } else {
        int s;
        if (!r.Byte(s) || !SkipSubBlocks(r)) return false;
      }
      gif.records.push_back(std::move(image));
      control = GifRecord();
    } else {
      return false;
    }
  }
}

bool GifPicture::OpenFile(const char* name, const char* mode) {
  const std::string fileName = name != nullptr ? name : "";
  if (std::strcmp(mode, "r") != 0) {
    std::fprintf(stderr, "?GIF output not supported.\n");
    return false;
  }
  std::FILE* file = fileName == "-.gif" ? std::freopen(nullptr, "rb", stdin) : std::fopen(fileName.c_str(), "rb");
  if (file == nullptr) {
    std::fprintf(stderr, "%s: cannot open.\n", fileName.c_str());
    return false;
  }
  std::vector<std::uint8_t> bytes;
  std::uint8_t chunk[65536];
  size_t got;
  while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) bytes.insert(bytes.end(), chunk, chunk + got);
  const bool readError = std::ferror(file) != 0;
  if (file != stdin) std::fclose(file);
  if (readError) {
    std::fprintf(stderr, "%s: read error.\n", fileName.c_str());
    return false;
  }
  return OpenBytes(bytes.data(), bytes.size(), fileName.c_str());
}

bool GifPicture::OpenBytes(const std::uint8_t* bytes, size_t size, const char* name) {
  gif_ = GifFile();
  if (!DecodeGif(bytes, size, gif_)) {
    std::fprintf(stderr, "%s: bad GIF file.\n", name);
    return false;
  }
  return Start(name);
}

bool GifPicture::Start(const char* name) {
  current_ = -1;
  for (size_t i = 0; i < gif_.records.size(); ++i) {
    if (gif_.records[i].kind == GifRecord::kImage) {
      current_ = static_cast<int>(i);
      break;
    }
  }
  if (current_ < 0) {
    std::fprintf(stderr, "%s: no image in GIF file.\n", name);
    return false;
  }
  ChooseChannels();
  return true;
}

const GifRecord* GifPicture::GetCurrentImage() const {
  return current_ >= 0 ? &gif_.records[static_cast<size_t>(current_)] : nullptr;
}

void GifPicture::ChooseChannels() {
  const GifRecord* image = GetCurrentImage();
  const std::vector<std::uint8_t>& table =
      image != nullptr && !image->colorTable.empty() ? image->colorTable : gif_.colorTable;
  bool grey = true;
  for (size_t i = 0; i + 2 < table.size(); i += 3) {
    if (table[i] != table[i + 1] || table[i] != table[i + 2]) grey = false;
  }
  channels_ = grey ? 1 : 3;
}

void GifPicture::GetWindow(int& x0, int& y0, int& width, int& height) const {
  x0 = 0;
  y0 = 0;
  width = gif_.screenWidth;
  height = gif_.screenHeight;
}

void GifPicture::WritePixel(int, int, int) { std::fprintf(stderr, "?gif_write_pixel\n"); }
void GifPicture::WritePixelRgba(int, int, const std::uint8_t*) { std::fprintf(stderr, "?gif_write_pixel_rgba\n"); }
void GifPicture::WriteRow(int, int, int, const std::uint8_t*) { std::fprintf(stderr, "?GIF output not supported.\n"); }
void GifPicture::WriteRowRgba(int, int, int, const std::uint8_t*) {
  std::fprintf(stderr, "?GIF output not supported.\n");
}
int GifPicture::ReadPixel(int, int) {
  std::fprintf(stderr, "?gif_read_pixel\n");
  return 0;
}
void GifPicture::ReadPixelRgba(int, int, std::uint8_t*) { std::fprintf(stderr, "?gif_read_pixel_rgba\n"); }

bool GifPicture::ColorAt(int x, int y, const std::uint8_t*& rgb) const {
  const GifRecord* image = GetCurrentImage();
  if (image == nullptr) return false;
  const int ix = x - image->left;
  const int iy = y - image->top;
  if (ix < 0 || iy < 0 || ix >= image->width || iy >= image->height) return false;
  const std::vector<std::uint8_t>& table = !image->colorTable.empty() ? image->colorTable : gif_.colorTable;
  const size_t index = image->pixels[static_cast<size_t>(iy) * static_cast<size_t>(image->width) + static_cast<size_t>(ix)];
  if (index * 3 + 2 >= table.size()) return false;
  rgb = &table[index * 3];
  return true;
}

void GifPicture::ReadRow(int y, int x0, int count, std::uint8_t* samples) {
  if (channels_ != 1) return;
  for (int i = 0; i < count; ++i) {
    const std::uint8_t* rgb = nullptr;
    samples[i] = ColorAt(x0 + i, y, rgb) ? rgb[0] : 0;
  }
}

void GifPicture::ReadRowRgba(int y, int x0, int count, std::uint8_t* rgba) {
  if (channels_ != 3) return;
  for (int i = 0; i < count; ++i) {
    std::uint8_t* o = rgba + static_cast<size_t>(i) * 4;
    const std::uint8_t* rgb = nullptr;
    if (ColorAt(x0 + i, y, rgb)) {
      o[0] = rgb[0];
      o[1] = rgb[1];
      o[2] = rgb[2];
    } else {
      o[0] = o[1] = o[2] = 0;
    }
  }
}

bool GifPicture::NextImage() {
  for (size_t i = static_cast<size_t>(current_ + 1); i < gif_.records.size(); ++i) {
    if (gif_.records[i].kind == GifRecord::kImage) {
      current_ = static_cast<int>(i);
      ChooseChannels();
      return true;
    }
  }
  return false;
}

}  // namespace KT::Resample
