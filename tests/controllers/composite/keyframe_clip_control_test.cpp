// The keyframe clip controller: it evaluates as the keyframe controller,
// keeps its clips and markers byte for byte, converts the older narrow
// names and Weight-raised values, bakes its Frequency, and copies only by
// construction.
#include "controllers/composite/keyframe_clip_control.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "controllers/composite/constraint_test_support.h"
#include "controllers/core/transform_test_support.h"
#include "objectmodel/byte_writer.h"
#include "objectmodel/class_factory.h"
#include "objectmodel/stream_test_support.h"
#include "render/lights/light_test_support.h"
#include "scene/node.h"

namespace KT {
namespace {

using test::Bytes;
using test::ByteWriter;
using test::kFirstRecordOffset;
using Clip = CKeyframeClipControl::Clip;
using Marker = CKeyframeClipControl::Marker;

class KeyframeClipControlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::RegisterTransformTestClasses();
    CClassFactory::Register("CKeyframeClipControl", &CreateObject<CKeyframeClipControl>);
    test::UseTestIds(0);
  }
};

Clip MakeClip(std::u16string_view name, u32 first, u32 second, f32 third, f32 fourth) {
  Clip clip;
  clip.SetName(name);
  clip.First = first;
  clip.Second = second;
  clip.Third = third;
  clip.Fourth = fourth;
  return clip;
}

CRtsTransform At(f32 x, f32 angle = 0.0f) {
  CRtsTransform t = kIdentityTransform;
  t.Translate = {x, 0.0f, 0.0f};
  t.Rotate = CQuaternion::FromAxisAngle({0, 0, 1}, angle);
  return t;
}

// A clip record as stored from 2.00 on.
ByteWriter& WideClip(ByteWriter& w, const std::u16string& name, u32 first, u32 second, f32 third, f32 fourth) {
  for (u32 i = 0; i < CKeyframeClipControl::kNameUnits; ++i) w.U16(i < name.size() ? name[i] : 0);
  return w.U32(first).U32(second).F32(third).F32(fourth);
}

// A clip record as stored before 2.00: 32 narrow bytes.
ByteWriter& NarrowClip(ByteWriter& w, const std::string& name, u32 first, u32 second, f32 third, f32 fourth) {
  for (u32 i = 0; i < 32; ++i) w.U8(i < name.size() ? static_cast<u8>(name[i]) : 0);
  return w.U32(first).U32(second).F32(third).F32(fourth);
}

// A clip controller's record with no keys, up to the end of its keyframe
// part, its controller part holding `weight`.
ByteWriter KeyframeHead(f32 weight = 1.0f) {
  ByteWriter w;
  test::BasePart(w, 0x10);
  test::DorunPart(w, 0);
  test::ControlFields fields;
  fields.weight = weight;
  test::ControlPart(w, fields);
  test::RtsControlPart(w, 2, 2);
  return w.Pair(3, 0).U32(0).U32(0);
}

CKeyframeClipControl* LoadOne(const ByteWriter& body, CStream& stream, CMemoryIo& device, Result expected = kOk) {
  EXPECT_EQ(test::LoadScene(test::SceneImage().Record("CKeyframeClipControl", body, true).Data(), stream, device),
            expected);
  return expected == kOk ? DynamicCast<CKeyframeClipControl>(stream.GetRootObject(0)) : nullptr;
}

void ExpectClip(const Clip& clip, const std::u16string& name, u32 first, u32 second, f32 third, f32 fourth) {
  EXPECT_EQ(clip.GetName(), name);
  EXPECT_EQ(clip.First, first);
  EXPECT_EQ(clip.Second, second);
  EXPECT_EQ(clip.Third, third);
  EXPECT_EQ(clip.Fourth, fourth);
}

