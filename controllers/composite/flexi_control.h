// KT::CFlexiControl: the transform controller of one node of a flexible
// body (KT::CFlexiData). The controllers of a body cooperate: the driver
// (the first simulated controller) steps the whole body once per 1/60 s of
// animation time and the solver writes every node's transform into its
// controller; the other simulated controllers only hand that transform
// on; the controllers of pinned nodes follow their own objects.
//
// Evaluation at t (ms), tf = float(t):
//   - tf 0 or the first evaluation: the controller takes its object's Local
//     and world matrices and the body is marked not ready;
//   - inactive: the same, answer 0;
//   - Play off (class-wide, false at start): the held Local composed with
//     the object's parent; the body is marked not ready;
//   - the body not ready: the last simulated controller writes every node's
//     rest matrix from its object's Local and initialises the body;
//   - the driver steps from its LastTime to tf in steps of 1000/60 ms, in
//     the direction of tf; a jump of more than 166.666672 ms (ten steps) is
//     cut to one step;
//   - pinned: the object's Local and world matrices.
// It always answers 0 (an unbound controller, or one bound to an object
// that is not a spatial, answers kErrInvalidArg or kErrNotFound).
//
// Update depth, for an active, not pinned controller with a body: the
// driver evaluates after the object of the last pinned controller, the
// last simulated controller (of several) after the second-to-last, every
// other simulated controller after the driver.
//
// Record, after the CRTSControl part: the pair 2.02 and the body's id (16
// bytes). Older forms: below 2.01 the id is 4 bytes; below 2.02 a 3x3 float
// matrix (36 bytes) follows and is dropped.
#pragma once

#include <vector>

#include "controllers/composite/flexi_data.h"
#include "controllers/core/control_level.h"
#include "controllers/core/rts_control.h"

namespace KT {

class CSpatial;

class CFlexiControl : public CRTSControl {
  KT_DECLARE_CLASS(CFlexiControl)

 public:
  // Version gates of the record.
  static constexpr u32 kVersionWideId = 201;    // the body's id is 8 bytes
  static constexpr u32 kVersionNoMatrix = 202;  // no dropped matrix after the id

  // Animation time of one simulation step, and the longest jump stepped
  // through (ten steps).
  static constexpr f32 kStepMs = 1000.0f / 60.0f;
  static constexpr f32 kLongestJumpMs = 166.666672f;

  CFlexiControl() = default;
  // Shares the body and copies the pinned flag; MatrixReady and LastTime
  // start at their defaults.
  CFlexiControl(const CFlexiControl& other);
  ~CFlexiControl() override;

  // --- the class-wide Play flag (CFlexiData::IsPlaying) ---------------------------------
  static bool IsPlaying() { return CFlexiData::IsPlaying(); }
  static void SetPlay(bool play) { CFlexiData::SetPlay(play); }

  CFlexiData* GetData() const { return data_.Get(); }
  // Holds `data` (null lets go); a body that listed this controller and is
  // let go of forgets it.
  void SetData(CFlexiData* data);
  bool IsPinned() const { return pinned_; }
  void SetPinned(bool pinned) { pinned_ = pinned; }
  bool IsMatrixReady() const { return matrixReady_; }
  f32 GetLastTime() const { return lastTime_; }

  // --- what the body's solver writes -----------------------------------------------------
  // The bound object's Local and world matrices, unchanged (nothing when
  // the object is not a spatial).
  void TakeObjectTransform();
  void SetSolvedTransform(const CRtsTransform& local, const CMatrix3& worldScale, const CMatrix3& worldRotate,
                          const CMatrix4& worldMatrix) {
    SetTransform(local, worldScale, worldRotate, worldMatrix);
  }
  // Bodies that list this controller enter and leave here.
  void AddLister(CFlexiData* body);
  void RemoveLister(const CFlexiData* body);

  // --- controller protocol ------------------------------------------------------------------
  Result UpdateTransform(i32 time) override;
  Result GetUpdateDepth(i32 time, i32& depth) override;
  bool IsSimulated() const override { return true; }
  i32 GetEndTime() const override { return kZeroTime; }

  // --- root protocol --------------------------------------------------------------------------
  Result CreateInstance(CPointer<CBase>& out) const override;
  // The base clone, then the body cloned through the same map (so that
  // the controllers of one body share one clone).
  Result Clone(CPointer<CBase>& out, CloneMap& cloneMap, u32 flags) override;
  // The target must be a body controller (else kErrNotFound, nothing
  // changes): the CRTSControl part, the pinned flag and the shared body;
  // the target's MatrixReady is cleared.
  Result CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const override;
  Result Load(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  Result Link(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  Result Save(CStream& stream, u32 flags) override;
  // "CFlexiControl Member": "Play", "MatrixReady", "LastTime"; then the
  // CRTSControl members.
  void DescribeMembers(CMemberVisitor& visitor) override;
  // The body as an owned reference, then the base's.
  void EnumReferences(CReferenceVisitor& visitor) override;
  u32 GetMemorySize() const override;
  u32 GetSaveSize() const override;
  bool HasSubObjects() const override;

 protected:
  // Each runs the base's part and then goes on into the body.
  CBase* FindInElement(const char16_t* name, const ClassRecord* record, bool includeDerived,
                       bool onlyMarked) override;
  void CollectInElement(std::vector<CBase*>& out, const char16_t* name, const ClassRecord* record,
                        bool includeDerived, bool onlyMarked) override;
  bool UpdateMarkedInElement(const ObjectSet& set) override;
  void ClearMarkedInElement() override;
  // The body is registered after the controller.
  Result RegisterElementForSave(CStream& stream, u32 flags) override;

 private:
  CPointer<CFlexiData> data_;
  bool matrixReady_ = false;
  f32 lastTime_ = 0.0f;
  bool pinned_ = false;
  // Bodies that list this controller (not counted).
  std::vector<CFlexiData*> listers_;
};

}  // namespace KT
