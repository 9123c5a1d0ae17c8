#include "platform/host/host_node.h"

namespace KT::Host {

HostNode::HostNode(std::string rootName) : name_(std::move(rootName)) {}

HostNode::HostNode(const NodeDesc& desc) : desc_(&desc), name_(desc.name) {
  if (desc.controller != ControllerKind::kNone) control_ = std::make_unique<HostTransformControl>(desc);
}

HostNode::~HostNode() = default;

int HostNode::Selected() { return (desc_ != nullptr && desc_->selected) ? 1 : 0; }
int HostNode::RcvShadows() { return (desc_ != nullptr && desc_->receiveShadows) ? 1 : 0; }
int HostNode::CastShadows() { return (desc_ != nullptr && desc_->castShadows) ? 1 : 0; }
int HostNode::IsHidden(DWORD, BOOL) { return (desc_ != nullptr && desc_->hidden) ? 1 : 0; }
DWORD HostNode::GetWireColor() { return desc_ != nullptr ? desc_->wireColor : 0; }

Matrix3 HostNode::Local(TimeValue t) const {
  if (desc_ == nullptr) return Matrix3();
  return control_ != nullptr ? control_->Local(t) : desc_->local;
}

Matrix3 HostNode::GetNodeTM(TimeValue t, Interval* valid) {
  // Up the parent chain without recursion: hierarchies may be deep.
  Matrix3 tm = Local(t);
  for (const HostNode* p = parent_; p != nullptr; p = p->parent_) tm = tm * p->Local(t);
  if (valid != nullptr) *valid &= Interval(t, t);
  return tm;
}

Matrix3 HostNode::GetParentTM(TimeValue t) { return parent_ != nullptr ? parent_->GetNodeTM(t) : Matrix3(); }

Matrix3 HostNode::GetObjectTM(TimeValue t, Interval* valid) {
  if (desc_ == nullptr) return GetNodeTM(t, valid);
  return ComposeSRT(desc_->offsetScale, desc_->offsetRot, desc_->offsetPos) * GetNodeTM(t, valid);
}

ObjectState HostNode::EvalWorldState(TimeValue, BOOL evalHidden) {
  if (!evalHidden && IsHidden()) return ObjectState();
  return ObjectState(baseObject_);
}

}  // namespace KT::Host
