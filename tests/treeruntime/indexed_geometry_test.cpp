#include "treeruntime/indexed_geometry.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "treeruntime/projected_shadow.h"
#include "treeruntime/spt_builder.h"
#include "treeruntime/texture_flip.h"
#include "treeruntime/tree_test_util.h"
#include "treeruntime/wind_matrices.h"

namespace trt {
namespace {

using Indices = std::vector<std::int32_t>;

class IndexedGeometryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetTextureFlipFlag(false);
    before_ = GetTrackedBytes();
  }
  void TearDown() override {
    SetTextureFlipFlag(false);
    EXPECT_EQ(GetTrackedBytes(), before_) << "the test leaked tracked memory";
  }

 private:
  std::uint32_t before_ = 0;
};

// A geometry with `vertices` vertices along x and the given strips in LOD 0.
void Fill(CIndexedGeometry& g, int vertices, const std::vector<Indices>& strips, int lods = 1) {
  g.SetNumLods(lods);
  for (int i = 0; i < vertices; ++i) g.AddVertex({static_cast<float>(i), 0, 0});
  for (const Indices& strip : strips) g.AddStrip(0, strip.data(), static_cast<std::int32_t>(strip.size()));
}

Indices Lod(const CIndexedGeometry& g, int lod) {
  const TreeVector<std::int32_t>* list = g.GetStripIndices(lod);
  return Indices(list->begin(), list->end());
}

TEST_F(IndexedGeometryTest, CombineStrips) {
  struct Case {
    const char* name;
    std::vector<Indices> strips;
    bool keepWinding;
    Indices joined;
  };
  const Case cases[] = {
      {"4, 5, 3", {{0, 1, 2, 3}, {4, 5, 6, 7, 8}, {9, 10, 11}}, false,
       {0, 1, 2, 3, 3, 4, 4, 5, 6, 7, 8, 8, 9, 9, 10, 11}},
      {"4, 5, 3 keeping the winding", {{0, 1, 2, 3}, {4, 5, 6, 7, 8}, {9, 10, 11}}, true,
       {0, 1, 2, 3, 3, 4, 4, 5, 6, 7, 8, 8, 8, 9, 9, 10, 11}},
      {"one strip", {{3, 1, 4, 1, 5}}, false, {3, 1, 4, 1, 5}},
      {"one strip keeping the winding", {{3, 1, 4, 1, 5}}, true, {3, 1, 4, 1, 5}},
      {"two indices", {{7, 8}}, false, {7, 8}},
  };
  for (const Case& c : cases) {
    CIndexedGeometry g(nullptr, false);
    Fill(g, 12, c.strips);
    EXPECT_EQ(g.GetCompositeStripLength(0, c.keepWinding), static_cast<std::int32_t>(c.joined.size())) << c.name;
    g.CombineStrips(c.keepWinding);
    EXPECT_EQ(Lod(g, 0), c.joined) << c.name;
    const std::int32_t length = static_cast<std::int32_t>(c.joined.size());
    EXPECT_EQ(*g.GetStripDescriptors(0), (TreeVector<std::int32_t>{0, length})) << c.name;
    EXPECT_EQ(g.GetTriangleCount(0), length < 3 ? 0 : length - 2) << c.name;
  }
}

TEST_F(IndexedGeometryTest, CombineLeavesAnEmptyLodAndAGeometryWithoutVertices) {
  CIndexedGeometry g(nullptr, false);
  Fill(g, 3, {{0, 1, 2}}, 2);
  g.CombineStrips(false);
  EXPECT_TRUE(g.GetStripDescriptors(1)->empty());
  EXPECT_EQ(g.GetTriangleCount(1), 0);

  CIndexedGeometry empty(nullptr, false);
  empty.SetNumLods(1);
  const Indices strip = {0, 1, 2, 3};
  empty.AddStrip(0, strip.data(), 4);
  empty.AddStrip(0, strip.data(), 4);
  empty.CombineStrips(false);  // no vertex: nothing joined
  EXPECT_EQ(empty.GetStripDescriptors(0)->size(), 4u);
}

