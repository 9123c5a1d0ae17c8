// The scene settings: defaults, the record and its older forms, the eight
// slots and the list in every walk, copies, and refused input.
#include "environment/scene.h"

#include <gtest/gtest.h>

#include <bit>
#include <string>
#include <vector>

#include "slot_owner_test_support.h"

namespace KT {
namespace {

using test::ByteWriter;
using test::Bytes;

class SceneTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::RegisterSlotOwnerClasses();
    test::UseTestIds(0);
  }
};

CPointer<test::CTestDorun> MakeTarget(i32 value) {
  CPointer<test::CTestDorun> target(new test::CTestDorun());
  target->value = value;
  return target;
}

// What a byte image of the scene part holds (every field differs from its
// default, so that a field read from the wrong place shows).
struct ImageFields {
  std::vector<u64> slots{11, 12, 13, 14, 15, 16, 17, 18};  // ids of SubObject1..8
  std::vector<f32> toonLevels{0.2f, 0.6f};
  std::vector<u64> list{21, 0, 22};
};

// The scene part of a record at class version 2.`minor`.
ByteWriter& ScenePart(ByteWriter& w, u32 minor, const ImageFields& f) {
  w.Pair(2, minor);
  const u32 leading = minor >= 1 ? 7 : 6;
  for (u32 i = 0; i < leading; ++i) {
    if (minor >= 3) {
      w.U64(f.slots[i]);
    } else {
      w.U32(static_cast<u32>(f.slots[i]));
    }
  }
  w.F32(0.1f).F32(0.2f).F32(0.3f);             // AmbientColor
  w.F32(0.4f).F32(0.5f).F32(0.6f).F32(0.7f);   // BackgroundColor
  w.U8(1);                                     // FogEnable
  w.F32(0.8f).F32(0.9f).F32(1.0f);             // FogColor
  w.F32(1.0f).F32(2.0f).F32(3.0f);             // FogDistance
  w.F32(0.25f);                                // Glowness
  if (minor < 2) return w;
  w.U8(1).F32(0.6f).F32(1.5f).U8(0).F32(2.0f).F32(2.5f).F32(3.0f);
  w.F32(4.0f).U32(GT_SnowCross);  // HDRGlareScale, then HDRGlareType
  w.U64(f.slots[7]);              // SubObject8, always 8 bytes
  if (minor < 4) return w;
  w.U8(1).F32(4.0f).F32(2.5f).F32(0.1f);      // SSAO
  w.U8(1).U32(CScene::EC_Texture).F32(2.0f);  // ToonEnable, ToonEdgeColor, ToonEdgeWidth
  w.U32(static_cast<u32>(f.toonLevels.size()));
  for (f32 level : f.toonLevels) w.F32(level);
  w.F32(0.1f).F32(0.1f).F32(0.1f).F32(0.9f).F32(0.9f).F32(0.9f).F32(0.5f).F32(0.5f).F32(0.5f);
  w.F32(0.7f).F32(0.3f).I32(4);  // intensity, threshold, sensitivity
  w.U8(1).F32(5.0f);             // NprEnable, PaintWeight
  if (minor < 5) return w;
  w.U32(static_cast<u32>(f.list.size()));
  for (u64 id : f.list) w.U64(id);
  if (minor < 6) return w;
  return w.U8(1);
}

ByteWriter SceneBody(u64 id, u32 minor, const ImageFields& f) {
  ByteWriter w = test::DorunHead(id);
  return ScenePart(w, minor, f);
}

i32 ValueOf(CBase* object) {
  auto* target = DynamicCast<test::CTestDorun>(object);
  return target ? target->value : -1;
}

