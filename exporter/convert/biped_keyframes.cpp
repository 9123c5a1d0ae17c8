// The biped keyframe pass of the conversion context: the host biped's
// transforms sampled clip by clip into keyframe controllers on every
// converted node, either copying host nodes of the same names or driving a
// base skeleton through the conversion profile.

#include <new>
#include <unordered_map>
#include <vector>

#include "controllers/core/keyframe_control.h"
#include "exporter/convert/key_sampling.h"
#include "exporter/convert/node_conversion.h"
#include "exporter/plugin/conversion_helpers.h"
#include "exporter/plugin/max_drn.h"
#include "exporter/plugin/plugin_paths.h"
#include "objectmodel/collectors.h"
#include "platform/host/class_id.h"
#include "platform/host/control.h"
#include "platform/host/inode.h"
#include "platform/host/interface.h"

namespace {

constexpr const char* kBipedMessage = "Building Biped Keyframes";
constexpr int kBipedProgress = 30;
constexpr KT::u32 kBipedInheritMask = 0x1C0;
// The argument the exporter passes to the biped export interface.
constexpr int kBipedExportOption = 1;

constexpr const char16_t* kLowerTorso = u"LowerTorso";
constexpr const char16_t* kUpperTorso = u"UpperTorso";
constexpr const char16_t* kLeftThigh = u"LThigh";
constexpr const char16_t* kRightThigh = u"RThigh";
constexpr const char* kHostPelvis = "Bip01 Pelvis";

bool IsBipedController(Control* tm) {
  if (tm == nullptr) return false;
  const Class_ID id = tm->ClassID();
  return id == BIPED_SLAVE_CONTROL_CLASS_ID || id == BIPED_BODY_CONTROL_CLASS_ID || id == FOOTSTEP_CONTROL_CLASS_ID;
}

KT::CMatrix4 Inverse(const KT::CMatrix4& m) {
  KT::CMatrix4 inverse;
  KT::MatrixInverse(inverse, nullptr, m);
  return inverse;
}

// The nodes of the pass in collection order (parents before children),
// each with the index of its parent in the list (-1 for none) and the
// world matrix of the current sample.
struct Skeleton {
  std::vector<KT::CNode*> nodes;
  std::vector<int> parents;
  std::vector<KT::CMatrix4> world;

  explicit Skeleton(KT::CNode* root) {
    KT::CollectObjects(nodes, root, nullptr, false, false);
    std::unordered_map<const KT::CSpatial*, int> index;
    for (std::size_t i = 0; i < nodes.size(); ++i) index.emplace(nodes[i], static_cast<int>(i));
    for (KT::CNode* node : nodes) {
      auto it = index.find(node->GetParent());
      parents.push_back(it != index.end() ? it->second : -1);
    }
    world.assign(nodes.size(), KT::kMatrix4Identity);
  }

  int Find(const char16_t* name) const {
    for (std::size_t i = 0; i < nodes.size(); ++i)
      if (nodes[i]->GetName() == name) return static_cast<int>(i);
    return -1;
  }

  // `matrix` x the parent's world matrix; `matrix` alone without a parent.
  KT::CMatrix4 UnderParent(std::size_t i, const KT::CMatrix4& matrix) const {
    return parents[i] >= 0 ? matrix * world[static_cast<std::size_t>(parents[i])] : matrix;
  }
  // The world matrix x Inverse(the parent's world matrix).
  KT::CMatrix4 LocalOf(std::size_t i) const {
    return parents[i] >= 0 ? world[i] * Inverse(world[static_cast<std::size_t>(parents[i])]) : world[i];
  }
  // Whether node i is `top` or lies under it.
  bool InSubtree(std::size_t i, int top) const {
    for (int n = static_cast<int>(i); n >= 0; n = parents[static_cast<std::size_t>(n)])
      if (n == top) return true;
    return false;
  }
};

// Where the base skeleton's pelvis sits against its hips, and how far its
// upper body stands from the pelvis. The offsets are taken from the rest
// pose (each Basis composed down the tree): the skeleton comes from a file,
// which stores no world matrices.
struct BaseOffsets {
  bool valid = false;
  KT::CMatrix4 baseOffset;  // LowerTorso x Inverse(hip frame)
  KT::CVector3<float> d;    // UpperTorso - LowerTorso, world positions

