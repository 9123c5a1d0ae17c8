#include "exporter/plugin/content_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "exporter/plugin/max_drn.h"
#include "objectmodel/raw_data.h"
#include "objectmodel/stream.h"
#include "platform/host/scene_builder.h"
#include "render/images/image.h"
#include "render/images/pixel_buffer.h"
#include "render/materials/standard_material.h"
#include "render/materials/texture_maps.h"
#include "scene/tri_mesh.h"
#include "scene/tri_mesh_data.h"
#include "support/temp_folder.h"
#include "tests/exporter/plugin/content_file_reader.h"

namespace {

using KT::Testing::TempFolder;

// A node whose record cannot be written, as when the disk fills up.
class UnwritableNode : public KT::CNode {
 public:
  KT::Result Save(KT::CStream&, KT::u32) override { return KT::kErrStream; }
};

KT::CPointer<KT::CNode> NamedNode(const char16_t* name) {
  KT::CPointer<KT::CNode> node(new KT::CNode());
  node->SetName(name);
  return node;
}

KT::CPointer<KT::CThumbnail> SmallThumbnail() {
  KT::KTImage picture;
  EXPECT_EQ(KT::PixelBuffer::Create(picture, KT::PixelLayout::kBgr8, 4, 3), KT::kOk);
  KT::CPointer<KT::CThumbnail> thumbnail(new KT::CThumbnail());
  EXPECT_EQ(thumbnail->SetImage(picture), KT::kOk);
  return thumbnail;
}

class ContentFile : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(folder_.Valid());
    UiScript::Current().Clear();
  }
  void TearDown() override { UiScript::Current().Clear(); }

  TempFolder folder_;
};

TEST_F(ContentFile, CarriesTheSceneTheMarkerAndTheVersionRecords) {
  const struct {
    bool gesture;
    bool thumbnail;
  } cases[] = {{false, false}, {false, true}, {true, false}, {true, true}};
  for (const auto& c : cases) {
    CMaxDrn context(nullptr, nullptr, false);
    if (c.thumbnail) context.thumbnail = SmallThumbnail();
    KT::CPointer<KT::CNode> scene = NamedNode(u"Body");
    scene->AddChild(NamedNode(u"Hip").Get());
    KT::Result result = KT::kErrMissingObject;
    context.SaveContentFile(result, folder_.Wide("body.zAvatar"), scene.Get(), c.gesture);
    ASSERT_EQ(result, KT::kOk);

    ContentFileReader file(folder_.Wide("body.zAvatar"));
    ASSERT_EQ(file.result, KT::kOk);
    ASSERT_EQ(file.stream.GetRootObjectCount(), 2u);
    auto* body = KT::DynamicCast<KT::CNode>(file.stream.GetRootObject(0));
    ASSERT_NE(body, nullptr);
    EXPECT_EQ(body->GetName(), u"Body");
    ASSERT_EQ(body->GetChildCount(), 1u);
    auto* marker = KT::DynamicCast<KT::CRawData>(file.stream.GetRootObject(1));
    ASSERT_NE(marker, nullptr);
    EXPECT_EQ(marker->GetClassRecord().name, std::string("CRawData"));
    EXPECT_EQ(marker->GetName(), u"OstrelMaxExp_500");
    EXPECT_EQ(marker->GetByteSize(), 0u);

    // Gesture files: DataVersion 0 first, then -1; other files only -1.
    const std::vector<KT::u32> dataVersions =
        c.gesture ? std::vector<KT::u32>{0u, 0xFFFFFFFFu} : std::vector<KT::u32>{0xFFFFFFFFu};
    ASSERT_EQ(file.stream.GetExtendInfoCount(), dataVersions.size());
    for (KT::u32 i = 0; i < dataVersions.size(); ++i) {
      KT::CVersionData* version = file.Version(i);
      ASSERT_NE(version, nullptr);
      EXPECT_EQ(version->GetName(), u"FileAppVersion");
      EXPECT_EQ(version->GetAppName(), u"Ostrel");
      EXPECT_EQ(version->GetAppVersion(), 5000100u);
      EXPECT_EQ(version->GetDataVersion(), dataVersions[i]);
    }

    auto* thumbnail = KT::DynamicCast<KT::CThumbnail>(file.stream.GetThumbnail());
    if (c.thumbnail) {
      ASSERT_NE(thumbnail, nullptr);
      EXPECT_EQ(thumbnail->GetImage().Width, 4);
      EXPECT_EQ(thumbnail->GetImage().Height, 3);
    } else {
      EXPECT_EQ(thumbnail, nullptr);
    }
  }
}

