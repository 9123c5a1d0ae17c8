// The keyed light controllers: the colour and multiplier tracks of the
// light controller, the range and cone keys of the point-light and
// spot-light controllers; evaluation, editing, copies and every record
// form.
#include "render/lights/light_control.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "controllers/core/test_classes.h"
#include "objectmodel/byte_writer.h"
#include "objectmodel/class_factory.h"
#include "objectmodel/stream_test_support.h"
#include "render/lights/light_test_support.h"
#include "render/lights/point_light.h"
#include "render/lights/point_light_control.h"
#include "render/lights/spot_light.h"
#include "render/lights/spot_light_control.h"

namespace KT {
namespace {

using test::Bytes;
using test::ByteWriter;
using test::kFirstRecordOffset;
using Vec = CVector3<float>;
using ColorKey = CLightControl::CColorKey;
using MultiplierKey = CLightControl::CMultiplierKey;

class LightControlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CClassFactory::Register("CLightControl", &CreateObject<CLightControl>);
    CClassFactory::Register("CPointLightControl", &CreateObject<CPointLightControl>);
    CClassFactory::Register("CSpotLightControl", &CreateObject<CSpotLightControl>);
    test::UseTestIds(0);
  }
};

ColorKey Color(i32 time, const Vec& color, u32 transition = TT_LINEAR) {
  ColorKey key;
  key.Time = time;
  key.Color = color;
  key.TransitionType = transition;
  return key;
}

// A light controller bound to a point light (Rgb (0.1, 0.2, 0.3),
// Multiplier 4) with the given colour keys.
struct Bound {
  CPointer<CPointLight> light{new CPointLight()};
  CPointer<CLightControl> control{new CLightControl()};
  explicit Bound(const std::vector<ColorKey>& keys = {}) {
    light->SetRgb({0.1f, 0.2f, 0.3f});
    light->SetMultiplier(4.0f);
    EXPECT_EQ(light->AddControl(control.Get()), kOk);
    EXPECT_EQ(control->EditColorKeys().Assign(keys), kOk);
  }
  Vec Evaluate(i32 time) {
    EXPECT_EQ(control->Update(time), kOk);
    const f32* rgb = control->GetRgbData();
    return {rgb[0], rgb[1], rgb[2]};
  }
};

// --- evaluation --------------------------------------------------------------------------------------

TEST_F(LightControlTest, SearchCodesOfTheColourTrack) {
  Bound bound({Color(0, {0, 0, 0}), Color(1000, {1, 1, 1}), Color(2000, {0, 0, 0})});
  CLightControl::ColorTrack& track = bound.control->EditColorKeys();
  struct Row {
    i32 time;
    u32 cacheBefore;
    i32 code;
  };
  const Row rows[] = {
      {-5, 1, kKeySearchBefore},   {2500, 0, kKeySearchAfter},    {1000, 1, kKeySearchOnKey},
      {1500, 0, kKeySearchForward}, {500, 2, kKeySearchBackward},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.time);
    track.SetLastIndex(row.cacheBefore);
    KeyBracket bracket;
    EXPECT_EQ(track.Bracket(row.time, BlendRule::kLaterKey, bracket), row.code);
  }
  CLightControl empty;
  KeyBracket bracket;
  EXPECT_EQ(empty.EditColorKeys().Bracket(0, BlendRule::kLaterKey, bracket), kKeySearchNone);
}

TEST_F(LightControlTest, ColourBlendsThroughTheApproachedKeysTransition) {
  for (u32 transition = TT_LINEAR; transition <= TT_EASE_IN_OUT; ++transition) {
    SCOPED_TRACE(transition);
    Bound bound({Color(0, {0, 0, 0}), Color(1000, {1, 0.5f, 0.25f}, transition), Color(2000, {0, 0, 1})});
    // On a key: that key's value whatever the transition.
    test::ExpectVec(bound.Evaluate(1000), {1, 0.5f, 0.25f});
    test::ExpectVec(bound.Evaluate(0), {0, 0, 0});
    // Before the first and after the last key: their values.
    test::ExpectVec(bound.Evaluate(-100), {0, 0, 0});
    test::ExpectVec(bound.Evaluate(5000), {0, 0, 1});
    const f32 w = EaseTransition(0.25f, transition, kDefaultTransitionStrength);
    test::ExpectVec(bound.Evaluate(250), {w, 0.5f * w, 0.25f * w});
  }
  // TT_STEP holds the earlier key's value until the later key's time.
  Bound step({Color(0, {0, 0, 0}), Color(1000, {1, 1, 1}, TT_STEP)});
  test::ExpectVec(step.Evaluate(999), {0, 0, 0});
  test::ExpectVec(step.Evaluate(1000), {1, 1, 1});
}

