// The sampled animation of a converted standard material.
#include <new>

#include "exporter/convert/key_sampling.h"
#include "exporter/convert/material_conversion.h"
#include "exporter/plugin/max_drn.h"
#include "exporter/plugin/plugin_paths.h"
#include "platform/host/interface.h"
#include "platform/host/mtl.h"
#include "render/materials/material_attribute_control.h"
#include "render/materials/standard_material.h"

namespace {

// The channels whose weight follows the slot of the same number; the
// others (ambient, shininess, displacement, diffuse blend and cube) are
// always weighted 1.
constexpr int kAnimatedChannels[] = {1, 2, 4, 6, 8, 9, 10};

}  // namespace

void CMaxDrn::BuildMaterialAttributeControl(StdMat* mtl, KT::CStandardMaterial* material) {
  if (mtl == nullptr || material == nullptr) return;
  const Interval range = ip != nullptr ? ip->GetAnimRange() : Interval();
  const int ticksPerFrame = GetTicksPerFrame();

  KT::CPointer<KT::CMaterialAttributeControl> control(new (std::nothrow) KT::CMaterialAttributeControl());
  if (!control) return;
  material->AddControl(control.Get());
  control->SetName(ToWide(mtl->GetName() != nullptr ? mtl->GetName() : ""));
  control->SetFrequency(1.0f);

  for (const TimeValue t : SampleTicks(range.Start(), range.End(), sampleRate, ticksPerFrame)) {
    const KT::i32 time = KeyTimeFromTicks(t, range.Start(), ticksPerFrame);
    control->SetLightKey(time, kSampledKeyFramesPerSecond, ToVector(mtl->GetAmbient(t)), ToVector(mtl->GetDiffuse(t)),
                         ToVector(mtl->GetSpecular(t)), mtl->GetShininess(t), mtl->GetShinStr(t),
                         mtl->GetSelfIllum(t), KT::TT_LINEAR, kSampledKeyStrength);
    control->SetSelfKey(time, kSampledKeyFramesPerSecond, mtl->GetOpacity(t), mtl->GetOpacFalloff(t), 0.0f,
                        KT::TT_LINEAR, kSampledKeyStrength);
    KT::CMaterialDataControl::Weights weights;
    weights.fill(1.0f);
    for (const int channel : kAnimatedChannels) weights[static_cast<std::size_t>(channel)] = mtl->GetTexmapAmt(channel, t);
    control->SetTextureKey(time, kSampledKeyFramesPerSecond, weights, KT::TT_LINEAR, kSampledKeyStrength);
  }
}
