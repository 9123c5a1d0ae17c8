// The rig checks of a converted character or face: the body bones and their
// hierarchy and Inherited flags, the body-part meshes and their names, the
// facial bones, face meshes and their materials, and the named vertex
// selection sets that connect the body parts. Every finding becomes an
// entry of a ValidationReport; the checks themselves never fail, and a
// missing object makes the checks that need it add nothing.
//
// The converted scene holds, for each host node, a plain KT::CNode under
// its parent and, for a host mesh, a KT::CTriMesh of the same name beneath
// that node; the mesh carries the material and the selection controls. So
// the material, selection-set and face-mesh checks read an object's mesh
// (FindObjectMesh), not the plain node that stands for the body part.
//
// "A plain node" below is an object of exactly class KT::CNode. Names are
// compared exactly, case included.
#pragma once

#include <string_view>

#include "exporter/validation/rig_names.h"
#include "exporter/validation/validation_report.h"

class CMaxDrn;

namespace KT {
class CBase;
class CMaterial;
class CNode;
class CSpatial;
class CTriMesh;
}  // namespace KT

// The progress text of both drivers.
inline constexpr const char* kCheckProgressText = "Check data validation...";

// The row of the fixed-count selection sets named `name`, or null.
const FixedSelectionSet* FindFixedSelectionSet(std::u16string_view name);

// Where an object's material, selection controls and vertices are: the
// object itself when it is a KT::CTriMesh (or derived), else the first
// KT::CTriMesh of the object's own name in its subtree, else the object.
// Null for null.
KT::CSpatial* FindObjectMesh(KT::CSpatial* object);

// The material of a triangle mesh: the first material of its level 0
// objects (where the mesh export puts it); null when there is none.
KT::CMaterial* GetMeshMaterial(const KT::CTriMesh& mesh);

// The root must have a direct plain-node child named `part`; otherwise
// list 0 gets (missing, part). `node` receives the child, or null (also
// for a null root).
void CheckBodyPartPresent(ValidationReport& report, KT::CNode* root, const char16_t* part, KT::CNode*& node);

// `node` must have a direct plain-node child named `child`; otherwise (a
// null node included) list 1 gets the child's name.
void CheckChildPresent(ValidationReport& report, const KT::CNode* node, const char16_t* child);

// Every KT::CTriMesh under the root (derived classes included) whose name
// is not a body-part mesh name gives list 0 the entry (wrong name, its
// name), in collection order. Nothing for a null root.
void CheckBodyPartMeshNames(ValidationReport& report, KT::CBase* root);

// The material of the object's mesh (a multi-material with its
// sub-materials) must hold a KT::CStandardMaterial named `material`;
// otherwise list 2 gets (object name, material, critical). An object whose
// mesh has no material fails the check; a null object adds nothing.
void CheckMaterial(ValidationReport& report, KT::CSpatial* object, bool critical, const char16_t* material);

// Among the controllers of the object's mesh, the first KT::CMeshSelControl
// named after the set: missing, list 3 gets (object name, set name);
// present with a number of selected vertices other than the set's count,
// list 4 gets (object name, set name, count). A null object adds nothing.
void CheckSelectionSet(ValidationReport& report, KT::CSpatial* object, const FixedSelectionSet& set);

// Every KT::CMeshSelControl under the root whose name is not a fixed-count
// set is compared with the first later control of the same name: when
// their selected-vertex counts differ, list 5 gets (the name of the
// earlier control's object, the later one's, the set name). A control is
// compared with one later control only.
void CheckSelectionSetPairs(ValidationReport& report, KT::CBase* root);

// The body bones under the first KT::CNode "KT_Hips" of the root:
// - a KT::CNode "KT_Hair" under the hips must hold a KT::CTriMesh
//   "KT_HairMesh" (else list 6 gets (missing, "KT_HairMesh")); the nodes
//   of its subtree may carry any name;
// - every KT::CNode of the hips' subtree, in collection order (the hips
//   first), with children in the full body template must have each of them
//   as a direct plain-node child; the first one missing gives list 8
//   (child, node) and ends the whole check at once;
// - a required body bone must carry the Inherited flags 448 (else list 7
//   gets (448, name)); face control points, facial bones and the face and
//   hair objects must carry 0 (else (0, name)); contact, pivot and end
//   bones pass as they are; any other node outside the hair gives list 6
//   (must not appear, name);
// - afterwards every required body bone, foot and hand contact, hand pivot
//   and end bone not met gives list 6 (missing, name), table by table in
//   table order; without any node (no hips) list 6 gets one (missing, "").
void CheckCharacterBones(ValidationReport& report, KT::CNode* root);

// The face rig under the first KT::CNode "KT_Head" of the root (nothing
// without one):
// - under its direct plain-node child "Bone_Connect", every KT::CNode with
//   children in the facial template runs CheckChildPresent for each;
// - the face object's mesh: a KT::CMeshSelControl "Custom_Face" among its
//   controllers is renamed "Custom_Face_G5" (the scene changes); without
//   one the mesh's level 0 must hold 1907 positions, else list 1 gets
//   "KT_Face". Nothing for a null face object;
// - the KT::CTriMesh parts under "Bone_Connect": "KT_L_Eye" and "KT_R_Eye"
//   need the materials "KT_Iris" and "KT_Lens", "KT_UpperTeeth",
//   "KT_DownTeeth" and "KT_Tongue" each a material of their own name, all
//   critical; a part that is missing (every part when "Bone_Connect" is)
//   gives list 1 its name.
void CheckFace(ValidationReport& report, KT::CNode* root, KT::CSpatial* face);

// The character check of the export (mode 0, 1 or 2) on the context's
// converted root: the report is cleared, then bones, mesh names, the five
// body parts, the face, the materials ("KT_Skin" as warnings on the body
// parts; "KT_Skin" and "KT_Cavity" critical on the face), the connect sets
// (connect02 in mode 0, connect20 in any other) and the set pairs. The
// host's progress bar shows kCheckProgressText at 0, 25, 50, 75 and 100
// (the context's percentage follows, so later steps count on from there).
void CheckCharacterData(CMaxDrn& context, int mode, ValidationReport& report);

// The face check of the export: the report is cleared, then bones, the
// part "KT_Face", the face, its critical materials "KT_Skin" and
// "KT_Cavity", its set connect01 and the set pairs, with the same
// progress.
void CheckFaceData(CMaxDrn& context, ValidationReport& report);
