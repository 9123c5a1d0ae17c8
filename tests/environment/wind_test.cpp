// KT::CWind: the leaf-angle lists after a load, the two-phase save, bad
// text, copies.
#include "environment/wind.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tree_test_support.h"
#include "treeruntime/tree_memory.h"
#include "treeruntime/tree_wind.h"

namespace KT {
namespace {

using test::Bytes;

class WindTest : public test::TreeTest {};

// The keyword text of a default definition with its first line replaced.
std::string WindText(const std::string& firstLine) {
  trt::CTreeWind wind;
  std::uint32_t size = 0;
  std::uint8_t* block = wind.Save(size);
  EXPECT_NE(block, nullptr);
  std::string text(reinterpret_cast<const char*>(block), size);
  trt::TrackedDeleteArray(block);
  const std::size_t end = text.find('\n');
  EXPECT_EQ(text.rfind("NumWindMatricesAndLeafAngles", 0), 0u) << text;
  return firstLine + text.substr(end);
}

CWind* LoadWind(CStream& stream, CMemoryIo& device, const std::string& text, Result& result) {
  test::SceneFile file;
  file.Record("CWind", test::WindBody(1, text), true);
  result = test::LoadScene(file.Data(), stream, device);
  return Succeeded(result) ? DynamicCast<CWind>(stream.GetRootObject(0)) : nullptr;
}

TEST_F(WindTest, LeafAngleListsFollowTheDefinition) {
  struct Row {
    const char* what;
    std::string text;
    std::size_t angles;
  };
  const Row rows[] = {
      {"no text: the default definition", "", 1},
      {"four leaf angles", WindText("NumWindMatricesAndLeafAngles 3 4"), 4},
      {"zero leaf angles count as one", WindText("NumWindMatricesAndLeafAngles 2 0"), 1},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    CStream stream;
    CMemoryIo device;
    Result r = kOk;
    CWind* wind = LoadWind(stream, device, row.text, r);
    ASSERT_EQ(r, kOk);
    ASSERT_NE(wind, nullptr);
    EXPECT_EQ(wind->RockAngles, std::vector<f32>(row.angles, 0.0f));
    EXPECT_EQ(wind->RustleAngles, std::vector<f32>(row.angles, 0.0f));
    EXPECT_EQ(wind->GetTreeWind()->GetNumLeafAngles(), static_cast<int>(row.angles));

    test::UseTestIds(2);
    const Bytes again = test::SaveLoaded(stream);
    CStream reloaded;
    CMemoryIo device2;
    ASSERT_EQ(test::LoadScene(again, reloaded, device2), kOk);
    auto* copy = DynamicCast<CWind>(reloaded.GetRootObject(0));
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->RockAngles.size(), row.angles);
    EXPECT_EQ(test::Members(copy), test::Members(wind));
    test::SceneFile file;
    file.Record("CWind", test::WindBody(1, row.text), true);
    test::ExpectPrefixesFailBetweenRecords(file.Data(), test::kFirstRecordOffset);
  }
}

TEST_F(WindTest, TextThatDoesNotParseIsRefused) {
  const std::string good = WindText("NumWindMatricesAndLeafAngles 3 4");
  const std::string rows[] = {
      "MaxBendAngle 10",  // ends before twelve lines
      WindText("NumWindMatricesAndLeafAngles x 4"),
      good.substr(0, good.size() / 2),
  };
  for (const std::string& text : rows) {
    SCOPED_TRACE(text);
    CStream stream;
    CMemoryIo device;
    Result r = kOk;
    LoadWind(stream, device, text, r);
    EXPECT_EQ(r, kErrTreeData);
  }
}

TEST_F(WindTest, TwoPhaseSave) {
  CPointer<CWind> wind(new CWind());
  const u32 bare = wind->GetSaveSize();
  EXPECT_EQ(test::SaveObjectRecord(*wind).size(), bare) << "without a registration the text length is 0";
  CMemoryIo device;
  CStream stream;
  stream.SetDevice(&device);
  ASSERT_EQ(wind->RegisterForSave(stream, 0), kOk);
  ASSERT_TRUE(wind->HasPendingBlock());
  const u32 size = wind->GetPendingBlockSize();
  EXPECT_GT(size, 0u);
  EXPECT_EQ(wind->GetSaveSize(), bare + size);
  EXPECT_EQ(wind->RegisterForSave(stream, 0), kDone);

  const Bytes first = test::SaveObjectRecord(*wind);
  EXPECT_EQ(first.size(), bare + size);
  EXPECT_FALSE(wind->HasPendingBlock());
  const Bytes second = test::SaveObjectRecord(*wind);
  EXPECT_EQ(second.size(), bare);
  // The text written is the definition's text.
  std::uint32_t textSize = 0;
  std::uint8_t* text = wind->GetTreeWind()->Save(textSize);
  ASSERT_NE(text, nullptr);
  const Bytes expected(text, text + textSize);
  trt::TrackedDeleteArray(text);
  EXPECT_EQ(Bytes(first.end() - static_cast<std::ptrdiff_t>(textSize), first.end()), expected);

  // A block never written goes with the object.
  const u32 before = trt::GetTrackedBytes();
  {
    CPointer<CWind> abandoned(new CWind());
    ASSERT_EQ(abandoned->PrepareRuntime(nullptr), kOk);
    EXPECT_TRUE(abandoned->HasPendingBlock());
  }
  EXPECT_EQ(trt::GetTrackedBytes(), before);
}

TEST_F(WindTest, CopiesAndMembers) {
  CStream stream;
  CMemoryIo device;
  Result r = kOk;
  CWind* wind = LoadWind(stream, device, WindText("NumWindMatricesAndLeafAngles 3 4"), r);
  ASSERT_NE(wind, nullptr);
  CPointer<CBase> made;
  ASSERT_EQ(wind->CreateInstance(made), kOk);
  auto* copy = DynamicCast<CWind>(made.Get());
  ASSERT_NE(copy, nullptr);
  EXPECT_NE(copy->GetTreeWind(), wind->GetTreeWind());
  EXPECT_EQ(copy->GetTreeWind()->GetNumLeafAngles(), 4);
  EXPECT_EQ(copy->RockAngles.size(), 4u);

  CPointer<CWind> target(new CWind());
  ASSERT_EQ(target->PrepareRuntime(nullptr), kOk);
  DisplacedList displaced;
  ASSERT_EQ(wind->CopyTo(target.Get(), displaced, 0), kOk);
  EXPECT_EQ(target->GetTreeWind()->GetNumLeafAngles(), 4);
  EXPECT_EQ(target->RustleAngles.size(), 4u);
  EXPECT_FALSE(target->HasPendingBlock());
  CPointer<CTree> tree(new CTree());
  EXPECT_EQ(wind->CopyTo(tree.Get(), displaced, 0), kErrNotFound);

  const std::string text = test::Members(wind);
  for (const char* name : {"CWind Member", "RockAngles", "RustleAngles"}) {
    EXPECT_NE(text.find(name), std::string::npos) << name;
  }
  EXPECT_EQ(CWind().GetSaveSize(), CWind().CDorun::GetSaveSize() + 12);
}

}  // namespace
}  // namespace KT
