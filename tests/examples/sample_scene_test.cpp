// The sample scene: it holds an object of every class the library
// registers, survives a save and a load unchanged, and animates after the
// load as it did before.
#include "examples/sample_scene.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "controllers/composite/particle_control.h"
#include "environment/tree.h"
#include "environment/tree_instance.h"
#include "environment/wind.h"
#include "examples/sample_tree.h"
#include "library/register_library_classes.h"
#include "objectmodel/class_factory.h"
#include "objectmodel/custom_data.h"
#include "objectmodel/matrix4.h"
#include "objectmodel/stream_test_support.h"
#include "controllers/keyed/hdr_control.h"
#include "environment/scene.h"
#include "environment/sky.h"
#include "environment/terrain.h"
#include "environment/water.h"
#include "environment/grass.h"
#include "environment/height_map.h"
#include "environment/height_map_material.h"
#include "controllers/keyed/image_light_control.h"
#include "controllers/keyed/post_effect_control.h"
#include "controllers/keyed/video_control.h"
#include "controllers/keyed/video_track_control.h"
#include "render/effects/camera_switcher.h"
#include "render/effects/image_layer.h"
#include "render/effects/image_light.h"
#include "render/effects/post_effect.h"
#include "render/effects/video_map.h"
#include "render/images/image.h"
#include "platform/crt_random.h"
#include "render/materials/standard_material.h"
#include "render/materials/texture_maps.h"
#include "scene/geometry.h"
#include "scene/geometry_data.h"
#include "scene/node.h"
#include "scene/particles.h"
#include "scene/sel_node.h"
#include "scene/tri_mesh.h"
#include "shapes/edge.h"
#include "shapes/group_shape.h"
#include "shapes/line_style.h"
#include "treeruntime/tree_rt.h"

namespace KT {
namespace {

using test::Bytes;
using Vec3 = CVector3<float>;

// The class names that the library's registration functions enter in an
// empty registry.
std::set<std::string> NamesRegisteredBy(void (*registerClasses)()) {
  CClassFactory::Registry& registry = CClassFactory::GetRegistry();
  const CClassFactory::Registry saved = registry;
  registry.clear();
  registerClasses();
  std::set<std::string> names;
  for (const auto& entry : registry) names.insert(entry.first);
  registry = saved;
  return names;
}

// Each test leaves the process-wide registry as it found it.
class SampleSceneTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = CClassFactory::GetRegistry();
    RegisterCustomDataClasses();
    RegisterLibraryClasses();
    test::UseTestIds(0);
    CStream stream;
    ASSERT_EQ(BuildSampleScene(stream), kOk);
    CMemoryIo device;
    stream.SetDevice(&device);
    ASSERT_EQ(stream.Save(CStream::kAllSections), kOk);
    bytes_ = device.TakeData();
    built_ = stream.GetRootObject(0);
    test::UseTestIds(1);
    // No section may skip records: a class the factory cannot make fails
    // the load.
    ASSERT_EQ(test::LoadScene(bytes_, loaded_, device_, 0), kOk);
    // The scene tree, then the render settings.
    ASSERT_EQ(loaded_.GetRootObjectCount(), 2u);
  }
  void TearDown() override { CClassFactory::GetRegistry() = saved_; }

  CSpatial* BuiltRoot() const { return DynamicCast<CSpatial>(built_.Get()); }
  CSpatial* LoadedRoot() const { return DynamicCast<CSpatial>(loaded_.GetRootObject(0)); }

  // Every class name among the objects the load delivered.
  std::set<std::string> LoadedClassNames() const {
    std::set<std::string> names;
    auto add = [&](const CBase* object) {
      if (object != nullptr) names.insert(object->GetClassRecord().name);
    };
    for (const auto& object : loaded_.GetLoadedObjects()) add(object.Get());
    for (u32 i = 0; i < loaded_.GetObjectCount(); ++i) add(loaded_.GetObject(i));
    for (u32 i = 0; i < loaded_.GetExtendInfoCount(); ++i) add(loaded_.GetExtendInfo(i));
    add(loaded_.GetThumbnail());
    return names;
  }

  Bytes bytes_;
  CPointer<CBase> built_;
  CMemoryIo device_;
  CStream loaded_;

 private:
  CClassFactory::Registry saved_;
};

template <typename T>
T* FindNamed(CSpatial& root, const char16_t* name) {
  return DynamicCast<T>(root.Find(name, &T::StaticClassRecord(), true, false));
}

TEST_F(SampleSceneTest, HoldsAnObjectOfEveryRegisteredClass) {
  std::set<std::string> expected = NamesRegisteredBy(&RegisterLibraryClasses);
  const std::set<std::string> custom = NamesRegisteredBy(&RegisterCustomDataClasses);
  expected.insert(custom.begin(), custom.end());
  // Old names load through their current classes, and the abstract
  // UVW-map and particle controller bases cannot be made.
  u32 oldCount = 0;
  const OldClassName* oldNames = GetOldClassNames(oldCount);
  for (u32 i = 0; i < oldCount; ++i) expected.erase(oldNames[i].oldName);
  expected.erase("CUvwMapDataControl");
  expected.erase("CParticleDataControl");
  ASSERT_FALSE(expected.empty());

  const std::set<std::string> found = LoadedClassNames();
  for (const std::string& name : expected) EXPECT_TRUE(found.count(name) != 0) << name << " is missing from the sample";
}

