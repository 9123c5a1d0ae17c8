// The transform layer control: weights from the layers' keys, the
// constraint chains, the composition of the layers, the eased arrival at
// the next key time, the key lists kept one per child through every list
// operation and copy, and the record in its current and older forms.
#include "controllers/composite/rts_layer_control.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "controllers/composite/composite_test_support.h"
#include "controllers/core/keyframe_control.h"
#include "objectmodel/math_functions.h"
#include "objectmodel/memory_io.h"
#include "objectmodel/stream_test_support.h"

namespace KT {
namespace {

using test::ByteWriter;
using test::Bytes;
using test::CPoseControl;
using test::CTestSpatial;
using Key = CRTSLayerControl::CWeightKey;
using KeyList = CRTSLayerControl::KeyList;
using Vec3 = CVector3<float>;

constexpr u32 kForward = CRTSLayerControl::LAYER_TYPE_FORWARD_CONSTRAINT;
constexpr u32 kBackward = CRTSLayerControl::LAYER_TYPE_BACKWARD_CONSTRAINT;
constexpr u32 kByWeight = CRTSLayerControl::LAYER_TRANSITION_WEIGHT;
constexpr u32 kByRts = CRTSLayerControl::LAYER_TRANSITION_RTS;

class RtsLayerControlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::RegisterCompositeTestClasses();
    CClassFactory::Register("CRTSLayerControl", &CreateObject<CRTSLayerControl>);
    test::UseTestIds(0);
  }
};

// A keyframe controller holding one pose at every time, which records the
// times it is evaluated at.
class CPoseKeys : public CKeyframeControl {
 public:
  explicit CPoseKeys(const CRtsTransform& pose) { AddRtsKey(0, 1000.0f, pose); }
  Result UpdateTransform(i32 time) override {
    times.push_back(time);
    return CKeyframeControl::UpdateTransform(time);
  }
  std::vector<i32> times;
};

CRtsTransform Pose(Vec3 translate, f32 degrees = 0.0f, Vec3 axis = Vec3{0.0f, 0.0f, 1.0f}) {
  CRtsTransform t = kIdentityTransform;
  t.Rotate = CQuaternion::FromAxisAngle(axis, degrees * kDegreesToRadians);
  t.Translate = translate;
  return t;
}

void ExpectNear(const CRtsTransform& actual, const CRtsTransform& expected, const std::string& what) {
  constexpr f32 kTolerance = 1e-5f;
  EXPECT_EQ(actual.Sign, expected.Sign) << what;
  for (int i = 0; i < 3; ++i) {
    EXPECT_NEAR(actual.Scale[i], expected.Scale[i], kTolerance) << what << ", scale " << i;
    EXPECT_NEAR(actual.Translate[i], expected.Translate[i], kTolerance) << what << ", translation " << i;
  }
  const f32 rotate[2][4] = {{actual.Rotate.x, actual.Rotate.y, actual.Rotate.z, actual.Rotate.w},
                            {expected.Rotate.x, expected.Rotate.y, expected.Rotate.z, expected.Rotate.w}};
  const f32 stretch[2][4] = {{actual.Stretch.x, actual.Stretch.y, actual.Stretch.z, actual.Stretch.w},
                             {expected.Stretch.x, expected.Stretch.y, expected.Stretch.z, expected.Stretch.w}};
  for (int i = 0; i < 4; ++i) {
    EXPECT_NEAR(rotate[0][i], rotate[1][i], kTolerance) << what << ", rotation " << i;
    EXPECT_NEAR(stretch[0][i], stretch[1][i], kTolerance) << what << ", stretch " << i;
  }
}

// A spatial driven by a layer control over one child per pose.
struct Rig {
  CPointer<CTestSpatial> spatial{new CTestSpatial()};
  CPointer<CRTSLayerControl> layers{new CRTSLayerControl()};
  std::vector<CPointer<CPoseKeys>> kids;

  Rig(const std::vector<CRtsTransform>& poses, const std::vector<KeyList>& keys, u32 type = kForward,
      u32 transition = kByWeight) {
    EXPECT_EQ(spatial->AddControl(layers.Get()), kOk);
    for (const CRtsTransform& pose : poses) {
      kids.emplace_back(new CPoseKeys(pose));
      EXPECT_EQ(layers->AddChild(kids.back().Get()), kOk);
    }
    for (u32 i = 0; i < keys.size(); ++i) EXPECT_EQ(layers->SetWeightKeys(i, keys[i]), kOk);
    layers->SetLayerType(type);
    layers->SetLayerTransition(transition);
  }
  const CRtsTransform& At(i32 time) {
    for (auto& kid : kids) kid->times.clear();
    EXPECT_EQ(layers->UpdateTransform(time), kOk) << "at " << time;
    return layers->GetLocal();
  }
};

// --- evaluation ---------------------------------------------------------------------------------

