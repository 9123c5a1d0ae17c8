#include "scene/bounding_mesh.h"

#include <algorithm>
#include <unordered_set>

#include "objectmodel/chain.h"
#include "objectmodel/class_factory.h"
#include "objectmodel/matrix4.h"
#include "objectmodel/stream.h"
#include "objectmodel/stream_fields.h"
#include "scene/spatial.h"

namespace KT {

namespace {

// True when `target` is `start` or follows it in its chain.
bool ChainContains(const CBoundingMesh* start, const CBoundingMesh* target) {
  return KT::ChainContains(start, target, [](const CBoundingMesh* m) { return m->GetNextMesh(); });
}

// The meshes of the chain starting at `first`, in order.
std::vector<CBoundingMesh*> ChainMeshes(CBoundingMesh* first) {
  std::vector<CBoundingMesh*> meshes;
  for (CBoundingMesh* p = first; p != nullptr; p = p->GetNextMesh()) meshes.push_back(p);
  return meshes;
}

}  // namespace

CBoundingMesh::CBoundingMesh(const CBoundingMesh& other)
    : CDorun(other),
      reference_(other.reference_),
      triangleQuantity_(other.triangleQuantity_),
      xyzTriIndex_(other.xyzTriIndex_),
      xyz_(other.xyz_),
      worldXyz_(other.worldXyz_),
      color_(other.color_),
      isHide_(other.isHide_),
      active_(other.active_),
      freeze_(other.freeze_) {}

CBoundingMesh::~CBoundingMesh() {
  ReleaseChain(next_, [](CBoundingMesh& m) -> CPointer<CBoundingMesh>& { return m.next_; });
}

Result CBoundingMesh::Create(CPointer<CBoundingMesh>& out) {
  CBoundingMesh* mesh = new (std::nothrow) CBoundingMesh();
  if (mesh == nullptr) return kErrOutOfMemory;
  out = mesh;
  return kOk;
}

Result CBoundingMesh::SetTriangles(u32 count, const u32* indices) {
  if (count == 0) {
    xyzTriIndex_.Free();
    triangleQuantity_ = 0;
    SetModified();
    return kOk;
  }
  const u64 n = 3 * static_cast<u64>(count);
  if (n > 0xFFFFFFFFull) return kErrOutOfMemory;
  CBuffer<u32> buffer;
  const Result r = buffer.Create(static_cast<u32>(n), indices);
  if (Failed(r)) return r;
  xyzTriIndex_.Swap(buffer);
  triangleQuantity_ = count;
  SetModified();
  return kOk;
}

Result CBoundingMesh::GetTriangle(u32 t, Vec3 corners[3]) const {
  if (t >= triangleQuantity_ || 3 * static_cast<u64>(t) + 3 > xyzTriIndex_.GetCount()) return kErrOutOfRange;
  const u32* index = xyzTriIndex_.GetData() + 3 * static_cast<u64>(t);
  for (int c = 0; c < 3; ++c) {
    if (index[c] >= xyz_.GetCount()) return kErrNotFound;
  }
  for (int c = 0; c < 3; ++c) corners[c] = xyz_[index[c]];
  return kOk;
}

Result CBoundingMesh::AllocateVertices(u32 n) {
  if (n == 0) return kErrInvalidArg;
  Result r = xyz_.Create(n);
  if (Succeeded(r)) r = worldXyz_.Create(n);
  if (Failed(r)) {
    xyz_.Free();
    worldXyz_.Free();
  }
  return r;
}

Result CBoundingMesh::AppendMesh(CBoundingMesh* mesh) {
  if (mesh == nullptr) return kErrInvalidArg;
  CBoundingMesh* last = this;
  while (last->next_) last = last->next_.Get();
  // Any loop the append could close runs through the last mesh: it exists
  // exactly when `mesh`'s own chain reaches it (this covers `mesh` already
  // being in this chain).
  if (ChainContains(mesh, last)) return kErrInvalidArg;
  SetModified();
  last->next_ = mesh;
  if (last != this) last->SetModified();
  return kOk;
}

Result CBoundingMesh::RaiseDepthOfReference(CSpatial* owner, i32 time, i32& depth) {
  if (reference_ == nullptr || reference_ == owner) return kDone;
  const Result r = reference_->RaiseUpdateDepth(time, depth);
  return Failed(r) ? r : kOk;
}

Result CBoundingMesh::Update(i32 time) {
  const Result r = CDorun::Update(time);
  if (Failed(r)) return r;
  const u32 count = xyz_.GetCount();
  if (worldXyz_.GetCount() != count) {
    // Kept in step with XYZ by every setter; a caller that replaced XYZ
    // directly gets a fresh world buffer rather than a short one.
    if (count == 0) {
      worldXyz_.Free();
    } else {
      const Result a = worldXyz_.Create(count);
      if (Failed(a)) return a;
    }
  }
  if (reference_ == nullptr) {
    std::copy(xyz_.begin(), xyz_.end(), worldXyz_.begin());
    return kOk;
  }
  const CMatrix4& world = reference_->GetWorldMatrix();
  for (u32 i = 0; i < count; ++i) Vec3TransformCoord(worldXyz_[i], xyz_[i], world);
  return kOk;
}

Result CBoundingMesh::CollectAnimated(std::vector<CDorun*>& animated) {
  if (!next_) {
    if (std::find(animated.begin(), animated.end(), this) == animated.end()) animated.push_back(this);
    return kOk;
  }
  // A chain: one pass over what is already collected, not one per mesh.
  std::unordered_set<const CDorun*> present(animated.begin(), animated.end());
  for (CBoundingMesh* p = this; p != nullptr; p = p->next_.Get()) {
    if (present.insert(p).second) animated.push_back(p);
  }
  return kOk;
}

CBase* CBoundingMesh::Find(const char16_t* name, const ClassRecord* record, bool includeDerived, bool onlyMarked) {
  for (CBoundingMesh* p = this; p != nullptr; p = p->next_.Get()) {
    if (CBase* hit = p->CDorun::Find(name, record, includeDerived, onlyMarked)) return hit;
  }
  return nullptr;
}

void CBoundingMesh::Collect(std::vector<CBase*>& out, const char16_t* name, const ClassRecord* record,
                            bool includeDerived, bool onlyMarked) {
  for (CBoundingMesh* p = this; p != nullptr; p = p->next_.Get()) {
    p->CDorun::Collect(out, name, record, includeDerived, onlyMarked);
  }
}

bool CBoundingMesh::UpdateMarked(const ObjectSet& set) {
  // Each mesh is marked when it or any mesh after it is: walk the chain
  // once, then settle the flags from the tail.
  const std::vector<CBoundingMesh*> chain = ChainMeshes(this);
  bool after = false;
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
    after = (*it)->CDorun::UpdateMarked(set) || after;
    (*it)->SetMarked(after);
  }
  return after;
}

