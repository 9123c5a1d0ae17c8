// KT::CControl: base of every animation controller.
//
// A controller hangs in the control chain of the object it animates (its
// Object, a plain pointer: the object owns the chain, not the reverse) and
// is evaluated at a time by the update driver. The base holds what every
// controller shares: the mapping of global time to local time (repeat mode
// and Frequency), Weight and Priority for the containers that blend or pick
// controllers, the Active switch, the Next controller of the chain and the
// containers that hold it as a child (Owners).
//
// Operations that pass along the chain (Find, Collect, marking, reference
// resolution, registration, cloning, destruction) walk it in a loop, so a
// long chain costs no stack. Subclasses extend the per-element part through
// the "...Element" operations.
#pragma once

#include <vector>

#include "objectmodel/dorun.h"

namespace KT {

class CControl : public CDorun {
  KT_DECLARE_CLASS(CControl)

 public:
  enum RepeatType : u32 { RT_CLAMP = 0, RT_WRAP = 1, RT_CYCLE = 2 };
  static const char16_t* const kRepeatNames[3];

  // Version gates of the record.
  static constexpr u32 kVersionWeightPriority = 201;  // Priority and Weight stored from here on
  static constexpr u32 kVersionWideIds = 202;         // Object and Next as 8-byte ids from here on
  static constexpr u32 kVersionExtraWord = 203;       // this version alone has one more word
  static constexpr u32 kVersionOwners = 204;          // the owner list is stored from here on

  // A Clone flag: clone this controller without the controllers behind it
  // (the head of a chain clones the rest itself).
  static constexpr u32 kCloneElementOnly = 0x80000000u;

  CControl() = default;
  // A copy has Repeat, Frequency, Weight, Priority and Active; no Object,
  // no Next and no owners.
  CControl(const CControl& other);
  ~CControl() override;

  // --- settings --------------------------------------------------------------
  u32 GetRepeat() const { return repeat_; }
  void SetRepeat(u32 repeat) {
    repeat_ = repeat;
    SetModified();
  }
  f32 GetFrequency() const { return frequency_; }
  void SetFrequency(f32 frequency) {
    frequency_ = frequency;
    SetModified();
  }
  f32 GetWeight() const { return weight_; }
  void SetWeight(f32 weight) {
    weight_ = weight;
    SetModified();
  }
  void SetPriority(f32 priority) {
    priority_ = priority;
    SetModified();
  }
  bool IsActive() const { return active_; }
  void SetActive(bool active) {
    active_ = active;
    SetModified();
  }
  CDorun* GetObject() const { return object_; }
  CControl* GetNext() const { return next_.Get(); }
  // Sets Next and marks this controller modified. kErrInvalidArg when
  // `next`'s chain leads back to this controller.
  Result SetNext(CControl* next);

  // --- owners (containers holding this controller as a child) -----------------
  // kErrNotFound when already listed.
  Result AddOwner(CControl* container);
  // kErrNotFound when not listed.
  Result RemoveOwner(CControl* container);
  bool HasOwners() const { return !owners_.empty(); }
  const std::vector<CControl*>& GetOwners() const { return owners_; }

  // --- time ----------------------------------------------------------------------
  // Local time of a global time for an animation of `length`: scaled by
  // Frequency (in single precision, truncated), then folded by the repeat
  // mode (RT_CLAMP and times <= 0 pass unchanged; length <= 0 gives 0).
  // `cycles` receives the number of whole repetitions.
  i32 MapTime(i32 time, i32 length, i32& cycles) const;
  // kDone when inactive (updates stop there), else kOk.
  Result CheckActive() const { return active_ ? kOk : kDone; }
  // trunc(time x Frequency) and trunc(time / Frequency), in single
  // precision; NaN and out-of-range results give INT32_MIN.
  i32 ScaleTime(i32 time) const;
  i32 UnscaleTime(i32 time) const;

