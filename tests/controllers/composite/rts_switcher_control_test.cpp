// The transform switcher: blending between the children its channel keys
// name, the list operations, copies (the children move with their owner
// lists and bindings), and the record in its current and older forms.
#include "controllers/composite/rts_switcher_control.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "controllers/composite/composite_test_support.h"
#include "objectmodel/memory_io.h"
#include "objectmodel/stream_test_support.h"

namespace KT {
namespace {

using test::ByteWriter;
using test::Bytes;
using test::CPoseControl;
using test::CTestSpatial;
using Key = CRTSSwitcherControl::CSwChannelKey;

class RtsSwitcherControlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::RegisterCompositeTestClasses();
    test::UseTestIds(0);
  }
};

// A spatial driven by a switcher over children "a" at x = 0 and "b" at
// x = 2.
struct Rig {
  CPointer<CTestSpatial> spatial{new CTestSpatial()};
  CPointer<CRTSSwitcherControl> sw{new CRTSSwitcherControl()};
  CPointer<CPoseControl> a{new CPoseControl(u"a", 0.0f)};
  CPointer<CPoseControl> b{new CPoseControl(u"b", 2.0f)};

  explicit Rig(std::vector<Key> keys = {}) {
    EXPECT_EQ(spatial->AddControl(sw.Get()), kOk);
    EXPECT_EQ(sw->AddChild(a.Get()), kOk);
    EXPECT_EQ(sw->AddChild(b.Get()), kOk);
    EXPECT_EQ(sw->SetKeys(keys), kOk);
  }
  // The switcher's x at `time`; which children ran is in their `times`.
  f32 X(i32 time) {
    a->times.clear();
    b->times.clear();
    EXPECT_EQ(sw->UpdateTransform(time), kOk) << "at " << time;
    return sw->GetLocal().Translate.x;
  }
};

TEST_F(RtsSwitcherControlTest, BlendsAlongTheLaterKeysTransition) {
  struct Case {
    const char* name;
    std::vector<Key> keys;
    std::vector<std::pair<i32, f32>> samples;  // time, x
  };
  const Case cases[] = {
      {"linear", {Key(0, 0), Key(1000, 1, TT_LINEAR)}, {{-100, 0.0f}, {0, 0.0f}, {500, 1.0f}, {1000, 2.0f}, {1500, 2.0f}}},
      {"step holds, then cuts", {Key(0, 0), Key(1000, 1, TT_STEP)}, {{500, 0.0f}, {999, 0.0f}, {1000, 2.0f}}},
      {"ease in", {Key(0, 1), Key(1000, 0, TT_EASE_IN)}, {{500, 2.0f - 2.0f * 0.25f}}},
      {"one key", {Key(500, 1)}, {{0, 2.0f}, {500, 2.0f}, {5000, 2.0f}}},
      {"no keys: child 0", {}, {{0, 0.0f}, {700, 0.0f}}},
  };
  for (const Case& c : cases) {
    Rig rig(c.keys);
    for (const auto& [time, x] : c.samples) EXPECT_NEAR(rig.X(time), x, 1e-5f) << c.name << " at " << time;
  }
}

// Switchers nested in switchers evaluate down to the pose; a nest deeper
// than the evaluation bound answers kErrInvalidArg instead of running out
// of stack.
TEST_F(RtsSwitcherControlTest, NestedSwitchersEvaluateWithinTheBoundAndStopAtIt) {
  struct Case {
    u32 levels;
    bool reaches;
  };
  for (const Case& c : {Case{8, true}, Case{100000, false}}) {
    SCOPED_TRACE(c.levels);
    CPointer<CTestSpatial> spatial(new CTestSpatial());
    CPointer<CRTSSwitcherControl> top(new CRTSSwitcherControl());
    ASSERT_EQ(spatial->AddControl(top.Get()), kOk);
    CRTSSwitcherControl* last = top.Get();
    for (u32 i = 1; i < c.levels; ++i) {
      CPointer<CRTSSwitcherControl> next(new CRTSSwitcherControl());
      ASSERT_EQ(last->AddChild(next.Get()), kOk);
      last = next.Get();
    }
    CPointer<CPoseControl> pose(new CPoseControl(u"pose", 7.0f));
    ASSERT_EQ(last->AddChild(pose.Get()), kOk);

    const Result r = top->UpdateTransform(500);
    if (c.reaches) {
      EXPECT_EQ(r, kOk);
      EXPECT_FLOAT_EQ(top->GetLocal().Translate.x, 7.0f);
    } else {
      EXPECT_EQ(r, kErrInvalidArg);
      EXPECT_TRUE(pose->times.empty());
    }
  }
}

