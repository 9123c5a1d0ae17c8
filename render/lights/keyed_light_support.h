// What the keyed light and camera controllers share beyond the keyed-track
// core: the whole-key member description, the key time of their setters,
// and the check of the bound object.
#pragma once

#include "controllers/core/control.h"
#include "controllers/core/time_key.h"
#include "objectmodel/time_helpers.h"

namespace KT {

// Describes a transition key whole, in the order these controllers list
// keys: "Time", the key's own fields, then "TransitionType" and
// "TransitionStrength".
template <typename Key>
void DescribeTransitionKey(CMemberVisitor& visitor, const Key& key) {
  DescribeKeyLevel<CTimeKey>(visitor, key);
  DescribeKeyLevel<Key>(visitor, key);
  DescribeKeyLevel<CTransitionKey>(visitor, key);
}

// The time a setter stores for `time`: trunc(time x Frequency), then
// snapped to the nearest whole frame at `fps`.
inline i32 ScaledFrameTime(const CControl& control, i32 time, f32 fps) {
  return SnapTimeToFrame(control.ScaleTime(time), fps);
}

// The object `control` is bound to as a T: kErrInvalidArg (0x80000003)
// when unbound, kErrNotFound (0x80000005) when it is of another class;
// `out` is null then.
template <typename T>
Result BoundObjectOf(const CControl& control, T*& out) {
  out = DynamicCast<T>(control.GetObject());
  if (out != nullptr) return kOk;
  return control.GetObject() == nullptr ? kErrInvalidArg : kErrNotFound;
}

}  // namespace KT
