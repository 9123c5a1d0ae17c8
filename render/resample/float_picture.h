// KT::Resample::FloatPicture: the in-memory "float" picture kind, three
// 32-bit floats (R, G, B) per pixel.
#pragma once

#include <cstdint>
#include <vector>

#include "render/resample/picture.h"

namespace KT::Resample {

class FloatPicture final : public Picture {
 public:
  // Rows of three floats per pixel copied from `pixels` (`stride` apart,
  // 0: packed; null: zero rows).
  // With `borrow` the picture works on the caller's rows in place (they
  // must outlive it and be aligned for floats).
  FloatPicture(int width, int height, const std::uint8_t* pixels, int stride, PictureMode mode,
               bool borrow = false);

  const char* GetDeviceName() const override { return "float"; }
  bool IsFloat() const override { return true; }
  int GetChannelCount() const override { return 3; }
  void GetWindow(int& x0, int& y0, int& width, int& height) const override;
  void ReadRowFloat(int y, int x0, int count, float* rgbx) override;
  void WriteRowFloat(int y, int x0, int count, const float* rgbx) override;

  // Row y's first sample.
  const float* GetRow(int y) const {
    return reinterpret_cast<const float*>(rows_ + static_cast<size_t>(stride_) * static_cast<size_t>(y));
  }
  const std::uint8_t* GetRows() const { return rows_; }
  int GetWidth() const { return width_; }
  int GetHeight() const { return height_; }

 private:
  bool readMode_;
  int width_;
  int height_;
  std::vector<float> samples_;  // owned rows, width x 3 floats each
  std::uint8_t* rows_ = nullptr;  // samples_ or the caller's
  size_t stride_ = 0;             // bytes per row
};

}  // namespace KT::Resample
