// Bounding boxes: corner order, transforming and merging, copies, and the
// record.
#include "scene/bounding_box.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "objectmodel/byte_writer.h"
#include "objectmodel/class_factory.h"
#include "objectmodel/math_expect.h"
#include "objectmodel/matrix4.h"
#include "objectmodel/stream_test_support.h"
#include "scene/bounding_mesh.h"
#include "scene_test_classes.h"

namespace KT {
namespace {

using test::Bytes;
using test::ByteWriter;
using Vec = CVector3<float>;
using Corners = CBoundingBox::Corners;

class BoundingBoxTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CClassFactory::Register("CBoundingBox", &CreateObject<CBoundingBox>);
    test::UseTestIds(0);
  }
};

CPointer<CBoundingBox> NewBox(const Vec& min, const Vec& max) {
  CPointer<CBoundingBox> box;
  EXPECT_EQ(CBoundingBox::Create(box), kOk);
  EXPECT_EQ(box->SetFromMinMax(min, max), kOk);
  return box;
}

void ExpectCornersNear(const Corners& actual, const Corners& expected, float tolerance) {
  for (u32 i = 0; i < 8; ++i) {
    SCOPED_TRACE(::testing::Message() << "corner " << i);
    testing::ExpectNear(actual[i], expected[i], tolerance);
  }
}

TEST_F(BoundingBoxTest, DefaultBoxHasEveryCornerAtTheOrigin) {
  CPointer<CBoundingBox> box;
  ASSERT_EQ(CBoundingBox::Create(box), kOk);
  for (const Vec& corner : box->GetCorners()) EXPECT_EQ(corner, kVectorZero);
  EXPECT_STREQ(box->GetClassRecord().name, "CBoundingBox");
  EXPECT_EQ(box->GetVersion(), 200u);
}

TEST_F(BoundingBoxTest, CornersFromMinAndMaxInTheirOrder) {
  CPointer<CBoundingBox> box = NewBox({0, 0, 0}, {1, 2, 3});
  const Corners expected = {Vec{0, 0, 0}, Vec{0, 2, 0}, Vec{1, 2, 0}, Vec{1, 0, 0},
                            Vec{0, 0, 3}, Vec{0, 2, 3}, Vec{1, 2, 3}, Vec{1, 0, 3}};
  EXPECT_EQ(box->GetCorners(), expected);
  EXPECT_EQ(box->GetCorner(2), Vec(1, 2, 0));
  EXPECT_EQ(box->GetCorner(7), Vec(1, 0, 3));
  EXPECT_TRUE(box->IsModified());
}

TEST_F(BoundingBoxTest, TransformMovesEachCornerInPlaceWithTheDivide) {
  CPointer<CBoundingBox> box = NewBox({-1, -1, -1}, {1, 1, 1});
  CMatrix4 matrix;
  matrix.SetTranslation({2, 4, 6});
  matrix.m[3][3] = 2.0f;  // w = 2: every coordinate halves
  CPointer<CBoundingBox> moved;
  ASSERT_EQ(box->Transform(matrix, moved), kOk);
  ASSERT_TRUE(moved);
  EXPECT_NE(moved.Get(), box.Get());
  Corners expected;
  for (u32 i = 0; i < 8; ++i) expected[i] = (box->GetCorner(i) + Vec(2, 4, 6)) * 0.5f;
  ExpectCornersNear(moved->GetCorners(), expected, 1e-6f);
  EXPECT_EQ(box->GetCorner(0), Vec(-1, -1, -1));
}

TEST_F(BoundingBoxTest, MergingARotatedBoxWithItselfGivesTheAxisAlignedBoxOfItsCorners) {
  CPointer<CBoundingBox> box = NewBox({-1, -1, 0}, {1, 1, 2});
  const float c = std::sqrt(0.5f);
  CMatrix4 rotation;  // 45 degrees about z
  rotation.m[0][0] = c;
  rotation.m[0][1] = c;
  rotation.m[1][0] = -c;
  rotation.m[1][1] = c;
  CPointer<CBoundingBox> turned;
  ASSERT_EQ(box->Transform(rotation, turned), kOk);
  CPointer<CBoundingBox> merged;
  ASSERT_EQ(CBoundingBox::Merge(*turned, *turned, merged), kOk);
  const float r = 2.0f * c;  // the corners now lie on the axes
  ExpectCornersNear(merged->GetCorners(), CBoundingBox::CornersFromMinMax({-r, -r, 0}, {r, r, 2}), 1e-6f);
}

TEST_F(BoundingBoxTest, MergeTakesTheExtremesOfBothBoxes) {
  CPointer<CBoundingBox> a = NewBox({0, 0, 0}, {1, 1, 1});
  CPointer<CBoundingBox> b = NewBox({-2, 0.5f, 3}, {-1, 4, 5});
  CPointer<CBoundingBox> merged;
  ASSERT_EQ(CBoundingBox::Merge(*a, *b, merged), kOk);
  EXPECT_EQ(merged->GetCorners(), CBoundingBox::CornersFromMinMax({-2, 0, 0}, {1, 4, 5}));
}

