// The sample scene holds an object of every class of the audio, shape and
// environment libraries, each registered with the class factory, and the
// file brings every one of them back.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "examples/sample_scene.h"
#include "objectmodel/class_factory.h"
#include "objectmodel/memory_io.h"
#include "objectmodel/stream.h"
#include "tests/objectmodel/stream_test_support.h"
#include "tools/drn/commands.h"
#include "tools/drn/scene_file.h"

namespace drn {
namespace {

const char* const kClasses[] = {
    // audio
    "CAudioData", "CAudioInstance", "CAudioSource", "CAudioCue", "CAudioTrack",
    // shapes, their styles and their controllers
    "CGroupShape", "CShapeInstance", "CShape", "CEdge", "CFillStyle", "CBitmapFillStyle", "CGradientFillStyle",
    "CLineStyle", "CFillStyleControl", "CBitmapFillStyleControl", "CGradientFillStyleControl", "CLineStyleControl",
    "CEdgeMorphControl", "CGradientMorphControl",
    // environment
    "CTree", "CTreeInstance", "CWind", "CGrass", "CHeightMap", "CHeightMapMaterial", "CScene", "CWater", "CSky",
    "CTerrain"};

// True when a line of the dump opens an object of class `name`.
bool Dumped(const std::string& dump, const std::string& name) {
  const std::string opening = name + " \"";
  for (std::size_t at = dump.find(opening); at != std::string::npos; at = dump.find(opening, at + 1)) {
    std::size_t start = at;
    while (start > 0 && dump[start - 1] == ' ') --start;
    if (start == 0 || dump[start - 1] == '\n') return true;
  }
  return false;
}

TEST(SampleClassesTest, TheSampleHoldsEveryClassOfTheLibraries) {
  RegisterAllClasses();
  KT::CStream built;
  ASSERT_EQ(KT::BuildSampleScene(built), KT::kOk);
  const KT::test::Bytes bytes = KT::test::SaveLoaded(built);
  ASSERT_FALSE(bytes.empty());
  KT::CStream loaded;
  KT::CMemoryIo device;
  ASSERT_EQ(KT::test::LoadScene(bytes, loaded, device), KT::kOk);
  const std::string dump = DumpSceneText(loaded);
  for (const char* name : kClasses) {
    EXPECT_NE(KT::CClassFactory::FindCreator(name), nullptr) << name << " is not registered";
    EXPECT_TRUE(Dumped(dump, name)) << "the sample holds no " << name;
  }
  // The base of the cues is not a class of its own in files.
  EXPECT_EQ(KT::CClassFactory::FindCreator("CAudioCueBase"), nullptr);
}

}  // namespace
}  // namespace drn
