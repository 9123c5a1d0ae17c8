// The transform selector: the priority picks with final claims, the
// look-ahead fade toward the child that takes over, the merge of the
// children's spans, and the record in its current and older forms.
#include "controllers/composite/rts_selector_control.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "controllers/composite/composite_test_support.h"
#include "objectmodel/memory_io.h"
#include "objectmodel/stream_test_support.h"

namespace KT {
namespace {

using test::ByteWriter;
using test::Bytes;
using test::CPoseControl;
using test::CTestSpatial;
using Span = CPoseControl::Span;

class RtsSelectorControlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::RegisterCompositeTestClasses();
    test::UseTestIds(0);
    test::CallLog().clear();
  }
};

// A spatial driven by a selector over children at x = 0, 2, 4 ("a", "b",
// "c"), all plain claims of priority 0 at first.
struct Rig {
  CPointer<CTestSpatial> spatial{new CTestSpatial()};
  CPointer<CRTSSelectorControl> sel{new CRTSSelectorControl()};
  std::vector<CPointer<CPoseControl>> kids;

  explicit Rig(u32 count = 3) {
    EXPECT_EQ(spatial->AddControl(sel.Get()), kOk);
    const char16_t* names[] = {u"a", u"b", u"c"};
    for (u32 i = 0; i < count; ++i) {
      kids.emplace_back(new CPoseControl(names[i], 2.0f * static_cast<f32>(i)));
      kids.back()->endTime = 5000;
      EXPECT_EQ(sel->AddChild(kids.back().Get()), kOk);
    }
  }
  CPoseControl& operator[](u32 i) { return *kids[i]; }
  CRTSSelectorControl::Choice Choose(i32 time) {
    CRTSSelectorControl::Choice choice;
    EXPECT_EQ(sel->Choose(time, choice), kOk);
    return choice;
  }
  u32 Winner(i32 time) { return Choose(time).winner; }
};

TEST_F(RtsSelectorControlTest, PlainClaimsGoToTheHighestPriorityEarliestFirst) {
  struct Case {
    const char* name;
    std::vector<f32> priorities;
    u32 winner;
  };
  const Case cases[] = {
      {"nobody claims", {0.0f, 0.0f, 0.0f}, 0},
      {"equal priorities", {0.0f, 1.0f, 1.0f}, 1},
      {"a later child strictly higher", {1.0f, 1.0f, 1.5f}, 2},
      {"negative priorities", {-1.0f, -2.0f, -0.5f}, 0},
  };
  for (const Case& c : cases) {
    Rig rig;
    for (u32 i = 0; i < 3; ++i) rig[i].priority = c.priorities[i];
    EXPECT_EQ(rig.Winner(500), c.winner) << c.name;
  }
  // Each child is asked for its priority before its claim, in list order.
  Rig rig;
  rig.sel->SetTransitionTime(0.0f);
  rig[1].priority = 1.0f;
  test::CallLog().clear();
  ASSERT_EQ(rig.sel->UpdateTransform(500), kOk);
  EXPECT_EQ(test::CallLog(), (std::vector<std::string>{"W:a", "W:b", "W:c"}));
  EXPECT_EQ(rig.sel->GetLastActiveChannel(), 1u);
  EXPECT_EQ(rig.sel->GetLocal().Translate.x, 2.0f);
}

TEST_F(RtsSelectorControlTest, AFinalClaimBlocksLaterNarrowClaims) {
  struct Case {
    const char* name;
    std::vector<Result> picks;
    u32 winner;
  };
  const Case cases[] = {
      {"final, then 1", {3, 1, 0}, 0},
      {"not final, then 1", {2, 1, 0}, 1},
      {"final, then 1, then 2", {3, 1, 2}, 2},
      {"final, then 3", {3, 0, 3}, 2},
      {"1 alone", {0, 1, 0}, 1},
  };
  for (const Case& c : cases) {
    Rig rig;
    rig.sel->SetTransitionTime(0.0f);
    for (u32 i = 0; i < 3; ++i) {
      rig[i].pick = c.picks[i];
      rig[i].priority = 1.0f;
    }
    EXPECT_EQ(rig.Winner(500), c.winner) << c.name;
    // A final last claim makes no second pick; the claims here keep the
    // best time at 0, so any other pick repeats at 0.
    const bool final = c.picks[c.winner] == 3;
    EXPECT_EQ(rig[0].pickTimes, final ? std::vector<i32>{500} : (std::vector<i32>{500, 0})) << c.name;
  }
}