TEST_F(RtsSwitcherControlTest, EvaluatesOnlyTheChildrenItBlends) {
  Rig same({Key(0, 1), Key(1000, 1)});
  EXPECT_EQ(same.X(500), 2.0f);
  EXPECT_TRUE(same.a->times.empty());
  EXPECT_EQ(same.b->times, std::vector<i32>{500});

  // Children get the switcher's mapped time.
  Rig mapped({Key(0, 0), Key(1000, 1)});
  mapped.sw->SetFrequency(2.0f);
  mapped.a->endTime = mapped.b->endTime = 4000;
  EXPECT_NEAR(mapped.X(250), 1.0f, 1e-5f);
  EXPECT_EQ(mapped.a->times, std::vector<i32>{500});
  EXPECT_EQ(mapped.b->times, std::vector<i32>{500});
}

TEST_F(RtsSwitcherControlTest, AChannelOfNoChildLeavesTheOtherSideAlone) {
  Rig rig({Key(0, 7), Key(1000, 1)});
  EXPECT_NEAR(rig.X(500), 2.0f, 1e-6f);
  EXPECT_TRUE(rig.a->times.empty());

  // Both sides empty, or no children at all: SlaveMode gives the
  // transform (the spatial's Basis).
  CRtsTransform basis = kIdentityTransform;
  basis.Translate = CVector3<float>(0.0f, 5.0f, 0.0f);
  Rig none({Key(0, 7), Key(1000, 8)});
  none.spatial->SetBasis(basis);
  EXPECT_EQ(none.sw->UpdateTransform(500), kOk);
  EXPECT_EQ(none.sw->GetLocal().Translate.y, 5.0f);
  ASSERT_EQ(none.sw->RemoveAllChildren(), kOk);
  EXPECT_EQ(none.sw->UpdateTransform(500), kOk);
  EXPECT_EQ(none.sw->GetLocal().Translate.y, 5.0f);
}

TEST_F(RtsSwitcherControlTest, AChildsFailureKeepsTheTransform) {
  Rig rig({Key(0, 0), Key(1000, 1)});
  EXPECT_NEAR(rig.X(500), 1.0f, 1e-6f);
  rig.b->updateResult = kErrOutOfRange;
  EXPECT_EQ(rig.sw->UpdateTransform(750), kErrOutOfRange);
  EXPECT_NEAR(rig.sw->GetLocal().Translate.x, 1.0f, 1e-6f);
  rig.sw->SetActive(false);
  EXPECT_EQ(rig.sw->UpdateTransform(750), kDone);
}

TEST_F(RtsSwitcherControlTest, ListOperationsRefuseStrangersAndHeldChildren) {
  Rig rig;
  CPointer<CPoseControl> stranger(new CPoseControl(u"stranger", 1.0f));
  rig.sw->SetModified(false);
  EXPECT_EQ(rig.sw->RemoveChild(stranger.Get()), kErrInvalidArg);
  EXPECT_EQ(rig.sw->AddChild(rig.a.Get()), kErrNotFound);
  EXPECT_EQ(rig.sw->GetChildCount(), 2u);
  EXPECT_FALSE(rig.sw->IsModified());
  ASSERT_EQ(rig.sw->RemoveChild(rig.a.Get()), kOk);
  EXPECT_TRUE(rig.sw->IsModified());
  EXPECT_EQ(rig.a->GetObject(), nullptr);
  EXPECT_EQ(rig.sw->GetChild(0), rig.b.Get());
}

