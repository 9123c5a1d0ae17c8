// The material UV controller: the channel-to-track map, key setting, the
// evaluation written into a standard material, copies and every record form.
#include "controllers/keyed/material_uv_control.h"

#include <gtest/gtest.h>

#include <vector>

#include "controllers/keyed/keyed_test_support.h"
#include "objectmodel/class_factory.h"
#include "render/materials/standard_material.h"
#include "render/materials/texture_maps.h"

namespace KT {
namespace {

using test::ByteWriter;
using Control = CMaterialUVControl;
using UvKey = CMaterialUVControl::CMtrlUvKey;

class MaterialUVControlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CClassFactory::Register("CMaterialUVControl", &CreateObject<Control>);
    CClassFactory::Register("CStandardMaterial", &CreateObject<CStandardMaterial>);
    test::UseTestIds(0);
    material_ = new CStandardMaterial();
    control_ = new Control();
  }
  void Bind() {
    ASSERT_EQ(material_->AddControl(control_.Get()), kOk);
    material_->SetModified(false);
    control_->SetModified(false);
  }

  CPointer<CStandardMaterial> material_;
  CPointer<Control> control_;
};

UvKey Key(i32 time, CVector2 translate, CVector2 scale = {1.0f, 1.0f}, f32 rotate = 0.0f,
          u32 transition = TT_LINEAR) {
  UvKey key;
  key.Time = time;
  key.Translate = translate;
  key.Scale = scale;
  key.Rotate = rotate;
  key.TransitionType = transition;
  return key;
}

TEST_F(MaterialUVControlTest, ChannelsSelectTheirTracks) {
  struct Row {
    u32 channel;
    Control::Track track;
  };
  const Row rows[] = {
      {0, Control::kDiffuse},  {1, Control::kDiffuse},  {2, Control::kSpecular},     {3, Control::kDiffuse},
      {4, Control::kGlow},     {5, Control::kDiffuse},  {6, Control::kOpacity},      {7, Control::kDiffuseBlend},
      {8, Control::kBump},     {9, Control::kDiffuse},  {10, Control::kDiffuse},     {11, Control::kDiffuse},
      {12, Control::kDiffuse}, {0xFFFFFFFFu, Control::kDiffuse},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.channel);
    CPointer<Control> control(new Control());
    ASSERT_EQ(control->SetUvKey(row.channel, Key(0, {1.0f, 2.0f}), 30.0f), kOk);
    for (u32 t = 0; t < Control::kTrackCount; ++t) {
      EXPECT_EQ(control->GetTrack(static_cast<Control::Track>(t)).Size(), t == row.track ? 1u : 0u);
    }
  }
}

TEST_F(MaterialUVControlTest, SetUvKeySnapsReplacesAndInserts) {
  ASSERT_EQ(control_->SetUvKey(1, Key(1000, {1.0f, 0.0f}), 30.0f), kOk);
  ASSERT_EQ(control_->SetUvKey(1, Key(20, {2.0f, 0.0f}), 30.0f), kOk);  // frame 1: 33 ms
  ASSERT_EQ(control_->SetUvKey(1, Key(500, {3.0f, 0.0f}), 30.0f), kOk);
  const Control::UvTrack& keys = control_->GetTrack(Control::kDiffuse);
  ASSERT_EQ(keys.Size(), 3u);
  EXPECT_EQ(keys[0].Time, 33);
  EXPECT_EQ(keys[1].Time, 500);
  EXPECT_EQ(keys[2].Time, 1000);
  EXPECT_TRUE(control_->IsModified());
  // 40 ms snaps to the frame at 33 ms: that key is replaced whole.
  control_->SetModified(false);
  ASSERT_EQ(control_->SetUvKey(3, Key(40, {9.0f, 8.0f}, {7.0f, 6.0f}, 0.5f, TT_EASE_IN), 30.0f), kOk);
  ASSERT_EQ(keys.Size(), 3u);
  EXPECT_EQ(keys[0].Time, 33);
  EXPECT_EQ(keys[0].Translate.x, 9.0f);
  EXPECT_EQ(keys[0].Scale.y, 6.0f);
  EXPECT_EQ(keys[0].Rotate, 0.5f);
  EXPECT_EQ(keys[0].TransitionType, static_cast<u32>(TT_EASE_IN));
  EXPECT_TRUE(control_->IsModified());
}

