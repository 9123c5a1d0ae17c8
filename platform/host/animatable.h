// The roots of the host's class tree as the exporter meets them: every host
// object tells its class and super-class id and answers interface queries by
// number or by two-word id.
#pragma once

#include "platform/host/class_id.h"
#include "platform/host/max_types.h"

// Base of the interfaces answered by two-word id.
class BaseInterface {
 public:
  virtual ~BaseInterface() = default;
};

class Animatable {
 public:
  virtual ~Animatable() = default;
  virtual Class_ID ClassID() { return Class_ID(); }
  virtual SClass_ID SuperClassID() { return 0; }
  // The interface with the numeric id, or null.
  virtual void* GetInterface(ULONG id);
  // The interface with the two-word id, or null.
  virtual BaseInterface* GetInterface(Interface_ID id);
  // Gives back an interface taken with GetInterface(id).
  virtual void ReleaseInterface(ULONG id, void* i);
};

class ReferenceMaker : public Animatable {
 public:
  // Deletes an object that the caller owns (such as the triangle object a
  // conversion answered). Objects of the scene ignore it: the scene owns them.
  virtual void DeleteMe() {}
};

class ReferenceTarget : public ReferenceMaker {};
