#include "controllers/composite/blink_control.h"

#include <new>

#include "controllers/core/key_blend.h"
#include "controllers/core/legacy_key_arrays.h"
#include "objectmodel/stream_fields.h"

namespace KT {

namespace {

using Vec3 = CVector3<float>;

// The inverse of a world matrix; a singular one inverts to the identity.
CMatrix4 Inverted(const CMatrix4& m) {
  CMatrix4 out;
  MatrixInverse(out, nullptr, m);
  return out;
}

}  // namespace

// --- the key lists -------------------------------------------------------------------

Result CBlinkControl::CBlinkKeys::SetKey(i32 time, f32 weight, u32 transitionType) {
  u32 index = 0;
  bool found = false;
  times_.Locate(time, index, found);
  if (found) {
    weights_[index] = weight;
    types_[index] = transitionType;
    return kOk;
  }
  try {
    // Room first, so that running out of memory changes nothing.
    times_.MutableTimes().reserve(times_.Size() + 1);
    weights_.reserve(weights_.size() + 1);
    types_.reserve(types_.size() + 1);
  } catch (const std::bad_alloc&) {
    return kErrOutOfMemory;
  }
  times_.MutableTimes().insert(times_.MutableTimes().begin() + index, time);
  weights_.insert(weights_.begin() + index, weight);
  types_.insert(types_.begin() + index, transitionType);
  return kOk;
}

Result CBlinkControl::CBlinkKeys::Write(CStream& stream) const {
  Result r = times_.Write(stream);
  if (Succeeded(r)) r = WritePodVector(stream, weights_);
  if (Succeeded(r)) r = WritePodVector(stream, types_);
  return r;
}

Result CBlinkControl::CBlinkKeys::Read(CStream& stream, u32 storedVersion) {
  Result r = times_.Read(stream, static_cast<i32>(storedVersion), kVersionIntegerTimes / 100,
                         kVersionIntegerTimes % 100);
  if (Succeeded(r)) r = ReadLegacyArray(stream, weights_);
  if (Succeeded(r)) r = ReadLegacyArray(stream, types_);
  if (Failed(r)) return r;
  // The lists describe keys only together: a record whose lists differ in
  // length is malformed, and no key of it is kept.
  if (!IsConsistent()) {
    times_.MutableTimes().clear();
    weights_.clear();
    types_.clear();
    return kErrNotFound;
  }
  return kOk;
}

Result CBlinkControl::CBlinkKeys::Read(CStream& stream) {
  return Read(stream, CBlinkControl::StaticClassRecord().Version());
}

u32 CBlinkControl::CBlinkKeys::GetSaveSize() const {
  return times_.GetSaveSize() + PodVectorSaveSize(weights_) + PodVectorSaveSize(types_);
}

void CBlinkControl::CBlinkKeys::DescribeMembers(CMemberVisitor& visitor, const char16_t* name) const {
  visitor.RecordArray(name, Size(), [this](u32 index, CMemberVisitor& v) {
    i32 time = times_[index];
    f32 weight = weights_[index];
    i32 type = static_cast<i32>(types_[index]);
    v.Time(u"Time", &time);
    v.Float(u"Weight", &weight);
    v.Enum(u"TransitionType", &type, kTransitionTypeNames, kTransitionTypeCount);
  });
}

u32 CBlinkControl::CBlinkKeys::GetMemorySize() const {
  return times_.GetMemorySize() + static_cast<u32>(weights_.capacity() * sizeof(f32) + types_.capacity() * sizeof(u32));
}

// --- the control ------------------------------------------------------------------------

CBlinkControl::CBlinkControl() { SetSlaveMode(SM_CURRENT_WORLD); }

Result CBlinkControl::UpdateTransform(i32 time) {
  if (!IsActive()) return kDone;
  CSpatial* object = nullptr;
  Result r = GetBoundSpatial(object);
  if (Failed(r)) return r;
  const i32 t = LocalTime(time);
  const CSpatial* parent = object->GetParent();
  const CMatrix4 parentWorld = parent != nullptr ? parent->GetWorldMatrix() : kMatrix4Identity;
  CRtsTransform local = kIdentityTransform;
  KeyBracket bracket;
  // A load refuses lists of different lengths; lists edited out of step
  // evaluate as if there were no keys rather than read past one of them.
  if (keys_.IsConsistent() && keys_.Times().Bracket(t, bracket) != kKeySearchNone) {
    const std::vector<f32>& weights = keys_.Weights();
    const f32 e = EaseTransition(bracket.fraction, keys_.Types()[bracket.next], kDefaultTransitionStrength);
    const f32 b = BlendValue(weights[bracket.prev], weights[bracket.next], e);
    local = object->GetLocal();
    local.Rotate = local.Rotate * QuaternionSlerp(kQuaternionIdentity, offset_, b);
    if (const CSpatial* dst = dst_.Get()) {
      const Vec3 d = TransformCoord(dst->GetWorldMatrix().GetTranslation(), Inverted(object->GetWorldMatrix()));
      local.Translate += d * b;
    }
  } else {
    r = InitFromSlaveMode();
    if (Failed(r)) return r;
    local = GetLocal();
  }
  if (constraint_ && dst_) {
    const CMatrix4 space = Inverted(dst_->GetWorldMatrix()) * constraintSpace_;
    Vec3 p = TransformCoord(TransformCoord(local.Translate, parentWorld), space);
    if (p.y < 0.0f) p.y = 0.0f;
    local.Translate = TransformCoord(TransformCoord(p, Inverted(space)), Inverted(parentWorld));
  }
  SetLocalAndCompose(local, *object);
  return kOk;
}

Result CBlinkControl::GetUpdateDepth(i32 time, i32& depth) {
  if (!IsActive() || !dst_) return kDone;
  const Result r = dst_->GetUpdateDepth(time, depth);
  ++depth;
  return r;
}

Result CBlinkControl::Link(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  const Result r = CControlLevel::Link(stream, record, flags);
  if (Failed(r) || !dst_) return r;
  stream.AddPostLinkStep([this, &stream] {
    dst_.DropUnlessHeld(stream, this);
    return kOk;
  });
  return r;
}

i32 CBlinkControl::GetEndTime() const { return keys_.Times().GetEndTime(EndTimeRule::kLastKey); }

bool CBlinkControl::HasSubObjects() const { return dst_ || CRTSControl::HasSubObjects(); }

void CBlinkControl::DescribeMembers(CMemberVisitor& visitor) {
  static const WString group = MemberGroupName(StaticClassRecord());
  u32 lastIndex = keys_.Times().GetLastIndex();
  visitor.BeginGroup(group.c_str());
  visitor.OpenGroup();
  visitor.UInt(u"LastIndex", &lastIndex);
  CKeyFieldDescriber describer(visitor, StaticClassRecord().Version());
  Fields(describer, *this);
  visitor.EndGroup();
  CRTSControl::DescribeMembers(visitor);
}

u32 CBlinkControl::GetMemorySize() const {
  return CRTSControl::GetMemorySize() + static_cast<u32>(sizeof(dst_) + sizeof(offset_) + sizeof(constraint_) +
                                                         sizeof(constraintSpace_)) +
         keys_.GetMemorySize();
}

Result CBlinkControl::CopyOwnTo(CBlinkControl& target) const {
  try {
    CBlinkKeys keys = target.keys_;
    keys.Times() = keys_.Times();
    keys.Weights() = keys_.Weights();
    keys.Types() = keys_.Types();
    target.keys_ = std::move(keys);
  } catch (const std::bad_alloc&) {
    return kErrOutOfMemory;
  }
  target.dst_ = dst_;
  target.offset_ = offset_;
  target.constraint_ = constraint_;
  target.constraintSpace_ = constraintSpace_;
  return kOk;
}

Result CBlinkControl::LoadOwn(CStream& stream, CStreamLoadRecord& /*record*/, u32 storedVersion) {
  if (stream.GetStoredVersion(CRTSControl::StaticClassRecord()) < static_cast<i32>(kVersionSlaveModeWord)) {
    SetSlaveMode(SM_CURRENT_WORLD);
  }
  Result r = dst_.Load(stream);
  if (Succeeded(r) && storedVersion >= kVersionOffset) {
    r = ReadFloatBlock(stream, offset_);
    if (Succeeded(r) && storedVersion < kVersionOffsetXyzw) {
      // Stored as w, x, y, z.
      const CQuaternion stored = offset_;
      offset_ = CQuaternion(stored.y, stored.z, stored.w, stored.x);
    }
  }
  if (Succeeded(r)) r = ReadBool(stream, constraint_);
  if (Succeeded(r)) r = ReadFloatBlock(stream, constraintSpace_);
  if (Succeeded(r)) r = keys_.Read(stream, storedVersion);
  return r;
}

}  // namespace KT
