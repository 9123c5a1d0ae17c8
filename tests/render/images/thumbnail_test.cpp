#include "render/images/thumbnail.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "objectmodel/class_factory.h"
#include "scene/member_text_writer.h"
#include "objectmodel/memory_io.h"
#include "objectmodel/stream.h"
#include "objectmodel/version_data.h"
#include "render/images/image_factory.h"

namespace KT {
namespace {

// --- byte images of files, built from the documented layouts ----------------

class Bytes {
 public:
  Bytes& U8(u8 v) { return Raw(&v, 1); }
  Bytes& U16(u16 v) { return Raw(&v, 2); }
  Bytes& U32(u32 v) { return Raw(&v, 4); }
  Bytes& U64(u64 v) { return Raw(&v, 8); }
  Bytes& Str(const std::string& s) { return U32(static_cast<u32>(s.size())).Raw(s.data(), s.size()); }
  Bytes& WStr(const std::u16string& s) { return U32(static_cast<u32>(s.size())).Raw(s.data(), 2 * s.size()); }
  Bytes& Append(const Bytes& other) { return Raw(other.data_.data(), other.data_.size()); }
  Bytes& Raw(const void* p, size_t n) {
    const u8* b = static_cast<const u8*>(p);
    data_.insert(data_.end(), b, b + n);
    return *this;
  }
  u32 Size() const { return static_cast<u32>(data_.size()); }
  const std::vector<u8>& Data() const { return data_; }

