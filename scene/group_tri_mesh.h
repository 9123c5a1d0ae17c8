// KT::CGroupTriMesh: a triangle mesh that belongs to a numbered group and a
// drawing layer, with a clip depth and an option to face the camera.
//
// It behaves exactly like KT::CTriMesh otherwise; the library stores the
// four settings for the renderer and does not use them. PreviousLayer is a
// run-time copy of Layer, refreshed by every load and every update.
//
// Record, after the KT::CTriMesh record (little-endian): version pair 1.02;
// Group ID (i32); Layer (u32); ClipDepth (u32); FacingCamera (1 byte).
// Records of 1.00 end after Layer, records of 1.01 after ClipDepth; fields
// a record lacks keep their values.
#pragma once

#include "scene/tri_mesh.h"

namespace KT {

class CGroupTriMesh : public CTriMesh {
  KT_DECLARE_CLASS(CGroupTriMesh)

 public:
  // Version gates of the record.
  static constexpr u32 kVersionClipDepth = 101;     // ClipDepth stored from here on
  static constexpr u32 kVersionFacingCamera = 102;  // FacingCamera stored from here on

  // The default triangle mesh; every member 0 / false.
  CGroupTriMesh();
  // The KT::CTriMesh copy and all five members.
  CGroupTriMesh(const CGroupTriMesh& other);
  ~CGroupTriMesh() override;

  // A new default mesh into `out`: kOk, or kErrOutOfMemory.
  static Result Create(CPointer<CGroupTriMesh>& out);

  // --- fields ----------------------------------------------------------------------
  i32 GetGroupId() const { return groupId_; }
  void SetGroupId(i32 id) {
    groupId_ = id;
    SetModified();
  }
  u32 GetLayer() const { return layer_; }
  void SetLayer(u32 layer) {
    layer_ = layer;
    SetModified();
  }
  u32 GetClipDepth() const { return clipDepth_; }
  void SetClipDepth(u32 depth) {
    clipDepth_ = depth;
    SetModified();
  }
  bool IsFacingCamera() const { return facingCamera_; }
  void SetFacingCamera(bool facing) {
    facingCamera_ = facing;
    SetModified();
  }
  u32 GetPreviousLayer() const { return previousLayer_; }

  // --- overrides ---------------------------------------------------------------------
  // PreviousLayer = Layer, then the mesh update: its failure is returned,
  // any other result (kDone without a level) becomes kOk.
  Result Update(i32 time) override;
  // The mesh's; a non-negative result becomes kOk.
  Result ResolveReferences(CBase* root) override;
  Result Link(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  // The mesh's; kDone and failures are passed on, other results become kOk.
  Result Clone(CPointer<CBase>& out, CloneMap& cloneMap, u32 flags) override;
  Result RegisterForSave(CStream& stream, u32 flags) override;
  u32 GetMemorySize() const override;
  u32 GetSaveSize() const override;
  Result CreateInstance(CPointer<CBase>& out) const override;
  // The target must be a grouped mesh (null: kErrInvalidArg; another
  // class: kErrNotFound; checked before anything is copied). The mesh
  // part, then Group ID, Layer, ClipDepth and FacingCamera.
  Result CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const override;
  // Reads the record of any version; PreviousLayer = Layer afterwards.
  Result Load(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  Result Save(CStream& stream, u32 flags) override;
  void DescribeMembers(CMemberVisitor& visitor) override;

 private:
  i32 groupId_ = 0;
  u32 layer_ = 0;
  u32 clipDepth_ = 0;
  bool facingCamera_ = false;
  u32 previousLayer_ = 0;
};

}  // namespace KT
