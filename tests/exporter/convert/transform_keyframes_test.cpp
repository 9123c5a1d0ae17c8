#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "controllers/core/keyframe_control.h"
#include "controllers/core/rts_clip_control.h"
#include "exporter/plugin/max_drn.h"
#include "platform/host/inode.h"
#include "platform/host/scene_builder.h"

namespace {

using KT::Host::HostScene;
using KT::Host::SceneBuilder;

std::vector<KT::CDorun*> Controls(KT::CDorun* object) {
  std::vector<KT::CDorun*> out;
  for (KT::CDorun* c = object->GetFirstControl(); c != nullptr; c = c->GetChainNext()) out.push_back(c);
  return out;
}

std::vector<KT::i32> Times(const KT::CKeyframeControl* control) {
  std::vector<KT::i32> out;
  for (const auto& key : control->GetRtsKeys()) out.push_back(key.Time);
  return out;
}

KT::CNode* Converted(CMaxDrn& context, const char16_t* name) {
  return static_cast<KT::CNode*>(context.root->Find(name, &KT::CNode::StaticClassRecord(), false, false));
}

// A node "A" under the scene root, moved and turned over frames 0 to 10.
std::unique_ptr<HostScene> MovingNode(int ticksPerFrame) {
  SceneBuilder b;
  b.TicksPerFrame(ticksPerFrame).Range(0, 10 * ticksPerFrame);
  b.AddNode("A")
      .Controller(KT::Host::ControllerKind::kPrs, 0x3F)
      .PositionKey(0, Point3(0.0f, 0.0f, 0.0f))
      .PositionKey(10 * ticksPerFrame, Point3(10.0f, 20.0f, 30.0f))
      .RotationKey(0, Quat(0.0f, 0.0f, 0.0f, 1.0f))
      .RotationKey(10 * ticksPerFrame, Quat(0.0f, 0.0f, std::sin(0.5f), std::cos(0.5f)))
      .ScaleKey(0, Point3(1.0f, 1.0f, 1.0f))
      .ScaleKey(10 * ticksPerFrame, Point3(2.0f, 3.0f, 4.0f));
  return b.Make();
}

TEST(TransformKeyframes, SamplesEachClipAtTheSampleRate) {
  for (int ticks : {160, 192}) {  // 30 and 25 frames per second
    std::unique_ptr<HostScene> scene = MovingNode(ticks);
    CMaxDrn context(scene.get(), scene.get(), false);
    context.BuildNodes(0);
    context.sampleRate = 5;
    context.clips = {{u"all", 0, 10}, {u"short", 0, 9}, {u"backward", 5, 2}};
    context.BuildHierarchyKeyframes(ticks);
    KT::CNode* a = Converted(context, u"A");
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->GetInherited(), 0x3Fu);
    const auto controls = Controls(a);
    ASSERT_EQ(controls.size(), 3u) << "the rest keyframe controller is replaced by one per clip";
    auto* all = dynamic_cast<KT::CKeyframeControl*>(controls[0]);
    auto* shortClip = dynamic_cast<KT::CKeyframeControl*>(controls[1]);
    auto* backward = dynamic_cast<KT::CKeyframeControl*>(controls[2]);
    ASSERT_TRUE(all && shortClip && backward);
    EXPECT_EQ(all->GetName(), u"all");
    EXPECT_EQ(Times(all), (std::vector<KT::i32>{0, 166, 333})) << ticks;
    EXPECT_EQ(Times(shortClip), (std::vector<KT::i32>{0, 166})) << "the missed end frame is not keyed";
    EXPECT_TRUE(backward->GetRtsKeys().empty());
    const auto& last = all->GetRtsKeys()[2];
    EXPECT_EQ(last.Value.Translate.x, 10.0f);
    EXPECT_NEAR(last.Value.Rotate.z, -std::sin(0.5f), 1e-6f);
    EXPECT_EQ(last.Value.Scale.z, 4.0f);
    EXPECT_EQ(last.TransitionType, KT::TT_LINEAR);
    EXPECT_EQ(last.TransitionStrength, 50.0f);
    EXPECT_EQ(all->GetFrequency(), 1.0f);
    EXPECT_EQ(context.progress, 15);
  }
}

TEST(TransformKeyframes, PositionOnlyKeepsTheRestRotationAndScale) {
  SceneBuilder b;
  b.AddNode("A").Controller().PositionKey(0, Point3(1.0f, 0.0f, 0.0f)).PositionKey(1600, Point3(3.0f, 0.0f, 0.0f));
  std::unique_ptr<HostScene> scene = b.Make();
  CMaxDrn context(scene.get(), scene.get(), false);
  context.BuildNodes(0);
  KT::CNode* a = Converted(context, u"A");
  KT::CRtsTransform rest = a->GetBasis();
  rest.Rotate = {0.0f, 0.6f, 0.0f, 0.8f};
  rest.Scale = {2.0f, 2.0f, 2.0f};
  rest.Sign = -1.0f;
  a->SetBasis(rest);
  context.clips = {{u"c", 0, 10}};
  context.BuildHierarchyKeyframes(160);
  auto* control = dynamic_cast<KT::CKeyframeControl*>(a->GetFirstControl());
  ASSERT_NE(control, nullptr);
  ASSERT_EQ(control->GetRtsKeys().size(), 11u);
  for (const auto& key : control->GetRtsKeys()) {
    EXPECT_EQ(key.Value.Rotate, rest.Rotate);
    EXPECT_EQ(key.Value.Scale, rest.Scale);
    EXPECT_EQ(key.Value.Sign, -1.0f);
  }
  EXPECT_EQ(control->GetRtsKeys().back().Value.Translate.x, 3.0f);
}

