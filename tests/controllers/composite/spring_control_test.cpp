// The spring controller: switching off, the Play flag and time, the
// position model against steps worked by hand, the angle model's rest pose,
// and its record with the older forms.
#include "controllers/composite/spring_control.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "controllers/composite/constraint_test_support.h"
#include "controllers/core/transform_test_support.h"
#include "objectmodel/byte_writer.h"
#include "objectmodel/class_factory.h"
#include "objectmodel/stream_test_support.h"
#include "scene/node.h"

namespace KT {
namespace {

using test::Bytes;
using test::ByteWriter;
using Vec3 = CVector3<float>;

class SpringControlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::RegisterTransformTestClasses();
    CClassFactory::Register("CSpringControl", &CreateObject<CSpringControl>);
    CClassFactory::Register("CNode", &CreateObject<CNode>);
    test::UseTestIds(0);
    CSpringControl::SetPlay(false);
  }
  void TearDown() override { CSpringControl::SetPlay(false); }
};

CSpringControl::Parameters Chase() {
  CSpringControl::Parameters p;
  p.Gravity = 2.0f;
  p.MaxLength = 100.0f;
  p.K = 30.0f;
  p.Damp = 3.0f;
  p.Mass = 2.0f;
  p.MaxSpeed = 10.0f;
  p.nMoveActivity = 50;
  p.SpringType = CSpringControl::ST_Position;
  return p;
}

// A spatial at `at` carrying one spring, optionally under a parent.
struct Sprung {
  CPointer<CNode> parent;
  CPointer<CNode> node;
  CPointer<CSpringControl> spring{new CSpringControl()};
  explicit Sprung(const Vec3& at, const CSpringControl::Parameters& params = Chase(), bool withParent = false) {
    node = test::Placed(u"bone", at);
    if (withParent) {
      parent = test::Placed(u"root", {0, 0, 0});
      EXPECT_EQ(parent->AddChild(node.Get()), kOk);
    }
    spring->SetParameters(params);
    EXPECT_EQ(node->AddControl(spring.Get()), kOk);
  }
  // Moves the spatial (Local and world alike) as an earlier controller
  // would.
  void MoveTo(const Vec3& at) {
    CRtsTransform local = node->GetLocal();
    local.Translate = at;
    node->SetLocal(local);
    CMatrix4 world = node->GetWorldMatrix();
    world.SetTranslation(at);
    node->SetWorld(node->GetWorldScale(), node->GetWorldRotate(), world);
  }
  Vec3 Position() const { return spring->GetWorldMatrix().GetTranslation(); }
};

bool IsFinite(const Vec3& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

TEST_F(SpringControlTest, DefaultsAndAnswers) {
  CPointer<CSpringControl> spring(new CSpringControl());
  EXPECT_EQ(spring->GetVersion(), 206u);
  EXPECT_EQ(spring->GetRepeat(), CControl::RT_CLAMP);
  EXPECT_EQ(spring->GetSlaveMode(), CRTSControl::SM_CURRENT_WORLD);
  EXPECT_EQ(spring->GetSpringRatio(), 100.0f);
  EXPECT_EQ(spring->GetDampRatio(), 100.0f);
  EXPECT_EQ(spring->GetMassRatio(), 100.0f);
  EXPECT_EQ(spring->GetParameters().K, 0.0f);
  EXPECT_EQ(spring->GetTargetSpring(), nullptr);
  EXPECT_TRUE(spring->NeedsSubSteps());
  EXPECT_FALSE(CSpringControl::IsPlaying());
  EXPECT_EQ(spring->GetEndTime(), 0);
  EXPECT_EQ(spring->GetSaveSize(), spring->CRTSControl::GetSaveSize() + 64);
  EXPECT_EQ(spring->UpdateTransform(0), kErrInvalidArg);
  const std::string text = test::Members(spring.Get());
  test::ExpectNamesInOrder(text, {"CSpringControl Member", "SpringRatio", "DampRatio", "MassRatio", "Gravity",
                                  "MaxLength", "fNotUsed", "nMoveActivity", "SpringType", "ST_Position", "Initial",
                                  "TimeIntrval", "Original", "Play", "Fs", "Fd", "vVelocity", "vTarget", "vPrePos",
                                  "LastTime", "CRTSControl Member"});
}

TEST_F(SpringControlTest, AnOffSpringTakesTheSlaveModePoseAndAnswersOne) {
  struct Row {
    const char* name;
    f32 massRatio;
    f32 mass;
  };
  const Row rows[] = {
      {"MassRatio 0", 0.0f, 2.0f},
      {"MassRatio NaN", std::nanf(""), 2.0f},
      {"Mass 0 with a MassRatio (no infinite 1/m)", 100.0f, 0.0f},
  };
  CSpringControl::SetPlay(true);
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    CSpringControl::Parameters params = Chase();
    params.Mass = row.mass;
    Sprung s({1, 2, 3}, params);
    s.spring->SetRatios(100.0f, 100.0f, row.massRatio);
    EXPECT_EQ(s.spring->UpdateTransform(0), kDone);
    EXPECT_EQ(s.spring->UpdateTransform(100), kDone);
    EXPECT_FALSE(s.spring->IsInitial());
    test::ExpectNear(s.Position(), {1, 2, 3});
    EXPECT_TRUE(IsFinite(s.spring->GetAcceleration()));
  }
}