TEST_F(LightControlTest, UpdateStartsFromTheLightAndScalesTheTime) {
  // Only multiplier keys: the colour stays the light's.
  Bound bound;
  MultiplierKey half;
  half.Multiplier = 0.5f;
  ASSERT_EQ(bound.control->EditMultiplierKeys().SetKey(half), kOk);
  test::ExpectVec(bound.Evaluate(300), {0.1f, 0.2f, 0.3f});
  EXPECT_EQ(bound.control->GetRgbData()[3], 0.5f);
  ASSERT_EQ(bound.control->Apply(), kOk);
  EXPECT_EQ(bound.light->GetMultiplier(), 0.5f);

  // trunc(time x Frequency): at Frequency 2 the key at 1000 is reached at 500.
  Bound scaled({Color(0, {0, 0, 0}), Color(1000, {1, 1, 1})});
  scaled.control->SetFrequency(2.0f);
  test::ExpectVec(scaled.Evaluate(250), {0.5f, 0.5f, 0.5f});
  test::ExpectVec(scaled.Evaluate(500), {1, 1, 1});

  // Inactive: kDone, RgbData untouched.
  scaled.control->SetActive(false);
  EXPECT_EQ(scaled.control->Update(0), kDone);
  EXPECT_EQ(scaled.control->GetRgbData()[0], 1.0f);
}

TEST_F(LightControlTest, UnboundOrForeignObjectsAreRefused) {
  CPointer<CLightControl> light(new CLightControl());
  CPointer<CPointLightControl> point(new CPointLightControl());
  CPointer<CSpotLightControl> spot(new CSpotLightControl());
  for (CControl* control : std::vector<CControl*>{light.Get(), point.Get(), spot.Get()}) {
    SCOPED_TRACE(control->GetClassRecord().name);
    EXPECT_EQ(control->Update(0), kErrInvalidArg);
    EXPECT_EQ(control->Apply(), kErrInvalidArg);
  }
  // Each bound to a light of the wrong kind (the light controller to a
  // node): kErrNotFound, nothing written.
  CPointer<CSpotLight> spotLight(new CSpotLight());
  CPointer<CPointLight> pointLight(new CPointLight());
  CPointer<test::CTestDorun> other(new test::CTestDorun());
  ASSERT_EQ(spotLight->AddControl(point.Get()), kOk);
  ASSERT_EQ(pointLight->AddControl(spot.Get()), kOk);
  ASSERT_EQ(other->AddControl(light.Get()), kOk);
  const std::string before = test::Members(spotLight.Get()) + test::Members(pointLight.Get());
  for (CControl* control : std::vector<CControl*>{light.Get(), point.Get(), spot.Get()}) {
    SCOPED_TRACE(control->GetClassRecord().name);
    EXPECT_EQ(control->Update(0), kErrNotFound);
    if (control != light.Get()) {
      EXPECT_EQ(control->Apply(), kErrNotFound);
    }
  }
  EXPECT_EQ(test::Members(spotLight.Get()) + test::Members(pointLight.Get()), before);
}

