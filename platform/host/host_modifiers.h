// The stand-in's modifiers, answered from a node's description: Skin,
// Physique, Morpher, mesh selection, UVW Map and Unwrap UVW. Each records
// which of its interfaces were taken and given back.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/host/bit_array.h"
#include "platform/host/mesh_select_data.h"
#include "platform/host/modifier.h"
#include "platform/host/morpher.h"
#include "platform/host/physique_interface.h"
#include "platform/host/scene_description.h"
#include "platform/host/skin_interface.h"
#include "platform/host/unwrap_interface.h"

class INode;

namespace KT::Host {

struct ModifierLog {
  int interfacesTaken = 0;
  int interfacesReleased = 0;
  int contextsReleased = 0;
  int verticesReleased = 0;
  std::vector<BOOL> convertToRigid;  // arguments, in order
  std::vector<BOOL> allowBlending;
};

// What every stand-in modifier shares: its context, the exclusion query and
// its log. `Base` is Modifier or MorpherModifier.
template <typename Base>
class HostModifierBase : public Base {
 public:
  explicit HostModifierBase(const ModifierDesc& desc) : desc_(desc) {}
  ModContext* Context() { return &context_; }
  const ModifierLog& Log() const { return log_; }
  using Base::GetInterface;
  BaseInterface* GetInterface(Interface_ID id) override {
    static BaseInterface excluded;
    return (id == MODIFIER_EXCLUDED_INTERFACE && desc_.excluded) ? &excluded : nullptr;
  }

 protected:
  const ModifierDesc& desc_;
  ModContext context_;
  ModifierLog log_;
};

// The nodes that modifiers refer to by index, and the node they sit on.
struct ModifierNodes {
  const std::vector<INode*>* table = nullptr;
  INode* owner = nullptr;
  int vertexCount = 0;  // of the owner's mesh
  INode* At(int index) const;
};

class HostSkinModifier : public HostModifierBase<Modifier>, private ISkin, private ISkinContextData {
 public:
  HostSkinModifier(const ModifierDesc& desc, ModifierNodes nodes);
  Class_ID ClassID() override { return SKIN_CLASS_ID; }
  using HostModifierBase<Modifier>::GetInterface;
  void* GetInterface(ULONG id) override;
  void ReleaseInterface(ULONG id, void* i) override;

 private:
  int GetNumBones() override { return static_cast<int>(desc_.bones.size()); }
  INode* GetBone(int index) override;
  ISkinContextData* GetContextInterface(INode* node) override;
  int GetNumPoints() override { return static_cast<int>(byVertex_.size()); }
  int GetNumAssignedBones(int vertex) override;
  int GetAssignedBone(int vertex, int j) override;
  float GetBoneWeight(int vertex, int j) override;
  const WeightDesc* Assignment(int vertex, int j) const;

  ModifierNodes nodes_;
  std::vector<const VertexWeightsDesc*> byVertex_;
};

class HostPhysiqueModifier : public HostModifierBase<Modifier>, private IPhysiqueExport {
 public:
  HostPhysiqueModifier(const ModifierDesc& desc, ModifierNodes nodes);
  ~HostPhysiqueModifier() override;
  Class_ID ClassID() override { return PHYSIQUE_CLASS_ID; }
  using HostModifierBase<Modifier>::GetInterface;
  void* GetInterface(ULONG id) override;
  void ReleaseInterface(ULONG id, void* i) override;

 private:
  class PhyContext;
  class RigidVertex;
  class BlendedVertex;
  IPhyContextExport* GetContextInterface(INode* node) override;
  void ReleaseContextInterface(IPhyContextExport* context) override;

  ModifierNodes nodes_;
  std::unique_ptr<PhyContext> phyContext_;
};

class HostMorpherModifier : public HostModifierBase<MorpherModifier> {
 public:
  explicit HostMorpherModifier(const ModifierDesc& desc) : HostModifierBase(desc) {}
  int NumChannels() override { return static_cast<int>(desc_.channels.size()); }
  const TCHAR* GetChannelName(int channel) override;
  int NumChannelDeltas(int channel) override;
  Point3 GetChannelDelta(int channel, int vertex) override;
};

class HostMeshSelectModifier : public HostModifierBase<Modifier> {
 public:
  explicit HostMeshSelectModifier(const ModifierDesc& desc);
  ~HostMeshSelectModifier() override;
  Class_ID ClassID() override { return MESH_SELECT_CLASS_ID; }

 private:
  class Data;
  std::unique_ptr<Data> data_;
};

class HostUvwMapModifier : public HostModifierBase<Modifier> {
 public:
  explicit HostUvwMapModifier(const ModifierDesc& desc) : HostModifierBase(desc) {}
  Class_ID ClassID() override { return UVW_MAP_CLASS_ID; }
  // Parameter 13: the map channel.
  BOOL GetParamValue(int id, TimeValue t, int& value, Interval& valid) override;
};

class HostUnwrapModifier : public HostModifierBase<Modifier>, private IUnwrapChannel {
 public:
  explicit HostUnwrapModifier(const ModifierDesc& desc) : HostModifierBase(desc) {}
  Class_ID ClassID() override { return UNWRAP_UVW_CLASS_ID; }
  using HostModifierBase<Modifier>::GetInterface;
  BaseInterface* GetInterface(Interface_ID id) override;

 private:
  int GetMapChannel() override { return desc_.channel; }
};

}  // namespace KT::Host
