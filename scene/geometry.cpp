#include "scene/geometry.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

#include "objectmodel/class_factory.h"
#include "objectmodel/math_functions.h"
#include "objectmodel/matrix4.h"
#include "objectmodel/stream.h"
#include "objectmodel/stream_fields.h"
#include "scene/bounding_box.h"
#include "scene/geometry_data.h"

namespace KT {

namespace {

u32 VertexCount(const CGeometryData* data) { return data != nullptr ? data->GetXYZ().GetCount() : 0; }

}  // namespace

CGeometry::CGeometry() = default;

CGeometry::CGeometry(const CGeometry& other)
    : CSpatial(other),
      worldXyz_(other.worldXyz_),
      worldNormal_(other.worldNormal_),
      isBone_(other.isBone_),
      updateDynamicWorldBoundFromVertex_(other.updateDynamicWorldBoundFromVertex_),
      worldNormalReady_(other.worldNormalReady_),
      worldXyzReady_(other.worldXyzReady_),
      recomputeNormals_(other.recomputeNormals_),
      hasDeformedWorldXyz_(other.hasDeformedWorldXyz_) {}

CGeometry::~CGeometry() {
  boneBoxes_.clear();
  lods_.clear();
  sharedObject_.Release();
}

// --- levels of detail -----------------------------------------------------------------------

CGeometryData* CGeometry::GetLod(u32 index) const { return index < lods_.size() ? lods_[index].Get() : nullptr; }

u32 CGeometry::GetLodVertexCount(u32 index) const { return VertexCount(GetLod(index)); }

Result CGeometry::SetSingleLod(CGeometryData* data) {
  if (data == nullptr) return kErrInvalidArg;
  lods_.assign(1, CPointer<CGeometryData>(data));
  SetModified();
  return kOk;
}

Result CGeometry::SetLods(const std::vector<CGeometryData*>& lods) {
  const std::vector<CPointer<CGeometryData>> counted(lods.begin(), lods.end());
  return SetLods(counted);
}

Result CGeometry::SetLods(const std::vector<CPointer<CGeometryData>>& lods) {
  if (lods.empty()) return kErrInvalidArg;
  for (std::size_t i = 0; i < lods.size(); ++i) {
    if (!lods[i]) return kErrInvalidArg;
    if (i > 0 && VertexCount(lods[i].Get()) > VertexCount(lods[i - 1].Get())) return kErrLodOrder;
  }
  lods_ = lods;
  SetModified();
  return kOk;
}

Result CGeometry::AddLod(CGeometryData* data) {
  if (data == nullptr) return kErrInvalidArg;
  // A last entry left empty by an unresolved id imposes no order.
  if (!lods_.empty() && lods_.back() && VertexCount(data) > VertexCount(lods_.back().Get())) return kErrLodOrder;
  lods_.emplace_back(data);
  SetModified();
  return kOk;
}

Result CGeometry::ReplaceLod(CGeometryData* oldData, CGeometryData* newData) {
  if (oldData == nullptr || newData == nullptr) return kErrInvalidArg;
  for (u32 i = 0; i < lods_.size(); ++i) {
    if (lods_[i].Get() == oldData) return SetLod(i, newData);
  }
  return kDone;
}

Result CGeometry::SetLod(u32 index, CGeometryData* data) {
  if (data == nullptr || index >= lods_.size()) return kErrInvalidArg;
  const u32 count = VertexCount(data);
  // Equal to the previous level is allowed, equal to the next one is not.
  if (index > 0 && lods_[index - 1] && count > VertexCount(lods_[index - 1].Get())) return kErrLodOrder;
  if (index + 1 < lods_.size() && lods_[index + 1] && count <= VertexCount(lods_[index + 1].Get())) {
    return kErrLodOrder;
  }
  lods_[index] = data;
  SetModified();
  return kOk;
}

Result CGeometry::ReplaceLodUnchecked(u32 index, CGeometryData* data) {
  if (index >= lods_.size()) return kErrInvalidArg;
  lods_[index] = data;
  return kOk;
}

// --- world buffers ----------------------------------------------------------------------------

Result CGeometry::AllocateWorldXYZ(u32 n) { return worldXyz_.Create(n); }

Result CGeometry::AllocateWorldNormal(u32 n) { return worldNormal_.Create(n); }

Result CGeometry::AddBoneBox(CBoundingBox* box, CSpatial* bone) {
  if (box == nullptr) return kErrInvalidArg;
  boneBoxes_.push_back({CPointer<CBoundingBox>(box), bone});
  SetModified();
  return kOk;
}

void CGeometry::ClearBoneBoxes() {
  boneBoxes_.clear();
  SetModified();
}

// --- spatial protocol ---------------------------------------------------------------------------

Result CGeometry::CollectSpatials(std::vector<CSpatial*>& spatials) {
  spatials.push_back(this);
  return kOk;
}

Result CGeometry::UpdateTransform(i32 time) {
  hasDeformedWorldXyz_ = false;
  return CSpatial::UpdateTransform(time);
}

Result CGeometry::UpdateWorldBound() {
  CBound bound;
  if (!hasDeformedWorldXyz_) {
    // The stored positions under the node's transform; WorldXYZ may still
    // hold another frame's positions here.
    const CGeometryData* level = GetLod(0);
    if (level != nullptr && !level->GetBoundingBox().IsEmpty()) {
      level->GetBoundingBox().Transform(bound, GetWorldMatrix());
    }
    SetWorldBound(bound);
    return kOk;
  }
  if (!updateDynamicWorldBoundFromVertex_) {
    bool any = false;
    CBoundingBox::Corners merged{};
    for (const BoneBox& pair : boneBoxes_) {
      if (!pair.Box || pair.Bone == nullptr) continue;
      const CBoundingBox::Corners corners =
          CBoundingBox::TransformCorners(pair.Box->GetCorners(), pair.Bone->GetWorldMatrix());
      merged = any ? CBoundingBox::MergeCorners(merged, corners) : corners;
      any = true;
    }
    if (any) {
      // A single box stays oriented until merged; its bound is that of its
      // eight corners either way.
      bound.FromPoints(static_cast<i32>(merged.size()), merged.data());
      SetWorldBound(bound);
      return kOk;
    }
  }
  // The positions of the last data pass: the bound follows one frame behind.
  bound.FromPoints(static_cast<i32>(worldXyz_.GetCount()), worldXyz_.GetData());
  SetWorldBound(bound);
  return kOk;
}

Result CGeometry::GetBound(CBound& bound) {
  bound.FromPoints(static_cast<i32>(worldXyz_.GetCount()), worldXyz_.GetData());
  return kOk;
}

// --- object-model protocol ------------------------------------------------------------------------

Result CGeometry::RemapReferences(const CloneMap& cloneMap) {
  Result r = CSpatial::RemapReferences(cloneMap);
  if (Failed(r)) return r;
  for (BoneBox& pair : boneBoxes_) {
    if (pair.Bone == nullptr) continue;
    const auto it = cloneMap.find(pair.Bone);
    if (it == cloneMap.end()) return kErrCloneMissing;
    CSpatial* clone = DynamicCast<CSpatial>(it->second.Get());
    if (clone == nullptr) return kErrNotFound;
    pair.Bone = clone;
  }
  return kOk;
}

CBase* CGeometry::Find(const char16_t* name, const ClassRecord* record, bool includeDerived, bool onlyMarked) {
  if (CBase* hit = CSpatial::Find(name, record, includeDerived, onlyMarked)) return hit;
  if (sharedObject_) {
    if (CBase* hit = sharedObject_->Find(name, record, includeDerived, onlyMarked)) return hit;
  }
  for (const CPointer<CGeometryData>& level : lods_) {
    if (!level) continue;
    if (CBase* hit = level->Find(name, record, includeDerived, onlyMarked)) return hit;
  }
  for (const BoneBox& pair : boneBoxes_) {
    if (!pair.Box) continue;
    if (CBase* hit = pair.Box->Find(name, record, includeDerived, onlyMarked)) return hit;
  }
  return nullptr;
}

void CGeometry::Collect(std::vector<CBase*>& out, const char16_t* name, const ClassRecord* record,
                        bool includeDerived, bool onlyMarked) {
  CSpatial::Collect(out, name, record, includeDerived, onlyMarked);
  if (sharedObject_) sharedObject_->Collect(out, name, record, includeDerived, onlyMarked);
  for (const CPointer<CGeometryData>& level : lods_) {
    if (level) level->Collect(out, name, record, includeDerived, onlyMarked);
  }
  for (const BoneBox& pair : boneBoxes_) {
    if (pair.Box) pair.Box->Collect(out, name, record, includeDerived, onlyMarked);
  }
}

bool CGeometry::UpdateMarked(const ObjectSet& set) {
  bool marked = CSpatial::UpdateMarked(set);
  if (sharedObject_) marked = sharedObject_->UpdateMarked(set) || marked;
  for (const CPointer<CGeometryData>& level : lods_) {
    if (level) marked = level->UpdateMarked(set) || marked;
  }
  for (const BoneBox& pair : boneBoxes_) {
    if (pair.Box) marked = pair.Box->UpdateMarked(set) || marked;
  }
  SetMarked(marked);
  return marked;
}

void CGeometry::ClearMarked() {
  CSpatial::ClearMarked();
  if (sharedObject_) sharedObject_->ClearMarked();
  for (const CPointer<CGeometryData>& level : lods_) {
    if (level) level->ClearMarked();
  }
  for (const BoneBox& pair : boneBoxes_) {
    if (pair.Box) pair.Box->ClearMarked();
  }
}

Result CGeometry::ResolveReferences(CBase* root) {
  if (root == nullptr) return kErrInvalidArg;
  for (BoneBox& pair : boneBoxes_) {
    if (pair.Bone == nullptr) continue;
    CBase* found = root->Find(pair.Bone->GetName().c_str(), &CSpatial::StaticClassRecord(), true, false);
    pair.Bone = DynamicCast<CSpatial>(found);
  }
  if (sharedObject_) {
    const Result r = sharedObject_->ResolveReferences(root);
    if (Failed(r)) return r;
  }
  for (const CPointer<CGeometryData>& level : lods_) {
    if (!level) continue;
    const Result r = level->ResolveReferences(root);
    if (Failed(r)) return r;
  }
  return CSpatial::ResolveReferences(root);
}

Result CGeometry::CollectAnimated(std::vector<CDorun*>& animated) {
  Result r = CSpatial::CollectAnimated(animated);
  if (Failed(r)) return r;
  for (const CPointer<CGeometryData>& level : lods_) {
    if (!level) continue;
    r = level->CollectAnimated(animated);
    if (Failed(r)) return r;
  }
  return sharedObject_ ? sharedObject_->CollectAnimated(animated) : kOk;
}

Result CGeometry::RegisterForSave(CStream& stream, u32 flags) {
  Result r = CSpatial::RegisterForSave(stream, flags);
  if (r != kOk) return r;
  if (sharedObject_) {
    r = sharedObject_->RegisterForSave(stream, flags);
    if (Failed(r)) return r;
  }
  for (const CPointer<CGeometryData>& level : lods_) {
    if (!level) continue;
    r = level->RegisterForSave(stream, flags);
    if (Failed(r)) return r;
  }
  for (const BoneBox& pair : boneBoxes_) {
    if (!pair.Box) continue;
    r = pair.Box->RegisterForSave(stream, flags);
    if (Failed(r)) return r;
  }
  return kOk;
}

void CGeometry::EnumReferences(CReferenceVisitor& visitor) {
  visitor.Visit(sharedObject_.Get(), 1);
  for (const CPointer<CGeometryData>& level : lods_) visitor.Visit(level.Get(), 1);
  CSpatial::EnumReferences(visitor);
}

bool CGeometry::HasSubObjects() const { return sharedObject_ || !lods_.empty() || CSpatial::HasSubObjects(); }

u32 CGeometry::GetMemorySize() const {
  return CSpatial::GetMemorySize() + 4 * static_cast<u32>(lods_.size() + 2 * boneBoxes_.size()) + 88;
}

u32 CGeometry::GetSaveSize() const {
  // Version pair and SharedObject (16), the level list, the two flags, the
  // bone-box list.
  return CSpatial::GetSaveSize() + 16 + 4 + 8 * static_cast<u32>(lods_.size()) + 2 + 4 +
         16 * static_cast<u32>(boneBoxes_.size());
}

Result CGeometry::CreateInstance(CPointer<CBase>& out) const { return CreateCopy(*this, out); }

Result CGeometry::Clone(CPointer<CBase>& out, CloneMap& cloneMap, u32 flags) {
  Result r = CSpatial::Clone(out, cloneMap, flags);
  if (r != kOk) return r;
  CGeometry* copy = static_cast<CGeometry*>(out.Get());
  r = CloneMember(copy->sharedObject_, cloneMap, sharedObject_.Get(), flags);
  if (Failed(r)) return r;
  copy->lods_.assign(lods_.size(), CPointer<CGeometryData>());
  for (std::size_t i = 0; i < lods_.size(); ++i) {
    r = CloneMember(copy->lods_[i], cloneMap, lods_[i].Get(), flags);
    if (Failed(r)) return r;
  }
  copy->boneBoxes_.assign(boneBoxes_.size(), BoneBox());
  for (std::size_t i = 0; i < boneBoxes_.size(); ++i) {
    r = CloneMember(copy->boneBoxes_[i].Box, cloneMap, boneBoxes_[i].Box.Get(), flags);
    if (Failed(r)) return r;
    copy->boneBoxes_[i].Bone = boneBoxes_[i].Bone;
  }
  return kOk;
}

Result CGeometry::CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const {
  // Checked before the spatial part is copied, so a refused target stays as
  // it was.
  CGeometry* other = DynamicCast<CGeometry>(target);
  if (other == nullptr) return target == nullptr ? kErrInvalidArg : kErrNotFound;
  const Result r = CSpatial::CopyTo(target, displaced, flags);
  if (Failed(r)) return r;
  other->worldXyz_ = worldXyz_;
  other->worldNormal_ = worldNormal_;
  other->isBone_ = isBone_;
  other->updateDynamicWorldBoundFromVertex_ = updateDynamicWorldBoundFromVertex_;
  AssignPointerMember(displaced, sharedObject_, other->sharedObject_);
  // The target's lists take the source's length; every object the target
  // lets go of (replaced, or beyond the source's count) goes to `displaced`.
  const std::size_t formerLods = other->lods_.size();
  other->lods_.resize(std::max(formerLods, lods_.size()));
  for (std::size_t i = 0; i < lods_.size(); ++i) AssignPointerMember(displaced, lods_[i], other->lods_[i]);
  for (std::size_t i = lods_.size(); i < formerLods; ++i) {
    if (other->lods_[i]) displaced.emplace_back(other->lods_[i].Get());
  }
  other->lods_.resize(lods_.size());
  const std::size_t formerBoxes = other->boneBoxes_.size();
  other->boneBoxes_.resize(std::max(formerBoxes, boneBoxes_.size()));
  for (std::size_t i = 0; i < boneBoxes_.size(); ++i) {
    AssignPointerMember(displaced, boneBoxes_[i].Box, other->boneBoxes_[i].Box);
    other->boneBoxes_[i].Bone = boneBoxes_[i].Bone;
  }
  for (std::size_t i = boneBoxes_.size(); i < formerBoxes; ++i) {
    if (other->boneBoxes_[i].Box) displaced.emplace_back(other->boneBoxes_[i].Box.Get());
  }
  other->boneBoxes_.resize(boneBoxes_.size());
  return kOk;
}

// --- persistence --------------------------------------------------------------------------------

Result CGeometry::LoadInlineVertexBlock(CStream& stream) {
  CPointer<CGeometryData> data;
  const Result r = CGeometryData::Create(data);
  if (Failed(r)) return r;
  // The data is the only level from the start, so what a failed read has
  // filled in stays visible.
  lods_.assign(1, data);
  levelsInline_ = true;
  return data->LoadVertexBlock(stream);
}

Result CGeometry::Load(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  Result r = CSpatial::Load(stream, record, flags);
  if (Succeeded(r)) r = stream.ReadVersionBlock(StaticClassRecord());
  if (Failed(r)) return r;
  const i32 v = stream.GetStoredVersion(StaticClassRecord());
  queuedLevels_ = 0;
  levelsInline_ = false;
  if (v < static_cast<i32>(kVersionLevelIds)) {
    r = LoadInlineVertexBlock(stream);
    if (Failed(r)) return r;
  }
  r = v < static_cast<i32>(kVersionWideSharedId) ? ReadObjectId32(stream, record) : ReadObjectId(stream, record);
  if (Failed(r)) return r;
  if (v == static_cast<i32>(kVersionLevelIds)) {
    r = ReadObjectId(stream, record);
    if (Failed(r)) return r;
    queuedLevels_ = 1;
  } else if (v >= static_cast<i32>(kVersionLevelList)) {
    u32 count = 0;
    r = ReadU32(stream, count);
    if (Succeeded(r)) r = stream.CheckAvailable(count, 8);
    for (u32 i = 0; Succeeded(r) && i < count; ++i) {
      r = ReadObjectId(stream, record);
      if (Succeeded(r)) ++queuedLevels_;
    }
    if (Failed(r)) return r;
  }
  r = ReadBool(stream, isBone_);
  if (Failed(r) || v < static_cast<i32>(kVersionBoneBoxes)) return r;
  r = ReadBool(stream, updateDynamicWorldBoundFromVertex_);
  u32 boxes = 0;
  if (Succeeded(r)) r = ReadU32(stream, boxes);
  if (Succeeded(r)) r = stream.CheckAvailable(boxes, 16);
  if (Failed(r)) return r;
  boneBoxes_.assign(boxes, BoneBox());
  for (u32 i = 0; Succeeded(r) && i < boxes; ++i) {
    r = ReadObjectId(stream, record);
    if (Succeeded(r)) r = ReadObjectId(stream, record);
  }
  return r;
}

Result CGeometry::Link(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  Result r = CSpatial::Link(stream, record, flags);
  if (Failed(r)) return r;

  CDorun* shared = DynamicCast<CDorun>(stream.ObjectFromId(record.TakeNextId()));
  if (shared != nullptr) {
    r = stream.ClaimOwnership(this, shared);
    if (Failed(r)) return r;
  }
  sharedObject_ = shared;

  // Levels named by id (2.02 on); the inline level of older records is
  // already in place. Vertex data may be shared between geometries.
  if (!levelsInline_) {
    const u32 queued = std::exchange(queuedLevels_, 0);
    if (queued != 0) lods_.assign(queued, CPointer<CGeometryData>());
    for (u32 i = 0; i < queued; ++i) {
      const u64 id = record.TakeNextId();
      CBase* object = stream.ObjectFromId(id);
      CGeometryData* level = DynamicCast<CGeometryData>(object);
      if (level == nullptr) {
        if (object == nullptr && id != 0) stream.AddUnresolved(id, this);
        continue;
      }
      r = stream.ClaimOwnership(this, level);
      if (Failed(r)) return r;
      lods_[i] = level;
    }
  }
  if (const CGeometryData* level = GetLod(0)) {
    if (!level->GetXYZ().IsEmpty()) {
      r = AllocateWorldXYZ(level->GetXYZ().GetCount());
      if (Failed(r)) return r;
    }
    if (!level->GetNormal().IsEmpty()) {
      r = AllocateWorldNormal(level->GetNormal().GetCount());
      if (Failed(r)) return r;
    }
  }

  for (BoneBox& pair : boneBoxes_) {
    CBoundingBox* box = DynamicCast<CBoundingBox>(stream.ObjectFromId(record.TakeNextId()));
    if (box != nullptr) {
      r = stream.ClaimOwnership(this, box);
      if (Failed(r)) return r;
    }
    pair.Box = box;
    // The bone lives in the scene tree; the pair only points at it.
    const u64 boneId = record.TakeNextId();
    CBase* bone = stream.ObjectFromId(boneId);
    pair.Bone = DynamicCast<CSpatial>(bone);
    if (bone == nullptr && boneId != 0) stream.AddUnresolved(boneId, this);
  }
  if (!boneBoxes_.empty()) {
    // A bone the delivered roots do not keep alive with this geometry is
    // dropped, as an unresolved one.
    stream.AddPostLinkStep([this, &stream] {
      for (BoneBox& pair : boneBoxes_) {
        if (!stream.CanReferTo(this, pair.Bone)) pair.Bone = nullptr;
      }
      return kOk;
    });
  }
  return kOk;
}

Result CGeometry::Save(CStream& stream, u32 flags) {
  Result r = CSpatial::Save(stream, flags);
  if (Succeeded(r)) r = WriteVersion(stream, StaticClassRecord());
  if (Succeeded(r)) r = WriteObjectId(stream, sharedObject_.Get());
  if (Succeeded(r)) r = WriteReferenceVector(stream, lods_);
  if (Succeeded(r)) r = WriteBool(stream, isBone_);
  if (Succeeded(r)) r = WriteBool(stream, updateDynamicWorldBoundFromVertex_);
  if (Succeeded(r)) r = WriteU32(stream, static_cast<u32>(boneBoxes_.size()));
  for (std::size_t i = 0; Succeeded(r) && i < boneBoxes_.size(); ++i) {
    r = WriteObjectId(stream, boneBoxes_[i].Box.Get());
    if (Succeeded(r)) r = WriteObjectId(stream, boneBoxes_[i].Bone);
  }
  return r;
}

void CGeometry::DescribeMembers(CMemberVisitor& visitor) {
  visitor.BeginGroup(u"CGeometry Member");
  visitor.OpenGroup();
  visitor.VectorArray(u"WorldXYZ", worldXyz_.GetData(), worldXyz_.GetCount());
  visitor.VectorArray(u"WorldNormal", worldNormal_.GetData(), worldNormal_.GetCount());
  visitor.Bool(u"IsBone", &isBone_);
  visitor.Bool(u"UpdateDynamicWorldBoundFromVertex", &updateDynamicWorldBoundFromVertex_);
  visitor.EndGroup();
  CSpatial::DescribeMembers(visitor);
}

// --- ray query ------------------------------------------------------------------------------------

bool IntersectRayTriangles(const CVector3<float>& origin, const CVector3<float>& direction, bool twoSided,
                           const u32* indices, u32 indexCount, const CVector3<float>* positions, u32 positionCount,
                           u32 triangleCount, u32& triangle, f32& distance, CVector3<float>& point,
                           CVector3<float>& normal) {
  distance = std::numeric_limits<f32>::max();
  point = kVectorZero;
  normal = kVectorZero;
  if (indices == nullptr || positions == nullptr) return false;
  const u32 triangles = std::min(triangleCount, indexCount / 3);
  bool hit = false;
  for (u32 t = 0; t < triangles; ++t) {
    const u32* corner = indices + 3 * static_cast<std::size_t>(t);
    // A crafted index buffer may name positions that do not exist.
    if (corner[0] >= positionCount || corner[1] >= positionCount || corner[2] >= positionCount) continue;
    CVector3<float> at;
    CVector3<float> faceNormal;
    if (!IntersectRayTriangle(positions[corner[0]], positions[corner[1]], positions[corner[2]], origin, direction,
                              twoSided, at, faceNormal)) {
      continue;
    }
    const f32 squared = (at - origin).LengthSquared();
    // Strictly nearer only: of equal distances the first triangle stays.
    if (squared < distance) {
      distance = squared;
      triangle = t;
      point = at;
      normal = faceNormal;
      hit = true;
    }
  }
  if (hit) distance = std::sqrt(distance);
  return hit;
}

}  // namespace KT
