#include "exporter/convert/node_conversion.h"

#include <vector>

#include "controllers/core/keyframe_control.h"
#include "exporter/convert/key_sampling.h"
#include "exporter/plugin/conversion_helpers.h"
#include "exporter/plugin/max_drn.h"
#include "exporter/plugin/plugin_paths.h"
#include "platform/host/control.h"
#include "platform/host/inode.h"
#include "platform/host/interface.h"
#include "scene/light.h"

void SetBasis(KT::CSpatial* spatial, const KT::CRtsTransform& basis) {
  if (spatial != nullptr) spatial->SetBasis(basis);
}

void SetLightColor(KT::CLight* light, const float (&rgb)[3]) {
  if (light == nullptr) return;
  KT::CColor color = light->GetRgb();
  color.r = rgb[0];
  color.g = rgb[1];
  color.b = rgb[2];
  light->SetRgb(color);
}

bool IsMirrored(const Matrix3& m) {
  const float(&a)[4][3] = m.m;
  const float det = a[0][0] * (a[1][1] * a[2][2] - a[1][2] * a[2][1]) -
                    a[0][1] * (a[1][0] * a[2][2] - a[1][2] * a[2][0]) +
                    a[0][2] * (a[1][0] * a[2][1] - a[1][1] * a[2][0]);
  return det < 0.0f;
}

KT::CRtsTransform DecomposeHostMatrix(const Matrix3& m) { return KT::CRtsTransform::FromMatrix(WidenMatrix(m)); }

KT::CRtsTransform ControllerTransform(Control* tm, const KT::CRtsTransform& base, TimeValue t, Interface* ip) {
  KT::CRtsTransform rts = base;
  if (tm == nullptr) return rts;
  const Interval range = ip != nullptr ? ip->GetAnimRange() : Interval();
  if (Control* rotation = tm->GetRotationController()) {
    Quat q(0.0f, 0.0f, 0.0f, 0.0f);
    Interval valid = range;
    rotation->GetValue(t, &q, valid, CTRL_ABSOLUTE);
    rts.Rotate = KT::CQuaternion(-q.x, -q.y, -q.z, q.w);
  }
  if (Control* position = tm->GetPositionController()) {
    Point3 p(0.0f, 0.0f, 0.0f);
    Interval valid = range;
    position->GetValue(t, &p, valid, CTRL_ABSOLUTE);
    rts.Translate = {p.x, p.y, p.z};
  }
  if (Control* scale = tm->GetScaleController()) {
    ScaleValue s(Point3(0.0f, 0.0f, 0.0f), Quat(0.0f, 0.0f, 0.0f, 0.0f));
    Interval valid = range;
    scale->GetValue(t, &s, valid, CTRL_ABSOLUTE);
    rts.Scale = {s.s.x, s.s.y, s.s.z};
  }
  return rts;
}

void CMaxDrn::EnsureKeyframeControl(KT::CSpatial* node) {
  if (node == nullptr) return;
  if (KT::CDorun* first = node->GetFirstControl()) {
    if (first->Find(nullptr, &KT::CRTSControl::StaticClassRecord(), true, false) != nullptr) return;
  }
  KT::CPointer<KT::CKeyframeControl> control(new (std::nothrow) KT::CKeyframeControl());
  if (!control) return;
  control->SetFrequency(1.0f);
  control->AddRtsKey(KT::kZeroTime, kSampledKeyFramesPerSecond, node->GetBasis(), KT::TT_LINEAR,
                     kSampledKeyStrength);
  node->AddControl(control.Get());
}

void CMaxDrn::SetNodeTransform(KT::CNode* node, INode* inode, TimeValue t) {
  if (node == nullptr || inode == nullptr) return;
  node->SetName(ToWide(inode->GetName() != nullptr ? inode->GetName() : ""));
  node->SetReceiveShadow(inode->RcvShadows() > 0);
  node->SetCastShadow(inode->CastShadows() > 0);
  node->SetActive(inode->IsHidden(0, FALSE) == 0);
  Control* tm = inode->GetTMController();
  if (tm == nullptr) {
    const Matrix3 local = inode->GetNodeTM(t) * Inverse(inode->GetParentTM(t));
    node->SetBasis(DecomposeHostMatrix(local));
  } else {
    node->SetInherited(tm->GetInheritanceFlags());
    node->SetBasis(ControllerTransform(tm, KT::kIdentityTransform, t, ip));
  }
  node->SetModified();
  EnsureKeyframeControl(node);
}

void CMaxDrn::BuildNodes(int kind) {
  StepProgress(5, "Building Nodes");
  if (nodes.empty() || root) return;
  nodeBuildMode = kind;
  const KT::u32 customId = NodeCodeFromIndex(kind);

  INode* sceneRoot = nodes.front();
  while (sceneRoot != nullptr && !sceneRoot->IsRootNode()) sceneRoot = sceneRoot->GetParentNode();

  KT::CPointer<KT::CNode> top;
  if (KT::Failed(KT::CNode::Create(top))) return;
  if (sceneRoot != nullptr && sceneRoot->GetName() != nullptr) top->SetName(ToWide(sceneRoot->GetName()));
  EnsureKeyframeControl(top.Get());
  top->SetCustomId(customId);
  root = top;

  std::vector<bool> done(nodes.size(), false);
  for (bool converted = true; converted;) {
    converted = false;
    for (std::size_t i = 0; i < nodes.size(); ++i) {
      if (done[i] || nodes[i] == nullptr) continue;
      INode* hostParent = nodes[i]->GetParentNode();
      if (hostParent == nullptr || hostParent->GetName() == nullptr) continue;
      const KT::WString parentName = ToWide(hostParent->GetName());
      auto* parent = static_cast<KT::CNode*>(
          root->Find(parentName.c_str(), &KT::CNode::StaticClassRecord(), false, false));
      if (parent == nullptr) continue;
      KT::CPointer<KT::CNode> node;
      if (KT::Failed(KT::CNode::Create(node))) continue;
      SetNodeTransform(node.Get(), nodes[i], 0);
      node->SetCustomId(customId);
      parent->AddChild(node.Get());
      done[i] = true;
      converted = true;
    }
  }
}
