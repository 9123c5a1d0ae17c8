// KT::CAnmImageControl: plays an animated image (KT::CAnmImage) into a still
// image, one frame at a time.
//
// An image is not a scene-content object: it holds no controllers and the
// data pass never visits it. The controller is therefore bound to the
// texture map (KT::CTextureMap) that shows the image, and paints into that
// texture map's image.
//
// Frame timing: frame 0 starts at 0 ms, frame i at start(i - 1) + 10 x
// delay(i) (delays in hundredths of a second; frame 0's delay is not used).
// The starts are summed in 64 bits and kept within the i32 range. At the
// mapped time m (MapTime over GetEndTime) the frame in force is frame 0 up
// to start(0), else the last frame that starts at or before m, whichever
// way time moved since the last update (LastIndex only speeds the search
// up). Every update paints that frame's whole image at its offset with
// alpha 255, also when the frame did not change.
//
// The animated image is owned: Clone clones it through the clone map,
// CopyTo shares it, CreateInstance leaves it out.
//
// The C++ base is KT::CDataControl (the controller runs in the data pass),
// but the class record's base is CControl and the record has no data
// controller level: after the controller part, version pair 2.01 and the
// animated image's 8-byte id (4 bytes up to 2.00). LastIndex is not stored.
#pragma once

#include <vector>

#include "controllers/core/data_control.h"
#include "render/images/anm_image.h"

namespace KT {

class CAnmImageControl : public CDataControl {
  KT_DECLARE_CLASS(CAnmImageControl)

 public:
  // Version gates of the record.
  static constexpr i32 kVersionWideIds = 201;  // 8-byte id of the animated image

  CAnmImageControl() = default;
  // The controller part and LastIndex; the animated image is shared.
  CAnmImageControl(const CAnmImageControl& other) = default;
  ~CAnmImageControl() override = default;

  CAnmImage* GetAnmImage() const { return anmImage_.Get(); }
  // Marks the controller modified.
  void SetAnmImage(CAnmImage* image) {
    anmImage_ = image;
    SetModified();
  }
  u32 GetLastIndex() const { return lastIndex_; }

  // The start of each frame in ms (empty without an animated image).
  std::vector<i32> GetFrameStarts() const;

  // Inactive: kDone. Unbound: kErrInvalidArg; bound to anything but a
  // texture map: kErrNotFound; nothing painted then. No animated image, no
  // frames, or a texture map without an image: kDone, nothing painted.
  // Otherwise the frame in force at the mapped time is painted (see above)
  // and the answer is kOk whatever the painting answers.
  Result Update(i32 time) override;
  // The frame is painted in Update: kDone.
  Result Apply() override { return kDone; }
  // The start of the last frame; 0 with fewer than two frames or without
  // an animated image.
  i32 GetEndTime() const override;

  // --- root protocol ---
  // A copy without the animated image; kErrOutOfMemory without memory.
  Result CreateInstance(CPointer<CBase>& out) const override;
  // The controller's clone; when that is new (kOk) and the animated image
  // is set, the image is cloned through the same map into the copy.
  Result Clone(CPointer<CBase>& out, CloneMap& cloneMap, u32 flags) override;
  // The controller part first (kDone or a failure is answered as it is);
  // a target that is not this class: kErrNotFound. The target then shares
  // this controller's animated image (its former one goes to `displaced`).
  Result CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const override;
  // A version above 2.01: kErrNewerVersion.
  Result Load(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  // The controller part, then the animated image's id (an object of
  // another class: kErrNotFound).
  Result Link(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  Result Save(CStream& stream, u32 flags) override;
  // "CAnmImageControl Member": "LastIndex"; then the controller members.
  void DescribeMembers(CMemberVisitor& visitor) override;
  // The animated image (owned), then the controller's references.
  void EnumReferences(CReferenceVisitor& visitor) override;
  u32 GetMemorySize() const override;
  // The controller part + 16.
  u32 GetSaveSize() const override;
  bool HasSubObjects() const override;

 protected:
  // Each: the controller part, then the animated image when set.
  CBase* FindInElement(const char16_t* name, const ClassRecord* record, bool includeDerived,
                       bool onlyMarked) override;
  void CollectInElement(std::vector<CBase*>& out, const char16_t* name, const ClassRecord* record,
                        bool includeDerived, bool onlyMarked) override;
  bool UpdateMarkedInElement(const ObjectSet& set) override;
  void ClearMarkedInElement() override;
  // Null root: kErrInvalidArg. The animated image's, then the controller's.
  Result ResolveReferencesInElement(CBase* root) override;
  // The controller's registration; unless that answers kDone (or fails),
  // the animated image's.
  Result RegisterElementForSave(CStream& stream, u32 flags) override;

 private:
  // The frame in force at the mapped time `m` among `starts` (not empty);
  // moves LastIndex to it.
  u32 FindFrame(const std::vector<i32>& starts, i32 m);

  CPointer<CAnmImage> anmImage_;
  u32 lastIndex_ = 0;
};

}  // namespace KT
