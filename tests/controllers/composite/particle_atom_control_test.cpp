// The particle simulator: emission and its carried fraction, lives, the
// emitter placement, gravity, the direction jitter, sizes and colours along
// a life, playing backward, the order of the random draws, refusals,
// copies and every record form.
#include "controllers/composite/particle_atom_control.h"

#include <gtest/gtest.h>

#include <cmath>
#include <ctime>
#include <string>
#include <vector>

#include "controllers/composite/particle_test_support.h"
#include "objectmodel/matrix3.h"
#include "objectmodel/matrix4.h"
#include "platform/crt_random.h"

namespace KT {
namespace {

using test::ByteWriter;
using Vec3 = CVector3<float>;

class ParticleAtomControlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::RegisterParticleClasses();
    test::UseTestIds(0);
  }
};

// A particle node of `capacity` slots driven by an atom control, emitting.
struct Sim {
  CPointer<CParticles> node;
  CPointer<CParticleAtomControl> atom{new CParticleAtomControl()};
  explicit Sim(u32 capacity) : node(test::ParticleNode(capacity)) {
    EXPECT_EQ(node->AddControl(atom.Get()), kOk);
    node->SetParticleFlag(true);
  }
  ParticleSettings& Settings() { return atom->EditSettings(); }
  // Every particle lives `life` ms.
  void Life(f32 life) {
    Settings().MinLife = life;
    Settings().MaxLife = life;
  }
  // Every particle starts with the same velocity.
  void Speed(const Vec3& velocity) {
    Settings().MinSpeed = velocity;
    Settings().MaxSpeed = velocity;
  }
  void Step(i32 time) { ASSERT_EQ(atom->Update(time), kOk) << "at " << time; }
  u32 Live() const { return node->GetParticleCounter(); }
  Vec3 Position(u32 slot) { return node->GetWorldXYZ()[slot]; }
};

// The members of a controller without its binding (copies are unbound).
std::string UnboundMembers(CBase* control) {
  std::string text = test::Members(control);
  const std::size_t at = text.find("Object = ");
  if (at != std::string::npos) text.erase(at, text.find('\n', at) - at);
  return text;
}

void ExpectNear(const Vec3& actual, const Vec3& expected, f32 tolerance = 1e-4f) {
  EXPECT_NEAR(actual.x, expected.x, tolerance);
  EXPECT_NEAR(actual.y, expected.y, tolerance);
  EXPECT_NEAR(actual.z, expected.z, tolerance);
}

// A slot with everything cleared.
void ExpectClearedSlot(CParticles& node, u32 i) {
  SCOPED_TRACE(i);
  EXPECT_EQ(node.GetWorldXYZ()[i], Vec3());
  EXPECT_EQ(node.GetSize()[i], Vec3());
  EXPECT_EQ(node.GetBaseVelocity()[i], Vec3());
  EXPECT_EQ(node.GetVelocity()[i], Vec3());
  EXPECT_EQ(node.GetColor()[i], CColor());
  EXPECT_EQ(node.GetAngle()[i], 0.0f);
  EXPECT_EQ(node.GetRemainingLife()[i], 0.0f);
  EXPECT_EQ(node.GetSpin()[i], 0.0f);
  EXPECT_EQ(node.GetFallSpeed()[i], 0.0f);
  EXPECT_EQ(node.GetJitterTimer()[i], 0.0f);
}

TEST_F(ParticleAtomControlTest, DefaultsAndTheAbstractBase) {
  CParticleAtomControl atom;
  const ParticleSettings& s = atom.GetSettings();
  EXPECT_EQ(s.Gravity, 0.0f);
  EXPECT_EQ(s.GravityDir, Vec3(0, 0, -1));
  EXPECT_EQ(s.Wind, 0.0f);
  EXPECT_EQ(s.WindDir, Vec3());
  EXPECT_EQ(s.EmitRate, 1.0f);
  EXPECT_EQ(s.EmitterPos, Vec3());
  EXPECT_EQ(s.EmitterSize, Vec3());
  EXPECT_EQ(s.MaxSpeed, Vec3(2, 10, 2));
  EXPECT_EQ(s.MinSpeed, Vec3(-2, 0, -2));
  EXPECT_EQ(s.DirRandomness, 0.0f);
  EXPECT_EQ(s.MaxLife, 150.0f);
  EXPECT_EQ(s.MinLife, 30.0f);
  EXPECT_EQ(s.MaxAngle, 0.0f);
  EXPECT_EQ(s.MinAngle, 0.0f);
  EXPECT_EQ(s.StartAngle, 0.0f);
  EXPECT_EQ(atom.GetSizeKey(), std::vector<Vec3>(4));
  EXPECT_EQ(atom.GetColorKey(), std::vector<CColor>(4));
  EXPECT_EQ(atom.GetPosRateKey(), std::vector<f32>(4, 0.0f));
  EXPECT_EQ(atom.GetEndTime(), 0);
  EXPECT_EQ(atom.Apply(), kDone);
  EXPECT_STREQ(atom.GetClassRecord().name, "CParticleAtomControl");
  EXPECT_EQ(atom.GetVersion(), 200u);

  // The base class cannot be made.
  Result made = kOk;
  CPointer<CBase> out;
  CreateParticleDataControl(made, out);
  EXPECT_EQ(made, kErrInvalidArg);
  EXPECT_EQ(out.Get(), nullptr);
}

