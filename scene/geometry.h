// KT::CGeometry: the spatial that carries drawable vertex data.
//
// A geometry holds a list of levels of detail, each a shared
// KT::CGeometryData, ordered from the most detailed to the least: the vertex
// count (the XYZ count of a level) never increases along the list. It also
// holds the world-space copies of the positions and normals that the mesh
// update fills (WorldXYZ, WorldNormal), the three mesh-state flags that the
// mesh classes and the deforming controllers share, and, for skinned
// geometry, bone boxes from which the world bound is built.
//
// Mesh-state protocol (the triangle mesh owns it): each frame the mesh copies
// the level in use into WorldXYZ and WorldNormal and clears WorldXYZReady and
// WorldNormalReady; deforming data controllers overwrite WorldXYZ and set
// RecomputeNormals (and WorldXYZReady when they write world positions); the
// mesh then moves what is not yet in world space and rebuilds the normals
// when asked. A deforming controller also sets HasDeformedWorldXYZ in its
// transform update, so that the world bound follows the deformed positions.
//
// Levels that a file names but that do not resolve stay in the list as empty
// entries: GetLod answers null for them, and a geometry whose level is
// missing reports an empty world bound.
//
// Record, after the KT::CSpatial record (little-endian): version pair 2.04;
// SharedObject (8-byte id); the level count and one 8-byte id per level;
// IsBone and UpdateDynamicWorldBoundFromVertex (one byte each); the bone-box
// count and per pair the 8-byte ids of Box and Bone. Older forms: below 2.02
// the vertex data of the only level follows the version pair inline (the
// KT::CGeometryData block without its version pair) and, below 2.01,
// SharedObject is a 4-byte id; 2.02 stores one level id without a count;
// bone boxes and UpdateDynamicWorldBoundFromVertex from 2.04.
#pragma once

#include <vector>

#include "objectmodel/buffer.h"
#include "objectmodel/vector.h"
#include "scene/spatial.h"

namespace KT {

class CBoundingBox;
class CGeometryData;

class CGeometry : public CSpatial {
  KT_DECLARE_CLASS(CGeometry)

 public:
  using Vec3 = CVector3<float>;

  // Version gates of the record.
  static constexpr u32 kVersionWideSharedId = 201;  // SharedObject as an 8-byte id from here on
  static constexpr u32 kVersionLevelIds = 202;      // levels stored as ids instead of an inline vertex block
  static constexpr u32 kVersionLevelList = 203;     // a counted list of level ids from here on
  static constexpr u32 kVersionBoneBoxes = 204;     // bone boxes and the dynamic-bound flag from here on

  // A box carried by a bone. The Box is owned; the Bone holds no reference
  // (it lives in the scene tree) and is found again by name through
  // ResolveReferences.
  struct BoneBox {
    CPointer<CBoundingBox> Box;
    CSpatial* Bone = nullptr;
  };

  // No levels, empty world buffers, no SharedObject, no bone boxes, every
  // flag false except RecomputeNormals.
  CGeometry();
  // Copies the spatial part, the world buffers, IsBone,
  // UpdateDynamicWorldBoundFromVertex and the four mesh-state flags; the
  // copy has no levels, no SharedObject and no bone boxes (Clone fills them).
  CGeometry(const CGeometry& other);
  ~CGeometry() override;

  // --- levels of detail ---------------------------------------------------------------
  // The list becomes {data}. Null: kErrInvalidArg.
  virtual Result SetSingleLod(CGeometryData* data);
  virtual Result SetLods(const std::vector<CGeometryData*>& lods);
  // Replaces the list. An empty vector or a null entry: kErrInvalidArg; a
  // vertex count greater than the one before it: kErrLodOrder. Nothing
  // changes on failure.
  virtual Result SetLods(const std::vector<CPointer<CGeometryData>>& lods);
  // Appends `data`; its vertex count must not exceed the last level's
  // (kErrLodOrder). Null: kErrInvalidArg.
  virtual Result AddLod(CGeometryData* data);
  // Replaces the first level equal to `oldData` through SetLod and answers
  // its result; kDone when `oldData` is not a level. Either null:
  // kErrInvalidArg.
  virtual Result ReplaceLod(CGeometryData* oldData, CGeometryData* newData);
  // Replaces level `index`. Null data or an index past the end:
  // kErrInvalidArg. The new vertex count must not exceed the previous
  // level's and must be strictly greater than the next level's
  // (kErrLodOrder).
  virtual Result SetLod(u32 index, CGeometryData* data);

