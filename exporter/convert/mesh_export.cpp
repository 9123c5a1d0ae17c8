#include "exporter/convert/mesh_export.h"

#include <algorithm>
#include <cstdio>
#include <new>
#include <vector>

#include "exporter/convert/node_conversion.h"
#include "exporter/convert/v_normal.h"
#include "exporter/plugin/max_drn.h"
#include "exporter/plugin/plugin_paths.h"
#include "platform/host/control.h"
#include "platform/host/inode.h"
#include "platform/host/modifier.h"
#include "platform/host/mtl.h"
#include "render/materials/compound_materials.h"
#include "render/materials/standard_material.h"
#include "scene/tri_mesh.h"
#include "scene/tri_mesh_data.h"
#include "scene/uvw_map.h"

namespace {

using Vec3 = KT::CGeometryData::Vec3;

// Objects that report this class or super class are bone-like (helpers).
constexpr Class_ID kHelperClassID(0x50, 0);
constexpr std::size_t kMessageSize = 260;
const char16_t* const kDefaultMaterialName = u"Default Material";
// Material ids below this are ranked through a table, larger ones by sorting.
constexpr KT::u32 kRankTableLimit = 1u << 20;
constexpr KT::u32 kUnused = 0xFFFFFFFFu;

// Formats a step message with the node's name and shows it.
void StepMessage(CMaxDrn& context, int amount, const char* format, const char* name) {
  char message[kMessageSize];
  std::snprintf(message, sizeof(message), format, name);
  context.StepProgress(amount, message);
}

bool IsBoneLike(INode* node, Object* evaluated) {
  if (Control* tm = node->GetTMController()) {
    const Class_ID id = tm->ClassID();
    if (id == BIPED_SLAVE_CONTROL_CLASS_ID || id == BIPED_BODY_CONTROL_CLASS_ID || id == FOOTSTEP_CONTROL_CLASS_ID) {
      return true;
    }
  }
  return evaluated->CanConvertToType(kHelperClassID) != 0 || evaluated->SuperClassID() == SUPER_HELPER;
}

// The channels the mesh writes: channel 0 holds vertex colours, and a
// channel needs coordinates and faces.
bool IsWrittenMapChannel(const Mesh& mesh, int m) {
  return m >= 1 && mesh.Map(m).getNumVerts() >= 1 && mesh.Map(m).getNumFaces() >= 1;
}

bool InRange(const TVFace& face, std::size_t count) {
  return face.t[0] < count && face.t[1] < count && face.t[2] < count;
}

// The host mesh comes from a scene file, so its indices are input: every
// index the export follows must name an element of its array, and every
// written channel (colours, maps, explicit normals) must cover every face.
// A mesh that fails is exported as a mesh without data.
bool HasValidIndices(const Mesh& mesh, const MeshNormalSpec* explicitNormals) {
  const std::size_t faceCount = mesh.faces.size();
  // Corner numbers 3f + k must fit the library's 32-bit indices.
  if (faceCount > 0x7FFFFFFFu / 3) return false;
  const std::size_t vertexCount = mesh.verts.size();
  for (const Face& face : mesh.faces) {
    if (face.v[0] >= vertexCount || face.v[1] >= vertexCount || face.v[2] >= vertexCount) return false;
  }
  if (!mesh.vertCol.empty() && !mesh.vcFace.empty()) {
    if (mesh.vcFace.size() < faceCount) return false;
    for (std::size_t f = 0; f < faceCount; ++f) {
      if (!InRange(mesh.vcFace[f], mesh.vertCol.size())) return false;
    }
  }
  for (int m = 0; m < mesh.getNumMaps(); ++m) {
    if (!IsWrittenMapChannel(mesh, m)) continue;
    const MeshMap& map = mesh.Map(m);
    if (map.tf.size() != faceCount) return false;
    for (const TVFace& face : map.tf) {
      if (!InRange(face, map.tv.size())) return false;
    }
  }
  if (explicitNormals != nullptr) {
    if (static_cast<std::size_t>(explicitNormals->GetNumFaces()) < faceCount) return false;
    const int normalCount = explicitNormals->GetNumNormals();
    for (std::size_t f = 0; f < faceCount; ++f) {
      if (mesh.faces[f].smGroup == 0) continue;  // its ids are never read
      const MeshNormalFace& ids = explicitNormals->Face(static_cast<int>(f));
      for (int c = 0; c < 3; ++c) {
        const int id = ids.GetNormalID(c);
        if (id < 0 || id >= normalCount) return false;
      }
    }
  }
  return true;
}

// Positions, colours and the triangles' position, normal and colour
// corners. False when an allocation failed.
bool FillVertexData(KT::CTriMesh& mesh, KT::CTriMeshData& data, const Mesh& host, const int (&order)[3]) {
  const auto vertexCount = static_cast<KT::u32>(host.verts.size());
  const auto faceCount = static_cast<KT::u32>(host.faces.size());
  if (KT::Failed(data.AllocateXYZ(vertexCount)) || KT::Failed(mesh.AllocateWorldXYZ(vertexCount))) return false;
  if (!host.vertCol.empty() && KT::Failed(data.AllocateColor(static_cast<KT::u32>(host.vertCol.size())))) return false;
  // Normal and WorldNormal are not allocated here: CompactNormalIndices
  // replaces Normal with one zeroed vector per distinct normal before
  // anything reads it, and the mesh's update resizes WorldNormal to Normal,
  // so 3 x faces vectors made now would only be zeroed and thrown away.
  // WorldNormal is made once the normals are known; the per-corner normal
  // indices that Normal would have brought are made below.
  Vec3* xyz = data.GetXYZ().GetData();
  for (KT::u32 i = 0; i < vertexCount; ++i) xyz[i] = {host.verts[i].x, host.verts[i].y, host.verts[i].z};
  Vec3* color = data.GetColor().GetData();
  for (std::size_t i = 0; i < host.vertCol.size(); ++i) color[i] = {host.vertCol[i].x, host.vertCol[i].y, host.vertCol[i].z};
  if (faceCount == 0) return true;
  if (KT::Failed(data.SetTriangleQuantity(faceCount)) || KT::Failed(data.GetNormalTriIndex().Create(3 * faceCount))) {
    return false;
  }

  KT::u32* positions = data.GetXYZTriIndex().GetData();
  KT::u32* normals = data.GetNormalTriIndex().GetData();
  const bool colours = !host.vcFace.empty() && !data.GetColorTriIndex().IsEmpty();
  KT::u32* colourCorners = data.GetColorTriIndex().GetData();
  for (KT::u32 f = 0; f < faceCount; ++f) {
    const Face& face = host.faces[f];
    for (int k = 0; k < 3; ++k) {
      const KT::u32 corner = 3 * f + static_cast<KT::u32>(k);
      positions[corner] = face.v[order[k]];
      normals[corner] = corner;
      if (colours) colourCorners[corner] = host.vcFace[f].t[order[k]];
    }
  }
  return true;
}

// Which corners share a normal: corners of overlapping smoothing groups
// around a vertex, or, with explicit normals, corners of equal normal ids.
// A face of group 0 keeps its own three normals.
bool ShareNormals(KT::CTriMeshData& data, const Mesh& host, const MeshNormalSpec* explicitNormals,
                  const int (&order)[3]) {
  const auto faceCount = static_cast<KT::u32>(host.faces.size());
  std::vector<KT::CVNormal> lists;
  if (explicitNormals == nullptr) {
    lists.resize(host.verts.size());
    for (KT::u32 f = 0; f < faceCount; ++f) {
      const Face& face = host.faces[f];
      for (int c = 0; c < 3; ++c) {
        if (!lists[face.v[c]].Add(static_cast<KT::i32>(3 * f + static_cast<KT::u32>(c)), face.smGroup)) return false;
      }
    }
  }
  if (faceCount == 0) return true;
  if (KT::Failed(data.AllocateSmooth())) return false;
  KT::u32* smooth = data.GetSmooth().GetData();
  KT::u32* normals = data.GetNormalTriIndex().GetData();
  // A face of group 0 keeps its own corner numbers 3f + k. Explicit ids
  // are numbered from 0 as well, so beside them those numbers move past
  // the last id: otherwise a group-0 corner would share the normal of
  // whichever explicit id happens to equal its number.
  const KT::u32 ownBase = explicitNormals != nullptr ? static_cast<KT::u32>(explicitNormals->GetNumNormals()) : 0;
  for (KT::u32 f = 0; f < faceCount; ++f) {
    const Face& face = host.faces[f];
    smooth[f] = face.smGroup;
    if (face.smGroup == 0) {
      for (KT::u32 k = 0; k < 3; ++k) normals[3 * f + k] += ownBase;
      continue;
    }
    for (int k = 0; k < 3; ++k) {
      const int c = order[k];
      normals[3 * f + static_cast<KT::u32>(k)] =
          explicitNormals != nullptr
              ? static_cast<KT::u32>(explicitNormals->Face(static_cast<int>(f)).GetNormalID(c))
              : static_cast<KT::u32>(lists[face.v[c]].Find(face.smGroup));
    }
  }
  return true;
}

// Numbers the written map channels into `table` and appends one UV channel
// per written channel to the data. False when an allocation failed.
bool AddUvChannels(KT::CTriMeshData& data, const Mesh& host, std::vector<KT::i32>& table, const int (&order)[3]) {
  table.assign(static_cast<std::size_t>(host.getNumMaps()), 0);
  KT::i32 next = 0;
  for (int m = 0; m < host.getNumMaps(); ++m) table[static_cast<std::size_t>(m)] = IsWrittenMapChannel(host, m) ? next++ : -1;
  for (int m = 0; m < host.getNumMaps(); ++m) {
    if (table[static_cast<std::size_t>(m)] < 0) continue;
    const MeshMap& map = host.Map(m);
    KT::CPointer<KT::CUvwMap> uvw;
    KT::CPointer<KT::CUvwMapData> uvwData;
    if (KT::Failed(KT::CUvwMap::Create(uvw)) || KT::Failed(KT::CUvwMapData::Create(uvwData))) return false;
    uvw->SetUvwMapData(uvwData.Get());
    if (KT::Failed(uvw->AllocateUvw(static_cast<KT::u32>(map.tv.size()))) ||
        KT::Failed(uvwData->AllocateUvwTriIndex(static_cast<KT::u32>(map.tf.size())))) {
      return false;
    }
    Vec3* coords = uvw->GetUVW().GetData();
    for (std::size_t i = 0; i < map.tv.size(); ++i) coords[i] = {map.tv[i].x, map.tv[i].y, map.tv[i].z};
    KT::u32* corners = uvwData->GetUVWTriIndex().GetData();
    for (std::size_t f = 0; f < map.tf.size(); ++f) {
      for (int k = 0; k < 3; ++k) corners[3 * f + static_cast<std::size_t>(k)] = map.tf[f].t[order[k]];
    }
    data.AddUvwMap(uvw.Get());
  }
  return true;
}

KT::CPointer<KT::CMaterial> DefaultMaterial(INode* node) {
  KT::CPointer<KT::CStandardMaterial> material(new (std::nothrow) KT::CStandardMaterial());
  if (!material) return nullptr;
  material->SetName(kDefaultMaterialName);
  const COLORREF wire = node->GetWireColor();
  material->Diffuse = {GetRValue(wire) / 255.0f, GetGValue(wire) / 255.0f, GetBValue(wire) / 255.0f};
  material->SetModified();
  return KT::CPointer<KT::CMaterial>(material.Get());
}

// Deletes the triangle object a conversion made, unless it is the
// evaluated object itself.
class ConvertedObject {
 public:
  ConvertedObject(Object* converted, Object* evaluated) : converted_(converted), evaluated_(evaluated) {}
  ~ConvertedObject() {
    if (converted_ != nullptr && converted_ != evaluated_) converted_->DeleteMe();
  }
  ConvertedObject(const ConvertedObject&) = delete;
  ConvertedObject& operator=(const ConvertedObject&) = delete;

