// KT::CUvwMap and KT::CUvwMapData: one UV channel of a triangle mesh.
//
// A channel is two objects. KT::CUvwMap holds the texture coordinates (one
// u, v, w vector each) and owns a KT::CUvwMapData, which says how the mesh
// uses them: one coordinate index per triangle corner (UVWTriIndex, corner c
// of triangle t at 3t + c) and one per unified vertex (VertexUVWMap, filled
// when the mesh data builds its vertex index). Mesh data lists its channels;
// UVW-map controllers animate a map's coordinates in place.
//
// Building a channel: create both objects, size them with AllocateUvw and
// AllocateUvwTriIndex, fill the buffers, join them with SetUvwMapData and
// hand the map to the mesh data.
//
// Records, after the KT::CDorun record (little-endian):
//   CUvwMap 2.01:     u32 coordinate count k, k vectors of three f32, the
//                     data as an 8-byte id.
//   CUvwMap <= 2.00:  the index data inline: u32 k, a presence word and (when
//                     present) k vectors; u32 triangle count t, a presence
//                     word and 3t u32; u32 vertex count m, a presence word
//                     and m u32. Loading makes a KT::CUvwMapData of it.
//   CUvwMapData 1.00: u32 corner count c and c u32 (UVWTriIndex), then u32
//                     vertex count m and m u32 (VertexUVWMap).
// Files also name maps "CTriMeshUVWMap"; they load as KT::CUvwMap and are
// saved as "CUvwMap".
#pragma once

#include <vector>

#include "objectmodel/buffer.h"
#include "objectmodel/dorun.h"
#include "objectmodel/vector.h"

namespace KT {

class CUvwMapData : public CDorun {
  KT_DECLARE_CLASS(CUvwMapData)

 public:
  // Both buffers empty.
  CUvwMapData() = default;
  // Copies Name, Dirty and both buffers; no chains. A buffer that cannot
  // be allocated stays empty (CreateInstance reports that).
  CUvwMapData(const CUvwMapData& other);

  // A new default object into `out`: kOk, or kErrOutOfMemory (`out`
  // unchanged).
  static Result Create(CPointer<CUvwMapData>& out);

  // UVWTriIndex becomes 3 x `triangles` zeroed entries. 0 triangles:
  // kErrInvalidArg; no allocation (or more than 32 bits of entries):
  // kErrOutOfMemory. On failure the buffer keeps what it held.
  Result AllocateUvwTriIndex(u32 triangles);
  // VertexUVWMap becomes `vertices` zeroed entries; refusals as above.
  Result AllocateVertexUvwMap(u32 vertices);

  // Index into the map's UVW of each triangle corner. Save writes only the
  // whole triangles it holds (a trailing one or two entries are dropped),
  // so that every record it writes loads again.
  CBuffer<u32>& GetUVWTriIndex() { return uvwTriIndex_; }
  const CBuffer<u32>& GetUVWTriIndex() const { return uvwTriIndex_; }
  // Index into the map's UVW of each unified vertex.
  CBuffer<u32>& GetVertexUVWMap() { return vertexUvwMap_; }
  const CBuffer<u32>& GetVertexUVWMap() const { return vertexUvwMap_; }

  // --- overrides --------------------------------------------------------------
  // The copy constructor's copy; kErrOutOfMemory when it or a buffer could
  // not be allocated.
  Result CreateInstance(CPointer<CBase>& out) const override;
  // Target not a KT::CUvwMapData: kErrNotFound and nothing changes. Else
  // the KT::CDorun part, then UVWTriIndex and VertexUVWMap copied (emptied
  // in the target when empty here); kErrOutOfMemory when a copy cannot be
  // allocated.
  Result CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const override;
  // Reads the record. A corner count that is not a multiple of 3 is
  // refused with kErrNotFound (no triangle may be cut); counts beyond the
  // bytes left: kErrStream, before anything is allocated. A count of 0
  // leaves that buffer as it was.
  Result Load(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  Result Save(CStream& stream, u32 flags) override;
  void DescribeMembers(CMemberVisitor& visitor) override;
  u32 GetMemorySize() const override;
  u32 GetSaveSize() const override;

 private:
  // Entries of UVWTriIndex that Save writes: the whole triangles.
  u32 SavedCornerCount() const { return uvwTriIndex_.GetCount() / 3 * 3; }

  friend class CUvwMap;  // the old map record fills the data inline

  CBuffer<u32> vertexUvwMap_;
  CBuffer<u32> uvwTriIndex_;
};

class CUvwMap : public CDorun {
  KT_DECLARE_CLASS(CUvwMap)

