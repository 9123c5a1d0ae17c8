#include "exporter/plugin/template_scenes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "exporter/plugin/max_drn.h"
#include "exporter/plugin/conversion_profile.h"
#include "exporter/plugin/plugin_paths.h"
#include "objectmodel/buffer.h"
#include "objectmodel/file_io.h"
#include "objectmodel/raw_data.h"
#include "objectmodel/stream.h"
#include "platform/host/scene_builder.h"
#include "render/images/image_codec.h"
#include "render/images/pixel_buffer.h"
#include "support/temp_folder.h"
#include "tests/objectmodel/stream_test_support.h"
#include "tests/exporter/plugin/content_file_reader.h"

namespace {

using KT::Testing::TempFolder;

// Writes a scene file with the given roots and thumbnail.
void WriteScene(const std::u16string& path, const std::vector<KT::CBase*>& roots, KT::CBase* thumbnail) {
  KT::CFileIo file;
  ASSERT_EQ(file.OpenWrite(path), KT::kOk);
  KT::CStream stream;
  stream.SetDevice(&file);
  for (KT::CBase* root : roots) ASSERT_EQ(stream.AddRootObject(root), KT::kOk);
  if (thumbnail != nullptr) stream.SetThumbnail(thumbnail);
  ASSERT_EQ(stream.Save(KT::CStream::kAllSections), KT::kOk);
}

KT::CPointer<KT::CThumbnail> Thumbnail(KT::i32 width, KT::i32 height) {
  KT::KTImage picture;
  EXPECT_EQ(KT::PixelBuffer::Create(picture, KT::PixelLayout::kBgr8, width, height), KT::kOk);
  KT::CPointer<KT::CThumbnail> thumbnail(new KT::CThumbnail());
  EXPECT_EQ(thumbnail->SetImage(picture), KT::kOk);
  return thumbnail;
}

KT::CPointer<KT::CNode> Node(const char16_t* name) {
  KT::CPointer<KT::CNode> node(new KT::CNode());
  node->SetName(name);
  return node;
}

// Writes a PNG file of `width` x `height` opaque pixels.
void WritePng(const std::string& path, KT::i32 width, KT::i32 height) {
  KT::KTImage picture;
  ASSERT_EQ(KT::PixelBuffer::Create(picture, KT::PixelLayout::kBgra8, width, height), KT::kOk);
  for (KT::i32 y = 0; y < height; ++y) {
    KT::u8* row = picture.Pixels + static_cast<std::size_t>(y) * picture.Stride;
    for (KT::i32 x = 0; x < width; ++x) {
      row[4 * x] = static_cast<KT::u8>(x);
      row[4 * x + 1] = static_cast<KT::u8>(y);
      row[4 * x + 2] = 0x80;
      row[4 * x + 3] = 0xFF;
    }
  }
  KT::CBuffer<char> bytes;
  ASSERT_EQ(KT::EncodeImageFile(picture, 3, bytes), KT::kOk);
  std::FILE* out = std::fopen(path.c_str(), "wb");
  ASSERT_NE(out, nullptr);
  std::fwrite(bytes.GetData(), 1, bytes.GetCount(), out);
  std::fclose(out);
}

class TemplateScenes : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(folder_.Valid());
    KT::RegisterCustomDataClasses();
  }
  TempFolder folder_;
};

TEST_F(TemplateScenes, TheTemplatesThumbnailBecomesTheContextsThumbnail) {
  CMaxDrn context(nullptr, nullptr, false);
  KT::CPointer<KT::CThumbnail> stored = Thumbnail(125, 125);
  KT::CPointer<KT::CNode> scene = Node(u"Template");
  WriteScene(folder_.Wide("AutoThumb.drn"), {scene.Get()}, stored.Get());
  KT::Result result = KT::kErrMissingObject;
  context.WriteThumbnail(result, folder_.Wide("AutoThumb.drn"), true);
  EXPECT_EQ(result, KT::kOk);
  ASSERT_TRUE(context.thumbnail);
  EXPECT_EQ(context.thumbnail->GetImage().Width, 125);
  EXPECT_EQ(context.thumbnail->GetImage().Height, 125);
  EXPECT_EQ(context.thumbnail->GetImage().Layout, 1u);
  EXPECT_FALSE(context.root) << "the template's scene is not read";
}

