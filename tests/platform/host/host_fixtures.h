// Host scenes built in code for the stand-in's tests: each fixture is a
// SceneDescription made with the SceneBuilder.
#pragma once

#include <cmath>
#include <string>

#include "platform/host/scene_builder.h"

namespace KT::Host::Testing {

inline ModifierDesc Modifier(ModifierKind kind, int channel = 1, bool excluded = false) {
  ModifierDesc m;
  m.kind = kind;
  m.channel = channel;
  m.excluded = excluded;
  return m;
}

inline VertexWeightsDesc Weights(int i, int type, std::vector<WeightDesc> weights) {
  VertexWeightsDesc v;
  v.i = i;
  v.type = type;
  v.weights = std::move(weights);
  return v;
}

// Rotation by `degrees` about z as a host quaternion.
inline Quat RotZ(float degrees) {
  const float half = degrees * 3.14159265f / 360.0f;
  return Quat(0.0f, 0.0f, std::sin(half), std::cos(half));
}

// Hip (keyed position, rotation and scale) > Spine (keyed rotation, offset
// object) > Head (no controller: a constant local matrix), over 0-3200.
inline SceneDescription KeyedHierarchy() {
  SceneBuilder b;
  b.Range(0, 3200).RootName("Scene Root");
  const int hip = b.AddNode("Hip")
                      .Controller(ControllerKind::kPrs, 0x1C0)
                      .PositionKey(0, Point3(0, 0, 10))
                      .PositionKey(1600, Point3(5, 0, 10))
                      .RotationKey(0, Quat())
                      .RotationKey(3200, RotZ(90))
                      .ScaleKey(0, Point3(1, 1, 1))
                      .Selected()
                      .WireColor(255, 0, 0)
                      .Index();
  const int spine = b.AddNode("Spine", hip)
                        .RotationKey(0, RotZ(-30))
                        .RotationKey(1600, RotZ(30))
                        .PositionKey(0, Point3(0, 0, 4))
                        .Offset(Point3(0, 1, 0), RotZ(10), Point3(2, 2, 2))
                        .Shadows(false, true)
                        .Index();
  const float head[12] = {0, 1, 0, -1, 0, 0, 0, 0, 1, 0, 0, 3};
  b.AddNode("Head", spine).Local(Matrix3(head)).Hidden().Bone();
  return b.Description();
}

// A triangle pair with colours, two UV channels (channel 2 animated),
// explicit normals and a stack: Skin (or Physique), Morpher, a mesh
// selection and UVW modifiers, on a rig of two bones.
inline SceneDescription SkinnedProp(bool physique) {
  SceneBuilder b;
  const int root = b.AddNode("Bone Root").Bone().PositionKey(0, Point3(0, 0, 0)).Index();
  const int tip = b.AddNode("Bone Tip", root).Bone().Local(Matrix3({1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 5})).Index();
  MeshDesc mesh;
  mesh.verts = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
  mesh.faces = {{{0, 1, 2}, 1, 0}, {{0, 2, 3}, 3, 1}};
  mesh.colors = {{1, 0, 0}, {0, 1, 0}};
  mesh.colorFaces = {{0, 0, 1}, {1, 1, 0}};
  MapChannelDesc uv1{1, {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}, {{0, 1, 2}, {0, 2, 3}}, {}};
  MapChannelDesc uv3{3, {{0, 0, 0}, {0.5f, 0, 0}, {0.5f, 0.5f, 0}}, {{0, 1, 2}, {0, 2, 1}}, {}};
  InsertKey(uv3.keys, 0, std::vector<Point3>{{0, 0, 0}, {0.5f, 0, 0}, {0.5f, 0.5f, 0}});
  InsertKey(uv3.keys, 1600, std::vector<Point3>{{0.25f, 0, 0}, {0.75f, 0, 0}, {0.75f, 0.5f, 0}});
  mesh.maps = {uv1, uv3};
  mesh.normals = {{0, 0, 1}, {0, 0, -1}};
  mesh.normalFaces = {{0, 0, 0}, {0, 1, 0}};
  NodeBuilder prop = b.AddNode("Prop").Mesh(mesh).Offset(Point3(0, 0, 1)).WireColor(10, 20, 30);
  const int self = prop.Index();
  if (physique) {
    ModifierDesc phy = Modifier(ModifierKind::kPhysique);
    phy.vertices = {Weights(0, 1, {{root, 1.0f}}), Weights(2, 5, {{root, 0.5f}, {tip, 0.3f}}), Weights(3, 5, {{self, 1.0f}})};
    prop.Modifier(phy);
  } else {
    ModifierDesc skin = Modifier(ModifierKind::kSkin);
    skin.bones = {root, tip};
    skin.vertices = {Weights(1, 1, {{0, 0.5f}, {1, 0.3f}}), Weights(3, 1, {{1, 1.0f}})};
    prop.Modifier(skin);
  }
  ModifierDesc morpher = Modifier(ModifierKind::kMorpher);
  morpher.channels = {{"Smile", {{0.01f, 0, -0.02f}, {0, 0, 0}, {0, 0.5f, 0}}}, {"Empty", {}}, {"Blink", {{1, 1, 1}}}};
  prop.Modifier(morpher);
  ModifierDesc select = Modifier(ModifierKind::kMeshSelect);
  select.sets = {{"A", 6, {0, 5}}, {"B", 4, {}}, {"Long", 40, {39}}};
  prop.Modifier(select);
  prop.Modifier(Modifier(ModifierKind::kMeshSelect, 1, true));
  prop.Modifier(Modifier(ModifierKind::kUvwMap, 3));
  prop.Modifier(Modifier(ModifierKind::kUnwrap, 0));
  return b.Description();
}

// Standard materials with bitmaps, a normal bump and a reflection map; a
// multi material with an empty slot; a blend with a mask; meshes using them.
inline SceneDescription Materials(const std::string& mapFolder) {
  SceneBuilder b;
  b.MapFolder(mapFolder);
  MapDesc tiled = BitmapMap("maps\\brick.png", 2);
  tiled.bitmap->uOffset = 0.25f;
  tiled.bitmap->uTiling = 2.0f;
  tiled.bitmap->vTiling = 3.0f;
  b.AddMaterial("brick", "Brick")
      .Set("diffuse", {0.5f, 0.25f, 0.125f})
      .Set("ambient", {0.1f, 0.1f, 0.1f})
      .Set("specular", {0.9f, 0.9f, 0.9f})
      .Set("filter", {0.5f, 0.5f, 0.5f})
      .Set("shininess", {0.3f})
      .Set("opacity", {0.75f})
      .Key("diffuse", 0, {1, 0, 0})
      .Key("diffuse", 1600, {0, 0, 1})
      .Key("amount:1", 0, {0.0f})
      .Key("amount:1", 3200, {1.0f})
      .TwoSided()
      .Slot(1, 0.5f, tiled)
      .Slot(8, 1.0f, NormalBumpMap("normal.png"))
      .Slot(9, 0.4f, ReflectionMap());
  b.AddMaterial("plain", "Plain").Set("diffuse", {0.2f, 0.2f, 0.2f}).Slot(2, 1.0f, BitmapMap("missing.tga"));
  b.AddMaterial("multi", "Multi", MaterialClass::kMulti).Sub("brick").Sub("").Sub("plain");
  b.AddMaterial("blend", "Blend", MaterialClass::kBlend).Sub("plain").Sub("multi").Mask(BitmapMap("mask.png"));
  MeshDesc quad;
  quad.verts = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}};
  quad.faces = {{{0, 1, 2}, 1, 5}};
  b.AddNode("Wall").Mesh(quad).Material("multi");
  b.AddNode("Floor").Mesh(quad).Material("blend");
  b.AddNode("Plain").Mesh(quad).Material("brick");
  b.AddNode("Bare").Mesh(quad).WireColor(255, 0, 0);
  return b.Description();
}

