// The light classes: defaults, the per-frame derivation of world location
// and direction, copies level by level, and the records with their older
// forms.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <string>
#include <vector>

#include "controllers/core/data_control.h"
#include "objectmodel/byte_writer.h"
#include "objectmodel/class_factory.h"
#include "objectmodel/math_functions.h"
#include "objectmodel/matrix4.h"
#include "objectmodel/stream_test_support.h"
#include "objectmodel/test_class_record.h"
#include "render/lights/camera.h"
#include "render/lights/light_test_support.h"
#include "render/lights/directional_light.h"
#include "render/lights/point_light.h"
#include "render/lights/spot_light.h"
#include "scene/node.h"
#include "scene/scene_test_classes.h"

namespace KT {
namespace {

using test::Bytes;
using test::ByteWriter;
using Vec = CVector3<float>;

using test::ExpectVec;
using test::kFirstRecordOffset;

class LightsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::RegisterSceneTestClasses();
    CClassFactory::Register("CDirectionalLight", &CreateObject<CDirectionalLight>);
    CClassFactory::Register("CPointLight", &CreateObject<CPointLight>);
    CClassFactory::Register("CSpotLight", &CreateObject<CSpotLight>);
    test::UseTestIds(0);
  }
};

// A data controller whose Update answers `result` and whose Apply sets the
// bound light's multiplier to 7.
class CProbeControl : public CDataControl {
  KT_TEST_CLASS(CProbeControl, CDataControl, 1, 0)

 public:
  CProbeControl() = default;
  CProbeControl(const CProbeControl&) = default;
  Result CreateInstance(CPointer<CBase>& out) const override { return CreateCopy(*this, out); }
  i32 GetEndTime() const override { return 0; }
  Result Update(i32) override { return result; }
  Result Apply() override {
    DynamicCast<CLight>(GetObject())->SetMultiplier(7.0f);
    return kOk;
  }
  Result result = kOk;
};

// --- defaults and types ------------------------------------------------------------------------

TEST_F(LightsTest, DefaultsAndLightTypes) {
  CPointer<CDirectionalLight> sun(new CDirectionalLight());
  CPointer<CPointLight> lamp(new CPointLight());
  CPointer<CSpotLight> spot(new CSpotLight());
  struct Row {
    CLight* light;
    const char* name;
    u32 type;
  };
  for (const Row& row : {Row{sun.Get(), "CDirectionalLight", 1}, Row{lamp.Get(), "CPointLight", 2},
                         Row{spot.Get(), "CSpotLight", 3}}) {
    SCOPED_TRACE(row.name);
    EXPECT_STREQ(row.light->GetClassRecord().name, row.name);
    EXPECT_EQ(row.light->GetVersion(), 200u);
    EXPECT_EQ(row.light->GetLightType(), row.type);
    EXPECT_TRUE(row.light->IsKindOf(CLight::StaticClassRecord()));
    EXPECT_EQ(row.light->GetRgb(), (CColor{0, 0, 0, 1}));
    EXPECT_EQ(row.light->GetMultiplier(), 1.0f);
    EXPECT_TRUE(row.light->GetCastShadow());
  }
  EXPECT_EQ(CLight::StaticClassRecord().Version(), 201u);
  EXPECT_EQ(sun->GetDirection(), (Vec{0, 0, -1}));
  EXPECT_EQ(sun->GetWorldDirection(), (Vec{0, 0, -1}));
  EXPECT_EQ(std::bit_cast<u32>(lamp->GetRange()), 0x5C11AFB4u);
  EXPECT_EQ(lamp->GetAttenuation(0), 1.0f);
  EXPECT_EQ(lamp->GetAttenuation(1), 0.0f);
  EXPECT_EQ(lamp->GetAttenuation(2), 0.0f);
  EXPECT_EQ(lamp->SetAttenuation(3, 5.0f), kErrOutOfRange);
  EXPECT_EQ(std::bit_cast<u32>(spot->GetRange()), 0x5C11AFB4u);
  EXPECT_EQ(spot->GetPhi(), static_cast<f32>(std::atan(1.0) * 4.0) / 2.0f);
  EXPECT_EQ(spot->GetTheta(), 0.0f);
  EXPECT_EQ(spot->GetFalloff(), 0.0f);
  // A default spot light still points down -Z after an update under the
  // identity.
  ASSERT_EQ(spot->Update(0), kOk);
  EXPECT_EQ(spot->GetWorldDirection(), (Vec{0, 0, -1}));
  EXPECT_EQ(spot->GetWorldLocation(), (Vec{0, 0, 0}));
}

