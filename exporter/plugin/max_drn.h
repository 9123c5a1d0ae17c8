// CMaxDrn: the conversion context of one export. It holds the host nodes to
// convert, the root of the converted scene, the export options, the clip
// list, the conversion profile and the progress state; every build,
// validation, reduction and save step runs on it.
//
// The constructor collects the host nodes (CMaxTreeEnumProc over the host
// scene's whole tree), then registers the image classes and every library
// class with the class factory. It does not fail: a null host scene leaves
// the node list empty.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "exporter/plugin/clip_list.h"
#include "exporter/plugin/conversion_profile.h"
#include "objectmodel/pointer.h"
#include "objectmodel/types.h"
#include "platform/host/interface.h"
#include "platform/host/scene_export.h"
#include "render/images/image.h"
#include "render/images/thumbnail.h"
#include "render/materials/material_base.h"
#include "scene/node.h"

class BitmapTex;
class ModContext;
class Modifier;
class Mtl;
class StdMat;
class Texmap;

namespace KT {
class CStandardMaterial;
class CTextureMap;
class CTriMesh;
}  // namespace KT

// The first record of `profile` whose rig bone (the second name) equals
// `name` exactly; null when there is none.
const ProfileRecord* FindProfileRecord(const std::vector<ProfileRecord>& profile, const KT::WString& name);

class CMaxDrn {
 public:
  // The node build mode before any conversion ran.
  static constexpr int kInitialNodeBuildMode = 6;
  static constexpr int kInitialMaxTextureSize = 1024;

  CMaxDrn(IScene* scene, Interface* ip, bool selectedOnly);
  // Releases the root and the thumbnail, clears the caches, then frees the
  // clip list, the UV channel table, the profile and the node list.
  virtual ~CMaxDrn();
  CMaxDrn(const CMaxDrn&) = delete;
  CMaxDrn& operator=(const CMaxDrn&) = delete;

  // Progress on the host's bar (nothing without a host interface): start
  // shows the bar with `title` and resets the percentage to 0; step adds
  // `amount`, caps the percentage at 100 and shows it (without a percent
  // display) with `message`; end closes the bar.
  void StartProgress(const char* title);
  void StepProgress(int amount, const char* message);
  void EndProgress();

  // The root of a hand-only motion: a new node "GestureRoot" whose
  // children are the converted tree's "RHand" and then "LHand" (exactly
  // class KT::CNode), each only when found; the rest of the converted tree
  // is released.
  void BuildGestureRoot();

  // --- node conversion (exporter/convert/node_conversion.cpp) --------------
  // Builds the converted tree once: advances the progress by 5 ("Building
  // Nodes"); with collected nodes and no root yet, keeps `kind` as the node
  // build mode, makes the root (named after the host scene root, custom id
  // of the kind, a keyframe controller with one identity key) and converts
  // the collected nodes in passes until a pass converts none. A node goes
  // under the first node of exactly class KT::CNode named like its host
  // parent; a node whose parent never converts is left out with its
  // subtree.
  void BuildNodes(int kind);
  // Name, shadow flags, Active and Basis of `node` from `inode` at tick t
  // (Inherited too when the host node has a transform controller), then
  // EnsureKeyframeControl. With a controller Basis comes from its
  // sub-controllers' values (the host rotation (x, y, z, w) stored as
  // (-x, -y, -z, w)); without one it is the decomposition of NodeTM x
  // Inverse(ParentTM). Null arguments do nothing.
  void SetNodeTransform(KT::CNode* node, INode* inode, TimeValue t);
  // Gives `node` (a converted node, light or camera) a KT::CKeyframeControl
  // (Frequency 1, one key at time 0 holding its Basis) unless its
  // controller chain already holds a KT::CRTSControl (derived classes
  // included). Null does nothing.
  void EnsureKeyframeControl(KT::CSpatial* node);

