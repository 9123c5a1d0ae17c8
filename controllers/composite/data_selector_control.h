// KT::CDataSelectorControl: the data container that lets the child of the
// highest priority evaluate.
//
// At a time every child in list order is offered the pick
// (PickByPriority): a child that takes it (a plain controller does when it
// is active and its Priority is strictly higher than the best so far)
// refreshes its priority (UpdatePriority) and becomes the choice, so ties
// keep the earlier child; when nobody takes it, child 0 is chosen. The
// choice runs Update at the local time; Apply hands on to it.
//
// Record, after the CDataControl part: version pair 2.00, the child list
// (u32 count, 8-byte ids).
#pragma once

#include "controllers/core/data_control.h"
#include "controllers/core/layer.h"

namespace KT {

class CDataSelectorControl : public CListControl<CDataControl, CDataControl> {
  KT_DECLARE_CLASS(CDataSelectorControl)

 public:
  CDataSelectorControl() = default;
  // Copies the CDataControl part; no children (Clone fills the copy's
  // children).
  CDataSelectorControl(const CDataSelectorControl& other) = default;

  // The list operations, binding, child visits, the end time, Clone and
  // Link are the container's (controllers/core/layer.h). Reference
  // resolution stops at a child's first failure and answers it.

  // --- controller protocol -----------------------------------------------------------------
  // Inactive: kDone. No children: kErrInvalidArg. Otherwise the pick at
  // `time` (from best time 0 and best priority 0; each child that answers
  // 2 or 3 runs UpdatePriority(time) and becomes the choice, its Priority
  // the best priority); the choice runs Update at MapTime(time,
  // GetEndTime()); its failure is answered, else kOk.
  Result Update(i32 time) override;
  // The Apply of the child the last Update ran; kOk when it ran none.
  Result Apply() override { return ApplyEvaluatedChild(); }

  // --- root protocol --------------------------------------------------------------------------
  Result CreateInstance(CPointer<CBase>& out) const override;
  // Into a data selector (else kErrNotFound); refusals of the move
  // (kErrInvalidArg) leave both as they were. The CDataControl part, then
  // the children move to the target.
  Result CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const override;
  // Version 2.00; above: kErrNewerVersion. The child count is checked
  // against the bytes left (kErrStream).
  Result Load(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  Result Save(CStream& stream, u32 flags) override;
  // CDataControl's + 4 per child + 32.
  u32 GetMemorySize() const override;
  // CDataControl's + 8 + (4 + 8 per child).
  u32 GetSaveSize() const override;

 private:
  // The index the pick at `time` chooses; 0 when nobody takes it.
  u32 Choose(i32 time);
};

}  // namespace KT
