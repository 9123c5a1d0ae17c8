// The camera keyframe controller: no scale or stretch, the orbit between
// two views of a common focus and each case that moves straight instead,
// the eye frame it writes into the camera, the half turn that reverses a
// view, and its record.
#include "controllers/composite/camera_keyframe_control.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "controllers/composite/constraint_test_support.h"
#include "controllers/core/transform_test_support.h"
#include "objectmodel/byte_writer.h"
#include "objectmodel/class_factory.h"
#include "objectmodel/math_functions.h"
#include "objectmodel/stream_test_support.h"
#include "render/lights/camera.h"
#include "render/lights/light_test_support.h"
#include "scene/node.h"

namespace KT {
namespace {

using test::Bytes;
using test::ByteWriter;
using test::kFirstRecordOffset;
using Vec3 = CVector3<float>;
using CRtsKey = CKeyframeControl::CRtsKey;

const Vec3 kUpZ{0.0f, 0.0f, 1.0f};
const Vec3 kOrigin{0.0f, 0.0f, 0.0f};
// Eye vectors no evaluation writes.
const Vec3 kUnwritten{7.0f, 7.0f, 7.0f};

class CameraKeyframeControlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::RegisterTransformTestClasses();
    CClassFactory::Register("CCameraKeyframeControl", &CreateObject<CCameraKeyframeControl>);
    test::UseTestIds(0);
  }
};

// The pose of a camera whose eye frame is `camera`'s with its eye at `eye`,
// looking at `at` with the up vector `up`.
CRtsTransform Looking(const CCamera& camera, const Vec3& eye, const Vec3& at, const Vec3& up = kUpZ) {
  CRtsTransform pose = kIdentityTransform;
  EXPECT_EQ(CCamera::AlignToDirection(pose.Translate, pose.Rotate, camera, eye, at - eye, up), kOk);
  return pose;
}

// A camera keyed by a camera keyframe controller.
struct KeyedCamera {
  CPointer<CCamera> camera{new CCamera()};
  CPointer<CCameraKeyframeControl> control{new CCameraKeyframeControl()};
  KeyedCamera() {
    EXPECT_EQ(camera->AddControl(control.Get()), kOk);
    camera->SetWorldEye(kUnwritten, kUnwritten, kUnwritten);
  }
  void Key(i32 time, const CRtsTransform& pose, u32 type = TT_LINEAR) {
    EXPECT_EQ(control->AddRtsKey(time, 1000.0f, pose, type), kOk);
  }
  // The two keys of the orbit example: from (10, 0, 0) and then from
  // (0, 10, 0), each looking at the origin with +Z up.
  void QuarterTurnKeys() {
    Key(0, Looking(*camera, {10, 0, 0}, kOrigin));
    Key(1000, Looking(*camera, {0, 10, 0}, kOrigin));
  }
  CRtsTransform Evaluate(i32 time) {
    CRtsTransform out;
    EXPECT_EQ(control->EvaluateRts(time, out), kOk);
    return out;
  }
  bool EyeWritten() const { return camera->GetWorldEyeLocation() != kUnwritten; }
};

void ExpectSamePose(const CRtsTransform& got, const CRtsTransform& expected, f32 tolerance = 1e-5f) {
  EXPECT_EQ(got.Sign, expected.Sign);
  test::ExpectNear(got.Scale, expected.Scale, tolerance);
  test::ExpectSameRotation(got.Stretch, expected.Stretch, tolerance);
  test::ExpectSameRotation(got.Rotate, expected.Rotate, tolerance);
  test::ExpectNear(got.Translate, expected.Translate, tolerance);
}

// Field for field the same transform.
void ExpectIdentical(const CRtsTransform& got, const CRtsTransform& expected) {
  EXPECT_EQ(got.Sign, expected.Sign);
  EXPECT_EQ(got.Scale, expected.Scale);
  EXPECT_EQ(got.Stretch, expected.Stretch);
  EXPECT_EQ(got.Rotate, expected.Rotate);
  EXPECT_EQ(got.Translate, expected.Translate);
}

// `pose` without scale and stretch.
CRtsTransform Unscaled(CRtsTransform pose) {
  pose.Scale = {1, 1, 1};
  pose.Stretch = kQuaternionIdentity;
  return pose;
}

