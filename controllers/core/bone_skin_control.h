// KT::CBoneSkinControl: skins a geometry to a skeleton.
//
// Bound to a KT::CGeometry, it replaces the geometry's WorldXYZ on every
// data update by a weighted blend of bone transforms (linear blend
// skinning). It stores the bones (spatials it does not own), one bind
// matrix per bone (mesh space to the bone's space at bind time) and one
// weight list per level of detail; each list holds, per vertex, pairs of a
// weight and a one-byte bone index.
//
// Evaluation at a frame, with G the geometry's own transform (its
// WorldMatrix, or the identity when WorldXYZ already holds world
// positions):
//   palette[i] = BoneXForm[i] x WorldMatrix(bone i), preceded by
//                inverse(geometry WorldMatrix) when WorldXYZ is in world space;
//   per vertex M = sum of weight x palette[bone] over its pairs, plus
//                (1 - sum) x G when the weights sum to less than 1; the
//                position becomes p x M with the divide by w.
// The weight a vertex lacks therefore follows the geometry rigidly, and a
// vertex without weights (or past the end of the list) moves like an
// unskinned one. Weights summing to more than 1 are kept as they are (the
// divide by w then averages the bone transforms). Afterwards WorldXYZ holds
// world positions (WorldXYZReady) and the mesh rebuilds its normals
// (RecomputeNormals). The transform update marks the geometry deformed
// (HasDeformedWorldXYZ), so that its world bound follows the positions.
//
// Bones are plain pointers: they live in the scene tree, which must outlive
// the controller's evaluation; ResolveReferences finds them again by name.
//
// Record, after the KT::CDataControl part (little-endian): version pair
// 2.02; u32 n and n bind matrices (16 f32, row-major); u32 list count; per
// list u32 entry count, per entry u32 m then, when m > 0, m f32 weights and
// m u8 bone indices; u32 r and r 8-byte bone ids. Older forms: 2.01 has no
// list count (exactly one list follows); below 2.01 the record holds per
// bone a 4-byte id (sign-widened), its bind matrix and (vertex, weight)
// pairs, converted into the current tables when the file is linked.
#pragma once

#include <vector>

#include "controllers/core/data_control.h"
#include "objectmodel/matrix4.h"

namespace KT {

class CGeometry;

class CBoneSkinControl : public CDataControl {
  KT_DECLARE_CLASS(CBoneSkinControl)

 public:
  // Version gates of the record.
  static constexpr u32 kVersionBoneTables = 201;  // bones, matrices and weight lists instead of per-bone pairs
  static constexpr u32 kVersionListCount = 202;   // several weight lists, preceded by their count

  // A one-byte bone index addresses at most this many bones.
  static constexpr u32 kMaxAddressableBones = 256;

  // The weights of one vertex. PureWeight and BoneID run in parallel: pair
  // k gives bone BoneID[k] the weight PureWeight[k]. Weight is carried
  // along by copies and the member dump only; nothing fills it and it is
  // not stored.
  struct SkinWeight {
    std::vector<f32> Weight;
    std::vector<f32> PureWeight;
    std::vector<u8> BoneID;

    bool operator==(const SkinWeight& other) const = default;
  };
  // One entry per vertex of a level of detail.
  using SkinWeightList = std::vector<SkinWeight>;

  CBoneSkinControl();
  // Copies every member: bones, bind matrices, weight lists (Weight
  // included) and the palette; never the old-form tables of a load.
  CBoneSkinControl(const CBoneSkinControl& other);
  ~CBoneSkinControl() override;

  // --- tables --------------------------------------------------------------------------
  const std::vector<SkinWeightList>& GetSkinWeightSet() const { return skinWeightSet_; }
  const std::vector<CMatrix4>& GetBoneXForm() const { return boneXForm_; }
  const std::vector<CBase*>& GetReferenceBone() const { return referenceBone_; }
  // The blended bone matrices of the last evaluation.
  const std::vector<CMatrix4>& GetPalette() const { return palette_; }

  // Makes `count` weight lists (one per level of detail the caller will
  // fill): lists below `count` are kept, new ones are empty.
  // kErrOutOfMemory leaves the lists as they were. Marks modified; kOk.
  Result SetSkinWeightListCount(u32 count);
  // Replaces the bind matrix of bone `index`; kErrOutOfRange past the
  // bones (no change). Marks modified; kOk.
  Result SetBoneXForm(u32 index, const CMatrix4& bindMatrix);
  // Appends `bone` with its bind matrix. A null bone: kErrMissingObject; a
  // bone that is not a KT::CSpatial: kErrNotFound; a bone whose unique id is
  // already listed: kDone, nothing added. kErrOutOfMemory when the tables
  // cannot grow. Marks modified; kOk.
  Result AddBone(CBase* bone, const CMatrix4& bindMatrix);
  // Appends the pair (bone, weight) to the entry of `vertex` in list
  // `list`, growing the list with empty entries up to `vertex`. Refusals
  // (nothing changes): a list index past the lists, kErrOutOfRange; a null
  // or unlisted bone (compared by unique id), kErrMissingObject; a bone
  // listed at an index above 255, which one byte cannot address,
  // kErrOutOfRange; kErrOutOfMemory when the list cannot grow. The pairs
  // are not sorted here. Marks modified; kOk.
  Result AddSkinWeight(u32 list, u32 vertex, CBase* bone, f32 weight);
  // Orders every entry's pairs by descending weight (bone indices follow
  // their weights). Load and the old-form conversion run it.
  void SortWeightsDescending();

