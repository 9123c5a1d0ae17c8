// KT::CLinkControl: re-parents the spatial it animates over time without
// moving it in the scene tree.
//
// Each link key says from which time on (LinkTime, control-local ms) the
// object follows which spatial (LinkObject; none: the world), through which
// fixed adjustment (Adjust) and with which parts of the target's transform
// left out (Inherited, the spatial's inherit mask). At a time the control
// takes the object's current Local (as the controllers before it left it),
// places it under the adjustment and then under the target, and rewrites
// Local in the space of the object's real parent. The target's translation
// is divided per axis by ShareRatio first. Mask 0x1C0 exactly (scale left
// out) uses the target's WorldRotate and translation, so the target's scale
// changes neither the object's size nor its position.
//
// Times: trunc(time x Frequency); Repeat is not applied. The key in force
// is the last key at or before that time (the clamped floor search from
// LastIndex); before the first key the object stays where it is.
//
// LinkObject entries are plain target references (CTargetRef): not
// counted, not registered for saving, not cloned; stored as object ids,
// resolved at link to spatials only, re-bound by name. A link to an
// ancestor therefore holds nothing alive. LastLinkObject names the object
// followed at the last evaluation (the object's parent before the first
// key) for the member description; it is never saved. It is looked up when
// asked for (the key's target, or the bound object's parent), so it is
// never a pointer kept past the life of what it names.
//
// Record, after the CRTSControl part: the pair 2.07; Adjust (u32 count +
// 60-byte transforms); LinkObject (u32 count + 8-byte ids); LinkTime (u32
// count + i32); Inherited (u32 count + u32); ShareRatio (3 f32):
// 36 + 76n bytes. Older forms:
//   below 2.07   no ShareRatio (1, 1, 1);
//   below 2.06   Adjust as 4x4 matrices (decomposed), LinkTime as f32
//                (truncated toward zero); Inherited: 2.03 to 2.05 one byte
//                per key (non-zero: 0x1C0, else 0), 2.00 to 2.02 not stored
//                (0x1C0 per Adjust entry), below 2.00 not stored (0);
//                2.01 to 2.05 end with two lists nothing reads (u32 count
//                + u32 values, u32 count + 64-byte matrices);
//   below 2.04   4-byte ids.
// The four key lists of a record must be of one length, else the load
// fails with kErrNotFound (0x80000005). A CRTSControl part below 2.02 sets
// SlaveMode to SM_CURRENT_WORLD.
#pragma once

#include <vector>

#include "controllers/core/control_level.h"
#include "controllers/core/rts_control.h"
#include "controllers/core/target_ref.h"
#include "objectmodel/vector.h"
#include "scene/rts_transform.h"
#include "scene/spatial.h"

namespace KT {

class CLinkControl : public CControlLevel<CLinkControl, CRTSControl, ClassIndex::CLinkControl> {
 public:
  // One link key, as the four lists hold it.
  struct CLinkKey {
    i32 LinkTime = 0;
    CSpatial* LinkObject = nullptr;
    CRtsTransform Adjust = kIdentityTransform;
    u32 Inherited = 0;
  };

  // The four parallel key lists as a record field (the current form).
  class CLinkKeys {
   public:
    const std::vector<i32>& Times() const { return times_; }
    u32 Size() const { return static_cast<u32>(times_.size()); }
    // The lists describe keys only together.
    bool IsConsistent() const {
      return objects_.size() == times_.size() && adjust_.size() == times_.size() &&
             inherited_.size() == times_.size();
    }
    CLinkKey Get(u32 index) const;
    // Replaces every key; kErrOutOfMemory leaves the lists as they were.
    Result Assign(const std::vector<CLinkKey>& keys);

    Result Write(CStream& stream) const;
    // The current form; lists of different lengths: kErrNotFound.
    Result Read(CStream& stream);
    // Older forms of stored version `storedVersion` (see the file
    // comment), up to and including the dropped lists.
    Result ReadOlder(CStream& stream, u32 storedVersion);
    u32 GetSaveSize() const;
    // One array element per key: "LinkTime", "Adjust.D", "Adjust.S",
    // "Adjust.U", "Adjust.R", "Adjust.T", "LinkObject", "Inherited".
    void DescribeMembers(CMemberVisitor& visitor, const char16_t* name) const;
    u32 GetMemorySize() const;
    void Link(CStream& stream);
    void Remap(const CloneMap& cloneMap);
    void ResolveByName(CBase* root);
    void DropUnlessHeld(CStream& stream, const CBase* holder);

    CSpatial* ObjectAt(u32 index) const { return objects_[index].Get(); }
    const CRtsTransform& AdjustAt(u32 index) const { return adjust_[index]; }
    u32 InheritedAt(u32 index) const { return inherited_[index]; }

   private:
    // Empties every list and answers kErrNotFound unless they are of one
    // length.
    Result CheckConsistent();

    std::vector<i32> times_;
    std::vector<CTargetRef<CSpatial>> objects_;
    std::vector<CRtsTransform> adjust_;
    std::vector<u32> inherited_;
  };

