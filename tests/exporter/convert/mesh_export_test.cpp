#include "exporter/convert/mesh_export.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "controllers/core/keyframe_control.h"
#include "platform/host/host_objects.h"
#include "platform/host/host_scene.h"
#include "platform/host/object.h"
#include "render/materials/compound_materials.h"
#include "render/materials/material_attribute_control.h"
#include "render/materials/standard_material.h"
#include "render/materials/texture_maps.h"
#include "scene/tri_mesh.h"
#include "scene/tri_mesh_data.h"
#include "scene/uvw_map.h"
#include "tests/exporter/convert/export_fixture.h"

namespace {

using KT::CTriMesh;
using KT::CTriMeshData;
using KT::Host::MaterialClass;
using KT::Host::MeshDesc;
using KT::Host::SceneBuilder;
using KT::Testing::ExportScene;

std::vector<KT::u32> Values(const KT::CBuffer<KT::u32>& buffer) { return {buffer.begin(), buffer.end()}; }

// Two triangles (0, 1, 2) and (0, 2, 3) over a unit square; the last vertex
// is raised when `bent`.
MeshDesc Square(KT::u32 group0, KT::u32 group1, bool bent = false) {
  MeshDesc mesh;
  mesh.verts = {{0.0f, 0.0f, 0.0f}, {1.0f, 0.0f, 0.0f}, {1.0f, 1.0f, 0.0f}, {0.0f, 1.0f, bent ? 1.0f : 0.0f}};
  mesh.faces = {{{0, 1, 2}, group0, 0}, {{0, 2, 3}, group1, 0}};
  return mesh;
}

KT::CNode* Converted(CMaxDrn& context, const std::u16string& name) {
  return static_cast<KT::CNode*>(context.root->Find(name.c_str(), &KT::CNode::StaticClassRecord(), false, false));
}

// The exported mesh under the converted node of the same name.
CTriMesh* MeshOf(CMaxDrn& context, const std::u16string& name) {
  KT::CNode* node = Converted(context, name);
  if (node == nullptr) return nullptr;
  for (const auto& child : node->GetChildren())
    if (auto* mesh = dynamic_cast<CTriMesh*>(child.Get())) return mesh;
  return nullptr;
}

// Builds the nodes and meshes of a scene.
struct Exported {
  explicit Exported(const SceneBuilder& builder) : scene(builder) {
    scene.Context().BuildNodes(0);
    scene.Context().CreateMeshes();
  }
  CTriMesh* Mesh(const std::u16string& name = u"A") { return MeshOf(scene.Context(), name); }
  CTriMeshData* Data(const std::u16string& name = u"A") {
    CTriMesh* mesh = Mesh(name);
    return mesh != nullptr ? mesh->GetTriMeshLod(0) : nullptr;
  }
  ExportScene scene;
};

TEST(CreateMesh, MirroredObjectTransformReversesTheCornerOrder) {
  for (const bool mirrored : {false, true}) {
    SceneBuilder b;
    MeshDesc mesh = Square(1, 1);
    mesh.colors = {{1.0f, 0.0f, 0.0f}, {0.0f, 1.0f, 0.0f}, {0.0f, 0.0f, 1.0f}};
    mesh.colorFaces = {{0, 1, 2}, {2, 1, 0}};
    mesh.maps = {{1, {{0.0f, 0.0f, 0.0f}, {1.0f, 0.0f, 0.0f}, {1.0f, 1.0f, 0.0f}, {0.0f, 1.0f, 0.0f}}, {{0, 1, 2}, {0, 2, 3}}, {}}};
    b.AddNode("A").Mesh(mesh).Offset(Point3(1.0f, 2.0f, 3.0f), Quat(), Point3(mirrored ? -1.0f : 1.0f, 1.0f, 1.0f));
    Exported e(b);
    CTriMeshData* data = e.Data();
    ASSERT_NE(data, nullptr);
    const std::vector<KT::u32> positions = mirrored ? std::vector<KT::u32>{0, 2, 1, 0, 3, 2} : std::vector<KT::u32>{0, 1, 2, 0, 2, 3};
    EXPECT_EQ(Values(data->GetXYZTriIndex()), positions) << mirrored;
    const std::vector<KT::u32> colours = mirrored ? std::vector<KT::u32>{0, 2, 1, 2, 0, 1} : std::vector<KT::u32>{0, 1, 2, 2, 1, 0};
    EXPECT_EQ(Values(data->GetColorTriIndex()), colours);
    ASSERT_EQ(data->GetUvwMapCount(), 1u);
    EXPECT_EQ(Values(data->GetUvwChannel(0)->GetUvwMapData()->GetUVWTriIndex()), positions);
    const KT::CRtsTransform& basis = e.Mesh()->GetBasis();
    EXPECT_NEAR(basis.Translate.x, 1.0f, 1e-6f);
    EXPECT_NEAR(basis.Translate.z, 3.0f, 1e-6f);
  }
}

TEST(CreateMesh, CopiesPositionsAndColoursInObjectSpace) {
  SceneBuilder b;
  MeshDesc mesh = Square(1, 1);
  mesh.colors = {{0.25f, 0.5f, 0.75f}};
  mesh.colorFaces = {{0, 0, 0}, {0, 0, 0}};
  b.AddNode("A").Mesh(mesh).PositionKey(0, Point3(10.0f, 0.0f, 0.0f));
  Exported e(b);
  CTriMeshData* data = e.Data();
  ASSERT_NE(data, nullptr);
  ASSERT_EQ(data->GetXYZ().GetCount(), 4u);
  EXPECT_EQ(data->GetXYZ()[2], (KT::CGeometryData::Vec3{1.0f, 1.0f, 0.0f}));
  ASSERT_EQ(data->GetColor().GetCount(), 1u);
  EXPECT_EQ(data->GetColor()[0], (KT::CGeometryData::Vec3{0.25f, 0.5f, 0.75f}));
  EXPECT_EQ(e.Mesh()->GetWorldXYZ().GetCount(), 4u);
  EXPECT_EQ(e.Mesh()->GetWorldNormal().GetCount(), data->GetNormal().GetCount());
  EXPECT_EQ(Values(data->GetSmooth()), (std::vector<KT::u32>{1, 1}));
  EXPECT_EQ(data->GetVertexTriIndex().GetCount(), 6u);
  EXPECT_EQ(data->GetAttributeRanges().size(), 1u);
}

TEST(CreateMesh, SmoothingGroupsDecideWhichCornersShareANormal) {
  struct Case {
    KT::u32 group0, group1;
    bool shared;        // the corners at the shared vertices 0 and 2 share
    KT::u32 normals;    // distinct normals
  };
  const Case cases[] = {
      {1, 1, true, 4},
      {1, 3, true, 4},
      {1, 2, false, 6},
      {0, 1, false, 6},
      {0, 0, false, 6},
      {0x80000000u, 0xC0000000u, true, 4},
  };
  for (const Case& c : cases) {
    SceneBuilder b;
    b.AddNode("A").Mesh(Square(c.group0, c.group1));
    Exported e(b);
    CTriMeshData* data = e.Data();
    ASSERT_NE(data, nullptr);
    const std::vector<KT::u32> n = Values(data->GetNormalTriIndex());
    // Vertex 0 is corner 0 of both faces; vertex 2 corner 2 of face 0 and corner 1 of face 1.
    EXPECT_EQ(n[0] == n[3], c.shared) << c.group0 << " " << c.group1;
    EXPECT_EQ(n[2] == n[4], c.shared) << c.group0 << " " << c.group1;
    EXPECT_EQ(std::set<KT::u32>(n.begin(), n.end()).size(), c.normals);
    EXPECT_EQ(data->GetNormal().GetCount(), c.normals);
  }
}

TEST(CreateMesh, ExplicitNormalIdsDecideSharingButNotTheVectors) {
  struct Case {
    std::vector<std::array<int, 3>> ids;
    bool shared;
  };
  const Case cases[] = {
      {{{0, 1, 2}, {0, 2, 3}}, true},
      {{{0, 1, 2}, {3, 4, 5}}, false},  // the smoothing groups would share
  };
  for (const Case& c : cases) {
    SceneBuilder b;
    MeshDesc mesh = Square(1, 1, true);
    mesh.normals.assign(6, Point3(9.0f, 9.0f, 9.0f));
    mesh.normalFaces = c.ids;
    b.AddNode("A").Mesh(mesh);
    Exported e(b);
    CTriMeshData* data = e.Data();
    ASSERT_NE(data, nullptr);
    const std::vector<KT::u32> n = Values(data->GetNormalTriIndex());
    EXPECT_EQ(n[0] == n[3], c.shared);
    // Every vector comes from the positions: unit length, not the host's.
    for (const auto& v : data->GetNormal()) EXPECT_NEAR(std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z), 1.0f, 1e-5f);
    const auto& corner0 = data->GetNormal()[n[0]];
    if (c.shared) {
      // The sum of the two faces' area-weighted normals (0, 0, 1) and (1, -1, 1).
      EXPECT_NEAR(corner0.x, 1.0f / std::sqrt(6.0f), 1e-5f);
      EXPECT_NEAR(corner0.y, -1.0f / std::sqrt(6.0f), 1e-5f);
      EXPECT_NEAR(corner0.z, 2.0f / std::sqrt(6.0f), 1e-5f);
    } else {
      EXPECT_NEAR(corner0.z, 1.0f, 1e-6f);
    }
  }
}

