// The blink constraint: the keyed weight toward Offset and Dst, the plane
// it keeps the object above, its update depth, its Dst reference through
// clones, names and links, and every record form.
#include "controllers/composite/blink_control.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "controllers/composite/constraint_test_support.h"
#include "controllers/core/transform_test_support.h"
#include "objectmodel/byte_writer.h"
#include "objectmodel/class_factory.h"
#include "objectmodel/math_functions.h"
#include "objectmodel/stream_test_support.h"
#include "render/lights/light_test_support.h"
#include "scene/node.h"

namespace KT {
namespace {

using test::Bytes;
using test::ByteWriter;
using test::kFirstRecordOffset;
using Vec3 = CVector3<float>;

class BlinkControlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::RegisterTransformTestClasses();
    CClassFactory::Register("CBlinkControl", &CreateObject<CBlinkControl>);
    CClassFactory::Register("CNode", &CreateObject<CNode>);
    test::UseTestIds(0);
  }
};

CQuaternion TurnZ(f32 angle) { return CQuaternion::FromAxisAngle({0.0f, 0.0f, 1.0f}, angle); }

// A node with a blink control whose keys are (time, weight, type).
struct Blinker {
  CPointer<CNode> node;
  CPointer<CBlinkControl> control{new CBlinkControl()};
  explicit Blinker(const Vec3& at = {0, 0, 0}) : node(test::Placed(u"blinker", at)) {
    EXPECT_EQ(node->AddControl(control.Get()), kOk);
  }
  void Keys(std::initializer_list<std::pair<i32, f32>> keys, u32 type = TT_LINEAR) {
    for (const auto& [time, weight] : keys) EXPECT_EQ(control->EditKeys().SetKey(time, weight, type), kOk);
  }
  const CRtsTransform& Run(i32 time) {
    EXPECT_EQ(control->UpdateTransform(time), kOk);
    return control->GetLocal();
  }
};

TEST_F(BlinkControlTest, TheWeightTurnsTowardOffsetUnclamped) {
  struct Row {
    const char* name;
    f32 lastWeight;
    u32 type;
    i32 time;
    f32 angle;
  };
  const f32 quarter = kHalfPi;
  const Row rows[] = {
      {"before the first key", 1.0f, TT_LINEAR, -100, 0.0f},
      {"halfway, linear", 1.0f, TT_LINEAR, 500, quarter * 0.5f},
      {"on the last key", 1.0f, TT_LINEAR, 1000, quarter},
      {"after the last key", 1.0f, TT_LINEAR, 3000, quarter},
      {"eased in at strength 50", 1.0f, TT_EASE_IN, 500, quarter * 0.25f},
      {"a weight of 2 goes past Offset", 2.0f, TT_LINEAR, 1000, 2.0f * quarter},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Blinker blinker;
    blinker.control->SetOffset(TurnZ(quarter));
    blinker.Keys({{0, 0.0f}, {1000, row.lastWeight}}, row.type);
    test::ExpectSameRotation(blinker.Run(row.time).Rotate, TurnZ(row.angle));
  }
}

TEST_F(BlinkControlTest, TheRotationComesOnTopOfTheObjectsLocalAndWorldsFollow) {
  CPointer<CNode> parent = test::Placed(u"parent", {0, 0, 10});
  Blinker blinker({1, 0, 0});
  ASSERT_EQ(parent->AddChild(blinker.node.Get()), kOk);
  CRtsTransform local = blinker.node->GetLocal();
  local.Rotate = CQuaternion::FromAxisAngle({1, 0, 0}, 0.5f);
  blinker.node->SetLocal(local);
  blinker.control->SetOffset(TurnZ(0.75f));
  blinker.Keys({{0, 1.0f}});
  const CRtsTransform& result = blinker.Run(0);
  test::ExpectSameRotation(result.Rotate, local.Rotate * TurnZ(0.75f));
  test::ExpectNear(blinker.control->GetWorldRotate(), result.Rotate.ToMatrix3());
  test::ExpectNear(blinker.control->GetWorldMatrix().GetTranslation(), {1, 0, 10});
}