TEST_F(SampleSceneTest, SavingTheLoadedSampleGivesTheSameBytes) {
  const Bytes again = test::SaveLoaded(loaded_);
  EXPECT_EQ(again.size(), bytes_.size());
  EXPECT_TRUE(test::RenumberIds(again) == test::RenumberIds(bytes_));
}

// The world matrix of every spatial and the positions of every geometry
// and UV channel the data pass updated, at `time`.
std::string Evaluate(CSpatial& root, i32 time) {
  // The particle simulation draws random numbers: both scenes draw the same.
  CrtSrand(1);
  EXPECT_EQ(root.UpdateScene(time, 0, 0.0f, true, nullptr, false), kOk) << "at " << time;
  std::vector<CSpatial*> spatials;
  root.CollectSpatials(spatials);
  std::string text;
  for (CSpatial* spatial : spatials) {
    text += test::Members(spatial) + "\n";
  }
  std::vector<CDorun*> animated;
  root.CollectAnimated(animated);
  for (CDorun* object : animated) text += test::Members(object) + "\n";
  return text;
}

TEST_F(SampleSceneTest, TheLoadedSampleAnimatesAsTheBuiltOne) {
  for (const i32 time : {0, 250, 500, 900, 1000, 1250, 1750}) {
    EXPECT_EQ(Evaluate(*LoadedRoot(), time), Evaluate(*BuiltRoot(), time)) << "at " << time;
  }
}

TEST_F(SampleSceneTest, TheSwitchShowsItsFirstOptionInPlaceOfAnEmptyOne) {
  CSelNode* selection = FindNamed<CSelNode>(*BuiltRoot(), u"Switch");
  ASSERT_NE(selection, nullptr);
  ASSERT_EQ(BuiltRoot()->UpdateScene(250, 0, 0.0f, true, nullptr, false), kOk);
  EXPECT_EQ(selection->GetSelectedChild(), 1);
  EXPECT_EQ(selection->GetUsedChild(), 0);
  EXPECT_TRUE(selection->GetChild(0)->IsActive());
  EXPECT_FALSE(selection->GetChild(1)->IsActive());
  EXPECT_FALSE(selection->GetChild(2)->IsActive());
}

TEST_F(SampleSceneTest, TheLoadedSwitchesShowTheOptionsTheirControllersSelect) {
  for (CSpatial* root : {BuiltRoot(), LoadedRoot()}) {
    CSelNode* selection = FindNamed<CSelNode>(*root, u"Switch");
    CSelNode* clipped = FindNamed<CSelNode>(*root, u"ClipSwitch");
    ASSERT_NE(selection, nullptr);
    ASSERT_NE(clipped, nullptr);
    // From 500 the selection controller shows the third option, on its own
    // clock from 500; its tip goes off at 750 on that clock (1250); the
    // switch fades out.
    ASSERT_EQ(root->UpdateScene(700, 0, 0.0f, true, nullptr, false), kOk);
    EXPECT_EQ(selection->GetSelection(), 2);
    EXPECT_EQ(selection->GetSelectionTime(), 500);
    EXPECT_EQ(selection->GetUsedChild(), 2);
    EXPECT_FALSE(selection->GetChild(0)->IsActive());
    EXPECT_TRUE(selection->GetChild(2)->IsActive());
    CNode* tip = FindNamed<CNode>(*root, u"Option2Tip");
    ASSERT_NE(tip, nullptr);
    EXPECT_TRUE(tip->IsActive());
    EXPECT_LT(selection->GetOpacity(), 1.0f);
    EXPECT_GT(selection->GetOpacity(), 0.0f);
    // The clip switch: option 1 from 700, its clock from 600; layer 3
    // until 400, then the stored layer 1.
    EXPECT_EQ(clipped->GetUsedChild(), 1);
    EXPECT_EQ(clipped->GetSelectionTime(), 600);
    EXPECT_EQ(clipped->GetCurrentLayer(), 1u);
    ASSERT_EQ(root->UpdateScene(1249, 0, 0.0f, true, nullptr, false), kOk);
    EXPECT_TRUE(tip->IsActive());
    ASSERT_EQ(root->UpdateScene(1250, 0, 0.0f, true, nullptr, false), kOk);
    EXPECT_FALSE(tip->IsActive());
    ASSERT_EQ(root->UpdateScene(300, 0, 0.0f, true, nullptr, false), kOk);
    EXPECT_EQ(clipped->GetUsedChild(), 0);
    EXPECT_EQ(clipped->GetCurrentLayer(), 3u);
  }
}

TEST_F(SampleSceneTest, TheCharacterWalksThenRuns) {
  CNode* character = FindNamed<CNode>(*LoadedRoot(), u"Character");
  ASSERT_NE(character, nullptr);
  struct Row {
    i32 time;
    f32 x;
  };
  // Walk: 6 to 7 over the first second; run: 7 to 9 over the next half;
  // then the clips start over.
  for (const Row& row : {Row{0, 6.0f}, Row{500, 6.5f}, Row{1000, 7.0f}, Row{1250, 8.0f}, Row{2000, 6.5f}}) {
    ASSERT_EQ(LoadedRoot()->UpdateScene(row.time, 0, 0.0f, true, nullptr, false), kOk);
    const Vec3 at = character->GetWorldMatrix().GetTranslation();
    EXPECT_NEAR(at.x, row.x, 1e-5f) << "at " << row.time;
    EXPECT_NEAR(at.y, 0.0f, 1e-5f) << "at " << row.time;
  }
}

