// The data switcher and selector: the child each lets evaluate, Apply
// handed on to it, the end time, copies, reference resolution, and the
// records in their current and older forms.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "controllers/composite/composite_test_support.h"
#include "controllers/composite/data_selector_control.h"
#include "controllers/composite/data_switcher_control.h"
#include "objectmodel/memory_io.h"
#include "objectmodel/stream_test_support.h"

namespace KT {
namespace {

using test::ByteWriter;
using test::Bytes;
using test::CChannelData;
using test::CTestDorun;
using Key = CDataSwitcherControl::CChannelKey;

class DataContainersTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::RegisterCompositeTestClasses();
    test::UseTestIds(0);
    test::CallLog().clear();
  }
};

// An object whose value children "a" (1), "b" (2) and "c" (3) write in
// their Apply, under a container of class C.
template <typename C>
struct Rig {
  CPointer<CTestDorun> object{new CTestDorun()};
  CPointer<C> box{new C()};
  std::vector<CPointer<CChannelData>> kids;

  explicit Rig(u32 count = 3) {
    EXPECT_EQ(object->AddControl(box.Get()), kOk);
    const char16_t* names[] = {u"a", u"b", u"c"};
    for (u32 i = 0; i < count; ++i) {
      kids.emplace_back(new CChannelData(names[i], static_cast<i32>(i) + 1));
      kids.back()->endTime = 5000;
      EXPECT_EQ(box->AddChild(kids.back().Get()), kOk);
    }
  }
  CChannelData& operator[](u32 i) { return *kids[i]; }
  // The object's update (the container's Update, then its Apply): the
  // value written, 0 when no child wrote.
  i32 At(i32 time) {
    object->value = 0;
    for (auto& kid : kids) kid->times.clear();
    EXPECT_GE(object->Update(time), 0) << "at " << time;
    return object->value;
  }
};

// --- the switcher ----------------------------------------------------------------------------------

TEST_F(DataContainersTest, SwitcherTakesTheChildOfTheKeyInEffect) {
  Rig<CDataSwitcherControl> rig;
  ASSERT_EQ(rig.box->SetKeys({Key(0, 1), Key(1000, 0)}), kOk);
  struct Sample {
    i32 time;
    i32 value;
  };
  for (const Sample s : {Sample{-200, 2}, Sample{0, 2}, Sample{999, 2}, Sample{1000, 1}, Sample{4000, 1}}) {
    EXPECT_EQ(rig.At(s.time), s.value) << s.time;
  }
  // The child runs at the switcher's local time.
  rig.box->SetFrequency(2.0f);
  EXPECT_EQ(rig.At(400), 2);
  EXPECT_EQ(rig[1].times, std::vector<i32>{800});
  EXPECT_EQ(rig.At(500), 1);
  // Without keys, child 0.
  ASSERT_EQ(rig.box->SetKeys({}), kOk);
  EXPECT_EQ(rig.At(100), 1);
}

TEST_F(DataContainersTest, SwitcherSkipsInactiveChildrenForwardOnly) {
  Rig<CDataSwitcherControl> rig;
  ASSERT_EQ(rig.box->SetKeys({Key(0, 1)}), kOk);
  rig[1].SetActive(false);
  EXPECT_EQ(rig.At(10), 3);
  rig[2].SetActive(false);
  // Child 0 is active, but lies before the channel: nothing evaluates.
  EXPECT_EQ(rig.box->Update(10), kDone);
  EXPECT_EQ(rig.box->Apply(), kOk);
  EXPECT_TRUE(rig[0].times.empty());
}

TEST_F(DataContainersTest, SwitcherAnswersOneWhenNoChildCanRun) {
  Rig<CDataSwitcherControl> rig;
  ASSERT_EQ(rig.box->SetKeys({Key(0, 3)}), kOk);
  EXPECT_EQ(rig.box->Update(0), kDone);
  rig.object->value = 0;
  EXPECT_EQ(rig.box->Apply(), kOk);
  EXPECT_EQ(rig.object->value, 0);

  ASSERT_EQ(rig.box->SetKeys({Key(0, 2)}), kOk);
  rig.box->SetActive(false);
  EXPECT_EQ(rig.box->Update(0), kDone);
  rig.box->SetActive(true);
  rig[2].updateResult = kErrOutOfRange;
  EXPECT_EQ(rig.box->Update(0), kErrOutOfRange);

  Rig<CDataSwitcherControl> empty(0);
  EXPECT_EQ(empty.box->Update(0), kOk);
}

// --- the selector ----------------------------------------------------------------------------------