TEST_F(SceneTest, NewSceneHoldsTheDefaults) {
  CScene scene;
  EXPECT_EQ(scene.AmbientColor.r + scene.AmbientColor.g + scene.AmbientColor.b, 0.0f);
  EXPECT_EQ(scene.BackgroundColor, CColor(0.0f, 0.0f, 0.0f, 0.0f));
  EXPECT_FALSE(scene.FogEnable);
  EXPECT_EQ(scene.FogDistance, CVector3<float>(0.0f, 6000.0f, 6000.0f));
  EXPECT_EQ(scene.Glowness, 0.5f);
  EXPECT_EQ(scene.Hdr, CHdrSettings());
  EXPECT_FALSE(scene.SSAOEnable);
  EXPECT_EQ(scene.SSAOQuality, 3.0f);
  EXPECT_EQ(scene.SSAORadius, 1.5f);
  EXPECT_EQ(scene.BlurRadius, 7.0f);
  EXPECT_EQ(std::bit_cast<u32>(scene.SSAOContrast), 0x3D75C28Fu);
  EXPECT_TRUE(scene.CombineSSAOEnable);
  EXPECT_FALSE(scene.ToonEnable || scene.ToonInterSectionLine || scene.NprEnable);
  EXPECT_EQ(scene.ToonEdgeColor, u32{CScene::EC_Silhouette});
  EXPECT_EQ(scene.ToonEdgeWidth, 1.0f);
  EXPECT_EQ(scene.ToonEdgeIntensity, 0.8f);
  EXPECT_EQ(scene.ToonNormalThreshold, 0.5f);
  EXPECT_EQ(scene.ToonNormalSensitivity, 1);
  EXPECT_EQ(scene.ToonLevel, (std::vector<f32>{0.0f, 0.4f, 0.8f, 1.0f}));
  EXPECT_EQ(scene.ToonSilhouetteColor.r + scene.ToonSilhouetteColor.g + scene.ToonSilhouetteColor.b, 0.0f);
  EXPECT_EQ(scene.ToonLightedColor.g, 1.0f);
  EXPECT_EQ(scene.ToonShadedColor.b, 0.25f);
  EXPECT_EQ(scene.PaintWeight, 3.0f);
  for (u32 slot = 1; slot <= CScene::kSlotCount; ++slot) EXPECT_EQ(scene.GetSubObject(slot), nullptr);
  EXPECT_TRUE(scene.GetSubObjectList().empty());
  EXPECT_FALSE(scene.HasSubObjects());
  EXPECT_EQ(scene.GetVersion(), 206u);
  EXPECT_STREQ(scene.GetClassRecord().name, "CScene");
}

TEST_F(SceneTest, RecordFollowsTheStoredOrder) {
  CPointer<CScene> scene(new CScene());
  CPointer<test::CTestDorun> first = MakeTarget(1);
  CPointer<test::CTestDorun> eighth = MakeTarget(8);
  CPointer<test::CTestDorun> listed = MakeTarget(9);
  ASSERT_EQ(scene->SetSubObject1(first.Get()), kOk);
  ASSERT_EQ(scene->SetSubObject8(eighth.Get()), kOk);
  ASSERT_EQ(scene->AppendToSubObjectList(listed.Get()), kOk);
  scene->AmbientColor = CColor(0.1f, 0.2f, 0.3f, 0.0f);
  scene->Hdr.HDRGlareType = GT_Camera;
  scene->Hdr.HDRGlareScale = 2.0f;
  scene->ToonLevel = {0.5f};
  scene->ToonInterSectionLine = true;
  scene->BlurRadius = 3.0f;  // not stored

  ByteWriter expected = test::DorunHead(scene->GetUniqueId());
  expected.Pair(2, 6).U64(first->GetUniqueId());
  for (int i = 0; i < 6; ++i) expected.U64(0);
  expected.F32(0.1f).F32(0.2f).F32(0.3f).F32(0.0f).F32(0.0f).F32(0.0f).F32(0.0f).U8(0);
  expected.F32(0.0f).F32(0.0f).F32(0.0f).F32(0.0f).F32(6000.0f).F32(6000.0f).F32(0.5f);
  expected.U8(0).F32(0.5f).F32(1.0f).U8(1).F32(1.0f).F32(1.0f).F32(1.0f).F32(2.0f).U32(GT_Camera);
  expected.U64(eighth->GetUniqueId());
  expected.U8(0).F32(3.0f).F32(1.5f).F32(0.06f).U8(0).U32(0).F32(1.0f).U32(1).F32(0.5f);
  expected.F32(0.0f).F32(0.0f).F32(0.0f).F32(1.0f).F32(1.0f).F32(1.0f).F32(0.25f).F32(0.25f).F32(0.25f);
  expected.F32(0.8f).F32(0.5f).I32(1).U8(0).F32(3.0f);
  expected.U32(1).U64(listed->GetUniqueId()).U8(1);

  const Bytes bytes = test::SaveObjectRecord(*scene);
  ByteWriter record;
  record.Str("CScene").U32(static_cast<u32>(expected.Size())).Bytes(expected.Data());
  EXPECT_EQ(bytes, record.Data());
  EXPECT_EQ(bytes.size(), scene->GetSaveSize());
  // 235 fixed bytes, then 4 + 4 per level and 4 + 8 per entry.
  EXPECT_EQ(test::OwnPartSize(*scene), 235u + 8 + 12);
}

