#include "platform/host/bit_array.h"

#include <gtest/gtest.h>

namespace {

TEST(HostBitArray, UpTo32BitsLiveInTheInlineWord) {
  BitArray bits(6);
  bits.Set(0);
  bits.Set(5);
  bits.Set(6);  // outside: ignored
  EXPECT_TRUE(bits.IsInline());
  EXPECT_EQ(bits.GetInlineWord(), 0x21u);
  EXPECT_FALSE(bits.IsEmpty());
  EXPECT_EQ(bits[5], 1);
  EXPECT_EQ(bits[4], 0);
  EXPECT_EQ(bits.GetNthBitImpl(5), 1);

  BitArray full(32);
  full.Set(31);
  EXPECT_TRUE(full.IsInline());
  EXPECT_EQ(full.GetInlineWord(), 0x80000000u);
}

TEST(HostBitArray, LongerArraysAnswerThroughTheImplCalls) {
  BitArray bits(40);
  EXPECT_FALSE(bits.IsInline());
  EXPECT_TRUE(bits.IsEmptyImpl());
  bits.Set(39);
  EXPECT_EQ(bits.GetInlineWord(), 0u);
  EXPECT_FALSE(bits.IsEmptyImpl());
  EXPECT_EQ(bits.GetNthBitImpl(39), 1);
  EXPECT_EQ(bits.GetNthBitImpl(38), 0);
  EXPECT_EQ(bits.GetNthBitImpl(40), 0);
  EXPECT_EQ(bits[-1], 0);
  bits.Set(39, false);
  EXPECT_TRUE(bits.IsEmpty());
}

}  // namespace
