// Control: a host controller as the exporter reads it: the transform
// controller of a node with its position, rotation and scale
// sub-controllers, their values at a tick, the inheritance flags, and the
// biped export interface of the biped's controllers.
#pragma once

#include "platform/host/animatable.h"
#include "platform/host/interval.h"

class Control : public ReferenceTarget {
 public:
  // Sub-controllers of a transform controller; null when absent.
  virtual Control* GetPositionController() { return nullptr; }
  virtual Control* GetRotationController() { return nullptr; }
  virtual Control* GetScaleController() { return nullptr; }
  // Bits 0-2 position, 3-5 rotation, 6-8 scale.
  virtual DWORD GetInheritanceFlags() { return 0; }
  // Writes the value at t into *val: a Point3 for a position controller, a
  // Quat for a rotation controller, a ScaleValue for a scale controller, a
  // Matrix3 (the local transform) for a transform controller. `valid` is
  // narrowed to the ticks over which the value holds.
  virtual void GetValue(TimeValue t, void* val, Interval& valid, GetSetMethod method = CTRL_ABSOLUTE) = 0;
};

// The export interface (id 0x100101) of the biped's transform controllers.
class IBipedExport {
 public:
  virtual ~IBipedExport() = default;
  // The interface's version.
  virtual int Version() = 0;
  // The operation of the third virtual slot; the exporter passes 1. Which
  // biped setting it changes is the host's business; the stand-in records
  // the argument.
  virtual void SetExportOption(int value) = 0;
};
