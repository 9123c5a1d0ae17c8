// KT::CShape: a 2-D vector drawing: lists of fill styles, line styles and
// edges, and how its 2-D coordinates are placed in 3-D space.
//
// A 2-D point (x, y) is scaled by Direction, (x', y') = (x Direction.x,
// y Direction.y), and mapped by Plane: 0 gives (x', 0, y'), 1 gives
// (x', y', 0), 2 gives (0, y', x'); any other Plane maps like 0. Bound is
// the 3-D bound of all edges, recomputed by UpdateBound: each edge's 2-D
// bound with its centre, minimum and maximum mapped and its radius taken
// over, merged in list order (with a negative Direction factor the mapped
// minimum and maximum change roles and are used as mapped).
//
// The lists own one reference per element; elements may be shared with
// other shapes, and a clone through one clone map keeps them shared.
//
// Record, after the KT::CDorun part: version pair 1.00; FillStyles,
// LineStyles and Edges as reference lists (u32 count, one u64 id per
// element, 0 for an empty slot); TextureScale, GradientUnit (f32); Plane
// (u32); Direction x, y (f32).
#pragma once

#include <vector>

#include "objectmodel/dorun.h"
#include "objectmodel/vector.h"
#include "scene/bound.h"
#include "shapes/edge.h"
#include "shapes/fill_style.h"
#include "shapes/line_style.h"

namespace KT {

// The answer of the shape's reserved slot.
inline constexpr Result kErrNotImplemented = MakeFailure(0x80000001u);

class CShape : public CDorun {
  KT_DECLARE_CLASS(CShape)

 public:
  // Plane 0, Direction (1, 1), TextureScale 32768, GradientUnit 1, empty
  // lists, empty Bound.
  CShape() = default;
  // Plane, Direction, TextureScale and GradientUnit; the lists start empty.
  CShape(const CShape& other);
  ~CShape() override;

  const std::vector<CPointer<CFillStyle>>& GetFillStyles() const { return fillStyles_; }
  const std::vector<CPointer<CLineStyle>>& GetLineStyles() const { return lineStyles_; }
  const std::vector<CPointer<CEdge>>& GetEdges() const { return edges_; }
  // Append one element (null appends an empty slot); mark modified.
  void AddFillStyle(CFillStyle* style);
  void AddLineStyle(CLineStyle* style);
  void AddEdge(CEdge* edge);

  // The 3-D point of a 2-D point (see above).
  CVector3<float> MapPoint(const CVector2& point) const;
  // Bound: empty without edges; else each non-null edge's bound, updated
  // and mapped, the first copied and the rest merged. kOk.
  Result UpdateBound();
  const CBound& GetBound() const { return bound_; }

  // Not implemented: kErrNotImplemented (0x80000001).
  virtual Result Reserved();

  // --- CBase protocol ----------------------------------------------------------------
  // The CDorun part, then every fill style, line style and edge in order.
  CBase* Find(const char16_t* name, const ClassRecord* record, bool includeDerived, bool onlyMarked) override;
  void Collect(std::vector<CBase*>& out, const char16_t* name, const ClassRecord* record, bool includeDerived,
               bool onlyMarked) override;
  bool UpdateMarked(const ObjectSet& set) override;
  void ClearMarked() override;
  Result ResolveReferences(CBase* root) override;
  Result CreateInstance(CPointer<CBase>& out) const override;
  // The copy's lists hold the elements' clones made through the same map,
  // in order (one clone per element however many shapes share it).
  Result Clone(CPointer<CBase>& out, CloneMap& cloneMap, u32 flags) override;
  // Target not a shape: kErrNotFound. Otherwise the CDorun part and the
  // values; the target's lists go to `displaced` and become copies of this
  // shape's lists (the same elements, shared).
  Result CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const override;
  // List counts beyond the bytes left: kErrStream before anything is
  // allocated.
  Result Load(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  // Each list's elements must be of its class (fill styles, line styles,
  // edges): another class is refused with kErrNotFound.
  Result Link(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  Result RegisterForSave(CStream& stream, u32 flags) override;
  Result Save(CStream& stream, u32 flags) override;
  // "CShape Member": "Direction", "TextureScale", "GradientUnit", then the
  // groups "FillStyles" ("FillStyle" each), "LineStyles" ("LineStyles"
  // each) and "Edges" ("Edge" each); Plane is not described. Then the
  // CDorun members.
  void DescribeMembers(CMemberVisitor& visitor) override;
  // Every element as owned, then the CDorun references.
  void EnumReferences(CReferenceVisitor& visitor) override;
  u32 GetMemorySize() const override;
  u32 GetSaveSize() const override;
  bool HasSubObjects() const override;
  // The CDorun part, then every element's; kOk.
  Result CollectAnimated(std::vector<CDorun*>& animated) override;
  // The CDorun update; kOk whatever it answers.
  Result Update(i32 time) override;

  u32 Plane = 0;
  CVector2 Direction{1.0f, 1.0f};
  f32 TextureScale = 32768.0f;
  f32 GradientUnit = 1.0f;

 private:
  // Every element of the three lists, in order.
  std::vector<CBase*> AllElements() const;

  std::vector<CPointer<CFillStyle>> fillStyles_;
  std::vector<CPointer<CLineStyle>> lineStyles_;
  std::vector<CPointer<CEdge>> edges_;
  CBound bound_;
};

}  // namespace KT
