#include "scene/node.h"

#include <algorithm>
#include <limits>
#include <string_view>
#include <utility>

#include "objectmodel/class_factory.h"
#include "objectmodel/stream.h"
#include "objectmodel/stream_fields.h"

namespace KT {

namespace {

// --- walks over the tree without recursion -----------------------------------------
//
// A node's operation starts a walk: an explicit stack of the children still
// to visit, and a stack of frames, one per node whose children are not all
// done yet. The walk calls each child's (virtual) operation itself. When
// that child is a node, its operation sees that the running walk is calling
// it for the same operation, does its own part and pushes its children onto
// the walk instead of starting a walk of its own, so the depth of the tree
// never reaches the machine stack. A node reached any other way (through an
// Attachment, a camera's target...) starts a walk of its own.

enum class WalkOp : u8 {
  CollectSpatials,
  Find,
  Collect,
  UpdateMarked,
  ClearMarked,
  ResolveReferences,
  CollectAnimated,
  RegisterForSave,
  UpdateWorldBound,
  Clone,
  CopyTree,
};

constexpr std::size_t kNoFrame = std::numeric_limits<std::size_t>::max();
// Answered by a visit to end the walk successfully (a Find hit).
constexpr Result kStopWalk = 2;

struct WalkFrame {
  CNode* node;
  std::size_t parent;  // enclosing frame, kNoFrame for the node that started the walk
  std::size_t base;    // stack size before the node's children were pushed
  bool marked;         // UpdateMarked: the node's own answer ORed with its children's
  CNode* copy;         // Clone and CopyTree: the node's copy, which adopts the children's copies
};

struct WalkEntry {
  CSpatial* child;
  std::size_t frame;
};

struct TreeWalk {
  WalkOp op = WalkOp::Find;
  TreeWalk* outer = nullptr;
  CSpatial* calling = nullptr;  // the child whose operation the walk is calling
  std::size_t callingFrame = kNoFrame;
  std::vector<WalkEntry> stack;
  std::vector<WalkFrame> frames;
};

// The innermost running walk (the library runs on one thread).
TreeWalk* g_walk = nullptr;

void PushChildren(TreeWalk& walk, const CNode* node, std::size_t frame) {
  const std::vector<CPointer<CSpatial>>& children = node->GetChildren();
  for (auto it = children.rbegin(); it != children.rend(); ++it) {
    if (*it) walk.stack.push_back({it->Get(), frame});
  }
}

struct NoFinish {
  Result operator()(CNode*, bool) const { return kOk; }
};

// Visits the subtree below `node` for `op`. `visit` (child, parent copy,
// out marked) runs the child's operation; a failure, or kStopWalk, ends the
// walk. `finish` (node, marked) runs once a node's children are all done.
// `ownMarked` and `copy` are the node's own UpdateMarked answer and its
// copy; `marked` receives the node's final Marked answer when the walk ends.
template <typename Visit, typename Finish = NoFinish>
Result WalkTree(CNode* node, WalkOp op, Visit&& visit, Finish&& finish = NoFinish(), bool ownMarked = false,
                CNode* copy = nullptr, bool* marked = nullptr) {
  TreeWalk* running = g_walk;
  if (running != nullptr && running->op == op && running->calling == node) {
    // Called by a walk of the same operation: join it.
    running->calling = nullptr;
    const std::size_t frame = running->frames.size();
    running->frames.push_back({node, running->callingFrame, running->stack.size(), ownMarked, copy});
    PushChildren(*running, node, frame);
    if (marked != nullptr) *marked = ownMarked;
    return kOk;
  }
  TreeWalk walk;
  walk.op = op;
  walk.outer = running;
  walk.frames.push_back({node, kNoFrame, 0, ownMarked, copy});
  PushChildren(walk, node, 0);
  g_walk = &walk;
  bool rootMarked = ownMarked;
  Result r = kOk;
  for (;;) {
    // Close every node whose children are all done, innermost first.
    while (!walk.frames.empty() && walk.frames.back().base == walk.stack.size()) {
      const WalkFrame done = walk.frames.back();
      walk.frames.pop_back();
      r = finish(done.node, done.marked);
      if (Failed(r)) break;
      if (done.parent != kNoFrame) {
        walk.frames[done.parent].marked = walk.frames[done.parent].marked || done.marked;
      } else {
        rootMarked = done.marked;
      }
    }
    if (Failed(r) || walk.stack.empty()) break;
    const WalkEntry next = walk.stack.back();
    walk.stack.pop_back();
    walk.calling = next.child;
    walk.callingFrame = next.frame;
    bool childMarked = false;
    r = visit(next.child, walk.frames[next.frame].copy, childMarked);
    walk.calling = nullptr;
    if (Failed(r)) break;
    if (r == kStopWalk) {
      r = kOk;
      break;
    }
    // A child node that joined reports its final answer when it closes; its
    // own answer now is part of that, so ORing it early changes nothing.
    walk.frames[next.frame].marked = walk.frames[next.frame].marked || childMarked;
  }
  g_walk = walk.outer;
  if (marked != nullptr) *marked = rootMarked;
  return r;
}

}  // namespace

// --- construction -------------------------------------------------------------------

CNode::CNode() = default;

CNode::CNode(const CNode& other)
    : CSpatial(other),
      receiveShadow_(other.receiveShadow_),
      castShadow_(other.castShadow_),
      customId_(other.customId_),
      isBlock_(other.isBlock_),
      isDummy_(other.isDummy_) {}

CNode::~CNode() {
  // Children that only this node holds are emptied before they are
  // released, so a deep tree is torn down in a loop instead of one nested
  // destructor per level.
  std::vector<CPointer<CSpatial>> doomed;
  ReleaseChildren(doomed);
  while (!doomed.empty()) {
    CPointer<CSpatial> child = std::move(doomed.back());
    doomed.pop_back();
    if (child->GetReferences() == 1) {
      if (CNode* node = DynamicCast<CNode>(child.Get())) node->ReleaseChildren(doomed);
    }
  }
}

void CNode::ReleaseChildren(std::vector<CPointer<CSpatial>>& out) {
  while (!children_.empty()) {
    CPointer<CSpatial> child = std::move(children_.back());
    children_.pop_back();
    if (child && child->GetParent() == this) child->SetParent(nullptr);
    out.push_back(std::move(child));
  }
}

Result CNode::Create(CPointer<CNode>& out) {
  CNode* node = new (std::nothrow) CNode();
  if (node == nullptr) return kErrOutOfMemory;
  out = node;
  return kOk;
}

Result CNode::CreateInstance(CPointer<CBase>& out) const { return CreateCopy(*this, out); }

// --- children ------------------------------------------------------------------------

CPointer<CSpatial> CNode::GetChild(u32 index) const {
  return index < children_.size() ? children_[index] : CPointer<CSpatial>();
}

bool CNode::IsSelfOrAncestor(const CSpatial* spatial) const {
  for (const CSpatial* s = this; s != nullptr; s = s->GetParent()) {
    if (s == spatial) return true;
  }
  return false;
}

bool CNode::WouldCloseLoop(const CSpatial* child) const {
  // `child` closes a loop when it is this node or an ancestor, that is when
  // this node lies in child's subtree. Walking up from this node costs its
  // depth, walking down child's subtree costs its size: both walks advance
  // in turn and the first to finish answers, so adding a fresh child deep in
  // a tree, or a subtree under a fresh node, stays cheap.
  const CSpatial* up = this;
  std::vector<const CSpatial*> down{child};
  for (;;) {
    if (up == nullptr || down.empty()) return false;
    if (up == child) return true;
    up = up->GetParent();
    const CSpatial* next = down.back();
    down.pop_back();
    if (next == this) return true;
    if (const CNode* node = DynamicCast<CNode>(next)) {
      for (const CPointer<CSpatial>& grandchild : node->children_) {
        if (grandchild) down.push_back(grandchild.Get());
      }
    }
  }
}

Result CNode::CheckAdoptable(CSpatial* child) const {
  // A spatial with a parent belongs to that node; this node or an ancestor
  // would make the tree a loop.
  if (child->GetParent() != nullptr || WouldCloseLoop(child)) return kErrInvalidArg;
  return kOk;
}

Result CNode::AddChild(CSpatial* child) {
  if (child == nullptr) return kDone;
  if (child->GetParent() != nullptr) return kErrInvalidArg;
  if (std::find(children_.begin(), children_.end(), child) != children_.end()) return kDone;
  const Result r = CheckAdoptable(child);
  if (Failed(r)) return r;
  SetModified();
  children_.emplace_back(child);
  child->SetParent(this);
  return kOk;
}

Result CNode::RemoveChild(CSpatial* child) {
  if (child == nullptr) return kDone;
  if (child->GetParent() != this) return kErrInvalidArg;
  SetModified();
  child->SetParent(nullptr);
  const auto it = std::find(children_.begin(), children_.end(), child);
  if (it == children_.end()) return kDone;
  children_.erase(it);
  return kOk;
}

Result CNode::SetChild(u32 index, CSpatial* child) {
  if (child == nullptr) return kErrInvalidArg;
  if (index >= children_.size()) return kErrOutOfRange;
  if (children_[index] == child) return kDone;
  const Result r = CheckAdoptable(child);
  if (Failed(r)) return r;
  SetModified();
  if (children_[index] && children_[index]->GetParent() == this) children_[index]->SetParent(nullptr);
  child->SetParent(this);
  children_[index] = child;
  return kOk;
}

Result CNode::SwapChildren(u32 i, u32 j) {
  if (i >= children_.size() || j >= children_.size()) return kErrOutOfRange;
  std::swap(children_[i], children_[j]);
  SetModified();
  return kOk;
}

CSpatial* CNode::FindChild(const char16_t* name, const ClassRecord* record, bool includeDerived) const {
  for (const CPointer<CSpatial>& child : children_) {
    if (!child) continue;
    if (record != nullptr) {
      const bool classMatches =
          includeDerived ? child->IsKindOf(*record) : child->GetClassRecord().id == record->id;
      if (!classMatches) continue;
    }
    if (name != nullptr && child->GetName() != std::u16string_view(name)) continue;
    return child.Get();
  }
  return nullptr;
}

CNode* FindNode(const CNode* parent, const char16_t* name, bool includeDerived) {
  if (parent == nullptr) return nullptr;
  return static_cast<CNode*>(parent->FindChild(name, &CNode::StaticClassRecord(), includeDerived));
}

CSpatial* FindTriMesh(const CNode* parent, const char16_t* name, bool includeDerived) {
  if (parent == nullptr) return nullptr;
  return parent->FindChild(name, &GetClassRecordAt(ClassIndex::CTriMesh), includeDerived);
}

// --- tree copies -------------------------------------------------------------------------

Result CNode::CopyTreeByCustomId(NodeCopyMap& map, CPointer<CNode>& copy, u32 filter) {
  if (filter != customId_) return kDone;
  const auto found = map.find(this);
  if (found != map.end()) {
    copy = found->second;
    return kOk;
  }
  CPointer<CBase> instance;
  Result r = CreateInstance(instance);
  if (Failed(r)) return r;
  CPointer<CNode> node(DynamicCast<CNode>(instance.Get()));
  if (!node) return kErrNotFound;
  map[this] = node;
  r = WalkTree(
      this, WalkOp::CopyTree,
      [&](CSpatial* child, CNode* parentCopy, bool&) -> Result {
        CNode* childNode = DynamicCast<CNode>(child);
        if (childNode == nullptr) return kOk;
        CPointer<CNode> childCopy;
        const Result cr = childNode->CopyTreeByCustomId(map, childCopy, filter);
        if (Failed(cr)) return cr;
        if (cr == kOk && childCopy && parentCopy != nullptr) parentCopy->AddChild(childCopy.Get());
        return kOk;
      },
      NoFinish(), false, node.Get());
  if (Failed(r)) return r;
  copy = node;
  return kOk;
}

Result CNode::CopyTreeByCustomId(CPointer<CNode>& copy, u32 filter) {
  NodeCopyMap map;
  return CopyTreeByCustomId(map, copy, filter);
}

// --- spatial protocol ------------------------------------------------------------------------

Result CNode::CollectSpatials(std::vector<CSpatial*>& spatials) {
  spatials.push_back(this);
  return WalkTree(this, WalkOp::CollectSpatials,
                  [&](CSpatial* child, CNode*, bool&) { return child->CollectSpatials(spatials); });
}

Result CNode::UpdateWorldBound() {
  SetWorldBound(CBound());
  // A node's bound is merged once its children's bounds are up to date.
  return WalkTree(
      this, WalkOp::UpdateWorldBound, [](CSpatial* child, CNode*, bool&) { return child->UpdateWorldBound(); },
      [](CNode* node, bool) -> Result {
        CBound merged;
        for (const CPointer<CSpatial>& child : node->GetChildren()) {
          if (!child || !(child->GetWorldBound().Radius > 0.0f)) continue;
          if (merged.IsEmpty()) {
            merged = child->GetWorldBound();
          } else {
            merged.Merge(child->GetWorldBound());
          }
        }
        node->SetWorldBound(merged);
        return kOk;
      });
}

Result CNode::GetBound(CBound& bound) {
  // The working bound is recorded after every child that filled it; the
  // records are then merged into `bound`.
  CBound working;
  std::vector<CBound> recorded;
  for (const CPointer<CSpatial>& child : children_) {
    if (!child) continue;
    if (child->GetBound(working) == kOk) recorded.push_back(working);
  }
  if (recorded.empty()) return kOk;
  bound = recorded.front();
  for (std::size_t i = 1; i < recorded.size(); ++i) bound.Merge(recorded[i]);
  return kOk;
}

// --- object-model protocol --------------------------------------------------------------------

CBase* CNode::Find(const char16_t* name, const ClassRecord* record, bool includeDerived, bool onlyMarked) {
  if (CBase* hit = CSpatial::Find(name, record, includeDerived, onlyMarked)) return hit;
  CBase* found = nullptr;
  WalkTree(this, WalkOp::Find, [&](CSpatial* child, CNode*, bool&) {
    found = child->Find(name, record, includeDerived, onlyMarked);
    return found != nullptr ? kStopWalk : kOk;
  });
  return found;
}

void CNode::Collect(std::vector<CBase*>& out, const char16_t* name, const ClassRecord* record,
                    bool includeDerived, bool onlyMarked) {
  CSpatial::Collect(out, name, record, includeDerived, onlyMarked);
  WalkTree(this, WalkOp::Collect, [&](CSpatial* child, CNode*, bool&) {
    child->Collect(out, name, record, includeDerived, onlyMarked);
    return kOk;
  });
}

bool CNode::UpdateMarked(const ObjectSet& set) {
  const bool own = CSpatial::UpdateMarked(set);
  bool marked = own;
  WalkTree(
      this, WalkOp::UpdateMarked,
      [&](CSpatial* child, CNode*, bool& childMarked) {
        childMarked = child->UpdateMarked(set);
        return kOk;
      },
      [](CNode* node, bool nodeMarked) {
        node->SetMarked(nodeMarked);
        return kOk;
      },
      own, nullptr, &marked);
  return marked;
}

void CNode::ClearMarked() {
  CSpatial::ClearMarked();
  WalkTree(this, WalkOp::ClearMarked, [](CSpatial* child, CNode*, bool&) {
    child->ClearMarked();
    return kOk;
  });
}

Result CNode::ResolveReferences(CBase* root) {
  if (root == nullptr) return kErrInvalidArg;
  // Children first; each node's own part once its children are done.
  return WalkTree(
      this, WalkOp::ResolveReferences, [root](CSpatial* child, CNode*, bool&) { return child->ResolveReferences(root); },
      [root](CNode* node, bool) { return node->CSpatial::ResolveReferences(root); });
}

Result CNode::CollectAnimated(std::vector<CDorun*>& animated) {
  const Result r = CSpatial::CollectAnimated(animated);
  if (Failed(r)) return r;
  const Result walked = WalkTree(this, WalkOp::CollectAnimated, [&](CSpatial* child, CNode*, bool&) {
    const Result cr = child->CollectAnimated(animated);
    return Failed(cr) ? cr : kOk;
  });
  return Failed(walked) ? walked : r;
}

Result CNode::RegisterForSave(CStream& stream, u32 flags) {
  Result r = CSpatial::RegisterForSave(stream, flags);
  if (r != kOk) return r;
  return WalkTree(this, WalkOp::RegisterForSave, [&](CSpatial* child, CNode*, bool&) {
    const Result cr = child->RegisterForSave(stream, flags);
    return Failed(cr) ? cr : kOk;
  });
}

void CNode::EnumReferences(CReferenceVisitor& visitor) {
  for (const CPointer<CSpatial>& child : children_) visitor.Visit(child.Get(), 1);
  CSpatial::EnumReferences(visitor);
}

bool CNode::HasSubObjects() const { return !children_.empty() || CSpatial::HasSubObjects(); }

u32 CNode::GetMemorySize() const { return CSpatial::GetMemorySize() + 4 * GetChildCount() + 40; }

u32 CNode::GetSaveSize() const { return CSpatial::GetSaveSize() + 16 + GetPointerVectorSaveSize(GetChildCount()); }

Result CNode::Clone(CPointer<CBase>& out, CloneMap& cloneMap, u32 flags) {
  Result r = CSpatial::Clone(out, cloneMap, flags);
  if (r != kOk) return r;
  CNode* copy = static_cast<CNode*>(out.Get());
  return WalkTree(
      this, WalkOp::Clone,
      [&](CSpatial* child, CNode* parentCopy, bool&) -> Result {
        CPointer<CBase> clone;
        const Result cr = CloneObject(clone, cloneMap, child, flags);
        if (Failed(cr)) return cr;
        // A clone made earlier already has its place in the copied tree.
        CSpatial* spatial = DynamicCast<CSpatial>(clone.Get());
        if (spatial != nullptr && parentCopy != nullptr) parentCopy->AddChild(spatial);
        return kOk;
      },
      NoFinish(), false, copy);
}

Result CNode::CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const {
  CNode* other = DynamicCast<CNode>(target);
  if (other == nullptr) return kErrNotFound;
  // Moving the children under one of their own descendants would make the
  // tree a loop.
  if (other != this && other->IsSelfOrAncestor(this)) return kErrInvalidArg;
  const Result r = CSpatial::CopyTo(target, displaced, flags);
  if (Failed(r)) return r;
  other->receiveShadow_ = receiveShadow_;
  other->castShadow_ = castShadow_;
  other->customId_ = customId_;
  other->isBlock_ = isBlock_;
  other->isDummy_ = isDummy_;
  if (other == this) return kOk;
  // The children move: the source is const only in its fields, its child
  // list is handed over.
  CNode* self = const_cast<CNode*>(this);
  std::vector<CPointer<CSpatial>> former;
  other->ReleaseChildren(former);
  for (auto it = former.rbegin(); it != former.rend(); ++it) displaced.emplace_back(it->Get());
  std::vector<CPointer<CSpatial>> moved = std::move(self->children_);
  self->children_.clear();
  for (CPointer<CSpatial>& child : moved) {
    if (child) child->SetParent(other);
  }
  other->children_ = std::move(moved);
  self->SetModified();
  other->SetModified();
  return kOk;
}

// --- persistence -----------------------------------------------------------------------------------

Result CNode::Load(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  Result r = CSpatial::Load(stream, record, flags);
  if (Succeeded(r)) r = stream.ReadVersionBlock(StaticClassRecord());
  if (Failed(r)) return r;
  const i32 v = stream.GetStoredVersion(StaticClassRecord());
  queuedChildren_ = 0;
  if (v >= static_cast<i32>(kVersionCustomId)) {
    r = ReadU32(stream, customId_);
  } else {
    u32 discarded = 0;
    r = ReadU32(stream, discarded);
  }
  if (Succeeded(r)) r = ReadBool(stream, receiveShadow_);
  if (Succeeded(r)) r = ReadBool(stream, castShadow_);
  if (Succeeded(r) && v >= static_cast<i32>(kVersionIsBlock)) r = ReadBool(stream, isBlock_);
  if (Succeeded(r) && v >= static_cast<i32>(kVersionIsDummy)) r = ReadBool(stream, isDummy_);
  u32 count = 0;
  if (Succeeded(r)) r = ReadU32(stream, count);
  const bool wide = v >= static_cast<i32>(kVersionWideChildIds);
  if (Succeeded(r)) r = stream.CheckAvailable(count, wide ? 8 : 4);
  if (Failed(r)) return r;
  for (u32 i = 0; i < count; ++i) {
    if (wide) {
      r = ReadObjectId(stream, record);
    } else if (v >= static_cast<i32>(kVersionCustomId)) {
      r = ReadObjectId32(stream, record);
    } else {
      // The oldest lists skip empty entries and keep the id's sign.
      u32 id = 0;
      r = ReadU32(stream, id);
      if (Succeeded(r) && id == 0) continue;
      if (Succeeded(r)) record.pendingIds.push_back(static_cast<u64>(static_cast<i64>(static_cast<i32>(id))));
    }
    if (Failed(r)) return r;
    ++queuedChildren_;
  }
  return kOk;
}

Result CNode::Link(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  Result r = CSpatial::Link(stream, record, flags);
  if (Failed(r)) return r;
  const u32 queued = std::exchange(queuedChildren_, 0);
  for (u32 i = 0; i < queued; ++i) {
    const u64 id = record.TakeNextId();
    CBase* object = stream.ObjectFromId(id);
    CSpatial* child = DynamicCast<CSpatial>(object);
    if (child == nullptr) {
      if (object == nullptr && id != 0) stream.AddUnresolved(id, this);
      continue;
    }
    // Another node's child, or an entry listed twice: the first claim holds.
    if (child->GetParent() != nullptr) continue;
    // The stream refuses (kErrNotFound) an edge that would close an
    // ownership cycle through any owning reference.
    r = stream.ClaimOwnership(this, child);
    if (Failed(r)) return r;
    child->SetParent(this);
    children_.emplace_back(child);
  }
  return kOk;
}

Result CNode::Save(CStream& stream, u32 flags) {
  Result r = CSpatial::Save(stream, flags);
  if (Succeeded(r)) r = WriteVersion(stream, StaticClassRecord());
  if (Succeeded(r)) r = WriteU32(stream, customId_);
  if (Succeeded(r)) r = WriteBool(stream, receiveShadow_);
  if (Succeeded(r)) r = WriteBool(stream, castShadow_);
  if (Succeeded(r)) r = WriteBool(stream, isBlock_);
  if (Succeeded(r)) r = WriteBool(stream, isDummy_);
  if (Succeeded(r)) r = WriteReferenceVector(stream, children_);
  return r;
}

void CNode::DescribeMembers(CMemberVisitor& visitor) {
  visitor.BeginGroup(u"CNode Member");
  visitor.OpenGroup();
  visitor.Bool(u"ReceiveShadow", &receiveShadow_);
  visitor.Bool(u"CastShadow", &castShadow_);
  visitor.Bool(u"IsBlock", &isBlock_);
  visitor.Bool(u"IsDummy", &isDummy_);
  visitor.CustomId(u"CustomID", &customId_);
  visitor.EndGroup();
  CSpatial::DescribeMembers(visitor);
}

}  // namespace KT
