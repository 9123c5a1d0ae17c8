#include "platform/host/bitmap_manager.h"

#include <gtest/gtest.h>

#include "platform/host/scene_builder.h"
#include "support/temp_folder.h"

namespace KT::Host {
namespace {

TEST(BitmapManager, FindsAMapInAListedFolder) {
  KT::Testing::TempFolder folder;
  ASSERT_TRUE(folder.Valid());
  folder.WriteFile("second/brick.png", "png");
  folder.WriteFile("third/brick.png", "png");
  SceneBuilder b;
  b.MapFolder(folder.Native("first")).MapFolder(folder.Native("second")).MapFolder(folder.Native("third"));
  std::unique_ptr<HostScene> scene = b.Make();
  const ActiveHostScene active(*scene);

  BitmapInfo info;
  info.SetName("C:\\old project\\maps\\brick.png");
  EXPECT_FALSE(BMMIsFile(info.Name()));
  ASSERT_TRUE(BMMGetFullFilename(&info));
  EXPECT_EQ(std::string(info.Name()), folder.Native("second/brick.png"));
  EXPECT_TRUE(BMMIsFile(info.Name()));

  info.SetName("maps/brick.png");  // forward slashes separate folders too
  ASSERT_TRUE(BMMGetFullFilename(&info));
  EXPECT_EQ(std::string(info.Name()), folder.Native("second/brick.png"));
}

TEST(BitmapManager, AnExistingPathStandsAndAMissingFileLeavesTheNameAlone) {
  KT::Testing::TempFolder folder;
  ASSERT_TRUE(folder.Valid());
  folder.WriteFile("here.tga", "tga");
  SceneBuilder b;
  b.MapFolder(folder.Native());
  std::unique_ptr<HostScene> scene = b.Make();
  const ActiveHostScene active(*scene);

  BitmapInfo info;
  info.SetName(folder.Native("here.tga").c_str());
  EXPECT_TRUE(BMMGetFullFilename(&info));
  EXPECT_EQ(std::string(info.Name()), folder.Native("here.tga"));

  info.SetName("textures\\absent.tga");
  EXPECT_FALSE(BMMGetFullFilename(&info));
  EXPECT_EQ(std::string(info.Name()), "textures\\absent.tga");
  EXPECT_FALSE(BMMIsFile(folder.Native().c_str()));  // a folder is no file
  EXPECT_FALSE(BMMIsFile(""));
  EXPECT_FALSE(BMMGetFullFilename(nullptr));
}

TEST(BitmapManager, WithoutAnActiveSceneOnlyExistingPathsAreFound) {
  BitmapInfo info;
  info.SetName("brick.png");
  EXPECT_FALSE(BMMGetFullFilename(&info));
}

}  // namespace
}  // namespace KT::Host
