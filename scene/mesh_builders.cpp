#include "scene/mesh_builders.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <utility>

#include "scene/tri_mesh_data.h"

namespace KT {

namespace {

// Flipping the sign bit turns the signed order of the keys into the
// unsigned order of the flipped values.
constexpr u32 kSignBit = 0x80000000u;
constexpr u32 Flip(u32 value) { return value ^ kSignBit; }

// Value ranges up to this many table entries (or twice the value count,
// when that is larger) are ranked through a table instead of a sort.
constexpr u64 kMinTableRange = 1u << 16;

// Buckets up to this size are sorted by insertion in place.
constexpr u32 kInsertionSortLimit = 16;

bool TupleLess(const u32* a, const u32* b, u32 length) {
  for (u32 i = 0; i < length; ++i) {
    if (a[i] != b[i]) return a[i] < b[i];
  }
  return false;
}

// Sorts the `count` tuples of `stride` u32 at `tuples` by their first
// `length` values (already flipped to unsigned order).
void SortTuples(u32* tuples, u32 count, u32 stride, u32 length, std::vector<u32>& scratch) {
  if (count <= kInsertionSortLimit) {
    u32 held[64];
    for (u32 i = 1; i < count; ++i) {
      u32* current = tuples + static_cast<std::size_t>(i) * stride;
      if (!TupleLess(current, current - stride, length)) continue;
      std::memcpy(held, current, stride * sizeof(u32));
      u32 j = i;
      for (; j > 0 && TupleLess(held, tuples + static_cast<std::size_t>(j - 1) * stride, length); --j) {
        std::memcpy(tuples + static_cast<std::size_t>(j) * stride, tuples + static_cast<std::size_t>(j - 1) * stride,
                    stride * sizeof(u32));
      }
      std::memcpy(tuples + static_cast<std::size_t>(j) * stride, held, stride * sizeof(u32));
    }
    return;
  }
  // Larger buckets (a position shared by very many corners) are sorted
  // through an index, so no bucket costs more than n log n.
  std::vector<u32> index(count);
  for (u32 i = 0; i < count; ++i) index[i] = i;
  std::sort(index.begin(), index.end(), [&](u32 a, u32 b) {
    return TupleLess(tuples + static_cast<std::size_t>(a) * stride, tuples + static_cast<std::size_t>(b) * stride,
                     length);
  });
  scratch.resize(static_cast<std::size_t>(count) * stride);
  for (u32 i = 0; i < count; ++i) {
    std::memcpy(&scratch[static_cast<std::size_t>(i) * stride], tuples + static_cast<std::size_t>(index[i]) * stride,
                stride * sizeof(u32));
  }
  std::memcpy(tuples, scratch.data(), scratch.size() * sizeof(u32));
}

}  // namespace

Result RankSignedValues(const u32* values, u32 count, u32* ranks, u32& distinct) {
  distinct = 0;
  if (count == 0) return kOk;
  try {
    u32 low = Flip(values[0]);
    u32 high = low;
    for (u32 i = 1; i < count; ++i) {
      const u32 f = Flip(values[i]);
      low = std::min(low, f);
      high = std::max(high, f);
    }
    const u64 range = static_cast<u64>(high) - low + 1;
    if (range <= std::max<u64>(2 * static_cast<u64>(count), kMinTableRange)) {
      // Mark the values present, then number them in ascending order.
      std::vector<u32> table(static_cast<std::size_t>(range), 0);
      for (u32 i = 0; i < count; ++i) table[Flip(values[i]) - low] = 1;
      u32 next = 0;
      for (u32& entry : table) {
        if (entry != 0) entry = next++;
      }
      for (u32 i = 0; i < count; ++i) ranks[i] = table[Flip(values[i]) - low];
      distinct = next;
      return kOk;
    }
    std::vector<u32> sorted(count);
    for (u32 i = 0; i < count; ++i) sorted[i] = Flip(values[i]);
    std::sort(sorted.begin(), sorted.end());
    sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());
    for (u32 i = 0; i < count; ++i) {
      ranks[i] = static_cast<u32>(std::lower_bound(sorted.begin(), sorted.end(), Flip(values[i])) - sorted.begin());
    }
    distinct = static_cast<u32>(sorted.size());
    return kOk;
  } catch (const std::bad_alloc&) {
    return kErrOutOfMemory;
  }
}

