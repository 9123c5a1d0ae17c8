// KT::CSpatial: base of everything that has a place in the scene.
//
// It holds the stored rest transform (Basis), the transform animation
// produces (Local and the world matrices, written by its transform
// controller), the world bound, display flags and two owned sub-objects
// (an Attachment and a chain of bounding meshes). It does not compose
// transforms itself; it keeps the update depth that lets the per-frame
// driver update parents before children and targets before the objects
// constrained to them.
#pragma once

#include <vector>

#include "objectmodel/dorun.h"
#include "objectmodel/matrix3.h"
#include "objectmodel/matrix4.h"
#include "scene/bound.h"
#include "scene/rts_transform.h"

namespace KT {

class CBoundingMesh;
class CUpdateView;

class CSpatial : public CDorun {
  KT_DECLARE_CLASS(CSpatial)

 public:
  enum RenderStateType : u32 { RS_WireFrame = 0, RS_GouraudShading = 1, RS_Normal = 2 };
  static const char16_t* const kRenderStateNames[3];

  // Version gates of the record.
  static constexpr u32 kVersionSplitTransform = 200;  // rotation, translation, scale instead of a matrix
  static constexpr u32 kVersionKeepInherited512 = 201;
  static constexpr u32 kVersionIsHide = 202;
  static constexpr u32 kVersionRenderState = 203;
  static constexpr u32 kVersionWideIds = 204;
  static constexpr u32 kVersionFreeze = 205;
  static constexpr u32 kVersionRtsRecord = 206;

  // The floor of the update depth of geometry, so that every geometry
  // updates after every plain node.
  static constexpr i32 kGeometryMinUpdateDepth = 1048576;

  CSpatial();
  // Copies the transforms, bound, flags, RenderState, CurrentLod and
  // Sticky.Enable; no parent and no sub-objects.
  CSpatial(const CSpatial& other);
  ~CSpatial() override;

  // --- fields ------------------------------------------------------------------
  CSpatial* GetParent() const { return parent_; }
  // Set by the node that adopts or releases this spatial.
  void SetParent(CSpatial* parent) { parent_ = parent; }
  u32 GetInherited() const { return inherited_; }
  void SetInherited(u32 inherited) {
    inherited_ = inherited;
    SetModified();
  }
  const CRtsTransform& GetBasis() const { return basis_; }
  void SetBasis(const CRtsTransform& basis) {
    basis_ = basis;
    SetModified();
  }
  const CRtsTransform& GetLocal() const { return local_; }
  const CMatrix3& GetWorldScale() const { return worldScale_; }
  const CMatrix3& GetWorldRotate() const { return worldRotate_; }
  const CMatrix4& GetWorldMatrix() const { return worldMatrix_; }
  // Written by the transform controller's ApplyTransform.
  void SetLocal(const CRtsTransform& local) { local_ = local; }
  void SetWorld(const CMatrix3& scale, const CMatrix3& rotate, const CMatrix4& matrix) {
    worldScale_ = scale;
    worldRotate_ = rotate;
    worldMatrix_ = matrix;
  }
  void SetSticky(bool enable, i32 start, i32 end) {
    stickyEnable_ = enable;
    stickyStart_ = start;
    stickyEnd_ = end;
  }
  bool IsStickyEnabled() const { return stickyEnable_; }
  i32 GetStickyStart() const { return stickyStart_; }
  i32 GetStickyEnd() const { return stickyEnd_; }
  const CBound& GetWorldBound() const { return worldBound_; }
  void SetWorldBound(const CBound& bound) { worldBound_ = bound; }
  CDorun* GetAttachment() const { return attachment_.Get(); }
  void SetAttachment(CDorun* attachment) {
    attachment_ = attachment;
    SetModified();
  }
  CBoundingMesh* GetBoundingMesh() const { return boundingMesh_.Get(); }
  bool IsActive() const { return active_; }
  void SetActive(bool active) {
    active_ = active;
    SetModified();
  }
  bool IsHidden() const { return isHide_; }
  void SetHidden(bool hide) {
    isHide_ = hide;
    SetModified();
  }
  bool IsForceCull() const { return forceCull_; }
  void SetForceCull(bool cull) { forceCull_ = cull; }
  bool IsFrozen() const { return freeze_; }
  void SetFrozen(bool freeze) {
    freeze_ = freeze;
    SetModified();
  }
  u32 GetRenderState() const { return renderState_; }
  void SetRenderState(u32 state) {
    renderState_ = state;
    SetModified();
  }
  u32 GetCurrentLod() const { return currentLod_; }
  void SetCurrentLod(u32 lod) { currentLod_ = lod; }
  i32 GetCachedUpdateDepth() const { return updateDepth_; }