TEST_F(RtsSwitcherControlTest, CopyToMovesTheChildrenWithTheirOwnersAndBinding) {
  Rig rig({Key(0, 0), Key(1000, 1)});
  CPointer<CTestSpatial> other(new CTestSpatial());
  CPointer<CRTSSwitcherControl> target(new CRTSSwitcherControl());
  CPointer<CPoseControl> former(new CPoseControl(u"former", 9.0f));
  ASSERT_EQ(other->AddControl(target.Get()), kOk);
  ASSERT_EQ(target->AddChild(former.Get()), kOk);
  DisplacedList displaced;
  ASSERT_EQ(rig.sw->CopyTo(target.Get(), displaced, 0), kOk);
  EXPECT_EQ(rig.sw->GetChildCount(), 0u);
  ASSERT_EQ(target->GetChildCount(), 2u);
  EXPECT_EQ(target->GetKeys().Size(), 2u);
  for (CPoseControl* child : {rig.a.Get(), rig.b.Get()}) {
    EXPECT_EQ(child->GetOwners(), std::vector<CControl*>{target.Get()});
    EXPECT_EQ(child->GetObject(), target->GetObject());
  }
  EXPECT_FALSE(former->HasOwners());
  EXPECT_EQ(former->GetObject(), nullptr);
  ASSERT_EQ(displaced.size(), 1u);

  // The source may go: nothing lists it any more.
  rig.sw = nullptr;
  ASSERT_EQ(target->RemoveAllChildren(), kOk);
  EXPECT_EQ(rig.a->GetObject(), nullptr);
  EXPECT_FALSE(rig.b->HasOwners());

  DisplacedList none;
  CPointer<CRTSSelectorControl> selector(new CRTSSelectorControl());
  EXPECT_EQ(target->CopyTo(selector.Get(), none, 0), kErrNotFound);
  EXPECT_EQ(target->CopyTo(nullptr, none, 0), kErrNotFound);
}

TEST_F(RtsSwitcherControlTest, CopyToRefusesAChildAlsoHeldForAnotherObject) {
  // "a" is held by the switcher and by a second switcher of the same
  // spatial; unbinding the first leaves "a" bound for the second.
  Rig rig;
  CPointer<CRTSSwitcherControl> second(new CRTSSwitcherControl());
  ASSERT_EQ(rig.spatial->AddControl(second.Get()), kOk);
  ASSERT_EQ(second->AddChild(rig.a.Get()), kOk);
  ASSERT_EQ(rig.spatial->RemoveControl(rig.sw.Get()), kOk);
  ASSERT_EQ(rig.sw->GetObject(), nullptr);
  ASSERT_EQ(rig.a->GetObject(), rig.spatial.Get());

  CPointer<CRTSSwitcherControl> target(new CRTSSwitcherControl());
  CPointer<CPoseControl> former(new CPoseControl(u"former", 9.0f));
  ASSERT_EQ(target->AddChild(former.Get()), kOk);
  DisplacedList displaced;
  EXPECT_EQ(rig.sw->CopyTo(target.Get(), displaced, 0), kErrInvalidArg);
  EXPECT_EQ(rig.sw->GetChildCount(), 2u);
  EXPECT_EQ(target->GetChild(0), former.Get());
  EXPECT_TRUE(displaced.empty());
  EXPECT_EQ(rig.a->GetOwners(), (std::vector<CControl*>{rig.sw.Get(), second.Get()}));
}

TEST_F(RtsSwitcherControlTest, CloneCopiesTheChildrenAndKeys) {
  Rig rig({Key(0, 0), Key(1000, 1)});
  CloneMap map;
  CPointer<CBase> out;
  ASSERT_EQ(CloneObject(out, map, rig.spatial.Get(), 0), kOk);
  auto* spatial = DynamicCast<CTestSpatial>(out.Get());
  ASSERT_NE(spatial, nullptr);
  auto* sw = DynamicCast<CRTSSwitcherControl>(spatial->GetFirstControl());
  ASSERT_NE(sw, nullptr);
  ASSERT_EQ(sw->GetChildCount(), 2u);
  EXPECT_NE(sw->GetChild(0), rig.a.Get());
  EXPECT_EQ(sw->GetChild(1)->GetObject(), spatial);
  EXPECT_EQ(sw->GetChild(1)->GetOwners(), std::vector<CControl*>{sw});
  EXPECT_EQ(sw->GetKeys().Size(), 2u);
  ASSERT_EQ(sw->UpdateTransform(500), kOk);
  EXPECT_NEAR(sw->GetLocal().Translate.x, 1.0f, 1e-6f);
}

