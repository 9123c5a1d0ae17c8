// KT::CCameraSwitcher: names the cameras of a scene view: a selected
// camera, a follow camera, an updated camera and a camera of its own. In
// "CM_Browse" SelectedCamera is set from outside and the switcher's own
// camera or its follow camera joins the data pass when it is the selected
// one; in "CM_Switch" a camera switcher controller attached to it picks a
// camera over time and writes it into UpdatedCamera.
//
// OwnedCamera and OwnedObject are owned (saved, registered and cloned with
// the switcher); SelectedCamera, FollowCamera, UpdatedCamera and
// AlternateCamera name cameras owned elsewhere in the scene.
//
// Record, after the KT::CDorun level (little-endian; 44 bytes): version
// pair 1.05; OwnedCamera's id (8 bytes); Mode (u32); SelectedCamera's id;
// FollowCamera's id; OwnedObject's id (8 bytes each, 0 when empty).
// UpdatedCamera and AlternateCamera are never stored. Records of 1.04 and
// below kept the switch keys inside the switcher: a camera list (u32 count,
// 8-byte ids from 1.03, 4-byte before), the key times (i32 at 1.04, f32
// before), then the fields above (4-byte ids up to 1.02, SelectedCamera
// from 1.01, FollowCamera and OwnedObject from 1.02). Loading them makes a
// KT::CCameraSwitcherControl whose keys sit at the times snapped to 60
// frames per second and name the listed cameras in order; it is attached
// ahead of the switcher's other controllers.
#pragma once

#include <vector>

#include "controllers/core/target_ref.h"
#include "objectmodel/dorun.h"
#include "render/effects/camera_switcher_control.h"
#include "render/lights/camera.h"

namespace KT {

class CCameraSwitcher : public CDorun {
  KT_DECLARE_CLASS(CCameraSwitcher)

 public:
  enum ModeType : u32 { CM_Browse = 0, CM_Switch = 1 };
  static const char16_t* const kModeNames[2];

  // Version gates of the record.
  static constexpr u32 kVersionSelected = 101;    // SelectedCamera stored
  static constexpr u32 kVersionFollow = 102;      // FollowCamera and OwnedObject stored
  static constexpr u32 kVersionWideIds = 103;     // 8-byte ids
  static constexpr u32 kVersionIntTimes = 104;    // key times as i32 (f32 before)
  static constexpr u32 kVersionController = 105;  // the keys live in a controller

  CCameraSwitcher() = default;
  // Mode, SelectedCamera, UpdatedCamera and FollowCamera; no owned camera
  // or object, no alternate camera.
  CCameraSwitcher(const CCameraSwitcher& other);
  ~CCameraSwitcher() override;

  u32 GetMode() const { return mode_; }
  void SetMode(u32 mode) {
    mode_ = mode;
    SetModified();
  }
  CCamera* GetOwnedCamera() const { return ownedCamera_.Get(); }
  // Owns `camera` (null clears); one that holds the switcher:
  // kErrInvalidArg, nothing changed. Marks the switcher modified; kOk.
  Result SetOwnedCamera(CCamera* camera);
  CBase* GetOwnedObject() const { return ownedObject_.Get(); }
  // As SetOwnedCamera.
  Result SetOwnedObject(CBase* object);
  CCamera* GetSelectedCamera() const { return selectedCamera_.Get(); }
  void SetSelectedCamera(CCamera* camera) {
    selectedCamera_.Set(camera);
    SetModified();
  }
  CCamera* GetFollowCamera() const { return followCamera_.Get(); }
  void SetFollowCamera(CCamera* camera) {
    followCamera_.Set(camera);
    SetModified();
  }
  CCamera* GetAlternateCamera() const { return alternateCamera_; }
  void SetAlternateCamera(CCamera* camera) { alternateCamera_ = camera; }
  CCamera* GetUpdatedCamera() const { return updatedCamera_; }
  // Written by the controller: derived state, so Modified is not touched.
  void SetUpdatedCamera(CCamera* camera) { updatedCamera_ = camera; }

  // Replaces SelectedCamera, UpdatedCamera and FollowCamera by their
  // copies from the clone map; a camera the map does not hold becomes
  // empty. The map is only read. kOk.
  Result RemapReferences(const CloneMap& cloneMap) override;
  CBase* Find(const char16_t* name, const ClassRecord* record, bool includeDerived, bool onlyMarked) override;
  void Collect(std::vector<CBase*>& out, const char16_t* name, const ClassRecord* record, bool includeDerived,
               bool onlyMarked) override;
  bool UpdateMarked(const ObjectSet& set) override;
  void ClearMarked() override;
  // Null root: kErrInvalidArg; else the base's.
  Result ResolveReferences(CBase* root) override;
  Result CreateInstance(CPointer<CBase>& out) const override;
  // The base clone (kDone or a failure ends it); then OwnedCamera and
  // OwnedObject cloned through the same map; the copy is marked modified.
  Result Clone(CPointer<CBase>& out, CloneMap& cloneMap, u32 flags) override;
  // A null target or one that is not a switcher: kErrNotFound, nothing
  // changed. Else the base part, Mode and the three plain cameras, and the
  // owned camera and object (shared; the target's former ones go to
  // `displaced`).
  Result CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const override;
  Result Load(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  // The cameras from the stored ids (an object that is not a camera links
  // to nothing; an owned one that would hold the switcher is refused with
  // kErrNotFound); for the older records the controller made by Load gets
  // its cameras. Once the whole tree is linked (the controllers already in
  // the chain are bound to the switcher only then) that controller is put
  // ahead of them (a refusal fails the load with its code), and a plain
  // camera the delivered roots do not keep alive is dropped.
  Result Link(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  Result RegisterForSave(CStream& stream, u32 flags) override;
  Result Save(CStream& stream, u32 flags) override;
  // "CCameraSwitcher Member": Mode, SelectedCamera, UpdatedCamera,
  // FollowCamera; then the base's.
  void DescribeMembers(CMemberVisitor& visitor) override;
  // OwnedObject and OwnedCamera (owned), then the base's references.
  void EnumReferences(CReferenceVisitor& visitor) override;
  u32 GetSaveSize() const override;
  bool HasSubObjects() const override;
  // The base's, the switcher itself (once), then in "CM_Browse" the owned
  // camera when it is the selected or alternate camera, else the follow
  // camera when it is. kOk.
  Result CollectAnimated(std::vector<CDorun*>& animated) override;

 private:
  CPointer<CCamera> ownedCamera_;
  CTargetRef<CCamera> selectedCamera_;
  CCamera* alternateCamera_ = nullptr;
  u32 mode_ = CM_Browse;
  CCamera* updatedCamera_ = nullptr;
  CTargetRef<CCamera> followCamera_;
  CPointer<CBase> ownedObject_;
  // Between Load and Link of an older record: the controller made from its
  // keys and the number of camera ids queued for it.
  CPointer<CCameraSwitcherControl> legacyControl_;
  u32 legacyCameraCount_ = 0;
  u32 storedVersion_ = kVersionController;
};

}  // namespace KT
