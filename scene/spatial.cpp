#include "scene/spatial.h"

#include <algorithm>

#include "objectmodel/nested_walk.h"
#include "objectmodel/stream.h"
#include "objectmodel/stream_fields.h"
#include "objectmodel/vector.h"
#include "scene/bounding_mesh.h"

namespace KT {

const char16_t* const CSpatial::kRenderStateNames[3] = {u"RS_WireFrame", u"RS_GouraudShading", u"RS_Normal"};

namespace {

// Files before 2.01 wrote 512 where they meant "inherit everything".
constexpr u32 kLegacyInheritAll = 512;

}  // namespace

CSpatial::CSpatial() = default;

CSpatial::CSpatial(const CSpatial& other)
    : CDorun(other),
      inherited_(other.inherited_),
      basis_(other.basis_),
      local_(other.local_),
      worldScale_(other.worldScale_),
      worldRotate_(other.worldRotate_),
      worldMatrix_(other.worldMatrix_),
      worldBound_(other.worldBound_),
      active_(other.active_),
      isHide_(other.isHide_),
      forceCull_(other.forceCull_),
      freeze_(other.freeze_),
      renderState_(other.renderState_),
      currentLod_(other.currentLod_),
      stickyEnable_(other.stickyEnable_) {}

CSpatial::~CSpatial() {
  boundingMesh_.Release();
  attachment_.Release();
}

Result CSpatial::AddBoundingMesh(CBoundingMesh* mesh) {
  if (mesh == nullptr) return kErrInvalidArg;
  SetModified();
  if (boundingMesh_) return boundingMesh_->AppendMesh(mesh);
  boundingMesh_ = mesh;
  return kOk;
}

Result CSpatial::GetUpdateDepth(i32 time, i32& depth) {
  if (IsDirty()) {
    // Reached through what other objects' controllers read (bones,
    // targets, references), depth queries nest: bounded.
    const CEvaluationDepthGuard guard;
    if (guard.Exceeded()) return kErrInvalidArg;
    // The parent's depth would ask its own parent first when that is Dirty,
    // once per level of a deep tree: the Dirty ancestors are settled from
    // the top down instead, so each finds its parent settled. The values
    // and the order of the queries are those of the nested form.
    if (parent_ != nullptr && parent_->IsDirty()) {
      std::vector<CSpatial*> dirtyAncestors;
      for (CSpatial* p = parent_; p != nullptr && p->IsDirty(); p = p->parent_) dirtyAncestors.push_back(p);
      for (auto it = dirtyAncestors.rbegin(); it != dirtyAncestors.rend(); ++it) {
        i32 ignored = 0;
        const Result r = (*it)->GetUpdateDepth(time, ignored);
        if (Failed(r)) return r;
      }
    }
    updateDepth_ = 0;
    if (parent_ != nullptr) {
      const Result r = parent_->RaiseUpdateDepth(time, updateDepth_);
      if (Failed(r)) return r;
    }
    // Dirty is cleared before the controllers are asked, so a controller
    // that reads its own spatial, or a cycle of constraints, ends at the
    // cached value instead of recursing.
    SetDirty(false);
    i32 c = 0;
    for (CDorun* e = GetFirstControl(); e != nullptr; e = e->GetChainNext()) {
      const Result r = e->ElementUpdateDepth(time, c);
      if (Failed(r)) return r;
    }
    if (boundingMesh_) boundingMesh_->RaiseDepthOfReference(this, time, c);
    updateDepth_ = std::max({updateDepth_, GetMinUpdateDepth(), c});
  }
  depth = std::max(depth, updateDepth_);
  return kOk;
}

Result CSpatial::RaiseUpdateDepth(i32 time, i32& depth) {
  i32 own = 0;
  const Result r = GetUpdateDepth(time, own);
  if (Failed(r)) return r;
  depth = std::max(depth, own + 1);
  return kOk;
}

bool CSpatial::HasSubStepControls() const {
  for (CDorun* e = GetFirstControl(); e != nullptr; e = e->GetChainNext()) {
    if (e->ElementNeedsSubSteps()) return true;
  }
  return false;
}

Result CSpatial::UpdateTransform(i32 time) {
  for (CDorun* e = GetFirstControl(); e != nullptr; e = e->GetChainNext()) {
    const Result r = e->ElementUpdateTransform(time);
    if (Failed(r)) return r;
    e->ElementApplyTransform();
  }
  return kOk;
}

Result CSpatial::UpdateForView(const CUpdateView*) { return kDone; }

Result CSpatial::GetBound(CBound&) { return kDone; }

Result CSpatial::RemapReferences(const CloneMap&) { return kOk; }

CBase* CSpatial::Find(const char16_t* name, const ClassRecord* record, bool includeDerived, bool onlyMarked) {
  if (CBase* hit = CDorun::Find(name, record, includeDerived, onlyMarked)) return hit;
  if (attachment_) {
    if (CBase* hit = attachment_->Find(name, record, includeDerived, onlyMarked)) return hit;
  }
  if (boundingMesh_) return boundingMesh_->Find(name, record, includeDerived, onlyMarked);
  return nullptr;
}

void CSpatial::Collect(std::vector<CBase*>& out, const char16_t* name, const ClassRecord* record,
                       bool includeDerived, bool onlyMarked) {
  CDorun::Collect(out, name, record, includeDerived, onlyMarked);
  if (attachment_) attachment_->Collect(out, name, record, includeDerived, onlyMarked);
  if (boundingMesh_) boundingMesh_->Collect(out, name, record, includeDerived, onlyMarked);
}

bool CSpatial::UpdateMarked(const ObjectSet& set) {
  bool marked = CDorun::UpdateMarked(set);
  if (attachment_) marked = attachment_->UpdateMarked(set) || marked;
  if (boundingMesh_) marked = boundingMesh_->UpdateMarked(set) || marked;
  SetMarked(marked);
  return marked;
}

void CSpatial::ClearMarked() {
  CDorun::ClearMarked();
  if (attachment_) attachment_->ClearMarked();
  if (boundingMesh_) boundingMesh_->ClearMarked();
}

Result CSpatial::ResolveReferences(CBase* root) {
  if (root == nullptr) return kErrInvalidArg;
  if (boundingMesh_) {
    const Result r = boundingMesh_->ResolveReferences(root);
    if (Failed(r)) return r;
  }
  return CDorun::ResolveReferences(root);
}

Result CSpatial::CollectAnimated(std::vector<CDorun*>& animated) {
  const Result r = CDorun::CollectAnimated(animated);
  if (Failed(r)) return r;
  return boundingMesh_ ? boundingMesh_->CollectAnimated(animated) : r;
}

Result CSpatial::Update(i32 time) { return UpdateOk(time); }

Result CSpatial::RegisterForSave(CStream& stream, u32 flags) {
  Result r = CDorun::RegisterForSave(stream, flags);
  if (r != kOk) return r;
  if (attachment_) {
    r = attachment_->RegisterForSave(stream, flags);
    if (Failed(r)) return r;
  }
  if (boundingMesh_) {
    r = boundingMesh_->RegisterForSave(stream, flags);
    if (Failed(r)) return r;
  }
  return kOk;
}

void CSpatial::EnumReferences(CReferenceVisitor& visitor) {
  visitor.Visit(attachment_.Get(), 1);
  visitor.Visit(boundingMesh_.Get(), 1);
  CDorun::EnumReferences(visitor);
}

bool CSpatial::HasSubObjects() const { return attachment_ || boundingMesh_ || CDorun::HasSubObjects(); }

u32 CSpatial::GetMemorySize() const { return CDorun::GetMemorySize() + 344; }

u32 CSpatial::GetSaveSize() const { return CDorun::GetSaveSize() + 95; }

Result CSpatial::Clone(CPointer<CBase>& out, CloneMap& cloneMap, u32 flags) {
  Result r = CDorun::Clone(out, cloneMap, flags);
  if (r != kOk) return r;
  CSpatial* copy = static_cast<CSpatial*>(out.Get());
  if (attachment_) {
    r = CloneMember(copy->attachment_, cloneMap, attachment_.Get(), flags);
    if (Failed(r)) return r;
  }
  if (boundingMesh_) {
    CPointer<CBoundingMesh> mesh;
    r = CloneMember(mesh, cloneMap, boundingMesh_.Get(), flags);
    if (Failed(r)) return r;
    copy->AddBoundingMesh(mesh.Get());
  }
  return kOk;
}

Result CSpatial::CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const {
  CSpatial* other = DynamicCast<CSpatial>(target);
  if (other == nullptr) return target == nullptr ? kErrInvalidArg : kErrNotFound;
  const Result r = CDorun::CopyTo(target, displaced, flags);
  if (Failed(r)) return r;
  other->inherited_ = inherited_;
  other->basis_ = basis_;
  other->worldBound_ = worldBound_;
  other->local_ = local_;
  other->worldScale_ = worldScale_;
  other->worldRotate_ = worldRotate_;
  other->worldMatrix_ = worldMatrix_;
  other->active_ = active_;
  other->isHide_ = isHide_;
  other->forceCull_ = forceCull_;
  other->freeze_ = freeze_;
  other->renderState_ = renderState_;
  other->currentLod_ = currentLod_;
  AssignPointerMember(displaced, attachment_, other->attachment_);
  AssignPointerMember(displaced, boundingMesh_, other->boundingMesh_);
  return kOk;
}

Result CSpatial::Load(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  Result r = CDorun::Load(stream, record, flags);
  if (Succeeded(r)) r = stream.ReadVersionBlock(StaticClassRecord());
  if (Failed(r)) return r;
  const i32 v = stream.GetStoredVersion(StaticClassRecord());
  linksReferences_ = v >= static_cast<i32>(kVersionSplitTransform);
  if (v < static_cast<i32>(kVersionSplitTransform)) {
    // The oldest records store the whole matrix and no references.
    CMatrix4 matrix;
    r = ReadFloatBlock(stream, matrix);
    if (Succeeded(r)) basis_ = CRtsTransform::FromMatrix(matrix);
    if (Succeeded(r)) r = ReadBool(stream, active_);
    u32 count = 0;
    if (Succeeded(r)) r = ReadU32(stream, count);
    if (Succeeded(r)) r = stream.CheckAvailable(count, 4);
    for (u32 i = 0; Succeeded(r) && i < count; ++i) {
      u32 dropped = 0;
      r = ReadU32(stream, dropped);
    }
    return r;
  }
  if (v < static_cast<i32>(kVersionRtsRecord)) {
    CMatrix3 rotation;
    CVector3<float> translation;
    CVector3<float> scale;
    r = ReadFloatBlock(stream, rotation);
    if (Succeeded(r)) r = ReadFloatBlock(stream, translation);
    if (Succeeded(r)) r = ReadFloatBlock(stream, scale);
    if (Succeeded(r)) r = ReadU32(stream, inherited_);
    if (Failed(r)) return r;
    CMatrix4 matrix;
    const f32 factors[3] = {scale.x, scale.y, scale.z};
    for (int i = 0; i < 3; ++i) {
      for (int j = 0; j < 3; ++j) matrix.m[i][j] = rotation.m[i][j] * factors[i];
    }
    matrix.m[3][0] = translation.x;
    matrix.m[3][1] = translation.y;
    matrix.m[3][2] = translation.z;
    basis_ = CRtsTransform::FromMatrix(matrix);
    if (v < static_cast<i32>(kVersionKeepInherited512) && inherited_ == kLegacyInheritAll) inherited_ = 0;
  } else {
    r = ReadFloatBlock(stream, basis_);
    if (Succeeded(r)) r = ReadU32(stream, inherited_);
    if (Failed(r)) return r;
  }
  if (v >= static_cast<i32>(kVersionWideIds)) {
    r = ReadObjectId(stream, record);
    if (Succeeded(r)) r = ReadObjectId(stream, record);
  } else {
    r = ReadObjectId32(stream, record);
    if (Succeeded(r)) r = ReadObjectId32(stream, record);
  }
  if (Succeeded(r)) r = ReadBool(stream, active_);
  if (Succeeded(r) && v >= static_cast<i32>(kVersionIsHide)) r = ReadBool(stream, isHide_);
  if (Succeeded(r) && v >= static_cast<i32>(kVersionFreeze)) r = ReadBool(stream, freeze_);
  if (Succeeded(r) && v >= static_cast<i32>(kVersionRenderState)) r = ReadU32(stream, renderState_);
  return r;
}

Result CSpatial::Link(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  Result r = CDorun::Link(stream, record, flags);
  if (Failed(r) || !linksReferences_) return r;
  CDorun* attachment = DynamicCast<CDorun>(stream.ObjectFromId(record.TakeNextId()));
  CBoundingMesh* mesh = DynamicCast<CBoundingMesh>(stream.ObjectFromId(record.TakeNextId()));
  for (CBase* owned : {static_cast<CBase*>(attachment), static_cast<CBase*>(mesh)}) {
    if (owned == nullptr) continue;
    r = stream.ClaimOwnership(this, owned);
    if (Failed(r)) return r;
  }
  attachment_ = attachment;
  boundingMesh_ = mesh;
  return kOk;
}

Result CSpatial::Save(CStream& stream, u32 flags) {
  Result r = CDorun::Save(stream, flags);
  if (Succeeded(r)) r = WriteVersion(stream, StaticClassRecord());
  if (Succeeded(r)) r = WriteFloatBlock(stream, basis_);
  if (Succeeded(r)) r = WriteU32(stream, inherited_);
  if (Succeeded(r)) r = WriteObjectId(stream, attachment_.Get());
  if (Succeeded(r)) r = WriteObjectId(stream, boundingMesh_.Get());
  if (Succeeded(r)) r = WriteBool(stream, active_);
  if (Succeeded(r)) r = WriteBool(stream, isHide_);
  if (Succeeded(r)) r = WriteBool(stream, freeze_);
  if (Succeeded(r)) r = WriteU32(stream, renderState_);
  return r;
}

void CSpatial::DescribeMembers(CMemberVisitor& visitor) {
  i32 renderState = static_cast<i32>(renderState_);
  visitor.BeginGroup(u"CSpatial Member");
  visitor.OpenGroup();
  visitor.ObjectRef(u"Parent", parent_);
  visitor.UInt(u"Inherited", &inherited_);
  visitor.Rts(u"Basis", &basis_);
  visitor.Rts(u"Local", &local_);
  visitor.Bound(u"WorldBound", &worldBound_);
  visitor.Matrix3(u"WorldScale", &worldScale_);
  visitor.Matrix3(u"WorldRotate", &worldRotate_);
  visitor.Matrix4(u"WorldMatrix", &worldMatrix_);
  visitor.Bool(u"Active", &active_);
  visitor.Bool(u"IsHide", &isHide_);
  visitor.Bool(u"ForceCull", &forceCull_);
  visitor.Bool(u"Freeze", &freeze_);
  visitor.Enum(u"RenderState", &renderState, kRenderStateNames, 3);
  visitor.Bool(u"Sticky.Enable", &stickyEnable_);
  visitor.Time(u"Sticky.Start", &stickyStart_);
  visitor.Time(u"Sticky.End", &stickyEnd_);
  visitor.EndGroup();
  CDorun::DescribeMembers(visitor);
}

}  // namespace KT
