#include "scene/tri_mesh.h"

#include <algorithm>
#include <initializer_list>
#include <limits>
#include <utility>

#include "objectmodel/class_factory.h"
#include "objectmodel/matrix4.h"
#include "objectmodel/stream.h"
#include "objectmodel/stream_fields.h"
#include "scene/tri_mesh_data.h"
#include "scene/update_driver.h"
#include "scene/uvw_map.h"

namespace KT {

namespace {

// The tangent record of 2.02 files: the three vertex indices that the
// current record keeps, and 12 bytes nobody reads.
struct TangentIndexBranch22 {
  u32 IndexA = 0;
  u32 IndexB = 0;
  u32 IndexC = 0;
  u32 Unused[3] = {0, 0, 0};
};
static_assert(sizeof(TangentIndexBranch22) == 24, "the stored record is 24 bytes");

// Makes `world` a copy of `level`'s vectors, reallocating only when the
// counts differ (a level without vectors empties it).
Result CopyToWorld(CBuffer<CVector3<float>>& world, const CBuffer<CVector3<float>>& level) {
  if (level.IsEmpty()) {
    world.Free();
    return kOk;
  }
  if (world.GetCount() != level.GetCount()) return world.Create(level.GetCount(), level.GetData());
  std::copy(level.begin(), level.end(), world.begin());
  return kOk;
}

// The triangles that every listed per-corner buffer holds in full.
u32 WholeTriangles(u32 triangleQuantity, std::initializer_list<const CBuffer<u32>*> buffers) {
  u32 n = triangleQuantity;
  for (const CBuffer<u32>* buffer : buffers) n = std::min(n, buffer->GetCount() / 3);
  return n;
}

}  // namespace

CTriMesh::CTriMesh() = default;

CTriMesh::CTriMesh(const CTriMesh& other)
    : CGeometry(other),
      lodParam0_(other.lodParam0_),
      lodParam1_(other.lodParam1_),
      showEdge_(other.showEdge_),
      showNormal_(other.showNormal_) {}

CTriMesh::~CTriMesh() {
  lodObjects_.clear();
  oldLayoutData_.Release();
}

Result CTriMesh::Create(CPointer<CTriMesh>& out) {
  CTriMesh* mesh = new (std::nothrow) CTriMesh();
  if (mesh == nullptr) return kErrOutOfMemory;
  out = mesh;
  return kOk;
}

CTriMeshData* CTriMesh::GetTriMeshLod(u32 index) const { return DynamicCast<CTriMeshData>(GetLod(index)); }

CGeometryData* CTriMesh::GetLodInUse() const {
  const u32 count = GetLodCount();
  if (count == 0) return nullptr;
  return GetLod(std::min(GetCurrentLod(), count - 1));
}

Result CTriMesh::AddLodObject(u32 level, CDorun* object) {
  if (object == nullptr) return kErrInvalidArg;
  if (level >= lodObjects_.size()) return kErrOutOfRange;
  lodObjects_[level].emplace_back(object);
  SetModified();
  return kOk;
}

namespace {

bool IsMaterial(const CDorun* object) {
  return object != nullptr && object->IsKindOf(GetClassRecordAt(ClassIndex::CMaterial));
}

}  // namespace

CDorun* CTriMesh::GetMaterial() const {
  if (lodObjects_.empty()) return nullptr;
  for (const CPointer<CDorun>& object : lodObjects_.front()) {
    if (IsMaterial(object.Get())) return object.Get();
  }
  return nullptr;
}

Result CTriMesh::SetMaterial(CDorun* material) {
  if (!IsMaterial(material)) return kErrInvalidArg;
  if (lodObjects_.empty()) return kErrOutOfRange;
  LodObjectList& list = lodObjects_.front();
  auto it = std::find_if(list.begin(), list.end(), [](const CPointer<CDorun>& o) { return IsMaterial(o.Get()); });
  if (it != list.end()) {
    *it = material;
  } else {
    list.emplace(list.begin(), material);
  }
  SetModified();
  return kOk;
}

// --- mesh operations --------------------------------------------------------------------------

bool CTriMesh::IntersectRay(const Vec3& origin, const Vec3& direction, bool twoSided, u32& triangle, f32& distance,
                            Vec3& point, Vec3& normal, bool useLocal) {
  const CTriMeshData* level = GetTriMeshLod(0);
  if (level == nullptr) {
    // Nothing to hit; the outputs are set as for a miss.
    return IntersectRayTriangles(origin, direction, twoSided, nullptr, 0, nullptr, 0, 0, triangle, distance, point,
                                 normal);
  }
  const CBuffer<Vec3>& positions = useLocal ? level->GetXYZ() : GetWorldXYZ();
  const CBuffer<u32>& indices = level->GetXYZTriIndex();
  return IntersectRayTriangles(origin, direction, twoSided, indices.GetData(), indices.GetCount(), positions.GetData(),
                               positions.GetCount(), level->GetTriangleQuantity(), triangle, distance, point, normal);
}

Result CTriMesh::TransformToWorld() {
  const CMatrix4& world = GetWorldMatrix();
  for (Vec3& p : GetWorldXYZ()) Vec3TransformCoord(p, p, world);
  SetWorldXYZReady(true);
  return kOk;
}

Result CTriMesh::UpdateWorldNormals() {
  CBuffer<Vec3>& normals = GetWorldNormal();
  if (normals.IsEmpty() || IsWorldNormalReady()) return kDone;
  if (!IsWorldXYZReady()) {
    const Result r = TransformToWorld();
    if (Failed(r)) return r;
  }
  // Without triangles there is nothing to rebuild from: the normals stay
  // as copied.
  const CTriMeshData* level = DynamicCast<CTriMeshData>(GetLodInUse());
  if (GetRecomputeNormals() && level != nullptr) {
    std::fill(normals.begin(), normals.end(), Vec3());
    const CBuffer<Vec3>& positions = GetWorldXYZ();
    const CBuffer<u32>& xyzIndex = level->GetXYZTriIndex();
    const CBuffer<u32>& normalIndex = level->GetNormalTriIndex();
    const u32 triangles = WholeTriangles(level->GetTriangleQuantity(), {&xyzIndex, &normalIndex});
    const u32 positionCount = positions.GetCount();
    const u32 normalCount = normals.GetCount();
    for (u32 t = 0; t < triangles; ++t) {
      const u32* p = xyzIndex.GetData() + 3 * static_cast<std::size_t>(t);
      const u32* n = normalIndex.GetData() + 3 * static_cast<std::size_t>(t);
      // Indices are checked when data loads, but the buffers stay
      // writable: nothing outside the world buffers is touched.
      if (p[0] >= positionCount || p[1] >= positionCount || p[2] >= positionCount || n[0] >= normalCount ||
          n[1] >= normalCount || n[2] >= normalCount) {
        continue;
      }
      const Vec3 face = (positions[p[1]] - positions[p[0]]).Cross(positions[p[2]] - positions[p[0]]);
      normals[n[0]] += face;
      normals[n[1]] += face;
      normals[n[2]] += face;
    }
    for (Vec3& n : normals) n.Normalize();
    SetRecomputeNormals(false);
  }
  SetWorldNormalReady(true);
  return kOk;
}

// --- level operations ---------------------------------------------------------------------------

Result CTriMesh::SetSingleLod(CGeometryData* data) {
  const Result r = CGeometry::SetSingleLod(data);
  if (Failed(r)) return r;
  lodObjects_.assign(1, LodObjectList());
  return kOk;
}

Result CTriMesh::SetLods(const std::vector<CPointer<CGeometryData>>& lods) {
  const Result r = CGeometry::SetLods(lods);
  if (Failed(r)) return r;
  lodObjects_.assign(GetLodCount(), LodObjectList());
  return kOk;
}

Result CTriMesh::AddLod(CGeometryData* data) {
  const Result r = CGeometry::AddLod(data);
  if (Failed(r)) return r;
  lodObjects_.emplace_back();
  return kOk;
}

Result CTriMesh::ReplaceLod(CGeometryData* oldData, CGeometryData* newData) {
  const Result r = CGeometry::ReplaceLod(oldData, newData);
  return Failed(r) ? r : kOk;
}

Result CTriMesh::SetLod(u32 index, CGeometryData* data) {
  const Result r = CGeometry::SetLod(index, data);
  return Failed(r) ? r : kOk;
}

// --- spatial protocol ----------------------------------------------------------------------------

Result CTriMesh::Update(i32 time) {
  SetWorldNormalReady(false);
  SetWorldXYZReady(false);
  const CGeometryData* level = GetLodInUse();
  if (level == nullptr) return kDone;
  // The world buffers take the size of the level in use, so that neither
  // the copy nor a later transform runs past either buffer.
  Result r = CopyToWorld(GetWorldXYZ(), level->GetXYZ());
  if (Succeeded(r)) r = CopyToWorld(GetWorldNormal(), level->GetNormal());
  if (Failed(r)) return r;
  // The controllers: deformers overwrite WorldXYZ here and ask for new
  // normals; skinning leaves world positions behind.
  r = CGeometry::Update(time);
  if (Failed(r)) return r;
  if (!IsWorldXYZReady()) {
    r = TransformToWorld();
    if (Failed(r)) return r;
  }
  if (!IsWorldNormalReady()) {
    r = UpdateWorldNormals();
    if (Failed(r)) return r;
  }
  return kOk;
}

Result CTriMesh::UpdateForView(const CUpdateView* view) {
  const u32 count = GetLodCount();
  if (view == nullptr || count < 2) return kDone;
  SetCurrentLod(std::min(view->ChooseLod(this), count - 1));
  return kOk;
}

Result CTriMesh::CollectAnimated(std::vector<CDorun*>& animated) {
  CGeometry::CollectAnimated(animated);
  if (std::find(animated.begin(), animated.end(), this) == animated.end()) animated.push_back(this);
  for (const LodObjectList& list : lodObjects_) {
    for (const CPointer<CDorun>& object : list) {
      if (!object) continue;
      const Result r = object->CollectAnimated(animated);
      if (Failed(r)) return r;
    }
  }
  return kOk;
}

// --- object-model protocol -------------------------------------------------------------------------

CBase* CTriMesh::Find(const char16_t* name, const ClassRecord* record, bool includeDerived, bool onlyMarked) {
  if (CBase* hit = CGeometry::Find(name, record, includeDerived, onlyMarked)) return hit;
  for (const LodObjectList& list : lodObjects_) {
    for (const CPointer<CDorun>& object : list) {
      if (!object) continue;
      if (CBase* hit = object->Find(name, record, includeDerived, onlyMarked)) return hit;
    }
  }
  return nullptr;
}

void CTriMesh::Collect(std::vector<CBase*>& out, const char16_t* name, const ClassRecord* record, bool includeDerived,
                       bool onlyMarked) {
  CGeometry::Collect(out, name, record, includeDerived, onlyMarked);
  for (const LodObjectList& list : lodObjects_) {
    for (const CPointer<CDorun>& object : list) {
      if (object) object->Collect(out, name, record, includeDerived, onlyMarked);
    }
  }
}

bool CTriMesh::UpdateMarked(const ObjectSet& set) {
  bool marked = CGeometry::UpdateMarked(set);
  for (const LodObjectList& list : lodObjects_) {
    for (const CPointer<CDorun>& object : list) {
      if (object) marked = object->UpdateMarked(set) || marked;
    }
  }
  SetMarked(marked);
  return marked;
}

void CTriMesh::ClearMarked() {
  CGeometry::ClearMarked();
  for (const LodObjectList& list : lodObjects_) {
    for (const CPointer<CDorun>& object : list) {
      if (object) object->ClearMarked();
    }
  }
}

Result CTriMesh::ResolveReferences(CBase* root) {
  if (root == nullptr) return kErrInvalidArg;
  for (const LodObjectList& list : lodObjects_) {
    for (const CPointer<CDorun>& object : list) {
      if (!object) continue;
      const Result r = object->ResolveReferences(root);
      if (Failed(r)) return r;
    }
  }
  return CGeometry::ResolveReferences(root);
}

Result CTriMesh::RegisterForSave(CStream& stream, u32 flags) {
  Result r = CGeometry::RegisterForSave(stream, flags);
  if (r != kOk) return r;
  for (const LodObjectList& list : lodObjects_) {
    for (const CPointer<CDorun>& object : list) {
      if (!object) continue;
      r = object->RegisterForSave(stream, flags);
      if (Failed(r)) return r;
    }
  }
  return kOk;
}

void CTriMesh::EnumReferences(CReferenceVisitor& visitor) {
  for (const LodObjectList& list : lodObjects_) {
    for (const CPointer<CDorun>& object : list) visitor.Visit(object.Get(), 1);
  }
  CGeometry::EnumReferences(visitor);
}

bool CTriMesh::HasSubObjects() const {
  for (const LodObjectList& list : lodObjects_) {
    if (!list.empty()) return true;
  }
  return CGeometry::HasSubObjects();
}

u32 CTriMesh::GetMemorySize() const { return CGeometry::GetMemorySize() + 48; }

u32 CTriMesh::GetSaveSize() const {
  // Version pair and the four floats (24), the list count, each list.
  u32 size = CGeometry::GetSaveSize() + 24 + 4;
  for (const LodObjectList& list : lodObjects_) size += GetPointerVectorSaveSize(static_cast<u32>(list.size()));
  return size;
}

Result CTriMesh::CreateInstance(CPointer<CBase>& out) const { return CreateCopy(*this, out); }

Result CTriMesh::Clone(CPointer<CBase>& out, CloneMap& cloneMap, u32 flags) {
  Result r = CGeometry::Clone(out, cloneMap, flags);
  if (r != kOk) return r;
  CTriMesh* copy = static_cast<CTriMesh*>(out.Get());
  copy->lodObjects_.assign(lodObjects_.size(), LodObjectList());
  for (std::size_t i = 0; i < lodObjects_.size(); ++i) {
    for (const CPointer<CDorun>& object : lodObjects_[i]) {
      CPointer<CDorun> clone;
      r = CloneMember(clone, cloneMap, object.Get(), flags);
      if (Failed(r)) return r;
      copy->lodObjects_[i].push_back(clone);
    }
  }
  return kOk;
}

Result CTriMesh::CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const {
  // Checked before the geometry part is copied, so a refused target stays
  // as it was.
  CTriMesh* other = DynamicCast<CTriMesh>(target);
  if (other == nullptr) return target == nullptr ? kErrInvalidArg : kErrNotFound;
  const Result r = CGeometry::CopyTo(target, displaced, flags);
  if (Failed(r)) return r;
  // The target's former objects are handed to the caller rather than
  // released here: the caller may still be using them.
  for (LodObjectList& list : other->lodObjects_) {
    for (CPointer<CDorun>& object : list) {
      if (object) displaced.emplace_back(object.Get());
    }
  }
  other->lodObjects_.assign(lodObjects_.size(), LodObjectList());
  for (std::size_t i = 0; i < lodObjects_.size(); ++i) {
    other->lodObjects_[i].resize(lodObjects_[i].size());
    for (std::size_t j = 0; j < lodObjects_[i].size(); ++j) {
      AssignPointerMember(displaced, lodObjects_[i][j], other->lodObjects_[i][j]);
    }
  }
  other->lodParam0_ = lodParam0_;
  other->lodParam1_ = lodParam1_;
  return kOk;
}

// --- persistence ------------------------------------------------------------------------------------

Result CTriMesh::LoadOldLayout(CStream& stream, CStreamLoadRecord& record, i32 version) {
  // The triangles go into a new data object now; it becomes level 0 in
  // Link, when the level it takes its vertex streams from is resolved
  // (from geometry records of 2.02 on, level 0 is only an id until then).
  CPointer<CTriMeshData> data;
  Result r = CTriMeshData::Create(data);
  if (Failed(r)) return r;
  oldLayoutData_ = data;

  u32 n = 0;
  r = ReadU32(stream, n);
  if (Failed(r)) return r;
  // The new data has no vertex streams yet, so this only records n; its
  // result is not needed (n = 0 leaves 0).
  data->SetTriangleQuantity(n);
  const u64 corners = 3 * static_cast<u64>(n);
  // Read whenever present, so the record stays in step even when level 0
  // turns out to lack the matching stream.
  r = ReadPresentBuffer(stream, data->GetXYZTriIndex(), corners);
  if (Succeeded(r)) r = ReadPresentBuffer(stream, data->GetNormalTriIndex(), corners);
  if (Succeeded(r)) r = ReadPresentBuffer(stream, data->GetColorTriIndex(), corners);
  if (Succeeded(r)) r = ReadPresentBuffer(stream, data->GetVertexTriIndex(), corners);
  if (Succeeded(r)) r = ReadPresentBuffer(stream, data->GetTriangleMtlID(), n);
  if (Succeeded(r)) r = ReadPresentBuffer(stream, data->GetSmooth(), n);
  if (Failed(r)) return r;

  // UV channels: each stored channel gets an empty placeholder map now and
  // its id queued; Link puts the stored map in its place.
  u32 channels = 0;
  r = ReadU32(stream, channels);
  if (Succeeded(r)) r = stream.CheckAvailable(channels, version >= static_cast<i32>(kVersionChannelIds64) ? 8 : 4);
  for (u32 i = 0; Succeeded(r) && i < channels; ++i) {
    if (version < static_cast<i32>(kVersionChannelIds32)) {
      // A list of values: channel 0 and zero values name no map.
      u32 value = 0;
      r = ReadU32(stream, value);
      if (Failed(r) || i == 0 || value == 0) continue;
      record.pendingIds.push_back(static_cast<u64>(static_cast<i64>(static_cast<i32>(value))));
    } else {
      r = version < static_cast<i32>(kVersionChannelIds64) ? ReadObjectId32(stream, record)
                                                           : ReadObjectId(stream, record);
      if (Failed(r)) break;
    }
    CPointer<CUvwMap> placeholder;
    r = CUvwMap::Create(placeholder);
    if (Succeeded(r)) data->AddUvwMap(placeholder.Get());
  }
  if (Failed(r)) return r;

  // Tangents: stored only in 2.02 (older records rebuild them in Link).
  if (version == static_cast<i32>(kVersionStoredTangents)) {
    u32 present = 0;
    r = ReadU32(stream, present);
    if (Failed(r)) return r;
    if (present != 0) {
      // V is the unified-vertex count of level 0. An inline level is here
      // already; a level stored as an id is not, so V is taken from the
      // vertex indices just read (the builder numbers its vertices densely
      // from 0), and Link checks it against the level.
      u32 vertices = 0;
      if (const CGeometryData* level = GetLod(0)) {
        vertices = level->GetVertexMapCount();
      } else if (!data->GetVertexTriIndex().IsEmpty()) {
        const CBuffer<u32>& index = data->GetVertexTriIndex();
        const u64 largest = *std::max_element(index.begin(), index.end());
        if (largest + 1 > std::numeric_limits<u32>::max()) return kErrNotFound;
        vertices = static_cast<u32>(largest + 1);
      }
      oldTangentsRead_ = true;
      oldTangentCount_ = vertices;
      if (vertices != 0) {
        r = stream.CheckAvailable(vertices, sizeof(TangentIndexBranch22));
        std::vector<TangentIndexBranch22> stored;
        if (Succeeded(r)) r = ReadPodArray(stream, stored, vertices);
        if (Succeeded(r)) r = data->GetTangentIndex().Create(vertices);
        if (Failed(r)) return r;
        for (u32 v = 0; v < vertices; ++v) {
          data->GetTangentIndex()[v] = {stored[v].IndexA, stored[v].IndexB, stored[v].IndexC};
        }
      }
    }
  }
  return data->ReadAttributeRanges(stream);
}

Result CTriMesh::Load(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  Result r = CGeometry::Load(stream, record, flags);
  if (Succeeded(r)) r = stream.ReadVersionBlock(StaticClassRecord());
  if (Failed(r)) return r;
  const i32 v = stream.GetStoredVersion(StaticClassRecord());
  loadedVersion_ = v;
  oldLayoutData_.Release();
  oldTangentsRead_ = false;
  oldTangentCount_ = 0;
  if (v < static_cast<i32>(kVersionTrianglesInData)) {
    r = LoadOldLayout(stream, record, v);
    if (Failed(r)) return r;
  }
  if (v >= static_cast<i32>(kVersionLodParams)) {
    r = ReadFloatBlock(stream, lodParam0_);
    if (Succeeded(r)) r = ReadFloatBlock(stream, lodParam1_);
    if (Failed(r)) return r;
  }
  if (v >= static_cast<i32>(kVersionLodObjects)) {
    u32 lists = 0;
    r = ReadU32(stream, lists);
    if (Succeeded(r)) r = stream.CheckAvailable(lists, 4);
    if (Failed(r) || lists == 0) return r;
    lodObjects_.assign(lists, LodObjectList());
    for (LodObjectList& list : lodObjects_) {
      r = ReadReferenceVector(stream, record, list);
      if (Failed(r)) return r;
    }
  }
  return kOk;
}

Result CTriMesh::LinkOldLayout(CStream& stream, CStreamLoadRecord& record) {
  CPointer<CTriMeshData> data = std::move(oldLayoutData_);
  // Triangles without the level they index mean nothing: a level 0 that
  // did not resolve stays empty, as it does for current records.
  const CGeometryData* level = GetLod(0);
  if (level == nullptr) return kOk;
  Result r = data->CopyVertexStreams(*level);
  if (Failed(r)) return r;
  // As sizing the old data did: a stream that level 0 has gets zeroed
  // corner indices when the record stored none.
  const u64 corners = 3 * static_cast<u64>(data->GetTriangleQuantity());
  if (corners != 0) {
    if (corners > std::numeric_limits<u32>::max()) return kErrNotFound;
    const std::pair<const CBuffer<Vec3>*, CBuffer<u32>*> pairs[] = {
        {&data->GetXYZ(), &data->GetXYZTriIndex()},
        {&data->GetNormal(), &data->GetNormalTriIndex()},
        {&data->GetColor(), &data->GetColorTriIndex()}};
    for (const auto& [stream3, index] : pairs) {
      if (stream3->IsEmpty() || !index->IsEmpty()) continue;
      r = index->Create(static_cast<u32>(corners));
      if (Failed(r)) return r;
    }
  }
  const u32 vertices = data->GetVertexMapCount();
  // The tangent block was read for another vertex count than level 0 has:
  // the fields after it were read out of step.
  if (oldTangentsRead_ && oldTangentCount_ != vertices) return kErrNotFound;
  // The same checks as a loaded triangle-data record, before anything is
  // built from the indices.
  r = data->CheckIndices();
  if (Failed(r)) return r;
  if (loadedVersion_ < static_cast<i32>(kVersionStoredTangents)) {
    // These records stored neither tangents nor trustworthy normals.
    data->BuildTangentIndex(vertices);
    data->ComputeVertexNormals();
  }

  r = ReplaceLodUnchecked(0, data.Get());
  if (Failed(r)) return r;

  // The stored channels replace the placeholders, in order.
  for (u32 i = 0; i < data->GetUvwMapCount(); ++i) {
    CUvwMap* map = DynamicCast<CUvwMap>(stream.ObjectFromId(record.TakeNextId()));
    if (map == nullptr) continue;
    r = stream.ClaimOwnership(data.Get(), map);
    if (Failed(r)) return r;
    data->SetUvwMap(i, map);
  }
  return kOk;
}

Result CTriMesh::Link(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  Result r = CGeometry::Link(stream, record, flags);
  if (Failed(r)) return r;
  if (oldLayoutData_) {
    r = LinkOldLayout(stream, record);
    if (Failed(r)) return r;
  }
  if (loadedVersion_ < static_cast<i32>(kVersionLodObjects)) {
    lodObjects_.assign(GetLodCount(), LodObjectList());
    return kOk;
  }
  for (LodObjectList& list : lodObjects_) {
    for (CPointer<CDorun>& slot : list) {
      CDorun* object = DynamicCast<CDorun>(stream.ObjectFromId(record.TakeNextId()));
      if (object != nullptr) {
        r = stream.ClaimOwnership(this, object);
        if (Failed(r)) return r;
      }
      slot = object;
    }
  }
  return kOk;
}

Result CTriMesh::Save(CStream& stream, u32 flags) {
  Result r = CGeometry::Save(stream, flags);
  if (Succeeded(r)) r = WriteVersion(stream, StaticClassRecord());
  if (Succeeded(r)) r = WriteFloatBlock(stream, lodParam0_);
  if (Succeeded(r)) r = WriteFloatBlock(stream, lodParam1_);
  if (Succeeded(r)) r = WriteU32(stream, static_cast<u32>(lodObjects_.size()));
  for (std::size_t i = 0; Succeeded(r) && i < lodObjects_.size(); ++i) {
    r = WriteReferenceVector(stream, lodObjects_[i]);
  }
  return r;
}

void CTriMesh::DescribeMembers(CMemberVisitor& visitor) {
  visitor.BeginGroup(u"CTriMesh Member");
  visitor.OpenGroup();
  for (const auto& [name, param] : {std::pair{u"LodParam0", &lodParam0_}, std::pair{u"LodParam1", &lodParam1_}}) {
    visitor.BeginGroup(name);
    visitor.OpenGroup();
    visitor.Float(u"Threshold", &param->Threshold);
    visitor.Float(u"PopBias", &param->PopBias);
    visitor.EndGroup();
  }
  visitor.Bool(u"ShowEdge", &showEdge_);
  visitor.Bool(u"ShowNormal", &showNormal_);
  visitor.EndGroup();
  CGeometry::DescribeMembers(visitor);
}

}  // namespace KT
