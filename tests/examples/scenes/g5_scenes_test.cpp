#include "examples/scenes/g5_scenes.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <string>

#include "exporter/validation/rig_names.h"
#include "platform/host/bitmap_manager.h"
#include "platform/host/description_file.h"
#include "platform/host/host_scene.h"
#include "platform/imaging/png_codec.h"
#include "platform/text_encoding.h"

namespace {

using KT::Host::ModifierKind;
using KT::Host::NodeDesc;
using KT::Host::SceneDescription;

const std::string kFolder = KT_EXAMPLE_SCENES_DIR;

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

SceneDescription ReadCommitted(const std::string& file) {
  SceneDescription out;
  std::string error;
  EXPECT_TRUE(KT::Host::ReadDescriptionFile(kFolder + "/" + file, out, error)) << file << ": " << error;
  return out;
}

const NodeDesc* FindNode(const SceneDescription& scene, const std::string& name) {
  for (const NodeDesc& node : scene.nodes)
    if (node.name == name) return &node;
  return nullptr;
}

std::string ParentName(const SceneDescription& scene, const std::string& name) {
  const NodeDesc* node = FindNode(scene, name);
  if (node == nullptr || node->parent < 0) return "";
  return scene.nodes[static_cast<std::size_t>(node->parent)].name;
}

const KT::Host::ModifierDesc* FindModifier(const NodeDesc& node, ModifierKind kind) {
  for (const auto& modifier : node.modifiers)
    if (modifier.kind == kind) return &modifier;
  return nullptr;
}

// Set name -> number of selected vertices, of the node's selection modifier.
std::map<std::string, std::size_t> Sets(const NodeDesc& node) {
  std::map<std::string, std::size_t> out;
  if (const auto* select = FindModifier(node, ModifierKind::kMeshSelect))
    for (const auto& set : select->sets) out[set.name] = set.bits.size();
  return out;
}

bool IsFaceRig(const std::string& name) {
  const std::u16string wide = KT::Platform::Windows1252ToUtf16(name);
  return InRigTable(FacialBones, wide) || InRigTable(FaceControlPoints, wide) || InRigTable(FaceMeshNames, wide);
}

TEST(ExampleScenes, TheBuilderStillWritesTheCommittedFiles) {
  for (const KT::Examples::ExampleScene& scene : KT::Examples::ExampleScenes()) {
    std::string text;
    std::string error;
    ASSERT_TRUE(KT::Host::FormatDescription(scene.build(), text, error)) << scene.file << ": " << error;
    EXPECT_TRUE(text == ReadBytes(kFolder + "/" + scene.file))
        << scene.file << " differs from its builder; run write_example_scenes examples/scenes";
  }
}

TEST(ExampleScenes, TheCommittedFilesReadBackAsTheirScenes) {
  for (const KT::Examples::ExampleScene& scene : KT::Examples::ExampleScenes()) {
    const SceneDescription built = scene.build();
    const SceneDescription read = ReadCommitted(scene.file);
    ASSERT_EQ(read.nodes.size(), built.nodes.size()) << scene.file;
    for (std::size_t i = 0; i < read.nodes.size(); ++i) {
      EXPECT_EQ(read.nodes[i].name, built.nodes[i].name);
      EXPECT_EQ(read.nodes[i].parent, built.nodes[i].parent);
      EXPECT_EQ(read.nodes[i].inherit, built.nodes[i].inherit);
      EXPECT_EQ(read.nodes[i].mesh.verts.size(), built.nodes[i].mesh.verts.size());
      EXPECT_EQ(read.nodes[i].modifiers.size(), built.nodes[i].modifiers.size());
    }
    EXPECT_EQ(read.materials.size(), built.materials.size());
    std::string error;
    EXPECT_NE(KT::Host::HostScene::Create(read, &error), nullptr) << scene.file << ": " << error;
  }
}

TEST(ExampleScenes, TheCharacterHasTheWholeRigKeyedOverSixtyFrames) {
  const SceneDescription scene = ReadCommitted("g5_character.xml");
  EXPECT_EQ(scene.ticksPerFrame, 160);
  EXPECT_EQ(scene.end - scene.start, 60 * 160);
  std::set<std::string> names;
  for (const NodeDesc& node : scene.nodes) names.insert(node.name);
  const auto holdsAll = [&names](const auto& table) {
    for (const char16_t* name : table)
      if (names.count(KT::Platform::Utf16ToWindows1252Lossy(name)) == 0) return false;
    return true;
  };
  EXPECT_TRUE(holdsAll(RequiredBodyBones) && holdsAll(FootFloorBones) && holdsAll(HandFloorBones) &&
              holdsAll(HandPivotBones) && holdsAll(NubBones) && holdsAll(FacialBones) &&
              holdsAll(FaceControlPoints));
  for (const NodeDesc& node : scene.nodes) {
    if (node.object != KT::Host::ObjectKind::kBone) continue;
    EXPECT_EQ(node.inherit, IsFaceRig(node.name) ? 0u : 448u) << node.name;
    ASSERT_TRUE(node.rotation.has_value()) << node.name;
    EXPECT_EQ(node.rotation->front().t, 0);
    EXPECT_EQ(node.rotation->back().t, 60 * 160);
  }
}

TEST(ExampleScenes, TheNeckStandsAsTheHostHasItBeforeTheExportRebuildsIt) {
  for (const char* file : {"g5_character.xml", "g5_face.xml"}) {
    const SceneDescription scene = ReadCommitted(file);
    EXPECT_EQ(ParentName(scene, "KT_Neck"), "KT_Spine02") << file;
    EXPECT_EQ(ParentName(scene, "KT_Head"), "KT_Neck") << file;
    EXPECT_EQ(ParentName(scene, "KT_NeckTwist01"), "KT_Neck") << file;
    EXPECT_EQ(ParentName(scene, "KT_NeckTwist02"), "KT_NeckTwist01") << file;
    EXPECT_EQ(ParentName(scene, "Bone_Connect"), "KT_Head") << file;
    EXPECT_EQ(ParentName(scene, "KT_L_Eye"), "Bone_Eye-L") << file;
    EXPECT_EQ(ParentName(scene, "KT_UpperTeeth"), "Bone_Supramaxilla") << file;
  }
}

TEST(ExampleScenes, TheBodyPartsCarryTheirMaterialsSkinsAndConnectSets) {
  const SceneDescription scene = ReadCommitted("g5_character.xml");
  const std::map<std::string, std::map<std::string, std::size_t>> expected = {
      {"KT_Upper", {{"connect01", 24}, {"connect05", 12}, {"connect06", 12}, {"connect20", 28}}},
      {"KT_Lower", {{"connect03", 14}, {"connect04", 14}, {"connect20", 28}}},
      {"KT_Hands", {{"connect05", 12}, {"connect06", 12}}},
      {"KT_Shoes", {{"connect03", 14}, {"connect04", 14}}},
      {"KT_Face", {{"connect01", 24}, {"Custom_Face", 40}}},
  };
  std::map<std::string, std::string> materialNames;
  for (const auto& material : scene.materials) materialNames[material.id] = material.name;
  for (const auto& [name, sets] : expected) {
    const NodeDesc* node = FindNode(scene, name);
    ASSERT_NE(node, nullptr) << name;
    EXPECT_EQ(node->parent, -1) << name;
    EXPECT_EQ(Sets(*node), sets) << name;
    EXPECT_NE(FindModifier(*node, ModifierKind::kSkin), nullptr) << name;
    EXPECT_EQ(materialNames[node->material], name == "KT_Face" ? "KT_Face" : "KT_Skin") << name;
  }
  const NodeDesc* face = FindNode(scene, "KT_Face");
  const auto* morpher = FindModifier(*face, ModifierKind::kMorpher);
  ASSERT_NE(morpher, nullptr);
  EXPECT_EQ(morpher->channels.size(), 2u);
}

TEST(ExampleScenes, TheFaceHas1907VerticesAndNoCustomSet) {
  const SceneDescription scene = ReadCommitted("g5_face.xml");
  const NodeDesc* face = FindNode(scene, "KT_Face");
  ASSERT_NE(face, nullptr);
  EXPECT_EQ(face->mesh.verts.size(), 1907u);
  EXPECT_EQ(Sets(*face), (std::map<std::string, std::size_t>{{"connect01", 24}}));
  for (const char* part : {"KT_Upper", "KT_Lower", "KT_Hands", "KT_Shoes"}) EXPECT_EQ(FindNode(scene, part), nullptr);
}

TEST(ExampleScenes, TheBrokenCharacterMisnamesTheLeftToeOnly) {
  const SceneDescription good = ReadCommitted("g5_character.xml");
  const SceneDescription broken = ReadCommitted("g5_character_broken.xml");
  ASSERT_EQ(good.nodes.size(), broken.nodes.size());
  int differences = 0;
  for (std::size_t i = 0; i < good.nodes.size(); ++i) {
    if (good.nodes[i].name == broken.nodes[i].name) continue;
    ++differences;
    EXPECT_EQ(good.nodes[i].name, "KT_L_Toe");
    EXPECT_EQ(broken.nodes[i].name, "KT_L_Toe1");
  }
  EXPECT_EQ(differences, 1);
}

TEST(ExampleScenes, TheUpperTextureIsFoundOnTheMapFolderAndIs2048By512) {
  const SceneDescription scene = ReadCommitted("g5_character.xml");
  auto host = KT::Host::HostScene::Create(scene);
  ASSERT_NE(host, nullptr);
  KT::Host::ActiveHostScene active(*host);
  std::string file;
  for (const auto& material : scene.materials)
    if (material.id == "upper_skin" && material.slots[1].map && material.slots[1].map->bitmap)
      file = material.slots[1].map->bitmap->file;
  ASSERT_FALSE(file.empty());
  BitmapInfo info;
  info.SetName(file.c_str());
  ASSERT_TRUE(BMMGetFullFilename(&info)) << file;
  const std::string bytes = ReadBytes(info.Name());
  KT::Imaging::RgbaPixels image;
  ASSERT_TRUE(KT::Imaging::DecodePng(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size(), image));
  EXPECT_EQ(image.width, 2048);
  EXPECT_EQ(image.height, 512);
}

}  // namespace
