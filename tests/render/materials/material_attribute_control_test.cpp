// The material data controller base (Apply into a standard material) and
// the material attribute controller: its setters and removers, evaluation
// of the three tracks, end time, copies and every older record form.
#include "render/materials/material_attribute_control.h"

#include <gtest/gtest.h>

#include <vector>

#include "controllers/core/test_classes.h"
#include "objectmodel/byte_writer.h"
#include "objectmodel/class_factory.h"
#include "objectmodel/stream_test_support.h"
#include "render/materials/texture_maps.h"

namespace KT {
namespace {

using test::ByteWriter;
using test::Bytes;
using Vec = CVector3<float>;
using Control = CMaterialAttributeControl;

constexpr std::size_t kFirstRecordOffset = 40;
const Vec kBlack{0.0f, 0.0f, 0.0f};
const Vec kWhite{1.0f, 1.0f, 1.0f};

class MaterialAttributeControlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CClassFactory::Register("CMaterialAttributeControl", &CreateObject<Control>);
    test::UseTestIds(0);
    material_ = new CStandardMaterial();
    control_ = new Control();
  }
  // Binds the control to the material (and marks neither modified).
  void Bind() {
    ASSERT_EQ(material_->AddControl(control_.Get()), kOk);
    material_->SetModified(false);
    control_->SetModified(false);
  }
  Result SetAmbientKey(i32 time, const Vec& ambient, u32 transition = TT_LINEAR) {
    return control_->SetLightKey(time, 1000.0f, ambient, kWhite, kWhite, 0.0f, 0.0f, 0.0f, transition);
  }

  CPointer<CStandardMaterial> material_;
  CPointer<Control> control_;
};

void ExpectVec(const Vec& got, const Vec& expected) {
  EXPECT_NEAR(got.x, expected.x, 1e-6f);
  EXPECT_NEAR(got.y, expected.y, 1e-6f);
  EXPECT_NEAR(got.z, expected.z, 1e-6f);
}

TEST_F(MaterialAttributeControlTest, LightKeysBlendTheAmbientColour) {
  Bind();
  ASSERT_EQ(SetAmbientKey(0, kBlack), kOk);
  ASSERT_EQ(SetAmbientKey(1000, kWhite), kOk);
  struct Row {
    i32 time;
    f32 grey;
  };
  for (const Row& row : {Row{500, 0.5f}, Row{2000, 1.0f}, Row{-100, 0.0f}, Row{250, 0.25f}}) {
    SCOPED_TRACE(row.time);
    material_->Validate();
    ASSERT_EQ(control_->Update(row.time), kOk);
    ExpectVec(control_->GetAmbient(), Vec{row.grey, row.grey, row.grey});
    ASSERT_EQ(control_->Apply(), kOk);
    ExpectVec(material_->Ambient, Vec{row.grey, row.grey, row.grey});
    EXPECT_FALSE(material_->IsValid());
    EXPECT_FALSE(material_->IsModified());
  }
}

TEST_F(MaterialAttributeControlTest, StepOnTheLaterKeyHoldsTheEarlierValues) {
  Bind();
  ASSERT_EQ(SetAmbientKey(0, kBlack), kOk);
  ASSERT_EQ(SetAmbientKey(1000, kWhite, TT_STEP), kOk);
  for (i32 time : {1, 500, 999}) {
    ASSERT_EQ(control_->Update(time), kOk);
    ExpectVec(control_->GetAmbient(), kBlack);
  }
  ASSERT_EQ(control_->Update(1000), kOk);
  ExpectVec(control_->GetAmbient(), kWhite);
}

