#include "exporter/validation/rig_checks.h"

#include <array>
#include <map>
#include <unordered_set>
#include <vector>

#include "controllers/core/mesh_sel_control.h"
#include "exporter/plugin/max_drn.h"
#include "exporter/validation/bone_hierarchy.h"
#include "objectmodel/collectors.h"
#include "render/materials/material_base.h"
#include "render/materials/standard_material.h"
#include "scene/node.h"
#include "scene/tri_mesh.h"

namespace {

constexpr KT::u32 kBoneInherited = 448;  // 0x1C0: the flags every required body bone carries
constexpr KT::u32 kFaceInherited = 0;
constexpr KT::u32 kFaceVertexCount = 1907;

// The first object of class T (or derived) named `name` under `root`, the
// root included; null for a null root.
template <typename T>
T* FindUnder(KT::CBase* root, const char16_t* name) {
  if (root == nullptr) return nullptr;
  return static_cast<T*>(root->Find(name, &T::StaticClassRecord(), true, false));
}

template <typename T>
std::vector<T*> CollectUnder(KT::CBase* root) {
  std::vector<T*> out;
  KT::CollectObjects(out, root, nullptr, true, false);
  return out;
}

// The first selection control named `name` in the object's own controller
// chain.
KT::CMeshSelControl* FindSelectionControl(const KT::CDorun& object, const char16_t* name) {
  for (KT::CDorun* control = object.GetFirstControl(); control != nullptr; control = control->GetChainNext()) {
    auto* selection = KT::DynamicCast<KT::CMeshSelControl>(control);
    if (selection != nullptr && selection->GetName() == name) return selection;
  }
  return nullptr;
}

KT::i32 SelectedVertices(const KT::CMeshSelControl& control) { return control.GetXYZSelBit().CountSetBits(); }

// One "met" flag per entry of a rig table.
template <std::size_t N>
struct TableMarks {
  const RigNameTable<N>& table;
  std::array<bool, N> met{};

  // Marks `name`; false when the table does not hold it.
  bool Mark(std::u16string_view name) {
    bool found = false;
    for (std::size_t i = 0; i < N; ++i) {
      if (name == table[i]) {
        met[i] = true;
        found = true;
      }
    }
    return found;
  }
  void ReportMissing(ValidationReport& report) const {
    for (std::size_t i = 0; i < N; ++i)
      if (!met[i]) report.bones.push_back({BoneIssue::kMissing, table[i]});
  }
};

void ShowCheckProgress(CMaxDrn& context, int percent) {
  context.progress = percent;
  if (context.ip != nullptr) context.ip->ProgressUpdate(percent, FALSE, kCheckProgressText);
}

}  // namespace

const FixedSelectionSet* FindFixedSelectionSet(std::u16string_view name) {
  for (const FixedSelectionSet& set : FixedSelectionSets)
    if (name == set.name) return &set;
  return nullptr;
}

KT::CSpatial* FindObjectMesh(KT::CSpatial* object) {
  if (object == nullptr) return nullptr;
  if (object->IsKindOf(KT::CTriMesh::StaticClassRecord())) return object;
  KT::CTriMesh* mesh = FindUnder<KT::CTriMesh>(object, object->GetName().c_str());
  return mesh != nullptr ? mesh : object;
}

KT::CMaterial* GetMeshMaterial(const KT::CTriMesh& mesh) { return KT::DynamicCast<KT::CMaterial>(mesh.GetMaterial()); }

void CheckBodyPartPresent(ValidationReport& report, KT::CNode* root, const char16_t* part, KT::CNode*& node) {
  node = KT::FindNode(root, part, false);
  if (node == nullptr) report.bodyParts.push_back({BodyPartIssue::kMissing, part});
}

void CheckChildPresent(ValidationReport& report, const KT::CNode* node, const char16_t* child) {
  if (KT::FindNode(node, child, false) == nullptr) report.facialParts.push_back(child);
}

void CheckBodyPartMeshNames(ValidationReport& report, KT::CBase* root) {
  for (KT::CTriMesh* mesh : CollectUnder<KT::CTriMesh>(root))
    if (!InRigTable(BodyPartMeshes, mesh->GetName())) report.bodyParts.push_back({BodyPartIssue::kWrongName, mesh->GetName()});
}

void CheckMaterial(ValidationReport& report, KT::CSpatial* object, bool critical, const char16_t* material) {
  if (object == nullptr) return;
  KT::CMaterial* held = nullptr;
  if (auto* mesh = KT::DynamicCast<KT::CTriMesh>(FindObjectMesh(object))) held = GetMeshMaterial(*mesh);
  if (held != nullptr && FindUnder<KT::CStandardMaterial>(held, material) != nullptr) return;
  report.materials.push_back({object->GetName(), material, critical});
}

