#include "exporter/validation/bone_hierarchy.h"

#include "scene/node.h"

namespace {

struct HierarchyEntry {
  const char16_t* parent;
  std::vector<const char16_t*> children;
};

const HierarchyEntry kBasicBody[] = {
    {u"KT_Hips", {u"KT_Pelvis", u"KT_Waist"}},
    {u"KT_Pelvis", {u"KT_L_Thigh", u"KT_R_Thigh"}},
    {u"KT_L_Thigh", {u"KT_L_Calf"}},
    {u"KT_L_Calf", {u"KT_L_Foot"}},
    {u"KT_L_Foot", {u"KT_L_Toe"}},
    {u"KT_R_Thigh", {u"KT_R_Calf"}},
    {u"KT_R_Calf", {u"KT_R_Foot"}},
    {u"KT_R_Foot", {u"KT_R_Toe"}},
    {u"KT_Waist", {u"KT_Spine01"}},
    {u"KT_Spine01", {u"KT_Spine02"}},
    {u"KT_Spine02", {u"KT_Neck", u"KT_L_Clavicle", u"KT_R_Clavicle", u"KT_L_Ribs", u"KT_R_Ribs"}},
    {u"KT_Neck", {u"KT_Head"}},
    {u"KT_L_Clavicle", {u"KT_L_UpperArm"}},
    {u"KT_L_UpperArm", {u"KT_L_Forearm"}},
    {u"KT_L_Forearm", {u"KT_L_Hand"}},
    {u"KT_L_Hand", {u"KT_L_Finger00", u"KT_L_Finger10", u"KT_L_Finger20", u"KT_L_Finger30", u"KT_L_Finger40"}},
    {u"KT_L_Finger00", {u"KT_L_Finger01"}},
    {u"KT_L_Finger01", {u"KT_L_Finger02"}},
    {u"KT_L_Finger10", {u"KT_L_Finger11"}},
    {u"KT_L_Finger11", {u"KT_L_Finger12"}},
    {u"KT_L_Finger20", {u"KT_L_Finger21"}},
    {u"KT_L_Finger21", {u"KT_L_Finger22"}},
    {u"KT_L_Finger30", {u"KT_L_Finger31"}},
    {u"KT_L_Finger31", {u"KT_L_Finger32"}},
    {u"KT_L_Finger40", {u"KT_L_Finger41"}},
    {u"KT_L_Finger41", {u"KT_L_Finger42"}},
    {u"KT_R_Clavicle", {u"KT_R_UpperArm"}},
    {u"KT_R_UpperArm", {u"KT_R_Forearm"}},
    {u"KT_R_Forearm", {u"KT_R_Hand"}},
    {u"KT_R_Hand", {u"KT_R_Finger00", u"KT_R_Finger10", u"KT_R_Finger20", u"KT_R_Finger30", u"KT_R_Finger40"}},
    {u"KT_R_Finger00", {u"KT_R_Finger01"}},
    {u"KT_R_Finger01", {u"KT_R_Finger02"}},
    {u"KT_R_Finger10", {u"KT_R_Finger11"}},
    {u"KT_R_Finger11", {u"KT_R_Finger12"}},
    {u"KT_R_Finger20", {u"KT_R_Finger21"}},
    {u"KT_R_Finger21", {u"KT_R_Finger22"}},
    {u"KT_R_Finger30", {u"KT_R_Finger31"}},
    {u"KT_R_Finger31", {u"KT_R_Finger32"}},
    {u"KT_R_Finger40", {u"KT_R_Finger41"}},
    {u"KT_R_Finger41", {u"KT_R_Finger42"}},
};

const HierarchyEntry kFullBody[] = {
    {u"KT_Hips", {u"KT_Pelvis", u"KT_Waist"}},
    {u"KT_Pelvis", {u"KT_L_Thigh", u"KT_R_Thigh"}},
    {u"KT_L_Thigh", {u"KT_L_Calf", u"KT_L_ThighTwist01", u"KT_L_Hip0"}},
    {u"KT_L_Calf", {u"KT_L_Foot", u"KT_L_CalfTwist01", u"KT_L_Knee"}},
    {u"KT_L_Foot",
     {u"KT_L_Toe", u"KT_L_Foot01_Floor02", u"KT_L_Foot01_Floor03", u"KT_L_Foot01_Floor05", u"KT_L_Foot01_Floor06"}},
    {u"KT_L_Toe", {u"KT_L_Foot01_Floor01", u"KT_L_Foot01_Floor04", u"KT_L_Toe0Nub"}},
    {u"KT_L_ThighTwist01", {u"KT_L_ThighTwist02"}},
    {u"KT_L_CalfTwist01", {u"KT_L_CalfTwist02"}},
    {u"KT_L_Hip0", {u"KT_L_Hip0Nub"}},
    {u"KT_R_Thigh", {u"KT_R_Calf", u"KT_R_ThighTwist01", u"KT_R_Hip0"}},
    {u"KT_R_Calf", {u"KT_R_Foot", u"KT_R_CalfTwist01", u"KT_R_Knee"}},
    {u"KT_R_Foot",
     {u"KT_R_Toe", u"KT_R_Foot01_Floor02", u"KT_R_Foot01_Floor03", u"KT_R_Foot01_Floor05", u"KT_R_Foot01_Floor06"}},
    {u"KT_R_Toe", {u"KT_R_Foot01_Floor01", u"KT_R_Foot01_Floor04", u"KT_R_Toe0Nub"}},
    {u"KT_R_ThighTwist01", {u"KT_R_ThighTwist02"}},
    {u"KT_R_CalfTwist01", {u"KT_R_CalfTwist02"}},
    {u"KT_R_Hip0", {u"KT_R_Hip0Nub"}},
    {u"KT_Waist", {u"KT_Spine01", u"KT_L_Abdominal", u"KT_R_Abdominal"}},
    {u"KT_Spine01", {u"KT_Spine02"}},
    {u"KT_Spine02", {u"KT_Neck", u"KT_L_Clavicle", u"KT_R_Clavicle", u"KT_L_Ribs", u"KT_R_Ribs"}},
    {u"KT_Neck", {u"KT_NeckTwist01"}},
    {u"KT_NeckTwist01", {u"KT_Head"}},
    {u"KT_Head", {u"KT_HeadNub"}},
    {u"KT_L_Abdominal", {u"KT_L_AbdominalNub"}},
    {u"KT_R_Abdominal", {u"KT_R_AbdominalNub"}},
    {u"KT_L_Ribs", {u"KT_L_RibsTwist", u"KT_L_RibsNub"}},
    {u"KT_R_Ribs", {u"KT_R_RibsTwist", u"KT_R_RibsNub"}},
    {u"KT_L_RibsTwist", {u"KT_L_Breast"}},
    {u"KT_R_RibsTwist", {u"KT_R_Breast"}},
    {u"KT_L_Breast", {u"KT_L_BreastNub"}},
    {u"KT_R_Breast", {u"KT_R_BreastNub"}},
    {u"KT_L_Clavicle", {u"KT_L_UpperArm"}},
    {u"KT_L_UpperArm", {u"KT_L_Forearm", u"KT_L_UpperArmTwist01"}},
    {u"KT_L_Forearm", {u"KT_L_Hand", u"KT_L_ForearmTwist01", u"KT_L_Elbow"}},
    {u"KT_L_Hand",
     {u"KT_L_Finger00", u"KT_L_Finger10", u"KT_L_Finger20", u"KT_L_Finger30", u"KT_L_Finger40",
      u"KT_L_Hand01_Floor01", u"KT_L_Hand01_Floor02", u"KT_L_Hand01_Floor03", u"KT_L_Hand01_Floor04",
      u"KT_L_Hand01_Floor05", u"KT_L_Hand01_Floor06", u"KT_L_Hand_Acc_Pivot"}},
    {u"KT_L_UpperArmTwist01", {u"KT_L_UpperArmTwist02"}},
    {u"KT_L_ForearmTwist01", {u"KT_L_ForearmTwist02"}},
    {u"KT_L_Finger00", {u"KT_L_Finger01"}},
    {u"KT_L_Finger01", {u"KT_L_Finger02"}},
    {u"KT_L_Finger02", {u"KT_L_Finger0Nub"}},
    {u"KT_L_Finger10", {u"KT_L_Finger11"}},
    {u"KT_L_Finger11", {u"KT_L_Finger12"}},
    {u"KT_L_Finger12", {u"KT_L_Finger1Nub"}},
    {u"KT_L_Finger20", {u"KT_L_Finger21"}},
    {u"KT_L_Finger21", {u"KT_L_Finger22"}},
    {u"KT_L_Finger22", {u"KT_L_Finger2Nub"}},
    {u"KT_L_Finger30", {u"KT_L_Finger31"}},
    {u"KT_L_Finger31", {u"KT_L_Finger32"}},
    {u"KT_L_Finger32", {u"KT_L_Finger3Nub"}},
    {u"KT_L_Finger40", {u"KT_L_Finger41"}},
    {u"KT_L_Finger41", {u"KT_L_Finger42"}},
    {u"KT_L_Finger42", {u"KT_L_Finger4Nub"}},
    {u"KT_R_Clavicle", {u"KT_R_UpperArm"}},
    {u"KT_R_UpperArm", {u"KT_R_Forearm", u"KT_R_UpperArmTwist01"}},
    {u"KT_R_Forearm", {u"KT_R_Hand", u"KT_R_ForearmTwist01", u"KT_R_Elbow"}},
    {u"KT_R_Hand",
     {u"KT_R_Finger00", u"KT_R_Finger10", u"KT_R_Finger20", u"KT_R_Finger30", u"KT_R_Finger40",
      u"KT_R_Hand01_Floor01", u"KT_R_Hand01_Floor02", u"KT_R_Hand01_Floor03", u"KT_R_Hand01_Floor04",
      u"KT_R_Hand01_Floor05", u"KT_R_Hand01_Floor06", u"KT_R_Hand_Acc_Pivot"}},
    {u"KT_R_UpperArmTwist01", {u"KT_R_UpperArmTwist02"}},
    {u"KT_R_ForearmTwist01", {u"KT_R_ForearmTwist02"}},
    {u"KT_R_Finger00", {u"KT_R_Finger01"}},
    {u"KT_R_Finger01", {u"KT_R_Finger02"}},
    {u"KT_R_Finger02", {u"KT_R_Finger0Nub"}},
    {u"KT_R_Finger10", {u"KT_R_Finger11"}},
    {u"KT_R_Finger11", {u"KT_R_Finger12"}},
    {u"KT_R_Finger12", {u"KT_R_Finger1Nub"}},
    {u"KT_R_Finger20", {u"KT_R_Finger21"}},
    {u"KT_R_Finger21", {u"KT_R_Finger22"}},
    {u"KT_R_Finger22", {u"KT_R_Finger2Nub"}},
    {u"KT_R_Finger30", {u"KT_R_Finger31"}},
    {u"KT_R_Finger31", {u"KT_R_Finger32"}},
    {u"KT_R_Finger32", {u"KT_R_Finger3Nub"}},
    {u"KT_R_Finger40", {u"KT_R_Finger41"}},
    {u"KT_R_Finger41", {u"KT_R_Finger42"}},
    {u"KT_R_Finger42", {u"KT_R_Finger4Nub"}},
};

const HierarchyEntry kFacial[] = {
    {u"Bone_Connect", {u"Bone_Facial"}},
    {u"Bone_Facial",
     {u"Bone_Jaw01", u"Bone_Nose-F", u"Bone_Calvaria", u"Bone_Ear-L", u"Bone_Ear-R", u"Bone_facial-R02",
      u"Bone_facial-L02", u"Bone_Eye-R", u"Bone_Eye-L", u"CP_12", u"CP_13", u"CP_18", u"CP_61", u"CP_01",
      u"Bone_Supramaxilla", u"Bone_facial-R01", u"Bone_facial-L01"}},
    {u"Bone_Jaw01",
     {u"Bone_Jaw02", u"Bone_Lip-Down", u"KT_Tongue", u"CP_52", u"CP_49", u"Bone_Tongue01", u"KT_DownTeeth"}},
    {u"Bone_Jaw02", {u"CP_02", u"CP_03"}},
    {u"Bone_Lip-Down", {u"CP_27", u"CP_05", u"CP_04", u"CP_23", u"CP_06", u"CP_24", u"CP_28"}},
    {u"Bone_Tongue01", {u"Bone_Tongue02"}},
    {u"Bone_Tongue02", {u"Bone_Tongue03"}},
    {u"Bone_Tongue03", {u"Bone_Tongue04"}},
    {u"Bone_Nose-F", {u"Bone_Nose-M", u"CP_09", u"CP_20", u"CP_19", u"CP_10"}},
    {u"Bone_Nose-M", {u"CP_11"}},
    {u"Bone_Calvaria", {u"CP_15", u"CP_51", u"CP_50", u"CP_17", u"CP_16", u"CP_14"}},
    {u"Bone_Ear-L", {u"CP_42", u"CP_41", u"CP_43", u"CP_44"}},
    {u"Bone_Ear-R", {u"CP_46", u"CP_45", u"CP_47", u"CP_48"}},
    {u"Bone_facial-R02", {u"CP_62"}},
    {u"Bone_facial-L02", {u"CP_63"}},
    {u"Bone_Eye-R", {u"Bone_Eyelid-R-Up", u"Bone_Eyelid-R-Down", u"Bone_Eyebrows-R", u"CP_35", u"CP_38", u"KT_R_Eye"}},
    {u"Bone_Eyelid-R-Up", {u"Bone_Eyebrows-R01", u"CP_36", u"CP_37"}},
    {u"Bone_Eyelid-R-Down", {u"Bone_Eyebrows-R02", u"CP_39", u"CP_40"}},
    {u"Bone_Eyebrows-R", {u"CP_56", u"CP_57", u"CP_58"}},
    {u"Bone_Eye-L", {u"Bone_Eyelid-L-Up", u"Bone_Eyelid-L-Down", u"Bone_Eyebrows-L", u"CP_32", u"CP_29", u"KT_L_Eye"}},
    {u"Bone_Eyelid-L-Up", {u"Bone_Eyebrows-L01", u"CP_31", u"CP_30"}},
    {u"Bone_Eyelid-L-Down", {u"Bone_Eyebrows-L02", u"CP_33", u"CP_34"}},
    {u"Bone_Eyebrows-L", {u"CP_55", u"CP_53", u"CP_54"}},
    {u"Bone_Supramaxilla", {u"Bone_Lip-Up", u"KT_UpperTeeth"}},
    {u"Bone_Lip-Up", {u"CP_22", u"CP_25", u"CP_07", u"CP_26", u"CP_21", u"CP_08", u"CP_68", u"CP_69"}},
    {u"Bone_facial-R01", {u"CP_66", u"CP_67", u"CP_60"}},
    {u"Bone_facial-L01", {u"CP_64", u"CP_65", u"CP_59"}},
};

template <std::size_t N>
void AddAll(BoneHierarchyMap& map, const HierarchyEntry (&entries)[N]) {
  for (const HierarchyEntry& e : entries) {
    std::vector<KT::WString>& list = map[e.parent];
    list.assign(e.children.begin(), e.children.end());
  }
}

}  // namespace