  // --- transform keyframes (exporter/convert/transform_keyframes.cpp) ----
  // Each advances the progress by 10, then keys every collected node that
  // converted and has a host transform controller (Inherited copied from
  // it); sampling follows SampleTicks and KeyTimeFromTicks.
  // One KT::CKeyframeControl per clip, named after it, replacing the
  // node's keyframe controller; each key is Basis overwritten by the
  // sub-controllers' values.
  void BuildHierarchyKeyframes(int ticksPerFrame);
  // The same keyframe controllers as layers of one new KT::CRTSClipControl,
  // followed by one clip key (time 0, ClipID -1, LoopCount 0).
  void BuildPropKeyframes(int ticksPerFrame);
  // One KT::CKeyframeControl per node (the one in its chain is reused and
  // cleared) over the animation range, each key the decomposed world
  // matrix, times measured from the range start.
  void BuildKeyframes(int ticksPerFrame);

  // --- node clean-up (exporter/convert/node_cleanup.cpp) -------------------
  // Each returns at once without collected nodes or root and passes over
  // host nodes that did not convert. A host node matches when its object
  // evaluated at tick 0 (hidden included) has the super class `superClass`.
  // Takes each matching converted node, with its subtree, out of its parent.
  void RemoveNodesOfSuperClass(SClass_ID superClass);
  // Moves each matching converted node whose parent is not the root
  // directly under the root (appended); its Basis stays as it is.
  void MoveNodesOfSuperClassToRoot(SClass_ID superClass);
  // Takes out (with its subtree) each converted node whose host transform
  // controller is the footstep controller, class (0x3011, 0).
  void RemoveNodesOfClass();
  // Names the root; nothing without a root.
  void SetRootName(const KT::WString& name);
  // When the profile holds a record for bone `name` (FindProfileRecord),
  // `matrix` becomes that record's matrix x `matrix`; else it stays.
  void ApplyProfileMatrix(KT::CMatrix4& matrix, const KT::WString& name) const;

  // --- keyframe reduction (exporter/convert/keyframe_reduction.cpp) --------
  // Thins every animated controller under the root with the thresholds R,
  // T, S and P (nothing without a root), in this order: each KT::CNode's
  // keyframe controllers (the layers of its KT::CRTSClipControl when it has
  // one, else the keyframe controller of its chain); the material
  // attribute controllers (light, then self, then texture keys); the UVW
  // map controllers; each light's colour, point-light and spot-light
  // controllers; the camera controllers. Each object is thinned once.
  void OptimizeKeyframes();

  // --- light conversion (exporter/convert/light_conversion.cpp) ------------
  // Advances the progress by 20 ("Create Lights"); with collected nodes and
  // a root, runs BuildLight at tick 0 for each collected node with the
  // converted node of its name (exactly class KT::CNode; null when none).
  void CreateLights();
  // Nothing when `node` or `inode` is null or the host object at t (hidden
  // included) is not a light. Else advances the progress by 2 ("Build
  // Light: <host name>"); a host light type outside 0 to 4 stops here. Types 0
  // (omni), 1 and 3 (spots), 2 and 4 (directional) give a KT::CPointLight,
  // KT::CSpotLight or KT::CDirectionalLight and the custom id 0x8000100,
  // 0x8000200 or 0x8000300 on `node`. Point and spot lights sit at the
  // origin with the range of the far attenuation end; spots and
  // directional lights look along (0, 0, -1); spots get Falloff 1 and
  // Theta and Phi from the full hotspot and falloff angles in radians
  // (not halved). Basis = the host object's offset from its node (ObjectTM
  // x Inverse(NodeTM)); Rgb = the host colour, unscaled (Multiplier stays
  // 1). Over the animation range (SampleTicks, KeyTimeFromTicks from the
  // range start) a KT::CLightControl keys the colour and a
  // KT::CPointLightControl the range or a KT::CSpotLightControl (1,
  // falloff, hotspot) and the range, all at Frequency 1. Then
  // EnsureKeyframeControl on the light and the light is appended under
  // `node`. A light that cannot be allocated leaves `node` with its custom
  // id and no light.
  void BuildLight(KT::CNode* node, INode* inode, TimeValue t);

