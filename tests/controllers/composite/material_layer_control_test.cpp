// The material layer controller: weights from its keys, the blend of its
// children's channel blocks, the child list, copies and every record form.
#include "controllers/composite/material_layer_control.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "controllers/keyed/keyed_test_support.h"
#include "objectmodel/class_factory.h"
#include "render/materials/material_attribute_control.h"
#include "render/materials/standard_material.h"
#include "render/materials/texture_maps.h"

namespace KT {
namespace {

using test::ByteWriter;
using Layer = CMaterialLayerControl;
using Vec = CVector3<float>;

// A child whose whole channel block is `value` at every time.
CPointer<CMaterialAttributeControl> Child(f32 value) {
  CPointer<CMaterialAttributeControl> child(new CMaterialAttributeControl());
  const Vec v{value, value, value};
  EXPECT_EQ(child->SetLightKey(0, 1000.0f, v, v, v, value, value, value), kOk);
  EXPECT_EQ(child->SetSelfKey(0, 1000.0f, value, value, value), kOk);
  CMaterialDataControl::Weights weights;
  weights.fill(value);
  EXPECT_EQ(child->SetTextureKey(0, 1000.0f, weights), kOk);
  return child;
}

// Every float of a controller's channel block.
std::vector<f32> BlockOf(const CMaterialDataControl& c) {
  std::vector<f32> out;
  for (const Vec& v : {c.GetAmbient(), c.GetDiffuse(), c.GetSpecular()}) out.insert(out.end(), {v.x, v.y, v.z});
  out.insert(out.end(), {c.GetShininess(), c.GetShineStrength(), c.GetSelfIllum(), c.GetOpacity(), c.GetOpfall(),
                         c.GetSoftThresh()});
  out.insert(out.end(), c.GetWeights().begin(), c.GetWeights().end());
  return out;
}

void ExpectBlock(const CMaterialDataControl& c, f32 value) {
  const std::vector<f32> block = BlockOf(c);
  ASSERT_EQ(block.size(), 27u);
  for (std::size_t i = 0; i < block.size(); ++i) EXPECT_NEAR(block[i], value, 1e-6f) << "float " << i;
}

class MaterialLayerControlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CClassFactory::Register("CMaterialLayerControl", &CreateObject<Layer>);
    CClassFactory::Register("CMaterialAttributeControl", &CreateObject<CMaterialAttributeControl>);
    CClassFactory::Register("CStandardMaterial", &CreateObject<CStandardMaterial>);
    test::UseTestIds(0);
    material_ = new CStandardMaterial();
    layer_ = new Layer();
    ASSERT_EQ(material_->AddControl(layer_.Get()), kOk);
  }
  void AddChildren(std::initializer_list<f32> values) {
    for (const f32 value : values) ASSERT_EQ(layer_->AddChild(Child(value).Get()), kOk);
  }

  CPointer<CStandardMaterial> material_;
  CPointer<Layer> layer_;
};

TEST_F(MaterialLayerControlTest, WithoutKeysEveryChildCountsTheSame) {
  AddChildren({1.0f, 1.0f, 1.0f});
  ASSERT_EQ(layer_->Update(0), kOk);
  ExpectBlock(*layer_, 1.0f);
  const std::vector<f32> thirds = layer_->EvaluateWeights(0);
  ASSERT_EQ(thirds.size(), 3u);
  for (const f32 w : thirds) EXPECT_EQ(w, static_cast<f32>(1.0 / 3.0));

  CPointer<Layer> other(new Layer());
  CPointer<CStandardMaterial> second(new CStandardMaterial());
  ASSERT_EQ(second->AddControl(other.Get()), kOk);
  for (const f32 value : {3.0f, 6.0f, 9.0f}) ASSERT_EQ(other->AddChild(Child(value).Get()), kOk);
  ASSERT_EQ(other->Update(0), kOk);
  ExpectBlock(*other, 6.0f);
  // Apply writes the blend into the material.
  ASSERT_EQ(other->Apply(), kOk);
  EXPECT_NEAR(second->Opacity, 6.0f, 1e-5f);
}

