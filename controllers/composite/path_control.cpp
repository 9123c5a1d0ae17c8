#include "controllers/composite/path_control.h"

#include <cmath>
#include <new>
#include <vector>

#include "controllers/core/key_blend.h"
#include "controllers/core/legacy_key_arrays.h"
#include "objectmodel/matrix3.h"
#include "objectmodel/matrix4.h"
#include "objectmodel/quaternion.h"
#include "objectmodel/stream_fields.h"

namespace KT {

namespace {

using Vec3 = CVector3<float>;

// What one key reads from its path: the point, the unit tangent and the
// up-rotation there. A path that cannot be sampled gives the origin, no
// tangent and no turn.
struct PathSample {
  Vec3 position{0.0f, 0.0f, 0.0f};
  Vec3 tangent{0.0f, 0.0f, 0.0f};
  CQuaternion up = kQuaternionIdentity;
};

PathSample Sample(const CPath& path, f32 t) {
  PathSample s;
  PathSample read;
  // A failing lookup may have written part of its outputs: keep none.
  if (Succeeded(path.SampleWorld(t, read.position, read.tangent, read.up))) s = read;
  return s;
}

// The world orientation `key` asks for on `path` at `sample`: heading only
// on a path projected onto the terrain (its up-rotation only with
// FollowTerrain), else the full direction with the up-rotation. An
// AlignAxis past the table gives no turn.
CQuaternion Orient(const CPathControl::CPathKey& key, const CPath& path, const PathSample& sample) {
  CQuaternion out = kQuaternionIdentity;
  if (path.GetProjectToTerrain()) {
    CPath::OrientAlongHeading(sample.tangent, sample.up, key.AlignAxis, key.FollowTerrain, out);
  } else {
    path.OrientAlongDirection(sample.tangent, sample.up, key.AlignAxis, true, out);
  }
  return out;
}

Vec3 DivideComponents(const Vec3& v, const Vec3& d) { return {v.x / d.x, v.y / d.y, v.z / d.z}; }

}  // namespace

const char16_t* const CPathControl::kAlignAxisNames[CPath::kAlignAxisCount] = {u"XAxis",  u"YAxis",  u"ZAxis",
                                                                                u"NXAxis", u"NYAxis", u"NZAxis"};

f32 CPathControl::WrapPathTime(f32 x) {
  const f32 r = x - std::floor(x);
  if (r != 0.0f) return r;
  return x == 0.0f ? 0.0f : 1.0f;
}

CPathControl::CPathControl() { SetSlaveMode(SM_CURRENT_WORLD); }

Result CPathControl::UpdateTransform(i32 time) {
  if (!IsActive()) return kDone;
  CSpatial* object = nullptr;
  Result r = GetBoundSpatial(object);
  if (Failed(r)) return r;
  KeyBracket bracket;
  const i32 code = keys_.Bracket(time, BlendRule::kLaterKeyClamped, bracket);
  if (code == kKeySearchNone || code == kKeySearchBefore) return FromSlaveMode();
  const CPathKey& p = keys_[bracket.prev];
  const CPathKey& n = keys_[bracket.next];
  const CPath* pathP = p.RefPath.Get();
  if (pathP == nullptr) return FromSlaveMode();
  const CPath* pathN = n.RefPath.Get();
  const f32 w = bracket.weight;

  PathSample a;
  PathSample b;
  if (pathN == nullptr || pathN == pathP) {
    a = Sample(*pathP, WrapPathTime((1.0f - w) * p.PathTime + w * n.PathTime));
    b = a;
  } else {
    // Each key stands at its own point; the blend is a straight line
    // between the two, not a walk along either path.
    a = Sample(*pathP, WrapPathTime(p.PathTime));
    b = Sample(*pathN, WrapPathTime(n.PathTime));
  }

  // The orientations are turns applied on top of the object's current world
  // rotation, so each is taken relative to it.
  const CQuaternion current = object->GetWorldRotate().ToQuaternion().Conjugate();
  CQuaternion orientA = kQuaternionIdentity;
  CQuaternion orientB = kQuaternionIdentity;
  if (p.Follow) orientA = Orient(p, *pathP, a) * current;
  if (n.Follow) {
    if (pathN != nullptr) orientB = Orient(n, *pathN, b);
    orientB = orientB * current;
  }

  const Vec3 position = a.position + (b.position - a.position) * w;
  const CMatrix3 turn = QuaternionSlerp(orientA, orientB, w).ToMatrix3();
  CMatrix4 worldMatrix = object->GetWorldMatrix();
  worldMatrix.SetRotation3x3(worldMatrix.GetRotation3x3() * turn);
  worldMatrix.SetTranslation(DivideComponents(position, positionDivisor_));
  SetTransform(LocalPlacedAt(*object, worldMatrix), object->GetWorldScale(), object->GetWorldRotate() * turn,
               worldMatrix);
  return kOk;
}

Result CPathControl::FromSlaveMode() {
  // The object is known to be a bound spatial here; an unknown SlaveMode
  // changes nothing and still counts as evaluated.
  InitFromSlaveMode();
  return kOk;
}

Result CPathControl::GetUpdateDepth(i32 time, i32& depth) {
  const std::vector<CPathKey>& keys = keys_.Keys();
  u32 index = 0;
  const i32 code = FindKeyFloor(time, keys, 0, index);
  if (code == kKeySearchNone || code == kKeySearchBefore) return kOk;
  if (CPath* path = keys[index].RefPath.Get()) path->RaiseUpdateDepth(time, depth);
  if (index + 1 < keys.size()) {
    if (CPath* path = keys[index + 1].RefPath.Get()) path->RaiseUpdateDepth(time, depth);
  }
  return kOk;
}

i32 CPathControl::GetEndTime() const { return keys_.GetEndTime(EndTimeRule::kLastKey); }

Result CPathControl::Link(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  const Result r = CControlLevel::Link(stream, record, flags);
  if (Failed(r) || keys_.Empty()) return r;
  stream.AddPostLinkStep([this, &stream] {
    for (CPathKey& key : keys_.MutableKeys()) key.RefPath.DropUnlessHeld(stream, this);
    return kOk;
  });
  return r;
}

bool CPathControl::HasSubObjects() const { return !keys_.Empty() || CRTSControl::HasSubObjects(); }

void CPathControl::DescribeMembers(CMemberVisitor& visitor) {
  static const WString group = MemberGroupName(StaticClassRecord());
  u32 lastIndex = keys_.GetLastIndex();
  visitor.BeginGroup(group.c_str());
  visitor.OpenGroup();
  visitor.UInt(u"LastIndex", &lastIndex);
  keys_.DescribeMembers(visitor, u"PathKeys");
  visitor.EndGroup();
  CRTSControl::DescribeMembers(visitor);
}

u32 CPathControl::GetMemorySize() const {
  return CRTSControl::GetMemorySize() + static_cast<u32>(sizeof(keys_) + sizeof(positionDivisor_)) +
         keys_.GetMemorySize();
}

Result CPathControl::CopyOwnTo(CPathControl& target) const {
  try {
    target.keys_ = keys_;
  } catch (const std::bad_alloc&) {
    return kErrOutOfMemory;
  }
  target.positionDivisor_ = positionDivisor_;
  return kOk;
}

Result CPathControl::LoadOwn(CStream& stream, CStreamLoadRecord& /*record*/, u32 storedVersion) {
  if (stream.GetStoredVersion(CRTSControl::StaticClassRecord()) < static_cast<i32>(kVersionSlaveModeWord)) {
    SetSlaveMode(SM_CURRENT_WORLD);
  }
  // Records before the divisor existed place the object at the path's own
  // coordinates.
  positionDivisor_ = {1.0f, 1.0f, 1.0f};
  if (storedVersion < kVersionKeyRecords) return LoadInlineKeys(stream);
  return LoadFields(stream, storedVersion);
}

Result CPathControl::LoadInlineKeys(CStream& stream) {
  // RefPath id, PathTime, TransitionType, AlignAxis, Follow, FollowTerrain.
  constexpr u32 kInlineKeyBytes = 8 + 4 + 4 + 4 + 1 + 1;
  std::vector<i32> times;
  u32 count = 0;
  Result r = ReadLegacyTimes(stream, times);
  if (Succeeded(r)) r = ReadU32(stream, count);
  if (Succeeded(r)) r = stream.CheckAvailable(count, kInlineKeyBytes);
  if (Failed(r)) return r;
  // Keys without a time of their own are not keys the record describes.
  if (times.size() < count) return kErrNotFound;
  std::vector<CPathKey>& keys = keys_.MutableKeys();
  try {
    keys.assign(count, CPathKey());
  } catch (const std::bad_alloc&) {
    keys.clear();
    return kErrOutOfMemory;
  }
  for (u32 k = 0; k < count && Succeeded(r); ++k) {
    CPathKey& key = keys[k];
    key.Time = times[k];
    r = key.RefPath.Load(stream);
    if (Succeeded(r)) r = ReadU32(stream, key.PathTime);
    if (Succeeded(r)) r = ReadU32(stream, key.TransitionType);
    if (Succeeded(r)) r = ReadU32(stream, key.AlignAxis);
    if (Succeeded(r)) r = ReadBool(stream, key.Follow);
    if (Succeeded(r)) r = ReadBool(stream, key.FollowTerrain);
  }
  return r;
}

}  // namespace KT