  // --- camera conversion (exporter/convert/camera_conversion.cpp) ----------
  // Advances the progress by 15 ("Create Camera"); with collected nodes and
  // a root, runs BuildCamera at tick 0 for each collected node with the
  // converted node of its name (null when none).
  void CreateCamera();
  // Nothing when `node` or `inode` is null or the host object at t (hidden
  // included) is not a camera. Else advances the progress by 2 ("Build
  // Camera: <host name>") and appends a KT::CCamera under `node`:
  // FrustumFov = the state's fov, FrustumN = nearRange when above 0 else
  // 1, FrustumF = farRange, Perspective unless orthographic, Basis = the
  // host object's offset from its node; the other fields keep their
  // defaults and no custom id is written. A KT::CCameraControl
  // (Frequency 1) keys the fov at every sample of the animation range,
  // then EnsureKeyframeControl runs on the camera.
  void BuildCamera(KT::CNode* node, INode* inode, TimeValue t);

  // --- biped keyframes (exporter/convert/biped_keyframes.cpp) --------------
  // Samples the biped's animation into one KT::CKeyframeControl per clip
  // (named after it, Frequency 1) on every node of exactly class KT::CNode
  // under the root (the root included), each node's earlier keyframe
  // controller removed and its inherit mask set to 0x1C0. Shows "Building
  // Biped Keyframes" (0), and after each clip advances by 30 / clip count
  // (30 without clips). Nothing more without collected nodes or root.
  // First each biped or footstep transform controller (0x9154, 0x9156,
  // 0x3011) is told the export option 1 through its interface 0x100101.
  //
  // Without a base-bone scene each node follows the host node of its name
  // (world NodeTM); a node without one stays on the identity (its Basis
  // reset) until an earlier node of the sample was found, and follows its
  // parent with its own Basis afterwards. Keys are world x Inverse(parent
  // world).
  //
  // With a base-bone scene (baseBoneLoaded) the converted tree is the base
  // skeleton and `profileList` names the host bone of each base bone:
  // "LowerTorso" follows "Bip01 Pelvis" (its rotation corrected by its own
  // record when there is one) moved by BaseOffset, the offset of the base
  // pelvis from the frame of its hips; the subtree of "UpperTorso" keeps
  // the base skeleton's distance D from the pelvis. A node without a
  // record, or whose record names "*-=-*", is keyed with its own Basis;
  // the others with their local matrix whose rotation (except for
  // "LowerTorso") is corrected by the record. BaseOffset and D come from
  // the rest pose of the base skeleton (Basis composed down the tree); when
  // "LowerTorso", "UpperTorso", "LThigh" or "RThigh" is missing they are
  // the identity and zero and the upper body is not moved.
  void BuildBipedKeyframes(int ticksPerFrame, const std::vector<ProfileRecord>& profileList);

  // --- behaviour script (exporter/plugin/behaviour_script.cpp) -------------
  // Advances the progress by 10 ("Generate Fenwa Script"); with collected
  // nodes and a root, gives the root the behaviour script of the clip
  // names (BuildBehaviourScriptXml). When that succeeded, every child of
  // each KT::CRTSClipControl under the root becomes Static and every child
  // of each KT::CUvwMapClipControl is renamed "PerformChannel_" + its name;
  // a failed script leaves the controls as they are.
  void GenerateScript();

