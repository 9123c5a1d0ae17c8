// KT::CImageLight: a spatial object that lights the scene from an image:
// it owns an image object and, for moving pictures, a video track, and
// scales their contribution by Strength.
//
// Record, after the KT::CSpatial level (little-endian; 28 bytes): version
// pair 2.02; the image's id (8 bytes); Strength (f32); the video track's
// id (8 bytes). Older levels: 2.01 stores a video's id in place of the
// track's (loading makes a new one-video track of it); 2.00 stores no
// second id.
#pragma once

#include "render/effects/video_track.h"
#include "scene/spatial.h"

namespace KT {

class CImageLight : public CSpatial {
  KT_DECLARE_CLASS(CImageLight)

 public:
  static constexpr u32 kVersionSecondId = 201;  // a second id stored (a video's at 2.01)
  static constexpr u32 kVersionTrack = 202;     // the second id names a track

  CImageLight() = default;
  // The spatial part, both references (shared) and Strength.
  CImageLight(const CImageLight& other) = default;
  ~CImageLight() override;

  CBase* GetImage() const { return image_.Get(); }
  // Owns `image` (null clears). The light itself or an object that holds
  // it: kErrInvalidArg, nothing changed. Marks the light modified; kOk.
  Result SetImage(CBase* image);
  CVideoTrack* GetVideoTrack() const { return videoTrack_.Get(); }
  // As SetImage, for the video track.
  Result SetVideoTrack(CVideoTrack* track);

  // --- spatial protocol ------------------------------------------------------------
  Result CollectSpatials(std::vector<CSpatial*>& spatials) override;
  // As the lights: the bound's centre becomes the world translation.
  Result UpdateWorldBound() override;

  // --- overrides: the spatial's part, then the image's and the track's ----------
  CBase* Find(const char16_t* name, const ClassRecord* record, bool includeDerived, bool onlyMarked) override;
  void Collect(std::vector<CBase*>& out, const char16_t* name, const ClassRecord* record, bool includeDerived,
               bool onlyMarked) override;
  bool UpdateMarked(const ObjectSet& set) override;
  void ClearMarked() override;
  // The spatial's, then the track's (its failure returned).
  Result CollectAnimated(std::vector<CDorun*>& animated) override;
  // Null root: kErrInvalidArg; the track's first (its failure returned),
  // then the spatial's.
  Result ResolveReferences(CBase* root) override;
  Result CreateInstance(CPointer<CBase>& out) const override;
  // The spatial's clone (kDone or a failure returned as is), then the
  // image and the track cloned through the same map.
  Result Clone(CPointer<CBase>& out, CloneMap& cloneMap, u32 flags) override;
  // A null target or one that is not an image light: kErrNotFound,
  // nothing changed. Else the spatial part (its failure returned), then
  // Strength and both references (shared; the target's former ones go to
  // `displaced`).
  Result CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const override;
  Result Load(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  // The image from the first id (any object); the track from the second
  // (an object of another class links to nothing); from a 2.01 record a
  // video becomes a new one-video track.
  Result Link(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  Result RegisterForSave(CStream& stream, u32 flags) override;
  Result Save(CStream& stream, u32 flags) override;
  // "CImageLight Member": Strength; then the spatial's.
  void DescribeMembers(CMemberVisitor& visitor) override;
  // The image and the track (owned), then the spatial's references.
  void EnumReferences(CReferenceVisitor& visitor) override;
  u32 GetSaveSize() const override;
  bool HasSubObjects() const override;

  f32 Strength = 1.0f;

 private:
  CPointer<CBase> image_;
  CPointer<CVideoTrack> videoTrack_;
  // The stored version Load read, for Link.
  u32 storedVersion_ = kVersionTrack;
};

}  // namespace KT
