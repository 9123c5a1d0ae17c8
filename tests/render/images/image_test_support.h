// Shared pieces of the image and animated-image tests: pictures, encoded
// files, byte images of their records and one-record loads.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "objectmodel/byte_writer.h"
#include "objectmodel/class_factory.h"
#include "objectmodel/memory_io.h"
#include "objectmodel/stream.h"
#include "objectmodel/stream_fields.h"
#include "objectmodel/stream_test_support.h"
#include "render/images/anm_image.h"
#include "render/images/image.h"
#include "render/images/image_codec.h"
#include "render/images/image_factory.h"
#include "render/images/pixel_buffer.h"

namespace KT::test {

// Where the first record of a file with one root begins.
inline constexpr std::size_t kFirstImageRecordOffset = 40;

// Each test registers the image classes and numbers its objects from the
// test range.
class ImageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ImageFactory::RegisterImageClasses();
    UseTestIds(0);
  }
};

// A picture whose pixels differ from each other (row padding stays zero).
inline void FillPicture(KTImage& image, u32 layout, i32 width, i32 height, u8 seed = 7) {
  ASSERT_EQ(PixelBuffer::Create(image, layout, width, height), kOk);
  PixelBuffer::ScopedView view(image);
  for (i32 y = 0; y < height; ++y) {
    for (i32 x = 0; x < width * image.BytesPerPixel; ++x) {
      image.Pixels[y * image.Stride + x] = static_cast<u8>(seed + 9 * y + 13 * x);
    }
  }
}

// The pixel rows as held in memory (empty without pixels).
inline std::vector<u8> PixelBytes(const KTImage& image) {
  if (!PixelBuffer::HasPixels(image)) return {};
  PixelBuffer::ScopedView view(image);
  if (image.Pixels == nullptr) return {};
  return std::vector<u8>(image.Pixels, image.Pixels + PixelBuffer::GetPixelBytes(image));
}

// The bytes of an image file of format `code` showing `width` x `height`
// pixels of layout 1.
inline std::vector<u8> EncodedPicture(u32 code, i32 width, i32 height, u8 seed = 7) {
  KTImage picture;
  FillPicture(picture, PixelLayout::kBgr8, width, height, seed);
  CBuffer<char> out;
  EXPECT_EQ(EncodeImageFile(picture, code, out), kOk);
  const u8* data = reinterpret_cast<const u8*>(out.GetData());
  return std::vector<u8>(data, data + out.GetCount());
}

// The root-class part of a record: version pair 2.01, the id, a name.
inline ByteWriter RootPart(u64 id, const std::u16string& name = u"") {
  ByteWriter w;
  w.Pair(2, 1).U64(id).WStr(name);
  return w;
}

// Loads one record, as Save writes it, into an object made by the factory
// from its class name, over a memory device that stands for
// `devicePath`. Answers Load's code; `record` is the load record.
inline Result LoadOneRecord(const Bytes& bytes, CStreamLoadRecord& record, const WString& devicePath = u"") {
  CMemoryIo device(bytes);
  device.SetPath(devicePath);
  CStream stream;
  stream.SetDevice(&device);
  std::string className;
  u32 bodySize = 0;
  Result r = ReadString(stream, className);
  if (Succeeded(r)) r = ReadU32(stream, bodySize);
  if (Failed(r)) return r;
  const CreateObjectFunc creator = CClassFactory::FindCreator(className);
  if (creator == nullptr) return kErrUnknownClass;
  CPointer<CBase> object;
  creator(r, object);
  if (Failed(r)) return r;
  record.object = object;
  return object->Load(stream, record, 0);
}

// The record of `body` as the stream frames it: class name, body size.
inline Bytes FramedRecord(const std::string& className, const ByteWriter& body) {
  ByteWriter w;
  w.Str(className).U32(static_cast<u32>(body.Size())).Bytes(body.Data());
  return w.Data();
}

}  // namespace KT::test
