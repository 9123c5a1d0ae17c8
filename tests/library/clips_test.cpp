// End to end: clip-animated content built in code, evaluated with the
// per-frame driver, saved, loaded back through the class factory and
// evaluated again.
//
// The scene:
//   character  a node whose transform clip controller plays the keyframe
//              children "walk" (from 0 ms) and "run" (from 1000 ms, a linear
//              transition range of 200): walk moves along x from the origin
//              to (10, 0, 0) over its 1000 ms, run along z from (0, 5, 0) to
//              (0, 5, 10); between 800 and 1000 the walk pose is blended into
//              run's start pose with weights 0, 0.5 and 1 at 800, 900 and
//              1000.
//   skin       a triangle mesh under the character; a UVW clip controller on
//              its UV channel plays "scroll" (the coordinates move) from 0
//              and "still" from 1000, switching at once at 1000.
//   timing     one node per clip setting (loops, an endless clip, reversed
//              clips, padding, a begin time, a time warp, a clip frequency),
//              each playing its own copy of walk in one clip: the node's x
//              is the child time / 100, so it shows where the clip maps the
//              scene time.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "controllers/core/data_clip_control.h"
#include "controllers/core/keyframe_control.h"
#include "controllers/core/rts_clip_control.h"
#include "controllers/core/transform_test_support.h"
#include "controllers/core/uvw_map_control.h"
#include "library/register_library_classes.h"
#include "objectmodel/class_factory.h"
#include "objectmodel/stream_test_support.h"
#include "scene/node.h"
#include "scene/tri_mesh.h"
#include "scene/tri_mesh_data.h"
#include "scene/uvw_map.h"

