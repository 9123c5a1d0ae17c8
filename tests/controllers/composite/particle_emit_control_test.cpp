// The emission switch: the on/off track driving the simulator, clearing
// before the first key, the mapped time, the priority pick (alone and
// under a data selector), refusals, copies and every record form.
#include "controllers/composite/particle_emit_control.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "controllers/composite/data_selector_control.h"
#include "controllers/composite/particle_test_support.h"

namespace KT {
namespace {

using test::ByteWriter;

class ParticleEmitControlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::RegisterParticleClasses();
    test::UseTestIds(0);
  }
};

// A particle node whose emission is switched by an emit control.
struct Switched {
  CPointer<CParticles> node;
  CPointer<CParticleEmitControl> emit{new CParticleEmitControl()};
  Switched(const std::vector<i32>& times, const std::vector<bool>& flags, u32 capacity = 4)
      : node(test::ParticleNode(capacity)) {
    EXPECT_EQ(emit->SetKeys(times, flags), kOk);
    EXPECT_EQ(node->AddControl(emit.Get()), kOk);
  }
  bool FlagAt(i32 time, Result expected = kOk) {
    EXPECT_EQ(emit->Update(time), expected) << time;
    return node->GetParticleFlag();
  }
};

// Marks every slot alive.
void FillSlots(CParticles& node) {
  for (u32 i = 0; i < node.GetMaxQuantity(); ++i) {
    node.GetLife()[i] = 100.0f;
    node.GetRemainingLife()[i] = 50.0f;
  }
}

bool AllSlotsFree(CParticles& node) {
  for (u32 i = 0; i < node.GetMaxQuantity(); ++i) {
    if (node.GetRemainingLife()[i] != 0.0f || node.GetLife()[i] != 0.0f) return false;
  }
  return true;
}

TEST_F(ParticleEmitControlTest, TheKeyInForceSetsTheEmitFlag) {
  Switched s({0, 1000, 3000}, {true, false, true});
  struct Sample {
    i32 time;
    bool flag;
  };
  for (const Sample sample : {Sample{0, true}, Sample{999, true}, Sample{1000, false}, Sample{2999, false},
                              Sample{3000, true}, Sample{9000, true}, Sample{1500, false}}) {
    EXPECT_EQ(s.FlagAt(sample.time), sample.flag) << sample.time;
    EXPECT_EQ(s.emit->GetLastCtrlTime(), sample.time);
  }
  EXPECT_EQ(s.emit->GetEndTime(), 3000);
  EXPECT_EQ(s.emit->Apply(), kDone);
}

TEST_F(ParticleEmitControlTest, EmissionPausesWhileParticlesLiveOn) {
  Switched s({0, 1000, 3000}, {true, false, true}, 256);
  CPointer<CParticleAtomControl> atom(new CParticleAtomControl());
  ASSERT_EQ(s.node->AddControl(atom.Get()), kOk);
  atom->EditSettings().EmitRate = 0.01f;  // one particle per 100 ms step
  atom->EditSettings().MinLife = 2500.0f;
  atom->EditSettings().MaxLife = 2500.0f;
  for (i32 time = 0; time <= 4000; time += 100) {
    SCOPED_TRACE(time);
    ASSERT_EQ(s.node->Update(time), kOk);
    // Born in this step: 2500 ms of life less the step's 100.
    const auto& remaining = s.node->GetRemainingLife();
    const auto born = std::count(remaining.begin(), remaining.end(), 2400.0f);
    const bool emitting = time > 0 && (time < 1000 || time >= 3000);
    EXPECT_EQ(born, emitting ? 1 : 0);
    // The nine particles of the first second live on through the pause
    // until their lives end (the first at 2500).
    if (time >= 900 && time < 2500) {
      EXPECT_EQ(s.node->GetParticleCounter(), 9u);
    }
  }
}

TEST_F(ParticleEmitControlTest, BeforeTheFirstKeyOrWithoutKeysTheParticlesAreCleared) {
  Switched s({500}, {true});
  s.node->SetParticleFlag(true);
  FillSlots(*s.node);
  EXPECT_FALSE(s.FlagAt(200, kDone));
  EXPECT_TRUE(AllSlotsFree(*s.node));
  EXPECT_EQ(s.emit->GetLastCtrlTime(), 200);
  EXPECT_TRUE(s.FlagAt(500));

  Switched empty({}, {});
  empty.node->SetParticleFlag(true);
  FillSlots(*empty.node);
  EXPECT_FALSE(empty.FlagAt(200, kDone));
  EXPECT_TRUE(AllSlotsFree(*empty.node));
  // Without keys the step leaves its time alone.
  EXPECT_EQ(empty.emit->GetLastCtrlTime(), 0);
}

