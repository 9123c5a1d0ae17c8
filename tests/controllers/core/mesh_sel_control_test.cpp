// The mesh selection controller: its bit per vertex, copies, the record
// with its bit array, and its refusals.
#include "controllers/core/mesh_sel_control.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "controllers/core/morph_control.h"
#include "controllers/core/test_classes.h"
#include "objectmodel/class_factory.h"
#include "objectmodel/memory_io.h"
#include "objectmodel/stream_test_support.h"
#include "scene/bounding_box.h"
#include "scene/tri_mesh.h"
#include "scene/tri_mesh_data.h"
#include "scene/uvw_map.h"

namespace KT {
namespace {

using test::Bytes;
using test::ByteWriter;

class MeshSelControlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::RegisterTestClasses();
    CClassFactory::Register("CTriMesh", &CreateObject<CTriMesh>);
    CClassFactory::Register("CTriMeshData", &CreateObject<CTriMeshData>);
    CClassFactory::Register("CGeometryData", &CreateObject<CGeometryData>);
    CClassFactory::Register("CUvwMap", &CreateObject<CUvwMap>);
    CClassFactory::Register("CUvwMapData", &CreateObject<CUvwMapData>);
    CClassFactory::Register("CBoundingBox", &CreateObject<CBoundingBox>);
    CClassFactory::Register("CMeshSelControl", &CreateObject<CMeshSelControl>);
    test::UseTestIds(0);
  }
};

// `count` bits with the listed ones set.
CBitArray Bits(i32 count, const std::vector<i32>& set) {
  CBitArray bits(count);
  for (i32 i : set) EXPECT_EQ(bits.SetBit(i, true), kOk);
  return bits;
}

CPointer<CMeshSelControl> Selection(const CBitArray& bits, const char16_t* name = u"sel") {
  CPointer<CMeshSelControl> control(new CMeshSelControl());
  control->SetName(name);
  EXPECT_EQ(control->SetXYZSelBit(bits), kOk);
  return control;
}

// A mesh holding the selections, saved, loaded and saved again: the bits
// come back bit for bit, across a word boundary and empty alike.
TEST_F(MeshSelControlTest, SelectionsRoundTripThroughAFile) {
  CPointer<CTriMesh> mesh(new CTriMesh());
  mesh->SetName(u"mesh");
  const std::vector<CBitArray> selections = {Bits(33, {0, 5, 31, 32}), CBitArray(), Bits(64, {63})};
  std::vector<CPointer<CMeshSelControl>> controls;
  for (const CBitArray& bits : selections) {
    controls.push_back(Selection(bits));
    ASSERT_EQ(mesh->AddControl(controls.back().Get()), kOk);
  }

  const Bytes first = test::SaveRoots({mesh.Get()});
  test::UseTestIds(1);
  CStream stream;
  CMemoryIo device;
  ASSERT_EQ(test::LoadScene(first, stream, device), kOk);
  auto* loaded = DynamicCast<CTriMesh>(stream.GetRootObject(0));
  ASSERT_NE(loaded, nullptr);
  std::size_t i = 0;
  for (CDorun* c = loaded->GetFirstControl(); c != nullptr; c = c->GetChainNext(), ++i) {
    SCOPED_TRACE(i);
    auto* control = DynamicCast<CMeshSelControl>(c);
    ASSERT_NE(control, nullptr);
    ASSERT_LT(i, selections.size());
    EXPECT_EQ(control->GetObject(), loaded);
    EXPECT_TRUE(control->GetXYZSelBit() == selections[i]);
    EXPECT_EQ(test::Members(control), test::Members(controls[i].Get()));
  }
  EXPECT_EQ(i, selections.size());
  const CBitArray& wide = DynamicCast<CMeshSelControl>(loaded->GetFirstControl())->GetXYZSelBit();
  EXPECT_EQ(wide.GetBitCount(), 33);
  EXPECT_TRUE(wide.GetBit(32));
  EXPECT_FALSE(wide.GetBit(30));
  EXPECT_EQ(test::RenumberIds(test::SaveLoaded(stream)), test::RenumberIds(first));

  test::ExpectPrefixesFailBetweenRecords(first);
}