void AddChildren(BoneHierarchyMap& map, const char16_t* parent, std::initializer_list<const char16_t*> children) {
  std::vector<KT::WString>& list = map[parent];
  list.assign(children.begin(), children.end());
}

void BuildBasicBodyHierarchy(BoneHierarchyMap& map) { AddAll(map, kBasicBody); }

void BuildFullBodyHierarchy(BoneHierarchyMap& map) { AddAll(map, kFullBody); }

void BuildFacialHierarchy(BoneHierarchyMap& map) { AddAll(map, kFacial); }

void BuildHeadLinkHierarchy(BoneHierarchyMap& map) {
  AddChildren(map, u"KT_Head", {u"Bone_Connect"});
  BuildFacialHierarchy(map);
}

void OrderChildrenByTemplate(KT::CBase* root, const BoneHierarchyMap& map) {
  if (root == nullptr) return;
  for (const auto& [parentName, names] : map) {
    auto* parent = static_cast<KT::CNode*>(
        root->Find(parentName.c_str(), &KT::CNode::StaticClassRecord(), false, false));
    if (parent == nullptr) continue;
    KT::u32 p = 0;
    for (const KT::WString& name : names) {
      const std::vector<KT::CPointer<KT::CSpatial>>& children = parent->GetChildren();
      for (KT::u32 i = p; i < children.size(); ++i) {
        const KT::CSpatial* child = children[i].Get();
        if (child != nullptr && child->IsKindOf(KT::CNode::StaticClassRecord()) && child->GetName() == name) {
          parent->SwapChildren(i, p);
          break;
        }
      }
      ++p;
    }
  }
}