TEST_F(ParticleAtomControlTest, BindsOnlyToAParticleNode) {
  CPointer<CNode> plain(new CNode());
  CPointer<CParticleAtomControl> atom(new CParticleAtomControl());
  EXPECT_EQ(atom->SetObject(plain.Get()), kErrInvalidArg);
  EXPECT_EQ(atom->GetObject(), nullptr);
  EXPECT_LT(plain->AddControl(atom.Get()), 0);
  CPointer<CParticles> node = test::ParticleNode(2);
  EXPECT_EQ(atom->SetObject(node.Get()), kOk);
  EXPECT_EQ(atom->GetObject(), node.Get());
  EXPECT_EQ(atom->SetObject(nullptr), kOk);
}

TEST_F(ParticleAtomControlTest, UpdateRefusalsWriteNothing) {
  Sim sim(2);
  sim.atom->SetActive(false);
  EXPECT_EQ(sim.atom->Update(100), kDone);
  EXPECT_EQ(sim.Live(), 0u);
  EXPECT_EQ(sim.atom->GetLastCtrlTime(), 0);

  CParticleAtomControl unbound;
  EXPECT_EQ(unbound.Update(100), kErrInvalidArg);

  // A file binds without SetObject's check: the step finds another kind of
  // object and writes nothing.
  CPointer<CNode> plain(new CNode());
  CParticleAtomControl misbound;
  ASSERT_EQ(misbound.CControl::SetObject(plain.Get()), kOk);
  EXPECT_EQ(misbound.Update(100), kErrNotFound);
  EXPECT_EQ(misbound.GetLastCtrlTime(), 0);
  EXPECT_EQ(misbound.CControl::SetObject(nullptr), kOk);
}

TEST_F(ParticleAtomControlTest, HalfAParticlePerStepIsCarriedToTheNext) {
  Sim sim(64);
  sim.Life(1000.0f);
  sim.Settings().EmitRate = 0.5f;
  std::vector<u32> emitted;
  std::vector<f32> carried;
  u32 before = 0;
  for (i32 time = 3; time <= 12; time += 3) {
    sim.Step(time);
    emitted.push_back(sim.Live() - before);
    carried.push_back(sim.atom->GetAccQuantity());
    before = sim.Live();
  }
  EXPECT_EQ(emitted, (std::vector<u32>{1, 2, 1, 2}));
  EXPECT_EQ(carried, (std::vector<f32>{0.5f, 0.0f, 0.5f, 0.0f}));
}

TEST_F(ParticleAtomControlTest, NoEmissionWhileTheFlagIsClear) {
  Sim sim(8);
  sim.node->SetParticleFlag(false);
  sim.Step(100);
  EXPECT_EQ(sim.Live(), 0u);
  EXPECT_EQ(sim.atom->GetAccQuantity(), 0.0f);
  EXPECT_EQ(sim.atom->GetLastCtrlTime(), 100);
}

TEST_F(ParticleAtomControlTest, AParticleOfLife100MovesOnNineStepsAndIsClearedOnTheTenth) {
  Sim sim(4);
  sim.Life(100.0f);
  sim.Speed({1, 0, 0});
  sim.Settings().EmitRate = 0.1f;
  for (i32 k = 1; k <= 9; ++k) {
    sim.Step(10 * k);
    sim.node->SetParticleFlag(false);
    SCOPED_TRACE(k);
    EXPECT_EQ(sim.Live(), 1u);
    EXPECT_FLOAT_EQ(sim.node->GetRemainingLife()[0], 100.0f - 10.0f * static_cast<f32>(k));
    EXPECT_NEAR(sim.Position(0).x, static_cast<f32>(k) * 10.0f / 7.0f, 1e-4f);
  }
  sim.Step(100);
  EXPECT_EQ(sim.Live(), 0u);
  ExpectClearedSlot(*sim.node, 0);
}

