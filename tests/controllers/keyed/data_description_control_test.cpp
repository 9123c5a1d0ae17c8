// The data description controller: keys of text held, never evaluated,
// sized one by one, copied and stored.
#include "controllers/keyed/data_description_control.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "controllers/keyed/keyed_test_support.h"
#include "objectmodel/class_factory.h"
#include "scene/sel_node.h"

namespace KT {
namespace {

using test::ByteWriter;
using DescriptionKey = CDataDescriptionControl::CDescriptionKey;

class DataDescriptionControlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CClassFactory::Register("CDataDescriptionControl", &CreateObject<CDataDescriptionControl>);
    test::RegisterTestClasses();
    test::UseTestIds(0);
  }
};

DescriptionKey Key(i32 time, const std::u16string& id, const std::u16string& text) {
  DescriptionKey key;
  key.Time = time;
  key.ID = id;
  key.Description = text;
  return key;
}

TEST_F(DataDescriptionControlTest, KeysDifferInSizeAndAreSizedOneByOne) {
  EXPECT_EQ(DescriptionKey().GetSaveSize(), 28u);
  EXPECT_EQ(Key(0, u"ab", u"\u00e9t\u00e9").GetSaveSize(), 28u + 2 * 2 + 2 * 3);
  CPointer<CDataDescriptionControl> control(new CDataDescriptionControl());
  ASSERT_EQ(control->EditKeys().Assign({Key(0, u"", u""), Key(10, u"long identifier", u"x")}), kOk);
  EXPECT_EQ(control->GetSaveSize(), control->CControl::GetSaveSize() + 8 + 4 + 28 + (28 + 2 * 15 + 2));
  EXPECT_EQ(test::SaveObjectRecord(*control).size(), control->GetSaveSize());
}

TEST_F(DataDescriptionControlTest, HoldsKeysAndEvaluatesNothing) {
  CPointer<test::CTestDorun> object(new test::CTestDorun());
  object->value = 5;
  CPointer<CDataDescriptionControl> control(new CDataDescriptionControl());
  ASSERT_EQ(control->EditKeys().Assign({Key(-300, u"a", u"b"), Key(-100, u"c", u"d")}), kOk);
  ASSERT_EQ(object->AddControl(control.Get()), kOk);
  EXPECT_FALSE(control->IsDataControl());
  EXPECT_FALSE(control->NeedsSubSteps());
  for (i32 time : {-1000, 0, 5000}) {
    EXPECT_EQ(control->Update(time), kDone);
    EXPECT_EQ(control->UpdateTransform(time), kDone);
    EXPECT_EQ(control->UpdatePriority(time), kDone);
  }
  EXPECT_EQ(control->Apply(), kDone);
  EXPECT_EQ(control->ApplyTransform(), kDone);
  ASSERT_EQ(object->Update(100), kOk);
  EXPECT_EQ(object->value, 5);
  // The object is not gathered for the data pass on its account.
  std::vector<CDorun*> animated;
  object->CollectAnimated(animated);
  EXPECT_TRUE(animated.empty());
  // The last key's time, negative included; 0 without keys.
  EXPECT_EQ(control->GetEndTime(), -100);
  EXPECT_EQ(CDataDescriptionControl().GetEndTime(), 0);
}

TEST_F(DataDescriptionControlTest, CopiesCarryTheKeys) {
  CPointer<CDataDescriptionControl> control(new CDataDescriptionControl());
  ASSERT_EQ(control->EditKeys().Assign({Key(0, u"id", u"text")}), kOk);
  CPointer<CBase> instance;
  ASSERT_EQ(control->CreateInstance(instance), kOk);
  auto* copy = DynamicCast<CDataDescriptionControl>(instance.Get());
  ASSERT_NE(copy, nullptr);
  ASSERT_EQ(copy->GetKeys().Size(), 1u);
  EXPECT_EQ(copy->GetKeys()[0].Description, u"text");
  CPointer<CDataDescriptionControl> target(new CDataDescriptionControl());
  DisplacedList displaced;
  ASSERT_EQ(control->CopyTo(target.Get(), displaced, 0), kOk);
  EXPECT_EQ(target->GetKeys()[0].ID, u"id");
  CPointer<test::CTestControl> wrong(new test::CTestControl());
  EXPECT_EQ(control->CopyTo(wrong.Get(), displaced, 0), kErrNotFound);
  EXPECT_EQ(control->CopyTo(nullptr, displaced, 0), kErrNotFound);
}

TEST_F(DataDescriptionControlTest, RecordRoundTripKeepsEveryCharacter) {
  CPointer<CDataDescriptionControl> control(new CDataDescriptionControl());
  ASSERT_EQ(control->EditKeys().Assign({Key(0, u"", u""), Key(40, u"\u4e2d\u6587", u"caf\u00e9 \U0001F600"),
                                        Key(-7, u"id", u"out of order")}),
            kOk);
  test::ExpectSceneRoundTrip(*control);
}

TEST_F(DataDescriptionControlTest, StoredKeysLoadAsWritten) {
  ByteWriter w;
  test::BasePart(w, 0x10);
  test::DorunPart(w, 0);
  test::ControlPart(w, {}).Pair(1, 0).U32(2);
  w.Pair(1, 0).I32(5).Pair(1, 0).WStr(u"").WStr(u"");
  w.Pair(1, 0).I32(9).Pair(1, 0).WStr(u"k").WStr(u"\u00fcber");
  CStream stream;
  CMemoryIo device;
  auto* control = test::LoadRoot<CDataDescriptionControl>("CDataDescriptionControl", w, stream, device);
  ASSERT_NE(control, nullptr);
  ASSERT_EQ(control->GetKeys().Size(), 2u);
  EXPECT_EQ(control->GetKeys()[0].Time, 5);
  EXPECT_TRUE(control->GetKeys()[0].ID.empty());
  EXPECT_EQ(control->GetKeys()[1].Description, u"\u00fcber");
  const std::string text = test::Members(control);
  std::size_t at = 0;
  for (const char* name : {"CDataDescriptionControl Member", "Time", "ID", "Description", "CControl Member"}) {
    const std::size_t found = text.find(name, at);
    ASSERT_NE(found, std::string::npos) << name;
    at = found;
  }

  struct Row {
    const char* what;
    ByteWriter body;
  };
  ByteWriter newer;
  test::BasePart(newer, 0x10);
  test::DorunPart(newer, 0);
  test::ControlPart(newer, {}).Pair(1, 1).U32(0);
  ByteWriter newerKey;
  test::BasePart(newerKey, 0x10);
  test::DorunPart(newerKey, 0);
  test::ControlPart(newerKey, {}).Pair(1, 0).U32(1).Pair(1, 0).I32(0).Pair(1, 1).WStr(u"").WStr(u"");
  for (const Row& row : {Row{"class version 1.01", newer}, Row{"a key pair of 1.1", newerKey}}) {
    SCOPED_TRACE(row.what);
    CStream refused;
    CMemoryIo refusedDevice;
    EXPECT_EQ(test::LoadRecord("CDataDescriptionControl", row.body, refused, refusedDevice), kErrNewerVersion);
  }
}

}  // namespace
}  // namespace KT