TEST_F(IndexedGeometryTest, NullIndicesLeaveOneEmptyStrip) {
  CIndexedGeometry g(nullptr, false);
  Fill(g, 4, {{0, 1, 2, 3}});
  g.AddStrip(0, nullptr, 9);
  EXPECT_EQ(*g.GetStripDescriptors(0), (TreeVector<std::int32_t>{0, 0}));
  EXPECT_TRUE(g.GetStripIndices(0)->empty());
  g.Finish();
  EXPECT_EQ(g.GetNumStrips()[0], 1);
  EXPECT_EQ(g.GetStripLengths()[0][0], 0);
  EXPECT_EQ(g.GetStripStarts()[0][0], nullptr);  // nothing to point at
  EXPECT_EQ(g.GetTriangleCount(0), 0);
}

TEST_F(IndexedGeometryTest, FinishBuildsTheStripTables) {
  CIndexedGeometry g(nullptr, false);
  Fill(g, 6, {{0, 1, 2, 3}, {4, 5}, {1, 2, 3}}, 3);
  const Indices other = {5, 4, 3, 2, 1};
  g.AddStrip(2, other.data(), 5);
  g.Finish();
  ASSERT_NE(g.GetNumStrips(), nullptr);
  EXPECT_EQ(TrackedArrayCount(g.GetNumStrips()), 3u);
  EXPECT_EQ(g.GetNumStrips()[0], 3);
  EXPECT_EQ(g.GetNumStrips()[1], 0);
  EXPECT_EQ(g.GetNumStrips()[2], 1);
  EXPECT_EQ(g.GetStripLengths()[0][1], 2);
  EXPECT_EQ(g.GetStripStarts()[0][0], g.GetStripIndices(0)->data());
  EXPECT_EQ(*g.GetStripStarts()[0][2], 1);
  EXPECT_EQ(g.GetStripStarts()[0][2], g.GetStripIndices(0)->data() + 6);
  EXPECT_EQ(g.GetTriangleCount(0), 2 + 1);  // the strip of 2 has none
  EXPECT_EQ(g.GetTriangleCount(2), 3);
  // A second Finish replaces the tables; the destructor frees them.
  g.Finish();
  EXPECT_EQ(g.GetNumStrips()[2], 1);
}

TEST_F(IndexedGeometryTest, SetNumLodsAndClearLod) {
  CIndexedGeometry g(nullptr, false);
  Fill(g, 3, {{0, 1, 2}}, 2);
  g.ClearLod(0);
  EXPECT_TRUE(g.GetStripDescriptors(0)->empty());
  EXPECT_TRUE(g.GetStripIndices(0)->empty());
  g.SetNumLods(4);
  EXPECT_EQ(g.GetNumLods(), 4);
  EXPECT_EQ(g.GetStripDescriptors(4), nullptr);
  g.SetNumLods(-2);
  EXPECT_EQ(g.GetNumLods(), 0);
  g.AddStrip(0, nullptr, 0);  // no LOD: nothing
  EXPECT_EQ(g.GetStripDescriptors(0), nullptr);
}

TEST_F(IndexedGeometryTest, PackColorAndWindData) {
  EXPECT_EQ(CIndexedGeometry::PackColor(1.0f, 0.5f, 0.0f), 0xff007fffu);
  CWindMatrices wind;
  wind.SetMatrixRange(2, 3);
  CIndexedGeometry g(&wind, false);
  g.AddColor(1.0f, 0.5f, 0.0f);
  EXPECT_EQ(g.GetColors()[0], 0xff007fffu);
  struct Case {
    float value;
    std::int32_t index;
    float weight;
    std::uint8_t matrix;
  };
  const Case cases[] = {{-0.5f, 0, 1.0f, 2}, {1.5f, 7, 0.0f, 3}, {0.25f, 5, 0.75f, 4}, {0.0f, -1, 1.0f, 4}};
  for (const Case& c : cases) {
    g.AddWindData1(c.value, c.index);
    g.AddWindData2(c.value, c.index);
    EXPECT_EQ(g.GetWindWeights1().back(), c.weight) << c.value;
    EXPECT_EQ(g.GetWindWeights2().back(), c.weight) << c.value;
    EXPECT_EQ(g.GetWindMatrices1().back(), c.matrix) << c.index;
    EXPECT_EQ(g.GetWindMatrices2().back(), c.matrix) << c.index;
  }
}