TEST_F(SceneTest, OlderRecordsLoadWithDefaultsForWhatTheyLack) {
  struct Case {
    u32 minor;
    u32 slotsRead;  // how many of SubObject1..8 the record holds
    bool hdr;
    bool post;
    bool list;
    bool interSection;
  };
  const Case cases[] = {
      {0, 6, false, false, false, false}, {1, 7, false, false, false, false}, {2, 8, true, false, false, false},
      {3, 8, true, false, false, false},  {4, 8, true, true, false, false},   {5, 8, true, true, true, false},
      {6, 8, true, true, true, true},
  };
  const ImageFields fields;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.minor);
    std::vector<std::pair<std::string, ByteWriter>> records{{"CScene", SceneBody(1, c.minor, fields)}};
    for (u64 id : {11, 12, 13, 14, 15, 16, 17, 18, 21, 22}) {
      records.emplace_back("CTestDorun", test::TestDorunBody(id, 0, 0, 0, static_cast<i32>(id)));
    }
    test::LoadedFile loaded;
    test::LoadRecords(loaded, records);
    ASSERT_EQ(loaded.result, kOk);
    auto* scene = DynamicCast<CScene>(loaded.Root());
    ASSERT_NE(scene, nullptr);
    for (u32 slot = 1; slot <= 8; ++slot) {
      EXPECT_EQ(ValueOf(scene->GetSubObject(slot)), slot <= c.slotsRead ? static_cast<i32>(10 + slot) : -1) << slot;
    }
    EXPECT_EQ(scene->AmbientColor.g, 0.2f);
    EXPECT_EQ(scene->BackgroundColor.a, 0.7f);
    EXPECT_TRUE(scene->FogEnable);
    EXPECT_EQ(scene->FogDistance, CVector3<float>(1.0f, 2.0f, 3.0f));
    EXPECT_EQ(scene->Glowness, 0.25f);
    EXPECT_EQ(scene->Hdr.HDREnable, c.hdr);
    EXPECT_EQ(scene->Hdr.HDRToneEnable, !c.hdr);
    EXPECT_EQ(scene->Hdr.HDRGlareType, c.hdr ? u32{GT_SnowCross} : u32{GT_Disable});
    EXPECT_EQ(scene->Hdr.HDRGlareScale, c.hdr ? 4.0f : 1.0f);
    EXPECT_EQ(scene->Hdr.HDRAdaptSpeed, c.hdr ? 3.0f : 1.0f);
    EXPECT_EQ(scene->SSAOEnable, c.post);
    EXPECT_EQ(scene->SSAOContrast, c.post ? 0.1f : 0.06f);
    EXPECT_EQ(scene->ToonEdgeColor, c.post ? u32{CScene::EC_Texture} : u32{CScene::EC_Silhouette});
    EXPECT_EQ(scene->ToonLevel.size(), c.post ? 2u : 4u);
    EXPECT_EQ(scene->ToonShadedColor.r, c.post ? 0.5f : 0.25f);
    EXPECT_EQ(scene->ToonEdgeIntensity, c.post ? 0.7f : 0.8f);
    EXPECT_EQ(scene->ToonNormalSensitivity, c.post ? 4 : 1);
    EXPECT_EQ(scene->PaintWeight, c.post ? 5.0f : 3.0f);
    ASSERT_EQ(scene->GetSubObjectList().size(), c.list ? 3u : 0u);
    if (c.list) {
      EXPECT_EQ(ValueOf(scene->GetSubObjectList()[0].Get()), 21);
      EXPECT_EQ(scene->GetSubObjectList()[1].Get(), nullptr);
      EXPECT_EQ(ValueOf(scene->GetSubObjectList()[2].Get()), 22);
    }
    EXPECT_EQ(scene->ToonInterSectionLine, c.interSection);
    // Runtime settings are never read.
    EXPECT_EQ(scene->BlurRadius, 7.0f);
    EXPECT_TRUE(scene->CombineSSAOEnable);
  }
}