  // --- controller protocol -------------------------------------------------------
  // Binds the controlled object: kDone when unchanged; kErrNotFound when
  // bound to another object; kDone without change when an owner is bound
  // differently; else kOk.
  virtual Result SetObject(CDorun* object);
  // Local time of the end of the animation.
  virtual i32 GetEndTime() const = 0;
  virtual Result UpdateTransform(i32 time) = 0;
  virtual Result UpdatePriority(i32 time);
  // Raises `depth` above the spatial objects the controller reads.
  virtual Result GetUpdateDepth(i32 time, i32& depth);
  virtual bool NeedsSubSteps() const { return false; }
  virtual Result ApplyTransform() = 0;
  virtual Result Apply() = 0;
  virtual bool IsStartedAt(i32 time) const;
  // Appends the start of the controller's animation inside the window
  // [start, start + duration) of global time, with its priority and span.
  virtual Result CollectTimeSpans(i32 start, i32 duration, std::vector<i32>& times, std::vector<f32>& priorities,
                                  std::vector<f32>& spans);
  // Answers 2 and takes over the best values when Priority is strictly
  // higher than `bestPriority`, the controller is active and time >=
  // bestTime; else 0.
  virtual Result PickByPriority(i32 time, i32& bestTime, i32& pickedTime, f32& bestPriority);
  virtual bool IsActiveAt(i32 time) const;
  virtual f32 GetPriority() const { return priority_; }
  // The priority the controller has at `time`, for containers that pick
  // among controllers at a time of their choosing: Priority here; clip
  // controllers answer the priority of the clip in force at the time.
  // Nothing is evaluated or cached.
  virtual f32 GetPriority(i32 /*time*/) const { return priority_; }

  // --- scene-content and root protocol --------------------------------------------
  Result CollectAnimated(std::vector<CDorun*>& animated) override;
  Result GetDataUpdateDepth(void* context, i32& depth) override;
  Result Update(i32 time) override = 0;

  CBase* Find(const char16_t* name, const ClassRecord* record, bool includeDerived, bool onlyMarked) override;
  void Collect(std::vector<CBase*>& out, const char16_t* name, const ClassRecord* record, bool includeDerived,
               bool onlyMarked) override;
  bool UpdateMarked(const ObjectSet& set) override;
  void ClearMarked() override;
  Result ResolveReferences(CBase* root) override;
  Result Clone(CPointer<CBase>& out, CloneMap& cloneMap, u32 flags) override;
  // Copies the controller fields into a controller target (else
  // kErrNotFound, nothing changed); Next is shared.
  Result CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const override;
  Result Load(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  Result Link(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  Result RegisterForSave(CStream& stream, u32 flags) override;
  Result Save(CStream& stream, u32 flags) override;
  void DescribeMembers(CMemberVisitor& visitor) override;
  void EnumReferences(CReferenceVisitor& visitor) override;
  u32 GetMemorySize() const override;
  u32 GetSaveSize() const override;
  bool HasSubObjects() const override;

  // --- chain-element protocol of CDorun -------------------------------------------
  CDorun* GetChainNext() const override { return next_.Get(); }
  void SetChainNext(CDorun* next) override;
  CDorun* GetBoundObject() const override { return object_; }
  Result BindObject(CDorun* object) override { return SetObject(object); }
  void ForgetObject(const CDorun* object) override;
  bool HasContainerOwners() const override { return HasOwners(); }
  Result ApplyValue() override { return Apply(); }
  void ConfirmBinding() override { bindingConfirmed_ = true; }
  Result ElementUpdateDepth(i32 time, i32& depth) override { return GetUpdateDepth(time, depth); }
  bool ElementNeedsSubSteps() const override { return NeedsSubSteps(); }
  Result ElementUpdateTransform(i32 time) override { return UpdateTransform(time); }
  Result ElementApplyTransform() override { return ApplyTransform(); }

 protected:
  // The per-element parts of the chain operations: this controller alone,
  // without the controllers behind it. Containers extend them to search
  // their children.
  virtual CBase* FindInElement(const char16_t* name, const ClassRecord* record, bool includeDerived,
                               bool onlyMarked);
  virtual void CollectInElement(std::vector<CBase*>& out, const char16_t* name, const ClassRecord* record,
                                bool includeDerived, bool onlyMarked);
  virtual bool UpdateMarkedInElement(const ObjectSet& set);
  virtual void ClearMarkedInElement();
  virtual Result ResolveReferencesInElement(CBase* root);
  virtual Result RegisterElementForSave(CStream& stream, u32 flags);

 private:
  u32 repeat_ = RT_CLAMP;
  CDorun* object_ = nullptr;
  f32 frequency_ = 1.0f;
  f32 weight_ = 1.0f;
  f32 priority_ = 0.0f;
  bool active_ = true;
  // Records before 2.01 hold no weight or priority: both are reset on link.
  bool resetWeightOnLink_ = false;
  // Set after a load when the bound object is found to hold this controller.
  bool bindingConfirmed_ = false;
  CPointer<CControl> next_;
  std::vector<CControl*> owners_;
};

// The object `control` is bound to as a T: kErrInvalidArg (0x80000003)
// when unbound, kErrNotFound (0x80000005) when it is of another class;
// `out` is null then.
template <typename T>
Result BoundObjectOf(const CControl& control, T*& out) {
  out = DynamicCast<T>(control.GetObject());
  if (out != nullptr) return kOk;
  return control.GetObject() == nullptr ? kErrInvalidArg : kErrNotFound;
}

}  // namespace KT
