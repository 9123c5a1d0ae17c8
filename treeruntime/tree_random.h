// Random numbers of the tree runtime.
//
// Every random choice of the runtime draws from one process-wide generator:
// the minimal-standard multiplicative congruential generator (multiplier
// 16807, modulus 2^31 - 1, Schrage's factorisation 127773 / 2836) whose raw
// values pass through a 128-entry shuffle table. The sequence is part of the
// shape of every generated tree, so it is reproduced bit for bit.
//
// Random and Uniform are the distribution classes over it; CTreeRandom is
// the seeding object each engine and leaf-table builder holds. Because the
// state is shared, two computations with the same seed agree only when
// nothing else draws in between. The state is unguarded: one thread at a
// time.
//
// Failures are std::logic_error with the texts "Random number generator not
// initialised" (a draw before any seeding), "Random: seed out of range"
// (fraction seeding outside (0, 1)) and "Random: illegal combination"
// (Random::Load).
#pragma once

#include <cstdint>

namespace trt {

// An extended real: a value and a code, 0 meaning finite.
struct stExtendedReal {
  float m_fValue = 0.0f;
  int m_nCode = 0;
};

class Random {
 public:
  static constexpr int kTableSize = 128;
  static constexpr std::int32_t kModulus = 2147483647;  // 2^31 - 1

  Random() = default;
  virtual ~Random() = default;

  // The next value in (0, 1): a raw draw picks a table slot (raw value x 128,
  // truncated, kept within 0..127); the slot's value is returned and
  // replaced by a fresh raw draw. Throws "Random number generator not
  // initialised" before any seeding.
  virtual float Next();
  virtual const char* Name() const { return "Random"; }
  virtual float Density(float x) const;
  // 0.5, finite.
  virtual stExtendedReal Mean() const;
  // 1/12, finite.
  virtual stExtendedReal Variance() const;
  virtual int ElementCount() const { return 1; }
  virtual void Release() {}
  // Always throws "Random: illegal combination".
  virtual void Load();

  // Seeding by fraction: s must lie in (0, 1), else "Random: seed out of
  // range" and nothing changes. The state becomes s x 2^31 truncated (kept
  // within 1 .. 2^31 - 2), then the table is filled with 128 raw draws.
  static void SetSeed(double s);
  // Seeding by whole number: the state becomes n (values below 1 give 1;
  // values at or above the modulus are reduced by it, so the generator
  // never sits on its fixed point), then the table is filled with 128 raw
  // draws in order.
  static void SetSeedInt(std::int32_t n);

  // One step of the raw sequence: the state advances and its value times
  // 2^-31 (rounded to f32) is returned. Used by seeding and by Next; public
  // for tests of the sequence.
  static float NextRaw();
  // The current raw state (0 before any seeding).
  static std::int32_t GetState();
  // Entry `index` (0..127) of the shuffle table.
  static float GetTableEntry(int index);

  // Test seam: back to the start-up state (unseeded, table zeroed, the
  // seeded flag of CTreeRandom cleared).
  static void ResetGenerator();
};

// The uniform distribution on (0, 1).
class Uniform : public Random {
 public:
  float Next() override;
  const char* Name() const override { return "Uniform"; }
  // 1.0 for 0.0 <= x <= 1.0, else 0.0.
  float Density(float x) const override;
};

// The runtime's seeding object. It has no data: its constructor seeds the
// shared generator from the clock unless some seeding already happened.
class CTreeRandom {
 public:
  CTreeRandom();

  // -1 seeds from the clock; any other value seeds by whole number with
  // max(seed, 1). Sets the seeded flag.
  static void Seed(std::int32_t seed);
  // Seeding with a seed that comes from data or from seed arithmetic: the
  // 32-bit pattern is taken as a signed value and seeds by whole number with
  // max(value, 1); it never means the clock, so 0xFFFFFFFF seeds with 1.
  static void SeedStored(std::uint32_t seed);
  // Clock seeding: a = 12345, or 2^31 x one draw when already seeded; t = the
  // calendar time in seconds (low 32 bits, signed); seeds by the fraction
  // min(a, t) / max(a, t). When that fraction is not strictly inside (0, 1)
  // (a equal to t, t not positive) a fixed fraction is used instead, so
  // clock seeding never throws.
  static void SeedFromClock();
  // (high - low) x u + low for one uniform draw u, in double and rounded once
  // to f32.
  static float GetUniform(float low, float high);
  // Whether any seeding through this class happened.
  static bool IsSeeded();

  // SeedFromClock with `now` as the calendar time (the seam for tests).
  static void SeedFromClockAt(std::int32_t now);
};

}  // namespace trt