TEST_F(ContentFile, AFileThatCannotBeOpenedIsNotWritten) {
  CMaxDrn context(nullptr, nullptr, false);
  KT::CPointer<KT::CNode> scene = NamedNode(u"Body");
  KT::Result result = KT::kOk;
  context.SaveContentFile(result, folder_.Wide("missing/body.zAvatar"), scene.Get(), false);
  EXPECT_EQ(result, KT::kErrTreeData);
  EXPECT_FALSE(std::filesystem::exists(folder_.Native("missing")));
}

TEST_F(ContentFile, AFailedSaveLeavesNoPartialFileAndIsShown) {
  folder_.WriteFile("body.zAvatar", "an older export");
  CMaxDrn context(nullptr, nullptr, false);
  context.root = new UnwritableNode();
  const std::string path = folder_.Native("body.zAvatar");
  KT::Result result = KT::kOk;
  context.SaveFile(result, path);
  EXPECT_EQ(result, KT::kErrStream);
  EXPECT_FALSE(std::filesystem::exists(path));
  EXPECT_EQ(ShownBoxes(), std::vector<std::string>{"Error: Failed to save \"" + path + "\" (0x8000000C)."});
}

TEST_F(ContentFile, SaveFileWritesTheRootAtTheTargetPath) {
  std::unique_ptr<KT::Host::HostScene> host = KT::Host::SceneBuilder().Make();
  CMaxDrn context(host.get(), host.get(), false);
  context.StartProgress("Exporting...");
  context.StepProgress(40, "Create Mesh: Body");
  context.root = NamedNode(u"Avatar");
  KT::Result result = KT::kErrMissingObject;
  context.SaveFile(result, folder_.Native("Avatar.zAvatar"));
  EXPECT_EQ(result, KT::kOk);
  EXPECT_TRUE(ShownBoxes().empty());
  const auto& log = host->ProgressLog();
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log.back().text, "Save File...");
  EXPECT_EQ(log.back().percent, 40) << "the save adds nothing to the percentage";

  ContentFileReader file(folder_.Wide("Avatar.zAvatar"));
  ASSERT_EQ(file.result, KT::kOk);
  ASSERT_EQ(file.stream.GetRootObjectCount(), 2u);
  EXPECT_EQ(file.stream.GetRootObject(0)->GetName(), u"Avatar");
  ASSERT_EQ(file.stream.GetExtendInfoCount(), 1u) << "a one-file save is never a gesture file";
  EXPECT_EQ(file.Version(0)->GetDataVersion(), 0xFFFFFFFFu);
}

TEST_F(ContentFile, SaveFileWithoutRootWritesNothing) {
  CMaxDrn context(nullptr, nullptr, false);
  const std::string path = folder_.Native("Avatar.zAvatar");
  KT::Result result = KT::kOk;
  context.SaveFile(result, path);
  EXPECT_EQ(result, KT::kErrNotFound);
  EXPECT_FALSE(std::filesystem::exists(path));
  EXPECT_EQ(ShownBoxes(), std::vector<std::string>{"Error: Failed to save \"" + path + "\" (0x80000005)."});
}

TEST_F(ContentFile, UnsupportedTypesWriteNothing) {
  CMaxDrn context(nullptr, nullptr, false);
  context.root = NamedNode(u"Terrain");
  KT::Result result = KT::kOk;
  context.SaveUnsupportedFile(result, folder_.Native("Terrain.Drn"));
  EXPECT_EQ(static_cast<KT::u32>(result), 0x80000001u);
  EXPECT_TRUE(std::filesystem::is_empty(folder_.Native()));
}

