// The four style controllers: evaluation, application, stored forms.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "shapes_test_support.h"

namespace KT {
namespace {

using test::ByteWriter;
using test::Bytes;
using Vec3 = CVector3<float>;

class StyleControlsTest : public test::ShapesTest {};

const CColor kBlack(0, 0, 0, 1);
const CColor kWhite(1, 1, 1, 1);

struct LineFixture {
  CPointer<CLineStyle> style{new CLineStyle()};
  CPointer<CLineStyleControl> control{new CLineStyleControl()};
  LineFixture() {
    style->Width = 7.0f;
    style->Color = CColor(0.5f, 0.5f, 0.5f, 1.0f);
    style->RefreshAnimated();
    EXPECT_EQ(style->AddControl(control.Get()), kOk);
  }
};

TEST_F(StyleControlsTest, LineControlBlendsBetweenKeys) {
  LineFixture f;
  ASSERT_EQ(f.control->SetKey(0, 1.0f, kBlack, 0.0f, 0.0f, TT_LINEAR), kOk);
  ASSERT_EQ(f.control->SetKey(1000, 3.0f, kWhite, 1.0f, 0.0f, TT_LINEAR), kOk);
  struct Row {
    i32 time;
    f32 width, grey, opacity;
  };
  const Row rows[] = {{-10, 1, 0, 0}, {0, 1, 0, 0}, {250, 1.5f, 0.25f, 0.25f}, {1000, 3, 1, 1}, {5000, 3, 1, 1}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.time);
    ASSERT_EQ(f.style->Update(row.time), kOk);
    EXPECT_FLOAT_EQ(f.style->AnimWidth, row.width);
    EXPECT_FLOAT_EQ(f.style->AnimColor.g, row.grey);
    EXPECT_FLOAT_EQ(f.style->AnimOpacity, row.opacity);
    EXPECT_EQ(f.style->Width, 7.0f) << "the stored values never change";
  }
  EXPECT_EQ(f.control->GetEndTime(), 1000);
}

TEST_F(StyleControlsTest, OneKeyHoldsEverywhere) {
  LineFixture f;
  ASSERT_EQ(f.control->SetKey(500, 4.0f, kWhite, 0.5f, 0.0f, TT_EASE_IN), kOk);
  for (const i32 time : {-1000, 0, 500, 501, 100000}) {
    ASSERT_EQ(f.style->Update(time), kOk);
    EXPECT_EQ(f.style->AnimWidth, 4.0f) << time;
    EXPECT_EQ(f.style->AnimColor, kWhite) << time;
  }
}

TEST_F(StyleControlsTest, StepHoldsUntilTheKeysTime) {
  LineFixture f;
  ASSERT_EQ(f.control->SetKey(0, 1.0f, kBlack, 1.0f, 0.0f, TT_LINEAR), kOk);
  ASSERT_EQ(f.control->SetKey(1000, 9.0f, kWhite, 1.0f, 0.0f, TT_STEP), kOk);
  for (const i32 time : {0, 1, 500, 999}) {
    ASSERT_EQ(f.style->Update(time), kOk);
    EXPECT_EQ(f.style->AnimWidth, 1.0f) << time;
  }
  ASSERT_EQ(f.style->Update(1000), kOk);
  EXPECT_EQ(f.style->AnimWidth, 9.0f);
}

TEST_F(StyleControlsTest, InactiveControllerStillAppliesItsLastValues) {
  LineFixture f;
  ASSERT_EQ(f.control->SetKey(0, 2.0f, kWhite, 1.0f, 0.0f, TT_LINEAR), kOk);
  f.control->SetActive(false);
  EXPECT_EQ(f.control->Update(0), kDone);
  ASSERT_EQ(f.style->Update(0), kOk);
  EXPECT_EQ(f.style->AnimWidth, 0.0f) << "never evaluated: the initial values are written";
  EXPECT_EQ(f.style->AnimOpacity, 0.0f);
  f.control->SetActive(true);
  ASSERT_EQ(f.style->Update(0), kOk);
  f.control->SetActive(false);
  f.style->RefreshAnimated();
  ASSERT_EQ(f.style->Update(0), kOk);
  EXPECT_EQ(f.style->AnimWidth, 2.0f) << "the last evaluation is written again";
}

TEST_F(StyleControlsTest, FillControllerWithoutKeys) {
  CPointer<CFillStyle> style(new CFillStyle());
  style->Color = CColor(0.1f, 0.2f, 0.3f, 1.0f);
  style->AnimColor = kBlack;
  CPointer<CFillStyleControl> control(new CFillStyleControl());
  EXPECT_EQ(control->Update(0), kErrInvalidArg) << "no object";
  ASSERT_EQ(style->AddControl(control.Get()), kOk);
  ASSERT_EQ(control->Update(0), kOk);
  EXPECT_EQ(control->CurrentColor, style->Color) << "the current values come from the style";
  EXPECT_EQ(control->Apply(), kDone);
  ASSERT_EQ(style->Update(0), kOk);
  EXPECT_EQ(style->AnimColor, kBlack) << "without keys the style is left untouched";
}

// A controller bound to another class than its style reads and writes
// nothing of it.
TEST_F(StyleControlsTest, ControllerOnAnotherClassWritesNothing) {
  CPointer<CLineStyle> line(new CLineStyle());
  CPointer<CFillStyleControl> fill(new CFillStyleControl());
  ASSERT_EQ(line->AddControl(fill.Get()), kOk);
  EXPECT_EQ(fill->Update(0), kErrNotFound);
  ASSERT_EQ(fill->SetKey(0, kWhite, 1.0f, 0.0f, TT_LINEAR), kOk);
  ASSERT_EQ(fill->Update(0), kOk);
  EXPECT_EQ(fill->Apply(), kErrNotFound);

  CPointer<CBitmapFillStyle> bitmap(new CBitmapFillStyle());
  CPointer<CGradientFillStyleControl> gradient(new CGradientFillStyleControl());
  ASSERT_EQ(bitmap->AddControl(gradient.Get()), kOk);
  ASSERT_EQ(gradient->SetKey(0, kQuaternionIdentity, Vec3(2, 2, 2), Vec3(1, 2, 3), 0.0f, TT_LINEAR), kOk);
  ASSERT_EQ(gradient->Update(0), kOk);
  EXPECT_EQ(gradient->Apply(), kErrNotFound);
  EXPECT_EQ(bitmap->AnimTransform, CMatrix4()) << "nothing written";

  CPointer<CLineStyleControl> unbound(new CLineStyleControl());
  ASSERT_EQ(unbound->SetKey(0, 1.0f, kWhite, 1.0f, 0.0f, TT_LINEAR), kOk);
  EXPECT_EQ(unbound->Apply(), kErrInvalidArg);
}

TEST_F(StyleControlsTest, TransformControllersComposeRotationScaleAndTranslation) {
  CPointer<CBitmapFillStyle> bitmap(new CBitmapFillStyle());
  CPointer<CBitmapFillStyleControl> control(new CBitmapFillStyleControl());
  ASSERT_EQ(bitmap->AddControl(control.Get()), kOk);
  const f32 s = std::sqrt(0.5f);
  // A quarter turn about z at 1000: halfway is an eighth of a turn.
  ASSERT_EQ(control->SetKey(0, kQuaternionIdentity, Vec3(1, 1, 1), Vec3(0, 0, 0), 0.0f, TT_LINEAR), kOk);
  ASSERT_EQ(control->SetKey(1000, CQuaternion(0, 0, s, s), Vec3(3, 3, 3), Vec3(10, 20, 30), 0.0f, TT_LINEAR), kOk);
  ASSERT_EQ(bitmap->Update(500), kOk);
  const CMatrix4& m = bitmap->AnimTransform;
  const f32 c = std::cos(3.14159265f / 4.0f);
  EXPECT_NEAR(m.m[0][0], 2.0f * c, 1e-5);
  EXPECT_NEAR(std::fabs(m.m[0][1]), 2.0f * c, 1e-5);
  EXPECT_NEAR(m.m[2][2], 2.0f, 1e-5);
  EXPECT_FLOAT_EQ(m.m[3][0], 5.0f);
  EXPECT_FLOAT_EQ(m.m[3][1], 10.0f);
  EXPECT_FLOAT_EQ(m.m[3][2], 15.0f);
  EXPECT_EQ(m.m[0][3], 0.0f);
  EXPECT_EQ(m.m[3][3], 1.0f);
  EXPECT_EQ(bitmap->Transform, CMatrix4()) << "the stored placement stays";

  CPointer<CGradientFillStyle> gradient(new CGradientFillStyle());
  CPointer<CGradientFillStyleControl> gradientControl(new CGradientFillStyleControl());
  ASSERT_EQ(gradient->AddControl(gradientControl.Get()), kOk);
  ASSERT_EQ(gradientControl->SetKey(0, kQuaternionIdentity, Vec3(2, 2, 2), Vec3(1, 2, 3), 0.0f, TT_LINEAR), kOk);
  ASSERT_EQ(gradient->Update(0), kOk);
  EXPECT_EQ(gradient->AnimTransform.m[0][0], 2.0f) << "the refresh runs before the controller applies";
  EXPECT_EQ(gradient->AnimTransform.m[3][2], 3.0f);
}

TEST_F(StyleControlsTest, AdjustColorRewritesTheKeyColours) {
  CLineStyleControl line;
  ASSERT_EQ(line.SetKey(0, 1.0f, CColor(0.25f, 0.5f, 0.75f, 0.5f), 1.0f, 0.0f, TT_LINEAR), kOk);
  line.AdjustColor(0, 0, 0, 0, true);
  EXPECT_EQ(line.GetKeys().Column<CLineStyleControl::kColor>()[0], CColor(0.75f, 0.5f, 0.25f, 0.5f));
  EXPECT_TRUE(line.IsModified());
  CFillStyleControl fill;
  ASSERT_EQ(fill.SetKey(0, CColor(0.25f, 0.5f, 0.75f, 0.5f), 1.0f, 0.0f, TT_LINEAR), kOk);
  fill.AdjustColor(0, 0, 0, -3.0f, false);
  EXPECT_EQ(fill.GetKeys().Column<CFillStyleControl::kColor>()[0], CColor(0.5f, 0.5f, 0.5f, 0.5f));
}

// --- records -------------------------------------------------------------------------------

// A line controller record of `version` with keys at 0 and 1999.9 (f32
// below 1.01, else 0 and 1999).
ByteWriter LineControlBody(u64 id, u32 version, u64 object = 0) {
  ByteWriter w;
  test::ControllerHead(w, id, object).Pair(version / 100, version % 100);
  if (version >= 101) {
    test::Counted(w, std::vector<i32>{0, 1999});
  } else {
    test::Counted(w, std::vector<f32>{0.0f, 1999.9f});
  }
  test::Counted(w, std::vector<f32>{1.0f, 2.0f});
  test::Counted(w, std::vector<CColor>{kBlack, kWhite});
  test::Counted(w, std::vector<f32>{1.0f, 0.5f});
  test::Counted(w, std::vector<f32>{0.0f, 0.0f});
  return test::Counted(w, std::vector<u32>{TT_LINEAR, TT_STEP});
}

// A transform controller record whose one key is stored with the
// quaternion (1, 0, 0, 0).
ByteWriter TransformControlBody(u64 id, u32 version) {
  ByteWriter w;
  test::ControllerHead(w, id).Pair(version / 100, version % 100);
  if (version >= 101) {
    test::Counted(w, std::vector<i32>{5});
  } else {
    test::Counted(w, std::vector<f32>{5.5f});
  }
  test::Counted(w, std::vector<CQuaternion>{CQuaternion(1, 0, 0, 0)});
  test::Counted(w, std::vector<Vec3>{Vec3(1, 1, 1)});
  test::Counted(w, std::vector<Vec3>{Vec3(0, 0, 0)});
  test::Counted(w, std::vector<f32>{0.0f});
  return test::Counted(w, std::vector<u32>{TT_LINEAR});
}

TEST_F(StyleControlsTest, LineControllerStoredForms) {
  for (const u32 version : {100u, 101u}) {
    SCOPED_TRACE(version);
    test::SceneFile file;
    file.Record("CLineStyleControl", LineControlBody(1, version), true);
    const Bytes bytes = file.Data();
    CStream stream;
    CMemoryIo device;
    CBase* root = nullptr;
    ASSERT_EQ(test::LoadImage(bytes, stream, device, root), kOk);
    auto* control = DynamicCast<CLineStyleControl>(root);
    ASSERT_NE(control, nullptr);
    ASSERT_EQ(control->GetKeys().Size(), 2u);
    EXPECT_EQ(control->GetKeys().Times()[1], 1999) << "1999.9 truncates to 1999";
    EXPECT_EQ(control->GetKeys().Column<CLineStyleControl::kColor>()[1], kWhite);
    EXPECT_EQ(control->GetKeys().TransitionTypes()[1], static_cast<u32>(TT_STEP));
    test::ExpectPrefixesFailBetweenRecords(bytes, test::kFirstRecordOffset);
    test::ExpectRoundTrip({control});
  }
}

TEST_F(StyleControlsTest, TransformControllerStoredForms) {
  struct Row {
    const char* name;
    u32 version;
    CQuaternion rotation;
    i32 time;
  };
  const Row rows[] = {
      {"CGradientFillStyleControl", 100, CQuaternion(0, 0, 0, 1), 5},
      {"CBitmapFillStyleControl", 100, CQuaternion(0, 0, 0, 1), 5},
      {"CGradientFillStyleControl", 101, CQuaternion(1, 0, 0, 0), 5},
      {"CBitmapFillStyleControl", 101, CQuaternion(1, 0, 0, 0), 5},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.name) + " " + std::to_string(row.version));
    test::SceneFile file;
    file.Record(row.name, TransformControlBody(1, row.version), true);
    const Bytes bytes = file.Data();
    CStream stream;
    CMemoryIo device;
    CBase* root = nullptr;
    ASSERT_EQ(test::LoadImage(bytes, stream, device, root), kOk);
    const CKeyColumns<CQuaternion, Vec3, Vec3>* keys = nullptr;
    if (auto* g = DynamicCast<CGradientFillStyleControl>(root)) keys = &g->GetKeys();
    if (auto* b = DynamicCast<CBitmapFillStyleControl>(root)) keys = &b->GetKeys();
    ASSERT_NE(keys, nullptr);
    EXPECT_EQ(keys->Column<0>()[0], row.rotation);
    EXPECT_EQ(keys->Times()[0], row.time);
    test::ExpectPrefixesFailBetweenRecords(bytes, test::kFirstRecordOffset);
    test::ExpectRoundTrip({root});
  }
}

