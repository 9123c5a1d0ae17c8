#include "treeruntime/lighting_engine.h"

#include <algorithm>
#include <cmath>

namespace trt {
namespace {

struct LightTable {
  stLight lights[CLightingEngine::kNumLights];
  bool enabled[CLightingEngine::kNumLights] = {};
};

LightTable g_cLights;

float Clamp01(float value) { return value > 0.0f ? (value < 1.0f ? value : 1.0f) : 0.0f; }

std::uint32_t ChannelByte(float value) { return static_cast<std::uint32_t>(Clamp01(value) * 255.0f); }

stVec3 Vec(const float* v) { return stVec3(v[0], v[1], v[2]); }

// 1 for a directional light; else 1 / (constant + linear d + quadratic d^2)
// with d the fast distance from `point`, and 1 when that sum is 0 (an
// attenuation of nothing would be infinite).
float Attenuation(const stLight& light, const stVec3& point) {
  if (light.m_fKind == 0.0f) return 1.0f;
  const float d = FastLength(Vec(light.m_afPosition) - point);
  const float sum = light.m_afAttenuation[0] + light.m_afAttenuation[1] * d + light.m_afAttenuation[2] * d * d;
  return sum == 0.0f ? 1.0f : 1.0f / sum;
}

// The unit direction toward the light from `point`.
stVec3 Direction(const stLight& light, const stVec3& point) {
  stVec3 direction = light.m_fKind == 0.0f ? Vec(light.m_afPosition) : Vec(light.m_afPosition) - point;
  direction.Normalize();
  return direction;
}

// sum += added + a x (light ambient x ambient + light diffuse x f x diffuse)
void AddLight(float sum[3], const stLight& light, const float* material, float a, float f) {
  for (int c = 0; c < 3; ++c) {
    sum[c] += material[9 + c] + a * (light.m_afAmbient[c] * material[3 + c] + light.m_afDiffuse[c] * f * material[c]);
  }
}

}  // namespace

std::uint32_t PackColor(float r, float g, float b, float a) {
  return ChannelByte(r) | (ChannelByte(g) << 8) | (ChannelByte(b) << 16) | (ChannelByte(a) << 24);
}

bool CLightingEngine::SetLight(std::int32_t index, const stLight& light, bool enabled) {
  if (index < 0 || index >= kNumLights) return false;
  g_cLights.lights[index] = light;
  g_cLights.enabled[index] = enabled;
  return true;
}

const stLight* CLightingEngine::GetLight(std::int32_t index) {
  return index >= 0 && index < kNumLights ? &g_cLights.lights[index] : nullptr;
}

bool CLightingEngine::IsLightEnabled(std::int32_t index) {
  return index >= 0 && index < kNumLights && g_cLights.enabled[index];
}

const float* CLightingEngine::GetMaterial(std::int32_t material) const {
  switch (material) {
    case kLeaf: return m_afLeafMaterial;
    case kFrond: return m_afFrondMaterial;
    default: return m_afBranchMaterial;
  }
}

stColor4 CLightingEngine::LightVertex(const stVec3& position, const stVec3& normal, std::int32_t material) const {
  const float* m = GetMaterial(material);
  float sum[3] = {0.0f, 0.0f, 0.0f};
  for (int i = 0; i < kNumLights; ++i) {
    if (!g_cLights.enabled[i]) continue;
    const stLight& light = g_cLights.lights[i];
    const float a = Attenuation(light, position);
    const float f = std::max(0.0f, Dot(normal, Direction(light, position)));
    AddLight(sum, light, m, a, f);
  }
  return stColor4{Clamp01(sum[0]), Clamp01(sum[1]), Clamp01(sum[2]), 1.0f};
}

void CLightingEngine::LightLeaves(const stVec3& centre, TreeVector<SBillboardLeaf>* lods, std::int32_t count) const {
  if (m_nLeafLightingMethod != 1 || m_nLeafLightingFlags == 0 || count < 1 || lods == nullptr) return;
  const std::uint32_t lists = std::min(static_cast<std::uint32_t>(count), TrackedArrayCount(lods));
  const float floor = m_fLeafLightFloor;
  for (std::uint32_t lod = 0; lod < lists; ++lod) {
    for (SBillboardLeaf& leaf : lods[lod]) {
      bool haveLight = false;
      stVec3 remembered;
      for (int corner = 0; corner < 4; ++corner) {
        const stVec3& normal = leaf.m_avCorners1[corner];
        float sum[3] = {0.0f, 0.0f, 0.0f};
        float best = -1.0f;
        for (int i = 0; i < kNumLights; ++i) {
          if (!g_cLights.enabled[i]) continue;
          const stLight& light = g_cLights.lights[i];
          float f = Dot(normal, Direction(light, leaf.m_vPosition));
          if (f >= best) {
            best = f;
            remembered = Vec(light.m_afPosition);
            haveLight = true;
          }
          f = std::max(f, 0.0f) * (1.0f - floor) + floor;
          if ((m_nLeafLightingFlags & kStoreCornerColors) != 0) {
            AddLight(sum, light, m_afLeafMaterial, Attenuation(light, leaf.m_vPosition), f);
          }
        }
        if ((m_nLeafLightingFlags & kStoreCornerColors) != 0) {
          const float dim = leaf.m_ucDimming / 255.0f;
          leaf.m_auCornerColors[corner] = PackColor(Clamp01(sum[0]) * dim, Clamp01(sum[1]) * dim, Clamp01(sum[2]) * dim);
        }
      }
      // Without an enabled light there is no direction to shade toward.
      if ((m_nLeafLightingFlags & kDirectionalShading) != 0 && haveLight) ShadeLeaf(leaf, centre, remembered, floor);
    }
  }
}

void CLightingEngine::ShadeLeaf(SBillboardLeaf& leaf, const stVec3& centre, const stVec3& light, float floor) {
  stVec3 a = leaf.m_vPosition - centre;
  stVec3 b = light - centre;
  a.Normalize();
  b.Normalize();
  const float d = std::cos(AngleBetween(a, b));
  const float factor = (1.0f - floor) * ((d + 1.0f) * 0.5f) + floor;
  const float dim = leaf.m_ucDimming / 255.0f;
  for (std::uint32_t& color : leaf.m_auCornerColors) {
    float channel[3];
    for (int c = 0; c < 3; ++c) channel[c] = static_cast<float>((color >> (8 * c)) & 0xffu) / 255.0f * factor * dim;
    color = PackColor(channel[0], channel[1], channel[2]);
  }
}

}  // namespace trt