// A mesh under the root whose material's diffuse map holds an image of
// `width` x `height`.
KT::CImage* AddTexturedMesh(KT::CNode& root, KT::i32 width, KT::i32 height) {
  KT::CPointer<KT::CImage> image(new KT::CImage());
  EXPECT_EQ(KT::PixelBuffer::Create(image->EditImage(), KT::PixelLayout::kBgr8, width, height), KT::kOk);
  KT::CPointer<KT::CTextureMap> map(new KT::CTextureMap());
  map->SetImage(image.Get());
  KT::CPointer<KT::CStandardMaterial> material(new KT::CStandardMaterial());
  material->SetTexture(KT::CStandardMaterial::kDiffuse, map.Get());
  KT::CPointer<KT::CTriMesh> mesh(new KT::CTriMesh());
  EXPECT_EQ(mesh->SetSingleLod(KT::CPointer<KT::CTriMeshData>(new KT::CTriMeshData()).Get()), KT::kOk);
  EXPECT_EQ(mesh->AddLodObject(0, material.Get()), KT::kOk);
  root.AddChild(mesh.Get());
  return image.Get();
}

TEST_F(ContentFile, PrepareForSaveLimitsEachSideAlone) {
  const struct {
    bool limit;
    int maxSize;
    KT::i32 width, height;
    KT::i32 widthAfter, heightAfter;
    KT::Result result;
  } cases[] = {
      {true, 1024, 2048, 512, 1024, 512, KT::kOk},  // the proportions are not kept
      {true, 1024, 600, 300, 600, 300, KT::kOk},
      {true, 256, 300, 4096, 256, 256, KT::kOk},
      {true, 512, 512, 513, 512, 512, KT::kOk},
      {true, 256, 200, 100, 200, 100, KT::kOk},  // not rounded to a power of two
      {false, 256, 2048, 512, 2048, 512, KT::kDone},
  };
  for (const auto& c : cases) {
    CMaxDrn context(nullptr, nullptr, false);
    context.root = NamedNode(u"Avatar");
    KT::CImage* image = AddTexturedMesh(*context.root, c.width, c.height);
    context.limitTextures = c.limit;
    context.maxTextureSize = c.maxSize;
    KT::Result result = KT::kErrMissingObject;
    context.PrepareForSave(result);
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(image->GetImage().Width, c.widthAfter) << c.width << " x " << c.height << " at " << c.maxSize;
    EXPECT_EQ(image->GetImage().Height, c.heightAfter) << c.width << " x " << c.height << " at " << c.maxSize;
  }
}

TEST_F(ContentFile, SaveFileAppliesTheTextureLimit) {
  CMaxDrn context(nullptr, nullptr, false);
  context.root = NamedNode(u"Avatar");
  KT::CImage* image = AddTexturedMesh(*context.root, 2048, 512);
  context.limitTextures = true;
  context.maxTextureSize = 1024;
  KT::Result result = KT::kErrMissingObject;
  context.SaveFile(result, folder_.Native("Avatar.zAvatar"));
  EXPECT_EQ(result, KT::kOk);
  EXPECT_EQ(image->GetImage().Width, 1024);
  EXPECT_EQ(image->GetImage().Height, 512);
}

TEST(ContentFilePaths, ClipFilesGoInsideTheFolder) {
  const struct {
    std::string folder;
    std::u16string path;
  } cases[] = {
      {"C:\\out", u"C:\\out\\Walk.zMotion"},  // as the folder browser gives it
      {"C:\\out\\", u"C:\\out\\Walk.zMotion"},
      {"/tmp/out/", u"/tmp/out/Walk.zMotion"},
      {"/tmp/out", u"/tmp/out\\Walk.zMotion"},
      {"", u"\\Walk.zMotion"},  // the rule of the one-file target path
      {"Caf\xE9", u"Caf\u00E9\\Walk.zMotion"},
  };
  for (const auto& c : cases) EXPECT_EQ(ClipFilePath(c.folder, u"Walk", ".zMotion"), c.path) << c.folder;
}

TEST(ContentFilePaths, ClipNamesThatNameNoFileInTheFolder) {
  for (const char16_t* bad : {u"", u".", u"..", u"..\\Walk", u"../Walk", u"a/b", u"a\\b", u"/", u"\\"})
    EXPECT_FALSE(IsUsableClipName(bad)) << std::string(bad, bad + std::char_traits<char16_t>::length(bad));
  for (const char16_t* good : {u"Walk", u"Walk.Fast", u"...", u".hidden", u"Run 2", u"Caf\u00E9"})
    EXPECT_TRUE(IsUsableClipName(good));
}

TEST(ContentFilePaths, FailedSaveMessage) {
  EXPECT_EQ(FailedSaveMessage("C:\\out\\Walk.zMotion", KT::kErrTreeData),
            "Failed to save \"C:\\out\\Walk.zMotion\" (0x80000006).");
}

}  // namespace
