#include "controllers/core/keyframe_control.h"

#include <algorithm>
#include <cmath>
#include <new>

#include "controllers/core/key_search.h"
#include "objectmodel/class_factory.h"
#include "objectmodel/quaternion.h"
#include "objectmodel/stream.h"
#include "objectmodel/stream_fields.h"
#include "objectmodel/time_helpers.h"
#include "scene/spatial.h"

namespace KT {

CRtsTransform InterpolateRts(const CRtsTransform& a, const CRtsTransform& b, f32 f) {
  CRtsTransform r;
  // The sign passes through 0 half-way between a mirrored and a plain key;
  // the scale follows its magnitude, so the blend collapses instead of
  // flipping.
  const f32 s = a.Sign + (b.Sign - a.Sign) * f;
  r.Sign = s >= 0.0f ? 1.0f : -1.0f;
  for (int i = 0; i < 3; ++i) {
    const f32 difference = b.Scale[i] - a.Scale[i];
    const f32 step = difference * f;
    const f32 blended = a.Scale[i] + step;
    const f32 magnitude = blended * s;
    r.Scale[i] = magnitude * r.Sign;
  }
  r.Stretch = QuaternionSlerp(a.Stretch, b.Stretch, f);
  r.Rotate = QuaternionSlerp(a.Rotate, b.Rotate, f);
  r.Translate = a.Translate + (b.Translate - a.Translate) * f;
  return r;
}

// --- keys ------------------------------------------------------------------------------

void CKeyframeControl::CRtsKey::DescribeMembers(CMemberVisitor& visitor) {
  visitor.Time(u"Time", &Time);
  visitor.Float(u"Sign", &Value.Sign);
  visitor.Vector3(u"Scale", &Value.Scale);
  visitor.FloatArray(u"Stretch", &Value.Stretch.x, 4);
  visitor.FloatArray(u"Rotate", &Value.Rotate.x, 4);
  visitor.Vector3(u"Translate", &Value.Translate);
}

void CKeyframeControl::CStickyKey::DescribeMembers(CMemberVisitor& visitor) {
  CTimeKey::DescribeMembers(visitor);
  DescribeKeyLevel(visitor, *this);
}

// --- the controller ----------------------------------------------------------------------

CKeyframeControl::CKeyframeControl(const CKeyframeControl& other)
    : CRTSControl(other),
      rts_(other.rts_),
      sticky_(other.sticky_) {}

CKeyframeControl::~CKeyframeControl() = default;

Result CKeyframeControl::AddRtsKey(i32 time, f32 fps, const CRtsTransform& transform, u32 transitionType,
                                   f32 transitionStrength) {
  const Result r = rts_.SetKey(CRtsKey(SnapTimeToFrame(time, fps), transform, transitionType, transitionStrength));
  if (Succeeded(r)) SetModified();
  return r;
}

Result CKeyframeControl::SetRtsKeyValue(u32 index, const CRtsTransform& transform) {
  if (index >= rts_.Size()) return kErrOutOfRange;
  rts_[index].Value = transform;
  SetModified();
  return kOk;
}

Result CKeyframeControl::RemoveRtsKey(u32 index) {
  const Result r = rts_.RemoveKey(index);
  if (Succeeded(r)) SetModified();
  return r;
}

Result CKeyframeControl::RemoveRtsKeys(const std::vector<bool>& keep) {
  return RemoveKeptTrackKeys(*this, rts_, keep);
}

Result CKeyframeControl::ClearRtsKeys() {
  rts_.Clear();
  SetModified();
  return kOk;
}

Result CKeyframeControl::SetRtsKeys(const std::vector<CRtsKey>& keys) {
  const Result r = rts_.Assign(keys);
  if (Succeeded(r)) SetModified();
  return r;
}

Result CKeyframeControl::SetStickyKeys(const std::vector<CStickyKey>& keys) {
  const Result r = sticky_.Assign(keys);
  if (Succeeded(r)) SetModified();
  return r;
}

Result CKeyframeControl::EvaluateRts(i32 time, CRtsTransform& out) {
  KeyBracket b;
  if (rts_.Bracket(time, BlendRule::kLaterKey, b) == kKeySearchNone) {
    out = kIdentityTransform;
    return kOk;
  }
  // On a key, and before or after the track, the key's transform stands
  // exactly as stored.
  out = b.prev == b.next ? rts_[b.prev].Value : InterpolateRts(rts_[b.prev].Value, rts_[b.next].Value, b.weight);
  return kOk;
}

Result CKeyframeControl::BakeFrequency() {
  const f32 frequency = GetFrequency();
  if (!std::isfinite(frequency) || !(frequency > 0.0f)) return kErrInvalidArg;
  for (CRtsKey& key : rts_.MutableKeys()) {
    const f32 scaled = static_cast<f32>(key.Time) / frequency;
    key.Time = ClampKeyTime(FloatToIntTrunc(scaled));
  }
  // Baking changes how the keys are stored, not what they animate.
  const bool modified = IsModified();
  SetFrequency(1.0f);
  SetModified(modified);
  return kOk;
}

Result CKeyframeControl::OffsetTranslation(const CVector3<float>& offset) {
  if (rts_.Empty()) return kDone;
  for (CRtsKey& key : rts_.MutableKeys()) key.Value.Translate += offset;
  SetModified();
  return kOk;
}

Result CKeyframeControl::TransformKeys(const CRtsTransform& transform) {
  if (rts_.Empty()) return kDone;
  const CMatrix4 m = ComposeAffine(transform);
  for (CRtsKey& key : rts_.MutableKeys()) key.Value = CRtsTransform::FromMatrix(ComposeAffine(key.Value) * m);
  SetModified();
  return kOk;
}

i32 CKeyframeControl::GetEndTime() const { return rts_.GetEndTime(EndTimeRule::kLastKey); }

Result CKeyframeControl::UpdateTransform(i32 time) {
  if (CheckActive() == kDone) return kDone;
  CSpatial* spatial = nullptr;
  Result r = GetBoundSpatial(spatial);
  if (Failed(r)) return r;
  i32 cycles = 0;
  const i32 local = MapTime(time, GetEndTime(), cycles);
  if (!rts_.Empty()) {
    CRtsTransform value;
    r = EvaluateRts(local, value);
    if (Failed(r)) return r;
    SetLocalAndCompose(value, *spatial);
  } else {
    r = InitFromSlaveMode();
    if (Failed(r)) return r;
  }
  EvaluateSticky(local);
  return kOk;
}

void CKeyframeControl::EvaluateSticky(i32 time) {
  KeyBracket b;
  const i32 code = sticky_.Bracket(time, BlendRule::kLinear, b);
  if (code == kKeySearchNone || code == kKeySearchBefore) {
    SetStickyRange(false, GetStickyStart(), GetStickyEnd());
    return;
  }
  const CStickyKey& key = sticky_[b.prev];
  i32 end = kMaxKeyTime;
  for (u32 i = b.prev + 1; i < sticky_.Size(); ++i) {
    if (sticky_[i].Enable != key.Enable) {
      end = sticky_[i].Time;
      break;
    }
  }
  SetStickyRange(key.Enable, key.Time, end);
}

Result CKeyframeControl::CreateInstance(CPointer<CBase>& out) const {
  try {
    return CreateCopy(*this, out);
  } catch (const std::bad_alloc&) {
    return kErrOutOfMemory;
  }
}

Result CKeyframeControl::CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const {
  CKeyframeControl* other = DynamicCast<CKeyframeControl>(target);
  if (other == nullptr) return kErrNotFound;
  // The tracks are copied before anything is changed, so that running out
  // of memory leaves the target as it was.
  CKeyTrack<CRtsKey> rts;
  CKeyTrack<CStickyKey> sticky;
  try {
    rts = rts_;
    sticky = sticky_;
  } catch (const std::bad_alloc&) {
    return kErrOutOfMemory;
  }
  const Result r = CRTSControl::CopyTo(target, displaced, flags);
  if (Failed(r)) return r;
  other->rts_ = std::move(rts);
  other->sticky_ = std::move(sticky);
  return kOk;
}

Result CKeyframeControl::Load(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  Result r = CRTSControl::Load(stream, record, flags);
  if (Succeeded(r)) r = stream.ReadVersionBlock(StaticClassRecord());
  if (Failed(r)) return r;
  rts_.SetLastIndex(0);
  sticky_.SetLastIndex(0);
  const i32 version = stream.GetStoredVersion(StaticClassRecord());
  if (version >= static_cast<i32>(kVersionKeyLists)) {
    r = rts_.Read(stream);
    if (Succeeded(r)) r = sticky_.Read(stream);
    return r;
  }
  // Sticky keys came with the key lists.
  sticky_.Clear();
  rts_.Clear();
  return LoadLegacyTracks(stream, version);
}

// --- records before 3.00 -----------------------------------------------------------------
//
// These stored the track as parallel arrays (u32 count, then the elements):
// rotations, translations and scales, then four arrays of f32 times (the
// combined key times and one per value track), transition types from 2.03,
// stretches from 2.06 and signs from 2.07. When the combined times are
// present each holds one key; otherwise the three tracks were keyed
// independently and are merged here into keys at every time any of them
// has.

namespace {

struct LegacyTracks {
  std::vector<CQuaternion> rotations;
  std::vector<CVector3<float>> translations;
  std::vector<CVector3<float>> scales;
  std::vector<i32> times;  // combined key times
  std::vector<i32> rotationTimes;
  std::vector<i32> translationTimes;
  std::vector<i32> scaleTimes;
  std::vector<u32> transitionTypes;
  std::vector<CQuaternion> stretches;
  std::vector<f32> signs;
};

Result ReadLegacyArrays(CStream& stream, i32 version, f32 timeOffset, LegacyTracks& tracks) {
  Result r = kOk;
  if (version <= static_cast<i32>(CKeyframeControl::kVersionBlockAndOffset)) {
    u8 dropped[65];  // a 64-byte block and a flag, both unused
    r = stream.Read(dropped, sizeof(dropped), sizeof(dropped));
  }
  if (Succeeded(r)) r = ReadPodVector(stream, tracks.rotations);
  if (Succeeded(r)) r = ReadPodVector(stream, tracks.translations);
  if (Succeeded(r)) r = ReadPodVector(stream, tracks.scales);
  // Every layout before 3.00 stores its times as f32.
  for (std::vector<i32>* times :
       {&tracks.times, &tracks.rotationTimes, &tracks.translationTimes, &tracks.scaleTimes}) {
    if (Succeeded(r)) r = ReadTimeArrayVersioned(stream, version, *times, 3, 0);
  }
  if (Failed(r)) return r;
  if (version <= static_cast<i32>(CKeyframeControl::kVersionBlockAndOffset)) {
    // These records kept their start time in the controller part; the keys
    // are made relative to it.
    if (timeOffset != 0.0f) {
      const i32 offset = ClampKeyTime(FloatToIntTrunc(timeOffset));
      for (std::vector<i32>* times :
           {&tracks.times, &tracks.rotationTimes, &tracks.translationTimes, &tracks.scaleTimes}) {
        for (i32& t : *times) t = SubtractTimeOffset(t, offset);
      }
    }
    u32 dropped = 0;
    r = ReadU32(stream, dropped);
  }
  if (version == static_cast<i32>(CKeyframeControl::kVersionTwoDroppedArrays)) {
    std::vector<u32> dropped;
    if (Succeeded(r)) r = ReadPodVector(stream, dropped);
    if (Succeeded(r)) r = ReadPodVector(stream, dropped);
  } else if (version >= static_cast<i32>(CKeyframeControl::kVersionTransitionTypes)) {
    std::vector<u32> dropped;
    if (Succeeded(r)) r = ReadPodVector(stream, dropped);
    if (Succeeded(r)) r = ReadPodVector(stream, tracks.transitionTypes);
  }
  if (Failed(r)) return r;
  if (version < static_cast<i32>(CKeyframeControl::kVersionRotationXyzw)) {
    // Stored w, x, y, z.
    for (CQuaternion& q : tracks.rotations) q = CQuaternion(q.y, q.z, q.w, q.x);
  }
  if (version >= static_cast<i32>(CKeyframeControl::kVersionStretch)) r = ReadPodVector(stream, tracks.stretches);
  if (Succeeded(r) && version >= static_cast<i32>(CKeyframeControl::kVersionSign)) {
    r = ReadPodVector(stream, tracks.signs);
  }
  return r;
}

// The value of one independently keyed track at time t: linear (or
// spherical) between the track's keys without easing, the end values
// outside them, `empty` for a track without keys.
template <typename Value, typename Blend>
Value SampleLegacyTrack(const std::vector<i32>& times, const std::vector<Value>& values, i32 t, u32& cache,
                        const Value& empty, Blend blend) {
  f32 fraction = 0.0f;
  u32 prev = 0;
  u32 next = 0;
  if (FindKeyInterval(t, times, cache, fraction, prev, next) == kKeySearchNone) return empty;
  return blend(values[prev], values[next], fraction);
}

CVector3<float> Lerp(const CVector3<float>& a, const CVector3<float>& b, f32 f) { return a + (b - a) * f; }

// A key's transform as the decomposition of its own matrix, the form every
// other key is in.
CRtsTransform Normalised(const CRtsTransform& value) { return CRtsTransform::FromMatrix(ComposeAffine(value)); }

Result BuildLegacyKeys(const LegacyTracks& tracks, i32 version, std::vector<CKeyframeControl::CRtsKey>& keys) {
  using CRtsKey = CKeyframeControl::CRtsKey;
  const bool hasStretch = version >= static_cast<i32>(CKeyframeControl::kVersionStretch);
  const bool hasSign = version >= static_cast<i32>(CKeyframeControl::kVersionSign);
  if (!tracks.times.empty()) {
    // One key per combined time; every value array must cover them all.
    const std::size_t n = tracks.times.size();
    if (tracks.rotations.size() < n || tracks.translations.size() < n || tracks.scales.size() < n ||
        (hasStretch && tracks.stretches.size() < n) || (hasSign && tracks.signs.size() < n) ||
        (!tracks.transitionTypes.empty() && tracks.transitionTypes.size() < n)) {
      return kErrNotFound;
    }
    keys.resize(n);
    for (std::size_t i = 0; i < n; ++i) {
      CRtsTransform value;
      value.Sign = hasSign ? tracks.signs[i] : 1.0f;
      value.Scale = tracks.scales[i];
      value.Stretch = hasStretch ? tracks.stretches[i] : kQuaternionIdentity;
      value.Rotate = tracks.rotations[i];
      value.Translate = tracks.translations[i];
      const u32 type = tracks.transitionTypes.empty() ? TT_LINEAR : tracks.transitionTypes[i];
      keys[i] = CRtsKey(tracks.times[i], Normalised(value), type);
    }
    return kOk;
  }
  if (tracks.rotations.size() < tracks.rotationTimes.size() ||
      tracks.translations.size() < tracks.translationTimes.size() ||
      tracks.scales.size() < tracks.scaleTimes.size()) {
    return kErrNotFound;
  }
  std::vector<i32> times;
  times.reserve(tracks.rotationTimes.size() + tracks.translationTimes.size() + tracks.scaleTimes.size());
  times.insert(times.end(), tracks.rotationTimes.begin(), tracks.rotationTimes.end());
  times.insert(times.end(), tracks.translationTimes.begin(), tracks.translationTimes.end());
  times.insert(times.end(), tracks.scaleTimes.begin(), tracks.scaleTimes.end());
  std::sort(times.begin(), times.end());
  times.erase(std::unique(times.begin(), times.end()), times.end());
  keys.resize(times.size());
  u32 rotationCache = 0;
  u32 translationCache = 0;
  u32 scaleCache = 0;
  const auto slerp = [](const CQuaternion& a, const CQuaternion& b, f32 f) { return QuaternionSlerp(a, b, f); };
  for (std::size_t i = 0; i < times.size(); ++i) {
    const i32 t = times[i];
    CRtsTransform value;
    value.Rotate =
        SampleLegacyTrack(tracks.rotationTimes, tracks.rotations, t, rotationCache, kQuaternionIdentity, slerp);
    value.Translate = SampleLegacyTrack(tracks.translationTimes, tracks.translations, t, translationCache,
                                        CVector3<float>(0.0f, 0.0f, 0.0f), Lerp);
    value.Scale =
        SampleLegacyTrack(tracks.scaleTimes, tracks.scales, t, scaleCache, CVector3<float>(1.0f, 1.0f, 1.0f), Lerp);
    keys[i] = CRtsKey(t, Normalised(value));
  }
  return kOk;
}

}  // namespace

Result CKeyframeControl::LoadLegacyTracks(CStream& stream, i32 version) {
  try {
    LegacyTracks tracks;
    // Before link, Weight still holds the first word of the oldest
    // controller part, which these records used as their start time.
    Result r = ReadLegacyArrays(stream, version, GetWeight(), tracks);
    if (Succeeded(r)) r = BuildLegacyKeys(tracks, version, rts_.MutableKeys());
    if (Failed(r)) {
      rts_.Clear();
      return r;
    }
  } catch (const std::bad_alloc&) {
    rts_.Clear();
    return kErrOutOfMemory;
  }
  if (version < static_cast<i32>(kVersionFrequencyBaked)) {
    // These times were stored scaled by Frequency. A Frequency that cannot
    // be folded in stays in force instead.
    BakeFrequency();
  }
  return kOk;
}

Result CKeyframeControl::Save(CStream& stream, u32 flags) {
  Result r = CRTSControl::Save(stream, flags);
  if (Succeeded(r)) r = WriteVersion(stream, StaticClassRecord());
  if (Succeeded(r)) r = rts_.Write(stream);
  if (Succeeded(r)) r = sticky_.Write(stream);
  return r;
}

void CKeyframeControl::DescribeMembers(CMemberVisitor& visitor) {
  visitor.BeginGroup(u"CKeyframeControl Member");
  visitor.OpenGroup();
  visitor.UInt(u"LastIndex", &rts_.LastIndexField());
  rts_.DescribeMembers(visitor, u"Rts Keys");
  visitor.UInt(u"LastStickyIndex", &sticky_.LastIndexField());
  sticky_.DescribeMembers(visitor, u"Sticky Keys");
  visitor.EndGroup();
  CRTSControl::DescribeMembers(visitor);
}

u32 CKeyframeControl::GetMemorySize() const {
  return CRTSControl::GetMemorySize() + 76 * rts_.Size() + 12 * sticky_.Size() + 56;
}

u32 CKeyframeControl::GetSaveSize() const {
  return CRTSControl::GetSaveSize() + 8 + rts_.GetSaveSize() + sticky_.GetSaveSize();
}

}  // namespace KT