TEST_F(CameraKeyframeControlTest, KeysEvaluateWithoutScaleOrStretchAndOtherwiseAsTheKeyframeController) {
  // Scaled, stretched and mirrored keys, once with views that converge
  // (so the orbit runs when it is on) and once with parallel views.
  CCamera plain;
  CRtsTransform a = Looking(plain, {10, 0, 0}, kOrigin);
  CRtsTransform b = Looking(plain, {0, 10, 0}, kOrigin);
  CRtsTransform c = Looking(plain, {10, 10, 0}, {0, 10, 0});
  for (CRtsTransform* pose : {&a, &b, &c}) {
    pose->Scale = {2, 3, 4};
    pose->Stretch = CQuaternion::FromAxisAngle({1, 1, 0}, 0.5f);
  }
  b.Sign = -1.0f;
  struct Row {
    const char* name;
    bool orbit;
    const CRtsTransform* second;
  };
  const Row rows[] = {
      {"orbit off", false, &b},
      {"orbit on, converging views", true, &b},
      {"orbit on, parallel views", true, &c},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    KeyedCamera keyed;
    keyed.control->SetOrbitInterpolation(row.orbit);
    keyed.Key(0, a);
    keyed.Key(1000, *row.second, TT_EASE_IN);
    CPointer<CKeyframeControl> reference(new CKeyframeControl());
    ASSERT_EQ(reference->SetRtsKeys(keyed.control->GetRtsKeys()), kOk);
    for (const i32 time : {-50, 0, 300, 500, 1000, 1400}) {
      SCOPED_TRACE(time);
      const CRtsTransform got = keyed.Evaluate(time);
      EXPECT_EQ(got.Scale, Vec3(1, 1, 1));
      EXPECT_EQ(got.Stretch, kQuaternionIdentity);
      const bool betweenConvergingKeys = row.orbit && row.second == &b && time > 0 && time < 1000;
      if (betweenConvergingKeys) continue;
      CRtsTransform expected;
      ASSERT_EQ(reference->EvaluateRts(time, expected), kOk);
      ExpectIdentical(got, Unscaled(expected));
    }
  }
  // Without keys: the identity.
  KeyedCamera empty;
  ExpectIdentical(empty.Evaluate(100), kIdentityTransform);
}

TEST_F(CameraKeyframeControlTest, BetweenTwoViewsOfOnePointTheCameraOrbitsIt) {
  KeyedCamera keyed;
  keyed.QuarterTurnKeys();
  for (const i32 time : {250, 500, 750}) {
    SCOPED_TRACE(time);
    ASSERT_EQ(keyed.camera->UpdateTransform(time), kOk);
    const Vec3 at = keyed.camera->GetWorldMatrix().GetTranslation();
    // On the circle of radius 10 in the plane of the two keys, a
    // fraction of the quarter turn around.
    EXPECT_NEAR(at.Length(), 10.0f, 1e-4f);
    EXPECT_NEAR(at.z, 0.0f, 1e-5f);
    const f32 angle = kHalfPi * static_cast<f32>(time) / 1000.0f;
    test::ExpectNear(at, {10.0f * std::cos(angle), 10.0f * std::sin(angle), 0.0f}, 1e-4f);
    // Looking at the origin, +Z up.
    test::ExpectNear(keyed.camera->GetWorldEyeDirection(), at * -0.1f, 1e-5f);
    test::ExpectNear(keyed.camera->GetWorldEyeUp(), kUpZ, 1e-5f);
  }
  // The straight blend would have cut across to (5, 5, 0).
  ASSERT_EQ(keyed.camera->UpdateTransform(500), kOk);
  EXPECT_GT((keyed.camera->GetWorldMatrix().GetTranslation() - Vec3(5, 5, 0)).Length(), 2.9f);
}

TEST_F(CameraKeyframeControlTest, TheOrbitBlendsTheDistancesAndTheFociOfTheTwoViews) {
  // From 10 in front of (0, 0, 0) to 20 in front of (0, 0, 4): the views
  // (-X, then -Y, both horizontal) pass 4 apart, so the foci are their
  // closest points, and distance and focus are blended with the eased
  // weight.
  KeyedCamera keyed;
  keyed.Key(0, Looking(*keyed.camera, {10, 0, 0}, kOrigin));
  keyed.Key(1000, Looking(*keyed.camera, {0, 20, 4}, {0, 0, 4}), TT_EASE_IN);
  const f32 w = EaseTransition(0.5f, TT_EASE_IN, kDefaultTransitionStrength);
  const f32 length = 10.0f + 10.0f * w;
  const Vec3 focus{0.0f, 0.0f, 4.0f * w};
  const f32 angle = kHalfPi * w;
  const Vec3 eye = focus + Vec3(std::cos(angle), std::sin(angle), 0.0f) * length;
  const CRtsTransform got = keyed.Evaluate(500);
  ExpectSamePose(got, Looking(*keyed.camera, eye, focus), 1e-4f);
}

