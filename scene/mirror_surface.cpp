#include "scene/mirror_surface.h"

#include <algorithm>
#include <new>

#include "objectmodel/class_factory.h"
#include "objectmodel/matrix4.h"
#include "objectmodel/stream.h"
#include "objectmodel/stream_fields.h"
#include "scene/geometry_data.h"
#include "scene/uvw_map.h"

namespace KT {

// --- shared part ----------------------------------------------------------------------------

CUvwMappedGeometry::CUvwMappedGeometry() = default;

CUvwMappedGeometry::CUvwMappedGeometry(const CUvwMappedGeometry& other) : CGeometry(other), maps_(other.maps_) {}

CUvwMappedGeometry::~CUvwMappedGeometry() { maps_.clear(); }

CUvwMap* CUvwMappedGeometry::GetUvwMap(u32 index) const {
  return index < maps_.size() ? maps_[index].Get() : nullptr;
}

void CUvwMappedGeometry::SetUvwMaps(const MapList& maps) {
  maps_ = maps;
  SetModified();
}

void CUvwMappedGeometry::AddUvwMap(CUvwMap* map) {
  maps_.emplace_back(map);
  SetModified();
}

Result CUvwMappedGeometry::Update(i32 time) {
  SetWorldXYZReady(false);
  const CGeometryData* level = GetLod(0);
  if (level == nullptr) return kDone;
  // WorldXYZ takes level 0's size, so that neither the copy nor the
  // transform below runs past either buffer.
  const CBuffer<Vec3>& local = level->GetXYZ();
  CBuffer<Vec3>& world = GetWorldXYZ();
  Result r = kOk;
  if (local.IsEmpty()) {
    world.Free();
  } else if (world.GetCount() != local.GetCount()) {
    r = world.Create(local.GetCount(), local.GetData());
  } else {
    std::copy(local.begin(), local.end(), world.begin());
  }
  if (Failed(r)) return r;
  // The controllers: a deformer overwrites WorldXYZ here and, when it
  // leaves world positions behind, sets WorldXYZReady.
  r = CGeometry::Update(time);
  if (Failed(r)) return r;
  if (!IsWorldXYZReady()) {
    r = TransformVerticesToWorld();
    if (Failed(r)) return r;
  }
  return kOk;
}

Result CUvwMappedGeometry::TransformVerticesToWorld() {
  CBuffer<Vec3>& world = GetWorldXYZ();
  // A controller may have resized WorldXYZ: only entries both buffers
  // describe are moved.
  const u32 n = std::min(world.GetCount(), GetLodVertexCount(0));
  const CMatrix4& matrix = GetWorldMatrix();
  for (u32 i = 0; i < n; ++i) Vec3TransformCoord(world[i], world[i], matrix);
  SetWorldXYZReady(true);
  return kOk;
}

CBase* CUvwMappedGeometry::Find(const char16_t* name, const ClassRecord* record, bool includeDerived,
                                bool onlyMarked) {
  if (CBase* hit = CGeometry::Find(name, record, includeDerived, onlyMarked)) return hit;
  for (const CPointer<CUvwMap>& map : maps_) {
    if (!map) continue;
    if (CBase* hit = map->Find(name, record, includeDerived, onlyMarked)) return hit;
  }
  return nullptr;
}

void CUvwMappedGeometry::Collect(std::vector<CBase*>& out, const char16_t* name, const ClassRecord* record,
                                 bool includeDerived, bool onlyMarked) {
  CGeometry::Collect(out, name, record, includeDerived, onlyMarked);
  for (const CPointer<CUvwMap>& map : maps_) {
    if (map) map->Collect(out, name, record, includeDerived, onlyMarked);
  }
}

bool CUvwMappedGeometry::UpdateMarked(const ObjectSet& set) {
  bool marked = CGeometry::UpdateMarked(set);
  for (const CPointer<CUvwMap>& map : maps_) {
    if (map) marked = map->UpdateMarked(set) || marked;
  }
  SetMarked(marked);
  return marked;
}

void CUvwMappedGeometry::ClearMarked() {
  CGeometry::ClearMarked();
  for (const CPointer<CUvwMap>& map : maps_) {
    if (map) map->ClearMarked();
  }
}

Result CUvwMappedGeometry::ResolveReferences(CBase* root) {
  if (root == nullptr) return kErrInvalidArg;
  for (const CPointer<CUvwMap>& map : maps_) {
    if (!map) continue;
    const Result r = map->ResolveReferences(root);
    if (Failed(r)) return r;
  }
  return CGeometry::ResolveReferences(root);
}

bool CUvwMappedGeometry::HasSubObjects() const {
  for (const CPointer<CUvwMap>& map : maps_) {
    if (map) return true;
  }
  return CGeometry::HasSubObjects();
}

Result CUvwMappedGeometry::RegisterForSave(CStream& stream, u32 flags) {
  Result r = CGeometry::RegisterForSave(stream, flags);
  if (r != kOk) return r;
  for (const CPointer<CUvwMap>& map : maps_) {
    if (!map) continue;
    r = map->RegisterForSave(stream, flags);
    if (Failed(r)) return r;
  }
  return kOk;
}

void CUvwMappedGeometry::EnumReferences(CReferenceVisitor& visitor) {
  for (const CPointer<CUvwMap>& map : maps_) visitor.Visit(map.Get(), 1);
  CGeometry::EnumReferences(visitor);
}

Result CUvwMappedGeometry::CollectAnimated(std::vector<CDorun*>& animated) {
  Result r = CGeometry::CollectAnimated(animated);
  if (Failed(r)) return r;
  if (std::find(animated.begin(), animated.end(), this) == animated.end()) animated.push_back(this);
  for (const CPointer<CUvwMap>& map : maps_) {
    if (!map) continue;
    r = map->CollectAnimated(animated);
    if (Failed(r)) return r;
  }
  return kOk;
}

Result CUvwMappedGeometry::Clone(CPointer<CBase>& out, CloneMap& cloneMap, u32 flags) {
  Result r = CGeometry::Clone(out, cloneMap, flags);
  if (r != kOk) return r;
  // The copy constructor left the copy sharing this object's maps; each
  // entry now becomes its clone.
  CUvwMappedGeometry* copy = static_cast<CUvwMappedGeometry*>(out.Get());
  copy->maps_.assign(maps_.size(), CPointer<CUvwMap>());
  for (std::size_t i = 0; i < maps_.size(); ++i) {
    r = CloneMember(copy->maps_[i], cloneMap, maps_[i].Get(), flags);
    if (Failed(r)) return r;
  }
  return kOk;
}

void CUvwMappedGeometry::CopyMapsTo(CUvwMappedGeometry& target, DisplacedList& displaced) const {
  // The former maps are handed to the caller rather than released here:
  // the caller may still be using them.
  for (const CPointer<CUvwMap>& map : target.maps_) {
    if (map) displaced.emplace_back(map.Get());
  }
  target.maps_ = maps_;
}

Result CUvwMappedGeometry::Link(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  Result r = CGeometry::Link(stream, record, flags);
  if (Failed(r)) return r;
  for (CPointer<CUvwMap>& slot : maps_) {
    const u64 id = record.TakeNextId();
    CBase* object = stream.ObjectFromId(id);
    CUvwMap* map = DynamicCast<CUvwMap>(object);
    if (map == nullptr) {
      if (object == nullptr && id != 0) stream.AddUnresolved(id, this);
      slot = nullptr;
      continue;
    }
    r = stream.ClaimOwnership(this, map);
    if (Failed(r)) return r;
    slot = map;
  }
  return kOk;
}

Result CUvwMappedGeometry::SaveMaps(CStream& stream) const {
  Result r = WriteU32(stream, GetUVWMapQuantity());
  for (std::size_t i = 0; Succeeded(r) && i < maps_.size(); ++i) r = WriteObjectId(stream, maps_[i].Get());
  return r;
}

Result CUvwMappedGeometry::LoadMaps(CStream& stream, CStreamLoadRecord& record, bool wideIds) {
  u32 count = 0;
  Result r = ReadU32(stream, count);
  if (Succeeded(r)) r = stream.CheckAvailable(count, wideIds ? 8 : 4);
  if (Failed(r)) return r;
  try {
    maps_.assign(count, CPointer<CUvwMap>());
  } catch (const std::bad_alloc&) {
    maps_.clear();
    return kErrOutOfMemory;
  }
  for (u32 i = 0; i < count; ++i) {
    r = wideIds ? ReadObjectId(stream, record) : ReadObjectId32(stream, record);
    if (Failed(r)) return r;
  }
  return kOk;
}

// --- mirror surface ---------------------------------------------------------------------------

CMirrorSurface::CMirrorSurface() = default;

CMirrorSurface::CMirrorSurface(const CMirrorSurface& other) : CUvwMappedGeometry(other) {}

CMirrorSurface::~CMirrorSurface() = default;

Result CMirrorSurface::Create(CPointer<CMirrorSurface>& out) {
  CMirrorSurface* surface = new (std::nothrow) CMirrorSurface();
  if (surface == nullptr) return kErrOutOfMemory;
  out = surface;
  return kOk;
}

u32 CMirrorSurface::GetMemorySize() const { return CGeometry::GetMemorySize() + 8 + 4 * GetUVWMapQuantity(); }

u32 CMirrorSurface::GetSaveSize() const { return CGeometry::GetSaveSize() + 8 + GetMapsSaveSize(); }

Result CMirrorSurface::CreateInstance(CPointer<CBase>& out) const { return CreateCopy(*this, out); }

Result CMirrorSurface::CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const {
  // Checked before the geometry part is copied, so a refused target stays
  // as it was.
  CMirrorSurface* other = DynamicCast<CMirrorSurface>(target);
  if (other == nullptr) return target == nullptr ? kErrInvalidArg : kErrNotFound;
  const Result r = CGeometry::CopyTo(target, displaced, flags);
  if (Failed(r)) return r;
  CopyMapsTo(*other, displaced);
  return kOk;
}

Result CMirrorSurface::Load(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  Result r = CGeometry::Load(stream, record, flags);
  if (Succeeded(r)) r = stream.ReadVersionBlock(StaticClassRecord());
  if (Succeeded(r)) r = LoadMaps(stream, record, true);
  return r;
}

Result CMirrorSurface::Save(CStream& stream, u32 flags) {
  Result r = CGeometry::Save(stream, flags);
  if (Succeeded(r)) r = WriteVersion(stream, StaticClassRecord());
  if (Succeeded(r)) r = SaveMaps(stream);
  return r;
}

void CMirrorSurface::DescribeMembers(CMemberVisitor& visitor) {
  u32 quantity = GetUVWMapQuantity();
  visitor.BeginGroup(u"CMirrorSurface Member");
  visitor.OpenGroup();
  visitor.UInt(u"UVWMapQuantity", &quantity);
  visitor.EndGroup();
  CGeometry::DescribeMembers(visitor);
}

}  // namespace KT
