// KT::CSelNode: a switch node. Of its children exactly one, the selected
// child, is active; the selected child's whole subtree is animated on a
// local clock that starts at the node's StartTime. The node-selection
// controller sets the selection and the start time from its keys.
//
// The per-frame driver sees the node but not its children: the node hands
// only itself to CollectSpatials and runs the transform and data passes of
// the selected subtree itself, in its Update, at the local time.
//
// Record, after the KT::CNode record (little-endian): version pair 1.02;
// SelectValue1 (u32); SelectValue0 (u32). Records before 1.02 end after
// the version pair. The selection and the start time are run-time state.
#pragma once

#include "scene/node.h"

namespace KT {

class CSelNode : public CNode {
  KT_DECLARE_CLASS(CSelNode)

 public:
  // Version gates of the record.
  static constexpr u32 kVersionSelectValues = 102;  // the two select values stored from here on

  // How many selection nodes may be nested, each in the selected subtree
  // of the one above: a nested node is updated from within the outer
  // node's update, so the nesting costs machine stack.
  static constexpr i32 kMaxNesting = 256;

  // SelectedChild 0, StartTime the zero time (the no-time value of the key
  // lists), Reserved0 1.0, both select values 0, no children.
  CSelNode();
  // The CNode copy (no children), then all six members.
  CSelNode(const CSelNode& other);
  ~CSelNode() override;

  // A new default node into `out`: kOk, or kErrOutOfMemory.
  static Result Create(CPointer<CSelNode>& out);

  // --- fields ------------------------------------------------------------------
  // Index of the active child; -1 when there are no children. A negative
  // selection shows no child.
  i32 GetSelectedChild() const { return selectedChild_; }
  void SetSelectedChild(i32 index) { selectedChild_ = index; }
  // Start of the selected child's local clock.
  i32 GetStartTime() const { return startTime_; }
  void SetStartTime(i32 time) { startTime_ = time; }
  f32 GetReserved0() const { return reserved0_; }
  u32 GetSelectValue0() const { return selectValue0_; }
  void SetSelectValue0(u32 value) {
    selectValue0_ = value;
    SetModified();
  }
  u32 GetSelectValue1() const { return selectValue1_; }
  void SetSelectValue1(u32 value) {
    selectValue1_ = value;
    SetModified();
  }
  // SelectValue1 as it was when the last Update began.
  u32 GetPreviousValue1() const { return previousValue1_; }

  // The child that the last Update animated (-1: none).
  i32 GetUsedChild() const { return usedChild_; }

  // --- the fields as the node controllers name them ---------------------------------
  // Run-time state the node-selection, node-layer and node-attribute
  // controllers write during the data pass; none of these writes marks the
  // node modified.
  // Selection: SelectedChild.
  i32 GetSelection() const { return selectedChild_; }
  void SetSelection(i32 index) { selectedChild_ = index; }
  // SelectionTime: StartTime, the start of the shown child's local clock.
  i32 GetSelectionTime() const { return startTime_; }
  void SetSelectionTime(i32 time) { startTime_ = time; }
  // Opacity: Reserved0 (not stored).
  f32 GetOpacity() const { return reserved0_; }
  void SetOpacity(f32 opacity) { reserved0_ = opacity; }
  // Layer: SelectValue1, the stored layer.
  u32 GetLayer() const { return selectValue1_; }
  // CurrentLayer: PreviousValue1. Update sets it from Layer before the
  // node's controllers run, so a layer controller overrides it for that
  // pass.
  u32 GetCurrentLayer() const { return previousValue1_; }
  void SetCurrentLayer(u32 layer) { previousValue1_ = layer; }

  // --- spatial protocol ----------------------------------------------------------
  // Appends only this node: the children are driven by Update.
  Result CollectSpatials(std::vector<CSpatial*>& spatials) override;
  // CSpatial's (non-negative results become kOk).
  Result UpdateTransform(i32 time) override;

  // --- overrides -----------------------------------------------------------------
  // CSpatial's (the children are not visited), then this node itself, so
  // that Update (which animates the selected subtree) runs in every data
  // pass. Non-negative results become kOk.
  Result CollectAnimated(std::vector<CDorun*>& animated) override;
  // Runs the node's own controllers; then settles the selection (no
  // children: -1; past the last child: 0), makes every spatial under the
  // used child active and every spatial under the others inactive, and
  // runs the transform pass and the data pass of the used child's subtree
  // at time - StartTime. The used child is the selected one, except that a
  // selected child without children of its own (an empty node, or a leaf
  // spatial such as a mesh) gives way to child 0. The first failure is returned; a negative selection ends
  // after the Active flags with kOk. Selection nodes nested deeper than
  // kMaxNesting answer kErrInvalidArg instead of animating their subtree.
  Result Update(i32 time) override;
  u32 GetMemorySize() const override;
  u32 GetSaveSize() const override;
  Result CreateInstance(CPointer<CBase>& out) const override;
  // The target must be a selection node (null or another class:
  // kErrNotFound, before anything changes); CNode's copy, then the two
  // select values.
  Result CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const override;
  Result Load(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  Result Save(CStream& stream, u32 flags) override;
  // An empty group "CSelNode Member", then CNode's.
  void DescribeMembers(CMemberVisitor& visitor) override;

 private:
  i32 selectedChild_ = 0;
  i32 startTime_;
  f32 reserved0_ = 1.0f;
  u32 selectValue0_ = 0;
  u32 selectValue1_ = 0;
  u32 previousValue1_ = 0;
  i32 usedChild_ = -1;
};

}  // namespace KT