TEST_F(KeyframeClipControlTest, EvaluatesExactlyAsTheKeyframeController) {
  CPointer<CNode> clipped(new CNode());
  CPointer<CNode> plain(new CNode());
  CPointer<CKeyframeClipControl> control(new CKeyframeClipControl());
  CPointer<CKeyframeControl> reference(new CKeyframeControl());
  for (CKeyframeControl* keys : {static_cast<CKeyframeControl*>(control.Get()), reference.Get()}) {
    ASSERT_EQ(keys->AddRtsKey(0, 1000.0f, At(0.0f)), kOk);
    ASSERT_EQ(keys->AddRtsKey(400, 1000.0f, At(4.0f, 1.0f), TT_EASE_IN_OUT), kOk);
    ASSERT_EQ(keys->SetStickyKeys({{0, true}, {200, false}}), kOk);
    keys->SetRepeat(CControl::RT_CYCLE);
    keys->SetFrequency(1.5f);
  }
  ASSERT_EQ(control->SetClips({MakeClip(u"a", 1, 2, 3.0f, 4.0f)}), kOk);
  ASSERT_EQ(control->ResizeMarkers(1), kOk);
  ASSERT_EQ(clipped->AddControl(control.Get()), kOk);
  ASSERT_EQ(plain->AddControl(reference.Get()), kOk);
  EXPECT_EQ(control->GetEndTime(), reference->GetEndTime());
  for (const i32 time : {-30, 0, 100, 266, 400, 900}) {
    SCOPED_TRACE(time);
    ASSERT_EQ(clipped->UpdateTransform(time), kOk);
    ASSERT_EQ(plain->UpdateTransform(time), kOk);
    EXPECT_EQ(clipped->GetWorldMatrix(), plain->GetWorldMatrix());
    EXPECT_EQ(control->IsStickyEnabled(), reference->IsStickyEnabled());
    EXPECT_EQ(control->GetStickyStart(), reference->GetStickyStart());
  }
}

TEST_F(KeyframeClipControlTest, ClipsAndMarkersRoundTripByteForByte) {
  CPointer<CKeyframeClipControl> control(new CKeyframeClipControl());
  ASSERT_EQ(control->AddRtsKey(0, 1000.0f, At(1.0f)), kOk);
  control->SetWeight(1.0f);
  const std::u16string names[2] = {u"\u00c9t\u00e9 \u6625", u"\U0001F3AC take"};
  ASSERT_EQ(control->SetClips({MakeClip(names[0], 1, 2, 0.25f, -3.5f), MakeClip(names[1], 0xFFFFFFFFu, 7, 1e9f, 0.0f)}),
            kOk);
  ASSERT_EQ(control->SetMarkers({Marker{{5, 6, 7}}, Marker{{-1, 0x7FFFFFFF, -0x7FFFFFFF}}}), kOk);
  EXPECT_EQ(control->GetSaveSize(), control->CKeyframeControl::GetSaveSize() + 8 + (4 + 2 * 80) + (4 + 2 * 12));
  const Bytes first = test::SaveRoots({control.Get()});

  // The record's own part, written out field by field.
  ByteWriter own;
  own.Pair(2, 0).U32(2);
  WideClip(own, names[0], 1, 2, 0.25f, -3.5f);
  WideClip(own, names[1], 0xFFFFFFFFu, 7, 1e9f, 0.0f);
  own.U32(2).I32(5).I32(6).I32(7).I32(-1).I32(0x7FFFFFFF).I32(-0x7FFFFFFF);
  ASSERT_GE(first.size(), own.Size());
  EXPECT_TRUE(std::equal(own.Data().begin(), own.Data().end(), first.end() - static_cast<std::ptrdiff_t>(own.Size())));

  test::UseTestIds(1);
  CStream stream;
  CMemoryIo device;
  ASSERT_EQ(test::LoadScene(first, stream, device), kOk);
  auto* loaded = DynamicCast<CKeyframeClipControl>(stream.GetRootObject(0));
  ASSERT_NE(loaded, nullptr);
  ASSERT_EQ(loaded->GetClips().size(), 2u);
  // A 2.00 record keeps the values as stored, whatever the Weight.
  ExpectClip(loaded->GetClips()[0], names[0], 1, 2, 0.25f, -3.5f);
  ExpectClip(loaded->GetClips()[1], names[1], 0xFFFFFFFFu, 7, 1e9f, 0.0f);
  ASSERT_EQ(loaded->GetMarkers().size(), 2u);
  EXPECT_EQ(loaded->GetMarkers()[1].Values[1], 0x7FFFFFFF);
  // Save, load and save again: the same bytes, however often.
  Bytes again = test::SaveLoaded(stream);
  EXPECT_EQ(test::RenumberIds(again), test::RenumberIds(first));
  CStream twice;
  CMemoryIo device2;
  ASSERT_EQ(test::LoadScene(again, twice, device2), kOk);
  EXPECT_EQ(test::RenumberIds(test::SaveLoaded(twice)), test::RenumberIds(first));
  test::ExpectEveryPrefixFails(first, kFirstRecordOffset);

  // The member description is the keyframe controller's alone.
  const std::string text = test::Members(control.Get());
  EXPECT_EQ(text.find("CKeyframeClipControl Member"), std::string::npos);
  EXPECT_EQ(text.find("take"), std::string::npos);
  EXPECT_NE(text.find("CKeyframeControl Member"), std::string::npos);
}

