#include "platform/host/plugin_runner.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/host/host_fixtures.h"
#include "platform/host/inode.h"

namespace KT::Host {
namespace {

// A plug-in of this test: its exporter walks the scene it is given and
// records what the host passed.
std::vector<std::string> g_calls;

struct Seen {
  std::string name;
  bool suppress = false;
  DWORD options = 0;
  int ticksPerFrame = 0;
  std::vector<std::string> nodes;
  bool sameScene = false;
  int deleted = 0;
} g_seen;

class TestExporter : public SceneExport {
 public:
  ~TestExporter() override { ++g_seen.deleted; }
  int ExtCount() override { return 1; }
  const TCHAR* Ext(int) override { return "test"; }
  const TCHAR* LongDesc() override { return "Test File"; }
  const TCHAR* ShortDesc() override { return "Test"; }
  const TCHAR* AuthorName() override { return ""; }
  const TCHAR* CopyrightMessage() override { return ""; }
  const TCHAR* OtherMessage1() override { return ""; }
  const TCHAR* OtherMessage2() override { return ""; }
  unsigned int Version() override { return 1; }
  void ShowAbout(HWND) override {}
  BOOL SupportsOptions(int, DWORD) override { return TRUE; }
  int DoExport(const TCHAR* name, ExpInterface* ei, Interface* ip, BOOL suppress, DWORD options) override {
    g_calls.push_back("DoExport");
    g_seen.name = name;
    g_seen.suppress = suppress != 0;
    g_seen.options = options;
    g_seen.ticksPerFrame = GetTicksPerFrame();
    g_seen.sameScene = static_cast<void*>(ei->theScene) == static_cast<void*>(static_cast<IScene*>(static_cast<HostScene*>(ip)));
    struct Walk : ITreeEnumProc {
      int callback(INode* node) override {
        g_seen.nodes.push_back(node->GetName());
        return 0;
      }
    } walk;
    ei->theScene->EnumTree(&walk);
    InitCustomControls(nullptr);
    return TRUE;
  }
};

class TestClassDesc : public ClassDesc2 {
 public:
  int IsPublic() override { return 1; }
  void* Create(BOOL) override {
    g_calls.push_back("Create");
    return new TestExporter;
  }
  const TCHAR* ClassName() override { return "Test"; }
  SClass_ID SuperClassID() override { return SUPER_SCENE_EXPORT; }
  Class_ID ClassID() override { return Class_ID(1, 2); }
  const TCHAR* Category() override { return ""; }
} g_desc;

const TCHAR* TestDescription() {
  g_calls.push_back("LibDescription");
  return "Test plug-in";
}
int TestNumberClasses() {
  g_calls.push_back("LibNumberClasses");
  return 2;
}
ClassDesc2* TestClassDescAt(int i) {
  g_calls.push_back("LibClassDesc " + std::to_string(i));
  return i == 0 ? &g_desc : nullptr;
}
ULONG TestVersion() {
  g_calls.push_back("LibVersion");
  return 0x2EE02100;
}

TEST(PluginRunner, RunsTheEntryPointsThenTheExporterOverTheScene) {
  g_calls.clear();
  g_seen = Seen();
  SceneBuilder b;
  b.TicksPerFrame(200);
  const int a = b.AddNode("A").Index();
  b.AddNode("B", a);
  std::unique_ptr<HostScene> scene = b.Make();
  PluginEntryPoints plugin{&TestDescription, &TestNumberClasses, &TestClassDescAt, &TestVersion};
  PluginRunLog log;
  ASSERT_TRUE(RunPluginExport(*scene, plugin, "/out/scene.zAvatar", TRUE, 1, log));
  EXPECT_EQ(g_calls, (std::vector<std::string>{"LibNumberClasses", "LibClassDesc 0", "LibClassDesc 1", "LibVersion",
                                               "LibDescription", "Create", "DoExport"}));
  EXPECT_EQ(log.description, "Test plug-in");
  EXPECT_EQ(log.classCount, 2);
  EXPECT_EQ(log.version, 0x2EE02100u);
  EXPECT_EQ(log.exportersRun, 1);
  EXPECT_EQ(log.answers, std::vector<int>{TRUE});
  EXPECT_EQ(g_seen.name, "/out/scene.zAvatar");
  EXPECT_TRUE(g_seen.suppress);
  EXPECT_EQ(g_seen.options, 1u);
  EXPECT_EQ(g_seen.ticksPerFrame, 200);
  EXPECT_TRUE(g_seen.sameScene);
  EXPECT_EQ(g_seen.nodes, (std::vector<std::string>{"A", "B"}));
  EXPECT_EQ(g_seen.deleted, 1);
  EXPECT_EQ(scene->CustomControlsInitialised(), 1);
  EXPECT_EQ(HostScene::Active(), nullptr);
}

int g_loads = 0;
int g_unloads = 0;
BOOL FailingLoad() {
  ++g_loads;
  return FALSE;
}
BOOL Load() {
  ++g_loads;
  return TRUE;
}
int Unload() {
  ++g_unloads;
  return 0;
}

TEST(PluginRunner, LoadsTheLibraryFirstAndUnloadsItLast) {
  g_calls.clear();
  g_seen = Seen();
  g_loads = g_unloads = 0;
  std::unique_ptr<HostScene> scene = SceneBuilder().Make();
  PluginEntryPoints plugin{&TestDescription, &TestNumberClasses, &TestClassDescAt, &TestVersion, &Load, &Unload};
  PluginRunLog log;
  ASSERT_TRUE(RunPluginExport(*scene, plugin, "x", TRUE, 0, log));
  EXPECT_EQ(log.loaded, TRUE);
  EXPECT_EQ(g_loads, 1);
  EXPECT_EQ(g_unloads, 1);
  EXPECT_EQ(log.exportersRun, 1);

  // A library whose start-up fails is not asked anything.
  g_calls.clear();
  plugin.Load = &FailingLoad;
  EXPECT_FALSE(RunPluginExport(*scene, plugin, "x", TRUE, 0, log));
  EXPECT_EQ(log.loaded, FALSE);
  EXPECT_TRUE(g_calls.empty());
  EXPECT_EQ(g_unloads, 1);
}

TEST(PluginRunner, RefusesAPluginWithoutItsEntryPoints) {
  std::unique_ptr<HostScene> scene = SceneBuilder().Make();
  PluginRunLog log;
  EXPECT_FALSE(RunPluginExport(*scene, PluginEntryPoints{}, "x", FALSE, 0, log));
  EXPECT_EQ(log.exportersRun, 0);
}

}  // namespace
}  // namespace KT::Host
