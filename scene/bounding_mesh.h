// KT::CBoundingMesh: a simple triangle mesh (positions and triangle
// indices) that stands in for geometry when only its extent matters.
//
// The mesh follows a Reference spatial: each frame the data pass moves its
// positions (XYZ, in the Reference's space) into world space (WorldXYZ).
// A spatial keeps a chain of bounding meshes: each mesh owns the next one
// through a counted reference. Every chain operation (destruction, Find,
// Collect, marking, CollectAnimated, RegisterForSave, Clone, AppendMesh)
// runs as a loop, so a long chain costs no stack, and no operation lets a
// chain loop back on itself.
//
// Reference is a plain pointer that holds no count; it only ever points at
// a KT::CSpatial. After copying or loading it is re-found by name
// (ResolveReferences) or through a clone map (RemapReferences).
//
// Record, after the KT::CDorun record (little-endian): version pair 2.03;
// Reference and next mesh as 8-byte ids (4-byte ids below 2.02); the
// triangle count t; 3 x t u32 indices; the XYZ count k and k positions of
// three f32; Active (from 2.01) and Freeze (from 2.03) as one byte each.
// IsHide, Color and WorldXYZ are not stored.
#pragma once

#include <vector>

#include "objectmodel/buffer.h"
#include "objectmodel/color.h"
#include "objectmodel/dorun.h"
#include "objectmodel/vector.h"

namespace KT {

class CSpatial;

class CBoundingMesh : public CDorun {
  KT_DECLARE_CLASS(CBoundingMesh)

 public:
  // Version gates of the record.
  static constexpr u32 kVersionActive = 201;   // Active stored from here on
  static constexpr u32 kVersionWideIds = 202;  // references as 8-byte ids from here on
  static constexpr u32 kVersionFreeze = 203;   // Freeze stored from here on

  using Vec3 = CVector3<float>;

  // No Reference, no next mesh, no triangles or positions, Color (1, 1, 1),
  // IsHide and Active true, Freeze false.
  CBoundingMesh() = default;
  // Copies Reference, TriangleQuantity, the three buffers, Color and the
  // three flags; the copy has no next mesh (Clone rebuilds the chain).
  CBoundingMesh(const CBoundingMesh& other);
  ~CBoundingMesh() override;

  // A new default mesh into `out`: kOk, or kErrOutOfMemory (`out` unchanged).
  static Result Create(CPointer<CBoundingMesh>& out);

  // --- fields ------------------------------------------------------------------
  CSpatial* GetReference() const { return reference_; }
  // Points the mesh at `reference` (null clears it); no count is taken.
  void SetReference(CSpatial* reference) {
    reference_ = reference;
    SetModified();
  }
  CBoundingMesh* GetNextMesh() const { return next_.Get(); }

  u32 GetTriangleQuantity() const { return triangleQuantity_; }
  // Sets the count alone (the indices stay as they are). Only triangles
  // that have all three indices count when the mesh is saved or read.
  void SetTriangleQuantity(u32 count) {
    triangleQuantity_ = count;
    SetModified();
  }
  // Three indices into XYZ per triangle (corner c of triangle t at 3t + c).
  // The indices are not checked against XYZ when set or loaded: read
  // triangles through GetTriangle, which does.
  CBuffer<u32>& GetXYZTriIndex() { return xyzTriIndex_; }
  const CBuffer<u32>& GetXYZTriIndex() const { return xyzTriIndex_; }
  // Sets TriangleQuantity to `count` and XYZTriIndex to 3 x `count` indices
  // copied from `indices` (zeroed when `indices` is null). count 0 empties
  // both. kErrOutOfMemory when the indices cannot be allocated (nothing
  // changes then). Marks the mesh modified.
  Result SetTriangles(u32 count, const u32* indices);
  // The three positions of triangle `t` (from XYZ). kErrOutOfRange when t is
  // not below TriangleQuantity or past the stored indices; kErrNotFound when
  // one of its indices does not name a position of XYZ. `corners` is only
  // written on kOk.
  Result GetTriangle(u32 t, Vec3 corners[3]) const;

  // Positions in the Reference's space; fill them after AllocateVertices.
  CBuffer<Vec3>& GetXYZ() { return xyz_; }
  const CBuffer<Vec3>& GetXYZ() const { return xyz_; }
  // Positions in world space, written by Update.
  const CBuffer<Vec3>& GetWorldXYZ() const { return worldXyz_; }
  // Gives XYZ and WorldXYZ `n` zeroed positions each. n = 0: kErrInvalidArg
  // and nothing changes; kErrOutOfMemory when either cannot be allocated
  // (both are then empty).
  Result AllocateVertices(u32 n);

  // Display colour: red, green and blue; alpha is kept at whatever the
  // caller sets (1 by default) and not stored.
  const CColor& GetColor() const { return color_; }
  void SetColor(const CColor& color) {
    color_ = color;
    SetModified();
  }
  bool IsHidden() const { return isHide_; }
  void SetHidden(bool hide) {
    isHide_ = hide;
    SetModified();
  }
  bool IsActive() const { return active_; }
  void SetActive(bool active) {
    active_ = active;
    SetModified();
  }
  bool IsFrozen() const { return freeze_; }
  void SetFrozen(bool freeze) {
    freeze_ = freeze;
    SetModified();
  }

