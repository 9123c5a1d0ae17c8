// KT::CLookAtControl: turns the spatial it animates toward a target object.
//
// The control keeps a time-sorted list of look keys. Each key names the
// target (TargetObject), optionally a reference object whose up axis steers
// the roll (RefObject), the object's own look and up directions, a fixed
// offset rotation, a weight and four angle limits. At a time the control
// takes the key in effect (the last key at or before the time), solves its
// rotation, blends toward the next key's rotation by the next key's easing,
// and multiplies the result onto the object's current world rotation.
// Position, scale and Local stay as the object had them.
//
// Times: the scene time is used unchanged (neither Repeat nor Frequency);
// loading a 2.04 or 2.05 record folds Frequency into the key times instead.
//
// Both references of a key are plain target references (CTargetRef): not
// counted, not registered for saving, not cloned; stored as object ids and
// resolved at link to spatials only. Update depth: the control raises the
// targets of the key in effect and of the next key, never RefObject, so the
// transform pass places the looking object after what it looks at.
//
// Record of a look key (112 bytes): the CTransitionKey record (28), the
// pair 1.02, LookDir (3 f32), UpDir (3 f32), Offset (x, y, z, w), Weight,
// "Left/Right/Up/Down Constriant" (4 f32), TargetObject id, RefObject id.
// Older key records: 1.00 stores three Euler angles (order 1) in place of
// Offset and one limit L (each limit L x pi when L > 0, else 2 pi); 1.01
// stores Offset and three limits x, y, z (left = right = x, up = down = y).
//
// Record of the control, after the CRTSControl part: the pair 2.05, the key
// list (u32 count + key records), "Basic Axis" (3 f32): 24 + 112n bytes.
// Older forms:
//   2.00 and below   refused (kErrNewerVersion, 0x8000000A), as the class
//                    never wrote them in a form it can read;
//   2.01 to 2.03     f32 key times, u32 key count, then per key LookDir,
//                    UpDir, three Euler angles (order 1), one unused f32,
//                    Weight and one limit L (L x pi, or 2 pi); 2.03 adds
//                    per key the transition type and both ids; 2.01 and
//                    2.02 keep the ids in two lists after the keys (the
//                    targets, then the references; 4-byte ids at 2.01)
//                    followed by two unused u32 arrays;
//   2.04             the key list without "Basic Axis".
// Any form below 2.02 of the CRTSControl part sets SlaveMode to
// SM_CURRENT_WORLD. A key time array or id list shorter than the key count
// fails the load with kErrNotFound (0x80000005).
#pragma once

#include "controllers/composite/constraint_members.h"
#include "controllers/core/control_level.h"
#include "controllers/core/key_track.h"
#include "controllers/core/rts_control.h"
#include "controllers/core/target_ref.h"
#include "objectmodel/math_functions.h"
#include "objectmodel/quaternion.h"
#include "scene/spatial.h"

namespace KT {

class CLookAtControl : public CControlLevel<CLookAtControl, CRTSControl, ClassIndex::CLookAtControl> {
 public:
  class CLookKey : public CKeyLevel<CLookKey, CTransitionKey, ClassIndex::CLookKey> {
   public:
    // Version gates of the key record.
    static constexpr u32 kVersionOffset = 101;      // Offset as a quaternion, three limits
    static constexpr u32 kVersionFourLimits = 102;  // four limits
    // Load reads the older forms itself.
    static constexpr bool kLoadIsFieldWalk = false;

    template <typename W, typename K>
    static void Fields(W& w, K& k) {
      w.Block(u"LookDir", k.LookDir);
      w.Block(u"UpDir", k.UpDir);
      w.Block(u"Offset", k.Offset);
      w.Float(u"Weight", k.Weight);
      w.Float(u"Left Constriant", k.LeftLimit);
      w.Float(u"Right Constriant", k.RightLimit);
      w.Float(u"Up Constriant", k.UpLimit);
      w.Float(u"Down Constriant", k.DownLimit);
      w.Ref(u"TargetObject", k.TargetObject);
      w.Ref(u"RefObject", k.RefObject);
    }

    // The transition part, then the key's own part in the form its version
    // pair names (see the file comment). A key version above 1.02 answers
    // kErrNewerVersion; a short stream its code.
    Result Load(CStream& stream) override;
    // Time, "LookDir", "UpDir", "Offset", "Weight", the four limits,
    // "RefObject", "TargetObject", TransitionType, TransitionStrength.
    void DescribeMembers(CMemberVisitor& visitor) override;