TEST_F(SampleSceneTest, TheLegFollowsItsBones) {
  CSpatial& root = *LoadedRoot();
  CTriMesh* leg = FindNamed<CTriMesh>(root, u"Leg");
  CNode* hip = FindNamed<CNode>(root, u"Hip");
  CNode* knee = FindNamed<CNode>(root, u"Knee");
  ASSERT_NE(leg, nullptr);
  ASSERT_NE(hip, nullptr);
  ASSERT_NE(knee, nullptr);
  // At 1000 ms every morph weight is 0, the hip has turned 20 and the knee
  // 40 degrees: bottom positions ride on the hip, top ones three quarters
  // on the knee (bound one unit up) and a quarter on the hip.
  ASSERT_EQ(root.UpdateScene(1000, 0, 0.0f, true, nullptr, false), kOk);
  const CGeometryData* level = leg->GetLod(0);
  ASSERT_NE(level, nullptr);
  ASSERT_EQ(leg->GetWorldXYZ().GetCount(), level->GetXYZ().GetCount());
  CMatrix4 unbind;
  unbind.SetTranslation({0.0f, -1.0f, 0.0f});
  const CMatrix4 onKnee = unbind * knee->GetWorldMatrix();
  u32 top = 0;
  for (u32 i = 0; i < level->GetXYZ().GetCount(); ++i) {
    const Vec3& p = level->GetXYZ()[i];
    const Vec3 onHip = TransformCoord(p, hip->GetWorldMatrix());
    const Vec3 expected = p.y > 0.0f ? TransformCoord(p, onKnee) * 0.75f + onHip * 0.25f : onHip;
    const Vec3& got = leg->GetWorldXYZ()[i];
    EXPECT_NEAR(got.x, expected.x, 1e-4f) << "position " << i;
    EXPECT_NEAR(got.y, expected.y, 1e-4f) << "position " << i;
    EXPECT_NEAR(got.z, expected.z, 1e-4f) << "position " << i;
    if (p.y > 0.0f) ++top;
  }
  EXPECT_EQ(top, 4u);
  // The skin moves the mesh away from where its own transform would put it.
  EXPECT_TRUE(leg->HasDeformedWorldXYZ());
}

// The layered node: the base layer glides from x = 9 to 10 over the
// second; the lift layer (up by 1) fades in from weight 0 to 1.
TEST_F(SampleSceneTest, TheLayeredNodeStacksItsLayers) {
  CNode* layered = FindNamed<CNode>(*LoadedRoot(), u"Layered");
  ASSERT_NE(layered, nullptr);
  struct Row {
    i32 time;
    Vec3 at;
  };
  for (const Row& row : {Row{0, Vec3{9.0f, 0.0f, 0.0f}}, Row{1000, Vec3{10.0f, 1.0f, 0.0f}}}) {
    ASSERT_EQ(LoadedRoot()->UpdateScene(row.time, 0, 0.0f, true, nullptr, false), kOk);
    const Vec3 at = layered->GetWorldMatrix().GetTranslation();
    EXPECT_NEAR(at.x, row.at.x, 1e-5f) << "at " << row.time;
    EXPECT_NEAR(at.y, row.at.y, 1e-5f) << "at " << row.time;
    EXPECT_NEAR(at.z, row.at.z, 1e-5f) << "at " << row.time;
  }
}

// The jelly: its top corners sink to y = 0.6 at 500 ms and stand again at
// 1000 ms; the bottom ones never move.
TEST_F(SampleSceneTest, TheJellyPlaysItsBakedWobble) {
  CSpatial& root = *LoadedRoot();
  CTriMesh* jelly = FindNamed<CTriMesh>(root, u"Jelly");
  ASSERT_NE(jelly, nullptr);
  ASSERT_EQ(jelly->GetWorldXYZ().GetCount(), 8u);
  for (const auto& [time, top] : {std::pair{0, 1.0f}, std::pair{250, 0.8f}, std::pair{500, 0.6f},
                                  std::pair{1000, 1.0f}}) {
    ASSERT_EQ(root.UpdateScene(time, 0, 0.0f, true, nullptr, false), kOk);
    for (u32 i = 0; i < 8; ++i) {
      const bool isTop = ((i >> 1) & 1) != 0;
      EXPECT_NEAR(jelly->GetWorldXYZ()[i].y, isTop ? top : 0.0f, 1e-5f) << time << " corner " << i;
    }
    EXPECT_TRUE(jelly->HasDeformedWorldXYZ());
  }
}

