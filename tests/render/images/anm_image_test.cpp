// KT::CAnmImage: frames, the stored record (current and 2.00 forms, byte
// for byte), linked animations decoded through the image library with
// their cache and path rules, copies, walks and hostile counts.
#include "render/images/anm_image.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "image_test_support.h"
#include "objectmodel/version_data.h"
#include "platform/imaging/gif_animation.h"
#include "support/temp_folder.h"

namespace KT {
namespace {

using test::ByteWriter;
using test::Bytes;
using Frame = CAnmImage::CFrame;

class AnmImageTest : public test::ImageTest {};

CPointer<CImage> FrameImage(u8 seed) {
  CPointer<CImage> image(new CImage());
  test::FillPicture(image->EditImage(), PixelLayout::kBgr8, 2, 2, seed);
  image->SetEnableEmbed(false);
  return image;
}

Frame Values(u32 delay, u32 value1, i32 x, i32 y, u8 r, u8 g, u8 b) {
  Frame f;
  f.Delay = delay;
  f.FrameValue1 = value1;
  f.OffsetX = x;
  f.OffsetY = y;
  f.FrameColor[0] = r;
  f.FrameColor[1] = g;
  f.FrameColor[2] = b;
  return f;
}

// Three stored frames over two images (the first and last share one).
struct ThreeFrames {
  CPointer<CAnmImage> animation{new CAnmImage()};
  CPointer<CImage> first = FrameImage(10);
  CPointer<CImage> second = FrameImage(90);
  ThreeFrames() {
    animation->SetName(u"blink");
    EXPECT_EQ(animation->AddFrame(Values(10, 1, 0, 0, 1, 2, 3), first.Get()), kOk);
    EXPECT_EQ(animation->AddFrame(Values(20, 2, -4, 5, 4, 5, 6), second.Get()), kOk);
    EXPECT_EQ(animation->AddFrame(Values(30, 3, 7, -8, 7, 8, 9), first.Get()), kOk);
  }
};

Result LoadAnmRecord(const ByteWriter& body, CStreamLoadRecord& record, const WString& devicePath = u"") {
  return test::LoadOneRecord(test::FramedRecord("CAnmImage", body), record, devicePath);
}

// --- frames --------------------------------------------------------------------------

TEST_F(AnmImageTest, DefaultsAndFixedAnswers) {
  CPointer<CAnmImage> animation(new CAnmImage());
  EXPECT_STREQ(animation->GetClassRecord().name, "CAnmImage");
  EXPECT_EQ(animation->GetVersion(), 201u);
  EXPECT_TRUE(animation->GetFileName().empty());
  EXPECT_EQ(animation->GetFrameCount(), 0u);
  EXPECT_EQ(animation->GetMemorySize(), 116u);
  EXPECT_FALSE(animation->HasSubObjects());
  // Only the root-class members are described.
  const std::string members = test::Members(animation.Get());
  EXPECT_EQ(members.find("CAnmImage Member"), std::string::npos);
  EXPECT_NE(members.find("CBase Member"), std::string::npos);
  ThreeFrames three;
  EXPECT_TRUE(three.animation->HasSubObjects());
  EXPECT_EQ(three.animation->GetMemorySize(), 116u);
}

TEST_F(AnmImageTest, GetFrameAndAddFrame) {
  ThreeFrames three;
  Frame frame;
  ASSERT_EQ(three.animation->GetFrame(1, frame), kOk);
  EXPECT_EQ(frame.Delay, 20u);
  EXPECT_EQ(frame.FrameValue1, 2u);
  EXPECT_EQ(frame.OffsetX, -4);
  EXPECT_EQ(frame.OffsetY, 5);
  EXPECT_EQ(frame.Image.Get(), three.second.Get());
  EXPECT_EQ(three.animation->GetFrame(3, frame), kErrInvalidArg);
  EXPECT_EQ(three.animation->GetFrame(0xFFFFFFFFu, frame), kErrInvalidArg);

  EXPECT_EQ(three.animation->AddFrame(Values(1, 1, 1, 1, 1, 1, 1), nullptr), kErrInvalidArg);
  EXPECT_EQ(three.animation->GetFrameCount(), 3u);
  // The fourth colour byte is always 0.
  Frame values = Values(5, 0, 0, 0, 0xAA, 0xBB, 0xCC);
  values.FrameColor[3] = 0xDD;
  ASSERT_EQ(three.animation->AddFrame(values, three.first.Get()), kOk);
  ASSERT_EQ(three.animation->GetFrame(3, frame), kOk);
  EXPECT_EQ(frame.FrameColor[2], 0xCC);
  EXPECT_EQ(frame.FrameColor[3], 0);
}

// --- the stored record ------------------------------------------------------------------

TEST_F(AnmImageTest, AStoredAnimationRoundTripsWith28BytesPerFrame) {
  ThreeFrames three;
  const Bytes first = test::SaveRoots({three.animation.Get()});
  // The animation's record, then its two images.
  EXPECT_EQ(first.size(), test::kFirstImageRecordOffset + three.animation->GetSaveSize() +
                              three.first->GetSaveSize() + three.second->GetSaveSize());

  // Its own record, byte for byte.
  CMemoryIo device;
  CStream stream;
  stream.SetDevice(&device);
  ASSERT_EQ(three.animation->Save(stream, 0), kOk);
  EXPECT_EQ(device.GetSize(), three.animation->GetSaveSize());
  ByteWriter body = test::RootPart(three.animation->GetUniqueId(), u"blink");
  body.Pair(2, 1).WStr(u"").U32(3);
  body.U32(10).U32(1).I32(0).I32(0).U8(1).U8(2).U8(3).U8(0).U64(three.first->GetUniqueId());
  body.U32(20).U32(2).I32(-4).I32(5).U8(4).U8(5).U8(6).U8(0).U64(three.second->GetUniqueId());
  body.U32(30).U32(3).I32(7).I32(-8).U8(7).U8(8).U8(9).U8(0).U64(three.first->GetUniqueId());
  EXPECT_EQ(device.GetData(), test::FramedRecord("CAnmImage", body));
  CPointer<CAnmImage> none(new CAnmImage());
  EXPECT_EQ(three.animation->GetSaveSize(), none->GetSaveSize() + 2 * 5 + 3 * 28);

  test::UseTestIds(1);
  CStream loadedStream;
  CMemoryIo loadedDevice;
  ASSERT_EQ(test::LoadScene(first, loadedStream, loadedDevice), kOk);
  const CAnmImage* loaded = DynamicCast<CAnmImage>(loadedStream.GetRootObject(0));
  ASSERT_NE(loaded, nullptr);
  ASSERT_EQ(loaded->GetFrameCount(), 3u);
  Frame f0, f1, f2;
  ASSERT_EQ(loaded->GetFrame(0, f0), kOk);
  ASSERT_EQ(loaded->GetFrame(1, f1), kOk);
  ASSERT_EQ(loaded->GetFrame(2, f2), kOk);
  ASSERT_NE(f0.Image.Get(), nullptr);
  EXPECT_EQ(f0.Image.Get(), f2.Image.Get());  // still shared
  EXPECT_EQ(test::PixelBytes(f1.Image->GetImage()), test::PixelBytes(three.second->GetImage()));
  EXPECT_EQ(f1.FrameColor[1], 5);
  EXPECT_EQ(test::RenumberIds(test::SaveLoaded(loadedStream)), test::RenumberIds(first));
  test::ExpectPrefixesFailBetweenRecords(first, test::kFirstImageRecordOffset);
}

TEST_F(AnmImageTest, OlderRecordsWithNarrowFramesLoad) {
  // Two images of their own, then the animation at 2.00 (or 1.01 with its
  // three skipped words, or 1.00 with one): a count and 24-byte frames
  // whose last 4 bytes are the image's id.
  struct Case {
    u32 major;
    u32 minor;
    std::vector<u32> skipped;
  };
  for (const Case& c : {Case{2, 0, {}}, Case{1, 1, {5, 6, 7}}, Case{1, 0, {5}}}) {
    SCOPED_TRACE(c.major * 100 + c.minor);
    test::UseTestIds(0);
    CPointer<CImage> a = FrameImage(3);
    CPointer<CImage> b = FrameImage(4);
    test::SceneImage scene;
    ByteWriter body = test::RootPart(0x70, u"old");
    body.Pair(c.major, c.minor);
    for (const u32 word : c.skipped) body.U32(word);
    body.WStr(u"").U32(2);
    body.U32(15).U32(1).I32(2).I32(3).U8(9).U8(8).U8(7).U8(0).U32(0x71);
    body.U32(25).U32(2).I32(4).I32(5).U8(6).U8(5).U8(4).U8(0).U32(0x72);
    scene.Record("CAnmImage", body, true);
    for (const auto& [image, id] : {std::pair{a, u64{0x71}}, std::pair{b, u64{0x72}}}) {
      const Bytes record = test::SaveObjectRecord(*image);
      // The saved record with its id replaced: class name (4 + 6), body
      // size (4), root version pair (8), then the id.
      Bytes patched = record;
      std::memcpy(&patched[4 + 6 + 4 + 8], &id, 8);
      ByteWriter imageBody;
      imageBody.Raw(patched.data() + 14, patched.size() - 14);
      scene.Record("CImage", imageBody);
    }
    CStream stream;
    CMemoryIo device;
    ASSERT_EQ(test::LoadScene(scene.Data(), stream, device), kOk);
    const CAnmImage* loaded = DynamicCast<CAnmImage>(stream.GetRootObject(0));
    ASSERT_NE(loaded, nullptr);
    ASSERT_EQ(loaded->GetFrameCount(), 2u);
    Frame f0, f1;
    ASSERT_EQ(loaded->GetFrame(0, f0), kOk);
    ASSERT_EQ(loaded->GetFrame(1, f1), kOk);
    EXPECT_EQ(f0.Delay, 15u);
    EXPECT_EQ(f1.OffsetY, 5);
    EXPECT_EQ(f1.FrameColor[0], 6);
    ASSERT_NE(f0.Image.Get(), nullptr);
    ASSERT_NE(f1.Image.Get(), nullptr);
    EXPECT_EQ(test::PixelBytes(f0.Image->GetImage()), test::PixelBytes(a->GetImage()));
    EXPECT_EQ(test::PixelBytes(f1.Image->GetImage()), test::PixelBytes(b->GetImage()));
    // Saved again in the current form: 28 bytes per frame.
    EXPECT_EQ(loaded->GetSaveSize(), test::SaveObjectRecord(*const_cast<CAnmImage*>(loaded)).size());
  }
}

TEST_F(AnmImageTest, FrameIdsThatNameNoImageLeaveTheFrameEmpty) {
  // The frame names the animation itself and an id that is not in the file.
  test::SceneImage scene;
  ByteWriter body = test::RootPart(0x70);
  body.Pair(2, 1).WStr(u"").U32(2);
  body.U32(1).U32(0).I32(0).I32(0).U32(0).U64(0x70);
  body.U32(1).U32(0).I32(0).I32(0).U32(0).U64(0x99);
  scene.Record("CAnmImage", body, true);
  CStream stream;
  CMemoryIo device;
  ASSERT_EQ(test::LoadScene(scene.Data(), stream, device), kOk);
  const CAnmImage* loaded = DynamicCast<CAnmImage>(stream.GetRootObject(0));
  ASSERT_NE(loaded, nullptr);
  Frame f;
  ASSERT_EQ(loaded->GetFrame(0, f), kOk);
  EXPECT_EQ(f.Image.Get(), nullptr);
  ASSERT_EQ(loaded->GetFrame(1, f), kOk);
  EXPECT_EQ(f.Image.Get(), nullptr);
  EXPECT_FALSE(loaded->HasSubObjects());
}

TEST_F(AnmImageTest, HostileFrameCountsAreRefusedBeforeAllocating) {
  struct Case {
    const char* label;
    u32 major;
    u32 minor;
    u32 count;
    u32 frameBytes;
    u32 present;
  };
  const Case cases[] = {
      {"huge count", 2, 1, 0xFFFFFFFFu, 28, 1},
      {"one frame more than the bytes", 2, 1, 3, 28, 2},
      {"narrow frames: one more than the bytes", 2, 0, 3, 24, 2},
      {"narrow frames: huge count", 2, 0, 0x20000000u, 24, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    ByteWriter body = test::RootPart(0x70);
    body.Pair(c.major, c.minor).WStr(u"").U32(c.count).Bytes(std::vector<u8>(c.present * c.frameBytes, 0));
    test::SceneImage scene;
    scene.Record("CAnmImage", body, true);
    CStream stream;
    CMemoryIo device;
    EXPECT_EQ(test::LoadScene(scene.Data(), stream, device), kErrStream);
    CStreamLoadRecord record;
    EXPECT_EQ(LoadAnmRecord(body, record), kErrStream);
  }
}

// --- linked animations ------------------------------------------------------------------

class LinkedAnimationTest : public AnmImageTest {
 protected:
  void SetUp() override {
    AnmImageTest::SetUp();
    ASSERT_TRUE(folder_.Valid());
    gif_ = Imaging::Testing::ThreeFrameAnimation();
    ASSERT_FALSE(gif_.empty());
  }
  void WriteGif(const std::string& relative) const {
    folder_.WriteFile(relative, std::string(gif_.begin(), gif_.end()));
  }
  static ByteWriter LinkedBody(const std::u16string& fileName, u64 id = 0x70) {
    ByteWriter body = test::RootPart(id);
    body.Pair(2, 1).WStr(fileName);
    return body;
  }

  Testing::TempFolder folder_;
  std::vector<u8> gif_;
};

TEST_F(LinkedAnimationTest, LoadFileDecodesEveryFrame) {
  WriteGif("three.gif");
  CPointer<CAnmImage> animation(new CAnmImage());
  ASSERT_EQ(animation->LoadFile(folder_.Wide("three.gif")), kOk);
  ASSERT_EQ(animation->GetFrameCount(), 3u);
  struct Expected {
    u32 delay;
    u32 disposal;
    i32 x, y, width, height;
    u32 layout;
  };
  const Expected expected[] = {
      {10, 1, 0, 0, 2, 2, PixelLayout::kBgr8},
      {20, 2, 1, 0, 1, 2, PixelLayout::kBgra8},  // a transparent index: alpha
      {30, 3, 0, 1, 2, 1, PixelLayout::kBgr8},
  };
  for (u32 i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    Frame f;
    ASSERT_EQ(animation->GetFrame(i, f), kOk);
    EXPECT_EQ(f.Delay, expected[i].delay);
    EXPECT_EQ(f.FrameValue1, expected[i].disposal);
    EXPECT_EQ(f.OffsetX, expected[i].x);
    EXPECT_EQ(f.OffsetY, expected[i].y);
    // The background colour of the screen: blue.
    EXPECT_EQ(f.FrameColor[0], 0);
    EXPECT_EQ(f.FrameColor[2], 255);
    EXPECT_EQ(f.FrameColor[3], 0);
    ASSERT_NE(f.Image.Get(), nullptr);
    const KTImage& pixels = f.Image->GetImage();
    EXPECT_EQ(pixels.Width, expected[i].width);
    EXPECT_EQ(pixels.Height, expected[i].height);
    EXPECT_EQ(pixels.Layout, expected[i].layout);
    EXPECT_EQ(pixels.Storage, PixelStorage::kHeap);
    EXPECT_EQ(pixels.DpiX, 300);  // GIF stores no resolution
    EXPECT_EQ(f.Image->GetEmbedFormat(), ImageFormat::kGif);
    EXPECT_EQ(f.Image->GetEmbedSize(), 0u);
    EXPECT_TRUE(f.Image->IsModified());
  }
  Frame first;
  ASSERT_EQ(animation->GetFrame(0, first), kOk);
  // Red, stored blue first.
  EXPECT_EQ(test::PixelBytes(first.Image->GetImage())[2], 255);

  // Library storage when asked for.
  ASSERT_EQ(animation->LoadFile(folder_.Wide("three.gif"), PixelStorage::kMapped), kOk);
  ASSERT_EQ(animation->GetFrame(0, first), kOk);
  EXPECT_EQ(first.Image->GetImage().Storage, PixelStorage::kMapped);
  EXPECT_TRUE(first.Image->HasPixels());

  struct Failure {
    const char* label;
    std::string file;
    std::string bytes;
    Result expected;
  };
  const Failure failures[] = {
      {"missing file", "none.gif", "", kErrFileSize},
      {"no format from the extension", "three.xyz", std::string(gif_.begin(), gif_.end()), kErrImageFormat},
      {"undecodable", "bad.gif", "GIF89a-not-really", kErrTreeData},
  };
  for (const Failure& f : failures) {
    SCOPED_TRACE(f.label);
    if (!f.bytes.empty()) folder_.WriteFile(f.file, f.bytes);
    EXPECT_EQ(animation->LoadFile(folder_.Wide(f.file)), f.expected);
    EXPECT_EQ(animation->GetFrameCount(), 0u);
  }
}

TEST_F(LinkedAnimationTest, ALinkedAnimationSavesOnlyItsFileName) {
  WriteGif("saved.gif");
  CPointer<CAnmImage> animation(new CAnmImage());
  ASSERT_EQ(animation->LoadFile(folder_.Wide("saved.gif")), kOk);
  animation->SetFileName(folder_.Wide("saved.gif"));
  CMemoryIo device;
  CStream stream;
  stream.SetDevice(&device);
  ASSERT_EQ(animation->Save(stream, 0), kOk);
  EXPECT_EQ(device.GetData(), test::FramedRecord("CAnmImage", LinkedBody(folder_.Wide("saved.gif"),
                                                                         animation->GetUniqueId())));
  EXPECT_EQ(device.GetSize(), animation->GetSaveSize());
  // Its frames are not part of the file.
  const Bytes file = test::SaveRoots({animation.Get()});
  EXPECT_EQ(file.size(), test::kFirstImageRecordOffset + animation->GetSaveSize());
}

TEST_F(LinkedAnimationTest, TwoLinksToOneFileShareTheFirstAnimation) {
  WriteGif("shared.gif");
  const std::u16string path = folder_.Wide("shared.gif");
  CStreamLoadRecord first;
  ASSERT_EQ(LoadAnmRecord(LinkedBody(path, 0x70), first), kOk);
  const CAnmImage* animation = DynamicCast<CAnmImage>(first.object.Get());
  ASSERT_NE(animation, nullptr);
  EXPECT_EQ(animation->GetFrameCount(), 3u);
  EXPECT_EQ(animation->GetFileName(), path);
  EXPECT_EQ(CAnmImage::GetLinkedAnimationCache().at(path).Get(), animation);

  CStreamLoadRecord second;
  EXPECT_EQ(LoadAnmRecord(LinkedBody(path, 0x71), second), kOk);
  EXPECT_EQ(second.object.Get(), animation);
  EXPECT_EQ(second.id, animation->GetUniqueId());
}

TEST_F(LinkedAnimationTest, RelativeAndMovedPaths) {
  WriteGif("scene/rel.gif");
  WriteGif("scene/moved.gif");
  const std::u16string sceneFile = folder_.Wide("scene/file.drn");
  const std::u16string sceneFolder = folder_.Wide("scene");
  struct Case {
    const char* label;
    std::u16string fileName;
    Result expected;
    std::u16string path;  // FileName after the load
  };
  const Case cases[] = {
      {"relative to the scene file", u"rel.gif", kOk, sceneFolder + u"\\rel.gif"},
      {"moved: the file name beside the scene", u"D:\\art\\moved.gif", kOk, sceneFolder + u"\\moved.gif"},
      {"moved with forward slashes", u"/nowhere/art/moved.gif", kOk, sceneFolder + u"\\moved.gif"},
      {"missing without any separator", u"absent.gif", kErrNotFound, u"absent.gif"},
      {"missing with separators", u"art\\absent.gif", kErrFileSize, sceneFolder + u"\\absent.gif"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    CStreamLoadRecord record;
    EXPECT_EQ(LoadAnmRecord(LinkedBody(c.fileName), record, sceneFile), c.expected);
    const CAnmImage* animation = DynamicCast<CAnmImage>(record.object.Get());
    ASSERT_NE(animation, nullptr);
    EXPECT_EQ(animation->GetFileName(), c.path);
  }
}

// --- copies and walks -----------------------------------------------------------------------

TEST_F(AnmImageTest, CloneClonesTheFrameImagesThroughTheMap) {
  ThreeFrames three;
  three.animation->SetFileName(u"");
  CloneMap map;
  CPointer<CBase> out;
  ASSERT_EQ(three.animation->Clone(out, map, 0), kOk);
  CAnmImage* copy = DynamicCast<CAnmImage>(out.Get());
  ASSERT_NE(copy, nullptr);
  Frame f0, f1, f2;
  ASSERT_EQ(copy->GetFrame(0, f0), kOk);
  ASSERT_EQ(copy->GetFrame(1, f1), kOk);
  ASSERT_EQ(copy->GetFrame(2, f2), kOk);
  EXPECT_NE(f0.Image.Get(), three.first.Get());
  EXPECT_EQ(f0.Image.Get(), f2.Image.Get());  // shared once, cloned once
  EXPECT_EQ(map.at(three.second.Get()).Get(), f1.Image.Get());
  EXPECT_EQ(test::PixelBytes(f1.Image->GetImage()), test::PixelBytes(three.second->GetImage()));
  EXPECT_EQ(f1.Delay, 20u);
  CPointer<CBase> again;
  EXPECT_EQ(three.animation->Clone(again, map, 0), kDone);
  EXPECT_EQ(again.Get(), out.Get());

  // CreateInstance shares the images and leaves FileName empty.
  three.animation->SetFileName(u"x.gif");
  CPointer<CBase> instance;
  ASSERT_EQ(three.animation->CreateInstance(instance), kOk);
  const CAnmImage* shallow = DynamicCast<CAnmImage>(instance.Get());
  ASSERT_NE(shallow, nullptr);
  EXPECT_TRUE(shallow->GetFileName().empty());
  ASSERT_EQ(shallow->GetFrame(1, f1), kOk);
  EXPECT_EQ(f1.Image.Get(), three.second.Get());
}

TEST_F(AnmImageTest, CopyToSharesTheFrames) {
  ThreeFrames three;
  three.animation->SetFileName(u"x.gif");
  CPointer<CAnmImage> target(new CAnmImage());
  CPointer<CImage> former = FrameImage(1);
  ASSERT_EQ(target->AddFrame({}, former.Get()), kOk);
  DisplacedList displaced;
  ASSERT_EQ(three.animation->CopyTo(target.Get(), displaced, 0), kOk);
  EXPECT_EQ(target->GetFileName(), u"x.gif");
  EXPECT_EQ(target->GetFrameCount(), 3u);
  Frame f;
  ASSERT_EQ(target->GetFrame(1, f), kOk);
  EXPECT_EQ(f.Image.Get(), three.second.Get());
  ASSERT_EQ(displaced.size(), 1u);
  EXPECT_EQ(displaced[0].Get(), former.Get());
  EXPECT_EQ(target->GetName(), u"blink");

  EXPECT_EQ(three.animation->CopyTo(nullptr, displaced, 0), kErrInvalidArg);
  CPointer<CVersionData> other(new CVersionData());
  EXPECT_EQ(three.animation->CopyTo(other.Get(), displaced, 0), kErrNotFound);
}

TEST_F(AnmImageTest, WalksReachTheFrameImages) {
  ThreeFrames three;
  three.second->SetName(u"second");
  EXPECT_EQ(three.animation->Find(u"second", nullptr, false, false), three.second.Get());
  EXPECT_EQ(three.animation->Find(u"blink", nullptr, false, false), three.animation.Get());
  EXPECT_EQ(three.animation->Find(u"none", nullptr, false, false), nullptr);

  std::vector<CBase*> images;
  three.animation->Collect(images, nullptr, &CImage::StaticClassRecord(), false, false);
  EXPECT_EQ(images, (std::vector<CBase*>{three.first.Get(), three.second.Get(), three.first.Get()}));

  EXPECT_TRUE(three.animation->UpdateMarked({three.second.Get()}));
  EXPECT_TRUE(three.animation->IsMarked());
  EXPECT_TRUE(three.second->IsMarked());
  EXPECT_FALSE(three.first->IsMarked());
  three.animation->ClearMarked();
  EXPECT_FALSE(three.animation->IsMarked());
  EXPECT_FALSE(three.second->IsMarked());
  EXPECT_FALSE(three.animation->UpdateMarked({}));

  struct Recorder : CReferenceVisitor {
    std::vector<std::pair<CBase*, u32>> seen;
    void Visit(CBase* object, u32 owned) override { seen.emplace_back(object, owned); }
  } recorder;
  three.animation->EnumReferences(recorder);
  ASSERT_EQ(recorder.seen.size(), 3u);
  EXPECT_EQ(recorder.seen[1], (std::pair<CBase*, u32>{three.second.Get(), 1}));
}

TEST_F(AnmImageTest, RegisterForSaveAddsTheFrameImagesOfStoredFramesOnly) {
  ThreeFrames three;
  {
    CStream stream;
    EXPECT_EQ(three.animation->RegisterForSave(stream, 0), kOk);
    EXPECT_EQ(three.animation->RegisterForSave(stream, 0), kDone);
    // Both images are registered already.
    EXPECT_EQ(three.first->RegisterForSave(stream, 0), kDone);
    EXPECT_EQ(three.second->RegisterForSave(stream, 0), kDone);
  }
  three.animation->SetFileName(u"linked.gif");
  CStream stream;
  EXPECT_EQ(three.animation->RegisterForSave(stream, 0), kOk);
  EXPECT_EQ(three.first->RegisterForSave(stream, 0), kOk);
}

TEST_F(AnmImageTest, FramesInTheObjectListKeepTheImagesListedBeforeThem) {
  // The object list has no link pass: an animation listed after its frame
  // images still finds them when the file is read.
  ThreeFrames three;
  test::SceneParts parts;
  parts.objects = {three.first.Get(), three.second.Get(), three.animation.Get()};
  const Bytes file = test::SaveScene(parts);
  test::UseTestIds(1);
  CStream stream;
  CMemoryIo device;
  ASSERT_EQ(test::LoadScene(file, stream, device), kOk);
  ASSERT_EQ(stream.GetObjectCount(), 3u);
  const CAnmImage* loaded = DynamicCast<CAnmImage>(stream.GetObject(2));
  ASSERT_NE(loaded, nullptr);
  Frame f0, f1;
  ASSERT_EQ(loaded->GetFrame(0, f0), kOk);
  ASSERT_EQ(loaded->GetFrame(1, f1), kOk);
  EXPECT_EQ(f0.Image.Get(), stream.GetObject(0));
  EXPECT_EQ(f1.Image.Get(), stream.GetObject(1));
  EXPECT_EQ(test::RenumberIds(test::SaveLoaded(stream)), test::RenumberIds(file));
}

}  // namespace
}  // namespace KT
