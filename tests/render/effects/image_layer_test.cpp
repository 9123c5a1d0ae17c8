// The image layer: defaults, the projection of its update, the record with
// its gates on the file and class versions, copies and the content
// reference.
#include <gtest/gtest.h>

#include "effects_test_support.h"
#include "render/effects/image_layer.h"
#include "render/effects/video.h"
#include "render/lights/light_test_support.h"
#include "scene/node.h"
#include "scene/scene_test_classes.h"

namespace KT {
namespace {

using test::ByteWriter;
using test::Bytes;

class ImageLayerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::RegisterEffectClasses();
    test::UseTestIds(0);
  }
};

// The layer's own fields as stored (IsFitScreen only with `fit`), up to
// PivotType.
ByteWriter& LayerFields(ByteWriter& w, bool fit) {
  w.F32(2.0f).F32(1.0f).F32(2.0f).F32(3.0f).F32(4.0f).F32(5.0f).F32(6.0f);
  w.U32(640).U32(480).U32(2).U32(3);
  w.U32(CImageLayer::CT_Screen).U32(CImageLayer::CT_Project).U32(CImageLayer::CT_Screen);
  w.U8(1).U8(0);
  if (fit) w.U8(1);
  return w.U32(CImageLayer::PT_LeftButtom);
}

TEST_F(ImageLayerTest, NewLayerIsCentredAtDepthOne) {
  CImageLayer layer;
  EXPECT_EQ(layer.ZValue, 1.0f);
  EXPECT_EQ(layer.ProjPos, CVector2(0.0f, 0.0f));
  EXPECT_EQ(layer.ProjWidth + layer.ProjHeight, 0.0f);
  EXPECT_EQ(layer.ScreenWidth + layer.ScreenHeight + layer.Row + layer.Column, 0u);
  EXPECT_EQ(layer.PosType + layer.WidthType + layer.HeightType, 0u);
  EXPECT_FALSE(layer.Tiled || layer.BlurByDOF || layer.IsFitScreen);
  EXPECT_EQ(layer.PivotType, u32{CImageLayer::PT_Center});
  EXPECT_EQ(layer.GetContent(), nullptr);
  EXPECT_EQ(std::u16string(CImageLayer::kPivotNames[1]), u"PT_LeftButtom");
}

TEST_F(ImageLayerTest, UpdateProjectsTheWorldMatrix) {
  CImageLayer layer;
  layer.SetWorld(CMatrix3(), CMatrix3(), test::ScaledWorld({3.0f, 2.0f, 1.0f}, {5.0f, 7.0f, 9.0f}));
  ASSERT_EQ(layer.Update(0), kOk);
  EXPECT_EQ(layer.ProjPos, CVector2(5.0f, 7.0f));
  EXPECT_FLOAT_EQ(layer.ProjWidth, 6.0f);
  EXPECT_FLOAT_EQ(layer.ProjHeight, 4.0f);
}

TEST_F(ImageLayerTest, FailingUpdateChangesNothing) {
  CImageLayer layer;
  CPointer<test::CTestControl> control(new test::CTestControl());
  control->updateResult = kErrNotFound;
  ASSERT_EQ(layer.AddControl(control.Get()), kOk);
  layer.SetWorld(CMatrix3(), CMatrix3(), test::ScaledWorld({3.0f, 2.0f, 1.0f}, {5.0f, 7.0f, 9.0f}));
  EXPECT_EQ(layer.Update(0), kErrNotFound);
  EXPECT_EQ(layer.ProjWidth, 0.0f);
}

TEST_F(ImageLayerTest, RecordsByFileAndClassVersion) {
  struct Case {
    const char* fileVersion;
    i32 classMinor;  // -1: no version pair
    bool fit;
    bool wideId;
    i32 discarded;     // entries of the discarded list (-1: no list)
    u32 entryBytes;
  };
  const Case cases[] = {
      {"2.00", -1, false, false, 2, 4},  // the file version stands in for the class version
      {"3.00", 1, true, false, 1, 4},
      {"3.00", 2, true, false, 0, 4},
      {"3.00", 3, true, true, 2, 8},     // two legacy entries: 16 bytes skipped
      {"3.00", 4, true, true, -1, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.fileVersion) + " / " + std::to_string(c.classMinor));
    ByteWriter w = test::SpatialHead(1);
    if (c.classMinor >= 0) w.Pair(2, static_cast<u32>(c.classMinor));
    LayerFields(w, c.fit);
    if (c.wideId) {
      w.U64(0);
    } else {
      w.U32(0);
    }
    if (c.discarded >= 0) {
      w.U32(static_cast<u32>(c.discarded));
      for (i32 i = 0; i < c.discarded * static_cast<i32>(c.entryBytes); ++i) w.U8(0xAB);
    }
    CStream stream;
    CMemoryIo device;
    test::StreamAtFileVersion(stream, device, c.fileVersion, w.Data());
    CPointer<CImageLayer> layer(new CImageLayer());
    CStreamLoadRecord record;
    record.object = layer;
    ASSERT_EQ(layer->Load(stream, record, 0), kOk);
    EXPECT_EQ(stream.GetRemaining(), 0u);
    EXPECT_EQ(layer->ZValue, 2.0f);
    EXPECT_EQ(layer->ProjPos, CVector2(1.0f, 2.0f));
    EXPECT_EQ(layer->ScreenPos, CVector2(5.0f, 6.0f));
    EXPECT_EQ(layer->ScreenWidth, 640u);
    EXPECT_EQ(layer->Column, 3u);
    EXPECT_EQ(layer->HeightType, u32{CImageLayer::CT_Screen});
    EXPECT_TRUE(layer->Tiled);
    EXPECT_EQ(layer->IsFitScreen, c.fit);
    EXPECT_EQ(layer->PivotType, u32{CImageLayer::PT_LeftButtom});
    // Every shorter record fails.
    for (std::size_t n = 0; n < w.Size(); ++n) {
      CStream cut;
      CMemoryIo cutDevice;
      test::StreamAtFileVersion(cut, cutDevice, c.fileVersion, Bytes(w.Data().begin(), w.Data().begin() + n));
      CPointer<CImageLayer> partial(new CImageLayer());
      CStreamLoadRecord partialRecord;
      partialRecord.object = partial;
      EXPECT_LT(partial->Load(cut, partialRecord, 0), 0) << n;
    }
  }
}

