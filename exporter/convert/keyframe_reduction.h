// Keyframe reduction: inner keys that lie on a straight course between
// their neighbours are dropped, within the thresholds of the export
// options. A key is seen as a point whose last coordinate is its time
// coordinate (key ms / ticks per frame). The first and last key of a list
// always stay, so no list falls below two keys.
//
// Each list is thinned in one left-to-right pass: the triple tested is
// always (last key kept, candidate, next key), which is exactly what a
// greedy left-to-right removal of one key at a time tests, and the keys
// dropped leave the list in one compaction (the controllers' bulk
// removal). The one-at-a-time form is kept (ThinMode::kOneAtATime) as the
// reference the one-pass result is checked and measured against.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

#include "controllers/core/keyframe_control.h"
#include "objectmodel/quaternion.h"

namespace KT {
class CCameraControl;
class CLightControl;
class CMaterialAttributeControl;
class CPointLightControl;
class CSpotLightControl;
class CUvwMapControl;
}  // namespace KT

struct ReductionThresholds {
  float rotation = 0.0f;     // R
  float translation = 0.0f;  // T
  float scale = 0.0f;        // S
  float property = 0.0f;     // P: every other animated property
  float ticksPerFrame = 160.0f;
};

enum class ThinMode { kOnePass, kOneAtATime };

// Three keys as points a, b, c of one size: the steps b - a and c - b are
// normalised (a zero step is left as it is); straight unless some
// component of the two differs by more than threshold / 100.
bool IsStraight(std::span<const float> a, std::span<const float> b, std::span<const float> c, float threshold);

// Three rotations at time coordinates ta, tb, tc: the relative rotations
// inverse(Ma) x Mb and inverse(Mb) x Mc as axis (the quaternion's vector
// part, normalised only when both are at least 1e-5 long) and angle. The
// axis points (axis, dt) normalised as 4-vectors may differ by at most
// `threshold` per component, the angle points (angle, dt) normalised as
// 2-vectors by at most threshold / 100.
bool IsRotationStraight(const KT::CQuaternion& qa, const KT::CQuaternion& qb, const KT::CQuaternion& qc, float ta,
                        float tb, float tc, float threshold);

// Every test of an RTS key triple: rotation (R), translation (T) and
// scale (S), each against its time coordinate.
bool RtsKeysStraight(const KT::CKeyframeControl::CRtsKey& a, const KT::CKeyframeControl::CRtsKey& b,
                     const KT::CKeyframeControl::CRtsKey& c, const ReductionThresholds& thresholds);

// The one pass over a list of `count` keys: which keys stay when every
// inner key that `straight(last kept, candidate, next)` (key indices)
// finds straight goes.
template <typename Straight>
std::vector<bool> KeysToKeep(std::size_t count, Straight&& straight) {
  std::vector<bool> keep(count, true);
  if (count < 3) return keep;
  std::size_t last = 0;
  for (std::size_t k = 1; k + 1 < count; ++k) {
    if (straight(last, k, k + 1))
      keep[k] = false;
    else
      last = k;
  }
  return keep;
}

// The reference: removes one key at a time through `remove(index)`; after
// a removal the same index is tested against its new neighbour. `count()`
// answers the key count as it stands, `straight` takes key indices.
template <typename Count, typename Straight, typename Remove>
void ThinOneAtATime(Count&& count, Straight&& straight, Remove&& remove) {
  std::size_t k = 1;
  while (count() >= 3 && k < count() - 1) {
    if (straight(k - 1, k, k + 1))
      remove(k);
    else
      ++k;
  }
}

// Thinning of each controller kind with its tests and threshold.
void ThinKeyframeControl(KT::CKeyframeControl& control, const ReductionThresholds& thresholds,
                         ThinMode mode = ThinMode::kOnePass);
void ThinMaterialLightKeys(KT::CMaterialAttributeControl& control, const ReductionThresholds& thresholds,
                           ThinMode mode = ThinMode::kOnePass);
void ThinMaterialSelfKeys(KT::CMaterialAttributeControl& control, const ReductionThresholds& thresholds,
                          ThinMode mode = ThinMode::kOnePass);
void ThinMaterialTextureKeys(KT::CMaterialAttributeControl& control, const ReductionThresholds& thresholds,
                             ThinMode mode = ThinMode::kOnePass);
void ThinUvwMapControl(KT::CUvwMapControl& control, const ReductionThresholds& thresholds,
                       ThinMode mode = ThinMode::kOnePass);
void ThinLightControl(KT::CLightControl& control, const ReductionThresholds& thresholds,
                      ThinMode mode = ThinMode::kOnePass);
void ThinPointLightControl(KT::CPointLightControl& control, const ReductionThresholds& thresholds,
                           ThinMode mode = ThinMode::kOnePass);
void ThinSpotLightControl(KT::CSpotLightControl& control, const ReductionThresholds& thresholds,
                          ThinMode mode = ThinMode::kOnePass);
void ThinCameraControl(KT::CCameraControl& control, const ReductionThresholds& thresholds,
                       ThinMode mode = ThinMode::kOnePass);