TEST_F(TemplateScenes, ATemplateWithoutThumbnailLeavesNone) {
  CMaxDrn context(nullptr, nullptr, false);
  context.thumbnail = Thumbnail(2, 2);
  KT::CPointer<KT::CNode> scene = Node(u"Template");
  WriteScene(folder_.Wide("AutoThumb.drn"), {scene.Get()}, nullptr);
  KT::Result result = KT::kErrMissingObject;
  context.WriteThumbnail(result, folder_.Wide("AutoThumb.drn"), true);
  EXPECT_EQ(result, KT::kOk);
  EXPECT_FALSE(context.thumbnail);

  // The content file then carries no thumbnail either.
  context.root = Node(u"Avatar");
  context.SaveFile(result, folder_.Native("Avatar.zAvatar"));
  ASSERT_EQ(result, KT::kOk);
  ContentFileReader file(folder_.Wide("Avatar.zAvatar"));
  ASSERT_EQ(file.result, KT::kOk);
  EXPECT_EQ(file.stream.GetThumbnail(), nullptr);
}

TEST_F(TemplateScenes, AnUnreadableTemplateKeepsTheThumbnail) {
  folder_.WriteFile("Broken.drn", "not a scene file");
  const struct {
    const char* file;
    KT::Result result;
  } cases[] = {{"Missing.drn", KT::kErrFileSize}, {"Broken.drn", KT::kErrNotFound}};
  for (const auto& c : cases) {
    CMaxDrn context(nullptr, nullptr, false);
    KT::CPointer<KT::CThumbnail> kept = Thumbnail(2, 2);
    context.thumbnail = kept;
    KT::Result result = KT::kOk;
    context.WriteThumbnail(result, folder_.Wide(c.file), true);
    EXPECT_EQ(result, c.result) << c.file;
    EXPECT_EQ(context.thumbnail.Get(), kept.Get()) << c.file;
  }
}

TEST_F(TemplateScenes, AnAssignedImageIsScaledToTheThumbnailSize) {
  const struct {
    KT::i32 width, height;
  } cases[] = {{640, 480}, {64, 32}, {125, 125}};
  for (const auto& c : cases) {
    WritePng(folder_.Native("picture.png"), c.width, c.height);
    CMaxDrn context(nullptr, nullptr, false);
    KT::Result result = KT::kErrMissingObject;
    context.WriteThumbnail(result, folder_.Wide("picture.png"), false);
    EXPECT_EQ(result, KT::kOk);
    ASSERT_TRUE(context.thumbnail);
    const KT::KTImage& image = context.thumbnail->GetImage();
    EXPECT_EQ(image.Width, 125) << c.width << " x " << c.height;
    EXPECT_EQ(image.Height, 125) << c.width << " x " << c.height;
    EXPECT_EQ(image.Layout, 1u);
    EXPECT_EQ(image.BytesPerPixel, 3);
    const KT::PixelBuffer::ScopedView view(image);
    ASSERT_NE(image.Pixels, nullptr);
    EXPECT_EQ(image.Pixels[2], 0x80) << "red stays red";
  }
}

TEST_F(TemplateScenes, AnAssignedThumbnailTravelsWithTheContentFile) {
  WritePng(folder_.Native("picture.png"), 640, 480);
  CMaxDrn context(nullptr, nullptr, false);
  KT::Result result = KT::kErrMissingObject;
  context.WriteThumbnail(result, folder_.Wide("picture.png"), false);
  ASSERT_EQ(result, KT::kOk);
  context.root = Node(u"Avatar");
  context.SaveFile(result, folder_.Native("Avatar.zAvatar"));
  ASSERT_EQ(result, KT::kOk);
  ContentFileReader file(folder_.Wide("Avatar.zAvatar"));
  ASSERT_EQ(file.result, KT::kOk);
  auto* thumbnail = KT::DynamicCast<KT::CThumbnail>(file.stream.GetThumbnail());
  ASSERT_NE(thumbnail, nullptr);
  EXPECT_EQ(thumbnail->GetImage().Width, 125);
  EXPECT_EQ(thumbnail->GetImage().Height, 125);
  EXPECT_EQ(thumbnail->GetImage().Layout, 1u);
  const KT::PixelBuffer::ScopedView view(thumbnail->GetImage());
  ASSERT_NE(thumbnail->GetImage().Pixels, nullptr);
  EXPECT_EQ(thumbnail->GetImage().Pixels[2], 0x80);
}

