#include "controllers/core/bone_skin_control.h"

#include <algorithm>
#include <bit>
#include <new>
#include <stdexcept>
#include <utility>

#include "objectmodel/class_factory.h"
#include "objectmodel/stream.h"
#include "objectmodel/stream_fields.h"
#include "scene/geometry.h"
#include "scene/spatial.h"

namespace KT {

namespace {

using Vec3 = CVector3<float>;

// The number of (weight, bone) pairs of an entry. The two arrays always
// have one length; taking the shorter keeps every reader in bounds anyway.
u32 PairCount(const CBoneSkinControl::SkinWeight& entry) {
  return static_cast<u32>(std::min(entry.PureWeight.size(), entry.BoneID.size()));
}

// (p, 1) x m with the divide by w: the arithmetic of Vec3TransformCoord,
// inlined because it runs once per skinned vertex.
inline Vec3 TransformPoint(const Vec3& p, const f32 (&m)[4][4]) {
  const f32 x = p.x * m[0][0] + p.y * m[1][0] + p.z * m[2][0] + m[3][0];
  const f32 y = p.x * m[0][1] + p.y * m[1][1] + p.z * m[2][1] + m[3][1];
  const f32 z = p.x * m[0][2] + p.y * m[1][2] + p.z * m[2][2] + m[3][2];
  const f32 w = p.x * m[0][3] + p.y * m[1][3] + p.z * m[2][3] + m[3][3];
  if (w == 0.0f) return {0.0f, 0.0f, 0.0f};
  return {x / w, y / w, z / w};
}

// a[e] += b[e] x s for the sixteen elements, or, for affine matrices
// (column 3 exactly (0, 0, 0, 1)), for columns 0-2 with a[3][3] += s:
// column 3 of the sum is then (0, 0, 0, total weight) to the last bit, so
// the result is the same as the full sum's.
template <bool kAffine>
inline void AddScaled(f32 (&a)[4][4], const f32 (&b)[4][4], f32 s) {
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 3; ++c) a[r][c] += b[r][c] * s;
    if constexpr (!kAffine) a[r][3] += b[r][3] * s;
  }
  if constexpr (kAffine) a[3][3] += s;
}

bool IsAffine(const CMatrix4& m) {
  return m.m[0][3] == 0.0f && m.m[1][3] == 0.0f && m.m[2][3] == 0.0f && m.m[3][3] == 1.0f;
}

// Skins positions [0, count) from the packed pairs (see Update).
template <bool kAffine>
void SkinPositions(Vec3* positions, u32 count, const u32* first, const f32* weights, const u8* ids,
                   const u8* usable, const CMatrix4* palette, const CMatrix4& rigid, bool moveUnweighted) {
  for (u32 j = 0; j < count; ++j) {
    const u32 begin = first[j];
    const u32 end = first[j + 1];
    if (begin == end) {
      if (moveUnweighted) positions[j] = TransformPoint(positions[j], rigid.m);
      continue;
    }
    CMatrix4 blend = kMatrix4Zero;
    f32 sum = 0.0f;
    for (u32 k = begin; k < end; ++k) {
      const u8 b = ids[k];
      // A bone that resolved to nothing: its weight falls to the rest.
      if (usable[b] == 0) continue;
      sum += weights[k];
      AddScaled<kAffine>(blend.m, palette[b].m, weights[k]);
    }
    if (sum < 1.0f) AddScaled<kAffine>(blend.m, rigid.m, 1.0f - sum);
    positions[j] = TransformPoint(positions[j], blend.m);
  }
}

}  // namespace

CBoneSkinControl::CBoneSkinControl() = default;

CBoneSkinControl::CBoneSkinControl(const CBoneSkinControl& other)
    : CDataControl(other),
      skinWeightSet_(other.skinWeightSet_),
      boneXForm_(other.boneXForm_),
      referenceBone_(other.referenceBone_),
      palette_(other.palette_),
      usableBone_(other.usableBone_) {}

CBoneSkinControl::~CBoneSkinControl() = default;

