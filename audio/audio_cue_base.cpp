#include "audio/audio_cue_base.h"

#include <cmath>
#include <limits>

#include "audio/audio_fields.h"
#include "audio/audio_track.h"
#include "objectmodel/class_factory.h"
#include "objectmodel/stream.h"
#include "objectmodel/stream_fields.h"

namespace KT {

namespace {

// The cues from `cue` up to the one resolved as the root: the chain ends
// at a cue without a Parent or whose Parent is `stopAt`. Tracks refuse
// every change that would make a parent chain loop, so the walk ends.
std::vector<const CAudioCueBase*> ChainUpTo(const CAudioCueBase* cue, const CAudioCueBase* stopAt) {
  std::vector<const CAudioCueBase*> chain{cue};
  for (const CAudioCueBase* parent = cue->GetParent(); parent != nullptr && parent != stopAt;
       parent = parent->GetParent()) {
    chain.push_back(parent);
  }
  return chain;
}

}  // namespace

CAudioCueBase::CAudioCueBase() = default;

CAudioCueBase::CAudioCueBase(const CAudioCueBase& other)
    : CDorun(other),
      startTime_(other.startTime_),
      beginTime_(other.beginTime_),
      endTime_(other.endTime_),
      introTime_(other.introTime_),
      fadeTime_(other.fadeTime_),
      speed_(other.speed_),
      volume_(other.volume_),
      pitch_(other.pitch_),
      delay_(other.delay_),
      padding_(other.padding_),
      priority_(other.priority_) {}

CAudioCueBase::~CAudioCueBase() = default;

// --- numeric helpers ----------------------------------------------------------------------------

f32 CAudioCueBase::RoundToF32(f64 x) {
  // From FLT_MAX plus half a unit in the last place on, rounding to
  // nearest gives an infinity; the conversion itself would be undefined.
  constexpr f64 kOverflow = 0x1.ffffffp+127;
  if (std::isnan(x)) return std::numeric_limits<f32>::quiet_NaN();
  if (x >= kOverflow) return std::numeric_limits<f32>::infinity();
  if (x <= -kOverflow) return -std::numeric_limits<f32>::infinity();
  return static_cast<f32>(x);
}

i32 CAudioCueBase::ScaleTime(i32 t, f32 d) {
  const f32 quotient = RoundToF32(static_cast<f64>(static_cast<f32>(t)) / static_cast<f64>(d));
  if (!std::isfinite(quotient) || quotient >= 0x1p63f || quotient < -0x1p63f) return 0;
  const i64 whole = static_cast<i64>(quotient);
  return static_cast<i32>(static_cast<u32>(static_cast<u64>(whole)));
}

// --- envelopes ----------------------------------------------------------------------------------

Result CAudioCueBase::MergeEnvelopeTimes(std::vector<i32>& aTimes, std::vector<f32>& aValues,
                                         const std::vector<i32>& bTimes) {
  if (aTimes.size() != aValues.size()) return kErrInvalidArg;
  if (aTimes.empty()) {
    aTimes = bTimes;
    aValues.assign(bTimes.size(), 1.0f);
    return kOk;
  }
  std::size_t i = 0;
  for (const i32 x : bTimes) {
    while (i < aTimes.size() && aTimes[i] < x) ++i;
    if (i < aTimes.size() && aTimes[i] == x) continue;
    if (i < aTimes.size()) {
      f32 v = aValues[0];
      if (i > 0) {
        const std::size_t k = i - 1;
        // Time differences in 32-bit integers, as the times are stored.
        const f32 span = static_cast<f32>(SubtractTimes(aTimes[i], aTimes[k]));
        const f32 offset = static_cast<f32>(SubtractTimes(x, aTimes[k]));
        const f32 w = RoundToF32(static_cast<f64>(offset) / static_cast<f64>(span));
        const f32 rise = RoundToF32(static_cast<f64>(aValues[i]) - aValues[k]);
        v = RoundToF32(static_cast<f64>(aValues[k]) + static_cast<f64>(w) * rise);
      }
      aTimes.insert(aTimes.begin() + static_cast<std::ptrdiff_t>(i), x);
      aValues.insert(aValues.begin() + static_cast<std::ptrdiff_t>(i), v);
      ++i;
    } else {
      aTimes.push_back(x);
      aValues.push_back(aValues.back());
    }
  }
  return kOk;
}

Result CAudioCueBase::MultiplyEnvelopes(std::vector<i32>& aTimes, std::vector<f32>& aValues,
                                        std::vector<i32> bTimes, std::vector<f32> bValues) {
  if (aTimes.size() != aValues.size() || bTimes.size() != bValues.size()) return kErrInvalidArg;
  MergeEnvelopeTimes(aTimes, aValues, bTimes);
  MergeEnvelopeTimes(bTimes, bValues, aTimes);
  for (std::size_t i = 0; i < aValues.size(); ++i) {
    const f32 product = RoundToF32(static_cast<f64>(bValues[i]) * aValues[i]);
    aValues[i] = product > 1.0f ? 1.0f : product;
  }
  return kOk;
}

Result CAudioCueBase::SetEnvelope(const std::vector<i32>& times, const std::vector<f32>& values) {
  if (times.size() != values.size()) return kErrInvalidArg;
  for (std::size_t i = 1; i < times.size(); ++i) {
    if (!(times[i - 1] < times[i])) return kErrInvalidArg;
  }
  envelopeTimes_ = times;
  envelopeValues_ = values;
  SetModified();
  return kOk;
}

// --- resolution -----------------------------------------------------------------------------------

f32 CAudioCueBase::GetLength() const { return 0.0f; }

f32 CAudioCueBase::GetFlatLength() const { return 0.0f; }

void CAudioCueBase::FlattenUpTo(const CAudioCueBase* stopAt, CFlatTiming& r) const {
  const std::vector<const CAudioCueBase*> chain = ChainUpTo(this, stopAt);
  // The topmost cue resolves by itself: its start stands, the other times
  // are divided by its own rate.
  const CAudioCueBase& root = *chain.back();
  const f32 d = RoundToF32(static_cast<f64>(root.pitch_) * root.speed_);
  r.Start = root.startTime_;
  r.Delay = ScaleTime(root.delay_, d);
  r.Padding = ScaleTime(root.padding_, d);
  r.Begin = ScaleTime(root.beginTime_, d);
  r.End = ScaleTime(root.endTime_, d);
  r.Intro = ScaleTime(root.introTime_, d);
  r.Fade = ScaleTime(root.fadeTime_, d);
  r.Pitch = root.pitch_;
  r.Speed = root.speed_;
  r.Volume = root.volume_;
  r.Priority = root.priority_;
  r.LoopCount = root.LoopFactor();
  // Each cue below it: the start is placed after the parent's resolved
  // start and delay, divided by the rate of the chain above the cue only;
  // the other times add the parent's resolved values and divide by the
  // rate of the whole chain.
  for (auto it = chain.rbegin() + 1; it != chain.rend(); ++it) {
    const CAudioCueBase& c = **it;
    const f32 p = RoundToF32(static_cast<f64>(r.Pitch) * r.Speed);
    const f32 t = RoundToF32(static_cast<f64>(c.pitch_) * c.speed_ * p);
    r.Start = AddTimes(AddTimes(r.Start, r.Delay), ScaleTime(c.startTime_, p));
    r.Delay = ScaleTime(AddTimes(c.delay_, r.Delay), t);
    r.Padding = ScaleTime(AddTimes(c.padding_, r.Padding), t);
    r.Begin = ScaleTime(AddTimes(c.beginTime_, r.Begin), t);
    r.End = ScaleTime(AddTimes(c.endTime_, r.End), t);
    r.Intro = ScaleTime(AddTimes(c.introTime_, r.Intro), t);
    r.Fade = ScaleTime(AddTimes(c.fadeTime_, r.Fade), t);
    r.Priority = RoundToF32(static_cast<f64>(c.priority_) + r.Priority);
    r.Speed = RoundToF32(static_cast<f64>(r.Speed) * c.speed_);
    r.Pitch = RoundToF32(static_cast<f64>(r.Pitch) * c.pitch_);
    r.Volume = RoundToF32(static_cast<f64>(c.volume_) * r.Volume);
    r.LoopCount *= c.LoopFactor();
  }
}

void CAudioCueBase::Flatten(CFlatTiming& out) const { FlattenUpTo(nullptr, out); }

Result CAudioCueBase::CollectEnvelope(std::vector<i32>& times, std::vector<f32>& values) const {
  if (times.size() != values.size()) return kErrInvalidArg;
  const std::vector<const CAudioCueBase*> chain = ChainUpTo(this, nullptr);
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
    const CAudioCueBase& c = **it;
    if (c.envelopeTimes_.empty()) continue;
    CFlatTiming r;
    c.Flatten(r);
    const f32 q = RoundToF32(static_cast<f64>(r.Pitch) * r.Speed);
    std::vector<i32> placed(c.envelopeTimes_.size());
    for (std::size_t i = 0; i < placed.size(); ++i) {
      placed[i] = AddTimes(AddTimes(ScaleTime(c.envelopeTimes_[i], q), r.Delay), r.Start);
    }
    if (times.empty()) {
      times = std::move(placed);
      values = c.envelopeValues_;
    } else {
      MultiplyEnvelopes(times, values, std::move(placed), c.envelopeValues_);
    }
  }
  return kOk;
}

