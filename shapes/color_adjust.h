// Colour adjustment of the vector-shape styles: hue, saturation,
// brightness and contrast shifts with an optional inversion, and the
// hexcone RGB <-> HSL conversions they go through. Hue, saturation and
// lightness all lie in [0, 1]. Alpha is never touched.
#pragma once

#include <vector>

#include "objectmodel/color.h"

namespace KT {

// Adjusts red, green and blue of `color` in place:
//   1. factor = contrast + 1, a negative factor becoming 0;
//   2. hue, saturation and brightness exactly 0 with factor exactly 1: only
//      the inversion (each channel 1 - itself) when `invert`; done;
//   3. to HSL; hue and saturation shifted; a hue above 1 loses 1, one below
//      0 gains 1 (one wrap only; HslToRgb clamps what is left);
//   4. back to RGB, brightness added to each channel;
//   5. factor not exactly 1: x = (x - 0.5) x factor + 0.5, at least 0;
//   6. each channel clamped to [0, 1]; then inverted when `invert`.
void AdjustColor(CColor& color, f32 hue, f32 saturation, f32 brightness, f32 contrast, bool invert);

// AdjustColor on every colour of a list (the key colours of the style
// controllers).
void AdjustColors(std::vector<CColor>& colors, f32 hue, f32 saturation, f32 brightness, f32 contrast,
                  bool invert);

// Hexcone conversion. Lightness = (max + min) / 2; grey (max = min) gives
// hue 0 and saturation 0. The channel distances to the max are each taken
// as the difference times the f32 1/d; red is tested for the max first,
// then green.
void RgbToHsl(const CColor& color, f32& hue, f32& saturation, f32& lightness);

// The inverse: hue, saturation and lightness clamped to [0, 1] first;
// saturation 0 gives grey; otherwise the sextant of hue x 6 picks the
// channels (sextant 6, hue 1, counts as 0). Alpha of `color` is kept.
void HslToRgb(CColor& color, f32 hue, f32 saturation, f32 lightness);

}  // namespace KT