 private:
  std::vector<u8> data_;
};

// The thumbnail's own part of a record.
struct ThumbnailPart {
  u32 major = 2;
  u32 minor = 1;
  u32 width = 0;
  u32 height = 0;
  u32 layout = 0;
  u16 alignRows = 0;
  u32 dpiX = 96;
  u32 dpiY = 96;
  u32 marker = 0;
  std::vector<u8> pixels;
  u32 totalFrame = 1;
  u32 currentFrame = 0;
  u8 enableKeyColor = 0;
  u32 keyColor = 0;
};

Bytes PartBytes(const ThumbnailPart& p) {
  Bytes b;
  b.U32(p.major).U32(p.minor).U32(p.width).U32(p.height).U32(p.layout).U16(p.alignRows).U32(p.dpiX).U32(p.dpiY);
  b.U32(p.marker).Raw(p.pixels.data(), p.pixels.size());
  b.U32(p.totalFrame).U32(p.currentFrame).U8(p.enableKeyColor).U32(p.keyColor);
  return b;
}

Bytes RootPart(u64 id, const std::u16string& name) {
  Bytes b;
  b.U32(2).U32(1).U64(id).WStr(name);
  return b;
}

// The former intermediate base part of files before 3.01: its version pair
// and its values (three 64-bit values from 2.01; before that one 32-bit
// value, and two more from 1.01).
Bytes FormerBasePart(u32 major, u32 minor) {
  Bytes b;
  b.U32(major).U32(minor);
  const u32 version = major * 100 + minor;
  if (version >= 201) {
    b.U64(0x1111111111111111ull).U64(0x2222222222222222ull).U64(0x3333333333333333ull);
  } else {
    b.U32(0x44444444u);
    if (version >= 101) b.U32(0x55555555u).U32(0x66666666u);
  }
  return b;
}

// A sized record: class name, body size, body.
Bytes Record(const Bytes& body) {
  Bytes b;
  b.Str("CThumbnail").U32(body.Size()).Append(body);
  return b;
}

// A 3.01 file whose only content is the thumbnail section.
Bytes CurrentFile(const ThumbnailPart& part, u64 id = 77, const std::u16string& name = u"") {
  Bytes body = RootPart(id, name);
  body.Append(PartBytes(part));
  const Bytes record = Record(body);
  Bytes file;
  file.Raw("_KTVusk", 7).U32(3).U32(1).U32(record.Size()).Append(record).U32(0).U32(0).U32(0);
  return file;
}

// Offset of the object id in a 3.01 file written by the stream: header
// (15), section size (4), class name (4 + 10), body size (4), version
// pair (8).
constexpr size_t kIdOffset = 15 + 4 + 14 + 4 + 8;

// --- helpers ----------------------------------------------------------------

class ThumbnailTest : public ::testing::Test {
 protected:
  void SetUp() override { ImageFactory::RegisterImageClasses(); }
};

KTImage MakePicture(u32 layout, i32 width, i32 height, u16 alignRows, u8 seed = 3) {
  KTImage image;
  image.AlignRows = alignRows;
  image.DpiX = 72;
  image.DpiY = 300;
  EXPECT_EQ(PixelBuffer::Create(image, layout, width, height), kOk);
  // Row padding stays zero, as in a buffer the stream loads.
  for (i32 y = 0; y < height; ++y) {
    for (i32 x = 0; x < width * image.BytesPerPixel; ++x) {
      image.Pixels[y * image.Stride + x] = static_cast<u8>(seed + 5 * y + 11 * x);
    }
  }
  return image;
}

std::vector<u8> RawPixels(const KTImage& image) {
  if (image.Pixels == nullptr) return {};
  return std::vector<u8>(image.Pixels, image.Pixels + PixelBuffer::GetPixelBytes(image));
}

std::string Dump(CBase& object) {
  CMemberTextWriter writer(true);
  object.DescribeMembers(writer);
  return writer.GetText();
}

std::vector<u8> SaveFile(CThumbnail* thumbnail) {
  CMemoryIo device;
  CStream stream;
  stream.SetDevice(&device);
  stream.SetThumbnail(thumbnail);
  EXPECT_EQ(stream.Save(CStream::kAllSections), kOk);
  return device.TakeData();
}

Result LoadFile(const std::vector<u8>& bytes, CPointer<CThumbnail>& out, u32 wantedMask = CStream::kAllSections) {
  CMemoryIo device(bytes);
  CStream stream;
  stream.SetDevice(&device);
  const Result r = stream.Load(0x1E, wantedMask);
  out = DynamicCast<CThumbnail>(stream.GetThumbnail());
  return r;
}

std::vector<u8> WithId(std::vector<u8> file, u64 id) {
  std::memcpy(file.data() + kIdOffset, &id, sizeof(id));
  return file;
}

// --- persistence ---------------------------------------------------------------

struct PictureCase {
  const char* label;
  bool withPixels;
  u32 layout;
  i32 width;
  i32 height;
  u16 alignRows;
};

const PictureCase kPictures[] = {
    {"no pixels", false, 0, 0, 0, 0},
    {"BGR 5x2 aligned", true, PixelLayout::kBgr8, 5, 2, 1},
    {"BGR 5x2 packed", true, PixelLayout::kBgr8, 5, 2, 0},
    {"BGRA 3x3", true, PixelLayout::kBgra8, 3, 3, 0},
    {"float 2x2", true, PixelLayout::kRgbFloat, 2, 2, 1},
    {"8-bit 7x1", true, PixelLayout::kByte8, 7, 1, 0},
};

CPointer<CThumbnail> MakeThumbnail(const PictureCase& c) {
  CPointer<CThumbnail> thumbnail;
  if (c.withPixels && c.alignRows != 0) {
    // SetImage keeps the thumbnail's packed rows; padded rows come from a
    // file.
    const KTImage picture = MakePicture(c.layout, c.width, c.height, c.alignRows);
    ThumbnailPart part;
    part.width = static_cast<u32>(c.width);
    part.height = static_cast<u32>(c.height);
    part.layout = c.layout;
    part.alignRows = c.alignRows;
    part.marker = 1;
    part.pixels = RawPixels(picture);
    EXPECT_EQ(LoadFile(CurrentFile(part).Data(), thumbnail), kOk);
    EXPECT_EQ(thumbnail->GetImage().Stride, picture.Stride);
  } else {
    thumbnail = new CThumbnail();
    if (c.withPixels) {
      EXPECT_EQ(thumbnail->SetImage(MakePicture(c.layout, c.width, c.height, 0)), kOk);
    }
  }
  thumbnail->SetName(u"Preview");
  thumbnail->SetTotalFrame(4);
  thumbnail->SetCurrentFrame(2);
  thumbnail->SetEnableKeyColor(true);
  thumbnail->SetKeyColor(0x00FF00FFu);
  return thumbnail;
}

TEST_F(ThumbnailTest, SaveLoadRoundTrip) {
  for (const PictureCase& c : kPictures) {
    SCOPED_TRACE(c.label);
    CPointer<CThumbnail> saved = MakeThumbnail(c);
    const std::vector<u8> file = SaveFile(saved.Get());

    CPointer<CThumbnail> loaded;
    ASSERT_EQ(LoadFile(file, loaded), kOk);
    ASSERT_TRUE(loaded);
    EXPECT_EQ(Dump(*loaded), Dump(*saved));
    EXPECT_EQ(RawPixels(loaded->GetImage()), RawPixels(saved->GetImage()));
    EXPECT_EQ(PixelBuffer::HasPixels(loaded->GetImage()), c.withPixels);
    EXPECT_EQ(loaded->GetImage().Storage, PixelStorage::kHeap);

    // Saving the loaded copy gives the same bytes once its own id is
    // accounted for.
    const std::vector<u8> again = SaveFile(loaded.Get());
    EXPECT_EQ(again, WithId(file, loaded->GetUniqueId()));
  }
}

TEST_F(ThumbnailTest, RecordMatchesTheDocumentedLayout) {
  // A picture of 5 x 2 BGR pixels in packed rows.
  CPointer<CThumbnail> thumbnail = MakeThumbnail(kPictures[2]);
  thumbnail->SetName(u"");
  ThumbnailPart part;
  part.width = 5;
  part.height = 2;
  part.layout = PixelLayout::kBgr8;
  part.dpiX = 72;
  part.dpiY = 300;
  part.marker = 1;
  part.pixels = RawPixels(thumbnail->GetImage());
  ASSERT_EQ(part.pixels.size(), 30u);
  part.totalFrame = 4;
  part.currentFrame = 2;
  part.enableKeyColor = 1;
  part.keyColor = 0x00FF00FFu;
  EXPECT_EQ(SaveFile(thumbnail.Get()), CurrentFile(part, thumbnail->GetUniqueId()).Data());

  // Without pixels: marker 0 and nothing in between.
  CPointer<CThumbnail> empty = new CThumbnail();
  EXPECT_EQ(SaveFile(empty.Get()), CurrentFile(ThumbnailPart{}, empty->GetUniqueId()).Data());
}

TEST_F(ThumbnailTest, SaveSizeEqualsTheBytesWritten) {
  for (const PictureCase& c : kPictures) {
    SCOPED_TRACE(c.label);
    CPointer<CThumbnail> thumbnail = MakeThumbnail(c);
    CMemoryIo device;
    CStream stream;
    stream.SetDevice(&device);
    ASSERT_EQ(thumbnail->Save(stream, 0), kOk);
    EXPECT_EQ(device.GetSize(), thumbnail->GetSaveSize());
    // The body size counts every byte after its own field.
    u32 bodySize = 0;
    std::memcpy(&bodySize, device.GetData().data() + 14, sizeof(bodySize));
    EXPECT_EQ(bodySize, device.GetSize() - 18);
  }
}

TEST_F(ThumbnailTest, EveryPrefixOfASavedFileFailsCleanly) {
  for (const PictureCase& c : kPictures) {
    SCOPED_TRACE(c.label);
    CPointer<CThumbnail> thumbnail = MakeThumbnail(c);
    const std::vector<u8> file = SaveFile(thumbnail.Get());
    for (size_t n = 0; n < file.size(); ++n) {
      CPointer<CThumbnail> loaded;
      EXPECT_EQ(LoadFile(std::vector<u8>(file.begin(), file.begin() + n), loaded), kErrStream) << n;
    }
  }
}

TEST_F(ThumbnailTest, FormerBasePartOfOlderFilesIsSkipped) {
  ThumbnailPart part;
  part.width = 2;
  part.height = 1;
  part.layout = PixelLayout::kBgra8;
  part.marker = 1;
  part.pixels = {1, 2, 3, 4, 5, 6, 7, 8};
  part.totalFrame = 3;
  part.currentFrame = 1;
  part.enableKeyColor = 1;
  part.keyColor = 0xABCDEFu;

  const struct {
    u32 major;
    u32 minor;
  } formerVersions[] = {{2, 1}, {2, 0}, {1, 1}, {1, 0}};
  for (const auto& v : formerVersions) {
    SCOPED_TRACE(v.major * 100 + v.minor);
    Bytes body = RootPart(1234, u"Old");
    body.Append(FormerBasePart(v.major, v.minor)).Append(PartBytes(part));
    Bytes file;
    file.Raw("_KTVusk", 7).U32(2).U32(50);
    file.Str("_Thumbnail").Append(Record(body));
    file.Str("");  // no extension records; the root tree is empty

    CPointer<CThumbnail> loaded;
    ASSERT_EQ(LoadFile(file.Data(), loaded), kOk);
    ASSERT_TRUE(loaded);
    EXPECT_EQ(loaded->GetName(), u"Old");
    EXPECT_EQ(loaded->GetImage().Width, 2);
    EXPECT_EQ(RawPixels(loaded->GetImage()), part.pixels);
    EXPECT_EQ(loaded->GetTotalFrame(), 3u);
    EXPECT_EQ(loaded->GetCurrentFrame(), 1u);
    EXPECT_TRUE(loaded->GetEnableKeyColor());
    EXPECT_EQ(loaded->GetKeyColor(), 0xABCDEFu);
  }

  // A 3.01 file has no such part: the same bytes there are misread and the
  // load stops.
  Bytes body = RootPart(1234, u"Old");
  body.Append(FormerBasePart(2, 1)).Append(PartBytes(part));
  Bytes file;
  file.Raw("_KTVusk", 7).U32(3).U32(1);
  const Bytes record = Record(body);
  file.U32(record.Size()).Append(record).U32(0).U32(0).U32(0);
  CPointer<CThumbnail> loaded;
  EXPECT_TRUE(Failed(LoadFile(file.Data(), loaded)));
}

TEST_F(ThumbnailTest, OldestFilesHoldTheBodyAlone) {
  // A 1.00 file: no root part, no version pairs, no record size.
  ThumbnailPart part;
  part.width = 1;
  part.height = 2;
  part.layout = PixelLayout::kBgr8;
  part.marker = 1;
  part.pixels = {9, 8, 7, 6, 5, 4};
  part.totalFrame = 2;
  Bytes partBytes = PartBytes(part);
  Bytes file;
  file.Raw("KTDorun", 7).Raw("\0\0\0\0\0\0\0\0\0" "1.00\0", 14);
  file.Str("_DorunThumbnail");
  // The part without its version pair.
  file.Raw(partBytes.Data().data() + 8, partBytes.Size() - 8);

  CPointer<CThumbnail> loaded;
  ASSERT_EQ(LoadFile(file.Data(), loaded, CStream::kThumbnailBit), kOk);
  ASSERT_TRUE(loaded);
  EXPECT_EQ(RawPixels(loaded->GetImage()), part.pixels);
  EXPECT_EQ(loaded->GetTotalFrame(), 2u);
}

TEST_F(ThumbnailTest, HostileRecordsAreRefusedBeforeAllocating) {
  struct Case {
    const char* label;
    ThumbnailPart part;
    Result expected;
  };
  auto with = [](auto change) {
    ThumbnailPart p;
    p.width = 2;
    p.height = 2;
    p.layout = PixelLayout::kBgra8;
    p.marker = 1;
    p.pixels.assign(16, 0x7F);
    change(p);
    return p;
  };
  const Case cases[] = {
      {"unknown layout with pixels", with([](ThumbnailPart& p) { p.layout = 7; }), kErrNotFound},
      {"unknown layout without pixels", with([](ThumbnailPart& p) {
         p.layout = 12;
         p.marker = 0;
         p.pixels.clear();
       }),
       kErrNotFound},
      {"width beyond 31 bits", with([](ThumbnailPart& p) { p.width = 0xFFFFFFFFu; }), kErrStream},
      {"height beyond 31 bits", with([](ThumbnailPart& p) { p.height = 0x80000000u; }), kErrStream},
      // 0x40000000 x 12 bytes wraps to 0 in 32 bits.
      {"row size wrapping 32 bits", with([](ThumbnailPart& p) {
         p.width = 0x40000000u;
         p.height = 4;
         p.layout = PixelLayout::kRgbFloat;
       }),
       kErrStream},
      {"more rows than bytes", with([](ThumbnailPart& p) { p.height = 0x7FFFFFFFu; }), kErrStream},
      {"pixel block cut short", with([](ThumbnailPart& p) { p.pixels.resize(15); }), kErrStream},
      {"marked record of zero width", with([](ThumbnailPart& p) {
         p.width = 0;
         p.pixels.clear();
       }),
       kErrInvalidArg},
      {"newer class version", with([](ThumbnailPart& p) { p.minor = 2; }), kErrNewerVersion},
  };
  for (const Case& c : cases) {
    CPointer<CThumbnail> loaded;
    EXPECT_EQ(LoadFile(CurrentFile(c.part).Data(), loaded), c.expected) << c.label;
  }
  // The unmutated record loads.
  CPointer<CThumbnail> loaded;
  EXPECT_EQ(LoadFile(CurrentFile(with([](ThumbnailPart&) {})).Data(), loaded), kOk);
}

// --- copies --------------------------------------------------------------------

TEST_F(ThumbnailTest, CloneCopiesFieldsAndPixels) {
  for (const PictureCase& c : kPictures) {
    SCOPED_TRACE(c.label);
    CPointer<CThumbnail> source = MakeThumbnail(c);
    CloneMap map;
    CPointer<CBase> out;
    ASSERT_EQ(source->Clone(out, map, 0), kOk);
    CThumbnail* copy = DynamicCast<CThumbnail>(out.Get());
    ASSERT_NE(copy, nullptr);
    ASSERT_NE(copy, source.Get());
    EXPECT_EQ(Dump(*copy), Dump(*source));
    EXPECT_EQ(RawPixels(copy->GetImage()), RawPixels(source->GetImage()));
    if (c.withPixels) {
      EXPECT_NE(copy->GetImage().Pixels, source->GetImage().Pixels);
    }
    // The copy saves the same record, its id aside.
    EXPECT_EQ(SaveFile(copy), WithId(SaveFile(source.Get()), copy->GetUniqueId()));
    // A second clone through the same map is the first one.
    CPointer<CBase> again;
    EXPECT_EQ(source->Clone(again, map, 0), kDone);
    EXPECT_EQ(again.Get(), out.Get());
  }
}

TEST_F(ThumbnailTest, CopyToReplacesTheTargetsPicture) {
  CPointer<CThumbnail> source = MakeThumbnail(kPictures[0]);  // no pixels
  CPointer<CThumbnail> target = MakeThumbnail(kPictures[3]);
  target->SetTotalFrame(9);
  DisplacedList displaced;
  ASSERT_EQ(source->CopyTo(target.Get(), displaced, 0), kOk);
  EXPECT_EQ(Dump(*target), Dump(*source));
  EXPECT_FALSE(PixelBuffer::HasPixels(target->GetImage()));

  CPointer<CThumbnail> withPixels = MakeThumbnail(kPictures[4]);
  ASSERT_EQ(withPixels->CopyTo(target.Get(), displaced, 0), kOk);
  EXPECT_EQ(RawPixels(target->GetImage()), RawPixels(withPixels->GetImage()));
  EXPECT_TRUE(displaced.empty());
}

TEST_F(ThumbnailTest, CopyToRefusesNullAndOtherClasses) {
  CPointer<CThumbnail> source = MakeThumbnail(kPictures[1]);
  DisplacedList displaced;
  EXPECT_EQ(source->CopyTo(nullptr, displaced, 0), kErrInvalidArg);
  CPointer<CVersionData> other = new CVersionData();
  EXPECT_EQ(source->CopyTo(other.Get(), displaced, 0), kErrNotFound);
  EXPECT_EQ(other->GetName(), u"Preview");  // the root-class part is copied first
}

// --- own operations -------------------------------------------------------------

TEST_F(ThumbnailTest, SetImageResetsTheFrameFields) {
  CPointer<CThumbnail> thumbnail = new CThumbnail();
  thumbnail->SetTotalFrame(5);
  thumbnail->SetCurrentFrame(3);
  thumbnail->SetEnableKeyColor(true);
  thumbnail->SetKeyColor(0x123456u);
  thumbnail->SetModified(false);

  const KTImage picture = MakePicture(PixelLayout::kBgr8, 4, 3, 0);
  ASSERT_EQ(thumbnail->SetImage(picture), kOk);
  EXPECT_EQ(thumbnail->GetTotalFrame(), 1u);
  EXPECT_EQ(thumbnail->GetCurrentFrame(), 0u);
  EXPECT_FALSE(thumbnail->GetEnableKeyColor());
  EXPECT_EQ(thumbnail->GetKeyColor(), 0u);
  EXPECT_TRUE(thumbnail->IsModified());
  EXPECT_EQ(RawPixels(thumbnail->GetImage()), RawPixels(picture));
  EXPECT_EQ(thumbnail->GetImage().DpiX, 72);
  EXPECT_NE(thumbnail->GetImage().Pixels, picture.Pixels);

  // An image without pixels is refused; the fields are reset all the same.
  thumbnail->SetTotalFrame(5);
  const KTImage empty;
  EXPECT_EQ(thumbnail->SetImage(empty), kErrInvalidArg);
  EXPECT_EQ(thumbnail->GetTotalFrame(), 1u);
  EXPECT_EQ(RawPixels(thumbnail->GetImage()), RawPixels(picture));
}

TEST_F(ThumbnailTest, DefaultsAndFixedAnswers) {
  CPointer<CThumbnail> thumbnail = new CThumbnail();
  EXPECT_STREQ(thumbnail->GetClassRecord().name, "CThumbnail");
  EXPECT_EQ(thumbnail->GetVersion(), 201u);
  EXPECT_EQ(thumbnail->GetTotalFrame(), 1u);
  EXPECT_EQ(thumbnail->GetCurrentFrame(), 0u);
  EXPECT_FALSE(thumbnail->GetEnableKeyColor());
  EXPECT_EQ(thumbnail->GetKeyColor(), 0u);
  EXPECT_EQ(thumbnail->GetImage().DpiX, 96);
  EXPECT_EQ(thumbnail->GetImage().DpiY, 96);
  EXPECT_FALSE(PixelBuffer::HasPixels(thumbnail->GetImage()));
  EXPECT_EQ(thumbnail->GetMemorySize(), 124u);

  CStream stream;
  CStreamLoadRecord record;
  EXPECT_EQ(thumbnail->Link(stream, record, 0), kDone);
  EXPECT_EQ(thumbnail->Reserved17(nullptr, nullptr), kErrInvalidArg);
  EXPECT_EQ(thumbnail->Reserved18(nullptr, nullptr), kErrInvalidArg);

  ASSERT_EQ(thumbnail->SetImage(MakePicture(PixelLayout::kBgr8, 5, 2, 0)), kOk);
  EXPECT_EQ(thumbnail->GetMemorySize(), 30u + 124u);
}

TEST_F(ThumbnailTest, RegisterForSaveOnce) {
  CPointer<CThumbnail> thumbnail = new CThumbnail();
  CStream stream;
  EXPECT_EQ(thumbnail->RegisterForSave(stream, 0), kOk);
  EXPECT_EQ(thumbnail->RegisterForSave(stream, 0), kDone);
}

TEST_F(ThumbnailTest, DescribesItsMembersBeforeTheRootClass) {
  CPointer<CThumbnail> thumbnail = MakeThumbnail(kPictures[1]);
  const std::string text = Dump(*thumbnail);
  const std::string expectedStart =
      "CThumbnail Member\n"
      "  KTImage\n"
      "    Width = 5\n"
      "    Height = 2\n"
      "    Layout = 1\n";
  EXPECT_EQ(text.substr(0, expectedStart.size()), expectedStart);
  for (const char* name : {"TotalFrame = 4", "CurrentFrame = 2", "EnableKeyColor", "KeyColor", "CBase Member"}) {
    EXPECT_NE(text.find(name), std::string::npos) << name;
  }
  EXPECT_LT(text.find("KeyColor"), text.find("CBase Member"));
}

// --- image class factory ----------------------------------------------------------

TEST_F(ThumbnailTest, FactoryCreatesThumbnailsByName) {
  const CreateObjectFunc creator = CClassFactory::FindCreator("CThumbnail");
  ASSERT_NE(creator, nullptr);
  EXPECT_NE(ImageFactory::GetRegistry().find("CThumbnail"), ImageFactory::GetRegistry().end());
  Result r = kErrInvalidArg;
  CPointer<CBase> object;
  creator(r, object);
  EXPECT_EQ(r, kOk);
  EXPECT_NE(DynamicCast<CThumbnail>(object.Get()), nullptr);

  // Registering a name again replaces its creator.
  const CreateObjectFunc refusing = [](Result& result, CPointer<CBase>&) { result = kErrOutOfMemory; };
  ImageFactory::Register("CThumbnail", refusing);
  EXPECT_EQ(CClassFactory::FindCreator("CThumbnail"), refusing);
  ImageFactory::RegisterImageClasses();
  EXPECT_EQ(CClassFactory::FindCreator("CThumbnail"), creator);
}

}  // namespace
}  // namespace KT
