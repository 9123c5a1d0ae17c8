// The line style and the solid, gradient and bitmap fill styles: stored
// forms, animated copies, hand-over of owned objects, and records.
#include <gtest/gtest.h>

#include "shapes_test_support.h"

namespace KT {
namespace {

using test::ByteWriter;
using test::Bytes;

class StylesTest : public test::ShapesTest {};

const CColor kRed(1.0f, 0.0f, 0.0f, 0.5f);

// A line-style record of `version` (1.01 carries four dropped words) with
// fill style `fill`: Width 2, Color kRed, Opacity 0.75, caps 1 and 2, join
// 2, attributes 9, MiterLimitFactor 3.
ByteWriter LineStyleBody(u64 id, u32 version, u64 fill = 0) {
  ByteWriter w;
  test::ObjectHead(w, id);
  w.Pair(version / 100, version % 100).U64(fill).F32(2.0f);
  test::ColorBytes(w, kRed).F32(0.75f).U32(1).U32(2).U32(2).U8(9).F32(3.0f);
  if (version == 101) w.U32(7).U32(7).U32(7).U32(7);
  return w;
}

ByteWriter FillStyleBody(u64 id, u32 version, const CColor& color = kRed, f32 opacity = 0.25f) {
  ByteWriter w;
  test::ObjectHead(w, id);
  test::TexturePart(w);
  test::FillPart(w, version, color, opacity);
  return w;
}

TEST_F(StylesTest, LineStyleStoredForms) {
  for (const u32 version : {101u, 102u}) {
    SCOPED_TRACE(version);
    test::SceneFile file;
    file.Record("CLineStyle", LineStyleBody(1, version, 0x20), true);
    file.Record("CFillStyle", FillStyleBody(0x20, 102));
    const Bytes bytes = file.Data();
    CStream stream;
    CMemoryIo device;
    CBase* root = nullptr;
    ASSERT_EQ(test::LoadImage(bytes, stream, device, root), kOk);
    auto* line = DynamicCast<CLineStyle>(root);
    ASSERT_NE(line, nullptr);
    EXPECT_EQ(line->Width, 2.0f);
    EXPECT_EQ(line->Color, kRed);
    EXPECT_EQ(line->Opacity, 0.75f);
    EXPECT_EQ(line->StartCap, CLineStyle::CS_NONE);
    EXPECT_EQ(line->EndCap, CLineStyle::CS_SQUARE);
    EXPECT_EQ(line->JoinStyle, CLineStyle::JS_MITER);
    EXPECT_EQ(line->Attributes, CLineStyle::ATT_HasFill | CLineStyle::ATT_PixelHinting);
    EXPECT_EQ(line->MiterLimitFactor, 3.0f);
    EXPECT_EQ(line->AnimWidth, 2.0f) << "the load refreshes the animated copy";
    EXPECT_EQ(line->AnimColor, kRed);
    EXPECT_EQ(line->AnimOpacity, 0.75f);
    ASSERT_NE(line->GetFillStyle(), nullptr);
    EXPECT_EQ(line->GetFillStyle()->Opacity, 0.25f);
    test::ExpectPrefixesFailBetweenRecords(bytes, test::kFirstRecordOffset);
    test::ExpectRoundTrip({line});
  }
}

TEST_F(StylesTest, FillStyleStoredForms) {
  for (const u32 version : {101u, 102u}) {
    SCOPED_TRACE(version);
    test::SceneFile file;
    file.Record("CFillStyle", FillStyleBody(1, version), true);
    const Bytes bytes = file.Data();
    CStream stream;
    CMemoryIo device;
    CBase* root = nullptr;
    ASSERT_EQ(test::LoadImage(bytes, stream, device, root), kOk);
    auto* fill = DynamicCast<CFillStyle>(root);
    ASSERT_NE(fill, nullptr);
    EXPECT_EQ(fill->Color, kRed);
    EXPECT_EQ(fill->Opacity, 0.25f);
    EXPECT_EQ(fill->AnimColor, kRed);
    EXPECT_EQ(fill->AnimOpacity, 0.25f);
    EXPECT_TRUE(fill->IsValid());
    EXPECT_FALSE(fill->HasBitmap());
    EXPECT_FALSE(fill->IsGradient());
    test::ExpectPrefixesFailBetweenRecords(bytes, test::kFirstRecordOffset);
    test::ExpectRoundTrip({fill});
  }
}

TEST_F(StylesTest, NewerVersionsAreRefused) {
  test::SceneFile file;
  file.Record("CLineStyle", LineStyleBody(1, 103), true);
  CStream stream;
  CMemoryIo device;
  CBase* root = nullptr;
  EXPECT_EQ(test::LoadImage(file.Data(), stream, device, root), kErrNewerVersion);
}

TEST_F(StylesTest, LineStyleFillMustBeAFillStyle) {
  test::SceneFile file;
  file.Record("CLineStyle", LineStyleBody(1, 102, 0x20), true);
  file.Record("CNode", test::NodeBody(0x20, {}));
  CStream stream;
  CMemoryIo device;
  CBase* root = nullptr;
  EXPECT_EQ(test::LoadImage(file.Data(), stream, device, root), kErrNotFound);
}

TEST_F(StylesTest, LineStyleCopyToHandsTheFillStyleOver) {
  CPointer<CLineStyle> source(new CLineStyle());
  CPointer<CLineStyle> target(new CLineStyle());
  CPointer<CFillStyle> fill(new CFillStyle());
  CPointer<CFillStyle> former(new CFillStyle());
  source->SetFillStyle(fill.Get());
  target->SetFillStyle(former.Get());
  source->Width = 4.0f;
  source->Color = kRed;
  source->Opacity = 0.5f;
  target->AnimWidth = 99.0f;
  DisplacedList displaced;
  ASSERT_EQ(source->CopyTo(target.Get(), displaced, 0), kOk);
  EXPECT_EQ(source->GetFillStyle(), nullptr) << "the source is left without a fill style";
  EXPECT_EQ(target->GetFillStyle(), fill.Get());
  ASSERT_EQ(displaced.size(), 1u);
  EXPECT_EQ(displaced[0].Get(), former.Get());
  EXPECT_EQ(target->AnimWidth, 4.0f) << "the target's animated copy is refreshed";
  EXPECT_EQ(target->AnimColor, kRed);
  EXPECT_EQ(target->AnimOpacity, 0.5f);

  CPointer<CFillStyle> other(new CFillStyle());
  EXPECT_EQ(source->CopyTo(other.Get(), displaced, 0), kErrNotFound);
  EXPECT_EQ(source->CopyTo(nullptr, displaced, 0), kErrNotFound);
}

TEST_F(StylesTest, LineStyleCopiesAndClones) {
  CPointer<CLineStyle> line(new CLineStyle());
  CPointer<CFillStyle> fill(new CFillStyle());
  line->SetFillStyle(fill.Get());
  line->Width = 3.0f;
  CPointer<CBase> copy;
  ASSERT_EQ(line->CreateInstance(copy), kOk);
  EXPECT_EQ(static_cast<CLineStyle*>(copy.Get())->GetFillStyle(), nullptr) << "a plain copy has no fill style";
  EXPECT_EQ(static_cast<CLineStyle*>(copy.Get())->Width, 3.0f);

  CloneMap map;
  CPointer<CBase> clone;
  ASSERT_EQ(line->Clone(clone, map, 0), kOk);
  auto* cloned = static_cast<CLineStyle*>(clone.Get());
  ASSERT_NE(cloned->GetFillStyle(), nullptr);
  EXPECT_NE(cloned->GetFillStyle(), fill.Get());
  EXPECT_EQ(map.at(fill.Get()).Get(), cloned->GetFillStyle());
  CPointer<CBase> again;
  EXPECT_EQ(line->Clone(again, map, 0), kOk);
  EXPECT_EQ(again.Get(), clone.Get()) << "the clone map gives the earlier clone";

  EXPECT_EQ(line->Find(nullptr, &CFillStyle::StaticClassRecord(), false, false), fill.Get());
  test::ReferenceRecorder refs;
  line->EnumReferences(refs);
  ASSERT_FALSE(refs.seen.empty());
  EXPECT_EQ(refs.seen[0], fill.Get());
}

TEST_F(StylesTest, AdjustColorRefreshesTheAnimatedCopies) {
  CLineStyle line;
  line.Color = CColor(0.2f, 0.4f, 0.6f, 0.5f);
  line.Width = 5.0f;
  line.AdjustColor(0, 0, 0, 0, true);
  EXPECT_NEAR(line.Color.r, 0.8f, 1e-6);
  EXPECT_EQ(line.AnimColor, line.Color);
  EXPECT_EQ(line.AnimWidth, 5.0f);
  EXPECT_TRUE(line.IsModified());

  CFillStyle fill;
  fill.Opacity = 0.5f;
  EXPECT_EQ(fill.AdjustColor(0, 0, 0, -2.0f, false), kOk);
  EXPECT_EQ(fill.Color, CColor(0.5f, 0.5f, 0.5f, 1.0f));
  EXPECT_EQ(fill.AnimColor, fill.Color);
  EXPECT_EQ(fill.AnimOpacity, 0.5f);
}

TEST_F(StylesTest, MemberNamesKeepTheirBlanks) {
  CLineStyle line;
  test::NameRecorder names;
  line.DescribeMembers(names);
  const std::vector<std::u16string> expected = {
      u"FillStyle", u"Width    ", u"Color    ", u"Opacity  ", u"StartCap ", u"EndCap   ", u"JoinStyle",
      u"ATT_HasFill     ", u"ATT_NoHScale    ", u"ATT_NoVScale    ", u"ATT_PixelHinting", u"MiterLimitFactor"};
  EXPECT_EQ(names.Group(u"CLineStyle Member"), expected);

  CBitmapFillStyle bitmap;
  test::NameRecorder bitmapNames;
  bitmap.DescribeMembers(bitmapNames);
  EXPECT_EQ(bitmapNames.Group(u"CBitmapFillStyle Member"),
            (std::vector<std::u16string>{u"Transform Matrix", u"RepeatMode", u"Bitmap"}));
  EXPECT_EQ(bitmapNames.Group(u"CFillStyle Member"), (std::vector<std::u16string>{u"Color", u"Opacity"}));
}

// --- gradient ----------------------------------------------------------------------------

ByteWriter GradientBody(u64 id, const std::vector<CGradientFillStyle::_KTGradientRec>& recs) {
  ByteWriter w = FillStyleBody(id, 102);
  w.Pair(1, 0).U32(CGradientFillStyle::Radial);
  CMatrix4 m;
  m.m[3][0] = 5.0f;
  test::MatrixBytes(w, m).U32(static_cast<u32>(recs.size()));
  for (const auto& rec : recs) test::ColorBytes(w.F32(rec.Ratio), rec.Color);
  return w;
}

TEST_F(StylesTest, GradientRecordsAndRefresh) {
  const std::vector<CGradientFillStyle::_KTGradientRec> recs = {{0.0f, kRed}, {1.0f, CColor(0, 0, 1, 1)}};
  test::SceneFile file;
  file.Record("CGradientFillStyle", GradientBody(1, recs), true);
  const Bytes bytes = file.Data();
  CStream stream;
  CMemoryIo device;
  CBase* root = nullptr;
  ASSERT_EQ(test::LoadImage(bytes, stream, device, root), kOk);
  auto* gradient = DynamicCast<CGradientFillStyle>(root);
  ASSERT_NE(gradient, nullptr);
  EXPECT_TRUE(gradient->IsGradient());
  EXPECT_EQ(gradient->GradientType, CGradientFillStyle::Radial);
  EXPECT_EQ(gradient->Transform.m[3][0], 5.0f);
  EXPECT_EQ(gradient->AnimTransform.m[3][0], 5.0f);
  ASSERT_EQ(gradient->GetGradientRecCount(), 2u);
  ASSERT_EQ(gradient->GetAnimGradientRecs().GetCount(), 2u);
  EXPECT_EQ(gradient->GetAnimGradientRecs()[1].Color, CColor(0, 0, 1, 1));
  EXPECT_TRUE(gradient->IsAnimReset());
  test::ExpectPrefixesFailBetweenRecords(bytes, test::kFirstRecordOffset);
  test::ExpectRoundTrip({gradient});

  // Every Update starts from the stored records while AnimReset is set.
  gradient->EditAnimGradientRecs()[0].Ratio = 0.5f;
  gradient->AnimTransform.m[3][0] = 9.0f;
  EXPECT_EQ(gradient->Update(0), kOk);
  EXPECT_EQ(gradient->GetAnimGradientRecs()[0].Ratio, 0.0f);
  EXPECT_EQ(gradient->AnimTransform.m[3][0], 5.0f);
  EXPECT_TRUE(gradient->IsAnimReset());

  EXPECT_EQ(gradient->AdjustColor(0, 0, 0, 0, true), kOk);
  EXPECT_EQ(gradient->GetGradientRecs()[0].Color, CColor(0, 1, 1, 0.5f));
  EXPECT_EQ(gradient->GetAnimGradientRecs()[0].Color, CColor(0, 1, 1, 0.5f));
}

TEST_F(StylesTest, GradientWithoutRecordsSaves80BytesOfItsOwn) {
  CPointer<CGradientFillStyle> gradient(new CGradientFillStyle());
  EXPECT_EQ(gradient->GetSaveSize(), gradient->CFillStyle::GetSaveSize() + 80);
  const Bytes record = test::SaveObjectRecord(*gradient);
  EXPECT_EQ(record.size(), gradient->GetSaveSize());
  test::ExpectRoundTrip({gradient.Get()});
}

// A gradient whose record count is 0 while its buffer still holds records
// (a record with no stops loaded over one with stops) refreshes without
// asking the buffer for 0 records: Update and AdjustColor succeed.
TEST_F(StylesTest, GradientWithCountZeroButRecordsRefreshes) {
  const CGradientFillStyle::_KTGradientRec recs[] = {{0.0f, kRed}, {1.0f, kRed}};
  CGradientFillStyle gradient;
  ASSERT_EQ(gradient.SetGradientRecords(recs, 2), kOk);
  ASSERT_EQ(gradient.RefreshAnimated(), kOk);
  CPointer<CGradientFillStyle> empty(new CGradientFillStyle());
  CMemoryIo device(test::SaveObjectRecord(*empty));
  CStream stream;
  stream.SetDevice(&device);
  std::string name;
  u32 size = 0;
  ASSERT_EQ(ReadString(stream, name), kOk);
  ASSERT_EQ(ReadU32(stream, size), kOk);
  CStreamLoadRecord record;
  ASSERT_EQ(gradient.Load(stream, record, 0), kOk);
  EXPECT_EQ(gradient.GetGradientRecCount(), 0u);
  EXPECT_EQ(gradient.GetGradientRecs().GetCount(), 2u) << "a load without stops leaves the buffer";
  EXPECT_EQ(gradient.Update(0), kOk);
  EXPECT_EQ(gradient.AdjustColor(0.1f, 0, 0, 0, false), kOk);
  EXPECT_EQ(gradient.GetSaveSize(), gradient.CFillStyle::GetSaveSize() + 80);
}

TEST_F(StylesTest, GradientCopies) {
  const CGradientFillStyle::_KTGradientRec recs[] = {{0.25f, kRed}};
  CGradientFillStyle source;
  ASSERT_EQ(source.SetGradientRecords(recs, 1), kOk);
  ASSERT_EQ(source.RefreshAnimated(), kOk);
  source.Transform.m[0][0] = 2.0f;
  CPointer<CBase> copy;
  ASSERT_EQ(source.CreateInstance(copy), kOk);
  auto* c = static_cast<CGradientFillStyle*>(copy.Get());
  EXPECT_EQ(c->GetGradientRecCount(), 1u);
  EXPECT_NE(c->GetGradientRecs().GetData(), source.GetGradientRecs().GetData()) << "a deep copy";
  EXPECT_EQ(c->GetAnimGradientRecs()[0].Ratio, 0.25f);

  CGradientFillStyle target;
  DisplacedList displaced;
  ASSERT_EQ(source.CopyTo(&target, displaced, 0), kOk);
  EXPECT_EQ(target.GetGradientRecCount(), 1u);
  EXPECT_EQ(target.GetGradientRecs()[0].Color, kRed);
  EXPECT_EQ(target.Transform.m[0][0], 2.0f);
  CFillStyle plain;
  EXPECT_EQ(source.CopyTo(&plain, displaced, 0), kErrNotFound);
}

// --- bitmap ------------------------------------------------------------------------------

TEST_F(StylesTest, BitmapFillStoredFormAndHandOver) {
  test::SceneFile file;
  ByteWriter body = FillStyleBody(1, 102);
  body.Pair(1, 0).U32(CBitmapFillStyle::Wrap);
  CMatrix4 m;
  m.m[3][1] = 7.0f;
  test::MatrixBytes(body, m).U64(0x20);
  file.Record("CBitmapFillStyle", body, true);
  file.Record("CNode", test::NodeBody(0x20, {}));
  const Bytes bytes = file.Data();
  CStream stream;
  CMemoryIo device;
  CBase* root = nullptr;
  ASSERT_EQ(test::LoadImage(bytes, stream, device, root), kOk);
  auto* bitmap = DynamicCast<CBitmapFillStyle>(root);
  ASSERT_NE(bitmap, nullptr);
  EXPECT_EQ(bitmap->RepeatMode, CBitmapFillStyle::Wrap);
  EXPECT_EQ(bitmap->AnimTransform.m[3][1], 7.0f);
  ASSERT_NE(bitmap->GetBitmap(), nullptr);
  EXPECT_TRUE(bitmap->HasBitmap());
  EXPECT_EQ(bitmap->Find(nullptr, &CNode::StaticClassRecord(), false, false), bitmap->GetBitmap());
  test::ExpectPrefixesFailBetweenRecords(bytes, test::kFirstRecordOffset);
  test::ExpectRoundTrip({bitmap});

  CloneMap map;
  CPointer<CBase> clone;
  ASSERT_EQ(bitmap->Clone(clone, map, 0), kOk);
  auto* cloned = static_cast<CBitmapFillStyle*>(clone.Get());
  ASSERT_NE(cloned->GetBitmap(), nullptr);
  EXPECT_NE(cloned->GetBitmap(), bitmap->GetBitmap());

  CPointer<CBase> held(bitmap->GetBitmap());
  CBitmapFillStyle target;
  DisplacedList displaced;
  ASSERT_EQ(bitmap->CopyTo(&target, displaced, 0), kOk);
  EXPECT_EQ(target.GetBitmap(), held.Get());
  EXPECT_EQ(bitmap->GetBitmap(), nullptr) << "the source is left without a bitmap";
  EXPECT_FALSE(bitmap->HasBitmap());
  EXPECT_EQ(target.AnimTransform.m[3][1], 7.0f);
}

}  // namespace
}  // namespace KT
