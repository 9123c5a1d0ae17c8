#include "examples/scenes/g5_scenes.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>

#include "exporter/validation/bone_hierarchy.h"
#include "exporter/validation/rig_names.h"
#include "platform/host/description_file.h"
#include "platform/host/scene_builder.h"
#include "platform/imaging/png_codec.h"
#include "platform/text_encoding.h"

namespace KT::Examples {

namespace {

using Host::FaceDesc;
using Host::MapChannelDesc;
using Host::MeshDesc;
using Host::ModifierDesc;
using Host::ModifierKind;
using Host::NodeBuilder;
using Host::SceneBuilder;

constexpr int kTicksPerFrame = 160;  // 30 frames per second
constexpr TimeValue kMidTick = 30 * kTicksPerFrame;
constexpr TimeValue kEndTick = 60 * kTicksPerFrame;
constexpr DWORD kBodyInherit = 448;
constexpr DWORD kFaceInherit = 0;
constexpr int kFaceVertices = 1907;

// Turns of ten degrees about X, Y and Z (literal values, so every build
// writes the same digits).
constexpr float kSin5 = 0.0871557427f;
constexpr float kCos5 = 0.9961946981f;
constexpr Quat kTurnX(kSin5, 0.0f, 0.0f, kCos5);
constexpr Quat kTurnY(0.0f, kSin5, 0.0f, kCos5);
constexpr Quat kTurnZ(0.0f, 0.0f, kSin5, kCos5);

std::string Narrow(const KT::WString& name) { return Platform::Utf16ToWindows1252Lossy(name); }

bool IsFaceObject(const std::string& name) {
  return name == "KT_L_Eye" || name == "KT_R_Eye" || name == "KT_UpperTeeth" || name == "KT_DownTeeth" ||
         name == "KT_Tongue";
}

// The parent-to-children layout of the host's rig: the full body template
// with its end bone under the head, the neck as the host has it before the
// export rebuilds it, and the facial rig under the head.
BoneHierarchyMap HostRigLayout() {
  BoneHierarchyMap rig;
  BuildFullBodyHierarchy(rig);
  BuildHeadLinkHierarchy(rig);
  AddChildren(rig, u"KT_Head", {u"KT_HeadNub", u"Bone_Connect"});
  AddChildren(rig, u"KT_Neck", {u"KT_Head", u"KT_NeckTwist01"});
  AddChildren(rig, u"KT_NeckTwist01", {u"KT_NeckTwist02"});
  return rig;
}

// Rest offsets of the main body bones from their parents (left side; the
// right side mirrors X), in centimetres, Z up, the character facing -Y.
const std::map<std::string, Point3>& BodyOffsets() {
  static const std::map<std::string, Point3> offsets = {
      {"KT_Hips", {0, 0, 95}},          {"KT_Pelvis", {0, 0, -3}},        {"KT_Thigh", {9, 0, -6}},
      {"KT_Calf", {0, 0, -42}},         {"KT_Foot", {0, 0, -40}},         {"KT_Toe", {0, -13, -7}},
      {"KT_Waist", {0, 0, 4}},          {"KT_Spine01", {0, 0, 12}},       {"KT_Spine02", {0, 0, 14}},
      {"KT_Neck", {0, 0, 16}},          {"KT_NeckTwist01", {0, 0, 3}},    {"KT_NeckTwist02", {0, 0, 3}},
      {"KT_Head", {0, 1, 9}},           {"KT_HeadNub", {0, 0, 20}},       {"KT_Clavicle", {3, -1, 12}},
      {"KT_UpperArm", {14, 0, 0}},      {"KT_Forearm", {28, 0, 0}},       {"KT_Hand", {25, 0, 0}},
      {"KT_ThighTwist01", {0, 0, -14}}, {"KT_ThighTwist02", {0, 0, -14}}, {"KT_CalfTwist01", {0, 0, -13}},
      {"KT_CalfTwist02", {0, 0, -13}},  {"KT_Knee", {0, -6, 0}},          {"KT_Hip0", {0, -8, -4}},
      {"KT_UpperArmTwist01", {9, 0, 0}}, {"KT_UpperArmTwist02", {9, 0, 0}}, {"KT_ForearmTwist01", {9, 0, 0}},
      {"KT_ForearmTwist02", {9, 0, 0}}, {"KT_Elbow", {0, 4, 0}},          {"KT_Abdominal", {5, -10, 0}},
      {"KT_Ribs", {8, -2, 4}},          {"KT_RibsTwist", {2, -6, 0}},     {"KT_Breast", {0, -5, -2}},
  };
  return offsets;
}

// The rest offset of a rig node from its parent; `slot` is its place
// among its parent's children. Bones without an entry (fingers, contacts,
// pivots, end bones and the facial rig) get a short step that spreads
// siblings apart.
Point3 RestOffset(const std::string& name, int slot, bool facial) {
  float side = 1.0f;
  std::string key = name;
  if (name.rfind("KT_L_", 0) == 0 || name.rfind("KT_R_", 0) == 0) {
    side = name[3] == 'L' ? 1.0f : -1.0f;
    key = "KT_" + name.substr(5);
  }
  const auto& offsets = BodyOffsets();
  if (auto it = offsets.find(key); it != offsets.end()) return {side * it->second.x, it->second.y, it->second.z};
  if (facial) return {static_cast<float>(slot % 5 - 2), -1.5f, static_cast<float>(slot % 3) * 0.5f};
  if (key.rfind("KT_Finger", 0) == 0 && key.size() == 11 && key[10] == '0') {
    const int finger = key[9] - '0';  // a finger's first joint sits on the hand
    return {side * 8.0f, static_cast<float>(2 * finger - 5), 0.0f};
  }
  return {side * 3.0f, static_cast<float>(slot % 3 - 1), slot % 2 == 0 ? -1.0f : 0.0f};
}

// The turn a bone takes at frame 30 (back to rest at 60), or none.
bool Swing(const std::string& name, Quat& turn) {
  std::string key = name;
  if (name.rfind("KT_L_", 0) == 0 || name.rfind("KT_R_", 0) == 0) key = "KT_" + name.substr(5);
  if (key == "KT_Spine01" || key == "KT_Spine02" || key == "KT_Thigh" || key == "KT_Calf") {
    turn = kTurnX;
  } else if (key == "KT_UpperArm" || key == "KT_Forearm" || key == "KT_Neck") {
    turn = kTurnZ;
  } else if (key == "KT_Head" || key == "KT_Waist" || key == "Bone_Jaw01") {
    turn = kTurnY;
  } else {
    return false;
  }
  return true;
}

// A sheet of `count` vertices in rows of `width` (the last row may be
// short): vertex (row r, column c) at origin + c du + r dv, two triangles
// per cell whose four corners exist, smoothing group 1, material id
// `mtl(row, column)` of the cell, and map channel 1 spread over the sheet.
MeshDesc Sheet(int count, int width, Point3 origin, Point3 du, Point3 dv,
               const std::function<DWORD(int, int)>& mtl = [](int, int) { return DWORD{0}; }) {
  MeshDesc mesh;
  const int rows = (count + width - 1) / width;
  MapChannelDesc uv;
  uv.channel = 1;
  for (int i = 0; i < count; ++i) {
    const int r = i / width;
    const int c = i % width;
    const float fc = static_cast<float>(c);
    const float fr = static_cast<float>(r);
    mesh.verts.push_back({origin.x + fc * du.x + fr * dv.x, origin.y + fc * du.y + fr * dv.y,
                          origin.z + fc * du.z + fr * dv.z});
    uv.verts.push_back({fc / static_cast<float>(width - 1), fr / static_cast<float>(rows > 1 ? rows - 1 : 1), 0.0f});
  }
  for (int r = 0; r + 1 < rows; ++r) {
    for (int c = 0; c + 1 < width; ++c) {
      const int a = r * width + c;
      const int d = a + width + 1;
      if (d >= count) continue;
      const DWORD id = mtl(r, c);
      const auto v = [](int i) { return static_cast<DWORD>(i); };
      mesh.faces.push_back(FaceDesc{{v(a), v(a + 1), v(d)}, 1, id});
      mesh.faces.push_back(FaceDesc{{v(a), v(d), v(a + width)}, 1, id});
      uv.faces.push_back({v(a), v(a + 1), v(d)});
      uv.faces.push_back({v(a), v(d), v(a + width)});
    }
  }
  mesh.maps.push_back(std::move(uv));
  return mesh;
}

// Every vertex of a sheet bound to one bone, row bands from the first bone
// to the last.
ModifierDesc SkinByRows(int count, int width, const std::vector<int>& bones) {
  ModifierDesc skin;
  skin.kind = ModifierKind::kSkin;
  skin.bones = bones;
  const int rows = (count + width - 1) / width;
  for (int i = 0; i < count; ++i) {
    const int band = (i / width) * static_cast<int>(bones.size()) / rows;
    skin.vertices.push_back({i, 1, {{band, 1.0f}}});
  }
  return skin;
}

struct SetRange {
  const char* name;
  int first;
  int count;
};

ModifierDesc SelectionSets(int vertices, std::initializer_list<SetRange> sets) {
  ModifierDesc select;
  select.kind = ModifierKind::kMeshSelect;
  for (const SetRange& range : sets) {
    Host::SelectionSetDesc set;
    set.name = range.name;
    set.size = vertices;
    for (int i = range.first; i < range.first + range.count; ++i) set.bits.push_back(i);
    select.sets.push_back(std::move(set));
  }
  return select;
}

// Two morph channels moving the rows `lift` and `close` of a sheet.
ModifierDesc FaceMorpher(int count, int width) {
  ModifierDesc morpher;
  morpher.kind = ModifierKind::kMorpher;
  Host::MorphChannelDesc smile{"Smile", std::vector<Point3>(static_cast<std::size_t>(count))};
  Host::MorphChannelDesc blink{"Blink", std::vector<Point3>(static_cast<std::size_t>(count))};
  const int rows = (count + width - 1) / width;
  for (int i = 0; i < count; ++i) {
    const int r = i / width;
    if (r == 1) smile.deltas[static_cast<std::size_t>(i)] = {0.0f, 0.0f, 0.5f};
    if (r == rows * 3 / 4) blink.deltas[static_cast<std::size_t>(i)] = {0.0f, 0.0f, -0.25f};
  }
  morpher.channels = {std::move(smile), std::move(blink)};
  return morpher;
}

Matrix3 At(const Point3& p) {
  Matrix3 m;
  m.SetTrans(p);
  return m;
}

class SceneMaker {
 public:
  explicit SceneMaker(int contentType) {
    b_.TicksPerFrame(kTicksPerFrame).Range(0, kEndTick).RootName("Scene Root").MapFolder("maps");
    b_.IntProperty(u"Ostrel3_Type", contentType);
  }

