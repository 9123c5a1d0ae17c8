#include "platform/mmf.h"

#include <cstring>

#include <gtest/gtest.h>

namespace KT {
namespace {

TEST(Mmf, BlocksGetIdsFrom0x10001AndCountTheirViews) {
  std::uint32_t a = 0, b = 0;
  ASSERT_TRUE(CMmf::MemAlloc(100, a));
  ASSERT_TRUE(CMmf::MemAlloc(8, b));
  EXPECT_GE(a, CMmf::kFirstId);
  EXPECT_GT(b, a);
  EXPECT_EQ(CMmf::GetBlockSize(a), 100u);

  auto* view = static_cast<unsigned char*>(CMmf::Map(a));
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(view[99], 0);  // zero-filled
  std::memset(view, 7, 100);
  EXPECT_EQ(CMmf::Map(a), view);  // nested views see the same block
  EXPECT_EQ(CMmf::GetViewCount(a), 2);
  CMmf::UnMap(a);
  CMmf::UnMap(a);
  CMmf::UnMap(a);  // one too many: nothing happens
  EXPECT_EQ(CMmf::GetViewCount(a), 0);
  EXPECT_EQ(static_cast<unsigned char*>(CMmf::Map(a))[50], 7);  // contents survive unmapping
  CMmf::UnMap(a);

  const std::size_t before = CMmf::GetBlockCount();
  CMmf::MemFree(a);
  CMmf::MemFree(b);
  EXPECT_EQ(CMmf::GetBlockCount(), before - 2);
  EXPECT_EQ(CMmf::Map(a), nullptr);
}

TEST(Mmf, RefusalsLeaveTheIdAlone) {
  std::uint32_t id = 5;
  EXPECT_FALSE(CMmf::MemAlloc(0, id));
  CMmf::SetRefuseAllocations(true);
  EXPECT_FALSE(CMmf::MemAlloc(16, id));
  CMmf::SetRefuseAllocations(false);
  EXPECT_EQ(id, 5u);
  std::uint32_t unknown = 0x7FFFFFFF;
  CMmf::MemFree(unknown);  // unknown ids are ignored
  CMmf::UnMap(unknown);
}

TEST(Mmf, SmartMapMapsLibraryIdsAndPassesOtherAddressesThrough) {
  std::uint32_t id = 0;
  ASSERT_TRUE(CMmf::MemAlloc(4, id));
  int local = 0;
  {
    CKTSmartMap view(id);
    EXPECT_EQ(CMmf::GetViewCount(id), 1);
    EXPECT_NE(view.GetMapAddress(&local), &local);
    EXPECT_EQ(view.GetMapAddress(nullptr), view.GetMapAddress(&local));
  }
  EXPECT_EQ(CMmf::GetViewCount(id), 0);
  {
    CKTSmartMap plain(0);
    EXPECT_EQ(plain.GetMapAddress(&local), &local);
  }
  CMmf::MemFree(id);
}

}  // namespace
}  // namespace KT