TEST_F(MaterialUVControlTest, TracksBlendIntoTheMaterial) {
  Bind();
  ASSERT_EQ(control_->SetUvKey(2, Key(0, {0.0f, 0.0f}, {1.0f, 1.0f}, 0.0f), 1000.0f), kOk);
  ASSERT_EQ(control_->SetUvKey(2, Key(1000, {1.0f, 2.0f}, {3.0f, 5.0f}, 4.0f), 1000.0f), kOk);
  ASSERT_EQ(control_->SetUvKey(8, Key(0, {0.0f, 0.0f}), 1000.0f), kOk);
  ASSERT_EQ(control_->SetUvKey(8, Key(1000, {1.0f, 1.0f}, {1.0f, 1.0f}, 0.0f, TT_EASE_IN), 1000.0f), kOk);
  struct Row {
    i32 time;
    f32 specular;  // fraction of the way on the linear track
    f32 bump;      // translation on the eased track (exponent 2)
  };
  for (const Row& row : {Row{-100, 0.0f, 0.0f}, Row{0, 0.0f, 0.0f}, Row{500, 0.5f, 0.25f}, Row{250, 0.25f, 0.0625f},
                         Row{1000, 1.0f, 1.0f}, Row{3000, 1.0f, 1.0f}}) {
    SCOPED_TRACE(row.time);
    material_->Validate();
    ASSERT_EQ(control_->Update(row.time), kOk);
    EXPECT_FLOAT_EQ(material_->GetTexUvTranslate(CStandardMaterial::kSpecular).x, row.specular);
    EXPECT_FLOAT_EQ(material_->GetTexUvTranslate(CStandardMaterial::kSpecular).y, 2.0f * row.specular);
    EXPECT_FLOAT_EQ(material_->GetTexUvScale(CStandardMaterial::kSpecular).y, 1.0f + 4.0f * row.specular);
    EXPECT_FLOAT_EQ(material_->GetTexUvRotate(CStandardMaterial::kSpecular), 4.0f * row.specular);
    EXPECT_FLOAT_EQ(material_->GetTexUvTranslate(CStandardMaterial::kBump).x, row.bump);
    EXPECT_FALSE(material_->IsValid());
    EXPECT_FALSE(material_->IsModified());
  }
}

TEST_F(MaterialUVControlTest, AStepOnTheEarlierKeyHoldsItsValues) {
  Bind();
  // The earlier key steps; the later key's transition does not matter.
  ASSERT_EQ(control_->SetUvKey(6, Key(0, {1.0f, 1.0f}, {1.0f, 1.0f}, 1.0f, TT_STEP), 1000.0f), kOk);
  ASSERT_EQ(control_->SetUvKey(6, Key(1000, {2.0f, 2.0f}, {2.0f, 2.0f}, 2.0f, TT_LINEAR), 1000.0f), kOk);
  for (const i32 time : {0, 1, 500, 999}) {
    SCOPED_TRACE(time);
    ASSERT_EQ(control_->Update(time), kOk);
    EXPECT_EQ(material_->GetTexUvTranslate(CStandardMaterial::kOpacity).x, 1.0f);
    EXPECT_EQ(material_->GetTexUvRotate(CStandardMaterial::kOpacity), 1.0f);
  }
  ASSERT_EQ(control_->Update(1000), kOk);
  EXPECT_EQ(material_->GetTexUvTranslate(CStandardMaterial::kOpacity).x, 2.0f);
}

