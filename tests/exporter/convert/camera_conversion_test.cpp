#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "controllers/core/keyframe_control.h"
#include "exporter/plugin/max_drn.h"
#include "platform/host/scene_builder.h"
#include "tests/exporter/convert/converted_objects.h"
#include "render/lights/camera.h"
#include "render/lights/camera_control.h"

namespace {

using KT::Host::HostScene;
using KT::Host::SceneBuilder;

constexpr int kTicks = 160;

KT::CNode* Converted(CMaxDrn& context, const char16_t* name) { return NodeNamed(context.root.Get(), name); }

std::vector<KT::CCamera*> CamerasOf(KT::CNode* node) { return ChildrenOf<KT::CCamera>(node); }

// The camera built for a host camera "Cam" set up by `setUp`, over frames 0
// to 10 sampled every 5 frames.
struct CameraCase {
  explicit CameraCase(const std::function<void(KT::Host::NodeBuilder&)>& setUp) {
    SceneBuilder b;
    b.TicksPerFrame(kTicks).Range(0, 10 * kTicks);
    KT::Host::NodeBuilder cam = b.AddNode("Cam");
    setUp(cam);
    scene = b.Make();
    active = std::make_unique<KT::Host::ActiveHostScene>(*scene);
    context = std::make_unique<CMaxDrn>(scene.get(), scene.get(), false);
    context->BuildNodes(0);
    context->sampleRate = 5;
    context->CreateCamera();
    node = Converted(*context, u"Cam");
    const std::vector<KT::CCamera*> cameras = CamerasOf(node);
    camera = cameras.size() == 1 ? cameras[0] : nullptr;
  }
  std::unique_ptr<HostScene> scene;
  std::unique_ptr<KT::Host::ActiveHostScene> active;
  std::unique_ptr<CMaxDrn> context;
  KT::CNode* node = nullptr;
  KT::CCamera* camera = nullptr;
};

TEST(CameraConversion, RangesFovAndProjectionOfTheHostState) {
  const struct {
    const char* what;
    bool ortho;
    float nearRange;
    float farRange;
    float wantNear;
    float wantFar;
  } rows[] = {
      {"ranges 0 and 1000", false, 0.0f, 1000.0f, 1.0f, 1000.0f},
      {"near range 5", false, 5.0f, 0.0f, 5.0f, 0.0f},
      {"negative near range", false, -3.0f, 50.0f, 1.0f, 50.0f},
      {"orthographic", true, 2.0f, 40.0f, 2.0f, 40.0f},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    CameraCase c([&](KT::Host::NodeBuilder& cam) {
      cam.Camera(row.ortho)
          .Param("fov", {0.8f})
          .Param("nearRange", {row.nearRange})
          .Param("farRange", {row.farRange})
          .Param("hither", {7.0f})
          .Param("yon", {9.0f});
    });
    ASSERT_NE(c.camera, nullptr);
    EXPECT_EQ(c.camera->GetFrustumN(), row.wantNear);
    EXPECT_EQ(c.camera->GetFrustumF(), row.wantFar);
    EXPECT_EQ(c.camera->GetFrustumFov(), 0.8f);
    EXPECT_EQ(c.camera->IsPerspective(), !row.ortho);
    EXPECT_TRUE(c.camera->IsFreeMode());
    EXPECT_EQ(c.camera->GetTarget(), nullptr);
    auto* control = ControlOf<KT::CCameraControl>(c.camera);
    ASSERT_NE(control, nullptr) << "an orthographic camera still gets its fov keys";
    EXPECT_EQ(control->GetFrequency(), 1.0f);
    ASSERT_EQ(control->GetFovKeys().Size(), 3u);
    for (const auto& key : control->GetFovKeys().Keys()) {
      EXPECT_EQ(key.FrustumFov, 0.8f);
      EXPECT_EQ(key.TransitionType, KT::TT_LINEAR);
      EXPECT_EQ(key.TransitionStrength, 50.0f);
    }
    EXPECT_EQ(c.node->GetCustomId(), 0x1000100u) << "no custom id is written";
  }
}

TEST(CameraConversion, AnimatedFovIsKeyedAtEverySample) {
  CameraCase c([](KT::Host::NodeBuilder& cam) {
    cam.Camera().ParamKey("fov", 0, {0.5f}).ParamKey("fov", 10 * kTicks, {1.5f});
  });
  ASSERT_NE(c.camera, nullptr);
  EXPECT_EQ(c.camera->GetFrustumFov(), 0.5f);
  auto* control = ControlOf<KT::CCameraControl>(c.camera);
  ASSERT_NE(control, nullptr);
  std::vector<KT::i32> times;
  std::vector<float> fovs;
  for (const auto& key : control->GetFovKeys().Keys()) {
    times.push_back(key.Time);
    fovs.push_back(key.FrustumFov);
  }
  EXPECT_EQ(times, (std::vector<KT::i32>{0, 166, 333}));
  EXPECT_EQ(fovs, (std::vector<float>{0.5f, 1.0f, 1.5f}));
}

TEST(CameraConversion, BasisIsTheObjectOffsetWithARestKey) {
  CameraCase c([](KT::Host::NodeBuilder& cam) {
    Matrix3 moved;
    moved.SetTrans(Point3(10.0f, 0.0f, 0.0f));
    cam.Camera().Local(moved);
    cam.Offset(Point3(0.0f, 2.0f, 0.0f));
  });
  ASSERT_NE(c.camera, nullptr);
  EXPECT_NEAR(c.node->GetBasis().Translate.x, 10.0f, 1e-5f) << "the node carries its own transform";
  const KT::CRtsTransform& basis = c.camera->GetBasis();
  EXPECT_NEAR(basis.Translate.x, 0.0f, 1e-5f);
  EXPECT_NEAR(basis.Translate.y, 2.0f, 1e-5f);
  auto* keyframes = ControlOf<KT::CKeyframeControl>(c.camera);
  ASSERT_NE(keyframes, nullptr);
  ASSERT_EQ(keyframes->GetRtsKeys().size(), 1u);
  EXPECT_EQ(keyframes->GetRtsKeys()[0].Value, basis);
}

TEST(CameraConversion, OnlyCamerasOfConvertedNodes) {
  SceneBuilder b;
  b.AddNode("Cam").Camera();
  b.AddNode("Lamp").Light(0);
  std::unique_ptr<HostScene> scene = b.Make();
  KT::Host::ActiveHostScene active(*scene);
  CMaxDrn context(scene.get(), scene.get(), false);
  context.CreateCamera();
  EXPECT_EQ(context.progress, 15) << "no root: only the step's progress";
  context.BuildNodes(0);
  KT::CPointer<KT::CNode> cam(Converted(context, u"Cam"));
  context.root->RemoveChild(cam.Get());
  context.CreateCamera();
  EXPECT_EQ(context.progress, 35);
  std::vector<KT::CBase*> cameras;
  context.root->Collect(cameras, nullptr, &KT::CCamera::StaticClassRecord(), true, false);
  EXPECT_TRUE(cameras.empty());
  EXPECT_TRUE(CamerasOf(cam.Get()).empty());
}

}  // namespace
