#include "objectmodel/color.h"

#include <gtest/gtest.h>

namespace KT {
namespace {

TEST(Color, ArithmeticActsOnAllFourChannels) {
  const CColor a(0.5f, 0.25f, 1.0f, 0.5f), b(0.25f, 0.5f, 0.5f, 1.0f);
  EXPECT_EQ(a + b, CColor(0.75f, 0.75f, 1.5f, 1.5f));
  EXPECT_EQ(a - b, CColor(0.25f, -0.25f, 0.5f, -0.5f));
  EXPECT_EQ(a * b, CColor(0.125f, 0.125f, 0.5f, 0.5f));
  EXPECT_EQ(a * 2.0f, CColor(1.0f, 0.5f, 2.0f, 1.0f));
  CColor c = a;
  c += b;
  c *= 2.0f;
  EXPECT_EQ(c, CColor(1.5f, 1.5f, 3.0f, 3.0f));  // nothing is clamped
}

TEST(Color, DefaultsAreZeroAndThreeChannelsAreOpaque) {
  EXPECT_EQ(CColor(), CColor(0, 0, 0, 0));
  EXPECT_EQ(CColor(0.1f, 0.2f, 0.3f).a, 1.0f);
}

}  // namespace
}  // namespace KT