Result StableOrderBySignedKeys(const u32* keys, u32 count, std::vector<u32>& order) {
  try {
    std::vector<u32> ranks(count);
    u32 distinct = 0;
    const Result r = RankSignedValues(keys, count, ranks.data(), distinct);
    if (Failed(r)) return r;
    // Counting sort by rank: stable, linear.
    std::vector<u32> start(static_cast<std::size_t>(distinct) + 1, 0);
    for (u32 rank : ranks) ++start[rank + 1];
    for (u32 i = 0; i < distinct; ++i) start[i + 1] += start[i];
    order.resize(count);
    for (u32 i = 0; i < count; ++i) order[start[ranks[i]]++] = i;
    return kOk;
  } catch (const std::bad_alloc&) {
    return kErrOutOfMemory;
  }
}

Result UnifyCornerKeys(const std::vector<const u32*>& columns, u32 cornerCount, u32* vertexOfCorner,
                       std::vector<u32>& firstCorner) {
  firstCorner.clear();
  if (columns.empty() || columns.size() > 64 || cornerCount == 0) return kErrInvalidArg;
  try {
    // Bucket the corners by the rank of their first key value: the buckets
    // then come in key order, and only the few corners of one bucket (the
    // corners at one position) need comparing on the rest of the key.
    std::vector<u32> bucket(cornerCount);
    u32 buckets = 0;
    Result r = RankSignedValues(columns[0], cornerCount, bucket.data(), buckets);
    if (Failed(r)) return r;
    if (columns.size() == 1) {
      firstCorner.assign(buckets, 0);
      for (u32 c = cornerCount; c-- > 0;) firstCorner[bucket[c]] = c;
      std::memcpy(vertexOfCorner, bucket.data(), cornerCount * sizeof(u32));
      return kOk;
    }
    std::vector<u32> start(static_cast<std::size_t>(buckets) + 1, 0);
    for (u32 b : bucket) ++start[b + 1];
    for (u32 i = 0; i < buckets; ++i) start[i + 1] += start[i];

    // Each tuple: the rest of the key (flipped), then the corner.
    const u32 length = static_cast<u32>(columns.size()) - 1;
    const u32 stride = length + 1;
    std::vector<u32> tuples(static_cast<std::size_t>(cornerCount) * stride);
    {
      std::vector<u32> next(start.begin(), start.end() - 1);
      for (u32 c = 0; c < cornerCount; ++c) {
        u32* tuple = &tuples[static_cast<std::size_t>(next[bucket[c]]++) * stride];
        for (u32 j = 0; j < length; ++j) tuple[j] = Flip(columns[j + 1][c]);
        tuple[length] = c;
      }
    }
    bucket = std::vector<u32>();

    std::vector<u32> scratch;
    firstCorner.reserve(buckets);
    u32 vertex = 0;
    for (u32 b = 0; b < buckets; ++b) {
      u32* first = &tuples[static_cast<std::size_t>(start[b]) * stride];
      const u32 size = start[b + 1] - start[b];
      SortTuples(first, size, stride, length, scratch);
      for (u32 i = 0; i < size; ++i) {
        const u32* tuple = first + static_cast<std::size_t>(i) * stride;
        if (i == 0 || std::memcmp(tuple, tuple - stride, length * sizeof(u32)) != 0) {
          vertex = static_cast<u32>(firstCorner.size());
          firstCorner.push_back(tuple[length]);
        }
        vertexOfCorner[tuple[length]] = vertex;
      }
    }
    return kOk;
  } catch (const std::bad_alloc&) {
    firstCorner.clear();
    return kErrOutOfMemory;
  }
}

// --- the builders of KT::CTriMeshData ------------------------------------------------------

bool CTriMeshData::CornerKeyLess(const u32* a, const u32* b, u32 length) {
  for (u32 i = 0; i < length; ++i) {
    const i32 x = static_cast<i32>(a[i]);
    const i32 y = static_cast<i32>(b[i]);
    if (x != y) return x < y;
  }
  return false;
}