TEST_F(RtsSwitcherControlTest, EndTimeAndUpdateDepthComeFromTheChildren) {
  Rig rig;
  rig.a->endTime = 1000;
  rig.a->SetFrequency(2.0f);
  rig.b->endTime = -50;
  EXPECT_EQ(rig.sw->GetEndTime(), 500);
  rig.a->endTime = -10;
  EXPECT_EQ(rig.sw->GetEndTime(), 0);

  rig.sw->SetFrequency(0.5f);
  rig.b->depthValue = 4;
  i32 depth = 1;
  EXPECT_EQ(rig.sw->GetUpdateDepth(1001, depth), kOk);
  EXPECT_EQ(depth, 4);
  EXPECT_EQ(rig.a->times, std::vector<i32>{500});
}

// --- records ------------------------------------------------------------------------------------

TEST_F(RtsSwitcherControlTest, RecordLayoutAndSize) {
  Rig rig({Key(0, 0), Key(1000, 1, TT_EASE_OUT, 70.0f)});
  const Bytes saved = test::SaveObjectRecord(*rig.sw);
  EXPECT_EQ(saved.size(), rig.sw->GetSaveSize());
  EXPECT_EQ(rig.sw->GetSaveSize(), rig.sw->CRTSControl::GetSaveSize() + 8 + (4 + 16) + (4 + 80));
  ByteWriter tail;
  tail.Pair(1, 1).U32(2).U64(rig.a->GetUniqueId()).U64(rig.b->GetUniqueId()).U32(2);
  tail.Pair(1, 0).I32(0).Pair(1, 0).U32(TT_LINEAR).F32(50.0f).Pair(1, 0).U32(0);
  tail.Pair(1, 0).I32(1000).Pair(1, 0).U32(TT_EASE_OUT).F32(70.0f).Pair(1, 0).U32(1);
  const Bytes expected = tail.Data();
  ASSERT_GE(saved.size(), expected.size());
  EXPECT_EQ(Bytes(saved.end() - static_cast<std::ptrdiff_t>(expected.size()), saved.end()), expected);
  EXPECT_EQ(Key().GetSaveSize(), 40u);

  const std::string members = test::Members(rig.sw.Get());
  for (const char* name : {"CRTSSwitcherControl Member", "Channel", "TransitionType", "CRTSControl Member"}) {
    EXPECT_NE(members.find(name), std::string::npos) << name;
  }
  EXPECT_LT(members.find("Time"), members.find("Channel"));
  EXPECT_LT(members.find("Channel"), members.find("TransitionType"));
}

TEST_F(RtsSwitcherControlTest, RoundTripsThroughAFile) {
  Rig rig({Key(0, 0), Key(1000, 1, TT_EASE_IN_OUT)});
  const Bytes file = test::SaveRoots({rig.spatial.Get()});
  test::UseTestIds(1);
  CStream stream;
  CMemoryIo device;
  ASSERT_EQ(test::LoadScene(file, stream, device), kOk);
  auto* spatial = DynamicCast<CTestSpatial>(stream.GetRootObject(0));
  ASSERT_NE(spatial, nullptr);
  auto* sw = DynamicCast<CRTSSwitcherControl>(spatial->GetFirstControl());
  ASSERT_NE(sw, nullptr);
  ASSERT_EQ(sw->GetChildCount(), 2u);
  EXPECT_EQ(sw->GetChild(1)->GetObject(), spatial);
  EXPECT_EQ(sw->GetChild(1)->GetOwners(), std::vector<CControl*>{sw});
  EXPECT_EQ(test::Members(sw), test::Members(rig.sw.Get()));
  EXPECT_EQ(test::RenumberIds(test::SaveLoaded(stream)), test::RenumberIds(file));
  for (i32 t : {0, 300, 500, 1200}) {
    ASSERT_EQ(sw->UpdateTransform(t), kOk);
    EXPECT_NEAR(sw->GetLocal().Translate.x, rig.X(t), 1e-6f) << t;
  }
  test::ExpectPrefixesFailBetweenRecords(file);
}

