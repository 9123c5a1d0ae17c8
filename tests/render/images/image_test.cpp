// KT::CImage: its record in every form (embedded, raw, linked, older
// versions), the linked-image cache and the search for moved files, the
// embedded block, copies and the pixel operations.
#include "render/images/image.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "image_test_support.h"
#include "objectmodel/version_data.h"
#include "platform/mmf.h"
#include "scene/member_text_writer.h"
#include "support/temp_folder.h"

namespace KT {
namespace {

using test::ByteWriter;
using test::Bytes;

class ImageTest : public test::ImageTest {};

// --- pictures and images ------------------------------------------------------

CPointer<CImage> RawImage(u32 layout, i32 width, i32 height, u16 alignRows = 0, u16 storage = PixelStorage::kHeap) {
  CPointer<CImage> image(new CImage(storage));
  image->EditImage().AlignRows = alignRows;
  test::FillPicture(image->EditImage(), layout, width, height);
  image->SetEnableEmbed(false);
  return image;
}

CPointer<CImage> EmbeddedImage(u32 format, i32 width, i32 height) {
  CPointer<CImage> image(new CImage(PixelStorage::kMapped));
  test::FillPicture(image->EditImage(), PixelLayout::kBgr8, width, height);
  image->SetEmbedFormat(format);
  EXPECT_EQ(image->PrepareRuntime(nullptr), kOk);
  return image;
}

// The image record's own part as bytes, for byte images of records.
struct ImagePart {
  u32 major = 2;
  u32 minor = 5;
  std::vector<u32> skipped;  // words of records below 2.00
  std::u16string linkName;
  std::u16string lastLoadName;
  std::u16string relName;
  bool withLastLoadName = true;  // 2.03 and later
  bool withRelName = true;       // 2.04 and later
  u16 storage = 1;
};

ByteWriter ImageBody(const ImagePart& p, u64 id = 0x51) {
  ByteWriter w = test::RootPart(id);
  w.Pair(p.major, p.minor);
  for (const u32 word : p.skipped) w.U32(word);
  w.WStr(p.linkName);
  if (p.withLastLoadName) w.WStr(p.lastLoadName);
  if (p.withRelName) w.WStr(p.relName);
  w.U16(p.storage);
  return w;
}

// The raw pixel form: shape, marker, rows.
ByteWriter& RawPixels(ByteWriter& w, u32 width, u32 height, u32 layout, u32 marker, const std::vector<u8>& rows,
                      u16 alignRows = 0) {
  w.U32(width).U32(height).U32(layout).U16(alignRows).U32(96).U32(96).U32(marker).Bytes(rows);
  return w;
}

Result LoadImageRecord(const ByteWriter& body, CPointer<CImage>& out, const WString& devicePath = u"") {
  CStreamLoadRecord record;
  const Result r = test::LoadOneRecord(test::FramedRecord("CImage", body), record, devicePath);
  out = DynamicCast<CImage>(record.object.Get());
  return r;
}

// --- defaults -------------------------------------------------------------------

TEST_F(ImageTest, DefaultsAndFixedAnswers) {
  CPointer<CImage> image(new CImage());
  EXPECT_STREQ(image->GetClassRecord().name, "CImage");
  EXPECT_EQ(image->GetVersion(), 205u);
  EXPECT_TRUE(image->GetLinkName().empty());
  EXPECT_EQ(image->GetEmbedFormat(), ImageFormat::kJpg);
  EXPECT_TRUE(image->GetEnableEmbed());
  EXPECT_EQ(image->GetEmbedSize(), 0u);
  EXPECT_EQ(image->GetMmfId(), 0u);
  EXPECT_EQ(image->GetImage().DpiX, 96);
  EXPECT_EQ(image->GetImage().Storage, PixelStorage::kHeap);
  EXPECT_FALSE(image->HasPixels());
  EXPECT_EQ(image->GetMemorySize(), 216u);
  image->SetLinkName(u"abc");
  EXPECT_EQ(image->GetMemorySize(), 216u + 6u);

  CStream stream;
  CStreamLoadRecord record;
  EXPECT_EQ(image->Link(stream, record, 0), kDone);
  EXPECT_EQ(image->Reserved17(nullptr, nullptr), kErrInvalidArg);
  EXPECT_EQ(image->Reserved18(nullptr, nullptr), kErrInvalidArg);

  // The factory's images keep their pixels in the memory library.
  CPointer<CBase> made;
  Result r = kErrStream;
  CClassFactory::FindCreator("CImage")(r, made);
  ASSERT_EQ(r, kOk);
  ASSERT_NE(DynamicCast<CImage>(made.Get()), nullptr);
  EXPECT_EQ(DynamicCast<CImage>(made.Get())->GetImage().Storage, PixelStorage::kMapped);

  CPointer<CImage> raw = RawImage(PixelLayout::kBgr8, 5, 2);
  EXPECT_EQ(raw->GetMemorySize(), 30u + 216u);
}

TEST_F(ImageTest, DescribesItsMembersBeforeTheRootClass) {
  CPointer<CImage> image = EmbeddedImage(ImageFormat::kPng, 3, 2);
  image->SetLinkName(u"");
  CMemberTextWriter writer;
  image->DescribeMembers(writer);
  const std::string text = writer.GetText();
  const std::string expectedStart =
      "CImage Member\n"
      "  LinkName = \"\"\n"
      "  LastLoadName = \"\"\n"
      "  RelName = \"\"\n"
      "  KTImage\n"
      "    Width = 3\n";
  EXPECT_EQ(text.substr(0, expectedStart.size()), expectedStart);
  for (const char* line : {"EmbedFormat = 3 IFF_PNG", "EnableEmbed = true", "EmbedSize = ", "lMMFID = ", "CBase Member"}) {
    EXPECT_NE(text.find(line), std::string::npos) << line << "\n" << text;
  }
  EXPECT_LT(text.find("lMMFID"), text.find("CBase Member"));
}

// --- stored content ------------------------------------------------------------

struct StoredCase {
  const char* label;
  CPointer<CImage> (*make)();
};

const StoredCase kStored[] = {
    {"embedded PNG", [] { return EmbeddedImage(ImageFormat::kPng, 4, 3); }},
    {"embedded JPEG", [] { return EmbeddedImage(ImageFormat::kJpg, 4, 3); }},
    {"embedded BMP", [] { return EmbeddedImage(ImageFormat::kBmp, 3, 2); }},
    {"embedded TGA", [] { return EmbeddedImage(ImageFormat::kTga, 3, 2); }},
    {"embedded HDR", [] { return EmbeddedImage(ImageFormat::kHdr, 2, 2); }},
    {"embedded without pixels", [] { return CPointer<CImage>(new CImage(PixelStorage::kMapped)); }},
    {"raw BGR aligned, library storage",
     [] { return RawImage(PixelLayout::kBgr8, 5, 2, 1, PixelStorage::kMapped); }},
    {"raw BGRA heap", [] { return RawImage(PixelLayout::kBgra8, 3, 3); }},
    {"raw float", [] { return RawImage(PixelLayout::kRgbFloat, 2, 2); }},
    {"raw without pixels", [] {
       CPointer<CImage> image(new CImage());
       image->SetEnableEmbed(false);
       return image;
     }},
};

TEST_F(ImageTest, StoredImagesSaveLoadAndSaveTheSameBytes) {
  for (const StoredCase& c : kStored) {
    SCOPED_TRACE(c.label);
    test::UseTestIds(0);
    CPointer<CImage> image = c.make();
    image->SetName(u"picture");
    const Bytes first = test::SaveRoots({image.Get()});
    ASSERT_FALSE(first.empty());
    EXPECT_EQ(first.size(), test::kFirstImageRecordOffset + image->GetSaveSize());

    test::UseTestIds(1);
    CStream stream;
    CMemoryIo device;
    ASSERT_EQ(test::LoadScene(first, stream, device), kOk);
    CImage* loaded = DynamicCast<CImage>(stream.GetRootObject(0));
    ASSERT_NE(loaded, nullptr);
    EXPECT_EQ(loaded->HasPixels(), image->HasPixels());
    if (image->GetEnableEmbed()) {
      // The pixels come from decoding the bytes (their layout and
      // resolution are the decoder's); the bytes stay as they were.
      EXPECT_EQ(loaded->GetEmbedFormat(), image->GetEmbedFormat());
      EXPECT_EQ(loaded->GetName(), image->GetName());
    } else {
      EXPECT_EQ(test::Members(loaded), test::Members(image.Get()));
      EXPECT_EQ(test::PixelBytes(loaded->GetImage()), test::PixelBytes(image->GetImage()));
    }
    EXPECT_EQ(loaded->GetEmbeddedBytes(), image->GetEmbeddedBytes());
    EXPECT_EQ(loaded->GetSaveSize(), image->GetSaveSize());
    EXPECT_EQ(test::RenumberIds(test::SaveLoaded(stream)), test::RenumberIds(first));
  }
}

TEST_F(ImageTest, EveryCutOfAStoredImageFailsCleanly) {
  for (const StoredCase& c : kStored) {
    SCOPED_TRACE(c.label);
    CPointer<CImage> image = c.make();
    test::ExpectPrefixesFailBetweenRecords(test::SaveRoots({image.Get()}), test::kFirstImageRecordOffset);
  }
}

TEST_F(ImageTest, EnableEmbedChoosesEncodedBytesOrRawPixels) {
  // With EnableEmbed, registering for the save encodes the pixels in
  // EmbedFormat; the record holds the encoded file.
  CPointer<CImage> embedded = RawImage(PixelLayout::kBgr8, 4, 4);
  embedded->SetEnableEmbed(true);
  embedded->SetEmbedFormat(ImageFormat::kPng);
  ASSERT_EQ(embedded->GetEmbedSize(), 0u);
  const Bytes file = test::SaveRoots({embedded.Get()});
  ASSERT_GT(embedded->GetEmbedSize(), 8u);
  const std::vector<u8> png = embedded->GetEmbeddedBytes();
  EXPECT_EQ(std::vector<u8>(png.begin() + 1, png.begin() + 4), (std::vector<u8>{'P', 'N', 'G'}));
  ByteWriter tail;
  tail.U8(1).U32(ImageFormat::kPng).U32(static_cast<u32>(png.size())).Bytes(png);
  ASSERT_GE(file.size(), tail.Size());
  EXPECT_EQ(Bytes(file.end() - static_cast<std::ptrdiff_t>(tail.Size()), file.end()), tail.Data());

  // Without it the rows are written as they are.
  CPointer<CImage> raw = RawImage(PixelLayout::kBgr8, 2, 1);
  const Bytes rawFile = test::SaveRoots({raw.Get()});
  ByteWriter rawTail;
  rawTail.U8(0);
  RawPixels(rawTail, 2, 1, PixelLayout::kBgr8, 1, test::PixelBytes(raw->GetImage()));
  EXPECT_EQ(Bytes(rawFile.end() - static_cast<std::ptrdiff_t>(rawTail.Size()), rawFile.end()), rawTail.Data());
  EXPECT_EQ(raw->GetEmbedSize(), 0u);
}

TEST_F(ImageTest, PrepareRuntimeAnswers) {
  CPointer<CImage> image = RawImage(PixelLayout::kBgr8, 2, 2);
  EXPECT_EQ(image->PrepareRuntime(nullptr), kDone);  // EnableEmbed clear
  image->SetEnableEmbed(true);
  image->SetEmbedFormat(ImageFormat::kNone);  // no encoder for code 0
  EXPECT_EQ(image->PrepareRuntime(nullptr), kErrTreeData);
  CStream stream;
  EXPECT_EQ(image->RegisterForSave(stream, 0), kErrTreeData);
  image->SetEmbedFormat(ImageFormat::kBmp);
  EXPECT_EQ(image->PrepareRuntime(nullptr), kOk);
  EXPECT_EQ(image->PrepareRuntime(nullptr), kDone);  // the bytes exist
  EXPECT_EQ(image->RegisterForSave(stream, 0), kOk);
  EXPECT_EQ(image->RegisterForSave(stream, 0), kDone);
  // An image without pixels has nothing to encode and still saves.
  CPointer<CImage> empty(new CImage());
  EXPECT_EQ(empty->PrepareRuntime(nullptr), kDone);
}

// --- the record's layout ----------------------------------------------------------

TEST_F(ImageTest, ALinkedImageSavesOnlyItsNamesAndStorageKind) {
  CPointer<CImage> image = RawImage(PixelLayout::kBgr8, 2, 2, 0, PixelStorage::kMapped);
  image->SetLinkName(u"C:\\maps\\wood.png");
  image->SetLastLoadName(u"D:\\wood.png");
  image->SetRelName(u"wood.png");
  CMemoryIo device;
  CStream stream;
  stream.SetDevice(&device);
  ASSERT_EQ(image->Save(stream, 0), kOk);
  ImagePart part;
  part.linkName = u"C:\\maps\\wood.png";
  part.lastLoadName = u"D:\\wood.png";
  part.relName = u"wood.png";
  part.storage = PixelStorage::kMapped;
  EXPECT_EQ(device.GetData(), test::FramedRecord("CImage", ImageBody(part, image->GetUniqueId())));
  EXPECT_EQ(device.GetSize(), image->GetSaveSize());
}

// --- older forms and the edge cases of the record ---------------------------------

TEST_F(ImageTest, ARawRecordWithMarkerZeroLoadsWithoutPixels) {
  ImagePart part;
  ByteWriter body = ImageBody(part);
  body.U8(0);
  RawPixels(body, 640, 480, PixelLayout::kBgr8, 0, {});
  CPointer<CImage> image;
  ASSERT_EQ(LoadImageRecord(body, image), kOk);
  EXPECT_FALSE(image->HasPixels());
  EXPECT_FALSE(image->GetEnableEmbed());
}

TEST_F(ImageTest, OlderRecordsLoad) {
  const std::vector<u8> jpeg = test::EncodedPicture(ImageFormat::kJpg, 6, 4);
  const std::vector<u8> rows = {1, 2, 3, 4, 5, 6};

  // Below 2.00: skipped words, no format field: the bytes are a JPEG for
  // the system decoder.
  for (const u32 minor : {0u, 2u}) {
    SCOPED_TRACE(minor);
    ImagePart part;
    part.major = 1;
    part.minor = minor;
    part.skipped = minor >= 1 ? std::vector<u32>{7, 8, 9} : std::vector<u32>{7};
    part.withLastLoadName = false;
    part.withRelName = false;
    part.storage = 0;
    ByteWriter body = ImageBody(part);
    body.U8(1).U32(static_cast<u32>(jpeg.size())).Bytes(jpeg);
    CPointer<CImage> image;
    ASSERT_EQ(LoadImageRecord(body, image), kOk);
    EXPECT_EQ(image->GetEmbedFormat(), ImageFormat::kJpg);
    EXPECT_EQ(image->GetEmbeddedBytes(), jpeg);
    KTImage expected;
    ASSERT_EQ(DecodeImageGdiplus(expected, jpeg.data(), static_cast<u32>(jpeg.size())), kOk);
    EXPECT_EQ(test::PixelBytes(image->GetImage()), test::PixelBytes(expected));
    EXPECT_EQ(image->GetImage().Storage, PixelStorage::kMapped);  // the kind of old records
  }

  // 2.02: no LastLoadName (it is LinkName) and no RelName; the storage
  // kind read is replaced by 1.
  // 2.04: RelName, and again the storage kind becomes 1.
  struct Case {
    u32 minor;
    bool withLastLoadName;
    bool withRelName;
  };
  for (const Case& c : {Case{2, false, false}, Case{3, true, false}, Case{4, true, true}}) {
    SCOPED_TRACE(c.minor);
    ImagePart part;
    part.minor = c.minor;
    part.withLastLoadName = c.withLastLoadName;
    part.withRelName = c.withRelName;
    part.relName = u"rel.png";
    part.storage = PixelStorage::kHeap;
    ByteWriter body = ImageBody(part);
    body.U8(0);
    RawPixels(body, 2, 1, PixelLayout::kBgr8, 1, rows);
    CPointer<CImage> image;
    ASSERT_EQ(LoadImageRecord(body, image), kOk);
    EXPECT_EQ(image->GetImage().Storage, PixelStorage::kMapped);
    EXPECT_EQ(test::PixelBytes(image->GetImage()), rows);
    EXPECT_EQ(image->GetRelName(), c.withRelName ? u"rel.png" : u"");
  }

  // 2.05 keeps the stored kind; a kind that is neither heap nor library
  // (borrowed memory cannot come from a file) loads as heap.
  for (const u16 stored : {u16{0}, u16{1}, u16{2}, u16{9}}) {
    SCOPED_TRACE(stored);
    ImagePart part;
    part.storage = stored;
    ByteWriter body = ImageBody(part);
    body.U8(0);
    RawPixels(body, 2, 1, PixelLayout::kBgr8, 1, rows);
    CPointer<CImage> image;
    ASSERT_EQ(LoadImageRecord(body, image), kOk);
    EXPECT_EQ(image->GetImage().Storage, stored == 1 ? PixelStorage::kMapped : PixelStorage::kHeap);
    EXPECT_EQ(test::PixelBytes(image->GetImage()), rows);
  }
}

TEST_F(ImageTest, EmbeddedBytesDecodeByTheirFormat) {
  // TGA has no signature: only the image library's route, which is told
  // the format, reads it.
  const std::vector<u8> tga = test::EncodedPicture(ImageFormat::kTga, 3, 2);
  struct Case {
    const char* label;
    u32 format;
    Result expected;
  };
  const Case cases[] = {
      {"TGA through the image library", ImageFormat::kTga, kOk},
      {"TGA bytes named JPEG go to the system decoder", ImageFormat::kJpg, kErrMissingObject},
      {"TGA bytes named HDR go to the RGBE codec", ImageFormat::kHdr, kErrImageFormat},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    ByteWriter body = ImageBody(ImagePart{});
    body.U8(1).U32(c.format).U32(static_cast<u32>(tga.size())).Bytes(tga);
    CPointer<CImage> image;
    const Result r = LoadImageRecord(body, image);
    if (c.expected == kErrImageFormat) {
      EXPECT_LT(r, 0);
    } else {
      EXPECT_EQ(r, c.expected);
    }
    EXPECT_EQ(image->HasPixels(), Succeeded(r));
    EXPECT_EQ(image->GetEmbedSize(), Succeeded(r) ? tga.size() : 0u);
  }

  // A byte count of 0 ends the record: no pixels.
  ByteWriter body = ImageBody(ImagePart{});
  body.U8(1).U32(ImageFormat::kPng).U32(0);
  CPointer<CImage> image;
  ASSERT_EQ(LoadImageRecord(body, image), kOk);
  EXPECT_FALSE(image->HasPixels());
}

TEST_F(ImageTest, HostileSizesAreRefusedBeforeAllocating) {
  struct Case {
    const char* label;
    ByteWriter body;
    Result expected;
  };
  auto embedded = [](u32 size, u32 present) {
    ByteWriter w = ImageBody(ImagePart{});
    w.U8(1).U32(ImageFormat::kPng).U32(size).Bytes(std::vector<u8>(present, 0x55));
    return w;
  };
  auto raw = [](u32 width, u32 height, u32 layout, u32 present) {
    ByteWriter w = ImageBody(ImagePart{});
    w.U8(0);
    RawPixels(w, width, height, layout, 1, std::vector<u8>(present, 0x66));
    return w;
  };
  // The record is the last of the file: a size past it is past the data.
  const Case cases[] = {
      {"embedded size beyond the record", embedded(0xFFFFFFF0u, 16), kErrStream},
      {"embedded size one past the record", embedded(17, 16), kErrStream},
      {"raw width beyond 31 bits", raw(0xFFFFFFFFu, 1, 0, 16), kErrStream},
      {"raw rows beyond the record", raw(4, 0x7FFFFFFFu, 0, 16), kErrStream},
      {"raw row size wrapping 32 bits", raw(0x40000000u, 4, PixelLayout::kRgbFloat, 16), kErrStream},
      {"raw unknown layout", raw(2, 2, 7, 16), kErrNotFound},
      {"raw zero width with a marker", raw(0, 2, 0, 0), kErrInvalidArg},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    test::SceneImage scene;
    scene.Record("CImage", c.body, true);
    CStream stream;
    CMemoryIo device;
    EXPECT_EQ(test::LoadScene(scene.Data(), stream, device), c.expected);
    CPointer<CImage> image;
    EXPECT_EQ(LoadImageRecord(c.body, image), c.expected);
  }
}

TEST_F(ImageTest, NewerRecordsAreRefused) {
  ImagePart part;
  part.minor = 6;
  CPointer<CImage> image;
  EXPECT_EQ(LoadImageRecord(ImageBody(part), image), kErrNewerVersion);
}

// --- linked images ------------------------------------------------------------------

class LinkedImageTest : public ImageTest {
 protected:
  void SetUp() override {
    ImageTest::SetUp();
    ASSERT_TRUE(folder_.Valid());
    png_ = test::EncodedPicture(ImageFormat::kPng, 3, 2);
    folders_ = CImage::GetSearchFolders();
  }
  void TearDown() override { CImage::GetSearchFolders() = folders_; }