TEST_F(MaterialUVControlTest, TheTimeIsMappedByRepeatAndFrequency) {
  Bind();
  ASSERT_EQ(control_->SetUvKey(4, Key(0, {0.0f, 0.0f}), 1000.0f), kOk);
  ASSERT_EQ(control_->SetUvKey(4, Key(1000, {1.0f, 0.0f}), 1000.0f), kOk);
  control_->SetRepeat(CControl::RT_WRAP);
  control_->SetFrequency(2.0f);
  // 1250 x 2 = 2500, wrapped over 1000: 500.
  ASSERT_EQ(control_->Update(1250), kOk);
  EXPECT_FLOAT_EQ(material_->GetTexUvTranslate(CStandardMaterial::kGlow).x, 0.5f);
}

TEST_F(MaterialUVControlTest, EmptyTracksWriteTheMaterialsValuesBack) {
  Bind();
  for (const bool modified : {false, true}) {
    SCOPED_TRACE(modified);
    material_->SetTexUvTranslate(CStandardMaterial::kDiffuseBlend, 0.25f, 0.5f);
    material_->SetTexUvScale(CStandardMaterial::kDiffuse, 3.0f, 4.0f);
    material_->SetTexUvRotate(CStandardMaterial::kBump, 0.75f);
    material_->SetModified(modified);
    material_->Validate();
    ASSERT_EQ(control_->Update(100), kOk);
    EXPECT_EQ(material_->GetTexUvTranslate(CStandardMaterial::kDiffuseBlend).y, 0.5f);
    EXPECT_EQ(material_->GetTexUvScale(CStandardMaterial::kDiffuse).x, 3.0f);
    EXPECT_EQ(material_->GetTexUvRotate(CStandardMaterial::kBump), 0.75f);
    EXPECT_EQ(material_->IsModified(), modified);
    EXPECT_FALSE(material_->IsValid());
  }
  EXPECT_EQ(control_->GetEndTime(), 0);
  EXPECT_EQ(control_->Apply(), kDone);
}

TEST_F(MaterialUVControlTest, RefusesWhatItCannotAnimate) {
  EXPECT_EQ(control_->Update(0), kErrInvalidArg);
  // Bound to a texture map: kErrNotFound, nothing written.
  CPointer<CTextureMap> map(new CTextureMap());
  ASSERT_EQ(map->AddControl(control_.Get()), kOk);
  ASSERT_EQ(control_->SetUvKey(1, Key(0, {5.0f, 5.0f}), 30.0f), kOk);
  map->SetModified(false);
  EXPECT_EQ(control_->Update(0), kErrNotFound);
  EXPECT_FALSE(map->IsModified());
  // Inactive: nothing evaluated.
  CPointer<Control> idle(new Control());
  ASSERT_EQ(material_->AddControl(idle.Get()), kOk);
  ASSERT_EQ(idle->SetUvKey(1, Key(0, {5.0f, 5.0f}), 30.0f), kOk);
  idle->SetActive(false);
  EXPECT_EQ(idle->Update(0), kDone);
  EXPECT_EQ(material_->GetTexUvTranslate(CStandardMaterial::kDiffuse).x, 0.0f);
}

TEST_F(MaterialUVControlTest, EndTimeIsTheLatestKeyAndNeverBelowZero) {
  ASSERT_EQ(control_->SetUvKey(1, Key(-500, {0.0f, 0.0f}), 1000.0f), kOk);
  EXPECT_EQ(control_->GetEndTime(), 0);
  ASSERT_EQ(control_->SetUvKey(7, Key(700, {0.0f, 0.0f}), 1000.0f), kOk);
  ASSERT_EQ(control_->SetUvKey(2, Key(300, {0.0f, 0.0f}), 1000.0f), kOk);
  EXPECT_EQ(control_->GetEndTime(), 700);
}

