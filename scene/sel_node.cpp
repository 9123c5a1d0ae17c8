#include "scene/sel_node.h"

#include <algorithm>
#include <limits>
#include <new>
#include <unordered_set>

#include "objectmodel/class_factory.h"
#include "objectmodel/stream.h"
#include "objectmodel/stream_fields.h"
#include "objectmodel/time_helpers.h"
#include "scene/update_driver.h"

namespace KT {

namespace {

// Sets Active on every spatial of the subtree under `top`, each once. The
// walk goes through the child lists of nested nodes (selection nodes
// included) with an explicit stack, so the depth of the tree costs no
// machine stack.
void SetSubtreeActive(CSpatial* top, bool active, std::unordered_set<const CSpatial*>& seen) {
  std::vector<CSpatial*> stack{top};
  while (!stack.empty()) {
    CSpatial* spatial = stack.back();
    stack.pop_back();
    if (spatial == nullptr || !seen.insert(spatial).second) continue;
    spatial->SetActive(active);
    if (const CNode* node = DynamicCast<CNode>(spatial)) {
      const std::vector<CPointer<CSpatial>>& children = node->GetChildren();
      for (auto it = children.rbegin(); it != children.rend(); ++it) stack.push_back(it->Get());
    }
  }
}

// Selection nodes nested in the selected subtree are updated from inside
// this node's data pass, one machine-stack level per nesting; a crafted
// file could nest them without end.
i32 g_nesting = 0;

struct NestingGuard {
  NestingGuard() { ++g_nesting; }
  ~NestingGuard() { --g_nesting; }
  NestingGuard(const NestingGuard&) = delete;
  NestingGuard& operator=(const NestingGuard&) = delete;
};

// time - start, saturated to the range of a time.
i32 LocalTime(i32 time, i32 start) {
  const i64 local = static_cast<i64>(time) - start;
  return static_cast<i32>(
      std::clamp<i64>(local, std::numeric_limits<i32>::min(), std::numeric_limits<i32>::max()));
}

}  // namespace

CSelNode::CSelNode() : startTime_(kZeroTime) {}

CSelNode::CSelNode(const CSelNode& other)
    : CNode(other),
      selectedChild_(other.selectedChild_),
      startTime_(other.startTime_),
      reserved0_(other.reserved0_),
      selectValue0_(other.selectValue0_),
      selectValue1_(other.selectValue1_),
      previousValue1_(other.previousValue1_) {}

CSelNode::~CSelNode() = default;

Result CSelNode::Create(CPointer<CSelNode>& out) {
  CSelNode* node = new (std::nothrow) CSelNode();
  if (node == nullptr) return kErrOutOfMemory;
  out = node;
  return kOk;
}

Result CSelNode::CollectSpatials(std::vector<CSpatial*>& spatials) {
  spatials.push_back(this);
  return kOk;
}

Result CSelNode::UpdateTransform(i32 time) {
  const Result r = CSpatial::UpdateTransform(time);
  return Failed(r) ? r : kOk;
}

Result CSelNode::CollectAnimated(std::vector<CDorun*>& animated) {
  const Result r = CSpatial::CollectAnimated(animated);
  if (Failed(r)) return r;
  // Without this the children of a node that no controller animates would
  // never be updated: the driver does not see them.
  if (std::find(animated.begin(), animated.end(), this) == animated.end()) animated.push_back(this);
  return kOk;
}

Result CSelNode::Update(i32 time) {
  previousValue1_ = selectValue1_;
  Result r = CDorun::Update(time);
  if (Failed(r)) return r;

  const std::vector<CPointer<CSpatial>>& children = GetChildren();
  const i32 count = static_cast<i32>(std::min<std::size_t>(children.size(), std::numeric_limits<i32>::max()));
  if (count == 0) {
    selectedChild_ = -1;
  } else if (selectedChild_ >= count) {
    selectedChild_ = 0;
  }
  i32 used = selectedChild_;
  if (used > 0) {
    // A selected child without children of its own (an empty group, or a
    // leaf such as a mesh) gives way to the first child.
    const CNode* group = DynamicCast<CNode>(children[static_cast<std::size_t>(used)].Get());
    if (group == nullptr || group->GetChildCount() == 0) used = 0;
  }
  usedChild_ = used;

  // The used child last, so that a spatial reachable from two children
  // ends active.
  std::unordered_set<const CSpatial*> seen;
  for (i32 i = 0; i < count; ++i) {
    if (i != used) SetSubtreeActive(children[static_cast<std::size_t>(i)].Get(), false, seen);
  }
  if (used < 0) return kOk;
  CSpatial* child = children[static_cast<std::size_t>(used)].Get();
  seen.clear();
  SetSubtreeActive(child, true, seen);
  if (child == nullptr) return kOk;

  if (g_nesting >= kMaxNesting) return kErrInvalidArg;
  const NestingGuard guard;
  const i32 local = LocalTime(time, startTime_);
  std::vector<CSpatial*> spatials;
  r = child->CollectSpatials(spatials);
  if (Succeeded(r)) r = UpdateTransformPass(spatials, local);
  if (Failed(r)) return r;
  std::vector<CDorun*> animated;
  r = child->CollectAnimated(animated);
  if (Succeeded(r)) r = DataUpdatePass(animated, local);
  return Failed(r) ? r : kOk;
}

u32 CSelNode::GetMemorySize() const { return CNode::GetMemorySize() + 24; }

u32 CSelNode::GetSaveSize() const { return CNode::GetSaveSize() + 16; }

Result CSelNode::CreateInstance(CPointer<CBase>& out) const { return CreateCopy(*this, out); }

Result CSelNode::CopyTo(CBase* target, DisplacedList& displaced, u32 flags) const {
  CSelNode* other = DynamicCast<CSelNode>(target);
  // Refused before the node part moves the children.
  if (other == nullptr) return kErrNotFound;
  const Result r = CNode::CopyTo(target, displaced, flags);
  if (Failed(r)) return r;
  other->selectValue1_ = selectValue1_;
  other->selectValue0_ = selectValue0_;
  return kOk;
}

Result CSelNode::Load(CStream& stream, CStreamLoadRecord& record, u32 flags) {
  Result r = CNode::Load(stream, record, flags);
  if (Succeeded(r)) r = stream.ReadVersionBlock(StaticClassRecord());
  if (Failed(r)) return r;
  if (stream.GetStoredVersion(StaticClassRecord()) < static_cast<i32>(kVersionSelectValues)) return kOk;
  r = ReadU32(stream, selectValue1_);
  if (Succeeded(r)) r = ReadU32(stream, selectValue0_);
  return r;
}

Result CSelNode::Save(CStream& stream, u32 flags) {
  Result r = CNode::Save(stream, flags);
  if (Succeeded(r)) r = WriteVersion(stream, StaticClassRecord());
  if (Succeeded(r)) r = WriteU32(stream, selectValue1_);
  if (Succeeded(r)) r = WriteU32(stream, selectValue0_);
  return r;
}

void CSelNode::DescribeMembers(CMemberVisitor& visitor) {
  visitor.BeginGroup(u"CSelNode Member");
  visitor.OpenGroup();
  visitor.EndGroup();
  CNode::DescribeMembers(visitor);
}

}  // namespace KT