TEST_F(MaterialAttributeControlTest, TracksWithoutKeysTakeTheMaterialsValues) {
  Bind();
  material_->Opacity = 0.25f;
  material_->Ambient = Vec{0.1f, 0.2f, 0.3f};
  material_->TextureWeightRef(CStandardMaterial::kGlow) = 0.75f;
  material_->SetModified(false);
  material_->Validate();
  ASSERT_EQ(control_->Update(100), kOk);
  ASSERT_EQ(control_->Apply(), kOk);
  ExpectVec(material_->Ambient, Vec{0.1f, 0.2f, 0.3f});
  ExpectVec(material_->Diffuse, Vec{0.8f, 0.0f, 0.0f});
  EXPECT_EQ(material_->Opacity, 0.25f);
  EXPECT_EQ(material_->GetTextureWeight(CStandardMaterial::kGlow), 0.75f);
  EXPECT_EQ(material_->GetTextureWeight(CStandardMaterial::kCube), 1.0f);
  EXPECT_FALSE(material_->IsValid());
  EXPECT_FALSE(material_->IsModified());

  // Texture and self tracks blend like the light track.
  CMaterialDataControl::Weights low{};
  CMaterialDataControl::Weights high{};
  high.fill(1.0f);
  ASSERT_EQ(control_->SetTextureKey(0, 1000.0f, low), kOk);
  ASSERT_EQ(control_->SetTextureKey(100, 1000.0f, high), kOk);
  ASSERT_EQ(control_->SetSelfKey(0, 1000.0f, 0.0f, 0.0f, 0.0f), kOk);
  ASSERT_EQ(control_->SetSelfKey(100, 1000.0f, 1.0f, 2.0f, 4.0f), kOk);
  ASSERT_EQ(control_->Update(50), kOk);
  EXPECT_FLOAT_EQ(control_->GetWeights()[11], 0.5f);
  EXPECT_FLOAT_EQ(control_->GetOpfall(), 1.0f);
  EXPECT_FLOAT_EQ(control_->GetSoftThresh(), 2.0f);
}

TEST_F(MaterialAttributeControlTest, RefusesWhatItCannotEvaluate) {
  // Unbound.
  EXPECT_EQ(control_->Update(0), kErrInvalidArg);
  EXPECT_EQ(control_->Apply(), kErrInvalidArg);
  // Bound to a texture: nothing is read or written.
  CPointer<CTextureMap> map(new CTextureMap());
  ASSERT_EQ(map->AddControl(control_.Get()), kOk);
  EXPECT_EQ(control_->Update(0), kErrNotFound);
  EXPECT_EQ(control_->Apply(), kErrNotFound);
  // Inactive: nothing evaluated.
  CPointer<Control> idle(new Control());
  ASSERT_EQ(material_->AddControl(idle.Get()), kOk);
  idle->SetActive(false);
  EXPECT_EQ(idle->Update(0), kDone);
}

TEST_F(MaterialAttributeControlTest, SettersSnapReplaceAndInsertInOrder) {
  control_->SetFrequency(2.0f);
  ASSERT_EQ(SetAmbientKey(500, kWhite), kOk);  // 1000 ms
  ASSERT_EQ(control_->SetLightKey(10, 30.0f, kBlack, kBlack, kBlack, 0, 0, 0), kOk);  // 20 ms -> frame 1, 33 ms
  ASSERT_EQ(control_->GetLightKeys().Size(), 2u);
  EXPECT_EQ(control_->GetLightKeys()[0].Time, 33);
  EXPECT_EQ(control_->GetLightKeys()[1].Time, 1000);
  // 14 ms scales to 28 ms, the same frame: replaced.
  ASSERT_EQ(control_->SetLightKey(14, 30.0f, kWhite, kBlack, kBlack, 0, 0, 0, TT_STEP, 10.0f), kOk);
  ASSERT_EQ(control_->GetLightKeys().Size(), 2u);
  EXPECT_EQ(control_->GetLightKeys()[0].Ambient, kWhite);
  EXPECT_EQ(control_->GetLightKeys()[0].TransitionType, static_cast<u32>(TT_STEP));
  EXPECT_TRUE(control_->IsModified());

  control_->SetModified(false);
  EXPECT_EQ(control_->RemoveLightKey(2), kErrOutOfRange);
  EXPECT_EQ(control_->RemoveSelfKey(0), kErrOutOfRange);
  EXPECT_EQ(control_->RemoveTextureKey(0), kErrOutOfRange);
  EXPECT_FALSE(control_->IsModified());
  EXPECT_EQ(control_->RemoveLightKey(0), kOk);
  EXPECT_EQ(control_->GetLightKeys().Size(), 1u);
  EXPECT_TRUE(control_->IsModified());
}

TEST_F(MaterialAttributeControlTest, EndTimeIsNeverBelowZero) {
  EXPECT_EQ(control_->GetEndTime(), 0);
  ASSERT_EQ(SetAmbientKey(-500, kBlack), kOk);
  ASSERT_EQ(control_->SetSelfKey(-200, 1000.0f, 0, 0, 0), kOk);
  EXPECT_EQ(control_->GetEndTime(), 0);
  ASSERT_EQ(control_->SetTextureKey(700, 1000.0f, CMaterialDataControl::Weights{}), kOk);
  EXPECT_EQ(control_->GetEndTime(), 700);
}