namespace KT {
namespace {

using test::Bytes;
using Vec = CVector3<float>;

constexpr f32 kFps = 30.0f;

std::string Narrow(std::u16string_view name) { return std::string(name.begin(), name.end()); }

// --- building ---------------------------------------------------------------------------------

CRtsTransform At(Vec translate) {
  CRtsTransform t;
  t.Translate = translate;
  return t;
}

// A keyframe child moving linearly from `from` (0 ms) to `to` (1000 ms).
CPointer<CKeyframeControl> Motion(const char16_t* name, Vec from, Vec to) {
  CPointer<CKeyframeControl> child(new CKeyframeControl());
  child->SetName(name);
  EXPECT_EQ(child->AddRtsKey(0, kFps, At(from)), kOk);
  EXPECT_EQ(child->AddRtsKey(1000, kFps, At(to)), kOk);
  return child;
}

CPointer<CNode> Node(const char16_t* name) {
  CPointer<CNode> node(new CNode());
  node->SetName(name);
  return node;
}

// The four UV coordinate sets of the skin: "scroll" goes from kScroll0 to
// kScroll1, "still" holds kStill.
const std::vector<Vec> kScroll0 = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
const std::vector<Vec> kScroll1 = {{2, 0, 0}, {3, 0, 0}, {3, 1, 0}, {2, 1, 0}};
const std::vector<Vec> kStill = {{0, 5, 0}, {0.5f, 5, 0}, {0.5f, 5.5f, 0}, {0, 5.5f, 0}};

// A UVW-map control child of `clips` (bound to the skin's map by then),
// keyed at 0 and 1000 from a scratch map of the same size.
CPointer<CUvwMapControl> UvMotion(CUvwMapClipControl& clips, const char16_t* name, const std::vector<Vec>& from,
                                  const std::vector<Vec>& to) {
  CPointer<CUvwMapControl> child(new CUvwMapControl());
  child->SetName(name);
  EXPECT_EQ(clips.AddChild(child.Get()), kOk);
  CPointer<CUvwMap> scratch(new CUvwMap());
  EXPECT_EQ(scratch->AllocateUvw(static_cast<u32>(from.size())), kOk);
  std::copy(from.begin(), from.end(), scratch->GetUVW().begin());
  EXPECT_EQ(child->SetKey(0, kFps, scratch.Get(), TT_LINEAR), kOk);
  std::copy(to.begin(), to.end(), scratch->GetUVW().begin());
  EXPECT_EQ(child->SetKey(1000, kFps, scratch.Get(), TT_LINEAR), kOk);
  return child;
}

// A unit square mesh with one UV channel (kScroll0) animated by a UVW clip
// controller: "scroll" from 0, "still" from 1000.
CPointer<CTriMesh> Skin() {
  CPointer<CTriMeshData> data;
  EXPECT_EQ(CTriMeshData::Create(data), kOk);
  data->SetName(u"skin data");
  EXPECT_EQ(data->AllocateXYZ(4), kOk);
  const Vec corners[4] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
  std::copy(corners, corners + 4, data->GetXYZ().begin());
  EXPECT_EQ(data->AllocateNormal(4), kOk);
  EXPECT_EQ(data->SetTriangleQuantity(2), kOk);
  const u32 triangles[6] = {0, 1, 2, 0, 2, 3};
  std::copy(triangles, triangles + 6, data->GetXYZTriIndex().begin());
  std::copy(triangles, triangles + 6, data->GetNormalTriIndex().begin());
  EXPECT_EQ(data->AllocateTriangleMtlID(), kOk);
  EXPECT_EQ(data->CompactNormalIndices(), kOk);
  EXPECT_EQ(data->ComputeVertexNormals(), kOk);

  CPointer<CUvwMap> map;
  EXPECT_EQ(CUvwMap::Create(map), kOk);
  map->SetName(u"uv");
  EXPECT_EQ(map->AllocateUvw(4), kOk);
  std::copy(kScroll0.begin(), kScroll0.end(), map->GetUVW().begin());
  CPointer<CUvwMapData> uvData;
  EXPECT_EQ(CUvwMapData::Create(uvData), kOk);
  EXPECT_EQ(uvData->AllocateUvwTriIndex(2), kOk);
  std::copy(triangles, triangles + 6, uvData->GetUVWTriIndex().begin());
  map->SetUvwMapData(uvData.Get());
  EXPECT_EQ(data->AddUvwMap(map.Get()), kOk);

  CPointer<CUvwMapClipControl> clips(new CUvwMapClipControl());
  EXPECT_EQ(map->AddControl(clips.Get()), kOk);
  UvMotion(*clips, u"scroll", kScroll0, kScroll1);
  UvMotion(*clips, u"still", kStill, kStill);
  EXPECT_EQ(clips->AddClipKey(CClipKey(0, 0), kFps), kOk);
  EXPECT_EQ(clips->AddClipKey(CClipKey(1000, 1), kFps), kOk);

  EXPECT_EQ(data->BuildVertexTriIndex(), kOk);
  EXPECT_EQ(data->SortByMaterial(), kOk);
  data->UpdateBoundingBox();
  CPointer<CTriMesh> mesh;
  EXPECT_EQ(CTriMesh::Create(mesh), kOk);
  mesh->SetName(u"skin");
  EXPECT_EQ(mesh->SetLods({data}), kOk);
  EXPECT_EQ(mesh->AllocateWorldXYZ(4), kOk);
  EXPECT_EQ(mesh->AllocateWorldNormal(4), kOk);
  return mesh;
}

CPointer<CNode> Character() {
  CPointer<CNode> character = Node(u"character");
  CPointer<CRTSClipControl> clips(new CRTSClipControl());
  EXPECT_EQ(character->AddControl(clips.Get()), kOk);
  EXPECT_EQ(clips->AddChild(Motion(u"walk", {0, 0, 0}, {10, 0, 0}).Get()), kOk);
  EXPECT_EQ(clips->AddChild(Motion(u"run", {0, 5, 0}, {0, 5, 10}).Get()), kOk);
  EXPECT_EQ(clips->AddClipKey(CClipKey(0, 0), kFps), kOk);
  CClipKey run(1000, 1);
  run.TransitionRange = 200.0f;
  run.TransitionType = TT_LINEAR;
  EXPECT_EQ(clips->AddClipKey(run, kFps), kOk);
  EXPECT_EQ(character->AddChild(Skin().Get()), kOk);
  return character;
}

// One timing node: the clip settings it plays walk with.
struct Timing {
  const char16_t* name;
  u32 loopCount = 1;
  bool reverse = false;
  i32 padding = 0;
  i32 beginTime = 0;
  u32 timeWarp = TT_LINEAR;
  f32 frequency = 1.0f;
};
const Timing kTimings[] = {
    {u"looped", 3},
    {u"endless", 0},
    {u"reversed", 2, true},
    {u"padded", 2, false, 500},
    {u"begins at 100", 1, false, 0, 100},
    {u"reversed from 100", 1, true, 0, 100},
    {u"warped", 1, false, 0, 0, TT_EASE_IN},
    {u"twice as fast", 1, false, 0, 0, TT_LINEAR, 2.0f},
};

CPointer<CNode> TimingNode(const Timing& timing) {
  CPointer<CNode> node = Node(timing.name);
  CPointer<CRTSClipControl> clips(new CRTSClipControl());
  EXPECT_EQ(node->AddControl(clips.Get()), kOk);
  EXPECT_EQ(clips->AddChild(Motion(u"walk", {0, 0, 0}, {10, 0, 0}).Get()), kOk);
  CClipKey key(0, 0);
  key.LoopCount = timing.loopCount;
  key.Reverse = timing.reverse;
  key.Padding = timing.padding;
  key.BeginTime = timing.beginTime;
  key.TimeWarpType = timing.timeWarp;
  key.Frequency = timing.frequency;
  EXPECT_EQ(clips->AddClipKey(key, kFps), kOk);
  return node;
}

CPointer<CNode> BuildScene() {
  CPointer<CNode> scene = Node(u"scene");
  EXPECT_EQ(scene->AddChild(Character().Get()), kOk);
  for (const Timing& timing : kTimings) EXPECT_EQ(scene->AddChild(TimingNode(timing).Get()), kOk);
  return scene;
}

// --- expectations -------------------------------------------------------------------------------

// The character's position at a scene time.
struct PoseCase {
  i32 time;
  Vec translate;
};
const PoseCase kPoses[] = {
    {0, {0, 0, 0}},      {500, {5, 0, 0}},
    {800, {8, 0, 0}},    // the blend begins: weight 0
    {900, {4.5f, 2.5f, 0}},  // half of walk at 900 (9, 0, 0), half of run's start (0, 5, 0)
    {1000, {0, 5, 0}},   // run's start pose whole
    {1500, {0, 5, 5}},
};

// The child time a timing node's clip maps a scene time to.
struct TimeCase {
  const char16_t* node;
  i32 time;
  i32 childTime;
};
const TimeCase kChildTimes[] = {
    {u"looped", 2500, 500},            // third cycle
    {u"looped", 3500, 1000},           // after three cycles: held at the end
    {u"endless", 100250, 250},         // still looping
    {u"reversed", 250, 750},           // each cycle backward
    {u"reversed", 1250, 750},
    {u"reversed", 2500, 0},            // after two cycles: held at the start
    {u"padded", 1200, 1200},           // cycles of 1500 (the child holds its end pose past 1000)
    {u"padded", 2000, 500},
    {u"begins at 100", 50, 100},       // held at BeginTime before the clip starts
    {u"begins at 100", 300, 300},
    {u"reversed from 100", 50, 900},   // reversed: L - BeginTime
    {u"warped", 500, 250},             // ease-in of strength 50: the square of the fraction
    {u"twice as fast", 300, 600},
};

// The skin's UV coordinates at a scene time: the scroll fraction, or the
// still set (fraction < 0).
struct UvCase {
  i32 time;
  f32 scroll;
};
const UvCase kUvs[] = {{0, 0.0f}, {500, 0.5f}, {999, 0.999f}, {1000, -1.0f}, {1700, -1.0f}};

std::vector<Vec> Scroll(f32 f) {
  std::vector<Vec> out;
  for (std::size_t i = 0; i < kScroll0.size(); ++i) out.push_back(kScroll0[i] + (kScroll1[i] - kScroll0[i]) * f);
  return out;
}

// --- evaluation ---------------------------------------------------------------------------------

CSpatial* Named(CSpatial& root, std::u16string_view name) {
  std::vector<CSpatial*> all;
  EXPECT_EQ(root.CollectSpatials(all), kOk);
  for (CSpatial* s : all) {
    if (std::u16string_view(s->GetName()) == name) return s;
  }
  ADD_FAILURE() << "no node " << Narrow(name);
  return nullptr;
}

CUvwMap* SkinMap(CSpatial& root) {
  auto* mesh = DynamicCast<CTriMesh>(Named(root, u"skin"));
  if (mesh == nullptr || mesh->GetTriMeshLod(0) == nullptr || mesh->GetTriMeshLod(0)->GetUvwMapCount() != 1) {
    ADD_FAILURE() << "the skin lacks its UV channel";
    return nullptr;
  }
  return mesh->GetTriMeshLod(0)->GetUvwChannel(0);
}

Result UpdateAt(CSpatial& root, i32 time) { return root.UpdateScene(time, 0, 0.0f, true, nullptr, false); }

// Evaluates every case, checks it and answers every value seen, in case
// order.
std::vector<f32> EvaluateAndCheck(CSpatial& root) {
  std::vector<f32> seen;
  CSpatial* character = Named(root, u"character");
  CUvwMap* map = SkinMap(root);
  if (character == nullptr || map == nullptr) return seen;
  for (const PoseCase& c : kPoses) {
    SCOPED_TRACE("character at " + std::to_string(c.time));
    EXPECT_EQ(UpdateAt(root, c.time), kOk);
    const Vec got = character->GetLocal().Translate;
    test::ExpectNear(got, c.translate);
    test::ExpectNear(character->GetWorldMatrix().GetTranslation(), c.translate);
    seen.insert(seen.end(), {got.x, got.y, got.z});
  }
  for (const TimeCase& c : kChildTimes) {
    SCOPED_TRACE(Narrow(c.node) + " at " + std::to_string(c.time));
    CSpatial* node = Named(root, c.node);
    if (node == nullptr) continue;
    EXPECT_EQ(UpdateAt(root, c.time), kOk);
    const f32 x = node->GetLocal().Translate.x;
    EXPECT_NEAR(x, static_cast<f32>(std::min(c.childTime, 1000)) / 100.0f, 1e-4f);
    seen.push_back(x);
  }
  for (const UvCase& c : kUvs) {
    SCOPED_TRACE("skin at " + std::to_string(c.time));
    EXPECT_EQ(UpdateAt(root, c.time), kOk);
    const std::vector<Vec> expected = c.scroll < 0.0f ? kStill : Scroll(c.scroll);
    if (map->GetUVW().GetCount() != expected.size()) {
      ADD_FAILURE() << "the skin has " << map->GetUVW().GetCount() << " coordinates";
      continue;
    }
    for (u32 i = 0; i < expected.size(); ++i) {
      test::ExpectNear(map->GetUVW()[i], expected[i], 1e-4f);
      seen.insert(seen.end(), {map->GetUVW()[i].x, map->GetUVW()[i].y, map->GetUVW()[i].z});
    }
  }
  return seen;
}

class ClipsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = CClassFactory::GetRegistry();
    RegisterLibraryClasses();
    test::UseTestIds(0);
  }
  void TearDown() override { CClassFactory::GetRegistry() = saved_; }

