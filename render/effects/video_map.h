// KT::CVideoMap: a texture whose pixels come from a video track.
//
// Like the bitmap texture map it names the mesh UVW channel that maps it;
// in place of an image it owns a video track.
//
// Record, after the KT::CTexture level (little-endian; 20 bytes): version
// pair 1.01; UvwChannel (u32); the track's id (8 bytes, 0 when unset).
// Below 1.01 the id names a video: loading makes a new one-video track of
// it.
#pragma once

#include "render/effects/video_track.h"
#include "render/materials/material_base.h"

namespace KT {

class CVideoMap : public CTexture {
  KT_DECLARE_CLASS(CVideoMap)

 public:
  static constexpr u32 kVersionTrack = 101;  // the id names a track (a video before)

  CVideoMap() = default;
  // The texture part and UvwChannel; the track starts empty.
  CVideoMap(const CVideoMap& other);
  ~CVideoMap() override;

  CVideoTrack* GetVideoTrack() const { return videoTrack_.Get(); }
  // Owns `track` (null clears); marks the map modified.
  void SetVideoTrack(CVideoTrack* track) {
    videoTrack_ = track;
    SetModified();
  }

  CBase* Find(const char16_t* name, const ClassRecord* record, bool includeDerived, bool onlyMarked) override;
  void Collect(std::vector<CBase*>& out, const char16_t* name, const ClassRecord* record, bool includeDerived,
               bool onlyMarked) override;
  bool UpdateMarked(const ObjectSet& set) override;
  void ClearMarked() override;
  Result CreateInstance(CPointer<CBase>& out) const override;
  // The texture's clone (kDone or a failure ends it), then the track's.
  Result Clone(CPointer<CBase>& out, CloneMap& cloneMap, u32 flags) override;
  // A null target or one that is not a video map: kErrNotFound, nothing
  // changed. Else the texture part, UvwChannel and the track (shared).
  Result CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const override;
  Result Load(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  // The track from the stored id; an object of another class links to
  // nothing. From a record below 1.01 the id names a video: when it is
  // one, a new track holding just that video becomes the track.
  Result Link(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  Result RegisterForSave(CStream& stream, u32 flags) override;
  Result Save(CStream& stream, u32 flags) override;
  // "CVideoMap Member": UvwChannel; then the texture's.
  void DescribeMembers(CMemberVisitor& visitor) override;
  void EnumReferences(CReferenceVisitor& visitor) override;
  // The scene object's, then the track's (its failure returned).
  Result CollectAnimated(std::vector<CDorun*>& animated) override;
  u32 GetMemorySize() const override;
  u32 GetSaveSize() const override;
  bool HasSubObjects() const override;

  u32 UvwChannel = 0;

 private:
  CPointer<CVideoTrack> videoTrack_;
  // Set by Load for records whose id names a video rather than a track.
  bool idNamesVideo_ = false;
};

}  // namespace KT