  // The rig under the root, parents first, each bone keyed at frames 0, 30
  // and 60; the face objects as meshes with their materials.
  void AddRig(const std::map<std::string, std::string>& renames = {}) {
    const BoneHierarchyMap layout = HostRigLayout();
    struct Open {
      std::string name;
      int parent;
      int slot;
    };
    std::vector<Open> open{{"KT_Hips", -1, 0}};
    while (!open.empty()) {
      const Open item = open.back();
      open.pop_back();
      const bool facial = !IsBody(item.name);
      int index;
      if (IsFaceObject(item.name)) {
        index = AddFaceObject(item.name, item.parent);
      } else {
        const auto renamed = renames.find(item.name);
        NodeBuilder node = b_.AddNode(renamed != renames.end() ? renamed->second : item.name, item.parent);
        const Point3 rest = RestOffset(item.name, item.slot, facial);
        node.Bone().Controller(Host::ControllerKind::kPrs, facial ? kFaceInherit : kBodyInherit);
        node.PositionKey(0, rest).RotationKey(0, Quat()).RotationKey(kEndTick, Quat());
        Quat turn;
        if (Swing(item.name, turn)) node.RotationKey(kMidTick, turn);
        index = node.Index();
      }
      bones_[item.name] = index;
      auto children = layout.find(KT::Platform::Windows1252ToUtf16(item.name));
      if (children == layout.end()) continue;
      // Pushed last to first, so the children are added in template order.
      const auto& list = children->second;
      for (std::size_t i = list.size(); i-- > 0;) open.push_back({Narrow(list[i]), index, static_cast<int>(i)});
    }
  }

