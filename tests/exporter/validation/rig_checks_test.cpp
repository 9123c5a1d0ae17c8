#include "exporter/validation/rig_checks.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "exporter/plugin/max_drn.h"
#include "platform/host/scene_builder.h"
#include "tests/exporter/validation/converted_rig.h"

namespace {

using converted::AddMesh;
using converted::AddNode;
using converted::AddPart;
using converted::AddSet;
using converted::Character;
using converted::Multi;
using converted::SetMaterial;
using converted::Standard;

// The first control of `mesh` named `name`, taken off the mesh.
void RemoveSet(KT::CTriMesh* mesh, const char16_t* name) {
  for (KT::CDorun* control = mesh->GetFirstControl(); control != nullptr; control = control->GetChainNext()) {
    if (control->GetName() == name) {
      ASSERT_EQ(mesh->RemoveControl(control), KT::kOk);
      return;
    }
  }
  FAIL() << "no set to remove";
}

// Gives `mesh` a new material in place of the one it has.
void ReplaceMaterial(KT::CTriMesh* mesh, KT::CMaterial* material) {
  KT::CPointer<KT::CTriMeshData> data(mesh->GetTriMeshLod(0));
  ASSERT_EQ(mesh->SetSingleLod(data.Get()), KT::kOk);  // a fresh, empty object list
  SetMaterial(mesh, material);
}

// --- bones --------------------------------------------------------------------------------

TEST(CheckCharacterBones, AFullRigPasses) {
  Character c;
  ValidationReport report;
  CheckCharacterBones(report, c.root.Get());
  EXPECT_TRUE(report.Empty());
}

struct BoneCase {
  const char* what;
  std::function<void(Character&)> change;
  std::vector<BoneEntry> bones;
  std::vector<InheritedEntry> inherited;
  std::vector<HierarchyEntry> hierarchy;
};

class CheckCharacterBonesRules : public testing::TestWithParam<BoneCase> {};

TEST_P(CheckCharacterBonesRules, ReportExactlyTheRulesEntries) {
  const BoneCase& c = GetParam();
  Character character;
  c.change(character);
  ValidationReport report;
  CheckCharacterBones(report, character.root.Get());
  EXPECT_EQ(report.bones, c.bones);
  EXPECT_EQ(report.inherited, c.inherited);
  EXPECT_EQ(report.hierarchy, c.hierarchy);
  EXPECT_TRUE(report.bodyParts.empty() && report.facialParts.empty() && report.materials.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Rig, CheckCharacterBonesRules,
    testing::Values(
        BoneCase{"no hips: no bone at all, and no bone listed missing",
                 [](Character& c) { c.Bone(u"KT_Hips")->SetName(u"Hips"); },
                 {{BoneIssue::kMissing, u""}}, {}, {}},
        BoneCase{"a missing template child ends the check: one hierarchy entry, no missing bones",
                 [](Character& c) { c.Remove(u"KT_L_Toe"); }, {}, {}, {{u"KT_L_Toe", u"KT_L_Foot"}}},
        BoneCase{"a misnamed bone breaks the hierarchy at its parent",
                 [](Character& c) { c.Bone(u"KT_L_Toe")->SetName(u"KT_L_Toe1"); }, {}, {},
                 {{u"KT_L_Toe", u"KT_L_Foot"}}},
        BoneCase{"a template child of another class is not a child bone",
                 [](Character& c) {
                   c.Remove(u"KT_HeadNub");
                   AddMesh(c.Bone(u"KT_Head"), u"KT_HeadNub");
                 },
                 {}, {}, {{u"KT_HeadNub", u"KT_Head"}}},
        BoneCase{"entries made before the break stay",
                 [](Character& c) {
                   c.Bone(u"KT_Hips")->SetInherited(0);
                   c.Remove(u"KT_R_Finger42");
                 },
                 {}, {{448, u"KT_Hips"}}, {{u"KT_R_Finger42", u"KT_R_Finger41"}}},
        BoneCase{"a required bone with flags 0 must carry 448",
                 [](Character& c) { c.Bone(u"KT_L_Calf")->SetInherited(0); }, {}, {{448, u"KT_L_Calf"}}, {}},
        BoneCase{"a control point, a facial bone and a face object must carry 0",
                 [](Character& c) {
                   c.Bone(u"CP_12")->SetInherited(448);
                   c.Bone(u"Bone_Jaw01")->SetInherited(7);
                   c.Bone(u"KT_Tongue")->SetInherited(448);
                 },
                 {}, {{0, u"Bone_Jaw01"}, {0, u"KT_Tongue"}, {0, u"CP_12"}}, {}},
        BoneCase{"contact, pivot and end bones carry any flags",
                 [](Character& c) {
                   c.Bone(u"KT_L_Foot01_Floor02")->SetInherited(0);
                   c.Bone(u"KT_R_Hand01_Floor06")->SetInherited(1);
                   c.Bone(u"KT_L_Hand_Acc_Pivot")->SetInherited(0);
                   c.Bone(u"KT_HeadNub")->SetInherited(0);
                 },
                 {}, {}, {}},
        BoneCase{"a bone of no table should not appear",
                 [](Character& c) { AddNode(c.Bone(u"KT_Spine01"), u"Ponytail"); },
                 {{BoneIssue::kMustNotAppear, u"Ponytail"}}, {}, {}},
        BoneCase{"a node under the hair carries any name",
                 [](Character& c) {
                   KT::CNode* hair = AddNode(c.Bone(u"KT_Head"), u"KT_Hair", 0);
                   AddMesh(hair, u"KT_HairMesh");
                   AddNode(AddNode(hair, u"Ponytail"), u"Braid");
                 },
                 {}, {}, {}},
        BoneCase{"a hair root without its mesh",
                 [](Character& c) { AddNode(c.Bone(u"KT_Head"), u"KT_Hair", 0); },
                 {{BoneIssue::kMissing, u"KT_HairMesh"}}, {}, {}},
        BoneCase{"the first break in collection order is the one reported",
                 [](Character& c) {
                   c.Remove(u"KT_L_Breast");
                   c.Remove(u"KT_R_Foot01_Floor06");
                 },
                 {}, {}, {{u"KT_R_Foot01_Floor06", u"KT_R_Foot"}}}),
    [](const testing::TestParamInfo<BoneCase>& info) { return "Case" + std::to_string(info.index); });

// --- body parts and mesh names -------------------------------------------------------------

TEST(CheckBodyPartPresent, WantsADirectPlainNodeOfThatName) {
  KT::CPointer<KT::CNode> root(new KT::CNode());
  KT::CNode* upper = AddNode(root.Get(), u"KT_Upper");
  AddMesh(root.Get(), u"KT_Lower");                   // a mesh, not a plain node
  AddNode(AddNode(root.Get(), u"Group"), u"KT_Hands");  // not a direct child
  ValidationReport report;
  KT::CNode* found = nullptr;
  CheckBodyPartPresent(report, root.Get(), u"KT_Upper", found);
  EXPECT_EQ(found, upper);
  CheckBodyPartPresent(report, root.Get(), u"KT_Lower", found);
  EXPECT_EQ(found, nullptr);
  CheckBodyPartPresent(report, root.Get(), u"KT_Hands", found);
  CheckBodyPartPresent(report, nullptr, u"KT_Face", found);
  EXPECT_EQ(found, nullptr);
  EXPECT_EQ(report.bodyParts, (std::vector<BodyPartEntry>{{BodyPartIssue::kMissing, u"KT_Lower"},
                                                          {BodyPartIssue::kMissing, u"KT_Hands"},
                                                          {BodyPartIssue::kMissing, u"KT_Face"}}));
}

TEST(CheckChildPresent, ListsTheMissingChildAsAFacialPart) {
  KT::CPointer<KT::CNode> node(new KT::CNode());
  AddNode(node.Get(), u"CP_02");
  AddMesh(node.Get(), u"CP_03");
  ValidationReport report;
  CheckChildPresent(report, node.Get(), u"CP_02");
  CheckChildPresent(report, node.Get(), u"CP_03");
  CheckChildPresent(report, nullptr, u"CP_04");
  EXPECT_EQ(report.facialParts, (std::vector<KT::WString>{u"CP_03", u"CP_04"}));
}

TEST(CheckBodyPartMeshNames, ListsEveryMeshOfAnotherName) {
  Character c;
  AddPart(c.root.Get(), u"Sword");
  AddMesh(c.Bone(u"KT_L_Hand"), u"kt_upper");  // names compare with their case
  ValidationReport report;
  CheckBodyPartMeshNames(report, c.root.Get());
  CheckBodyPartMeshNames(report, nullptr);
  EXPECT_EQ(report.bodyParts, (std::vector<BodyPartEntry>{{BodyPartIssue::kWrongName, u"kt_upper"},
                                                          {BodyPartIssue::kWrongName, u"Sword"}}));
}

// --- materials ---------------------------------------------------------------------------------

TEST(FindObjectMesh, IsTheMeshOfTheObjectsNameBeneathAPlainNode) {
  KT::CPointer<KT::CNode> root(new KT::CNode());
  KT::CTriMesh* mesh = AddPart(root.Get(), u"KT_Upper");
  KT::CNode* node = static_cast<KT::CNode*>(mesh->GetParent());
  KT::CNode* bare = AddNode(root.Get(), u"KT_Lower");
  AddMesh(bare, u"Other");
  EXPECT_EQ(FindObjectMesh(node), mesh);
  EXPECT_EQ(FindObjectMesh(mesh), mesh);
  EXPECT_EQ(FindObjectMesh(bare), bare);
  EXPECT_EQ(FindObjectMesh(nullptr), nullptr);
}

TEST(CheckMaterial, ReadsTheMaterialOfTheMeshBeneathTheBodyPartNode) {
  // The body part is the plain node; its material sits on the mesh of the
  // same name beneath it, where the conversion puts it.
  KT::CPointer<KT::CNode> root(new KT::CNode());
  KT::CTriMesh* upper = AddPart(root.Get(), u"KT_Upper");
  SetMaterial(upper, Standard(u"KT_Skin").Get());
  ValidationReport report;
  CheckMaterial(report, static_cast<KT::CSpatial*>(upper->GetParent()), false, u"KT_Skin");
  EXPECT_TRUE(report.materials.empty());
}

TEST(CheckMaterial, WantsAStandardMaterialOfThatNameInTheMaterial) {
  KT::CPointer<KT::CNode> root(new KT::CNode());
  KT::CTriMesh* face = AddPart(root.Get(), u"KT_Face");
  SetMaterial(face, Multi(u"KT_Cavity", {u"KT_Skin", u"Teeth"}).Get());  // a multi-material's own name does not count
  KT::CTriMesh* bare = AddPart(root.Get(), u"KT_Hands");                 // no material at all
  KT::CNode* plain = AddNode(root.Get(), u"KT_Shoes");                   // no mesh at all
  ValidationReport report;
  auto node = [](KT::CTriMesh* mesh) { return static_cast<KT::CSpatial*>(mesh->GetParent()); };
  CheckMaterial(report, node(face), true, u"KT_Skin");
  CheckMaterial(report, node(face), true, u"KT_Cavity");
  CheckMaterial(report, face, false, u"Teeth");
  CheckMaterial(report, node(bare), false, u"KT_Skin");
  CheckMaterial(report, plain, true, u"KT_Skin");
  CheckMaterial(report, nullptr, true, u"KT_Skin");
  EXPECT_EQ(report.materials, (std::vector<MaterialEntry>{{u"KT_Face", u"KT_Cavity", true},
                                                          {u"KT_Hands", u"KT_Skin", false},
                                                          {u"KT_Shoes", u"KT_Skin", true}}));
}

TEST(GetMeshMaterial, IsTheFirstMaterialOfLevelZero) {
  KT::CPointer<KT::CNode> root(new KT::CNode());
  KT::CTriMesh* mesh = AddMesh(root.Get(), u"M");
  EXPECT_EQ(GetMeshMaterial(*mesh), nullptr);
  const auto first = Standard(u"A");
  SetMaterial(mesh, first.Get());
  SetMaterial(mesh, Standard(u"B").Get());
  EXPECT_EQ(GetMeshMaterial(*mesh), first.Get());
  KT::CPointer<KT::CTriMesh> empty(new KT::CTriMesh());
  EXPECT_EQ(GetMeshMaterial(*empty), nullptr);
}

// --- selection sets ------------------------------------------------------------------------

TEST(CheckSelectionSet, FindsTheSetOnTheMeshAndCountsItsSelectedVertices) {
  KT::CPointer<KT::CNode> root(new KT::CNode());
  KT::CTriMesh* upper = AddPart(root.Get(), u"KT_Upper", 64);
  AddSet(upper, u"connect01", 24, 100);
  AddSet(upper, u"connect05", 11);
  AddSet(upper, u"Connect06", 12);  // case counts
  KT::CNode* plain = AddNode(root.Get(), u"KT_Hands");
  AddSet(plain, u"connect05", 12);  // a node without a mesh answers for itself
  ValidationReport report;
  KT::CSpatial* node = static_cast<KT::CSpatial*>(upper->GetParent());
  for (int row : {0, 4, 5}) CheckSelectionSet(report, node, FixedSelectionSets[static_cast<std::size_t>(row)]);
  CheckSelectionSet(report, plain, FixedSelectionSets[4]);
  CheckSelectionSet(report, nullptr, FixedSelectionSets[4]);
  EXPECT_EQ(report.missingSets, (std::vector<MissingSetEntry>{{u"KT_Upper", u"connect06"}}));
  EXPECT_EQ(report.setCounts, (std::vector<SetCountEntry>{{u"KT_Upper", u"connect05", 12}}));
}

TEST(CheckSelectionSetPairs, ComparesSetsOfOneNameThatHaveNoFixedCount) {
  KT::CPointer<KT::CNode> root(new KT::CNode());
  KT::CTriMesh* a = AddPart(root.Get(), u"KT_Upper");
  KT::CTriMesh* b = AddPart(root.Get(), u"KT_Lower");
  KT::CTriMesh* d = AddPart(root.Get(), u"KT_Hands");
  AddSet(a, u"connect07", 10);
  AddSet(b, u"connect07", 11);
  AddSet(a, u"connect01", 10);  // fixed-count sets are never paired
  AddSet(b, u"connect01", 11);
  AddSet(a, u"belt", 5);  // equal counts match
  AddSet(b, u"belt", 5);
  AddSet(d, u"belt", 6);  // the second belt meets the third; the first met only the second
  ValidationReport report;
  CheckSelectionSetPairs(report, root.Get());
  CheckSelectionSetPairs(report, nullptr);
  EXPECT_EQ(report.unmatchedSets, (std::vector<UnmatchedSetEntry>{{u"KT_Upper", u"KT_Lower", u"connect07"},
                                                                  {u"KT_Lower", u"KT_Hands", u"belt"}}));
}

// --- face ----------------------------------------------------------------------------------

TEST(CheckFace, AFaceOf1907VerticesWithoutACustomSetPasses) {
  KT::CPointer<KT::CNode> root(new KT::CNode());
  converted::AddRig(root.Get());
  KT::CTriMesh* face = AddPart(root.Get(), u"KT_Face", 1907);
  ValidationReport report;
  CheckFace(report, root.Get(), static_cast<KT::CSpatial*>(face->GetParent()));
  EXPECT_TRUE(report.Empty());
}

TEST(CheckFace, AFaceOfAnotherCountIsListed) {
  KT::CPointer<KT::CNode> root(new KT::CNode());
  converted::AddRig(root.Get());
  KT::CTriMesh* face = AddPart(root.Get(), u"Head", 1906);
  ValidationReport report;
  CheckFace(report, root.Get(), static_cast<KT::CSpatial*>(face->GetParent()));
  EXPECT_EQ(report.facialParts, (std::vector<KT::WString>{u"KT_Face"}));
}

TEST(CheckFace, ACustomFaceSetPassesAtAnyCountAndIsRenamed) {
  for (KT::u32 vertices : {0u, 64u, 1907u}) {
    KT::CPointer<KT::CNode> root(new KT::CNode());
    converted::AddRig(root.Get());
    KT::CTriMesh* face = AddPart(root.Get(), u"KT_Face", vertices);
    KT::CMeshSelControl* custom = AddSet(face, u"Custom_Face", 3);
    ValidationReport report;
    CheckFace(report, root.Get(), static_cast<KT::CSpatial*>(face->GetParent()));
    EXPECT_TRUE(report.Empty()) << vertices;
    EXPECT_EQ(custom->GetName(), u"Custom_Face_G5");
  }
}

TEST(CheckFace, WantsTheFacialTemplateAndThePartsWithTheirMaterials) {
  Character c;
  c.Remove(u"CP_03");
  c.Bone(u"Bone_Tongue04")->SetName(u"Bone_Tongue4");
  KT::CTriMesh* upperTeeth = static_cast<KT::CTriMesh*>(
      c.root->Find(u"KT_UpperTeeth", &KT::CTriMesh::StaticClassRecord(), false, false));
  static_cast<KT::CNode*>(upperTeeth->GetParent())->RemoveChild(upperTeeth);
  ReplaceMaterial(static_cast<KT::CTriMesh*>(c.root->Find(u"KT_R_Eye", &KT::CTriMesh::StaticClassRecord(), false, false)),
                  Multi(u"Eye", {u"KT_Iris"}).Get());
  ValidationReport report;
  CheckFace(report, c.root.Get(), static_cast<KT::CSpatial*>(c.face->GetParent()));
  EXPECT_EQ(report.facialParts, (std::vector<KT::WString>{u"CP_03", u"Bone_Tongue04", u"KT_UpperTeeth"}));
  EXPECT_EQ(report.materials, (std::vector<MaterialEntry>{{u"KT_R_Eye", u"KT_Lens", true}}));
}

TEST(CheckFace, WithoutBoneConnectEveryPartIsMissing) {
  Character c;
  c.Remove(u"Bone_Connect");
  ValidationReport report;
  CheckFace(report, c.root.Get(), nullptr);
  EXPECT_EQ(report.facialParts,
            (std::vector<KT::WString>{u"KT_L_Eye", u"KT_R_Eye", u"KT_UpperTeeth", u"KT_DownTeeth", u"KT_Tongue"}));
}

TEST(CheckFace, WithoutAHeadNothingIsChecked) {
  KT::CPointer<KT::CNode> root(new KT::CNode());
  KT::CTriMesh* face = AddPart(root.Get(), u"KT_Face", 10);
  ValidationReport report;
  CheckFace(report, root.Get(), face);
  CheckFace(report, nullptr, face);
  EXPECT_TRUE(report.Empty());
}

// --- drivers -------------------------------------------------------------------------------

std::vector<int> CheckProgress(const KT::Host::HostScene& scene) {
  std::vector<int> out;
  for (const auto& event : scene.ProgressLog()) {
    if (event.kind == KT::Host::ProgressEvent::Kind::kUpdate && event.text == kCheckProgressText)
      out.push_back(event.percent);
  }
  return out;
}

TEST(CheckCharacterData, AValidCharacterGivesAnEmptyReportAndShowsItsProgress) {
  for (int mode : {1, 2}) {
    auto scene = KT::Host::SceneBuilder().Make();
    CMaxDrn context(nullptr, scene.get(), false);
    Character c;
    context.root = c.root;
    ValidationReport report;
    report.facialParts.push_back(u"left over");  // the driver starts afresh
    CheckCharacterData(context, mode, report);
    EXPECT_TRUE(report.Empty()) << mode;
    EXPECT_EQ(CheckProgress(*scene), (std::vector<int>{0, 25, 50, 75, 100}));
    EXPECT_EQ(scene->ProgressLog().size(), 5u);
    EXPECT_EQ(c.customFace->GetName(), u"Custom_Face_G5");
  }
}

TEST(CheckCharacterData, ModeZeroWantsConnect02InPlaceOfConnect20) {
  CMaxDrn context(nullptr, nullptr, false);
  Character c;
  context.root = c.root;
  ValidationReport report;
  CheckCharacterData(context, 0, report);
  EXPECT_EQ(report.missingSets,
            (std::vector<MissingSetEntry>{{u"KT_Upper", u"connect02"}, {u"KT_Lower", u"connect02"}}));
  report.Clear();
  AddSet(c.upper, u"connect02", 24);
  AddSet(c.lower, u"connect02", 24);
  c.customFace->SetName(u"Custom_Face");  // the first run renamed it
  CheckCharacterData(context, 0, report);
  EXPECT_TRUE(report.Empty());
}

struct DriverCase {
  const char* what;
  std::function<void(Character&)> change;
  std::function<void(ValidationReport&)> expected;
};

class CheckCharacterDataRules : public testing::TestWithParam<DriverCase> {};

TEST_P(CheckCharacterDataRules, OneChangeGivesExactlyItsEntry) {
  CMaxDrn context(nullptr, nullptr, false);
  Character c;
  context.root = c.root;
  GetParam().change(c);
  ValidationReport report, expected;
  CheckCharacterData(context, 2, report);
  GetParam().expected(expected);
  EXPECT_EQ(report.bodyParts, expected.bodyParts);
  EXPECT_EQ(report.facialParts, expected.facialParts);
  EXPECT_EQ(report.materials, expected.materials);
  EXPECT_EQ(report.missingSets, expected.missingSets);
  EXPECT_EQ(report.setCounts, expected.setCounts);
  EXPECT_EQ(report.unmatchedSets, expected.unmatchedSets);
  EXPECT_EQ(report.bones, expected.bones);
  EXPECT_EQ(report.inherited, expected.inherited);
  EXPECT_EQ(report.hierarchy, expected.hierarchy);
}

INSTANTIATE_TEST_SUITE_P(
    Character, CheckCharacterDataRules,
    testing::Values(
        DriverCase{"an upper set missing",
                   [](Character& c) { RemoveSet(c.upper, u"connect05"); },
                   [](ValidationReport& r) { r.missingSets = {{u"KT_Upper", u"connect05"}}; }},
        DriverCase{"a shoe set of another count",
                   [](Character& c) {
                     RemoveSet(c.shoes, u"connect04");
                     AddSet(c.shoes, u"connect04", 13);
                   },
                   [](ValidationReport& r) { r.setCounts = {{u"KT_Shoes", u"connect04", 14}}; }},
        DriverCase{"the face set missing",
                   [](Character& c) { RemoveSet(c.face, u"connect01"); },
                   [](ValidationReport& r) { r.missingSets = {{u"KT_Face", u"connect01"}}; }},
        DriverCase{"a body part without its skin material: a warning",
                   [](Character& c) { ReplaceMaterial(c.hands, Standard(u"Gloves").Get()); },
                   [](ValidationReport& r) { r.materials = {{u"KT_Hands", u"KT_Skin", false}}; }},
        DriverCase{"the face without its cavity material: critical",
                   [](Character& c) { ReplaceMaterial(c.face, Multi(u"Face", {u"KT_Skin"}).Get()); },
                   [](ValidationReport& r) { r.materials = {{u"KT_Face", u"KT_Cavity", true}}; }},
        DriverCase{"a body part missing: its checks are silent",
                   [](Character& c) { c.Remove(u"KT_Lower"); },
                   [](ValidationReport& r) { r.bodyParts = {{BodyPartIssue::kMissing, u"KT_Lower"}}; }},
        DriverCase{"an extra mesh",
                   [](Character& c) { AddPart(c.root.Get(), u"KT_Hat"); },
                   [](ValidationReport& r) { r.bodyParts = {{BodyPartIssue::kWrongName, u"KT_Hat"}}; }},
        DriverCase{"the face without a custom set and of another count",
                   [](Character& c) { RemoveSet(c.face, u"Custom_Face"); },
                   [](ValidationReport& r) { r.facialParts = {u"KT_Face"}; }},
        DriverCase{"two unmatched free sets",
                   [](Character& c) {
                     AddSet(c.upper, u"seam", 3);
                     AddSet(c.lower, u"seam", 4);
                   },
                   [](ValidationReport& r) { r.unmatchedSets = {{u"KT_Upper", u"KT_Lower", u"seam"}}; }},
        DriverCase{"a misnamed toe",
                   [](Character& c) { c.Bone(u"KT_L_Toe")->SetName(u"KT_L_Toe1"); },
                   [](ValidationReport& r) { r.hierarchy = {{u"KT_L_Toe", u"KT_L_Foot"}}; }}),
    [](const testing::TestParamInfo<DriverCase>& info) { return "Case" + std::to_string(info.index); });

TEST(CheckFaceData, AValidFaceGivesAnEmptyReport) {
  auto scene = KT::Host::SceneBuilder().Make();
  CMaxDrn context(nullptr, scene.get(), false);
  Character c;
  // A face export carries no body parts; they are not asked for.
  for (const char16_t* part : {u"KT_Upper", u"KT_Lower", u"KT_Hands", u"KT_Shoes"}) c.Remove(part);
  context.root = c.root;
  ValidationReport report;
  CheckFaceData(context, report);
  EXPECT_TRUE(report.Empty());
  EXPECT_EQ(CheckProgress(*scene), (std::vector<int>{0, 25, 50, 75, 100}));

  RemoveSet(c.face, u"connect01");
  ReplaceMaterial(c.face, Multi(u"Face", {u"KT_Cavity"}).Get());
  c.customFace->SetName(u"Custom_Face");  // the first run renamed it
  CheckFaceData(context, report);
  EXPECT_EQ(report.missingSets, (std::vector<MissingSetEntry>{{u"KT_Face", u"connect01"}}));
  EXPECT_EQ(report.materials, (std::vector<MaterialEntry>{{u"KT_Face", u"KT_Skin", true}}));
  EXPECT_EQ(report.facialParts, std::vector<KT::WString>{});
}

TEST(CheckFaceData, WithoutARootEverythingIsMissing) {
  CMaxDrn context(nullptr, nullptr, false);
  ValidationReport report;
  CheckFaceData(context, report);
  EXPECT_EQ(report.bones, (std::vector<BoneEntry>{{BoneIssue::kMissing, u""}}));
  EXPECT_EQ(report.bodyParts, (std::vector<BodyPartEntry>{{BodyPartIssue::kMissing, u"KT_Face"}}));
  EXPECT_TRUE(report.materials.empty() && report.missingSets.empty() && report.facialParts.empty());
}

}  // namespace