TEST_F(ParticleEmitControlTest, TheKeysAreSearchedAtTheMappedTime) {
  Switched s({0, 500, 1000}, {true, false, true});
  s.emit->SetRepeat(CControl::RT_WRAP);
  EXPECT_FALSE(s.FlagAt(1500));
  EXPECT_TRUE(s.FlagAt(1200));
  s.emit->SetRepeat(CControl::RT_CLAMP);
  s.emit->SetFrequency(2.0f);
  EXPECT_FALSE(s.FlagAt(300));
  EXPECT_EQ(s.emit->GetLastCtrlTime(), 600);
  EXPECT_TRUE(s.FlagAt(200));
}

TEST_F(ParticleEmitControlTest, UpdateRefusalsWriteNothing) {
  Switched s({0}, {true});
  s.emit->SetActive(false);
  EXPECT_FALSE(s.FlagAt(100, kDone));
  EXPECT_EQ(s.emit->GetLastCtrlTime(), 0);

  CParticleEmitControl unbound;
  EXPECT_EQ(unbound.Update(100), kErrInvalidArg);

  CPointer<CNode> plain(new CNode());
  CParticleEmitControl misbound;
  EXPECT_EQ(misbound.SetObject(plain.Get()), kErrInvalidArg);
  ASSERT_EQ(misbound.CControl::SetObject(plain.Get()), kOk);
  EXPECT_EQ(misbound.Update(100), kErrNotFound);
  EXPECT_EQ(misbound.CControl::SetObject(nullptr), kOk);
}

TEST_F(ParticleEmitControlTest, IsStartedAtTheFirstKey) {
  Switched s({300, 700}, {true, false});
  EXPECT_FALSE(s.emit->IsStartedAt(299));
  EXPECT_TRUE(s.emit->IsStartedAt(300));
  s.emit->SetFrequency(2.0f);
  EXPECT_TRUE(s.emit->IsStartedAt(150));
  Switched empty({}, {});
  EXPECT_FALSE(empty.emit->IsStartedAt(1000));
}

TEST_F(ParticleEmitControlTest, PickByPriorityTakesTheMostRecentKey) {
  Switched a({0, 300}, {true, false});
  Switched b({0, 700}, {false, true});
  i32 best = 0;
  i32 picked = 0;
  f32 top = 0.0f;
  EXPECT_EQ(a.emit->PickByPriority(800, best, picked, top), 2);
  EXPECT_EQ(b.emit->PickByPriority(800, best, picked, top), 2);
  EXPECT_EQ(best, 700);
  EXPECT_EQ(picked, 700);
  // Equal key times: only a strictly higher priority wins.
  Switched c({0, 700}, {false, true});
  EXPECT_EQ(c.emit->PickByPriority(800, best, picked, top), kOk);
  c.emit->SetPriority(1.0f);
  EXPECT_EQ(c.emit->PickByPriority(800, best, picked, top), 2);
  EXPECT_EQ(top, 1.0f);
  // Before the first key, or without keys: not a candidate.
  best = -1000;
  Switched late({500}, {true});
  EXPECT_EQ(late.emit->PickByPriority(400, best, picked, top), kOk);
  Switched empty({}, {});
  EXPECT_EQ(empty.emit->PickByPriority(400, best, picked, top), kOk);
  EXPECT_EQ(best, -1000);
}

TEST_F(ParticleEmitControlTest, UnderADataSelectorTheMostRecentKeyWins) {
  CPointer<CParticles> node = test::ParticleNode(4);
  CPointer<CDataSelectorControl> selector(new CDataSelectorControl());
  ASSERT_EQ(node->AddControl(selector.Get()), kOk);
  CPointer<CParticleEmitControl> early(new CParticleEmitControl());
  CPointer<CParticleEmitControl> late(new CParticleEmitControl());
  ASSERT_EQ(early->SetKeys({0, 300}, {true, false}), kOk);
  ASSERT_EQ(late->SetKeys({0, 700}, {false, true}), kOk);
  ASSERT_EQ(selector->AddChild(early.Get()), kOk);
  ASSERT_EQ(selector->AddChild(late.Get()), kOk);
  struct Sample {
    i32 time;
    bool flag;
  };
  // 200: both keyed at 0, the earlier child keeps the tie (on); 500: the
  // key at 300 is the most recent (off); 800: the key at 700 (on).
  for (const Sample s : {Sample{200, true}, Sample{500, false}, Sample{800, true}}) {
    ASSERT_GE(node->Update(s.time), 0) << s.time;
    EXPECT_EQ(node->GetParticleFlag(), s.flag) << s.time;
  }
}

