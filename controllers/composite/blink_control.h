// KT::CBlinkControl: turns its spatial from its current local pose toward a
// fixed rotation (Offset) by a keyed weight, moves it by the same weight
// toward a destination object (Dst), and optionally keeps it on the
// non-negative Y side of a plane fixed to the destination ("Contraint",
// ConstraintSpace).
//
// Keys are three parallel lists of equal length: Times (i32 ms, ascending),
// Weights (f32) and TransitionTypes (u32, the TT_ values). Between keys the
// weight is blended with the later key's transition at strength 50 and is
// not clamped (the slerp toward Offset then extrapolates). The time is
// mapped through Repeat and Frequency over the end time.
//
// Dst is a plain target reference (CTargetRef): not counted, not
// registered for saving, not cloned; stored as its object id and resolved
// at link to a spatial only. Update depth: Dst's depth, plus one.
//
// Record, after the CRTSControl part: the pair 1.03; Dst id (u64); Offset
// (x, y, z, w); "Contraint" (one byte); ConstraintSpace (16 f32, row by
// row); Times (u32 count + i32), Weights (u32 count + f32),
// TransitionTypes (u32 count + u32): 97 + (4 + 4a) + (4 + 4b) + (4 + 4c)
// bytes. Older forms: 1.00 stores no Offset (the identity); 1.01 stores it
// as w, x, y, z; below 1.02 the times are f32 (truncated toward zero). A
// CRTSControl part below 2.02 sets SlaveMode to SM_CURRENT_WORLD. Lists of
// different lengths fail the load with kErrNotFound (0x80000005).
#pragma once

#include <vector>

#include "controllers/composite/constraint_members.h"
#include "controllers/core/control_level.h"
#include "controllers/core/key_track.h"
#include "controllers/core/rts_control.h"
#include "controllers/core/target_ref.h"
#include "objectmodel/matrix4.h"
#include "objectmodel/quaternion.h"
#include "scene/spatial.h"

namespace KT {

class CBlinkControl : public CControlLevel<CBlinkControl, CRTSControl, ClassIndex::CBlinkControl> {
 public:
  // The three parallel key lists with the search cache LastIndex (kept by
  // copy construction, not by CopyTo). In a controller record they are the
  // three counted arrays; LastIndex is not stored.
  class CBlinkKeys {
   public:
    using TimeTrack = CTimeTrack<TrackCacheCopy::kKeepTarget>;

    TimeTrack& Times() { return times_; }
    const TimeTrack& Times() const { return times_; }
    std::vector<f32>& Weights() { return weights_; }
    const std::vector<f32>& Weights() const { return weights_; }
    std::vector<u32>& Types() { return types_; }
    const std::vector<u32>& Types() const { return types_; }
    u32 Size() const { return times_.Size(); }
    bool IsConsistent() const { return weights_.size() == times_.Size() && types_.size() == times_.Size(); }

    // Puts a key at `time` (overwriting a key at that time, else inserting
    // in order). kErrOutOfMemory leaves the lists as they were.
    Result SetKey(i32 time, f32 weight, u32 transitionType);

    // The record of the current form: the three counted arrays.
    Result Write(CStream& stream) const;
    // The three arrays with times of the stored version `storedVersion`
    // (f32 below 1.02). Lists of different lengths: kErrNotFound.
    Result Read(CStream& stream, u32 storedVersion);
    Result Read(CStream& stream);
    u32 GetSaveSize() const;
    // One array element per key: "Time", "Weight", "TransitionType".
    void DescribeMembers(CMemberVisitor& visitor, const char16_t* name) const;
    u32 GetMemorySize() const;
    // The lists hold no references.
    void Link(CStream&) {}
    void Remap(const CloneMap&) {}
    void ResolveByName(CBase*) {}

   private:
    TimeTrack times_;
    std::vector<f32> weights_;
    std::vector<u32> types_;
  };

  // Version gates of the record.
  static constexpr u32 kVersionOffset = 101;          // Offset stored (as w, x, y, z)
  static constexpr u32 kVersionOffsetXyzw = 102;      // Offset as x, y, z, w
  static constexpr u32 kVersionIntegerTimes = 102;    // Times as i32
  static constexpr TimePolicy kTimePolicy = TimePolicy::kMapped;

  // SlaveMode SM_CURRENT_WORLD; no Dst, identity Offset, plane off,
  // identity ConstraintSpace, no keys.
  CBlinkControl();
  CBlinkControl(const CBlinkControl& other) = default;

  CSpatial* GetDst() const { return dst_.Get(); }
  void SetDst(CSpatial* dst) {
    dst_.Set(dst);
    SetModified();
  }
  const CQuaternion& GetOffset() const { return offset_; }
  void SetOffset(const CQuaternion& offset) {
    offset_ = offset;
    SetModified();
  }
  bool IsConstrained() const { return constraint_; }
  void SetConstrained(bool on) {
    constraint_ = on;
    SetModified();
  }
  const CMatrix4& GetConstraintSpace() const { return constraintSpace_; }
  void SetConstraintSpace(const CMatrix4& space) {
    constraintSpace_ = space;
    SetModified();
  }
  const CBlinkKeys& GetKeys() const { return keys_; }
  CBlinkKeys& EditKeys() { return keys_; }

  // Not active: kDone, nothing changed. Unbound: kErrInvalidArg; bound to
  // an object that is not a spatial: kErrNotFound. Without keys the pose
  // comes from InitFromSlaveMode; with keys Local is the object's Local
  // with its rotation multiplied by slerp(identity, Offset, b) and its
  // translation moved by b x (Dst's position in the object's own space).
  // With the plane on and a Dst, the translation is kept at y >= 0 in
  // inverse(Dst's WorldMatrix) x ConstraintSpace. Then the world
  // quantities are composed with the parent: kOk.
  Result UpdateTransform(i32 time) override;
  // Not active or no Dst: kDone, depth unchanged. Otherwise Dst's own
  // update depth raises `depth`, which then grows by 1; Dst's answer.
  Result GetUpdateDepth(i32 time, i32& depth) override;
  // The last entry of Times; 0 without keys.
  i32 GetEndTime() const override;
  // The base's link, which resolves Dst; once the tree is linked, a Dst
  // that the delivered roots do not keep alive is emptied.
  Result Link(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  // True when Dst is set, else the base's answer.
  bool HasSubObjects() const override;
  // "CBlinkControl Member": "LastIndex", "Dst", "Offset" (four floats),
  // "Contraint", "ConstraintSpace", the keys; then the CRTSControl members.
  void DescribeMembers(CMemberVisitor& visitor) override;
  u32 GetMemorySize() const override;

  template <typename W, typename Self>
  static void Fields(W& w, Self& self) {
    w.Ref(u"Dst", self.dst_);
    w.Block(u"Offset", self.offset_);
    w.Bool(u"Contraint", self.constraint_);
    w.Block(u"ConstraintSpace", self.constraintSpace_);
    w.Track(u"Keys", self.keys_);
  }
  Result LoadOwn(CStream& stream, CStreamLoadRecord& record, u32 storedVersion);
  // Dst, Offset, the plane and the keys; the target keeps its LastIndex.
  Result CopyOwnTo(CBlinkControl& target) const;

 private:
  CTargetRef<CSpatial> dst_;
  CQuaternion offset_ = kQuaternionIdentity;
  bool constraint_ = false;
  CMatrix4 constraintSpace_;
  CBlinkKeys keys_;
};

}  // namespace KT