  // Adds a bounding mesh at the end of this spatial's chain of them. Null:
  // kErrInvalidArg.
  Result AddBoundingMesh(CBoundingMesh* mesh);

  // Brings the subtree under this spatial to `time` (scene/update_driver.cpp):
  // sub-steps over the `span` ticks before `time` at `subStepRate` per tick
  // (0: none), the transform pass (parents before children, constraint
  // targets before what they constrain, geometry after every plain node),
  // then, unless `transformOnly`, the world bounds (from the topmost
  // ancestor with `fromRoot`), the view pass (level of detail; without a
  // view every CurrentLod returns to 0) and the data pass. A sub-step rate
  // whose step 1 / rate truncates to less than one tick (a rate above 1,
  // negative, NaN) is refused with kErrInvalidArg before anything is
  // updated. The first failure of a pass is returned.
  Result UpdateScene(i32 time, i32 span, f32 subStepRate, bool fromRoot, CUpdateView* view, bool transformOnly);

  // --- spatial protocol ---------------------------------------------------------
  // Appends the spatials of this subtree (this one first).
  virtual Result CollectSpatials(std::vector<CSpatial*>& spatials) = 0;
  // Raises `depth` to this spatial's transform update depth, recomputing it
  // when Dirty: parent + 1, above what its controllers and bounding mesh
  // read, at least GetMinUpdateDepth. Dirty ancestors are settled first,
  // from the top down (any depth of tree); queries nested through what
  // controllers read fail with kErrInvalidArg past the evaluation bound
  // (CEvaluationDepthGuard).
  virtual Result GetUpdateDepth(i32 time, i32& depth);
  // depth = max(depth, own depth + 1).
  virtual Result RaiseUpdateDepth(i32 time, i32& depth);
  // True when an attached controller must be evaluated at sub-steps.
  virtual bool HasSubStepControls() const;
  virtual i32 GetMinUpdateDepth() const { return 0; }
  // Runs every attached controller's UpdateTransform then ApplyTransform.
  virtual Result UpdateTransform(i32 time);
  // View-dependent update (level of detail); nothing here (kDone).
  virtual Result UpdateForView(const CUpdateView* view);
  virtual Result UpdateWorldBound() = 0;
  // Merges this spatial's own bound into `bound`; nothing here (kDone).
  virtual Result GetBound(CBound& bound);

  // --- overrides ------------------------------------------------------------------
  Result RemapReferences(const CloneMap& cloneMap) override;
  CBase* Find(const char16_t* name, const ClassRecord* record, bool includeDerived, bool onlyMarked) override;
  void Collect(std::vector<CBase*>& out, const char16_t* name, const ClassRecord* record, bool includeDerived,
               bool onlyMarked) override;
  bool UpdateMarked(const ObjectSet& set) override;
  void ClearMarked() override;
  Result ResolveReferences(CBase* root) override;
  Result CollectAnimated(std::vector<CDorun*>& animated) override;
  Result Update(i32 time) override;
  Result RegisterForSave(CStream& stream, u32 flags) override;
  void EnumReferences(CReferenceVisitor& visitor) override;
  bool HasSubObjects() const override;
  u32 GetMemorySize() const override;
  u32 GetSaveSize() const override;
  Result Clone(CPointer<CBase>& out, CloneMap& cloneMap, u32 flags) override;
  // The target must be a spatial (else kErrNotFound).
  Result CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const override;
  Result Load(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  Result Link(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  Result Save(CStream& stream, u32 flags) override;
  void DescribeMembers(CMemberVisitor& visitor) override;

 private:
  CSpatial* parent_ = nullptr;
  u32 inherited_ = 0;
  CRtsTransform basis_ = kIdentityTransform;
  CRtsTransform local_ = kIdentityTransform;
  CMatrix3 worldScale_;
  CMatrix3 worldRotate_;
  CMatrix4 worldMatrix_;
  CBound worldBound_;
  CPointer<CDorun> attachment_;
  CPointer<CBoundingMesh> boundingMesh_;
  bool active_ = true;
  bool isHide_ = false;
  bool forceCull_ = false;
  bool freeze_ = false;
  // Whether Link resolves the two references (records from 2.00 on).
  bool linksReferences_ = false;
  u32 renderState_ = RS_Normal;
  i32 updateDepth_ = 0;
  u32 currentLod_ = 0;
  bool stickyEnable_ = false;
  i32 stickyStart_ = 0;
  i32 stickyEnd_ = 0;
};

}  // namespace KT
