// The flexible body and its controllers: the solver's step against values
// worked by hand, the gust and phase, resets, the driver's stepping through
// time, the lists and the update order, ownership and freeing, and the
// records with their older forms.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "controllers/composite/constraint_test_support.h"
#include "controllers/composite/flexi_control.h"
#include "controllers/composite/flexi_data.h"
#include "controllers/core/transform_test_support.h"
#include "objectmodel/byte_writer.h"
#include "objectmodel/class_factory.h"
#include "objectmodel/math_functions.h"
#include "objectmodel/stream_test_support.h"
#include "platform/crt_random.h"
#include "scene/node.h"

namespace KT {
namespace {

using test::Bytes;
using test::ByteWriter;
using Vec3 = CVector3<float>;

class FlexiBodyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::RegisterTransformTestClasses();
    CClassFactory::Register("CFlexiData", &CreateObject<CFlexiData>);
    CClassFactory::Register("CFlexiControl", &CreateObject<CFlexiControl>);
    CClassFactory::Register("CNode", &CreateObject<CNode>);
    test::UseTestIds(0);
    CFlexiData::SetPlay(false);
  }
  void TearDown() override { CFlexiData::SetPlay(false); }
};

// A body whose node i sits at `at[i]` under one parent at the origin, each
// node's spatial carrying one controller.
struct Body {
  CPointer<CNode> root = test::Placed(u"root", {0, 0, 0});
  std::vector<CPointer<CNode>> nodes;
  std::vector<CPointer<CFlexiControl>> controls;
  CPointer<CFlexiData> data{new CFlexiData()};

  Body(const std::vector<Vec3>& at, const std::vector<f32>& masses, u32 stride, u32 row) {
    data->Dimension[0] = stride;
    data->Dimension[1] = row;
    data->EditNodes().resize(at.size());
    std::vector<CFlexiControl*> raw;
    for (std::size_t i = 0; i < at.size(); ++i) {
      CPointer<CNode> node = test::Placed(u"node", at[i]);
      node->SetName(u"node" + std::u16string(1, static_cast<char16_t>(u'0' + i)));
      EXPECT_EQ(root->AddChild(node.Get()), kOk);
      CPointer<CFlexiControl> control(new CFlexiControl());
      EXPECT_EQ(node->AddControl(control.Get()), kOk);
      data->EditNodes()[i].Mass = masses[i];
      data->EditNodes()[i].Rest.SetTranslation(at[i]);
      nodes.push_back(node);
      controls.push_back(control);
      raw.push_back(control.Get());
    }
    EXPECT_EQ(data->AttachControls(raw), kOk);
  }
  CFlexiData::Node& Node(std::size_t i) { return data->EditNodes()[i]; }
  // Evaluates every controller at `time` in the order of the list.
  void Evaluate(i32 time, const std::vector<std::size_t>& order) {
    for (std::size_t i : order) {
      ASSERT_EQ(controls[i]->UpdateTransform(time), kOk);
      ASSERT_EQ(controls[i]->ApplyTransform(), kOk);
    }
  }
};

Body TwoFreeNodes() {
  Body body({{0, 0, 0}, {1, 0, 0}}, {1.0f, 1.0f}, 1, 2);
  body.data->Amplitude = 0;
  body.data->ForceStep = 0;
  return body;
}

TEST_F(FlexiBodyTest, AFreeNodeFallsByDampedVerletSteps) {
  Body body = TwoFreeNodes();
  body.data->Initialise();
  ASSERT_EQ(body.data->Step(1000.0f / 60.0f), kOk);
  for (std::size_t i = 0; i < 2; ++i) {
    SCOPED_TRACE(i);
    const CFlexiData::Node& node = body.Node(i);
    // The first pass lowers the node by 0.97 x 0.008^2 x 9.8, the second
    // by 0.97 x (that + 0.008^2 x 9.8).
    EXPECT_NEAR(node.PrevPosition.z, -0.000608384f, 1e-6f);
    EXPECT_NEAR(node.Position.z - node.PrevPosition.z, -0.001198517f, 1e-6f);
    EXPECT_NEAR(node.Position.z, -0.00180690f, 1e-6f);
    EXPECT_EQ(node.Position.x, static_cast<f32>(i));
    // The controller carries the node, its Local in the parent's space.
    test::ExpectNear(body.controls[i]->GetWorldMatrix().GetTranslation(), node.Position);
    test::ExpectNear(body.controls[i]->GetLocal().Translate, node.Position);
  }
  EXPECT_NEAR(body.data->GetLastTime(), 1.0f / 60.0f, 1e-7f);
}

