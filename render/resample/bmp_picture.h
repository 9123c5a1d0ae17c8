// KT::Resample::BmpPicture: the "bmp" picture kind, in memory or over a BMP
// file.
//
// A BMP file is read whole into memory when it opens (its size bounds what
// is allocated), so rows can be read in any order; every size in its
// headers is checked against the bytes present first.
#pragma once

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <vector>

#include "render/resample/picture.h"

namespace KT::Resample {

class BmpPicture final : public Picture {
 public:
  // In memory: `channels` bytes per pixel, rows copied from `pixels`
  // (`stride` apart, 0: packed; null: zero rows). With `borrow` the
  // picture works on the caller's rows in place instead (they must outlive
  // it; a read-mode picture never writes them).
  BmpPicture(int width, int height, int channels, const std::uint8_t* pixels, int stride, PictureMode mode,
             bool borrow = false);
  // A file picture; Open answers false (after printing the reason) when the
  // file cannot be used.
  BmpPicture() = default;
  ~BmpPicture() override;

  bool OpenFile(const char* name, const char* mode);
  bool IsValid() const { return valid_; }

  const char* GetDeviceName() const override { return "bmp"; }
  void SetChannelCount(int channels) override;
  void SetWindow(int x0, int y0, int width, int height) override;
  void WritePixel(int, int, int) override;
  void WritePixelRgba(int, int, const std::uint8_t*) override;
  void WriteRow(int y, int x0, int count, const std::uint8_t* samples) override;
  void WriteRowRgba(int y, int x0, int count, const std::uint8_t* rgba) override;
  int GetChannelCount() const override { return channels_; }
  void GetWindow(int& x0, int& y0, int& width, int& height) const override;
  int ReadPixel(int, int) override;
  void ReadPixelRgba(int, int, std::uint8_t*) override;
  void ReadRow(int y, int x0, int count, std::uint8_t* samples) override;
  void ReadRowRgba(int y, int x0, int count, std::uint8_t* rgba) override;
  std::uint8_t* GetDirectRow(int y, bool forWriting) override;

  // The pixel rows of an in-memory picture (row 0 first, Stride apart).
  std::span<const std::uint8_t> GetPixels() const {
    return {rows_, rows_ != nullptr ? static_cast<size_t>(stride_) * static_cast<size_t>(height_) : 0};
  }
  int GetStride() const { return stride_; }
  int GetWidth() const { return width_; }
  int GetHeight() const { return height_; }
  int GetBitCount() const { return bitCount_; }
  // Finishes a file being written (zero rows for those never written).
  bool Finish();

 private:
  bool ReadHeader();
  // The stored bytes of row y, or null outside the picture.
  const std::uint8_t* RowData(int y);
  // Writes rows of a file up to and including y (zero rows before it).
  std::uint8_t* FileRowForWrite(int y);
  bool FlushFileRow();

  bool valid_ = false;
  bool readMode_ = false;
  bool inMemory_ = false;
  std::string name_;
  std::FILE* file_ = nullptr;
  bool ownsFile_ = false;
  int width_ = 0;
  int height_ = 0;
  int channels_ = 0;
  int bitCount_ = 0;
  int stride_ = 0;
  std::vector<std::uint8_t> pixels_;  // owned rows: a copy, or the whole file's pixel array
  std::uint8_t* rows_ = nullptr;      // the rows: pixels_ or the caller's
  std::uint32_t palette_[256] = {};
  bool bottomUp_ = false;
  // Writing a file: the row being filled and the rows written so far.
  std::vector<std::uint8_t> rowBuffer_;
  int rowInBuffer_ = -1;
  int rowsDone_ = 0;
  bool headerWritten_ = false;
  bool writeFailed_ = false;
};

}  // namespace KT::Resample