TEST_F(ParticleAtomControlTest, FullSlotsEmitNothingAndEmissionNeverExceedsTheFreeSlots) {
  Sim sim(3);
  sim.Life(1000.0f);
  sim.Settings().EmitRate = 10.0f;
  sim.Step(10);
  EXPECT_EQ(sim.Live(), 3u);
  const std::vector<f32> lives = sim.node->GetLife();

  // No draws at all on the next step: the generator continues where it
  // was reseeded.
  CrtSrand(7);
  const int next = CrtRand();
  CrtSrand(7);
  sim.Step(20);
  EXPECT_EQ(CrtRand(), next);
  EXPECT_EQ(sim.Live(), 3u);
  EXPECT_EQ(sim.node->GetLife(), lives);
  for (u32 i = 0; i < 3; ++i) EXPECT_EQ(sim.node->GetRemainingLife()[i], 980.0f);
}

TEST_F(ParticleAtomControlTest, TheEmitterIsCarriedByTheNodesRotationAndTranslationNotItsScale) {
  Sim sim(1);
  sim.Life(1000.0f);
  sim.Speed({0, 0, 0});
  sim.Settings().EmitterPos = Vec3(1, 0, 0);
  CMatrix3 rotation;
  rotation.SetRotationAxisAngle(Vec3(0, 0, 1), std::atan(1.0f) * 2.0f);
  CMatrix4 world;
  world.Compose(rotation, Vec3(10, 0, 0), Vec3(2, 2, 2));
  sim.node->SetWorld(CMatrix3::Diagonal(Vec3(2, 2, 2)), rotation, world);
  sim.Step(7);
  ASSERT_EQ(sim.Live(), 1u);
  ExpectNear(sim.Position(0), Vec3(10, 1, 0));
  ExpectNear(sim.node->GetOrigin(), Vec3(11, 0, 0));

  // The start velocity turns with the node as well.
  Sim moving(1);
  moving.Life(1000.0f);
  moving.Speed({3, 0, 0});
  moving.node->SetWorld(CMatrix3::Diagonal(Vec3(2, 2, 2)), rotation, world);
  moving.Step(7);
  ExpectNear(moving.node->GetBaseVelocity()[0], Vec3(0, 3, 0));
}

TEST_F(ParticleAtomControlTest, GravityFallsByGravityTimesSOnTheFirstStepAndGrowsByS) {
  Sim sim(1);
  sim.Life(1000.0f);
  sim.Speed({0, 0, 0});
  sim.Settings().Gravity = 4.0f;
  sim.Step(7);  // s = 1
  EXPECT_FLOAT_EQ(sim.Position(0).z, -4.0f);
  EXPECT_FLOAT_EQ(sim.node->GetFallSpeed()[0], 5.0f);
  sim.Step(14);
  EXPECT_FLOAT_EQ(sim.Position(0).z, -9.0f);
  EXPECT_FLOAT_EQ(sim.node->GetFallSpeed()[0], 6.0f);
}

TEST_F(ParticleAtomControlTest, WindVelocityAndFallAddUp) {
  Sim sim(1);
  sim.Life(1000.0f);
  sim.Speed({1, 0, 0});
  sim.Settings().Wind = 2.0f;
  sim.Settings().WindDir = Vec3(0, 1, 0);
  sim.Settings().Gravity = 1.0f;
  sim.Step(14);  // s = 2
  ExpectNear(sim.Position(0), Vec3(2, 4, -2));
}

TEST_F(ParticleAtomControlTest, TheSpinTurnsTheAngle) {
  Sim sim(1);
  sim.Life(1000.0f);
  sim.Settings().MinAngle = 0.5f;
  sim.Settings().MaxAngle = 0.5f;
  sim.Settings().StartAngle = 1.0f;
  sim.Step(14);
  EXPECT_FLOAT_EQ(sim.node->GetAngle()[0], 2.0f);
  sim.Step(21);
  EXPECT_FLOAT_EQ(sim.node->GetAngle()[0], 2.5f);
}