TEST_F(FlexiBodyTest, WithoutGustsThePhaseAdvancesByHalfTheStep) {
  struct Row {
    const char* name;
    i32 amplitude;
    i32 forceStep;
  };
  const Row rows[] = {{"no gust range", 0, 0}, {"ranges below zero", -7, -1}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Body body = TwoFreeNodes();
    body.data->Amplitude = row.amplitude;
    body.data->ForceStep = row.forceStep;
    body.data->Angle = 1.0f + 4.0f * kPi;  // as loaded: the first step draws
    body.data->Initialise();
    ASSERT_EQ(body.data->Step(100.0f), kOk);
    EXPECT_EQ(body.data->GetGustTarget(), 0.0f);
    EXPECT_EQ(body.data->GetGustRate(), 0.0f);
    EXPECT_NEAR(body.data->Angle, 1.0f + 0.05f, 1e-5f);
    ASSERT_EQ(body.data->Step(60.0f), kOk);  // backward
    EXPECT_NEAR(body.data->Angle, 1.0f + 0.05f + 0.02f, 1e-5f);
    EXPECT_TRUE(std::isfinite(body.Node(1).Position.z));
  }
}

TEST_F(FlexiBodyTest, GustsDrawFromTheRuntimeGenerator) {
  Body body = TwoFreeNodes();
  body.data->Amplitude = 100;
  body.data->ForceStep = 2;
  body.data->Angle = 4.0f * kPi;
  body.data->Initialise();
  CrtSrand(1);
  const i64 first = CrtRand() + 1;
  const i64 second = CrtRand() + 1;
  CrtSrand(1);
  ASSERT_EQ(body.data->Step(10.0f), kOk);
  EXPECT_EQ(body.data->GetGustTarget(), 50.0f + static_cast<f32>(first % 5000) / 100.0f);
  EXPECT_EQ(body.data->GetGustRate(), 1.0f + static_cast<f32>(second % 100) / 100.0f);
  EXPECT_NEAR(body.data->Angle, (body.data->GetGustRate() + 1.0f) * 0.5f * 0.01f, 1e-6f);
}

TEST_F(FlexiBodyTest, LongStepsAndOverstretchedSpringsReset) {
  Body body = TwoFreeNodes();
  CFlexiData::Spring spring;
  spring.NodeA = 0;
  spring.NodeB = 1;
  body.data->EditSprings().push_back(spring);
  body.data->Initialise();
  EXPECT_EQ(body.data->GetSprings()[0].RestLength, 1.0f);
  EXPECT_EQ(body.data->GetSprings()[0].WorkingRestLength, 1.0f);

  // Stretched past five times its rest length: back on the objects.
  body.Node(1).Position = body.Node(1).PrevPosition = {9, 0, 0};
  ASSERT_EQ(body.data->Step(10.0f), kOk);
  EXPECT_NEAR(body.Node(1).Position.x, 1.0f, 1e-3f);
  EXPECT_NEAR(body.Node(1).Position.z, -0.0018069f, 1e-5f);

  // A gap of more than a second only resets.
  body.Node(1).Position = {3, 0, 0};
  EXPECT_EQ(body.data->Step(1500.0f), kDone);
  test::ExpectNear(body.Node(1).Position, {1, 0, 0});
  EXPECT_EQ(body.data->GetLastTime(), 1.5f);
  // The same time again does nothing.
  EXPECT_EQ(body.data->Step(1500.0f), kOk);
  test::ExpectNear(body.Node(1).Position, {1, 0, 0});
  // A single node never steps.
  Body lone({{0, 0, 0}}, {1.0f}, 1, 1);
  EXPECT_EQ(lone.data->Step(10.0f), kDone);
}