TEST_F(TemplateScenes, AnImageThatCannotBeReadMakesNoThumbnail) {
  folder_.WriteFile("broken.png", "not a picture");
  for (const char* file : {"missing.png", "broken.png", "picture.xyz"}) {
    CMaxDrn context(nullptr, nullptr, false);
    KT::Result result = KT::kErrMissingObject;
    context.WriteThumbnail(result, folder_.Wide(file), false);
    EXPECT_EQ(result, KT::kOk) << file;
    EXPECT_FALSE(context.thumbnail) << file;
  }
}

TEST_F(TemplateScenes, ABaseBoneSceneBecomesTheRoot) {
  KT::CPointer<KT::CNode> bones = Node(u"Bip01");
  KT::CPointer<KT::CNode> pelvis = Node(u"Bip01 Pelvis");
  KT::CRtsTransform basis = pelvis->GetBasis();
  basis.Translate = {0.0f, 0.0f, 40.0f};
  pelvis->SetBasis(basis);
  KT::CPointer<KT::CNode> spine = Node(u"Bip01 Spine");
  basis.Translate = {0.0f, 0.0f, 10.0f};
  spine->SetBasis(basis);
  pelvis->AddChild(spine.Get());
  bones->AddChild(pelvis.Get());
  {
    // Each bone's rest pose in a keyframe controller, as the base-bone
    // scenes hold them.
    CMaxDrn keyer(nullptr, nullptr, false);
    for (KT::CNode* node : {bones.Get(), pelvis.Get(), spine.Get()}) keyer.EnsureKeyframeControl(node);
  }
  WriteScene(folder_.Wide("KTBoneFullG1.DRN"), {bones.Get()}, nullptr);

  CMaxDrn context(nullptr, nullptr, false);
  context.root = Node(u"Converted");
  ASSERT_TRUE(context.LoadBaseBoneFile(folder_.Wide("KTBoneFullG1.DRN")));
  EXPECT_TRUE(context.baseBoneLoaded);
  ASSERT_TRUE(context.root);
  EXPECT_EQ(context.root->GetName(), u"Bip01");
  for (const char16_t* name : {u"Bip01", u"Bip01 Pelvis", u"Bip01 Spine"}) {
    auto* node = static_cast<KT::CNode*>(context.root->Find(name, &KT::CNode::StaticClassRecord(), false, false));
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(node->GetInherited(), 0x1000000u);
    EXPECT_TRUE(node->IsModified());
  }
  // The world transforms are current: the spine stands 50 units up.
  auto* loadedSpine =
      static_cast<KT::CNode*>(context.root->Find(u"Bip01 Spine", &KT::CNode::StaticClassRecord(), false, false));
  ASSERT_NE(loadedSpine, nullptr);
  EXPECT_FLOAT_EQ(loadedSpine->GetWorldMatrix().m[3][2], 50.0f);
}

TEST_F(TemplateScenes, ABaseBoneSceneWithoutNodeRootLeavesNoRootAndNoFile) {
  KT::CPointer<KT::CRawData> notANode(new KT::CRawData());
  KT::CPointer<KT::CNode> second = Node(u"Bip01");
  WriteScene(folder_.Wide("KTBoneGesture.drn"), {notANode.Get(), second.Get()}, nullptr);
  CMaxDrn context(nullptr, nullptr, false);
  context.root = Node(u"Converted");
  EXPECT_TRUE(context.LoadBaseBoneFile(folder_.Wide("KTBoneGesture.drn")));
  EXPECT_TRUE(context.baseBoneLoaded);
  EXPECT_FALSE(context.root);
  KT::Result result = KT::kOk;
  context.SaveFile(result, folder_.Native("Wave.zMotion"));
  EXPECT_EQ(result, KT::kErrNotFound);
  EXPECT_FALSE(std::filesystem::exists(folder_.Native("Wave.zMotion")));
}

