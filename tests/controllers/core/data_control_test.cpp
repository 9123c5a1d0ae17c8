// The data controller bases: what they answer in the transform pass, the
// light-colour write, their record levels and the abstract factory entry.
#include "controllers/core/data_control.h"

#include <gtest/gtest.h>

#include <string>
#include <type_traits>
#include <vector>

#include "controllers/core/test_classes.h"
#include "objectmodel/class_factory.h"
#include "objectmodel/memory_io.h"
#include "objectmodel/stream_test_support.h"
#include "scene/light.h"

namespace KT {
namespace {

using test::Bytes;
using test::ByteWriter;
using test::CTestDorun;

// A concrete controller on top of one of the bases, with a record level of
// its own (version pair 1.0, nothing else). On the light base its Update
// writes `rgb` into RgbData.
template <typename Base>
class CTestDataLevel : public Base {
 public:
  static const ClassRecord& StaticClassRecord() {
    static const std::string name = std::string("CTest") + (Base::StaticClassRecord().name + 1);
    static const ClassRecord record{name.c_str(), &Base::StaticClassRecord(), 1, 0, MakeClassId(name, 0)};
    return record;
  }
  const ClassRecord& GetClassRecord() const override { return StaticClassRecord(); }
  u32 GetVersion() const override { return StaticClassRecord().Version(); }
  Result CreateInstance(CPointer<CBase>& out) const override { return CreateCopy(*this, out); }

  i32 GetEndTime() const override { return 0; }
  Result Update(i32) override {
    if constexpr (std::is_base_of_v<CLightDataControl, Base>) {
      for (int i = 0; i < 4; ++i) this->rgbData_[i] = rgb[i];
    }
    return kOk;
  }
  Result Apply() override {
    if constexpr (std::is_base_of_v<CLightDataControl, Base>) {
      return Base::Apply();
    } else {
      return kDone;
    }
  }

  Result Save(CStream& stream, u32 flags) override {
    const Result r = Base::Save(stream, flags);
    return Succeeded(r) ? WriteVersion(stream, StaticClassRecord()) : r;
  }
  Result Load(CStream& stream, CStreamLoadRecord& record, u32 flags) override {
    const Result r = Base::Load(stream, record, flags);
    return Succeeded(r) ? stream.ReadVersionBlock(StaticClassRecord()) : r;
  }
  u32 GetSaveSize() const override { return Base::GetSaveSize() + 8; }

  f32 rgb[4] = {0.0f, 0.0f, 0.0f, 1.0f};
};

using CTestData = CTestDataLevel<CDataControl>;
using CTestLightData = CTestDataLevel<CLightDataControl>;
using CTestUvwData = CTestDataLevel<CUvwMapDataControl>;

// The bases without a class of their own above them: only CreateInstance
// is left as the base answers it.
class CBareUvwData : public CUvwMapDataControl {
 public:
  i32 GetEndTime() const override { return 0; }
  Result Update(i32) override { return kOk; }
  Result Apply() override { return kDone; }
};

// A light to write into (the concrete lights add their geometry).
class CTestLight : public CLight {
 public:
  Result UpdateWorldBound() override { return kDone; }
  u32 GetLightType() const override { return 0; }
};

class DataControlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::RegisterTestClasses();
    CClassFactory::Register(CTestData::StaticClassRecord().name, &CreateObject<CTestData>);
    CClassFactory::Register(CTestLightData::StaticClassRecord().name, &CreateObject<CTestLightData>);
    CClassFactory::Register(CTestUvwData::StaticClassRecord().name, &CreateObject<CTestUvwData>);
    test::UseTestIds(0);
  }
};

// The bytes `save` writes to a fresh stream.
template <typename Save>
Bytes Saved(Save save) {
  CMemoryIo device;
  CStream stream;
  stream.SetDevice(&device);
  EXPECT_EQ(save(stream), kOk);
  return device.GetData();
}

TEST_F(DataControlTest, TheTransformPassHasNothingToDo) {
  CPointer<CTestDorun> object(new CTestDorun());
  CPointer<CTestLightData> light(new CTestLightData());
  CPointer<CTestUvwData> uvw(new CTestUvwData());
  CPointer<CTestData> data(new CTestData());
  ASSERT_EQ(object->AddControl(light.Get()), kOk);
  for (CControl* control : std::vector<CControl*>{light.Get(), uvw.Get(), data.Get()}) {
    SCOPED_TRACE(control->GetClassRecord().name);
    const std::string before = test::Members(control);
    EXPECT_TRUE(control->IsDataControl());
    EXPECT_EQ(control->UpdateTransform(500), kDone);
    EXPECT_EQ(control->ApplyTransform(), kDone);
    EXPECT_EQ(test::Members(control), before);
  }
  EXPECT_EQ(object->value, 0);
}