TEST(CreateMesh, GroupZeroCornersNeverShareWithExplicitNormals) {
  SceneBuilder b;
  MeshDesc mesh = Square(1, 0);
  mesh.normals.assign(6, Point3(0.0f, 0.0f, 1.0f));
  // Face 0's ids are the corner numbers 3, 4, 5 of face 1.
  mesh.normalFaces = {{3, 4, 5}, {0, 0, 0}};
  b.AddNode("A").Mesh(mesh);
  Exported e(b);
  CTriMeshData* data = e.Data();
  ASSERT_NE(data, nullptr);
  const std::vector<KT::u32> n = Values(data->GetNormalTriIndex());
  EXPECT_EQ(std::set<KT::u32>(n.begin(), n.end()).size(), 6u) << "face 1 keeps three normals of its own";
  EXPECT_EQ(data->GetNormal().GetCount(), 6u);
}

TEST(CreateMesh, MapChannelsAreNumberedFromZeroSkippingChannelZeroAndEmptyOnes) {
  SceneBuilder b;
  MeshDesc mesh = Square(1, 1);
  const std::vector<Point3> coords = {{0.0f, 0.0f, 0.0f}, {1.0f, 0.0f, 0.0f}, {1.0f, 1.0f, 0.0f}, {0.0f, 1.0f, 0.5f}};
  const std::vector<std::array<DWORD, 3>> faces = {{0, 1, 2}, {0, 2, 3}};
  mesh.maps = {{1, coords, faces, {}}, {2, {}, {}, {}}, {3, {coords[3], coords[2]}, {{0, 1, 0}, {1, 1, 0}}, {}}};
  b.AddNode("A").Mesh(mesh);
  Exported e(b);
  CTriMeshData* data = e.Data();
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(e.scene.Context().uvChannels, (std::vector<KT::i32>{-1, 0, -1, 1}));
  ASSERT_EQ(data->GetUvwMapCount(), 2u);
  const KT::CUvwMap* second = data->GetUvwChannel(1);
  ASSERT_EQ(second->GetUVW().GetCount(), 2u);
  EXPECT_EQ(second->GetUVW()[0], (KT::CGeometryData::Vec3{0.0f, 1.0f, 0.5f}));
  EXPECT_EQ(Values(second->GetUvwMapData()->GetUVWTriIndex()), (std::vector<KT::u32>{0, 1, 0, 1, 1, 0}));
}