TEST_F(MaterialUVControlTest, CopiesTakeKeysAndCaches) {
  Bind();
  ASSERT_EQ(control_->SetUvKey(1, Key(0, {0.0f, 0.0f}), 1000.0f), kOk);
  ASSERT_EQ(control_->SetUvKey(1, Key(100, {1.0f, 0.0f}), 1000.0f), kOk);
  ASSERT_EQ(control_->SetUvKey(7, Key(100, {1.0f, 0.0f}), 1000.0f), kOk);
  ASSERT_EQ(control_->Update(150), kOk);
  const u32 cache = control_->GetTrack(Control::kDiffuse).GetLastIndex();
  CPointer<CBase> out;
  ASSERT_EQ(control_->CreateInstance(out), kOk);
  auto* copy = DynamicCast<Control>(out.Get());
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->GetTrack(Control::kDiffuse).Size(), 2u);
  EXPECT_EQ(copy->GetTrack(Control::kDiffuse).GetLastIndex(), cache);
  CPointer<Control> target(new Control());
  ASSERT_EQ(target->SetUvKey(2, Key(0, {0.0f, 0.0f}), 30.0f), kOk);
  DisplacedList displaced;
  ASSERT_EQ(control_->CopyTo(target.Get(), displaced, 0), kOk);
  EXPECT_EQ(target->GetTrack(Control::kDiffuse).Size(), 2u);
  EXPECT_EQ(target->GetTrack(Control::kDiffuse).GetLastIndex(), cache);
  EXPECT_EQ(target->GetTrack(Control::kDiffuseBlend).Size(), 1u);
  EXPECT_EQ(target->GetTrack(Control::kSpecular).Size(), 0u);
  EXPECT_EQ(control_->CopyTo(material_.Get(), displaced, 0), kErrNotFound);
  EXPECT_EQ(control_->CopyTo(nullptr, displaced, 0), kErrNotFound);
}

TEST_F(MaterialUVControlTest, SaveSizeCountsEveryKey) {
  const u32 empty = control_->GetSaveSize();
  // The data controller's part (root, scene-content, controller, pair)
  // plus the pair and six empty counts.
  EXPECT_EQ(empty, control_->CDataControl::GetSaveSize() + 8 + 6 * 4);
  ASSERT_EQ(control_->SetUvKey(1, Key(0, {0.0f, 0.0f}), 30.0f), kOk);
  ASSERT_EQ(control_->SetUvKey(7, Key(0, {0.0f, 0.0f}), 30.0f), kOk);
  EXPECT_EQ(control_->GetSaveSize(), empty + 2 * 56);
}

TEST_F(MaterialUVControlTest, BoundControlRoundTrips) {
  Bind();
  ASSERT_EQ(control_->SetUvKey(1, Key(0, {0.125f, 0.25f}, {2.0f, 3.0f}, 0.5f, TT_STEP), 30.0f), kOk);
  ASSERT_EQ(control_->SetUvKey(8, Key(1000, {1.0f, 2.0f}, {3.0f, 4.0f}, 5.0f, TT_EASE_OUT), 30.0f), kOk);
  ASSERT_EQ(control_->SetUvKey(7, Key(-33, {-1.0f, 0.0f}), 30.0f), kOk);
  test::ExpectSceneRoundTrip(*material_);
}

// --- older records -------------------------------------------------------------------------------

struct Uv {
  f32 tu, tv, su, sv;
};

ByteWriter& UvList(ByteWriter& w, std::initializer_list<Uv> uvs) {
  w.U32(static_cast<u32>(uvs.size()));
  for (const Uv& uv : uvs) w.F32(uv.tu).F32(uv.tv).F32(uv.su).F32(uv.sv);
  return w;
}

// A time list in the form of version 2.0`minor`: f32 below 2.04, else i32.
ByteWriter& Times(ByteWriter& w, u32 minor, std::initializer_list<f32> times) {
  w.U32(static_cast<u32>(times.size()));
  for (const f32 t : times) {
    if (minor >= 4) {
      w.I32(static_cast<i32>(t));
    } else {
      w.F32(t);
    }
  }
  return w;
}