  // The inherit mask with a path of its own: translation and rotation
  // inherited, scale not.
  static constexpr u32 kScaleNotInherited = kInheritScaleBits;

  // Version gates of the record.
  static constexpr u32 kVersionInheritAll = 200;        // no masks stored; 0x1C0 for every key
  static constexpr u32 kVersionDroppedLists = 201;      // two lists after the keys (to 2.05)
  static constexpr u32 kVersionInheritFlags = 203;      // one inherit flag byte per key
  static constexpr u32 kVersionWideIds = 204;           // 8-byte ids
  static constexpr u32 kVersionCurrentKeys = 206;       // the current key lists
  static constexpr u32 kVersionShareRatio = 207;        // ShareRatio stored
  static constexpr TimePolicy kTimePolicy = TimePolicy::kScaled;

  // SlaveMode SM_CURRENT_WORLD; no keys; ShareRatio (1, 1, 1); LastIndex
  // -1; no LastLinkObject.
  CLinkControl();
  // The keys and ShareRatio; LastIndex -1 and no LastLinkObject.
  CLinkControl(const CLinkControl& other);

  const CLinkKeys& GetKeys() const { return keys_; }
  CLinkKey GetKey(u32 index) const { return keys_.Get(index); }
  // Replaces the keys (expected in ascending LinkTime).
  Result SetKeys(const std::vector<CLinkKey>& keys);
  const CVector3<float>& GetShareRatio() const { return shareRatio_; }
  void SetShareRatio(const CVector3<float>& ratio) {
    shareRatio_ = ratio;
    SetModified();
  }
  i32 GetLastIndex() const { return lastIndex_; }
  // The object followed at the last evaluation: the target of key
  // LastIndex, or the bound object's parent when that evaluation came
  // before the first key; null before any evaluation.
  CSpatial* GetLastLinkObject() const;

  // Not active: kDone. Unbound: kErrInvalidArg (0x80000003); bound to an
  // object that is not a spatial: kErrNotFound; nothing written then.
  // Before the first key (or without keys): LastIndex -1, LastLinkObject
  // the object's parent, InitFromSlaveMode, kDone. Otherwise the object's
  // Local under the key's Adjust and target gives the world quantities,
  // and Local is placed there in the parent's space (LocalPlacedAt): kOk.
  Result UpdateTransform(i32 time) override;
  // The targets of the key in force at `time` and of the next key raise
  // `depth` above their own update depth (their answers are ignored): kOk.
  Result GetUpdateDepth(i32 time, i32& depth) override;
  // The last LinkTime (control-local); 0 without keys.
  i32 GetEndTime() const override;
  bool NeedsSubSteps() const override { return true; }
  bool IsSimulated() const override { return true; }
  // False without keys; else whether the local time has reached the first
  // key.
  bool IsStartedAt(i32 time) const override;
  // Every key after the local start and before the end of the window
  // appends trunc(key time / Frequency), Priority and 200. Answers the key
  // index it stopped at (kOk when nothing is in force at the start).
  Result CollectTimeSpans(i32 start, i32 duration, std::vector<i32>& times, std::vector<f32>& priorities,
                          std::vector<f32>& spans) override;
  // The key in force at the local time claims with its start
  // (PickByKeyStart): 2 when it wins, else 0; 0 before the first key.
  Result PickByPriority(i32 time, i32& bestTime, i32& pickedTime, f32& bestPriority) override;
  // The base's link, which resolves LinkObject in key order; once the tree
  // is linked, a target that the delivered roots do not keep alive is
  // emptied.
  Result Link(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  // True with at least one key (a key without target included), else the
  // base's answer.
  bool HasSubObjects() const override;
  // "CLinkControl Member": "LastIndex", "LastLinkObject", "ShareRatio",
  // then the keys; then the CRTSControl members.
  void DescribeMembers(CMemberVisitor& visitor) override;
  u32 GetMemorySize() const override;

  template <typename W, typename Self>
  static void Fields(W& w, Self& self) {
    w.Track(u"Keys", self.keys_);
    if (StoredSince(w, kVersionShareRatio)) w.Block(u"ShareRatio", self.shareRatio_);
  }
  Result LoadOwn(CStream& stream, CStreamLoadRecord& record, u32 storedVersion);
  // The keys, LastIndex and ShareRatio (not LastLinkObject).
  Result CopyOwnTo(CLinkControl& target) const;

 private:
  // The key in force at local time `t` from `hint`: its index, or -1.
  i32 FindKey(i32 t, i32 hint) const;

  CLinkKeys keys_;
  CVector3<float> shareRatio_{1.0f, 1.0f, 1.0f};
  i32 lastIndex_ = -1;
  // What the last evaluation of this control followed (LastLinkObject);
  // copies and CopyTo leave it to the copy's own evaluations.
  enum class Followed : u32 { kNothing, kParent, kKey };
  Followed followed_ = Followed::kNothing;
};

}  // namespace KT