 public:
  using Vec3 = CVector3<float>;

  // The index data lives in its own record from this version on; up to
  // 2.00 it was stored inside the map's record.
  static constexpr u32 kVersionSeparateData = 201;

  // No index data, no coordinates.
  CUvwMap() = default;
  // Copies Name, Dirty and UVW; the copy has no index data (Clone gives it
  // a clone of this map's). A UVW that cannot be allocated stays empty
  // (CreateInstance reports that).
  CUvwMap(const CUvwMap& other);

  // A new default map into `out`: kOk, or kErrOutOfMemory (`out`
  // unchanged).
  static Result Create(CPointer<CUvwMap>& out);

  // The index data (no count taken), or null.
  CUvwMapData* GetUvwMapData() const { return uvwMapData_.Get(); }
  // Shares `data` (null clears): the new data gains a count, the former one
  // loses one. The same object again changes nothing; otherwise the map is
  // marked modified.
  void SetUvwMapData(CUvwMapData* data);

  // The coordinates (u, v, w). Controllers write them in place.
  CBuffer<Vec3>& GetUVW() { return uvw_; }
  const CBuffer<Vec3>& GetUVW() const { return uvw_; }
  // UVW becomes `count` zeroed vectors. 0: kErrInvalidArg; no allocation:
  // kErrOutOfMemory. On failure the coordinates stay as they were.
  Result AllocateUvw(u32 count);

  // Whether every index of the data names a coordinate of UVW: kOk when
  // all do (or there is no data), kErrNotFound when an entry of UVWTriIndex
  // or VertexUVWMap is not below the UVW count. Loading keeps indices as
  // stored; code that reads coordinates through them asks this first.
  Result CheckIndices() const;

  // --- overrides --------------------------------------------------------------
  // The KT::CDorun hit, else the data's.
  CBase* Find(const char16_t* name, const ClassRecord* record, bool includeDerived, bool onlyMarked) override;
  // The KT::CDorun collection, then the data's.
  void Collect(std::vector<CBase*>& out, const char16_t* name, const ClassRecord* record, bool includeDerived,
               bool onlyMarked) override;
  // Marked when this map or its data is in the set (the data's flag is
  // updated as well).
  bool UpdateMarked(const ObjectSet& set) override;
  void ClearMarked() override;
  // Registers this map and, unless it was registered already (kDone), its
  // data.
  Result RegisterForSave(CStream& stream, u32 flags) override;
  void EnumReferences(CReferenceVisitor& visitor) override;
  bool HasSubObjects() const override;
  // A copy without index data; kErrOutOfMemory when it or UVW could not be
  // allocated.
  Result CreateInstance(CPointer<CBase>& out) const override;
  // The KT::CDorun clone (kDone with the earlier clone when this map was
  // cloned before); the data is cloned through the same map, so maps that
  // share data before share its clone after.
  Result Clone(CPointer<CBase>& out, CloneMap& cloneMap, u32 flags) override;
  // Target not a KT::CUvwMap: kErrNotFound and nothing changes. Else the
  // KT::CDorun part and UVW (emptied in the target when empty here); the
  // index data is not copied. kErrOutOfMemory when UVW cannot be copied.
  Result CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const override;
  // Reads the record of any version; counts beyond the bytes left give
  // kErrStream before anything is allocated. In the old inline layout a
  // presence word of 0 leaves the counted entries zeroed; their count is
  // still held to the bytes left, so a crafted count cannot force a huge
  // allocation.
  Result Load(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  // From 2.01 on, the data from its queued id when it names a
  // KT::CUvwMapData (else none). Data whose ownership would close a cycle
  // is refused with kErrNotFound.
  Result Link(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  Result Save(CStream& stream, u32 flags) override;
  void DescribeMembers(CMemberVisitor& visitor) override;
  u32 GetMemorySize() const override;
  u32 GetSaveSize() const override;

 private:
  // Reads a record of version 2.00 or older into UVW and a new data object.
  Result LoadOldLayout(CStream& stream);

  CPointer<CUvwMapData> uvwMapData_;
  CBuffer<Vec3> uvw_;
  // Set by Load when the record queued the data's id: Link consumes it.
  // Kept here because at link time the stream's stored version is that of
  // the last record loaded.
  bool dataIdQueued_ = false;
};

}  // namespace KT
