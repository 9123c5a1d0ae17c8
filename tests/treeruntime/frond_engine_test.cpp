#include "treeruntime/frond_engine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "treeruntime/indexed_geometry.h"
#include "treeruntime/lighting_engine.h"
#include "treeruntime/spt_builder.h"
#include "treeruntime/tree_random.h"
#include "treeruntime/tree_test_util.h"

namespace trt {
namespace {

using test::Bytes;
using test::SptWriter;
using test::TreeErrorText;

class FrondEngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CTreeRandom::Seed(7);
    before_ = GetTrackedBytes();
  }
  void TearDown() override { EXPECT_EQ(GetTrackedBytes(), before_) << "the test leaked tracked memory"; }

 private:
  std::uint32_t before_ = 0;
};

// A frond of `frames` frames along z, `spacing` apart, with identity
// orientations.
void AddStraightFrond(CFrondEngine& e, std::int32_t frames, float spacing = 1.0f, float scale = 1.0f) {
  e.AddFrond(frames);
  for (std::int32_t s = 0; s < frames; ++s) {
    stFrondFrame frame;
    frame.m_vPosition = {0.0f, 0.0f, spacing * static_cast<float>(s)};
    e.AddFrame(frame);
  }
  e.FinishFrond(scale);
}

std::vector<std::int32_t> Strip(const CIndexedGeometry& g, std::int32_t lod, std::size_t strip) {
  const TreeVector<std::int32_t>& descriptors = *g.GetStripDescriptors(lod);
  const TreeVector<std::int32_t>& indices = *g.GetStripIndices(lod);
  const auto first = indices.begin() + descriptors[2 * strip];
  return std::vector<std::int32_t>(first, first + descriptors[2 * strip + 1]);
}

TEST_F(FrondEngineTest, DefaultsAndTheDefaultProfile) {
  const CFrondEngine e;
  EXPECT_EQ(e.m_nFrondType, 1);
  EXPECT_EQ(e.m_nNumBlades, 2);
  EXPECT_EQ(e.m_nProfileSegments, 4);
  EXPECT_EQ(e.GetFrondLevel(), 1);
  EXPECT_EQ(e.GetFrondFlag(), 0);
  EXPECT_TRUE(e.m_vTextures.empty());
  EXPECT_EQ(e.m_nNumLods, 4);
  EXPECT_EQ(e.m_fLodFractionFirst, 1.0f);
  EXPECT_EQ(e.m_fLodFractionLast, 0.0f);
  EXPECT_EQ(e.m_fPriorityRandomness, 0.0f);
  EXPECT_EQ(e.m_fLargeFrondMargin, 0.05f);
  EXPECT_EQ(e.m_nMinExtraFrames, 2);
  EXPECT_EQ(e.m_nMinProfileHalf, 1);
  EXPECT_EQ(e.m_nFrondSegments, 1);
  EXPECT_EQ(e.m_ucSegmentCountFlag, 0);
  EXPECT_EQ(e.m_ucFullResolution, 0);
  float threshold = -1.0f;
  std::int32_t levels = -1;
  std::int32_t upper = -1;
  std::int32_t lower = -1;
  e.GetSupplemental(threshold, levels, upper, lower);
  EXPECT_EQ(threshold, 0.0f);
  EXPECT_EQ(levels, 0);
  EXPECT_EQ(upper, 0);
  EXPECT_EQ(lower, 0);

  // The profile's "e-008" exponent reads; the writer prints the classic form.
  ASSERT_EQ(e.m_pProfile->Positions().size(), 3u);
  EXPECT_FLOAT_EQ(e.m_pProfile->Positions()[2][1], -6.24607e-8f);
  EXPECT_EQ(e.m_pProfile->ToText(),
            "BezierSpline 0 1 0\n{\n\t3\n\t0 0.00138887 0.337009 0.941501 0.132767\n"
            "\t0.493215 0.998903 1 0.00102074 0.23702\n\t1 -6.24607e-08 0.307222 -0.951638 0.126974\n\n}\n");
}

