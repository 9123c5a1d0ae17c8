// End to end: a strip of eight vertices deformed by a morph target and a
// skin, saved, loaded back through the class factory and brought to a time.
//
// The scene (all under one root node):
//   bone A   held at (0, 0, 1);
//   bone B   at (4, 2, 0), turning 90 degrees about Z between 0 and 1000 ms;
//   strip    a triangle mesh held at (0, 2, 0); vertex 2k rests at (k, 0, 0)
//            and vertex 2k + 1 at (k, 1, 0); its morph target lifts vertex i
//            by 0.2 i along Z, keyed from weight 0 at 0 ms to 1 at 1000 ms;
//            its skin binds A with the identity and B with a move by
//            (-4, 0, 0) (B's rest pose seen from the strip), and weights
//            vertices 0-1 to A (1.0), 2-3 to A and B (0.5 + 0.5), 4-5 to A
//            and B (0.25 + 0.25, the other half following the strip) and
//            6-7 to B (1.0).
// At 500 ms every vertex, the world bound and the rebuilt normals are
// compared with closed forms written in double precision from that layout.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <vector>

#include "controllers/core/bone_skin_control.h"
#include "controllers/core/keyframe_control.h"
#include "controllers/core/morph_control.h"
#include "library/register_library_classes.h"
#include "objectmodel/class_factory.h"
#include "objectmodel/quaternion.h"
#include "objectmodel/stream_test_support.h"
#include "scene/node.h"
#include "scene/tri_mesh.h"
#include "scene/tri_mesh_data.h"

namespace KT {
namespace {

using test::Bytes;
using Vec = CVector3<float>;

constexpr f32 kFps = 30.0f;
constexpr u32 kVertices = 8;
constexpr u32 kTriangles = 6;

// --- the scene -------------------------------------------------------------------------------

CRtsTransform At(f32 x, f32 y, f32 z, f32 turnAboutZ = 0.0f) {
  CRtsTransform t = kIdentityTransform;
  t.Rotate = CQuaternion::FromAxisAngle({0, 0, 1}, turnAboutZ);
  t.Translate = {x, y, z};
  return t;
}

CPointer<CKeyframeControl> Keys(const std::vector<std::pair<i32, CRtsTransform>>& keys) {
  CPointer<CKeyframeControl> control(new CKeyframeControl());
  for (const auto& [time, transform] : keys) EXPECT_EQ(control->AddRtsKey(time, kFps, transform), kOk);
  return control;
}

CPointer<CNode> KeyedNode(const char16_t* name, const std::vector<std::pair<i32, CRtsTransform>>& keys) {
  CPointer<CNode> node(new CNode());
  node->SetName(name);
  EXPECT_EQ(node->AddControl(Keys(keys).Get()), kOk);
  return node;
}

// Triangles (2k, 2k+2, 2k+1) and (2k+1, 2k+2, 2k+3), facing +Z at rest.
std::array<u32, 3 * kTriangles> StripCorners() {
  std::array<u32, 3 * kTriangles> corners{};
  for (u32 k = 0; k < 3; ++k) {
    const u32 c[6] = {2 * k, 2 * k + 2, 2 * k + 1, 2 * k + 1, 2 * k + 2, 2 * k + 3};
    std::copy(c, c + 6, corners.begin() + 6 * k);
  }
  return corners;
}

CPointer<CTriMeshData> StripData() {
  CPointer<CTriMeshData> data;
  EXPECT_EQ(CTriMeshData::Create(data), kOk);
  data->SetName(u"strip data");
  EXPECT_EQ(data->AllocateXYZ(kVertices), kOk);
  for (u32 i = 0; i < kVertices; ++i) data->GetXYZ()[i] = {static_cast<f32>(i / 2), static_cast<f32>(i % 2), 0};
  EXPECT_EQ(data->AllocateNormal(kVertices), kOk);
  EXPECT_EQ(data->SetTriangleQuantity(kTriangles), kOk);
  const auto corners = StripCorners();
  std::copy(corners.begin(), corners.end(), data->GetXYZTriIndex().begin());
  std::copy(corners.begin(), corners.end(), data->GetNormalTriIndex().begin());
  EXPECT_EQ(data->ComputeVertexNormals(), kOk);
  EXPECT_EQ(data->BuildVertexTriIndex(), kOk);
  data->UpdateBoundingBox();
  return data;
}

struct DeformedScene {
  CPointer<CNode> root{new CNode()};
  CPointer<CNode> boneA = KeyedNode(u"bone A", {{0, At(0, 0, 1)}});
  CPointer<CNode> boneB =
      KeyedNode(u"bone B", {{0, At(4, 2, 0)}, {1000, At(4, 2, 0, std::numbers::pi_v<f32> / 2)}});
  CPointer<CTriMesh> strip;

