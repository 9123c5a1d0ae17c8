#include "library/register_library_classes.h"

#include "audio/audio_cue.h"
#include "audio/audio_data.h"
#include "audio/audio_instance.h"
#include "audio/audio_source.h"
#include "audio/audio_track.h"
#include "controllers/composite/blink_control.h"
#include "controllers/composite/data_selector_control.h"
#include "controllers/composite/data_switcher_control.h"
#include "controllers/composite/look_at_control.h"
#include "controllers/composite/rts_offset_control.h"
#include "controllers/composite/rts_layer_control.h"
#include "controllers/composite/rts_selector_control.h"
#include "controllers/composite/rts_switcher_control.h"
#include "controllers/core/bone_skin_control.h"
#include "controllers/core/data_clip_control.h"
#include "controllers/core/data_control.h"
#include "controllers/core/keyframe_control.h"
#include "controllers/core/mesh_sel_control.h"
#include "controllers/core/morph_control.h"
#include "controllers/core/rts_clip_control.h"
#include "controllers/core/uvw_map_control.h"
#include "controllers/composite/boolean_control.h"
#include "controllers/composite/node_layer_clip_control.h"
#include "controllers/composite/node_sel_data_clip_control.h"
#include "controllers/keyed/data_description_control.h"
#include "controllers/keyed/node_attribute_control.h"
#include "controllers/keyed/node_layer_control.h"
#include "controllers/keyed/node_sel_control.h"
#include "objectmodel/class_factory.h"
#include "render/images/image_factory.h"
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

namespace KT {

void RegisterLibraryClasses() {
  ImageFactory::RegisterImageClasses();
  CClassFactory::Register("CBoundingBox", &CreateObject<CBoundingBox>);
  CClassFactory::Register("CBoundingMesh", &CreateObject<CBoundingMesh>);
  CClassFactory::Register("CNode", &CreateObject<CNode>);
  CClassFactory::Register("CKeyframeControl", &CreateObject<CKeyframeControl>);
  CClassFactory::Register("CUvwMap", &CreateObject<CUvwMap>);
  CClassFactory::Register("CUvwMapData", &CreateObject<CUvwMapData>);
  CClassFactory::Register("CGeometryData", &CreateObject<CGeometryData>);
  CClassFactory::Register("CTriMeshData", &CreateObject<CTriMeshData>);
  CClassFactory::Register("CTriMesh", &CreateObject<CTriMesh>);
  CClassFactory::Register("CPath", &CreateObject<CPath>);
  CClassFactory::Register("CSelNode", &CreateObject<CSelNode>);
  CClassFactory::Register("CBillboardNode", &CreateObject<CBillboardNode>);
  CClassFactory::Register("CRTSClipControl", &CreateObject<CRTSClipControl>);
  CClassFactory::Register("CMirrorSurface", &CreateObject<CMirrorSurface>);
  CClassFactory::Register("CGroupTriMesh", &CreateObject<CGroupTriMesh>);
  CClassFactory::Register("CBillboard", &CreateObject<CBillboard>);
  CClassFactory::Register("CParticles", &CreateObject<CParticles>);
  CClassFactory::Register("CUvwMapDataControl", &CreateUvwMapDataControl);
  CClassFactory::Register("CUvwMapControl", &CreateObject<CUvwMapControl>);
  CClassFactory::Register("CMorphControl", &CreateObject<CMorphControl>);
  CClassFactory::Register("CMeshSelControl", &CreateObject<CMeshSelControl>);
  CClassFactory::Register("CBoneSkinControl", &CreateObject<CBoneSkinControl>);
  CClassFactory::Register("CDataClipControl", &CreateObject<CDataClipControl>);
  CClassFactory::Register("CUvwMapClipControl", &CreateObject<CUvwMapClipControl>);
  CClassFactory::Register("CRTSSwitcherControl", &CreateObject<CRTSSwitcherControl>);
  CClassFactory::Register("CRTSSelectorControl", &CreateObject<CRTSSelectorControl>);
  CClassFactory::Register("CDataSwitcherControl", &CreateObject<CDataSwitcherControl>);
  CClassFactory::Register("CDataSelectorControl", &CreateObject<CDataSelectorControl>);
  CClassFactory::Register("CDirectionalLight", &CreateObject<CDirectionalLight>);
  CClassFactory::Register("CPointLight", &CreateObject<CPointLight>);
  CClassFactory::Register("CSpotLight", &CreateObject<CSpotLight>);
  CClassFactory::Register("CCamera", &CreateObject<CCamera>);
  CClassFactory::Register("CLightControl", &CreateObject<CLightControl>);
  CClassFactory::Register("CPointLightControl", &CreateObject<CPointLightControl>);
  CClassFactory::Register("CSpotLightControl", &CreateObject<CSpotLightControl>);
  CClassFactory::Register("CCameraControl", &CreateObject<CCameraControl>);
  CClassFactory::Register("CLookAtControl", &CreateObject<CLookAtControl>);
  CClassFactory::Register("CBlinkControl", &CreateObject<CBlinkControl>);
  CClassFactory::Register("CRTSOffsetControl", &CreateObject<CRTSOffsetControl>);
  CClassFactory::Register("CAudioData", &CreateObject<CAudioData>);
  CClassFactory::Register("CAudioInstance", &CreateObject<CAudioInstance>);
  CClassFactory::Register("CAudioSource", &CreateObject<CAudioSource>);
  CClassFactory::Register("CAudioCue", &CreateObject<CAudioCue>);
  CClassFactory::Register("CAudioTrack", &CreateObject<CAudioTrack>);
  CClassFactory::Register("CNodeAttributeControl", &CreateObject<CNodeAttributeControl>);
  CClassFactory::Register("CNodeLayerControl", &CreateObject<CNodeLayerControl>);
  CClassFactory::Register("CNodeSelControl", &CreateObject<CNodeSelControl>);
  CClassFactory::Register("CDataDescriptionControl", &CreateObject<CDataDescriptionControl>);
  CClassFactory::Register("CNodeLayerClipControl", &CreateObject<CNodeLayerClipControl>);
  CClassFactory::Register("CNodeSelDataClipControl", &CreateObject<CNodeSelDataClipControl>);
  CClassFactory::Register("CBooleanControl", &CreateObject<CBooleanControl>);
  CClassFactory::Register("CRTSLayerControl", &CreateObject<CRTSLayerControl>);
  // Old names last: they take the creators of their current classes.
  RegisterOldClassNames();
}

}  // namespace KT