  // --- controller protocol ---------------------------------------------------------------
  // The deformation above. Inactive: kDone, nothing changes. Unbound:
  // kErrInvalidArg; bound to an object that is not a KT::CGeometry, or a
  // bone that is not a KT::CSpatial: kErrNotFound; nothing written then.
  // The list used is the one of the geometry's level in use (CurrentLod,
  // limited to its last level); when there is no such list the mesh stays
  // rigid: kDone, nothing written. Otherwise the entries below both the
  // list's length and the WorldXYZ count are skinned (a pair whose bone is
  // null is skipped: its weight follows G), the remaining positions are
  // moved by G, WorldXYZReady and RecomputeNormals are set; kOk. The palette
  // grows only when the bone count changes. The time is not used.
  Result Update(i32 time) override;
  // Update wrote the positions: kDone.
  Result Apply() override;
  // Inactive: kDone. Unbound: kErrInvalidArg; bound to an object that is
  // not a KT::CGeometry: kErrNotFound. Else sets the geometry's
  // HasDeformedWorldXYZ; kOk.
  Result UpdateTransform(i32 time) override;
  // Raises `depth` above the transform depth of every bone (the geometry
  // moves after its skeleton); a bone's failure is ignored; kOk.
  Result GetUpdateDepth(i32 time, i32& depth) override;
  // Raises `depth` above the data depth of every bone, so that the mesh
  // updates after all of its bones in the data pass; kOk.
  Result GetDataUpdateDepth(void* context, i32& depth) override;
  // No animation of its own: 0.
  i32 GetEndTime() const override { return 0; }

  // --- root protocol -----------------------------------------------------------------------
  // Every bone found in the map becomes its copy (others stay); then the
  // base behaviour.
  Result RemapReferences(const CloneMap& cloneMap) override;
  // A copy made by the copy constructor; kErrOutOfMemory when it cannot be
  // allocated.
  Result CreateInstance(CPointer<CBase>& out) const override;
  // Target null or not a KT::CBoneSkinControl: kErrNotFound, nothing
  // changes. Else the controller part, then the bones, the weight lists and
  // the bind matrices are copied; kErrOutOfMemory when they cannot be.
  Result CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const override;
  // Reads every stored form. Counts beyond the bytes left: kErrStream
  // before anything is allocated. A current-form record whose bind-matrix
  // and bone counts differ, or with a bone index not below the bone count:
  // kErrNotFound. An old-form record with more bones than one byte can
  // address: kErrNotFound. kErrOutOfMemory when the tables cannot be
  // allocated. The pairs are sorted by descending weight after a
  // current-form read.
  Result Load(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  // Resolves the bones. An old-form record is converted here: bones and
  // bind matrices in ascending order of their stored ids, one weight list
  // with the non-zero pairs, sorted. The list has one entry per vertex of
  // the geometry's level 0; when that level is not linked yet it is sized
  // from the largest stored vertex index + 1 and padded to level 0's
  // vertex count once the whole file is linked, so the result does not
  // depend on the order in which records are linked. A vertex index of a
  // non-zero weight that is not below level 0's vertex count (when level 0
  // is linked) or that no level of the file could hold (12 bytes per
  // vertex; when it is not): kErrNotFound.
  Result Link(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  Result Save(CStream& stream, u32 flags) override;
  void DescribeMembers(CMemberVisitor& visitor) override;
  u32 GetMemorySize() const override;
  u32 GetSaveSize() const override;
  bool HasSubObjects() const override;

 protected:
  // Each bone is found again under `root` by its name (a spatial or a
  // derived class; null when none is found); then the controller's own.
  Result ResolveReferencesInElement(CBase* root) override;

 private:
  // The tables of one bone of an old-form record, kept until Link.
  struct LegacyBone {
    u64 id = 0;
    CMatrix4 bindMatrix;
    std::vector<u32> vertices;
    std::vector<f32> weights;
  };

  // The weight lists packed for evaluation: per list, where each entry's
  // pairs start (one more than the entries) and all pairs end to end.
  struct PackedList {
    std::vector<u32> first;
    std::vector<f32> weights;
    std::vector<u8> bones;
  };

  // The bound geometry: kErrInvalidArg when unbound, kErrNotFound when the
  // object is of another class.
  Result GetBoundGeometry(CGeometry*& geometry) const;
  // Rebuilds packed_ from the weight lists; kErrOutOfMemory leaves it
  // invalid.
  Result PackWeights();
  // The weight lists changed: the packed copy is rebuilt before the next
  // evaluation.
  void WeightsChanged() { packedValid_ = false; }
  Result LoadTables(CStream& stream, CStreamLoadRecord& record, i32 version);
  Result LoadLegacyTables(CStream& stream, CStreamLoadRecord& record);
  Result ConvertLegacyTables(CStream& stream, CStreamLoadRecord& record);

  std::vector<SkinWeightList> skinWeightSet_;
  std::vector<CMatrix4> boneXForm_;
  std::vector<CBase*> referenceBone_;
  // Run-time only: rebuilt by every evaluation.
  std::vector<CMatrix4> palette_;
  std::vector<u8> usableBone_;
  // Run-time only: the weight lists as the evaluation reads them, rebuilt
  // only after the lists change, so a frame allocates nothing.
  std::vector<PackedList> packed_;
  bool packedValid_ = false;
  // Run-time only: the old-form tables between Load and Link.
  std::vector<LegacyBone> legacy_;
  bool hasLegacy_ = false;
};

}  // namespace KT
