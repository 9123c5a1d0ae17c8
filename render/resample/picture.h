// KT::Resample::Picture: the picture operations through which the resampler
// reads and writes pixels, the in-memory pictures and the file devices.
//
// Kinds (device names):
//   "bmp"    8-bit channels laid out like a Windows bitmap; in memory, or a
//            BMP file (read: BI_RGB at 1, 2, 4, 8, 16, 24 and 32 bits;
//            write: channels x 8 bits, rows top-down);
//   "float"  in memory, three 32-bit floats per pixel (R, G, B);
//   "gif"    a GIF file (87a or 89a), read only, decoded whole at open.
// A device leaves the operations it lacks as the defaults below (they do
// nothing). Single-pixel operations are not supported by any device: they
// print "?picbmp_read_pixel" and the like on standard error.
//
// Row operations act only when the channel count and the mode fit: plain
// rows for one channel, RGBA rows (4 bytes per pixel, R, G, B, A) for
// three; writes only in write mode, reads only in read mode.
#pragma once

#include <cstdint>
#include <memory>

namespace KT::Resample {

// Window marker of a picture (or caller window) without a window.
inline constexpr int kUndefinedCoordinate = -239;

// A window as inclusive corners.
struct Window {
  int x0 = 0;
  int y0 = 0;
  int x1 = -1;
  int y1 = -1;
  int Width() const { return x1 - x0 + 1; }
  int Height() const { return y1 - y0 + 1; }
};

enum class PictureMode { kWrite = 0, kRead = 1 };

class Picture {
 public:
  virtual ~Picture() = default;

  virtual const char* GetDeviceName() const = 0;
  virtual bool IsFloat() const { return false; }

  virtual void SetChannelCount(int) {}
  // The resampler announces the destination window (x0, y0, width, height).
  virtual void SetWindow(int, int, int, int) {}
  virtual void WritePixel(int, int, int) {}
  virtual void WritePixelRgba(int, int, const std::uint8_t*) {}
  virtual void WriteRow(int, int, int, const std::uint8_t*) {}
  virtual void WriteRowRgba(int, int, int, const std::uint8_t*) {}
  virtual int GetChannelCount() const { return 0; }
  // (x0, y0, width, height); all -239 for a picture without a window.
  virtual void GetWindow(int& x0, int& y0, int& width, int& height) const {
    x0 = y0 = width = height = kUndefinedCoordinate;
  }
  virtual int ReadPixel(int, int) { return 0; }
  virtual void ReadPixelRgba(int, int, std::uint8_t*) {}
  virtual void ReadRow(int, int, int, std::uint8_t*) {}
  virtual void ReadRowRgba(int, int, int, std::uint8_t*) {}
  // Advances to the next image of a multi-image file; false when none.
  virtual bool NextImage() { return false; }

  // In-memory pictures of 8-bit samples stored as the resampler filters
  // them (one grey byte, or three colour bytes, per pixel): the stored row
  // y for reading (read mode) or writing (write mode); null for any other
  // picture, mode or row.
  virtual std::uint8_t* GetDirectRow(int, bool) { return nullptr; }

  // Rows of "float" pictures: four floats per pixel (R, G, B, 0) read,
  // the first three of each four written.
  virtual void ReadRowFloat(int, int, int, float*) {}
  virtual void WriteRowFloat(int, int, int, const float*) {}
};

// An in-memory picture over a copy of caller rows: 12 bytes per pixel
// makes a "float" picture, any other count a "bmp" picture of that many
// channels. `pixels` rows are `stride` bytes apart (0: tightly packed);
// null pixels give zero-filled rows. A negative height counts as its
// absolute value. Null for a size below 1, a channel count outside 1..4,
// or when memory is short. With `borrow` the picture works on the caller's
// rows in place (no copy; they must outlive the picture); CopyBack from
// such a picture into the same rows has nothing to do.
std::unique_ptr<Picture> CreateMemoryPicture(int width, int height, int bytesPerPixel,
                                             const std::uint8_t* pixels, int stride, PictureMode mode,
                                             bool borrow = false);

// Copies every row of an in-memory picture into caller memory (rows
// `stride` bytes apart, 0: tightly packed). Pictures of another size or
// kind are left alone.
void CopyBack(const Picture& picture, std::uint8_t* pixels, int width, int height, int bytesPerPixel,
              int stride);

// Opens a file picture of device "bmp" or "gif" in mode "r" or "w". The
// names "-.bmp" and "-.gif" stand for standard input (read) or output
// (write). Failures print their message on standard error and give null.
std::unique_ptr<Picture> OpenFilePicture(const char* device, const char* name, const char* mode);

}  // namespace KT::Resample
