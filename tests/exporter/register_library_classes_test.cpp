// Registration of the library's class names: old class names load through
// the creators of their current classes.
#include "exporter/register_library_classes.h"

#include <gtest/gtest.h>

#include <string>

#include "objectmodel/class_factory.h"
#include "objectmodel/raw_data.h"
#include "objectmodel/version_data.h"
#include "render/thumbnail.h"

namespace KT {
namespace {

// Stand-in creators for current classes that the library may not hold yet.
void CreateMeshStandIn(Result& result, CPointer<CBase>& out) { CreateObject<CRawData>(result, out); }
void CreateMapStandIn(Result& result, CPointer<CBase>& out) { CreateObject<CVersionData>(result, out); }
void CreateMapControlStandIn(Result& result, CPointer<CBase>& out) { CreateObject<CXmlRawData>(result, out); }

const char* const kOldNames[] = {"CTriMeshUVWMapControl", "CTriMeshUVWMap", "CBoneMesh", "CBoneNodeMesh",
                                 "CBoneShapeMesh"};
const char* const kCurrentNames[] = {"CUvwMapControl", "CUvwMap", "CTriMesh"};

// Each test starts from a registry without the names involved and leaves
// the process-wide registry as it found it.
class RegisterLibraryClassesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = CClassFactory::GetRegistry();
    for (const char* name : kOldNames) CClassFactory::GetRegistry().erase(name);
    for (const char* name : kCurrentNames) CClassFactory::GetRegistry().erase(name);
  }
  void TearDown() override { CClassFactory::GetRegistry() = saved_; }

  static void RegisterStandIns() {
    CClassFactory::Register("CTriMesh", &CreateMeshStandIn);
    CClassFactory::Register("CUvwMap", &CreateMapStandIn);
    CClassFactory::Register("CUvwMapControl", &CreateMapControlStandIn);
  }

 private:
  CClassFactory::Registry saved_;
};

TEST_F(RegisterLibraryClassesTest, OldNamesUseTheCreatorsOfTheirCurrentClasses) {
  RegisterStandIns();
  RegisterLibraryClasses();
  struct Row {
    const char* oldName;
    CreateObjectFunc creator;
  };
  const Row rows[] = {
      {"CTriMeshUVWMapControl", &CreateMapControlStandIn},
      {"CTriMeshUVWMap", &CreateMapStandIn},
      {"CBoneMesh", &CreateMeshStandIn},
      {"CBoneNodeMesh", &CreateMeshStandIn},
      {"CBoneShapeMesh", &CreateMeshStandIn},
  };
  for (const Row& row : rows) EXPECT_EQ(CClassFactory::FindCreator(row.oldName), row.creator) << row.oldName;
}

TEST_F(RegisterLibraryClassesTest, ObjectMadeUnderAnOldNameIsOfTheCurrentClass) {
  RegisterStandIns();
  RegisterLibraryClasses();
  const CreateObjectFunc creator = CClassFactory::FindCreator("CBoneNodeMesh");
  ASSERT_NE(creator, nullptr);
  Result result = kErrStream;
  CPointer<CBase> out;
  creator(result, out);
  ASSERT_EQ(result, kOk);
  ASSERT_TRUE(out);
  // Its record is the current class's (the mesh stand-in's), so it saves
  // under that name.
  EXPECT_EQ(std::string(out->GetClassRecord().name), "CRawData");
}

TEST_F(RegisterLibraryClassesTest, OldNameStaysUnknownWhileItsCurrentClassIs) {
  CClassFactory::Register("CUvwMap", &CreateMapStandIn);
  RegisterLibraryClasses();
  EXPECT_EQ(CClassFactory::FindCreator("CTriMeshUVWMap"), &CreateMapStandIn);
  for (const char* name : {"CTriMeshUVWMapControl", "CBoneMesh", "CBoneNodeMesh", "CBoneShapeMesh"}) {
    EXPECT_EQ(CClassFactory::FindCreator(name), nullptr) << name;
  }
  // A later call picks up current classes registered in between.
  CClassFactory::Register("CTriMesh", &CreateMeshStandIn);
  RegisterLibraryClasses();
  EXPECT_EQ(CClassFactory::FindCreator("CBoneMesh"), &CreateMeshStandIn);
}

TEST_F(RegisterLibraryClassesTest, CallingAgainChangesNothing) {
  RegisterStandIns();
  RegisterLibraryClasses();
  const CClassFactory::Registry once = CClassFactory::GetRegistry();
  RegisterLibraryClasses();
  EXPECT_EQ(CClassFactory::GetRegistry(), once);
}

TEST_F(RegisterLibraryClassesTest, RegistersTheImageClasses) {
  CClassFactory::GetRegistry().erase("CThumbnail");
  RegisterLibraryClasses();
  const CreateObjectFunc creator = CClassFactory::FindCreator("CThumbnail");
  ASSERT_NE(creator, nullptr);
  Result result = kErrStream;
  CPointer<CBase> out;
  creator(result, out);
  ASSERT_EQ(result, kOk);
  EXPECT_NE(DynamicCast<CThumbnail>(out.Get()), nullptr);
}

TEST_F(RegisterLibraryClassesTest, OldNamesAreCaseSensitive) {
  RegisterStandIns();
  RegisterLibraryClasses();
  EXPECT_EQ(CClassFactory::FindCreator("cbonemesh"), nullptr);
  EXPECT_EQ(CClassFactory::FindCreator("CBONENODEMESH"), nullptr);
}

}  // namespace
}  // namespace KT
