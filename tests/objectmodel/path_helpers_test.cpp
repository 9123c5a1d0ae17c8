#include "objectmodel/path_helpers.h"

#include <gtest/gtest.h>

#include "support/temp_folder.h"

namespace KT {
namespace {

using KT::Testing::TempFolder;

struct SplitCase {
  WString path;
  WString folder;
  WString name;
  WString extension;
  WString title;
};

class PathSplit : public ::testing::TestWithParam<SplitCase> {};

TEST_P(PathSplit, Parts) {
  const SplitCase& c = GetParam();
  EXPECT_EQ(GetFolder(c.path), c.folder);
  EXPECT_EQ(GetFileName(c.path), c.name);
  EXPECT_EQ(GetFileExtension(c.path), c.extension);
  EXPECT_EQ(GetFileTitle(c.path), c.title);
}

INSTANTIATE_TEST_SUITE_P(
    Table, PathSplit,
    ::testing::Values(
        //        path              folder        name       ext      title
        SplitCase{u"C:\\a\\b.txt", u"C:\\a", u"b.txt", u"txt", u"b"},
        SplitCase{u"C:\\a\\b", u"C:\\a\\b", u"b", u"", u"b"},  // no extension: a folder
        SplitCase{u"C:\\a\\", u"C:\\a", u"", u"", u""},        // trailing separator
        SplitCase{u"C:\\a.b\\c", u"C:\\a.b\\c", u"c", u"b\\c", u"c"},  // extension ignores separators
        SplitCase{u"/s/maps/tex.tar.gz", u"/s/maps", u"tex.tar.gz", u"gz", u"tex.tar"},
        SplitCase{u"maps/x\\y.png", u"maps/x", u"y.png", u"png", u"y"},  // mixed separators
        SplitCase{u"file.png", u"", u"file.png", u"png", u"file"},       // no separator
        SplitCase{u"folder", u"", u"folder", u"", u"folder"},
        SplitCase{u"", u"", u"", u"", u""}, SplitCase{u"\\", u"", u"", u"", u""},
        SplitCase{u"C:\\a\\.hidden", u"C:\\a", u".hidden", u"hidden", u""}));

TEST(PathHelpers, StripTrailingBackslashRemovesOnlyOneBackslash) {
  const struct {
    WString in;
    WString out;
  } cases[] = {
      {u"C:\\a\\", u"C:\\a"}, {u"C:\\a\\\\", u"C:\\a\\"}, {u"C:\\a", u"C:\\a"},
      {u"/tmp/a/", u"/tmp/a/"},  // '/' does not count here
      {u"\\", u""},           {u"", u""},
  };
  for (const auto& c : cases) EXPECT_EQ(StripTrailingBackslash(c.in), c.out);
}

// A scene folder tree in a scratch folder:
//   <root>/s/scene/            the base folder
//   <root>/s/maps/tex.png
//   <root>/s/scene/local/tex.png
//   <root>/s/my.scenes/own/tex.png
//   <root>/abs/tex.png
//   <root>/d:x/tex.png          a folder whose name holds a drive colon
class ResolveFilePathTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.Valid());
    dir_.MakeFolder("s/scene");
    for (const char* file : {"s/maps/tex.png", "s/scene/local/tex.png", "s/scene/tex.png",
                             "s/my.scenes/own/tex.png", "abs/tex.png", "d:x/tex.png"}) {
      dir_.WriteFile(file, "x");
    }
  }
  WString Root() const { return dir_.Wide(); }
  // The expected candidate: the native root plus a Windows-style tail.
  WString At(const WString& tail) const { return Root() + tail; }

  TempFolder dir_;
};

TEST_F(ResolveFilePathTest, RelativeFolderWalksUpFromTheBaseFolder) {
  // D:\old\tex.png with the folder ..\maps and the base <root>/s/scene.
  EXPECT_EQ(ResolveFilePath(u"D:\\old\\tex.png", {u"..\\maps"}, At(u"/s/scene")), At(u"/s\\maps\\tex.png"));
}