TEST_F(LightControlTest, PointAndSpotControllersWriteRangeAndCone) {
  CPointer<CPointLight> lamp(new CPointLight());
  lamp->SetRange(7.0f);
  CPointer<CPointLightControl> reach(new CPointLightControl());
  ASSERT_EQ(lamp->AddControl(reach.Get()), kOk);
  // Without keys the light's own range; the light's Modified flag is kept.
  lamp->SetModified(false);
  ASSERT_EQ(reach->Update(0), kOk);
  ASSERT_EQ(reach->Apply(), kOk);
  EXPECT_EQ(lamp->GetRange(), 7.0f);
  EXPECT_FALSE(lamp->IsModified());
  ASSERT_EQ(reach->SetRangeKey(0, 30.0f, 10.0f), kOk);
  ASSERT_EQ(reach->SetRangeKey(1000, 30.0f, 20.0f), kOk);
  // The time as it is: Frequency does not scale it.
  reach->SetFrequency(2.0f);
  EXPECT_EQ(reach->GetRangeKeys()[1].Time, 1000);
  ASSERT_EQ(reach->Update(250), kOk);
  ASSERT_EQ(reach->Apply(), kOk);
  EXPECT_EQ(lamp->GetRange(), 12.5f);
  // No active check either.
  reach->SetActive(false);
  EXPECT_EQ(reach->Update(1000), kOk);
  EXPECT_EQ(reach->GetRange(), 20.0f);

  CPointer<CSpotLight> spot(new CSpotLight());
  CPointer<CSpotLightControl> cone(new CSpotLightControl());
  ASSERT_EQ(spot->AddControl(cone.Get()), kOk);
  ASSERT_EQ(cone->Update(0), kOk);
  EXPECT_EQ(cone->GetFalloffPhiTheta(), (Vec{0, spot->GetPhi(), 0}));
  ASSERT_EQ(cone->SetKey(0, 30.0f, {1, 2, 3}, 4), kOk);
  ASSERT_EQ(cone->Update(0), kOk);
  ASSERT_EQ(cone->Apply(), kOk);
  // The triple is falloff, phi, theta.
  EXPECT_EQ(spot->GetFalloff(), 1.0f);
  EXPECT_EQ(spot->GetPhi(), 2.0f);
  EXPECT_EQ(spot->GetTheta(), 3.0f);
  EXPECT_EQ(spot->GetRange(), 4.0f);
}

// --- editing -------------------------------------------------------------------------------------------

TEST_F(LightControlTest, SettersSnapToFramesAndReplaceKeysOnTheSameFrame) {
  CPointer<CLightControl> control(new CLightControl());
  control->SetModified(false);
  // At 30 fps 1010 and 990 both fall on frame 30 (1000 ms).
  ASSERT_EQ(control->SetColorKey(1010, 30.0f, {1, 0, 0}), kOk);
  EXPECT_TRUE(control->IsModified());
  ASSERT_EQ(control->SetColorKey(0, 30.0f, {0, 0, 0}), kOk);
  ASSERT_EQ(control->SetColorKey(990, 30.0f, {0, 1, 0}), kOk);
  ASSERT_EQ(control->GetColorKeys().Size(), 2u);
  EXPECT_EQ(control->GetColorKeys()[0].Time, 0);
  EXPECT_EQ(control->GetColorKeys()[1].Time, 1000);
  EXPECT_EQ(control->GetColorKeys()[1].Color, (Vec{0, 1, 0}));
  // Frequency scales the stored time.
  control->SetFrequency(2.0f);
  ASSERT_EQ(control->SetColorKey(1000, 30.0f, {0, 0, 1}), kOk);
  EXPECT_EQ(control->GetColorKeys()[2].Time, 2000);
  EXPECT_EQ(control->GetEndTime(), 2000);

  control->SetModified(false);
  EXPECT_EQ(control->RemoveColorKey(3), kErrOutOfRange);
  EXPECT_EQ(control->GetColorKeys().Size(), 3u);
  EXPECT_FALSE(control->IsModified());
  EXPECT_EQ(control->RemoveColorKey(0), kOk);
  EXPECT_EQ(control->GetColorKeys()[0].Time, 1000);

  CPointer<CPointLightControl> reach(new CPointLightControl());
  EXPECT_EQ(reach->RemoveRangeKey(0), kErrOutOfRange);
  EXPECT_EQ(reach->GetEndTime(), 0);
  ASSERT_EQ(reach->SetRangeKey(-500, 30.0f, 1.0f), kOk);
  EXPECT_EQ(reach->GetEndTime(), -500);
  CPointer<CSpotLightControl> cone(new CSpotLightControl());
  EXPECT_EQ(cone->RemoveKey(0), kErrOutOfRange);
}

