// KT::CCameraTarget: a spatial object that marks the point a camera looks
// at. It has no state of its own: its place, parent and animation are those
// of any spatial, and it exists so that scene files can hold a target node
// of this class. Like the lights and cameras it is a point: its world
// bound is placed at its world translation.
//
// Record, after the KT::CSpatial level: the version pair 2.00 and nothing
// else (8 bytes). The member description is the spatial's.
#pragma once

#include "scene/spatial.h"

namespace KT {

class CCameraTarget : public CSpatial {
  KT_DECLARE_CLASS(CCameraTarget)

 public:
  CCameraTarget() = default;
  CCameraTarget(const CCameraTarget& other) = default;
  ~CCameraTarget() override;

  // --- spatial protocol ------------------------------------------------------------
  // This target alone.
  Result CollectSpatials(std::vector<CSpatial*>& spatials) override;
  // The bound's centre becomes the world translation. kOk.
  Result UpdateWorldBound() override;

  // --- scene-content protocol --------------------------------------------------------
  // The attached controls' update (CDorun::UpdateOk): a failure is
  // returned, every other answer as kOk.
  Result Update(i32 time) override;

  // --- root protocol ---------------------------------------------------------------
  // A copy made by the copy constructor; kErrOutOfMemory without memory.
  Result CreateInstance(CPointer<CBase>& out) const override;
  // The spatial's CopyTo: kDone or a failure as it answers, anything else
  // as kOk.
  Result CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const override;
  // The spatial part, then the version block (a stored version above 2.00:
  // kErrNewerVersion); nothing else is read.
  Result Load(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  Result Save(CStream& stream, u32 flags) override;
  // The spatial's + 8.
  u32 GetSaveSize() const override;
};

}  // namespace KT
