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
  FloatPicture(int width, int height, const std::uint8_t* pixels, int stride, PictureMode mode);

  const char* GetDeviceName() const override { return "float"; }
  bool IsFloat() const override { return true; }
  int GetChannelCount() const override { return 3; }
  void GetWindow(int& x0, int& y0, int& width, int& height) const override;
  void ReadRowFloat(int y, int x0, int count, float* rgbx) override;
  void WriteRowFloat(int y, int x0, int count, const float* rgbx) override;

  const std::vector<float>& GetSamples() const { return samples_; }
  int GetWidth() const { return width_; }
  int GetHeight() const { return height_; }

 private:
  bool readMode_;
  int width_;
  int height_;
  std::vector<float> samples_;  // width x height x 3
};

}  // namespace KT::Resample
