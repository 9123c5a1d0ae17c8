// Controllers nested through their own control chains, 100,000 levels deep
// (each controller holds the next one in its control chain): every walk over
// the graph runs in bounded stack. Under the sanitizers' small stack budget
// a walk that recursed per level would overflow long before the end.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "controllers/core/keyframe_control.h"
#include "objectmodel/memory_io.h"
#include "objectmodel/stream.h"
#include "tests/controllers/core/transform_test_support.h"
#include "tests/objectmodel/stream_test_support.h"

namespace KT {
namespace {

constexpr u32 kLevels = 100000;

class NestedChainTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::RegisterTransformTestClasses();
    test::UseTestIds(0);
  }

  // Level 0 holds level 1 in its control chain, which holds level 2, ...
  // Built from the deepest level up, so that each attachment checks a
  // controller that is not bound yet.
  static CPointer<CKeyframeControl> BuildChain(u32 levels) {
    CPointer<CKeyframeControl> inner;
    for (u32 i = levels; i-- > 0;) {
      CPointer<CKeyframeControl> outer(new CKeyframeControl());
      outer->SetName(i == levels - 1 ? u"deepest" : u"level");
      if (inner) {
        EXPECT_EQ(outer->AddControl(inner.Get()), kOk);
      }
      inner = outer;
    }
    return inner;
  }

  static u32 CountControls(CBase* top) {
    std::vector<CBase*> found;
    top->Collect(found, nullptr, &CKeyframeControl::StaticClassRecord(), true, false);
    return static_cast<u32>(found.size());
  }
};

TEST_F(NestedChainTest, CollectFindMarkCloneAndDestroyInBoundedStack) {
  CPointer<CKeyframeControl> top = BuildChain(kLevels);
  EXPECT_EQ(CountControls(top.Get()), kLevels);

  CBase* deepest = top->Find(u"deepest", nullptr, false, false);
  ASSERT_NE(deepest, nullptr);
  EXPECT_EQ(deepest->GetName(), u"deepest");
  EXPECT_EQ(top->Find(u"absent", nullptr, false, false), nullptr);

  deepest->SetMarked(true);
  top->ClearMarked();
  EXPECT_FALSE(deepest->IsMarked());

  CloneMap map;
  CPointer<CBase> clone;
  ASSERT_EQ(top->Clone(clone, map, 0), kOk);
  EXPECT_EQ(map.size(), kLevels);
  EXPECT_EQ(CountControls(clone.Get()), kLevels);
  CBase* clonedDeepest = clone->Find(u"deepest", nullptr, false, false);
  ASSERT_NE(clonedDeepest, nullptr);
  EXPECT_NE(clonedDeepest, deepest);

  map.clear();
  clone.Release();
  top.Release();  // both chains go here, level by level
}

TEST_F(NestedChainTest, MarkingAnswersForEveryLevelInBoundedStack) {
  CPointer<CKeyframeControl> top = BuildChain(kLevels);
  std::vector<CBase*> levels;
  top->Collect(levels, nullptr, &CKeyframeControl::StaticClassRecord(), true, false);
  ASSERT_EQ(levels.size(), kLevels);
  ASSERT_EQ(levels.back()->GetName(), u"deepest");
  const auto countMarked = [&] {
    return std::count_if(levels.begin(), levels.end(), [](const CBase* c) { return c->IsMarked(); });
  };

  // Every level holds the deepest one: all are marked.
  EXPECT_TRUE(top->UpdateMarked({levels.back()}));
  EXPECT_EQ(countMarked(), static_cast<std::ptrdiff_t>(kLevels));

  // A level in the middle: it and the levels above it, none below.
  const u32 middle = kLevels / 2;
  EXPECT_TRUE(top->UpdateMarked({levels[middle]}));
  EXPECT_EQ(countMarked(), static_cast<std::ptrdiff_t>(middle + 1));
  EXPECT_TRUE(levels[0]->IsMarked());
  EXPECT_TRUE(levels[middle]->IsMarked());
  EXPECT_FALSE(levels[middle + 1]->IsMarked());

  EXPECT_FALSE(top->UpdateMarked({}));
  EXPECT_EQ(countMarked(), 0);
  top.Release();
}

TEST_F(NestedChainTest, SavesAndLoadsInBoundedStack) {
  CPointer<CKeyframeControl> top = BuildChain(kLevels);
  const test::Bytes bytes = test::SaveRoots({top.Get()});
  ASSERT_FALSE(bytes.empty());
  top.Release();

  test::UseTestIds(1);
  CStream stream;
  CMemoryIo device;
  ASSERT_EQ(test::LoadScene(bytes, stream, device), kOk);
  ASSERT_EQ(stream.GetRootObjectCount(), 1u);
  EXPECT_EQ(stream.GetLoadedObjects().size(), kLevels);
  CPointer<CBase> loaded(stream.GetRootObject(0));
  EXPECT_EQ(CountControls(loaded.Get()), kLevels);
  // Saving what was loaded gives a file of the same size (ids aside, the
  // same records).
  EXPECT_EQ(test::SaveLoaded(stream).size(), bytes.size());
  stream.ResetTables();
  loaded.Release();
}

}  // namespace
}  // namespace KT
