#include "render/lights/camera.h"

#include <algorithm>
#include <cmath>

#include "objectmodel/class_factory.h"
#include "objectmodel/matrix3.h"
#include "objectmodel/matrix4.h"
#include "objectmodel/stream.h"
#include "objectmodel/stream_fields.h"
#include "scene/light.h"

namespace KT {

const char16_t* const CCamera::kDofEffectNames[4] = {u"DOF_None", u"DOF_Gauss", u"DOF_CoC", u"DOF_Hybrid"};

namespace {

// Counts the camera targets a graph operation is inside. An operation
// follows a target only while it is not nested kMaxTargetNesting deep, so a
// crafted chain of cameras cannot exhaust the stack. There are no threads.
int gTargetNesting = 0;

class TargetNesting {
 public:
  TargetNesting() : entered_(gTargetNesting < CCamera::kMaxTargetNesting) {
    if (entered_) ++gTargetNesting;
  }
  ~TargetNesting() {
    if (entered_) --gTargetNesting;
  }
  TargetNesting(const TargetNesting&) = delete;
  TargetNesting& operator=(const TargetNesting&) = delete;
  bool Entered() const { return entered_; }

 private:
  bool entered_;
};

// Parallel when 1 - |cos| is below ten float epsilons.
constexpr f32 kParallelTolerance = 10.0f * 1.1920929e-7f;

f32 CosineOf(const CVector3<float>& a, const CVector3<float>& b) { return a.Dot(b) / (a.Length() * b.Length()); }

bool IsParallel(f32 cosine) { return 1.0f - std::fabs(cosine) < kParallelTolerance; }

f32 AngleOf(f32 cosine) {
  if (cosine <= -1.0f) return std::acos(-1.0f);
  if (cosine >= 1.0f) return 0.0f;
  return std::acos(cosine);
}

CMatrix3 RotationAbout(CVector3<float> axis, f32 angle) {
  axis.Normalize();
  CMatrix3 r;
  r.SetRotationAxisAngle(axis, angle);
  return r;
}

bool IsUsableDirection(const CVector3<float>& v) {
  const f32 length = v.Length();
  return std::isfinite(length) && length > 0.0f;
}

}  // namespace

CCamera::~CCamera() { target_.Release(); }

void CCamera::SetVolume(f32 left, f32 right, f32 top, f32 bottom) {
  volume_[0] = left;
  volume_[1] = right;
  volume_[2] = top;
  volume_[3] = bottom;
  SetModified();
}

void CCamera::SetFrustum(f32 nearPlane, f32 farPlane, f32 fov) {
  frustumN_ = nearPlane;
  frustumF_ = farPlane;
  frustumFov_ = fov;
  SetModified();
}

void CCamera::SetEye(const Vec3& location, const Vec3& up, const Vec3& target) {
  eyeLocation_ = location;
  eyeUp_ = up;
  eyeTarget_ = target;
  SetModified();
}

void CCamera::SetDepthOfField(f32 focalDistance, f32 focalRange, f32 blurness, u32 dofEffect) {
  focalDistance_ = focalDistance;
  focalRange_ = focalRange;
  blurness_ = blurness;
  dofEffect_ = dofEffect;
  SetModified();
}

Result CCamera::SetTarget(CBase* target) {
  if (target == this) return kErrInvalidArg;
  if (target != nullptr) {
    // The target would own the camera's owner chain back to itself.
    std::vector<CBase*> held;
    target->Collect(held, nullptr, nullptr, false, false);
    if (std::find(held.begin(), held.end(), this) != held.end()) return kErrInvalidArg;
  }
  target_ = target;
  SetModified();
  return kOk;
}

Result CCamera::AlignToDirection(Vec3& translation, CQuaternion& rotation, const CCamera& camera, const Vec3& eye,
                                 const Vec3& direction, const Vec3& up) {
  if (!IsUsableDirection(direction) || !IsUsableDirection(up)) return kErrInvalidArg;
  const Vec3& look = camera.eyeTarget_;
  const f32 lookCos = CosineOf(direction, look);
  const CMatrix3 r1 = IsParallel(lookCos) ? RotationAbout(camera.eyeUp_, AngleOf(lookCos))
                                          : RotationAbout(look.Cross(direction), AngleOf(lookCos));
  const Vec3 turnedUp = camera.eyeUp_.TransformByMatrix3(r1);
  const f32 upCos = CosineOf(up, turnedUp);
  const CMatrix3 r2 = IsParallel(upCos) ? RotationAbout(direction, AngleOf(upCos))
                                        : RotationAbout(turnedUp.Cross(up), AngleOf(upCos));
  const CMatrix3 r = r1 * r2;
  translation = (-camera.eyeLocation_).TransformByMatrix3(r) + eye;
  rotation = r.ToQuaternion();
  return kOk;
}

CSpatial* CCamera::SpatialTarget() const { return DynamicCast<CSpatial>(target_.Get()); }

Result CCamera::CollectSpatials(std::vector<CSpatial*>& spatials) {
  spatials.push_back(this);
  CSpatial* target = SpatialTarget();
  TargetNesting nesting;
  if (target == nullptr || !nesting.Entered()) return kOk;
  return target->CollectSpatials(spatials);
}

Result CCamera::GetUpdateDepth(i32 time, i32& depth) {
  const Result r = CSpatial::GetUpdateDepth(time, depth);
  CSpatial* target = SpatialTarget();
  TargetNesting nesting;
  if (Failed(r) || target == nullptr || !nesting.Entered()) return r;
  return target->RaiseUpdateDepth(time, depth);
}

Result CCamera::UpdateTransform(i32 time) {
  const Result r = CSpatial::UpdateTransform(time);
  if (Failed(r)) return r;
  const CMatrix4& world = GetWorldMatrix();
  Vec3TransformCoord(worldEyeLocation_, eyeLocation_, world);
  worldEyeUp_ = WorldDirectionOf(eyeUp_, world);
  const CSpatial* target = SpatialTarget();
  if (!freeMode_ && target != nullptr) {
    worldEyeDirection_ = target->GetWorldMatrix().GetTranslation() - worldEyeLocation_;
    worldEyeDirection_.Normalize();
  } else {
    worldEyeDirection_ = WorldDirectionOf(eyeTarget_, world);
  }
  return kOk;
}

Result CCamera::UpdateWorldBound() { return PlaceBoundAtOrigin(*this); }

CBase* CCamera::Find(const char16_t* name, const ClassRecord* record, bool includeDerived, bool onlyMarked) {
  if (CBase* hit = CSpatial::Find(name, record, includeDerived, onlyMarked)) return hit;
  TargetNesting nesting;
  if (!target_ || !nesting.Entered()) return nullptr;
  return target_->Find(name, record, includeDerived, onlyMarked);
}

void CCamera::Collect(std::vector<CBase*>& out, const char16_t* name, const ClassRecord* record,
                      bool includeDerived, bool onlyMarked) {
  CSpatial::Collect(out, name, record, includeDerived, onlyMarked);
  TargetNesting nesting;
  if (target_ && nesting.Entered()) target_->Collect(out, name, record, includeDerived, onlyMarked);
}

bool CCamera::UpdateMarked(const ObjectSet& set) {
  bool marked = CSpatial::UpdateMarked(set);
  TargetNesting nesting;
  if (target_ && nesting.Entered()) marked = target_->UpdateMarked(set) || marked;
  SetMarked(marked);
  return marked;
}

void CCamera::ClearMarked() {
  CSpatial::ClearMarked();
  TargetNesting nesting;
  if (target_ && nesting.Entered()) target_->ClearMarked();
}

Result CCamera::ResolveReferences(CBase* root) {
  if (root == nullptr) return kErrInvalidArg;
  TargetNesting nesting;
  if (target_ && nesting.Entered()) {
    const Result r = target_->ResolveReferences(root);
    if (Failed(r)) return r;
  }
  return CSpatial::ResolveReferences(root);
}

Result CCamera::RegisterForSave(CStream& stream, u32 flags) {
  const Result r = CSpatial::RegisterForSave(stream, flags);
  if (r != kOk || !target_) return r;
  TargetNesting nesting;
  if (!nesting.Entered()) return kErrInvalidArg;
  const Result tr = target_->RegisterForSave(stream, flags);
  return Failed(tr) ? tr : kOk;
}

void CCamera::EnumReferences(CReferenceVisitor& visitor) {
  visitor.Visit(target_.Get(), 1);
  CSpatial::EnumReferences(visitor);
}

bool CCamera::HasSubObjects() const { return target_ || CSpatial::HasSubObjects(); }

Result CCamera::Clone(CPointer<CBase>& out, CloneMap& cloneMap, u32 flags) {
  Result r = CSpatial::Clone(out, cloneMap, flags);
  if (r != kOk || !target_) return r;
  CCamera* copy = static_cast<CCamera*>(out.Get());
  TargetNesting nesting;
  if (!nesting.Entered()) return kErrInvalidArg;
  r = CloneMember(copy->target_, cloneMap, target_.Get(), flags);
  if (Failed(r)) return r;
  copy->SetModified();
  return kOk;
}

Result CCamera::CreateInstance(CPointer<CBase>& out) const { return CreateCopy(*this, out); }

Result CCamera::CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const {
  const Result r = CSpatial::CopyTo(target, displaced, flags);
  if (r != kOk) return r;
  CCamera* other = DynamicCast<CCamera>(target);
  if (other == nullptr) return kErrNotFound;
  std::copy(volume_, volume_ + 4, other->volume_);
  other->frustumN_ = frustumN_;
  other->frustumF_ = frustumF_;
  other->frustumFov_ = frustumFov_;
  other->eyeLocation_ = eyeLocation_;
  other->eyeUp_ = eyeUp_;
  other->eyeTarget_ = eyeTarget_;
  other->worldEyeLocation_ = worldEyeLocation_;
  other->worldEyeUp_ = worldEyeUp_;
  other->worldEyeDirection_ = worldEyeDirection_;
  other->perspective_ = perspective_;
  other->freeMode_ = freeMode_;
  other->focalDistance_ = focalDistance_;
  other->focalRange_ = focalRange_;
  other->blurness_ = blurness_;
  other->dofEffect_ = dofEffect_;
  other->lock_ = lock_;
  AssignPointerMember(displaced, target_, other->target_);
  return kOk;
}

Result CCamera::Load(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  Result r = CSpatial::Load(stream, record, flags);
  if (Succeeded(r)) r = stream.ReadVersionBlock(StaticClassRecord());
  if (Failed(r)) return r;
  const i32 v = stream.GetStoredVersion(StaticClassRecord());
  r = ReadU32(stream, frustumN_);
  if (Succeeded(r)) r = ReadU32(stream, frustumF_);
  if (Succeeded(r)) r = ReadU32(stream, frustumFov_);
  if (Succeeded(r)) r = ReadFloats(stream, volume_, 4);
  if (Succeeded(r)) r = ReadFloatBlock(stream, eyeLocation_);
  if (Succeeded(r)) r = ReadFloatBlock(stream, eyeUp_);
  if (Succeeded(r)) r = ReadFloatBlock(stream, eyeTarget_);
  if (Succeeded(r)) r = ReadBool(stream, perspective_);
  if (Succeeded(r)) r = ReadBool(stream, freeMode_);
  if (Succeeded(r) && v >= static_cast<i32>(kVersionLock)) r = ReadBool(stream, lock_);
  if (Succeeded(r)) {
    r = v >= static_cast<i32>(kVersionWideTarget) ? ReadObjectId(stream, record) : ReadObjectId32(stream, record);
  }
  if (Failed(r) || v < static_cast<i32>(kVersionDepthOfField)) return r;
  r = ReadU32(stream, focalDistance_);
  if (Succeeded(r)) r = ReadU32(stream, focalRange_);
  if (Succeeded(r)) r = ReadU32(stream, blurness_);
  if (Succeeded(r)) r = ReadU32(stream, dofEffect_);
  return r;
}

Result CCamera::Link(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  const Result r = CSpatial::Link(stream, record, flags);
  if (Failed(r)) return r;
  CBase* target = stream.ObjectFromId(record.TakeNextId());
  if (target != nullptr) {
    // A target that holds this camera would own its owner.
    const Result claim = stream.ClaimOwnership(this, target);
    if (Failed(claim)) return claim;
  }
  target_ = target;
  return kOk;
}

Result CCamera::Save(CStream& stream, u32 flags) {
  Result r = CSpatial::Save(stream, flags);
  if (Succeeded(r)) r = WriteVersion(stream, StaticClassRecord());
  if (Succeeded(r)) r = WriteFloat(stream, frustumN_);
  if (Succeeded(r)) r = WriteFloat(stream, frustumF_);
  if (Succeeded(r)) r = WriteFloat(stream, frustumFov_);
  if (Succeeded(r)) r = WriteFloats(stream, volume_, 4);
  if (Succeeded(r)) r = WriteFloatBlock(stream, eyeLocation_);
  if (Succeeded(r)) r = WriteFloatBlock(stream, eyeUp_);
  if (Succeeded(r)) r = WriteFloatBlock(stream, eyeTarget_);
  if (Succeeded(r)) r = WriteBool(stream, perspective_);
  if (Succeeded(r)) r = WriteBool(stream, freeMode_);
  if (Succeeded(r)) r = WriteBool(stream, lock_);
  if (Succeeded(r)) r = WriteObjectId(stream, target_.Get());
  if (Succeeded(r)) r = WriteFloat(stream, focalDistance_);
  if (Succeeded(r)) r = WriteFloat(stream, focalRange_);
  if (Succeeded(r)) r = WriteFloat(stream, blurness_);
  if (Succeeded(r)) r = WriteU32(stream, dofEffect_);
  return r;
}

void CCamera::DescribeMembers(CMemberVisitor& visitor) {
  i32 dofEffect = static_cast<i32>(dofEffect_);
  visitor.BeginGroup(u"CCamera Member");
  visitor.OpenGroup();
  visitor.Float(u"FrustumN", &frustumN_);
  visitor.Float(u"FrustumF", &frustumF_);
  visitor.Float(u"FrustumFov", &frustumFov_);
  visitor.Float(u"VolumeL", &volume_[0]);
  visitor.Float(u"VolumeR", &volume_[1]);
  visitor.Float(u"VolumeT", &volume_[2]);
  visitor.Float(u"VolumeB", &volume_[3]);
  visitor.Vector3(u"EyeLocation", &eyeLocation_);
  visitor.Vector3(u"EyeUp", &eyeUp_);
  visitor.Vector3(u"EyeTarget", &eyeTarget_);
  visitor.Vector3(u"WorldEyeLocation", &worldEyeLocation_);
  visitor.Vector3(u"WorldEyeUp", &worldEyeUp_);
  visitor.Vector3(u"WorldEyeDirection", &worldEyeDirection_);
  visitor.Bool(u"Perspective", &perspective_);
  visitor.Bool(u"FreeMode", &freeMode_);
  visitor.Bool(u"Lock", &lock_);
  visitor.Float(u"FocalDistance", &focalDistance_);
  visitor.Float(u"FocalRange", &focalRange_);
  visitor.Float(u"Blurness", &blurness_);
  visitor.Enum(u"DofEffect", &dofEffect, kDofEffectNames, 4);
  visitor.EndGroup();
  CSpatial::DescribeMembers(visitor);
}

u32 CCamera::GetMemorySize() const { return CSpatial::GetMemorySize() + 128; }

u32 CCamera::GetSaveSize() const { return CSpatial::GetSaveSize() + 99; }

}  // namespace KT