TEST_F(SceneTest, EmptyToonLevelListReloadsEmpty) {
  CPointer<CScene> scene(new CScene());
  scene->ToonLevel.clear();
  test::LoadedFile loaded;
  auto* copy = DynamicCast<CScene>(test::SaveAndLoad(loaded, *scene));
  ASSERT_NE(copy, nullptr);
  EXPECT_TRUE(copy->ToonLevel.empty());
  EXPECT_EQ(copy->GetSaveSize(), scene->GetSaveSize());
}

TEST_F(SceneTest, FilledSceneRoundTrips) {
  CPointer<CScene> scene(new CScene());
  CPointer<test::CTestDorun> shared = MakeTarget(3);
  ASSERT_EQ(scene->SetSubObject2(shared.Get()), kOk);
  ASSERT_EQ(scene->SetSubObject5(shared.Get()), kOk);
  ASSERT_EQ(scene->SetSubObject7(MakeTarget(7).Get()), kOk);
  ASSERT_EQ(scene->AppendToSubObjectList(MakeTarget(10).Get()), kOk);
  ASSERT_EQ(scene->AppendToSubObjectList(shared.Get()), kOk);
  scene->Hdr.HDRExposure = 1.25f;
  scene->ToonLevel = {0.1f, 0.2f, 0.3f};
  scene->NprEnable = true;
  test::ExpectSceneRoundTrip(*scene);
}

TEST_F(SceneTest, RuntimeSettingsFollowCopiesButNotTheFile) {
  CPointer<CScene> scene(new CScene());
  scene->BlurRadius = 2.0f;
  scene->CombineSSAOEnable = false;
  scene->PaintWeight = 9.0f;

  CPointer<CBase> instance;
  ASSERT_EQ(scene->CreateInstance(instance), kOk);
  auto* made = DynamicCast<CScene>(instance.Get());
  ASSERT_NE(made, nullptr);
  EXPECT_EQ(made->BlurRadius, 2.0f);
  EXPECT_FALSE(made->CombineSSAOEnable);

  CloneMap map;
  CPointer<CBase> clone;
  ASSERT_EQ(scene->Clone(clone, map, 0), kOk);
  EXPECT_EQ(static_cast<CScene*>(clone.Get())->BlurRadius, 2.0f);
  EXPECT_FALSE(static_cast<CScene*>(clone.Get())->CombineSSAOEnable);

  test::LoadedFile loaded;
  auto* reloaded = DynamicCast<CScene>(test::SaveAndLoad(loaded, *scene));
  ASSERT_NE(reloaded, nullptr);
  EXPECT_EQ(reloaded->BlurRadius, 7.0f);
  EXPECT_TRUE(reloaded->CombineSSAOEnable);
  EXPECT_EQ(reloaded->PaintWeight, 9.0f);

  CScene target;
  DisplacedList displaced;
  ASSERT_EQ(scene->CopyTo(&target, displaced, 0), kOk);
  EXPECT_EQ(target.BlurRadius, 7.0f);
  EXPECT_TRUE(target.CombineSSAOEnable);
  EXPECT_EQ(target.PaintWeight, 9.0f);
}

