// SceneBuilder: builds a SceneDescription in code, for tests. Nodes and
// materials are reached through small handles whose setters chain; the
// description's plain structs stay open for anything the handles do not
// cover (node.Desc(), material.Desc()).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/host/host_scene.h"
#include "platform/host/scene_description.h"

namespace KT::Host {

class SceneBuilder;

class NodeBuilder {
 public:
  NodeBuilder(SceneBuilder& builder, int index) : builder_(builder), index_(index) {}
  int Index() const { return index_; }
  NodeDesc& Desc();

  NodeBuilder& Parent(int parent);
  NodeBuilder& Selected(bool on = true);
  NodeBuilder& Hidden(bool on = true);
  NodeBuilder& Shadows(bool cast, bool receive);
  NodeBuilder& WireColor(BYTE r, BYTE g, BYTE b);
  NodeBuilder& Material(const std::string& id);
  NodeBuilder& Local(const Matrix3& local);
  // A transform controller of `kind` (the plain keyed one by default).
  NodeBuilder& Controller(ControllerKind kind = ControllerKind::kPrs, DWORD inherit = 0);
  // Keys; each gives the node a controller (plain keyed when it has none).
  NodeBuilder& PositionKey(TimeValue t, const Point3& p);
  NodeBuilder& RotationKey(TimeValue t, const Quat& q);
  NodeBuilder& ScaleKey(TimeValue t, const Point3& s);
  NodeBuilder& Offset(const Point3& pos, const Quat& rot = Quat(), const Point3& scale = Point3(1.0f, 1.0f, 1.0f));
  NodeBuilder& Mesh(MeshDesc mesh);
  NodeBuilder& Bone();
  NodeBuilder& Light(int type);
  NodeBuilder& Camera(bool ortho = false);
  // A light's or camera's parameter, and its keys.
  NodeBuilder& Param(const std::string& name, std::vector<float> value);
  NodeBuilder& ParamKey(const std::string& name, TimeValue t, std::vector<float> value);
  // Pushes a modifier on top of the stack.
  NodeBuilder& Modifier(ModifierDesc modifier);

 private:
  ParamSet& Params();
  SceneBuilder& builder_;
  int index_;
};

class MaterialBuilder {
 public:
  MaterialBuilder(SceneBuilder& builder, std::size_t index) : builder_(builder), index_(index) {}
  MaterialDesc& Desc();
  MaterialBuilder& Set(const std::string& param, std::vector<float> value);
  MaterialBuilder& Key(const std::string& param, TimeValue t, std::vector<float> value);
  MaterialBuilder& TwoSided(bool on = true);
  MaterialBuilder& Slot(int index, float amount, MapDesc map);
  MaterialBuilder& Sub(const std::string& id);
  MaterialBuilder& Mask(MapDesc map);

 private:
  SceneBuilder& builder_;
  std::size_t index_;
};

class SceneBuilder {
 public:
  SceneBuilder& TicksPerFrame(int ticks);
  SceneBuilder& Range(TimeValue start, TimeValue end);
  SceneBuilder& RootName(const std::string& name);
  SceneBuilder& HostFolder(const std::string& folder);
  SceneBuilder& MapFolder(const std::string& folder);
  SceneBuilder& IntProperty(const std::u16string& name, LONG value);
  SceneBuilder& StringProperty(const std::u16string& name, const std::string& text);

  // A node under `parent` (an index of an earlier node, -1 for the root).
  NodeBuilder AddNode(const std::string& name, int parent = -1);
  NodeBuilder Node(int index) { return NodeBuilder(*this, index); }
  MaterialBuilder AddMaterial(const std::string& id, const std::string& name, MaterialClass cls = MaterialClass::kStandard);

  SceneDescription& Description() { return desc_; }
  const SceneDescription& Description() const { return desc_; }
  // The scene of the description so far, or null (and *error) when it is
  // refused.
  std::unique_ptr<HostScene> Make(std::string* error = nullptr) const { return HostScene::Create(desc_, error); }

 private:
  SceneDescription desc_;
};

// Maps for material slots.
MapDesc BitmapMap(const std::string& file, int channel = 1);
MapDesc NormalBumpMap(const std::string& file, int channel = 1);
MapDesc ReflectionMap();

}  // namespace KT::Host