TEST_F(ParticleAtomControlTest, TheJitterChangesTheVelocityAtMostOncePer1024Ms) {
  struct Row {
    f32 dirRandomness;
    bool jitters;
  };
  // Below 1 the jitter range would be 0 (a modulo by zero): no jitter.
  for (const Row row : {Row{5.0f, true}, Row{0.0f, false}, Row{0.5f, false}}) {
    SCOPED_TRACE(row.dirRandomness);
    Sim sim(1);
    sim.Life(100000.0f);
    sim.Speed({1, 0, 0});
    sim.Settings().EmitRate = 0.01f;
    sim.Settings().DirRandomness = row.dirRandomness;
    CrtSrand(11);
    sim.Step(100);
    sim.node->SetParticleFlag(false);
    const Vec3 base = sim.node->GetBaseVelocity()[0];
    Vec3 last = sim.node->GetVelocity()[0];
    std::vector<i32> drawTimes{100};
    bool differs = false;
    for (i32 time = 200; time <= 6000; time += 100) {
      const f32 timer = sim.node->GetJitterTimer()[0];
      CrtSrand(static_cast<u32>(time));
      const int next = CrtRand();
      CrtSrand(static_cast<u32>(time));
      sim.Step(time);
      const bool drew = CrtRand() != next;
      const Vec3 v = sim.node->GetVelocity()[0];
      if (drew) drawTimes.push_back(time);
      EXPECT_EQ(drew, row.jitters && timer == 0.0f) << time;
      if (!drew) {
        EXPECT_EQ(v, last) << time;
      }
      for (int axis = 0; axis < 3; ++axis) EXPECT_LE(std::fabs(v[axis] - base[axis]), 4.0f / 1024.0f);
      differs = differs || !(v == base);
      last = v;
    }
    EXPECT_EQ(differs, row.jitters);
    if (row.jitters) {
      // 100 ms steps: drawn at 100, then each time the timer has passed 1024.
      EXPECT_EQ(drawTimes, (std::vector<i32>{100, 1200, 2300, 3400, 4500, 5600}));
    } else {
      EXPECT_EQ(drawTimes, std::vector<i32>{100});
    }
  }
}

TEST_F(ParticleAtomControlTest, SizeAndColourFollowTheKeysAlongTheLife) {
  Sim sim(1);
  sim.Life(100.0f);
  sim.Settings().EmitRate = 0.1f;
  ASSERT_EQ(sim.atom->SetKeys({{1, 1, 1}, {3, 3, 3}}, {{0, 0, 0, 0}, {1, 1, 1, 1}}, {0.0f, 1.0f}), kOk);
  for (i32 time = 10; time <= 50; time += 10) {
    sim.Step(time);
    sim.node->SetParticleFlag(false);
  }
  // Half its life gone.
  EXPECT_EQ(sim.node->GetRemainingLife()[0], 50.0f);
  ExpectNear(sim.node->GetSize()[0], Vec3(2, 2, 2), 1e-6f);
  EXPECT_EQ(sim.node->GetColor()[0], CColor(0.5f, 0.5f, 0.5f, 0.5f));
}

TEST_F(ParticleAtomControlTest, ValueAtAnAgeFraction) {
  struct Row {
    const char* what;
    std::vector<f32> rates;
    f32 age;
    f32 expected;  // every component of the size, the colour's red
  };
  const Row rows[] = {
      {"age 0 takes the first key", {0.2f, 0.8f}, 0.0f, 1.0f},
      {"age 1 takes the last key", {0.2f, 0.8f}, 1.0f, 3.0f},
      {"inside an interval", {0.0f, 1.0f}, 0.25f, 1.5f},
      {"on the upper key of an interval", {0.0f, 0.5f, 1.0f}, 0.5f, 3.0f},
      {"before the first key: the nearest", {0.2f, 0.8f}, 0.1f, 1.0f},
      {"after the last key: the nearest", {0.2f, 0.8f}, 0.9f, 3.0f},
      {"a single key", {0.5f}, 0.7f, 1.0f},
      {"rates out of order: the nearest", {0.9f, 0.1f}, 0.8f, 1.0f},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    CParticleAtomControl atom;
    std::vector<Vec3> sizes;
    std::vector<CColor> colors;
    for (std::size_t k = 0; k < row.rates.size(); ++k) {
      const f32 v = k == 0 ? 1.0f : (k == 1 ? 3.0f : 5.0f);
      sizes.push_back({v, v, v});
      colors.push_back({v, 0, 0, 1});
    }
    ASSERT_EQ(atom.SetKeys(sizes, colors, row.rates), kOk);
    Vec3 size;
    CColor color;
    atom.ValueAt(row.age, size, color);
    EXPECT_FLOAT_EQ(size.x, row.expected);
    EXPECT_FLOAT_EQ(size.z, row.expected);
    EXPECT_FLOAT_EQ(color.r, row.expected);
  }
  CParticleAtomControl empty;
  ASSERT_EQ(empty.SetKeys({}, {}, {}), kOk);
  Vec3 size(9, 9, 9);
  CColor color(9, 9, 9, 9);
  empty.ValueAt(0.5f, size, color);
  EXPECT_EQ(size, Vec3());
  EXPECT_EQ(color, CColor());
  EXPECT_EQ(empty.SetKeys({{1, 1, 1}}, {}, {0.0f}), kErrInvalidArg);
  EXPECT_TRUE(empty.GetSizeKey().empty());
}