TEST_F(LightControlTest, CopiesCarryTheKeys) {
  Bound bound({Color(0, {0, 0, 0}), Color(1000, {1, 1, 1})});
  bound.Evaluate(600);
  ASSERT_EQ(bound.control->GetColorKeys().GetLastIndex(), 1u);
  CPointer<CBase> instance;
  ASSERT_EQ(bound.control->CreateInstance(instance), kOk);
  auto* copy = DynamicCast<CLightControl>(instance.Get());
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->GetColorKeys().Size(), 2u);
  EXPECT_EQ(copy->GetColorKeys().GetLastIndex(), 1u);
  DisplacedList displaced;
  CPointer<CLightControl> target(new CLightControl());
  ASSERT_EQ(bound.control->CopyTo(target.Get(), displaced, 0), kOk);
  EXPECT_EQ(target->GetColorKeys().GetLastIndex(), 1u);
  CPointer<CPointLightControl> wrong(new CPointLightControl());
  EXPECT_EQ(bound.control->CopyTo(wrong.Get(), displaced, 0), kErrNotFound);
  EXPECT_EQ(bound.control->CopyTo(nullptr, displaced, 0), kErrNotFound);

  // The point and spot controllers start the target's search over.
  CPointer<CPointLightControl> reach(new CPointLightControl());
  ASSERT_EQ(reach->SetRangeKey(0, 30.0f, 1.0f), kOk);
  ASSERT_EQ(reach->SetRangeKey(1000, 30.0f, 2.0f), kOk);
  reach->EditRangeKeys().SetLastIndex(1);
  CPointer<CPointLightControl> reachTarget(new CPointLightControl());
  reachTarget->EditRangeKeys().SetLastIndex(1);
  ASSERT_EQ(reach->CopyTo(reachTarget.Get(), displaced, 0), kOk);
  EXPECT_EQ(reachTarget->GetRangeKeys().Size(), 2u);
  EXPECT_EQ(reachTarget->GetRangeKeys().GetLastIndex(), 0u);
  CPointer<CSpotLightControl> cone(new CSpotLightControl());
  ASSERT_EQ(cone->SetKey(0, 30.0f, {1, 2, 3}, 4), kOk);
  CPointer<CSpotLightControl> coneTarget(new CSpotLightControl());
  coneTarget->EditKeys().SetLastIndex(3);
  ASSERT_EQ(cone->CopyTo(coneTarget.Get(), displaced, 0), kOk);
  EXPECT_EQ(coneTarget->GetKeys().GetLastIndex(), 0u);
  EXPECT_EQ(coneTarget->GetKeys().Size(), 1u);
}

// --- records -----------------------------------------------------------------------------------------------

// Saves `control`, checks the size, loads it back, compares and saves again.
void ExpectRoundTrip(CControl& control) {
  SCOPED_TRACE(control.GetClassRecord().name);
  test::UseTestIds(0);
  const Bytes first = test::SaveRoots({&control});
  EXPECT_EQ(first.size(), kFirstRecordOffset + control.GetSaveSize());
  test::UseTestIds(1);
  CStream stream;
  CMemoryIo device;
  ASSERT_EQ(test::LoadScene(first, stream, device), kOk);
  ASSERT_NE(stream.GetRootObject(0), nullptr);
  EXPECT_EQ(test::Members(stream.GetRootObject(0)), test::Members(&control));
  EXPECT_EQ(test::RenumberIds(test::SaveLoaded(stream)), test::RenumberIds(first));
  test::ExpectEveryPrefixFails(first, kFirstRecordOffset);
}

