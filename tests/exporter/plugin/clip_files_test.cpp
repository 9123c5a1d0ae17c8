#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "controllers/core/data_clip_control.h"
#include "controllers/core/keyframe_control.h"
#include "controllers/core/rts_clip_control.h"
#include "controllers/core/uvw_map_control.h"
#include "exporter/plugin/content_file.h"
#include "exporter/plugin/max_drn.h"
#include "objectmodel/collectors.h"
#include "platform/host/scene_builder.h"
#include "platform/ui/ui_script.h"
#include "support/temp_folder.h"
#include "tests/exporter/plugin/content_file_reader.h"

namespace {

using KT::Host::HostScene;
using KT::Host::SceneBuilder;
using KT::Testing::TempFolder;

// The names of the controllers of `object`'s chain, in order.
std::vector<std::u16string> ChainNames(const KT::CDorun* object) {
  std::vector<std::u16string> out;
  for (KT::CDorun* c = object->GetFirstControl(); c != nullptr; c = c->GetChainNext()) out.push_back(c->GetName());
  return out;
}

template <typename Container>
std::vector<std::u16string> ChildNames(const Container& container) {
  std::vector<std::u16string> out;
  for (KT::u32 i = 0; i < container.GetChildCount(); ++i) out.push_back(container.GetChild(i)->GetName());
  return out;
}

// Hip > Spine, both keyed over frames 0 to 60.
std::unique_ptr<HostScene> KeyedSkeleton() {
  SceneBuilder b;
  b.RootName("Scene").TicksPerFrame(160).Range(0, 60 * 160);
  const int hip = b.AddNode("Hip")
                      .Controller(KT::Host::ControllerKind::kPrs, 0x1C0)
                      .PositionKey(0, Point3(0.0f, 0.0f, 0.0f))
                      .PositionKey(60 * 160, Point3(6.0f, 0.0f, 0.0f))
                      .Index();
  b.AddNode("Spine", hip)
      .Controller(KT::Host::ControllerKind::kPrs, 0x1C0)
      .PositionKey(0, Point3(0.0f, 0.0f, 1.0f))
      .PositionKey(60 * 160, Point3(0.0f, 0.0f, 2.0f));
  return b.Make();
}

// A UVW clip container on `node` with one child per name.
KT::CUvwMapClipControl* AddUvwClips(KT::CNode& node, const std::vector<const char16_t*>& names) {
  KT::CPointer<KT::CUvwMapClipControl> container(new KT::CUvwMapClipControl());
  EXPECT_EQ(node.AddControl(container.Get()), KT::kOk);
  for (const char16_t* name : names) {
    KT::CPointer<KT::CUvwMapControl> child(new KT::CUvwMapControl());
    child->SetName(name);
    EXPECT_EQ(container->AddChild(child.Get()), KT::kOk);
  }
  return container.Get();
}

class ClipFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(folder_.Valid());
    UiScript::Current().Clear();
    host_ = KeyedSkeleton();
    ASSERT_NE(host_, nullptr);
  }
  void TearDown() override { UiScript::Current().Clear(); }

  // The motion of a character: per bone one keyframe controller per clip.
  std::unique_ptr<CMaxDrn> MotionContext(const std::vector<ClipRecord>& clips) {
    auto context = std::make_unique<CMaxDrn>(host_.get(), host_.get(), false);
    context->BuildNodes(0);
    context->clips = clips;
    context->BuildHierarchyKeyframes(160);
    context->SetRootName(u"KT_MotionRoot");
    return context;
  }

  TempFolder folder_;
  std::unique_ptr<HostScene> host_;
};