  BaseOffsets() = default;
  explicit BaseOffsets(const Skeleton& skeleton) {
    const int lower = skeleton.Find(kLowerTorso);
    const int upper = skeleton.Find(kUpperTorso);
    const int left = skeleton.Find(kLeftThigh);
    const int right = skeleton.Find(kRightThigh);
    if (lower < 0 || upper < 0 || left < 0 || right < 0) return;
    std::vector<KT::CMatrix4> rest(skeleton.nodes.size());
    for (std::size_t i = 0; i < skeleton.nodes.size(); ++i) {
      const KT::CMatrix4 own = skeleton.nodes[i]->GetBasis().ToMatrix();
      rest[i] = skeleton.parents[i] >= 0 ? own * rest[static_cast<std::size_t>(skeleton.parents[i])] : own;
    }
    const KT::CMatrix4& lowerWorld = rest[static_cast<std::size_t>(lower)];
    d = rest[static_cast<std::size_t>(upper)].GetTranslation() - lowerWorld.GetTranslation();
    KT::CMatrix3 rotation;
    KT::CVector3<float> translation;
    KT::CVector3<float> scale;
    lowerWorld.Decompose(rotation, translation, scale);
    const KT::CVector3<float> hips =
        (rest[static_cast<std::size_t>(left)].GetTranslation() + rest[static_cast<std::size_t>(right)].GetTranslation()) *
        0.5f;
    KT::CMatrix4 hipFrame;
    hipFrame.Compose(rotation, hips, {1.0f, 1.0f, 1.0f});
    baseOffset = lowerWorld * Inverse(hipFrame);
    valid = true;
  }
};

// The world matrix of the host node named `name` at t, when there is one.
bool HostWorld(Interface* ip, const std::string& name, TimeValue t, KT::CMatrix4& out) {
  INode* inode = ip != nullptr ? ip->GetINodeByName(name.c_str()) : nullptr;
  if (inode == nullptr) return false;
  out = WidenMatrix(inode->GetNodeTM(t));
  return true;
}

// The profile record of a base bone that names a host bone, or null.
const ProfileRecord* DrivingRecord(const std::vector<ProfileRecord>& profile, const KT::WString& name) {
  const ProfileRecord* record = FindProfileRecord(profile, name);
  return record != nullptr && record->HostBone != kProfileDefaultName ? record : nullptr;
}

}  // namespace