TEST_F(ImageLayerTest, HugeDiscardedListIsRefused) {
  ByteWriter w = test::SpatialHead(1);
  w.Pair(2, 3);
  LayerFields(w, true).U64(0).U32(0xFFFFFFFFu);
  CStream stream;
  CMemoryIo device;
  test::StreamAtFileVersion(stream, device, "3.00", w.Data());
  CPointer<CImageLayer> layer(new CImageLayer());
  CStreamLoadRecord record;
  record.object = layer;
  EXPECT_EQ(layer->Load(stream, record, 0), kErrStream);
}

TEST_F(ImageLayerTest, SavesSeventyNineBytesOfItsOwnAndLoadsThemBack) {
  CPointer<test::CTestDorun> content(new test::CTestDorun());
  CPointer<CImageLayer> layer(new CImageLayer());
  layer->ZValue = 0.5f;
  layer->ScreenPos = CVector2(10.0f, 20.0f);
  layer->Row = 4;
  layer->IsFitScreen = true;
  layer->PivotType = CImageLayer::PT_RightTop;
  ASSERT_EQ(layer->SetContent(content.Get()), kOk);
  const Bytes bytes = test::SaveObjectRecord(*layer);
  ASSERT_EQ(bytes.size(), layer->GetSaveSize());
  test::LoadedFile loaded;
  auto* copy = DynamicCast<CImageLayer>(test::SaveAndLoad(loaded, *layer));
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->ZValue, 0.5f);
  EXPECT_EQ(copy->ScreenPos, CVector2(10.0f, 20.0f));
  EXPECT_EQ(copy->Row, 4u);
  EXPECT_TRUE(copy->IsFitScreen);
  EXPECT_EQ(copy->PivotType, u32{CImageLayer::PT_RightTop});
  ASSERT_NE(DynamicCast<test::CTestDorun>(copy->GetContent()), nullptr);
}

TEST_F(ImageLayerTest, CopyConstructorDropsTheContentAndCopyToKeepsIt) {
  CPointer<test::CTestDorun> content(new test::CTestDorun());
  CPointer<CImageLayer> layer(new CImageLayer());
  layer->Row = 7;
  ASSERT_EQ(layer->SetContent(content.Get()), kOk);
  CImageLayer constructed(*layer);
  EXPECT_EQ(constructed.Row, 7u);
  EXPECT_EQ(constructed.GetContent(), nullptr);
  CImageLayer target;
  DisplacedList displaced;
  ASSERT_EQ(layer->CopyTo(&target, displaced, 0), kOk);
  EXPECT_EQ(target.Row, 7u);
  EXPECT_EQ(target.GetContent(), content.Get());
  EXPECT_EQ(layer->CopyTo(nullptr, displaced, 0), kErrNotFound);
  CloneMap map;
  CPointer<CBase> clone;
  ASSERT_EQ(layer->Clone(clone, map, 0), kOk);
  EXPECT_EQ(static_cast<CImageLayer*>(clone.Get())->GetContent(), map.at(content.Get()).Get());
}

TEST_F(ImageLayerTest, CollectAnimatedAlwaysAddsTheLayer) {
  CPointer<test::CTestDorun> content(new test::CTestDorun());
  CPointer<test::CTestControl> control(new test::CTestControl());
  control->isData = true;
  ASSERT_EQ(content->AddControl(control.Get()), kOk);
  CImageLayer layer;
  ASSERT_EQ(layer.SetContent(content.Get()), kOk);
  std::vector<CDorun*> animated;
  ASSERT_EQ(layer.CollectAnimated(animated), kOk);
  ASSERT_EQ(animated.size(), 2u);
  EXPECT_EQ(animated[0], &layer);
  EXPECT_EQ(animated[1], content.Get());
  ASSERT_EQ(layer.CollectAnimated(animated), kOk);
  EXPECT_EQ(animated.size(), 2u);
}

TEST_F(ImageLayerTest, ContentThatHoldsTheLayerIsRefused) {
  CPointer<CImageLayer> layer(new CImageLayer());
  EXPECT_EQ(layer->SetContent(layer.Get()), kErrInvalidArg);
  CPointer<CNode> node(new CNode());
  node->SetAttachment(layer.Get());
  EXPECT_EQ(layer->SetContent(node.Get()), kErrInvalidArg);
  EXPECT_EQ(layer->GetContent(), nullptr);
  // The same cycle in a file: the layer's content is a node whose
  // attachment is the layer.
  ByteWriter w = test::SpatialHead(1);
  w.Pair(2, 4);
  LayerFields(w, true).U64(2);
  test::LoadedFile loaded;
  test::LoadRecords(loaded, {{"CImageLayer", w}, {"CNode", test::NodeBody(2, {}, 1)}}, false);
  EXPECT_EQ(loaded.result, kErrNotFound);
}

TEST_F(ImageLayerTest, ResolveReferencesRefusesNullRoot) {
  CImageLayer layer;
  EXPECT_EQ(layer.ResolveReferences(nullptr), kErrInvalidArg);
}

}  // namespace
}  // namespace KT
