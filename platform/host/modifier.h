// Modifier, ModContext and LocalModData: a modifier on a derived object's
// stack, its per-object context and the context's local data.
#pragma once

#include "platform/host/animatable.h"
#include "platform/host/interval.h"

// Data a modifier keeps per object it modifies; asked for interfaces by
// number (the mesh selection data answers I_MESH_SELECT_DATA).
class LocalModData : public Animatable {};

class ModContext {
 public:
  LocalModData* localData = nullptr;
};

class Modifier : public ReferenceTarget {
 public:
  // The integer parameter `id` at t (the UVW Map modifier's map channel is
  // parameter 13); `valid` is narrowed to the ticks over which it holds.
  // False when the modifier has no such parameter.
  virtual BOOL GetParamValue(int id, TimeValue t, int& value, Interval& valid);
};

inline constexpr int UVW_MAP_PARAM_CHANNEL = 13;