void CBoundingMesh::ClearMarked() {
  for (CBoundingMesh* p = this; p != nullptr; p = p->next_.Get()) p->CDorun::ClearMarked();
}

Result CBoundingMesh::ResolveReferences(CBase* root) {
  if (root == nullptr) return kErrInvalidArg;
  const std::vector<CBoundingMesh*> chain = ChainMeshes(this);
  for (CBoundingMesh* p : chain) {
    if (p->reference_ == nullptr) continue;
    CBase* found = root->Find(p->reference_->GetName().c_str(), &CSpatial::StaticClassRecord(), true, false);
    CSpatial* spatial = DynamicCast<CSpatial>(found);
    if (spatial == nullptr) return kErrCloneMissing;
    p->reference_ = spatial;
  }
  // The KT::CDorun parts last, the end of the chain first, as a recursive
  // walk would reach them.
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
    const Result r = (*it)->CDorun::ResolveReferences(root);
    if (Failed(r)) return r;
  }
  return kOk;
}

Result CBoundingMesh::RemapReferences(const CloneMap& cloneMap) {
  if (reference_ == nullptr) return kOk;
  const auto it = cloneMap.find(reference_);
  if (it == cloneMap.end()) return kErrCloneMissing;
  CSpatial* clone = DynamicCast<CSpatial>(it->second.Get());
  if (clone == nullptr) return kErrNotFound;
  reference_ = clone;
  return kOk;
}

Result CBoundingMesh::RegisterForSave(CStream& stream, u32 flags) {
  Result r = CDorun::RegisterForSave(stream, flags);
  if (r != kOk) return r;
  for (CBoundingMesh* p = next_.Get(); p != nullptr; p = p->next_.Get()) {
    r = p->CDorun::RegisterForSave(stream, flags);
    if (Failed(r)) return r;
    if (r == kDone) break;  // the rest of the chain is registered already
  }
  return kOk;
}

