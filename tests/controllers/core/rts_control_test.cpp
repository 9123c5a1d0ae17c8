// The transform controller base: composition with a parent under the
// inheritance flags and its inverse, the slave modes, the apply step, the
// check that the bound object is a spatial, copies, and the record in every
// stored version.
#include "controllers/core/rts_control.h"
#include "objectmodel/test_class_record.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <string>
#include <vector>

#include "controllers/core/transform_test_support.h"
#include "objectmodel/quaternion.h"
#include "objectmodel/stream_test_support.h"

namespace KT {
namespace {

using test::Bytes;
using test::ByteWriter;
using test::CTestDorun;
using test::CTestSpatial;
using test::ExpectNear;

// The smallest concrete transform controller: nothing of its own to
// evaluate, so its update is the slave mode. No record part of its own.
class CTestRtsControl : public CRTSControl {
  KT_TEST_CLASS(CTestRtsControl, CRTSControl, 2, 2)

 public:
  CTestRtsControl() = default;
  CTestRtsControl(const CTestRtsControl&) = default;
  Result CreateInstance(CPointer<CBase>& out) const override { return CreateCopy(*this, out); }
  i32 GetEndTime() const override { return 0; }
  Result UpdateTransform(i32) override {
    if (CheckActive() == kDone) return kDone;
    return InitFromSlaveMode();
  }
  using CRTSControl::SetStickyRange;
};

class RtsControlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::RegisterTransformTestClasses();
    CClassFactory::Register("CTestRtsControl", &CreateObject<CTestRtsControl>);
    test::UseTestIds(0);
  }
};

const f32 kHalfPi = std::numbers::pi_v<f32> / 2.0f;

CRtsTransform MakeTransform(const CVector3<float>& translate, const CQuaternion& rotate = kQuaternionIdentity,
                            const CVector3<float>& scale = {1.0f, 1.0f, 1.0f}) {
  CRtsTransform t;
  t.Translate = translate;
  t.Rotate = rotate;
  t.Scale = scale;
  return t;
}

// A parent spatial whose world is the composition of `t`.
void SetWorldOf(CSpatial& spatial, const CRtsTransform& t) {
  spatial.SetWorld(GetScaleMatrix(t), t.Rotate.ToMatrix3(), ComposeAffine(t));
}

CMatrix4 Translation(f32 x, f32 y, f32 z) {
  CMatrix4 m;
  m.SetTranslation({x, y, z});
  return m;
}

// --- composition ------------------------------------------------------------------

TEST_F(RtsControlTest, ScaleMatrixIsTheStretchedScaleWithoutRotation) {
  CRtsTransform t = MakeTransform({5, 6, 7}, CQuaternion::FromAxisAngle({0, 0, 1}, 0.3f), {2, 3, 4});
  t.Stretch = CQuaternion::FromAxisAngle({1, 0, 0}, kHalfPi);
  t.Sign = -1.0f;
  // The matrix of the transform is the scale matrix times the rotation.
  CMatrix4 expected = ComposeAffine(t);
  expected.SetTranslation({0, 0, 0});
  CMatrix4 actual;
  actual.SetRotation3x3(GetScaleMatrix(t) * t.Rotate.ToMatrix3());
  ExpectNear(actual, expected);
  // Stretch by 90 degrees about x swaps the y and z scales.
  ExpectNear(GetScaleMatrix(t), CMatrix3(-2, 0, 0, 0, -4, 0, 0, 0, -3));
}

TEST_F(RtsControlTest, AnIdentityParentChangesNothingWhateverTheFlags) {
  CTestSpatial parent;
  const CMatrix3 s(2, 0, 0, 0, 3, 0, 0, 0, 4);
  const CMatrix3 r = CQuaternion::FromAxisAngle({0, 1, 0}, 0.5f).ToMatrix3();
  const CMatrix4 m = ComposeAffine(MakeTransform({1, 2, 3}, CQuaternion::FromAxisAngle({0, 1, 0}, 0.5f)));
  for (u32 flags : {0u, 0x007u, 0x038u, 0x1C0u, 0x1FFu, 0x200u}) {
    CMatrix3 cs = s, cr = r;
    CMatrix4 cm = m;
    ComposeWithParent(cs, cr, cm, &parent, flags);
    EXPECT_EQ(cs, s) << flags;
    EXPECT_EQ(cr, r) << flags;
    EXPECT_EQ(cm, m) << flags;
  }
  // A null parent, likewise.
  CMatrix3 cs = s, cr = r;
  CMatrix4 cm = m;
  ComposeWithParent(cs, cr, cm, nullptr, 0);
  EXPECT_EQ(cm, m);
}

