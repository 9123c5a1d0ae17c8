// KT::CConnectControl: the data control that ties a triangle mesh to the
// seam it shares with another mesh (KT::CConnectData).
//
// Each of the two meshes carries one; both share one KT::CConnectData. In
// the data pass the control stamps its mesh's time in the seam, rebuilds
// the mesh's world normals when the mesh asks for it (and moves its
// positions into world space when no deformer has), and runs the weld,
// which goes ahead once both meshes have stamped the same time. Its data
// update depth puts the mesh that is not Mesh0 after Mesh0, and clears
// both stamps.
//
// Record, after the KT::CDataControl part: version pair 2.01 and the
// seam's 8-byte id (4 bytes below 2.01).
#pragma once

#include "controllers/core/data_control.h"
#include "controllers/keyed/connect_data.h"
#include "objectmodel/time_helpers.h"

namespace KT {

class CConnectControl : public CDataControl {
  KT_DECLARE_CLASS(CConnectControl)

 public:
  static constexpr u32 kVersionWideId = 201;

  CConnectControl() = default;
  // The controller part; the seam is shared.
  CConnectControl(const CConnectControl& other) = default;
  ~CConnectControl() override;

  CConnectData* GetConnectData() const { return data_.Get(); }
  void SetConnectData(CConnectData* data) {
    data_ = data;
    SetModified();
  }

  // --- controller protocol -----------------------------------------------------------
  // Inactive: kDone. Unbound or without a seam: kErrInvalidArg. Bound to
  // an object that is not a KT::CTriMesh: kErrNotFound, nothing written.
  // Otherwise stamps, prepares the mesh and answers the weld's result.
  Result Update(i32 time) override;
  // The weld wrote the buffers: kDone.
  Result Apply() override;
  // Inactive or without a seam: kDone. Otherwise both stamps are cleared
  // and, when the bound object is not Mesh0, `depth` is raised above
  // Mesh0's data depth; kOk (or Mesh0's failure).
  Result GetDataUpdateDepth(void* context, i32& depth) override;
  // No animation of its own.
  i32 GetEndTime() const override { return kZeroTime; }

  // --- root protocol -------------------------------------------------------------------
  // A copy sharing the seam; kErrOutOfMemory when it cannot be made.
  Result CreateInstance(CPointer<CBase>& out) const override;
  // The controller clone, then the seam cloned through the same map, so a
  // seam shared by two controls is cloned once and stays shared.
  Result Clone(CPointer<CBase>& out, CloneMap& cloneMap, u32 flags) override;
  // The controller part first; a target that is not a KT::CConnectControl:
  // kErrNotFound. The target shares this control's seam.
  Result CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const override;
  Result Load(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  // Resolves the seam; an id of another class: kErrNotFound.
  Result Link(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  Result Save(CStream& stream, u32 flags) override;
  // The seam as an owned reference, then the controller's.
  void EnumReferences(CReferenceVisitor& visitor) override;
  u32 GetMemorySize() const override;
  u32 GetSaveSize() const override;
  bool HasSubObjects() const override;

 protected:
  // Each runs the controller's part and then goes on into the seam.
  CBase* FindInElement(const char16_t* name, const ClassRecord* record, bool includeDerived,
                       bool onlyMarked) override;
  void CollectInElement(std::vector<CBase*>& out, const char16_t* name, const ClassRecord* record,
                        bool includeDerived, bool onlyMarked) override;
  bool UpdateMarkedInElement(const ObjectSet& set) override;
  void ClearMarkedInElement() override;
  // The seam resolves its meshes first, then the controller its own.
  Result ResolveReferencesInElement(CBase* root) override;
  // The seam is registered after the control.
  Result RegisterElementForSave(CStream& stream, u32 flags) override;

 private:
  CPointer<CConnectData> data_;
};

}  // namespace KT
