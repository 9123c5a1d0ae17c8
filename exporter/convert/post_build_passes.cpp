// The passes that run over the converted scene after the build steps: the
// removal of animation a content type must not carry, the clean-up of meshes
// hanging under rig bones, and the profile corrections of the bind pose and
// of the keys.

#include <map>
#include <set>
#include <vector>

#include "controllers/core/data_clip_control.h"
#include "controllers/core/keyframe_control.h"
#include "controllers/core/rts_control.h"
#include "controllers/core/uvw_map_control.h"
#include "exporter/convert/key_sampling.h"
#include "exporter/plugin/conversion_helpers.h"
#include "exporter/plugin/max_drn.h"
#include "objectmodel/collectors.h"
#include "objectmodel/time_helpers.h"
#include "render/materials/material_attribute_control.h"
#include "scene/tri_mesh.h"

namespace {

// Takes every collected controller out of the chain of the object it is
// bound to. A controller held by a container is not in a chain: the object
// refuses it and it stays.
template <typename T>
void RemoveFromObjects(const std::vector<KT::CPointer<T>>& controls) {
  for (const KT::CPointer<T>& control : controls)
    if (KT::CDorun* object = control->GetObject()) object->RemoveControl(control.Get());
}

template <typename T>
std::vector<KT::CPointer<T>> CollectUnder(KT::CBase* root, bool includeDerived) {
  std::vector<KT::CPointer<T>> out;
  KT::CollectPointers(out, root, nullptr, includeDerived, false);
  return out;
}

// The node's first keyframe controller (exact class) in its chain, or null.
KT::CKeyframeControl* FirstKeyframeControl(const KT::CNode& node) {
  KT::CDorun* first = node.GetFirstControl();
  if (first == nullptr) return nullptr;
  return KT::DynamicCast<KT::CKeyframeControl>(
      first->Find(nullptr, &KT::CKeyframeControl::StaticClassRecord(), false, false));
}

// The node's pose as it stands in the scene, corrected by the profile and
// expressed in its parent's space under its inherit mask.
KT::CRtsTransform CorrectedPose(const CMaxDrn& context, const KT::CNode& node) {
  KT::CMatrix4 world = node.GetWorldMatrix();
  context.ApplyProfileMatrix(world, node.GetName());
  KT::RemoveParent(world, node.GetParent(), node.GetInherited());
  return KT::CRtsTransform::FromMatrix(world);
}

void EvaluateScene(KT::CNode& root, KT::i32 time) { root.UpdateScene(time, 0, 0.0f, true, nullptr, false); }

}  // namespace

void CMaxDrn::ResetUvwClipControls() {
  if (!root) return;
  {
    const auto clipControls = CollectUnder<KT::CUvwMapClipControl>(root.Get(), true);
    for (const auto& control : clipControls) {
      KT::CDorun* object = control->GetObject();
      if (object == nullptr || KT::Failed(object->RemoveControl(control.Get()))) continue;
      KT::CPointer<KT::CUvwMapClipControl> empty(new (std::nothrow) KT::CUvwMapClipControl());
      if (empty) object->AddControl(empty.Get());
    }
  }
  // The old clip controllers are gone by now, and with them their children.
  RemoveFromObjects(CollectUnder<KT::CUvwMapControl>(root.Get(), true));
}

void CMaxDrn::RemoveMaterialAnimation() {
  if (!root) return;
  // The clip controllers go first: the attribute controllers they held go
  // with them, and those left in chains are collected afterwards.
  RemoveFromObjects(CollectUnder<KT::CDataClipControl>(root.Get(), false));
  RemoveFromObjects(CollectUnder<KT::CMaterialAttributeControl>(root.Get(), false));
}

void CMaxDrn::CleanRigBoneNodes() {
  if (!root) return;
  // Counted: a mesh taken out may carry nodes of the list with it.
  for (const auto& node : CollectUnder<KT::CNode>(root.Get(), false)) {
    if (!IsRigBoneName(node->GetName())) continue;
    const std::vector<KT::CPointer<KT::CSpatial>> children = node->GetChildren();
    for (const auto& child : children)
      if (KT::DynamicCast<KT::CTriMesh>(child.Get()) != nullptr) node->RemoveChild(child.Get());
  }
}

void CMaxDrn::ApplyProfileToKeys() {
  if (!root) return;
  EvaluateScene(*root, KT::kZeroTime);
  for (const auto& node : CollectUnder<KT::CNode>(root.Get(), false)) {
    const KT::CRtsTransform pose = CorrectedPose(*this, *node);
    node->SetBasis(pose);
    node->SetDirty(true);
    if (KT::CKeyframeControl* keys = FirstKeyframeControl(*node)) keys->SetRtsKeyValue(0, pose);
    // Its children are corrected against this new pose.
    node->UpdateTransform(KT::kZeroTime);
  }
}

void CMaxDrn::BakeProfileIntoKeys(KT::CNode* sceneRoot) {
  if (sceneRoot == nullptr) return;
  const auto nodesUnder = CollectUnder<KT::CNode>(sceneRoot, false);
  std::set<KT::i32> times;
  for (const auto& control : CollectUnder<KT::CKeyframeControl>(sceneRoot, false))
    for (const auto& key : control->GetRtsKeys()) times.insert(key.Time);

  // The tracks as they stand before the pass. Each time is evaluated from
  // them: a key written at an earlier time of the pass would otherwise be
  // read (and corrected once more) at every later time the track does not
  // key itself.
  std::map<KT::CKeyframeControl*, std::vector<KT::CKeyframeControl::CRtsKey>> original;
  std::map<KT::CKeyframeControl*, std::vector<std::pair<KT::i32, KT::CRtsTransform>>> baked;
  std::vector<std::pair<KT::CNode*, KT::CKeyframeControl*>> keyed;
  for (const auto& node : nodesUnder) {
    KT::CKeyframeControl* control = FirstKeyframeControl(*node);
    keyed.emplace_back(node.Get(), control);
    if (control != nullptr) original.emplace(control, control->GetRtsKeys());
  }

  for (const KT::i32 t : times) {
    for (auto& [control, keys] : original) control->SetRtsKeys(keys);
    EvaluateScene(*sceneRoot, t);
    for (auto& [node, control] : keyed) {
      const KT::CRtsTransform pose = CorrectedPose(*this, *node);
      if (control != nullptr) {
        // Written for this time only, so that the children below are
        // corrected against the node's new pose.
        control->AddRtsKey(t, kSampledKeyFramesPerSecond, pose, KT::TT_LINEAR, kSampledKeyStrength);
        baked[control].emplace_back(t, pose);
      }
      node->UpdateTransform(t);
    }
  }

  for (auto& [control, keys] : original) {
    control->SetRtsKeys(keys);
    for (const auto& [t, pose] : baked[control])
      control->AddRtsKey(t, kSampledKeyFramesPerSecond, pose, KT::TT_LINEAR, kSampledKeyStrength);
  }
}
