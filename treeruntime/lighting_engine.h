// CLightingEngine: how a tree is lit, and the static lighting of its
// vertices and leaf cards.
//
// Per tree it holds a lighting method (1 = static: colours computed here
// once at compute time; anything else leaves lighting to the renderer) and a
// material for each of branches, leaves and fronds, plus the leaf light
// floor and flags. Static lighting reads a class-wide table of eight lights
// that a host fills with SetLight.
//
// A material is 13 floats: diffuse r, g, b; ambient r, g, b; three values no
// computation here reads; an added colour r, g, b (summed once per enabled
// light); one value no computation here reads.
//
// The light table is process-wide and unguarded, like all runtime state.
#pragma once

#include <cstdint>

#include "treeruntime/billboard_leaf.h"
#include "treeruntime/tree_math.h"
#include "treeruntime/tree_memory.h"

namespace trt {

// One light: 16 floats.
struct stLight {
  float m_afPosition[3] = {0.0f, 0.0f, 0.0f};  // a direction when directional
  float m_afDiffuse[3] = {1.0f, 1.0f, 1.0f};
  float m_afAmbient[3] = {0.0f, 0.0f, 0.0f};
  float m_afSpecular[3] = {1.0f, 1.0f, 1.0f};  // no computation here reads it
  float m_fKind = 1.0f;                        // 0: directional, else positional
  float m_afAttenuation[3] = {1.0f, 0.0f, 0.0f};  // constant, linear, quadratic
};

// A lit colour, each channel in [0, 1].
struct stColor4 {
  float r = 0.0f;
  float g = 0.0f;
  float b = 0.0f;
  float a = 0.0f;
};

class CLightingEngine {
 public:
  static constexpr int kNumLights = 8;
  static constexpr int kMaterialSize = 13;
  enum EMaterial : std::int32_t { kBranch = 0, kLeaf = 1, kFrond = 2 };
  // Leaf lighting flags.
  static constexpr std::int32_t kStoreCornerColors = 1;
  static constexpr std::int32_t kDirectionalShading = 2;

  // Light `index` (0 to 7) of the class-wide table becomes `light`,
  // enabled or not. Any other index is refused: false, nothing changed.
  static bool SetLight(std::int32_t index, const stLight& light, bool enabled);
  // The light at `index`, or null outside 0 to 7.
  static const stLight* GetLight(std::int32_t index);
  static bool IsLightEnabled(std::int32_t index);

  // The static colour of a vertex at `position` with unit `normal`, lit
  // with material `material` (EMaterial; any other value lights with the
  // branch material): the sum over the enabled lights, in table order, of
  // added colour + a x (light ambient x ambient + light diffuse x f x
  // diffuse), f = max(0, normal . L) with L the light's direction
  // (directional) or its position - `position`, normalised; a = 1 for a
  // directional light, else 1 / (constant + linear d + quadratic d^2) with d
  // the fast distance to the light (1 when that sum is 0). Channels are
  // clamped to [0, 1]; alpha is 1.
  stColor4 LightVertex(const stVec3& position, const stVec3& normal, std::int32_t material) const;

  // Lights every leaf of the first `count` leaf LOD lists of `lods` (a
  // counted array; never more lists than it holds), corner by corner, with
  // the leaf material; nothing unless the leaf method is 1, the leaf flags
  // are not 0 and count >= 1. Per corner, for each enabled light, f = the
  // corner normal (first corner vector) . the light direction from the leaf
  // position, raised onto [floor, 1] as f' = max(f, 0) (1 - floor) + floor;
  // with kStoreCornerColors the corner colour becomes the clamped sum x
  // dimming / 255, packed with alpha 255. The light facing the last corner
  // best (a later light wins a tie) then gives the directional shading when
  // kDirectionalShading is set (none without an enabled light).
  void LightLeaves(const stVec3& centre, TreeVector<SBillboardLeaf>* lods, std::int32_t count) const;

  // Scales the four corner colours of `leaf` by factor = (1 - floor) x (d +
  // 1) / 2 + floor, d the cosine of the angle between (leaf position -
  // centre) and (light - centre), and by dimming / 255; each channel clamped
  // and packed with alpha 255. A leaf on the light's side of the centre gets
  // 1, one on the far side the floor.
  static void ShadeLeaf(SBillboardLeaf& leaf, const stVec3& centre, const stVec3& light, float floor);

  // The material of `material` (EMaterial; the branch material for any
  // other value).
  const float* GetMaterial(std::int32_t material) const;

  std::int32_t m_nBranchLightingMethod = 0;
  float m_afBranchMaterial[kMaterialSize] = {0.8f, 0.8f, 0.8f, 0.2f, 0.2f, 0.2f, 0, 0, 0, 0, 0, 0, 0};
  std::int32_t m_nLeafLightingMethod = 0;
  float m_afLeafMaterial[kMaterialSize] = {1.0f, 1.0f, 1.0f, 0.5f, 0.5f, 0.5f, 0, 0, 0, 0, 0, 0, 0};
  float m_fLeafLightFloor = 0.5f;
  std::int32_t m_nLeafLightingFlags = 0;
  std::int32_t m_nFrondLightingMethod = 0;
  float m_afFrondMaterial[kMaterialSize] = {1.0f, 1.0f, 1.0f, 0.5f, 0.5f, 0.5f, 0, 0, 0, 0, 0, 0, 0};
};

// Colour packing of the tree runtime: red in the lowest byte, then green,
// blue and alpha; each channel is trunc(value x 255) of the value clamped to
// [0, 1] (NaN as 0).
std::uint32_t PackColor(float r, float g, float b, float a = 1.0f);

}  // namespace trt