TEST_F(KeyframeClipControlTest, OlderRecordsHoldNarrowNamesAndValuesRaisedByTheWeight) {
  struct Row {
    const char* name;
    f32 weight;
    std::string stored;
    std::u16string loaded;
    f32 third, fourth;  // as loaded from stored 2.5 and -1.0
  };
  const std::string full(32, 'x');
  const Row rows[] = {
      {"four letters, Weight 1.0", 1.0f, "Walk", u"Walk", 1.5f, -2.0f},
      {"Weight 0 keeps the values", 0.0f, "Walk", u"Walk", 2.5f, -1.0f},
      {"Weight 0.5", 0.5f, "Run", u"Run", 2.0f, -1.5f},
      {"Windows-1252 letters", 1.0f, "\x80 caf\xe9", u"\u20ac caf\u00e9", 1.5f, -2.0f},
      {"32 bytes without a zero: 31 letters", 1.0f, full, std::u16string(31, u'x'), 1.5f, -2.0f},
      {"an empty name", 1.0f, "", u"", 1.5f, -2.0f},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    ByteWriter body = KeyframeHead(row.weight);
    body.Pair(1, 99).U32(2);
    NarrowClip(body, row.stored, 3, 4, 2.5f, -1.0f);
    NarrowClip(body, "B", 5, 6, 0.0f, 0.0f);
    body.U32(1).I32(9).I32(8).I32(7);
    CStream stream;
    CMemoryIo device;
    CKeyframeClipControl* loaded = LoadOne(body, stream, device);
    ASSERT_NE(loaded, nullptr);
    ASSERT_EQ(loaded->GetClips().size(), 2u);
    ExpectClip(loaded->GetClips()[0], row.loaded, 3, 4, row.third, row.fourth);
    ExpectClip(loaded->GetClips()[1], u"B", 5, 6, -row.weight, -row.weight);
    ASSERT_EQ(loaded->GetMarkers().size(), 1u);
    EXPECT_EQ(loaded->GetMarkers()[0].Values[2], 7);
    // Saved again, it is a current record of the loaded values.
    const Bytes saved = test::SaveLoaded(stream);
    CStream again;
    CMemoryIo device2;
    ASSERT_EQ(test::LoadScene(saved, again, device2), kOk);
    auto* reloaded = DynamicCast<CKeyframeClipControl>(again.GetRootObject(0));
    ASSERT_NE(reloaded, nullptr);
    ExpectClip(reloaded->GetClips()[0], row.loaded, 3, 4, row.third, row.fourth);
  }
}

TEST_F(KeyframeClipControlTest, BadRecordsAreRefused) {
  struct Row {
    const char* name;
    ByteWriter body;
    Result result;
  };
  ByteWriter newer = KeyframeHead();
  newer.Pair(2, 1).U32(0).U32(0);
  ByteWriter tooManyClips = KeyframeHead();
  tooManyClips.Pair(2, 0).U32(0x01000000).U32(0);
  ByteWriter tooManyNarrowClips = KeyframeHead();
  tooManyNarrowClips.Pair(1, 0).U32(3);
  NarrowClip(tooManyNarrowClips, "a", 0, 0, 0, 0);
  NarrowClip(tooManyNarrowClips, "b", 0, 0, 0, 0).U32(0);
  ByteWriter tooManyMarkers = KeyframeHead();
  tooManyMarkers.Pair(2, 0).U32(0).U32(0x40000000);
  const Row rows[] = {
      {"a newer version", newer, kErrNewerVersion},
      {"more clips than bytes", tooManyClips, kErrStream},
      {"more narrow clips than bytes", tooManyNarrowClips, kErrStream},
      {"more markers than bytes", tooManyMarkers, kErrStream},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    CStream stream;
    CMemoryIo device;
    LoadOne(row.body, stream, device, row.result);
  }
}

TEST_F(KeyframeClipControlTest, NamesFillTheirThirtyTwoUnits) {
  Clip clip;
  clip.SetName(std::u16string(40, u'n'));
  EXPECT_EQ(clip.GetName(), std::u16string(31, u'n'));
  EXPECT_EQ(clip.Name[31], u'\0');
  clip.SetName(u"ab");
  EXPECT_EQ(clip.GetName(), u"ab");
  EXPECT_TRUE(std::all_of(clip.Name + 2, clip.Name + 32, [](char16_t c) { return c == 0; }));
  // A file may leave no terminator: the name is the whole field, and it is
  // saved back as it was.
  ByteWriter body = KeyframeHead();
  body.Pair(2, 0).U32(1);
  WideClip(body, std::u16string(32, u'z'), 0, 0, 0.0f, 0.0f).U32(0);
  CStream stream;
  CMemoryIo device;
  CKeyframeClipControl* loaded = LoadOne(body, stream, device);
  ASSERT_NE(loaded, nullptr);
  EXPECT_EQ(loaded->GetClips()[0].GetName(), std::u16string(32, u'z'));
  const Bytes saved = test::SaveLoaded(stream);
  EXPECT_NE(std::search(saved.begin(), saved.end(), body.Data().end() - 84, body.Data().end()), saved.end());
}

