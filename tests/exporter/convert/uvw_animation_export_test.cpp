#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "controllers/core/data_clip_control.h"
#include "controllers/core/uvw_map_control.h"
#include "exporter/plugin/max_drn.h"
#include "platform/host/scene_builder.h"
#include "tests/exporter/convert/modifier_fixtures.h"

namespace {

using KT::Host::HostScene;

const KT::CUvwMapControl* Child(const KT::CUvwMapClipControl& control, KT::u32 i) {
  return KT::DynamicCast<KT::CUvwMapControl>(control.GetChild(i));
}
using KT::Host::MapChannelDesc;
using KT::Host::ModifierDesc;
using KT::Host::ModifierKind;
using KT::Host::SceneBuilder;

// A triangle whose channel 1 coordinates slide by +1 in u from frame 10 to
// frame 20; channel 2 is empty and channel 3 holds one still coordinate per
// corner.
KT::Host::MeshDesc SlidingMesh(int ticksPerFrame) {
  KT::Host::MeshDesc mesh;
  mesh.verts = {Point3(0, 0, 0), Point3(1, 0, 0), Point3(0, 1, 0)};
  mesh.faces = {KT::Host::FaceDesc{{0, 1, 2}, 1, 0}};
  MapChannelDesc one;
  one.channel = 1;
  one.verts = {Point3(0, 0, 0), Point3(1, 0, 0), Point3(0, 1, 0), Point3(1, 1, 0)};
  one.faces = {{0, 1, 2}};
  one.keys = {{10 * ticksPerFrame, one.verts},
              {20 * ticksPerFrame, {Point3(1, 0, 0), Point3(2, 0, 0), Point3(1, 1, 0), Point3(2, 1, 0)}}};
  MapChannelDesc two;
  two.channel = 2;
  MapChannelDesc three;
  three.channel = 3;
  three.verts = {Point3(0.5f, 0.5f, 0), Point3(0.25f, 0, 0), Point3(0, 0.25f, 0)};
  three.faces = {{0, 1, 2}};
  mesh.maps = {one, two, three};
  return mesh;
}

ModifierDesc Uvw(ModifierKind kind, int channel) {
  ModifierDesc d;
  d.kind = kind;
  d.channel = channel;
  return d;
}

std::unique_ptr<HostScene> PropScene(int ticksPerFrame, const std::vector<ModifierDesc>& modifiers) {
  SceneBuilder b;
  b.TicksPerFrame(ticksPerFrame).Range(0, 30 * ticksPerFrame);
  auto prop = b.AddNode("Prop").Mesh(SlidingMesh(ticksPerFrame));
  for (const ModifierDesc& m : modifiers) prop.Modifier(m);
  b.AddNode("Still").Mesh(SlidingMesh(ticksPerFrame));
  return b.Make();
}

// The export set-up of the mesh pass: the converted nodes and a mesh whose
// UV channels 0 and 1 stand for host channels 1 and 3.
struct UvwRun {
  std::unique_ptr<HostScene> scene;
  std::unique_ptr<KT::Host::ActiveHostScene> active;
  std::unique_ptr<CMaxDrn> context;
  KT::CPointer<KT::CTriMesh> mesh;

