// Registration of the library's class names: old class names load through
// the creators of their current classes.
#include "library/register_library_classes.h"

#include <gtest/gtest.h>

#include <string>

#include "objectmodel/class_factory.h"
#include "objectmodel/raw_data.h"
#include "objectmodel/version_data.h"
#include "render/images/thumbnail.h"

namespace KT {
namespace {

// Each test leaves the process-wide registry as it found it.
class RegisterLibraryClassesTest : public ::testing::Test {
 protected:
  void SetUp() override { saved_ = CClassFactory::GetRegistry(); }
  void TearDown() override { CClassFactory::GetRegistry() = saved_; }

 private:
  CClassFactory::Registry saved_;
};

TEST_F(RegisterLibraryClassesTest, OldNamesCreateTheirCurrentClasses) {
  RegisterLibraryClasses();
  u32 count = 0;
  const OldClassName* names = GetOldClassNames(count);
  for (u32 i = 0; i < count; ++i) {
    const CreateObjectFunc current = CClassFactory::FindCreator(names[i].currentName);
    // Current classes that the library does not hold yet leave their old
    // names unknown.
    EXPECT_EQ(CClassFactory::FindCreator(names[i].oldName), current) << names[i].oldName;
    if (current == nullptr) continue;
    Result result = kErrStream;
    CPointer<CBase> out;
    current(result, out);
    ASSERT_EQ(result, kOk);
    EXPECT_STREQ(out->GetClassRecord().name, names[i].currentName) << names[i].oldName;
  }
}

TEST_F(RegisterLibraryClassesTest, EveryRegisteredNameCreatesItsOwnClass) {
  RegisterLibraryClasses();
  for (const auto& [name, creator] : CClassFactory::GetRegistry()) {
    const ClassRecord* record = FindClassRecord(name);
    if (record == nullptr) continue;  // an old name, or a test class
    Result result = kErrStream;
    CPointer<CBase> out;
    creator(result, out);
    if (name == "CUvwMapDataControl" || name == "CParticleDataControl") {
      // The abstract classes with an entry: they refuse to be made.
      EXPECT_EQ(result, kErrInvalidArg);
      EXPECT_FALSE(out);
      continue;
    }
    ASSERT_EQ(result, kOk) << name;
    EXPECT_EQ(out->GetClassRecord().id, record->id) << name;
  }
}

TEST_F(RegisterLibraryClassesTest, CallingAgainChangesNothing) {
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


}  // namespace
}  // namespace KT