TEST_F(CameraKeyframeControlTest, TheCameraEyeNotItsOriginStandsAtTheOrbitPoint) {
  // An eye half a unit above the camera's origin (its own +Y, the up
  // vector): the keys place the eye, so the origins lie half a unit below
  // the eyes, and the orbit runs around (0, 0, -0.5).
  KeyedCamera keyed;
  keyed.camera->SetEye({0.0f, 0.5f, 0.0f}, {0.0f, 1.0f, 0.0f}, {0.0f, 0.0f, -1.0f});
  keyed.QuarterTurnKeys();
  keyed.camera->SetWorldEye(kUnwritten, kUnwritten, kUnwritten);
  keyed.camera->SetModified(false);
  const f32 r = 10.0f * std::sqrt(0.5f);
  const Vec3 orbitPoint{r, r, -0.5f};
  const Vec3 view{-std::sqrt(0.5f), -std::sqrt(0.5f), 0.0f};

  // The controller's evaluation writes the eye frame of the orbit and
  // marks the camera modified.
  ASSERT_EQ(keyed.control->UpdateTransform(500), kOk);
  const CRtsTransform& local = keyed.control->GetLocal();
  test::ExpectNear(local.Translate, orbitPoint - kUpZ * 0.5f, 1e-4f);
  test::ExpectNear(keyed.camera->GetWorldEyeLocation(), local.Translate);
  test::ExpectNear(keyed.camera->GetWorldEyeUp(), kUpZ, 1e-5f);
  test::ExpectNear(keyed.camera->GetWorldEyeDirection(), view, 1e-5f);
  EXPECT_TRUE(keyed.camera->IsModified());

  // The camera's own update places it and derives its eye frame from its
  // world matrix: the eye stands at the orbit point.
  ASSERT_EQ(keyed.camera->UpdateTransform(500), kOk);
  test::ExpectNear(keyed.camera->GetWorldMatrix().GetTranslation(), orbitPoint - kUpZ * 0.5f, 1e-4f);
  test::ExpectNear(keyed.camera->GetWorldEyeLocation(), orbitPoint, 1e-4f);
  test::ExpectNear(keyed.camera->GetWorldEyeDirection(), view, 1e-5f);
  test::ExpectNear(keyed.camera->GetWorldEyeUp(), kUpZ, 1e-5f);
}

