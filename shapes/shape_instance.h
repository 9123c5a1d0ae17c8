// KT::CShapeInstance: one placement of a shape of its group shape: the
// index of the shape in the group's Shapes list, with its own transform
// (the spatial's), a depth and a clip depth (stored, copied and described
// only).
//
// The instance's Parent is the group shape that lists it (set by the group
// when it links, copies or clones its list); it is not a child of the
// group's node child list. The group computes the instance's world bound.
// Both depth questions (transform and data) are answered from one cached
// depth: the parent's depth + 1, fixed by the first question asked after
// the instance became Dirty; attached controllers do not take part.
//
// Record, after the KT::CSpatial part (20 bytes): version pair 1.00;
// ShapeID, Depth, ClipDepth (u32).
#pragma once

#include "scene/spatial.h"

namespace KT {

// The depth rule of instances and groups: when `spatial` is Dirty, `cached`
// becomes 0 raised by the parent (`raise(parent, cached)`, whose failure is
// answered), Dirty is cleared and `cached` is kept at least at
// GetMinUpdateDepth; then `depth` is raised to `cached`.
template <typename Raise>
Result SettleCachedDepth(CSpatial& spatial, i32& cached, i32& depth, Raise raise) {
  if (spatial.IsDirty()) {
    cached = 0;
    if (CSpatial* parent = spatial.GetParent()) {
      const Result r = raise(*parent, cached);
      if (Failed(r)) return r;
    }
    spatial.SetDirty(false);
    if (cached < spatial.GetMinUpdateDepth()) cached = spatial.GetMinUpdateDepth();
  }
  if (depth < cached) depth = cached;
  return kOk;
}

class CShapeInstance : public CSpatial {
  KT_DECLARE_CLASS(CShapeInstance)

 public:
  CShapeInstance() = default;
  // The spatial copy (no parent) and the three fields.
  CShapeInstance(const CShapeInstance& other) = default;

  // --- spatial protocol ----------------------------------------------------------------
  // Appends the instance.
  Result CollectSpatials(std::vector<CSpatial*>& spatials) override;
  // The shared cached depth (see above); the parent is asked with
  // RaiseUpdateDepth.
  Result GetUpdateDepth(i32 time, i32& depth) override;
  // The same cached depth; the parent is asked with RaiseDataUpdateDepth.
  Result GetDataUpdateDepth(void* context, i32& depth) override;
  i32 GetMinUpdateDepth() const override { return 0; }
  // The group sets the instance's world bound: nothing here, kOk.
  Result UpdateWorldBound() override;
  // Nothing done: kDone.
  Result GetBound(CBound& bound) override;

  // --- CBase protocol ------------------------------------------------------------------
  Result CreateInstance(CPointer<CBase>& out) const override;
  // Target not an instance: kErrNotFound. Otherwise the spatial part and
  // the three fields.
  Result CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const override;
  Result Load(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  Result Save(CStream& stream, u32 flags) override;
  // "CShapeInstance Member": "ShapeID", "Depth", "ClipDepth"; then the
  // spatial's members.
  void DescribeMembers(CMemberVisitor& visitor) override;
  // The CDorun part only (the instance itself when a data controller
  // animates it); kOk.
  Result CollectAnimated(std::vector<CDorun*>& animated) override;
  void ClearMarked() override;
  // CDorun::UpdateOk: kOk whatever the controllers answer short of a
  // failure.
  Result Update(i32 time) override;
  u32 GetMemorySize() const override;
  u32 GetSaveSize() const override;

  u32 ShapeID = 0;
  u32 Depth = 0;
  u32 ClipDepth = 0;

 private:
  i32 cachedDepth_ = 0;
};

}  // namespace KT
