#include "platform/host/description_file.h"

#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

#include "platform/host/host_scene.h"
#include "platform/host/scene_report.h"
#include "platform/host/host_fixtures.h"
#include "support/temp_folder.h"

namespace KT::Host {
namespace {

const std::vector<TimeValue> kTicks = {-160, 0, 800, 1600, 2400, 3200, 4000};

// Everything the scene answers through the SDK, at the ticks.
std::string Answers(const SceneDescription& d) {
  std::string error;
  std::unique_ptr<HostScene> scene = HostScene::Create(d, &error);
  EXPECT_NE(scene, nullptr) << error;
  if (scene == nullptr) return {};
  const ActiveHostScene active(*scene);
  std::vector<std::u16string> names;
  for (const PropertyDesc& p : scene->Properties()) names.push_back(p.name);
  return ReportScene(*scene, *scene, names, kTicks, ReportDetail::kFull);
}

// Built, written, read again: the same answers, and writing the read
// description gives the same text.
void ExpectRoundTrip(const SceneDescription& built, const std::string& folder = ".") {
  std::string text, error;
  ASSERT_TRUE(FormatDescription(built, text, error)) << error;
  SceneDescription read;
  ASSERT_TRUE(ParseDescription(text, folder, read, error)) << error << "\n" << text;
  EXPECT_EQ(Answers(read), Answers(built));
  std::string again;
  ASSERT_TRUE(FormatDescription(read, again, error)) << error;
  EXPECT_EQ(again, text);
}

TEST(DescriptionFile, KeyedHierarchyRoundTrips) { ExpectRoundTrip(Testing::KeyedHierarchy()); }

TEST(DescriptionFile, SkinnedPropRoundTrips) { ExpectRoundTrip(Testing::SkinnedProp(false)); }

TEST(DescriptionFile, PhysiquePropRoundTrips) { ExpectRoundTrip(Testing::SkinnedProp(true)); }

TEST(DescriptionFile, MaterialsRoundTrip) {
  KT::Testing::TempFolder folder;
  ASSERT_TRUE(folder.Valid());
  ExpectRoundTrip(Testing::Materials(folder.Native("maps")), folder.Native());
}

TEST(DescriptionFile, LightsAndCamerasRoundTrip) { ExpectRoundTrip(Testing::LightsAndCameras()); }

TEST(DescriptionFile, PropertiesAndSceneSettingsRoundTrip) {
  SceneBuilder b;
  b.TicksPerFrame(200).Range(-400, 9000).RootName("R\xE9sum\xE9");
  b.IntProperty(u"Ostrel3_Type", 13).StringProperty(u"Ostrel3_Info_Author", "Caf\xE9 & <co>").IntProperty(u"N\u00E4me", -5);
  ExpectRoundTrip(b.Description());
}

TEST(DescriptionFile, FileOnDiskReadsBackWithMapFoldersRelativeToIt) {
  KT::Testing::TempFolder folder;
  ASSERT_TRUE(folder.Valid());
  folder.WriteFile("scene.xml",
                   "<HostScene ticksPerFrame='80' start='0' end='800'>\n"
                   "  <MapFolder path='textures'/>\n"
                   "  <Node name='A'/>\n"
                   "</HostScene>\n");
  SceneDescription d;
  std::string error;
  ASSERT_TRUE(ReadDescriptionFile(folder.Native("scene.xml"), d, error)) << error;
  EXPECT_EQ(d.ticksPerFrame, 80);
  EXPECT_EQ(d.end, 800);
  EXPECT_EQ(d.rootName, "Root");
  ASSERT_EQ(d.mapFolders.size(), 1u);
  EXPECT_EQ(d.mapFolders[0], folder.Native("textures"));
  EXPECT_EQ(d.hostFolder, folder.Native());
  ASSERT_EQ(d.nodes.size(), 1u);
  EXPECT_EQ(d.nodes[0].object, ObjectKind::kHelper);
  EXPECT_TRUE(d.nodes[0].castShadows);
  EXPECT_TRUE(d.nodes[0].receiveShadows);

  ASSERT_TRUE(WriteDescriptionFile(d, folder.Native("copy.xml"), error)) << error;
  SceneDescription copy;
  ASSERT_TRUE(ReadDescriptionFile(folder.Native("copy.xml"), copy, error)) << error;
  EXPECT_EQ(Answers(copy), Answers(d));
  EXPECT_FALSE(ReadDescriptionFile(folder.Native("absent.xml"), copy, error));
  EXPECT_NE(error.find("absent.xml"), std::string::npos);
}

TEST(DescriptionFile, ReferencesMayPointForwardAndDuplicateNamesTakeTheNearestBefore) {
  const std::string text =
      "<HostScene>\n"
      "<Node name='Child' parent='X'/>\n"  // no X before it: the first after
      "<Node name='X'/>\n"
      "<Node name='X' parent='X'/>\n"      // the first X
      "<Node name='Leaf' parent='X'/>\n"   // the nearest X before: the second
      "</HostScene>\n";
  SceneDescription d;
  std::string error;
  ASSERT_TRUE(ParseDescription(text, ".", d, error)) << error;
  ASSERT_EQ(d.nodes.size(), 4u);
  EXPECT_EQ(d.nodes[0].parent, 1);
  EXPECT_EQ(d.nodes[1].parent, -1);
  EXPECT_EQ(d.nodes[2].parent, 1);
  EXPECT_EQ(d.nodes[3].parent, 2);
}

struct Refusal {
  const char* what;
  const char* body;  // inside <HostScene>, starting on line 2
  const char* expected;
};

class DescriptionRefusal : public ::testing::TestWithParam<Refusal> {};

TEST_P(DescriptionRefusal, NamesTheLine) {
  const std::string text = std::string("<HostScene>\n") + GetParam().body + "\n</HostScene>\n";
  SceneDescription d;
  std::string error;
  EXPECT_FALSE(ParseDescription(text, ".", d, error));
  EXPECT_EQ(error.substr(0, std::string(GetParam().expected).size()), GetParam().expected) << error;
  EXPECT_TRUE(d.nodes.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DescriptionRefusal,
    ::testing::Values(
        Refusal{"unknown element", "<Node name='A'/>\n<Nodes/>", "line 3: unknown element <Nodes>"},
        Refusal{"unknown attribute", "<Node name='A' colour='1'/>", "line 2: unknown attribute 'colour' of <Node>"},
        Refusal{"bad number", "<Node name='A'>\n<Transform><Position><Key t='0' v='1 x 2'/></Position></Transform>\n</Node>",
                "line 3: bad number in v"},
        Refusal{"number out of range", "<Node name='A' wireColor='0 256 0'/>", "line 2: 'wireColor'"},
        Refusal{"infinite number", "<Node name='A' local='1 0 0 0 1 0 0 0 1 0 0 inf'/>", "line 2: bad number"},
        Refusal{"too few numbers", "<Node name='A' local='1 0 0'/>", "line 2: 'local' needs 12 numbers"},
        Refusal{"unknown parent", "<Node name='A'/>\n<Node name='B' parent='Nobody'/>", "line 3: no node named 'Nobody'"},
        Refusal{"parent cycle", "<Node name='A' parent='B'/>\n<Node name='B' parent='A'/>", "line 2: node 'A' is its own ancestor"},
        Refusal{"own parent", "<Node name='A' parent='A'/>", "line 2: node 'A' is its own ancestor"},
        Refusal{"unknown material", "<Node name='A' material='m'/>", "line 2: no material with id 'm'"},
        Refusal{"material cycle",
                "<Material id='a' class='multi'><Sub ref='b'/></Material>\n<Material id='b' class='multi'><Sub ref='a'/></Material>",
                "line 2: material 'a' contains itself"},
        Refusal{"face past the vertices", "<Node name='A'>\n<Mesh><Verts>0 0 0</Verts><Face v='0 0 1'/></Mesh>\n</Node>",
                "line 3: a face names vertex 1 of 1"},
        Refusal{"skin vertex past the mesh",
                "<Node name='A'><Mesh><Verts>0 0 0</Verts></Mesh>\n<Modifiers><Skin><Bone node='A'/>\n<Vertex i='1'/></Skin></Modifiers></Node>",
                "line 4: vertex 1 is not a vertex"},
        Refusal{"skin bone index", "<Node name='A'><Mesh><Verts>0 0 0</Verts></Mesh>\n<Modifiers><Skin>\n<Vertex i='0'><W bone='0' w='1'/></Vertex></Skin></Modifiers></Node>",
                "line 4: bone 0 is not one of the skin's 0 bones"},
        Refusal{"selection bit past the size", "<Node name='A'><Modifiers>\n<MeshSelect><Set name='s' size='4' bits='2-4'/></MeshSelect></Modifiers></Node>",
                "line 3: bit '2-4' is outside"},
        Refusal{"track of an unknown parameter", "<Material id='m'>\n<Track param='glow'/></Material>", "line 3: unknown track parameter 'glow'"},
        Refusal{"two objects", "<Node name='A'><Bone/>\n<Helper/></Node>", "line 3: a node holds one object"},
        Refusal{"text where none belongs", "<Node name='A'>hello</Node>", "line 2: <Node> holds no text"},
        Refusal{"name outside the code page", "<Node name='\xC4\x80'/>", "line 2: text"},
        Refusal{"malformed XML", "<Node name='A'>\n</Nod>", "line "},
        Refusal{"missing name", "<Node parent='A'/>", "line 2: <Node> needs 'name'"},
        Refusal{"map channel out of range", "<Node name='A'><Mesh>\n<Map channel='100'/></Mesh></Node>", "line 3: 'channel' must be"},
        Refusal{"animated coordinates of another count",
                "<Node name='A'>\n<Mesh><Map channel='1'><Verts>0 0 0</Verts><Verts t='5'>0 0 0 1 1 1</Verts></Map></Mesh></Node>",
                "line 3: map channel 1: animated coordinates"}),
    [](const ::testing::TestParamInfo<Refusal>& info) {
      std::string name = info.param.what;
      for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
      return name;
    });

TEST(DescriptionFile, RefusesDeepNestingBeforeParsing) {
  std::string text = "<HostScene>\n";
  for (int i = 0; i < 100000; ++i) text += "<Node name='a'>";
  SceneDescription d;
  std::string error;
  EXPECT_FALSE(ParseDescription(text, ".", d, error));
  EXPECT_EQ(error, "line 2: elements nested too deeply");
}

TEST(DescriptionFile, RefusesAZeroByteAndATopOtherThanHostScene) {
  SceneDescription d;
  std::string error;
  EXPECT_FALSE(ParseDescription(std::string("<HostScene>\n\0</HostScene>", 25), ".", d, error));
  EXPECT_EQ(error, "line 2: a zero byte");
  EXPECT_FALSE(ParseDescription("<Scene/>", ".", d, error));
  EXPECT_EQ(error, "line 1: unknown element <Scene>");
  EXPECT_FALSE(ParseDescription("", ".", d, error));
}

TEST(DescriptionFile, WriterRefusesWhatCheckDescriptionRefuses) {
  SceneBuilder b;
  b.AddNode("A", 5);
  std::string text, error;
  EXPECT_FALSE(FormatDescription(b.Description(), text, error));
  EXPECT_EQ(error, "node \"A\": parent is not a node");
}

}  // namespace
}  // namespace KT::Host