// --- per-frame update ---------------------------------------------------------------------------------

TEST_F(LightsTest, UpdateDerivesWorldLocationAndDirection) {
  const Vec diagonal{std::sqrt(0.5f), std::sqrt(0.5f), 0};
  struct Row {
    const char* what;
    CMatrix4 world;
    Vec direction;
    Vec expectedDirection;
  };
  const f32 n = 1.0f / std::sqrt(1.25f);
  const Row rows[] = {
      {"identity", test::ScaledWorld({1, 1, 1}), {0, 0, -1}, {0, 0, -1}},
      {"uniform scale keeps the direction", test::ScaledWorld({3, 3, 3}, {1, 2, 3}), diagonal, diagonal},
      // The inverse transpose halves x where the plain matrix would double it.
      {"non-uniform scale follows the inverse transpose", test::ScaledWorld({2, 1, 1}), diagonal, {0.5f * n, n, 0}},
      {"mirror", test::ScaledWorld({-1, 1, 1}), diagonal, {-diagonal.x, diagonal.y, 0}},
      // No inverse: the cofactors keep what survives of the direction.
      {"zero scale on x", test::ScaledWorld({0, 1, 1}), diagonal, {1, 0, 0}},
      {"zero scale on x, direction along the lost axes", test::ScaledWorld({0, 1, 1}), {0, 0, -1}, {0, 0, 0}},
      {"tiny but regular scale stays exact", test::ScaledWorld({1e-4f, 1, 1}), {1e-4f, 1, 0}, diagonal},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    CPointer<CSpotLight> spot(new CSpotLight());
    CPointer<CDirectionalLight> sun(new CDirectionalLight());
    spot->SetDirection(row.direction);
    sun->SetDirection(row.direction);
    spot->SetLocation({1, 1, 1});
    spot->SetWorld(CMatrix3(), CMatrix3(), row.world);
    sun->SetWorld(CMatrix3(), CMatrix3(), row.world);
    ASSERT_EQ(spot->Update(0), kOk);
    ASSERT_EQ(sun->Update(0), kOk);
    ExpectVec(spot->GetWorldDirection(), row.expectedDirection, 1e-5f);
    ExpectVec(sun->GetWorldDirection(), row.expectedDirection, 1e-5f);
    const f32 length = sun->GetWorldDirection().Length();
    EXPECT_TRUE(length == 0.0f || std::fabs(length - 1.0f) < 1e-6f) << length;
    ExpectVec(spot->GetWorldLocation(), TransformCoord({1, 1, 1}, row.world));
  }
}

TEST_F(LightsTest, PointLocationTakesTheHomogeneousDivide) {
  CPointer<CPointLight> lamp(new CPointLight());
  lamp->SetLocation({1, 2, 3});
  CMatrix4 world = test::ScaledWorld({2, 2, 2}, {10, 0, 0});
  world.m[3][3] = 2.0f;
  lamp->SetWorld(CMatrix3(), CMatrix3(), world);
  ASSERT_EQ(lamp->Update(0), kOk);
  ExpectVec(lamp->GetWorldLocation(), {6, 2, 3});
}

