// The host's objects as the exporter reads them: the evaluated state of a
// node, conversion to a triangle object, the UVW queries, and the derived
// object that carries a modifier stack.
#pragma once

#include "platform/host/animatable.h"
#include "platform/host/mesh.h"

class Object;
class Modifier;
class ModContext;

// The result of INode::EvalWorldState.
class ObjectState {
 public:
  ObjectState() = default;
  explicit ObjectState(Object* o) : obj(o) {}
  Object* obj = nullptr;
};

class Object : public ReferenceTarget {
 public:
  // True when the object converts to an object of class `type` (the
  // triangle object class TRIOBJ_CLASS_ID, or its own class).
  virtual int CanConvertToType(Class_ID type) { return type == ClassID() ? 1 : 0; }
  // The object converted at t, or null. Unless it is this object, the caller
  // owns the result and deletes it with DeleteMe.
  virtual Object* ConvertToType(TimeValue t, Class_ID type);
  // True when the object carries texture coordinates.
  virtual BOOL HasUVW() { return FALSE; }
  // The number of map channels of the object's mesh (channel 0 included).
  virtual int NumMaps() { return 0; }
};

// A triangle object: a mesh.
class TriObject : public Object {
 public:
  Mesh mesh;

  Mesh& GetMesh() { return mesh; }
  Class_ID ClassID() override { return TRIOBJ_CLASS_ID; }
  SClass_ID SuperClassID() override { return SUPER_GEOMETRIC_OBJECT; }
  BOOL HasUVW() override;
  int NumMaps() override { return mesh.getNumMaps(); }
  void DeleteMe() override { delete this; }
};

// An object with a modifier stack: modifier 0 is the top of the stack,
// the last one sits directly on the object reference.
class IDerivedObject : public Object {
 public:
  SClass_ID SuperClassID() override { return SUPER_DERIVED_OBJECT; }
  virtual int NumModifiers() = 0;
  virtual Modifier* GetModifier(int index) = 0;
  virtual ModContext* GetModContext(int index) = 0;
  // The object beneath the stack.
  virtual Object* GetObjRef() = 0;
};
