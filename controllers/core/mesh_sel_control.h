// KT::CMeshSelControl: a named vertex selection of a geometry, one bit per
// vertex (bit i set: vertex i of the positions is selected).
//
// It is a data controller in form only: it hangs in the geometry's control
// chain, is saved and loaded with it, and has no effect per frame. Its name
// is the selection's name.
//
// Record, after the KT::CDataControl part: version pair 2.00, then the
// KT::CBitArray record of XYZSelBit.
#pragma once

#include "controllers/core/data_control.h"
#include "scene/bit_array.h"

namespace KT {

class CMeshSelControl : public CDataControl {
  KT_DECLARE_CLASS(CMeshSelControl)

 public:
  // An empty selection.
  CMeshSelControl() = default;
  // Copies the controller part and XYZSelBit (a bit array that cannot be
  // allocated leaves the copy with 0 bits; CreateInstance reports that).
  CMeshSelControl(const CMeshSelControl& other) = default;
  ~CMeshSelControl() override;

  const CBitArray& GetXYZSelBit() const { return xyzSelBit_; }
  // XYZSelBit becomes a copy of `bits`. kErrOutOfMemory when the copy
  // cannot be allocated (the selection is then left as it was). Marks
  // modified; kOk.
  Result SetXYZSelBit(const CBitArray& bits);
  // Sets or clears the bit of vertex `index`; kErrOutOfRange outside the
  // selection (no change). Marks modified; kOk.
  Result SelectVertex(i32 index, bool selected);
  // XYZSelBit becomes one clear bit per vertex of the bound geometry's
  // first level (no bits without a level). Unbound: kErrInvalidArg; bound
  // to an object that is not a KT::CGeometry: kErrNotFound; nothing changes
  // then. kErrOutOfMemory when the bits cannot be allocated. Marks
  // modified; kOk.
  Result SizeToObject();

  // --- controller protocol ------------------------------------------------------------
  // A selection does not animate: 0.
  i32 GetEndTime() const override { return 0; }
  // Nothing to evaluate: kDone.
  Result Update(i32 time) override;
  // Nothing to write: kDone.
  Result Apply() override;

  // --- root protocol --------------------------------------------------------------------
  // A copy made by the copy constructor; kErrOutOfMemory when it, or its
  // bits, cannot be allocated.
  Result CreateInstance(CPointer<CBase>& out) const override;
  // Target null or not a KT::CMeshSelControl: kErrNotFound and nothing
  // changes. Else the controller part and a copy of XYZSelBit;
  // kErrOutOfMemory leaves the target as it was.
  Result CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const override;
  // The controller part, the version pair, then the bit array's record
  // (whose refusals are passed up; the selection is then empty).
  Result Load(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  Result Save(CStream& stream, u32 flags) override;
  // "CMeshSelControl Member": XYZSelBit.
  void DescribeMembers(CMemberVisitor& visitor) override;
  u32 GetMemorySize() const override;
  u32 GetSaveSize() const override;

 private:
  CBitArray xyzSelBit_;
};

}  // namespace KT
