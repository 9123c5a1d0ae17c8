#include "exporter/plugin/conversion_helpers.h"

#include <gtest/gtest.h>

#include "render/lights/directional_light.h"
#include "render/lights/point_light.h"
#include "render/lights/spot_light.h"

namespace {

TEST(ConversionHelpers, WidenMatrixAddsTheFourthColumn) {
  const float rows[12] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
  const KT::CMatrix4 m = WidenMatrix(Matrix3(rows));
  const float expected[4][4] = {{1, 2, 3, 0}, {4, 5, 6, 0}, {7, 8, 9, 0}, {10, 11, 12, 1}};
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) EXPECT_EQ(m.m[r][c], expected[r][c]) << r << "," << c;
}

TEST(ConversionHelpers, RigBoneNamesComeFromTheSevenTables) {
  const struct {
    const char16_t* name;
    bool rig;
  } cases[] = {
      {u"KT_Head", true},           {u"KT_L_Breast01", true},       {u"KT_R_Foot01_Floor06", true},
      {u"KT_L_Hand01_Floor01", true}, {u"KT_R_Hand_Acc_Pivot", true}, {u"KT_HeadNub", true},
      {u"CP_69", true},             {u"Bone_Lip-Up", true},         {u"KT_head", false},
      {u"KT_Hair", false},          {u"KT_Lower", false},           {u"CP_70", false},
      {u"", false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsRigBoneName(c.name), c.rig) << KT::WString(c.name).size();
}

TEST(ConversionHelpers, FindNameIndex) {
  const char16_t* names[] = {u"a", u"b", u"b"};
  int index = -7;
  EXPECT_TRUE(FindNameIndex(u"b", names, 3, index));
  EXPECT_EQ(index, 1);
  index = -7;
  EXPECT_FALSE(FindNameIndex(u"B", names, 3, index));
  EXPECT_FALSE(FindNameIndex(u"b", names, 1, index));
  EXPECT_FALSE(FindNameIndex(u"a", names, 0, index));
  EXPECT_FALSE(FindNameIndex(u"a", names, -1, index));
  EXPECT_EQ(index, -7);
}

TEST(ConversionHelpers, TextureSlotOfMapChannel) {
  const int slots[] = {12, 1, 2, 12, 4, 12, 6, 12, 8, 9, 10, 12, 12};
  for (int channel = 0; channel < 13; ++channel) EXPECT_EQ(TextureSlotOfMapChannel(channel), slots[channel]) << channel;
  EXPECT_EQ(TextureSlotOfMapChannel(-1), 12);
}

TEST(ConversionHelpers, NodeCodeTable) {
  const KT::u32 codes[] = {0, 0x1000100, 0x1000200, 0x1000300, 0x1000000, 0x2000000, 0x3000000, 0};
  for (int index = -1; index < 7; ++index) EXPECT_EQ(NodeCodeFromIndex(index), codes[index + 1]) << index;
}

TEST(ConversionHelpers, LightVectorSetters) {
  KT::CPointer<KT::CSpotLight> spot(new KT::CSpotLight);
  KT::CPointer<KT::CPointLight> point(new KT::CPointLight);
  KT::CPointer<KT::CDirectionalLight> sun(new KT::CDirectionalLight);
  spot->SetModified(false);
  EXPECT_TRUE(SetLightLocation(spot.Get(), 1, 2, 3));
  EXPECT_TRUE(SetLightDirection(spot.Get(), 0, 0, -1));
  EXPECT_EQ(spot->GetLocation(), (KT::CVector3<float>{1, 2, 3}));
  EXPECT_EQ(spot->GetDirection(), (KT::CVector3<float>{0, 0, -1}));
  EXPECT_TRUE(spot->IsModified());
  EXPECT_TRUE(SetLightLocation(point.Get(), 4, 5, 6));
  EXPECT_EQ(point->GetLocation(), (KT::CVector3<float>{4, 5, 6}));
  EXPECT_FALSE(SetLightDirection(point.Get(), 1, 0, 0));
  EXPECT_TRUE(SetLightDirection(sun.Get(), 0, 1, 0));
  EXPECT_EQ(sun->GetDirection(), (KT::CVector3<float>{0, 1, 0}));
  EXPECT_FALSE(SetLightLocation(sun.Get(), 1, 1, 1));
  EXPECT_FALSE(SetLightLocation(nullptr, 1, 1, 1));
}

}  // namespace
