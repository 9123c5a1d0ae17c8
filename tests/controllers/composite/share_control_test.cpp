// The share constraint: each channel taken from its targets, the twist and
// the rest of a rotation, the relative mode, the offsets, its answers, the
// update depth, references, copies and every record form.
#include "controllers/composite/share_control.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "controllers/composite/constraint_test_support.h"
#include "controllers/composite/path_control.h"
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
using Target = CShareControl::CShareTarget;

class ShareControlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::RegisterTransformTestClasses();
    CClassFactory::Register("CShareControl", &CreateObject<CShareControl>);
    CClassFactory::Register("CNode", &CreateObject<CNode>);
    test::UseTestIds(0);
  }
};

CQuaternion Turn(const Vec3& axis, f32 angle) { return CQuaternion::FromAxisAngle(axis, angle); }

// A node named `name` whose Local (and Basis) is `local`.
CPointer<CNode> Source(const char16_t* name, const CRtsTransform& local) {
  CPointer<CNode> node(new CNode());
  node->SetName(name);
  node->SetLocal(local);
  node->SetBasis(local);
  return node;
}

CRtsTransform Pose(const Vec3& translate, const CQuaternion& rotate = kQuaternionIdentity,
                   const Vec3& scale = {1, 1, 1}) {
  CRtsTransform t = kIdentityTransform;
  t.Translate = translate;
  t.Rotate = rotate;
  t.Scale = scale;
  return t;
}

Target On(CSpatial* reference) {
  Target t;
  t.Reference.Set(reference);
  return t;
}

// A sharer whose Basis is `basis`, with a share control of `targets`.
struct Sharer {
  CPointer<CNode> node;
  CPointer<CShareControl> control{new CShareControl()};
  Sharer(std::initializer_list<Target> targets, const CRtsTransform& basis = Pose({7, 8, 9}, kQuaternionIdentity, {3, 3, 3}))
      : node(Source(u"sharer", basis)) {
    EXPECT_EQ(node->AddControl(control.Get()), kOk);
    control->EditTargets() = targets;
  }
  const CRtsTransform& Local() {
    EXPECT_EQ(control->UpdateTransform(12345), kOk);
    return control->GetLocal();
  }
};

TEST_F(ShareControlTest, NoTargetsOrNoChannelsGiveTheBasisThenTheOffsets) {
  CPointer<CNode> source = Source(u"source", Pose({1, 2, 3}, Turn({0, 0, 1}, 1.0f), {2, 2, 2}));
  Sharer none{};
  EXPECT_EQ(none.Local(), none.node->GetBasis());
  Sharer idle{On(source.Get())};
  EXPECT_EQ(idle.Local(), idle.node->GetBasis());
  idle.control->SetOffsets({2, 1, 0.5f}, {0, 0, 0}, {1, -1, 0});
  const CRtsTransform& local = idle.Local();
  test::ExpectNear(local.Translate, {8, 7, 9});
  test::ExpectNear(local.Scale, {6, 3, 1.5f});
  EXPECT_EQ(idle.control->GetEndTime(), 0);
}

TEST_F(ShareControlTest, ATouchedTranslationChannelReplacesAllThreeComponents) {
  CPointer<CNode> source = Source(u"source", Pose({4, 5, 6}));
  Target tx = On(source.Get());
  tx.TX.Active = true;
  Sharer sharer{tx};
  const CRtsTransform& local = sharer.Local();
  test::ExpectNear(local.Translate, {4, 0, 0});
  test::ExpectNear(local.Scale, {3, 3, 3});
  // The world follows from Local (no parent).
  test::ExpectNear(sharer.control->GetWorldMatrix().GetTranslation(), {4, 0, 0});
}

TEST_F(ShareControlTest, WeightedScalesAndTranslationsAddUp) {
  CPointer<CNode> a = Source(u"a", Pose({2, 0, 10}, kQuaternionIdentity, {1, 2, 3}));
  CPointer<CNode> b = Source(u"b", Pose({4, 0, 20}, kQuaternionIdentity, {3, 4, 5}));
  Target first = On(a.Get());
  first.S = {true, 0.5f};
  first.TZ = {true, 0.5f};
  Target second = On(b.Get());
  second.S = {true, 0.5f};
  second.TX = {true, 2.0f};
  second.TZ = {true, 0.5f};
  Sharer sharer{first, second};
  const CRtsTransform& local = sharer.Local();
  test::ExpectNear(local.Scale, {2, 3, 4});
  test::ExpectNear(local.Translate, {8, 0, 15});
}