Result CBoneSkinControl::GetBoundGeometry(CGeometry*& geometry) const {
  geometry = nullptr;
  if (GetObject() == nullptr) return kErrInvalidArg;
  geometry = DynamicCast<CGeometry>(GetObject());
  return geometry != nullptr ? kOk : kErrNotFound;
}

// --- tables ----------------------------------------------------------------------------------

Result CBoneSkinControl::SetSkinWeightListCount(u32 count) {
  try {
    skinWeightSet_.resize(count);
    WeightsChanged();
  } catch (const std::bad_alloc&) {
    return kErrOutOfMemory;
  } catch (const std::length_error&) {
    return kErrOutOfMemory;
  }
  SetModified();
  return kOk;
}

Result CBoneSkinControl::SetBoneXForm(u32 index, const CMatrix4& bindMatrix) {
  if (index >= boneXForm_.size()) return kErrOutOfRange;
  boneXForm_[index] = bindMatrix;
  SetModified();
  return kOk;
}

Result CBoneSkinControl::AddBone(CBase* bone, const CMatrix4& bindMatrix) {
  if (bone == nullptr) return kErrMissingObject;
  if (DynamicCast<CSpatial>(bone) == nullptr) return kErrNotFound;
  for (const CBase* listed : referenceBone_) {
    if (listed != nullptr && listed->GetUniqueId() == bone->GetUniqueId()) return kDone;
  }
  try {
    // Both tables grow first, so that running out of memory leaves them
    // parallel.
    referenceBone_.reserve(referenceBone_.size() + 1);
    boneXForm_.reserve(boneXForm_.size() + 1);
  } catch (const std::bad_alloc&) {
    return kErrOutOfMemory;
  }
  referenceBone_.push_back(bone);
  boneXForm_.push_back(bindMatrix);
  SetModified();
  return kOk;
}

Result CBoneSkinControl::AddSkinWeight(u32 list, u32 vertex, CBase* bone, f32 weight) {
  if (list >= skinWeightSet_.size()) return kErrOutOfRange;
  if (bone == nullptr) return kErrMissingObject;
  u32 index = 0;
  while (index < referenceBone_.size() &&
         (referenceBone_[index] == nullptr || referenceBone_[index]->GetUniqueId() != bone->GetUniqueId())) {
    ++index;
  }
  if (index == referenceBone_.size()) return kErrMissingObject;
  // BoneID is one byte: a larger index would wrap onto another bone.
  if (index >= kMaxAddressableBones) return kErrOutOfRange;
  SkinWeightList& weights = skinWeightSet_[list];
  try {
    if (weights.size() <= vertex) weights.resize(static_cast<std::size_t>(vertex) + 1);
    SkinWeight& entry = weights[vertex];
    entry.PureWeight.reserve(entry.PureWeight.size() + 1);
    entry.BoneID.reserve(entry.BoneID.size() + 1);
    entry.PureWeight.push_back(weight);
    entry.BoneID.push_back(static_cast<u8>(index));
    WeightsChanged();
  } catch (const std::bad_alloc&) {
    return kErrOutOfMemory;
  } catch (const std::length_error&) {
    return kErrOutOfMemory;
  }
  SetModified();
  return kOk;
}

void CBoneSkinControl::SortWeightsDescending() {
  WeightsChanged();
  for (SkinWeightList& list : skinWeightSet_) {
    for (SkinWeight& entry : list) {
      const u32 n = PairCount(entry);
      // Entries hold a handful of pairs: a plain exchange sort, which keeps
      // the stored order of equal weights as files expect.
      for (u32 i = 0; i < n; ++i) {
        for (u32 j = 0; j < i; ++j) {
          if (entry.PureWeight[j] < entry.PureWeight[i]) {
            std::swap(entry.PureWeight[j], entry.PureWeight[i]);
            std::swap(entry.BoneID[j], entry.BoneID[i]);
          }
        }
      }
    }
  }
}

// --- evaluation ------------------------------------------------------------------------------

