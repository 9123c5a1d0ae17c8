// INode: a node of the host scene as the exporter reads it.
#pragma once

#include "platform/host/animatable.h"
#include "platform/host/interval.h"
#include "platform/host/matrix3.h"
#include "platform/host/object.h"

class Control;
class Mtl;

class INode : public ReferenceTarget {
 public:
  virtual const TCHAR* GetName() = 0;
  // The parent, or null for the root.
  virtual INode* GetParentNode() = 0;
  virtual int IsRootNode() = 0;
  virtual int Selected() = 0;
  virtual int RcvShadows() = 0;
  virtual int CastShadows() = 0;
  virtual int IsHidden(DWORD hflags = 0, BOOL forRenderer = FALSE) = 0;
  // The transform controller, or null.
  virtual Control* GetTMController() = 0;
  // World transform at t: local x parent's world transform.
  virtual Matrix3 GetNodeTM(TimeValue t, Interval* valid = nullptr) = 0;
  virtual Matrix3 GetParentTM(TimeValue t) = 0;
  // The object's offset x GetNodeTM.
  virtual Matrix3 GetObjectTM(TimeValue t, Interval* valid = nullptr) = 0;
  // The object at the top of the node's pipeline at t (none for a hidden
  // node unless evalHidden).
  virtual ObjectState EvalWorldState(TimeValue t, BOOL evalHidden = TRUE) = 0;
  // The node's object reference (a derived object when it has modifiers).
  virtual Object* GetObjectRef() = 0;
  virtual Mtl* GetMtl() = 0;
  virtual DWORD GetWireColor() = 0;
};