// The list layout of version 2.0`minor`: two Diffuse keys, one Glow key,
// one DiffuseBlend key (from 2.02), the dropped pair (below 2.01) and the
// type lists (from 2.03). `shortUv` leaves the Diffuse UV list one short;
// `shortTypes` the Diffuse type list.
ByteWriter ListRecord(u32 minor, bool shortUv = false, bool shortTypes = false) {
  ByteWriter w = test::DataControlHead();
  w.Pair(2, minor);
  Times(w, minor, {0.9f, 1010.7f});
  if (shortUv) {
    UvList(w, {{0.5f, 0.25f, 2.0f, 4.0f}});
  } else {
    UvList(w, {{0.5f, 0.25f, 2.0f, 4.0f}, {1.0f, 1.0f, 1.0f, 1.0f}});
  }
  for (int empty = 0; empty < 3; ++empty) UvList(Times(w, minor, {}), {});
  Times(w, minor, {-20.0f});
  UvList(w, {{1.0f, 0.0f, 1.0f, 1.0f}});
  if (minor < 1) {
    test::FloatArray(w, {5.0f, 6.0f});
    UvList(w, {{9.0f, 9.0f, 9.0f, 9.0f}});
  }
  if (minor >= 2) {
    Times(w, minor, {100.0f});
    UvList(w, {{0.1f, 0.2f, 1.0f, 1.0f}});
  }
  if (minor >= 3) {
    if (shortTypes) {
      test::U32Array(w, {TT_LINEAR});
    } else {
      test::U32Array(w, {TT_LINEAR, TT_EASE_IN});
    }
    for (int empty = 0; empty < 3; ++empty) test::U32Array(w, {});
    test::U32Array(w, {TT_EASE_OUT});
    test::U32Array(w, {TT_LINEAR});
  }
  return w;
}

TEST_F(MaterialUVControlTest, ListRecordsLoad) {
  struct Row {
    const char* what;
    u32 minor;
    CVector2 firstTranslate;
    u32 firstType, secondType, glowType;
    u32 diffuseBlendKeys;
  };
  const Row rows[] = {
      {"2.00: translations scaled and negated, steps, no DiffuseBlend", 0, {-1.0f, -1.0f}, TT_STEP, TT_STEP, TT_STEP, 0},
      {"2.01: translations as stored", 1, {0.5f, 0.25f}, TT_STEP, TT_STEP, TT_STEP, 0},
      {"2.02: a DiffuseBlend group", 2, {0.5f, 0.25f}, TT_STEP, TT_STEP, TT_STEP, 1},
      {"2.03: transition types", 3, {0.5f, 0.25f}, TT_LINEAR, TT_EASE_IN, TT_EASE_OUT, 1},
      {"2.04: whole-millisecond times", 4, {0.5f, 0.25f}, TT_LINEAR, TT_EASE_IN, TT_EASE_OUT, 1},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    CStream stream;
    CMemoryIo device;
    auto* c = test::LoadRoot<Control>("CMaterialUVControl", ListRecord(row.minor), stream, device);
    ASSERT_NE(c, nullptr);
    const Control::UvTrack& diffuse = c->GetTrack(Control::kDiffuse);
    ASSERT_EQ(diffuse.Size(), 2u);
    // 0.9 truncates to 0; 1010.7 (or 1010) to 1010, snapped at 60 fps to
    // frame 61: 1016 ms.
    EXPECT_EQ(diffuse[0].Time, 0);
    EXPECT_EQ(diffuse[1].Time, 1016);
    EXPECT_EQ(diffuse[0].Translate.x, row.firstTranslate.x);
    EXPECT_EQ(diffuse[0].Translate.y, row.firstTranslate.y);
    EXPECT_EQ(diffuse[0].Scale.x, 2.0f);
    EXPECT_EQ(diffuse[0].Scale.y, 4.0f);
    EXPECT_EQ(diffuse[0].Rotate, 0.0f);
    EXPECT_EQ(diffuse[0].TransitionStrength, 50.0f);
    EXPECT_EQ(diffuse[0].TransitionType, row.firstType);
    EXPECT_EQ(diffuse[1].TransitionType, row.secondType);
    ASSERT_EQ(c->GetTrack(Control::kGlow).Size(), 1u);
    EXPECT_EQ(c->GetTrack(Control::kGlow)[0].Time, -16);  // -20 ms snaps to frame -1
    EXPECT_EQ(c->GetTrack(Control::kGlow)[0].TransitionType, row.glowType);
    EXPECT_EQ(c->GetTrack(Control::kGlow)[0].Translate.x, row.minor == 0 ? -1.0f : 1.0f);
    EXPECT_EQ(c->GetTrack(Control::kDiffuseBlend).Size(), row.diffuseBlendKeys);
    EXPECT_EQ(c->GetTrack(Control::kSpecular).Size(), 0u);
    // Loading is not an edit.
    EXPECT_FALSE(c->IsModified());
  }
}