TEST_F(FrondEngineTest, FramesBeyondTheInlineOnesMoveToTheVector) {
  CFrondEngine e;
  AddStraightFrond(e, 12);
  AddStraightFrond(e, 3);
  for (int extra = 0; extra < 7; ++extra) e.AddFrame(stFrondFrame{});  // more than announced
  ASSERT_EQ(e.m_vFronds.size(), 2u);
  EXPECT_EQ(e.m_vFronds[0].m_nNumFrames, 12);
  EXPECT_EQ(e.m_vFronds[0].Frames()[11].m_vPosition.z, 11.0f);
  EXPECT_EQ(e.m_vFronds[1].m_nNumFrames, 10);
  EXPECT_EQ(e.m_vFronds[1].Frames()[2].m_vPosition.z, 2.0f);
  EXPECT_EQ(e.m_vFronds[1].Frames()[9].m_vPosition.z, 0.0f);
}

TEST_F(FrondEngineTest, FinishFrond) {
  CFrondEngine e;
  AddStraightFrond(e, 3, 2.0f, 0.5f);  // fast distances of 2 are exact
  EXPECT_EQ(e.m_vFronds[0].m_fLength, 4.0f);
  EXPECT_EQ(e.m_vFronds[0].m_fSize, 2.0f);
  EXPECT_EQ(e.m_vFronds[0].m_fHalfWidth, 2.0f);
  EXPECT_EQ(e.m_vFronds[0].m_fStartAngle, 0.0f);
  EXPECT_EQ(e.m_vFronds[0].m_ucTexture, 0);

  SFrondTexture texture;
  texture.m_afValues[0] = 0.5f;
  texture.m_afValues[1] = 3.0f;
  texture.m_afValues[2] = 10.0f;
  texture.m_afValues[3] = 10.0f;
  e.m_vTextures = {texture, texture, texture};
  AddStraightFrond(e, 3, 2.0f, 0.5f);  // the second frond: the angle keeps its sign
  AddStraightFrond(e, 3, 2.0f, 0.5f);  // the third: negated
  EXPECT_EQ(e.m_vFronds[1].m_fHalfWidth, 0.5f * 4.0f * 0.5f * 3.0f);
  EXPECT_EQ(e.m_vFronds[1].m_fStartAngle, 10.0f);
  EXPECT_EQ(e.m_vFronds[2].m_fStartAngle, -10.0f);
  EXPECT_LT(e.m_vFronds[1].m_ucTexture, 3);
  EXPECT_EQ(e.m_vFronds[2].m_fSize, 2.0f);
}

TEST_F(FrondEngineTest, VertexCountsAndTheLimit) {
  struct Case {
    std::int32_t type;
    std::int32_t blades;
    std::int32_t frames;
    std::int32_t vertices;  // -1: refused
  };
  const Case cases[] = {
      {1, 2, 10, 70}, {0, 2, 10, 40}, {0, 5, 6553, 65530}, {0, 5, 6554, -1},
  };
  for (const Case& c : cases) {
    CFrondEngine e;
    e.m_nFrondType = c.type;
    e.m_nNumBlades = c.blades;
    AddStraightFrond(e, c.frames);
    CIndexedGeometry g(nullptr, true);
    const std::string text = TreeErrorText([&] { e.Compute(&g, nullptr); });
    if (c.vertices < 0) {
      EXPECT_EQ(text, "frond vertices exceed 65535 []");
      EXPECT_EQ(g.GetVertexCount(), 0);
      EXPECT_EQ(g.GetNumLods(), 0);  // nothing built
    } else {
      EXPECT_EQ(text, "(no error)");
      EXPECT_EQ(g.GetVertexCount(), c.vertices) << c.type << " " << c.frames;
      EXPECT_EQ(g.GetNumLods(), 4);
      EXPECT_EQ(g.GetTextureTags().size(), static_cast<std::size_t>(c.vertices));
    }
  }

  CFrondEngine odd;
  odd.m_nFrondType = 2;
  AddStraightFrond(odd, 4);
  CIndexedGeometry g(nullptr, true);
  EXPECT_EQ(TreeErrorText([&] { odd.Compute(&g, nullptr); }), "default reached in CFrondEngine::Compute() []");
}

