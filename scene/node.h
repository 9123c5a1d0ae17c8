// KT::CNode: the spatial that has children, the interior nodes of the scene
// tree.
//
// A node owns its children through counted references, keeps them in
// order and sets their Parent (a plain pointer that holds no count). The
// invariant: a spatial is a child of at most one node, and it is in a
// node's children exactly when its Parent is that node; no node is its own
// ancestor. Every operation that refuses a change leaves the tree as it
// was.
//
// The operations that pass down the tree (destruction, CollectSpatials,
// Find, Collect, UpdateMarked, ClearMarked, ResolveReferences,
// CollectAnimated, RegisterForSave, UpdateWorldBound, Clone and
// CopyTreeByCustomId) run as loops over an explicit stack, so a tree of
// any depth costs no machine stack. They visit exactly as the recursive
// definition would: a node first, then each child's subtree in child
// order; the post-order parts (a node's world bound, Marked flag and
// reference resolution) once all its children are done. A child's own
// override of an operation is still called; when a node's operation is
// called by the walk of the same operation, it hands its children to that
// walk instead of recursing.
//
// Record, after the KT::CSpatial record (little-endian): version pair 2.03;
// CustomID (u32); ReceiveShadow, CastShadow, IsBlock, IsDummy (one byte
// each); the child count and one 8-byte id per child. Older forms: below
// 2.00 a discarded word stands for CustomID and the children are 4-byte ids
// of which 0 is skipped and the others are sign-extended; 2.00 and 2.01
// store 4-byte ids; IsBlock from 2.01, IsDummy from 2.03.
#pragma once

#include <unordered_map>
#include <vector>

#include "scene/spatial.h"

namespace KT {

class CNode;

// Source node -> its copy, for CopyTreeByCustomId.
using NodeCopyMap = std::unordered_map<const CNode*, CPointer<CNode>>;

class CNode : public CSpatial {
  KT_DECLARE_CLASS(CNode)

 public:
  // Version gates of the record.
  static constexpr u32 kVersionCustomId = 200;        // CustomID and 4-byte child ids kept as stored
  static constexpr u32 kVersionIsBlock = 201;         // IsBlock stored from here on
  static constexpr u32 kVersionWideChildIds = 202;    // child ids as 8 bytes from here on
  static constexpr u32 kVersionIsDummy = 203;         // IsDummy stored from here on

  // ReceiveShadow and CastShadow true, CustomID 0, IsBlock and IsDummy
  // false, no children.
  CNode();
  // Copies ReceiveShadow, CastShadow, CustomID, IsBlock and IsDummy (and
  // the spatial part); the copy has no children.
  CNode(const CNode& other);
  // Releases the children last to first, clearing their Parent.
  ~CNode() override;

  // A new default node into `out`: kOk, or kErrOutOfMemory (`out` unchanged).
  static Result Create(CPointer<CNode>& out);

  // --- fields ------------------------------------------------------------------
  bool GetReceiveShadow() const { return receiveShadow_; }
  void SetReceiveShadow(bool value) {
    receiveShadow_ = value;
    SetModified();
  }
  bool GetCastShadow() const { return castShadow_; }
  void SetCastShadow(bool value) {
    castShadow_ = value;
    SetModified();
  }
  u32 GetCustomId() const { return customId_; }
  void SetCustomId(u32 id) {
    customId_ = id;
    SetModified();
  }
  bool IsBlock() const { return isBlock_; }
  void SetBlock(bool value) {
    isBlock_ = value;
    SetModified();
  }
  bool IsDummy() const { return isDummy_; }
  void SetDummy(bool value) {
    isDummy_ = value;
    SetModified();
  }

  // --- children -------------------------------------------------------------------
  u32 GetChildCount() const { return static_cast<u32>(children_.size()); }
  const std::vector<CPointer<CSpatial>>& GetChildren() const { return children_; }
  // Child i as a new counted reference; null when i is past the end.
  CPointer<CSpatial> GetChild(u32 index) const;
  // Appends `child` and makes this node its Parent; kOk. Null or a child
  // already in the list: kDone. A child that has a Parent, this node itself
  // or one of its ancestors: kErrInvalidArg (nothing changes).
  Result AddChild(CSpatial* child);
  // Takes `child` out of the list and clears its Parent (its own children
  // stay with it); kOk, or kDone when it was not listed. Null: kDone. A
  // child whose Parent is another node: kErrInvalidArg.
  Result RemoveChild(CSpatial* child);
  // Puts `child` at `index` in place of the child there, which leaves the
  // node (Parent cleared). kDone when `child` already stands there. An
  // index past the end: kErrOutOfRange; null, a child with a Parent, this
  // node or one of its ancestors: kErrInvalidArg (nothing changes).
  Result SetChild(u32 index, CSpatial* child);
  // Exchanges the children at positions i and j; kErrOutOfRange when
  // either is past the end.
  Result SwapChildren(u32 i, u32 j);
  // The first child, in order, of the record's class (exactly, or derived
  // from it with includeDerived; any class for a null record) whose Name
  // equals `name` (any name when null); null when none.
  CSpatial* FindChild(const char16_t* name, const ClassRecord* record, bool includeDerived) const;
  // True when `spatial` is this node or one of its ancestors.
  bool IsSelfOrAncestor(const CSpatial* spatial) const;

