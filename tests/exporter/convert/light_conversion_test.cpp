#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "controllers/core/keyframe_control.h"
#include "exporter/plugin/max_drn.h"
#include "platform/host/scene_builder.h"
#include "tests/exporter/convert/converted_objects.h"
#include "render/lights/directional_light.h"
#include "render/lights/light_control.h"
#include "render/lights/point_light.h"
#include "render/lights/point_light_control.h"
#include "render/lights/spot_light.h"
#include "render/lights/spot_light_control.h"

namespace {

using KT::Host::HostScene;
using KT::Host::SceneBuilder;

constexpr int kTicks = 160;

KT::CNode* Converted(CMaxDrn& context, const char16_t* name) { return NodeNamed(context.root.Get(), name); }

std::vector<KT::CLight*> LightsOf(KT::CNode* node) { return ChildrenOf<KT::CLight>(node); }

template <typename Track>
std::vector<KT::i32> Times(const Track& track) {
  std::vector<KT::i32> out;
  for (const auto& key : track.Keys()) out.push_back(key.Time);
  return out;
}

// A context over `b`'s scene (frames 0 to 10, sampled every 5 frames) with
// its nodes converted.
struct Converted3 {
  explicit Converted3(SceneBuilder& b) : scene(b.TicksPerFrame(kTicks).Range(0, 10 * kTicks).Make()), active(*scene) {
    context = std::make_unique<CMaxDrn>(scene.get(), scene.get(), false);
    context->BuildNodes(0);
    context->sampleRate = 5;
  }
  std::unique_ptr<HostScene> scene;
  KT::Host::ActiveHostScene active;
  std::unique_ptr<CMaxDrn> context;
};

TEST(LightConversion, EachHostTypeGivesItsLightIdAndControllers) {
  const struct {
    int type;
    KT::u32 customId;
    const KT::ClassRecord* lightClass;
    bool point;
    bool spot;
  } rows[] = {
      {0, 0x8000100, &KT::CPointLight::StaticClassRecord(), true, false},
      {1, 0x8000200, &KT::CSpotLight::StaticClassRecord(), false, true},
      {2, 0x8000300, &KT::CDirectionalLight::StaticClassRecord(), false, false},
      {3, 0x8000200, &KT::CSpotLight::StaticClassRecord(), false, true},
      {4, 0x8000300, &KT::CDirectionalLight::StaticClassRecord(), false, false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.type);
    SceneBuilder b;
    b.AddNode("Lamp").Light(row.type).Param("color", {0.5f, 2.0f, 0.25f}).Param("attenEnd", {300.0f});
    Converted3 c(b);
    c.context->CreateLights();
    KT::CNode* node = Converted(*c.context, u"Lamp");
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(node->GetCustomId(), row.customId);
    const std::vector<KT::CLight*> lights = LightsOf(node);
    ASSERT_EQ(lights.size(), 1u);
    KT::CLight* light = lights[0];
    EXPECT_EQ(&light->GetClassRecord(), row.lightClass);
    EXPECT_EQ(light->GetRgb().r, 0.5f);
    EXPECT_EQ(light->GetRgb().g, 2.0f) << "the colour is not scaled";
    EXPECT_EQ(light->GetRgb().b, 0.25f);
    EXPECT_EQ(light->GetMultiplier(), 1.0f);

    auto* color = ControlOf<KT::CLightControl>(light);
    ASSERT_NE(color, nullptr);
    EXPECT_EQ(color->GetFrequency(), 1.0f);
    EXPECT_EQ(Times(color->GetColorKeys()), (std::vector<KT::i32>{0, 166, 333}));
    EXPECT_EQ(color->GetColorKeys()[1].Color.y, 2.0f);
    EXPECT_EQ(ControlOf<KT::CPointLightControl>(light) != nullptr, row.point);
    EXPECT_EQ(ControlOf<KT::CSpotLightControl>(light) != nullptr, row.spot);

    auto* keyframes = ControlOf<KT::CKeyframeControl>(light);
    ASSERT_NE(keyframes, nullptr) << "the light gets its rest transform controller";
    ASSERT_EQ(keyframes->GetRtsKeys().size(), 1u);
    EXPECT_EQ(keyframes->GetRtsKeys()[0].Value, light->GetBasis());

    if (auto* point = dynamic_cast<KT::CPointLight*>(light)) {
      EXPECT_EQ(point->GetRange(), 300.0f);
      EXPECT_EQ(point->GetLocation(), (KT::CVector3<float>{0.0f, 0.0f, 0.0f}));
    }
    if (auto* directional = dynamic_cast<KT::CDirectionalLight*>(light)) {
      EXPECT_EQ(directional->GetDirection(), (KT::CVector3<float>{0.0f, 0.0f, -1.0f}));
    }
  }
}

TEST(LightConversion, FreeSpotAnglesAreFullConesInRadians) {
  SceneBuilder b;
  b.AddNode("Spot").Light(3).Param("hotspot", {43.0f}).Param("falloff", {45.0f}).Param("attenEnd", {80.0f});
  Converted3 c(b);
  c.context->CreateLights();
  const std::vector<KT::CLight*> lights = LightsOf(Converted(*c.context, u"Spot"));
  ASSERT_EQ(lights.size(), 1u);
  auto* spot = dynamic_cast<KT::CSpotLight*>(lights[0]);
  ASSERT_NE(spot, nullptr);
  EXPECT_NEAR(spot->GetTheta(), 0.7505f, 5e-5f);
  EXPECT_NEAR(spot->GetPhi(), 0.7854f, 5e-5f);
  EXPECT_EQ(spot->GetFalloff(), 1.0f);
  EXPECT_EQ(spot->GetRange(), 80.0f);
  EXPECT_EQ(spot->GetDirection(), (KT::CVector3<float>{0.0f, 0.0f, -1.0f}));
  auto* control = ControlOf<KT::CSpotLightControl>(spot);
  ASSERT_NE(control, nullptr);
  ASSERT_EQ(control->GetKeys().Size(), 3u);
  for (const auto& key : control->GetKeys().Keys()) {
    EXPECT_EQ(key.FalloffPhiTheta.x, 1.0f);
    EXPECT_EQ(key.FalloffPhiTheta.y, spot->GetPhi());
    EXPECT_EQ(key.FalloffPhiTheta.z, spot->GetTheta());
    EXPECT_EQ(key.Range, 80.0f);
  }
}

TEST(LightConversion, MovedPivotGivesTheLightAnOffsetBasis) {
  SceneBuilder b;
  b.AddNode("Lamp").Light(0).Offset(Point3(4.0f, 5.0f, 6.0f));
  Converted3 c(b);
  c.context->CreateLights();
  KT::CNode* node = Converted(*c.context, u"Lamp");
  EXPECT_EQ(node->GetBasis(), KT::kIdentityTransform) << "the node itself did not move";
  const std::vector<KT::CLight*> lights = LightsOf(node);
  ASSERT_EQ(lights.size(), 1u);
  const KT::CRtsTransform& basis = lights[0]->GetBasis();
  EXPECT_NEAR(basis.Translate.x, 4.0f, 1e-5f);
  EXPECT_NEAR(basis.Translate.y, 5.0f, 1e-5f);
  EXPECT_NEAR(basis.Translate.z, 6.0f, 1e-5f);
}

TEST(LightConversion, OmniKeysOneRangePerSampleAnimatedOrNot) {
  for (bool animated : {true, false}) {
    SCOPED_TRACE(animated);
    SceneBuilder b;
    KT::Host::NodeBuilder lamp = b.AddNode("Lamp").Light(0).Param("attenEnd", {100.0f});
    if (animated) lamp.ParamKey("attenEnd", 0, {100.0f}).ParamKey("attenEnd", 10 * kTicks, {200.0f});
    Converted3 c(b);
    c.context->CreateLights();
    const std::vector<KT::CLight*> lights = LightsOf(Converted(*c.context, u"Lamp"));
    ASSERT_EQ(lights.size(), 1u);
    auto* control = ControlOf<KT::CPointLightControl>(lights[0]);
    ASSERT_NE(control, nullptr);
    EXPECT_EQ(control->GetFrequency(), 1.0f);
    EXPECT_EQ(Times(control->GetRangeKeys()), (std::vector<KT::i32>{0, 166, 333}));
    std::vector<float> ranges;
    for (const auto& key : control->GetRangeKeys().Keys()) ranges.push_back(key.Range);
    const std::vector<float> want =
        animated ? std::vector<float>{100.0f, 150.0f, 200.0f} : std::vector<float>{100.0f, 100.0f, 100.0f};
    EXPECT_EQ(ranges, want);
  }
}

TEST(LightConversion, OtherTypesBuildNothingAfterTheirProgressStep) {
  for (int type : {5, -1}) {
    SCOPED_TRACE(type);
    SceneBuilder b;
    b.AddNode("Odd").Light(type);
    Converted3 c(b);
    KT::CNode* node = Converted(*c.context, u"Odd");
    const KT::u32 before = node->GetCustomId();
    const int progress = c.context->progress;
    c.context->CreateLights();
    EXPECT_TRUE(LightsOf(node).empty());
    EXPECT_EQ(node->GetCustomId(), before) << "no custom id is written";
    EXPECT_EQ(c.context->progress, progress + 22);
    EXPECT_EQ(c.scene->ProgressLog().back().text, "Build Light: Odd");
  }
}

TEST(LightConversion, OnlyConvertedLightNodesGetLights) {
  SceneBuilder b;
  b.AddNode("Lamp").Light(0);
  b.AddNode("Gone").Light(0);
  b.AddNode("Box").Mesh(KT::Host::MeshDesc{});
  Converted3 c(b);
  // "Gone" leaves the converted tree.
  KT::CPointer<KT::CNode> gone(Converted(*c.context, u"Gone"));
  c.context->root->RemoveChild(gone.Get());
  const int progress = c.context->progress;
  c.context->CreateLights();
  EXPECT_EQ(c.context->progress, progress + 20 + 2) << "one light was built";
  std::vector<KT::CBase*> lights;
  c.context->root->Collect(lights, nullptr, &KT::CLight::StaticClassRecord(), true, false);
  ASSERT_EQ(lights.size(), 1u);
  EXPECT_EQ(static_cast<KT::CLight*>(lights[0])->GetParent(), Converted(*c.context, u"Lamp"));
  EXPECT_TRUE(LightsOf(gone.Get()).empty());
  EXPECT_TRUE(LightsOf(Converted(*c.context, u"Box")).empty());
}

TEST(LightConversion, NothingWithoutRootOrForNullArguments) {
  SceneBuilder b;
  b.AddNode("Lamp").Light(0);
  std::unique_ptr<HostScene> scene = b.Make();
  KT::Host::ActiveHostScene active(*scene);
  CMaxDrn context(scene.get(), scene.get(), false);
  context.CreateLights();
  EXPECT_FALSE(context.root);
  EXPECT_EQ(context.progress, 20);
  context.BuildNodes(0);
  context.BuildLight(nullptr, scene->NodeAt(0), 0);
  context.BuildLight(Converted(context, u"Lamp"), nullptr, 0);
  EXPECT_TRUE(LightsOf(Converted(context, u"Lamp")).empty());
  EXPECT_EQ(context.progress, 25);
}

}  // namespace