TEST_F(MaterialAttributeControlTest, CopiesAndTheChannelBlock) {
  Bind();
  ASSERT_EQ(SetAmbientKey(0, kWhite), kOk);
  ASSERT_EQ(control_->Update(0), kOk);
  // The copy constructor copies the block; CreateInstance too.
  CPointer<CBase> out;
  ASSERT_EQ(control_->CreateInstance(out), kOk);
  auto* copy = DynamicCast<Control>(out.Get());
  ASSERT_NE(copy, nullptr);
  ExpectVec(copy->GetAmbient(), kWhite);
  EXPECT_EQ(copy->GetLightKeys().Size(), 1u);
  // CopyTo copies the keys, not the block.
  CPointer<Control> target(new Control());
  DisplacedList displaced;
  ASSERT_EQ(control_->CopyTo(target.Get(), displaced, 0), kOk);
  EXPECT_EQ(target->GetLightKeys().Size(), 1u);
  ExpectVec(target->GetAmbient(), kBlack);
  CPointer<CTextureMap> map(new CTextureMap());
  EXPECT_EQ(control_->CopyTo(map.Get(), displaced, 0), kErrNotFound);
  // The block is not stored.
  EXPECT_EQ(control_->GetSaveSize(), target->GetSaveSize());
  EXPECT_EQ(Control().GetSaveSize() + 84, control_->GetSaveSize());
  CMaterialDataControl::Weights weights{};
  ASSERT_EQ(control_->SetTextureKey(0, 1000.0f, weights), kOk);
  ASSERT_EQ(control_->SetSelfKey(0, 1000.0f, 0, 0, 0), kOk);
  EXPECT_EQ(Control().GetSaveSize() + 84 + 84 + 48, control_->GetSaveSize());
}

// --- older records -----------------------------------------------------------------------------

// The levels below the control's own: CBase, CDorun, CControl (with
// `frequency`), CDataControl and CMaterialDataControl.
ByteWriter ControlHead(f32 frequency) {
  ByteWriter w;
  test::BasePart(w, 0x10);
  test::DorunPart(w, 0);
  test::ControlFields fields;
  fields.frequency = frequency;
  test::ControlPart(w, fields).Pair(2, 0).Pair(2, 0);
  return w;
}

template <typename T>
ByteWriter& Column(ByteWriter& w, std::initializer_list<T> values) {
  w.U32(static_cast<u32>(values.size()));
  for (const T& v : values) w.Raw(&v, sizeof(T));
  return w;
}

// The column layout with two light keys, one self key and one texture key.
ByteWriter ColumnRecord(u32 minor, f32 frequency, bool shortColumn = false) {
  ByteWriter w = ControlHead(frequency);
  w.Pair(2, minor);
  Column<f32>(w, {0.9f, 1000.5f});
  Column<Vec>(w, {kBlack, kWhite});
  Column<Vec>(w, {kWhite, kWhite});
  if (shortColumn) {
    Column<Vec>(w, {kWhite});
  } else {
    Column<Vec>(w, {kWhite, kBlack});
  }
  Column<f32>(w, {1.0f, 2.0f});
  Column<f32>(w, {3.0f, 4.0f});
  Column<f32>(w, {5.0f, 6.0f});
  Column<f32>(w, {300.0f});
  Column<f32>(w, {0.5f});
  Column<f32>(w, {0.25f});
  Column<f32>(w, {0.125f});
  Column<f32>(w, {-40.0f});
  CMaterialDataControl::Weights weights{};
  weights[3] = 0.75f;
  Column<CMaterialDataControl::Weights>(w, {weights});
  if (minor >= 1) {
    Column<u32>(w, {TT_STEP, TT_EASE_IN});
    Column<u32>(w, {TT_EASE_OUT});
    Column<u32>(w, {TT_STEP});
  }
  return w;
}

ByteWriter& KeyHead(ByteWriter& w, i32 time, u32 transition = TT_LINEAR, u32 ownMinor = 0) {
  return w.Pair(1, 0).I32(time).Pair(1, 0).U32(transition).F32(50.0f).Pair(1, ownMinor);
}

// The key-record layout of 2.02 or 2.03: one key of each track.
ByteWriter KeyRecord(u32 minor, f32 frequency, u32 ownMinor = 0) {
  ByteWriter w = ControlHead(frequency);
  w.Pair(2, minor).U32(1);
  KeyHead(w, 1001, TT_LINEAR, ownMinor);
  for (int i = 0; i < 12; ++i) w.F32(0.5f);
  w.U32(1);
  KeyHead(w, 201);
  w.F32(1).F32(2).F32(3);
  w.U32(1);
  KeyHead(w, -301);
  for (int i = 0; i < 12; ++i) w.F32(0.25f);
  return w;
}