TEST_F(SceneTest, CopyConstructorSharesSlotsAndDropsTheList) {
  CPointer<test::CTestDorun> target = MakeTarget(1);
  CPointer<CScene> scene(new CScene());
  ASSERT_EQ(scene->SetSubObject3(target.Get()), kOk);
  ASSERT_EQ(scene->AppendToSubObjectList(target.Get()), kOk);
  scene->ToonLevel = {0.3f};
  CScene copy(*scene);
  EXPECT_EQ(copy.GetSubObject(3), target.Get());
  EXPECT_TRUE(copy.GetSubObjectList().empty());
  EXPECT_EQ(copy.ToonLevel, std::vector<f32>{0.3f});
}

TEST_F(SceneTest, CloneKeepsSharedSlotsSharedAndListIndices) {
  CPointer<test::CTestDorun> shared = MakeTarget(1);
  CPointer<CScene> scene(new CScene());
  ASSERT_EQ(scene->SetSubObject1(shared.Get()), kOk);
  ASSERT_EQ(scene->SetSubObject6(shared.Get()), kOk);
  ASSERT_EQ(scene->AppendToSubObjectList(MakeTarget(2).Get()), kOk);
  ASSERT_EQ(scene->AppendToSubObjectList(shared.Get()), kOk);
  CloneMap map;
  CPointer<CBase> out;
  ASSERT_EQ(scene->Clone(out, map, 0), kOk);
  auto* copy = static_cast<CScene*>(out.Get());
  CBase* clone = map.at(shared.Get()).Get();
  EXPECT_NE(clone, shared.Get());
  EXPECT_EQ(copy->GetSubObject(1), clone);
  EXPECT_EQ(copy->GetSubObject(6), clone);
  EXPECT_EQ(copy->GetSubObject(2), nullptr);
  ASSERT_EQ(copy->GetSubObjectList().size(), 2u);
  EXPECT_EQ(ValueOf(copy->GetSubObjectList()[0].Get()), 2);
  EXPECT_NE(copy->GetSubObjectList()[0].Get(), scene->GetSubObjectList()[0].Get());
  EXPECT_EQ(copy->GetSubObjectList()[1].Get(), clone);
  EXPECT_TRUE(copy->IsModified());
  // A second clone through the same map answers the first copy.
  CPointer<CBase> again;
  EXPECT_EQ(scene->Clone(again, map, 0), kDone);
  EXPECT_EQ(again.Get(), copy);
}

TEST_F(SceneTest, CopyToSharesObjectsAndDisplacesTheTargets) {
  CPointer<test::CTestDorun> kept = MakeTarget(1);
  CPointer<test::CTestDorun> former = MakeTarget(2);
  CPointer<test::CTestDorun> formerListed = MakeTarget(3);
  CPointer<CScene> source(new CScene());
  ASSERT_EQ(source->SetSubObject4(kept.Get()), kOk);
  ASSERT_EQ(source->AppendToSubObjectList(kept.Get()), kOk);
  source->Glowness = 0.9f;
  source->ToonLevel = {0.9f};
  CPointer<CScene> target(new CScene());
  ASSERT_EQ(target->SetSubObject4(former.Get()), kOk);
  ASSERT_EQ(target->AppendToSubObjectList(formerListed.Get()), kOk);
  DisplacedList displaced;
  ASSERT_EQ(source->CopyTo(target.Get(), displaced, 0), kOk);
  EXPECT_EQ(target->GetSubObject(4), kept.Get());
  ASSERT_EQ(target->GetSubObjectList().size(), 1u);
  EXPECT_EQ(target->GetSubObjectList()[0].Get(), kept.Get());
  EXPECT_EQ(target->Glowness, 0.9f);
  EXPECT_EQ(target->ToonLevel, std::vector<f32>{0.9f});
  ASSERT_EQ(displaced.size(), 2u);
  EXPECT_EQ(displaced[0].Get(), former.Get());
  EXPECT_EQ(displaced[1].Get(), formerListed.Get());

  // A target of another class is refused and left as it was.
  CPointer<test::CTestDorun> other = MakeTarget(5);
  CPointer<test::CTestControl> control(new test::CTestControl());
  ASSERT_EQ(source->AddControl(control.Get()), kOk);
  EXPECT_EQ(source->CopyTo(other.Get(), displaced, 0), kErrNotFound);
  EXPECT_EQ(other->GetFirstControl(), nullptr);
  EXPECT_EQ(source->CopyTo(nullptr, displaced, 0), kErrNotFound);
}

