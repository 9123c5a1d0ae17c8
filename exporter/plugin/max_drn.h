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
  // Gives `node` a KT::CKeyframeControl (Frequency 1, one key at time 0
  // holding its Basis) unless its controller chain already holds a
  // KT::CRTSControl (derived classes included). Null does nothing.
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

  // --- control-data passes of the mesh export ------------------------------
  // Each reads one modifier of the host node's stack and hangs what it yields
  // on the exported mesh; virtual so that a test can record the dispatch.
  virtual void ExportSkinModifier(KT::CTriMesh* mesh, INode* node, TimeValue t, Modifier* mod);
  virtual void ExportPhysique(KT::CTriMesh* mesh, INode* node, TimeValue t, Modifier* mod);
  virtual void ExportMorph(KT::CTriMesh* mesh, INode* node, TimeValue t, Modifier* mod);
  virtual void ExportSelectionSets(KT::CTriMesh* mesh, INode* node, TimeValue t, Modifier* mod, ModContext* mc);
  virtual void ExportUvwAnimation(KT::CTriMesh* mesh, INode* node, TimeValue t, Modifier* mod, ModContext* mc);

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