// --- CBase protocol ----------------------------------------------------------------------------------

Result CAudioCueBase::CreateInstance(CPointer<CBase>& out) const { return CreateCopy(*this, out); }

Result CAudioCueBase::CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const {
  CAudioCueBase* other = DynamicCast<CAudioCueBase>(target);
  if (other == nullptr) return kErrNotFound;
  const Result r = CDorun::CopyTo(target, displaced, flags);
  if (Failed(r)) return r;
  other->startTime_ = startTime_;
  other->beginTime_ = beginTime_;
  other->endTime_ = endTime_;
  other->fadeTime_ = fadeTime_;
  other->introTime_ = introTime_;
  other->volume_ = volume_;
  other->pitch_ = pitch_;
  other->speed_ = speed_;
  other->delay_ = delay_;
  other->padding_ = padding_;
  other->priority_ = priority_;
  other->envelopeTimes_ = envelopeTimes_;
  other->envelopeValues_ = envelopeValues_;
  return kOk;
}

Result CAudioCueBase::Load(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  Result r = CDorun::Load(stream, record, flags);
  if (Succeeded(r)) r = stream.ReadVersionBlock(StaticClassRecord());
  if (Failed(r)) return r;
  const i32 v = stream.GetStoredVersion(StaticClassRecord());
  if (v >= static_cast<i32>(kVersionIntegerTimes)) {
    // FadeTime precedes IntroTime on disk.
    for (i32* time : {&startTime_, &beginTime_, &endTime_, &fadeTime_, &introTime_}) {
      if (Succeeded(r)) r = ReadU32(stream, *time);
    }
    for (f32* factor : {&volume_, &pitch_, &speed_}) {
      if (Succeeded(r)) r = ReadU32(stream, *factor);
    }
    if (Succeeded(r)) r = ReadU32(stream, delay_);
    if (Succeeded(r)) r = ReadU32(stream, padding_);
    if (Succeeded(r)) r = ReadU32(stream, priority_);
    return r;
  }
  for (i32* time : {&startTime_, &beginTime_, &endTime_, &fadeTime_, &introTime_}) {
    if (Succeeded(r)) r = ReadFloatTime(stream, *time);
  }
  for (f32* factor : {&volume_, &pitch_, &speed_}) {
    if (Succeeded(r)) r = ReadU32(stream, *factor);
  }
  if (Failed(r)) return r;
  if (v >= static_cast<i32>(kVersionDelayPadding)) {
    r = ReadFloatTime(stream, delay_);
    if (Succeeded(r)) r = ReadFloatTime(stream, padding_);
  } else {
    delay_ = 0;
    padding_ = 0;
  }
  if (Succeeded(r) && v >= static_cast<i32>(kVersionPriority)) r = ReadU32(stream, priority_);
  return r;
}

