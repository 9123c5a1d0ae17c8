#include "platform/host/host_modifiers.h"

#include <algorithm>

namespace KT::Host {

INode* ModifierNodes::At(int index) const {
  if (table == nullptr || index < 0 || static_cast<std::size_t>(index) >= table->size()) return nullptr;
  return (*table)[static_cast<std::size_t>(index)];
}

// --- Skin ------------------------------------------------------------------

HostSkinModifier::HostSkinModifier(const ModifierDesc& desc, ModifierNodes nodes)
    : HostModifierBase(desc), nodes_(nodes) {
  int points = std::max(nodes.vertexCount, 0);
  for (const VertexWeightsDesc& v : desc.vertices) points = std::max(points, v.i + 1);
  byVertex_.assign(static_cast<std::size_t>(points), nullptr);
  for (const VertexWeightsDesc& v : desc.vertices)
    if (v.i >= 0) byVertex_[static_cast<std::size_t>(v.i)] = &v;
}

void* HostSkinModifier::GetInterface(ULONG id) {
  if (id != I_SKIN_INTERFACE) return nullptr;
  ++log_.interfacesTaken;
  return static_cast<ISkin*>(this);
}

void HostSkinModifier::ReleaseInterface(ULONG id, void* i) {
  if (id == I_SKIN_INTERFACE && i == static_cast<ISkin*>(this)) ++log_.interfacesReleased;
}

INode* HostSkinModifier::GetBone(int index) {
  if (index < 0 || index >= GetNumBones()) return nullptr;
  return nodes_.At(desc_.bones[static_cast<std::size_t>(index)]);
}

ISkinContextData* HostSkinModifier::GetContextInterface(INode* node) {
  return (node != nullptr && node == nodes_.owner) ? static_cast<ISkinContextData*>(this) : nullptr;
}

const WeightDesc* HostSkinModifier::Assignment(int vertex, int j) const {
  if (vertex < 0 || vertex >= static_cast<int>(byVertex_.size())) return nullptr;
  const VertexWeightsDesc* v = byVertex_[static_cast<std::size_t>(vertex)];
  if (v == nullptr || j < 0 || j >= static_cast<int>(v->weights.size())) return nullptr;
  return &v->weights[static_cast<std::size_t>(j)];
}

int HostSkinModifier::GetNumAssignedBones(int vertex) {
  if (vertex < 0 || vertex >= static_cast<int>(byVertex_.size())) return 0;
  const VertexWeightsDesc* v = byVertex_[static_cast<std::size_t>(vertex)];
  return v == nullptr ? 0 : static_cast<int>(v->weights.size());
}

int HostSkinModifier::GetAssignedBone(int vertex, int j) {
  const WeightDesc* w = Assignment(vertex, j);
  return w == nullptr ? -1 : w->target;
}

float HostSkinModifier::GetBoneWeight(int vertex, int j) {
  const WeightDesc* w = Assignment(vertex, j);
  return w == nullptr ? 0.0f : w->w;
}

// --- Physique --------------------------------------------------------------

class HostPhysiqueModifier::RigidVertex : public IPhyRigidVertex {
 public:
  explicit RigidVertex(INode* node) : node_(node) {}
  int GetVertexType() override { return RIGID_TYPE; }
  INode* GetNode() override { return node_; }

 private:
  INode* node_;
};

class HostPhysiqueModifier::BlendedVertex : public IPhyBlendedRigidVertex {
 public:
  BlendedVertex(const VertexWeightsDesc& desc, const ModifierNodes& nodes) : desc_(desc), nodes_(nodes) {}
  int GetVertexType() override { return desc_.type; }
  int GetNumberNodes() override { return static_cast<int>(desc_.weights.size()); }
  INode* GetNode(int i) override {
    return (i >= 0 && i < GetNumberNodes()) ? nodes_.At(desc_.weights[static_cast<std::size_t>(i)].target) : nullptr;
  }
  float GetWeight(int i) override {
    return (i >= 0 && i < GetNumberNodes()) ? desc_.weights[static_cast<std::size_t>(i)].w : 0.0f;
  }

 private:
  const VertexWeightsDesc& desc_;
  const ModifierNodes& nodes_;
};

class HostPhysiqueModifier::PhyContext : public IPhyContextExport {
 public:
  PhyContext(const ModifierDesc& desc, const ModifierNodes& nodes, ModifierLog& log) : log_(log) {
    int count = std::max(nodes.vertexCount, 0);
    for (const VertexWeightsDesc& v : desc.vertices) count = std::max(count, v.i + 1);
    vertices_.resize(static_cast<std::size_t>(count));
    for (const VertexWeightsDesc& v : desc.vertices) {
      if (v.i < 0) continue;
      auto& slot = vertices_[static_cast<std::size_t>(v.i)];
      if (v.type == RIGID_TYPE) {
        slot = std::make_unique<RigidVertex>(v.weights.empty() ? nullptr : nodes.At(v.weights.front().target));
      } else {
        slot = std::make_unique<BlendedVertex>(v, nodes);
      }
    }
  }
  void ConvertToRigid(BOOL flag) override { log_.convertToRigid.push_back(flag); }
  void AllowBlending(BOOL flag) override { log_.allowBlending.push_back(flag); }
  int GetNumberVertices() override { return static_cast<int>(vertices_.size()); }
  IPhyVertexExport* GetVertexInterface(int i) override {
    return (i >= 0 && i < GetNumberVertices()) ? vertices_[static_cast<std::size_t>(i)].get() : nullptr;
  }
  void ReleaseVertexInterface(IPhyVertexExport* vertex) override {
    if (vertex != nullptr) ++log_.verticesReleased;
  }