TEST_F(IndexedGeometryTest, AttributesAndRestPositions) {
  CIndexedGeometry still(nullptr, false);
  still.SetWindData(true);
  still.AddVertex({1, 2, 3});  // wind method 2: no rest position
  EXPECT_TRUE(still.GetRestPositions().empty());
  EXPECT_EQ(still.GetLodFades(), (TreeVector<float>{1.0f}));

  CIndexedGeometry g(nullptr, false);
  g.SetWindData(true);
  g.SetWindMethod(1);
  g.AddVertex({1, 2, 3});
  g.AddNormal({0, 0, 1});
  g.AddBinormal({0, 1, 0});
  g.AddTangent({1, 0, 0});
  EXPECT_EQ(g.GetRestPositions(), (TreeVector<float>{1, 2, 3}));
  EXPECT_EQ(g.GetNormals(), (TreeVector<float>{0, 0, 1}));
  EXPECT_EQ(g.GetBinormals(), (TreeVector<float>{0, 1, 0}));
  EXPECT_EQ(g.GetTangents(), (TreeVector<float>{1, 0, 0}));
  g.SetLodFade(0, 0.5f);
  g.SetLodFade(1, 0.25f);  // no such vertex
  EXPECT_EQ(g.GetLodFades(), (TreeVector<float>{0.5f}));
  EXPECT_EQ(g.GetVertex(0)[2], 3.0f);
  EXPECT_EQ(g.GetVertex(1), nullptr);

  // Positions and rest positions move together.
  stMat4 move;
  move.m[12] = 5.0f;
  move.m[13] = 6.0f;
  move.m[14] = 7.0f;
  g.Transform(move);
  EXPECT_EQ(g.GetPositions(), (TreeVector<float>{6, 8, 10}));
  EXPECT_EQ(g.GetRestPositions(), (TreeVector<float>{6, 8, 10}));
}

TEST_F(IndexedGeometryTest, TextureCoordinatesUnderTextureFlip) {
  SetTextureFlipFlag(true);
  CIndexedGeometry g(nullptr, true);
  g.AddVertex({0, 0, 0});
  g.AddTexCoord(0, 0.25f, 0.75f, 3);
  g.AddTexCoord(1, 0.5f, 0.5f, -1);
  g.AdvanceVertexCursor();
  EXPECT_EQ(g.GetTexLayer(0), (TreeVector<float>{0.25f, -0.75f}));
  EXPECT_EQ(g.GetRelativeTexCoords(), (TreeVector<float>{0.25f, 0.75f}));
  EXPECT_EQ(g.GetTextureTags(), (TreeVector<std::uint8_t>{3}));
  EXPECT_EQ(g.GetTexLayer(1), (TreeVector<float>{0.5f, -0.5f}));
  EXPECT_EQ(g.GetTexCoord(0, 0)[1], -0.75f);
  EXPECT_EQ(g.GetTexCoord(0, 1), nullptr);

  // Layer 0 is written at the cursor: writing vertex 0 again replaces it.
  g.SetVertexCursor(0);
  g.AddTexCoord(0, 0.125f, 0.5f, 4);
  EXPECT_EQ(g.GetTexLayer(0), (TreeVector<float>{0.125f, -0.5f}));
  EXPECT_EQ(g.GetTextureTags(), (TreeVector<std::uint8_t>{4}));

  // Without the texture-tag flag no tags or relative coordinates are kept.
  CIndexedGeometry plain(nullptr, false);
  plain.AddTexCoord(0, 0.25f, 0.75f, 3);
  EXPECT_TRUE(plain.GetTextureTags().empty());
  EXPECT_TRUE(plain.GetRelativeTexCoords().empty());
  plain.AddTexCoord(8, 1, 1, -1);  // no such layer
}

