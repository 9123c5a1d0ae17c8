#include "controllers/core/time_key.h"

#include <cmath>

namespace KT {

const char16_t* const kTransitionTypeNames[kTransitionTypeCount] = {
    u"TT_LINEAR", u"TT_STEP", u"TT_EASE_OUT", u"TT_EASE_IN", u"TT_EASE_OUT_IN", u"TT_EASE_IN_OUT",
};

f32 TransitionExponent(f32 strength) {
  // Single precision throughout: stored animations were authored against
  // these exact curves.
  const f32 exponent = strength <= 50.0f ? 1.0f + (strength - 1.0f) * 0.020408163f
                                         : 2.0f + (strength - 50.0f) * 0.16f;
  // An exponent at or below 0 (or NaN) would send t = 0 to infinity; such a
  // strength can only come from a file, and the linear curve is the
  // harmless reading of it.
  if (!(exponent > 0.0f)) return 1.0f;
  return exponent;
}

f32 EaseIn(f32 t, f32 strength) {
  return static_cast<f32>(std::pow(static_cast<f64>(t), static_cast<f64>(TransitionExponent(strength))));
}

f32 EaseOut(f32 t, f32 strength) {
  const f32 mirrored = 1.0f - t;
  return 1.0f - EaseIn(mirrored, strength);
}

f32 EaseTransition(f32 t, u32 type, f32 strength) {
  switch (type) {
    case TT_STEP:
      return t == 1.0f ? 1.0f : 0.0f;
    case TT_EASE_OUT:
      return EaseOut(t, strength);
    case TT_EASE_IN:
      return EaseIn(t, strength);
    case TT_EASE_OUT_IN:
      if (t < 0.5f) return 0.5f * EaseOut(2.0f * t, strength);
      return 0.5f + 0.5f * EaseIn(2.0f * (t - 0.5f), strength);
    case TT_EASE_IN_OUT:
      if (t < 0.5f) return 0.5f * EaseIn(2.0f * t, strength);
      return 0.5f + 0.5f * EaseOut(2.0f * (t - 0.5f), strength);
    case TT_LINEAR:
    default:
      return t;
  }
}

f32 EaseTransitionKey(f32 t, const CTransitionKey& key) {
  return EaseTransition(t, key.TransitionType, key.TransitionStrength);
}

Result ReadKeyVersion(CStream& stream, const ClassRecord& record, u32& version) {
  u32 pair[2] = {0, 0};
  const Result r = stream.Read(pair, sizeof(pair), sizeof(pair));
  if (Failed(r)) return r;
  // In 64 bits, so that no stored pair can wrap into an acceptable version.
  const u64 stored = static_cast<u64>(pair[0]) * 100 + pair[1];
  if (stored > record.Version()) return kErrNewerVersion;
  version = static_cast<u32>(stored);
  stream.SetStoredVersion(record, static_cast<i32>(version));
  return kOk;
}

void DescribeKeyBlock(CMemberVisitor& visitor, const char16_t* name, const CVector3<float>& value) {
  visitor.Vector3(name, &value);
}

void DescribeKeyBlock(CMemberVisitor& visitor, const char16_t* name, const CColor& value) {
  visitor.Color(name, &value);
}

void DescribeKeyBlock(CMemberVisitor& visitor, const char16_t* name, const CRtsTransform& value) {
  visitor.Rts(name, &value);
}

void DescribeKeyBlock(CMemberVisitor& visitor, const char16_t* name, const std::array<f32, 4>& value) {
  visitor.FloatArray(name, value.data(), 4);
}

}  // namespace KT
