// The mesh selection modifier's local data (I_MESH_SELECT_DATA) and its
// named vertex selection sets.
#pragma once

#include "platform/host/bit_array.h"
#include "platform/host/max_types.h"

class GenericNamedSelSetList {
 public:
  virtual ~GenericNamedSelSetList() = default;
  virtual int Count() = 0;
  // Set i, or null outside the list.
  virtual BitArray* GetSetByIndex(int i) = 0;
  // The name of set i, or null outside the list.
  virtual const TCHAR* GetName(int i) = 0;
};

class IMeshSelectData {
 public:
  virtual ~IMeshSelectData() = default;
  virtual GenericNamedSelSetList& GetNamedVertSelList() = 0;
};