TEST_F(MaterialLayerControlTest, KeysAreLerpedWithoutEasing) {
  AddChildren({1.0f, 0.0f});
  ASSERT_EQ(layer_->SetKeys({0, 1000}, {{1.0f, 0.0f}, {0.0f, 1.0f}}), kOk);
  struct Row {
    i32 time;
    f32 first;
    f32 second;
  };
  for (const Row& row : {Row{250, 0.75f, 0.25f}, Row{-100, 1.0f, 0.0f}, Row{0, 1.0f, 0.0f}, Row{1000, 0.0f, 1.0f},
                         Row{2000, 0.0f, 1.0f}, Row{500, 0.5f, 0.5f}}) {
    SCOPED_TRACE(row.time);
    EXPECT_EQ(layer_->EvaluateWeights(row.time), (std::vector<f32>{row.first, row.second}));
    ASSERT_EQ(layer_->Update(row.time), kOk);
    ExpectBlock(*layer_, row.first);
  }
}

TEST_F(MaterialLayerControlTest, WeightsNeedNotSumToOne) {
  AddChildren({0.5f, 0.5f});
  ASSERT_EQ(layer_->SetKeys({0}, {{1.0f, 1.0f}}), kOk);
  ASSERT_EQ(layer_->Update(100), kOk);
  ExpectBlock(*layer_, 1.0f);
}

TEST_F(MaterialLayerControlTest, AShortWeightListGivesTheMissingChildrenNothing) {
  AddChildren({1.0f, 5.0f, 7.0f});
  ASSERT_EQ(layer_->SetKeys({0, 1000}, {{1.0f}, {1.0f, 0.5f}}), kOk);
  EXPECT_EQ(layer_->EvaluateWeights(500), (std::vector<f32>{1.0f, 0.25f, 0.0f}));
  ASSERT_EQ(layer_->Update(500), kOk);
  ExpectBlock(*layer_, 1.0f + 0.25f * 5.0f);
}

TEST_F(MaterialLayerControlTest, EmptyListsEvaluate) {
  // Keys without children: the block stays zero.
  ASSERT_EQ(layer_->SetKeys({0}, {{1.0f}}), kOk);
  ASSERT_EQ(layer_->Update(0), kOk);
  ExpectBlock(*layer_, 0.0f);
  EXPECT_TRUE(layer_->EvaluateWeights(0).empty());
  // Neither keys nor children.
  ASSERT_EQ(layer_->SetKeys({}, {}), kOk);
  ASSERT_EQ(layer_->Update(0), kOk);
  ExpectBlock(*layer_, 0.0f);
  EXPECT_EQ(layer_->SetKeys({0, 1}, {{1.0f}}), kErrInvalidArg);
  EXPECT_TRUE(layer_->GetShareTimes().empty());
}

TEST_F(MaterialLayerControlTest, RefusesWhatItCannotEvaluate) {
  CPointer<Layer> loose(new Layer());
  EXPECT_EQ(loose->Update(0), kErrInvalidArg);
  CPointer<CTextureMap> map(new CTextureMap());
  ASSERT_EQ(map->AddControl(loose.Get()), kOk);
  EXPECT_EQ(loose->Update(0), kErrNotFound);
  AddChildren({1.0f});
  layer_->SetActive(false);
  EXPECT_EQ(layer_->Update(0), kDone);
  ExpectBlock(*layer_, 0.0f);
}

TEST_F(MaterialLayerControlTest, ChildrenAreBoundToTheMaterialAndUpdateAtTheGlobalTime) {
  CPointer<CMaterialAttributeControl> child(new CMaterialAttributeControl());
  const Vec black{0, 0, 0};
  const Vec white{1, 1, 1};
  ASSERT_EQ(child->SetLightKey(0, 1000.0f, black, black, black, 0, 0, 0), kOk);
  ASSERT_EQ(child->SetLightKey(1000, 1000.0f, white, black, black, 0, 0, 0), kOk);
  ASSERT_EQ(layer_->AddChild(child.Get()), kOk);
  EXPECT_EQ(child->GetObject(), material_.Get());
  // The layer's Repeat and Frequency fold only the key time, not the time
  // the children see.
  layer_->SetFrequency(2.0f);
  ASSERT_EQ(layer_->Update(250), kOk);
  EXPECT_FLOAT_EQ(layer_->GetAmbient().x, 0.25f);
}

