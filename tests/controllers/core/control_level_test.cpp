// The controller class-level scaffolding and the shared controller
// services: time policies, the most-recent-key pick, the Modified guard.
#include "controllers/core/control_level.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "controllers/core/data_control.h"
#include "controllers/core/key_track.h"
#include "controllers/core/legacy_key_arrays.h"
#include "objectmodel/byte_writer.h"
#include "objectmodel/memory_io.h"
#include "objectmodel/stream.h"
#include "objectmodel/stream_test_support.h"
#include "scene/node.h"

namespace KT {
namespace {

using test::ByteWriter;

class COpacityKey : public CKeyLevel<COpacityKey, CTransitionKey, ClassIndex::CAttributeKey> {
 public:
  COpacityKey() = default;
  COpacityKey(i32 time, f32 opacity) : CKeyLevel(time, TT_LINEAR), Opacity(opacity) {}
  template <typename W, typename K>
  static void Fields(W& w, K& k) {
    w.Float(u"Opacity", k.Opacity);
  }
  f32 Opacity = 1.0f;
};

// A keyed data control on the record of version 1.01: an opacity track and,
// from 1.01, a target reference; version 1.00 stored the track as two
// parallel arrays.
class CSampleControl : public CControlLevel<CSampleControl, CDataControl, ClassIndex::CNodeAttributeControl> {
 public:
  static constexpr u32 kVersionKeyList = 101;  // keys and target from here on; two arrays before
  static constexpr TimePolicy kTimePolicy = TimePolicy::kMapped;

  template <typename W, typename Self>
  static void Fields(W& w, Self& self) {
    w.Track(u"Keys", self.keys);
    w.Ref(u"Target", self.target);
  }
  Result LoadOwn(CStream& stream, CStreamLoadRecord& record, u32 storedVersion) {
    if (storedVersion >= kVersionKeyList) return CControlLevel::LoadOwn(stream, record, storedVersion);
    return ReadTwoArrayKeys(stream, keys.MutableKeys(), &COpacityKey::Opacity);
  }
  Result CopyOwnTo(CSampleControl& target) const {
    target.keys = keys;
    target.target = this->target;
    return kOk;
  }

  i32 GetEndTime() const override { return keys.GetEndTime(EndTimeRule::kAtLeastZero); }
  Result Update(i32 time) override {
    if (CheckActive() == kDone) return kDone;
    KeyBracket b;
    if (keys.Bracket(LocalTime(time), BlendRule::kLaterKey, b) != kKeySearchNone) {
      current = keys.Blend(b, &COpacityKey::Opacity);
    }
    return kOk;
  }
  Result Apply() override { return kDone; }