TEST_F(SpringControlTest, WithPlayOffTimeZeroResetsAndOtherTimesHoldThePose) {
  Sprung s({1, 0, 0});
  ASSERT_EQ(s.spring->UpdateTransform(40), kOk);  // the first evaluation resets
  EXPECT_TRUE(s.spring->IsInitial());
  test::ExpectNear(s.spring->GetTarget(), {1, 0, 0});
  const CRtsTransform held = s.spring->GetLocal();
  s.MoveTo({5, 0, 0});
  for (i32 t : {80, 30, 1000}) {
    ASSERT_EQ(s.spring->UpdateTransform(t), kOk);
    test::ExpectNear(s.spring->GetLocal().Translate, held.Translate);
    test::ExpectNear(s.Position(), {1, 0, 0});
    EXPECT_EQ(s.spring->GetLastTime(), t);
  }
  ASSERT_EQ(s.spring->UpdateTransform(0), kOk);
  test::ExpectNear(s.spring->GetTarget(), {5, 0, 0});
  test::ExpectNear(s.Position(), {5, 0, 0});
}

TEST_F(SpringControlTest, WhilePlayingOnlyALaterTimeSteps) {
  Sprung s({0, 0, 0});
  ASSERT_EQ(s.spring->UpdateTransform(0), kOk);
  CSpringControl::SetPlay(true);
  s.MoveTo({1, 0, 0});
  ASSERT_EQ(s.spring->UpdateTransform(100), kOk);
  const Vec3 after = s.spring->GetTarget();
  const Vec3 velocity = s.spring->GetVelocity();
  EXPECT_EQ(s.spring->UpdateTransform(100), kDone);  // the same time
  EXPECT_EQ(s.spring->GetTarget(), after);
  EXPECT_EQ(s.spring->UpdateTransform(50), kDone);  // backward: the pose held, no step
  EXPECT_EQ(s.spring->GetTarget(), after);
  EXPECT_EQ(s.spring->GetVelocity(), velocity);
  EXPECT_EQ(s.spring->GetLastTime(), 50);
  ASSERT_EQ(s.spring->UpdateTransform(150), kOk);
  EXPECT_NE(s.spring->GetTarget(), after);
}