TEST_F(StyleControlsTest, FillControllerRecordWithItsStyle) {
  CPointer<CFillStyle> style(new CFillStyle());
  CPointer<CFillStyleControl> control(new CFillStyleControl());
  ASSERT_EQ(control->SetKey(0, kBlack, 1.0f, 0.0f, TT_LINEAR), kOk);
  ASSERT_EQ(control->SetKey(100, kWhite, 0.0f, 2.0f, TT_EASE_OUT_IN), kOk);
  ASSERT_EQ(style->AddControl(control.Get()), kOk);
  const Bytes file = test::ExpectRoundTrip({style.Get()});
  test::ExpectPrefixesFailBetweenRecords(file, test::kFirstRecordOffset);
  EXPECT_EQ(control->GetSaveSize(), control->CDataControl::GetSaveSize() + 8 + (4 + 8) + (4 + 32) + 3 * (4 + 8));
}

TEST_F(StyleControlsTest, KeyVectorsOfDifferentLengthsAreRefused) {
  ByteWriter w;
  test::ControllerHead(w, 1).Pair(1, 1);
  test::Counted(w, std::vector<i32>{0, 10});
  test::Counted(w, std::vector<CColor>{kBlack});
  test::Counted(w, std::vector<f32>{1.0f, 1.0f});
  test::Counted(w, std::vector<f32>{0.0f, 0.0f});
  test::Counted(w, std::vector<u32>{0, 0});
  test::SceneFile file;
  file.Record("CFillStyleControl", w, true);
  CStream stream;
  CMemoryIo device;
  CBase* root = nullptr;
  EXPECT_EQ(test::LoadImage(file.Data(), stream, device, root), kErrNotFound);
}

