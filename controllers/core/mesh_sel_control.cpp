#include "controllers/core/mesh_sel_control.h"

#include <limits>
#include <new>
#include <utility>

#include "objectmodel/class_factory.h"
#include "objectmodel/stream.h"
#include "objectmodel/stream_fields.h"
#include "scene/geometry.h"

namespace KT {

namespace {

// A bit array's copy leaves itself with 0 bits when its words cannot be
// allocated; this tells such a copy from a faithful one.
bool IsWholeCopy(const CBitArray& copy, const CBitArray& source) {
  return copy.GetBitCount() == source.GetBitCount() && copy.HasWords() == source.HasWords();
}

}  // namespace

CMeshSelControl::~CMeshSelControl() = default;

Result CMeshSelControl::SetXYZSelBit(const CBitArray& bits) {
  CBitArray copy(bits);
  if (!IsWholeCopy(copy, bits)) return kErrOutOfMemory;
  xyzSelBit_ = std::move(copy);
  SetModified();
  return kOk;
}

Result CMeshSelControl::SelectVertex(i32 index, bool selected) {
  const Result r = xyzSelBit_.SetBit(index, selected);
  if (Succeeded(r)) SetModified();
  return r;
}

Result CMeshSelControl::SizeToObject() {
  if (GetObject() == nullptr) return kErrInvalidArg;
  const CGeometry* geometry = DynamicCast<CGeometry>(GetObject());
  if (geometry == nullptr) return kErrNotFound;
  const u32 vertices = geometry->GetLodVertexCount(0);
  if (vertices > static_cast<u32>(std::numeric_limits<i32>::max())) return kErrOutOfRange;
  CBitArray bits(static_cast<i32>(vertices));
  if (bits.GetBitCount() != static_cast<i32>(vertices)) return kErrOutOfMemory;
  xyzSelBit_ = std::move(bits);
  SetModified();
  return kOk;
}

Result CMeshSelControl::Update(i32) { return kDone; }

Result CMeshSelControl::Apply() { return kDone; }

// --- root protocol ----------------------------------------------------------------------------

Result CMeshSelControl::CreateInstance(CPointer<CBase>& out) const {
  CPointer<CBase> copy;
  const Result r = CreateCopy(*this, copy);
  if (Failed(r)) return r;
  if (!IsWholeCopy(static_cast<CMeshSelControl*>(copy.Get())->xyzSelBit_, xyzSelBit_)) return kErrOutOfMemory;
  out = copy;
  return kOk;
}

Result CMeshSelControl::CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const {
  CMeshSelControl* other = DynamicCast<CMeshSelControl>(target);
  if (other == nullptr) return kErrNotFound;
  CBitArray bits(xyzSelBit_);
  if (!IsWholeCopy(bits, xyzSelBit_)) return kErrOutOfMemory;
  const Result r = CDataControl::CopyTo(target, displaced, flags);
  if (Failed(r)) return r;
  other->xyzSelBit_ = std::move(bits);
  return kOk;
}

Result CMeshSelControl::Load(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  Result r = CDataControl::Load(stream, record, flags);
  if (Succeeded(r)) r = stream.ReadVersionBlock(StaticClassRecord());
  if (Succeeded(r)) r = xyzSelBit_.Load(stream);
  return r;
}

Result CMeshSelControl::Save(CStream& stream, u32 flags) {
  Result r = CDataControl::Save(stream, flags);
  if (Succeeded(r)) r = WriteVersion(stream, StaticClassRecord());
  if (Succeeded(r)) r = xyzSelBit_.Save(stream);
  return r;
}

void CMeshSelControl::DescribeMembers(CMemberVisitor& visitor) {
  visitor.BeginGroup(u"CMeshSelControl Member");
  visitor.OpenGroup();
  visitor.BitArray(u"XYZSelBit", &xyzSelBit_);
  visitor.EndGroup();
  CDataControl::DescribeMembers(visitor);
}

u32 CMeshSelControl::GetMemorySize() const {
  return CDataControl::GetMemorySize() + xyzSelBit_.GetMemorySize() + 16;
}

u32 CMeshSelControl::GetSaveSize() const { return CDataControl::GetSaveSize() + 8 + xyzSelBit_.GetSaveSize(); }

}  // namespace KT
