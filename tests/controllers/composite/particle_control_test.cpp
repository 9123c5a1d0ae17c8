// The single-control particle settings: defaults, the answer that ends
// the node's data update, baking the frequency, copies and every record
// form, the track built from Weight and Priority included.
#include "controllers/composite/particle_control.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <vector>

#include "controllers/composite/particle_test_support.h"

namespace KT {
namespace {

using test::ByteWriter;
using Vec3 = CVector3<float>;

class ParticleControlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::RegisterParticleClasses();
    test::UseTestIds(0);
  }
};

TEST_F(ParticleControlTest, Defaults) {
  CParticleControl control;
  const ParticleSettings& s = control.GetSettings();
  EXPECT_EQ(s.GravityDir, Vec3(0, 0, -1));
  EXPECT_EQ(s.EmitRate, 1.0f);
  EXPECT_EQ(s.MaxSpeed, Vec3(2, 10, 2));
  EXPECT_EQ(s.MinSpeed, Vec3(-2, 0, -2));
  EXPECT_EQ(s.MaxLife, 150.0f);
  EXPECT_EQ(s.MinLife, 30.0f);
  EXPECT_EQ(s.DirRandomness, 0.0f);
  const CParticleControl::Looks& looks = control.GetLooks();
  EXPECT_EQ(looks.Size1, Vec3(1, 1, 0));
  EXPECT_EQ(looks.Size2, Vec3(1, 1, 0));
  EXPECT_EQ(looks.Color1, CColor(1, 1, 1, 1));
  EXPECT_EQ(looks.Color2, CColor(0, 0, 0, 1));
  EXPECT_TRUE(control.GetTimes().empty());
  EXPECT_EQ(control.GetEndTime(), 0);
  EXPECT_EQ(control.Apply(), kDone);
  EXPECT_STREQ(control.GetClassRecord().name, "CParticleControl");
  EXPECT_EQ(control.GetVersion(), 202u);
  ASSERT_EQ(control.SetKeys({100, 400}, {true, false}), kOk);
  EXPECT_EQ(control.GetEndTime(), 400);
}

TEST_F(ParticleControlTest, UpdateKeepsDataWithoutEvaluatingIt) {
  EXPECT_EQ(static_cast<u32>(kErrNotEvaluated), 0x8000000Bu);
  CParticleControl unbound;
  EXPECT_EQ(unbound.Update(100), kErrNotEvaluated);

  // On a particle node the answer ends the node's data update: the
  // controllers behind it do not run.
  CPointer<CParticles> node = test::ParticleNode(2);
  CPointer<CParticleControl> control(new CParticleControl());
  CPointer<CParticleEmitControl> emit(new CParticleEmitControl());
  ASSERT_EQ(emit->SetKeys({0}, {true}), kOk);
  ASSERT_EQ(node->AddControl(control.Get()), kOk);
  ASSERT_EQ(node->AddControl(emit.Get()), kOk);
  EXPECT_EQ(control->Update(100), kErrNotEvaluated);
  EXPECT_EQ(node->Update(100), kErrNotEvaluated);
  EXPECT_FALSE(node->GetParticleFlag());

  // A file may bind another kind of object: that answer names the binding.
  CPointer<CNode> plain(new CNode());
  CParticleControl misbound;
  EXPECT_EQ(misbound.SetObject(plain.Get()), kErrInvalidArg);
  ASSERT_EQ(misbound.CControl::SetObject(plain.Get()), kOk);
  EXPECT_EQ(misbound.Update(100), kErrNotFound);
  EXPECT_EQ(misbound.CControl::SetObject(nullptr), kOk);
}

