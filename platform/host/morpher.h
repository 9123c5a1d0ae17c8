// The Morpher modifier (MORPHER_CLASS_ID) as the exporter reads it: its
// channels in order, each with a name and a list of per-vertex deltas.
// Empty channels are listed too. A modifier with the Morpher's class id is a
// MorpherModifier.
#pragma once

#include "platform/host/modifier.h"
#include "platform/host/point3.h"

class MorpherModifier : public Modifier {
 public:
  Class_ID ClassID() override { return MORPHER_CLASS_ID; }
  virtual int NumChannels() = 0;
  virtual const TCHAR* GetChannelName(int channel) = 0;
  virtual int NumChannelDeltas(int channel) = 0;
  virtual Point3 GetChannelDelta(int channel, int vertex) = 0;
};