TEST_F(IndexedGeometryTest, ApplyTexCoordsRemapsTaggedVertices) {
  // Corners U0 V0 U1 V1 U2 V2 U3 V3: u = U1 + (U0 - U1) s, v = V2 + (V0 - V2) t.
  const float rect[8] = {0.5f, 1.0f, 0.25f, 0.0f, 0.0f, 0.5f, 0.0f, 0.0f};
  for (bool flip : {false, true}) {
    SetTextureFlipFlag(flip);
    CIndexedGeometry g(nullptr, true);
    for (int tag : {2, 5}) {
      g.AddVertex({0, 0, 0});
      g.AddTexCoord(0, 0.5f, 0.5f, tag);
      g.AdvanceVertexCursor();
    }
    g.ApplyTexCoords(2, rect, flip);
    EXPECT_EQ(g.GetVertexCursor(), 2);
    const float u = 0.25f + 0.25f * 0.5f;
    const float v = 0.5f + 0.5f * 0.5f;
    // The two negations cancel: a flipped geometry stores the flipped v.
    EXPECT_EQ(g.GetTexCoord(0, 0)[0], u) << flip;
    EXPECT_EQ(g.GetTexCoord(0, 0)[1], flip ? -v : v) << flip;
    EXPECT_EQ(g.GetTexCoord(0, 1)[0], 0.5f) << flip;  // another tag: untouched
    EXPECT_EQ(g.GetRelativeTexCoords()[0], 0.5f);
  }
}

TEST_F(IndexedGeometryTest, ShadowCoordinatesOfPointsOnTheAxes) {
  CIndexedGeometry g(nullptr, false);
  for (const stVec3& p : {stVec3{2, 0, 0}, stVec3{-2, 0, 0}, stVec3{0, 2, 0}, stVec3{0, -2, 0}, stVec3{0, 0, 9}}) {
    g.AddVertex(p);
  }
  g.SetVertexCursor(5);
  g.ComputeShadowTexCoords({1, 0, 0}, {0, 1, 0}, {0, 0, 0}, 2.0f, nullptr);
  EXPECT_EQ(g.GetVertexCursor(), 0);
  // (The fast distance of a point to itself is about 1e-19, not 0.)
  const float expected[10] = {1.0f, 0.5f, 0.0f, 0.5f, 0.5f, 1.0f, 0.5f, 0.0f, 0.5f, 0.5f};
  ASSERT_EQ(g.GetTexLayer(7).size(), 10u);
  for (int i = 0; i < 10; ++i) EXPECT_NEAR(g.GetTexLayer(7)[i], expected[i], 1e-6f) << i;

  // A rect maps (u, v) onto its range; a second call replaces the first.
  const float rect[6] = {1.0f, 1.0f, 0.5f, 0.0f, 0.0f, 0.75f};
  g.ComputeShadowTexCoords({1, 0, 0}, {0, 1, 0}, {0, 0, 0}, 2.0f, rect);
  ASSERT_EQ(g.GetTexLayer(7).size(), 10u);
  EXPECT_EQ(g.GetTexCoord(7, 0)[0], 1.0f);    // 0.5 + 0.5 x 1
  EXPECT_EQ(g.GetTexCoord(7, 0)[1], 0.875f);  // 0.75 + 0.25 x 0.5
  EXPECT_EQ(g.GetTexCoord(7, 1)[0], 0.5f);

  // A tree without extent gets (0, 0) rather than a division by zero.
  g.ComputeShadowTexCoords({1, 0, 0}, {0, 1, 0}, {0, 0, 0}, 0.0f, nullptr);
  for (float value : g.GetTexLayer(7)) EXPECT_EQ(value, 0.0f);
}