TEST_F(TemplateScenes, AnUnreadableBaseBoneSceneChangesNothing) {
  folder_.WriteFile("Broken.drn", "not a scene file");
  for (const char* file : {"Missing.drn", "Broken.drn"}) {
    CMaxDrn context(nullptr, nullptr, false);
    KT::CPointer<KT::CNode> converted = Node(u"Converted");
    context.root = converted;
    EXPECT_FALSE(context.LoadBaseBoneFile(folder_.Wide(file))) << file;
    EXPECT_FALSE(context.baseBoneLoaded);
    EXPECT_EQ(context.root.Get(), converted.Get());
  }
}

TEST_F(TemplateScenes, ACutBaseBoneSceneLoadsOnlyAtARecordBoundary) {
  // At the end of a root record the cut is a whole file of fewer records;
  // anywhere else the load fails and changes nothing.
  KT::CPointer<KT::CNode> bones = Node(u"Bip01");
  bones->AddChild(Node(u"Bip01 Pelvis").Get());
  KT::CPointer<KT::CThumbnail> thumbnail = Thumbnail(3, 2);
  WriteScene(folder_.Wide("whole.drn"), {bones.Get()}, thumbnail.Get());
  std::ifstream in(folder_.Native("whole.drn"), std::ios::binary);
  const KT::test::Bytes bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const std::vector<std::size_t> ends = KT::test::RootTreeRecordEnds(bytes);
  ASSERT_FALSE(ends.empty());
  for (std::size_t cut = 0; cut < bytes.size(); ++cut) {
    folder_.WriteFile("cut.drn", std::string(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(cut)));
    CMaxDrn context(nullptr, nullptr, false);
    KT::CPointer<KT::CNode> converted = Node(u"Converted");
    context.root = converted;
    const bool loaded = context.LoadBaseBoneFile(folder_.Wide("cut.drn"));
    EXPECT_EQ(context.baseBoneLoaded, loaded) << cut;
    if (std::find(ends.begin(), ends.end(), cut) != ends.end()) {
      if (loaded && context.root) {
        EXPECT_EQ(context.root->GetName(), u"Bip01") << cut;
      }
      continue;
    }
    EXPECT_FALSE(loaded) << cut;
    EXPECT_EQ(context.root.Get(), converted.Get()) << cut;
  }
}

TEST(BuiltDataFolder, HoldsWhatTheExporterReads) {
  // The host folder of the build, where the plug-in looks for its files.
  KT::Host::SceneBuilder b;
  b.HostFolder(KT_BUILT_HOST_FOLDER);
  std::unique_ptr<KT::Host::HostScene> host = b.Make();
  ASSERT_NE(host, nullptr);
  const KT::Host::ActiveHostScene active(*host);
  CMaxDrn context(host.get(), host.get(), false);

  KT::Result result = KT::kErrMissingObject;
  context.WriteThumbnail(result, ToWide(GetThumbnailTemplatePath()), true);
  EXPECT_EQ(result, KT::kOk);
  ASSERT_TRUE(context.thumbnail);
  EXPECT_EQ(context.thumbnail->GetImage().Width, 125);
  EXPECT_EQ(context.thumbnail->GetImage().Height, 125);
  EXPECT_EQ(context.thumbnail->GetImage().Layout, 1u);

  // The profile holds no record: every bone keeps its axes.
  LoadConversionProfile(result, GetDataFilePath(kConversionProfileFile), context.profile);
  EXPECT_EQ(result, KT::kOk);
  EXPECT_TRUE(context.profile.empty());
}

}  // namespace