TEST_F(LightsTest, UpdateRunsTheControllersFirstAndStopsAtTheirFailure) {
  CPointer<CPointLight> lamp(new CPointLight());
  CPointer<CProbeControl> probe(new CProbeControl());
  ASSERT_EQ(lamp->AddControl(probe.Get()), kOk);
  lamp->SetLocation({1, 0, 0});
  lamp->SetWorld(CMatrix3(), CMatrix3(), test::ScaledWorld({1, 1, 1}, {0, 5, 0}));
  ASSERT_EQ(lamp->Update(0), kOk);
  EXPECT_EQ(lamp->GetMultiplier(), 7.0f);
  ExpectVec(lamp->GetWorldLocation(), {1, 5, 0});

  probe->result = kErrInvalidArg;
  lamp->SetWorld(CMatrix3(), CMatrix3(), test::ScaledWorld({1, 1, 1}, {0, 9, 0}));
  EXPECT_EQ(lamp->Update(0), kErrInvalidArg);
  ExpectVec(lamp->GetWorldLocation(), {1, 5, 0});
}

TEST_F(LightsTest, WorldBoundCentresOnTheWorldTranslation) {
  CPointer<CSpotLight> spot(new CSpotLight());
  CBound bound;
  bound.Radius = 2.0f;
  bound.Min = {-1, -1, -1};
  spot->SetWorldBound(bound);
  spot->SetWorld(CMatrix3(), CMatrix3(), test::ScaledWorld({1, 1, 1}, {4, 5, 6}));
  ASSERT_EQ(spot->UpdateWorldBound(), kOk);
  EXPECT_EQ(spot->GetWorldBound().Center, (Vec{4, 5, 6}));
  EXPECT_EQ(spot->GetWorldBound().Radius, 2.0f);
  EXPECT_EQ(spot->GetWorldBound().Min, (Vec{-1, -1, -1}));
}

// --- copies -----------------------------------------------------------------------------------------------

CPointer<CSpotLight> PopulatedSpot() {
  CPointer<CSpotLight> spot(new CSpotLight());
  spot->SetName(u"spot");
  spot->SetRgb({0.25f, 0.5f, 0.75f});
  spot->SetMultiplier(2.0f);
  spot->SetCastShadow(false);
  spot->SetLocation({1, 2, 3});
  spot->SetDirection({0, -1, 0});
  spot->SetRange(9.0f);
  spot->SetFalloff(0.5f);
  spot->SetAttenuation(2, 0.125f);
  spot->SetTheta(0.25f);
  spot->SetPhi(0.75f);
  spot->SetWorld(CMatrix3(), CMatrix3(), test::ScaledWorld({1, 1, 1}, {0, 0, 4}));
  EXPECT_EQ(spot->Update(0), kOk);
  return spot;
}

TEST_F(LightsTest, CreateInstanceAndCopyToCarryEveryFieldWorldFieldsIncluded) {
  CPointer<CSpotLight> spot = PopulatedSpot();
  CPointer<CBase> instance;
  ASSERT_EQ(spot->CreateInstance(instance), kOk);
  EXPECT_EQ(test::Members(instance.Get()), test::Members(spot.Get()));

  CPointer<CSpotLight> target(new CSpotLight());
  DisplacedList displaced;
  ASSERT_EQ(spot->CopyTo(target.Get(), displaced, 0), kOk);
  EXPECT_EQ(target->GetWorldLocation(), (Vec{1, 2, 7}));
  EXPECT_EQ(target->GetWorldDirection(), (Vec{0, -1, 0}));
  // Names are not part of the copy; everything else is.
  target->SetName(u"spot");
  EXPECT_EQ(test::Members(target.Get()), test::Members(spot.Get()));
}

TEST_F(LightsTest, CopyToAnotherKindOfLightCopiesTheLightPartThenRefuses) {
  CPointer<CSpotLight> spot = PopulatedSpot();
  CPointer<CPointLight> lamp(new CPointLight());
  DisplacedList displaced;
  EXPECT_EQ(spot->CopyTo(lamp.Get(), displaced, 0), kErrNotFound);
  EXPECT_EQ(lamp->GetRgb(), spot->GetRgb());
  EXPECT_EQ(lamp->GetMultiplier(), 2.0f);
  EXPECT_FALSE(lamp->GetCastShadow());
  EXPECT_EQ(lamp->GetLocation(), (Vec{0, 0, 0}));
  EXPECT_EQ(std::bit_cast<u32>(lamp->GetRange()), 0x5C11AFB4u);

  CPointer<CDirectionalLight> sun(new CDirectionalLight());
  CPointer<CCamera> camera(new CCamera());
  EXPECT_EQ(sun->CopyTo(lamp.Get(), displaced, 0), kErrNotFound);
  EXPECT_EQ(lamp->GetMultiplier(), 1.0f);
  EXPECT_EQ(lamp->CopyTo(camera.Get(), displaced, 0), kErrNotFound);
  EXPECT_EQ(camera->CopyTo(lamp.Get(), displaced, 0), kErrNotFound);
  EXPECT_EQ(lamp->CopyTo(nullptr, displaced, 0), kErrInvalidArg);
}