// The welded boxes: while the right box bobs, each corner of the left box
// at x = 1 and its partner on the right share one world position, halfway
// between where the two boxes put them.
TEST_F(SampleSceneTest, TheWeldedBoxesMeetAlongTheirSeam) {
  CSpatial& root = *LoadedRoot();
  CTriMesh* left = FindNamed<CTriMesh>(root, u"Seam left");
  CTriMesh* right = FindNamed<CTriMesh>(root, u"Seam right");
  ASSERT_NE(left, nullptr);
  ASSERT_NE(right, nullptr);
  ASSERT_EQ(root.UpdateScene(500, 0, 0.0f, true, nullptr, false), kOk);
  for (u32 i = 1; i < 8; i += 2) {
    const Vec3& a = left->GetWorldXYZ()[i];
    const Vec3& b = right->GetWorldXYZ()[i - 1];
    EXPECT_NEAR(a.x, b.x, 1e-5f) << i;
    EXPECT_NEAR(a.y, b.y, 1e-5f) << i;
    EXPECT_NEAR(a.z, b.z, 1e-5f) << i;
    // The right box stands 0.5 higher at 500 ms: the seam takes half.
    EXPECT_NEAR(a.y, static_cast<f32>((i >> 1) & 1) + 0.25f, 1e-5f) << i;
  }
  // Corners off the seam keep their own box's place.
  EXPECT_NEAR(left->GetWorldXYZ()[0].y, 0.0f, 1e-5f);
  EXPECT_NEAR(right->GetWorldXYZ()[1].y, 0.5f, 1e-5f);
}

TEST_F(SampleSceneTest, TheCubeMaterialGlowsFromBlackToWhite) {
  auto* material = FindNamed<CStandardMaterial>(*LoadedRoot(), u"CubeMaterial");
  ASSERT_NE(material, nullptr);
  ASSERT_NE(material->GetTexture(CStandardMaterial::kDiffuse), nullptr);
  for (const auto& [time, grey] : {std::pair<i32, f32>{500, 0.5f}, std::pair<i32, f32>{2000, 1.0f}}) {
    ASSERT_EQ(LoadedRoot()->UpdateScene(time, 0, 0.0f, true, nullptr, false), kOk);
    EXPECT_NEAR(material->Ambient.x, grey, 1e-6f) << "at " << time;
    EXPECT_NEAR(material->Ambient.z, grey, 1e-6f) << "at " << time;
  }
}

TEST_F(SampleSceneTest, TheScreenShowsALostVideoWhereItsMatrixProjects) {
  auto* screen = FindNamed<CImageLayer>(*LoadedRoot(), u"Screen");
  ASSERT_NE(screen, nullptr);
  ASSERT_EQ(LoadedRoot()->UpdateScene(0, 0, 0.0f, true, nullptr, false), kOk);
  EXPECT_EQ(screen->ProjPos, CVector2(5.0f, 7.0f));
  EXPECT_FLOAT_EQ(screen->ProjWidth, 6.0f);
  EXPECT_FLOAT_EQ(screen->ProjHeight, 4.0f);
  auto* texture = DynamicCast<CVideoMap>(screen->GetContent());
  ASSERT_NE(texture, nullptr);
  ASSERT_NE(texture->GetVideoTrack(), nullptr);
  ASSERT_EQ(texture->GetVideoTrack()->GetVideoCount(), 1u);
  ASSERT_NE(texture->GetVideoTrack()->GetVideo(0), nullptr);
  EXPECT_TRUE(texture->GetVideoTrack()->GetVideo(0)->LostVideo);
}

TEST_F(SampleSceneTest, TheEffectsKeepTheirReferences) {
  auto* light = FindNamed<CImageLight>(*LoadedRoot(), u"Sky light");
  ASSERT_NE(light, nullptr);
  ASSERT_NE(light->GetImage(), nullptr);
  EXPECT_EQ(light->GetImage()->GetName(), u"CubeSkin");
  auto* director = FindNamed<CNode>(*LoadedRoot(), u"Director");
  ASSERT_NE(director, nullptr);
  auto* cuts = DynamicCast<CCameraSwitcher>(director->GetAttachment());
  ASSERT_NE(cuts, nullptr);
  EXPECT_EQ(cuts->GetMode(), u32{CCameraSwitcher::CM_Switch});
  auto* keys = DynamicCast<CCameraSwitcherControl>(cuts->GetFirstControl());
  ASSERT_NE(keys, nullptr);
  ASSERT_EQ(keys->GetKeys().Size(), 2u);
  ASSERT_NE(keys->GetKeys()[0].Camera.Get(), nullptr);
  EXPECT_EQ(keys->GetKeys()[0].Camera->GetName(), u"Camera");
  const CPostEffect* glow = nullptr;
  for (u32 i = 0; i < loaded_.GetObjectCount(); ++i) {
    if (auto* effect = DynamicCast<CPostEffect>(loaded_.GetObject(i))) glow = effect;
  }
  ASSERT_NE(glow, nullptr);
  EXPECT_EQ(glow->GetVariableCount(), 2u);
  EXPECT_EQ(glow->GetObjectEntries().size(), 1u);
}

TEST_F(SampleSceneTest, TheTileBulgesAndItsStylesAnimate) {
  auto* top = DynamicCast<CEdge>(LoadedRoot()->Find(u"Tile Top", &CEdge::StaticClassRecord(), false, false));
  auto* outline =
      DynamicCast<CLineStyle>(LoadedRoot()->Find(u"Tile Outline", &CLineStyle::StaticClassRecord(), false, false));
  auto* group = FindNamed<CGroupShape>(*LoadedRoot(), u"Shapes");
  ASSERT_NE(top, nullptr);
  ASSERT_NE(outline, nullptr);
  ASSERT_NE(group, nullptr);
  ASSERT_EQ(group->GetShapeInstances().size(), 2u);
  ASSERT_EQ(LoadedRoot()->UpdateScene(500, 0, 0.0f, true, nullptr, false), kOk);
  // Halfway through an ease-in-out the bulge has half its weight.
  EXPECT_NEAR(top->GetAnimCurves()[0].ControlPoint.y, 1.25f, 1e-6f);
  EXPECT_EQ(top->GetCurves()[0].ControlPoint.y, 1.0f);
  EXPECT_NEAR(outline->AnimWidth, 0.05f + 0.15f * 0.25f, 1e-6f);
  EXPECT_EQ(outline->Width, 0.05f);
  // Both placements of the tile lie inside the group's world bound.
  const CBound& bound = group->GetWorldBound();
  EXPECT_GT(bound.Radius, 0.0f);
  for (const auto& instance : group->GetShapeInstances()) {
    EXPECT_GT(instance->GetWorldBound().Radius, 0.0f);
    EXPECT_GE(instance->GetWorldBound().Min.x, bound.Min.x);
    EXPECT_LE(instance->GetWorldBound().Max.x, bound.Max.x);
  }
}