// A child translated by (1, 0, 0) under a parent scaled by 2, rotated 90
// degrees about z and translated by (10, 0, 0).
TEST_F(RtsControlTest, InheritanceFlagsSwitchOffWholeGroups) {
  const CQuaternion quarter = CQuaternion::FromAxisAngle({0, 0, 1}, kHalfPi);
  const CRtsTransform parentTransform = MakeTransform({10, 0, 0}, quarter, {2, 2, 2});
  CTestSpatial parent;
  SetWorldOf(parent, parentTransform);
  const CMatrix3 rz = quarter.ToMatrix3();
  const CMatrix3 twice = CMatrix3::Diagonal({2, 2, 2});
  const CMatrix3 one;

  struct Case {
    u32 flags;
    CVector3<float> translation;  // of the world matrix
    CMatrix3 upper;               // 3x3 of the world matrix
    CMatrix3 scale;               // WorldScale
    CMatrix3 rotate;              // WorldRotate
  };
  const Case cases[] = {
      {0x000, {10, 2, 0}, twice * rz, twice, rz},
      // Translation off: the child's offset still turns and scales with
      // the parent, the parent's own offset is dropped.
      {0x007, {0, 2, 0}, twice * rz, twice, rz},
      {0x001, {0, 2, 0}, twice * rz, twice, rz},
      // Scale off: the parent's scale never reaches the child's matrix.
      {0x1C0, {10, 2, 0}, rz, one, rz},
      {0x040, {10, 2, 0}, rz, one, rz},
      // Rotation off: only the parent's scale.
      {0x038, {10, 2, 0}, twice, twice, one},
      {0x010, {10, 2, 0}, twice, twice, one},
      // Rotation and scale off: only the carried offset.
      {0x1F8, {10, 2, 0}, one, one, one},
      {0x1FF, {0, 2, 0}, one, one, one},
      // Bits outside the groups switch nothing off.
      {0x200, {10, 2, 0}, twice * rz, twice, rz},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.flags);
    CMatrix3 s, r;
    CMatrix4 m = Translation(1, 0, 0);
    ComposeWithParent(s, r, m, &parent, c.flags);
    ExpectNear(m.GetTranslation(), c.translation);
    ExpectNear(m.GetRotation3x3(), c.upper);
    ExpectNear(s, c.scale);
    ExpectNear(r, c.rotate);

    CMatrix4 alone = Translation(1, 0, 0);
    ComposeMatrixWithParent(alone, &parent, c.flags);
    EXPECT_EQ(alone, m);
  }
}

TEST_F(RtsControlTest, RemoveParentUndoesComposition) {
  CRtsTransform parentTransform =
      MakeTransform({10, -4, 3}, CQuaternion::FromAxisAngle({1, 2, 3}, 0.8f), {2, 0.5f, 3});
  parentTransform.Stretch = CQuaternion::FromAxisAngle({0, 1, 1}, 0.4f);
  CTestSpatial parent;
  SetWorldOf(parent, parentTransform);
  const CMatrix4 child = ComposeAffine(MakeTransform({1, 2, 3}, CQuaternion::FromAxisAngle({0, 0, 1}, 0.3f)));
  for (u32 flags : {0x000u, 0x007u, 0x038u, 0x1C0u, 0x1F8u, 0x1FFu, 0x03Fu, 0x1C7u}) {
    SCOPED_TRACE(flags);
    CMatrix3 s, r;
    CMatrix4 m = child;
    ComposeWithParent(s, r, m, &parent, flags);
    RemoveParent(m, &parent, flags);
    ExpectNear(m, child, 1e-4f);
  }
  // Null and identity parents leave the matrix alone.
  CMatrix4 m = child;
  RemoveParent(m, nullptr, 0);
  CTestSpatial identity;
  RemoveParent(m, &identity, 0x007);
  EXPECT_EQ(m, child);
}

