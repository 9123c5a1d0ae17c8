#include "treeruntime/tree_random.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <ctime>
#include <stdexcept>

namespace trt {
namespace {

// Schrage's factorisation of the modulus: 2^31 - 1 = 16807 x 127773 + 2836.
constexpr std::int32_t kMultiplier = 16807;
constexpr std::int32_t kQuotient = 127773;
constexpr std::int32_t kRemainder = 2836;
constexpr float kTwoToMinus31 = 1.0f / 2147483648.0f;
// Clock seeding falls back on this fraction when the clock gives none
// strictly inside (0, 1).
constexpr double kFallbackFraction = 0.5;

struct GeneratorState {
  std::int32_t state = 0;  // 0: not initialised
  float table[Random::kTableSize] = {};
  bool seeded = false;  // set by every CTreeRandom seeding
};

GeneratorState g_cGenerator;
Uniform g_cSharedUniform;

void FillTable() {
  for (float& entry : g_cGenerator.table) entry = Random::NextRaw();
}

}  // namespace

float Random::NextRaw() {
  const std::int32_t x = g_cGenerator.state;
  const std::int32_t hi = x / kQuotient;
  // Equal to 16807 x - (2^31 - 1) hi, without leaving the int range.
  std::int32_t next = kMultiplier * (x % kQuotient) - kRemainder * hi;
  if (next <= 0) next += kModulus;
  g_cGenerator.state = next;
  return static_cast<float>(next) * kTwoToMinus31;
}

float Random::Next() {
  if (g_cGenerator.state == 0) throw std::logic_error("Random number generator not initialised");
  const float u = NextRaw();
  // The largest states round to exactly 1.0 in f32, which would index one
  // past the table.
  const int index = std::min(static_cast<int>(static_cast<double>(u) * 128.0), kTableSize - 1);
  const float result = g_cGenerator.table[index];
  g_cGenerator.table[index] = NextRaw();
  return result;
}

float Random::Density(float) const { return 0.0f; }

stExtendedReal Random::Mean() const { return {0.5f, 0}; }

stExtendedReal Random::Variance() const { return {1.0f / 12.0f, 0}; }

void Random::Load() { throw std::logic_error("Random: illegal combination"); }

void Random::SetSeed(double s) {
  if (!(s > 0.0 && s < 1.0)) throw std::logic_error("Random: seed out of range");
  // Fractions within 2^-31 of either end would give the state 0 (the
  // "uninitialised" value) or the modulus (a fixed point of the sequence).
  const double whole = std::trunc(s * 2147483648.0);
  g_cGenerator.state = static_cast<std::int32_t>(std::clamp(whole, 1.0, kModulus - 1.0));
  FillTable();
}

void Random::SetSeedInt(std::int32_t n) {
  if (n >= kModulus) n %= kModulus;
  g_cGenerator.state = std::max(n, 1);
  FillTable();
}

std::int32_t Random::GetState() { return g_cGenerator.state; }

float Random::GetTableEntry(int index) {
  return g_cGenerator.table[std::clamp(index, 0, kTableSize - 1)];
}

void Random::ResetGenerator() { g_cGenerator = GeneratorState{}; }

float Uniform::Next() { return Random::Next(); }

float Uniform::Density(float x) const { return x >= 0.0f && x <= 1.0f ? 1.0f : 0.0f; }

CTreeRandom::CTreeRandom() {
  if (!g_cGenerator.seeded) SeedFromClock();
}

void CTreeRandom::Seed(std::int32_t seed) {
  if (seed == -1) {
    SeedFromClock();
    return;
  }
  Random::SetSeedInt(std::max(seed, 1));
  g_cGenerator.seeded = true;
}

void CTreeRandom::SeedStored(std::uint32_t seed) {
  Random::SetSeedInt(std::max(std::bit_cast<std::int32_t>(seed), 1));
  g_cGenerator.seeded = true;
}

void CTreeRandom::SeedFromClock() {
  const std::time_t now = std::time(nullptr);
  SeedFromClockAt(static_cast<std::int32_t>(static_cast<std::uint32_t>(now)));
}

void CTreeRandom::SeedFromClockAt(std::int32_t now) {
  double a = 12345.0;
  if (g_cGenerator.seeded) a = std::trunc(2147483648.0 * g_cSharedUniform.Next());
  const double t = now;
  double fraction = a <= t ? a / t : t / a;
  if (!(fraction > 0.0 && fraction < 1.0)) fraction = kFallbackFraction;
  Random::SetSeed(fraction);
  g_cGenerator.seeded = true;
}

float CTreeRandom::GetUniform(float low, float high) {
  const double u = g_cSharedUniform.Next();
  return static_cast<float>((static_cast<double>(high) - low) * u + low);
}

bool CTreeRandom::IsSeeded() { return g_cGenerator.seeded; }

}  // namespace trt
