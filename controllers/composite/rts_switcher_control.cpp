#include "controllers/composite/rts_switcher_control.h"

#include <new>

#include "controllers/core/keyframe_control.h"
#include "controllers/core/legacy_key_arrays.h"
#include "objectmodel/class_factory.h"
#include "objectmodel/stream.h"
#include "objectmodel/stream_fields.h"
#include "scene/spatial.h"

namespace KT {

void CRTSSwitcherControl::CSwChannelKey::DescribeMembers(CMemberVisitor& visitor) {
  DescribeKeyLevel<CTimeKey>(visitor, *this);
  DescribeKeyLevel<CSwChannelKey>(visitor, *this);
  DescribeKeyLevel<CTransitionKey>(visitor, *this);
}

Result CRTSSwitcherControl::SetKeys(const std::vector<CSwChannelKey>& keys) {
  const Result r = keys_.Assign(keys);
  if (Succeeded(r)) SetModified();
  return r;
}

// --- evaluation ----------------------------------------------------------------------------

Result CRTSSwitcherControl::UpdateTransform(i32 time) {
  if (!IsActive()) return kDone;
  CSpatial* spatial = nullptr;
  Result r = GetBoundSpatial(spatial);
  if (Failed(r)) return r;
  if (GetChildCount() == 0) {
    r = InitFromSlaveMode();
    return Failed(r) ? r : kOk;
  }
  i32 cycles = 0;
  const i32 m = MapTime(time, GetEndTime(), cycles);
  u32 channelA = 0;
  u32 channelB = 0;
  f32 weight = 0.0f;
  KeyBracket bracket;
  if (keys_.Bracket(m, BlendRule::kLaterKey, bracket) != kKeySearchNone) {
    channelA = keys_[bracket.prev].Channel;
    channelB = keys_[bracket.next].Channel;
    weight = bracket.weight;
  }
  // A channel past the list (or an empty slot) has no child: the other side
  // drives alone.
  CRTSControl* a = GetChild(channelA);
  CRTSControl* b = channelB == channelA ? a : GetChild(channelB);
  if (a == nullptr) a = b;
  if (b == nullptr) b = a;
  if (a == nullptr) {
    r = InitFromSlaveMode();
    return Failed(r) ? r : kOk;
  }
  r = a->UpdateTransform(m);
  if (Failed(r)) return r;
  if (b == a) {
    SetLocalAndCompose(a->GetLocal(), *spatial);
    return kOk;
  }
  r = b->UpdateTransform(m);
  if (Failed(r)) return r;
  SetLocalAndCompose(InterpolateRts(a->GetLocal(), b->GetLocal(), weight), *spatial);
  return kOk;
}

// --- root protocol ------------------------------------------------------------------------------

Result CRTSSwitcherControl::CreateInstance(CPointer<CBase>& out) const {
  try {
    return CreateCopy(*this, out);
  } catch (const std::bad_alloc&) {
    return kErrOutOfMemory;
  }
}

Result CRTSSwitcherControl::CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const {
  auto* other = DynamicCast<CRTSSwitcherControl>(target);
  if (other == nullptr) return kErrNotFound;
  // The keys are copied first, so that running out of memory changes
  // nothing.
  KeyTrack::KeyVector keys;
  try {
    keys = keys_.Keys();
  } catch (const std::bad_alloc&) {
    return kErrOutOfMemory;
  }
  const Result r = CopyListTo(*other, displaced, flags);
  if (Failed(r)) return r;
  other->keys_.MutableKeys().swap(keys);
  return kOk;
}

Result CRTSSwitcherControl::Load(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  Result r = CRTSControl::Load(stream, record, flags);
  if (Succeeded(r)) r = stream.ReadVersionBlock(StaticClassRecord());
  if (Succeeded(r)) r = ReadChildList(stream, record, true);
  if (Failed(r)) return r;
  keys_.SetLastIndex(0);
  if (stream.GetStoredVersion(StaticClassRecord()) >= static_cast<i32>(kVersionKeyRecords)) {
    return keys_.Read(stream);
  }
  // Before key records: times, channels, interpolation flags and types.
  return ReadFourArrayKeys(stream, keys_.MutableKeys(), &CSwChannelKey::Channel);
}

Result CRTSSwitcherControl::Save(CStream& stream, u32 flags) {
  Result r = CRTSControl::Save(stream, flags);
  if (Succeeded(r)) r = WriteVersion(stream, StaticClassRecord());
  if (Succeeded(r)) r = WriteChildList(stream);
  if (Succeeded(r)) r = keys_.Write(stream);
  return r;
}

void CRTSSwitcherControl::DescribeMembers(CMemberVisitor& visitor) {
  visitor.BeginGroup(u"CRTSSwitcherControl Member");
  visitor.OpenGroup();
  keys_.DescribeMembers(visitor, u"Keys");
  visitor.EndGroup();
  CRTSControl::DescribeMembers(visitor);
}

u32 CRTSSwitcherControl::GetMemorySize() const {
  return CRTSControl::GetMemorySize() + GetChildListMemorySize() + keys_.GetMemorySize() +
         static_cast<u32>(sizeof(KeyTrack));
}

u32 CRTSSwitcherControl::GetSaveSize() const {
  return CRTSControl::GetSaveSize() + 8 + GetChildListSaveSize() + keys_.GetSaveSize();
}

}  // namespace KT