bool CBoundingMesh::HasSubObjects() const { return reference_ != nullptr || next_ || CDorun::HasSubObjects(); }

Result CBoundingMesh::CreateInstance(CPointer<CBase>& out) const { return CreateCopy(*this, out); }

Result CBoundingMesh::Clone(CPointer<CBase>& out, CloneMap& cloneMap, u32 flags) {
  Result r = CDorun::Clone(out, cloneMap, flags);
  if (r != kOk) return r;
  CBoundingMesh* previous = static_cast<CBoundingMesh*>(out.Get());
  for (CBoundingMesh* source = next_.Get(); source != nullptr; source = source->next_.Get()) {
    CPointer<CBase> clone;
    r = source->CDorun::Clone(clone, cloneMap, flags);
    if (Failed(r)) return r;
    const bool clonedBefore = r == kDone;
    CBoundingMesh* mesh = DynamicCast<CBoundingMesh>(clone.Get());
    if (mesh == nullptr) return kErrNotFound;
    r = previous->AppendMesh(mesh);
    if (Failed(r)) return r;
    if (clonedBefore) break;  // that clone carries the rest of the chain
    previous = mesh;
  }
  return kOk;
}

Result CBoundingMesh::CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const {
  CBoundingMesh* other = DynamicCast<CBoundingMesh>(target);
  if (other == nullptr) return kErrNotFound;
  if (other != this && ChainContains(next_.Get(), other)) return kErrInvalidArg;
  const Result r = CDorun::CopyTo(target, displaced, flags);
  if (Failed(r)) return r;
  other->reference_ = reference_;
  other->triangleQuantity_ = triangleQuantity_;
  other->xyzTriIndex_ = xyzTriIndex_;
  other->xyz_ = xyz_;
  other->worldXyz_ = worldXyz_;
  other->color_ = color_;
  other->freeze_ = freeze_;
  return AssignPointerMember(displaced, next_, other->next_);
}

Result CBoundingMesh::Load(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  Result r = CDorun::Load(stream, record, flags);
  if (Succeeded(r)) r = stream.ReadVersionBlock(StaticClassRecord());
  if (Failed(r)) return r;
  const i32 version = stream.GetStoredVersion(StaticClassRecord());
  // Reference, then the next mesh.
  if (version >= static_cast<i32>(kVersionWideIds)) {
    r = ReadObjectId(stream, record);
    if (Succeeded(r)) r = ReadObjectId(stream, record);
  } else {
    r = ReadObjectId32(stream, record);
    if (Succeeded(r)) r = ReadObjectId32(stream, record);
  }
  u32 triangles = 0;
  if (Succeeded(r)) r = ReadU32(stream, triangles);
  if (Failed(r)) return r;
  triangleQuantity_ = triangles;
  xyzTriIndex_.Free();
  if (triangles != 0) {
    // In 64 bits: three times a stored count may not fit in 32.
    const u64 indexCount = 3 * static_cast<u64>(triangles);
    r = stream.CheckAvailable(indexCount, sizeof(u32));
    if (Succeeded(r)) r = xyzTriIndex_.Create(static_cast<u32>(indexCount));
    if (Succeeded(r)) {
      const u32 bytes = static_cast<u32>(indexCount * sizeof(u32));
      r = stream.Read(xyzTriIndex_.GetData(), bytes, bytes);
    }
    if (Failed(r)) return r;
  }
  u32 positions = 0;
  r = ReadU32(stream, positions);
  if (Failed(r)) return r;
  xyz_.Free();
  worldXyz_.Free();
  if (positions != 0) {
    r = stream.CheckAvailable(positions, sizeof(Vec3));
    if (Succeeded(r)) r = AllocateVertices(positions);
    if (Succeeded(r)) {
      const u32 bytes = static_cast<u32>(positions * sizeof(Vec3));
      r = stream.Read(xyz_.GetData(), bytes, bytes);
    }
    if (Failed(r)) return r;
  }
  if (version >= static_cast<i32>(kVersionActive)) {
    r = ReadBool(stream, active_);
    if (Failed(r)) return r;
  }
  if (version >= static_cast<i32>(kVersionFreeze)) r = ReadBool(stream, freeze_);
  return r;
}

