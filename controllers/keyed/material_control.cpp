#include "controllers/keyed/material_control.h"

#include <new>

#include "controllers/core/legacy_key_arrays.h"
#include "objectmodel/class_factory.h"
#include "objectmodel/stream.h"
#include "objectmodel/stream_fields.h"
#include "objectmodel/time_helpers.h"

namespace KT {

namespace {

// The UV group (1 to 6) that list `index` belongs to; 0 for the lists
// before them.
u32 UvGroupOfList(u32 index) { return index < 13 ? 0 : (index - 13) / 2 + 1; }

// Whether list `index` is part of a record of stored version `version`.
bool ListStored(u32 index, u32 version) {
  const u32 group = UvGroupOfList(index);
  if (group == 0) return true;
  if (group == 2) return version >= CMaterialControl::kVersionUvGroup2;
  return version >= CMaterialControl::kVersionUvGroups;
}

}  // namespace

Result CMaterialControl::Update(i32 /*time*/) { return kErrNotEvaluated; }

i32 CMaterialControl::GetEndTime() const { return kZeroTime; }

Result CMaterialControl::CreateInstance(CPointer<CBase>& out) const {
  try {
    return CreateCopy(*this, out);
  } catch (const std::bad_alloc&) {
    return kErrOutOfMemory;
  }
}

Result CMaterialControl::CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const {
  auto* other = DynamicCast<CMaterialControl>(target);
  if (other == nullptr) return kErrNotFound;
  // Copied aside first, so that running out of memory changes nothing.
  Lists copy;
  try {
    copy = lists_;
  } catch (const std::bad_alloc&) {
    return kErrOutOfMemory;
  }
  const Result r = CMaterialDataControl::CopyTo(target, displaced, flags);
  if (Failed(r)) return r;
  other->lists_ = std::move(copy);
  return kOk;
}

Result CMaterialControl::Load(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  Result r = CMaterialDataControl::Load(stream, record, flags);
  if (Succeeded(r)) r = stream.ReadVersionBlock(StaticClassRecord());
  if (Failed(r)) return r;
  const i32 stored = stream.GetStoredVersion(StaticClassRecord());
  const u32 version = static_cast<u32>(stored < 0 ? 0 : stored);
  lists_ = Lists();
  ForEachList(lists_, [&](u32 index, auto& list) {
    if (Succeeded(r) && ListStored(index, version)) r = ReadLegacyArray(stream, list);
  });
  if (Failed(r)) return r;
  if (version < kVersionWeightApplied && GetWeight() != 0.0f) {
    // These records kept the key times offset by the controller's Weight.
    const f32 weight = GetWeight();
    for (std::vector<f32>* times : {&lists_.LightTimes, &lists_.SelfTimes, &lists_.TextureTimes}) {
      for (f32& t : *times) t -= weight;
    }
  }
  if (version < kVersionScaledUv) {
    // These records kept the translation before scaling.
    for (UvGroup& group : lists_.Uv) {
      for (UvTransform& uv : group.Transforms) {
        uv.Translate.x = -(uv.Translate.x * uv.Scale.x);
        uv.Translate.y = -(uv.Translate.y * uv.Scale.y);
      }
    }
  }
  return kOk;
}

Result CMaterialControl::Save(CStream& stream, u32 flags) {
  Result r = CMaterialDataControl::Save(stream, flags);
  if (Succeeded(r)) r = WriteVersion(stream, StaticClassRecord());
  ForEachList(lists_, [&](u32, const auto& list) {
    if (Succeeded(r)) r = WritePodVector(stream, list);
  });
  return r;
}

void CMaterialControl::DescribeMembers(CMemberVisitor& visitor) { CMaterialDataControl::DescribeMembers(visitor); }

u32 CMaterialControl::GetMemorySize() const {
  u32 size = CMaterialDataControl::GetMemorySize() + static_cast<u32>(sizeof(Lists));
  ForEachList(lists_, [&](u32, const auto& list) {
    size += static_cast<u32>(list.capacity() * sizeof(list[0]));
  });
  return size;
}

u32 CMaterialControl::GetSaveSize() const {
  u32 size = CMaterialDataControl::GetSaveSize() + 8;
  ForEachList(lists_, [&](u32, const auto& list) { size += PodVectorSaveSize(list); });
  return size;
}

}  // namespace KT