TEST_F(MaterialLayerControlTest, CloneIsNotAvailable) {
  AddChildren({1.0f});
  CloneMap cloneMap;
  CPointer<CBase> out;
  EXPECT_EQ(layer_->Clone(out, cloneMap, 0), kErrNotAvailable);
  EXPECT_EQ(out.Get(), nullptr);
}

TEST_F(MaterialLayerControlTest, CopiesTakeKeysAndCopyToMovesTheChildren) {
  AddChildren({1.0f, 2.0f});
  ASSERT_EQ(layer_->SetKeys({0, 1000}, {{1.0f, 0.0f}, {0.0f, 1.0f}}), kOk);
  ASSERT_EQ(layer_->Update(500), kOk);
  CPointer<CBase> out;
  ASSERT_EQ(layer_->CreateInstance(out), kOk);
  auto* instance = DynamicCast<Layer>(out.Get());
  ASSERT_NE(instance, nullptr);
  EXPECT_EQ(instance->GetChildCount(), 0u);
  EXPECT_EQ(instance->GetShareTimes(), layer_->GetShareTimes());
  EXPECT_EQ(instance->GetSharedLastIndex(), layer_->GetSharedLastIndex());
  EXPECT_FLOAT_EQ(instance->GetAmbient().x, 1.5f);

  CPointer<Layer> target(new Layer());
  DisplacedList displaced;
  ASSERT_EQ(layer_->CopyTo(target.Get(), displaced, 0), kOk);
  EXPECT_EQ(target->GetChildCount(), 2u);
  EXPECT_EQ(layer_->GetChildCount(), 0u);
  EXPECT_EQ(target->GetWeightLists(), (std::vector<Layer::WeightList>{{1.0f, 0.0f}, {0.0f, 1.0f}}));
  EXPECT_EQ(target->GetChild(0)->GetOwners(), (std::vector<CControl*>{target.Get()}));
  CPointer<CMaterialAttributeControl> other(new CMaterialAttributeControl());
  EXPECT_EQ(target->CopyTo(other.Get(), displaced, 0), kErrNotFound);
}

TEST_F(MaterialLayerControlTest, SaveSizeCountsKeysChildrenAndTimes) {
  const u32 base = layer_->CMaterialDataControl::GetSaveSize();
  EXPECT_EQ(layer_->GetSaveSize(), base + 8 + 4 + 4 + 4);
  AddChildren({1.0f, 2.0f});
  ASSERT_EQ(layer_->SetKeys({0, 1000}, {{1.0f}, {0.0f, 1.0f, 2.0f}}), kOk);
  EXPECT_EQ(layer_->GetSaveSize(), base + 8 + 4 + (4 + 4) + (4 + 12) + (4 + 16) + (4 + 8));
}

TEST_F(MaterialLayerControlTest, ASavedAndLoadedLayerKeepsItsChildren) {
  AddChildren({1.0f, 3.0f});
  ASSERT_EQ(layer_->SetKeys({0, 1000}, {{1.0f, 0.0f}, {0.0f, 1.0f}}), kOk);
  test::ExpectSceneRoundTrip(*material_);

  test::UseTestIds(0);
  const test::Bytes file = test::SaveRoots({material_.Get()});
  CStream stream;
  CMemoryIo device;
  ASSERT_EQ(test::LoadScene(file, stream, device), kOk);
  auto* material = DynamicCast<CStandardMaterial>(stream.GetRootObject(0));
  ASSERT_NE(material, nullptr);
  auto* layer = DynamicCast<Layer>(material->GetFirstControl());
  ASSERT_NE(layer, nullptr);
  ASSERT_EQ(layer->GetChildCount(), 2u);
  for (u32 j = 0; j < 2; ++j) {
    SCOPED_TRACE(j);
    ASSERT_NE(layer->GetChild(j), nullptr);
    EXPECT_EQ(layer->GetChild(j)->GetObject(), material);
    EXPECT_EQ(layer->GetChild(j)->GetOwners(), (std::vector<CControl*>{layer}));
  }
  ASSERT_EQ(material->Update(250), kOk);
  EXPECT_FLOAT_EQ(material->Opacity, 0.75f * 1.0f + 0.25f * 3.0f);
}