TEST_F(FlexiBodyTest, ADimensionWithoutRowsGivesNoAxisAndNoNaN) {
  for (const u32 row : {0u, 5u}) {
    SCOPED_TRACE(row);
    Body body({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {0.0f, 1.0f, 2.0f}, row, row);
    body.data->Consistency = 7;
    body.data->ConsistencyOnRotate = 3;
    body.data->IsUniformForce = false;
    body.data->WindForce = {1, 0, 0};
    body.data->Initialise();
    for (int i = 1; i <= 3; ++i) ASSERT_EQ(body.data->Step(10.0f * static_cast<f32>(i)), kOk);
    for (std::size_t i = 0; i < 3; ++i) {
      EXPECT_TRUE(std::isfinite(body.Node(i).Position.x + body.Node(i).Position.y + body.Node(i).Position.z));
      EXPECT_EQ(body.Node(i).Force, Vec3(0, 0, 0));  // W = 0 and no springs
    }
  }
}

TEST_F(FlexiBodyTest, TheRowsTurnTheirNodesAlongTheBody) {
  // Two rows of two: the second row lies behind the first (pinned), along
  // -Y, across the objects' Z axes.
  Body body({{0, 0, 0}, {1, 0, 0}, {0, -1, 0}, {1, -1, 0}}, {0.0f, 0.0f, 1.0f, 1.0f}, 2, 2);
  body.data->Initialise();
  ASSERT_EQ(body.data->Step(10.0f), kOk);
  for (std::size_t i : {2u, 3u}) {
    // The first row of WorldRotate points from the node above to the node.
    const CMatrix3& rotate = body.controls[i]->GetWorldRotate();
    EXPECT_NEAR(rotate.m[0][1], -1.0f, 1e-3f);
    EXPECT_NEAR(rotate.m[1][0], 1.0f, 1e-3f);
    EXPECT_NEAR(rotate.m[2][2], 1.0f, 1e-3f);
    test::ExpectSameRotation(body.controls[i]->GetLocal().Rotate, rotate.ToQuaternion());
  }
}

TEST_F(FlexiBodyTest, LinkChecksTheNodeIndices) {
  Body body = TwoFreeNodes();
  CFlexiData::Spring spring;
  spring.NodeA = 0;
  spring.NodeB = 2;
  body.data->EditSprings().push_back(spring);
  EXPECT_EQ(body.data->Validate(), kErrNotFound);
  std::vector<CFlexiControl*> shorter = {body.controls[0].Get()};
  body.data->EditSprings().clear();
  EXPECT_EQ(body.data->AttachControls(shorter), kErrNotFound);
  EXPECT_EQ(body.data->GetControls().size(), 2u);
  // Null controls are skipped.
  ASSERT_EQ(body.data->AttachControls({nullptr, body.controls[1].Get()}), kOk);
  EXPECT_TRUE(body.data->GetPinned().empty());
  ASSERT_EQ(body.data->GetSimulated().size(), 1u);
  body.data->Initialise();
  EXPECT_EQ(body.data->Step(10.0f), kOk);
}

TEST_F(FlexiBodyTest, TheListsAndTheUpdateOrder) {
  Body body({{0, 0, 0}, {1, 0, 0}, {0, 0, -1}, {1, 0, -1}, {2, 0, -1}}, {0, 0, 1, 1, 1}, 2, 2);
  const CFlexiData& data = *body.data;
  ASSERT_EQ(data.GetPinned().size(), 2u);
  ASSERT_EQ(data.GetSimulated().size(), 3u);
  EXPECT_TRUE(body.controls[1]->IsPinned());
  EXPECT_FALSE(body.controls[2]->IsPinned());
  EXPECT_EQ(data.GetDriver(), body.controls[2].Get());
  // Raise the pinned node 1 and the simulated node 3 so that the order
  // shows in the depths.
  const auto depthOf = [&](std::size_t i) {
    i32 depth = 0;
    EXPECT_EQ(body.controls[i]->GetUpdateDepth(0, depth), kOk);
    return depth;
  };
  const auto ownDepth = [&](std::size_t i) {
    i32 depth = 0;
    EXPECT_EQ(body.nodes[i]->RaiseUpdateDepth(0, depth), kOk);
    return depth;
  };
  EXPECT_EQ(depthOf(0), 0);               // pinned: nothing
  EXPECT_EQ(depthOf(2), ownDepth(1));     // the driver after the last pinned
  EXPECT_EQ(depthOf(3), ownDepth(2));     // the others after the driver
  EXPECT_EQ(depthOf(4), ownDepth(3));     // the last after the second-to-last
  body.controls[4]->SetActive(false);
  EXPECT_EQ(depthOf(4), 0);
}

TEST_F(FlexiBodyTest, TheDriverStepsEverySixtiethOfASecond) {
  Body body = TwoFreeNodes();
  const std::vector<std::size_t> order = {0, 1};
  // Play off: the controllers hold their objects' poses, the body is not
  // ready.
  body.Evaluate(0, order);
  body.Evaluate(100, order);
  EXPECT_FALSE(body.data->IsPositionReady());
  test::ExpectNear(body.nodes[1]->GetWorldMatrix().GetTranslation(), {1, 0, 0});
  CFlexiData::SetPlay(true);
  body.Evaluate(0, order);  // the last simulated controller initialises
  EXPECT_TRUE(body.data->IsPositionReady());
  EXPECT_EQ(body.data->GetLastTime(), 0.0f);
  // A jump of 500 ms is one step.
  body.Evaluate(500, order);
  EXPECT_NEAR(body.data->GetLastTime(), 0.5f, 1e-6f);
  EXPECT_NEAR(body.Node(1).Position.z - body.Node(1).PrevPosition.z, -0.001198517f, 1e-6f);
  EXPECT_NEAR(body.nodes[1]->GetWorldMatrix().GetTranslation().z, -0.0018069f, 1e-6f);
  EXPECT_EQ(body.controls[0]->GetLastTime(), 500.0f);
  // Backward, in steps of 1/60 s added up in f32: the last step may pass
  // the time by the rounding of the sum.
  const f32 before = body.Node(1).Position.z;
  body.Evaluate(450, order);
  EXPECT_LT(body.data->GetLastTime(), 0.45f + 1e-4f);
  EXPECT_GT(body.data->GetLastTime(), 0.45f - 1.0f / 60.0f - 1e-4f);
  EXPECT_NE(body.Node(1).Position.z, before);
  EXPECT_EQ(body.controls[0]->GetLastTime(), 450.0f);
  // Forward again within ten steps: every step is taken.
  body.Evaluate(500, order);
  EXPECT_GT(body.data->GetLastTime(), 0.5f - 1e-4f);
  EXPECT_LT(body.data->GetLastTime(), 0.5f + 1.0f / 60.0f + 1e-4f);
}

TEST_F(FlexiBodyTest, APinnedBodyNeverSteps) {
  Body body({{0, 0, 0}, {1, 0, 0}}, {0.0f, 0.0f}, 1, 2);
  EXPECT_EQ(body.data->GetDriver(), nullptr);
  CFlexiData::SetPlay(true);
  for (i32 t : {0, 16, 33, 500}) body.Evaluate(t, {0, 1});
  EXPECT_EQ(body.data->GetLastTime(), 0.0f);
  EXPECT_FALSE(body.data->IsPositionReady());
  test::ExpectNear(body.controls[1]->GetWorldMatrix().GetTranslation(), {1, 0, 0});
}

TEST_F(FlexiBodyTest, BodiesAndControllersFreeCleanly) {
  // The body lives while any controller holds it; a controller that goes
  // leaves it.
  CPointer<CFlexiData> kept;
  {
    Body body = TwoFreeNodes();
    kept = body.data;
    body.data = nullptr;
    body.nodes[1]->RemoveControl(body.controls[1].Get());
    body.controls[1] = nullptr;
    EXPECT_EQ(kept->GetControls()[1], nullptr);
    ASSERT_EQ(kept->GetSimulated().size(), 1u);
    EXPECT_EQ(kept->GetReferences(), 2u);
  }
  EXPECT_EQ(kept->GetReferences(), 1u);
  EXPECT_EQ(kept->GetControls()[0], nullptr);
  EXPECT_TRUE(kept->GetSimulated().empty());
  // A controller moved to another body leaves the first.
  Body a = TwoFreeNodes();
  CPointer<CFlexiData> other(new CFlexiData());
  a.controls[0]->SetData(other.Get());
  EXPECT_EQ(a.data->GetControls()[0], nullptr);
}

TEST_F(FlexiBodyTest, ACloneSharesOneCloneOfTheBody) {
  Body body = TwoFreeNodes();
  CloneMap map;
  CPointer<CBase> copy;
  ASSERT_GE(body.root->Clone(copy, map, 0), 0);
  ASSERT_EQ(copy->RemapAllReferences(map), kOk);
  auto* first = DynamicCast<CFlexiControl>(DynamicCast<CNode>(copy->Find(u"node0", nullptr, false, false))->GetFirstControl());
  auto* second = DynamicCast<CFlexiControl>(DynamicCast<CNode>(copy->Find(u"node1", nullptr, false, false))->GetFirstControl());
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);
  ASSERT_NE(first->GetData(), nullptr);
  EXPECT_NE(first->GetData(), body.data.Get());
  EXPECT_EQ(first->GetData(), second->GetData());
  EXPECT_EQ(first->GetData()->GetControls()[0], first);
  EXPECT_EQ(first->GetData()->GetControls()[1], second);
  EXPECT_EQ(first->GetData()->GetDriver(), first);
  // CopyTo shares the body; other classes are refused.
  CPointer<CFlexiControl> target(new CFlexiControl());
  DisplacedList displaced;
  ASSERT_EQ(body.controls[1]->CopyTo(target.Get(), displaced, 0), kOk);
  EXPECT_EQ(target->GetData(), body.data.Get());
  EXPECT_EQ(body.controls[1]->CopyTo(body.data.Get(), displaced, 0), kErrNotFound);
  EXPECT_EQ(body.data->CopyTo(body.controls[1].Get(), displaced, 0), kErrNotFound);
}

