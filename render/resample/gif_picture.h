// KT::Resample::GifPicture: the "gif" picture kind, a GIF file (87a or 89a)
// read whole at open: images, comments and plain-text blocks as records,
// graphic-control values, 12-bit LZW with interlace.
//
// The picture's window is the logical screen; its pixels are those of the
// current image. Rows and columns outside the image rectangle, and colour
// indexes beyond the colour table, read as 0. Every size is checked
// against the bytes present before anything is allocated.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "render/resample/picture.h"

namespace KT::Resample {

struct GifRecord {
  enum Kind { kImage = 0, kComment = 1, kPlainText = 2 };
  int transparent = -1;
  int delay = 0;
  int userInput = 0;
  int disposal = 0;
  int kind = kImage;
  int left = 0, top = 0, width = 0, height = 0;
  std::vector<std::uint8_t> colorTable;  // 3 bytes per entry (local table)
  std::vector<std::uint8_t> pixels;      // width x height colour indexes
  bool interlaced = false;
  std::vector<std::uint8_t> data;        // comment and text bytes
  // Plain text: cell width, cell height, foreground and background index.
  int cellWidth = 0, cellHeight = 0, foreground = 0, background = 0;
};

struct GifFile {
  int screenWidth = 0;
  int screenHeight = 0;
  int colorResolution = 0;
  std::vector<std::uint8_t> colorTable;  // global table, 3 bytes per entry
  int background = -1;
  int aspect = 0;
  std::vector<GifRecord> records;
};

// Decodes a whole GIF file from bytes; false on any failure (then `gif`
// holds what was decoded up to it).
bool DecodeGif(const std::uint8_t* bytes, size_t size, GifFile& gif);

class GifPicture final : public Picture {
 public:
  GifPicture() = default;
  // Opens in mode "r" ("-.gif": standard input); mode "w" is refused.
  bool OpenFile(const char* name, const char* mode);
  // Opens over bytes already in memory.
  bool OpenBytes(const std::uint8_t* bytes, size_t size, const char* name);

  const char* GetDeviceName() const override { return "gif"; }
  int GetChannelCount() const override { return channels_; }
  void GetWindow(int& x0, int& y0, int& width, int& height) const override;
  void WritePixel(int, int, int) override;
  void WritePixelRgba(int, int, const std::uint8_t*) override;
  void WriteRow(int, int, int, const std::uint8_t*) override;
  void WriteRowRgba(int, int, int, const std::uint8_t*) override;
  int ReadPixel(int, int) override;
  void ReadPixelRgba(int, int, std::uint8_t*) override;
  // One channel: the grey level of each pixel's colour-table entry.
  void ReadRow(int y, int x0, int count, std::uint8_t* samples) override;
  // R, G, B of each pixel's colour-table entry; the fourth byte unchanged.
  void ReadRowRgba(int y, int x0, int count, std::uint8_t* rgba) override;
  bool NextImage() override;

  const GifFile& GetFile() const { return gif_; }
  const GifRecord* GetCurrentImage() const;

 private:
  bool Start(const char* name);
  // The colour of pixel (x, y) of the logical screen: false outside the
  // image or the table.
  bool ColorAt(int x, int y, const std::uint8_t*& rgb) const;
  void ChooseChannels();

  GifFile gif_;
  int current_ = -1;
  int channels_ = 3;
};

}  // namespace KT::Resample
