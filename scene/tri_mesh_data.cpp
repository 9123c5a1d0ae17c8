#include "scene/tri_mesh_data.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>
#include <utility>

#include "objectmodel/class_factory.h"

namespace KT {

namespace {

// The most triangles whose 3n corner entries a buffer can hold.
constexpr u32 kMaxTriangles = std::numeric_limits<u32>::max() / 3 / sizeof(u32);

}  // namespace

CTriMeshData::CTriMeshData(const CTriMeshData& other)
    : CGeometryData(other),
      triangleQuantity_(other.triangleQuantity_),
      triangleMtlId_(other.triangleMtlId_),
      smooth_(other.smooth_),
      xyzTriIndex_(other.xyzTriIndex_),
      normalTriIndex_(other.normalTriIndex_),
      colorTriIndex_(other.colorTriIndex_),
      vertexTriIndex_(other.vertexTriIndex_),
      attributeRanges_(other.attributeRanges_),
      tangentIndex_(other.tangentIndex_) {}

CTriMeshData::~CTriMeshData() = default;

Result CTriMeshData::Create(CPointer<CTriMeshData>& out) {
  CTriMeshData* data = new (std::nothrow) CTriMeshData();
  if (data == nullptr) return kErrOutOfMemory;
  out = data;
  return kOk;
}

u32 CTriMeshData::CornerCount() const {
  return triangleQuantity_ <= kMaxTriangles ? 3 * triangleQuantity_ : std::numeric_limits<u32>::max();
}

void CTriMeshData::Clear() {
  triangleQuantity_ = 0;
  for (CBuffer<u32>* buffer :
       {&xyzTriIndex_, &normalTriIndex_, &colorTriIndex_, &vertexTriIndex_, &triangleMtlId_, &smooth_}) {
    buffer->Free();
  }
  tangentIndex_.Free();
  uvwMaps_.clear();
  SetModified();
}

Result CTriMeshData::SetTriangleQuantity(u32 n) {
  if (n == 0) return kErrInvalidArg;
  if (n > kMaxTriangles) return kErrOutOfMemory;
  Clear();
  triangleQuantity_ = n;
  Result r = kOk;
  if (!GetXYZ().IsEmpty()) r = xyzTriIndex_.Create(3 * n);
  if (Succeeded(r) && !GetNormal().IsEmpty()) r = normalTriIndex_.Create(3 * n);
  if (Succeeded(r) && !GetColor().IsEmpty()) r = colorTriIndex_.Create(3 * n);
  return r;
}

Result CTriMeshData::AllocateTriangleMtlID() {
  const Result r = triangleMtlId_.Create(triangleQuantity_);
  if (Succeeded(r)) SetModified();
  return r;
}

Result CTriMeshData::AllocateSmooth() {
  const Result r = smooth_.Create(triangleQuantity_);
  if (Succeeded(r)) SetModified();
  return r;
}

CUvwMap* CTriMeshData::GetUvwChannel(u32 i) const { return i < uvwMaps_.size() ? uvwMaps_[i].Get() : nullptr; }

Result CTriMeshData::AddUvwMap(CUvwMap* map) {
  if (map == nullptr) return kErrInvalidArg;
  if (std::find(uvwMaps_.begin(), uvwMaps_.end(), map) != uvwMaps_.end()) return kDone;
  uvwMaps_.emplace_back(map);
  SetModified();
  return kOk;
}

Result CTriMeshData::SetUvwMap(u32 index, CUvwMap* map) {
  if (index >= uvwMaps_.size()) return kErrOutOfRange;
  if (map == nullptr) return kErrInvalidArg;
  if (std::find(uvwMaps_.begin(), uvwMaps_.end(), map) != uvwMaps_.end()) return kDone;
  uvwMaps_[index] = map;
  SetModified();
  return kOk;
}

Result CTriMeshData::CheckIndices() const {
  Result r = CGeometryData::CheckIndices();
  if (Failed(r)) return r;
  const u32 vertices = GetVertexMapCount();
  bool ok = true;
  for (const TangentIndex& t : tangentIndex_) {
    ok = ok && t.IndexA < vertices && t.IndexB < vertices && t.IndexC < vertices;
  }
  for (const AttributeRange& range : attributeRanges_) {
    ok = ok && static_cast<u64>(range.FaceStart) + range.FaceCount <= triangleQuantity_;
  }
  return ok ? kOk : kErrNotFound;
}

Result CTriMeshData::ReadAttributeRanges(CStream& stream) {
  u32 count = 0;
  Result r = ReadU32(stream, count);
  if (Failed(r) || count == 0) return r;
  r = stream.CheckAvailable(count, sizeof(AttributeRange));
  if (Failed(r)) return r;
  std::vector<AttributeRange> ranges;
  try {
    ranges.resize(count);
  } catch (const std::bad_alloc&) {
    return kErrOutOfMemory;
  }
  const u32 bytes = count * static_cast<u32>(sizeof(AttributeRange));
  r = stream.Read(ranges.data(), bytes, bytes);
  if (Succeeded(r)) attributeRanges_ = std::move(ranges);
  return r;
}

// --- the object protocol ------------------------------------------------------------

CBase* CTriMeshData::Find(const char16_t* name, const ClassRecord* record, bool includeDerived, bool onlyMarked) {
  if (CBase* hit = CGeometryData::Find(name, record, includeDerived, onlyMarked)) return hit;
  for (const CPointer<CUvwMap>& map : uvwMaps_) {
    if (!map) continue;
    if (CBase* hit = map->Find(name, record, includeDerived, onlyMarked)) return hit;
  }
  return nullptr;
}

void CTriMeshData::Collect(std::vector<CBase*>& out, const char16_t* name, const ClassRecord* record,
                           bool includeDerived, bool onlyMarked) {
  CGeometryData::Collect(out, name, record, includeDerived, onlyMarked);
  for (const CPointer<CUvwMap>& map : uvwMaps_) {
    if (map) map->Collect(out, name, record, includeDerived, onlyMarked);
  }
}

bool CTriMeshData::UpdateMarked(const ObjectSet& set) {
  bool marked = CGeometryData::UpdateMarked(set);
  for (const CPointer<CUvwMap>& map : uvwMaps_) {
    if (map) marked = map->UpdateMarked(set) || marked;
  }
  SetMarked(marked);
  return marked;
}

void CTriMeshData::ClearMarked() {
  CGeometryData::ClearMarked();
  for (const CPointer<CUvwMap>& map : uvwMaps_) {
    if (map) map->ClearMarked();
  }
}

Result CTriMeshData::ResolveReferences(CBase* root) {
  Result r = CDorun::ResolveReferences(root);
  if (Failed(r)) return r;
  for (const CPointer<CUvwMap>& map : uvwMaps_) {
    if (!map) continue;
    r = map->ResolveReferences(root);
    if (Failed(r)) return r;
  }
  return kOk;
}

Result CTriMeshData::CollectAnimated(std::vector<CDorun*>& animated) {
  Result r = CDorun::CollectAnimated(animated);
  if (Failed(r)) return r;
  for (const CPointer<CUvwMap>& map : uvwMaps_) {
    if (!map) continue;
    r = map->CollectAnimated(animated);
    if (Failed(r)) return r;
  }
  return kOk;
}

Result CTriMeshData::RegisterForSave(CStream& stream, u32 flags) {
  Result r = CGeometryData::RegisterForSave(stream, flags);
  if (r == kDone || Failed(r)) return r;
  for (const CPointer<CUvwMap>& map : uvwMaps_) {
    if (!map) continue;
    r = map->RegisterForSave(stream, flags);
    if (Failed(r)) return r;
  }
  return kOk;
}

void CTriMeshData::EnumReferences(CReferenceVisitor& visitor) {
  for (const CPointer<CUvwMap>& map : uvwMaps_) visitor.Visit(map.Get(), 1);
  CGeometryData::EnumReferences(visitor);
}

bool CTriMeshData::HasSubObjects() const {
  for (const CPointer<CUvwMap>& map : uvwMaps_) {
    if (map) return true;
  }
  return CDorun::HasSubObjects();
}

Result CTriMeshData::CreateInstance(CPointer<CBase>& out) const {
  CPointer<CBase> copy;
  Result r = CreateCopy(*this, copy);
  if (Failed(r)) return r;
  const CTriMeshData& made = static_cast<const CTriMeshData&>(*copy);
  // The buffer copies cannot report a failed allocation themselves.
  bool complete = made.tangentIndex_.GetCount() == tangentIndex_.GetCount() &&
                  made.GetXYZ().GetCount() == GetXYZ().GetCount() &&
                  made.GetNormal().GetCount() == GetNormal().GetCount() &&
                  made.GetColor().GetCount() == GetColor().GetCount() &&
                  made.GetXYZMtlID().GetCount() == GetXYZMtlID().GetCount() &&
                  made.GetVertexXYZMap().GetCount() == GetVertexXYZMap().GetCount() &&
                  made.GetVertexNormalMap().GetCount() == GetVertexNormalMap().GetCount() &&
                  made.GetVertexColorMap().GetCount() == GetVertexColorMap().GetCount();
  const CBuffer<u32>* const mine[] = {&triangleMtlId_, &smooth_, &xyzTriIndex_, &normalTriIndex_, &colorTriIndex_,
                                      &vertexTriIndex_};
  const CBuffer<u32>* const theirs[] = {&made.triangleMtlId_, &made.smooth_,         &made.xyzTriIndex_,
                                        &made.normalTriIndex_, &made.colorTriIndex_, &made.vertexTriIndex_};
  for (u32 i = 0; i < 6; ++i) complete = complete && mine[i]->GetCount() == theirs[i]->GetCount();
  if (!complete) return kErrOutOfMemory;
  out = copy;
  return kOk;
}

Result CTriMeshData::Clone(CPointer<CBase>& out, CloneMap& cloneMap, u32 flags) {
  Result r = CGeometryData::Clone(out, cloneMap, flags);
  if (r == kDone || Failed(r)) return r;
  CTriMeshData* copy = static_cast<CTriMeshData*>(out.Get());
  for (const CPointer<CUvwMap>& map : uvwMaps_) {
    if (!map) continue;
    CPointer<CUvwMap> clone;
    r = CloneMember(clone, cloneMap, map.Get(), flags);
    if (Failed(r)) return r;
    // A channel listed twice here is listed once in the clone.
    copy->AddUvwMap(clone.Get());
  }
  return kOk;
}

Result CTriMeshData::CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const {
  CTriMeshData* other = DynamicCast<CTriMeshData>(target);
  if (other == nullptr) return kErrNotFound;
  Result r = CGeometryData::CopyTo(target, displaced, flags);
  if (Failed(r)) return r;
  other->triangleQuantity_ = triangleQuantity_;
  for (auto [to, from] : {std::pair{&other->xyzTriIndex_, &xyzTriIndex_},
                          std::pair{&other->normalTriIndex_, &normalTriIndex_},
                          std::pair{&other->colorTriIndex_, &colorTriIndex_},
                          std::pair{&other->vertexTriIndex_, &vertexTriIndex_},
                          std::pair{&other->triangleMtlId_, &triangleMtlId_}, std::pair{&other->smooth_, &smooth_}}) {
    r = to->CopyFrom(*from);
    if (Failed(r)) return r;
  }
  r = other->tangentIndex_.CopyFrom(tangentIndex_);
  if (Failed(r)) return r;
  for (CPointer<CUvwMap>& former : other->uvwMaps_) {
    if (former) displaced.emplace_back(former.Get());
  }
  other->uvwMaps_ = uvwMaps_;
  other->attributeRanges_ = attributeRanges_;
  other->SetModified();
  return kOk;
}

// --- the record -----------------------------------------------------------------------

Result CTriMeshData::Load(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  Result r = CGeometryData::Load(stream, record, flags);
  if (Succeeded(r)) r = stream.ReadVersionBlock(StaticClassRecord());
  if (Succeeded(r)) r = ReadU32(stream, triangleQuantity_);
  if (Failed(r)) return r;
  const u64 n = triangleQuantity_;
  for (CBuffer<u32>* buffer : {&xyzTriIndex_, &normalTriIndex_, &colorTriIndex_, &vertexTriIndex_}) {
    r = ReadPresentBuffer(stream, *buffer, 3 * n);
    if (Failed(r)) return r;
  }
  r = ReadPresentBuffer(stream, triangleMtlId_, n);
  if (Succeeded(r)) r = ReadPresentBuffer(stream, smooth_, n);
  if (Succeeded(r)) r = ReadReferenceVector(stream, record, uvwMaps_);
  if (Succeeded(r)) r = ReadPresentBuffer(stream, tangentIndex_, GetVertexMapCount());
  if (Succeeded(r)) r = ReadAttributeRanges(stream);
  if (Failed(r)) return r;
  // Vertex maps, tangents and ranges past their buffers are refused; a
  // triangle whose corners do so loads and is skipped by every reader.
  return CheckIndices();
}

Result CTriMeshData::Link(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  Result r = CGeometryData::Link(stream, record, flags);
  if (Failed(r)) return r;
  for (CPointer<CUvwMap>& slot : uvwMaps_) {
    CUvwMap* map = DynamicCast<CUvwMap>(stream.ObjectFromId(record.TakeNextId()));
    if (map != nullptr) {
      r = stream.ClaimOwnership(this, map);
      if (Failed(r)) return r;
    }
    slot = map;
  }
  return kOk;
}

Result CTriMeshData::Save(CStream& stream, u32 flags) {
  const u32 corners = CornerCount();
  Result r = CGeometryData::Save(stream, flags);
  if (Succeeded(r)) r = WriteVersion(stream, StaticClassRecord());
  if (Succeeded(r)) r = WriteU32(stream, triangleQuantity_);
  for (const CBuffer<u32>* buffer : {&xyzTriIndex_, &normalTriIndex_, &colorTriIndex_, &vertexTriIndex_}) {
    if (Succeeded(r)) r = WritePresentBuffer(stream, *buffer, corners);
  }
  if (Succeeded(r)) r = WritePresentBuffer(stream, triangleMtlId_, triangleQuantity_);
  if (Succeeded(r)) r = WritePresentBuffer(stream, smooth_, triangleQuantity_);
  if (Succeeded(r)) r = WriteReferenceVector(stream, uvwMaps_);
  if (Succeeded(r)) r = WritePresentBuffer(stream, tangentIndex_, GetVertexMapCount());
  if (Succeeded(r)) r = WritePodVector(stream, attributeRanges_);
  return r;
}

void CTriMeshData::DescribeMembers(CMemberVisitor& visitor) {
  visitor.BeginGroup(u"CTriMeshData Member");
  visitor.OpenGroup();
  visitor.UInt(u"TriangleQuantity", &triangleQuantity_);
  visitor.UIntArray(u"TriangleMtlID", triangleMtlId_.GetData(), triangleMtlId_.GetCount());
  visitor.UIntArray(u"Smooth", smooth_.GetData(), smooth_.GetCount());
  visitor.UIntArray(u"XYZTriIndex", xyzTriIndex_.GetData(), xyzTriIndex_.GetCount());
  visitor.UIntArray(u"NormalTriIndex", normalTriIndex_.GetData(), normalTriIndex_.GetCount());
  visitor.UIntArray(u"ColorTriIndex", colorTriIndex_.GetData(), colorTriIndex_.GetCount());
  visitor.UIntArray(u"VertexTriIndex", vertexTriIndex_.GetData(), vertexTriIndex_.GetCount());
  // One element per record: the element count is what a visitor may index.
  visitor.RecordArray(u"TangentIndex", tangentIndex_.GetCount(), [this](u32 i, CMemberVisitor& v) {
    v.UInt(u"IndexA ", &tangentIndex_[i].IndexA);
    v.UInt(u"IndexB ", &tangentIndex_[i].IndexB);
    v.UInt(u"IndexC ", &tangentIndex_[i].IndexC);
  });
  visitor.RecordArray(u"AttributeRanges", static_cast<u32>(attributeRanges_.size()),
                      [this](u32 i, CMemberVisitor& v) {
                        v.UInt(u"ID", &attributeRanges_[i].ID);
                        v.UInt(u"FaceStart", &attributeRanges_[i].FaceStart);
                        v.UInt(u"FaceCount", &attributeRanges_[i].FaceCount);
                      });
  visitor.EndGroup();
  CGeometryData::DescribeMembers(visitor);
}

bool CTriMeshData::IsEqual(const CGeometryData* other) const {
  const CTriMeshData* mesh = DynamicCast<CTriMeshData>(other);
  if (mesh == nullptr || !CGeometryData::IsEqual(other)) return false;
  if (triangleQuantity_ != mesh->triangleQuantity_ ||
      colorTriIndex_.GetCount() != mesh->colorTriIndex_.GetCount() ||
      attributeRanges_.size() != mesh->attributeRanges_.size() || smooth_.GetCount() != mesh->smooth_.GetCount() ||
      uvwMaps_.size() != mesh->uvwMaps_.size()) {
    return false;
  }
  if (!xyzTriIndex_.SameBytes(mesh->xyzTriIndex_) || !normalTriIndex_.SameBytes(mesh->normalTriIndex_) ||
      !vertexTriIndex_.SameBytes(mesh->vertexTriIndex_) || !tangentIndex_.SameBytes(mesh->tangentIndex_)) {
    return false;
  }
  for (std::size_t i = 0; i < uvwMaps_.size(); ++i) {
    // A channel that did not resolve has no coordinates.
    const u32 count = uvwMaps_[i] ? uvwMaps_[i]->GetUVW().GetCount() : 0;
    if (count == 0) continue;
    if (!mesh->uvwMaps_[i] || mesh->uvwMaps_[i]->GetUVW().GetCount() < count) return false;
    if (std::memcmp(uvwMaps_[i]->GetUVW().GetData(), mesh->uvwMaps_[i]->GetUVW().GetData(),
                    count * sizeof(CUvwMap::Vec3)) != 0) {
      return false;
    }
  }
  return true;
}

u32 CTriMeshData::GetMemorySize() const {
  u32 entries = 0;
  for (const CBuffer<u32>* buffer :
       {&triangleMtlId_, &smooth_, &xyzTriIndex_, &normalTriIndex_, &colorTriIndex_, &vertexTriIndex_}) {
    entries += buffer->GetCount();
  }
  return CGeometryData::GetMemorySize() + 4 * entries + 4 * static_cast<u32>(uvwMaps_.size()) +
         12 * tangentIndex_.GetCount() + 12 * static_cast<u32>(attributeRanges_.size()) + 172;
}

u32 CTriMeshData::GetSaveSize() const {
  const u32 corners = CornerCount();
  u32 size = CGeometryData::GetSaveSize() + 8 + 4;  // version pair, n
  for (const CBuffer<u32>* buffer : {&xyzTriIndex_, &normalTriIndex_, &colorTriIndex_, &vertexTriIndex_}) {
    size += PresentBufferSaveSize(*buffer, corners);
  }
  size += PresentBufferSaveSize(triangleMtlId_, triangleQuantity_) + PresentBufferSaveSize(smooth_, triangleQuantity_);
  size += GetPointerVectorSaveSize(static_cast<u32>(uvwMaps_.size()));
  size += PresentBufferSaveSize(tangentIndex_, GetVertexMapCount());
  return size + PodVectorSaveSize(attributeRanges_);
}

}  // namespace KT
