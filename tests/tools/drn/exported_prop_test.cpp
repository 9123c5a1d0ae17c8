// An exported prop end to end: a skinned, morphed host mesh with named
// vertex sets and an animated Unwrap is converted, saved and loaded, and
// the dump of the file shows the same controllers as the dump of the
// converted scene.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "exporter/plugin/max_drn.h"
#include "objectmodel/memory_io.h"
#include "objectmodel/stream.h"
#include "platform/host/host_scene.h"
#include "platform/host/scene_builder.h"
#include "tests/objectmodel/stream_test_support.h"
#include "tools/drn/commands.h"
#include "tools/drn/scene_file.h"

namespace drn {
namespace {

using KT::Host::ModifierDesc;
using KT::Host::ModifierKind;

constexpr int kTicksPerFrame = 160;

// "Prop", a quad of two triangles skinned to "Bone", with a Morpher of two
// channels, two named vertex sets and an Unwrap on map channel 1 whose
// coordinates slide by one unit in u from frame 10 to frame 20.
std::unique_ptr<KT::Host::HostScene> PropScene() {
  KT::Host::SceneBuilder b;
  b.TicksPerFrame(kTicksPerFrame).Range(0, 30 * kTicksPerFrame);
  b.AddNode("Bone").Bone().PositionKey(0, Point3(0, 0, 0)).PositionKey(30 * kTicksPerFrame, Point3(0, 0, 2));

  KT::Host::MeshDesc mesh;
  mesh.verts = {Point3(0, 0, 0), Point3(1, 0, 0), Point3(1, 1, 0), Point3(0, 1, 0)};
  mesh.faces = {KT::Host::FaceDesc{{0, 1, 2}, 1, 0}, KT::Host::FaceDesc{{0, 2, 3}, 1, 0}};
  KT::Host::MapChannelDesc uv;
  uv.channel = 1;
  uv.verts = {Point3(0, 0, 0), Point3(1, 0, 0), Point3(1, 1, 0), Point3(0, 1, 0)};
  uv.faces = {{0, 1, 2}, {0, 2, 3}};
  uv.keys = {{10 * kTicksPerFrame, uv.verts},
             {20 * kTicksPerFrame, {Point3(1, 0, 0), Point3(2, 0, 0), Point3(2, 1, 0), Point3(1, 1, 0)}}};
  mesh.maps = {uv};

  ModifierDesc skin;
  skin.kind = ModifierKind::kSkin;
  skin.bones = {0};
  skin.vertices = {{0, 1, {{0, 1.0f}}}, {1, 1, {{0, 0.5f}}}, {2, 1, {{0, 0.25f}}}};  // vertex 3 has none
  ModifierDesc morph;
  morph.kind = ModifierKind::kMorpher;
  morph.channels = {{"Smile", std::vector<Point3>(4, Point3(0.01f, 0, 0))},
                    {"Blink", std::vector<Point3>(4, Point3(0, 0, -0.02f))}};
  ModifierDesc sets;
  sets.kind = ModifierKind::kMeshSelect;
  sets.sets = {{"Top", 4, {2, 3}}, {"Left", 4, {0, 3}}};
  ModifierDesc unwrap;
  unwrap.kind = ModifierKind::kUnwrap;
  unwrap.channel = 0;  // the Unwrap's own numbering: 0 is map channel 1

  b.AddNode("Prop").Mesh(mesh).Modifier(skin).Modifier(morph).Modifier(sets).Modifier(unwrap);
  return b.Make();
}

std::string Converted(KT::CPointer<KT::CNode>& root) {
  auto scene = PropScene();
  if (scene == nullptr) return {};
  KT::Host::ActiveHostScene active(*scene);
  CMaxDrn context(scene.get(), scene.get(), false);
  context.sampleRate = 5;
  context.clips = {{u"Slide", 10, 20}};
  context.BuildNodes(0);
  context.CreateMeshes();
  root = context.root;
  if (root == nullptr) return {};
  KT::CStream stream;
  stream.AddRootObject(root.Get());
  return DumpSceneText(stream);
}

// The dump without the bookkeeping that a save and load renews: ids,
// reference counts and the Modified flag.
std::string Contents(const std::string& dump) {
  std::string out;
  std::size_t at = 0;
  while (at < dump.size()) {
    std::size_t end = dump.find('\n', at);
    if (end == std::string::npos) end = dump.size();
    const std::string line = dump.substr(at, end - at);
    if (line.find("VuskID = ") == std::string::npos && line.find("References = ") == std::string::npos &&
        line.find("Modified = ") == std::string::npos)
      out += line + "\n";
    at = end + 1;
  }
  return out;
}

int Count(const std::string& text, const std::string& what) {
  int n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

TEST(ExportedPropTest, TheConvertedControllersSurviveTheFile) {
  RegisterAllClasses();
  KT::CPointer<KT::CNode> root;
  const std::string before = Converted(root);
  ASSERT_NE(root, nullptr);
  EXPECT_EQ(Count(before, "CBoneSkinControl \""), 1);
  EXPECT_EQ(Count(before, "CMorphControl \"Smile\""), 1);
  EXPECT_EQ(Count(before, "CMorphControl \"Blink\""), 1);
  EXPECT_EQ(Count(before, "CMeshSelControl \"Top\""), 1);
  EXPECT_EQ(Count(before, "CMeshSelControl \"Left\""), 1);
  EXPECT_EQ(Count(before, "CUvwMapClipControl \""), 1);
  EXPECT_EQ(Count(before, "CUvwMapControl \""), 1);

  const KT::test::Bytes bytes = KT::test::SaveRoots({root.Get()});
  ASSERT_FALSE(bytes.empty());
  KT::CStream loaded;
  KT::CMemoryIo device;
  ASSERT_EQ(KT::test::LoadScene(bytes, loaded, device), KT::kOk);
  EXPECT_EQ(Contents(DumpSceneText(loaded)), Contents(before));
}

}  // namespace
}  // namespace drn
