// KT::CTriMeshData: the triangle half of one level of detail of a triangle
// mesh.
//
// The base (KT::CGeometryData) holds the vertex streams and the
// unified-vertex maps; this class adds the triangles. With n =
// TriangleQuantity, corner c of triangle t is entry 3t + c of every
// per-corner buffer:
//   XYZTriIndex, NormalTriIndex, ColorTriIndex  index into XYZ, Normal, Color
//   VertexTriIndex                              the unified vertex of the corner
//   UVWTriIndex (in each channel's CUvwMapData) index into the channel's UVW
// TriangleMtlID and Smooth hold one value per triangle, TangentIndex one
// record per unified vertex (V = the base's vertex-map count). Every buffer
// may be empty (the stream has no such indices); one that has data holds
// exactly 3n, n or V entries, which the record relies on: it stores no
// count of its own for them.
//
// The exporter fills a mesh in this order: SetTriangleQuantity, then it
// fills XYZTriIndex, NormalTriIndex, ColorTriIndex, TriangleMtlID and
// Smooth; CompactNormalIndices; ComputeVertexNormals; AddUvwMap per UV
// channel; BuildVertexTriIndex (which builds TangentIndex as well);
// SortByMaterial. The builders are implemented in scene/mesh_builders.cpp.
//
// Record, after the KT::CGeometryData record (little-endian u32 unless
// said): version pair 1.00; n; for XYZTriIndex, NormalTriIndex,
// ColorTriIndex, VertexTriIndex in turn a presence word (1 or 0) and, when
// 1, 3n u32; the same for TriangleMtlID and Smooth with n u32; the UvwMaps
// count and one 8-byte object id per channel; a presence word of
// TangentIndex and, when 1, V records of 12 bytes; the AttributeRanges
// count and its 12-byte records.
#pragma once

#include <vector>

#include "scene/geometry_data.h"
#include "scene/uvw_map.h"

namespace KT {

class CTriMeshData : public CGeometryData {
  KT_DECLARE_CLASS(CTriMeshData)

 public:
  // A run of consecutive triangles with one material id (12 bytes, the
  // same in memory and in the file).
  struct AttributeRange {
    u32 ID = 0;
    u32 FaceStart = 0;
    u32 FaceCount = 0;
    bool operator==(const AttributeRange&) const = default;
  };
  // The three unified vertices of the first triangle that uses a vertex
  // (12 bytes, the same in memory and in the file).
  struct TangentIndex {
    u32 IndexA = 0;
    u32 IndexB = 0;
    u32 IndexC = 0;
    bool operator==(const TangentIndex&) const = default;
  };
  static_assert(sizeof(AttributeRange) == 12 && sizeof(TangentIndex) == 12, "packed records");

  // No triangles, every buffer and list empty.
  CTriMeshData() = default;
  // The KT::CGeometryData copy, then TriangleQuantity, the six u32 buffers,
  // AttributeRanges and TangentIndex; no UV channels.
  CTriMeshData(const CTriMeshData& other);
  ~CTriMeshData() override;

  // A new default data into `out`: kOk, or kErrOutOfMemory (`out`
  // unchanged).
  static Result Create(CPointer<CTriMeshData>& out);

  // --- triangles ------------------------------------------------------------------
  u32 GetTriangleQuantity() const { return triangleQuantity_; }
  CBuffer<u32>& GetTriangleMtlID() { return triangleMtlId_; }
  const CBuffer<u32>& GetTriangleMtlID() const { return triangleMtlId_; }
  CBuffer<u32>& GetSmooth() { return smooth_; }
  const CBuffer<u32>& GetSmooth() const { return smooth_; }
  CBuffer<u32>& GetXYZTriIndex() { return xyzTriIndex_; }
  const CBuffer<u32>& GetXYZTriIndex() const { return xyzTriIndex_; }
  CBuffer<u32>& GetNormalTriIndex() { return normalTriIndex_; }
  const CBuffer<u32>& GetNormalTriIndex() const { return normalTriIndex_; }
  CBuffer<u32>& GetColorTriIndex() { return colorTriIndex_; }
  const CBuffer<u32>& GetColorTriIndex() const { return colorTriIndex_; }
  CBuffer<u32>& GetVertexTriIndex() { return vertexTriIndex_; }
  const CBuffer<u32>& GetVertexTriIndex() const { return vertexTriIndex_; }
  CBuffer<TangentIndex>& GetTangentIndex() { return tangentIndex_; }
  const CBuffer<TangentIndex>& GetTangentIndex() const { return tangentIndex_; }
  std::vector<AttributeRange>& GetAttributeRanges() { return attributeRanges_; }
  const std::vector<AttributeRange>& GetAttributeRanges() const { return attributeRanges_; }