TEST_F(RtsSelectorControlTest, TheSecondPickAsksAgainAtTheClaimTime) {
  Rig rig(2);
  rig.sel->SetTransitionTime(0.0f);
  rig[0].pick = 1;
  rig[0].claimBest = 500;
  rig[0].claim = 800;
  rig.Winner(500);
  EXPECT_EQ(rig[1].pickTimes, (std::vector<i32>{500, 800}));
}

// Child "a" claims from 0 (its clip start) with priority 1; child "b"
// reports a span of priority 2 from `takeover` on.
Rig Handover(i32 takeover, i32 claimStart = 0) {
  Rig rig(2);
  rig[0].pick = 2;
  rig[0].claimBest = claimStart;
  rig[0].priority = 1.0f;
  rig[0].spans = {{claimStart, 1.0f, 0.0f}};
  rig[1].spans = {{takeover, 2.0f, 0.0f}};
  return rig;
}

TEST_F(RtsSelectorControlTest, FadesTowardTheChildThatTakesOver) {
  Rig rig = Handover(1100);
  rig.sel->SetTransitionType(TT_LINEAR);
  struct Sample {
    i32 time;
    u32 incoming;
    f32 weight;
  };
  // The fade runs over the 200 ms before the takeover at 1100.
  const Sample samples[] = {{800, 0, 0.0f}, {950, 1, 0.25f}, {1000, 1, 0.5f}, {1100, 1, 1.0f}};
  for (const Sample& s : samples) {
    const CRTSSelectorControl::Choice choice = rig.Choose(s.time);
    EXPECT_EQ(choice.winner, 0u) << s.time;
    EXPECT_EQ(choice.incoming, s.incoming) << s.time;
    EXPECT_NEAR(choice.weight, s.weight, 1e-6f) << s.time;
    if (s.incoming == 1) {
      EXPECT_EQ(choice.incomingTime, 1100) << s.time;
    }
  }
  // The incoming child is evaluated at its takeover time, the winner at
  // the mapped time.
  rig[0].times.clear();
  rig[1].times.clear();
  ASSERT_EQ(rig.sel->UpdateTransform(1000), kOk);
  EXPECT_EQ(rig[0].times, std::vector<i32>{1000});
  EXPECT_EQ(rig[1].times, std::vector<i32>{1100});
  EXPECT_NEAR(rig.sel->GetLocal().Translate.x, 1.0f, 1e-6f);
  // The default ease-in-out gives the whole weight at the takeover too.
  rig.sel->SetTransitionType(TT_EASE_IN_OUT);
  EXPECT_EQ(rig.Choose(1100).weight, 1.0f);
  EXPECT_NEAR(rig.Choose(1000).weight, 0.5f, 1e-6f);
}

TEST_F(RtsSelectorControlTest, TheFadeShortensWhenTheWinnerBeganLate) {
  // The winner's claim began at 1000, the takeover is at 1100: the fade
  // takes the 100 ms in between.
  Rig rig = Handover(1100, 1000);
  rig.sel->SetTransitionType(TT_LINEAR);
  EXPECT_NEAR(rig.Choose(1050).weight, 0.5f, 1e-6f);
  EXPECT_NEAR(rig.Choose(1075).weight, 0.75f, 1e-6f);
}

TEST_F(RtsSelectorControlTest, NoFadeTimeSwitchesHardAndEvaluatesOnlyTheWinner) {
  Rig rig = Handover(1100);
  rig.sel->SetTransitionTime(0.0f);
  ASSERT_EQ(rig.sel->UpdateTransform(1050), kOk);
  EXPECT_TRUE(rig[1].times.empty());
  EXPECT_TRUE(rig[0].windows.empty());
  EXPECT_EQ(rig.sel->GetLocal().Translate.x, 0.0f);
  // Nobody taking over within the fade time: the winner alone as well.
  Rig far = Handover(1500);
  ASSERT_EQ(far.sel->UpdateTransform(1050), kOk);
  EXPECT_TRUE(far[1].times.empty());
}

