// KT::CTriMesh: the drawable triangle mesh of the scene.
//
// A geometry whose levels of detail are KT::CTriMeshData objects. Every
// frame (its Update, run by the data pass) it copies the level in use into
// WorldXYZ and WorldNormal, lets its data controllers deform them, moves
// the positions into world space unless a controller already did, and
// rebuilds the world normals from the world positions when a deformer set
// RecomputeNormals. Without RecomputeNormals WorldNormal keeps the level's
// normals as copied (they are not rotated into world space). It answers ray
// queries against level 0's triangles and picks its level for a view. It
// also keeps, per level, a list of owned objects (LodObjects), two
// level-of-detail parameter pairs and two display flags for the renderer;
// the library stores them but does not use them.
//
// The level in use is CurrentLod, limited to the last level. A mesh whose
// level in use is missing (no level at all, or a level a file named but
// did not resolve) updates with kDone and draws nothing.
//
// Record, after the KT::CGeometry record (little-endian): version pair 2.05;
// LodParam0 Threshold and PopBias, LodParam1 Threshold and PopBias (f32);
// the LodObjects list count and per list its length and one 8-byte id per
// object. Older forms: below 2.05 no LodObjects (one empty list per level);
// below 2.04 the default parameters; below 2.03 the triangles are stored in
// the mesh record itself (n; presence words and 3n indices of XYZTriIndex,
// NormalTriIndex, ColorTriIndex and VertexTriIndex; presence words and n
// values of TriangleMtlID and Smooth; the UV channel ids: below 2.00 a
// list of u32 values of which channel 0 and zeros name nothing, 2.00 4-byte
// ids, 2.01 and 2.02 8-byte ids; in 2.02 a presence word and 24-byte tangent
// records; the attribute ranges). Such a record becomes a new
// KT::CTriMeshData holding level 0's vertex streams and the stored
// triangles, made level 0 once the link pass has resolved the old level;
// up to 2.01 its tangents and normals are then rebuilt.
//
// Files also name this class "CBoneMesh", "CBoneNodeMesh" and
// "CBoneShapeMesh"; such objects load as KT::CTriMesh and save as "CTriMesh".
#pragma once

#include <vector>

#include "scene/geometry.h"

namespace KT {

class CTriMeshData;

class CTriMesh : public CGeometry {
  KT_DECLARE_CLASS(CTriMesh)

 public:
  // Version gates of the record.
  static constexpr u32 kVersionChannelIds32 = 200;   // channels as 4-byte ids (before: a list of values)
  static constexpr u32 kVersionChannelIds64 = 201;   // channels as 8-byte ids from here on
  static constexpr u32 kVersionStoredTangents = 202;  // tangent records stored (before: rebuilt, with normals)
  static constexpr u32 kVersionTrianglesInData = 203;  // triangles live in the level data from here on
  static constexpr u32 kVersionLodParams = 204;      // the level-of-detail parameters stored from here on
  static constexpr u32 kVersionLodObjects = 205;     // LodObjects stored from here on

  struct LodParam {
    f32 Threshold = 0.0f;
    f32 PopBias = 0.0f;
  };
  using LodObjectList = std::vector<CPointer<CDorun>>;

  // No levels; LodParam0 {0.3, 0.05}, LodParam1 {0.1, 0.025}; both display
  // flags false; no LodObjects.
  CTriMesh();
  // The KT::CGeometry copy, both parameter pairs and both display flags;
  // no LodObjects.
  CTriMesh(const CTriMesh& other);
  ~CTriMesh() override;

  // A new default mesh into `out`: kOk, or kErrOutOfMemory (`out`
  // unchanged).
  static Result Create(CPointer<CTriMesh>& out);

  // Level `index` as triangle data; null when there is no such level or it
  // is not triangle data.
  CTriMeshData* GetTriMeshLod(u32 index) const;

  // --- fields ----------------------------------------------------------------------------
  const LodParam& GetLodParam0() const { return lodParam0_; }
  const LodParam& GetLodParam1() const { return lodParam1_; }
  void SetLodParam0(const LodParam& param) {
    lodParam0_ = param;
    SetModified();
  }
  void SetLodParam1(const LodParam& param) {
    lodParam1_ = param;
    SetModified();
  }
  bool GetShowEdge() const { return showEdge_; }
  void SetShowEdge(bool show) { showEdge_ = show; }
  bool GetShowNormal() const { return showNormal_; }
  void SetShowNormal(bool show) { showNormal_ = show; }
  // One list of owned objects per level, kept in step with the level list
  // by the level operations.
  const std::vector<LodObjectList>& GetLodObjects() const { return lodObjects_; }
  // Appends `object` to the list of level `level`. Null: kErrInvalidArg;
  // a level without a list: kErrOutOfRange.
  Result AddLodObject(u32 level, CDorun* object);
  // The mesh's material reference: the first object of level 0's list that
  // is a KT::CMaterial (derived classes included); null when there is none.
  CDorun* GetMaterial() const;
  // Replaces the entry GetMaterial names with `material`, or puts it first
  // in level 0's list when there is none; marks the mesh modified, kOk.
  // Null or not a material: kErrInvalidArg; no level 0: kErrOutOfRange.
  // Nothing changes on a refusal.
  Result SetMaterial(CDorun* material);

