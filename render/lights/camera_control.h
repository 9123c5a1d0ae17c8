// KT::CCameraControl: animates a camera from three key tracks: depth of
// field, field of view and the orthographic view volume. Depth of field
// and field of view go through the camera data controller (Apply, in the
// data pass); the view volume is written into the camera by Update.
//
// Times: depth-of-field and field-of-view keys are matched against the
// scene time as it is; view-volume keys against trunc(time x Frequency).
//
// Record, after the KT::CCameraDataControl level (little-endian): version
// pair 2.04; the depth-of-field keys (u32 count, 52-byte CDofKey records),
// the field-of-view keys (40-byte CFovKey records) and the view-volume
// keys (52-byte CCameraViewVolKey records). Older levels:
//   below 2.00  u32 count + 12-byte elements, u32 count + u32 values: read
//               and dropped;
//   2.00        u32 count + u32 values: read and dropped;
//   2.01        depth of field: f32 key times, then four arrays (u32 count
//               + values): focal distance, focal range, blurness, effect;
//               field of view: f32 key times, then the values;
//   2.02, 2.03  depth of field: f32 key times, u32 count + (3 f32, u32
//               effect, u32 transition type) records; field of view: f32
//               key times, u32 count + (f32, u32 transition type); at 2.03
//               also the view volume: f32 key times, u32 count + (4 f32,
//               u32 transition type).
// A value array holding fewer entries than its times fails the load with
// kErrNotFound.
#pragma once

#include "controllers/core/control_level.h"
#include "controllers/core/key_track.h"
#include "render/lights/camera.h"
#include "render/materials/camera_data_control.h"

namespace KT {

class CCameraControl : public CControlLevel<CCameraControl, CCameraDataControl, ClassIndex::CCameraControl> {
 public:
  // A depth-of-field key (version 1.00). Its record stores DofEffect before
  // the three floats.
  class CDofKey : public CKeyLevel<CDofKey, CTransitionKey, ClassIndex::CDofKey> {
   public:
    template <typename W, typename K>
    static void Fields(W& w, K& k);
    // "Time", "FocalDistance", "FocalRange", "Blurness", "DofEffect", then
    // the transition.
    void DescribeMembers(CMemberVisitor& visitor) override;
    f32 FocalDistance = 0.0f;
    f32 FocalRange = 0.0f;
    f32 Blurness = 0.0f;
    u32 DofEffect = 0;
  };
  // A field-of-view key (version 1.00).
  class CFovKey : public CKeyLevel<CFovKey, CTransitionKey, ClassIndex::CFovKey> {
   public:
    template <typename W, typename K>
    static void Fields(W& w, K& k) {
      w.Float(u"FrustumFov", k.FrustumFov);
    }
    void DescribeMembers(CMemberVisitor& visitor) override;
    f32 FrustumFov = 0.0f;
  };
  // A view-volume key (version 1.00).
  class CCameraViewVolKey : public CKeyLevel<CCameraViewVolKey, CTransitionKey, ClassIndex::CCameraViewVolKey> {
   public:
    template <typename W, typename K>
    static void Fields(W& w, K& k) {
      w.Float(u"VolumeLeft", k.VolumeLeft);
      w.Float(u"VolumeRight", k.VolumeRight);
      w.Float(u"VolumeTop", k.VolumeTop);
      w.Float(u"VolumeBottom", k.VolumeBottom);
    }
    void DescribeMembers(CMemberVisitor& visitor) override;
    f32 VolumeLeft = 0.0f;
    f32 VolumeRight = 0.0f;
    f32 VolumeTop = 0.0f;
    f32 VolumeBottom = 0.0f;
  };

  // Copies start every search at the first key.
  using DofTrack = CKeyTrack<CDofKey, TrackCacheCopy::kReset>;
  using FovTrack = CKeyTrack<CFovKey, TrackCacheCopy::kReset>;
  using ViewVolTrack = CKeyTrack<CCameraViewVolKey, TrackCacheCopy::kReset>;

