// KT::CGeometryData: the vertex data of one level of detail.
//
// Positions (XYZ), normals and colours, a material id per position
// (XYZMtlID), and the unified-vertex maps: entry v of VertexXYZMap,
// VertexNormalMap and VertexColorMap says which position, normal and colour
// unified vertex v uses. The object is shared: several geometry nodes may
// hold the same data as a level, and triangle-mesh data derives from it and
// adds the triangles. A buffer has data exactly when its count is non-zero.
// The three vertex maps have one common count (they are allocated
// together and the record stores one count for them).
//
// Record, after the KT::CDorun record (every count and flag a little-endian
// u32; a flag is 1 when its buffer has data, else 0):
//   version pair 1.00;
//   n = XYZ count, n vectors of three f32;
//   XYZMtlID flag, n u32 when set;
//   Normal count m, flag, m vectors when set;
//   Color count c, flag, c vectors when set;
//   k = the maps' common count, VertexXYZMap flag, k u32 when set;
//   VertexNormalMap flag, k u32 when set;
//   VertexColorMap flag, k u32 when set.
// The same block without its version pair is the inline vertex block of old
// geometry records (LoadVertexBlock). The bounding box is not stored: it is
// recomputed from XYZ after loading.
#pragma once

#include "objectmodel/buffer.h"
#include "objectmodel/dorun.h"
#include "objectmodel/stream.h"
#include "objectmodel/stream_fields.h"
#include "objectmodel/vector.h"
#include "scene/bound.h"

namespace KT {

class CGeometryData : public CDorun {
  KT_DECLARE_CLASS(CGeometryData)

 public:
  using Vec3 = CVector3<float>;

  // Every buffer empty, the bounding box empty.
  CGeometryData() = default;
  // Copies Name, Dirty, every buffer and the bounding box; no chains. A
  // buffer that cannot be allocated stays empty (CreateInstance reports
  // that).
  CGeometryData(const CGeometryData& other);

  // A new default data into `out`: kOk, or kErrOutOfMemory (`out`
  // unchanged).
  static Result Create(CPointer<CGeometryData>& out);

  // --- buffers ------------------------------------------------------------------
  // Writers may change the elements in place; replacing a buffer with one
  // of another count must keep the counts described above, or Save refuses
  // the data (kErrInvalidArg).
  CBuffer<Vec3>& GetXYZ() { return xyz_; }
  const CBuffer<Vec3>& GetXYZ() const { return xyz_; }
  CBuffer<Vec3>& GetNormal() { return normal_; }
  const CBuffer<Vec3>& GetNormal() const { return normal_; }
  CBuffer<Vec3>& GetColor() { return color_; }
  const CBuffer<Vec3>& GetColor() const { return color_; }
  CBuffer<u32>& GetXYZMtlID() { return xyzMtlId_; }
  const CBuffer<u32>& GetXYZMtlID() const { return xyzMtlId_; }
  CBuffer<u32>& GetVertexXYZMap() { return vertexXyzMap_; }
  const CBuffer<u32>& GetVertexXYZMap() const { return vertexXyzMap_; }
  CBuffer<u32>& GetVertexNormalMap() { return vertexNormalMap_; }
  const CBuffer<u32>& GetVertexNormalMap() const { return vertexNormalMap_; }
  CBuffer<u32>& GetVertexColorMap() { return vertexColorMap_; }
  const CBuffer<u32>& GetVertexColorMap() const { return vertexColorMap_; }
  // The bound of XYZ as of the last UpdateBoundingBox (or load).
  const CBound& GetBoundingBox() const { return boundingBox_; }

  // The common count of the vertex maps: that of the first of VertexXYZMap,
  // VertexNormalMap, VertexColorMap that has data (0 when none has). This
  // is the number of unified vertices.
  u32 GetVertexMapCount() const;

  // --- allocation -----------------------------------------------------------------
  // Each makes its buffer `count` zeroed entries: kOk; count 0:
  // kErrInvalidArg and nothing changes; no memory: kErrOutOfMemory and the
  // buffer is empty. The object is marked modified on success.
  Result AllocateXYZ(u32 count);
  Result AllocateNormal(u32 count);
  Result AllocateColor(u32 count);
  // As many zeroed ids as XYZ has entries (kErrInvalidArg without XYZ).
  Result AllocateXYZMtlID();
  // Empties all three maps, then gives VertexXYZMap `count` zeroed entries
  // when XYZ has data, VertexNormalMap when Normal has, VertexColorMap when
  // Color has; the first failure is returned (count 0 with any stream:
  // kErrInvalidArg, the maps stay empty).
  Result AllocateVertexMaps(u32 count);
  // Bounding box = the bound of the XYZ points (empty without points).
  void UpdateBoundingBox();

  // Makes XYZ, XYZMtlID, Normal, Color and the three maps copies of
  // `source`'s (a buffer empty there is emptied here) and recomputes the
  // bounding box. kErrOutOfMemory when a copy cannot be allocated (the
  // buffers copied so far stay).
  Result CopyVertexStreams(const CGeometryData& source);

  // kOk when every vertex map entry names an element of its stream
  // (VertexXYZMap below the XYZ count, and so on), else kErrNotFound.
  // Loading refuses data that fails it.
  Result CheckIndices() const;

  // Reads the vertex block (the record above without its version pair).
  // Counts are checked against the bytes left before anything is
  // allocated (kErrStream); a flag of 0, or a count of 0 with a flag set,
  // reads nothing and leaves that buffer as it was. Map entries that do not
  // name an element of their stream: kErrNotFound. The bounding box is
  // recomputed at the end. Stream and allocation failures are returned at
  // once, leaving what was read so far.
  Result LoadVertexBlock(CStream& stream);

  // Equal counts of all six vertex-stream and map buffers, and equal bytes
  // of XYZ, Normal, VertexXYZMap and VertexNormalMap (so a position of -0
  // differs from one of +0). Colours, the colour map and XYZMtlID are not
  // compared by content. Null: false.
  virtual bool IsEqual(const CGeometryData* other) const;

  // --- overrides --------------------------------------------------------------------
  // The copy constructor's copy; kErrOutOfMemory when it or a buffer could
  // not be allocated.
  Result CreateInstance(CPointer<CBase>& out) const override;
  // The KT::CDorun clone; kDone and failures are passed on, else kOk.
  Result Clone(CPointer<CBase>& out, CloneMap& cloneMap, u32 flags) override;
  // Target not a KT::CGeometryData (null included): kErrNotFound and
  // nothing changes. Else the KT::CDorun part, every buffer (emptied in the
  // target when empty here) and the bounding box; kErrOutOfMemory when a
  // copy cannot be allocated.
  Result CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const override;
  // Reads the version pair and the vertex block (LoadVertexBlock).
  Result Load(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  // The KT::CDorun link; failures are passed on, else kOk.
  Result Link(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  // Writes the record. Data whose counts break the rules above (XYZMtlID
  // neither empty nor of the XYZ count, a vertex map neither empty nor of
  // the common count) is refused with kErrInvalidArg.
  Result Save(CStream& stream, u32 flags) override;
  void DescribeMembers(CMemberVisitor& visitor) override;
  u32 GetMemorySize() const override;
  u32 GetSaveSize() const override;

 private:
  CBuffer<Vec3> xyz_;
  CBuffer<Vec3> normal_;
  CBuffer<Vec3> color_;
  CBuffer<u32> xyzMtlId_;
  CBuffer<u32> vertexXyzMap_;
  CBuffer<u32> vertexNormalMap_;
  CBuffer<u32> vertexColorMap_;
  CBound boundingBox_;
};

}  // namespace KT