TEST_F(ShareControlTest, EitherRotationFlagSharesTheWholeRotation) {
  const CQuaternion rotation = Turn({1, 2, 3}, 0.8f);
  CPointer<CNode> source = Source(u"source", Pose({0, 0, 0}, rotation));
  for (const u32 axis : {0u, 1u, 2u}) {
    for (const bool ry : {true, false}) {
      SCOPED_TRACE(testing::Message() << "axis " << axis << (ry ? " RY" : " RXZ"));
      Target t = On(source.Get());
      (ry ? t.RY : t.RXZ).Active = true;
      t.AxisType = axis;
      Sharer sharer{t};
      test::ExpectSameRotation(sharer.Local().Rotate, rotation);
    }
  }
}

TEST_F(ShareControlTest, TheTwistIsTheTurnAboutTheChosenAxis) {
  struct Row {
    u32 axis;
    Vec3 unit;
  };
  for (const Row& row : {Row{0, {1, 0, 0}}, Row{1, {0, 1, 0}}, Row{2, {0, 0, 1}}}) {
    SCOPED_TRACE(row.axis);
    test::ExpectSameRotation(CShareControl::TwistAbout(Turn(row.unit, 0.6f), row.axis), Turn(row.unit, 0.6f));
    // A turn about another axis has no twist about this one.
    const Vec3 other = row.axis == 2 ? Vec3{1, 0, 0} : Vec3{0, 0, 1};
    test::ExpectSameRotation(CShareControl::TwistAbout(Turn(other, 0.6f), row.axis), kQuaternionIdentity);
  }
  test::ExpectSameRotation(CShareControl::TwistAbout(Turn({0, 0, 1}, 0.6f), 3), kQuaternionIdentity);

  // RY at weight 0.5 and RXZ at weight 0: half the twist only.
  const CQuaternion twist = Turn({0, 0, 1}, 1.0f);
  const CQuaternion tilt = Turn({1, 0, 0}, 0.4f);
  CPointer<CNode> source = Source(u"source", Pose({0, 0, 0}, tilt * twist));
  Target t = On(source.Get());
  t.RY = {true, 0.5f};
  t.RXZ = {false, 0.0f};
  t.AxisType = CShareControl::AxisZ;
  Sharer sharer{t};
  test::ExpectSameRotation(sharer.Local().Rotate, Turn({0, 0, 1}, 0.5f));
}

TEST_F(ShareControlTest, TargetsChainTheirRotationsNewOnTheLeft) {
  const CQuaternion a = Turn({1, 0, 0}, 0.5f);
  const CQuaternion b = Turn({0, 1, 0}, 0.7f);
  CPointer<CNode> first = Source(u"first", Pose({0, 0, 0}, a));
  CPointer<CNode> second = Source(u"second", Pose({0, 0, 0}, b));
  Target t1 = On(first.Get());
  t1.RXZ.Active = true;
  t1.AxisType = CShareControl::AxisZ;  // no twist about Z in either
  Target t2 = On(second.Get());
  t2.RXZ.Active = true;
  t2.AxisType = CShareControl::AxisZ;
  Sharer sharer{t1, t2};
  test::ExpectSameRotation(sharer.Local().Rotate, b * a);
}

TEST_F(ShareControlTest, AnEmptyReferenceSharesTheObjectsOwnBasis) {
  Target t;
  t.TX.Active = true;
  t.TY = {true, 2.0f};
  t.S.Active = true;
  Sharer sharer{t};
  const CRtsTransform& local = sharer.Local();
  test::ExpectNear(local.Translate, {7, 16, 0});
  test::ExpectNear(local.Scale, {3, 3, 3});
}

