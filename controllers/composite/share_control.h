// KT::CShareControl: builds the local transform of the spatial it animates
// from the local transforms of other spatials (its share targets).
//
// Each target contributes, per channel and with its own weight, its scale
// (S), each translation component (TX, TY, TZ), its twist about one axis
// (RY, the axis chosen by AxisType) and the rest of its rotation (RXZ).
// Scales and translations are summed over the targets; a channel that any
// target touches replaces all three components of the object's Basis.
// Rotations are chained, each target's slerped factor on the left of what
// the earlier ones gave. Then the fixed offsets apply (ROffset as Euler
// angles Z x Y x X, then SOffset per component, then TOffset) and the world
// matrices are composed with the parent. With OffsetMode the rotations are
// taken relative to each target's Basis and put on top of the object's own
// Basis rotation. The time is not used.
//
// Reference is a plain target reference (CTargetRef): not counted, not
// registered for saving, not cloned; stored as its object id, resolved at
// link to spatials only, re-bound by name. An empty Reference shares the
// object's own Basis. Update depth: above every Reference.
//
// Record of a target (42 bytes): RXZ, RY, S, TX, TY, TZ (u8 Active + f32
// Weight each), AxisType (u32), Reference id (u64).
//
// Record of the control, after the CRTSControl part: the pair 2.06, the
// targets (u32 count + target records), SOffset, ROffset, TOffset (3 f32
// each), OffsetMode (u8): 49 + 42n bytes. Older forms:
//   2.05          no OffsetMode (false);
//   below 2.05    first a reference list (u32 count + ids; 4-byte ids at
//                 2.01 and below), entry i the Reference of target i, then
//                 the targets without ids: 28-byte records at 2.03 and 2.04
//                 (u32 unused, RXZ, RY, S, T as u8 + f32, AxisType), 40-byte
//                 records below 2.03 (u32 unused, RY, RXZ, T, S as u32 flag
//                 word + f32, AxisType); the single T channel fills TX, TY
//                 and TZ alike;
//   below 2.01    no offsets (the defaults).
// An AxisType above 2, or a reference list shorter than the targets, fails
// the load with kErrNotFound (0x80000005).
#pragma once

#include <vector>

#include "controllers/core/control_level.h"
#include "controllers/core/rts_control.h"
#include "controllers/core/target_ref.h"
#include "objectmodel/vector.h"
#include "scene/spatial.h"

namespace KT {

class CShareControl : public CControlLevel<CShareControl, CRTSControl, ClassIndex::CShareControl> {
 public:
  enum AxisTypeValue : u32 { AxisX = 0, AxisY = 1, AxisZ = 2 };
  static constexpr u32 kAxisTypeCount = 3;
  static const char16_t* const kAxisTypeNames[kAxisTypeCount];

  // One shared channel: on or off, and its weight.
  struct CChannel {
    bool Active = false;
    f32 Weight = 1.0f;
  };

  // A share target: a plain record. A new one has every channel off with
  // weight 1 and no Reference.
  struct CShareTarget {
    CChannel RY;
    CChannel RXZ;
    CChannel TX;
    CChannel TY;
    CChannel TZ;
    CChannel S;
    u32 AxisType = AxisX;
    CTargetRef<CSpatial> Reference;
  };

  // The target list as a record field: u32 count and the 42-byte records.
  class CShareTargets {
   public:
    // Bytes of one target record.
    static constexpr u32 kRecordSize = 42;

    std::vector<CShareTarget>& Items() { return items_; }
    const std::vector<CShareTarget>& Items() const { return items_; }

    Result Write(CStream& stream) const;
    // The current form. An AxisType above 2: kErrNotFound; a count the
    // bytes left cannot hold: kErrStream, before anything is allocated.
    Result Read(CStream& stream);
    u32 GetSaveSize() const { return 4 + kRecordSize * static_cast<u32>(items_.size()); }
    // One array element per target with its channels, "AxisType" and
    // "Reference".
    void DescribeMembers(CMemberVisitor& visitor, const char16_t* name) const;
    u32 GetMemorySize() const { return static_cast<u32>(items_.capacity() * sizeof(CShareTarget)); }
    void Link(CStream& stream);
    void Remap(const CloneMap& cloneMap);
    void ResolveByName(CBase* root);

