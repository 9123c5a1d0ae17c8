// The two morph controllers: data controllers that add weighted offsets to
// an animated copy.
//   KT::CEdgeMorphControl      moves the curve points (CurveDeltas, one
//                              control and anchor offset per segment) and
//                              the start point (StartOffset) of an edge;
//   KT::CGradientMorphControl  moves the stop positions and colours
//                              (RecordDeltas, one Ratio and colour offset
//                              per record) of a gradient fill style.
// Each holds the offsets at full weight and a keyed weight track (Time,
// Weight, TransitionTime, TransitionType). The target's Update restores its
// animated copy first; then each morph adds offset x weight to it and sets
// the target's AnimReset (and an edge's BoundDirty), so several morphs on
// one target add up and every frame starts from the stored values. A morph
// applies to the smallest of DeltaCount, the offsets held and the target's
// animated records; nothing is read or written beyond them.
//
// Record, after the KT::CDataControl part: version pair 1.01; u32 n =
// DeltaCount and n offsets (edge: control x, y, anchor x, y; gradient:
// Ratio, red, green, blue, alpha; all f32); for the edge StartOffset x, y;
// then Time (i32; f32 below 1.01, truncated toward zero), Weight,
// TransitionTime (f32) and TransitionType (u32), each a u32 count and its
// entries. Track vectors of different lengths fail the load with
// kErrNotFound (0x80000005).
#pragma once

#include <new>

#include "controllers/core/control_level.h"
#include "controllers/core/data_control.h"
#include "objectmodel/buffer.h"
#include "objectmodel/vector.h"
#include "shapes/edge.h"
#include "shapes/gradient_fill_style.h"
#include "shapes/key_columns.h"

namespace KT {

// The offsets of a morph: DeltaCount and the buffer that holds them, and,
// for the edge, the start offset. On disk the count, the offsets (only
// when the buffer holds an array) and the start offset.
template <typename Delta, bool kWithStart>
class CMorphOffsets {
 public:
  u32 GetCount() const { return count_; }
  const CBuffer<Delta>& GetDeltas() const { return deltas_; }
  CBuffer<Delta>& EditDeltas() { return deltas_; }
  // `count` offsets copied from `deltas` (0: none). kErrOutOfMemory leaves
  // none.
  Result Set(const Delta* deltas, u32 count) {
    if (count == 0 || deltas == nullptr) {
      deltas_.Free();
      count_ = 0;
      return kOk;
    }
    const Result r = deltas_.Create(count, deltas);
    count_ = Failed(r) ? 0 : count;
    return r;
  }
  // Deep copy of the whole buffer; a failure is answered and keeps the
  // target's offsets.
  Result CopyFrom(const CMorphOffsets& other) {
    const Result r = deltas_.CopyFrom(other.deltas_);
    if (Failed(r)) return r;
    count_ = other.count_;
    start_ = other.start_;
    return kOk;
  }

  Result Write(CStream& stream) const {
    Result r = WriteU32(stream, count_);
    if (Succeeded(r) && count_ > 0) r = stream.Write(deltas_.GetData(), count_ * static_cast<u32>(sizeof(Delta)));
    if (Succeeded(r) && kWithStart) r = WriteFloatBlock(stream, start_);
    return r;
  }
  // A count beyond the bytes left: kErrStream before anything is
  // allocated. A count of 0 leaves the buffer as it was.
  Result Read(CStream& stream) {
    u32 n = 0;
    Result r = ReadU32(stream, n);
    if (Failed(r)) return r;
    count_ = 0;
    if (n > 0) {
      r = stream.CheckAvailable(n, sizeof(Delta));
      if (Succeeded(r)) r = deltas_.Create(n);
      if (Failed(r)) return r;
      count_ = n;
      const u32 bytes = n * static_cast<u32>(sizeof(Delta));
      r = stream.Read(deltas_.GetData(), bytes, bytes);
    }
    if (Succeeded(r) && kWithStart) r = ReadFloatBlock(stream, start_);
    return r;
  }
  u32 GetSaveSize() const { return 4 + count_ * static_cast<u32>(sizeof(Delta)) + (kWithStart ? 8 : 0); }
  // The offsets are not described.
  void DescribeMembers(CMemberVisitor&, const char16_t*) const {}
  void Link(CStream&) {}
  void Remap(const CloneMap&) {}
  void ResolveByName(CBase*) {}