  // Level `index`, or null when there is no such level (or it did not
  // resolve when loading). No reference is taken.
  CGeometryData* GetLod(u32 index) const;
  u32 GetLodCount() const { return static_cast<u32>(lods_.size()); }
  const std::vector<CPointer<CGeometryData>>& GetLods() const { return lods_; }
  // The vertex count of level `index` (0 when there is no such level).
  u32 GetLodVertexCount(u32 index) const;

  // --- world buffers and mesh state -----------------------------------------------------
  // WorldXYZ / WorldNormal become `n` zero vectors. n = 0: kErrInvalidArg
  // and no change; kErrOutOfMemory leaves the buffer empty.
  Result AllocateWorldXYZ(u32 n);
  Result AllocateWorldNormal(u32 n);
  CBuffer<Vec3>& GetWorldXYZ() { return worldXyz_; }
  const CBuffer<Vec3>& GetWorldXYZ() const { return worldXyz_; }
  CBuffer<Vec3>& GetWorldNormal() { return worldNormal_; }
  const CBuffer<Vec3>& GetWorldNormal() const { return worldNormal_; }

  bool IsWorldXYZReady() const { return worldXyzReady_; }
  void SetWorldXYZReady(bool ready) { worldXyzReady_ = ready; }
  bool IsWorldNormalReady() const { return worldNormalReady_; }
  void SetWorldNormalReady(bool ready) { worldNormalReady_ = ready; }
  bool GetRecomputeNormals() const { return recomputeNormals_; }
  void SetRecomputeNormals(bool recompute) { recomputeNormals_ = recompute; }
  bool HasDeformedWorldXYZ() const { return hasDeformedWorldXyz_; }
  void SetHasDeformedWorldXYZ(bool deformed) { hasDeformedWorldXyz_ = deformed; }

  // --- other fields ------------------------------------------------------------------------
  CDorun* GetSharedObject() const { return sharedObject_.Get(); }
  void SetSharedObject(CDorun* object) {
    sharedObject_ = object;
    SetModified();
  }
  bool IsBone() const { return isBone_; }
  void SetBone(bool isBone) {
    isBone_ = isBone;
    SetModified();
  }
  bool GetUpdateDynamicWorldBoundFromVertex() const { return updateDynamicWorldBoundFromVertex_; }
  void SetUpdateDynamicWorldBoundFromVertex(bool value) {
    updateDynamicWorldBoundFromVertex_ = value;
    SetModified();
  }
  const std::vector<BoneBox>& GetBoneBoxes() const { return boneBoxes_; }
  // Appends a pair. A null box: kErrInvalidArg.
  Result AddBoneBox(CBoundingBox* box, CSpatial* bone);
  void ClearBoneBoxes();

  // --- spatial protocol ----------------------------------------------------------------------
  // The geometry itself; it has no children.
  Result CollectSpatials(std::vector<CSpatial*>& spatials) override;
  i32 GetMinUpdateDepth() const override { return kGeometryMinUpdateDepth; }
  // Clears HasDeformedWorldXYZ, then runs the transform controllers (a
  // deforming one sets the flag again).
  Result UpdateTransform(i32 time) override;
  // Without deformation: level 0's bounding box under WorldMatrix (empty
  // without a level 0). Deformed: the merged bone boxes under their bones'
  // world matrices when there are usable pairs (a pair whose box or bone is
  // missing is skipped) and UpdateDynamicWorldBoundFromVertex is false,
  // else the bound of WorldXYZ. kOk.
  Result UpdateWorldBound() override;
  // bound = the bound of the WorldXYZ points; kOk.
  Result GetBound(CBound& bound) override;