TEST_F(RtsControlTest, ToParentSpaceUsesTheInverseParentMatrix) {
  const CQuaternion quarter = CQuaternion::FromAxisAngle({0, 0, 1}, kHalfPi);
  CTestSpatial parent;
  SetWorldOf(parent, MakeTransform({10, 0, 0}, quarter));
  // World (10, 1, 0) is the parent's (1, 0, 0).
  ExpectNear(ToParentSpace({10, 1, 0}, &parent, 0), {1, 0, 0});
  // Without the parent's translation: (0, 1, 0) rotated back.
  ExpectNear(ToParentSpace({0, 1, 0}, &parent, 0x004), {1, 0, 0});
  CTestSpatial identity;
  EXPECT_EQ(ToParentSpace({3, 4, 5}, &identity, 0), CVector3<float>(3, 4, 5));
  EXPECT_EQ(ToParentSpace({3, 4, 5}, nullptr, 0), CVector3<float>(3, 4, 5));
}

TEST_F(RtsControlTest, MatrixEqualsComparesEveryElementExactly) {
  CMatrix4 a;
  EXPECT_TRUE(MatrixEquals(a, kMatrix4Identity));
  a.m[2][3] = 1e-30f;
  EXPECT_FALSE(MatrixEquals(a, kMatrix4Identity));
}

// --- slave modes and apply -------------------------------------------------------------

TEST_F(RtsControlTest, DefaultsAndClassRecord) {
  CPointer<CTestRtsControl> control(new CTestRtsControl());
  EXPECT_EQ(control->GetSlaveMode(), CRTSControl::SM_DEFAULT_BASIS);
  EXPECT_EQ(control->GetLocal(), kIdentityTransform);
  EXPECT_EQ(control->GetWorldMatrix(), kMatrix4Identity);
  EXPECT_FALSE(control->IsStickyEnabled());
  EXPECT_EQ(control->GetStickyStart(), 1073741823);
  EXPECT_EQ(control->GetStickyEnd(), -1073741826);
  EXPECT_FALSE(control->IsSimulated());
  EXPECT_EQ(control->Update(0), kDone);
  EXPECT_EQ(control->Apply(), kDone);
  const ClassRecord& record = CRTSControl::StaticClassRecord();
  EXPECT_STREQ(record.name, "CRTSControl");
  EXPECT_EQ(record.Version(), 202u);
  EXPECT_EQ(control->GetMemorySize(), control->CControl::GetMemorySize() + 216);
}

