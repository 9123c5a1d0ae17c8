// GenLight: a host light as the exporter reads it (super class SUPER_LIGHT).
#pragma once

#include "platform/host/interval.h"
#include "platform/host/object.h"
#include "platform/host/point3.h"

class GenLight : public Object {
 public:
  SClass_ID SuperClassID() override { return SUPER_LIGHT; }
  // 0 omni, 1 target spot, 2 directional, 3 free spot, 4 target directional.
  virtual int Type() = 0;
  virtual Point3 GetRGBColor(TimeValue t, Interval& valid) = 0;
  // Attenuation distances; index 3 is the far attenuation end.
  virtual float GetAtten(TimeValue t, int which, Interval& valid) = 0;
  // Full cone angles in degrees.
  virtual float GetHotspot(TimeValue t, Interval& valid) = 0;
  virtual float GetFallsize(TimeValue t, Interval& valid) = 0;
};
