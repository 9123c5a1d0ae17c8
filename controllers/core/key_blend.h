// The eased blend of two keys, shared by every keyed controller.
//
// A keyed controller finds the keys around a time (the earlier key p and the
// later key q, with the linear fraction f of the time between them; see
// key_search.h) and turns f into a blend weight w by one of the rules
// below. Each value field is then blended per component:
//   value = v[p] + (v[q] - v[p]) x w      (single precision, every step)
// for f32 fields and for blocks of f32 (2-, 3- and 4-float vectors,
// colours). Fields that do not blend (integers, enumerations, flags,
// references, strings) are "stepped": they are taken from the earlier key.
// With p = q (on a key, before the first key, after the last) every field
// is key p's, exactly as stored.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <type_traits>

#include "controllers/core/time_key.h"

namespace KT {

// How the fraction between two keys becomes the blend weight.
enum class BlendRule : u32 {
  // EaseTransition with the later key's TransitionType and
  // TransitionStrength: the curve a key's transition describes is the way
  // into that key. The rule of most keyed controllers.
  kLaterKey,
  // The later key's TransitionType at a fixed strength of 50 (the stored
  // strength is ignored).
  kLaterKeyStrength50,
  // The later key's easing, then clamped to [0, 1] (NaN gives 0).
  kLaterKeyClamped,
  // The plain fraction: no easing.
  kLinear,
  // The earlier key's TransitionType decides alone: TT_STEP holds the
  // earlier key's values until the later key's time (w = 0); any other type
  // blends by the plain fraction.
  kStepOnEarlier,
};

// The blend weight for the linear fraction `fraction` between `earlier` and
// `later` under `rule`. Keys without a transition (CTimeKey-based) blend
// linearly under every rule except kStepOnEarlier, which never steps them.
template <typename Key>
f32 BlendWeight(BlendRule rule, f32 fraction, const Key& earlier, const Key& later) {
  if constexpr (std::is_base_of_v<CTransitionKey, Key>) {
    switch (rule) {
      case BlendRule::kLaterKey:
        return EaseTransition(fraction, later.TransitionType, later.TransitionStrength);
      case BlendRule::kLaterKeyStrength50:
        return EaseTransition(fraction, later.TransitionType, kDefaultTransitionStrength);
      case BlendRule::kLaterKeyClamped: {
        const f32 w = EaseTransition(fraction, later.TransitionType, later.TransitionStrength);
        // 0 as max's first operand, so that a NaN weight becomes 0.
        return std::min(std::max(0.0f, w), 1.0f);
      }
      case BlendRule::kStepOnEarlier:
        return earlier.TransitionType == TT_STEP ? 0.0f : fraction;
      case BlendRule::kLinear:
        break;
    }
    return fraction;
  } else {
    (void)rule;
    (void)earlier;
    (void)later;
    return fraction;
  }
}

// a + (b - a) x w for one f32.
inline f32 BlendValue(f32 a, f32 b, f32 w) { return a + (b - a) * w; }

// The same per component for a block of f32 (CVector2, CVector3<float>,
// CColor, four-float arrays and records made only of f32).
template <typename Block>
  requires(!std::is_arithmetic_v<Block>)
Block BlendValue(const Block& a, const Block& b, f32 w) {
  static_assert(std::is_trivially_copyable_v<Block> && sizeof(Block) % sizeof(f32) == 0,
                "a blended block is made of f32 only");
  constexpr std::size_t n = sizeof(Block) / sizeof(f32);
  f32 fa[n];
  f32 fb[n];
  std::memcpy(fa, &a, sizeof(Block));
  std::memcpy(fb, &b, sizeof(Block));
  for (std::size_t i = 0; i < n; ++i) fa[i] = BlendValue(fa[i], fb[i], w);
  Block out;
  std::memcpy(&out, fa, sizeof(Block));
  return out;
}

}  // namespace KT