TEST_F(BlinkControlTest, TheWeightMovesTowardDstInTheObjectsOwnSpace) {
  CPointer<CNode> dst = test::Placed(u"dst", {4, 2, 0});
  Blinker blinker({1, 0, 0});
  blinker.control->SetDst(dst.Get());
  blinker.Keys({{0, 0.0f}, {1000, 1.0f}});
  test::ExpectNear(blinker.Run(500).Translate, {2.5f, 1, 0});
  test::ExpectNear(blinker.Run(1000).Translate, {4, 2, 0});
  test::ExpectNear(blinker.Run(0).Translate, {1, 0, 0});
}

TEST_F(BlinkControlTest, ThePlaneKeepsThePoseAboveIt) {
  CPointer<CNode> dst = test::Placed(u"dst", {0, 2, 0});
  struct Row {
    const char* name;
    Vec3 at;
    Vec3 expected;
  };
  const Row rows[] = {
      {"below the plane moves onto it", {3, 1, -1}, {3, 2, -1}},
      {"above the plane stays", {3, 5, -1}, {3, 5, -1}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Blinker blinker(row.at);
    blinker.control->SetDst(dst.Get());
    blinker.control->SetConstrained(true);
    // No keys: the pose is the object's own (SM_CURRENT_WORLD).
    test::ExpectNear(blinker.Run(0).Translate, row.expected);
    test::ExpectNear(blinker.control->GetWorldMatrix().GetTranslation(), row.expected);
  }
  // ConstraintSpace turns the plane: upside down, the object stays below.
  Blinker turned({0, 3, 0});
  turned.control->SetDst(dst.Get());
  turned.control->SetConstrained(true);
  CMatrix4 flip;
  flip.SetRotation3x3(CQuaternion::FromAxisAngle({1, 0, 0}, kPi).ToMatrix3());
  turned.control->SetConstraintSpace(flip);
  test::ExpectNear(turned.Run(0).Translate, {0, 2, 0}, 1e-5f);
  // Without Dst there is no plane.
  Blinker free({0, -4, 0});
  free.control->SetConstrained(true);
  test::ExpectNear(free.Run(0).Translate, {0, -4, 0});
}

TEST_F(BlinkControlTest, TheTimeIsMappedByRepeatAndFrequency) {
  Blinker blinker;
  blinker.control->SetOffset(TurnZ(kHalfPi));
  blinker.Keys({{0, 0.0f}, {1000, 1.0f}});
  blinker.control->SetFrequency(2.0f);
  test::ExpectSameRotation(blinker.Run(250).Rotate, TurnZ(kHalfPi * 0.5f));
  blinker.control->SetFrequency(1.0f);
  blinker.control->SetRepeat(CControl::RT_WRAP);
  test::ExpectSameRotation(blinker.Run(1500).Rotate, TurnZ(kHalfPi * 0.5f));
  EXPECT_EQ(blinker.control->GetEndTime(), 1000);
}

TEST_F(BlinkControlTest, UpdateAndDepthAnswers) {
  CPointer<CBlinkControl> loose(new CBlinkControl());
  EXPECT_EQ(loose->GetSlaveMode(), u32{CRTSControl::SM_CURRENT_WORLD});
  EXPECT_EQ(loose->UpdateTransform(0), kErrInvalidArg);
  EXPECT_EQ(loose->GetEndTime(), 0);
  EXPECT_FALSE(loose->HasSubObjects());
  CPointer<test::CTestDorun> notSpatial(new test::CTestDorun());
  ASSERT_EQ(notSpatial->AddControl(loose.Get()), kOk);
  EXPECT_EQ(loose->UpdateTransform(0), kErrNotFound);

  CPointer<CNode> grand = test::Placed(u"grand", {0, 0, 0});
  CPointer<CNode> dst = test::Placed(u"dst", {0, 0, 0});
  ASSERT_EQ(grand->AddChild(dst.Get()), kOk);
  Blinker blinker;
  i32 depth = 0;
  EXPECT_EQ(blinker.control->GetUpdateDepth(0, depth), kDone);
  EXPECT_EQ(depth, 0);
  blinker.control->SetDst(dst.Get());
  EXPECT_TRUE(blinker.control->HasSubObjects());
  struct Row {
    i32 start;
    i32 expected;
  };
  // Dst's own depth is 1: the larger of it and the depth so far, plus 1.
  for (const Row& row : {Row{0, 2}, Row{5, 6}}) {
    dst->SetDirty();
    grand->SetDirty();
    depth = row.start;
    EXPECT_EQ(blinker.control->GetUpdateDepth(0, depth), kOk);
    EXPECT_EQ(depth, row.expected);
  }
  blinker.control->SetActive(false);
  depth = 0;
  EXPECT_EQ(blinker.control->GetUpdateDepth(0, depth), kDone);
  EXPECT_EQ(depth, 0);
  EXPECT_EQ(blinker.control->UpdateTransform(0), kDone);
}

// --- references and copies ------------------------------------------------------------------

TEST_F(BlinkControlTest, DstFollowsClonesAndNamesButIsNeverCloned) {
  CPointer<CNode> dst = test::Placed(u"dst", {0, 2, 0});
  Blinker blinker;
  blinker.control->SetDst(dst.Get());
  CloneMap map;
  CPointer<CBase> copy;
  ASSERT_GE(blinker.node->Clone(copy, map, 0), 0);
  ASSERT_EQ(copy->RemapAllReferences(map), kOk);
  auto* cloned = DynamicCast<CBlinkControl>(DynamicCast<CNode>(copy.Get())->GetFirstControl());
  ASSERT_NE(cloned, nullptr);
  EXPECT_EQ(cloned->GetDst(), dst.Get());
  EXPECT_EQ(map.count(dst.Get()), 0u);
  CPointer<CNode> dstCopy = test::Placed(u"dst copy", {0, 0, 0});
  map[dst.Get()] = CPointer<CBase>(dstCopy.Get());
  ASSERT_EQ(cloned->RemapReferences(map), kOk);
  EXPECT_EQ(cloned->GetDst(), dstCopy.Get());

  CPointer<CNode> root(new CNode());
  CPointer<CNode> found = test::Placed(u"dst", {0, 0, 0});
  ASSERT_EQ(root->AddChild(found.Get()), kOk);
  EXPECT_EQ(blinker.control->ResolveReferences(nullptr), kErrInvalidArg);
  ASSERT_EQ(blinker.control->ResolveReferences(root.Get()), kOk);
  EXPECT_EQ(blinker.control->GetDst(), found.Get());
  found->SetName(u"elsewhere");
  blinker.control->SetDst(dst.Get());
  ASSERT_EQ(blinker.control->ResolveReferences(root.Get()), kOk);
  EXPECT_EQ(blinker.control->GetDst(), nullptr);
}

TEST_F(BlinkControlTest, CopyToKeepsTheTargetsSearchCacheAndConstructionCopiesIt) {
  CPointer<CNode> dst = test::Placed(u"dst", {0, 2, 0});
  Blinker blinker;
  blinker.control->SetDst(dst.Get());
  blinker.control->SetConstrained(true);
  blinker.Keys({{0, 0.0f}, {100, 1.0f}, {200, 0.0f}});
  blinker.Run(150);
  const u32 cache = blinker.control->GetKeys().Times().GetLastIndex();
  ASSERT_NE(cache, 0u);
  CPointer<CBlinkControl> target(new CBlinkControl());
  target->EditKeys().Times().SetLastIndex(7);
  DisplacedList displaced;
  ASSERT_EQ(blinker.control->CopyTo(target.Get(), displaced, 0), kOk);
  EXPECT_EQ(target->GetKeys().Times().GetLastIndex(), 7u);
  EXPECT_EQ(target->GetKeys().Size(), 3u);
  EXPECT_EQ(target->GetKeys().Weights()[1], 1.0f);
  EXPECT_EQ(target->GetDst(), dst.Get());
  EXPECT_TRUE(target->IsConstrained());
  EXPECT_EQ(blinker.control->CopyTo(dst.Get(), displaced, 0), kErrNotFound);
  CPointer<CBase> instance;
  ASSERT_EQ(blinker.control->CreateInstance(instance), kOk);
  EXPECT_EQ(DynamicCast<CBlinkControl>(instance.Get())->GetKeys().Times().GetLastIndex(), cache);
}

// --- records ------------------------------------------------------------------------------------

TEST_F(BlinkControlTest, SavesLoadsAndSavesTheSameBytes) {
  CPointer<CNode> scene(new CNode());
  CPointer<CNode> dst = test::Placed(u"dst", {0, 2, 0});
  Blinker blinker;
  blinker.control->SetDst(dst.Get());
  blinker.control->SetOffset(TurnZ(0.5f));
  blinker.control->SetConstrained(true);
  CMatrix4 space;
  space.SetTranslation({1, 2, 3});
  blinker.control->SetConstraintSpace(space);
  blinker.Keys({{0, 0.0f}, {1000, 1.0f}}, TT_EASE_OUT);
  ASSERT_EQ(scene->AddChild(blinker.node.Get()), kOk);
  ASSERT_EQ(scene->AddChild(dst.Get()), kOk);
  // Two keys: 97 + 12 + 12 + 12 bytes of its own.
  EXPECT_EQ(blinker.control->GetSaveSize(), blinker.control->CRTSControl::GetSaveSize() + 133);
  const Bytes first = test::SaveRoots({scene.Get()});
  test::UseTestIds(1);
  CStream stream;
  CMemoryIo device;
  ASSERT_EQ(test::LoadScene(first, stream, device), kOk);
  EXPECT_EQ(test::LoadedRecordBytes(stream) + kFirstRecordOffset, first.size());
  EXPECT_EQ(test::Members(stream.GetRootObject(0)), test::Members(scene.Get()));
  EXPECT_EQ(test::RenumberIds(test::SaveLoaded(stream)), test::RenumberIds(first));
  test::ExpectPrefixesFailBetweenRecords(first, kFirstRecordOffset);

  test::ExpectNamesInOrder(test::Members(blinker.control.Get()),
                           {"CBlinkControl Member", "LastIndex", "Dst", "Offset", "Contraint", "ConstraintSpace", "Time",
                            "Weight", "TransitionType", "CRTSControl Member"});
}

constexpr u64 kControlId = 0x10;
constexpr u64 kBlinkerId = 0x20;
constexpr u64 kDstId = 0x30;
constexpr u64 kNotSpatialId = 0x50;

// A blink record of version 1.`minor` with Dst `dst`, Offset a quarter
// turn about Z in the version's form, the plane on, an identity space and
// the lists: times 0 and 500.7 (f32 below 1.02), `weights` and two types.
ByteWriter Record(u32 minor, u64 dst = kDstId, std::initializer_list<f32> weights = {0.0f, 1.0f},
                  u32 rtsMinor = 2) {
  ByteWriter w = test::TransformControlHead(kControlId, kBlinkerId, rtsMinor, 0);
  w.Pair(1, minor).U64(dst);
  const f32 s = std::sqrt(0.5f);
  if (minor == 1) w.F32(s).F32(0).F32(0).F32(s);  // w, x, y, z
  if (minor >= 2) w.F32(0).F32(0).F32(s).F32(s);
  w.U8(1);
  for (int i = 0; i < 16; ++i) w.F32(i % 5 == 0 ? 1.0f : 0.0f);
  if (minor >= 2) {
    w.U32(2).I32(0).I32(500);
  } else {
    w.U32(2).F32(0.0f).F32(500.7f);
  }
  w.U32(static_cast<u32>(weights.size()));
  for (const f32 weight : weights) w.F32(weight);
  return w.U32(2).U32(TT_LINEAR).U32(TT_STEP);
}

Bytes File(const ByteWriter& record) {
  return test::SceneImage()
      .Record("CTestSpatial", test::NamedSpatialBody(kBlinkerId, kControlId, u"blinker"), true)
      .Record("CBlinkControl", record)
      .Record("CTestSpatial", test::NamedSpatialBody(kDstId, 0, u"dst"), true)
      .Record("CTestDorun", test::TestDorunBody(kNotSpatialId, 0), true)
      .Data();
}

Result Load(const ByteWriter& record, CStream& stream, CMemoryIo& device, CBlinkControl*& out) {
  const Bytes file = File(record);
  out = nullptr;
  const Result r = test::LoadScene(file, stream, device);
  if (r != kOk) return r;
  out = test::FirstControlOfRoot<CBlinkControl>(stream);
  test::ExpectPrefixesFailBetweenRecords(file, kFirstRecordOffset);
  return r;
}

TEST_F(BlinkControlTest, EveryRecordFormLoads) {
  const f32 s = std::sqrt(0.5f);
  struct Row {
    u32 minor;
    CQuaternion offset;
    i32 secondTime;
  };
  for (const Row& row : {Row{0, kQuaternionIdentity, 500}, Row{1, {0, 0, s, s}, 500}, Row{2, {0, 0, s, s}, 500},
                         Row{3, {0, 0, s, s}, 500}}) {
    SCOPED_TRACE(row.minor);
    CStream stream;
    CMemoryIo device;
    CBlinkControl* control = nullptr;
    ASSERT_EQ(Load(Record(row.minor), stream, device, control), kOk);
    ASSERT_NE(control, nullptr);
    EXPECT_EQ(control->GetOffset(), row.offset);
    ASSERT_EQ(control->GetKeys().Size(), 2u);
    EXPECT_EQ(control->GetKeys().Times()[1], row.secondTime);
    EXPECT_EQ(control->GetKeys().Types()[1], u32{TT_STEP});
    EXPECT_TRUE(control->IsConstrained());
    ASSERT_NE(control->GetDst(), nullptr);
    EXPECT_EQ(control->GetDst()->GetName(), u"dst");
    // The stored SlaveMode 0 of a current transform part stands.
    EXPECT_EQ(control->GetSlaveMode(), u32{CRTSControl::SM_DEFAULT_BASIS});
  }
}

TEST_F(BlinkControlTest, MalformedNewerAndForeignRecords) {
  struct Case {
    const char* name;
    ByteWriter record;
    Result expected;
  };
  const Case cases[] = {
      {"version 1.04", Record(4), kErrNewerVersion},
      {"fewer weights than times", Record(3, kDstId, {0.0f}), kErrNotFound},
      {"more weights than times", Record(3, kDstId, {0.0f, 1.0f, 0.5f}), kErrNotFound},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CStream stream;
    CMemoryIo device;
    CBlinkControl* control = nullptr;
    EXPECT_EQ(Load(c.record, stream, device, control), c.expected);
  }
  // Dst naming an object that is no spatial stays empty; an old transform
  // part forces SM_CURRENT_WORLD.
  CStream stream;
  CMemoryIo device;
  CBlinkControl* control = nullptr;
  ASSERT_EQ(Load(Record(3, kNotSpatialId, {0.0f, 1.0f}, 1), stream, device, control), kOk);
  EXPECT_EQ(control->GetDst(), nullptr);
  EXPECT_EQ(control->GetSlaveMode(), u32{CRTSControl::SM_CURRENT_WORLD});
}

}  // namespace
}  // namespace KT