Result CAudioCueBase::Save(CStream& stream, u32 flags) {
  Result r = CDorun::Save(stream, flags);
  if (Succeeded(r)) r = WriteVersion(stream, StaticClassRecord());
  for (const i32 time : {startTime_, beginTime_, endTime_, fadeTime_, introTime_}) {
    if (Succeeded(r)) r = WriteI32(stream, time);
  }
  for (const f32 factor : {volume_, pitch_, speed_}) {
    if (Succeeded(r)) r = WriteFloat(stream, factor);
  }
  if (Succeeded(r)) r = WriteI32(stream, delay_);
  if (Succeeded(r)) r = WriteI32(stream, padding_);
  if (Succeeded(r)) r = WriteFloat(stream, priority_);
  return r;
}

void CAudioCueBase::DescribeMembers(CMemberVisitor& visitor) {
  visitor.BeginGroup(u"CAudioCueBase Member");
  visitor.OpenGroup();
  visitor.Int(u"StartTime", &startTime_);
  visitor.Int(u"BeginTime", &beginTime_);
  visitor.Int(u"EndTime", &endTime_);
  visitor.Int(u"IntroTime", &introTime_);
  visitor.Int(u"FadeTime", &fadeTime_);
  visitor.Float(u"Speed", &speed_);
  visitor.Float(u"Volume", &volume_);
  visitor.Float(u"Pitch", &pitch_);
  visitor.Int(u"Delay", &delay_);
  visitor.Int(u"Padding", &padding_);
  visitor.Float(u"Priority", &priority_);
  visitor.Bool(u"DirtyTime", &dirtyTime_);
  visitor.EndGroup();
  CDorun::DescribeMembers(visitor);
}

u32 CAudioCueBase::GetMemorySize() const { return CDorun::GetMemorySize() + 104; }

// Version pair and eleven 4-byte fields.
u32 CAudioCueBase::GetSaveSize() const { return CDorun::GetSaveSize() + 52; }

}  // namespace KT