  // KT_Upper, KT_Lower, KT_Hands and KT_Shoes, skinned, with their
  // materials and connect sets; KT_Upper's material has the texture.
  void AddBody() {
    b_.AddMaterial("upper_skin", "KT_Skin")
        .Set("diffuse", {0.88f, 0.68f, 0.59f})
        .Slot(1, 1.0f, Host::BitmapMap("maps\\g5_upper_skin.png", 1));
    b_.AddMaterial("body_skin", "KT_Skin").Set("diffuse", {0.86f, 0.66f, 0.57f});

    constexpr int kCount = 64;
    constexpr int kWidth = 8;
    AddPart("KT_Upper", "upper_skin", Sheet(kCount, kWidth, {-14, -10, 100}, {4, 0, 0}, {0, 0, 7}),
            SkinByRows(kCount, kWidth, Bones({"KT_Waist", "KT_Spine01", "KT_Spine02", "KT_L_Clavicle"})),
            SelectionSets(kCount, {{"connect01", 40, 24}, {"connect05", 0, 12}, {"connect06", 12, 12},
                                   {"connect20", 0, 28}}));
    AddPart("KT_Lower", "body_skin", Sheet(kCount, kWidth, {-14, -10, 8}, {4, 0, 0}, {0, 0, 13}),
            SkinByRows(kCount, kWidth, Bones({"KT_L_Calf", "KT_L_Thigh", "KT_Pelvis", "KT_Hips"})),
            SelectionSets(kCount, {{"connect03", 0, 14}, {"connect04", 14, 14}, {"connect20", 36, 28}}));
    AddPart("KT_Hands", "body_skin", Sheet(kCount, kWidth, {70, -6, 140}, {3, 0, 0}, {0, 1.5f, 0}),
            SkinByRows(kCount, kWidth, Bones({"KT_L_Hand", "KT_L_Finger10", "KT_L_Finger11", "KT_L_Finger12"})),
            SelectionSets(kCount, {{"connect05", 0, 12}, {"connect06", 32, 12}}));
    AddPart("KT_Shoes", "body_skin", Sheet(kCount, kWidth, {-14, -20, 0}, {4, 0, 0}, {0, 3, 0}),
            SkinByRows(kCount, kWidth, Bones({"KT_L_Toe", "KT_L_Foot", "KT_R_Toe", "KT_R_Foot"})),
            SelectionSets(kCount, {{"connect03", 0, 14}, {"connect04", 50, 14}}));
  }

