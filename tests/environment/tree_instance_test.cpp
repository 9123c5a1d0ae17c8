// KT::CTreeInstance: defaults, the decomposed transform, the world box, ray
// picks on a straight trunk, the stored forms, copies and clones.
#include "environment/tree_instance.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>
#include <vector>

#include "objectmodel/quaternion.h"
#include "tree_test_support.h"
#include "treeruntime/tree_rt.h"

namespace KT {
namespace {

using test::ByteWriter;
using test::Bytes;
using Vec3 = CVector3<float>;

constexpr f32 kFarAway = std::numeric_limits<f32>::max();

class TreeInstanceTest : public test::TreeTest {};

// A world matrix turning by `degrees` about Z, scaling by `scale` and then
// moving by `move`.
CMatrix4 Placement(f32 degrees, const Vec3& scale, const Vec3& move) {
  const f32 radians = degrees * std::numbers::pi_v<f32> / 180.0f;
  const CMatrix3 turn(std::cos(radians), std::sin(radians), 0.0f, -std::sin(radians), std::cos(radians), 0.0f, 0.0f,
                      0.0f, 1.0f);
  CMatrix4 m;
  m.Compose(turn, move, scale);
  return m;
}

void Place(CTreeInstance& instance, const CMatrix4& world) { instance.SetWorld(CMatrix3(), CMatrix3(), world); }

TEST_F(TreeInstanceTest, NewInstanceHasTheDefaults) {
  CTreeInstance instance;
  EXPECT_EQ(instance.Scale, Vec3(1.0f, 1.0f, 1.0f));
  EXPECT_EQ(instance.Position, Vec3());
  EXPECT_EQ(instance.Rotation, CMatrix3());
  EXPECT_EQ(instance.WindMatrixOffset, 0.0f);
  const f32* scalars = &instance.LightShaderParams.GlobalLightScalar;
  for (int i = 0; i < 8; ++i) EXPECT_EQ(scalars[i], 0.0f) << i;
  for (const auto& material : instance.Material) {
    EXPECT_EQ(material.Diffuse, Vec3());
    EXPECT_EQ(material.Shininess, 0.0f);
  }
  EXPECT_EQ(instance.GetTree(), nullptr);
  EXPECT_TRUE(instance.GetBox().empty());
  EXPECT_FALSE(instance.HasSubObjects());
}

TEST_F(TreeInstanceTest, UpdateTransformDecomposesTheWorldMatrix) {
  CTreeInstance instance;
  Place(instance, Placement(90.0f, Vec3(2.0f, 3.0f, 4.0f), Vec3(1.0f, 2.0f, 3.0f)));
  ASSERT_EQ(instance.UpdateTransform(0), kOk);
  EXPECT_EQ(instance.Position, Vec3(1.0f, 2.0f, 3.0f));
  EXPECT_NEAR(instance.Scale.x, 2.0f, 1e-6f);
  EXPECT_NEAR(instance.Scale.y, 3.0f, 1e-6f);
  EXPECT_NEAR(instance.Scale.z, 4.0f, 1e-6f);
  EXPECT_NEAR(instance.Rotation.m[0][1], 1.0f, 1e-6f);
  EXPECT_NEAR(instance.Rotation.m[1][0], -1.0f, 1e-6f);
  EXPECT_NEAR(instance.Rotation.m[2][2], 1.0f, 1e-6f);
}

TEST_F(TreeInstanceTest, WorldBoundIsTheTreesBoxInWorldSpace) {
  CTreeInstance instance;
  const CMatrix4 world = Placement(30.0f, Vec3(2.0f, 2.0f, 0.5f), Vec3(5.0f, 0.0f, -1.0f));
  Place(instance, world);
  // Without a tree nothing changes.
  CBound marker;
  marker.SetMinMax(Vec3(1.0f, 1.0f, 1.0f), Vec3(2.0f, 2.0f, 2.0f));
  instance.SetWorldBound(marker);
  ASSERT_EQ(instance.UpdateWorldBound(), kOk);
  EXPECT_TRUE(instance.GetBox().empty());
  EXPECT_EQ(instance.GetWorldBound().Max, marker.Max);

  CPointer<CTree> tree = test::MakeTrunkTree();
  instance.SetTree(tree.Get());
  ASSERT_EQ(instance.UpdateWorldBound(), kOk);
  ASSERT_EQ(instance.GetBox().size(), 8u);
  std::vector<Vec3> expected;
  for (const Vec3& corner : tree->GetCorners()) expected.push_back(TransformCoord(corner, world));
  EXPECT_EQ(instance.GetBox(), expected);
  CBound bound;
  bound.FromPoints(expected);
  EXPECT_EQ(instance.GetWorldBound().Min, bound.Min);
  EXPECT_EQ(instance.GetWorldBound().Max, bound.Max);
  EXPECT_NEAR(instance.GetWorldBound().Max.z, -1.0f + 0.5f * 10.0f, 1e-4f);
}

TEST_F(TreeInstanceTest, TriangleTestIsOneSided) {
  const Vec3 a(0.0f, 0.0f, 0.0f);
  const Vec3 b(1.0f, 0.0f, 0.0f);
  const Vec3 c(0.0f, 1.0f, 0.0f);  // faces +Z
  struct Row {
    const char* what;
    Vec3 origin, direction;
    bool hit;
  };
  const Row rows[] = {
      {"from the front", {0.25f, 0.25f, 2.0f}, {0.0f, 0.0f, -1.0f}, true},
      {"from behind", {0.25f, 0.25f, -2.0f}, {0.0f, 0.0f, 1.0f}, false},
      {"along the plane", {-1.0f, 0.25f, 0.0f}, {1.0f, 0.0f, 0.0f}, false},
      {"plane behind the origin", {0.25f, 0.25f, 2.0f}, {0.0f, 0.0f, 1.0f}, false},
      {"outside the triangle", {0.75f, 0.75f, 2.0f}, {0.0f, 0.0f, -1.0f}, false},
      {"on an edge", {0.5f, 0.0f, 2.0f}, {0.0f, 0.0f, -1.0f}, true},
      {"on the slanted edge", {0.5f, 0.5f, 2.0f}, {0.0f, 0.0f, -1.0f}, true},
      {"on a corner", {0.0f, 0.0f, 2.0f}, {0.0f, 0.0f, -1.0f}, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    Vec3 hit(9.0f, 9.0f, 9.0f);
    EXPECT_EQ(IntersectTriangle(a, b, c, row.origin, row.direction, hit), row.hit);
    if (row.hit) {
      EXPECT_EQ(hit, Vec3(row.origin.x, row.origin.y, 0.0f));
    }
  }
  Vec3 hit;
  EXPECT_FALSE(IntersectTriangle(a, a, c, {0.0f, 0.0f, 1.0f}, {0.0f, 0.0f, -1.0f}, hit)) << "degenerate";
}

// Rays through the axis of a straight trunk of radius R and K sides, at
// distance d from the axis: the one wall whose triangles face the ray is
// hit, R cos(pi / K) to R beyond the axis.
TEST_F(TreeInstanceTest, RayThroughTheTrunksAxis) {
  const test::TrunkShape shape;
  CPointer<CTree> tree = test::MakeTrunkTree(shape);
  const f32 r = shape.radius;
  const f32 inner = r * std::cos(std::numbers::pi_v<f32> / static_cast<f32>(shape.sides));
  struct Row {
    const char* what;
    CMatrix4 world;
    f32 degrees;  // direction of the ray in the XY plane
    f32 height;   // where it crosses the axis, in the tree's own frame
    f32 d;
  };
  const Row rows[] = {
      {"placed as built, low", CMatrix4(), 10.0f, 1.0f, 20.0f},
      {"placed as built, high", CMatrix4(), 200.0f, 9.0f, 5.0f},
      {"across a segment joint", CMatrix4(), 77.0f, 5.0f, 3.0f},
      {"turned and moved", Placement(40.0f, Vec3(1.0f, 1.0f, 1.0f), Vec3(-3.0f, 4.0f, 2.0f)), 130.0f, 3.0f, 12.0f},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    CTreeInstance instance;
    instance.SetTree(tree.Get());
    Place(instance, row.world);
    const f32 radians = row.degrees * std::numbers::pi_v<f32> / 180.0f;
    const Vec3 direction(std::cos(radians), std::sin(radians), 0.0f);
    const Vec3 axisPoint = TransformCoord(Vec3(0.0f, 0.0f, row.height), row.world);
    const Vec3 origin = axisPoint - direction * row.d;
    u32 index = 99;
    f32 distance = 0.0f;
    Vec3 point(7.0f, 7.0f, 7.0f);
    ASSERT_TRUE(instance.IntersectRay(origin, direction, index, distance, point));
    EXPECT_GE(distance - row.d, inner - 1e-4f);
    EXPECT_LE(distance - row.d, r + 1e-4f);
    EXPECT_NEAR((point - origin).Length(), distance, 1e-4f);
    EXPECT_NEAR(point.z, axisPoint.z, 1e-4f);

    // The same wall met from behind: coming back from beyond it, the ray
    // passes it and meets the opposite wall.
    const Vec3 back = axisPoint + direction * row.d;
    u32 backIndex = 99;
    f32 backDistance = 0.0f;
    Vec3 backPoint;
    ASSERT_TRUE(instance.IntersectRay(back, -direction, backIndex, backDistance, backPoint));
    EXPECT_NE(backIndex, index);
    EXPECT_GE(backDistance - row.d, inner - 1e-4f);
    EXPECT_LE(backDistance - row.d, r + 1e-4f);
    EXPECT_GT((backPoint - point).Length(), 2.0f * inner - 1e-3f);
  }
}

// A ray through a vertical edge of the trunk (a corner of its cross
// section) hits it at exactly R beyond the axis.
TEST_F(TreeInstanceTest, RayThroughAnEdgeHits) {
  const test::TrunkShape shape;
  CPointer<CTree> tree = test::MakeTrunkTree(shape);
  CTreeInstance instance;
  instance.SetTree(tree.Get());
  trt::CTreeRT::SGeometry geometry;
  tree->GetModel()->GetGeometry(geometry, trt::CTreeRT::kBranchGeometry);
  const auto& part = geometry.m_sBranches;
  ASSERT_GT(part.m_nNumVertices, 0);
  // The bottom ring's first corner and the edge above it.
  for (i32 v = 0; v < shape.sides; ++v) {
    SCOPED_TRACE(v);
    const f32* corner = part.m_pCoords + 3 * v;
    const Vec3 outward = Vec3(corner[0], corner[1], 0.0f) * (1.0f / shape.radius);
    const f32 d = 6.0f;
    const Vec3 origin = Vec3(0.0f, 0.0f, 2.5f) - outward * d;
    u32 index = 0;
    f32 distance = 0.0f;
    Vec3 point;
    ASSERT_TRUE(instance.IntersectRay(origin, outward, index, distance, point));
    EXPECT_NEAR(distance, d + shape.radius, 1e-4f);
  }
}

// Of triangles met at the same distance the first one found stands: the
// seam of the trunk, where the first and the last side of the cross
// section share their edge, is met by both at one point.
TEST_F(TreeInstanceTest, TiesKeepTheFirstTriangle) {
  const test::TrunkShape shape;
  CPointer<CTree> tree = test::MakeTrunkTree(shape);
  CTreeInstance instance;
  instance.SetTree(tree.Get());
  trt::CTreeRT::SGeometry geometry;
  tree->GetModel()->GetGeometry(geometry, trt::CTreeRT::kBranchGeometry);
  const auto& part = geometry.m_sBranches;
  const i32 lod = part.m_nNumLods - 1;
  const i32* strip = part.m_pStrips[lod][0];
  const i32 length = part.m_pStripLengths[lod][0];
  auto position = [&](i32 v) { return Vec3(part.m_pCoords[3 * v], part.m_pCoords[3 * v + 1], part.m_pCoords[3 * v + 2]); };
  // Rays aimed through the axis at points of each strip triangle, from the
  // side its face looks to: whenever two triangles give the same distance,
  // the reported index is the lower one.
  int ties = 0;
  for (i32 t = 0; t + 2 < length; ++t) {
    const Vec3 a = position(strip[t]);
    const Vec3 b = position(strip[t + 1]);
    const Vec3 c = position(strip[t + 2]);
    for (const Vec3& target : {(a + b) * 0.5f, (b + c) * 0.5f, (c + a) * 0.5f}) {
      const Vec3 flat(target.x, target.y, 0.0f);
      if (flat.Length() < 1e-3f) continue;
      const Vec3 direction = flat * (1.0f / flat.Length());
      const Vec3 origin = Vec3(0.0f, 0.0f, target.z) - direction * 4.0f;
      // Every triangle's own answer, in strip order.
      f64 best = kFarAway;
      std::vector<u32> nearest;
      for (i32 s = 0; s + 2 < length; ++s) {
        Vec3 p[3] = {position(strip[s]), position(strip[s + 1]), position(strip[s + 2])};
        if (s % 2 == 0) std::swap(p[0], p[1]);
        Vec3 hit;
        if (!IntersectTriangle(p[0], p[1], p[2], origin, direction, hit)) continue;
        const f64 dd = std::sqrt(std::pow(static_cast<f64>(hit.x) - origin.x, 2) +
                                 std::pow(static_cast<f64>(hit.y) - origin.y, 2) +
                                 std::pow(static_cast<f64>(hit.z) - origin.z, 2));
        if (dd < best) {
          best = dd;
          nearest = {static_cast<u32>(s)};
        } else if (dd == best) {
          nearest.push_back(static_cast<u32>(s));
        }
      }
      if (nearest.size() < 2) continue;
      ++ties;
      u32 index = 99;
      f32 distance = 0.0f;
      Vec3 point;
      ASSERT_TRUE(instance.IntersectRay(origin, direction, index, distance, point));
      EXPECT_EQ(index, nearest.front());
      EXPECT_EQ(distance, static_cast<f32>(best));
    }
  }
  EXPECT_GT(ties, 0) << "no ray met two triangles at one distance";
}

TEST_F(TreeInstanceTest, NothingToMeet) {
  const Vec3 origin(0.0f, -20.0f, 5.0f);
  const Vec3 direction(0.0f, 1.0f, 0.0f);
  auto expectMiss = [&](const CTreeInstance& instance) {
    u32 index = 7;
    f32 distance = 0.0f;
    Vec3 point(1.0f, 2.0f, 3.0f);
    EXPECT_FALSE(instance.IntersectRay(origin, direction, index, distance, point));
    EXPECT_EQ(index, 0u);
    EXPECT_EQ(distance, kFarAway);
    EXPECT_EQ(point, Vec3(1.0f, 2.0f, 3.0f));
  };
  CTreeInstance instance;
  {
    SCOPED_TRACE("no tree");
    expectMiss(instance);
  }
  {
    SCOPED_TRACE("a tree whose model is not computed");
    CPointer<CTree> fresh(new CTree());
    instance.SetTree(fresh.Get());
    expectMiss(instance);
  }
  {
    SCOPED_TRACE("a tree without a model");
    CPointer<CTree> source(new CTree());
    CPointer<CTree> modelless(new CTree(*source));
    ASSERT_EQ(modelless->GetModel(), nullptr);
    instance.SetTree(modelless.Get());
    expectMiss(instance);
  }
  {
    SCOPED_TRACE("a ray past the trunk");
    CPointer<CTree> tree = test::MakeTrunkTree();
    instance.SetTree(tree.Get());
    u32 index = 0;
    f32 distance = 0.0f;
    Vec3 point;
    EXPECT_TRUE(instance.IntersectRay(origin, direction, index, distance, point)) << "the axis is met";
    const Vec3 beside = origin + Vec3(5.0f, 0.0f, 0.0f);
    index = 7;
    point = Vec3(1.0f, 2.0f, 3.0f);
    EXPECT_FALSE(instance.IntersectRay(beside, direction, index, distance, point));
    EXPECT_EQ(index, 0u);
    EXPECT_EQ(distance, kFarAway);
    EXPECT_EQ(point, Vec3(1.0f, 2.0f, 3.0f));
  }
}

ByteWriter InstanceBody(u64 id, u32 version, u64 tree, u64 aux) {
  ByteWriter w;
  test::ObjectHead(w, id);
  test::SpatialPart206(w).Pair(version / 100, version % 100);
  if (version >= CTreeInstance::kVersionWideIds) {
    w.U64(tree).U64(aux);
  } else {
    w.U32(static_cast<u32>(tree)).U32(static_cast<u32>(aux));
  }
  w.F32(0.25f);
  for (int i = 0; i < 8; ++i) w.F32(static_cast<f32>(i + 1));
  for (int i = 0; i < 39; ++i) w.F32(static_cast<f32>(i) * 0.5f);
  return w;
}

TEST_F(TreeInstanceTest, EveryStoredForm) {
  const Bytes trunk = test::TrunkTreeData();
  for (u32 version : {200u, 201u}) {
    SCOPED_TRACE(version);
    test::SceneFile file;
    file.Record("CTreeInstance", InstanceBody(1, version, 0x30, 0x31), true);
    file.Record("CTree", test::TreeBody(0x30, 201, trunk));
    file.Record("CWind", test::WindBody(0x31, ""));
    const Bytes bytes = file.Data();
    CStream stream;
    CMemoryIo device;
    ASSERT_EQ(test::LoadScene(bytes, stream, device), kOk);
    auto* instance = DynamicCast<CTreeInstance>(stream.GetRootObject(0));
    ASSERT_NE(instance, nullptr);
    ASSERT_NE(instance->GetTree(), nullptr);
    EXPECT_NE(DynamicCast<CWind>(instance->GetAuxObject()), nullptr);
    EXPECT_EQ(instance->WindMatrixOffset, 0.25f);
    EXPECT_EQ(instance->LightShaderParams.GlobalLightScalar, 1.0f);
    EXPECT_EQ(instance->LightShaderParams.BillboardAmbientScalar, 8.0f);
    EXPECT_EQ(instance->Material[0].Diffuse, Vec3(1.5f, 2.0f, 2.5f));
    EXPECT_EQ(instance->Material[2].Shininess, 19.0f);

    test::UseTestIds(2);
    const Bytes again = test::SaveLoaded(stream);
    CStream reloaded;
    CMemoryIo device2;
    ASSERT_EQ(test::LoadScene(again, reloaded, device2), kOk);
    EXPECT_EQ(test::Members(reloaded.GetRootObject(0)), test::Members(instance));
    test::ExpectPrefixesFailBetweenRecords(bytes, test::kFirstRecordOffset);
  }
}

// Tree must be a tree: an id naming an object of another class refuses the
// link.
TEST_F(TreeInstanceTest, TreeOfAnotherClassIsRefused) {
  test::SceneFile file;
  file.Record("CTreeInstance", InstanceBody(1, 201, 0x31, 0), true);
  file.Record("CWind", test::WindBody(0x31, ""));
  CStream stream;
  CMemoryIo device;
  EXPECT_EQ(test::LoadScene(file.Data(), stream, device), kErrNotFound);
}

// A tree that holds the instance that shows it would own itself: refused
// when linking.
TEST_F(TreeInstanceTest, OwnershipLoopIsRefused) {
  test::SceneFile file;
  file.Record("CTreeInstance", InstanceBody(1, 201, 0x30, 0), true);
  file.Record("CTree", test::TreeBody(0x30, 201, Bytes{}, 1, -1.0f, -1.0f, {0, 1}));
  CStream stream;
  CMemoryIo device;
  EXPECT_EQ(test::LoadScene(file.Data(), stream, device), kErrNotFound);
}

// Two instances of one tree under a node: a clone of the node clones the
// tree once and both cloned instances show that clone.
TEST_F(TreeInstanceTest, ClonedInstancesShareTheClonedTree) {
  CPointer<CTree> tree = test::MakeTrunkTree();
  CPointer<CNode> root(new CNode());
  CPointer<CTreeInstance> first(new CTreeInstance());
  CPointer<CTreeInstance> second(new CTreeInstance());
  CPointer<CNode> aux(new CNode());
  first->SetTree(tree.Get());
  first->SetAuxObject(aux.Get());
  first->WindMatrixOffset = 3.0f;
  second->SetTree(tree.Get());
  ASSERT_EQ(root->AddChild(first.Get()), kOk);
  ASSERT_EQ(root->AddChild(second.Get()), kOk);
  CloneMap map;
  CPointer<CBase> clone;
  ASSERT_EQ(root->Clone(clone, map, 0), kOk);
  auto* clonedTree = DynamicCast<CTree>(map.at(tree.Get()).Get());
  ASSERT_NE(clonedTree, nullptr);
  EXPECT_NE(clonedTree, tree.Get());
  auto* a = DynamicCast<CTreeInstance>(map.at(first.Get()).Get());
  auto* b = DynamicCast<CTreeInstance>(map.at(second.Get()).Get());
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(a->GetTree(), clonedTree);
  EXPECT_EQ(b->GetTree(), clonedTree);
  EXPECT_EQ(a->GetAuxObject(), map.at(aux.Get()).Get());
  EXPECT_EQ(a->WindMatrixOffset, 3.0f);
  EXPECT_TRUE(clonedTree->GetModel()->IsComputed());

  // CopyTo shares the tree and copies the values.
  CTreeInstance target;
  CPointer<CTree> former = test::MakeTrunkTree();
  target.SetTree(former.Get());
  DisplacedList displaced;
  first->LightShaderParams.AmbientScalar = 0.5f;
  first->Material[1].Specular = Vec3(1.0f, 0.0f, 0.0f);
  ASSERT_EQ(first->CopyTo(&target, displaced, 0), kOk);
  EXPECT_EQ(target.GetTree(), tree.Get());
  EXPECT_EQ(target.GetAuxObject(), aux.Get());
  EXPECT_EQ(target.LightShaderParams.AmbientScalar, 0.5f);
  EXPECT_EQ(target.Material[1].Specular, Vec3(1.0f, 0.0f, 0.0f));
  ASSERT_EQ(displaced.size(), 1u);
  EXPECT_EQ(displaced[0], former.Get());
  EXPECT_EQ(first->CopyTo(tree.Get(), displaced, 0), kErrNotFound);
  EXPECT_EQ(first->CopyTo(nullptr, displaced, 0), kErrNotFound);

  struct AllRefs : CReferenceVisitor {
    std::vector<std::pair<CBase*, u32>> seen;
    void Visit(CBase* object, u32 owned) override { seen.emplace_back(object, owned); }
  } refs;
  second->EnumReferences(refs);
  ASSERT_GE(refs.seen.size(), 2u);
  EXPECT_EQ(refs.seen[0], std::make_pair(static_cast<CBase*>(tree.Get()), 1u));
  EXPECT_EQ(refs.seen[1], std::make_pair(static_cast<CBase*>(nullptr), 1u));
  EXPECT_EQ(CTreeInstance().GetSaveSize(), CTreeInstance().CSpatial::GetSaveSize() + 216);
}

}  // namespace
}  // namespace KT
