// GenCamera and CameraState: a host camera as the exporter reads it (super
// class SUPER_CAMERA).
#pragma once

#include "platform/host/interval.h"
#include "platform/host/object.h"

class CameraState {
 public:
  DWORD size = sizeof(CameraState);  // the caller sets it to 40
  BOOL isOrtho = FALSE;
  float fov = 0.0f;  // radians (the view width for orthographic cameras)
  float tdist = 0.0f;
  int horzLine = 0;
  int manualClip = 0;
  float hither = 0.0f;
  float yon = 0.0f;
  float nearRange = 0.0f;
  float farRange = 0.0f;
};

static_assert(sizeof(CameraState) == 40, "CameraState is ten 32-bit fields");

class GenCamera : public Object {
 public:
  SClass_ID SuperClassID() override { return SUPER_CAMERA; }
  // Fills *cs with the state at t. Answers 0, or -1 (leaving *cs alone) when
  // cs is null or its size field is not 40.
  virtual int EvalCameraState(TimeValue t, Interval& valid, CameraState* cs) = 0;
};