TEST_F(SceneTest, SettersRefuseNullAndObjectsThatHoldTheScene) {
  CPointer<CScene> scene(new CScene());
  scene->SetModified(false);
  EXPECT_EQ(scene->SetSubObject1(nullptr), kErrInvalidArg);
  EXPECT_EQ(scene->SetSubObject(0, MakeTarget(1).Get()), kErrInvalidArg);
  EXPECT_EQ(scene->SetSubObject(9, MakeTarget(1).Get()), kErrInvalidArg);
  EXPECT_FALSE(scene->IsModified());
  // The scene itself, or a scene that holds it.
  EXPECT_EQ(scene->SetSubObject2(scene.Get()), kErrInvalidArg);
  CPointer<CScene> outer(new CScene());
  ASSERT_EQ(outer->SetSubObject1(scene.Get()), kOk);
  EXPECT_EQ(scene->SetSubObject3(outer.Get()), kErrInvalidArg);
  EXPECT_EQ(scene->AppendToSubObjectList(outer.Get()), kErrInvalidArg);
  EXPECT_EQ(scene->AppendToSubObjectList(nullptr), kErrInvalidArg);
  EXPECT_FALSE(scene->IsModified());
  EXPECT_FALSE(scene->HasSubObjects());

  CPointer<test::CTestDorun> target = MakeTarget(1);
  ASSERT_EQ(scene->SetSubObject8(target.Get()), kOk);
  EXPECT_TRUE(scene->IsModified());
  EXPECT_EQ(target->GetReferences(), 2u);
  ASSERT_EQ(scene->SetSubObject8(target.Get()), kOk);
  EXPECT_EQ(target->GetReferences(), 2u);
}

TEST_F(SceneTest, WalksVisitSlotsThenListEntries) {
  CPointer<CScene> scene(new CScene());
  CPointer<test::CTestDorun> slotted = MakeTarget(1);
  slotted->SetName(u"slotted");
  CPointer<test::CTestDorun> listed = MakeTarget(2);
  listed->SetName(u"listed");
  ASSERT_EQ(scene->SetSubObject7(slotted.Get()), kOk);
  ASSERT_EQ(scene->AppendToSubObjectList(listed.Get()), kOk);
  EXPECT_TRUE(scene->HasSubObjects());
  EXPECT_EQ(scene->Find(u"listed", nullptr, false, false), listed.Get());
  EXPECT_EQ(scene->Find(u"slotted", nullptr, false, false), slotted.Get());
  std::vector<CBase*> all;
  scene->Collect(all, nullptr, nullptr, false, false);
  EXPECT_EQ(all, (std::vector<CBase*>{scene.Get(), slotted.Get(), listed.Get()}));
  EXPECT_TRUE(scene->UpdateMarked({listed.Get()}));
  EXPECT_TRUE(scene->IsMarked());
  EXPECT_TRUE(listed->IsMarked());
  scene->ClearMarked();
  EXPECT_FALSE(scene->IsMarked() || listed->IsMarked());
  EXPECT_FALSE(scene->UpdateMarked({}));
  EXPECT_EQ(scene->ResolveReferences(nullptr), kErrInvalidArg);
  EXPECT_EQ(scene->ResolveReferences(scene.Get()), kOk);
}

