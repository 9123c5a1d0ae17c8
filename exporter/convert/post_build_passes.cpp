// The passes that run over the converted scene after the build steps: the
// removal of animation a content type must not carry, the clean-up of meshes
// hanging under rig bones, and the profile corrections of the bind pose and
// of the keys.

#include <algorithm>
#include <map>
#include <optional>
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

// The index of the track's key at time t, if it has one.
std::optional<KT::u32> KeyIndexAt(const KT::CKeyframeControl& control, KT::i32 t) {
  const auto& keys = control.GetRtsKeys();
  const auto it = std::lower_bound(keys.begin(), keys.end(), t,
                                   [](const KT::CKeyframeControl::CRtsKey& key, KT::i32 time) { return key.Time < time; });
  if (it == keys.end() || it->Time != t) return std::nullopt;
  return static_cast<KT::u32>(it - keys.begin());
}

std::optional<KT::CKeyframeControl::CRtsKey> KeyAt(const KT::CKeyframeControl& control, KT::i32 t) {
  const auto index = KeyIndexAt(control, t);
  if (!index) return std::nullopt;
  return control.GetRtsKeys()[*index];
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

  std::vector<std::pair<KT::CNode*, KT::CKeyframeControl*>> keyed;
  std::map<KT::CKeyframeControl*, std::vector<std::pair<KT::i32, KT::CRtsTransform>>> baked;
  for (const auto& node : nodesUnder) keyed.emplace_back(node.Get(), FirstKeyframeControl(*node));

  for (const KT::i32 t : times) {
    EvaluateScene(*sceneRoot, t);
    // The keys the tracks held at t before this time was written.
    std::vector<std::pair<KT::CKeyframeControl*, std::optional<KT::CKeyframeControl::CRtsKey>>> replaced;
    for (auto& [node, control] : keyed) {
      const KT::CRtsTransform pose = CorrectedPose(*this, *node);
      if (control != nullptr) {
        // Written so that the children below are corrected against the
        // node's new pose; taken back once every node is done, see below.
        replaced.emplace_back(control, KeyAt(*control, t));
        control->AddRtsKey(t, kSampledKeyFramesPerSecond, pose, KT::TT_LINEAR, kSampledKeyStrength);
        baked[control].emplace_back(t, pose);
      }
      node->UpdateTransform(t);
    }
    // Every time is evaluated from the keys as they stood before the pass: a
    // key written here would otherwise be read (and corrected once more) at
    // every later time that its track does not key itself.
    for (const auto& [control, key] : replaced) {
      if (key) {
        control->AddRtsKey(key->Time, kSampledKeyFramesPerSecond, key->Value, key->TransitionType,
                           key->TransitionStrength);
      } else if (const auto index = KeyIndexAt(*control, t)) {
        control->RemoveRtsKey(*index);
      }
    }
  }

  for (const auto& [control, keys] : baked)
    for (const auto& [t, pose] : keys)
      control->AddRtsKey(t, kSampledKeyFramesPerSecond, pose, KT::TT_LINEAR, kSampledKeyStrength);
}