TEST_F(LightControlTest, EachControllerSavesLoadsAndSavesTheSameBytes) {
  CPointer<CLightControl> light(new CLightControl());
  ASSERT_EQ(light->SetColorKey(0, 30.0f, {0, 0, 0}), kOk);
  ASSERT_EQ(light->SetColorKey(1000, 30.0f, {1, 0.5f, 0}), kOk);
  MultiplierKey strong;
  strong.Time = 500;
  strong.Multiplier = 3.0f;
  strong.TransitionType = TT_EASE_IN;
  ASSERT_EQ(light->EditMultiplierKeys().SetKey(strong), kOk);
  EXPECT_EQ(light->GetSaveSize(), light->CLightDataControl::GetSaveSize() + 8 + 4 + 2 * 48 + 4 + 40);
  ExpectRoundTrip(*light);

  CPointer<CPointLightControl> reach(new CPointLightControl());
  ASSERT_EQ(reach->SetRangeKey(0, 30.0f, 5.0f), kOk);
  ASSERT_EQ(reach->SetRangeKey(1000, 30.0f, 6.0f), kOk);
  EXPECT_EQ(reach->GetSaveSize(), reach->CDataControl::GetSaveSize() + 8 + 4 + 2 * 40);
  ExpectRoundTrip(*reach);

  CPointer<CSpotLightControl> cone(new CSpotLightControl());
  ASSERT_EQ(cone->SetKey(0, 30.0f, {1, 2, 3}, 4), kOk);
  EXPECT_EQ(cone->GetSaveSize(), cone->CDataControl::GetSaveSize() + 8 + 4 + 52);
  ExpectRoundTrip(*cone);

  const std::string text = test::Members(light.Get());
  std::size_t at = 0;
  for (const char* name : {"CLightControl Member", "ColorLastIndex", "Color Keys", "Time", "Color", "TransitionType",
                           "TransitionStrength", "MultiplierLastIndex", "Multiplier Keys", "Multiplier",
                           "CLightDataControl Member", "RgbData"}) {
    const std::size_t found = text.find(name, at);
    ASSERT_NE(found, std::string::npos) << name;
    at = found;
  }
}

// --- older records ----------------------------------------------------------------------------------------

// The head of a controller record: root, scene-content and controller
// parts (with `frequency` and `weight`), the data controller's pair.
ByteWriter ControllerHead(f32 frequency = 1.0f, f32 weight = 1.0f) {
  ByteWriter w;
  test::BasePart(w, 0x10);
  test::DorunPart(w, 0);
  test::ControlFields fields;
  fields.frequency = frequency;
  fields.weight = weight;
  test::ControlPart(w, fields).Pair(2, 0);
  return w;
}

// A transition key's first two parts.
ByteWriter& KeyHead(ByteWriter& w, i32 time, u32 transition = TT_LINEAR, f32 strength = 50.0f) {
  return w.Pair(1, 0).I32(time).Pair(1, 0).U32(transition).F32(strength);
}

ByteWriter& FloatTimes(ByteWriter& w, std::initializer_list<f32> times) {
  w.U32(static_cast<u32>(times.size()));
  for (f32 t : times) w.F32(t);
  return w;
}

// Loads a file whose root record is `body` into `stream`, checks that
// every prefix of it fails, and answers the root as a T.
template <typename T>
T* LoadRoot(const char* className, const ByteWriter& body, CStream& stream, CMemoryIo& device) {
  const Bytes file = test::SceneImage().Record(className, body, true).Data();
  EXPECT_EQ(test::LoadScene(file, stream, device), kOk);
  test::ExpectEveryPrefixFails(file, kFirstRecordOffset);
  return DynamicCast<T>(stream.GetRootObject(0));
}