TEST_F(FlexiBodyTest, SavesLoadsAndSavesTheSameBytes) {
  Body body({{0, 0, 0}, {1, 0, 0}, {0, 0, -1}}, {0.0f, 1.0f, 2.0f}, 1, 1);
  CFlexiData::Spring spring;
  spring.NodeA = 0;
  spring.NodeB = 2;
  spring.RestLength = 1.0f;
  spring.Unused = 77;
  body.data->EditSprings().push_back(spring);
  body.data->Angle = 20.0f;
  body.data->WindForce = {1, 2, 3};
  body.Node(0).Unused = {4, 5, 6};
  EXPECT_EQ(body.data->GetSaveSize(), body.data->CDorun::GetSaveSize() + 8 + 4 + 20 + 4 + 3 * 128 + 4 + 3 * 8 + 65);
  EXPECT_EQ(body.controls[0]->GetSaveSize(), body.controls[0]->CRTSControl::GetSaveSize() + 16);
  const Bytes first = test::SaveRoots({body.root.Get()});
  test::UseTestIds(1);
  CStream stream;
  CMemoryIo device;
  ASSERT_EQ(test::LoadScene(first, stream, device), kOk);
  auto* root = DynamicCast<CNode>(stream.GetRootObject(0));
  ASSERT_NE(root, nullptr);
  auto* data = DynamicCast<CFlexiData>(root->Find(nullptr, &CFlexiData::StaticClassRecord(), false, false));
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(data->Angle, 20.0f);
  ASSERT_EQ(data->GetControls().size(), 3u);
  EXPECT_EQ(data->GetPinned().size(), 1u);
  EXPECT_EQ(data->GetSimulated().size(), 2u);
  EXPECT_EQ(data->GetControls()[1]->GetData(), data);
  EXPECT_EQ(data->GetSprings()[0].Unused, 77u);
  EXPECT_EQ(test::RenumberIds(test::SaveLoaded(stream)), test::RenumberIds(first));
  test::ExpectPrefixesFailBetweenRecords(first);
  test::ExpectNamesInOrder(test::Members(data), {"CFlexiData Member", "TimeStep", "NodeMass", "StretchK", "ForceStep",
                                                 "Consistency", "ConsistencyOnRotate", "Amplitude", "Angle",
                                                 "IsUniformForce", "WindForce", "Gravity", "Dimension", "LastTime",
                                                 "CurrAmplitude", "LastAngle", "PositionReady"});
  test::ExpectNamesInOrder(test::Members(body.controls[0].Get()),
                           {"CFlexiControl Member", "Play", "MatrixReady", "LastTime", "CRTSControl Member"});
}