TEST_F(RtsLayerControlTest, TheWeightedLayersComposeAsTheExamplesSay) {
  CRtsTransform full = Pose({1.0f, 2.0f, 3.0f}, 30.0f, Vec3{1.0f, 1.0f, 0.0f});
  full.Scale = {2.0f, 3.0f, 4.0f};
  CRtsTransform mirrored = kIdentityTransform;
  mirrored.Sign = -1.0f;
  mirrored.Scale = {3.0f, 3.0f, 3.0f};
  CRtsTransform mirroredHalf = kIdentityTransform;
  mirroredHalf.Sign = -1.0f;
  mirroredHalf.Scale = {2.0f, 2.0f, 2.0f};
  struct Case {
    const char* name;
    std::vector<CRtsTransform> poses;
    std::vector<KeyList> keys;
    u32 type;
    i32 time;
    CRtsTransform expected;
    std::vector<bool> evaluated;
  };
  const Case cases[] = {
      {"one key of weight 1: the child's transform", {full}, {{Key(0, 1.0f)}}, kForward, 300, full, {true}},
      {"weight 0.5: half the move, half the turn",
       {Pose({2.0f, 0.0f, 0.0f}, 90.0f)}, {{Key(0, 0.5f)}}, kForward, 0, Pose({1.0f, 0.0f, 0.0f}, 45.0f), {true}},
      {"forward chain: a constraint of 0 silences the later layer",
       {Pose({1.0f, 0.0f, 0.0f}), Pose({0.0f, 5.0f, 0.0f})}, {{Key(0, 1.0f, 0.0f)}, {Key(0, 1.0f, 1.0f)}}, kForward, 0,
       Pose({1.0f, 0.0f, 0.0f}), {true, false}},
      {"backward chain: a constraint of 0 silences the earlier layer",
       {Pose({1.0f, 0.0f, 0.0f}), Pose({0.0f, 5.0f, 0.0f})}, {{Key(0, 1.0f, 1.0f)}, {Key(0, 1.0f, 0.0f)}}, kBackward, 0,
       Pose({0.0f, 5.0f, 0.0f}), {false, true}},
      {"forward chain ignores the constraints of later layers",
       {Pose({1.0f, 0.0f, 0.0f}), Pose({0.0f, 5.0f, 0.0f})}, {{Key(0, 1.0f, 1.0f)}, {Key(0, 1.0f, 0.0f)}}, kForward, 0,
       Pose({1.0f, 5.0f, 0.0f}), {true, true}},
      {"a mirrored child blends from the mirrored identity", {mirrored}, {{Key(0, 0.5f)}}, kForward, 0, mirroredHalf,
       {true}},
      {"before the first key: the first key's weight",
       {Pose({2.0f, 0.0f, 0.0f})}, {{Key(500, 0.25f), Key(1000, 0.75f)}}, kForward, 0, Pose({0.5f, 0.0f, 0.0f}), {true}},
      {"after the last key: the last key's weight",
       {Pose({2.0f, 0.0f, 0.0f})}, {{Key(500, 0.25f), Key(1000, 0.75f)}}, kForward, 2000, Pose({1.5f, 0.0f, 0.0f}),
       {true}},
      {"a layer without keys weighs 0", {Pose({2.0f, 0.0f, 0.0f})}, {{}}, kForward, 0, kIdentityTransform, {false}},
  };
  for (const Case& c : cases) {
    Rig rig(c.poses, c.keys, c.type);
    ExpectNear(rig.At(c.time), c.expected, c.name);
    for (std::size_t i = 0; i < c.evaluated.size(); ++i) {
      EXPECT_EQ(!rig.kids[i]->times.empty(), c.evaluated[i]) << c.name << ", layer " << i;
    }
  }
}

// The blend toward the layers at the next key time runs over the whole
// key interval of the layer that sets it: one layer whose child moves by
// (2, 0, 0), keys (0 ms, weight 0) and (1000 ms, weight 1, linear).
TEST_F(RtsLayerControlTest, TheNextKeyIsApproachedOverItsWholeInterval) {
  struct Case {
    u32 transition;
    i32 time;
    f32 x;
  };
  const Case cases[] = {
      {kByRts, 0, 0.0f},      {kByRts, 250, 0.5f},     {kByRts, 500, 1.0f},      {kByRts, 1000, 2.0f},
      {kByWeight, 0, 0.0f},   {kByWeight, 250, 0.875f}, {kByWeight, 500, 1.5f},  {kByWeight, 1000, 2.0f},
  };
  for (const Case& c : cases) {
    Rig rig({Pose({2.0f, 0.0f, 0.0f})}, {{Key(0, 0.0f), Key(1000, 1.0f, 1.0f, TT_LINEAR)}}, kForward, c.transition);
    EXPECT_NEAR(rig.At(c.time).Translate.x, c.x, 1e-5f) << "transition " << c.transition << " at " << c.time;
  }
  // The next key's transition shapes the approach (at strength 50): half
  // way into an ease-in the blend has come a quarter of the way.
  Rig eased({Pose({2.0f, 0.0f, 0.0f})}, {{Key(0, 0.0f), Key(1000, 1.0f, 1.0f, TT_EASE_IN)}}, kForward, kByRts);
  EXPECT_NEAR(eased.At(500).Translate.x, 0.5f, 1e-5f);
  // Equal weights at the next key: nothing to approach, and the children
  // run at t only.
  Rig steady({Pose({2.0f, 0.0f, 0.0f})}, {{Key(0, 0.5f), Key(1000, 0.5f)}}, kForward, kByRts);
  EXPECT_NEAR(steady.At(500).Translate.x, 1.0f, 1e-5f);
  EXPECT_EQ(steady.kids[0]->times, std::vector<i32>{500});
}