TEST_F(IndexedGeometryTest, ClosestPointOnLine) {
  EXPECT_EQ(ClosestPointOnLine({1, 1, 1}, {1, 1, 1}, {5, 5, 5}), stVec3(1, 1, 1));
  EXPECT_EQ(ClosestPointOnLine({0, 0, 0}, {4, 0, 0}, {3, 7, -2}), stVec3(3, 0, 0));
  EXPECT_EQ(ClosestPointOnLine({0, 0, 0}, {0, 0, 2}, {1, 1, -3}), stVec3(0, 0, -3));
}

TEST_F(IndexedGeometryTest, ExtendBoundsCoversLodZero) {
  CIndexedGeometry g(nullptr, false);
  Fill(g, 3, {{0, 1}}, 2);
  g.AddVertex({-5, 9, 0});
  const Indices far = {3, 2};
  g.AddStrip(1, far.data(), 2);
  stRegion box;
  g.ExtendBounds(box);
  EXPECT_EQ(box.m_cMin[0], 0.0f);
  EXPECT_EQ(box.m_cMax[0], 1.0f);
  EXPECT_EQ(box.m_cMax[1], 0.0f);  // vertices 2 and 3 are not in LOD 0
}

class WindEffectTest : public IndexedGeometryTest {
 protected:
  void SetUp() override {
    IndexedGeometryTest::SetUp();
    wind_ = std::make_unique<CWindMatrices>();
    CWindMatrices::GetSharedMatrix(1)->m[12] = 1.0f;  // moves by +x
    CWindMatrices::GetSharedMatrix(2)->m[13] = 2.0f;  // moves by +2y
  }
  void TearDown() override {
    wind_.reset();
    IndexedGeometryTest::TearDown();
  }
  // Vertex i at (i, 0, 0) with full weights on matrices 1 and 2.
  void AddBentVertex(CIndexedGeometry& g, float i) {
    g.AddVertex({i, 0, 0});
    g.AddWindData1(0.0f, 1);
    g.AddWindData2(0.0f, 2);
  }
  std::unique_ptr<CWindMatrices> wind_;
};

TEST_F(WindEffectTest, BendsEachVertexOnceThenRefuses) {
  CIndexedGeometry g(wind_.get(), false);
  g.SetWindData(true);
  g.SetWindMethod(1);
  g.SetNumLods(1);
  for (int i = 0; i < 3; ++i) AddBentVertex(g, static_cast<float>(i));
  // Vertex 1 is shared by both strips.
  const Indices a = {0, 1};
  const Indices b = {1, 2, 1};
  g.AddStrip(0, a.data(), 2);
  g.AddStrip(0, b.data(), 3);

  EXPECT_FALSE(g.ComputeWindEffect(0));  // constructed done
  EXPECT_EQ(g.GetPositions(), (TreeVector<float>{0, 0, 0, 1, 0, 0, 2, 0, 0}));
  g.ArmWindEffect();
  EXPECT_TRUE(g.ComputeWindEffect(0));
  EXPECT_EQ(g.GetPositions(), (TreeVector<float>{1, 2, 0, 2, 2, 0, 3, 2, 0}));
  EXPECT_TRUE(g.IsWindEffectDone());
  EXPECT_FALSE(g.ComputeWindEffect(0));
  // Bending starts from the rest positions: doing it again gives the same.
  g.ArmWindEffect();
  EXPECT_TRUE(g.ComputeWindEffect(0));
  EXPECT_EQ(g.GetPositions(), (TreeVector<float>{1, 2, 0, 2, 2, 0, 3, 2, 0}));
}

