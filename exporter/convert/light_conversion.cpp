// The light conversion of the conversion context: host lights become the
// library's point, spot and directional lights under their converted nodes,
// with their colour, range and cone sampled into light controllers.

#include <cmath>
#include <cstdio>
#include <new>

#include "exporter/convert/key_sampling.h"
#include "exporter/convert/node_conversion.h"
#include "exporter/plugin/conversion_helpers.h"
#include "exporter/plugin/max_drn.h"
#include "platform/host/gen_light.h"
#include "platform/host/inode.h"
#include "platform/host/interface.h"
#include "render/lights/directional_light.h"
#include "render/lights/light_control.h"
#include "render/lights/point_light.h"
#include "render/lights/point_light_control.h"
#include "render/lights/spot_light.h"
#include "render/lights/spot_light_control.h"

namespace {

// Host light types.
constexpr int kOmni = 0;
constexpr int kTargetSpot = 1;
constexpr int kDirectional = 2;
constexpr int kFreeSpot = 3;
constexpr int kTargetDirectional = 4;

// The custom ids of nodes that carry a light.
constexpr KT::u32 kPointLightNodeId = 0x8000100;
constexpr KT::u32 kSpotLightNodeId = 0x8000200;
constexpr KT::u32 kDirectionalLightNodeId = 0x8000300;

// The far attenuation end of GenLight::GetAtten.
constexpr int kFarAttenuationEnd = 3;

const double kPi = std::atan(1.0) * 4.0;

// A host cone angle (full angle, degrees) in radians.
float Radians(float degrees) { return static_cast<float>(degrees * kPi / 180.0); }

struct HostLightSample {
  KT::CLightControl::Vec3 color;
  float range = 0.0f;
  float theta = 0.0f;  // hotspot
  float phi = 0.0f;    // falloff
};

HostLightSample SampleLight(GenLight* light, TimeValue t) {
  HostLightSample s;
  Interval valid(t, t);
  const Point3 c = light->GetRGBColor(t, valid);
  s.color = {c.x, c.y, c.z};
  s.range = light->GetAtten(t, kFarAttenuationEnd, valid);
  s.theta = Radians(light->GetHotspot(t, valid));
  s.phi = Radians(light->GetFallsize(t, valid));
  return s;
}

}  // namespace

void CMaxDrn::CreateLights() {
  StepProgress(20, "Create Lights");
  if (nodes.empty() || !root) return;
  for (INode* inode : nodes) BuildLight(FindConvertedNode(root.Get(), inode), inode, 0);
}

void CMaxDrn::BuildLight(KT::CNode* node, INode* inode, TimeValue t) {
  if (node == nullptr || inode == nullptr) return;
  const ObjectState state = inode->EvalWorldState(t, TRUE);
  if (state.obj == nullptr || state.obj->SuperClassID() != SUPER_LIGHT) return;
  auto* hostLight = static_cast<GenLight*>(state.obj);

  char message[260];
  std::snprintf(message, sizeof message, "Build Light: %s", inode->GetName() != nullptr ? inode->GetName() : "");
  StepProgress(2, message);

  const int type = hostLight->Type();
  if (type < kOmni || type > kTargetDirectional) return;

  const HostLightSample now = SampleLight(hostLight, t);
  KT::CPointer<KT::CLight> light;
  switch (type) {
    case kOmni: {
      node->SetCustomId(kPointLightNodeId);
      auto* point = new (std::nothrow) KT::CPointLight();
      if (point == nullptr) return;
      light = point;
      point->SetLocation({0.0f, 0.0f, 0.0f});
      point->SetRange(now.range);
      break;
    }
    case kTargetSpot:
    case kFreeSpot: {
      node->SetCustomId(kSpotLightNodeId);
      auto* spot = new (std::nothrow) KT::CSpotLight();
      if (spot == nullptr) return;
      light = spot;
      spot->SetLocation({0.0f, 0.0f, 0.0f});
      spot->SetRange(now.range);
      spot->SetDirection({0.0f, 0.0f, -1.0f});
      spot->SetFalloff(1.0f);
      spot->SetTheta(now.theta);
      spot->SetPhi(now.phi);
      break;
    }
    default: {
      node->SetCustomId(kDirectionalLightNodeId);
      auto* directional = new (std::nothrow) KT::CDirectionalLight();
      if (directional == nullptr) return;
      light = directional;
      directional->SetDirection({0.0f, 0.0f, -1.0f});
      break;
    }
  }

  // The light keeps the offset of the host object from its node; the node
  // itself carries the node's transform.
  SetBasis(light.Get(), DecomposeHostMatrix(inode->GetObjectTM(t) * Inverse(inode->GetNodeTM(t))));
  const float rgb[3] = {now.color.x, now.color.y, now.color.z};
  SetLightColor(light.Get(), rgb);

  const Interval range = ip != nullptr ? ip->GetAnimRange() : Interval(0, 0);
  const std::vector<KeySample> grid = SampleGrid(range.Start(), range.End(), sampleRate, GetTicksPerFrame());

  KT::CPointer<KT::CLightControl> colorControl(new (std::nothrow) KT::CLightControl());
  if (colorControl) {
    colorControl->SetFrequency(1.0f);
    light->AddControl(colorControl.Get());
    for (const KeySample& sample : grid) {
      Interval valid(sample.tick, sample.tick);
      const Point3 c = hostLight->GetRGBColor(sample.tick, valid);
      colorControl->SetColorKey(sample.time, kSampledKeyFramesPerSecond, {c.x, c.y, c.z});
    }
  }

  if (type == kOmni) {
    KT::CPointer<KT::CPointLightControl> rangeControl(new (std::nothrow) KT::CPointLightControl());
    if (rangeControl) {
      rangeControl->SetFrequency(1.0f);
      light->AddControl(rangeControl.Get());
      for (const KeySample& sample : grid) {
        Interval valid(sample.tick, sample.tick);
        rangeControl->SetRangeKey(sample.time, kSampledKeyFramesPerSecond,
                                  hostLight->GetAtten(sample.tick, kFarAttenuationEnd, valid));
      }
    }
  } else if (type == kTargetSpot || type == kFreeSpot) {
    KT::CPointer<KT::CSpotLightControl> spotControl(new (std::nothrow) KT::CSpotLightControl());
    if (spotControl) {
      spotControl->SetFrequency(1.0f);
      light->AddControl(spotControl.Get());
      for (const KeySample& sample : grid) {
        const HostLightSample s = SampleLight(hostLight, sample.tick);
        spotControl->SetKey(sample.time, kSampledKeyFramesPerSecond, {1.0f, s.phi, s.theta}, s.range);
      }
    }
  }

  EnsureKeyframeControl(light.Get());
  node->AddChild(light.Get());
}
