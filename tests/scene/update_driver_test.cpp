// The per-frame update driver: transform order, sub-step schedule, world
// bounds, view and data passes, and refused sub-step rates.
#include "scene/update_driver.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "scene/node.h"
#include "scene_test_classes.h"

namespace KT {
namespace {

using test::CLogControl;
using test::CTestLeaf;

using Log = std::vector<std::string>;

class UpdateDriverTest : public ::testing::Test {
 protected:
  void SetUp() override { test::SceneLog().clear(); }

  // Gives `spatial` a logging controller named after it.
  CLogControl* Animate(CSpatial* spatial) {
    CPointer<CLogControl> control(new CLogControl(spatial->GetName().c_str()));
    EXPECT_EQ(spatial->AddControl(control.Get()), kOk);
    return control.Get();
  }

  // Only the transform updates of the log.
  static Log Transforms() {
    Log out;
    for (const std::string& e : test::SceneLog()) {
      if (e.rfind("T:", 0) == 0) out.push_back(e);
    }
    return out;
  }
};

CPointer<CNode> Node(const char16_t* name) {
  CPointer<CNode> node(new CNode());
  node->SetName(name);
  return node;
}

// root { a { geo (geometry), a2 }, b }
struct SmallScene {
  CPointer<CNode> root = Node(u"root");
  CPointer<CNode> a = Node(u"a");
  CPointer<CTestLeaf> geo{new CTestLeaf(u"geo", CSpatial::kGeometryMinUpdateDepth)};
  CPointer<CNode> a2 = Node(u"a2");
  CPointer<CNode> b = Node(u"b");
  SmallScene() {
    root->AddChild(a.Get());
    a->AddChild(geo.Get());
    a->AddChild(a2.Get());
    root->AddChild(b.Get());
  }
};

TEST_F(UpdateDriverTest, ParentsFirstGeometryLastSiblingsInChildOrder) {
  SmallScene scene;
  for (CSpatial* s : {static_cast<CSpatial*>(scene.root.Get()), static_cast<CSpatial*>(scene.a.Get()),
                      static_cast<CSpatial*>(scene.geo.Get()), static_cast<CSpatial*>(scene.a2.Get()),
                      static_cast<CSpatial*>(scene.b.Get())}) {
    Animate(s);
  }
  ASSERT_EQ(scene.root->UpdateScene(40, 0, 0.0f, true, nullptr, false), kOk);
  EXPECT_EQ(test::SceneLog(), (Log{"T:root@40", "P:root", "T:a@40", "P:a", "T:b@40", "P:b", "T:a2@40", "P:a2",
                                   "T:geo@40", "P:geo"}));
}

TEST_F(UpdateDriverTest, ConstraintTargetIsUpdatedFirst) {
  SmallScene scene;
  // b reads a2, which is deeper: b moves after it.
  Animate(scene.a2.Get());
  Animate(scene.b.Get())->target = scene.a2.Get();
  Animate(scene.a.Get());
  ASSERT_EQ(scene.root->UpdateScene(0, 0, 0.0f, true, nullptr, true), kOk);
  EXPECT_EQ(Transforms(), (Log{"T:a@0", "T:a2@0", "T:b@0"}));
}

TEST_F(UpdateDriverTest, SubStepsRunInsideTheWindowForWhatNeedsThem) {
  SmallScene scene;
  Animate(scene.root.Get());
  Animate(scene.a.Get());
  Animate(scene.a2.Get())->subSteps = true;
  Animate(scene.b.Get());
  ASSERT_EQ(scene.root->UpdateScene(10, 10, 0.5f, true, nullptr, true), kOk);
  // The sub-stepped node moves with its ancestors at 2, 4, 6 and 8; the
  // sibling b only at 10.
  EXPECT_EQ(Transforms(), (Log{"T:root@2", "T:a@2", "T:a2@2", "T:root@4", "T:a@4", "T:a2@4", "T:root@6", "T:a@6",
                               "T:a2@6", "T:root@8", "T:a@8", "T:a2@8", "T:root@10", "T:a@10", "T:b@10",
                               "T:a2@10"}));
}

TEST_F(UpdateDriverTest, SubStepWindowStartsAtTimeZero) {
  CPointer<CNode> root = Node(u"n");
  Animate(root.Get())->subSteps = true;
  ASSERT_EQ(root->UpdateScene(7, 100, 0.25f, true, nullptr, true), kOk);
  EXPECT_EQ(Transforms(), (Log{"T:n@4", "T:n@7"}));
}

TEST_F(UpdateDriverTest, RateZeroMeansNoSubSteps) {
  CPointer<CNode> root = Node(u"n");
  Animate(root.Get())->subSteps = true;
  ASSERT_EQ(root->UpdateScene(10, 1000, 0.0f, true, nullptr, true), kOk);
  EXPECT_EQ(Transforms(), (Log{"T:n@10"}));
}

TEST_F(UpdateDriverTest, RateWithoutAWholeTickStepIsRefusedBeforeAnyUpdate) {
  const f32 rates[] = {2.0f, 1.5f, -0.5f, std::numeric_limits<f32>::quiet_NaN(),
                       std::numeric_limits<f32>::infinity(), -std::numeric_limits<f32>::infinity()};
  for (f32 rate : rates) {
    SCOPED_TRACE(rate);
    test::SceneLog().clear();
    CPointer<CNode> root = Node(u"n");
    Animate(root.Get())->isData = true;
    root->SetCurrentLod(3);
    EXPECT_EQ(root->UpdateScene(10, 10, rate, true, nullptr, false), kErrInvalidArg);
    EXPECT_TRUE(test::SceneLog().empty());
    EXPECT_EQ(root->GetCurrentLod(), 3u);
  }
  // A rate of exactly 1 steps one tick at a time.
  CPointer<CNode> root = Node(u"n");
  Animate(root.Get())->subSteps = true;
  ASSERT_EQ(root->UpdateScene(3, 3, 1.0f, true, nullptr, true), kOk);
  EXPECT_EQ(Transforms(), (Log{"T:n@1", "T:n@2", "T:n@3"}));
}

TEST_F(UpdateDriverTest, DataPassRunsInAscendingDataDepth) {
  SmallScene scene;
  struct Row {
    CSpatial* spatial;
    i32 depth;
  };
  for (const Row& row : {Row{scene.root.Get(), 5}, Row{scene.geo.Get(), 1}, Row{scene.b.Get(), 3}}) {
    CLogControl* control = Animate(row.spatial);
    control->isData = true;
    control->dataDepth = row.depth;
  }
  ASSERT_EQ(scene.root->UpdateScene(20, 0, 0.0f, true, nullptr, false), kOk);
  Log data;
  for (const std::string& e : test::SceneLog()) {
    if (e.rfind("D:", 0) == 0) data.push_back(e);
  }
  EXPECT_EQ(data, (Log{"D:geo@20", "D:b@20", "D:root@20"}));
}

TEST_F(UpdateDriverTest, TransformOnlySkipsBoundsViewAndData) {
  SmallScene scene;
  Animate(scene.b.Get())->isData = true;
  scene.geo->ownBound.SetMinMax({0, 0, 0}, {1, 1, 1});
  scene.a->SetCurrentLod(2);
  ASSERT_EQ(scene.root->UpdateScene(0, 0, 0.0f, true, nullptr, true), kOk);
  EXPECT_TRUE(scene.root->GetWorldBound().IsEmpty());
  EXPECT_EQ(scene.a->GetCurrentLod(), 2u);
  EXPECT_EQ(test::SceneLog(), (Log{"T:b@0", "P:b"}));

  ASSERT_EQ(scene.root->UpdateScene(0, 0, 0.0f, true, nullptr, false), kOk);
  EXPECT_EQ(scene.root->GetWorldBound(), scene.geo->ownBound);
  EXPECT_EQ(scene.a->GetCurrentLod(), 0u);
  EXPECT_EQ(test::SceneLog().back(), "D:b@0");
}

TEST_F(UpdateDriverTest, WorldBoundsFromTheTopmostAncestorOrFromHere) {
  SmallScene scene;
  scene.geo->ownBound.SetMinMax({0, 0, 0}, {1, 1, 1});
  ASSERT_EQ(scene.a->UpdateScene(0, 0, 0.0f, false, nullptr, false), kOk);
  EXPECT_EQ(scene.a->GetWorldBound(), scene.geo->ownBound);
  EXPECT_TRUE(scene.root->GetWorldBound().IsEmpty());
  ASSERT_EQ(scene.a2->UpdateScene(0, 0, 0.0f, true, nullptr, false), kOk);
  EXPECT_EQ(scene.root->GetWorldBound(), scene.geo->ownBound);
}

TEST_F(UpdateDriverTest, ViewIsPreparedWithTheTimeAndOffered) {
  struct CRecordingView : CUpdateView {
    Result Prepare(i32 time) override {
      prepared.push_back(time);
      return kErrInvalidArg;  // not checked
    }
    u32 ChooseLod(const CSpatial*) const override { return 1; }
    std::vector<i32> prepared;
  };
  SmallScene scene;
  scene.geo->SetCurrentLod(4);
  CRecordingView view;
  ASSERT_EQ(scene.root->UpdateScene(33, 0, 0.0f, true, &view, false), kOk);
  EXPECT_EQ(view.prepared, (std::vector<i32>{33}));
  // The plain spatial's view update does nothing: its level stays.
  EXPECT_EQ(scene.geo->GetCurrentLod(), 4u);
}

TEST_F(UpdateDriverTest, FirstFailureOfAPassIsReturned) {
  SmallScene scene;
  Animate(scene.a.Get())->transformResult = kErrOutOfRange;
  Animate(scene.b.Get());
  EXPECT_EQ(scene.root->UpdateScene(0, 0, 0.0f, true, nullptr, false), kErrOutOfRange);
  EXPECT_EQ(Transforms(), (Log{"T:a@0"}));

  test::SceneLog().clear();
  SmallScene other;
  CLogControl* data = Animate(other.b.Get());
  data->isData = true;
  data->dataResult = kErrNotFound;
  EXPECT_EQ(other.root->UpdateScene(0, 0, 0.0f, true, nullptr, false), kErrNotFound);
}

// A controller that keeps data without evaluating it (kErrNotEvaluated)
// ends its own object's data update: the controllers behind it do not run,
// but the pass goes on with the next objects and answers success.
TEST_F(UpdateDriverTest, NotEvaluatedEndsOnlyItsObjectsDataUpdate) {
  SmallScene scene;
  struct Row {
    CSpatial* spatial;
    const char16_t* name;
    i32 depth;
    Result result;
  };
  const Row rows[] = {
      {scene.a.Get(), u"keeper", 1, kErrNotEvaluated},
      {scene.a.Get(), u"behind", 1, kOk},
      {scene.b.Get(), u"b", 2, kOk},
      {scene.root.Get(), u"root", 3, kOk},
  };
  for (const Row& row : rows) {
    CPointer<CLogControl> control(new CLogControl(row.name));
    control->isData = true;
    control->dataDepth = row.depth;
    control->dataResult = row.result;
    ASSERT_EQ(row.spatial->AddControl(control.Get()), kOk);
  }
  ASSERT_EQ(scene.root->UpdateScene(7, 0, 0.0f, true, nullptr, false), kOk);
  Log data;
  for (const std::string& e : test::SceneLog()) {
    if (e.rfind("D:", 0) == 0) data.push_back(e);
  }
  EXPECT_EQ(data, (Log{"D:keeper@7", "D:b@7", "D:root@7"}));
}

TEST_F(UpdateDriverTest, DeepSceneUpdates) {
  constexpr int kDepth = 100000;
  CPointer<CNode> root = Node(u"top");
  CNode* last = root.Get();
  for (int i = 1; i < kDepth; ++i) {
    CPointer<CNode> next = Node(u"");
    last->AddChild(next.Get());
    last = next.Get();
  }
  CPointer<CTestLeaf> leaf(new CTestLeaf(u"bottom"));
  leaf->ownBound.SetMinMax({0, 0, 0}, {1, 1, 1});
  last->AddChild(leaf.Get());
  CLogControl* control = Animate(leaf.Get());
  control->subSteps = true;
  control->isData = true;
  ASSERT_EQ(last->UpdateScene(4, 4, 0.5f, true, nullptr, false), kOk);
  EXPECT_EQ(Transforms(), (Log{"T:bottom@2", "T:bottom@4"}));
  ASSERT_EQ(root->UpdateScene(6, 0, 0.0f, true, nullptr, false), kOk);
  EXPECT_EQ(leaf->GetCachedUpdateDepth(), kDepth);
  EXPECT_EQ(root->GetWorldBound(), leaf->ownBound);
}

}  // namespace
}  // namespace KT