TEST_F(RtsControlTest, SlaveModesSetTheTransformFromTheSpatial) {
  const CRtsTransform basis = MakeTransform({1, 2, 3}, CQuaternion::FromAxisAngle({0, 1, 0}, 0.5f), {2, 2, 2});
  const CRtsTransform parentTransform = MakeTransform({10, 0, 0}, CQuaternion::FromAxisAngle({0, 0, 1}, kHalfPi));
  const CRtsTransform current = MakeTransform({7, 7, 7});

  CPointer<CTestSpatial> parent(new CTestSpatial());
  SetWorldOf(*parent, parentTransform);
  CPointer<CTestSpatial> spatial(new CTestSpatial());
  spatial->SetParent(parent.Get());
  spatial->SetBasis(basis);
  spatial->SetLocal(current);
  spatial->SetWorld(CMatrix3::Diagonal({5, 5, 5}), CMatrix3(0, 1, 0, -1, 0, 0, 0, 0, 1), Translation(7, 7, 7));
  CPointer<CTestRtsControl> control(new CTestRtsControl());
  ASSERT_EQ(spatial->AddControl(control.Get()), kOk);

  control->SetSlaveMode(CRTSControl::SM_DEFAULT_BASIS);
  ASSERT_EQ(control->InitFromSlaveMode(), kOk);
  EXPECT_EQ(control->GetLocal(), basis);
  ExpectNear(control->GetWorldMatrix(), ComposeAffine(basis) * parent->GetWorldMatrix());
  ExpectNear(control->GetWorldScale(), GetScaleMatrix(basis) * parent->GetWorldScale());
  ExpectNear(control->GetWorldRotate(), basis.Rotate.ToMatrix3() * parent->GetWorldRotate());

  control->SetSlaveMode(CRTSControl::SM_IDENTITY_LOCAL);
  ASSERT_EQ(control->InitFromSlaveMode(), kOk);
  EXPECT_EQ(control->GetLocal(), kIdentityTransform);
  EXPECT_EQ(control->GetWorldMatrix(), parent->GetWorldMatrix());
  EXPECT_EQ(control->GetWorldRotate(), parent->GetWorldRotate());

  control->SetSlaveMode(CRTSControl::SM_CURRENT_WORLD);
  ASSERT_EQ(control->InitFromSlaveMode(), kOk);
  EXPECT_EQ(control->GetLocal(), current);
  EXPECT_EQ(control->GetWorldScale(), spatial->GetWorldScale());
  EXPECT_EQ(control->GetWorldRotate(), spatial->GetWorldRotate());
  EXPECT_EQ(control->GetWorldMatrix(), spatial->GetWorldMatrix());

  // An unknown mode changes nothing.
  control->SetSlaveMode(7);
  spatial->SetBasis(kIdentityTransform);
  EXPECT_EQ(control->InitFromSlaveMode(), kDone);
  EXPECT_EQ(control->GetLocal(), current);
}

TEST_F(RtsControlTest, ApplyTransformWritesEverythingIntoTheSpatial) {
  CPointer<CTestSpatial> spatial(new CTestSpatial());
  spatial->SetBasis(MakeTransform({1, 2, 3}));
  CPointer<CTestRtsControl> control(new CTestRtsControl());
  // Unbound: refused.
  EXPECT_EQ(control->ApplyTransform(), kErrInvalidArg);
  EXPECT_EQ(control->InitFromSlaveMode(), kErrInvalidArg);
  ASSERT_EQ(spatial->AddControl(control.Get()), kOk);
  ASSERT_EQ(control->UpdateTransform(0), kOk);
  control->SetStickyRange(true, 100, 900);
  ASSERT_EQ(control->ApplyTransform(), kOk);
  EXPECT_EQ(spatial->GetLocal(), MakeTransform({1, 2, 3}));
  EXPECT_EQ(spatial->GetWorldMatrix(), Translation(1, 2, 3));
  EXPECT_EQ(spatial->GetWorldScale(), control->GetWorldScale());
  EXPECT_EQ(spatial->GetWorldRotate(), control->GetWorldRotate());
  EXPECT_TRUE(spatial->IsStickyEnabled());
  EXPECT_EQ(spatial->GetStickyStart(), 100);
  EXPECT_EQ(spatial->GetStickyEnd(), 900);

  // Inactive: nothing written.
  control->SetActive(false);
  control->SetStickyRange(false, 0, 0);
  EXPECT_EQ(control->ApplyTransform(), kDone);
  EXPECT_TRUE(spatial->IsStickyEnabled());
}

