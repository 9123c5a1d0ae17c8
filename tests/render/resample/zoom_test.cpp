#include "render/resample/zoom.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numeric>
#include <vector>

#include <gtest/gtest.h>

#include "render/resample/bmp_picture.h"
#include "render/resample/float_picture.h"
#include "render/resample/scanline.h"

namespace KT::Resample {
namespace {

class SwitchGuard {
 public:
  SwitchGuard() : coerce_(GetCoerce()), trim_(GetTrimZeros()), order_(GetAxisOrder()) {}
  ~SwitchGuard() {
    SetCoerce(coerce_);
    SetTrimZeros(trim_);
    SetAxisOrder(order_);
  }

 private:
  bool coerce_, trim_;
  AxisOrder order_;
};

AxisParams Axis(const Filter& f, double s) { return MakeAxisParams(f, s); }

TEST(ResampleWeights, EveryTableSumsTo16384) {
  const char* filters[] = {"triangle", "box", "cubic", "catrom", "mitchell", "gaussian", "quadratic"};
  const int lengths[] = {1, 2, 7, 64};
  const double scales[] = {0.1, 0.25, 0.5, 0.75, 1.0, 1.5, 2.0, 3.3, 8.0};
  for (const char* name : filters) {
    const Filter& f = *FindFilter(name);
    for (int n : lengths) {
      for (double s : scales) {
        const AxisParams axis = Axis(f, s);
        const int outputs = std::max(1, static_cast<int>(n * s));
        for (int b = 0; b < outputs; ++b) {
          for (bool trim : {false, true}) {
            WeightTable t;
            const double c = (b + 0.5) / s;
            MakeWeightTable(c, axis, f, n, trim, t);
            ASSERT_GE(t.i0, 0);
            ASSERT_LE(t.i1, n);
            ASSERT_EQ(static_cast<int>(t.weight.size()), t.i1 - t.i0);
            const int sum = std::accumulate(t.weight.begin(), t.weight.end(), 0);
            EXPECT_EQ(sum, 16384) << name << " n " << n << " s " << s << " b " << b;
            if (trim && t.weight.size() > 1) {
              EXPECT_NE(t.weight.front(), 0);
              EXPECT_NE(t.weight.back(), 0);
            }
          }
        }
      }
    }
  }
}

TEST(ResampleWeights, TableOfTheZoomMapping) {
  // ux = 0.5: destination column bx has its centre at (bx + 0.5) / sx, so
  // a triangle halving (scale 2, support 2) weighs source i by
  // f((i + 0.5 - c) / 2).
  const Filter& f = *FindFilter("triangle");
  const AxisParams axis = Axis(f, 0.5);
  EXPECT_EQ(axis.scale, 2.0);
  EXPECT_EQ(axis.support, 2.0);
  EXPECT_EQ(axis.width, 4);
  WeightTable t;
  ASSERT_TRUE(MakeWeightTable((1 + 0.5) / 0.5, axis, f, 8, false, t));
  // c = 3: samples 1..4 at distances 1.5, 0.5, 0.5, 1.5 -> 0.25, 0.75, 0.75, 0.25.
  EXPECT_EQ(t.i0, 1);
  EXPECT_EQ(t.i1, 5);
  EXPECT_EQ(t.weight, (std::vector<std::int16_t>{2048, 6144, 6144, 2048}));
}

TEST(ResampleWeights, UnbuildableTablesBecomeTheNearestSample) {
  const Filter& f = *FindFilter("triangle");
  AxisParams axis = Axis(f, 1.0);
  WeightTable t;
  // Empty range: the centre lies far outside the source.
  EXPECT_FALSE(MakeWeightTable(100.0, axis, f, 8, true, t));
  EXPECT_EQ(t.i0, 7);
  EXPECT_EQ(t.i1, 8);
  EXPECT_EQ(t.weight, std::vector<std::int16_t>{16384});
  EXPECT_FALSE(MakeWeightTable(-50.0, axis, f, 8, false, t));
  EXPECT_EQ(t.i0, 0);
  // Weights outside 16 bits: a filter whose lobes cancel almost exactly.
  static const Filter cancelling = {"cancel", [](double x, const void*) { return x < 0 ? -1.0 : 1.0 + 1e-9; },
                                    1.0, 1.0, 0, 0, 0, nullptr, nullptr, nullptr};
  EXPECT_FALSE(MakeWeightTable(2.0, Axis(cancelling, 1.0), cancelling, 8, false, t));
  EXPECT_EQ(t.weight, std::vector<std::int16_t>{16384});
  EXPECT_EQ(t.i0, 2);
  WeightTableF tf;
  EXPECT_FALSE(MakeWeightTableF(100.0, axis, f, 8, true, tf));
  EXPECT_EQ(tf.weight, std::vector<double>{1.0});
}

// A 3-channel in-memory picture pair, zoomed with triangle filters.
std::vector<std::uint8_t> ZoomBgr(const std::vector<std::uint8_t>& pixels, int w, int h, int dw, int dh,
                                  const char* filter = "triangle") {
  BmpPicture source(w, h, 3, pixels.data(), 0, PictureMode::kRead);
  BmpPicture destination(dw, dh, 3, nullptr, 0, PictureMode::kWrite);
  const Filter& f = *FindFilter(filter);
  ZoomWindow(source, {0, 0, w - 1, h - 1}, destination, {0, 0, dw - 1, dh - 1}, f, f);
  std::vector<std::uint8_t> out(static_cast<size_t>(dw) * dh * 3);
  CopyBack(destination, out.data(), dw, dh, 3, 0);
  return out;
}

std::vector<std::uint8_t> Pattern(int w, int h) {
  std::vector<std::uint8_t> p(static_cast<size_t>(w) * h * 3);
  for (size_t i = 0; i < p.size(); ++i) p[i] = static_cast<std::uint8_t>(i * 37 + i / 7);
  return p;
}

TEST(ResampleZoom, EqualSizesCopyExactly) {
  SwitchGuard guard;
  SetCoerce(true);
  for (const char* filter : {"triangle", "catrom", "box"}) {
    const auto p = Pattern(13, 7);
    EXPECT_EQ(ZoomBgr(p, 13, 7, 13, 7, filter), p) << filter;
  }
}

TEST(ResampleZoom, OnePixelWideImageDoublesToItsValue) {
  for (AxisOrder order : {AxisOrder::kXFirst, AxisOrder::kYFirst}) {
    SwitchGuard guard;
    SetAxisOrder(order);
    const std::vector<std::uint8_t> column = {10, 20, 30, 10, 20, 30, 10, 20, 30};  // 1 x 3, constant
    const auto out = ZoomBgr(column, 1, 3, 2, 6);
    for (size_t i = 0; i < out.size(); i += 3) {
      EXPECT_EQ(out[i], 10);
      EXPECT_EQ(out[i + 1], 20);
      EXPECT_EQ(out[i + 2], 30);
    }
  }
}

TEST(ResampleZoom, ConstantImageHalvesToItself) {
  for (AxisOrder order : {AxisOrder::kXFirst, AxisOrder::kYFirst, AxisOrder::kAuto}) {
    SwitchGuard guard;
    SetAxisOrder(order);
    std::vector<std::uint8_t> flat(16 * 10 * 3);
    for (size_t i = 0; i < flat.size(); ++i) flat[i] = static_cast<std::uint8_t>(i % 3 == 0 ? 255 : (i % 3 == 1 ? 7 : 128));
    const auto out = ZoomBgr(flat, 16, 10, 8, 5);
    for (size_t i = 0; i < out.size(); ++i) EXPECT_EQ(out[i], flat[i % 3]) << i;
  }
}

TEST(ResampleZoom, NegativeLobesOverAHardEdgeClamp) {
  for (const char* filter : {"catrom", "mitchell"}) {
    for (AxisOrder order : {AxisOrder::kXFirst, AxisOrder::kYFirst}) {
      SwitchGuard guard;
      SetAxisOrder(order);
      // Left half black, right half white, enlarged 2.5 times.
      std::vector<std::uint8_t> edge(8 * 2 * 3);
      for (int y = 0; y < 2; ++y) {
        for (int x = 4; x < 8; ++x) {
          for (int c = 0; c < 3; ++c) edge[static_cast<size_t>((y * 8 + x) * 3 + c)] = 255;
        }
      }
      const auto out = ZoomBgr(edge, 8, 2, 20, 2, filter);
      // Monotone apart from the clamped overshoot: no wrap-around values.
      for (int x = 0; x < 20; ++x) {
        const std::uint8_t v = out[static_cast<size_t>(x) * 3];
        if (x < 7) {
          EXPECT_LE(v, 10) << filter << " x " << x;
        }
        if (x > 12) {
          EXPECT_GE(v, 245) << filter << " x " << x;
        }
      }
      EXPECT_EQ(out[0], 0);
      EXPECT_EQ(out[19 * 3], 255);
      if (std::strcmp(filter, "catrom") == 0) {
        // Just beside the edge the filter overshoots; clamped, not wrapped.
        EXPECT_EQ(out[8 * 3], 0) << filter;
        EXPECT_EQ(out[11 * 3], 255) << filter;
      }
    }
  }
}

// Forwards the row operations of a picture but offers no rows in place, so
// the passes go through RGBA rows.
class RowsOnly final : public Picture {
 public:
  explicit RowsOnly(Picture& inner) : inner_(inner) {}
  const char* GetDeviceName() const override { return "rows"; }
  int GetChannelCount() const override { return inner_.GetChannelCount(); }
  void GetWindow(int& x0, int& y0, int& w, int& h) const override { inner_.GetWindow(x0, y0, w, h); }
  void ReadRowRgba(int y, int x0, int n, std::uint8_t* rgba) override { inner_.ReadRowRgba(y, x0, n, rgba); }
  void WriteRowRgba(int y, int x0, int n, const std::uint8_t* rgba) override { inner_.WriteRowRgba(y, x0, n, rgba); }

