#include "controllers/composite/look_at_control.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "controllers/core/legacy_key_arrays.h"
#include "objectmodel/matrix3.h"
#include "objectmodel/matrix4.h"
#include "objectmodel/stream_fields.h"
#include "scene/path.h"

namespace KT {

namespace {

using Vec3 = CVector3<float>;

// The key fields of the records before key version 1.02 and of the inline
// keys of control records 2.01 to 2.03, up to the limits.
struct EulerKeyHead {
  Vec3 lookDir;
  Vec3 upDir;
  f32 euler[3];
};

// Older records store the offset as Euler angles in rotation order 1.
CQuaternion OffsetFromEuler(const f32 (&euler)[3]) {
  CMatrix3 m;
  m.FromEuler(kEulerZYX, euler[0], euler[1], euler[2]);
  return m.ToQuaternion();
}

Vec3 Row(const CMatrix3& m, int row) { return {m.m[row][0], m.m[row][1], m.m[row][2]}; }

bool IsZero(const Vec3& v) { return !(v.LengthSquared() > 0.0f); }

bool IsFinite(const CQuaternion& q) {
  return std::isfinite(q.x) && std::isfinite(q.y) && std::isfinite(q.z) && std::isfinite(q.w);
}

// The rotation by `angle` about `axis` (normalised); about a zero axis it
// is the identity, so that no scaled "rotation" reaches the object.
CQuaternion TurnAbout(const Vec3& axis, f32 angle) {
  return IsZero(axis) ? kQuaternionIdentity : CQuaternion::FromAxisAngle(axis, angle);
}

// The angle between directions a and b, as atan2(|a x b|, a . b): equal to
// acos of the dot product of unit vectors, without the loss of acos near 1
// (a dot product 1 ulp below 1 would give 3.5e-4 rad).
f32 AngleBetween(const Vec3& a, const Vec3& b) { return Atan2(a.Cross(b).Length(), a.Dot(b)); }

// The rotation from direction a to direction b by the angle between them
// about a x b, or about `fallback` when they are (anti)parallel. Between
// zero vectors, or about a zero fallback axis, it is the identity.
CQuaternion TurnFromTo(const Vec3& a, const Vec3& b, const Vec3& fallback) {
  if (IsZero(a) || IsZero(b)) return kQuaternionIdentity;
  const f32 angle = AngleBetween(a, b);
  Vec3 axis = a.Cross(b);
  if (IsDegenerateAngle(angle) || !(axis.Normalize() > 0.0f)) axis = fallback;
  return TurnAbout(axis, angle);
}

// Limits the turn q from a to b about `axis`: the limit is `positive` when
// the turn goes the positive way about the axis, else `negative` (signed);
// a turn wider than the limit's magnitude becomes the rotation by the limit
// itself. A turn between zero vectors (the identity) stays.
void LimitTurn(CQuaternion& q, const Vec3& a, const Vec3& b, const Vec3& axis, f32 positive, f32 negative) {
  if (IsZero(a) || IsZero(b)) return;
  const f32 theta = AngleBetween(a, b);
  const f32 limit = axis.Dot(a.Cross(b)) > 0.0f ? positive : negative;
  if (Fabs(limit) < theta) q = TurnAbout(axis, limit);
}

// The rotation of the reference branch: the look direction blended from the
// object's z axis toward the target, the roll taken from the reference's up
// axis, the forward angle limited by "Left Constriant".
CQuaternion SolveWithReference(const CLookAtControl::CLookKey& key, Vec3 d, const CMatrix3& w,
                               const CSpatial& reference) {
  if (key.LookDir == Vec3(0.0f, 0.0f, -1.0f)) d = -d;
  Vec3 f = Row(w, 2) * (1.0f - key.Weight) + d * key.Weight;
  if (!(f.Normalize() > 0.0f)) return kQuaternionIdentity;  // no look direction
  const Vec3 u = Row(reference.GetWorldRotate(), 1);
  Vec3 s = u.Cross(f);
  if (!(s.Normalize() > 0.0f)) return kQuaternionIdentity;  // up axis along the look direction
  Vec3 v = f.Cross(s);
  v.Normalize();
  CMatrix3 frame(s.x, s.y, s.z, v.x, v.y, v.z, f.x, f.y, f.z);
  Vec3 forward = Row(w, 0).Cross(Row(w, 1));
  if (forward.Normalize() > 0.0f) {
    const f32 a = AngleBetween(forward, f);
    if (key.LeftLimit < a && key.UpLimit > 0.0f) {
      const f32 g = f.Cross(forward).Dot(u) >= 0.0f ? 1.0f : -1.0f;
      Vec3 axis = u;
      axis.Normalize();
      CMatrix3 turn;
      turn.SetRotationAxisAngle(axis, (a - key.LeftLimit) * g);
      frame = frame * turn;
    }
  }
  frame = key.Offset.ToMatrix3() * frame;
  // A singular world rotation has no inverse to take the frame back into
  // the object's space.
  if (std::fabs(w.Determinant()) < 1e-5f) return kQuaternionIdentity;
  return (w.Inverse() * frame).ToQuaternion();
}

// The rotation of the basic-axis branch: a turn about "Basic Axis" and a
// tilt toward the target, each limited, weighted from the identity, then
// the key's offset.
CQuaternion SolveAboutAxis(const CLookAtControl::CLookKey& key, const Vec3& d, const CMatrix3& w,
                           Vec3 basicAxis) {
  // Both the axis and the look direction enter angles: they count as
  // directions whatever length they are stored with.
  basicAxis.Normalize();
  Vec3 look = key.LookDir.TransformByMatrix3(w);
  look.Normalize();
  Vec3 side = IsDegenerateAngle(AngleBetween(basicAxis, look))
                  ? key.LookDir.Cross(key.UpDir).TransformByMatrix3(w)
                  : look.Cross(basicAxis);
  side.Normalize();
  Vec3 targetSide = side;
  if (!IsDegenerateAngle(AngleBetween(d, basicAxis))) {
    targetSide = d.Cross(basicAxis);
    targetSide.Normalize();
  }
  CQuaternion turn = TurnFromTo(side, targetSide, basicAxis);
  const Vec3 turned = look.TransformByMatrix3(turn.ToMatrix3());
  LimitTurn(turn, side, targetSide, basicAxis, key.LeftLimit, -key.RightLimit);
  CQuaternion tilt = TurnFromTo(turned, d, targetSide);
  LimitTurn(tilt, turned, d, targetSide, key.UpLimit, -key.DownLimit);
  return QuaternionSlerp(kQuaternionIdentity, tilt * turn, key.Weight) * key.Offset;
}

// The fraction of the way from `from` to `to` at time t: (D - x) / D with
// D = to - from and x = min(to - t, D), in single precision; 0 when D is
// not positive. Differences are taken in 64 bits.
f32 ApproachFraction(i64 from, i64 to, i64 t) {
  const i64 span = to - from;
  if (span <= 0) return 0.0f;
  const i64 left = std::min(to - t, span);
  return static_cast<f32>(span - left) / static_cast<f32>(span);
}

}  // namespace

// --- the look key --------------------------------------------------------------------

void CLookAtControl::CLookKey::SetLimitsFromScale(f32 scale) {
  const f32 limit = scale > 0.0f ? scale * kPi : kTwoPi;
  LeftLimit = RightLimit = UpLimit = DownLimit = limit;
}

Result CLookAtControl::CLookKey::Load(CStream& stream) {
  Result r = CTransitionKey::Load(stream);
  u32 version = 0;
  if (Succeeded(r)) r = ReadKeyVersion(stream, StaticClassRecord(), version);
  if (Failed(r)) return r;
  if (version >= kVersionFourLimits) {
    CKeyFieldReader reader(stream, version);
    Fields(reader, *this);
    return reader.GetResult();
  }
  // 1.00: Euler offset and one limit scale; 1.01: quaternion offset and
  // three limits (left and right share x, up and down share y).
  r = ReadFloatBlock(stream, LookDir);
  if (Succeeded(r)) r = ReadFloatBlock(stream, UpDir);
  if (Failed(r)) return r;
  if (version < kVersionOffset) {
    f32 euler[3];
    f32 tail[2];  // Weight, limit scale
    r = ReadFloats(stream, euler, 3);
    if (Succeeded(r)) r = ReadFloats(stream, tail, 2);
    if (Failed(r)) return r;
    Offset = OffsetFromEuler(euler);
    Weight = tail[0];
    SetLimitsFromScale(tail[1]);
  } else {
    f32 tail[4];  // Weight, three limits
    r = ReadFloatBlock(stream, Offset);
    if (Succeeded(r)) r = ReadFloats(stream, tail, 4);
    if (Failed(r)) return r;
    Weight = tail[0];
    LeftLimit = RightLimit = tail[1];
    UpLimit = DownLimit = tail[2];
  }
  r = TargetObject.Load(stream);
  if (Succeeded(r)) r = RefObject.Load(stream);
  return r;
}

void CLookAtControl::CLookKey::DescribeMembers(CMemberVisitor& visitor) {
  visitor.Time(u"Time", &Time);
  visitor.Vector3(u"LookDir", &LookDir);
  visitor.Vector3(u"UpDir", &UpDir);
  DescribeKeyBlock(visitor, u"Offset", Offset);
  visitor.Float(u"Weight", &Weight);
  visitor.Float(u"Left Constriant", &LeftLimit);
  visitor.Float(u"Right Constriant", &RightLimit);
  visitor.Float(u"Up Constriant", &UpLimit);
  visitor.Float(u"Down Constriant", &DownLimit);
  visitor.ObjectRef(u"RefObject", RefObject.Get());
  visitor.ObjectRef(u"TargetObject", TargetObject.Get());
  DescribeKeyLevel<CTransitionKey>(visitor, *this);
}

// --- the control ------------------------------------------------------------------------

CLookAtControl::CLookAtControl() { SetSlaveMode(SM_CURRENT_WORLD); }

CQuaternion CLookAtControl::SolveKey(const CLookKey& key, const CSpatial& object) const {
  const CSpatial* target = key.TargetObject.Get();
  if (target == nullptr) return kQuaternionIdentity;
  const CMatrix3& w = object.GetWorldRotate();
  Vec3 d = target->GetWorldMatrix().GetTranslation() - object.GetWorldMatrix().GetTranslation();
  d.Normalize();
  const CQuaternion q = key.RefObject ? SolveWithReference(key, d, w, *key.RefObject.Get())
                                      : SolveAboutAxis(key, d, w, basicAxis_);
  return IsFinite(q) ? q : kQuaternionIdentity;
}

Result CLookAtControl::UpdateTransform(i32 time) {
  if (!IsActive()) return kDone;
  CSpatial* object = nullptr;
  Result r = GetBoundSpatial(object);
  if (Succeeded(r)) r = InitFromSlaveMode();
  if (Failed(r)) return r;
  const std::vector<CLookKey>& keys = keys_.Keys();
  u32 index = 0;
  const i32 code = FindKeyFloor(time, keys, 0, index);
  if (code == kKeySearchNone) return kDone;
  CQuaternion q = kQuaternionIdentity;
  if (code == kKeySearchBefore) {
    // Fades in from the identity at time 0; the identity before it.
    const CLookKey& first = keys[0];
    const f32 f = ApproachFraction(0, first.Time, time);
    q = QuaternionSlerp(kQuaternionIdentity, SolveKey(first, *object), EaseTransitionKey(f, first));
  } else {
    q = SolveKey(keys[index], *object);
    if (index + 1 < keys.size()) {
      const CLookKey& next = keys[index + 1];
      const f32 e = EaseTransitionKey(ApproachFraction(keys[index].Time, next.Time, time), next);
      if (e > 0.0f) q = QuaternionSlerp(q, SolveKey(next, *object), e);
    }
  }
  const CMatrix3 m = q.ToMatrix3();
  CMatrix4 worldMatrix = GetWorldMatrix();
  worldMatrix.SetRotation3x3(worldMatrix.GetRotation3x3() * m);
  SetTransform(GetLocal(), GetWorldScale(), GetWorldRotate() * m, worldMatrix);
  return kOk;
}

Result CLookAtControl::GetUpdateDepth(i32 time, i32& depth) {
  const std::vector<CLookKey>& keys = keys_.Keys();
  u32 index = 0;
  const i32 code = FindKeyFloor(time, keys, 0, index);
  if (code == kKeySearchNone) return kOk;
  std::vector<CSpatial*> read;
  if (code == kKeySearchBefore) {
    read.push_back(keys[0].TargetObject.Get());
  } else {
    read.push_back(keys[index].TargetObject.Get());
    if (index + 1 < keys.size()) read.push_back(keys[index + 1].TargetObject.Get());
  }
  for (CSpatial* target : read) {
    if (target == nullptr) continue;
    const Result r = target->RaiseUpdateDepth(time, depth);
    if (Failed(r)) return r;
  }
  return kOk;
}

Result CLookAtControl::Link(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  const Result r = CControlLevel::Link(stream, record, flags);
  if (Failed(r) || keys_.Empty()) return r;
  stream.AddPostLinkStep([this, &stream] {
    for (CLookKey& key : keys_.MutableKeys()) {
      key.TargetObject.DropUnlessHeld(stream, this);
      key.RefObject.DropUnlessHeld(stream, this);
    }
    return kOk;
  });
  return r;
}

i32 CLookAtControl::GetEndTime() const { return keys_.GetEndTime(EndTimeRule::kLastKey); }

bool CLookAtControl::HasSubObjects() const { return !keys_.Empty() || CRTSControl::HasSubObjects(); }

u32 CLookAtControl::GetMemorySize() const {
  return CRTSControl::GetMemorySize() + static_cast<u32>(sizeof(basicAxis_)) + keys_.GetMemorySize();
}

Result CLookAtControl::CopyOwnTo(CLookAtControl& target) const {
  try {
    target.keys_ = keys_;
  } catch (const std::bad_alloc&) {
    return kErrOutOfMemory;
  }
  target.basicAxis_ = basicAxis_;
  return kOk;
}

Result CLookAtControl::LoadOwn(CStream& stream, CStreamLoadRecord& /*record*/, u32 storedVersion) {
  if (storedVersion < kVersionFirstReadable) return kErrNewerVersion;
  if (stream.GetStoredVersion(CRTSControl::StaticClassRecord()) < static_cast<i32>(kVersionSlaveModeWord)) {
    SetSlaveMode(SM_CURRENT_WORLD);
  }
  if (storedVersion < kVersionKeyRecords) return LoadInlineKeys(stream, storedVersion);
  const Result r = LoadFields(stream, storedVersion);
  if (Failed(r)) return r;
  // These records kept Frequency beside key times in the control's own
  // time; evaluation uses the scene time, so the scale moves into the
  // times. A Frequency that is not a finite positive scale cannot be
  // divided by: the times stay as stored.
  const f32 frequency = GetFrequency();
  if (std::isfinite(frequency) && frequency > 0.0f) {
    for (CLookKey& key : keys_.MutableKeys()) key.Time = UnscaleTime(key.Time);
  }
  SetFrequency(1.0f);
  return kOk;
}

Result CLookAtControl::LoadInlineKeys(CStream& stream, u32 storedVersion) {
  const bool inlineIds = storedVersion >= kVersionInlineIds;
  std::vector<i32> times;
  u32 count = 0;
  Result r = ReadLegacyTimes(stream, times);
  if (Succeeded(r)) r = ReadU32(stream, count);
  if (Failed(r)) return r;
  // Each key holds at least its twelve floats (and, inline, a type and two
  // ids) in the bytes left.
  r = stream.CheckAvailable(count, sizeof(EulerKeyHead) + 12 + (inlineIds ? 20 : 0));
  if (Failed(r)) return r;
  if (times.size() < count) return kErrNotFound;
  std::vector<CLookKey>& keys = keys_.MutableKeys();
  try {
    keys.assign(count, CLookKey());
  } catch (const std::bad_alloc&) {
    keys.clear();
    return kErrOutOfMemory;
  }
  for (u32 k = 0; k < count && Succeeded(r); ++k) {
    CLookKey& key = keys[k];
    EulerKeyHead head;
    f32 tail[3];  // unused, Weight, limit scale
    r = ReadFloatBlock(stream, head);
    if (Succeeded(r)) r = ReadFloats(stream, tail, 3);
    if (Failed(r)) break;
    key.Time = times[k];
    key.LookDir = head.lookDir;
    key.UpDir = head.upDir;
    key.Offset = OffsetFromEuler(head.euler);
    key.Weight = tail[1];
    key.SetLimitsFromScale(tail[2]);
    if (inlineIds) {
      r = ReadU32(stream, key.TransitionType);
      if (Succeeded(r)) r = key.TargetObject.Load(stream);
      if (Succeeded(r)) r = key.RefObject.Load(stream);
    }
  }
  if (Failed(r) || inlineIds) return r;
  // The targets of all keys, then their references; the ids are 4 bytes
  // wide at 2.01.
  for (const bool targets : {true, false}) {
    std::vector<u64> ids;
    r = ReadLegacyIdArray(stream, storedVersion >= kVersionWideIdLists, ids);
    if (Failed(r)) return r;
    if (ids.size() < count) return kErrNotFound;
    for (u32 k = 0; k < count; ++k) (targets ? keys[k].TargetObject : keys[k].RefObject).SetPendingId(ids[k]);
  }
  // Two arrays these records kept and nothing reads.
  std::vector<u32> unused;
  r = ReadLegacyArray(stream, unused);
  if (Succeeded(r)) r = ReadLegacyArray(stream, unused);
  return r;
}

}  // namespace KT
