#include "render/resample/float_picture.h"

#include <cstring>

namespace KT::Resample {

FloatPicture::FloatPicture(int width, int height, const std::uint8_t* pixels, int stride, PictureMode mode,
                           bool borrow)
    : readMode_(mode == PictureMode::kRead), width_(width), height_(height < 0 ? -height : height) {
  const size_t rowFloats = static_cast<size_t>(width_) * 3;
  const size_t rowBytes = rowFloats * sizeof(float);
  const size_t step = stride > 0 ? static_cast<size_t>(stride) : rowBytes;
  if (borrow && pixels != nullptr) {
    rows_ = const_cast<std::uint8_t*>(pixels);
    stride_ = step;
    return;
  }
  samples_.assign(rowFloats * static_cast<size_t>(height_), 0.0f);
  rows_ = reinterpret_cast<std::uint8_t*>(samples_.data());
  stride_ = rowBytes;
  if (pixels == nullptr) return;
  for (int y = 0; y < height_; ++y) {
    std::memcpy(&samples_[rowFloats * static_cast<size_t>(y)], pixels + step * static_cast<size_t>(y), rowBytes);
  }
}

void FloatPicture::GetWindow(int& x0, int& y0, int& width, int& height) const {
  x0 = 0;
  y0 = 0;
  width = width_;
  height = height_;
}

// Four floats per pixel (R, G, B, 0) from the three stored, so that a
// reader of four never reads past a row.
void FloatPicture::ReadRowFloat(int y, int x0, int count, float* rgbx) {
  if (!readMode_) return;
  for (int i = 0; i < count; ++i) {
    const int x = x0 + i;
    float* o = rgbx + static_cast<size_t>(i) * 4;
    if (y < 0 || y >= height_ || x < 0 || x >= width_) {
      o[0] = o[1] = o[2] = o[3] = 0.0f;
      continue;
    }
    const float* s = GetRow(y) + static_cast<size_t>(x) * 3;
    o[0] = s[0];
    o[1] = s[1];
    o[2] = s[2];
    o[3] = 0.0f;
  }
}

void FloatPicture::WriteRowFloat(int y, int x0, int count, const float* rgbx) {
  if (readMode_ || y < 0 || y >= height_) return;
  for (int i = 0; i < count; ++i) {
    const int x = x0 + i;
    if (x < 0 || x >= width_) continue;
    float* o = const_cast<float*>(GetRow(y)) + static_cast<size_t>(x) * 3;
    const float* s = rgbx + static_cast<size_t>(i) * 4;
    o[0] = s[0];
    o[1] = s[1];
    o[2] = s[2];
  }
}

}  // namespace KT::Resample
