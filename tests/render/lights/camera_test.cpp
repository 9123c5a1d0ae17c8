// The camera: defaults, the world eye frame of the transform update, the
// target under every graph operation, AlignToDirection, and the record
// with its older forms.
#include "render/lights/camera.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "objectmodel/byte_writer.h"
#include "objectmodel/class_factory.h"
#include "objectmodel/matrix4.h"
#include "objectmodel/quaternion.h"
#include "objectmodel/raw_data.h"
#include "objectmodel/stream_test_support.h"
#include "render/lights/light_test_support.h"
#include "render/lights/point_light.h"
#include "scene/node.h"
#include "scene/scene_test_classes.h"

namespace KT {
namespace {

using test::Bytes;
using test::ByteWriter;
using Vec = CVector3<float>;

using test::ExpectVec;
using test::kFirstRecordOffset;

class CameraTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::RegisterSceneTestClasses();
    CClassFactory::Register("CCamera", &CreateObject<CCamera>);
    CClassFactory::Register("CRawData", &CreateObject<CRawData>);
    test::UseTestIds(0);
  }
};

CPointer<test::CTestLeaf> Leaf(const char16_t* name, const Vec& at) {
  CPointer<test::CTestLeaf> leaf(new test::CTestLeaf(name));
  leaf->SetWorld(CMatrix3(), CMatrix3(), test::ScaledWorld({1, 1, 1}, at));
  return leaf;
}

TEST_F(CameraTest, Defaults) {
  CPointer<CCamera> camera(new CCamera());
  EXPECT_EQ(camera->GetVersion(), 202u);
  EXPECT_EQ(camera->GetVolumeL(), -100.0f);
  EXPECT_EQ(camera->GetVolumeR(), 100.0f);
  EXPECT_EQ(camera->GetVolumeT(), -100.0f);
  EXPECT_EQ(camera->GetVolumeB(), 100.0f);
  EXPECT_EQ(camera->GetFrustumN(), 1.0f);
  EXPECT_EQ(camera->GetFrustumF(), 2.0f);
  EXPECT_EQ(camera->GetFrustumFov(), 1.0f);
  EXPECT_EQ(camera->GetEyeUp(), (Vec{0, 1, 0}));
  EXPECT_EQ(camera->GetEyeTarget(), (Vec{0, 0, -1}));
  EXPECT_TRUE(camera->IsPerspective());
  EXPECT_TRUE(camera->IsFreeMode());
  EXPECT_FALSE(camera->IsLocked());
  EXPECT_EQ(camera->GetTarget(), nullptr);
  EXPECT_EQ(camera->GetFocalDistance(), 0.0f);
  EXPECT_EQ(camera->GetFocalRange(), 1000.0f);
  EXPECT_EQ(camera->GetBlurness(), 1.0f);
  EXPECT_EQ(camera->GetDofEffect(), CCamera::DOF_None);
  EXPECT_FALSE(camera->HasSubObjects());
}

// --- the world eye frame ------------------------------------------------------------------------------