TEST_F(SampleSceneTest, TheScrollingMaterialSlidesItsTexture) {
  auto* material = FindNamed<CStandardMaterial>(*LoadedRoot(), u"ScrollingMaterial");
  ASSERT_NE(material, nullptr);
  for (const auto& [time, u] : {std::pair<i32, f32>{250, 0.25f}, std::pair<i32, f32>{1500, 1.0f}}) {
    ASSERT_EQ(LoadedRoot()->UpdateScene(time, 0, 0.0f, true, nullptr, false), kOk);
    EXPECT_NEAR(material->GetTexUvTranslate(CStandardMaterial::kDiffuse).x, u, 1e-6f) << "at " << time;
  }
}

TEST_F(SampleSceneTest, TheFlipbookPaintsItsFrames) {
  auto* map = FindNamed<CTextureMap>(*LoadedRoot(), u"Flipbook");
  ASSERT_NE(map, nullptr);
  ASSERT_NE(map->GetImage(), nullptr);
  // Red until 500 ms, then blue (BGR bytes).
  for (const auto& [time, blue] : {std::pair<i32, u8>{250, 0}, std::pair<i32, u8>{600, 0xFF},
                                   std::pair<i32, u8>{100, 0}}) {
    ASSERT_EQ(LoadedRoot()->UpdateScene(time, 0, 0.0f, true, nullptr, false), kOk);
    const u8* pixel = map->GetImage()->GetImage().Pixels;
    EXPECT_EQ(pixel[0], blue) << "at " << time;
    EXPECT_EQ(pixel[2], 0xFF - blue) << "at " << time;
  }
}

TEST_F(SampleSceneTest, TheBlendedMaterialTurnsFromWarmToCool) {
  auto* material = FindNamed<CStandardMaterial>(*LoadedRoot(), u"BlendedMaterial");
  ASSERT_NE(material, nullptr);
  for (const auto& [time, cool] : {std::pair<i32, f32>{0, 0.0f}, std::pair<i32, f32>{250, 0.25f},
                                   std::pair<i32, f32>{2000, 1.0f}}) {
    ASSERT_EQ(LoadedRoot()->UpdateScene(time, 0, 0.0f, true, nullptr, false), kOk);
    EXPECT_NEAR(material->Diffuse.x, 1.0f - cool, 1e-6f) << "at " << time;
    EXPECT_NEAR(material->Diffuse.z, cool, 1e-6f) << "at " << time;
    EXPECT_NEAR(material->Diffuse.y, 0.2f, 1e-6f) << "at " << time;
  }
}

// The sparks: bursts from 0 to 1199 ms and again from 1500 ms; the sparks
// of the first burst live on (300 to 600 ms) through the pause.
TEST_F(SampleSceneTest, TheSparksBurstPauseAndBurstAgain) {
  CSpatial& root = *LoadedRoot();
  auto* sparks = FindNamed<CParticles>(root, u"Sparks");
  ASSERT_NE(sparks, nullptr);
  ASSERT_EQ(sparks->GetMaxQuantity(), 16u);
  CrtSrand(5);
  u32 liveAt1200 = 0;
  for (i32 time = 0; time <= 1800; time += 50) {
    SCOPED_TRACE(time);
    ASSERT_EQ(root.UpdateScene(time, 0, 0.0f, true, nullptr, false), kOk);
    EXPECT_EQ(sparks->GetParticleFlag(), time < 1200 || time >= 1500);
    if (time == 1000 || time == 1800) {
      EXPECT_GT(sparks->GetParticleCounter(), 0u);
    }
    if (time == 1200) liveAt1200 = sparks->GetParticleCounter();
    // During the pause the sparks of the burst live on, and none is added.
    if (time == 1300) {
      EXPECT_GT(sparks->GetParticleCounter(), 0u);
    }
    if (time == 1450) {
      EXPECT_LE(sparks->GetParticleCounter(), liveAt1200);
    }
  }
}