TEST_F(MeshSelControlTest, RecordLayoutAndSizes) {
  auto control = Selection(Bits(33, {0, 32}));
  CMemoryIo device;
  CStream stream;
  stream.SetDevice(&device);
  ASSERT_EQ(control->Save(stream, 0), kOk);
  const Bytes saved = device.GetData();
  EXPECT_EQ(saved.size(), control->GetSaveSize());
  EXPECT_EQ(control->GetSaveSize(), control->CDataControl::GetSaveSize() + 8 + 12 + 8);
  ByteWriter tail;
  tail.Pair(2, 0).U32(33).U32(2).U32(1).U32(1).U32(1);
  EXPECT_EQ(Bytes(saved.end() - static_cast<std::ptrdiff_t>(tail.Size()), saved.end()), tail.Data());
  EXPECT_EQ(control->GetMemorySize(), control->CDataControl::GetMemorySize() + (4 * 2 + 16) + 16);

  const std::string text = test::Members(control.Get());
  EXPECT_NE(text.find("XYZSelBit"), std::string::npos);
  EXPECT_LT(text.find("CMeshSelControl Member"), text.find("CControl Member"));
}

TEST_F(MeshSelControlTest, CopiesCarryTheBits) {
  auto source = Selection(Bits(40, {1, 39}), u"lips");
  source->SetFrequency(2.0f);

  CPointer<CBase> instance;
  ASSERT_EQ(source->CreateInstance(instance), kOk);
  auto* made = DynamicCast<CMeshSelControl>(instance.Get());
  ASSERT_NE(made, nullptr);
  EXPECT_TRUE(made->GetXYZSelBit() == source->GetXYZSelBit());

  CloneMap cloneMap;
  CPointer<CBase> clone;
  ASSERT_EQ(source->Clone(clone, cloneMap, 0), kOk);
  ASSERT_NE(DynamicCast<CMeshSelControl>(clone.Get()), nullptr);
  EXPECT_EQ(test::Members(clone.Get()), test::Members(source.Get()));

  auto target = Selection(Bits(3, {2}));
  DisplacedList displaced;
  ASSERT_EQ(source->CopyTo(target.Get(), displaced, 0), kOk);
  EXPECT_TRUE(target->GetXYZSelBit() == source->GetXYZSelBit());
  EXPECT_EQ(target->GetFrequency(), 2.0f);

  // A target of another class, or none: refused, the target unchanged.
  CPointer<CMorphControl> other(new CMorphControl());
  const std::string before = test::Members(other.Get());
  EXPECT_EQ(source->CopyTo(other.Get(), displaced, 0), kErrNotFound);
  EXPECT_EQ(source->CopyTo(nullptr, displaced, 0), kErrNotFound);
  EXPECT_EQ(test::Members(other.Get()), before);
  EXPECT_EQ(other->GetFrequency(), 1.0f);
}

TEST_F(MeshSelControlTest, SelectionHasNoPerFrameEffect) {
  CPointer<CTriMesh> mesh(new CTriMesh());
  auto control = Selection(Bits(3, {1}));
  ASSERT_EQ(mesh->AddControl(control.Get()), kOk);
  ASSERT_EQ(mesh->AllocateWorldXYZ(3), kOk);
  const std::string before = test::Members(mesh.Get());
  EXPECT_EQ(control->Update(100), kDone);
  EXPECT_EQ(control->Apply(), kDone);
  EXPECT_EQ(control->GetEndTime(), 0);
  EXPECT_EQ(test::Members(mesh.Get()), before);
}