  DeformedScene() {
    root->SetName(u"root");
    EXPECT_EQ(CTriMesh::Create(strip), kOk);
    strip->SetName(u"strip");
    EXPECT_EQ(strip->SetSingleLod(StripData().Get()), kOk);
    EXPECT_EQ(strip->AllocateWorldXYZ(kVertices), kOk);
    EXPECT_EQ(strip->AllocateWorldNormal(kVertices), kOk);
    EXPECT_EQ(strip->AddControl(Keys({{0, At(0, 2, 0)}}).Get()), kOk);

    // The morph runs first, on the strip's own positions.
    CPointer<CMorphControl> morph(new CMorphControl());
    EXPECT_EQ(strip->AddControl(morph.Get()), kOk);
    EXPECT_EQ(morph->SetTargetCount(kVertices), kOk);
    for (u32 i = 0; i < kVertices; ++i) EXPECT_EQ(morph->SetTarget(i, {0, 0, 0.2f * static_cast<f32>(i)}), kOk);
    EXPECT_EQ(morph->SetWeightKey(0, kFps, 0.0f), kOk);
    EXPECT_EQ(morph->SetWeightKey(1000, kFps, 1.0f), kOk);

    CPointer<CBoneSkinControl> skin(new CBoneSkinControl());
    EXPECT_EQ(skin->SetSkinWeightListCount(1), kOk);
    EXPECT_EQ(skin->AddBone(boneA.Get(), CMatrix4()), kOk);
    CMatrix4 bindB;
    bindB.SetTranslation({-4, 0, 0});
    EXPECT_EQ(skin->AddBone(boneB.Get(), bindB), kOk);
    const struct {
      f32 a;
      f32 b;
    } weights[4] = {{1.0f, 0.0f}, {0.5f, 0.5f}, {0.25f, 0.25f}, {0.0f, 1.0f}};
    for (u32 i = 0; i < kVertices; ++i) {
      if (weights[i / 2].a != 0.0f) {
        EXPECT_EQ(skin->AddSkinWeight(0, i, boneA.Get(), weights[i / 2].a), kOk);
      }
      if (weights[i / 2].b != 0.0f) {
        EXPECT_EQ(skin->AddSkinWeight(0, i, boneB.Get(), weights[i / 2].b), kOk);
      }
    }
    EXPECT_EQ(strip->AddControl(skin.Get()), kOk);

    EXPECT_EQ(root->AddChild(boneA.Get()), kOk);
    EXPECT_EQ(root->AddChild(boneB.Get()), kOk);
    EXPECT_EQ(root->AddChild(strip.Get()), kOk);
  }
};

// --- closed forms at 500 ms ------------------------------------------------------------------------

struct Point {
  double x = 0;
  double y = 0;
  double z = 0;
};

Point operator+(const Point& a, const Point& b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
Point operator-(const Point& a, const Point& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
Point operator*(const Point& a, double s) { return {a.x * s, a.y * s, a.z * s}; }
Point Cross(const Point& a, const Point& b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

// Vertex i at 500 ms: morphed by half its target, then skinned.
Point ExpectedVertex(u32 i) {
  const double angle = std::numbers::pi / 4;  // half of bone B's quarter turn
  const Point q = {static_cast<double>(i / 2), static_cast<double>(i % 2), 0.5 * 0.2 * i};
  const Point a = q + Point{0, 0, 1};
  const Point strip = q + Point{0, 2, 0};
  const Point local = q - Point{4, 0, 0};
  const Point b = Point{local.x * std::cos(angle) - local.y * std::sin(angle),
                        local.x * std::sin(angle) + local.y * std::cos(angle), local.z} +
                  Point{4, 2, 0};
  switch (i / 2) {
    case 0:
      return a;
    case 1:
      return a * 0.5 + b * 0.5;
    case 2:
      return a * 0.25 + b * 0.25 + strip * 0.5;
    default:
      return b;
  }
}

// The normal of vertex i: the normalised sum of the faces around it.
Point ExpectedNormal(u32 i) {
  const auto corners = StripCorners();
  Point sum;
  for (u32 t = 0; t < kTriangles; ++t) {
    const u32* c = &corners[3 * t];
    if (c[0] != i && c[1] != i && c[2] != i) continue;
    const Point p0 = ExpectedVertex(c[0]);
    sum = sum + Cross(ExpectedVertex(c[1]) - p0, ExpectedVertex(c[2]) - p0);
  }
  const double length = std::sqrt(sum.x * sum.x + sum.y * sum.y + sum.z * sum.z);
  return sum * (1.0 / length);
}

void ExpectNear(const Vec& actual, const Point& expected, double tolerance) {
  EXPECT_NEAR(actual.x, expected.x, tolerance);
  EXPECT_NEAR(actual.y, expected.y, tolerance);
  EXPECT_NEAR(actual.z, expected.z, tolerance);
}

class DeformersTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = CClassFactory::GetRegistry();
    RegisterLibraryClasses();
    test::UseTestIds(0);
  }
  void TearDown() override { CClassFactory::GetRegistry() = saved_; }

 private:
  CClassFactory::Registry saved_;
};

TEST_F(DeformersTest, SkinnedMorphedStripSavesLoadsAndDeformsToItsClosedForm) {
  DeformedScene scene;
  const Bytes bytes = test::SaveRoots({scene.root.Get()});
  ASSERT_FALSE(bytes.empty());

  test::UseTestIds(1);
  CStream stream;
  CMemoryIo device;
  ASSERT_EQ(test::LoadScene(bytes, stream, device), kOk);
  auto* root = DynamicCast<CNode>(stream.GetRootObject(0));
  ASSERT_NE(root, nullptr);
  auto* strip = DynamicCast<CTriMesh>(root->Find(u"strip", &CTriMesh::StaticClassRecord(), false, false));
  ASSERT_NE(strip, nullptr);
  EXPECT_EQ(test::Members(strip), test::Members(scene.strip.Get()));
  // The deformers came back in their order, the skin on the loaded bones.
  CDorun* keys = strip->GetFirstControl();
  ASSERT_NE(keys, nullptr);
  auto* morph = DynamicCast<CMorphControl>(keys->GetChainNext());
  ASSERT_NE(morph, nullptr);
  auto* skin = DynamicCast<CBoneSkinControl>(morph->GetChainNext());
  ASSERT_NE(skin, nullptr);
  ASSERT_EQ(skin->GetReferenceBone().size(), 2u);
  EXPECT_EQ(skin->GetReferenceBone()[0], root->Find(u"bone A", nullptr, false, false));
  EXPECT_EQ(skin->GetReferenceBone()[1], root->Find(u"bone B", nullptr, false, false));

  // The world bound is taken before the data pass, from the positions of
  // the previous update: the first update at 500 ms primes them.
  for (int frame = 0; frame < 2; ++frame) {
    ASSERT_EQ(root->UpdateScene(500, 0, 0.0f, true, nullptr, false), kOk);
  }

  ASSERT_EQ(strip->GetWorldXYZ().GetCount(), kVertices);
  Point low{1e30, 1e30, 1e30};
  Point high{-1e30, -1e30, -1e30};
  for (u32 i = 0; i < kVertices; ++i) {
    SCOPED_TRACE(i);
    const Point expected = ExpectedVertex(i);
    ExpectNear(strip->GetWorldXYZ()[i], expected, 1e-5);
    low = {std::min(low.x, expected.x), std::min(low.y, expected.y), std::min(low.z, expected.z)};
    high = {std::max(high.x, expected.x), std::max(high.y, expected.y), std::max(high.z, expected.z)};
  }

  EXPECT_TRUE(strip->HasDeformedWorldXYZ());
  ExpectNear(strip->GetWorldBound().Min, low, 1e-5);
  ExpectNear(strip->GetWorldBound().Max, high, 1e-5);

  // The normals were rebuilt from the deformed positions.
  EXPECT_FALSE(strip->GetRecomputeNormals());
  EXPECT_TRUE(strip->IsWorldNormalReady());
  ASSERT_EQ(strip->GetWorldNormal().GetCount(), kVertices);
  for (u32 i = 0; i < kVertices; ++i) {
    SCOPED_TRACE(i);
    ExpectNear(strip->GetWorldNormal()[i], ExpectedNormal(i), 1e-5);
  }
}

}  // namespace
}  // namespace KT
