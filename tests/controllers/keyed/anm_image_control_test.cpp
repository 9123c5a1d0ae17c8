// The animated-image controller: frame timing and the frame in force,
// what it paints into the texture map's image, its owned animated image in
// copies, and its record.
#include "controllers/keyed/anm_image_control.h"

#include <gtest/gtest.h>

#include <limits>
#include <vector>

#include "controllers/keyed/keyed_test_support.h"
#include "objectmodel/class_factory.h"
#include "render/images/image_factory.h"
#include "render/materials/standard_material.h"
#include "render/materials/texture_maps.h"

namespace KT {
namespace {

using test::ByteWriter;
using Control = CAnmImageControl;

// A 1 x 1 BGR image of grey `value`.
CPointer<CImage> Swatch(u8 value) {
  CPointer<CImage> image(new CImage());
  EXPECT_EQ(PixelBuffer::Create(image->EditImage(), PixelLayout::kBgr8, 1, 1), kOk);
  for (int c = 0; c < 3; ++c) image->EditImage().Pixels[c] = value;
  return image;
}

// An animated image with one frame per delay; frame i is grey 10 x (i + 1).
CPointer<CAnmImage> Frames(std::initializer_list<u32> delays) {
  CPointer<CAnmImage> frames(new CAnmImage());
  u8 grey = 10;
  for (const u32 delay : delays) {
    CAnmImage::CFrame frame;
    frame.Delay = delay;
    EXPECT_EQ(frames->AddFrame(frame, Swatch(grey).Get()), kOk);
    grey = static_cast<u8>(grey + 10);
  }
  return frames;
}

class AnmImageControlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ImageFactory::RegisterImageClasses();
    CClassFactory::Register("CAnmImageControl", &CreateObject<Control>);
    CClassFactory::Register("CTextureMap", &CreateObject<CTextureMap>);
    test::UseTestIds(0);
    map_ = new CTextureMap();
    map_->SetImage(Swatch(0).Get());
    control_ = new Control();
    ASSERT_EQ(map_->AddControl(control_.Get()), kOk);
  }
  // The grey of the texture map's image.
  u8 Painted() const { return map_->GetImage()->GetImage().Pixels[0]; }
  void Erase() { map_->GetImage()->EditImage().Pixels[0] = 0; }

  CPointer<CTextureMap> map_;
  CPointer<Control> control_;
};

TEST_F(AnmImageControlTest, FramesStartAfterTheDelaysOfTheFramesBefore) {
  control_->SetAnmImage(Frames({0, 10, 20}).Get());
  EXPECT_EQ(control_->GetFrameStarts(), (std::vector<i32>{0, 100, 300}));
  EXPECT_EQ(control_->GetEndTime(), 300);
  struct Row {
    i32 time;
    u8 grey;  // frame 0: 10, frame 1: 20, frame 2: 30
  };
  for (const Row& row : {Row{-50, 10}, Row{0, 10}, Row{99, 10}, Row{100, 20}, Row{150, 20}, Row{299, 20},
                         Row{300, 30}, Row{5000, 30}, Row{150, 20}, Row{0, 10}}) {
    SCOPED_TRACE(row.time);
    Erase();
    ASSERT_EQ(control_->Update(row.time), kOk);
    EXPECT_EQ(Painted(), row.grey);
  }
}

TEST_F(AnmImageControlTest, TheFrameInForceDoesNotDependOnTheDirection) {
  control_->SetAnmImage(Frames({0, 10, 20}).Get());
  struct Row {
    const char* what;
    i32 from;
    i32 to;
    u8 grey;
  };
  const Row rows[] = {
      {"backward onto a frame start", 400, 100, 20},
      {"forward onto a frame start", 50, 100, 20},
      {"backward to just before it", 400, 99, 10},
      {"backward from the same frame", 250, 100, 20},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    ASSERT_EQ(control_->Update(row.from), kOk);
    Erase();
    ASSERT_EQ(control_->Update(row.to), kOk);
    EXPECT_EQ(Painted(), row.grey);
  }
}