TEST_F(RtsLayerControlTest, ScalesMultiplyRotationsMultiplyOnTheRightTranslationsAdd) {
  CRtsTransform a = Pose({1.0f, 0.0f, 0.0f}, 90.0f, Vec3{0.0f, 0.0f, 1.0f});
  a.Scale = {2.0f, 1.0f, 1.0f};
  CRtsTransform b = Pose({0.0f, 1.0f, 0.0f}, 90.0f, Vec3{1.0f, 0.0f, 0.0f});
  b.Scale = {1.0f, 3.0f, 1.0f};
  Rig rig({a, b}, {{Key(0, 1.0f)}, {Key(0, 1.0f)}});
  CRtsTransform expected = kIdentityTransform;
  expected.Scale = {2.0f, 3.0f, 1.0f};
  expected.Rotate = a.Rotate * b.Rotate;
  expected.Translate = {1.0f, 1.0f, 0.0f};
  ExpectNear(rig.At(0), expected, "two full layers");
  // The world matrix follows from the composed Local.
  test::ExpectNear(rig.layers->GetWorldMatrix(), ComposeAffine(rig.layers->GetLocal()));
}

TEST_F(RtsLayerControlTest, TheChildrensStickyRangesMerge) {
  using StickyKey = CKeyframeControl::CStickyKey;
  struct Case {
    const char* name;
    std::vector<StickyKey> first;
    std::vector<StickyKey> second;
    std::vector<f32> weights;
    bool enable;
    i32 start;
    i32 end;
  };
  const Case cases[] = {
      {"both enabled: the union", {{0, true}, {500, false}}, {{50, true}, {800, false}}, {1.0f, 1.0f}, true, 0, 800},
      {"the first enabled range is taken", {}, {{50, true}, {800, false}}, {1.0f, 1.0f}, true, 50, 800},
      {"a disabled later range changes nothing", {{0, true}, {500, false}}, {}, {1.0f, 1.0f}, true, 0, 500},
      {"a layer of weight 0 adds nothing", {{0, true}, {500, false}}, {{50, true}, {800, false}}, {1.0f, 0.0f}, true,
       0, 500},
      {"no layer evaluated: the empty range", {{0, true}}, {{0, true}}, {0.0f, 0.0f}, false, kMaxKeyTime, 0},
  };
  for (const Case& c : cases) {
    Rig rig({kIdentityTransform, kIdentityTransform}, {{Key(0, c.weights[0])}, {Key(0, c.weights[1])}});
    ASSERT_EQ(rig.kids[0]->SetStickyKeys(c.first), kOk);
    ASSERT_EQ(rig.kids[1]->SetStickyKeys(c.second), kOk);
    rig.At(100);
    EXPECT_EQ(rig.layers->IsStickyEnabled(), c.enable) << c.name;
    EXPECT_EQ(rig.layers->GetStickyStart(), c.start) << c.name;
    EXPECT_EQ(rig.layers->GetStickyEnd(), c.end) << c.name;
  }
}

TEST_F(RtsLayerControlTest, ANaNWeightCountsAsNotZero) {
  Rig rig({Pose({2.0f, 0.0f, 0.0f})}, {{Key(0, std::numeric_limits<f32>::quiet_NaN())}});
  rig.At(0);
  EXPECT_EQ(rig.kids[0]->times, std::vector<i32>{0});
}

// The shared search cache is only a starting point: a control evaluated
// along a path of times answers at each time what a fresh one answers.
TEST_F(RtsLayerControlTest, ResultsDoNotDependOnTheSharedSearchCache) {
  const std::vector<CRtsTransform> poses = {Pose({1.0f, 0.0f, 0.0f}, 40.0f), Pose({0.0f, 2.0f, 0.0f}, 60.0f),
                                            Pose({0.0f, 0.0f, 3.0f})};
  const std::vector<KeyList> keys = {
      {Key(0, 1.0f, 1.0f), Key(300, 0.5f, 0.25f, TT_EASE_OUT), Key(900, 1.0f, 1.0f)},
      {Key(100, 0.0f), Key(400, 1.0f, 0.5f, TT_EASE_IN_OUT), Key(700, 0.2f), Key(1200, 0.8f)},
      {Key(250, 0.5f), Key(1000, 1.0f, 0.0f, TT_STEP)},
  };
  const i32 path[] = {0, 100, 150, 300, 301, 700, 650, 1200, 50, 1500, 400, -20, 999, 250};
  for (u32 transition : {kByWeight, kByRts}) {
    for (u32 type : {kForward, kBackward}) {
      Rig walked(poses, keys, type, transition);
      for (i32 t : path) {
        const CRtsTransform along = walked.At(t);
        Rig fresh(poses, keys, type, transition);
        const CRtsTransform& once = fresh.At(t);
        EXPECT_EQ(std::memcmp(&along, &once, sizeof(CRtsTransform)), 0)
            << "at " << t << ", transition " << transition << ", type " << type;
      }
    }
  }
}