TEST_F(SpringControlTest, ThePositionModelMatchesThreeStepsByHand) {
  CSpringControl::Parameters p = Chase();
  p.nMoveActivity = 10;
  Sprung s({0, 0, 0}, p, true);
  ASSERT_EQ(s.spring->UpdateTransform(0), kOk);
  CSpringControl::SetPlay(true);
  const f32 ks = p.K * 100.0f * 0.01f;
  const f32 kd = p.Damp * 100.0f * 0.01f;
  const f32 m = 0.01f * p.Mass * 100.0f;
  Vec3 v(0, 0, 0), x(0, 0, 0), a(0, 0, 0);
  const Vec3 where[3] = {{1, 0, 0}, {1, 1, 0}, {0, 1, 2}};
  i32 time = 0;
  for (int step = 0; step < 3; ++step) {
    const i32 next = time + 1 + step;
    const f32 dt = static_cast<f32>((next - time) * p.nMoveActivity) / 100.0f;
    time = next;
    s.MoveTo(where[step]);
    v = v + a * dt;
    x = x + v * dt + Vec3(a.x * dt * dt / 2.0f, a.y * dt * dt / 2.0f, a.z * dt * dt / 2.0f);
    const Vec3 d = where[step] - x;
    a = (d * ks - v * kd) * (1.0f / m);
    a.z -= p.Gravity;
    ASSERT_EQ(s.spring->UpdateTransform(time), kOk);
    SCOPED_TRACE(step);
    test::ExpectNear(s.spring->GetVelocity(), v);
    test::ExpectNear(s.spring->GetTarget(), x);
    test::ExpectNear(s.spring->GetAcceleration(), a);
    test::ExpectNear(s.spring->GetLocal().Translate, x);  // the parent sits at the origin
    test::ExpectNear(s.Position(), x);
  }
}

TEST_F(SpringControlTest, APointBeyondMaxLengthLandsOnTheSphere) {
  CSpringControl::Parameters p = Chase();
  p.MaxLength = 2.0f;
  Sprung s({0, 0, 0}, p);
  ASSERT_EQ(s.spring->UpdateTransform(0), kOk);
  CSpringControl::SetPlay(true);
  s.MoveTo({10, 0, 0});
  ASSERT_EQ(s.spring->UpdateTransform(10), kOk);
  EXPECT_NEAR((Vec3(10, 0, 0) - s.spring->GetTarget()).Length(), 2.0f, 1e-5f);
  test::ExpectNear(s.spring->GetTarget(), {8, 0, 0});

  // A MaxLength of 0 with the point on the spatial: nothing to clamp along,
  // no division by 0.
  p.MaxLength = 0.0f;
  Sprung still({3, 0, 0}, p);
  ASSERT_EQ(still.spring->UpdateTransform(0), kDone);  // playing: the reset, then no time passed
  ASSERT_EQ(still.spring->UpdateTransform(10), kOk);
  EXPECT_TRUE(IsFinite(still.spring->GetTarget()));
  EXPECT_TRUE(IsFinite(still.spring->GetAcceleration()));
  test::ExpectNear(still.spring->GetTarget(), {3, 0, 0});
}

TEST_F(SpringControlTest, NoMoveActivityFreezesTheState) {
  CSpringControl::Parameters p = Chase();
  p.nMoveActivity = 0;
  Sprung s({0, 0, 0}, p);
  ASSERT_EQ(s.spring->UpdateTransform(0), kOk);
  CSpringControl::SetPlay(true);
  s.MoveTo({1, 0, 0});
  for (i32 t : {10, 20, 30}) {
    ASSERT_EQ(s.spring->UpdateTransform(t), kOk);
    EXPECT_EQ(s.spring->StepLength(), 0.0f);
    test::ExpectNear(s.spring->GetTarget(), {0, 0, 0});
    test::ExpectNear(s.spring->GetVelocity(), {0, 0, 0});
  }
  // The forces are still worked out from where the spatial went.
  test::ExpectNear(s.spring->GetAcceleration(), {30.0f / 2.0f, 0, -2.0f});
}

TEST_F(SpringControlTest, TheStepLengthIsMultipliedIn64Bits) {
  CSpringControl::Parameters p = Chase();
  p.nMoveActivity = 100;
  Sprung s({0, 0, 0}, p);
  ASSERT_EQ(s.spring->UpdateTransform(0), kOk);
  CSpringControl::SetPlay(true);
  ASSERT_EQ(s.spring->UpdateTransform(2000000000), kOk);
  EXPECT_EQ(s.spring->GetTimeInterval(), 2000000000);
  EXPECT_EQ(s.spring->StepLength(), 2000000000.0f);
}