TEST_F(StyleControlsTest, StyleWithItsControllerRoundTrips) {
  LineFixture f;
  ASSERT_EQ(f.control->SetKey(0, 1.0f, kBlack, 0.0f, 0.0f, TT_LINEAR), kOk);
  ASSERT_EQ(f.control->SetKey(1000, 3.0f, kWhite, 1.0f, 10.0f, TT_EASE_OUT), kOk);
  const Bytes file = test::ExpectRoundTrip({f.style.Get()});
  test::ExpectPrefixesFailBetweenRecords(file, test::kFirstRecordOffset);
  EXPECT_EQ(f.control->GetSaveSize(),
            f.control->CDataControl::GetSaveSize() + 8 + (4 + 8) + (4 + 8) + (4 + 32) + (4 + 8) + (4 + 8) + (4 + 8));

  CPointer<CBase> copy;
  ASSERT_EQ(f.control->CreateInstance(copy), kOk);
  EXPECT_EQ(static_cast<CLineStyleControl*>(copy.Get())->GetKeys().Size(), 2u);
  CLineStyleControl target;
  DisplacedList displaced;
  ASSERT_EQ(f.control->CopyTo(&target, displaced, 0), kOk);
  EXPECT_EQ(target.GetKeys().Size(), 2u);
  CFillStyleControl other;
  EXPECT_EQ(f.control->CopyTo(&other, displaced, 0), kErrNotFound);
}

}  // namespace
}  // namespace KT
