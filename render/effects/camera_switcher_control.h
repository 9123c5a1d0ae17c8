// KT::CCameraSwitcherControl: animates a camera switcher. It holds
// time-ordered step keys, each naming a camera (not owned); during the data
// pass Update picks the camera of the key in effect and, when the switcher
// is in "CM_Switch", Apply writes it into the switcher's UpdatedCamera. A
// camera holds from its key's time until the next key; the scene time is
// used as given (no repeat or frequency mapping).
//
// Record, after the KT::CDataControl level (little-endian): version pair
// 1.00; the keys (u32 count, then 28-byte CCameraKey records: the time-key
// part (pair 1.00, i32 Time), pair 1.00, the camera's id (8 bytes, 0 when
// empty)).
#pragma once

#include "controllers/core/control_level.h"
#include "controllers/core/data_control.h"
#include "controllers/core/key_track.h"
#include "controllers/core/target_ref.h"
#include "render/lights/camera.h"

namespace KT {

class CCameraSwitcher;

class CCameraSwitcherControl
    : public CControlLevel<CCameraSwitcherControl, CDataControl, ClassIndex::CCameraSwitcherControl> {
 public:
  // A camera key (version 1.00): Time, then the camera it switches to.
  class CCameraKey : public CKeyLevel<CCameraKey, CTimeKey, ClassIndex::CCameraKey> {
   public:
    CCameraKey() = default;
    CCameraKey(i32 time, CCamera* camera) : CKeyLevel(time), Camera(camera) {}
    template <typename W, typename K>
    static void Fields(W& w, K& k) {
      w.Ref(u"Camera", k.Camera);
    }
    // "Time", then "Camera".
    void DescribeMembers(CMemberVisitor& visitor) override;
    CTargetRef<CCamera> Camera;
  };

  using KeyTrack = CKeyTrack<CCameraKey, TrackCacheCopy::kCopy>;
  static constexpr TimePolicy kTimePolicy = TimePolicy::kUnchanged;
  // The rate the keys of the oldest switcher records are snapped at.
  static constexpr f32 kLegacyKeyRate = 60.0f;

  CCameraSwitcherControl() = default;
  // The keys; the current camera starts empty.
  CCameraSwitcherControl(const CCameraSwitcherControl& other);

  const KeyTrack& GetKeys() const { return keys_; }
  // Puts `key` at its time snapped to the nearest whole frame at `fps`
  // (SnapTimeToFrame): a key at that time takes the new camera, otherwise
  // the key is inserted in time order. Marks the control modified. kOk, or
  // kErrOutOfMemory (nothing changed).
  Result SetKey(const CCameraKey& key, f32 fps);
  // The camera of key `index`: kErrOutOfRange (0x80000004) at or past the
  // end (nothing changed); else stored, the control marked modified, kOk.
  Result SetKeyCamera(u32 index, CCamera* camera);
  // The camera the last Update picked (null before the first key, for an
  // empty key and without keys).
  CCamera* GetCurrentCamera() const { return currentCamera_; }

  // Unbound: kErrInvalidArg (0x80000003); bound to something that is not a
  // camera switcher: kErrNotFound (0x80000005); nothing changes then.
  // Otherwise the current camera becomes that of the last key at or before
  // `time` (empty without keys or before the first key); kOk.
  Result Update(i32 time) override;
  // The same refusals as Update. In "CM_Switch" the switcher's
  // UpdatedCamera becomes the current camera (kOk); in "CM_Browse" nothing
  // changes (kDone).
  Result Apply() override;
  // The last key's time; 0 (the no-time marker) without keys.
  i32 GetEndTime() const override;

  // The base's clone; any non-negative answer other than kDone is kOk.
  Result Clone(CPointer<CBase>& out, CloneMap& cloneMap, u32 flags) override;
  // The base's registration; any non-negative answer other than kDone is
  // kOk.
  Result RegisterForSave(CStream& stream, u32 flags) override;
  // The base link and the keys' cameras (an object that is not a camera
  // leaves a key empty); once the tree is linked, a camera the delivered
  // roots do not keep alive is dropped.
  Result Link(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  // Group "CCameraSwitcherControl Keys" with every key's Time and Camera,
  // then the data controller's members.
  void DescribeMembers(CMemberVisitor& visitor) override;
  u32 GetMemorySize() const override;
  bool HasSubObjects() const override;

  // Empties the key cameras that would outlive their targets once the
  // stream is gone, `holder` being what keeps the keys (see
  // CTargetRef::DropUnlessHeld).
  void DropCamerasUnlessHeld(CStream& stream, const CBase* holder);

  template <typename W, typename Self>
  static void Fields(W& w, Self& self) {
    w.Track(u"Keys", self.keys_);
  }
  Result CopyOwnTo(CCameraSwitcherControl& target) const;

 private:
  KeyTrack keys_;
  CCamera* currentCamera_ = nullptr;
};

}  // namespace KT