// The preset keeps the sparks' settings in the single-control layout; it
// is saved with the scene but not evaluated, and the scene's update goes
// on past it: the sparks placed after it still burst.
TEST_F(SampleSceneTest, TheSparksPresetKeepsItsLayoutAndTheSceneGoesOn) {
  auto* preset = FindNamed<CParticles>(*LoadedRoot(), u"Sparks preset");
  ASSERT_NE(preset, nullptr);
  auto* layout = FindNamed<CParticleControl>(*LoadedRoot(), u"Sparks layout");
  ASSERT_NE(layout, nullptr);
  EXPECT_EQ(layout->GetObject(), preset);
  EXPECT_EQ(layout->GetTimes(), (std::vector<i32>{0, 1200, 1500}));
  EXPECT_EQ(layout->GetEmit(), (std::vector<bool>{true, false, true}));
  EXPECT_EQ(layout->GetLooks().Color1, CColor(1.0f, 1.0f, 0.2f, 1.0f));
  EXPECT_EQ(preset->Update(100), kErrNotEvaluated);

  auto* sparks = FindNamed<CParticles>(*LoadedRoot(), u"Sparks");
  ASSERT_NE(sparks, nullptr);
  CrtSrand(5);
  for (i32 time = 0; time <= 500; time += 50) {
    ASSERT_EQ(LoadedRoot()->UpdateScene(time, 0, 0.0f, true, nullptr, false), kOk) << "at " << time;
  }
  EXPECT_TRUE(sparks->GetParticleFlag());
  EXPECT_GT(sparks->GetParticleCounter(), 0u);
  EXPECT_EQ(preset->GetParticleCounter(), 0u);
}

TEST_F(SampleSceneTest, TheLoadedEffectControlsDriveTheirObjects) {
  auto* holder = FindNamed<CNode>(*LoadedRoot(), u"Effects");
  ASSERT_NE(holder, nullptr);
  auto* pulse = DynamicCast<CPostEffect>(holder->GetAttachment());
  ASSERT_NE(pulse, nullptr);
  auto* pulseKeys = DynamicCast<CPostEffectControl>(pulse->GetFirstControl());
  ASSERT_NE(pulseKeys, nullptr);
  ASSERT_EQ(pulseKeys->Update(500), kOk);
  CPostEffect::Float4 value{};
  ASSERT_EQ(pulse->GetVariable(1, value), kOk);
  EXPECT_FLOAT_EQ(value[0], 0.75f);
  ASSERT_EQ(pulse->GetVariable(0, value), kOk);
  EXPECT_EQ(value, (CPostEffect::Float4{1.0f, 1.0f, 1.0f, 1.0f}));

  auto* light = FindNamed<CImageLight>(*LoadedRoot(), u"Sky light");
  ASSERT_NE(light, nullptr);
  auto* fade = DynamicCast<CImageLightControl>(light->GetFirstControl());
  ASSERT_NE(fade, nullptr);
  ASSERT_EQ(fade->Update(500), kOk);
  EXPECT_TRUE(light->IsActive());
  EXPECT_FLOAT_EQ(light->Strength, 1.0f);
  ASSERT_EQ(fade->Update(1000), kOk);
  EXPECT_FALSE(light->IsActive());

  auto* screen = FindNamed<CImageLayer>(*LoadedRoot(), u"Screen");
  ASSERT_NE(screen, nullptr);
  auto* texture = DynamicCast<CVideoMap>(screen->GetContent());
  ASSERT_NE(texture, nullptr);
  CVideoTrack* track = texture->GetVideoTrack();
  ASSERT_NE(track, nullptr);
  auto* clips = DynamicCast<CVideoTrackControl>(track->GetFirstControl());
  ASSERT_NE(clips, nullptr);
  // The video is lost: its clip is over as soon as it has started.
  ASSERT_EQ(clips->Update(3000), kOk);
  EXPECT_EQ(track->CurrentVideo, 0);
  EXPECT_EQ(track->ClipState, u32{CVideoTrack::CS_Ended});
  EXPECT_TRUE(track->Mute);
  CVideo* video = track->GetVideo(0);
  ASSERT_NE(video, nullptr);
  auto* playback = DynamicCast<CVideoControl>(video->GetFirstControl());
  ASSERT_NE(playback, nullptr);
  ASSERT_EQ(playback->Update(1999), kOk);
  EXPECT_EQ(video->PlayState, u32{CVideo::PS_Playing});
  ASSERT_EQ(playback->Update(2000), kOk);
  EXPECT_EQ(video->PlayState, u32{CVideo::PS_Paused});
}

TEST_F(SampleSceneTest, HdrControlAnimatesTheLoadedSceneSettings) {
  auto* settings = DynamicCast<CScene>(loaded_.GetRootObject(1));
  ASSERT_NE(settings, nullptr);
  EXPECT_EQ(settings->GetName(), u"Scene Settings");
  auto* terrain = DynamicCast<CTerrain>(settings->GetSubObject(1));
  ASSERT_NE(terrain, nullptr);
  EXPECT_EQ(terrain->GetName(), u"Ground");
  auto* height = DynamicCast<CHeightMap>(terrain->GetSubObject2());
  ASSERT_NE(height, nullptr);
  EXPECT_EQ(height->GetName(), u"Terrain height");
  auto* sky = DynamicCast<CSky>(settings->GetSubObject(2));
  ASSERT_NE(sky, nullptr);
  EXPECT_TRUE(sky->FogIncluded);
  auto* lake = DynamicCast<CWater>(settings->GetSubObject(3));
  ASSERT_NE(lake, nullptr);
  EXPECT_EQ(lake->Softness, 2u);

  auto* hdr = DynamicCast<CHDRControl>(settings->GetFirstControl());
  ASSERT_NE(hdr, nullptr);
  EXPECT_EQ(hdr->GetName(), u"Scene HDR");
  settings->SetModified(false);
  ASSERT_EQ(hdr->Update(500), kOk);
  EXPECT_TRUE(settings->Hdr.HDREnable);
  EXPECT_EQ(settings->Hdr.HDRGlareType, u32{GT_Camera});
  EXPECT_FLOAT_EQ(settings->Hdr.HDRExposure, 2.0f);
  EXPECT_FALSE(settings->IsModified());
  // The scene's own update runs the control too.
  ASSERT_GE(settings->Update(1000), 0);
  EXPECT_EQ(settings->Hdr.HDRGlareType, u32{GT_SunnyCross});
  EXPECT_FLOAT_EQ(settings->Hdr.HDRExposure, 3.0f);
}