TEST_F(SceneTest, EnumReferencesReportsEverySlotAndEntry) {
  CScene empty;
  test::ReferenceRecorder none;
  empty.EnumReferences(none);
  // Eight slots, then the three chain heads of the scene-content part.
  ASSERT_EQ(none.seen.size(), 11u);
  for (const auto& [object, owned] : none.seen) {
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(owned, 1u);
  }
  // An empty list entry (from a null id) is reported too.
  test::LoadedFile loaded;
  ImageFields fields;
  fields.slots.assign(8, 0);
  fields.list = {0, 31};
  test::LoadRecords(loaded, {{"CScene", SceneBody(1, 6, fields)}, test::Target(31)});
  ASSERT_EQ(loaded.result, kOk);
  auto* scene = DynamicCast<CScene>(loaded.Root());
  ASSERT_NE(scene, nullptr);
  test::ReferenceRecorder seen;
  scene->EnumReferences(seen);
  ASSERT_EQ(seen.seen.size(), 13u);
  EXPECT_EQ(seen.seen[8].first, nullptr);
  EXPECT_EQ(seen.seen[9].first, scene->GetSubObjectList()[1].Get());
  EXPECT_NE(seen.seen[9].first, nullptr);
}

TEST_F(SceneTest, DescribesFiveGroups) {
  CScene scene;
  scene.ToonLevel = {0.1f, 0.9f};
  test::MemberRecorder members;
  scene.DescribeMembers(members);
  using Names = std::vector<std::u16string>;
  EXPECT_EQ(test::GroupEntries(members.entries, u"CScene Member"),
            (Names{u"AmbientColor", u"BackgroundColor", u"FogEnable", u"FogColor", u"FogDistance", u"Glowness"}));
  EXPECT_EQ(test::GroupEntries(members.entries, u"CScene HDR"),
            (Names{u"HDREnable", u"HDRBrightThreshold", u"HDRBloomScale", u"HDRToneEnable", u"HDRGaussianScalar",
                   u"HDRExposure", u"HDRAdaptSpeed", u"HDRGlareType", u"HDRGlareScale"}));
  EXPECT_EQ(test::GroupEntries(members.entries, u"CScene SSAO"),
            (Names{u"SSAOEnable", u"SSAOQuality", u"SSAORadius", u"BlurRadius", u"SSAOContrast",
                   u"CombineSSAOEnable"}));
  EXPECT_EQ(test::GroupEntries(members.entries, u"CScene Toon Shading"),
            (Names{u"ToonEnable", u"ToonInterSectionLine", u"ToonEdgeColor", u"ToonEdgeWidth", u"ToonEdgeIntensity",
                   u"ToonNormalThreshold", u"ToonNormalSensitivity", u"ToonLevel", u"ToonLevel",
                   u"ToonSilhouetteColor", u"ToonLightedColor", u"ToonShadedColor"}));
  EXPECT_EQ(test::GroupEntries(members.entries, u"CScene NPR"), (Names{u"NprEnable", u"PaintWeight"}));
  ASSERT_EQ(members.enumNames.size(), 2u);
  ASSERT_EQ(members.enumNames[0].size(), 11u);
  EXPECT_EQ(members.enumNames[0][1], u"GT_Camera");
  EXPECT_EQ(members.enumNames[0][10], u"GT_CineCam_HorizontalSlits");
  EXPECT_EQ(members.enumNames[1], (Names{u"EC_Silhouette", u"EC_Texture"}));
  // The scene's groups come first, then the scene-content part's.
  EXPECT_EQ(members.entries.front(), u"group:CScene Member");
}