TEST(CreateMesh, MaterialIdsAreTakenModuloTheSubMaterialCount) {
  SceneBuilder b;
  b.AddMaterial("s0", "S0");
  b.AddMaterial("s1", "S1");
  b.AddMaterial("s2", "S2");
  b.AddMaterial("multi", "Multi", MaterialClass::kMulti).Sub("s0").Sub("s1").Sub("s2");
  b.AddMaterial("plain", "Plain");
  // Three triangles using every sub-material, so none is dropped.
  MeshDesc mesh = Square(1, 1);
  mesh.faces.push_back({{1, 2, 3}, 1, 0});
  mesh.faces[0].mtl = 5;
  mesh.faces[1].mtl = 0x10004;  // the id is the low 16 bits: 4, then 1
  mesh.faces[2].mtl = 3;
  b.AddNode("A").Mesh(mesh).Material("multi");
  b.AddNode("B").Mesh(mesh).Material("plain");
  Exported e(b);
  CTriMeshData* data = e.Data(u"A");
  ASSERT_NE(data, nullptr);
  // Sorted by material: the faces of ids 0, 1 and 2 are faces 2, 1 and 0.
  EXPECT_EQ(Values(data->GetTriangleMtlID()), (std::vector<KT::u32>{0, 1, 2}));
  EXPECT_EQ(Values(data->GetXYZTriIndex()), (std::vector<KT::u32>{1, 2, 3, 0, 2, 3, 0, 1, 2}));
  auto* multi = dynamic_cast<KT::CMultiMaterial*>(e.Mesh(u"A")->GetMaterial());
  ASSERT_NE(multi, nullptr);
  EXPECT_EQ(multi->GetSubMaterialCount(), 3u);
  EXPECT_EQ(Values(e.Data(u"B")->GetTriangleMtlID()), (std::vector<KT::u32>{0, 0, 0})) << "a standard material";
}

TEST(CreateMesh, UnusedSubMaterialsAreDroppedAndIdsRenumbered) {
  SceneBuilder b;
  auto multi = b.AddMaterial("multi", "Multi", MaterialClass::kMulti);
  for (const char* sub : {"s0", "s1", "s2", "s3"}) {
    b.AddMaterial(sub, std::string("Sub ") + sub);
    multi.Sub(sub);
  }
  MeshDesc mesh = Square(1, 1);
  mesh.faces[0].mtl = 3;
  mesh.faces[1].mtl = 1;
  b.AddNode("A").Mesh(mesh).Material("multi");
  Exported e(b);
  CTriMeshData* data = e.Data();
  ASSERT_NE(data, nullptr);
  auto* converted = dynamic_cast<KT::CMultiMaterial*>(e.Mesh()->GetMaterial());
  ASSERT_NE(converted, nullptr);
  ASSERT_EQ(converted->GetSubMaterialCount(), 2u);
  EXPECT_EQ(converted->GetSubMaterial(0)->GetName(), u"Sub s1");
  EXPECT_EQ(converted->GetSubMaterial(1)->GetName(), u"Sub s3");
  // Sorted by material: the face of id 1 (now 0) comes first.
  EXPECT_EQ(Values(data->GetTriangleMtlID()), (std::vector<KT::u32>{0, 1}));
  EXPECT_EQ(Values(data->GetXYZTriIndex()), (std::vector<KT::u32>{0, 2, 3, 0, 1, 2}));
  ASSERT_EQ(data->GetAttributeRanges().size(), 2u);
}