TEST_F(AnmImageControlTest, TheTimeIsMappedByRepeatAndFrequency) {
  control_->SetAnmImage(Frames({0, 10, 20}).Get());
  control_->SetRepeat(CControl::RT_WRAP);
  control_->SetFrequency(2.0f);
  // 200 x 2 = 400, wrapped over 300: 100, frame 1.
  ASSERT_EQ(control_->Update(200), kOk);
  EXPECT_EQ(Painted(), 20);
}

TEST_F(AnmImageControlTest, EveryUpdatePaintsAtTheFramesOffset) {
  CPointer<CImage> wide(new CImage());
  ASSERT_EQ(PixelBuffer::Create(wide->EditImage(), PixelLayout::kBgr8, 2, 1), kOk);
  map_->SetImage(wide.Get());
  CPointer<CAnmImage> frames(new CAnmImage());
  CAnmImage::CFrame frame;
  frame.OffsetX = 1;
  ASSERT_EQ(frames->AddFrame(frame, Swatch(77).Get()), kOk);
  control_->SetAnmImage(frames.Get());
  for (const i32 time : {0, 0, 900}) {
    wide->EditImage().Pixels[3] = 0;
    ASSERT_EQ(control_->Update(time), kOk);
    EXPECT_EQ(wide->GetImage().Pixels[0], 0);
    EXPECT_EQ(wide->GetImage().Pixels[3], 77);
  }
  // One frame: it is in force at every time and the end time is 0.
  EXPECT_EQ(control_->GetEndTime(), 0);
}

TEST_F(AnmImageControlTest, LongDelaysStopAtTheLargestTime) {
  control_->SetAnmImage(Frames({0, 0xFFFFFFFFu, 5, 0x7FFFFFFFu}).Get());
  constexpr i32 kMax = std::numeric_limits<i32>::max();
  EXPECT_EQ(control_->GetFrameStarts(), (std::vector<i32>{0, kMax, kMax, kMax}));
  EXPECT_EQ(control_->GetEndTime(), kMax);
  ASSERT_EQ(control_->Update(1000), kOk);
  EXPECT_EQ(Painted(), 10);
}

TEST_F(AnmImageControlTest, NothingToPlayOrNowhereToPaint) {
  // No animated image, then one without frames: kDone, nothing painted.
  EXPECT_EQ(control_->Update(0), kDone);
  EXPECT_EQ(control_->GetEndTime(), 0);
  control_->SetAnmImage(CPointer<CAnmImage>(new CAnmImage()).Get());
  EXPECT_EQ(control_->Update(0), kDone);
  EXPECT_EQ(control_->GetEndTime(), 0);
  EXPECT_EQ(Painted(), 0);
  // A texture map without an image.
  control_->SetAnmImage(Frames({0}).Get());
  map_->SetImage(nullptr);
  EXPECT_EQ(control_->Update(0), kDone);
  // Inactive.
  map_->SetImage(Swatch(0).Get());
  control_->SetActive(false);
  EXPECT_EQ(control_->Update(0), kDone);
  EXPECT_EQ(Painted(), 0);
  EXPECT_EQ(control_->Apply(), kDone);
}

TEST_F(AnmImageControlTest, RefusesObjectsItCannotPaint) {
  CPointer<Control> loose(new Control());
  loose->SetAnmImage(Frames({0}).Get());
  EXPECT_EQ(loose->Update(0), kErrInvalidArg);
  CPointer<CStandardMaterial> material(new CStandardMaterial());
  ASSERT_EQ(material->AddControl(loose.Get()), kOk);
  material->SetModified(false);
  EXPECT_EQ(loose->Update(0), kErrNotFound);
  EXPECT_FALSE(material->IsModified());
}

