// The transform keyframe passes of the conversion context.

#include <functional>

#include "controllers/core/clip_key.h"
#include "controllers/core/keyframe_control.h"
#include "controllers/core/rts_clip_control.h"
#include "exporter/convert/key_sampling.h"
#include "exporter/convert/node_conversion.h"
#include "exporter/plugin/max_drn.h"
#include "platform/host/control.h"
#include "platform/host/inode.h"

namespace {

// The common start of the passes: for each collected node that converted
// and has a transform controller, Inherited is copied and `visit` runs.
void ForEachKeyedNode(CMaxDrn& context, const std::function<void(KT::CNode*, INode*, Control*)>& visit) {
  if (context.nodes.empty() || !context.root) return;
  for (INode* inode : context.nodes) {
    KT::CNode* node = FindConvertedNode(context.root.Get(), inode);
    if (node == nullptr) continue;
    Control* tm = inode->GetTMController();
    if (tm == nullptr) continue;
    node->SetInherited(tm->GetInheritanceFlags());
    visit(node, inode, tm);
  }
}

// A new keyframe controller named after the clip, holding the node's keys
// sampled over the clip: Basis overwritten by the sub-controllers.
KT::CPointer<KT::CKeyframeControl> SampleClip(CMaxDrn& context, const ClipRecord& clip, KT::CNode* node, Control* tm,
                                              int ticksPerFrame) {
  KT::CPointer<KT::CKeyframeControl> control(new (std::nothrow) KT::CKeyframeControl());
  if (!control) return control;
  control->ClearRtsKeys();
  control->SetName(clip.Name);
  control->SetFrequency(1.0f);
  const TimeValue origin = static_cast<TimeValue>(clip.From) * ticksPerFrame;
  const TimeValue end = static_cast<TimeValue>(clip.To) * ticksPerFrame;
  for (TimeValue t : SampleTicks(origin, end, context.sampleRate, ticksPerFrame)) {
    const KT::CRtsTransform rts = ControllerTransform(tm, node->GetBasis(), t, context.ip);
    control->AddRtsKey(KeyTimeFromTicks(t, origin, ticksPerFrame), kSampledKeyFramesPerSecond, rts, KT::TT_LINEAR,
                       kSampledKeyStrength);
  }
  return control;
}

}  // namespace

void CMaxDrn::BuildHierarchyKeyframes(int ticksPerFrame) {
  StepProgress(10, "Building Keyframes");
  ForEachKeyedNode(*this, [&](KT::CNode* node, INode*, Control* tm) {
    RemoveKeyframeControl(node);
    for (const ClipRecord& clip : clips) {
      KT::CPointer<KT::CKeyframeControl> control = SampleClip(*this, clip, node, tm, ticksPerFrame);
      if (control) node->AddControl(control.Get());
    }
  });
}

void CMaxDrn::BuildPropKeyframes(int ticksPerFrame) {
  StepProgress(10, "Building Keyframes");
  ForEachKeyedNode(*this, [&](KT::CNode* node, INode*, Control* tm) {
    RemoveKeyframeControl(node);
    KT::CPointer<KT::CRTSClipControl> clipControl(new (std::nothrow) KT::CRTSClipControl());
    if (!clipControl) return;
    node->AddControl(clipControl.Get());
    for (const ClipRecord& clip : clips) {
      KT::CPointer<KT::CKeyframeControl> control = SampleClip(*this, clip, node, tm, ticksPerFrame);
      if (control) clipControl->AddChild(control.Get());
    }
    // One clip of no child that plays without end.
    KT::CClipKey key(KT::kZeroTime, -1);
    key.LoopCount = 0;
    key.TransitionStrength = kSampledKeyStrength;
    clipControl->AddClipKey(key, kSampledKeyFramesPerSecond);
  });
}

void CMaxDrn::BuildKeyframes(int ticksPerFrame) {
  StepProgress(10, "Build Keyframes");
  ForEachKeyedNode(*this, [&](KT::CNode* node, INode* inode, Control*) {
    KT::CPointer<KT::CKeyframeControl> control;
    if (KT::CDorun* first = node->GetFirstControl())
      control = static_cast<KT::CKeyframeControl*>(
          first->Find(nullptr, &KT::CKeyframeControl::StaticClassRecord(), true, false));
    if (!control) {
      control = new (std::nothrow) KT::CKeyframeControl();
      if (!control) return;
      node->AddControl(control.Get());
    }
    control->ClearRtsKeys();
    control->SetFrequency(1.0f);
    const Interval range = ip != nullptr ? ip->GetAnimRange() : Interval(0, 0);
    for (TimeValue t : SampleTicks(range.Start(), range.End(), sampleRate, ticksPerFrame)) {
      control->AddRtsKey(KeyTimeFromTicks(t, range.Start(), ticksPerFrame), kSampledKeyFramesPerSecond,
                         DecomposeHostMatrix(inode->GetNodeTM(t)), KT::TT_LINEAR, kSampledKeyStrength);
    }
  });
}