TEST_F(BoundingBoxTest, CopyToCopiesTheCornersIntoABoxOnly) {
  CPointer<CBoundingBox> source = NewBox({1, 2, 3}, {4, 5, 6});
  source->SetName(u"source");
  CPointer<CBoundingBox> target = NewBox({0, 0, 0}, {0, 0, 0});
  DisplacedList displaced;
  ASSERT_EQ(source->CopyTo(target.Get(), displaced, 0), kOk);
  EXPECT_EQ(target->GetCorners(), source->GetCorners());
  EXPECT_EQ(target->GetName(), u"source");
  CPointer<CBoundingMesh> mesh(new CBoundingMesh());
  EXPECT_EQ(source->CopyTo(nullptr, displaced, 0), kErrNotFound);
  EXPECT_EQ(source->CopyTo(mesh.Get(), displaced, 0), kErrNotFound);
  EXPECT_EQ(mesh->GetName(), u"");
}

TEST_F(BoundingBoxTest, CloneCopiesTheCorners) {
  CPointer<CBoundingBox> box = NewBox({1, 2, 3}, {4, 5, 6});
  CloneMap map;
  CPointer<CBase> clone;
  ASSERT_EQ(box->Clone(clone, map, 0), kOk);
  CBoundingBox* copy = DynamicCast<CBoundingBox>(clone.Get());
  ASSERT_NE(copy, nullptr);
  EXPECT_NE(copy, box.Get());
  EXPECT_EQ(copy->GetCorners(), box->GetCorners());
}

TEST_F(BoundingBoxTest, DescribesTheCornersAsIndexedVectors) {
  struct Names : CMemberVisitor {
    std::vector<std::u16string> names;
    void BeginGroup(const char16_t* name) override { names.push_back(std::u16string(u"group ") + name); }
    void Vector3(const char16_t* name, const Vec*) override { names.push_back(name); }
  } visitor;
  NewBox({0, 0, 0}, {1, 1, 1})->DescribeMembers(visitor);
  const std::vector<std::u16string> expected = {
      u"group CBoundingBox Corners", u"0", u"1", u"2", u"3", u"4", u"5", u"6", u"7", u"group CDorun Member"};
  ASSERT_GE(visitor.names.size(), expected.size());
  EXPECT_EQ(std::vector<std::u16string>(visitor.names.begin(), visitor.names.begin() + 10), expected);
}

// --- the record ------------------------------------------------------------------

// Bytes in front of the first record of a file with one root record.
constexpr std::size_t kFirstRecordOffset = 40;

TEST_F(BoundingBoxTest, SaveAndLoadKeepTheCornersAndTheBytes) {
  CPointer<CBoundingBox> box = NewBox({-1.5f, 2, 3e-7f}, {4, 5e8f, 6});
  box->SetName(u"bone box");
  const Bytes first = test::SaveRoots({box.Get()});
  ASSERT_FALSE(first.empty());
  EXPECT_EQ(first.size() - kFirstRecordOffset, box->GetSaveSize());

  test::UseTestIds(1);
  CStream stream;
  CMemoryIo device;
  ASSERT_EQ(test::LoadScene(first, stream, device), kOk);
  CBoundingBox* loaded = DynamicCast<CBoundingBox>(stream.GetRootObject(0));
  ASSERT_NE(loaded, nullptr);
  EXPECT_EQ(test::Members(loaded), test::Members(box.Get()));
  EXPECT_EQ(loaded->GetSaveSize(), box->GetSaveSize());
  EXPECT_EQ(test::RenumberIds(test::SaveLoaded(stream)), test::RenumberIds(first));
}

TEST_F(BoundingBoxTest, EveryPrefixOfTheRecordFails) {
  const Bytes bytes = test::SaveRoots({NewBox({1, 2, 3}, {4, 5, 6}).Get()});
  test::ExpectPrefixesFailBetweenRecords(bytes);
}

// A file whose only root is a CBoundingBox record of version 2.`minor`
// with corner i at (i, 10 + i, 20 + i).
Bytes BoxFile(u32 minor) {
  ByteWriter body;
  test::ObjectHead(body, 0x10, u"b").Pair(2, minor);
  for (int i = 0; i < 8; ++i) body.F32(static_cast<f32>(i)).F32(10.0f + i).F32(20.0f + i);
  return test::SceneFile().Record("CBoundingBox", body, true).Data();
}

TEST_F(BoundingBoxTest, ByteImageLoadsItsCornersInOrder) {
  CStream stream;
  CMemoryIo device;
  ASSERT_EQ(test::LoadScene(BoxFile(0), stream, device), kOk);
  CBoundingBox* box = DynamicCast<CBoundingBox>(stream.GetRootObject(0));
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(box->GetName(), u"b");
  for (u32 i = 0; i < 8; ++i) EXPECT_EQ(box->GetCorner(i), Vec(i, 10.0f + i, 20.0f + i)) << i;

  CStream newer;
  CMemoryIo newerDevice;
  EXPECT_EQ(test::LoadScene(BoxFile(1), newer, newerDevice), kErrNewerVersion);
}

}  // namespace
}  // namespace KT
