// The Unwrap UVW modifier's interface (UNWRAP_CHANNEL_INTERFACE): the map
// channel it works on, as the modifier numbers it (0 stands for channel 1,
// 1 for the vertex colour channel).
#pragma once

#include "platform/host/animatable.h"

class IUnwrapChannel : public BaseInterface {
 public:
  virtual int GetMapChannel() = 0;
};