Result CBoundingMesh::LinkNext(CStream& stream, u64 id) {
  CBoundingMesh* target = DynamicCast<CBoundingMesh>(stream.ObjectFromId(id));
  if (target != nullptr) {
    // The stream refuses exactly the links that would close a loop of
    // owning references, shared meshes included.
    const Result r = stream.ClaimOwnership(this, target);
    if (Failed(r)) return r;
  }
  next_ = target;
  if (target == nullptr && id != 0) stream.AddUnresolved(id, this);
  return kOk;
}

Result CBoundingMesh::Link(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  const Result r = CDorun::Link(stream, record, flags);
  if (Failed(r)) return r;
  // A plain pointer: only a spatial may stand here, whatever the file says.
  const u64 referenceId = record.TakeNextId();
  CBase* referenced = stream.ObjectFromId(referenceId);
  reference_ = DynamicCast<CSpatial>(referenced);
  if (referenced == nullptr && referenceId != 0) stream.AddUnresolved(referenceId, this);
  if (reference_ != nullptr) {
    // Kept only when the delivered roots keep the spatial alive with this
    // mesh; otherwise it is treated as unresolved.
    stream.AddPostLinkStep([this, &stream] {
      if (!stream.CanReferTo(this, reference_)) reference_ = nullptr;
      return kOk;
    });
  }
  return LinkNext(stream, record.TakeNextId());
}

u32 CBoundingMesh::SavedTriangleCount() const { return std::min(triangleQuantity_, xyzTriIndex_.GetCount() / 3); }

Result CBoundingMesh::Save(CStream& stream, u32 flags) {
  Result r = CDorun::Save(stream, flags);
  if (Succeeded(r)) r = WriteVersion(stream, StaticClassRecord());
  if (Succeeded(r)) r = WriteObjectId(stream, reference_);
  if (Succeeded(r)) r = WriteObjectId(stream, next_.Get());
  // The count and the indices it announces are written together: a count
  // without its indices would put every later field out of step.
  const u32 triangles = SavedTriangleCount();
  if (Succeeded(r)) r = WriteU32(stream, triangles);
  if (Succeeded(r) && triangles != 0) {
    r = stream.Write(xyzTriIndex_.GetData(), static_cast<u32>(3 * triangles * sizeof(u32)));
  }
  if (Succeeded(r)) r = WriteU32(stream, xyz_.GetCount());
  if (Succeeded(r) && !xyz_.IsEmpty()) {
    r = stream.Write(xyz_.GetData(), static_cast<u32>(xyz_.GetCount() * sizeof(Vec3)));
  }
  if (Succeeded(r)) r = WriteBool(stream, active_);
  if (Succeeded(r)) r = WriteBool(stream, freeze_);
  return r;
}

void CBoundingMesh::DescribeMembers(CMemberVisitor& visitor) {
  visitor.BeginGroup(u"CBoundingMesh Member");
  visitor.OpenGroup();
  visitor.ObjectRef(u"Reference", reference_);
  visitor.UInt(u"TriangleQuantity", &triangleQuantity_);
  visitor.Color(u"Color", &color_);
  visitor.Bool(u"IsHide", &isHide_);
  visitor.Bool(u"Active", &active_);
  visitor.Bool(u"Freeze", &freeze_);
  visitor.UIntArray(u"XYZTriIndex", xyzTriIndex_.GetData(), xyzTriIndex_.GetCount());
  visitor.VectorArray(u"XYZ", xyz_.GetData(), xyz_.GetCount());
  visitor.VectorArray(u"WorldXYZ", worldXyz_.GetData(), worldXyz_.GetCount());
  visitor.EndGroup();
  CDorun::DescribeMembers(visitor);
}

void CBoundingMesh::EnumReferences(CReferenceVisitor& visitor) {
  visitor.Visit(next_.Get(), 1);
  CDorun::EnumReferences(visitor);
}

u32 CBoundingMesh::GetMemorySize() const { return CDorun::GetMemorySize() + 80; }

u32 CBoundingMesh::GetSaveSize() const {
  // 8 version bytes, two 8-byte ids, the triangle and position counts and
  // two flag bytes.
  return CDorun::GetSaveSize() + 12 * xyz_.GetCount() + 4 * 3 * SavedTriangleCount() + 34;
}

}  // namespace KT
