// The class factory: name -> creator, the creators it is filled with, and
// the table of old class names.
#include "objectmodel/class_factory.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <new>
#include <string>
#include <utility>

#include "objectmodel/custom_data.h"
#include "objectmodel/raw_data.h"
#include "objectmodel/version_data.h"
#include "platform/unique_id.h"

namespace KT {
namespace {

// A raw-data record whose nothrow allocation can be made to fail.
class CFragileRaw : public CRawData {
 public:
  CFragileRaw() = default;
  CFragileRaw(const CFragileRaw& other) : CRawData(other) {}

  static inline bool failAllocation = false;

  static void* operator new(std::size_t size, const std::nothrow_t& tag) noexcept {
    return failAllocation ? nullptr : ::operator new(size, tag);
  }
  static void operator delete(void* p) noexcept { ::operator delete(p); }
};

// Another creator to tell registrations apart.
void CreateNothing(Result& result, CPointer<CBase>&) { result = kErrInvalidArg; }

// The registry is process-wide: every test leaves it as it found it.
class ClassFactoryTest : public ::testing::Test {
 protected:
  void SetUp() override { saved_ = CClassFactory::GetRegistry(); }
  void TearDown() override {
    CClassFactory::GetRegistry() = saved_;
    CFragileRaw::failAllocation = false;
  }

 private:
  CClassFactory::Registry saved_;
};

TEST_F(ClassFactoryTest, RegisteredNameFindsItsCreator) {
  CClassFactory::Register("CTestFactoryName", &CreateObject<CRawData>);
  EXPECT_EQ(CClassFactory::FindCreator("CTestFactoryName"), &CreateObject<CRawData>);
  EXPECT_EQ(CClassFactory::GetRegistry().count("CTestFactoryName"), 1u);
  EXPECT_EQ(CClassFactory::FindCreator("CTestFactoryNameX"), nullptr);
  EXPECT_EQ(CClassFactory::FindCreator(""), nullptr);
}

TEST_F(ClassFactoryTest, LaterRegistrationReplacesTheCreator) {
  CClassFactory::Register("CTestFactoryName", &CreateObject<CRawData>);
  CClassFactory::Register("CTestFactoryName", &CreateNothing);
  EXPECT_EQ(CClassFactory::FindCreator("CTestFactoryName"), &CreateNothing);
}

TEST_F(ClassFactoryTest, NamesAreCaseSensitiveAndBasesAreUnknown) {
  RegisterCustomDataClasses();
  ASSERT_NE(CClassFactory::FindCreator("CRawData"), nullptr);
  for (const char* name : {"crawdata", "CRAWDATA", "CRawdata", "CRawData ", "CBase", "CDorun", "CTimeKey"}) {
    EXPECT_EQ(CClassFactory::FindCreator(name), nullptr) << name;
  }
}

TEST_F(ClassFactoryTest, CreatorMakesADefaultObjectOfItsClass) {
  RegisterCustomDataClasses();
  struct Row {
    const char* name;
    const ClassRecord& record;
  };
  const Row rows[] = {
      {"CCustomData", CCustomData::StaticClassRecord()},
      {"CVersionData", CVersionData::StaticClassRecord()},
      {"CRawData", CRawData::StaticClassRecord()},
      {"CXmlRawData", CXmlRawData::StaticClassRecord()},
  };
  for (const Row& row : rows) {
    const CreateObjectFunc creator = CClassFactory::FindCreator(row.name);
    ASSERT_NE(creator, nullptr) << row.name;
    Result result = kErrStream;
    CPointer<CBase> out;
    creator(result, out);
    EXPECT_EQ(result, kOk) << row.name;
    ASSERT_TRUE(out) << row.name;
    EXPECT_EQ(&out->GetClassRecord(), &row.record) << row.name;
    EXPECT_EQ(std::string(out->GetClassRecord().name), row.name);
    EXPECT_EQ(out->GetReferences(), 1u) << row.name;
    EXPECT_TRUE(out->GetName().empty()) << row.name;
    EXPECT_FALSE(out->IsModified()) << row.name;
  }
}

TEST_F(ClassFactoryTest, CreatorReleasesWhatTheOutputHeldBefore) {
  const std::uint64_t live = CountLiveUniqueIDs();
  CPointer<CBase> out(new CRawData());
  Result result = kErrStream;
  CreateObject<CVersionData>(result, out);
  EXPECT_EQ(result, kOk);
  EXPECT_EQ(&out->GetClassRecord(), &CVersionData::StaticClassRecord());
  EXPECT_EQ(CountLiveUniqueIDs(), live + 1);
}

TEST_F(ClassFactoryTest, FailedAllocationLeavesTheOutputAsItWas) {
  CPointer<CBase> out(new CRawData());
  CBase* before = out.Get();
  CFragileRaw::failAllocation = true;
  Result result = kOk;
  CreateObject<CFragileRaw>(result, out);
  EXPECT_EQ(result, kErrOutOfMemory);
  EXPECT_EQ(out, before);
  EXPECT_EQ(before->GetReferences(), 1u);

  CFragileRaw source;
  EXPECT_EQ(CreateCopy(source, out), kErrOutOfMemory);
  EXPECT_EQ(out, before);

  CFragileRaw::failAllocation = false;
  CreateObject<CFragileRaw>(result, out);
  EXPECT_EQ(result, kOk);
  EXPECT_NE(out, before);
}

TEST_F(ClassFactoryTest, CreateCopyUsesTheCopyConstructor) {
  CRawData source;
  source.SetName(u"source");
  const u8 bytes[] = {1, 2, 3};
  ASSERT_EQ(source.SetData(sizeof(bytes), bytes), kOk);
  CPointer<CBase> out;
  ASSERT_EQ(CreateCopy(source, out), kOk);
  const CRawData* copy = DynamicCast<CRawData>(out.Get());
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->GetName(), u"source");
  EXPECT_EQ(copy->GetByteSize(), 3u);
  EXPECT_NE(copy->GetUniqueId(), source.GetUniqueId());
  EXPECT_FALSE(copy->IsModified());
}

TEST(OldClassNames, FiveNamesMapToCurrentClasses) {
  u32 count = 0;
  const OldClassName* names = GetOldClassNames(count);
  ASSERT_EQ(count, 5u);
  const std::pair<std::string, std::string> expected[] = {
      {"CTriMeshUVWMapControl", "CUvwMapControl"}, {"CTriMeshUVWMap", "CUvwMap"}, {"CBoneMesh", "CTriMesh"},
      {"CBoneNodeMesh", "CTriMesh"},               {"CBoneShapeMesh", "CTriMesh"},
  };
  for (u32 i = 0; i < count; ++i) {
    EXPECT_EQ(names[i].oldName, expected[i].first) << i;
    EXPECT_EQ(names[i].currentName, expected[i].second) << i;
    // Old names have no class record of their own; current names have one.
    EXPECT_EQ(FindClassRecord(names[i].oldName), nullptr) << names[i].oldName;
    EXPECT_NE(FindClassRecord(names[i].currentName), nullptr) << names[i].currentName;
  }
}

// Stand-in creators for current classes, so that the mapping is tested
// without the library's own classes.
void CreateMeshStandIn(Result& result, CPointer<CBase>& out) { CreateObject<CRawData>(result, out); }
void CreateMapStandIn(Result& result, CPointer<CBase>& out) { CreateObject<CXmlRawData>(result, out); }

class OldClassNameMapping : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = CClassFactory::GetRegistry();
    for (const char* name : {"CTriMeshUVWMapControl", "CTriMeshUVWMap", "CBoneMesh", "CBoneNodeMesh",
                             "CBoneShapeMesh", "CUvwMapControl", "CUvwMap", "CTriMesh"}) {
      CClassFactory::GetRegistry().erase(name);
    }
  }
  void TearDown() override { CClassFactory::GetRegistry() = saved_; }

 private:
  CClassFactory::Registry saved_;
};