  // --- content files (exporter/plugin/content_file.cpp) ---------------------
  // Every content file is one save of a stream (flags 0x1F) whose roots are
  // the scene and an empty KT::CRawData "OstrelMaxExp_500", whose extension
  // list holds a KT::CVersionData "FileAppVersion" (AppName "Ostrel",
  // AppVersion 5000100, DataVersion -1), preceded in gesture files by one
  // with DataVersion 0, and whose thumbnail is the context's thumbnail.
  // Writes that file at `path` with `object` as the first root. result: 0;
  // the file device's code when the file cannot be opened (nothing
  // written); kErrOutOfMemory when a record cannot be made; the stream's
  // code when the save fails, and the partly written file is removed.
  void SaveContentFile(KT::Result& result, const KT::WString& path, KT::CBase* object, bool gesture);
  // Progress step 0 "Save File..."; no root: kErrNotFound and nothing
  // written; else PrepareForSave and the root written to `targetPath`
  // (narrow, the active code page) without the gesture record. A file
  // that is not written is shown in an "Error" box (FailedSaveMessage).
  void SaveFile(KT::Result& result, const std::string& targetPath);
  // Progress step 0 "Save Animation Clip Files..."; no root: kErrNotFound
  // and nothing written (each clip's file shown as not written); no node
  // under the root: kDone. Otherwise
  // PrepareForSave, then for each clip in list order a copy of the root
  // (through a fresh clone map and remap; a failure of either ends the
  // save with its code) is filtered to the clip and written to
  // ClipFilePath(folder, clip Name, extension), as a gesture file when the
  // root is named "GestureRoot":
  // - node build modes 0, 2 and 3: every KT::CKeyframeControl named other
  //   than the clip leaves its object's chain, then BakeProfileIntoKeys;
  //   other modes: every KT::CRTSClipControl keeps the clip's children
  //   (KeepClipChildren);
  // - in every mode every KT::CUvwMapClipControl keeps the clip's children.
  // A clip Name that IsUsableClipName refuses writes no file
  // (kErrInvalidArg). Every clip file that is not written is shown in an
  // "Error" box and the next clip is written all the same; the answer is
  // the first failure, else 0.
  void SaveClipFiles(KT::Result& result, const std::string& folder, const std::string& extension);
  // The save of the content types that write no file: kErrNotAvailable
  // (0x80000001), nothing written.
  void SaveUnsupportedFile(KT::Result& result, const std::string& path);
  // With the texture limit on, every KT::CImage under the root larger than
  // maxTextureSize on a side is resized to min(side, maxTextureSize) on
  // each side separately (the proportions are not kept); 0. With the limit
  // off nothing changes and the answer is kDone.
  void PrepareForSave(KT::Result& result);

  // --- thumbnail and template scenes (exporter/plugin/template_scenes.cpp) --
  // fromTemplate: `path` is a scene file whose thumbnail section (if any)
  // becomes the thumbnail (null when it holds none or another class);
  // result 0, or the file device's or the stream's code with the
  // thumbnail left as it was. Otherwise `path` is an image file, scaled to
  // 125 x 125 and converted to pixel layout 1 into a new thumbnail;
  // result 0 also when the image cannot be read (no thumbnail is made
  // then, the old one stays).
  void WriteThumbnail(KT::Result& result, const KT::WString& path, bool fromTemplate);
  // Reads the scene file at `path` (false when it cannot be opened or
  // loaded, nothing changed); marks the base-bone scene loaded; its root 0,
  // when a KT::CNode, becomes the root (else there is none), every node
  // under it gets the inherit word 0x1000000, and the scene is updated once
  // at time 0. True.
  bool LoadBaseBoneFile(const KT::WString& path);

  // --- control-data passes of the mesh export ------------------------------
  // Each reads one modifier of the host node's stack and hangs what it yields
  // on the exported mesh; virtual so that a test can record the dispatch.
  virtual void ExportSkinModifier(KT::CTriMesh* mesh, INode* node, TimeValue t, Modifier* mod);
  virtual void ExportPhysique(KT::CTriMesh* mesh, INode* node, TimeValue t, Modifier* mod);
  virtual void ExportMorph(KT::CTriMesh* mesh, INode* node, TimeValue t, Modifier* mod);
  virtual void ExportSelectionSets(KT::CTriMesh* mesh, INode* node, TimeValue t, Modifier* mod, ModContext* mc);
  virtual void ExportUvwAnimation(KT::CTriMesh* mesh, INode* node, TimeValue t, Modifier* mod, ModContext* mc);