  // --- chain ---------------------------------------------------------------------
  // Appends `mesh` (with the meshes chained behind it) at the end of the
  // chain that continues from this mesh; the last mesh takes one count.
  // kErrInvalidArg when `mesh` is null or when the append would make the
  // chain loop (`mesh` is already in this chain, or its own chain leads
  // into it); else kOk. Marks this mesh modified.
  Result AppendMesh(CBoundingMesh* mesh);
  // Called by `owner`'s update-depth computation, so that the owner updates
  // after the spatial this mesh follows: kDone with no Reference or when
  // the Reference is `owner` itself; else the Reference's RaiseUpdateDepth
  // (time, depth) and its result (kOk, or the failure it reports).
  Result RaiseDepthOfReference(CSpatial* owner, i32 time, i32& depth);

  // --- overrides --------------------------------------------------------------------
  // The KT::CDorun update (a failure is returned), then WorldXYZ[i] =
  // XYZ[i] as a point under the Reference's WorldMatrix (with the divide by
  // w), or XYZ[i] unchanged without a Reference; kOk. WorldXYZ is resized to
  // the XYZ count first when the two differ.
  Result Update(i32 time) override;
  // Puts every mesh of the chain (from this one) into `animated`, once
  // each: bounding meshes always take part in the data pass. kOk.
  Result CollectAnimated(std::vector<CDorun*>& animated) override;
  // The KT::CDorun search on each mesh of the chain in order; first hit.
  CBase* Find(const char16_t* name, const ClassRecord* record, bool includeDerived, bool onlyMarked) override;
  // The KT::CDorun collection on each mesh of the chain in order.
  void Collect(std::vector<CBase*>& out, const char16_t* name, const ClassRecord* record, bool includeDerived,
               bool onlyMarked) override;
  // A mesh is marked when it, its own chains, or any later mesh is in the set.
  bool UpdateMarked(const ObjectSet& set) override;
  void ClearMarked() override;
  // Null root: kErrInvalidArg. On every mesh of the chain a set Reference is
  // replaced by the spatial of the same name found under `root` (classes
  // derived from KT::CSpatial allowed); none: kErrCloneMissing. Then each
  // mesh's KT::CDorun part; the first failure is returned.
  Result ResolveReferences(CBase* root) override;
  // A set Reference is replaced by its clone: kErrCloneMissing when it is
  // not in the map, kErrNotFound when its clone is not a spatial.
  Result RemapReferences(const CloneMap& cloneMap) override;
  // Registers this mesh and, unless it was registered already (kDone), the
  // rest of its chain.
  Result RegisterForSave(CStream& stream, u32 flags) override;
  bool HasSubObjects() const override;
  Result CreateInstance(CPointer<CBase>& out) const override;
  // Clones this mesh and every mesh after it; the clone chain has the same
  // order. kDone with the earlier clone when this mesh was cloned before.
  Result Clone(CPointer<CBase>& out, CloneMap& cloneMap, u32 flags) override;
  // Target not a bounding mesh: kErrNotFound; target further down this
  // mesh's chain: kErrInvalidArg (sharing the next mesh would loop).
  // Copies Reference, TriangleQuantity, XYZTriIndex, XYZ, WorldXYZ (an
  // empty source buffer empties the target's), Color and Freeze (not IsHide
  // or Active); the target shares the next mesh, its former one going to
  // `displaced`.
  Result CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const override;
  // Reads the record; counts are checked against the bytes left before
  // anything is allocated (kErrStream).
  Result Load(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  // Reference = the object of the next queued id when it is a spatial (else
  // null; no count taken); the next mesh from the id after it. A next mesh
  // whose chain leads back to this one is refused with kErrNotFound.
  Result Link(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  // Writes the triangle count together with exactly the indices it covers
  // (the smaller of TriangleQuantity and the whole triangles XYZTriIndex
  // holds), so that a reader always stays in step.
  Result Save(CStream& stream, u32 flags) override;
  void DescribeMembers(CMemberVisitor& visitor) override;
  void EnumReferences(CReferenceVisitor& visitor) override;
  u32 GetMemorySize() const override;
  u32 GetSaveSize() const override;

 private:
  // The number of triangles Save writes.
  u32 SavedTriangleCount() const;
  // Assigns the next mesh while linking; refuses a link that would loop.
  Result LinkNext(CStream& stream, u64 id);

  CSpatial* reference_ = nullptr;
  CPointer<CBoundingMesh> next_;
  u32 triangleQuantity_ = 0;
  CBuffer<u32> xyzTriIndex_;
  CBuffer<Vec3> xyz_;
  CBuffer<Vec3> worldXyz_;
  CColor color_{1.0f, 1.0f, 1.0f, 1.0f};
  bool isHide_ = true;
  bool active_ = true;
  bool freeze_ = false;
};

}  // namespace KT
