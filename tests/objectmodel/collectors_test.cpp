// Typed collectors: every object of one class under a root, once each, in
// first-met order.
#include "objectmodel/collectors.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "objectmodel/version_data.h"
#include "test_objects.h"

namespace KT {
namespace {

using test::CHolder;
using test::Make;

// root (holder)
//   children: rawA, xml, shared, version, inner, shared
//   inner.children: shared, rawB
struct Scene {
  CPointer<CHolder> root = Make<CHolder>(u"root");
  CPointer<CRawData> rawA = Make<CRawData>(u"a");
  CPointer<CXmlRawData> xml = Make<CXmlRawData>(u"xml");
  CPointer<CRawData> shared = Make<CRawData>(u"shared");
  CPointer<CVersionData> version = Make<CVersionData>(u"version");
  CPointer<CHolder> inner = Make<CHolder>(u"inner");
  CPointer<CRawData> rawB = Make<CRawData>(u"a");

  Scene() {
    inner->children = {shared, rawB};
    root->children = {rawA, xml, shared, version, inner, shared};
  }
};

TEST(CollectObjects, NullRootLeavesTheOutputAlone) {
  Scene scene;
  std::vector<CRawData*> out = {scene.rawA.Get()};
  CollectObjects<CRawData>(out, nullptr, nullptr, true, false);
  EXPECT_EQ(out, (std::vector<CRawData*>{scene.rawA.Get()}));
  std::vector<CPointer<CRawData>> pointers;
  CollectPointers<CRawData>(pointers, nullptr, nullptr, true, false);
  EXPECT_TRUE(pointers.empty());
}

TEST(CollectObjects, FiltersListEachObjectOnceInFirstMetOrder) {
  Scene scene;
  CRawData* a = scene.rawA.Get();
  CRawData* b = scene.rawB.Get();
  CRawData* shared = scene.shared.Get();
  CRawData* xml = scene.xml.Get();
  struct Row {
    const char* what;
    const char16_t* name;
    bool includeDerived;
    std::vector<CRawData*> expected;
  };
  const std::vector<Row> rows = {
      {"exact class", nullptr, false, {a, shared, b}},
      {"class and subclasses", nullptr, true, {a, xml, shared, b}},
      {"by name", u"a", true, {a, b}},
      {"name of a subclass object, exact class", u"xml", false, {}},
      {"no such name", u"none", true, {}},
  };
  for (const Row& row : rows) {
    std::vector<CRawData*> out;
    CollectObjects<CRawData>(out, scene.root.Get(), row.name, row.includeDerived, false);
    EXPECT_EQ(out, row.expected) << row.what;
  }
}

TEST(CollectObjects, SecondCallAppendsNothingAndEarlierEntriesStayFirst) {
  Scene scene;
  CPointer<CRawData> before = Make<CRawData>(u"before");
  std::vector<CRawData*> out = {before.Get(), scene.shared.Get()};
  CollectObjects<CRawData>(out, scene.root.Get(), nullptr, false, false);
  EXPECT_EQ(out, (std::vector<CRawData*>{before.Get(), scene.shared.Get(), scene.rawA.Get(), scene.rawB.Get()}));
  const std::vector<CRawData*> first = out;
  CollectObjects<CRawData>(out, scene.root.Get(), nullptr, false, false);
  EXPECT_EQ(out, first);
}

TEST(CollectObjects, OnlyMarkedObjects) {
  Scene scene;
  scene.root->UpdateMarked({scene.rawB.Get(), scene.xml.Get()});
  std::vector<CRawData*> out;
  CollectObjects<CRawData>(out, scene.root.Get(), nullptr, true, true);
  EXPECT_EQ(out, (std::vector<CRawData*>{scene.xml.Get(), scene.rawB.Get()}));
  // Containers on the way are marked too, and count as their own class.
  std::vector<CCustomData*> holders;
  CollectObjects<CCustomData>(holders, scene.root.Get(), nullptr, false, true);
  EXPECT_EQ(holders, (std::vector<CCustomData*>{scene.root.Get(), scene.inner.Get()}));
}

TEST(CollectObjects, ManyDuplicatesKeepFirstMetOrder) {
  // A wide graph that reports each of its objects many times.
  CPointer<CHolder> root = Make<CHolder>(u"root");
  std::vector<CPointer<CRawData>> objects;
  for (int i = 0; i < 2000; ++i) objects.push_back(Make<CRawData>(u"o"));
  for (int round = 0; round < 5; ++round) {
    for (std::size_t i = 0; i < objects.size(); ++i) {
      // Each round visits the objects in a different rotation.
      root->children.push_back(objects[(i + static_cast<std::size_t>(round) * 7) % objects.size()]);
    }
  }
  std::vector<CRawData*> out;
  CollectObjects<CRawData>(out, root.Get(), nullptr, false, false);
  ASSERT_EQ(out.size(), objects.size());
  for (std::size_t i = 0; i < objects.size(); ++i) EXPECT_EQ(out[i], objects[i].Get()) << i;
}

TEST(CollectPointers, AppendedObjectsGainOneCountEach) {
  Scene scene;
  CPointer<CRawData> before = Make<CRawData>(u"before");
  std::vector<CPointer<CRawData>> out = {before, scene.shared};
  const u32 sharedCount = scene.shared->GetReferences();
  const u32 aCount = scene.rawA->GetReferences();
  CollectPointers<CRawData>(out, scene.root.Get(), nullptr, true, false);
  ASSERT_EQ(out.size(), 5u);
  EXPECT_EQ(out[0], before.Get());
  EXPECT_EQ(out[1], scene.shared.Get());
  EXPECT_EQ(out[2], scene.rawA.Get());
  EXPECT_EQ(out[3], static_cast<CRawData*>(scene.xml.Get()));
  EXPECT_EQ(out[4], scene.rawB.Get());
  EXPECT_EQ(scene.shared->GetReferences(), sharedCount);  // already listed: no new count
  EXPECT_EQ(scene.rawA->GetReferences(), aCount + 1);

  CollectPointers<CRawData>(out, scene.root.Get(), nullptr, true, false);
  EXPECT_EQ(out.size(), 5u);
  EXPECT_EQ(scene.rawA->GetReferences(), aCount + 1);
}

TEST(CollectPointers, KeepTheObjectsAliveAfterTheGraphIsGone) {
  std::vector<CPointer<CRawData>> out;
  {
    Scene scene;
    CollectPointers<CRawData>(out, scene.root.Get(), u"a", false, false);
  }
  ASSERT_EQ(out.size(), 2u);
  for (const CPointer<CRawData>& p : out) {
    EXPECT_EQ(p->GetReferences(), 1u);
    EXPECT_EQ(p->GetName(), u"a");
  }
}

}  // namespace
}  // namespace KT
