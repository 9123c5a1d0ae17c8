// The example scenes through the conversion and the rig checks: the
// character and the face pass with nothing to report, the broken character
// stops on the one misnamed toe.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "examples/scenes/g5_scenes.h"
#include "exporter/plugin/max_drn.h"
#include "exporter/validation/rig_checks.h"
#include "exporter/validation/skeleton_fixups.h"
#include "exporter/validation/validation_report.h"
#include "exporter/validation/validation_report_text.h"
#include "platform/host/description_file.h"
#include "platform/host/host_scene.h"

namespace {

const std::string kFolder = KT_EXAMPLE_SCENES_DIR;

enum class Check { kCharacter, kFace };

// Reads the committed scene, converts its nodes and meshes (with their
// skins, morphs and sets) as a character export does, fixes the neck up
// and runs the check.
ValidationReport Validate(const std::string& file, Check check) {
  ValidationReport report;
  KT::Host::SceneDescription description;
  std::string error;
  EXPECT_TRUE(KT::Host::ReadDescriptionFile(kFolder + "/" + file, description, error)) << error;
  std::unique_ptr<KT::Host::HostScene> scene = KT::Host::HostScene::Create(description, &error);
  EXPECT_NE(scene, nullptr) << error;
  if (scene == nullptr) return report;
  KT::Host::ActiveHostScene active(*scene);
  CMaxDrn context(scene.get(), scene.get(), false);
  context.BuildNodes(0);
  FixupRigSkeleton(context);
  context.CreateMeshes();
  EXPECT_NE(context.root, nullptr);
  if (check == Check::kCharacter) {
    CheckCharacterData(context, 2, report);
  } else {
    CheckFaceData(context, report);
  }
  return report;
}

TEST(ExampleScenesValidation, TheCharacterPassesEveryCheck) {
  const ValidationReport report = Validate("g5_character.xml", Check::kCharacter);
  const ValidationTexts texts = FormatValidationReport(report);
  EXPECT_TRUE(report.Empty()) << texts.critical << texts.warnings;
  EXPECT_EQ(texts.criticalCount, 0);
  EXPECT_EQ(texts.warningCount, 0);
}

TEST(ExampleScenesValidation, TheFacePassesEveryCheck) {
  const ValidationReport report = Validate("g5_face.xml", Check::kFace);
  const ValidationTexts texts = FormatValidationReport(report);
  EXPECT_TRUE(report.Empty()) << texts.critical << texts.warnings;
}

TEST(ExampleScenesValidation, TheBrokenCharacterStopsOnTheMisnamedToe) {
  const ValidationReport report = Validate("g5_character_broken.xml", Check::kCharacter);
  ASSERT_EQ(report.hierarchy.size(), 1u);
  EXPECT_EQ(report.hierarchy[0].child, u"KT_L_Toe");
  EXPECT_EQ(report.hierarchy[0].parent, u"KT_L_Foot");
  const ValidationTexts texts = FormatValidationReport(report);
  EXPECT_EQ(texts.criticalCount, 1);
  EXPECT_NE(texts.critical.find("KT_L_Toe"), std::string::npos) << texts.critical;
}

}  // namespace
