// Small pieces the tests of the control-data passes share: the modifiers of
// a host node's stack, a hand-built mesh to hang the passes' output on, and
// the controllers in an object's chain.
#pragma once

#include <memory>
#include <vector>

#include "objectmodel/dorun.h"
#include "objectmodel/pointer.h"
#include "platform/host/host_scene.h"
#include "platform/host/object.h"
#include "platform/host/scene_builder.h"
#include "scene/node.h"
#include "scene/tri_mesh.h"
#include "scene/tri_mesh_data.h"
#include "scene/uvw_map.h"

namespace fixtures {

// Modifier `index` (stack order, top first) of node `node`, or null.
inline Modifier* ModifierOf(KT::Host::HostScene& scene, int node, int index) {
  auto* derived = dynamic_cast<IDerivedObject*>(scene.NodeAt(node)->GetObjectRef());
  return derived != nullptr ? derived->GetModifier(index) : nullptr;
}

inline ModContext* ContextOf(KT::Host::HostScene& scene, int node, int index) {
  auto* derived = dynamic_cast<IDerivedObject*>(scene.NodeAt(node)->GetObjectRef());
  return derived != nullptr ? derived->GetModContext(index) : nullptr;
}

// A host scene of one triangle mesh node named `name` carrying `mod`.
inline std::unique_ptr<KT::Host::HostScene> OneMeshScene(const char* name, const KT::Host::ModifierDesc& mod) {
  KT::Host::SceneBuilder b;
  KT::Host::MeshDesc mesh;
  mesh.verts = {Point3(0, 0, 0), Point3(1, 0, 0), Point3(0, 1, 0)};
  mesh.faces = {KT::Host::FaceDesc{{0, 1, 2}, 1, 0}};
  b.AddNode(name).Mesh(mesh).Modifier(mod);
  return b.Make();
}

// A mesh of `vertices` positions with one level of detail, one UV channel
// of `uvCounts[i]` coordinates for each entry, under `parent` when given.
inline KT::CPointer<KT::CTriMesh> MakeMesh(KT::CNode* parent, const char16_t* name, KT::u32 vertices,
                                           const std::vector<KT::u32>& uvCounts = {}) {
  KT::CPointer<KT::CTriMesh> mesh;
  KT::CPointer<KT::CTriMeshData> data;
  KT::CTriMesh::Create(mesh);
  KT::CTriMeshData::Create(data);
  mesh->SetName(name);
  data->AllocateXYZ(vertices);
  for (KT::u32 i = 0; i < vertices; ++i) data->GetXYZ().GetData()[i] = {static_cast<float>(i), 0.0f, 0.0f};
  data->SetTriangleQuantity(1);
  for (const KT::u32 count : uvCounts) {
    KT::CPointer<KT::CUvwMap> map;
    KT::CPointer<KT::CUvwMapData> indices;
    KT::CUvwMap::Create(map);
    KT::CUvwMapData::Create(indices);
    map->AllocateUvw(count);
    indices->AllocateUvwTriIndex(1);
    map->SetUvwMapData(indices.Get());
    data->AddUvwMap(map.Get());
  }
  mesh->SetSingleLod(data.Get());
  if (parent != nullptr) parent->AddChild(mesh.Get());
  return mesh;
}

// The controllers of the object's chain that are of class T, in order.
template <typename T>
std::vector<T*> ControlsOf(const KT::CDorun& object) {
  std::vector<T*> out;
  for (KT::CDorun* c = object.GetFirstControl(); c != nullptr; c = c->GetChainNext())
    if (auto* t = KT::DynamicCast<T>(c)) out.push_back(t);
  return out;
}

inline KT::CNode* Converted(KT::CNode* root, const char16_t* name) {
  return static_cast<KT::CNode*>(root->Find(name, &KT::CNode::StaticClassRecord(), false, false));
}

}  // namespace fixtures
