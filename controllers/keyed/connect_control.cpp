#include "controllers/keyed/connect_control.h"

#include <new>

#include "objectmodel/class_factory.h"
#include "objectmodel/owned_link.h"
#include "objectmodel/member_visitor.h"
#include "objectmodel/stream.h"
#include "objectmodel/stream_fields.h"

namespace KT {

CConnectControl::~CConnectControl() = default;

// --- evaluation ------------------------------------------------------------------------------------

Result CConnectControl::Update(i32 time) {
  if (CheckActive() == kDone) return kDone;
  if (GetObject() == nullptr || !data_) return kErrInvalidArg;
  CTriMesh* mesh = DynamicCast<CTriMesh>(GetObject());
  if (mesh == nullptr) return kErrNotFound;
  data_->StampMesh(mesh, time);
  // The weld averages world positions and normals: the mesh's normals are
  // rebuilt now when it asks for that, and its positions are moved into
  // world space when no deformer has, so both sides meet in one space.
  if (mesh->GetRecomputeNormals() && !mesh->IsWorldNormalReady()) {
    const Result r = mesh->UpdateWorldNormals();
    if (Failed(r)) return r;
  }
  if (!mesh->IsWorldXYZReady()) {
    const Result r = mesh->TransformToWorld();
    if (Failed(r)) return r;
  }
  return data_->Update(time);
}

Result CConnectControl::Apply() { return kDone; }

Result CConnectControl::GetDataUpdateDepth(void* context, i32& depth) {
  if (CheckActive() == kDone || !data_) return kDone;
  data_->ClearStamps();
  CTriMesh* mesh0 = data_->GetMesh0();
  if (mesh0 != nullptr && mesh0 != GetObject()) return mesh0->RaiseDataUpdateDepth(context, depth);
  return kOk;
}

// --- chain operations -----------------------------------------------------------------------------------

CBase* CConnectControl::FindInElement(const char16_t* name, const ClassRecord* record, bool includeDerived,
                                      bool onlyMarked) {
  if (CBase* hit = CDataControl::FindInElement(name, record, includeDerived, onlyMarked)) return hit;
  return data_ ? data_->Find(name, record, includeDerived, onlyMarked) : nullptr;
}

void CConnectControl::CollectInElement(std::vector<CBase*>& out, const char16_t* name, const ClassRecord* record,
                                       bool includeDerived, bool onlyMarked) {
  CDataControl::CollectInElement(out, name, record, includeDerived, onlyMarked);
  if (data_) data_->Collect(out, name, record, includeDerived, onlyMarked);
}

bool CConnectControl::UpdateMarkedInElement(const ObjectSet& set) {
  bool marked = CDataControl::UpdateMarkedInElement(set);
  if (data_) marked = data_->UpdateMarked(set) || marked;
  return marked;
}

void CConnectControl::ClearMarkedInElement() {
  CDataControl::ClearMarkedInElement();
  if (data_) data_->ClearMarked();
}

Result CConnectControl::ResolveReferencesInElement(CBase* root) {
  if (data_) {
    const Result r = data_->ResolveReferences(root);
    if (Failed(r)) return r;
  }
  return CDataControl::ResolveReferencesInElement(root);
}

Result CConnectControl::RegisterElementForSave(CStream& stream, u32 flags) {
  const Result r = CDataControl::RegisterElementForSave(stream, flags);
  if (r != kOk || !data_) return r;
  const Result d = data_->RegisterForSave(stream, flags);
  return Failed(d) ? d : kOk;
}

void CConnectControl::EnumReferences(CReferenceVisitor& visitor) {
  visitor.Visit(data_.Get(), 1);
  CDataControl::EnumReferences(visitor);
}

bool CConnectControl::HasSubObjects() const { return data_ || CDataControl::HasSubObjects(); }

// --- copies ------------------------------------------------------------------------------------------------

Result CConnectControl::CreateInstance(CPointer<CBase>& out) const {
  try {
    return CreateCopy(*this, out);
  } catch (const std::bad_alloc&) {
    return kErrOutOfMemory;
  }
}

Result CConnectControl::Clone(CPointer<CBase>& out, CloneMap& cloneMap, u32 flags) {
  Result r = CDataControl::Clone(out, cloneMap, flags);
  if (r != kOk || !data_) return r;
  CConnectControl* copy = DynamicCast<CConnectControl>(out.Get());
  if (copy == nullptr) return kErrNotFound;
  CPointer<CBase> seam;
  r = CloneObject(seam, cloneMap, data_.Get(), flags & ~kCloneElementOnly);
  if (Failed(r)) return r;
  CConnectData* typed = DynamicCast<CConnectData>(seam.Get());
  if (typed == nullptr) return kErrOutOfMemory;
  copy->data_ = typed;
  return kOk;
}

Result CConnectControl::CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const {
  const Result r = CDataControl::CopyTo(target, displaced, flags);
  if (Failed(r)) return r;
  CConnectControl* other = DynamicCast<CConnectControl>(target);
  if (other == nullptr) return kErrNotFound;
  if (other->data_.Get() != data_.Get()) {
    if (other->data_) displaced.emplace_back(other->data_.Get());
    other->data_ = data_;
  }
  return kOk;
}

// --- persistence ---------------------------------------------------------------------------------------------

Result CConnectControl::Load(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  Result r = CDataControl::Load(stream, record, flags);
  if (Succeeded(r)) r = stream.ReadVersionBlock(StaticClassRecord());
  if (Failed(r)) return r;
  const i32 v = stream.GetStoredVersion(StaticClassRecord());
  return v >= static_cast<i32>(kVersionWideId) ? ReadObjectId(stream, record) : ReadObjectId32(stream, record);
}

Result CConnectControl::Link(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  const Result r = CDataControl::Link(stream, record, flags);
  if (Failed(r)) return r;
  return LinkOwnedPointer(stream, record, this, data_);
}

Result CConnectControl::Save(CStream& stream, u32 flags) {
  Result r = CDataControl::Save(stream, flags);
  if (Succeeded(r)) r = WriteVersion(stream, StaticClassRecord());
  if (Succeeded(r)) r = WriteObjectId(stream, data_.Get());
  return r;
}

u32 CConnectControl::GetMemorySize() const {
  return CDataControl::GetMemorySize() + static_cast<u32>(sizeof(*this) - sizeof(CDataControl));
}

// The version pair and the seam's 8-byte id.
u32 CConnectControl::GetSaveSize() const { return CDataControl::GetSaveSize() + 16; }

}  // namespace KT
