#include "platform/host/host_scene.h"

#include <algorithm>
#include <cstring>
#include <map>

#include "platform/call_record.h"
#include "platform/host/host_materials.h"
#include "platform/host/host_objects.h"

namespace KT::Host {

namespace {

HostScene* g_active = nullptr;

std::string Quoted(const std::string& name) { return "\"" + name + "\""; }

std::string CheckParents(const std::vector<NodeDesc>& nodes) {
  const int count = static_cast<int>(nodes.size());
  for (int i = 0; i < count; ++i) {
    const int parent = nodes[static_cast<std::size_t>(i)].parent;
    if (parent < -1 || parent >= count) return "node " + Quoted(nodes[static_cast<std::size_t>(i)].name) + ": parent is not a node";
  }
  const int cycle = NodeOnParentCycle(nodes);
  if (cycle >= 0) return "node " + Quoted(nodes[static_cast<std::size_t>(cycle)].name) + ": its parents form a cycle";
  return {};
}

std::string CheckMaterials(const std::vector<MaterialDesc>& materials, const std::vector<NodeDesc>& nodes) {
  std::map<std::string, std::size_t> byId;
  for (std::size_t i = 0; i < materials.size(); ++i) {
    if (!byId.emplace(materials[i].id, i).second) return "material " + Quoted(materials[i].id) + ": id used twice";
  }
  for (const NodeDesc& node : nodes) {
    if (!node.material.empty() && byId.count(node.material) == 0)
      return "node " + Quoted(node.name) + ": material " + Quoted(node.material) + " is not defined";
  }
  for (const MaterialDesc& m : materials) {
    for (const std::string& sub : m.subs)
      if (!sub.empty() && byId.count(sub) == 0) return "material " + Quoted(m.id) + ": sub-material " + Quoted(sub) + " is not defined";
  }
  const int cycle = MaterialOnCycle(materials);
  if (cycle >= 0) return "material " + Quoted(materials[static_cast<std::size_t>(cycle)].id) + ": its sub-materials contain it";
  return {};
}

std::string CheckModifiers(const std::vector<NodeDesc>& nodes) {
  const int count = static_cast<int>(nodes.size());
  for (const NodeDesc& node : nodes) {
    for (const ModifierDesc& m : node.modifiers) {
      for (const int bone : m.bones)
        if (bone < 0 || bone >= count) return "node " + Quoted(node.name) + ": a skin bone is not a node";
      for (const VertexWeightsDesc& v : m.vertices) {
        if (v.i < 0) return "node " + Quoted(node.name) + ": negative vertex index";
        for (const WeightDesc& w : v.weights) {
          const int limit = m.kind == ModifierKind::kSkin ? static_cast<int>(m.bones.size()) : count;
          if (w.target < 0 || w.target >= limit) return "node " + Quoted(node.name) + ": a weight names no bone";
        }
      }
    }
  }
  return {};
}

}  // namespace

int NodeOnParentCycle(const std::vector<NodeDesc>& nodes) {
  // 0 unvisited, 1 on the current upward walk, 2 known to reach the root.
  std::vector<char> state(nodes.size(), 0);
  std::vector<int> walk;
  const int count = static_cast<int>(nodes.size());
  for (int i = 0; i < count; ++i) {
    walk.clear();
    int at = i;
    while (at >= 0 && at < count && state[static_cast<std::size_t>(at)] == 0) {
      state[static_cast<std::size_t>(at)] = 1;
      walk.push_back(at);
      at = nodes[static_cast<std::size_t>(at)].parent;
    }
    if (at >= 0 && at < count && state[static_cast<std::size_t>(at)] == 1) return at;
    for (const int w : walk) state[static_cast<std::size_t>(w)] = 2;
  }
  return -1;
}

int MaterialOnCycle(const std::vector<MaterialDesc>& materials) {
  std::map<std::string, std::size_t> byId;
  for (std::size_t i = 0; i < materials.size(); ++i) byId.emplace(materials[i].id, i);
  // Depth-first without recursion: 0 unvisited, 1 open, 2 done.
  std::vector<char> state(materials.size(), 0);
  for (std::size_t start = 0; start < materials.size(); ++start) {
    if (state[start] != 0) continue;
    std::vector<std::pair<std::size_t, std::size_t>> stack{{start, 0}};
    state[start] = 1;
    while (!stack.empty()) {
      const std::size_t at = stack.back().first;
      const std::vector<std::string>& subs = materials[at].subs;
      if (stack.back().second == subs.size()) {
        state[at] = 2;
        stack.pop_back();
        continue;
      }
      const std::string& sub = subs[stack.back().second++];
      const auto found = byId.find(sub);
      if (sub.empty() || found == byId.end()) continue;
      if (state[found->second] == 1) return static_cast<int>(found->second);
      if (state[found->second] == 0) {
        state[found->second] = 1;
        stack.emplace_back(found->second, 0);
      }
    }
  }
  return -1;
}

std::string CheckMesh(const MeshDesc& mesh) {
  const std::size_t faces = mesh.faces.size();
  for (const FaceDesc& f : mesh.faces)
    for (const DWORD v : f.v)
      if (v >= mesh.verts.size()) return "a face names vertex " + std::to_string(v) + " of " + std::to_string(mesh.verts.size());
  if (!mesh.colorFaces.empty() && mesh.colorFaces.size() != faces) return "colour faces must be one per face";
  for (const auto& f : mesh.colorFaces)
    for (const DWORD c : f)
      if (c >= mesh.colors.size()) return "a colour face names colour " + std::to_string(c) + " of " + std::to_string(mesh.colors.size());
  for (const MapChannelDesc& map : mesh.maps) {
    const std::string channel = "map channel " + std::to_string(map.channel);
    if (map.channel < 0 || map.channel > 99) return channel + ": channels run from 0 to 99";
    if (!map.faces.empty() && map.faces.size() != faces) return channel + ": faces must be one per face";
    for (const auto& f : map.faces)
      for (const DWORD t : f)
        if (t >= map.verts.size()) return channel + ": a face names coordinate " + std::to_string(t) + " of " + std::to_string(map.verts.size());
    for (const auto& key : map.keys)
      if (key.v.size() != map.verts.size()) return channel + ": animated coordinates must be as many as the static ones";
  }
  if (!mesh.normalFaces.empty() || !mesh.normals.empty()) {
    if (mesh.normalFaces.size() != faces) return "normal faces must be one per face";
    for (const auto& f : mesh.normalFaces)
      for (const int n : f)
        if (n < 0 || static_cast<std::size_t>(n) >= mesh.normals.size()) return "a normal face names normal " + std::to_string(n) + " of " + std::to_string(mesh.normals.size());
  }
  return {};
}

std::string CheckDescription(const SceneDescription& description) {
  if (description.ticksPerFrame <= 0) return "ticks per frame must be positive";
  std::string error = CheckParents(description.nodes);
  if (error.empty()) error = CheckMaterials(description.materials, description.nodes);
  if (error.empty()) error = CheckModifiers(description.nodes);
  for (const NodeDesc& node : description.nodes) {
    if (!error.empty()) break;
    const std::string mesh = CheckMesh(node.mesh);
    if (!mesh.empty()) error = "node " + Quoted(node.name) + ": " + mesh;
  }
  return error;
}

struct HostScene::StoredProperty {
  std::u16string name;
  PROPVARIANT value;
  std::string text;
  bool nullText = false;
};

struct HostScene::NodeParts {
  std::unique_ptr<HostNode> node;
  std::unique_ptr<Object> base;
  std::vector<std::unique_ptr<Modifier>> modifiers;  // top of the stack first
  std::vector<const ModifierLog*> logs;
  std::unique_ptr<HostDerivedObject> derived;
};

std::unique_ptr<HostScene> HostScene::Create(SceneDescription description, std::string* error) {
  const std::string problem = CheckDescription(description);
  if (error != nullptr) *error = problem;
  if (!problem.empty()) return nullptr;
  std::unique_ptr<HostScene> scene(new HostScene(std::move(description)));
  scene->Build();
  return scene;
}

HostScene::HostScene(SceneDescription description) : desc_(std::move(description)) { exp_.theScene = this; }

HostScene::~HostScene() {
  if (g_active == this) g_active = nullptr;
}

namespace {

template <typename M>
std::unique_ptr<Modifier> Keep(std::unique_ptr<M> m, std::vector<const ModifierLog*>& logs) {
  logs.push_back(&m->Log());
  return m;
}

}  // namespace

void HostScene::Build() {
  root_ = std::make_unique<HostNode>(desc_.rootName);

  std::map<std::string, Mtl*> byId;
  std::vector<std::pair<HostCompositeMtl*, const MaterialDesc*>> composites;
  for (const MaterialDesc& m : desc_.materials) {
    if (m.cls == MaterialClass::kStandard) {
      materials_.push_back(std::make_unique<HostStdMat>(m));
    } else {
      auto composite = std::make_unique<HostCompositeMtl>(m);
      composites.emplace_back(composite.get(), &m);
      materials_.push_back(std::move(composite));
    }
    byId[m.id] = materials_.back().get();
  }
  for (auto& [composite, m] : composites) {
    std::vector<Mtl*> subs;
    for (const std::string& sub : m->subs) subs.push_back(sub.empty() ? nullptr : byId[sub]);
    composite->Link(std::move(subs));
  }

  for (const NodeDesc& d : desc_.nodes) {
    auto parts = std::make_unique<NodeParts>();
    parts->node = std::make_unique<HostNode>(d);
    nodeTable_.push_back(parts->node.get());
    nodes_.push_back(std::move(parts));
  }
  for (std::size_t i = 0; i < nodes_.size(); ++i) {
    const NodeDesc& d = desc_.nodes[i];
    HostNode* node = nodes_[i]->node.get();
    (d.parent < 0 ? root_.get() : nodes_[static_cast<std::size_t>(d.parent)]->node.get())->AddChild(node);
    if (!d.material.empty()) node->SetMaterial(byId[d.material]);
  }

  for (std::size_t i = 0; i < nodes_.size(); ++i) {
    const NodeDesc& d = desc_.nodes[i];
    NodeParts& parts = *nodes_[i];
    switch (d.object) {
      case ObjectKind::kMesh:
        parts.base = std::make_unique<HostMeshObject>(d.mesh);
        break;
      case ObjectKind::kBone:
        parts.base = std::make_unique<HostBoneObject>();
        break;
      case ObjectKind::kLight:
        parts.base = std::make_unique<HostLight>(d.light);
        break;
      case ObjectKind::kCamera:
        parts.base = std::make_unique<HostCamera>(d.camera);
        break;
      case ObjectKind::kHelper:
        parts.base = std::make_unique<HostHelperObject>();
        break;
    }
    const ModifierNodes nodes{&nodeTable_, parts.node.get(),
                              d.object == ObjectKind::kMesh ? static_cast<int>(d.mesh.verts.size()) : 0};
    std::vector<Modifier*> stack;
    std::vector<ModContext*> contexts;
    // The description lists the stack bottom first; the host numbers it from the top.
    for (auto it = d.modifiers.rbegin(); it != d.modifiers.rend(); ++it) {
      std::unique_ptr<Modifier> m;
      ModContext* context = nullptr;
      switch (it->kind) {
        case ModifierKind::kSkin: {
          auto skin = std::make_unique<HostSkinModifier>(*it, nodes);
          context = skin->Context();
          m = Keep(std::move(skin), parts.logs);
          break;
        }
        case ModifierKind::kPhysique: {
          auto physique = std::make_unique<HostPhysiqueModifier>(*it, nodes);
          context = physique->Context();
          m = Keep(std::move(physique), parts.logs);
          break;
        }
        case ModifierKind::kMorpher: {
          auto morpher = std::make_unique<HostMorpherModifier>(*it);
          context = morpher->Context();
          m = Keep(std::move(morpher), parts.logs);
          break;
        }
        case ModifierKind::kMeshSelect: {
          auto select = std::make_unique<HostMeshSelectModifier>(*it);
          context = select->Context();
          m = Keep(std::move(select), parts.logs);
          break;
        }
        case ModifierKind::kUvwMap: {
          auto uvw = std::make_unique<HostUvwMapModifier>(*it);
          context = uvw->Context();
          m = Keep(std::move(uvw), parts.logs);
          break;
        }
        case ModifierKind::kUnwrap: {
          auto unwrap = std::make_unique<HostUnwrapModifier>(*it);
          context = unwrap->Context();
          m = Keep(std::move(unwrap), parts.logs);
          break;
        }
      }
      stack.push_back(m.get());
      contexts.push_back(context);
      parts.modifiers.push_back(std::move(m));
    }
    if (!stack.empty()) {
      parts.derived = std::make_unique<HostDerivedObject>(parts.base.get(), std::move(stack), std::move(contexts));
      parts.node->SetObject(parts.base.get(), parts.derived.get());
    } else {
      parts.node->SetObject(parts.base.get(), parts.base.get());
    }
  }

  for (const PropertyDesc& p : desc_.properties) {
    PROPSPEC propSpec;
    propSpec.ulKind = PRSPEC_LPWSTR;
    std::u16string name = p.name;
    propSpec.lpwstr = name.data();
    PROPVARIANT value;
    if (p.isString) {
      value.vt = VT_LPSTR;
      value.pszVal = const_cast<char*>(p.text.c_str());
    } else {
      value.vt = VT_I4;
      value.lVal = p.intValue;
    }
    AddProperty(PROPSET_USERDEFINED, &propSpec, &value);
  }
}

HostNode* HostScene::NodeAt(int i) {
  return (i >= 0 && static_cast<std::size_t>(i) < nodes_.size()) ? nodes_[static_cast<std::size_t>(i)]->node.get() : nullptr;
}

const ModifierLog* HostScene::GetModifierLog(int node, int modifier) const {
  if (node < 0 || static_cast<std::size_t>(node) >= nodes_.size()) return nullptr;
  const auto& logs = nodes_[static_cast<std::size_t>(node)]->logs;
  return (modifier >= 0 && static_cast<std::size_t>(modifier) < logs.size()) ? logs[static_cast<std::size_t>(modifier)] : nullptr;
}

// --- progress --------------------------------------------------------------

BOOL HostScene::ProgressStart(const TCHAR* title, BOOL, LPFNPROGRESS, LPVOID) {
  progress_.push_back({ProgressEvent::Kind::kStart, 0, FALSE, title != nullptr ? title : ""});
  return TRUE;
}

void HostScene::ProgressUpdate(int pct, BOOL showPct, const TCHAR* title) {
  progress_.push_back({ProgressEvent::Kind::kUpdate, pct, showPct, title != nullptr ? title : ""});
}

void HostScene::ProgressEnd() { progress_.push_back({ProgressEvent::Kind::kEnd, 0, FALSE, ""}); }

// --- properties ------------------------------------------------------------

int HostScene::FindProperty(int propertySet, const PROPSPEC* propSpec) {
  if (propertySet != PROPSET_USERDEFINED || propSpec == nullptr || propSpec->ulKind != PRSPEC_LPWSTR || propSpec->lpwstr == nullptr)
    return -1;
  const std::u16string name(propSpec->lpwstr);
  for (std::size_t i = 0; i < properties_.size(); ++i)
    if (properties_[i]->name == name) return static_cast<int>(i);
  return -1;
}

const PROPVARIANT* HostScene::GetPropertyVariant(int propertySet, int index) {
  if (propertySet != PROPSET_USERDEFINED || index < 0 || static_cast<std::size_t>(index) >= properties_.size()) return nullptr;
  return &properties_[static_cast<std::size_t>(index)]->value;
}

void HostScene::AddProperty(int propertySet, const PROPSPEC* propSpec, const PROPVARIANT* var) {
  if (var == nullptr || (var->vt != VT_I4 && var->vt != VT_LPSTR)) return;
  const int found = FindProperty(propertySet, propSpec);
  if (found < 0 && (propertySet != PROPSET_USERDEFINED || propSpec == nullptr || propSpec->ulKind != PRSPEC_LPWSTR ||
                    propSpec->lpwstr == nullptr))
    return;
  StoredProperty* p = nullptr;
  if (found >= 0) {
    p = properties_[static_cast<std::size_t>(found)].get();
  } else {
    properties_.push_back(std::make_unique<StoredProperty>());
    p = properties_.back().get();
    p->name = propSpec->lpwstr;
  }
  p->value.vt = var->vt;
  if (var->vt == VT_I4) {
    p->value.lVal = var->lVal;
    p->text.clear();
    p->nullText = false;
  } else {
    // Copy first: the new value may point into the old one.
    std::string text = var->pszVal != nullptr ? std::string(var->pszVal) : std::string();
    p->nullText = var->pszVal == nullptr;
    p->text = std::move(text);
    p->value.pszVal = p->nullText ? nullptr : p->text.data();
  }
}

std::vector<PropertyDesc> HostScene::Properties() const {
  std::vector<PropertyDesc> out;
  for (const auto& p : properties_) {
    PropertyDesc d;
    d.name = p->name;
    d.isString = p->value.vt == VT_LPSTR;
    if (d.isString) {
      d.text = p->text;
    } else {
      d.intValue = p->value.lVal;
    }
    out.push_back(std::move(d));
  }
  return out;
}

// --- nodes -----------------------------------------------------------------

INode* HostScene::GetINodeByName(const TCHAR* name) {
  if (name == nullptr) return nullptr;
  if (root_->GetName() == std::string(name)) return root_.get();
  struct Finder : ITreeEnumProc {
    std::string name;
    INode* found = nullptr;
    int callback(INode* node) override {
      if (name != node->GetName()) return 0;
      found = node;
      return 1;
    }
  } finder;
  finder.name = name;
  EnumTree(&finder);
  return finder.found;
}

int HostScene::EnumTree(ITreeEnumProc* proc) {
  if (proc == nullptr) return 0;
  // Parents first, children in order, without recursion.
  std::vector<HostNode*> stack(root_->Children().rbegin(), root_->Children().rend());
  while (!stack.empty()) {
    HostNode* node = stack.back();
    stack.pop_back();
    if (proc->callback(node) != 0) return 1;
    stack.insert(stack.end(), node->Children().rbegin(), node->Children().rend());
  }
  return 0;
}

// --- the active scene and the free functions -------------------------------

HostScene* HostScene::Active() { return g_active; }

ActiveHostScene::ActiveHostScene(HostScene& scene) : previous_(g_active) { g_active = &scene; }

ActiveHostScene::~ActiveHostScene() { g_active = previous_; }

}  // namespace KT::Host

int GetTicksPerFrame() {
  const KT::Host::HostScene* scene = KT::Host::HostScene::Active();
  return scene != nullptr ? scene->TicksPerFrame() : 160;
}

void InitCustomControls(HINSTANCE) {
  KT::Platform::RecordPlatformCall("InitCustomControls");
  if (KT::Host::HostScene* scene = KT::Host::HostScene::Active()) scene->NoteCustomControls();
}

DWORD GetModuleFileNameA(HMODULE module, char* buffer, DWORD size) {
  if (buffer == nullptr || size == 0) return 0;
  buffer[0] = '\0';
  if (module != nullptr) return 0;
  const KT::Host::HostScene* scene = KT::Host::HostScene::Active();
  const std::string path = (scene != nullptr ? scene->Description().hostFolder : std::string(".")) + "/host";
  const std::size_t length = std::min<std::size_t>(path.size(), size - 1);
  std::memcpy(buffer, path.data(), length);
  buffer[length] = '\0';
  return static_cast<DWORD>(length);
}