TEST_F(RtsLayerControlTest, ChildrenRunAtTheScaledTimeWithoutRepeat) {
  CPointer<CTestSpatial> spatial(new CTestSpatial());
  CPointer<CRTSLayerControl> layers(new CRTSLayerControl());
  CPointer<CPoseControl> pose(new CPoseControl(u"pose", 2.0f));
  ASSERT_EQ(spatial->AddControl(layers.Get()), kOk);
  ASSERT_EQ(layers->AddChild(pose.Get()), kOk);
  ASSERT_EQ(layers->SetWeightKeys(0, {Key(0, 1.0f)}), kOk);
  layers->SetFrequency(2.0f);
  layers->SetRepeat(CControl::RT_WRAP);
  pose->endTime = 1000;
  ASSERT_EQ(layers->UpdateTransform(3000), kOk);
  EXPECT_EQ(pose->times, std::vector<i32>{6000});
  EXPECT_FLOAT_EQ(layers->GetLocal().Translate.x, 2.0f);
  EXPECT_EQ(layers->GetEndTime(), 1000);

  // The objects the children read are not asked for.
  pose->times.clear();
  pose->depthValue = 4;
  i32 depth = 1;
  EXPECT_EQ(layers->GetUpdateDepth(1000, depth), kDone);
  EXPECT_EQ(depth, 1);
  EXPECT_TRUE(pose->times.empty());
}

TEST_F(RtsLayerControlTest, WithoutChildrenOrObjectOrActivity) {
  CPointer<CTestSpatial> spatial(new CTestSpatial());
  CPointer<CRTSLayerControl> layers(new CRTSLayerControl());
  EXPECT_EQ(layers->UpdateTransform(0), kErrInvalidArg);  // unbound
  ASSERT_EQ(spatial->AddControl(layers.Get()), kOk);
  spatial->SetBasis(Pose({0.0f, 5.0f, 0.0f}));
  EXPECT_EQ(layers->UpdateTransform(0), kOk);
  EXPECT_EQ(layers->GetLocal().Translate.y, 5.0f);
  EXPECT_EQ(layers->GetEndTime(), 0);
  layers->SetActive(false);
  EXPECT_EQ(layers->UpdateTransform(0), kDone);
}

TEST_F(RtsLayerControlTest, AChildsFailureIsPassedUpAndKeepsTheTransform) {
  CPointer<CTestSpatial> spatial(new CTestSpatial());
  CPointer<CRTSLayerControl> layers(new CRTSLayerControl());
  CPointer<CPoseControl> pose(new CPoseControl(u"pose", 2.0f));
  ASSERT_EQ(spatial->AddControl(layers.Get()), kOk);
  ASSERT_EQ(layers->AddChild(pose.Get()), kOk);
  ASSERT_EQ(layers->SetWeightKeys(0, {Key(0, 0.0f), Key(1000, 1.0f)}), kOk);
  ASSERT_EQ(layers->UpdateTransform(500), kOk);
  const f32 before = layers->GetLocal().Translate.x;
  pose->updateResult = kErrOutOfRange;
  EXPECT_EQ(layers->UpdateTransform(750), kErrOutOfRange);
  EXPECT_EQ(layers->GetLocal().Translate.x, before);
}

// --- the key lists follow the children ----------------------------------------------------------

// The first key's weight of each list (-1 for an empty list).
std::vector<f32> FirstWeights(const CRTSLayerControl& layers) {
  std::vector<f32> weights;
  for (const KeyList& keys : layers.GetWeightKeys()) weights.push_back(keys.empty() ? -1.0f : keys[0].Weight);
  return weights;
}