TEST(CreateMesh, AMultiMaterialWithoutEntriesGivesEveryFaceIdZero) {
  SceneBuilder b;
  b.AddMaterial("multi", "Empty", MaterialClass::kMulti).Sub("").Sub("");
  MeshDesc mesh = Square(1, 1);
  mesh.faces[1].mtl = 7;
  b.AddNode("A").Mesh(mesh).Material("multi");
  Exported e(b);
  CTriMeshData* data = e.Data();
  ASSERT_NE(data, nullptr);
  auto* multi = dynamic_cast<KT::CMultiMaterial*>(e.Mesh()->GetMaterial());
  ASSERT_NE(multi, nullptr);
  EXPECT_EQ(multi->GetSubMaterialCount(), 0u);
  EXPECT_EQ(Values(data->GetTriangleMtlID()), (std::vector<KT::u32>{0, 0}));
  EXPECT_EQ(CompactSubMaterials(data, multi), KT::kDone);
  EXPECT_EQ(multi->GetSubMaterialCount(), 0u);
}

TEST(CreateMesh, ANodeWithoutMaterialGetsTheDefaultFromItsWireColour) {
  SceneBuilder b;
  b.AddNode("A").Mesh(Square(1, 1)).WireColor(255, 0, 0);
  b.AddNode("B").Mesh(Square(1, 1)).WireColor(0, 51, 255);
  Exported e(b);
  struct Case {
    const char16_t* node;
    KT::CStandardMaterial::Vec3 diffuse;
  };
  for (const Case& c : {Case{u"A", {1.0f, 0.0f, 0.0f}}, Case{u"B", {0.0f, 0.2f, 1.0f}}}) {
    auto* material = dynamic_cast<KT::CStandardMaterial*>(e.Mesh(c.node)->GetMaterial());
    ASSERT_NE(material, nullptr);
    EXPECT_EQ(material->GetName(), u"Default Material");
    EXPECT_EQ(material->Diffuse, c.diffuse);
    EXPECT_TRUE(material->IsModified());
    EXPECT_EQ(material->GetFirstControl(), nullptr) << "the default material is not animated";
  }
}

TEST(CreateMesh, MeshesSharingAStandardMaterialShareOneObjectAndController) {
  SceneBuilder b;
  b.AddMaterial("m", "Shared");
  b.AddNode("A").Mesh(Square(1, 1)).Material("m");
  b.AddNode("B").Mesh(Square(1, 1)).Material("m");
  Exported e(b);
  KT::CDorun* a = e.Mesh(u"A")->GetMaterial();
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a, e.Mesh(u"B")->GetMaterial());
  int controls = 0;
  for (KT::CDorun* c = a->GetFirstControl(); c != nullptr; c = c->GetChainNext())
    if (dynamic_cast<KT::CMaterialAttributeControl*>(c) != nullptr) ++controls;
  EXPECT_EQ(controls, 1);
}

TEST(CreateMesh, BoneObjectsBuildNothingAndBipedNodesAreBoneLike) {
  SceneBuilder b;
  b.AddNode("Bone").Bone();
  b.AddNode("Helper");
  b.AddNode("Biped").Mesh(Square(1, 1)).Controller(KT::Host::ControllerKind::kBipedSlave);
  b.AddNode("Body").Mesh(Square(1, 1)).Controller(KT::Host::ControllerKind::kBipedBody);
  b.AddNode("Plain").Mesh(Square(1, 1)).Controller();
  Exported e(b);
  EXPECT_EQ(e.Mesh(u"Bone"), nullptr);
  EXPECT_EQ(e.Mesh(u"Helper"), nullptr);
  for (const char16_t* name : {u"Biped", u"Body"}) {
    CTriMesh* mesh = e.Mesh(name);
    ASSERT_NE(mesh, nullptr);
    EXPECT_TRUE(mesh->IsBone());
    EXPECT_FALSE(mesh->IsActive());
  }
  ASSERT_NE(e.Mesh(u"Plain"), nullptr);
  EXPECT_FALSE(e.Mesh(u"Plain")->IsBone());
  EXPECT_TRUE(e.Mesh(u"Plain")->IsActive());
}

TEST(CreateMesh, TheMeshGetsAKeyframeControllerHoldingItsBasis) {
  SceneBuilder b;
  b.AddNode("A").Mesh(Square(1, 1)).Offset(Point3(0.0f, 5.0f, 0.0f));
  Exported e(b);
  CTriMesh* mesh = e.Mesh();
  ASSERT_NE(mesh, nullptr);
  auto* keys = dynamic_cast<KT::CKeyframeControl*>(mesh->GetFirstControl());
  ASSERT_NE(keys, nullptr);
  ASSERT_EQ(keys->GetRtsKeys().size(), 1u);
  EXPECT_EQ(keys->GetRtsKeys()[0].Time, 0);
  EXPECT_NEAR(keys->GetRtsKeys()[0].Value.Translate.y, 5.0f, 1e-6f);
}