Result CBoneSkinControl::PackWeights() {
  try {
    packed_.resize(skinWeightSet_.size());
    for (std::size_t i = 0; i < skinWeightSet_.size(); ++i) {
      const SkinWeightList& list = skinWeightSet_[i];
      PackedList& packed = packed_[i];
      packed.first.resize(list.size() + 1);
      std::size_t pairs = 0;
      for (std::size_t j = 0; j < list.size(); ++j) {
        packed.first[j] = static_cast<u32>(pairs);
        pairs += PairCount(list[j]);
      }
      packed.first[list.size()] = static_cast<u32>(pairs);
      packed.weights.resize(pairs);
      packed.bones.resize(pairs);
      for (std::size_t j = 0; j < list.size(); ++j) {
        const u32 n = PairCount(list[j]);
        std::copy_n(list[j].PureWeight.data(), n, packed.weights.data() + packed.first[j]);
        std::copy_n(list[j].BoneID.data(), n, packed.bones.data() + packed.first[j]);
      }
    }
  } catch (const std::bad_alloc&) {
    packed_.clear();
    packedValid_ = false;
    return kErrOutOfMemory;
  }
  packedValid_ = true;
  return kOk;
}

Result CBoneSkinControl::Update(i32) {
  if (!IsActive()) return kDone;
  CGeometry* geometry = nullptr;
  const Result r = GetBoundGeometry(geometry);
  if (Failed(r)) return r;
  for (CBase* bone : referenceBone_) {
    if (bone != nullptr && DynamicCast<CSpatial>(bone) == nullptr) return kErrNotFound;
  }
  // The list of the level the mesh copied into WorldXYZ.
  u32 lod = geometry->GetCurrentLod();
  const u32 levels = geometry->GetLodCount();
  if (levels > 0 && lod >= levels) lod = levels - 1;
  if (lod >= skinWeightSet_.size()) return kDone;

  const std::size_t bones = std::min(referenceBone_.size(), boneXForm_.size());
  if (palette_.size() != bones) {
    try {
      palette_.resize(bones);
    } catch (const std::bad_alloc&) {
      return kErrOutOfMemory;
    }
  }
  // One flag for every value a bone index can take, so that no index can
  // reach past the palette.
  if (usableBone_.size() != kMaxAddressableBones) {
    try {
      usableBone_.assign(kMaxAddressableBones, 0);
    } catch (const std::bad_alloc&) {
      return kErrOutOfMemory;
    }
  }

  // Positions already in world space are taken back to the geometry's
  // space by the palette, and the weight they lack stays where it is.
  const bool worldReady = geometry->IsWorldXYZReady();
  const CMatrix4& world = geometry->GetWorldMatrix();
  CMatrix4 toGeometry;
  if (worldReady) MatrixInverse(toGeometry, nullptr, world);
  const CMatrix4& rigid = worldReady ? kMatrix4Identity : world;

  // Bone and object transforms are affine in practice: their blend then
  // skips column 3, which stays (0, 0, 0, total weight).
  bool affine = IsAffine(rigid);
  for (std::size_t i = 0; i < usableBone_.size(); ++i) usableBone_[i] = 0;
  for (std::size_t i = 0; i < bones && i < kMaxAddressableBones; ++i) {
    // Checked above: a bone is null or a spatial.
    const CSpatial* bone = static_cast<const CSpatial*>(referenceBone_[i]);
    if (bone == nullptr) continue;
    palette_[i] = boneXForm_[i] * bone->GetWorldMatrix();
    if (worldReady) palette_[i] = toGeometry * palette_[i];
    usableBone_[i] = 1;
    affine = affine && IsAffine(palette_[i]);
  }

  if (!packedValid_) {
    const Result packed = PackWeights();
    if (Failed(packed)) return packed;
  }
  const PackedList& list = packed_[lod];
  CBuffer<Vec3>& xyz = geometry->GetWorldXYZ();
  const u32 count = xyz.GetCount();
  const u32 skinned = static_cast<u32>(std::min<std::size_t>(count, list.first.size() - 1));
  Vec3* positions = xyz.GetData();
  const u8* usable = usableBone_.data();
  const u32* first = list.first.data();
  const f32* weights = list.weights.data();
  const u8* ids = list.bones.data();
  if (affine) {
    SkinPositions<true>(positions, skinned, first, weights, ids, usable, palette_.data(), rigid, !worldReady);
  } else {
    SkinPositions<false>(positions, skinned, first, weights, ids, usable, palette_.data(), rigid, !worldReady);
  }
  // Vertices the list does not reach move like unskinned ones.
  if (!worldReady) {
    for (u32 j = skinned; j < count; ++j) positions[j] = TransformPoint(positions[j], world.m);
  }
  geometry->SetWorldXYZReady(true);
  geometry->SetRecomputeNormals(true);
  return kOk;
}