TEST_F(OldClassNameMapping, OldNamesTakeTheCreatorsOfTheirCurrentClasses) {
  CClassFactory::Register("CUvwMap", &CreateMapStandIn);
  RegisterOldClassNames();
  EXPECT_EQ(CClassFactory::FindCreator("CTriMeshUVWMap"), &CreateMapStandIn);
  // Current classes not registered yet leave their old names unknown.
  for (const char* name : {"CTriMeshUVWMapControl", "CBoneMesh", "CBoneNodeMesh", "CBoneShapeMesh"}) {
    EXPECT_EQ(CClassFactory::FindCreator(name), nullptr) << name;
  }
  // A later call picks up classes registered in between.
  CClassFactory::Register("CTriMesh", &CreateMeshStandIn);
  RegisterOldClassNames();
  for (const char* name : {"CBoneMesh", "CBoneNodeMesh", "CBoneShapeMesh"}) {
    EXPECT_EQ(CClassFactory::FindCreator(name), &CreateMeshStandIn) << name;
  }
  EXPECT_EQ(CClassFactory::FindCreator("cbonemesh"), nullptr);
}

TEST_F(OldClassNameMapping, AnObjectMadeUnderAnOldNameHasItsCurrentClassRecord) {
  CClassFactory::Register("CTriMesh", &CreateMeshStandIn);
  RegisterOldClassNames();
  const CreateObjectFunc creator = CClassFactory::FindCreator("CBoneNodeMesh");
  ASSERT_NE(creator, nullptr);
  Result result = kErrStream;
  CPointer<CBase> out;
  creator(result, out);
  ASSERT_EQ(result, kOk);
  // It saves under the name of the record its creator gives it.
  EXPECT_STREQ(out->GetClassRecord().name, "CRawData");
}

}  // namespace
}  // namespace KT
