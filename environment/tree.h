// KT::CTree: the scene object that carries one procedural tree model of the
// tree runtime (trt::CTreeRT), the three values that shape the computed tree
// (Seed, Size, SizeVariance), the eight corners of the computed tree's box
// and ten owned references the class stores, clones, links and registers
// but never reads.
//
// The model travels inside the record as an opaque block of tree data.
// Saving is two-phase: RegisterForSave (through PrepareRuntime) asks the
// model for the block, GetSaveSize counts it, Save writes it and frees it;
// a second Save without a new registration writes a length of 0. Loading
// hands the block back to a fresh model and computes it (ComputeModel).
//
// Process-wide options of the tree runtime change here: Load sets the
// texture flip and ten wind matrices when tree data follows, ComputeModel
// sets the static option.
//
// Record, after the KT::CDorun part (little-endian): version pair 2.01;
// tree-data length n (u32) and n bytes; Seed (u32), Size, SizeVariance
// (f32); the ten reference ids (u64; u32 before 2.01).
#pragma once

#include <array>
#include <vector>

#include "environment/runtime_block.h"
#include "objectmodel/dorun.h"
#include "objectmodel/vector.h"

namespace trt {
class CTreeRT;
}

namespace KT {

class CTree : public CDorun {
  KT_DECLARE_CLASS(CTree)

 public:
  static constexpr u32 kVersionWideIds = 201;  // 8-byte reference ids from here on
  static constexpr u32 kReferenceCount = 10;

  // A new, empty model (no tree data); Seed 1, Size and SizeVariance -1.0,
  // no corners. A model that cannot be allocated leaves Model null, which
  // Load and ComputeModel answer with kErrOutOfMemory.
  CTree();
  // The CDorun copy; Seed, Size, SizeVariance and Corners copied, the ten
  // references shared; no model (CreateInstance clones one) and no pending
  // tree-data block.
  CTree(const CTree& other);
  // Deletes the model, frees a pending tree-data block that was never
  // written, releases the references.
  ~CTree() override;

  // --- the tree -------------------------------------------------------------------------
  trt::CTreeRT* GetModel() const { return model_; }
  // Replaces the model with a fresh one loaded from `size` bytes of tree
  // data (texture flip and ten wind matrices set first, as Load does) and
  // computes it. kErrInvalidArg for null data or a size above 2^31 - 1,
  // kErrOutOfMemory when no model can be made, kErrTreeData when the data
  // does not load or the model does not compute.
  Result SetTreeData(const u8* data, u32 size);
  // Configures the model (every lighting and wind method 0; SetTreeSize
  // with Size and SizeVariance when both are 0.0 or more), computes it with
  // Seed and combined strips, then sets the model's wind engine flag, the
  // runtime's static option and Corners. kErrTreeData when Compute fails
  // (Corners stay as they were); kErrOutOfMemory without a model.
  Result ComputeModel();
  // Sets every lighting and wind method of `model` to 0, as the trees of a
  // scene are computed.
  static void SetSceneMethods(trt::CTreeRT& model);
  // Corners := the eight corners of the model's box in the box-corner
  // order (minimum first, maximum seventh); nothing without a model.
  void UpdateCorners();
  const std::vector<CVector3<float>>& GetCorners() const { return corners_; }

  CBase* GetReference(u32 index) const { return index < kReferenceCount ? references_[index].Get() : nullptr; }
  // Shares `object` in slot `index` (null empties it). kErrOutOfRange for an
  // index past the ten slots.
  Result SetReference(u32 index, CBase* object);

  // The pending tree-data block (made by RegisterForSave or PrepareRuntime,
  // freed by Save, CopyTo onto this object or the destructor).
  bool HasPendingBlock() const { return sptBlock_.IsPending(); }
  u32 GetPendingBlockSize() const { return sptBlock_.GetSize(); }

  // --- CBase protocol -------------------------------------------------------------------
  CBase* Find(const char16_t* name, const ClassRecord* record, bool includeDerived, bool onlyMarked) override;
  void Collect(std::vector<CBase*>& out, const char16_t* name, const ClassRecord* record, bool includeDerived,
               bool onlyMarked) override;
  bool UpdateMarked(const ObjectSet& set) override;
  void ClearMarked() override;
  Result ResolveReferences(CBase* root) override;
  Result CollectAnimated(std::vector<CDorun*>& animated) override;
  // A copy whose model is a clone of this one's, computed anew (no model
  // here: none there).
  Result CreateInstance(CPointer<CBase>& out) const override;
  // The CDorun clone (kDone when the map had the object), then clones of
  // the references through the same map.
  Result Clone(CPointer<CBase>& out, CloneMap& cloneMap, u32 flags) override;
  // The target must be a tree (else kErrNotFound). Seed, Size, SizeVariance
  // and Corners are copied first, then the target's model becomes a clone
  // of this one's computed with those values (without a model here the
  // target has none); the target shares the references (its former ones go
  // to `displaced`) and its pending block is freed.
  Result CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const override;
  // Reads the record and computes the model (see the header). A model that
  // was computed before is replaced by a fresh one first. The tree-data
  // length is checked against the bytes left (kErrStream); data that does
  // not load or a model that does not compute: kErrTreeData.
  Result Load(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  // The ten references, each of any class.
  Result Link(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  // The CDorun registration; when newly registered, PrepareRuntime and the
  // references.
  Result RegisterForSave(CStream& stream, u32 flags) override;
  // Makes the pending block from the model (without the leaf-LOD block)
  // unless one is pending. kErrOutOfMemory when the model gives none.
  Result PrepareRuntime(void* context) override;
  // Writes the record; the pending block (if any) is written and freed.
  // Every write is checked and the first failure answered.
  Result Save(CStream& stream, u32 flags) override;
  // "CTree Member": "Seed", "Size", "SizeVariance"; then the CDorun members.
  void DescribeMembers(CMemberVisitor& visitor) override;
  // The ten references as owned (empty ones included), then the CDorun's.
  void EnumReferences(CReferenceVisitor& visitor) override;
  u32 GetMemorySize() const override;
  // The CDorun part + the pending block's length + 104.
  u32 GetSaveSize() const override;
  bool HasSubObjects() const override;

  u32 Seed = 1;
  f32 Size = -1.0f;
  f32 SizeVariance = -1.0f;

 private:
  // The references in slot order (empty ones as null).
  std::vector<CBase*> ReferenceList() const;

  trt::CTreeRT* model_ = nullptr;
  std::vector<CVector3<float>> corners_;
  std::array<CPointer<CBase>, kReferenceCount> references_;
  CRuntimeBlock sptBlock_;
};

}  // namespace KT