TEST_F(CameraTest, TransformUpdateDerivesTheWorldEyeFrame) {
  struct Row {
    const char* what;
    CMatrix4 world;
    bool freeMode;
    bool withTarget;
    Vec targetAt;
    Vec location, up, direction;
  };
  const f32 h = std::sqrt(0.5f);
  const Row rows[] = {
      {"identity", test::ScaledWorld({1, 1, 1}, {0, 0, 0}), true, false, {}, {0, 0, 0}, {0, 1, 0}, {0, 0, -1}},
      {"moved", test::ScaledWorld({1, 1, 1}, {1, 2, 3}), true, false, {}, {1, 2, 3}, {0, 1, 0}, {0, 0, -1}},
      {"free mode ignores the target", test::ScaledWorld({1, 1, 1}, {0, 0, 0}), true, true, {5, 0, 0}, {0, 0, 0}, {0, 1, 0}, {0, 0, -1}},
      {"no target: from EyeTarget", test::ScaledWorld({1, 1, 1}, {0, 0, 0}), false, false, {}, {0, 0, 0}, {0, 1, 0}, {0, 0, -1}},
      {"looks at the target", test::ScaledWorld({1, 1, 1}, {1, 0, 0}), false, true, {1, 5, 0}, {1, 0, 0}, {0, 1, 0}, {0, 1, 0}},
      {"target at the eye: zero", test::ScaledWorld({1, 1, 1}, {1, 0, 0}), false, true, {1, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 0}},
      // The up vector (0, 1, 0) bent by the non-uniform scale's inverse
      // transpose stays (0, 1, 0); a tilted one halves its y.
      {"non-uniform scale", test::ScaledWorld({1, 2, 1}, {0, 0, 0}), true, false, {}, {0, 0, 0}, {0, 1, 0}, {0, 0, -1}},
      // No inverse: the cofactors keep up on y and lose the view direction.
      {"zero scale keeps finite vectors", test::ScaledWorld({1, 0, 1}, {0, 0, 0}), true, false, {}, {0, 0, 0}, {0, 1, 0}, {0, 0, 0}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    CPointer<CCamera> camera(new CCamera());
    camera->SetFreeMode(row.freeMode);
    if (row.withTarget) {
      ASSERT_EQ(camera->SetTarget(Leaf(u"aim", row.targetAt).Get()), kOk);
    }
    camera->SetWorld(CMatrix3(), CMatrix3(), row.world);
    ASSERT_EQ(camera->UpdateTransform(0), kOk);
    ExpectVec(camera->GetWorldEyeLocation(), row.location);
    ExpectVec(camera->GetWorldEyeUp(), row.up);
    ExpectVec(camera->GetWorldEyeDirection(), row.direction);
  }
  // A tilted up vector under a y scale of 2 follows the inverse transpose.
  CPointer<CCamera> camera(new CCamera());
  camera->SetEye({0, 0, 0}, {h, h, 0}, {0, 0, -1});
  camera->SetWorld(CMatrix3(), CMatrix3(), test::ScaledWorld({1, 2, 1}, {0, 0, 0}));
  ASSERT_EQ(camera->UpdateTransform(0), kOk);
  const f32 n = 1.0f / std::sqrt(1.25f);
  ExpectVec(camera->GetWorldEyeUp(), {n, 0.5f * n, 0});
}

TEST_F(CameraTest, ATargetOfAnotherClassIsKeptButNeverLookedAt) {
  CPointer<CCamera> camera(new CCamera());
  CPointer<CRawData> raw(new CRawData());
  raw->SetName(u"raw");
  ASSERT_EQ(camera->SetTarget(raw.Get()), kOk);
  camera->SetFreeMode(false);
  ASSERT_EQ(camera->UpdateTransform(0), kOk);
  EXPECT_EQ(camera->GetWorldEyeDirection(), (Vec{0, 0, -1}));
  std::vector<CSpatial*> spatials;
  ASSERT_EQ(camera->CollectSpatials(spatials), kOk);
  EXPECT_EQ(spatials, std::vector<CSpatial*>{camera.Get()});
  i32 depth = 0;
  EXPECT_EQ(camera->GetUpdateDepth(0, depth), kOk);
  EXPECT_EQ(depth, 0);
  EXPECT_EQ(camera->Find(u"raw", nullptr, false, false), raw.Get());
  EXPECT_TRUE(camera->HasSubObjects());
}

// --- the target under the graph operations --------------------------------------------------------------

TEST_F(CameraTest, TheTargetFollowsTheSpatialInEveryGraphOperation) {
  CPointer<CCamera> camera(new CCamera());
  camera->SetName(u"camera");
  CPointer<test::CTestLeaf> aim = Leaf(u"aim", {0, 0, 0});
  ASSERT_EQ(camera->SetTarget(aim.Get()), kOk);
  EXPECT_EQ(camera->Find(u"aim", nullptr, false, false), aim.Get());
  EXPECT_EQ(camera->Find(u"camera", nullptr, false, false), camera.Get());
  EXPECT_EQ(camera->Find(u"none", nullptr, false, false), nullptr);
  std::vector<CBase*> all;
  camera->Collect(all, nullptr, nullptr, false, false);
  EXPECT_EQ(all, (std::vector<CBase*>{camera.Get(), aim.Get()}));
  EXPECT_TRUE(camera->UpdateMarked({aim.Get()}));
  EXPECT_TRUE(camera->IsMarked());
  camera->ClearMarked();
  EXPECT_FALSE(aim->IsMarked());
  EXPECT_EQ(camera->ResolveReferences(nullptr), kErrInvalidArg);
  EXPECT_EQ(camera->ResolveReferences(camera.Get()), kOk);

  struct Recorder : CReferenceVisitor {
    std::vector<std::pair<CBase*, u32>> seen;
    void Visit(CBase* object, u32 owned) override { seen.emplace_back(object, owned); }
  } recorder;
  camera->EnumReferences(recorder);
  ASSERT_FALSE(recorder.seen.empty());
  EXPECT_EQ(recorder.seen[0], std::make_pair(static_cast<CBase*>(aim.Get()), 1u));

  std::vector<CSpatial*> spatials;
  ASSERT_EQ(camera->CollectSpatials(spatials), kOk);
  EXPECT_EQ(spatials, (std::vector<CSpatial*>{camera.Get(), aim.Get()}));
  // The camera updates after what it looks at.
  aim->minDepth = 4;
  aim->SetDirty();
  camera->SetDirty();
  i32 depth = 0;
  ASSERT_EQ(camera->GetUpdateDepth(0, depth), kOk);
  EXPECT_EQ(depth, 5);
}

TEST_F(CameraTest, ATargetThatHoldsTheCameraIsRefused) {
  CPointer<CNode> root(new CNode());
  CPointer<CNode> middle(new CNode());
  CPointer<CCamera> camera(new CCamera());
  ASSERT_EQ(root->AddChild(middle.Get()), kOk);
  ASSERT_EQ(middle->AddChild(camera.Get()), kOk);
  EXPECT_EQ(camera->SetTarget(camera.Get()), kErrInvalidArg);
  EXPECT_EQ(camera->SetTarget(root.Get()), kErrInvalidArg);
  EXPECT_EQ(camera->SetTarget(middle.Get()), kErrInvalidArg);
  CPointer<CCamera> other(new CCamera());
  ASSERT_EQ(other->SetTarget(camera.Get()), kOk);
  EXPECT_EQ(camera->SetTarget(other.Get()), kErrInvalidArg);
  EXPECT_EQ(camera->GetTarget(), nullptr);
  ASSERT_EQ(camera->SetTarget(nullptr), kOk);
}

TEST_F(CameraTest, CloneCopiesTheTargetAndCopyToSharesIt) {
  CPointer<CCamera> camera(new CCamera());
  camera->SetDepthOfField(3, 4, 5, CCamera::DOF_CoC);
  camera->SetLock(true);
  CPointer<test::CTestLeaf> aim = Leaf(u"aim", {1, 2, 3});
  ASSERT_EQ(camera->SetTarget(aim.Get()), kOk);

  CloneMap cloneMap;
  CPointer<CBase> out;
  ASSERT_EQ(camera->Clone(out, cloneMap, 0), kOk);
  auto* clone = DynamicCast<CCamera>(out.Get());
  ASSERT_NE(clone, nullptr);
  ASSERT_NE(clone->GetTarget(), nullptr);
  EXPECT_NE(clone->GetTarget(), aim.Get());
  EXPECT_EQ(clone->GetTarget()->GetName(), u"aim");
  EXPECT_TRUE(clone->IsModified());
  EXPECT_EQ(test::Members(clone), test::Members(camera.Get()));

  CPointer<CCamera> target(new CCamera());
  CPointer<CRawData> former(new CRawData());
  ASSERT_EQ(target->SetTarget(former.Get()), kOk);
  DisplacedList displaced;
  ASSERT_EQ(camera->CopyTo(target.Get(), displaced, 0), kOk);
  EXPECT_EQ(target->GetTarget(), aim.Get());
  ASSERT_EQ(displaced.size(), 1u);
  EXPECT_EQ(displaced[0].Get(), former.Get());
  EXPECT_EQ(test::Members(target.Get()), test::Members(camera.Get()));

  CPointer<CPointLight> lamp(new CPointLight());
  EXPECT_EQ(camera->CopyTo(lamp.Get(), displaced, 0), kErrNotFound);
}

TEST_F(CameraTest, AChainOfCamerasTargetingCamerasEndsWithoutExhaustingTheStack) {
  std::vector<CPointer<CCamera>> chain(5000);
  for (auto& camera : chain) camera = new CCamera();
  for (std::size_t i = chain.size() - 1; i > 0; --i) ASSERT_EQ(chain[i - 1]->SetTarget(chain[i].Get()), kOk);
  EXPECT_EQ(chain[0]->Find(u"nowhere", nullptr, false, false), nullptr);
  std::vector<CSpatial*> spatials;
  ASSERT_EQ(chain[0]->CollectSpatials(spatials), kOk);
  EXPECT_EQ(spatials.size(), static_cast<std::size_t>(CCamera::kMaxTargetNesting) + 1);
  // Saving would lose the cameras beyond the limit: refused instead.
  CMemoryIo device;
  CStream stream;
  stream.SetDevice(&device);
  EXPECT_EQ(chain[0]->RegisterForSave(stream, 0), kErrInvalidArg);
  // Released from the far end, so no release cascades through the chain.
  for (std::size_t i = chain.size(); i > 0; --i) chain[i - 1] = nullptr;
}

// --- AlignToDirection ------------------------------------------------------------------------------------

TEST_F(CameraTest, AlignToDirection) {
  CPointer<CCamera> camera(new CCamera());
  camera->SetEye({1, 2, 3}, {0, 1, 0}, {0, 0, -1});
  const Vec eye{10, 20, 30};
  // Each up vector is perpendicular to its direction, so the second turn
  // (about their cross product) leaves the first one's result in place.
  struct Row {
    const char* what;
    Vec direction, up;
  };
  const Row rows[] = {
      {"already aligned", {0, 0, -1}, {0, 1, 0}},
      {"turned a quarter about y", {1, 0, 0}, {0, 1, 0}},
      {"turned half about y (parallel, opposite)", {0, 0, 1}, {0, 1, 0}},
      {"rolled upside down", {0, 0, -1}, {0, -1, 0}},
      {"oblique", {1, 1, -1}, {1, 0, 1}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    Vec translation;
    CQuaternion rotation;
    ASSERT_EQ(CCamera::AlignToDirection(translation, rotation, *camera, eye, row.direction, row.up), kOk);
    const CMatrix3 r = rotation.ToMatrix3();
    Vec d = row.direction;
    d.Normalize();
    ExpectVec(camera->GetEyeTarget().TransformByMatrix3(r), d, 1e-5f);
    Vec up = row.up;
    up.Normalize();
    ExpectVec(camera->GetEyeUp().TransformByMatrix3(r), up, 1e-5f);
    ExpectVec(translation, (-camera->GetEyeLocation()).TransformByMatrix3(r) + eye, 1e-4f);
  }
  Vec translation;
  CQuaternion rotation;
  ASSERT_EQ(CCamera::AlignToDirection(translation, rotation, *camera, eye, {0, 0, -1}, {0, 1, 0}), kOk);
  EXPECT_NEAR(std::fabs(rotation.w), 1.0f, 1e-6f);
  ExpectVec(translation, eye - camera->GetEyeLocation());
  const Vec untouched{7, 7, 7};
  translation = untouched;
  EXPECT_EQ(CCamera::AlignToDirection(translation, rotation, *camera, eye, {0, 0, 0}, {0, 1, 0}), kErrInvalidArg);
  EXPECT_EQ(CCamera::AlignToDirection(translation, rotation, *camera, eye, {0, 0, 1}, {NAN, 1, 0}), kErrInvalidArg);
  EXPECT_EQ(translation, untouched);
}

// --- records -------------------------------------------------------------------------------------------------

TEST_F(CameraTest, SaveLoadSaveWithATarget) {
  CPointer<CCamera> camera(new CCamera());
  camera->SetName(u"camera");
  camera->SetVolume(-1, 2, -3, 4);
  camera->SetFrustum(0.5f, 50.0f, 0.75f);
  camera->SetEye({1, 2, 3}, {0, 0, 1}, {1, 0, 0});
  camera->SetPerspective(false);
  camera->SetFreeMode(false);
  camera->SetLock(true);
  camera->SetDepthOfField(5, 6, 7, CCamera::DOF_Hybrid);
  ASSERT_EQ(camera->SetTarget(Leaf(u"aim", {0, 0, 0}).Get()), kOk);
  EXPECT_EQ(camera->GetSaveSize(), camera->CSpatial::GetSaveSize() + 99);
  const Bytes first = test::SaveRoots({camera.Get()});
  test::UseTestIds(1);
  CStream stream;
  CMemoryIo device;
  ASSERT_EQ(test::LoadScene(first, stream, device), kOk);
  EXPECT_EQ(first.size(), kFirstRecordOffset + test::LoadedRecordBytes(stream));
  auto* loaded = DynamicCast<CCamera>(stream.GetRootObject(0));
  ASSERT_NE(loaded, nullptr);
  EXPECT_EQ(test::Members(loaded), test::Members(camera.Get()));
  ASSERT_NE(loaded->GetTarget(), nullptr);
  EXPECT_EQ(loaded->GetTarget()->GetName(), u"aim");
  EXPECT_EQ(test::RenumberIds(test::SaveLoaded(stream)), test::RenumberIds(first));
}

// A camera record: object head, current spatial part, the camera level
// stored at major.minor with `target` as its target id.
ByteWriter CameraBody(u32 major, u32 minor, u64 target, u64 id = 0x10) {
  const u32 v = major * 100 + minor;
  ByteWriter w;
  test::ObjectHead(w, id, u"camera");
  test::SpatialPart206(w).Pair(major, minor);
  w.F32(0.5f).F32(50).F32(0.75f);
  w.F32(-1).F32(2).F32(-3).F32(4);
  for (f32 f : {1.f, 2.f, 3.f, 0.f, 0.f, 1.f, 1.f, 0.f, 0.f}) w.F32(f);
  w.U8(0).U8(0);
  if (v >= 202) w.U8(1);
  if (v > 200) {
    w.U64(target);
  } else {
    w.U32(static_cast<u32>(target));
  }
  if (v >= 200) w.F32(5).F32(6).F32(7).U32(2);
  return w;
}

TEST_F(CameraTest, OlderRecordsLoad) {
  struct Row {
    const char* what;
    u32 major, minor;
    bool lock;
    f32 focalDistance;
    u32 dofEffect;
  };
  const Row rows[] = {
      {"2.02", 2, 2, true, 5, 2},
      {"2.01: no Lock, 8-byte target id", 2, 1, false, 5, 2},
      {"2.00: 4-byte target id, depth of field", 2, 0, false, 5, 2},
      {"1.00: 4-byte target id, no depth of field", 1, 0, false, 0, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    const Bytes file = test::SceneFile()
                           .Record("CCamera", CameraBody(row.major, row.minor, 0x30), true)
                           .Record("CTestLeaf", test::LeafBody(0x30, u"aim"))
                           .Data();
    CStream stream;
    CMemoryIo device;
    ASSERT_EQ(test::LoadScene(file, stream, device), kOk);
    auto* camera = DynamicCast<CCamera>(stream.GetRootObject(0));
    ASSERT_NE(camera, nullptr);
    EXPECT_EQ(camera->GetFrustumF(), 50.0f);
    EXPECT_EQ(camera->GetVolumeB(), 4.0f);
    EXPECT_EQ(camera->GetEyeLocation(), (Vec{1, 2, 3}));
    EXPECT_EQ(camera->GetEyeTarget(), (Vec{1, 0, 0}));
    EXPECT_FALSE(camera->IsPerspective());
    EXPECT_EQ(camera->IsLocked(), row.lock);
    ASSERT_NE(camera->GetTarget(), nullptr);
    EXPECT_EQ(camera->GetTarget()->GetName(), u"aim");
    EXPECT_EQ(camera->GetFocalDistance(), row.focalDistance);
    EXPECT_EQ(camera->GetDofEffect(), row.dofEffect);
    EXPECT_EQ(camera->GetFocalRange(), row.major < 2 ? 1000.0f : 6.0f);
  }
}

TEST_F(CameraTest, BrokenRecordsAreRefused) {
  // The camera aims at the node that holds it.
  const Bytes cycle =
      test::SceneFile().Record("CNode", test::NodeBody(0x20, {0x10}), true).Record("CCamera", CameraBody(2, 2, 0x20)).Data();
  CStream stream;
  CMemoryIo device;
  EXPECT_EQ(test::LoadScene(cycle, stream, device), kErrNotFound);
  CStream newer;
  EXPECT_EQ(test::LoadScene(test::SceneFile().Record("CCamera", CameraBody(2, 3, 0), true).Data(), newer, device),
            kErrNewerVersion);
  // An id that names nothing leaves the target empty.
  CStream missing;
  ASSERT_EQ(test::LoadScene(test::SceneFile().Record("CCamera", CameraBody(2, 2, 0x99), true).Data(), missing, device),
            kOk);
  EXPECT_EQ(DynamicCast<CCamera>(missing.GetRootObject(0))->GetTarget(), nullptr);
  test::ExpectEveryPrefixFails(test::SceneFile().Record("CCamera", CameraBody(2, 2, 0), true).Data(),
                               kFirstRecordOffset);
  test::ExpectEveryPrefixFails(test::SceneFile().Record("CCamera", CameraBody(1, 0, 0), true).Data(),
                               kFirstRecordOffset);
}

}  // namespace
}  // namespace KT