TEST_F(ParticleControlTest, BakeFrequencyDividesTheKeyTimes) {
  CParticleControl control;
  ASSERT_EQ(control.SetKeys({1000, 3001}, {true, false}), kOk);
  control.SetFrequency(2.0f);
  EXPECT_EQ(control.BakeFrequency(), kOk);
  EXPECT_EQ(control.GetTimes(), (std::vector<i32>{500, 1500}));
  EXPECT_EQ(control.GetFrequency(), 1.0f);

  CParticleControl empty;
  empty.SetFrequency(4.0f);
  EXPECT_EQ(empty.BakeFrequency(), kOk);
  EXPECT_EQ(empty.GetFrequency(), 1.0f);

  for (f32 frequency : {0.0f, -2.0f}) {
    CParticleControl bad;
    ASSERT_EQ(bad.SetKeys({1000}, {true}), kOk);
    bad.SetFrequency(frequency);
    EXPECT_EQ(bad.BakeFrequency(), kErrInvalidArg);
    EXPECT_EQ(bad.GetTimes(), std::vector<i32>{1000});
    EXPECT_EQ(bad.GetFrequency(), frequency);
  }
}

TEST_F(ParticleControlTest, CopiesTakeEveryField) {
  CParticleControl control;
  control.EditSettings().Gravity = 2.0f;
  control.EditSettings().DirRandomness = 3.0f;
  control.EditLooks().Color2 = CColor(0.5f, 0.25f, 0.0f, 1.0f);
  control.EditLooks().Size1 = Vec3(4, 5, 6);
  ASSERT_EQ(control.SetKeys({10, 20}, {true, false}), kOk);
  CPointer<CBase> made;
  ASSERT_EQ(control.CreateInstance(made), kOk);
  CParticleControl target;
  DisplacedList displaced;
  ASSERT_EQ(control.CopyTo(&target, displaced, 0), kOk);
  for (auto* copy : {DynamicCast<CParticleControl>(made.Get()), &target}) {
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->GetSettings().Gravity, 2.0f);
    EXPECT_EQ(copy->GetSettings().DirRandomness, 3.0f);
    EXPECT_EQ(copy->GetLooks().Color2, CColor(0.5f, 0.25f, 0.0f, 1.0f));
    EXPECT_EQ(copy->GetLooks().Size1, Vec3(4, 5, 6));
    EXPECT_EQ(copy->GetTimes(), control.GetTimes());
    EXPECT_EQ(copy->GetEmit(), control.GetEmit());
  }
  CParticleEmitControl other;
  EXPECT_EQ(control.CopyTo(&other, displaced, 0), kErrNotFound);
}

TEST_F(ParticleControlTest, RecordRoundTripAndSize) {
  CPointer<CParticles> node = test::ParticleNode(2);
  CPointer<CParticleControl> control(new CParticleControl());
  control->EditSettings().Wind = 0.5f;
  control->EditLooks().Color1 = CColor(0.1f, 0.2f, 0.3f, 0.4f);
  ASSERT_EQ(control->SetKeys({0, 250, 900}, {true, false, true}), kOk);
  ASSERT_EQ(node->AddControl(control.Get()), kOk);
  EXPECT_EQ(control->GetSaveSize(), control->CDataControl::GetSaveSize() + 8 + 172 + (4 + 3 * 4) + (4 + 3));
  test::ExpectSceneRoundTrip(*node);
  // Only the data controller's members are described.
  const std::string text = test::Members(control.Get());
  EXPECT_EQ(text.find("CParticleControl Member"), std::string::npos);
  EXPECT_NE(text.find("CControl Member"), std::string::npos);
}

// A particle control record at version `major`.`minor`: the 41 setting
// floats hold 1, 2, ... 41 in stored order; then the track as the version
// stores it (none below 2.01).
ByteWriter ParticleRecord(u32 major, u32 minor, std::initializer_list<f32> times, std::initializer_list<u8> flags,
                          f32 weight = 1.0f, f32 priority = 0.0f, u32 repeat = CControl::RT_CLAMP) {
  ByteWriter w = test::ParticleControlHead(1.0f, weight, priority, repeat);
  w.Pair(major, minor);
  const u32 version = major * 100 + minor;
  if (version < 200) w.U32(0xDEADBEEF);
  for (int i = 1; i <= 41; ++i) w.F32(static_cast<f32>(i));
  if (version < 201) return w;
  w.U32(static_cast<u32>(times.size()));
  for (f32 t : times) {
    if (version < 202) {
      w.F32(t);
    } else {
      w.I32(static_cast<i32>(t));
    }
  }
  w.U32(static_cast<u32>(flags.size()));
  for (u8 f : flags) w.U8(f);
  return w;
}