TEST_F(ShareControlTest, RotationOffsetsTurnZYXAfterSharing) {
  CPointer<CNode> source = Source(u"source", Pose({0, 0, 0}, Turn({1, 0, 0}, 0.3f)));
  Target t = On(source.Get());
  t.RXZ.Active = true;
  Sharer sharer{t};
  sharer.control->SetOffsets({1, 1, 1}, {0, 0, kHalfPi}, {0, 0, 0});
  test::ExpectSameRotation(sharer.Local().Rotate, Turn({1, 0, 0}, 0.3f) * Turn({0, 0, 1}, kHalfPi));
  sharer.control->SetOffsets({1, 1, 1}, {0.2f, 0.4f, 0.6f}, {0, 0, 0});
  const CQuaternion expected =
      Turn({1, 0, 0}, 0.3f) * (Turn({0, 0, 1}, 0.6f) * Turn({0, 1, 0}, 0.4f) * Turn({1, 0, 0}, 0.2f));
  test::ExpectSameRotation(sharer.Local().Rotate, expected);
}

TEST_F(ShareControlTest, OffsetModeSharesTurnsAwayFromEachBasisOnTopOfTheOwn) {
  CPointer<CNode> source = Source(u"source", Pose({0, 0, 0}, Turn({0, 0, 1}, 0.2f)));
  CRtsTransform moved = source->GetLocal();
  moved.Rotate = Turn({0, 0, 1}, 0.5f);
  source->SetLocal(moved);  // turned 0.3 away from its Basis
  Target t = On(source.Get());
  t.RY.Active = true;
  t.AxisType = CShareControl::AxisZ;
  Sharer sharer{{t}, Pose({0, 0, 0}, Turn({1, 0, 0}, 1.0f))};
  test::ExpectSameRotation(sharer.Local().Rotate, Turn({0, 0, 1}, 0.5f));
  sharer.control->SetOffsetMode(true);
  test::ExpectSameRotation(sharer.Local().Rotate, Turn({1, 0, 0}, 1.0f) * Turn({0, 0, 1}, 0.3f));
}

TEST_F(ShareControlTest, TheResultComposesWithTheParent) {
  CPointer<CNode> parent = test::Placed(u"parent", {0, 10, 0});
  CPointer<CNode> source = Source(u"source", Pose({1, 2, 3}));
  Target t = On(source.Get());
  t.TX.Active = t.TY.Active = t.TZ.Active = true;
  Sharer sharer{t};
  ASSERT_EQ(parent->AddChild(sharer.node.Get()), kOk);
  sharer.Local();
  test::ExpectNear(sharer.control->GetWorldMatrix().GetTranslation(), {1, 12, 3});
}

TEST_F(ShareControlTest, UpdateAnswers) {
  CPointer<CShareControl> loose(new CShareControl());
  EXPECT_EQ(loose->UpdateTransform(0), kErrInvalidArg);
  CPointer<test::CTestDorun> notSpatial(new test::CTestDorun());
  ASSERT_EQ(notSpatial->AddControl(loose.Get()), kOk);
  EXPECT_EQ(loose->UpdateTransform(0), kErrNotFound);
  Sharer sharer{Target()};
  sharer.control->SetActive(false);
  EXPECT_EQ(sharer.control->UpdateTransform(0), kDone);
  EXPECT_EQ(sharer.control->GetLocal(), kIdentityTransform);
}

TEST_F(ShareControlTest, TheDepthRisesAboveEveryReference) {
  CPointer<CNode> grand(new CNode());
  CPointer<CNode> child(new CNode());
  CPointer<CNode> deep(new CNode());
  CPointer<CNode> shallow(new CNode());
  ASSERT_EQ(grand->AddChild(child.Get()), kOk);
  ASSERT_EQ(child->AddChild(deep.Get()), kOk);
  for (CNode* node : {grand.Get(), child.Get(), deep.Get(), shallow.Get()}) node->SetDirty();
  Sharer sharer{On(shallow.Get()), Target(), On(deep.Get())};
  i32 depth = 0;
  EXPECT_EQ(sharer.control->GetUpdateDepth(0, depth), kOk);
  EXPECT_EQ(depth, 3);
}