  CVector2 start_;

 private:
  u32 count_ = 0;
  CBuffer<Delta> deltas_;
};

// What both morphs share; Derived adds its offsets to a Target.
template <typename Derived, ClassIndex Index, typename Target, typename Delta, bool kWithStart>
class CMorphControlBase : public CControlLevel<Derived, CDataControl, Index> {
 public:
  using Track = CKeyColumns<f32>;
  using Offsets = CMorphOffsets<Delta, kWithStart>;
  static constexpr TimePolicy kTimePolicy = TimePolicy::kMapped;

  CMorphControlBase() = default;
  // The controller base, the offsets (a deep copy), the track and
  // LastIndex; CurrentWeight starts at 0.
  CMorphControlBase(const CMorphControlBase& other)
      : CControlLevel<Derived, CDataControl, Index>(other), offsets_(other.offsets_), track_(other.track_) {
    offsets_.CopyFrom(other.offsets_);
  }

  u32 GetDeltaCount() const { return offsets_.GetCount(); }
  const CBuffer<Delta>& GetDeltas() const { return offsets_.GetDeltas(); }
  // `count` offsets (0: none); marks modified.
  Result SetDeltas(const Delta* deltas, u32 count) {
    this->SetModified();
    return offsets_.Set(deltas, count);
  }
  const Track& GetTrack() const { return track_; }
  // Puts a weight key (see CKeyColumns::SetKey); marks modified.
  Result SetWeightKey(i32 time, f32 weight, f32 transitionTime, u32 transitionType) {
    this->SetModified();
    return track_.SetKey(time, weight, transitionTime, transitionType);
  }
  f32 GetCurrentWeight() const { return currentWeight_; }
  u32 GetLastIndex() const { return track_.GetLastIndex(); }

  // Not active: kDone. Unbound: kErrInvalidArg. Otherwise CurrentWeight at
  // the local time: 0 without keys, else Weight[p] + (Weight[n] -
  // Weight[p]) x e; kOk.
  Result Update(i32 time) override {
    if (!this->IsActive()) return kDone;
    if (this->GetObject() == nullptr) return kErrInvalidArg;
    const i32 t = this->LocalTime(time);
    u32 prev = 0;
    u32 next = 0;
    f32 eased = 0.0f;
    if (!track_.Bracket(t, prev, next, eased)) {
      currentWeight_ = 0.0f;
      return kOk;
    }
    const auto& weights = track_.template Column<0>();
    currentWeight_ = BlendValue(weights[prev], weights[next], eased);
    return kOk;
  }
  // Not active or no keys: kDone. Unbound: kErrInvalidArg; bound to an
  // object that is not a Target: kErrNotFound (nothing written).
  // Otherwise Derived adds the weighted offsets to the target's animated
  // copy and sets its AnimReset; kOk.
  Result Apply() override {
    if (!this->IsActive() || track_.Empty()) return kDone;
    Target* target = nullptr;
    const Result r = BoundObjectOf(*this, target);
    if (Failed(r)) return r;
    static_cast<Derived&>(*this).AddTo(*target);
    return kOk;
  }
  // The last key's time; 0 without keys.
  i32 GetEndTime() const override { return track_.GetEndTime(EndTimeRule::kLastKey); }