TEST_F(DataControlTest, LightDataWritesColourAndMultiplierAndClearsModified) {
  for (bool modifiedBefore : {false, true}) {
    SCOPED_TRACE(modifiedBefore);
    CPointer<CTestLight> light(new CTestLight());
    CPointer<CTestLightData> control(new CTestLightData());
    ASSERT_EQ(light->AddControl(control.Get()), kOk);
    const f32 rgb[4] = {0.25f, 0.5f, 0.75f, 3.0f};
    std::copy(rgb, rgb + 4, control->rgb);
    ASSERT_EQ(control->Update(0), kOk);
    light->SetModified(modifiedBefore);
    ASSERT_EQ(control->Apply(), kOk);
    EXPECT_EQ(light->GetRgb().r, 0.25f);
    EXPECT_EQ(light->GetRgb().g, 0.5f);
    EXPECT_EQ(light->GetRgb().b, 0.75f);
    EXPECT_EQ(light->GetMultiplier(), 3.0f);
    EXPECT_FALSE(light->IsModified());
    const f32* stored = control->GetRgbData();
    EXPECT_EQ(std::vector<f32>(stored, stored + 4), std::vector<f32>(rgb, rgb + 4));
  }
}

TEST_F(DataControlTest, LightDataRefusesAMissingOrForeignObject) {
  CPointer<CTestLightData> unbound(new CTestLightData());
  EXPECT_EQ(unbound->Apply(), kErrInvalidArg);

  CPointer<CTestDorun> object(new CTestDorun());
  CPointer<CTestLightData> control(new CTestLightData());
  ASSERT_EQ(object->AddControl(control.Get()), kOk);
  control->rgb[0] = 1.0f;
  ASSERT_EQ(control->Update(0), kOk);
  object->SetModified(true);
  const std::string before = test::Members(object.Get());
  EXPECT_EQ(control->Apply(), kErrNotFound);
  EXPECT_EQ(test::Members(object.Get()), before);
  EXPECT_TRUE(object->IsModified());
}

// Each base level appends its version pair 2.00 and nothing else.
TEST_F(DataControlTest, EachLevelAddsItsVersionPair) {
  CPointer<CTestData> data(new CTestData());
  CPointer<CTestLightData> light(new CTestLightData());
  CPointer<CTestUvwData> uvw(new CTestUvwData());
  struct Row {
    CControl* control;
    Bytes full;   // the level itself
    Bytes below;  // the level underneath
    u32 fullSize;
    u32 belowSize;
  };
  const Row rows[] = {
      {data.Get(), Saved([&](CStream& s) { return data->CDataControl::Save(s, 0); }),
       Saved([&](CStream& s) { return data->CControl::Save(s, 0); }), data->CDataControl::GetSaveSize(),
       data->CControl::GetSaveSize()},
      {light.Get(), Saved([&](CStream& s) { return light->CLightDataControl::Save(s, 0); }),
       Saved([&](CStream& s) { return light->CDataControl::Save(s, 0); }), light->CLightDataControl::GetSaveSize(),
       light->CDataControl::GetSaveSize()},
      {uvw.Get(), Saved([&](CStream& s) { return uvw->CUvwMapDataControl::Save(s, 0); }),
       Saved([&](CStream& s) { return uvw->CDataControl::Save(s, 0); }), uvw->CUvwMapDataControl::GetSaveSize(),
       uvw->CDataControl::GetSaveSize()},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.control->GetClassRecord().name);
    ASSERT_EQ(row.full.size(), row.below.size() + 8);
    EXPECT_EQ(Bytes(row.full.begin(), row.full.begin() + static_cast<std::ptrdiff_t>(row.below.size())), row.below);
    ByteWriter pair;
    pair.Pair(2, 0);
    EXPECT_EQ(Bytes(row.full.end() - 8, row.full.end()), pair.Data());
    EXPECT_EQ(row.fullSize, row.full.size());
    EXPECT_EQ(row.belowSize, row.below.size());
  }
  EXPECT_EQ(light->GetMemorySize(), light->CDataControl::GetMemorySize() + 16);
}