 private:
  ModifierLog& log_;
  std::vector<std::unique_ptr<IPhyVertexExport>> vertices_;
};

HostPhysiqueModifier::HostPhysiqueModifier(const ModifierDesc& desc, ModifierNodes nodes)
    : HostModifierBase(desc), nodes_(nodes) {
  phyContext_ = std::make_unique<PhyContext>(desc, nodes_, log_);
}

HostPhysiqueModifier::~HostPhysiqueModifier() = default;

void* HostPhysiqueModifier::GetInterface(ULONG id) {
  if (id != I_PHYSIQUE_EXPORT) return nullptr;
  ++log_.interfacesTaken;
  return static_cast<IPhysiqueExport*>(this);
}

void HostPhysiqueModifier::ReleaseInterface(ULONG id, void* i) {
  if (id == I_PHYSIQUE_EXPORT && i == static_cast<IPhysiqueExport*>(this)) ++log_.interfacesReleased;
}

IPhyContextExport* HostPhysiqueModifier::GetContextInterface(INode* node) {
  return (node != nullptr && node == nodes_.owner) ? phyContext_.get() : nullptr;
}

void HostPhysiqueModifier::ReleaseContextInterface(IPhyContextExport* context) {
  if (context != nullptr && context == phyContext_.get()) ++log_.contextsReleased;
}

// --- Morpher ---------------------------------------------------------------

const TCHAR* HostMorpherModifier::GetChannelName(int channel) {
  if (channel < 0 || channel >= NumChannels()) return nullptr;
  return desc_.channels[static_cast<std::size_t>(channel)].name.c_str();
}

int HostMorpherModifier::NumChannelDeltas(int channel) {
  if (channel < 0 || channel >= NumChannels()) return 0;
  return static_cast<int>(desc_.channels[static_cast<std::size_t>(channel)].deltas.size());
}

Point3 HostMorpherModifier::GetChannelDelta(int channel, int vertex) {
  if (vertex < 0 || vertex >= NumChannelDeltas(channel)) return Point3();
  return desc_.channels[static_cast<std::size_t>(channel)].deltas[static_cast<std::size_t>(vertex)];
}

// --- Mesh selection --------------------------------------------------------

class HostMeshSelectModifier::Data : public LocalModData, private IMeshSelectData, private GenericNamedSelSetList {
 public:
  explicit Data(const ModifierDesc& desc) {
    for (const SelectionSetDesc& set : desc.sets) {
      names_.push_back(set.name);
      BitArray bits(set.size);
      for (const int b : set.bits) bits.Set(b);
      sets_.push_back(std::move(bits));
    }
  }
  using LocalModData::GetInterface;
  void* GetInterface(ULONG id) override { return id == I_MESH_SELECT_DATA ? static_cast<IMeshSelectData*>(this) : nullptr; }

 private:
  GenericNamedSelSetList& GetNamedVertSelList() override { return *this; }
  int Count() override { return static_cast<int>(sets_.size()); }
  BitArray* GetSetByIndex(int i) override {
    return (i >= 0 && i < Count()) ? &sets_[static_cast<std::size_t>(i)] : nullptr;
  }
  const TCHAR* GetName(int i) override {
    return (i >= 0 && i < Count()) ? names_[static_cast<std::size_t>(i)].c_str() : nullptr;
  }

  std::vector<std::string> names_;
  std::vector<BitArray> sets_;
};

HostMeshSelectModifier::HostMeshSelectModifier(const ModifierDesc& desc)
    : HostModifierBase(desc), data_(std::make_unique<Data>(desc)) {
  context_.localData = data_.get();
}

HostMeshSelectModifier::~HostMeshSelectModifier() = default;

// --- UVW Map and Unwrap UVW ------------------------------------------------

BOOL HostUvwMapModifier::GetParamValue(int id, TimeValue, int& value, Interval&) {
  if (id != UVW_MAP_PARAM_CHANNEL) return FALSE;
  value = desc_.channel;
  return TRUE;
}

BaseInterface* HostUnwrapModifier::GetInterface(Interface_ID id) {
  if (id == UNWRAP_CHANNEL_INTERFACE) return static_cast<IUnwrapChannel*>(this);
  return HostModifierBase<Modifier>::GetInterface(id);
}

}  // namespace KT::Host