TEST_F(MaterialUVControlTest, ShortListsAreRefused) {
  for (const bool shortUv : {true, false}) {
    SCOPED_TRACE(shortUv);
    CStream stream;
    CMemoryIo device;
    EXPECT_EQ(test::LoadRecord("CMaterialUVControl", ListRecord(3, shortUv, !shortUv), stream, device),
              kErrNotFound);
  }
}

// A key record of key version 1.`keyMinor` (Rotate from 1.01 on).
ByteWriter& KeyRecord(ByteWriter& w, i32 time, u32 keyMinor, f32 rotate) {
  w.Pair(1, 0).I32(time).Pair(1, 0).U32(TT_EASE_OUT).F32(20.0f).Pair(1, keyMinor);
  w.F32(1.0f).F32(2.0f).F32(3.0f).F32(4.0f);
  if (keyMinor >= 1) w.F32(rotate);
  return w;
}

TEST_F(MaterialUVControlTest, KeyRecordsLoadInEveryKeyVersion) {
  ByteWriter w = test::DataControlHead();
  w.Pair(2, 5).U32(2);
  KeyRecord(w, 10, 0, 0.0f);
  KeyRecord(w, 20, 1, 0.75f);
  for (int empty = 0; empty < 5; ++empty) w.U32(0);
  CStream stream;
  CMemoryIo device;
  auto* c = test::LoadRoot<Control>("CMaterialUVControl", w, stream, device);
  ASSERT_NE(c, nullptr);
  const Control::UvTrack& diffuse = c->GetTrack(Control::kDiffuse);
  ASSERT_EQ(diffuse.Size(), 2u);
  EXPECT_EQ(diffuse[0].Time, 10);
  EXPECT_EQ(diffuse[0].Rotate, 0.0f);
  EXPECT_EQ(diffuse[0].Scale.y, 4.0f);
  EXPECT_EQ(diffuse[0].TransitionStrength, 20.0f);
  EXPECT_EQ(diffuse[1].Rotate, 0.75f);

  // A key newer than 1.01, or a class record newer than 2.05, is refused.
  ByteWriter newerKey = test::DataControlHead();
  newerKey.Pair(2, 5).U32(1);
  KeyRecord(newerKey, 0, 2, 0.0f);
  for (int empty = 0; empty < 5; ++empty) newerKey.U32(0);
  CStream s1;
  CMemoryIo d1;
  EXPECT_EQ(test::LoadRecord("CMaterialUVControl", newerKey, s1, d1), kErrNewerVersion);
  ByteWriter newerClass = test::DataControlHead();
  newerClass.Pair(2, 6);
  for (int empty = 0; empty < 6; ++empty) newerClass.U32(0);
  CStream s2;
  CMemoryIo d2;
  EXPECT_EQ(test::LoadRecord("CMaterialUVControl", newerClass, s2, d2), kErrNewerVersion);
}

}  // namespace
}  // namespace KT