// The terrain's height field comes back with its material and computes
// its block bounds from its heights; the meadow keeps its regions and is
// bounded by its own box wherever it hangs.
TEST_F(SampleSceneTest, TheTerrainHeightAndTheMeadowComeBack) {
  auto* settings = DynamicCast<CScene>(loaded_.GetRootObject(1));
  ASSERT_NE(settings, nullptr);
  auto* terrain = DynamicCast<CTerrain>(settings->GetSubObject(1));
  ASSERT_NE(terrain, nullptr);
  auto* map = DynamicCast<CHeightMap>(terrain->GetSubObject2());
  ASSERT_NE(map, nullptr);
  EXPECT_EQ(map->GetName(), u"Terrain height");
  auto* material = DynamicCast<CHeightMapMaterial>(map->GetSubObject());
  ASSERT_NE(material, nullptr);
  EXPECT_EQ(material->GetName(), u"Terrain material");
  EXPECT_TRUE(material->Switch);
  EXPECT_EQ(material->Layer2.Amount, 0.5f);
  ASSERT_EQ(map->Heights.GetCount(), CHeightMap::kSampleCount);
  const CBound& corner = map->GetBlockBounds()[0];
  EXPECT_EQ(corner.Min, Vec3(-12800.0f, -12800.0f, -10.0f));
  EXPECT_EQ(corner.Max, Vec3(-9600.0f, -9600.0f, 14.0f));
  EXPECT_EQ(map->GetTotalBound().Min, Vec3(-12800.0f, -12800.0f, -10.0f));
  EXPECT_EQ(map->GetTotalBound().Max, Vec3(12800.0f, 12800.0f, 182.0f));

  auto* meadow = FindNamed<CGrass>(*LoadedRoot(), u"Meadow");
  ASSERT_NE(meadow, nullptr);
  auto* built = FindNamed<CGrass>(*BuiltRoot(), u"Meadow");
  ASSERT_NE(built, nullptr);
  EXPECT_EQ(meadow->Region, built->Region);
  ASSERT_EQ(meadow->Region.size(), 2u);
  EXPECT_EQ(meadow->Region[0].Blade.size(), 3u);
  ASSERT_NE(meadow->GetAuxObject(0), nullptr);
  EXPECT_EQ(meadow->GetAuxObject(0)->GetName(), u"Meadow material");
  ASSERT_EQ(LoadedRoot()->UpdateScene(500, 0, 0.0f, true, nullptr, false), kOk);
  EXPECT_EQ(meadow->GetWorldBound().Center, Vec3(0.0f, 0.0f, 0.5f));
  EXPECT_FLOAT_EQ(meadow->GetWorldBound().Radius, 0.5f * std::sqrt(129.0f));
}

// Every coordinate and strip index of a part of a computed model.
std::pair<std::vector<f32>, std::vector<i32>> PartImage(const trt::CTreeRT::SGeometry::SIndexed& part) {
  std::pair<std::vector<f32>, std::vector<i32>> image;
  image.first.assign(part.m_pCoords, part.m_pCoords + 3 * part.m_nNumVertices);
  for (i32 l = 0; l < part.m_nNumLods; ++l) {
    for (i32 s = 0; s < part.m_pNumStrips[l]; ++s) {
      image.second.insert(image.second.end(), part.m_pStrips[l][s], part.m_pStrips[l][s] + part.m_pStripLengths[l][s]);
    }
  }
  return image;
}