// A node answering from fixed parts, for objects the stand-in scene does
// not make.
class FixedNode : public INode {
 public:
  explicit FixedNode(Object* object) : object_(object) {}
  const TCHAR* GetName() override { return "Fixed"; }
  INode* GetParentNode() override { return nullptr; }
  int IsRootNode() override { return 0; }
  int Selected() override { return 0; }
  int RcvShadows() override { return 0; }
  int CastShadows() override { return 0; }
  int IsHidden(DWORD, BOOL) override { return 0; }
  Control* GetTMController() override { return nullptr; }
  Matrix3 GetNodeTM(TimeValue, Interval*) override { return Matrix3(); }
  Matrix3 GetParentTM(TimeValue) override { return Matrix3(); }
  Matrix3 GetObjectTM(TimeValue, Interval*) override { return Matrix3(); }
  ObjectState EvalWorldState(TimeValue, BOOL) override { return ObjectState(object_); }
  Object* GetObjectRef() override { return object_; }
  Mtl* GetMtl() override { return nullptr; }
  DWORD GetWireColor() override { return 0; }

 private:
  Object* object_;
};

// A triangle object that counts its deletions.
class CountedTriObject : public TriObject {
 public:
  explicit CountedTriObject(int& deleted) : deleted_(deleted) {
    mesh.verts = {{0.0f, 0.0f, 0.0f}, {1.0f, 0.0f, 0.0f}, {0.0f, 1.0f, 0.0f}};
    mesh.faces.resize(1);
    mesh.faces[0].v[1] = 1;
    mesh.faces[0].v[2] = 2;
  }
  void DeleteMe() override {
    ++deleted_;
    delete this;
  }

 private:
  int& deleted_;
};

// An object that converts to a new counted triangle object; its super
// class is chosen by the test.
class ConvertingObject : public Object {
 public:
  ConvertingObject(SClass_ID superClass, int& deleted) : superClass_(superClass), deleted_(deleted) {}
  SClass_ID SuperClassID() override { return superClass_; }
  int CanConvertToType(Class_ID type) override { return type == TRIOBJ_CLASS_ID ? 1 : 0; }
  Object* ConvertToType(TimeValue, Class_ID) override { return new CountedTriObject(deleted_); }

 private:
  SClass_ID superClass_;
  int& deleted_;
};

TEST(CreateMesh, AConvertedCopyIsDeletedAndHelpersAreBoneLike) {
  SceneBuilder b;
  b.AddNode("A");
  ExportScene s(b);
  struct Case {
    SClass_ID superClass;
    bool boneLike;
  };
  for (const Case& c : {Case{SUPER_GEOMETRIC_OBJECT, false}, Case{SUPER_HELPER, true}}) {
    int deleted = 0;
    ConvertingObject object(c.superClass, deleted);
    FixedNode node(&object);
    KT::CPointer<KT::CNode> parent;
    ASSERT_EQ(KT::CNode::Create(parent), KT::kOk);
    s.Context().CreateMesh(parent.Get(), &node, 0);
    EXPECT_EQ(deleted, 1);
    ASSERT_EQ(parent->GetChildCount(), 1u);
    auto* mesh = dynamic_cast<CTriMesh*>(parent->GetChild(0).Get());
    ASSERT_NE(mesh, nullptr);
    EXPECT_EQ(mesh->GetName(), u"Fixed");
    EXPECT_EQ(mesh->IsBone(), c.boneLike);
    EXPECT_EQ(mesh->IsActive(), !c.boneLike);
    ASSERT_NE(mesh->GetTriMeshLod(0), nullptr);
    EXPECT_EQ(mesh->GetTriMeshLod(0)->GetTriangleQuantity(), 1u);
  }
  // A triangle object converts to itself: it is not deleted.
  int deleted = 0;
  auto* self = new CountedTriObject(deleted);
  FixedNode node(self);
  KT::CPointer<KT::CNode> parent;
  ASSERT_EQ(KT::CNode::Create(parent), KT::kOk);
  s.Context().CreateMesh(parent.Get(), &node, 0);
  EXPECT_EQ(deleted, 0);
  EXPECT_EQ(parent->GetChildCount(), 1u);
  self->DeleteMe();
}

