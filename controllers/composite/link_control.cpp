#include "controllers/composite/link_control.h"

#include <new>

#include "controllers/composite/constraint_members.h"
#include "controllers/core/key_search.h"
#include "controllers/core/legacy_key_arrays.h"
#include "objectmodel/matrix3.h"
#include "objectmodel/matrix4.h"
#include "objectmodel/quaternion.h"
#include "objectmodel/stream_fields.h"

namespace KT {

namespace {

using Vec3 = CVector3<float>;

Vec3 DivideComponents(const Vec3& v, const Vec3& d) { return {v.x / d.x, v.y / d.y, v.z / d.z}; }

// Reads u32 count + that many ids (8 bytes each, or 4 widened) into
// pending references.
Result ReadPendingIds(CStream& stream, bool wide, std::vector<CTargetRef<CSpatial>>& refs) {
  std::vector<u64> ids;
  const Result r = ReadLegacyIdArray(stream, wide, ids);
  if (Failed(r)) return r;
  try {
    refs.assign(ids.size(), CTargetRef<CSpatial>());
  } catch (const std::bad_alloc&) {
    refs.clear();
    return kErrOutOfMemory;
  }
  for (std::size_t i = 0; i < ids.size(); ++i) refs[i].SetPendingId(ids[i]);
  return kOk;
}

}  // namespace

// --- the key lists -----------------------------------------------------------------------

CLinkControl::CLinkKey CLinkControl::CLinkKeys::Get(u32 index) const {
  return {times_[index], objects_[index].Get(), adjust_[index], inherited_[index]};
}

Result CLinkControl::CLinkKeys::Assign(const std::vector<CLinkKey>& keys) {
  try {
    std::vector<i32> times;
    std::vector<CTargetRef<CSpatial>> objects;
    std::vector<CRtsTransform> adjust;
    std::vector<u32> inherited;
    for (const CLinkKey& key : keys) {
      times.push_back(key.LinkTime);
      objects.emplace_back(key.LinkObject);
      adjust.push_back(key.Adjust);
      inherited.push_back(key.Inherited);
    }
    times_.swap(times);
    objects_.swap(objects);
    adjust_.swap(adjust);
    inherited_.swap(inherited);
  } catch (const std::bad_alloc&) {
    return kErrOutOfMemory;
  }
  return kOk;
}

Result CLinkControl::CLinkKeys::Write(CStream& stream) const {
  Result r = WritePodVector(stream, adjust_);
  if (Succeeded(r)) r = WriteU32(stream, static_cast<u32>(objects_.size()));
  for (std::size_t i = 0; Succeeded(r) && i < objects_.size(); ++i) r = objects_[i].Save(stream);
  if (Succeeded(r)) r = WritePodVector(stream, times_);
  if (Succeeded(r)) r = WritePodVector(stream, inherited_);
  return r;
}

Result CLinkControl::CLinkKeys::CheckConsistent() {
  if (IsConsistent()) return kOk;
  times_.clear();
  objects_.clear();
  adjust_.clear();
  inherited_.clear();
  return kErrNotFound;
}

Result CLinkControl::CLinkKeys::Read(CStream& stream) {
  Result r = ReadLegacyArray(stream, adjust_);
  if (Succeeded(r)) r = ReadPendingIds(stream, true, objects_);
  if (Succeeded(r)) r = ReadLegacyArray(stream, times_);
  if (Succeeded(r)) r = ReadLegacyArray(stream, inherited_);
  return Succeeded(r) ? CheckConsistent() : r;
}

Result CLinkControl::CLinkKeys::ReadOlder(CStream& stream, u32 storedVersion) {
  std::vector<CMatrix4> matrices;
  Result r = ReadLegacyArray(stream, matrices);
  if (Failed(r)) return r;
  try {
    adjust_.clear();
    adjust_.reserve(matrices.size());
    for (const CMatrix4& m : matrices) adjust_.push_back(CRtsTransform::FromMatrix(m));
  } catch (const std::bad_alloc&) {
    adjust_.clear();
    return kErrOutOfMemory;
  }
  r = ReadPendingIds(stream, storedVersion >= kVersionWideIds, objects_);
  if (Succeeded(r)) r = ReadLegacyTimes(stream, times_);
  if (Failed(r)) return r;
  if (storedVersion >= kVersionInheritFlags) {
    std::vector<u8> flags;
    r = ReadLegacyArray(stream, flags);
    if (Failed(r)) return r;
    inherited_.clear();
    for (const u8 flag : flags) inherited_.push_back(flag != 0 ? kScaleNotInherited : 0u);
  } else {
    // One mask per adjustment: these records kept no masks.
    inherited_.assign(adjust_.size(), storedVersion >= kVersionInheritAll ? kScaleNotInherited : 0u);
  }
  if (storedVersion >= kVersionDroppedLists) {
    std::vector<u32> words;
    r = ReadLegacyArray(stream, words);
    if (Succeeded(r)) r = ReadLegacyArray(stream, matrices);
    if (Failed(r)) return r;
  }
  return CheckConsistent();
}

u32 CLinkControl::CLinkKeys::GetSaveSize() const {
  return PodVectorSaveSize(adjust_) + 4 + CTargetRef<CSpatial>::kSaveSize * static_cast<u32>(objects_.size()) +
         PodVectorSaveSize(times_) + PodVectorSaveSize(inherited_);
}

void CLinkControl::CLinkKeys::DescribeMembers(CMemberVisitor& visitor, const char16_t* name) const {
  const u32 count = IsConsistent() ? Size() : 0u;
  visitor.RecordArray(name, count, [this](u32 index, CMemberVisitor& v) {
    auto& self = const_cast<CLinkKeys&>(*this);
    CRtsTransform& adjust = self.adjust_[index];
    v.Time(u"LinkTime", &self.times_[index]);
    v.Float(u"Adjust.D", &adjust.Sign);
    v.Vector3(u"Adjust.S", &adjust.Scale);
    DescribeKeyBlock(v, u"Adjust.U", adjust.Stretch);
    DescribeKeyBlock(v, u"Adjust.R", adjust.Rotate);
    v.Vector3(u"Adjust.T", &adjust.Translate);
    v.ObjectRef(u"LinkObject", objects_[index].Get());
    v.UInt(u"Inherited", &self.inherited_[index]);
  });
}

u32 CLinkControl::CLinkKeys::GetMemorySize() const {
  return static_cast<u32>(times_.capacity() * sizeof(i32) + objects_.capacity() * sizeof(CTargetRef<CSpatial>) +
                          adjust_.capacity() * sizeof(CRtsTransform) + inherited_.capacity() * sizeof(u32));
}

void CLinkControl::CLinkKeys::Link(CStream& stream) {
  for (CTargetRef<CSpatial>& ref : objects_) ref.Link(stream);
}

void CLinkControl::CLinkKeys::Remap(const CloneMap& cloneMap) {
  for (CTargetRef<CSpatial>& ref : objects_) ref.Remap(cloneMap);
}

void CLinkControl::CLinkKeys::ResolveByName(CBase* root) {
  for (CTargetRef<CSpatial>& ref : objects_) ref.ResolveByName(root);
}

void CLinkControl::CLinkKeys::DropUnlessHeld(CStream& stream, const CBase* holder) {
  for (CTargetRef<CSpatial>& ref : objects_) ref.DropUnlessHeld(stream, holder);
}

// --- the control ------------------------------------------------------------------------

CLinkControl::CLinkControl() { SetSlaveMode(SM_CURRENT_WORLD); }

CLinkControl::CLinkControl(const CLinkControl& other)
    : CControlLevel(other), keys_(other.keys_), shareRatio_(other.shareRatio_) {}

Result CLinkControl::SetKeys(const std::vector<CLinkKey>& keys) {
  const Result r = keys_.Assign(keys);
  if (Succeeded(r)) SetModified();
  return r;
}

i32 CLinkControl::FindKey(i32 t, i32 hint) const {
  i32 index = -1;
  FindKeyFloorClamped(t, keys_.Times(), hint, index);
  return index;
}

Result CLinkControl::UpdateTransform(i32 time) {
  if (!IsActive()) return kDone;
  CSpatial* object = nullptr;
  const Result r = GetBoundSpatial(object);
  if (Failed(r)) return r;
  const i32 i = keys_.IsConsistent() ? FindKey(LocalTime(time), lastIndex_) : -1;
  if (i < 0) {
    // Not linked yet: the object stays where it is.
    lastIndex_ = -1;
    followed_ = Followed::kParent;
    InitFromSlaveMode();
    return kDone;
  }
  const u32 key = static_cast<u32>(i);
  lastIndex_ = i;
  followed_ = Followed::kKey;
  CSpatial* target = keys_.ObjectAt(key);
  const CRtsTransform& adjust = keys_.AdjustAt(key);
  const u32 mask = keys_.InheritedAt(key);

  // The object's Local under the adjustment, as under a parent that
  // passes everything on.
  const CRtsTransform& local = object->GetLocal();
  CMatrix3 worldScale = GetScaleMatrix(local) * GetScaleMatrix(adjust);
  CMatrix3 worldRotate = local.Rotate.ToMatrix3() * adjust.Rotate.ToMatrix3();
  CMatrix4 worldMatrix = local.ToMatrix() * adjust.ToMatrix();
  if (target != nullptr) {
    CMatrix4 parent;
    if (mask == kScaleNotInherited) {
      parent.SetRotation3x3(target->GetWorldRotate());
    } else {
      parent = target->GetWorldMatrix();
    }
    parent.SetTranslation(DivideComponents(target->GetWorldMatrix().GetTranslation(), shareRatio_));
    ComposeWithParent(worldScale, worldRotate, worldMatrix, target->GetWorldScale(), target->GetWorldRotate(), parent,
                      mask);
  }
  SetTransform(LocalPlacedAt(*object, worldMatrix), worldScale, worldRotate, worldMatrix);
  return kOk;
}

CSpatial* CLinkControl::GetLastLinkObject() const {
  switch (followed_) {
    case Followed::kNothing:
      break;
    case Followed::kParent: {
      const CSpatial* object = GetSpatial();
      return object != nullptr ? object->GetParent() : nullptr;
    }
    case Followed::kKey: {
      const u32 key = static_cast<u32>(lastIndex_);
      return lastIndex_ >= 0 && keys_.IsConsistent() && key < keys_.Size() ? keys_.ObjectAt(key) : nullptr;
    }
  }
  return nullptr;
}

Result CLinkControl::GetUpdateDepth(i32 time, i32& depth) {
  if (!keys_.IsConsistent()) return kOk;
  const i32 i = FindKey(LocalTime(time), 0);
  if (i < 0) return kOk;
  const u32 key = static_cast<u32>(i);
  if (CSpatial* target = keys_.ObjectAt(key)) target->RaiseUpdateDepth(time, depth);
  if (key + 1 < keys_.Size()) {
    if (CSpatial* next = keys_.ObjectAt(key + 1)) next->RaiseUpdateDepth(time, depth);
  }
  return kOk;
}

i32 CLinkControl::GetEndTime() const {
  const std::vector<i32>& times = keys_.Times();
  return times.empty() ? kZeroTime : times.back();
}

bool CLinkControl::IsStartedAt(i32 time) const {
  const std::vector<i32>& times = keys_.Times();
  return !times.empty() && LocalTime(time) >= times.front();
}

Result CLinkControl::CollectTimeSpans(i32 start, i32 duration, std::vector<i32>& times,
                                      std::vector<f32>& priorities, std::vector<f32>& spans) {
  const std::vector<i32>& keyTimes = keys_.Times();
  const i32 t0 = LocalTime(start);
  // In 64 bits: the window's end may lie past the range of i32.
  const i64 t1 = static_cast<i64>(t0) + ScaleTime(duration);
  const i32 i = FindKey(t0, lastIndex_);
  if (i < 0) return kOk;
  u32 k = static_cast<u32>(i);
  for (; k < keyTimes.size() && keyTimes[k] < t1; ++k) {
    if (keyTimes[k] <= t0) continue;
    times.push_back(UnscaleTime(keyTimes[k]));
    priorities.push_back(GetPriority());
    spans.push_back(200.0f);
  }
  return static_cast<Result>(k);
}

Result CLinkControl::PickByPriority(i32 time, i32& bestTime, i32& pickedTime, f32& bestPriority) {
  const i32 i = FindKey(LocalTime(time), lastIndex_);
  if (i < 0) return kOk;
  return PickByKeyStart(*this, keys_.Times()[static_cast<u32>(i)], GetPriority(), bestTime, pickedTime,
                        bestPriority);
}

Result CLinkControl::Link(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  const Result r = CControlLevel::Link(stream, record, flags);
  if (Failed(r) || keys_.Size() == 0) return r;
  stream.AddPostLinkStep([this, &stream] {
    keys_.DropUnlessHeld(stream, this);
    return kOk;
  });
  return r;
}

bool CLinkControl::HasSubObjects() const { return keys_.Size() > 0 || CRTSControl::HasSubObjects(); }

void CLinkControl::DescribeMembers(CMemberVisitor& visitor) {
  static const WString group = MemberGroupName(StaticClassRecord());
  u32 lastIndex = static_cast<u32>(lastIndex_);
  visitor.BeginGroup(group.c_str());
  visitor.OpenGroup();
  visitor.UInt(u"LastIndex", &lastIndex);
  visitor.ObjectRef(u"LastLinkObject", GetLastLinkObject());
  visitor.Vector3(u"ShareRatio", &shareRatio_);
  keys_.DescribeMembers(visitor, u"Keys");
  visitor.EndGroup();
  CRTSControl::DescribeMembers(visitor);
}

u32 CLinkControl::GetMemorySize() const {
  return CRTSControl::GetMemorySize() +
         static_cast<u32>(sizeof(keys_) + sizeof(shareRatio_) + sizeof(lastIndex_) + sizeof(followed_)) +
         keys_.GetMemorySize();
}

Result CLinkControl::CopyOwnTo(CLinkControl& target) const {
  try {
    target.keys_ = keys_;
  } catch (const std::bad_alloc&) {
    return kErrOutOfMemory;
  }
  target.lastIndex_ = lastIndex_;
  target.shareRatio_ = shareRatio_;
  return kOk;
}

Result CLinkControl::LoadOwn(CStream& stream, CStreamLoadRecord& /*record*/, u32 storedVersion) {
  if (stream.GetStoredVersion(CRTSControl::StaticClassRecord()) < static_cast<i32>(kVersionSlaveModeWord)) {
    SetSlaveMode(SM_CURRENT_WORLD);
  }
  shareRatio_ = {1.0f, 1.0f, 1.0f};
  if (storedVersion >= kVersionCurrentKeys) return LoadFields(stream, storedVersion);
  return keys_.ReadOlder(stream, storedVersion);
}

}  // namespace KT