 private:
  Object* converted_;
  Object* evaluated_;
};

}  // namespace

KT::Result CompactSubMaterials(KT::CGeometryData* data, KT::CMaterial* material) {
  if (data == nullptr) return KT::kErrInvalidArg;
  auto* mesh = KT::DynamicCast<KT::CTriMeshData>(data);
  auto* multi = KT::DynamicCast<KT::CMultiMaterial>(material);
  if (mesh == nullptr || multi == nullptr) return KT::kErrNotFound;
  const KT::u32 count = multi->GetSubMaterialCount();
  // An empty multi-material has nothing to keep or drop.
  if (count == 0) return KT::kDone;
  KT::CBuffer<KT::u32>& ids = mesh->GetTriangleMtlID();

  // The distinct ids in ascending order. The ids of an export are below
  // 65536, so a table of flags finds them in one pass; other ids are sorted.
  KT::u32 largest = 0;
  for (const KT::u32 id : ids) largest = std::max(largest, id);
  const bool small = largest < kRankTableLimit;
  std::vector<KT::u32> rank;
  std::vector<KT::u32> distinct;
  if (small) {
    rank.assign(static_cast<std::size_t>(largest) + 1, kUnused);
    for (const KT::u32 id : ids) rank[id] = 0;
    for (KT::u32 id = 0; id <= largest; ++id) {
      if (rank[id] == kUnused) continue;
      rank[id] = static_cast<KT::u32>(distinct.size());
      distinct.push_back(id);
    }
  } else {
    distinct.assign(ids.begin(), ids.end());
    std::sort(distinct.begin(), distinct.end());
    distinct.erase(std::unique(distinct.begin(), distinct.end()), distinct.end());
  }
  if (distinct.size() == count) return KT::kDone;

  std::vector<KT::CPointer<KT::CMaterial>> kept;
  kept.reserve(distinct.size());
  for (const KT::u32 id : distinct) kept.emplace_back(multi->GetSubMaterial(id % count));
  multi->ClearSubMaterials();
  for (const auto& sub : kept) multi->AddSubMaterial(sub.Get());
  for (KT::u32& id : ids) {
    id = small ? rank[id]
               : static_cast<KT::u32>(std::lower_bound(distinct.begin(), distinct.end(), id) - distinct.begin());
  }
  mesh->SetModified();
  return KT::kOk;
}

