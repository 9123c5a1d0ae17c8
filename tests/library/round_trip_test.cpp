// One round trip over every class registered with the factory: an object
// built by the row of its class is saved to a memory device (exactly
// GetSaveSize bytes), loaded into a fresh object the factory makes from the
// record's class name, linked, and saved again to the same bytes.
//
// Every registered class needs a row in kRows below; a class registered
// without one fails the test, so a class joins the round trip by adding its
// row. A row without a builder uses the factory's default object (named, so
// that the root part is not empty); a builder fills the object's own fields
// and lists the objects its references point at (companions), which the
// load registers under their ids so that the references resolve again.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "controllers/composite/boolean_control.h"
#include "controllers/composite/blink_control.h"
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
#include "controllers/composite/spring_control.h"
#include "controllers/composite/flexi_control.h"
#include "controllers/composite/flexi_data.h"
#include "controllers/composite/particle_atom_control.h"
#include "controllers/composite/particle_control.h"
#include "controllers/composite/particle_emit_control.h"
#include "controllers/core/keyframe_control.h"
#include "controllers/core/morph_control.h"
#include "controllers/core/uvw_map_control.h"
#include "controllers/keyed/data_description_control.h"
#include "controllers/keyed/anm_image_control.h"
#include "controllers/keyed/material_control.h"
#include "controllers/keyed/material_uv_control.h"
#include "controllers/keyed/hdr_control.h"
#include "controllers/keyed/image_light_control.h"
#include "controllers/keyed/node_attribute_control.h"
#include "controllers/keyed/node_layer_control.h"
#include "controllers/keyed/node_sel_control.h"
#include "controllers/keyed/post_effect_control.h"
#include "controllers/keyed/video_control.h"
#include "controllers/keyed/video_track_control.h"
#include "controllers/composite/camera_keyframe_control.h"
#include "environment/grass.h"
#include "environment/height_map.h"
#include "environment/height_map_material.h"
#include "controllers/composite/keyframe_clip_control.h"
#include "environment/scene.h"
#include "environment/sky.h"
#include "environment/terrain.h"
#include "environment/water.h"
#include "environment/tree.h"
#include "environment/tree_instance.h"
#include "library/register_library_classes.h"
#include "objectmodel/class_factory.h"
#include "objectmodel/memory_io.h"
#include "objectmodel/stream.h"
#include "objectmodel/stream_fields.h"
#include "objectmodel/stream_test_support.h"
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
#include "render/lights/camera.h"
#include "render/lights/camera_control.h"
#include "render/lights/directional_light.h"
#include "render/lights/light_control.h"
#include "render/lights/point_light.h"
#include "render/lights/point_light_control.h"
#include "render/lights/spot_light.h"
#include "render/lights/spot_light_control.h"
#include "render/materials/blend_texture.h"
#include "render/materials/compound_materials.h"
#include "render/materials/material_attribute_control.h"
#include "render/materials/standard_material.h"
#include "render/materials/texture_maps.h"
#include "scene/node.h"
#include "controllers/composite/physics_soft_control.h"
#include "controllers/keyed/connect_control.h"
#include "scene/path.h"
#include "scene/tri_mesh.h"
#include "scene/uvw_map.h"
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