TEST_F(ClipFiles, EachClipFileKeepsTheKeyframesOfItsClip) {
  std::unique_ptr<CMaxDrn> context = MotionContext({{u"Walk", 0, 30}, {u"Run", 31, 60}});
  ASSERT_TRUE(context->root);
  folder_.MakeFolder("out");
  KT::Result result = KT::kErrMissingObject;
  // A folder without a trailing separator, as the folder browser gives it.
  context->SaveClipFiles(result, folder_.Native("out"), ".zMotion");
  EXPECT_EQ(result, KT::kOk);
  EXPECT_TRUE(ShownBoxes().empty());
  EXPECT_FALSE(std::filesystem::exists(folder_.Native("outWalk.zMotion")));

  for (const char16_t* clip : {u"Walk", u"Run"}) {
    const std::u16string name(clip);
    ContentFileReader file(folder_.Wide("out/" + std::string(name.begin(), name.end()) + ".zMotion"));
    ASSERT_EQ(file.result, KT::kOk) << std::string(name.begin(), name.end());
    ASSERT_NE(file.Root(), nullptr);
    EXPECT_EQ(file.Root()->GetName(), u"KT_MotionRoot");
    for (const char16_t* bone : {u"Hip", u"Spine"}) {
      KT::CNode* node = file.Node(bone);
      ASSERT_NE(node, nullptr);
      EXPECT_EQ(ChainNames(node), std::vector<std::u16string>{name});
      auto* keys = dynamic_cast<KT::CKeyframeControl*>(node->GetFirstControl());
      ASSERT_NE(keys, nullptr);
      EXPECT_FALSE(keys->GetRtsKeys().empty());
    }
    ASSERT_EQ(file.stream.GetExtendInfoCount(), 1u) << "not a gesture file";
    EXPECT_EQ(KT::DynamicCast<KT::CVersionData>(file.stream.GetExtendInfo(0))->GetDataVersion(), 0xFFFFFFFFu);
  }
  // The converted scene itself is not filtered.
  auto* hip = static_cast<KT::CNode*>(context->root->Find(u"Hip", &KT::CNode::StaticClassRecord(), false, false));
  ASSERT_NE(hip, nullptr);
  EXPECT_EQ(ChainNames(hip), (std::vector<std::u16string>{u"Walk", u"Run"}));
}

TEST_F(ClipFiles, ProgressAndTheFolderWithItsSeparator) {
  std::unique_ptr<CMaxDrn> context = MotionContext({{u"Walk", 0, 30}});
  context->StartProgress("Exporting...");
  context->StepProgress(30, "Building Keyframes");
  KT::Result result = KT::kErrMissingObject;
  context->SaveClipFiles(result, folder_.Native() + "/", ".zMotion");
  EXPECT_EQ(result, KT::kOk);
  EXPECT_TRUE(std::filesystem::exists(folder_.Native("Walk.zMotion")));
  ASSERT_FALSE(host_->ProgressLog().empty());
  EXPECT_EQ(host_->ProgressLog().back().text, "Save Animation Clip Files...");
  EXPECT_EQ(host_->ProgressLog().back().percent, 30);
}

TEST_F(ClipFiles, HandOnlyMotionsAreGestureFiles) {
  std::unique_ptr<CMaxDrn> context = MotionContext({{u"Wave", 0, 10}});
  context->SetRootName(u"GestureRoot");
  KT::Result result = KT::kErrMissingObject;
  context->SaveClipFiles(result, folder_.Native(), ".zMotion");
  EXPECT_EQ(result, KT::kOk);
  ContentFileReader file(folder_.Wide("Wave.zMotion"));
  ASSERT_EQ(file.result, KT::kOk);
  ASSERT_EQ(file.stream.GetExtendInfoCount(), 2u);
  EXPECT_EQ(KT::DynamicCast<KT::CVersionData>(file.stream.GetExtendInfo(0))->GetDataVersion(), 0u);
  EXPECT_EQ(KT::DynamicCast<KT::CVersionData>(file.stream.GetExtendInfo(1))->GetDataVersion(), 0xFFFFFFFFu);
}

TEST_F(ClipFiles, ClipContainersKeepTheChildOfTheClip) {
  // The default build mode: keyframe controllers as children of a clip
  // container, which keeps one child, the last when none has the name.
  const struct {
    const char16_t* clip;
    std::vector<std::u16string> kept;
  } cases[] = {
      {u"Walk", {u"Walk"}},
      {u"Run", {u"Run"}},
      {u"Jump", {u"Jump"}},
      {u"Swim", {u"Jump"}},
  };
  auto context = std::make_unique<CMaxDrn>(host_.get(), host_.get(), false);
  context->BuildNodes(6);
  ASSERT_EQ(context->nodeBuildMode, 6);
  context->clips = {{u"Walk", 0, 20}, {u"Run", 21, 40}, {u"Jump", 41, 60}};
  context->BuildPropKeyframes(160);
  context->clips.clear();
  for (const auto& c : cases) context->clips.push_back({c.clip, 0, 60});
  KT::Result result = KT::kErrMissingObject;
  context->SaveClipFiles(result, folder_.Native(), ".Drn");
  EXPECT_EQ(result, KT::kOk);
  for (const auto& c : cases) {
    const std::u16string clip(c.clip);
    ContentFileReader file(folder_.Wide(std::string(clip.begin(), clip.end()) + ".Drn"));
    ASSERT_EQ(file.result, KT::kOk);
    KT::CNode* spine = file.Node(u"Spine");
    ASSERT_NE(spine, nullptr);
    auto* container = dynamic_cast<KT::CRTSClipControl*>(spine->GetFirstControl());
    ASSERT_NE(container, nullptr);
    EXPECT_EQ(ChildNames(*container), c.kept) << std::string(clip.begin(), clip.end());
  }
}

