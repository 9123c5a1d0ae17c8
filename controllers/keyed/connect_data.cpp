#include "controllers/keyed/connect_data.h"

#include <algorithm>
#include <cmath>
#include <new>

#include "objectmodel/class_factory.h"
#include "objectmodel/member_visitor.h"
#include "objectmodel/stream.h"
#include "objectmodel/stream_fields.h"

namespace KT {

namespace {

using Vec3 = CVector3<float>;

// The length-normalised vector; a zero vector stays zero.
Vec3 Normalised(const Vec3& v) {
  const f32 length = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
  return length > 0.0f ? Vec3(v.x / length, v.y / length, v.z / length) : v;
}

// The sum of the normals `list` names (indices outside `normals` skipped).
Vec3 SumNormals(const CConnectData::NormalList* list, const CBuffer<Vec3>& normals) {
  Vec3 sum(0.0f, 0.0f, 0.0f);
  if (list == nullptr || !*list) return sum;
  const u32 count = normals.GetCount();
  for (const u32 n : **list) {
    if (n < count) sum += normals[n];
  }
  return sum;
}

void SetNormals(const CConnectData::NormalList* list, CBuffer<Vec3>& normals, const Vec3& value) {
  if (list == nullptr || !*list) return;
  const u32 count = normals.GetCount();
  for (const u32 n : **list) {
    if (n < count) normals[n] = value;
  }
}

// True when the mesh shows its first level of detail.
bool ShowsLevelZero(const CTriMesh& mesh) {
  const u32 count = mesh.GetLodCount();
  const u32 level = count == 0 ? mesh.GetCurrentLod() : std::min(mesh.GetCurrentLod(), count - 1);
  return level == 0;
}

Result ReadNormalLists(CStream& stream, std::vector<CConnectData::NormalList>& lists) {
  lists.clear();
  u32 count = 0;
  Result r = ReadU32(stream, count);
  // Each list takes at least its count word.
  if (Succeeded(r)) r = stream.CheckAvailable(count, 4);
  if (Failed(r)) return r;
  lists.reserve(count);
  for (u32 i = 0; i < count; ++i) {
    std::vector<u32> ids;
    r = ReadPodVector(stream, ids);
    if (Failed(r)) return r;
    lists.emplace_back(std::move(ids));
  }
  return kOk;
}

Result WriteNormalLists(CStream& stream, const std::vector<CConnectData::NormalList>& lists) {
  Result r = WriteU32(stream, static_cast<u32>(lists.size()));
  static const std::vector<u32> kEmpty;
  for (const CConnectData::NormalList& list : lists) {
    if (Failed(r)) break;
    r = WritePodVector(stream, list ? *list : kEmpty);
  }
  return r;
}

u32 NormalListsSaveSize(const std::vector<CConnectData::NormalList>& lists) {
  std::size_t bytes = 4;
  for (const CConnectData::NormalList& list : lists) bytes += 4 + (list ? 4 * list->size() : 0);
  return static_cast<u32>(bytes);
}

std::size_t NormalListsMemory(const std::vector<CConnectData::NormalList>& lists) {
  std::size_t bytes = lists.capacity() * sizeof(CConnectData::NormalList);
  for (const CConnectData::NormalList& list : lists) bytes += list ? list->capacity() * sizeof(u32) : 0;
  return bytes;
}

// Separate copies of every list.
std::vector<CConnectData::NormalList> CopyLists(const std::vector<CConnectData::NormalList>& lists) {
  std::vector<CConnectData::NormalList> copy;
  copy.reserve(lists.size());
  for (const CConnectData::NormalList& list : lists) copy.push_back(list.Copy());
  return copy;
}

std::vector<CConnectData::NormalList> MakeLists(const std::vector<std::vector<u32>>& ids) {
  std::vector<CConnectData::NormalList> lists;
  lists.reserve(ids.size());
  for (const std::vector<u32>& list : ids) lists.emplace_back(list);
  return lists;
}

}  // namespace

CConnectData::~CConnectData() = default;

Result CConnectData::SetSeam(const std::vector<u32>& xyzIds0, const std::vector<u32>& xyzIds1,
                             const std::vector<std::vector<u32>>& normalIds0,
                             const std::vector<std::vector<u32>>& normalIds1) {
  try {
    std::vector<u32> a(xyzIds0), b(xyzIds1);
    std::vector<NormalList> n0 = MakeLists(normalIds0), n1 = MakeLists(normalIds1);
    xyzIds0_.swap(a);
    xyzIds1_.swap(b);
    normalIds0_.swap(n0);
    normalIds1_.swap(n1);
  } catch (const std::bad_alloc&) {
    return kErrOutOfMemory;
  }
  SetModified();
  return kOk;
}

void CConnectData::StampMesh(const CDorun* mesh, i32 time) {
  if (mesh == nullptr) return;
  if (mesh == mesh0_.Get()) timeState0_ = time;
  if (mesh == mesh1_.Get()) timeState1_ = time;
}

// --- the weld --------------------------------------------------------------------------------------

Result CConnectData::Update(i32 time) {
  CTriMesh* m0 = mesh0_.Get();
  CTriMesh* m1 = mesh1_.Get();
  if (m0 == nullptr || m1 == nullptr) return kErrInvalidArg;
  if (timeState0_ != time || timeState1_ != time) return kDone;
  if (!ShowsLevelZero(*m0) || !ShowsLevelZero(*m1)) return kDone;
  if (xyzIds0_.empty()) {
    ClearStamps();
    return kOk;
  }
  const std::size_t seam = xyzIds0_.size();
  const std::size_t n = xyzIds1_.size() / seam;
  CBuffer<Vec3>& p0 = m0->GetWorldXYZ();
  CBuffer<Vec3>& p1 = m1->GetWorldXYZ();
  CBuffer<Vec3>& n0 = m0->GetWorldNormal();
  CBuffer<Vec3>& n1 = m1->GetWorldNormal();
  for (std::size_t i = 0; i < seam; ++i) {
    // Positions: a seam vertex or partner outside its mesh's buffer skips
    // the whole group, so that no vertex moves to a partial average.
    const u32 v0 = xyzIds0_[i];
    bool inside = v0 < p0.GetCount() && (i + 1) * n <= xyzIds1_.size();
    for (std::size_t k = 0; inside && k < n; ++k) inside = xyzIds1_[i * n + k] < p1.GetCount();
    if (inside) {
      Vec3 sum = p0[v0];
      f32 count = 1.0f;
      for (std::size_t k = 0; k < n; ++k) {
        sum += p1[xyzIds1_[i * n + k]];
        count += 1.0f;
      }
      const Vec3 p(sum.x / count, sum.y / count, sum.z / count);
      p0[v0] = p;
      for (std::size_t k = 0; k < n; ++k) p1[xyzIds1_[i * n + k]] = p;
    }
    // Normals: a seam vertex without a list on either side is left alone.
    if (i >= normalIds0_.size() || i >= normalIds1_.size()) continue;
    const Vec3 a = Normalised(SumNormals(&normalIds0_[i], n0));
    const Vec3 b = Normalised(SumNormals(&normalIds1_[i], n1));
    const Vec3 m = Normalised(a + b);
    SetNormals(&normalIds0_[i], n0, m);
    SetNormals(&normalIds1_[i], n1, m);
  }
  ClearStamps();
  return kOk;
}

// --- root protocol -----------------------------------------------------------------------------------

Result CConnectData::RemapReferences(const CloneMap& cloneMap) {
  mesh0_.Remap(cloneMap);
  mesh1_.Remap(cloneMap);
  return CDorun::RemapReferences(cloneMap);
}

Result CConnectData::ResolveReferences(CBase* root) {
  if (root == nullptr) return kErrInvalidArg;
  mesh0_.ResolveByName(root);
  mesh1_.ResolveByName(root);
  return CDorun::ResolveReferences(root);
}

Result CConnectData::CreateInstance(CPointer<CBase>& out) const {
  try {
    CPointer<CBase> copy;
    const Result r = CreateCopy(*this, copy);
    if (Failed(r)) return r;
    auto* data = static_cast<CConnectData*>(copy.Get());
    data->normalIds0_ = CopyLists(normalIds0_);
    data->normalIds1_ = CopyLists(normalIds1_);
    data->ClearStamps();
    out = copy;
  } catch (const std::bad_alloc&) {
    return kErrOutOfMemory;
  }
  return kOk;
}

Result CConnectData::CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const {
  const Result r = CDorun::CopyTo(target, displaced, flags);
  if (Failed(r)) return r;
  CConnectData* other = DynamicCast<CConnectData>(target);
  if (other == nullptr) return kErrNotFound;
  if (other == this) return kOk;
  try {
    std::vector<u32> a(xyzIds0_), b(xyzIds1_);
    std::vector<NormalList> n0(normalIds0_), n1(normalIds1_);
    other->xyzIds0_.swap(a);
    other->xyzIds1_.swap(b);
    other->normalIds0_.swap(n0);
    other->normalIds1_.swap(n1);
  } catch (const std::bad_alloc&) {
    return kErrOutOfMemory;
  }
  other->mesh0_ = mesh0_;
  other->mesh1_ = mesh1_;
  other->timeState0_ = timeState0_;
  other->timeState1_ = timeState1_;
  return kOk;
}

Result CConnectData::Load(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  Result r = CDorun::Load(stream, record, flags);
  if (Succeeded(r)) r = stream.ReadVersionBlock(StaticClassRecord());
  if (Failed(r)) return r;
  ClearStamps();
  xyzIds0_.clear();
  xyzIds1_.clear();
  normalIds0_.clear();
  normalIds1_.clear();
  if (stream.GetStoredVersion(StaticClassRecord()) < static_cast<i32>(kVersionWideIds)) {
    u32 id0 = 0, id1 = 0;
    r = ReadU32(stream, id0);
    if (Succeeded(r)) r = ReadU32(stream, id1);
    mesh0_.SetPendingId(id0);
    mesh1_.SetPendingId(id1);
  } else {
    r = mesh0_.Load(stream);
    if (Succeeded(r)) r = mesh1_.Load(stream);
  }
  try {
    if (Succeeded(r)) r = ReadPodVector(stream, xyzIds0_);
    if (Succeeded(r)) r = ReadPodVector(stream, xyzIds1_);
    if (Succeeded(r)) r = ReadNormalLists(stream, normalIds0_);
    if (Succeeded(r)) r = ReadNormalLists(stream, normalIds1_);
  } catch (const std::bad_alloc&) {
    r = kErrOutOfMemory;
  }
  return r;
}

Result CConnectData::Link(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  const Result r = CDorun::Link(stream, record, flags);
  if (Failed(r)) return r;
  mesh0_.Link(stream);
  mesh1_.Link(stream);
  if (mesh0_ || mesh1_) {
    stream.AddPostLinkStep([this, &stream] {
      mesh0_.DropUnlessHeld(stream, this);
      mesh1_.DropUnlessHeld(stream, this);
      return kOk;
    });
  }
  return r;
}

Result CConnectData::Save(CStream& stream, u32 flags) {
  Result r = CDorun::Save(stream, flags);
  if (Succeeded(r)) r = WriteVersion(stream, StaticClassRecord());
  if (Succeeded(r)) r = mesh0_.Save(stream);
  if (Succeeded(r)) r = mesh1_.Save(stream);
  if (Succeeded(r)) r = WritePodVector(stream, xyzIds0_);
  if (Succeeded(r)) r = WritePodVector(stream, xyzIds1_);
  if (Succeeded(r)) r = WriteNormalLists(stream, normalIds0_);
  if (Succeeded(r)) r = WriteNormalLists(stream, normalIds1_);
  return r;
}

void CConnectData::DescribeMembers(CMemberVisitor& visitor) {
  visitor.BeginGroup(u"CConnectData Member");
  visitor.OpenGroup();
  const auto describeSide = [&visitor](const char16_t* mesh, const CTriMesh* object, const char16_t* ids,
                                       const std::vector<u32>& xyz, const char16_t* state, const i32* time,
                                       const char16_t* normals, const std::vector<NormalList>& lists) {
    visitor.ObjectRef(mesh, object);
    visitor.UIntArray(ids, xyz.data(), static_cast<u32>(xyz.size()));
    visitor.Time(state, time);
    visitor.RecordArray(normals, static_cast<u32>(lists.size()), [&lists](u32 i, CMemberVisitor& v) {
      const std::vector<u32>* list = lists[i].Get();
      v.UIntArray(u"NormalIDs", list ? list->data() : nullptr, list ? static_cast<u32>(list->size()) : 0);
    });
  };
  describeSide(u"Mesh0", mesh0_.Get(), u"XYZIDs0", xyzIds0_, u"TimeState0", &timeState0_, u"NormalIDs0",
               normalIds0_);
  describeSide(u"Mesh1", mesh1_.Get(), u"XYZIDs1", xyzIds1_, u"TimeState1", &timeState1_, u"NormalIDs1",
               normalIds1_);
  visitor.EndGroup();
  CDorun::DescribeMembers(visitor);
}

u32 CConnectData::GetMemorySize() const {
  const std::size_t bytes = sizeof(*this) - sizeof(CDorun) + 4 * (xyzIds0_.capacity() + xyzIds1_.capacity()) +
                            NormalListsMemory(normalIds0_) + NormalListsMemory(normalIds1_);
  return CDorun::GetMemorySize() + static_cast<u32>(bytes);
}

u32 CConnectData::GetSaveSize() const {
  return CDorun::GetSaveSize() + 8 + 2 * CTargetRef<CTriMesh>::kSaveSize + PodVectorSaveSize(xyzIds0_) +
         PodVectorSaveSize(xyzIds1_) + NormalListsSaveSize(normalIds0_) + NormalListsSaveSize(normalIds1_);
}

bool CConnectData::HasSubObjects() const { return mesh0_ || mesh1_ || CDorun::HasSubObjects(); }

}  // namespace KT
