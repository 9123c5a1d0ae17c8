#include "treeruntime/lighting_engine.h"

#include <gtest/gtest.h>

namespace trt {
namespace {

// The light table is class-wide: every test starts and ends with all eight
// lights back at their initial values and disabled.
class LightingEngineTest : public ::testing::Test {
 protected:
  void SetUp() override { ClearLights(); }
  void TearDown() override { ClearLights(); }
  static void ClearLights() {
    for (int i = 0; i < CLightingEngine::kNumLights; ++i) CLightingEngine::SetLight(i, stLight{}, false);
  }
  static stLight Directional(stVec3 direction) {
    stLight light;
    light.m_fKind = 0.0f;
    light.m_afPosition[0] = direction.x;
    light.m_afPosition[1] = direction.y;
    light.m_afPosition[2] = direction.z;
    return light;
  }
  static stLight Positional(stVec3 position) {
    stLight light;
    light.m_afPosition[0] = position.x;
    light.m_afPosition[1] = position.y;
    light.m_afPosition[2] = position.z;
    return light;
  }
  static SBillboardLeaf Leaf(stVec3 position, stVec3 normal, std::uint8_t dimming) {
    SBillboardLeaf leaf;
    leaf.m_vPosition = position;
    leaf.m_ucDimming = dimming;
    for (stVec3& corner : leaf.m_avCorners1) corner = normal;
    return leaf;
  }
};

std::uint32_t Gray(std::uint32_t level) { return level | (level << 8) | (level << 16) | 0xff000000u; }

TEST_F(LightingEngineTest, ConstructedValues) {
  const CLightingEngine e;
  EXPECT_EQ(e.m_nBranchLightingMethod, 0);
  EXPECT_EQ(e.m_nLeafLightingMethod, 0);
  EXPECT_EQ(e.m_nFrondLightingMethod, 0);
  EXPECT_EQ(e.m_fLeafLightFloor, 0.5f);
  EXPECT_EQ(e.m_nLeafLightingFlags, 0);
  const float branch[13] = {0.8f, 0.8f, 0.8f, 0.2f, 0.2f, 0.2f, 0, 0, 0, 0, 0, 0, 0};
  const float other[13] = {1, 1, 1, 0.5f, 0.5f, 0.5f, 0, 0, 0, 0, 0, 0, 0};
  for (int i = 0; i < 13; ++i) {
    EXPECT_EQ(e.m_afBranchMaterial[i], branch[i]) << i;
    EXPECT_EQ(e.m_afLeafMaterial[i], other[i]) << i;
    EXPECT_EQ(e.m_afFrondMaterial[i], other[i]) << i;
  }
  const stLight light;
  EXPECT_EQ(light.m_afDiffuse[0], 1.0f);
  EXPECT_EQ(light.m_afAmbient[0], 0.0f);
  EXPECT_EQ(light.m_fKind, 1.0f);
  EXPECT_EQ(light.m_afAttenuation[0], 1.0f);
  EXPECT_EQ(sizeof(stLight), 16 * sizeof(float));
}

TEST_F(LightingEngineTest, SetLightTakesIndicesZeroToSeven) {
  stLight light;
  light.m_afDiffuse[1] = 0.25f;
  EXPECT_TRUE(CLightingEngine::SetLight(7, light, true));
  EXPECT_TRUE(CLightingEngine::IsLightEnabled(7));
  EXPECT_EQ(CLightingEngine::GetLight(7)->m_afDiffuse[1], 0.25f);
  EXPECT_FALSE(CLightingEngine::SetLight(8, light, true));
  EXPECT_FALSE(CLightingEngine::SetLight(-1, light, true));
  EXPECT_EQ(CLightingEngine::GetLight(8), nullptr);
  EXPECT_FALSE(CLightingEngine::IsLightEnabled(8));
}

TEST_F(LightingEngineTest, WithoutLightsEveryVertexIsBlack) {
  const CLightingEngine e;
  for (int material : {0, 1, 2}) {
    const stColor4 c = e.LightVertex({1, 2, 3}, {0, 0, 1}, material);
    EXPECT_EQ(c.r, 0.0f);
    EXPECT_EQ(c.g, 0.0f);
    EXPECT_EQ(c.b, 0.0f);
    EXPECT_EQ(c.a, 1.0f);
  }
}

TEST_F(LightingEngineTest, VertexLighting) {
  CLightingEngine e;
  // A directional light is never attenuated, however far the vertex.
  stLight sun = Directional({0, 0, 2});
  sun.m_afAttenuation[2] = 100.0f;
  CLightingEngine::SetLight(3, sun, true);
  for (float far : {0.0f, 1000.0f}) {
    const stColor4 c = e.LightVertex({far, 0, 0}, {0, 0, 1}, CLightingEngine::kBranch);
    EXPECT_FLOAT_EQ(c.r, 0.8f) << far;
  }
  // Facing away: only the ambient term (0 here).
  EXPECT_EQ(e.LightVertex({0, 0, 0}, {0, 0, -1}, CLightingEngine::kBranch).g, 0.0f);

  // A positional light at fast distance 4 with constant 1 and linear 0.25
  // lights at half strength.
  CLightingEngine::SetLight(3, stLight{}, false);
  stLight lamp = Positional({0, 0, 4});
  lamp.m_afAttenuation[1] = 0.25f;
  CLightingEngine::SetLight(0, lamp, true);
  EXPECT_FLOAT_EQ(e.LightVertex({0, 0, 0}, {0, 0, 1}, CLightingEngine::kLeaf).b, 0.5f);
  // No attenuation at all counts as 1.
  lamp.m_afAttenuation[0] = 0.0f;
  lamp.m_afAttenuation[1] = 0.0f;
  CLightingEngine::SetLight(0, lamp, true);
  EXPECT_FLOAT_EQ(e.LightVertex({0, 0, 0}, {0, 0, 1}, CLightingEngine::kLeaf).b, 1.0f);
}

TEST_F(LightingEngineTest, ChannelsClamp) {
  CLightingEngine e;
  e.m_afFrondMaterial[9] = 2.0f;    // added red
  e.m_afFrondMaterial[10] = -3.0f;  // added green
  CLightingEngine::SetLight(1, Directional({0, 1, 0}), true);
  const stColor4 c = e.LightVertex({0, 0, 0}, {0, 1, 0}, CLightingEngine::kFrond);
  EXPECT_EQ(c.r, 1.0f);
  EXPECT_EQ(c.g, 0.0f);
  EXPECT_EQ(c.b, 1.0f);
  EXPECT_EQ(c.a, 1.0f);
}

TEST_F(LightingEngineTest, LeafCornerColours) {
  CLightingEngine e;
  e.m_nLeafLightingMethod = 1;
  e.m_nLeafLightingFlags = CLightingEngine::kStoreCornerColors;
  CLightingEngine::SetLight(0, Directional({0, 0, 1}), true);
  TreeVector<SBillboardLeaf>* lods = TrackedNewArray<TreeVector<SBillboardLeaf>>(2, "test");
  lods[0].push_back(Leaf({0, 0, 0}, {0, 0, 1}, 255));   // facing the light
  lods[0].push_back(Leaf({0, 0, 0}, {0, 0, -1}, 255));  // facing away: the floor
  lods[1].push_back(Leaf({0, 0, 0}, {0, 0, 1}, 0));     // dimmed to black

  e.LightLeaves({0, 0, 0}, lods, 2);
  EXPECT_EQ(lods[0][0].m_auCornerColors[0], Gray(255));
  EXPECT_EQ(lods[0][1].m_auCornerColors[3], Gray(127));  // 0.5 x 255
  EXPECT_EQ(lods[1][0].m_auCornerColors[2], Gray(0));

  // Nothing without the static method, without flags or without a list.
  for (auto change : {+[](CLightingEngine& x) { x.m_nLeafLightingMethod = 0; },
                      +[](CLightingEngine& x) { x.m_nLeafLightingFlags = 0; }}) {
    CLightingEngine off = e;
    change(off);
    lods[1][0].m_auCornerColors[0] = 0x12345678u;
    off.LightLeaves({0, 0, 0}, lods, 2);
    EXPECT_EQ(lods[1][0].m_auCornerColors[0], 0x12345678u);
  }
  e.LightLeaves({0, 0, 0}, lods, 1);  // the second list is not lit
  EXPECT_EQ(lods[1][0].m_auCornerColors[0], 0x12345678u);
  e.LightLeaves({0, 0, 0}, lods, 5);  // never more lists than the array holds
  EXPECT_EQ(lods[1][0].m_auCornerColors[0], Gray(0));
  TrackedDeleteArray(lods);
}

TEST_F(LightingEngineTest, DirectionalShading) {
  struct Case {
    const char* name;
    stVec3 position;
    std::uint8_t dimming;
    std::uint32_t color;
  };
  const stVec3 centre{1, 1, 1};
  const stVec3 light{1, 1, 11};
  const Case cases[] = {
      {"on the light's ray", {1, 1, 4}, 255, Gray(255)},
      {"on the opposite ray", {1, 1, -4}, 255, Gray(127)},  // the floor 0.5
      {"across", {5, 1, 1}, 255, Gray(191)},                // 0.75
      {"dimmed to nothing", {1, 1, 4}, 0, Gray(0)},
  };
  for (const Case& c : cases) {
    SBillboardLeaf leaf = Leaf(c.position, {0, 0, 1}, c.dimming);
    CLightingEngine::ShadeLeaf(leaf, centre, light, 0.5f);
    for (std::uint32_t color : leaf.m_auCornerColors) EXPECT_EQ(color, c.color) << c.name;
  }

  // Through the leaf lighting, toward the light that faces the last corner.
  CLightingEngine e;
  e.m_nLeafLightingMethod = 1;
  e.m_nLeafLightingFlags = CLightingEngine::kDirectionalShading;
  CLightingEngine::SetLight(2, Positional({0, 0, -10}), true);
  TreeVector<SBillboardLeaf>* lods = TrackedNewArray<TreeVector<SBillboardLeaf>>(1, "test");
  lods[0].push_back(Leaf({0, 0, 5}, {0, 0, 1}, 255));
  e.LightLeaves({0, 0, 0}, lods, 1);
  EXPECT_EQ(lods[0][0].m_auCornerColors[1], Gray(127));
  TrackedDeleteArray(lods);
}

TEST(PackColor, ChannelsFromTheLowestByte) {
  EXPECT_EQ(PackColor(1.0f, 0.5f, 0.0f), 0xff007fffu);  // bytes 255, 127, 0, 255
  EXPECT_EQ(PackColor(2.0f, -1.0f, 0.999f, 0.0f), 0x00fe00ffu);
}

}  // namespace
}  // namespace trt