TEST_F(LightsTest, MembersAreDescribedInnermostClassFirst) {
  CPointer<CPointLight> lamp(new CPointLight());
  const std::string text = test::Members(lamp.Get());
  std::vector<std::size_t> at;
  for (const char* name : {"CPointLight Member", "Location", "WorldLocation", "Range", "Attenuation0",
                           "Attenuation2", "CLight Member", "CastShadow", "Rgb", "Multiplier", "CSpatial Member"}) {
    at.push_back(text.find(name));
    ASSERT_NE(at.back(), std::string::npos) << name;
  }
  for (std::size_t i = 1; i < at.size(); ++i) EXPECT_LT(at[i - 1], at[i]) << i;
  CPointer<CSpotLight> spot(new CSpotLight());
  const std::string spotText = test::Members(spot.Get());
  EXPECT_LT(spotText.find("Falloff"), spotText.find("Attenuation0"));
  EXPECT_LT(spotText.find("Theta"), spotText.find("Phi"));
}

// --- records ----------------------------------------------------------------------------------------------

TEST_F(LightsTest, EachLightSavesLoadsAndSavesTheSameBytes) {
  CPointer<CDirectionalLight> sun(new CDirectionalLight());
  sun->SetDirection({1, -1, 0});
  sun->SetRgb({1, 0.5f, 0});
  CPointer<CPointLight> lamp(new CPointLight());
  lamp->SetLocation({4, 5, 6});
  lamp->SetRange(3.0f);
  lamp->SetAttenuation(1, 0.5f);
  CPointer<CSpotLight> spot = PopulatedSpot();
  const std::vector<CLight*> lights = {sun.Get(), lamp.Get(), spot.Get()};
  const u32 sizes[] = {20, 36, 60};
  for (std::size_t i = 0; i < lights.size(); ++i) {
    CLight* light = lights[i];
    SCOPED_TRACE(light->GetClassRecord().name);
    EXPECT_EQ(light->GetSaveSize(), light->CSpatial::GetSaveSize() + 25 + sizes[i]);
    test::UseTestIds(0);
    const Bytes first = test::SaveRoots({light});
    EXPECT_EQ(first.size(), kFirstRecordOffset + light->GetSaveSize());
    test::UseTestIds(1);
    CStream stream;
    CMemoryIo device;
    ASSERT_EQ(test::LoadScene(first, stream, device), kOk);
    CBase* loaded = stream.GetRootObject(0);
    ASSERT_NE(loaded, nullptr);
    EXPECT_EQ(loaded->GetClassRecord().name, light->GetClassRecord().name);
    // The world fields are derived, not stored: compare after an update of
    // both under the same matrix.
    for (CLight* each : {light, static_cast<CLight*>(loaded)}) {
      each->SetWorld(CMatrix3(), CMatrix3(), test::ScaledWorld({1, 1, 1}, {0, 0, 4}));
      ASSERT_EQ(each->Update(0), kOk);
    }
    EXPECT_EQ(test::Members(loaded), test::Members(light));
    EXPECT_EQ(test::RenumberIds(test::SaveLoaded(stream)), test::RenumberIds(first));
    test::ExpectEveryPrefixFails(first, kFirstRecordOffset);
  }
}