  // A record linking `link` with the given last-load and relative names.
  static ByteWriter LinkedBody(const std::u16string& link, const std::u16string& last = u"",
                               const std::u16string& rel = u"", u64 id = 0x51) {
    ImagePart part;
    part.linkName = link;
    part.lastLoadName = last;
    part.relName = rel;
    return ImageBody(part, id);
  }
  void WritePng(const std::string& relative) const {
    folder_.WriteFile(relative, std::string(png_.begin(), png_.end()));
  }

  Testing::TempFolder folder_;
  std::vector<u8> png_;
  std::vector<WString> folders_;
};

TEST_F(LinkedImageTest, TheFileIsDecodedOnceAndCached) {
  WritePng("a/wood.png");
  const std::u16string path = folder_.Wide("a/wood.png");
  CPointer<CImage> first;
  ASSERT_EQ(LoadImageRecord(LinkedBody(path), first), kOk);
  EXPECT_TRUE(first->HasPixels());
  EXPECT_EQ(first->GetLastLoadName(), path);
  EXPECT_EQ(first->GetEmbedFormat(), ImageFormat::kPng);
  EXPECT_FALSE(first->GetEnableEmbed());  // a linked image keeps no embedded bytes
  EXPECT_FALSE(first->IsModified());
  EXPECT_EQ(CImage::FindLinkedImage(path), first.Get());

  // The second record of the same path stands for the first image.
  CStreamLoadRecord record;
  EXPECT_EQ(test::LoadOneRecord(test::FramedRecord("CImage", LinkedBody(path, u"", u"", 0x52)), record), kDone);
  EXPECT_EQ(record.object.Get(), first.Get());
  EXPECT_EQ(record.id, first->GetUniqueId());
}

TEST_F(LinkedImageTest, ReferencesToTwoLinksOfOnePathResolveToTheFirst) {
  WritePng("twice.png");
  const std::u16string path = folder_.Wide("twice.png");
  CPointer<CAnmImage> holder(new CAnmImage());
  CPointer<CImage> a(new CImage());
  CPointer<CImage> b(new CImage());
  a->SetLinkName(path);
  b->SetLinkName(path);
  ASSERT_EQ(holder->AddFrame({}, a.Get()), kOk);
  ASSERT_EQ(holder->AddFrame({}, b.Get()), kOk);
  const Bytes file = test::SaveRoots({holder.Get()});

  test::UseTestIds(1);
  CStream stream;
  CMemoryIo device;
  ASSERT_EQ(test::LoadScene(file, stream, device), kOk);
  const CAnmImage* loaded = DynamicCast<CAnmImage>(stream.GetRootObject(0));
  ASSERT_NE(loaded, nullptr);
  CAnmImage::CFrame f0, f1;
  ASSERT_EQ(loaded->GetFrame(0, f0), kOk);
  ASSERT_EQ(loaded->GetFrame(1, f1), kOk);
  ASSERT_NE(f0.Image.Get(), nullptr);
  EXPECT_EQ(f0.Image.Get(), f1.Image.Get());
  EXPECT_EQ(f0.Image.Get(), CImage::FindLinkedImage(path));
  EXPECT_TRUE(f0.Image->HasPixels());
}

TEST_F(LinkedImageTest, AMissingFileLeavesAnImageWithoutPixelsThatIsCachedToo) {
  const std::u16string path = folder_.Wide("gone/missing.png");
  CPointer<CImage> first;
  ASSERT_EQ(LoadImageRecord(LinkedBody(path, u"", u"", 0x51), first), kOk);
  EXPECT_FALSE(first->HasPixels());
  EXPECT_EQ(first->GetLastLoadName(), path);
  EXPECT_EQ(CImage::FindLinkedImage(path), first.Get());

  // The file appears later in the process: the path still answers the
  // image cached without pixels.
  WritePng("gone/missing.png");
  CStreamLoadRecord record;
  EXPECT_EQ(test::LoadOneRecord(test::FramedRecord("CImage", LinkedBody(path, u"", u"", 0x52)), record), kDone);
  EXPECT_EQ(record.object.Get(), first.Get());
  EXPECT_FALSE(first->HasPixels());
}

TEST_F(LinkedImageTest, MovedFilesAreFoundInTheCandidateOrder) {
  // Each case links a file of its own name (so that the cache does not
  // answer) that is no longer at its stored path.
  struct Case {
    const char* label;
    std::string name;
    std::string lastFolder;  // where LastLoadName points ("" for none)
    std::vector<std::string> searchFolders;
    std::string expected;  // the file found, relative to the temporary folder
  };
  const Case cases[] = {
      {"the last load name first", "first.png", "last/", {"search/"}, "last/first.png"},
      {"then a search folder and the relative name", "second.png", "", {"nothing/", "search/"},
       "search/sub/second.png"},
      {"then beside the scene file", "third.png", "", {"nothing/"}, "scene\\third.png"},
      {"else the last path tried", "fourth.png", "", {"nothing/"}, "nothing/sub/fourth.png"},
  };
  WritePng("last/first.png");
  WritePng("search/sub/first.png");
  WritePng("search/sub/second.png");
  WritePng("scene/second.png");
  WritePng("scene/third.png");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    const std::u16string link = folder_.Wide("old/" + c.name);
    const std::u16string last = c.lastFolder.empty() ? u"" : folder_.Wide(c.lastFolder + c.name);
    const std::u16string rel = u"sub/" + std::u16string(c.name.begin(), c.name.end());
    std::vector<WString> searchFolders;
    for (const std::string& f : c.searchFolders) searchFolders.push_back(folder_.Wide(f));
    CImage::GetSearchFolders() = searchFolders;
    CPointer<CImage> image;
    ASSERT_EQ(LoadImageRecord(LinkedBody(link, last, rel), image, folder_.Wide("scene/file.drn")), kOk);
    const std::u16string found = folder_.Wide(c.expected);
    const bool exists = c.name != "fourth.png";
    EXPECT_EQ(image->HasPixels(), exists);
    // A file that is found becomes LastLoadName; a failed decode leaves
    // LinkName there and caches the image under it.
    EXPECT_EQ(image->GetLastLoadName(), exists ? found : link);
    EXPECT_EQ(CImage::FindLinkedImage(exists ? found : link), image.Get());
  }
}

TEST_F(LinkedImageTest, RelNameOfOlderRecordsComesFromTheSearchFolders) {
  const std::u16string link = folder_.Wide("maps/stone/wall.png");
  struct Case {
    const char* label;
    std::vector<WString> folders;
    std::u16string expected;
  };
  const Case cases[] = {
      {"no folders", {}, u""},
      {"the first folder that occurs", {u"/elsewhere/", folder_.Wide("maps/"), folder_.Wide("maps/stone/")},
       u"stone/wall.png"},
      // A folder met inside the path: the name after it.
      {"a folder inside the path", {u"stone/"}, u"wall.png"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    CImage::GetSearchFolders() = c.folders;
    ImagePart part;
    part.minor = 3;
    part.linkName = link;
    part.withRelName = false;
    CPointer<CImage> image;
    ASSERT_EQ(LoadImageRecord(ImageBody(part), image), kOk);
    EXPECT_EQ(image->GetRelName(), c.expected);
    EXPECT_EQ(image->GetLastLoadName(), link);
  }
}

// --- the embedded block ------------------------------------------------------------

TEST_F(ImageTest, EmbeddedBytesGoToTheLibraryOrTheHeap) {
  const u8 bytes[] = {1, 2, 3, 4, 5};
  CPointer<CImage> image(new CImage());
  EXPECT_EQ(image->StoreEmbedded(nullptr, 5), kDone);
  EXPECT_EQ(image->StoreEmbedded(bytes, 0), kDone);
  EXPECT_EQ(image->GetEmbedSize(), 0u);

  ASSERT_EQ(image->StoreEmbedded(bytes, 5), kOk);
  EXPECT_GE(image->GetMmfId(), CImage::kFirstMmfId);
  EXPECT_EQ(CMmf::GetBlockSize(image->GetMmfId()), 5u);
  EXPECT_EQ(image->GetEmbeddedBytes(), std::vector<u8>(bytes, bytes + 5));

  // The library refuses: a heap block, lMMFID 0; the library block is freed.
  const u32 former = image->GetMmfId();
  CMmf::SetRefuseAllocations(true);
  const Result r = image->StoreEmbedded(bytes + 1, 3);
  CMmf::SetRefuseAllocations(false);
  ASSERT_EQ(r, kOk);
  EXPECT_EQ(image->GetMmfId(), 0u);
  EXPECT_EQ(CMmf::GetBlockSize(former), 0u);
  EXPECT_EQ(image->GetEmbeddedBytes(), std::vector<u8>(bytes + 1, bytes + 4));
  EXPECT_EQ(image->GetEmbedSize(), 3u);

  // Either block saves the same record.
  CPointer<CImage> inLibrary(new CImage());
  ASSERT_EQ(inLibrary->StoreEmbedded(bytes + 1, 3), kOk);
  inLibrary->SetName(image->GetName());
  EXPECT_EQ(test::RenumberIds(test::SaveRoots({inLibrary.Get()})), test::RenumberIds(test::SaveRoots({image.Get()})));

  image->FreeEmbedded();
  EXPECT_EQ(image->GetEmbedSize(), 0u);
  EXPECT_TRUE(image->GetEmbeddedBytes().empty());
}

// --- copies ------------------------------------------------------------------------

TEST_F(ImageTest, CloneCopiesNamesPixelsAndEmbeddedBytes) {
  for (const StoredCase& c : kStored) {
    SCOPED_TRACE(c.label);
    CPointer<CImage> source = c.make();
    source->SetLinkName(u"");
    source->SetRelName(u"rel");
    CloneMap map;
    CPointer<CBase> out;
    ASSERT_EQ(source->Clone(out, map, 0), kOk);
    CImage* copy = DynamicCast<CImage>(out.Get());
    ASSERT_NE(copy, nullptr);
    ASSERT_NE(copy, source.Get());
    EXPECT_EQ(test::Members(copy), test::Members(source.Get()));
    EXPECT_EQ(test::PixelBytes(copy->GetImage()), test::PixelBytes(source->GetImage()));
    EXPECT_EQ(copy->GetEmbeddedBytes(), source->GetEmbeddedBytes());
    if (source->GetEmbedSize() != 0) {
      EXPECT_NE(copy->GetMmfId(), source->GetMmfId());
    }
    CPointer<CBase> again;
    EXPECT_EQ(source->Clone(again, map, 0), kDone);
    EXPECT_EQ(again.Get(), out.Get());
  }
}

TEST_F(ImageTest, CopyToReplacesTheTargetsContent) {
  CPointer<CImage> source = EmbeddedImage(ImageFormat::kPng, 2, 2);
  source->SetLinkName(u"x.png");
  CPointer<CImage> target = RawImage(PixelLayout::kBgra8, 5, 5);
  DisplacedList displaced;
  ASSERT_EQ(source->CopyTo(target.Get(), displaced, 0), kOk);
  EXPECT_EQ(test::Members(target.Get()), test::Members(source.Get()));
  EXPECT_EQ(target->GetEmbeddedBytes(), source->GetEmbeddedBytes());
  EXPECT_EQ(test::PixelBytes(target->GetImage()), test::PixelBytes(source->GetImage()));

  // A source without pixels or bytes empties the target.
  CPointer<CImage> empty(new CImage());
  ASSERT_EQ(empty->CopyTo(target.Get(), displaced, 0), kOk);
  EXPECT_FALSE(target->HasPixels());
  EXPECT_EQ(target->GetEmbedSize(), 0u);

  EXPECT_EQ(source->CopyTo(nullptr, displaced, 0), kErrInvalidArg);
  CPointer<CVersionData> other(new CVersionData());
  EXPECT_EQ(source->CopyTo(other.Get(), displaced, 0), kErrNotFound);
}

// --- pixel operations ------------------------------------------------------------

TEST_F(ImageTest, LoadFileDecodesAndTakesTheFormatFromTheExtension) {
  Testing::TempFolder folder;
  ASSERT_TRUE(folder.Valid());
  const std::vector<u8> png = test::EncodedPicture(ImageFormat::kPng, 3, 3);
  folder.WriteFile("p.png", std::string(png.begin(), png.end()));
  CPointer<CImage> image = EmbeddedImage(ImageFormat::kJpg, 2, 2);
  image->SetModified(false);
  ASSERT_EQ(image->LoadFile(folder.Wide("p.png")), kOk);
  EXPECT_EQ(image->GetEmbedFormat(), ImageFormat::kPng);
  EXPECT_EQ(image->GetEmbedSize(), 0u);
  EXPECT_TRUE(image->IsModified());
  EXPECT_EQ(image->GetImage().Width, 3);

  EXPECT_EQ(image->LoadFile(folder.Wide("p.xyz")), kErrImageFormat);
  EXPECT_LT(image->LoadFile(folder.Wide("none.png")), 0);
  EXPECT_FALSE(image->HasPixels());
}

TEST_F(ImageTest, PixelChangesDropTheEmbeddedBlockOfTheWrittenImage) {
  CPointer<CImage> image = EmbeddedImage(ImageFormat::kPng, 4, 4);
  CPointer<CImage> target = EmbeddedImage(ImageFormat::kPng, 2, 2);
  image->SetModified(false);
  target->SetModified(false);

  // Into another image: only that one changes.
  ASSERT_EQ(image->Resize(2, 3, target.Get()), kOk);
  EXPECT_EQ(target->GetImage().Width, 2);
  EXPECT_EQ(target->GetImage().Height, 3);
  EXPECT_EQ(target->GetEmbedSize(), 0u);
  EXPECT_TRUE(target->IsModified());
  EXPECT_NE(image->GetEmbedSize(), 0u);
  EXPECT_FALSE(image->IsModified());

  ASSERT_EQ(image->ConvertPixelFormat(PixelLayout::kBgra8, nullptr), kOk);
  EXPECT_EQ(image->GetImage().Layout, PixelLayout::kBgra8);
  EXPECT_EQ(image->GetEmbedSize(), 0u);
  EXPECT_TRUE(image->IsModified());

  CPointer<CImage> canvas = EmbeddedImage(ImageFormat::kPng, 4, 4);
  canvas->SetModified(false);
  ASSERT_EQ(canvas->DrawImage(1, 1, *target, 0, 0, 2, 2, 255), kOk);
  EXPECT_EQ(canvas->GetEmbedSize(), 0u);
  EXPECT_TRUE(canvas->IsModified());
  // The next save encodes the current pixels again.
  ASSERT_EQ(canvas->PrepareRuntime(nullptr), kOk);
  EXPECT_NE(canvas->GetEmbedSize(), 0u);
}

}  // namespace
}  // namespace KT