TEST_F(ParticleEmitControlTest, CopiesTakeKeysCacheAndTime) {
  Switched s({0, 300, 700}, {true, false, true});
  EXPECT_TRUE(s.FlagAt(800));
  ASSERT_EQ(s.emit->GetLastIndex(), 2u);
  CPointer<CBase> made;
  ASSERT_EQ(s.emit->CreateInstance(made), kOk);
  auto* copy = DynamicCast<CParticleEmitControl>(made.Get());
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->GetTimes(), s.emit->GetTimes());
  EXPECT_EQ(copy->GetEmit(), s.emit->GetEmit());
  EXPECT_EQ(copy->GetLastIndex(), 2u);
  EXPECT_EQ(copy->GetLastCtrlTime(), 800);

  CParticleEmitControl target;
  DisplacedList displaced;
  ASSERT_EQ(s.emit->CopyTo(&target, displaced, 0), kOk);
  EXPECT_EQ(target.GetTimes(), s.emit->GetTimes());
  EXPECT_EQ(target.GetEmit(), s.emit->GetEmit());
  EXPECT_EQ(target.GetLastIndex(), 2u);
  EXPECT_EQ(target.GetLastCtrlTime(), 800);
  CParticleAtomControl other;
  EXPECT_EQ(s.emit->CopyTo(&other, displaced, 0), kErrNotFound);
  EXPECT_EQ(s.emit->SetKeys({0, 1}, {true}), kErrInvalidArg);
  EXPECT_EQ(s.emit->GetTimes().size(), 3u);
}

TEST_F(ParticleEmitControlTest, RecordRoundTripSizeAndMembers) {
  Switched s({-20, 0, 500}, {true, false, true});
  EXPECT_EQ(s.emit->GetSaveSize(), s.emit->CDataControl::GetSaveSize() + 8 + 8 + (4 + 3 * 4) + (4 + 3));
  test::ExpectSceneRoundTrip(*s.node);
  const std::string text = test::Members(s.emit.Get());
  std::size_t at = 0;
  for (const char* name : {"CParticleEmitControl Member", "LastIndex", "LastCtrlTime", "Times", "Emit", "Times",
                           "Emit", "Times", "Emit", "CControl Member"}) {
    const std::size_t found = text.find(name, at);
    ASSERT_NE(found, std::string::npos) << name;
    at = found + 1;
  }
}

// An emit record at version `major`.`minor` with the given time and flag
// parts.
ByteWriter EmitRecord(u32 major, u32 minor, bool floatTimes, std::initializer_list<f32> times,
                      std::initializer_list<u8> flags) {
  ByteWriter w = test::ParticleControlHead();
  w.Pair(major, minor).U32(static_cast<u32>(times.size()));
  for (f32 t : times) {
    if (floatTimes) {
      w.F32(t);
    } else {
      w.I32(static_cast<i32>(t));
    }
  }
  w.U32(static_cast<u32>(flags.size()));
  for (u8 f : flags) w.U8(f);
  return w;
}

TEST_F(ParticleEmitControlTest, EveryStoredVersionLoads) {
  struct Row {
    const char* what;
    ByteWriter body;
    std::vector<i32> times;
    std::vector<bool> flags;
  };
  const Row rows[] = {
      {"1.00: float times", EmitRecord(1, 0, true, {-3.7f, 250.9f}, {0, 7}), {-3, 250}, {false, true}},
      {"2.00: integer times", EmitRecord(2, 0, false, {-5, 400}, {1, 0}), {-5, 400}, {true, false}},
      {"no keys", EmitRecord(2, 0, false, {}, {}), {}, {}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    CStream stream;
    CMemoryIo device;
    auto* emit = test::LoadRoot<CParticleEmitControl>("CParticleEmitControl", row.body, stream, device);
    ASSERT_NE(emit, nullptr);
    EXPECT_EQ(emit->GetTimes(), row.times);
    EXPECT_EQ(emit->GetEmit(), row.flags);
    EXPECT_EQ(emit->GetLastCtrlTime(), 0);
  }
}

TEST_F(ParticleEmitControlTest, BadRecordsAreRefused) {
  struct Row {
    const char* what;
    ByteWriter body;
    Result expected;
  };
  const Row rows[] = {
      {"2.01", EmitRecord(2, 1, false, {0}, {1}), kErrNewerVersion},
      {"fewer flags than times", EmitRecord(2, 0, false, {0, 100}, {1}), kErrNotFound},
      {"more flags than times", EmitRecord(2, 0, false, {0}, {1, 0}), kErrNotFound},
      {"1.00: fewer flags than times", EmitRecord(1, 0, true, {0, 100}, {}), kErrNotFound},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    CStream stream;
    CMemoryIo device;
    EXPECT_EQ(test::LoadRecord("CParticleEmitControl", row.body, stream, device), row.expected);
  }
}

}  // namespace
}  // namespace KT