// The host's mesh is input: each row spoils one index array of a good mesh
// (the stand-in's scene refuses such descriptions, so the mesh is handed
// over directly). Every such mesh, like one without vertices, stays the
// named mesh without data.
TEST(CreateMesh, EmptyOrMalformedMeshesStayEmptyMeshes) {
  struct Case {
    const char* what;
    std::function<void(Mesh&)> spoil;
  };
  const Case cases[] = {
      {"no vertices", [](Mesh& m) { m = Mesh(); }},
      {"no vertices but faces", [](Mesh& m) { m.verts.clear(); }},
      {"face index past the vertices", [](Mesh& m) { m.faces[1].v[2] = 4; }},
      {"colour index past the colours", [](Mesh& m) {
         m.vertCol = {{1.0f, 1.0f, 1.0f}};
         m.vcFace = {TVFace{{0, 0, 0}}, TVFace{{0, 1, 0}}};
       }},
      {"fewer colour faces than faces", [](Mesh& m) {
         m.vertCol = {{1.0f, 1.0f, 1.0f}};
         m.vcFace = {TVFace{{0, 0, 0}}};
       }},
      {"map index past the coordinates", [](Mesh& m) {
         m.maps.resize(2);
         m.maps[1].tv = {{0.0f, 0.0f, 0.0f}};
         m.maps[1].tf = {TVFace{{0, 0, 0}}, TVFace{{0, 0, 0xFFFFFFFFu}}};
       }},
      {"fewer map faces than faces", [](Mesh& m) {
         m.maps.resize(2);
         m.maps[1].tv = {{0.0f, 0.0f, 0.0f}};
         m.maps[1].tf = {TVFace{{0, 0, 0}}};
       }},
      {"explicit id past the normals", [](Mesh& m) {
         m.specifiedNormals.normals = {{0.0f, 0.0f, 1.0f}};
         m.specifiedNormals.faces = {MeshNormalFace{{0, 0, 0}}, MeshNormalFace{{0, 1, 0}}};
       }},
      {"negative explicit id", [](Mesh& m) {
         m.specifiedNormals.normals = {{0.0f, 0.0f, 1.0f}};
         m.specifiedNormals.faces = {MeshNormalFace{{0, 0, 0}}, MeshNormalFace{{0, -1, 0}}};
       }},
      {"fewer explicit faces than faces", [](Mesh& m) {
         m.specifiedNormals.normals = {{0.0f, 0.0f, 1.0f}};
         m.specifiedNormals.faces = {MeshNormalFace{{0, 0, 0}}};
       }},
  };
  SceneBuilder b;
  b.AddNode("A");
  ExportScene s(b);
  for (const Case& c : cases) {
    int deleted = 0;
    auto* object = new CountedTriObject(deleted);
    object->mesh = KT::Host::MeshAt(Square(1, 1), 0);
    c.spoil(object->mesh);
    FixedNode node(object);
    KT::CPointer<KT::CNode> parent;
    ASSERT_EQ(KT::CNode::Create(parent), KT::kOk);
    s.Context().CreateMesh(parent.Get(), &node, 0);
    object->DeleteMe();
    ASSERT_EQ(parent->GetChildCount(), 1u) << c.what;
    auto* out = dynamic_cast<CTriMesh*>(parent->GetChild(0).Get());
    ASSERT_NE(out, nullptr) << c.what;
    EXPECT_EQ(out->GetName(), u"Fixed");
    EXPECT_EQ(out->GetLodCount(), 0u) << c.what;
    EXPECT_EQ(out->GetMaterial(), nullptr) << c.what;
    EXPECT_EQ(out->GetFirstControl(), nullptr) << c.what;
  }
}

TEST(CreateMesh, AnEmptyHostMeshKeepsItsPlaceBasisAndFlags) {
  SceneBuilder b;
  b.AddMaterial("m", "M");
  b.AddNode("A").Mesh(MeshDesc()).Material("m").Offset(Point3(0.0f, 0.0f, 2.0f)).Controller(
      KT::Host::ControllerKind::kBipedSlave);
  Exported e(b);
  CTriMesh* out = e.Mesh();
  ASSERT_NE(out, nullptr);
  EXPECT_EQ(out->GetName(), u"A");
  EXPECT_EQ(out->GetLodCount(), 0u);
  EXPECT_EQ(out->GetMaterial(), nullptr);
  EXPECT_EQ(out->GetFirstControl(), nullptr);
  EXPECT_NEAR(out->GetBasis().Translate.z, 2.0f, 1e-6f);
  EXPECT_TRUE(out->IsBone());
  EXPECT_FALSE(out->IsActive());
  EXPECT_TRUE(e.scene.Context().materialCache.empty()) << "the material is not converted";
}

TEST(CreateMesh, ReportsEveryStep) {
  SceneBuilder b;
  b.AddNode("Box").Mesh(Square(1, 1));
  b.AddNode("Empty").Mesh(MeshDesc());
  ExportScene s(b);
  s.Context().BuildNodes(0);
  const std::size_t before = s.Scene().ProgressLog().size();
  const int start = s.Context().progress;
  s.Context().CreateMeshes();
  std::vector<std::string> texts;
  std::vector<int> percents;
  for (std::size_t i = before; i < s.Scene().ProgressLog().size(); ++i) {
    texts.push_back(s.Scene().ProgressLog()[i].text);
    percents.push_back(s.Scene().ProgressLog()[i].percent);
  }
  EXPECT_EQ(texts, (std::vector<std::string>{"Create Mesh", "Create Mesh: Box", "Create Normal: Box",
                                             "Optimize Normal: Box", "Create UVWMap: Box", "Create Material: Box",
                                             "Optimize: Box", "Control data: Box", "Create Mesh: Empty"}));
  EXPECT_EQ(percents.front(), start + 14);
  EXPECT_EQ(percents[1], start + 15);
  EXPECT_EQ(percents[7], start + 15);
  EXPECT_EQ(percents.back(), start + 16);
}