   private:
    std::vector<CShareTarget> items_;
  };

  // Version gates of the record.
  static constexpr u32 kVersionOffsets = 201;       // SOffset, ROffset, TOffset stored
  static constexpr u32 kVersionWideIdList = 202;    // the reference list holds 8-byte ids
  static constexpr u32 kVersionShortRecords = 203;  // 28-byte target records
  static constexpr u32 kVersionTargetIds = 205;     // ids inside the 42-byte target records
  static constexpr u32 kVersionOffsetMode = 206;    // OffsetMode stored
  static constexpr TimePolicy kTimePolicy = TimePolicy::kUnchanged;

  // No targets; SOffset (1, 1, 1), ROffset and TOffset zero; OffsetMode off.
  CShareControl() = default;
  CShareControl(const CShareControl& other) = default;

  const std::vector<CShareTarget>& GetTargets() const { return targets_.Items(); }
  std::vector<CShareTarget>& EditTargets() { return targets_.Items(); }
  const CVector3<float>& GetSOffset() const { return sOffset_; }
  const CVector3<float>& GetROffset() const { return rOffset_; }
  const CVector3<float>& GetTOffset() const { return tOffset_; }
  bool GetOffsetMode() const { return offsetMode_; }
  void SetOffsets(const CVector3<float>& s, const CVector3<float>& r, const CVector3<float>& t) {
    sOffset_ = s;
    rOffset_ = r;
    tOffset_ = t;
    SetModified();
  }
  void SetOffsetMode(bool on) {
    offsetMode_ = on;
    SetModified();
  }

  // The twist of rotation `q` about the axis of `axisType` (0 X, 1 Y,
  // 2 Z), from an Euler extraction: X the first angle of order 0, Y the
  // second of order 3, Z the third of order 5. An axisType above 2 gives
  // the identity.
  static CQuaternion TwistAbout(const CQuaternion& q, u32 axisType);

  // Not active: kDone, nothing changed. Unbound: kErrInvalidArg
  // (0x80000003); bound to an object that is not a spatial: kErrNotFound.
  // Otherwise Local is the object's Basis with the shared channels and the
  // offsets (see the file comment), composed with the parent: kOk.
  Result UpdateTransform(i32 time) override;
  // Every Reference raises `depth` above its own update depth (their
  // answers are ignored): kOk.
  Result GetUpdateDepth(i32 time, i32& depth) override;
  // Always 0: the control does not use the time.
  i32 GetEndTime() const override { return kZeroTime; }
  // The base's link, which resolves the References in target order; once
  // the tree is linked, a Reference that the delivered roots do not keep
  // alive is emptied.
  Result Link(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  // True with at least one target, else the base's answer.
  bool HasSubObjects() const override;
  // "CShareControl Member": "LastIndex", "SOffset", "ROffset", "TOffset",
  // "OffsetMode", then the targets; then the CRTSControl members.
  void DescribeMembers(CMemberVisitor& visitor) override;
  u32 GetMemorySize() const override;

  template <typename W, typename Self>
  static void Fields(W& w, Self& self) {
    w.Track(u"ShareTargets", self.targets_);
    w.Block(u"SOffset", self.sOffset_);
    w.Block(u"ROffset", self.rOffset_);
    w.Block(u"TOffset", self.tOffset_);
    if (StoredSince(w, kVersionOffsetMode)) w.Bool(u"OffsetMode", self.offsetMode_);
  }
  Result LoadOwn(CStream& stream, CStreamLoadRecord& record, u32 storedVersion);
  // The targets (with the same References), LastIndex, the offsets and
  // OffsetMode.
  Result CopyOwnTo(CShareControl& target) const;

 private:
  // The forms below 2.05: the reference list, then the targets.
  Result LoadListedTargets(CStream& stream, u32 storedVersion);

  // Reported and copied; neither stored nor used.
  u32 lastIndex_ = 0;
  CShareTargets targets_;
  CVector3<float> sOffset_{1.0f, 1.0f, 1.0f};
  CVector3<float> rOffset_{0.0f, 0.0f, 0.0f};
  CVector3<float> tOffset_{0.0f, 0.0f, 0.0f};
  bool offsetMode_ = false;
};

}  // namespace KT