Result CBoneSkinControl::Apply() { return kDone; }

Result CBoneSkinControl::UpdateTransform(i32) {
  if (!IsActive()) return kDone;
  CGeometry* geometry = nullptr;
  const Result r = GetBoundGeometry(geometry);
  if (Failed(r)) return r;
  geometry->SetHasDeformedWorldXYZ(true);
  return kOk;
}

Result CBoneSkinControl::GetUpdateDepth(i32 time, i32& depth) {
  for (CBase* bone : referenceBone_) {
    CSpatial* spatial = DynamicCast<CSpatial>(bone);
    if (spatial == nullptr) continue;
    i32 d = 0;
    if (Succeeded(spatial->RaiseUpdateDepth(time, d))) depth = std::max(depth, d);
  }
  return kOk;
}

Result CBoneSkinControl::GetDataUpdateDepth(void* context, i32& depth) {
  for (CBase* bone : referenceBone_) {
    CDorun* object = DynamicCast<CDorun>(bone);
    if (object == nullptr) continue;
    i32 d = 0;
    if (Succeeded(object->RaiseDataUpdateDepth(context, d))) depth = std::max(depth, d);
  }
  return kOk;
}

// --- root protocol ---------------------------------------------------------------------------

Result CBoneSkinControl::RemapReferences(const CloneMap& cloneMap) {
  for (CBase*& bone : referenceBone_) {
    if (bone == nullptr) continue;
    const auto it = cloneMap.find(bone);
    if (it != cloneMap.end()) bone = it->second.Get();
  }
  return CDataControl::RemapReferences(cloneMap);
}

Result CBoneSkinControl::ResolveReferencesInElement(CBase* root) {
  for (CBase*& bone : referenceBone_) {
    if (bone == nullptr) continue;
    bone = root->Find(bone->GetName().c_str(), &CSpatial::StaticClassRecord(), true, false);
  }
  return CDataControl::ResolveReferencesInElement(root);
}

Result CBoneSkinControl::CreateInstance(CPointer<CBase>& out) const {
  try {
    return CreateCopy(*this, out);
  } catch (const std::bad_alloc&) {
    return kErrOutOfMemory;
  }
}

Result CBoneSkinControl::CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const {
  CBoneSkinControl* other = DynamicCast<CBoneSkinControl>(target);
  if (other == nullptr) return kErrNotFound;
  if (other == this) return CDataControl::CopyTo(target, displaced, flags);
  // The copies are made before anything changes, so that running out of
  // memory leaves the target as it was.
  std::vector<CBase*> bones;
  std::vector<SkinWeightList> weights;
  std::vector<CMatrix4> matrices;
  try {
    bones = referenceBone_;
    weights = skinWeightSet_;
    matrices = boneXForm_;
  } catch (const std::bad_alloc&) {
    return kErrOutOfMemory;
  }
  const Result r = CDataControl::CopyTo(target, displaced, flags);
  if (Failed(r)) return r;
  other->referenceBone_.swap(bones);
  other->skinWeightSet_.swap(weights);
  other->WeightsChanged();
  other->boneXForm_.swap(matrices);
  return kOk;
}

// --- persistence -----------------------------------------------------------------------------

Result CBoneSkinControl::Load(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  Result r = CDataControl::Load(stream, record, flags);
  if (Succeeded(r)) r = stream.ReadVersionBlock(StaticClassRecord());
  if (Failed(r)) return r;
  const i32 version = stream.GetStoredVersion(StaticClassRecord());
  skinWeightSet_.clear();
  WeightsChanged();
  boneXForm_.clear();
  referenceBone_.clear();
  legacy_.clear();
  hasLegacy_ = false;
  try {
    if (version >= static_cast<i32>(kVersionBoneTables)) return LoadTables(stream, record, version);
    return LoadLegacyTables(stream, record);
  } catch (const std::bad_alloc&) {
    return kErrOutOfMemory;
  } catch (const std::length_error&) {
    return kErrOutOfMemory;
  }
}