TEST_F(ShareControlTest, ReferencesFollowClonesAndNamesCopiesRefuseOtherClasses) {
  CPointer<CNode> scene(new CNode());
  CPointer<CNode> inside = Source(u"inside", Pose({1, 0, 0}));
  CPointer<CNode> outside = Source(u"outside", Pose({2, 0, 0}));
  Sharer sharer{On(inside.Get()), On(outside.Get())};
  ASSERT_EQ(scene->AddChild(sharer.node.Get()), kOk);
  ASSERT_EQ(scene->AddChild(inside.Get()), kOk);
  CloneMap map;
  CPointer<CBase> copy;
  ASSERT_GE(scene->Clone(copy, map, 0), 0);
  ASSERT_EQ(copy->RemapAllReferences(map), kOk);
  auto* copied = DynamicCast<CShareControl>(
      DynamicCast<CNode>(copy->Find(u"sharer", &CNode::StaticClassRecord(), true, false))->GetFirstControl());
  ASSERT_NE(copied, nullptr);
  EXPECT_EQ(copied->GetTargets()[0].Reference.Get(), map.at(inside.Get()).Get());
  EXPECT_EQ(copied->GetTargets()[1].Reference.Get(), outside.Get());

  CPointer<CNode> other(new CNode());
  CPointer<CNode> renamed = Source(u"outside", Pose({0, 0, 0}));
  ASSERT_EQ(other->AddChild(renamed.Get()), kOk);
  EXPECT_EQ(sharer.control->ResolveReferences(nullptr), kErrInvalidArg);
  ASSERT_EQ(sharer.control->ResolveReferences(other.Get()), kOk);
  EXPECT_EQ(sharer.control->GetTargets()[0].Reference.Get(), nullptr);
  EXPECT_EQ(sharer.control->GetTargets()[1].Reference.Get(), renamed.Get());

  sharer.control->SetOffsets({2, 2, 2}, {1, 0, 0}, {0, 0, 5});
  sharer.control->SetOffsetMode(true);
  CPointer<CShareControl> target(new CShareControl());
  DisplacedList displaced;
  ASSERT_EQ(sharer.control->CopyTo(target.Get(), displaced, 0), kOk);
  EXPECT_EQ(target->GetTargets().size(), 2u);
  test::ExpectNear(target->GetTOffset(), {0, 0, 5});
  EXPECT_TRUE(target->GetOffsetMode());
  CPointer<CPathControl> path(new CPathControl());
  sharer.control->SetFrequency(4.0f);
  EXPECT_EQ(sharer.control->CopyTo(path.Get(), displaced, 0), kErrNotFound);
  EXPECT_EQ(path->GetFrequency(), 1.0f);
  EXPECT_TRUE(sharer.control->HasSubObjects());
}

// --- records ---------------------------------------------------------------------------------

TEST_F(ShareControlTest, SavesLoadsAndSavesTheSameBytes) {
  CPointer<CNode> scene(new CNode());
  scene->SetName(u"scene");
  CPointer<CNode> source = Source(u"source", Pose({1, 2, 3}));
  Target t = On(source.Get());
  t.RXZ = {true, 0.25f};
  t.TY = {true, 2.0f};
  t.AxisType = CShareControl::AxisY;
  Sharer sharer{t, Target()};
  sharer.control->SetOffsets({1, 2, 3}, {0.1f, 0.2f, 0.3f}, {4, 5, 6});
  sharer.control->SetOffsetMode(true);
  for (CNode* child : {sharer.node.Get(), source.Get()}) ASSERT_EQ(scene->AddChild(child), kOk);
  EXPECT_EQ(sharer.control->GetSaveSize(), sharer.control->CRTSControl::GetSaveSize() + 49 + 2 * 42);
  const Bytes first = test::SaveRoots({scene.Get()});
  const Bytes targetImage = ByteWriter()
                                .U8(1).F32(0.25f).U8(0).F32(1).U8(0).F32(1).U8(0).F32(1).U8(1).F32(2).U8(0).F32(1)
                                .U32(1).U64(source->GetUniqueId())
                                .Data();
  EXPECT_NE(std::search(first.begin(), first.end(), targetImage.begin(), targetImage.end()), first.end());

  test::UseTestIds(1);
  CStream stream;
  CMemoryIo device;
  ASSERT_EQ(test::LoadScene(first, stream, device), kOk);
  EXPECT_EQ(test::LoadedRecordBytes(stream) + kFirstRecordOffset, first.size());
  CBase* loaded = stream.GetRootObject(0);
  EXPECT_EQ(test::Members(loaded), test::Members(scene.Get()));
  EXPECT_EQ(test::RenumberIds(test::SaveLoaded(stream)), test::RenumberIds(first));
  test::ExpectPrefixesFailBetweenRecords(first, kFirstRecordOffset);
  test::ExpectNamesInOrder(test::Members(sharer.control.Get()),
                           {"CShareControl Member", "LastIndex", "SOffset", "ROffset", "TOffset", "OffsetMode",
                            "RY.Active", "RY.Weight", "RXZ.Active", "RXZ.Weight", "TX.Active", "TX.Weight",
                            "TY.Active", "TY.Weight", "TZ.Active", "TZ.Weight", "S.Active", "S.Weight", "AxisType",
                            "AxisY", "Reference", "CRTSControl Member"});
}