TEST_F(RtsSelectorControlTest, WeightsStayWithinZeroAndOneWhenTheBestTimeLiesAhead) {
  // At Frequency 0.5 the mapped time trails the time of the claims: the
  // fraction of the fade would be negative.
  for (u32 type = 0; type < kTransitionTypeCount; ++type) {
    Rig rig = Handover(1150, 1100);
    rig.sel->SetFrequency(0.5f);
    rig.sel->SetTransitionType(type);
    for (i32 t = 1900; t <= 2400; t += 50) {
      const CRTSSelectorControl::Choice choice = rig.Choose(t);
      EXPECT_TRUE(std::isfinite(choice.weight)) << type << " at " << t;
      EXPECT_GE(choice.weight, 0.0f) << type << " at " << t;
      EXPECT_LE(choice.weight, 1.0f) << type << " at " << t;
    }
    ASSERT_EQ(rig.sel->UpdateTransform(2000), kOk);
    EXPECT_TRUE(std::isfinite(rig.sel->GetLocal().Translate.x));
  }
}

TEST_F(RtsSelectorControlTest, NoChildrenTakesSlaveModeAndAChildsFailureIsAnswered) {
  CPointer<CTestSpatial> spatial(new CTestSpatial());
  CPointer<CRTSSelectorControl> empty(new CRTSSelectorControl());
  ASSERT_EQ(spatial->AddControl(empty.Get()), kOk);
  EXPECT_EQ(empty->UpdateTransform(0), kDone);
  CRTSSelectorControl::Choice choice;
  EXPECT_EQ(empty->Choose(0, choice), kErrInvalidArg);

  Rig rig = Handover(1100);
  ASSERT_EQ(rig.sel->UpdateTransform(1000), kOk);
  const f32 before = rig.sel->GetLocal().Translate.x;
  rig[1].updateResult = kErrOutOfRange;
  EXPECT_EQ(rig.sel->UpdateTransform(1050), kErrOutOfRange);
  EXPECT_EQ(rig.sel->GetLocal().Translate.x, before);
}

// --- spans ----------------------------------------------------------------------------------------

TimeSpanTrack Track(std::vector<Span> spans) {
  TimeSpanTrack track;
  for (const Span& s : spans) track.Add(s.time, s.priority, s.fade);
  return track;
}

void ExpectTrack(const TimeSpanTrack& actual, const std::vector<Span>& expected, const char* name) {
  ASSERT_EQ(actual.Size(), expected.size()) << name;
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(actual.times[i], expected[i].time) << name << " entry " << i;
    EXPECT_EQ(actual.priorities[i], expected[i].priority) << name << " entry " << i;
    EXPECT_EQ(actual.fades[i], expected[i].fade) << name << " entry " << i;
  }
}

TEST_F(RtsSelectorControlTest, MergeFollowsTheOwnerOfTheHigherPriority) {
  struct Case {
    const char* name;
    std::vector<Span> p;
    std::vector<Span> q;
    std::vector<Span> merged;
  };
  const Case cases[] = {
      {"both empty", {}, {}, {}},
      {"P empty", {}, {{5, 1.0f, 3.0f}}, {{5, 1.0f, 3.0f}}},
      {"Q empty", {{5, 1.0f, 3.0f}}, {}, {{5, 1.0f, 3.0f}}},
      {"Q takes over and keeps it",
       {{0, 1.0f, 0.0f}, {500, 0.0f, 0.0f}},
       {{200, 2.0f, 0.0f}, {800, 0.0f, 0.0f}},
       {{0, 1.0f, 0.0f}, {200, 2.0f, 200.0f}, {800, 0.0f, 0.0f}}},
      {"the rest of a higher track is kept as it is",
       {{0, 1.0f, 7.0f}},
       {{50, 2.0f, 9.0f}},
       {{0, 1.0f, 7.0f}, {50, 2.0f, 9.0f}}},
      {"a lower event is skipped",
       {{0, 3.0f, 0.0f}, {100, 1.0f, 0.0f}},
       {{50, 2.0f, 0.0f}},
       {{0, 3.0f, 0.0f}, {100, 1.0f, 0.0f}}},
      {"a takeover inside the walk fades over the time since",
       {{0, 1.0f, 7.0f}, {300, 1.0f, 7.0f}},
       {{50, 2.0f, 9.0f}, {400, 0.5f, 9.0f}},
       {{0, 1.0f, 7.0f}, {50, 2.0f, 50.0f}, {400, 0.5f, 9.0f}}},
  };
  for (const Case& c : cases) ExpectTrack(MergeTimeSpans(Track(c.p), Track(c.q), 200.0f), c.merged, c.name);
  EXPECT_EQ(StepValueAt(Track({{10, 1.0f, 0.0f}, {20, 2.0f, 0.0f}}), 15), 1.0f);
  EXPECT_EQ(StepValueAt(Track({{10, 1.0f, 0.0f}}), 5), 0.0f);
}

