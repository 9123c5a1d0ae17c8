#include "controllers/core/clip_key.h"

#include "objectmodel/stream_fields.h"
#include "objectmodel/time_helpers.h"

namespace KT {

void InitLegacyClipRecord(LegacyClipRecord& record) { record = LegacyClipRecord(); }

void CClipKey::DescribeMembers(CMemberVisitor& visitor) {
  visitor.OpenGroup();
  CTimeKey::DescribeMembers(visitor);
  DescribeKeyLevel(visitor, *this);
  DescribeKeyLevel(visitor, static_cast<const CTransitionKey&>(*this));
  visitor.EndGroup();
}

void CClipKey::FromLegacy(const LegacyClipRecord& record, i32 time) {
  Time = time;
  Frequency = record.Frequency;
  ClipID = record.ClipID;
  LoopCount = record.LoopCount;
  BeginTime = record.BeginTime;
  EndTime = record.EndTime;
  Padding = record.Padding;
  TransitionRange = record.TransitionRange;
  Priority = record.Priority;
  Persist = record.Persist;
  TransitionType = record.TransitionType;
  TransitionStrength = record.TransitionStrength;
  Reverse = record.Reverse;
  TimeWarpType = record.TimeWarpType;
  TimeWarpStrength = record.TimeWarpStrength;
}

void CClipKey::FromRecord24(const ClipRecord24& record) {
  ClipRecord20 common{record.Time, record.ClipID, record.LoopCount, record.BeginTime, record.EndTime};
  FromRecord20(common);
  TransitionRange = record.TransitionRange;
}

void CClipKey::FromRecord20(const ClipRecord20& record) {
  *this = CClipKey();
  Time = ClampKeyTime(FloatToIntTrunc(record.Time));
  ClipID = record.ClipID;
  // These files played every clip at least once; 0 did not mean endless yet.
  LoopCount = record.LoopCount == 0 ? 1 : record.LoopCount;
  BeginTime = ClampKeyTime(FloatToIntTrunc(record.BeginTime));
  EndTime = ClampKeyTime(FloatToIntTrunc(record.EndTime));
}

namespace {

// An f32 time truncated toward zero, or an i32 time, by the record's form.
Result ReadLegacyTime(CStream& stream, bool asFloat, i32& value) {
  if (!asFloat) return ReadU32(stream, value);
  f32 f = 0.0f;
  const Result r = ReadU32(stream, f);
  if (Succeeded(r)) value = ClampKeyTime(FloatToIntTrunc(f));
  return r;
}

// Field-form versions at which the layout changed.
constexpr u32 kLegacyIntegerTimes = 201;  // times as i32 from here on
constexpr u32 kLegacyTimeWarp = 202;      // strength and time warp stored from here on

Result ReadBlockForm(CStream& stream, LegacyClipRecord& record) {
  struct Block {
    f32 frequency;
    i32 clipId;
    u32 loopCount;
    f32 beginTime;
    f32 endTime;
    f32 transitionRange;
    f32 priority;
    u8 unused[4];
    u8 persist;
    u8 padding[3];
  };
  static_assert(sizeof(Block) == 36);
  Block block{};
  const Result r = stream.Read(&block, sizeof(block), sizeof(block));
  if (Failed(r)) return r;
  record.Frequency = block.frequency;
  record.ClipID = block.clipId;
  record.LoopCount = block.loopCount;
  record.BeginTime = ClampKeyTime(FloatToIntTrunc(block.beginTime));
  record.EndTime = ClampKeyTime(FloatToIntTrunc(block.endTime));
  record.TransitionRange = block.transitionRange;
  record.Priority = block.priority;
  record.Persist = block.persist > 0;
  return kOk;
}

Result ReadFieldForm(CStream& stream, LegacyClipRecord& record) {
  u32 pair[2] = {0, 0};
  Result r = stream.Read(pair, sizeof(pair), sizeof(pair));
  if (Failed(r)) return r;
  // In 64 bits, so that no stored pair wraps into a small version.
  const u64 version = static_cast<u64>(pair[0]) * 100 + pair[1];
  const bool floatTimes = version < kLegacyIntegerTimes;
  r = ReadU32(stream, record.Frequency);
  if (Succeeded(r)) r = ReadU32(stream, record.ClipID);
  if (Succeeded(r)) r = ReadU32(stream, record.LoopCount);
  if (Succeeded(r)) r = ReadLegacyTime(stream, floatTimes, record.BeginTime);
  if (Succeeded(r)) r = ReadLegacyTime(stream, floatTimes, record.EndTime);
  if (Succeeded(r)) r = ReadU32(stream, record.TransitionRange);
  if (Succeeded(r)) r = ReadU32(stream, record.Priority);
  if (Succeeded(r)) r = ReadLegacyTime(stream, floatTimes, record.Padding);
  if (Succeeded(r)) r = ReadBool(stream, record.Persist);
  if (Succeeded(r)) r = ReadU32(stream, record.TransitionType);
  if (Succeeded(r)) r = ReadBool(stream, record.Reverse);
  if (Succeeded(r) && version >= kLegacyTimeWarp) {
    r = ReadU32(stream, record.TransitionStrength);
    if (Succeeded(r)) r = ReadU32(stream, record.TimeWarpType);
    if (Succeeded(r)) r = ReadU32(stream, record.TimeWarpStrength);
  }
  return r;
}

}  // namespace

Result ReadLegacyClipRecord(CStream& stream, bool blockForm, LegacyClipRecord& record) {
  return blockForm ? ReadBlockForm(stream, record) : ReadFieldForm(stream, record);
}

}  // namespace KT
