#include "render/resample/bmp_picture.h"

#include <algorithm>
#include <cstring>

namespace KT::Resample {

namespace {

constexpr std::uint32_t kFileHeaderSize = 14;
constexpr std::uint32_t kInfoHeaderSize = 40;

std::uint16_t Get16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
std::uint32_t Get32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
void Put16(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}
void Put32(std::uint8_t* p, std::uint32_t v) {
  Put16(p, v);
  Put16(p + 2, v >> 16);
}

// round(v * 255 / 31) for the 5-bit fields of 16-bit pixels.
constexpr std::uint8_t kExpand5[32] = {0,   8,   16,  25,  33,  41,  49,  58,  66,  74,  82,
                                       90,  99,  107, 115, 123, 132, 140, 148, 156, 165, 173,
                                       181, 189, 197, 206, 214, 222, 230, 239, 247, 255};

// Reads a whole stream; false on a read error.
bool ReadAll(std::FILE* file, std::vector<std::uint8_t>& bytes) {
  std::uint8_t chunk[65536];
  for (;;) {
    const size_t got = std::fread(chunk, 1, sizeof chunk, file);
    bytes.insert(bytes.end(), chunk, chunk + got);
    if (got < sizeof chunk) return std::ferror(file) == 0;
  }
}

}  // namespace

BmpPicture::BmpPicture(int width, int height, int channels, const std::uint8_t* pixels, int stride,
                       PictureMode mode, bool borrow)
    : valid_(true),
      readMode_(mode == PictureMode::kRead),
      inMemory_(true),
      width_(width),
      height_(height < 0 ? -height : height),
      channels_(channels),
      bitCount_(channels * 8) {
  const size_t rowBytes = static_cast<size_t>(width_) * static_cast<size_t>(channels_);
  const size_t step = stride > 0 ? static_cast<size_t>(stride) : rowBytes;
  if (borrow && pixels != nullptr) {
    rows_ = const_cast<std::uint8_t*>(pixels);
    stride_ = static_cast<int>(step);
    return;
  }
  stride_ = static_cast<int>((rowBytes + 3) & ~size_t{3});
  pixels_.assign(static_cast<size_t>(stride_) * static_cast<size_t>(height_), 0);
  rows_ = pixels_.data();
  if (pixels == nullptr) return;
  for (int y = 0; y < height_; ++y) {
    std::memcpy(&pixels_[static_cast<size_t>(stride_) * static_cast<size_t>(y)], pixels + step * static_cast<size_t>(y),
                rowBytes);
  }
}

BmpPicture::~BmpPicture() {
  if (file_ != nullptr && !readMode_) Finish();
  if (file_ != nullptr && ownsFile_) std::fclose(file_);
}

bool BmpPicture::OpenFile(const char* name, const char* mode) {
  name_ = name != nullptr ? name : "";
  const bool standard = name_ == "-.bmp";
  if (std::strcmp(mode, "r") == 0) {
    readMode_ = true;
    if (standard) {
      file_ = std::freopen(nullptr, "rb", stdin);
    } else {
      file_ = std::fopen(name_.c_str(), "rb");
      ownsFile_ = file_ != nullptr;
    }
    if (file_ == nullptr) {
      std::fprintf(stderr, "%s: read header failed.\n", name_.c_str());
      return false;
    }
    if (!ReadHeader()) return false;  // it printed the reason
    valid_ = true;
    return true;
  }
  if (std::strcmp(mode, "w") == 0) {
    readMode_ = false;
    if (standard) {
      file_ = std::freopen(nullptr, "wb", stdout);
    } else {
      file_ = std::fopen(name_.c_str(), "wb");
      ownsFile_ = file_ != nullptr;
    }
    if (file_ == nullptr) {
      std::fprintf(stderr, "%s: cannot open for writing.\n", name_.c_str());
      return false;
    }
    channels_ = 3;
    bitCount_ = 24;
    valid_ = true;
    return true;
  }
  std::fprintf(stderr, "%s: unknown mode %s\n", name_.c_str(), mode);
  return false;
}

bool BmpPicture::ReadHeader() {
  std::vector<std::uint8_t> file;
  const char* name = name_.c_str();
  if (!ReadAll(file_, file)) {
    std::fprintf(stderr, "%s: read header failed.\n", name);
    return false;
  }
  if (file.size() < kFileHeaderSize || file[0] != 'B' || file[1] != 'M') {
    std::fprintf(stderr, "%s doesn't begin with 'BM'.\n", name);
    return false;
  }
  if (file.size() < kFileHeaderSize + kInfoHeaderSize) {
    std::fprintf(stderr, "%s: read header failed.\n", name);
    return false;
  }
  const std::uint8_t* info = file.data() + kFileHeaderSize;
  const std::uint32_t offset = Get32(file.data() + 10);
  const std::uint32_t infoSize = Get32(info);
  const std::int32_t width = static_cast<std::int32_t>(Get32(info + 4));
  const std::int32_t height = static_cast<std::int32_t>(Get32(info + 8));
  const int depth = Get16(info + 14);
  const std::uint32_t compression = Get32(info + 16);
  if (compression != 0) {
    std::fprintf(stderr, "%s is compressed; only BI_RGB supported.\n", name);
    return false;
  }
  std::uint64_t rowBytes = 0;
  const std::uint64_t w = width > 0 ? static_cast<std::uint64_t>(width) : 0;
  switch (depth) {
    case 1: rowBytes = (w + 7) / 8; break;
    case 2: rowBytes = (w + 3) / 4; break;
    case 4: rowBytes = (w + 1) / 2; break;
    case 8: rowBytes = w; break;
    case 16: rowBytes = 2 * w; break;
    case 24: rowBytes = 3 * w; break;
    case 32: rowBytes = 4 * w; break;
    default:
      std::fprintf(stderr, "%s has unsupported bit depth %d\n", name, depth);
      return false;
  }
  // A header longer than 40 bytes: the surplus is skipped; the palette
  // follows the header as stored.
  std::uint64_t position = kFileHeaderSize + std::max<std::uint64_t>(infoSize, kInfoHeaderSize);
  const std::uint64_t absHeight = height < 0 ? -static_cast<std::int64_t>(height) : height;
  const std::uint64_t stride = (rowBytes + 3) & ~std::uint64_t{3};
  if (width <= 0 || height == 0 || absHeight > 0x7FFFFFFF || stride > 0x7FFFFFFF) {
    std::fprintf(stderr, "%s: read header failed.\n", name);
    return false;
  }
  if (depth < 16) {
    const std::uint64_t entries = std::uint64_t{1} << depth;
    if (position + entries * 4 > file.size()) {
      std::fprintf(stderr, "%s: read header failed.\n", name);
      return false;
    }
    for (std::uint64_t i = 0; i < entries; ++i) {
      palette_[i] = Get32(file.data() + position + i * 4) | 0xFF000000u;
    }
    position += entries * 4;
  }
  // The pixel array starts at the offset the file header gives.
  const std::uint64_t start = offset;
  // Every row must be present (the last one without its padding) before
  // anything is kept.
  if (start + stride * (absHeight - 1) + rowBytes > file.size()) {
    std::fprintf(stderr, "%s: read header failed.\n", name);
    return false;
  }
  width_ = width;
  height_ = static_cast<int>(absHeight);
  channels_ = 3;
  bitCount_ = depth;
  stride_ = static_cast<int>(stride);
  bottomUp_ = height > 0;
  pixels_.assign(file.begin() + static_cast<std::ptrdiff_t>(start), file.end());
  pixels_.resize(static_cast<size_t>(stride * absHeight), 0);
  rows_ = pixels_.data();
  return true;
}

const std::uint8_t* BmpPicture::RowData(int y) {
  if (y < 0 || y >= height_) return nullptr;
  // Rows stored bottom-up are turned over, so row 0 is the top row
  // whether the file was read from a name or from standard input.
  const int stored = bottomUp_ ? height_ - 1 - y : y;
  return rows_ + static_cast<size_t>(stride_) * static_cast<size_t>(stored);
}

std::uint8_t* BmpPicture::GetDirectRow(int y, bool forWriting) {
  if (!inMemory_ || forWriting == readMode_ || y < 0 || y >= height_) return nullptr;
  if (!((channels_ == 1 && bitCount_ == 8) || (channels_ == 3 && bitCount_ == 24))) return nullptr;
  return rows_ + static_cast<size_t>(stride_) * static_cast<size_t>(y);
}

void BmpPicture::SetChannelCount(int channels) {
  if (!readMode_ && !inMemory_ && !headerWritten_ && channels >= 1 && channels <= 4) {
    channels_ = channels;
    bitCount_ = channels * 8;
  }
}

void BmpPicture::SetWindow(int x0, int y0, int width, int height) {
  if (readMode_ || inMemory_ || headerWritten_ || width < 1 || height < 1) return;
  width_ = x0 + width;
  height_ = y0 + height;
  stride_ = static_cast<int>((static_cast<size_t>(width_) * static_cast<size_t>(channels_) + 3) & ~size_t{3});
}

void BmpPicture::GetWindow(int& x0, int& y0, int& width, int& height) const {
  if (width_ < 1 || height_ < 1) {
    x0 = y0 = width = height = kUndefinedCoordinate;
    return;
  }
  x0 = 0;
  y0 = 0;
  width = width_;
  height = height_;
}

void BmpPicture::WritePixel(int, int, int) { std::fprintf(stderr, "?picbmp_write_pixel\n"); }
void BmpPicture::WritePixelRgba(int, int, const std::uint8_t*) { std::fprintf(stderr, "?picbmp_write_pixel_rgba\n"); }
int BmpPicture::ReadPixel(int, int) {
  std::fprintf(stderr, "?picbmp_read_pixel\n");
  return 0;
}
void BmpPicture::ReadPixelRgba(int, int, std::uint8_t*) { std::fprintf(stderr, "?picbmp_read_pixel_rgba\n"); }

bool BmpPicture::FlushFileRow() {
  if (rowInBuffer_ < 0) return true;
  if (std::fwrite(rowBuffer_.data(), 1, rowBuffer_.size(), file_) != rowBuffer_.size()) writeFailed_ = true;
  rowsDone_ = rowInBuffer_ + 1;
  rowInBuffer_ = -1;
  return !writeFailed_;
}

std::uint8_t* BmpPicture::FileRowForWrite(int y) {
  if (y < 0 || y >= height_ || y < rowsDone_) return nullptr;
  if (y == rowInBuffer_) return rowBuffer_.data();
  FlushFileRow();
  if (!headerWritten_) {
    std::uint8_t header[54] = {};
    header[0] = 'B';
    header[1] = 'M';
    Put32(header + 2, static_cast<std::uint32_t>(height_) * static_cast<std::uint32_t>(stride_) + 54);
    Put32(header + 10, 54);
    Put32(header + 14, 40);
    Put32(header + 18, static_cast<std::uint32_t>(width_));
    Put32(header + 22, static_cast<std::uint32_t>(-height_));  // rows top-down
    Put16(header + 26, 1);
    Put16(header + 28, static_cast<std::uint32_t>(channels_ * 8));
    if (std::fwrite(header, 1, sizeof header, file_) != sizeof header) writeFailed_ = true;
    headerWritten_ = true;
  }
  rowBuffer_.assign(static_cast<size_t>(stride_), 0);
  while (rowsDone_ < y) {
    if (std::fwrite(rowBuffer_.data(), 1, rowBuffer_.size(), file_) != rowBuffer_.size()) writeFailed_ = true;
    ++rowsDone_;
  }
  rowInBuffer_ = y;
  return rowBuffer_.data();
}

bool BmpPicture::Finish() {
  if (file_ == nullptr || readMode_ || width_ < 1 || height_ < 1) return !writeFailed_;
  if (height_ > 0 && rowsDone_ < height_ && rowInBuffer_ < 0) FileRowForWrite(rowsDone_);
  FlushFileRow();
  std::vector<std::uint8_t> zero(static_cast<size_t>(stride_), 0);
  while (rowsDone_ < height_) {
    if (std::fwrite(zero.data(), 1, zero.size(), file_) != zero.size()) writeFailed_ = true;
    ++rowsDone_;
  }
  if (std::fflush(file_) != 0) writeFailed_ = true;
  return !writeFailed_;
}

void BmpPicture::WriteRow(int y, int x0, int count, const std::uint8_t* samples) {
  if (readMode_ || channels_ != 1) return;
  std::uint8_t* row = inMemory_ ? (y >= 0 && y < height_ ? rows_ + static_cast<size_t>(stride_) * static_cast<size_t>(y) : nullptr)
                                : FileRowForWrite(y);
  if (row == nullptr) return;
  for (int i = 0; i < count; ++i) {
    const int x = x0 + i;
    if (x >= 0 && x < width_) row[x] = samples[i];
  }
}

void BmpPicture::WriteRowRgba(int y, int x0, int count, const std::uint8_t* rgba) {
  if (readMode_ || channels_ != 3) return;
  std::uint8_t* row = inMemory_ ? (y >= 0 && y < height_ ? rows_ + static_cast<size_t>(stride_) * static_cast<size_t>(y) : nullptr)
                                : FileRowForWrite(y);
  if (row == nullptr) return;
  const int first = x0 < 0 ? -x0 : 0;
  const int last = std::min(count, width_ - x0);
  for (int i = first; i < last; ++i) {
    std::uint8_t* o = row + static_cast<size_t>(x0 + i) * 3;
    const std::uint8_t* s = rgba + static_cast<size_t>(i) * 4;
    o[0] = s[2];
    o[1] = s[1];
    o[2] = s[0];
  }
}

void BmpPicture::ReadRow(int y, int x0, int count, std::uint8_t* samples) {
  if (!readMode_ || channels_ != 1) return;
  const std::uint8_t* row = RowData(y);
  for (int i = 0; i < count; ++i) {
    const int x = x0 + i;
    samples[i] = (row != nullptr && x >= 0 && x < width_) ? row[x] : 0;
  }
}

void BmpPicture::ReadRowRgba(int y, int x0, int count, std::uint8_t* rgba) {
  if (!readMode_ || channels_ != 3) return;
  const std::uint8_t* row = RowData(y);
  for (int i = 0; i < count; ++i) {
    const int x = x0 + i;
    std::uint8_t* o = rgba + static_cast<size_t>(i) * 4;
    if (row == nullptr || x < 0 || x >= width_) {
      o[0] = o[1] = o[2] = 0;
      o[3] = 255;
      continue;
    }
    std::uint32_t entry;
    switch (bitCount_) {
      case 24: {
        const std::uint8_t* p = row + static_cast<size_t>(x) * 3;
        o[0] = p[2];
        o[1] = p[1];
        o[2] = p[0];
        o[3] = 255;
        continue;
      }
      case 32: {
        const std::uint8_t* p = row + static_cast<size_t>(x) * 4;
        o[0] = p[2];
        o[1] = p[1];
        o[2] = p[0];
        o[3] = 255;
        continue;
      }
      case 16: {
        const std::uint16_t v = Get16(row + static_cast<size_t>(x) * 2);
        o[0] = kExpand5[(v >> 10) & 31];
        o[1] = kExpand5[(v >> 5) & 31];
        o[2] = kExpand5[v & 31];
        o[3] = 255;
        continue;
      }
      case 8: entry = palette_[row[x]]; break;
      case 4: entry = palette_[(row[x / 2] >> (4 * (1 - x % 2))) & 15]; break;
      case 2: entry = palette_[(row[x / 4] >> (2 * (3 - x % 4))) & 3]; break;
      case 1: entry = palette_[(row[x / 8] >> (7 - x % 8)) & 1]; break;
      default: entry = 0; break;
    }
    o[0] = static_cast<std::uint8_t>(entry >> 16);
    o[1] = static_cast<std::uint8_t>(entry >> 8);
    o[2] = static_cast<std::uint8_t>(entry);
    o[3] = static_cast<std::uint8_t>(entry >> 24);
  }
}

}  // namespace KT::Resample
