// KT::CDorun: base of every scene-content object (nodes, geometry, maps,
// materials, and the controllers themselves).
//
// On top of KT::CBase it keeps three singly linked chains: the controllers
// that animate the object, the sub-objects updated after them, and custom
// data records. Each chain owns its head and each element its successor.
// Chain elements are controllers; this class reaches them only through the
// chain-element operations below, which controllers override.
#pragma once

#include <vector>

#include "objectmodel/base.h"

namespace KT {

class CCustomData;

class CDorun : public CBase {
  KT_DECLARE_CLASS(CDorun)

 public:
  // Version gates of the record.
  static constexpr u32 kVersionWideIds = 201;   // chain heads as 8-byte ids from here on
  static constexpr u32 kVersionAllChains = 101;  // sub-object and custom-data chains from here on

  CDorun();
  // A copy keeps Name and Dirty; its chains start empty.
  CDorun(const CDorun& other);
  ~CDorun() override;

  // --- CBase protocol ---------------------------------------------------------
  // Tests this object first, then the control, sub-object and custom-data
  // chains, in that order; the first hit wins.
  CBase* Find(const char16_t* name, const ClassRecord* record, bool includeDerived, bool onlyMarked) override;
  void Collect(std::vector<CBase*>& out, const char16_t* name, const ClassRecord* record, bool includeDerived,
               bool onlyMarked) override;
  bool UpdateMarked(const ObjectSet& set) override;
  void ClearMarked() override;
  Result ResolveReferences(CBase* root) override;
  // Clones the object and, independently, each of its chains.
  Result Clone(CPointer<CBase>& out, CloneMap& cloneMap, u32 flags) override;
  // The target (a CDorun, else kErrNotFound) shares this object's chain
  // heads; its former heads go to `displaced`, their elements unbound from
  // the target.
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

  // --- scene-content protocol ------------------------------------------------
  // Appends this object to `animated` (once) when a data controller
  // animates it.
  virtual Result CollectAnimated(std::vector<CDorun*>& animated);
  // Raises `depth` to this object's data-update depth, recomputing it (from
  // its controllers) when Dirty; queries nested through what controllers
  // read fail with kErrInvalidArg past the evaluation bound
  // (CEvaluationDepthGuard).
  virtual Result GetDataUpdateDepth(void* context, i32& depth);
  // depth = max(depth, own depth + 1).
  virtual Result RaiseDataUpdateDepth(void* context, i32& depth);
  // Evaluates and applies every controller, then updates the sub-objects;
  // the first failure ends the update.
  virtual Result Update(i32 time);
  // CDorun::Update with every non-negative result reported as kOk (the
  // Update of the spatial classes).
  Result UpdateOk(i32 time);
  // Binds `control` (and the controllers chained behind it) to this object
  // and appends them to the control chain. Refused (kErrInvalidArg, nothing
  // bound) when `control` is null or not a controller, or when any of them
  // is bound to an object, held by a container, already in this chain, or
  // holds this object (is it, or has it in a chain at any depth).
  virtual Result AddControl(CDorun* control);

  // Puts `control` in front of `anchor`, which must be in the chain.
  // kErrInvalidArg for a null anchor or control, an empty chain, an anchor
  // not bound here, a control that is bound, held by a container, already
  // in the chain or holding this object; kErrNotFound when the anchor is
  // bound here but not in the chain.
  Result InsertControl(CDorun* anchor, CDorun* control);
  // Unbinds `control` and takes it out of the chain.
  Result RemoveControl(CDorun* control);
  // Appends `object` (and its successors) to the sub-object chain.
  Result AddSubObject(CDorun* object);
  // Appends a custom data record (and its successors) to the custom-data chain.
  Result AddCustomData(CCustomData* record);

  CDorun* GetFirstControl() const { return controls_.Get(); }
  CDorun* GetFirstSubObject() const { return subObjects_.Get(); }
  CCustomData* GetFirstCustomData() const { return customData_.Get(); }

  // Used after a load has linked every object: tells each element of the
  // control and sub-object chains that is bound to this object that the
  // binding stands (ConfirmBinding). One walk per link pass however many
  // elements ask, so checking every binding of a long chain stays linear.
  void ConfirmChainBindings();

  bool IsDirty() const { return dirty_; }
  void SetDirty(bool dirty = true) { dirty_ = dirty; }
  i32 GetCachedDataUpdateDepth() const { return dataUpdateDepth_; }

  // --- chain-element protocol ---------------------------------------------------
  // What this object answers as an element of another object's control or
  // sub-object chain. Only controllers are chain elements; they override
  // all of it.

  // The next element of the chain this object is in.
  virtual CDorun* GetChainNext() const { return nullptr; }
  // Sets the next element (marks the element modified).
  virtual void SetChainNext(CDorun* /*next*/) {}
  // The object this element is bound to.
  virtual CDorun* GetBoundObject() const { return nullptr; }
  // Binds the element (null unbinds): kOk, kDone (no change) or a failure.
  virtual Result BindObject(CDorun* /*object*/) { return kErrInvalidArg; }
  // Clears the binding without checks when it is `object`; used when
  // `object` is destroyed, so that no element keeps a dangling binding.
  virtual void ForgetObject(const CDorun* /*object*/) {}
  // True while container controllers hold the element as a child.
  virtual bool HasContainerOwners() const { return false; }
  // True for controllers that write data in the data pass.
  virtual bool IsDataControl() const { return false; }
  // Writes the value the last Update evaluated into the bound object.
  virtual Result ApplyValue() { return kDone; }
  // Told by ConfirmChainBindings that the bound object holds the element.
  virtual void ConfirmBinding() {}
  // Transform elements: raise a spatial's update depth above what the
  // element reads, ask for sub-steps, evaluate and apply a transform.
  virtual Result ElementUpdateDepth(i32 /*time*/, i32& /*depth*/) { return kDone; }
  virtual bool ElementNeedsSubSteps() const { return false; }
  virtual Result ElementUpdateTransform(i32 /*time*/) { return kDone; }
  virtual Result ElementApplyTransform() { return kDone; }

 protected:
  // Binds `first` and every element chained behind it to `object`, marking
  // each modified; stops at the first failure.
  static Result BindChain(CDorun* first, CDorun* object);

 private:
  // Checks, binds and appends the chain starting at `element` to the
  // chain whose head is `head`; on any refusal nothing stays bound.
  // `fresh`: the chain is a clone made for this object, which cannot hold
  // it, so the search of what the element holds is left out (it would cost
  // the depth of the graph per attachment).
  Result AttachChain(CPointer<CDorun>& head, CDorun* element, bool fresh = false);
  // Resolves one chain head while linking; refuses ownership loops.
  Result LinkHead(CStream& stream, CStreamLoadRecord& record, CPointer<CDorun>& head);

  CPointer<CDorun> controls_;
  CPointer<CDorun> subObjects_;
  CPointer<CCustomData> customData_;
  bool dirty_ = false;
  // How many chain heads Load queued (1 for the oldest records, else 3):
  // Link must consume exactly those before the subclasses' references.
  u8 queuedHeads_ = 0;
  // Set by ConfirmChainBindings, cleared by Link.
  bool bindingsConfirmed_ = false;
  i32 dataUpdateDepth_ = 0;
};

}  // namespace KT
