#include "controllers/composite/spring_control.h"

#include <cmath>
#include <limits>
#include <vector>

#include "controllers/core/legacy_key_arrays.h"
#include "objectmodel/math_functions.h"
#include "objectmodel/matrix3.h"
#include "objectmodel/matrix4.h"
#include "objectmodel/quaternion.h"
#include "scene/spatial.h"

namespace KT {

namespace {

using Vec3 = CVector3<float>;

// Angles at or below this are no turn at all.
constexpr f32 kNoTurn = 0.00001f;
// A swing wider than this many radians from the rest direction is pushed
// back harder.
constexpr f32 kWideSwing = 3.0f;

// The one flag every spring reads.
bool gSpringPlay = false;

// The parent's world matrix and rotation; the identity stands in for a
// spatial without a parent.
CMatrix4 ParentWorldMatrix(const CSpatial& object) {
  const CSpatial* parent = object.GetParent();
  return parent != nullptr ? parent->GetWorldMatrix() : kMatrix4Identity;
}

CMatrix3 ParentWorldRotate(const CSpatial& object) {
  const CSpatial* parent = object.GetParent();
  return parent != nullptr ? parent->GetWorldRotate() : kMatrix3Identity;
}

// A unit axis, or false when the vector has no direction.
bool UnitAxis(Vec3 v, Vec3& axis) {
  if (!(v.Normalize() > 0.0f) || !std::isfinite(v.x + v.y + v.z)) return false;
  axis = v;
  return true;
}

// Each component divided by `s`.
Vec3 Divided(const Vec3& v, f32 s) { return Vec3(v.x / s, v.y / s, v.z / s); }

i32 SaturateToI32(i64 value) {
  if (value > std::numeric_limits<i32>::max()) return std::numeric_limits<i32>::max();
  if (value < std::numeric_limits<i32>::min()) return std::numeric_limits<i32>::min();
  return static_cast<i32>(value);
}

}  // namespace

const char16_t* const CSpringControl::kSpringTypeNames[2] = {u"ST_Position", u"ST_Angle"};

bool CSpringControl::IsPlaying() { return gSpringPlay; }

void CSpringControl::SetPlay(bool play) { gSpringPlay = play; }

CSpringControl::CSpringControl() {
  SetRepeat(RT_CLAMP);
  SetSlaveMode(SM_CURRENT_WORLD);
}

CSpringControl::CSpringControl(const CSpringControl& other)
    : CControlLevel(other),
      springRatio_(other.springRatio_),
      dampRatio_(other.dampRatio_),
      massRatio_(other.massRatio_),
      params_(other.params_),
      targetSpring_(other.targetSpring_),
      fs_(other.fs_),
      fd_(other.fd_),
      velocity_(other.velocity_),
      target_(other.target_),
      accel_(other.accel_),
      prePos_(other.prePos_),
      lastTime_(other.lastTime_) {}

Result CSpringControl::CopyOwnTo(CSpringControl& target) const {
  target.targetSpring_ = targetSpring_;
  target.params_ = params_;
  target.fs_ = fs_;
  target.fd_ = fd_;
  target.velocity_ = velocity_;
  target.target_ = target_;
  target.accel_ = accel_;
  target.prePos_ = prePos_;
  target.lastTime_ = lastTime_;
  target.springRatio_ = springRatio_;
  target.dampRatio_ = dampRatio_;
  target.massRatio_ = massRatio_;
  return kOk;
}

f32 CSpringControl::SpringMass() const { return 0.01f * params_.Mass * massRatio_; }

f32 CSpringControl::StepLength() const {
  // The product of two stored i32 values overflows 32 bits easily.
  const i64 product = static_cast<i64>(timeInterval_) * static_cast<i64>(params_.nMoveActivity);
  return static_cast<f32>(product) / 100.0f;
}

// --- evaluation ---------------------------------------------------------------------------

Result CSpringControl::UpdateTransform(i32 time) {
  CSpatial* object = nullptr;
  const Result r = GetBoundSpatial(object);
  if (Failed(r)) return r;
  // A mass of 0 would make 1/m infinite: such a spring is off, as with
  // MassRatio 0.
  if (!IsActive() || std::isnan(massRatio_) || massRatio_ == 0.0f || SpringMass() == 0.0f) {
    InitFromSlaveMode();
    return kDone;
  }
  if (!initial_) {
    Step(*object, 0);
    initial_ = true;
  }
  if (!gSpringPlay) {
    if (time != 0) {
      SetLocalAndCompose(GetLocal(), *object);
    } else {
      Step(*object, 0);
    }
    lastTime_ = time;
    return kOk;
  }
  const i64 interval = static_cast<i64>(time) - static_cast<i64>(lastTime_);
  timeInterval_ = SaturateToI32(interval);
  if (interval > 0) {
    Step(*object, time);
    return kOk;
  }
  // Scrubbing backward shows the last pose without simulating.
  if (interval < 0) SetLocalAndCompose(GetLocal(), *object);
  lastTime_ = time;
  return kDone;
}

void CSpringControl::Step(CSpatial& object, i32 time) {
  switch (params_.SpringType) {
    case ST_Position:
      StepPosition(object, time);
      break;
    case ST_Angle:
      StepAngle(object, time);
      break;
    default:
      break;
  }
}

void CSpringControl::StepPosition(CSpatial& object, i32 time) {
  CRtsTransform local = object.GetLocal();
  const Vec3 p = object.GetWorldMatrix().GetTranslation();
  if (time == 0) {
    fs_ = fd_ = velocity_ = accel_ = Vec3(0.0f, 0.0f, 0.0f);
    target_ = p;
    SetTransform(local, object.GetWorldScale(), object.GetWorldRotate(), object.GetWorldMatrix());
    lastTime_ = time;
    return;
  }
  const f32 dt = StepLength();
  const f32 ks = params_.K * springRatio_ * 0.01f;
  const f32 kd = params_.Damp * dampRatio_ * 0.01f;
  const f32 m = SpringMass();
  velocity_ = velocity_ + accel_ * dt;
  target_ = target_ + velocity_ * dt + Divided(accel_ * dt * dt, 2.0f);
  Vec3 d = p - target_;
  const f32 length = d.Length();
  // A point sitting on the spatial has no direction to clamp along (with
  // MaxLength 0 or below it would divide by 0).
  if (length >= params_.MaxLength && length > 0.0f) {
    d = Divided(d * params_.MaxLength, length);
    target_ = p - d;
  }
  accel_ = (d * ks - velocity_ * kd) * (1.0f / m);
  accel_.z -= params_.Gravity;
  local.Translate = ToParentSpace(target_, object.GetParent(), object.GetInherited());
  SetLocalAndCompose(local, object);
  lastTime_ = time;
}

void CSpringControl::TurnToRest(CRtsTransform& transform, const CSpatial& object) const {
  const Vec3 g(0.0f, 0.0f, -params_.Gravity * SpringMass());
  Vec3 d = object.GetWorldMatrix().GetTranslation() - ParentWorldMatrix(object).GetTranslation();
  d.Normalize();
  Vec3 n = d + g;
  n.Normalize();
  const f32 alpha = Fabs(SafeAcos(d.Dot(n)));
  Vec3 axis;
  // A bone of no length, or one that hangs exactly against gravity, has no
  // axis to turn about.
  if (!(alpha > kNoTurn) || !UnitAxis(d.Cross(n), axis)) return;
  CMatrix3 s;
  s.SetRotationAxisAngle(axis, alpha);
  const CMatrix3 w = ParentWorldRotate(object);
  const CMatrix3 inParent = w * s * w.Transpose();
  transform.Rotate = (transform.Rotate.ToMatrix3() * inParent).ToQuaternion();
  transform.Translate = transform.Translate.TransformByMatrix3(inParent);
}

void CSpringControl::StepAngle(CSpatial& object, i32 time) {
  CRtsTransform local = object.GetLocal();
  if (time == 0) {
    velocity_ = accel_ = Vec3(0.0f, 0.0f, 0.0f);
    TurnToRest(local, object);
    SetLocalAndCompose(local, object);
    prePos_ = GetWorldMatrix().GetTranslation();
    lastTime_ = time;
    return;
  }
  const f32 dt = StepLength();
  const f32 ks = params_.K * springRatio_ * 0.01f;
  const f32 kd = params_.Damp * dampRatio_ * 0.01f;
  const f32 m = SpringMass();
  CRtsTransform rest = object.GetLocal();
  TurnToRest(rest, object);

  velocity_ = velocity_ + accel_ * dt;
  const f32 speed = velocity_.Length();
  if (speed > params_.MaxSpeed) velocity_ = velocity_ * (params_.MaxSpeed / speed);
  Vec3 disp = velocity_ * dt;

  // Where the spatial is now and where it was, seen from its parent.
  CMatrix4 inverseParent;
  MatrixInverse(inverseParent, nullptr, ParentWorldMatrix(object));
  Vec3 p1 = TransformCoord(object.GetWorldMatrix().GetTranslation(), inverseParent);
  Vec3 p0 = TransformCoord(prePos_, inverseParent);
  p1.Normalize();
  p0.Normalize();

  // The lag: turn back from the new position to the old one.
  const f32 theta = SafeAcos(p1.Dot(p0));
  Vec3 axis;
  if (theta > kNoTurn && UnitAxis(p1.Cross(p0), axis)) {
    const CQuaternion q = CQuaternion::FromAxisAngle(axis, theta);
    local.Rotate = q * local.Rotate;
    local.Translate = local.Translate.TransformByMatrix3(q.ToMatrix3());
  }

  Vec3 r = rest.Translate;
  r.Normalize();
  const f32 phi = SafeAcos(r.Dot(p0));
  if (phi > kWideSwing) {
    const f32 length = phi - kWideSwing + disp.Length();
    disp.Normalize();
    disp = disp * length;
  }
  Vec3 restoring(0.0f, 0.0f, 0.0f);
  if (phi > kNoTurn && UnitAxis(p0.Cross(r), axis)) {
    CMatrix3 back;
    back.SetRotationAxisAngle(axis, phi);
    back.ToEuler(kEulerXYZ, restoring.x, restoring.y, restoring.z);
    restoring.x = 0.0f;
  }
  accel_ = (restoring * ks - velocity_ * (0.9f * kd)) * (1.0f / m) * 0.001f;

  // The swing of this step.
  CMatrix3 swing;
  swing.FromEuler(kEulerXYZ, disp.x, disp.y, disp.z);
  local.Rotate = swing.ToQuaternion() * local.Rotate;
  local.Translate = local.Translate.TransformByMatrix3(swing);
  SetLocalAndCompose(local, object);
  prePos_ = GetWorldMatrix().GetTranslation();
  lastTime_ = time;
}

Result CSpringControl::GetUpdateDepth(i32 time, i32& depth) {
  CSpringControl* target = targetSpring_.Get();
  if (target == nullptr) return kOk;
  CSpatial* object = DynamicCast<CSpatial>(target->GetObject());
  if (object == nullptr) return kOk;
  return object->RaiseUpdateDepth(time, depth);
}

// --- root protocol ---------------------------------------------------------------------------

Result CSpringControl::Link(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  const Result r = CControlLevel::Link(stream, record, flags);
  if (Failed(r) || !targetSpring_) return r;
  stream.AddPostLinkStep([this, &stream] {
    targetSpring_.DropUnlessHeld(stream, this);
    return kOk;
  });
  return r;
}

Result CSpringControl::LoadOwn(CStream& stream, CStreamLoadRecord& /*record*/, u32 storedVersion) {
  if (storedVersion >= kVersionCurrent) return LoadFields(stream, storedVersion);
  // The older forms kept arrays nothing reads any more.
  Result r = kOk;
  std::vector<u32> dropped;
  if (storedVersion < kVersionNoLeadingArrays) {
    r = ReadLegacyArray(stream, dropped);
    if (Succeeded(r)) r = ReadLegacyArray(stream, dropped);
  }
  if (Succeeded(r)) {
    if (storedVersion >= kVersionWideArray) {
      std::vector<u64> wide;
      r = ReadLegacyArray(stream, wide);
    } else {
      r = ReadLegacyArray(stream, dropped);
    }
  }
  if (Failed(r)) return r;
  targetSpring_.SetPendingId(0);
  std::vector<Parameters> records;
  r = ReadLegacyArray(stream, records);
  if (Failed(r)) return r;
  if (!records.empty()) params_ = records.front();
  if (storedVersion < kVersionOwnWeight) {
    SetWeight(100.0f);
    SetActive(true);
  }
  if (storedVersion >= kVersionRatios) {
    r = ReadU32(stream, springRatio_);
    if (Succeeded(r)) r = ReadU32(stream, dampRatio_);
  } else {
    springRatio_ = dampRatio_ = 100.0f;
  }
  if (Succeeded(r)) {
    if (storedVersion >= kVersionMassRatio) {
      r = ReadU32(stream, massRatio_);
    } else {
      massRatio_ = GetWeight();
    }
  }
  SetSlaveMode(SM_CURRENT_WORLD);
  return r;
}

void CSpringControl::DescribeMembers(CMemberVisitor& visitor) {
  i32 springType = static_cast<i32>(params_.SpringType);
  visitor.BeginGroup(u"CSpringControl Member");
  visitor.OpenGroup();
  visitor.Float(u"SpringRatio", &springRatio_);
  visitor.Float(u"DampRatio", &dampRatio_);
  visitor.Float(u"MassRatio", &massRatio_);
  visitor.Float(u"Gravity", &params_.Gravity);
  visitor.Float(u"MaxLength", &params_.MaxLength);
  visitor.Float(u"K", &params_.K);
  visitor.Float(u"Damp", &params_.Damp);
  visitor.Float(u"Mass", &params_.Mass);
  visitor.Float(u"MaxSpeed", &params_.MaxSpeed);
  visitor.Float(u"fNotUsed", &params_.fNotUsed);
  visitor.Int(u"nMoveActivity", &params_.nMoveActivity);
  visitor.Enum(u"SpringType", &springType, kSpringTypeNames, 2);
  visitor.Bool(u"Initial", &initial_);
  visitor.Int(u"TimeIntrval", &timeInterval_);
  visitor.Vector3(u"Original", &original_);
  visitor.Bool(u"Play", &gSpringPlay);
  visitor.Vector3(u"Fs", &fs_);
  visitor.Vector3(u"Fd", &fd_);
  visitor.Vector3(u"vVelocity", &velocity_);
  visitor.Vector3(u"vTarget", &target_);
  visitor.Vector3(u"a", &accel_);
  visitor.Vector3(u"vPrePos", &prePos_);
  visitor.Time(u"LastTime", &lastTime_);
  visitor.EndGroup();
  CRTSControl::DescribeMembers(visitor);
}

u32 CSpringControl::GetMemorySize() const {
  return CRTSControl::GetMemorySize() + static_cast<u32>(sizeof(*this) - sizeof(CRTSControl));
}

bool CSpringControl::HasSubObjects() const { return static_cast<bool>(targetSpring_) || CRTSControl::HasSubObjects(); }

}  // namespace KT