TEST_F(SceneTest, BadRecordsAreRefused) {
  struct Case {
    const char* what;
    ByteWriter body;
    Result expected;
  };
  ImageFields selfHeld;
  selfHeld.slots[2] = 1;  // SubObject3 is the scene itself
  ImageFields selfListed;
  selfListed.slots.assign(8, 0);
  selfListed.list = {1};
  ImageFields none;
  none.slots.assign(8, 0);
  none.list.clear();
  ByteWriter newer = test::DorunHead(1);
  ScenePart(newer, 7, none);
  // A ToonLevel count far beyond the record.
  ByteWriter hugeLevels = test::DorunHead(1);
  {
    ImageFields f = none;
    f.toonLevels.clear();
    ScenePart(hugeLevels, 4, f);
  }
  const std::size_t levelCountAt = test::DorunHead(1).Size() + 8 + 7 * 8 + 57 + 30 + 8 + 13 + 9;
  hugeLevels.PatchU32(levelCountAt, 0x40000000u);
  ByteWriter hugeList = test::DorunHead(1);
  ScenePart(hugeList, 5, none);
  hugeList.PatchU32(hugeList.Size() - 4, 0x20000000u);
  const Case cases[] = {
      {"newer version", newer, kErrNewerVersion},
      {"huge ToonLevel count", hugeLevels, kErrStream},
      {"huge list count", hugeList, kErrStream},
      {"slot holding the scene", SceneBody(1, 6, selfHeld), kErrNotFound},
      {"list holding the scene", SceneBody(1, 6, selfListed), kErrNotFound},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<std::pair<std::string, ByteWriter>> records{{"CScene", c.body}};
    if (c.expected == kErrNotFound) {
      for (u64 id : {11, 12, 14, 15, 16, 17, 18}) records.push_back(test::Target(id));
    }
    test::LoadedFile loaded;
    test::LoadRecords(loaded, records, false);
    EXPECT_EQ(loaded.result, c.expected);
  }
}

TEST_F(SceneTest, ScenesNestedThroughSlotsCannotLoopInAFile) {
  // Scene 1 holds scene 2 in SubObject1, and scene 2 holds scene 1.
  ImageFields outer;
  outer.slots.assign(8, 0);
  outer.slots[0] = 2;
  outer.list.clear();
  ImageFields inner = outer;
  inner.slots[0] = 1;
  test::LoadedFile loaded;
  test::LoadRecords(loaded, {{"CScene", SceneBody(1, 6, outer)}, {"CScene", SceneBody(2, 6, inner)}}, false);
  EXPECT_EQ(loaded.result, kErrNotFound);
}

TEST_F(SceneTest, DeeplyNestedScenesWalkInBoundedStack) {
  // A chain of scenes much deeper than one walk level per scene could
  // afford on the stack in a sanitizer build.
  CPointer<CScene> root(new CScene());
  CScene* last = root.Get();
  for (int i = 0; i < 20000; ++i) {
    CPointer<CScene> next(new CScene());
    ASSERT_EQ(last->SetSubObject1(next.Get()), kOk);
    last = next.Get();
  }
  last->SetName(u"deepest");
  EXPECT_EQ(root->Find(u"deepest", nullptr, false, false), last);
  std::vector<CBase*> all;
  root->Collect(all, nullptr, nullptr, false, false);
  EXPECT_EQ(all.size(), 20001u);
  CloneMap map;
  CPointer<CBase> clone;
  EXPECT_EQ(root->Clone(clone, map, 0), kOk);
  EXPECT_EQ(map.size(), 20001u);
}

TEST_F(SceneTest, MemorySizeCountsTheList) {
  CScene scene;
  CDorun plain;
  EXPECT_EQ(scene.GetMemorySize(), plain.GetMemorySize() + 264);
  ASSERT_EQ(scene.AppendToSubObjectList(MakeTarget(1).Get()), kOk);
  EXPECT_EQ(scene.GetMemorySize(), plain.GetMemorySize() + 268);
}

}  // namespace
}  // namespace KT
