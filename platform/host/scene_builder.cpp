#include "platform/host/scene_builder.h"

namespace KT::Host {

NodeDesc& NodeBuilder::Desc() { return builder_.Description().nodes[static_cast<std::size_t>(index_)]; }

NodeBuilder& NodeBuilder::Parent(int parent) {
  Desc().parent = parent;
  return *this;
}

NodeBuilder& NodeBuilder::Selected(bool on) {
  Desc().selected = on;
  return *this;
}

NodeBuilder& NodeBuilder::Hidden(bool on) {
  Desc().hidden = on;
  return *this;
}

NodeBuilder& NodeBuilder::Shadows(bool cast, bool receive) {
  Desc().castShadows = cast;
  Desc().receiveShadows = receive;
  return *this;
}

NodeBuilder& NodeBuilder::WireColor(BYTE r, BYTE g, BYTE b) {
  Desc().wireColor = RGB(r, g, b);
  return *this;
}

NodeBuilder& NodeBuilder::Material(const std::string& id) {
  Desc().material = id;
  return *this;
}

NodeBuilder& NodeBuilder::Local(const Matrix3& local) {
  Desc().local = local;
  return *this;
}

NodeBuilder& NodeBuilder::Controller(ControllerKind kind, DWORD inherit) {
  Desc().controller = kind;
  Desc().inherit = inherit;
  return *this;
}

NodeBuilder& NodeBuilder::PositionKey(TimeValue t, const Point3& p) {
  NodeDesc& d = Desc();
  if (d.controller == ControllerKind::kNone) d.controller = ControllerKind::kPrs;
  if (!d.position.has_value()) d.position.emplace();
  InsertKey(*d.position, t, p);
  return *this;
}

NodeBuilder& NodeBuilder::RotationKey(TimeValue t, const Quat& q) {
  NodeDesc& d = Desc();
  if (d.controller == ControllerKind::kNone) d.controller = ControllerKind::kPrs;
  if (!d.rotation.has_value()) d.rotation.emplace();
  InsertKey(*d.rotation, t, q);
  return *this;
}

NodeBuilder& NodeBuilder::ScaleKey(TimeValue t, const Point3& s) {
  NodeDesc& d = Desc();
  if (d.controller == ControllerKind::kNone) d.controller = ControllerKind::kPrs;
  if (!d.scale.has_value()) d.scale.emplace();
  InsertKey(*d.scale, t, s);
  return *this;
}

NodeBuilder& NodeBuilder::Offset(const Point3& pos, const Quat& rot, const Point3& scale) {
  Desc().offsetPos = pos;
  Desc().offsetRot = rot;
  Desc().offsetScale = scale;
  return *this;
}

NodeBuilder& NodeBuilder::Mesh(MeshDesc mesh) {
  Desc().object = ObjectKind::kMesh;
  Desc().mesh = std::move(mesh);
  return *this;
}

NodeBuilder& NodeBuilder::Bone() {
  Desc().object = ObjectKind::kBone;
  return *this;
}

NodeBuilder& NodeBuilder::Light(int type) {
  Desc().object = ObjectKind::kLight;
  Desc().light.type = type;
  return *this;
}

NodeBuilder& NodeBuilder::Camera(bool ortho) {
  Desc().object = ObjectKind::kCamera;
  Desc().camera.ortho = ortho;
  return *this;
}

ParamSet& NodeBuilder::Params() { return Desc().object == ObjectKind::kCamera ? Desc().camera.params : Desc().light.params; }

NodeBuilder& NodeBuilder::Param(const std::string& name, std::vector<float> value) {
  Params().values[name] = std::move(value);
  return *this;
}

NodeBuilder& NodeBuilder::ParamKey(const std::string& name, TimeValue t, std::vector<float> value) {
  InsertKey(Params().tracks[name], t, std::move(value));
  return *this;
}

NodeBuilder& NodeBuilder::Modifier(ModifierDesc modifier) {
  Desc().modifiers.push_back(std::move(modifier));
  return *this;
}

MaterialDesc& MaterialBuilder::Desc() { return builder_.Description().materials[index_]; }

MaterialBuilder& MaterialBuilder::Set(const std::string& param, std::vector<float> value) {
  Desc().params.values[param] = std::move(value);
  return *this;
}

MaterialBuilder& MaterialBuilder::Key(const std::string& param, TimeValue t, std::vector<float> value) {
  InsertKey(Desc().params.tracks[param], t, std::move(value));
  return *this;
}

MaterialBuilder& MaterialBuilder::TwoSided(bool on) {
  Desc().twoSided = on;
  return *this;
}

MaterialBuilder& MaterialBuilder::Slot(int index, float amount, MapDesc map) {
  SlotDesc& slot = Desc().slots.at(static_cast<std::size_t>(index));
  slot.amount = amount;
  slot.map = std::move(map);
  return *this;
}

MaterialBuilder& MaterialBuilder::Sub(const std::string& id) {
  Desc().subs.push_back(id);
  return *this;
}

MaterialBuilder& MaterialBuilder::Mask(MapDesc map) {
  Desc().mask = std::move(map);
  return *this;
}

SceneBuilder& SceneBuilder::TicksPerFrame(int ticks) {
  desc_.ticksPerFrame = ticks;
  return *this;
}

SceneBuilder& SceneBuilder::Range(TimeValue start, TimeValue end) {
  desc_.start = start;
  desc_.end = end;
  return *this;
}

SceneBuilder& SceneBuilder::RootName(const std::string& name) {
  desc_.rootName = name;
  return *this;
}

SceneBuilder& SceneBuilder::HostFolder(const std::string& folder) {
  desc_.hostFolder = folder;
  return *this;
}

SceneBuilder& SceneBuilder::MapFolder(const std::string& folder) {
  desc_.mapFolders.push_back(folder);
  return *this;
}

SceneBuilder& SceneBuilder::IntProperty(const std::u16string& name, LONG value) {
  PropertyDesc p;
  p.name = name;
  p.intValue = value;
  desc_.properties.push_back(std::move(p));
  return *this;
}

SceneBuilder& SceneBuilder::StringProperty(const std::u16string& name, const std::string& text) {
  PropertyDesc p;
  p.name = name;
  p.isString = true;
  p.text = text;
  desc_.properties.push_back(std::move(p));
  return *this;
}

NodeBuilder SceneBuilder::AddNode(const std::string& name, int parent) {
  NodeDesc node;
  node.name = name;
  node.parent = parent;
  desc_.nodes.push_back(std::move(node));
  return NodeBuilder(*this, static_cast<int>(desc_.nodes.size()) - 1);
}

MaterialBuilder SceneBuilder::AddMaterial(const std::string& id, const std::string& name, MaterialClass cls) {
  MaterialDesc m;
  m.id = id;
  m.name = name;
  m.cls = cls;
  desc_.materials.push_back(std::move(m));
  return MaterialBuilder(*this, desc_.materials.size() - 1);
}

MapDesc BitmapMap(const std::string& file, int channel) {
  MapDesc map;
  map.kind = MapKind::kBitmap;
  map.bitmap.emplace();
  map.bitmap->file = file;
  map.bitmap->channel = channel;
  return map;
}

MapDesc NormalBumpMap(const std::string& file, int channel) {
  MapDesc map = BitmapMap(file, channel);
  map.kind = MapKind::kNormalBump;
  return map;
}

MapDesc ReflectionMap() {
  MapDesc map;
  map.kind = MapKind::kReflection;
  return map;
}

}  // namespace KT::Host
