// The camera conversion of the conversion context: host cameras become
// library cameras under their converted nodes, with the field of view
// sampled into a camera controller.

#include <cstdio>
#include <new>

#include "exporter/convert/key_sampling.h"
#include "exporter/convert/node_conversion.h"
#include "exporter/plugin/max_drn.h"
#include "platform/host/gen_camera.h"
#include "platform/host/inode.h"
#include "platform/host/interface.h"
#include "render/lights/camera.h"
#include "render/lights/camera_control.h"

namespace {

// The whole time line, over which a camera state is asked for.
constexpr TimeValue kTimeNegativeInfinity = static_cast<TimeValue>(0x80000000u);
constexpr TimeValue kTimePositiveInfinity = 0x7FFFFFFF;

CameraState EvalState(GenCamera* camera, TimeValue t) {
  CameraState state;
  state.size = sizeof(CameraState);
  Interval valid(kTimeNegativeInfinity, kTimePositiveInfinity);
  camera->EvalCameraState(t, valid, &state);
  return state;
}

}  // namespace

void CMaxDrn::CreateCamera() {
  StepProgress(15, "Create Camera");
  if (nodes.empty() || !root) return;
  for (INode* inode : nodes) BuildCamera(FindConvertedNode(root.Get(), inode), inode, 0);
}

void CMaxDrn::BuildCamera(KT::CNode* node, INode* inode, TimeValue t) {
  if (node == nullptr || inode == nullptr) return;
  const ObjectState objectState = inode->EvalWorldState(t, TRUE);
  if (objectState.obj == nullptr || objectState.obj->SuperClassID() != SUPER_CAMERA) return;
  auto* hostCamera = static_cast<GenCamera*>(objectState.obj);

  char message[260];
  std::snprintf(message, sizeof message, "Build Camera: %s", inode->GetName() != nullptr ? inode->GetName() : "");
  StepProgress(2, message);

  const CameraState state = EvalState(hostCamera, t);
  KT::CPointer<KT::CCamera> camera(new (std::nothrow) KT::CCamera());
  if (!camera) return;
  camera->SetFrustum(state.nearRange > 0.0f ? state.nearRange : 1.0f, state.farRange, state.fov);
  camera->SetPerspective(state.isOrtho == 0);
  // The camera keeps the offset of the host object from its node.
  SetBasis(camera.Get(), DecomposeHostMatrix(inode->GetObjectTM(t) * Inverse(inode->GetNodeTM(t))));

  KT::CPointer<KT::CCameraControl> control(new (std::nothrow) KT::CCameraControl());
  if (control) {
    control->SetFrequency(1.0f);
    camera->AddControl(control.Get());
    const Interval range = ip != nullptr ? ip->GetAnimRange() : Interval(0, 0);
    for (const KeySample& sample : SampleGrid(range.Start(), range.End(), sampleRate, GetTicksPerFrame())) {
      KT::CCameraControl::CFovKey key;
      key.Time = sample.time;
      key.FrustumFov = EvalState(hostCamera, sample.tick).fov;
      control->SetFovKey(key, kSampledKeyFramesPerSecond);
    }
  }

  EnsureKeyframeControl(camera.Get());
  node->AddChild(camera.Get());
}
