// KT::CSky: the sky of a scene file. It owns one slot of any class and
// says whether the sky includes fog.
//
// Record, after the KT::CDorun part: version pair 2.01; the id of
// SubObject (8 bytes); FogIncluded (one byte, 1 or 0; any non-zero byte
// reads as true). Version 2.00 stores the id in 4 bytes.
#pragma once

#include "environment/slot_owner.h"

namespace KT {

class CSky : public CSingleSlotOwner {
  KT_DECLARE_CLASS(CSky)

 public:
  static constexpr u32 kVersionWideId = 201;  // the id is 8 bytes from here on

  CSky() = default;
  // The KT::CDorun part and FogIncluded; the slot starts empty.
  CSky(const CSky& other) : CSingleSlotOwner(other), FogIncluded(other.FogIncluded) {}

  Result CreateInstance(CPointer<CBase>& out) const override;
  // A target that is not a sky: kErrNotFound, nothing changed. Else the
  // KT::CDorun part, FogIncluded and the slot (shared; the target's former
  // object goes to `displaced`).
  Result CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const override;
  Result Load(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  Result Save(CStream& stream, u32 flags) override;
  // "CSky Member": FogIncluded; then the KT::CDorun members.
  void DescribeMembers(CMemberVisitor& visitor) override;
  u32 GetMemorySize() const override;
  u32 GetSaveSize() const override;

  bool FogIncluded = false;
};

}  // namespace KT