// A bone one unit along X from its parent, with the angle model.
CSpringControl::Parameters Swing(f32 gravity) {
  CSpringControl::Parameters p = Chase();
  p.SpringType = CSpringControl::ST_Angle;
  p.Gravity = gravity;
  p.MaxSpeed = 1.0f;
  p.nMoveActivity = 100;
  return p;
}

TEST_F(SpringControlTest, ABoneAtRestStaysAtRestWithoutGravity) {
  Sprung s({1, 0, 0}, Swing(0.0f), true);
  ASSERT_EQ(s.spring->UpdateTransform(0), kOk);
  CSpringControl::SetPlay(true);
  for (i32 t = 10; t <= 100; t += 10) {
    ASSERT_EQ(s.spring->UpdateTransform(t), kOk);
    test::ExpectNear(s.Position(), {1, 0, 0});
    test::ExpectSameRotation(s.spring->GetLocal().Rotate, kQuaternionIdentity);
  }
}

TEST_F(SpringControlTest, WithGravityABoneSagsTowardMinusZ) {
  Sprung s({1, 0, 0}, Swing(1.0f), true);
  ASSERT_EQ(s.spring->UpdateTransform(0), kOk);
  // The rest pose turns the bone from X toward (1, 0, -g m) = (1, 0, -2).
  const Vec3 rest = s.Position();
  EXPECT_NEAR(rest.Length(), 1.0f, 1e-5f);
  EXPECT_LT(rest.z, -0.5f);
  test::ExpectNear(rest, Vec3(1, 0, -2) * (1.0f / std::sqrt(5.0f)));
  test::ExpectNear(s.spring->GetPrePos(), rest);
  CSpringControl::SetPlay(true);
  for (i32 t = 10; t <= 200; t += 10) {
    ASSERT_EQ(s.spring->UpdateTransform(t), kOk);
    EXPECT_TRUE(IsFinite(s.Position()));
    EXPECT_LT(s.Position().z, 0.0f);
  }
}

TEST_F(SpringControlTest, AnAngleSpringWithoutAParentGivesNoNaN) {
  for (const Vec3& at : {Vec3(0, 0, 0), Vec3(1, 0, 0), Vec3(0, 0, 1)}) {
    Sprung s(at, Swing(1.0f));
    CSpringControl::SetPlay(false);
    ASSERT_EQ(s.spring->UpdateTransform(0), kOk);
    CSpringControl::SetPlay(true);
    for (i32 t = 10; t <= 100; t += 10) {
      s.MoveTo(at + Vec3(0.1f * static_cast<f32>(t), 0, 0));
      ASSERT_EQ(s.spring->UpdateTransform(t), kOk);
      EXPECT_TRUE(IsFinite(s.Position()));
      EXPECT_TRUE(IsFinite(s.spring->GetVelocity()));
      EXPECT_TRUE(std::isfinite(s.spring->GetLocal().Rotate.w));
    }
  }
}

