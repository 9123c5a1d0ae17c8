#include "scene/group_tri_mesh.h"

#include <new>

#include "objectmodel/class_factory.h"
#include "objectmodel/stream.h"
#include "objectmodel/stream_fields.h"

namespace KT {

namespace {

// Passes failures on and reports every other result as kOk.
Result OkUnlessFailed(Result r) { return Failed(r) ? r : kOk; }

}  // namespace

CGroupTriMesh::CGroupTriMesh() = default;

CGroupTriMesh::CGroupTriMesh(const CGroupTriMesh& other)
    : CTriMesh(other),
      groupId_(other.groupId_),
      layer_(other.layer_),
      clipDepth_(other.clipDepth_),
      facingCamera_(other.facingCamera_),
      previousLayer_(other.previousLayer_) {}

CGroupTriMesh::~CGroupTriMesh() = default;

Result CGroupTriMesh::Create(CPointer<CGroupTriMesh>& out) {
  CGroupTriMesh* mesh = new (std::nothrow) CGroupTriMesh();
  if (mesh == nullptr) return kErrOutOfMemory;
  out = mesh;
  return kOk;
}

Result CGroupTriMesh::Update(i32 time) {
  previousLayer_ = layer_;
  return OkUnlessFailed(CTriMesh::Update(time));
}

Result CGroupTriMesh::ResolveReferences(CBase* root) { return OkUnlessFailed(CTriMesh::ResolveReferences(root)); }

Result CGroupTriMesh::Link(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  return OkUnlessFailed(CTriMesh::Link(stream, record, flags));
}

Result CGroupTriMesh::Clone(CPointer<CBase>& out, CloneMap& cloneMap, u32 flags) {
  const Result r = CTriMesh::Clone(out, cloneMap, flags);
  return r == kDone ? r : OkUnlessFailed(r);
}

Result CGroupTriMesh::RegisterForSave(CStream& stream, u32 flags) {
  const Result r = CTriMesh::RegisterForSave(stream, flags);
  return r == kDone ? r : OkUnlessFailed(r);
}

u32 CGroupTriMesh::GetMemorySize() const { return CTriMesh::GetMemorySize() + 24; }

u32 CGroupTriMesh::GetSaveSize() const {
  // Version pair (8), Group ID, Layer, ClipDepth (12), FacingCamera (1).
  return CTriMesh::GetSaveSize() + 21;
}

Result CGroupTriMesh::CreateInstance(CPointer<CBase>& out) const { return CreateCopy(*this, out); }

Result CGroupTriMesh::CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const {
  // Checked before the mesh part is copied, so a refused target stays as
  // it was.
  CGroupTriMesh* other = DynamicCast<CGroupTriMesh>(target);
  if (other == nullptr) return target == nullptr ? kErrInvalidArg : kErrNotFound;
  const Result r = CTriMesh::CopyTo(target, displaced, flags);
  if (Failed(r)) return r;
  other->groupId_ = groupId_;
  other->layer_ = layer_;
  other->clipDepth_ = clipDepth_;
  other->facingCamera_ = facingCamera_;
  return kOk;
}

Result CGroupTriMesh::Load(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  Result r = CTriMesh::Load(stream, record, flags);
  if (Succeeded(r)) r = stream.ReadVersionBlock(StaticClassRecord());
  if (Failed(r)) return r;
  const i32 v = stream.GetStoredVersion(StaticClassRecord());
  r = ReadU32(stream, groupId_);
  if (Succeeded(r)) r = ReadU32(stream, layer_);
  if (Succeeded(r) && v >= static_cast<i32>(kVersionClipDepth)) r = ReadU32(stream, clipDepth_);
  if (Succeeded(r) && v >= static_cast<i32>(kVersionFacingCamera)) r = ReadBool(stream, facingCamera_);
  if (Failed(r)) return r;
  previousLayer_ = layer_;
  return kOk;
}

Result CGroupTriMesh::Save(CStream& stream, u32 flags) {
  Result r = CTriMesh::Save(stream, flags);
  if (Succeeded(r)) r = WriteVersion(stream, StaticClassRecord());
  if (Succeeded(r)) r = WriteI32(stream, groupId_);
  if (Succeeded(r)) r = WriteU32(stream, layer_);
  if (Succeeded(r)) r = WriteU32(stream, clipDepth_);
  if (Succeeded(r)) r = WriteBool(stream, facingCamera_);
  return r;
}

void CGroupTriMesh::DescribeMembers(CMemberVisitor& visitor) {
  visitor.BeginGroup(u"CGroupTriMesh Member");
  visitor.OpenGroup();
  visitor.Int(u"Group ID", &groupId_);
  visitor.UInt(u"Layer", &layer_);
  visitor.UInt(u"ClipDepth", &clipDepth_);
  visitor.Bool(u"FacingCamera", &facingCamera_);
  visitor.EndGroup();
  CTriMesh::DescribeMembers(visitor);
}

}  // namespace KT