  // --- overrides ----------------------------------------------------------------------------
  // Every Bone becomes its clone from the map (kErrCloneMissing when a bone
  // has none; kErrNotFound when the clone is not a spatial).
  Result RemapReferences(const CloneMap& cloneMap) override;
  CBase* Find(const char16_t* name, const ClassRecord* record, bool includeDerived, bool onlyMarked) override;
  void Collect(std::vector<CBase*>& out, const char16_t* name, const ClassRecord* record, bool includeDerived,
               bool onlyMarked) override;
  bool UpdateMarked(const ObjectSet& set) override;
  void ClearMarked() override;
  // Null root: kErrInvalidArg. Every Bone is found again under the root by
  // its name (a spatial or derived class; null when none), then the
  // SharedObject, the levels and the spatial part resolve theirs.
  Result ResolveReferences(CBase* root) override;
  Result CollectAnimated(std::vector<CDorun*>& animated) override;
  Result RegisterForSave(CStream& stream, u32 flags) override;
  void EnumReferences(CReferenceVisitor& visitor) override;
  bool HasSubObjects() const override;
  u32 GetMemorySize() const override;
  u32 GetSaveSize() const override;
  Result CreateInstance(CPointer<CBase>& out) const override;
  // Clones the spatial part, then the SharedObject, every level and every
  // Box; Bone pointers are carried over (RemapReferences moves them).
  Result Clone(CPointer<CBase>& out, CloneMap& cloneMap, u32 flags) override;
  // The target must be a geometry (null: kErrInvalidArg; another class:
  // kErrNotFound). Copies the world buffers, IsBone and
  // UpdateDynamicWorldBoundFromVertex; shares the SharedObject, the levels
  // and the boxes (the target's former ones go to `displaced`); copies the
  // Bone pointers.
  Result CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const override;
  // Reads the record; a stored count is checked against the bytes left
  // (kErrStream) before anything is allocated.
  Result Load(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  // Resolves the SharedObject, the levels (an id that is not vertex data
  // leaves an empty level), sizes WorldXYZ and WorldNormal from level 0,
  // then resolves the boxes and bones. An owning reference that would close
  // a cycle: kErrNotFound.
  Result Link(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  Result Save(CStream& stream, u32 flags) override;
  void DescribeMembers(CMemberVisitor& visitor) override;

 protected:
  // Replaces level `index` without the order checks (the old-record
  // loaders rebuild level 0 in another class). Index past the end: kErrInvalidArg.
  Result ReplaceLodUnchecked(u32 index, CGeometryData* data);

 private:
  // Reads the inline vertex block of records below 2.02 into a new level.
  Result LoadInlineVertexBlock(CStream& stream);

  CBuffer<Vec3> worldXyz_;
  CBuffer<Vec3> worldNormal_;
  CPointer<CDorun> sharedObject_;
  std::vector<CPointer<CGeometryData>> lods_;
  bool isBone_ = false;
  std::vector<BoneBox> boneBoxes_;
  bool updateDynamicWorldBoundFromVertex_ = false;
  bool worldNormalReady_ = false;
  bool worldXyzReady_ = false;
  bool recomputeNormals_ = true;
  bool hasDeformedWorldXyz_ = false;
  // What Load queued for Link (the stream's stored version has moved on by
  // then): the number of level ids, or an inline level already in place.
  u32 queuedLevels_ = 0;
  bool levelsInline_ = false;
};

// Ray against `triangleCount` triangles given as index triples into
// `positions`. Runs IntersectRayTriangle on every triangle in order and keeps
// the nearest hit (the first of equal squared distances from the origin).
// Triangles past the end of `indices` (indexCount / 3) and triangles with a
// corner index not below `positionCount` are skipped. `distance` starts at
// the largest finite float and `point` and `normal` at zero; on a hit
// `triangle` is the triangle's index and `distance` the distance of the hit
// point. `twoSided` false hits only faces turned against the ray.
bool IntersectRayTriangles(const CVector3<float>& origin, const CVector3<float>& direction, bool twoSided,
                           const u32* indices, u32 indexCount, const CVector3<float>* positions, u32 positionCount,
                           u32 triangleCount, u32& triangle, f32& distance, CVector3<float>& point,
                           CVector3<float>& normal);

}  // namespace KT
