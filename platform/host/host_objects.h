// The stand-in's objects, answered from a node's description: the mesh, the
// bone, the helper, the light, the camera, and the derived object that
// carries a node's modifier stack. Modifiers deform nothing: a node's world
// state is its base object.
#pragma once

#include <memory>
#include <vector>

#include "platform/host/gen_camera.h"
#include "platform/host/gen_light.h"
#include "platform/host/modifier.h"
#include "platform/host/object.h"
#include "platform/host/scene_description.h"

namespace KT::Host {

// Class ids the stand-in gives its own object classes.
inline constexpr Class_ID kMeshObjectClassID(0x7E5D0010, 0);
inline constexpr Class_ID kHelperObjectClassID(0x7E5D0011, 0);
inline constexpr Class_ID kLightObjectClassID(0x7E5D0012, 0);
inline constexpr Class_ID kCameraObjectClassID(0x7E5D0013, 0);
inline constexpr Class_ID kDerivedObjectClassID(0x7E5D0014, 0);

// The mesh of a description at t (animated map coordinates evaluated).
Mesh MeshAt(const MeshDesc& desc, TimeValue t);

class HostMeshObject : public Object {
 public:
  explicit HostMeshObject(const MeshDesc& mesh) : mesh_(mesh) {}
  Class_ID ClassID() override { return kMeshObjectClassID; }
  SClass_ID SuperClassID() override { return SUPER_GEOMETRIC_OBJECT; }
  int CanConvertToType(Class_ID type) override;
  // A new TriObject with the mesh at t, for the caller to delete.
  Object* ConvertToType(TimeValue t, Class_ID type) override;
  BOOL HasUVW() override;
  int NumMaps() override;

 private:
  const MeshDesc& mesh_;
};

// A bone: geometry that converts to an empty triangle object.
class HostBoneObject : public Object {
 public:
  Class_ID ClassID() override { return BONE_OBJECT_CLASS_ID; }
  SClass_ID SuperClassID() override { return SUPER_GEOMETRIC_OBJECT; }
  int CanConvertToType(Class_ID type) override;
  Object* ConvertToType(TimeValue t, Class_ID type) override;
};

class HostHelperObject : public Object {
 public:
  Class_ID ClassID() override { return kHelperObjectClassID; }
  SClass_ID SuperClassID() override { return SUPER_HELPER; }
};

class HostLight : public GenLight {
 public:
  explicit HostLight(const LightDesc& light) : light_(light) {}
  Class_ID ClassID() override { return kLightObjectClassID; }
  int Type() override { return light_.type; }
  Point3 GetRGBColor(TimeValue t, Interval& valid) override;
  // Index 3 answers the far attenuation end; the other distances are 0.
  float GetAtten(TimeValue t, int which, Interval& valid) override;
  float GetHotspot(TimeValue t, Interval& valid) override;
  float GetFallsize(TimeValue t, Interval& valid) override;

 private:
  const LightDesc& light_;
};

class HostCamera : public GenCamera {
 public:
  explicit HostCamera(const CameraDesc& camera) : camera_(camera) {}
  Class_ID ClassID() override { return kCameraObjectClassID; }
  int EvalCameraState(TimeValue t, Interval& valid, CameraState* cs) override;

 private:
  const CameraDesc& camera_;
};

class HostDerivedObject : public IDerivedObject {
 public:
  // `modifiers` top of the stack first; the contexts parallel them.
  HostDerivedObject(Object* base, std::vector<Modifier*> modifiers, std::vector<ModContext*> contexts)
      : base_(base), modifiers_(std::move(modifiers)), contexts_(std::move(contexts)) {}
  Class_ID ClassID() override { return kDerivedObjectClassID; }
  int NumModifiers() override { return static_cast<int>(modifiers_.size()); }
  Modifier* GetModifier(int index) override;
  ModContext* GetModContext(int index) override;
  Object* GetObjRef() override { return base_; }
  int CanConvertToType(Class_ID type) override { return base_->CanConvertToType(type); }
  Object* ConvertToType(TimeValue t, Class_ID type) override { return base_->ConvertToType(t, type); }
  BOOL HasUVW() override { return base_->HasUVW(); }
  int NumMaps() override { return base_->NumMaps(); }

 private:
  Object* base_;
  std::vector<Modifier*> modifiers_;
  std::vector<ModContext*> contexts_;
};

}  // namespace KT::Host
