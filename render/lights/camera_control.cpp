#include "render/lights/camera_control.h"

#include <algorithm>
#include <vector>

#include "controllers/core/legacy_key_arrays.h"
#include "render/lights/keyed_light_support.h"

namespace KT {

namespace {

// The value records of 2.02 and 2.03 levels.
struct StoredDof {
  f32 focalDistance;
  f32 focalRange;
  f32 blurness;
  u32 dofEffect;
  u32 transitionType;
};
struct StoredFov {
  f32 fov;
  u32 transitionType;
};
struct StoredViewVol {
  f32 volume[4];
  u32 transitionType;
};

// Key times as f32, then the value records: one key per time.
template <typename Key, typename Stored, typename Fill>
Result ReadRecordKeys(CStream& stream, std::vector<Key>& keys, Fill fill) {
  std::vector<i32> times;
  std::vector<Stored> values;
  Result r = ReadLegacyTimes(stream, times);
  if (Succeeded(r)) r = ReadLegacyArray(stream, values);
  if (Failed(r)) return r;
  return BuildKeysFromArrays(times, {values.size()}, keys, [&](Key& key, std::size_t i) {
    fill(key, values[i]);
    key.TransitionType = values[i].transitionType;
  });
}

}  // namespace

void CCameraControl::CDofKey::DescribeMembers(CMemberVisitor& visitor) {
  i32 time = Time;
  i32 effect = static_cast<i32>(DofEffect);
  visitor.Time(u"Time", &time);
  visitor.Float(u"FocalDistance", &FocalDistance);
  visitor.Float(u"FocalRange", &FocalRange);
  visitor.Float(u"Blurness", &Blurness);
  visitor.Enum(u"DofEffect", &effect, CCamera::kDofEffectNames, 4);
  DescribeKeyLevel<CTransitionKey>(visitor, *this);
}
void CCameraControl::CFovKey::DescribeMembers(CMemberVisitor& visitor) { DescribeTransitionKey(visitor, *this); }
void CCameraControl::CCameraViewVolKey::DescribeMembers(CMemberVisitor& visitor) {
  DescribeTransitionKey(visitor, *this);
}

Result CCameraControl::SetFovKey(const CFovKey& key, f32 fps) {
  CFovKey placed = key;
  placed.Time = ScaledFrameTime(*this, key.Time, fps);
  const Result r = fovKeys_.SetKey(placed);
  if (Succeeded(r)) SetModified();
  return r;
}

Result CCameraControl::RemoveFovKey(u32 index) {
  const Result r = fovKeys_.RemoveKey(index);
  if (Succeeded(r)) SetModified();
  return r;
}

Result CCameraControl::RemoveFovKeys(const std::vector<bool>& keep) { return RemoveKeptTrackKeys(*this, fovKeys_, keep); }

Result CCameraControl::Update(i32 time) {
  CCamera* camera = nullptr;
  const Result r = BoundObjectOf(*this, camera);
  if (Failed(r)) return r;
  if (CheckActive() == kDone) return kDone;
  eyeUpRotData_ = camera->GetWorldEyeUp();
  focalDistance_ = camera->GetFocalDistance();
  focalRange_ = camera->GetFocalRange();
  blurness_ = camera->GetBlurness();
  dofEffect_ = camera->GetDofEffect();
  frustumFov_ = camera->GetFrustumFov();
  KeyBracket bracket;
  if (dofKeys_.Bracket(time, BlendRule::kLaterKey, bracket) != kKeySearchNone) {
    focalDistance_ = dofKeys_.Blend(bracket, &CDofKey::FocalDistance);
    focalRange_ = dofKeys_.Blend(bracket, &CDofKey::FocalRange);
    blurness_ = dofKeys_.Blend(bracket, &CDofKey::Blurness);
    dofEffect_ = dofKeys_.Step(bracket, &CDofKey::DofEffect);
  }
  if (fovKeys_.Bracket(time, BlendRule::kLaterKey, bracket) != kKeySearchNone) {
    frustumFov_ = fovKeys_.Blend(bracket, &CFovKey::FrustumFov);
  }
  if (viewVolKeys_.Bracket(ScaleTime(time), BlendRule::kLaterKey, bracket) != kKeySearchNone) {
    CModifiedGuard keep(camera);
    camera->SetVolume(viewVolKeys_.Blend(bracket, &CCameraViewVolKey::VolumeLeft),
                      viewVolKeys_.Blend(bracket, &CCameraViewVolKey::VolumeRight),
                      viewVolKeys_.Blend(bracket, &CCameraViewVolKey::VolumeTop),
                      viewVolKeys_.Blend(bracket, &CCameraViewVolKey::VolumeBottom));
  }
  return kOk;
}

i32 CCameraControl::GetEndTime() const {
  return std::max({dofKeys_.GetEndTime(EndTimeRule::kAtLeastZero), fovKeys_.GetEndTime(EndTimeRule::kAtLeastZero),
                   viewVolKeys_.GetEndTime(EndTimeRule::kAtLeastZero)});
}

void CCameraControl::DescribeMembers(CMemberVisitor& visitor) {
  dofKeys_.DescribeGroup(visitor, u"CCameraControl Dof Data", u"LastDofIndex", u"Keys");
  fovKeys_.DescribeGroup(visitor, u"CCameraControl Fov Data", u"LastFovIndex", u"Keys");
  viewVolKeys_.DescribeGroup(visitor, u"CCameraControl Orhtographic Camera View Volume Data", u"LastViewVolIndex",
                             u"Keys");
  CCameraDataControl::DescribeMembers(visitor);
}

u32 CCameraControl::GetMemorySize() const {
  return CCameraDataControl::GetMemorySize() + 88 + 32 * (dofKeys_.Size() + viewVolKeys_.Size()) +
         20 * fovKeys_.Size();
}

Result CCameraControl::LoadOwn(CStream& stream, CStreamLoadRecord& record, u32 storedVersion) {
  if (storedVersion >= kVersionKeyLists) return CControlLevel::LoadOwn(stream, record, storedVersion);
  Result r = kOk;
  if (storedVersion < kVersionArrays) {
    // Records of these versions held nothing the keys can use.
    struct Dropped12 {
      f32 values[3];
    };
    std::vector<Dropped12> vectors;
    std::vector<u32> words;
    if (storedVersion < kVersionOneVector) r = ReadLegacyArray(stream, vectors);
    if (Succeeded(r)) r = ReadLegacyArray(stream, words);
    return r;
  }
  if (storedVersion < kVersionRecords) {
    std::vector<i32> times;
    std::vector<f32> distances, ranges, blurs, fovs;
    std::vector<u32> effects;
    r = ReadLegacyTimes(stream, times);
    if (Succeeded(r)) r = ReadLegacyArray(stream, distances);
    if (Succeeded(r)) r = ReadLegacyArray(stream, ranges);
    if (Succeeded(r)) r = ReadLegacyArray(stream, blurs);
    if (Succeeded(r)) r = ReadLegacyArray(stream, effects);
    if (Succeeded(r)) {
      r = BuildKeysFromArrays(times, {distances.size(), ranges.size(), blurs.size(), effects.size()},
                              dofKeys_.MutableKeys(), [&](CDofKey& key, std::size_t i) {
                                key.FocalDistance = distances[i];
                                key.FocalRange = ranges[i];
                                key.Blurness = blurs[i];
                                key.DofEffect = effects[i];
                              });
    }
    if (Succeeded(r)) r = ReadTwoArrayKeys(stream, fovKeys_.MutableKeys(), &CFovKey::FrustumFov);
    return r;
  }
  r = ReadRecordKeys<CDofKey, StoredDof>(stream, dofKeys_.MutableKeys(), [](CDofKey& key, const StoredDof& v) {
    key.FocalDistance = v.focalDistance;
    key.FocalRange = v.focalRange;
    key.Blurness = v.blurness;
    key.DofEffect = v.dofEffect;
  });
  if (Succeeded(r)) {
    r = ReadRecordKeys<CFovKey, StoredFov>(stream, fovKeys_.MutableKeys(),
                                           [](CFovKey& key, const StoredFov& v) { key.FrustumFov = v.fov; });
  }
  if (Succeeded(r) && storedVersion >= kVersionViewVolume) {
    r = ReadRecordKeys<CCameraViewVolKey, StoredViewVol>(stream, viewVolKeys_.MutableKeys(),
                                                         [](CCameraViewVolKey& key, const StoredViewVol& v) {
                                                           key.VolumeLeft = v.volume[0];
                                                           key.VolumeRight = v.volume[1];
                                                           key.VolumeTop = v.volume[2];
                                                           key.VolumeBottom = v.volume[3];
                                                         });
  }
  return r;
}

Result CCameraControl::CopyOwnTo(CCameraControl& target) const {
  try {
    target.dofKeys_ = dofKeys_;
    target.fovKeys_ = fovKeys_;
    target.viewVolKeys_ = viewVolKeys_;
  } catch (const std::bad_alloc&) {
    return kErrOutOfMemory;
  }
  return kOk;
}

}  // namespace KT