// A body record of version 2.`minor` with `nodes` nodes (of mass 1, the
// first at 0) and every control id `control`; Angle `angle`.
ByteWriter OlderBody(u32 minor, u32 nodes, u64 control, f32 angle, u32 springNode = 1) {
  ByteWriter w;
  test::BasePart(w, 0x30);
  test::DorunPart(w, 0);
  w.Pair(2, minor);
  w.U32(1).F32(1.0f).U32(0).U32(0).U32(springNode).F32(1.0f);
  w.U32(nodes);
  for (u32 i = 0; i < nodes; ++i) {
    w.F32(i == 0 ? 0.0f : 1.0f);
    for (int f = 0; f < 15; ++f) w.F32(static_cast<f32>(i));
    if (minor >= 1) {
      const f32 rest[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 2, 3, 4, 1};
      for (f32 f : rest) w.F32(f);
    }
  }
  w.U32(nodes);
  for (u32 i = 0; i < nodes; ++i) {
    if (minor >= 2) {
      w.U64(control);
    } else {
      w.U32(static_cast<u32>(control));
    }
  }
  w.F32(0.008f).I32(1).I32(6500).I32(2).I32(0).I32(0).U8(1).I32(100).F32(angle);
  for (f32 f : {0.0f, 0.0f, 0.0f, 0.0f, 0.0f, -9.8f}) w.F32(f);
  return w.U32(1).U32(2);
}

