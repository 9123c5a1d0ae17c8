// KT::ImageFactory: the image classes' entries in the one class factory,
// and the thumbnail section that depends on them.
#include "render/images/image_factory.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "image_test_support.h"
#include "render/images/thumbnail.h"

namespace KT {
namespace {

// Each test starts from an empty registry and puts the process-wide one
// back afterwards.
class ImageFactoryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = CClassFactory::GetRegistry();
    CClassFactory::GetRegistry().clear();
    test::UseTestIds(0);
  }
  void TearDown() override { CClassFactory::GetRegistry() = saved_; }

 private:
  CClassFactory::Registry saved_;
};

TEST_F(ImageFactoryTest, RegistersTheThreeImageClasses) {
  ImageFactory::RegisterImageClasses();
  std::vector<std::string> names;
  for (const auto& entry : ImageFactory::GetRegistry()) names.push_back(entry.first);
  EXPECT_EQ(names, (std::vector<std::string>{"CAnmImage", "CImage", "CThumbnail"}));

  const struct {
    const char* name;
    const ClassRecord& record;
  } made[] = {{"CImage", CImage::StaticClassRecord()},
              {"CAnmImage", CAnmImage::StaticClassRecord()},
              {"CThumbnail", CThumbnail::StaticClassRecord()}};
  for (const auto& m : made) {
    SCOPED_TRACE(m.name);
    Result r = kErrStream;
    CPointer<CBase> object;
    CClassFactory::FindCreator(m.name)(r, object);
    ASSERT_EQ(r, kOk);
    ASSERT_TRUE(object);
    EXPECT_EQ(&object->GetClassRecord(), &m.record);
  }
  Result r = kErrStream;
  CPointer<CBase> image;
  CClassFactory::FindCreator("CImage")(r, image);
  EXPECT_EQ(static_cast<CImage*>(image.Get())->GetImage().Storage, PixelStorage::kMapped);
}

TEST_F(ImageFactoryTest, RegisteringANameAgainReplacesItsCreator) {
  ImageFactory::RegisterImageClasses();
  const CreateObjectFunc original = CClassFactory::FindCreator("CImage");
  const CreateObjectFunc refusing = [](Result& result, CPointer<CBase>&) { result = kErrOutOfMemory; };
  ImageFactory::Register("CImage", refusing);
  EXPECT_EQ(CClassFactory::FindCreator("CImage"), refusing);
  EXPECT_EQ(ImageFactory::GetRegistry().size(), 3u);
  ImageFactory::RegisterImageClasses();
  EXPECT_EQ(CClassFactory::FindCreator("CImage"), original);
}

TEST_F(ImageFactoryTest, TheThumbnailSectionNeedsTheImageClasses) {
  CPointer<CThumbnail> thumbnail(new CThumbnail());
  test::SceneParts parts;
  parts.thumbnail = thumbnail.Get();
  const test::Bytes file = test::SaveScene(parts);

  // Without skipping unknown classes the section fails; with skipping it
  // is passed over.
  {
    CStream stream;
    CMemoryIo device;
    EXPECT_EQ(test::LoadScene(file, stream, device, 0, 0x03), kErrUnknownClass);
    EXPECT_EQ(stream.GetThumbnail(), nullptr);
    EXPECT_EQ(test::LoadScene(file, stream, device, 0x1E, 0x03), kOk);
    EXPECT_EQ(stream.GetThumbnail(), nullptr);
  }
  ImageFactory::RegisterImageClasses();
  CStream stream;
  CMemoryIo device;
  ASSERT_EQ(test::LoadScene(file, stream, device, 0, 0x03), kOk);
  EXPECT_NE(DynamicCast<CThumbnail>(stream.GetThumbnail()), nullptr);
}

}  // namespace
}  // namespace KT
