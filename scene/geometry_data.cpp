#include "scene/geometry_data.h"

#include <cstring>
#include <new>
#include <utility>

#include "objectmodel/class_factory.h"

namespace KT {

namespace {

// True when every entry of `map` is below `limit`.
bool AllBelow(const CBuffer<u32>& map, u32 limit) {
  for (u32 value : map) {
    if (value >= limit) return false;
  }
  return true;
}

}  // namespace

CGeometryData::CGeometryData(const CGeometryData& other)
    : CDorun(other),
      xyz_(other.xyz_),
      normal_(other.normal_),
      color_(other.color_),
      xyzMtlId_(other.xyzMtlId_),
      vertexXyzMap_(other.vertexXyzMap_),
      vertexNormalMap_(other.vertexNormalMap_),
      vertexColorMap_(other.vertexColorMap_),
      boundingBox_(other.boundingBox_) {}

Result CGeometryData::Create(CPointer<CGeometryData>& out) {
  CGeometryData* data = new (std::nothrow) CGeometryData();
  if (data == nullptr) return kErrOutOfMemory;
  out = data;
  return kOk;
}

u32 CGeometryData::GetVertexMapCount() const {
  for (const CBuffer<u32>* map : {&vertexXyzMap_, &vertexNormalMap_, &vertexColorMap_}) {
    if (!map->IsEmpty()) return map->GetCount();
  }
  return 0;
}

Result CGeometryData::AllocateXYZ(u32 count) {
  const Result r = xyz_.Create(count);
  if (Succeeded(r)) SetModified();
  return r;
}

Result CGeometryData::AllocateNormal(u32 count) {
  const Result r = normal_.Create(count);
  if (Succeeded(r)) SetModified();
  return r;
}

Result CGeometryData::AllocateColor(u32 count) {
  const Result r = color_.Create(count);
  if (Succeeded(r)) SetModified();
  return r;
}

Result CGeometryData::AllocateXYZMtlID() {
  const Result r = xyzMtlId_.Create(xyz_.GetCount());
  if (Succeeded(r)) SetModified();
  return r;
}

Result CGeometryData::AllocateVertexMaps(u32 count) {
  vertexXyzMap_.Free();
  vertexNormalMap_.Free();
  vertexColorMap_.Free();
  SetModified();
  Result r = kOk;
  if (!xyz_.IsEmpty()) r = vertexXyzMap_.Create(count);
  if (Succeeded(r) && !normal_.IsEmpty()) r = vertexNormalMap_.Create(count);
  if (Succeeded(r) && !color_.IsEmpty()) r = vertexColorMap_.Create(count);
  return r;
}

void CGeometryData::UpdateBoundingBox() {
  boundingBox_.FromPoints(static_cast<i32>(xyz_.GetCount()), xyz_.GetData());
}

Result CGeometryData::CopyVertexStreams(const CGeometryData& source) {
  Result r = xyz_.CopyFrom(source.xyz_);
  if (Succeeded(r)) r = xyzMtlId_.CopyFrom(source.xyzMtlId_);
  if (Succeeded(r)) r = normal_.CopyFrom(source.normal_);
  if (Succeeded(r)) r = color_.CopyFrom(source.color_);
  if (Succeeded(r)) r = vertexXyzMap_.CopyFrom(source.vertexXyzMap_);
  if (Succeeded(r)) r = vertexNormalMap_.CopyFrom(source.vertexNormalMap_);
  if (Succeeded(r)) r = vertexColorMap_.CopyFrom(source.vertexColorMap_);
  UpdateBoundingBox();
  SetModified();
  return r;
}

Result CGeometryData::CheckIndices() const {
  if (!AllBelow(vertexXyzMap_, xyz_.GetCount()) || !AllBelow(vertexNormalMap_, normal_.GetCount()) ||
      !AllBelow(vertexColorMap_, color_.GetCount())) {
    return kErrNotFound;
  }
  return kOk;
}

Result CGeometryData::LoadVertexBlock(CStream& stream) {
  u32 n = 0;
  Result r = ReadU32(stream, n);
  if (Failed(r)) return r;
  if (n > 0) {
    r = stream.CheckAvailable(n, sizeof(Vec3));
    if (Succeeded(r)) r = xyz_.Create(n);
    if (Succeeded(r)) r = stream.Read(xyz_.GetData(), xyz_.GetByteSize(), xyz_.GetByteSize());
    if (Failed(r)) return r;
  }
  // XYZMtlID has no count of its own: it follows the positions.
  r = ReadPresentBuffer(stream, xyzMtlId_, n);
  u32 count = 0;
  if (Succeeded(r)) r = ReadU32(stream, count);
  if (Succeeded(r)) r = ReadPresentBuffer(stream, normal_, count);
  if (Succeeded(r)) r = ReadU32(stream, count);
  if (Succeeded(r)) r = ReadPresentBuffer(stream, color_, count);
  // One count for all three maps.
  if (Succeeded(r)) r = ReadU32(stream, count);
  if (Succeeded(r)) r = ReadPresentBuffer(stream, vertexXyzMap_, count);
  if (Succeeded(r)) r = ReadPresentBuffer(stream, vertexNormalMap_, count);
  if (Succeeded(r)) r = ReadPresentBuffer(stream, vertexColorMap_, count);
  if (Failed(r)) return r;
  UpdateBoundingBox();
  // A map entry past its stream would send every reader of the unified
  // vertices out of bounds.
  return CheckIndices();
}

bool CGeometryData::IsEqual(const CGeometryData* other) const {
  if (other == nullptr) return false;
  if (color_.GetCount() != other->color_.GetCount() ||
      vertexColorMap_.GetCount() != other->vertexColorMap_.GetCount()) {
    return false;
  }
  return xyz_.SameBytes(other->xyz_) && normal_.SameBytes(other->normal_) &&
         vertexXyzMap_.SameBytes(other->vertexXyzMap_) && vertexNormalMap_.SameBytes(other->vertexNormalMap_);
}

Result CGeometryData::CreateInstance(CPointer<CBase>& out) const {
  CPointer<CBase> copy;
  const Result r = CreateCopy(*this, copy);
  if (Failed(r)) return r;
  const CGeometryData& made = static_cast<const CGeometryData&>(*copy);
  // The buffer copies cannot report a failed allocation themselves.
  for (auto [a, b] : {std::pair{&made.xyz_, &xyz_}, std::pair{&made.normal_, &normal_},
                      std::pair{&made.color_, &color_}}) {
    if (a->GetCount() != b->GetCount()) return kErrOutOfMemory;
  }
  for (auto [a, b] : {std::pair{&made.xyzMtlId_, &xyzMtlId_}, std::pair{&made.vertexXyzMap_, &vertexXyzMap_},
                      std::pair{&made.vertexNormalMap_, &vertexNormalMap_},
                      std::pair{&made.vertexColorMap_, &vertexColorMap_}}) {
    if (a->GetCount() != b->GetCount()) return kErrOutOfMemory;
  }
  out = copy;
  return kOk;
}

Result CGeometryData::Clone(CPointer<CBase>& out, CloneMap& cloneMap, u32 flags) {
  const Result r = CDorun::Clone(out, cloneMap, flags);
  return r == kDone || Failed(r) ? r : kOk;
}

Result CGeometryData::CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const {
  CGeometryData* other = DynamicCast<CGeometryData>(target);
  if (other == nullptr) return kErrNotFound;
  Result r = CDorun::CopyTo(target, displaced, flags);
  if (Failed(r)) return r;
  r = other->CopyVertexStreams(*this);
  other->boundingBox_ = boundingBox_;
  return r;
}

Result CGeometryData::Load(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  Result r = CDorun::Load(stream, record, flags);
  if (Succeeded(r)) r = stream.ReadVersionBlock(StaticClassRecord());
  if (Succeeded(r)) r = LoadVertexBlock(stream);
  return r;
}

Result CGeometryData::Link(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  const Result r = CDorun::Link(stream, record, flags);
  return Failed(r) ? r : kOk;
}

Result CGeometryData::Save(CStream& stream, u32 flags) {
  const u32 n = xyz_.GetCount();
  const u32 k = GetVertexMapCount();
  Result r = CDorun::Save(stream, flags);
  if (Succeeded(r)) r = WriteVersion(stream, StaticClassRecord());
  if (Succeeded(r)) r = WriteU32(stream, n);
  if (Succeeded(r) && n > 0) r = stream.Write(xyz_.GetData(), xyz_.GetByteSize());
  if (Succeeded(r)) r = WritePresentBuffer(stream, xyzMtlId_, n);
  if (Succeeded(r)) r = WriteU32(stream, normal_.GetCount());
  if (Succeeded(r)) r = WritePresentBuffer(stream, normal_, normal_.GetCount());
  if (Succeeded(r)) r = WriteU32(stream, color_.GetCount());
  if (Succeeded(r)) r = WritePresentBuffer(stream, color_, color_.GetCount());
  if (Succeeded(r)) r = WriteU32(stream, k);
  if (Succeeded(r)) r = WritePresentBuffer(stream, vertexXyzMap_, k);
  if (Succeeded(r)) r = WritePresentBuffer(stream, vertexNormalMap_, k);
  if (Succeeded(r)) r = WritePresentBuffer(stream, vertexColorMap_, k);
  return r;
}

void CGeometryData::DescribeMembers(CMemberVisitor& visitor) {
  visitor.BeginGroup(u"CGeometry Data");
  visitor.OpenGroup();
  visitor.VectorArray(u"XYZ", xyz_.GetData(), xyz_.GetCount());
  visitor.VectorArray(u"Normal", normal_.GetData(), normal_.GetCount());
  visitor.VectorArray(u"Color", color_.GetData(), color_.GetCount());
  visitor.UIntArray(u"VertexXYZMap", vertexXyzMap_.GetData(), vertexXyzMap_.GetCount());
  visitor.UIntArray(u"VertexNormalMap", vertexNormalMap_.GetData(), vertexNormalMap_.GetCount());
  visitor.UIntArray(u"VertexColorMap", vertexColorMap_.GetData(), vertexColorMap_.GetCount());
  visitor.UIntArray(u"XYZMtlID", xyzMtlId_.GetData(), xyzMtlId_.GetCount());
  visitor.EndGroup();
  CDorun::DescribeMembers(visitor);
}

u32 CGeometryData::GetMemorySize() const {
  return CDorun::GetMemorySize() + 152 + xyz_.GetByteSize() + normal_.GetByteSize() + color_.GetByteSize() +
         xyzMtlId_.GetByteSize() + vertexXyzMap_.GetByteSize() + vertexNormalMap_.GetByteSize() +
         vertexColorMap_.GetByteSize();
}

u32 CGeometryData::GetSaveSize() const {
  const u32 n = xyz_.GetCount();
  const u32 k = GetVertexMapCount();
  // Version pair 8, the XYZ count 4, then each presence-word buffer
  // (preceded by its count where the record has one).
  return CDorun::GetSaveSize() + 12 + xyz_.GetByteSize() + PresentBufferSaveSize(xyzMtlId_, n) + 4 +
         PresentBufferSaveSize(normal_, normal_.GetCount()) + 4 + PresentBufferSaveSize(color_, color_.GetCount()) +
         4 + PresentBufferSaveSize(vertexXyzMap_, k) + PresentBufferSaveSize(vertexNormalMap_, k) +
         PresentBufferSaveSize(vertexColorMap_, k);
}

}  // namespace KT
