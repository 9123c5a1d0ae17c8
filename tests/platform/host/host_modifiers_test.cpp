#include "platform/host/host_modifiers.h"

#include <gtest/gtest.h>

#include "platform/host/host_fixtures.h"
#include "platform/host/inode.h"

namespace KT::Host {
namespace {

// The prop's stack from the top: Unwrap, UvwMap, excluded MeshSelect,
// MeshSelect, Morpher, Skin or Physique.
struct Prop {
  explicit Prop(bool physique) : scene(HostScene::Create(Testing::SkinnedProp(physique))) {
    node = scene->GetINodeByName("Prop");
    derived = static_cast<IDerivedObject*>(node->GetObjectRef());
  }
  std::unique_ptr<HostScene> scene;
  INode* node = nullptr;
  IDerivedObject* derived = nullptr;
};

TEST(HostModifiers, StackRunsFromTheTopWithClassIdsAndTheExclusionQuery) {
  Prop prop(false);
  ASSERT_EQ(prop.derived->NumModifiers(), 6);
  const Class_ID expected[] = {UNWRAP_UVW_CLASS_ID, UVW_MAP_CLASS_ID, MESH_SELECT_CLASS_ID,
                               MESH_SELECT_CLASS_ID, MORPHER_CLASS_ID, SKIN_CLASS_ID};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(prop.derived->GetModifier(i)->ClassID(), expected[i]) << i;
  EXPECT_NE(prop.derived->GetModifier(2)->GetInterface(MODIFIER_EXCLUDED_INTERFACE), nullptr);
  EXPECT_EQ(prop.derived->GetModifier(3)->GetInterface(MODIFIER_EXCLUDED_INTERFACE), nullptr);
  EXPECT_EQ(prop.derived->GetModifier(6), nullptr);
  EXPECT_EQ(prop.derived->GetModContext(-1), nullptr);
}

TEST(HostModifiers, SkinAnswersBonesAndWeightsForItsNodeOnly) {
  Prop prop(false);
  Modifier* m = prop.derived->GetModifier(5);
  auto* skin = static_cast<ISkin*>(m->GetInterface(I_SKIN_INTERFACE));
  ASSERT_NE(skin, nullptr);
  EXPECT_EQ(skin->GetNumBones(), 2);
  EXPECT_STREQ(skin->GetBone(1)->GetName(), "Bone Tip");
  EXPECT_EQ(skin->GetBone(2), nullptr);
  EXPECT_EQ(skin->GetContextInterface(prop.scene->GetINodeByName("Bone Root")), nullptr);
  ISkinContextData* data = skin->GetContextInterface(prop.node);
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(data->GetNumPoints(), 4);
  EXPECT_EQ(data->GetNumAssignedBones(0), 0);
  ASSERT_EQ(data->GetNumAssignedBones(1), 2);
  EXPECT_EQ(data->GetAssignedBone(1, 1), 1);
  EXPECT_FLOAT_EQ(data->GetBoneWeight(1, 0), 0.5f);
  EXPECT_FLOAT_EQ(data->GetBoneWeight(1, 1), 0.3f);
  EXPECT_EQ(data->GetAssignedBone(1, 2), -1);
  EXPECT_EQ(data->GetNumAssignedBones(9), 0);
  m->ReleaseInterface(I_SKIN_INTERFACE, skin);
  const ModifierLog* log = prop.scene->GetModifierLog(2, 5);
  ASSERT_NE(log, nullptr);
  EXPECT_EQ(log->interfacesTaken, 1);
  EXPECT_EQ(log->interfacesReleased, 1);
}

TEST(HostModifiers, PhysiqueAnswersRigidAndBlendedVerticesAndRecordsItsCalls) {
  Prop prop(true);
  Modifier* m = prop.derived->GetModifier(5);
  EXPECT_EQ(m->ClassID(), PHYSIQUE_CLASS_ID);
  auto* phy = static_cast<IPhysiqueExport*>(m->GetInterface(I_PHYSIQUE_EXPORT));
  ASSERT_NE(phy, nullptr);
  IPhyContextExport* ctx = phy->GetContextInterface(prop.node);
  ASSERT_NE(ctx, nullptr);
  ctx->ConvertToRigid(TRUE);
  ctx->AllowBlending(TRUE);
  EXPECT_EQ(ctx->GetNumberVertices(), 4);
  IPhyVertexExport* rigid = ctx->GetVertexInterface(0);
  ASSERT_NE(rigid, nullptr);
  EXPECT_EQ(rigid->GetVertexType(), RIGID_TYPE);
  EXPECT_STREQ(static_cast<IPhyRigidVertex*>(rigid)->GetNode()->GetName(), "Bone Root");
  ctx->ReleaseVertexInterface(rigid);
  EXPECT_EQ(ctx->GetVertexInterface(1), nullptr);
  auto* blended = static_cast<IPhyBlendedRigidVertex*>(ctx->GetVertexInterface(2));
  ASSERT_NE(blended, nullptr);
  EXPECT_EQ(blended->GetVertexType(), RIGID_BLENDED_TYPE);
  ASSERT_EQ(blended->GetNumberNodes(), 2);
  EXPECT_STREQ(blended->GetNode(1)->GetName(), "Bone Tip");
  EXPECT_FLOAT_EQ(blended->GetWeight(1), 0.3f);
  ctx->ReleaseVertexInterface(blended);
  phy->ReleaseContextInterface(ctx);
  m->ReleaseInterface(I_PHYSIQUE_EXPORT, phy);
  const ModifierLog* log = prop.scene->GetModifierLog(2, 5);
  ASSERT_NE(log, nullptr);
  EXPECT_EQ(log->convertToRigid, std::vector<BOOL>{TRUE});
  EXPECT_EQ(log->allowBlending, std::vector<BOOL>{TRUE});
  EXPECT_EQ(log->verticesReleased, 2);
  EXPECT_EQ(log->contextsReleased, 1);
  EXPECT_EQ(log->interfacesReleased, 1);
}

TEST(HostModifiers, MorpherKeepsEmptyChannels) {
  Prop prop(false);
  auto* morpher = static_cast<MorpherModifier*>(prop.derived->GetModifier(4));
  ASSERT_EQ(morpher->NumChannels(), 3);
  EXPECT_STREQ(morpher->GetChannelName(1), "Empty");
  EXPECT_EQ(morpher->NumChannelDeltas(1), 0);
  EXPECT_EQ(morpher->NumChannelDeltas(0), 3);
  EXPECT_EQ(morpher->GetChannelDelta(0, 0), Point3(0.01f, 0, -0.02f));
  EXPECT_EQ(morpher->GetChannelDelta(0, 3), Point3());
  EXPECT_EQ(morpher->GetChannelName(3), nullptr);
}

TEST(HostModifiers, MeshSelectionSetsComeThroughTheContextsLocalData) {
  Prop prop(false);
  ModContext* context = prop.derived->GetModContext(3);
  ASSERT_NE(context, nullptr);
  ASSERT_NE(context->localData, nullptr);
  EXPECT_EQ(context->localData->GetInterface(I_MESH_SELECT_DATA + 1), nullptr);
  auto* data = static_cast<IMeshSelectData*>(context->localData->GetInterface(I_MESH_SELECT_DATA));
  ASSERT_NE(data, nullptr);
  GenericNamedSelSetList& sets = data->GetNamedVertSelList();
  ASSERT_EQ(sets.Count(), 3);
  EXPECT_STREQ(sets.GetName(0), "A");
  EXPECT_EQ(sets.GetSetByIndex(0)->GetInlineWord(), 0x21u);
  EXPECT_TRUE(sets.GetSetByIndex(1)->IsEmpty());
  BitArray* longSet = sets.GetSetByIndex(2);
  EXPECT_EQ(longSet->GetSize(), 40);
  EXPECT_EQ(longSet->GetNthBitImpl(39), 1);
  EXPECT_EQ(sets.GetSetByIndex(3), nullptr);
  EXPECT_EQ(sets.GetName(3), nullptr);
  // The skin's context holds no local data.
  EXPECT_EQ(prop.derived->GetModContext(5)->localData, nullptr);
}

TEST(HostModifiers, UvwMapAndUnwrapAnswerTheirChannels) {
  Prop prop(false);
  int channel = -7;
  Interval valid(TIME_NegInfinity, TIME_PosInfinity);
  Modifier* uvw = prop.derived->GetModifier(1);
  EXPECT_TRUE(uvw->GetParamValue(UVW_MAP_PARAM_CHANNEL, 0, channel, valid));
  EXPECT_EQ(channel, 3);
  EXPECT_FALSE(uvw->GetParamValue(12, 0, channel, valid));
  EXPECT_EQ(uvw->GetInterface(UNWRAP_CHANNEL_INTERFACE), nullptr);
  auto* unwrap = dynamic_cast<IUnwrapChannel*>(prop.derived->GetModifier(0)->GetInterface(UNWRAP_CHANNEL_INTERFACE));
  ASSERT_NE(unwrap, nullptr);
  EXPECT_EQ(unwrap->GetMapChannel(), 0);
}

}  // namespace
}  // namespace KT::Host