 private:
  CClassFactory::Registry saved_;
};

TEST_F(ClipsTest, ClipAnimatedSceneEvaluatesTheSameBeforeAndAfterAFileRoundTrip) {
  CPointer<CNode> scene = BuildScene();
  // An endless clip ends beyond any scene time.
  auto* endless = DynamicCast<CRTSClipControl>(Named(*scene, u"endless")->GetFirstControl());
  ASSERT_NE(endless, nullptr);
  EXPECT_EQ(endless->GetEndTime(), kMaxKeyTime);

  const Bytes first = test::SaveRoots({scene.Get()});
  ASSERT_FALSE(first.empty());
  const std::vector<f32> before = EvaluateAndCheck(*scene);

  test::UseTestIds(1);
  CStream stream;
  CMemoryIo device;
  ASSERT_EQ(test::LoadScene(first, stream, device), kOk);
  ASSERT_EQ(stream.GetRootObjectCount(), 1u);
  auto* loaded = DynamicCast<CNode>(stream.GetRootObject(0));
  ASSERT_NE(loaded, nullptr);
  ASSERT_NE(loaded, scene.Get());
  auto* clips = DynamicCast<CRTSClipControl>(Named(*loaded, u"character")->GetFirstControl());
  ASSERT_NE(clips, nullptr);
  ASSERT_EQ(clips->GetChildCount(), 2u);
  EXPECT_EQ(clips->GetChild(0)->GetName(), u"walk");
  EXPECT_EQ(clips->GetChild(1)->GetObject(), clips->GetObject());
  CUvwMap* map = SkinMap(*loaded);
  ASSERT_NE(map, nullptr);
  auto* uvClips = DynamicCast<CUvwMapClipControl>(map->GetFirstControl());
  ASSERT_NE(uvClips, nullptr);
  ASSERT_EQ(uvClips->GetChildCount(), 2u);
  EXPECT_EQ(uvClips->GetChild(1)->GetObject(), map);
  // Loaded and not yet evaluated, the scene saves to the same file.
  EXPECT_EQ(test::RenumberIds(test::SaveLoaded(stream)), test::RenumberIds(first));

  const std::vector<f32> after = EvaluateAndCheck(*loaded);
  EXPECT_EQ(after, before);
}

}  // namespace
}  // namespace KT
