#include "environment/wind.h"

#include <new>

#include "objectmodel/class_factory.h"
#include "objectmodel/stream.h"
#include "objectmodel/stream_fields.h"
#include "treeruntime/tree_memory.h"
#include "treeruntime/tree_wind.h"

namespace KT {
namespace {

// A new definition (a copy of `source` when given), or null when the
// runtime's memory cannot be had: its allocation throws, and nothing may
// cross the object model.
trt::CTreeWind* NewTreeWind(const trt::CTreeWind* source) {
  try {
    return source != nullptr ? trt::TrackedNew<trt::CTreeWind>("CWind, TreeWind", *source)
                             : trt::TrackedNew<trt::CTreeWind>("CWind, TreeWind");
  } catch (...) {
    return nullptr;
  }
}

}  // namespace

CWind::CWind() : treeWind_(NewTreeWind(nullptr)) {}

CWind::CWind(const CWind& other)
    : CDorun(other),
      RockAngles(other.RockAngles),
      RustleAngles(other.RustleAngles),
      treeWind_(other.treeWind_ != nullptr ? NewTreeWind(other.treeWind_) : nullptr) {}

// The pending block (if any) goes with the wind object.
CWind::~CWind() { trt::TrackedDelete(treeWind_); }

Result CWind::CreateInstance(CPointer<CBase>& out) const {
  CWind* copy = new (std::nothrow) CWind(*this);
  if (copy == nullptr) return kErrOutOfMemory;
  out = copy;
  return treeWind_ != nullptr && copy->treeWind_ == nullptr ? kErrOutOfMemory : kOk;
}

Result CWind::CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const {
  CWind* other = DynamicCast<CWind>(target);
  if (other == nullptr) return kErrNotFound;
  const Result r = CDorun::CopyTo(target, displaced, flags);
  if (Failed(r)) return r;
  if (treeWind_ != nullptr && other != this) {
    trt::CTreeWind* copy = NewTreeWind(treeWind_);
    if (copy == nullptr) return kErrOutOfMemory;
    trt::TrackedDelete(other->treeWind_);
    other->treeWind_ = copy;
  }
  other->RockAngles = RockAngles;
  other->RustleAngles = RustleAngles;
  other->windBlock_.Free();
  return kOk;
}

Result CWind::Load(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  Result r = CDorun::Load(stream, record, flags);
  if (Succeeded(r)) r = stream.ReadVersionBlock(StaticClassRecord());
  std::vector<u8> text;
  if (Succeeded(r)) r = ReadRuntimeBlock(stream, text);
  if (Failed(r)) return r;
  if (treeWind_ == nullptr) return kErrOutOfMemory;
  if (!text.empty()) {
    bool parsed = false;
    try {
      parsed = treeWind_->Load(reinterpret_cast<const char*>(text.data()), static_cast<u32>(text.size()));
    } catch (const std::bad_alloc&) {
      return kErrOutOfMemory;
    }
    if (!parsed) return kErrTreeData;
  }
  // One value per leaf angle of the definition now in force.
  const std::size_t angles = static_cast<std::size_t>(treeWind_->GetNumLeafAngles());
  RockAngles.assign(angles, 0.0f);
  RustleAngles.assign(angles, 0.0f);
  return kOk;
}

Result CWind::RegisterForSave(CStream& stream, u32 flags) {
  const Result r = CDorun::RegisterForSave(stream, flags);
  if (r != kOk) return r;
  const Result p = PrepareRuntime(nullptr);
  return Failed(p) ? p : kOk;
}

Result CWind::PrepareRuntime(void*) {
  if (windBlock_.IsPending()) return kOk;
  if (treeWind_ == nullptr) return kErrOutOfMemory;
  u32 size = 0;
  u8* block = nullptr;
  try {
    block = treeWind_->Save(size);
  } catch (...) {
    block = nullptr;
  }
  return windBlock_.Take(block, size);
}

Result CWind::Save(CStream& stream, u32 flags) {
  Result r = CDorun::Save(stream, flags);
  if (Succeeded(r)) r = WriteVersion(stream, StaticClassRecord());
  if (Succeeded(r)) r = windBlock_.Write(stream);
  return r;
}

void CWind::DescribeMembers(CMemberVisitor& visitor) {
  visitor.BeginGroup(u"CWind Member");
  visitor.OpenGroup();
  visitor.FloatArray(u"RockAngles", RockAngles.data(), static_cast<u32>(RockAngles.size()));
  visitor.FloatArray(u"RustleAngles", RustleAngles.data(), static_cast<u32>(RustleAngles.size()));
  visitor.EndGroup();
  CDorun::DescribeMembers(visitor);
}

u32 CWind::GetMemorySize() const { return CDorun::GetMemorySize() + 68; }

// Version pair 8, length 4.
u32 CWind::GetSaveSize() const { return CDorun::GetSaveSize() + windBlock_.GetSize() + 12; }

}  // namespace KT