TEST_F(DataContainersTest, SelectorPicksTheHighestPriorityEarliestFirst) {
  struct Case {
    const char* name;
    f32 first;
    f32 second;
    i32 value;
    std::vector<std::string> log;
  };
  const Case cases[] = {
      {"nobody claims", 0.0f, 0.0f, 1, {"U:a"}},
      {"a tie keeps the first", 1.0f, 1.0f, 1, {"W:a", "U:a"}},
      {"the second is higher", 0.5f, 2.0f, 2, {"W:a", "W:b", "U:b"}},
  };
  for (const Case& c : cases) {
    Rig<CDataSelectorControl> rig(2);
    rig[0].SetPriority(c.first);
    rig[1].SetPriority(c.second);
    test::CallLog().clear();
    EXPECT_EQ(rig.At(300), c.value) << c.name;
    EXPECT_EQ(test::CallLog(), c.log) << c.name;
  }
  Rig<CDataSelectorControl> empty(0);
  EXPECT_EQ(empty.box->Update(0), kErrInvalidArg);
  Rig<CDataSelectorControl> mapped(2);
  mapped.box->SetFrequency(0.5f);
  mapped.At(300);
  EXPECT_EQ(mapped[0].times, std::vector<i32>{150});
}

TEST_F(DataContainersTest, ResolveReferencesStopsAtAChildsFailureOnlyInTheSelector) {
  Rig<CDataSelectorControl> selector(2);
  selector[0].resolveResult = kErrOutOfRange;
  EXPECT_EQ(selector.box->ResolveReferences(selector.object.Get()), kErrOutOfRange);
  EXPECT_EQ(test::CallLog(), std::vector<std::string>{"R:a"});

  test::CallLog().clear();
  Rig<CDataSwitcherControl> sw(2);
  sw[0].resolveResult = kErrOutOfRange;
  EXPECT_EQ(sw.box->ResolveReferences(sw.object.Get()), kOk);
  EXPECT_EQ(test::CallLog(), (std::vector<std::string>{"R:a", "R:b"}));
  EXPECT_EQ(sw.box->ResolveReferences(nullptr), kErrInvalidArg);
}

// --- shared behaviour --------------------------------------------------------------------------

TEST_F(DataContainersTest, EndTimeIsTheLatestChildEndInItsOwnTime) {
  Rig<CDataSelectorControl> rig(2);
  rig[0].endTime = 1000;
  rig[0].SetFrequency(2.0f);
  rig[1].endTime = -300;
  EXPECT_EQ(rig.box->GetEndTime(), 500);
  rig[0].endTime = -1;
  EXPECT_EQ(rig.box->GetEndTime(), 0);
  Rig<CDataSwitcherControl> empty(0);
  EXPECT_EQ(empty.box->GetEndTime(), 0);
}

TEST_F(DataContainersTest, CopyToMovesTheChildrenAndLeavesNoOwnerBehind) {
  Rig<CDataSwitcherControl> rig(2);
  ASSERT_EQ(rig.box->SetKeys({Key(0, 1)}), kOk);
  CPointer<CDataSwitcherControl> target(new CDataSwitcherControl());
  DisplacedList displaced;
  ASSERT_EQ(rig.box->CopyTo(target.Get(), displaced, 0), kOk);
  EXPECT_EQ(target->GetKeys().Size(), 1u);
  ASSERT_EQ(target->GetChildCount(), 2u);
  EXPECT_EQ(rig[1].GetOwners(), std::vector<CControl*>{target.Get()});
  EXPECT_EQ(rig[1].GetObject(), target->GetObject());
  rig.box = nullptr;
  ASSERT_EQ(target->RemoveAllChildren(), kOk);
  EXPECT_EQ(rig[0].GetObject(), nullptr);
  EXPECT_FALSE(rig[1].HasOwners());

  Rig<CDataSelectorControl> selector(1);
  CPointer<CDataSelectorControl> other(new CDataSelectorControl());
  ASSERT_EQ(selector.box->CopyTo(other.Get(), displaced, 0), kOk);
  EXPECT_EQ(selector[0].GetOwners(), std::vector<CControl*>{other.Get()});
  EXPECT_EQ(other->CopyTo(target.Get(), displaced, 0), kErrNotFound);
  EXPECT_EQ(target->CopyTo(other.Get(), displaced, 0), kErrNotFound);
}

TEST_F(DataContainersTest, CloneRebuildsTheChildList) {
  Rig<CDataSelectorControl> rig(2);
  rig[1].SetPriority(1.0f);
  CloneMap map;
  CPointer<CBase> out;
  ASSERT_EQ(CloneObject(out, map, rig.object.Get(), 0), kOk);
  auto* object = DynamicCast<CTestDorun>(out.Get());
  ASSERT_NE(object, nullptr);
  auto* box = DynamicCast<CDataSelectorControl>(object->GetFirstControl());
  ASSERT_NE(box, nullptr);
  ASSERT_EQ(box->GetChildCount(), 2u);
  EXPECT_NE(box->GetChild(1), rig.kids[1].Get());
  EXPECT_EQ(box->GetChild(1)->GetOwners(), std::vector<CControl*>{box});
  ASSERT_GE(object->Update(0), 0);
  EXPECT_EQ(object->value, 2);
}