TEST_F(RtsLayerControlTest, ListOperationsKeepOneKeyListPerChild) {
  Rig rig({kIdentityTransform, kIdentityTransform, kIdentityTransform},
          {{Key(0, 0.1f)}, {Key(0, 0.2f)}, {Key(0, 0.3f)}});
  CPointer<CPoseKeys> added(new CPoseKeys(kIdentityTransform));
  CPointer<CPoseKeys> replacement(new CPoseKeys(kIdentityTransform));

  ASSERT_EQ(rig.layers->AddChild(added.Get()), kOk);
  EXPECT_EQ(FirstWeights(*rig.layers), (std::vector<f32>{0.1f, 0.2f, 0.3f, -1.0f}));
  EXPECT_EQ(rig.layers->AddChild(rig.kids[0].Get()), kErrNotFound);  // held already: nothing changes
  EXPECT_EQ(rig.layers->AddChild(nullptr), kErrInvalidArg);
  EXPECT_EQ(rig.layers->GetWeightKeys().size(), 4u);

  ASSERT_EQ(rig.layers->RemoveChild(rig.kids[1].Get()), kOk);
  EXPECT_EQ(FirstWeights(*rig.layers), (std::vector<f32>{0.1f, 0.3f, -1.0f}));
  EXPECT_EQ(rig.layers->RemoveChild(rig.kids[1].Get()), kErrInvalidArg);
  EXPECT_EQ(rig.layers->GetWeightKeys().size(), 3u);

  ASSERT_EQ(rig.layers->SetChild(0, replacement.Get()), kOk);
  EXPECT_EQ(FirstWeights(*rig.layers), (std::vector<f32>{0.1f, 0.3f, -1.0f}));

  EXPECT_EQ(rig.layers->SetWeightKeys(3, {Key(0, 1.0f)}), kErrOutOfRange);
  ASSERT_EQ(rig.layers->RemoveAllChildren(), kOk);
  EXPECT_TRUE(rig.layers->GetWeightKeys().empty());
  EXPECT_EQ(rig.layers->GetChildCount(), 0u);
}

// CopyTo moves the children to the target; their key lists go with them,
// so that the source still saves a record that matches its size.
TEST_F(RtsLayerControlTest, CopyToMovesTheKeyListsWithTheChildren) {
  Rig source({kIdentityTransform, kIdentityTransform}, {{Key(0, 0.1f)}, {Key(0, 0.2f), Key(500, 0.4f)}}, kBackward,
             kByRts);
  CPointer<CTestSpatial> other(new CTestSpatial());
  CPointer<CRTSLayerControl> target(new CRTSLayerControl());
  CPointer<CPoseKeys> former(new CPoseKeys(kIdentityTransform));
  ASSERT_EQ(other->AddControl(target.Get()), kOk);
  ASSERT_EQ(target->AddChild(former.Get()), kOk);
  ASSERT_EQ(target->SetWeightKeys(0, {Key(0, 0.9f)}), kOk);

  DisplacedList displaced;
  ASSERT_EQ(source.layers->CopyTo(target.Get(), displaced, 0), kOk);
  EXPECT_EQ(target->GetChildCount(), 2u);
  EXPECT_EQ(FirstWeights(*target), (std::vector<f32>{0.1f, 0.2f}));
  EXPECT_EQ(target->GetWeightKeys()[1].size(), 2u);
  EXPECT_EQ(target->GetLayerType(), kBackward);
  EXPECT_EQ(target->GetLayerTransition(), kByRts);
  EXPECT_EQ(displaced.size(), 1u);
  EXPECT_EQ(source.layers->GetChildCount(), 0u);
  EXPECT_TRUE(source.layers->GetWeightKeys().empty());

  // Both sides save what they measure, and load back.
  for (CRTSLayerControl* control : {source.layers.Get(), target.Get()}) {
    const Bytes saved = test::SaveObjectRecord(*control);
    EXPECT_EQ(saved.size(), control->GetSaveSize());
  }
  const Bytes file = test::SaveRoots({source.spatial.Get()});
  CStream stream;
  CMemoryIo device;
  EXPECT_EQ(test::LoadScene(file, stream, device), kOk);

  DisplacedList none;
  CPointer<CRTSSwitcherControl> switcher(new CRTSSwitcherControl());
  EXPECT_EQ(target->CopyTo(switcher.Get(), none, 0), kErrNotFound);
  EXPECT_EQ(target->CopyTo(nullptr, none, 0), kErrNotFound);
  EXPECT_EQ(target->CopyTo(target.Get(), none, 0), kOk);
  EXPECT_EQ(target->GetWeightKeys().size(), 2u);
}

TEST_F(RtsLayerControlTest, CloneKeepsOneKeyListPerChild) {
  Rig rig({Pose({1.0f, 0.0f, 0.0f}), Pose({0.0f, 2.0f, 0.0f})}, {{Key(0, 0.5f)}, {Key(0, 0.0f), Key(1000, 1.0f)}});
  CloneMap map;
  CPointer<CBase> out;
  ASSERT_EQ(CloneObject(out, map, rig.spatial.Get(), 0), kOk);
  auto* spatial = DynamicCast<CTestSpatial>(out.Get());
  ASSERT_NE(spatial, nullptr);
  auto* layers = DynamicCast<CRTSLayerControl>(spatial->GetFirstControl());
  ASSERT_NE(layers, nullptr);
  ASSERT_EQ(layers->GetChildCount(), 2u);
  EXPECT_EQ(layers->GetWeightKeys().size(), 2u);
  EXPECT_EQ(FirstWeights(*layers), FirstWeights(*rig.layers));
  EXPECT_EQ(layers->GetSaveSize(), rig.layers->GetSaveSize());
  ASSERT_EQ(layers->UpdateTransform(400), kOk);
  ExpectNear(layers->GetLocal(), rig.At(400), "the clone at 400");
}