TEST_F(ResolveFilePathTest, RelativeFolderTable) {
  const struct {
    WString folder;
    WString expected;  // tail after the root; empty: not found
  } cases[] = {
      {u"../maps", u"/s\\maps\\tex.png"},       // forward slashes walk the same way
      {u".\\local", u"/s/scene\\local\\tex.png"},
      {u"local/", u"/s/scene\\local\\tex.png"},
      {u"\\local", u"/s/scene\\local\\tex.png"},  // one leading backslash is dropped
      {u"..\\scene\\.\\local", u"/s\\scene\\local\\tex.png"},
      {u"..\\..\\abs", u"\\abs\\tex.png"},
      {u"", u"/s/scene\\tex.png"},  // the base folder itself
      {u"nowhere", u""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.folder.begin(), c.folder.end()));
    const WString expected = c.expected.empty() ? WString() : At(c.expected);
    EXPECT_EQ(ResolveFilePath(u"C:\\old\\tex.png", {c.folder}, At(u"/s/scene")), expected);
  }
}

TEST_F(ResolveFilePathTest, BaseFolderIsUsedAsGivenEvenWithADotInItsName) {
  EXPECT_EQ(ResolveFilePath(u"tex.png", {u"own"}, At(u"/s/my.scenes")), At(u"/s/my.scenes\\own\\tex.png"));
  // A trailing separator on the base does not count as a component.
  EXPECT_EQ(ResolveFilePath(u"tex.png", {u"..\\maps"}, At(u"/s/scene/")), At(u"/s\\maps\\tex.png"));
}

TEST_F(ResolveFilePathTest, AbsoluteFoldersIgnoreTheBaseFolder) {
  // Leading '/' (this system's absolute paths) and a drive colon.
  EXPECT_EQ(ResolveFilePath(u"D:\\old\\tex.png", {At(u"/abs")}, u""), At(u"/abs\\tex.png"));
  EXPECT_EQ(ResolveFilePath(u"D:\\old\\tex.png", {At(u"/abs/")}, u""), At(u"/abs/tex.png"));
  EXPECT_EQ(ResolveFilePath(u"D:\\old\\tex.png", {At(u"/d:x")}, u""), At(u"/d:x\\tex.png"));
}

TEST_F(ResolveFilePathTest, NetworkFolderCountsAsAbsolute) {
  // \\server\share cannot exist here; it must be tried as it stands, not
  // walked below the base folder (where a "server\share" would be found).
  dir_.WriteFile("s/scene/server/share/tex.png", "x");
  EXPECT_EQ(ResolveFilePath(u"tex.png", {u"\\\\server\\share"}, At(u"/s/scene")), u"");
  EXPECT_EQ(ResolveFilePath(u"tex.png", {u"server\\share"}, At(u"/s/scene")),
            At(u"/s/scene\\server\\share\\tex.png"));
}

TEST_F(ResolveFilePathTest, FirstExistingCandidateWinsInListOrder) {
  const std::vector<WString> folders = {u"missing", u"local", u"..\\maps"};
  EXPECT_EQ(ResolveFilePath(u"tex.png", folders, At(u"/s/scene")), At(u"/s/scene\\local\\tex.png"));
}

TEST_F(ResolveFilePathTest, RelativeFoldersNeedABaseFolder) {
  EXPECT_EQ(ResolveFilePath(u"tex.png", {u"local", At(u"/abs")}, u""), At(u"/abs\\tex.png"));
  EXPECT_EQ(ResolveFilePath(u"tex.png", {u"local"}, u""), u"");
}

TEST_F(ResolveFilePathTest, EmptySearchListTriesTheBaseFolder) {
  EXPECT_EQ(ResolveFilePath(u"D:\\old\\tex.png", {}, At(u"/s/scene")), At(u"/s/scene\\tex.png"));
  EXPECT_EQ(ResolveFilePath(u"D:\\old\\tex.png", {}, At(u"/s/")), u"");
  EXPECT_EQ(ResolveFilePath(u"D:\\old\\tex.png", {}, u""), u"");
}

TEST_F(ResolveFilePathTest, NamesThatAreNotFilesFindNothing) {
  for (const WString& stored : {WString(u"D:\\old\\"), WString(u""), WString(u".."), WString(u"D:\\.")}) {
    EXPECT_EQ(ResolveFilePath(stored, {u"..\\maps", u""}, At(u"/s/scene")), u"");
  }
}

}  // namespace
}  // namespace KT