TEST_F(ClipFiles, WithoutANodeBuildPlainKeyframeControlsOfOtherClipsGo) {
  // A biped motion hangs one plain keyframe control per clip on every node
  // and keeps the build mode 6: each clip file still holds only its clip.
  auto context = std::make_unique<CMaxDrn>(host_.get(), host_.get(), false);
  context->BuildNodes(6);
  ASSERT_EQ(context->nodeBuildMode, 6);
  ASSERT_TRUE(context->root);
  auto* hip = static_cast<KT::CNode*>(context->root->Find(u"Hip", &KT::CNode::StaticClassRecord(), false, false));
  ASSERT_NE(hip, nullptr);
  for (const char16_t* name : {u"Walk", u"Run", u"", u"Pose"}) {
    KT::CPointer<KT::CKeyframeControl> keys(new KT::CKeyframeControl());
    keys->SetName(name);
    ASSERT_EQ(hip->AddControl(keys.Get()), KT::kOk);
  }
  context->clips = {{u"Walk", 0, 30}, {u"Run", 31, 60}};
  KT::Result result = KT::kErrMissingObject;
  context->SaveClipFiles(result, folder_.Native(), ".zMotion");
  EXPECT_EQ(result, KT::kOk);
  const struct {
    const char* file;
    std::vector<std::u16string> chain;
  } cases[] = {
      // The build's own unnamed clip container leads the chain.
      {"Walk.zMotion", {u"", u"Walk", u"", u"Pose"}},
      {"Run.zMotion", {u"", u"Run", u"", u"Pose"}},
  };
  for (const auto& c : cases) {
    ContentFileReader file(folder_.Wide(c.file));
    ASSERT_EQ(file.result, KT::kOk) << c.file;
    KT::CNode* node = file.Node(u"Hip");
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(ChainNames(node), c.chain) << c.file;
  }
  EXPECT_EQ(ChainNames(hip), (std::vector<std::u16string>{u"", u"Walk", u"Run", u"", u"Pose"}));
}

TEST_F(ClipFiles, UvwClipContainersAreFilteredInEveryMode) {
  for (int mode : {0, 6}) {
    const TempFolder out;
    auto context = std::make_unique<CMaxDrn>(host_.get(), host_.get(), false);
    context->BuildNodes(mode);
    auto* spine = static_cast<KT::CNode*>(context->root->Find(u"Spine", &KT::CNode::StaticClassRecord(), false, false));
    ASSERT_NE(spine, nullptr);
    AddUvwClips(*spine, {u"Walk", u"Run"});
    context->clips = {{u"Run", 0, 10}, {u"Swim", 0, 10}};
    KT::Result result = KT::kErrMissingObject;
    context->SaveClipFiles(result, out.Native(), ".zMotion");
    EXPECT_EQ(result, KT::kOk);
    const struct {
      const char* file;
      std::vector<std::u16string> kept;
    } files[] = {{"Run.zMotion", {u"Run"}}, {"Swim.zMotion", {u"Run"}}};
    for (const auto& f : files) {
      ContentFileReader file(out.Wide(f.file));
      ASSERT_EQ(file.result, KT::kOk) << f.file;
      std::vector<KT::CUvwMapClipControl*> containers;
      KT::CollectObjects(containers, file.Root(), nullptr, false, false);
      ASSERT_EQ(containers.size(), 1u);
      EXPECT_EQ(ChildNames(*containers[0]), f.kept) << "mode " << mode << " " << f.file;
    }
  }
}