  // n = 0; the six u32 buffers and TangentIndex emptied; UV channels
  // released; marked modified. AttributeRanges keeps its content.
  void Clear();
  // n = 0: kErrInvalidArg, nothing changes; 3n entries beyond what a buffer
  // can hold: kErrOutOfMemory, nothing changes. Else Clear, TriangleQuantity
  // = n, then 3n zeroed entries for XYZTriIndex when XYZ has data, for
  // NormalTriIndex when Normal has, for ColorTriIndex when Color has; the
  // first allocation failure is returned. VertexTriIndex, TriangleMtlID and
  // Smooth are not allocated here.
  Result SetTriangleQuantity(u32 n);
  // TriangleMtlID, or Smooth, becomes n zeroed entries (n = 0:
  // kErrInvalidArg; no memory: kErrOutOfMemory).
  Result AllocateTriangleMtlID();
  Result AllocateSmooth();

  // --- UV channels ------------------------------------------------------------------
  u32 GetUvwMapCount() const { return static_cast<u32>(uvwMaps_.size()); }
  // The map of channel i (no count taken); null for an index without a
  // channel and for a channel a file named but did not resolve.
  CUvwMap* GetUvwChannel(u32 i) const;
  // Null: kErrInvalidArg. A map already listed: kDone, nothing changes.
  // Else appended (one count taken), marked modified, kOk.
  Result AddUvwMap(CUvwMap* map);
  // Index not below the channel count: kErrOutOfRange; null map:
  // kErrInvalidArg; a map already listed: kDone, nothing changes. Else
  // channel `index` holds `map` (the former one released), marked
  // modified, kOk.
  Result SetUvwMap(u32 index, CUvwMap* map);

  // The unified vertex of the corners of a triangle that BuildVertexTriIndex
  // skips (it names no vertex).
  static constexpr u32 kNoVertex = 0xFFFFFFFFu;

  // --- builders (scene/mesh_builders.cpp) ---------------------------------------------
  // Signed lexicographic order of two corner keys of `length` u32 values:
  // every element is compared as an i32, so 0xFFFFFFFF sorts before 0.
  static bool CornerKeyLess(const u32* a, const u32* b, u32 length);

  // Recomputes Normal from the geometry: every normal is the normalised sum
  // of the unnormalised face normals (p1 - p0) x (p2 - p0) of the
  // triangles whose corners name it (once per naming corner), so triangles
  // weigh by their area; a normal named by no triangle of non-zero area
  // stays (0, 0, 0). No Normal: kDone and nothing changes. XYZTriIndex or
  // NormalTriIndex not holding 3n entries: kErrInvalidArg and nothing
  // changes. A triangle with a corner index past XYZ or Normal is skipped.
  Result ComputeVertexNormals();
  // Renumbers NormalTriIndex densely: every value is replaced by its
  // position in the ascending (signed) set of the distinct values, and
  // Normal becomes that many zeroed vectors (to be recomputed). No
  // NormalTriIndex: kErrInvalidArg; no memory: kErrOutOfMemory; on failure
  // NormalTriIndex is unchanged.
  Result CompactNormalIndices();
  // Gives every distinct combination of a corner's indices (XYZ, then
  // Normal, Color and each channel's UVW, for each buffer that has data)
  // one unified vertex, numbered in ascending key order (CornerKeyLess),
  // not in order of first use: VertexTriIndex gets each corner's vertex,
  // the vertex maps of the base and each channel's VertexUVWMap one entry
  // per vertex (the index of that stream in the vertex's key; a map whose
  // stream has no per-corner buffer stays zero). Then BuildTangentIndex
  // with the vertex count. A triangle with a corner index past its stream
  // (XYZ, Normal, Color or the channel's UVW) makes no vertex: its corners
  // get kNoVertex. n = 0, XYZTriIndex not holding 3n entries, or
  // another per-corner buffer (channels' included) neither empty nor of 3n
  // entries: kErrInvalidArg before anything changes; allocation failures:
  // kErrOutOfMemory.
  Result BuildVertexTriIndex();
  // TangentIndex becomes `vertexCount` records: record v holds the three
  // VertexTriIndex values of the first triangle that uses v, or those of
  // the last triangle when none does (all zero without triangles). Only
  // whole triangles that VertexTriIndex holds are read, and a triangle with
  // a corner not below `vertexCount` is skipped. vertexCount 0: kOk
  // and TangentIndex keeps its content; no memory: kErrOutOfMemory. Linear
  // in vertices plus triangles.
  Result BuildTangentIndex(u32 vertexCount);
  // Groups the triangles by material, stably, in ascending (signed) id
  // order: TriangleMtlID sorted, the per-corner buffers (XYZTriIndex,
  // NormalTriIndex, ColorTriIndex, each channel's UVWTriIndex once per
  // distinct channel data, VertexTriIndex) and Smooth reordered with it,
  // AttributeRanges rebuilt with one range per run of equal ids.
  // TangentIndex and the vertex maps are unchanged (vertex ids stay valid).
  // Required: n > 0, TriangleMtlID of n entries, XYZTriIndex,
  // NormalTriIndex and VertexTriIndex of 3n; the optional buffers empty or
  // of their full count. Otherwise kErrInvalidArg; kErrOutOfMemory when the
  // work space cannot be allocated. Both refusals change nothing.
  Result SortByMaterial();
  // Reorders the triangles of a per-corner `buffer` (3n entries): triangle
  // k of the result is triangle order[k] of the input. An empty buffer or
  // order, a buffer not of 3n entries, an order not of n entries or with an
  // entry not below n: kErrInvalidArg; no memory: kErrOutOfMemory. Both
  // leave the buffer unchanged.
  Result PermuteTriangles(CBuffer<u32>& buffer, const std::vector<u32>& order) const;