// --- records ------------------------------------------------------------------------------------

TEST_F(RtsLayerControlTest, RecordLayoutAndSize) {
  Rig rig({kIdentityTransform, kIdentityTransform}, {{Key(0, 0.5f, 0.25f)}, {}}, kBackward, kByRts);
  const Bytes saved = test::SaveObjectRecord(*rig.layers);
  EXPECT_EQ(saved.size(), rig.layers->GetSaveSize());
  EXPECT_EQ(rig.layers->GetSaveSize(), rig.layers->CRTSControl::GetSaveSize() + 16 + (4 + 16) + (4 + 44) + 4);
  ByteWriter tail;
  tail.Pair(2, 7).U32(2).U64(rig.kids[0]->GetUniqueId()).U64(rig.kids[1]->GetUniqueId());
  tail.U32(kBackward).U32(kByRts);
  tail.U32(1).Pair(1, 0).I32(0).Pair(1, 0).U32(TT_LINEAR).F32(50.0f).Pair(1, 0).F32(0.5f).F32(0.25f);
  tail.U32(0);
  const Bytes expected = tail.Data();
  ASSERT_GE(saved.size(), expected.size());
  EXPECT_EQ(Bytes(saved.end() - static_cast<std::ptrdiff_t>(expected.size()), saved.end()), expected);

  const Key fill;
  EXPECT_EQ(fill.GetSaveSize(), 44u);
  EXPECT_EQ(fill.Weight, 1.0f);
  EXPECT_EQ(fill.Constraint, 1.0f);
  const CRTSLayerControl fresh;
  EXPECT_EQ(fresh.GetLayerType(), kForward);
  EXPECT_EQ(fresh.GetLayerTransition(), kByWeight);

  const std::string members = test::Members(rig.layers.Get());
  for (const char* name : {"CRTSLayerControl Member", "SharedLastIndex", "LayerType", "LayerTransition", "Weight",
                           "Constraint", "CRTSControl Member"}) {
    EXPECT_NE(members.find(name), std::string::npos) << name;
  }
  EXPECT_LT(members.find("SharedLastIndex"), members.find("LayerType"));
  EXPECT_LT(members.find("LayerTransition"), members.find("Weight"));
  EXPECT_LT(members.find("Weight"), members.find("Constraint"));
  EXPECT_LT(members.find("Constraint"), members.find("TransitionType"));
  EXPECT_LT(members.find("TransitionStrength"), members.find("CRTSControl Member"));
}

TEST_F(RtsLayerControlTest, RoundTripsThroughAFile) {
  Rig rig({Pose({1.0f, 0.0f, 0.0f}, 30.0f), Pose({0.0f, 2.0f, 0.0f})},
          {{Key(0, 1.0f, 0.5f), Key(700, 0.25f, 1.0f, TT_EASE_OUT, 70.0f)}, {Key(100, 0.0f), Key(900, 1.0f)}},
          kBackward, kByRts);
  const Bytes file = test::SaveRoots({rig.spatial.Get()});
  test::UseTestIds(1);
  CStream stream;
  CMemoryIo device;
  ASSERT_EQ(test::LoadScene(file, stream, device), kOk);
  auto* spatial = DynamicCast<CTestSpatial>(stream.GetRootObject(0));
  ASSERT_NE(spatial, nullptr);
  auto* layers = DynamicCast<CRTSLayerControl>(spatial->GetFirstControl());
  ASSERT_NE(layers, nullptr);
  ASSERT_EQ(layers->GetChildCount(), 2u);
  EXPECT_EQ(layers->GetWeightKeys().size(), 2u);
  EXPECT_EQ(layers->GetChild(1)->GetOwners(), std::vector<CControl*>{layers});
  EXPECT_EQ(test::Members(layers), test::Members(rig.layers.Get()));
  EXPECT_EQ(test::RenumberIds(test::SaveLoaded(stream)), test::RenumberIds(file));
  for (i32 t : {0, 300, 700, 850, 1200}) {
    ASSERT_EQ(layers->UpdateTransform(t), kOk);
    ExpectNear(layers->GetLocal(), rig.At(t), "loaded at " + std::to_string(t));
  }
  test::ExpectPrefixesFailBetweenRecords(file);
}

// --- older records --------------------------------------------------------------------------------

// A file whose root is a layer control (id 0x20) over children 0x21
// (x = 1) and 0x22 (x = 2), its own part `part`.
Bytes LayerFile(const ByteWriter& part) {
  ByteWriter body;
  test::BasePart(body, 0x20);
  test::DorunPart(body, 0);
  test::ControlPart(body, test::ControlFields());
  test::RtsControlPart(body).Bytes(part.Data());
  test::SceneImage image;
  image.Record("CRTSLayerControl", body, true);
  image.Record("CPoseControl", test::PoseBody(0x21, 1.0f));
  image.Record("CPoseControl", test::PoseBody(0x22, 2.0f));
  return image.Data();
}

