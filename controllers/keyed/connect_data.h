// KT::CConnectData: the seam between two triangle meshes, and the weld
// that keeps it closed.
//
// XYZIDs0 names the seam vertices of Mesh0 (indices into its WorldXYZ);
// XYZIDs1 holds n = |XYZIDs1| / |XYZIDs0| partners on Mesh1 for each of
// them (entries i x n .. i x n + n - 1 belong to seam vertex i). NormalIDs0
// and NormalIDs1 hold, per seam vertex, the list of world normals of each
// mesh that belong to it; the lists are shared handles, so copies made by
// CopyTo share them while CreateInstance copies them.
//
// Each mesh's KT::CConnectControl stamps the time at which its mesh has
// updated (TimeState0, TimeState1; kNoTime when nothing is pending). Once
// both stamps hold the same time and both meshes show their first level of
// detail, the weld moves every seam vertex and its partners to their common
// average and gives every normal named for it, on both sides, the shared
// normal normalise(normalise(a) + normalise(b)), where a and b are the sums
// of the named normals of each side (a zero vector stays zero). Both stamps
// are then reset. An index outside a mesh's buffers, a missing partner or a
// missing normal list skips what it names, so a file's stray indices never
// reach outside the buffers.
//
// The meshes are uncounted references: they live in the scene that holds
// the controls.
//
// Record, after the KT::CDorun part (little-endian): version pair 2.01;
// Mesh0 and Mesh1 as 8-byte ids; XYZIDs0 and XYZIDs1 (u32 count, count
// u32); the number of NormalIDs0 lists and each list (u32 count, count
// u32); the same for NormalIDs1. The stamps are not stored. Below 2.01 the
// mesh ids are 4 bytes.
#pragma once

#include <vector>

#include "controllers/core/target_ref.h"
#include "objectmodel/dorun.h"
#include "objectmodel/share_pointer.h"
#include "scene/tri_mesh.h"

namespace KT {

class CConnectData : public CDorun {
  KT_DECLARE_CLASS(CConnectData)

 public:
  using NormalList = CSharePointer<std::vector<u32>>;

  // Version gate of the record: mesh ids are 8 bytes from here on.
  static constexpr u32 kVersionWideIds = 201;
  // A stamp with no update pending.
  static constexpr i32 kNoTime = 0x3FFFFFFF;

  CConnectData() = default;
  // Copies the meshes, the seam lists and the stamps; the normal lists are
  // shared with `other`.
  CConnectData(const CConnectData& other) = default;
  ~CConnectData() override;

  // --- seam --------------------------------------------------------------------------
  CTriMesh* GetMesh0() const { return mesh0_.Get(); }
  CTriMesh* GetMesh1() const { return mesh1_.Get(); }
  void SetMeshes(CTriMesh* mesh0, CTriMesh* mesh1) {
    mesh0_.Set(mesh0);
    mesh1_.Set(mesh1);
    SetModified();
  }
  const std::vector<u32>& GetXYZIDs0() const { return xyzIds0_; }
  const std::vector<u32>& GetXYZIDs1() const { return xyzIds1_; }
  const std::vector<NormalList>& GetNormalIDs0() const { return normalIds0_; }
  const std::vector<NormalList>& GetNormalIDs1() const { return normalIds1_; }
  // Replaces the seam: the vertex lists and, per seam vertex, the normal
  // lists of each side (each put in a new shared list). kErrOutOfMemory
  // leaves the seam as it was. Marks modified; kOk.
  Result SetSeam(const std::vector<u32>& xyzIds0, const std::vector<u32>& xyzIds1,
                 const std::vector<std::vector<u32>>& normalIds0, const std::vector<std::vector<u32>>& normalIds1);

  i32 GetTimeState0() const { return timeState0_; }
  i32 GetTimeState1() const { return timeState1_; }
  // Stamps the mesh `mesh` (Mesh0, Mesh1 or both) with `time`.
  void StampMesh(const CDorun* mesh, i32 time);
  // Both stamps back to kNoTime.
  void ClearStamps() { timeState0_ = timeState1_ = kNoTime; }

  // --- the weld --------------------------------------------------------------------------
  // Mesh0 or Mesh1 null: kErrInvalidArg. Unless both stamps equal `time`
  // and both meshes show level 0: kDone, nothing changes. Otherwise the
  // weld above, then both stamps are reset; kOk.
  Result Update(i32 time) override;

  // --- root protocol -------------------------------------------------------------------------
  // Each mesh becomes its copy when the map holds one.
  Result RemapReferences(const CloneMap& cloneMap) override;
  // Null root: kErrInvalidArg. Each mesh is found again under `root` by its
  // name (empty when not found); then the base part.
  Result ResolveReferences(CBase* root) override;
  // A copy with separate copies of every normal list and both stamps
  // reset; kErrOutOfMemory when it cannot be made.
  Result CreateInstance(CPointer<CBase>& out) const override;
  // The base part first (its failure is returned); a target that is not a
  // KT::CConnectData: kErrNotFound. Copies the meshes, the seam and the
  // stamps; the target shares this object's normal lists.
  Result CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const override;
  // Counts beyond the bytes left: kErrStream before anything is allocated.
  Result Load(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  // Resolves Mesh0, then Mesh1; a mesh the loaded roots do not keep alive
  // is dropped once the file is linked.
  Result Link(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  Result Save(CStream& stream, u32 flags) override;
  // "CConnectData Member": Mesh0, XYZIDs0, TimeState0, NormalIDs0, Mesh1,
  // XYZIDs1, TimeState1, NormalIDs1; then the base members.
  void DescribeMembers(CMemberVisitor& visitor) override;
  u32 GetMemorySize() const override;
  u32 GetSaveSize() const override;
  // True when either mesh is set.
  bool HasSubObjects() const override;

 private:
  CTargetRef<CTriMesh> mesh0_;
  std::vector<u32> xyzIds0_;
  i32 timeState0_ = kNoTime;
  std::vector<NormalList> normalIds0_;
  CTargetRef<CTriMesh> mesh1_;
  std::vector<u32> xyzIds1_;
  i32 timeState1_ = kNoTime;
  std::vector<NormalList> normalIds1_;
};

}  // namespace KT