  CKeyTrack<COpacityKey> keys;
  CTargetRef<CNode> target;
  f32 current = 1.0f;
};

// Another class of the same base, for the kind-of test.
class COtherControl : public CControlLevel<COtherControl, CDataControl, ClassIndex::CNodeLayerControl> {
 public:
  template <typename W, typename Self>
  static void Fields(W&, Self&) {}
  Result CopyOwnTo(COtherControl&) const { return kOk; }
  i32 GetEndTime() const override { return 0; }
  Result Update(i32) override { return kOk; }
  Result Apply() override { return kDone; }
};

std::vector<u8> SaveRecord(CBase& object) {
  CMemoryIo device;
  CStream stream;
  stream.SetDevice(&device);
  EXPECT_EQ(object.Save(stream, 0), kOk);
  return device.TakeData();
}

// Loads one record saved by SaveRecord into `object`, with `known` objects
// registered under their ids so that references to them resolve at link.
Result LoadRecord(const std::vector<u8>& bytes, CBase& object, const std::vector<CBase*>& known = {}) {
  std::vector<CStreamLoadRecord> records(known.size() + 1);
  CMemoryIo device(bytes);
  CStream stream;
  stream.SetDevice(&device);
  for (std::size_t i = 0; i < known.size(); ++i) {
    records[i + 1].object = known[i];
    stream.RegisterId(known[i]->GetUniqueId(), &records[i + 1]);
  }
  std::string name;
  u32 size = 0;
  Result r = ReadString(stream, name);
  if (Succeeded(r)) r = ReadU32(stream, size);
  if (Succeeded(r)) r = object.Load(stream, records[0], 0);
  if (Succeeded(r)) r = object.Link(stream, records[0], 0);
  if (Succeeded(r) && stream.GetRemaining() != 0) r = kErrStream;
  return r;
}

CPointer<CSampleControl> MakeSample(CNode* target) {
  CPointer<CSampleControl> control(new CSampleControl());
  control->keys.Assign({{0, 0.0f}, {1000, 1.0f}});
  control->target.Set(target);
  return control;
}

TEST(ControlLevel, RecordRoundTripsThroughTheFieldList) {
  test::UseTestIds(0);
  CPointer<CNode> target(new CNode());
  CPointer<CSampleControl> control = MakeSample(target.Get());
  const std::vector<u8> bytes = SaveRecord(*control);
  EXPECT_EQ(bytes.size(), control->GetSaveSize());
  // After the CDataControl part: the pair 1.01, the key list, the target id.
  const std::size_t own = 8 + 4 + 2 * 40 + 8;
  ByteWriter tail;
  tail.Pair(1, 1).U32(2);
  tail.Pair(1, 0).I32(0).Pair(1, 0).U32(TT_LINEAR).F32(50.0f).Pair(1, 0).F32(0.0f);
  tail.Pair(1, 0).I32(1000).Pair(1, 0).U32(TT_LINEAR).F32(50.0f).Pair(1, 0).F32(1.0f);
  tail.U64(target->GetUniqueId());
  EXPECT_EQ(std::vector<u8>(bytes.end() - static_cast<std::ptrdiff_t>(own), bytes.end()), tail.Data());

  test::UseTestIds(1);
  CPointer<CSampleControl> loaded(new CSampleControl());
  ASSERT_EQ(LoadRecord(bytes, *loaded, {target.Get()}), kOk);
  EXPECT_EQ(loaded->keys.Size(), 2u);
  EXPECT_EQ(loaded->target.Get(), target.Get());
  // The same bytes once the objects' own ids are numbered alike.
  EXPECT_EQ(test::RenumberIds(SaveRecord(*loaded)), test::RenumberIds(bytes));
}

TEST(ControlLevel, OlderAndNewerRecords) {
  CPointer<CSampleControl> control = MakeSample(nullptr);
  std::vector<u8> bytes = SaveRecord(*control);
  const std::size_t own = 8 + 4 + 2 * 40 + 8;
  const std::vector<u8> head(bytes.begin(), bytes.end() - static_cast<std::ptrdiff_t>(own));

  // 1.00: two arrays of float times and opacities, no target.
  ByteWriter older;
  older.Bytes(head).Pair(1, 0).U32(2).F32(0.0f).F32(500.5f).U32(2).F32(0.25f).F32(0.75f);
  CPointer<CSampleControl> fromOlder(new CSampleControl());
  ASSERT_EQ(LoadRecord(older.Data(), *fromOlder), kOk);
  ASSERT_EQ(fromOlder->keys.Size(), 2u);
  EXPECT_EQ(fromOlder->keys[1].Time, 500);
  EXPECT_EQ(fromOlder->keys[1].Opacity, 0.75f);

  // 1.02 is newer than the class.
  ByteWriter newer;
  newer.Bytes(head).Pair(1, 2).U32(0).U64(0);
  CPointer<CSampleControl> fromNewer(new CSampleControl());
  EXPECT_EQ(LoadRecord(newer.Data(), *fromNewer), kErrNewerVersion);
}

TEST(ControlLevel, CopiesByCreateInstanceAndCopyTo) {
  CPointer<CNode> target(new CNode());
  CPointer<CSampleControl> control = MakeSample(target.Get());
  control->SetFrequency(2.0f);

  CPointer<CBase> instance;
  ASSERT_EQ(control->CreateInstance(instance), kOk);
  CSampleControl* copy = DynamicCast<CSampleControl>(instance.Get());
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->keys.Size(), 2u);
  EXPECT_EQ(copy->GetFrequency(), 2.0f);

  DisplacedList displaced;
  CPointer<CSampleControl> into(new CSampleControl());
  ASSERT_EQ(control->CopyTo(into.Get(), displaced, 0), kOk);
  EXPECT_EQ(into->keys.Size(), 2u);
  EXPECT_EQ(into->target.Get(), target.Get());
  EXPECT_EQ(into->GetFrequency(), 2.0f);

