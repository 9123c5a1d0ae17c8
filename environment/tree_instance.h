// KT::CTreeInstance: a placed tree. A spatial of the scene tree that refers
// to a KT::CTree and shows its model at the spatial's world transform. It
// keeps the decomposed world transform (Position, Scale, Rotation), the
// tree's box corners in world space (Box), a wind-matrix offset, eight
// light-shader scalars and three material records (stored, copied and
// described only), and intersects rays with the tree's lowest-detail
// branch and frond geometry.
//
// Instances that share a tree share its clone when a scene is cloned: the
// tree is cloned through the same clone map.
//
// Record, after the KT::CSpatial part (216 bytes): version pair 2.01; the
// Tree and AuxObject ids (u64; u32 before 2.01); WindMatrixOffset (f32); the
// eight light scalars (f32); three material records of 13 f32 each
// (Ambient, Diffuse, Specular, Emission, Shininess). Position, Scale,
// Rotation and Box are derived and not stored.
#pragma once

#include <array>
#include <vector>

#include "environment/tree.h"
#include "scene/spatial.h"

namespace KT {

// The one-sided ray test of tree picking: the ray origin + t * direction
// (t >= 0) against the triangle (a, b, c) whose face looks along
// n = normalize((b - a) x (c - a)) (a zero normal stays unscaled). A ray
// running with or along the face (n . direction >= 0) misses; so does a
// plane behind the origin. `hit` gets the point on the plane (also when the
// point then lies outside); points on an edge count as inside.
bool IntersectTriangle(const CVector3<float>& a, const CVector3<float>& b, const CVector3<float>& c,
                       const CVector3<float>& origin, const CVector3<float>& direction, CVector3<float>& hit);

class CTreeInstance : public CSpatial {
  KT_DECLARE_CLASS(CTreeInstance)

 public:
  static constexpr u32 kVersionWideIds = 201;  // 8-byte ids from here on

  struct LightShaderParamsRecord {
    f32 GlobalLightScalar = 0.0f;
    f32 BranchLightScalar = 0.0f;
    f32 FrondLightScalar = 0.0f;
    f32 LeafLightScalar = 0.0f;
    f32 AmbientScalar = 0.0f;
    f32 BillboardDarkSideLightScalar = 0.0f;
    f32 BillboardBrightSideLightScalar = 0.0f;
    f32 BillboardAmbientScalar = 0.0f;
  };

  struct MaterialRecord {
    CVector3<float> Ambient;
    CVector3<float> Diffuse;
    CVector3<float> Specular;
    CVector3<float> Emission;
    f32 Shininess = 0.0f;
  };
  static constexpr u32 kMaterialCount = 3;

  // No tree; Scale (1, 1, 1), identity Rotation, all scalars and materials
  // zero.
  CTreeInstance() = default;
  // The spatial copy and every field; Tree and AuxObject shared.
  CTreeInstance(const CTreeInstance& other) = default;
  ~CTreeInstance() override = default;

  // --- fields -------------------------------------------------------------------------------
  CTree* GetTree() const { return tree_.Get(); }
  void SetTree(CTree* tree) {
    tree_ = tree;
    SetModified();
  }
  CBase* GetAuxObject() const { return auxObject_.Get(); }
  void SetAuxObject(CBase* object) {
    auxObject_ = object;
    SetModified();
  }
  const std::vector<CVector3<float>>& GetBox() const { return box_; }

  // --- picking ----------------------------------------------------------------------------
  // Intersects the ray origin + t * direction (t >= 0) with the triangles
  // of the tree's last branch level of detail, then of its last frond level,
  // in world space. Triangles are one-sided (a ray meeting a triangle from
  // behind or along its plane misses it); points on an edge count as
  // inside. The nearest hit wins by its distance from the origin (in double
  // precision, strictly nearer; ties keep the first found, branches before
  // fronds, lower index first). `triangleIndex` gets the triangle's number
  // in its strip, `distance` the distance, `point` the hit point (left as
  // it was without a hit). Without a hit: false, distance 3.4028235e38
  // (the largest finite f32), index 0. An instance without a tree, or whose
  // tree has no model or an uncomputed one, answers the same. Strip indices
  // outside the vertex list are skipped.
  virtual bool IntersectRay(const CVector3<float>& origin, const CVector3<float>& direction, u32& triangleIndex,
                            f32& distance, CVector3<float>& point) const;

  // --- spatial protocol ---------------------------------------------------------------------
  Result CollectSpatials(std::vector<CSpatial*>& spatials) override;
  // The spatial's controllers, then Position, Scale and Rotation from the
  // world matrix.
  Result UpdateTransform(i32 time) override;
  // Without a tree nothing changes. Otherwise Box = the tree's corners
  // through the world matrix and the world bound = the bound of Box.
  Result UpdateWorldBound() override;

  // --- CBase protocol -----------------------------------------------------------------------
  CBase* Find(const char16_t* name, const ClassRecord* record, bool includeDerived, bool onlyMarked) override;
  void Collect(std::vector<CBase*>& out, const char16_t* name, const ClassRecord* record, bool includeDerived,
               bool onlyMarked) override;
  bool UpdateMarked(const ObjectSet& set) override;
  void ClearMarked() override;
  Result ResolveReferences(CBase* root) override;
  Result CollectAnimated(std::vector<CDorun*>& animated) override;
  Result CreateInstance(CPointer<CBase>& out) const override;
  // The spatial clone (kDone when the map had the object), then AuxObject
  // and Tree cloned through the same map.
  Result Clone(CPointer<CBase>& out, CloneMap& cloneMap, u32 flags) override;
  // The target must be a tree instance (else kErrNotFound): the spatial
  // part, Tree and AuxObject shared (former ones to `displaced`), every
  // value copied.
  Result CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const override;
  Result Load(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  // Tree must be a KT::CTree (else kErrNotFound); AuxObject any object.
  Result Link(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  Result RegisterForSave(CStream& stream, u32 flags) override;
  Result Save(CStream& stream, u32 flags) override;
  // "CTreeInstance Member": "WindMatrixOffset", "Position", "Scale",
  // "Rotation", "Box", the group "LightShaderParams", the array "Material";
  // then the spatial's members.
  void DescribeMembers(CMemberVisitor& visitor) override;
  // Tree, then AuxObject, as owned (empty ones included); then the
  // spatial's.
  void EnumReferences(CReferenceVisitor& visitor) override;
  u32 GetMemorySize() const override;
  u32 GetSaveSize() const override;
  bool HasSubObjects() const override;

  f32 WindMatrixOffset = 0.0f;
  CVector3<float> Position;
  CVector3<float> Scale{1.0f, 1.0f, 1.0f};
  CMatrix3 Rotation;
  LightShaderParamsRecord LightShaderParams;
  std::array<MaterialRecord, kMaterialCount> Material{};

 private:
  CPointer<CTree> tree_;
  CPointer<CBase> auxObject_;
  std::vector<CVector3<float>> box_;
};

}  // namespace KT