void CheckSelectionSet(ValidationReport& report, KT::CSpatial* object, const FixedSelectionSet& set) {
  if (object == nullptr) return;
  const KT::CMeshSelControl* control = FindSelectionControl(*FindObjectMesh(object), set.name);
  if (control == nullptr) {
    report.missingSets.push_back({object->GetName(), set.name});
  } else if (SelectedVertices(*control) != static_cast<KT::i32>(set.vertices)) {
    report.setCounts.push_back({object->GetName(), set.name, set.vertices});
  }
}

void CheckSelectionSetPairs(ValidationReport& report, KT::CBase* root) {
  std::vector<KT::CMeshSelControl*> controls;
  for (KT::CMeshSelControl* control : CollectUnder<KT::CMeshSelControl>(root))
    if (FindFixedSelectionSet(control->GetName()) == nullptr) controls.push_back(control);
  const auto objectName = [](const KT::CMeshSelControl& control) {
    const KT::CDorun* object = control.GetBoundObject();
    return object != nullptr ? object->GetName() : KT::WString();
  };
  // The first later control of each one's name, found walking backwards:
  // one pass, however many sets a scene holds.
  std::vector<std::size_t> next(controls.size(), controls.size());
  std::map<KT::WString, std::size_t> latest;
  for (std::size_t i = controls.size(); i-- > 0;) {
    auto [entry, fresh] = latest.try_emplace(controls[i]->GetName(), i);
    if (!fresh) {
      next[i] = entry->second;
      entry->second = i;
    }
  }
  for (std::size_t i = 0; i < controls.size(); ++i) {
    if (next[i] == controls.size()) continue;
    const KT::CMeshSelControl& later = *controls[next[i]];
    if (SelectedVertices(*controls[i]) != SelectedVertices(later))
      report.unmatchedSets.push_back({objectName(*controls[i]), objectName(later), controls[i]->GetName()});
  }
}

void CheckCharacterBones(ValidationReport& report, KT::CNode* root) {
  KT::CNode* hips = FindUnder<KT::CNode>(root, u"KT_Hips");
  TableMarks<RequiredBodyBones.size()> required{RequiredBodyBones};
  TableMarks<FootFloorBones.size()> footFloor{FootFloorBones};
  TableMarks<HandFloorBones.size()> handFloor{HandFloorBones};
  TableMarks<HandPivotBones.size()> pivots{HandPivotBones};
  TableMarks<NubBones.size()> nubs{NubBones};

  // Whatever hangs under the hair root belongs to the hair, whatever its name.
  std::unordered_set<const KT::CNode*> hairNodes;
  if (KT::CNode* hair = FindUnder<KT::CNode>(hips, u"KT_Hair")) {
    if (FindUnder<KT::CTriMesh>(hair, u"KT_HairMesh") == nullptr)
      report.bones.push_back({BoneIssue::kMissing, u"KT_HairMesh"});
    for (const KT::CNode* node : CollectUnder<KT::CNode>(hair)) hairNodes.insert(node);
  }

  BoneHierarchyMap hierarchy;
  BuildFullBodyHierarchy(hierarchy);
  const std::vector<KT::CNode*> nodes = CollectUnder<KT::CNode>(hips);
  for (const KT::CNode* node : nodes) {
    const KT::WString& name = node->GetName();
    if (auto entry = hierarchy.find(name); entry != hierarchy.end()) {
      for (const KT::WString& child : entry->second) {
        if (KT::FindNode(node, child.c_str(), false) == nullptr) {
          // A broken hierarchy makes the missing-bone list meaningless:
          // bones below the break would all be reported.
          report.hierarchy.push_back({child, name});
          return;
        }
      }
    }
    if (required.Mark(name)) {
      if (node->GetInherited() != kBoneInherited) report.inherited.push_back({kBoneInherited, name});
    } else if (footFloor.Mark(name) || handFloor.Mark(name) || pivots.Mark(name) || nubs.Mark(name)) {
      // Contact, pivot and end bones carry whatever flags they have.
    } else if (InRigTable(FaceControlPoints, name) || InRigTable(FacialBones, name) || InRigTable(FaceMeshNames, name)) {
      if (node->GetInherited() != kFaceInherited) report.inherited.push_back({kFaceInherited, name});
    } else if (hairNodes.count(node) == 0) {
      report.bones.push_back({BoneIssue::kMustNotAppear, name});
    }
  }

  if (nodes.empty()) {
    report.bones.push_back({BoneIssue::kMissing, KT::WString()});
    return;
  }
  required.ReportMissing(report);
  footFloor.ReportMissing(report);
  handFloor.ReportMissing(report);
  pivots.ReportMissing(report);
  nubs.ReportMissing(report);
}

