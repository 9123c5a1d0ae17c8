// KT::CCamera: the scene's camera. A spatial object with a perspective
// frustum, an orthographic view volume, an eye frame (location, up vector
// and viewing direction) in the node's space, the same frame derived in
// world space by every transform update, and depth-of-field settings.
//
// A camera may own a target object. With FreeMode off and a spatial
// target, the camera looks at the target's world position; the target
// takes part in the camera's graph operations (search, marking, saving,
// cloning, update order). A target of another class is kept and saved but
// never looked at. A target that holds the camera would be an ownership
// cycle: SetTarget refuses it and a load refuses it when linking.
//
// Record, after the KT::CSpatial level (little-endian; 99 bytes): version
// pair 2.02; FrustumN, FrustumF, FrustumFov (f32); VolumeL, VolumeR,
// VolumeT, VolumeB (f32); EyeLocation, EyeUp, EyeTarget (3 x f32 each);
// Perspective, FreeMode, Lock (1 byte each); the target's id (8 bytes, 0
// when unset); FocalDistance, FocalRange, Blurness (f32); DofEffect (u32).
// Older levels: no Lock below 2.02; a 4-byte target id up to 2.00; the
// record ends after the target id below 2.00.
#pragma once

#include "objectmodel/quaternion.h"
#include "objectmodel/vector.h"
#include "scene/spatial.h"

namespace KT {

class CCamera : public CSpatial {
  KT_DECLARE_CLASS(CCamera)

 public:
  using Vec3 = CVector3<float>;

  enum DofEffectType : u32 { DOF_None = 0, DOF_Gauss = 1, DOF_CoC = 2, DOF_Hybrid = 3 };
  static const char16_t* const kDofEffectNames[4];

  // Version gates of the record.
  static constexpr u32 kVersionDepthOfField = 200;  // depth of field stored from here on
  static constexpr u32 kVersionWideTarget = 201;    // 8-byte target id from here on
  static constexpr u32 kVersionLock = 202;          // Lock stored from here on

  // How many cameras a graph operation follows through their targets (a
  // camera aiming at a camera aiming at ...) before it stops: the walk
  // recurses once per camera, and a crafted file can chain any number.
  static constexpr int kMaxTargetNesting = 256;

  // Volume (-100, 100, -100, 100); frustum near 1, far 2, field of view 1;
  // eye at the origin, up (0, 1, 0), looking along (0, 0, -1) (the world
  // frame alike); perspective, free mode; no target; focal distance 0,
  // range 1000, blurness 1, DOF_None; not locked.
  CCamera() = default;
  // Every field; the copy owns the same target (one more reference).
  CCamera(const CCamera& other) = default;
  ~CCamera() override;

  // --- fields ------------------------------------------------------------------------
  f32 GetVolumeL() const { return volume_[0]; }
  f32 GetVolumeR() const { return volume_[1]; }
  f32 GetVolumeT() const { return volume_[2]; }
  f32 GetVolumeB() const { return volume_[3]; }
  // Left, right, top, bottom.
  void SetVolume(f32 left, f32 right, f32 top, f32 bottom);
  f32 GetFrustumN() const { return frustumN_; }
  f32 GetFrustumF() const { return frustumF_; }
  f32 GetFrustumFov() const { return frustumFov_; }
  void SetFrustum(f32 nearPlane, f32 farPlane, f32 fov);
  void SetFrustumFov(f32 fov) {
    frustumFov_ = fov;
    SetModified();
  }
  const Vec3& GetEyeLocation() const { return eyeLocation_; }
  const Vec3& GetEyeUp() const { return eyeUp_; }
  const Vec3& GetEyeTarget() const { return eyeTarget_; }
  // Location, up vector and viewing direction in the node's space.
  void SetEye(const Vec3& location, const Vec3& up, const Vec3& target);
  const Vec3& GetWorldEyeLocation() const { return worldEyeLocation_; }
  const Vec3& GetWorldEyeUp() const { return worldEyeUp_; }
  const Vec3& GetWorldEyeDirection() const { return worldEyeDirection_; }
  // Written by the camera data controller; derived state, so Modified is
  // not touched.
  void SetWorldEyeUp(const Vec3& up) { worldEyeUp_ = up; }
  // The whole world eye frame, as a controller that places the camera by
  // its eye computed it; derived state, so Modified is not touched.
  void SetWorldEye(const Vec3& location, const Vec3& up, const Vec3& direction) {
    worldEyeLocation_ = location;
    worldEyeUp_ = up;
    worldEyeDirection_ = direction;
  }
  bool IsPerspective() const { return perspective_; }
  void SetPerspective(bool perspective) {
    perspective_ = perspective;
    SetModified();
  }
  bool IsFreeMode() const { return freeMode_; }
  void SetFreeMode(bool freeMode) {
    freeMode_ = freeMode;
    SetModified();
  }
  bool IsLocked() const { return lock_; }
  void SetLock(bool lock) {
    lock_ = lock;
    SetModified();
  }
  f32 GetFocalDistance() const { return focalDistance_; }
  f32 GetFocalRange() const { return focalRange_; }
  f32 GetBlurness() const { return blurness_; }
  u32 GetDofEffect() const { return dofEffect_; }
  void SetDepthOfField(f32 focalDistance, f32 focalRange, f32 blurness, u32 dofEffect);

