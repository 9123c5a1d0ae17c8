// Every record reader over every prefix of a valid record, and over the
// record with single bytes replaced: the reader must end in a TreeFileError
// (or succeed, for mutations) and never touch memory outside the data. The
// sanitizer build turns any stray read into a failure.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "treeruntime/billboard_leaf.h"
#include "treeruntime/bezier_spline.h"
#include "treeruntime/frond_engine.h"
#include "treeruntime/projected_shadow.h"
#include "treeruntime/tree_branch_info.h"
#include "treeruntime/tree_leaf_info.h"
#include "treeruntime/tree_map_bank.h"
#include "treeruntime/tree_random.h"
#include "treeruntime/tree_test_util.h"
#include "treeruntime/tree_wind_info.h"

namespace trt {
namespace {

struct Reader {
  const char* name;
  std::function<void(CTreeFileAccess&)> write;
  std::function<void(CTreeFileAccess&)> read;
};

STreeBranchInfo SampleBranch() {
  STreeBranchInfo b;
  b.m_sRadius.Parse("BezierSpline 0 2 0.1 { 2 0 1 1 -1 0.2 1 0 1 -1 0.2 }");
  b.ApplyDefaultCurves();
  return b;
}

std::vector<Reader> Readers() {
  return {
      {"token", [](CTreeFileAccess& f) { f.SaveToken(1000); }, [](CTreeFileAccess& f) { f.ParseToken(); }},
      {"float", [](CTreeFileAccess& f) { f.SaveFloat(1.5f); }, [](CTreeFileAccess& f) { f.ParseFloat(); }},
      {"long", [](CTreeFileAccess& f) { f.SaveLong(-1); }, [](CTreeFileAccess& f) { f.ParseLong(); }},
      {"vec3", [](CTreeFileAccess& f) { f.SaveVector3({1, 2, 3}); }, [](CTreeFileAccess& f) { f.ParseVector3(); }},
      {"string", [](CTreeFileAccess& f) { f.SaveString("twig.png"); }, [](CTreeFileAccess& f) { f.ParseString(); }},
      {"byte", [](CTreeFileAccess& f) { f.SaveByte(3); }, [](CTreeFileAccess& f) { f.ParseByte(); }},
      {"fraction", [](CTreeFileAccess& f) { f.SaveFraction(0.5f); }, [](CTreeFileAccess& f) { f.ParseFraction(); }},
      {"spline", [](CTreeFileAccess& f) { f.SaveSpline(stBezierSpline(STreeBranchInfo::kDefaultCurveText)); },
       [](CTreeFileAccess& f) {
         stBezierSpline s;
         f.ParseSpline(s);
       }},
      {"branch record", [](CTreeFileAccess& f) { SampleBranch().Save(f); },
       [](CTreeFileAccess& f) {
         STreeBranchInfo* b = STreeBranchInfo::Parse(f);
         TrackedDelete(b);
       }},
      {"supplemental branch fields", [](CTreeFileAccess& f) { SampleBranch().SaveSupplemental(f); },
       [](CTreeFileAccess& f) {
         f.ParseToken();
         STreeBranchInfo().ParseSupplemental(f);
       }},
      {"texture layer", [](CTreeFileAccess& f) { STreeTextureLayer().Save(f); },
       [](CTreeFileAccess& f) { STreeTextureLayer().Parse(f); }},
      {"root support", [](CTreeFileAccess& f) { STreeRootSupport().Save(f); },
       [](CTreeFileAccess& f) {
         f.ParseToken();
         STreeRootSupport().Parse(f);
       }},
      {"leaf information",
       [](CTreeFileAccess& f) {
         STreeLeafInfo l;
         l.m_vLeafMaps.resize(2);
         l.m_vLeafMaps[1].m_strFileName = "leaf.png";
         l.Save(f);
       },
       [](CTreeFileAccess& f) {
         f.ParseToken();
         STreeLeafInfo().Parse(f);
       }},
      {"leaf map", [](CTreeFileAccess& f) { STreeLeafMap().Save(f); },
       [](CTreeFileAccess& f) { STreeLeafMap().Parse(f); }},
      {"shadow projection",
       [](CTreeFileAccess& f) {
         SProjectedShadow shadow;
         shadow.m_vAxisA = {1, 0, 0};
         shadow.m_strTexture = "shadow.png";
         shadow.Save(f);
       },
       [](CTreeFileAccess& f) {
         f.ParseToken();
         SProjectedShadow().Parse(f);
       }},
      {"frond texture information",
       [](CTreeFileAccess& f) {
         CFrondEngine e;
         e.m_vTextures.resize(2);
         e.m_vTextures[1].m_strFileName = "palm.png";
         e.SaveFrondTextureInfo(f);
       },
       [](CTreeFileAccess& f) {
         f.ParseToken();
         CFrondEngine().ParseFrondTextureInfo(f);
       }},
      {"supplemental frond information", [](CTreeFileAccess& f) { CFrondEngine().SaveSupplementalFrondInfo(f); },
       [](CTreeFileAccess& f) {
         f.ParseToken();
         CFrondEngine().ParseSupplementalFrondInfo(f);
       }},
      {"wind information", [](CTreeFileAccess& f) { STreeWindInfo().Save(f); },
       [](CTreeFileAccess& f) {
         f.ParseToken();
         STreeWindInfo().Parse(f);
       }},
      {"billboard leaf", [](CTreeFileAccess& f) { SBillboardLeaf({1, 2, 3}, 4, 5, 0.5f, 0, 6, 7).Save(f); },
       [](CTreeFileAccess& f) {
         f.ParseToken();
         SBillboardLeaf().Parse(f);
       }},
      {"map collection", [](CTreeFileAccess& f) { STreeMapCollection().Save(f); },
       [](CTreeFileAccess& f) { STreeMapCollection().Parse(f); }},
      {"map bank",
       [](CTreeFileAccess& f) {
         STreeMapBank bank;
         bank.m_vLeafMaps.resize(2);
         bank.m_vFrondMaps.resize(1);
         bank.m_strSelfShadowMap = "shadow.png";
         bank.Save(f);
       },
       [](CTreeFileAccess& f) {
         f.ParseToken();
         STreeMapBank().Parse(f);
       }},
  };
}

class TruncationSweep : public ::testing::Test {
 protected:
  void SetUp() override { CTreeRandom::Seed(1); }
};

TEST_F(TruncationSweep, EveryPrefixEndsPrematurely) {
  const std::string premature = "premature end of file reached parsing";
  for (const Reader& r : Readers()) {
    CTreeFileAccess out;
    r.write(out);
    const test::Bytes full = test::BytesOf(out);
    {
      CTreeFileAccess in = test::ReaderOf(full);
      ASSERT_NO_THROW(r.read(in)) << r.name;
      EXPECT_FALSE(in.DataRemains()) << r.name;
    }
    for (std::size_t length = 0; length < full.size(); ++length) {
      // Each prefix lives in a block of exactly its size.
      const test::Bytes prefix(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(length));
      CTreeFileAccess in = test::ReaderOf(prefix);
      const std::string text = test::TreeErrorText([&] { r.read(in); });
      ASSERT_EQ(text.rfind(premature, 0), 0u) << r.name << " cut at " << length << ": " << text;
    }
  }
}

TEST_F(TruncationSweep, MutatedBytesEndInAnErrorOrAResult) {
  for (const Reader& r : Readers()) {
    CTreeFileAccess out;
    r.write(out);
    const test::Bytes full = test::BytesOf(out);
    for (std::size_t at = 0; at < full.size(); ++at) {
      for (std::uint8_t value : {std::uint8_t{0x00}, std::uint8_t{0x7f}, std::uint8_t{0x80}, std::uint8_t{0xff}}) {
        test::Bytes mutated = full;
        mutated[at] = value;
        CTreeFileAccess in = test::ReaderOf(mutated);
        try {
          r.read(in);
        } catch (const TreeFileError&) {
        } catch (const std::exception& e) {
          ADD_FAILURE() << r.name << " byte " << at << " = " << int(value) << ": " << e.what();
        }
      }
    }
  }
}

}  // namespace
}  // namespace trt