// The loaded grove's tree computes what a model of the example tree data
// computes with the same seed and texture flip; both placed trees show it,
// their boxes its corners in world space.
TEST_F(SampleSceneTest, TheGroveShowsTheExampleTreeTwice) {
  auto* oak = FindNamed<CTreeInstance>(*LoadedRoot(), u"Oak");
  auto* tall = FindNamed<CTreeInstance>(*LoadedRoot(), u"Tall Oak");
  ASSERT_NE(oak, nullptr);
  ASSERT_NE(tall, nullptr);
  CTree* tree = oak->GetTree();
  ASSERT_NE(tree, nullptr);
  EXPECT_EQ(tall->GetTree(), tree);
  EXPECT_EQ(tree->GetName(), u"Sample Tree");
  EXPECT_EQ(tree->Seed, 3u);
  auto* breeze = DynamicCast<CWind>(oak->GetAuxObject());
  ASSERT_NE(breeze, nullptr);
  EXPECT_EQ(breeze->RockAngles, std::vector<f32>(4, 0.0f));

  const std::vector<u8> data = BuildSampleTree();
  trt::CTreeRT reference;
  trt::CTreeRT::SetTextureFlip(true);
  trt::CTreeRT::SetNumWindMatrices(10);
  ASSERT_TRUE(reference.LoadTree(data.data(), static_cast<i32>(data.size())));
  CTree::SetSceneMethods(reference);
  ASSERT_TRUE(reference.Compute(nullptr, 3, true));
  trt::CTreeRT::SGeometry expected;
  trt::CTreeRT::SGeometry loaded;
  const u32 parts = trt::CTreeRT::kBranchGeometry | trt::CTreeRT::kFrondGeometry | trt::CTreeRT::kLeafGeometry;
  reference.GetGeometry(expected, parts);
  tree->GetModel()->GetGeometry(loaded, parts);
  EXPECT_GT(expected.m_sBranches.m_nNumVertices, 0);
  EXPECT_GT(expected.m_sFronds.m_nNumVertices, 0);
  EXPECT_EQ(PartImage(loaded.m_sBranches), PartImage(expected.m_sBranches));
  EXPECT_EQ(PartImage(loaded.m_sFronds), PartImage(expected.m_sFronds));
  ASSERT_EQ(loaded.m_nNumLeafLods, expected.m_nNumLeafLods);
  for (i32 l = 0; l < expected.m_nNumLeafLods; ++l) {
    const auto& a = loaded.m_pLeaves[l];
    const auto& b = expected.m_pLeaves[l];
    ASSERT_EQ(a.m_nLeafCount, b.m_nLeafCount);
    EXPECT_TRUE(std::equal(a.m_pCenterCoords, a.m_pCenterCoords + 3 * a.m_nLeafCount, b.m_pCenterCoords)) << l;
  }
  f32 box[6];
  reference.GetBoundingBox(box);
  ASSERT_EQ(tree->GetCorners().size(), 8u);
  EXPECT_EQ(tree->GetCorners()[0], Vec3(box[0], box[1], box[2]));
  EXPECT_EQ(tree->GetCorners()[6], Vec3(box[3], box[4], box[5]));

  ASSERT_EQ(LoadedRoot()->UpdateScene(0, 0, 0.0f, true, nullptr, false), kOk);
  for (CTreeInstance* instance : {oak, tall}) {
    std::vector<Vec3> world;
    for (const Vec3& corner : tree->GetCorners()) world.push_back(TransformCoord(corner, instance->GetWorldMatrix()));
    EXPECT_EQ(instance->GetBox(), world);
  }
  EXPECT_NEAR(tall->Scale.x, 1.5f, 1e-5f);
  EXPECT_NEAR(oak->Scale.x, 1.0f, 1e-5f);
  EXPECT_NEAR(oak->Rotation.m[0][1], 1.0f, 1e-5f) << "a quarter turn about Z";
  EXPECT_NEAR(tall->GetWorldBound().Max.z, 1.5f * box[5], 1e-3f);

  // A ray dropped down the tall oak's trunk line from above meets the tree.
  u32 index = 0;
  f32 distance = 0.0f;
  Vec3 point;
  const Vec3 base = tall->Position;
  EXPECT_TRUE(tall->IntersectRay(base + Vec3(-20.0f, 0.0f, 3.0f), Vec3(1.0f, 0.0f, 0.0f), index, distance, point));
  EXPECT_LT(distance, 21.0f);
}

// A ray that meets a triangle of the last frond level just in front of its
// face reports that triangle: fronds are picked as branches are, with the
// strip's winding rule, in world space.
TEST_F(SampleSceneTest, ThePlacedTreePicksItsFronds) {
  auto* tall = FindNamed<CTreeInstance>(*LoadedRoot(), u"Tall Oak");
  ASSERT_NE(tall, nullptr);
  ASSERT_EQ(LoadedRoot()->UpdateScene(0, 0, 0.0f, true, nullptr, false), kOk);
  trt::CTreeRT::SGeometry geometry;
  tall->GetTree()->GetModel()->GetGeometry(geometry, trt::CTreeRT::kFrondGeometry);
  const auto& fronds = geometry.m_sFronds;
  ASSERT_GT(fronds.m_nNumLods, 0);
  const i32 lod = fronds.m_nNumLods - 1;
  const i32* strip = fronds.m_pStrips[lod][0];
  const i32 length = fronds.m_pStripLengths[lod][0];
  auto placed = [&](i32 v) {
    const f32* p = fronds.m_pCoords + 3 * v;
    return TransformCoord(Vec3(p[0], p[1], p[2]), tall->GetWorldMatrix());
  };
  int tried = 0;
  for (i32 t = 0; t + 2 < length && tried < 5; t += 7) {
    Vec3 a = placed(strip[t]);
    Vec3 b = placed(strip[t + 1]);
    const Vec3 c = placed(strip[t + 2]);
    if (t % 2 == 0) std::swap(a, b);
    Vec3 normal = (b - a).Cross(c - a);
    if (normal.Length() < 1e-4f) continue;
    normal.Normalize();
    ++tried;
    SCOPED_TRACE(t);
    const Vec3 centre = (a + b + c) * (1.0f / 3.0f);
    u32 index = 0;
    f32 distance = 0.0f;
    Vec3 point;
    ASSERT_TRUE(tall->IntersectRay(centre + normal * 0.001f, -normal, index, distance, point));
    EXPECT_EQ(index, static_cast<u32>(t));
    EXPECT_NEAR(distance, 0.001f, 1e-4f);
  }
  EXPECT_GT(tried, 0);
}

}  // namespace
}  // namespace KT