TEST_F(FrondEngineTest, SettingsThatMakeNoGeometry) {
  struct Case {
    const char* name;
    std::int32_t type;
    std::int32_t blades;
    std::int32_t segments;
    std::int32_t lods;
    std::int32_t frames;
    std::int32_t builtLods;
  };
  const Case cases[] = {
      {"one profile segment", 1, 2, 1, 4, 5, 4},
      {"no profile segment", 1, 2, -3, 4, 5, 4},
      {"no blade", 0, 0, 4, 4, 5, 4},
      {"negative blades", 0, -2, 4, 4, 5, 4},
      {"negative LOD count", 1, 2, 4, -2, 5, 0},
      {"a frond of one frame", 1, 2, 4, 4, 1, 4},
  };
  for (const Case& c : cases) {
    CFrondEngine e;
    e.m_nFrondType = c.type;
    e.m_nNumBlades = c.blades;
    e.m_nProfileSegments = c.segments;
    e.m_nNumLods = c.lods;
    AddStraightFrond(e, c.frames);
    CIndexedGeometry g(nullptr, true);
    EXPECT_EQ(TreeErrorText([&] { e.Compute(&g, nullptr); }), "(no error)") << c.name;
    EXPECT_EQ(g.GetVertexCount(), 0) << c.name;
    EXPECT_EQ(g.GetNumLods(), c.builtLods) << c.name;
  }
}

TEST_F(FrondEngineTest, LodsTakeTheLargestFrondsFirstAndMarkTheirVertices) {
  CFrondEngine e;
  e.m_nFrondType = 0;
  AddStraightFrond(e, 2, 1.0f, 1.5f);  // size 1.5
  AddStraightFrond(e, 2, 2.0f);        // size 2: the large one
  CIndexedGeometry g(nullptr, true);
  e.Compute(&g, nullptr);
  ASSERT_EQ(e.m_vLodFronds.size(), 4u);
  EXPECT_EQ(e.m_vLodFronds[0], (TreeVector<std::int32_t>{1, 0}));  // every frond
  EXPECT_EQ(e.m_vLodFronds[1], (TreeVector<std::int32_t>{1, 0}));  // 2/3 of 3.5, the crossing one included
  EXPECT_EQ(e.m_vLodFronds[2], (TreeVector<std::int32_t>{1}));
  EXPECT_TRUE(e.m_vLodFronds[3].empty());
  // Kept in LODs 0 and 1: 1 - 2/4; kept down to LOD 2: 1 - 3/4.
  const SFrond& small = e.m_vFronds[0];
  const SFrond& large = e.m_vFronds[1];
  for (std::int32_t v = 0; v < 8; ++v) {
    EXPECT_EQ(g.GetLodFades()[static_cast<std::size_t>(small.m_nFirstVertex + v)], 0.5f) << v;
    EXPECT_EQ(g.GetLodFades()[static_cast<std::size_t>(large.m_nFirstVertex + v)], 0.25f) << v;
  }
  EXPECT_EQ(CFrondEngine::LodFade(3, 4), -1.0f);
  EXPECT_EQ(CFrondEngine::LodFade(0, 1), -1.0f);
}

TEST_F(FrondEngineTest, BladesLieAtTheFramesPlusAndMinusTheBladeDirection) {
  CFrondEngine e;
  e.m_nFrondType = 0;
  e.m_nNumLods = 1;
  AddStraightFrond(e, 4, 1.0f, 0.5f);  // half width 1.5
  CIndexedGeometry g(nullptr, true);
  e.Compute(&g, nullptr);
  ASSERT_EQ(g.GetVertexCount(), 16);
  const float h = 1.5f;
  const stVec3 directions[2] = {{0, 1, 0}, {0, 0, 1}};  // blade angles 0 and 90 about x
  for (int b = 0; b < 2; ++b) {
    for (int s = 0; s < 4; ++s) {
      const stVec3 p{0, 0, static_cast<float>(s)};
      for (int side = 0; side < 2; ++side) {
        const stVec3 expected = side == 0 ? p + directions[b] * h : p - directions[b] * h;
        const float* v = g.GetVertex(b * 8 + s * 2 + side);
        EXPECT_NEAR(v[0], expected.x, 1e-5f) << b << " " << s;
        EXPECT_NEAR(v[1], expected.y, 1e-5f) << b << " " << s;
        EXPECT_NEAR(v[2], expected.z, 1e-5f) << b << " " << s;
        const float* uv = g.GetTexCoord(0, b * 8 + s * 2 + side);
        EXPECT_EQ(uv[0], side == 0 ? 1.0f : 0.0f);
        EXPECT_FLOAT_EQ(uv[1], s / 3.0f);
      }
    }
  }
  // The normal is the frond's axis; one strip per blade.
  EXPECT_EQ(g.GetNormals()[2], 1.0f);
  EXPECT_EQ(g.GetStripCounter(), 2);
  std::vector<std::int32_t> second(8);
  for (int k = 0; k < 8; ++k) second[static_cast<std::size_t>(k)] = 8 + k;
  EXPECT_EQ(Strip(g, 0, 1), second);
}