  // Another class, or none: refused, nothing changed.
  CPointer<COtherControl> other(new COtherControl());
  EXPECT_EQ(control->CopyTo(other.Get(), displaced, 0), kErrNotFound);
  EXPECT_EQ(other->GetFrequency(), 1.0f);
  EXPECT_EQ(control->CopyTo(nullptr, displaced, 0), kErrNotFound);
}

class GroupVisitor : public CMemberVisitor {
 public:
  void BeginGroup(const char16_t* name) override { groups.emplace_back(name); }
  void RecordArray(const char16_t* name, u32 count, const std::function<void(u32, CMemberVisitor&)>&) override {
    arrays.emplace_back(name);
    counts.push_back(count);
  }
  void ObjectRef(const char16_t* name, const CBase*) override { refs.emplace_back(name); }
  std::vector<std::u16string> groups;
  std::vector<std::u16string> arrays;
  std::vector<u32> counts;
  std::vector<std::u16string> refs;
};

TEST(ControlLevel, DescribesItsGroupThenTheBase) {
  CPointer<CSampleControl> control = MakeSample(nullptr);
  GroupVisitor visitor;
  control->DescribeMembers(visitor);
  ASSERT_GE(visitor.groups.size(), 2u);
  EXPECT_EQ(visitor.groups[0], u"CNodeAttributeControl Member");
  EXPECT_EQ(visitor.groups[1], u"CControl Member");
  EXPECT_EQ(visitor.arrays, std::vector<std::u16string>{u"Keys"});
  EXPECT_EQ(visitor.counts, std::vector<u32>{2});
  EXPECT_EQ(visitor.refs.front(), u"Target");
}

TEST(ControlLevel, TargetsFollowClonesAndNames) {
  CPointer<CNode> root(new CNode());
  CPointer<CNode> target(new CNode());
  target->SetName(u"goal");
  CPointer<CSampleControl> control = MakeSample(target.Get());

  CPointer<CNode> copy(new CNode());
  CloneMap map;
  map[target.Get()] = CPointer<CBase>(copy.Get());
  EXPECT_EQ(control->RemapReferences(map), kOk);
  EXPECT_EQ(control->target.Get(), copy.Get());

  CPointer<CNode> found(new CNode());
  found->SetName(u"goal");
  ASSERT_EQ(root->AddChild(found.Get()), kOk);
  control->target.Set(target.Get());
  EXPECT_EQ(control->ResolveReferences(nullptr), kErrInvalidArg);
  EXPECT_EQ(control->target.Get(), target.Get());
  EXPECT_EQ(control->ResolveReferences(root.Get()), kOk);
  EXPECT_EQ(control->target.Get(), found.Get());
}

TEST(ControlServices, TimePolicies) {
  CPointer<CSampleControl> control = MakeSample(nullptr);
  control->SetFrequency(2.0f);
  control->SetRepeat(CControl::RT_WRAP);
  const struct {
    TimePolicy policy;
    i32 time;
    i32 expected;
  } cases[] = {
      {TimePolicy::kMapped, 750, 500},  // 1500 wrapped over a length of 1000
      {TimePolicy::kScaled, 750, 1500},
      {TimePolicy::kUnchanged, 750, 750},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(LocalTimeOf(*control, c.policy, c.time, 1000), c.expected) << static_cast<u32>(c.policy);
  }
  // The class states its policy: Update evaluates at the mapped time.
  ASSERT_EQ(control->Update(750), kOk);
  EXPECT_FLOAT_EQ(control->current, 0.5f);
}

TEST(ControlServices, MostRecentKeyPick) {
  CPointer<CSampleControl> control = MakeSample(nullptr);
  control->SetFrequency(2.0f);
  const struct {
    const char* name;
    i32 keyTime;
    f32 priority;
    i32 bestTime;
    f32 bestPriority;
    Result answer;
    i32 bestTimeAfter;
  } cases[] = {
      {"a later key wins", 1000, 0.0f, 200, 5.0f, 2, 500},
      {"an earlier key loses", 1000, 9.0f, 1200, 0.0f, kOk, 1200},
      {"a tie goes to a strictly higher priority", 1000, 2.0f, 1000, 1.0f, 2, 500},
      {"an equal priority keeps the earlier winner", 1000, 1.0f, 1000, 1.0f, kOk, 1000},
  };
  for (const auto& c : cases) {
    i32 best = c.bestTime;
    i32 picked = -7;
    f32 bestPriority = c.bestPriority;
    EXPECT_EQ(PickMostRecentKey(*control, c.keyTime, c.priority, best, picked, bestPriority), c.answer) << c.name;
    EXPECT_EQ(best, c.bestTimeAfter) << c.name;
    EXPECT_EQ(picked, c.answer == 2 ? c.bestTimeAfter : -7) << c.name;
    EXPECT_EQ(bestPriority, c.answer == 2 ? c.priority : c.bestPriority) << c.name;
  }
}

TEST(ControlServices, ModifiedGuardRestoresTheFlag) {
  for (const bool before : {false, true}) {
    CPointer<CNode> node(new CNode());
    node->SetModified(before);
    {
      CModifiedGuard guard(node.Get());
      node->SetName(u"written");
      node->SetModified(true);
    }
    EXPECT_EQ(node->IsModified(), before);
  }
  CModifiedGuard none(nullptr);  // no object: nothing to restore
}

}  // namespace
}  // namespace KT