// Every light type, one animated, and a perspective and an orthographic
// camera, one with animated field of view.
inline SceneDescription LightsAndCameras() {
  SceneBuilder b;
  b.Range(0, 640).TicksPerFrame(160);
  const int rig = b.AddNode("Rig").PositionKey(0, Point3(0, 0, 0)).PositionKey(640, Point3(10, 0, 0)).Index();
  b.AddNode("Omni", rig).Light(0).Param("color", {1, 0.5f, 0.25f}).Param("attenEnd", {100}).ParamKey("attenEnd", 0, {100}).ParamKey("attenEnd", 640, {200});
  b.AddNode("Spot").Light(3).Param("hotspot", {43}).Param("falloff", {45}).Param("attenEnd", {50}).Offset(Point3(0, 0, -2));
  b.AddNode("Sun").Light(2).Param("color", {1, 1, 1});
  b.AddNode("Target Spot").Light(1).Param("hotspot", {20}).Param("falloff", {30});
  b.AddNode("Target Sun").Light(4);
  b.AddNode("Odd").Light(7);
  b.AddNode("Cam").Camera().Param("fov", {0.785398f}).Param("farRange", {1000}).ParamKey("fov", 0, {0.5f}).ParamKey("fov", 640, {1.0f});
  NodeBuilder ortho = b.AddNode("Ortho").Camera(true).Param("fov", {100}).Param("nearRange", {5});
  ortho.Desc().camera.horzLine = 1;
  ortho.Desc().camera.manualClip = 1;
  ortho.Param("hither", {1}).Param("yon", {500}).Param("tdist", {160});
  return b.Description();
}

}  // namespace KT::Host::Testing