  // KT_Face: `count` vertices, skinned to the head and jaw, its
  // multi-material (the mouth's cells use "KT_Cavity"), connect01 (and
  // "Custom_Face" when asked) and the Morpher.
  void AddFace(int count, int width, bool customFace) {
    b_.AddMaterial("face_skin", "KT_Skin").Set("diffuse", {0.9f, 0.7f, 0.61f});
    b_.AddMaterial("face_cavity", "KT_Cavity").Set("diffuse", {0.4f, 0.1f, 0.1f});
    b_.AddMaterial("face", "KT_Face", Host::MaterialClass::kMulti).Sub("face_skin").Sub("face_cavity");
    const float step = 12.0f / static_cast<float>(width - 1);
    MeshDesc mesh = Sheet(count, width, {-6, -11, 160}, {step, 0, 0}, {0, 0, step},
                          [](int r, int) { return DWORD{r < 2 ? 1u : 0u}; });
    ModifierDesc sets = customFace ? SelectionSets(count, {{"connect01", 0, 24}, {"Custom_Face", 24, 40}})
                                   : SelectionSets(count, {{"connect01", 0, 24}});
    AddPart("KT_Face", "face", std::move(mesh), SkinByRows(count, width, Bones({"Bone_Jaw01", "KT_Head"})),
            std::move(sets), FaceMorpher(count, width));
  }

  SceneDescription Take() { return b_.Description(); }

 private:
  static bool IsBody(const std::string& name) {
    const KT::WString wide = KT::Platform::Windows1252ToUtf16(name);
    return !InRigTable(FacialBones, wide) && !InRigTable(FaceControlPoints, wide) && !InRigTable(FaceMeshNames, wide);
  }

  std::vector<int> Bones(std::initializer_list<const char*> names) const {
    std::vector<int> out;
    for (const char* name : names) out.push_back(bones_.at(name));
    return out;
  }

  // An eye, the teeth or the tongue: a small sheet under its facial bone
  // with its material (the eyes' a multi-material of iris and lens).
  int AddFaceObject(const std::string& name, int parent) {
    std::string material;
    MeshDesc mesh;
    if (name == "KT_L_Eye" || name == "KT_R_Eye") {
      if (!eyeMaterials_) {
        b_.AddMaterial("iris", "KT_Iris").Set("diffuse", {0.3f, 0.4f, 0.6f});
        b_.AddMaterial("lens", "KT_Lens").Set("opacity", {0.2f});
        b_.AddMaterial("eyes", "KT_Eyes", Host::MaterialClass::kMulti).Sub("iris").Sub("lens");
        eyeMaterials_ = true;
      }
      material = "eyes";
      mesh = Sheet(9, 3, {-1, 0, -1}, {1, 0, 0}, {0, 0, 1}, [](int r, int c) { return DWORD(r == c ? 0u : 1u); });
    } else {
      material = name == "KT_UpperTeeth" ? "upper_teeth" : name == "KT_DownTeeth" ? "down_teeth" : "tongue";
      b_.AddMaterial(material, name).Set("diffuse", {0.95f, 0.92f, 0.85f});
      mesh = Sheet(12, 6, {-2.5f, 0, 0}, {1, 0, 0}, {0, -1, 0});
    }
    NodeBuilder node = b_.AddNode(name, parent);
    node.Local(At({0, -1, 0})).Material(material).Mesh(std::move(mesh));
    return node.Index();
  }

