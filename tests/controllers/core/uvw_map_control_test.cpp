// The UVW-map controller: evaluation of STEP and LINEAR keys into the bound
// map, the key operations and their refusals, copies, and the record in its
// current form and in every older one.
#include "controllers/core/uvw_map_control.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "controllers/core/morph_control.h"
#include "controllers/core/test_classes.h"
#include "objectmodel/class_factory.h"
#include "objectmodel/memory_io.h"
#include "objectmodel/stream_test_support.h"
#include "scene/uvw_map.h"

namespace KT {
namespace {

using test::Bytes;
using test::ByteWriter;
using Vec = CVector3<float>;
using Set = std::vector<Vec>;

class UvwMapControlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::RegisterTestClasses();
    CClassFactory::Register("CUvwMap", &CreateObject<CUvwMap>);
    CClassFactory::Register("CUvwMapData", &CreateObject<CUvwMapData>);
    CClassFactory::Register("CUvwMapControl", &CreateObject<CUvwMapControl>);
    RegisterOldClassNames();
    test::UseTestIds(0);
  }
};

Set Coordinates(const CUvwMap& map) { return Set(map.GetUVW().begin(), map.GetUVW().end()); }

void SetCoordinates(CUvwMap& map, const Set& set) {
  if (map.GetUVW().GetCount() != set.size()) {
    ASSERT_EQ(map.AllocateUvw(static_cast<u32>(set.size())), kOk);
  }
  std::copy(set.begin(), set.end(), map.GetUVW().begin());
}

void ExpectNear(const Set& actual, const Set& expected) {
  ASSERT_EQ(actual.size(), expected.size());
  for (std::size_t i = 0; i < actual.size(); ++i) {
    EXPECT_NEAR(actual[i].x, expected[i].x, 1e-5f) << i;
    EXPECT_NEAR(actual[i].y, expected[i].y, 1e-5f) << i;
    EXPECT_NEAR(actual[i].z, expected[i].z, 1e-5f) << i;
  }
}

// A map of two coordinates with a controller bound to it.
struct Animated {
  CPointer<CUvwMap> map{new CUvwMap()};
  CPointer<CUvwMapControl> control{new CUvwMapControl()};
  Animated() {
    map->SetName(u"uv");
    EXPECT_EQ(map->AllocateUvw(2), kOk);
    EXPECT_EQ(map->AddControl(control.Get()), kOk);
  }
  // Keys `set` at `time` (at 1000 fps, so the time stands) by showing it in
  // the map, as the exporter keys animated coordinates.
  Result Key(i32 time, const Set& set, u32 type, f32 fps = 1000.0f) {
    SetCoordinates(*map, set);
    return control->SetKey(time, fps, map.Get(), type);
  }
};

const Set kA = {{0, 0, 0}, {1, 0, 0}};
const Set kB = {{10, 20, 0}, {11, 20, 1}};
const Set kC = {{-4, 8, 2}, {5, 6, 7}};

Set Lerp(const Set& a, const Set& b, f32 f) {
  Set out;
  for (std::size_t i = 0; i < a.size(); ++i) out.push_back(a[i] + (b[i] - a[i]) * f);
  return out;
}

// --- evaluation -----------------------------------------------------------------------

// Keys at 0 (LINEAR), 500 (STEP) and 1000 (LINEAR): the type of the key at
// or before the time decides; sampled before, at and after each key.
TEST_F(UvwMapControlTest, LinearAndStepKeysWriteTheExpectedCoordinates) {
  Animated a;
  ASSERT_EQ(a.Key(0, kA, TT_LINEAR), kOk);
  ASSERT_EQ(a.Key(500, kB, TT_STEP), kOk);
  ASSERT_EQ(a.Key(1000, kC, TT_LINEAR), kOk);
  struct Case {
    i32 time;
    Set expected;
  };
  const Case cases[] = {
      {-100, kA}, {0, kA},    {1, Lerp(kA, kB, 0.002f)}, {250, Lerp(kA, kB, 0.5f)}, {499, Lerp(kA, kB, 0.998f)},
      {500, kB},  {501, kB},  {750, kB},                 {999, kB},                 {1000, kC},
      {1001, kC}, {250, Lerp(kA, kB, 0.5f)},  // backward again
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.time);
    SetCoordinates(*a.map, {{99, 99, 99}, {99, 99, 99}});
    ASSERT_EQ(a.control->Update(c.time), kOk);
    ExpectNear(Coordinates(*a.map), c.expected);
  }
}