TEST(TransformKeyframes, EmptyClipListRemovesTheKeyframeControl) {
  std::unique_ptr<HostScene> scene = MovingNode(160);
  CMaxDrn context(scene.get(), scene.get(), false);
  context.BuildNodes(0);
  context.BuildHierarchyKeyframes(160);
  EXPECT_TRUE(Controls(Converted(context, u"A")).empty());
}

TEST(TransformKeyframes, PropKeyframesLayerTheClipsUnderOneClipController) {
  for (bool withClips : {true, false}) {
    std::unique_ptr<HostScene> scene = MovingNode(160);
    CMaxDrn context(scene.get(), scene.get(), false);
    context.BuildNodes(0);
    context.sampleRate = 5;
    if (withClips) context.clips = {{u"one", 0, 10}, {u"two", 5, 10}};
    context.BuildPropKeyframes(160);
    const auto controls = Controls(Converted(context, u"A"));
    ASSERT_EQ(controls.size(), 1u);
    auto* clipControl = dynamic_cast<KT::CRTSClipControl*>(controls[0]);
    ASSERT_NE(clipControl, nullptr);
    ASSERT_EQ(clipControl->GetChildren().size(), withClips ? 2u : 0u);
    if (withClips) {
      auto* two = dynamic_cast<KT::CKeyframeControl*>(clipControl->GetChildren()[1].Get());
      ASSERT_NE(two, nullptr);
      EXPECT_EQ(two->GetName(), u"two");
      EXPECT_EQ(Times(two), (std::vector<KT::i32>{0, 166}));
      EXPECT_EQ(clipControl->GetStatic().size(), 2u);
    }
    ASSERT_EQ(clipControl->GetClips().size(), 1u);
    const KT::CClipKey& key = clipControl->GetClips()[0];
    EXPECT_EQ(key.Time, 0);
    EXPECT_EQ(key.ClipID, -1);
    EXPECT_EQ(key.LoopCount, 0u);
    EXPECT_EQ(key.Frequency, 1.0f);
    EXPECT_EQ(key.TransitionRange, 200.0f);
    EXPECT_EQ(key.TransitionType, KT::TT_LINEAR);
    EXPECT_EQ(key.TransitionStrength, 50.0f);
  }
}

TEST(TransformKeyframes, WorldKeysReplaceTheKeysOnASecondRun) {
  std::unique_ptr<HostScene> scene = MovingNode(160);
  CMaxDrn context(scene.get(), scene.get(), false);
  context.BuildNodes(0);
  context.sampleRate = 5;
  context.BuildKeyframes(160);
  context.BuildKeyframes(160);
  const auto controls = Controls(Converted(context, u"A"));
  ASSERT_EQ(controls.size(), 1u);
  auto* control = dynamic_cast<KT::CKeyframeControl*>(controls[0]);
  ASSERT_NE(control, nullptr);
  EXPECT_EQ(Times(control), (std::vector<KT::i32>{0, 166, 333}));
  EXPECT_EQ(context.progress, 25);
}

TEST(TransformKeyframes, ClipAndWorldPassesAgreeBelowAnUnmovedRoot) {
  std::unique_ptr<HostScene> scene = MovingNode(160);
  CMaxDrn clipContext(scene.get(), scene.get(), false);
  clipContext.BuildNodes(0);
  clipContext.clips = {{u"all", 0, 10}};
  clipContext.BuildHierarchyKeyframes(160);
  CMaxDrn worldContext(scene.get(), scene.get(), false);
  worldContext.BuildNodes(0);
  worldContext.BuildKeyframes(160);
  auto* fromClip = dynamic_cast<KT::CKeyframeControl*>(Converted(clipContext, u"A")->GetFirstControl());
  auto* fromWorld = dynamic_cast<KT::CKeyframeControl*>(Converted(worldContext, u"A")->GetFirstControl());
  ASSERT_TRUE(fromClip && fromWorld);
  ASSERT_EQ(fromClip->GetRtsKeys().size(), 11u);
  ASSERT_EQ(fromWorld->GetRtsKeys().size(), 11u);
  for (std::size_t i = 0; i < 11; ++i) {
    const KT::CRtsTransform& a = fromClip->GetRtsKeys()[i].Value;
    const KT::CRtsTransform& b = fromWorld->GetRtsKeys()[i].Value;
    EXPECT_EQ(fromClip->GetRtsKeys()[i].Time, fromWorld->GetRtsKeys()[i].Time);
    // The same matrix: compare what both transforms compose to.
    const KT::CMatrix4 ma = a.ToMatrix();
    const KT::CMatrix4 mb = b.ToMatrix();
    for (int r = 0; r < 4; ++r)
      for (int c = 0; c < 4; ++c) EXPECT_NEAR(ma.m[r][c], mb.m[r][c], 1e-4f) << i << " " << r << c;
  }
}

}  // namespace