// --- older record forms -------------------------------------------------------------------------

constexpr u64 kControlId = 0x10;
constexpr u64 kSharerId = 0x20;
constexpr u64 kSourceId = 0x30;
constexpr u64 kOtherId = 0x40;

ByteWriter Head(u32 minor) { return test::TransformControlHead(kControlId, kSharerId).Pair(2, minor); }

// The reference list of the forms below 2.05 (4-byte ids at 2.01 and
// below).
ByteWriter& IdList(ByteWriter& w, u32 minor, std::initializer_list<u64> ids) {
  w.U32(static_cast<u32>(ids.size()));
  for (const u64 id : ids) minor >= 2 ? w.U64(id) : w.U32(static_cast<u32>(id));
  return w;
}

// A 28-byte target: RXZ on (0.5), RY off, S on (2), T on (0.25), `axis`.
ByteWriter& ShortTarget(ByteWriter& w, u32 axis) {
  return w.U32(0xDEAD).U8(1).F32(0.5f).U8(0).F32(1).U8(1).F32(2).U8(1).F32(0.25f).U32(axis);
}

// A 40-byte target: RY on (0.75), RXZ off, T on (3), S off, `axis`; the
// flag words carry junk above their first byte.
ByteWriter& WordTarget(ByteWriter& w, u32 axis) {
  return w.U32(0).U32(0xFF01).F32(0.75f).U32(0xFF00).F32(1).U32(0x0101).F32(3).U32(0).F32(1).U32(axis);
}

ByteWriter& Offsets(ByteWriter& w) {
  return w.F32(2).F32(2).F32(2).F32(0).F32(0).F32(1).F32(9).F32(8).F32(7);
}

Bytes File(const ByteWriter& control) {
  return test::SceneImage()
      .Record("CTestSpatial", test::NamedSpatialBody(kSharerId, kControlId, u"sharer"), true)
      .Record("CShareControl", control)
      .Record("CTestSpatial", test::NamedSpatialBody(kSourceId, 0, u"source"), true)
      .Record("CTestSpatial", test::NamedSpatialBody(kOtherId, 0, u"other"), true)
      .Data();
}

Result Load(const ByteWriter& control, CStream& stream, CMemoryIo& device, CShareControl*& out) {
  return test::LoadFirstControl(File(control), kFirstRecordOffset, stream, device, out);
}

std::u16string NameOf(const CTargetRef<CSpatial>& ref) { return ref ? ref->GetName() : u"-"; }

TEST_F(ShareControlTest, CurrentRecordsWithAndWithoutOffsetMode) {
  for (const u32 minor : {5u, 6u}) {
    SCOPED_TRACE(minor);
    ByteWriter w = Head(minor);
    w.U32(1).U8(0).F32(1).U8(1).F32(0.5f).U8(0).F32(1).U8(1).F32(1).U8(0).F32(1).U8(0).F32(1).U32(2).U64(kSourceId);
    Offsets(w);
    if (minor == 6) w.U8(1);
    CStream stream;
    CMemoryIo device;
    CShareControl* control = nullptr;
    ASSERT_EQ(Load(w, stream, device, control), kOk);
    ASSERT_EQ(control->GetTargets().size(), 1u);
    const Target& t = control->GetTargets()[0];
    EXPECT_TRUE(t.RY.Active);
    EXPECT_EQ(t.RY.Weight, 0.5f);
    EXPECT_TRUE(t.TX.Active);
    EXPECT_FALSE(t.TY.Active);
    EXPECT_EQ(t.AxisType, 2u);
    EXPECT_EQ(NameOf(t.Reference), u"source");
    test::ExpectNear(control->GetTOffset(), {9, 8, 7});
    EXPECT_EQ(control->GetOffsetMode(), minor == 6);
  }
}

