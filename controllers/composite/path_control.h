// KT::CPathControl: moves the spatial it animates along path objects
// (KT::CPath) over time.
//
// A time-sorted list of path keys says, from each key time on, which path
// is followed (RefPath), where on it the object stands (PathTime, the path
// parameter: 0 the start, 1 the end), whether the object turns with the
// path (Follow, FollowTerrain) and which of its axes is laid along it
// (AlignAxis). Between two keys on one path the parameter is blended; on
// two paths the two sampled points are blended (a straight line between
// them). The two orientations are slerped. The weight is the later key's
// easing clamped to [0, 1]. The scene time is used unchanged (neither
// Repeat nor Frequency).
//
// RefPath is a plain target reference (CTargetRef): not counted, not
// registered for saving, not cloned; stored as its object id and resolved
// at link to paths only. Update depth: the paths of the key in effect and
// of the next key.
//
// Record of a path key (54 bytes): the CTransitionKey record (28), the pair
// 1.00, RefPath id (u64), PathTime (f32), AlignAxis (u32), Follow (u8),
// FollowTerrain (u8).
//
// Record of the control, after the CRTSControl part: the pair 1.02, the key
// list (u32 count + key records), PositionDivisor (3 f32): 24 + 54n bytes.
// Older forms:
//   1.00  f32 key times (u32 count + f32 each, truncated toward zero), u32
//         key count, then per key without version pairs: RefPath id,
//         PathTime, TransitionType, AlignAxis, Follow, FollowTerrain;
//         TransitionStrength stays 50. A time list shorter than the key
//         count fails the load with kErrNotFound (0x80000005);
//   1.01  the key list without PositionDivisor, which is (1, 1, 1).
// A CRTSControl part below 2.02 sets SlaveMode to SM_CURRENT_WORLD.
#pragma once

#include "controllers/core/control_level.h"
#include "controllers/core/key_track.h"
#include "controllers/core/rts_control.h"
#include "controllers/core/target_ref.h"
#include "objectmodel/vector.h"
#include "scene/path.h"

namespace KT {

class CPathControl : public CControlLevel<CPathControl, CRTSControl, ClassIndex::CPathControl> {
 public:
  // Which axis of the object is laid along the path.
  enum AlignAxisType : u32 { XAxis = 0, YAxis = 1, ZAxis = 2, NXAxis = 3, NYAxis = 4, NZAxis = 5 };
  static const char16_t* const kAlignAxisNames[CPath::kAlignAxisCount];

  class CPathKey : public CKeyLevel<CPathKey, CTransitionKey, ClassIndex::CPathKey> {
   public:
    template <typename W, typename K>
    static void Fields(W& w, K& k) {
      w.Ref(u"RefPath", k.RefPath);
      w.Float(u"PathTime", k.PathTime);
      w.Enum(u"AlignAxis", k.AlignAxis, kAlignAxisNames, CPath::kAlignAxisCount);
      w.Bool(u"Follow", k.Follow);
      w.Bool(u"FollowTerrain", k.FollowTerrain);
    }
    // "Time", the key's own fields, "TransitionType", "TransitionStrength".
    void DescribeMembers(CMemberVisitor& visitor) override { DescribeTransitionKey(visitor, *this); }

    CTargetRef<CPath> RefPath;
    f32 PathTime = 0.0f;
    u32 AlignAxis = XAxis;
    bool Follow = false;
    // With a path that projects onto the terrain: the path's up-rotation
    // applies as well.
    bool FollowTerrain = false;
  };

  // Copies start their search cache at 0.
  using KeyTrack = CKeyTrack<CPathKey, TrackCacheCopy::kReset>;

  // Version gates of the record.
  static constexpr u32 kVersionKeyRecords = 101;       // the key list of path keys
  static constexpr u32 kVersionPositionDivisor = 102;  // PositionDivisor stored
  static constexpr TimePolicy kTimePolicy = TimePolicy::kUnchanged;

  // The path parameter x folded into [0, 1]: x - floor(x) when that is not
  // 0; else 0 for x = 0 and 1 for every other whole number, so that 1.0 is
  // the end of the path (1.0 and 3.0 give 1, 2.5 gives 0.5, -0.25 gives
  // 0.75). NaN stays NaN.
  static f32 WrapPathTime(f32 x);

  // SlaveMode SM_CURRENT_WORLD; no keys; PositionDivisor (1, 1, 1).
  CPathControl();
  CPathControl(const CPathControl& other) = default;

  const KeyTrack& GetKeys() const { return keys_; }
  KeyTrack& EditKeys() { return keys_; }
  const CVector3<float>& GetPositionDivisor() const { return positionDivisor_; }
  void SetPositionDivisor(const CVector3<float>& divisor) {
    positionDivisor_ = divisor;
    SetModified();
  }

  // Not active: kDone, nothing changed. Unbound: kErrInvalidArg
  // (0x80000003); bound to an object that is not a spatial: kErrNotFound;
  // nothing is read or changed then. No keys, a time before the first key,
  // or a key in effect without RefPath: InitFromSlaveMode, kOk. Otherwise
  // the world position comes from the paths (divided per component by
  // PositionDivisor), the world rotation is the object's times the blended
  // orientation (times nothing for a key without Follow), scale stays, and
  // Local is placed there in the parent's space (LocalPlacedAt): kOk. A
  // path that cannot be sampled counts as the origin with no turn.
  Result UpdateTransform(i32 time) override;
  // The paths of the key in effect at `time` and of the next key raise
  // `depth` above their own update depth (their answers are ignored).
  // Nothing before the first key. kOk.
  Result GetUpdateDepth(i32 time, i32& depth) override;
  // The last key's time; 0 without keys.
  i32 GetEndTime() const override;
  // The base's link, which resolves the keys' paths in key order; once the
  // tree is linked, a path that the delivered roots do not keep alive is
  // emptied.
  Result Link(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  // True with at least one key, else the base's answer.
  bool HasSubObjects() const override;
  // "CPathControl Member": "LastIndex", then the keys; then the CRTSControl
  // members. PositionDivisor is not reported.
  void DescribeMembers(CMemberVisitor& visitor) override;
  u32 GetMemorySize() const override;

  template <typename W, typename Self>
  static void Fields(W& w, Self& self) {
    w.Track(u"PathKeys", self.keys_);
    if (StoredSince(w, kVersionPositionDivisor)) w.Block(u"PositionDivisor", self.positionDivisor_);
  }
  Result LoadOwn(CStream& stream, CStreamLoadRecord& record, u32 storedVersion);
  // The keys (with the same paths) and PositionDivisor; the target's
  // search cache starts at 0.
  Result CopyOwnTo(CPathControl& target) const;

 private:
  // InitFromSlaveMode for a bound spatial: kOk.
  Result FromSlaveMode();
  // The oldest form, 1.00.
  Result LoadInlineKeys(CStream& stream);

  KeyTrack keys_;
  CVector3<float> positionDivisor_{1.0f, 1.0f, 1.0f};
};

}  // namespace KT