Result CTriMeshData::ComputeVertexNormals() {
  CBuffer<Vec3>& normals = GetNormal();
  if (normals.IsEmpty()) return kDone;
  const u32 corners = CornerCount();
  if (xyzTriIndex_.GetCount() != corners || normalTriIndex_.GetCount() != corners) return kErrInvalidArg;
  const CBuffer<Vec3>& xyz = GetXYZ();
  const u32 positions = xyz.GetCount();
  const u32 normalCount = normals.GetCount();
  for (Vec3& normal : normals) normal = kVectorZero;
  for (u32 t = 0; t < triangleQuantity_; ++t) {
    const u32* p = &xyzTriIndex_[3 * t];
    const u32* q = &normalTriIndex_[3 * t];
    // A corner naming no position or no normal cannot contribute.
    if (p[0] >= positions || p[1] >= positions || p[2] >= positions || q[0] >= normalCount ||
        q[1] >= normalCount || q[2] >= normalCount) {
      continue;
    }
    const Vec3 face = (xyz[p[1]] - xyz[p[0]]).Cross(xyz[p[2]] - xyz[p[0]]);
    normals[q[0]] += face;
    normals[q[1]] += face;
    normals[q[2]] += face;
  }
  for (Vec3& normal : normals) normal.Normalize();
  SetModified();
  return kOk;
}

Result CTriMeshData::CompactNormalIndices() {
  const u32 count = normalTriIndex_.GetCount();
  if (count == 0) return kErrInvalidArg;
  std::unique_ptr<u32[]> ranks(new (std::nothrow) u32[count]);
  if (!ranks) return kErrOutOfMemory;
  u32 distinct = 0;
  Result r = RankSignedValues(normalTriIndex_.GetData(), count, ranks.get(), distinct);
  if (Succeeded(r)) r = AllocateNormal(distinct);
  if (Failed(r)) return r;
  std::memcpy(normalTriIndex_.GetData(), ranks.get(), count * sizeof(u32));
  return kOk;
}