  // --- tree copies ------------------------------------------------------------------
  // Copies the connected part of the tree below (and including) this node
  // whose nodes carry CustomID `filter`: kDone and nothing made when this
  // node's CustomID differs; the copy already in `map` when there is one;
  // otherwise a copy-constructed node entered in `map`, with the copies of
  // its node children (in order) added as its children. Children that are
  // not nodes are skipped. The first failure is returned.
  virtual Result CopyTreeByCustomId(NodeCopyMap& map, CPointer<CNode>& copy, u32 filter);
  // The same with a fresh, empty map.
  virtual Result CopyTreeByCustomId(CPointer<CNode>& copy, u32 filter);

  // --- spatial protocol ----------------------------------------------------------------
  // This node, then each child's subtree in child order.
  Result CollectSpatials(std::vector<CSpatial*>& spatials) override;
  // Each child's world bound first; then WorldBound = the merge of every
  // child bound that is not empty (empty when none is).
  Result UpdateWorldBound() override;
  // Merges the children's bounds into `bound`; unchanged when no child
  // answers kOk. kOk.
  Result GetBound(CBound& bound) override;

  // --- overrides ---------------------------------------------------------------------
  CBase* Find(const char16_t* name, const ClassRecord* record, bool includeDerived, bool onlyMarked) override;
  void Collect(std::vector<CBase*>& out, const char16_t* name, const ClassRecord* record, bool includeDerived,
               bool onlyMarked) override;
  bool UpdateMarked(const ObjectSet& set) override;
  void ClearMarked() override;
  // Null root: kErrInvalidArg; every child's first, then this spatial's.
  Result ResolveReferences(CBase* root) override;
  Result CollectAnimated(std::vector<CDorun*>& animated) override;
  Result RegisterForSave(CStream& stream, u32 flags) override;
  void EnumReferences(CReferenceVisitor& visitor) override;
  bool HasSubObjects() const override;
  u32 GetMemorySize() const override;
  u32 GetSaveSize() const override;
  Result CreateInstance(CPointer<CBase>& out) const override;
  // Clones the spatial part, then every child, adding each clone to the
  // copy; kDone (nothing more) when this node was cloned before.
  Result Clone(CPointer<CBase>& out, CloneMap& cloneMap, u32 flags) override;
  // The target must be a node (else kErrNotFound) and not one of this
  // node's descendants (kErrInvalidArg). Copies the spatial part, CustomID
  // and the four flags, then moves the children: the target's former
  // children leave it (Parent cleared) and go to `displaced`, this node's
  // children become the target's and this node ends with none.
  Result CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const override;
  Result Load(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  // Resolves the stored children in order. An id that resolves to no
  // spatial, and a spatial that already has a Parent (another node's child,
  // or listed twice), are dropped; a child that would make this node its own
  // ancestor, or close another ownership cycle, fails with kErrNotFound.
  Result Link(CStream& stream, CStreamLoadRecord& record, u32 flags) override;
  Result Save(CStream& stream, u32 flags) override;
  void DescribeMembers(CMemberVisitor& visitor) override;

 private:
  // Empties the child list last to first, clearing each child's Parent, and
  // hands the references to `out`.
  void ReleaseChildren(std::vector<CPointer<CSpatial>>& out);
  // The checks shared by AddChild and SetChild.
  Result CheckAdoptable(CSpatial* child) const;
  // True when `child` is this node or one of its ancestors.
  bool WouldCloseLoop(const CSpatial* child) const;

  std::vector<CPointer<CSpatial>> children_;
  bool receiveShadow_ = true;
  bool castShadow_ = true;
  u32 customId_ = 0;
  bool isBlock_ = false;
  bool isDummy_ = false;
  // How many child ids Load queued for Link.
  u32 queuedChildren_ = 0;
};

// The first direct child of `parent` of class CNode (exactly, or derived
// with includeDerived) named `name` (any name when null); null for a null
// parent or when there is none.
CNode* FindNode(const CNode* parent, const char16_t* name, bool includeDerived);
// The same for class CTriMesh.
CSpatial* FindTriMesh(const CNode* parent, const char16_t* name, bool includeDerived);

}  // namespace KT
