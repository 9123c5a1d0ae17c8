#include "controllers/keyed/anm_image_control.h"

#include <limits>
#include <new>

#include "objectmodel/class_factory.h"
#include "objectmodel/owned_link.h"
#include "objectmodel/stream.h"
#include "objectmodel/stream_fields.h"
#include "objectmodel/time_helpers.h"
#include "render/materials/material_base.h"
#include "render/materials/texture_maps.h"

namespace KT {

std::vector<i32> CAnmImageControl::GetFrameStarts() const {
  std::vector<i32> starts;
  if (!anmImage_) return starts;
  const u32 count = anmImage_->GetFrameCount();
  starts.reserve(count);
  // Summed in 64 bits and held at the largest time, so that long delays
  // from a file can neither wrap nor make the starts go backward.
  i64 start = 0;
  for (u32 i = 0; i < count; ++i) {
    if (i > 0) {
      CAnmImage::CFrame frame;
      if (Succeeded(anmImage_->GetFrame(i, frame))) start += 10 * static_cast<i64>(frame.Delay);
      if (start > std::numeric_limits<i32>::max()) start = std::numeric_limits<i32>::max();
    }
    starts.push_back(static_cast<i32>(start));
  }
  return starts;
}

u32 CAnmImageControl::FindFrame(const std::vector<i32>& starts, i32 m) {
  const u32 last = static_cast<u32>(starts.size() - 1);
  u32 i = 0;
  if (m <= starts[0]) {
    i = 0;
  } else if (m >= starts[last]) {
    i = last;
  } else {
    // The cache only says where to start looking: the answer is the last
    // frame starting at or before m from either side.
    i = lastIndex_ <= last ? lastIndex_ : 0;
    if (starts[i] <= m) {
      while (i < last && starts[i + 1] <= m) ++i;
    } else {
      while (i > 0 && starts[i] > m) --i;
    }
  }
  lastIndex_ = i;
  return i;
}

Result CAnmImageControl::Update(i32 time) {
  if (CheckActive() == kDone) return kDone;
  CTextureMap* map = nullptr;
  const Result r = BoundObjectOf(*this, map);
  if (Failed(r)) return r;
  CImage* target = map->GetImage();
  if (!anmImage_ || anmImage_->GetFrameCount() == 0 || target == nullptr) return kDone;
  const std::vector<i32> starts = GetFrameStarts();
  i32 cycles = 0;
  const i32 m = MapTime(time, starts.back(), cycles);
  CAnmImage::CFrame frame;
  if (Failed(anmImage_->GetFrame(FindFrame(starts, m), frame)) || !frame.Image) return kOk;
  const CImage& source = *frame.Image;
  // What the painting answers is not the controller's answer.
  target->DrawImage(frame.OffsetX, frame.OffsetY, source, 0, 0, source.GetImage().Width, source.GetImage().Height,
                    255);
  return kOk;
}

i32 CAnmImageControl::GetEndTime() const {
  const std::vector<i32> starts = GetFrameStarts();
  return starts.size() < 2 ? kZeroTime : starts.back();
}

// --- root protocol ---------------------------------------------------------------------------

Result CAnmImageControl::CreateInstance(CPointer<CBase>& out) const {
  try {
    const Result r = CreateCopy(*this, out);
    if (Succeeded(r)) static_cast<CAnmImageControl*>(out.Get())->anmImage_ = nullptr;
    return r;
  } catch (const std::bad_alloc&) {
    return kErrOutOfMemory;
  }
}

Result CAnmImageControl::Clone(CPointer<CBase>& out, CloneMap& cloneMap, u32 flags) {
  const Result r = CDataControl::Clone(out, cloneMap, flags);
  if (r != kOk || !anmImage_) return r;
  auto* copy = static_cast<CAnmImageControl*>(out.Get());
  return CloneMember(copy->anmImage_, cloneMap, anmImage_.Get(), flags & ~kCloneElementOnly);
}

Result CAnmImageControl::CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const {
  const Result r = CDataControl::CopyTo(target, displaced, flags);
  if (r != kOk) return r;
  auto* other = DynamicCast<CAnmImageControl>(target);
  if (other == nullptr) return kErrNotFound;
  return AssignPointerMember(displaced, anmImage_, other->anmImage_);
}

Result CAnmImageControl::Load(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  // No data controller level in this record.
  Result r = CControl::Load(stream, record, flags);
  if (Succeeded(r)) r = stream.ReadVersionBlock(StaticClassRecord());
  if (Failed(r)) return r;
  lastIndex_ = 0;
  const bool wide = stream.GetStoredVersion(StaticClassRecord()) >= kVersionWideIds;
  return wide ? ReadObjectId(stream, record) : ReadObjectId32(stream, record);
}

Result CAnmImageControl::Link(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  const Result r = CDataControl::Link(stream, record, flags);
  return Failed(r) ? r : LinkOwnedPointer(stream, record, this, anmImage_);
}

Result CAnmImageControl::Save(CStream& stream, u32 flags) {
  Result r = CControl::Save(stream, flags);
  if (Succeeded(r)) r = WriteVersion(stream, StaticClassRecord());
  if (Succeeded(r)) r = WriteObjectId(stream, anmImage_.Get());
  return r;
}

void CAnmImageControl::DescribeMembers(CMemberVisitor& visitor) {
  visitor.BeginGroup(u"CAnmImageControl Member");
  visitor.OpenGroup();
  i32 last = static_cast<i32>(lastIndex_);
  visitor.Int(u"LastIndex", &last);
  visitor.EndGroup();
  CControl::DescribeMembers(visitor);
}

void CAnmImageControl::EnumReferences(CReferenceVisitor& visitor) {
  visitor.Visit(anmImage_.Get(), 1);
  CDataControl::EnumReferences(visitor);
}

u32 CAnmImageControl::GetMemorySize() const { return CDataControl::GetMemorySize() + 8; }

u32 CAnmImageControl::GetSaveSize() const { return CControl::GetSaveSize() + 16; }

bool CAnmImageControl::HasSubObjects() const { return anmImage_ || CDataControl::HasSubObjects(); }

CBase* CAnmImageControl::FindInElement(const char16_t* name, const ClassRecord* record, bool includeDerived,
                                       bool onlyMarked) {
  if (CBase* hit = CDataControl::FindInElement(name, record, includeDerived, onlyMarked)) return hit;
  return owned_refs::Find({anmImage_.Get()}, name, record, includeDerived, onlyMarked);
}

void CAnmImageControl::CollectInElement(std::vector<CBase*>& out, const char16_t* name, const ClassRecord* record,
                                        bool includeDerived, bool onlyMarked) {
  CDataControl::CollectInElement(out, name, record, includeDerived, onlyMarked);
  owned_refs::Collect({anmImage_.Get()}, out, name, record, includeDerived, onlyMarked);
}

bool CAnmImageControl::UpdateMarkedInElement(const ObjectSet& set) {
  const bool own = CDataControl::UpdateMarkedInElement(set);
  return owned_refs::UpdateMarked({anmImage_.Get()}, set) || own;
}

void CAnmImageControl::ClearMarkedInElement() {
  CDataControl::ClearMarkedInElement();
  owned_refs::ClearMarked({anmImage_.Get()});
}

Result CAnmImageControl::ResolveReferencesInElement(CBase* root) {
  if (root == nullptr) return kErrInvalidArg;
  const Result r = owned_refs::ResolveReferences({anmImage_.Get()}, root);
  return Failed(r) ? r : CDataControl::ResolveReferencesInElement(root);
}

Result CAnmImageControl::RegisterElementForSave(CStream& stream, u32 flags) {
  const Result r = CDataControl::RegisterElementForSave(stream, flags);
  if (r != kOk) return r;
  return owned_refs::RegisterForSave({anmImage_.Get()}, stream, flags);
}

}  // namespace KT
