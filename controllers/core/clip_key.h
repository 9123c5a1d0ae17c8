// KT::CClipKey: one clip on the time line of a clip controller.
//
// A clip names a child controller of its clip controller by index (ClipID)
// and says when it starts (Time), how much of the child's animation is
// played and how often (BeginTime, EndTime, Padding, LoopCount, Reverse,
// Frequency), how the child's time is bent inside a cycle (TimeWarpType,
// TimeWarpStrength), how it blends in from the clip before it
// (TransitionRange with the inherited TransitionType and
// TransitionStrength) and how strongly it competes with other controllers
// (Priority, Persist). The arithmetic that turns a clip into a child time
// lives with the clip list (controllers/core/layer.h).
//
// Record (82 bytes): the CTransitionKey part (28 bytes), version pair 1.01,
// then TransitionRange (f32), ClipID (i32), LoopCount (u32), BeginTime,
// EndTime, Padding (i32), Frequency (f32), Persist (1 byte), Priority (f32),
// Reverse (1 byte), TimeWarpType (u32), TimeWarpStrength (f32) and, from
// 1.01 on, Channel (i32).
//
// Older clip controllers stored their clips in other forms; the
// conversions from them are here too (LegacyClipRecord and the 24- and
// 20-byte records).
#pragma once

#include "controllers/core/time_key.h"

namespace KT {

// The clip fields as older clip-controller records deliver them. The
// defaults are what InitLegacyClipRecord sets before each read.
struct LegacyClipRecord {
  f32 Frequency = 1.0f;
  i32 ClipID = -1;
  u32 LoopCount = 1;
  i32 BeginTime = 0;
  i32 EndTime = 0;
  i32 Padding = 0;
  f32 TransitionRange = 200.0f;
  f32 Priority = 0.0f;
  bool Persist = false;
  u32 TransitionType = TT_LINEAR;
  f32 TransitionStrength = kDefaultTransitionStrength;
  bool Reverse = false;
  u32 TimeWarpType = TT_LINEAR;
  f32 TimeWarpStrength = 50.0f;
};

// Resets every field to its default.
void InitLegacyClipRecord(LegacyClipRecord& record);

// The clip record of the oldest transform clip files (24 bytes, stored in
// one block). The format leaves the byte order of its fields unstated; it
// is taken to follow the order of the clip key's own fields, the order in
// which the conversion lists them: f32 time, f32 TransitionRange, i32
// ClipID, u32 LoopCount, f32 BeginTime, f32 EndTime.
struct ClipRecord24 {
  f32 Time;
  f32 TransitionRange;
  i32 ClipID;
  u32 LoopCount;
  f32 BeginTime;
  f32 EndTime;
};
static_assert(sizeof(ClipRecord24) == 24);

// The clip record of the oldest UVW clip files (20 bytes): f32 time, u32
// ClipID, u32 LoopCount, f32 BeginTime, f32 EndTime.
struct ClipRecord20 {
  f32 Time;
  i32 ClipID;
  u32 LoopCount;
  f32 BeginTime;
  f32 EndTime;
};
static_assert(sizeof(ClipRecord20) == 20);

class CClipKey : public CKeyLevel<CClipKey, CTransitionKey, ClassIndex::CClipKey> {
 public:
  // The version from which Channel is stored.
  static constexpr u32 kVersionChannel = 101;
  // Bytes a clip key takes in a clip controller's memory accounting.
  static constexpr u32 kMemorySize = 68;

  CClipKey() = default;
  // A clip of child `clipId` starting at `time`; every other field default.
  CClipKey(i32 time, i32 clipId) : CKeyLevel(time, TT_LINEAR), ClipID(clipId) {}

  // The record's own fields in stored order; Channel only from 1.01 on.
  template <typename Walker, typename Key>
  static void Fields(Walker& walker, Key& key) {
    walker.Float(u"TransitionRange", key.TransitionRange);
    walker.Int(u"ClipID", key.ClipID);
    walker.UInt(u"LoopCount", key.LoopCount);
    walker.Time(u"BeginTime", key.BeginTime);
    walker.Time(u"EndTime", key.EndTime);
    walker.Time(u"Padding", key.Padding);
    walker.Float(u"Frequency", key.Frequency);
    walker.Bool(u"Persist", key.Persist);
    walker.Float(u"Priority", key.Priority);
    walker.Bool(u"Reverse", key.Reverse);
    walker.Enum(u"TimeWarpType", key.TimeWarpType, kTransitionTypeNames, kTransitionTypeCount);
    walker.Float(u"TimeWarpStrength", key.TimeWarpStrength);
    if (walker.Version() >= kVersionChannel) walker.Int(u"Channel", key.Channel);
  }

  // Opens the member list of the entry its caller has just begun, reports
  // "Time", this key's fields in stored order, then "TransitionType" and
  // "TransitionStrength", and ends the group.
  void DescribeMembers(CMemberVisitor& visitor) override;

  // --- conversions from older records ----------------------------------------------
  // Time = `time`; every field of `record` into the field of the same name.
  void FromLegacy(const LegacyClipRecord& record, i32 time);
  // Time, BeginTime and EndTime truncated from f32; TransitionRange and
  // ClipID copied; LoopCount copied with 0 read as 1 (those files knew no
  // endless clips). Every other field is reset to its default.
  void FromRecord24(const ClipRecord24& record);
  // As FromRecord24, without TransitionRange (which keeps its default).
  void FromRecord20(const ClipRecord20& record);

  f32 Frequency = 1.0f;            // child ms per controller ms
  i32 ClipID = -1;                 // index of the child in the clip controller
  u32 LoopCount = 1;               // cycles played; 0 plays without end
  i32 BeginTime = 0;               // child time held before the first cycle; offset of the start
  i32 EndTime = 0;                 // time cut from the end of the last cycle
  i32 Padding = 0;                 // time added to each cycle after the child's end
  f32 TransitionRange = 200.0f;    // longest blend (ms) from the previous clip
  f32 Priority = 0.0f;             // added to the child's priority
  bool Persist = false;            // keeps its effect after its end
  i32 Channel = -1;                // stored, copied and described only
  bool Reverse = false;            // each cycle plays backward
  u32 TimeWarpType = TT_LINEAR;    // easing of the time inside a cycle
  f32 TimeWarpStrength = 50.0f;    // strength of that easing
};

// Reads one LegacyClipRecord in one of its two forms into `record` (whose
// fields not present in the form keep their values):
//   block form (clip controllers before the field form): 36 bytes, f32
//     Frequency, i32 ClipID, u32 LoopCount, f32 BeginTime, f32 EndTime,
//     f32 TransitionRange, f32 Priority, 4 unused bytes, u8 Persist, 3
//     unused bytes;
//   field form: a version pair w, f32 Frequency, i32 ClipID, u32
//     LoopCount, BeginTime and EndTime (f32 below 2.01, else i32), f32
//     TransitionRange, f32 Priority, Padding (f32 below 2.01, else i32), u8
//     Persist, u32 TransitionType, u8 Reverse and, from 2.02 on, f32
//     TransitionStrength, u32 TimeWarpType, f32 TimeWarpStrength.
// Float times are truncated toward zero. The first failing read ends it
// and is answered.
Result ReadLegacyClipRecord(CStream& stream, bool blockForm, LegacyClipRecord& record);

}  // namespace KT