TEST_F(RtsSelectorControlTest, ASelectorInASelectorReportsItsMergedClaims) {
  // Inner: a claims 0..500 at 1, b claims 200..800 at 2.
  CPointer<CTestSpatial> spatial(new CTestSpatial());
  CPointer<CRTSSelectorControl> outer(new CRTSSelectorControl());
  CPointer<CRTSSelectorControl> inner(new CRTSSelectorControl());
  CPointer<CPoseControl> a(new CPoseControl(u"a", 0.0f));
  CPointer<CPoseControl> b(new CPoseControl(u"b", 2.0f));
  CPointer<CPoseControl> z(new CPoseControl(u"z", 4.0f));
  a->spans = {{0, 1.0f, 30.0f}, {500, 0.0f, 30.0f}};
  b->spans = {{200, 2.0f, 30.0f}, {800, 0.0f, 30.0f}};
  z->spans = {{100, 1.5f, 50.0f}};
  ASSERT_EQ(spatial->AddControl(outer.Get()), kOk);
  ASSERT_EQ(inner->AddChild(a.Get()), kOk);
  ASSERT_EQ(inner->AddChild(b.Get()), kOk);
  ASSERT_EQ(outer->AddChild(inner.Get()), kOk);
  ASSERT_EQ(outer->AddChild(z.Get()), kOk);

  TimeSpanTrack own;
  ASSERT_EQ(inner->CollectTimeSpans(0, 1000, own.times, own.priorities, own.fades), kOk);
  ExpectTrack(own, {{0, 1.0f, 0.0f}, {200, 2.0f, 200.0f}, {800, 0.0f, 0.0f}}, "inner");
  EXPECT_EQ(a->windows, (std::vector<std::pair<i32, i32>>{{0, 1000}}));

  TimeSpanTrack all;
  ASSERT_EQ(outer->CollectTimeSpans(0, 1000, all.times, all.priorities, all.fades), kOk);
  ExpectTrack(all, {{0, 1.0f, 0.0f}, {100, 1.5f, 100.0f}, {200, 2.0f, 0.0f}, {800, 0.0f, 0.0f}}, "outer");
}

// --- copies and records ---------------------------------------------------------------------------

TEST_F(RtsSelectorControlTest, CopyToMovesTheChildrenAndTakesTheFade) {
  Rig rig(2);
  rig.sel->SetTransitionTime(120.0f);
  rig.sel->SetTransitionType(TT_EASE_OUT);
  CPointer<CRTSSelectorControl> target(new CRTSSelectorControl());
  DisplacedList displaced;
  ASSERT_EQ(rig.sel->CopyTo(target.Get(), displaced, 0), kOk);
  EXPECT_EQ(target->GetTransitionTime(), 120.0f);
  EXPECT_EQ(target->GetTransitionType(), static_cast<u32>(TT_EASE_OUT));
  ASSERT_EQ(target->GetChildCount(), 2u);
  EXPECT_EQ(rig[0].GetOwners(), std::vector<CControl*>{target.Get()});
  EXPECT_EQ(rig[0].GetObject(), rig.spatial.Get());
  CPointer<CRTSSwitcherControl> other(new CRTSSwitcherControl());
  EXPECT_EQ(target->CopyTo(other.Get(), displaced, 0), kErrNotFound);

  // A copy made by CreateInstance holds the settings but no children.
  CPointer<CBase> copy;
  ASSERT_EQ(target->CreateInstance(copy), kOk);
  auto* selector = DynamicCast<CRTSSelectorControl>(copy.Get());
  ASSERT_NE(selector, nullptr);
  EXPECT_EQ(selector->GetChildCount(), 0u);
  EXPECT_EQ(selector->GetTransitionTime(), 120.0f);
}