TEST_F(UvwMapControlTest, EaseTypesInterpolateLinearly) {
  for (u32 type : {u32{TT_EASE_IN}, u32{TT_EASE_OUT}, u32{TT_EASE_IN_OUT}, u32{TT_EASE_OUT_IN}, 77u}) {
    SCOPED_TRACE(type);
    Animated a;
    ASSERT_EQ(a.Key(0, kA, type), kOk);
    ASSERT_EQ(a.Key(100, kB, type), kOk);
    ASSERT_EQ(a.control->Update(25), kOk);
    ExpectNear(Coordinates(*a.map), Lerp(kA, kB, 0.25f));
  }
}

TEST_F(UvwMapControlTest, TimeIsMappedThroughRepeatAndFrequency) {
  Animated a;
  ASSERT_EQ(a.Key(0, kA, TT_LINEAR), kOk);
  ASSERT_EQ(a.Key(1000, kB, TT_LINEAR), kOk);
  EXPECT_EQ(a.control->GetEndTime(), 1000);
  struct Case {
    u32 repeat;
    f32 frequency;
    i32 time;
    f32 fraction;
  };
  const Case cases[] = {
      {CControl::RT_CLAMP, 1.0f, 1500, 1.0f},
      {CControl::RT_WRAP, 1.0f, 1250, 0.25f},
      {CControl::RT_CYCLE, 1.0f, 1250, 0.75f},
      {CControl::RT_CLAMP, 2.0f, 250, 0.5f},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.repeat << " " << c.frequency << " " << c.time);
    a.control->SetRepeat(c.repeat);
    a.control->SetFrequency(c.frequency);
    ASSERT_EQ(a.control->Update(c.time), kOk);
    ExpectNear(Coordinates(*a.map), Lerp(kA, kB, c.fraction));
  }
}

TEST_F(UvwMapControlTest, UpdateWritesNothingItCannotWriteWhole) {
  // Inactive, or without keys: nothing happens.
  Animated a;
  SetCoordinates(*a.map, kC);
  EXPECT_EQ(a.control->Update(0), kOk);
  EXPECT_EQ(Coordinates(*a.map), kC);
  ASSERT_EQ(a.Key(0, kA, TT_LINEAR), kOk);
  SetCoordinates(*a.map, kC);
  a.control->SetActive(false);
  EXPECT_EQ(a.control->Update(0), kDone);
  EXPECT_EQ(Coordinates(*a.map), kC);
  a.control->SetActive(true);

  // The map was resized after the keys were set: refused, map untouched.
  const Set three = {{1, 1, 1}, {2, 2, 2}, {3, 3, 3}};
  SetCoordinates(*a.map, three);
  EXPECT_EQ(a.control->Update(0), kErrNotFound);
  EXPECT_EQ(Coordinates(*a.map), three);
  // Nor can keys of the new size join the old ones.
  EXPECT_EQ(a.control->SetKey(100, 1000.0f, a.map.Get(), TT_LINEAR), kErrNotFound);
  EXPECT_EQ(a.control->GetKeyCount(), 1u);
}

