#include "controllers/composite/rts_layer_control.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>

#include "controllers/core/keyframe_control.h"
#include "controllers/core/key_search.h"
#include "controllers/core/legacy_key_arrays.h"
#include "objectmodel/class_factory.h"
#include "objectmodel/nested_walk.h"
#include "objectmodel/stream.h"
#include "objectmodel/stream_fields.h"
#include "scene/spatial.h"

namespace KT {

const char16_t* const CRTSLayerControl::kLayerTypeNames[2] = {u"LAYER_TYPE_BACKWARD_CONSTRAINT",
                                                              u"LAYER_TYPE_FORWARD_CONSTRAINT"};
const char16_t* const CRTSLayerControl::kLayerTransitionNames[2] = {u"LAYER_TRANSITION_WEIGHT",
                                                                    u"LAYER_TRANSITION_RTS"};

void layer_keys::CWeightKey::DescribeMembers(CMemberVisitor& visitor) { DescribeTransitionKey(visitor, *this); }

CRTSLayerControl::CRTSLayerControl(const CRTSLayerControl& other)
    : CListControl(other),
      weightKeys_(other.weightKeys_),
      layerType_(other.layerType_),
      layerTransition_(other.layerTransition_) {}

// --- layers and their keys ---------------------------------------------------------------------

Result CRTSLayerControl::SetWeightKeys(u32 layer, const KeyList& keys) {
  if (layer >= weightKeys_.size()) return kErrOutOfRange;
  try {
    KeyList copy(keys);
    weightKeys_[layer].swap(copy);
  } catch (const std::bad_alloc&) {
    return kErrOutOfMemory;
  }
  SetModified();
  return kOk;
}

Result CRTSLayerControl::AddChild(CRTSControl* child) {
  // Room for the new list first, so that nothing can fail once the child
  // is in.
  const std::size_t lists = std::max<std::size_t>(weightKeys_.size(), GetChildCount() + std::size_t{1});
  try {
    weightKeys_.reserve(lists);
  } catch (const std::bad_alloc&) {
    return kErrOutOfMemory;
  }
  const Result r = BindAndAppend(child);
  if (Failed(r)) return r;
  if (weightKeys_.size() < GetChildCount()) weightKeys_.resize(GetChildCount());
  SetModified();
  return kOk;
}

Result CRTSLayerControl::RemoveChild(CRTSControl* child) {
  u32 index = 0;
  const Result r = UnbindAndErase(child, index);
  if (Failed(r)) return r;
  if (index < weightKeys_.size()) weightKeys_.erase(weightKeys_.begin() + index);
  SetModified();
  return kOk;
}

Result CRTSLayerControl::RemoveAllChildren() {
  const Result r = UnbindAll();
  if (Failed(r)) return r;
  weightKeys_.clear();
  SetModified();
  return kOk;
}

// --- evaluation ----------------------------------------------------------------------------------

CRTSLayerControl::LayerSample CRTSLayerControl::SampleLayer(u32 layer, i32 time) {
  LayerSample sample;
  sample.next = time;
  const KeyList* keys = ListOf(layer);
  if (keys == nullptr || keys->empty()) return sample;
  f32 fraction = 0.0f;
  u32 prev = 0;
  u32 next = 0;
  FindKeyInterval(time, *keys, sharedLastIndex_, fraction, prev, next);
  // A time on a key is that key alone, whichever way the shared cache led
  // the search there.
  if ((*keys)[prev].Time == time) next = prev;
  const CWeightKey& p = (*keys)[prev];
  const CWeightKey& n = (*keys)[next];
  sample.from = p.Time;
  sample.next = std::max(time, n.Time);
  sample.nextType = n.TransitionType;
  if (layerTransition_ == LAYER_TRANSITION_RTS) {
    sample.weight = p.Weight;
    sample.constraint = p.Constraint;
    return sample;
  }
  const f32 e = EaseTransition(fraction, n.TransitionType, n.TransitionStrength);
  sample.weight = p.Weight + (n.Weight - p.Weight) * e;
  sample.constraint = p.Constraint + (n.Constraint - p.Constraint) * e;
  return sample;
}

void CRTSLayerControl::EvaluateLayer(u32 layer, i32 time, f32& weight, f32& constraint) {
  const LayerSample sample = SampleLayer(layer, time);
  weight = sample.weight;
  constraint = sample.constraint;
}

void CRTSLayerControl::WeightsAt(i32 time, std::vector<f32>& weights, std::vector<f32>& constraints,
                                 TransitionScan* scan) {
  const u32 count = GetChildCount();
  weights.assign(count, 0.0f);
  constraints.assign(count, 0.0f);
  if (scan != nullptr) *scan = TransitionScan{kMaxKeyTime, 0, 0, std::numeric_limits<f32>::max()};
  bool found = false;
  for (u32 i = 0; i < count; ++i) {
    const LayerSample sample = SampleLayer(i, time);
    weights[i] = sample.weight;
    constraints[i] = sample.constraint;
    if (scan == nullptr) continue;
    scan->latest = std::max(scan->latest, sample.from);
    if (sample.next != time && sample.next < scan->next) {
      scan->next = sample.next;
      scan->nextType = sample.nextType;
      scan->span = static_cast<f32>(static_cast<i64>(sample.next) - sample.from);
      found = true;
    }
  }
  if (scan != nullptr && !found) scan->next = time;
  // The constraint chain: each weight takes the product of the constraints
  // of the layers before it (forward) or after it (backward).
  f32 carried = 1.0f;
  if (layerType_ != LAYER_TYPE_BACKWARD_CONSTRAINT) {
    for (u32 i = 0; i < count; ++i) {
      weights[i] *= carried;
      carried *= constraints[i];
    }
  } else {
    for (u32 i = count; i-- > 0;) {
      weights[i] *= carried;
      carried *= constraints[i];
    }
  }
}

Result CRTSLayerControl::Compose(i32 time, const std::vector<f32>& weights, CRtsTransform& out,
                                 MergedSticky& sticky) {
  out = kIdentityTransform;
  sticky = MergedSticky();
  for (u32 i = 0; i < weights.size(); ++i) {
    const f32 weight = weights[i];
    // Layers of weight 0 are not evaluated; NaN is not 0.
    if (weight == 0.0f) continue;
    CRTSControl* child = GetChild(i);
    if (child == nullptr) continue;  // an empty slot of a loaded list
    const Result r = child->UpdateTransform(time);
    if (Failed(r)) return r;
    const CRtsTransform& local = child->GetLocal();
    // The blend starts from the identity of the child's own handedness,
    // so a mirrored child does not pass through a collapsed scale.
    const CRtsTransform& identity = local.Sign >= 0.0f ? kIdentityTransform : kMirroredIdentityTransform;
    const CRtsTransform q = InterpolateRts(identity, local, weight);
    out.Sign = q.Sign;
    for (int k = 0; k < 3; ++k) out.Scale[k] *= q.Scale[k];
    out.Stretch = out.Stretch * q.Stretch;
    out.Rotate = out.Rotate * q.Rotate;
    out.Translate = out.Translate + q.Translate;
    if (!sticky.enable) {
      sticky = MergedSticky{child->IsStickyEnabled(), child->GetStickyStart(), child->GetStickyEnd()};
    } else if (child->IsStickyEnabled()) {
      sticky.start = std::min(sticky.start, child->GetStickyStart());
      sticky.end = std::max(sticky.end, child->GetStickyEnd());
    }
  }
  return kOk;
}

Result CRTSLayerControl::UpdateTransform(i32 time) {
  const CEvaluationDepthGuard guard;  // nested containers: bounded
  if (guard.Exceeded()) return kErrInvalidArg;
  CSpatial* spatial = nullptr;
  Result r = kOk;
  if (SettledWithoutChildren(spatial, r)) return r;
  const i32 t = ScaleTime(time);
  TransitionScan scan{};
  WeightsAt(t, weights_, constraints_, &scan);

  // How far the blend toward the layers at the next key time has come:
  // over the key interval that ends there, eased by that key's transition.
  f32 f = 1.0f;
  if (scan.next != scan.latest) {
    const f32 g = std::min(scan.span, static_cast<f32>(static_cast<i64>(scan.next) - scan.latest));
    if (g < kShortestTransition) {
      f = 0.0f;
    } else {
      const f32 x = std::min(static_cast<f32>(static_cast<i64>(scan.next) - t), g);
      f = EaseTransition((g - x) / g, scan.nextType, kDefaultTransitionStrength);
    }
  }

  CRtsTransform local;
  MergedSticky sticky;
  r = Compose(t, weights_, local, sticky);
  if (Failed(r)) return r;
  // NaN is not 0 either.
  if (scan.next != t && f != 0.0f) {
    WeightsAt(scan.next, nextWeights_, nextConstraints_, nullptr);
    // Element by element: a NaN weight never equals itself.
    if (nextWeights_ != weights_) {
      CRtsTransform atNext;
      MergedSticky discarded;
      r = Compose(scan.next, nextWeights_, atNext, discarded);
      if (Failed(r)) return r;
      local = InterpolateRts(local, atNext, f);
    }
  }
  SetLocalAndCompose(local, *spatial);
  SetStickyRange(sticky.enable, sticky.start, sticky.end);
  return kOk;
}

// --- root protocol ------------------------------------------------------------------------------

Result CRTSLayerControl::CreateInstance(CPointer<CBase>& out) const {
  try {
    return CreateCopy(*this, out);
  } catch (const std::bad_alloc&) {
    return kErrOutOfMemory;
  }
}

Result CRTSLayerControl::CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const {
  auto* other = DynamicCast<CRTSLayerControl>(target);
  if (other == nullptr) return kErrNotFound;
  const Result r = CopyListTo(*other, displaced, flags);
  if (Failed(r)) return r;
  if (other != this) {
    // The key lists go where the children went: left here they would
    // describe children this control no longer holds. The target's former
    // lists leave with its former children.
    auto& self = const_cast<CRTSLayerControl&>(*this);
    other->weightKeys_.swap(self.weightKeys_);
    self.weightKeys_.clear();
    other->sharedLastIndex_ = sharedLastIndex_;
    other->layerType_ = layerType_;
    other->layerTransition_ = layerTransition_;
  }
  return kOk;
}

Result CRTSLayerControl::Save(CStream& stream, u32 flags) {
  Result r = CRTSControl::Save(stream, flags);
  if (Succeeded(r)) r = WriteVersion(stream, StaticClassRecord());
  if (Succeeded(r)) r = WriteChildList(stream);
  if (Succeeded(r)) r = WriteU32(stream, layerType_);
  if (Succeeded(r)) r = WriteU32(stream, layerTransition_);
  // One list per child, whatever the lists hold, so that the record always
  // reads back: a child without a list gets an empty one.
  const KeyList none;
  for (u32 i = 0; Succeeded(r) && i < GetChildCount(); ++i) {
    const KeyList* keys = ListOf(i);
    r = WriteKeyList(stream, keys != nullptr ? *keys : none);
  }
  return r;
}

u32 CRTSLayerControl::GetSaveSize() const {
  u32 size = CRTSControl::GetSaveSize() + 8 + GetChildListSaveSize() + 8;
  for (u32 i = 0; i < GetChildCount(); ++i) {
    const KeyList* keys = ListOf(i);
    size += keys != nullptr ? GetKeyVectorSaveSize(*keys) : 4;
  }
  return size;
}

Result CRTSLayerControl::Load(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  Result r = CRTSControl::Load(stream, record, flags);
  if (Succeeded(r)) r = stream.ReadVersionBlock(StaticClassRecord());
  if (Failed(r)) return r;
  const i32 stored = stream.GetStoredVersion(StaticClassRecord());
  const u32 version = static_cast<u32>(std::max(stored, 0));
  sharedLastIndex_ = 0;
  r = ReadChildList(stream, record, version >= kVersionWideChildIds);
  if (Failed(r)) return r;
  const u32 layers = GetChildCount();
  try {
    weightKeys_.assign(layers, KeyList());
  } catch (const std::bad_alloc&) {
    weightKeys_.clear();
    return kErrOutOfMemory;
  }
  if (version < kVersionLayerArrays) return LoadSharedTrack(stream, version, layers);
  if (version < kVersionKeyRecords) return LoadLayerArrays(stream, version, layers);
  r = ReadU32(stream, layerType_);
  if (Succeeded(r)) r = ReadU32(stream, layerTransition_);
  for (u32 i = 0; Succeeded(r) && i < layers; ++i) r = ReadKeyList(stream, weightKeys_[i]);
  return r;
}

// Up to 2.03 one track of keys served every layer: k weight arrays (array
// j holds the weight of every layer at key j), the key times, and from
// 2.01 an unused array and the transition types.
Result CRTSLayerControl::LoadSharedTrack(CStream& stream, u32 version, u32 layers) {
  u32 arrayCount = 0;
  Result r = ReadU32(stream, arrayCount);
  // Each array holds at least its count.
  if (Succeeded(r)) r = stream.CheckAvailable(arrayCount, 4);
  if (Failed(r)) return r;
  std::vector<std::vector<f32>> weights;
  std::vector<i32> times;
  std::vector<u32> unused;
  std::vector<u32> types;
  try {
    weights.resize(arrayCount);
  } catch (const std::bad_alloc&) {
    return kErrOutOfMemory;
  }
  for (u32 j = 0; Succeeded(r) && j < arrayCount; ++j) r = ReadLegacyArray(stream, weights[j]);
  if (Succeeded(r)) r = ReadLegacyTimes(stream, times);
  if (Succeeded(r) && version >= kVersionTransitionArrays) {
    r = ReadLegacyArray(stream, unused);
    if (Succeeded(r)) r = ReadLegacyArray(stream, types);
  }
  if (Failed(r)) return r;
  if (version < kVersionTransitionArrays) {
    try {
      types.assign(times.size(), TT_LINEAR);
    } catch (const std::bad_alloc&) {
      return kErrOutOfMemory;
    }
  }
  // Every key needs its weight array, every layer its entry in it, and a
  // type: anything less does not describe whole keys.
  if (weights.size() < times.size() || types.size() < times.size()) return kErrNotFound;
  for (std::size_t j = 0; j < times.size(); ++j) {
    if (weights[j].size() < layers) return kErrNotFound;
  }
  layerType_ = LAYER_TYPE_FORWARD_CONSTRAINT;
  layerTransition_ = LAYER_TRANSITION_RTS;
  for (u32 i = 0; i < layers; ++i) {
    r = BuildKeysFromArrays(times, {}, weightKeys_[i], [&](CWeightKey& key, std::size_t j) {
      key.Weight = weights[j][i];
      key.TransitionType = types[j];
    });
    if (Failed(r)) return r;
  }
  ConvertLegacyConstraints(0);
  return kOk;
}

// From 2.04 to 2.06 each layer stored its own arrays: times, weights, an
// unused array, types and (2.06) constraints; before them a mode word
// (2.04, 2.05) or LayerType (2.06), and LayerTransition from 2.05.
Result CRTSLayerControl::LoadLayerArrays(CStream& stream, u32 version, u32 layers) {
  u32 mode = 0;
  Result r = kOk;
  if (version >= kVersionConstraints) {
    r = ReadU32(stream, layerType_);
  } else {
    r = ReadU32(stream, mode);
  }
  layerTransition_ = LAYER_TRANSITION_WEIGHT;
  if (Succeeded(r) && version >= kVersionLayerTransition) r = ReadU32(stream, layerTransition_);
  std::vector<i32> times;
  std::vector<f32> weights;
  std::vector<u32> unused;
  std::vector<u32> types;
  std::vector<f32> constraints;
  for (u32 i = 0; Succeeded(r) && i < layers; ++i) {
    r = ReadLegacyTimes(stream, times);
    if (Succeeded(r)) r = ReadLegacyArray(stream, weights);
    if (Succeeded(r)) r = ReadLegacyArray(stream, unused);
    if (Succeeded(r)) r = ReadLegacyArray(stream, types);
    if (Succeeded(r) && version >= kVersionConstraints) r = ReadLegacyArray(stream, constraints);
    if (Failed(r)) return r;
    // A layer's arrays describe its keys together: lengths that differ
    // leave keys without a value.
    const std::size_t n = times.size();
    if (weights.size() != n || types.size() != n) return kErrNotFound;
    if (version >= kVersionConstraints && constraints.size() != n) return kErrNotFound;
    const bool stored = version >= kVersionConstraints;
    r = BuildKeysFromArrays(times, {}, weightKeys_[i], [&](CWeightKey& key, std::size_t j) {
      key.Weight = weights[j];
      key.Constraint = stored ? constraints[j] : 1.0f;
      key.TransitionType = types[j];
    });
  }
  if (Failed(r)) return r;
  if (version < kVersionConstraints) {
    layerType_ = mode == 1 ? LAYER_TYPE_BACKWARD_CONSTRAINT : LAYER_TYPE_FORWARD_CONSTRAINT;
    ConvertLegacyConstraints(mode);
  }
  return kOk;
}

// Older records kept no constraints; they are made from what the records
// meant. A mode other than 0 let a layer's weight hold back the layers it
// constrains by what it covers (1 - min(Weight, 1)); mode 0 stacked two
// layers so that the base layer gave way wherever the second one was
// silent.
void CRTSLayerControl::ConvertLegacyConstraints(u32 mode) {
  for (KeyList& keys : weightKeys_) {
    for (CWeightKey& key : keys) key.Constraint = mode != 0 ? 1.0f - std::min(key.Weight, 1.0f) : 1.0f;
  }
  if (mode != 0 || weightKeys_.size() != 2) return;
  for (CWeightKey& key : weightKeys_[0]) {
    f32 weight = 0.0f;
    f32 constraint = 1.0f;
    EvaluateLayer(1, key.Time, weight, constraint);
    key.Constraint = std::fabs(weight) < kLegacyWeightEpsilon ? 0.0f : 1.0f;
  }
  sharedLastIndex_ = 0;
}

void CRTSLayerControl::DescribeMembers(CMemberVisitor& visitor) {
  visitor.BeginGroup(u"CRTSLayerControl Member");
  visitor.OpenGroup();
  visitor.UInt(u"SharedLastIndex", &sharedLastIndex_);
  visitor.Enum(u"LayerType", reinterpret_cast<i32*>(&layerType_), kLayerTypeNames, 2);
  visitor.Enum(u"LayerTransition", reinterpret_cast<i32*>(&layerTransition_), kLayerTransitionNames, 2);
  visitor.RecordArray(u"WeightKeys", static_cast<u32>(weightKeys_.size()), [this](u32 layer, CMemberVisitor& v) {
    KeyList& keys = weightKeys_[layer];
    v.RecordArray(u"Keys", static_cast<u32>(keys.size()),
                  [&keys](u32 index, CMemberVisitor& kv) { keys[index].DescribeMembers(kv); });
  });
  visitor.EndGroup();
  CRTSControl::DescribeMembers(visitor);
}

u32 CRTSLayerControl::GetMemorySize() const {
  u32 size = CRTSControl::GetMemorySize() + GetChildListMemorySize() + 12 +
             static_cast<u32>(weightKeys_.capacity() * sizeof(KeyList));
  for (const KeyList& keys : weightKeys_) size += static_cast<u32>(keys.capacity() * sizeof(CWeightKey));
  return size;
}

}  // namespace KT