  UvwRun(int ticksPerFrame, const std::vector<ModifierDesc>& modifiers, std::vector<ClipRecord> clips) {
    scene = PropScene(ticksPerFrame, modifiers);
    active = std::make_unique<KT::Host::ActiveHostScene>(*scene);
    context = std::make_unique<CMaxDrn>(scene.get(), scene.get(), false);
    context->sampleRate = 5;
    context->clips = std::move(clips);
    context->uvChannels = {-1, 0, -1, 1};
    mesh = fixtures::MakeMesh(nullptr, u"Prop", 3, {4, 3});
  }
  // Runs the pass for modifier `index` (stack order, top first).
  void Export(int index) {
    context->ExportUvwAnimation(mesh.Get(), scene->NodeAt(0), 0, fixtures::ModifierOf(*scene, 0, index),
                                fixtures::ContextOf(*scene, 0, index));
  }
  std::vector<KT::CUvwMapClipControl*> ClipControls(KT::u32 channel) const {
    return fixtures::ControlsOf<KT::CUvwMapClipControl>(*mesh->GetTriMeshLod(0)->GetUvwChannel(channel));
  }
};

TEST(UvwAnimationExport, KeysFollowTheFixedMillisecondGridAtAnyFrameRate) {
  for (const int ticks : {160, 192}) {  // 30 and 25 frames per second
    SCOPED_TRACE(ticks);
    UvwRun run(ticks, {Uvw(ModifierKind::kUvwMap, 1)}, {{u"slide", 10, 20}});
    run.Export(0);
    const auto clips = run.ClipControls(0);
    ASSERT_EQ(clips.size(), 1u);
    EXPECT_TRUE(run.ClipControls(1).empty());
    ASSERT_EQ(clips[0]->GetChildCount(), 1u);
    const KT::CUvwMapControl* child = Child(*clips[0], 0);
    EXPECT_EQ(child->GetUVWTime(), (std::vector<KT::i32>{0, 166, 333}));
    EXPECT_EQ(child->GetTransitionType(), (std::vector<KT::u32>{KT::TT_LINEAR, KT::TT_LINEAR, KT::TT_LINEAR}));
    // Four coordinates per key, in host order: frame 15 is half-way.
    const auto& data = child->GetUVWData();
    ASSERT_EQ(data.size(), 12u);
    EXPECT_FLOAT_EQ(data[0].x, 0.0f);
    EXPECT_FLOAT_EQ(data[4].x, 0.5f);
    EXPECT_FLOAT_EQ(data[7].x, 1.5f);
    EXPECT_FLOAT_EQ(data[11].y, 1.0f);
    EXPECT_FLOAT_EQ(data[11].x, 2.0f);
  }
}

TEST(UvwAnimationExport, OneChildPerClipAndOneClipKey) {
  UvwRun run(160, {Uvw(ModifierKind::kUvwMap, 1)}, {{u"idle", 0, 10}, {u"walk", 10, 20}, {u"wave", 5, 5}});
  run.Export(0);
  const auto clips = run.ClipControls(0);
  ASSERT_EQ(clips.size(), 1u);
  const KT::CUvwMapClipControl& control = *clips[0];
  EXPECT_EQ(control.GetFrequency(), 1.0f);
  ASSERT_EQ(control.GetChildCount(), 3u);
  const std::vector<std::u16string> names = {u"idle", u"walk", u"wave"};
  const std::vector<std::size_t> keys = {3, 3, 1};
  for (KT::u32 i = 0; i < 3; ++i) {
    const KT::CUvwMapControl* child = Child(control, i);
    EXPECT_EQ(child->GetName(), names[i]);
    EXPECT_EQ(child->GetRepeat(), static_cast<KT::u32>(KT::CControl::RT_WRAP));
    EXPECT_EQ(child->GetFrequency(), 1.0f);
    EXPECT_EQ(child->GetUVWTime().size(), keys[i]);
  }
  ASSERT_EQ(control.GetClips().size(), 1u);
  EXPECT_EQ(control.GetClips()[0].ClipID, 0);
  EXPECT_EQ(control.GetClips()[0].Time, 0);
  EXPECT_EQ(control.GetClips()[0].LoopCount, 1u);
}

TEST(UvwAnimationExport, WhichChannelTheModifierNames) {
  struct Case {
    const char* what;
    ModifierDesc mod;
    int animatedUvChannel;  // -1: nothing exported
  };
  const std::vector<Case> cases = {
      {"UVW Map on channel 1", Uvw(ModifierKind::kUvwMap, 1), 0},
      {"UVW Map on channel 3", Uvw(ModifierKind::kUvwMap, 3), 1},
      {"UVW Map on a channel that was not written", Uvw(ModifierKind::kUvwMap, 2), -1},
      {"UVW Map on the vertex colours", Uvw(ModifierKind::kUvwMap, 0), -1},
      {"UVW Map on a negative channel", Uvw(ModifierKind::kUvwMap, -2), -1},
      {"UVW Map past the object's channels", Uvw(ModifierKind::kUvwMap, 4), -1},
      {"Unwrap 0 stands for channel 1", Uvw(ModifierKind::kUnwrap, 0), 0},
      {"Unwrap on the vertex colour channel", Uvw(ModifierKind::kUnwrap, 1), -1},
      {"Unwrap on channel 3", Uvw(ModifierKind::kUnwrap, 3), 1},
      {"Unwrap on a negative channel", Uvw(ModifierKind::kUnwrap, -1), -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    UvwRun run(160, {c.mod}, {{u"clip", 0, 10}});
    run.Export(0);
    for (KT::u32 channel = 0; channel < 2; ++channel)
      EXPECT_EQ(run.ClipControls(channel).size(), static_cast<int>(channel) == c.animatedUvChannel ? 1u : 0u);
  }
}

TEST(UvwAnimationExport, NothingForNullArgumentsOrAnObjectWithoutUvw) {
  UvwRun run(160, {Uvw(ModifierKind::kUvwMap, 1)}, {{u"clip", 0, 10}});
  Modifier* mod = fixtures::ModifierOf(*run.scene, 0, 0);
  run.context->ExportUvwAnimation(nullptr, run.scene->NodeAt(0), 0, mod, nullptr);
  run.context->ExportUvwAnimation(run.mesh.Get(), nullptr, 0, mod, nullptr);
  run.context->ExportUvwAnimation(run.mesh.Get(), run.scene->NodeAt(0), 0, nullptr, nullptr);
  // The root carries no object with UVW data.
  run.context->ExportUvwAnimation(run.mesh.Get(), run.scene->GetRootNode(), 0, mod, nullptr);
  EXPECT_TRUE(run.ClipControls(0).empty());
}

TEST(UvwAnimationExport, AKeyOfAnotherSizeThanTheChannelIsMissing) {
  UvwRun run(160, {Uvw(ModifierKind::kUvwMap, 1)}, {{u"clip", 0, 10}});
  // The mesh's first UV channel holds 3 coordinates, the host channel 4.
  run.mesh = fixtures::MakeMesh(nullptr, u"Prop", 3, {3, 3});
  run.Export(0);
  const auto clips = run.ClipControls(0);
  ASSERT_EQ(clips.size(), 1u);
  ASSERT_EQ(clips[0]->GetChildCount(), 1u);
  EXPECT_EQ(Child(*clips[0], 0)->GetKeyCount(), 0u);
  EXPECT_EQ(clips[0]->GetClips().size(), 1u);
}

TEST(UvwAnimationExport, AnimationOnlyPlaceholdersTakeEverySampledKey) {
  const int ticks = 160;
  auto scene = PropScene(ticks, {Uvw(ModifierKind::kUnwrap, 0), Uvw(ModifierKind::kUvwMap, 3)});
  KT::Host::ActiveHostScene active(*scene);
  CMaxDrn context(scene.get(), scene.get(), false);
  context.BuildNodes(0);
  context.sampleRate = 5;
  context.clips = {{u"slide", 10, 20}, {u"rest", 0, 5}};
  const int before = context.progress;
  context.BuildUvwAnimation(ticks);
  EXPECT_EQ(context.progress, before + 10);
  EXPECT_EQ(context.uvChannels, (std::vector<KT::i32>{-1, 0, -1, 1}));

  KT::CNode* prop = fixtures::Converted(context.root.Get(), u"Prop");
  ASSERT_NE(prop, nullptr);
  ASSERT_EQ(prop->GetChildren().size(), 1u);
  auto* placeholder = KT::DynamicCast<KT::CTriMesh>(prop->GetChildren()[0].Get());
  ASSERT_NE(placeholder, nullptr);
  EXPECT_EQ(placeholder->GetName(), u"Prop");
  KT::CTriMeshData* data = placeholder->GetTriMeshLod(0);
  ASSERT_NE(data, nullptr);
  ASSERT_EQ(data->GetUvwMapCount(), 2u);
  const std::vector<KT::u32> coordinates = {4, 3};
  const std::vector<std::size_t> slideKeys = {3, 3};
  for (KT::u32 c = 0; c < 2; ++c) {
    KT::CUvwMap* map = data->GetUvwChannel(c);
    EXPECT_EQ(map->GetUVW().GetCount(), coordinates[c]);
    ASSERT_NE(map->GetUvwMapData(), nullptr);
    EXPECT_EQ(map->GetUvwMapData()->GetUVWTriIndex().GetCount(), 3u);
    EXPECT_EQ(map->GetUvwMapData()->GetVertexUVWMap().GetCount(), 1u);
    const auto clips = fixtures::ControlsOf<KT::CUvwMapClipControl>(*map);
    ASSERT_EQ(clips.size(), 1u);
    ASSERT_EQ(clips[0]->GetChildCount(), 2u);
    EXPECT_EQ(Child(*clips[0], 0)->GetKeyCount(), slideKeys[c]);
    EXPECT_EQ(Child(*clips[0], 1)->GetKeyCount(), 2u);
  }
  // "Still" has no UVW modifier: no placeholder.
  EXPECT_TRUE(fixtures::Converted(context.root.Get(), u"Still")->GetChildren().empty());
}

TEST(UvwAnimationExport, AnimationOnlyNeedsARoot) {
  auto scene = PropScene(160, {Uvw(ModifierKind::kUvwMap, 1)});
  CMaxDrn context(scene.get(), scene.get(), false);
  context.BuildUvwAnimation(160);
  EXPECT_FALSE(context.root);
  EXPECT_EQ(context.progress, 10);
}

}  // namespace