 private:
  Picture& inner_;
};

TEST(ResampleZoom, RowOperationsAndRowsInPlaceAgree) {
  const auto p = Pattern(37, 23);
  const Filter& f = *FindFilter("catrom");
  for (AxisOrder order : {AxisOrder::kXFirst, AxisOrder::kYFirst}) {
    for (auto [dw, dh] : {std::pair{12, 9}, std::pair{80, 51}}) {
      SwitchGuard guard;
      SetAxisOrder(order);
      const auto direct = ZoomBgr(p, 37, 23, dw, dh, "catrom");
      BmpPicture source(37, 23, 3, p.data(), 0, PictureMode::kRead);
      BmpPicture destination(dw, dh, 3, nullptr, 0, PictureMode::kWrite);
      RowsOnly from(source), to(destination);
      ZoomWindow(from, {0, 0, 36, 22}, to, {0, 0, dw - 1, dh - 1}, f, f);
      std::vector<std::uint8_t> out(static_cast<size_t>(dw) * dh * 3);
      CopyBack(destination, out.data(), dw, dh, 3, 0);
      EXPECT_EQ(out, direct) << dw << "x" << dh;
    }
  }
}

TEST(ResampleZoom, FloatPicturesKeepValuesAboveOne) {
  const int w = 6, h = 4;
  std::vector<float> pixels(static_cast<size_t>(w) * h * 3);
  for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = i % 3 == 0 ? 7.5f : (i % 3 == 1 ? -0.5f : 0.125f);
  FloatPicture source(w, h, reinterpret_cast<const std::uint8_t*>(pixels.data()), 0, PictureMode::kRead);
  FloatPicture destination(3, 9, nullptr, 0, PictureMode::kWrite);
  const Filter& f = *FindFilter("triangle");
  ZoomWindow(source, {0, 0, w - 1, h - 1}, destination, {0, 0, 2, 8}, f, f);
  for (int y = 0; y < 9; ++y) {
    for (int i = 0; i < 9; ++i) EXPECT_NEAR(destination.GetRow(y)[i], pixels[static_cast<size_t>(i % 3)], 1e-6) << y << " " << i;
  }
}

TEST(ResampleZoom, TwoImagesAreZoomedPixelForPixelWithPointSampling) {
  // 4 x 1 to 8 x 1 with the box filter: each source pixel twice.
  SwitchGuard guard;
  const std::vector<std::uint8_t> row = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
  const auto out = ZoomBgr(row, 4, 1, 8, 1, "box");
  for (int x = 0; x < 8; ++x) {
    EXPECT_EQ(out[static_cast<size_t>(x) * 3], row[static_cast<size_t>(x / 2) * 3]) << x;
  }
}

TEST(ResampleZoom, UndefinedDestinationWindowIsOnlyPrinted) {
  BmpPicture source(2, 2, 3, nullptr, 0, PictureMode::kRead);
  BmpPicture destination(2, 2, 3, nullptr, 0, PictureMode::kWrite);
  const Filter& f = *FindFilter("triangle");
  testing::internal::CaptureStderr();
  ZoomWindow(source, {0, 0, 1, 1}, destination, {kUndefinedCoordinate, 0, 1, 1}, f, f);
  EXPECT_NE(testing::internal::GetCapturedStderr().find("{-239,0,1,1}"), std::string::npos);
}

TEST(ResampleZoom, MismatchedChannelCountsDoNothing) {
  std::vector<std::uint8_t> grey = {200, 200, 200, 200};
  BmpPicture source(2, 2, 1, grey.data(), 0, PictureMode::kRead);
  BmpPicture destination(2, 2, 3, nullptr, 0, PictureMode::kWrite);
  const Filter& f = *FindFilter("triangle");
  ZoomWindow(source, {0, 0, 1, 1}, destination, {0, 0, 1, 1}, f, f);
  for (std::uint8_t v : destination.GetPixels()) EXPECT_EQ(v, 0);
  // One channel on both sides works through plain rows.
  BmpPicture grey2(4, 4, 1, nullptr, 0, PictureMode::kWrite);
  ZoomWindow(source, {0, 0, 1, 1}, grey2, {0, 0, 3, 3}, f, f);
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 4; ++x) EXPECT_EQ(grey2.GetPixels()[static_cast<size_t>(y * grey2.GetStride() + x)], 200);
  }
}