// --- older records -------------------------------------------------------------------------------

// The levels below the layer's own.
ByteWriter LayerHead() {
  ByteWriter w;
  test::BasePart(w, 0x10);
  test::DorunPart(w, 0);
  test::ControlPart(w, test::ControlFields{}).Pair(2, 0).Pair(2, 0);
  return w;
}

// A material attribute controller of id `id` without keys whose
// controller part has the 2.02 layout (no owner list).
ByteWriter OldChild(u64 id) {
  ByteWriter w;
  test::BasePart(w, id);
  test::DorunPart(w, 0);
  w.Pair(2, 2).U32(0).F32(0.0f).F32(1.0f).F32(1.0f).U8(1).U64(0).U64(0);
  w.Pair(2, 0).Pair(2, 0).Pair(2, 3).U32(0).U32(0).U32(0);
  return w;
}

// A layer record of version 2.`minor` with one key at `time` and the child
// 0x30.
ByteWriter LayerRecord(u32 minor, f32 time, u32 timeCount = 1) {
  ByteWriter w = LayerHead();
  w.Pair(2, minor).U32(1);
  test::FloatArray(w, {0.5f});
  w.U32(1);
  if (minor >= 1) {
    w.U64(0x30);
  } else {
    w.U32(0x30);
  }
  w.U32(timeCount);
  for (u32 i = 0; i < timeCount; ++i) {
    if (minor >= 2) {
      w.I32(static_cast<i32>(time));
    } else {
      w.F32(time);
    }
  }
  return w;
}

TEST_F(MaterialLayerControlTest, OlderRecordsLoadAndLinkTheirChildren) {
  struct Row {
    const char* what;
    u32 minor;
  };
  for (const Row& row : {Row{"2.00: 4-byte ids, f32 times", 0}, Row{"2.01: f32 times", 1},
                         Row{"2.02: i32 times", 2}}) {
    SCOPED_TRACE(row.what);
    const test::Bytes file = test::SceneImage()
                                 .Record("CMaterialLayerControl", LayerRecord(row.minor, 999.7f), true)
                                 .Record("CMaterialAttributeControl", OldChild(0x30))
                                 .Data();
    CStream stream;
    CMemoryIo device;
    ASSERT_EQ(test::LoadScene(file, stream, device), kOk);
    auto* layer = DynamicCast<Layer>(stream.GetRootObject(0));
    ASSERT_NE(layer, nullptr);
    EXPECT_EQ(layer->GetShareTimes(), std::vector<i32>{999});
    EXPECT_EQ(layer->GetWeightLists(), std::vector<Layer::WeightList>{{0.5f}});
    ASSERT_EQ(layer->GetChildCount(), 1u);
    ASSERT_NE(layer->GetChild(0), nullptr);
    // The child's record stores no owner list: the layer lists itself.
    EXPECT_EQ(layer->GetChild(0)->GetOwners(), (std::vector<CControl*>{layer}));
    test::ExpectPrefixesFailBetweenRecords(file, test::kFirstRecordAt);
  }
}

TEST_F(MaterialLayerControlTest, KeyTimesAndWeightListsOfDifferentCountsAreRefused) {
  for (const u32 times : {0u, 2u}) {
    SCOPED_TRACE(times);
    const test::Bytes file = test::SceneImage()
                                 .Record("CMaterialLayerControl", LayerRecord(2, 10.0f, times), true)
                                 .Record("CMaterialAttributeControl", OldChild(0x30))
                                 .Data();
    CStream stream;
    CMemoryIo device;
    EXPECT_EQ(test::LoadScene(file, stream, device), kErrNotFound);
  }
  ByteWriter newer = LayerHead();
  newer.Pair(2, 3).U32(0).U32(0).U32(0);
  CStream stream;
  CMemoryIo device;
  EXPECT_EQ(test::LoadRecord("CMaterialLayerControl", newer, stream, device), kErrNewerVersion);
}

}  // namespace
}  // namespace KT