void CMaxDrn::CreateMeshes() {
  StepProgress(14, "Create Mesh");
  if (!root || nodes.empty()) return;
  for (INode* node : nodes) {
    if (KT::CNode* parent = FindConvertedNode(root.Get(), node)) CreateMesh(parent, node, 0);
  }
}

void CMaxDrn::CreateMesh(KT::CNode* parent, INode* node, TimeValue t) {
  if (parent == nullptr || node == nullptr) return;
  Object* evaluated = node->EvalWorldState(t).obj;
  if (evaluated == nullptr || evaluated->CanConvertToType(TRIOBJ_CLASS_ID) == 0) return;
  if (evaluated->ClassID() == BONE_OBJECT_CLASS_ID) return;
  Object* convertedObject = evaluated->ConvertToType(t, TRIOBJ_CLASS_ID);
  if (convertedObject == nullptr) return;
  const ConvertedObject deleteLater(convertedObject, evaluated);
  auto* triObject = dynamic_cast<TriObject*>(convertedObject);
  if (triObject == nullptr) return;

  const char* name = node->GetName() != nullptr ? node->GetName() : "";
  StepMessage(*this, 1, "Create Mesh: %s", name);
  // The host's mesh is only read (the evaluated object stays as it is) and
  // its face normals are not used: the normals come from the positions
  // below, so the mesh is read in place rather than copied.
  const Mesh& host = triObject->GetMesh();

  KT::CPointer<KT::CTriMesh> mesh;
  if (KT::Failed(KT::CTriMesh::Create(mesh))) return;
  mesh->SetName(ToWide(name));
  parent->AddChild(mesh.Get());
  if (IsBoneLike(node, evaluated)) {
    mesh->SetBone(true);
    mesh->SetActive(false);
  }
  const Matrix3 objectTM = node->GetObjectTM(t);
  const Matrix3 offset = objectTM * Inverse(node->GetNodeTM(t));
  static constexpr int kPlainOrder[3] = {0, 1, 2};
  static constexpr int kMirroredOrder[3] = {0, 2, 1};
  const int(&order)[3] = IsMirrored(objectTM) ? kMirroredOrder : kPlainOrder;
  SetBasis(mesh.Get(), DecomposeHostMatrix(offset));

  const MeshNormalSpec* explicitNormals = triObject->GetMesh().GetSpecifiedNormals();
  if (explicitNormals != nullptr && explicitNormals->GetNumNormals() == 0) explicitNormals = nullptr;
  // A mesh without vertices, or with indices outside their arrays, stays
  // the named mesh without data.
  if (host.getNumVerts() < 1 || !HasValidIndices(host, explicitNormals)) return;

  KT::CPointer<KT::CTriMeshData> data;
  if (KT::Failed(KT::CTriMeshData::Create(data)) || KT::Failed(mesh->SetSingleLod(data.Get()))) return;
  if (!FillVertexData(*mesh, *data, host, order)) return;

  StepMessage(*this, 0, "Create Normal: %s", name);
  if (!ShareNormals(*data, host, explicitNormals, order)) return;

  StepMessage(*this, 0, "Optimize Normal: %s", name);
  // The vectors always come from the positions: explicit normals decide
  // only which corners share one.
  data->CompactNormalIndices();
  data->ComputeVertexNormals();
  if (!data->GetNormal().IsEmpty()) mesh->AllocateWorldNormal(data->GetNormal().GetCount());

  StepMessage(*this, 0, "Create UVWMap: %s", name);
  if (!AddUvChannels(*data, host, uvChannels, order)) return;

  StepMessage(*this, 0, "Create Material: %s", name);
  KT::CPointer<KT::CMaterial> material = ConvertMaterial(node->GetMtl(), t);
  if (!material) material = DefaultMaterial(node);
  if (material) mesh->SetMaterial(material.Get());
  mesh->SetModified();

  StepMessage(*this, 0, "Optimize: %s", name);
  data->BuildVertexTriIndex();
  auto* multi = KT::DynamicCast<KT::CMultiMaterial>(material.Get());
  const int faceCount = host.getNumFaces();
  if (faceCount != 0 && KT::Succeeded(data->AllocateTriangleMtlID())) {
    // A multi-material left without entries still gives every face id 0.
    const KT::u32 materialCount = multi != nullptr ? std::max<KT::u32>(1, multi->GetSubMaterialCount()) : 1;
    KT::u32* ids = data->GetTriangleMtlID().GetData();
    for (int f = 0; f < faceCount; ++f) ids[f] = (host.getFaceMtlIndex(f) & 0xFFFFu) % materialCount;
  }
  if (multi != nullptr) CompactSubMaterials(data.Get(), multi);
  data->SortByMaterial();

  StepMessage(*this, 0, "Control data: %s", name);
  ExportModifierData(mesh.Get(), node, 0);
  EnsureKeyframeControl(mesh.Get());
}