// --- records -----------------------------------------------------------------------------------------

TEST_F(DataContainersTest, RecordLayoutsAndSizes) {
  Rig<CDataSwitcherControl> sw(2);
  ASSERT_EQ(sw.box->SetKeys({Key(0, 1), Key(700, 0)}), kOk);
  Rig<CDataSelectorControl> sel(2);
  ByteWriter swTail;
  swTail.Pair(1, 1).U32(2).U64(sw[0].GetUniqueId()).U64(sw[1].GetUniqueId()).U32(2);
  swTail.Pair(1, 0).I32(0).Pair(1, 0).U32(1).Pair(1, 0).I32(700).Pair(1, 0).U32(0);
  ByteWriter selTail;
  selTail.Pair(2, 0).U32(2).U64(sel[0].GetUniqueId()).U64(sel[1].GetUniqueId());
  struct Case {
    const char* name;
    CControl* box;
    u32 baseSize;
    Bytes tail;
  };
  const Case cases[] = {
      {"switcher", sw.box.Get(), sw.box->CDataControl::GetSaveSize(), swTail.Data()},
      {"selector", sel.box.Get(), sel.box->CDataControl::GetSaveSize(), selTail.Data()},
  };
  for (const Case& c : cases) {
    const Bytes saved = test::SaveObjectRecord(*c.box);
    EXPECT_EQ(saved.size(), c.box->GetSaveSize()) << c.name;
    EXPECT_EQ(saved.size(), c.baseSize + c.tail.size()) << c.name;
    EXPECT_EQ(Bytes(saved.begin() + c.baseSize, saved.end()), c.tail) << c.name;
  }
  EXPECT_EQ(Key().GetSaveSize(), 24u);
  EXPECT_EQ(sel.box->GetMemorySize(), sel.box->CDataControl::GetMemorySize() + 8 + 32);
  const std::string members = test::Members(sw.box.Get());
  EXPECT_NE(members.find("CDataSwitcherControl Member"), std::string::npos);
  EXPECT_LT(members.find("Time"), members.find("Channel"));
  EXPECT_EQ(test::Members(sel.box.Get()).find("CDataSelectorControl Member"), std::string::npos);
}

TEST_F(DataContainersTest, BothRoundTripThroughAFile) {
  Rig<CDataSwitcherControl> sw;
  ASSERT_EQ(sw.box->SetKeys({Key(0, 2), Key(500, 1)}), kOk);
  Rig<CDataSelectorControl> sel;
  sel[2].SetPriority(3.0f);
  const Bytes file = test::SaveRoots({sw.object.Get(), sel.object.Get()});
  test::UseTestIds(1);
  CStream stream;
  CMemoryIo device;
  ASSERT_EQ(test::LoadScene(file, stream, device), kOk);
  ASSERT_EQ(stream.GetRootObjectCount(), 2u);
  auto* swObject = DynamicCast<CTestDorun>(stream.GetRootObject(0));
  auto* selObject = DynamicCast<CTestDorun>(stream.GetRootObject(1));
  ASSERT_TRUE(swObject != nullptr && selObject != nullptr);
  auto* swBox = DynamicCast<CDataSwitcherControl>(swObject->GetFirstControl());
  auto* selBox = DynamicCast<CDataSelectorControl>(selObject->GetFirstControl());
  ASSERT_TRUE(swBox != nullptr && selBox != nullptr);
  ASSERT_EQ(swBox->GetChildCount(), 3u);
  EXPECT_EQ(swBox->GetChild(2)->GetOwners(), std::vector<CControl*>{swBox});
  EXPECT_EQ(selBox->GetChild(0)->GetObject(), selObject);
  EXPECT_EQ(test::Members(swBox), test::Members(sw.box.Get()));
  EXPECT_EQ(test::Members(selBox), test::Members(sel.box.Get()));
  EXPECT_EQ(test::RenumberIds(test::SaveLoaded(stream)), test::RenumberIds(file));
  for (i32 t : {0, 499, 500}) {
    ASSERT_GE(swObject->Update(t), 0);
    EXPECT_EQ(swObject->value, sw.At(t)) << t;
  }
  ASSERT_GE(selObject->Update(0), 0);
  EXPECT_EQ(selObject->value, 3);
  test::ExpectPrefixesFailBetweenRecords(file);
}

ByteWriter ChildBody(u64 id) {
  ByteWriter w;
  test::BasePart(w, id);
  test::DorunPart(w, 0);
  test::ControlPart(w, test::ControlFields());
  w.Pair(2, 0).Pair(1, 0).I32(1000).I32(static_cast<i32>(id & 0xF));
  return w;
}

