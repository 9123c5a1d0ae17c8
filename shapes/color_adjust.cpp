#include "shapes/color_adjust.h"

#include <algorithm>

namespace KT {

namespace {

f32 Clamp01(f32 value) {
  if (!(value > 0.0f)) return 0.0f;  // NaN lands on 0 as well
  return value < 1.0f ? value : 1.0f;
}

}  // namespace

void RgbToHsl(const CColor& color, f32& hue, f32& saturation, f32& lightness) {
  const f32 max = std::max({color.r, color.g, color.b});
  const f32 min = std::min({color.r, color.g, color.b});
  const f32 sum = max + min;
  lightness = sum * 0.5f;
  if (max == min) {
    hue = 0.0f;
    saturation = 0.0f;
    return;
  }
  const f32 d = max - min;
  saturation = lightness <= 0.5f ? d / sum : d / (2.0f - sum);
  // The distances are scaled by one reciprocal, as the conversion has
  // always done, so results match to the last bit.
  const f32 inverse = 1.0f / d;
  const f32 rd = (max - color.r) * inverse;
  const f32 gd = (max - color.g) * inverse;
  const f32 bd = (max - color.b) * inverse;
  f32 h = 0.0f;
  if (color.r == max) {
    h = color.g == min ? 5.0f + bd : 1.0f - gd;
  } else if (color.g == max) {
    h = color.b == min ? 1.0f + rd : 3.0f - bd;
  } else {
    h = color.r == min ? 3.0f + gd : 5.0f - rd;
  }
  hue = h * (1.0f / 6.0f);
}

void HslToRgb(CColor& color, f32 hue, f32 saturation, f32 lightness) {
  const f32 h = Clamp01(hue);
  const f32 s = Clamp01(saturation);
  const f32 l = Clamp01(lightness);
  if (s == 0.0f) {
    color.r = color.g = color.b = l;
    return;
  }
  const f32 m2 = l <= 0.5f ? l * (1.0f + s) : l + s - l * s;
  const f32 m1 = 2.0f * l - m2;
  const f32 x = h * 6.0f;
  const i32 sextant = static_cast<i32>(x);  // x lies in [0, 6]
  const f32 f = x - static_cast<f32>(sextant);
  const f32 q = m2 - f * (m2 - m1);
  const f32 t = m1 + f * (m2 - m1);
  switch (sextant) {
    case 1:
      color.r = q, color.g = m2, color.b = m1;
      break;
    case 2:
      color.r = m1, color.g = m2, color.b = t;
      break;
    case 3:
      color.r = m1, color.g = q, color.b = m2;
      break;
    case 4:
      color.r = t, color.g = m1, color.b = m2;
      break;
    case 5:
      color.r = m2, color.g = m1, color.b = q;
      break;
    default:
      color.r = m2, color.g = t, color.b = m1;
      break;
  }
}

void AdjustColor(CColor& color, f32 hue, f32 saturation, f32 brightness, f32 contrast, bool invert) {
  f32 factor = contrast + 1.0f;
  if (factor < 0.0f) factor = 0.0f;
  if (hue == 0.0f && brightness == 0.0f && saturation == 0.0f && factor == 1.0f) {
    if (invert) {
      color.r = 1.0f - color.r;
      color.g = 1.0f - color.g;
      color.b = 1.0f - color.b;
    }
    return;
  }
  f32 h = 0.0f;
  f32 s = 0.0f;
  f32 l = 0.0f;
  RgbToHsl(color, h, s, l);
  h += hue;
  s += saturation;
  if (h > 1.0f) {
    h -= 1.0f;
  } else if (h < 0.0f) {
    h += 1.0f;
  }
  HslToRgb(color, h, s, l);
  for (f32* channel : {&color.r, &color.g, &color.b}) {
    f32 x = *channel + brightness;
    if (factor != 1.0f) {
      x = (x - 0.5f) * factor + 0.5f;
      if (x <= 0.0f) x = 0.0f;
    }
    if (x <= 0.0f) {
      x = 0.0f;
    } else if (x >= 1.0f) {
      x = 1.0f;
    }
    *channel = invert ? 1.0f - x : x;
  }
}

void AdjustColors(std::vector<CColor>& colors, f32 hue, f32 saturation, f32 brightness, f32 contrast,
                  bool invert) {
  for (CColor& color : colors) AdjustColor(color, hue, saturation, brightness, contrast, invert);
}

}  // namespace KT