TEST_F(SpringControlTest, TheTargetSpringOrdersTheUpdate) {
  Sprung lead({0, 0, 0});
  Sprung follower({1, 0, 0});
  i32 depth = 0;
  EXPECT_EQ(follower.spring->GetUpdateDepth(0, depth), kOk);
  EXPECT_EQ(depth, 0);
  follower.spring->SetTargetSpring(lead.spring.Get());
  EXPECT_TRUE(follower.spring->HasSubObjects());
  EXPECT_EQ(follower.spring->GetUpdateDepth(0, depth), kOk);
  EXPECT_EQ(depth, 1);

  // Copies keep the target; CopyTo of another class is refused.
  CPointer<CSpringControl> copy(new CSpringControl());
  DisplacedList displaced;
  ASSERT_EQ(follower.spring->CopyTo(copy.Get(), displaced, 0), kOk);
  EXPECT_EQ(copy->GetTargetSpring(), lead.spring.Get());
  EXPECT_EQ(copy->GetParameters().K, Chase().K);
  EXPECT_EQ(follower.spring->CopyTo(follower.node.Get(), displaced, 0), kErrNotFound);
  CPointer<CBase> instance;
  ASSERT_EQ(follower.spring->UpdateTransform(0), kOk);
  ASSERT_EQ(follower.spring->CreateInstance(instance), kOk);
  auto* made = DynamicCast<CSpringControl>(instance.Get());
  ASSERT_NE(made, nullptr);
  EXPECT_FALSE(made->IsInitial());
  EXPECT_EQ(made->GetTargetSpring(), lead.spring.Get());
  EXPECT_EQ(follower.spring->ResolveReferences(nullptr), kErrInvalidArg);

  // A clone of both follows the copy of the lead.
  CPointer<CNode> scene = test::Placed(u"scene", {0, 0, 0});
  lead.node->SetName(u"lead");
  follower.node->SetName(u"follower");
  ASSERT_EQ(scene->AddChild(lead.node.Get()), kOk);
  ASSERT_EQ(scene->AddChild(follower.node.Get()), kOk);
  CloneMap map;
  CPointer<CBase> clone;
  ASSERT_GE(scene->Clone(clone, map, 0), 0);
  ASSERT_EQ(clone->RemapAllReferences(map), kOk);
  auto* leadCopy = DynamicCast<CNode>(clone->Find(u"lead", nullptr, false, false));
  auto* followerCopy = DynamicCast<CNode>(clone->Find(u"follower", nullptr, false, false));
  ASSERT_NE(leadCopy, nullptr);
  ASSERT_NE(followerCopy, nullptr);
  auto* springCopy = DynamicCast<CSpringControl>(followerCopy->GetFirstControl());
  ASSERT_NE(springCopy, nullptr);
  EXPECT_EQ(springCopy->GetTargetSpring(), leadCopy->GetFirstControl());
}

TEST_F(SpringControlTest, SavesLoadsAndSavesTheSameBytes) {
  CPointer<CNode> scene = test::Placed(u"scene", {0, 0, 0});
  Sprung lead({0, 0, 0});
  Sprung follower({1, 0, 0});
  lead.node->SetName(u"lead");
  follower.node->SetName(u"follower");
  ASSERT_EQ(scene->AddChild(lead.node.Get()), kOk);
  ASSERT_EQ(scene->AddChild(follower.node.Get()), kOk);
  follower.spring->SetTargetSpring(lead.spring.Get());
  follower.spring->SetRatios(50.0f, 60.0f, 70.0f);
  const Bytes first = test::SaveRoots({scene.Get()});
  test::UseTestIds(1);
  CStream stream;
  CMemoryIo device;
  ASSERT_EQ(test::LoadScene(first, stream, device), kOk);
  auto* root = DynamicCast<CNode>(stream.GetRootObject(0));
  ASSERT_NE(root, nullptr);
  auto* loaded = DynamicCast<CSpringControl>(root->Find(nullptr, &CSpringControl::StaticClassRecord(), false, false));
  ASSERT_NE(loaded, nullptr);
  auto* loadedFollower = DynamicCast<CNode>(root->Find(u"follower", nullptr, false, false));
  ASSERT_NE(loadedFollower, nullptr);
  auto* follows = DynamicCast<CSpringControl>(loadedFollower->GetFirstControl());
  ASSERT_NE(follows, nullptr);
  ASSERT_NE(follows->GetTargetSpring(), nullptr);
  EXPECT_EQ(follows->GetTargetSpring()->GetObject()->GetName(), u"lead");
  EXPECT_EQ(follows->GetMassRatio(), 70.0f);
  EXPECT_EQ(follows->GetParameters().Damp, Chase().Damp);
  EXPECT_EQ(test::RenumberIds(test::SaveLoaded(stream)), test::RenumberIds(first));
  test::ExpectPrefixesFailBetweenRecords(first);
}