TEST_F(ParticleAtomControlTest, WithoutKeysParticlesLiveWithSizeAndColourZero) {
  Sim sim(2);
  sim.Life(100.0f);
  ASSERT_EQ(sim.atom->SetKeys({}, {}, {}), kOk);
  sim.Step(10);
  EXPECT_EQ(sim.Live(), 2u);
  EXPECT_EQ(sim.node->GetSize()[1], Vec3());
  EXPECT_EQ(sim.node->GetColor()[1], CColor());
}

TEST_F(ParticleAtomControlTest, ABackwardTimeClearsEverythingAndEmissionStartsAgain) {
  Sim sim(8);
  sim.Life(1000.0f);
  sim.Settings().EmitRate = 0.2f;
  sim.Settings().Gravity = 1.0f;
  ASSERT_EQ(sim.atom->SetKeys({{1, 1, 1}, {1, 1, 1}}, {{1, 1, 1, 1}, {1, 1, 1, 1}}, {0.0f, 1.0f}), kOk);
  sim.Step(10);
  sim.Step(20);
  ASSERT_EQ(sim.Live(), 4u);
  sim.Step(5);
  EXPECT_EQ(sim.Live(), 0u);
  EXPECT_EQ(sim.atom->GetLastCtrlTime(), 5);
  for (u32 i = 0; i < 8; ++i) ExpectClearedSlot(*sim.node, i);
  sim.Step(15);
  EXPECT_EQ(sim.Live(), 2u);
}

TEST_F(ParticleAtomControlTest, TheStepTimeIsScaledByFrequencyWithoutRepeat) {
  Sim sim(4);
  sim.Life(1000.0f);
  sim.atom->SetFrequency(2.5f);
  sim.atom->SetRepeat(CControl::RT_WRAP);
  sim.Settings().EmitRate = 0.1f;
  sim.Step(11);
  EXPECT_EQ(sim.atom->GetLastCtrlTime(), 27);
  EXPECT_EQ(sim.Live(), 2u);
}

TEST_F(ParticleAtomControlTest, AfterSeedingTheDrawsFollowTheirOrder) {
  Sim sim(1);
  ParticleSettings& s = sim.Settings();
  s.EmitterPos = Vec3(1, 2, 3);
  s.EmitterSize = Vec3(2, 4, 6);
  s.MinLife = 10.0f;
  s.MaxLife = 110.0f;
  s.MinSpeed = Vec3(0, 0, 0);
  s.MaxSpeed = Vec3(2, 4, 6);
  s.MinAngle = 1.0f;
  s.MaxAngle = 3.0f;
  s.StartAngle = 0.25f;

  CrtSrand(1234);
  f32 u[9];
  for (f32& value : u) value = static_cast<f32>(CrtRand() % 100) / 100.0f;
  const Vec3 start(1.0f + 2.0f * (u[0] - 0.5f), 2.0f + 4.0f * (u[1] - 0.5f), 3.0f + 6.0f * (u[2] - 0.5f));
  const f32 life = 10.0f + 100.0f * u[3];
  Vec3 direction(2.0f * u[4], 4.0f * u[5], 6.0f * u[6]);
  direction.Normalize();
  const f32 speed = Vec3(2, 4, 6).Length() * u[7];
  const f32 spin = 1.0f + 2.0f * u[8];

  CrtSrand(1234);
  sim.Step(7);  // s = 1: the new particle moves by its velocity once
  ASSERT_EQ(sim.Live(), 1u);
  EXPECT_FLOAT_EQ(sim.node->GetLife()[0], life);
  EXPECT_FLOAT_EQ(sim.node->GetRemainingLife()[0], life - 7.0f);
  ExpectNear(sim.node->GetBaseVelocity()[0], direction * speed, 1e-5f);
  ExpectNear(sim.Position(0), start + direction * speed, 1e-5f);
  EXPECT_FLOAT_EQ(sim.node->GetSpin()[0], spin);
  EXPECT_FLOAT_EQ(sim.node->GetAngle()[0], 0.25f + spin);
}