// A file whose root is a switcher (id 0x20) with children 0x21 (x = 0)
// and 0x22 (x = 2), its own part `part`. `controlMinor` 2 writes a
// controller part from before owner lists.
Bytes SwitcherFile(const ByteWriter& part, u32 controlMinor = 4) {
  ByteWriter body;
  test::BasePart(body, 0x20);
  test::DorunPart(body, 0);
  if (controlMinor == 4) {
    test::ControlPart(body, test::ControlFields());
  } else {
    body.Pair(2, 2).U32(0).F32(0.0f).F32(1.0f).F32(1.0f).U8(1).U64(0).U64(0);
  }
  test::RtsControlPart(body).Bytes(part.Data());
  test::SceneImage image;
  image.Record("CRTSSwitcherControl", body, true);
  image.Record("CPoseControl", test::PoseBody(0x21, 0.0f));
  image.Record("CPoseControl", test::PoseBody(0x22, 2.0f));
  return image.Data();
}

ByteWriter& Children(ByteWriter& w) { return w.U32(2).U64(0x21).U64(0x22); }

// Version 1.00: times 999.9 and 1000.2, channels 1 and 0, flags 0.0 (a
// step) and 1.0, types 2 and 3.
ByteWriter FourArrays(u32 channels = 2, u32 flags = 2, u32 types = 2) {
  ByteWriter w;
  Children(w.Pair(1, 0));
  w.U32(2).F32(999.9f).F32(1000.2f);
  w.U32(channels);
  for (u32 i = 0; i < channels; ++i) w.U32(1 - i);
  w.U32(flags);
  for (u32 i = 0; i < flags; ++i) w.F32(static_cast<f32>(i));
  w.U32(types);
  for (u32 i = 0; i < types; ++i) w.U32(2 + i);
  return w;
}

TEST_F(RtsSwitcherControlTest, TheFourArrayFormLoadsAsKeys) {
  CStream stream;
  CMemoryIo device;
  ASSERT_EQ(test::LoadScene(SwitcherFile(FourArrays(), 2), stream, device), kOk);
  auto* sw = DynamicCast<CRTSSwitcherControl>(stream.GetRootObject(0));
  ASSERT_NE(sw, nullptr);
  ASSERT_EQ(sw->GetKeys().Size(), 2u);
  const Key& first = sw->GetKeys()[0];
  const Key& second = sw->GetKeys()[1];
  EXPECT_EQ(first.Time, 999);
  EXPECT_EQ(second.Time, 1000);
  EXPECT_EQ(first.Channel, 1u);
  EXPECT_EQ(second.Channel, 0u);
  EXPECT_EQ(first.TransitionType, static_cast<u32>(TT_STEP));
  EXPECT_EQ(second.TransitionType, 3u);
  EXPECT_EQ(first.TransitionStrength, 50.0f);
  EXPECT_EQ(second.TransitionStrength, 50.0f);
  // From before owner lists: the children list their container.
  ASSERT_EQ(sw->GetChildCount(), 2u);
  EXPECT_EQ(sw->GetChild(0)->GetOwners(), std::vector<CControl*>{sw});
  test::ExpectPrefixesFailBetweenRecords(SwitcherFile(FourArrays(), 2));
}

TEST_F(RtsSwitcherControlTest, HostileRecordsAreRefused) {
  ByteWriter newer;
  Children(newer.Pair(1, 2)).U32(0);
  ByteWriter hugeKeys;
  Children(hugeKeys.Pair(1, 1)).U32(0x10000000);
  ByteWriter newerKey;
  Children(newerKey.Pair(1, 1)).U32(1).Pair(1, 0).I32(0).Pair(1, 0).U32(0).F32(50.0f).Pair(1, 1).U32(0);
  struct Case {
    const char* name;
    Bytes bytes;
    Result expected;
  };
  const Case cases[] = {
      {"newer version", SwitcherFile(newer), kErrNewerVersion},
      {"newer key level", SwitcherFile(newerKey), kErrNewerVersion},
      {"key count beyond the file", SwitcherFile(hugeKeys), kErrStream},
      {"short channel array", SwitcherFile(FourArrays(1, 2, 2)), kErrNotFound},
      {"short flag array", SwitcherFile(FourArrays(2, 1, 2)), kErrNotFound},
      {"short type array", SwitcherFile(FourArrays(2, 2, 0)), kErrNotFound},
  };
  for (const Case& c : cases) {
    CStream stream;
    CMemoryIo device;
    EXPECT_EQ(test::LoadScene(c.bytes, stream, device), c.expected) << c.name;
  }
}

}  // namespace
}  // namespace KT