TEST_F(MeshSelControlTest, VerticesAreSelectedWithinTheBoundGeometrysCount) {
  CPointer<CMeshSelControl> unbound(new CMeshSelControl());
  EXPECT_EQ(unbound->SizeToObject(), kErrInvalidArg);

  CPointer<test::CTestDorun> object(new test::CTestDorun());
  auto foreign = Selection(Bits(2, {0}));
  ASSERT_EQ(object->AddControl(foreign.Get()), kOk);
  EXPECT_EQ(foreign->SizeToObject(), kErrNotFound);
  EXPECT_TRUE(foreign->GetXYZSelBit() == Bits(2, {0}));

  CPointer<CTriMeshData> data;
  ASSERT_EQ(CTriMeshData::Create(data), kOk);
  ASSERT_EQ(data->AllocateXYZ(5), kOk);
  CPointer<CTriMesh> mesh(new CTriMesh());
  CPointer<CMeshSelControl> control(new CMeshSelControl());
  ASSERT_EQ(mesh->AddControl(control.Get()), kOk);
  ASSERT_EQ(control->SizeToObject(), kOk);  // no level yet: no bits
  EXPECT_EQ(control->GetXYZSelBit().GetBitCount(), 0);
  ASSERT_EQ(mesh->SetSingleLod(data.Get()), kOk);
  ASSERT_EQ(control->SizeToObject(), kOk);
  EXPECT_EQ(control->GetXYZSelBit().GetBitCount(), 5);
  EXPECT_EQ(control->GetXYZSelBit().CountSetBits(), 0);
  control->SetModified(false);
  EXPECT_EQ(control->SelectVertex(5, true), kErrOutOfRange);
  EXPECT_FALSE(control->IsModified());
  ASSERT_EQ(control->SelectVertex(4, true), kOk);
  EXPECT_TRUE(control->IsModified());
  EXPECT_TRUE(control->GetXYZSelBit() == Bits(5, {4}));
}

// A CMeshSelControl record (a root, id 0x20) with the given version pair
// and bit-array record.
Bytes SelectionFile(u32 minor, const ByteWriter& bits) {
  ByteWriter body;
  test::BasePart(body, 0x20);
  test::DorunPart(body, 0);
  test::ControlPart(body, test::ControlFields{});
  body.Pair(2, 0).Pair(2, minor).Bytes(bits.Data());
  return test::SceneImage().Record("CMeshSelControl", body, true).Data();
}

TEST_F(MeshSelControlTest, StoredBitArraysAreCheckedOnLoad) {
  struct Case {
    const char* name;
    u32 minor;
    ByteWriter bits;
    Result expected;
  };
  std::vector<Case> cases;
  cases.push_back({"33 bits in two words", 0, ByteWriter().U32(33).U32(2).U32(1).U32(5).U32(1), kOk});
  cases.push_back({"a count without words", 0, ByteWriter().U32(33).U32(9).U32(0), kOk});
  cases.push_back({"a word count that does not fit the bits", 0, ByteWriter().U32(33).U32(1).U32(1).U32(5),
                   kErrNotFound});
  cases.push_back({"words beyond the data", 0, ByteWriter().U32(0x7FFFFFFF).U32(0x4000000).U32(1), kErrStream});
  cases.push_back({"newer part", 1, ByteWriter().U32(0).U32(0).U32(0), kErrNewerVersion});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CStream stream;
    CMemoryIo device;
    ASSERT_EQ(test::LoadScene(SelectionFile(c.minor, c.bits), stream, device), c.expected);
    if (c.expected != kOk) continue;
    auto* control = DynamicCast<CMeshSelControl>(stream.GetRootObject(0));
    ASSERT_NE(control, nullptr);
    EXPECT_EQ(control->GetXYZSelBit().GetBitCount(), 33);
    EXPECT_EQ(control->GetXYZSelBit().GetBit(32), control->GetXYZSelBit().HasWords());
  }
}

}  // namespace
}  // namespace KT