// A controller bound to an object that is not a spatial (which a file can
// ask for) is refused wherever it would use the object as one.
TEST_F(RtsControlTest, AnObjectThatIsNotASpatialIsRefused) {
  CPointer<CTestDorun> object(new CTestDorun());
  CPointer<CTestRtsControl> control(new CTestRtsControl());
  ASSERT_EQ(object->AddControl(control.Get()), kOk);
  ASSERT_EQ(control->GetObject(), object.Get());
  EXPECT_EQ(control->GetSpatial(), nullptr);
  control->SetSlaveMode(CRTSControl::SM_CURRENT_WORLD);
  EXPECT_EQ(control->InitFromSlaveMode(), kErrNotFound);
  EXPECT_EQ(control->UpdateTransform(0), kErrNotFound);
  EXPECT_EQ(control->ApplyTransform(), kErrNotFound);
  EXPECT_EQ(control->GetLocal(), kIdentityTransform);

  // The same binding read from a file.
  ByteWriter controller;
  test::BasePart(controller, 0x20);
  test::DorunPart(controller, 0);
  test::ControlFields fields;
  fields.object = 0x10;
  test::ControlPart(controller, fields);
  test::RtsControlPart(controller, 2, CRTSControl::SM_IDENTITY_LOCAL);
  const Bytes bytes = test::SceneImage()
                          .Record("CTestDorun", test::TestDorunBody(0x10, 0x20), true)
                          .Record("CTestRtsControl", controller)
                          .Data();
  CStream stream;
  CMemoryIo device;
  ASSERT_EQ(test::LoadScene(bytes, stream, device), kOk);
  auto* loaded = DynamicCast<CTestDorun>(stream.GetRootObject(0));
  ASSERT_NE(loaded, nullptr);
  auto* bound = DynamicCast<CTestRtsControl>(loaded->GetFirstControl());
  ASSERT_NE(bound, nullptr);
  EXPECT_EQ(bound->GetObject(), loaded);
  EXPECT_EQ(bound->UpdateTransform(0), kErrNotFound);
  EXPECT_EQ(bound->ApplyTransform(), kErrNotFound);
}

// --- copies -----------------------------------------------------------------------------

TEST_F(RtsControlTest, CopyToKeepsTheTargetsStickyRange) {
  CPointer<CTestSpatial> spatial(new CTestSpatial());
  spatial->SetBasis(MakeTransform({4, 5, 6}));
  CPointer<CTestRtsControl> source(new CTestRtsControl());
  ASSERT_EQ(spatial->AddControl(source.Get()), kOk);
  source->SetSlaveMode(CRTSControl::SM_DEFAULT_BASIS);
  ASSERT_EQ(source->UpdateTransform(0), kOk);
  source->SetStickyRange(true, 10, 20);
  source->SetFrequency(3.0f);

  CPointer<CTestRtsControl> target(new CTestRtsControl());
  target->SetSlaveMode(CRTSControl::SM_CURRENT_WORLD);
  target->SetStickyRange(false, 30, 40);
  DisplacedList displaced;
  ASSERT_EQ(source->CopyTo(target.Get(), displaced, 0), kOk);
  EXPECT_EQ(target->GetLocal(), source->GetLocal());
  EXPECT_EQ(target->GetWorldMatrix(), source->GetWorldMatrix());
  EXPECT_EQ(target->GetWorldScale(), source->GetWorldScale());
  EXPECT_EQ(target->GetWorldRotate(), source->GetWorldRotate());
  EXPECT_EQ(target->GetSlaveMode(), CRTSControl::SM_DEFAULT_BASIS);
  EXPECT_EQ(target->GetFrequency(), 3.0f);
  EXPECT_FALSE(target->IsStickyEnabled());
  EXPECT_EQ(target->GetStickyStart(), 30);
  EXPECT_EQ(target->GetStickyEnd(), 40);

  // The copy constructor takes the sticky range too.
  CTestRtsControl copy(*source);
  EXPECT_TRUE(copy.IsStickyEnabled());
  EXPECT_EQ(copy.GetStickyStart(), 10);
  EXPECT_EQ(copy.GetLocal(), source->GetLocal());
  EXPECT_EQ(copy.GetObject(), nullptr);

  // Into a controller of another family: refused, target untouched.
  CPointer<test::CTestControl> other(new test::CTestControl());
  EXPECT_EQ(source->CopyTo(other.Get(), displaced, 0), kErrNotFound);
  EXPECT_EQ(other->GetFrequency(), 1.0f);
  EXPECT_EQ(source->CopyTo(nullptr, displaced, 0), kErrNotFound);
}

// --- the record -------------------------------------------------------------------------

TEST_F(RtsControlTest, DescribeMembersNamesTheFields) {
  CPointer<CTestRtsControl> control(new CTestRtsControl());
  control->SetSlaveMode(CRTSControl::SM_CURRENT_WORLD);
  const std::string text = test::Members(control.Get());
  for (const char* name : {"CRTSControl Member", "Local", "WorldScale", "WorldRotate", "WorldMatrix", "SlaveMode",
                           "SM_CURRENT_WORLD", "Sticky.Enable", "Sticky.Start", "Sticky.End"}) {
    EXPECT_NE(text.find(name), std::string::npos) << name;
  }
  EXPECT_LT(text.find("CRTSControl Member"), text.find("CControl Member"));
}