Result CBoneSkinControl::LoadTables(CStream& stream, CStreamLoadRecord& record, i32 version) {
  u32 matrices = 0;
  Result r = ReadU32(stream, matrices);
  if (Succeeded(r)) r = stream.CheckAvailable(matrices, sizeof(CMatrix4));
  if (Failed(r)) return r;
  boneXForm_.resize(matrices);
  for (CMatrix4& m : boneXForm_) {
    r = ReadFloatBlock(stream, m);
    if (Failed(r)) return r;
  }
  // 2.01 stores exactly one list, without a count.
  u32 lists = 1;
  if (version >= static_cast<i32>(kVersionListCount)) {
    r = ReadU32(stream, lists);
    if (Succeeded(r)) r = stream.CheckAvailable(lists, 4);
    if (Failed(r)) return r;
  }
  skinWeightSet_.resize(lists);
  for (SkinWeightList& list : skinWeightSet_) {
    u32 entries = 0;
    r = ReadU32(stream, entries);
    if (Succeeded(r)) r = stream.CheckAvailable(entries, 4);
    if (Failed(r)) return r;
    list.resize(entries);
    for (SkinWeight& entry : list) {
      u32 m = 0;
      r = ReadU32(stream, m);
      if (Failed(r)) return r;
      if (m == 0) continue;
      r = stream.CheckAvailable(m, sizeof(f32) + sizeof(u8));
      if (Failed(r)) return r;
      entry.PureWeight.resize(m);
      entry.BoneID.resize(m);
      r = ReadFloats(stream, entry.PureWeight.data(), m);
      if (Succeeded(r)) r = stream.Read(entry.BoneID.data(), m, m);
      if (Failed(r)) return r;
    }
  }
  u32 bones = 0;
  r = ReadU32(stream, bones);
  if (Succeeded(r)) r = stream.CheckAvailable(bones, 8);
  if (Failed(r)) return r;
  for (u32 i = 0; i < bones; ++i) {
    r = ReadObjectId(stream, record);
    if (Failed(r)) return r;
  }
  referenceBone_.assign(bones, nullptr);

  // Every bone has its bind matrix, and every index names a bone.
  if (matrices != bones) return kErrNotFound;
  for (const SkinWeightList& list : skinWeightSet_) {
    for (const SkinWeight& entry : list) {
      for (const u8 id : entry.BoneID) {
        if (id >= bones) return kErrNotFound;
      }
    }
  }
  SortWeightsDescending();
  return kOk;
}

Result CBoneSkinControl::LoadLegacyTables(CStream& stream, CStreamLoadRecord& record) {
  // Per bone: id, bind matrix, pair count.
  constexpr u64 kBoneHead = 4 + sizeof(CMatrix4) + 4;
  u32 bones = 0;
  Result r = ReadU32(stream, bones);
  if (Succeeded(r)) r = stream.CheckAvailable(bones, kBoneHead);
  if (Failed(r)) return r;
  // After conversion each bone is named by one byte.
  if (bones > kMaxAddressableBones) return kErrNotFound;
  legacy_.resize(bones);
  std::vector<u32> pairs;
  for (LegacyBone& bone : legacy_) {
    u32 id = 0;
    u32 count = 0;
    r = ReadU32(stream, id);
    if (Succeeded(r)) r = ReadFloatBlock(stream, bone.bindMatrix);
    if (Succeeded(r)) r = ReadU32(stream, count);
    if (Succeeded(r)) r = stream.CheckAvailable(count, 8);
    if (Failed(r)) return r;
    // The 32-bit id widened with its sign.
    bone.id = static_cast<u64>(static_cast<i64>(static_cast<i32>(id)));
    pairs.resize(static_cast<std::size_t>(count) * 2);
    if (count > 0) {
      r = stream.Read(pairs.data(), count * 8, count * 8);
      if (Failed(r)) return r;
    }
    bone.vertices.resize(count);
    bone.weights.resize(count);
    for (u32 k = 0; k < count; ++k) {
      bone.vertices[k] = pairs[2 * k];
      bone.weights[k] = std::bit_cast<f32>(pairs[2 * k + 1]);
    }
  }
  // The bones are listed in ascending order of their stored ids (bones
  // with one id stay in file order), and their ids queued in that order.
  std::stable_sort(legacy_.begin(), legacy_.end(),
                   [](const LegacyBone& a, const LegacyBone& b) { return a.id < b.id; });
  for (const LegacyBone& bone : legacy_) record.pendingIds.push_back(bone.id);
  skinWeightSet_.assign(1, SkinWeightList());
  hasLegacy_ = true;
  return kOk;
}

