#include "exporter/plugin/plugin_paths.h"

#include <gtest/gtest.h>

#include <memory>

#include "platform/host/scene_builder.h"
#include "support/temp_folder.h"

namespace {

TEST(PluginPaths, HostFolderIsCutAfterTheLastSeparator) {
  const struct {
    std::string path;
    std::string folder;
  } cases[] = {
      {"C:\\3dsmax\\3dsmax.exe", "C:\\3dsmax\\"},
      {"/opt/host/host", "/opt/host/"},
      {"C:\\a/b\\host.exe", "C:\\a/b\\"},
      {"/host", "/"},
      {"host.exe", "host.exe"},  // no separator: kept whole
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(HostFolderOf(c.path), c.folder) << c.path;
}

TEST(PluginPaths, DataPathsFromAHostPathWithoutSeparator) {
  // The whole path, then directly "plugins\".
  EXPECT_EQ(DataFilePathIn(HostFolderOf("host.exe"), "AutoThumb.drn"), "host.exeplugins\\KTMaxExp\\AutoThumb.drn");
}

TEST(PluginPaths, PathsUnderTheActiveHostsFolder) {
  KT::Host::SceneBuilder b;
  b.HostFolder("/opt/max");
  std::unique_ptr<KT::Host::HostScene> scene = b.Make();
  ASSERT_NE(scene, nullptr);
  const KT::Host::ActiveHostScene active(*scene);
  EXPECT_EQ(GetHostFolder(), "/opt/max/");
  EXPECT_EQ(GetPluginFilePath(), "/opt/max/plugins\\Ostrel5MaxExp.dle");
  EXPECT_EQ(GetDataFilePath("Profile_HumanG5_Full.prf"), "/opt/max/plugins\\KTMaxExp\\Profile_HumanG5_Full.prf");
  EXPECT_EQ(GetBaseBoneFilePath(true), "/opt/max/plugins\\KTMaxExp\\KTBoneGesture.drn");
  EXPECT_EQ(GetBaseBoneFilePath(false), "/opt/max/plugins\\KTMaxExp\\KTBoneFullG1.DRN");
  EXPECT_EQ(GetThumbnailTemplatePath(), "/opt/max/plugins\\KTMaxExp\\AutoThumb.drn");
}

TEST(PluginPaths, TextThroughTheActiveCodePage) {
  const struct {
    std::string narrow;
    std::u16string wide;
  } both[] = {{"", u""}, {"KT_Head", u"KT_Head"}, {"Caf\xE9 \x80", u"Caf\u00E9 \u20AC"}};
  for (const auto& c : both) {
    EXPECT_EQ(ToWide(c.narrow), c.wide);
    EXPECT_EQ(ToNarrow(c.wide), c.narrow);
  }
  EXPECT_EQ(ToNarrow(u"\u0100x\U0001F600"), "?x?");
  // The whole string up to its terminator.
  EXPECT_EQ(ToWide(std::string("ab\0c", 4)), u"ab");
  EXPECT_EQ(ToNarrow(std::u16string(u"ab\0c", 4)), "ab");
}

TEST(PluginPaths, FileExists) {
  KT::Testing::TempFolder folder;
  folder.WriteFile("thumb.png", "x");
  EXPECT_TRUE(FileExists(folder.Native("thumb.png")));
  EXPECT_FALSE(FileExists(folder.Native("missing.png")));
}

}  // namespace