TEST_F(ShareControlTest, ListedReferenceFormsLoad) {
  struct Row {
    u32 minor;
    bool shortRecords;
  };
  for (const Row& row : {Row{4, true}, Row{3, true}, Row{2, false}, Row{1, false}, Row{0, false}}) {
    SCOPED_TRACE(row.minor);
    ByteWriter w = Head(row.minor);
    IdList(w, row.minor, {kOtherId, 0, kSourceId});  // one more id than targets
    w.U32(2);
    for (const u32 axis : {1u, 2u}) row.shortRecords ? ShortTarget(w, axis) : WordTarget(w, axis);
    if (row.minor >= 1) Offsets(w);
    CStream stream;
    CMemoryIo device;
    CShareControl* control = nullptr;
    ASSERT_EQ(Load(w, stream, device, control), kOk);
    ASSERT_EQ(control->GetTargets().size(), 2u);
    const Target& t = control->GetTargets()[0];
    EXPECT_EQ(NameOf(t.Reference), u"other");
    EXPECT_EQ(NameOf(control->GetTargets()[1].Reference), u"-");
    EXPECT_EQ(t.AxisType, 1u);
    EXPECT_EQ(control->GetTargets()[1].AxisType, 2u);
    if (row.shortRecords) {
      EXPECT_TRUE(t.RXZ.Active);
      EXPECT_EQ(t.RXZ.Weight, 0.5f);
      EXPECT_FALSE(t.RY.Active);
      EXPECT_TRUE(t.S.Active);
      EXPECT_EQ(t.S.Weight, 2.0f);
    } else {
      EXPECT_TRUE(t.RY.Active);
      EXPECT_EQ(t.RY.Weight, 0.75f);
      EXPECT_FALSE(t.RXZ.Active);
      EXPECT_FALSE(t.S.Active);
    }
    // The single translation channel lands on all three.
    const f32 weight = row.shortRecords ? 0.25f : 3.0f;
    for (const CShareControl::CChannel* c : {&t.TX, &t.TY, &t.TZ}) {
      EXPECT_TRUE(c->Active);
      EXPECT_EQ(c->Weight, weight);
    }
    test::ExpectNear(control->GetSOffset(), row.minor >= 1 ? Vec3{2, 2, 2} : Vec3{1, 1, 1});
    test::ExpectNear(control->GetTOffset(), row.minor >= 1 ? Vec3{9, 8, 7} : Vec3{0, 0, 0});
    EXPECT_FALSE(control->GetOffsetMode());
  }
}

TEST_F(ShareControlTest, MalformedAndNewerRecordsAreRefused) {
  ByteWriter badAxis = Head(6);
  badAxis.U32(1).U8(0).F32(1).U8(0).F32(1).U8(0).F32(1).U8(0).F32(1).U8(0).F32(1).U8(0).F32(1).U32(3).U64(0);
  Offsets(badAxis).U8(0);
  ByteWriter badOldAxis = Head(4);
  IdList(badOldAxis, 4, {0});
  ShortTarget(badOldAxis.U32(1), 7);
  Offsets(badOldAxis);
  ByteWriter shortList = Head(3);
  IdList(shortList, 3, {kSourceId});
  ShortTarget(ShortTarget(shortList.U32(2), 0), 0);
  Offsets(shortList);
  ByteWriter shortNarrowList = Head(1);
  IdList(shortNarrowList, 1, {});
  WordTarget(shortNarrowList.U32(1), 0);
  Offsets(shortNarrowList);
  ByteWriter hugeCount = Head(6);
  hugeCount.U32(0x20000000);
  struct Case {
    const char* name;
    ByteWriter record;
    Result expected;
  };
  const Case cases[] = {
      {"AxisType 3", badAxis, kErrNotFound},
      {"AxisType 7 at 2.04", badOldAxis, kErrNotFound},
      {"a reference list shorter than the targets", shortList, kErrNotFound},
      {"an empty 4-byte reference list", shortNarrowList, kErrNotFound},
      {"2.07", Head(7), kErrNewerVersion},
      {"a target count past the record", hugeCount, kErrStream},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CStream stream;
    CMemoryIo device;
    CShareControl* control = nullptr;
    EXPECT_EQ(Load(c.record, stream, device, control), c.expected);
  }
}

}  // namespace
}  // namespace KT