TEST(CreateMesh, NullArgumentsAndUnconvertedNodesBuildNothing) {
  SceneBuilder b;
  b.AddNode("A").Mesh(Square(1, 1));
  ExportScene s(b);
  s.Context().CreateMeshes();  // no root yet
  EXPECT_FALSE(s.Context().root);
  s.Context().BuildNodes(0);
  KT::CNode* a = Converted(s.Context(), u"A");
  ASSERT_NE(a, nullptr);
  s.Context().CreateMesh(nullptr, s.Node(0), 0);
  s.Context().CreateMesh(a, nullptr, 0);
  EXPECT_EQ(a->GetChildCount(), 0u);
  s.Context().root->RemoveChild(a);
  s.Context().CreateMeshes();
  EXPECT_EQ(s.Context().root->GetChildCount(), 0u);
}

TEST(CompactSubMaterials, RefusesWhatItCannotCompact) {
  KT::CPointer<CTriMeshData> data;
  ASSERT_EQ(CTriMeshData::Create(data), KT::kOk);
  KT::CPointer<KT::CMultiMaterial> multi(new KT::CMultiMaterial());
  KT::CPointer<KT::CStandardMaterial> standard(new KT::CStandardMaterial());
  KT::CPointer<KT::CGeometryData> plain(new KT::CGeometryData());
  EXPECT_EQ(CompactSubMaterials(nullptr, multi.Get()), KT::kErrInvalidArg);
  EXPECT_EQ(CompactSubMaterials(plain.Get(), multi.Get()), KT::kErrNotFound);
  EXPECT_EQ(CompactSubMaterials(data.Get(), standard.Get()), KT::kErrNotFound);
  EXPECT_EQ(CompactSubMaterials(data.Get(), nullptr), KT::kErrNotFound);

  // Every sub-material in use: nothing changes.
  multi->AddSubMaterial(standard.Get());
  multi->AddSubMaterial(standard.Get());
  ASSERT_EQ(data->GetTriangleMtlID().Create(3), KT::kOk);
  data->GetTriangleMtlID()[0] = 1;
  data->GetTriangleMtlID()[2] = 1;
  EXPECT_EQ(CompactSubMaterials(data.Get(), multi.Get()), KT::kDone);
  EXPECT_EQ(Values(data->GetTriangleMtlID()), (std::vector<KT::u32>{1, 0, 1}));

  // Ids past the list wrap round it; large ids are ranked too.
  data->GetTriangleMtlID()[0] = 0x7FFFFFF1u;  // modulo 2: entry 1
  data->GetTriangleMtlID()[1] = 0x7FFFFFF1u;
  data->GetTriangleMtlID()[2] = 0x7FFFFFF1u;
  EXPECT_EQ(CompactSubMaterials(data.Get(), multi.Get()), KT::kOk);
  EXPECT_EQ(Values(data->GetTriangleMtlID()), (std::vector<KT::u32>{0, 0, 0}));
  EXPECT_EQ(multi->GetSubMaterialCount(), 1u);
}

TEST(TriMeshMaterial, IsTheFirstMaterialOfLevelZero) {
  KT::CPointer<CTriMesh> mesh;
  ASSERT_EQ(CTriMesh::Create(mesh), KT::kOk);
  KT::CPointer<KT::CStandardMaterial> first(new KT::CStandardMaterial());
  KT::CPointer<KT::CStandardMaterial> second(new KT::CStandardMaterial());
  KT::CPointer<KT::CTextureMap> other(new KT::CTextureMap());
  EXPECT_EQ(mesh->SetMaterial(first.Get()), KT::kErrOutOfRange) << "no level";
  KT::CPointer<CTriMeshData> data;
  ASSERT_EQ(CTriMeshData::Create(data), KT::kOk);
  ASSERT_EQ(mesh->SetSingleLod(data.Get()), KT::kOk);
  EXPECT_EQ(mesh->GetMaterial(), nullptr);
  EXPECT_EQ(mesh->SetMaterial(other.Get()), KT::kErrInvalidArg);
  EXPECT_EQ(mesh->SetMaterial(nullptr), KT::kErrInvalidArg);
  ASSERT_EQ(mesh->AddLodObject(0, other.Get()), KT::kOk);
  ASSERT_EQ(mesh->SetMaterial(first.Get()), KT::kOk);
  EXPECT_EQ(mesh->GetMaterial(), first.Get());
  ASSERT_EQ(mesh->GetLodObjects()[0].size(), 2u);
  EXPECT_EQ(mesh->GetLodObjects()[0][0].Get(), first.Get()) << "put first";
  ASSERT_EQ(mesh->SetMaterial(second.Get()), KT::kOk);
  EXPECT_EQ(mesh->GetMaterial(), second.Get());
  ASSERT_EQ(mesh->GetLodObjects()[0].size(), 2u) << "replaced in place";
  EXPECT_EQ(mesh->GetLodObjects()[0][1].Get(), other.Get());
}