void CheckFace(ValidationReport& report, KT::CNode* root, KT::CSpatial* face) {
  KT::CNode* head = FindUnder<KT::CNode>(root, u"KT_Head");
  if (head == nullptr) return;
  KT::CNode* connect = KT::FindNode(head, u"Bone_Connect", false);

  if (connect != nullptr) {
    BoneHierarchyMap facial;
    BuildFacialHierarchy(facial);
    for (const KT::CNode* node : CollectUnder<KT::CNode>(connect)) {
      auto entry = facial.find(node->GetName());
      if (entry == facial.end()) continue;
      for (const KT::WString& child : entry->second) CheckChildPresent(report, node, child.c_str());
    }
  }

  if (face != nullptr) {
    KT::CSpatial* mesh = FindObjectMesh(face);
    if (KT::CMeshSelControl* custom = FindSelectionControl(*mesh, u"Custom_Face")) {
      custom->SetName(u"Custom_Face_G5");
    } else {
      auto* geometry = KT::DynamicCast<KT::CGeometry>(mesh);
      const KT::u32 vertices = geometry != nullptr ? geometry->GetLodVertexCount(0) : 0;
      if (vertices != kFaceVertexCount) report.facialParts.push_back(u"KT_Face");
    }
  }

  struct FacePart {
    const char16_t* name;
    std::vector<const char16_t*> materials;
  };
  const FacePart parts[] = {
      {u"KT_L_Eye", {u"KT_Iris", u"KT_Lens"}},
      {u"KT_R_Eye", {u"KT_Iris", u"KT_Lens"}},
      {u"KT_UpperTeeth", {u"KT_UpperTeeth"}},
      {u"KT_DownTeeth", {u"KT_DownTeeth"}},
      {u"KT_Tongue", {u"KT_Tongue"}},
  };
  for (const FacePart& part : parts) {
    KT::CTriMesh* mesh = FindUnder<KT::CTriMesh>(connect, part.name);
    if (mesh == nullptr) {
      report.facialParts.push_back(part.name);
      continue;
    }
    for (const char16_t* material : part.materials) CheckMaterial(report, mesh, true, material);
  }
}

void CheckCharacterData(CMaxDrn& context, int mode, ValidationReport& report) {
  ShowCheckProgress(context, 0);
  report.Clear();
  KT::CNode* root = context.root.Get();
  CheckCharacterBones(report, root);
  CheckBodyPartMeshNames(report, root);
  KT::CNode* upper = nullptr;
  KT::CNode* lower = nullptr;
  KT::CNode* hands = nullptr;
  KT::CNode* shoes = nullptr;
  KT::CNode* face = nullptr;
  CheckBodyPartPresent(report, root, u"KT_Upper", upper);
  CheckBodyPartPresent(report, root, u"KT_Lower", lower);
  CheckBodyPartPresent(report, root, u"KT_Hands", hands);
  CheckBodyPartPresent(report, root, u"KT_Shoes", shoes);
  CheckBodyPartPresent(report, root, u"KT_Face", face);
  CheckFace(report, root, face);

  ShowCheckProgress(context, 25);
  for (KT::CNode* part : {upper, lower, hands, shoes}) CheckMaterial(report, part, false, u"KT_Skin");
  CheckMaterial(report, face, true, u"KT_Skin");
  CheckMaterial(report, face, true, u"KT_Cavity");

  ShowCheckProgress(context, 50);
  // The rows of the fixed-count sets: connect01 to connect06, then connect20.
  const auto& sets = FixedSelectionSets;
  const FixedSelectionSet& waist = mode == 0 ? sets[1] : sets[6];
  for (const FixedSelectionSet* set : {&sets[0], &sets[4], &sets[5], &waist}) CheckSelectionSet(report, upper, *set);
  for (const FixedSelectionSet* set : {&sets[2], &sets[3], &waist}) CheckSelectionSet(report, lower, *set);
  for (const FixedSelectionSet* set : {&sets[4], &sets[5]}) CheckSelectionSet(report, hands, *set);
  for (const FixedSelectionSet* set : {&sets[2], &sets[3]}) CheckSelectionSet(report, shoes, *set);
  CheckSelectionSet(report, face, sets[0]);

  ShowCheckProgress(context, 75);
  CheckSelectionSetPairs(report, root);
  ShowCheckProgress(context, 100);
}

void CheckFaceData(CMaxDrn& context, ValidationReport& report) {
  ShowCheckProgress(context, 0);
  report.Clear();
  KT::CNode* root = context.root.Get();
  CheckCharacterBones(report, root);
  KT::CNode* face = nullptr;
  CheckBodyPartPresent(report, root, u"KT_Face", face);
  CheckFace(report, root, face);

  ShowCheckProgress(context, 25);
  CheckMaterial(report, face, true, u"KT_Skin");
  CheckMaterial(report, face, true, u"KT_Cavity");

  ShowCheckProgress(context, 50);
  CheckSelectionSet(report, face, FixedSelectionSets[0]);

  ShowCheckProgress(context, 75);
  CheckSelectionSetPairs(report, root);
  ShowCheckProgress(context, 100);
}