  // --- UVW animation and the post-build passes -----------------------------
  // (exporter/convert/uvw_animation_export.cpp, post_build_passes.cpp)
  // The placeholder meshes of an animation-only export: advances the
  // progress by 10 ("Build Uvw Animation"); with a root, each collected node
  // that converted, yields triangles at tick 0 and carries a UVW Map or
  // Unwrap UVW modifier gets a KT::CTriMesh child named after it whose one
  // level holds one KT::CUvwMap per exported host map channel (as many
  // zeroed coordinates as the channel has map vertices, so that sampled
  // keys fit; one zeroed triangle and one vertex entry of index data); then
  // ExportUvwAnimation runs for each such modifier. `ticksPerFrame` is not
  // read: the sampler asks the host.
  void BuildUvwAnimation(int ticksPerFrame);
  // Replaces every KT::CUvwMapClipControl under the root by a new, empty one
  // on the same object, then takes every KT::CUvwMapControl still in an
  // object's controller chain out of it. Nothing without a root.
  void ResetUvwClipControls();
  // Takes every KT::CDataClipControl, then every
  // KT::CMaterialAttributeControl (exact classes) under the root out of its
  // object's controller chain. Nothing without a root.
  void RemoveMaterialAnimation();
  // For each node (exactly class KT::CNode) under the root named like a rig
  // bone (IsRigBoneName): its direct children that are meshes
  // (KT::CTriMesh, derived classes included) are taken out; deeper meshes
  // stay. Nothing without a root.
  void CleanRigBoneNodes();
  // Evaluates the scene at the zero time, then for each node (exactly
  // KT::CNode, collection order, parents first): its world matrix corrected
  // by ApplyProfileMatrix, brought into its parent's space under its
  // inherit mask and decomposed, becomes its Basis (Dirty set) and the
  // value of key 0 of its first KT::CKeyframeControl; its transform is then
  // updated so that its children see the new pose. Nothing without a root.
  void ApplyProfileToKeys();
  // Re-keys the scene under `root` through the profile: at every time that
  // an RTS key of a KT::CKeyframeControl under it has (ascending, each
  // once) the scene is evaluated, and each node (exactly KT::CNode) with a
  // keyframe controller gets a key (rate 1000, TT_LINEAR, strength 50)
  // holding its corrected pose, computed as in ApplyProfileToKeys. Every
  // pose is taken from the keys as they stood before the pass: a key
  // written at one time never feeds the pose of a later time. Null does
  // nothing.
  void BakeProfileIntoKeys(KT::CNode* root);

  // --- material conversion (exporter/convert/material_conversion.cpp) -----
  // The converted form of a host material at tick t, or null. Standard
  // (2, 0): converted once per context (materialCache) and given its
  // attribute controller. Multi/Sub-Object (0x200, 0): a new
  // KT::CMultiMaterial named after it with each sub-material converted and
  // appended (an empty or unsupported one is skipped, so the later ones
  // move down). Blend (0x250, 0): a new KT::CBlendMaterial with both
  // sub-materials and, when sub-map 0 is a Bitmap whose file loads, that
  // texture as its mask. Null or any other class: null. Multi and Blend
  // results are not cached.
  KT::CPointer<KT::CMaterial> ConvertMaterial(Mtl* mtl, TimeValue t);
  // A new KT::CStandardMaterial with the host's name, TwoSided, colours and
  // factors at t, and its texture slots: slot 10 a KT::CRefractionMap in
  // channel 10 weighted by the amount at tick 0; slot 9 a KT::CCubeMap in
  // channel 11 when the map answers I_REFLECTION_MAP; slot 8 a
  // KT::CNormalBumpTex around the normal map of a Normal Bump over a
  // Bitmap; slots 0, 3, 5, 7 and 11 never; every other filled slot through
  // ConvertTextureSlot. Null when `mtl` is null or memory runs out.
  KT::CPointer<KT::CStandardMaterial> ConvertStandardMaterial(StdMat* mtl, TimeValue t);
  // Slot `slot` of `mtl` into its channel of `material`: a Bitmap map
  // becomes a KT::CTextureMap filled by LoadTexture, weighted by the slot's
  // amount at t (a slot-8 map reads UV channel 0); a failed lookup leaves
  // the channel empty and answers its code; a map of any other class leaves
  // it empty (kDone). The map's UV placement (ConvertUvTransform) is stored
  // for the channel in every case where the map has a UV generator. Null
  // arguments or a slot without a channel: kErrInvalidArg.
  KT::Result ConvertTextureSlot(StdMat* mtl, KT::CStandardMaterial* material, TimeValue t, Texmap* tex, int slot);