// A controller record of version 2.`minor` holding body 0x30.
ByteWriter OlderControl(u32 minor) {
  ByteWriter w = test::TransformControlHead(0x20, 0, 2, 2);
  w.Pair(2, minor);
  if (minor >= 1) {
    w.U64(0x30);
  } else {
    w.U32(0x30);
  }
  if (minor < 2) {
    for (int i = 0; i < 9; ++i) w.F32(1.0f);
  }
  return w;
}

TEST_F(FlexiBodyTest, OlderRecordsLoad) {
  for (u32 bodyMinor : {0u, 1u, 2u}) {
    for (u32 controlMinor : {0u, 1u, 2u}) {
      SCOPED_TRACE(std::to_string(bodyMinor) + " " + std::to_string(controlMinor));
      const Bytes image = test::SceneImage()
                              .Record("CFlexiControl", OlderControl(controlMinor), true)
                              .Record("CFlexiData", OlderBody(bodyMinor, 2, 0x20, 1.0f))
                              .Data();
      CStream stream;
      CMemoryIo device;
      ASSERT_EQ(test::LoadScene(image, stream, device), kOk);
      auto* control = DynamicCast<CFlexiControl>(stream.GetRootObject(0));
      ASSERT_NE(control, nullptr);
      CFlexiData* data = control->GetData();
      ASSERT_NE(data, nullptr);
      EXPECT_NEAR(data->Angle, 13.566371f, 1e-5f);
      ASSERT_EQ(data->GetNodes().size(), 2u);
      EXPECT_EQ(data->GetNodes()[1].Mass, 1.0f);
      test::ExpectNear(data->GetNodes()[1].Force, {1, 1, 1});
      const Vec3 rest = data->GetNodes()[1].Rest.GetTranslation();
      test::ExpectNear(rest, bodyMinor >= 1 ? Vec3(2, 3, 4) : Vec3(0, 0, 0));
      EXPECT_EQ(data->GetControls()[1], control);
      EXPECT_EQ(data->GetDriver(), control);
      EXPECT_TRUE(control->IsPinned() == false);
      EXPECT_EQ(data->Dimension[1], 2u);
      test::ExpectPrefixesFailBetweenRecords(image);
    }
  }
}

TEST_F(FlexiBodyTest, LinkRefusesIndicesPastTheNodes) {
  struct Row {
    const char* name;
    ByteWriter body;
  };
  Row rows[] = {{"a spring past the nodes", OlderBody(2, 2, 0x20, 1.0f, 2)}, {"fewer controls than nodes", {}}};
  // The controls list of the second row holds one id for two nodes.
  ByteWriter w;
  test::BasePart(w, 0x30);
  test::DorunPart(w, 0);
  w.Pair(2, 2).U32(0).U32(2);
  for (int n = 0; n < 2; ++n) {
    for (int f = 0; f < 32; ++f) w.F32(f == 0 ? 1.0f : 0.0f);
  }
  w.U32(1).U64(0x20);
  w.F32(0.008f).I32(1).I32(6500).I32(2).I32(0).I32(0).U8(1).I32(100).F32(0.0f);
  for (int f = 0; f < 6; ++f) w.F32(0.0f);
  w.U32(1).U32(2);
  rows[1].body = w;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const Bytes image =
        test::SceneImage().Record("CFlexiControl", OlderControl(2), true).Record("CFlexiData", row.body).Data();
    CStream stream;
    CMemoryIo device;
    EXPECT_EQ(test::LoadScene(image, stream, device), kErrNotFound);
  }
}

}  // namespace
}  // namespace KT