TEST_F(RtsControlTest, RoundTripsThroughAFile) {
  CPointer<CTestSpatial> spatial(new CTestSpatial());
  CPointer<CTestRtsControl> control(new CTestRtsControl());
  ASSERT_EQ(spatial->AddControl(control.Get()), kOk);
  control->SetSlaveMode(CRTSControl::SM_CURRENT_WORLD);
  control->SetRepeat(CControl::RT_CYCLE);

  CMemoryIo device;
  CStream direct;
  direct.SetDevice(&device);
  ASSERT_EQ(control->Save(direct, 0), kOk);
  EXPECT_EQ(device.GetData().size(), control->GetSaveSize());
  EXPECT_EQ(control->GetSaveSize(), control->CControl::GetSaveSize() + 12);

  const Bytes first = test::SaveRoots({spatial.Get()});
  test::UseTestIds(1);
  CStream stream;
  CMemoryIo in;
  ASSERT_EQ(test::LoadScene(first, stream, in), kOk);
  auto* loaded = DynamicCast<CTestSpatial>(stream.GetRootObject(0));
  ASSERT_NE(loaded, nullptr);
  auto* loadedControl = DynamicCast<CTestRtsControl>(loaded->GetFirstControl());
  ASSERT_NE(loadedControl, nullptr);
  EXPECT_EQ(loadedControl->GetObject(), loaded);
  EXPECT_EQ(loadedControl->GetSlaveMode(), CRTSControl::SM_CURRENT_WORLD);
  EXPECT_EQ(test::Members(loadedControl), test::Members(control.Get()));
  EXPECT_EQ(test::RenumberIds(test::SaveLoaded(stream)), test::RenumberIds(first));
}

Bytes RtsFileOfVersion(u32 minor, u32 slaveMode) {
  ByteWriter controller;
  test::BasePart(controller, 0x20);
  test::DorunPart(controller, 0);
  test::ControlFields fields;
  fields.object = 0x10;
  test::ControlPart(controller, fields);
  test::RtsControlPart(controller, minor, slaveMode);
  return test::SceneImage()
      .Record("CTestSpatial", test::TestSpatialBody(0x10, 0x20), true)
      .Record("CTestRtsControl", controller)
      .Data();
}

TEST_F(RtsControlTest, EveryStoredVersionLoads) {
  struct Case {
    u32 minor;
    u32 stored;
    Result expected;
    u32 slaveMode;
  };
  const Case cases[] = {
      {0, 2, kOk, CRTSControl::SM_DEFAULT_BASIS},     // not stored yet
      {1, 0, kOk, CRTSControl::SM_DEFAULT_BASIS},     // a clear flag
      {1, 5, kOk, CRTSControl::SM_IDENTITY_LOCAL},    // any set flag
      {2, 2, kOk, CRTSControl::SM_CURRENT_WORLD},
      {2, 9, kOk, 9},                                 // kept as stored
      {3, 2, kErrNewerVersion, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.minor << " " << c.stored);
    CStream stream;
    CMemoryIo device;
    ASSERT_EQ(test::LoadScene(RtsFileOfVersion(c.minor, c.stored), stream, device), c.expected);
    if (c.expected != kOk) continue;
    auto* spatial = DynamicCast<CSpatial>(stream.GetRootObject(0));
    ASSERT_NE(spatial, nullptr);
    auto* control = DynamicCast<CRTSControl>(spatial->GetFirstControl());
    ASSERT_NE(control, nullptr);
    EXPECT_EQ(control->GetSlaveMode(), c.slaveMode);
    EXPECT_EQ(control->GetObject(), spatial);
  }
}

TEST_F(RtsControlTest, EveryPrefixOfEachVersionFailsCleanly) {
  for (u32 minor = 0; minor <= 2; ++minor) {
    const Bytes bytes = RtsFileOfVersion(minor, 1);
    test::ExpectPrefixesFailBetweenRecords(bytes);
  }
}

}  // namespace
}  // namespace KT