  // --- checks and record pieces ------------------------------------------------------
  // kOk when every index outside the triangles names an element: the
  // base's maps (CheckIndices of the base), every TangentIndex entry below
  // the vertex-map count, and every attribute range within the n
  // triangles. Else kErrNotFound. Loading refuses data that fails it.
  // Corner indices are not checked: the library writes meshes whose
  // corners point past their buffers, so it loads them too, and every
  // reader skips a triangle with such a corner.
  Result CheckIndices() const;
  // u32 count; when it is non-zero, AttributeRanges becomes that many
  // 12-byte records read in one piece (checked against the bytes left
  // first: kErrStream); a count of 0 leaves the ranges as they were.
  Result ReadAttributeRanges(CStream& stream);

  // --- overrides ----------------------------------------------------------------------
  // The base's hit, else the first hit among the channels.
  CBase* Find(const char16_t* name, const ClassRecord* record, bool includeDerived, bool onlyMarked) override;
  void Collect(std::vector<CBase*>& out, const char16_t* name, const ClassRecord* record, bool includeDerived,
               bool onlyMarked) override;
  bool UpdateMarked(const ObjectSet& set) override;
  void ClearMarked() override;
  Result ResolveReferences(CBase* root) override;
  Result CollectAnimated(std::vector<CDorun*>& animated) override;
  Result RegisterForSave(CStream& stream, u32 flags) override;
  // Each channel (owned), then the base's references.
  void EnumReferences(CReferenceVisitor& visitor) override;
  bool HasSubObjects() const override;
  Result CreateInstance(CPointer<CBase>& out) const override;
  // The base clone (kDone and failures passed on); every channel is cloned
  // through the same map and added to the copy (a channel listed twice is
  // listed once there).
  Result Clone(CPointer<CBase>& out, CloneMap& cloneMap, u32 flags) override;
  // Target not a KT::CTriMeshData: kErrNotFound and nothing changes. Else
  // the base part, TriangleQuantity, the six u32 buffers and TangentIndex
  // (emptied in the target when empty here), the channels shared (the
  // target's former ones go to `displaced`) and AttributeRanges.
  Result CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const override;
  // Reads the record. Counts are checked against the bytes left before
  // anything is allocated (kErrStream); a presence word of 0 leaves its
  // buffer as it was; indices that do not name an element: kErrNotFound.
  Result Load(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  // The base link, then each channel from its queued id (an id that names
  // no KT::CUvwMap leaves the channel empty). A channel whose ownership
  // would close a cycle: kErrNotFound.
  Result Link(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  // Writes the record; a buffer that has data but not the count the record
  // implies (3n, n or V, when that is above 0) is refused with
  // kErrInvalidArg. A buffer whose implied count is 0 is written as
  // present without elements.
  Result Save(CStream& stream, u32 flags) override;
  void DescribeMembers(CMemberVisitor& visitor) override;
  // Equal as vertex data (the base's IsEqual), `other` a KT::CTriMeshData
  // with the same TriangleQuantity and the same counts of the per-corner
  // buffers, AttributeRanges, TangentIndex, Smooth and channels; equal
  // bytes of XYZTriIndex, NormalTriIndex, VertexTriIndex and TangentIndex;
  // and per channel the UVW of this object's channel byte-equal to the
  // start of the other's (fewer coordinates there: unequal). ColorTriIndex,
  // Smooth and AttributeRanges are compared by count only, TriangleMtlID
  // not at all, the channels' index data not at all.
  bool IsEqual(const CGeometryData* other) const override;
  u32 GetMemorySize() const override;
  u32 GetSaveSize() const override;

 private:
  // The entries the record implies for a per-corner buffer (3n), fitted to
  // u32 (a count that large cannot be held anyway).
  u32 CornerCount() const;
  // SortByMaterial's reordering of one buffer with a work space of 3n
  // entries allocated beforehand.
  void PermuteWith(CBuffer<u32>& buffer, const std::vector<u32>& order, u32* work) const;

  u32 triangleQuantity_ = 0;
  CBuffer<u32> triangleMtlId_;
  CBuffer<u32> smooth_;
  CBuffer<u32> xyzTriIndex_;
  CBuffer<u32> normalTriIndex_;
  CBuffer<u32> colorTriIndex_;
  CBuffer<u32> vertexTriIndex_;
  std::vector<CPointer<CUvwMap>> uvwMaps_;
  std::vector<AttributeRange> attributeRanges_;
  CBuffer<TangentIndex> tangentIndex_;
};

}  // namespace KT