// The version pair and the two children, with 4-byte ids up to 2.02.
ByteWriter Head(u32 minor) {
  ByteWriter w;
  w.Pair(2, minor).U32(2);
  if (minor <= 2) return w.U32(0x21).U32(0x22);
  return w.U64(0x21).U64(0x22);
}

ByteWriter& F32s(ByteWriter& w, const std::vector<f32>& values) {
  w.U32(static_cast<u32>(values.size()));
  for (f32 v : values) w.F32(v);
  return w;
}
ByteWriter& U32s(ByteWriter& w, const std::vector<u32>& values) {
  w.U32(static_cast<u32>(values.size()));
  for (u32 v : values) w.U32(v);
  return w;
}

// Up to 2.03: one track for both layers; weights[j] holds the weight of
// each layer at key j. From 2.01 an unused array and the types follow.
ByteWriter SharedTrack(u32 minor, const std::vector<std::vector<f32>>& weights, const std::vector<f32>& times,
                       const std::vector<u32>& types) {
  ByteWriter w = Head(minor);
  w.U32(static_cast<u32>(weights.size()));
  for (const std::vector<f32>& array : weights) F32s(w, array);
  F32s(w, times);
  if (minor >= 1) U32s(U32s(w, {7, 7}), types);
  return w;
}

// 2.04 to 2.06: a word (the mode up to 2.05, LayerType at 2.06), the
// LayerTransition from 2.05, then each layer's arrays.
struct LayerArrays {
  std::vector<f32> times;
  std::vector<f32> weights;
  std::vector<u32> types;
  std::vector<f32> constraints;  // stored at 2.06
};
ByteWriter PerLayer(u32 minor, u32 word, u32 transition, const std::vector<LayerArrays>& layers) {
  ByteWriter w = Head(minor);
  w.U32(word);
  if (minor >= 5) w.U32(transition);
  for (const LayerArrays& layer : layers) {
    F32s(w, layer.times);
    F32s(w, layer.weights);
    U32s(w, {9});
    U32s(w, layer.types);
    if (minor >= 6) F32s(w, layer.constraints);
  }
  return w;
}

struct ExpectedKey {
  i32 time;
  f32 weight;
  f32 constraint;
  u32 type;
};