  template <typename... Modifiers>
  void AddPart(const std::string& name, const std::string& material, MeshDesc mesh, Modifiers... modifiers) {
    NodeBuilder node = b_.AddNode(name);
    node.Material(material).Mesh(std::move(mesh));
    (node.Modifier(std::move(modifiers)), ...);
  }

  SceneBuilder b_;
  std::map<std::string, int> bones_;
  bool eyeMaterials_ = false;
};

SceneDescription Character(const std::map<std::string, std::string>& renames) {
  SceneMaker maker(13);
  maker.AddRig(renames);
  maker.AddBody();
  maker.AddFace(64, 8, true);
  return maker.Take();
}

// A skin-toned 2048 x 512 texture with darker bands every 256 columns.
bool WriteUpperTexture(const std::filesystem::path& path, std::string& error) {
  Imaging::RgbaPixels image;
  image.width = kUpperTextureWidth;
  image.height = kUpperTextureHeight;
  image.rgba.resize(static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height) * 4);
  for (int y = 0; y < image.height; ++y) {
    for (int x = 0; x < image.width; ++x) {
      const bool band = x % 256 < 16;
      std::uint8_t* p = &image.rgba[(static_cast<std::size_t>(y) * static_cast<std::size_t>(image.width) +
                                       static_cast<std::size_t>(x)) * 4];
      p[0] = band ? 180 : 224;
      p[1] = band ? 130 : 172;
      p[2] = band ? 110 : 150;
      p[3] = 255;
    }
  }
  std::vector<std::uint8_t> bytes;
  if (!Imaging::EncodePng(image, false, bytes)) {
    error = "cannot encode " + path.string();
    return false;
  }
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!out) {
    error = "cannot write " + path.string();
    return false;
  }
  return true;
}

}  // namespace

SceneDescription G5CharacterScene() { return Character({}); }

SceneDescription G5CharacterBrokenScene() { return Character({{"KT_L_Toe", "KT_L_Toe1"}}); }

SceneDescription G5FaceScene() {
  SceneMaker maker(14);
  maker.AddRig();
  maker.AddFace(kFaceVertices, 44, false);
  return maker.Take();
}

SceneDescription BipedMotionScene() {
  // A small biped keyed over frames 0 to 60: the body controller on the
  // pelvis, slave controllers on the bones above and below it.
  constexpr int kTicks = 160;
  Host::SceneBuilder b;
  b.RootName("Scene").TicksPerFrame(kTicks).Range(0, 60 * kTicks);
  const int pelvis = b.AddNode("Bip01 Pelvis")
                         .Bone()
                         .Controller(Host::ControllerKind::kBipedBody, 0)
                         .PositionKey(0, Point3(0.0f, 0.0f, 40.0f))
                         .PositionKey(30 * kTicks, Point3(0.0f, 15.0f, 42.0f))
                         .PositionKey(60 * kTicks, Point3(0.0f, 30.0f, 40.0f))
                         .Index();
  const struct {
    const char* name;
    Point3 offset;
  } slaves[] = {{"Bip01 Spine", Point3(0.0f, 0.0f, 8.0f)},
                {"Bip01 L Thigh", Point3(-6.0f, 0.0f, -2.0f)},
                {"Bip01 R Thigh", Point3(6.0f, 0.0f, -2.0f)}};
  for (const auto& slave : slaves) {
    b.AddNode(slave.name, pelvis)
        .Bone()
        .Controller(Host::ControllerKind::kBipedSlave, 0)
        .PositionKey(0, slave.offset)
        .RotationKey(0, Quat())
        .RotationKey(30 * kTicks, kTurnX)
        .RotationKey(60 * kTicks, Quat());
  }
  return b.Description();
}

const std::vector<ExampleScene>& ExampleScenes() {
  static const std::vector<ExampleScene> scenes = {
      {"g5_character.xml", &G5CharacterScene},
      {"g5_face.xml", &G5FaceScene},
      {"g5_character_broken.xml", &G5CharacterBrokenScene},
      {"biped_motion.xml", &BipedMotionScene},
  };
  return scenes;
}

bool WriteExampleScenes(const std::string& folder, std::string& error) {
  const std::filesystem::path root(folder);
  for (const ExampleScene& scene : ExampleScenes()) {
    if (!Host::WriteDescriptionFile(scene.build(), (root / scene.file).string(), error)) return false;
  }
  std::error_code ec;
  std::filesystem::create_directories(root / "maps", ec);
  return WriteUpperTexture(root / kUpperTexture, error);
}

}  // namespace KT::Examples
