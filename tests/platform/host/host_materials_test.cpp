#include "platform/host/host_materials.h"

#include <gtest/gtest.h>

#include "platform/host/host_fixtures.h"
#include "platform/host/inode.h"

namespace KT::Host {
namespace {

TEST(HostMaterials, StandardMaterialAnswersItsParametersAndSlots) {
  std::unique_ptr<HostScene> scene = HostScene::Create(Testing::Materials("/maps"));
  ASSERT_NE(scene, nullptr);
  Mtl* mtl = scene->GetINodeByName("Plain")->GetMtl();
  ASSERT_NE(mtl, nullptr);
  ASSERT_EQ(mtl->ClassID(), STANDARD_MTL_CLASS_ID);
  auto* std = static_cast<StdMat*>(mtl);
  EXPECT_STREQ(std->GetName(), "Brick");
  EXPECT_TRUE(std->GetTwoSided());
  EXPECT_EQ(std->GetDiffuse(800), Color(0.5f, 0, 0.5f));  // keyed: halfway from red to blue
  EXPECT_EQ(std->GetAmbient(0), Color(0.1f, 0.1f, 0.1f));
  EXPECT_FLOAT_EQ(std->GetOpacity(0), 0.75f);
  EXPECT_FLOAT_EQ(std->GetTexmapAmt(1, 1600), 0.5f);  // keyed amount
  EXPECT_FLOAT_EQ(std->GetTexmapAmt(9, 0), 0.4f);
  EXPECT_FLOAT_EQ(std->GetTexmapAmt(12, 0), 0.0f);
  EXPECT_EQ(std->NumSubTexmaps(), 12);
  EXPECT_EQ(std->GetSubTexmap(0), nullptr);

  Texmap* diffuse = std->GetSubTexmap(1);
  ASSERT_NE(diffuse, nullptr);
  ASSERT_EQ(diffuse->ClassID(), BITMAP_TEX_CLASS_ID);
  EXPECT_STREQ(static_cast<BitmapTex*>(diffuse)->GetMapName(), "maps\\brick.png");
  EXPECT_EQ(diffuse->GetUVWSource(), 0);
  EXPECT_EQ(diffuse->GetMapChannel(), 2);
  auto* uv = static_cast<StdUVGen*>(diffuse->GetTheUVGen());
  ASSERT_NE(uv, nullptr);
  EXPECT_FLOAT_EQ(uv->GetUOffs(0), 0.25f);
  EXPECT_FLOAT_EQ(uv->GetUScl(0), 2.0f);
  EXPECT_FLOAT_EQ(uv->GetVScl(0), 3.0f);
  EXPECT_EQ(diffuse->GetInterface(I_REFLECTION_MAP), nullptr);

  Texmap* bump = std->GetSubTexmap(8);
  ASSERT_NE(bump, nullptr);
  EXPECT_EQ(bump->ClassID(), NORMAL_BUMP_CLASS_ID);
  EXPECT_EQ(bump->GetTheUVGen(), nullptr);
  ASSERT_NE(bump->GetSubTexmap(0), nullptr);
  EXPECT_EQ(bump->GetSubTexmap(0)->ClassID(), BITMAP_TEX_CLASS_ID);
  EXPECT_NE(std->GetSubTexmap(9)->GetInterface(I_REFLECTION_MAP), nullptr);
}

TEST(HostMaterials, MultiKeepsItsEmptySlotAndBlendItsMask) {
  std::unique_ptr<HostScene> scene = HostScene::Create(Testing::Materials("/maps"));
  Mtl* multi = scene->GetINodeByName("Wall")->GetMtl();
  ASSERT_EQ(multi->ClassID(), MULTI_MTL_CLASS_ID);
  ASSERT_EQ(multi->NumSubMtls(), 3);
  EXPECT_STREQ(multi->GetSubMtl(0)->GetName(), "Brick");
  EXPECT_EQ(multi->GetSubMtl(1), nullptr);
  EXPECT_STREQ(multi->GetSubMtl(2)->GetName(), "Plain");
  EXPECT_EQ(multi->GetSubMtl(0), scene->GetINodeByName("Plain")->GetMtl());  // shared
  EXPECT_EQ(multi->NumSubTexmaps(), 0);

  Mtl* blend = scene->GetINodeByName("Floor")->GetMtl();
  ASSERT_EQ(blend->ClassID(), BLEND_MTL_CLASS_ID);
  EXPECT_EQ(blend->NumSubMtls(), 2);
  EXPECT_EQ(blend->GetSubMtl(1), multi);
  ASSERT_NE(blend->GetSubTexmap(0), nullptr);
  EXPECT_STREQ(static_cast<BitmapTex*>(blend->GetSubTexmap(0))->GetMapName(), "mask.png");
  EXPECT_EQ(scene->GetINodeByName("Bare")->GetMtl(), nullptr);
}

}  // namespace
}  // namespace KT::Host