  CBase* GetTarget() const { return target_.Get(); }
  // Null clears the target. The camera itself, or an object that holds it
  // (its search reaches the camera): kErrInvalidArg, nothing changed.
  // Otherwise the camera owns the target; Modified is set; kOk.
  Result SetTarget(CBase* target);

  // --- placing a camera ----------------------------------------------------------------
  // The node rotation and translation that make `camera`'s eye frame look
  // along the world direction `direction` with the up vector `up` and put
  // the eye at `eye`: R = R1 x R2, where R1 turns EyeTarget onto
  // `direction` (about EyeUp when they are parallel, else about their
  // normalised cross product) and R2 then turns the turned EyeUp onto `up`
  // (about `direction` when parallel, else about their cross product);
  // translation = -EyeLocation x R + eye; rotation = the quaternion of R.
  // Two vectors count as parallel when 1 - |cos| < 10 x 1.1920929e-7. A
  // zero-length or non-finite `direction` or `up`: kErrInvalidArg, outputs
  // untouched; else kOk.
  static Result AlignToDirection(Vec3& translation, CQuaternion& rotation, const CCamera& camera, const Vec3& eye,
                                 const Vec3& direction, const Vec3& up);

  // --- spatial protocol ------------------------------------------------------------------
  // This camera, then the spatial target's spatials.
  Result CollectSpatials(std::vector<CSpatial*>& spatials) override;
  // The spatial's depth, then raised above a spatial target's.
  Result GetUpdateDepth(i32 time, i32& depth) override;
  // The spatial transform update (a failure is returned unchanged), then
  // the world eye frame: WorldEyeLocation = EyeLocation transformed as a
  // point by WorldMatrix; WorldEyeUp = WorldDirectionOf(EyeUp); with
  // FreeMode off and a spatial target, WorldEyeDirection = the normalised
  // vector from WorldEyeLocation to the target's world translation, else
  // WorldDirectionOf(EyeTarget). Zero-length vectors stay zero. kOk.
  Result UpdateTransform(i32 time) override;
  // As the lights: the bound's centre becomes the world translation.
  Result UpdateWorldBound() override;

  // --- overrides: the spatial's answer, then the target's -------------------------------
  CBase* Find(const char16_t* name, const ClassRecord* record, bool includeDerived, bool onlyMarked) override;
  void Collect(std::vector<CBase*>& out, const char16_t* name, const ClassRecord* record, bool includeDerived,
               bool onlyMarked) override;
  bool UpdateMarked(const ObjectSet& set) override;
  void ClearMarked() override;
  // Null root: kErrInvalidArg; the target's first (its failure returned),
  // then the spatial's.
  Result ResolveReferences(CBase* root) override;
  // The spatial's (kDone or a failure returned as is), then the target's
  // failure or kOk. A target chain nested beyond kMaxTargetNesting:
  // kErrInvalidArg rather than a file missing its targets.
  Result RegisterForSave(CStream& stream, u32 flags) override;
  // The target (owned), then the spatial's references.
  void EnumReferences(CReferenceVisitor& visitor) override;
  bool HasSubObjects() const override;
  // The spatial's clone (kDone or a failure returned as is), then the
  // target cloned through the same map; the copy is marked modified.
  Result Clone(CPointer<CBase>& out, CloneMap& cloneMap, u32 flags) override;
  Result CreateInstance(CPointer<CBase>& out) const override;
  // The spatial part first (its failure returned); a target that is not a
  // camera: kErrNotFound; else every field, and the target shared (the
  // destination's former target goes to `displaced`); kOk.
  Result CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const override;
  Result Load(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  // The spatial's link, then the target from the next queued id (an unknown
  // id leaves it empty; one that would own the camera: kErrNotFound).
  Result Link(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  Result Save(CStream& stream, u32 flags) override;
  // "CCamera Member" (the target is not described), then the spatial's.
  void DescribeMembers(CMemberVisitor& visitor) override;
  u32 GetMemorySize() const override;
  u32 GetSaveSize() const override;

 private:
  CSpatial* SpatialTarget() const;

  f32 volume_[4] = {-100.0f, 100.0f, -100.0f, 100.0f};
  f32 frustumN_ = 1.0f;
  f32 frustumF_ = 2.0f;
  f32 frustumFov_ = 1.0f;
  Vec3 eyeLocation_{0.0f, 0.0f, 0.0f};
  Vec3 eyeUp_{0.0f, 1.0f, 0.0f};
  Vec3 eyeTarget_{0.0f, 0.0f, -1.0f};
  Vec3 worldEyeLocation_{0.0f, 0.0f, 0.0f};
  Vec3 worldEyeUp_{0.0f, 1.0f, 0.0f};
  Vec3 worldEyeDirection_{0.0f, 0.0f, -1.0f};
  bool perspective_ = true;
  bool freeMode_ = true;
  CPointer<CBase> target_;
  f32 focalDistance_ = 0.0f;
  f32 focalRange_ = 1000.0f;
  f32 blurness_ = 1.0f;
  u32 dofEffect_ = DOF_None;
  bool lock_ = false;
};

}  // namespace KT
