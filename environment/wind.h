// KT::CWind: the scene object that carries one wind definition of the tree
// runtime (trt::CTreeWind) and two lists, RockAngles and RustleAngles, of
// one value per leaf angle of the definition (kept sized, never read here).
//
// The record is the definition's keyword text. Saving is two-phase as for
// KT::CTree: RegisterForSave (through PrepareRuntime) makes the text block,
// GetSaveSize counts it, Save writes and frees it; a second Save without a
// new registration writes a length of 0. Load parses the text into the
// definition and refills both lists with one zero per leaf angle.
//
// Record, after the KT::CDorun part (little-endian): version pair 2.00;
// text length n (u32) and n bytes of text, no terminating zero.
#pragma once

#include <vector>

#include "environment/runtime_block.h"
#include "objectmodel/dorun.h"

namespace trt {
class CTreeWind;
}

namespace KT {

class CWind : public CDorun {
  KT_DECLARE_CLASS(CWind)

 public:
  // A default definition (one wind matrix, one leaf angle); both lists
  // empty. A definition that cannot be allocated leaves it null: Load and
  // PrepareRuntime then answer kErrOutOfMemory.
  CWind();
  // The CDorun copy, a copy of the definition and both lists; no pending
  // text block.
  CWind(const CWind& other);
  // Deletes the definition and frees a pending text block that was never
  // written.
  ~CWind() override;

  trt::CTreeWind* GetTreeWind() const { return treeWind_; }
  bool HasPendingBlock() const { return windBlock_.IsPending(); }
  u32 GetPendingBlockSize() const { return windBlock_.GetSize(); }

  // --- CBase protocol -------------------------------------------------------------------
  Result CreateInstance(CPointer<CBase>& out) const override;
  // The target must be a wind object (else kErrNotFound). It receives a
  // copy of the definition (when this object has one) and both lists; its
  // pending block is freed.
  Result CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const override;
  // Text that does not parse: kErrTreeData (the definition keeps what was
  // parsed before the failure; the lists are not resized). The length is
  // checked against the bytes left first (kErrStream).
  Result Load(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  // The CDorun registration; when newly registered, PrepareRuntime.
  Result RegisterForSave(CStream& stream, u32 flags) override;
  // Makes the pending text block unless one is pending; kErrOutOfMemory
  // when the definition gives none.
  Result PrepareRuntime(void* context) override;
  // Writes the record; the pending block (if any) is written and freed.
  Result Save(CStream& stream, u32 flags) override;
  // "CWind Member": "RockAngles", "RustleAngles"; then the CDorun members.
  void DescribeMembers(CMemberVisitor& visitor) override;
  u32 GetMemorySize() const override;
  // The CDorun part + the pending block's length + 12.
  u32 GetSaveSize() const override;

  std::vector<f32> RockAngles;
  std::vector<f32> RustleAngles;

 private:
  trt::CTreeWind* treeWind_ = nullptr;
  CRuntimeBlock windBlock_;
};

}  // namespace KT
