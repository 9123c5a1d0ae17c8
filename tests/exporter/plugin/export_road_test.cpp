// The whole export as the host runs it: the panel on a script, then the
// conversion, validation, thumbnail and save with the built data folder.
#include "exporter/plugin/export_road.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "content_file_reader.h"
#include "controllers/core/keyframe_control.h"
#include "exporter/plugin/ostrel_max_exp.h"
#include "exporter/ui/ostrel_max_exp_dlg.h"
#include "platform/host/description_file.h"
#include "platform/host/host_scene.h"
#include "platform/host/scene_builder.h"
#include "platform/ui/ui_script.h"
#include "tests/support/temp_folder.h"

namespace {

using KT::Host::SceneBuilder;

class ExportRoad : public ::testing::Test {
 protected:
  void SetUp() override {
    UiScript::Current().Clear();
    ASSERT_TRUE(out_.Valid());
  }
  void TearDown() override {
    active_.reset();
    UiScript::Current().Clear();
  }
  KT::Host::HostScene& Open(SceneBuilder& b) {
    active_.reset();
    scene_ = b.Make();
    EXPECT_NE(scene_, nullptr);
    active_ = std::make_unique<KT::Host::ActiveHostScene>(*scene_);
    return *scene_;
  }
  KT::Host::HostScene& OpenExample(const std::string& file) {
    KT::Host::SceneDescription description;
    std::string error;
    EXPECT_TRUE(KT::Host::ReadDescriptionFile(std::string(KT_EXAMPLE_SCENES_DIR) + "/" + file, description, error))
        << error;
    description.hostFolder = KT_BUILT_HOST_FOLDER;
    active_.reset();
    scene_ = KT::Host::HostScene::Create(description, &error);
    EXPECT_NE(scene_, nullptr) << error;
    active_ = std::make_unique<KT::Host::ActiveHostScene>(*scene_);
    return *scene_;
  }
  // A scene of one bone with keys over ticks 0 to 16000 at 160 per frame.
  static SceneBuilder OneBone(const std::string& hostFolder = KT_BUILT_HOST_FOLDER) {
    SceneBuilder b;
    b.HostFolder(hostFolder).TicksPerFrame(160).Range(0, 16000);
    b.AddNode("Box").Bone().PositionKey(0, Point3(0, 0, 0)).PositionKey(16000, Point3(10, 0, 0));
    return b;
  }
  ExportChoices Choices(int type, int option, const std::string& name) const {
    ExportChoices c;
    c.contentType = type;
    c.exportOption = option;
    c.folder = out_.Native();
    c.extension = ExtensionForType(static_cast<unsigned>(type), static_cast<unsigned>(option), false);
    c.targetPath = out_.Native(name + c.extension);
    return c;
  }
  std::vector<std::string> Written() const {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(out_.Native())) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  KT::Testing::TempFolder out_;
  std::unique_ptr<KT::Host::HostScene> scene_;
  std::unique_ptr<KT::Host::ActiveHostScene> active_;
};

TEST_F(ExportRoad, SuppressedPromptsOrACancelledPanelExportNothing) {
  const struct {
    const char* name;
    BOOL suppress;
    int button;
  } runs[] = {{"prompts suppressed, OK waiting", TRUE, IDOK}, {"the panel cancelled", FALSE, IDCANCEL}};
  for (const auto& run : runs) {
    UiScript::Current().Clear();
    SceneBuilder b = OneBone();
    KT::Host::HostScene& scene = Open(b);
    ExpInterface ei;
    ei.theScene = &scene;
    UiScript::Current().Click(run.button);
    OstrelMaxExp exporter;
    EXPECT_EQ(exporter.DoExport(out_.Native("Body.zAvatar").c_str(), &ei, &scene, run.suppress, 0), TRUE) << run.name;
    EXPECT_TRUE(Written().empty()) << run.name;
    EXPECT_TRUE(ShownBoxes().empty()) << run.name;
  }
}

TEST_F(ExportRoad, AMissingProfileBuildsNothing) {
  SceneBuilder b = OneBone(out_.Native("nohost") + "/");
  KT::Host::HostScene& scene = Open(b);
  const ExportOutcome outcome = RunExportRoad(Choices(13, 2, "Body"), &scene, &scene, false);
  EXPECT_EQ(outcome.stopped, ExportOutcome::Stop::kProfile);
  EXPECT_EQ(ShownBoxes(), std::vector<std::string>{"Error: Failed to open conversion profile!"});
  EXPECT_TRUE(Written().empty());
}

TEST_F(ExportRoad, WithoutClipsOneClipNamedAfterTheFileCoversTheWholeRange) {
  SceneBuilder b = OneBone();
  KT::Host::HostScene& scene = Open(b);
  const ExportOutcome outcome = RunExportRoad(Choices(13, 2, "Body"), &scene, &scene, false);
  EXPECT_EQ(outcome.stopped, ExportOutcome::Stop::kNone);
  EXPECT_EQ(outcome.clips, (std::vector<ClipRecord>{{u"Body", 0, 100}}));
  EXPECT_TRUE(outcome.saved) << std::hex << outcome.saveResult;
  EXPECT_EQ(Written(), std::vector<std::string>{"Body.zMotion"});
  ContentFileReader file(out_.Wide("Body.zMotion"));
  ASSERT_EQ(file.result, KT::kOk);
  ASSERT_NE(file.Root(), nullptr);
  EXPECT_EQ(file.Root()->GetName(), u"KT_MotionRoot");
}

TEST_F(ExportRoad, OnlyAModelIsValidated) {
  // One box is no character: as a model it stops on the rig checks, as a
  // motion it is written.
  {
    SceneBuilder b = OneBone();
    KT::Host::HostScene& scene = Open(b);
    const ExportOutcome outcome = RunExportRoad(Choices(13, 0, "Body"), &scene, &scene, false);
    EXPECT_EQ(outcome.stopped, ExportOutcome::Stop::kValidation);
    EXPECT_TRUE(Written().empty());
  }
  UiScript::Current().Clear();
  SceneBuilder b = OneBone();
  KT::Host::HostScene& scene = Open(b);
  const ExportOutcome outcome = RunExportRoad(Choices(13, 2, "Body"), &scene, &scene, false);
  EXPECT_EQ(outcome.stopped, ExportOutcome::Stop::kNone);
  EXPECT_EQ(Written(), std::vector<std::string>{"Body.zMotion"});
}

TEST_F(ExportRoad, TheExampleCharacterIsWrittenWithTheExtensionOfItsType) {
  // The host's file type says face; the panel's content type decides.
  KT::Host::HostScene& scene = OpenExample("g5_character.xml");
  ExpInterface ei;
  ei.theScene = &scene;
  UiScript::Current().SetText(COstrelMaxExpDlg::kExportTo, out_.Native()).Click(IDOK);
  OstrelMaxExp exporter;
  EXPECT_EQ(exporter.DoExport(out_.Native("g5_character.zFace").c_str(), &ei, &scene, FALSE, 0), TRUE);
  EXPECT_EQ(ShownBoxes(), std::vector<std::string>{});
  ASSERT_EQ(Written(), std::vector<std::string>{"g5_character.zAvatar"});
  ContentFileReader file(out_.Wide("g5_character.zAvatar"));
  ASSERT_EQ(file.result, KT::kOk);
  ASSERT_NE(file.Root(), nullptr);
  EXPECT_EQ(file.Root()->GetName(), u"g5_character");
}

TEST_F(ExportRoad, TheExampleFaceIsWrittenAsAFace) {
  KT::Host::HostScene& scene = OpenExample("g5_face.xml");
  ExportChoices c = Choices(14, 0, "g5_face");
  const ExportOutcome outcome = RunExportRoad(c, &scene, &scene, false);
  EXPECT_EQ(outcome.stopped, ExportOutcome::Stop::kNone);
  EXPECT_EQ(Written(), std::vector<std::string>{"g5_face.zFace"});
}

TEST_F(ExportRoad, TheBrokenCharacterStopsOnValidation) {
  KT::Host::HostScene& scene = OpenExample("g5_character_broken.xml");
  const ExportOutcome outcome = RunExportRoad(Choices(13, 0, "g5_character_broken"), &scene, &scene, false);
  EXPECT_EQ(outcome.stopped, ExportOutcome::Stop::kValidation);
  EXPECT_TRUE(Written().empty());
}

TEST_F(ExportRoad, AMissingThumbnailImageIsReportedAndTheExportGoesOn) {
  SceneBuilder b = OneBone();
  KT::Host::HostScene& scene = Open(b);
  ExportChoices c = Choices(13, 2, "Body");
  c.thumbnailMode = 1;
  c.thumbnailFile = out_.Native("none.png");
  const ExportOutcome outcome = RunExportRoad(c, &scene, &scene, false);
  EXPECT_EQ(ShownBoxes(), std::vector<std::string>{"Error: Failed to open thumbnail file!"});
  EXPECT_EQ(Written(), std::vector<std::string>{"Body.zMotion"});
}

TEST_F(ExportRoad, ASampleRateBelowOneSamplesEveryFrame) {
  // The stored rate comes from the scene's file properties; the context
  // takes at least 1, so the reduction still samples and the motion is
  // written.
  for (const int rate : {0, -5}) {
    UiScript::Current().Clear();
    std::filesystem::remove_all(out_.Native("Body.zMotion"));
    SceneBuilder b = OneBone();
    KT::Host::HostScene& scene = Open(b);
    ExportChoices c = Choices(13, 2, "Body");
    c.optimise = true;
    c.sampleRate = rate;
    const ExportOutcome outcome = RunExportRoad(c, &scene, &scene, false);
    EXPECT_TRUE(outcome.saved) << rate;
    EXPECT_EQ(Written(), std::vector<std::string>{"Body.zMotion"}) << rate;
    ContentFileReader file(out_.Wide("Body.zMotion"));
    EXPECT_EQ(file.result, KT::kOk) << rate;
  }
}

TEST_F(ExportRoad, TypesWithoutANodeBuildFindNoRootAndWriteNothing) {
  // Only the node build, the base-bone scene and the gesture root make a
  // root: the other rows run their steps on nothing; accessories and the
  // environment types have no save at all.
  const struct {
    int type;
    int option;
    KT::Result save;
  } rows[] = {
      {1, 0, KT::kErrNotFound},     {3, 2, KT::kErrNotFound},
      {4, 0, KT::kErrNotAvailable}, {4, 2, KT::kErrNotAvailable}, {5, 1, KT::kErrNotFound},
      {6, 0, KT::kErrNotAvailable}, {7, 0, KT::kErrNotAvailable}, {8, 0, KT::kErrNotAvailable},
      {9, 0, KT::kErrNotFound},     {10, 0, KT::kErrNotFound},    {11, 0, KT::kErrNotFound},
  };
  for (const auto& row : rows) {
    UiScript::Current().Clear();
    SceneBuilder b = OneBone();
    KT::Host::HostScene& scene = Open(b);
    const ExportOutcome outcome = RunExportRoad(Choices(row.type, row.option, "Body"), &scene, &scene, false);
    EXPECT_EQ(outcome.stopped, ExportOutcome::Stop::kNone) << row.type;
    EXPECT_FALSE(outcome.saved) << row.type;
    EXPECT_EQ(outcome.saveResult, row.save) << row.type << " " << std::hex << outcome.saveResult;
    EXPECT_TRUE(Written().empty()) << row.type;
  }
}

TEST_F(ExportRoad, CheckedCharacterTypesWithoutARootStopOnValidation) {
  for (const int type : {0, 12}) {
    UiScript::Current().Clear();
    SceneBuilder b = OneBone();
    KT::Host::HostScene& scene = Open(b);
    const ExportOutcome outcome = RunExportRoad(Choices(type, 0, "Body"), &scene, &scene, false);
    EXPECT_EQ(outcome.stopped, ExportOutcome::Stop::kValidation) << type;
    EXPECT_TRUE(Written().empty()) << type;
  }
}

TEST_F(ExportRoad, AHandOnlyMotionWritesOneGestureFilePerClipWhateverTheOption) {
  for (const int option : {0, 1, 2}) {
    UiScript::Current().Clear();
    for (const auto& e : std::filesystem::directory_iterator(out_.Native())) std::filesystem::remove_all(e.path());
    SceneBuilder b = OneBone();
    b.StringProperty(u"Ostrel3_CharAnimation_MClip", "Walk&#%0 to 50*;@Run&#%51 to 100*;@");
    KT::Host::HostScene& scene = Open(b);
    ExportChoices c = Choices(2, option, "Body");
    c.handOnly = true;
    c.extension = ".zHand";
    const ExportOutcome outcome = RunExportRoad(c, &scene, &scene, false);
    EXPECT_TRUE(outcome.saved) << option << " " << std::hex << outcome.saveResult;
    ASSERT_EQ(Written(), (std::vector<std::string>{"Run.zHand", "Walk.zHand"})) << option;
    ContentFileReader file(out_.Wide("Walk.zHand"));
    ASSERT_EQ(file.result, KT::kOk);
    ASSERT_NE(file.Root(), nullptr);
    EXPECT_EQ(file.Root()->GetName(), u"GestureRoot") << "the motion's root keeps its name";
  }
}

TEST_F(ExportRoad, ABipedMotionIsKeyedOnTheFullBodyBaseBones) {
  KT::Host::HostScene& scene = OpenExample("biped_motion.xml");
  ExportChoices c = Choices(2, 0, "biped_motion");
  c.biped = true;
  const ExportOutcome outcome = RunExportRoad(c, &scene, &scene, false);
  EXPECT_EQ(ShownBoxes(), std::vector<std::string>{});
  EXPECT_TRUE(outcome.saved) << std::hex << outcome.saveResult;
  ASSERT_EQ(Written(), std::vector<std::string>{"biped_motion.zMotion"});
  ContentFileReader file(out_.Wide("biped_motion.zMotion"));
  ASSERT_EQ(file.result, KT::kOk);
  ASSERT_NE(file.Root(), nullptr);
  EXPECT_EQ(file.Root()->GetName(), u"KT_MotionRoot");
  for (const char16_t* bone : {u"LowerTorso", u"LThigh", u"RThigh", u"UpperTorso"}) {
    KT::CNode* node = file.Node(bone);
    ASSERT_NE(node, nullptr);
    auto* keys = dynamic_cast<KT::CKeyframeControl*>(node->GetFirstControl());
    ASSERT_NE(keys, nullptr);
    EXPECT_EQ(keys->GetName(), u"biped_motion");
  }
}

TEST_F(ExportRoad, AMissingBaseBoneSceneIsShownAndNothingIsWritten) {
  // A data folder with everything but the base-bone scenes.
  const std::filesystem::path host = out_.Native("host");
  std::filesystem::copy(KT_BUILT_HOST_FOLDER, host, std::filesystem::copy_options::recursive);
  for (const auto& e : std::filesystem::recursive_directory_iterator(host)) {
    const std::string name = e.path().filename().string();
    if (name.rfind("KTBone", 0) == 0) std::filesystem::remove(e.path());
  }
  std::filesystem::create_directories(out_.Native("out"));
  SceneBuilder b = OneBone(host.string() + "/");
  KT::Host::HostScene& scene = Open(b);
  ExportChoices c = Choices(2, 0, "Body");
  c.biped = true;
  c.folder = out_.Native("out");
  c.targetPath = out_.Native("out/Body.zMotion");
  const ExportOutcome outcome = RunExportRoad(c, &scene, &scene, false);
  const std::vector<std::string> boxes = ShownBoxes();
  ASSERT_FALSE(boxes.empty());
  EXPECT_EQ(boxes.front(), "Error: Failed to open base bone file!");
  EXPECT_EQ(outcome.saveResult, KT::kErrNotFound);
  EXPECT_TRUE(std::filesystem::is_empty(out_.Native("out")));
}

TEST(ExportRoadNames, BaseNameDropsFolderAndExtension) {
  const struct {
    std::string path, base;
  } cases[] = {{"/out/Body.zAvatar", "Body"}, {"C:\\out\\Hero.zFace", "Hero"}, {"Body", "Body"}, {"/a.b/c", "c"}};
  for (const auto& c : cases) EXPECT_EQ(BaseNameOf(c.path), c.base) << c.path;
}

}  // namespace