TEST_F(UvwMapControlTest, UnboundOrForeignObjectsAreRefused) {
  CPointer<CUvwMap> source(new CUvwMap());
  ASSERT_EQ(source->AllocateUvw(2), kOk);

  CPointer<CUvwMapControl> unbound(new CUvwMapControl());
  EXPECT_EQ(unbound->SetKey(0, 30.0f, source.Get(), TT_LINEAR), kErrInvalidArg);
  EXPECT_EQ(unbound->Update(0), kErrInvalidArg);
  EXPECT_EQ(unbound->GetKeyCount(), 0u);

  CPointer<test::CTestDorun> object(new test::CTestDorun());
  CPointer<CUvwMapControl> foreign(new CUvwMapControl());
  ASSERT_EQ(object->AddControl(foreign.Get()), kOk);
  foreign->SetModified(false);
  EXPECT_EQ(foreign->SetKey(0, 30.0f, source.Get(), TT_LINEAR), kErrNotFound);
  EXPECT_EQ(foreign->Update(0), kErrNotFound);
  EXPECT_EQ(foreign->GetKeyCount(), 0u);
  EXPECT_FALSE(foreign->IsModified());
  EXPECT_EQ(object->value, 0);

  // A source of another size, or none.
  Animated a;
  CPointer<CUvwMap> wider(new CUvwMap());
  ASSERT_EQ(wider->AllocateUvw(3), kOk);
  EXPECT_EQ(a.control->SetKey(0, 30.0f, wider.Get(), TT_LINEAR), kErrNotFound);
  EXPECT_EQ(a.control->SetKey(0, 30.0f, nullptr, TT_LINEAR), kErrInvalidArg);
  EXPECT_EQ(a.control->GetKeyCount(), 0u);
  EXPECT_TRUE(a.control->GetUVWData().empty());
}

// --- key operations ----------------------------------------------------------------------

TEST_F(UvwMapControlTest, SetKeySnapsToFramesAndOverwritesTheKeyAtThatTime) {
  Animated a;
  a.control->SetModified(false);
  ASSERT_EQ(a.Key(1010, kA, TT_LINEAR, 30.0f), kOk);
  EXPECT_TRUE(a.control->IsModified());
  // 990 ms is the same frame at 30 fps: one key, holding the second set.
  ASSERT_EQ(a.Key(990, kB, TT_STEP, 30.0f), kOk);
  EXPECT_EQ(a.control->GetUVWTime(), std::vector<i32>{1000});
  EXPECT_EQ(a.control->GetTransitionType(), std::vector<u32>{TT_STEP});
  EXPECT_EQ(a.control->GetUVWData(), kB);
  // Inserted in time order; the time is scaled by Frequency first.
  a.control->SetFrequency(2.0f);
  ASSERT_EQ(a.Key(100, kC, TT_LINEAR), kOk);
  ASSERT_EQ(a.Key(1000, kA, TT_EASE_IN), kOk);
  EXPECT_EQ(a.control->GetUVWTime(), (std::vector<i32>{200, 1000, 2000}));
  EXPECT_EQ(a.control->GetTransitionType(), (std::vector<u32>{TT_LINEAR, TT_STEP, TT_EASE_IN}));
  Set expected = kC;
  expected.insert(expected.end(), kB.begin(), kB.end());
  expected.insert(expected.end(), kA.begin(), kA.end());
  EXPECT_EQ(a.control->GetUVWData(), expected);
}

TEST_F(UvwMapControlTest, RemoveKeyTakesTheKeysWholeSet) {
  CPointer<CUvwMap> map(new CUvwMap());
  CPointer<CUvwMapControl> control(new CUvwMapControl());
  ASSERT_EQ(map->AddControl(control.Get()), kOk);
  std::vector<Set> sets;
  for (i32 k = 0; k < 3; ++k) {
    Set set;
    for (int i = 0; i < 4; ++i) set.push_back(Vec(static_cast<f32>(k), static_cast<f32>(i), 0));
    sets.push_back(set);
    SetCoordinates(*map, set);
    ASSERT_EQ(control->SetKey(100 * k, 1000.0f, map.Get(), k == 2 ? TT_STEP : TT_LINEAR), kOk);
  }
  control->SetModified(false);
  EXPECT_EQ(control->RemoveKey(3), kErrOutOfRange);
  EXPECT_FALSE(control->IsModified());
  ASSERT_EQ(control->RemoveKey(1), kOk);
  EXPECT_TRUE(control->IsModified());
  EXPECT_EQ(control->GetUVWTime(), (std::vector<i32>{0, 200}));
  EXPECT_EQ(control->GetTransitionType(), (std::vector<u32>{TT_LINEAR, TT_STEP}));
  Set expected = sets[0];
  expected.insert(expected.end(), sets[2].begin(), sets[2].end());
  EXPECT_EQ(control->GetUVWData(), expected);
}