void CMaxDrn::ExportModifierData(KT::CTriMesh* mesh, INode* node, TimeValue t) {
  if (node == nullptr) return;
  Object* object = node->GetObjectRef();
  while (object != nullptr && object->SuperClassID() == SUPER_DERIVED_OBJECT) {
    auto* derived = dynamic_cast<IDerivedObject*>(object);
    if (derived == nullptr) break;
    for (int i = 0; i < derived->NumModifiers(); ++i) {
      Modifier* mod = derived->GetModifier(i);
      if (mod == nullptr) continue;
      const Class_ID id = mod->ClassID();
      if (id == PHYSIQUE_CLASS_ID) {
        ExportPhysique(mesh, node, t, mod);
      } else if (id == SKIN_CLASS_ID) {
        ExportSkinModifier(mesh, node, t, mod);
      } else if (id == MORPHER_CLASS_ID) {
        ExportMorph(mesh, node, t, mod);
      } else if (id == MESH_SELECT_CLASS_ID || id == UVW_MAP_CLASS_ID || id == UNWRAP_UVW_CLASS_ID) {
        // These answer the exclusion query when they must be passed over.
        if (mod->GetInterface(MODIFIER_EXCLUDED_INTERFACE) != nullptr) continue;
        if (id == MESH_SELECT_CLASS_ID) {
          ExportSelectionSets(mesh, node, t, mod, derived->GetModContext(i));
        } else {
          ExportUvwAnimation(mesh, node, t, mod, derived->GetModContext(i));
        }
      }
    }
    object = derived->GetObjRef();
  }
}