TEST_F(FrondEngineTest, ExtrusionStripLengths) {
  // 11 frames of 11 profile points; per LOD (f = 1, 2/3, 1/3, 0) R frames
  // and Q points give (2Q + 1)(R - 1) - 1 indices. (The sizes keep R and Q
  // away from whole numbers, where float rounding would decide.)
  struct Case {
    const char* name;
    std::int32_t minFrames;
    std::int32_t minHalf;
    bool fullResolution;
    std::size_t lengths[4];
  };
  const Case cases[] = {
      {"defaults", 2, 1, false, {229, 118, 43, 13}},        // R = Q: 11 8 5 3
      {"floors at zero", 0, 0, false, {229, 89, 26, 4}},    // R = Q: 11 7 4 2 (at least 2)
      {"negative floors", -4, -3, false, {229, 54, 4, 4}},  // R 11 6 2 2, Q 11 5 2 2
      {"full resolution", 2, 1, true, {229, 229, 229, 229}},
  };
  for (const Case& c : cases) {
    CFrondEngine e;
    e.m_nProfileSegments = 6;
    e.m_fLodFractionLast = 1.0f;  // every LOD keeps the frond
    e.m_nMinExtraFrames = c.minFrames;
    e.m_nMinProfileHalf = c.minHalf;
    if (c.fullResolution) e.SetFullResolution();
    AddStraightFrond(e, 11);
    CIndexedGeometry g(nullptr, true);
    e.Compute(&g, nullptr);
    ASSERT_EQ(g.GetVertexCount(), 121) << c.name;
    for (std::int32_t l = 0; l < 4; ++l) {
      const std::vector<std::int32_t> strip = Strip(g, l, 0);
      EXPECT_EQ(strip.size(), c.lengths[l]) << c.name << " LOD " << l;
      for (std::int32_t index : strip) {
        ASSERT_GE(index, 0) << c.name;
        ASSERT_LT(index, 121) << c.name;
      }
      // From the first frame's first point to a point of the last frame.
      EXPECT_EQ(strip.front(), 0) << c.name;
      EXPECT_GE(strip.back(), 110) << c.name << " LOD " << l;
    }
  }
}

TEST_F(FrondEngineTest, ExtrusionFollowsTheProfile) {
  CFrondEngine e;
  e.m_nNumLods = 1;
  AddStraightFrond(e, 3, 2.0f);  // half width 4
  CIndexedGeometry g(nullptr, true);
  e.Compute(&g, nullptr);
  ASSERT_EQ(g.GetVertexCount(), 21);
  // The first and last profile points are the edges (y = -h and +h); the
  // middle one the centre, on the frame.
  for (int s = 0; s < 3; ++s) {
    EXPECT_NEAR(g.GetVertex(s * 7)[1], -4.0f, 1e-5f) << s;
    EXPECT_NEAR(g.GetVertex(s * 7 + 6)[1], 4.0f, 1e-5f) << s;
    EXPECT_NEAR(g.GetVertex(s * 7 + 3)[1], 0.0f, 1e-5f) << s;
    EXPECT_NEAR(g.GetVertex(s * 7 + 3)[2], 2.0f * s, 1e-5f) << s;
    EXPECT_FLOAT_EQ(g.GetTexCoord(0, s * 7 + 6)[0], 1.0f);
    EXPECT_FLOAT_EQ(g.GetTexCoord(0, s * 7)[1], s / 2.0f);
  }
  // Unit normals.
  for (std::size_t v = 0; v < 21; ++v) {
    const float* n = &g.GetNormals()[3 * v];
    EXPECT_NEAR(n[0] * n[0] + n[1] * n[1] + n[2] * n[2], 1.0f, 1e-4f) << v;
  }
}