Result CBoneSkinControl::Link(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  const Result r = CDataControl::Link(stream, record, flags);
  if (Failed(r)) return r;
  // The bones are plain pointers: one that the delivered roots do not keep
  // alive with this skin is dropped, and skipped like an unresolved one.
  stream.AddPostLinkStep([this, &stream] {
    for (CBase*& bone : referenceBone_) {
      if (!stream.CanReferTo(this, bone)) bone = nullptr;
    }
    return kOk;
  });
  if (!hasLegacy_) {
    for (CBase*& bone : referenceBone_) bone = stream.ObjectFromId(record.TakeNextId());
    return kOk;
  }
  Result converted = kOk;
  try {
    converted = ConvertLegacyTables(stream, record);
  } catch (const std::bad_alloc&) {
    converted = kErrOutOfMemory;
  } catch (const std::length_error&) {
    converted = kErrOutOfMemory;
  }
  legacy_.clear();
  legacy_.shrink_to_fit();
  hasLegacy_ = false;
  return converted;
}

Result CBoneSkinControl::ConvertLegacyTables(CStream& stream, CStreamLoadRecord& record) {
  referenceBone_.clear();
  boneXForm_.clear();
  for (const LegacyBone& bone : legacy_) {
    referenceBone_.push_back(stream.ObjectFromId(record.TakeNextId()));
    boneXForm_.push_back(bone.bindMatrix);
  }

  // The list covers level 0. That level may not be linked yet (records
  // link in id order): then the list reaches the largest stored vertex and
  // is checked and padded once the whole file is linked. Every vertex of a
  // level costs 12 bytes of the file, which bounds the indices a level can
  // have.
  const CGeometry* geometry = DynamicCast<CGeometry>(GetObject());
  const bool levelKnown = geometry != nullptr && geometry->GetLod(0) != nullptr;
  const u64 limit = levelKnown ? geometry->GetLodVertexCount(0)
                               : (stream.GetDevice() != nullptr ? stream.GetDevice()->GetSize() / 12u : 0u);
  u64 size = levelKnown ? limit : 0;
  // Pairs of weight 0 are dropped, so their vertex indices name nothing.
  for (const LegacyBone& bone : legacy_) {
    for (std::size_t k = 0; k < bone.vertices.size(); ++k) {
      if (bone.weights[k] == 0.0f) continue;
      if (bone.vertices[k] >= limit) return kErrNotFound;
      size = std::max<u64>(size, static_cast<u64>(bone.vertices[k]) + 1);
    }
  }
  SkinWeightList list(static_cast<std::size_t>(size));
  for (std::size_t b = 0; b < legacy_.size(); ++b) {
    const LegacyBone& bone = legacy_[b];
    for (std::size_t k = 0; k < bone.vertices.size(); ++k) {
      if (bone.weights[k] == 0.0f) continue;
      SkinWeight& entry = list[bone.vertices[k]];
      entry.PureWeight.push_back(bone.weights[k]);
      entry.BoneID.push_back(static_cast<u8>(b));
    }
  }
  skinWeightSet_.assign(1, SkinWeightList());
  skinWeightSet_[0].swap(list);
  SortWeightsDescending();

  if (!levelKnown) {
    stream.AddPostLinkStep([this]() -> Result {
      const CGeometry* bound = DynamicCast<CGeometry>(GetObject());
      if (bound == nullptr || bound->GetLod(0) == nullptr || skinWeightSet_.empty()) return kOk;
      const u32 vertices = bound->GetLodVertexCount(0);
      // The list reaches the largest stored vertex: one at or past the
      // level's vertex count names no vertex, as in the other link order.
      if (skinWeightSet_[0].size() > vertices) return kErrNotFound;
      if (skinWeightSet_[0].size() == vertices) return kOk;
      try {
        skinWeightSet_[0].resize(vertices);
        WeightsChanged();
      } catch (const std::bad_alloc&) {
        // Missing entries evaluate like entries without weights.
      }
      return kOk;
    });
  }
  return kOk;
}