struct LoadedControl {
  CStream stream;
  CMemoryIo device;
  Result result = kErrStream;
  Control* control = nullptr;
};

void Load(LoadedControl& loaded, const ByteWriter& body, bool sweep = true) {
  const Bytes file = test::SceneImage().Record("CMaterialAttributeControl", body, true).Data();
  loaded.result = test::LoadScene(file, loaded.stream, loaded.device);
  if (sweep) test::ExpectEveryPrefixFails(file, kFirstRecordOffset);
  loaded.control = DynamicCast<Control>(loaded.stream.GetRootObject(0));
}

TEST_F(MaterialAttributeControlTest, ColumnRecordsLoad) {
  struct Row {
    const char* what;
    u32 minor;
    f32 frequency;
    std::vector<i32> lightTimes;
    std::vector<u32> lightTransitions;
    u32 selfTransition;
  };
  const Row rows[] = {
      {"2.00: no transition columns", 0, 1.0f, {0, 1000}, {TT_LINEAR, TT_LINEAR}, TT_LINEAR},
      {"2.01: transition columns, times halved", 1, 2.0f, {0, 500}, {TT_STEP, TT_EASE_IN}, TT_EASE_OUT},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    LoadedControl loaded;
    Load(loaded, ColumnRecord(row.minor, row.frequency));
    ASSERT_EQ(loaded.result, kOk);
    Control* c = loaded.control;
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->GetFrequency(), 1.0f);
    ASSERT_EQ(c->GetLightKeys().Size(), 2u);
    for (u32 i = 0; i < 2; ++i) {
      EXPECT_EQ(c->GetLightKeys()[i].Time, row.lightTimes[i]);
      EXPECT_EQ(c->GetLightKeys()[i].TransitionType, row.lightTransitions[i]);
      EXPECT_EQ(c->GetLightKeys()[i].TransitionStrength, 50.0f);
    }
    EXPECT_EQ(c->GetLightKeys()[1].Ambient, kWhite);
    EXPECT_EQ(c->GetLightKeys()[1].Specular, kBlack);
    EXPECT_EQ(c->GetLightKeys()[1].SelfIllum, 6.0f);
    ASSERT_EQ(c->GetSelfKeys().Size(), 1u);
    EXPECT_EQ(c->GetSelfKeys()[0].SoftThresh, 0.125f);
    EXPECT_EQ(c->GetSelfKeys()[0].TransitionType, row.selfTransition);
    ASSERT_EQ(c->GetTextureKeys().Size(), 1u);
    EXPECT_EQ(c->GetTextureKeys()[0].Time, row.frequency == 2.0f ? -20 : -40);
    EXPECT_EQ(c->GetTextureKeys()[0].Weights[3], 0.75f);
  }
}

TEST_F(MaterialAttributeControlTest, AShortValueColumnIsRefused) {
  LoadedControl loaded;
  Load(loaded, ColumnRecord(1, 1.0f, true), false);
  EXPECT_EQ(loaded.result, kErrNotFound);
}

TEST_F(MaterialAttributeControlTest, KeyRecordsOf202AreDividedByFrequency) {
  struct Row {
    u32 minor;
    f32 frequency;
    i32 light;
    i32 self;
    i32 texture;
  };
  for (const Row& row : {Row{2, 2.0f, 500, 100, -150}, Row{2, 1.0f, 1001, 201, -301}, Row{3, 2.0f, 1001, 201, -301}}) {
    SCOPED_TRACE(row.minor * 10 + static_cast<u32>(row.frequency));
    LoadedControl loaded;
    Load(loaded, KeyRecord(row.minor, row.frequency));
    ASSERT_EQ(loaded.result, kOk);
    Control* c = loaded.control;
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->GetLightKeys()[0].Time, row.light);
    EXPECT_EQ(c->GetSelfKeys()[0].Time, row.self);
    EXPECT_EQ(c->GetTextureKeys()[0].Time, row.texture);
    EXPECT_EQ(c->GetFrequency(), row.minor == 3 ? row.frequency : 1.0f);
    EXPECT_EQ(c->GetSelfKeys()[0].Opfall, 2.0f);
    EXPECT_EQ(c->GetTextureKeys()[0].Weights[11], 0.25f);
  }
  // A key of version 1.01 is newer than the library: the load stops.
  LoadedControl newer;
  Load(newer, KeyRecord(3, 1.0f, 1), false);
  EXPECT_EQ(newer.result, kErrNewerVersion);
}

}  // namespace
}  // namespace KT