Result CTriMeshData::BuildVertexTriIndex() {
  if (triangleQuantity_ == 0) return kErrInvalidArg;
  const u32 corners = CornerCount();
  if (xyzTriIndex_.GetCount() != corners) return kErrInvalidArg;
  for (const CBuffer<u32>* buffer : {&normalTriIndex_, &colorTriIndex_}) {
    if (!buffer->IsEmpty() && buffer->GetCount() != corners) return kErrInvalidArg;
  }
  // The channels that take part: those whose data has corner indices.
  std::vector<CUvwMapData*> channels;
  std::vector<u32> coordinates;
  for (const CPointer<CUvwMap>& map : uvwMaps_) {
    CUvwMapData* data = map ? map->GetUvwMapData() : nullptr;
    if (data == nullptr || data->GetUVWTriIndex().IsEmpty()) continue;
    if (data->GetUVWTriIndex().GetCount() != corners) return kErrInvalidArg;
    channels.push_back(data);
    coordinates.push_back(map->GetUVW().GetCount());
  }

  // Key layout: XYZ, then Normal and Color when they have corner indices,
  // then each taking channel; beside each column the count of the stream it
  // indexes.
  std::vector<const u32*> columns = {xyzTriIndex_.GetData()};
  std::vector<u32> limits = {GetXYZ().GetCount()};
  if (!normalTriIndex_.IsEmpty()) {
    columns.push_back(normalTriIndex_.GetData());
    limits.push_back(GetNormal().GetCount());
  }
  if (!colorTriIndex_.IsEmpty()) {
    columns.push_back(colorTriIndex_.GetData());
    limits.push_back(GetColor().GetCount());
  }
  for (std::size_t i = 0; i < channels.size(); ++i) {
    columns.push_back(channels[i]->GetUVWTriIndex().GetData());
    limits.push_back(coordinates[i]);
  }

  Result r = vertexTriIndex_.Create(corners);
  if (Failed(r)) return r;
  SetModified();
  std::vector<u32> firstCorner;
  try {
    // A triangle with a corner past one of its streams is skipped: it makes
    // no vertex, so every vertex map names an element, and its corners get
    // kNoVertex.
    std::vector<u8> skipped;
    for (u32 t = 0; t < triangleQuantity_; ++t) {
      bool good = true;
      for (std::size_t j = 0; j < columns.size() && good; ++j) {
        const u32* corner = columns[j] + 3 * static_cast<std::size_t>(t);
        good = corner[0] < limits[j] && corner[1] < limits[j] && corner[2] < limits[j];
      }
      if (good) continue;
      if (skipped.empty()) skipped.assign(triangleQuantity_, 0);
      skipped[t] = 1;
    }
    if (skipped.empty()) {
      r = UnifyCornerKeys(columns, corners, vertexTriIndex_.GetData(), firstCorner);
    } else {
      // The kept corners are unified on their own, then put back in place.
      std::vector<u32> kept;
      for (u32 t = 0; t < triangleQuantity_; ++t) {
        if (skipped[t] == 0) kept.insert(kept.end(), {3 * t, 3 * t + 1, 3 * t + 2});
      }
      std::fill(vertexTriIndex_.begin(), vertexTriIndex_.end(), kNoVertex);
      if (!kept.empty()) {
        const u32 keptCount = static_cast<u32>(kept.size());
        std::vector<std::vector<u32>> keptColumns(columns.size(), std::vector<u32>(keptCount));
        std::vector<const u32*> keptData;
        for (std::size_t j = 0; j < columns.size(); ++j) {
          for (u32 k = 0; k < keptCount; ++k) keptColumns[j][k] = columns[j][kept[k]];
          keptData.push_back(keptColumns[j].data());
        }
        std::vector<u32> vertexOfKept(keptCount);
        r = UnifyCornerKeys(keptData, keptCount, vertexOfKept.data(), firstCorner);
        if (Succeeded(r)) {
          for (u32 k = 0; k < keptCount; ++k) vertexTriIndex_[kept[k]] = vertexOfKept[k];
          for (u32& corner : firstCorner) corner = kept[corner];
        }
      }
    }
  } catch (const std::bad_alloc&) {
    r = kErrOutOfMemory;
  }
  if (Failed(r)) return r;
  const u32 vertices = static_cast<u32>(firstCorner.size());

  r = AllocateVertexMaps(vertices);
  for (std::size_t i = 0; Succeeded(r) && i < channels.size(); ++i) r = channels[i]->AllocateVertexUvwMap(vertices);
  if (Failed(r)) return r;

  // Each map takes its stream's value from the vertex's key; a map whose
  // stream has no corner indices has no place in the key and stays zero.
  auto fill = [&](CBuffer<u32>& map, const CBuffer<u32>& cornerIndex) {
    if (map.IsEmpty() || cornerIndex.IsEmpty()) return;
    for (u32 v = 0; v < vertices; ++v) map[v] = cornerIndex[firstCorner[v]];
  };
  fill(GetVertexXYZMap(), xyzTriIndex_);
  fill(GetVertexNormalMap(), normalTriIndex_);
  fill(GetVertexColorMap(), colorTriIndex_);
  for (CUvwMapData* data : channels) fill(data->GetVertexUVWMap(), data->GetUVWTriIndex());
  return BuildTangentIndex(vertices);
}

Result CTriMeshData::BuildTangentIndex(u32 vertexCount) {
  if (vertexCount == 0) return kOk;
  std::unique_ptr<u8[]> assigned(new (std::nothrow) u8[vertexCount]());
  if (!assigned) return kErrOutOfMemory;
  const Result r = tangentIndex_.Create(vertexCount);
  if (Failed(r)) return r;
  SetModified();
  // One walk over the triangles: a vertex takes the first triangle that
  // names it, which is where a scan per vertex would have stopped. A
  // triangle with a corner past the vertices is skipped, so that every
  // record names vertices.
  const u32 triangles = std::min(triangleQuantity_, vertexTriIndex_.GetCount() / 3);
  // A scan that finds no triangle ends holding the last one it read.
  TangentIndex last;
  for (u32 t = 0; t < triangles; ++t) {
    const TangentIndex record{vertexTriIndex_[3 * t], vertexTriIndex_[3 * t + 1], vertexTriIndex_[3 * t + 2]};
    if (record.IndexA >= vertexCount || record.IndexB >= vertexCount || record.IndexC >= vertexCount) continue;
    last = record;
    for (u32 v : {record.IndexA, record.IndexB, record.IndexC}) {
      if (assigned[v] == 0) {
        tangentIndex_[v] = record;
        assigned[v] = 1;
      }
    }
  }
  for (u32 v = 0; v < vertexCount; ++v) {
    if (assigned[v] == 0) tangentIndex_[v] = last;
  }
  return kOk;
}

