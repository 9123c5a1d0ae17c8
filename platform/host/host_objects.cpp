#include "platform/host/host_objects.h"

#include <algorithm>

namespace KT::Host {

Mesh MeshAt(const MeshDesc& desc, TimeValue t) {
  Mesh mesh;
  mesh.verts = desc.verts;
  mesh.faces.reserve(desc.faces.size());
  for (const FaceDesc& f : desc.faces) {
    Face face;
    for (int k = 0; k < 3; ++k) face.v[k] = f.v[static_cast<std::size_t>(k)];
    face.smGroup = f.smooth;
    face.mtlIndex = static_cast<WORD>(f.mtl);
    mesh.faces.push_back(face);
  }
  mesh.vertCol = desc.colors;
  mesh.vcFace.reserve(desc.colorFaces.size());
  for (const auto& cf : desc.colorFaces) mesh.vcFace.push_back(TVFace{{cf[0], cf[1], cf[2]}});
  int mapCount = 0;
  for (const MapChannelDesc& map : desc.maps) mapCount = std::max(mapCount, map.channel + 1);
  mesh.maps.resize(static_cast<std::size_t>(mapCount));
  for (const MapChannelDesc& map : desc.maps) {
    MeshMap& out = mesh.maps[static_cast<std::size_t>(map.channel)];
    out.tv = EvalKeys(map.keys, t, map.verts);
    out.tf.reserve(map.faces.size());
    for (const auto& f : map.faces) out.tf.push_back(TVFace{{f[0], f[1], f[2]}});
  }
  mesh.specifiedNormals.normals = desc.normals;
  mesh.specifiedNormals.faces.reserve(desc.normalFaces.size());
  for (const auto& f : desc.normalFaces) mesh.specifiedNormals.faces.push_back(MeshNormalFace{{f[0], f[1], f[2]}});
  return mesh;
}

int HostMeshObject::CanConvertToType(Class_ID type) { return (type == TRIOBJ_CLASS_ID || type == ClassID()) ? 1 : 0; }

Object* HostMeshObject::ConvertToType(TimeValue t, Class_ID type) {
  if (type == ClassID()) return this;
  if (type != TRIOBJ_CLASS_ID) return nullptr;
  auto* tri = new TriObject;
  tri->mesh = MeshAt(mesh_, t);
  return tri;
}

BOOL HostMeshObject::HasUVW() {
  for (const MapChannelDesc& map : mesh_.maps)
    if (map.channel >= 1 && !map.verts.empty()) return TRUE;
  return FALSE;
}

int HostMeshObject::NumMaps() {
  int count = 0;
  for (const MapChannelDesc& map : mesh_.maps) count = std::max(count, map.channel + 1);
  return count;
}

int HostBoneObject::CanConvertToType(Class_ID type) { return (type == TRIOBJ_CLASS_ID || type == ClassID()) ? 1 : 0; }

Object* HostBoneObject::ConvertToType(TimeValue, Class_ID type) {
  if (type == ClassID()) return this;
  return type == TRIOBJ_CLASS_ID ? new TriObject : nullptr;
}

namespace {

// A keyed parameter holds only at its own tick.
void Narrow(const ParamSet& params, const char* name, TimeValue t, Interval& valid) {
  const auto track = params.tracks.find(name);
  if (track != params.tracks.end() && track->second.size() > 1) valid &= Interval(t, t);
}

}  // namespace

Point3 HostLight::GetRGBColor(TimeValue t, Interval& valid) {
  Narrow(light_.params, "color", t, valid);
  const std::vector<float> c = light_.params.Eval("color", t, {1.0f, 1.0f, 1.0f});
  return c.size() >= 3 ? Point3(c[0], c[1], c[2]) : Point3(1.0f, 1.0f, 1.0f);
}

float HostLight::GetAtten(TimeValue t, int which, Interval& valid) {
  if (which != 3) return 0.0f;
  Narrow(light_.params, "attenEnd", t, valid);
  return light_.params.EvalFloat("attenEnd", t, 0.0f);
}

float HostLight::GetHotspot(TimeValue t, Interval& valid) {
  Narrow(light_.params, "hotspot", t, valid);
  return light_.params.EvalFloat("hotspot", t, 0.0f);
}

float HostLight::GetFallsize(TimeValue t, Interval& valid) {
  Narrow(light_.params, "falloff", t, valid);
  return light_.params.EvalFloat("falloff", t, 0.0f);
}

int HostCamera::EvalCameraState(TimeValue t, Interval& valid, CameraState* cs) {
  if (cs == nullptr || cs->size != sizeof(CameraState)) return -1;
  static const char* const kKeyable[] = {"fov", "tdist", "hither", "yon", "nearRange", "farRange"};
  for (const char* name : kKeyable) Narrow(camera_.params, name, t, valid);
  cs->isOrtho = camera_.ortho ? TRUE : FALSE;
  cs->fov = camera_.params.EvalFloat("fov", t, 0.0f);
  cs->tdist = camera_.params.EvalFloat("tdist", t, 0.0f);
  cs->horzLine = camera_.horzLine;
  cs->manualClip = camera_.manualClip;
  cs->hither = camera_.params.EvalFloat("hither", t, 0.0f);
  cs->yon = camera_.params.EvalFloat("yon", t, 0.0f);
  cs->nearRange = camera_.params.EvalFloat("nearRange", t, 0.0f);
  cs->farRange = camera_.params.EvalFloat("farRange", t, 0.0f);
  return 0;
}

Modifier* HostDerivedObject::GetModifier(int index) {
  return (index >= 0 && index < NumModifiers()) ? modifiers_[static_cast<std::size_t>(index)] : nullptr;
}

ModContext* HostDerivedObject::GetModContext(int index) {
  return (index >= 0 && index < NumModifiers()) ? contexts_[static_cast<std::size_t>(index)] : nullptr;
}

}  // namespace KT::Host
