#include "examples/sample_scene.h"

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "audio/audio_cue.h"
#include "audio/audio_data.h"
#include "audio/audio_instance.h"
#include "audio/audio_source.h"
#include "audio/audio_track.h"
#include "controllers/composite/blink_control.h"
#include "controllers/composite/data_selector_control.h"
#include "controllers/composite/data_switcher_control.h"
#include "controllers/composite/look_at_control.h"
#include "controllers/composite/material_layer_control.h"
#include "controllers/composite/link_control.h"
#include "controllers/composite/path_control.h"
#include "controllers/composite/share_control.h"
#include "controllers/composite/rts_offset_control.h"
#include "controllers/composite/rts_layer_control.h"
#include "controllers/composite/rts_selector_control.h"
#include "controllers/composite/rts_switcher_control.h"
#include "controllers/composite/physics_soft_control.h"
#include "controllers/keyed/connect_control.h"
#include "controllers/core/bone_skin_control.h"
#include "controllers/core/clip_key.h"
#include "controllers/core/data_clip_control.h"
#include "controllers/core/keyframe_control.h"
#include "controllers/core/mesh_sel_control.h"
#include "controllers/core/morph_control.h"
#include "controllers/core/rts_clip_control.h"
#include "controllers/core/uvw_map_control.h"
#include "controllers/composite/boolean_control.h"
#include "controllers/composite/node_layer_clip_control.h"
#include "controllers/composite/node_sel_data_clip_control.h"
#include "controllers/composite/spring_control.h"
#include "controllers/composite/flexi_control.h"
#include "controllers/composite/flexi_data.h"
#include "controllers/composite/particle_atom_control.h"
#include "controllers/composite/particle_control.h"
#include "controllers/composite/particle_emit_control.h"
#include "controllers/keyed/data_description_control.h"
#include "controllers/keyed/node_attribute_control.h"
#include "controllers/keyed/node_layer_control.h"
#include "controllers/keyed/node_sel_control.h"
#include "controllers/keyed/hdr_control.h"
#include "controllers/keyed/image_light_control.h"
#include "controllers/keyed/post_effect_control.h"
#include "controllers/keyed/video_control.h"
#include "controllers/keyed/video_track_control.h"
#include "controllers/composite/camera_keyframe_control.h"
#include "controllers/composite/keyframe_clip_control.h"
#include "controllers/keyed/camera_target.h"
#include "environment/scene.h"
#include "environment/sky.h"
#include "environment/terrain.h"
#include "environment/water.h"
#include "controllers/keyed/anm_image_control.h"
#include "controllers/keyed/material_control.h"
#include "controllers/keyed/material_uv_control.h"
#include "environment/grass.h"
#include "environment/height_map.h"
#include "environment/height_map_material.h"
#include "environment/tree.h"
#include "environment/tree_instance.h"
#include "environment/wind.h"
#include "examples/sample_tree.h"
#include "objectmodel/math_functions.h"
#include "objectmodel/matrix4.h"
#include "objectmodel/quaternion.h"
#include "objectmodel/raw_data.h"
#include "objectmodel/stream.h"
#include "objectmodel/version_data.h"
#include "render/effects/camera_switcher.h"
#include "render/effects/camera_switcher_control.h"
#include "render/effects/image_layer.h"
#include "render/effects/image_light.h"
#include "render/effects/post_effect.h"
#include "render/effects/video.h"
#include "render/effects/video_map.h"
#include "render/effects/video_track.h"
#include "render/images/anm_image.h"
#include "render/images/image.h"
#include "render/images/image_codec.h"
#include "render/images/pixel_buffer.h"
#include "render/images/thumbnail.h"
#include "render/lights/camera.h"
#include "render/lights/camera_control.h"
#include "render/lights/directional_light.h"
#include "render/lights/light_control.h"
#include "render/lights/point_light.h"
#include "render/lights/point_light_control.h"
#include "render/lights/spot_light.h"
#include "render/lights/spot_light_control.h"
#include "scene/billboard.h"
#include "scene/billboard_node.h"
#include "scene/bounding_box.h"
#include "scene/bounding_mesh.h"
#include "scene/geometry_data.h"
#include "scene/group_tri_mesh.h"
#include "scene/mirror_surface.h"
#include "scene/node.h"
#include "scene/particles.h"
#include "scene/path.h"
#include "scene/sel_node.h"
#include "scene/tri_mesh.h"
#include "scene/tri_mesh_data.h"
#include "scene/uvw_map.h"
#include "treeruntime/tree_wind.h"
#include "shapes/bitmap_fill_style.h"
#include "shapes/edge.h"
#include "shapes/fill_style.h"
#include "shapes/gradient_fill_style.h"
#include "shapes/group_shape.h"
#include "shapes/line_style.h"
#include "shapes/morph_controls.h"
#include "shapes/shape.h"
#include "shapes/shape_instance.h"
#include "shapes/style_controls.h"
#include "render/materials/blend_texture.h"
#include "render/materials/compound_materials.h"
#include "render/materials/material_attribute_control.h"
#include "render/materials/standard_material.h"
#include "render/materials/texture_maps.h"