TEST_F(ClipFiles, KeepClipChildrenScansFromTheFirstChild) {
  const struct {
    std::vector<const char16_t*> children;
    const char16_t* clip;
    std::vector<std::u16string> kept;
  } cases[] = {
      {{}, u"Walk", {}},
      {{u"Run"}, u"Walk", {u"Run"}},  // the only child stays
      {{u"Walk", u"Run", u"Walk"}, u"Walk", {u"Walk", u"Walk"}},
      {{u"Run", u"Jump", u"Swim"}, u"Walk", {u"Swim"}},
      {{u"Walk", u"Run"}, u"Run", {u"Run"}},
  };
  for (const auto& c : cases) {
    KT::CPointer<KT::CNode> node(new KT::CNode());
    KT::CUvwMapClipControl* container = AddUvwClips(*node, c.children);
    KeepClipChildren(*container, c.clip);
    EXPECT_EQ(ChildNames(*container), c.kept);
  }
}

TEST_F(ClipFiles, EveryClipIsWrittenAndTheFirstFailureAnswered) {
  // A Name from the file properties that would leave the folder, one that
  // names the folder itself and one whose file cannot be made: each is
  // shown and written nowhere, and the good clips are written all the same.
  folder_.MakeFolder("out/Taken.zMotion");
  std::unique_ptr<CMaxDrn> context = MotionContext(
      {{u"../Escape", 0, 10}, {u"Walk", 0, 10}, {u"..", 0, 10}, {u"Taken", 0, 10}, {u"", 0, 10}, {u"Run", 11, 20}});
  const std::string out = folder_.Native("out");
  KT::Result result = KT::kOk;
  context->SaveClipFiles(result, out, ".zMotion");
  EXPECT_EQ(result, KT::kErrInvalidArg) << "the first failure";
  EXPECT_TRUE(std::filesystem::exists(folder_.Native("out/Walk.zMotion")));
  EXPECT_TRUE(std::filesystem::exists(folder_.Native("out/Run.zMotion")));
  EXPECT_FALSE(std::filesystem::exists(folder_.Native("Escape.zMotion")));
  EXPECT_FALSE(std::filesystem::exists(folder_.Native("out.zMotion")));
  EXPECT_FALSE(std::filesystem::exists(folder_.Native("out/.zMotion")));
  EXPECT_TRUE(std::filesystem::is_directory(folder_.Native("out/Taken.zMotion")));
  EXPECT_EQ(ShownBoxes(), (std::vector<std::string>{
                         "Error: Failed to save \"" + out + "\\../Escape.zMotion\" (0x80000003).",
                         "Error: Failed to save \"" + out + "\\...zMotion\" (0x80000003).",
                         "Error: Failed to save \"" + out + "\\Taken.zMotion\" (0x80000006).",
                         "Error: Failed to save \"" + out + "\\.zMotion\" (0x80000003).",
                     }));
}

TEST_F(ClipFiles, AFileThatFailsFirstIsTheAnswer) {
  folder_.MakeFolder("Taken.zMotion");
  std::unique_ptr<CMaxDrn> context = MotionContext({{u"Taken", 0, 10}, {u"Walk", 0, 10}});
  KT::Result result = KT::kOk;
  context->SaveClipFiles(result, folder_.Native(), ".zMotion");
  EXPECT_EQ(result, KT::kErrTreeData);
  EXPECT_TRUE(std::filesystem::exists(folder_.Native("Walk.zMotion")));
}

TEST_F(ClipFiles, TwoClipsOfOneNameWriteOneFile) {
  std::unique_ptr<CMaxDrn> context = MotionContext({{u"Walk", 0, 10}, {u"Walk", 20, 30}});
  KT::Result result = KT::kErrMissingObject;
  context->SaveClipFiles(result, folder_.Native(), ".zMotion");
  EXPECT_EQ(result, KT::kOk);
  ContentFileReader file(folder_.Wide("Walk.zMotion"));
  ASSERT_EQ(file.result, KT::kOk);
  // Both keyframe controllers carry the name, so both stay.
  EXPECT_EQ(ChainNames(file.Node(u"Hip")), (std::vector<std::u16string>{u"Walk", u"Walk"}));
}

TEST_F(ClipFiles, WithoutRootOrNodesNothingIsWritten) {
  CMaxDrn context(host_.get(), host_.get(), false);
  context.clips = {{u"Walk", 0, 10}};
  KT::Result result = KT::kOk;
  context.SaveClipFiles(result, folder_.Native(), ".zMotion");
  EXPECT_EQ(result, KT::kErrNotFound);
  EXPECT_TRUE(std::filesystem::is_empty(folder_.Native()));
  EXPECT_EQ(ShownBoxes(), std::vector<std::string>{"Error: Failed to save \"" + folder_.Native() +
                                              "\\Walk.zMotion\" (0x80000005)."});
}

}  // namespace
