// Shared pieces of the tests of the height map, its material and the grass
// field: class registration, visitors that record what an object reports,
// byte images and load helpers.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "objectmodel/byte_writer.h"
#include "objectmodel/class_factory.h"
#include "objectmodel/memory_io.h"
#include "objectmodel/stream_test_support.h"
#include "scene/scene_test_classes.h"

namespace KT::test {

// Where the first record of a file with one root begins.
inline constexpr std::size_t kFieldFirstRecordOffset = 40;

// Each test registers the node, the test leaf and `Classes` under their
// class names, and leaves the process-wide registry as it found it.
template <typename... Classes>
class FieldClassesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = CClassFactory::GetRegistry();
    RegisterSceneTestClasses();
    (CClassFactory::Register(Classes::StaticClassRecord().name, &CreateObject<Classes>), ...);
    UseTestIds(0);
  }
  void TearDown() override { CClassFactory::GetRegistry() = saved_; }

 private:
  CClassFactory::Registry saved_;
};

// Every reference an object reports, null ones included, with its owned
// flag.
struct AllReferences : CReferenceVisitor {
  std::vector<std::pair<CBase*, u32>> seen;
  void Visit(CBase* object, u32 owned) override { seen.emplace_back(object, owned); }
};

// The titles of the member groups an object describes, in order.
struct GroupNames : CMemberVisitor {
  std::vector<std::u16string> names;
  void BeginGroup(const char16_t* name) override { names.emplace_back(name); }
};

// A file whose first record, of class `className`, is its root, followed
// by a test leaf record for each of `leaves` (the ids the root refers to).
inline Bytes RootWithLeaves(const char* className, const ByteWriter& root, const std::vector<u64>& leaves) {
  SceneFile file;
  file.Record(className, root, true);
  for (u64 leaf : leaves) file.Record("CTestLeaf", LeafBody(leaf));
  return file.Data();
}

// Loads `bytes`; the root at `index` as a T (null when the load failed or
// the root is of another class).
template <typename T>
T* LoadRoot(const Bytes& bytes, CStream& stream, CMemoryIo& device, Result& result, u32 index = 0) {
  result = LoadScene(bytes, stream, device);
  if (Failed(result) || index >= stream.GetRootObjectCount()) return nullptr;
  return DynamicCast<T>(stream.GetRootObject(index));
}

// Saves `roots`, loads the file and saves what it delivered again: both
// files must be equal once ids are renumbered, and the file must measure
// what the records' GetSaveSize promise. Answers the first file.
inline Bytes ExpectSaveLoadSave(const std::vector<CBase*>& roots, CStream& loaded, CMemoryIo& device) {
  const Bytes first = SaveRoots(roots);
  UseTestIds(1);
  EXPECT_EQ(LoadScene(first, loaded, device), kOk);
  // The header and section sizes (31 bytes), "_Root" before each root,
  // then every record as its GetSaveSize promises.
  EXPECT_EQ(first.size(), 31 + 9 * loaded.GetRootObjectCount() + LoadedRecordBytes(loaded));
  UseTestIds(2);
  EXPECT_EQ(RenumberIds(SaveLoaded(loaded)), RenumberIds(first));
  return first;
}

}  // namespace KT::test