TEST_F(ParticleAtomControlTest, EveryConstructorReseedsFromTheClock) {
  auto firstDrawOf = [](std::time_t seconds) {
    CrtSrand(static_cast<u32>(seconds));
    return CrtRand();
  };
  for (int copy = 0; copy < 2; ++copy) {
    SCOPED_TRACE(copy);
    CParticleAtomControl original;
    const std::time_t before = std::time(nullptr);
    CrtSrand(99);
    CPointer<CParticleAtomControl> made(copy == 0 ? new CParticleAtomControl() : new CParticleAtomControl(original));
    const int drawn = CrtRand();
    const std::time_t after = std::time(nullptr);
    EXPECT_TRUE(drawn == firstDrawOf(before) || drawn == firstDrawOf(after));
  }
}

TEST_F(ParticleAtomControlTest, CopiesTakeEveryFieldAndTheStepState) {
  Sim sim(4);
  sim.Settings().Gravity = 3.0f;
  sim.Settings().EmitRate = 0.25f;
  ASSERT_EQ(sim.atom->SetKeys({{1, 2, 3}}, {{1, 0, 0, 1}}, {0.5f}), kOk);
  sim.Step(10);
  CPointer<CBase> made;
  ASSERT_EQ(sim.atom->CreateInstance(made), kOk);
  auto* copy = DynamicCast<CParticleAtomControl>(made.Get());
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(UnboundMembers(copy), UnboundMembers(sim.atom.Get()));
  EXPECT_EQ(copy->GetLastCtrlTime(), 10);
  EXPECT_EQ(copy->GetAccQuantity(), 0.5f);

  CParticleAtomControl target;
  DisplacedList displaced;
  ASSERT_EQ(sim.atom->CopyTo(&target, displaced, 0), kOk);
  EXPECT_EQ(UnboundMembers(&target), UnboundMembers(sim.atom.Get()));
  test::CTestControl other;
  EXPECT_EQ(sim.atom->CopyTo(&other, displaced, 0), kErrNotFound);
  EXPECT_EQ(sim.atom->CopyTo(nullptr, displaced, 0), kErrNotFound);
}

TEST_F(ParticleAtomControlTest, RecordRoundTripSizeAndMembers) {
  Sim sim(4);
  sim.Settings().DirRandomness = 3.0f;
  sim.Settings().EmitterSize = Vec3(1, 2, 3);
  ASSERT_EQ(sim.atom->SetKeys({{1, 1, 1}, {2, 2, 2}, {3, 3, 3}}, {{1, 0, 0, 1}, {0, 1, 0, 1}, {0, 0, 1, 1}},
                              {0.0f, 0.5f, 1.0f}),
            kOk);
  // After the data controller's part: the particle base's pair, then the
  // atom's 116 bytes (its pair and the settings) and the lists.
  EXPECT_EQ(sim.atom->GetSaveSize(),
            sim.atom->CDataControl::GetSaveSize() + 8 + 116 + (4 + 12 * 3) + (4 + 16 * 3) + (4 + 4 * 3));
  test::ExpectSceneRoundTrip(*sim.node);
  const std::string text = test::Members(sim.atom.Get());
  std::size_t at = 0;
  for (const char* name : {"CParticleAtomControl Member", "Gravity", "GravityDir", "Wind", "WindDir", "EmitRate",
                           "EmitterPos", "EmitterSize", "MaxSpeed", "MinSpeed", "DirRandomness", "MaxLife",
                           "MinLife", "MaxAngle", "MinAngle", "StartAngle", "AccQuantity", "LastCtrlTime",
                           "LastIndex", "Keys", "SizeKey", "ColorKey", "PosRateKey", "CControl Member"}) {
    const std::size_t found = text.find(name, at);
    ASSERT_NE(found, std::string::npos) << name;
    at = found + 1;
  }
}