  // Version gates of the record.
  static constexpr u32 kVersionOneVector = 200;   // one dropped vector instead of two
  static constexpr u32 kVersionArrays = 201;      // key times with parallel value arrays
  static constexpr u32 kVersionRecords = 202;     // key times with value records
  static constexpr u32 kVersionViewVolume = 203;  // view-volume keys
  static constexpr u32 kVersionKeyLists = 204;    // key records
  // Depth of field and field of view take the time unchanged; the view
  // volume scales it by Frequency itself.
  static constexpr TimePolicy kTimePolicy = TimePolicy::kUnchanged;

  CCameraControl() = default;
  // Keys copied (caches at 0); the evaluated values start afresh.
  CCameraControl(const CCameraControl& other) = default;

  const DofTrack& GetDofKeys() const { return dofKeys_; }
  const FovTrack& GetFovKeys() const { return fovKeys_; }
  const ViewVolTrack& GetViewVolKeys() const { return viewVolKeys_; }
  DofTrack& EditDofKeys() { return dofKeys_; }
  FovTrack& EditFovKeys() { return fovKeys_; }
  ViewVolTrack& EditViewVolKeys() { return viewVolKeys_; }

  // Puts `key` (its time, transition and value) at trunc(key.Time x
  // Frequency) snapped to the nearest frame at `fps`: a key at that time is
  // overwritten, else it is inserted in order. Marks the controller
  // modified. kOk, or kErrOutOfMemory (nothing changed).
  Result SetFovKey(const CFovKey& key, f32 fps);
  // kErrOutOfRange at or past the end (nothing changed); else erased,
  // marked modified, kOk.
  Result RemoveFovKey(u32 index);
  // The bulk form: erases every key whose flag in `keep` is false in one
  // compaction, resets the cache and marks modified when keys went.
  // kErrInvalidArg without one flag per key, kDone when every key stays.
  Result RemoveFovKeys(const std::vector<bool>& keep);

  // Unbound: kErrInvalidArg; bound to something that is not a camera:
  // kErrNotFound; inactive: kDone; nothing changes then. Otherwise the data
  // block takes the camera's WorldEyeUp, depth of field and field of view,
  // replaced by the blends of the depth-of-field keys (DofEffect from the
  // earlier key) and field-of-view keys at `time`; with view-volume keys,
  // the camera's view volume becomes their blend at trunc(time x
  // Frequency) (its Modified flag kept). kOk.
  Result Update(i32 time) override;
  // The largest of 0 and the last key time of each track.
  i32 GetEndTime() const override;

  // Groups "CCameraControl Dof Data", "CCameraControl Fov Data" and
  // "CCameraControl Orhtographic Camera View Volume Data", each with its
  // cache and keys; then the camera data controller's members.
  void DescribeMembers(CMemberVisitor& visitor) override;
  u32 GetMemorySize() const override;

  template <typename W, typename Self>
  static void Fields(W& w, Self& self) {
    w.Track(u"Dof Keys", self.dofKeys_);
    w.Track(u"Fov Keys", self.fovKeys_);
    w.Track(u"View Volume Keys", self.viewVolKeys_);
  }
  Result LoadOwn(CStream& stream, CStreamLoadRecord& record, u32 storedVersion);
  // The three tracks; the target's caches back to 0.
  Result CopyOwnTo(CCameraControl& target) const;

 private:
  DofTrack dofKeys_;
  FovTrack fovKeys_;
  ViewVolTrack viewVolKeys_;
};

template <typename W, typename K>
void CCameraControl::CDofKey::Fields(W& w, K& k) {
  w.Enum(u"DofEffect", k.DofEffect, CCamera::kDofEffectNames, 4);
  w.Float(u"FocalDistance", k.FocalDistance);
  w.Float(u"FocalRange", k.FocalRange);
  w.Float(u"Blurness", k.Blurness);
}

}  // namespace KT
