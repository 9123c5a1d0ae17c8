#include <cstdio>

#include "controllers/core/keyframe_control.h"
#include "controllers/core/rts_control.h"
#include "objectmodel/math_functions.h"
#include "objectmodel/quaternion.h"
#include "objectmodel/raw_data.h"
#include "scene/node.h"
#include "scene/sel_node.h"
#include "scene/tri_mesh.h"
#include "scene/tri_mesh_data.h"
#include "scene/uvw_map.h"
#include "objectmodel/stream.h"
#include "objectmodel/version_data.h"
#include "render/pixel_buffer.h"
#include "render/thumbnail.h"
#include "tools/drn/commands.h"
#include "tools/drn/scene_file.h"

namespace drn {

namespace {

constexpr KT::f32 kFps = 30.0f;

KT::CRtsTransform Turn(KT::f32 degrees, KT::f32 x, KT::f32 y, KT::f32 z) {
  KT::CRtsTransform t = KT::kIdentityTransform;
  t.Rotate = KT::CQuaternion::FromAxisAngle(KT::CVector3<float>{0.0f, 0.0f, 1.0f}, degrees * KT::kDegreesToRadians);
  t.Translate = {x, y, z};
  return t;
}

// A node with a keyframe controller turning it about Z from `from` to `to`
// degrees over one second.
KT::Result AddAnimatedNode(KT::CNode& parent, const char16_t* name, KT::f32 x, KT::f32 from, KT::f32 to,
                           KT::u32 transition, KT::CPointer<KT::CNode>& node) {
  KT::Result r = KT::CNode::Create(node);
  if (KT::Failed(r)) return r;
  node->SetName(name);
  node->SetBasis(Turn(0.0f, x, 0.0f, 0.0f));
  KT::CPointer<KT::CKeyframeControl> keys(new KT::CKeyframeControl());
  keys->SetName(std::u16string(name) + u" keys");
  keys->SetRepeat(KT::CControl::RT_CYCLE);
  r = keys->AddRtsKey(0, kFps, Turn(from, x, 0.0f, 0.0f));
  if (KT::Succeeded(r)) r = keys->AddRtsKey(1000, kFps, Turn(to, x, 0.0f, 0.0f), transition);
  if (KT::Succeeded(r)) r = node->AddControl(keys.Get());
  if (KT::Succeeded(r)) r = parent.AddChild(node.Get());
  return r;
}

// A cube of edge `size` with one UV channel (each face mapped to the unit
// square) and two materials, taken through the mesh builders.
KT::Result MakeTexturedCube(KT::f32 size, KT::CPointer<KT::CTriMeshData>& mesh) {
  KT::Result r = KT::CTriMeshData::Create(mesh);
  if (KT::Succeeded(r)) r = mesh->AllocateXYZ(8);
  if (KT::Succeeded(r)) r = mesh->AllocateNormal(6);
  if (KT::Succeeded(r)) r = mesh->SetTriangleQuantity(12);
  if (KT::Succeeded(r)) r = mesh->AllocateTriangleMtlID();
  if (KT::Failed(r)) return r;
  for (KT::u32 i = 0; i < 8; ++i) {
    mesh->GetXYZ()[i] = {size * static_cast<KT::f32>(i & 1), size * static_cast<KT::f32>((i >> 1) & 1),
                         size * static_cast<KT::f32>(i >> 2)};
  }
  KT::CPointer<KT::CUvwMap> channel;
  KT::CPointer<KT::CUvwMapData> corners;
  r = KT::CUvwMap::Create(channel);
  if (KT::Succeeded(r)) r = KT::CUvwMapData::Create(corners);
  if (KT::Succeeded(r)) r = channel->AllocateUvw(4);
  if (KT::Succeeded(r)) r = corners->AllocateUvwTriIndex(12);
  if (KT::Failed(r)) return r;
  const KT::CVector3<float> square[4] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
  for (KT::u32 i = 0; i < 4; ++i) channel->GetUVW()[i] = square[i];
  // Each face as four positions counter-clockwise seen from outside.
  const KT::u32 faces[6][4] = {{0, 2, 3, 1}, {4, 5, 7, 6}, {0, 1, 5, 4}, {2, 6, 7, 3}, {0, 4, 6, 2}, {1, 3, 7, 5}};
  KT::u32 c = 0;
  for (KT::u32 f = 0; f < 6; ++f) {
    for (KT::u32 corner : {0u, 1u, 2u, 0u, 2u, 3u}) {
      mesh->GetXYZTriIndex()[c] = faces[f][corner];
      mesh->GetNormalTriIndex()[c] = f;
      corners->GetUVWTriIndex()[c] = corner;
      ++c;
    }
    mesh->GetTriangleMtlID()[2 * f] = f % 2;
    mesh->GetTriangleMtlID()[2 * f + 1] = f % 2;
  }
  channel->SetUvwMapData(corners.Get());
  r = mesh->CompactNormalIndices();
  if (KT::Succeeded(r)) r = mesh->ComputeVertexNormals();
  if (KT::Succeeded(r)) r = mesh->AddUvwMap(channel.Get());
  if (KT::Succeeded(r)) r = mesh->BuildVertexTriIndex();
  if (KT::Succeeded(r)) r = mesh->SortByMaterial();
  return r;
}

// A small scene that uses every persistent class of the library.
KT::Result BuildSample(KT::CStream& stream) {
  KT::CPointer<KT::CCustomData> root(new KT::CCustomData());
  root->SetName(u"Sample");
  KT::CPointer<KT::CRawData> raw(new KT::CRawData());
  raw->SetName(u"Bytes");
  const KT::u8 bytes[] = {0x4B, 0x54, 0x00, 0xFF, 0x10, 0x20};
  KT::Result r = raw->SetData(sizeof(bytes), bytes);
  KT::CPointer<KT::CXmlRawData> xml(new KT::CXmlRawData());
  xml->SetName(u"Script");
  const char script[] =
      "<?xml version='1.0' encoding='UTF-8'?><zObject Name='Object'><Commands><Perform></Perform>"
      "</Commands><Clips></Clips></zObject>";
  if (KT::Succeeded(r)) r = xml->SetData(sizeof(script) - 1, script);
  if (KT::Succeeded(r)) r = root->SetNext(raw.Get());
  if (KT::Succeeded(r)) r = raw->SetNext(xml.Get());
  if (KT::Failed(r)) return r;

  KT::CPointer<KT::CVersionData> version(new KT::CVersionData());
  version->SetName(u"FileAppVersion");
  version->SetApp(u"drn sample", 5000100);
  version->SetDescription(u"written by drn sample");
  version->SetDataVersion(0xFFFFFFFFu);

  KT::CPointer<KT::CRawData> listed(new KT::CRawData());
  listed->SetName(u"Listed");
  const KT::u8 note[] = {'n', 'o', 't', 'e'};
  listed->SetData(sizeof(note), note);

  // A 16 x 16 gradient as the preview picture (layout 0: 4 bytes per pixel).
  KT::KTImage picture;
  r = KT::PixelBuffer::Create(picture, 0, 16, 16);
  if (KT::Failed(r)) return r;
  for (KT::i32 y = 0; y < picture.Height; ++y) {
    KT::u8* row = picture.Pixels + static_cast<std::size_t>(y) * picture.Stride;
    for (KT::i32 x = 0; x < picture.Width; ++x) {
      row[4 * x + 0] = static_cast<KT::u8>(x * 16);
      row[4 * x + 1] = static_cast<KT::u8>(y * 16);
      row[4 * x + 2] = 0x80;
      row[4 * x + 3] = 0xFF;
    }
  }
  KT::CPointer<KT::CThumbnail> thumbnail(new KT::CThumbnail());
  r = thumbnail->SetImage(picture);
  KT::PixelBuffer::Free(picture);
  if (KT::Failed(r)) return r;

  // An animated arm: shoulder, upper arm, forearm and a sibling hand.
  KT::CPointer<KT::CNode> scene;
  r = KT::CNode::Create(scene);
  if (KT::Failed(r)) return r;
  scene->SetName(u"Scene");
  KT::CPointer<KT::CNode> upper, fore, sibling;
  r = AddAnimatedNode(*scene, u"UpperArm", 0.0f, 0.0f, 90.0f, KT::TT_LINEAR, upper);
  if (KT::Succeeded(r)) r = AddAnimatedNode(*upper, u"ForeArm", 2.0f, 0.0f, 45.0f, KT::TT_EASE_IN_OUT, fore);
  if (KT::Succeeded(r)) r = AddAnimatedNode(*scene, u"Sibling", -1.0f, 0.0f, -30.0f, KT::TT_EASE_OUT, sibling);
  if (KT::Failed(r)) return r;
  sibling->SetInherited(KT::kInheritScaleBits);
  // A switch of three animated options; only the selected one (the first)
  // is shown and animated.
  KT::CPointer<KT::CSelNode> selection;
  r = KT::CSelNode::Create(selection);
  if (KT::Failed(r)) return r;
  selection->SetName(u"Switch");
  r = scene->AddChild(selection.Get());
  const char16_t* const options[] = {u"Option0", u"Option1", u"Option2"};
  for (int i = 0; i < 3 && KT::Succeeded(r); ++i) {
    KT::CPointer<KT::CNode> option;
    r = AddAnimatedNode(*selection, options[i], 3.0f + static_cast<KT::f32>(i), 0.0f, 30.0f * static_cast<KT::f32>(i + 1),
                        KT::TT_LINEAR, option);
  }
  if (KT::Failed(r)) return r;
  // A textured cube with two levels of detail, carried by the forearm.
  KT::CPointer<KT::CTriMesh> cube(new KT::CTriMesh());
  cube->SetName(u"Cube");
  KT::CPointer<KT::CTriMeshData> fine, coarse;
  r = MakeTexturedCube(1.0f, fine);
  if (KT::Succeeded(r)) r = MakeTexturedCube(1.0f, coarse);
  if (KT::Succeeded(r)) r = cube->SetLods(std::vector<KT::CGeometryData*>{fine.Get(), coarse.Get()});
  // Only transform controllers place spatials: one key holds the cube at
  // the end of the forearm.
  KT::CPointer<KT::CKeyframeControl> cubeKeys(new KT::CKeyframeControl());
  if (KT::Succeeded(r)) r = cubeKeys->AddRtsKey(0, kFps, Turn(0.0f, 1.0f, 0.0f, 0.0f));
  if (KT::Succeeded(r)) r = cube->AddControl(cubeKeys.Get());
  if (KT::Succeeded(r)) r = fore->AddChild(cube.Get());
  if (KT::Failed(r)) return r;
  // The custom data chain rides on the scene root.
  r = scene->AddCustomData(root.Get());
  if (KT::Failed(r)) return r;

  stream.AddRootObject(scene.Get());
  stream.AddExtendInfo(version.Get());
  stream.AddObject(listed.Get());
  stream.SetThumbnail(thumbnail.Get());
  return KT::kOk;
}

}  // namespace

int RunSample(int argc, char** argv) {
  if (argc != 1) {
    std::fprintf(stderr, "usage: drn sample OUT\n");
    return 2;
  }
  KT::CStream stream;
  KT::Result r = BuildSample(stream);
  if (KT::Succeeded(r)) r = SaveSceneFile(argv[0], KT::CStream::kAllSections, stream);
  return FinishWithResult(r);
}

}  // namespace drn