// --- copies --------------------------------------------------------------------------------

TEST_F(UvwMapControlTest, CopiesCarryTheKeys) {
  Animated a;
  ASSERT_EQ(a.Key(0, kA, TT_LINEAR), kOk);
  ASSERT_EQ(a.Key(40, kB, TT_STEP), kOk);
  a.control->SetFrequency(3.0f);
  ASSERT_EQ(a.control->Update(20), kOk);

  CPointer<CBase> instance;
  ASSERT_EQ(a.control->CreateInstance(instance), kOk);
  auto* copy = DynamicCast<CUvwMapControl>(instance.Get());
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->GetUVWData(), a.control->GetUVWData());
  EXPECT_EQ(copy->GetLastIndex(), a.control->GetLastIndex());

  CPointer<CUvwMapControl> target(new CUvwMapControl());
  DisplacedList displaced;
  ASSERT_EQ(a.control->CopyTo(target.Get(), displaced, 0), kOk);
  EXPECT_EQ(test::Members(target.Get()), test::Members(a.control.Get()));
  EXPECT_EQ(target->GetFrequency(), 3.0f);

  CPointer<CMorphControl> other(new CMorphControl());
  const std::string before = test::Members(other.Get());
  EXPECT_EQ(a.control->CopyTo(other.Get(), displaced, 0), kErrNotFound);
  EXPECT_EQ(a.control->CopyTo(nullptr, displaced, 0), kErrNotFound);
  EXPECT_EQ(test::Members(other.Get()), before);
}

// --- records ----------------------------------------------------------------------------------

TEST_F(UvwMapControlTest, RecordLayoutAndSizes) {
  Animated a;
  ASSERT_EQ(a.Key(0, kA, TT_STEP), kOk);
  ASSERT_EQ(a.Key(300, kB, TT_EASE_OUT), kOk);
  CMemoryIo device;
  CStream stream;
  stream.SetDevice(&device);
  ASSERT_EQ(a.control->Save(stream, 0), kOk);
  const Bytes saved = device.GetData();
  EXPECT_EQ(saved.size(), a.control->GetSaveSize());
  EXPECT_EQ(a.control->GetSaveSize(),
            a.control->CUvwMapDataControl::GetSaveSize() + 8 + (4 + 12 * 4) + (4 + 8) + (4 + 8));

  ByteWriter tail;
  tail.Pair(2, 3).U32(4);
  for (const Set* set : {&kA, &kB}) {
    for (const Vec& v : *set) tail.F32(v.x).F32(v.y).F32(v.z);
  }
  tail.U32(2).I32(0).I32(300).U32(2).U32(TT_STEP).U32(TT_EASE_OUT);
  ASSERT_GE(saved.size(), tail.Size());
  EXPECT_EQ(Bytes(saved.end() - static_cast<std::ptrdiff_t>(tail.Size()), saved.end()), tail.Data());
  EXPECT_EQ(a.control->GetMemorySize(), a.control->CUvwMapDataControl::GetMemorySize() + 4 * (12 + 2 + 2) + 80);

  const std::string text = test::Members(a.control.Get());
  for (const char* name :
       {"CUvwMapControl Member", "LastIndex", "UVWTime", "UVWData", "TransitionType", "TT_EASE_OUT"}) {
    EXPECT_NE(text.find(name), std::string::npos) << name;
  }
  EXPECT_LT(text.find("CUvwMapControl Member"), text.find("CControl Member"));
}