// A spring record of the older form `minor` (2.0x) with Weight `weight`
// and Active off in its controller part.
ByteWriter OlderSpring(u32 minor, f32 weight) {
  ByteWriter w;
  test::BasePart(w, 0x10);
  test::DorunPart(w, 0);
  test::ControlFields fields;
  fields.weight = weight;
  fields.active = 0;
  test::ControlPart(w, fields);
  test::RtsControlPart(w, 2, 0);
  w.Pair(2, minor);
  if (minor < 1) w.U32(2).U32(7).U32(8).U32(1).U32(9);  // two dropped u32 arrays
  if (minor >= 4) {
    w.U32(1).U64(0x1234);  // one dropped array of 8-byte values
  } else {
    w.U32(2).U32(5).U32(6);  // one dropped u32 array
  }
  // Two parameter records: the first counts.
  w.U32(2);
  w.F32(3.0f).F32(4.0f).F32(5.0f).F32(6.0f).F32(7.0f).F32(8.0f).F32(9.0f).I32(25).U32(1);
  w.F32(-1).F32(-1).F32(-1).F32(-1).F32(-1).F32(-1).F32(-1).I32(-1).U32(0);
  if (minor >= 3) w.F32(40.0f).F32(45.0f);
  if (minor >= 5) w.F32(55.0f);
  return w;
}

TEST_F(SpringControlTest, OlderRecordsLoad) {
  struct Row {
    u32 minor;
    f32 weight;
    bool active;
    f32 springRatio;
    f32 dampRatio;
    f32 massRatio;
  };
  const Row rows[] = {
      {0, 100.0f, true, 100.0f, 100.0f, 100.0f},  {1, 100.0f, true, 100.0f, 100.0f, 100.0f},
      {2, 0.5f, false, 100.0f, 100.0f, 0.5f},     {3, 0.5f, false, 40.0f, 45.0f, 0.5f},
      {4, 0.5f, false, 40.0f, 45.0f, 0.5f},       {5, 0.5f, false, 40.0f, 45.0f, 55.0f},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.minor);
    const Bytes image = test::SceneImage().Record("CSpringControl", OlderSpring(row.minor, 0.5f), true).Data();
    CStream stream;
    CMemoryIo device;
    ASSERT_EQ(test::LoadScene(image, stream, device), kOk);
    auto* spring = DynamicCast<CSpringControl>(stream.GetRootObject(0));
    ASSERT_NE(spring, nullptr);
    EXPECT_EQ(spring->GetWeight(), row.weight);
    EXPECT_EQ(spring->IsActive(), row.active);
    EXPECT_EQ(spring->GetSpringRatio(), row.springRatio);
    EXPECT_EQ(spring->GetDampRatio(), row.dampRatio);
    EXPECT_EQ(spring->GetMassRatio(), row.massRatio);
    EXPECT_EQ(spring->GetParameters().Gravity, 3.0f);
    EXPECT_EQ(spring->GetParameters().fNotUsed, 9.0f);
    EXPECT_EQ(spring->GetParameters().nMoveActivity, 25);
    EXPECT_EQ(spring->GetParameters().SpringType, CSpringControl::ST_Angle);
    EXPECT_EQ(spring->GetSlaveMode(), CRTSControl::SM_CURRENT_WORLD);
    EXPECT_EQ(spring->GetTargetSpring(), nullptr);
    test::ExpectPrefixesFailBetweenRecords(image);
  }
  CStream refused;
  CMemoryIo device;
  ByteWriter head;
  test::BasePart(head, 0x10);
  test::DorunPart(head, 0);
  test::ControlPart(head, test::ControlFields());
  test::RtsControlPart(head, 2, 0);
  head.Pair(2, 7).U64(0);
  EXPECT_EQ(test::LoadScene(test::SceneImage().Record("CSpringControl", head, true).Data(), refused, device),
            kErrNewerVersion);
}

}  // namespace
}  // namespace KT