// The control-data pass reaches each recognised modifier in index order.
class RecordingDrn : public CMaxDrn {
 public:
  using CMaxDrn::CMaxDrn;
  struct Call {
    std::string pass;
    KT::CTriMesh* mesh;
    INode* node;
    TimeValue t;
    Modifier* mod;
    ModContext* mc;
  };
  void ExportSkinModifier(KT::CTriMesh* mesh, INode* node, TimeValue t, Modifier* mod) override {
    calls.push_back({"skin", mesh, node, t, mod, nullptr});
  }
  void ExportPhysique(KT::CTriMesh* mesh, INode* node, TimeValue t, Modifier* mod) override {
    calls.push_back({"physique", mesh, node, t, mod, nullptr});
  }
  void ExportMorph(KT::CTriMesh* mesh, INode* node, TimeValue t, Modifier* mod) override {
    calls.push_back({"morph", mesh, node, t, mod, nullptr});
  }
  void ExportSelectionSets(KT::CTriMesh* mesh, INode* node, TimeValue t, Modifier* mod, ModContext* mc) override {
    calls.push_back({"selection", mesh, node, t, mod, mc});
  }
  void ExportUvwAnimation(KT::CTriMesh* mesh, INode* node, TimeValue t, Modifier* mod, ModContext* mc) override {
    calls.push_back({"uvw", mesh, node, t, mod, mc});
  }
  std::vector<Call> calls;
};

KT::Host::ModifierDesc Modifier(KT::Host::ModifierKind kind, bool excluded = false) {
  KT::Host::ModifierDesc desc;
  desc.kind = kind;
  desc.excluded = excluded;
  return desc;
}

TEST(ExportModifierData, DispatchesEachRecognisedModifierInIndexOrder) {
  using KT::Host::ModifierKind;
  SceneBuilder b;
  // Pushed bottom first: index 0 is the last one pushed.
  b.AddNode("A")
      .Mesh(Square(1, 1))
      .Modifier(Modifier(ModifierKind::kSkin))
      .Modifier(Modifier(ModifierKind::kPhysique))
      .Modifier(Modifier(ModifierKind::kMorpher))
      .Modifier(Modifier(ModifierKind::kMeshSelect))
      .Modifier(Modifier(ModifierKind::kMeshSelect, true))
      .Modifier(Modifier(ModifierKind::kUvwMap))
      .Modifier(Modifier(ModifierKind::kUvwMap, true))
      .Modifier(Modifier(ModifierKind::kUnwrap))
      .Modifier(Modifier(ModifierKind::kUnwrap, true))
      .Modifier(Modifier(ModifierKind::kSkin, true));  // the exclusion query matters only to the last three
  std::unique_ptr<KT::Host::HostScene> scene = b.Make();
  ASSERT_TRUE(scene);
  KT::Host::ActiveHostScene active(*scene);
  RecordingDrn context(scene.get(), scene.get(), false);
  context.BuildNodes(0);
  context.CreateMeshes();
  CTriMesh* mesh = MeshOf(context, u"A");
  ASSERT_NE(mesh, nullptr);
  INode* node = scene->NodeAt(0);
  auto* derived = dynamic_cast<IDerivedObject*>(node->GetObjectRef());
  ASSERT_NE(derived, nullptr);

  const std::vector<std::pair<std::string, int>> expected = {
      {"skin", 0}, {"uvw", 2}, {"uvw", 4}, {"selection", 6}, {"morph", 7}, {"physique", 8}, {"skin", 9}};
  ASSERT_EQ(context.calls.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    const RecordingDrn::Call& call = context.calls[i];
    EXPECT_EQ(call.pass, expected[i].first) << i;
    EXPECT_EQ(call.mod, derived->GetModifier(expected[i].second)) << i;
    EXPECT_EQ(call.mesh, mesh);
    EXPECT_EQ(call.node, node);
    EXPECT_EQ(call.t, 0);
    if (call.pass == "selection" || call.pass == "uvw") {
      EXPECT_EQ(call.mc, derived->GetModContext(expected[i].second)) << i;
    }
  }
}

TEST(ExportModifierData, ANodeWithoutModifiersReachesNoPass) {
  SceneBuilder b;
  b.AddNode("A").Mesh(Square(1, 1));
  std::unique_ptr<KT::Host::HostScene> scene = b.Make();
  KT::Host::ActiveHostScene active(*scene);
  RecordingDrn context(scene.get(), scene.get(), false);
  context.ExportModifierData(nullptr, scene->NodeAt(0), 0);
  context.ExportModifierData(nullptr, nullptr, 0);
  EXPECT_TRUE(context.calls.empty());
}

}  // namespace
