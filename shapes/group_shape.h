// KT::CGroupShape: the scene node through which vector shapes enter the
// scene graph. It owns a list of shapes and a list of shape instances,
// each instance placing the shape Shapes[ShapeID] with its own transform.
// Instances are spatial objects with the group as Parent, but not children
// of its node child list: the group lists them as spatials of its own
// (CollectSpatials) and computes their world bounds.
//
// An instance whose ShapeID is not an index of Shapes, or whose slot is
// empty, contributes nothing to any bound.
//
// Record, after the KT::CNode part: version pair 1.00; GroupID, Layer
// (u32); Shapes and ShapeInstances as reference lists (u32 count, one u64
// id per element, 0 for an empty slot). AnimLayer mirrors Layer (set at
// Load and at every CollectAnimated; not saved).
#pragma once

#include <vector>

#include "objectmodel/matrix4.h"
#include "scene/node.h"
#include "shapes/shape.h"
#include "shapes/shape_instance.h"

namespace KT {

class CGroupShape : public CNode {
  KT_DECLARE_CLASS(CGroupShape)

 public:
  CGroupShape() = default;
  // The node copy, GroupID, Layer and AnimLayer; both lists start empty.
  CGroupShape(const CGroupShape& other);
  // Instances that still name this group as Parent are left without one.
  ~CGroupShape() override;

  const std::vector<CPointer<CShape>>& GetShapes() const { return shapes_; }
  const std::vector<CPointer<CShapeInstance>>& GetShapeInstances() const { return instances_; }
  // Appends a shape (null appends an empty slot); marks modified.
  void AddShape(CShape* shape);
  // Appends `instance` and makes this group its Parent; marks modified.
  // Null, or an instance that has a Parent already: kErrInvalidArg and the
  // list is unchanged.
  Result AddShapeInstance(CShapeInstance* instance);
  // Shapes[ShapeID] of the instance, or null when the index is outside the
  // list or the slot is empty.
  CShape* ShapeOf(const CShapeInstance& instance) const;

  u32 GetAnimLayer() const { return animLayer_; }

  // --- spatial protocol ----------------------------------------------------------------
  // The group, then every instance (the node's children are not visited).
  Result CollectSpatials(std::vector<CSpatial*>& spatials) override;
  // One cached depth as for an instance: the parent's depth + 1, attached
  // controllers not taking part.
  Result GetUpdateDepth(i32 time, i32& depth) override;
  // Every shape's bound updated (the first failure is answered); then the
  // group's WorldBound from: each active child with a non-empty WorldBound,
  // and each active instance with a shape, whose WorldBound becomes the
  // shape's bound transformed by its WorldMatrix. No contribution: empty.
  Result UpdateWorldBound() override;
  // The children's own bounds (where they answer kOk), then each active
  // instance's shape bound in world space, merged into `bound`; with none
  // `bound` is left as it was. kOk.
  Result GetBound(CBound& bound) override;
  // The bound of the active instances' shapes in the frame of `space`:
  // each shape's bound transformed by the instance's WorldMatrix times the
  // inverse of `space`; with none `bound` is left as it was. Children and
  // the instances' WorldBound are not touched. kOk, or the first failure of
  // a shape bound.
  virtual Result GetShapeBound(const CMatrix4& space, CBound& bound);

  // --- CBase protocol ------------------------------------------------------------------
  CBase* Find(const char16_t* name, const ClassRecord* record, bool includeDerived, bool onlyMarked) override;
  void Collect(std::vector<CBase*>& out, const char16_t* name, const ClassRecord* record, bool includeDerived,
               bool onlyMarked) override;
  bool UpdateMarked(const ObjectSet& set) override;
  void ClearMarked() override;
  Result ResolveReferences(CBase* root) override;
  Result CreateInstance(CPointer<CBase>& out) const override;
  // The node clone; then every shape and every instance cloned through the
  // same map (instances joined with AddShapeInstance).
  Result Clone(CPointer<CBase>& out, CloneMap& cloneMap, u32 flags) override;
  // Target not a group: kErrNotFound. Otherwise the node part, GroupID and
  // Layer; the target's lists go to `displaced` and become copies of this
  // group's lists, every instance taking the target as Parent; the target's
  // Modified flag ends cleared.
  Result CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const override;
  Result Load(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  // Shapes must be shapes and instances instances (else kErrNotFound);
  // every linked instance takes this group as Parent.
  Result Link(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  Result RegisterForSave(CStream& stream, u32 flags) override;
  Result Save(CStream& stream, u32 flags) override;
  // "CGroupShape Member": "Group ID", "Layer", "ShapeData" ("Shape Data"
  // each), "ShapeInstance" ("Shape Instance" each); then the node's.
  void DescribeMembers(CMemberVisitor& visitor) override;
  void EnumReferences(CReferenceVisitor& visitor) override;
  // AnimLayer = Layer; the node's, every shape's and every instance's; kOk.
  Result CollectAnimated(std::vector<CDorun*>& animated) override;
  // The node's update; kOk short of a failure.
  Result Update(i32 time) override;
  u32 GetMemorySize() const override;
  u32 GetSaveSize() const override;
  bool HasSubObjects() const override;

  u32 GroupID = 0;
  u32 Layer = 0;

 private:
  // Every shape and instance, in that order.
  std::vector<CBase*> AllElements() const;
  // Updates every shape's bound; the first failure is answered.
  Result UpdateShapeBounds();
  // Calls `place(instance, shape)` for every active instance with a shape.
  template <typename Place>
  void ForEachPlacement(Place place) const {
    for (const CPointer<CShapeInstance>& instance : instances_) {
      if (!instance || !instance->IsActive()) continue;
      if (const CShape* shape = ShapeOf(*instance)) place(*instance, *shape);
    }
  }

  std::vector<CPointer<CShape>> shapes_;
  std::vector<CPointer<CShapeInstance>> instances_;
  u32 animLayer_ = 0;
  i32 cachedDepth_ = 0;
};

}  // namespace KT