TEST_F(FrondEngineTest, StaticLightingStoresColours) {
  CLightingEngine lighting;
  lighting.m_nFrondLightingMethod = 1;
  CFrondEngine e;
  e.m_nFrondType = 0;
  AddStraightFrond(e, 3);
  CIndexedGeometry g(nullptr, true);
  e.Compute(&g, &lighting);
  EXPECT_EQ(g.GetColors().size(), 12u);
  EXPECT_EQ(g.GetColors()[0], 0xff000000u);  // no light: black, alpha 255
  EXPECT_TRUE(g.GetNormals().empty());
}

TEST_F(FrondEngineTest, ScratchTablesBelongToTheLastInstance) {
  ASSERT_EQ(CFrondEngine::GetInstanceCount(), 0);
  {
    CFrondEngine a;
    {
      CFrondEngine b;
      AddStraightFrond(b, 5);
      CIndexedGeometry g(nullptr, true);
      b.Compute(&g, nullptr);
      EXPECT_EQ(CFrondEngine::GetInstanceCount(), 2);
    }
    EXPECT_GT(CFrondEngine::GetScratchCapacity(), 0u);
  }
  EXPECT_EQ(CFrondEngine::GetScratchCapacity(), 0u);
}

// --- sections 13000 and 25000 -------------------------------------------------------

const char* const kProfileText =
    "BezierSpline 0 1 0\n{\n\t3\n\t0 0.00138887 0.337009 0.941501 0.132767\n"
    "\t0.493215 0.998903 1 0.00102074 0.23702\n\t1 -6.24607e-08 0.307222 -0.951638 0.126974\n\n}\n";

struct TextureBytes {
  std::string name;
  float values[4];
};

Bytes FrondInfoSection(const std::string& profile, const std::vector<TextureBytes>& textures, std::int32_t type = 1) {
  SptWriter w;
  w.Token(13000).Token(13002).Token(1).Token(13003).Token(type).Token(13004).Token(2).Token(13005).String(profile);
  w.Token(13006).Token(4).Token(13007).Byte(0).Token(13009).Token(4);
  w.Token(13010).Float(1.0f).Token(13011).Float(0.0f).Token(13012).Float(0.0f).Token(13013).Float(0.05f);
  w.Token(14007).Token(2).Token(14008).Token(1).Token(13008).Token(static_cast<std::int32_t>(textures.size()));
  for (const TextureBytes& t : textures) {
    w.Token(14000).Token(14002).String(t.name);
    for (int i = 0; i < 4; ++i) w.Token(14003 + i).Float(t.values[i]);
    w.Token(14001);
  }
  return w.Token(13001).Data();
}

Bytes SupplementalSection(std::uint8_t flag) {
  return SptWriter()
      .Token(25000).Token(25003).Token(2).Token(25002).Float(0.5f).Token(25004).Token(1).Token(25005).Token(0)
      .Token(25006).Token(5).Token(25007).Byte(flag).Token(25001)
      .Data();
}

Bytes SaveTextureInfo(const CFrondEngine& e) {
  CTreeFileAccess out;
  e.SaveFrondTextureInfo(out);
  return test::BytesOf(out);
}

Bytes SaveSupplemental(const CFrondEngine& e) {
  CTreeFileAccess out;
  e.SaveSupplementalFrondInfo(out);
  return test::BytesOf(out);
}