namespace KT {

namespace {

using Vec3 = CVector3<float>;

constexpr f32 kFps = 30.0f;

// The six faces of a box over the corners i = 0..7 at (i & 1, (i >> 1) & 1,
// i >> 2), each as four corners counter-clockwise seen from outside.
constexpr u32 kBoxFaces[6][4] = {{0, 2, 3, 1}, {4, 5, 7, 6}, {0, 1, 5, 4}, {2, 6, 7, 3}, {0, 4, 6, 2}, {1, 3, 7, 5}};
// The two triangles of a quad, as corners of the quad.
constexpr u32 kQuadCorners[6] = {0, 1, 2, 0, 2, 3};

// Corner i of the box [min, min + size].
Vec3 BoxCorner(u32 i, const Vec3& min, const Vec3& size) {
  return {min.x + size.x * static_cast<f32>(i & 1), min.y + size.y * static_cast<f32>((i >> 1) & 1),
          min.z + size.z * static_cast<f32>(i >> 2)};
}

CRtsTransform Turn(f32 degrees, f32 x, f32 y, f32 z) {
  CRtsTransform t = kIdentityTransform;
  t.Rotate = CQuaternion::FromAxisAngle(Vec3{0.0f, 0.0f, 1.0f}, degrees * kDegreesToRadians);
  t.Translate = {x, y, z};
  return t;
}

CMatrix4 Translation(f32 x, f32 y, f32 z) {
  CMatrix4 m;
  m.SetTranslation({x, y, z});
  return m;
}

// --- animation helpers -------------------------------------------------------------------------

struct Key {
  i32 time;
  CRtsTransform pose;
  u32 transition = TT_LINEAR;
};

// A cycling keyframe controller called `name` with `keys`.
Result MakeKeys(const std::u16string& name, std::initializer_list<Key> keys, CPointer<CKeyframeControl>& out) {
  out = new CKeyframeControl();
  out->SetName(name);
  out->SetRepeat(CControl::RT_CYCLE);
  Result r = kOk;
  for (const Key& key : keys) {
    if (Succeeded(r)) r = out->AddRtsKey(key.time, kFps, key.pose, key.transition);
  }
  return r;
}

// Names `spatial`, rests it at the first key's pose, animates it by `keys`
// and hangs it under `parent`. Only transform controllers place spatials,
// so a spatial that stays put still gets a controller of one key. No keys:
// kErrInvalidArg.
Result AddAnimated(CNode& parent, CSpatial& spatial, const char16_t* name, std::initializer_list<Key> keys) {
  if (keys.size() == 0) return kErrInvalidArg;
  spatial.SetName(name);
  spatial.SetBasis(keys.begin()->pose);
  CPointer<CKeyframeControl> controller;
  Result r = MakeKeys(std::u16string(name) + u" keys", keys, controller);
  if (Succeeded(r)) r = spatial.AddControl(controller.Get());
  if (Succeeded(r)) r = parent.AddChild(&spatial);
  return r;
}

Result AddPlaced(CNode& parent, CSpatial& spatial, const char16_t* name, f32 x, f32 y, f32 z) {
  return AddAnimated(parent, spatial, name, {{0, Turn(0.0f, x, y, z)}});
}

// A node turning about Z from `from` to `to` degrees over one second at
// (x, 0, 0), the second key reached with `transition`.
Result AddTurningNode(CNode& parent, const char16_t* name, f32 x, f32 from, f32 to, u32 transition,
                      CPointer<CNode>& node) {
  Result r = CNode::Create(node);
  if (Succeeded(r)) {
    r = AddAnimated(parent, *node, name, {{0, Turn(from, x, 0.0f, 0.0f)}, {1000, Turn(to, x, 0.0f, 0.0f), transition}});
  }
  return r;
}

// --- mesh helpers ------------------------------------------------------------------------------

// A UV channel mapping each of `quads` quads (two triangles each, corners
// as kQuadCorners) to the unit square.
Result MakeSquareChannel(u32 quads, CPointer<CUvwMap>& channel) {
  CPointer<CUvwMapData> corners;
  Result r = CUvwMap::Create(channel);
  if (Succeeded(r)) r = CUvwMapData::Create(corners);
  if (Succeeded(r)) r = channel->AllocateUvw(4);
  if (Succeeded(r)) r = corners->AllocateUvwTriIndex(2 * quads);
  if (Failed(r)) return r;
  const Vec3 square[4] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
  for (u32 i = 0; i < 4; ++i) channel->GetUVW()[i] = square[i];
  for (u32 c = 0; c < 6 * quads; ++c) corners->GetUVWTriIndex()[c] = kQuadCorners[c % 6];
  channel->SetUvwMapData(corners.Get());
  return kOk;
}

// A box of the given edge lengths with its minimum at the origin, one UV
// channel (each face mapped to the unit square) and two materials, taken
// through the mesh builders.
Result MakeTexturedBox(const Vec3& size, CPointer<CTriMeshData>& mesh) {
  Result r = CTriMeshData::Create(mesh);
  if (Succeeded(r)) r = mesh->AllocateXYZ(8);
  if (Succeeded(r)) r = mesh->AllocateNormal(6);
  if (Succeeded(r)) r = mesh->SetTriangleQuantity(12);
  if (Succeeded(r)) r = mesh->AllocateTriangleMtlID();
  if (Failed(r)) return r;
  for (u32 i = 0; i < 8; ++i) mesh->GetXYZ()[i] = BoxCorner(i, Vec3{0.0f, 0.0f, 0.0f}, size);
  CPointer<CUvwMap> channel;
  r = MakeSquareChannel(6, channel);
  if (Failed(r)) return r;
  u32 c = 0;
  for (u32 f = 0; f < 6; ++f) {
    for (u32 corner : kQuadCorners) {
      mesh->GetXYZTriIndex()[c] = kBoxFaces[f][corner];
      mesh->GetNormalTriIndex()[c] = f;
      ++c;
    }
    mesh->GetTriangleMtlID()[2 * f] = f % 2;
    mesh->GetTriangleMtlID()[2 * f + 1] = f % 2;
  }
  r = mesh->CompactNormalIndices();
  if (Succeeded(r)) r = mesh->ComputeVertexNormals();
  if (Succeeded(r)) r = mesh->AddUvwMap(channel.Get());
  if (Succeeded(r)) r = mesh->BuildVertexTriIndex();
  if (Succeeded(r)) r = mesh->SortByMaterial();
  // A loaded mesh recomputes its box; one that is built does it here.
  mesh->UpdateBoundingBox();
  return r;
}

// Plain vertex data: the positions of a `width` x `height` quad in the XY
// plane, centred on the origin.
Result MakeQuadLevel(const char16_t* name, f32 width, f32 height, CPointer<CGeometryData>& level) {
  Result r = CGeometryData::Create(level);
  if (Succeeded(r)) r = level->AllocateXYZ(4);
  if (Failed(r)) return r;
  level->SetName(name);
  const f32 x = 0.5f * width;
  const f32 y = 0.5f * height;
  const Vec3 corners[4] = {{-x, -y, 0}, {x, -y, 0}, {x, y, 0}, {-x, y, 0}};
  for (u32 i = 0; i < 4; ++i) level->GetXYZ()[i] = corners[i];
  level->UpdateBoundingBox();
  return kOk;
}

// Keys the current coordinates of `map` at `time`, then moves every
// coordinate by `shift` (so that the next key differs).
Result KeyAndShift(CUvwMapControl& control, CUvwMap& map, i32 time, const Vec3& shift) {
  const Result r = control.SetKey(time, kFps, &map, TT_LINEAR);
  for (Vec3& uvw : map.GetUVW()) uvw = uvw + shift;
  return r;
}

// --- the parts of the scene --------------------------------------------------------------------

// The custom data chain "Sample" -> "Bytes" -> "Script".
Result MakeCustomData(CPointer<CCustomData>& root) {
  root = new CCustomData();
  root->SetName(u"Sample");
  CPointer<CRawData> raw(new CRawData());
  raw->SetName(u"Bytes");
  const u8 bytes[] = {0x4B, 0x54, 0x00, 0xFF, 0x10, 0x20};
  Result r = raw->SetData(sizeof(bytes), bytes);
  CPointer<CXmlRawData> xml(new CXmlRawData());
  xml->SetName(u"Script");
  const char script[] =
      "<?xml version='1.0' encoding='UTF-8'?><zObject Name='Object'><Commands><Perform></Perform>"
      "</Commands><Clips></Clips></zObject>";
  if (Succeeded(r)) r = xml->SetData(sizeof(script) - 1, script);
  if (Succeeded(r)) r = root->SetNext(raw.Get());
  if (Succeeded(r)) r = raw->SetNext(xml.Get());
  return r;
}

// A 16 x 16 gradient as the preview picture (layout 0: 4 bytes per pixel).
Result MakeThumbnail(CPointer<CThumbnail>& thumbnail) {
  KTImage picture;
  Result r = PixelBuffer::Create(picture, 0, 16, 16);
  if (Failed(r)) return r;
  for (i32 y = 0; y < picture.Height; ++y) {
    u8* row = picture.Pixels + static_cast<std::size_t>(y) * picture.Stride;
    for (i32 x = 0; x < picture.Width; ++x) {
      row[4 * x + 0] = static_cast<u8>(x * 16);
      row[4 * x + 1] = static_cast<u8>(y * 16);
      row[4 * x + 2] = 0x80;
      row[4 * x + 3] = 0xFF;
    }
  }
  thumbnail = new CThumbnail();
  r = thumbnail->SetImage(picture);
  PixelBuffer::Free(picture);
  return r;
}

// The cube's surfaces, owned by its first level: "CubeMaterial", a standard
// material whose diffuse channel maps an embedded 4 x 4 image and whose
// ambient colour goes from black at 0 ms to white at 1000 ms, with a
// normal-bump, a blend, a refraction and a cube texture in their channels;
// and "CubeFaces", a multi material holding a blend of two standard
// materials under a mask.
Result AddCubeMaterials(CTriMesh& cube) {
  CPointer<CImage> skin(new CImage());
  skin->SetName(u"CubeSkin");
  Result r = PixelBuffer::Create(skin->EditImage(), PixelLayout::kBgr8, 4, 4);
  if (Failed(r)) return r;
  for (i32 y = 0; y < 4; ++y) {
    u8* row = skin->EditImage().Pixels + static_cast<std::size_t>(y) * skin->GetImage().Stride;
    for (i32 x = 0; x < 12; ++x) row[x] = static_cast<u8>(0x40 * ((x / 3 + y) % 4));
  }
  skin->SetEmbedFormat(ImageFormat::kPng);
  r = skin->PrepareRuntime(nullptr);
  if (Failed(r)) return r;

  CPointer<CStandardMaterial> material(new CStandardMaterial());
  material->SetName(u"CubeMaterial");
  CPointer<CTextureMap> diffuse(new CTextureMap());
  diffuse->SetImage(skin.Get());
  material->SetTexture(CStandardMaterial::kDiffuse, diffuse.Get());
  CPointer<CNormalBumpTex> bump(new CNormalBumpTex());
  CPointer<CTextureMap> normal(new CTextureMap());
  normal->SetUvwChannel(1);
  bump->SetNormalTexture(normal.Get());
  material->SetTexture(CStandardMaterial::kBump, bump.Get());
  CPointer<CBlendTex> reflection(new CBlendTex());
  reflection->Weight1 = 0.5f;
  material->SetTexture(CStandardMaterial::kReflection, reflection.Get());
  material->SetTexture(CStandardMaterial::kRefraction, CPointer<CRefractionMap>(new CRefractionMap()).Get());
  material->SetTexture(CStandardMaterial::kCube, CPointer<CCubeMap>(new CCubeMap()).Get());

  CPointer<CMaterialAttributeControl> glow(new CMaterialAttributeControl());
  glow->SetName(u"CubeGlow");
  const Vec3 black{0.0f, 0.0f, 0.0f};
  const Vec3 white{1.0f, 1.0f, 1.0f};
  r = glow->SetLightKey(0, 30.0f, black, material->Diffuse, material->Specular, 0.5f, 1.0f, 0.0f);
  if (Succeeded(r)) r = glow->SetLightKey(1000, 30.0f, white, material->Diffuse, material->Specular, 0.5f, 1.0f, 0.0f);
  if (Succeeded(r)) r = material->AddControl(glow.Get());
  if (Failed(r)) return r;

  CPointer<CStandardMaterial> plain(new CStandardMaterial());
  plain->SetName(u"CubePlain");
  CPointer<CStandardMaterial> tinted(new CStandardMaterial());
  tinted->SetName(u"CubeTinted");
  tinted->Diffuse = Vec3{0.0f, 0.0f, 0.8f};
  CPointer<CBlendMaterial> mix(new CBlendMaterial());
  mix->SetName(u"CubeMix");
  mix->Blend = 0.5f;
  mix->SetMaterial(0, plain.Get());
  mix->SetMaterial(1, tinted.Get());
  mix->SetMask(CPointer<CTextureMap>(new CTextureMap()).Get());
  CPointer<CMultiMaterial> faces(new CMultiMaterial());
  faces->SetName(u"CubeFaces");
  faces->AddSubMaterial(mix.Get());

  r = cube.AddLodObject(0, material.Get());
  if (Succeeded(r)) r = cube.AddLodObject(0, faces.Get());
  return r;
}

// A textured cube with two levels of detail at the end of the forearm.
Result AddCube(CNode& fore) {
  CPointer<CTriMesh> cube(new CTriMesh());
  CPointer<CTriMeshData> fine, coarse;
  Result r = MakeTexturedBox(Vec3{1.0f, 1.0f, 1.0f}, fine);
  if (Succeeded(r)) r = MakeTexturedBox(Vec3{1.0f, 1.0f, 1.0f}, coarse);
  if (Succeeded(r)) r = cube->SetLods(std::vector<CGeometryData*>{fine.Get(), coarse.Get()});
  if (Succeeded(r)) r = AddCubeMaterials(*cube);
  if (Succeeded(r)) r = AddPlaced(fore, *cube, u"Cube", 1.0f, 0.0f, 0.0f);
  return r;
}

// An additive particle node named `name` with `capacity` slots.
Result MakeParticleNode(const char16_t* name, u32 capacity, CPointer<CParticles>& node) {
  CPointer<CGeometryData> slots;
  Result r = CGeometryData::Create(slots);
  if (Succeeded(r)) r = slots->AllocateXYZ(1);
  if (Failed(r)) return r;
  slots->SetName(std::u16string(name) + u" slots");
  node = new CParticles();
  node->SetName(name);
  node->SetBlendMode(CParticles::EAdditive);
  r = node->SetSingleLod(slots.Get());
  return Succeeded(r) ? node->SetMaxQuantity(capacity) : r;
}

// "Sparks preset": a particle node carrying the single-control layout of
// the sparks' settings. The layout is kept, not evaluated: its update ends
// the preset's own data update, and the scene's other objects go on.
Result MakeSparksPreset(CPointer<CParticles>& preset) {
  Result r = MakeParticleNode(u"Sparks preset", 16, preset);
  if (Failed(r)) return r;

  CPointer<CParticleControl> layout(new CParticleControl());
  layout->SetName(u"Sparks layout");
  ParticleSettings& s = layout->EditSettings();
  s.Gravity = 0.02f;
  s.EmitRate = 0.02f;
  s.EmitterSize = Vec3{0.2f, 0.2f, 0.2f};
  s.MaxLife = 600.0f;
  s.MinLife = 300.0f;
  CParticleControl::Looks& looks = layout->EditLooks();
  looks.Size1 = Vec3{0.1f, 0.1f, 0.0f};
  looks.Size2 = Vec3{0.0f, 0.0f, 0.0f};
  looks.Color1 = CColor{1.0f, 1.0f, 0.2f, 1.0f};
  looks.Color2 = CColor{0.6f, 0.0f, 0.0f, 0.0f};
  r = layout->SetKeys({0, 1200, 1500}, {true, false, true});
  if (Succeeded(r)) r = preset->AddControl(layout.Get());
  return r;
}

// The controllers of the sparks: bursts switched on and off, then the
// simulator of short-lived, shrinking sparks that fade from yellow to red
// as they fall.
Result AddSparkSimulator(CParticles& sparks) {
  CPointer<CParticleEmitControl> bursts(new CParticleEmitControl());
  bursts->SetName(u"Sparks bursts");
  Result r = bursts->SetKeys({0, 1200, 1500}, {true, false, true});
  if (Succeeded(r)) r = sparks.AddControl(bursts.Get());
  if (Failed(r)) return r;

  CPointer<CParticleAtomControl> atom(new CParticleAtomControl());
  atom->SetName(u"Sparks simulator");
  ParticleSettings& s = atom->EditSettings();
  s.Gravity = 0.02f;
  s.EmitRate = 0.02f;
  s.EmitterSize = Vec3{0.2f, 0.2f, 0.2f};
  s.MaxSpeed = Vec3{0.05f, 0.1f, 0.05f};
  s.MinSpeed = Vec3{-0.05f, 0.05f, -0.05f};
  s.MaxLife = 600.0f;
  s.MinLife = 300.0f;
  s.MaxAngle = 0.2f;
  s.MinAngle = -0.2f;
  s.DirRandomness = 4.0f;
  r = atom->SetKeys({{0.1f, 0.1f, 0.1f}, {0.05f, 0.05f, 0.05f}, {0.0f, 0.0f, 0.0f}},
                    {{1.0f, 1.0f, 0.2f, 1.0f}, {1.0f, 0.5f, 0.0f, 0.8f}, {0.6f, 0.0f, 0.0f, 0.0f}},
                    {0.0f, 0.5f, 1.0f});
  if (Succeeded(r)) r = sparks.AddControl(atom.Get());
  return r;
}

// A particle system of 16 slots beyond the cube.
Result AddSparks(CNode& fore) {
  // The preset comes first, so the sparks update after a node whose data
  // update ends early.
  CPointer<CParticles> preset;
  Result r = MakeSparksPreset(preset);
  if (Succeeded(r)) r = AddPlaced(fore, *preset, u"Sparks preset", 2.5f, 1.0f, 0.0f);
  if (Failed(r)) return r;
  CPointer<CParticles> sparks;
  r = MakeParticleNode(u"Sparks", 16, sparks);
  if (Failed(r)) return r;
  sparks->SetFaceToMode(CParticles::EFaceCam);
  sparks->SetSoftness(2);
  r = AddPlaced(fore, *sparks, u"Sparks", 2.5f, 0.0f, 0.0f);
  if (Succeeded(r)) r = AddSparkSimulator(*sparks);
  return r;
}

// A grouped mesh on the sibling.
Result AddCrate(CNode& sibling) {
  CPointer<CGroupTriMesh> crate(new CGroupTriMesh());
  CPointer<CTriMeshData> box;
  Result r = MakeTexturedBox(Vec3{0.5f, 0.5f, 0.5f}, box);
  if (Succeeded(r)) r = crate->SetSingleLod(box.Get());
  if (Failed(r)) return r;
  crate->SetGroupId(1);
  crate->SetLayer(2);
  crate->SetClipDepth(3);
  return AddPlaced(sibling, *crate, u"Crate", 0.0f, 1.0f, 0.0f);
}

// A two-bone tail hanging off the forearm: the base bone's position
// chases the forearm on a spring, the tip bone swings on an angle spring
// that updates after the base.
Result AddSpringTail(CNode& fore) {
  CPointer<CNode> base, tip;
  Result r = CNode::Create(base);
  if (Succeeded(r)) r = CNode::Create(tip);
  if (Succeeded(r)) r = AddPlaced(fore, *base, u"TailBase", 0.0f, -1.0f, 0.0f);
  if (Succeeded(r)) r = AddPlaced(*base, *tip, u"TailTip", 0.0f, -1.0f, 0.0f);
  if (Failed(r)) return r;
  CSpringControl::Parameters chase;
  chase.Gravity = 9.8f;
  chase.MaxLength = 0.5f;
  chase.K = 40.0f;
  chase.Damp = 4.0f;
  chase.Mass = 1.0f;
  chase.MaxSpeed = 10.0f;
  chase.nMoveActivity = 100;
  chase.SpringType = CSpringControl::ST_Position;
  CPointer<CSpringControl> position(new CSpringControl());
  position->SetName(u"TailBase spring");
  position->SetParameters(chase);
  CSpringControl::Parameters swing = chase;
  swing.K = 20.0f;
  swing.MaxSpeed = 2.0f;
  swing.SpringType = CSpringControl::ST_Angle;
  CPointer<CSpringControl> angle(new CSpringControl());
  angle->SetName(u"TailTip spring");
  angle->SetParameters(swing);
  angle->SetTargetSpring(position.Get());
  r = base->AddControl(position.Get());
  if (Succeeded(r)) r = tip->AddControl(angle.Get());
  return r;
}

// A flexible body of two rows of three nodes below the forearm: the first
// row pinned to the forearm, the second hanging from it on springs.
Result AddFlexiCloth(CNode& fore) {
  CPointer<CFlexiData> body(new CFlexiData());
  body->SetName(u"Cloth body");
  body->Dimension[0] = 3;
  body->Dimension[1] = 3;
  // A phase of 4 pi stays as stored when loaded (a lower one gains 4 pi),
  // and draws the first gusts at the first step.
  body->Angle = 2.0f * kTwoPi;
  std::vector<CFlexiData::Node>& nodes = body->EditNodes();
  nodes.resize(6);
  std::vector<CFlexiControl*> controls;
  std::vector<CPointer<CFlexiControl>> held;
  Result r = kOk;
  for (u32 i = 0; i < 6 && Succeeded(r); ++i) {
    const u32 row = i / 3;
    const u32 column = i % 3;
    nodes[i].Mass = row == 0 ? 0.0f : 1.0f;
    CPointer<CNode> node;
    r = CNode::Create(node);
    const std::u16string name = u"Cloth" + std::u16string(1, static_cast<char16_t>(u'0' + i));
    if (Succeeded(r)) {
      r = AddPlaced(fore, *node, name.c_str(), 0.5f * static_cast<f32>(column), 0.0f, -0.5f * static_cast<f32>(row + 1));
    }
    CPointer<CFlexiControl> control(new CFlexiControl());
    control->SetName(name + u" flexi");
    if (Succeeded(r)) r = node->AddControl(control.Get());
    controls.push_back(control.Get());
    held.push_back(control);
  }
  if (Failed(r)) return r;
  const std::pair<u32, u32> links[] = {{0, 1}, {1, 2}, {3, 4}, {4, 5}, {0, 3}, {1, 4}, {2, 5}};
  for (const auto& [a, b] : links) {
    CFlexiData::Spring spring;
    spring.NodeA = a;
    spring.NodeB = b;
    spring.RestLength = 0.5f;
    spring.WorkingRestLength = 0.5f;
    body->EditSprings().push_back(spring);
  }
  return body->AttachControls(controls);
}

// An animated arm (shoulder, upper arm, forearm and a sibling hand) with
// the cube and the sparks on the forearm and the crate on the sibling.
Result AddArm(CNode& scene) {
  CPointer<CNode> upper, fore, sibling;
  Result r = AddTurningNode(scene, u"UpperArm", 0.0f, 0.0f, 90.0f, TT_LINEAR, upper);
  if (Succeeded(r)) r = AddTurningNode(*upper, u"ForeArm", 2.0f, 0.0f, 45.0f, TT_EASE_IN_OUT, fore);
  if (Succeeded(r)) r = AddTurningNode(scene, u"Sibling", -1.0f, 0.0f, -30.0f, TT_EASE_OUT, sibling);
  if (Failed(r)) return r;
  sibling->SetInherited(kInheritScaleBits);
  r = AddCube(*fore);
  if (Succeeded(r)) r = AddSparks(*fore);
  if (Succeeded(r)) r = AddCrate(*sibling);
  if (Succeeded(r)) r = AddSpringTail(*fore);
  if (Succeeded(r)) r = AddFlexiCloth(*fore);
  return r;
}

// A switch of three animated options, driven by a selection controller:
// from 0 it selects the second option, which holds nothing of its own, so
// the first option is shown and animated in its place; from 500 it
// selects the third, which holds a tip that a boolean controller switches
// off at 750 on the option's clock (1250 in the scene). The switch fades
// out over the first second and carries a description of its two
// selections.
Result AddSwitch(CNode& scene) {
  CPointer<CSelNode> selection;
  Result r = CSelNode::Create(selection);
  if (Failed(r)) return r;
  selection->SetName(u"Switch");
  r = scene.AddChild(selection.Get());
  const char16_t* const options[] = {u"Option0", u"Option1", u"Option2"};
  CPointer<CNode> option;
  for (int i = 0; i < 3 && Succeeded(r); ++i) {
    r = AddTurningNode(*selection, options[i], 3.0f + static_cast<f32>(i), 0.0f, 30.0f * static_cast<f32>(i + 1),
                       TT_LINEAR, option);
  }
  CPointer<CNode> tip;
  if (Succeeded(r)) r = CNode::Create(tip);
  if (Succeeded(r)) r = AddPlaced(*option, *tip, u"Option2Tip", 0.0f, 1.0f, 0.0f);
  if (Failed(r)) return r;

  CPointer<CBooleanControl> blink(new CBooleanControl());
  blink->SetName(u"Option2Tip on");
  blink->SetReferenceParent(true);
  r = blink->SetKeys({0, 750}, {true, false});
  if (Succeeded(r)) r = tip->AddControl(blink.Get());

  CPointer<CNodeSelControl> chooser(new CNodeSelControl());
  chooser->SetName(u"Switch selection");
  for (const auto& [time, sel] : {std::pair{0, 1}, std::pair{500, 2}}) {
    CNodeSelControl::CSelKey key;
    key.Time = time;
    key.Sel = sel;
    if (Succeeded(r)) r = chooser->EditKeys().SetKey(key);
  }
  if (Succeeded(r)) r = selection->AddControl(chooser.Get());

  CPointer<CNodeAttributeControl> fade(new CNodeAttributeControl());
  fade->SetName(u"Switch fade");
  for (const auto& [time, opacity] : {std::pair{0, 1.0f}, std::pair{1000, 0.0f}}) {
    CNodeAttributeControl::CAttributeKey key;
    key.Time = time;
    key.Opacity = opacity;
    key.TransitionType = TT_EASE_IN;
    if (Succeeded(r)) r = fade->EditKeys().SetKey(key);
  }
  if (Succeeded(r)) r = selection->AddControl(fade.Get());

  CPointer<CDataDescriptionControl> notes(new CDataDescriptionControl());
  notes->SetName(u"Switch notes");
  for (const auto& [time, id, text] : {std::tuple{0, u"first", u"the first option in place of the empty one"},
                                       std::tuple{500, u"tip", u"the third option; its tip goes off \u00be of the way"}}) {
    CDataDescriptionControl::CDescriptionKey key;
    key.Time = time;
    key.ID = id;
    key.Description = text;
    if (Succeeded(r)) r = notes->EditKeys().SetKey(key);
  }
  if (Succeeded(r)) r = selection->AddControl(notes.Get());
  return r;
}

// A second switch of two options, played by clips: a selection clip
// controller plays "show 0" from 0 and, from 600, "show 1 from 100" (so
// option 1 shows from 700, its clock started at 600), and
// a layer clip controller sets layer 3 until 400, where a clip of no child
// gives the node back its stored layer 1.
Result AddClipSwitch(CNode& scene) {
  CPointer<CSelNode> selection;
  Result r = CSelNode::Create(selection);
  if (Failed(r)) return r;
  selection->SetName(u"ClipSwitch");
  selection->SetSelectValue1(1);
  r = scene.AddChild(selection.Get());
  const char16_t* const options[] = {u"ClipOption0", u"ClipOption1"};
  const char16_t* const tips[] = {u"ClipTip0", u"ClipTip1"};
  for (int i = 0; i < 2 && Succeeded(r); ++i) {
    CPointer<CNode> option, tip;
    r = AddTurningNode(*selection, options[i], -3.0f - static_cast<f32>(i), 0.0f, 45.0f, TT_EASE_OUT, option);
    if (Succeeded(r)) r = CNode::Create(tip);
    if (Succeeded(r)) r = AddPlaced(*option, *tip, tips[i], 0.0f, 0.5f, 0.0f);
  }
  if (Failed(r)) return r;

  CPointer<CNodeSelDataClipControl> shows(new CNodeSelDataClipControl());
  shows->SetName(u"ClipSwitch shows");
  r = selection->AddControl(shows.Get());
  for (const auto& [start, sel] : {std::pair{0, 0}, std::pair{100, 1}}) {
    CPointer<CNodeSelControl> child(new CNodeSelControl());
    CNodeSelControl::CSelKey key;
    key.Time = start;
    key.Sel = sel;
    if (Succeeded(r)) r = child->EditKeys().SetKey(key);
    if (Succeeded(r)) r = shows->AddChild(child.Get());
  }
  // The second child's keys end at 100: padding makes its clip a second
  // long.
  CClipKey second(600, 1);
  second.Padding = 1000;
  if (Succeeded(r)) r = shows->AddClipKey(CClipKey(0, 0), kFps);
  if (Succeeded(r)) r = shows->AddClipKey(second, kFps);

  CPointer<CNodeLayerClipControl> layers(new CNodeLayerClipControl());
  layers->SetName(u"ClipSwitch layers");
  if (Succeeded(r)) r = selection->AddControl(layers.Get());
  CPointer<CNodeLayerControl> layer(new CNodeLayerControl());
  CNodeLayerControl::CLayerKey key;
  key.Layer = 3;
  if (Succeeded(r)) r = layer->EditKeys().SetKey(key);
  if (Succeeded(r)) r = layers->AddChild(layer.Get());
  // A clip of no child from 400 on: no clip plays there.
  if (Succeeded(r)) r = layers->AddClipKey(CClipKey(0, 0), kFps);
  if (Succeeded(r)) r = layers->AddClipKey(CClipKey(400, -1), kFps);
  return r;
}

// Gives `morph` (bound to the leg) one offset per position of `level`
// (`offset` of the position) and the weight keys (ms, weight).
Result FillMorph(CMorphControl& morph, const CGeometryData& level, Vec3 (*offset)(const Vec3&),
                 std::initializer_list<std::pair<i32, f32>> weights) {
  const u32 count = level.GetXYZ().GetCount();
  Result r = morph.SetTargetCount(count);
  for (u32 i = 0; i < count && Succeeded(r); ++i) r = morph.SetTarget(i, offset(level.GetXYZ()[i]));
  for (const auto& [time, weight] : weights) {
    if (Succeeded(r)) r = morph.SetWeightKey(time, kFps, weight);
  }
  return r;
}

// The leg's morph targets: the top widens, the whole leg squashes or
// stretches along Y.
Vec3 Bulge(const Vec3& p) { return p.y > 0.0f ? Vec3{p.x - 0.25f, 0.0f, p.z - 0.25f} : Vec3{0.0f, 0.0f, 0.0f}; }
Vec3 Squash(const Vec3& p) { return {0.0f, -0.25f * p.y, 0.0f}; }
Vec3 Stretch(const Vec3& p) { return {0.0f, 0.25f * p.y, 0.0f}; }

// The leg's deformers, in the order they run: a morph, a data clip
// controller that plays a squash and then a stretch, and the skin on the
// hip and the knee (bottom positions follow the hip, top ones mostly the
// knee). The vertex selection of the top positions closes the chain.
Result AddLegDeformers(CTriMesh& leg, CNode& hip, CNode& knee) {
  const CGeometryData& level = *leg.GetLod(0);
  CPointer<CMorphControl> bulge(new CMorphControl());
  bulge->SetName(u"Bulge");
  Result r = leg.AddControl(bulge.Get());
  if (Succeeded(r)) r = FillMorph(*bulge, level, &Bulge, {{0, 0.0f}, {500, 1.0f}, {1000, 0.0f}});
  if (Failed(r)) return r;

  CPointer<CDataClipControl> flex(new CDataClipControl());
  flex->SetName(u"Flex");
  CPointer<CMorphControl> squash(new CMorphControl());
  squash->SetName(u"Squash");
  CPointer<CMorphControl> stretch(new CMorphControl());
  stretch->SetName(u"Stretch");
  r = leg.AddControl(flex.Get());
  if (Succeeded(r)) r = flex->AddChild(squash.Get());
  if (Succeeded(r)) r = flex->AddChild(stretch.Get());
  if (Succeeded(r)) r = FillMorph(*squash, level, &Squash, {{0, 0.0f}, {250, 1.0f}, {500, 0.0f}});
  if (Succeeded(r)) r = FillMorph(*stretch, level, &Stretch, {{0, 0.0f}, {250, 1.0f}, {500, 0.0f}});
  if (Succeeded(r)) r = flex->AddClipKey(CClipKey(0, 0), kFps);
  if (Succeeded(r)) r = flex->AddClipKey(CClipKey(500, 1), kFps);
  if (Failed(r)) return r;

  // Bind matrices take the leg's space (the character's, at the leg's
  // origin) into each bone's space at rest.
  CPointer<CBoneSkinControl> skin(new CBoneSkinControl());
  skin->SetName(u"Skin");
  r = leg.AddControl(skin.Get());
  if (Succeeded(r)) r = skin->SetSkinWeightListCount(1);
  if (Succeeded(r)) r = skin->AddBone(&hip, CMatrix4());
  if (Succeeded(r)) r = skin->AddBone(&knee, Translation(0.0f, -1.0f, 0.0f));
  for (u32 i = 0; i < level.GetXYZ().GetCount() && Succeeded(r); ++i) {
    if (level.GetXYZ()[i].y > 0.0f) {
      r = skin->AddSkinWeight(0, i, &knee, 0.75f);
      if (Succeeded(r)) r = skin->AddSkinWeight(0, i, &hip, 0.25f);
    } else {
      r = skin->AddSkinWeight(0, i, &hip, 1.0f);
    }
  }
  if (Failed(r)) return r;
  // Loading sorts the pairs; sorting here keeps a saved copy of a loaded
  // sample equal to the first save.
  skin->SortWeightsDescending();

  CPointer<CMeshSelControl> top(new CMeshSelControl());
  top->SetName(u"Top");
  r = leg.AddControl(top.Get());
  if (Succeeded(r)) r = top->SizeToObject();
  for (u32 i = 0; i < level.GetXYZ().GetCount() && Succeeded(r); ++i) {
    if (level.GetXYZ()[i].y > 0.0f) r = top->SelectVertex(static_cast<i32>(i), true);
  }
  return r;
}

// The skinned leg of the character with a bone box per bone.
Result AddLeg(CNode& character, CNode& hip, CNode& knee) {
  CPointer<CTriMesh> leg(new CTriMesh());
  CPointer<CTriMeshData> box;
  Result r = MakeTexturedBox(Vec3{0.5f, 2.0f, 0.5f}, box);
  if (Succeeded(r)) r = leg->SetSingleLod(box.Get());
  if (Succeeded(r)) r = AddPlaced(character, *leg, u"Leg", 0.0f, 0.0f, 0.0f);
  if (Succeeded(r)) r = AddLegDeformers(*leg, hip, knee);
  CNode* const bones[2] = {&hip, &knee};
  const char16_t* const names[2] = {u"Hip box", u"Knee box"};
  for (u32 i = 0; i < 2 && Succeeded(r); ++i) {
    CPointer<CBoundingBox> bone;
    r = CBoundingBox::Create(bone);
    if (Failed(r)) break;
    bone->SetName(names[i]);
    r = bone->SetFromMinMax(Vec3{0.0f, 0.0f, 0.0f}, Vec3{0.5f, 1.0f, 0.5f});
    if (Succeeded(r)) r = leg->AddBoneBox(bone.Get(), bones[i]);
  }
  return r;
}

// A box of triangles around the character's leg, following the character.
Result AddHull(CNode& character) {
  CPointer<CBoundingMesh> hull;
  Result r = CBoundingMesh::Create(hull);
  if (Succeeded(r)) r = hull->AllocateVertices(8);
  if (Failed(r)) return r;
  hull->SetName(u"Character hull");
  for (u32 i = 0; i < 8; ++i) hull->GetXYZ()[i] = BoxCorner(i, Vec3{-0.5f, 0.0f, -0.5f}, Vec3{1.5f, 2.5f, 1.5f});
  u32 indices[36];
  u32 c = 0;
  for (const auto& face : kBoxFaces) {
    for (u32 corner : kQuadCorners) indices[c++] = face[corner];
  }
  r = hull->SetTriangles(12, indices);
  if (Failed(r)) return r;
  hull->SetReference(&character);
  return character.AddBoundingMesh(hull.Get());
}

// A clip-animated character: a clip controller plays "walk" from 0 ms and
// "run" from 1000 ms (blended in over the 200 ms before) to 1500 ms, then
// starts over.
// It carries a leg skinned to two turning bones.
Result AddCharacter(CNode& scene) {
  CPointer<CNode> character;
  Result r = CNode::Create(character);
  if (Failed(r)) return r;
  character->SetName(u"Character");
  character->SetBasis(Turn(0.0f, 6.0f, 0.0f, 0.0f));
  CPointer<CRTSClipControl> clips(new CRTSClipControl());
  clips->SetName(u"Character clips");
  clips->SetRepeat(CControl::RT_WRAP);
  CPointer<CKeyframeControl> walk, run;
  r = MakeKeys(u"walk", {{0, Turn(0.0f, 6.0f, 0.0f, 0.0f)}, {1000, Turn(0.0f, 7.0f, 0.0f, 0.0f)}}, walk);
  if (Succeeded(r)) r = MakeKeys(u"run", {{0, Turn(0.0f, 7.0f, 0.0f, 0.0f)}, {500, Turn(0.0f, 9.0f, 0.0f, 0.0f)}}, run);
  if (Succeeded(r)) r = character->AddControl(clips.Get());
  if (Succeeded(r)) r = clips->AddChild(walk.Get());
  if (Succeeded(r)) r = clips->AddChild(run.Get());
  CClipKey runClip(1000, 1);
  runClip.TransitionRange = 200.0f;
  if (Succeeded(r)) r = clips->AddClipKey(CClipKey(0, 0), kFps);
  if (Succeeded(r)) r = clips->AddClipKey(runClip, kFps);
  if (Succeeded(r)) r = scene.AddChild(character.Get());
  if (Failed(r)) return r;

  CPointer<CNode> hip, knee;
  r = CNode::Create(hip);
  if (Succeeded(r)) r = CNode::Create(knee);
  if (Succeeded(r)) {
    r = AddAnimated(*character, *hip, u"Hip",
                    {{0, Turn(0.0f, 0.0f, 0.0f, 0.0f)}, {1000, Turn(20.0f, 0.0f, 0.0f, 0.0f), TT_EASE_IN_OUT}});
  }
  if (Succeeded(r)) {
    r = AddAnimated(*hip, *knee, u"Knee",
                    {{0, Turn(0.0f, 0.0f, 1.0f, 0.0f)}, {1000, Turn(40.0f, 0.0f, 1.0f, 0.0f), TT_EASE_IN_OUT}});
  }
  if (Succeeded(r)) r = AddLeg(*character, *hip, *knee);
  if (Succeeded(r)) r = AddHull(*character);
  return r;
}

// A dancer whose transform a switcher takes from two keyframe
// controllers: the sway from 0 ms, blended into the spin over the next
// second, then back to the sway at once at 2000 ms.
Result AddDancer(CNode& scene) {
  CPointer<CNode> dancer;
  Result r = CNode::Create(dancer);
  if (Failed(r)) return r;
  dancer->SetName(u"Dancer");
  dancer->SetBasis(Turn(0.0f, -6.0f, 0.0f, 0.0f));
  CPointer<CRTSSwitcherControl> switcher(new CRTSSwitcherControl());
  switcher->SetName(u"Dancer switcher");
  CPointer<CKeyframeControl> sway, spin;
  r = MakeKeys(u"sway", {{0, Turn(-10.0f, -6.0f, 0.0f, 0.0f)}, {500, Turn(10.0f, -6.0f, 0.0f, 0.0f)},
                         {1000, Turn(-10.0f, -6.0f, 0.0f, 0.0f)}}, sway);
  if (Succeeded(r)) r = MakeKeys(u"spin", {{0, Turn(0.0f, -6.0f, 1.0f, 0.0f)}, {1000, Turn(90.0f, -6.0f, 1.0f, 0.0f)}}, spin);
  if (Succeeded(r)) r = dancer->AddControl(switcher.Get());
  if (Succeeded(r)) r = switcher->AddChild(sway.Get());
  if (Succeeded(r)) r = switcher->AddChild(spin.Get());
  using ChannelKey = CRTSSwitcherControl::CSwChannelKey;
  if (Succeeded(r)) {
    r = switcher->SetKeys({ChannelKey(0, 0), ChannelKey(1000, 1, TT_EASE_IN_OUT), ChannelKey(2000, 0, TT_STEP)});
  }
  if (Succeeded(r)) r = scene.AddChild(dancer.Get());
  return r;
}

// A stage hand handed between two clip controllers by a selector: the
// walk clip claims the transform from 0 ms at priority 1, the bow clip
// from 800 ms at priority 2; the selector fades toward the bow over the
// 200 ms before it.
Result AddStageHand(CNode& scene) {
  CPointer<CNode> hand;
  Result r = CNode::Create(hand);
  if (Failed(r)) return r;
  hand->SetName(u"Stage hand");
  hand->SetBasis(Turn(0.0f, -6.0f, -3.0f, 0.0f));
  CPointer<CRTSSelectorControl> selector(new CRTSSelectorControl());
  selector->SetName(u"Stage hand selector");
  CPointer<CRTSClipControl> walkClips(new CRTSClipControl());
  walkClips->SetName(u"Walk clips");
  CPointer<CRTSClipControl> bowClips(new CRTSClipControl());
  bowClips->SetName(u"Bow clips");
  CPointer<CKeyframeControl> walk, bow;
  r = MakeKeys(u"stage walk", {{0, Turn(0.0f, -6.0f, -3.0f, 0.0f)}, {1000, Turn(0.0f, -5.0f, -3.0f, 0.0f)}}, walk);
  if (Succeeded(r)) r = MakeKeys(u"bow", {{0, Turn(0.0f, -5.0f, -3.0f, 0.0f)}, {500, Turn(45.0f, -5.0f, -3.0f, 0.0f)}}, bow);
  if (Succeeded(r)) r = hand->AddControl(selector.Get());
  if (Succeeded(r)) r = selector->AddChild(walkClips.Get());
  if (Succeeded(r)) r = selector->AddChild(bowClips.Get());
  if (Succeeded(r)) r = walkClips->AddChild(walk.Get());
  if (Succeeded(r)) r = bowClips->AddChild(bow.Get());
  CClipKey walkClip(0, 0);
  walkClip.Priority = 1.0f;
  CClipKey bowClip(800, 0);
  bowClip.Priority = 2.0f;
  if (Succeeded(r)) r = walkClips->AddClipKey(walkClip, kFps);
  if (Succeeded(r)) r = bowClips->AddClipKey(bowClip, kFps);
  if (Succeeded(r)) r = scene.AddChild(hand.Get());
  return r;
}

Vec3 Raise(const Vec3& p) { return p.y > 0.0f ? Vec3{0.0f, 0.25f, 0.0f} : Vec3{0.0f, 0.0f, 0.0f}; }
Vec3 Lower(const Vec3& p) { return p.y > 0.0f ? Vec3{0.0f, -0.25f, 0.0f} : Vec3{0.0f, 0.0f, 0.0f}; }
Vec3 Flutter(const Vec3& p) { return {0.0f, 0.0f, 0.1f * p.x}; }

// Adds a morph called `name` moving the positions of `level` by `offset`,
// with weights 0, 1, 0 at 0, 500 and 1000 ms and Priority `priority`, as a
// child of `container`.
template <typename Container>
Result AddFlagMorph(Container& container, const CGeometryData& level, const char16_t* name,
                    Vec3 (*offset)(const Vec3&), f32 priority) {
  CPointer<CMorphControl> morph(new CMorphControl());
  morph->SetName(name);
  morph->SetPriority(priority);
  Result r = container.AddChild(morph.Get());
  if (Succeeded(r)) r = FillMorph(*morph, level, offset, {{0, 0.0f}, {500, 1.0f}, {1000, 0.0f}});
  return r;
}

// A flag whose positions two data containers move: a switcher plays the
// raise until 1000 ms and the lowering from then on; a selector lets the
// flutter of the higher priority play over the raise.
Result AddFlag(CNode& scene) {
  CPointer<CTriMesh> flag(new CTriMesh());
  CPointer<CGeometryData> quad;
  Result r = MakeQuadLevel(u"Flag level", 2.0f, 1.0f, quad);
  if (Succeeded(r)) r = flag->SetSingleLod(quad.Get());
  if (Succeeded(r)) r = AddPlaced(scene, *flag, u"Flag", 0.0f, 4.0f, 0.0f);
  if (Failed(r)) return r;
  CPointer<CDataSwitcherControl> switcher(new CDataSwitcherControl());
  switcher->SetName(u"Flag switcher");
  CPointer<CDataSelectorControl> selector(new CDataSelectorControl());
  selector->SetName(u"Flag selector");
  r = flag->AddControl(switcher.Get());
  if (Succeeded(r)) r = flag->AddControl(selector.Get());
  if (Succeeded(r)) r = AddFlagMorph(*switcher, *quad, u"Raise", &Raise, 0.0f);
  if (Succeeded(r)) r = AddFlagMorph(*switcher, *quad, u"Lower", &Lower, 0.0f);
  using ChannelKey = CDataSwitcherControl::CChannelKey;
  if (Succeeded(r)) r = switcher->SetKeys({ChannelKey(0, 0), ChannelKey(1000, 1)});
  if (Succeeded(r)) r = AddFlagMorph(*selector, *quad, u"Lift", &Raise, 1.0f);
  if (Succeeded(r)) r = AddFlagMorph(*selector, *quad, u"Flutter", &Flutter, 2.0f);
  return r;
}

// A spline path through five control points, the middle one banked.
Result AddTrack(CNode& scene) {
  CPointer<CPath> track;
  Result r = CPath::Create(track);
  if (Failed(r)) return r;
  track->SetCtrlXYZ({{0, 0, 0}, {2, 1, 0}, {4, 0, 0}, {6, -1, 0}, {8, 0, 0}});
  const CQuaternion level;
  track->SetCtrlUp({level, level, CQuaternion::FromAxisAngle(Vec3{1.0f, 0.0f, 0.0f}, 30.0f * kDegreesToRadians),
                    level, level});
  track->SetPathType(CPath::PT_Spline);
  track->SetColor(1.0f, 0.5f, 0.0f);
  r = track->Rebuild(-1);
  if (Succeeded(r)) r = AddPlaced(scene, *track, u"Track", 0.0f, -4.0f, 0.0f);
  return r;
}

// A mirror whose texture coordinates a clip controller plays: a ripple
// from 0 ms, still from 1000 ms.
Result AddMirror(CNode& scene) {
  CPointer<CMirrorSurface> mirror(new CMirrorSurface());
  CPointer<CGeometryData> quad;
  CPointer<CUvwMap> map;
  Result r = MakeQuadLevel(u"Mirror level", 4.0f, 2.0f, quad);
  if (Succeeded(r)) r = mirror->SetSingleLod(quad.Get());
  if (Succeeded(r)) r = MakeSquareChannel(1, map);
  if (Failed(r)) return r;
  map->SetName(u"Mirror uv");
  mirror->AddUvwMap(map.Get());

  CPointer<CUvwMapClipControl> clips(new CUvwMapClipControl());
  clips->SetName(u"Mirror clips");
  clips->SetRepeat(CControl::RT_WRAP);
  CPointer<CUvwMapControl> ripple(new CUvwMapControl());
  ripple->SetName(u"Ripple");
  CPointer<CUvwMapControl> still(new CUvwMapControl());
  still->SetName(u"Still");
  r = map->AddControl(clips.Get());
  if (Succeeded(r)) r = clips->AddChild(ripple.Get());
  if (Succeeded(r)) r = clips->AddChild(still.Get());
  if (Succeeded(r)) r = still->SetKey(0, kFps, map.Get(), TT_STEP);
  if (Succeeded(r)) r = KeyAndShift(*ripple, *map, 0, Vec3{0.05f, 0.05f, 0.0f});
  if (Succeeded(r)) r = KeyAndShift(*ripple, *map, 500, Vec3{-0.05f, -0.05f, 0.0f});
  if (Succeeded(r)) r = ripple->SetKey(1000, kFps, map.Get(), TT_LINEAR);
  if (Succeeded(r)) r = clips->AddClipKey(CClipKey(0, 0), kFps);
  if (Succeeded(r)) r = clips->AddClipKey(CClipKey(1000, 1), kFps);
  if (Succeeded(r)) r = AddPlaced(scene, *mirror, u"Mirror", 0.0f, 0.0f, -3.0f);
  return r;
}

// A turning billboard group holding a card whose texture scrolls.
Result AddBillboards(CNode& scene) {
  CPointer<CBillboardNode> group;
  Result r = CBillboardNode::Create(group);
  if (Succeeded(r)) {
    r = AddAnimated(scene, *group, u"Billboards",
                    {{0, Turn(0.0f, -4.0f, 0.0f, 0.0f)}, {1000, Turn(90.0f, -4.0f, 0.0f, 0.0f)}});
  }
  if (Failed(r)) return r;
  CPointer<CBillboard> card(new CBillboard());
  card->SetBlendMode(CBillboard::BM_Additive);
  card->SetType(CBillboard::BT_FaceCam);
  CPointer<CGeometryData> quad;
  CPointer<CUvwMap> map;
  r = MakeQuadLevel(u"Card level", 1.0f, 1.0f, quad);
  if (Succeeded(r)) r = card->SetSingleLod(quad.Get());
  if (Succeeded(r)) r = MakeSquareChannel(1, map);
  if (Failed(r)) return r;
  map->SetName(u"Card uv");
  card->AddUvwMap(map.Get());
  CPointer<CUvwMapControl> scroll(new CUvwMapControl());
  scroll->SetName(u"Card scroll");
  scroll->SetRepeat(CControl::RT_CYCLE);
  r = map->AddControl(scroll.Get());
  if (Succeeded(r)) r = KeyAndShift(*scroll, *map, 0, Vec3{1.0f, 0.0f, 0.0f});
  if (Succeeded(r)) r = KeyAndShift(*scroll, *map, 1000, Vec3{-1.0f, 0.0f, 0.0f});
  if (Succeeded(r)) r = AddPlaced(*group, *card, u"Card", 0.0f, 1.0f, 0.0f);
  return r;
}

// The lights: a lamp above the scene that brightens from black to white
// over one second while its range shrinks, a spot light aimed down whose
// cone widens, a second spot light left at its defaults and a low sun.
Result AddLights(CNode& scene) {
  CPointer<CPointLight> lamp(new CPointLight());
  lamp->SetRange(12.0f);
  Result r = lamp->SetAttenuation(1, 0.25f);
  CPointer<CLightControl> colour(new CLightControl());
  colour->SetName(u"Lamp colour");
  if (Succeeded(r)) r = colour->SetColorKey(0, kFps, Vec3{0.0f, 0.0f, 0.0f});
  if (Succeeded(r)) r = colour->SetColorKey(1000, kFps, Vec3{1.0f, 1.0f, 1.0f});
  CPointer<CPointLightControl> reach(new CPointLightControl());
  reach->SetName(u"Lamp range");
  if (Succeeded(r)) r = reach->SetRangeKey(0, kFps, 12.0f);
  if (Succeeded(r)) r = reach->SetRangeKey(1000, kFps, 6.0f);
  if (Succeeded(r)) r = lamp->AddControl(colour.Get());
  if (Succeeded(r)) r = lamp->AddControl(reach.Get());

  CPointer<CSpotLight> spot(new CSpotLight());
  spot->SetDirection(Vec3{0.0f, -1.0f, 0.0f});
  spot->SetRgb(CColor{1.0f, 0.9f, 0.7f});
  CPointer<CSpotLightControl> cone(new CSpotLightControl());
  cone->SetName(u"Spot cone");
  if (Succeeded(r)) r = cone->SetKey(0, kFps, Vec3{1.0f, 0.6f, 0.3f}, 8.0f);
  if (Succeeded(r)) r = cone->SetKey(1000, kFps, Vec3{2.0f, 0.9f, 0.4f}, 10.0f);
  if (Succeeded(r)) r = spot->AddControl(cone.Get());

  CPointer<CSpotLight> plain(new CSpotLight());
  CPointer<CDirectionalLight> sun(new CDirectionalLight());
  sun->SetDirection(Vec3{1.0f, -1.0f, -1.0f});
  sun->SetRgb(CColor{1.0f, 1.0f, 0.9f});
  sun->SetMultiplier(0.5f);
  sun->SetCastShadow(false);
  if (Succeeded(r)) r = AddPlaced(scene, *lamp, u"Lamp", 0.0f, 3.0f, 0.0f);
  if (Succeeded(r)) r = AddPlaced(scene, *spot, u"Spot", 6.0f, 4.0f, 0.0f);
  if (Succeeded(r)) r = AddPlaced(scene, *plain, u"Spot Default", -6.0f, 4.0f, 0.0f);
  if (Succeeded(r)) r = AddPlaced(scene, *sun, u"Sun", 0.0f, 10.0f, 10.0f);
  return r;
}

// A camera controller that zooms in over one second, pulls the focus in
// with a Gauss blur that turns into a circle-of-confusion blur at the
// second key, and narrows the orthographic view volume.
Result MakeCameraControl(CPointer<CCameraControl>& control) {
  control = new CCameraControl();
  control->SetName(u"Camera zoom");
  CCameraControl::CFovKey fov;
  fov.FrustumFov = 0.8f;
  Result r = control->SetFovKey(fov, kFps);
  fov.Time = 1000;
  fov.FrustumFov = 0.4f;
  fov.TransitionType = TT_EASE_IN_OUT;
  if (Succeeded(r)) r = control->SetFovKey(fov, kFps);
  CCameraControl::CDofKey focus;
  focus.FocalDistance = 10.0f;
  focus.FocalRange = 500.0f;
  focus.Blurness = 0.5f;
  focus.DofEffect = CCamera::DOF_Gauss;
  if (Succeeded(r)) r = control->EditDofKeys().SetKey(focus);
  focus.Time = 1000;
  focus.FocalDistance = 4.0f;
  focus.DofEffect = CCamera::DOF_CoC;
  if (Succeeded(r)) r = control->EditDofKeys().SetKey(focus);
  CCameraControl::CCameraViewVolKey volume;
  volume.VolumeLeft = -100.0f;
  volume.VolumeRight = 100.0f;
  volume.VolumeTop = -100.0f;
  volume.VolumeBottom = 100.0f;
  if (Succeeded(r)) r = control->EditViewVolKeys().SetKey(volume);
  volume.Time = 1000;
  volume.VolumeLeft = -50.0f;
  volume.VolumeRight = 50.0f;
  if (Succeeded(r)) r = control->EditViewVolKeys().SetKey(volume);
  return r;
}

// A camera in front of the scene that follows its own target, a node
// sliding from the left of the scene to its right over one second.
Result AddCamera(CNode& scene) {
  CPointer<CNode> target;
  CPointer<CKeyframeControl> slide;
  Result r = CNode::Create(target);
  if (Succeeded(r)) r = MakeKeys(u"Camera target keys", {{0, Turn(0.0f, -4.0f, 0.0f, 0.0f)}, {1000, Turn(0.0f, 4.0f, 0.0f, 0.0f)}}, slide);
  if (Succeeded(r)) r = target->AddControl(slide.Get());
  if (Failed(r)) return r;
  target->SetName(u"Camera target");
  target->SetBasis(Turn(0.0f, -4.0f, 0.0f, 0.0f));
  CPointer<CCamera> camera(new CCamera());
  camera->SetFrustum(0.5f, 100.0f, 0.8f);
  camera->SetFreeMode(false);
  camera->SetDepthOfField(10.0f, 500.0f, 0.5f, CCamera::DOF_Gauss);
  CPointer<CCameraControl> zoom;
  r = camera->SetTarget(target.Get());
  if (Succeeded(r)) r = MakeCameraControl(zoom);
  if (Succeeded(r)) r = camera->AddControl(zoom.Get());
  if (Succeeded(r)) r = AddPlaced(scene, *camera, u"Camera", 0.0f, 2.0f, 10.0f);
  return r;
}

// The aim constraints, at the back of the scene. A "Gazer" listed before
// what it looks at: its first key turns its X axis about "Basic Axis" (Z)
// toward the "Drifter", which slides from right to left over one second;
// its second key, from 1000 ms, points its Z axis at the drifter with the
// roll of the tilted "Horizon". A "Blinker" bends its head a quarter turn
// and leans toward the drifter halfway through each second, kept above
// a plane three units below the drifter. A "Tilted" node rides a quarter turn about
// Z on top of its own pose.
Result AddAim(CNode& scene) {
  CPointer<CNode> gazer;
  CPointer<CNode> drifter;
  CPointer<CNode> horizon;
  CPointer<CNode> blinker;
  CPointer<CNode> tilted;
  Result r = CNode::Create(gazer);
  if (Succeeded(r)) r = CNode::Create(drifter);
  if (Succeeded(r)) r = CNode::Create(horizon);
  if (Succeeded(r)) r = CNode::Create(blinker);
  if (Succeeded(r)) r = CNode::Create(tilted);
  if (Succeeded(r)) r = AddPlaced(scene, *gazer, u"Gazer", 0.0f, 0.0f, -8.0f);
  if (Succeeded(r)) {
    r = AddAnimated(scene, *drifter, u"Drifter",
                    {{0, Turn(0.0f, 4.0f, 2.0f, -8.0f)}, {1000, Turn(0.0f, -4.0f, 2.0f, -8.0f), TT_EASE_IN_OUT}});
  }
  if (Succeeded(r)) r = AddAnimated(scene, *horizon, u"Horizon", {{0, Turn(20.0f, 0.0f, 4.0f, -10.0f)}});
  if (Failed(r)) return r;

  CPointer<CLookAtControl> look(new CLookAtControl());
  look->SetName(u"Gazer aim");
  CLookAtControl::CLookKey turn;
  turn.TargetObject.Set(drifter.Get());
  turn.LookDir = {1.0f, 0.0f, 0.0f};
  turn.UpDir = {0.0f, 0.0f, 1.0f};
  turn.Weight = 1.0f;
  turn.LeftLimit = 60.0f * kDegreesToRadians;
  turn.RightLimit = 60.0f * kDegreesToRadians;
  CLookAtControl::CLookKey follow = turn;
  follow.Time = 1000;
  follow.LookDir = {0.0f, 0.0f, 1.0f};
  follow.UpDir = {0.0f, 1.0f, 0.0f};
  follow.RefObject.Set(horizon.Get());
  follow.TransitionType = TT_EASE_OUT;
  r = look->EditKeys().SetKey(turn);
  if (Succeeded(r)) r = look->EditKeys().SetKey(follow);
  if (Succeeded(r)) r = gazer->AddControl(look.Get());

  CPointer<CBlinkControl> blink(new CBlinkControl());
  blink->SetName(u"Blinker nod");
  blink->SetDst(drifter.Get());
  blink->SetOffset(CQuaternion::FromAxisAngle(Vec3{1.0f, 0.0f, 0.0f}, 90.0f * kDegreesToRadians));
  blink->SetConstrained(true);
  blink->SetConstraintSpace(Translation(0.0f, 3.0f, 0.0f));
  blink->SetRepeat(CControl::RT_WRAP);
  if (Succeeded(r)) r = blink->EditKeys().SetKey(0, 0.0f, TT_LINEAR);
  if (Succeeded(r)) r = blink->EditKeys().SetKey(500, 0.5f, TT_EASE_IN);
  if (Succeeded(r)) r = blink->EditKeys().SetKey(1000, 0.0f, TT_EASE_OUT);
  if (Succeeded(r)) r = AddPlaced(scene, *blinker, u"Blinker", 3.0f, 0.0f, -8.0f);
  if (Succeeded(r)) r = blinker->AddControl(blink.Get());

  CPointer<CRTSOffsetControl> offset(new CRTSOffsetControl());
  offset->SetName(u"Tilted offset");
  offset->SetRotationOffset({0.0f, 0.0f, kHalfPi});
  if (Succeeded(r)) r = AddAnimated(scene, *tilted, u"Tilted", {{0, Turn(0.0f, -3.0f, 0.0f, -8.0f)}, {1000, Turn(90.0f, -3.0f, 0.0f, -8.0f)}});
  if (Succeeded(r)) r = tilted->AddControl(offset.Get());
  return r;
}

// The following constraints, on the left of the scene. A "Rider" travels
// the "Track" path from its start to its end over one second, its X axis
// along the path. A "Sharer" takes its x and y from the "Drifter" and its
// whole rotation from the "UpperArm", four units further back. A "Passenger"
// stands still in the world until 500 ms, then hangs one unit up from the
// "ForeArm" and moves with it.
Result AddFollowers(CNode& scene) {
  auto* track = DynamicCast<CPath>(scene.Find(u"Track", &CPath::StaticClassRecord(), true, false));
  auto* drifter = DynamicCast<CSpatial>(scene.Find(u"Drifter", &CSpatial::StaticClassRecord(), true, false));
  auto* upper = DynamicCast<CSpatial>(scene.Find(u"UpperArm", &CSpatial::StaticClassRecord(), true, false));
  auto* fore = DynamicCast<CSpatial>(scene.Find(u"ForeArm", &CSpatial::StaticClassRecord(), true, false));
  if (track == nullptr || drifter == nullptr || upper == nullptr || fore == nullptr) return kErrNotFound;
  CPointer<CNode> rider;
  CPointer<CNode> sharer;
  CPointer<CNode> linked;
  Result r = CNode::Create(rider);
  if (Succeeded(r)) r = CNode::Create(sharer);
  if (Succeeded(r)) r = CNode::Create(linked);
  if (Succeeded(r)) r = AddPlaced(scene, *rider, u"Rider", -6.0f, 0.0f, 0.0f);
  if (Succeeded(r)) r = AddPlaced(scene, *sharer, u"Sharer", -6.0f, 0.0f, -12.0f);
  if (Succeeded(r)) r = AddPlaced(scene, *linked, u"Passenger", -6.0f, 1.0f, 0.0f);
  if (Failed(r)) return r;

  CPointer<CPathControl> ride(new CPathControl());
  ride->SetName(u"Rider path");
  CPathControl::CPathKey start;
  start.RefPath.Set(track);
  start.Follow = true;
  CPathControl::CPathKey end = start;
  end.Time = 1000;
  end.PathTime = 1.0f;
  r = ride->EditKeys().SetKey(start);
  if (Succeeded(r)) r = ride->EditKeys().SetKey(end);
  if (Succeeded(r)) r = rider->AddControl(ride.Get());

  CPointer<CShareControl> share(new CShareControl());
  share->SetName(u"Sharer share");
  CShareControl::CShareTarget place;
  place.TX.Active = true;
  place.TY.Active = true;
  place.Reference.Set(drifter);
  CShareControl::CShareTarget turn;
  turn.RY.Active = true;
  turn.AxisType = CShareControl::AxisZ;
  turn.Reference.Set(upper);
  share->EditTargets() = {place, turn};
  share->SetOffsets({1.0f, 1.0f, 1.0f}, {0.0f, 0.0f, 0.0f}, {0.0f, 0.0f, -12.0f});
  if (Succeeded(r)) r = sharer->AddControl(share.Get());

  CPointer<CLinkControl> link(new CLinkControl());
  link->SetName(u"Passenger link");
  CRtsTransform up = kIdentityTransform;
  up.Translate = {6.0f, 0.0f, 0.0f};
  if (Succeeded(r)) r = link->SetKeys({{0, nullptr, kIdentityTransform, 0}, {500, fore, up, 0}});
  if (Succeeded(r)) r = linked->AddControl(link.Get());
  return r;
}

// A "Speaker" playing a track of two cues ("Tick" and, half a second
// later, "Tock") that share one 20 ms click, and a "Chime", one placed
// playback of the same click.
Result AddSound(CNode& scene) {
  CPointer<CAudioData> click(new CAudioData());
  click->SetName(u"Click");
  // 441 frames of 16-bit mono at 22050 Hz: a decaying square wave.
  std::vector<u8> samples(2 * 441);
  for (u32 i = 0; i < 441; ++i) {
    const i32 level = (i / 25) % 2 == 0 ? 12000 - 25 * static_cast<i32>(i) : -12000 + 25 * static_cast<i32>(i);
    const u16 word = static_cast<u16>(static_cast<i16>(level));
    samples[2 * i] = static_cast<u8>(word & 0xFF);
    samples[2 * i + 1] = static_cast<u8>(word >> 8);
  }
  Result r = click->SetSamples(samples.data(), static_cast<u32>(samples.size()));
  if (Failed(r)) return r;
  CPointer<CAudioTrack> beat(new CAudioTrack());
  beat->SetName(u"Beat");
  beat->SetLoop(4);
  beat->SetPadding(480);
  const char16_t* const names[2] = {u"Tick", u"Tock"};
  for (u32 i = 0; i < 2 && Succeeded(r); ++i) {
    CPointer<CAudioCue> cue(new CAudioCue());
    cue->SetName(names[i]);
    cue->SetStartTime(static_cast<i32>(500 * i));
    cue->SetVolume(i == 0 ? 1.0f : 0.5f);
    cue->SetData(click.Get());
    r = beat->AddCue(cue.Get(), false);
  }
  if (Failed(r)) return r;
  CPointer<CAudioSource> speaker(new CAudioSource());
  speaker->SetVolume(0.8f);
  speaker->SetMaxProcess(2);
  r = speaker->AddCue(beat.Get());
  if (Succeeded(r)) r = AddPlaced(scene, *speaker, u"Speaker", 0.0f, 2.0f, 0.0f);
  if (Failed(r)) return r;
  CPointer<CAudioInstance> chime(new CAudioInstance());
  chime->SetStartTime(250);
  chime->SetEndTime(20);
  chime->SetLoopCount(1);
  chime->SetData(click.Get());
  return AddPlaced(scene, *chime, u"Chime", 0.0f, -2.0f, 0.0f);
}

// An "Orbit Camera" that circles a quarter turn around its "Orbit Target"
// over one second and back: its two keys look at the target from the +X
// and from the +Y side, and between them the camera orbits the target
// instead of cutting across.
Result AddOrbitCamera(CNode& scene) {
  CPointer<CCameraTarget> target(new CCameraTarget());
  target->SetName(u"Orbit Target");
  target->SetBasis(Turn(0.0f, 0.0f, 0.0f, 1.0f));
  CPointer<CKeyframeControl> rest;
  Result r = MakeKeys(u"Orbit Target keys", {{0, Turn(0.0f, 0.0f, 0.0f, 1.0f)}}, rest);
  if (Succeeded(r)) r = target->AddControl(rest.Get());
  CPointer<CCamera> camera(new CCamera());
  camera->SetName(u"Orbit Camera");
  camera->SetFrustum(0.5f, 100.0f, 0.8f);
  camera->SetFreeMode(false);
  if (Succeeded(r)) r = camera->SetTarget(target.Get());
  if (Failed(r)) return r;
  CPointer<CCameraKeyframeControl> orbit(new CCameraKeyframeControl());
  orbit->SetName(u"Orbit Camera keys");
  orbit->SetRepeat(CControl::RT_CYCLE);
  const Vec3 focus{0.0f, 0.0f, 1.0f};
  const Vec3 up{0.0f, 0.0f, 1.0f};
  const Vec3 eyes[2] = {{8.0f, 0.0f, 1.0f}, {0.0f, 8.0f, 1.0f}};
  for (u32 i = 0; i < 2 && Succeeded(r); ++i) {
    CRtsTransform pose = kIdentityTransform;
    r = CCamera::AlignToDirection(pose.Translate, pose.Rotate, *camera, eyes[i], focus - eyes[i], up);
    if (Succeeded(r)) r = orbit->AddRtsKey(static_cast<i32>(1000 * i), kFps, pose, i == 0 ? TT_LINEAR : TT_EASE_IN_OUT);
    if (Succeeded(r) && i == 0) camera->SetBasis(pose);
  }
  if (Succeeded(r)) r = camera->AddControl(orbit.Get());
  if (Succeeded(r)) r = scene.AddChild(camera.Get());
  return r;
}

// A "Clipped" node whose keyframe controller also lists two clips and a
// marker (kept with the keys, not played).
Result AddClipKeys(CNode& scene) {
  CPointer<CNode> node;
  Result r = CNode::Create(node);
  if (Failed(r)) return r;
  node->SetName(u"Clipped");
  node->SetBasis(Turn(0.0f, 5.0f, -4.0f, 0.0f));
  CPointer<CKeyframeClipControl> keys(new CKeyframeClipControl());
  keys->SetName(u"Clipped keys");
  keys->SetRepeat(CControl::RT_WRAP);
  r = keys->AddRtsKey(0, kFps, Turn(0.0f, 5.0f, -4.0f, 0.0f));
  if (Succeeded(r)) r = keys->AddRtsKey(1000, kFps, Turn(180.0f, 5.0f, -4.0f, 2.0f), TT_EASE_OUT);
  std::vector<CKeyframeClipControl::Clip> clips(2);
  clips[0].SetName(u"Wave");
  clips[0].First = 0;
  clips[0].Second = 500;
  clips[0].Third = 0.0f;
  clips[0].Fourth = 0.5f;
  clips[1].SetName(u"R\u00e9v\u00e9rence");
  clips[1].First = 500;
  clips[1].Second = 1000;
  clips[1].Third = 0.5f;
  clips[1].Fourth = 1.0f;
  if (Succeeded(r)) r = keys->SetClips(clips);
  if (Succeeded(r)) r = keys->ResizeMarkers(1);
  if (Succeeded(r)) r = node->AddControl(keys.Get());
  if (Succeeded(r)) r = scene.AddChild(node.Get());
  return r;
}

// A "Layered" node whose transform a layer control stacks from two
// keyframe layers: the base glides along X over one second at full
// weight; the lift (a quarter turn and a rise) weighs 0 at 0 ms and fades
// in to full weight by 1000 ms.
Result AddLayered(CNode& scene) {
  CPointer<CNode> layered;
  Result r = CNode::Create(layered);
  if (Failed(r)) return r;
  layered->SetName(u"Layered");
  layered->SetBasis(Turn(0.0f, 9.0f, 0.0f, 0.0f));
  CPointer<CRTSLayerControl> layers(new CRTSLayerControl());
  layers->SetName(u"Layered layers");
  CPointer<CKeyframeControl> glide, lift;
  r = MakeKeys(u"glide", {{0, Turn(0.0f, 9.0f, 0.0f, 0.0f)}, {1000, Turn(0.0f, 10.0f, 0.0f, 0.0f)}}, glide);
  if (Succeeded(r)) r = MakeKeys(u"lift", {{0, Turn(90.0f, 0.0f, 1.0f, 0.0f)}}, lift);
  if (Succeeded(r)) r = layered->AddControl(layers.Get());
  if (Succeeded(r)) r = layers->AddChild(glide.Get());
  if (Succeeded(r)) r = layers->AddChild(lift.Get());
  using WeightKey = CRTSLayerControl::CWeightKey;
  if (Succeeded(r)) r = layers->SetWeightKeys(0, {WeightKey(0, 1.0f)});
  if (Succeeded(r)) r = layers->SetWeightKeys(1, {WeightKey(0, 0.0f), WeightKey(1000, 1.0f, 1.0f, TT_EASE_IN_OUT)});
  if (Succeeded(r)) r = scene.AddChild(layered.Get());
  return r;
}

// Listed images: "Decal", 8 x 8 pixels kept as the bytes of a PNG file;
// "Swatch", 4 x 4 raw pixels with alpha; "Flicker", an animation of two
// stored frames that alternates between them. The frame images come first
// in the list, so the animation finds them when the list is read.
Result AddListedImages(CStream& stream) {
  CPointer<CImage> decal(new CImage());
  decal->SetName(u"Decal");
  Result r = PixelBuffer::Create(decal->EditImage(), PixelLayout::kBgr8, 8, 8);
  if (Failed(r)) return r;
  for (i32 y = 0; y < 8; ++y) {
    u8* row = decal->EditImage().Pixels + static_cast<std::size_t>(y) * decal->GetImage().Stride;
    for (i32 x = 0; x < 8; ++x) {
      row[3 * x + 0] = static_cast<u8>(x * 32);
      row[3 * x + 1] = static_cast<u8>(y * 32);
      row[3 * x + 2] = static_cast<u8>((x + y) * 16);
    }
  }
  decal->SetEmbedFormat(ImageFormat::kPng);
  r = decal->PrepareRuntime(nullptr);
  if (Failed(r)) return r;

  CPointer<CImage> swatch(new CImage());
  swatch->SetName(u"Swatch");
  swatch->SetEnableEmbed(false);
  r = PixelBuffer::Create(swatch->EditImage(), PixelLayout::kBgra8, 4, 4);
  if (Failed(r)) return r;
  for (i32 y = 0; y < 4; ++y) {
    u8* row = swatch->EditImage().Pixels + static_cast<std::size_t>(y) * swatch->GetImage().Stride;
    for (i32 x = 0; x < 4; ++x) {
      const u8 pixel[4] = {0x20, static_cast<u8>(0x40 * x), static_cast<u8>(0x40 * y), static_cast<u8>(0xFF - 0x30 * x)};
      for (int c = 0; c < 4; ++c) row[4 * x + c] = pixel[c];
    }
  }

  CPointer<CAnmImage> flicker(new CAnmImage());
  flicker->SetName(u"Flicker");
  CAnmImage::CFrame frame;
  frame.Delay = 25;
  r = flicker->AddFrame(frame, decal.Get());
  frame.Delay = 50;
  frame.OffsetX = 2;
  frame.OffsetY = 2;
  frame.FrameColor[0] = 0xFF;
  if (Succeeded(r)) r = flicker->AddFrame(frame, swatch.Get());
  if (Failed(r)) return r;

  for (CBase* image : {static_cast<CBase*>(decal.Get()), static_cast<CBase*>(swatch.Get()),
                       static_cast<CBase*>(flicker.Get())}) {
    r = stream.AddObject(image);
    if (Failed(r)) return r;
  }
  return kOk;
}

// A "Screen" layer that shows a video texture, placed three units wide
// and two high at (5, 7, 9): its projection is ProjPos (5, 7), ProjWidth 6
// and ProjHeight 4. The texture plays a track of one video whose file is
// missing, so the video loads as lost.
Result AddScreen(CNode& scene) {
  CPointer<CVideo> video(new CVideo());
  video->SetName(u"Screen video");
  video->VideoPath = u"missing/screen.avi";
  video->ApRelativePath = u"screen.avi";
  video->Length = 2000;
  CPointer<CVideoTrack> track(new CVideoTrack());
  track->SetName(u"Screen track");
  Result r = track->AddVideo(video.Get());
  if (Failed(r)) return r;
  track->CurrentVideo = 0;
  // The video plays from 0 ms and pauses at 2000 ms, fading in over the
  // first second; the track starts it at 0 ms for two plays, at half
  // volume, muted from 3000 ms.
  CPointer<CVideoControl> playback(new CVideoControl());
  playback->SetName(u"Screen playback");
  using StateKey = CVideoControl::CVideoStateKey;
  r = playback->EditStateKeys().SetKey(StateKey(0, CVideo::PS_Playing));
  if (Succeeded(r)) r = playback->EditStateKeys().SetKey(StateKey(2000, CVideo::PS_Paused));
  CVideoControl::CVideoVolumeKey fade;
  for (const auto& [time, volume] : {std::pair{0, 0.0f}, std::pair{1000, 1.0f}}) {
    fade.Time = time;
    fade.Volume = volume;
    if (Succeeded(r)) r = playback->EditVolumeKeys().SetKey(fade);
  }
  if (Succeeded(r)) r = video->AddControl(playback.Get());
  CPointer<CVideoTrackControl> clips(new CVideoTrackControl());
  clips->SetName(u"Screen clips");
  if (Succeeded(r)) r = clips->EditClipKeys().SetKey(CVideoTrackControl::CVideoClipKey(0, 0, 2));
  CVideoTrackControl::CTrackVolumeKey level;
  for (const auto& [time, mute] : {std::pair{0, false}, std::pair{3000, true}}) {
    level.Time = time;
    level.Volume = 0.5f;
    level.Mute = mute;
    if (Succeeded(r)) r = clips->EditVolumeKeys().SetKey(level);
  }
  if (Succeeded(r)) r = track->AddControl(clips.Get());
  if (Failed(r)) return r;
  CPointer<CVideoMap> texture(new CVideoMap());
  texture->SetName(u"Screen texture");
  texture->SetVideoTrack(track.Get());
  CPointer<CImageLayer> layer(new CImageLayer());
  layer->ZValue = 0.5f;
  layer->PivotType = CImageLayer::PT_LeftButtom;
  r = layer->SetContent(texture.Get());
  if (Failed(r)) return r;
  CRtsTransform pose = Turn(0.0f, 5.0f, 7.0f, 9.0f);
  pose.Scale = {3.0f, 2.0f, 1.0f};
  return AddAnimated(scene, *layer, u"Screen", {{0, pose}});
}

// An image-based light that lights the scene at half strength from the
// cube's "CubeSkin" image, which it shares with the cube's material.
Result AddImageLight(CNode& scene) {
  CBase* image = scene.Find(u"CubeSkin", &CImage::StaticClassRecord(), false, false);
  if (image == nullptr) return kErrNotFound;
  CPointer<CImageLight> light(new CImageLight());
  light->Strength = 0.5f;
  Result r = light->SetImage(image);
  // Its control fades it from 0.5 up to 1.5 over the first second and
  // switches it off there.
  CPointer<CImageLightControl> fade(new CImageLightControl());
  fade->SetName(u"Sky light fade");
  CImageLightControl::CIblKey key;
  for (const auto& [time, active, strength] : {std::tuple{0, true, 0.5f}, std::tuple{1000, false, 1.5f}}) {
    key.Time = time;
    key.Active = active;
    key.Strength = strength;
    if (Succeeded(r)) r = fade->EditKeys().SetKey(key);
  }
  if (Succeeded(r)) r = light->AddControl(fade.Get());
  if (Succeeded(r)) r = AddPlaced(scene, *light, u"Sky light", 0.0f, 20.0f, 0.0f);
  return r;
}

// A "Glow" post effect in the object list, with two variables and one
// entry. The stream reads listed records on their own, without a link
// pass, so the entry names no object: an object it named would not come
// back.
Result AddListedPostEffect(CStream& stream) {
  CPointer<CPostEffect> glow(new CPostEffect());
  glow->SetName(u"Glow");
  glow->Kind = 1;
  const char parameters[] = {'b', 'l', 'o', 'o', 'm'};
  Result r = glow->SetParameters(parameters, sizeof(parameters));
  if (Succeeded(r)) r = glow->AddVariable(0, {1.0f, 0.9f, 0.8f, 1.0f});
  if (Succeeded(r)) r = glow->AddVariable(1, {0.5f, 0.0f, 0.0f, 0.0f});
  if (Succeeded(r)) r = glow->AddObjectEntry(nullptr, {1, 0, 0, 0}, {1.0f, 1.0f, 1.0f, 1.0f});
  if (Succeeded(r)) r = stream.AddObject(glow.Get());
  return r;
}

// A "Pulse" post effect with two variables, animated by its control: the
// second variable swells from 0.5 to 1.0 and back over two seconds; the
// first variable's track has no keys and stays put. It rides on an
// "Effects" node of the scene, so that the scene's link pass brings its
// controller back.
Result AddPulseEffect(CNode& scene) {
  CPointer<CPostEffect> effect(new CPostEffect());
  effect->SetName(u"Pulse");
  Result r = effect->AddVariable(0, {1.0f, 1.0f, 1.0f, 1.0f});
  if (Succeeded(r)) r = effect->AddVariable(1, {0.5f, 0.0f, 0.0f, 0.0f});
  CPointer<CPostEffectControl> pulse(new CPostEffectControl());
  pulse->SetName(u"Pulse keys");
  pulse->EditTracks().resize(2);
  CPostEffectControl::CVarKey key;
  for (const auto& [time, strength] : {std::pair{0, 0.5f}, std::pair{1000, 1.0f}, std::pair{2000, 0.5f}}) {
    key.Time = time;
    key.afData = {strength, 0.0f, 0.0f, 0.0f};
    if (Succeeded(r)) r = pulse->EditTracks()[1].SetKey(key);
  }
  if (Succeeded(r)) r = effect->AddControl(pulse.Get());
  if (Failed(r)) return r;
  CPointer<CNode> holder;
  r = CNode::Create(holder);
  if (Failed(r)) return r;
  holder->SetAttachment(effect.Get());
  return AddPlaced(scene, *holder, u"Effects", 0.0f, 0.0f, 0.0f);
}

// A camera switcher "Cuts" in "CM_Switch" whose controller cuts to the
// sample's "Camera" at 0 ms and away from it at 1000 ms. It rides on a
// "Director" node of the scene: its controller and cameras are references
// that only the scene's link pass resolves.
Result AddCameraCuts(CNode& scene) {
  auto* camera = DynamicCast<CCamera>(scene.Find(u"Camera", &CCamera::StaticClassRecord(), false, false));
  if (camera == nullptr) return kErrNotFound;
  CPointer<CCameraSwitcher> switcher(new CCameraSwitcher());
  switcher->SetName(u"Cuts");
  switcher->SetMode(CCameraSwitcher::CM_Switch);
  switcher->SetSelectedCamera(camera);
  CPointer<CCameraSwitcherControl> cuts(new CCameraSwitcherControl());
  cuts->SetName(u"Cuts keys");
  using CameraKey = CCameraSwitcherControl::CCameraKey;
  Result r = cuts->SetKey(CameraKey(0, camera), kFps);
  if (Succeeded(r)) r = cuts->SetKey(CameraKey(1000, nullptr), kFps);
  if (Succeeded(r)) r = switcher->AddControl(cuts.Get());
  if (Failed(r)) return r;
  CPointer<CNode> director;
  r = CNode::Create(director);
  if (Failed(r)) return r;
  director->SetAttachment(switcher.Get());
  return AddPlaced(scene, *director, u"Director", 0.0f, 0.0f, 0.0f);
}

}  // namespace

// A box that plays back a baked wobble: squashed at 500 ms, whole again at
// 1000 ms, its top corners only through the index list. The playback
// writes world positions and the unlisted corners keep the mesh's own, so
// the box stands at the origin, where both agree.
Result AddJelly(CNode& scene) {
  CPointer<CTriMesh> jelly(new CTriMesh());
  CPointer<CTriMeshData> box;
  Result r = MakeTexturedBox(Vec3{1.0f, 1.0f, 1.0f}, box);
  if (Succeeded(r)) r = jelly->SetSingleLod(box.Get());
  if (Failed(r)) return r;
  CPointer<CPhysicsSoftControl> wobble(new CPhysicsSoftControl());
  wobble->SetName(u"Jelly wobble");
  wobble->SetPlayback(true);
  std::vector<Vec3> rest, squashed;
  std::vector<u32> top;
  for (u32 i = 0; i < 8; ++i) {
    const Vec3 p = box->GetXYZ()[i];
    rest.push_back(p);
    squashed.push_back(p.y > 0.0f ? Vec3{p.x * 1.25f - 0.125f, 0.6f, p.z * 1.25f - 0.125f} : p);
    if (p.y > 0.0f) top.push_back(i);
  }
  r = wobble->AddSample(0, rest);
  if (Succeeded(r)) r = wobble->AddSample(500, squashed);
  if (Succeeded(r)) r = wobble->AddSample(1000, rest);
  if (Succeeded(r)) r = wobble->SetVertexIndices(top);
  if (Failed(r)) return r;
  wobble->SetUseIndexList(1);
  r = jelly->AddControl(wobble.Get());
  if (Succeeded(r)) r = AddPlaced(scene, *jelly, u"Jelly", 0.0f, 0.0f, 0.0f);
  return r;
}

// The normals of `mesh` that corners at vertex `v` use, each once.
std::vector<u32> NormalsAtVertex(const CTriMeshData& mesh, u32 v) {
  std::vector<u32> normals;
  const u32 corners = 3 * mesh.GetTriangleQuantity();
  for (u32 c = 0; c < corners; ++c) {
    if (mesh.GetXYZTriIndex()[c] != v) continue;
    const u32 n = mesh.GetNormalTriIndex()[c];
    if (std::find(normals.begin(), normals.end(), n) == normals.end()) normals.push_back(n);
  }
  return normals;
}

// Two boxes side by side, welded along the face where they meet: the
// right one bobs up and down and the shared corners follow both.
Result AddSeam(CNode& scene) {
  CPointer<CTriMesh> left(new CTriMesh());
  CPointer<CTriMesh> right(new CTriMesh());
  CPointer<CTriMeshData> leftBox, rightBox;
  Result r = MakeTexturedBox(Vec3{1.0f, 1.0f, 1.0f}, leftBox);
  if (Succeeded(r)) r = MakeTexturedBox(Vec3{1.0f, 1.0f, 1.0f}, rightBox);
  if (Succeeded(r)) r = left->SetSingleLod(leftBox.Get());
  if (Succeeded(r)) r = right->SetSingleLod(rightBox.Get());
  if (Failed(r)) return r;
  // Corner i sits at (i & 1, (i >> 1) & 1, i >> 2): the left box's corners
  // at x = 1 meet the right box's corners at x = 0 with the same y and z.
  std::vector<u32> ids0, ids1;
  std::vector<std::vector<u32>> normals0, normals1;
  for (u32 i = 1; i < 8; i += 2) {
    ids0.push_back(i);
    ids1.push_back(i - 1);
    normals0.push_back(NormalsAtVertex(*leftBox, i));
    normals1.push_back(NormalsAtVertex(*rightBox, i - 1));
  }
  CPointer<CConnectData> seam(new CConnectData());
  seam->SetName(u"Seam");
  seam->SetMeshes(left.Get(), right.Get());
  r = seam->SetSeam(ids0, ids1, normals0, normals1);
  if (Failed(r)) return r;
  CPointer<CConnectControl> leftWeld(new CConnectControl());
  CPointer<CConnectControl> rightWeld(new CConnectControl());
  leftWeld->SetName(u"Seam left weld");
  rightWeld->SetName(u"Seam right weld");
  leftWeld->SetConnectData(seam.Get());
  rightWeld->SetConnectData(seam.Get());
  r = left->AddControl(leftWeld.Get());
  if (Succeeded(r)) r = right->AddControl(rightWeld.Get());
  if (Succeeded(r)) r = AddPlaced(scene, *left, u"Seam left", -6.0f, 0.0f, 0.0f);
  if (Succeeded(r)) {
    r = AddAnimated(scene, *right, u"Seam right",
                    {{0, Turn(0.0f, -5.0f, 0.0f, 0.0f)}, {500, Turn(0.0f, -5.0f, 0.5f, 0.0f)},
                     {1000, Turn(0.0f, -5.0f, 0.0f, 0.0f)}});
  }
  return r;
}

namespace {

// "Shapes": a group shape holding one vector shape, a square "Tile" of
// four edges filled with a solid, a gradient and a bitmap fill (a 2 x 2
// "Checker" image) and outlined by a line style, placed twice ("Left
// Tile", "Right Tile"). Over one second the outline thickens and darkens,
// the solid fades, both fills' placements turn a quarter, the top edge
// bulges upward and the gradient's first stop slides toward the middle.
Result AddVectorShapes(CNode& scene) {
  CPointer<CImage> checker(new CImage());
  checker->SetName(u"Checker");
  Result r = PixelBuffer::Create(checker->EditImage(), PixelLayout::kBgr8, 2, 2);
  if (Failed(r)) return r;
  for (i32 y = 0; y < 2; ++y) {
    u8* row = checker->EditImage().Pixels + static_cast<std::size_t>(y) * checker->GetImage().Stride;
    for (i32 x = 0; x < 6; ++x) row[x] = static_cast<u8>((x / 3 + y) % 2 == 0 ? 0xFF : 0x00);
  }
  checker->SetEmbedFormat(ImageFormat::kPng);
  r = checker->PrepareRuntime(nullptr);
  if (Failed(r)) return r;

  CPointer<CFillStyle> solid(new CFillStyle());
  solid->SetName(u"Tile Solid");
  solid->Color = CColor(0.2f, 0.6f, 0.9f, 1.0f);
  solid->AdjustColor(0.0f, 0.0f, 0.0f, 0.0f, false);
  CPointer<CFillStyleControl> fade(new CFillStyleControl());
  fade->SetName(u"Tile Solid fade");
  r = fade->SetKey(0, solid->Color, 1.0f, 0.0f, TT_LINEAR);
  if (Succeeded(r)) r = fade->SetKey(1000, CColor(0.9f, 0.6f, 0.2f, 1.0f), 0.25f, 0.0f, TT_EASE_IN_OUT);
  if (Succeeded(r)) r = solid->AddControl(fade.Get());

  const f32 half = std::sqrt(0.5f);
  const CQuaternion quarter(0.0f, 0.0f, half, half);
  CPointer<CGradientFillStyle> gradient(new CGradientFillStyle());
  gradient->SetName(u"Tile Gradient");
  gradient->GradientType = CGradientFillStyle::Radial;
  const CGradientFillStyle::_KTGradientRec stops[] = {{0.0f, CColor(1.0f, 1.0f, 1.0f, 1.0f)},
                                                      {1.0f, CColor(0.0f, 0.0f, 0.5f, 1.0f)}};
  if (Succeeded(r)) r = gradient->SetGradientRecords(stops, 2);
  if (Succeeded(r)) r = gradient->RefreshAnimated();
  CPointer<CGradientFillStyleControl> spin(new CGradientFillStyleControl());
  spin->SetName(u"Tile Gradient spin");
  if (Succeeded(r)) r = spin->SetKey(0, kQuaternionIdentity, {1.0f, 1.0f, 1.0f}, {0.0f, 0.0f, 0.0f}, 0.0f, TT_LINEAR);
  if (Succeeded(r)) r = spin->SetKey(1000, quarter, {2.0f, 2.0f, 1.0f}, {5.0f, 5.0f, 0.0f}, 0.0f, TT_LINEAR);
  if (Succeeded(r)) r = gradient->AddControl(spin.Get());
  CPointer<CGradientMorphControl> slide(new CGradientMorphControl());
  slide->SetName(u"Tile Gradient slide");
  const CGradientFillStyle::_KTGradientRec slideBy[] = {{0.5f, CColor(-0.5f, 0.0f, -0.5f, 0.0f)}};
  if (Succeeded(r)) r = slide->SetDeltas(slideBy, 1);
  if (Succeeded(r)) r = slide->SetWeightKey(0, 0.0f, 0.0f, TT_LINEAR);
  if (Succeeded(r)) r = slide->SetWeightKey(1000, 1.0f, 0.0f, TT_LINEAR);
  if (Succeeded(r)) r = gradient->AddControl(slide.Get());

  CPointer<CBitmapFillStyle> bitmap(new CBitmapFillStyle());
  bitmap->SetName(u"Tile Bitmap");
  bitmap->RepeatMode = CBitmapFillStyle::Wrap;
  bitmap->SetBitmap(checker.Get());
  CPointer<CBitmapFillStyleControl> turn(new CBitmapFillStyleControl());
  turn->SetName(u"Tile Bitmap turn");
  if (Succeeded(r)) r = turn->SetKey(0, kQuaternionIdentity, {1.0f, 1.0f, 1.0f}, {0.0f, 0.0f, 0.0f}, 0.0f, TT_LINEAR);
  if (Succeeded(r)) r = turn->SetKey(1000, quarter, {1.0f, 1.0f, 1.0f}, {0.0f, 0.0f, 0.0f}, 0.0f, TT_EASE_OUT);
  if (Succeeded(r)) r = bitmap->AddControl(turn.Get());

  CPointer<CLineStyle> outline(new CLineStyle());
  outline->SetName(u"Tile Outline");
  outline->Width = 0.05f;
  outline->Color = CColor(0.0f, 0.0f, 0.0f, 1.0f);
  outline->JoinStyle = CLineStyle::JS_MITER;
  outline->MiterLimitFactor = 2.0f;
  outline->RefreshAnimated();
  CPointer<CLineStyleControl> thicken(new CLineStyleControl());
  thicken->SetName(u"Tile Outline thicken");
  if (Succeeded(r)) r = thicken->SetKey(0, 0.05f, CColor(0.5f, 0.5f, 0.5f, 1.0f), 1.0f, 0.0f, TT_LINEAR);
  if (Succeeded(r)) r = thicken->SetKey(1000, 0.2f, CColor(0.0f, 0.0f, 0.0f, 1.0f), 1.0f, 0.0f, TT_EASE_IN);
  if (Succeeded(r)) r = outline->AddControl(thicken.Get());
  if (Failed(r)) return r;

  CPointer<CShape> tile(new CShape());
  tile->SetName(u"Tile");
  tile->Plane = 1;
  tile->AddFillStyle(solid.Get());
  tile->AddFillStyle(gradient.Get());
  tile->AddFillStyle(bitmap.Get());
  tile->AddLineStyle(outline.Get());
  // The square from (0, 0) to (1, 1), one straight segment per side (each
  // control point halfway along it).
  const CVector2 corners[5] = {{0.0f, 0.0f}, {1.0f, 0.0f}, {1.0f, 1.0f}, {0.0f, 1.0f}, {0.0f, 0.0f}};
  const char16_t* const sides[4] = {u"Tile Bottom", u"Tile Right", u"Tile Top", u"Tile Left"};
  for (u32 i = 0; i < 4 && Succeeded(r); ++i) {
    CPointer<CEdge> edge(new CEdge());
    edge->SetName(sides[i]);
    edge->StartPoint = corners[i];
    edge->FillStyleID0 = static_cast<u16>(i % 3 + 1);
    edge->LineStyleID = 1;
    edge->NewShape = i == 0;
    const CEdge::EdgeCurve side{(corners[i] + corners[i + 1]) * 0.5f, corners[i + 1]};
    r = edge->SetCurves(&side, 1);
    if (Succeeded(r) && i == 2) {
      CPointer<CEdgeMorphControl> bulge(new CEdgeMorphControl());
      bulge->SetName(u"Tile Top bulge");
      const CEdge::EdgeCurve up{{0.0f, 0.5f}, {0.0f, 0.0f}};
      r = bulge->SetDeltas(&up, 1);
      if (Succeeded(r)) r = bulge->SetWeightKey(0, 0.0f, 0.0f, TT_LINEAR);
      if (Succeeded(r)) r = bulge->SetWeightKey(1000, 1.0f, 0.0f, TT_EASE_IN_OUT);
      if (Succeeded(r)) r = edge->AddControl(bulge.Get());
    }
    tile->AddEdge(edge.Get());
  }
  if (Failed(r)) return r;

  CPointer<CGroupShape> group(new CGroupShape());
  group->GroupID = 1;
  group->Layer = 2;
  group->AddShape(tile.Get());
  const char16_t* const placements[2] = {u"Left Tile", u"Right Tile"};
  for (u32 i = 0; i < 2 && Succeeded(r); ++i) {
    CPointer<CShapeInstance> instance(new CShapeInstance());
    instance->SetName(placements[i]);
    instance->Depth = i + 1;
    CPointer<CKeyframeControl> place;
    r = MakeKeys(placements[i], {{0, Turn(0.0f, i == 0 ? -1.5f : 0.5f, 0.0f, 0.0f)}}, place);
    if (Succeeded(r)) r = instance->AddControl(place.Get());
    if (Succeeded(r)) r = group->AddShapeInstance(instance.Get());
  }
  if (Succeeded(r)) r = AddPlaced(scene, *group, u"Shapes", 0.0f, 0.0f, -3.0f);
  return r;
}

// A raw 2 x 2 BGR image of one colour.
Result MakeSquare(const char16_t* name, u8 blue, u8 green, u8 red, CPointer<CImage>& out) {
  out = new CImage();
  out->SetName(name);
  out->SetEnableEmbed(false);
  const Result r = PixelBuffer::Create(out->EditImage(), PixelLayout::kBgr8, 2, 2);
  if (Failed(r)) return r;
  for (i32 y = 0; y < 2; ++y) {
    u8* row = out->EditImage().Pixels + static_cast<std::size_t>(y) * out->GetImage().Stride;
    for (i32 x = 0; x < 2; ++x) {
      row[3 * x + 0] = blue;
      row[3 * x + 1] = green;
      row[3 * x + 2] = red;
    }
  }
  return kOk;
}

Result AddFlipbookMaterial(CTriMesh& box) {
  CPointer<CImage> page, red, blue;
  Result r = MakeSquare(u"FlipbookImage", 0, 0, 0, page);
  if (Succeeded(r)) r = MakeSquare(u"FlipbookRed", 0, 0, 0xFF, red);
  if (Succeeded(r)) r = MakeSquare(u"FlipbookBlue", 0xFF, 0, 0, blue);
  if (Failed(r)) return r;
  CPointer<CAnmImage> frames(new CAnmImage());
  frames->SetName(u"FlipbookFrames");
  CAnmImage::CFrame frame;
  r = frames->AddFrame(frame, red.Get());
  frame.Delay = 50;
  if (Succeeded(r)) r = frames->AddFrame(frame, blue.Get());
  if (Failed(r)) return r;

  CPointer<CTextureMap> map(new CTextureMap());
  map->SetName(u"Flipbook");
  map->SetImage(page.Get());
  CPointer<CAnmImageControl> player(new CAnmImageControl());
  player->SetName(u"FlipbookPlayer");
  player->SetAnmImage(frames.Get());
  r = map->AddControl(player.Get());
  if (Failed(r)) return r;
  CPointer<CStandardMaterial> material(new CStandardMaterial());
  material->SetName(u"FlipbookMaterial");
  material->SetTexture(CStandardMaterial::kDiffuse, map.Get());
  return box.AddLodObject(0, material.Get());
}

Result AddBlendedMaterial(CTriMesh& box) {
  CPointer<CStandardMaterial> material(new CStandardMaterial());
  material->SetName(u"BlendedMaterial");
  CPointer<CMaterialLayerControl> blend(new CMaterialLayerControl());
  blend->SetName(u"Blend");
  Result r = material->AddControl(blend.Get());
  for (const auto& [name, colour] : {std::pair<const char16_t*, Vec3>{u"Warm", Vec3{1.0f, 0.2f, 0.0f}},
                                     std::pair<const char16_t*, Vec3>{u"Cool", Vec3{0.0f, 0.2f, 1.0f}}}) {
    CPointer<CMaterialAttributeControl> child(new CMaterialAttributeControl());
    child->SetName(name);
    if (Succeeded(r)) r = child->SetLightKey(0, 30.0f, colour, colour, colour, 0.5f, 1.0f, 0.0f);
    if (Succeeded(r)) r = child->SetSelfKey(0, 30.0f, 1.0f, 0.0f, 0.0f);
    if (Succeeded(r)) r = blend->AddChild(child.Get());
  }
  if (Succeeded(r)) r = blend->SetKeys({0, 1000}, {{1.0f, 0.0f}, {0.0f, 1.0f}});
  if (Succeeded(r)) r = box.AddLodObject(0, material.Get());
  return r;
}

// "Swatches", a box whose materials are animated beyond their colours:
// "ScrollingMaterial" slides its diffuse texture one whole width to the
// right between 0 and 1000 ms; "KeptMaterial" holds material animation
// lists of an older form that are kept, never evaluated; "FlipbookMaterial"
// shows "FlipbookImage", into which "FlipbookPlayer" paints the frames of
// "FlipbookFrames": a red square until 500 ms, then a blue one;
// "BlendedMaterial" is blended by "Blend", a layer of two attribute
// controllers, "Warm" (red) at 0 ms and "Cool" (blue) from 1000 ms on.
Result AddSwatches(CNode& scene) {
  CPointer<CTriMesh> box(new CTriMesh());
  CPointer<CTriMeshData> level;
  Result r = MakeTexturedBox(Vec3{0.5f, 0.5f, 0.5f}, level);
  if (Succeeded(r)) r = box->SetLods(std::vector<CGeometryData*>{level.Get()});
  if (Failed(r)) return r;

  CPointer<CStandardMaterial> scrolling(new CStandardMaterial());
  scrolling->SetName(u"ScrollingMaterial");
  CPointer<CMaterialUVControl> scroll(new CMaterialUVControl());
  scroll->SetName(u"Scroll");
  CMaterialUVControl::CMtrlUvKey key;
  r = scroll->SetUvKey(CStandardMaterial::kDiffuse, key, 30.0f);
  key.Time = 1000;
  key.Translate = {1.0f, 0.0f};
  if (Succeeded(r)) r = scroll->SetUvKey(CStandardMaterial::kDiffuse, key, 30.0f);
  if (Succeeded(r)) r = scrolling->AddControl(scroll.Get());
  if (Succeeded(r)) r = box->AddLodObject(0, scrolling.Get());
  if (Failed(r)) return r;

  CPointer<CStandardMaterial> kept(new CStandardMaterial());
  kept->SetName(u"KeptMaterial");
  CPointer<CMaterialControl> lists(new CMaterialControl());
  lists->SetName(u"KeptLists");
  lists->EditLists().SelfTimes = {0.0f, 1000.0f};
  lists->EditLists().Opacity = {1.0f, 0.5f};
  r = kept->AddControl(lists.Get());
  if (Succeeded(r)) r = box->AddLodObject(0, kept.Get());
  if (Succeeded(r)) r = AddFlipbookMaterial(*box);
  if (Succeeded(r)) r = AddBlendedMaterial(*box);
  if (Succeeded(r)) r = AddPlaced(scene, *box, u"Swatches", -3.0f, 0.0f, 2.0f);
  return r;
}

// "Meadow", a grass field of two regions side by side (the second without
// blades yet) inside a box of 8 x 8 x 1 units; its blades lean with a
// light wind along X. "Meadow material" rides along as its first object.
// The field keeps its blades in world space, so it hangs in the scene
// without a transform controller.
Result AddMeadow(CNode& scene) {
  CPointer<CGrass> meadow(new CGrass());
  meadow->SetName(u"Meadow");
  meadow->LodFarDistance = 60.0f;
  meadow->LodTransitionLength = 10.0f;
  meadow->WindDir = Vec3(1.0f, 0.0f, 0.0f);
  meadow->WindPeriod = 2000.0f;
  meadow->WindAmplitude = 0.2f;
  meadow->NumRegionCols = 2;
  meadow->NumRegionRows = 1;
  meadow->Region.resize(2);
  for (u32 i = 0; i < 2; ++i) {
    CGrass::CRegion& region = meadow->Region[i];
    region.Min = Vec3(-4.0f + 4.0f * static_cast<f32>(i), -4.0f, 0.0f);
    region.Max = region.Min + Vec3(4.0f, 8.0f, 1.0f);
    region.Center = (region.Min + region.Max) * 0.5f;
    region.CullingRadius = (region.Max - region.Center).Length();
  }
  for (u32 b = 0; b < 3; ++b) {
    CGrass::CBlade blade;
    blade.Pos = Vec3(-3.0f + static_cast<f32>(b), -1.0f + static_cast<f32>(b), 0.0f);
    blade.Normal = Vec3(0.0f, 0.0f, 1.0f);
    blade.Width = 0.05f;
    blade.Height = 0.5f + 0.25f * static_cast<f32>(b);
    blade.Throw = 0.1f;
    blade.BottomColor = Vec3(0.1f, 0.3f, 0.05f);
    blade.TopColor = Vec3(0.5f, 0.9f, 0.3f);
    meadow->Region[0].Blade.push_back(blade);
  }
  meadow->GrassBound.Min = Vec3(-4.0f, -4.0f, 0.0f);
  meadow->GrassBound.Max = Vec3(4.0f, 4.0f, 1.0f);
  CPointer<CStandardMaterial> look(new CStandardMaterial());
  look->SetName(u"Meadow material");
  look->Diffuse = Vec3(0.3f, 0.7f, 0.2f);
  Result r = meadow->SetAuxObject(0, look.Get());
  if (Succeeded(r)) r = scene.AddChild(meadow.Get());
  return r;
}

// "Terrain height", a height field of the full 513 x 513 grid, 25600
// units a side and centred on the origin, sloping gently up toward +x and
// +y; its SubObject is "Terrain material", the height-map material with
// a green lowland, a grey highland and a second layer in use.
Result MakeTerrainHeight(CPointer<CHeightMap>& map) {
  map = new CHeightMap();
  map->SetName(u"Terrain height");
  map->Offset = Vec3(-12800.0f, -12800.0f, -10.0f);
  Result r = map->Heights.Create(CHeightMap::kSampleCount);
  if (Failed(r)) return r;
  for (u32 row = 0; row < CHeightMap::kSamplesPerSide; ++row) {
    for (u32 column = 0; column < CHeightMap::kSamplesPerSide; ++column) {
      map->Heights[row * CHeightMap::kSamplesPerSide + column] =
          0.25f * static_cast<f32>(row) + 0.125f * static_cast<f32>(column);
    }
  }
  map->MinHeight = 0.0f;
  map->MaxHeight = 0.375f * 512.0f;
  map->Setting = 3;
  CPointer<CHeightMapMaterial> material(new CHeightMapMaterial());
  material->SetName(u"Terrain material");
  material->Color1 = Vec3(0.2f, 0.5f, 0.1f);
  material->Color2 = Vec3(0.5f, 0.5f, 0.5f);
  material->Switch = true;
  material->Layer2.Low = CVector2(0.25f, 0.0f);
  material->Layer2.Amount = 0.5f;
  return map->SetSubObject(material.Get());
}

// The scene's render settings, a further root: "Scene Settings" owns the
// terrain "Ground" (its height map "Terrain height" in SubObject2), the sky "Sky" and the
// water "Lake"; its HDR settings are animated by "Scene HDR", from
// GT_Camera at exposure 1 (0 ms) to GT_SunnyCross at exposure 3 (1000 ms).
Result AddSceneSettings(CStream& stream) {
  CPointer<CScene> settings(new CScene());
  settings->SetName(u"Scene Settings");
  settings->AmbientColor = CColor(0.2f, 0.2f, 0.25f, 0.0f);
  settings->BackgroundColor = CColor(0.4f, 0.6f, 0.9f, 1.0f);
  settings->FogEnable = true;
  settings->FogColor = CColor(0.7f, 0.7f, 0.8f, 0.0f);
  settings->SSAOEnable = true;
  settings->ToonLevel = {0.0f, 0.5f, 1.0f};

  CPointer<CTerrain> ground(new CTerrain());
  ground->SetName(u"Ground");
  CPointer<CHeightMap> terrainHeight;
  Result r = MakeTerrainHeight(terrainHeight);
  if (Failed(r)) return r;
  r = ground->SetSubObject2(terrainHeight.Get());
  if (Failed(r)) return r;
  CPointer<CSky> sky(new CSky());
  sky->SetName(u"Sky");
  sky->FogIncluded = true;
  CPointer<CWater> lake(new CWater());
  lake->SetName(u"Lake");
  lake->WaterColor = CColor(0.1f, 0.3f, 0.4f, 0.0f);
  lake->Softness = 2;
  r = settings->SetSubObject1(ground.Get());
  if (Succeeded(r)) r = settings->SetSubObject2(sky.Get());
  if (Succeeded(r)) r = settings->SetSubObject3(lake.Get());
  if (Failed(r)) return r;

  CPointer<CHDRControl> hdr(new CHDRControl());
  hdr->SetName(u"Scene HDR");
  CHDRControl::CHdrKey hdrKey;
  for (const auto& [time, glare, exposure] :
       {std::tuple{0, u32{GT_Camera}, 1.0f}, std::tuple{1000, u32{GT_SunnyCross}, 3.0f}}) {
    hdrKey.Time = time;
    hdrKey.HDREnable = true;
    hdrKey.GlareType = glare;
    hdrKey.Exposure = exposure;
    r = hdr->EditKeys().SetKey(hdrKey);
    if (Failed(r)) return r;
  }
  r = settings->AddControl(hdr.Get());
  if (Succeeded(r)) r = stream.AddRootObject(settings.Get());
  return r;
}

// "Grove": the example tree of `drn sample --tree` ("Sample Tree", computed
// with seed 3) shown twice: "Oak" under "Oak Spot", turned a quarter about
// Z, and "Tall Oak" under "Tall Spot", scaled 1.5 and turned back by 30
// degrees. Both instances share the one tree; "Oak" also carries "Breeze",
// a wind of four wind matrices and four leaf angles.
Result AddGrove(CNode& scene) {
  const std::vector<u8> data = BuildSampleTree();
  if (data.empty()) return kErrOutOfMemory;
  CPointer<CTree> tree(new CTree());
  tree->SetName(u"Sample Tree");
  tree->Seed = 3;
  Result r = tree->SetTreeData(data.data(), static_cast<u32>(data.size()));
  if (Failed(r)) return r;

  CPointer<CWind> breeze(new CWind());
  breeze->SetName(u"Breeze");
  if (breeze->GetTreeWind() == nullptr) return kErrOutOfMemory;
  trt::CTreeWindDef& wind = breeze->GetTreeWind()->GetDefinition();
  wind.SetQuantities(4, 4);
  wind.SetGusting(0.25f, 1.0f, 0.5f, 1.0f, 3.0f);
  wind.SetLeafRustling(8.0f, 2.0f, 0.05f, 0.4f);
  breeze->RockAngles.assign(4, 0.0f);
  breeze->RustleAngles.assign(4, 0.0f);

  CPointer<CNode> grove;
  r = CNode::Create(grove);
  if (Succeeded(r)) r = AddPlaced(scene, *grove, u"Grove", 6.0f, -4.0f, 0.0f);
  CRtsTransform tall = Turn(-30.0f, 3.0f, 0.0f, 0.0f);
  tall.Scale = {1.5f, 1.5f, 1.5f};
  const std::tuple<const char16_t*, const char16_t*, CRtsTransform> spots[2] = {
      {u"Oak Spot", u"Oak", Turn(90.0f, 0.0f, 0.0f, 0.0f)}, {u"Tall Spot", u"Tall Oak", tall}};
  for (u32 i = 0; i < 2 && Succeeded(r); ++i) {
    const auto& [spotName, name, pose] = spots[i];
    CPointer<CNode> spot;
    r = CNode::Create(spot);
    if (Succeeded(r)) r = AddAnimated(*grove, *spot, spotName, {{0, pose}});
    CPointer<CTreeInstance> instance(new CTreeInstance());
    instance->SetTree(tree.Get());
    instance->LightShaderParams.GlobalLightScalar = 1.0f;
    instance->LightShaderParams.AmbientScalar = 0.25f;
    instance->Material[0].Diffuse = Vec3{0.4f, 0.3f, 0.2f};
    instance->Material[1].Diffuse = Vec3{0.2f, 0.6f, 0.2f};
    instance->Material[1].Shininess = 8.0f;
    if (i == 0) {
      instance->SetAuxObject(breeze.Get());
      instance->WindMatrixOffset = 1.0f;
    }
    if (Succeeded(r)) r = AddPlaced(*spot, *instance, name, 0.0f, 0.0f, 0.0f);
  }
  return r;
}

}  // namespace

Result BuildSampleScene(CStream& stream) {
  CPointer<CCustomData> custom;
  Result r = MakeCustomData(custom);
  CPointer<CThumbnail> thumbnail;
  if (Succeeded(r)) r = MakeThumbnail(thumbnail);
  if (Failed(r)) return r;

  CPointer<CVersionData> version(new CVersionData());
  version->SetName(u"FileAppVersion");
  version->SetApp(u"drn sample", 5000100);
  version->SetDescription(u"written by drn sample");
  version->SetDataVersion(0xFFFFFFFFu);

  CPointer<CRawData> listed(new CRawData());
  listed->SetName(u"Listed");
  const u8 note[] = {'n', 'o', 't', 'e'};
  r = listed->SetData(sizeof(note), note);
  if (Failed(r)) return r;

  CPointer<CNode> scene;
  r = CNode::Create(scene);
  if (Failed(r)) return r;
  scene->SetName(u"Scene");
  r = AddArm(*scene);
  if (Succeeded(r)) r = AddSwitch(*scene);
  if (Succeeded(r)) r = AddClipSwitch(*scene);
  if (Succeeded(r)) r = AddCharacter(*scene);
  if (Succeeded(r)) r = AddDancer(*scene);
  if (Succeeded(r)) r = AddStageHand(*scene);
  if (Succeeded(r)) r = AddFlag(*scene);
  if (Succeeded(r)) r = AddTrack(*scene);
  if (Succeeded(r)) r = AddMirror(*scene);
  if (Succeeded(r)) r = AddBillboards(*scene);
  if (Succeeded(r)) r = AddLights(*scene);
  if (Succeeded(r)) r = AddCamera(*scene);
  if (Succeeded(r)) r = AddSound(*scene);
  if (Succeeded(r)) r = AddAim(*scene);
  if (Succeeded(r)) r = AddOrbitCamera(*scene);
  if (Succeeded(r)) r = AddClipKeys(*scene);
  if (Succeeded(r)) r = AddLayered(*scene);
  if (Succeeded(r)) r = AddFollowers(*scene);
  if (Succeeded(r)) r = AddJelly(*scene);
  if (Succeeded(r)) r = AddSeam(*scene);
  if (Succeeded(r)) r = AddScreen(*scene);
  if (Succeeded(r)) r = AddImageLight(*scene);
  if (Succeeded(r)) r = AddCameraCuts(*scene);
  if (Succeeded(r)) r = AddVectorShapes(*scene);
  if (Succeeded(r)) r = AddSwatches(*scene);
  if (Succeeded(r)) r = AddPulseEffect(*scene);
  if (Succeeded(r)) r = AddMeadow(*scene);
  if (Succeeded(r)) r = AddGrove(*scene);
  // The custom data chain rides on the scene root.
  if (Succeeded(r)) r = scene->AddCustomData(custom.Get());
  if (Failed(r)) return r;

  stream.AddRootObject(scene.Get());
  r = AddSceneSettings(stream);
  if (Failed(r)) return r;
  stream.AddExtendInfo(version.Get());
  stream.AddObject(listed.Get());
  stream.SetThumbnail(thumbnail.Get());
  r = AddListedImages(stream);
  if (Succeeded(r)) r = AddListedPostEffect(stream);
  return r;
}

}  // namespace KT
