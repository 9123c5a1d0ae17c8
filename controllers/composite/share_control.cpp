#include "controllers/composite/share_control.h"

#include <cstring>
#include <new>

#include "controllers/core/legacy_key_arrays.h"
#include "objectmodel/matrix3.h"
#include "objectmodel/quaternion.h"
#include "objectmodel/stream_fields.h"

namespace KT {

namespace {

using Vec3 = CVector3<float>;

const Vec3 kAxes[CShareControl::kAxisTypeCount] = {{1.0f, 0.0f, 0.0f}, {0.0f, 1.0f, 0.0f}, {0.0f, 0.0f, 1.0f}};

Result WriteChannel(CStream& stream, const CShareControl::CChannel& channel) {
  const Result r = WriteBool(stream, channel.Active);
  return Succeeded(r) ? WriteFloat(stream, channel.Weight) : r;
}

Result ReadChannel(CStream& stream, CShareControl::CChannel& channel) {
  const Result r = ReadBool(stream, channel.Active);
  return Succeeded(r) ? ReadU32(stream, channel.Weight) : r;
}

// The channel of the 40-byte records: a flag word whose first byte is the
// flag, then the weight.
CShareControl::CChannel WordChannel(const u8* p) {
  CShareControl::CChannel channel;
  channel.Active = p[0] != 0;
  std::memcpy(&channel.Weight, p + 4, sizeof(f32));
  return channel;
}

void DescribeChannel(CMemberVisitor& visitor, const char16_t* active, const char16_t* weight,
                     const CShareControl::CChannel& channel) {
  visitor.Bool(active, &channel.Active);
  visitor.Float(weight, &channel.Weight);
}

Vec3 MultiplyComponents(const Vec3& a, const Vec3& b) { return {a.x * b.x, a.y * b.y, a.z * b.z}; }

}  // namespace

const char16_t* const CShareControl::kAxisTypeNames[kAxisTypeCount] = {u"AxisX", u"AxisY", u"AxisZ"};

// --- the target list -------------------------------------------------------------------

Result CShareControl::CShareTargets::Write(CStream& stream) const {
  Result r = WriteU32(stream, static_cast<u32>(items_.size()));
  for (const CShareTarget& t : items_) {
    for (const CChannel* c : {&t.RXZ, &t.RY, &t.S, &t.TX, &t.TY, &t.TZ}) {
      if (Succeeded(r)) r = WriteChannel(stream, *c);
    }
    if (Succeeded(r)) r = WriteU32(stream, t.AxisType);
    if (Succeeded(r)) r = t.Reference.Save(stream);
    if (Failed(r)) break;
  }
  return r;
}

Result CShareControl::CShareTargets::Read(CStream& stream) {
  u32 count = 0;
  Result r = ReadU32(stream, count);
  if (Succeeded(r)) r = stream.CheckAvailable(count, kRecordSize);
  if (Failed(r)) return r;
  try {
    items_.assign(count, CShareTarget());
  } catch (const std::bad_alloc&) {
    items_.clear();
    return kErrOutOfMemory;
  }
  for (CShareTarget& t : items_) {
    for (CChannel* c : {&t.RXZ, &t.RY, &t.S, &t.TX, &t.TY, &t.TZ}) {
      if (Succeeded(r)) r = ReadChannel(stream, *c);
    }
    if (Succeeded(r)) r = ReadU32(stream, t.AxisType);
    if (Succeeded(r)) r = t.Reference.Load(stream);
    if (Failed(r)) return r;
    // The twist has no axis outside the three.
    if (t.AxisType >= kAxisTypeCount) return kErrNotFound;
  }
  return kOk;
}

void CShareControl::CShareTargets::DescribeMembers(CMemberVisitor& visitor, const char16_t* name) const {
  visitor.RecordArray(name, static_cast<u32>(items_.size()), [this](u32 index, CMemberVisitor& v) {
    const CShareTarget& t = items_[index];
    DescribeChannel(v, u"RY.Active", u"RY.Weight", t.RY);
    DescribeChannel(v, u"RXZ.Active", u"RXZ.Weight", t.RXZ);
    DescribeChannel(v, u"TX.Active", u"TX.Weight", t.TX);
    DescribeChannel(v, u"TY.Active", u"TY.Weight", t.TY);
    DescribeChannel(v, u"TZ.Active", u"TZ.Weight", t.TZ);
    DescribeChannel(v, u"S.Active", u"S.Weight", t.S);
    v.Enum(u"AxisType", reinterpret_cast<const i32*>(&t.AxisType), kAxisTypeNames, kAxisTypeCount);
    v.ObjectRef(u"Reference", t.Reference.Get());
  });
}

void CShareControl::CShareTargets::Link(CStream& stream) {
  for (CShareTarget& t : items_) t.Reference.Link(stream);
}

void CShareControl::CShareTargets::Remap(const CloneMap& cloneMap) {
  for (CShareTarget& t : items_) t.Reference.Remap(cloneMap);
}

void CShareControl::CShareTargets::ResolveByName(CBase* root) {
  for (CShareTarget& t : items_) t.Reference.ResolveByName(root);
}

// --- the control ------------------------------------------------------------------------

CQuaternion CShareControl::TwistAbout(const CQuaternion& q, u32 axisType) {
  if (axisType >= kAxisTypeCount) return kQuaternionIdentity;
  static constexpr u32 kOrders[kAxisTypeCount] = {kEulerXYZ, kEulerYZX, kEulerZXY};
  f32 angles[3] = {0.0f, 0.0f, 0.0f};
  q.ToMatrix3().ToEuler(kOrders[axisType], angles[0], angles[1], angles[2]);
  return CQuaternion::FromAxisAngle(kAxes[axisType], angles[axisType]);
}

Result CShareControl::UpdateTransform(i32 /*time*/) {
  if (!IsActive()) return kDone;
  CSpatial* object = nullptr;
  const Result r = GetBoundSpatial(object);
  if (Failed(r)) return r;
  const CRtsTransform& basis = object->GetBasis();
  CRtsTransform local = basis;
  Vec3 scale{0.0f, 0.0f, 0.0f};
  Vec3 translation{0.0f, 0.0f, 0.0f};
  CQuaternion twist = kQuaternionIdentity;
  CQuaternion rest = kQuaternionIdentity;
  bool scaleTouched = false;
  bool translationTouched = false;
  bool rotationTouched = false;
  for (const CShareTarget& t : targets_.Items()) {
    const CSpatial* reference = t.Reference.Get();
    const CRtsTransform& source = reference != nullptr ? reference->GetLocal() : basis;
    if (t.S.Active) {
      scale += source.Scale * t.S.Weight;
      scaleTouched = true;
    }
    if (t.TX.Active) translation.x += t.TX.Weight * source.Translate.x;
    if (t.TY.Active) translation.y += t.TY.Weight * source.Translate.y;
    if (t.TZ.Active) translation.z += t.TZ.Weight * source.Translate.z;
    translationTouched = translationTouched || t.TX.Active || t.TY.Active || t.TZ.Active;
    // Either flag shares the whole rotation, each part by its own weight.
    if (t.RY.Active || t.RXZ.Active) {
      CQuaternion shared = source.Rotate;
      if (offsetMode_) {
        const CRtsTransform& own = reference != nullptr ? reference->GetBasis() : basis;
        shared = own.Rotate.Conjugate() * shared;
      }
      const CQuaternion axis = TwistAbout(shared, t.AxisType);
      const CQuaternion remainder = shared * axis.Conjugate();
      twist = QuaternionSlerp(kQuaternionIdentity, axis, t.RY.Weight) * twist;
      rest = QuaternionSlerp(kQuaternionIdentity, remainder, t.RXZ.Weight) * rest;
      rotationTouched = true;
    }
  }
  if (rotationTouched) local.Rotate = offsetMode_ ? local.Rotate * (rest * twist) : rest * twist;
  if (translationTouched) local.Translate = translation;
  if (scaleTouched) local.Scale = scale;

  const CQuaternion offset = CQuaternion::FromAxisAngle(kAxes[AxisZ], rOffset_.z) *
                             CQuaternion::FromAxisAngle(kAxes[AxisY], rOffset_.y) *
                             CQuaternion::FromAxisAngle(kAxes[AxisX], rOffset_.x);
  local.Rotate = local.Rotate * offset;
  local.Scale = MultiplyComponents(local.Scale, sOffset_);
  local.Translate += tOffset_;
  SetLocalAndCompose(local, *object);
  return kOk;
}

Result CShareControl::GetUpdateDepth(i32 time, i32& depth) {
  for (const CShareTarget& t : targets_.Items()) {
    if (CSpatial* reference = t.Reference.Get()) reference->RaiseUpdateDepth(time, depth);
  }
  return kOk;
}

Result CShareControl::Link(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  const Result r = CControlLevel::Link(stream, record, flags);
  if (Failed(r) || targets_.Items().empty()) return r;
  stream.AddPostLinkStep([this, &stream] {
    for (CShareTarget& t : targets_.Items()) t.Reference.DropUnlessHeld(stream, this);
    return kOk;
  });
  return r;
}

bool CShareControl::HasSubObjects() const { return !targets_.Items().empty() || CRTSControl::HasSubObjects(); }

void CShareControl::DescribeMembers(CMemberVisitor& visitor) {
  static const WString group = MemberGroupName(StaticClassRecord());
  visitor.BeginGroup(group.c_str());
  visitor.OpenGroup();
  visitor.UInt(u"LastIndex", &lastIndex_);
  visitor.Vector3(u"SOffset", &sOffset_);
  visitor.Vector3(u"ROffset", &rOffset_);
  visitor.Vector3(u"TOffset", &tOffset_);
  visitor.Bool(u"OffsetMode", &offsetMode_);
  targets_.DescribeMembers(visitor, u"ShareTargets");
  visitor.EndGroup();
  CRTSControl::DescribeMembers(visitor);
}

u32 CShareControl::GetMemorySize() const {
  return CRTSControl::GetMemorySize() +
         static_cast<u32>(sizeof(lastIndex_) + sizeof(targets_) + sizeof(sOffset_) + sizeof(rOffset_) +
                          sizeof(tOffset_) + sizeof(offsetMode_)) +
         targets_.GetMemorySize();
}

Result CShareControl::CopyOwnTo(CShareControl& target) const {
  try {
    target.targets_ = targets_;
  } catch (const std::bad_alloc&) {
    return kErrOutOfMemory;
  }
  target.lastIndex_ = lastIndex_;
  target.sOffset_ = sOffset_;
  target.rOffset_ = rOffset_;
  target.tOffset_ = tOffset_;
  target.offsetMode_ = offsetMode_;
  return kOk;
}

Result CShareControl::LoadOwn(CStream& stream, CStreamLoadRecord& /*record*/, u32 storedVersion) {
  offsetMode_ = false;
  if (storedVersion >= kVersionTargetIds) return LoadFields(stream, storedVersion);
  Result r = LoadListedTargets(stream, storedVersion);
  if (Succeeded(r) && storedVersion >= kVersionOffsets) {
    r = ReadFloatBlock(stream, sOffset_);
    if (Succeeded(r)) r = ReadFloatBlock(stream, rOffset_);
    if (Succeeded(r)) r = ReadFloatBlock(stream, tOffset_);
  }
  return r;
}

Result CShareControl::LoadListedTargets(CStream& stream, u32 storedVersion) {
  std::vector<u64> ids;
  Result r = ReadLegacyIdArray(stream, storedVersion >= kVersionWideIdList, ids);
  u32 count = 0;
  if (Succeeded(r)) r = ReadU32(stream, count);
  const bool shortRecords = storedVersion >= kVersionShortRecords;
  if (Succeeded(r)) r = stream.CheckAvailable(count, shortRecords ? 28 : 40);
  if (Failed(r)) return r;
  // Entry i of the list is target i's Reference: a target without one is
  // not a target the record describes.
  if (ids.size() < count) return kErrNotFound;
  std::vector<CShareTarget>& items = targets_.Items();
  try {
    items.assign(count, CShareTarget());
  } catch (const std::bad_alloc&) {
    items.clear();
    return kErrOutOfMemory;
  }
  for (u32 i = 0; i < count; ++i) {
    CShareTarget& t = items[i];
    CChannel translation;
    if (shortRecords) {
      u32 unused = 0;
      r = ReadU32(stream, unused);
      for (CChannel* c : {&t.RXZ, &t.RY, &t.S, &translation}) {
        if (Succeeded(r)) r = ReadChannel(stream, *c);
      }
      if (Succeeded(r)) r = ReadU32(stream, t.AxisType);
      if (Failed(r)) return r;
    } else {
      u8 record[40];
      r = stream.Read(record, sizeof(record), sizeof(record));
      if (Failed(r)) return r;
      t.RY = WordChannel(record + 4);
      t.RXZ = WordChannel(record + 12);
      translation = WordChannel(record + 20);
      t.S = WordChannel(record + 28);
      std::memcpy(&t.AxisType, record + 36, sizeof(u32));
    }
    if (t.AxisType >= kAxisTypeCount) return kErrNotFound;
    // One translation channel for the three components.
    t.TX = t.TY = t.TZ = translation;
    t.Reference.SetPendingId(ids[i]);
  }
  return kOk;
}

}  // namespace KT