namespace KT {
namespace {

using Companions = std::vector<CPointer<CBase>>;
// Fills `object` (made by the factory, already named) and appends the
// objects its references point at to `companions`.
using Builder = std::function<void(CBase& object, Companions& companions)>;

struct Row {
  Builder build;          // empty: the default object
  bool abstract = false;  // the factory refuses to make the class
};

void BuildKeyframeControl(CBase& object, Companions&) {
  auto& control = static_cast<CKeyframeControl&>(object);
  CRtsTransform moved = kIdentityTransform;
  moved.Translate = CVector3<float>(1.0f, 2.0f, 3.0f);
  control.AddRtsKey(0, 1000.0f, kIdentityTransform);
  control.AddRtsKey(500, 1000.0f, moved, TT_EASE_IN, 80.0f);
  control.SetStickyKeys({{0, true}, {250, false}});
  control.SetFrequency(2.0f);
}

void BuildRtsSwitcherControl(CBase& object, Companions&) {
  using Key = CRTSSwitcherControl::CSwChannelKey;
  ASSERT_EQ(static_cast<CRTSSwitcherControl&>(object).SetKeys({Key(0, 1), Key(750, 0, TT_EASE_OUT, 70.0f)}), kOk);
}

void BuildRtsSelectorControl(CBase& object, Companions&) {
  auto& control = static_cast<CRTSSelectorControl&>(object);
  control.SetTransitionTime(120.0f);
  control.SetTransitionType(TT_STEP);
}

void BuildDataSwitcherControl(CBase& object, Companions&) {
  using Key = CDataSwitcherControl::CChannelKey;
  ASSERT_EQ(static_cast<CDataSwitcherControl&>(object).SetKeys({Key(0, 2), Key(400, 1)}), kOk);
}

void BuildUvwMapControl(CBase& object, Companions& companions) {
  auto& control = static_cast<CUvwMapControl&>(object);
  CPointer<CUvwMap> map;
  ASSERT_EQ(CUvwMap::Create(map), kOk);
  ASSERT_EQ(map->GetUVW().Create(2), kOk);
  ASSERT_EQ(control.SetObject(map.Get()), kOk);
  map->GetUVW()[1] = CVector3<float>(0.5f, 0.25f, 0.0f);
  ASSERT_EQ(control.SetKey(0, 1000.0f, map.Get(), TT_LINEAR), kOk);
  map->GetUVW()[0] = CVector3<float>(1.0f, 0.0f, 0.0f);
  ASSERT_EQ(control.SetKey(400, 1000.0f, map.Get(), TT_STEP), kOk);
  companions.emplace_back(map.Get());
}

void BuildMorphControl(CBase& object, Companions& companions) {
  auto& control = static_cast<CMorphControl&>(object);
  CPointer<CTriMesh> mesh(new CTriMesh());
  ASSERT_EQ(control.SetObject(mesh.Get()), kOk);
  ASSERT_EQ(control.SetTargetCount(2), kOk);
  ASSERT_EQ(control.SetTarget(1, CVector3<float>(0.0f, 1.0f, 0.0f)), kOk);
  ASSERT_EQ(control.SetWeightKey(0, 1000.0f, 0.0f), kOk);
  ASSERT_EQ(control.SetWeightKey(300, 1000.0f, 1.0f), kOk);
  companions.emplace_back(mesh.Get());
}

void BuildSpotLight(CBase& object, Companions&) {
  auto& spot = static_cast<CSpotLight&>(object);
  spot.SetRgb(CColor{0.5f, 0.25f, 1.0f});
  spot.SetMultiplier(2.0f);
  spot.SetCastShadow(false);
  spot.SetLocation(CVector3<float>(1.0f, 2.0f, 3.0f));
  spot.SetDirection(CVector3<float>(0.0f, -1.0f, 0.0f));
  spot.SetRange(9.0f);
  spot.SetFalloff(0.5f);
  spot.SetTheta(0.25f);
  spot.SetPhi(0.75f);
}

void BuildCamera(CBase& object, Companions& companions) {
  auto& camera = static_cast<CCamera&>(object);
  camera.SetVolume(-1.0f, 2.0f, -3.0f, 4.0f);
  camera.SetEye(CVector3<float>(1.0f, 0.0f, 0.0f), CVector3<float>(0.0f, 0.0f, 1.0f), CVector3<float>(0.0f, 1.0f, 0.0f));
  camera.SetFreeMode(false);
  camera.SetLock(true);
  camera.SetDepthOfField(5.0f, 6.0f, 7.0f, CCamera::DOF_CoC);
  CPointer<CNode> target(new CNode());
  ASSERT_EQ(camera.SetTarget(target.Get()), kOk);
  companions.emplace_back(target.Get());
}

void BuildLightControl(CBase& object, Companions&) {
  auto& control = static_cast<CLightControl&>(object);
  ASSERT_EQ(control.SetColorKey(0, 30.0f, CVector3<float>(0.0f, 0.0f, 0.0f)), kOk);
  ASSERT_EQ(control.SetColorKey(1000, 30.0f, CVector3<float>(1.0f, 0.5f, 0.0f)), kOk);
  CLightControl::CMultiplierKey key;
  key.Time = 500;
  key.Multiplier = 3.0f;
  ASSERT_EQ(control.EditMultiplierKeys().SetKey(key), kOk);
}

void BuildPointLightControl(CBase& object, Companions&) {
  auto& control = static_cast<CPointLightControl&>(object);
  ASSERT_EQ(control.SetRangeKey(0, 30.0f, 5.0f), kOk);
  ASSERT_EQ(control.SetRangeKey(1000, 30.0f, 6.0f), kOk);
}

void BuildSpotLightControl(CBase& object, Companions&) {
  auto& control = static_cast<CSpotLightControl&>(object);
  ASSERT_EQ(control.SetKey(0, 30.0f, CVector3<float>(1.0f, 2.0f, 3.0f), 4.0f), kOk);
}

void BuildCameraControl(CBase& object, Companions&) {
  auto& control = static_cast<CCameraControl&>(object);
  CCameraControl::CFovKey fov;
  fov.FrustumFov = 0.5f;
  ASSERT_EQ(control.SetFovKey(fov, 30.0f), kOk);
  CCameraControl::CDofKey dof;
  dof.FocalDistance = 4.0f;
  dof.DofEffect = CCamera::DOF_Gauss;
  ASSERT_EQ(control.EditDofKeys().SetKey(dof), kOk);
  CCameraControl::CCameraViewVolKey volume;
  volume.Time = 100;
  volume.VolumeLeft = -5.0f;
  ASSERT_EQ(control.EditViewVolKeys().SetKey(volume), kOk);
}

void BuildNodeAttributeControl(CBase& object, Companions&) {
  auto& control = static_cast<CNodeAttributeControl&>(object);
  CNodeAttributeControl::CAttributeKey key;
  key.Time = 250;
  key.Opacity = 0.5f;
  key.TransitionType = TT_EASE_OUT;
  ASSERT_EQ(control.EditKeys().SetKey(key), kOk);
}

void BuildNodeLayerControl(CBase& object, Companions&) {
  CNodeLayerControl::CLayerKey key;
  key.Time = 100;
  key.Layer = 3;
  ASSERT_EQ(static_cast<CNodeLayerControl&>(object).EditKeys().SetKey(key), kOk);
}

void BuildNodeSelControl(CBase& object, Companions&) {
  CNodeSelControl::CSelKey key;
  key.Time = 100;
  key.Sel = 2;
  ASSERT_EQ(static_cast<CNodeSelControl&>(object).EditKeys().SetKey(key), kOk);
}

void BuildDataDescriptionControl(CBase& object, Companions&) {
  CDataDescriptionControl::CDescriptionKey key;
  key.Time = 40;
  key.ID = u"id";
  key.Description = u"d\u00e9j\u00e0 vu";
  ASSERT_EQ(static_cast<CDataDescriptionControl&>(object).EditKeys().SetKey(key), kOk);
}

void BuildBooleanControl(CBase& object, Companions&) {
  auto& control = static_cast<CBooleanControl&>(object);
  ASSERT_EQ(control.SetKeys({0, 500}, {false, true}), kOk);
  control.SetReferenceParent(true);
}

void BuildLookAtControl(CBase& object, Companions& companions) {
  auto& control = static_cast<CLookAtControl&>(object);
  CPointer<CNode> target(new CNode());
  CPointer<CNode> reference(new CNode());
  CLookAtControl::CLookKey key;
  key.TargetObject.Set(target.Get());
  key.LookDir = CVector3<float>(1.0f, 0.0f, 0.0f);
  key.Weight = 0.5f;
  ASSERT_EQ(control.EditKeys().SetKey(key), kOk);
  key.Time = 400;
  key.RefObject.Set(reference.Get());
  key.DownLimit = 0.25f;
  ASSERT_EQ(control.EditKeys().SetKey(key), kOk);
  control.SetBasicAxis(CVector3<float>(0.0f, 1.0f, 0.0f));
  companions.emplace_back(target.Get());
  companions.emplace_back(reference.Get());
}

void BuildBlinkControl(CBase& object, Companions& companions) {
  auto& control = static_cast<CBlinkControl&>(object);
  CPointer<CNode> dst(new CNode());
  control.SetDst(dst.Get());
  control.SetOffset(CQuaternion(0.0f, 0.6f, 0.0f, 0.8f));
  control.SetConstrained(true);
  ASSERT_EQ(control.EditKeys().SetKey(0, 0.0f, TT_LINEAR), kOk);
  ASSERT_EQ(control.EditKeys().SetKey(300, 1.0f, TT_EASE_IN), kOk);
  companions.emplace_back(dst.Get());
}

void BuildRtsOffsetControl(CBase& object, Companions&) {
  static_cast<CRTSOffsetControl&>(object).SetRotationOffset(CVector3<float>(0.5f, 0.0f, -1.0f));
}

void BuildCameraKeyframeControl(CBase& object, Companions& companions) {
  BuildKeyframeControl(object, companions);
  static_cast<CCameraKeyframeControl&>(object).SetOrbitInterpolation(false);
}

void BuildKeyframeClipControl(CBase& object, Companions& companions) {
  BuildKeyframeControl(object, companions);
  auto& control = static_cast<CKeyframeClipControl&>(object);
  std::vector<CKeyframeClipControl::Clip> clips(2);
  clips[0].SetName(u"\u00e9t\u00e9");
  clips[0].First = 7;
  clips[0].Third = -0.5f;
  clips[1].SetName(u"x");
  clips[1].Second = 9;
  clips[1].Fourth = 3.0f;
  ASSERT_EQ(control.SetClips(clips), kOk);
  ASSERT_EQ(control.ResizeMarkers(2), kOk);
}

// Two keyframe layers (companions: the record holds their ids) with their
// weight keys.
void BuildRtsLayerControl(CBase& object, Companions& companions) {
  using Key = CRTSLayerControl::CWeightKey;
  auto& control = static_cast<CRTSLayerControl&>(object);
  for (int i = 0; i < 2; ++i) {
    CPointer<CKeyframeControl> layer(new CKeyframeControl());
    ASSERT_EQ(control.AddChild(layer.Get()), kOk);
    companions.emplace_back(layer.Get());
  }
  ASSERT_EQ(control.SetWeightKeys(0, {Key(0, 1.0f, 0.5f)}), kOk);
  ASSERT_EQ(control.SetWeightKeys(1, {Key(0, 0.0f), Key(400, 1.0f, 1.0f, TT_EASE_IN, 70.0f)}), kOk);
  control.SetLayerType(CRTSLayerControl::LAYER_TYPE_BACKWARD_CONSTRAINT);
  control.SetLayerTransition(CRTSLayerControl::LAYER_TRANSITION_RTS);
}

void BuildSpringControl(CBase& object, Companions& companions) {
  auto& control = static_cast<CSpringControl&>(object);
  CPointer<CSpringControl> target(new CSpringControl());
  CSpringControl::Parameters params;
  params.K = 12.0f;
  params.Mass = 2.0f;
  params.nMoveActivity = 75;
  params.SpringType = CSpringControl::ST_Angle;
  control.SetParameters(params);
  control.SetRatios(90.0f, 80.0f, 70.0f);
  control.SetTargetSpring(target.Get());
  companions.emplace_back(target.Get());
}

void BuildFlexiData(CBase& object, Companions& companions) {
  auto& body = static_cast<CFlexiData&>(object);
  body.EditNodes().resize(2);
  body.EditNodes()[1].Mass = 1.0f;
  body.EditNodes()[1].Rest.SetTranslation(CVector3<float>(0.0f, 0.0f, -1.0f));
  CFlexiData::Spring spring;
  spring.NodeB = 1;
  spring.RestLength = 1.0f;
  body.EditSprings().push_back(spring);
  body.Dimension[0] = 1;
  body.Dimension[1] = 1;
  body.Angle = 30.0f;
  CPointer<CFlexiControl> pinned(new CFlexiControl());
  CPointer<CFlexiControl> hanging(new CFlexiControl());
  ASSERT_EQ(body.AttachControls({pinned.Get(), hanging.Get()}), kOk);
  companions.emplace_back(pinned.Get());
  companions.emplace_back(hanging.Get());
}

void BuildFlexiControl(CBase& object, Companions& companions) {
  CPointer<CFlexiData> body(new CFlexiData());
  static_cast<CFlexiControl&>(object).SetData(body.Get());
  companions.emplace_back(body.Get());
}

void BuildPathControl(CBase& object, Companions& companions) {
  auto& control = static_cast<CPathControl&>(object);
  CPointer<CPath> path;
  ASSERT_EQ(CPath::Create(path), kOk);
  CPathControl::CPathKey key;
  key.RefPath.Set(path.Get());
  key.PathTime = 0.25f;
  key.AlignAxis = CPathControl::NYAxis;
  key.Follow = true;
  ASSERT_EQ(control.EditKeys().SetKey(key), kOk);
  key.Time = 600;
  key.PathTime = 1.0f;
  key.FollowTerrain = true;
  key.TransitionType = TT_EASE_OUT;
  ASSERT_EQ(control.EditKeys().SetKey(key), kOk);
  control.SetPositionDivisor(CVector3<float>(2.0f, 1.0f, 0.5f));
  companions.emplace_back(path.Get());
}

void BuildShareControl(CBase& object, Companions& companions) {
  auto& control = static_cast<CShareControl&>(object);
  CPointer<CNode> reference(new CNode());
  CShareControl::CShareTarget target;
  target.RY = {true, 0.5f};
  target.TZ = {true, 2.0f};
  target.AxisType = CShareControl::AxisZ;
  target.Reference.Set(reference.Get());
  control.EditTargets().push_back(target);
  control.EditTargets().push_back(CShareControl::CShareTarget());
  control.SetOffsets({1.0f, 2.0f, 3.0f}, {0.5f, 0.0f, 0.0f}, {0.0f, -1.0f, 0.0f});
  control.SetOffsetMode(true);
  companions.emplace_back(reference.Get());
}

void BuildLinkControl(CBase& object, Companions& companions) {
  auto& control = static_cast<CLinkControl&>(object);
  CPointer<CNode> target(new CNode());
  CRtsTransform adjust = kIdentityTransform;
  adjust.Translate = CVector3<float>(0.0f, 1.0f, 0.0f);
  ASSERT_EQ(control.SetKeys({{0, nullptr, kIdentityTransform, 0}, {500, target.Get(), adjust, 0x1C0}}), kOk);
  control.SetShareRatio(CVector3<float>(2.0f, 2.0f, 1.0f));
  companions.emplace_back(target.Get());
}

void BuildImage(CBase& object, Companions&) {
  auto& image = static_cast<CImage&>(object);
  KTImage& pixels = image.EditImage();
  ASSERT_EQ(PixelBuffer::Create(pixels, PixelLayout::kBgr8, 3, 2), kOk);
  {
    PixelBuffer::ScopedView view(pixels);
    for (u32 i = 0; i < PixelBuffer::GetPixelBytes(pixels); ++i) pixels.Pixels[i] = static_cast<u8>(17 * i);
  }
  image.SetEmbedFormat(ImageFormat::kPng);
  ASSERT_EQ(image.PrepareRuntime(nullptr), kOk);
}

void BuildAnmImage(CBase& object, Companions& companions) {
  auto& animation = static_cast<CAnmImage&>(object);
  for (u32 i = 0; i < 2; ++i) {
    CPointer<CImage> frame(new CImage());
    CAnmImage::CFrame values;
    values.Delay = 10 * (i + 1);
    values.FrameValue1 = 2;
    values.OffsetX = static_cast<i32>(i);
    values.FrameColor[1] = 0x40;
    ASSERT_EQ(animation.AddFrame(values, frame.Get()), kOk);
    companions.emplace_back(frame.Get());
  }
}

void BuildPhysicsSoftControl(CBase& object, Companions&) {
  auto& control = static_cast<CPhysicsSoftControl&>(object);
  control.SetPlayback(true);
  ASSERT_EQ(control.AddSample(0, {{0.0f, 0.0f, 0.0f}, {1.0f, 2.0f, 3.0f}}), kOk);
  ASSERT_EQ(control.AddSample(100, {{10.0f, 0.0f, 0.0f}, {4.0f, 5.0f, 6.0f}}), kOk);
  ASSERT_EQ(control.SetVertexIndices({1}), kOk);
  control.SetUseIndexList(1);
}

void BuildConnectData(CBase& object, Companions& companions) {
  auto& seam = static_cast<CConnectData&>(object);
  CPointer<CTriMesh> left(new CTriMesh());
  CPointer<CTriMesh> right(new CTriMesh());
  seam.SetMeshes(left.Get(), right.Get());
  ASSERT_EQ(seam.SetSeam({0, 3}, {1, 2, 4, 5}, {{0}, {}}, {{1, 2}, {4}}), kOk);
  companions.emplace_back(left.Get());
  companions.emplace_back(right.Get());
}

void BuildConnectControl(CBase& object, Companions& companions) {
  CPointer<CConnectData> seam(new CConnectData());
  static_cast<CConnectControl&>(object).SetConnectData(seam.Get());
  companions.emplace_back(seam.Get());
}

void BuildStandardMaterial(CBase& object, Companions& companions) {
  auto& material = static_cast<CStandardMaterial&>(object);
  material.Ambient = CVector3<float>(0.1f, 0.2f, 0.3f);
  material.Opacity = 0.5f;
  material.TwoSided = true;
  material.AlphaThreshold = true;
  material.ShadowRefValue = 0.7f;
  material.DiffTexBlend = CStandardMaterial::TBT_Overlay;
  CPointer<CTextureMap> map(new CTextureMap());
  material.SetTexture(CStandardMaterial::kDiffuse, map.Get());
  material.TextureWeightRef(CStandardMaterial::kDiffuse) = 0.25f;
  material.SetTexUvTranslate(CStandardMaterial::kDiffuse, 1.0f, 2.0f);
  material.SetTexUvScale(CStandardMaterial::kDiffuse, 3.0f, 4.0f);
  material.SetTexUvRotate(CStandardMaterial::kDiffuse, 0.5f);
  companions.emplace_back(map.Get());
}

void BuildTextureMap(CBase& object, Companions& companions) {
  auto& map = static_cast<CTextureMap&>(object);
  map.SetUvwChannel(2);
  CPointer<CImage> image(new CImage());
  map.SetImage(image.Get());
  companions.emplace_back(image.Get());
}

void BuildNormalBumpTex(CBase& object, Companions& companions) {
  auto& bump = static_cast<CNormalBumpTex&>(object);
  bump.BumpEnable = false;
  bump.NormalScale = 2.0f;
  CPointer<CTextureMap> normal(new CTextureMap());
  bump.SetNormalTexture(normal.Get());
  companions.emplace_back(normal.Get());
}

void BuildRefractionMap(CBase& object, Companions&) { static_cast<CRefractionMap&>(object).RefractionIndex = 1.5f; }

void BuildBlendTex(CBase& object, Companions& companions) {
  auto& blend = static_cast<CBlendTex&>(object);
  blend.Weight0 = 0.25f;
  for (u32 i = 0; i < 2; ++i) {
    CPointer<CTextureMap> map(new CTextureMap());
    blend.SetTexture(i, map.Get());
    companions.emplace_back(map.Get());
  }
}

void BuildBlendMaterial(CBase& object, Companions& companions) {
  auto& blend = static_cast<CBlendMaterial&>(object);
  blend.Blend = 0.5f;
  CPointer<CTextureMap> mask(new CTextureMap());
  CPointer<CStandardMaterial> second(new CStandardMaterial());
  blend.SetMask(mask.Get());
  blend.SetMaterial(1, second.Get());
  companions.emplace_back(mask.Get());
  companions.emplace_back(second.Get());
}

void BuildMultiMaterial(CBase& object, Companions& companions) {
  auto& multi = static_cast<CMultiMaterial&>(object);
  for (u32 i = 0; i < 2; ++i) {
    CPointer<CStandardMaterial> sub(new CStandardMaterial());
    multi.AddSubMaterial(sub.Get());
    companions.emplace_back(sub.Get());
  }
}

void BuildMaterialAttributeControl(CBase& object, Companions&) {
  auto& control = static_cast<CMaterialAttributeControl&>(object);
  const CVector3<float> grey(0.5f, 0.5f, 0.5f);
  ASSERT_EQ(control.SetLightKey(0, 30.0f, grey, grey, grey, 1.0f, 2.0f, 3.0f), kOk);
  ASSERT_EQ(control.SetSelfKey(100, 30.0f, 0.5f, 0.25f, 0.125f, TT_STEP, 20.0f), kOk);
  CMaterialDataControl::Weights weights{};
  weights[4] = 0.2f;
  ASSERT_EQ(control.SetTextureKey(200, 30.0f, weights), kOk);
}

void BuildVideo(CBase& object, Companions&) {
  auto& video = static_cast<CVideo&>(object);
  video.VideoPath = u"/nowhere/clip.avi";
  video.VideoSearchPath = u"/nowhere/found.avi";
  video.ApRelativePath = u"clip.avi";
  video.PlayState = CVideo::PS_Paused;
  video.Volume = 0.5f;
  video.Loop = true;
}

void BuildVideoTrack(CBase& object, Companions& companions) {
  auto& track = static_cast<CVideoTrack&>(object);
  track.CurrentVideo = 0;
  track.ClipState = CVideoTrack::CS_Inside;
  track.Mute = true;
  track.AuxFlag = true;
  CPointer<CVideo> video(new CVideo());
  ASSERT_EQ(track.AddVideo(video.Get()), kOk);
  companions.emplace_back(video.Get());
}

void BuildVideoMap(CBase& object, Companions& companions) {
  auto& map = static_cast<CVideoMap&>(object);
  map.UvwChannel = 1;
  CPointer<CVideoTrack> track(new CVideoTrack());
  map.SetVideoTrack(track.Get());
  companions.emplace_back(track.Get());
}

void BuildImageLight(CBase& object, Companions& companions) {
  auto& light = static_cast<CImageLight&>(object);
  light.Strength = 2.5f;
  CPointer<CImage> image(new CImage());
  CPointer<CVideoTrack> track(new CVideoTrack());
  ASSERT_EQ(light.SetImage(image.Get()), kOk);
  ASSERT_EQ(light.SetVideoTrack(track.Get()), kOk);
  companions.emplace_back(image.Get());
  companions.emplace_back(track.Get());
}

void BuildImageLayer(CBase& object, Companions& companions) {
  auto& layer = static_cast<CImageLayer&>(object);
  layer.ZValue = 0.5f;
  layer.ScreenPos = CVector2(3.0f, 4.0f);
  layer.ScreenWidth = 320;
  layer.Column = 2;
  layer.WidthType = CImageLayer::CT_Screen;
  layer.IsFitScreen = true;
  layer.PivotType = CImageLayer::PT_LeftTop;
  CPointer<CVideoMap> content(new CVideoMap());
  ASSERT_EQ(layer.SetContent(content.Get()), kOk);
  companions.emplace_back(content.Get());
}

void BuildPostEffect(CBase& object, Companions& companions) {
  auto& effect = static_cast<CPostEffect&>(object);
  effect.Kind = 3;
  effect.TrailingWord = 9;
  ASSERT_EQ(effect.SetParameters("abc", 3), kOk);
  ASSERT_EQ(effect.AddVariable(1, {0.25f, 0.5f, 0.75f, 1.0f}), kOk);
  CPointer<CVideoTrack> shared(new CVideoTrack());
  ASSERT_EQ(effect.AddObjectEntry(shared.Get(), {1, 2, 3, 4}, {1.0f, 0.0f, 0.0f, 1.0f}), kOk);
  ASSERT_EQ(effect.AddObjectEntry(nullptr, {}, {}), kOk);
  companions.emplace_back(shared.Get());
}

void BuildCameraSwitcher(CBase& object, Companions& companions) {
  auto& switcher = static_cast<CCameraSwitcher&>(object);
  switcher.SetMode(CCameraSwitcher::CM_Switch);
  CPointer<CCamera> own(new CCamera());
  CPointer<CCamera> selected(new CCamera());
  CPointer<CCamera> follow(new CCamera());
  CPointer<CVideoTrack> owned(new CVideoTrack());
  ASSERT_EQ(switcher.SetOwnedCamera(own.Get()), kOk);
  ASSERT_EQ(switcher.SetOwnedObject(owned.Get()), kOk);
  switcher.SetSelectedCamera(selected.Get());
  switcher.SetFollowCamera(follow.Get());
  for (CBase* companion : std::initializer_list<CBase*>{own.Get(), selected.Get(), follow.Get(), owned.Get()}) {
    companions.emplace_back(companion);
  }
}

void BuildCameraSwitcherControl(CBase& object, Companions& companions) {
  auto& control = static_cast<CCameraSwitcherControl&>(object);
  CPointer<CCamera> camera(new CCamera());
  ASSERT_EQ(control.SetKey(CCameraSwitcherControl::CCameraKey(0, camera.Get()), 60.0f), kOk);
  ASSERT_EQ(control.SetKey(CCameraSwitcherControl::CCameraKey(500, nullptr), 60.0f), kOk);
  companions.emplace_back(camera.Get());
}

// --- vector shapes ---------------------------------------------------------------------------

void BuildLineStyle(CBase& object, Companions& companions) {
  auto& line = static_cast<CLineStyle&>(object);
  line.Width = 2.5f;
  line.Color = CColor(0.1f, 0.2f, 0.3f, 0.4f);
  line.Opacity = 0.5f;
  line.StartCap = CLineStyle::CS_SQUARE;
  line.JoinStyle = CLineStyle::JS_MITER;
  line.Attributes = CLineStyle::ATT_HasFill | CLineStyle::ATT_NoVScale;
  line.MiterLimitFactor = 3.0f;
  CPointer<CFillStyle> fill(new CFillStyle());
  line.SetFillStyle(fill.Get());
  companions.emplace_back(fill.Get());
}

void BuildFillStyle(CBase& object, Companions&) {
  auto& fill = static_cast<CFillStyle&>(object);
  fill.Color = CColor(0.5f, 0.25f, 0.125f, 1.0f);
  fill.Opacity = 0.75f;
}

void BuildGradientFillStyle(CBase& object, Companions& companions) {
  BuildFillStyle(object, companions);
  auto& gradient = static_cast<CGradientFillStyle&>(object);
  gradient.GradientType = CGradientFillStyle::FocalRadial;
  gradient.Transform.m[3][0] = 4.0f;
  const CGradientFillStyle::_KTGradientRec recs[] = {{0.0f, CColor(1, 0, 0, 1)}, {1.0f, CColor(0, 0, 1, 0.5f)}};
  ASSERT_EQ(gradient.SetGradientRecords(recs, 2), kOk);
}

void BuildBitmapFillStyle(CBase& object, Companions& companions) {
  BuildFillStyle(object, companions);
  auto& bitmap = static_cast<CBitmapFillStyle&>(object);
  bitmap.RepeatMode = CBitmapFillStyle::Mirror;
  bitmap.Transform.m[0][0] = 2.0f;
  CPointer<CImage> image(new CImage());
  bitmap.SetBitmap(image.Get());
  companions.emplace_back(image.Get());
}

void BuildEdge(CBase& object, Companions&) {
  auto& edge = static_cast<CEdge&>(object);
  const CEdge::EdgeCurve curves[] = {{{0, 1}, {2, 3}}, {{4, 5}, {6, 7}}};
  ASSERT_EQ(edge.SetCurves(curves, 2), kOk);
  edge.StartPoint = CVector2(-1, -2);
  edge.FillStyleID0 = 1;
  edge.FillStyleID1 = 2;
  edge.LineStyleID = 3;
  edge.NewShape = true;
}

void BuildShape(CBase& object, Companions& companions) {
  auto& shape = static_cast<CShape&>(object);
  shape.Plane = 2;
  shape.Direction = CVector2(1.0f, -1.0f);
  shape.TextureScale = 20.0f;
  shape.GradientUnit = 0.5f;
  CPointer<CFillStyle> fill(new CFillStyle());
  CPointer<CLineStyle> line(new CLineStyle());
  CPointer<CEdge> edge(new CEdge());
  shape.AddFillStyle(fill.Get());
  shape.AddLineStyle(line.Get());
  shape.AddEdge(edge.Get());
  companions.insert(companions.end(), {CPointer<CBase>(fill.Get()), CPointer<CBase>(line.Get()),
                                       CPointer<CBase>(edge.Get())});
}

void BuildShapeInstance(CBase& object, Companions&) {
  auto& instance = static_cast<CShapeInstance&>(object);
  instance.ShapeID = 1;
  instance.Depth = 2;
  instance.ClipDepth = 3;
}

void BuildGroupShape(CBase& object, Companions& companions) {
  auto& group = static_cast<CGroupShape&>(object);
  group.GroupID = 9;
  group.Layer = 2;
  CPointer<CShape> shape(new CShape());
  CPointer<CShapeInstance> instance(new CShapeInstance());
  group.AddShape(shape.Get());
  ASSERT_EQ(group.AddShapeInstance(instance.Get()), kOk);
  companions.emplace_back(shape.Get());
  companions.emplace_back(instance.Get());
}

void BuildLineStyleControl(CBase& object, Companions&) {
  auto& control = static_cast<CLineStyleControl&>(object);
  ASSERT_EQ(control.SetKey(0, 1.0f, CColor(0, 0, 0, 1), 1.0f, 0.0f, TT_LINEAR), kOk);
  ASSERT_EQ(control.SetKey(500, 2.0f, CColor(1, 1, 1, 1), 0.5f, 10.0f, TT_STEP), kOk);
}

void BuildFillStyleControl(CBase& object, Companions&) {
  ASSERT_EQ(static_cast<CFillStyleControl&>(object).SetKey(250, CColor(1, 0, 1, 1), 0.5f, 0.0f, TT_EASE_IN), kOk);
}

template <typename Control>
void BuildTransformControl(CBase& object, Companions&) {
  auto& control = static_cast<Control&>(object);
  ASSERT_EQ(control.SetKey(0, kQuaternionIdentity, {1, 1, 1}, {0, 0, 0}, 0.0f, TT_LINEAR), kOk);
  ASSERT_EQ(control.SetKey(1000, CQuaternion(0, 0, 1, 0), {2, 2, 2}, {1, 2, 3}, 0.0f, TT_EASE_OUT), kOk);
}

void BuildEdgeMorphControl(CBase& object, Companions&) {
  auto& morph = static_cast<CEdgeMorphControl&>(object);
  const CEdge::EdgeCurve deltas[] = {{{1, 0}, {0, 1}}};
  ASSERT_EQ(morph.SetDeltas(deltas, 1), kOk);
  morph.SetStartOffset(CVector2(0.5f, 0.5f));
  ASSERT_EQ(morph.SetWeightKey(0, 0.0f, 0.0f, TT_LINEAR), kOk);
  ASSERT_EQ(morph.SetWeightKey(1000, 1.0f, 0.0f, TT_LINEAR), kOk);
}

void BuildGradientMorphControl(CBase& object, Companions&) {
  auto& morph = static_cast<CGradientMorphControl&>(object);
  const CGradientFillStyle::_KTGradientRec deltas[] = {{0.25f, CColor(0, 1, 0, 0)}};
  ASSERT_EQ(morph.SetDeltas(deltas, 1), kOk);
  ASSERT_EQ(morph.SetWeightKey(100, 1.0f, 0.0f, TT_EASE_IN_OUT), kOk);
}

void BuildMaterialUVControl(CBase& object, Companions&) {
  auto& control = static_cast<CMaterialUVControl&>(object);
  CMaterialUVControl::CMtrlUvKey key;
  key.Translate = {0.25f, 0.5f};
  key.Scale = {2.0f, 3.0f};
  key.Rotate = 0.75f;
  key.TransitionType = TT_STEP;
  ASSERT_EQ(control.SetUvKey(1, key, 30.0f), kOk);
  key.Time = 500;
  ASSERT_EQ(control.SetUvKey(7, key, 30.0f), kOk);
}

void BuildMaterialControl(CBase& object, Companions&) {
  CMaterialControl::Lists& lists = static_cast<CMaterialControl&>(object).EditLists();
  lists.LightTimes = {0.0f, 1000.0f};
  lists.Ambient = {CVector3<float>(0.5f, 0.5f, 0.5f)};
  lists.Opacity = {0.25f};
  lists.TextureWeight.resize(1);
  lists.Uv[1].Times = {33.0f};
  lists.Uv[1].Transforms = {{{0.5f, 0.25f}, {2.0f, 4.0f}}};
}

void BuildAnmImageControl(CBase& object, Companions& companions) {
  auto& control = static_cast<CAnmImageControl&>(object);
  CPointer<CAnmImage> frames(new CAnmImage());
  control.SetAnmImage(frames.Get());
  control.SetRepeat(CControl::RT_WRAP);
  companions.emplace_back(frames.Get());
}

void BuildMaterialLayerControl(CBase& object, Companions& companions) {
  auto& layer = static_cast<CMaterialLayerControl&>(object);
  for (u32 i = 0; i < 2; ++i) {
    CPointer<CMaterialAttributeControl> child(new CMaterialAttributeControl());
    ASSERT_EQ(layer.AddChild(child.Get()), kOk);
    companions.emplace_back(child.Get());
  }
  ASSERT_EQ(layer.SetKeys({0, 1000}, {{1.0f, 0.0f}, {0.25f, 0.75f, 2.0f}}), kOk);
}

void BuildParticleAtomControl(CBase& object, Companions&) {
  auto& control = static_cast<CParticleAtomControl&>(object);
  control.EditSettings().Gravity = 4.0f;
  control.EditSettings().DirRandomness = 5.0f;
  ASSERT_EQ(control.SetKeys({{1, 1, 1}, {3, 3, 3}}, {{1, 0, 0, 1}, {0, 0, 1, 0}}, {0.0f, 1.0f}), kOk);
}

void BuildParticleEmitControl(CBase& object, Companions&) {
  ASSERT_EQ(static_cast<CParticleEmitControl&>(object).SetKeys({0, 1000, 3000}, {true, false, true}), kOk);
}

void BuildParticleControl(CBase& object, Companions&) {
  auto& control = static_cast<CParticleControl&>(object);
  control.EditSettings().Wind = 0.5f;
  control.EditLooks().Color1 = CColor(0.1f, 0.2f, 0.3f, 0.4f);
  ASSERT_EQ(control.SetKeys({0, 250}, {true, false}), kOk);
}

void BuildPostEffectControl(CBase& object, Companions& /*companions*/) {
  auto& control = static_cast<CPostEffectControl&>(object);
  CPostEffectControl::CVarKey key;
  key.Time = 200;
  key.afData = {0.5f, 1.5f, 2.5f, 3.5f};
  key.TransitionType = TT_EASE_IN;
  control.EditTracks().resize(2);
  ASSERT_EQ(control.EditTracks()[1].SetKey(key), kOk);
}

void BuildVideoTrackControl(CBase& object, Companions& /*companions*/) {
  auto& control = static_cast<CVideoTrackControl&>(object);
  ASSERT_EQ(control.EditClipKeys().SetKey(CVideoTrackControl::CVideoClipKey(100, 1, 3)), kOk);
  CVideoTrackControl::CTrackVolumeKey volume;
  volume.Time = 400;
  volume.Volume = 0.25f;
  volume.Mute = true;
  ASSERT_EQ(control.EditVolumeKeys().SetKey(volume), kOk);
}

void BuildVideoControl(CBase& object, Companions& /*companions*/) {
  auto& control = static_cast<CVideoControl&>(object);
  ASSERT_EQ(control.EditStateKeys().SetKey(CVideoControl::CVideoStateKey(0, CVideo::PS_Paused)), kOk);
  CVideoControl::CVideoVolumeKey volume;
  volume.Time = 300;
  volume.Volume = 0.75f;
  ASSERT_EQ(control.EditVolumeKeys().SetKey(volume), kOk);
}

void BuildImageLightControl(CBase& object, Companions& /*companions*/) {
  auto& control = static_cast<CImageLightControl&>(object);
  CImageLightControl::CIblKey key;
  key.Time = 600;
  key.Active = true;
  key.Strength = 2.5f;
  ASSERT_EQ(control.EditKeys().SetKey(key), kOk);
}

void BuildHdrControl(CBase& object, Companions& /*companions*/) {
  auto& control = static_cast<CHDRControl&>(object);
  CHDRControl::CHdrKey key;
  key.Time = 700;
  key.HDREnable = true;
  key.Exposure = 1.75f;
  key.GlareType = GT_SunnyCross;
  ASSERT_EQ(control.EditKeys().SetKey(key), kOk);
}

void BuildScene(CBase& object, Companions& companions) {
  auto& scene = static_cast<CScene&>(object);
  CPointer<CTerrain> terrain(new CTerrain());
  CPointer<CWater> water(new CWater());
  CPointer<CSky> sky(new CSky());
  ASSERT_EQ(scene.SetSubObject1(terrain.Get()), kOk);
  ASSERT_EQ(scene.SetSubObject8(water.Get()), kOk);
  ASSERT_EQ(scene.AppendToSubObjectList(sky.Get()), kOk);
  ASSERT_EQ(scene.AppendToSubObjectList(terrain.Get()), kOk);
  scene.FogEnable = true;
  scene.Hdr.HDRGlareType = GT_CrossScreen;
  scene.Hdr.HDRExposure = 1.5f;
  scene.ToonLevel = {0.25f, 0.75f};
  scene.ToonInterSectionLine = true;
  companions.emplace_back(terrain.Get());
  companions.emplace_back(water.Get());
  companions.emplace_back(sky.Get());
}

void BuildTerrain(CBase& object, Companions& companions) {
  auto& terrain = static_cast<CTerrain&>(object);
  CPointer<CNode> first(new CNode());
  CPointer<CNode> second(new CNode());
  ASSERT_EQ(terrain.SetSubObject1(first.Get()), kOk);
  ASSERT_EQ(terrain.SetSubObject2(second.Get()), kOk);
  companions.emplace_back(first.Get());
  companions.emplace_back(second.Get());
}

void BuildSky(CBase& object, Companions& companions) {
  auto& sky = static_cast<CSky&>(object);
  CPointer<CNode> held(new CNode());
  ASSERT_EQ(sky.SetSubObject(held.Get()), kOk);
  sky.FogIncluded = true;
  companions.emplace_back(held.Get());
}

void BuildWater(CBase& object, Companions& companions) {
  auto& water = static_cast<CWater&>(object);
  CPointer<CNode> held(new CNode());
  ASSERT_EQ(water.SetSubObject(held.Get()), kOk);
  water.RefractBlurness = 0.5f;
  water.Softness = 4;
  companions.emplace_back(held.Get());
}

void BuildHeightMap(CBase& object, Companions& companions) {
  auto& map = static_cast<CHeightMap&>(object);
  map.Offset = CVector3<float>(1.0f, 2.0f, 3.0f);
  const f32 heights[] = {0.5f, 1.5f, 2.5f};
  ASSERT_EQ(map.Heights.Create(3, heights), kOk);
  ASSERT_EQ(map.Vectors.Create(1), kOk);
  ASSERT_EQ(map.Values.Create(2), kOk);
  map.Flag4 = true;
  CPointer<CFillStyle> entry(new CFillStyle());
  CPointer<CHeightMapMaterial> material(new CHeightMapMaterial());
  ASSERT_EQ(map.AddListObject(entry.Get()), kOk);
  ASSERT_EQ(map.AddListObject(nullptr), kOk);
  ASSERT_EQ(map.SetSubObject(material.Get()), kOk);
  companions.emplace_back(entry.Get());
  companions.emplace_back(material.Get());
}

void BuildHeightMapMaterial(CBase& object, Companions& companions) {
  auto& material = static_cast<CHeightMapMaterial&>(object);
  material.Color3 = CVector3<float>(0.1f, 0.2f, 0.3f);
  material.Switch = true;
  material.Layer2.High = CVector2(2.0f, 3.0f);
  material.Layer3.Amount = 0.75f;
  material.Value5 = 4.0f;
  CPointer<CFillStyle> first(new CFillStyle());
  CPointer<CFillStyle> third(new CFillStyle());
  ASSERT_EQ(material.SetSubObject(0, first.Get()), kOk);
  ASSERT_EQ(material.SetSubObject(2, third.Get()), kOk);
  companions.emplace_back(first.Get());
  companions.emplace_back(third.Get());
}

void BuildGrass(CBase& object, Companions& companions) {
  auto& grass = static_cast<CGrass&>(object);
  grass.LodFarDistance = 100.0f;
  grass.WindDir = CVector3<float>(1.0f, 0.0f, 0.0f);
  grass.NumRegionCols = 2;
  grass.NumRegionRows = 1;
  grass.Region.resize(2);
  CGrass::CBlade blade;
  blade.Height = 0.5f;
  blade.TopColor = CVector3<float>(0.0f, 1.0f, 0.0f);
  grass.Region[1].Blade = {blade, blade};
  grass.GrassBound.Max = CVector3<float>(4.0f, 4.0f, 1.0f);
  CPointer<CFillStyle> aux(new CFillStyle());
  ASSERT_EQ(grass.SetAuxObject(1, aux.Get()), kOk);
  companions.emplace_back(aux.Get());
}

// The tree's values and two references. Its record carries no tree data
// here: the data travels only after a registration for saving, which this
// table does not run (the tree's own tests cover the two-phase save).
void BuildTree(CBase& object, Companions& companions) {
  auto& tree = static_cast<CTree&>(object);
  tree.Seed = 4;
  tree.Size = 3.0f;
  tree.SizeVariance = 0.5f;
  CPointer<CNode> held(new CNode());
  ASSERT_EQ(tree.SetReference(0, held.Get()), kOk);
  ASSERT_EQ(tree.SetReference(7, held.Get()), kOk);
  companions.emplace_back(held.Get());
}

void BuildTreeInstance(CBase& object, Companions& companions) {
  auto& instance = static_cast<CTreeInstance&>(object);
  CPointer<CTree> tree(new CTree());
  CPointer<CNode> aux(new CNode());
  instance.SetTree(tree.Get());
  instance.SetAuxObject(aux.Get());
  instance.WindMatrixOffset = 2.0f;
  instance.LightShaderParams.LeafLightScalar = 0.75f;
  instance.Material[2].Emission = CVector3<float>(0.25f, 0.5f, 1.0f);
  instance.Material[1].Shininess = 12.0f;
  companions.emplace_back(tree.Get());
  companions.emplace_back(aux.Get());
}

// One row per registered class name.
const std::map<std::string, Row>& Rows() {
  static const std::map<std::string, Row> rows = {
      {"CAudioCue", {}},
      {"CAudioData", {}},
      {"CAudioInstance", {}},
      {"CAudioSource", {}},
      {"CAudioTrack", {}},
      {"CBillboard", {}},
      {"CBooleanControl", {BuildBooleanControl}},
      {"CBlinkControl", {BuildBlinkControl}},
      {"CBillboardNode", {}},
      {"CBoneSkinControl", {}},
      {"CBoundingBox", {}},
      {"CBoundingMesh", {}},
      {"CCamera", {BuildCamera}},
      {"CCameraControl", {BuildCameraControl}},
      {"CDataClipControl", {}},
      {"CDataDescriptionControl", {BuildDataDescriptionControl}},
      {"CDataSelectorControl", {}},
      {"CDataSwitcherControl", {BuildDataSwitcherControl}},
      {"CDirectionalLight", {}},
      {"CGeometryData", {}},
      {"CGroupTriMesh", {}},
      {"CKeyframeControl", {BuildKeyframeControl}},
      {"CLightControl", {BuildLightControl}},
      {"CLookAtControl", {BuildLookAtControl}},
      {"CMeshSelControl", {}},
      {"CMirrorSurface", {}},
      {"CMorphControl", {BuildMorphControl}},
      {"CNode", {}},
      {"CNodeAttributeControl", {BuildNodeAttributeControl}},
      {"CNodeLayerClipControl", {}},
      {"CNodeLayerControl", {BuildNodeLayerControl}},
      {"CNodeSelControl", {BuildNodeSelControl}},
      {"CNodeSelDataClipControl", {}},
      {"CParticles", {}},
      {"CPath", {}},
      {"CPointLight", {}},
      {"CPointLightControl", {BuildPointLightControl}},
      {"CRTSClipControl", {}},
      {"CRTSOffsetControl", {BuildRtsOffsetControl}},
      {"CRTSLayerControl", {BuildRtsLayerControl}},
      {"CRTSSelectorControl", {BuildRtsSelectorControl}},
      {"CRTSSwitcherControl", {BuildRtsSwitcherControl}},
      {"CSelNode", {}},
      {"CSpotLight", {BuildSpotLight}},
      {"CSpotLightControl", {BuildSpotLightControl}},
      {"CThumbnail", {}},
      {"CTriMesh", {}},
      {"CTriMeshData", {}},
      {"CUvwMap", {}},
      {"CUvwMapClipControl", {}},
      {"CUvwMapControl", {BuildUvwMapControl}},
      {"CUvwMapData", {}},
      {"CUvwMapDataControl", {{}, true}},
      {"CCameraKeyframeControl", {BuildCameraKeyframeControl}},
      {"CKeyframeClipControl", {BuildKeyframeClipControl}},
      {"CCameraTarget", {}},
      {"CSpringControl", {BuildSpringControl}},
      {"CFlexiData", {BuildFlexiData}},
      {"CFlexiControl", {BuildFlexiControl}},
      {"CPathControl", {BuildPathControl}},
      {"CShareControl", {BuildShareControl}},
      {"CLinkControl", {BuildLinkControl}},
      {"CImage", {BuildImage}},
      {"CAnmImage", {BuildAnmImage}},
      {"CPhysicsSoftControl", {BuildPhysicsSoftControl}},
      {"CConnectData", {BuildConnectData}},
      {"CConnectControl", {BuildConnectControl}},
      {"CStandardMaterial", {BuildStandardMaterial}},
      {"CBlendMaterial", {BuildBlendMaterial}},
      {"CMultiMaterial", {BuildMultiMaterial}},
      {"CTextureMap", {BuildTextureMap}},
      {"CBlendTex", {BuildBlendTex}},
      {"CNormalBumpTex", {BuildNormalBumpTex}},
      {"CCubeMap", {}},
      {"CRefractionMap", {BuildRefractionMap}},
      {"CMaterialAttributeControl", {BuildMaterialAttributeControl}},
      {"CVideo", {BuildVideo}},
      {"CVideoTrack", {BuildVideoTrack}},
      {"CVideoMap", {BuildVideoMap}},
      {"CImageLight", {BuildImageLight}},
      {"CImageLayer", {BuildImageLayer}},
      {"CPostEffect", {BuildPostEffect}},
      {"CCameraSwitcher", {BuildCameraSwitcher}},
      {"CCameraSwitcherControl", {BuildCameraSwitcherControl}},
      {"CLineStyle", {BuildLineStyle}},
      {"CFillStyle", {BuildFillStyle}},
      {"CGradientFillStyle", {BuildGradientFillStyle}},
      {"CBitmapFillStyle", {BuildBitmapFillStyle}},
      {"CEdge", {BuildEdge}},
      {"CShape", {BuildShape}},
      {"CShapeInstance", {BuildShapeInstance}},
      {"CGroupShape", {BuildGroupShape}},
      {"CLineStyleControl", {BuildLineStyleControl}},
      {"CFillStyleControl", {BuildFillStyleControl}},
      {"CGradientFillStyleControl", {BuildTransformControl<CGradientFillStyleControl>}},
      {"CBitmapFillStyleControl", {BuildTransformControl<CBitmapFillStyleControl>}},
      {"CEdgeMorphControl", {BuildEdgeMorphControl}},
      {"CGradientMorphControl", {BuildGradientMorphControl}},
      {"CMaterialUVControl", {BuildMaterialUVControl}},
      {"CMaterialControl", {BuildMaterialControl}},
      {"CAnmImageControl", {BuildAnmImageControl}},
      {"CMaterialLayerControl", {BuildMaterialLayerControl}},
      {"CParticleDataControl", {{}, true}},
      {"CParticleAtomControl", {BuildParticleAtomControl}},
      {"CParticleEmitControl", {BuildParticleEmitControl}},
      {"CParticleControl", {BuildParticleControl}},
      {"CPostEffectControl", {BuildPostEffectControl}},
      {"CVideoTrackControl", {BuildVideoTrackControl}},
      {"CVideoControl", {BuildVideoControl}},
      {"CImageLightControl", {BuildImageLightControl}},
      {"CHDRControl", {BuildHdrControl}},
      {"CScene", {BuildScene}},
      {"CTerrain", {BuildTerrain}},
      {"CSky", {BuildSky}},
      {"CWater", {BuildWater}},
      {"CHeightMap", {BuildHeightMap}},
      {"CHeightMapMaterial", {BuildHeightMapMaterial}},
      {"CGrass", {BuildGrass}},
      {"CTree", {BuildTree}},
      {"CTreeInstance", {BuildTreeInstance}},
      {"CWind", {}},
  };
  return rows;
}

// The current class names the factory knows (old names and test classes
// left out).
std::vector<std::string> RegisteredClassNames() {
  RegisterLibraryClasses();
  std::vector<std::string> names;
  for (const auto& [name, creator] : CClassFactory::GetRegistry()) {
    const ClassRecord* record = FindClassRecord(name);
    if (record != nullptr && name == record->name) names.push_back(name);
  }
  return names;
}

class RoundTripTest : public ::testing::TestWithParam<std::string> {};

TEST_P(RoundTripTest, SavesLoadsAndSavesTheSameBytes) {
  const std::string& name = GetParam();
  const auto row = Rows().find(name);
  ASSERT_NE(row, Rows().end()) << name << " is registered but has no row in the round-trip table";
  const CreateObjectFunc creator = CClassFactory::FindCreator(name);
  ASSERT_NE(creator, nullptr);
  test::UseTestIds(0);
  Result made = kErrStream;
  CPointer<CBase> object;
  creator(made, object);
  if (row->second.abstract) {
    EXPECT_LT(made, 0) << name;
    return;
  }
  ASSERT_EQ(made, kOk) << name;

  Companions companions;
  object->SetName(u"round trip");
  if (row->second.build) row->second.build(*object, companions);
  const std::vector<u8> first = test::SaveObjectRecord(*object);
  ASSERT_EQ(first.size(), object->GetSaveSize()) << name;

  // The records the load registers outlive the stream that points at them.
  std::vector<CStreamLoadRecord> records(companions.size() + 1);
  test::UseTestIds(1);
  CPointer<CBase> loaded;
  {
    CMemoryIo device(first);
    CStream stream;
    stream.SetDevice(&device);
    for (std::size_t i = 0; i < companions.size(); ++i) {
      records[i + 1].object = companions[i];
      ASSERT_TRUE(stream.RegisterId(companions[i]->GetUniqueId(), &records[i + 1]));
    }
    std::string className;
    u32 bodySize = 0;
    ASSERT_EQ(ReadString(stream, className), kOk);
    ASSERT_EQ(ReadU32(stream, bodySize), kOk);
    EXPECT_EQ(bodySize, first.size() - 8 - className.size()) << name;
    const CreateObjectFunc fromFile = CClassFactory::FindCreator(className);
    ASSERT_NE(fromFile, nullptr) << className;
    fromFile(made, loaded);
    ASSERT_EQ(made, kOk) << className;
    records[0].object = loaded;
    ASSERT_GE(loaded->Load(stream, records[0], 0), 0) << name;
    EXPECT_EQ(stream.GetRemaining(), 0u) << name << ": the load left bytes unread";
    ASSERT_GE(loaded->Link(stream, records[0], 0), 0) << name;
  }
  EXPECT_EQ(loaded->GetSaveSize(), first.size()) << name;
  EXPECT_EQ(test::RenumberIds(test::SaveObjectRecord(*loaded)), test::RenumberIds(first)) << name;
}

INSTANTIATE_TEST_SUITE_P(EveryRegisteredClass, RoundTripTest, ::testing::ValuesIn(RegisteredClassNames()),
                         [](const ::testing::TestParamInfo<std::string>& info) { return info.param; });

}  // namespace
}  // namespace KT