  // "<class name> Member": "LastIndex", ("StartOffset" for the edge), one
  // element per key with "Time", "Weight", "TransitionTime" and the
  // transition type under the key's index; then the controller base's.
  void DescribeMembers(CMemberVisitor& visitor) override {
    static const WString group = MemberGroupName(Derived::StaticClassRecord());
    visitor.BeginGroup(group.c_str());
    visitor.OpenGroup();
    visitor.UInt(u"LastIndex", &track_.LastIndexField());
    if (kWithStart) visitor.Point2(u"StartOffset", &offsets_.start_);
    visitor.RecordArray(u"Keys", track_.IsConsistent() ? track_.Size() : 0, [this](u32 i, CMemberVisitor& v) {
      i32 time = track_.Times()[i];
      f32 weight = track_.template Column<0>()[i];
      f32 transitionTime = track_.TransitionTimes()[i];
      i32 type = static_cast<i32>(track_.TransitionTypes()[i]);
      const std::u16string index = IndexName(i);
      v.Time(u"Time", &time);
      v.Float(u"Weight", &weight);
      v.Float(u"TransitionTime", &transitionTime);
      v.Enum(index.c_str(), &type, kTransitionTypeNames, kTransitionTypeCount);
    });
    visitor.EndGroup();
    CDataControl::DescribeMembers(visitor);
  }
  u32 GetMemorySize() const override {
    return CDataControl::GetMemorySize() + Derived::kOwnMemory + track_.GetEntryBytes() +
           static_cast<u32>(sizeof(Delta)) * offsets_.GetDeltas().GetCount();
  }

  template <typename W, typename Self>
  static void Fields(W& w, Self& self) {
    w.Track(u"Offsets", self.offsets_);
    w.Track(u"Keys", self.track_);
  }
  // The track, the offsets (a deep copy of the whole buffer) and the start
  // offset; LastIndex and CurrentWeight stay the target's.
  Result CopyOwnTo(Derived& target) const {
    try {
      target.track_ = track_;
    } catch (const std::bad_alloc&) {
      return kErrOutOfMemory;
    }
    return target.offsets_.CopyFrom(offsets_);
  }
  Result LoadOwn(CStream& stream, CStreamLoadRecord& /*record*/, u32 storedVersion) {
    const Result r = offsets_.Read(stream);
    return Failed(r) ? r : track_.Read(stream, storedVersion);
  }

 protected:
  static std::u16string IndexName(u32 index) {
    std::u16string text;
    do {
      text.insert(text.begin(), static_cast<char16_t>(u'0' + index % 10));
      index /= 10;
    } while (index != 0);
    return text;
  }

  Offsets offsets_;
  Track track_;
  f32 currentWeight_ = 0.0f;
};

class CEdgeMorphControl
    : public CMorphControlBase<CEdgeMorphControl, ClassIndex::CEdgeMorphControl, CEdge, CEdge::EdgeCurve, true> {
 public:
  static constexpr u32 kOwnMemory = 136;

  const CVector2& GetStartOffset() const { return offsets_.start_; }
  void SetStartOffset(const CVector2& offset) {
    offsets_.start_ = offset;
    SetModified();
  }

  // For every offset in reach, AnimCurves[i] += CurveDeltas[i] x weight;
  // AnimStartPoint += StartOffset x weight; BoundDirty and AnimReset set.
  void AddTo(CEdge& edge) const;
};

class CGradientMorphControl
    : public CMorphControlBase<CGradientMorphControl, ClassIndex::CGradientMorphControl, CGradientFillStyle,
                               CGradientFillStyle::_KTGradientRec, false> {
 public:
  static constexpr u32 kOwnMemory = 128;

  // For every offset in reach: the target colour t = the animated record's
  // colour a + the offset's colour, adjusted by KT::AdjustColor; the
  // offset's red, green and blue become t - a (its alpha and Ratio stay).
  // Marks modified. kErrInvalidArg unbound, kErrNotFound bound to another
  // class (nothing changes); kOk.
  virtual Result AdjustColor(f32 hue, f32 saturation, f32 brightness, f32 contrast, bool invert);

  // For every offset in reach, the animated record's Ratio and colour gain
  // the offset x weight; AnimReset set. Records beyond keep their values.
  void AddTo(CGradientFillStyle& gradient);
};

}  // namespace KT