TEST(ResampleZoom, RowOrder) {
  const Window a{0, 0, 9, 9};
  const Window far{20, 20, 29, 29};
  EXPECT_EQ(RowOrder(false, a, a, 1.0, 0, 0.5), (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
  EXPECT_EQ(RowOrder(true, a, far, 1.0, 0, 0.5).front(), 0);  // no overlap
  // Moving a window down within the same picture: bottom-up.
  const Window down{0, 2, 9, 11};
  EXPECT_EQ(RowOrder(true, a, down, 1.0, 2, 0.5), (std::vector<int>{9, 8, 7, 6, 5, 4, 3, 2, 1, 0}));
  // Moving it up: top-down.
  EXPECT_EQ(RowOrder(true, down, a, 1.0, -2, 0.5), (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
  // Every row exactly once whatever the split.
  for (double sy : {0.5, 2.0, 3.0}) {
    auto rows = RowOrder(true, a, a, sy, 0.3, 1.0);
    std::sort(rows.begin(), rows.end());
    EXPECT_EQ(rows, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9})) << sy;
  }
}

TEST(ResampleScanline, TypesAreCheckedByTheirCode) {
  Scanline line;
  ScanlineAlloc(line, ScanlineType::k16 | ScanlineType::kRgba, 3);
  EXPECT_EQ(line.i16.size(), 12u);
  EXPECT_EXIT(ScanlineAlloc(line, 3, 1), testing::ExitedWithCode(1), "scanline_alloc: bad scanline type: 3");
  EXPECT_EXIT(ScanlineBadCombination("accum", 0, 6), testing::ExitedWithCode(1),
              "scanline_accum: bad type combination: 0 & 6");
  ScanlineF f;
  EXPECT_EXIT(ScanlineFAlloc(f, 1, 1), testing::ExitedWithCode(1), "scanlinef_alloc: bad scanlinef type: 1");
}

}  // namespace
}  // namespace KT::Resample