// An atom record: the particle base, then the pair 2.`minor` (or 1.00 with
// its leading word), the settings and the three lists.
ByteWriter AtomRecord(u32 major, u32 minor, u32 sizes, u32 colors, u32 rates) {
  ByteWriter w = test::ParticleControlHead();
  w.Pair(major, minor);
  if (major < 2) w.U32(0xDEADBEEF);
  w.F32(4.0f);                                          // Gravity
  w.F32(0).F32(0).F32(-1);                              // GravityDir
  w.F32(1.5f);                                          // Wind
  w.F32(1).F32(0).F32(0);                               // WindDir
  w.F32(0.5f);                                          // EmitRate
  w.F32(1).F32(2).F32(3);                               // EmitterPos
  w.F32(0).F32(0).F32(0);                               // EmitterSize
  w.F32(1).F32(1).F32(1);                               // MaxSpeed
  w.F32(-1).F32(-1).F32(-1);                            // MinSpeed
  w.F32(200).F32(100).F32(2).F32(1).F32(0.5f).F32(5);   // lives, angles, DirRandomness
  w.U32(sizes);
  for (u32 k = 0; k < sizes; ++k) w.F32(static_cast<f32>(k)).F32(1).F32(1);
  w.U32(colors);
  for (u32 k = 0; k < colors; ++k) w.F32(1).F32(0).F32(0).F32(static_cast<f32>(k));
  w.U32(rates);
  for (u32 k = 0; k < rates; ++k) w.F32(static_cast<f32>(k));
  return w;
}

TEST_F(ParticleAtomControlTest, EveryStoredVersionLoads) {
  for (u32 major : {1u, 2u}) {
    SCOPED_TRACE(major);
    CStream stream;
    CMemoryIo device;
    auto* atom = test::LoadRoot<CParticleAtomControl>("CParticleAtomControl", AtomRecord(major, 0, 2, 2, 2),
                                                       stream, device);
    ASSERT_NE(atom, nullptr);
    const ParticleSettings& s = atom->GetSettings();
    EXPECT_EQ(s.Gravity, 4.0f);
    EXPECT_EQ(s.Wind, 1.5f);
    EXPECT_EQ(s.EmitRate, 0.5f);
    EXPECT_EQ(s.EmitterPos, Vec3(1, 2, 3));
    EXPECT_EQ(s.MinSpeed, Vec3(-1, -1, -1));
    EXPECT_EQ(s.MaxLife, 200.0f);
    EXPECT_EQ(s.MinLife, 100.0f);
    EXPECT_EQ(s.MaxAngle, 2.0f);
    EXPECT_EQ(s.MinAngle, 1.0f);
    EXPECT_EQ(s.StartAngle, 0.5f);
    EXPECT_EQ(s.DirRandomness, 5.0f);
    EXPECT_EQ(atom->GetSizeKey(), (std::vector<Vec3>{{0, 1, 1}, {1, 1, 1}}));
    EXPECT_EQ(atom->GetColorKey(), (std::vector<CColor>{{1, 0, 0, 0}, {1, 0, 0, 1}}));
    EXPECT_EQ(atom->GetPosRateKey(), (std::vector<f32>{0, 1}));
    EXPECT_EQ(atom->GetLastCtrlTime(), 0);
  }
}

TEST_F(ParticleAtomControlTest, BadRecordsAreRefused) {
  struct Row {
    const char* what;
    ByteWriter body;
    Result expected;
  };
  ByteWriter newerBase = test::DataControlHead();
  newerBase.Pair(2, 1);
  const Row rows[] = {
      {"2.01", AtomRecord(2, 1, 2, 2, 2), kErrNewerVersion},
      {"a particle base of 2.01", newerBase, kErrNewerVersion},
      {"fewer colours than sizes", AtomRecord(2, 0, 3, 2, 3), kErrNotFound},
      {"fewer rates than sizes", AtomRecord(2, 0, 2, 2, 1), kErrNotFound},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    CStream stream;
    CMemoryIo device;
    EXPECT_EQ(test::LoadRecord("CParticleAtomControl", row.body, stream, device), row.expected);
  }
}

}  // namespace
}  // namespace KT