void CMaxDrn::BuildBipedKeyframes(int ticksPerFrame, const std::vector<ProfileRecord>& profileList) {
  StepProgress(0, kBipedMessage);
  if (nodes.empty() || !root) return;

  for (INode* inode : nodes) {
    Control* tm = inode != nullptr ? inode->GetTMController() : nullptr;
    if (!IsBipedController(tm)) continue;
    void* found = tm->GetInterface(I_BIPED_EXPORT);
    if (found == nullptr) continue;
    static_cast<IBipedExport*>(found)->SetExportOption(kBipedExportOption);
    tm->ReleaseInterface(I_BIPED_EXPORT, found);
  }

  const int share = clips.empty() ? kBipedProgress : kBipedProgress / static_cast<int>(clips.size());

  Skeleton skeleton(root.Get());
  for (KT::CNode* node : skeleton.nodes) {
    node->SetInherited(kBipedInheritMask);
    RemoveKeyframeControl(node);
    for (const ClipRecord& clip : clips) {
      KT::CPointer<KT::CKeyframeControl> control(new (std::nothrow) KT::CKeyframeControl());
      if (!control) continue;
      control->SetName(clip.Name);
      control->SetFrequency(1.0f);
      control->SetModified();
      node->AddControl(control.Get());
    }
  }

  const bool baseBones = baseBoneLoaded;
  const BaseOffsets offsets = baseBones ? BaseOffsets(skeleton) : BaseOffsets();
  const int lower = skeleton.Find(kLowerTorso);
  const int upper = skeleton.Find(kUpperTorso);
  const std::size_t count = skeleton.nodes.size();

  for (const ClipRecord& clip : clips) {
    const TimeValue origin = static_cast<TimeValue>(clip.From) * ticksPerFrame;
    const TimeValue end = static_cast<TimeValue>(clip.To) * ticksPerFrame;
    for (const KeySample& sample : SampleGrid(origin, end, sampleRate, ticksPerFrame)) {
      // Pass 1: world matrices, parents first.
      bool placed = false;
      for (std::size_t i = 0; i < count; ++i) {
        KT::CNode* node = skeleton.nodes[i];
        bool found = false;
        if (!baseBones) {
          found = HostWorld(ip, ToNarrow(node->GetName()), sample.tick, skeleton.world[i]);
        } else if (node->GetName() == kLowerTorso) {
          KT::CMatrix4 pelvis;
          if (HostWorld(ip, kHostPelvis, sample.tick, pelvis)) {
            if (const ProfileRecord* record = FindProfileRecord(profileList, kLowerTorso))
              pelvis = KT::MultiplyRotationPart(record->Matrix, pelvis);
            skeleton.world[i] = offsets.baseOffset * pelvis;
            found = true;
          }
        } else if (const ProfileRecord* record = FindProfileRecord(profileList, node->GetName())) {
          found = HostWorld(ip, ToNarrow(record->HostBone), sample.tick, skeleton.world[i]);
        }
        if (found) {
          placed = true;
        } else if (!placed) {
          skeleton.world[i] = KT::kMatrix4Identity;
          node->SetBasis(KT::kIdentityTransform);
          node->SetDirty();
        } else {
          skeleton.world[i] = skeleton.UnderParent(i, node->GetBasis().ToMatrix());
        }
      }
      // The upper body keeps the base skeleton's distance from the pelvis.
      if (baseBones && offsets.valid && lower >= 0 && upper >= 0) {
        const KT::CVector3<float> displacement =
            KT::TransformCoord(offsets.d, skeleton.world[static_cast<std::size_t>(lower)]) -
            skeleton.world[static_cast<std::size_t>(upper)].GetTranslation();
        for (std::size_t i = 0; i < count; ++i) {
          if (!skeleton.InSubtree(i, upper)) continue;
          skeleton.world[i].SetTranslation(skeleton.world[i].GetTranslation() + displacement);
        }
      }

      // Pass 2: keys, parents first; in base-bone mode each corrected pose
      // becomes the world matrix its children are measured against.
      for (std::size_t i = 0; i < count; ++i) {
        KT::CNode* node = skeleton.nodes[i];
        KT::CMatrix4 local;
        if (!baseBones) {
          local = skeleton.LocalOf(i);
        } else if (const ProfileRecord* record = DrivingRecord(profileList, node->GetName())) {
          local = skeleton.LocalOf(i);
          if (node->GetName() != kLowerTorso) local = KT::MultiplyRotationPart(record->Matrix, local);
        } else {
          local = node->GetBasis().ToMatrix();
        }
        KT::CDorun* first = node->GetFirstControl();
        auto* control = first != nullptr ? static_cast<KT::CKeyframeControl*>(first->Find(
                                               clip.Name.c_str(), &KT::CKeyframeControl::StaticClassRecord(), true, false))
                                         : nullptr;
        if (control != nullptr)
          control->AddRtsKey(sample.time, kSampledKeyFramesPerSecond, KT::CRtsTransform::FromMatrix(local),
                             KT::TT_LINEAR, kSampledKeyStrength);
        if (baseBones) skeleton.world[i] = skeleton.UnderParent(i, local);
      }
    }
    StepProgress(share, kBipedMessage);
  }
}
