// The example scenes through the conversion and the rig checks: the
// character and the face pass with nothing to report, the broken character
// stops on the one misnamed toe.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "examples/scenes/g5_scenes.h"
#include "exporter/plugin/max_drn.h"
#include "exporter/validation/rig_checks.h"
#include "exporter/validation/skeleton_fixups.h"
#include "exporter/validation/validation_report.h"
#include "exporter/validation/validation_report_text.h"
#include "render/materials/standard_material.h"
#include "scene/tri_mesh.h"
#include "platform/host/description_file.h"
#include "platform/host/host_scene.h"
#include "platform/host/max_types.h"

namespace {

const std::string kFolder = KT_EXAMPLE_SCENES_DIR;

enum class Check { kCharacter, kFace };

// Reads the committed scene and runs the build steps of a character or
// face export one by one, in the export's order (the profile is empty, as
// the committed one corrects nothing), then the check of that export.
ValidationReport Validate(const std::string& file, Check check,
                          const std::function<void(CMaxDrn&)>& change = nullptr) {
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
  context.ApplyProfileToKeys();
  context.CreateMeshes();
  context.ResetUvwClipControls();
  context.RemoveMaterialAnimation();
  context.CleanRigBoneNodes();
  FixupRigSkeleton(context);
  context.RemoveNodesOfSuperClass(SUPER_LIGHT);
  context.RemoveNodesOfSuperClass(SUPER_CAMERA);
  EXPECT_NE(context.root, nullptr);
  if (change && context.root != nullptr) change(context);
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
  EXPECT_TRUE(report.bones.empty());
  const ValidationTexts texts = FormatValidationReport(report);
  EXPECT_EQ(texts.criticalCount, 1);
  EXPECT_EQ(texts.critical,
            "Found one or more critical errors. It will stop exporting.\r\n\r\nInvalid bone hierarchy:\r\n"
            "\"KT_L_Foot\" should have child bone \"KT_L_Toe\"");
  EXPECT_EQ(texts.warningCount, 0);
}

// Gives the converted mesh `name` a material named "Other" in place of its
// own.
std::function<void(CMaxDrn&)> Remat(const char16_t* name) {
  return [name](CMaxDrn& context) {
    auto* mesh = static_cast<KT::CTriMesh*>(
        context.root->Find(name, &KT::CTriMesh::StaticClassRecord(), false, false));
    ASSERT_NE(mesh, nullptr) << "no converted mesh";
    KT::CPointer<KT::CStandardMaterial> other(new KT::CStandardMaterial());
    other->SetName(u"Other");
    mesh->SetMaterial(other.Get());
  };
}

TEST(ExampleScenesValidation, AnotherMaterialGivesExactlyItsEntry) {
  const ValidationReport character = Validate("g5_character.xml", Check::kCharacter, Remat(u"KT_Upper"));
  ASSERT_EQ(character.materials.size(), 1u);
  EXPECT_EQ(character.materials[0].object, u"KT_Upper");
  EXPECT_EQ(character.materials[0].material, u"KT_Skin");
  EXPECT_FALSE(character.materials[0].critical);
  EXPECT_FALSE(BuildValidationReport(character));  // a warning does not stop the export
  const ValidationTexts texts = FormatValidationReport(character);
  EXPECT_EQ(texts.criticalCount, 0);
  EXPECT_EQ(texts.warningCount, 1);

  const ValidationReport face = Validate("g5_face.xml", Check::kFace, Remat(u"KT_Face"));
  ASSERT_FALSE(face.materials.empty());
  for (const MaterialEntry& entry : face.materials) {
    EXPECT_EQ(entry.object, u"KT_Face");
    EXPECT_TRUE(entry.critical);
  }
  EXPECT_TRUE(face.bodyParts.empty());
  EXPECT_TRUE(face.hierarchy.empty());
}

}  // namespace