  // --- mesh operations -------------------------------------------------------------------
  // Ray query against level 0's triangles (whatever CurrentLod is), with
  // WorldXYZ as the positions, or level 0's own XYZ when `useLocal`; the
  // ray must be given in that space. `twoSided` false hits only faces
  // turned against the ray. The nearest hit wins (the earlier triangle of
  // equal distances); see IntersectRayTriangles for the outputs. Triangles
  // with a corner index past the positions are skipped; without a level 0
  // nothing is hit.
  virtual bool IntersectRay(const Vec3& origin, const Vec3& direction, bool twoSided, u32& triangle, f32& distance,
                            Vec3& point, Vec3& normal, bool useLocal);
  // Rebuilds WorldNormal when asked: kDone without a WorldNormal or when it
  // is final already. Moves WorldXYZ to world space first when it is not
  // there yet. With RecomputeNormals, WorldNormal becomes, per normal, the
  // normalised sum of the face normals (p1 - p0) x (p2 - p0) of the level's
  // triangles (in world positions) whose corners name it, and
  // RecomputeNormals is cleared; a triangle with a corner index past
  // WorldXYZ or WorldNormal is skipped. WorldNormalReady is set; kOk.
  virtual Result UpdateWorldNormals();
  // Every WorldXYZ entry becomes its transform by WorldMatrix (divided by
  // w); WorldXYZReady is set. kOk.
  virtual Result TransformToWorld();

  // --- level operations ------------------------------------------------------------------
  // The KT::CGeometry operations; on success LodObjects follows: one empty
  // list after SetSingleLod, one per level after SetLods (the former lists
  // dropped), one more after AddLod; failures are returned unchanged.
  Result SetSingleLod(CGeometryData* data) override;
  using CGeometry::SetLods;
  Result SetLods(const std::vector<CPointer<CGeometryData>>& lods) override;
  Result AddLod(CGeometryData* data) override;
  // Failures are returned; any other result (kDone for data that is not a
  // level) becomes kOk. LodObjects is unchanged.
  Result ReplaceLod(CGeometryData* oldData, CGeometryData* newData) override;
  Result SetLod(u32 index, CGeometryData* data) override;

  // --- spatial protocol ------------------------------------------------------------------
  // The per-frame update above: kOk, kDone without a level in use, or the
  // first failure of the controllers or of the world-space steps.
  Result Update(i32 time) override;
  // Null view, or fewer than two levels: kDone. Else CurrentLod = the
  // view's choice limited to the last level; kOk.
  Result UpdateForView(const CUpdateView* view) override;
  // The geometry's collection, then the mesh itself (it updates every
  // frame), then every object of LodObjects; the first failure of the
  // latter is returned.
  Result CollectAnimated(std::vector<CDorun*>& animated) override;

  // --- overrides ---------------------------------------------------------------------------
  CBase* Find(const char16_t* name, const ClassRecord* record, bool includeDerived, bool onlyMarked) override;
  void Collect(std::vector<CBase*>& out, const char16_t* name, const ClassRecord* record, bool includeDerived,
               bool onlyMarked) override;
  bool UpdateMarked(const ObjectSet& set) override;
  void ClearMarked() override;
  // Null root: kErrInvalidArg; every object of LodObjects, then the
  // geometry's.
  Result ResolveReferences(CBase* root) override;
  Result RegisterForSave(CStream& stream, u32 flags) override;
  void EnumReferences(CReferenceVisitor& visitor) override;
  bool HasSubObjects() const override;
  u32 GetMemorySize() const override;
  u32 GetSaveSize() const override;
  Result CreateInstance(CPointer<CBase>& out) const override;
  // The geometry's clone, then every object of LodObjects cloned into the
  // list of the same level.
  Result Clone(CPointer<CBase>& out, CloneMap& cloneMap, u32 flags) override;
  // The target must be a triangle mesh (null: kErrInvalidArg; another
  // class: kErrNotFound; nothing changes then). The geometry part, both
  // parameter pairs, and LodObjects shared list by list (the target's
  // former objects go to `displaced`); the display flags stay the target's.
  Result CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const override;
  // Reads the record of any version. Counts are checked against the bytes
  // left (kErrStream) before anything is allocated. In a 2.02 record whose
  // level 0 is not yet loaded, the number of stored tangent records is
  // taken from the stored vertex indices (one more than the largest);
  // Link refuses the record (kErrNotFound) when level 0 then disagrees.
  Result Load(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  // The geometry's link; for records below 2.03 the stored triangles then
  // become level 0 with the resolved level's vertex streams (a level 0
  // that did not resolve stays empty), and each placeholder channel is
  // replaced by the stored map its id names (a channel whose id names no
  // map keeps its placeholder). Triangle data whose indices do not name
  // existing elements: kErrNotFound. From 2.05 the LodObjects (an
  // ownership cycle: kErrNotFound).
  Result Link(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  Result Save(CStream& stream, u32 flags) override;
  void DescribeMembers(CMemberVisitor& visitor) override;

 private:
  // The level CurrentLod names, limited to the last level; null when there
  // is none.
  CGeometryData* GetLodInUse() const;
  // Reads the triangles of records below 2.03 into oldLayoutData_.
  Result LoadOldLayout(CStream& stream, CStreamLoadRecord& record, i32 version);
  // Makes oldLayoutData_ level 0 once level 0 is resolved.
  Result LinkOldLayout(CStream& stream, CStreamLoadRecord& record);

  std::vector<LodObjectList> lodObjects_;
  LodParam lodParam0_{0.3f, 0.05f};
  LodParam lodParam1_{0.1f, 0.025f};
  bool showEdge_ = false;
  bool showNormal_ = false;

  // Load state for Link (the stream's stored version has moved on by then).
  i32 loadedVersion_ = 0;
  CPointer<CTriMeshData> oldLayoutData_;
  // 2.02 records: whether tangent records were read, and for how many
  // vertices.
  bool oldTangentsRead_ = false;
  u32 oldTangentCount_ = 0;
};

}  // namespace KT