TEST_F(RtsSelectorControlTest, RecordLayoutSizeAndRoundTrip) {
  Rig rig(2);
  rig.sel->SetTransitionTime(150.0f);
  rig.sel->SetTransitionType(TT_EASE_IN);
  const Bytes saved = test::SaveObjectRecord(*rig.sel);
  EXPECT_EQ(saved.size(), rig.sel->GetSaveSize());
  EXPECT_EQ(rig.sel->GetSaveSize(), rig.sel->CRTSControl::GetSaveSize() + 16 + 4 + 16);
  ByteWriter tail;
  tail.Pair(2, 2).F32(150.0f).U32(TT_EASE_IN).U32(2).U64(rig[0].GetUniqueId()).U64(rig[1].GetUniqueId());
  const Bytes expected = tail.Data();
  EXPECT_EQ(Bytes(saved.end() - static_cast<std::ptrdiff_t>(expected.size()), saved.end()), expected);
  const std::string members = test::Members(rig.sel.Get());
  for (const char* name : {"CRTSSelectorControl Member", "LastActiveChannel", "fTransitionTime", "TransitionType"}) {
    EXPECT_NE(members.find(name), std::string::npos) << name;
  }

  const Bytes file = test::SaveRoots({rig.spatial.Get()});
  test::UseTestIds(1);
  CStream stream;
  CMemoryIo device;
  ASSERT_EQ(test::LoadScene(file, stream, device), kOk);
  auto* spatial = DynamicCast<CTestSpatial>(stream.GetRootObject(0));
  ASSERT_NE(spatial, nullptr);
  auto* sel = DynamicCast<CRTSSelectorControl>(spatial->GetFirstControl());
  ASSERT_NE(sel, nullptr);
  ASSERT_EQ(sel->GetChildCount(), 2u);
  EXPECT_EQ(sel->GetChild(0)->GetObject(), spatial);
  EXPECT_EQ(test::Members(sel), test::Members(rig.sel.Get()));
  EXPECT_EQ(test::RenumberIds(test::SaveLoaded(stream)), test::RenumberIds(file));
  test::ExpectPrefixesFailBetweenRecords(file);
}

// A file whose root is a selector of version 2.minor with fade 90 (type 3
// from 2.02) over children 0x21 and 0x22 (4-byte ids before 2.01).
Bytes SelectorFile(u32 minor) {
  ByteWriter body;
  test::BasePart(body, 0x20);
  test::DorunPart(body, 0);
  test::ControlPart(body, test::ControlFields());
  test::RtsControlPart(body).Pair(2, minor).F32(90.0f);
  if (minor >= 2) body.U32(TT_EASE_IN);
  body.U32(2);
  if (minor >= 1) {
    body.U64(0x21).U64(0x22);
  } else {
    body.U32(0x21).U32(0x22);
  }
  test::SceneImage image;
  image.Record("CRTSSelectorControl", body, true);
  image.Record("CPoseControl", test::PoseBody(0x21, 0.0f));
  image.Record("CPoseControl", test::PoseBody(0x22, 2.0f));
  return image.Data();
}

TEST_F(RtsSelectorControlTest, EveryStoredVersionLoads) {
  for (u32 minor = 0; minor <= 2; ++minor) {
    SCOPED_TRACE("2.0" + std::to_string(minor));
    CStream stream;
    CMemoryIo device;
    const Bytes file = SelectorFile(minor);
    ASSERT_EQ(test::LoadScene(file, stream, device), kOk);
    auto* sel = DynamicCast<CRTSSelectorControl>(stream.GetRootObject(0));
    ASSERT_NE(sel, nullptr);
    EXPECT_EQ(sel->GetTransitionTime(), 90.0f);
    EXPECT_EQ(sel->GetTransitionType(), minor >= 2 ? static_cast<u32>(TT_EASE_IN) : static_cast<u32>(TT_EASE_IN_OUT));
    ASSERT_EQ(sel->GetChildCount(), 2u);
    EXPECT_EQ(sel->GetChild(1)->GetOwners(), std::vector<CControl*>{sel});
    test::ExpectPrefixesFailBetweenRecords(file);
  }
  ByteWriter newer;
  test::BasePart(newer, 0x20);
  test::DorunPart(newer, 0);
  test::ControlPart(newer, test::ControlFields());
  test::RtsControlPart(newer).Pair(2, 3).F32(90.0f).U32(0).U32(0);
  test::SceneImage image;
  image.Record("CRTSSelectorControl", newer, true);
  CStream stream;
  CMemoryIo device;
  EXPECT_EQ(test::LoadScene(image.Data(), stream, device), kErrNewerVersion);
}

}  // namespace
}  // namespace KT