TEST_F(LightControlTest, OlderLightControllerRecordsLoad) {
  struct Row {
    const char* what;
    u32 minor;
    f32 frequency;
    f32 weight;
    std::vector<i32> times;
    std::vector<u32> transitions;
  };
  const Row rows[] = {
      {"2.00: colours then times; Frequency and Weight taken off", 0, 2.0f, 100.0f, {-100, 400}, {0, 0}},
      {"2.01: colours then times; Frequency taken off", 1, 2.0f, 100.0f, {0, 500}, {0, 0}},
      {"2.02: times then colours with transitions", 2, 2.0f, 100.0f, {0, 500}, {TT_STEP, TT_EASE_IN}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    ByteWriter w = ControllerHead(row.frequency, row.weight);
    w.Pair(2, 0).Pair(2, row.minor);
    if (row.minor < 2) {
      w.U32(2).F32(1).F32(0).F32(0).F32(0).F32(1).F32(0);
      FloatTimes(w, {0.9f, 1000.5f});
    } else {
      FloatTimes(w, {0.9f, 1000.5f});
      w.U32(2).F32(1).F32(0).F32(0).U32(TT_STEP).F32(0).F32(1).F32(0).U32(TT_EASE_IN);
    }
    CStream stream;
    CMemoryIo deviceStream;
    auto* control = LoadRoot<CLightControl>("CLightControl", w, stream, deviceStream);
    ASSERT_NE(control, nullptr);
    ASSERT_EQ(control->GetColorKeys().Size(), 2u);
    EXPECT_TRUE(control->GetMultiplierKeys().Empty());
    EXPECT_EQ(control->GetFrequency(), 1.0f);
    for (u32 i = 0; i < 2; ++i) {
      EXPECT_EQ(control->GetColorKeys()[i].Time, row.times[i]) << i;
      EXPECT_EQ(control->GetColorKeys()[i].TransitionType, row.transitions[i]) << i;
      EXPECT_EQ(control->GetColorKeys()[i].TransitionStrength, 50.0f);
    }
    EXPECT_EQ(control->GetColorKeys()[1].Color, (Vec{0, 1, 0}));
  }
}

TEST_F(LightControlTest, CombinedKeysOf203SplitIntoBothTracks) {
  ByteWriter w = ControllerHead();
  w.Pair(2, 0).Pair(2, 3).U32(3);
  for (i32 i = 0; i < 3; ++i) {
    KeyHead(w, 100 * i, i == 1 ? TT_STEP : TT_LINEAR, 10.0f * static_cast<f32>(i + 1));
    w.Pair(1, 1).F32(static_cast<f32>(i)).F32(0).F32(0).F32(2.0f * static_cast<f32>(i));
  }
  CStream stream;
  CMemoryIo deviceStream;
  auto* control = LoadRoot<CLightControl>("CLightControl", w, stream, deviceStream);
  ASSERT_NE(control, nullptr);
  ASSERT_EQ(control->GetColorKeys().Size(), 3u);
  ASSERT_EQ(control->GetMultiplierKeys().Size(), 3u);
  for (u32 i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    const ColorKey& color = control->GetColorKeys()[i];
    const MultiplierKey& multiplier = control->GetMultiplierKeys()[i];
    EXPECT_EQ(color.Time, static_cast<i32>(100 * i));
    EXPECT_EQ(multiplier.Time, color.Time);
    EXPECT_EQ(multiplier.TransitionType, color.TransitionType);
    EXPECT_EQ(multiplier.TransitionStrength, 10.0f * static_cast<f32>(i + 1));
    EXPECT_EQ(color.Color.x, static_cast<f32>(i));
    EXPECT_EQ(multiplier.Multiplier, 2.0f * static_cast<f32>(i));
  }
  // A 1.00 key of that form has no multiplier: the default stays.
  ByteWriter old = ControllerHead();
  old.Pair(2, 0).Pair(2, 3).U32(1);
  KeyHead(old, 0).Pair(1, 0).F32(1).F32(1).F32(1);
  CStream oldStream;
  CMemoryIo deviceOldStream;
  auto* oldControl = LoadRoot<CLightControl>("CLightControl", old, oldStream, deviceOldStream);
  ASSERT_NE(oldControl, nullptr);
  EXPECT_EQ(oldControl->GetMultiplierKeys()[0].Multiplier, 1.0f);
}

TEST_F(LightControlTest, ShortOrMismatchedOldArraysAreRefused) {
  struct Row {
    const char* what;
    const char* className;
    ByteWriter body;
  };
  auto light = [](u32 minor, u32 colours, std::initializer_list<f32> times) {
    ByteWriter w = ControllerHead();
    w.Pair(2, 0).Pair(2, minor);
    if (minor < 2) {
      w.U32(colours);
      for (u32 i = 0; i < 3 * colours; ++i) w.F32(0);
      FloatTimes(w, times);
    } else {
      FloatTimes(w, times).U32(colours);
      for (u32 i = 0; i < colours; ++i) w.F32(0).F32(0).F32(0).U32(0);
    }
    return w;
  };
  ByteWriter point = ControllerHead();
  FloatTimes(point.Pair(2, 1), {0, 100}).U32(1).F32(5);
  ByteWriter spot = ControllerHead();
  FloatTimes(spot.Pair(2, 2), {0, 100}).U32(2).F32(1).F32(1).F32(1).F32(1).F32(1).F32(1);
  spot.U32(2).F32(3).F32(4).U32(1).U32(0);
  const Row rows[] = {
      {"2.01 light: more times than colours", "CLightControl", light(1, 1, {0, 100})},
      {"2.01 light: more colours than times", "CLightControl", light(1, 2, {0})},
      {"2.02 light: more times than colours", "CLightControl", light(2, 1, {0, 100})},
      {"2.01 point: fewer ranges than times", "CPointLightControl", point},
      {"2.02 spot: fewer transition types than times", "CSpotLightControl", spot},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    CStream stream;
    CMemoryIo device;
    EXPECT_EQ(test::LoadScene(test::SceneImage().Record(row.className, row.body, true).Data(), stream, device),
              kErrNotFound);
  }
}

TEST_F(LightControlTest, OlderPointRecordsAreRebuiltAtSixtyFramesPerSecond) {
  struct Row {
    const char* what;
    u32 minor;
  };
  for (const Row& row : {Row{"2.00", 0}, Row{"2.01", 1}, Row{"2.02", 2}, Row{"2.03", 3}}) {
    SCOPED_TRACE(row.what);
    ByteWriter w = ControllerHead(2.0f);
    w.Pair(2, row.minor);
    // Stored times 0 and 1010 at Frequency 2: 1010 / 2 = 505, set again at
    // Frequency 2 (1010) and snapped to 60 fps: frame 61, 1016 ms.
    if (row.minor == 3) {
      w.U32(2);
      KeyHead(w, 0).Pair(1, 0).F32(5);
      KeyHead(w, 1010, TT_EASE_OUT).Pair(1, 0).F32(6);
    } else {
      FloatTimes(w, {0, 1010});
      if (row.minor == 0) w.U32(2).F32(5).F32(9).F32(9).F32(9).F32(6).F32(9).F32(9).F32(9);
      if (row.minor == 1) w.U32(2).F32(5).F32(6);
      if (row.minor == 2) w.U32(2).F32(5).U32(TT_LINEAR).F32(6).U32(TT_EASE_OUT);
    }
    CStream stream;
    CMemoryIo deviceStream;
    auto* control = LoadRoot<CPointLightControl>("CPointLightControl", w, stream, deviceStream);
    ASSERT_NE(control, nullptr);
    EXPECT_EQ(control->GetFrequency(), 1.0f);
    ASSERT_EQ(control->GetRangeKeys().Size(), 2u);
    EXPECT_EQ(control->GetRangeKeys()[0].Time, 0);
    EXPECT_EQ(control->GetRangeKeys()[1].Time, 1016);
    EXPECT_EQ(control->GetRangeKeys()[0].Range, 5.0f);
    EXPECT_EQ(control->GetRangeKeys()[1].Range, 6.0f);
    EXPECT_EQ(control->GetRangeKeys()[1].TransitionType, row.minor >= 2 ? u32{TT_EASE_OUT} : u32{TT_LINEAR});
  }
}

TEST_F(LightControlTest, OlderSpotRecordsLoadAsStored) {
  for (u32 minor : {0u, 1u, 2u}) {
    SCOPED_TRACE(minor);
    ByteWriter w = ControllerHead(2.0f);
    w.Pair(2, minor);
    FloatTimes(w, {0, 1010.7f}).U32(2).F32(1).F32(2).F32(3).F32(4).F32(5).F32(6);
    if (minor == 0) w.U32(2).F32(7).F32(0).F32(0).F32(0).F32(8).F32(0).F32(0).F32(0);
    if (minor >= 1) w.U32(2).F32(7).F32(8);
    if (minor == 2) w.U32(2).U32(TT_STEP).U32(TT_EASE_IN);
    CStream stream;
    CMemoryIo deviceStream;
    auto* control = LoadRoot<CSpotLightControl>("CSpotLightControl", w, stream, deviceStream);
    ASSERT_NE(control, nullptr);
    ASSERT_EQ(control->GetKeys().Size(), 2u);
    // No frequency conversion for spot keys.
    EXPECT_EQ(control->GetFrequency(), 2.0f);
    EXPECT_EQ(control->GetKeys()[1].Time, 1010);
    EXPECT_EQ(control->GetKeys()[1].FalloffPhiTheta, (Vec{4, 5, 6}));
    EXPECT_EQ(control->GetKeys()[1].Range, 8.0f);
    EXPECT_EQ(control->GetKeys()[1].TransitionType, minor == 2 ? u32{TT_EASE_IN} : u32{TT_LINEAR});
  }
}

}  // namespace
}  // namespace KT