// A map animated by the controller, saved, loaded, evaluated and saved again.
TEST_F(UvwMapControlTest, RoundTripsThroughAFile) {
  Animated a;
  ASSERT_EQ(a.Key(0, kA, TT_LINEAR), kOk);
  ASSERT_EQ(a.Key(500, kB, TT_STEP), kOk);
  ASSERT_EQ(a.Key(1000, kC, 42), kOk);
  a.control->SetRepeat(CControl::RT_WRAP);
  a.control->SetName(u"scroll");

  const Bytes first = test::SaveRoots({a.map.Get()});
  test::UseTestIds(1);
  CStream stream;
  CMemoryIo device;
  ASSERT_EQ(test::LoadScene(first, stream, device), kOk);
  auto* map = DynamicCast<CUvwMap>(stream.GetRootObject(0));
  ASSERT_NE(map, nullptr);
  auto* control = DynamicCast<CUvwMapControl>(map->GetFirstControl());
  ASSERT_NE(control, nullptr);
  EXPECT_EQ(control->GetObject(), map);
  EXPECT_EQ(test::Members(control), test::Members(a.control.Get()));
  EXPECT_EQ(control->GetUVWData(), a.control->GetUVWData());
  EXPECT_EQ(test::Members(map), test::Members(a.map.Get()));
  EXPECT_EQ(test::RenumberIds(test::SaveLoaded(stream)), test::RenumberIds(first));

  ASSERT_EQ(control->Update(1250), kOk);
  ExpectNear(Coordinates(*map), Lerp(kA, kB, 0.5f));

  test::ExpectPrefixesFailBetweenRecords(first);
}

// --- byte images of older records ----------------------------------------------------------------

// The CControl part of the 2.00 layout: the word where Weight is now held
// the controller's start time.
ByteWriter& OldControlPart(ByteWriter& w, f32 startTime) {
  return w.Pair(2, 0).U32(0).F32(startTime).F32(0.0f).U32(0).F32(1.0f).U8(1).U32(0).U32(0);
}

struct UvwPart {
  u32 minor = 3;
  Set data;
  std::vector<f32> times;  // written as i32 from 2.03
  std::vector<u32> types;  // written from 2.02
  bool oldControl = false;  // a 2.00 controller part
  f32 startTime = 0.0f;     // held by that part
  u32 major = 2;
};

// A CUvwMapControl record (a root, id 0x20) under `className`.
Bytes UvwFile(const UvwPart& part, const std::string& className = "CUvwMapControl") {
  ByteWriter body;
  test::BasePart(body, 0x20);
  test::DorunPart(body, 0);
  if (part.oldControl) {
    OldControlPart(body, part.startTime);
  } else {
    test::ControlPart(body, test::ControlFields{});
  }
  body.Pair(2, 0).Pair(2, 0).Pair(part.major, part.minor);
  body.U32(static_cast<u32>(part.data.size()));
  for (const Vec& v : part.data) body.F32(v.x).F32(v.y).F32(v.z);
  body.U32(static_cast<u32>(part.times.size()));
  const u32 version = part.major * 100 + part.minor;
  for (f32 t : part.times) {
    if (version >= 203) {
      body.I32(static_cast<i32>(t));
    } else {
      body.F32(t);
    }
  }
  if (version >= 202) {
    body.U32(static_cast<u32>(part.types.size()));
    for (u32 type : part.types) body.U32(type);
  }
  return test::SceneImage().Record(className, body, true).Data();
}

// Keys at 100.7 and 300 (as f32 before 2.03) holding one coordinate each;
// with an old controller part from 2.01 down.
UvwPart TwoKeys(u32 major, u32 minor, f32 startTime = 0.0f) {
  UvwPart part;
  part.major = major;
  part.minor = minor;
  part.data = {{1, 2, 3}, {4, 5, 6}};
  part.times = {100.7f, 300.0f};
  part.types = {TT_STEP, TT_EASE_IN};
  part.oldControl = major * 100 + minor <= 201;
  part.startTime = startTime;
  return part;
}

CUvwMapControl* LoadedControl(CStream& stream) {
  return stream.GetRootObjectCount() > 0 ? DynamicCast<CUvwMapControl>(stream.GetRootObject(0)) : nullptr;
}