  // --- texture lookup (exporter/convert/texture_lookup.cpp) ---------------
  // Gives `map` the image of the bitmap's file: the name as entered when it
  // names a file, else what BMMGetFullFilename finds on the map folders,
  // else the name as entered. One KT::CImage (storage kind 1, named after
  // the file title) per exact widened path for the context's life
  // (textureCache). With UVW source 0 and a map channel inside uvChannels,
  // uUvwChannel becomes that entry (-1 reads as 0xFFFFFFFF). kOk; null
  // argument: kErrInvalidArg; a file that does not decode: the decoder's
  // code, nothing cached and the map unchanged.
  KT::Result LoadTexture(KT::CTextureMap* map, BitmapTex* tex);

  // --- material attribute animation (material_attribute_animation.cpp) ----
  // Attaches a KT::CMaterialAttributeControl named after `mtl` (Frequency
  // 1) to `material` and gives it one light, self and texture key per tick
  // of SampleTicks over the host's animation range, at KeyTimeFromTicks
  // from the range start: light = the colours and lighting factors,
  // self = opacity, falloff and SoftThresh 0, texture = the amounts of
  // slots 1, 2, 4, 6, 8, 9 and 10, the other channels 1.0. Null arguments do
  // nothing.
  void BuildMaterialAttributeControl(StdMat* mtl, KT::CStandardMaterial* material);

  // --- mesh export (exporter/convert/mesh_export.cpp) ---------------------
  // Advances the progress by 14 ("Create Mesh"), then, with a root and
  // collected nodes, runs CreateMesh at tick 0 for each collected node
  // whose converted KT::CNode (exact class, found by name) exists.
  void CreateMeshes();
  // Builds a KT::CTriMesh named after `node` under `parent` from the node's
  // triangles at t: positions, colours, corners (order {0, 2, 1} under a
  // mirrored object transform), smoothing-group or explicit normal
  // sharing with normals computed from the positions, one UV channel per
  // used map channel (uvChannels records the numbering), the converted or
  // default material, material ids, then ExportModifierData and
  // EnsureKeyframeControl. Objects that do not convert to triangles, and
  // bone objects, build nothing. A mesh without vertices, or one whose
  // face, colour-face, map-face or explicit-normal indices point outside
  // their arrays, stays an empty named mesh (Basis and flags set). Null
  // arguments do nothing.
  void CreateMesh(KT::CNode* parent, INode* node, TimeValue t);
  // Walks the node's derived objects from its object reference down, each
  // one's modifiers in index order, and hands Physique, Skin, Morpher, mesh
  // select, UVW Map and Unwrap UVW modifiers to their pass (the last three
  // only when they do not answer MODIFIER_EXCLUDED_INTERFACE, and with the
  // modifier's context). Other modifiers are passed over.
  void ExportModifierData(KT::CTriMesh* mesh, INode* node, TimeValue t);

  std::vector<INode*> nodes;                 // host nodes to convert, in collection order
  KT::CPointer<KT::CNode> root;              // root of the converted scene
  int nodeBuildMode = kInitialNodeBuildMode;
  std::vector<ProfileRecord> profile;        // conversion profile (types 13 and 14)
  IScene* scene;
  Interface* ip;
  bool selectedOnly;
  int progress = 0;                          // 0-100
  bool baseBoneLoaded = false;
  int sampleRate = 1;                        // key reduction
  float thresholdR = 0.0f;
  float thresholdT = 0.0f;
  float thresholdS = 0.0f;
  float thresholdP = 0.0f;
  bool limitTextures = false;
  int maxTextureSize = kInitialMaxTextureSize;
  KT::CPointer<KT::CThumbnail> thumbnail;
  // For the mesh converted last: host map channel -> index of the UV
  // channel written for it, -1 when none was.
  std::vector<KT::i32> uvChannels;
  std::vector<ClipRecord> clips;
  // The two lookup tables of the conversion: converted standard materials
  // by host material, decoded images by resolved file path.
  std::map<Mtl*, KT::CPointer<KT::CMaterial>> materialCache;
  std::map<KT::WString, KT::CPointer<KT::CImage>> textureCache;
};