TEST_F(WindEffectTest, LodMinusOneOnlyArmsTheMarks) {
  CIndexedGeometry g(wind_.get(), false);
  g.SetWindData(true);
  g.SetWindMethod(1);
  g.SetNumLods(1);
  AddBentVertex(g, 4.0f);
  const Indices strip = {0};
  g.AddStrip(0, strip.data(), 1);
  g.ArmWindEffect();
  EXPECT_TRUE(g.ComputeWindEffect(-1));
  EXPECT_EQ(g.GetPositions(), (TreeVector<float>{4, 0, 0}));
  EXPECT_FALSE(g.ComputeWindEffect(0));
}

TEST_F(WindEffectTest, VerticesWithoutRestPositionsOrMatricesStay) {
  CIndexedGeometry g(wind_.get(), false);
  g.SetWindData(true);  // wind method 2: no rest positions
  g.SetNumLods(1);
  AddBentVertex(g, 4.0f);
  const Indices strip = {0, 7, -1};  // and two indices without a vertex
  g.AddStrip(0, strip.data(), 3);
  g.ArmWindEffect();
  EXPECT_TRUE(g.ComputeWindEffect(0));
  EXPECT_EQ(g.GetPositions(), (TreeVector<float>{4, 0, 0}));

  // A matrix index beyond the shared table counts as the identity.
  wind_->SetMatrixRange(200, 1);
  CIndexedGeometry far(wind_.get(), false);
  far.SetWindData(true);
  far.SetWindMethod(1);
  far.SetNumLods(1);
  AddBentVertex(far, 4.0f);
  far.AddStrip(0, strip.data(), 1);
  far.ArmWindEffect();
  EXPECT_TRUE(far.ComputeWindEffect(0));
  EXPECT_EQ(far.GetPositions(), (TreeVector<float>{4, 0, 0}));
}

// --- the projected-shadow record (section 18000) -----------------------------------

test::Bytes ShadowSection(const std::string& name) {
  return test::SptWriter()
      .Token(18000)
      .Token(18002).Vector({1, 0, 0})
      .Token(18003).Vector({0, 1, 0})
      .Token(18004).Vector({0.5f, 0.25f, 2})
      .Token(18005).String(name)
      .Token(18001)
      .Data();
}

TEST(ProjectedShadow, SectionRoundTrip) {
  const SProjectedShadow fresh;
  EXPECT_EQ(fresh.m_vAxisA, stVec3());
  EXPECT_EQ(fresh.m_strTexture, "");

  const test::Bytes section = ShadowSection("shadow.png");
  CTreeFileAccess in = test::ReaderOf(section);
  ASSERT_EQ(in.ParseToken(), 18000);
  SProjectedShadow shadow;
  shadow.Parse(in);
  EXPECT_FALSE(in.DataRemains());
  EXPECT_EQ(shadow.m_vAxisB, stVec3(0, 1, 0));
  EXPECT_EQ(shadow.m_vVector3, stVec3(0.5f, 0.25f, 2));
  CTreeFileAccess out;
  shadow.Save(out);
  EXPECT_EQ(test::BytesOf(out), section);

  // Directories are dropped, in any order of the fields.
  CTreeFileAccess named = test::SptWriter()
                              .Token(18005).String("C:\\maps/trees\\shadow.png")
                              .Token(18004).Vector({1, 1, 1})
                              .Token(18001)
                              .Reader();
  SProjectedShadow other;
  other.Parse(named);
  EXPECT_EQ(other.m_strTexture, "shadow.png");
  EXPECT_EQ(other.m_vVector3, stVec3(1, 1, 1));
}

TEST(ProjectedShadow, UnknownTokenNamesIt) {
  CTreeFileAccess unknown = test::SptWriter().Token(18002).Vector({}).Token(18006).Token(18001).Reader();
  EXPECT_EQ(test::TreeErrorText([&] { SProjectedShadow().Parse(unknown); }),
            "malformed shadow projection info (token 18006) []");
}

}  // namespace
}  // namespace trt