TEST_F(FrondEngineTest, FrondTextureSection) {
  const CFrondEngine fresh;
  EXPECT_EQ(SaveTextureInfo(fresh), FrondInfoSection(kProfileText, {}));

  const std::string curve = "BezierSpline 0 2 0\n{\n\t2\n\t0 0 1 0 0.1\n\t1 1 1 0 0.1\n\n}\n";
  const Bytes stored = FrondInfoSection(curve, {{"C:\\maps/fronds\\palm.png", {0.25f, 2, -5, 5}}, {"fern.tga", {1, 1, 0, 0}}}, 0);
  CTreeFileAccess in = test::ReaderOf(stored);
  ASSERT_EQ(in.ParseToken(), 13000);
  CFrondEngine e;
  e.ParseFrondTextureInfo(in);
  EXPECT_FALSE(in.DataRemains());
  EXPECT_EQ(e.m_nFrondType, 0);
  EXPECT_EQ(e.m_pProfile->m_fMax, 2.0f);
  ASSERT_EQ(e.m_vTextures.size(), 2u);
  EXPECT_EQ(e.m_vTextures[0].m_strFileName, "palm.png");
  EXPECT_EQ(e.m_vTextures[0].m_afValues[1], 2.0f);
  EXPECT_EQ(e.m_vTextures[1].m_afValues[3], 0.0f);
  // Saved without directories, and a fixed point from then on.
  const Bytes saved = SaveTextureInfo(e);
  EXPECT_EQ(saved, FrondInfoSection(curve, {{"palm.png", {0.25f, 2, -5, 5}}, {"fern.tga", {1, 1, 0, 0}}}, 0));
  CTreeFileAccess again = test::ReaderOf(saved);
  again.ParseToken();
  CFrondEngine copy;
  copy.ParseFrondTextureInfo(again);
  EXPECT_EQ(SaveTextureInfo(copy), saved);

  // A texture list replaces the earlier one; a texture starts from the defaults.
  CTreeFileAccess partial = SptWriter().Token(13008).Token(1).Token(14000).Token(14004).Float(3).Token(14001).Token(13001).Reader();
  copy.ParseFrondTextureInfo(partial);
  ASSERT_EQ(copy.m_vTextures.size(), 1u);
  EXPECT_EQ(copy.m_vTextures[0].m_afValues[0], 0.5f);
  EXPECT_EQ(copy.m_vTextures[0].m_afValues[1], 3.0f);
}

TEST_F(FrondEngineTest, SupplementalSection) {
  const CFrondEngine fresh;
  EXPECT_EQ(SaveSupplemental(fresh),
            SptWriter().Token(25000).Token(25003).Token(0).Token(25002).Float(0).Token(25004).Token(0).Token(25005)
                .Token(0).Token(25006).Token(1).Token(25007).Byte(0).Token(25001).Data());
  CTreeFileAccess in = test::ReaderOf(SupplementalSection(7));
  in.ParseToken();
  CFrondEngine e;
  e.ParseSupplementalFrondInfo(in);
  EXPECT_EQ(e.m_nKindLevelCount, 2);
  EXPECT_EQ(e.m_fKindThreshold, 0.5f);
  EXPECT_EQ(e.m_nUpperKind, 1);
  EXPECT_EQ(e.m_nFrondSegments, 5);
  EXPECT_EQ(e.m_ucSegmentCountFlag, 1);  // any nonzero byte
  EXPECT_EQ(SaveSupplemental(e), SupplementalSection(1));
}

TEST_F(FrondEngineTest, SectionErrors) {
  struct Case {
    const char* name;
    Bytes data;
    bool supplemental;
    const char* text;
  };
  const Case cases[] = {
      {"unknown frond info token", SptWriter().Token(13002).Token(1).Token(13014).Token(13001).Data(), false,
       "malformed frond info (token 13014) []"},
      {"unknown texture token", SptWriter().Token(13008).Token(1).Token(14000).Token(14007).Token(14001).Token(13001).Data(),
       false, "malformed frond texture information (token 14007) []"},
      {"more textures than the data holds", SptWriter().Token(13008).Token(1000).Token(14000).Token(14001).Data(), false,
       "premature end of file reached parsing frond info []"},
      {"only the end token", SptWriter().Token(25001).Data(), true, "malformed supplemental frond info (token 25001) []"},
      {"unknown supplemental token", SptWriter().Token(25002).Float(1).Token(25008).Token(25001).Data(), true,
       "malformed supplemental frond info (token 25008) []"},
  };
  for (const Case& c : cases) {
    CTreeFileAccess in = test::ReaderOf(c.data);
    CFrondEngine e;
    const std::string text = TreeErrorText([&] {
      if (c.supplemental) {
        e.ParseSupplementalFrondInfo(in);
      } else {
        e.ParseFrondTextureInfo(in);
      }
    });
    EXPECT_EQ(text, c.text) << c.name;
  }
}

}  // namespace
}  // namespace trt