    // Sets the four limits from the single limit of older records: L x pi
    // when L > 0, else 2 pi (never clamps).
    void SetLimitsFromScale(f32 scale);

    CVector3<float> LookDir{0.0f, 0.0f, 0.0f};
    CVector3<float> UpDir{0.0f, 0.0f, 0.0f};
    CQuaternion Offset = kQuaternionIdentity;
    f32 Weight = 0.0f;
    // Radians; 2 pi never clamps.
    f32 LeftLimit = kTwoPi;
    f32 RightLimit = kTwoPi;
    f32 UpLimit = kTwoPi;
    f32 DownLimit = kTwoPi;
    CTargetRef<CSpatial> TargetObject;
    CTargetRef<CSpatial> RefObject;
  };

  using KeyTrack = CKeyTrack<CLookKey>;

  // Version gates of the control's record.
  static constexpr u32 kVersionFirstReadable = 201;  // 2.00 and below are refused
  static constexpr u32 kVersionWideIdLists = 202;    // the id lists after the keys hold 8-byte ids
  static constexpr u32 kVersionInlineIds = 203;      // ids and transition inside each key
  static constexpr u32 kVersionKeyRecords = 204;     // the key list of look keys
  static constexpr u32 kVersionBasicAxis = 205;      // "Basic Axis" stored
  // The scene time as it is: Frequency is folded into the key times at load.
  static constexpr TimePolicy kTimePolicy = TimePolicy::kUnchanged;

  // SlaveMode SM_CURRENT_WORLD; no keys; "Basic Axis" (0, 0, 1).
  CLookAtControl();
  CLookAtControl(const CLookAtControl& other) = default;

  const KeyTrack& GetKeys() const { return keys_; }
  KeyTrack& EditKeys() { return keys_; }
  const CVector3<float>& GetBasicAxis() const { return basicAxis_; }
  void SetBasicAxis(const CVector3<float>& axis) {
    basicAxis_ = axis;
    SetModified();
  }

  // Not active: kDone, nothing changed. Unbound: kErrInvalidArg; bound to
  // an object that is not a spatial: kErrNotFound; nothing changed then.
  // Otherwise InitFromSlaveMode runs; without keys the answer is kDone.
  // With keys the rotation of the key in effect at `time` (faded in from
  // the identity over [0, T0] before the first key, the identity at
  // negative times; slerped toward the next key's rotation by the next
  // key's easing) multiplies WorldRotate and the upper 3x3 of WorldMatrix
  // on the right: kOk. No NaN reaches the result: a rotation about a zero
  // axis, or between zero vectors, is the identity.
  Result UpdateTransform(i32 time) override;
  // The targets of the key in effect at `time` and of the next key (the
  // first key's before the first key) raise `depth` above their own update
  // depth; RefObjects do not. kOk, or the first failure of a target.
  Result GetUpdateDepth(i32 time, i32& depth) override;
  // The last key's time; 0 without keys.
  i32 GetEndTime() const override;
  // The base's link, which resolves the keys' references in key order;
  // once the tree is linked, a reference to a spatial that the delivered
  // roots do not keep alive is emptied.
  Result Link(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  // True with at least one key, else the base's answer.
  bool HasSubObjects() const override;
  u32 GetMemorySize() const override;

  // The rotation `key` asks for, solved against `object`'s current world
  // transforms: the identity for a key without a target; never NaN for
  // finite transforms.
  CQuaternion SolveKey(const CLookKey& key, const CSpatial& object) const;

  template <typename W, typename Self>
  static void Fields(W& w, Self& self) {
    w.Track(u"Keys", self.keys_);
    if (StoredSince(w, kVersionBasicAxis)) w.Block(u"Basic Axis", self.basicAxis_);
  }
  Result LoadOwn(CStream& stream, CStreamLoadRecord& record, u32 storedVersion);
  // The keys (with the same reference pointers) and "Basic Axis".
  Result CopyOwnTo(CLookAtControl& target) const;

 private:
  // The older forms 2.01 to 2.03.
  Result LoadInlineKeys(CStream& stream, u32 storedVersion);

  KeyTrack keys_;
  CVector3<float> basicAxis_{0.0f, 0.0f, 1.0f};
};

}  // namespace KT