void ExpectSettingsInStoredOrder(const CParticleControl& control) {
  const ParticleSettings& s = control.GetSettings();
  const CParticleControl::Looks& looks = control.GetLooks();
  EXPECT_EQ(s.Gravity, 1.0f);
  EXPECT_EQ(s.GravityDir, Vec3(2, 3, 4));
  EXPECT_EQ(s.Wind, 5.0f);
  EXPECT_EQ(s.WindDir, Vec3(6, 7, 8));
  EXPECT_EQ(s.EmitRate, 9.0f);
  EXPECT_EQ(s.EmitterPos, Vec3(10, 11, 12));
  EXPECT_EQ(s.EmitterSize, Vec3(13, 14, 15));
  EXPECT_EQ(looks.Size1, Vec3(16, 17, 18));
  EXPECT_EQ(looks.Size2, Vec3(19, 20, 21));
  EXPECT_EQ(looks.Color1, CColor(22, 23, 24, 25));
  EXPECT_EQ(looks.Color2, CColor(26, 27, 28, 29));
  EXPECT_EQ(s.MaxSpeed, Vec3(30, 31, 32));
  EXPECT_EQ(s.MinSpeed, Vec3(33, 34, 35));
  EXPECT_EQ(s.MaxLife, 36.0f);
  EXPECT_EQ(s.MinLife, 37.0f);
  EXPECT_EQ(s.MaxAngle, 38.0f);
  EXPECT_EQ(s.MinAngle, 39.0f);
  EXPECT_EQ(s.StartAngle, 40.0f);
  EXPECT_EQ(s.DirRandomness, 41.0f);
}

TEST_F(ParticleControlTest, EveryStoredVersionLoads) {
  struct Row {
    const char* what;
    ByteWriter body;
    std::vector<i32> times;
    std::vector<bool> flags;
    u32 repeat;
  };
  const Row rows[] = {
      {"2.02: integer times", ParticleRecord(2, 2, {-5, 400}, {1, 0}), {-5, 400}, {true, false}, CControl::RT_CLAMP},
      {"2.01: float times", ParticleRecord(2, 1, {-3.7f, 250.9f}, {0, 7}), {-3, 250}, {false, true},
       CControl::RT_CLAMP},
      {"2.00 clamped: a span from Weight to Priority", ParticleRecord(2, 0, {}, {}, 500.0f, 2500.0f),
       {500, 2500},
       {true, false},
       CControl::RT_CLAMP},
      {"2.00 wrapped: a start at Weight, then clamped",
       ParticleRecord(2, 0, {}, {}, 500.0f, 2500.0f, CControl::RT_WRAP),
       {500},
       {true},
       CControl::RT_CLAMP},
      {"2.00: fractions truncated", ParticleRecord(2, 0, {}, {}, 10.9f, -20.9f), {10, -20}, {true, false},
       CControl::RT_CLAMP},
      {"1.00: a leading word", ParticleRecord(1, 0, {}, {}, 500.0f, 2500.0f, CControl::RT_CYCLE),
       {500},
       {true},
       CControl::RT_CLAMP},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    CStream stream;
    CMemoryIo device;
    auto* control = test::LoadRoot<CParticleControl>("CParticleControl", row.body, stream, device);
    ASSERT_NE(control, nullptr);
    ExpectSettingsInStoredOrder(*control);
    EXPECT_EQ(control->GetTimes(), row.times);
    EXPECT_EQ(control->GetEmit(), row.flags);
    EXPECT_EQ(control->GetRepeat(), row.repeat);
  }
}

TEST_F(ParticleControlTest, BadRecordsAreRefused) {
  struct Row {
    const char* what;
    ByteWriter body;
    Result expected;
  };
  const Row rows[] = {
      {"2.03", ParticleRecord(2, 3, {0}, {1}), kErrNewerVersion},
      {"fewer flags than times", ParticleRecord(2, 2, {0, 100}, {1}), kErrNotFound},
      {"2.01: more flags than times", ParticleRecord(2, 1, {0}, {1, 1}), kErrNotFound},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    CStream stream;
    CMemoryIo device;
    EXPECT_EQ(test::LoadRecord("CParticleControl", row.body, stream, device), row.expected);
  }
}

}  // namespace
}  // namespace KT