TEST_F(CameraKeyframeControlTest, PairsWithoutACommonFocusMoveStraightAndWriteNoEyeFrame) {
  struct Row {
    const char* name;
    Vec3 eyeA, atA, eyeB, atB;
    Vec3 up = kUpZ;
  };
  const Row rows[] = {
      {"parallel views", {10, 0, 0}, kOrigin, {10, 10, 0}, {0, 10, 0}},
      {"opposite views", {10, 0, 0}, kOrigin, {-10, 5, 0}, {0, 5, 0}},
      {"views turning away from each other", {10, 0, 0}, {20, 0, 0}, {0, 10, 0}, {0, 20, 0}},
      // Two views down onto the origin from either side, +Y up: halfway
      // the orbit would look along Z, where it has no up vector.
      {"an orbit through a view along Z", {10, 0, 10}, kOrigin, {-10, 0, 10}, kOrigin, {0, 1, 0}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    KeyedCamera keyed;
    const CRtsTransform a = Looking(*keyed.camera, row.eyeA, row.atA, row.up);
    const CRtsTransform b = Looking(*keyed.camera, row.eyeB, row.atB, row.up);
    keyed.Key(0, a);
    keyed.Key(1000, b);
    ExpectSamePose(keyed.Evaluate(500), Unscaled(InterpolateRts(a, b, 0.5f)));
    EXPECT_FALSE(keyed.EyeWritten());
  }
}

TEST_F(CameraKeyframeControlTest, OnAKeyTheKeyStandsAndNoEyeFrameIsWritten) {
  KeyedCamera keyed;
  CRtsTransform first = Looking(*keyed.camera, {10, 0, 0}, kOrigin);
  first.Scale = {2, 2, 2};
  keyed.Key(0, first);
  keyed.Key(1000, Looking(*keyed.camera, {0, 10, 0}, kOrigin));
  keyed.Key(2000, Looking(*keyed.camera, {-10, 0, 0}, kOrigin));
  // Before, on and after the keys, and on a key reached by a forward walk
  // of the search (fraction 0 between two keys).
  for (const i32 time : {-100, 0, 1000, 2000, 2500, 1000, 0}) {
    SCOPED_TRACE(time);
    const CRtsKey& key = keyed.control->GetRtsKeys()[time <= 0 ? 0 : (time >= 2000 ? 2 : 1)];
    ExpectIdentical(keyed.Evaluate(time), Unscaled(key.Value));
    EXPECT_FALSE(keyed.EyeWritten());
  }
}

TEST_F(CameraKeyframeControlTest, BoundToAnythingButACameraItMovesStraight) {
  CCamera eyeFrame;
  const CRtsTransform a = Looking(eyeFrame, {10, 0, 0}, kOrigin);
  const CRtsTransform b = Looking(eyeFrame, {0, 10, 0}, kOrigin);
  CPointer<CNode> node(new CNode());
  CPointer<CCameraKeyframeControl> control(new CCameraKeyframeControl());
  ASSERT_EQ(control->AddRtsKey(0, 1000.0f, a), kOk);
  ASSERT_EQ(control->AddRtsKey(1000, 1000.0f, b), kOk);
  // Unbound, the update refuses before evaluating anything.
  EXPECT_EQ(control->UpdateTransform(500), kErrInvalidArg);
  ASSERT_EQ(node->AddControl(control.Get()), kOk);
  ASSERT_EQ(node->UpdateTransform(500), kOk);
  test::ExpectNear(node->GetLocal().Translate, {5, 5, 0});
  ExpectSamePose(node->GetLocal(), InterpolateRts(a, b, 0.5f));
}

TEST_F(CameraKeyframeControlTest, FlipTurnsAViewOntoItsOpposite) {
  // Views away from Z (the half turn about a perpendicular of Z's part
  // across the view, an axis shorter than 1 before it is normalised), near
  // and along Z (about a perpendicular of X).
  const CQuaternion rows[] = {
      kQuaternionIdentity,
      CQuaternion::FromAxisAngle({1, 0, 0}, kPi),
      CQuaternion::FromAxisAngle({0, 1, 0}, kHalfPi),
      CQuaternion::FromAxisAngle({1, 0, 0}, 0.6435f),
      CQuaternion::FromAxisAngle({1, 2, 3}, 2.0f),
      CQuaternion::FromAxisAngle({0, 1, 0}, 4e-6f),
  };
  for (const CQuaternion& q : rows) {
    SCOPED_TRACE(testing::Message() << q.x << " " << q.y << " " << q.z << " " << q.w);
    const CQuaternion flipped = CCameraKeyframeControl::Flip(q);
    EXPECT_NEAR(flipped.Dot(flipped), 1.0f, 1e-5f);
    test::ExpectNear(CCameraKeyframeControl::ViewDirection(flipped), -CCameraKeyframeControl::ViewDirection(q),
                     1e-5f);
  }
  test::ExpectNear(CCameraKeyframeControl::ViewDirection(kQuaternionIdentity), {0, 0, -1});
}

TEST_F(CameraKeyframeControlTest, CopiesAndAnswers) {
  KeyedCamera keyed;
  keyed.QuarterTurnKeys();
  keyed.control->SetOrbitInterpolation(false);
  EXPECT_EQ(keyed.control->GetVersion(), 201u);
  CPointer<CCameraKeyframeControl> target(new CCameraKeyframeControl());
  DisplacedList displaced;
  ASSERT_EQ(keyed.control->CopyTo(target.Get(), displaced, 0), kOk);
  EXPECT_FALSE(target->GetOrbitInterpolation());
  EXPECT_EQ(target->GetRtsKeys().size(), 2u);
  CPointer<CKeyframeControl> plain(new CKeyframeControl());
  EXPECT_EQ(keyed.control->CopyTo(plain.Get(), displaced, 0), kErrNotFound);
  EXPECT_EQ(keyed.control->CopyTo(nullptr, displaced, 0), kErrNotFound);
  CPointer<CBase> instance;
  ASSERT_EQ(keyed.control->CreateInstance(instance), kOk);
  auto* copy = DynamicCast<CCameraKeyframeControl>(instance.Get());
  ASSERT_NE(copy, nullptr);
  EXPECT_FALSE(copy->GetOrbitInterpolation());
  EXPECT_EQ(copy->GetRtsKeys().size(), 2u);
  EXPECT_TRUE(CCameraKeyframeControl().GetOrbitInterpolation());
}

// A camera keyframe controller's record with no keys, up to the end of its
// keyframe-controller part.
ByteWriter KeyframeHead() {
  ByteWriter w = test::TransformControlHead(0x10, 0);
  return w.Pair(3, 0).U32(0).U32(0);
}

CCameraKeyframeControl* LoadOne(const ByteWriter& body, CStream& stream, CMemoryIo& device, Result expected = kOk) {
  EXPECT_EQ(test::LoadScene(test::SceneImage().Record("CCameraKeyframeControl", body, true).Data(), stream, device),
            expected);
  return expected == kOk ? DynamicCast<CCameraKeyframeControl>(stream.GetRootObject(0)) : nullptr;
}

TEST_F(CameraKeyframeControlTest, SavesLoadsAndSavesTheSameBytes) {
  CCamera eyeFrame;
  CPointer<CCameraKeyframeControl> held(new CCameraKeyframeControl());
  CCameraKeyframeControl& control = *held;
  ASSERT_EQ(control.AddRtsKey(0, 1000.0f, Looking(eyeFrame, {10, 0, 0}, kOrigin)), kOk);
  ASSERT_EQ(control.AddRtsKey(1000, 1000.0f, Looking(eyeFrame, {0, 10, 0}, kOrigin), TT_EASE_OUT), kOk);
  control.SetOrbitInterpolation(false);
  EXPECT_EQ(control.GetSaveSize(), control.CKeyframeControl::GetSaveSize() + 9);
  const Bytes first = test::SaveRoots({&control});
  const Bytes own = ByteWriter().Pair(2, 1).U8(0).Data();
  EXPECT_TRUE(std::equal(own.begin(), own.end(), first.end() - static_cast<std::ptrdiff_t>(own.size())));
  test::UseTestIds(1);
  CStream stream;
  CMemoryIo device;
  ASSERT_EQ(test::LoadScene(first, stream, device), kOk);
  auto* loaded = DynamicCast<CCameraKeyframeControl>(stream.GetRootObject(0));
  ASSERT_NE(loaded, nullptr);
  EXPECT_FALSE(loaded->GetOrbitInterpolation());
  EXPECT_EQ(loaded->GetRtsKeys().size(), 2u);
  EXPECT_EQ(test::RenumberIds(test::SaveLoaded(stream)), test::RenumberIds(first));
  test::ExpectEveryPrefixFails(first, kFirstRecordOffset);

  // The member description is the keyframe controller's alone.
  const std::string text = test::Members(&control);
  EXPECT_EQ(text.find("CCameraKeyframeControl Member"), std::string::npos);
  EXPECT_EQ(text.find("OrbitInterpolation"), std::string::npos);
  EXPECT_NE(text.find("CKeyframeControl Member"), std::string::npos);
}

TEST_F(CameraKeyframeControlTest, OlderAndNewerRecords) {
  struct Row {
    const char* name;
    u32 minor;
    int flagByte;  // -1: none stored
    Result result;
    bool orbit;
  };
  const Row rows[] = {
      {"2.00 stores no flag: on", 0, -1, kOk, true},
      {"2.01 with 0: off", 1, 0, kOk, false},
      {"2.01 with 1: on", 1, 1, kOk, true},
      {"2.01 with any other non-zero byte: on", 1, 2, kOk, true},
      {"2.02 is newer", 2, 0, kErrNewerVersion, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    ByteWriter body = KeyframeHead();
    body.Pair(2, row.minor);
    if (row.flagByte >= 0) body.U8(static_cast<u8>(row.flagByte));
    CStream stream;
    CMemoryIo device;
    CCameraKeyframeControl* loaded = LoadOne(body, stream, device, row.result);
    if (row.result != kOk) continue;
    ASSERT_NE(loaded, nullptr);
    EXPECT_EQ(loaded->GetOrbitInterpolation(), row.orbit);
    EXPECT_EQ(loaded->GetSaveSize(), loaded->CKeyframeControl::GetSaveSize() + 9);
  }
}

}  // namespace
}  // namespace KT