TEST_F(RtsLayerControlTest, OlderRecordsLoadWithTheirConvertedConstraints) {
  struct Case {
    const char* name;
    ByteWriter part;
    u32 type;
    u32 transition;
    std::vector<std::vector<ExpectedKey>> keys;
  };
  const Case cases[] = {
      {"2.00: 4-byte ids, no types",
       SharedTrack(0, {{1.0f, 0.5f}, {1.0f, 0.25f}}, {0.0f, 999.9f}, {}), kForward, kByRts,
       {{{0, 1.0f, 1.0f, 0}, {999, 1.0f, 1.0f, 0}}, {{0, 0.5f, 1.0f, 0}, {999, 0.25f, 1.0f, 0}}}},
      {"2.03: the base layer gives way where layer 1 weighs 0",
       SharedTrack(3, {{1.0f, 0.0f}, {1.0f, 0.75f}}, {0.0f, 500.0f}, {0, 3}), kForward, kByRts,
       {{{0, 1.0f, 0.0f, 0}, {500, 1.0f, 1.0f, 3}}, {{0, 0.0f, 1.0f, 0}, {500, 0.75f, 1.0f, 3}}}},
      {"2.04 with mode 1: backward, constraints from the weights",
       PerLayer(4, 1, 0, {{{0.0f, 500.0f}, {0.25f, 2.0f}, {0, 5}, {}}, {{100.0f}, {0.5f}, {1}, {}}}), kBackward,
       kByWeight, {{{0, 0.25f, 0.75f, 0}, {500, 2.0f, 0.0f, 5}}, {{100, 0.5f, 0.5f, 1}}}},
      {"2.05 with mode 0: layer 1 is read with the stored transition",
       PerLayer(5, 0, kByRts, {{{0.0f, 500.0f}, {1.0f, 1.0f}, {0, 0}, {}}, {{0.0f, 1000.0f}, {0.0f, 0.5f}, {0, 0}, {}}}),
       kForward, kByRts,
       {{{0, 1.0f, 0.0f, 0}, {500, 1.0f, 0.0f, 0}}, {{0, 0.0f, 1.0f, 0}, {1000, 0.5f, 1.0f, 0}}}},
      {"2.05 with mode 0 by weight: layer 1 weighs 0.25 at 500",
       PerLayer(5, 0, kByWeight,
                {{{0.0f, 500.0f}, {1.0f, 1.0f}, {0, 0}, {}}, {{0.0f, 1000.0f}, {0.0f, 0.5f}, {0, 0}, {}}}),
       kForward, kByWeight,
       {{{0, 1.0f, 0.0f, 0}, {500, 1.0f, 1.0f, 0}}, {{0, 0.0f, 1.0f, 0}, {1000, 0.5f, 1.0f, 0}}}},
      {"2.06: stored type and constraints",
       PerLayer(6, kBackward, kByRts, {{{0.0f}, {1.0f}, {2}, {0.3f}}, {{}, {}, {}, {}}}), kBackward, kByRts,
       {{{0, 1.0f, 0.3f, 2}}, {}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Bytes file = LayerFile(c.part);
    CStream stream;
    CMemoryIo device;
    ASSERT_EQ(test::LoadScene(file, stream, device), kOk);
    auto* layers = DynamicCast<CRTSLayerControl>(stream.GetRootObject(0));
    ASSERT_NE(layers, nullptr);
    ASSERT_EQ(layers->GetChildCount(), 2u);
    EXPECT_EQ(layers->GetLayerType(), c.type);
    EXPECT_EQ(layers->GetLayerTransition(), c.transition);
    ASSERT_EQ(layers->GetWeightKeys().size(), c.keys.size());
    for (std::size_t i = 0; i < c.keys.size(); ++i) {
      const KeyList& loaded = layers->GetWeightKeys()[i];
      ASSERT_EQ(loaded.size(), c.keys[i].size()) << "layer " << i;
      for (std::size_t k = 0; k < loaded.size(); ++k) {
        const ExpectedKey& e = c.keys[i][k];
        EXPECT_EQ(loaded[k].Time, e.time) << "layer " << i << ", key " << k;
        EXPECT_FLOAT_EQ(loaded[k].Weight, e.weight) << "layer " << i << ", key " << k;
        EXPECT_FLOAT_EQ(loaded[k].Constraint, e.constraint) << "layer " << i << ", key " << k;
        EXPECT_EQ(loaded[k].TransitionType, e.type) << "layer " << i << ", key " << k;
        EXPECT_EQ(loaded[k].TransitionStrength, 50.0f) << "layer " << i << ", key " << k;
      }
    }
    // Once linked, the children list their container.
    EXPECT_EQ(layers->GetChild(0)->GetOwners(), std::vector<CControl*>{layers});
    // Saved again in the current form, it loads to the same keys.
    const Bytes again = test::SaveLoaded(stream);
    CStream reloaded;
    CMemoryIo reloadedDevice;
    ASSERT_EQ(test::LoadScene(again, reloaded, reloadedDevice), kOk);
    EXPECT_EQ(test::Members(reloaded.GetRootObject(0)), test::Members(layers));
    test::ExpectPrefixesFailBetweenRecords(file);
  }
}

TEST_F(RtsLayerControlTest, HostileRecordsAreRefused) {
  ByteWriter newer = Head(8);
  newer.U32(0).U32(0).U32(0).U32(0);
  ByteWriter newerKey = Head(7);
  newerKey.U32(0).U32(0).U32(1).Pair(1, 0).I32(0).Pair(1, 0).U32(0).F32(50.0f).Pair(1, 1).F32(1.0f).F32(1.0f);
  newerKey.U32(0);
  ByteWriter hugeKeys = Head(7);
  hugeKeys.U32(0).U32(0).U32(0x10000000);
  ByteWriter hugeArrays = Head(3);
  hugeArrays.U32(0x10000000);
  struct Case {
    const char* name;
    ByteWriter part;
    Result expected;
  };
  const Case cases[] = {
      {"newer version", newer, kErrNewerVersion},
      {"newer weight key level", newerKey, kErrNewerVersion},
      {"key count beyond the file", hugeKeys, kErrStream},
      {"weight array count beyond the file", hugeArrays, kErrStream},
      {"a weight array shorter than the layers", SharedTrack(3, {{1.0f}, {1.0f, 1.0f}}, {0.0f, 1.0f}, {0, 0}),
       kErrNotFound},
      {"fewer weight arrays than times", SharedTrack(3, {{1.0f, 1.0f}}, {0.0f, 1.0f}, {0, 0}), kErrNotFound},
      {"fewer types than times", SharedTrack(3, {{1.0f, 1.0f}, {1.0f, 1.0f}}, {0.0f, 1.0f}, {0}), kErrNotFound},
      {"a layer's weights differ in length",
       PerLayer(5, 0, 0, {{{0.0f, 1.0f}, {1.0f}, {0, 0}, {}}, {{}, {}, {}, {}}}), kErrNotFound},
      {"a layer's types differ in length",
       PerLayer(4, 0, 0, {{{0.0f}, {1.0f}, {0, 0}, {}}, {{}, {}, {}, {}}}), kErrNotFound},
      {"a layer's constraints differ in length",
       PerLayer(6, 1, 0, {{{0.0f}, {1.0f}, {0}, {}}, {{}, {}, {}, {}}}), kErrNotFound},
  };
  for (const Case& c : cases) {
    CStream stream;
    CMemoryIo device;
    EXPECT_EQ(test::LoadScene(LayerFile(c.part), stream, device), c.expected) << c.name;
  }
}

}  // namespace
}  // namespace KT