// A file whose root is a container of `className` (id 0x20, its own part
// `part`) over children 0x21 and 0x22 (writing 1 and 2). `controlMinor` 2
// writes a controller part from before owner lists.
Bytes ContainerFile(const std::string& className, const ByteWriter& part, u32 controlMinor = 4) {
  ByteWriter body;
  test::BasePart(body, 0x20);
  test::DorunPart(body, 0);
  if (controlMinor == 4) {
    test::ControlPart(body, test::ControlFields());
  } else {
    body.Pair(2, 2).U32(0).F32(0.0f).F32(1.0f).F32(1.0f).U8(1).U64(0).U64(0);
  }
  body.Pair(2, 0).Bytes(part.Data());
  test::SceneImage image;
  image.Record(className, body, true);
  image.Record("CChannelData", ChildBody(0x21));
  image.Record("CChannelData", ChildBody(0x22));
  return image.Data();
}

ByteWriter& Children(ByteWriter& w) { return w.U32(2).U64(0x21).U64(0x22); }

// The switcher's 1.00 part: times 999.9 and 1000.2, then `channels`
// channels 1, 0.
ByteWriter TwoArrays(u32 channels = 2) {
  ByteWriter w;
  Children(w.Pair(1, 0)).U32(2).F32(999.9f).F32(1000.2f).U32(channels);
  for (u32 i = 0; i < channels; ++i) w.U32(1 - i);
  return w;
}

TEST_F(DataContainersTest, OlderFormsLoad) {
  for (const u32 controlMinor : {4u, 2u}) {
    SCOPED_TRACE(controlMinor);
    const Bytes file = ContainerFile("CDataSwitcherControl", TwoArrays(), controlMinor);
    CStream stream;
    CMemoryIo device;
    ASSERT_EQ(test::LoadScene(file, stream, device), kOk);
    auto* box = DynamicCast<CDataSwitcherControl>(stream.GetRootObject(0));
    ASSERT_NE(box, nullptr);
    ASSERT_EQ(box->GetKeys().Size(), 2u);
    EXPECT_EQ(box->GetKeys()[0].Time, 999);
    EXPECT_EQ(box->GetKeys()[1].Time, 1000);
    EXPECT_EQ(box->GetKeys()[0].Channel, 1u);
    EXPECT_EQ(box->GetKeys()[1].Channel, 0u);
    ASSERT_EQ(box->GetChildCount(), 2u);
    // Files from before owner lists too: each child lists its container.
    for (u32 i = 0; i < 2; ++i) EXPECT_EQ(box->GetChild(i)->GetOwners(), std::vector<CControl*>{box});
    test::ExpectPrefixesFailBetweenRecords(file);
  }
}

TEST_F(DataContainersTest, HostileRecordsAreRefused) {
  ByteWriter newerSwitcher;
  Children(newerSwitcher.Pair(1, 2)).U32(0);
  ByteWriter newerSelector;
  Children(newerSelector.Pair(2, 1));
  ByteWriter newerKey;
  Children(newerKey.Pair(1, 1)).U32(1).Pair(1, 0).I32(0).Pair(1, 1).U32(0);
  ByteWriter hugeKeys;
  Children(hugeKeys.Pair(1, 1)).U32(0x10000000);
  ByteWriter twice;
  twice.Pair(2, 0).U32(2).U64(0x21).U64(0x21);
  ByteWriter itself;
  itself.Pair(2, 0).U32(1).U64(0x20);
  struct Case {
    const char* name;
    Bytes bytes;
    Result expected;
  };
  const Case cases[] = {
      {"newer switcher", ContainerFile("CDataSwitcherControl", newerSwitcher), kErrNewerVersion},
      {"newer selector", ContainerFile("CDataSelectorControl", newerSelector), kErrNewerVersion},
      {"newer key level", ContainerFile("CDataSwitcherControl", newerKey), kErrNewerVersion},
      {"key count beyond the file", ContainerFile("CDataSwitcherControl", hugeKeys), kErrStream},
      {"short channel array", ContainerFile("CDataSwitcherControl", TwoArrays(1)), kErrNotFound},
      {"a child listed twice", ContainerFile("CDataSelectorControl", twice), kErrNotFound},
      {"a child listed twice, old file", ContainerFile("CDataSelectorControl", twice, 2), kErrNotFound},
      {"its own child", ContainerFile("CDataSelectorControl", itself), kErrNotFound},
  };
  for (const Case& c : cases) {
    CStream stream;
    CMemoryIo device;
    EXPECT_EQ(test::LoadScene(c.bytes, stream, device), c.expected) << c.name;
  }
}

}  // namespace
}  // namespace KT