TEST_F(KeyframeClipControlTest, MarkersAddedByAResizeAreZeroMinusOneOne) {
  CKeyframeClipControl control;
  ASSERT_EQ(control.SetMarkers({Marker{{4, 4, 4}}}), kOk);
  ASSERT_EQ(control.ResizeMarkers(3), kOk);
  ASSERT_EQ(control.GetMarkers().size(), 3u);
  EXPECT_EQ(control.GetMarkers()[0].Values[0], 4);
  for (u32 i = 1; i < 3; ++i) {
    EXPECT_EQ(control.GetMarkers()[i].Values[0], 0);
    EXPECT_EQ(control.GetMarkers()[i].Values[1], -1);
    EXPECT_EQ(control.GetMarkers()[i].Values[2], 1);
  }
  ASSERT_EQ(control.ResizeMarkers(1), kOk);
  EXPECT_EQ(control.GetMarkers().size(), 1u);
}

TEST_F(KeyframeClipControlTest, BakingRemembersTheFrequency) {
  CKeyframeClipControl control;
  ASSERT_EQ(control.AddRtsKey(1000, 1000.0f, At(0.0f)), kOk);
  ASSERT_EQ(control.AddRtsKey(2001, 1000.0f, At(1.0f)), kOk);
  EXPECT_EQ(control.GetBakedFrequency(), 1.0f);
  control.SetFrequency(2.0f);
  ASSERT_EQ(control.BakeFrequency(), kOk);
  EXPECT_EQ(control.GetBakedFrequency(), 2.0f);
  EXPECT_EQ(control.GetFrequency(), 1.0f);
  EXPECT_EQ(control.GetRtsKeys()[0].Time, 500);
  EXPECT_EQ(control.GetRtsKeys()[1].Time, 1000);
  // A Frequency the bake cannot fold into the times changes nothing.
  control.SetFrequency(0.0f);
  EXPECT_EQ(control.BakeFrequency(), kErrInvalidArg);
  EXPECT_EQ(control.GetBakedFrequency(), 2.0f);
  EXPECT_EQ(control.GetRtsKeys()[1].Time, 1000);
}

TEST_F(KeyframeClipControlTest, CopiesClampAndCopyToIsRefused) {
  CPointer<CKeyframeClipControl> control(new CKeyframeClipControl());
  ASSERT_EQ(control->AddRtsKey(0, 1000.0f, At(2.0f)), kOk);
  ASSERT_EQ(control->SetClips({MakeClip(u"clip", 1, 2, 3.0f, 4.0f)}), kOk);
  ASSERT_EQ(control->ResizeMarkers(2), kOk);
  control->SetFrequency(3.0f);
  ASSERT_EQ(control->BakeFrequency(), kOk);
  control->SetRepeat(CControl::RT_CYCLE);
  EXPECT_EQ(control->GetVersion(), 200u);

  CPointer<CBase> instance;
  ASSERT_EQ(control->CreateInstance(instance), kOk);
  auto* copy = DynamicCast<CKeyframeClipControl>(instance.Get());
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->GetRepeat(), CControl::RT_CLAMP);
  EXPECT_FALSE(copy->IsModified());
  ASSERT_EQ(copy->GetClips().size(), 1u);
  ExpectClip(copy->GetClips()[0], u"clip", 1, 2, 3.0f, 4.0f);
  EXPECT_EQ(copy->GetMarkers().size(), 2u);
  EXPECT_EQ(copy->GetBakedFrequency(), 3.0f);
  EXPECT_EQ(copy->GetRtsKeys().size(), 1u);

  CPointer<CKeyframeClipControl> target(new CKeyframeClipControl());
  CPointer<CKeyframeControl> plain(new CKeyframeControl());
  DisplacedList displaced;
  EXPECT_EQ(control->CopyTo(target.Get(), displaced, 0), kErrInvalidArg);
  EXPECT_EQ(control->CopyTo(plain.Get(), displaced, 0), kErrInvalidArg);
  EXPECT_EQ(control->CopyTo(nullptr, displaced, 0), kErrInvalidArg);
  EXPECT_TRUE(target->GetClips().empty());
  EXPECT_TRUE(target->GetRtsKeys().empty());
  EXPECT_EQ(target->GetRepeat(), CControl::RT_CLAMP);
}

}  // namespace
}  // namespace KT