Result CBoneSkinControl::Save(CStream& stream, u32 flags) {
  Result r = CDataControl::Save(stream, flags);
  if (Succeeded(r)) r = WriteVersion(stream, StaticClassRecord());
  if (Succeeded(r)) r = WriteU32(stream, static_cast<u32>(boneXForm_.size()));
  for (std::size_t i = 0; Succeeded(r) && i < boneXForm_.size(); ++i) r = WriteFloatBlock(stream, boneXForm_[i]);
  if (Succeeded(r)) r = WriteU32(stream, static_cast<u32>(skinWeightSet_.size()));
  for (const SkinWeightList& list : skinWeightSet_) {
    if (Succeeded(r)) r = WriteU32(stream, static_cast<u32>(list.size()));
    for (const SkinWeight& entry : list) {
      const u32 m = PairCount(entry);
      if (Succeeded(r)) r = WriteU32(stream, m);
      if (m == 0) continue;
      if (Succeeded(r)) r = WriteFloats(stream, entry.PureWeight.data(), m);
      if (Succeeded(r)) r = stream.Write(entry.BoneID.data(), m);
    }
    if (Failed(r)) return r;
  }
  if (Succeeded(r)) r = WriteU32(stream, static_cast<u32>(referenceBone_.size()));
  for (std::size_t i = 0; Succeeded(r) && i < referenceBone_.size(); ++i) {
    r = WriteObjectId(stream, referenceBone_[i]);
  }
  return r;
}

void CBoneSkinControl::DescribeMembers(CMemberVisitor& visitor) {
  const u32 bones = static_cast<u32>(std::min(boneXForm_.size(), referenceBone_.size()));
  visitor.BeginGroup(u"CBoneSkinControl Member");
  visitor.OpenGroup();
  visitor.RecordArray(u"BoneInfo", bones, [this](u32 i, CMemberVisitor& v) {
    v.Matrix4(u"BoneXForm", &boneXForm_[i]);
    v.ObjectRef(u"ReferenceBone", referenceBone_[i]);
  });
  visitor.RecordArray(u"SkinWeightSet", static_cast<u32>(skinWeightSet_.size()), [this](u32 i, CMemberVisitor& v) {
    const SkinWeightList& list = skinWeightSet_[i];
    v.RecordArray(u"SkinWeight", static_cast<u32>(list.size()), [&list](u32 j, CMemberVisitor& e) {
      const SkinWeight& entry = list[j];
      e.FloatArray(u"PureWeight", entry.PureWeight.data(), static_cast<u32>(entry.PureWeight.size()));
      e.FloatArray(u"Weight", entry.Weight.data(), static_cast<u32>(entry.Weight.size()));
      e.FlagArray(u"BoneID", entry.BoneID.data(), static_cast<u32>(entry.BoneID.size()));
    });
  });
  visitor.EndGroup();
  CDataControl::DescribeMembers(visitor);
}

u32 CBoneSkinControl::GetMemorySize() const { return CDataControl::GetMemorySize() + 104; }

u32 CBoneSkinControl::GetSaveSize() const {
  u32 size = CDataControl::GetSaveSize() + 8 + 4 + 64 * static_cast<u32>(boneXForm_.size()) + 4;
  for (const SkinWeightList& list : skinWeightSet_) {
    size += 4;
    for (const SkinWeight& entry : list) size += 4 + 5 * PairCount(entry);
  }
  return size + 4 + 8 * static_cast<u32>(referenceBone_.size());
}

bool CBoneSkinControl::HasSubObjects() const { return !referenceBone_.empty() || CDataControl::HasSubObjects(); }

}  // namespace KT