TEST_F(UvwMapControlTest, EveryOlderFormLoads) {
  struct Case {
    UvwPart part;
    std::string className;
    std::vector<i32> times;
    std::vector<u32> types;
  };
  const Case cases[] = {
      {TwoKeys(1, 0, 30.0f), "CUvwMapControl", {70, 270}, {TT_STEP, TT_STEP}},  // relative times, STEP
      {TwoKeys(1, 0), "CTriMeshUVWMapControl", {100, 300}, {TT_STEP, TT_STEP}},
      {TwoKeys(2, 0, 30.0f), "CUvwMapControl", {70, 270}, {TT_LINEAR, TT_LINEAR}},
      {TwoKeys(2, 1, 30.0f), "CUvwMapControl", {100, 300}, {TT_LINEAR, TT_LINEAR}},  // absolute times
      {TwoKeys(2, 2), "CUvwMapControl", {100, 300}, {TT_STEP, TT_EASE_IN}},          // stored types
      {TwoKeys(2, 3), "CTriMeshUVWMapControl", {100, 300}, {TT_STEP, TT_EASE_IN}},   // i32 times
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.className << " " << c.part.major << "." << c.part.minor);
    CStream stream;
    CMemoryIo device;
    ASSERT_EQ(test::LoadScene(UvwFile(c.part, c.className), stream, device), kOk);
    CUvwMapControl* control = LoadedControl(stream);
    ASSERT_NE(control, nullptr);
    EXPECT_STREQ(control->GetClassRecord().name, "CUvwMapControl");
    EXPECT_EQ(control->GetUVWTime(), c.times);
    EXPECT_EQ(control->GetTransitionType(), c.types);
    EXPECT_EQ(control->GetUVWData(), c.part.data);
    // The old start time was only held until the link step.
    EXPECT_EQ(control->GetWeight(), 1.0f);
  }
}

TEST_F(UvwMapControlTest, MalformedRecordsAreRefused) {
  struct Case {
    const char* name;
    Bytes bytes;
    Result expected;
  };
  UvwPart fewerTypes = TwoKeys(2, 3);
  fewerTypes.types.pop_back();
  UvwPart moreTypes = TwoKeys(2, 3);
  moreTypes.types.push_back(TT_LINEAR);
  UvwPart partialSet = TwoKeys(2, 3);
  partialSet.data.push_back({7, 8, 9});
  UvwPart dataWithoutKeys = TwoKeys(2, 3);
  dataWithoutKeys.times.clear();
  dataWithoutKeys.types.clear();
  UvwPart newer = TwoKeys(2, 4);
  ByteWriter huge;
  test::BasePart(huge, 0x20);
  test::DorunPart(huge, 0);
  test::ControlPart(huge, test::ControlFields{});
  huge.Pair(2, 0).Pair(2, 0).Pair(2, 3).U32(0x10000000);
  const Case cases[] = {
      {"fewer transition types than times", UvwFile(fewerTypes), kErrNotFound},
      {"more transition types than times", UvwFile(moreTypes), kErrNotFound},
      {"sets not whole", UvwFile(partialSet), kErrNotFound},
      {"coordinates without keys", UvwFile(dataWithoutKeys), kErrNotFound},
      {"newer part", UvwFile(newer), kErrNewerVersion},
      {"count beyond the data", test::SceneImage().Record("CUvwMapControl", huge, true).Data(), kErrStream},
  };
  for (const Case& c : cases) {
    CStream stream;
    CMemoryIo device;
    EXPECT_EQ(test::LoadScene(c.bytes, stream, device), c.expected) << c.name;
  }
}

TEST_F(UvwMapControlTest, EveryPrefixOfEachFormFailsCleanly) {
  for (u32 minor : {0u, 1u, 2u, 3u}) {
    const Bytes bytes = UvwFile(TwoKeys(2, minor, 30.0f));
    test::ExpectPrefixesFailBetweenRecords(bytes);
  }
}

}  // namespace
}  // namespace KT
