#include "controllers/composite/material_layer_control.h"

#include <algorithm>
#include <new>
#include <utility>

#include "controllers/core/legacy_key_arrays.h"
#include "objectmodel/class_factory.h"
#include "objectmodel/nested_walk.h"
#include "objectmodel/stream.h"
#include "objectmodel/stream_fields.h"

namespace KT {

namespace {

// Weight j of a list, 0 for a child the list does not reach.
f32 WeightAt(const std::vector<f32>& list, std::size_t j) { return j < list.size() ? list[j] : 0.0f; }

// Every float of the channel block, as the layer adds them up.
struct Block {
  CMaterialDataControl::Vec3 ambient, diffuse, specular;
  f32 scalars[6];
  CMaterialDataControl::Weights weights;
};

}  // namespace

Result CMaterialLayerControl::SetKeys(const std::vector<i32>& times, const std::vector<WeightList>& weights) {
  if (times.size() != weights.size()) return kErrInvalidArg;
  std::vector<i32> newTimes;
  std::vector<WeightList> newWeights;
  try {
    newTimes = times;
    newWeights = weights;
  } catch (const std::bad_alloc&) {
    return kErrOutOfMemory;
  }
  shareTime_.MutableTimes().swap(newTimes);
  keyWeights_.swap(newWeights);
  SetModified();
  return kOk;
}

std::vector<f32> CMaterialLayerControl::EvaluateWeights(i32 time) {
  const std::size_t count = GetChildCount();
  std::vector<f32> w(count, 0.0f);
  if (shareTime_.Empty() || keyWeights_.empty()) {
    if (count > 0) std::fill(w.begin(), w.end(), static_cast<f32>(1.0 / static_cast<f64>(count)));
    return w;
  }
  i32 cycles = 0;
  const i32 local = MapTime(time, GetEndTime(), cycles);
  KeyBracket bracket;
  shareTime_.Bracket(local, bracket);
  // A file holds as many weight lists as times (checked at load); keys set
  // through SetKeys too. Out-of-range indices are skipped all the same.
  if (bracket.prev >= keyWeights_.size() || bracket.next >= keyWeights_.size()) return w;
  const WeightList& a = keyWeights_[bracket.prev];
  const WeightList& b = keyWeights_[bracket.next];
  const f32 f = bracket.prev == bracket.next ? 0.0f : bracket.fraction;
  for (std::size_t j = 0; j < count; ++j) {
    const f32 wa = WeightAt(a, j);
    w[j] = wa + (WeightAt(b, j) - wa) * f;
  }
  return w;
}

Result CMaterialLayerControl::Update(i32 time) {
  const CEvaluationDepthGuard guard;  // nested containers: bounded
  if (guard.Exceeded()) return kErrInvalidArg;
  if (!IsActive()) return kDone;
  CStandardMaterial* material = nullptr;
  const Result r = BoundObjectOf(*this, material);
  if (Failed(r)) return r;
  const std::vector<f32> w = EvaluateWeights(time);
  Block sum{};
  for (u32 j = 0; j < GetChildCount(); ++j) {
    CMaterialDataControl* child = GetChild(j);
    if (child == nullptr) continue;
    // A child's failure does not stop the blend.
    child->Update(time);
    const f32 wj = w[j];
    Block part{child->GetAmbient(),
               child->GetDiffuse(),
               child->GetSpecular(),
               {child->GetShininess(), child->GetShineStrength(), child->GetSelfIllum(), child->GetOpacity(),
                child->GetOpfall(), child->GetSoftThresh()},
               child->GetWeights()};
    static_assert(sizeof(Block) == 27 * sizeof(f32));
    f32* to = reinterpret_cast<f32*>(&sum);
    const f32* from = reinterpret_cast<const f32*>(&part);
    for (u32 i = 0; i < 27; ++i) to[i] += wj * from[i];
  }
  ambient_ = sum.ambient;
  diffuse_ = sum.diffuse;
  specular_ = sum.specular;
  shininess_ = sum.scalars[0];
  shineStrength_ = sum.scalars[1];
  selfIllum_ = sum.scalars[2];
  opacity_ = sum.scalars[3];
  opfall_ = sum.scalars[4];
  softThresh_ = sum.scalars[5];
  weights_ = sum.weights;
  return kOk;
}

// --- root protocol ---------------------------------------------------------------------------

Result CMaterialLayerControl::CreateInstance(CPointer<CBase>& out) const {
  try {
    return CreateCopy(*this, out);
  } catch (const std::bad_alloc&) {
    return kErrOutOfMemory;
  }
}

Result CMaterialLayerControl::Clone(CPointer<CBase>&, CloneMap&, u32) { return kErrNotAvailable; }

Result CMaterialLayerControl::CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const {
  auto* other = DynamicCast<CMaterialLayerControl>(target);
  if (other == nullptr) return kErrNotFound;
  // The keys are copied first, so that running out of memory changes
  // nothing.
  std::vector<WeightList> weights;
  TimeTrack times;
  try {
    weights = keyWeights_;
    times = shareTime_;
  } catch (const std::bad_alloc&) {
    return kErrOutOfMemory;
  }
  const Result r = CopyListTo(*other, displaced, flags);
  if (Failed(r)) return r;
  other->keyWeights_.swap(weights);
  other->shareTime_ = std::move(times);
  return kOk;
}

Result CMaterialLayerControl::Load(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  Result r = CMaterialDataControl::Load(stream, record, flags);
  if (Succeeded(r)) r = stream.ReadVersionBlock(StaticClassRecord());
  if (Failed(r)) return r;
  const i32 version = stream.GetStoredVersion(StaticClassRecord());
  keyWeights_.clear();
  shareTime_.SetLastIndex(0);
  u32 keys = 0;
  r = ReadU32(stream, keys);
  if (Failed(r)) return r;
  // Each weight list takes at least its count.
  if (keys > stream.GetRemaining() / 4) return kErrStream;
  try {
    keyWeights_.resize(keys);
  } catch (const std::bad_alloc&) {
    return kErrOutOfMemory;
  }
  for (WeightList& list : keyWeights_) {
    r = ReadLegacyArray(stream, list);
    if (Failed(r)) return r;
  }
  r = ReadChildList(stream, record, version >= kVersionWideIds);
  if (Succeeded(r)) r = shareTime_.Read(stream, version, kVersionIntTimes / 100, kVersionIntTimes % 100);
  if (Failed(r)) return r;
  // Keys are a time and a weight list each.
  return shareTime_.Size() == keyWeights_.size() ? kOk : kErrNotFound;
}

Result CMaterialLayerControl::Save(CStream& stream, u32 flags) {
  Result r = CMaterialDataControl::Save(stream, flags);
  if (Succeeded(r)) r = WriteVersion(stream, StaticClassRecord());
  if (Succeeded(r)) r = WriteU32(stream, static_cast<u32>(keyWeights_.size()));
  for (const WeightList& list : keyWeights_) {
    if (Succeeded(r)) r = WritePodVector(stream, list);
  }
  if (Succeeded(r)) r = WriteChildList(stream);
  if (Succeeded(r)) r = shareTime_.Write(stream);
  return r;
}

void CMaterialLayerControl::DescribeMembers(CMemberVisitor& visitor) {
  visitor.BeginGroup(u"CMaterialLayerControl Member");
  visitor.OpenGroup();
  u32 last = shareTime_.GetLastIndex();
  visitor.UInt(u"SharedLastIndex", &last);
  const std::size_t keys = std::max<std::size_t>(shareTime_.Size(), keyWeights_.size());
  for (std::size_t k = 0; k < keys; ++k) {
    if (k < shareTime_.Size()) {
      const i32 time = shareTime_[static_cast<u32>(k)];
      visitor.Time(u"ShareTime", &time);
    }
    if (k < keyWeights_.size()) {
      visitor.FloatArray(u"TransitionType", keyWeights_[k].data(), static_cast<u32>(keyWeights_[k].size()));
    }
  }
  visitor.EndGroup();
  CMaterialDataControl::DescribeMembers(visitor);
}

u32 CMaterialLayerControl::GetMemorySize() const {
  u32 size = CMaterialDataControl::GetMemorySize() + GetChildListMemorySize() + shareTime_.GetMemorySize() +
             static_cast<u32>(keyWeights_.capacity() * sizeof(WeightList) + sizeof(keyWeights_) + sizeof(shareTime_));
  for (const WeightList& list : keyWeights_) size += static_cast<u32>(list.capacity() * sizeof(f32));
  return size;
}

u32 CMaterialLayerControl::GetSaveSize() const {
  u32 size = CMaterialDataControl::GetSaveSize() + 8 + 4 + GetChildListSaveSize() + shareTime_.GetSaveSize();
  for (const WeightList& list : keyWeights_) size += PodVectorSaveSize(list);
  return size;
}

}  // namespace KT