// The record of a light: object head, current spatial part, the CLight
// level at `lightVersion` (minor of major 2, or 1.00 with `oldest`), then
// `tail` (the concrete level).
ByteWriter LightBody(u32 lightMajor, u32 lightMinor, const ByteWriter& tail) {
  ByteWriter w;
  test::ObjectHead(w, 0x10, u"light");
  test::SpatialPart206(w).Pair(lightMajor, lightMinor).F32(0.25f).F32(0.5f).F32(0.75f);
  if (lightMajor < 2) w.U32(0xDEADBEEF);                            // the old fourth colour word
  if (lightMajor * 100 + lightMinor > 200) w.F32(3.0f);             // Multiplier
  w.U8(0);                                                          // CastShadow
  return w.Bytes(tail.Data());
}

TEST_F(LightsTest, OlderLightLevelsLoad) {
  struct Row {
    const char* what;
    u32 major;
    u32 minor;
    f32 multiplier;
  };
  const Row rows[] = {
      {"1.00: a fourth colour word, no multiplier", 1, 0, 1.0f},
      {"2.00: neither the word nor the multiplier", 2, 0, 1.0f},
      {"2.01: the multiplier", 2, 1, 3.0f},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    ByteWriter tail;
    tail.Pair(2, 0).F32(0).F32(1).F32(0);
    const Bytes file = test::SceneFile().Record("CDirectionalLight", LightBody(row.major, row.minor, tail), true).Data();
    CStream stream;
    CMemoryIo device;
    ASSERT_EQ(test::LoadScene(file, stream, device), kOk);
    auto* sun = DynamicCast<CDirectionalLight>(stream.GetRootObject(0));
    ASSERT_NE(sun, nullptr);
    EXPECT_EQ(sun->GetRgb(), (CColor{0.25f, 0.5f, 0.75f, 1.0f}));
    EXPECT_EQ(sun->GetMultiplier(), row.multiplier);
    EXPECT_FALSE(sun->GetCastShadow());
    EXPECT_EQ(sun->GetDirection(), (Vec{0, 1, 0}));
    test::ExpectEveryPrefixFails(file, kFirstRecordOffset);
  }
}

TEST_F(LightsTest, OldPointLightLevelHoldsOnlyTheLocation) {
  ByteWriter old;
  old.Pair(1, 0).F32(1).F32(2).F32(3);
  ByteWriter current;
  current.Pair(2, 0).F32(1).F32(2).F32(3).F32(6).F32(0.5f).F32(0.25f).F32(0.125f);
  struct Row {
    const char* what;
    const ByteWriter& tail;
    u32 rangeBits;
    f32 attenuation0;
  };
  const Row rows[] = {{"1.00", old, 0x5C11AFB4u, 1.0f}, {"2.00", current, std::bit_cast<u32>(6.0f), 0.5f}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    const Bytes file = test::SceneFile().Record("CPointLight", LightBody(2, 1, row.tail), true).Data();
    CStream stream;
    CMemoryIo device;
    ASSERT_EQ(test::LoadScene(file, stream, device), kOk);
    auto* lamp = DynamicCast<CPointLight>(stream.GetRootObject(0));
    ASSERT_NE(lamp, nullptr);
    EXPECT_EQ(lamp->GetLocation(), (Vec{1, 2, 3}));
    EXPECT_EQ(std::bit_cast<u32>(lamp->GetRange()), row.rangeBits);
    EXPECT_EQ(lamp->GetAttenuation(0), row.attenuation0);
    test::ExpectEveryPrefixFails(file, kFirstRecordOffset);
  }
}

TEST_F(LightsTest, NewerLevelsAreRefused) {
  ByteWriter tail;
  tail.Pair(2, 0).F32(0).F32(1).F32(0);
  ByteWriter newerTail;
  newerTail.Pair(2, 1).F32(0).F32(1).F32(0);
  for (const auto& [what, body] : {std::pair{"light level 2.02", LightBody(2, 2, tail)},
                                   std::pair{"directional level 2.01", LightBody(2, 1, newerTail)}}) {
    SCOPED_TRACE(what);
    CStream stream;
    CMemoryIo device;
    EXPECT_EQ(test::LoadScene(test::SceneFile().Record("CDirectionalLight", body, true).Data(), stream, device),
              kErrNewerVersion);
  }
}

}  // namespace
}  // namespace KT