void CTriMeshData::PermuteWith(CBuffer<u32>& buffer, const std::vector<u32>& order, u32* work) const {
  const u32* source = buffer.GetData();
  for (u32 k = 0; k < triangleQuantity_; ++k) {
    const u32* triangle = source + 3 * static_cast<std::size_t>(order[k]);
    work[3 * k] = triangle[0];
    work[3 * k + 1] = triangle[1];
    work[3 * k + 2] = triangle[2];
  }
  std::memcpy(buffer.GetData(), work, CornerCount() * sizeof(u32));
}

Result CTriMeshData::PermuteTriangles(CBuffer<u32>& buffer, const std::vector<u32>& order) const {
  if (buffer.IsEmpty() || order.empty() || buffer.GetCount() != CornerCount() || order.size() != triangleQuantity_) {
    return kErrInvalidArg;
  }
  for (u32 t : order) {
    if (t >= triangleQuantity_) return kErrInvalidArg;
  }
  std::unique_ptr<u32[]> work(new (std::nothrow) u32[buffer.GetCount()]);
  if (!work) return kErrOutOfMemory;
  PermuteWith(buffer, order, work.get());
  return kOk;
}

Result CTriMeshData::SortByMaterial() {
  const u32 n = triangleQuantity_;
  const u32 corners = CornerCount();
  // Everything is checked before anything moves, so a refusal leaves the
  // mesh as it was.
  if (n == 0 || triangleMtlId_.GetCount() != n) return kErrInvalidArg;
  for (const CBuffer<u32>* required : {&xyzTriIndex_, &normalTriIndex_, &vertexTriIndex_}) {
    if (required->GetCount() != corners) return kErrInvalidArg;
  }
  if (!colorTriIndex_.IsEmpty() && colorTriIndex_.GetCount() != corners) return kErrInvalidArg;
  if (!smooth_.IsEmpty() && smooth_.GetCount() != n) return kErrInvalidArg;
  // Channels that share one index data are reordered once: reordering
  // the same buffer twice would scramble it.
  std::vector<CUvwMapData*> channels;
  for (const CPointer<CUvwMap>& map : uvwMaps_) {
    CUvwMapData* data = map ? map->GetUvwMapData() : nullptr;
    if (data == nullptr || data->GetUVWTriIndex().IsEmpty()) continue;
    if (data->GetUVWTriIndex().GetCount() != corners) return kErrInvalidArg;
    if (std::find(channels.begin(), channels.end(), data) == channels.end()) channels.push_back(data);
  }

  std::vector<u32> order;
  Result r = StableOrderBySignedKeys(triangleMtlId_.GetData(), n, order);
  if (Failed(r)) return r;
  std::unique_ptr<u32[]> work(new (std::nothrow) u32[corners]);
  if (!work) return kErrOutOfMemory;
  // The ranges of the new order: one per run of equal ids.
  std::vector<AttributeRange> ranges;
  try {
    AttributeRange current{triangleMtlId_[order[0]], 0, 0};
    for (u32 k = 0; k < n; ++k) {
      const u32 id = triangleMtlId_[order[k]];
      if (id != current.ID) {
        ranges.push_back(current);
        current = {id, k, 1};
      } else {
        ++current.FaceCount;
      }
    }
    ranges.push_back(current);
  } catch (const std::bad_alloc&) {
    return kErrOutOfMemory;
  }
  SetModified();

  bool identity = true;
  for (u32 k = 0; k < n && identity; ++k) identity = order[k] == k;
  if (!identity) {
    for (u32 k = 0; k < n; ++k) work[k] = triangleMtlId_[order[k]];
    std::memcpy(triangleMtlId_.GetData(), work.get(), n * sizeof(u32));
    for (CBuffer<u32>* buffer : {&xyzTriIndex_, &normalTriIndex_, &colorTriIndex_}) {
      if (!buffer->IsEmpty()) PermuteWith(*buffer, order, work.get());
    }
    for (CUvwMapData* data : channels) PermuteWith(data->GetUVWTriIndex(), order, work.get());
    PermuteWith(vertexTriIndex_, order, work.get());
    if (!smooth_.IsEmpty()) {
      for (u32 k = 0; k < n; ++k) work[k] = smooth_[order[k]];
      std::memcpy(smooth_.GetData(), work.get(), n * sizeof(u32));
    }
  }

  attributeRanges_ = std::move(ranges);
  return kOk;
}

}  // namespace KT
