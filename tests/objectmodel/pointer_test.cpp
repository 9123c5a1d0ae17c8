// Counted pointers: every holder owns one count, the last release destroys
// the object exactly once and gives its unique id back.
#include "objectmodel/pointer.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "platform/unique_id.h"
#include "test_objects.h"

namespace KT {
namespace {

using test::CCountedRaw;
using test::Make;

class PointerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CCountedRaw::destroyed = 0;
    live_ = CountLiveUniqueIDs();
  }
  // Objects made since SetUp that are still alive.
  std::uint64_t Alive() const { return CountLiveUniqueIDs() - live_; }

 private:
  std::uint64_t live_ = 0;
};

TEST_F(PointerTest, HoldersCountAndTheLastReleaseDestroysOnce) {
  CCountedRaw* raw = new CCountedRaw();
  {
    CPointer<CCountedRaw> first(raw);
    EXPECT_EQ(raw->GetReferences(), 1u);
    {
      CPointer<CCountedRaw> second(first);
      CPointer<CBase> asBase(first);
      EXPECT_EQ(raw->GetReferences(), 3u);
    }
    EXPECT_EQ(raw->GetReferences(), 1u);
    EXPECT_EQ(CCountedRaw::destroyed, 0);
    EXPECT_EQ(Alive(), 1u);
  }
  EXPECT_EQ(CCountedRaw::destroyed, 1);
  EXPECT_EQ(Alive(), 0u);
}

TEST_F(PointerTest, ExplicitReleaseEmptiesThePointer) {
  CPointer<CCountedRaw> p(new CCountedRaw());
  CPointer<CCountedRaw> other = p;
  p.Release();
  EXPECT_FALSE(p);
  EXPECT_EQ(p, nullptr);
  EXPECT_EQ(other->GetReferences(), 1u);
  p.Release();  // releasing an empty pointer does nothing
  other.Release();
  EXPECT_EQ(CCountedRaw::destroyed, 1);
  EXPECT_EQ(Alive(), 0u);
}

TEST_F(PointerTest, AssigningTheHeldObjectChangesNothing) {
  CPointer<CCountedRaw> p(new CCountedRaw());
  CCountedRaw* raw = p.Get();
  CPointer<CCountedRaw>& alias = p;
  p = alias;
  EXPECT_EQ(raw->GetReferences(), 1u);
  p = raw;
  EXPECT_EQ(raw->GetReferences(), 1u);
  CPointer<CCountedRaw> second = p;
  p = second;
  EXPECT_EQ(raw->GetReferences(), 2u);
  EXPECT_EQ(CCountedRaw::destroyed, 0);
}

TEST_F(PointerTest, AssignmentMovesTheCountFromOldToNew) {
  CPointer<CCountedRaw> a(new CCountedRaw());
  CPointer<CCountedRaw> b(new CCountedRaw());
  CPointer<CCountedRaw> p = a;
  EXPECT_EQ(a->GetReferences(), 2u);
  p = b;
  EXPECT_EQ(a->GetReferences(), 1u);
  EXPECT_EQ(b->GetReferences(), 2u);
  p = nullptr;
  EXPECT_EQ(b->GetReferences(), 1u);
  // The old object goes when the pointer held its last count.
  CPointer<CCountedRaw> last(new CCountedRaw());
  last = a.Get();
  EXPECT_EQ(CCountedRaw::destroyed, 1);
  EXPECT_EQ(a->GetReferences(), 2u);
}

TEST_F(PointerTest, AssigningAnObjectKeptAliveOnlyByTheOldValueIsSafe) {
  // head -> next; `next` has no holder but head's Next link.
  CPointer<CCustomData> p(new CCustomData());
  CCustomData* next = new CCustomData();
  ASSERT_EQ(p->SetNext(next), kOk);
  ASSERT_EQ(next->GetReferences(), 1u);
  p = p->GetNext();  // the old head dies and lets go of `next`
  EXPECT_EQ(p, next);
  EXPECT_EQ(next->GetReferences(), 1u);
  EXPECT_EQ(Alive(), 1u);
}

TEST_F(PointerTest, MovesTransferTheCount) {
  CPointer<CCountedRaw> a(new CCountedRaw());
  CCountedRaw* raw = a.Get();
  CPointer<CCountedRaw> b(std::move(a));
  EXPECT_FALSE(a);  // NOLINT(bugprone-use-after-move): a moved-from pointer is empty
  EXPECT_EQ(raw->GetReferences(), 1u);

  CPointer<CCountedRaw> c(new CCountedRaw());
  c = std::move(b);
  EXPECT_FALSE(b);  // NOLINT(bugprone-use-after-move)
  EXPECT_EQ(c, raw);
  EXPECT_EQ(raw->GetReferences(), 1u);
  EXPECT_EQ(CCountedRaw::destroyed, 1);  // c's former object

  // Moving a pointer onto another holder of the same object drops one count.
  CPointer<CCountedRaw> d = c;
  d = std::move(c);
  EXPECT_EQ(raw->GetReferences(), 1u);
  EXPECT_EQ(CCountedRaw::destroyed, 1);
}

TEST_F(PointerTest, ConvertsToABasePointer) {
  CPointer<CCountedRaw> derived(new CCountedRaw());
  CPointer<CBase> base = derived;
  EXPECT_EQ(derived->GetReferences(), 2u);
  CPointer<CBase> other;
  other = derived;
  EXPECT_EQ(derived->GetReferences(), 3u);
  EXPECT_EQ(base, static_cast<CBase*>(derived.Get()));
}

TEST_F(PointerTest, ComparesAddresses) {
  CPointer<CRawData> a = Make<CRawData>(u"a");
  CPointer<CRawData> b = Make<CRawData>(u"b");
  CPointer<CRawData> a2 = a;
  CPointer<CRawData> empty;
  EXPECT_TRUE(a == a2);
  EXPECT_FALSE(a == b);
  EXPECT_TRUE(a != b);
  EXPECT_TRUE(a == a.Get());
  EXPECT_TRUE(a != b.Get());
  EXPECT_TRUE(empty == nullptr);
  EXPECT_TRUE(a != nullptr);
  EXPECT_EQ(&*a, a.Get());
  EXPECT_EQ(a->GetName(), u"a");
}

TEST_F(PointerTest, VectorOfPointersReleasesEveryElement) {
  {
    std::vector<CPointer<CCountedRaw>> list;
    CPointer<CCountedRaw> shared(new CCountedRaw());
    for (int i = 0; i < 3; ++i) list.emplace_back(new CCountedRaw());
    list.push_back(shared);
    list.push_back(shared);
    EXPECT_EQ(shared->GetReferences(), 3u);
    EXPECT_EQ(Alive(), 4u);
  }
  EXPECT_EQ(CCountedRaw::destroyed, 4);
  EXPECT_EQ(Alive(), 0u);
}

}  // namespace
}  // namespace KT
