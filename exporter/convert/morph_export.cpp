// The morph pass of the mesh export: each non-empty channel of a Morpher
// becomes one KT::CMorphControl on the exported mesh.

#include "controllers/core/morph_control.h"
#include "exporter/convert/key_sampling.h"
#include "exporter/plugin/max_drn.h"
#include "exporter/plugin/plugin_paths.h"
#include "platform/host/morpher.h"
#include "scene/tri_mesh.h"

namespace {

// The host's deltas are in scene units; the targets are stored 100 times
// larger.
constexpr float kMorphTargetScale = 100.0f;
// The weight ramp every exported channel gets: 0 at 0 ms, 1 at 1000 ms.
constexpr KT::i32 kRampEndTime = 1000;

}  // namespace

void CMaxDrn::ExportMorph(KT::CTriMesh* mesh, INode*, TimeValue, Modifier* mod) {
  auto* morpher = dynamic_cast<MorpherModifier*>(mod);
  if (mesh == nullptr || morpher == nullptr) return;
  const int channels = morpher->NumChannels();
  for (int c = 0; c < channels; ++c) {
    const int deltas = morpher->NumChannelDeltas(c);
    if (deltas <= 0) continue;
    KT::CPointer<KT::CMorphControl> control(new (std::nothrow) KT::CMorphControl());
    if (!control) return;
    // Attached first: the weight keys need the bound geometry.
    control->SetFrequency(1.0f);
    mesh->AddControl(control.Get());
    const TCHAR* name = morpher->GetChannelName(c);
    control->SetName(ToWide(name != nullptr ? name : ""));
    if (KT::Succeeded(control->SetTargetCount(static_cast<KT::u32>(deltas)))) {
      for (int k = 0; k < deltas; ++k) {
        const Point3 d = morpher->GetChannelDelta(c, k);
        control->SetTarget(static_cast<KT::u32>(k),
                           {d.x * kMorphTargetScale, d.y * kMorphTargetScale, d.z * kMorphTargetScale});
      }
    }
    control->SetWeightKey(KT::kZeroTime, kSampledKeyFramesPerSecond, 0.0f);
    control->SetWeightKey(kRampEndTime, kSampledKeyFramesPerSecond, 1.0f);
  }
}