TEST_F(DataControlTest, DescribeMembersReportsRgbDataOnlyOnTheLightLevel) {
  CPointer<CTestLightData> light(new CTestLightData());
  const std::string lightText = test::Members(light.Get());
  ASSERT_NE(lightText.find("CLightDataControl Member"), std::string::npos);
  EXPECT_NE(lightText.find("RgbData"), std::string::npos);
  EXPECT_LT(lightText.find("CLightDataControl Member"), lightText.find("CControl Member"));

  CPointer<CTestUvwData> uvw(new CTestUvwData());
  const std::string uvwText = test::Members(uvw.Get());
  EXPECT_EQ(uvwText.find("DataControl Member"), std::string::npos);
  EXPECT_NE(uvwText.find("CControl Member"), std::string::npos);
}

TEST_F(DataControlTest, TheBasesAreAbstract) {
  CBareUvwData bare;
  CPointer<CBase> out;
  EXPECT_EQ(bare.CreateInstance(out), kErrInvalidArg);
  EXPECT_EQ(out.Get(), nullptr);

  Result result = kOk;
  CreateUvwMapDataControl(result, out);
  EXPECT_EQ(result, kErrInvalidArg);
  EXPECT_EQ(out.Get(), nullptr);
}

// A scene object holding one controller of each base, saved, loaded and
// saved again.
TEST_F(DataControlTest, RoundTripsThroughAFile) {
  CPointer<CTestDorun> object(new CTestDorun());
  CPointer<CTestLightData> light(new CTestLightData());
  CPointer<CTestUvwData> uvw(new CTestUvwData());
  CPointer<CTestData> data(new CTestData());
  light->SetFrequency(2.0f);
  uvw->SetRepeat(CControl::RT_CYCLE);
  data->SetActive(false);
  ASSERT_EQ(object->AddControl(light.Get()), kOk);
  ASSERT_EQ(object->AddControl(uvw.Get()), kOk);
  ASSERT_EQ(object->AddControl(data.Get()), kOk);

  const Bytes first = test::SaveRoots({object.Get()});
  test::UseTestIds(1);
  CStream stream;
  CMemoryIo device;
  ASSERT_EQ(test::LoadScene(first, stream, device), kOk);
  auto* loaded = DynamicCast<CTestDorun>(stream.GetRootObject(0));
  ASSERT_NE(loaded, nullptr);
  EXPECT_EQ(test::Members(loaded), test::Members(object.Get()));
  std::vector<CControl*> controls;
  for (CDorun* c = loaded->GetFirstControl(); c != nullptr; c = c->GetChainNext()) {
    controls.push_back(DynamicCast<CControl>(c));
  }
  ASSERT_EQ(controls.size(), 3u);
  EXPECT_NE(DynamicCast<CTestLightData>(controls[0]), nullptr);
  EXPECT_NE(DynamicCast<CTestUvwData>(controls[1]), nullptr);
  EXPECT_NE(DynamicCast<CTestData>(controls[2]), nullptr);
  EXPECT_EQ(test::Members(controls[0]), test::Members(light.Get()));
  EXPECT_EQ(test::Members(controls[1]), test::Members(uvw.Get()));
  EXPECT_EQ(test::Members(controls[2]), test::Members(data.Get()));
  EXPECT_EQ(test::RenumberIds(test::SaveLoaded(stream)), test::RenumberIds(first));

  // The root tree is read to the end of the file, so a cut at a record
  // boundary loads the records before it; any other cut fails.
  test::ExpectPrefixesFailBetweenRecords(first);
}

// A record of the UVW base test class with the given version pairs of the
// CDataControl and CUvwMapDataControl levels.
Bytes UvwDataFile(u32 dataMinor, u32 uvwMinor) {
  ByteWriter body;
  test::BasePart(body, 0x20);
  test::DorunPart(body, 0);
  test::ControlPart(body, test::ControlFields{});
  body.Pair(2, dataMinor).Pair(2, uvwMinor).Pair(1, 0);
  return test::SceneImage().Record(CTestUvwData::StaticClassRecord().name, body, true).Data();
}

TEST_F(DataControlTest, NewerBaseLevelsAreRefused) {
  struct Row {
    u32 dataMinor;
    u32 uvwMinor;
    Result expected;
  };
  for (const Row& row : {Row{0, 0, kOk}, Row{1, 0, kErrNewerVersion}, Row{0, 1, kErrNewerVersion}}) {
    CStream stream;
    CMemoryIo device;
    EXPECT_EQ(test::LoadScene(UvwDataFile(row.dataMinor, row.uvwMinor), stream, device), row.expected)
        << row.dataMinor << " " << row.uvwMinor;
  }
}

}  // namespace
}  // namespace KT