TEST_F(AnmImageControlTest, TheAnimatedImageIsOwned) {
  CPointer<CAnmImage> frames = Frames({0, 10});
  control_->SetAnmImage(frames.Get());
  ASSERT_EQ(control_->Update(150), kOk);
  // CreateInstance: the controller part and LastIndex, no animated image.
  CPointer<CBase> out;
  ASSERT_EQ(control_->CreateInstance(out), kOk);
  auto* instance = DynamicCast<Control>(out.Get());
  ASSERT_NE(instance, nullptr);
  EXPECT_EQ(instance->GetAnmImage(), nullptr);
  EXPECT_EQ(instance->GetLastIndex(), 1u);
  // Clone: a clone of the animated image.
  CloneMap cloneMap;
  CPointer<CBase> cloned;
  ASSERT_EQ(control_->Clone(cloned, cloneMap, 0), kOk);
  auto* clone = DynamicCast<Control>(cloned.Get());
  ASSERT_NE(clone, nullptr);
  ASSERT_NE(clone->GetAnmImage(), nullptr);
  EXPECT_NE(clone->GetAnmImage(), frames.Get());
  EXPECT_EQ(clone->GetAnmImage()->GetFrameCount(), 2u);
  // CopyTo: shared.
  CPointer<Control> target(new Control());
  DisplacedList displaced;
  ASSERT_EQ(control_->CopyTo(target.Get(), displaced, 0), kOk);
  EXPECT_EQ(target->GetAnmImage(), frames.Get());
  EXPECT_EQ(control_->CopyTo(map_.Get(), displaced, 0), kErrNotFound);
  // Found and reported as owned.
  frames->SetName(u"Frames");
  EXPECT_EQ(control_->Find(u"Frames", nullptr, true, false), frames.Get());
  EXPECT_TRUE(control_->HasSubObjects());
}

TEST_F(AnmImageControlTest, TheRecordHasNoDataControllerLevel) {
  EXPECT_EQ(Control::StaticClassRecord().parent, &CControl::StaticClassRecord());
  EXPECT_TRUE(control_->IsDataControl());
  EXPECT_EQ(control_->GetSaveSize(), control_->CControl::GetSaveSize() + 16);
  control_->SetAnmImage(Frames({0, 10, 20}).Get());
  test::ExpectSceneRoundTrip(*map_);
}

// The record of version 2.`minor` without its id: root, scene-content and
// controller parts, then the pair.
ByteWriter Head(u32 minor) {
  ByteWriter w;
  test::BasePart(w, 0x10);
  test::DorunPart(w, 0);
  test::ControlPart(w, test::ControlFields{}).Pair(2, minor);
  return w;
}

TEST_F(AnmImageControlTest, OlderRecordsHoldA4ByteId) {
  struct Row {
    u32 minor;
    Result result;
  };
  for (const Row& row : {Row{0, kOk}, Row{1, kOk}, Row{2, kErrNewerVersion}}) {
    SCOPED_TRACE(row.minor);
    ByteWriter w = Head(row.minor);
    if (row.minor == 0) {
      w.U32(0);
    } else {
      w.U64(0);
    }
    CStream stream;
    CMemoryIo device;
    if (row.result != kOk) {
      EXPECT_EQ(test::LoadRecord("CAnmImageControl", w, stream, device), row.result);
      continue;
    }
    auto* c = test::LoadRoot<Control>("CAnmImageControl", w, stream, device);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->GetAnmImage(), nullptr);
  }
}

TEST_F(AnmImageControlTest, A200RecordLinksItsAnimatedImageByA4ByteId) {
  ByteWriter control = Head(0);
  control.U32(0x20);
  // An animated image with no frames, stored in the record.
  ByteWriter frames;
  test::BasePart(frames, 0x20).Pair(2, 1).WStr(u"").U32(0);
  const test::Bytes file =
      test::SceneImage().Record("CAnmImageControl", control, true).Record("CAnmImage", frames).Data();
  CStream stream;
  CMemoryIo device;
  ASSERT_EQ(test::LoadScene(file, stream, device), kOk);
  auto* c = DynamicCast<Control>(stream.GetRootObject(0));
  ASSERT_NE(c, nullptr);
  ASSERT_NE(c->GetAnmImage(), nullptr);
  EXPECT_EQ(c->GetAnmImage()->GetFrameCount(), 0u);
}

}  // namespace
}  // namespace KT
