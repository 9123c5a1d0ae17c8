#include "exporter/validation/rig_names.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace {

template <std::size_t N>
void ExpectDistinctNames(const RigNameTable<N>& table, const char* what) {
  std::set<std::u16string> seen;
  for (const char16_t* name : table) {
    ASSERT_NE(name, nullptr) << what;
    EXPECT_TRUE(seen.insert(name).second) << what;
  }
  EXPECT_EQ(seen.size(), N) << what;
}

TEST(RigNames, TablesHoldTheirCountsOfDistinctNames) {
  static_assert(RequiredBodyBones.size() == 84);
  static_assert(RigBodyBones.size() == 94);
  static_assert(NubBones.size() == 21);
  static_assert(FootFloorBones.size() == 12);
  static_assert(HandFloorBones.size() == 12);
  static_assert(HandPivotBones.size() == 2);
  static_assert(FaceControlPoints.size() == 69);
  static_assert(FacialBones.size() == 32);
  static_assert(FaceMeshNames.size() == 6);
  static_assert(BodyPartMeshes.size() == 12);
  static_assert(FixedSelectionSets.size() == 7);
  static_assert(MotionSkeletonBones.size() == 55);
  ExpectDistinctNames(RequiredBodyBones, "required");
  ExpectDistinctNames(RigBodyBones, "rig");
  ExpectDistinctNames(NubBones, "nub");
  ExpectDistinctNames(FootFloorBones, "foot");
  ExpectDistinctNames(HandFloorBones, "hand");
  ExpectDistinctNames(HandPivotBones, "pivot");
  ExpectDistinctNames(FaceControlPoints, "control points");
  ExpectDistinctNames(FacialBones, "facial");
  ExpectDistinctNames(FaceMeshNames, "face meshes");
  ExpectDistinctNames(BodyPartMeshes, "body parts");
  ExpectDistinctNames(MotionSkeletonBones, "motion");
}

TEST(RigNames, AnchorsInTableOrder) {
  const struct {
    const char16_t* actual;
    const char16_t* expected;
  } anchors[] = {
      {RequiredBodyBones[0], u"KT_Head"},         {RequiredBodyBones[1], u"KT_NeckTwist01"},
      {RequiredBodyBones[44], u"KT_L_Finger00"},  {RequiredBodyBones[73], u"KT_R_Finger42"},
      {RequiredBodyBones[83], u"KT_R_Breast"},    {RigBodyBones[1], u"KT_Neck"},
      {RigBodyBones[22], u"KT_L_HandTwist"},      {RigBodyBones[51], u"KT_R_ForearmTwist03"},
      {RigBodyBones[52], u"KT_L_Finger00"},       {RigBodyBones[81], u"KT_R_Finger42"},
      {RigBodyBones[93], u"KT_R_Breast01"},       {NubBones[0], u"KT_HeadNub"},
      {NubBones[20], u"KT_R_Finger4Nub"},         {FootFloorBones[0], u"KT_L_Foot01_Floor01"},
      {FootFloorBones[11], u"KT_R_Foot01_Floor06"}, {HandFloorBones[6], u"KT_R_Hand01_Floor01"},
      {HandPivotBones[1], u"KT_R_Hand_Acc_Pivot"}, {FaceControlPoints[0], u"CP_01"},
      {FaceControlPoints[8], u"CP_09"},           {FaceControlPoints[68], u"CP_69"},
      {FacialBones[0], u"Bone_Connect"},          {FacialBones[8], u"Bone_facial-R02"},
      {FacialBones[31], u"Bone_Lip-Up"},          {FaceMeshNames[5], u"KT_Hair"},
      {BodyPartMeshes[6], u"KT_HairMesh"},        {BodyPartMeshes[11], u"KT_Tongue"},
      {MotionSkeletonBones[22], u"KT_R_Hand"},    {MotionSkeletonBones[23], u"KT_L_Finger00"},
      {MotionSkeletonBones[54], u"KT_R_Ribs"},
  };
  for (const auto& a : anchors) EXPECT_EQ(std::u16string(a.actual), std::u16string(a.expected));
}

TEST(RigNames, FixedSelectionSets) {
  const struct {
    const char16_t* name;
    KT::u32 vertices;
  } rows[] = {{u"connect01", 24}, {u"connect02", 24}, {u"connect03", 14}, {u"connect04", 14},
              {u"connect05", 12}, {u"connect06", 12}, {u"connect20", 28}};
  for (std::size_t i = 0; i < 7; ++i) {
    EXPECT_EQ(std::u16string(FixedSelectionSets[i].name), rows[i].name);
    EXPECT_EQ(FixedSelectionSets[i].vertices, rows[i].vertices);
  }
}

TEST(RigNames, TablesNestAsTheRigDoes) {
  // Every required bone and every motion bone is a rig body bone.
  for (const char16_t* name : RequiredBodyBones) EXPECT_TRUE(InRigTable(RigBodyBones, name));
  for (const char16_t* name : MotionSkeletonBones) EXPECT_TRUE(InRigTable(RigBodyBones, name));
}

TEST(RigNames, NamesCompareExactly) {
  EXPECT_TRUE(InRigTable(RigBodyBones, u"KT_Head"));
  EXPECT_FALSE(InRigTable(RigBodyBones, u"KT_head"));
  EXPECT_FALSE(InRigTable(RigBodyBones, u"KT_Head "));
  EXPECT_FALSE(InRigTable(FaceControlPoints, u"CP_1"));
  EXPECT_FALSE(InRigTable(FacialBones, u"Bone_Facial-R02"));
}

}  // namespace
