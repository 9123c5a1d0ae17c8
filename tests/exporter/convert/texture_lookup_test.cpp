#include <gtest/gtest.h>

#include <string>

#include "platform/host/host_materials.h"
#include "render/materials/texture_maps.h"
#include "tests/exporter/convert/export_fixture.h"
#include "tests/support/temp_folder.h"

namespace {

using KT::Host::BitmapDesc;
using KT::Host::HostBitmapTex;
using KT::Host::SceneBuilder;
using KT::Testing::ExportScene;
using KT::Testing::TempFolder;

BitmapDesc Bitmap(const std::string& file, int channel = 1, int source = 0) {
  BitmapDesc desc;
  desc.file = file;
  desc.channel = channel;
  desc.uvwSource = source;
  return desc;
}

struct LookupScene {
  explicit LookupScene(const std::string& mapFolder = "") : scene(Builder(mapFolder)) {}
  static SceneBuilder Builder(const std::string& mapFolder) {
    SceneBuilder b;
    if (!mapFolder.empty()) b.MapFolder(mapFolder);
    b.AddNode("A");
    return b;
  }
  CMaxDrn& Context() { return scene.Context(); }
  ExportScene scene;
};

TEST(LoadTexture, OnePathGivesOneImageNamedAfterTheFileTitle) {
  TempFolder folder;
  folder.WriteFile("wood.grain.bmp", KT::Testing::SmallBmp());
  LookupScene s;
  const BitmapDesc desc = Bitmap(folder.Native("wood.grain.bmp"));
  HostBitmapTex first(desc);
  HostBitmapTex second(desc);
  KT::CPointer<KT::CTextureMap> a(new KT::CTextureMap());
  KT::CPointer<KT::CTextureMap> b(new KT::CTextureMap());
  ASSERT_EQ(s.Context().LoadTexture(a.Get(), &first), KT::kOk);
  ASSERT_EQ(s.Context().LoadTexture(b.Get(), &second), KT::kOk);
  ASSERT_NE(a->GetImage(), nullptr);
  EXPECT_EQ(a->GetImage(), b->GetImage());
  EXPECT_EQ(a->GetImage()->GetName(), u"wood.grain");
  EXPECT_EQ(s.Context().textureCache.size(), 1u);
}

TEST(LoadTexture, TwoPathStringsGiveTwoImages) {
  TempFolder folder;
  folder.WriteFile("tex.bmp", KT::Testing::SmallBmp());
  LookupScene s;
  // The map refers to its description: each is kept alive beside it.
  const BitmapDesc plainDesc = Bitmap(folder.Native("tex.bmp"));
  const BitmapDesc dottedDesc = Bitmap(folder.Native("./tex.bmp"));
  HostBitmapTex plain(plainDesc);
  HostBitmapTex dotted(dottedDesc);
  KT::CPointer<KT::CTextureMap> a(new KT::CTextureMap());
  KT::CPointer<KT::CTextureMap> b(new KT::CTextureMap());
  ASSERT_EQ(s.Context().LoadTexture(a.Get(), &plain), KT::kOk);
  ASSERT_EQ(s.Context().LoadTexture(b.Get(), &dotted), KT::kOk);
  ASSERT_NE(b->GetImage(), nullptr);
  EXPECT_NE(a->GetImage(), b->GetImage());
  EXPECT_EQ(s.Context().textureCache.size(), 2u);
}

TEST(LoadTexture, AFileFoundOnTheMapFoldersIsCachedUnderItsFullPath) {
  TempFolder folder;
  folder.WriteFile("maps/brick.bmp", KT::Testing::SmallBmp());
  LookupScene s(folder.Native("maps"));
  const BitmapDesc desc = Bitmap("C:\\art\\old\\brick.bmp");
  HostBitmapTex tex(desc);
  KT::CPointer<KT::CTextureMap> map(new KT::CTextureMap());
  ASSERT_EQ(s.Context().LoadTexture(map.Get(), &tex), KT::kOk);
  ASSERT_EQ(s.Context().textureCache.size(), 1u);
  EXPECT_EQ(s.Context().textureCache.begin()->first, folder.Wide("maps/brick.bmp"));
  EXPECT_EQ(map->GetImage()->GetName(), u"brick");
}

TEST(LoadTexture, APathFoundNowhereFailsAndLeavesNoCacheEntry) {
  TempFolder folder;
  LookupScene s(folder.Native());
  const BitmapDesc desc = Bitmap(folder.Native("late.bmp"), 2);
  HostBitmapTex tex(desc);
  s.Context().uvChannels = {-1, 0, 1};
  KT::CPointer<KT::CTextureMap> map(new KT::CTextureMap());
  EXPECT_TRUE(KT::Failed(s.Context().LoadTexture(map.Get(), &tex)));
  EXPECT_EQ(map->GetImage(), nullptr);
  EXPECT_EQ(map->GetUvwChannel(), 0u) << "a failed lookup changes nothing";
  EXPECT_TRUE(s.Context().textureCache.empty());
  // Nothing was cached, so the next use tries the file again.
  folder.WriteFile("late.bmp", KT::Testing::SmallBmp());
  EXPECT_EQ(s.Context().LoadTexture(map.Get(), &tex), KT::kOk);
  EXPECT_NE(map->GetImage(), nullptr);
  EXPECT_EQ(map->GetUvwChannel(), 1u);
}

TEST(LoadTexture, UvChannelComesFromTheTableOfTheLastMesh) {
  TempFolder folder;
  folder.WriteFile("tex.bmp", KT::Testing::SmallBmp());
  LookupScene s;
  s.Context().uvChannels = {-1, 0, -1, 1};
  struct Case {
    int channel;
    int source;
    KT::u32 expected;
  };
  const Case cases[] = {
      {1, 0, 0u},
      {3, 0, 1u},
      {2, 0, 0xFFFFFFFFu},  // a channel the mesh did not write
      {7, 0, 0u},           // outside the table: kept
      {3, 1, 0u},           // not an explicit map channel: kept
  };
  for (const Case& c : cases) {
    const BitmapDesc desc = Bitmap(folder.Native("tex.bmp"), c.channel, c.source);
    HostBitmapTex tex(desc);
    KT::CPointer<KT::CTextureMap> map(new KT::CTextureMap());
    ASSERT_EQ(s.Context().LoadTexture(map.Get(), &tex), KT::kOk);
    EXPECT_EQ(map->GetUvwChannel(), c.expected) << c.channel << " " << c.source;
  }
}

TEST(LoadTexture, NullArgumentsAreRefused) {
  LookupScene s;
  const BitmapDesc desc = Bitmap("x.bmp");
  HostBitmapTex tex(desc);
  KT::CPointer<KT::CTextureMap> map(new KT::CTextureMap());
  EXPECT_EQ(s.Context().LoadTexture(nullptr, &tex), KT::kErrInvalidArg);
  EXPECT_EQ(s.Context().LoadTexture(map.Get(), nullptr), KT::kErrInvalidArg);
}

}  // namespace
