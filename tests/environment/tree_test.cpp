// KT::CTree: the size rule, the stored forms, the two-phase save, copies
// and clones.
#include "environment/tree.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tree_test_support.h"
#include "treeruntime/tree_engine.h"
#include "treeruntime/tree_memory.h"
#include "treeruntime/tree_rt.h"

namespace KT {
namespace {

using test::ByteWriter;
using test::Bytes;
using Vec3 = CVector3<float>;

class TreeObjectTest : public test::TreeTest {};

// The box a tree's corners span: (min, max) = corners 0 and 6.
std::pair<Vec3, Vec3> CornerBox(const CTree& tree) {
  const std::vector<Vec3>& c = tree.GetCorners();
  if (c.size() != 8) return {};
  return {c[0], c[6]};
}

// Every float of the computed branch geometry (coordinates, in vertex
// order) and every strip index of every level.
struct BranchImage {
  std::vector<f32> coords;
  std::vector<i32> indices;
  bool operator==(const BranchImage&) const = default;
};

BranchImage ImageOf(trt::CTreeRT& model) {
  trt::CTreeRT::SGeometry geometry;
  model.GetGeometry(geometry, trt::CTreeRT::kBranchGeometry);
  const auto& part = geometry.m_sBranches;
  BranchImage image;
  image.coords.assign(part.m_pCoords, part.m_pCoords + 3 * part.m_nNumVertices);
  for (i32 l = 0; l < part.m_nNumLods; ++l) {
    for (i32 s = 0; s < part.m_pNumStrips[l]; ++s) {
      image.indices.insert(image.indices.end(), part.m_pStrips[l][s], part.m_pStrips[l][s] + part.m_pStripLengths[l][s]);
    }
  }
  return image;
}

TEST_F(TreeObjectTest, NewTreeHasTheDefaults) {
  CTree tree;
  EXPECT_NE(tree.GetModel(), nullptr);
  EXPECT_EQ(tree.Seed, 1u);
  EXPECT_EQ(tree.Size, -1.0f);
  EXPECT_EQ(tree.SizeVariance, -1.0f);
  EXPECT_TRUE(tree.GetCorners().empty());
  EXPECT_FALSE(tree.HasSubObjects());
  EXPECT_EQ(tree.GetReference(CTree::kReferenceCount), nullptr);
  EXPECT_EQ(tree.SetReference(CTree::kReferenceCount, &tree), kErrOutOfRange);
}

// Size and SizeVariance reach SetTreeSize only when both are 0.0 or more;
// the model refuses a size of 0.0 and keeps the size of its data (10).
TEST_F(TreeObjectTest, SizeRule) {
  const Bytes data = test::TrunkTreeData();
  struct Row {
    const char* what;
    f32 size, variance;
    bool called;
    f32 top;
  };
  const Row rows[] = {
      {"default", -1.0f, -1.0f, false, 10.0f},
      {"2.0 with 0.0", 2.0f, 0.0f, true, 2.0f},
      {"2.0 with -0.5", 2.0f, -0.5f, false, 10.0f},
      {"0.0 with 0.0", 0.0f, 0.0f, true, 10.0f},
      {"NaN size", std::nanf(""), 0.0f, false, 10.0f},
  };
  const std::string refusal = "SetTreeSize() is only valid for size values greater than 0.0";
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    trt::CTreeRT::ResetRuntimeState();
    CTree tree;
    tree.Size = row.size;
    tree.SizeVariance = row.variance;
    ASSERT_EQ(tree.SetTreeData(data.data(), static_cast<u32>(data.size())), kOk);
    EXPECT_EQ(trt::CTreeRT::GetLastError().find(refusal) != std::string::npos, row.size == 0.0f);
    EXPECT_NEAR(CornerBox(tree).second.z, row.top, 1e-4f);
    if (row.called && row.size > 0.0f) {
      EXPECT_NEAR(CornerBox(tree).second.z, row.size, 1e-4f);
    }
  }
}

// After a compute, Corners hold the eight corners of the model's box, the
// minimum first and the maximum seventh; the runtime's options are set.
TEST_F(TreeObjectTest, ComputeFillsCornersAndOptions) {
  CPointer<CTree> tree = test::MakeTrunkTree();
  const std::vector<Vec3>& c = tree->GetCorners();
  ASSERT_EQ(c.size(), 8u);
  f32 box[6];
  tree->GetModel()->GetBoundingBox(box);
  const Vec3 min(box[0], box[1], box[2]);
  const Vec3 max(box[3], box[4], box[5]);
  EXPECT_EQ(c[0], min);
  EXPECT_EQ(c[1], Vec3(max.x, min.y, min.z));
  EXPECT_EQ(c[2], Vec3(max.x, max.y, min.z));
  EXPECT_EQ(c[3], Vec3(min.x, max.y, min.z));
  EXPECT_EQ(c[4], Vec3(min.x, min.y, max.z));
  EXPECT_EQ(c[6], max);
  EXPECT_NEAR(max.z, 10.0f, 1e-4f);
  EXPECT_TRUE(tree->GetModel()->IsComputed());
  EXPECT_TRUE(trt::CTreeRT::GetTextureFlip());
  EXPECT_TRUE(trt::CTreeRT::GetStaticOption());
}

// Records of 2.00 (4-byte ids) and 2.01 (8-byte ids); a record without
// tree data loads without LoadTree and computes an empty tree whose box is
// the unit box.
TEST_F(TreeObjectTest, EveryStoredForm) {
  const Bytes trunk = test::TrunkTreeData();
  struct Row {
    const char* what;
    u32 version;
    bool withData;
  };
  const Row rows[] = {
      {"2.00 with data", 200, true},
      {"2.01 with data", 201, true},
      {"2.01 without data", 201, false},
      {"2.00 without data", 200, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    trt::CTreeRT::ResetRuntimeState();
    test::SceneFile file;
    file.Record("CTree", test::TreeBody(1, row.version, row.withData ? trunk : Bytes{}, 3, -1.0f, -1.0f, {0, 0, 0x30}),
                true);
    file.Record("CWind", test::WindBody(0x30, ""));
    const Bytes bytes = file.Data();
    CStream stream;
    CMemoryIo device;
    ASSERT_EQ(test::LoadScene(bytes, stream, device), kOk);
    auto* tree = DynamicCast<CTree>(stream.GetRootObject(0));
    ASSERT_NE(tree, nullptr);
    EXPECT_EQ(tree->Seed, 3u);
    EXPECT_NE(DynamicCast<CWind>(tree->GetReference(2)), nullptr);
    for (u32 i : {0u, 1u, 3u, 9u}) EXPECT_EQ(tree->GetReference(i), nullptr) << i;
    ASSERT_EQ(tree->GetCorners().size(), 8u);
    EXPECT_EQ(trt::CTreeRT::GetTextureFlip(), row.withData);
    if (row.withData) {
      EXPECT_NEAR(CornerBox(*tree).second.z, 10.0f, 1e-4f);
      EXPECT_EQ(tree->GetModel()->GetEngine()->m_fSize, 10.0f);
    } else {
      EXPECT_TRUE(tree->GetModel()->GetSectionTokens().empty()) << "LoadTree ran";
      EXPECT_EQ(tree->GetModel()->GetEngine()->m_fSize, trt::CTreeEngine(nullptr).m_fSize);
      EXPECT_EQ(CornerBox(*tree).first, Vec3(0.0f, 0.0f, 0.0f));
      EXPECT_EQ(CornerBox(*tree).second, Vec3(1.0f, 1.0f, 1.0f));
    }

    test::UseTestIds(2);
    const Bytes again = test::SaveLoaded(stream);
    CStream reloaded;
    CMemoryIo device2;
    ASSERT_EQ(test::LoadScene(again, reloaded, device2), kOk);
    EXPECT_EQ(test::Members(reloaded.GetRootObject(0)), test::Members(tree));
    test::ExpectPrefixesFailBetweenRecords(bytes, test::kFirstRecordOffset);
  }
}

TEST_F(TreeObjectTest, BadRecordsAreRefused) {
  const Bytes trunk = test::TrunkTreeData();
  Bytes damaged = trunk;
  damaged.resize(damaged.size() / 2);
  struct Row {
    const char* what;
    ByteWriter body;
    Result expected;
  };
  ByteWriter newer;
  test::ObjectHead(newer, 1);
  test::TreePart(newer, 202, trunk, 1, -1.0f, -1.0f, {});
  ByteWriter tooLong;
  test::ObjectHead(tooLong, 1);
  tooLong.Pair(2, 1).U32(0x7FFFFFF0u).U32(0);
  const Row rows[] = {
      {"tree data that does not parse", test::TreeBody(1, 201, Bytes{1, 2, 3, 4, 5, 6, 7, 8}), kErrTreeData},
      {"tree data cut in half", test::TreeBody(1, 201, damaged), kErrTreeData},
      {"a version above 2.01", newer, kErrNewerVersion},
      {"a length past the record", tooLong, kErrStream},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    test::SceneFile file;
    file.Record("CTree", row.body, true);
    CStream stream;
    CMemoryIo device;
    const Result r = test::LoadScene(file.Data(), stream, device);
    EXPECT_EQ(r, row.expected);
  }
}

// RegisterForSave makes the block, GetSaveSize counts it, Save writes and
// frees it; a second Save writes a length of 0.
TEST_F(TreeObjectTest, TwoPhaseSave) {
  CPointer<CTree> tree = test::MakeTrunkTree();
  const u32 bare = tree->GetSaveSize();
  CMemoryIo device;
  CStream stream;
  stream.SetDevice(&device);
  ASSERT_EQ(tree->RegisterForSave(stream, 0), kOk);
  ASSERT_TRUE(tree->HasPendingBlock());
  const u32 blockSize = tree->GetPendingBlockSize();
  EXPECT_GT(blockSize, 0u);
  EXPECT_EQ(tree->GetSaveSize(), bare + blockSize);
  EXPECT_EQ(tree->RegisterForSave(stream, 0), kDone);
  EXPECT_EQ(tree->PrepareRuntime(nullptr), kOk);
  EXPECT_EQ(tree->GetPendingBlockSize(), blockSize);

  const u32 expected = tree->GetSaveSize();
  const Bytes first = test::SaveObjectRecord(*tree);
  EXPECT_EQ(first.size(), expected);
  EXPECT_FALSE(tree->HasPendingBlock());
  EXPECT_EQ(tree->GetSaveSize(), bare);
  const Bytes second = test::SaveObjectRecord(*tree);
  EXPECT_EQ(second.size(), bare);
  EXPECT_EQ(first.size() - second.size(), blockSize);
  // The tree data in the first record is what the model saves.
  std::uint32_t size = 0;
  std::uint8_t* block = tree->GetModel()->SaveTree(size, false);
  ASSERT_NE(block, nullptr);
  const Bytes data(block, block + size);
  trt::TrackedDeleteArray(block);
  const std::size_t at = bare - 104 + 12;  // after the CDorun part, the version pair and the length
  EXPECT_EQ(Bytes(first.begin() + static_cast<std::ptrdiff_t>(at),
                  first.begin() + static_cast<std::ptrdiff_t>(at + size)),
            data);
}

// A block made for a save that never writes it goes with the tree.
TEST_F(TreeObjectTest, UnwrittenBlockIsFreedWithTheTree) {
  const Bytes data = test::TrunkTreeData();
  const u32 before = trt::GetTrackedBytes();
  {
    CPointer<CTree> tree(new CTree());
    ASSERT_EQ(tree->SetTreeData(data.data(), static_cast<u32>(data.size())), kOk);
    const u32 computed = trt::GetTrackedBytes();
    ASSERT_EQ(tree->PrepareRuntime(nullptr), kOk);
    EXPECT_GT(trt::GetTrackedBytes(), computed);
  }
  EXPECT_EQ(trt::GetTrackedBytes(), before);
}

// Every write of the record is checked: a device that fails at any point
// of the record makes Save fail.
TEST_F(TreeObjectTest, SaveReportsEveryFailedWrite) {
  CPointer<CTree> tree = test::MakeTrunkTree();
  CPointer<CNode> held(new CNode());
  ASSERT_EQ(tree->SetReference(9, held.Get()), kOk);
  ASSERT_EQ(tree->PrepareRuntime(nullptr), kOk);
  const u32 full = tree->GetSaveSize();
  const u32 base = full - tree->GetPendingBlockSize() - 104;
  for (u32 limit : {base, base + 8, base + 12, base + 13, full - 84, full - 80, full - 8, full - 1}) {
    SCOPED_TRACE(limit);
    ASSERT_EQ(tree->PrepareRuntime(nullptr), kOk);
    test::LimitedWriteIo device(limit);
    CStream stream;
    stream.SetDevice(&device);
    EXPECT_LT(tree->Save(stream, 0), 0);
  }
  ASSERT_EQ(tree->PrepareRuntime(nullptr), kOk);
  test::LimitedWriteIo device(full);
  CStream stream;
  stream.SetDevice(&device);
  EXPECT_EQ(tree->Save(stream, 0), kOk);
  EXPECT_EQ(device.Written().size(), full);
}

// CopyTo gives the target the source's values first and computes its model
// with them: fields and geometry agree, and agree again after a save and
// load.
TEST_F(TreeObjectTest, CopyToComputesWithTheCopiedValues) {
  const Bytes data = test::TrunkTreeData();
  CPointer<CTree> source(new CTree());
  source->Seed = 5;
  source->Size = 4.0f;
  source->SizeVariance = 0.0f;
  ASSERT_EQ(source->SetTreeData(data.data(), static_cast<u32>(data.size())), kOk);
  CPointer<CNode> held(new CNode());
  ASSERT_EQ(source->SetReference(1, held.Get()), kOk);

  CPointer<CTree> target = test::MakeTrunkTree();
  CPointer<CNode> former(new CNode());
  ASSERT_EQ(target->SetReference(1, former.Get()), kOk);
  ASSERT_EQ(target->PrepareRuntime(nullptr), kOk);
  trt::CTreeRT* oldModel = target->GetModel();
  DisplacedList displaced;
  ASSERT_EQ(source->CopyTo(target.Get(), displaced, 0), kOk);
  EXPECT_EQ(target->Seed, 5u);
  EXPECT_EQ(target->Size, 4.0f);
  EXPECT_EQ(target->SizeVariance, 0.0f);
  EXPECT_NE(target->GetModel(), oldModel);
  EXPECT_NE(target->GetModel(), source->GetModel());
  EXPECT_EQ(target->GetCorners(), source->GetCorners());
  EXPECT_NEAR(CornerBox(*target).second.z, 4.0f, 1e-4f);
  EXPECT_EQ(ImageOf(*target->GetModel()), ImageOf(*source->GetModel()));
  EXPECT_EQ(target->GetReference(1), held.Get());
  ASSERT_EQ(displaced.size(), 1u);
  EXPECT_EQ(displaced[0], former.Get());
  EXPECT_FALSE(target->HasPendingBlock());

  // Saved and loaded, the copy computes the same tree again.
  const Bytes bytes = test::SaveRoots({target.Get()});
  CStream stream;
  CMemoryIo device;
  ASSERT_EQ(test::LoadScene(bytes, stream, device), kOk);
  auto* loaded = DynamicCast<CTree>(stream.GetRootObject(0));
  ASSERT_NE(loaded, nullptr);
  EXPECT_EQ(loaded->GetCorners(), target->GetCorners());
  EXPECT_EQ(ImageOf(*loaded->GetModel()), ImageOf(*target->GetModel()));

  CPointer<CWind> wind(new CWind());
  EXPECT_EQ(source->CopyTo(wind.Get(), displaced, 0), kErrNotFound);
  EXPECT_EQ(source->CopyTo(nullptr, displaced, 0), kErrNotFound);
}

// CreateInstance and Clone compute a clone of the model; references are
// cloned through the map, a shared one once.
TEST_F(TreeObjectTest, CreateInstanceAndClone) {
  CPointer<CTree> tree = test::MakeTrunkTree();
  tree->Seed = 9;
  CPointer<CNode> shared(new CNode());
  ASSERT_EQ(tree->SetReference(0, shared.Get()), kOk);
  ASSERT_EQ(tree->SetReference(4, shared.Get()), kOk);
  EXPECT_TRUE(tree->HasSubObjects());

  CPointer<CBase> made;
  ASSERT_EQ(tree->CreateInstance(made), kOk);
  auto* copy = DynamicCast<CTree>(made.Get());
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->Seed, 9u);
  ASSERT_NE(copy->GetModel(), nullptr);
  EXPECT_NE(copy->GetModel(), tree->GetModel());
  EXPECT_TRUE(copy->GetModel()->IsComputed());
  EXPECT_EQ(copy->GetReference(0), shared.Get());

  CloneMap map;
  CPointer<CBase> clone;
  ASSERT_EQ(tree->Clone(clone, map, 0), kOk);
  auto* cloned = DynamicCast<CTree>(clone.Get());
  ASSERT_NE(cloned, nullptr);
  EXPECT_TRUE(cloned->GetModel()->IsComputed());
  EXPECT_EQ(cloned->GetCorners().size(), 8u);
  EXPECT_EQ(cloned->GetReference(0), map.at(shared.Get()).Get());
  EXPECT_EQ(cloned->GetReference(4), cloned->GetReference(0));
  EXPECT_NE(cloned->GetReference(0), shared.Get());
  CPointer<CBase> again;
  EXPECT_EQ(tree->Clone(again, map, 0), kDone);
  EXPECT_EQ(again.Get(), clone.Get());

  // A tree without a model copies to one without a model.
  CPointer<CTree> target = test::MakeTrunkTree();
  CPointer<CTree> empty(new CTree());
  DisplacedList displaced;
  ASSERT_EQ(cloned->CopyTo(empty.Get(), displaced, 0), kOk);
  CTree bare(*empty);
  EXPECT_EQ(bare.GetModel(), nullptr);
  ASSERT_EQ(bare.CopyTo(target.Get(), displaced, 0), kOk);
  EXPECT_EQ(target->GetModel(), nullptr);
}

TEST_F(TreeObjectTest, ReferencesAndMembers) {
  CPointer<CTree> tree = test::MakeTrunkTree();
  CPointer<CNode> held(new CNode());
  held->SetName(u"held");
  ASSERT_EQ(tree->SetReference(3, held.Get()), kOk);
  struct AllRefs : CReferenceVisitor {
    std::vector<std::pair<CBase*, u32>> seen;
    void Visit(CBase* object, u32 owned) override { seen.emplace_back(object, owned); }
  } refs;
  tree->EnumReferences(refs);
  ASSERT_GE(refs.seen.size(), 10u);
  for (u32 i = 0; i < 10; ++i) {
    EXPECT_EQ(refs.seen[i].first, i == 3 ? held.Get() : nullptr) << i;
    EXPECT_EQ(refs.seen[i].second, 1u) << i;
  }
  EXPECT_EQ(tree->Find(u"held", nullptr, false, false), held.Get());
  std::vector<CBase*> all;
  tree->Collect(all, nullptr, nullptr, false, false);
  EXPECT_EQ(all.size(), 2u);
  const std::string text = test::Members(tree.Get());
  for (const char* name : {"CTree Member", "Seed", "SizeVariance"}) {
    EXPECT_NE(text.find(name), std::string::npos) << name;
  }
  EXPECT_EQ(tree->GetMemorySize(), CTree().GetMemorySize() + 96);
}

}  // namespace
}  // namespace KT
