// KT::CPhysicsSoftControl: plays back a baked soft-body simulation on a
// geometry.
//
// It stores the geometry's vertex positions sampled at ascending times
// (Time, local ms; LocalXYZ, one vertex list per time). Each data update at
// t = trunc(time x Frequency) (no repeat folding) it lerps the two samples
// around t straight into the geometry's WorldXYZ, for every vertex or, with
// UseIndexList non-zero, only the vertices listed in VertexIndices, then
// sets WorldXYZReady and RecomputeNormals. After the last sample the last
// one holds. Playback off only asks the geometry for new normals. A vertex
// past the sample's list or past WorldXYZ is skipped, so a file whose lists
// are short writes nothing out of range.
//
// Record, after the KT::CDataControl part (little-endian): version pair
// 1.00; Playback (u8); Time (u32 count, count i32); the sample count (u32)
// and per sample u32 count and count x 3 f32; VertexIndices (u32 count,
// count u32); UseIndexList (u32).
#pragma once

#include <vector>

#include "controllers/core/data_control.h"
#include "controllers/core/key_track.h"
#include "objectmodel/vector.h"

namespace KT {

class CGeometry;

class CPhysicsSoftControl : public CDataControl {
  KT_DECLARE_CLASS(CPhysicsSoftControl)

 public:
  using Vec3 = CVector3<float>;
  using VertexList = std::vector<Vec3>;

  CPhysicsSoftControl() = default;
  // Copies the controller part, Playback, UseIndexList, the samples and the
  // indices; the sample cache starts at 0.
  CPhysicsSoftControl(const CPhysicsSoftControl& other) = default;
  ~CPhysicsSoftControl() override;

  // --- samples -------------------------------------------------------------------------
  bool GetPlayback() const { return playback_; }
  void SetPlayback(bool playback) {
    playback_ = playback;
    SetModified();
  }
  u32 GetUseIndexList() const { return useIndexList_; }
  void SetUseIndexList(u32 use) {
    useIndexList_ = use;
    SetModified();
  }
  const std::vector<i32>& GetTime() const { return times_.Times(); }
  const std::vector<VertexList>& GetLocalXYZ() const { return localXyz_; }
  const std::vector<u32>& GetVertexIndices() const { return vertexIndices_; }
  u32 GetSampleCache() const { return times_.GetLastIndex(); }
  // Appends a sample at `time` (it must be after the last one, else
  // kErrInvalidArg and nothing changes). kErrOutOfMemory leaves the samples
  // as they were. Marks modified; kOk.
  Result AddSample(i32 time, const VertexList& positions);
  // Replaces the index list; kErrOutOfMemory leaves it as it was.
  Result SetVertexIndices(const std::vector<u32>& indices);

  // --- controller protocol -------------------------------------------------------------
  // Unbound: kErrInvalidArg. Inactive: kDone. Bound to an object that is not
  // a KT::CGeometry: kErrNotFound, nothing written. Playback off: sets
  // RecomputeNormals, kDone. No samples, or t before the first: kDone,
  // nothing written. Otherwise the playback above; kOk.
  Result Update(i32 time) override;
  // Update wrote the positions: kDone.
  Result Apply() override;
  // Unbound: kErrInvalidArg; bound to another class than KT::CGeometry:
  // kErrNotFound. Else sets the geometry's HasDeformedWorldXYZ; kOk.
  Result UpdateTransform(i32 time) override;
  // trunc(last Time / Frequency); 0 without samples.
  i32 GetEndTime() const override;

  // --- root protocol --------------------------------------------------------------------
  // A copy made by the copy constructor; kErrOutOfMemory when it cannot be.
  Result CreateInstance(CPointer<CBase>& out) const override;
  // Target null or not a KT::CPhysicsSoftControl: kErrNotFound, nothing
  // changes. Else the controller part, then Playback, the samples, the
  // indices and UseIndexList (the target keeps its cache).
  Result CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const override;
  // Counts beyond the bytes left: kErrStream before anything is allocated.
  // Time and LocalXYZ of different counts: kErrNotFound.
  Result Load(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  // The controller's Link; any non-failure becomes kOk.
  Result Link(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  Result Save(CStream& stream, u32 flags) override;
  // "CPhysicsSoftControl Member": per sample "Time" and "LocalXYZ"; then
  // the controller members.
  void DescribeMembers(CMemberVisitor& visitor) override;
  u32 GetMemorySize() const override;
  u32 GetSaveSize() const override;

 private:
  Result GetBoundGeometry(CGeometry*& geometry) const;

  bool playback_ = false;
  // The sample times with the interval search's cache (a copy starts at 0).
  CTimeTrack<TrackCacheCopy::kReset> times_;
  std::vector<VertexList> localXyz_;
  std::vector<u32> vertexIndices_;
  u32 useIndexList_ = 0;
};

}  // namespace KT
