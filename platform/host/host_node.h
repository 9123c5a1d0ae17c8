// The stand-in's node: answers INode from a node's description (the root
// has none). NodeTM(t) = Local(t) x ParentTM(t); Local comes from the keyed
// tracks of the transform controller, or is the constant local matrix of a
// node without one.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/host/host_control.h"
#include "platform/host/inode.h"
#include "platform/host/scene_description.h"

namespace KT::Host {

class HostNode : public INode {
 public:
  // The root: a node without description.
  explicit HostNode(std::string rootName);
  // A node of the scene; the scene sets its parent (the root by default).
  explicit HostNode(const NodeDesc& desc);
  ~HostNode() override;

  const TCHAR* GetName() override { return name_.c_str(); }
  INode* GetParentNode() override { return parent_; }
  int IsRootNode() override { return desc_ == nullptr ? 1 : 0; }
  int Selected() override;
  int RcvShadows() override;
  int CastShadows() override;
  int IsHidden(DWORD hflags = 0, BOOL forRenderer = FALSE) override;
  Control* GetTMController() override { return control_.get(); }
  Matrix3 GetNodeTM(TimeValue t, Interval* valid = nullptr) override;
  Matrix3 GetParentTM(TimeValue t) override;
  Matrix3 GetObjectTM(TimeValue t, Interval* valid = nullptr) override;
  ObjectState EvalWorldState(TimeValue t, BOOL evalHidden = TRUE) override;
  Object* GetObjectRef() override { return objectRef_; }
  Mtl* GetMtl() override { return material_; }
  DWORD GetWireColor() override;

  // Set up by the scene.
  void SetObject(Object* base, Object* reference) {
    baseObject_ = base;
    objectRef_ = reference;
  }
  void SetMaterial(Mtl* material) { material_ = material; }
  void AddChild(HostNode* child) {
    child->parent_ = this;
    children_.push_back(child);
  }
  const std::vector<HostNode*>& Children() const { return children_; }
  HostTransformControl* TransformControl() { return control_.get(); }
  const NodeDesc* Desc() const { return desc_; }

 private:
  Matrix3 Local(TimeValue t) const;

  const NodeDesc* desc_ = nullptr;
  HostNode* parent_ = nullptr;
  std::string name_;
  std::unique_ptr<HostTransformControl> control_;
  Object* baseObject_ = nullptr;
  Object* objectRef_ = nullptr;
  Mtl* material_ = nullptr;
  std::vector<HostNode*> children_;
};

}  // namespace KT::Host
